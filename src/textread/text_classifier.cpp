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
// Blocks of ASCII go the AVX2 or AVX-512 way where the processor has it
// (chosen when the classifier is made).
#include "textread/cpu_features.h"
#if defined(CV_AVX2_PATHS)
#include <immintrin.h>
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

// What every text shares: the kinds from the Unicode categories. Kept in
// the heap, not among the program's statics: there its first writing took
// a fault per 4 KB page, in the heap it shares the large pages of the job.
const Kinds& baseKinds()
{
    static const std::unique_ptr<const Kinds> table = [] {
        auto made = std::make_unique<Kinds>();
        Kinds& t = *made;
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
        // The joiners belong to a word only between two of its letters (in
        // Indic scripts, Persian); between emoji or alone they join no word.
        t[0x200C] = t[0x200D] = TTextClassifier::kJoiner;
        for (const char16_t c : {u'\'', char16_t(0x2019)})
            t[c] = TTextClassifier::kApostrophe;
        for (const char16_t c : {u'-', char16_t(0x2010), char16_t(0x2011), char16_t(0x00AD)})
            t[c] = TTextClassifier::kHyphen;
        t[u'.'] = t[u','] = TTextClassifier::kNumberSep;
        return made;
    }();
    return *table;
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

// What the hot loop carries from call to call: the word going on, and
// whether a word came since the last sentence (paragraph) boundary.
struct FastRun {
    bool inWord, letterSeen, sawSpace, content, contentPara;
    int32_t words, sentences, paragraphs;
};

// The hot loop: letters, digits, blanks and most punctuation. Stops at any
// other unit, at `end`, or where a word starts while a sentence end waits to
// be settled (the caller handles those). `asciiBlocks`: the ASCII letters,
// digits and the blank have their usual kinds, so stretches of ASCII go
// in blocks of 64 units (see TAsciiBlockRules and settleBlock).
struct TFastRules {
    int32_t n;           // units of the chunk (what follows them is looked at by the slow path)
    bool keepNumbers;
    bool asciiBlocks;
    bool apostrophes;    // an apostrophe between letters joins them
    bool hyphensJoin;    // so does a hyphen
    bool wideBlocks;     // blocks go the AVX2 way
    bool widestBlocks;   // and then the AVX-512 way
    bool lineBreaks;     // blocks may settle "\n" (it only ends a paragraph, see TTextClassifier::Classify)
    const TAsciiBlockRules* blockRules;
};

// A block: 64 units read, of which the first 63 at most are settled (the
// last one is there to be looked at, for a joiner before it).
constexpr int32_t kBlockUnits = 64;
constexpr uint32_t kBlockSettles = 63;

// One bit per lane of a block.
struct TAsciiLanes {
    uint64_t fast;          // lanes the block may settle
    uint64_t letter, digit;
    uint64_t joinLetters;   // apostrophes and hyphens that join two letters standing around them
    uint64_t joinDigits;    // number separators and sentence ends, which join two digits
    // Only the wide (AVX2, AVX-512) lanes settle sentence ends and line
    // breaks (the others leave these masks empty and stop at them):
    uint64_t sentenceEnds;
    uint64_t lineBreaks;    // "\n", where blocks settle it
    uint64_t lower, blank;  // lower-case letters and blanks (" "), for the sentence ends

    // The lanes of the units from `at` on go above these.
    void Add(const TAsciiLanes& o, int at)
    {
        fast |= o.fast << at, letter |= o.letter << at, digit |= o.digit << at;
        joinLetters |= o.joinLetters << at, joinDigits |= o.joinDigits << at;
        sentenceEnds |= o.sentenceEnds << at, lineBreaks |= o.lineBreaks << at;
        lower |= o.lower << at, blank |= o.blank << at;
    }
};

// What the blocks carry from one to the next.
struct TBlockState {
    unsigned inWord, letterSeen, content, contentPara, numbers;
    int32_t words, sentences, paragraphs;
    unsigned letterBefore = 0, digitBefore = 0; // the unit before the block is a letter (a digit) of the word going on
};

// Before the first block at `i`: what the unit before it is (for the
// joiners in the block's first lane).
__attribute__((always_inline)) inline void startBlocks(const uint16_t* cls, int32_t i, TBlockState& st)
{
    const uint16_t before = i > 0 ? uint16_t(cls[i - 1] & (kTagBit | kClassCodeMask)) : uint16_t(kClassSpace);
    st.letterBefore = st.inWord & unsigned(before == kClassLetter);
    st.digitBefore = st.inWord & unsigned(before == kClassDigit);
}

inline void markUnit(uint16_t& c, uint16_t code) { c = uint16_t((c & ~kClassCodeMask) | code); }

// The sentence ends and line breaks of a block, in order, as the general
// steps take them (slowPath, handleLineBreak, endUnit and wordStarts with
// the blocks' settings: no section marker, every line break ends a
// paragraph, not in a heading). Bit b of the masks stands for lane b - 1;
// `events` holds the sentence ends that join no digits and the line breaks.
// Returns how many lanes are settled: fewer than `nf` when a sentence end is
// still waiting for the word after it where they end, so that it goes the
// general way.
__attribute__((noinline)) uint32_t settleEvents(uint64_t events, uint64_t lineBreaks, uint64_t W, uint64_t blank,
                                                uint64_t lower, uint32_t nf, uint64_t settled, int32_t i,
                                                uint16_t* cls, TBlockState& st)
{
    unsigned content = st.content, contentPara = st.contentPara;
    int32_t sentences = st.sentences, paragraphs = st.paragraphs;
    uint32_t pending = 0; // the bit of the sentence end waiting for the next word; 0: none
    // Bits after `from` and before `to` (to < 64).
    auto between = [](uint32_t from, uint32_t to) { return ((uint64_t(1) << to) - 1) & ~((uint64_t(2) << from) - 1); };
    // A word starts at bit s after the waiting sentence end: a blank
    // before it and a capital, digit or uncased letter confirm the end.
    auto wordAfterPending = [&](uint32_t s) {
        if ((blank & between(pending, s)) != 0 && ((lower >> s) & 1u) == 0) {
            markUnit(cls[i + int32_t(pending) - 1], kClassSentenceEnd);
            ++sentences;
        }
        pending = 0;
    };
    uint32_t last = 0;
    for (uint64_t ev = events; ev != 0; ev &= ev - 1) {
        const uint32_t x = uint32_t(__builtin_ctzll(ev));
        const uint64_t words = W & between(last, x);
        if (words != 0) {
            if (pending != 0)
                wordAfterPending(uint32_t(__builtin_ctzll(words)));
            content = contentPara = 1;
        }
        if (((lineBreaks >> x) & 1u) == 0) {
            if (content)
                pending = x;
        } else if (contentPara) {
            // The line ends the paragraph, and its sentence.
            if (pending != 0) {
                markUnit(cls[i + int32_t(pending) - 1], kClassSentenceEnd);
                pending = 0;
                ++sentences;
            } else if (content) {
                ++sentences;
            }
            content = contentPara = 0;
            ++paragraphs;
            markUnit(cls[i + int32_t(x) - 1], kClassParagraphEnd);
        }
        last = x;
    }
    auto settledUpTo = [&](uint32_t lanes) {
        st.content = content;
        st.contentPara = contentPara;
        st.sentences = sentences;
        st.paragraphs = paragraphs;
        return lanes;
    };
    const uint64_t words = W & settled & ~((uint64_t(2) << last) - 1);
    if (pending != 0) {
        // Settled up to the waiting sentence end, which goes the general way.
        if (words == 0)
            return settledUpTo(pending - 1);
        wordAfterPending(uint32_t(__builtin_ctzll(words)));
    }
    if (words != 0)
        content = contentPara = 1;
    return settledUpTo(nf);
}

// Settles the lanes of one block at `i` whose classes are stored (but those
// of joiners and of boundaries): counts the words that end in it, writes
// the classes of joiners that join and of boundaries, and returns how many
// lanes it settled (kBlockSettles: all it may).
__attribute__((always_inline)) inline uint32_t settleBlock(const TAsciiLanes& lanes, const char16_t* p, int32_t i,
                                                           uint16_t* cls, uint16_t flags, TBlockState& st)
{
    // A joiner needs the lanes on both sides of it: one just before the
    // first unit the block cannot settle waits for the unit-by-unit steps.
    const uint32_t nf0 = uint32_t(__builtin_ctzll(~lanes.fast | (uint64_t(1) << kBlockSettles)));
    const uint64_t joiners = (lanes.joinLetters | lanes.joinDigits) << 1;
    uint32_t nf = nf0 - uint32_t((joiners >> nf0) & 1u);
    // Bit 0 of these masks stands for the unit before the block, bits 1 ...
    // nf for the block's lanes 0 ... nf - 1 (lane 63 is never settled).
    uint64_t settled = ((uint64_t(1) << nf) - 1) << 1;
    const uint64_t letters = (lanes.letter << 1) | st.letterBefore;
    const uint64_t digitLanes = (lanes.digit << 1) | st.digitBefore;
    // The lane after a joiner's (bit b + 1 in these masks) is bit b of the lanes'.
    const uint64_t joinedLetters = (lanes.joinLetters << 1) & (letters << 1) & lanes.letter & settled;
    const uint64_t joinedDigits = (lanes.joinDigits << 1) & (digitLanes << 1) & lanes.digit & settled;
    const uint64_t joined = joinedLetters | joinedDigits;
    if (joined != 0) [[unlikely]] {
        for (uint64_t j = joined; j != 0; j &= j - 1) {
            const uint32_t b = uint32_t(__builtin_ctzll(j));
            const int32_t at = i + int32_t(b) - 1;
            const uint16_t code = ((joinedDigits >> b) & 1u) ? kClassNumberJoiner
                                  : p[at] == u'\'' ? kClassApostrophe : kClassHyphen;
            cls[at] = uint16_t(code | flags);
        }
    }
    uint64_t W = ((letters | digitLanes) & settled) | joined | st.inWord;
    const uint64_t events = (((lanes.sentenceEnds << 1) & ~joinedDigits) | (lanes.lineBreaks << 1)) & settled;
    if (events != 0) {
        nf = settleEvents(events, lanes.lineBreaks << 1, W, lanes.blank << 1, lanes.lower << 1, nf, settled, i, cls, st);
        settled = ((uint64_t(1) << nf) - 1) << 1;
        W &= settled | 1u;
    } else {
        // Any word in the block: the sentence and the paragraph have content.
        const unsigned any = unsigned((W >> 1) != 0);
        st.content |= any;
        st.contentPara |= any;
    }
    const uint64_t L = (letters & settled) | (st.inWord & st.letterSeen);
    const uint64_t B = ~W & settled; // blanks, punctuation and boundaries: they end words
    const uint64_t starts = W & ~(W << 1);
    const uint64_t ends = W & (B >> 1); // words followed by a separator within the lanes
    // Words of digits only: a run of digit lanes from a word's start
    // carries past its end, into the separator where the word ends.
    const uint64_t digits = W & ~L;
    const uint64_t digitWordEnds = ((digits + (starts & digits)) & B) >> 1;
    st.words += __builtin_popcountll(st.numbers ? ends : ends & ~digitWordEnds);
    // The word the lanes end in goes on after them.
    const uint32_t lastStart = 63u - uint32_t(__builtin_clzll(starts | 1u));
    const unsigned open = unsigned(W >> nf) & 1u;
    st.inWord = open;
    st.letterSeen = open & unsigned((L >> lastStart) != 0);
    st.letterBefore = unsigned(letters >> kBlockSettles) & 1u;
    st.digitBefore = unsigned(digitLanes >> kBlockSettles) & 1u;
    return nf;
}

#if defined(__SSE2__)
// The vectors of TAsciiBlockRules.
struct TBlockVectors {
    __m128i apostrophe, hyphen, comma, dot, stops[4], punctuation;
    explicit TBlockVectors(const TAsciiBlockRules& r)
        : apostrophe(_mm_set1_epi8(char(r.apostrophe))), hyphen(_mm_set1_epi8(char(r.hyphen))),
          comma(_mm_set1_epi8(char(r.comma))), dot(_mm_set1_epi8(char(r.dot))),
          stops{_mm_set1_epi8(char(r.stops[0])), _mm_set1_epi8(char(r.stops[1])), _mm_set1_epi8(char(r.stops[2])),
                _mm_set1_epi8(char(r.stops[3]))},
          punctuation(_mm_set1_epi8(r.punctuation ? char(-1) : 0))
    {
    }
};

// Sixteen lanes: their classes are stored (joiners as punctuation: the
// caller rewrites those that join) and their masks returned. Sentence ends
// and line breaks stop a block here.
inline TAsciiLanes asciiLanes16(const char16_t* p, uint16_t* cls, uint16_t flags, const TBlockVectors& rules)
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
    // Printable ASCII that is neither letter nor digit, less the stops.
    const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(v, caseBit), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rules.stops[0]), _mm_cmpeq_epi8(v, rules.stops[1])),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, rules.stops[2]), _mm_cmpeq_epi8(v, rules.stops[3])));
    const __m128i punct = _mm_and_si128(_mm_andnot_si128(_mm_or_si128(_mm_or_si128(letter, digit), stops), printable),
                                        rules.punctuation);
    const __m128i joinLetters =
        _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rules.apostrophe), _mm_cmpeq_epi8(v, rules.hyphen)), punct);
    const __m128i joinDigits = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rules.comma), _mm_cmpeq_epi8(v, rules.dot)), punct);
    const __m128i fast = _mm_or_si128(_mm_or_si128(letter, digit), _mm_or_si128(punct, _mm_cmpeq_epi8(v, caseBit)));
    // Classes as bytes: letter 1 (with the upper-case flag when the case
    // bit is clear), digit 2, punctuation 5, blank 0.
    const __m128i upper = _mm_andnot_si128(_mm_and_si128(v, caseBit), _mm_and_si128(letter, caseBit));
    const __m128i c8 = _mm_or_si128(_mm_or_si128(_mm_and_si128(letter, _mm_set1_epi8(kClassLetter)), upper),
                                    _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8(kClassDigit)),
                                                 _mm_and_si128(punct, _mm_set1_epi8(kClassPunctuation))));
    const __m128i f = _mm_set1_epi16(short(flags));
    // Every lane is stored; lanes past the fast ones are written again when reached.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cls), _mm_or_si128(_mm_unpacklo_epi8(c8, _mm_setzero_si128()), f));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cls + 8), _mm_or_si128(_mm_unpackhi_epi8(c8, _mm_setzero_si128()), f));
    return {uint32_t(_mm_movemask_epi8(fast)), uint32_t(_mm_movemask_epi8(letter)), uint32_t(_mm_movemask_epi8(digit)),
            uint32_t(_mm_movemask_epi8(joinLetters)), uint32_t(_mm_movemask_epi8(joinDigits)), 0, 0, 0, 0};
}

inline TAsciiLanes asciiLanes64(const char16_t* p, uint16_t* cls, uint16_t flags, const TBlockVectors& rules)
{
    TAsciiLanes lanes = asciiLanes16(p, cls, flags, rules);
    for (int at = 16; at < kBlockUnits; at += 16)
        lanes.Add(asciiLanes16(p + at, cls + at, flags, rules), at);
    return lanes;
}
#else
struct TBlockVectors {
    explicit TBlockVectors(const TAsciiBlockRules&) {}
};
#endif

#if defined(CV_AVX2_PATHS)
// The AVX2 form of asciiLanes64, 32 units at a time: the punctuation sets
// are looked up in the bitmaps of TAsciiBlockRules (any number of stops), and
// sentence ends and line breaks are settled in the block too.
struct TWideVectors {
    __m256i lowNibble, rowBit, settled, letterJoiners, digitJoiners, sentenceEnds, lineBreaks;
    // Constants, made once rather than in every block.
    __m256i caseBit, letterShift, letterLimit, digitShift, digitLimit, newline, letterClass, digitClass, punctClass;
    __attribute__((target("avx2"))) TWideVectors(const TAsciiBlockRules& r, bool withLineBreaks)
        : lowNibble(_mm256_set1_epi8(0x0F)),
          rowBit(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.rowBits)))),
          settled(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.settledMarks)))),
          letterJoiners(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.letterJoiners)))),
          digitJoiners(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.digitJoiners)))),
          sentenceEnds(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.sentenceEnds)))),
          lineBreaks(_mm256_set1_epi8(withLineBreaks ? char(-1) : 0)),
          caseBit(_mm256_set1_epi8(0x20)),
          // x in [lo, lo + n) as one signed comparison: x + (-128 - lo) < -128 + n.
          letterShift(_mm256_set1_epi8(char(-128 - 'a'))), letterLimit(_mm256_set1_epi8(char(-128 + 26))),
          digitShift(_mm256_set1_epi8(char(-128 - '0'))), digitLimit(_mm256_set1_epi8(char(-128 + 10))),
          newline(_mm256_set1_epi8('\n')), letterClass(_mm256_set1_epi8(kClassLetter)),
          digitClass(_mm256_set1_epi8(kClassDigit)), punctClass(_mm256_set1_epi8(kClassPunctuation))
    {
    }
};

// Lanes whose unit is in the set of the bitmap.
__attribute__((target("avx2"))) inline __m256i wideMember(__m256i bitmap, __m256i low, __m256i row)
{
    return _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(bitmap, low), row), row);
}

__attribute__((target("avx2"))) inline TAsciiLanes wideLanes32(const char16_t* p, uint16_t* cls, uint16_t flags,
                                                                const TWideVectors& t)
{
    // As bytes, in order (the pack works within 128-bit halves).
    const __m256i v = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16))),
        0xD8);
    const __m256i caseBit = t.caseBit;
    const __m256i letter = _mm256_cmpgt_epi8(t.letterLimit, _mm256_add_epi8(_mm256_or_si256(v, caseBit), t.letterShift));
    const __m256i digit = _mm256_cmpgt_epi8(t.digitLimit, _mm256_add_epi8(v, t.digitShift));
    // Set membership: the bitmap row of the unit's high nibble, at its low one.
    const __m256i low = _mm256_and_si256(v, t.lowNibble);
    const __m256i row = _mm256_shuffle_epi8(t.rowBit, _mm256_and_si256(_mm256_srli_epi16(v, 4), t.lowNibble));
    const __m256i punct = wideMember(t.settled, low, row);
    const __m256i blank = _mm256_cmpeq_epi8(v, caseBit);
    const __m256i lineBreak = _mm256_and_si256(_mm256_cmpeq_epi8(v, t.newline), t.lineBreaks);
    const __m256i fast = _mm256_or_si256(_mm256_or_si256(letter, digit), _mm256_or_si256(_mm256_or_si256(punct, blank), lineBreak));
    const __m256i caseOf = _mm256_and_si256(v, caseBit);
    const __m256i upper = _mm256_andnot_si256(caseOf, _mm256_and_si256(letter, caseBit));
    const __m256i c8 = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(letter, t.letterClass), upper),
                                       _mm256_or_si256(_mm256_and_si256(digit, t.digitClass),
                                                       _mm256_and_si256(punct, t.punctClass)));
    const __m256i f = _mm256_set1_epi16(short(flags));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cls),
                        _mm256_or_si256(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(c8)), f));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cls + 16),
                        _mm256_or_si256(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(c8, 1)), f));
    return {uint32_t(_mm256_movemask_epi8(fast)),
            uint32_t(_mm256_movemask_epi8(letter)),
            uint32_t(_mm256_movemask_epi8(digit)),
            uint32_t(_mm256_movemask_epi8(wideMember(t.letterJoiners, low, row))),
            uint32_t(_mm256_movemask_epi8(wideMember(t.digitJoiners, low, row))),
            uint32_t(_mm256_movemask_epi8(wideMember(t.sentenceEnds, low, row))),
            uint32_t(_mm256_movemask_epi8(lineBreak)),
            uint32_t(_mm256_movemask_epi8(_mm256_and_si256(letter, _mm256_cmpeq_epi8(caseOf, caseBit)))),
            uint32_t(_mm256_movemask_epi8(blank))};
}

// The AVX2 lanes, for blockRun.
struct TWideLanes {
    const TWideVectors& t;
    __attribute__((target("avx2"))) TAsciiLanes operator()(const char16_t* p, uint16_t* cls, uint16_t flags) const
    {
        TAsciiLanes lanes = wideLanes32(p, cls, flags, t);
        lanes.Add(wideLanes32(p + 32, cls + 32, flags, t), 32);
        return lanes;
    }
};

// The AVX-512 form (F and BW): the 64 lanes of a block at once, their masks
// straight from the comparisons, and registers enough for every constant
// (the AVX2 form keeps several of them on the stack). The same lanes as
// wideLanes32: bytes from the same saturating pack, the same bitmaps.
struct TWidestVectors {
    __m512i lowNibble, rowBit, settled, letterJoiners, digitJoiners, sentenceEnds;
    __m512i caseBit, letterFirst, letterCount, digitFirst, digitCount, newline, letterClass, digitClass, punctClass;
    __m512i order; // of the packed quarters, back to the units' order
    __mmask64 lineBreaks;
    // (The masked forms of the intrinsics below, with every lane taken:
    // the plain ones trip a false warning of GCC 12 in its own header.)
    __attribute__((target("avx512f,avx512bw"))) static __m512i rows(const uint8_t (&bitmap)[16])
    {
        return _mm512_maskz_broadcast_i32x4(__mmask16(0xFFFF), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bitmap)));
    }
    __attribute__((target("avx512f,avx512bw"))) TWidestVectors(const TAsciiBlockRules& r, bool withLineBreaks)
        : lowNibble(_mm512_set1_epi8(0x0F)), rowBit(rows(r.rowBits)), settled(rows(r.settledMarks)),
          letterJoiners(rows(r.letterJoiners)), digitJoiners(rows(r.digitJoiners)), sentenceEnds(rows(r.sentenceEnds)),
          caseBit(_mm512_set1_epi8(0x20)), letterFirst(_mm512_set1_epi8('a')), letterCount(_mm512_set1_epi8(26)),
          digitFirst(_mm512_set1_epi8('0')), digitCount(_mm512_set1_epi8(10)), newline(_mm512_set1_epi8('\n')),
          letterClass(_mm512_set1_epi8(kClassLetter)), digitClass(_mm512_set1_epi8(kClassDigit)),
          punctClass(_mm512_set1_epi8(kClassPunctuation)), order(_mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0)),
          lineBreaks(withLineBreaks ? ~__mmask64(0) : __mmask64(0))
    {
    }
};

// Lanes whose unit is in the set of the bitmap (as wideMember).
__attribute__((target("avx512f,avx512bw"))) inline __mmask64 widestMember(__m512i bitmap, __m512i low, __m512i row)
{
    return _mm512_cmpeq_epi8_mask(_mm512_and_si512(_mm512_shuffle_epi8(bitmap, low), row), row);
}

__attribute__((target("avx512f,avx512bw"))) inline TAsciiLanes widestLanes64(const char16_t* p, uint16_t* cls,
                                                                              uint16_t flags, const TWidestVectors& t)
{
    // As bytes, in order (the pack works within 128-bit quarters).
    const __m512i v = _mm512_maskz_permutexvar_epi64(__mmask8(0xFF), t.order,
                                                     _mm512_packus_epi16(_mm512_loadu_si512(p), _mm512_loadu_si512(p + 32)));
    // x in [first, first + count) as one unsigned comparison.
    const __mmask64 letter =
        _mm512_cmplt_epu8_mask(_mm512_sub_epi8(_mm512_or_si512(v, t.caseBit), t.letterFirst), t.letterCount);
    const __mmask64 digit = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, t.digitFirst), t.digitCount);
    const __m512i low = _mm512_and_si512(v, t.lowNibble);
    const __m512i row = _mm512_shuffle_epi8(t.rowBit, _mm512_and_si512(_mm512_srli_epi16(v, 4), t.lowNibble));
    const __mmask64 punct = widestMember(t.settled, low, row);
    const __mmask64 blank = _mm512_cmpeq_epi8_mask(v, t.caseBit);
    const __mmask64 lineBreak = _mm512_cmpeq_epi8_mask(v, t.newline) & t.lineBreaks;
    const __mmask64 cased = _mm512_test_epi8_mask(v, t.caseBit); // the case bit is set
    // Classes as bytes: letter 1 (with the upper-case flag, the case bit's
    // value, when that bit is clear), digit 2, punctuation 5, blank 0.
    const __m512i c8 = _mm512_or_si512(
        _mm512_or_si512(_mm512_maskz_mov_epi8(letter, t.letterClass), _mm512_maskz_mov_epi8(letter & ~cased, t.caseBit)),
        _mm512_or_si512(_mm512_maskz_mov_epi8(digit, t.digitClass), _mm512_maskz_mov_epi8(punct, t.punctClass)));
    const __m512i f = _mm512_set1_epi16(short(flags));
    _mm512_storeu_si512(cls, _mm512_or_si512(_mm512_cvtepu8_epi16(_mm512_maskz_extracti64x4_epi64(__mmask8(0xF), c8, 0)), f));
    _mm512_storeu_si512(cls + 32, _mm512_or_si512(_mm512_cvtepu8_epi16(_mm512_maskz_extracti64x4_epi64(__mmask8(0xF), c8, 1)), f));
    return {letter | digit | punct | blank | lineBreak,
            letter,
            digit,
            widestMember(t.letterJoiners, low, row),
            widestMember(t.digitJoiners, low, row),
            widestMember(t.sentenceEnds, low, row),
            lineBreak,
            letter & cased,
            blank};
}

// The AVX-512 lanes, for blockRun.
struct TWidestLanes {
    const TWidestVectors& t;
    __attribute__((target("avx512f,avx512bw"))) TAsciiLanes operator()(const char16_t* p, uint16_t* cls, uint16_t flags) const
    {
        return widestLanes64(p, cls, flags, t);
    }
};
#endif

// Blocks from `i` on, as far as they go; returns where they stopped.
template <class Lanes>
__attribute__((always_inline)) inline int32_t blockRun(const Lanes& lanes, const char16_t* p, int32_t i, int32_t end,
                                                       uint16_t* cls, uint16_t flags, TBlockState& st)
{
    startBlocks(cls, i, st);
    while (i + kBlockUnits <= end) {
        const uint32_t nf = settleBlock(lanes(p + i, cls + i, flags), p, i, cls, flags, st);
        // Not i += nf: the next block's loads would wait for this block's
        // masks, where a predicted branch lets them start at once.
        if (nf < kBlockSettles)
            return i + int32_t(nf);
        i += int32_t(kBlockSettles);
    }
    return i;
}

#if defined(CV_AVX2_PATHS)
// Built for AVX2 as a whole (flatten: the lanes are inlined too).
__attribute__((target("avx2,popcnt"), flatten, noinline)) int32_t wideBlocks(const char16_t* p, int32_t i, int32_t end,
                                                                             uint16_t* cls, uint16_t flags,
                                                                             const TAsciiBlockRules& rules,
                                                                             bool lineBreaks, TBlockState& st)
{
    TWideVectors t(rules, lineBreaks);
    // The constants stay where they are made (in registers, or as operands
    // from memory) instead of being made again in every block.
    asm("" : "+m"(t));
    TBlockState s = st; // in registers
    i = blockRun(TWideLanes{t}, p, i, end, cls, flags, s);
    st = s;
    return i;
}

// The same with the AVX-512 lanes.
__attribute__((target("avx512f,avx512bw,avx2,popcnt"), flatten, noinline)) int32_t widestBlocks(
    const char16_t* p, int32_t i, int32_t end, uint16_t* cls, uint16_t flags, const TAsciiBlockRules& rules,
    bool lineBreaks, TBlockState& st)
{
    const TWidestVectors t(rules, lineBreaks);
    TBlockState s = st; // in registers
    i = blockRun(TWidestLanes{t}, p, i, end, cls, flags, s);
    st = s;
    return i;
}
#endif

// Inlined into each build of Classify (see CV_CLASSIFY_CLONES).
__attribute__((always_inline)) inline int32_t fastRun(const char16_t* p, int32_t i, int32_t end, const uint8_t* kinds,
                                                      uint16_t* cls, uint16_t flags, const TFastRules& rules,
                                                      const TBlockVectors& vectors, bool pendingSentence, FastRun& s)
{
    const bool keepNumbers = rules.keepNumbers, asciiBlocks = rules.asciiBlocks;
    // Branch-free but for the rare exits: word lengths vary too much for
    // the branches of a letter/blank switch to be predicted.
    unsigned inWord = s.inWord, letterSeen = s.letterSeen, sawSpace = s.sawSpace, sawWord = 0;
    unsigned content = s.content, contentPara = s.contentPara;
    const unsigned numbers = keepNumbers;
    int32_t words = s.words, sentences = s.sentences, paragraphs = s.paragraphs;
    for (;;) {
        int32_t scalarEnd = end;
#if defined(__SSE2__)
        if (asciiBlocks && !pendingSentence) {
            TBlockState st{inWord, letterSeen, content | sawWord, contentPara | sawWord, numbers, words, sentences, paragraphs};
#if defined(CV_AVX2_PATHS)
            if (rules.wideBlocks)
                i = (rules.widestBlocks ? widestBlocks : wideBlocks)(p, i, end, cls, flags, *rules.blockRules,
                                                                     rules.lineBreaks && (flags & kFlagInHeading) == 0, st);
            else
#endif
                i = blockRun([&vectors](const char16_t* at, uint16_t* c, uint16_t f) { return asciiLanes64(at, c, f, vectors); },
                             p, i, end, cls, flags, st);
            inWord = st.inWord;
            letterSeen = st.letterSeen;
            content = st.content;
            contentPara = st.contentPara;
            sawWord = 0;
            words = st.words;
            sentences = st.sentences;
            paragraphs = st.paragraphs;
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
                ++i; // back to the blocks
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
    s = FastRun{inWord != 0, letterSeen != 0, sawSpace != 0, (content | sawWord) != 0, (contentPara | sawWord) != 0,
                words, sentences, paragraphs};
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
    // What blocks of ASCII may settle themselves: see TAsciiBlockRules. The
    // SSE2 blocks take the joiners and the stops one by one; the wide blocks
    // take the same as bitmaps over the ASCII characters: row h of a bitmap
    // is bit h of its sixteen bytes. The rows past 0x7F get all bits (no
    // bitmap has every bit of a byte: the controls of row 0 are in none).
    int stops = 0;
    m_blockRules.punctuation = true;
    for (int h = 0; h < 16; ++h)
        m_blockRules.rowBits[h] = h < 8 ? uint8_t(1u << h) : 0xFF;
    for (char16_t c = u'!'; c < 0x7F; ++c) {
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
            continue;
        const uint8_t kind = k[c];
        if (kind != kPunct) {
            if (c == u'\'' && kind == kApostrophe)
                m_blockRules.apostrophe = m_apostrophes ? c : 0;
            else if (c == u'-' && kind == kHyphen)
                m_blockRules.hyphen = m_hyphensJoin ? c : 0;
            else if ((c == u',' || c == u'.') && kind == kNumberSep)
                (c == u',' ? m_blockRules.comma : m_blockRules.dot) = c;
            else if (stops < int(std::size(m_blockRules.stops)))
                m_blockRules.stops[stops++] = c;
            else
                m_blockRules.punctuation = false;
        }
        const bool joinsLetters = c == m_blockRules.apostrophe || c == m_blockRules.hyphen;
        const bool joinsDigits = c == m_blockRules.comma || c == m_blockRules.dot;
        const bool plain = kind == kPunct || (c == u'\'' && kind == kApostrophe) || (c == u'-' && kind == kHyphen);
        const bool sentenceEnd = kind == kSentenceEnd;
        const uint8_t bit = uint8_t(1u << (c >> 4));
        if (plain || joinsLetters || joinsDigits || sentenceEnd)
            m_blockRules.settledMarks[c & 0x0F] |= bit;
        if (joinsLetters)
            m_blockRules.letterJoiners[c & 0x0F] |= bit;
        if (joinsDigits || (sentenceEnd && JoinsDigits(c))) // "." and "," join digits as sentence ends too
            m_blockRules.digitJoiners[c & 0x0F] |= bit;
        if (sentenceEnd)
            m_blockRules.sentenceEnds[c & 0x0F] |= bit;
    }
    m_wideBlocksPossible = ProcessorHasAvx2();
    m_wideBlocks = m_wideBlocksPossible;
    m_widestBlocksPossible = ProcessorHasAvx512Bw();
    m_widestBlocks = m_widestBlocksPossible;
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
        // Of the sentence ends only "." and "," are number separators
        // ("3.5"); "680?0" and "5!5" are two numbers.
        if (JoinsDigits(c) && joinsDigits()) {
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
    case kJoiner:
        if (joinsLetters()) {
            r.cls[i] = uint16_t(kClassLetter | r.flags);
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
    // A line break that only ends a paragraph (no section marker to look
    // for, every line a paragraph) is settled in blocks outside headings.
    const TFastRules rules{r.n,
                           m_keepNumbers,
                           m_asciiBlocks,
                           m_apostrophes,
                           m_hyphensJoin,
                           m_wideBlocks,
                           m_wideBlocks && m_widestBlocks,
                           m_sectionMarker.empty() && !m_blankLineParagraphs,
                           &m_blockRules};
    const TBlockVectors blockVectors(m_blockRules);
    std::size_t nextForced = 0;
    int32_t i = 0;
    while (i < r.n) {
        const int32_t segmentEnd = nextForced < forced.size() ? std::min(r.n, forced[nextForced] + 1) : r.n;
        while (i < segmentEnd) {
            FastRun run{m_inWord, m_letterSeen, m_sawSpace, m_contentSinceSentence, m_contentSinceParagraph, 0, 0, 0};
            i = fastRun(r.p, i, segmentEnd, kinds, classes, r.flags, rules, blockVectors, m_pendingSentence >= 0, run);
            m_inWord = run.inWord;
            m_letterSeen = run.letterSeen;
            m_sawSpace = run.sawSpace;
            m_contentSinceSentence = run.content;
            m_contentSinceParagraph = run.contentPara;
            stats.Words += run.words;
            stats.Sentences += run.sentences;
            stats.Paragraphs += run.paragraphs;
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
