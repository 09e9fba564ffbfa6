#include "maths_testutil.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using cv::TMatrix;
using mathstest::messageOf;
using mathstest::setRows;

TEST(MathsMatrixStats, RectangleRuleSumAndTrace)
{
    TMatrix m;
    setRows(m, {{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(m.Sum(0, 0, 0, 0), 21.0) << "both bounds 0: the whole matrix";
    EXPECT_EQ(m.Sum(3, 2, 2, 9), 11.0) << "clamped and swapped";
    EXPECT_EQ(m.Sum(2, 0, 2, 0), 7.0) << "rows (0, 0): all rows";
    EXPECT_EQ(m.Trace(), 0.0) << "not square";
    TMatrix sq;
    setRows(sq, {{1, 9}, {9, 2}});
    EXPECT_EQ(sq.Trace(), 3.0);
}

TEST(MathsMatrixStats, MeanVarianceMinMaxAndShape)
{
    TMatrix m;
    setRows(m, {{1, 2}});
    double mean = 0, var = 0;
    m.MeanVar(0, 0, 0, 0, mean, var);
    EXPECT_EQ(mean, 1.5);
    EXPECT_EQ(var, 1.0);
    TMatrix big;
    big.Resize(2, 2);
    big.Fill(2e38);
    double lo = 0, hi = 0;
    big.MinMax(0, 0, 0, 0, lo, hi);
    EXPECT_EQ(lo, 1.7e38) << "the matrix start value is never beaten";
    EXPECT_EQ(hi, 2e38);
    // Three cells: the matrix computes skewness where the vector would not.
    TMatrix three;
    setRows(three, {{1, 2, 10}});
    double s = 0, k = 0;
    three.SkewKurt(0, 0, 0, 0, s, k);
    EXPECT_GT(s, 0.0);
    three.SkewKurtSample(0, 0, 0, 0, s, k);
    EXPECT_EQ(s, 0.0) << "the sample form needs four cells";
}

TEST(MathsMatrixStats, QuantilesAndMeans)
{
    TMatrix m;
    setRows(m, {{4, 1}, {3, 2}});
    EXPECT_DOUBLE_EQ(m.Percentile(50, 0, 0, 0, 0), 2.5);
    double q1 = 0, q2 = 0, q3 = 0;
    EXPECT_TRUE(m.Quartiles(0, 0, 0, 0, q1, q2, q3));
    EXPECT_DOUBLE_EQ(q2, 2.5);
    EXPECT_NEAR(m.GeometricMean(0, 0, 0, 0), std::pow(24.0, 0.25), 1e-12);
    EXPECT_NEAR(m.HarmonicMean(0, 0, 0, 0), 4 / (1 + 0.5 + 1 / 3.0 + 0.25), 1e-12);
    m.SetName(QStringLiteral("m"));
    m.SetElem(1, 1, -1);
    EXPECT_EQ(messageOf([&] { m.GeometricMean(0, 0, 0, 0); }),
              QStringLiteral("Component \"m\": negative argument passed to GeometricMean"));
    try {
        m.HarmonicMean(0, 0, 0, 0);
        FAIL();
    } catch (const cv::ESDLMatrixError& e) {
        EXPECT_TRUE(e.Message().endsWith(QStringLiteral("negative or zero argument passed to HarmonicMean")));
    }
}

TEST(MathsMatrixSearch, FindTakesTheFirstNearestCell)
{
    TMatrix m;
    setRows(m, {{5, 1}, {1, 9}});
    int32_t c = -1, r = -1;
    m.Find(0, 0, 0, 0, 1.1, c, r);
    EXPECT_EQ(c, 1) << "(1, 2) and (2, 1) are as near; columns are visited first";
    EXPECT_EQ(r, 2);
    m.Find(2, 2, 0, 0, 8, c, r);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(r, 2);
}

TEST(MathsMatrixSearch, SortedColumnSearch)
{
    TMatrix m;
    setRows(m, {{0, 1}, {0, 3}, {0, 5}, {0, 7}});
    EXPECT_EQ(m.FindInSortedColumn(2, true, 3), 2);
    EXPECT_EQ(m.FindInSortedColumn(2, true, 4), 3) << "halfway: the upper row";
    EXPECT_EQ(m.FindInSortedColumn(2, true, 100), 4);
    m.MirrorRows();
    EXPECT_EQ(m.FindInSortedColumn(2, false, 1.2), 4);
}

TEST(MathsMatrixStats, HistogramOfARectangle)
{
    TMatrix m;
    setRows(m, {{0.5, 1.5}, {2.5, 7}});
    cv::TIntVector h;
    int32_t under = 0, over = 0, maxCnt = 0;
    // Columns 1..3 of rows 1..2: column 3 lies outside and counts as two zeros.
    ASSERT_TRUE(m.Histogram(1, 1, 3, 2, 0, 3, 1, h, under, over, maxCnt));
    EXPECT_EQ(h.NrOfElem(), 3);
    EXPECT_EQ(h.GetElem(1), 3);
    EXPECT_EQ(h.GetElem(2), 1);
    EXPECT_EQ(h.GetElem(3), 1);
    EXPECT_EQ(over, 1);
    EXPECT_EQ(maxCnt, 3);
    h.Resize(5);
    h.SetElem(5, 77);
    EXPECT_FALSE(m.Histogram(1, 1, 2, 2, 0, 501, 1, h, under, over, maxCnt));
    EXPECT_EQ(h.NrOfElem(), 5);
    EXPECT_EQ(h.GetElem(5), 77);
}

TEST(MathsMatrixStats, HistogramOfARectangleFarBeyondTheMatrix)
{
    // 40,000 x 40,000 positions over a 2 x 2 matrix: all but four are zeros
    // outside it. Made in a child that may map only 256 MB more than it has.
    const QString made = cvtest::runInChild([] {
        cvtest::limitAddressSpace(uint64_t(256) << 20);
        TMatrix m;
        setRows(m, {{0.5, 1.5}, {2.5, 7}});
        cv::TIntVector h;
        int32_t under = 0, over = 0, maxCnt = 0;
        QStringList out;
        bool ok = m.Histogram(1, 1, 40000, 40000, 0, 3, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        // Reaching below the first column and row: those positions are zeros too.
        ok = m.Histogram(-9, -9, 2, 2, -1, 8, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        // More positions than a count holds (50,000 squared) are refused.
        ok = m.Histogram(1, 1, 50000, 50000, 0, 3, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        // A reversed rectangle holds no position.
        ok = m.Histogram(2, 2, 1, 1, 0, 3, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        return out.join(QLatin1Char('\n'));
    });
    EXPECT_EQ(made, QStringLiteral("1599999997 1 1 | 0 1 1599999997\n"
                                   "0 141 1 1 0 0 0 0 1 | 0 0 141\n"
                                   "refused\n"
                                   "0 0 0 | 0 0 0"));
}

TEST(MathsMatrixSort, RowsKeepTheirKeyEvenOutsideTheRange)
{
    std::mt19937 gen(2);
    TMatrix m;
    m.Resize(4, 30);
    for (int r = 1; r <= 30; ++r)
        for (int c = 1; c <= 4; ++c)
            m.SetElem(c, r, c == 4 ? std::uniform_int_distribution<int>(0, 20)(gen) : r * 10 + c);
    TMatrix original;
    original.Assign(m);
    std::vector<std::pair<int, int>> exchanges;
    m.OnSortExchange = [&](cv::TSDLComponent*, uint8_t what, int32_t i, int32_t j, int32_t first, int32_t last) {
        EXPECT_EQ(what, 2);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(last, 2);
        exchanges.push_back({i, j});
    };
    m.SortRows(4, true, 1, 0, 2, 0); // sort by column 4, moving columns 1..2 (and the key)
    EXPECT_FALSE(exchanges.empty());
    for (int r = 1; r < 30; ++r)
        EXPECT_LE(m.GetElem(4, r), m.GetElem(4, r + 1));
    for (int r = 1; r <= 30; ++r) {
        // Column 1 says where the row came from; its key travelled with it,
        // column 3 (outside the range) stayed.
        const int from = int(m.GetElem(1, r)) / 10;
        EXPECT_EQ(m.GetElem(2, r), from * 10 + 2);
        EXPECT_EQ(m.GetElem(4, r), original.GetElem(4, from));
        EXPECT_EQ(m.GetElem(3, r), r * 10 + 3);
    }
}

TEST(MathsMatrixSort, ColumnsDescending)
{
    TMatrix m;
    setRows(m, {{3, 1, 2}, {30, 10, 20}});
    int events = 0;
    m.OnSortExchange = [&](cv::TSDLComponent*, uint8_t what, int32_t, int32_t, int32_t first, int32_t last) {
        EXPECT_EQ(what, 1);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(last, 2);
        ++events;
    };
    m.SortCols(1, false, 0, 0, 0, 0);
    EXPECT_GT(events, 0);
    EXPECT_EQ(m.GetElem(1, 1), 3.0);
    EXPECT_EQ(m.GetElem(2, 2), 20.0);
    EXPECT_EQ(m.GetElem(3, 2), 10.0);
}

TEST(MathsMatrixStats, StandardizeCentreAndCorrelate)
{
    TMatrix m;
    setRows(m, {{1, 10}, {2, 10}, {3, 40}});
    cv::TVector means, sds;
    means.Resize(2);
    sds.Resize(2);
    m.StandardizeColumns(&means, &sds);
    EXPECT_EQ(means.GetElem(1), 2.0);
    EXPECT_EQ(means.GetElem(2), 20.0);
    EXPECT_DOUBLE_EQ(sds.GetElem(1), 1.0);
    EXPECT_DOUBLE_EQ(m.GetElem(1, 1), -1.0);
    EXPECT_DOUBLE_EQ(m.GetElem(2, 3), 20 / std::sqrt(300.0));
    TMatrix rows;
    setRows(rows, {{1, 3}, {5, 5}});
    rows.MeanCenterRows(nullptr);
    EXPECT_EQ(rows.GetElem(1, 1), -1.0);
    EXPECT_EQ(rows.GetElem(2, 2), 0.0);
    TMatrix shortRows;
    setRows(shortRows, {{1, 3}});
    shortRows.StandardizeRows(nullptr, nullptr);
    EXPECT_EQ(shortRows.GetElem(1, 1), -1.0) << "two cells: variance 1, only centred";

    TMatrix x, y;
    setRows(x, {{1, 2}, {3, 4}});
    setRows(y, {{2, 4}, {6, 8}});
    EXPECT_NEAR(x.Correlate(y), 1.0, 1e-15);
    y.SMult(-1);
    EXPECT_NEAR(x.Correlate(y), -1.0, 1e-15);
    TMatrix z;
    z.SetName(QStringLiteral("z"));
    EXPECT_EQ(messageOf([&] { z.Correlate(x); }), QStringLiteral("Component \"z\": matrices do not match"));
}
