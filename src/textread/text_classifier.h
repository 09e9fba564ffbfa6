#pragma once
// Second step of processing a chunk: the character-class array of the
// processed buffer (see class_array.h), with words counted and the sentence,
// paragraph, heading and section boundaries found. State that spans chunks
// (a heading still open, whether the line just ended) is kept between calls.

#include "suite/text_settings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

class TTextTagHandler;

// Counts of one text (or of one chunk).
struct TOneFilesStats {
    int32_t Words = 0;      // running words: words with a letter, and numbers when the settings keep them
    int32_t Sentences = 0;
    int32_t Paragraphs = 0;
    int32_t Headings = 0;
    int32_t Sections = 0;   // section starts found (lines starting with the section marker)
    int32_t Tags = 0;       // tags kept in the buffer
    int64_t Characters = 0; // units of the processed buffers

    void Add(const TOneFilesStats& o)
    {
        Words += o.Words;
        Sentences += o.Sentences;
        Paragraphs += o.Paragraphs;
        Headings += o.Headings;
        Sections += o.Sections;
        Tags += o.Tags;
        Characters += o.Characters;
    }
};

// How the classifier's blocks of ASCII text (see SetAsciiBlocks) treat
// punctuation, made from the kinds table: marks of the plain punctuation kind
// end a word; the apostrophe and the hyphen (where they may join letters) and
// "," and "." (where they are number separators) join or end a word as the
// units beside them say; any other mark (a sentence end, an extra word
// character) stops the block and goes the general way. With AVX2 or AVX-512,
// sentence ends are settled in the block too (see SetWideBlocks).
struct TAsciiBlockRules {
    char16_t apostrophe = 0, hyphen = 0; // the joiner, or 0 where it does not join
    char16_t comma = 0, dot = 0;         // the number separator, or 0 where it is none
    char16_t stops[4] = {};              // marks that stop a block; 0: none
    bool punctuation = false;            // false: every mark stops a block (there are more stops than fit)
    // The same for AVX2 and AVX-512, as bitmaps over the ASCII characters
    // (any number of stops): bit h of byte l stands for the character 16 h + l.
    uint8_t rowBits[16] = {};            // the bit of each row (high nibble)
    uint8_t settledMarks[16] = {};       // marks a block settles: plain punctuation, joiners, sentence ends
    uint8_t letterJoiners[16] = {};
    uint8_t digitJoiners[16] = {};       // number separators, also as sentence ends (between digits)
    uint8_t sentenceEnds[16] = {};
};

// The only units that join two digits into one number ("3.5", "1,000"),
// whatever kind the settings give them.
constexpr bool JoinsDigits(char16_t c) { return c == u'.' || c == u','; }

class TTextClassifier {
public:
    // `tagMarks`: the buffer's tag marks delimit tags (mark-up is on, or the
    // text was pre-parsed). Combining marks always count as letters.
    TTextClassifier(const TTextSettings& settings, const TTextTagHandler& handler, bool tagMarks);
    ~TTextClassifier();

    void StartText();
    // Stretches of ASCII letters, digits, blanks and punctuation that only
    // ends or joins words are classified in blocks of 64 units when the
    // settings leave letters, digits and the blank their usual kinds; off,
    // every unit goes one by one and every punctuation mark through the
    // general steps (the same result, for tests).
    void SetAsciiBlocks(bool on) { m_asciiBlocks = on && m_asciiBlocksPossible; }
    bool AsciiBlocks() const { return m_asciiBlocks; }
    // The blocks use AVX2 where the processor has it, and then also settle
    // sentence ends and the line breaks that only end a paragraph; off, they
    // keep to SSE2 (the same result, for tests).
    void SetWideBlocks(bool on) { m_wideBlocks = on && m_wideBlocksPossible; }
    bool WideBlocks() const { return m_wideBlocks; }
    // With the wide blocks on, they go 512 bits at a time where the
    // processor has AVX-512 (F and BW); off, 256 (the same result, for tests).
    void SetWidestBlocks(bool on) { m_widestBlocks = on && m_widestBlocksPossible; }
    bool WidestBlocks() const { return m_widestBlocks; }

    // Fills classes[0, text.size()). `lookahead` is the decoded text that
    // follows the chunk (not yet processed; empty at the end of the text),
    // consulted for boundaries at the chunk's end. `tagNumbers`, when given,
    // holds the number of each tag of the chunk in order; otherwise the
    // handler is asked. `forced`: indexes of separators that end a section.
    void Classify(std::u16string_view text, std::u16string_view lookahead, bool finalChunk,
                  const std::vector<uint16_t>* tagNumbers, const std::vector<int32_t>& forced, uint16_t* classes,
                  std::vector<int32_t>& sectionStarts, TOneFilesStats& stats);

    // The lexical kind of each UTF-16 unit, as the table gives it (for tests
    // and for the chunk cutter).
    enum Kind : uint8_t {
        kLower = 0, kUpper, kOtherLetter, kDigit, // word units
        kSpace,
        kPunct, kApostrophe, kHyphen, kSentenceEnd, kLineBreak,
        kHighSurrogate, kLowSurrogate, kTagOpen, kTagClose, kNumberSep,
        kJoiner, // ZWJ, ZWNJ: a letter between two letters, else punctuation
    };
    Kind KindOf(char16_t c) const { return Kind((*m_kinds)[c]); }

private:
    struct Run;
    int32_t slowPath(Run& r, int32_t i);
    void handleLineBreak(Run& r, int32_t i, int32_t breakIndex);
    int32_t handleTag(Run& r, int32_t i);
    void endUnit(Run& r, int level, int32_t index);
    void confirmSentence(Run& r);
    void wordStarts(Run& r, uint8_t kind, bool sawSpace);
    void resolvePendingAtChunkEnd(Run& r);
    enum class Answer { No, Yes, Unknown }; // Unknown: the text at hand ends first
    Answer lineStartsWithMarker(const Run& r, int64_t from, int64_t* markerAt) const;
    bool nextLineIsBlank(const Run& r, int64_t from) const;
    bool nextIsLetter(const Run& r, int64_t i) const;

    std::unique_ptr<std::array<uint8_t, 65536>> m_kinds;
    const TTextTagHandler& m_handler;
    bool m_apostrophes, m_hyphensJoin, m_keepNumbers, m_blankLineParagraphs, m_tagMarks;
    bool m_asciiBlocksPossible; // ASCII letters, digits and the blank have their usual kinds
    bool m_asciiBlocks;
    TAsciiBlockRules m_blockRules;
    bool m_wideBlocksPossible, m_wideBlocks;
    bool m_widestBlocksPossible, m_widestBlocks;
    int32_t m_maxTagSpan;
    std::u16string m_sectionMarker;       // folded to lower case
    std::u16string m_headingStart, m_headingEnd; // tag names, lower case

    // Text state.
    bool m_inWord = false, m_letterSeen = false;
    bool m_contentSinceSentence = false, m_contentSinceParagraph = false;
    bool m_inHeading = false;
    bool m_atLineStart = true;
    bool m_sawSpace = false;
    int32_t m_pendingSentence = -1;
};

} // namespace cv
