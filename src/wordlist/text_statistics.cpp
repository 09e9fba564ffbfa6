#include "wordlist/text_statistics.h"

#include <cmath>

namespace cv {

namespace {

double Mean(double sum, double n) { return n > 0 ? sum / n : 0; }

double PopulationSd(double sum, double squares, double n)
{
    if (n <= 0)
        return 0;
    const double m = sum / n;
    const double var = squares / n - m * m;
    return var > 0 ? std::sqrt(var) : 0;
}

} // namespace

TTextStatisticsBuilder::TTextStatisticsBuilder(int32_t sttrBasis, bool countSections)
    : fBasis(sttrBasis > 0 ? sttrBasis : 1000), fCountSections(countSections), fChunkLeft(fBasis)
{
}

void TTextStatisticsBuilder::CloseUnits(int level)
{
    fSentence.Close(fRunningWords);
    if (level >= 3) {
        const int64_t words = fParagraph.Current(fRunningWords);
        if (fParagraphIsHeading && words > 0) {
            ++fHeadings;
            fHeadingWords += words;
        }
        fParagraph.Close(fRunningWords);
        fParagraphIsHeading = false;
    }
    if (level >= 5)
        fSection.Close(fRunningWords);
}

void TTextStatisticsBuilder::OtherLength(int32_t characters)
{
    // 14 or more characters (or, from a caller that does not check, none:
    // counted in the first class, as of one).
    const bool none = characters < TStatsRec::kLengthClasses;
    ++fLengths[none ? 0 : TStatsRec::kLengthClasses - 1];
    fNoLength += none ? 1 : 0;
    fOtherLengthSum += characters;
    fOtherLengthSquares += int64_t(characters) * characters;
}

void TTextStatisticsBuilder::EndChunk()
{
    const double ratio = double(fChunkTypes) * 100.0 / double(fBasis);
    fSttrSum += ratio;
    fSttrSquares += ratio * ratio;
    ++fChunks;
    fChunkLeft = fBasis;
    fChunkTypes = 0;
}

void TTextStatisticsBuilder::Finish(TStatsRec& rec, int64_t types, int64_t stopTypes)
{
    CloseUnits(5);
    rec.Texts = 1;
    rec.TokensInText = fRunningWords;
    rec.TokensUsed = fTokensUsed;
    rec.Types = types;
    rec.TTR = fTokensUsed > 0 ? double(types) * 100.0 / double(fTokensUsed) : 0;
    rec.STTRBasis = fBasis;
    if (fChunks > 0) {
        rec.STTR = fSttrSum / double(fChunks);
        rec.STTRStdDev = PopulationSd(fSttrSum, fSttrSquares, double(fChunks));
    } else {
        rec.STTR = rec.TTR;
        rec.STTRStdDev = 0;
    }
    // The sums of the lengths: the classes below the last hold one length each.
    int64_t lengthSum = fOtherLengthSum, lengthSquares = fOtherLengthSquares;
    for (int64_t c = 1; c < TStatsRec::kLengthClasses; ++c) {
        const int64_t n = fLengths[std::size_t(c - 1)] - (c == 1 ? fNoLength : 0);
        lengthSum += c * n;
        lengthSquares += c * c * n;
    }
    rec.MeanWordLength = Mean(double(lengthSum), double(fTokensUsed));
    rec.WordLengthStdDev = PopulationSd(double(lengthSum), double(lengthSquares), double(fTokensUsed));
    rec.Sentences = fSentence.count;
    rec.MeanSentenceLength = Mean(fSentence.sum, double(fSentence.count));
    rec.SentenceLengthStdDev = PopulationSd(fSentence.sum, fSentence.squares, double(fSentence.count));
    rec.Paragraphs = fParagraph.count;
    rec.MeanParagraphLength = Mean(fParagraph.sum, double(fParagraph.count));
    rec.Headings = fHeadings;
    rec.MeanHeadingLength = Mean(double(fHeadingWords), double(fHeadings));
    rec.Sections = fCountSections ? fSection.count : 0;
    rec.MeanSectionLength = fCountSections ? Mean(fSection.sum, double(fSection.count)) : 0;
    rec.NumbersRemoved = fNumbersRemoved;
    rec.StopTokensRemoved = fStopTokens;
    rec.StopTypesRemoved = stopTypes;
    rec.WordsOfLength = fLengths;
}

} // namespace cv
