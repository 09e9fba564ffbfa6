#include "maths/sdl_matrix_base.h"

#include "maths/sdl_stats.h"
#include "maths/sdl_textio.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace cv {

namespace {

// Values as the XML form writes them: the shortest text that reads back as
// the same number, with "." as decimal separator whatever the locale.
QByteArray xmlValue(double v) { return textio::FormatShortest(v); }
QByteArray xmlValue(int32_t v) { return QByteArray::number(v); }
// Zero cells are left out of the XML form; a negative zero is kept so that
// the form reads back bit for bit.
bool isPlainZero(double v) { return v == 0 && !std::signbit(v); }
bool isPlainZero(int32_t v) { return v == 0; }

template <typename T>
const char* xmlComment();
template <>
const char* xmlComment<double>() { return "<!-- TMatrix / SDL Component Suite -->"; }
template <>
const char* xmlComment<int32_t>() { return "<!-- TIntMatrix / SDL Component Suite -->"; }

constexpr std::array<const char*, 7> kXmlTags = {"numcols", "numrows", "numplanes", "numtimeslots",
                                                 "cell",    "matrix",  "/matrix"};
enum XmlTag { tagNumCols, tagNumRows, tagNumPlanes, tagNumTimeSlots, tagCell, tagMatrix, tagEndMatrix };

} // namespace

template <typename T>
TMatrixBase<T>::TMatrixBase() : m_cells(1, T(0))
{
}

template <typename T>
void TMatrixBase<T>::raise(const QString& text) const
{
    throw ESDLMatrixError(ComponentMessage(text));
}

template <typename T>
void TMatrixBase<T>::raiseNoMemory() const
{
    raise(QStringLiteral("not enough memory on heap"));
}

template <typename T>
void TMatrixBase<T>::allocate(int32_t nc, int32_t nr, std::vector<T>&& cells)
{
    m_cells = std::move(cells);
    m_allocCols = std::max(nc, 1);
    m_allocRows = std::max(nr, 1);
    m_nCol = nc;
    m_nRow = nr;
}

template <typename T>
void TMatrixBase<T>::releaseStorage()
{
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_allocCols = 0;
    m_allocRows = 0;
}

template <typename T>
bool TMatrixBase<T>::Resize(int32_t nc, int32_t nr)
{
    nc = std::max(nc, 0);
    nr = std::max(nr, 0);
    const int32_t newCols = std::max(nc, 1);
    const int32_t newRows = std::max(nr, 1);
    if (int64_t(newCols) * newRows > kMaxCells)
        raiseNoMemory();
    if (newCols != m_allocCols || newRows != m_allocRows) {
        std::vector<T> cells;
        try {
            cells.assign(size_t(newCols) * size_t(newRows), T(0));
        } catch (const std::bad_alloc&) {
            raiseNoMemory();
        }
        const int32_t keepCols = std::min(newCols, m_allocCols);
        const int32_t keepRows = std::min(newRows, m_allocRows);
        for (int32_t c = 1; c <= keepCols; ++c)
            std::copy_n(column(c), keepRows, cells.data() + size_t(c - 1) * size_t(newRows));
        allocate(nc, nr, std::move(cells));
    } else {
        m_nCol = nc;
        m_nRow = nr;
    }
    Changed();
    return true;
}

template <typename T>
T TMatrixBase<T>::GetElem(int32_t col, int32_t row) const
{
    if (col < 1 || col > m_nCol || row < 1 || row > m_nRow)
        return T(0);
    return at(col, row);
}

template <typename T>
void TMatrixBase<T>::SetElem(int32_t col, int32_t row, T value)
{
    if (col < 1 || col > m_nCol || row < 1 || row > m_nRow)
        return;
    at(col, row) = value;
    Changed();
}

template <typename T>
void TMatrixBase<T>::Fill(T value)
{
    EnsureDense();
    for (int32_t c = 1; c <= m_nCol; ++c)
        std::fill_n(column(c), m_nRow, value);
    Changed();
}

template <typename T>
void TMatrixBase<T>::FillDiag(T value)
{
    EnsureDense();
    for (int32_t i = 1; i <= std::min(m_nCol, m_nRow); ++i)
        at(i, i) = value;
    Changed();
}

template <typename T>
const TMatrixBase<T>& TMatrixBase<T>::denseView(std::unique_ptr<TMatrixBase>& holder) const
{
    if (!IsSparse())
        return *this;
    holder = std::make_unique<TMatrixBase>();
    holder->Resize(m_nCol, m_nRow);
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r)
            holder->at(c, r) = GetElem(c, r);
    return *holder;
}

template <typename T>
void TMatrixBase<T>::Clone(const TMatrixBase& source)
{
    std::unique_ptr<TMatrixBase> holder;
    const TMatrixBase& src = source.denseView(holder);
    EnsureDense();
    Resize(src.m_nCol, src.m_nRow);
    for (int32_t c = 1; c <= src.m_nCol; ++c)
        for (int32_t r = 1; r <= src.m_nRow; ++r)
            SetElem(c, r, src.at(c, r));
    Changed();
}

namespace {
// Clears the vector, then puts cells lo..hi of one row or column into it
// from element 1 on, as far as the vector reaches.
template <typename T, typename Cell>
void copyLineToVec(TVectorBase<T>& dest, int32_t lo, int32_t hi, Cell&& cell)
{
    dest.Fill(T(0));
    const int32_t last = int32_t(std::min<int64_t>(hi, int64_t(lo) + dest.NrOfElem() - 1));
    for (int32_t k = lo; k <= last; ++k)
        dest.SetElem(k - lo + 1, cell(k));
}
} // namespace

template <typename T>
void TMatrixBase<T>::CopyRowToVec(VectorBase& destVec, int32_t row, int32_t firstCol, int32_t lastCol) const
{
    const TRange range = normalise(firstCol, row, lastCol, row);
    row = std::clamp(row, 1, std::max(m_nRow, 1));
    copyLineToVec(destVec, range.c1, range.c2, [&](int32_t c) { return GetElem(c, row); });
}

template <typename T>
void TMatrixBase<T>::CopyColToVec(VectorBase& destVec, int32_t col, int32_t firstRow, int32_t lastRow) const
{
    const TRange range = normalise(col, firstRow, col, lastRow);
    col = std::clamp(col, 1, std::max(m_nCol, 1));
    copyLineToVec(destVec, range.r1, range.r2, [&](int32_t r) { return GetElem(col, r); });
}

template <typename T>
void TMatrixBase<T>::ExchangeColumns(int32_t c1, int32_t c2)
{
    EnsureDense();
    if (c1 < 1 || c2 < 1 || c1 > m_nCol || c2 > m_nCol)
        return;
    std::swap_ranges(column(c1), column(c1) + m_nRow, column(c2));
    Changed();
}

template <typename T>
void TMatrixBase<T>::ExchangeRows(int32_t r1, int32_t r2)
{
    EnsureDense();
    if (r1 < 1 || r2 < 1 || r1 > m_nRow || r2 > m_nRow)
        return;
    for (int32_t c = 1; c <= m_nCol; ++c)
        std::swap(at(c, r1), at(c, r2));
    Changed();
}

template <typename T>
void TMatrixBase<T>::MirrorColumns()
{
    EnsureDense();
    for (int32_t l = 1, r = m_nCol; l < r; ++l, --r)
        std::swap_ranges(column(l), column(l) + m_nRow, column(r));
    Changed();
}

template <typename T>
void TMatrixBase<T>::MirrorRows()
{
    EnsureDense();
    for (int32_t c = 1; c <= m_nCol; ++c)
        std::reverse(column(c), column(c) + m_nRow);
    Changed();
}

template <typename T>
QString TMatrixBase<T>::CRCofData() const
{
    std::unique_ptr<TMatrixBase> holder;
    const TMatrixBase& m = denseView(holder);
    return CrcFingerprint<T>([&](auto feed) {
        for (int32_t c = 1; c <= m.m_nCol; ++c)
            for (int32_t r = 1; r <= m.m_nRow; ++r)
                feed(m.at(c, r));
    });
}

// ---- Statistics ------------------------------------------------------------

template <typename T>
auto TMatrixBase<T>::normalise(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const -> TRange
{
    auto one = [](int32_t lo, int32_t hi, int32_t n, int32_t& outLo, int32_t& outHi) {
        if (n < 1) { // an empty dimension has no cells to visit
            outLo = 1;
            outHi = 0;
            return;
        }
        if (lo == 0 && hi == 0) {
            outLo = 1;
            outHi = n;
            return;
        }
        lo = std::clamp(lo, 1, n);
        hi = std::clamp(hi, 1, n);
        if (lo > hi)
            std::swap(lo, hi);
        outLo = lo;
        outHi = hi;
    };
    TRange r;
    one(loC, hiC, m_nCol, r.c1, r.c2);
    one(loR, hiR, m_nRow, r.r1, r.r2);
    return r;
}

template <typename T>
std::vector<T> TMatrixBase<T>::gather(const TRange& r) const
{
    std::vector<T> values;
    if (r.empty())
        return values;
    values.reserve(size_t(r.cells()));
    for (int32_t c = r.c1; c <= r.c2; ++c) {
        if (IsSparse()) {
            for (int32_t row = r.r1; row <= r.r2; ++row)
                values.push_back(GetElem(c, row));
        } else {
            values.insert(values.end(), column(c) + (r.r1 - 1), column(c) + r.r2);
        }
    }
    return values;
}

template <typename T>
auto TMatrixBase<T>::Sum(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const -> SumType
{
    const TRange r = normalise(loC, loR, hiC, hiR);
    const std::vector<T> values = gather(r);
    return SdlTraits<T>::SumOf(values);
}

template <typename T>
auto TMatrixBase<T>::Trace() const -> SumType
{
    if (m_nCol != m_nRow)
        return SumType(0);
    std::vector<T> diagonal;
    for (int32_t i = 1; i <= m_nCol; ++i)
        diagonal.push_back(GetElem(i, i));
    return SdlTraits<T>::SumOf(diagonal);
}

template <typename T>
void TMatrixBase<T>::MinMax(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, T& minimum,
                            T& maximum) const
{
    minimum = SdlTraits<T>::kMatrixMinStart;
    maximum = -SdlTraits<T>::kMatrixMinStart;
    for (T v : gather(normalise(lowCol, lowRow, highCol, highRow))) {
        if (v < minimum)
            minimum = v;
        if (v > maximum)
            maximum = v;
    }
}

template <typename T>
void TMatrixBase<T>::MeanVar(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& mean,
                             double& variance) const
{
    const std::vector<T> values = gather(normalise(lowCol, lowRow, highCol, highRow));
    stats::MeanVar(std::span<const T>(values), false, mean, variance);
}

template <typename T>
void TMatrixBase<T>::SkewKurt(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& skewness,
                              double& kurtosis) const
{
    const std::vector<T> values = gather(normalise(lowCol, lowRow, highCol, highRow));
    stats::SkewKurt(std::span<const T>(values), 2, skewness, kurtosis);
}

template <typename T>
void TMatrixBase<T>::SkewKurtSample(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow,
                                    double& skewness, double& kurtosis) const
{
    const std::vector<T> values = gather(normalise(lowCol, lowRow, highCol, highRow));
    stats::SkewKurt(std::span<const T>(values), 2, skewness, kurtosis);
    stats::SampleCorrection(values.size(), skewness, kurtosis);
}

template <typename T>
bool TMatrixBase<T>::Quartiles(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& q1,
                               double& q2, double& q3) const
{
    std::vector<T> values;
    try {
        values = gather(normalise(lowCol, lowRow, highCol, highRow));
    } catch (const std::bad_alloc&) {
        raiseNoMemory();
    }
    stats::Quartiles(std::move(values), q1, q2, q3);
    return true;
}

template <typename T>
double TMatrixBase<T>::Percentile(double prob, int32_t lowCol, int32_t lowRow, int32_t highCol,
                                  int32_t highRow) const
{
    std::vector<T> values;
    try {
        values = gather(normalise(lowCol, lowRow, highCol, highRow));
    } catch (const std::bad_alloc&) {
        raiseNoMemory();
    }
    return stats::Percentile(std::move(values), prob);
}

template <typename T>
double TMatrixBase<T>::GeometricMean(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow) const
{
    const std::vector<T> values = gather(normalise(lowCol, lowRow, highCol, highRow));
    return stats::CheckedMean(std::span<const T>(values), stats::GeometricMean<T>,
                              [this](const QString& t) { raise(t); });
}

template <typename T>
double TMatrixBase<T>::HarmonicMean(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow) const
{
    const std::vector<T> values = gather(normalise(lowCol, lowRow, highCol, highRow));
    return stats::CheckedMean(std::span<const T>(values), stats::HarmonicMean<T>,
                              [this](const QString& t) { raise(t); });
}

template <typename T>
void TMatrixBase<T>::Find(int32_t lowCol, int32_t highCol, int32_t lowRow, int32_t highRow, T value,
                          int32_t& colIx, int32_t& rowIx) const
{
    colIx = 0;
    rowIx = 0;
    const TRange r = normalise(lowCol, lowRow, highCol, highRow);
    double best = 1.7e308;
    for (int32_t c = r.c1; c <= r.c2; ++c)
        for (int32_t row = r.r1; row <= r.r2; ++row) {
            const double d = std::fabs(double(GetElem(c, row)) - double(value));
            if (d < best) {
                best = d;
                colIx = c;
                rowIx = row;
            }
        }
}

template <typename T>
int32_t TMatrixBase<T>::FindInSortedColumn(int32_t col, bool colIsAscending, T value) const
{
    int32_t lo = 1;
    int32_t hi = std::max(m_nRow, 1);
    while (hi - lo >= 2) {
        const int32_t mid = lo + (hi - lo) / 2;
        const T x = GetElem(col, mid);
        if (x == value)
            return mid;
        if ((x < value) == colIsAscending)
            lo = mid;
        else
            hi = mid;
    }
    if (GetElem(col, lo) == value)
        return lo;
    const double dLo = std::fabs(double(GetElem(col, lo)) - double(value));
    const double dHi = std::fabs(double(GetElem(col, hi)) - double(value));
    return dLo < dHi ? lo : hi;
}

template <typename T>
void TMatrixBase<T>::SortRows(int32_t sortColIx, bool ascending, int32_t lowCol, int32_t lowRow, int32_t highCol,
                              int32_t highRow)
{
    EnsureDense();
    const TRange r = normalise(lowCol, lowRow, highCol, highRow);
    if (r.empty())
        return;
    const bool keyOutside = (sortColIx < r.c1 || sortColIx > r.c2) && sortColIx >= 1 && sortColIx <= m_nCol;
    CombSortPasses(
        r.r1, r.r2, r.r2 - r.r1,
        [&](int64_t i, int64_t j) {
            const T a = GetElem(sortColIx, int32_t(i)), b = GetElem(sortColIx, int32_t(j));
            return ascending ? a > b : a < b;
        },
        [&](int64_t i, int64_t j) {
            for (int32_t c = r.c1; c <= r.c2; ++c)
                std::swap(at(c, int32_t(i)), at(c, int32_t(j)));
            if (keyOutside)
                std::swap(at(sortColIx, int32_t(i)), at(sortColIx, int32_t(j)));
            SortExchanged(2, int32_t(i), int32_t(j), r.c1, r.c2);
        });
    Changed();
}

template <typename T>
void TMatrixBase<T>::SortCols(int32_t sortRowIx, bool ascending, int32_t lowCol, int32_t lowRow, int32_t highCol,
                              int32_t highRow)
{
    EnsureDense();
    const TRange r = normalise(lowCol, lowRow, highCol, highRow);
    if (r.empty())
        return;
    const bool keyOutside = (sortRowIx < r.r1 || sortRowIx > r.r2) && sortRowIx >= 1 && sortRowIx <= m_nRow;
    CombSortPasses(
        r.c1, r.c2, r.c2 - r.c1,
        [&](int64_t i, int64_t j) {
            const T a = GetElem(int32_t(i), sortRowIx), b = GetElem(int32_t(j), sortRowIx);
            return ascending ? a > b : a < b;
        },
        [&](int64_t i, int64_t j) {
            T* ci = column(int32_t(i));
            T* cj = column(int32_t(j));
            std::swap_ranges(ci + (r.r1 - 1), ci + r.r2, cj + (r.r1 - 1));
            if (keyOutside)
                std::swap(ci[sortRowIx - 1], cj[sortRowIx - 1]);
            SortExchanged(1, int32_t(i), int32_t(j), r.r1, r.r2);
        });
    Changed();
}

// ---- Arithmetic --------------------------------------------------------------

template <typename T>
template <typename Op>
bool TMatrixBase<T>::combineWith(const TMatrixBase& matB, Op&& op)
{
    if (matB.m_nCol != m_nCol || matB.m_nRow != m_nRow)
        return false;
    EnsureDense();
    std::unique_ptr<TMatrixBase> holder;
    const TMatrixBase& b = matB.denseView(holder);
    for (int32_t c = 1; c <= m_nCol; ++c) {
        T* dst = column(c);
        const T* src = b.column(c);
        for (int32_t r = 0; r < m_nRow; ++r)
            dst[r] = op(dst[r], src[r]);
    }
    Changed();
    return true;
}

template <typename T>
bool TMatrixBase<T>::Add(const TMatrixBase& matB)
{
    return combineWith(matB, SdlTraits<T>::Plus);
}

template <typename T>
bool TMatrixBase<T>::Subtract(const TMatrixBase& matB)
{
    return combineWith(matB, SdlTraits<T>::Minus);
}

template <typename T>
template <typename Op>
void TMatrixBase<T>::applyToCells(Op&& op)
{
    EnsureDense();
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (T* p = column(c); p != column(c) + m_nRow; ++p)
            *p = op(*p);
    Changed();
}

template <typename T>
void TMatrixBase<T>::SMult(T scalar)
{
    applyToCells([scalar](T x) { return SdlTraits<T>::Times(x, scalar); });
}

template <typename T>
void TMatrixBase<T>::SAdd(T scalar)
{
    applyToCells([scalar](T x) { return SdlTraits<T>::Plus(x, scalar); });
}

namespace {

// Column j of the product A·B in column-major order: for each k the whole
// column k of A is scaled by B(k, j) and added, so every inner loop runs down
// contiguous memory. The sums are kept in extended precision (wrapping 32
// bits for integers).
template <typename T>
struct ProductColumn;

template <>
struct ProductColumn<double> {
    std::vector<long double> acc;
    void reset(size_t n) { acc.assign(n, 0.0L); }
    // Four columns of A at a time keep the accumulator traffic down.
    void add4(const double* a0, const double* a1, const double* a2, const double* a3, double b0, double b1,
              double b2, double b3)
    {
        const size_t n = acc.size();
        for (size_t i = 0; i < n; ++i)
            acc[i] += ((long double)a0[i] * b0 + (long double)a1[i] * b1) +
                      ((long double)a2[i] * b2 + (long double)a3[i] * b3);
    }
    void add1(const double* a, double b)
    {
        const size_t n = acc.size();
        for (size_t i = 0; i < n; ++i)
            acc[i] += (long double)a[i] * b;
    }
    double value(size_t i) const { return double(acc[i]); }
};

template <>
struct ProductColumn<int32_t> {
    std::vector<uint32_t> acc;
    void reset(size_t n) { acc.assign(n, 0u); }
    void add4(const int32_t* a0, const int32_t* a1, const int32_t* a2, const int32_t* a3, int32_t b0, int32_t b1,
              int32_t b2, int32_t b3)
    {
        const size_t n = acc.size();
        for (size_t i = 0; i < n; ++i)
            acc[i] += uint32_t(a0[i]) * uint32_t(b0) + uint32_t(a1[i]) * uint32_t(b1) +
                      uint32_t(a2[i]) * uint32_t(b2) + uint32_t(a3[i]) * uint32_t(b3);
    }
    void add1(const int32_t* a, int32_t b)
    {
        const size_t n = acc.size();
        for (size_t i = 0; i < n; ++i)
            acc[i] += uint32_t(a[i]) * uint32_t(b);
    }
    int32_t value(size_t i) const { return int32_t(acc[i]); }
};

} // namespace

template <typename T>
bool TMatrixBase<T>::Multiply(const TMatrixBase& matB, TMatrixBase& matRes)
{
    if (m_nCol != matB.m_nRow || matRes.m_nCol != matB.m_nCol || matRes.m_nRow != m_nRow)
        return false;
    std::unique_ptr<TMatrixBase> holderA, holderB;
    const TMatrixBase& a = denseView(holderA);
    const TMatrixBase& b = matB.denseView(holderB);
    matRes.EnsureDense();
    const int32_t n = m_nCol;
    ProductColumn<T> product;
    for (int32_t j = 1; j <= matB.m_nCol; ++j) {
        product.reset(size_t(m_nRow));
        const T* bj = b.column(j);
        int32_t k = 1;
        for (; k + 3 <= n; k += 4)
            product.add4(a.column(k), a.column(k + 1), a.column(k + 2), a.column(k + 3), bj[k - 1], bj[k],
                         bj[k + 1], bj[k + 2]);
        for (; k <= n; ++k)
            product.add1(a.column(k), bj[k - 1]);
        for (int32_t i = 1; i <= m_nRow; ++i)
            matRes.SetElem(j, i, product.value(size_t(i - 1)));
    }
    Changed();
    return true;
}

template <typename T>
bool TMatrixBase<T>::TransposeAndMultiply(const TMatrixBase& matB, TMatrixBase& matRes)
{
    if (m_nRow != matB.m_nRow || matRes.m_nCol != matB.m_nCol || matRes.m_nRow != m_nCol)
        return false;
    std::unique_ptr<TMatrixBase> holderA, holderB;
    const TMatrixBase& a = denseView(holderA);
    const TMatrixBase& b = matB.denseView(holderB);
    matRes.EnsureDense();
    // Entry (i, j) is the dot product of column i of A with column j of B.
    for (int32_t j = 1; j <= matB.m_nCol; ++j)
        for (int32_t i = 1; i <= m_nCol; ++i) {
            TProductSum<T> s;
            const T* ai = a.column(i);
            const T* bj = b.column(j);
            for (int32_t k = 0; k < m_nRow; ++k)
                s.add(ai[k], bj[k]);
            matRes.SetElem(j, i, s.value());
        }
    Changed();
    return true;
}

template <typename T>
bool TMatrixBase<T>::TransposeAndMultiply(const VectorBase& vecB, VectorBase& vecRes)
{
    if (m_nRow != vecB.NrOfElem() || vecRes.NrOfElem() != m_nCol)
        return false;
    std::unique_ptr<TMatrixBase> holder;
    const TMatrixBase& a = denseView(holder);
    const std::span<const T> b = vecB.Elements();
    for (int32_t i = 1; i <= m_nCol; ++i) {
        TProductSum<T> s;
        const T* ai = a.column(i);
        for (int32_t k = 0; k < m_nRow; ++k)
            s.add(ai[k], b[size_t(k)]);
        vecRes.SetElem(i, s.value());
    }
    Changed();
    return true;
}

template <typename T>
bool TMatrixBase<T>::Transpose()
{
    EnsureDense();
    const int32_t nc = m_nRow, nr = m_nCol;
    std::vector<T> cells;
    try {
        cells.assign(size_t(std::max(nc, 1)) * size_t(std::max(nr, 1)), T(0));
    } catch (const std::bad_alloc&) {
        raiseNoMemory();
    }
    const size_t newRows = size_t(std::max(nr, 1));
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r)
            cells[size_t(r - 1) * newRows + size_t(c - 1)] = at(c, r);
    allocate(nc, nr, std::move(cells));
    Changed();
    return true;
}

// ---- Text form -----------------------------------------------------------------

template <typename T>
QByteArray TMatrixBase<T>::FormatTextValue(T value) const
{
    return xmlValue(value);
}

template <typename T>
bool TMatrixBase<T>::StoreOnFile(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR, const QString& fileName) const
{
    const TRange r = normalise(loC, loR, hiC, hiR);
    QByteArray text = QByteArray::number(r.r1) + ' ' + QByteArray::number(r.r2) + '\n' + QByteArray::number(r.c1) +
                      ' ' + QByteArray::number(r.c2) + '\n';
    for (int32_t row = r.r1; row <= r.r2; ++row) {
        for (int32_t c = r.c1; c <= r.c2; ++c)
            text += FormatTextValue(GetElem(c, row)) + ' ';
        text += '\n';
    }
    textio::SaveWholeFile(fileName, text);
    return true;
}

namespace {
bool readIntPair(textio::TTextReader& reader, int32_t& a, int32_t& b)
{
    QByteArray line;
    if (!reader.NextLine(line))
        return false;
    const QList<QByteArray> parts = line.simplified().split(' ');
    return parts.size() == 2 && textio::ParseNumber(parts[0], a) && textio::ParseNumber(parts[1], b);
}

// Bounds of a stored rectangle that a damaged file cannot have.
bool plausibleBounds(int32_t c1, int32_t c2, int32_t r1, int32_t r2)
{
    return c1 >= 1 && c1 <= c2 && r1 >= 1 && r1 <= r2 && int64_t(c2) * r2 <= kMaxCells;
}
} // namespace

template <typename T>
bool TMatrixBase<T>::LoadFromFile(const QString& fileName, bool adjustMatrixSize)
{
    const QByteArray bytes = textio::ReadWholeFile(fileName);
    textio::TTextReader reader(bytes);
    int32_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    if (!readIntPair(reader, r1, r2) || !readIntPair(reader, c1, c2) || !plausibleBounds(c1, c2, r1, r2))
        return false;
    // Every value takes at least two characters.
    if (int64_t(c2 - c1 + 1) * (r2 - r1 + 1) > bytes.size() / 2 + 1)
        return false;
    EnsureDense();
    if (adjustMatrixSize)
        Resize(c2, r2);
    bool ok = r2 <= m_nRow && c2 <= m_nCol;
    if (ok) {
        QByteArray token;
        bool ended = false;
        for (int32_t row = r1; row <= r2 && !ended; ++row)
            for (int32_t c = c1; c <= c2; ++c) {
                if (!reader.NextToken(token)) {
                    ok = false; // the file ends early; what was read stays
                    ended = true;
                    break;
                }
                // A value that cannot be read is passed over: its cell keeps
                // what it held, and the file still counts as read.
                T v{};
                if (textio::ParseNumber(token, v))
                    SetElem(c, row, v);
            }
    }
    Changed();
    return ok;
}

// ---- Stream form -----------------------------------------------------------------

template <typename T>
void TMatrixBase<T>::SaveToStream(QIODevice& out, int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const
{
    const TRange r = normalise(loC, loR, hiC, hiR);
    using Tr = SdlTraits<T>;
    bool ok = Tr::WriteValue(out, T(r.r1)) && Tr::WriteValue(out, T(r.r2)) && Tr::WriteValue(out, T(r.c1)) &&
              Tr::WriteValue(out, T(r.c2));
    for (int32_t row = r.r1; ok && row <= r.r2; ++row)
        for (int32_t c = r.c1; ok && c <= r.c2; ++c)
            ok = Tr::WriteValue(out, GetElem(c, row));
    if (!ok)
        throw ESDLFileError(QStringLiteral("Cannot write the matrix to the stream: %1").arg(out.errorString()));
}

template <typename T>
void TMatrixBase<T>::SaveToStream(std::unique_ptr<QBuffer>& out, int32_t loC, int32_t loR, int32_t hiC,
                                  int32_t hiR) const
{
    if (!out) {
        out = std::make_unique<QBuffer>();
        out->open(QIODevice::ReadWrite);
    }
    SaveToStream(*out, loC, loR, hiC, hiR);
}

template <typename T>
bool TMatrixBase<T>::LoadFromStream(QIODevice* in, bool adjustMatrixSize)
{
    if (!in)
        return false;
    using Tr = SdlTraits<T>;
    bool error = false;
    T bound[4];
    for (T& b : bound)
        b = Tr::ReadValue(*in, error);
    int32_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    if (error || !Tr::ToIndex(bound[0], r1) || !Tr::ToIndex(bound[1], r2) || !Tr::ToIndex(bound[2], c1) ||
        !Tr::ToIndex(bound[3], c2) || !plausibleBounds(c1, c2, r1, r2))
        return false;
    const int64_t left = StreamValuesLeft(*in, Tr::kStreamValueSize);
    if (left >= 0 && int64_t(c2 - c1 + 1) * (r2 - r1 + 1) > left)
        return false; // truncated: refuse before touching the matrix
    EnsureDense();
    if (adjustMatrixSize)
        Resize(c2, r2);
    bool ok = r2 <= m_nRow && c2 <= m_nCol;
    if (ok) {
        for (int32_t row = r1; row <= r2; ++row)
            for (int32_t c = c1; c <= c2; ++c) {
                bool failed = false;
                const T v = Tr::ReadValue(*in, failed);
                if (failed)
                    ok = false;
                else
                    SetElem(c, row, v);
            }
    }
    Changed();
    return ok;
}

// ---- XML form -------------------------------------------------------------------

template <typename T>
void TMatrixBase<T>::WriteToXMLStream(QIODevice& out, bool createHeader, const QString& dataID) const
{
    const QByteArray id = (dataID.isEmpty() ? m_dataID : dataID).toUtf8();
    QByteArray text;
    if (createHeader)
        text += "<?xml version=\"1.0\"?>\r\n";
    text += "\r\n";
    text += xmlComment<T>();
    text += "\r\n<matrix sig=\"SDLCSuite\" vers=\"6.0\" dim=\"2\" id=\"" + id + "\">\r\n";
    text += "<numcols>" + QByteArray::number(m_nCol) + "</numcols>\r\n";
    text += "<numrows>" + QByteArray::number(m_nRow) + "</numrows>\r\n";
    for (int32_t r = 1; r <= m_nRow; ++r)
        for (int32_t c = 1; c <= m_nCol; ++c) {
            const T v = GetElem(c, r);
            if (!isPlainZero(v))
                text += "<cell ix=\"" + QByteArray::number(c) + "\" iy=\"" + QByteArray::number(r) + "\">" +
                        xmlValue(v) + "</cell>\r\n";
        }
    text += "</matrix>\r\n";
    if (out.write(text) != text.size())
        throw ESDLFileError(QStringLiteral("Cannot write the matrix as XML: %1").arg(out.errorString()));
}

template <typename T>
void TMatrixBase<T>::SaveAsXMLFile(const QString& fileName, const QString& dataID) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteToXMLStream(buffer, true, dataID);
    textio::SaveWholeFile(fileName, buffer.data());
}

namespace {

// One line of a stream: bytes from code 32 up and tabs are kept, any other
// control character ends the line. False at the end of the stream.
bool readXmlLine(QIODevice& in, QByteArray& line)
{
    line.clear();
    char c = 0;
    bool any = false;
    while (in.getChar(&c)) {
        any = true;
        if (uchar(c) >= 32 || c == '\t')
            line.append(c);
        else
            return true;
    }
    return any;
}

// The quoted value after `name=` in a lower-cased tag line.
bool attributeValue(const QByteArray& line, const QByteArray& name, QByteArray& value)
{
    qsizetype at = -1;
    for (qsizetype from = 0;; from = at + 1) {
        at = line.indexOf(name, from);
        if (at < 0)
            return false;
        const bool wordStart = at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t' || line[at - 1] == '<';
        qsizetype p = at + name.size();
        while (p < line.size() && line[p] == ' ')
            ++p;
        if (!wordStart || p >= line.size() || line[p] != '=')
            continue;
        const qsizetype open = line.indexOf('"', p);
        if (open < 0)
            return false;
        const qsizetype close = line.indexOf('"', open + 1);
        value = line.mid(open + 1, close < 0 ? -1 : close - open - 1);
        return true;
    }
}

// Leading blanks, optional sign, decimal digits.
bool leadingInt(const QByteArray& text, int32_t& value)
{
    qsizetype p = 0;
    while (p < text.size() && text[p] == ' ')
        ++p;
    qsizetype end = p;
    if (end < text.size() && (text[end] == '-' || text[end] == '+'))
        ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    return textio::ParseNumber(text.mid(p, end - p), value);
}

} // namespace

template <typename T>
bool TMatrixBase<T>::ReadFromXMLStream(QIODevice& in, const QString& dataID)
{
    return readXml(in, dataID);
}

template <typename T>
bool TMatrixBase<T>::LoadFromXMLFile(const QString& fileName, const QString& dataID)
{
    QBuffer buffer;
    buffer.setData(textio::ReadWholeFile(fileName));
    buffer.open(QIODevice::ReadOnly);
    return readXml(buffer, dataID);
}

template <typename T>
bool TMatrixBase<T>::readXml(QIODevice& in, const QString& dataID)
{
    const QByteArray wanted = dataID.toUtf8().toLower();
    QByteArray line, id;
    bool accepted = false;
    while (!accepted && readXmlLine(in, line)) {
        const QByteArray lower = line.toLower();
        if (!lower.contains("<matrix") || !lower.contains("sdlcsuite"))
            continue;
        QByteArray dim;
        int32_t dims = 0;
        if (!attributeValue(lower, "dim", dim) || !leadingInt(dim, dims) || dims != 2)
            continue;
        QByteArray idValue;
        if (!attributeValue(line, "id", idValue) && !attributeValue(lower, "id", idValue))
            idValue.clear();
        id = TrimBlanks(idValue);
        if (!wanted.isEmpty() && id.toLower() != wanted)
            continue;
        accepted = true;
    }
    if (!accepted)
        return false;

    // Everything is collected first, so that a damaged document changes
    // nothing; cells the document leaves out keep their values where they
    // lie inside the new bounds (a document may give only what changed).
    struct Cell {
        int32_t col, row;
        T value;
    };
    std::vector<Cell> cells;
    int32_t numCols = m_nCol, numRows = m_nRow;
    QByteArray attributes, content;
    for (;;) {
        const int tag = ReadXmlElement(in, kXmlTags, attributes, content);
        if (tag == tagNumCols || tag == tagNumRows) {
            int32_t n = 0;
            if (!leadingInt(content, n) || n < 0)
                return false;
            (tag == tagNumCols ? numCols : numRows) = n;
        } else if (tag == tagCell) {
            const QByteArray lower = attributes.toLower();
            QByteArray ix, iy;
            Cell cell{};
            if (!attributeValue(lower, "ix", ix) || !attributeValue(lower, "iy", iy) ||
                !leadingInt(ix, cell.col) || !leadingInt(iy, cell.row) || !textio::ParseNumber(content, cell.value))
                return false;
            cells.push_back(cell);
        } else if (tag == tagEndMatrix) {
            break;
        } else if (tag != tagNumPlanes && tag != tagNumTimeSlots && tag != tagMatrix) {
            return false; // an unknown element, or the document ends without </matrix>
        }
    }
    if (int64_t(std::max(numCols, 1)) * std::max(numRows, 1) > kMaxCells)
        return false;

    EnsureDense();
    m_dataID = QString::fromUtf8(id);
    Resize(numCols, numRows);
    for (const Cell& cell : cells)
        SetElem(cell.col, cell.row, cell.value);
    Changed();
    return true;
}

template class TMatrixBase<double>;
template class TMatrixBase<int32_t>;

} // namespace cv
