#include "maths/statistics.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace cv {

namespace {

// The last guard of every public routine: nothing undefined reaches a grid.
double Finite(double x)
{
    return std::isfinite(x) ? x : 0.0;
}

bool AllFinite(std::initializer_list<double> xs)
{
    return std::all_of(xs.begin(), xs.end(), [](double x) { return std::isfinite(x); });
}

// x * ln(x / e), with 0 * ln 0 = 0.
double XLogXOverE(double x, double e)
{
    return x > 0 && e > 0 ? x * std::log(x / e) : 0.0;
}

double Corrected(double frequency)
{
    return frequency > 0 ? frequency : kZeroFrequencyCorrection;
}

// The counts of a pair make sense to score.
bool Scorable(double f_AB, double f_A, double f_B, double N, double span)
{
    return AllFinite({f_AB, f_A, f_B, N, span}) && N > 0 && f_A > 0 && f_B > 0 && span > 0 && f_AB >= 0;
}

bool KeynessTotalsUsable(double a, double b, double c, double d)
{
    return AllFinite({a, b, c, d}) && c > 0 && d > 0 && a >= 0 && b >= 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Key words

double LogLikelihoodKeyness(double a, double b, double c, double d)
{
    if (!KeynessTotalsUsable(a, b, c, d) || a + b <= 0)
        return 0.0;
    const double e1 = c * (a + b) / (c + d);
    const double e2 = d * (a + b) / (c + d);
    return Finite(std::max(0.0, 2.0 * (XLogXOverE(a, e1) + XLogXOverE(b, e2))));
}

TContingency KeynessContingency(double a, double b, double c, double d)
{
    return {std::max(a, 0.0), std::max(b, 0.0), std::max(c - a, 0.0), std::max(d - b, 0.0)};
}

double ChiSquare2x2(const TContingency& t, bool yates)
{
    if (!AllFinite({t.o11, t.o12, t.o21, t.o22}))
        return 0.0;
    const double r1 = t.o11 + t.o12, r2 = t.o21 + t.o22;
    const double c1 = t.o11 + t.o21, c2 = t.o12 + t.o22;
    const double n = r1 + r2;
    if (!(r1 > 0 && r2 > 0 && c1 > 0 && c2 > 0))
        return 0.0;
    double diff = std::fabs(t.o11 * t.o22 - t.o12 * t.o21);
    if (yates)
        diff = std::max(0.0, diff - n / 2);
    // Divided step by step: the products of four margins overflow no double,
    // but this keeps the intermediate values near the result's size.
    return Finite(n * (diff / r1 / r2) * (diff / c1 / c2));
}

double ChiSquareKeyness(double a, double b, double c, double d, bool yates)
{
    if (!KeynessTotalsUsable(a, b, c, d))
        return 0.0;
    return ChiSquare2x2(KeynessContingency(a, b, c, d), yates);
}

int KeynessSign(double a, double b, double c, double d)
{
    if (!KeynessTotalsUsable(a, b, c, d))
        return 0;
    // a / c against b / d without dividing.
    const double lhs = a * d, rhs = b * c;
    return lhs > rhs ? 1 : lhs < rhs ? -1 : 0;
}

double Keyness(TKeynessStatistic statistic, double a, double b, double c, double d)
{
    double value = 0;
    switch (statistic) {
    case TKeynessStatistic::LogLikelihood:
        value = LogLikelihoodKeyness(a, b, c, d);
        break;
    case TKeynessStatistic::ChiSquareYates:
        value = ChiSquareKeyness(a, b, c, d, true);
        break;
    case TKeynessStatistic::ChiSquare:
        value = ChiSquareKeyness(a, b, c, d, false);
        break;
    }
    return KeynessSign(a, b, c, d) * value;
}

double ChiSquare1PValue(double x)
{
    if (std::isnan(x))
        return 1.0;
    x = std::fabs(x);
    // With one degree of freedom X = Z^2 for a standard normal Z, so
    // P(X > x) = P(|Z| > sqrt(x)) = erfc(sqrt(x / 2)). The C library's erfc
    // keeps full relative precision far into the tail and goes to 0 (through
    // subnormal numbers) rather than to NaN; sqrt(inf) = inf gives 0.
    return std::clamp(std::erfc(std::sqrt(x / 2)), 0.0, 1.0);
}

double LogRatio(double a, double b, double c, double d)
{
    if (!KeynessTotalsUsable(a, b, c, d) || (a <= 0 && b <= 0))
        return 0.0;
    return Finite(std::log2((Corrected(a) / c) / (Corrected(b) / d)));
}

double PercentDiff(double a, double b, double c, double d)
{
    if (!KeynessTotalsUsable(a, b, c, d) || (a <= 0 && b <= 0))
        return 0.0;
    const double study = a / c, reference = Corrected(b) / d;
    return Finite(100.0 * (study - reference) / reference);
}

int EffectiveMinimumFrequency(int minimumFrequency, bool rawFrequencies, int64_t studyRunningWords)
{
    if (rawFrequencies && studyRunningWords < 600)
        return std::min(minimumFrequency, 2);
    return minimumFrequency;
}

bool PassesMinimumFrequency(int64_t frequency, int minimumFrequency)
{
    return frequency >= minimumFrequency;
}

bool PassesLargestPValue(double p, double largestP)
{
    return p <= largestP;
}

bool PassesTextPresence(int64_t textsWithWord, int64_t totalTexts, double percent)
{
    if (totalTexts <= 0)
        return true;
    // Multiplied out, with a little slack so that 1 text in 20 passes 5 %
    // although 5 % is not exact in binary.
    return 100.0 * double(textsWithWord) >= percent * double(totalTexts) - 1e-9 * double(totalTexts);
}

bool PassesMinimumEffect(double score, double minimum)
{
    return std::fabs(score) >= minimum;
}

double ListDiceCoefficient(int64_t commonTypes, int64_t typesA, int64_t typesB)
{
    if (typesA + typesB <= 0)
        return 0.0;
    return std::clamp(2.0 * double(commonTypes) / double(typesA + typesB), 0.0, 1.0);
}

double MatchPercentage(int64_t found, int64_t considered)
{
    if (considered <= 0)
        return 0.0;
    return 100.0 * double(found) / double(considered);
}

// ---------------------------------------------------------------------------
// Association

double ExpectedJointFrequency(double f_A, double f_B, double N, double span)
{
    if (!(N > 0) || !AllFinite({f_A, f_B, N, span}))
        return 0.0;
    return Finite(f_A * f_B * span / N);
}

TContingency WindowContingency(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!AllFinite({f_AB, f_A, f_B, N, span}))
        return {};
    const double r1 = f_A * span;
    return {std::max(f_AB, 0.0), std::max(r1 - f_AB, 0.0), std::max(f_B - f_AB, 0.0),
            std::max(N - r1 - f_B + f_AB, 0.0)};
}

double LogLikelihoodG2(const TContingency& t)
{
    if (!AllFinite({t.o11, t.o12, t.o21, t.o22}))
        return 0.0;
    const double n = t.o11 + t.o12 + t.o21 + t.o22;
    if (!(n > 0))
        return 0.0;
    // Every cell of a 2x2 table is off its expected value by the same
    // amount, dev = (o11*o22 - o12*o21) / N: E11 = o11 - dev, E12 = o12 + dev,
    // E21 = o21 + dev, E22 = o22 - dev. Then O ln(O / E) = -O log1p((E - O) / O),
    // which stays accurate for the big cell of a big corpus, where O / E is
    // within a hair of 1 and ln(O / E) would lose most of its digits.
    const double dev = (t.o11 * t.o22 - t.o12 * t.o21) / n;
    auto term = [](double o, double eMinusO) { return o > 0 ? -o * std::log1p(eMinusO / o) : 0.0; };
    const double sum = term(t.o11, -dev) + term(t.o12, dev) + term(t.o21, dev) + term(t.o22, -dev);
    return Finite(std::max(0.0, 2.0 * sum));
}

double DiceAssociation(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    return Finite(2.0 * f_AB / (f_A + f_B));
}

double MutualInformation(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span) || f_AB <= 0)
        return 0.0;
    return Finite(std::log2(f_AB / ExpectedJointFrequency(f_A, f_B, N, span)));
}

double MI3(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span) || f_AB <= 0)
        return 0.0;
    // log2(f^3 / E) = 3 log2 f - log2 E: no cube to overflow.
    return Finite(3.0 * std::log2(f_AB) - std::log2(ExpectedJointFrequency(f_A, f_B, N, span)));
}

double ZScore(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const double e = ExpectedJointFrequency(f_A, f_B, N, span);
    return e > 0 ? Finite((f_AB - e) / std::sqrt(e)) : 0.0;
}

double LogLikelihoodAssociation(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const double g2 = LogLikelihoodG2(WindowContingency(f_AB, f_A, f_B, N, span));
    return f_AB < ExpectedJointFrequency(f_A, f_B, N, span) ? -g2 : g2;
}

double TScore(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span) || f_AB <= 0)
        return 0.0;
    return Finite((f_AB - ExpectedJointFrequency(f_A, f_B, N, span)) / std::sqrt(f_AB));
}

double LogRatioAssociation(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const TContingency t = WindowContingency(f_AB, f_A, f_B, N, span);
    const double r1 = t.o11 + t.o12, r2 = t.o21 + t.o22;
    if (!(r1 > 0 && r2 > 0))
        return 0.0;
    return Finite(std::log2((Corrected(t.o11) / r1) / (Corrected(t.o21) / r2)));
}

namespace {

// A windowed table with its row sums R1 R2 and column sums C1 C2.
struct TTableSums {
    TContingency t;
    double r1, r2, c1, c2;
};

TTableSums WindowSums(double f_AB, double f_A, double f_B, double N, double span)
{
    const TContingency t = WindowContingency(f_AB, f_A, f_B, N, span);
    return {t, t.o11 + t.o12, t.o21 + t.o22, t.o11 + t.o21, t.o12 + t.o22};
}

// part / whole; 0 when whole is not positive.
double Share(double part, double whole)
{
    return whole > 0 ? part / whole : 0.0;
}

} // namespace

double ConditionalProbabilityA(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const TTableSums w = WindowSums(f_AB, f_A, f_B, N, span);
    return Finite(Share(w.t.o11, w.r1));
}

double ConditionalProbabilityB(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const TTableSums w = WindowSums(f_AB, f_A, f_B, N, span);
    return Finite(Share(w.t.o11, w.c1));
}

double DeltaPA(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const TTableSums w = WindowSums(f_AB, f_A, f_B, N, span);
    return Finite(Share(w.t.o11, w.r1) - Share(w.t.o21, w.r2));
}

double DeltaPB(double f_AB, double f_A, double f_B, double N, double span)
{
    if (!Scorable(f_AB, f_A, f_B, N, span))
        return 0.0;
    const TTableSums w = WindowSums(f_AB, f_A, f_B, N, span);
    return Finite(Share(w.t.o11, w.c1) - Share(w.t.o12, w.c2));
}

const std::array<TAssociationEntry, kAssociationCount>& AssociationTable()
{
    // The help texts name the windowed table: f(AB) the joint frequency,
    // f(A) the node's frequency, f(B) the collocate's, N the running words,
    // S the span; R1 = f(A) S positions lie within the node's spans.
    static constexpr std::array<TAssociationEntry, kAssociationCount> table{{
        {TAssociation::Dice, "Dice", &DiceAssociation,
         "Dice coefficient: 2 f(AB) / (f(A) + f(B)), the joint frequency against the two words' frequencies."},
        {TAssociation::MI, "Mutual info", &MutualInformation,
         "Mutual information: log2(f(AB) / E), E = f(A) f(B) S / N the joint frequency expected by chance."},
        {TAssociation::MI3, "MI3", &MI3, "MI3: log2(f(AB)^3 / E), mutual information that favours frequent pairs."},
        {TAssociation::ZScore, "Z score", &ZScore, "Z score: (f(AB) - E) / sqrt(E)."},
        {TAssociation::LogLikelihood, "Log likelihood", &LogLikelihoodAssociation,
         "Log likelihood (G2) of the 2 x 2 table of the N positions (near the node or not, holding the collocate or "
         "not); negative when the pair is rarer than chance."},
        {TAssociation::TScore, "T score", &TScore, "T score: (f(AB) - E) / sqrt(f(AB))."},
        {TAssociation::LogRatio, "Log Ratio", &LogRatioAssociation,
         "Log ratio: log2 of the collocate's share of the positions near the node, (f(AB) / R1), over its share of "
         "the other positions, ((f(B) - f(AB)) / (N - R1)); a zero count as 0.5."},
        {TAssociation::ConditionalProbabilityA, "CProbA", &ConditionalProbabilityA,
         "Conditional probability of the collocate given the node, P(B | A) = f(AB) / R1, R1 = f(A) S: the share "
         "of the positions near the node that hold the collocate (0 to 1)."},
        {TAssociation::ConditionalProbabilityB, "CProbB", &ConditionalProbabilityB,
         "Conditional probability of the node given the collocate, P(A | B) = f(AB) / f(B): the share of the "
         "collocate's occurrences that stand near the node (0 to 1)."},
        {TAssociation::DeltaPA, "DeltaPA", &DeltaPA,
         "Delta P of the collocate given the node: f(AB) / R1 - (f(B) - f(AB)) / (N - R1), the collocate's share "
         "of the positions near the node less its share of the others (-1 to 1, 0 by chance)."},
        {TAssociation::DeltaPB, "DeltaPB", &DeltaPB,
         "Delta P of the node given the collocate: f(AB) / f(B) - (R1 - f(AB)) / (N - f(B)), the share of the "
         "collocate's occurrences near the node less the share of the other words' (-1 to 1, 0 by chance)."},
    }};
    return table;
}

double AssociationScore(int index, double f_AB, double f_A, double f_B, double N, double span)
{
    if (index < 0 || index >= kAssociationCount)
        return 0.0;
    return AssociationTable()[std::size_t(index)].measure(f_AB, f_A, f_B, N, span);
}

TAssociationScores AssociationScores(double f_AB, double f_A, double f_B, double N, double span)
{
    TAssociationScores scores{};
    for (int i = 0; i < kAssociationCount; ++i)
        scores[std::size_t(i)] = AssociationScore(i, f_AB, f_A, f_B, N, span);
    return scores;
}

bool PassesAssociationThresholds(const TAssociationScores& scores, const TAssociationScores& thresholds, bool any)
{
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const bool passes = scores[i] >= thresholds[i];
        if (any && passes)
            return true;
        if (!any && !passes)
            return false;
    }
    return !any;
}

// ---------------------------------------------------------------------------
// Dispersion

double JuillandsD(std::span<const double> counts)
{
    const std::size_t n = counts.size();
    if (n < 2)
        return 0.0;
    double sum = 0;
    for (double c : counts)
        sum += c;
    if (!(sum > 0) || !std::isfinite(sum))
        return 0.0;
    const double mean = sum / double(n);
    double squares = 0;
    for (double c : counts)
        squares += (c - mean) * (c - mean);
    const double sd = std::sqrt(squares / double(n));
    return std::clamp(Finite(1.0 - (sd / mean) / std::sqrt(double(n - 1))), 0.0, 1.0);
}

double GriesDP(std::span<const double> counts, std::span<const double> shares)
{
    const std::size_t n = std::min(counts.size(), shares.size());
    double f = 0;
    for (std::size_t i = 0; i < n; ++i)
        f += counts[i];
    if (!(f > 0) || !std::isfinite(f))
        return 0.0;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::fabs(counts[i] / f - shares[i]);
    return std::clamp(Finite(sum / 2), 0.0, 1.0);
}

double GriesDPnorm(double dp, double smallestShare)
{
    if (!(smallestShare < 1.0))
        return 0.0;
    return std::clamp(Finite(dp / (1.0 - smallestShare)), 0.0, 1.0);
}

// ---------------------------------------------------------------------------
// Entropy

double ShannonEntropy(std::span<const double> values, double logBase)
{
    if (!(logBase > 1.0) || !std::isfinite(logBase))
        return 0.0;
    double sum = 0;
    for (double v : values)
        if (v > 0 && std::isfinite(v))
            sum += v;
    if (!(sum > 0) || !std::isfinite(sum))
        return 0.0;
    double h = 0;
    for (double v : values)
        if (v > 0 && std::isfinite(v)) {
            const double p = v / sum;
            h -= p * std::log(p);
        }
    return Finite(std::max(0.0, h / std::log(logBase)));
}

double RelativeEntropy(std::span<const double> values, int64_t categories)
{
    if (categories <= 0)
        categories = int64_t(values.size());
    if (categories < 2)
        return 0.0;
    return Finite(ShannonEntropy(values, std::exp(1.0)) / std::log(double(categories)));
}

} // namespace cv
