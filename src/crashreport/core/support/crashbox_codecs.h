#pragma once
// Small encoders and checks of the crash-report core: the 16-bit CRC that
// names an error by the text of its place in the code, the MD5 digest, the
// 64-bit block cipher that protects names in the compiled-in debug data and
// in report logs, and Base64 for mail attachments, web forms and data names.
//
// Texts are 8-bit strings (UTF-8 here); the routines work on their bytes.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cv {

// CRC-16/XMODEM (polynomial 0x1021, most significant bit first, initial 0,
// no final XOR) of the text's bytes; 0 for an empty text.
uint16_t CRC16(std::string_view text);

using TMD5Digest = std::array<uint8_t, 16>;
// The MD5 digest (RFC 1321) of the buffer.
void MD5Buffer(TMD5Digest& digest, std::span<const uint8_t> buffer);
TMD5Digest MD5Buffer(std::span<const uint8_t> buffer);
TMD5Digest MD5String(std::string_view text);

// XORs each byte of destination with the byte of key at the same place
// (as many bytes as the shorter of the two).
void XorBuffer(std::span<uint8_t> destination, std::span<const uint8_t> key);

// The TEA-family block cipher (64-bit blocks, 128-bit key, 32 cycles) with
// its key and its chaining block. One object per use: nothing is shared
// between threads.
class TTEACipher {
public:
    static constexpr std::size_t kBlockSize = 8;
    using TBlock = std::array<uint8_t, kBlockSize>;
    // The initial chaining block of buffer decryption; writers of enciphered
    // names use the same one.
    static constexpr uint8_t kInitialVectorByte = 0xA5;

    TTEACipher() = default;
    explicit TTEACipher(std::string_view password) { TEASetKey(password); }

    // The key is the MD5 digest of the password's bytes, read as four
    // big-endian 32-bit words.
    void TEASetKey(std::string_view password);
    // One block; source and destination may be the same block.
    void TEAEncryptBlock(const uint8_t* source, uint8_t* destination) const;
    void TEADecryptBlock(const uint8_t* source, uint8_t* destination) const;
    // Decrypts in cipher-block chaining from the initial vector; a tail of
    // 1 to 7 bytes is XORed with the encrypted chaining block. Source and
    // destination must be the same size (they may be the same buffer).
    void TEADecryptBuffer(std::span<const uint8_t> source, std::span<uint8_t> destination);

    std::array<uint32_t, 4> Key() const { return m_key; }

private:
    std::array<uint32_t, 4> m_key{};
    TBlock m_chain{};
};

// 4 * (n / 3), plus 4 when n is not a multiple of 3.
std::size_t Base64EncodedLength(std::size_t n);
// 0 when n is 0 or not a multiple of 4; else 3 * n / 4, less 2 when the
// second-to-last character is "=", less 1 when only the last one is.
std::size_t Base64DecodedLength(std::string_view text, std::size_t n);
std::size_t Base64DecodedLength(std::string_view text);
// Standard alphabet with "=" padding, no line breaks.
std::string Base64EncodeStr(std::string_view text);
std::string Base64EncodeBuf(std::span<const uint8_t> buffer);
// The decoded bytes. Never fails: the result is first filled with "." and
// then overwritten, so characters outside the alphabet give garbage bytes
// and a text whose length is not a multiple of 4 gives the empty text.
std::string Base64DecodeStr(std::string_view text);

} // namespace cv
