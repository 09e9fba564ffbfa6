#include "maths/sdl_matrix.h"

#include "maths/sdl_intmatrix.h"
#include "maths/sdl_stats.h"
#include "maths/sdl_textio.h"

#include <QFile>

#include <cmath>
#include <limits>

namespace cv {

namespace {

// Below this a pivot counts as zero: the matrix is singular.
constexpr double kTinyPivot = 1e-100;

// LU decomposition in place of the n x n column-major matrix `a` (column
// stride lda), Crout's method with implicit partial pivoting. Column j is
// finished from the columns before it (left-looking), so every inner loop
// runs down a contiguous column; the updates of a column are summed in
// extended precision. pivot[j] is the row exchanged with row j; sign is the
// permutation's sign. False when a row is all zero or a pivot is below
// kTinyPivot (which is then put in its place, as the decomposition goes on).
bool luInPlace(double* a, size_t lda, int n, std::vector<int>& pivot, int& sign)
{
    sign = 1;
    auto col = [&](int j) { return a + size_t(j) * lda; };
    std::vector<double> scale(size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        double big = 0;
        for (int j = 0; j < n; ++j)
            big = std::max(big, std::fabs(col(j)[i]));
        if (big == 0)
            return false;
        scale[size_t(i)] = 1 / big;
    }
    bool ok = true;
    pivot.assign(size_t(n), 0);
    std::vector<long double> work(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        double* cj = col(j);
        for (int i = 0; i < n; ++i)
            work[size_t(i)] = cj[i];
        for (int k = 0; k < j; ++k) {
            const long double x = work[size_t(k)];
            if (x == 0)
                continue;
            const double* ck = col(k);
            for (int i = k + 1; i < n; ++i)
                work[size_t(i)] -= ck[i] * x;
        }
        double big = 0;
        int p = j;
        for (int i = j; i < n; ++i) {
            const double t = scale[size_t(i)] * std::fabs(double(work[size_t(i)]));
            if (t >= big) {
                big = t;
                p = i;
            }
        }
        for (int i = 0; i < n; ++i)
            cj[i] = double(work[size_t(i)]);
        if (p != j) {
            for (int c = 0; c < n; ++c)
                std::swap(col(c)[p], col(c)[j]);
            sign = -sign;
            scale[size_t(p)] = scale[size_t(j)];
        }
        pivot[size_t(j)] = p;
        if (std::fabs(cj[j]) < kTinyPivot) {
            ok = false;
            cj[j] = kTinyPivot;
        }
        const double d = cj[j];
        for (int i = j + 1; i < n; ++i)
            cj[i] /= d;
    }
    return ok;
}

// Solves (LU) x = P b for one right-hand side held in x, using the factors
// and pivots of luInPlace. Leading zeros of the permuted right-hand side are
// skipped in the forward substitution.
void luSolve(const double* a, size_t lda, int n, const std::vector<int>& pivot, std::vector<long double>& x)
{
    auto col = [&](int j) { return a + size_t(j) * lda; };
    for (int j = 0; j < n; ++j)
        std::swap(x[size_t(j)], x[size_t(pivot[size_t(j)])]);
    int first = 0;
    while (first < n && x[size_t(first)] == 0)
        ++first;
    for (int k = first; k < n; ++k) {
        const long double xk = x[size_t(k)];
        if (xk == 0)
            continue;
        const double* ck = col(k);
        for (int i = k + 1; i < n; ++i)
            x[size_t(i)] -= ck[i] * xk;
    }
    for (int k = n - 1; k >= 0; --k) {
        const double* ck = col(k);
        x[size_t(k)] /= ck[k];
        const long double xk = x[size_t(k)];
        if (xk == 0)
            continue;
        for (int i = 0; i < k; ++i)
            x[size_t(i)] -= ck[i] * xk;
    }
}

// The magnitude of a with the sign of b.
double withSignOf(double a, double b) { return b >= 0 ? std::fabs(a) : -std::fabs(a); }

} // namespace

// ---- Singular value decomposition -------------------------------------------

bool SingularValueDecomposition(std::span<double> aCells, int m, int n, std::span<double> w, std::span<double> vCells)
{
    auto a = [&](int row, int col) -> double& { return aCells[size_t(col) * size_t(m) + size_t(row)]; };
    auto v = [&](int row, int col) -> double& { return vCells[size_t(col) * size_t(n) + size_t(row)]; };
    std::vector<double> rv1(size_t(n), 0.0);
    double g = 0, scale = 0, anorm = 0;
    int l = 0;

    // Householder reduction to bidiagonal form.
    for (int i = 0; i < n; ++i) {
        l = i + 1;
        rv1[size_t(i)] = scale * g;
        g = 0;
        double s = 0;
        scale = 0;
        if (i < m) {
            for (int k = i; k < m; ++k)
                scale += std::fabs(a(k, i));
            if (scale != 0) {
                for (int k = i; k < m; ++k) {
                    a(k, i) /= scale;
                    s += a(k, i) * a(k, i);
                }
                const double f = a(i, i);
                g = -withSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a(i, i) = f - g;
                for (int j = l; j < n; ++j) {
                    double sum = 0;
                    for (int k = i; k < m; ++k)
                        sum += a(k, i) * a(k, j);
                    const double factor = sum / h;
                    for (int k = i; k < m; ++k)
                        a(k, j) += factor * a(k, i);
                }
                for (int k = i; k < m; ++k)
                    a(k, i) *= scale;
            }
        }
        w[size_t(i)] = scale * g;
        g = 0;
        s = 0;
        scale = 0;
        if (i < m && i != n - 1) {
            for (int k = l; k < n; ++k)
                scale += std::fabs(a(i, k));
            if (scale != 0) {
                for (int k = l; k < n; ++k) {
                    a(i, k) /= scale;
                    s += a(i, k) * a(i, k);
                }
                const double f = a(i, l);
                g = -withSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a(i, l) = f - g;
                for (int k = l; k < n; ++k)
                    rv1[size_t(k)] = a(i, k) / h;
                for (int j = l; j < m; ++j) {
                    double sum = 0;
                    for (int k = l; k < n; ++k)
                        sum += a(j, k) * a(i, k);
                    for (int k = l; k < n; ++k)
                        a(j, k) += sum * rv1[size_t(k)];
                }
                for (int k = l; k < n; ++k)
                    a(i, k) *= scale;
            }
        }
        anorm = std::max(anorm, std::fabs(w[size_t(i)]) + std::fabs(rv1[size_t(i)]));
    }

    // Accumulation of the right-hand transformations.
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1) {
            if (g != 0) {
                for (int j = l; j < n; ++j) // double division avoids a possible underflow
                    v(j, i) = (a(i, j) / a(i, l)) / g;
                for (int j = l; j < n; ++j) {
                    double sum = 0;
                    for (int k = l; k < n; ++k)
                        sum += a(i, k) * v(k, j);
                    for (int k = l; k < n; ++k)
                        v(k, j) += sum * v(k, i);
                }
            }
            for (int j = l; j < n; ++j)
                v(i, j) = v(j, i) = 0;
        }
        v(i, i) = 1;
        g = rv1[size_t(i)];
        l = i;
    }

    // Accumulation of the left-hand transformations.
    for (int i = std::min(m, n) - 1; i >= 0; --i) {
        l = i + 1;
        g = w[size_t(i)];
        for (int j = l; j < n; ++j)
            a(i, j) = 0;
        if (g != 0) {
            g = 1 / g;
            for (int j = l; j < n; ++j) {
                double sum = 0;
                for (int k = l; k < m; ++k)
                    sum += a(k, i) * a(k, j);
                const double f = (sum / a(i, i)) * g;
                for (int k = i; k < m; ++k)
                    a(k, j) += f * a(k, i);
            }
            for (int j = i; j < m; ++j)
                a(j, i) *= g;
        } else {
            for (int j = i; j < m; ++j)
                a(j, i) = 0;
        }
        a(i, i) += 1;
    }

    // Diagonalisation of the bidiagonal form by implicit-shift QR steps.
    const double eps = std::numeric_limits<double>::epsilon();
    for (int k = n - 1; k >= 0; --k) {
        for (int its = 1;; ++its) {
            bool cancel = true;
            int nm = 0;
            for (l = k; l >= 0; --l) {
                nm = l - 1;
                if (l == 0 || std::fabs(rv1[size_t(l)]) <= eps * anorm) {
                    cancel = false;
                    break;
                }
                if (std::fabs(w[size_t(nm)]) <= eps * anorm)
                    break;
            }
            if (cancel) {
                double c = 0, s = 1;
                for (int i = l; i <= k; ++i) {
                    const double f = s * rv1[size_t(i)];
                    rv1[size_t(i)] = c * rv1[size_t(i)];
                    if (std::fabs(f) <= eps * anorm)
                        break;
                    g = w[size_t(i)];
                    double h = std::hypot(f, g);
                    w[size_t(i)] = h;
                    h = 1 / h;
                    c = g * h;
                    s = -f * h;
                    for (int j = 0; j < m; ++j) {
                        const double y = a(j, nm), z = a(j, i);
                        a(j, nm) = y * c + z * s;
                        a(j, i) = z * c - y * s;
                    }
                }
            }
            double z = w[size_t(k)];
            if (l == k) { // converged; make the singular value non-negative
                if (z < 0) {
                    w[size_t(k)] = -z;
                    for (int j = 0; j < n; ++j)
                        v(j, k) = -v(j, k);
                }
                break;
            }
            if (its >= 30)
                return false;
            double x = w[size_t(l)];
            nm = k - 1;
            double y = w[size_t(nm)];
            g = rv1[size_t(nm)];
            double h = rv1[size_t(k)];
            double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2 * h * y);
            g = std::hypot(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(g, f))) - h)) / x;
            double c = 1, s = 1;
            for (int j = l; j <= nm; ++j) {
                const int i = j + 1;
                g = rv1[size_t(i)];
                y = w[size_t(i)];
                h = s * g;
                g = c * g;
                z = std::hypot(f, h);
                rv1[size_t(j)] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                for (int jj = 0; jj < n; ++jj) {
                    const double vx = v(jj, j), vz = v(jj, i);
                    v(jj, j) = vx * c + vz * s;
                    v(jj, i) = vz * c - vx * s;
                }
                z = std::hypot(f, h);
                w[size_t(j)] = z;
                if (z != 0) {
                    z = 1 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (int jj = 0; jj < m; ++jj) {
                    const double ay = a(jj, j), az = a(jj, i);
                    a(jj, j) = ay * c + az * s;
                    a(jj, i) = az * c - ay * s;
                }
            }
            rv1[size_t(l)] = 0;
            rv1[size_t(k)] = f;
            w[size_t(k)] = x;
        }
    }
    return true;
}

// ---- TMatrix -------------------------------------------------------------------

void TMatrix::Assign(const TMatrix& source)
{
    if (&source == this)
        return;
    m_dataID = source.m_dataID;
    std::vector<double> cells(size_t(std::max(source.m_nCol, 1)) * size_t(std::max(source.m_nRow, 1)), 0.0);
    const size_t rows = size_t(std::max(source.m_nRow, 1));
    for (int32_t c = 1; c <= source.m_nCol; ++c)
        std::copy_n(source.column(c), source.m_nRow, cells.data() + size_t(c - 1) * rows);
    allocate(source.m_nCol, source.m_nRow, std::move(cells));
    m_precis = source.m_precis;
    OnChange = source.OnChange;
    OnSortExchange = source.OnSortExchange;
    OnCalcDistance = source.OnCalcDistance;
}

void TMatrix::CopyFrom(const TIntMatrix& source, int32_t sourceColLo, int32_t sourceRowLo, int32_t sourceColHi,
                       int32_t sourceRowHi, int32_t destCol, int32_t destRow)
{
    copyRectFrom(source, sourceColLo, sourceRowLo, sourceColHi, sourceRowHi, destCol, destRow);
}

void TMatrix::CopyFromVec(const TVector& vecSource, int32_t source1stElem, int32_t sourceLastElem, int32_t destCol,
                          int32_t destRow)
{
    const int32_t n = vecSource.NrOfElem();
    source1stElem = std::clamp(source1stElem, 1, n);
    sourceLastElem = std::clamp(sourceLastElem, 1, n);
    if (source1stElem > sourceLastElem)
        std::swap(source1stElem, sourceLastElem);
    for (int32_t e = source1stElem; e <= sourceLastElem; ++e) {
        const int64_t row = int64_t(e) - source1stElem + destRow;
        if (row >= 1 && row <= m_nRow)
            SetElem(destCol, int32_t(row), vecSource.GetElem(e));
    }
    Changed();
}

void TMatrix::FillRandomUniform(double rangeLow, double rangeHigh)
{
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r)
            at(c, r) = RandomUniform() * (rangeHigh - rangeLow) + rangeLow;
    Changed();
}

void TMatrix::FillRandomGauss(double mean, double stdDev)
{
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r)
            at(c, r) = NormalRandom() * stdDev + mean;
    Changed();
}

bool TMatrix::Histogram(int32_t loX, int32_t loY, int32_t hiX, int32_t hiY, double firstBin, double lastBin,
                        double binWidth, TIntVector& histo, int32_t& underflow, int32_t& overflow,
                        int32_t& maxCnt) const
{
    stats::HistogramCounter counter;
    const int64_t cols = std::max<int64_t>(0, int64_t(hiX) - loX + 1);
    const int64_t rows = std::max<int64_t>(0, int64_t(hiY) - loY + 1);
    // Each factor is below 2^33, so a product above the limit is caught before it can overflow.
    if ((rows > 0 && cols > stats::kMaxHistogramPositions / rows) || !counter.Start(firstBin, lastBin, binWidth))
        return false;
    // Only the cells inside the matrix are visited; the positions beyond it are zeros.
    const int32_t c1 = std::max(loX, 1), c2 = std::min(hiX, m_nCol);
    const int32_t r1 = std::max(loY, 1), r2 = std::min(hiY, m_nRow);
    int64_t inside = 0;
    for (int32_t c = c1; c <= c2; ++c)
        for (int32_t r = r1; r <= r2; ++r) {
            counter.Add(GetElem(c, r));
            ++inside;
        }
    counter.Add(0.0, cols * rows - inside);
    StoreHistogram(counter, histo, underflow, overflow, maxCnt);
    return true;
}

template <typename Per>
void TMatrix::standardize(bool byColumns, TVector* means, TVector* stdDevs, Per&& transform)
{
    const int32_t lines = byColumns ? m_nCol : m_nRow;
    const int32_t length = byColumns ? m_nRow : m_nCol;
    for (int32_t k = 1; k <= lines; ++k) {
        double mean = 0, variance = 0;
        if (byColumns)
            MeanVar(k, 1, k, m_nRow, mean, variance);
        else
            MeanVar(1, k, m_nCol, k, mean, variance);
        const double sd = std::sqrt(std::max(variance, 0.0));
        for (int32_t i = 1; i <= length; ++i) {
            double& cell = byColumns ? at(k, i) : at(i, k);
            cell = transform(cell, mean, variance);
        }
        if (means)
            means->SetElem(k, mean);
        if (stdDevs)
            stdDevs->SetElem(k, sd);
    }
    Changed();
}

namespace {
double standardized(double x, double mean, double variance)
{
    return variance > 0 ? (x - mean) / std::sqrt(variance) : x;
}
double centred(double x, double mean, double) { return x - mean; }
} // namespace

void TMatrix::StandardizeColumns(TVector* means, TVector* stdDevs) { standardize(true, means, stdDevs, standardized); }
void TMatrix::StandardizeRows(TVector* means, TVector* stdDevs) { standardize(false, means, stdDevs, standardized); }
void TMatrix::MeanCenterColumns(TVector* means) { standardize(true, means, nullptr, centred); }
void TMatrix::MeanCenterRows(TVector* means) { standardize(false, means, nullptr, centred); }

double TMatrix::Correlate(const TMatrix& otherMat) const
{
    if (otherMat.m_nCol != m_nCol || otherMat.m_nRow != m_nRow)
        raise(QStringLiteral("matrices do not match"));
    long double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    const int64_t n = int64_t(m_nCol) * m_nRow;
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r) {
            const long double x = at(c, r), y = otherMat.at(c, r);
            sx += x;
            sy += y;
            sxx += x * x;
            syy += y * y;
            sxy += x * y;
        }
    if (n < 3 || sxx == 0 || syy == 0)
        return 0;
    const long double qx = sxx - sx * sx / n;
    const long double qy = syy - sy * sy / n;
    if (qx == 0 || qy == 0)
        return 0;
    return double((sxy - sx * sy / n) / std::sqrt(std::fabs(qx * qy)));
}

bool TMatrix::LUdecomposition(TMatrix& matL, TMatrix& matU) const
{
    if (m_nCol != m_nRow || m_nCol < 1)
        return false;
    const int n = m_nCol;
    matL.Resize(n, n);
    matL.Fill(0);
    matU.Clone(*this);
    std::vector<int> pivot;
    int sign = 1;
    if (!luInPlace(matU.m_cells.data(), size_t(matU.m_allocRows), n, pivot, sign))
        return false;
    for (int32_t c = 1; c <= n; ++c) {
        for (int32_t r = c + 1; r <= n; ++r) {
            matL.at(c, r) = matU.at(c, r);
            matU.at(c, r) = 0;
        }
        matL.at(c, c) = 1;
    }
    matL.Changed();
    matU.Changed();
    return true;
}

double TMatrix::Determinant() const
{
    if (m_nCol != m_nRow || m_nCol < 1)
        return 0;
    const int n = m_nCol;
    std::vector<double> cells(m_cells.begin(), m_cells.begin() + ptrdiff_t(size_t(n) * size_t(m_allocRows)));
    std::vector<int> pivot;
    int sign = 1;
    if (!luInPlace(cells.data(), size_t(m_allocRows), n, pivot, sign))
        return 0;
    long double det = sign;
    for (int i = 0; i < n; ++i)
        det *= cells[size_t(i) * size_t(m_allocRows) + size_t(i)];
    return double(det);
}

bool TMatrix::Invert()
{
    if (m_nCol != m_nRow || m_nCol < 1)
        return false;
    const int n = m_nCol;
    const size_t lda = size_t(m_allocRows);
    const std::vector<double> original = m_cells;
    std::vector<int> pivot;
    int sign = 1;
    if (!luInPlace(m_cells.data(), lda, n, pivot, sign)) {
        m_cells = original; // a singular matrix keeps its cells
        Changed();
        return false;
    }
    std::vector<double> inverse(size_t(n) * size_t(n));
    std::vector<long double> x(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        std::fill(x.begin(), x.end(), 0.0L);
        x[size_t(j)] = 1;
        luSolve(m_cells.data(), lda, n, pivot, x);
        for (int i = 0; i < n; ++i)
            inverse[size_t(j) * size_t(n) + size_t(i)] = double(x[size_t(i)]);
    }
    for (int c = 0; c < n; ++c)
        std::copy_n(inverse.data() + size_t(c) * size_t(n), n, m_cells.data() + size_t(c) * lda);
    Changed();
    return true;
}

double TMatrix::Norm(TNormType nt) const
{
    switch (nt) {
    case TNormType::ntColwise: {
        double best = 0;
        for (int32_t c = 1; c <= m_nCol; ++c) {
            long double s = 0;
            for (int32_t r = 1; r <= m_nRow; ++r)
                s += std::fabs(at(c, r));
            best = std::max(best, double(s));
        }
        return best;
    }
    case TNormType::ntRowwise: {
        double best = 0;
        for (int32_t r = 1; r <= m_nRow; ++r) {
            long double s = 0;
            for (int32_t c = 1; c <= m_nCol; ++c)
                s += std::fabs(at(c, r));
            best = std::max(best, double(s));
        }
        return best;
    }
    case TNormType::ntFrobenius: {
        long double s = 0;
        for (int32_t c = 1; c <= m_nCol; ++c)
            for (int32_t r = 1; r <= m_nRow; ++r)
                s += (long double)at(c, r) * at(c, r);
        return double(std::sqrt(s));
    }
    case TNormType::ntSpectral:
        break;
    }
    if (m_nCol < 1 || m_nRow < 1)
        return 0;
    // The decomposition wants at least as many rows as columns; a matrix and
    // its transpose have the same singular values.
    const bool transposed = m_nRow < m_nCol;
    const int m = transposed ? m_nCol : m_nRow;
    const int n = transposed ? m_nRow : m_nCol;
    std::vector<double> a(size_t(m) * size_t(n));
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r) {
            const size_t index = transposed ? size_t(r - 1) * size_t(m) + size_t(c - 1)
                                            : size_t(c - 1) * size_t(m) + size_t(r - 1);
            a[index] = at(c, r);
        }
    std::vector<double> w(static_cast<size_t>(n)), v(static_cast<size_t>(n) * static_cast<size_t>(n));
    if (!SingularValueDecomposition(a, m, n, w, v))
        throw ESDLMatrixError(QStringLiteral("near singular covariance matrix"));
    return *std::max_element(w.begin(), w.end());
}

int32_t TMatrix::CalcDistMat(TDistMode mode, TMatrix& dMat)
{
    if (dMat.m_nRow != m_nRow)
        return -2;
    if (dMat.m_nCol != dMat.m_nRow)
        return -1;
    for (int32_t i = 1; i <= m_nRow; ++i) {
        for (int32_t j = i + 1; j <= m_nRow; ++j) {
            long double sxy = 0, sxx = 0, syy = 0, sabs = 0, ssq = 0;
            for (int32_t c = 1; c <= m_nCol; ++c) {
                const long double x = at(c, i), y = at(c, j);
                sxy += x * y;
                sxx += x * x;
                syy += y * y;
                sabs += std::fabs(x - y);
                ssq += (x - y) * (x - y);
            }
            double d = 0;
            switch (mode) {
            case TDistMode::dmJaccard: // two all-zero rows are alike: 1, as for any two equal rows
                d = sxx + syy - sxy == 0 ? 1.0 : double(sxy / (sxx + syy - sxy));
                break;
            case TDistMode::dmManhattan:
                d = double(sabs);
                break;
            case TDistMode::dmEuclid:
                d = double(std::sqrt(ssq));
                break;
            case TDistMode::dmEuclidSqr:
                d = double(ssq);
                break;
            case TDistMode::dmDice:
                d = sxx + syy == 0 ? 1.0 : double(2 * sxy / (sxx + syy));
                break;
            case TDistMode::dmUserDef:
                if (OnCalcDistance)
                    OnCalcDistance(this, i, j, d);
                break;
            }
            dMat.SetElem(i, j, d);
            dMat.SetElem(j, i, d);
        }
        dMat.SetElem(i, i, 0);
    }
    return 0;
}

QByteArray TMatrix::FormatTextValue(double value) const
{
    return textio::FormatFloat(value, m_precis.width, m_precis.decimals);
}

// ---- Binary file form ------------------------------------------------------------

namespace {

constexpr int kRecordSize = 4096;
constexpr int kCellsPerRecord = kRecordSize / 8;

void putInt32(char* p, int32_t v)
{
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
        p[i] = char(u >> (8 * i));
}

int32_t getInt32(const char* p)
{
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = (u << 8) | uchar(p[i]);
    return int32_t(u);
}

struct BinaryHeader {
    int32_t nc = 0, nr = 0;
    bool markerZero = false;
    QString dataID;
};

BinaryHeader parseHeader(const QByteArray& record)
{
    BinaryHeader h;
    h.nc = getInt32(record.constData());
    h.nr = getInt32(record.constData() + 4);
    h.markerZero = true;
    for (int i = 8; i < 16; ++i)
        h.markerZero = h.markerZero && record[i] == 0;
    const int length = uchar(record[16]);
    h.dataID = QString::fromUtf8(record.constData() + 17, length);
    return h;
}

QByteArray readHeaderRecord(QFile& file)
{
    if (!file.open(QIODevice::ReadOnly))
        throw ESDLFileError(QStringLiteral("Cannot open file \"%1\": %2").arg(file.fileName(), file.errorString()));
    return file.read(kRecordSize);
}

} // namespace

void TMatrix::SaveBinary(const QString& fileName) const
{
    const int64_t cells = int64_t(m_nCol) * m_nRow;
    const int64_t records = (cells + kCellsPerRecord - 1) / kCellsPerRecord;
    QByteArray bytes(qsizetype((1 + records) * kRecordSize), '\0');
    putInt32(bytes.data(), m_nCol);
    putInt32(bytes.data() + 4, m_nRow);
    // The identifier as UTF-8, cut to 255 bytes without splitting a character.
    QByteArray id = m_dataID.toUtf8();
    if (id.size() > 255) {
        qsizetype cut = 255;
        while (cut > 0 && (uchar(id[cut]) & 0xC0) == 0x80)
            --cut;
        id.truncate(cut);
    }
    bytes[16] = char(id.size());
    std::copy(id.begin(), id.end(), bytes.begin() + 17);
    char* p = bytes.data() + kRecordSize;
    for (int32_t c = 1; c <= m_nCol; ++c)
        for (int32_t r = 1; r <= m_nRow; ++r, p += 8) {
            const uint64_t u = std::bit_cast<uint64_t>(at(c, r));
            for (int i = 0; i < 8; ++i)
                p[i] = char(u >> (8 * i));
        }
    textio::SaveWholeFile(fileName, bytes);
}

void TMatrix::LoadBinary(const QString& fileName)
{
    QFile file(fileName);
    const QByteArray header = readHeaderRecord(file);
    if (header.size() < kRecordSize)
        throw ESDLFileError(QStringLiteral("Cannot read file \"%1\": the file is shorter than its header").arg(fileName));
    const BinaryHeader h = parseHeader(header);
    if (!h.markerZero || h.nc < 0 || h.nr < 0 || int64_t(std::max(h.nc, 1)) * std::max(h.nr, 1) > kMaxCells)
        raise(QStringLiteral("binary matrix data has wrong format"));
    const int64_t cells = int64_t(h.nc) * h.nr;
    if (file.size() < kRecordSize + cells * 8)
        throw ESDLFileError(QStringLiteral("Cannot read file \"%1\": the file ends before the %2 x %3 cells it holds")
                                .arg(fileName).arg(h.nc).arg(h.nr));
    const QByteArray data = file.read(cells * 8);
    if (data.size() != cells * 8)
        throw ESDLFileError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, file.errorString()));
    Resize(h.nc, h.nr);
    m_dataID = h.dataID;
    const char* p = data.constData();
    for (int32_t c = 1; c <= h.nc; ++c)
        for (int32_t r = 1; r <= h.nr; ++r, p += 8) {
            uint64_t u = 0;
            for (int i = 7; i >= 0; --i)
                u = (u << 8) | uchar(p[i]);
            SetElem(c, r, std::bit_cast<double>(u));
        }
}

bool TMatrix::ReadBinaryHeader(const QString& fileName, int32_t& nrColumns, int32_t& nrRows, QString& dataID) const
{
    QFile file(fileName);
    const QByteArray header = readHeaderRecord(file);
    if (header.size() < kRecordSize)
        return false;
    const BinaryHeader h = parseHeader(header);
    nrColumns = h.nc;
    nrRows = h.nr;
    dataID = h.dataID;
    return h.markerZero;
}

} // namespace cv
