#include <gtest/gtest.h>

#include "suite/cv_globals.h"
#include "ui/framework/grid_dialogs/row_conditions.h"

using namespace cv;

namespace {

struct Row {
    QString text;
    double number;
    QString other;
};

// Column 1 words, column 2 numbers, column 3 more words.
const std::vector<Row> kRows{
    {QStringLiteral("the cat sat"), 10, QStringLiteral("CAT")},
    {QStringLiteral("Dog"), 2.5, QStringLiteral("dog")},
    {QStringLiteral("<head>"), 0, QStringLiteral("x")},
    {QStringLiteral(""), 100, QStringLiteral("")},
    {QStringLiteral("A big RED dog ran, then sat"), 7, QStringLiteral("sat")},
    {QStringLiteral("ALL CAPS 2"), 0.1, QStringLiteral("b")},
};

TConditionCell Cell(int row, int column)
{
    const Row& r = kRows[size_t(row)];
    if (column == 2)
        return {QString::number(r.number), r.number, true};
    return {column == 3 ? r.other : r.text, 0, false};
}

TSearchRequirement Req(uint8_t condition, const QString& x = {}, int column = 1, const QString& y = {})
{
    TSearchRequirement r;
    r.DataColumn = column;
    r.Condition = condition;
    r.XText = x;
    r.YText = y;
    return r;
}

// The rows a requirement holds for.
std::vector<int> RowsMeeting(const TSearchRequirement& r)
{
    TDoubleSearchCategoryRec s;
    s.Main = r;
    s.MainText = QStringLiteral("r");
    PrepareForRun(s);
    std::vector<int> rows;
    for (int i = 0; i < int(kRows.size()); ++i)
        if (SearchHolds(s, Cell, i))
            rows.push_back(i);
    return rows;
}

using Rows = std::vector<int>;

} // namespace

TEST(RowConditions, TextsAreMatchedWithoutCaseAndWithWildcards)
{
    EXPECT_EQ(RowsMeeting(Req(kCondEquals, QStringLiteral("dog"))), Rows{1});
    EXPECT_EQ(RowsMeeting(Req(kCondEquals, QStringLiteral("d?g"))), Rows{1});
    EXPECT_EQ(RowsMeeting(Req(kCondContains, QStringLiteral("sat"))), (Rows{0, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondContains, QStringLiteral("c*t"))), (Rows{0}));
    EXPECT_EQ(RowsMeeting(Req(kCondStartsWith, QStringLiteral("the"))), Rows{0});
    EXPECT_EQ(RowsMeeting(Req(kCondEndsWith, QStringLiteral("SAT"))), (Rows{0, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondContainsWord, QStringLiteral("dog"))), (Rows{1, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondContainsWord, QStringLiteral("ca"))), Rows{});
    // A tag is compared as typed.
    EXPECT_EQ(RowsMeeting(Req(kCondEquals, QStringLiteral("<head>"))), Rows{2});
    EXPECT_EQ(RowsMeeting(Req(kCondEquals, QStringLiteral("<HEAD>"))), Rows{});
}

TEST(RowConditions, NumbersAreComparedAsNumbers)
{
    EXPECT_EQ(RowsMeeting(Req(kCondGreater, QStringLiteral("7"), 2)), (Rows{0, 3}));
    EXPECT_EQ(RowsMeeting(Req(kCondGreaterOrEqual, QStringLiteral("7"), 2)), (Rows{0, 3, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondLess, QStringLiteral("2.5"), 2)), (Rows{2, 5}));
    EXPECT_EQ(RowsMeeting(Req(kCondLessOrEqual, QStringLiteral("2.5"), 2)), (Rows{1, 2, 5}));
    EXPECT_EQ(RowsMeeting(Req(kCondEquals, QStringLiteral("0.1"), 2)), Rows{5});
    EXPECT_EQ(RowsMeeting(Req(kCondBetween, QStringLiteral("2"), 2, QStringLiteral("10"))), (Rows{0, 1, 4}));
    // Either order of X and Y.
    EXPECT_EQ(RowsMeeting(Req(kCondBetween, QStringLiteral("10"), 2, QStringLiteral("2"))), (Rows{0, 1, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondEmpty, {}, 2)), Rows{2});
    // Not a number: nothing is greater.
    EXPECT_EQ(RowsMeeting(Req(kCondGreater, QStringLiteral("many"), 2)), Rows{});
    // Words in alphabetical order.
    EXPECT_EQ(RowsMeeting(Req(kCondLess, QStringLiteral("b"), 1)), (Rows{2, 3, 4, 5}));
}

TEST(RowConditions, WordsLengthsAndLetters)
{
    TSearchRequirement words = Req(kCondWordsExactly);
    words.NumberOfWords = 3;
    EXPECT_EQ(RowsMeeting(words), (Rows{0, 5}));
    words.Condition = kCondWordsMore;
    EXPECT_EQ(RowsMeeting(words), Rows{4});
    words.Condition = kCondWordsFewer;
    EXPECT_EQ(RowsMeeting(words), (Rows{1, 2, 3}));
    TSearchRequirement near = Req(kCondNear, QStringLiteral("red"), 1, QStringLiteral("ran"));
    near.NumberOfWords = 2;
    EXPECT_EQ(RowsMeeting(near), Rows{4});
    near.NumberOfWords = 1;
    EXPECT_EQ(RowsMeeting(near), Rows{});
    EXPECT_EQ(RowsMeeting(Req(kCondLength, QStringLiteral("3"))), Rows{1});
    EXPECT_EQ(RowsMeeting(Req(kCondLengthMore, QStringLiteral("10"))), (Rows{0, 4}));
    EXPECT_EQ(RowsMeeting(Req(kCondLengthFewer, QStringLiteral("1"))), Rows{3});
    EXPECT_EQ(RowsMeeting(Req(kCondCapitals)), Rows{5});
    EXPECT_EQ(RowsMeeting(Req(kCondLowerCase)), (Rows{0, 2}));
    EXPECT_EQ(RowsMeeting(Req(kCondCapitalised)), (Rows{1, 4, 5}));
    EXPECT_EQ(RowsMeeting(Req(kCondHasDigit)), Rows{5});
    EXPECT_EQ(RowsMeeting(Req(kCondHasPunctuation)), Rows{4});
}

TEST(RowConditions, NegativeAndOtherColumns)
{
    TSearchRequirement r = Req(kCondContains, QStringLiteral("sat"));
    r.Negative = true;
    EXPECT_EQ(RowsMeeting(r), (Rows{1, 2, 3, 5}));
    // X is the row's value in another column.
    TSearchRequirement other = Req(kCondContainsWord);
    other.OtherColumnUsed = true;
    other.OtherColumn = 3;
    EXPECT_EQ(RowsMeeting(other), (Rows{0, 1, 4}));
}

TEST(RowConditions, SearchesJoinTheirTwoRequirements)
{
    TDoubleSearchCategoryRec s;
    s.Main = Req(kCondContains, QStringLiteral("sat"));
    s.Additional = Req(kCondGreater, QStringLiteral("8"), 2);
    s.MainText = QStringLiteral("a");
    s.AdditionalText = QStringLiteral("b");
    auto rows = [&] {
        TDoubleSearchCategoryRec p = s;
        PrepareForRun(p);
        Rows out;
        for (int i = 0; i < int(kRows.size()); ++i)
            if (SearchHolds(p, Cell, i))
                out.push_back(i);
        return out;
    };
    EXPECT_EQ(rows(), (Rows{0, 4})); // no additional requirement in use
    s.AdditionalInUse = true;
    s.Link = kLinkAnd;
    EXPECT_EQ(rows(), Rows{0});
    s.Link = kLinkOr;
    EXPECT_EQ(rows(), (Rows{0, 3, 4}));
    s.Link = kLinkButNot;
    EXPECT_EQ(rows(), Rows{4});
    s.Link = kLinkNone;
    EXPECT_EQ(rows(), (Rows{0, 4}));
}

TEST(RowConditions, ValuesAreReadiedForTheRun)
{
    EXPECT_EQ(FlagsFromSW(QStringLiteral("c*t")), kSWWildcard);
    EXPECT_EQ(FlagsFromSW(QStringLiteral("big dog")), kSWPhrase);
    EXPECT_EQ(FlagsFromSW(QStringLiteral("<p>")), kSWTag);
    EXPECT_EQ(FlagsFromSW(QStringLiteral("dog")), 0);
    TDoubleSearchCategoryRec s;
    s.Main = Req(kCondEquals, QStringLiteral("Dog"));
    s.Main.YText = QStringLiteral("12");
    s.Additional = Req(kCondEquals, QStringLiteral("<Head>"));
    PrepareForRun(s);
    EXPECT_EQ(s.Main.XText, QStringLiteral("DOG"));
    EXPECT_EQ(s.Additional.XText, QStringLiteral("<Head>"));
    EXPECT_FALSE(s.Main.XIsNumber);
    EXPECT_TRUE(s.Main.YIsNumber);
    EXPECT_EQ(s.Main.YNumber, 12.0f);
    TSearchRequirement r;
    r.XText = QStringLiteral("2.75");
    SetValueNumbers(r);
    EXPECT_TRUE(r.XIsNumber);
    EXPECT_EQ(r.XNumber, 2.75f);
}

TEST(RowConditions, DescriptionsSayHowTheRequirementsJoin)
{
    TDoubleSearchCategoryRec s;
    s.MainText = QStringLiteral("A");
    s.AdditionalText = QStringLiteral("B");
    s.Link = kLinkOr;
    EXPECT_EQ(DescribeSearch(s, false), QStringLiteral("if A"));
    EXPECT_EQ(DescribeSearch(s, true), QStringLiteral("if A or B"));
    s.AdditionalInUse = true;
    s.Link = kLinkButNot;
    EXPECT_EQ(DescribeSearch(s, false), QStringLiteral("if A but not B"));
    s.Link = kLinkAnd;
    EXPECT_EQ(DescribeSearch(s, false), QStringLiteral("if A and B"));
    TSearchRequirement r = Req(kCondBetween, QStringLiteral("2"), 2, QStringLiteral("9"));
    r.Negative = true;
    EXPECT_EQ(RequirementText(r, QStringLiteral("Freq."), {}), QStringLiteral("not Freq. lies between '2' and '9'"));
    for (int c = 0; c < kConditionCount; ++c) {
        EXPECT_FALSE(ConditionDropdownOption(c, false).isEmpty());
        EXPECT_FALSE(ConditionDropdownOption(c, true).isEmpty());
    }
    EXPECT_TRUE(ConditionDropdownOption(kConditionCount, false).isEmpty());
}

TEST(RowConditions, FindNextStopsAtTheFirstRowInItsDirection)
{
    TDoubleSearchCategoryRec s;
    s.Main = Req(kCondContains, QStringLiteral("sat"));
    PrepareForRun(s);
    const std::vector<TDoubleSearchCategoryRec> searches{s};
    TConditionResults res;
    ASSERT_TRUE(CheckAllForCondition(searches, 6, Cell, 0, true, false, res));
    EXPECT_EQ(res.rows, Rows{0});
    ASSERT_TRUE(CheckAllForCondition(searches, 6, Cell, 1, true, false, res));
    EXPECT_EQ(res.rows, Rows{4});
    EXPECT_FALSE(CheckAllForCondition(searches, 6, Cell, 5, true, false, res));
    ASSERT_TRUE(CheckAllForCondition(searches, 6, Cell, 3, true, true, res));
    EXPECT_EQ(res.rows, Rows{0});
    // A start beyond the rows is taken as the last row.
    ASSERT_TRUE(CheckAllForCondition(searches, 6, Cell, 99, true, true, res));
    EXPECT_EQ(res.rows, Rows{4});
}

TEST(RowConditions, FindAllCountsEveryRowForTheFirstSearchItMeets)
{
    TDoubleSearchCategoryRec sat;
    sat.Main = Req(kCondContains, QStringLiteral("sat"));
    TDoubleSearchCategoryRec small;
    small.Main = Req(kCondLess, QStringLiteral("8"), 2);
    PrepareForRun(sat);
    PrepareForRun(small);
    const std::vector<TDoubleSearchCategoryRec> searches{sat, small};
    TConditionResults res;
    ASSERT_TRUE(CheckAllForCondition(searches, 6, Cell, 0, false, false, res));
    EXPECT_EQ(res.rows, (Rows{0, 1, 2, 4, 5}));
    EXPECT_EQ(res.conditionOfRow, (Rows{0, 1, 1, 0, 1}));
    EXPECT_EQ(res.hits, (std::vector<int32_t>{2, 3}));
    // Stopped as soon as possible: nothing is tested.
    global_panic_state = kPanicStopNow;
    EXPECT_FALSE(CheckAllForCondition(searches, 6, Cell, 0, false, false, res));
    global_panic_state = kPanicRun;
    EXPECT_FALSE(CheckAllForCondition({}, 6, Cell, 0, false, false, res));
    EXPECT_FALSE(CheckAllForCondition(searches, 0, Cell, 0, false, false, res));
}
