#pragma once
// Pre-parsed texts (".CVpreparsed"): a text already read once, kept in the
// form of the processed buffer (UTF-16, entities translated, only the
// selected stretches, tags delimited by the tag marks U+0019 and U+0018), so
// that a later job reads it without decoding or mark-up work. The layout is
// in docs/textread-formats.md.

#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

inline constexpr char kPreparsedMagic[12] = {'C', 'V', 'P', 'R', 'E', 'P', 'A', 'R', 'S', 'E', 'D', 0};
inline constexpr uint32_t kPreparsedVersion = 1;
inline constexpr int kPreparsedHeaderSize = 40;

struct TPreparsedInfo {
    int64_t sourceSize = 0;   // bytes of the text it was made from
    uint8_t sourceFormat = 0; // TTextFormat of that text
    uint32_t codePage = 0;    // code page it was read with
};

bool LooksPreparsed(std::span<const uint8_t> bytes);

// Checks a whole pre-parsed file and gives the byte range of its characters
// (UTF-16LE) inside it. False, with the reason, when the bytes are not a
// pre-parsed text, are of an unknown version, are cut short or damaged.
bool ParsePreparsed(std::span<const uint8_t> bytes, TPreparsedInfo& info, std::size_t& textOffset,
                    std::size_t& textBytes, QString* reason = nullptr);

std::vector<uint8_t> PreparsedBytes(std::u16string_view text, const TPreparsedInfo& info);

// Writes the file through a temporary file and a rename.
bool SavePreparsedText(const QString& fileName, std::u16string_view text, const TPreparsedInfo& info,
                       QString* error = nullptr);

} // namespace cv
