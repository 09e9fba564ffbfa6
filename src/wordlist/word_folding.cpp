#include "wordlist/word_folding.h"

#include <QChar>

namespace cv {

namespace {

using TFoldTable = std::array<char16_t, 65536>;

std::unique_ptr<const TFoldTable> MakeTable(TCaseFolding folding)
{
    auto made = std::make_unique<TFoldTable>();
    TFoldTable& t = *made;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        char16_t out = char16_t(c);
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        if (!surrogate) {
            if (folding == TCaseFolding::Lower)
                out = char16_t(QChar::toLower(char32_t(c)));
            else if (folding == TCaseFolding::Upper)
                out = char16_t(QChar::toUpper(char32_t(c)));
        }
        t[c] = out;
    }
    return made;
}

// Each table made the first time it is asked for (and only that one), in
// the heap: among the program's statics its first writing took a fault per
// 4 KB page, in the heap it shares the large pages of the job.
template <TCaseFolding kFolding>
const TFoldTable& Table()
{
    static const std::unique_ptr<const TFoldTable> table = MakeTable(kFolding);
    return *table;
}

const TFoldTable& TableFor(TCaseFolding folding)
{
    switch (folding) {
    case TCaseFolding::Lower: return Table<TCaseFolding::Lower>();
    case TCaseFolding::Upper: return Table<TCaseFolding::Upper>();
    default: return Table<TCaseFolding::Keep>();
    }
}

// Primary language of a Windows-style locale identifier.
constexpr uint32_t kLangTurkish = 0x1F;
constexpr uint32_t kLangAzeri = 0x2C;

inline bool IsHighSurrogate(char16_t c) { return (c & 0xFC00) == 0xD800; }
inline bool IsLowSurrogate(char16_t c) { return (c & 0xFC00) == 0xDC00; }

} // namespace

TWordFolder::TWordFolder(const TTextSettings& settings) : TWordFolder(settings.CaseFolding(), settings.LanguageId()) {}

TWordFolder::TWordFolder(TCaseFolding folding, uint32_t languageId)
    : fFolding(folding == TCaseFolding::Lower || folding == TCaseFolding::Upper ? folding : TCaseFolding::Keep),
      fTable(&TableFor(fFolding))
{
    const uint32_t primary = languageId & 0x3FF;
    if (fFolding != TCaseFolding::Keep && (primary == kLangTurkish || primary == kLangAzeri)) {
        fOwnTable = std::make_unique<TFoldTable>(*fTable);
        if (fFolding == TCaseFolding::Lower) {
            (*fOwnTable)[u'I'] = 0x0131; // dotless i
            (*fOwnTable)[0x0130] = u'i';
        } else {
            (*fOwnTable)[u'i'] = 0x0130; // capital I with dot
            (*fOwnTable)[0x0131] = u'I';
        }
        fTable = fOwnTable.get();
        fAsciiPlain = false;
    }
}

bool TWordFolder::Fold(const char16_t* units, int32_t length, char16_t* out) const
{
    const TFoldTable& t = *fTable;
    char16_t above = 0;
    for (int32_t k = 0; k < length; ++k) {
        const char16_t c = units[k];
        above |= c;
        out[k] = t[c];
    }
    if (above >= 0x80)
        FoldSupplementary(units, length, out);
    return above >= 0x80;
}

void TWordFolder::FoldSupplementary(const char16_t* units, int32_t length, char16_t* out) const
{
    if (fFolding == TCaseFolding::Keep)
        return;
    for (int32_t k = 0; k + 1 < length; ++k) {
        if (!IsHighSurrogate(units[k]) || !IsLowSurrogate(units[k + 1]))
            continue;
        const char32_t cp = QChar::surrogateToUcs4(units[k], units[k + 1]);
        const char32_t folded = fFolding == TCaseFolding::Lower ? QChar::toLower(cp) : QChar::toUpper(cp);
        if (folded != cp && QChar::requiresSurrogates(folded)) {
            out[k] = QChar::highSurrogate(folded);
            out[k + 1] = QChar::lowSurrogate(folded);
        }
        ++k;
    }
}

QString TWordFolder::Folded(const QString& word) const
{
    QString out(word.size(), Qt::Uninitialized);
    Fold(reinterpret_cast<const char16_t*>(word.utf16()), int32_t(word.size()), reinterpret_cast<char16_t*>(out.data()));
    return out;
}

} // namespace cv
