#include "suite/decipher.h"

#include "suite/cv_endian.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace cv {

namespace {

// Header: magic (8), version u32, key id u32, nonce u64, plain size u64;
// then the enciphered bytes; then the CRC-32 of the plain bytes (u32).
constexpr std::size_t kTrailerSize = 4;
constexpr uint64_t kSuiteKey = 0x6A09E667F3BCC908ull;

// splitmix64: a fast, well-mixed stream of 64-bit words from one seed.
class KeyStream {
public:
    explicit KeyStream(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t m_state;
};

void applyKeyStream(const uint8_t* in, uint8_t* out, std::size_t n, uint64_t nonce)
{
    KeyStream ks(kSuiteKey ^ (nonce * 0xD1B54A32D192ED03ull));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t word = endian::loadLE<uint64_t>(in + i) ^ ks.next();
        endian::storeLE(out + i, word);
    }
    if (i < n) {
        uint64_t k = ks.next();
        for (; i < n; ++i, k >>= 8)
            out[i] = uint8_t(in[i] ^ uint8_t(k));
    }
}

bool failWith(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

uint32_t Crc32Of(std::span<const uint8_t> bytes, uint32_t before)
{
    uLong crc = before;
    const uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    while (n > 0) {
        const uInt step = uInt(std::min<std::size_t>(n, 1u << 30));
        crc = crc32(crc, p, step);
        p += step;
        n -= step;
    }
    return uint32_t(crc);
}

bool LooksEnciphered(std::span<const uint8_t> bytes)
{
    return bytes.size() >= sizeof(kEncipheredMagic) && std::memcmp(bytes.data(), kEncipheredMagic, sizeof(kEncipheredMagic)) == 0;
}

bool DecipheredBytes(std::span<const uint8_t> enciphered, std::vector<uint8_t>& plain, QString* reason)
{
    plain.clear();
    if (!LooksEnciphered(enciphered))
        return failWith(reason, QStringLiteral("it is not an enciphered text"));
    if (enciphered.size() < kEncipheredHeaderSize + kTrailerSize)
        return failWith(reason, QStringLiteral("the enciphered text is cut short"));
    const uint8_t* h = enciphered.data();
    const auto version = endian::loadLE<uint32_t>(h + 8);
    const auto keyId = endian::loadLE<uint32_t>(h + 12);
    const auto nonce = endian::loadLE<uint64_t>(h + 16);
    const auto size = endian::loadLE<uint64_t>(h + 24);
    if (version != kEncipheredVersion)
        return failWith(reason, QStringLiteral("enciphered texts of version %1 are not supported").arg(version));
    if (keyId != kSuiteKeyId)
        return failWith(reason, QStringLiteral("the text is enciphered with an unknown key (%1)").arg(keyId));
    const std::size_t body = enciphered.size() - kEncipheredHeaderSize - kTrailerSize;
    if (size != body)
        return failWith(reason, size > body ? QStringLiteral("the enciphered text is cut short")
                                            : QStringLiteral("the enciphered text has bytes past its end"));
    plain.resize(body);
    applyKeyStream(h + kEncipheredHeaderSize, plain.data(), body, nonce);
    const auto stored = endian::loadLE<uint32_t>(h + kEncipheredHeaderSize + body);
    if (Crc32Of(plain) != stored) {
        plain.clear();
        return failWith(reason, QStringLiteral("the enciphered text is damaged (its checksum does not match)"));
    }
    return true;
}

std::vector<uint8_t> EncipheredBytes(std::span<const uint8_t> plain, uint64_t nonce)
{
    std::vector<uint8_t> out(kEncipheredHeaderSize + plain.size() + kTrailerSize);
    uint8_t* h = out.data();
    std::memcpy(h, kEncipheredMagic, sizeof(kEncipheredMagic));
    endian::storeLE(h + 8, kEncipheredVersion);
    endian::storeLE(h + 12, kSuiteKeyId);
    endian::storeLE(h + 16, nonce);
    endian::storeLE(h + 24, uint64_t(plain.size()));
    applyKeyStream(plain.data(), h + kEncipheredHeaderSize, plain.size(), nonce);
    endian::storeLE(h + kEncipheredHeaderSize + plain.size(), Crc32Of(plain));
    return out;
}

} // namespace cv
