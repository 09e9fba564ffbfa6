#pragma once
// Turning the bytes of a user's plain-text file into text.
//
// Lemma, match and stop lists, plain-text word lists and similar small files
// come in whatever encoding the user's editor wrote: UTF-8 or UTF-16 with a
// byte-order mark, UTF-8 without one, UTF-16 without one, or the 8-bit code
// page of the text's language. These helpers decide which, and decode.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace cv {

enum class TTextEncoding : uint8_t {
    Utf8Bom,    // EF BB BF
    Utf16LEBom, // FF FE
    Utf16BEBom, // FE FF
    Utf8,       // no mark, but valid UTF-8 with at least one multi-byte sequence
    Utf16LE,    // no mark, but zero bytes in every other position (ASCII-heavy text)
    Utf16BE,
    Ascii,      // only bytes below 0x80: every encoding reads it the same way
    CodePage,   // anything else: the 8-bit code page of the language
};

// The Windows ANSI code page of a Windows language identifier (0x0419 Russian
// -> 1251). Unknown languages give 1252.
uint32_t LCIDToCodePage(uint32_t lcid);

// 8-bit text in a Windows code page (874, 932, 936, 949, 950, 1250 to 1258).
// An unknown code page reads as 1252.
QString DecodeCodePage(QByteArrayView bytes, uint32_t codePage);

// Looks at the first bytes (and the whole for UTF-8 validity) to name the
// encoding. Never fails.
TTextEncoding DetectTextEncoding(QByteArrayView bytes);

// Whole-file decoding: the mark is removed; CodePage uses fallbackCodePage.
QString DecodeText(QByteArrayView bytes, uint32_t fallbackCodePage, TTextEncoding* detected = nullptr);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(QByteArrayView bytes);

// Rewrites an 8-bit text file of the code page as UTF-16 little-endian with
// its byte-order mark, through a temporary file (the old file stays whole
// until the new one is written). False, with the file and the reason in
// `error`, when the file cannot be read or written.
bool ConvertATextFileAnsiToUTF16(const QString& fileName, uint32_t codePage, QString* error = nullptr);

} // namespace cv
