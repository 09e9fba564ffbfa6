#include "ui/framework/grid_dialogs/formula.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace cv {

namespace {

constexpr char16_t kTimes = u'\u00D7';
constexpr char16_t kDivide = u'\u00F7';
constexpr char16_t kMiddleDot = u'\u00B7';
const double kUndefined = std::numeric_limits<double>::quiet_NaN();

enum FunctionIndex { kPi, kCum, kSqrt, kExp, kSin, kCos, kLog, kSqr, kCol, kCell };

bool IsDigitOrPoint(QChar c) { return (c >= u'0' && c <= u'9') || c == u'.' || c == kMiddleDot; }

} // namespace

const QStringList& MathsFunctionNames()
{
    static const QStringList names{QStringLiteral("pi"),  QStringLiteral("cum"), QStringLiteral("sqrt"),
                                   QStringLiteral("exp"), QStringLiteral("sin"), QStringLiteral("cos"),
                                   QStringLiteral("log"), QStringLiteral("sqr"), QStringLiteral("col"),
                                   QStringLiteral("cell")};
    return names;
}

int BracketBalance(const QString& formula)
{
    int balance = 0;
    for (QChar c : formula) {
        if (c == u'(' || c == u'[')
            ++balance;
        else if (c == u')' || c == u']')
            --balance;
    }
    return balance;
}

QString InsertPrecedenceBrackets(const QString& formula)
{
    auto inBefore = [](QChar c) { return c == u' ' || IsDigitOrPoint(c); };
    auto inAfter = [](QChar c) {
        return c == u' ' || c == u'*' || c == u'/' || c == u';' || c == kTimes || c == kDivide || IsDigitOrPoint(c);
    };
    QString text = formula;
    bool armed = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'+' || c == u'-') {
            armed = true;
        } else if (c == u'(' || c == u')' || c == u'[' || c == u']') {
            armed = false;
        } else if (armed && (c == u'*' || c == u'/' || c == kTimes || c == kDivide)) {
            armed = false;
            qsizetype start = i;
            while (start > 0 && inBefore(text[start - 1]))
                --start;
            qsizetype end = i + 1;
            while (end < text.size() && inAfter(text[end]))
                ++end;
            // The brackets go round the numbers, not the blanks beside them.
            while (start < i && text[start] == u' ')
                ++start;
            while (end > i + 1 && text[end - 1] == u' ')
                --end;
            // With no number on one side (a column or a bracket stands there)
            // a bracket would break the formula: leave it as it is.
            if (start == i || end == i + 1)
                continue;
            text.insert(end, u')');
            text.insert(start, u'(');
            i = end + 1; // past the inserted ")"
        }
    }
    return text;
}

// ---------------------------------------------------------------------------
// The tree

struct TComputedFormula::Node {
    enum class Kind { Number, Column, Cell, Negate, Add, Subtract, Multiply, Divide, Function, Cumulative };
    Kind kind = Kind::Number;
    double number = 0;
    int column = -1;
    int row = 0;       // Cell: 0-based row
    int function = -1; // Function: sqrt .. sqr
    std::unique_ptr<Node> a, b;
    // Cumulative: running totals down the rows, kept for one generation of the data.
    mutable std::vector<double> totals;
    mutable uint64_t totalsGeneration = 0;
    mutable bool totalsValid = false;

    double Evaluate(int r, const TFormulaData& data) const
    {
        switch (kind) {
        case Kind::Number: return number;
        case Kind::Column: return r >= 0 && r < data.rowCount && data.value ? data.value(r, column) : kUndefined;
        case Kind::Cell: return row >= 0 && row < data.rowCount && data.value ? data.value(row, column) : kUndefined;
        case Kind::Negate: return -a->Evaluate(r, data);
        case Kind::Add: return a->Evaluate(r, data) + b->Evaluate(r, data);
        case Kind::Subtract: return a->Evaluate(r, data) - b->Evaluate(r, data);
        case Kind::Multiply: return a->Evaluate(r, data) * b->Evaluate(r, data);
        case Kind::Divide: {
            const double x = a->Evaluate(r, data);
            const double y = b->Evaluate(r, data);
            return y == 0 ? kUndefined : x / y;
        }
        case Kind::Function: {
            const double x = a->Evaluate(r, data);
            switch (function) {
            case kSqrt: return x < 0 ? kUndefined : std::sqrt(x);
            case kExp: return std::exp(x);
            case kSin: return std::sin(x);
            case kCos: return std::cos(x);
            case kLog: return x > 0 ? std::log(x) : kUndefined;
            case kSqr: return x * x;
            default: return kUndefined;
            }
        }
        case Kind::Cumulative: {
            if (r < 0 || r >= data.rowCount)
                return kUndefined;
            if (!totalsValid || totalsGeneration != data.generation || int(totals.size()) != data.rowCount) {
                totals.assign(size_t(data.rowCount), 0);
                double sum = 0;
                for (int i = 0; i < data.rowCount; ++i) {
                    sum += a->Evaluate(i, data);
                    totals[size_t(i)] = sum;
                }
                totalsGeneration = data.generation;
                totalsValid = true;
            }
            return totals[size_t(r)];
        }
        }
        return kUndefined;
    }

    void Columns(std::vector<int>& out) const
    {
        if (kind == Kind::Column || kind == Kind::Cell)
            out.push_back(column);
        if (a)
            a->Columns(out);
        if (b)
            b->Columns(out);
    }
};

namespace {

using Node = TComputedFormula::Node;
using Kind = Node::Kind;

class Parser {
public:
    Parser(const QString& text, const TComputedFormula::TColumnLookup& columnOf) : m_text(text), m_columnOf(columnOf) {}

    std::unique_ptr<Node> ParseAll()
    {
        auto node = Sum();
        if (!node)
            return nullptr;
        SkipBlanks();
        if (m_pos < m_text.size())
            return Fail(QStringLiteral("Unexpected \"%1\" at position %2").arg(m_text.mid(m_pos, 10)).arg(m_pos + 1));
        return node;
    }
    QString Error() const { return m_error; }

private:
    std::unique_ptr<Node> Fail(const QString& why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return nullptr;
    }
    void SkipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }
    bool Take(QChar c)
    {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    static std::unique_ptr<Node> Binary(Kind kind, std::unique_ptr<Node> a, std::unique_ptr<Node> b)
    {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->a = std::move(a);
        n->b = std::move(b);
        return n;
    }

    std::unique_ptr<Node> Sum()
    {
        auto left = Product();
        while (left) {
            if (Take(u'+'))
                left = Join(Kind::Add, std::move(left), Product());
            else if (Take(u'-'))
                left = Join(Kind::Subtract, std::move(left), Product());
            else
                break;
        }
        return left;
    }
    std::unique_ptr<Node> Product()
    {
        auto left = Unary();
        while (left) {
            if (Take(u'*') || Take(kTimes))
                left = Join(Kind::Multiply, std::move(left), Unary());
            else if (Take(u'/') || Take(kDivide))
                left = Join(Kind::Divide, std::move(left), Unary());
            else
                break;
        }
        return left;
    }
    static std::unique_ptr<Node> Join(Kind kind, std::unique_ptr<Node> a, std::unique_ptr<Node> b)
    {
        return b ? Binary(kind, std::move(a), std::move(b)) : nullptr;
    }
    std::unique_ptr<Node> Unary()
    {
        if (Take(u'-')) {
            auto operand = Unary();
            return operand ? Binary(Kind::Negate, std::move(operand), nullptr) : nullptr;
        }
        if (Take(u'+'))
            return Unary();
        return Primary();
    }
    std::unique_ptr<Node> Bracketed(QChar open, QChar close)
    {
        if (!Take(open))
            return Fail(QStringLiteral("\"%1\" expected at position %2").arg(open).arg(m_pos + 1));
        auto inner = Sum();
        if (inner && !Take(close))
            return Fail(QStringLiteral("\"%1\" expected at position %2").arg(close).arg(m_pos + 1));
        return inner;
    }
    std::unique_ptr<Node> Primary()
    {
        SkipBlanks();
        if (m_pos >= m_text.size())
            return Fail(QStringLiteral("The formula ends where a value is expected"));
        const QChar c = m_text[m_pos];
        if (c == u'(')
            return Bracketed(u'(', u')');
        if (c == u'[')
            return Bracketed(u'[', u']');
        if (IsDigitOrPoint(c))
            return Number();
        if (c.isLetter())
            return Function();
        return Fail(QStringLiteral("Unexpected \"%1\" at position %2").arg(c).arg(m_pos + 1));
    }
    std::unique_ptr<Node> Number()
    {
        const qsizetype start = m_pos;
        QString digits;
        while (m_pos < m_text.size() && IsDigitOrPoint(m_text[m_pos])) {
            digits += m_text[m_pos] == kMiddleDot ? QChar(u'.') : m_text[m_pos];
            ++m_pos;
        }
        bool ok = false;
        const double v = digits.toDouble(&ok);
        if (!ok)
            return Fail(QStringLiteral("\"%1\" is not a number").arg(m_text.mid(start, m_pos - start)));
        auto n = std::make_unique<Node>();
        n->number = v;
        return n;
    }
    std::unique_ptr<Node> Function()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos].isLetter())
            ++m_pos;
        const QString name = m_text.mid(start, m_pos - start);
        const QStringList& names = MathsFunctionNames();
        int index = -1;
        bool cumulativeColumn = false;
        for (int i = 0; i < names.size() && index < 0; ++i)
            if (name.compare(names[i], Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0 && name.compare(names[kCol] + u'C', Qt::CaseInsensitive) == 0) {
            index = kCol;
            cumulativeColumn = true;
        }
        if (index < 0)
            return Fail(QStringLiteral("Unknown function \"%1\"").arg(name));
        if (index == kPi) {
            auto n = std::make_unique<Node>();
            n->number = std::numbers::pi;
            return n;
        }
        if (index == kCol || index == kCell)
            return ColumnReference(index == kCell, cumulativeColumn);
        auto argument = Bracketed(u'(', u')');
        if (!argument)
            return nullptr;
        auto n = std::make_unique<Node>();
        n->kind = index == kCum ? Kind::Cumulative : Kind::Function;
        n->function = index;
        n->a = std::move(argument);
        return n;
    }
    std::unique_ptr<Node> ColumnReference(bool oneRow, bool cumulative)
    {
        if (!Take(u'('))
            return Fail(QStringLiteral("\"(\" expected at position %1").arg(m_pos + 1));
        SkipBlanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != u'"')
            return Fail(QStringLiteral("A column heading in double quotes is expected at position %1").arg(m_pos + 1));
        const qsizetype close = m_text.indexOf(u'"', m_pos + 1);
        if (close < 0)
            return Fail(QStringLiteral("The column heading at position %1 has no closing quote").arg(m_pos + 1));
        const QString heading = m_text.mid(m_pos + 1, close - m_pos - 1);
        m_pos = close + 1;
        const int column = m_columnOf ? m_columnOf(heading) : -1;
        if (column == -1)
            return Fail(QStringLiteral("No column is headed \"%1\"").arg(heading));
        auto n = std::make_unique<Node>();
        n->kind = oneRow ? Kind::Cell : Kind::Column;
        n->column = column;
        if (oneRow) {
            if (!Take(u';'))
                return Fail(QStringLiteral("\";\" and a row number expected at position %1").arg(m_pos + 1));
            SkipBlanks();
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos].isDigit())
                ++m_pos;
            bool ok = false;
            const int row = m_text.mid(start, m_pos - start).toInt(&ok);
            if (!ok || row < 1)
                return Fail(QStringLiteral("A row number from 1 is expected at position %1").arg(start + 1));
            n->row = row - 1;
        }
        if (!Take(u')'))
            return Fail(QStringLiteral("\")\" expected at position %1").arg(m_pos + 1));
        if (!cumulative)
            return n;
        auto total = std::make_unique<Node>();
        total->kind = Kind::Cumulative;
        total->a = std::move(n);
        return total;
    }

    const QString& m_text;
    const TComputedFormula::TColumnLookup& m_columnOf;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

TComputedFormula::~TComputedFormula() = default;

std::unique_ptr<TComputedFormula> TComputedFormula::Parse(const QString& text, const TColumnLookup& columnOf,
                                                          QString* error)
{
    if (text.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("The formula is empty");
        return nullptr;
    }
    Parser parser(text, columnOf);
    std::unique_ptr<Node> root = parser.ParseAll();
    if (!root) {
        if (error)
            *error = parser.Error();
        return nullptr;
    }
    std::unique_ptr<TComputedFormula> f(new TComputedFormula);
    f->m_root = std::move(root);
    f->m_text = text.trimmed();
    return f;
}

double TComputedFormula::Evaluate(int row, const TFormulaData& data) const
{
    const double v = m_root->Evaluate(row, data);
    return std::isfinite(v) ? v : kUndefined;
}

std::vector<int> TComputedFormula::ColumnsUsed() const
{
    std::vector<int> out;
    m_root->Columns(out);
    return out;
}

} // namespace cv
