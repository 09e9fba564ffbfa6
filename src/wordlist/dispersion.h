#pragma once
// The dispersion value of a word list: how evenly a word is spread over the
// parts of the corpus it was made from.
//
// The measure is Gries's DP, "deviation of proportions" (Gries 2008), in its
// normalised form DPnorm (Lijffijt & Gries 2012):
//
//   s_i  = size of part i / size of the corpus        (sizes in running words)
//   v_i  = the word's frequency in part i
//   f    = the word's frequency in the corpus (sum of v_i)
//   DP   = 1/2 * sum_i | v_i / f - s_i |
//   DPnorm = DP / (1 - min s_i)       (min over the parts that hold words)
//
// 0 means the word is spread over the parts exactly as the running words
// are; 1 means it sits in one part only (the smallest, for DPnorm). With a
// single part holding words there is nothing to compare and the value is 0.
// A part holding no words (s_i = 0) adds nothing to DP and is no part for
// the minimum.
//
// A part's running words count its stop-list words and its words outside
// the length limits, which the list leaves out: the word list and the index
// weigh their parts alike, and a word's value does not hang on which other
// words are listed.
//
// The parts are the texts of the list when it was made from two or more
// texts. A list of one text is cut into ten parts of about equal length
// (by position in the text), so that a one-text list still tells words that
// run through the text from words found in one stretch of it; a tenth in
// which no word starts is an empty part.

#include <cstdint>
#include <span>

namespace cv {

// Parts a one-text list is cut into.
constexpr int kDispersionPartsOfOneText = 10;

// DP of one word: counts[i] its frequency in part i, shares[i] the part's
// share of the corpus (the shares add up to 1).
double DeviationOfProportions(std::span<const int64_t> counts, std::span<const double> shares);
// DPnorm from DP and the smallest share of a part that holds words.
double NormalisedDeviationOfProportions(double dp, double smallestShare);

} // namespace cv
