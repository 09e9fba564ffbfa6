#pragma once
// The small calculator language of computed grid columns.
//
//   formula  := sum
//   sum      := product { ("+" | "-") product }
//   product  := unary { ("*" | "/" | "×" | "÷") unary }
//   unary    := ("-" | "+") unary | primary
//   primary  := number | "(" sum ")" | "[" sum "]" | function
//   function := "pi" | name "(" sum ")"               name: cum sqrt exp sin cos log sqr
//             | "col" "(" heading ")" | "colC" "(" heading ")"
//             | "cell" "(" heading ";" row ")"
//
// Numbers take "." or the middle dot as decimal point. Headings are in double
// quotes and name a column of the grid. "cum" is the running total of its
// argument down the rows (in the list's order), "colC" the running total of a
// column, "cell" one row's value of a column (rows counted from 1). "log" is
// the natural logarithm, "sqr" the square. Function names are not case
// sensitive.
//
// A value that cannot be computed (division by zero, the root of a negative
// number, the logarithm of a number not above zero, an empty cell, a row that
// does not exist) is undefined: it makes every value computed from it
// undefined too, and its cell stays empty.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

// The names the calculator inserts: 0 to 7 the standard functions of the
// list "pi", "cumulative", "square root", "exponential", "sine", "cosine",
// "log", "squared"; 8 a column; 9 a column's value in one row.
const QStringList& MathsFunctionNames();

// Brackets over the text: "(" and "[" count +1, ")" and "]" -1; 0 when they match.
int BracketBalance(const QString& formula);

// Makes multiplication and division inside a sum explicit for the reader:
// after a "+" or "-", a "*", "/", "×" or "÷" between numbers gets brackets
// round the numbers on either side ("2 + 3 × 4" becomes "2 + (3 × 4)").
// Returns the text unchanged when nothing needed brackets.
QString InsertPrecedenceBrackets(const QString& formula);

// Where a formula takes its values from.
struct TFormulaData {
    int rowCount = 0;
    // The number in a column of a row (0-based); NaN when the cell holds none.
    std::function<double(int row, int column)> value;
    // Changes whenever the values may have changed; running totals are kept until then.
    uint64_t generation = 0;
};

class TComputedFormula {
public:
    ~TComputedFormula();
    TComputedFormula(const TComputedFormula&) = delete;
    TComputedFormula& operator=(const TComputedFormula&) = delete;

    // The column headed by a text, -1 when there is none.
    using TColumnLookup = std::function<int(const QString& heading)>;
    // Null, with the reason in *error, when the text is not a formula.
    static std::unique_ptr<TComputedFormula> Parse(const QString& text, const TColumnLookup& columnOf,
                                                   QString* error);

    // The value in a row (0-based); NaN when undefined.
    double Evaluate(int row, const TFormulaData& data) const;
    // The grid columns the formula reads.
    std::vector<int> ColumnsUsed() const;
    QString Text() const { return m_text; }

    struct Node;

private:
    TComputedFormula() = default;
    std::unique_ptr<Node> m_root;
    QString m_text;
};

} // namespace cv
