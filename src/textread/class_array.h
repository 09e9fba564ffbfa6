#pragma once
// The 16-bit character-class array that goes with every processed buffer.
//
// One value per UTF-16 unit of the buffer. Jobs (word lists, index,
// concordance) cut words and find text boundaries from it instead of looking
// at characters again, so it carries everything they need:
//
//   bit 11 (0x800) set    the unit belongs to a mark-up tag, its delimiters
//                         included; bits 0..10 hold the tag's number in the
//                         tag handler's table (1-based; 0: a tag not listed).
//   bit 11 clear          bits 0..4 the class code below, bits 5..10 and
//                         12..15 flags.
//
// Class codes:
//    0 space, control, a line break that ends nothing
//    1 letter (any script; combining marks; the settings' extra word characters)
//    2 digit
//    3 apostrophe joining two letters (when the settings keep apostrophes in words)
//    4 hyphen joining two letters (when hyphens do not separate words)
//    5 punctuation or symbol
//    6 "." or "," between two digits (3.5, 1,000)
//   15 sentence end        (level 2): the sentence-end character
//   17 paragraph end       (level 3): the line break that ends the paragraph
//   19 heading end         (level 4): the line break (or first separator) after a heading
//   21 section end         (level 5): the line break before a section start,
//                                     and the separator put where selected text resumes
// A boundary code replaces the class code of the character it sits on; the
// flags are kept. The end of the text is a level-5 boundary that no
// character carries.
//
// A word is a run of units with codes 1, 2, 3, 4 or 6. Tags separate words.
//
// In the buffer itself the delimiters of tags are not "<" and ">" but the
// tag marks U+0019 (for "<") and U+0018 (for ">"), so that a "<" that came
// from "&lt;" or stood alone in the text is never taken for a tag.

#include "suite/search_buffer.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cv {

enum : uint16_t {
    kClassSpace = 0,
    kClassLetter = 1,
    kClassDigit = 2,
    kClassApostrophe = 3,
    kClassHyphen = 4,
    kClassPunctuation = 5,
    kClassNumberJoiner = 6,
    kClassSentenceEnd = 15,
    kClassParagraphEnd = 17,
    kClassHeadingEnd = 19,
    kClassSectionEnd = 21,

    kClassCodeMask = 0x001F,
    kFlagUpper = 0x0020,     // an upper-case or title-case letter
    kFlagInHeading = 0x0040, // the unit stands inside a heading

    kTagBit = 0x0800,
    kTagNumberMask = 0x07FF,
    kMaxTagNumber = 0x07FF,
};

// The tag marks that stand in the buffer for a tag's "<" and ">".
inline constexpr char16_t kTagMarkOpen = 0x0019;
inline constexpr char16_t kTagMarkClose = 0x0018;

inline constexpr bool IsTagClass(uint16_t c) { return (c & kTagBit) != 0; }
inline constexpr uint16_t TagNumberOf(uint16_t c) { return IsTagClass(c) ? uint16_t(c & kTagNumberMask) : 0; }
inline constexpr uint16_t ClassCode(uint16_t c) { return IsTagClass(c) ? 0 : uint16_t(c & kClassCodeMask); }

inline constexpr bool IsWordClass(uint16_t c)
{
    if (IsTagClass(c))
        return false;
    const uint16_t code = c & kClassCodeMask;
    return (code >= kClassLetter && code <= kClassHyphen) || code == kClassNumberJoiner;
}

// 2 sentence, 3 paragraph, 4 heading, 5 section or text; 0 for no boundary.
inline constexpr int BoundaryLevel(uint16_t c)
{
    switch (ClassCode(c)) {
    case kClassSentenceEnd: return 2;
    case kClassParagraphEnd: return 3;
    case kClassHeadingEnd: return 4;
    case kClassSectionEnd: return 5;
    default: return 0;
    }
}

inline constexpr uint16_t BoundaryCodeForLevel(int level)
{
    return level <= 1 ? 0 : level == 2 ? kClassSentenceEnd : level == 3 ? kClassParagraphEnd
                      : level == 4 ? kClassHeadingEnd : kClassSectionEnd;
}

// Puts a boundary on a non-tag unit, keeping its flags; a higher boundary
// already there stays. Tag units are left alone (false).
inline bool MarkBoundary(uint16_t& c, int level)
{
    if (IsTagClass(c))
        return false;
    if (BoundaryLevel(c) >= level)
        return true;
    c = uint16_t((c & ~kClassCodeMask) | BoundaryCodeForLevel(level));
    return true;
}

// One word found by the scanner.
struct TScannedWord {
    int32_t start = 0;      // index of its first unit
    int32_t length = 0;     // units
    int barrier = 0;        // highest boundary level passed since the previous word (0 none)
    uint16_t tagNumber = 0; // number of the last listed tag passed since the previous word (0 none)
    bool hasLetter = false; // false: digits (and number joiners) only
};

// Steps from `pos` to the next word of the class array; false when none is
// left. On return `pos` is just past the word.
bool NextWord(std::span<const uint16_t> classes, int32_t& pos, TScannedWord& word);

// Counts the words of a class array the way the reader counts them: every
// word with a letter, and numbers too when `withNumbers`.
int64_t CountWords(std::span<const uint16_t> classes, bool withNumbers);

// The layout to hand the suite's search engine for these class arrays
// (words with a letter count as running words, numbers too when `countNumbers`).
// suite/search_buffer.h's ShowTagMarks shows the tag marks as "<" and ">".
TClassArrayLayout TextClassArrayLayout(bool countNumbers);

} // namespace cv
