#include "suite/search_buffer.h"

#include <QChar>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Category bits of a class value.
enum : uint8_t {
    kCatWord = 1,   // part of a word
    kCatLetter = 2, // a letter (the word has letters)
    kCatTag = 4,    // part of a mark-up tag
    kCatGap = 8,    // between words and not plain space
    kCatLevelShift = 4, // bits 4..6: boundary level
};

void buildCategories(const TClassArrayLayout& l, TSearchBuffer::TCategoryTable& t)
{
    for (uint32_t v = 0; v < 65536; ++v) {
        if (l.tagBit && (v & l.tagBit)) {
            t[v] = kCatTag;
            continue;
        }
        const uint32_t code = v & l.codeMask;
        if (code >= 32) {
            t[v] = kCatGap;
            continue;
        }
        uint8_t c = 0;
        if ((l.wordCodes >> code) & 1u) {
            c = kCatWord | (((l.letterCodes >> code) & 1u) ? kCatLetter : 0);
        } else {
            if (!((l.spaceCodes >> code) & 1u))
                c |= kCatGap;
            c |= uint8_t(std::min<int>(l.boundaryLevels[code], 7) << kCatLevelShift);
        }
        t[v] = c;
    }
}

uint64_t lowBits(int k) { return k >= 64 ? ~uint64_t(0) : (uint64_t(1) << k) - 1; }

// The tokenizer's state between units (and between blocks of units).
struct Cutter {
    std::vector<TSearchToken>& tokens;
    const char16_t* text;
    const uint16_t* classes;
    uint16_t tagNumberMask;
    bool countNumbers;

    bool inWord = false, inTag = false;
    int32_t start = 0;
    uint8_t letters = 0;
    uint16_t tagNumber = 0;
    uint8_t barrier = 0;       // of the gap being passed
    bool gapPunct = false;
    uint8_t openBarrier = 0;   // of the gap before the open token
    bool openGapPunct = false;
    uint16_t lastTag = 0;
    int32_t words = 0;

    [[gnu::always_inline]] void open(int32_t i)
    {
        start = i;
        openBarrier = barrier;
        openGapPunct = gapPunct;
        barrier = 0;
        gapPunct = false;
    }
    [[gnu::always_inline]] void openWord(int32_t i)
    {
        open(i);
        inWord = true;
        letters = 0;
    }
    [[gnu::always_inline]] void closeWord(int32_t end)
    {
        const bool counted = letters || countNumbers;
        TSearchToken t;
        t.start = start;
        t.length = end - start;
        t.wordIndex = words;
        t.tagNumber = lastTag;
        t.flags = uint8_t((counted ? TSearchToken::kCounted : 0) | (letters ? TSearchToken::kHasLetter : 0)
                          | (openGapPunct ? TSearchToken::kGapPunct : 0));
        t.barrier = openBarrier;
        tokens.push_back(t);
        words += counted ? 1 : 0;
        lastTag = 0;
        inWord = false;
    }
    void openTag(int32_t i)
    {
        open(i);
        inTag = true;
        tagNumber = uint16_t(classes[i] & tagNumberMask);
    }
    void closeTag(int32_t end)
    {
        TSearchToken t;
        t.start = start;
        t.length = end - start;
        t.wordIndex = words;
        t.tagNumber = tagNumber;
        t.flags = uint8_t(TSearchToken::kTag | (openGapPunct ? TSearchToken::kGapPunct : 0));
        t.barrier = openBarrier;
        tokens.push_back(t);
        if (tagNumber)
            lastTag = tagNumber;
        inTag = false;
    }

    // One unit; the reference every faster path must agree with.
    void unit(int32_t i, uint8_t cat)
    {
        if (cat & kCatTag) {
            if (inWord)
                closeWord(i);
            if (inTag) {
                if (!isTagOpen(text[i]))
                    return;
                closeTag(i);
            }
            openTag(i);
            return;
        }
        if (inTag)
            closeTag(i);
        if (cat & kCatWord) {
            if (!inWord)
                openWord(i);
            letters |= cat & kCatLetter;
            return;
        }
        if (inWord)
            closeWord(i);
        barrier = std::max<uint8_t>(barrier, uint8_t(cat >> kCatLevelShift));
        gapPunct = gapPunct || (cat & kCatGap);
    }

    // 64 units without mark-up, given as bit masks: word units, letters,
    // gap units other than space, boundary units. Steps from token edge to
    // token edge instead of from unit to unit.
    void block(int32_t base, const uint8_t* cats, uint64_t w, uint64_t l, uint64_t g, uint64_t b)
    {
        if (inTag)
            closeTag(base);
        int pos = 0;
        if (inWord) {
            const uint64_t rest = ~w;
            if (rest == 0) {
                letters |= l ? kCatLetter : 0;
                return;
            }
            pos = __builtin_ctzll(rest);
            letters |= (l & lowBits(pos)) ? kCatLetter : 0;
            closeWord(base + pos);
        }
        // Each turn passes one gap and then one whole word, so the branches
        // taken do not alternate with the tokens.
        for (;;) {
            const uint64_t rest = w >> pos;
            const int k = rest ? __builtin_ctzll(rest) : 64 - pos;
            const uint64_t gap = lowBits(k) << pos;
            gapPunct |= (g & gap) != 0;
            for (uint64_t bb = b & gap; bb; bb &= bb - 1)
                barrier = std::max<uint8_t>(barrier, uint8_t(cats[__builtin_ctzll(bb)] >> kCatLevelShift));
            if (!rest)
                return;
            const int s = pos + k;
            openWord(base + s);
            const uint64_t after = ~w >> s;
            if (!after) {
                letters = (l >> s) ? kCatLetter : 0;
                return;
            }
            const int e = s + __builtin_ctzll(after);
            letters = ((l >> s) & lowBits(e - s)) ? kCatLetter : 0;
            closeWord(base + e);
            pos = e;
        }
    }
};

} // namespace

const TSearchBuffer::TCategoryTable& TSearchBuffer::categories()
{
    // Rows and typed search words all share one table.
    static const TClassArrayLayout rows = TClassArrayLayout::Rows();
    if (m_layout == rows) {
        static const auto rowsTable = [] {
            auto t = std::make_unique<TCategoryTable>();
            buildCategories(rows, *t);
            return t;
        }();
        return *rowsTable;
    }
    if (!m_table || !(m_tableLayout == m_layout)) {
        if (!m_table)
            m_table = std::make_unique<TCategoryTable>();
        buildCategories(m_layout, *m_table);
        m_tableLayout = m_layout;
    }
    return *m_table;
}

void TSearchBuffer::tokenize()
{
    m_tokens.clear();
    const auto n = int32_t(m_text.size());
    const TCategoryTable& table = categories();
    m_tokens.reserve(std::size_t(n / 5 + 16));
    Cutter cut{m_tokens, m_text.data(), m_classes.data(), m_layout.tagNumberMask, m_layout.countNumbers};
    const uint16_t* cls = m_classes.data();

    // Categories are looked up for a stretch of units at a time, so that the
    // vector loads below never wait on the byte stores just made.
    constexpr int kStretch = 1024;
    alignas(16) uint8_t stretch[kStretch];
    int32_t i = 0;
    while (i + 64 <= n) {
        const int units = int(std::min<int32_t>(kStretch, (n - i) & ~63));
        for (int j = 0; j < units; ++j)
            stretch[j] = table[cls[i + j]];
        for (int off = 0; off < units; off += 64, i += 64) {
            const uint8_t* cats = stretch + off;
            uint64_t w = 0, l = 0, g = 0, b = 0, t = 0;
#if defined(__SSE2__)
            for (int q = 0; q < 4; ++q) {
                const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(cats + 16 * q));
                const int shift = 16 * q;
                // movemask takes bit 7 of each byte: shift the wanted bit there.
                w |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_slli_epi16(v, 7)))) << shift;
                l |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_slli_epi16(v, 6)))) << shift;
                t |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_slli_epi16(v, 5)))) << shift;
                g |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_slli_epi16(v, 4)))) << shift;
                const __m128i none = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(0x70)), _mm_setzero_si128());
                b |= uint64_t(uint32_t(~_mm_movemask_epi8(none)) & 0xFFFFu) << shift;
            }
#else
            for (int j = 0; j < 64; ++j) {
                const uint64_t bit = uint64_t(1) << j;
                w |= (cats[j] & kCatWord) ? bit : 0;
                l |= (cats[j] & kCatLetter) ? bit : 0;
                t |= (cats[j] & kCatTag) ? bit : 0;
                g |= (cats[j] & kCatGap) ? bit : 0;
                b |= (cats[j] >> kCatLevelShift) ? bit : 0;
            }
#endif
            if (t) {
                for (int j = 0; j < 64; ++j)
                    cut.unit(i + j, cats[j]);
            } else {
                cut.block(i, cats, w, l, g, b);
            }
        }
    }
    for (; i < n; ++i)
        cut.unit(i, table[cls[i]]);
    if (cut.inWord)
        cut.closeWord(n);
    if (cut.inTag)
        cut.closeTag(n);
    m_runningWords = cut.words;
    m_trailingBarrier = cut.barrier;
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
