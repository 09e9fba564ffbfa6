#include "crashreport/send/default_charset.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <string>

namespace cv {

namespace {

struct TCodesetCharset {
    const char* codeset; // upper case, without "-" and "_"
    int32_t charset;
};

// The code pages the font interfaces name a character set for, with the
// encodings of the same script that locales use.
constexpr TCodesetCharset kCharsets[] = {
    {"ANSIX3.41968", 0}, {"ASCII", 0},        {"ISO88591", 0},    {"ISO885915", 0},  {"CP1252", 0},
    {"SHIFTJIS", 128},   {"SJIS", 128},       {"CP932", 128},     {"EUCJP", 128},    {"EUCKR", 129},
    {"CP949", 129},      {"CP1361", 130},     {"JOHAB", 130},     {"GB2312", 134},   {"GBK", 134},
    {"GB18030", 134},    {"CP936", 134},      {"BIG5", 136},      {"BIG5HKSCS", 136}, {"CP950", 136},
    {"CP1253", 161},     {"ISO88597", 161},   {"CP1254", 162},    {"ISO88599", 162}, {"CP1258", 163},
    {"CP1255", 177},     {"ISO88598", 177},   {"CP1256", 178},    {"ISO88596", 178}, {"CP1257", 186},
    {"ISO885913", 186},  {"CP1251", 204},     {"ISO88595", 204},  {"KOI8R", 204},    {"KOI8U", 204},
    {"TIS620", 222},     {"CP874", 222},      {"CP1250", 238},    {"ISO88592", 238},
};

} // namespace

int32_t CharsetOfCodeset(std::string_view codeset)
{
    std::string key;
    for (const char c : codeset) {
        if (c != '-' && c != '_')
            key += char(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const TCodesetCharset& entry : kCharsets) {
        if (key == entry.codeset)
            return entry.charset;
    }
    return DEFAULT_CHARSET;
}

int32_t GetDefaultCharset()
{
    locale_t user = ::newlocale(LC_CTYPE_MASK, "", locale_t(0));
    if (user == locale_t(0))
        return ANSI_CHARSET; // the environment names no locale this system has: the C locale's
    const int32_t charset = CharsetOfCodeset(::nl_langinfo_l(CODESET, user));
    ::freelocale(user);
    return charset;
}

} // namespace cv
