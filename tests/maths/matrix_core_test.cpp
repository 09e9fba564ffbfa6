#include "maths_testutil.h"

#include <gtest/gtest.h>

#include <cmath>

using cv::TMatrix;
using mathstest::setRows;

TEST(MathsMatrixCore, NewMatrixAndEmptyDimensions)
{
    TMatrix m;
    EXPECT_EQ(m.NrOfColumns(), 1);
    EXPECT_EQ(m.NrOfRows(), 1);
    EXPECT_EQ(m.GetElem(1, 1), 0.0);
    int changes = 0;
    m.OnChange = [&](cv::TSDLComponent*) { ++changes; };
    EXPECT_TRUE(m.Resize(0, 5));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(m.NrOfColumns(), 0);
    EXPECT_EQ(m.NrOfRows(), 5);
    m.SetElem(1, 1, 3);
    EXPECT_EQ(m.GetElem(1, 1), 0.0);
    EXPECT_EQ(changes, 1) << "writes into an empty dimension are ignored";
    m.Resize(-3, 2);
    EXPECT_EQ(m.NrOfColumns(), 0);
    EXPECT_EQ(m.NrOfRows(), 2);
    m.SetNrOfColumns(-1);
    EXPECT_EQ(m.NrOfColumns(), 0);
    m.SetNrOfRows(4);
    EXPECT_EQ(m.NrOfRows(), 4);
}

TEST(MathsMatrixCore, ResizeKeepsOverlappingCells)
{
    TMatrix m;
    setRows(m, {{1, 2}, {3, 4}});
    m.Resize(3, 3);
    EXPECT_EQ(m.GetElem(1, 1), 1.0);
    EXPECT_EQ(m.GetElem(2, 1), 2.0);
    EXPECT_EQ(m.GetElem(1, 2), 3.0);
    EXPECT_EQ(m.GetElem(2, 2), 4.0);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(m.GetElem(3, i), 0.0);
        EXPECT_EQ(m.GetElem(i, 3), 0.0);
    }
    m.Resize(1, 2);
    EXPECT_EQ(m.GetElem(1, 2), 3.0);
    EXPECT_EQ(m.GetElem(2, 1), 0.0) << "outside the new bounds";
    m.Resize(2, 2);
    EXPECT_EQ(m.GetElem(2, 1), 0.0) << "shrinking dropped the cell";
}

TEST(MathsMatrixCore, OutOfRangeWritesFireNothing)
{
    TMatrix m;
    m.Resize(2, 2);
    int changes = 0;
    m.OnChange = [&](cv::TSDLComponent*) { ++changes; };
    m.SetElem(0, 1, 9);
    m.SetElem(3, 1, 9);
    m.SetElem(1, -1, 9);
    EXPECT_EQ(changes, 0);
    m.SetElem(2, 2, 9);
    EXPECT_EQ(changes, 1);
}

TEST(MathsMatrixCore, MemoryFailureKeepsTheMatrix)
{
    TMatrix m;
    m.SetName(QStringLiteral("m"));
    m.Resize(2, 3);
    EXPECT_EQ(mathstest::messageOf([&] { m.Resize(100000, 100000); }),
              QStringLiteral("Component \"m\": not enough memory on heap"));
    EXPECT_EQ(m.NrOfColumns(), 2);
    EXPECT_EQ(m.NrOfRows(), 3);
}

TEST(MathsMatrixCore, FillingAndRandomFills)
{
    TMatrix m;
    m.Resize(3, 2);
    m.Fill(2);
    m.FillDiag(7);
    EXPECT_EQ(m.GetElem(1, 1), 7.0);
    EXPECT_EQ(m.GetElem(2, 2), 7.0);
    EXPECT_EQ(m.GetElem(3, 2), 2.0);
    EXPECT_EQ(m.Sum(0, 0, 0, 0), 2 * 4 + 7 * 2.0);

    cv::RandomSeed(5);
    TMatrix big;
    big.Resize(100, 100);
    big.FillRandomUniform(2, 4);
    double lo = 0, hi = 0, mean = 0, var = 0;
    big.MinMax(0, 0, 0, 0, lo, hi);
    EXPECT_GE(lo, 2.0);
    EXPECT_LT(hi, 4.0);
    big.FillRandomGauss(10, 2);
    big.MeanVar(0, 0, 0, 0, mean, var);
    EXPECT_NEAR(mean, 10, 0.1);
    EXPECT_NEAR(std::sqrt(var), 2, 0.1);
}

TEST(MathsMatrixCore, AssignCopiesEverythingWithoutEvent)
{
    TMatrix a, b;
    setRows(a, {{1, 2, 3}});
    a.SetDataID(QStringLiteral("id"));
    a.SetPrecision({8, 2});
    int aChanges = 0;
    a.OnChange = [&](cv::TSDLComponent*) { ++aChanges; };
    b.Assign(a);
    EXPECT_EQ(aChanges, 0);
    EXPECT_EQ(b.NrOfColumns(), 3);
    EXPECT_EQ(b.GetElem(3, 1), 3.0);
    EXPECT_EQ(b.DataID(), QStringLiteral("id"));
    EXPECT_EQ(b.Precision().width, 8);
    b.SetElem(1, 1, 5);
    EXPECT_EQ(aChanges, 1) << "the event handler was copied";

    TMatrix c;
    int cChanges = 0;
    c.OnChange = [&](cv::TSDLComponent*) { ++cChanges; };
    c.Clone(a);
    EXPECT_EQ(cChanges, 3 + 1 + 1) << "resize, one per cell, and one at the end";
    EXPECT_TRUE(c.DataID().isEmpty()) << "Clone copies cells only";
}

TEST(MathsMatrixCore, CopyFromDropsWhatFallsOutside)
{
    TMatrix src, dst;
    setRows(src, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    dst.Resize(3, 3);
    dst.CopyFrom(src, 3, 3, 1, 1, 2, 2); // reversed bounds are swapped; 3x3 block to (2, 2)
    EXPECT_EQ(dst.GetElem(2, 2), 1.0);
    EXPECT_EQ(dst.GetElem(3, 3), 5.0);
    EXPECT_EQ(dst.GetElem(1, 1), 0.0);
    EXPECT_EQ(dst.Sum(0, 0, 0, 0), 1 + 2 + 4 + 5.0);
    cv::TIntMatrix ints;
    mathstest::setRows(ints, std::vector<std::vector<int32_t>>{{7, -3}});
    dst.CopyFrom(ints, 1, 1, 2, 1, 1, 1);
    EXPECT_EQ(dst.GetElem(2, 1), -3.0);

    cv::TVector v;
    v.Resize(4);
    for (int i = 1; i <= 4; ++i)
        v.SetElem(i, i * 10);
    dst.CopyFromVec(v, 2, 4, 3, 2);
    EXPECT_EQ(dst.GetElem(3, 2), 20.0);
    EXPECT_EQ(dst.GetElem(3, 3), 30.0) << "the column is filled downwards; 40 falls off";
}

TEST(MathsMatrixCore, RowsAndColumnsToVectors)
{
    TMatrix m;
    m.Resize(10, 2);
    for (int c = 1; c <= 10; ++c)
        m.SetElem(c, 2, c);
    cv::TVector v;
    v.Resize(3);
    m.CopyRowToVec(v, 2, 4, 10);
    EXPECT_EQ(v.GetElem(1), 4.0);
    EXPECT_EQ(v.GetElem(3), 6.0) << "the range is cut to the vector's length";
    cv::TVector w;
    w.Resize(4);
    w.Fill(9);
    m.CopyColToVec(w, 5, 0, 0);
    EXPECT_EQ(w.GetElem(2), 5.0);
    EXPECT_EQ(w.GetElem(3), 0.0) << "the vector is cleared first";
}

TEST(MathsMatrixCore, ExchangeAndMirror)
{
    TMatrix m;
    setRows(m, {{1, 2, 3}, {4, 5, 6}});
    m.ExchangeColumns(1, 3);
    EXPECT_EQ(m.GetElem(1, 2), 6.0);
    m.ExchangeRows(1, 2);
    EXPECT_EQ(m.GetElem(1, 1), 6.0);
    m.ExchangeRows(1, 9); // outside: ignored
    EXPECT_EQ(m.GetElem(1, 1), 6.0);
    m.MirrorColumns();
    EXPECT_EQ(m.GetElem(1, 1), 4.0);
    m.MirrorRows();
    EXPECT_EQ(m.GetElem(1, 1), 1.0);
    TMatrix one;
    one.Resize(1, 3);
    int changes = 0;
    one.OnChange = [&](cv::TSDLComponent*) { ++changes; };
    one.MirrorColumns();
    EXPECT_EQ(changes, 1);
}

TEST(MathsMatrixCore, FingerprintFollowsTheCells)
{
    TMatrix m;
    EXPECT_EQ(m.CRCofData(), QStringLiteral("D202EF8D").repeated(8));
    TMatrix a, b;
    setRows(a, {{1, 2}, {3, 4}});
    setRows(b, {{1, 3}, {2, 4}});
    EXPECT_NE(a.CRCofData(), b.CRCofData());
    b.Transpose();
    EXPECT_EQ(a.CRCofData(), b.CRCofData());
    EXPECT_EQ(a.CRCofData().size(), 64);
}
