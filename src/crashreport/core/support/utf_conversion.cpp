#include "crashreport/core/support/utf_conversion.h"

#include <cstring>

namespace cv {

namespace {

// The code point starting at source[i] and the units it takes: a surrogate
// pair is one character; a lone surrogate stands for U+FFFD.
char32_t NextCodePoint(std::u16string_view source, std::size_t i, std::size_t& units)
{
    const char16_t u = source[i];
    units = 1;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < source.size() && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(source[i + 1]) - 0xDC00);
    }
    if (u >= 0xD800 && u <= 0xDFFF)
        return 0xFFFD;
    return u;
}

std::size_t EncodeUtf8(char32_t c, char* out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

std::size_t WideToUTF8Buf(std::span<char> dest, std::u16string_view source)
{
    char bytes[4];
    std::size_t written = 0;
    for (std::size_t i = 0; i < source.size();) {
        std::size_t units;
        const std::size_t n = EncodeUtf8(NextCodePoint(source, i, units), bytes);
        if (dest.data()) {
            if (written + n + 1 > dest.size())
                break;
            std::memcpy(dest.data() + written, bytes, n);
        }
        written += n;
        i += units;
    }
    if (dest.data()) {
        if (dest.empty())
            return 0;
        dest[written] = '\0';
    }
    return written + 1;
}

std::string WideToUTF8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    char bytes[4];
    for (std::size_t i = 0; i < text.size();) {
        std::size_t units;
        result.append(bytes, EncodeUtf8(NextCodePoint(text, i, units), bytes));
        i += units;
    }
    return result;
}

std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t* codePoint)
{
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (i >= text.size())
        return 0;
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t more = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 4;
    if (more == 4 || more >= text.size() - i)
        return 0;
    char32_t value = more == 0 ? b : b & (0x3F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
    if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    if (codePoint)
        *codePoint = value;
    return more + 1;
}

std::u16string UTF8ToWide(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0xFFFD;
        const std::size_t length = Utf8CharAt(text, i, &c);
        // A byte that starts no valid sequence stands for U+FFFD.
        i += length == 0 ? 1 : length;
        if (length == 0)
            c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            result += char16_t(0xD800 + (c >> 10));
            result += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            result += char16_t(c);
        }
    }
    return result;
}

std::string AnsiToUTF8Str(const std::string& text) { return text; }

} // namespace cv
