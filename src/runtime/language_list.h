#pragma once
// The language list: every language the tool can read texts in, with the
// identifier stored in text settings and result files (a Windows-style locale
// identifier), its name, the locale used for sorting and case, the code page
// of 8-bit texts and whether its script uses combining characters.
// Built once at start and never changed.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace cv {

struct TLanguageInfo {
    uint32_t lcid;
    QString name;        // "English (United Kingdom)"
    QString localeName;  // "en_GB"
    uint32_t codePage;   // ANSI code page of 8-bit texts; 0 for Unicode-only languages
    bool combining;      // the script uses combining characters (marks on letters)
};

class TLanguageList {
public:
    static const TLanguageList& Instance();

    int Count() const { return int(m_languages.size()); }
    const TLanguageInfo& At(int i) const { return m_languages[std::size_t(i)]; }
    // -1 when absent.
    int IndexOfLCID(uint32_t lcid) const;
    // Case-insensitive; also finds "English" (the first language of that name).
    int IndexOfName(const QString& name) const;
    QStringList Names() const;

private:
    TLanguageList();
    std::vector<TLanguageInfo> m_languages;
};

// The primary language of an identifier (its low 10 bits): English (UK) and
// English (US) share one.
constexpr uint32_t PrimaryLanguageId(uint32_t lcid) { return lcid & 0x3FF; }
constexpr bool SamePrimaryLanguage(uint32_t a, uint32_t b) { return PrimaryLanguageId(a) == PrimaryLanguageId(b); }
// Unknown identifiers count as having no combining characters.
bool LanguageHasCombiningCharacters(uint32_t lcid);
// The code page of 8-bit texts of a language (another variety of the same
// language stands in for an unknown one); 0 for Unicode-only languages, 1252
// for identifiers of no known language.
uint32_t AnsiCodePageOfLCID(uint32_t lcid);
// The name as stored in settings (at most 50 characters), or "" when unknown.
QString LanguageNameOfLCID(uint32_t lcid);

} // namespace cv
