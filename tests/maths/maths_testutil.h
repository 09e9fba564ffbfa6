#pragma once
// Small helpers of the maths tests.

#include "maths/sdl_intmatrix.h"
#include "maths/sdl_matrix.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace mathstest {

// Sets the matrix to the given rows (rows[r][c] is cell (c+1, r+1)).
template <typename M, typename T>
void setRows(M& m, const std::vector<std::vector<T>>& rows)
{
    const int32_t nr = int32_t(rows.size());
    const int32_t nc = nr ? int32_t(rows[0].size()) : 0;
    m.Resize(nc, nr);
    for (int32_t r = 1; r <= nr; ++r)
        for (int32_t c = 1; c <= nc; ++c)
            m.SetElem(c, r, rows[size_t(r - 1)][size_t(c - 1)]);
}

inline void setRows(cv::TMatrix& m, const std::vector<std::vector<double>>& rows) { setRows<cv::TMatrix, double>(m, rows); }
inline void setRows(cv::TIntMatrix& m, const std::vector<std::vector<int32_t>>& rows)
{
    setRows<cv::TIntMatrix, int32_t>(m, rows);
}

inline void hilbert(cv::TMatrix& m, int n)
{
    m.Resize(n, n);
    for (int c = 1; c <= n; ++c)
        for (int r = 1; r <= n; ++r)
            m.SetElem(c, r, 1.0 / (r + c - 1));
}

// A histogram's counts as text: "bins | underflow overflow max", or
// "refused" when it was not made; for comparing what a child process made.
inline QString histogramText(bool made, const cv::TIntVector& bins, int32_t underflow, int32_t overflow, int32_t maxCnt)
{
    if (!made)
        return QStringLiteral("refused");
    QStringList counts;
    for (int32_t k = 1; k <= bins.NrOfElem(); ++k)
        counts << QString::number(bins.GetElem(k));
    return QStringLiteral("%1 | %2 %3 %4").arg(counts.join(QLatin1Char(' '))).arg(underflow).arg(overflow).arg(maxCnt);
}

// Largest |a(c, r) − b(c, r)|; infinity when the shapes differ.
template <typename M>
double maxDifference(const M& a, const M& b)
{
    if (a.NrOfColumns() != b.NrOfColumns() || a.NrOfRows() != b.NrOfRows())
        return 1e300;
    double d = 0;
    for (int32_t c = 1; c <= a.NrOfColumns(); ++c)
        for (int32_t r = 1; r <= a.NrOfRows(); ++r)
            d = std::max(d, std::fabs(double(a.GetElem(c, r)) - double(b.GetElem(c, r))));
    return d;
}

inline QString messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const cv::ESDLError& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace mathstest
