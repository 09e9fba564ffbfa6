#include "suite/text_codec.h"

#include "files/save_file.h"

#include <QFile>
#include <QStringDecoder>

#include <array>

namespace cv {

uint32_t LCIDToCodePage(uint32_t lcid)
{
    const uint32_t primary = lcid & 0x3FF;
    switch (primary) {
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x24: case 0x1C:
        return 1250;
    case 0x1A: // Croatian, Serbian and Bosnian share the primary id; Cyrillic variants use 1251
        return (lcid == 0x0C1A || lcid == 0x1C1A || lcid == 0x201A || lcid == 0x301A) ? 1251 : 1250;
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x44: case 0x50: case 0x40:
        return 1251;
    case 0x08:
        return 1253;
    case 0x1F:
        return 1254;
    case 0x2C: case 0x43: // Azeri, Uzbek: Latin 1254, Cyrillic 1251
        return (lcid & 0xFC00) == 0x0800 ? 1251 : 1254;
    case 0x0D:
        return 1255;
    case 0x01: case 0x29: case 0x20:
        return 1256;
    case 0x25: case 0x26: case 0x27:
        return 1257;
    case 0x2A:
        return 1258;
    case 0x1E:
        return 874;
    case 0x11:
        return 932;
    case 0x12:
        return 949;
    case 0x04: // Chinese: PRC and Singapore simplified, the rest traditional
        return (lcid == 0x0804 || lcid == 0x1004 || lcid == 0x0004) ? 936 : 950;
    default:
        return 1252;
    }
}

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; used when the
// platform has no converter for the code page.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QString decodeCp1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uint8_t(bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

QString decodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    QStringDecoder d(bigEndian ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    return d.decode(bytes);
}

bool looksLikeUtf16(QByteArrayView bytes, bool& bigEndian)
{
    const qsizetype n = std::min<qsizetype>(bytes.size(), 8192) & ~qsizetype(1);
    if (n < 4)
        return false;
    qsizetype zeroEven = 0, zeroOdd = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        zeroEven += bytes[i] == 0;
        zeroOdd += bytes[i + 1] == 0;
    }
    const qsizetype pairs = n / 2;
    // Mostly-Latin UTF-16 has a zero in (nearly) every unit on one side only.
    if (zeroOdd * 10 >= pairs * 4 && zeroEven * 20 < pairs) {
        bigEndian = false;
        return true;
    }
    if (zeroEven * 10 >= pairs * 4 && zeroOdd * 20 < pairs) {
        bigEndian = true;
        return true;
    }
    return false;
}

} // namespace

QString DecodeCodePage(QByteArrayView bytes, uint32_t codePage)
{
    if (codePage == 1252)
        return decodeCp1252(bytes);
    const QByteArray primary = "windows-" + QByteArray::number(codePage);
    QStringDecoder d(primary.constData(), QStringDecoder::Flag::Stateless);
    if (!d.isValid()) {
        const char* alt = nullptr;
        switch (codePage) {
        case 932: alt = "Shift_JIS"; break;
        case 936: alt = "GBK"; break;
        case 949: alt = "EUC-KR"; break;
        case 950: alt = "Big5"; break;
        default: break;
        }
        if (alt)
            d = QStringDecoder(alt, QStringDecoder::Flag::Stateless);
    }
    if (!d.isValid())
        return decodeCp1252(bytes);
    return d.decode(bytes);
}

bool IsValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

TTextEncoding DetectTextEncoding(QByteArrayView bytes)
{
    const auto b = [&](qsizetype i) { return i < bytes.size() ? uint8_t(bytes[i]) : uint8_t(0); };
    if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF)
        return TTextEncoding::Utf8Bom;
    if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE)
        return TTextEncoding::Utf16LEBom;
    if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF)
        return TTextEncoding::Utf16BEBom;
    bool bigEndian = false;
    if (looksLikeUtf16(bytes, bigEndian))
        return bigEndian ? TTextEncoding::Utf16BE : TTextEncoding::Utf16LE;
    bool ascii = true;
    for (char c : bytes) {
        if (uint8_t(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return TTextEncoding::Ascii;
    return IsValidUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::CodePage;
}

QString DecodeText(QByteArrayView bytes, uint32_t fallbackCodePage, TTextEncoding* detected)
{
    const TTextEncoding enc = DetectTextEncoding(bytes);
    if (detected)
        *detected = enc;
    switch (enc) {
    case TTextEncoding::Utf8Bom:
        return QString::fromUtf8(bytes.sliced(3));
    case TTextEncoding::Utf16LEBom:
        return decodeUtf16(bytes.sliced(2), false);
    case TTextEncoding::Utf16BEBom:
        return decodeUtf16(bytes.sliced(2), true);
    case TTextEncoding::Utf16LE:
        return decodeUtf16(bytes, false);
    case TTextEncoding::Utf16BE:
        return decodeUtf16(bytes, true);
    case TTextEncoding::Ascii:
        return QString::fromLatin1(bytes);
    case TTextEncoding::Utf8:
        return QString::fromUtf8(bytes);
    case TTextEncoding::CodePage:
        break;
    }
    return DecodeCodePage(bytes, fallbackCodePage);
}

bool ConvertATextFileAnsiToUTF16(const QString& fileName, uint32_t codePage, QString* error)
{
    auto fail = [&](const QString& verb, const QString& reason) {
        if (error)
            *error = QStringLiteral("Cannot %1 file \"%2\": %3").arg(verb, fileName, reason);
        return false;
    };
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("open"), in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return fail(QStringLiteral("read"), in.errorString());
    in.close();
    const QString text = DecodeCodePage(bytes, codePage);
    QByteArray out;
    out.reserve(2 + 2 * text.size());
    out.append(char(0xFF)).append(char(0xFE));
    for (const QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    TSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        return fail(QStringLiteral("write"), file.errorString());
    return true;
}

} // namespace cv
