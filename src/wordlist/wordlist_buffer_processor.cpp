#include "wordlist/wordlist_buffer_processor.h"

#include "suite/lemmatiser.h"
#include "textread/class_array.h"
#include "wordlist/dispersion.h"
#include "wordlist/word_folding.h"

#include <QDir>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#define CV_WORDLIST_SSE2 1
#else
#define CV_WORDLIST_SSE2 0
#endif
#include <QFileInfo>
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
// Eight class units: which are word units and which are boundaries or
// listed tags ("special"), bit j for unit j.
struct TClassMasks {
    unsigned word;
    unsigned special;
};
inline TClassMasks ClassMasks8(const uint16_t* c)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    // The class code with the tag bit: a tag unit is never in the ranges below.
    const __m128i t = _mm_and_si128(v, _mm_set1_epi16(0x0800 | kClassCodeMask));
    const __m128i oneToFour =
        _mm_and_si128(_mm_cmpgt_epi16(t, _mm_setzero_si128()), _mm_cmpgt_epi16(_mm_set1_epi16(5), t));
    const __m128i word = _mm_or_si128(oneToFour, _mm_cmpeq_epi16(t, _mm_set1_epi16(kClassNumberJoiner)));
    const __m128i boundary = _mm_and_si128(_mm_cmpgt_epi16(t, _mm_set1_epi16(kClassSentenceEnd - 1)),
                                           _mm_cmpgt_epi16(_mm_set1_epi16(32), t));
    const __m128i isTag = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(kTagBit)), _mm_set1_epi16(kTagBit));
    const __m128i unlisted = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(kTagNumberMask)), _mm_setzero_si128());
    return {LaneBits(word), LaneBits(_mm_or_si128(boundary, _mm_andnot_si128(unlisted, isTag)))};
}
inline unsigned LetterBits8(const uint16_t* c)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i t = _mm_and_si128(v, _mm_set1_epi16(0x0800 | kClassCodeMask));
    return LaneBits(_mm_cmpeq_epi16(t, _mm_set1_epi16(kClassLetter)));
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

// The words of a chunk: where each begins and ends (one past its last unit),
// and where the boundaries and listed tags between them stand. Sixty-four
// units at a time as bit masks, so that finding a word costs no guess about
// where it ends. The arrays are sized by the caller (n / 2 + 2 words, n + 1
// specials); returns the number of words, with the number of specials.
std::size_t FindWords(const uint16_t* c, int32_t n, int32_t* starts, int32_t* ends, int32_t* specials,
                      std::size_t& specialCount)
{
    std::size_t words = 0, wordEnds = 0, sp = 0;
    uint64_t carry = 0; // the unit before the block is a word unit
    for (int32_t b = 0; b < n; b += 64) {
        uint64_t word = 0, special = 0;
#if CV_WORDLIST_SSE2
        if (b + 64 <= n) {
            for (int k = 0; k < 8; ++k) {
                const TClassMasks m = ClassMasks8(c + b + 8 * k);
                word |= uint64_t(m.word) << (8 * k);
                special |= uint64_t(m.special) << (8 * k);
            }
        } else
#endif
        {
            for (int32_t k = b; k < std::min(n, b + 64); ++k) {
                const uint16_t v = c[k];
                if (IsWordUnit(v))
                    word |= uint64_t(1) << (k - b);
                else if ((v & kTagBit) ? (v & kTagNumberMask) != 0 : LevelOfCode(v & kClassCodeMask) > 0)
                    special |= uint64_t(1) << (k - b);
            }
        }
        for (uint64_t m = word & ~((word << 1) | carry); m; m &= m - 1)
            starts[words++] = b + __builtin_ctzll(m);
        for (uint64_t m = ~word & ((word << 1) | carry); m; m &= m - 1)
            ends[wordEnds++] = b + __builtin_ctzll(m);
        for (uint64_t m = special; m; m &= m - 1)
            specials[sp++] = b + __builtin_ctzll(m);
        carry = word >> 63;
    }
    if (carry)
        ends[wordEnds++] = n;
    specialCount = sp;
    return words;
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
}

void TWordlistBufferProcessor::ProcessAChunkOfFile(int32_t chunkIndex)
{
    if (chunkIndex < 0) {
        FinishText();
        return;
    }
    if (!fStarted) {
        fStarted = true;
        fTree.BeginText(fTextIndex);
        if (fRun.sink)
            fRun.sink->BeginText(fTextIndex);
        fFirstPart = fRun.nextPart;
        fRun.nextPart += fRun.slicedParts ? kDispersionPartsOfOneText : 1;
        fSlice = 0;
        fTree.BeginPart(fFirstPart);
        if (fRun.slicedParts) {
            int64_t units = FileHandledInfo.TextSize() - int64_t(FileSignatureBytes.size());
            if (FileHandledInfo.TwoByteText())
                units /= 2;
            fSliceUnits = std::max<int64_t>(1, (units + kDispersionPartsOfOneText - 1) / kDispersionPartsOfOneText);
        }
    }
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
        fTree.EndPart(fPartTokens);
        fPartTokens = 0;
        fSlice = slice;
        fTree.BeginPart(fFirstPart + fSlice);
    }
    fNextSliceIndex = fSlice + 1 < kDispersionPartsOfOneText
                          ? std::max(start + 1, BufferIndexOfSourcePosition(int64_t(fSlice + 1) * fSliceUnits))
                          : kNoSlice;
}

void TWordlistBufferProcessor::CutWords()
{
    const std::u16string_view buffer = Buffer();
    const char16_t* p = buffer.data();
    const uint16_t* c = Classes().data();
    const auto n = int32_t(buffer.size());
    const std::array<char16_t, 65536>& fold = fRun.folder->Table();
    const TCaseFolding folding = fRun.folder->Folding();
    const bool asciiPlain = fRun.folder->AsciiFoldsPlainly();
    const bool useTags = fRun.useTags;
    const bool keepNumbers = fKeepNumbers;
    // Room for a batch's words: their units and padding never run more than
    // a few units per word ahead of the buffer (kBatchTextSpare).
    if (fBatchText.size() < std::size_t(n) + kBatchTextSpare)
        fBatchText.resize(std::size_t(n) + kBatchTextSpare);
    if (fBatch.size() < kBatchWords)
        fBatch.resize(kBatchWords);
    std::vector<int32_t>& starts = fRun.starts;
    std::vector<int32_t>& ends = fRun.ends;
    std::vector<int32_t>& specials = fRun.specials;
    if (starts.size() < std::size_t(n) / 2 + 2) {
        starts.resize(std::size_t(n) / 2 + 2);
        ends.resize(std::size_t(n) / 2 + 2);
    }
    if (specials.size() < std::size_t(n) + 1)
        specials.resize(std::size_t(n) + 1);
    std::size_t specialCount = 0;
    const std::size_t wordCount = FindWords(c, n, starts.data(), ends.data(), specials.data(), specialCount);
    const int32_t* special = specials.data();
    const int32_t* const specialEnd = special + specialCount;

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
    TPending* const batch = fBatch.data();
    for (std::size_t w = 0; w < wordCount; ++w) {
        const int32_t start = starts[w];
        const int32_t length = ends[w] - start;
        while (special != specialEnd && *special < start)
            note(c[*special++]);
        if (fBatchTextUsed + std::size_t(length) + kWordSpare > fBatchText.size())
            FlushBatch();
        char16_t* out = fBatchText.data() + fBatchTextUsed;
        uint64_t h = TWordHasher::kSeed;
        unsigned letter = 0;
        bool folded = false;
#if CV_WORDLIST_SSE2
        // ASCII words eight units at a time, folded and hashed in registers.
        if (asciiPlain && start + length + 8 <= n) {
            folded = FoldAscii8(p + start, c + start, std::min(8, length), folding, out, h, letter);
            if (folded) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_setzero_si128());
                for (int32_t o = 8; o < length && folded; o += 8)
                    folded = FoldAscii8(p + start + o, c + start + o, std::min(8, length - o), folding, out + o, h, letter);
            }
            if (!folded) {
                h = TWordHasher::kSeed;
                letter = 0;
            }
        }
#endif
        char16_t above = 0;
        if (!folded) {
            // Any word: folded through the table, four units at a time into the hash.
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

        TPending& pending = batch[fBatchCount];
        pending.textAt = fBatchTextUsed;
        pending.length = length;
        pending.start = start;
        pending.tag = tag;
        pending.keyTag = useTags ? tag : 0;
        pending.barrier = uint8_t(barrier);
        pending.inHeading = (c[start] & kFlagInHeading) != 0;
        pending.hash = 0;
        pending.characters = length;
        if (!letter && !keepNumbers) {
            pending.kind = kPendingNumber;
        } else {
            bool refold = false;
            if (above >= 0xD800) {
                // Characters beyond the Basic Multilingual Plane: folded as pairs, counted once.
                for (int32_t k = 0; k < length; ++k)
                    if ((p[start + k] & 0xFC00) == 0xDC00) {
                        --pending.characters;
                        refold = true;
                    }
                if (refold)
                    fRun.folder->FoldSupplementary(p + start, length, out);
            }
            if (pending.characters < fMinLength || pending.characters > fMaxLength || length > kMaxTypeLength) {
                pending.kind = kPendingRunning;
            } else {
                pending.kind = kPendingType;
                pending.hash = refold ? HashPaddedWordlistKey(out, length, pending.keyTag)
                                      : TWordHasher::Finish(h, length, pending.keyTag);
                fTree.PrefetchSlot(pending.hash);
                fBatchTextUsed += uint32_t(BatchUnits(length));
            }
        }
        if (++fBatchCount == kBatchWords)
            FlushBatch();
        barrier = 0;
        tag = 0;
    }
    while (special != specialEnd)
        note(c[*special++]);
    fCarriedBarrier = barrier;
    fCarriedTag = tag;
    FlushBatch();
}

void TWordlistBufferProcessor::FlushBatch()
{
    // The slots of the batch's words were asked for as they were cut; now,
    // for the word counted, the type of a word a few places ahead (which
    // reads its slot) and then, for long words, the rest of its spelling.
    // So a handful of words' look-ups are under way at any time without
    // waiting on one another.
    constexpr std::size_t kTypeAhead = 8, kSpellingAhead = 4;
    const std::size_t count = fBatchCount;
    const TPending* const batch = fBatch.data();
    for (std::size_t k = 0; k < std::min(kTypeAhead, count); ++k)
        fTree.PrefetchType(batch[k].hash);
    for (std::size_t at = 0; at < count; ++at) {
        if (at + kTypeAhead < count)
            fTree.PrefetchType(batch[at + kTypeAhead].hash);
        if (at + kSpellingAhead < count)
            fTree.PrefetchSpelling(batch[at + kSpellingAhead].hash, batch[at + kSpellingAhead].length);
        const TPending& w = batch[at];
        if (w.start >= fNextSliceIndex)
            StartPartAt(w.start);
        if (w.kind == kPendingNumber) {
            fStats.NumberRemoved();
            if (fRun.sink)
                NotifySink(w.start, w.length, TWordlistParentTree::kNoType, w.barrier, w.tag, false, false);
            continue;
        }
        fStats.RunningWord(w.barrier, w.inHeading);
        if (w.kind == kPendingRunning) {
            if (fRun.sink)
                NotifySink(w.start, w.length, TWordlistParentTree::kNoType, w.barrier, w.tag, true, false);
            continue;
        }
        const char16_t* text = fBatchText.data() + w.textAt;
        uint32_t type = fTree.FindTypeWide(text, w.length, w.keyTag, w.hash);
        if (type == TWordlistParentTree::kNoType) {
            const bool isStop = fRun.stopList
                && FoundInTheList(fRun.tool, TLemmatiserListKind::Stop,
                                  QString(reinterpret_cast<const QChar*>(text), qsizetype(w.length)));
            type = fTree.AddType(text, w.length, w.keyTag, w.hash, isStop);
        }
        fCounted = true;
        const TWordlistTree::TCounted counted = fTree.CountToken(type, fRun.sttrChunk);
        if (counted.stop) {
            fStats.StopTokenRemoved();
        } else {
            ++fPartTokens;
            if (fStats.TokenUsed(w.characters, counted.newInChunk))
                ++fRun.sttrChunk;
        }
        if (fRun.sink)
            NotifySink(w.start, w.length, type, w.barrier, w.tag, true, counted.stop);
    }
    fBatchCount = 0;
    fBatchTextUsed = 0;
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
    if (!fStarted) {
        // A text without any chunk (empty): it still has its part and its row.
        fStarted = true;
        fTree.BeginText(fTextIndex);
        fFirstPart = fRun.nextPart;
        fRun.nextPart += fRun.slicedParts ? kDispersionPartsOfOneText : 1;
        fTree.BeginPart(fFirstPart);
        if (fRun.sink)
            fRun.sink->BeginText(fTextIndex);
    }
    fTree.EndPart(fPartTokens);
    fPartTokens = 0;
    const TWordlistTree::TTextTypeCounts counts = fTree.EndText();
    // A new standardised-TTR chunk starts with every text.
    ++fRun.sttrChunk;

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
