#include "textread/text_classifier.h"

#include "textread/class_array.h"
#include "textread/markup_pass.h"
#include "textread/tag_handler.h"

#include <QChar>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cv {

namespace {

using Kinds = std::array<uint8_t, 65536>;

uint8_t kindForCategory(QChar::Category cat)
{
    switch (cat) {
    case QChar::Letter_Lowercase: return TTextClassifier::kLower;
    case QChar::Letter_Uppercase:
    case QChar::Letter_Titlecase: return TTextClassifier::kUpper;
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_Letter:
    case QChar::Other_PrivateUse: return TTextClassifier::kOtherLetter;
    case QChar::Number_DecimalDigit:
    case QChar::Number_Other: return TTextClassifier::kDigit;
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control: return TTextClassifier::kSpace;
    default: return TTextClassifier::kPunct;
    }
}

// What every text shares: the kinds from the Unicode categories.
const Kinds& baseKinds()
{
    static const Kinds table = [] {
        Kinds t;
        for (uint32_t c = 0; c < 0x10000; ++c)
            t[c] = kindForCategory(QChar::category(char32_t(c)));
        for (uint32_t c = 0xD800; c <= 0xDBFF; ++c)
            t[c] = TTextClassifier::kHighSurrogate;
        for (uint32_t c = 0xDC00; c <= 0xDFFF; ++c)
            t[c] = TTextClassifier::kLowSurrogate;
        for (const char16_t c : {u'\n', u'\r', u'\v', u'\f', char16_t(0x85), char16_t(0x2028), char16_t(0x2029)})
            t[c] = TTextClassifier::kLineBreak;
        for (const char16_t c : {char16_t(0x200B), char16_t(0xFEFF), char16_t(0x2060), char16_t(0x200E), char16_t(0x200F)})
            t[c] = TTextClassifier::kSpace;
        for (char16_t c = 0x202A; c <= 0x202E; ++c)
            t[c] = TTextClassifier::kSpace;
        for (char16_t c = 0x2066; c <= 0x2069; ++c)
            t[c] = TTextClassifier::kSpace;
        t[0x200C] = t[0x200D] = TTextClassifier::kOtherLetter; // joiners stay inside words
        for (const char16_t c : {u'\'', char16_t(0x2019)})
            t[c] = TTextClassifier::kApostrophe;
        for (const char16_t c : {u'-', char16_t(0x2010), char16_t(0x2011), char16_t(0x00AD)})
            t[c] = TTextClassifier::kHyphen;
        t[u'.'] = t[u','] = TTextClassifier::kNumberSep;
        return t;
    }();
    return table;
}

inline bool isWordKind(uint8_t k) { return k <= TTextClassifier::kDigit; }
inline bool isLetterKind(uint8_t k) { return k <= TTextClassifier::kOtherLetter; }

// Classes of the kinds up to kSpace.
constexpr uint16_t kKindClass[5] = {kClassLetter, uint16_t(kClassLetter | kFlagUpper), kClassLetter, kClassDigit, kClassSpace};

inline char16_t foldUnit(char16_t c)
{
    if (c == kTagMarkOpen)
        return u'<';
    if (c == kTagMarkClose)
        return u'>';
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return QChar(c).toLower().unicode();
}

std::u16string foldedText(const QString& s)
{
    std::u16string out;
    for (const QChar c : s)
        out.push_back(foldUnit(c.unicode()));
    return out;
}

std::u16string tagNameOfSetting(const QString& tag)
{
    QString t = tag.trimmed();
    if (t.startsWith(QLatin1Char('<')))
        t.remove(0, 1);
    if (t.endsWith(QLatin1Char('>')))
        t.chop(1);
    if (t.isEmpty())
        return {};
    char16_t scratch[64];
    return std::u16string(TagNameOf({reinterpret_cast<const char16_t*>(t.utf16()), std::size_t(t.size())}, scratch, 64));
}

struct FastRun {
    bool inWord, letterSeen, sawSpace, sawWord;
    int32_t words;
};

#if defined(__SSE2__)
// Set bits of a word: one instruction where the processor has it (the
// classifier is built for it too, see CV_CLASSIFY_CLONES), else the library.
inline int32_t BitCount(uint32_t x)
{
    return __builtin_popcount(x);
}

// Sixteen units at once, for texts in the Latin alphabet: lanes of ASCII
// letters, digits and blanks (" ") get their classes straight away, and their
// words are found from bit masks. `fast` gets a bit per lane of that kind,
// `word` per letter or digit, `letter` per letter.
struct TAsciiLanes {
    uint32_t fast, word, letter;
};
inline TAsciiLanes asciiLanes16(const char16_t* p, uint16_t* cls, uint16_t flags)
{
    // As bytes: units above U+00FF saturate to 0xFF and those from U+8000 to
    // 0, neither of them a fast unit; bytes from 0x80 compare as negative.
    const __m128i v = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i folded = _mm_or_si128(v, caseBit);
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(folded, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(folded, _mm_set1_epi8('z' + 1)));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
    const __m128i word = _mm_or_si128(letter, digit);
    const __m128i fast = _mm_or_si128(word, _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')));
    // Classes as bytes: letter 1 (with the upper-case flag when the case bit is clear), digit 2, blank 0.
    const __m128i upper = _mm_andnot_si128(_mm_and_si128(v, caseBit), _mm_and_si128(letter, caseBit));
    const __m128i c8 = _mm_or_si128(_mm_or_si128(_mm_and_si128(letter, _mm_set1_epi8(kClassLetter)), upper),
                                    _mm_and_si128(digit, _mm_set1_epi8(kClassDigit)));
    const __m128i f = _mm_set1_epi16(short(flags));
    // Every lane is stored; lanes past the fast ones are written again when reached.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cls), _mm_or_si128(_mm_unpacklo_epi8(c8, _mm_setzero_si128()), f));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cls + 8), _mm_or_si128(_mm_unpackhi_epi8(c8, _mm_setzero_si128()), f));
    return {uint32_t(_mm_movemask_epi8(fast)), uint32_t(_mm_movemask_epi8(word)), uint32_t(_mm_movemask_epi8(letter))};
}
#endif

// The hot loop: letters, digits and blanks. Stops at any other unit, at
// `end`, or where a word starts while a sentence end waits to be settled (the
// caller handles those). `asciiBlocks`: the ASCII letters, digits and the
// blank have their usual kinds, so stretches of them go sixteen at a time.
struct TFastRules {
    int32_t n;           // units of the chunk (what follows them is looked at by the slow path)
    bool keepNumbers;
    bool asciiBlocks;
    bool apostrophes;    // an apostrophe between letters joins them
    bool hyphensJoin;    // so does a hyphen
};

// Inlined into each build of Classify (see CV_CLASSIFY_CLONES).
__attribute__((always_inline)) inline int32_t fastRun(const char16_t* p, int32_t i, int32_t end, const uint8_t* kinds,
                                                      uint16_t* cls, uint16_t flags, const TFastRules& rules,
                                                      bool pendingSentence, FastRun& s)
{
    const bool keepNumbers = rules.keepNumbers, asciiBlocks = rules.asciiBlocks;
    // Branch-free but for the rare exits: word lengths vary too much for
    // the branches of a letter/blank switch to be predicted.
    unsigned inWord = s.inWord, letterSeen = s.letterSeen, sawSpace = s.sawSpace, sawWord = s.sawWord;
    const unsigned numbers = keepNumbers;
    int32_t words = s.words;
    for (;;) {
        int32_t scalarEnd = end;
#if defined(__SSE2__)
        if (asciiBlocks && !pendingSentence) {
            while (i + 16 <= end) {
                const TAsciiLanes lanes = asciiLanes16(p + i, cls + i, flags);
                const uint32_t nf = uint32_t(__builtin_ctz(~lanes.fast)); // fast lanes before the first other
                const uint32_t m = (1u << nf) - 1;
                const uint32_t w = lanes.word & m, l = lanes.letter & m, blank = ~lanes.word & m;
                sawWord |= unsigned(w != 0);
                sawSpace |= unsigned(blank != 0);
                // Lane 0 stands for the word going on before the block (if
                // any), lanes 1 ... nf for the block's fast lanes.
                const uint32_t W = (w << 1) | inWord, L = (l << 1) | (inWord & letterSeen), B = blank << 1;
                const uint32_t starts = W & ~(W << 1);
                const uint32_t ends = W & (B >> 1); // words followed by a blank within the lanes
                // Words of digits only: a run of digit lanes from a word's
                // start carries past its end, into a blank where the word ends.
                const uint32_t digits = W & ~L;
                const uint32_t digitWordEnds = ((digits + (starts & digits)) & B) >> 1;
                words += BitCount(numbers ? ends : ends & ~digitWordEnds);
                // The word the lanes end in goes on after them.
                const uint32_t lastStart = 31u - uint32_t(__builtin_clz(starts | 1u));
                const unsigned open = (W >> nf) & 1u;
                inWord = open;
                letterSeen = open & unsigned((L >> lastStart) != 0);
                i += int32_t(nf);
                if (nf < 16)
                    break;
            }
            // A stretch of other units (another script, say) goes unit by unit.
            scalarEnd = std::min(end, i + 16);
        }
#endif
        if (i >= end)
            break;
        const int32_t from = i;
        for (; i < scalarEnd; ++i) {
            const unsigned k = kinds[p[i]];
            if (k > TTextClassifier::kSpace) {
                // Punctuation that ends a word, or joins two letters or two
                // digits, is settled here; sentence ends, line breaks, tags
                // and what needs the text after the chunk go to the slow path.
                if (!asciiBlocks
                    || (k != TTextClassifier::kPunct && k != TTextClassifier::kNumberSep
                        && k != TTextClassifier::kApostrophe && k != TTextClassifier::kHyphen))
                    break;
                if (k != TTextClassifier::kPunct) {
                    if (i + 1 >= rules.n)
                        break;
                    const unsigned next = kinds[p[i + 1]];
                    const uint16_t before = i > 0 ? ClassCode(cls[i - 1]) : uint16_t(kClassSpace);
                    uint16_t joined = 0;
                    if (k == TTextClassifier::kNumberSep) {
                        if (inWord && before == kClassDigit && next == TTextClassifier::kDigit)
                            joined = kClassNumberJoiner;
                    } else if (k == TTextClassifier::kApostrophe ? rules.apostrophes : rules.hyphensJoin) {
                        if (inWord && before == kClassLetter && next <= TTextClassifier::kOtherLetter)
                            joined = k == TTextClassifier::kApostrophe ? kClassApostrophe : kClassHyphen;
                    }
                    if (joined) {
                        cls[i] = uint16_t(joined | flags);
                        ++i;
                        break;
                    }
                }
                words += int32_t(inWord & (letterSeen | numbers));
                inWord = 0;
                cls[i] = uint16_t(kClassPunctuation | flags);
                ++i; // back to sixteen at a time
                break;
            }
            const unsigned w = k < TTextClassifier::kSpace;
            if (pendingSentence && w && !inWord)
                break;
            cls[i] = uint16_t(kKindClass[k] | flags);
            words += int32_t(inWord & (w ^ 1) & (letterSeen | numbers));
            letterSeen = w & ((letterSeen & inWord) | unsigned(k != TTextClassifier::kDigit));
            sawWord |= w;
            sawSpace |= w ^ 1;
            inWord = w;
        }
        if (i >= end || i == from || (i < scalarEnd && kinds[p[i - 1]] <= TTextClassifier::kSpace))
            break;
    }
    s = FastRun{inWord != 0, letterSeen != 0, sawSpace != 0, sawWord != 0, words};
    return i;
}

} // namespace

struct TTextClassifier::Run {
    const char16_t* p;
    int32_t n;
    std::u16string_view lookahead;
    bool finalChunk;
    uint16_t* cls;
    const std::vector<uint16_t>* tagNumbers;
    std::size_t nextTag = 0;
    std::vector<int32_t>* sectionStarts;
    TOneFilesStats* stats;
    uint16_t flags = 0;
    std::vector<int32_t> deferred; // separators that end a heading

    char16_t at(int64_t k) const
    {
        if (k < n)
            return p[k];
        k -= n;
        return std::size_t(k) < lookahead.size() ? lookahead[std::size_t(k)] : char16_t(0);
    }
    int64_t total() const { return n + int64_t(lookahead.size()); }
};

TTextClassifier::TTextClassifier(const TTextSettings& settings, const TTextTagHandler& handler, bool tagMarks)
    : m_kinds(std::make_unique<Kinds>(baseKinds())), m_handler(handler)
{
    // The settings may turn punctuation into sentence ends or word
    // characters; blanks, line breaks and surrogates keep their kind.
    Kinds& k = *m_kinds;
    auto isPunctuation = [](uint8_t kind) {
        return kind == kPunct || kind == kApostrophe || kind == kHyphen || kind == kNumberSep || kind == kSentenceEnd;
    };
    for (const QChar c : settings.SentenceEndCharacters())
        if (isPunctuation(k[c.unicode()]))
            k[c.unicode()] = kSentenceEnd;
    for (const QChar c : settings.ExtraWordCharacters())
        if (isPunctuation(k[c.unicode()]))
            k[c.unicode()] = kOtherLetter;
    m_tagMarks = tagMarks;
    if (tagMarks) {
        k[kTagMarkOpen] = kTagOpen;
        k[kTagMarkClose] = kTagClose;
    }
    m_asciiBlocksPossible = true;
    for (char16_t c = 0; c < 0x80; ++c) {
        const uint8_t usual = (c >= u'a' && c <= u'z')   ? kLower
                              : (c >= u'A' && c <= u'Z') ? kUpper
                              : (c >= u'0' && c <= u'9') ? kDigit
                              : c == u' '                ? kSpace
                                                         : 0xFF;
        if (usual != 0xFF && k[c] != usual)
            m_asciiBlocksPossible = false;
    }
    m_asciiBlocks = m_asciiBlocksPossible;
    m_apostrophes = settings.ApostrophesInWords();
    m_hyphensJoin = !settings.HyphensSeparateWords();
    m_keepNumbers = settings.KeepNumbers();
    m_blankLineParagraphs = settings.BlankLineEndsParagraph();
    m_maxTagSpan = handler.Options().maxTagSpan > 0 ? handler.Options().maxTagSpan : 1000;
    m_sectionMarker = foldedText(handler.Options().sectionStartMarker);
    if (tagMarks) {
        m_headingStart = tagNameOfSetting(handler.Options().headingStartTag);
        m_headingEnd = tagNameOfSetting(handler.Options().headingEndTag);
    }
}

TTextClassifier::~TTextClassifier() = default;

void TTextClassifier::StartText()
{
    m_inWord = m_letterSeen = false;
    m_contentSinceSentence = m_contentSinceParagraph = false;
    m_inHeading = false;
    m_atLineStart = true;
    m_sawSpace = false;
    m_pendingSentence = -1;
}

void TTextClassifier::confirmSentence(Run& r)
{
    if (m_pendingSentence >= 0 && m_pendingSentence < r.n)
        MarkBoundary(r.cls[m_pendingSentence], 2);
    m_pendingSentence = -1;
    r.stats->Sentences++;
    m_contentSinceSentence = false;
}

// A word begins: it settles a sentence end waiting before it (a capital,
// digit or uncased letter after a blank confirms it; a lower-case letter, or
// no blank at all as in "e.g" and "3.5", takes it back).
inline void TTextClassifier::wordStarts(Run& r, uint8_t kind, bool sawSpace)
{
    if (m_pendingSentence >= 0) {
        if (sawSpace && kind != kLower)
            confirmSentence(r);
        else
            m_pendingSentence = -1;
    }
    m_contentSinceSentence = m_contentSinceParagraph = true;
}

void TTextClassifier::endUnit(Run& r, int level, int32_t index)
{
    if (m_pendingSentence >= 0)
        confirmSentence(r);
    else if (m_contentSinceSentence)
        r.stats->Sentences++;
    m_contentSinceSentence = false;
    if (m_contentSinceParagraph) {
        r.stats->Paragraphs++;
        m_contentSinceParagraph = false;
    }
    if (level >= 4 && m_inHeading) {
        r.stats->Headings++;
        m_inHeading = false;
        r.flags &= uint16_t(~kFlagInHeading);
    }
    if (index >= 0 && index < r.n)
        MarkBoundary(r.cls[index], level);
}

bool TTextClassifier::nextIsLetter(const Run& r, int64_t i) const
{
    return i < r.total() && isLetterKind((*m_kinds)[r.at(i)]);
}

bool TTextClassifier::nextLineIsBlank(const Run& r, int64_t from) const
{
    int64_t k = from;
    while (k < r.total() && (r.at(k) == u' ' || r.at(k) == u'\t'))
        ++k;
    if (k >= r.total())
        return r.finalChunk;
    return (*m_kinds)[r.at(k)] == kLineBreak;
}

TTextClassifier::Answer TTextClassifier::lineStartsWithMarker(const Run& r, int64_t from, int64_t* markerAt) const
{
    int64_t k = from;
    while (k < r.total() && (r.at(k) == u' ' || r.at(k) == u'\t'))
        ++k;
    for (std::size_t j = 0; j < m_sectionMarker.size(); ++j) {
        if (k + int64_t(j) >= r.total())
            return r.finalChunk ? Answer::No : Answer::Unknown;
        if (foldUnit(r.at(k + int64_t(j))) != m_sectionMarker[j])
            return Answer::No;
    }
    if (markerAt)
        *markerAt = k;
    return Answer::Yes;
}

void TTextClassifier::handleLineBreak(Run& r, int32_t last, int32_t breakIndex)
{
    const char16_t c = r.p[breakIndex];
    const int64_t nextLine = int64_t(last) + 1;
    const bool para = !m_blankLineParagraphs || c == 0x2029 || nextLineIsBlank(r, nextLine);
    int64_t markerAt = -1;
    const Answer marker = m_sectionMarker.empty() ? Answer::No : lineStartsWithMarker(r, nextLine, &markerAt);
    const bool section = marker == Answer::Yes;
    int level = 0;
    if (section)
        level = 5;
    else if (m_inHeading && para)
        level = 4;
    else if (para && m_contentSinceParagraph)
        level = 3;
    if (level >= 3)
        endUnit(r, level, breakIndex);
    if (section && markerAt >= 0 && markerAt < r.n) {
        r.sectionStarts->push_back(int32_t(markerAt));
        r.stats->Sections++;
    }
    // A line that starts in the next chunk (or whose marker does) is looked at there.
    m_atLineStart = nextLine >= r.n || (section && markerAt >= r.n) || marker == Answer::Unknown;
}

int32_t TTextClassifier::handleTag(Run& r, int32_t i)
{
    int32_t close = -1;
    const int32_t limit = int32_t(std::min<int64_t>(r.n, int64_t(i) + m_maxTagSpan + 3));
    for (int32_t k = i + 1; k < limit; ++k) {
        if (r.p[k] == kTagMarkClose) {
            close = k;
            break;
        }
        if (r.p[k] == kTagMarkOpen)
            break;
    }
    if (close < 0) {
        r.cls[i] = uint16_t(kClassPunctuation | r.flags);
        return i;
    }
    m_sawSpace = true;
    const std::u16string_view inner(r.p + i + 1, std::size_t(close - i - 1));
    uint16_t number;
    if (r.tagNumbers && r.nextTag < r.tagNumbers->size())
        number = (*r.tagNumbers)[r.nextTag++];
    else
        number = m_handler.TagNumberOfInner(inner);
    const uint16_t cls = uint16_t(kTagBit | (number & kTagNumberMask));
    for (int32_t k = i; k <= close; ++k)
        r.cls[k] = cls;
    r.stats->Tags++;
    if (!m_headingStart.empty() || !m_headingEnd.empty()) {
        char16_t scratch[64];
        const std::u16string_view name = TagNameOf(inner, scratch, 64);
        if (!m_headingStart.empty() && name == m_headingStart) {
            m_inHeading = true;
            r.flags |= kFlagInHeading;
        } else if (!m_headingEnd.empty() && name == m_headingEnd && m_inHeading) {
            // The heading ends here: it ends its sentence, and the first
            // separator after the tag carries the heading boundary.
            if (m_pendingSentence >= 0)
                confirmSentence(r);
            else if (m_contentSinceSentence)
                r.stats->Sentences++;
            m_contentSinceSentence = false;
            m_inHeading = false;
            r.flags &= uint16_t(~kFlagInHeading);
            r.stats->Headings++;
            for (int32_t k = close + 1; k < r.n; ++k) {
                const uint8_t kind = (*m_kinds)[r.p[k]];
                if (isWordKind(kind) || kind == kHighSurrogate)
                    break;
                if (kind == kTagOpen) {
                    while (k < r.n && r.p[k] != kTagMarkClose)
                        ++k;
                    continue;
                }
                r.deferred.push_back(k);
                break;
            }
        }
    }
    return close;
}

int32_t TTextClassifier::slowPath(Run& r, int32_t i)
{
    const char16_t c = r.p[i];
    const uint8_t kind = (*m_kinds)[c];
    auto endWord = [&] {
        if (m_inWord) {
            r.stats->Words += (m_letterSeen || m_keepNumbers) ? 1 : 0;
            m_inWord = false;
        }
    };
    auto joinsDigits = [&] {
        return m_inWord && i > 0 && ClassCode(r.cls[i - 1]) == kClassDigit && i + 1 < r.total() &&
               (*m_kinds)[r.at(i + 1)] == kDigit;
    };
    auto joinsLetters = [&] {
        return m_inWord && i > 0 && ClassCode(r.cls[i - 1]) == kClassLetter && nextIsLetter(r, i + 1);
    };
    switch (kind) {
    case kLineBreak: {
        endWord();
        m_sawSpace = true;
        r.cls[i] = r.flags;
        if (c == u'\r' && i + 1 < r.n && r.p[i + 1] == u'\n') {
            r.cls[i + 1] = r.flags;
            handleLineBreak(r, i + 1, i);
            return i + 1;
        }
        handleLineBreak(r, i, i);
        return i;
    }
    case kSentenceEnd:
        if (joinsDigits()) {
            r.cls[i] = uint16_t(kClassNumberJoiner | r.flags);
            return i;
        }
        endWord();
        r.cls[i] = uint16_t(kClassPunctuation | r.flags);
        if (m_contentSinceSentence) {
            m_pendingSentence = i;
            m_sawSpace = false;
        }
        return i;
    case kNumberSep:
        if (joinsDigits()) {
            r.cls[i] = uint16_t(kClassNumberJoiner | r.flags);
            return i;
        }
        break;
    case kApostrophe:
        if (m_apostrophes && joinsLetters()) {
            r.cls[i] = uint16_t(kClassApostrophe | r.flags);
            return i;
        }
        break;
    case kHyphen:
        if (m_hyphensJoin && joinsLetters()) {
            r.cls[i] = uint16_t(kClassHyphen | r.flags);
            return i;
        }
        break;
    case kHighSurrogate:
        if (i + 1 < r.n && (*m_kinds)[r.p[i + 1]] == kLowSurrogate) {
            const char32_t cp = QChar::surrogateToUcs4(c, r.p[i + 1]);
            const uint8_t k2 = kindForCategory(QChar::category(cp));
            if (isWordKind(k2)) {
                if (!m_inWord) {
                    m_inWord = true;
                    m_letterSeen = false;
                    wordStarts(r, k2, m_sawSpace);
                }
                m_letterSeen |= k2 != kDigit;
                r.cls[i] = r.cls[i + 1] = uint16_t(kKindClass[k2] | r.flags);
            } else {
                endWord();
                if (k2 == kSpace)
                    m_sawSpace = true;
                r.cls[i] = r.cls[i + 1] = uint16_t((k2 == kSpace ? kClassSpace : kClassPunctuation) | r.flags);
            }
            return i + 1;
        }
        break;
    case kTagOpen:
        endWord();
        return handleTag(r, i);
    default:
        break;
    }
    endWord();
    r.cls[i] = uint16_t(kClassPunctuation | r.flags);
    return i;
}

void TTextClassifier::resolvePendingAtChunkEnd(Run& r)
{
    if (m_pendingSentence < 0)
        return;
    if (r.finalChunk) {
        confirmSentence(r);
        return;
    }
    bool space = m_sawSpace;
    const std::u16string_view la = r.lookahead;
    const std::size_t limit = std::min<std::size_t>(la.size(), 4096);
    for (std::size_t j = 0; j < limit; ++j) {
        const char16_t c = la[j];
        const uint8_t k = (*m_kinds)[c];
        if (isWordKind(k)) {
            if (space && k != kLower)
                confirmSentence(r);
            else
                m_pendingSentence = -1;
            return;
        }
        if (k == kSpace || k == kLineBreak) {
            space = true;
        } else if (c == u'<' && m_tagMarks) {
            const int64_t gt = TMarkupPass::TagEnd(la, j, limit, m_maxTagSpan);
            if (gt >= 0) {
                j = std::size_t(gt);
                space = true;
            }
        }
    }
    confirmSentence(r);
}

// The classifier's loop is built twice, for processors with a bit-count
// instruction and for the rest, and the right one is chosen when the
// program starts.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__POPCNT__)
#define CV_CLASSIFY_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define CV_CLASSIFY_CLONES
#endif

CV_CLASSIFY_CLONES
void TTextClassifier::Classify(std::u16string_view text, std::u16string_view lookahead, bool finalChunk,
                               const std::vector<uint16_t>* tagNumbers, const std::vector<int32_t>& forced,
                               uint16_t* classes, std::vector<int32_t>& sectionStarts, TOneFilesStats& stats)
{
    Run r{text.data(), int32_t(text.size()), lookahead, finalChunk, classes, tagNumbers, 0, &sectionStarts, &stats,
          uint16_t(m_inHeading ? kFlagInHeading : 0), {}};
    sectionStarts.clear();
    stats.Characters += r.n;

    bool lineGoesOn = false;
    if (m_atLineStart && !m_sectionMarker.empty() && r.n > 0) {
        int64_t at = -1;
        const Answer marker = lineStartsWithMarker(r, 0, &at);
        if (marker == Answer::Yes && at < r.n) {
            sectionStarts.push_back(int32_t(at));
            stats.Sections++;
        } else {
            // Only blanks here: the line's start is looked at in the next chunk.
            lineGoesOn = marker != Answer::No;
        }
    }
    m_atLineStart = lineGoesOn;

    const uint8_t* kinds = m_kinds->data();
    const TFastRules rules{r.n, m_keepNumbers, m_asciiBlocks, m_apostrophes, m_hyphensJoin};
    std::size_t nextForced = 0;
    int32_t i = 0;
    while (i < r.n) {
        const int32_t segmentEnd = nextForced < forced.size() ? std::min(r.n, forced[nextForced] + 1) : r.n;
        while (i < segmentEnd) {
            FastRun run{m_inWord, m_letterSeen, m_sawSpace, false, 0};
            i = fastRun(r.p, i, segmentEnd, kinds, classes, r.flags, rules, m_pendingSentence >= 0, run);
            m_inWord = run.inWord;
            m_letterSeen = run.letterSeen;
            m_sawSpace = run.sawSpace;
            stats.Words += run.words;
            if (run.sawWord)
                m_contentSinceSentence = m_contentSinceParagraph = true;
            if (i >= segmentEnd)
                break;
            const uint8_t k = kinds[r.p[i]];
            if (k < kSpace) {
                // A word starts while a sentence end waits to be settled.
                m_inWord = true;
                m_letterSeen = k != kDigit;
                wordStarts(r, k, m_sawSpace);
                classes[i] = uint16_t(kKindClass[k] | r.flags);
            } else {
                i = slowPath(r, i);
            }
            ++i;
        }
        if (nextForced < forced.size() && i >= forced[nextForced] + 1) {
            if (m_inWord) {
                stats.Words += (m_letterSeen || m_keepNumbers) ? 1 : 0;
                m_inWord = false;
            }
            endUnit(r, 5, forced[nextForced]);
            ++nextForced;
        }
    }

    resolvePendingAtChunkEnd(r);
    for (const int32_t k : r.deferred)
        MarkBoundary(classes[k], 4);
    if (finalChunk) {
        if (m_inWord) {
            stats.Words += (m_letterSeen || m_keepNumbers) ? 1 : 0;
            m_inWord = false;
        }
        endUnit(r, 5, -1);
    }
}

} // namespace cv
