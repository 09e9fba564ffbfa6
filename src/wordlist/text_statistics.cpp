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
    : fBasis(sttrBasis > 0 ? sttrBasis : 1000), fCountSections(countSections)
{
}

void TTextStatisticsBuilder::CloseUnits(int level)
{
    fSentence.Close();
    if (level >= 3) {
        if (fParagraphIsHeading && fParagraph.current > 0) {
            ++fHeadings;
            fHeadingWords += fParagraph.current;
        }
        fParagraph.Close();
        fParagraphIsHeading = false;
    }
    if (level >= 5)
        fSection.Close();
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
    rec.MeanWordLength = Mean(double(fLengthSum), double(fTokensUsed));
    rec.WordLengthStdDev = PopulationSd(double(fLengthSum), double(fLengthSquares), double(fTokensUsed));
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
