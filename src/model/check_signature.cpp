#include "model/check_signature.h"

#include "suite/cv_stream.h"
#include "suite/my_types.h"

#include <algorithm>

namespace cv {

uint32_t CurrentToolSignature()
{
    return MakeToolSignature(current_tool_var);
}

void TCheckSignature::SetForSaving(uint8_t kind, int32_t version, const QString& listTypeSignature)
{
    ToolSignature = CurrentToolSignature();
    Version = version;
    Kind = kind;
    QByteArray ascii;
    for (QChar c : listTypeSignature.left(kListSignatureChars))
        ascii.append(c.unicode() >= 0x20 && c.unicode() < 0x7F ? char(c.unicode()) : '_');
    ListTypeSignature = ascii;
}

bool TCheckSignature::SaveToStream(TStream& s) const
{
    std::array<uint8_t, kListSignatureChars> text{};
    std::copy_n(ListTypeSignature.constData(), std::min<qsizetype>(ListTypeSignature.size(), kListSignatureChars),
                text.begin());
    return s.WriteExact(kMagic.data(), 4) && s.WriteU32(ToolSignature) && s.WriteI32(Version) && s.WriteU8(Kind)
        && s.WriteU32(0) && s.WriteExact(text.data(), kListSignatureChars);
}

TSignatureCheck TCheckSignature::ReadFromStream(TStream& s, int32_t newestVersion)
{
    uint8_t bytes[kSize];
    if (!s.ReadExact(bytes, kSize))
        return TSignatureCheck::TooShort;
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes))
        return TSignatureCheck::NotOurs;
    ToolSignature = endian::loadLE<uint32_t>(bytes + 4);
    Version = endian::loadLE<int32_t>(bytes + 8);
    Kind = bytes[12];
    const uint32_t spare = endian::loadLE<uint32_t>(bytes + 13);
    const uint8_t* text = bytes + 17;
    const int len = int(std::find(text, text + kListSignatureChars, 0) - text);
    const bool padded = std::all_of(text + len, text + kListSignatureChars, [](uint8_t b) { return b == 0; });
    const bool ascii = std::all_of(text, text + len, [](uint8_t b) { return b >= 0x20 && b < 0x7F; });
    ListTypeSignature = QByteArray(reinterpret_cast<const char*>(text), len);
    if (FormatGeneration() > kSuiteFormatGeneration)
        return TSignatureCheck::NewerFormat;
    if (FormatGeneration() < kSuiteFormatGeneration || Version < 1 || spare != 0 || !padded || !ascii)
        return TSignatureCheck::Damaged;
    if (Version > newestVersion)
        return TSignatureCheck::NewerVersion;
    return TSignatureCheck::OK;
}

QString TCheckSignature::CheckText(TSignatureCheck c)
{
    switch (c) {
    case TSignatureCheck::OK:
        return {};
    case TSignatureCheck::TooShort:
        return QStringLiteral("the file is too short to be a saved result");
    case TSignatureCheck::NotOurs:
        return QStringLiteral("it is not a saved result of the Corvantis tools");
    case TSignatureCheck::NewerFormat:
    case TSignatureCheck::NewerVersion:
        return QStringLiteral("it was saved by a newer version of the tools");
    case TSignatureCheck::Damaged:
        return QStringLiteral("its signature is damaged");
    }
    return {};
}

} // namespace cv
