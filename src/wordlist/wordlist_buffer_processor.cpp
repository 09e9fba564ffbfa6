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

inline unsigned CountTrailingZeros(unsigned x) { return unsigned(__builtin_ctz(x)); }

#if CV_WORDLIST_SSE2
// Eight class units at once: which are word units, which are boundaries or
// listed tags, which are letters (bit j for unit j).
struct TClassMasks {
    unsigned word;
    unsigned special;
    unsigned letter;
};
inline unsigned LaneBits(__m128i m)
{
    return unsigned(_mm_movemask_epi8(_mm_packs_epi16(m, m)) & 0xFF);
}
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
    const __m128i listedTag = _mm_andnot_si128(unlisted, isTag);
    return {LaneBits(word), LaneBits(_mm_or_si128(boundary, listedTag)),
            LaneBits(_mm_cmpeq_epi16(t, _mm_set1_epi16(kClassLetter)))};
}

// The first `run` (1..8) units folded, the rest of the eight lanes zero.
struct TAsciiFold8 {
    __m128i units;
    uint64_t low, high; // units 0-3 and 4-7 as the hash takes them
};
inline bool FoldAscii8(const char16_t* p, int32_t run, TCaseFolding folding, TAsciiFold8& out)
{
    static const uint16_t kLaneMasks[9][8] = {
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
    const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMasks[run]));
    const __m128i u = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lanes);
    const __m128i outside = _mm_and_si128(u, _mm_set1_epi16(int16_t(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) != 0xFFFF)
        return false;
    __m128i f = u;
    if (folding == TCaseFolding::Lower) {
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(u, _mm_set1_epi16('A' - 1)), _mm_cmpgt_epi16(_mm_set1_epi16('Z' + 1), u));
        f = _mm_add_epi16(u, _mm_and_si128(upper, _mm_set1_epi16(32)));
    } else if (folding == TCaseFolding::Upper) {
        const __m128i lower = _mm_and_si128(_mm_cmpgt_epi16(u, _mm_set1_epi16('a' - 1)), _mm_cmpgt_epi16(_mm_set1_epi16('z' + 1), u));
        f = _mm_sub_epi16(u, _mm_and_si128(lower, _mm_set1_epi16(32)));
    }
    out.units = f;
    out.low = uint64_t(_mm_cvtsi128_si64(f));
    out.high = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(f, f)));
    return true;
}
#endif
constexpr std::size_t kBatchWords = 64;
// A batch's folded words take at most the units they cover in the buffer and
// seven more each (padding), so this spare room beyond the chunk's length is
// never outrun.
constexpr std::size_t kBatchTextSpare = kBatchWords * 8 + 64;

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
    CutWords();
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
    const bool useTags = fRun.useTags;
    const bool asciiPlain = fRun.folder->AsciiFoldsPlainly();
    // Room for a batch's words: their units and padding never run more than
    // a few units per word ahead of the buffer (kBatchTextSpare).
    if (fBatchText.size() < std::size_t(n) + kBatchTextSpare)
        fBatchText.resize(std::size_t(n) + kBatchTextSpare);
    if (fBatch.capacity() < kBatchWords)
        fBatch.reserve(kBatchWords);
    int barrier = 0;
    uint16_t tag = 0;
    // A boundary or listed tag between words.
    auto note = [&](uint16_t v) {
        if (v & kTagBit) {
            if (const uint16_t t = v & kTagNumberMask)
                tag = t;
        } else if (const int level = LevelOfCode(v & kClassCodeMask); level > barrier) {
            barrier = level;
        }
    };
    for (int32_t i = 0; i < n;) {
        // To the next word, eight units at a time where the buffer allows.
#if CV_WORDLIST_SSE2
        if (i + 8 <= n) {
            const TClassMasks m = ClassMasks8(c + i);
            const unsigned before = m.word ? (1u << CountTrailingZeros(m.word)) - 1 : 0xFFu;
            for (unsigned sp = m.special & before; sp; sp &= sp - 1)
                note(c[i + int32_t(CountTrailingZeros(sp))]);
            if (!m.word) {
                i += 8;
                continue;
            }
            i += int32_t(CountTrailingZeros(m.word));
        } else
#endif
        {
            const uint16_t v = c[i];
            if (!IsWordUnit(v)) {
                note(v);
                ++i;
                continue;
            }
        }
        if (fBatchTextUsed + std::size_t(n - i) + 8 > fBatchText.size())
            FlushBatch();
        char16_t* out = fBatchText.data() + fBatchTextUsed;
        const int32_t start = i;
        unsigned letter = 0;
        char16_t above = 0;
        int32_t k = 0;
        uint64_t h = TWordHasher::kSeed;
        bool done = false;
#if CV_WORDLIST_SSE2
        // ASCII words eight units at a time: folded, stored and hashed in registers.
        while (asciiPlain && i + 8 <= n) {
            const TClassMasks m = ClassMasks8(c + i);
            const int32_t run = int32_t(CountTrailingZeros(~m.word & 0x1FFu));
            TAsciiFold8 f;
            if (run == 0 || !FoldAscii8(p + i, run, fRun.settings.CaseFolding(), f))
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), f.units);
            h = TWordHasher::Round(h, f.low);
            if (run > 4)
                h = TWordHasher::Round(h, f.high);
            letter |= m.letter & ((1u << run) - 1);
            k += run;
            i += run;
            if (run < 8) {
                done = true;
                break;
            }
        }
        if (!done && i != start && (i >= n || !IsWordUnit(c[i])))
            done = true; // the word ended exactly at a block's end
        if (!done) {
            // A unit outside ASCII, or the end of the buffer near: the word
            // goes the general way from its start.
            i = start;
            k = 0;
            letter = 0;
            h = TWordHasher::kSeed;
        }
#endif
        if (!done) {
            // Folded, stored and hashed as the units go by (four at a time into the hash).
            uint64_t four = 0;
            unsigned shift = 0;
            uint16_t v = c[i];
            do {
                const char16_t u = p[i];
                const char16_t f = fold[u];
                above |= u;
                out[k++] = f;
                four |= uint64_t(f) << shift;
                shift += 16;
                if (shift == 64) {
                    h = TWordHasher::Round(h, four);
                    four = 0;
                    shift = 0;
                }
                letter |= unsigned((v & kClassCodeMask) == kClassLetter);
                ++i;
            } while (i < n && IsWordUnit(v = c[i]));
            if (shift != 0)
                h = TWordHasher::Round(h, four);
        }

        TPending w;
        w.textAt = fBatchTextUsed;
        w.length = k;
        w.start = start;
        w.tag = tag;
        w.keyTag = useTags ? tag : 0;
        w.barrier = uint8_t(barrier);
        w.inHeading = (c[start] & kFlagInHeading) != 0;
        w.hash = 0;
        w.characters = k;
        if (!letter && !fKeepNumbers) {
            w.kind = kPendingNumber;
        } else {
            bool refold = false;
            if (above >= 0xD800) {
                // Characters beyond the Basic Multilingual Plane: folded as pairs, counted once.
                for (int32_t j = 0; j < k; ++j)
                    if ((p[start + j] & 0xFC00) == 0xDC00) {
                        --w.characters;
                        refold = true;
                    }
                if (refold)
                    fRun.folder->FoldSupplementary(p + start, k, out);
            }
            if (w.characters < fMinLength || w.characters > fMaxLength) {
                w.kind = kPendingRunning;
            } else {
                w.kind = kPendingType;
                const int32_t padded = TWordlistParentTree::PaddedLength(k);
                for (int32_t j = k; j < padded + 4; ++j)
                    out[j] = 0;
                w.hash = refold ? HashPaddedWordlistKey(out, k, w.keyTag) : TWordHasher::Finish(h, k, w.keyTag);
                fTree.PrefetchSlot(w.hash);
                fBatchTextUsed += uint32_t(padded);
            }
        }
        fBatch.push_back(w);
        if (fBatch.size() == kBatchWords)
            FlushBatch();
        barrier = 0;
        tag = 0;
    }
    FlushBatch();
}

void TWordlistBufferProcessor::FlushBatch()
{
    // The type of the word a few places ahead is asked for as each word is
    // counted, so that a handful of look-ups are under way at any time.
    constexpr std::size_t kAhead = 8;
    const std::size_t count = fBatch.size();
    for (std::size_t k = 0; k < std::min(kAhead, count); ++k)
        if (fBatch[k].kind == kPendingType)
            fTree.PrefetchType(fBatch[k].hash);
    for (std::size_t at = 0; at < count; ++at) {
        if (at + kAhead < count && fBatch[at + kAhead].kind == kPendingType)
            fTree.PrefetchType(fBatch[at + kAhead].hash);
        const TPending& w = fBatch[at];
        if (w.start >= fNextSliceIndex)
            StartPartAt(w.start);
        if (w.kind == kPendingNumber) {
            fStats.NumberRemoved();
            if (fRun.sink)
                NotifySink(w.start, w.length, nullptr, w.barrier, w.tag, false, false);
            continue;
        }
        fStats.RunningWord(w.barrier, w.inHeading);
        if (w.kind == kPendingRunning) {
            if (fRun.sink)
                NotifySink(w.start, w.length, nullptr, w.barrier, w.tag, true, false);
            continue;
        }
        const char16_t* text = fBatchText.data() + w.textAt;
        TWordlistKey* type = fTree.FindType(text, w.length, w.keyTag, w.hash);
        if (!type) {
            const bool isStop = fRun.stopList
                && FoundInTheList(fRun.tool, TLemmatiserListKind::Stop,
                                  QString(reinterpret_cast<const QChar*>(text), qsizetype(w.length)));
            type = fTree.AddType(text, w.length, w.keyTag, w.hash, isStop ? kWordTypeStop : 0);
        }
        fCounted = true;
        const TWordlistTree::TCounted counted = fTree.CountToken(*type, fRun.sttrChunk);
        const bool stop = (counted.flags & kWordTypeStop) != 0;
        if (stop) {
            fStats.StopTokenRemoved();
        } else {
            ++fPartTokens;
            if (fStats.TokenUsed(w.characters, counted.newInChunk))
                ++fRun.sttrChunk;
        }
        if (fRun.sink)
            NotifySink(w.start, w.length, type, w.barrier, w.tag, true, stop);
    }
    fBatch.clear();
    fBatchTextUsed = 0;
}

void TWordlistBufferProcessor::NotifySink(int32_t start, int32_t length, const TWordlistKey* type, int barrier,
                                          uint16_t tag, bool running, bool stop)
{
    TWordTokenSink::TToken t;
    t.type = type;
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
