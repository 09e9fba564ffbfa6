#include "maths_testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

using cv::TMatrix;
using mathstest::hilbert;
using mathstest::maxDifference;
using mathstest::setRows;

namespace {

void randomFill(TMatrix& m, int nc, int nr, unsigned seed)
{
    std::mt19937 gen(seed);
    m.Resize(nc, nr);
    for (int c = 1; c <= nc; ++c)
        for (int r = 1; r <= nr; ++r)
            m.SetElem(c, r, std::uniform_real_distribution<double>(-3, 3)(gen));
}

void identity(TMatrix& m, int n)
{
    m.Resize(n, n);
    m.Fill(0);
    m.FillDiag(1);
}

} // namespace

TEST(MathsMatrixArithmetic, ProductsAgreeWithTheDefinition)
{
    TMatrix a, b, res;
    randomFill(a, 5, 7, 1); // 7 rows x 5 columns
    randomFill(b, 3, 5, 2); // 5 x 3
    res.Resize(3, 7);
    int aChanges = 0;
    a.OnChange = [&](cv::TSDLComponent*) { ++aChanges; };
    ASSERT_TRUE(a.Multiply(b, res));
    EXPECT_EQ(aChanges, 1);
    for (int i = 1; i <= 7; ++i)
        for (int j = 1; j <= 3; ++j) {
            double s = 0;
            for (int k = 1; k <= 5; ++k)
                s += a.GetElem(k, i) * b.GetElem(j, k);
            EXPECT_NEAR(res.GetElem(j, i), s, 1e-12);
        }
    // aᵀ · c with c of 7 rows.
    TMatrix c, tres;
    randomFill(c, 2, 7, 3);
    tres.Resize(2, 5);
    ASSERT_TRUE(a.TransposeAndMultiply(c, tres));
    TMatrix at, check;
    at.Assign(a);
    at.Transpose();
    check.Resize(2, 5);
    at.Multiply(c, check);
    EXPECT_LT(maxDifference(tres, check), 1e-12);

    cv::TVector vb, vres;
    vb.Resize(7);
    vres.Resize(5);
    for (int k = 1; k <= 7; ++k)
        vb.SetElem(k, c.GetElem(1, k));
    ASSERT_TRUE(a.TransposeAndMultiply(vb, vres));
    for (int i = 1; i <= 5; ++i)
        EXPECT_NEAR(vres.GetElem(i), check.GetElem(1, i), 1e-12);
}

TEST(MathsMatrixArithmetic, WrongShapesAnswerFalseAndWriteNothing)
{
    TMatrix a, b, res;
    randomFill(a, 3, 2, 4);
    randomFill(b, 2, 3, 5);
    res.Resize(3, 3); // should be 2 x 2
    res.Fill(7);
    int resChanges = 0;
    res.OnChange = [&](cv::TSDLComponent*) { ++resChanges; };
    EXPECT_FALSE(a.Multiply(b, res));
    EXPECT_FALSE(a.TransposeAndMultiply(b, res));
    EXPECT_EQ(resChanges, 0);
    EXPECT_EQ(res.Sum(0, 0, 0, 0), 63.0);
    EXPECT_FALSE(a.Add(b));
    EXPECT_FALSE(a.Subtract(b));
    TMatrix a2;
    a2.Assign(a);
    EXPECT_TRUE(a.Add(a2));
    EXPECT_TRUE(a.Subtract(a2));
    EXPECT_LT(maxDifference(a, a2), 1e-15);
    a.SAdd(1);
    a.SMult(2);
    EXPECT_NEAR(a.GetElem(3, 2), (a2.GetElem(3, 2) + 1) * 2, 1e-15);
}

TEST(MathsMatrixArithmetic, TransposeMovesEveryCell)
{
    TMatrix m;
    setRows(m, {{1, 2, 3}, {4, 5, 6}});
    ASSERT_TRUE(m.Transpose());
    EXPECT_EQ(m.NrOfColumns(), 2);
    EXPECT_EQ(m.NrOfRows(), 3);
    EXPECT_EQ(m.GetElem(1, 3), 3.0);
    EXPECT_EQ(m.GetElem(2, 1), 4.0);
}

TEST(MathsMatrixAlgebra, HilbertInverseTimesMatrixIsTheIdentity)
{
    // Up to order 6 (condition number 1.5e7); order 7 (4.8e8) is past what
    // doubles can give to 1e-9.
    for (int n = 1; n <= 6; ++n) {
        TMatrix h, inv, product, eye;
        hilbert(h, n);
        inv.Assign(h);
        ASSERT_TRUE(inv.Invert()) << n;
        product.Resize(n, n);
        ASSERT_TRUE(inv.Multiply(h, product));
        identity(eye, n);
        EXPECT_LT(maxDifference(product, eye), 1e-9) << "order " << n;
        // The inverse of a Hilbert matrix is integral; check the known corner.
        EXPECT_NEAR(inv.GetElem(1, 1), double(n * n), 1e-6 * n * n) << n;
    }
}

TEST(MathsMatrixAlgebra, OneByOneAndRandomInverses)
{
    TMatrix one;
    one.SetElem(1, 1, 4);
    ASSERT_TRUE(one.Invert());
    EXPECT_EQ(one.GetElem(1, 1), 0.25);
    EXPECT_EQ(one.Determinant(), 0.25);
    for (int n : {2, 5, 40}) {
        TMatrix m, inv, product, eye;
        randomFill(m, n, n, unsigned(n));
        inv.Assign(m);
        ASSERT_TRUE(inv.Invert());
        product.Resize(n, n);
        m.Multiply(inv, product);
        identity(eye, n);
        EXPECT_LT(maxDifference(product, eye), 1e-9) << n;
    }
}

TEST(MathsMatrixAlgebra, SingularMatricesAreRefusedAndKept)
{
    TMatrix s, keep;
    setRows(s, {{1, 2, 3}, {2, 4, 6}, {1, 0, 1}});
    keep.Assign(s);
    EXPECT_FALSE(s.Invert());
    EXPECT_EQ(maxDifference(s, keep), 0.0) << "a failed inversion keeps the cells";
    EXPECT_EQ(s.Determinant(), 0.0);
    TMatrix l, u;
    EXPECT_FALSE(s.LUdecomposition(l, u));
    TMatrix zeroRow;
    setRows(zeroRow, {{1, 2}, {0, 0}});
    EXPECT_EQ(zeroRow.Determinant(), 0.0);
    TMatrix rect;
    rect.Resize(2, 3);
    rect.Fill(1);
    EXPECT_FALSE(rect.Invert());
    EXPECT_EQ(rect.Sum(0, 0, 0, 0), 6.0);
    EXPECT_EQ(rect.Determinant(), 0.0);
}

TEST(MathsMatrixAlgebra, DeterminantSignFollowsTheRowExchanges)
{
    TMatrix swap;
    setRows(swap, {{0, 1}, {1, 0}});
    EXPECT_EQ(swap.Determinant(), -1.0);
    // Every permutation matrix of order 4: the determinant is the permutation's sign.
    std::vector<int> p = {0, 1, 2, 3};
    do {
        TMatrix m;
        m.Resize(4, 4);
        for (int r = 0; r < 4; ++r)
            m.SetElem(p[size_t(r)] + 1, r + 1, 1);
        int inversions = 0;
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                inversions += p[size_t(i)] > p[size_t(j)];
        EXPECT_EQ(m.Determinant(), inversions % 2 ? -1.0 : 1.0);
    } while (std::next_permutation(p.begin(), p.end()));
    TMatrix h3, h4;
    hilbert(h3, 3);
    hilbert(h4, 4);
    EXPECT_NEAR(h3.Determinant(), 1.0 / 2160, 1e-15);
    EXPECT_NEAR(h4.Determinant(), 1.0 / 6048000, 1e-18);
}

TEST(MathsMatrixAlgebra, LuFactorsRebuildThePermutedMatrix)
{
    TMatrix a, l, u, lu;
    randomFill(a, 6, 6, 8);
    ASSERT_TRUE(a.LUdecomposition(l, u));
    for (int c = 1; c <= 6; ++c)
        for (int r = 1; r <= 6; ++r) {
            if (r < c) {
                EXPECT_EQ(l.GetElem(c, r), 0.0);
            }
            if (r > c) {
                EXPECT_EQ(u.GetElem(c, r), 0.0);
            }
        }
    lu.Resize(6, 6);
    l.Multiply(u, lu);
    // Each row of L·U is some row of A, and each row of A is used once.
    std::vector<bool> used(7, false);
    for (int r = 1; r <= 6; ++r) {
        int match = 0;
        for (int ar = 1; ar <= 6; ++ar) {
            double d = 0;
            for (int c = 1; c <= 6; ++c)
                d = std::max(d, std::fabs(lu.GetElem(c, r) - a.GetElem(c, ar)));
            if (d < 1e-12 && !used[size_t(ar)])
                match = ar;
        }
        ASSERT_NE(match, 0) << "row " << r;
        used[size_t(match)] = true;
    }
}

TEST(MathsMatrixNorms, ColumnRowFrobeniusAndSpectral)
{
    TMatrix m;
    setRows(m, {{3, 0}, {4, 5}});
    EXPECT_EQ(m.Norm(cv::TNormType::ntColwise), 7.0);
    EXPECT_EQ(m.Norm(cv::TNormType::ntRowwise), 9.0);
    EXPECT_DOUBLE_EQ(m.Norm(cv::TNormType::ntFrobenius), std::sqrt(50.0));
    EXPECT_NEAR(m.Norm(cv::TNormType::ntSpectral), 3 * std::sqrt(5.0), 1e-9);
    TMatrix d;
    setRows(d, {{1, 0, 0}, {0, -7, 0}, {0, 0, 3}});
    EXPECT_NEAR(d.Norm(cv::TNormType::ntSpectral), 7.0, 1e-12);
    TMatrix wide; // 2 rows x 3 columns
    setRows(wide, {{1, 0, 0}, {0, 2, 0}});
    EXPECT_NEAR(wide.Norm(cv::TNormType::ntSpectral), 2.0, 1e-12);
    TMatrix h;
    hilbert(h, 3);
    EXPECT_NEAR(h.Norm(cv::TNormType::ntSpectral), 1.4083189271236539, 1e-12);
    TMatrix ones; // rank one: the only non-zero singular value is sqrt(rows·cols)
    ones.Resize(4, 9);
    ones.Fill(1);
    EXPECT_NEAR(ones.Norm(cv::TNormType::ntSpectral), 6.0, 1e-12);
    TMatrix singular;
    setRows(singular, {{1, 2}, {2, 4}});
    EXPECT_NEAR(singular.Norm(cv::TNormType::ntSpectral), 5.0, 1e-12);
}

TEST(MathsMatrixNorms, SingularValueDecompositionRebuildsTheMatrix)
{
    const int m = 7, n = 4;
    std::mt19937 gen(12);
    std::vector<double> a(m * n), original;
    for (double& x : a)
        x = std::uniform_real_distribution<double>(-1, 1)(gen);
    original = a;
    std::vector<double> w(n), v(n * n);
    ASSERT_TRUE(cv::SingularValueDecomposition(a, m, n, w, v));
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < n; ++c) {
            double s = 0;
            for (int k = 0; k < n; ++k)
                s += a[size_t(k * m + r)] * w[size_t(k)] * v[size_t(k * n + c)];
            EXPECT_NEAR(s, original[size_t(c * m + r)], 1e-12);
        }
    for (int i = 0; i < n; ++i) {
        EXPECT_GE(w[size_t(i)], 0.0);
        for (int j = 0; j < n; ++j) {
            double uu = 0, vv = 0;
            for (int k = 0; k < m; ++k)
                uu += a[size_t(i * m + k)] * a[size_t(j * m + k)];
            for (int k = 0; k < n; ++k)
                vv += v[size_t(i * n + k)] * v[size_t(j * n + k)];
            EXPECT_NEAR(uu, i == j ? 1.0 : 0.0, 1e-12);
            EXPECT_NEAR(vv, i == j ? 1.0 : 0.0, 1e-12);
        }
    }
}

TEST(MathsMatrixDistances, ModesAndShapeChecks)
{
    TMatrix m, d;
    setRows(m, {{1, 0}, {0, 1}, {2, 0}, {0, 0}});
    d.Resize(4, 4);
    ASSERT_EQ(m.CalcDistMat(cv::TDistMode::dmEuclid, d), 0);
    EXPECT_DOUBLE_EQ(d.GetElem(1, 2), std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(d.GetElem(2, 1), std::sqrt(2.0));
    EXPECT_EQ(d.GetElem(3, 3), 0.0);
    m.CalcDistMat(cv::TDistMode::dmEuclidSqr, d);
    EXPECT_EQ(d.GetElem(1, 3), 1.0);
    m.CalcDistMat(cv::TDistMode::dmManhattan, d);
    EXPECT_EQ(d.GetElem(2, 3), 3.0);
    m.CalcDistMat(cv::TDistMode::dmJaccard, d);
    EXPECT_DOUBLE_EQ(d.GetElem(1, 3), 2.0 / (1 + 4 - 2));
    EXPECT_EQ(d.GetElem(1, 2), 0.0);
    m.CalcDistMat(cv::TDistMode::dmDice, d);
    EXPECT_DOUBLE_EQ(d.GetElem(1, 3), 4.0 / 5);
    EXPECT_EQ(d.GetElem(1, 4), 0.0);
    TMatrix zeros, dz;
    zeros.Resize(3, 2);
    dz.Resize(2, 2);
    zeros.CalcDistMat(cv::TDistMode::dmJaccard, dz);
    EXPECT_EQ(dz.GetElem(1, 2), 1.0) << "two zero rows are alike";

    d.Fill(5);
    ASSERT_EQ(m.CalcDistMat(cv::TDistMode::dmUserDef, d), 0);
    EXPECT_EQ(d.Sum(0, 0, 0, 0), 0.0) << "no handler: all distances 0";
    m.OnCalcDistance = [](cv::TSDLComponent*, int32_t r1, int32_t r2, double& dist) { dist = r1 * 10 + r2; };
    m.CalcDistMat(cv::TDistMode::dmUserDef, d);
    EXPECT_EQ(d.GetElem(4, 2), 24.0);

    TMatrix notSquare, wrongOrder;
    notSquare.Resize(3, 4);
    wrongOrder.Resize(3, 3);
    wrongOrder.Fill(9);
    EXPECT_EQ(m.CalcDistMat(cv::TDistMode::dmEuclid, notSquare), -1);
    EXPECT_EQ(m.CalcDistMat(cv::TDistMode::dmEuclid, wrongOrder), -2);
    EXPECT_EQ(wrongOrder.Sum(0, 0, 0, 0), 81.0);
}
