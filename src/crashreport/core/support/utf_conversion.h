#pragma once
// Between UTF-16 and UTF-8, this system's code page.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace cv {

// UTF-16 to UTF-8. With a null dest: the bytes needed, terminating zero
// included. Else stops before a character that does not fit, always ends
// with a zero, and returns the bytes written including it.
std::size_t WideToUTF8Buf(std::span<char> dest, std::u16string_view source);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string UTF8ToWide(std::string_view text);
// The length of the valid UTF-8 sequence at text[i] (and its code point);
// 0 when the bytes there are no UTF-8 (overlong forms and surrogates included).
std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t* codePoint = nullptr);
std::string WideToUTF8(std::u16string_view text);
// The system code page is UTF-8: the text is already UTF-8.
std::string AnsiToUTF8Str(const std::string& text);

} // namespace cv
