#include "wordlist/wordlist_buffer_processor.h"

#include "suite/lemmatiser.h"
#include "textread/class_array.h"
#include "textread/cpu_features.h"
#include "wordlist/dispersion.h"
#include "wordlist/word_folding.h"

#include <QDir>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#define CV_WORDLIST_SSE2 1
#else
#define CV_WORDLIST_SSE2 0
#endif
#if defined(CV_AVX2_PATHS)
#include <immintrin.h>
#endif
#include <QFileInfo>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <limits>

namespace cv {

namespace {

// Word units: codes 1 (letter), 2 (digit), 3 (apostrophe), 4 (hyphen) and 6
// (number separator), never a tag unit.
inline bool IsWordUnit(uint16_t v)
{
    return (v & kTagBit) == 0 && ((0x5Eu >> (v & kClassCodeMask)) & 1u) != 0;
}

// Boundary level of a non-word, non-tag unit: codes 15, 17, 19, 21 give 2 to 5.
inline int LevelOfCode(uint16_t code)
{
    return code >= kClassSentenceEnd ? (code - 11) >> 1 : 0;
}

constexpr int32_t kNoSlice = std::numeric_limits<int32_t>::max();

#if CV_WORDLIST_SSE2
inline unsigned LaneBits(__m128i m)
{
    return unsigned(_mm_movemask_epi8(_mm_packs_epi16(m, m)) & 0xFF);
}
// Sixteen class units: which are word units and which are boundaries or
// listed tags ("special"), bit j for unit j.
struct TClassMasks {
    unsigned word;
    unsigned special;
};
inline __m128i InByteRange(__m128i x, char lo, char count)
{
    // lo <= x < lo + count, as unsigned bytes
    const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8(lo));
    return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(char(count - 1))), d);
}
inline TClassMasks ClassMasks16(const uint16_t* c)
{
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 8));
    // The class codes as bytes; a tag unit (code and tag bit) saturates to
    // 0x7F, in none of the ranges below.
    const __m128i codeAndTag = _mm_set1_epi16(0x0800 | kClassCodeMask);
    const __m128i t = _mm_packs_epi16(_mm_and_si128(v0, codeAndTag), _mm_and_si128(v1, codeAndTag));
    const __m128i word = _mm_or_si128(InByteRange(t, kClassLetter, 4), _mm_cmpeq_epi8(t, _mm_set1_epi8(kClassNumberJoiner)));
    const __m128i boundary = InByteRange(t, kClassSentenceEnd, 32 - kClassSentenceEnd);
    // A listed tag: the tag bit with a number above 0.
    const __m128i tagAndNumber = _mm_set1_epi16(kTagBit | kTagNumberMask);
    const __m128i listed = _mm_packs_epi16(_mm_cmpgt_epi16(_mm_and_si128(v0, tagAndNumber), _mm_set1_epi16(kTagBit)),
                                           _mm_cmpgt_epi16(_mm_and_si128(v1, tagAndNumber), _mm_set1_epi16(kTagBit)));
    return {unsigned(_mm_movemask_epi8(word)), unsigned(_mm_movemask_epi8(_mm_or_si128(boundary, listed)))};
}
const uint16_t kLaneMasks[9][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0},
    {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
};

// Folds the first `lanes` (1..8) units at p into out (eight units written,
// those past `lanes` zero) and feeds both halves to the hash; false, writing
// nothing, when one of them is outside ASCII. `letters` gets the lanes whose
// class (at c) is a letter.
inline bool FoldAscii8(const char16_t* p, const uint16_t* c, int32_t lanes, TCaseFolding folding, char16_t* out,
                       uint64_t& hash, unsigned& letters)
{
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMasks[lanes]));
    const __m128i u = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), mask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(int16_t(0xFF80))), _mm_setzero_si128()))
        != 0xFFFF)
        return false;
    __m128i f = u;
    if (folding == TCaseFolding::Lower) {
        const __m128i upper =
            _mm_and_si128(_mm_cmpgt_epi16(u, _mm_set1_epi16('A' - 1)), _mm_cmpgt_epi16(_mm_set1_epi16('Z' + 1), u));
        f = _mm_add_epi16(u, _mm_and_si128(upper, _mm_set1_epi16(32)));
    } else if (folding == TCaseFolding::Upper) {
        const __m128i lower =
            _mm_and_si128(_mm_cmpgt_epi16(u, _mm_set1_epi16('a' - 1)), _mm_cmpgt_epi16(_mm_set1_epi16('z' + 1), u));
        f = _mm_sub_epi16(u, _mm_and_si128(lower, _mm_set1_epi16(32)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), f);
    hash = TWordHasher::Round(hash, uint64_t(_mm_cvtsi128_si64(f)));
    hash = TWordHasher::Round(hash, uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(f, f))));
    const __m128i t = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), _mm_set1_epi16(0x0800 | kClassCodeMask));
    letters |= LaneBits(_mm_and_si128(_mm_cmpeq_epi16(t, _mm_set1_epi16(kClassLetter)), mask));
    return true;
}
#endif

// One unit's masks, the way the blocks' forms take them.
inline void UnitMasks(uint16_t v, int bit, uint64_t& word, uint64_t& special)
{
    if (IsWordUnit(v))
        word |= uint64_t(1) << bit;
    else if ((v & kTagBit) ? (v & kTagNumberMask) != 0 : LevelOfCode(v & kClassCodeMask) > 0)
        special |= uint64_t(1) << bit;
}

#if defined(CV_AVX2_PATHS)
// The AVX-512 form of the masks: 32 units a comparison, on the units
// themselves (the SSE2 form packs them to bytes first).
__attribute__((target("avx512f,avx512bw"))) void WidestMasks(const uint16_t* c, int32_t blocks, uint64_t* word,
                                                             uint64_t* special)
{
    const __m512i codeAndTag = _mm512_set1_epi16(short(kTagBit | kClassCodeMask));
    const __m512i letter = _mm512_set1_epi16(kClassLetter), wordCodes = _mm512_set1_epi16(4);
    const __m512i joiner = _mm512_set1_epi16(kClassNumberJoiner);
    const __m512i sentenceEnd = _mm512_set1_epi16(kClassSentenceEnd);
    const __m512i boundaryCodes = _mm512_set1_epi16(32 - kClassSentenceEnd);
    const __m512i tagAndNumber = _mm512_set1_epi16(short(kTagBit | kTagNumberMask));
    const __m512i tagBit = _mm512_set1_epi16(short(kTagBit));
    for (int32_t k = 0; k < blocks; ++k, c += 64) {
        uint64_t w = 0, s = 0;
        for (int h = 0; h < 2; ++h) {
            const __m512i v = _mm512_loadu_si512(c + 32 * h);
            // The code with the tag bit: a tag unit is above every code.
            const __m512i t = _mm512_and_si512(v, codeAndTag);
            const __mmask32 isWord =
                _mm512_cmplt_epu16_mask(_mm512_sub_epi16(t, letter), wordCodes) | _mm512_cmpeq_epi16_mask(t, joiner);
            const __mmask32 boundary = _mm512_cmplt_epu16_mask(_mm512_sub_epi16(t, sentenceEnd), boundaryCodes);
            // A listed tag: the tag bit with a number above 0.
            const __mmask32 listed = _mm512_cmpgt_epi16_mask(_mm512_and_si512(v, tagAndNumber), tagBit);
            w |= uint64_t(isWord) << (32 * h);
            s |= uint64_t(boundary | listed) << (32 * h);
        }
        word[k] = w;
        special[k] = s;
    }
}
#endif

} // namespace

void WordAndSpecialMasks(const uint16_t* c, int32_t blocks, uint64_t* word, uint64_t* special, bool widest)
{
#if defined(CV_AVX2_PATHS)
    if (widest && ProcessorHasAvx512Bw()) {
        WidestMasks(c, blocks, word, special);
        return;
    }
#else
    (void)widest;
#endif
    for (int32_t k = 0; k < blocks; ++k, c += 64) {
        uint64_t w = 0, s = 0;
#if CV_WORDLIST_SSE2
        for (int q = 0; q < 4; ++q) {
            const TClassMasks m = ClassMasks16(c + 16 * q);
            w |= uint64_t(m.word) << (16 * q);
            s |= uint64_t(m.special) << (16 * q);
        }
#else
        for (int j = 0; j < 64; ++j)
            UnitMasks(c[j], j, w, s);
#endif
        word[k] = w;
        special[k] = s;
    }
}

namespace {

// The words of a stretch [from, to) of a chunk of n units: where each
// begins and ends (one past its last unit), and where the boundaries and
// listed tags between them stand, appended to the arrays (`words` starts,
// `wordEnds` ends, `sp` specials). Sixty-four units at a time as bit masks,
// so that finding a word costs no guess about where it ends; `from` is a
// multiple of 64, and `carry` says whether the unit before it is a word unit
// (and, after the call, the last unit of the stretch). A word running past
// `to` has its start noted and its end in a later stretch (or at n).
// The arrays take (to - from) / 2 + 2 words and to - from + 1 specials; the
// stretch is at most kMaxStretchUnits long.
constexpr int32_t kMaxStretchUnits = 2048;
static_assert(kMaxStretchUnits % 64 == 0);
void FindWords(const uint16_t* c, int32_t from, int32_t to, int32_t n, uint64_t& carry, int32_t* starts,
               std::size_t& words, int32_t* ends, std::size_t& wordEnds, int32_t* specials, std::size_t& sp)
{
    // The masks of the blocks whose 64 units are all in the chunk, at once;
    // those of a last, shorter block unit by unit.
    uint64_t wordMasks[kMaxStretchUnits / 64], specialMasks[kMaxStretchUnits / 64];
    const int32_t blocks = (to - from + 63) / 64;
    const int32_t whole = std::min(blocks, (n - from) / 64);
    WordAndSpecialMasks(c + from, whole, wordMasks, specialMasks, true);
    for (int32_t k = 0; k < blocks; ++k) {
        const int32_t b = from + 64 * k;
        uint64_t word = 0, special = 0;
        if (k < whole) {
            word = wordMasks[k];
            special = specialMasks[k];
        } else {
            for (int32_t j = b; j < std::min(n, b + 64); ++j)
                UnitMasks(c[j], j - b, word, special);
        }
        for (uint64_t m = word & ~((word << 1) | carry); m; m &= m - 1)
            starts[words++] = b + __builtin_ctzll(m);
        for (uint64_t m = ~word & ((word << 1) | carry); m; m &= m - 1)
            ends[wordEnds++] = b + __builtin_ctzll(m);
        for (uint64_t m = special; m; m &= m - 1)
            specials[sp++] = b + __builtin_ctzll(m);
        carry = word >> 63;
    }
    if (to == n && carry)
        ends[wordEnds++] = n;
}

constexpr std::size_t kBatchWords = 64;
// A word's folded units take max(16, its length rounded up to four) units
// of the batch text, and the folding writes at most eight units past a
// multiple of eight beyond its start: so much room is kept after the last.
constexpr std::size_t kWordSpare = 32;
constexpr std::size_t kBatchTextSpare = kBatchWords * 16 + 64;

// Units a folded word takes in the batch text: padded with zeros to a
// multiple of four, and to sixteen at least (TWordlistParentTree::FindTypeWide).
inline int32_t BatchUnits(int32_t length)
{
    return std::max(TWordlistKey::kPrefixUnits, TWordlistParentTree::PaddedLength(length));
}

} // namespace

QString WordsTooLongText(int64_t count)
{
    const QLocale english(QLocale::English);
    const QString longest = english.toString(kMaxTypeLength);
    return count == 1 ? QStringLiteral("a word longer than %1 characters, the longest a word may be, was passed over "
                                       "(it counts neither as a running word nor as a type)")
                            .arg(longest)
                      : QStringLiteral("%1 words longer than %2 characters, the longest a word may be, were passed over "
                                       "(they count neither as running words nor as types)")
                            .arg(english.toString(qlonglong(count)), longest);
}

TWordlistBufferProcessor::TWordlistBufferProcessor(TCorvantisholder* document, TWordlistRunContext& run,
                                                   const TChosenTextRec& text, int32_t textIndex,
                                                   TTagHandlerBase* tagHandler, uint8_t jobKind, uint8_t combining,
                                                   TFileHandledCallback fileHandled)
    : TBufferProcessor(document, std::move(fileHandled), nullptr, tagHandler, text, run.settings, jobKind, combining,
                       false),
      fRun(run), fTree(*run.tree), fTextIndex(textIndex),
      fStats(run.settings.STTRBasis(),
             !run.settings.SectionStartMarker().isEmpty() || run.settings.TextSelectionOn()),
      fMinLength(std::max(1, run.settings.MinWordLength())),
      fMaxLength(run.settings.MaxWordLength() > 0 ? run.settings.MaxWordLength() : std::numeric_limits<int32_t>::max()),
      fKeepNumbers(run.settings.KeepNumbers()), fBatchText(run.batchText)
{
    fNextSliceIndex = kNoSlice;
    UseScratch(&run.scratch);
    SetMaxChunkChars(run.chunkUnits);
    // The tenths of a one-text run are tenths of its characters, whatever
    // bytes the encoding spends on them.
    SetCountTextUnits(run.slicedParts);
}

void TWordlistBufferProcessor::StartText()
{
    fStarted = true;
    fTree.BeginText(fTextIndex);
    if (fRun.sink)
        fRun.sink->BeginText(fTextIndex);
    fFirstPart = fRun.nextPart;
    fRun.nextPart += fRun.slicedParts ? kDispersionPartsOfOneText : 1;
    fSlice = 0;
    fTree.BeginPart(fFirstPart);
    if (fRun.slicedParts) {
        int64_t units = TextUnits();
        if (units < 0) {
            // Not counted (the text was cut short meanwhile): its size tells about as much.
            units = FileHandledInfo.TextSize() - int64_t(FileSignatureBytes.size());
            if (FileHandledInfo.TwoByteText())
                units /= 2;
        }
        fSliceUnits = std::max<int64_t>(1, (units + kDispersionPartsOfOneText - 1) / kDispersionPartsOfOneText);
    }
}

void TWordlistBufferProcessor::ProcessAChunkOfFile(int32_t chunkIndex)
{
    if (chunkIndex < 0) {
        FinishText();
        return;
    }
    if (!fStarted)
        StartText();
    if (fRun.slicedParts)
        fNextSliceIndex = fSlice + 1 < kDispersionPartsOfOneText
                              ? BufferIndexOfSourcePosition(int64_t(fSlice + 1) * fSliceUnits)
                              : kNoSlice;
    const auto t0 = std::chrono::steady_clock::now();
    CutWords();
    fRun.cutSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void TWordlistBufferProcessor::StartPartAt(int32_t start)
{
    const int64_t pos = SourcePositionOf(start);
    const int32_t slice = int32_t(std::min<int64_t>(kDispersionPartsOfOneText - 1, pos / fSliceUnits));
    if (slice > fSlice) {
        fTree.EndPart(fPartWords);
        fPartWords = 0;
        fSlice = slice;
        fTree.BeginPart(fFirstPart + fSlice);
    }
    fNextSliceIndex = fSlice + 1 < kDispersionPartsOfOneText
                          ? std::max(start + 1, BufferIndexOfSourcePosition(int64_t(fSlice + 1) * fSliceUnits))
                          : kNoSlice;
}

// What the words of one chunk share while they are cut.
struct TWordlistBufferProcessor::TCut {
    const char16_t* p;
    const uint16_t* c;
    int32_t n;
    const std::array<char16_t, 65536>* fold;
    TCaseFolding folding;
    bool asciiPlain;
    bool keepNumbers;
    int32_t minLength, maxLength;
};

void TWordlistBufferProcessor::CutWords()
{
    const std::u16string_view buffer = Buffer();
    TCut cut;
    cut.p = buffer.data();
    cut.c = Classes().data();
    cut.n = int32_t(buffer.size());
    cut.fold = &fRun.folder->Table();
    cut.folding = fRun.folder->Folding();
    cut.asciiPlain = fRun.folder->AsciiFoldsPlainly();
    cut.keepNumbers = fKeepNumbers;
    cut.minLength = fMinLength;
    cut.maxLength = fMaxLength;
    const int32_t n = cut.n;
    const uint16_t* const c = cut.c;
    const bool useTags = fRun.useTags;
    // Room for a batch's words: their units and padding never run more than
    // a few units per word ahead of the buffer (kBatchTextSpare).
    fBatchText.Room(std::size_t(n) + kBatchTextSpare);
    if (fBatch.size() < kBatchWords)
        fBatch.resize(kBatchWords);
    // The chunk is cut a stretch at a time: its words found, then cut, while
    // the stretch's classes and units and the words' places are still in
    // the first-level cache.
    const std::size_t stretch = std::size_t(std::min(n, kMaxStretchUnits));
    int32_t* const starts = fRun.starts.Room(stretch / 2 + 2);
    int32_t* const ends = fRun.ends.Room(stretch / 2 + 2);
    int32_t* const specials = fRun.specials.Room(stretch + 1);

    // Boundaries and tags after the last word of a chunk count for the first
    // word of the next one.
    int barrier = fCarriedBarrier;
    uint16_t tag = fCarriedTag;
    auto note = [&](uint16_t v) {
        if (v & kTagBit) {
            if (const uint16_t t = v & kTagNumberMask)
                tag = t;
        } else if (const int level = LevelOfCode(v & kClassCodeMask); level > barrier) {
            barrier = level;
        }
    };
    // The batch's state in locals while words are cut (written back for each flush).
    TPending* const batch = fBatch.data();
    std::size_t batchCount = fBatchCount;
    uint32_t textUsed = fBatchTextUsed;
    char16_t* const textBase = fBatchText.Data();
    const std::size_t textRoom = fBatchText.Size();
    auto flush = [&] {
        fBatchCount = batchCount;
        fBatchTextUsed = textUsed;
        FlushBatch();
        batchCount = 0;
        textUsed = 0;
    };
    const int32_t* const startAt = starts;
    const int32_t* const endAt = ends;
    uint64_t carry = 0;
    std::size_t words = 0; // starts noted: 1 when a word runs on from the last stretch
    for (int32_t from = 0; from < n; from += kMaxStretchUnits) {
        std::size_t wordEnds = 0, specialCount = 0;
        FindWords(c, from, std::min(n, from + kMaxStretchUnits), n, carry, starts, words, ends, wordEnds, specials,
                  specialCount);
        const int32_t* special = specials;
        const int32_t* const specialEnd = special + specialCount;
        for (std::size_t w = 0; w < wordEnds; ++w) {
            const int32_t start = startAt[w];
            const int32_t length = endAt[w] - start;
            while (special != specialEnd && *special < start)
                note(c[*special++]);
            if (textUsed + std::size_t(length) + kWordSpare > textRoom)
                flush();
            TPending& pending = batch[batchCount];
            pending.textAt = textUsed;
            pending.length = length;
            pending.start = start;
            pending.tag = tag;
            pending.keyTag = useTags ? tag : 0;
            pending.barrier = uint8_t(barrier);
            pending.inHeading = (c[start] & kFlagInHeading) != 0;
            char16_t* const out = textBase + textUsed;
            bool done = false;
#if CV_WORDLIST_SSE2
            // Most words: up to eight ASCII units, folded and hashed in registers.
            if (length <= 8 && cut.asciiPlain && start + 8 <= n) {
                uint64_t h = TWordHasher::kSeed;
                unsigned letter = 0;
                if (FoldAscii8(cut.p + start, c + start, length, cut.folding, out, h, letter)) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_setzero_si128());
                    pending.characters = length;
                    pending.hash = 0;
                    if (!letter && !cut.keepNumbers) {
                        pending.kind = kPendingNumber;
                    } else if (length < cut.minLength || length > cut.maxLength) {
                        pending.kind = kPendingRunning;
                    } else {
                        pending.kind = kPendingType;
                        pending.hash = TWordHasher::Finish(h, length, pending.keyTag);
                        fTree.PrefetchSlot(pending.hash);
                        textUsed += uint32_t(TWordlistKey::kPrefixUnits);
                    }
                    done = true;
                }
            }
#endif
            if (!done)
                textUsed += CutWord(cut, pending, out);
            if (++batchCount == kBatchWords)
                flush();
            barrier = 0;
            tag = 0;
        }
        // What is left stands before the next word.
        while (special != specialEnd)
            note(c[*special++]);
        if (words > wordEnds)
            starts[0] = starts[wordEnds];
        words -= wordEnds;
    }
    fCarriedBarrier = barrier;
    fCarriedTag = tag;
    flush();
}

uint32_t TWordlistBufferProcessor::CutWord(const TCut& cut, TPending& pending, char16_t* out)
{
    // Any word (its start, length and tags set): folded, hashed and judged.
    // Returns the units of the batch text it takes.
    const int32_t start = pending.start, length = pending.length;
    pending.hash = 0;
    pending.characters = length;
    if (length > kMaxTypeLength) {
        // Not folded: nothing is made of it.
        pending.kind = kPendingTooLong;
        return 0;
    }
    const char16_t* const p = cut.p;
    const uint16_t* const c = cut.c;
    uint64_t h = TWordHasher::kSeed;
    unsigned letter = 0;
    bool folded = false;
#if CV_WORDLIST_SSE2
    // ASCII words eight units at a time, folded and hashed in registers.
    if (cut.asciiPlain && start + length + 8 <= cut.n) {
        folded = FoldAscii8(p + start, c + start, std::min(8, length), cut.folding, out, h, letter);
        if (folded) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_setzero_si128());
            for (int32_t o = 8; o < length && folded; o += 8)
                folded = FoldAscii8(p + start + o, c + start + o, std::min(8, length - o), cut.folding, out + o, h, letter);
        }
        if (!folded) {
            h = TWordHasher::kSeed;
            letter = 0;
        }
    }
#endif
    char16_t above = 0;
    if (!folded) {
        // Folded through the table, four units at a time into the hash.
        const std::array<char16_t, 65536>& fold = *cut.fold;
        uint64_t four = 0;
        unsigned shift = 0, rounds = 0;
        for (int32_t k = 0; k < length; ++k) {
            const char16_t u = p[start + k];
            const char16_t f = fold[u];
            above |= u;
            out[k] = f;
            four |= uint64_t(f) << shift;
            shift += 16;
            if (shift == 64) {
                h = TWordHasher::Round(h, four);
                ++rounds;
                four = 0;
                shift = 0;
            }
            letter |= unsigned((c[start + k] & kClassCodeMask) == kClassLetter);
        }
        if (shift != 0) {
            h = TWordHasher::Round(h, four);
            ++rounds;
        }
        if (rounds % 2 != 0)
            h = TWordHasher::Round(h, 0);
        for (int32_t k = length; k < BatchUnits(length) + 4; ++k)
            out[k] = 0;
    }
    int32_t characters = length;
    uint32_t taken = 0;
    if (!letter && !cut.keepNumbers) {
        pending.kind = kPendingNumber;
    } else {
        bool refold = false;
        if (above >= 0xD800) {
            // Characters beyond the Basic Multilingual Plane: folded as pairs, counted once.
            for (int32_t k = 0; k < length; ++k)
                if ((p[start + k] & 0xFC00) == 0xDC00) {
                    --characters;
                    refold = true;
                }
            if (refold)
                fRun.folder->FoldSupplementary(p + start, length, out);
        }
        if (characters < cut.minLength || characters > cut.maxLength) {
            pending.kind = kPendingRunning;
        } else {
            pending.kind = kPendingType;
            pending.hash = refold ? HashPaddedWordlistKey(out, length, pending.keyTag)
                                  : TWordHasher::Finish(h, length, pending.keyTag);
            fTree.PrefetchSlot(pending.hash);
            taken = uint32_t(BatchUnits(length));
        }
    }
    pending.characters = characters;
    return taken;
}

void TWordlistBufferProcessor::FlushBatch()
{
    // A run without a token sink (a word list) does not ask about one per token.
    if (fRun.sink)
        FlushBatchTo<true>();
    else
        FlushBatchTo<false>();
}

template <bool kWithSink>
void TWordlistBufferProcessor::FlushBatchTo()
{
    // The slots of the batch's words were asked for as they were cut; now,
    // for the word counted, the type of a word a few places ahead (which
    // reads its slot) and then, for long words, the rest of its spelling.
    // So a handful of words' look-ups are under way at any time without
    // waiting on one another. The type a word's slot named then is its
    // first guess when it is counted.
    constexpr std::size_t kTypeAhead = 16, kSpellingAhead = 4;
    static_assert((kTypeAhead & (kTypeAhead - 1)) == 0);
    const std::size_t count = fBatchCount;
    const TPending* const batch = fBatch.data();
    const char16_t* const text = fBatchText.Data();
    TWordlistParentTree::TLookup lookup(fTree);
    struct TGuess {
        TWordlistKey* type;
        uint32_t id;
    };
    TGuess guesses[kTypeAhead];
    for (std::size_t k = 0; k < std::min(kTypeAhead, count); ++k)
        guesses[k].type = lookup.Guess(batch[k].hash, guesses[k].id);
    // A sink that takes batches gets the batch's words once they are all
    // counted; any other sink gets each word as it is counted.
    TWordTokenSink::TBatchToken* sinkOut = nullptr;
    if constexpr (kWithSink) {
        if (fRun.sink->TakesBatches()) {
            if (fSinkBatch.size() < count)
                fSinkBatch.resize(std::max(count, kBatchWords));
            sinkOut = fSinkBatch.data();
        }
    }
    // The counts in locals (registers) while the batch is counted. The
    // statistics stay where they are: too large for registers, a copy of
    // them would only be two more copies per batch.
    TTextStatisticsBuilder& stats = fStats;
    TWordlistTree::TTokenCounter counter(fTree);
    int32_t sttrChunk = fRun.sttrChunk;
    int64_t partWords = fPartWords;
    bool counting = false;
    auto writeBack = [&] {
        counter.Commit();
        fRun.sttrChunk = sttrChunk;
        fPartWords = partWords;
    };
    for (std::size_t at = 0; at < count; ++at) {
        const TGuess guess = guesses[at & (kTypeAhead - 1)];
        if (at + kTypeAhead < count) {
            TGuess& next = guesses[at & (kTypeAhead - 1)];
            next.type = lookup.Guess(batch[at + kTypeAhead].hash, next.id);
        }
        if (at + kSpellingAhead < count && batch[at + kSpellingAhead].length > TWordlistKey::kPrefixUnits)
            fTree.PrefetchSpelling(batch[at + kSpellingAhead].hash, batch[at + kSpellingAhead].length);
        const TPending& w = batch[at];
        if (w.start >= fNextSliceIndex) {
            writeBack();
            StartPartAt(w.start);
            partWords = fPartWords;
            counter = TWordlistTree::TTokenCounter(fTree);
        }
        if (w.kind == kPendingNumber || w.kind == kPendingTooLong) {
            if (w.kind == kPendingNumber) {
                stats.NumberRemoved(w.barrier);
            } else {
                stats.NotARunningWord(w.barrier);
                ++fTooLong;
            }
            if constexpr (kWithSink) {
                if (sinkOut)
                    sinkOut[at] = {TWordlistParentTree::kNoType, 0, w.tag, w.barrier, 0};
                else
                    NotifySink(w.start, w.length, TWordlistParentTree::kNoType, w.barrier, w.tag, false, false);
            }
            continue;
        }
        stats.RunningWord(w.barrier, w.inHeading);
        // A part's size is its running words (stop-list words and words
        // outside the length limits too), as the index weighs its parts.
        ++partWords;
        if (w.kind == kPendingRunning) {
            if constexpr (kWithSink) {
                if (sinkOut)
                    sinkOut[at] = {TWordlistParentTree::kNoType, 0, w.tag, w.barrier, TWordTokenSink::kTokenRunning};
                else
                    NotifySink(w.start, w.length, TWordlistParentTree::kNoType, w.barrier, w.tag, true, false);
            }
            continue;
        }
        uint32_t type = guess.id;
        TWordlistKey* found = guess.type;
        if (!found || !lookup.Is(*found, text + w.textAt, w.length, w.keyTag))
            found = lookup.FindWide(text + w.textAt, w.length, w.keyTag, w.hash, type);
        if (!found) {
            counter.Commit();
            type = AddType(w);
            found = &fTree.Type(type);
            counter = TWordlistTree::TTokenCounter(fTree);
            lookup = TWordlistParentTree::TLookup(fTree); // the index may have grown
        }
        counting = true;
        const TWordlistTree::TCounted counted = counter.Count(*found, type, sttrChunk);
        if (counted.stop) {
            stats.StopTokenRemoved();
        } else if (stats.TokenUsed(w.characters, counted.newInChunk)) {
            ++sttrChunk;
        }
        if constexpr (kWithSink) {
            if (sinkOut) {
                sinkOut[at] = {type, found->sinkValue, w.tag, w.barrier,
                               uint8_t(TWordTokenSink::kTokenRunning | (counted.stop ? TWordTokenSink::kTokenStop : 0))};
            } else {
                counter.Commit(); // the tree as the token left it (the text's counts are the processor's own)
                NotifySink(w.start, w.length, type, w.barrier, w.tag, true, counted.stop);
            }
        }
    }
    writeBack();
    if constexpr (kWithSink) {
        if (sinkOut && count > 0)
            fRun.sink->Tokens({sinkOut, count}, fTree);
    }
    fCounted = fCounted || counting;
    fBatchCount = 0;
    fBatchTextUsed = 0;
}

uint32_t TWordlistBufferProcessor::AddType(const TPending& w)
{
    const char16_t* text = fBatchText.Data() + w.textAt;
    const bool isStop = fRun.stopList
        && FoundInTheList(fRun.tool, TLemmatiserListKind::Stop, QString(reinterpret_cast<const QChar*>(text), qsizetype(w.length)));
    return fTree.AddType(text, w.length, w.keyTag, w.hash, isStop);
}

void TWordlistBufferProcessor::NotifySink(int32_t start, int32_t length, uint32_t type, int barrier, uint16_t tag,
                                          bool running, bool stop)
{
    TWordTokenSink::TToken t;
    t.typeId = type;
    if (type != TWordlistParentTree::kNoType)
        t.spelling = fTree.Text(type);
    t.sourcePosition = SourcePositionOf(start);
    t.length = length;
    t.barrier = barrier;
    t.tagNumber = tag;
    t.running = running;
    t.stop = stop;
    fRun.sink->Token(t);
}

void TWordlistBufferProcessor::FinishText()
{
    FlushBatch();
    // A text without any chunk (empty) still has its part and its row.
    if (!fStarted)
        StartText();
    fTree.EndPart(fPartWords);
    fPartWords = 0;
    const TWordlistTree::TTextTypeCounts counts = fTree.EndText();
    // A new standardised-TTR chunk starts with every text.
    ++fRun.sttrChunk;

    if (fTooLong > 0)
        AddReadNote(WordsTooLongText(fTooLong));
    const TChosenTextRec& text = TextRecord();
    TStatsRec rec;
    fStats.Finish(rec, counts.types, counts.stopTypes);
    const QFileInfo info(text.FullFilename);
    rec.FileName = info.fileName();
    rec.Folder = QDir::toNativeSeparators(info.absolutePath());
    rec.ZipEntryName = text.ZipEntryName;
    rec.FileTime = text.FileTime.isValid() ? text.FileTime.toMSecsSinceEpoch() : 0;
    rec.Bytes = FileHandledInfo.TextSize();
    fRec = std::move(rec);
    if (fRun.sink)
        fRun.sink->EndText(fTextIndex);
}

} // namespace cv
