#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ui/framework/grid_dialogs/formula.h"

using cv::TComputedFormula;
using cv::TFormulaData;

namespace {

// Columns: 1 "Freq." = 1, 2, 3 ...; 2 "Zero" = 0 on even rows; 3 "Empty" holds no numbers.
int ColumnOf(const QString& heading)
{
    if (heading == QStringLiteral("Freq."))
        return 1;
    if (heading == QStringLiteral("Zero"))
        return 2;
    if (heading == QStringLiteral("Empty"))
        return 3;
    return -1;
}

TFormulaData Data(int rows, uint64_t generation = 1)
{
    return {rows,
            [](int row, int column) {
                switch (column) {
                case 1: return double(row + 1);
                case 2: return row % 2 == 0 ? 0.0 : double(row);
                default: return std::numeric_limits<double>::quiet_NaN();
                }
            },
            generation};
}

double Eval(const QString& text, int row = 0, int rows = 4)
{
    QString error;
    auto f = TComputedFormula::Parse(text, ColumnOf, &error);
    EXPECT_TRUE(f) << text.toStdString() << ": " << error.toStdString();
    return f ? f->Evaluate(row, Data(rows)) : std::numeric_limits<double>::quiet_NaN();
}

QString ParseError(const QString& text)
{
    QString error;
    auto f = TComputedFormula::Parse(text, ColumnOf, &error);
    EXPECT_FALSE(f) << text.toStdString();
    return error;
}

} // namespace

TEST(Formula, MultiplicationAndDivisionBindBeforeAdditionAndSubtraction)
{
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("2 + 3 * 4")), 14);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("2 * 3 + 4")), 10);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("(2 + 3) * 4")), 20);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("[2 + 3] * 4")), 20);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("2 + 3 \u00D7 4 \u00F7 8")), 3.5);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("1 + 6 / 2 * 3")), 10);
}

TEST(Formula, OperatorsOfOneLevelGoFromLeftToRight)
{
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("10 - 4 - 3")), 3);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("8 / 4 / 2")), 1);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("2 - -3")), 5);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("-2 * 3")), -6);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("-(2 + 3)")), -5);
}

TEST(Formula, NumbersTakeAPointOrAMiddleDot)
{
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("1.5 + 1")), 2.5);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("1\u00B725 * 4")), 5);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral(".5")), 0.5);
}

TEST(Formula, StandardFunctions)
{
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("pi")), std::numbers::pi);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral(" sqrt( 16 )")), 4);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("sqr(3) + 1")), 10);
    EXPECT_NEAR(Eval(QStringLiteral("log(exp(2))")), 2, 1e-12);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("sin(0) + cos(0)")), 1);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("SQRT(4) * Pi / pi")), 2);
}

TEST(Formula, DivisionByZeroAndOtherImpossibleValuesAreUndefinedAndSpread)
{
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("1 / 0"))));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("5 + 1 / (2 - 2)"))));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("0 * (1 / 0)"))));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("sqrt(-1)"))));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("log(0)"))));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("exp(1000)"))));
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("0 / 5")), 0);
}

TEST(Formula, ColumnsAreReadRowByRow)
{
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("col(\"Freq.\") * 10"), 2), 30);
    // Division by a column that is 0 in some rows: undefined there only.
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("col(\"Freq.\") / col(\"Zero\")"), 0)));
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("col(\"Freq.\") / col(\"Zero\")"), 1), 2);
    // A cell that holds no number.
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("col(\"Empty\") + 1"), 1)));
    // One row's value, the same in every row; rows outside the list are undefined.
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("cell(\"Freq.\";3)"), 0), 3);
    EXPECT_DOUBLE_EQ(Eval(QStringLiteral("cell(\"Freq.\"; 3) + col(\"Freq.\")"), 3), 7);
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("cell(\"Freq.\";9)"), 0)));
    EXPECT_TRUE(std::isnan(Eval(QStringLiteral("col(\"Freq.\")"), 7)));
}

TEST(Formula, RunningTotalsFollowTheRowsAndTheData)
{
    QString error;
    auto f = TComputedFormula::Parse(QStringLiteral(" colC(\"Freq.\") "), ColumnOf, &error);
    ASSERT_TRUE(f) << error.toStdString();
    TFormulaData data = Data(4);
    EXPECT_DOUBLE_EQ(f->Evaluate(0, data), 1);
    EXPECT_DOUBLE_EQ(f->Evaluate(3, data), 10);
    auto doubled = TComputedFormula::Parse(QStringLiteral("cum(col(\"Freq.\") * 2) - col(\"Freq.\")"), ColumnOf, &error);
    ASSERT_TRUE(doubled);
    EXPECT_DOUBLE_EQ(doubled->Evaluate(2, data), 9);
    // New data (more rows): the totals are made again.
    data.rowCount = 5;
    data.generation = 2;
    EXPECT_DOUBLE_EQ(f->Evaluate(4, data), 15);
    // An undefined value makes the totals after it undefined.
    auto broken = TComputedFormula::Parse(QStringLiteral("cum(1 / col(\"Zero\"))"), ColumnOf, &error);
    ASSERT_TRUE(broken);
    EXPECT_TRUE(std::isnan(broken->Evaluate(3, data)));
}

TEST(Formula, ColumnsReadAreListed)
{
    auto f = TComputedFormula::Parse(QStringLiteral("col(\"Freq.\") + cell(\"Zero\";1)"), ColumnOf, nullptr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->ColumnsUsed(), (std::vector<int>{1, 2}));
}

TEST(Formula, WhatIsNotAFormulaIsRefusedWithAReason)
{
    EXPECT_TRUE(ParseError(QStringLiteral("col(\"Missing\") + 1")).contains(QStringLiteral("Missing")));
    EXPECT_FALSE(ParseError(QStringLiteral("")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("2 +")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("(2 + 3")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("2 3")).isEmpty());
    EXPECT_TRUE(ParseError(QStringLiteral("foo(1)")).contains(QStringLiteral("foo")));
    EXPECT_FALSE(ParseError(QStringLiteral("col(Freq.)")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("col(\"Freq.)")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("cell(\"Freq.\")")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("cell(\"Freq.\";0)")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("1.2.3")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("sqrt 4")).isEmpty());
    EXPECT_FALSE(ParseError(QStringLiteral("2 + $")).isEmpty());
}

TEST(FormulaText, BracketsAreCountedOverTheWholeText)
{
    EXPECT_EQ(cv::BracketBalance(QStringLiteral("(1 + [2])")), 0);
    EXPECT_EQ(cv::BracketBalance(QStringLiteral("((1)")), 1);
    EXPECT_EQ(cv::BracketBalance(QStringLiteral("1)")), -1);
    EXPECT_EQ(cv::BracketBalance(QStringLiteral("[1)")), 0);
}

TEST(FormulaText, ProductsAfterASumGetBrackets)
{
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("2 + 3 \u00D7 4")), QStringLiteral("2 + (3 \u00D7 4)"));
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("2 \u00D7 3 + 4")), QStringLiteral("2 \u00D7 3 + 4"));
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("1 - 2 / 4 * 5")), QStringLiteral("1 - (2 / 4 * 5)"));
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("2 + 3 * 4 + 5 * 6")),
              QStringLiteral("2 + (3 * 4) + (5 * 6)"));
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("(1 + 2) * 3")), QStringLiteral("(1 + 2) * 3"));
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("1+2*3")), QStringLiteral("1+(2*3)"));
    // A column beside the operator: no bracket that would break the formula.
    EXPECT_EQ(cv::InsertPrecedenceBrackets(QStringLiteral("1 + col(\"A\") * 2")), QStringLiteral("1 + col(\"A\") * 2"));
    // The bracketed text computes what the plain one does.
    const QString text = QStringLiteral("7 - 6 / 3 * 2 + 1");
    EXPECT_DOUBLE_EQ(Eval(cv::InsertPrecedenceBrackets(text)), Eval(text));
}
