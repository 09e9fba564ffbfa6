#pragma once
// The counting table of the clusters of one size (index_clusters.cpp): a
// cluster of N words is keyed by its type codes side by side, and counted
// in an open-addressed table with its frequency, the order in which it was
// first met and, when asked, its texts.

#include "index/index_hash.h"
#include "suite/page_block.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace cv::clusters {

// The key of a cluster of N words: their codes, side by side.
template <int N>
struct TKey {
    std::array<uint32_t, N> c;
    // Compared in place, a few codes (not through a library call).
    bool operator==(const TKey& o) const
    {
        if constexpr (N == 2) {
            uint64_t x, y;
            std::memcpy(&x, c.data(), 8);
            std::memcpy(&y, o.c.data(), 8);
            return x == y;
        } else {
            bool same = true;
            for (std::size_t j = 0; j < std::size_t(N); ++j)
                same &= c[j] == o.c[j];
            return same;
        }
    }
    bool operator<(const TKey& o) const { return c < o.c; }
};

template <int N>
TKey<N> KeyAt(const uint32_t* at)
{
    TKey<N> k;
    std::memcpy(k.c.data(), at, sizeof k.c);
    return k;
}

// Two codes at a time through a bijective mix: the key of a 2-word cluster
// (one 64-bit number) never shares its hash with another.
template <int N>
uint64_t HashKey(const TKey<N>& k)
{
    uint64_t h = 0x9E3779B97F4A7C15ull;
    int j = 0;
    for (; j + 2 <= N; j += 2) {
        uint64_t x;
        std::memcpy(&x, k.c.data() + j, 8);
        h = MixHash64(h ^ x);
    }
    if constexpr (N % 2 != 0)
        h = MixHash64(h ^ k.c[N - 1]);
    return h;
}

// One cluster's counts. With kTexts also its texts (without them a 2-word
// cluster's record is 16 bytes instead of 24: when the dispersion walk
// follows, it counts the texts, and the counting walk, which touches a
// record per place, waits for memory less).
template <int N, bool kTexts>
struct TCountRecord {
    static constexpr bool kCountsTexts = true;
    TKey<N> key;
    uint32_t freq;  // 0: the slot is empty
    uint32_t order; // the how-manieth cluster of the table it was
    uint32_t texts;
    int32_t lastText;
    void Met(int32_t text)
    {
        if (lastText != text) {
            lastText = text;
            ++texts;
        }
    }
    uint32_t Texts() const { return texts; }
    int32_t LastText() const { return lastText; }
    static TCountRecord First(const TKey<N>& k, int32_t text, uint32_t order) { return {k, 1, order, 1, text}; }
};
template <int N>
struct TCountRecord<N, false> {
    static constexpr bool kCountsTexts = false;
    TKey<N> key;
    uint32_t freq;
    uint32_t order;
    void Met(int32_t) {}
    // Counted later; meanwhile one text, which passes any filter of texts
    // the table's owner lets it go without them.
    uint32_t Texts() const { return 1; }
    int32_t LastText() const { return -1; }
    static TCountRecord First(const TKey<N>& k, int32_t, uint32_t order) { return {k, 1, order}; }
};

// Exact counts of the clusters met in a run of places: the keys inline in
// an open-addressed table (a place looked up touches one slot, seldom two).
// Grows at 70 % full until its room reaches the byte limit; beyond that the
// caller empties it into a run file (TakeRecords, Clear).
//
// A record counts to `ceiling` (2^32 - 1) in its own four bytes; a cluster
// met that often (a corpus of billions of words) takes the rest into a side
// list, so that a frequency is exact to 64 bits while the records stay small.
template <int N, bool kTexts>
class TCountTable {
public:
    using TRecord = TCountRecord<N, kTexts>;
    static_assert(std::is_trivially_copyable_v<TRecord>);

    explicit TCountTable(std::size_t byteLimit, uint32_t ceiling = UINT32_MAX) : fLimit(byteLimit), fCeiling(ceiling)
    {
        std::size_t n = std::size_t(1) << 12;
        while (n > 16 && n * sizeof(TRecord) > byteLimit)
            n /= 2;
        Resize(n);
    }

    // Whether a new cluster would need more room than the limit allows.
    bool Full() const { return fCount >= fGrowAt && fSlots.size() * 2 * sizeof(TRecord) > fLimit; }
    // Counts one place; returns the cluster's order, `added` when it is new.
    uint32_t Add(const TKey<N>& k, uint64_t h, int32_t text, bool& added)
    {
        for (std::size_t i = std::size_t(h) & fMask;; i = (i + 1) & fMask) {
            TRecord& r = fSlots[i];
            if (r.freq == 0) {
                if (fCount >= fGrowAt) {
                    Grow();
                    return Add(k, h, text, added);
                }
                r = TRecord::First(k, text, fNextOrder++);
                ++fCount;
                added = true;
                return r.order;
            }
            if (r.key == k) {
                if (++r.freq == fCeiling) [[unlikely]]
                    CarryOver(r);
                r.Met(text);
                added = false;
                return r.order;
            }
        }
    }
    uint32_t Add(const TKey<N>& k, uint64_t h, int32_t text)
    {
        bool added = false;
        return Add(k, h, text, added);
    }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&fSlots[std::size_t(h) & fMask]); }
    // The frequency of a record of this table (held, or taken out by TakeRecords).
    uint64_t Frequency(const TRecord& r) const
    {
        if (fCarries.empty()) [[likely]]
            return r.freq;
        for (const auto& [key, carried] : fCarries)
            if (key == r.key)
                return carried + r.freq;
        return r.freq;
    }
    std::size_t Count() const { return fCount; }
    // Orders given since the table was last cleared (records dropped included).
    uint32_t Orders() const { return fNextOrder; }
    std::size_t Bytes() const { return fSlots.size() * sizeof(TRecord); }
    // The records, moved to the front of the table (which is no table any
    // more until Clear), the slots they left emptied.
    std::span<TRecord> TakeRecords()
    {
        std::size_t w = 0;
        for (TRecord& r : fSlots)
            if (r.freq != 0) {
                TRecord& to = fSlots[w++];
                if (&to != &r) {
                    to = r;
                    r.freq = 0;
                }
            }
        fTaken = w;
        return fSlots.first(w);
    }
    // Empties the table for a new run: orders start at 0 again.
    void Clear()
    {
        // After TakeRecords only the records moved to the front are left.
        const std::size_t used = fTaken != kNotTaken ? fTaken : fSlots.size();
        std::memset(static_cast<void*>(fSlots.data()), 0, used * sizeof(TRecord));
        fTaken = kNotTaken;
        fCount = 0;
        fNextOrder = 0;
        fCarries.clear();
    }

private:
    // The slots in a block of their own: zeroed as they come (a zero
    // frequency is an empty slot), and gone with the table's old size when
    // it grows.
    void Resize(std::size_t n)
    {
        fBlock = TPageBlock(n * sizeof(TRecord));
        fSlots = {static_cast<TRecord*>(fBlock.Data()), n};
        fMask = n - 1;
        fGrowAt = n / 10 * 7;
    }
    // The records in a table twice the size; when its memory cannot be had,
    // the table is left as it was.
    void Grow()
    {
        TPageBlock larger(fSlots.size() * 2 * sizeof(TRecord));
        TPageBlock oldBlock = std::exchange(fBlock, std::move(larger));
        const std::span<const TRecord> old = fSlots;
        fSlots = {static_cast<TRecord*>(fBlock.Data()), old.size() * 2};
        fMask = fSlots.size() - 1;
        fGrowAt = fSlots.size() / 10 * 7;
        for (const TRecord& r : old) {
            if (r.freq == 0)
                continue;
            std::size_t i = std::size_t(HashKey(r.key)) & fMask;
            while (fSlots[i].freq != 0)
                i = (i + 1) & fMask;
            fSlots[i] = r;
        }
    }
    void CarryOver(TRecord& r)
    {
        const uint64_t carried = uint64_t(r.freq) - 1;
        r.freq = 1;
        for (auto& [key, c] : fCarries)
            if (key == r.key) {
                c += carried;
                return;
            }
        fCarries.emplace_back(r.key, carried);
    }

    std::size_t fLimit;
    uint32_t fCeiling;
    TPageBlock fBlock;
    std::span<TRecord> fSlots;
    std::size_t fMask = 0, fGrowAt = 0, fCount = 0;
    uint32_t fNextOrder = 0;
    static constexpr std::size_t kNotTaken = ~std::size_t(0);
    std::size_t fTaken = kNotTaken; // records at the front after TakeRecords
    std::vector<std::pair<TKey<N>, uint64_t>> fCarries; // what passed the ceiling, per cluster
};

} // namespace cv::clusters
