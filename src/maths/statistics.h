#pragma once
// The suite's statistics: keyness of key words and its p value, effect
// sizes, the thresholds a key word must pass, the eleven association scores
// of collocates and relationships, dispersion and relative entropy.
//
// Every routine is a pure function of its arguments: no settings, no state.
// docs/statistics.md gives every formula in one notation; the comment above
// each function repeats it.
//
// Guarding: no routine here returns NaN or an infinity. Counts that leave a
// formula undefined (an empty corpus, a word of frequency 0 under a log or a
// square root, a division by zero) give the value the comment names, most
// often 0, which reads as "no evidence".
//
// Notation for key words (two word lists):
//   a  frequency of the word in the study list,   c  running words of the study list
//   b  frequency of the word in the reference list, d  running words of the reference list
// Notation for association (a node word A and a collocate B):
//   f_AB  how often B was found within the span of A
//   f_A   frequency of A,  f_B  frequency of B,  N  running words of the corpus
//   span  words looked at around each occurrence of A (left + right)
//   E     = f_A * f_B * span / N, the joint frequency expected by chance

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace cv {

// ===========================================================================
// Key words

// Which statistic measures keyness. The values are those stored in the
// key-word settings record (KeynessStatistic).
enum class TKeynessStatistic : uint8_t {
    LogLikelihood = 0,  // G2, the default
    ChiSquareYates = 1, // 2x2 chi-square with Yates's continuity correction
    ChiSquare = 2,      // 2x2 chi-square without correction
};

// What replaces a frequency of 0 in the effect scores (log ratio, %DIFF),
// whose ratios are otherwise infinite.
constexpr double kZeroFrequencyCorrection = 0.5;

// Log-likelihood keyness over the two observed cells (the word's frequency
// in each list):
//   E1 = c * (a + b) / (c + d),  E2 = d * (a + b) / (c + d)
//   G2 = 2 * (a * ln(a / E1) + b * ln(b / E2)),   0 * ln 0 taken as 0
// Always >= 0; 0 when c or d is not positive or the word is in neither list.
double LogLikelihoodKeyness(double a, double b, double c, double d);

// The 2x2 table of a word in two lists: the word and the other words of
// each list.
//            study    reference
//   word     o11 = a  o12 = b
//   other    o21=c-a  o22 = d-b
// Also the windowed table of a collocation (see WindowContingency). Cells
// below 0 (inconsistent counts) are taken as 0.
struct TContingency {
    double o11 = 0, o12 = 0, o21 = 0, o22 = 0;
};
TContingency KeynessContingency(double a, double b, double c, double d);

// Pearson's chi-square of a 2x2 table, row sums R1 R2, column sums C1 C2,
// total N:
//   X2 = N * (o11*o22 - o12*o21)^2 / (R1 * R2 * C1 * C2)
// With Yates's correction the difference is first brought nearer 0 by N/2:
//   X2 = N * max(0, |o11*o22 - o12*o21| - N/2)^2 / (R1 * R2 * C1 * C2)
// 0 when a row or column sum is 0.
double ChiSquare2x2(const TContingency& t, bool yates);

// Chi-square keyness: ChiSquare2x2 over KeynessContingency(a, b, c, d).
double ChiSquareKeyness(double a, double b, double c, double d, bool yates);

// +1 when the word is relatively more frequent in the study list
// (a / c > b / d, a positive key word), -1 when less, 0 when equal or when a
// total is not positive.
int KeynessSign(double a, double b, double c, double d);

// The chosen statistic with the sign of KeynessSign: negative keyness marks
// a negative key word (unusually rare in the study list).
double Keyness(TKeynessStatistic statistic, double a, double b, double c, double d);

// The p value of a statistic on the chi-square distribution with one degree
// of freedom (G2 and X2 of a 2x2 table both follow it):
//   p = P(X > x) = erfc(sqrt(x / 2))
// The sign of x is ignored (keyness may be signed). p is 1 for x = 0 (and
// for NaN), and underflows smoothly to 0 for very large x (x >= about 1500).
double ChiSquare1PValue(double x);

// Hardie's log ratio, the binary log of the ratio of relative frequencies:
//   LR = log2( (a / c) / (b / d) )
// A zero frequency counts as kZeroFrequencyCorrection. 0 when the word is in
// neither list or a total is not positive. Each unit doubles the ratio.
double LogRatio(double a, double b, double c, double d);

// %DIFF, the difference of the relative frequencies as a percentage of the
// reference one:
//   %DIFF = 100 * (a / c - b / d) / (b / d)
// with b = 0 counted as kZeroFrequencyCorrection; 0 as for LogRatio.
double PercentDiff(double a, double b, double c, double d);

// --- Thresholds a key word must pass

// The minimum frequency a study list's word must reach: when raw
// frequencies are used and the study list has fewer than 600 running words,
// a minimum above 2 is lowered to 2 (a short text has few repeats).
int EffectiveMinimumFrequency(int minimumFrequency, bool rawFrequencies, int64_t studyRunningWords);
// freq >= minimum.
bool PassesMinimumFrequency(int64_t frequency, int minimumFrequency);
// p <= largest accepted p value.
bool PassesLargestPValue(double p, double largestP);
// The word occurs in at least `percent` % of the study list's texts:
// 100 * texts >= percent * totalTexts. Always true when totalTexts <= 0.
bool PassesTextPresence(int64_t textsWithWord, int64_t totalTexts, double percent);
// An effect score (log ratio, %DIFF) reaches the minimum in size: |score| >=
// minimum, so that negative key words are judged by their size too.
bool PassesMinimumEffect(double score, double minimum);

// --- Comparing the two lists as wholes

// Dice coefficient of two word lists' sets of types:
//   Dice = 2 * common / (typesA + typesB)
// 0 .. 1; 0 when both lists are empty.
double ListDiceCoefficient(int64_t commonTypes, int64_t typesA, int64_t typesB);
// Share of the study words found in the reference list, as a percentage:
//   100 * found / considered; 0 when nothing was considered.
double MatchPercentage(int64_t found, int64_t considered);

// ===========================================================================
// Association of two words (collocates, index relationships)

// The eleven scores, in their fixed order (stored scores, threshold fields
// and grid columns follow it).
enum class TAssociation : int {
    Dice = 0,
    MI,
    MI3,
    ZScore,
    LogLikelihood,
    TScore,
    LogRatio,
    ConditionalProbabilityA,
    ConditionalProbabilityB,
    DeltaPA,
    DeltaPB,
};
constexpr int kAssociationCount = 11;

// Every score has this signature (see the notation at the top).
using TAssociationMeasure = double (*)(double f_AB, double f_A, double f_B, double N, double span);

struct TAssociationEntry {
    TAssociation id;
    std::string_view caption; // the short name shown with its threshold
    TAssociationMeasure measure;
    std::string_view help;    // what the score measures and its formula (a column's help text)
};

// The table of the eleven scores, in order.
const std::array<TAssociationEntry, kAssociationCount>& AssociationTable();

using TAssociationScores = std::array<double, kAssociationCount>;

// Score `index` (0 .. 10); 0 for an index outside the table.
double AssociationScore(int index, double f_AB, double f_A, double f_B, double N, double span);
// All eleven, in order.
TAssociationScores AssociationScores(double f_AB, double f_A, double f_B, double N, double span);

// Whether a pair's scores pass the minimum thresholds (same order): each
// score >= its threshold; all of them, or with `any` at least one.
bool PassesAssociationThresholds(const TAssociationScores& scores, const TAssociationScores& thresholds, bool any);

// Every score is 0 when N, f_A, f_B or span is not positive, when f_AB is
// negative, or when any input is not finite.

// E = f_A * f_B * span / N.
double ExpectedJointFrequency(double f_A, double f_B, double N, double span);

// The windowed 2x2 table over the corpus positions: rows "within the span of
// an A" (R1 = f_A * span positions) or not; columns "is B" or not.
//   o11 = f_AB            o12 = R1 - f_AB
//   o21 = f_B - f_AB      o22 = N - R1 - f_B + f_AB
// Its expected o11 is E above. Negative cells are taken as 0. With span 1
// it is the usual table of adjacent pairs.
TContingency WindowContingency(double f_AB, double f_A, double f_B, double N, double span);

// Log-likelihood G2 of a whole 2x2 table, E_ij = R_i * C_j / N:
//   G2 = 2 * sum over the four cells of O_ij * ln(O_ij / E_ij),  0 * ln 0 = 0
// Always >= 0; 0 for an empty table.
double LogLikelihoodG2(const TContingency& t);

// Dice = 2 * f_AB / (f_A + f_B).
double DiceAssociation(double f_AB, double f_A, double f_B, double N, double span);
// MI = log2(f_AB / E). 0 when f_AB = 0.
double MutualInformation(double f_AB, double f_A, double f_B, double N, double span);
// MI3 = log2(f_AB^3 / E). 0 when f_AB = 0.
double MI3(double f_AB, double f_A, double f_B, double N, double span);
// Z = (f_AB - E) / sqrt(E).
double ZScore(double f_AB, double f_A, double f_B, double N, double span);
// LL = LogLikelihoodG2(WindowContingency(...)), negative when f_AB < E (the
// words avoid each other).
double LogLikelihoodAssociation(double f_AB, double f_A, double f_B, double N, double span);
// T = (f_AB - E) / sqrt(f_AB). 0 when f_AB = 0.
double TScore(double f_AB, double f_A, double f_B, double N, double span);
// Log ratio of B's relative frequency within the spans of A to its relative
// frequency elsewhere, over the windowed table:
//   LR = log2( (o11 / R1) / (o21 / R2) ),  R1 = o11 + o12, R2 = o21 + o22
// o11 or o21 of 0 counted as kZeroFrequencyCorrection; 0 when R1 or R2 is 0.
double LogRatioAssociation(double f_AB, double f_A, double f_B, double N, double span);
// The conditional probabilities and delta P read the windowed table, whose
// rows are the positions near an A (R1 = f_A * span) and the others, and
// whose columns are the positions holding B (C1 = f_B) and the others, so
// that they are probabilities whatever the span:
// Conditional probability A, P(B | A) = o11 / R1: the share of the
// positions within the spans of A that hold B. 0 .. 1; 0 when R1 is 0.
double ConditionalProbabilityA(double f_AB, double f_A, double f_B, double N, double span);
// Conditional probability B, P(A | B) = o11 / C1: the share of B's found
// within the span of an A. 0 .. 1; 0 when C1 is 0.
double ConditionalProbabilityB(double f_AB, double f_A, double f_B, double N, double span);
// Delta P A (Gries), P(B | A) - P(B | not A):
//   dPA = o11 / R1 - o21 / R2
// how much likelier B is at a position near an A than at one away from
// every A. -1 .. 1, 0 at independence (f_AB = E); a term whose
// denominator is 0 counts as 0.
double DeltaPA(double f_AB, double f_A, double f_B, double N, double span);
// Delta P B, its mirror, P(A | B) - P(A | not B):
//   dPB = o11 / C1 - o12 / C2
// how much likelier a B is to stand near an A than any other word is.
// -1 .. 1, 0 at independence; a term whose denominator is 0 counts as 0.
double DeltaPB(double f_AB, double f_A, double f_B, double N, double span);

// ===========================================================================
// Dispersion

// Juilland's D over n equal parts, c_i the count in part i, m their mean:
//   s = sqrt( sum (c_i - m)^2 / n ),  V = s / m,  D = 1 - V / sqrt(n - 1)
// 1 when every part holds the same count, 0 when all is in one part;
// clamped to 0 .. 1; 0 with fewer than 2 parts or no counts.
double JuillandsD(std::span<const double> counts);

// Gries's deviation of proportions: v_i the word's count in part i, s_i the
// part's share of the corpus (the shares add up to 1), f = sum v_i:
//   DP = 1/2 * sum | v_i / f - s_i |
// 0 (spread like the corpus) .. 1 - min s_i; 0 when f = 0. Parts beyond the
// shorter of the two spans are ignored.
double GriesDP(std::span<const double> counts, std::span<const double> shares);
// DPnorm = DP / (1 - min s_i), 0 .. 1 (Lijffijt and Gries); 0 when the
// smallest share is 1 (a single part).
double GriesDPnorm(double dp, double smallestShare);

// ===========================================================================
// Entropy of a column of values

// Shannon entropy of the values taken as a distribution, p_i = v_i / sum v:
//   H = - sum p_i * log_base(p_i)
// Negative and non-finite values count as 0. 0 when the sum is 0 or the
// base is not above 1.
double ShannonEntropy(std::span<const double> values, double logBase = 2.0);
// Relative entropy, H divided by its largest possible value for the number
// of categories: H / log(categories), 0 .. 1 when categories >= the number
// of values; categories <= 0 means the number of values. 0 when categories
// is below 2.
double RelativeEntropy(std::span<const double> values, int64_t categories = 0);

} // namespace cv
