#pragma once
// The font character set (the numbering of the Windows font interfaces,
// which the report's RTF text and dialog fonts keep) that suits the user's
// default 8-bit code page, here the character encoding of the user's
// locale.

#include <cstdint>
#include <string_view>

namespace cv {

inline constexpr int32_t ANSI_CHARSET = 0;
inline constexpr int32_t DEFAULT_CHARSET = 1;

// From the locale the environment names (LC_ALL, LC_CTYPE, LANG), whatever
// the program set for itself.
int32_t GetDefaultCharset();
// The character set of an encoding name ("ISO-8859-2", "CP1251", "UTF-8",
// letter case, "-" and "_" ignored); DEFAULT_CHARSET for an encoding that
// no single character set covers (UTF-8 among them).
int32_t CharsetOfCodeset(std::string_view codeset);

} // namespace cv
