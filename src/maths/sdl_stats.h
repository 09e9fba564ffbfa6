#pragma once
// Statistics shared by the vectors and the matrices. Each works on the values
// of a range (a vector's elements or a matrix rectangle visited column by
// column); the small differences between the vector and matrix members are
// parameters. Sums are accumulated in extended precision.

#include "maths/sdl_support.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace cv::stats {

// Mean = Σx/n; Variance 1.0 unless n >= 3, then (Σx² − (Σx)²/n)/(n − 1).
// The vector raises a negative (rounding) variance to 0, the matrix does not.
template <typename T>
void MeanVar(std::span<const T> x, bool clampNegativeVariance, double& mean, double& variance)
{
    mean = 0;
    variance = 0;
    const size_t n = x.size();
    if (n == 0)
        return;
    long double sum = 0, sumSq = 0;
    for (T v : x) {
        sum += v;
        sumSq += (long double)v * v;
    }
    mean = double(sum / n);
    variance = 1.0;
    if (n >= 3)
        variance = double((sumSq - sum * sum / n) / (n - 1));
    if (clampNegativeVariance && variance < 0)
        variance = 0;
}

// Skewness Σd³/n/s³ and kurtosis Σd⁴/n/s⁴ − 3 around the mean, computed only
// when there are at least minCount values (the vector needs 4, the matrix 2).
template <typename T>
void SkewKurt(std::span<const T> x, size_t minCount, double& skewness, double& kurtosis)
{
    skewness = 0;
    kurtosis = 0;
    const size_t n = x.size();
    if (n == 0 || n < minCount)
        return;
    long double sum = 0;
    for (T v : x)
        sum += v;
    const long double m = sum / n;
    long double s1 = 0, s2 = 0, s3 = 0, s4 = 0;
    for (T v : x) {
        const long double d = v - m;
        s1 += d;
        s2 += d * d;
        s3 += d * d * d;
        s4 += d * d * d * d;
    }
    const long double s = std::sqrt((s2 - s1 * s1 / n) / (n - 1));
    if (s != 0) {
        skewness = double(s3 / n / (s * s * s));
        kurtosis = double(s4 / n / (s * s * s * s) - 3);
    }
}

// The sample corrections applied after SkewKurt; both 0 for fewer than 4 values.
inline void SampleCorrection(size_t count, double& skewness, double& kurtosis)
{
    if (count < 4) {
        skewness = 0;
        kurtosis = 0;
        return;
    }
    const double n = double(count);
    kurtosis = (kurtosis + 3) * n * n * (n + 1) / ((n - 1) * (n - 2) * (n - 3)) - 3 * (n - 1) * (n - 1) / ((n - 2) * (n - 3));
    skewness = n * n * skewness / ((n - 1) * (n - 2));
}

template <typename T>
void SortAscending(std::vector<T>& values)
{
    SortArray(std::span<T>(values), true);
}

// prob clamped to 0..100; position (n−1)·prob/100 interpolated in the sorted values.
template <typename T>
double Percentile(std::vector<T> values, double prob)
{
    if (values.empty())
        return 0;
    prob = std::clamp(prob, 0.0, 100.0);
    SortAscending(values);
    const size_t n = values.size();
    if (n == 1)
        return double(values[0]);
    if (prob == 100)
        return double(values[n - 1]);
    const double h = double(n - 1) * prob / 100;
    const size_t k = size_t(h);
    const double f = h - double(k);
    return double(values[k]) + (double(values[k + 1]) - double(values[k])) * f;
}

// Quartile positions (n+1)·p, k kept within 1..n−1 (so the upper quartile of
// a short range may be a(n−1), not a(n)).
template <typename T>
void Quartiles(std::vector<T> values, double& q1, double& q2, double& q3)
{
    q1 = q2 = q3 = 0;
    if (values.empty())
        return;
    SortAscending(values);
    const size_t n = values.size();
    if (n < 2) {
        q1 = q2 = q3 = double(values[0]);
        return;
    }
    auto quartile = [&](double p) {
        const double h = double(n + 1) * p;
        size_t k = size_t(h);
        double f = h - double(k);
        if (k == 0) {
            k = 1;
            f = 0;
        }
        if (k > n - 1) {
            k = n - 1;
            f = 0;
        }
        const double a = double(values[k - 1]);
        return a + (double(values[k]) - a) * f;
    };
    q1 = quartile(0.25);
    q2 = quartile(0.5);
    q3 = quartile(0.75);
}

// The value of the first run of equal values that is longer than every earlier run.
template <typename T>
T Mode(std::vector<T> values)
{
    if (values.empty())
        return T(0);
    SortAscending(values);
    T best = values[0];
    size_t bestRun = 0, run = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        run = (i > 0 && values[i] == values[i - 1]) ? run + 1 : 1;
        if (run > bestRun) {
            bestRun = run;
            best = values[i];
        }
    }
    return best;
}

enum class MeanError { None, Negative, NotPositive };

// exp(Σ ln x / n); a zero makes it 0; a negative value is an error.
template <typename T>
MeanError GeometricMean(std::span<const T> x, double& result)
{
    result = 0;
    if (x.empty())
        return MeanError::None;
    bool zero = false;
    long double sumLn = 0;
    for (T v : x) {
        if (v < 0)
            return MeanError::Negative;
        if (v == 0)
            zero = true;
        else
            sumLn += std::log((long double)v);
    }
    result = zero ? 0.0 : double(std::exp(sumLn / x.size()));
    return MeanError::None;
}

// n / Σ(1/x); a value <= 0 is an error.
template <typename T>
MeanError HarmonicMean(std::span<const T> x, double& result)
{
    result = 0;
    long double sumInv = 0;
    for (T v : x) {
        if (v <= 0)
            return MeanError::NotPositive;
        sumInv += 1.0L / v;
    }
    if (!x.empty())
        result = double(x.size() / sumInv);
    return MeanError::None;
}

inline const char* MeanErrorText(MeanError e)
{
    return e == MeanError::Negative ? "negative argument passed to GeometricMean"
                                    : "negative or zero argument passed to HarmonicMean";
}

// Runs one of the two means above and hands its error text to `raise`
// (which throws the caller's exception).
template <typename T, typename Mean, typename Raise>
double CheckedMean(std::span<const T> x, Mean&& mean, Raise&& raise)
{
    double result = 0;
    const MeanError e = mean(x, result);
    if (e != MeanError::None)
        raise(QString::fromLatin1(MeanErrorText(e)));
    return result;
}

inline constexpr int kMaxHistogramBins = 500;
// The counts are 32-bit: a range of more positions than one can hold is refused.
inline constexpr int64_t kMaxHistogramPositions = std::numeric_limits<int32_t>::max();

// Counts values into the bins of a histogram. NB = |LastBin − FirstBin| /
// BinWidth rounded; x < FirstBin underflow, x >= LastBin + BinWidth overflow,
// else bin (x − FirstBin)/BinWidth + 1. A value that would fall in a bin
// beyond NB (the range is an exact multiple of the width and x lies in
// [LastBin, LastBin + BinWidth)) counts as overflow rather than vanishing.
// Equal values can be counted at once, so that a range reaching far beyond
// its vector or matrix (whose positions there are all 0) costs nothing.
class HistogramCounter {
public:
    // False for a width that is not positive or for more than 500 bins.
    bool Start(double firstBin, double lastBin, double binWidth)
    {
        if (!(binWidth > 0))
            return false;
        const double bins = std::round(std::fabs(lastBin - firstBin) / binWidth);
        if (!(bins <= kMaxHistogramBins))
            return false;
        m_first = firstBin;
        m_last = lastBin;
        m_width = binWidth;
        m_bins.assign(size_t(bins), 0);
        m_underflow = m_overflow = m_maxCount = 0;
        return true;
    }

    void Add(double x, int64_t times = 1)
    {
        if (times <= 0)
            return;
        if (x < m_first) {
            m_underflow += times;
        } else if (x >= m_last + m_width) {
            m_overflow += times;
        } else {
            const int64_t k = int64_t((x - m_first) / m_width) + 1;
            if (k < 1 || k > int64_t(m_bins.size())) {
                m_overflow += times;
                return;
            }
            const int64_t c = m_bins[size_t(k - 1)] += times;
            m_maxCount = std::max(m_maxCount, c);
        }
    }

    const std::vector<int64_t>& Bins() const { return m_bins; } // bin k at index k-1
    int64_t Underflow() const { return m_underflow; }
    int64_t Overflow() const { return m_overflow; }
    int64_t MaxCount() const { return m_maxCount; }

private:
    double m_first = 0, m_last = 0, m_width = 1;
    std::vector<int64_t> m_bins;
    int64_t m_underflow = 0, m_overflow = 0, m_maxCount = 0;
};

} // namespace cv::stats
