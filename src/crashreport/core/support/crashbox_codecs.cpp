#include "crashreport/core/support/crashbox_codecs.h"

#include <algorithm>
#include <cstring>

namespace cv {

// ---------------------------------------------------------------- CRC-16

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();

} // namespace

uint16_t CRC16(std::string_view text)
{
    uint16_t crc = 0;
    for (const char c : text)
        crc = uint16_t((crc << 8) ^ kCrc16Table[((crc >> 8) ^ uint8_t(c)) & 0xFF]);
    return crc;
}

// ---------------------------------------------------------------- MD5

namespace {

constexpr uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                             5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                             4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                             6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t LoadLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void Md5Block(std::array<uint32_t, 4>& state, const uint8_t* block)
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = LoadLE32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t next = b + RotateLeft(a + f + kSines[i] + m[g], kShifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void MD5Buffer(TMD5Digest& digest, std::span<const uint8_t> buffer)
{
    std::array<uint32_t, 4> state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const std::size_t whole = buffer.size() / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64)
        Md5Block(state, buffer.data() + at);

    // The tail, a 1 bit, zeros up to 56 mod 64, and the bit length.
    uint8_t tail[128] = {};
    const std::size_t rest = buffer.size() - whole;
    if (rest)
        std::memcpy(tail, buffer.data() + whole, rest);
    tail[rest] = 0x80;
    const std::size_t tailSize = rest < 56 ? 64 : 128;
    const uint64_t bits = uint64_t(buffer.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + i] = uint8_t(bits >> (8 * i));
    for (std::size_t at = 0; at < tailSize; at += 64)
        Md5Block(state, tail + at);

    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            digest[4 * i + k] = uint8_t(state[i] >> (8 * k));
}

TMD5Digest MD5Buffer(std::span<const uint8_t> buffer)
{
    TMD5Digest digest;
    MD5Buffer(digest, buffer);
    return digest;
}

TMD5Digest MD5String(std::string_view text)
{
    return MD5Buffer(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void XorBuffer(std::span<uint8_t> destination, std::span<const uint8_t> key)
{
    const std::size_t n = std::min(destination.size(), key.size());
    for (std::size_t i = 0; i < n; ++i)
        destination[i] ^= key[i];
}

// ---------------------------------------------------------------- block cipher

namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr uint32_t kDecryptSum = 0xC6EF3720; // 32 * kDelta modulo 2^32

uint32_t LoadBE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void StoreBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

void TTEACipher::TEASetKey(std::string_view password)
{
    const TMD5Digest digest = MD5String(password);
    for (int i = 0; i < 4; ++i)
        m_key[i] = LoadBE32(digest.data() + 4 * i);
}

void TTEACipher::TEAEncryptBlock(const uint8_t* source, uint8_t* destination) const
{
    uint32_t y = LoadBE32(source), z = LoadBE32(source + 4), sum = 0;
    const auto [k0, k1, k2, k3] = m_key;
    for (int cycle = 0; cycle < 32; ++cycle) {
        sum += kDelta;
        y += (z << 4) + (z ^ k0) + ((z >> 5) ^ sum) + k1;
        z += (y << 4) + (k2 ^ y) + ((y >> 5) ^ sum) + k3;
    }
    StoreBE32(destination, y);
    StoreBE32(destination + 4, z);
}

void TTEACipher::TEADecryptBlock(const uint8_t* source, uint8_t* destination) const
{
    uint32_t y = LoadBE32(source), z = LoadBE32(source + 4), sum = kDecryptSum;
    const auto [k0, k1, k2, k3] = m_key;
    for (int cycle = 0; cycle < 32; ++cycle) {
        z -= (y << 4) + (k2 ^ y) + ((y >> 5) ^ sum) + k3;
        y -= (z << 4) + (z ^ k0) + ((z >> 5) ^ sum) + k1;
        sum -= kDelta;
    }
    StoreBE32(destination, y);
    StoreBE32(destination + 4, z);
}

void TTEACipher::TEADecryptBuffer(std::span<const uint8_t> source, std::span<uint8_t> destination)
{
    const std::size_t length = std::min(source.size(), destination.size());
    m_chain.fill(kInitialVectorByte);
    std::size_t at = 0;
    for (; at + kBlockSize <= length; at += kBlockSize) {
        TBlock cipherText;
        std::memcpy(cipherText.data(), source.data() + at, kBlockSize);
        TEADecryptBlock(cipherText.data(), destination.data() + at);
        XorBuffer(destination.subspan(at, kBlockSize), m_chain);
        m_chain = cipherText;
    }
    if (at < length) {
        TEAEncryptBlock(m_chain.data(), m_chain.data());
        std::memmove(destination.data() + at, source.data() + at, length - at);
        XorBuffer(destination.subspan(at, length - at), m_chain);
    }
}

// ---------------------------------------------------------------- Base64

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<uint8_t, 256> MakeBase64Reverse()
{
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 255;
    for (uint8_t i = 0; i < 64; ++i)
        table[uint8_t(kBase64Alphabet[i])] = i;
    return table;
}

constexpr std::array<uint8_t, 256> kBase64Reverse = MakeBase64Reverse();

} // namespace

std::size_t Base64EncodedLength(std::size_t n) { return 4 * (n / 3) + (n % 3 ? 4 : 0); }

std::size_t Base64DecodedLength(std::string_view text, std::size_t n)
{
    n = std::min(n, text.size());
    if (n == 0 || n % 4 != 0)
        return 0;
    std::size_t length = 3 * n / 4;
    if (text[n - 2] == '=')
        length -= 2;
    else if (text[n - 1] == '=')
        length -= 1;
    return length;
}

std::size_t Base64DecodedLength(std::string_view text) { return Base64DecodedLength(text, text.size()); }

std::string Base64EncodeBuf(std::span<const uint8_t> buffer)
{
    std::string out;
    out.reserve(Base64EncodedLength(buffer.size()));
    std::size_t i = 0;
    for (; i + 3 <= buffer.size(); i += 3) {
        const uint32_t v = uint32_t(buffer[i]) << 16 | uint32_t(buffer[i + 1]) << 8 | buffer[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    const std::size_t rest = buffer.size() - i;
    if (rest) {
        const uint32_t v = uint32_t(buffer[i]) << 16 | (rest == 2 ? uint32_t(buffer[i + 1]) << 8 : 0);
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string Base64EncodeStr(std::string_view text)
{
    return Base64EncodeBuf(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string Base64DecodeStr(std::string_view text)
{
    const std::size_t length = Base64DecodedLength(text);
    std::string out(length, '.');
    std::size_t written = 0;
    for (std::size_t at = 0; at + 4 <= text.size() && written < length; at += 4) {
        const bool last = at + 4 == text.size();
        // In the last group a "=" ends it: two characters give one byte, three give two.
        int chars = 4;
        if (last)
            for (int k = 2; k < 4; ++k)
                if (text[at + k] == '=') {
                    chars = k;
                    break;
                }
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k)
            v = v << 6 | (k < chars ? kBase64Reverse[uint8_t(text[at + k])] & 63 : 0);
        const int bytes = chars - 1;
        for (int k = 0; k < bytes && written < length; ++k)
            out[written++] = char(v >> (16 - 8 * k));
    }
    return out;
}

} // namespace cv
