#pragma once
// The per-text statistics of a word-list run, gathered as the words of the
// text go by (one call per word, nothing kept per word):
//
// - running words: words with a letter, and numbers when the settings keep
//   them (the words the text reader counts);
// - tokens used: running words that went into the word list (not stop-list
//   words, within the word-length limits); word lengths are theirs;
// - sentences, paragraphs, headings and sections: stretches of running words
//   between the boundaries the text reader marks (a higher boundary ends the
//   lower units too); their lengths are in running words; a heading is a
//   paragraph whose words stand inside a heading; sections are counted only
//   when the settings mark sections (a section-start marker or a text
//   selection), and the stretch before the first marker is a section too;
// - the standardised type/token ratio: the mean, over the consecutive chunks
//   of `basis` tokens used, of each chunk's types / tokens x 100, with the
//   standard deviation over the chunks; the last, incomplete chunk is left
//   out, and a text shorter than one chunk takes its plain ratio.
// Standard deviations are of the population (n in the divisor).

#include "model/stats_list.h"

#include <array>
#include <cstdint>

namespace cv {

class TTextStatisticsBuilder {
public:
    TTextStatisticsBuilder(int32_t sttrBasis, bool countSections);

    // A running word, after the highest boundary level passed since the
    // previous word (0 none, 2 sentence, 3 paragraph, 4 heading, 5 section).
    // Called for every word: a unit's length is the running words since it
    // began, worked out when it ends.
    void RunningWord(int barrier, bool inHeading)
    {
        if (barrier >= 2)
            CloseUnits(barrier);
        if (fRunningWords == fParagraph.start)
            fParagraphIsHeading = inHeading;
        ++fRunningWords;
    }
    // A word that is no running word (a number the settings remove, a word
    // longer than any a list keeps): the boundaries before it end the units
    // before it all the same, as they would have with a running word there.
    void NotARunningWord(int barrier)
    {
        if (barrier >= 2)
            CloseUnits(barrier);
    }
    void NumberRemoved(int barrier)
    {
        NotARunningWord(barrier);
        ++fNumbersRemoved;
    }
    void StopTokenRemoved() { ++fStopTokens; }
    // A token that went into the list: its length in characters, and
    // whether its type is new to the current standardised-TTR chunk. True
    // when the token completed a chunk (the caller starts a new one). The
    // sums of the lengths are taken from their counts at the end.
    bool TokenUsed(int32_t characters, bool newInChunk)
    {
        ++fTokensUsed;
        if (characters >= 1 && characters < TStatsRec::kLengthClasses)
            ++fLengths[std::size_t(characters - 1)];
        else
            OtherLength(characters);
        fChunkTypes += newInChunk ? 1 : 0;
        if (--fChunkLeft > 0)
            return false;
        EndChunk();
        return true;
    }

    int64_t RunningWords() const { return fRunningWords; }
    int64_t TokensUsed() const { return fTokensUsed; }

    // Ends the text and fills the record's counted columns (everything but
    // the name, file, bytes and the type counts, which the caller knows).
    void Finish(TStatsRec& rec, int64_t types, int64_t stopTypes);

private:
    struct TUnit {
        int64_t start = 0; // running words before the unit under way
        int64_t count = 0;
        double sum = 0;
        double squares = 0;
        int64_t Current(int64_t running) const { return running - start; }
        void Close(int64_t running)
        {
            const int64_t current = running - start;
            if (current == 0)
                return;
            ++count;
            sum += double(current);
            squares += double(current) * double(current);
            start = running;
        }
    };
    void CloseUnits(int level);
    void OtherLength(int32_t characters);
    void EndChunk();

    int32_t fBasis;
    bool fCountSections;
    int64_t fRunningWords = 0, fTokensUsed = 0, fNumbersRemoved = 0, fStopTokens = 0;
    // Tokens by length class (the last: 14 or more, or none); the lengths of
    // those in the last class summed apart, exactly, in whole characters.
    std::array<int64_t, TStatsRec::kLengthClasses> fLengths{};
    int64_t fOtherLengthSum = 0, fOtherLengthSquares = 0;
    int64_t fNoLength = 0; // of them, those in the first class (no character)
    TUnit fSentence, fParagraph, fSection;
    bool fParagraphIsHeading = false;
    int64_t fHeadings = 0, fHeadingWords = 0;
    int64_t fChunkLeft = 0, fChunkTypes = 0, fChunks = 0; // tokens to the end of the chunk
    double fSttrSum = 0, fSttrSquares = 0;
};

} // namespace cv
