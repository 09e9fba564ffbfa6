#include "maths/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace cv;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The full 2x2 G2 the long way round: 2 * (sum O ln O - sum R ln R - sum C ln C + N ln N),
// which gives the same value as sum O ln(O / E) without forming any E.
// Worked in long double: its terms are of the size N ln N and cancel.
double EntropyFormG2(long double o11, long double o12, long double o21, long double o22)
{
    auto xlx = [](long double x) { return x > 0 ? x * std::log(x) : 0.0L; };
    const long double r1 = o11 + o12, r2 = o21 + o22, c1 = o11 + o21, c2 = o12 + o22, n = r1 + r2;
    return double(2 * (xlx(o11) + xlx(o12) + xlx(o21) + xlx(o22) - xlx(r1) - xlx(r2) - xlx(c1) - xlx(c2) + xlx(n)));
}

// Pearson's X2 summed cell by cell, optionally with Yates's 0.5 taken off every |O - E|.
double CellByCellChiSquare(double o11, double o12, double o21, double o22, bool yates)
{
    const double r[2] = {o11 + o12, o21 + o22}, c[2] = {o11 + o21, o12 + o22};
    const double o[2][2] = {{o11, o12}, {o21, o22}};
    const double n = r[0] + r[1];
    double sum = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double e = r[i] * c[j] / n;
            const double diff = std::fabs(o[i][j] - e) - (yates ? 0.5 : 0.0);
            sum += diff * diff / e;
        }
    return sum;
}

} // namespace

// A word of frequency 100 in a study list of 10,000 running words, against
// 50 in a reference list of 100,000 (a = 100, b = 50, c = 10,000, d = 100,000).
//
// Log likelihood, N = c + d = 110,000:
//   E1 = 10,000 * 150 / 110,000 = 13.636364    E2 = 100,000 * 150 / 110,000 = 136.363636
//   G2 = 2 * (100 * ln(100 / 13.636364) + 50 * ln(50 / 136.363636))
//      = 2 * (100 * 1.9924302 + 50 * -1.0033021) = 2 * 149.07791 = 298.1558
// Chi-square over the table (100, 50 / 9,900, 99,950):
//   o11*o22 - o12*o21 = 9,995,000 - 495,000 = 9,500,000
//   R1 = 150, R2 = 109,850, C1 = 10,000, C2 = 100,000
//   X2 = 110,000 * 9,500,000^2 / (150 * 109,850 * 10,000 * 100,000) = 602.4882
//   Yates: 110,000 * (9,500,000 - 55,000)^2 / (same) = 595.5323
// Log ratio: log2((100 / 10,000) / (50 / 100,000)) = log2(0.01 / 0.0005) = log2(20) = 4.3219
// %DIFF: 100 * (0.01 - 0.0005) / 0.0005 = 1900
TEST(Keyness, WorkedExample)
{
    const double a = 100, b = 50, c = 10000, d = 100000;
    EXPECT_NEAR(LogLikelihoodKeyness(a, b, c, d), 298.1558, 1e-3);
    EXPECT_NEAR(ChiSquareKeyness(a, b, c, d, false), 602.4882, 1e-3);
    EXPECT_NEAR(ChiSquareKeyness(a, b, c, d, true), 595.5323, 1e-3);
    EXPECT_NEAR(LogRatio(a, b, c, d), std::log2(20.0), 1e-12);
    EXPECT_NEAR(PercentDiff(a, b, c, d), 1900.0, 1e-9);
    EXPECT_EQ(KeynessSign(a, b, c, d), 1);
    EXPECT_NEAR(Keyness(TKeynessStatistic::LogLikelihood, a, b, c, d), 298.1558, 1e-3);
    EXPECT_NEAR(Keyness(TKeynessStatistic::ChiSquareYates, a, b, c, d), 595.5323, 1e-3);
    EXPECT_NEAR(Keyness(TKeynessStatistic::ChiSquare, a, b, c, d), 602.4882, 1e-3);
    EXPECT_LT(ChiSquare1PValue(298.1558), 1e-60);
    EXPECT_GT(ChiSquare1PValue(298.1558), 0.0) << "still representable, so not rounded to 0";

    // The same word seen from the other list is a negative key word of the
    // same size: both statistics are symmetric in the two lists.
    for (auto s : {TKeynessStatistic::LogLikelihood, TKeynessStatistic::ChiSquareYates, TKeynessStatistic::ChiSquare})
        EXPECT_NEAR(Keyness(s, b, a, d, c), -Keyness(s, a, b, c, d), 1e-9);
    EXPECT_NEAR(LogRatio(b, a, d, c), -std::log2(20.0), 1e-12);
    EXPECT_NEAR(PercentDiff(b, a, d, c), -95.0, 1e-9);
}

TEST(Keyness, AgreesWithIndependentFormsOverRandomLists)
{
    std::mt19937_64 rng(2024);
    std::uniform_int_distribution<int> totals(1, 2'000'000), small(0, 40);
    for (int i = 0; i < 5000; ++i) {
        const double c = totals(rng), d = totals(rng);
        // Frequencies from tiny to a large share of the list.
        const double a = std::min<double>(c, i % 3 == 0 ? small(rng) : std::uniform_real_distribution<>(0, c / 50)(rng));
        const double b = std::min<double>(d, i % 5 == 0 ? small(rng) : std::floor(std::uniform_real_distribution<>(0, d / 50)(rng)));
        const double g2 = LogLikelihoodKeyness(a, b, c, d);
        // Two-cell G2 multiplied out: a ln a + b ln b - (a+b) ln(a+b) + (a+b) ln(c+d) - a ln c - b ln d.
        auto xlx = [](long double x) { return x > 0 ? x * std::log(x) : 0.0L; };
        const long double la = a, lb = b, lc = c, ld = d;
        const double expected = a + b > 0 ? double(2 * (xlx(la) + xlx(lb) - xlx(la + lb) + (la + lb) * std::log(lc + ld) - la * std::log(lc) - lb * std::log(ld))) : 0.0;
        ASSERT_NEAR(g2, std::max(0.0, expected), 1e-9 * std::max(1.0, expected)) << a << " " << b << " " << c << " " << d;

        const double o11 = a, o12 = b, o21 = c - a, o22 = d - b;
        if (o11 + o12 > 0 && o21 + o22 > 0 && o11 + o21 > 0 && o12 + o22 > 0) {
            const double x2 = CellByCellChiSquare(o11, o12, o21, o22, false);
            ASSERT_NEAR(ChiSquareKeyness(a, b, c, d, false), x2, 1e-7 * std::max(1.0, x2));
            // Yates's form matches cell by cell while |O - E| exceeds the correction.
            const double n = c + d;
            if (std::fabs(o11 - (o11 + o12) * (o11 + o21) / n) > 0.5) {
                const double y = CellByCellChiSquare(o11, o12, o21, o22, true);
                ASSERT_NEAR(ChiSquareKeyness(a, b, c, d, true), y, 1e-7 * std::max(1.0, y));
            } else {
                ASSERT_EQ(ChiSquareKeyness(a, b, c, d, true), 0.0);
            }
        }
        // Sign from the relative frequencies.
        const int sign = KeynessSign(a, b, c, d);
        ASSERT_EQ(sign, a / c > b / d ? 1 : a / c < b / d ? -1 : 0);
        ASSERT_EQ(Keyness(TKeynessStatistic::LogLikelihood, a, b, c, d), sign * g2);
    }
}

TEST(Keyness, DegenerateCountsGiveDefinedValues)
{
    // The word is in neither list, or a list is empty: nothing to measure.
    EXPECT_EQ(LogLikelihoodKeyness(0, 0, 1000, 1000), 0.0);
    EXPECT_EQ(ChiSquareKeyness(0, 0, 1000, 1000, true), 0.0);
    EXPECT_EQ(LogLikelihoodKeyness(5, 5, 0, 1000), 0.0);
    EXPECT_EQ(ChiSquareKeyness(5, 5, 1000, 0, false), 0.0);
    EXPECT_EQ(LogRatio(0, 0, 1000, 1000), 0.0);
    EXPECT_EQ(KeynessSign(5, 5, 0, 1000), 0);
    EXPECT_EQ(KeynessSign(1, 2, 1000, 2000), 0) << "equal relative frequencies";
    // A word absent from the reference list: G2 from one cell, and the log
    // ratio with the reference frequency counted as 0.5.
    //   E1 = 100 * 10 / 1100, G2 = 2 * 10 * ln(10 / 0.90909) = 20 * ln 11 = 47.958
    EXPECT_NEAR(LogLikelihoodKeyness(10, 0, 100, 1000), 20 * std::log(11.0), 1e-9);
    EXPECT_NEAR(LogRatio(10, 0, 100, 1000), std::log2((10.0 / 100) / (0.5 / 1000)), 1e-12);
    EXPECT_NEAR(LogRatio(0, 10, 100, 1000), std::log2((0.5 / 100) / (10.0 / 1000)), 1e-12);
    EXPECT_NEAR(PercentDiff(10, 0, 100, 1000), 100 * (0.1 - 0.0005) / 0.0005, 1e-9);
    // A word that is every word of both lists: the table has an empty row.
    EXPECT_EQ(ChiSquareKeyness(100, 1000, 100, 1000, false), 0.0);
    // Nonsense in, nothing undefined out.
    for (double bad : {kNaN, kInf, -kInf, -5.0}) {
        for (auto s : {TKeynessStatistic::LogLikelihood, TKeynessStatistic::ChiSquareYates, TKeynessStatistic::ChiSquare}) {
            EXPECT_TRUE(std::isfinite(Keyness(s, bad, 5, 100, 100)));
            EXPECT_TRUE(std::isfinite(Keyness(s, 5, bad, 100, 100)));
            EXPECT_TRUE(std::isfinite(Keyness(s, 5, 5, bad, 100)));
            EXPECT_TRUE(std::isfinite(Keyness(s, 5, 5, 100, bad)));
        }
        EXPECT_TRUE(std::isfinite(LogRatio(bad, 5, 100, 100)));
        EXPECT_TRUE(std::isfinite(PercentDiff(5, 5, 100, bad)));
    }
    // Counts larger than their list (damaged data): cells taken as 0, still finite.
    EXPECT_TRUE(std::isfinite(ChiSquareKeyness(500, 5, 100, 100, true)));
    // Huge lists: no overflow of the products.
    const double huge = CellByCellChiSquare(2e9, 1e9, 2e9, 3e9, false);
    EXPECT_NEAR(ChiSquareKeyness(2e9, 1e9, 4e9, 4e9, false) / huge, 1.0, 1e-9);
}

TEST(Keyness, PValuesOfKnownQuantiles)
{
    // The usual critical values of chi-square with one degree of freedom.
    EXPECT_NEAR(ChiSquare1PValue(3.84), 0.05, 1e-4);
    EXPECT_NEAR(ChiSquare1PValue(6.63), 0.01, 1e-4);
    EXPECT_NEAR(ChiSquare1PValue(10.83), 0.001, 1e-5);
    EXPECT_NEAR(ChiSquare1PValue(15.13), 1e-4, 1e-6);
    // The exact quantiles, to full precision (reference values worked to 40 digits).
    EXPECT_NEAR(ChiSquare1PValue(3.841458820694124), 0.05, 1e-14);
    EXPECT_NEAR(ChiSquare1PValue(6.634896601021214), 0.01, 1e-15);
    EXPECT_NEAR(ChiSquare1PValue(10.827566170662733) / 0.001, 1.0, 1e-12);
    EXPECT_NEAR(ChiSquare1PValue(15.136705226623606) / 1e-4, 1.0, 1e-12);
    // Far in the tail the relative precision holds.
    EXPECT_NEAR(ChiSquare1PValue(100) / 1.5239706048321052e-23, 1.0, 1e-12);
    EXPECT_NEAR(ChiSquare1PValue(1000) / 1.7958327848007262e-219, 1.0, 1e-10);
    // Ends.
    EXPECT_EQ(ChiSquare1PValue(0), 1.0);
    EXPECT_EQ(ChiSquare1PValue(kNaN), 1.0);
    EXPECT_EQ(ChiSquare1PValue(1e6), 0.0);
    EXPECT_EQ(ChiSquare1PValue(kInf), 0.0);
    EXPECT_EQ(ChiSquare1PValue(-3.84), ChiSquare1PValue(3.84)) << "signed keyness";
    // Never rising, never leaving 0 .. 1, on the way into underflow.
    double last = 1.0;
    for (double x = 0; x < 2000; x += 0.37) {
        const double p = ChiSquare1PValue(x);
        ASSERT_TRUE(p >= 0 && p <= 1) << x;
        ASSERT_LE(p, last) << x;
        last = p;
    }
    EXPECT_EQ(last, 0.0);
}

TEST(KeyWordThresholds, Rules)
{
    // The minimum frequency drops to 2 only for short lists counted raw, and never rises.
    EXPECT_EQ(EffectiveMinimumFrequency(5, true, 599), 2);
    EXPECT_EQ(EffectiveMinimumFrequency(5, true, 600), 5);
    EXPECT_EQ(EffectiveMinimumFrequency(5, false, 100), 5);
    EXPECT_EQ(EffectiveMinimumFrequency(1, true, 100), 1);
    EXPECT_TRUE(PassesMinimumFrequency(3, 3));
    EXPECT_FALSE(PassesMinimumFrequency(2, 3));
    EXPECT_TRUE(PassesLargestPValue(1e-6, 1e-6));
    EXPECT_FALSE(PassesLargestPValue(2e-6, 1e-6));
    EXPECT_TRUE(PassesLargestPValue(ChiSquare1PValue(1e6), 1e-300)) << "an underflowed p passes any limit";
    // 1 text in 20 is 5 %, although 5.0f is not exact; 1 in 21 is not.
    EXPECT_TRUE(PassesTextPresence(1, 20, 5.0f));
    EXPECT_FALSE(PassesTextPresence(1, 21, 5.0f));
    EXPECT_TRUE(PassesTextPresence(1, 3, 33.33f));
    EXPECT_TRUE(PassesTextPresence(0, 0, 50)) << "no texts counted: nothing to apply";
    EXPECT_TRUE(PassesMinimumEffect(-1.5, 1.0)) << "negative key words judged by size";
    EXPECT_FALSE(PassesMinimumEffect(0.5, 1.0));
    EXPECT_TRUE(PassesMinimumEffect(0, 0));
}

TEST(KeyWordLists, DiceAndMatchPercentage)
{
    // 300 types in common between lists of 1,000 and 500 types: 600 / 1,500.
    EXPECT_DOUBLE_EQ(ListDiceCoefficient(300, 1000, 500), 0.4);
    EXPECT_DOUBLE_EQ(ListDiceCoefficient(10, 10, 10), 1.0);
    EXPECT_EQ(ListDiceCoefficient(0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(MatchPercentage(49, 100), 49.0);
    EXPECT_EQ(MatchPercentage(5, 0), 0.0);
}

// A small table worked by hand. N = 1,000 running words, node A 20 times,
// collocate B 50 times, B next to A 5 times (span 1).
//   E = 20 * 50 * 1 / 1,000 = 1
//   Dice = 2 * 5 / 70 = 0.142857        MI = log2(5 / 1) = 2.321928
//   MI3 = log2(125 / 1) = 6.965784      Z = (5 - 1) / sqrt(1) = 4
//   T = (5 - 1) / sqrt(5) = 1.788854    CP A = 5 / 20 = 0.25, CP B = 5 / 50 = 0.1
// Window table: o11 = 5, o12 = 15, o21 = 45, o22 = 935; R1 = 20, R2 = 980, C1 = 50, C2 = 950
//   E11 = 1, E12 = 19, E21 = 49, E22 = 931
//   LL = 2 * (5 ln 5 + 15 ln(15/19) + 45 ln(45/49) + 935 ln(935/931))
//      = 2 * (8.047190 - 3.545873 - 3.831993 + 4.008577) = 9.355674
//   LR = log2((5 / 20) / (45 / 980)) = log2(5.444444) = 2.444785
//   dPA = 0.25 - 45 / 980 = 0.204082    dPB = 0.1 - 15 / 950 = 0.084211
TEST(Association, HandWorkedTable)
{
    const TAssociationScores s = AssociationScores(5, 20, 50, 1000, 1);
    const TAssociationScores expected{0.142857, 2.321928, 6.965784, 4.0, 9.355674, 1.788854, 2.444785, 0.25, 0.1, 0.204082, 0.084211};
    for (int i = 0; i < kAssociationCount; ++i)
        EXPECT_NEAR(s[i], expected[i], 1e-6) << AssociationTable()[i].caption;

    // Span 4: E = 4, R1 = 80; o12 = 75, o21 = 45, o22 = 875; R2 = 920, C1 = 50, C2 = 950.
    //   MI = log2(5/4) = 0.321928, Z = 1 / 2 = 0.5, T = 1 / sqrt(5) = 0.447214
    //   CP A = 5 / 80 = 0.0625, CP B = 5 / 50 = 0.1
    //   dPA = 5 / 80 - 45 / 920 = 0.013587, dPB = 5 / 50 - 75 / 950 = 0.021053
    //   LR = log2((5 / 80) / (45 / 920)) = 0.353637
    const TAssociationScores w = AssociationScores(5, 20, 50, 1000, 4);
    EXPECT_NEAR(w[int(TAssociation::MI)], 0.321928, 1e-6);
    EXPECT_NEAR(w[int(TAssociation::ZScore)], 0.5, 1e-12);
    EXPECT_NEAR(w[int(TAssociation::TScore)], 0.447214, 1e-6);
    EXPECT_NEAR(w[int(TAssociation::ConditionalProbabilityA)], 0.0625, 1e-12);
    EXPECT_NEAR(w[int(TAssociation::ConditionalProbabilityB)], 0.1, 1e-12);
    EXPECT_NEAR(w[int(TAssociation::DeltaPA)], 0.013587, 1e-6);
    EXPECT_NEAR(w[int(TAssociation::DeltaPB)], 0.021053, 1e-6);
    EXPECT_NEAR(w[int(TAssociation::LogRatio)], 0.353637, 1e-6);
    EXPECT_NEAR(w[int(TAssociation::LogLikelihood)], EntropyFormG2(5, 75, 45, 875), 1e-9);
    EXPECT_DOUBLE_EQ(w[int(TAssociation::Dice)], s[int(TAssociation::Dice)]) << "the span does not enter Dice";
}

// Every score recomputed here from the four cells of the windowed table, as
// a reader of a relationships list would from its figures: the node's
// frequency times the span is R1, the collocate's frequency C1, N the
// running words.
TAssociationScores FromCells(double fAB, double fA, double fB, double n, double span)
{
    const double o11 = fAB, o12 = fA * span - fAB, o21 = fB - fAB, o22 = n - fA * span - fB + fAB;
    const double r1 = o11 + o12, r2 = o21 + o22, c1 = o11 + o21, c2 = o12 + o22;
    const double e11 = r1 * c1 / n;
    const double g2 = EntropyFormG2(o11, o12, o21, o22);
    TAssociationScores x{};
    x[int(TAssociation::Dice)] = 2 * o11 / (fA + fB);
    x[int(TAssociation::MI)] = std::log2(o11 / e11);
    x[int(TAssociation::MI3)] = std::log2(o11 * o11 * o11 / e11);
    x[int(TAssociation::ZScore)] = (o11 - e11) / std::sqrt(e11);
    x[int(TAssociation::LogLikelihood)] = o11 < e11 ? -g2 : g2;
    x[int(TAssociation::TScore)] = (o11 - e11) / std::sqrt(o11);
    x[int(TAssociation::LogRatio)] = std::log2((o11 / r1) / (o21 / r2));
    x[int(TAssociation::ConditionalProbabilityA)] = o11 / r1;
    x[int(TAssociation::ConditionalProbabilityB)] = o11 / c1;
    x[int(TAssociation::DeltaPA)] = o11 / r1 - o21 / r2;
    x[int(TAssociation::DeltaPB)] = o11 / c1 - o12 / c2;
    return x;
}

// Worked tables, spans of one word and of several: a node of a million-word
// corpus with a frequent collocate inside a window of five words each side
// (the collocate near the node more often than the node occurs), a rare pair,
// adjacent pairs, a collocate that avoids the node.
TEST(Association, EveryScoreAgreesWithItsTableOnWorkedTables)
{
    struct TCase {
        double fAB, fA, fB, n, span;
    };
    for (const TCase c : {TCase{5, 20, 50, 1000, 1}, TCase{5, 20, 50, 1000, 4}, TCase{312, 290, 69971, 1014312, 10},
                          TCase{150, 12593, 932, 14307668, 1}, TCase{3, 40, 900, 100000, 6},
                          TCase{2, 500, 20000, 1000000, 8}}) {
        const TAssociationScores s = AssociationScores(c.fAB, c.fA, c.fB, c.n, c.span);
        const TAssociationScores x = FromCells(c.fAB, c.fA, c.fB, c.n, c.span);
        for (int k = 0; k < kAssociationCount; ++k)
            EXPECT_NEAR(s[k], x[k], 1e-9 * std::max(1.0, std::fabs(x[k])))
                << AssociationTable()[k].caption << " for " << c.fAB << " " << c.fA << " " << c.fB << " " << c.n
                << " span " << c.span;
    }
    // The node near the collocate more often than the node occurs: a share of
    // positions still, 312 of 2,900.
    EXPECT_NEAR(ConditionalProbabilityA(312, 290, 69971, 1014312, 10), 312.0 / 2900, 1e-12);
    EXPECT_NEAR(DeltaPA(312, 290, 69971, 1014312, 10), 312.0 / 2900 - (69971.0 - 312) / (1014312 - 2900), 1e-12);
}

TEST(Association, ProbabilitiesStayProbabilities)
{
    std::mt19937_64 rng(2025);
    for (int i = 0; i < 5000; ++i) {
        const double n = std::uniform_int_distribution<int>(100, 5'000'000)(rng);
        const double span = std::uniform_int_distribution<int>(1, 16)(rng);
        const double fA = std::uniform_int_distribution<int>(1, int(n / 4))(rng);
        const double fB = std::uniform_int_distribution<int>(1, int(n))(rng);
        // Joint counts as windows give them, overlapping ones beyond f_B included.
        const double fAB = std::uniform_int_distribution<int>(0, int(std::min(fA * span, n)))(rng);
        const TAssociationScores s = AssociationScores(fAB, fA, fB, n, span);
        for (TAssociation a : {TAssociation::ConditionalProbabilityA, TAssociation::ConditionalProbabilityB}) {
            ASSERT_GE(s[int(a)], 0.0) << int(a);
            ASSERT_LE(s[int(a)], 1.0) << int(a) << " " << fAB << " " << fA << " " << fB << " " << n << " " << span;
        }
        for (TAssociation a : {TAssociation::DeltaPA, TAssociation::DeltaPB}) {
            ASSERT_GE(s[int(a)], -1.0) << int(a);
            ASSERT_LE(s[int(a)], 1.0) << int(a);
        }
    }
    // Each score names its formula for its column's help.
    for (const TAssociationEntry& e : AssociationTable())
        EXPECT_GT(e.help.size(), 20u) << e.caption;
    EXPECT_NE(AssociationTable()[int(TAssociation::ConditionalProbabilityA)].help.find("f(AB) / R1"), std::string_view::npos);
    EXPECT_NE(AssociationTable()[int(TAssociation::DeltaPA)].help.find("(N - R1)"), std::string_view::npos);
}

// Bigrams of a 14,307,668-word newswire corpus from the collocation
// textbook literature (Manning and Schuetze 1999, chapter 5).
TEST(Association, PublishedBigramValues)
{
    const double n = 14307668;
    // "new companies": new 15,828, companies 4,675, together 8. Published t = 0.999932.
    EXPECT_NEAR(TScore(8, 15828, 4675, n, 1), 0.999932, 1e-6);
    EXPECT_NEAR(MutualInformation(8, 15828, 4675, n, 1), std::log2(8 / (15828.0 * 4675 / n)), 1e-12);
    // "Ayatollah Ruhollah": 42, 20, together 20. Published I = 18.38 bits.
    EXPECT_NEAR(MutualInformation(20, 42, 20, n, 1), 18.38, 0.005);
    // "most powerful": most 12,593, powerful 932, together 150. Published -2 log lambda = 1291.42
    // (the book's own rounding leaves 0.1 between it and the exact table value 1291.32).
    EXPECT_NEAR(LogLikelihoodAssociation(150, 12593, 932, n, 1), 1291.42, 0.15);
    EXPECT_NEAR(LogLikelihoodAssociation(150, 12593, 932, n, 1),
                EntropyFormG2(150, 12593 - 150, 932 - 150, n - 12593 - 932 + 150), 1e-6);
}

TEST(Association, AgreesWithIndependentFormsOverRandomPairs)
{
    std::mt19937_64 rng(77);
    for (int i = 0; i < 5000; ++i) {
        const double n = std::uniform_int_distribution<int>(100, 50'000'000)(rng);
        const double span = std::uniform_int_distribution<int>(1, 10)(rng);
        const double fA = std::uniform_int_distribution<int>(1, int(std::max(1.0, n / span / 20)))(rng);
        const double fB = std::uniform_int_distribution<int>(1, int(std::max(1.0, n / 20)))(rng);
        const double fAB = std::uniform_int_distribution<int>(0, int(std::min(fA * span, fB)))(rng);
        const TAssociationScores s = AssociationScores(fAB, fA, fB, n, span);
        for (int k = 0; k < kAssociationCount; ++k)
            ASSERT_TRUE(std::isfinite(s[k])) << k;

        // LL: the whole table cell by cell, built here from its definition.
        const double r1 = fA * span;
        const double g2 = EntropyFormG2(fAB, r1 - fAB, fB - fAB, n - r1 - fB + fAB);
        const double e = fA * fB * span / n;
        ASSERT_NEAR(std::fabs(s[int(TAssociation::LogLikelihood)]), g2, 1e-9 * std::max(1.0, g2));
        // Every score that measures attraction leans the way f_AB leans from E.
        const int lean = fAB > e ? 1 : -1;
        if (std::fabs(fAB - e) > 1e-9 * e) {
            for (TAssociation a : {TAssociation::ZScore, TAssociation::LogLikelihood, TAssociation::DeltaPA, TAssociation::DeltaPB})
                ASSERT_EQ(s[int(a)] > 0 ? 1 : -1, lean) << int(a) << " " << fAB << " " << fA << " " << fB << " " << n;
            if (fAB > 0) {
                ASSERT_EQ(s[int(TAssociation::MI)] > 0 ? 1 : -1, lean);
                ASSERT_EQ(s[int(TAssociation::TScore)] > 0 ? 1 : -1, lean);
            }
        }
        // With adjacent pairs the scores are symmetric in the two words, or swap.
        if (span == 1) {
            const TAssociationScores t = AssociationScores(fAB, fB, fA, n, 1);
            for (TAssociation a : {TAssociation::Dice, TAssociation::MI, TAssociation::MI3, TAssociation::ZScore, TAssociation::LogLikelihood, TAssociation::TScore})
                ASSERT_NEAR(s[int(a)], t[int(a)], 1e-9 * std::max(1.0, std::fabs(s[int(a)])));
            ASSERT_DOUBLE_EQ(s[int(TAssociation::ConditionalProbabilityA)], t[int(TAssociation::ConditionalProbabilityB)]);
            ASSERT_NEAR(s[int(TAssociation::DeltaPA)], t[int(TAssociation::DeltaPB)], 1e-12);
        }
    }
}

TEST(Association, IndependenceScoresNothing)
{
    // f_AB = E exactly: N = 1,000, f_A = 10, f_B = 50, span 4 gives E = 2.
    const TAssociationScores s = AssociationScores(2, 10, 50, 1000, 4);
    for (TAssociation a : {TAssociation::MI, TAssociation::ZScore, TAssociation::LogLikelihood, TAssociation::TScore,
                           TAssociation::LogRatio, TAssociation::DeltaPA, TAssociation::DeltaPB})
        EXPECT_NEAR(s[int(a)], 0.0, 1e-12) << int(a);
    EXPECT_NEAR(s[int(TAssociation::MI3)], 2.0, 1e-12) << "log2(8 / 2): MI3 rewards frequency";
}

TEST(Association, ZeroAndDamagedCountsGiveDefinedValues)
{
    // Never seen together: undefined logs and roots give 0, the rest their values.
    const TAssociationScores z = AssociationScores(0, 20, 50, 1000, 1);
    for (TAssociation a : {TAssociation::Dice, TAssociation::MI, TAssociation::MI3, TAssociation::TScore,
                           TAssociation::ConditionalProbabilityA, TAssociation::ConditionalProbabilityB})
        EXPECT_EQ(z[int(a)], 0.0) << int(a);
    EXPECT_DOUBLE_EQ(z[int(TAssociation::ZScore)], -1.0);
    EXPECT_NEAR(z[int(TAssociation::LogLikelihood)], -EntropyFormG2(0, 20, 50, 930), 1e-9);
    EXPECT_NEAR(z[int(TAssociation::LogRatio)], std::log2((0.5 / 20) / (50.0 / 980)), 1e-12);
    EXPECT_NEAR(z[int(TAssociation::DeltaPA)], -50.0 / 980, 1e-12);
    // Always together and nowhere else (f_AB = f_B): o21 = 0 is corrected in the log ratio.
    EXPECT_NEAR(LogRatioAssociation(20, 42, 20, 14307668, 1), std::log2((20.0 / 42) / (0.5 / (14307668 - 42))), 1e-9);

    // Empty corpus, unknown words, no span, nonsense: all 0.
    for (auto args : std::vector<std::array<double, 5>>{
             {5, 20, 50, 0, 1}, {5, 0, 50, 1000, 1}, {5, 20, 0, 1000, 1}, {5, 20, 50, 1000, 0},
             {-1, 20, 50, 1000, 1}, {kNaN, 20, 50, 1000, 1}, {5, kInf, 50, 1000, 1}, {5, 20, 50, kInf, 1}}) {
        const TAssociationScores s = AssociationScores(args[0], args[1], args[2], args[3], args[4]);
        for (int k = 0; k < kAssociationCount; ++k)
            EXPECT_EQ(s[k], 0.0) << k << " for " << args[0] << " " << args[1] << " " << args[2] << " " << args[3] << " " << args[4];
    }
    // Inconsistent counts (windows overlapping so f_AB > f_B; spans covering more
    // than the corpus): finite scores.
    for (auto args : std::vector<std::array<double, 5>>{{60, 20, 50, 1000, 8}, {5, 900, 50, 1000, 8}, {1e9, 1e9, 1e9, 1e9, 8}}) {
        const TAssociationScores s = AssociationScores(args[0], args[1], args[2], args[3], args[4]);
        for (int k = 0; k < kAssociationCount; ++k)
            EXPECT_TRUE(std::isfinite(s[k])) << k;
    }
}

TEST(Association, TableOrderAndThresholds)
{
    const auto& table = AssociationTable();
    const char* captions[] = {"Dice", "Mutual info", "MI3", "Z score", "Log likelihood", "T score",
                              "Log Ratio", "CProbA", "CProbB", "DeltaPA", "DeltaPB"};
    for (int i = 0; i < kAssociationCount; ++i) {
        EXPECT_EQ(int(table[i].id), i);
        EXPECT_EQ(table[i].caption, captions[i]);
        EXPECT_EQ(AssociationScore(i, 5, 20, 50, 1000, 1), table[i].measure(5, 20, 50, 1000, 1));
    }
    EXPECT_EQ(AssociationScore(-1, 5, 20, 50, 1000, 1), 0.0);
    EXPECT_EQ(AssociationScore(kAssociationCount, 5, 20, 50, 1000, 1), 0.0);

    TAssociationScores scores{};
    scores.fill(1.0);
    TAssociationScores thresholds{};
    thresholds.fill(-999.999);
    EXPECT_TRUE(PassesAssociationThresholds(scores, thresholds, false));
    EXPECT_TRUE(PassesAssociationThresholds(scores, thresholds, true));
    thresholds[int(TAssociation::MI)] = 3.0; // one not met
    EXPECT_FALSE(PassesAssociationThresholds(scores, thresholds, false));
    EXPECT_TRUE(PassesAssociationThresholds(scores, thresholds, true));
    thresholds.fill(1.0); // met exactly
    EXPECT_TRUE(PassesAssociationThresholds(scores, thresholds, false));
    thresholds.fill(2.0);
    EXPECT_FALSE(PassesAssociationThresholds(scores, thresholds, true));
}

TEST(Dispersion, JuillandAndGries)
{
    // Juilland: (1, 0, 1, 0): m = 0.5, s = 0.5, V = 1, D = 1 - 1 / sqrt(3).
    const double half[] = {1, 0, 1, 0};
    EXPECT_NEAR(JuillandsD(half), 1.0 - 1.0 / std::sqrt(3.0), 1e-12);
    const double even[] = {3, 3, 3}, lumped[] = {0, 9, 0}, single[] = {4}, none[] = {0, 0};
    EXPECT_EQ(JuillandsD(even), 1.0);
    EXPECT_NEAR(JuillandsD(lumped), 0.0, 1e-12);
    EXPECT_EQ(JuillandsD(single), 0.0);
    EXPECT_EQ(JuillandsD(none), 0.0);

    // Gries's DP: counts (1, 2, 3, 4, 0) over five parts of equal size, f = 10:
    //   |0.1 - 0.2| + |0.2 - 0.2| + |0.3 - 0.2| + |0.4 - 0.2| + |0 - 0.2| = 0.6, DP = 0.3
    //   DPnorm = 0.3 / (1 - 0.2) = 0.375
    const double counts[] = {1, 2, 3, 4, 0}, shares[] = {0.2, 0.2, 0.2, 0.2, 0.2};
    EXPECT_NEAR(GriesDP(counts, shares), 0.3, 1e-12);
    EXPECT_NEAR(GriesDPnorm(GriesDP(counts, shares), 0.2), 0.375, 1e-12);
    // All in the smallest part: DP = 1 - min share, DPnorm = 1.
    const double inSmall[] = {7, 0}, unequal[] = {0.1, 0.9};
    EXPECT_NEAR(GriesDP(inSmall, unequal), 0.9, 1e-12);
    EXPECT_NEAR(GriesDPnorm(0.9, 0.1), 1.0, 1e-12);
    EXPECT_EQ(GriesDP(none, shares), 0.0);
    EXPECT_EQ(GriesDPnorm(0.0, 1.0), 0.0);
}

TEST(Entropy, ShannonAndRelative)
{
    // (1, 1, 2): p = 1/4, 1/4, 1/2, H = 1/2 + 1/2 + 1/2 = 1.5 bits; Hmax = log2 3.
    const double v[] = {1, 1, 2};
    EXPECT_NEAR(ShannonEntropy(v), 1.5, 1e-12);
    EXPECT_NEAR(ShannonEntropy(v, 4), 0.75, 1e-12);
    EXPECT_NEAR(RelativeEntropy(v), 1.5 / std::log2(3.0), 1e-12);
    const double uniform[] = {5, 5, 5, 5}, one[] = {0, 7, 0}, messy[] = {-3, kNaN, 2, 2};
    EXPECT_NEAR(RelativeEntropy(uniform), 1.0, 1e-12);
    EXPECT_EQ(RelativeEntropy(one), 0.0);
    // Two equal values among four possible categories: 1 bit of 2.
    const double pair[] = {3, 3};
    EXPECT_NEAR(RelativeEntropy(pair, 4), 0.5, 1e-12);
    EXPECT_NEAR(ShannonEntropy(messy), 1.0, 1e-12) << "negative and undefined values count as 0";
    EXPECT_EQ(RelativeEntropy(std::span<const double>{}), 0.0);
    EXPECT_EQ(ShannonEntropy(v, 1.0), 0.0);
}
