#include "ui/framework/grid_dialogs/row_conditions.h"

#include <QCollator>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/resource_strings.h"
#include "suite/wildcard.h"

namespace cv {

namespace {

struct TConditionTexts {
    const char16_t* words;
    const char16_t* numbers;
    bool x;
    bool y;
    bool count;
};

// clang-format off
constexpr TConditionTexts kConditions[kConditionCount] = {
    {u"equals X",                              u"= X",                                 true,  false, false},
    {u"contains X",                            u"contains the digits X",               true,  false, false},
    {u"starts with X",                         u"starts with the digits X",            true,  false, false},
    {u"ends with X",                           u"ends with the digits X",              true,  false, false},
    {u"comes after X",                         u"> X",                                 true,  false, false},
    {u"is X or comes after it",                u">= X",                                true,  false, false},
    {u"comes before X",                        u"< X",                                 true,  false, false},
    {u"is X or comes before it",               u"<= X",                                true,  false, false},
    {u"lies between X and Y",                  u"lies between X and Y",                true,  true,  false},
    {u"is empty",                              u"= 0",                                 false, false, false},
    {u"has 99999 words",                       u"has 99999 words",                     false, false, true},
    {u"has more than 99999 words",             u"has more than 99999 words",           false, false, true},
    {u"has fewer than 99999 words",            u"has fewer than 99999 words",          false, false, true},
    {u"contains the word X",                   u"contains the number X",               true,  false, false},
    {u"contains X within 99999 words of Y",    u"contains X within 99999 words of Y",  true,  true,  true},
    {u"has X characters",                      u"has X digits",                        true,  false, false},
    {u"has more than X characters",            u"has more than X digits",              true,  false, false},
    {u"has fewer than X characters",           u"has fewer than X digits",             true,  false, false},
    {u"is in capitals",                        u"is in capitals",                      false, false, false},
    {u"is in lower case",                      u"is in lower case",                    false, false, false},
    {u"starts with a capital letter",          u"starts with a capital letter",        false, false, false},
    {u"contains a digit",                      u"contains a digit",                    false, false, false},
    {u"contains punctuation",                  u"contains punctuation",                false, false, false},
};
// clang-format on

const TConditionTexts& TextsOf(int condition) { return kConditions[std::clamp(condition, 0, kConditionCount - 1)]; }

bool IsTag(const QString& text) { return text.startsWith(u'<') && text.endsWith(u'>') && text.size() > 2; }

// A value as it is matched: upper case unless it is a tag.
QString ForMatching(const QString& text, uint8_t flags) { return (flags & kSWTag) ? text : text.toUpper(); }

bool WildMatch(const QString& pattern, const QString& text)
{
    const TWildcardMatcher m(std::u16string_view(reinterpret_cast<const char16_t*>(pattern.utf16()), size_t(pattern.size())),
                             nullptr);
    return m.Matches(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

// The words of a cell: runs between blanks, without the punctuation at their edges.
QStringList WordsOfCell(const QString& text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words;
    for (QString w : text.split(blanks, Qt::SkipEmptyParts)) {
        if (!IsTag(w)) {
            qsizetype first = 0;
            qsizetype last = w.size();
            while (first < last && w[first].isPunct())
                ++first;
            while (last > first && w[last - 1].isPunct())
                --last;
            w = w.mid(first, last - first);
        }
        if (!w.isEmpty())
            words << w;
    }
    return words;
}

const QCollator& Collator()
{
    static const QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}

// The value X of a row: typed, or the other column's.
struct TValue {
    QString text; // for matching
    float number = 0;
    bool isNumber = false;
    uint8_t flags = 0;
};

bool RequirementHolds(const TSearchRequirement& r, const TConditionCells& cells, int row)
{
    const TConditionCell cell = cells(row, r.DataColumn);
    TValue x{r.XText, r.XNumber, r.XIsNumber, r.XFlags};
    if (r.OtherColumnUsed) {
        const TConditionCell other = cells(row, r.OtherColumn);
        x.flags = FlagsFromSW(other.text) & ~kSWWildcard;
        x.text = ForMatching(other.text, x.flags);
        x.isNumber = other.isNumber;
        x.number = float(other.value);
    }
    const TValue y{r.YText, r.YNumber, r.YIsNumber, r.YFlags};
    const QString text = ForMatching(cell.text, x.flags);
    // Numbers compare as numbers when both are; anything else by its words' order.
    auto compare = [&](const TValue& v) {
        if (cell.isNumber && v.isNumber) {
            const float a = float(cell.value);
            return a < v.number ? -1 : a > v.number ? 1 : 0;
        }
        return Collator().compare(text, v.text);
    };
    auto lengthWanted = [&] { return x.isNumber ? int(std::lround(x.number)) : -1; };
    bool holds = false;
    switch (r.Condition) {
    case kCondEquals:
        holds = cell.isNumber && x.isNumber && !(x.flags & kSWWildcard) ? float(cell.value) == x.number
                                                                         : WildMatch(x.text, text);
        break;
    case kCondContains: holds = WildMatch(u'*' + x.text + u'*', text); break;
    case kCondStartsWith: holds = WildMatch(x.text + u'*', text); break;
    case kCondEndsWith: holds = WildMatch(u'*' + x.text, text); break;
    case kCondGreater: holds = compare(x) > 0; break;
    case kCondGreaterOrEqual: holds = compare(x) >= 0; break;
    case kCondLess: holds = compare(x) < 0; break;
    case kCondLessOrEqual: holds = compare(x) <= 0; break;
    case kCondBetween: {
        // Either order of X and Y.
        const bool xFirst = (x.isNumber && y.isNumber) ? x.number <= y.number : Collator().compare(x.text, y.text) <= 0;
        const TValue& low = xFirst ? x : y;
        const TValue& high = xFirst ? y : x;
        holds = compare(low) >= 0 && compare(high) <= 0;
        break;
    }
    case kCondEmpty: holds = cell.isNumber ? cell.value == 0 : cell.text.trimmed().isEmpty(); break;
    case kCondWordsExactly: holds = WordsOfCell(cell.text).size() == r.NumberOfWords; break;
    case kCondWordsMore: holds = WordsOfCell(cell.text).size() > r.NumberOfWords; break;
    case kCondWordsFewer: holds = WordsOfCell(cell.text).size() < r.NumberOfWords; break;
    case kCondContainsWord: {
        const QStringList words = WordsOfCell(text);
        holds = std::any_of(words.begin(), words.end(), [&](const QString& w) { return WildMatch(x.text, w); });
        break;
    }
    case kCondNear: {
        const QStringList words = WordsOfCell(text);
        std::vector<int> xs;
        std::vector<int> ys;
        for (int i = 0; i < words.size(); ++i) {
            if (WildMatch(x.text, words[i]))
                xs.push_back(i);
            if (WildMatch(y.text, words[i]))
                ys.push_back(i);
        }
        for (int i : xs)
            for (int j : ys)
                if (i != j && std::abs(i - j) <= r.NumberOfWords)
                    holds = true;
        break;
    }
    case kCondLength: holds = cell.text.size() == lengthWanted(); break;
    case kCondLengthMore: holds = lengthWanted() >= 0 && cell.text.size() > lengthWanted(); break;
    case kCondLengthFewer: holds = lengthWanted() >= 0 && cell.text.size() < lengthWanted(); break;
    case kCondCapitals:
    case kCondLowerCase: {
        bool cased = false;
        bool all = true;
        for (QChar c : cell.text)
            if (c.isUpper() || c.isLower()) {
                cased = true;
                all = all && (r.Condition == kCondCapitals ? c.isUpper() : c.isLower());
            }
        holds = cased && all;
        break;
    }
    case kCondCapitalised: {
        const auto first = std::find_if(cell.text.begin(), cell.text.end(), [](QChar c) { return c.isLetter(); });
        holds = first != cell.text.end() && first->isUpper();
        break;
    }
    case kCondHasDigit:
        holds = std::any_of(cell.text.begin(), cell.text.end(), [](QChar c) { return c.isDigit(); });
        break;
    case kCondHasPunctuation:
        holds = std::any_of(cell.text.begin(), cell.text.end(), [](QChar c) { return c.isPunct(); });
        break;
    default: break;
    }
    return holds != r.Negative;
}

bool ParsedNumber(const QString& text, float& number)
{
    bool ok = false;
    const QString t = text.trimmed();
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok) {
        const qlonglong n = t.toLongLong(&ok);
        v = double(n);
    }
    if (ok)
        number = float(v);
    return ok;
}

} // namespace

QString ConditionDropdownOption(int condition, bool numericColumn)
{
    if (condition < 0 || condition >= kConditionCount)
        return {};
    const TConditionTexts& t = TextsOf(condition);
    return QString::fromUtf16(numericColumn ? t.numbers : t.words);
}

bool ConditionSuitsColumn(int condition, bool numericColumn)
{
    if (condition < 0 || condition >= kConditionCount)
        return false;
    return !numericColumn || !(condition == kCondCapitals || condition == kCondLowerCase || condition == kCondCapitalised);
}

bool ConditionUsesX(int condition) { return condition >= 0 && condition < kConditionCount && TextsOf(condition).x; }
bool ConditionUsesY(int condition) { return condition >= 0 && condition < kConditionCount && TextsOf(condition).y; }
bool ConditionUsesWords(int condition)
{
    return condition >= 0 && condition < kConditionCount && TextsOf(condition).count;
}

uint8_t FlagsFromSW(const QString& text)
{
    uint8_t flags = 0;
    if (text.contains(u'*') || text.contains(u'?'))
        flags |= kSWWildcard;
    if (text.trimmed().contains(u' '))
        flags |= kSWPhrase;
    if (IsTag(text.trimmed()))
        flags |= kSWTag;
    return flags;
}

void SetValueNumbers(TSearchRequirement& r)
{
    r.XIsNumber = ParsedNumber(r.XText, r.XNumber);
    r.YIsNumber = ParsedNumber(r.YText, r.YNumber);
    if (!r.XIsNumber)
        r.XNumber = 0;
    if (!r.YIsNumber)
        r.YNumber = 0;
}

bool IdenticalSearchRequirements(const TDoubleSearchCategoryRec& a, const TDoubleSearchCategoryRec& b)
{
    return a.Main == b.Main && a.Additional == b.Additional && a.Link == b.Link &&
           a.AdditionalInUse == b.AdditionalInUse && a.MainText == b.MainText && a.AdditionalText == b.AdditionalText;
}

void PrepareForRun(TDoubleSearchCategoryRec& search)
{
    for (TSearchRequirement* r : {&search.Main, &search.Additional}) {
        SetValueNumbers(*r);
        r->XFlags = FlagsFromSW(r->XText);
        r->YFlags = FlagsFromSW(r->YText);
        r->XText = ForMatching(r->XText, r->XFlags);
        r->YText = ForMatching(r->YText, r->YFlags);
    }
}

QString RequirementText(const TSearchRequirement& r, const QString& heading, const QString& otherHeading,
                        bool numericColumn)
{
    QString condition = ConditionDropdownOption(r.Condition, numericColumn);
    const auto value = [numericColumn](const QString& text) {
        return numericColumn ? text.trimmed() : u'\'' + text + u'\'';
    };
    const QString x = r.OtherColumnUsed ? u'"' + otherHeading + u'"' : value(r.XText);
    condition.replace(QStringLiteral("99999"), QString::number(r.NumberOfWords));
    condition.replace(u'X', x).replace(u'Y', value(r.YText));
    return (r.Negative ? QStringLiteral("not ") : QString()) + heading + u' ' + condition;
}

QString DescribeSearch(const TDoubleSearchCategoryRec& search, bool additionalEdited)
{
    if (!(additionalEdited || search.AdditionalInUse))
        return Format(CVIfX, {search.MainText});
    switch (search.Link) {
    case kLinkOr: return Format(CVIfXOrY, {search.MainText, search.AdditionalText});
    case kLinkButNot: return Format(CVIfXButNotY, {search.MainText, search.AdditionalText});
    case kLinkAnd: return Format(CVIfXAndY, {search.MainText, search.AdditionalText});
    default: return Format(CVIfX, {search.MainText});
    }
}

bool SearchHolds(const TDoubleSearchCategoryRec& search, const TConditionCells& cells, int row)
{
    const bool main = RequirementHolds(search.Main, cells, row);
    if (!search.AdditionalInUse || search.Link == kLinkNone)
        return main;
    switch (search.Link) {
    case kLinkOr: return main || RequirementHolds(search.Additional, cells, row);
    case kLinkButNot: return main && !RequirementHolds(search.Additional, cells, row);
    default: return main && RequirementHolds(search.Additional, cells, row);
    }
}

bool CheckAllForCondition(std::span<const TDoubleSearchCategoryRec> searches, int rowCount,
                          const TConditionCells& cells, int startRow, bool findNext, bool up,
                          TConditionResults& results)
{
    results = {};
    results.hits.assign(searches.size(), 0);
    if (searches.empty() || rowCount <= 0)
        return false;
    startRow = std::clamp(startRow, 0, rowCount - 1);
    auto test = [&](int row) {
        for (size_t k = 0; k < searches.size(); ++k)
            if (SearchHolds(searches[k], cells, row)) {
                results.rows.push_back(row);
                results.conditionOfRow.push_back(int(k));
                ++results.hits[k];
                return true;
            }
        return false;
    };
    const int step = findNext && up ? -1 : 1;
    for (int row = startRow; row >= 0 && row < rowCount; row += step) {
        if ((row & 4095) == 0 && global_panic_state >= kPanicStopNow)
            break;
        if (test(row) && findNext)
            break;
    }
    return !results.rows.empty();
}

void ClearColourCategoryColours(TCVBaseDataClass& list, int32_t setNumber)
{
    list.BeginUndoStep(QStringLiteral("Clear colour categories"));
    for (int i = 0; i < list.Count(); ++i)
        for (const TEntryCategory& c : list[i].Categories())
            if (c.setNumber == setNumber && (c.colour >> 24) != 0) {
                list.ClearACategory(i, setNumber, true);
                break;
            }
    list.EndUndoStep();
}

} // namespace cv
