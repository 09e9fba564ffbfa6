#include "textread/class_array.h"

namespace cv {

bool NextWord(std::span<const uint16_t> classes, int32_t& pos, TScannedWord& word)
{
    const auto n = int32_t(classes.size());
    int barrier = 0;
    uint16_t tag = 0;
    int32_t i = pos < 0 ? 0 : pos;
    while (i < n && !IsWordClass(classes[std::size_t(i)])) {
        const uint16_t c = classes[std::size_t(i)];
        if (IsTagClass(c)) {
            if (const uint16_t t = TagNumberOf(c))
                tag = t;
        } else if (const int level = BoundaryLevel(c); level > barrier) {
            barrier = level;
        }
        ++i;
    }
    if (i >= n) {
        pos = n;
        return false;
    }
    word.start = i;
    word.barrier = barrier;
    word.tagNumber = tag;
    word.hasLetter = false;
    while (i < n && IsWordClass(classes[std::size_t(i)])) {
        const uint16_t code = classes[std::size_t(i)] & kClassCodeMask;
        word.hasLetter |= code == kClassLetter;
        ++i;
    }
    word.length = i - word.start;
    pos = i;
    return true;
}

int64_t CountWords(std::span<const uint16_t> classes, bool withNumbers)
{
    int64_t words = 0;
    int32_t pos = 0;
    TScannedWord w;
    while (NextWord(classes, pos, w))
        words += (w.hasLetter || withNumbers) ? 1 : 0;
    return words;
}

TClassArrayLayout TextClassArrayLayout(bool countNumbers)
{
    TClassArrayLayout l;
    l.tagBit = kTagBit;
    l.tagNumberMask = kTagNumberMask;
    l.codeMask = kClassCodeMask;
    l.wordCodes = (1u << kClassLetter) | (1u << kClassDigit) | (1u << kClassApostrophe) | (1u << kClassHyphen) |
                  (1u << kClassNumberJoiner);
    l.letterCodes = 1u << kClassLetter;
    l.spaceCodes = 1u << kClassSpace;
    l.boundaryLevels[kClassSentenceEnd] = 2;
    l.boundaryLevels[kClassParagraphEnd] = 3;
    l.boundaryLevels[kClassHeadingEnd] = 4;
    l.boundaryLevels[kClassSectionEnd] = 5;
    l.countNumbers = countNumbers;
    return l;
}

} // namespace cv
