#include "suite/search_buffer.h"

#include <QChar>

#include <algorithm>

namespace cv {

namespace {

enum : uint16_t {
    kRowSpace = 0,
    kRowLetter = 1,
    kRowDigit = 2,
    kRowApostrophe = 3,
    kRowHyphen = 4,
    kRowPunct = 5,
    kRowNumberJoiner = 6,
    kRowTag = 0x0800,
};

constexpr int kMaxTagSpan = 1000;

bool isTagOpen(char16_t c) { return c == u'<' || c == char16_t(0x19); }
bool isTagClose(char16_t c) { return c == u'>' || c == char16_t(0x18); }
bool isApostrophe(char16_t c) { return c == u'\'' || c == u'\u2019' || c == u'\u02BC'; }
bool isHyphen(char16_t c) { return c == u'-' || c == u'\u2010' || c == u'\u2011'; }

uint16_t baseKind(char32_t cp, const TWordRules& rules, bool wildcardsAreLetters)
{
    if (wildcardsAreLetters && (cp == U'*' || cp == U'?'))
        return kRowLetter;
    if (cp < 0x10000 && !rules.extraWordCharacters.isEmpty() && rules.extraWordCharacters.contains(QChar(char16_t(cp))))
        return kRowLetter;
    if (QChar::isLetter(cp) || QChar::isMark(cp))
        return kRowLetter;
    if (QChar::isDigit(cp))
        return kRowDigit;
    if (QChar::isSpace(cp) || cp < 0x20)
        return kRowSpace;
    return kRowPunct;
}

} // namespace

void ShowTagMarks(std::u16string& text)
{
    for (char16_t& c : text) {
        if (c == char16_t(0x19))
            c = u'<';
        else if (c == char16_t(0x18))
            c = u'>';
    }
}

TClassArrayLayout TClassArrayLayout::Rows()
{
    TClassArrayLayout l;
    l.tagBit = kRowTag;
    l.tagNumberMask = 0x07FF;
    l.codeMask = 0x1F;
    l.wordCodes = (1u << kRowLetter) | (1u << kRowDigit) | (1u << kRowApostrophe) | (1u << kRowHyphen) | (1u << kRowNumberJoiner);
    l.letterCodes = 1u << kRowLetter;
    l.spaceCodes = 1u << kRowSpace;
    l.countNumbers = true;
    return l;
}

void ClassifyUnits(std::u16string_view text, const TWordRules& rules, bool wildcardsAreLetters, std::vector<uint16_t>& classes)
{
    const std::size_t n = text.size();
    classes.assign(n, kRowSpace);

    for (std::size_t i = 0; i < n;) {
        const char16_t c = text[i];
        if (isTagOpen(c)) {
            std::size_t j = i + 1;
            const std::size_t limit = std::min(n, i + 1 + kMaxTagSpan);
            while (j < limit && !isTagClose(text[j]) && !isTagOpen(text[j]))
                ++j;
            if (j < limit && isTagClose(text[j])) {
                std::fill(classes.begin() + std::ptrdiff_t(i), classes.begin() + std::ptrdiff_t(j + 1), uint16_t(kRowTag));
                i = j + 1;
                continue;
            }
        }
        char32_t cp = c;
        std::size_t units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1])) {
            cp = QChar::surrogateToUcs4(c, text[i + 1]);
            units = 2;
        }
        const uint16_t kind = baseKind(cp, rules, wildcardsAreLetters);
        for (std::size_t k = 0; k < units; ++k)
            classes[i + k] = kind;
        i += units;
    }

    // Joiners: decided from the plain kinds of both neighbours.
    auto kindAt = [&](std::size_t i) { return classes[i]; };
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (classes[i] != kRowPunct)
            continue;
        const char16_t c = text[i];
        const uint16_t before = kindAt(i - 1), after = kindAt(i + 1);
        if (isApostrophe(c) && rules.apostrophesInWords && before == kRowLetter && after == kRowLetter)
            classes[i] = kRowApostrophe;
        else if (isHyphen(c) && !rules.hyphensSeparateWords && before == kRowLetter && after == kRowLetter)
            classes[i] = kRowHyphen;
        else if ((c == u'.' || c == u',') && before == kRowDigit && after == kRowDigit)
            classes[i] = kRowNumberJoiner;
    }
}

TSearchBuffer::TSearchBuffer(std::u16string_view text, std::span<const uint16_t> classes, const TClassArrayLayout& layout)
{
    Assign(text, classes, layout);
}

void TSearchBuffer::Assign(std::u16string_view text, std::span<const uint16_t> classes, const TClassArrayLayout& layout)
{
    const std::size_t n = std::min(text.size(), classes.size());
    m_text = text.substr(0, n);
    m_classes = classes.first(n);
    m_layout = layout;
    tokenize();
}

void TSearchBuffer::AssignRow(std::u16string_view text, const TWordRules& rules, bool wildcardsAreLetters)
{
    m_ownText.assign(text);
    ClassifyUnits(m_ownText, rules, wildcardsAreLetters, m_ownClasses);
    m_text = m_ownText;
    m_classes = m_ownClasses;
    m_layout = TClassArrayLayout::Rows();
    tokenize();
}

void TSearchBuffer::tokenize()
{
    m_tokens.clear();
    m_runningWords = 0;
    const auto n = int32_t(m_text.size());
    const uint16_t tagBit = m_layout.tagBit;
    const uint16_t codeMask = m_layout.codeMask;
    const uint32_t wordCodes = m_layout.wordCodes;
    const uint32_t letterCodes = m_layout.letterCodes;
    const uint32_t spaceCodes = m_layout.spaceCodes;
    const uint16_t* cls = m_classes.data();
    const char16_t* txt = m_text.data();

    uint8_t barrier = 0;
    bool gapPunct = false;
    uint16_t lastTag = 0;
    int32_t words = 0;
    m_tokens.reserve(std::size_t(n / 5 + 16));

    int32_t i = 0;
    while (i < n) {
        const uint16_t c = cls[i];
        if (c & tagBit) {
            const int32_t s = i++;
            // A run of mark-up units may hold several tags back to back.
            while (i < n && (cls[i] & tagBit) && !isTagOpen(txt[i]))
                ++i;
            TSearchToken t;
            t.start = s;
            t.length = i - s;
            t.wordIndex = words;
            t.tagNumber = uint16_t(c & m_layout.tagNumberMask);
            t.flags = uint8_t(TSearchToken::kTag | (gapPunct ? TSearchToken::kGapPunct : 0));
            t.barrier = barrier;
            m_tokens.push_back(t);
            if (t.tagNumber)
                lastTag = t.tagNumber;
            barrier = 0;
            gapPunct = false;
            continue;
        }
        const uint16_t code = c & codeMask;
        if ((wordCodes >> code) & 1u) {
            const int32_t s = i;
            uint32_t letters = 0;
            while (i < n) {
                const uint16_t c2 = cls[i];
                const uint16_t code2 = c2 & codeMask;
                if ((c2 & tagBit) || !((wordCodes >> code2) & 1u))
                    break;
                letters |= (letterCodes >> code2) & 1u;
                ++i;
            }
            const bool counted = letters || m_layout.countNumbers;
            TSearchToken t;
            t.start = s;
            t.length = i - s;
            t.wordIndex = words;
            t.tagNumber = lastTag;
            t.flags = uint8_t((counted ? TSearchToken::kCounted : 0) | (letters ? TSearchToken::kHasLetter : 0)
                              | (gapPunct ? TSearchToken::kGapPunct : 0));
            t.barrier = barrier;
            m_tokens.push_back(t);
            words += counted ? 1 : 0;
            lastTag = 0;
            barrier = 0;
            gapPunct = false;
            continue;
        }
        const uint8_t level = m_layout.boundaryLevels[code];
        if (level > barrier)
            barrier = level;
        if (!((spaceCodes >> code) & 1u))
            gapPunct = true;
        ++i;
    }
    m_runningWords = words;
    m_trailingBarrier = barrier;
}

int32_t TSearchBuffer::FirstTokenFrom(int32_t unit) const
{
    const auto it = std::lower_bound(m_tokens.begin(), m_tokens.end(), unit,
                                     [](const TSearchToken& t, int32_t u) { return t.start < u; });
    return int32_t(it - m_tokens.begin());
}

std::u16string TSearchBuffer::GapPunctuation(int32_t from, int32_t to, int* maxLevel, std::vector<int32_t>* where) const
{
    std::u16string out;
    int level = 0;
    from = std::max(from, 0);
    to = std::min(to, int32_t(m_text.size()));
    for (int32_t i = from; i < to; ++i) {
        const uint16_t c = m_classes[std::size_t(i)];
        if (m_layout.tagBit && (c & m_layout.tagBit))
            continue;
        const uint16_t code = c & m_layout.codeMask;
        level = std::max<int>(level, m_layout.boundaryLevels[code]);
        if ((m_layout.spaceCodes >> code) & 1u)
            continue;
        out.push_back(m_text[std::size_t(i)]);
        if (where)
            where->push_back(i);
    }
    if (maxLevel)
        *maxLevel = level;
    return out;
}

} // namespace cv
