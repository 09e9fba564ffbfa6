#pragma once
// The text a search runs over: UTF-16 units with their 16-bit character
// classes, cut once into tokens (words and mark-up tags) that every search
// word and every engine sharing the buffer then walks.
//
// The engine does not own the meaning of the class codes: the text reader
// defines them, and its user describes them to the engine in a
// TClassArrayLayout (which bits mark tags, which codes are word units,
// letters, plain space, and which are text boundaries of which level).
// Grid rows and typed search words have no class array; ClassifyUnits makes
// one for them with the rows layout (TClassArrayLayout::Rows).

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

struct TClassArrayLayout {
    uint16_t tagBit = 0;         // units with this bit belong to mark-up (0: no mark-up)
    uint16_t tagNumberMask = 0;  // bits of a tag unit holding its listed tag number
    uint16_t codeMask = 0x1F;    // bits of any other unit holding its class code (0 ... 31)
    uint32_t wordCodes = 0;      // bit k set: code k is part of a word
    uint32_t letterCodes = 0;    // bit k set: code k makes its word a word with letters
    uint32_t spaceCodes = 1;     // bit k set: code k is plain space (nothing else between words)
    std::array<uint8_t, 32> boundaryLevels{}; // text-boundary level of each code: 0 none, 2 ... 5
    bool countNumbers = true;    // words without letters count as running words

    bool operator==(const TClassArrayLayout&) const = default;

    // The codes ClassifyUnits writes: 0 space, 1 letter, 2 digit, 3 joining
    // apostrophe, 4 joining hyphen, 5 punctuation or symbol, 6 "." or ","
    // between digits; mark-up units carry bit 11 (0x800). No boundaries.
    static TClassArrayLayout Rows();
};

// How words are cut where the engine cuts them itself (grid rows, typed
// search words). The same choices as the text settings.
struct TWordRules {
    bool apostrophesInWords = true;  // "don't" is one word
    bool hyphensSeparateWords = false; // clear: "well-known" is one word
    QString extraWordCharacters;     // counted as letters wherever they stand
};

// Fills classes (one per unit of text) with the rows layout's codes. A "<"
// (or the tag mark U+0019) followed by its ">" (or U+0018) before the next
// "<" and within 1000 units is mark-up. With wildcardsAreLetters, "*" and "?"
// are letters (typed search words); otherwise they are punctuation.
void ClassifyUnits(std::u16string_view text, const TWordRules& rules, bool wildcardsAreLetters,
                   std::vector<uint16_t>& classes);

// Shows the tag marks U+0019 and U+0018 of processed text as "<" and ">".
void ShowTagMarks(std::u16string& text);

// One word or one mark-up tag of the buffer.
struct TSearchToken {
    enum : uint8_t {
        kTag = 1,       // a mark-up tag (else a word)
        kCounted = 2,   // a word that counts as a running word
        kHasLetter = 4, // a word with at least one letter unit
        kGapPunct = 8,  // the gap before the token holds units other than plain space
    };
    int32_t start = 0;
    int32_t length = 0;
    int32_t wordIndex = 0;  // running words of the buffer before this token
    uint16_t tagNumber = 0; // a tag: its listed number; a word: the last listed tag passed since the previous word
    uint8_t flags = 0;
    uint8_t barrier = 0;    // highest boundary level in the gap before the token (0 none)

    bool IsTag() const { return flags & kTag; }
    bool IsCounted() const { return flags & kCounted; }
    int32_t End() const { return start + length; }
};

class TSearchBuffer {
public:
    TSearchBuffer() = default;
    // The text and classes must stay alive and unchanged while the buffer
    // is searched; when the class array is shorter, the text is cut to it.
    TSearchBuffer(std::u16string_view text, std::span<const uint16_t> classes, const TClassArrayLayout& layout);

    // Re-cuts the buffer over new text (keeps the memory of the token array).
    void Assign(std::u16string_view text, std::span<const uint16_t> classes, const TClassArrayLayout& layout);
    // A grid row or a typed search word: classified with the rows layout into
    // the buffer's own copy of the text.
    void AssignRow(std::u16string_view text, const TWordRules& rules, bool wildcardsAreLetters = false);

    std::u16string_view Text() const { return m_text; }
    std::span<const uint16_t> Classes() const { return m_classes; }
    const TClassArrayLayout& Layout() const { return m_layout; }
    const std::vector<TSearchToken>& Tokens() const { return m_tokens; }
    int32_t RunningWords() const { return m_runningWords; }
    // Highest boundary level after the last token.
    uint8_t TrailingBarrier() const { return m_trailingBarrier; }

    // First token that starts at or after the unit.
    int32_t FirstTokenFrom(int32_t unit) const;
    std::u16string_view TokenText(const TSearchToken& t) const { return m_text.substr(std::size_t(t.start), std::size_t(t.length)); }

    // The units of [from, to) that are neither plain space nor mark-up nor
    // part of a word, in order, as found (punctuation, symbols, sentence-end
    // characters). maxLevel gets the highest boundary level among them.
    std::u16string GapPunctuation(int32_t from, int32_t to, int* maxLevel = nullptr, std::vector<int32_t>* where = nullptr) const;

    bool IsTagUnit(int32_t i) const { return m_layout.tagBit && (m_classes[std::size_t(i)] & m_layout.tagBit); }

    // One byte per class value: what the tokenizer needs to know of it.
    using TCategoryTable = std::array<uint8_t, 65536>;

private:
    void tokenize();
    const TCategoryTable& categories();

    std::u16string_view m_text;
    std::span<const uint16_t> m_classes;
    TClassArrayLayout m_layout;
    std::vector<TSearchToken> m_tokens;
    int32_t m_runningWords = 0;
    uint8_t m_trailingBarrier = 0;
    std::unique_ptr<TCategoryTable> m_table; // built for m_tableLayout
    TClassArrayLayout m_tableLayout;
    // Own storage for rows.
    std::u16string m_ownText;
    std::vector<uint16_t> m_ownClasses;
};

} // namespace cv
