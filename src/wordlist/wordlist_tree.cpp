#include "wordlist/wordlist_tree.h"

#include "wordlist/dispersion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace cv {

uint64_t HashWordlistKey(const char16_t* units, int32_t length, uint16_t tag)
{
    std::vector<char16_t> padded(std::size_t(TWordlistParentTree::PaddedLength(length)) + 4, 0);
    std::memcpy(padded.data(), units, std::size_t(length) * 2);
    return HashPaddedWordlistKey(padded.data(), length, tag);
}

// ---------------------------------------------------------------------------

TWordlistParentTree::TWordlistParentTree()
{
    fSlots.assign(1024, TSlot{0, 0});
    fMask = fSlots.size() - 1;
}

TWordlistParentTree::~TWordlistParentTree() = default;

void TWordlistParentTree::Free()
{
    fSlots.assign(1024, TSlot{0, 0});
    fMask = fSlots.size() - 1;
    fBlocks.clear();
    fCount = 0;
    fArena.clear();
    fArenaUsed = kArenaBlockUnits;
    fArenaUnits = 0;
    std::vector<uint64_t>().swap(fHashes);
}

void TWordlistParentTree::FreeIndex()
{
    std::vector<TSlot>().swap(fSlots);
    fMask = 0;
    std::vector<uint64_t>().swap(fHashes);
}

void TWordlistParentTree::FreeTypes()
{
    FreeIndex();
    fBlocks.clear();
    fBlocks.shrink_to_fit();
    fCount = 0;
}

int64_t TWordlistParentTree::TableBytes() const
{
    return int64_t(fSlots.size() * sizeof(TSlot) + fBlocks.size() * kBlockTypes * sizeof(TWordlistKey)
                   + fArena.size() * kArenaBlockUnits * sizeof(char16_t) + fHashes.capacity() * sizeof(uint64_t));
}

void TWordlistParentTree::Grow()
{
    RebuildIndex(std::max<std::size_t>(1024, fSlots.size() * 2));
}

void TWordlistParentTree::RebuildIndex(std::size_t size) const
{
    while (size < SlotsFor(std::size_t(fCount + 1)))
        size *= 2;
    if (fHashes.size() != std::size_t(fCount)) {
        // The index was dropped: the hashes again from the spellings.
        fHashes.resize(std::size_t(fCount));
        for (uint32_t id = 0; id < uint32_t(fCount); ++id) {
            const std::u16string_view text = Text(id);
            fHashes[id] = HashWordlistKey(text.data(), int32_t(text.size()), Type(id).Tag());
        }
    }
    fSlots.assign(size, TSlot{0, 0});
    fMask = size - 1;
    // By id, from the kept hashes: no look at the types themselves (and the
    // slots of a few ids ahead asked for).
    constexpr uint32_t kAhead = 16;
    for (uint32_t id = 0; id < uint32_t(fCount); ++id) {
        if (id + kAhead < uint32_t(fCount))
            __builtin_prefetch(&fSlots[std::size_t(fHashes[id + kAhead]) & fMask], 1);
        const uint64_t hash = fHashes[id];
        std::size_t i = std::size_t(hash) & fMask;
        while (fSlots[i].id1 != 0)
            i = (i + 1) & fMask;
        fSlots[i] = TSlot{uint32_t(hash >> 32), id + 1};
    }
}

uint32_t TWordlistParentTree::AddType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash, bool stop)
{
    if (SlotsFor(std::size_t(fCount + 1)) > fSlots.size())
        Grow();
    const uint32_t id = StoreType(text, length, tag, stop);
    std::size_t i = std::size_t(hash) & fMask;
    while (fSlots[i].id1 != 0)
        i = (i + 1) & fMask;
    fSlots[i] = TSlot{uint32_t(hash >> 32), id + 1};
    fHashes.push_back(hash);
    Do_Added_One(id);
    return id;
}

uint32_t TWordlistParentTree::StoreType(const char16_t* text, int32_t length, uint16_t tag, bool stop)
{
    const auto id = uint32_t(fCount);
    // A block's types are written as they are added (a new block is not
    // cleared first: its lines would be written twice, the first time long
    // before use), and the next type's line is asked for now, so that the
    // next new type does not wait for it.
    if ((id & (kBlockTypes - 1)) == 0)
        fBlocks.emplace_back(static_cast<TWordlistKey*>(
            ::operator new[](kBlockTypes * sizeof(TWordlistKey), std::align_val_t(alignof(TWordlistKey)))));
    if (((id + 1) & (kBlockTypes - 1)) != 0)
        __builtin_prefetch(&Type(id + 1), 1);
    TWordlistKey& k = *new (&Type(id)) TWordlistKey;
    const std::size_t room = std::size_t(PaddedLength(length));
    // A block of its own when the spelling and the spare units after it do not fit.
    if (fArenaUsed + room + kArenaSpare > kArenaBlockUnits) {
        fArena.push_back(std::make_unique_for_overwrite<char16_t[]>(kArenaBlockUnits));
        fArenaUsed = 0;
    }
    char16_t* at = fArena.back().get() + fArenaUsed;
    k.textAt = uint32_t(((fArena.size() - 1) << kArenaShift) | fArenaUsed);
    std::memcpy(at, text, std::size_t(length) * 2);
    std::fill(at + length, at + room + kArenaSpare, char16_t(0));
    fArenaUsed += uint32_t(room);
    fArenaUnits += int64_t(room);
    std::memcpy(k.prefix, at, std::min<std::size_t>(room, TWordlistKey::kPrefixUnits) * 2);
    k.length = uint16_t(length);
    k.tagAndFlags = uint16_t((tag & TWordlistKey::kTagMask) | (stop ? TWordlistKey::kStopFlag : 0));
    ++fCount;
    return id;
}

// ---------------------------------------------------------------------------

TWordlistTree::~TWordlistTree() = default;

void TWordlistTree::BeginText(int32_t text)
{
    fText = text;
    fTextCounts = {};
    fTextFirstPart = -1;
}

TWordlistTree::TTextTypeCounts TWordlistTree::EndText()
{
    return fTextCounts;
}

void TWordlistTree::HandPartTypesTo(std::span<std::vector<TPartType>> bySlice, int sliceBits)
{
    fSliceBits = std::clamp(sliceBits, 0, kMostSliceBits);
    if (!bySlice.empty() && bySlice.size() != std::size_t(1) << fSliceBits)
        throw std::logic_error("a vector for each slice of the types is needed");
    fPartTypesOut = bySlice;
    fSliceTypes.assign(bySlice.size(), 0);
}

void TWordlistTree::BeginPart(int32_t part)
{
    if (fCountedElsewhere)
        throw std::logic_error("tokens counted into a tree of types counted elsewhere");
    fPart = part;
    if (fTextFirstPart < 0)
        fTextFirstPart = part;
    fTouchedCount = 0;
    fPartCountWraps.clear();
}

uint64_t TWordlistTree::PartCount(uint32_t id) const
{
    uint64_t count = Type(id).partCount;
    for (uint32_t wrapped : fPartCountWraps)
        count += wrapped == id ? uint64_t(1) << 32 : 0;
    return count;
}

void TWordlistTree::Do_Added_One(uint32_t id)
{
    if (!fPartTypesOut.empty()) {
        // Its slice and its number there (a slice's numbers must fit below
        // the slice's bits: a vocabulary that large could not be held anyway).
        const uint32_t slice = SliceOf(HashOf(id), fSliceBits);
        uint32_t& number = fSliceTypes[slice];
        if (number >= (uint32_t(1) << (32 - fSliceBits)) - 1)
            throw std::bad_alloc();
        Type(id).sinkValue = SliceAndNumber(slice, number++, fSliceBits);
    }
    // Every type can be touched once per part: room for all of them.
    if (fTouched.size() <= std::size_t(id) + 1)
        fTouched.resize(std::max<std::size_t>(std::size_t(id) + 2, fTouched.size() * 2));
}

void TWordlistTree::FlushTouched()
{
    // The types named lie anywhere, and the check of each waits for its
    // cache line: those of the types some thirty places ahead are asked
    // for, far enough for many to be on their way at once (eight ahead
    // kept the loop waiting). The records' writer is inline, above.
    constexpr std::size_t kAhead = 32;
    if (!fPartTypesOut.empty()) {
        for (std::size_t t = 0; t < fTouchedCount; ++t) {
            if (t + kAhead < fTouchedCount)
                PrefetchLine(&Type(fTouched[t + kAhead]));
            const uint32_t id = fTouched[t];
            const TWordlistKey& k = Type(id);
            fPartTypesOut[SliceOfNumbered(k.sinkValue, fSliceBits)].push_back(
                {NumberInSlice(k.sinkValue, fSliceBits), fPartCountWraps.empty() ? k.partCount : PartCount(id)});
        }
        fTouchedCount = 0;
        fPartCountWraps.clear();
        return;
    }
    if (!fKeepRecords) {
        fTouchedCount = 0;
        fPartCountWraps.clear();
        return;
    }
    for (std::size_t t = 0; t < fTouchedCount; ++t) {
        if (t + kAhead < fTouchedCount)
            PrefetchLine(&Type(fTouched[t + kAhead]));
        const uint32_t id = fTouched[t];
        const TWordlistKey& k = Type(id);
        const uint64_t count = fPartCountWraps.empty() ? k.partCount : PartCount(id);
        if (k.Stop() || count == 0)
            continue;
        fParts.Put(id, count);
    }
    fTouchedCount = 0;
    fPartCountWraps.clear();
}

void TWordlistTree::EndPart(int64_t words)
{
    if (fPart < 0)
        return;
    FlushTouched();
    NotePart(words);
    fPart = -1;
}

void TWordlistTree::AddCountedText(int32_t text, int32_t part, int64_t words, std::span<const TPartType> types)
{
    if (fCountedElsewhere && !types.empty())
        throw std::logic_error("tokens counted into a tree of types counted elsewhere");
    fText = text;
    fPart = part;
    // As FlushTouched writes them, but for the types' counts, which are
    // added here (the types lie anywhere: those a little ahead are asked for).
    constexpr std::size_t kAhead = 16;
    for (std::size_t t = 0; t < types.size(); ++t) {
        if (t + kAhead < types.size())
            PrefetchLine(&Type(types[t + kAhead].id));
        const auto [id, count] = types[t];
        TWordlistKey& k = Type(id);
        k.freq += count;
        if (k.Stop() || count == 0 || !fKeepRecords)
            continue;
        fParts.Put(id, count);
    }
    NotePart(words);
    fPart = -1;
}

void TWordlistTree::NotePart(int64_t words)
{
    fParts.NotePart(fPart, fText, words);
}

uint32_t TWordlistTree::AddCountedType(std::u16string_view spelling, uint16_t tag, bool stop, uint64_t freq)
{
    if (!fCountedElsewhere) {
        fCountedElsewhere = true;
        FreeIndex();
    }
    const uint32_t id = StoreType(spelling.data(), int32_t(spelling.size()), tag, stop);
    Type(id).freq = freq;
    return id;
}

void TWordlistTree::AdoptSpread(TSpread spread)
{
    fAdoptedSpread = std::make_unique<TSpread>(std::move(spread));
}

TWordlistTree::TSpread TWordlistTree::TakeSpread()
{
    if (!fAdoptedSpread)
        return ComputeSpread();
    TSpread out = std::move(*fAdoptedSpread);
    fAdoptedSpread.reset();
    return out;
}

std::unique_ptr<TPartCounts> TWordlistTree::TakePartCounts(std::span<const uint32_t> rowOfId, std::size_t rows)
{
    if (!fAdoptedCounts) {
        if (!fKeepRecords)
            return nullptr;
        return std::make_unique<TPartCounts>(fParts.CountsOf(rowOfId, rows));
    }
    // Adopted with a row per type: the rows wanted, in their order.
    std::vector<uint32_t> idOfRow(rows, TPartCounts::kNoRow);
    for (std::size_t id = 0; id < rowOfId.size(); ++id)
        if (rowOfId[id] != TPartCounts::kNoRow && rowOfId[id] < rows)
            idOfRow[rowOfId[id]] = uint32_t(id);
    std::vector<int64_t> tokens;
    std::vector<int32_t> texts;
    for (int32_t p = 0; p < fAdoptedCounts->PartCount(); ++p) {
        tokens.push_back(fAdoptedCounts->PartWords(p));
        texts.push_back(fAdoptedCounts->PartText(p));
    }
    auto out = std::make_unique<TPartCounts>(std::move(tokens), std::move(texts));
    for (uint32_t id : idOfRow)
        out->AddRowWords(id == TPartCounts::kNoRow ? std::span<const uint32_t>() : fAdoptedCounts->RowWords(id));
    fAdoptedCounts.reset();
    return out;
}

void TWordlistTree::FreeCounting()
{
    fAdoptedSpread.reset();
    fAdoptedCounts.reset();
    fParts.FreeRecords();
    std::vector<uint32_t>().swap(fTouched);
    fTouchedCount = 0;
    FreeIndex();
}

int64_t TWordlistTree::PartBytes() const
{
    return fParts.Bytes();
}

TWordlistTree::TSpread TWordlistTree::ComputeSpread() const
{
    if (fAdoptedSpread)
        return *fAdoptedSpread;
    return fParts.Spread(std::size_t(Count()), [this](uint32_t id, uint64_t& freq, bool& stop) {
        const TWordlistKey& k = Type(id);
        freq = k.freq;
        stop = k.Stop();
    });
}

// ---------------------------------------------------------------------------

__attribute__((noinline)) void TPartRecords::NewBlock()
{
    fBlocks.push_back(std::make_unique_for_overwrite<uint32_t[]>(kBlockRecords));
}

void TPartRecords::NotePart(int32_t part, int32_t text, int64_t words)
{
    // Parts skipped (tenths of a text in which no word starts) are empty:
    // they end where the part noted last ended, before the records put
    // since, which are all this part's.
    const uint64_t before = fPartEnds.empty() ? 0 : fPartEnds.back();
    while (int32_t(fPartWords.size()) < part) {
        fPartWords.push_back(0);
        fPartEnds.push_back(before);
        fPartText.push_back(text);
    }
    if (int32_t(fPartWords.size()) == part) {
        fPartWords.push_back(words);
        fPartEnds.push_back(fRecords);
        fPartText.push_back(text);
    } else {
        fPartWords[std::size_t(part)] += words;
        fPartEnds[std::size_t(part)] = fRecords;
    }
}

template <typename F>
void TPartRecords::ForEachRecord(F&& f) const
{
    std::size_t r = 0;
    for (std::size_t p = 0; p < fPartEnds.size(); ++p)
        while (r < fPartEnds[p]) {
            const uint32_t word = Word(r++);
            if (word != kLongRecord) {
                f(word >> 8, int32_t(p), uint64_t(word & 0xFF));
                continue;
            }
            const uint32_t id = Word(r);
            const uint64_t count = uint64_t(Word(r + 1)) | (uint64_t(Word(r + 2)) << 32);
            r += 3;
            f(id, int32_t(p), count);
        }
}

TPartCounts TPartRecords::CountsOf(std::span<const uint32_t> rowOfId, std::size_t rows) const
{
    // Two passes over the records: the words each row takes, then the
    // words in their places (each row's records come in the order of the
    // parts, as the records do).
    const auto rowOf = [&](uint32_t id) {
        if (rowOfId.empty())
            return id < rows ? id : TPartCounts::kNoRow;
        return id < rowOfId.size() ? rowOfId[id] : TPartCounts::kNoRow;
    };
    std::vector<uint64_t> start(rows + 1, 0);
    ForEachRecord([&](uint32_t id, int32_t part, uint64_t count) {
        if (const uint32_t row = rowOf(id); row != TPartCounts::kNoRow)
            start[row + 1] += TPartCounts::RecordWords(count, part);
    });
    for (std::size_t k = 0; k < rows; ++k)
        start[k + 1] += start[k];
    std::vector<uint32_t> words(start[rows]);
    std::vector<uint64_t> next(start.begin(), start.end() - 1);
    ForEachRecord([&](uint32_t id, int32_t part, uint64_t count) {
        const uint32_t row = rowOf(id);
        if (row == TPartCounts::kNoRow)
            return;
        uint64_t& at = next[row];
        if (TPartCounts::RecordWords(count, part) == 1) {
            words[at++] = (uint32_t(part) << 8) | uint32_t(count);
            return;
        }
        words[at++] = TPartCounts::kLongRecord;
        words[at++] = uint32_t(part);
        words[at++] = uint32_t(count);
        words[at++] = uint32_t(count >> 32);
    });
    TPartCounts out(fPartWords, fPartText);
    out.AdoptRows(std::move(start), std::move(words));
    return out;
}

void TPartRecords::FreeRecords()
{
    fBlocks.clear();
    fRecords = 0;
    std::vector<uint64_t>().swap(fPartEnds);
}

TTypeSpread TPartRecords::SpreadOf(std::vector<TAcc>& acc) const
{
    const std::size_t nTypes = acc.size();
    TTypeSpread out;
    out.dispersion.assign(nTypes, 0.0f);
    out.texts.assign(nTypes, 0);
    int64_t total = 0;
    for (int64_t t : fPartWords)
        total += t;
    double smallest = 1.0;
    for (int64_t t : fPartWords)
        if (t > 0 && total > 0)
            smallest = std::min(smallest, double(t) / double(total));
    // The records are read in order, the types they name are not: those of
    // the records a little ahead are asked for (a word in the middle of a
    // long record names no type: the guess is only a guess).
    constexpr std::size_t kAhead = 16;
    std::size_t r = 0;
    for (std::size_t p = 0; p < fPartWords.size(); ++p) {
        const double s = total > 0 ? double(fPartWords[p]) / double(total) : 0.0;
        const int32_t text = fPartText[p];
        while (r < fPartEnds[p]) {
            if (r + kAhead < fRecords)
                __builtin_prefetch(&acc[std::min<std::size_t>(Word(r + kAhead) >> 8, nTypes - 1)], 1);
            const uint32_t word = Word(r++);
            uint32_t id = word >> 8;
            uint64_t count = word & 0xFF;
            if (word == kLongRecord) {
                id = Word(r++);
                count = Word(r++);
                count |= uint64_t(Word(r++)) << 32;
            }
            TAcc& a = acc[id];
            a.sum += std::fabs(double(count) / a.freq - s) - s;
            a.texts += a.lastText != text ? 1 : 0;
            a.lastText = text;
        }
    }
    for (std::size_t id = 0; id < nTypes; ++id)
        out.texts[id] = acc[id].texts;
    if (total <= 0)
        return out;
    for (std::size_t id = 0; id < nTypes; ++id) {
        if (acc[id].stop)
            continue;
        out.dispersion[id] = float(NormalisedDeviationOfProportions(std::clamp(acc[id].sum / 2, 0.0, 1.0), smallest));
    }
    return out;
}

} // namespace cv
