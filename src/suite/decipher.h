#pragma once
// Enciphered texts (".CVencrypted"): a text that a publisher hands out so
// that it can be read by the suite's tools but not by a plain editor.
//
// This is our stand-in for the suite's routine: a keyed stream scheme with a
// header and a checksum, enough to tell an enciphered text from anything
// else, to refuse a damaged or truncated one, and to give back the exact
// bytes of the text. It is not meant as protection against a determined
// reader. The layout is in docs/textread-formats.md.

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace cv {

inline constexpr char kEncipheredMagic[8] = {'C', 'V', 'C', 'R', 'Y', 'P', 'T', '1'};
inline constexpr int kEncipheredHeaderSize = 32;
inline constexpr uint32_t kEncipheredVersion = 1;
// The suite's key number 1: the only key of this stand-in.
inline constexpr uint32_t kSuiteKeyId = 1;

// True when the bytes open with the header of an enciphered text.
bool LooksEnciphered(std::span<const uint8_t> bytes);

// The plain bytes of an enciphered text. False, with the reason, when the
// bytes are not an enciphered text, are of an unknown version or key, are
// cut short, or do not match their checksum.
bool DecipheredBytes(std::span<const uint8_t> enciphered, std::vector<uint8_t>& plain, QString* reason = nullptr);

// CRC-32 (the zip/zlib polynomial) of any number of bytes; given the CRC of
// the bytes before them, that of the whole.
uint32_t Crc32Of(std::span<const uint8_t> bytes, uint32_t before = 0);

// Enciphers bytes under the suite key with the given nonce (any number; a
// different one for each text keeps equal texts from looking equal).
std::vector<uint8_t> EncipheredBytes(std::span<const uint8_t> plain, uint64_t nonce);

} // namespace cv
