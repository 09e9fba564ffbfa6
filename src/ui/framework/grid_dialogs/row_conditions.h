#pragma once
// Row conditions: a requirement on one column of a grid row (a condition
// from the list of 23, values X and Y, a number of words, optionally the
// value of another column in X's place, and "negative"), searches of a main
// and an additional requirement joined by "and", "or" or "but not", and the
// test that runs searches over the rows of a grid. The search dialogs
// (search_dialogs.h) assemble searches from these and report on them.

#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace cv {

class TCVBaseDataClass;

// The conditions, numbered as the condition list shows them.
enum TCondition : uint8_t {
    kCondEquals,
    kCondContains,
    kCondStartsWith,
    kCondEndsWith,
    kCondGreater,
    kCondGreaterOrEqual,
    kCondLess,
    kCondLessOrEqual,
    kCondBetween,
    kCondEmpty,
    kCondWordsExactly,
    kCondWordsMore,
    kCondWordsFewer,
    kCondContainsWord,
    kCondNear,
    kCondLength,
    kCondLengthMore,
    kCondLengthFewer,
    kCondCapitals,
    kCondLowerCase,
    kCondCapitalised,
    kCondHasDigit,
    kCondHasPunctuation,
    kConditionCount
};

// The condition's text for a column of numbers or of words, with the
// placeholders "X" and "Y" for the values and "99999" for the number of words.
QString ConditionDropdownOption(int condition, bool numericColumn);
// Whether a column of that kind is offered the condition: letter case means
// nothing to a column of numbers.
bool ConditionSuitsColumn(int condition, bool numericColumn);
// What a condition asks for.
bool ConditionUsesX(int condition);
bool ConditionUsesY(int condition);
bool ConditionUsesWords(int condition);

// Flags of a typed value, as a search word's: 1 wildcards, 2 several words,
// 4 a mark-up tag (compared as typed; every other value is compared in
// upper case).
enum : uint8_t { kSWWildcard = 1, kSWPhrase = 2, kSWTag = 4 };
uint8_t FlagsFromSW(const QString& text);

struct TSearchRequirement {
    int32_t DataColumn = 0; // the grid column
    uint8_t Condition = kCondEquals;
    QString XText;
    QString YText;
    float XNumber = 0;
    float YNumber = 0;
    bool XIsNumber = false;
    bool YIsNumber = false;
    int32_t NumberOfWords = 1;
    bool OtherColumnUsed = false; // X comes from another column of the row
    int32_t OtherColumn = 0;
    bool Negative = false;
    uint8_t XFlags = 0;
    uint8_t YFlags = 0;

    friend bool operator==(const TSearchRequirement&, const TSearchRequirement&) = default;
};

// Converts X and Y to numbers: a decimal text becomes its number, else an
// integer text; kept as 32-bit floats.
void SetValueNumbers(TSearchRequirement& r);

// Which requirement is being edited.
enum class TConditionOrder : uint8_t { Main = 0, Additional = 1 };
// How the additional requirement joins the main one.
enum : uint8_t { kLinkAnd = 0, kLinkOr = 1, kLinkButNot = 2, kLinkNone = 3 };

// One search (the search-categorising module's record).
struct TDoubleSearchCategoryRec {
    TSearchRequirement Main;
    TSearchRequirement Additional;
    QString MainText;
    QString AdditionalText;
    uint8_t Link = kLinkNone;
    bool AdditionalInUse = false;
    int32_t HitCount = -1;
    uint32_t Colour = 0; // 0xAARRGGBB of a colour category

    friend bool operator==(const TDoubleSearchCategoryRec&, const TDoubleSearchCategoryRec&) = default;
};

bool IdenticalSearchRequirements(const TDoubleSearchCategoryRec& a, const TDoubleSearchCategoryRec& b);

// Readies a search for a run: each value gets its flags and, unless it is a
// tag, is upper-cased for matching; numbers are set from the texts.
void PrepareForRun(TDoubleSearchCategoryRec& search);

// The text version of a requirement; heading names its column, otherHeading
// the column X comes from. A column of numbers reads as a comparison of
// numbers ("Freq. > 10"), one of words with its values quoted ("Word comes
// after 'b'").
QString RequirementText(const TSearchRequirement& r, const QString& heading, const QString& otherHeading,
                        bool numericColumn = false);
// "if X", "if X and Y", "if X or Y", "if X but not Y".
QString DescribeSearch(const TDoubleSearchCategoryRec& search, bool additionalEdited);

// One cell as a condition sees it.
struct TConditionCell {
    QString text;
    double value = 0;
    bool isNumber = false;
};
// The cell of a row (0-based) in a grid column.
using TConditionCells = std::function<TConditionCell(int row, int column)>;

// Whether a prepared search holds for a row.
bool SearchHolds(const TDoubleSearchCategoryRec& search, const TConditionCells& cells, int row);

struct TConditionResults {
    // Rows that met a condition, in the order tested, and the condition each met first.
    std::vector<int> rows;
    std::vector<int> conditionOfRow;
    // Rows that met each condition.
    std::vector<int32_t> hits;
};

// Tests prepared searches on rows 0 .. rowCount-1 from startRow. Find next:
// rows in turn (upwards when up) until one meets a search. Otherwise every
// row from startRow down. Stops early when the cancel state asks to. True
// when a row met a search.
bool CheckAllForCondition(std::span<const TDoubleSearchCategoryRec> searches, int rowCount,
                          const TConditionCells& cells, int startRow, bool findNext, bool up,
                          TConditionResults& results);

// Colour categories live in a list's set column: the category text names the
// search and the colour is the search's.
void ClearColourCategoryColours(TCVBaseDataClass& list, int32_t setNumber);

} // namespace cv
