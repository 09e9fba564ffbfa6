#include "runtime/language_list.h"

namespace cv {

namespace {
struct TLanguageRow {
    uint32_t lcid;
    const char* name;
    const char* locale;
    uint32_t codePage;
    bool combining;
};

// One line per language; the identifiers are the ones saved in files, so
// they never change.
constexpr TLanguageRow kLanguages[] = {
    {0x0809, "English (United Kingdom)", "en_GB", 1252, false},
    {0x0409, "English (United States)", "en_US", 1252, false},
    {0x0C09, "English (Australia)", "en_AU", 1252, false},
    {0x1009, "English (Canada)", "en_CA", 1252, false},
    {0x1809, "English (Ireland)", "en_IE", 1252, false},
    {0x1409, "English (New Zealand)", "en_NZ", 1252, false},
    {0x1C09, "English (South Africa)", "en_ZA", 1252, false},
    {0x4009, "English (India)", "en_IN", 1252, false},
    {0x0436, "Afrikaans", "af_ZA", 1252, false},
    {0x041C, "Albanian", "sq_AL", 1250, false},
    {0x0401, "Arabic (Saudi Arabia)", "ar_SA", 1256, true},
    {0x0C01, "Arabic (Egypt)", "ar_EG", 1256, true},
    {0x042B, "Armenian", "hy_AM", 0, false},
    {0x042D, "Basque", "eu_ES", 1252, false},
    {0x0445, "Bengali", "bn_IN", 0, true},
    {0x0402, "Bulgarian", "bg_BG", 1251, false},
    {0x0403, "Catalan", "ca_ES", 1252, false},
    {0x0804, "Chinese (Simplified)", "zh_CN", 936, false},
    {0x0404, "Chinese (Traditional)", "zh_TW", 950, false},
    {0x041A, "Croatian", "hr_HR", 1250, false},
    {0x0405, "Czech", "cs_CZ", 1250, false},
    {0x0406, "Danish", "da_DK", 1252, false},
    {0x0413, "Dutch (Netherlands)", "nl_NL", 1252, false},
    {0x0813, "Dutch (Belgium)", "nl_BE", 1252, false},
    {0x0425, "Estonian", "et_EE", 1257, false},
    {0x040B, "Finnish", "fi_FI", 1252, false},
    {0x040C, "French (France)", "fr_FR", 1252, false},
    {0x080C, "French (Belgium)", "fr_BE", 1252, false},
    {0x0C0C, "French (Canada)", "fr_CA", 1252, false},
    {0x100C, "French (Switzerland)", "fr_CH", 1252, false},
    {0x0456, "Galician", "gl_ES", 1252, false},
    {0x0437, "Georgian", "ka_GE", 0, false},
    {0x0407, "German (Germany)", "de_DE", 1252, false},
    {0x0C07, "German (Austria)", "de_AT", 1252, false},
    {0x0807, "German (Switzerland)", "de_CH", 1252, false},
    {0x0408, "Greek", "el_GR", 1253, false},
    {0x0447, "Gujarati", "gu_IN", 0, true},
    {0x040D, "Hebrew", "he_IL", 1255, true},
    {0x0439, "Hindi", "hi_IN", 0, true},
    {0x040E, "Hungarian", "hu_HU", 1250, false},
    {0x040F, "Icelandic", "is_IS", 1252, false},
    {0x0421, "Indonesian", "id_ID", 1252, false},
    {0x083C, "Irish", "ga_IE", 1252, false},
    {0x0410, "Italian (Italy)", "it_IT", 1252, false},
    {0x0810, "Italian (Switzerland)", "it_CH", 1252, false},
    {0x0411, "Japanese", "ja_JP", 932, false},
    {0x044B, "Kannada", "kn_IN", 0, true},
    {0x043F, "Kazakh", "kk_KZ", 1251, false},
    {0x0453, "Khmer", "km_KH", 0, true},
    {0x0412, "Korean", "ko_KR", 949, false},
    {0x0454, "Lao", "lo_LA", 0, true},
    {0x0426, "Latvian", "lv_LV", 1257, false},
    {0x0427, "Lithuanian", "lt_LT", 1257, false},
    {0x042F, "Macedonian", "mk_MK", 1251, false},
    {0x043E, "Malay", "ms_MY", 1252, false},
    {0x044C, "Malayalam", "ml_IN", 0, true},
    {0x043A, "Maltese", "mt_MT", 0, false},
    {0x044E, "Marathi", "mr_IN", 0, true},
    {0x0450, "Mongolian", "mn_MN", 1251, false},
    {0x0414, "Norwegian (Bokmal)", "nb_NO", 1252, false},
    {0x0814, "Norwegian (Nynorsk)", "nn_NO", 1252, false},
    {0x0429, "Persian", "fa_IR", 1256, true},
    {0x0415, "Polish", "pl_PL", 1250, false},
    {0x0416, "Portuguese (Brazil)", "pt_BR", 1252, false},
    {0x0816, "Portuguese (Portugal)", "pt_PT", 1252, false},
    {0x0446, "Punjabi", "pa_IN", 0, true},
    {0x0418, "Romanian", "ro_RO", 1250, false},
    {0x0419, "Russian", "ru_RU", 1251, false},
    {0x0C1A, "Serbian (Cyrillic)", "sr_RS", 1251, false},
    {0x081A, "Serbian (Latin)", "sr_Latn_RS", 1250, false},
    {0x041B, "Slovak", "sk_SK", 1250, false},
    {0x0424, "Slovenian", "sl_SI", 1250, false},
    {0x0C0A, "Spanish (Spain)", "es_ES", 1252, false},
    {0x080A, "Spanish (Mexico)", "es_MX", 1252, false},
    {0x2C0A, "Spanish (Argentina)", "es_AR", 1252, false},
    {0x0441, "Swahili", "sw_KE", 1252, false},
    {0x041D, "Swedish", "sv_SE", 1252, false},
    {0x0449, "Tamil", "ta_IN", 0, true},
    {0x044A, "Telugu", "te_IN", 0, true},
    {0x041E, "Thai", "th_TH", 874, true},
    {0x041F, "Turkish", "tr_TR", 1254, false},
    {0x0422, "Ukrainian", "uk_UA", 1251, false},
    {0x0420, "Urdu", "ur_PK", 1256, true},
    {0x0443, "Uzbek (Latin)", "uz_UZ", 1254, false},
    {0x042A, "Vietnamese", "vi_VN", 1258, true},
    {0x0452, "Welsh", "cy_GB", 1252, false},
    {0x0434, "Xhosa", "xh_ZA", 1252, false},
    {0x0435, "Zulu", "zu_ZA", 1252, false},
};
} // namespace

const TLanguageList& TLanguageList::Instance()
{
    static const TLanguageList list;
    return list;
}

TLanguageList::TLanguageList()
{
    m_languages.reserve(std::size(kLanguages));
    for (const auto& r : kLanguages)
        m_languages.push_back({r.lcid, QString::fromLatin1(r.name), QString::fromLatin1(r.locale), r.codePage, r.combining});
}

int TLanguageList::IndexOfLCID(uint32_t lcid) const
{
    for (int i = 0; i < Count(); ++i)
        if (m_languages[std::size_t(i)].lcid == lcid)
            return i;
    return -1;
}

int TLanguageList::IndexOfName(const QString& name) const
{
    const QString wanted = name.trimmed();
    for (int i = 0; i < Count(); ++i)
        if (m_languages[std::size_t(i)].name.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    // A bare name ("English") finds the first variety of it.
    for (int i = 0; i < Count(); ++i) {
        const QString& n = m_languages[std::size_t(i)].name;
        if (n.startsWith(wanted + QStringLiteral(" ("), Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

QStringList TLanguageList::Names() const
{
    QStringList out;
    for (const auto& l : m_languages)
        out << l.name;
    return out;
}

bool LanguageHasCombiningCharacters(uint32_t lcid)
{
    const auto& list = TLanguageList::Instance();
    const int i = list.IndexOfLCID(lcid);
    if (i >= 0)
        return list.At(i).combining;
    // Another variety of a known language behaves like it.
    for (int j = 0; j < list.Count(); ++j)
        if (SamePrimaryLanguage(list.At(j).lcid, lcid))
            return list.At(j).combining;
    return false;
}

uint32_t AnsiCodePageOfLCID(uint32_t lcid)
{
    const auto& list = TLanguageList::Instance();
    int i = list.IndexOfLCID(lcid);
    for (int j = 0; i < 0 && j < list.Count(); ++j)
        if (SamePrimaryLanguage(list.At(j).lcid, lcid))
            i = j;
    return i >= 0 ? list.At(i).codePage : 1252;
}

QString LanguageNameOfLCID(uint32_t lcid)
{
    const auto& list = TLanguageList::Instance();
    const int i = list.IndexOfLCID(lcid);
    return i >= 0 ? list.At(i).name.left(50) : QString();
}

} // namespace cv
