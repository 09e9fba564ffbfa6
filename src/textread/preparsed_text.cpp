#include "textread/preparsed_text.h"

#include "suite/cv_endian.h"
#include "suite/cv_stream.h"
#include "suite/decipher.h"

#include <cstring>

namespace cv {

namespace {

constexpr std::size_t kTrailerSize = 4;

bool failWith(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

bool LooksPreparsed(std::span<const uint8_t> bytes)
{
    return bytes.size() >= sizeof(kPreparsedMagic) && std::memcmp(bytes.data(), kPreparsedMagic, sizeof(kPreparsedMagic)) == 0;
}

bool ParsePreparsed(std::span<const uint8_t> bytes, TPreparsedInfo& info, std::size_t& textOffset,
                    std::size_t& textBytes, QString* reason)
{
    if (!LooksPreparsed(bytes))
        return failWith(reason, QStringLiteral("it is not a pre-parsed text"));
    if (bytes.size() < kPreparsedHeaderSize + kTrailerSize)
        return failWith(reason, QStringLiteral("the pre-parsed text is cut short"));
    const uint8_t* h = bytes.data();
    const auto version = endian::loadLE<uint32_t>(h + 12);
    if (version < 1 || version > kPreparsedVersion)
        return failWith(reason, QStringLiteral("pre-parsed texts of version %1 are not supported").arg(version));
    info.sourceSize = endian::loadLE<int64_t>(h + 16);
    info.sourceFormat = h[24];
    info.codePage = endian::loadLE<uint32_t>(h + 28);
    const auto chars = endian::loadLE<int64_t>(h + 32);
    const std::size_t room = (bytes.size() - kPreparsedHeaderSize - kTrailerSize) / 2;
    if (chars < 0 || uint64_t(chars) > room)
        return failWith(reason, QStringLiteral("the pre-parsed text is cut short"));
    const std::size_t end = kPreparsedHeaderSize + std::size_t(chars) * 2;
    if (end + kTrailerSize != bytes.size())
        return failWith(reason, QStringLiteral("the pre-parsed text has bytes past its end"));
    if (Crc32Of(bytes.first(end)) != endian::loadLE<uint32_t>(h + end))
        return failWith(reason, QStringLiteral("the pre-parsed text is damaged (its checksum does not match)"));
    textOffset = kPreparsedHeaderSize;
    textBytes = std::size_t(chars) * 2;
    return true;
}

std::vector<uint8_t> PreparsedBytes(std::u16string_view text, const TPreparsedInfo& info)
{
    std::vector<uint8_t> out(kPreparsedHeaderSize + text.size() * 2 + kTrailerSize, 0);
    uint8_t* h = out.data();
    std::memcpy(h, kPreparsedMagic, sizeof(kPreparsedMagic));
    endian::storeLE(h + 12, kPreparsedVersion);
    endian::storeLE(h + 16, info.sourceSize);
    h[24] = info.sourceFormat;
    endian::storeLE(h + 28, info.codePage);
    endian::storeLE(h + 32, int64_t(text.size()));
    uint8_t* p = h + kPreparsedHeaderSize;
    for (const char16_t c : text) {
        endian::storeLE(p, uint16_t(c));
        p += 2;
    }
    const std::size_t end = kPreparsedHeaderSize + text.size() * 2;
    endian::storeLE(h + end, Crc32Of(std::span<const uint8_t>(out).first(end)));
    return out;
}

bool SavePreparsedText(const QString& fileName, std::u16string_view text, const TPreparsedInfo& info, QString* error)
{
    return TMemoryStream(PreparsedBytes(text, info)).SaveToFile(fileName, error);
}

} // namespace cv
