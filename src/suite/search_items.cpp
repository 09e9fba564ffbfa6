#include "suite/search_items.h"

#include "suite/cv_stream.h"
#include "suite/text_settings.h"
#include "suite/wildcard.h"

#include <QLocale>

#include <algorithm>

namespace cv {

namespace {

constexpr uint32_t kItemsMagic = 0x49575343; // "CSWI" in file order
constexpr int32_t kItemsVersion = 1;

enum : uint8_t {
    kOptCaseSensitive = 1,
    kOptBlankTags = 2,
    kOptRequireAll = 4,
    kOptRequireExact = 8,
    kOptApostrophes = 16,
    kOptHyphensSeparate = 32,
    kOptKnown = 63,
};

std::u16string toU16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())); }

std::u16string withTagMarksShown(std::u16string_view text)
{
    std::u16string out(text);
    ShowTagMarks(out);
    return out;
}

} // namespace

bool TSearch_word_format_rec::Parse(const QString& typedIn, const TWordRules& rules, TSearch_word_format_rec& out, QString* why)
{
    const QString typed = typedIn.simplified();
    auto refuse = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (typed.isEmpty())
        return refuse(QStringLiteral("The search word is empty."));
    const std::u16string units = toU16(typed);
    if (OnlyWildcards(units))
        return refuse(QStringLiteral("The search word \"%1\" has only wildcards (\"*\" and \"?\"), which would match every word: "
                                     "type at least one letter, digit or tag.").arg(typed));

    TSearchBuffer buffer;
    buffer.AssignRow(units, rules, true);
    const auto& tokens = buffer.Tokens();
    if (tokens.empty())
        return refuse(QStringLiteral("The search word \"%1\" has no word or tag to search for.").arg(typed));

    TSearchPattern pattern;
    uint8_t mode = 0;
    int32_t previousEnd = 0;
    for (const TSearchToken& t : tokens) {
        TSearchPatternElement e;
        e.tag = t.IsTag();
        e.text = e.tag ? withTagMarksShown(buffer.TokenText(t)) : std::u16string(buffer.TokenText(t));
        const std::u16string punct = buffer.GapPunctuation(previousEnd, t.start);
        if (pattern.elements.empty())
            pattern.leadingPunct = punct;
        else
            e.punctBefore = punct;
        if (e.tag)
            mode |= kTag;
        if (HasWildcards(e.text))
            mode |= kWildcard;
        pattern.elements.push_back(std::move(e));
        previousEnd = t.End();
    }
    pattern.trailingPunct = buffer.GapPunctuation(previousEnd, int32_t(units.size()));
    if (pattern.elements.size() > 1)
        mode |= kPhrase;
    bool punct = !pattern.leadingPunct.empty() || !pattern.trailingPunct.empty();
    for (const auto& e : pattern.elements)
        punct = punct || !e.punctBefore.empty();
    if (punct)
        mode |= kPunctuation;

    out.fTyped = typed;
    QString plain = typed;
    plain.remove(QLatin1Char('*')).remove(QLatin1Char('?'));
    out.fPlain = plain.simplified();
    out.fMode = mode;
    out.fPattern = std::move(pattern);
    return true;
}

bool TBaseSearchItems::sameWord(const QString& a, const QString& b) const
{
    if (fCaseSensitive)
        return a == b;
    const TFoldTable& fold = fLanguage.isEmpty() ? TFoldTable::Standard() : TFoldTable::ForLocale(QLocale(fLanguage));
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (fold(a[i].unicode()) != fold(b[i].unicode()))
            return false;
    return true;
}

int TBaseSearchItems::IndexOf(const QString& typed) const
{
    const QString t = typed.simplified();
    for (int i = 0; i < Count(); ++i)
        if (sameWord(fItems[std::size_t(i)].Typed(), t))
            return i;
    return -1;
}

int TBaseSearchItems::AddedSearchWords(const QString& text, QStringList* refusals)
{
    int added = 0;
    const QStringList parts = text.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part.simplified().isEmpty() || IndexOf(part) >= 0)
            continue;
        QString why;
        if (InsertSearchWord(Count(), part, &why))
            ++added;
        else if (refusals)
            refusals->append(why);
    }
    return added;
}

bool TBaseSearchItems::InsertSearchWord(int index, const QString& typed, QString* refusal)
{
    TSearch_word_format_rec rec;
    if (!TSearch_word_format_rec::Parse(typed, fRules, rec, refusal))
        return false;
    index = std::clamp(index, 0, Count());
    fItems.insert(fItems.begin() + index, std::move(rec));
    touch();
    return true;
}

void TBaseSearchItems::Delete(int index)
{
    if (index >= 0 && index < Count()) {
        fItems.erase(fItems.begin() + index);
        touch();
    }
}

void TBaseSearchItems::Clear()
{
    fItems.clear();
    touch();
}

QStringList TBaseSearchItems::TypedSearchWords() const
{
    QStringList out;
    for (const auto& it : fItems)
        out << it.Typed();
    return out;
}

QStringList TBaseSearchItems::PlainSearchWords() const
{
    QStringList out;
    for (const auto& it : fItems)
        out << it.Plain();
    return out;
}

void TBaseSearchItems::ClearHits()
{
    for (auto& it : fItems)
        it.Hits = 0;
}

void TBaseSearchItems::SetWordRules(const TWordRules& rules)
{
    fRules = rules;
    std::vector<TSearch_word_format_rec> kept;
    for (const auto& it : fItems) {
        TSearch_word_format_rec rec;
        if (TSearch_word_format_rec::Parse(it.Typed(), fRules, rec, nullptr)) {
            rec.EntryIndex = it.EntryIndex;
            rec.Hits = it.Hits;
            rec.ContextWords = it.ContextWords;
            kept.push_back(std::move(rec));
        }
    }
    fItems = std::move(kept);
    touch();
}

void TBaseSearchItems::TakeTextSettings(const TTextSettings& settings)
{
    fLanguage = settings.CollationName();
    fBlankTags = settings.BlankTagsInSearch();
    TWordRules rules;
    rules.apostrophesInWords = settings.ApostrophesInWords();
    rules.hyphensSeparateWords = settings.HyphensSeparateWords();
    rules.extraWordCharacters = settings.ExtraWordCharacters();
    SetWordRules(rules);
}

void TBaseSearchItems::TakeOptionsFrom(const TBaseSearchItems& other)
{
    fCaseSensitive = other.fCaseSensitive;
    fBlankTags = other.fBlankTags;
    fLanguage = other.fLanguage;
    fRequireAll = other.fRequireAll;
    fRequireExact = other.fRequireExact;
    fExactOffset = other.fExactOffset;
    fOnlyItem = other.fOnlyItem;
    SetWordRules(other.fRules);
}

bool TBaseSearchItems::SaveToStream(TStream& s) const
{
    const uint8_t flags = uint8_t((fCaseSensitive ? kOptCaseSensitive : 0) | (fBlankTags ? kOptBlankTags : 0)
                                  | (fRequireAll ? kOptRequireAll : 0) | (fRequireExact ? kOptRequireExact : 0)
                                  | (fRules.apostrophesInWords ? kOptApostrophes : 0)
                                  | (fRules.hyphensSeparateWords ? kOptHyphensSeparate : 0));
    bool ok = s.WriteU32(kItemsMagic) && s.WriteI32(kItemsVersion) && s.WriteU8(flags) && s.WriteI32(fExactOffset)
              && s.WriteI32(fOnlyItem) && WriteAString(s, fLanguage) && WriteAString(s, fRules.extraWordCharacters)
              && s.WriteCount(Count());
    for (std::size_t i = 0; ok && i < fItems.size(); ++i) {
        const auto& it = fItems[i];
        ok = WriteAString(s, it.Typed()) && s.WriteI32(it.EntryIndex) && s.WriteI32(it.Hits)
             && WriteAStringList(s, it.ContextWords);
    }
    return ok;
}

bool TBaseSearchItems::ReadFromStream(TStream& s)
{
    uint32_t magic = 0;
    int32_t version = 0, exactOffset = 0, onlyItem = -1, count = 0;
    uint8_t flags = 0;
    QString language;
    TWordRules rules;
    if (!s.ReadU32(magic) || magic != kItemsMagic || !s.ReadI32(version) || version != kItemsVersion || !s.ReadU8(flags)
        || (flags & ~kOptKnown) != 0 || !s.ReadI32(exactOffset) || !s.ReadI32(onlyItem)
        || !ReadAString(s, language) || !ReadAString(s, rules.extraWordCharacters))
        return false;
    rules.apostrophesInWords = flags & kOptApostrophes;
    rules.hyphensSeparateWords = flags & kOptHyphensSeparate;
    // Each item takes at least an empty string (6 bytes), two Int32 and an empty list (4).
    if (!s.ReadCount(count, 6 + 4 + 4 + 4))
        return false;
    if (onlyItem < -1 || onlyItem >= std::max(count, 1))
        return false;

    std::vector<TSearch_word_format_rec> items;
    items.reserve(std::size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        QString typed;
        TSearch_word_format_rec rec;
        if (!ReadAString(s, typed) || !TSearch_word_format_rec::Parse(typed, rules, rec, nullptr) || rec.Typed() != typed
            || !s.ReadI32(rec.EntryIndex) || !s.ReadI32(rec.Hits) || !ReadAStringList(s, rec.ContextWords))
            return false;
        items.push_back(std::move(rec));
    }
    fItems = std::move(items);
    fCaseSensitive = flags & kOptCaseSensitive;
    fBlankTags = flags & kOptBlankTags;
    fRequireAll = flags & kOptRequireAll;
    fRequireExact = flags & kOptRequireExact;
    fExactOffset = exactOffset;
    fOnlyItem = onlyItem;
    fLanguage = language;
    fRules = rules;
    touch();
    return true;
}

bool ContainsPairedTagMarkup(const QString& text, const TTextSettings& settings)
{
    if (settings.MarkupMode() == TMarkupMode::Plain)
        return false;
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    return open >= 0 && text.indexOf(QLatin1Char('>'), open + 1) > open;
}

} // namespace cv
