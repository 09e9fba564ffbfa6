#include "index/index_clusters.h"

#include "suite/dialog_routines.h"
#include "suite/file_system.h"

#include "index/cluster_runs.h"
#include "index/index_hash.h"
#include "index/index_spread.h"
#include "model/check_signature.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/my_types.h"
#include "suite/page_block.h"
#include "suite/window_messages.h"
#include "wordlist/word_list.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>

#include <sys/resource.h>

#include <algorithm>
#include <new>
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_map>

namespace cv {

TClusterOptions TClusterOptions::FromSettings(const TWordlist_index_settings_rec& rec)
{
    TClusterOptions o;
    o.minSize = std::clamp(rec.ClusterSizeMin(), 2, 12);
    o.maxSize = std::clamp(rec.ClusterSizeMax(), 2, 12);
    o.maxSize = std::max(o.maxSize, o.minSize);
    o.stopLevel = IndexStopLevel(rec.StopAt());
    o.minFreq = std::max(1, rec.MinShowFrequency());
    o.minTexts = std::max(1, rec.ClusterMinTexts());
    o.maxPercent = std::isfinite(rec.ClusterMaxPercent()) ? std::max(0.0f, rec.ClusterMaxPercent()) : 0.0;
    o.omitNumbers = rec.OmitNumbers();
    o.omitStopWords = rec.StopListLoadedCopy();
    o.dispersion = rec.ComputeDispersion();
    o.phraseFrames = !rec.OmitPhraseFrames();
    o.maxSecondsPerWord = std::max(0, rec.MaxSecondsPerWord());
    return o;
}

QString TClusterOptions::Summary() const
{
    const QString sizes = minSize == maxSize ? QStringLiteral("%1-word clusters").arg(minSize)
                                             : QStringLiteral("%1- to %2-word clusters").arg(minSize).arg(maxSize);
    return QStringLiteral("%1, min. frequency %2, min. texts %3, stop at level %4").arg(sizes).arg(minFreq).arg(minTexts).arg(stopLevel);
}

QString ClusterText(const TIndexData& index, std::span<const uint32_t> codes)
{
    QString s;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        if (k > 0)
            s += QLatin1Char(' ');
        s += codes[k] == kFrameSlot ? QStringLiteral("*") : index.CodeText(codes[k]);
    }
    return s;
}

namespace {

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

// Exact counts of the clusters of one size met in a run of places: the
// keys inline in an open-addressed table (a place looked up touches one
// slot, seldom two), each with its frequency, the order in which it was
// first met and, with kTexts, its texts. (Without them a 2-word cluster's
// record is 16 bytes instead of 24: when the dispersion walk follows, it
// counts the texts, and the counting walk, which touches a record per
// place, waits for memory less.) Grows at 70 % full until its room reaches
// the byte limit; beyond that the caller empties it into a run file.
template <int N, bool kTexts>
struct TCountRecord {
    TKey<N> key;
    uint32_t freq;  // 0: the slot is empty
    uint32_t order; // the how-manieth cluster of the run it was
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

template <int N, bool kTexts>
class TCountTable {
public:
    using TRecord = TCountRecord<N, kTexts>;
    static_assert(std::is_trivially_copyable_v<TRecord>);

    explicit TCountTable(std::size_t byteLimit) : fLimit(byteLimit)
    {
        std::size_t n = std::size_t(1) << 12;
        while (n > 16 && n * sizeof(TRecord) > byteLimit)
            n /= 2;
        Resize(n);
    }

    // Whether a new cluster would need more room than the limit allows.
    bool Full() const { return fCount >= fGrowAt && fSlots.size() * 2 * sizeof(TRecord) > fLimit; }
    // Counts one place; returns the cluster's order in the run.
    uint32_t Add(const TKey<N>& k, uint64_t h, int32_t text)
    {
        for (std::size_t i = std::size_t(h) & fMask;; i = (i + 1) & fMask) {
            TRecord& r = fSlots[i];
            if (r.freq == 0) {
                if (fCount >= fGrowAt) {
                    Grow();
                    return Add(k, h, text);
                }
                r = TRecord::First(k, text, uint32_t(fCount++));
                return r.order;
            }
            if (r.key == k) {
                ++r.freq;
                r.Met(text);
                return r.order;
            }
        }
    }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&fSlots[std::size_t(h) & fMask]); }
    std::size_t Count() const { return fCount; }
    std::size_t Bytes() const { return fSlots.size() * sizeof(TRecord); }
    // The records, moved to the front of the table (which is no table any
    // more until Clear).
    std::span<TRecord> TakeRecords()
    {
        std::size_t w = 0;
        for (const TRecord& r : fSlots)
            if (r.freq != 0)
                fSlots[w++] = r;
        return fSlots.first(w);
    }
    void Clear()
    {
        std::memset(static_cast<void*>(fSlots.data()), 0, fSlots.size_bytes());
        fCount = 0;
    }
    void Release()
    {
        fBlock = TPageBlock();
        fSlots = {};
        fCount = 0;
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
    void Grow()
    {
        TPageBlock oldBlock = std::move(fBlock);
        const std::span<const TRecord> old = fSlots;
        Resize(old.size() * 2);
        for (const TRecord& r : old) {
            if (r.freq == 0)
                continue;
            std::size_t i = std::size_t(HashKey(r.key)) & fMask;
            while (fSlots[i].freq != 0)
                i = (i + 1) & fMask;
            fSlots[i] = r;
        }
    }

    std::size_t fLimit;
    TPageBlock fBlock;
    std::span<TRecord> fSlots;
    std::size_t fMask = 0, fGrowAt = 0, fCount = 0;
};

// The clusters kept of one size, by key: their place in the run's list.
// After counts went to run files the kept clusters can be many millions
// (12 million 3-word clusters of a 5 GB corpus), so a slot holds no key,
// only the cluster's place and 32 bits of its hash; the key is compared in
// the clusters' own block of codes, for the slot whose bits agree. At most
// half full (a place of a cluster not kept, which is most of them, looks
// at two or three slots, seldom beyond one cache line), as large as that
// needs, not the next power of two: a hash picks its slot by
// multiplication. The slots in a block of their own, in large pages where
// the system has them: the dispersion walk looks up every place.
template <int N>
class TKeptIndex {
public:
    // The clusters `firstId`, `firstId` + 1, ... whose codes are at
    // `codes`, N each (kept by the caller while the index is used).
    void Build(const uint32_t* codes, std::size_t count, int32_t firstId)
    {
        fCodes = codes;
        fFirstId = firstId;
        const std::size_t n = std::max<std::size_t>(64, 2 * count + 1);
        fBlock = TPageBlock(n * sizeof(TSlot));
        fSlots = {static_cast<TSlot*>(fBlock.Data()), n};
        for (std::size_t k = 0; k < count; ++k) {
            const uint64_t h = HashKey(KeyAt<N>(codes + k * N));
            std::size_t i = SlotOf(h);
            while (fSlots[i].idAfter != 0)
                i = Following(i);
            fSlots[i] = {uint32_t(h), firstId + int32_t(k) + 1};
        }
    }
    int32_t Find(const TKey<N>& k, uint64_t h) const
    {
        for (std::size_t i = SlotOf(h);; i = Following(i)) {
            const TSlot& s = fSlots[i];
            if (s.idAfter == 0)
                return -1;
            if (s.tag == uint32_t(h) && Holds(s.idAfter - 1, k))
                return s.idAfter - 1;
        }
    }
    // The first cluster whose hash bits agree with `h` (-1 none): the one
    // of the key but once in four billion. Its codes are asked for, so
    // that Holds can tell some places later without waiting for them.
    int32_t Candidate(uint64_t h) const
    {
        for (std::size_t i = SlotOf(h);; i = Following(i)) {
            const TSlot& s = fSlots[i];
            if (s.idAfter == 0)
                return -1;
            if (s.tag == uint32_t(h)) {
                __builtin_prefetch(CodesOf(s.idAfter - 1));
                return s.idAfter - 1;
            }
        }
    }
    bool Holds(int32_t id, const TKey<N>& k) const { return KeyAt<N>(CodesOf(id)) == k; }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&fSlots[SlotOf(h)]); }
    std::size_t Bytes() const { return fSlots.size_bytes(); }
    void Release()
    {
        fBlock = TPageBlock();
        fSlots = {};
    }

private:
    struct TSlot {
        uint32_t tag;    // the low bits of the hash (the slot comes of the high ones)
        int32_t idAfter; // the cluster's place + 1; 0: the slot is empty (the block comes zeroed)
    };
    const uint32_t* CodesOf(int32_t id) const { return fCodes + std::size_t(id - fFirstId) * N; }
    std::size_t SlotOf(uint64_t h) const { return std::size_t((unsigned __int128)h * fSlots.size() >> 64); }
    std::size_t Following(std::size_t i) const { return i + 1 == fSlots.size() ? 0 : i + 1; }
    TPageBlock fBlock;
    std::span<TSlot> fSlots;
    const uint32_t* fCodes = nullptr;
    int32_t fFirstId = 0;
};

// Which clusters of a table were kept, by the order they were first met
// (0 to count - 1), and the place of each kept one in the run's list: the
// kept ones take their places in that order, so a bit per order and the
// number of kept ones before each 64 orders tell it (a quarter of a byte
// per cluster met, where an array of places took four).
class TKeptOrders {
    // The bits set, inline: the build is for any x86-64, where std::popcount
    // is a call into the compiler's library (once per place of the
    // dispersion walk).
    static int BitsSet(uint64_t x)
    {
        x -= (x >> 1) & 0x5555555555555555ull;
        x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        return int((x * 0x0101010101010101ull) >> 56);
    }

public:
    void Reset(std::size_t orders) { fWords.assign((orders + 63) / 64, TWord{}); }
    void Keep(uint32_t order) { fWords[order >> 6].bits |= uint64_t(1) << (order & 63); }
    // Numbers the kept ones from `first` on; returns how many were kept.
    int32_t Number(int32_t first)
    {
        int64_t n = first;
        for (TWord& w : fWords) {
            w.before = n;
            n += BitsSet(w.bits);
        }
        return int32_t(n - first);
    }
    // The place of the cluster met as `order`, -1 when it was not kept.
    int32_t Of(uint32_t order) const
    {
        const TWord& w = fWords[order >> 6];
        const uint64_t bit = uint64_t(1) << (order & 63);
        return (w.bits & bit) != 0 ? int32_t(w.before + BitsSet(w.bits & (bit - 1))) : -1;
    }
    void Prefetch(uint32_t order) const { __builtin_prefetch(&fWords[order >> 6]); }
    bool Empty() const { return fWords.empty(); }
    void Release() { fWords = {}; }

private:
    struct TWord {
        uint64_t bits = 0;
        int64_t before = 0;
    };
    std::vector<TWord> fWords;
};

// Reads a run file back (cluster_runs.h), the current record's codes as a key.
template <int N>
class TRunReader {
public:
    bool Open(const TClusterRunFile& run, QString* error) { return fReader.Open(run, error) && Take(); }
    bool Next(QString* error) { return fReader.Next(error) && Take(); }
    bool Done() const { return fReader.Done(); }
    const TClusterRunCounts& Counts() const { return fReader.Counts(); }

    TKey<N> key;

private:
    bool Take()
    {
        if (!fReader.Done())
            key = KeyAt<N>(fReader.Codes().data());
        return true;
    }
    TClusterRunReader fReader;
};

// What every walk of one cluster run shares: the index, the options, the
// role of each code, the progress and the time allowed.
struct TWalkContext {
    TWalkContext(const TIndexData& i, const TClusterOptions& options, TClusterRun& run, QString* e)
        : index(i), o(options), out(run), error(e)
    {
    }
    const TIndexData& index;
    const TClusterOptions& o;
    TClusterRun& out;
    QString* error;
    int32_t firstText = 0, lastText = -1;
    std::vector<uint8_t> role; // bit 1: may be in a cluster; bit 2: a chosen word
    bool everyWordChosen = true;
    int64_t rangeTokens = 0;
    QElapsedTimer clock;
    double budget = 0;
    qint64 lastYield = 0;
    int step = 0, steps = 1;
    // Dispersion: the parts' running words (taken in the first walk), the parts.
    bool oneText = false;
    std::vector<int64_t> sizesOfParts;
    bool wantPartSizes = false;
    bool spread = false; // a dispersion walk follows the counting
    // The counting leaves the clusters' texts to the dispersion walk (which
    // surely follows, and no minimum of texts has to be checked before).
    bool textsInSpread = false;
    // Dispersion and the frames' texts, per cluster and frame of the run.
    // A cluster's sum is kept apart from where it was last met: a place of
    // a cluster met before in the same part touches 8 bytes, and the sums
    // take the room the counting's frequencies left (the same size).
    std::vector<double> sums;
    std::vector<TIndexParts::TAt> at;
    std::vector<TIndexParts::TAcc> frameAcc;
    std::vector<int32_t> frameLast, frameTexts;
    std::unique_ptr<TIndexParts> parts;

    int32_t PartOf(int32_t text, int64_t i, int64_t n) const
    {
        return oneText ? TIndexParts::TenthOf(i, n) : text - firstText;
    }

    // Calls place(key, hash, text, i, n) for every place of the texts where
    // a cluster of N words starts (i: its token in the text, n: the text's
    // tokens), in order. The places go through a short queue: each is
    // announced to `ahead` (which asks for the memory its hash will touch)
    // some places before it is visited, so that the look-ups of several
    // places are under way at once. `tokens(text, i, n, codes)` sees every
    // token once. The texts are read a stretch at a time, so a text of any
    // length takes the same memory. False when the index cannot be read;
    // a cancel or the time running out stop the walk (out.cancelled,
    // out.stoppedByTime).
    template <int N, typename TTokens, typename TPlaceFn, typename TAheadFn>
    bool Walk(TTokens&& tokens, TPlaceFn&& place, TAheadFn&& ahead)
    {
        constexpr std::size_t kStretch = std::size_t(1) << 16;
        constexpr std::size_t kAhead = 16;
        struct TPlace {
            TKey<N> key;
            uint64_t hash;
            int32_t text;
            int64_t i, n;
        };
        std::array<TPlace, kAhead> queue{};
        std::size_t queued = 0;
        auto visit = [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t n) {
            ahead(h);
            TPlace& slot = queue[queued % kAhead];
            if (queued >= kAhead)
                place(slot.key, slot.hash, slot.text, slot.i, slot.n);
            slot = {key, h, text, i, n};
            ++queued;
        };
        auto drain = [&] {
            for (std::size_t k = queued > kAhead ? queued - kAhead : 0; k < queued; ++k) {
                const TPlace& slot = queue[k % kAhead];
                place(slot.key, slot.hash, slot.text, slot.i, slot.n);
            }
            queued = 0;
        };

        TTokenStreamReader reader;
        if (!reader.Open(index, firstText, lastText, error))
            return false;
        std::vector<uint32_t> codes(kStretch + N);
        std::vector<uint8_t> levels(kStretch + N);
        // Bit j of word j / 64: token j may be in a cluster (ok), and may
        // also follow the token before it in one (good: no boundary at or
        // above the stop level between them); a cluster may start at place i
        // (starts) when token i is ok and the N - 1 after it are good.
        constexpr std::size_t kWords = (kStretch + N + 63) / 64 + 1;
        std::vector<uint64_t> okBits(kWords), goodBits(kWords), startBits(kWords);
        std::vector<int32_t> chosenBefore(everyWordChosen ? 0 : kStretch + N + 1);
        const int stop = o.stopLevel;
        const uint8_t* roleOf = role.data();
        const TIndexMarkup* m = index.markup.data();
        const TIndexMarkup* const mEnd = m + index.markup.size();
        int64_t done = 0;
        int32_t text = 0;
        int64_t n = 0;
        QString why;
        while (reader.NextText(text, n, &why)) {
            const int64_t firstToken = index.texts[std::size_t(text)].firstToken;
            while (m != mEnd && m->token < firstToken)
                ++m;
            std::size_t carry = 0; // tokens of the stretch before, whose places come in this one
            int64_t read = 0, pos = 0;
            while (read < n) {
                if (global_panic_state.load() != kPanicRun) {
                    out.cancelled = true;
                    return true;
                }
                const auto k = std::size_t(std::min<int64_t>(int64_t(kStretch), n - read));
                if (!reader.Read({codes.data() + carry, k}, &why)) {
                    if (error)
                        *error = why;
                    return false;
                }
                std::fill_n(levels.data() + carry, k, uint8_t(0));
                const int64_t g0 = firstToken + read;
                for (; m != mEnd && m->token < g0 + int64_t(k); ++m)
                    levels[carry + std::size_t(m->token - g0)] = m->level;
                tokens(text, read, n, std::span<const uint32_t>(codes.data() + carry, k));
                read += int64_t(k);
                const std::size_t count = carry + k;
                const bool lastStretch = read == n;
                const std::size_t words = (count + 63) / 64;
                for (std::size_t w = 0; w < words; ++w) {
                    const std::size_t from = 64 * w, to = std::min(count, from + 64);
                    uint64_t ok = 0, good = 0;
                    for (std::size_t j = from; j < to; ++j) {
                        const uint64_t isOk = roleOf[codes[j]] & 1u;
                        const uint64_t joined = stop == 0 || levels[j] < stop ? 1u : 0u;
                        ok |= isOk << (j - from);
                        good |= (isOk & joined) << (j - from);
                    }
                    okBits[w] = ok;
                    goodBits[w] = good;
                }
                goodBits[words] = 0;
                for (std::size_t w = 0; w < words; ++w) {
                    uint64_t starts = okBits[w];
                    for (int t = 1; t < N; ++t)
                        starts &= (goodBits[w] >> t) | (goodBits[w + 1] << (64 - t));
                    startBits[w] = starts;
                }
                if (!everyWordChosen) {
                    chosenBefore[0] = 0;
                    for (std::size_t j = 0; j < count; ++j)
                        chosenBefore[j + 1] = chosenBefore[j] + ((roleOf[codes[j]] & 2) ? 1 : 0);
                }
                // Places whose cluster may reach into the next stretch wait for it.
                const std::size_t places = lastStretch ? count : count >= std::size_t(N) ? count - std::size_t(N - 1) : 0;
                for (std::size_t w = 0; 64 * w < places; ++w) {
                    uint64_t starts = startBits[w];
                    if (places - 64 * w < 64)
                        starts &= (uint64_t(1) << (places - 64 * w)) - 1;
                    for (; starts != 0; starts &= starts - 1) {
                        const std::size_t i = 64 * w + std::size_t(__builtin_ctzll(starts));
                        if (!everyWordChosen && chosenBefore[i + N] == chosenBefore[i])
                            continue;
                        const TKey<N> key = KeyAt<N>(codes.data() + i);
                        visit(key, HashKey(key), text, pos + int64_t(i), n);
                    }
                }
                carry = count - places;
                std::memmove(codes.data(), codes.data() + places, carry * sizeof(uint32_t));
                std::memmove(levels.data(), levels.data() + places, carry);
                pos += int64_t(places);
                done += int64_t(k);
                Progress(done, rangeTokens);
                if (budget > 0 && double(clock.elapsed()) > budget * 1000.0) {
                    drain();
                    out.stoppedByTime = true;
                    return true;
                }
            }
        }
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            return false;
        }
        drain();
        return true;
    }

    // Shows how far the walk is (`done` of `all`), now and then.
    void Progress(int64_t done, int64_t all)
    {
        if (clock.elapsed() - lastYield <= 100)
            return;
        lastYield = clock.elapsed();
        GlobalProgress().ThisPercent(int((int64_t(step) * 100 + done * 100 / std::max<int64_t>(1, all)) / steps));
        MyYieldProcess();
    }
};

// The clusters of the places in the order the counting walk met them (the
// order number of each in its table, four bytes little-endian), in a
// temporary file, with the part each stretch of places is in, so that the
// dispersion walk needs neither the texts nor the clusters' codes again.
// Only while the counts stay in one table: the orders of several runs are
// not one numbering.
struct TPlaceStream {
    struct TRange {
        int32_t text;
        int64_t i, n; // a place of the part (its part is all the walk needs)
        int64_t places;
        int32_t part;
    };
    std::unique_ptr<TScratchFile> file; // as a run file
    std::vector<TRange> ranges;
    int64_t count = 0;
    std::vector<uint32_t> buffer;
    const TWalkContext* context = nullptr;
    bool failed = false;

    void Start(const TWalkContext& c, bool wanted)
    {
        *this = {};
        if (!wanted)
            return;
        file = std::make_unique<TScratchFile>();
        if (!file->Create(QDir::tempPath(), nullptr)) {
            file.reset();
            return;
        }
        context = &c;
        buffer.reserve(std::size_t(1) << 16);
    }
    bool Wanted() const { return file != nullptr; }
    void Add(uint32_t order, int32_t text, int64_t i, int64_t n)
    {
        const int32_t part = context->PartOf(text, i, n);
        if (ranges.empty() || ranges.back().part != part || ranges.back().text != text)
            ranges.push_back({text, i, n, 0, part});
        ++ranges.back().places;
        ++count;
        buffer.push_back(qToLittleEndian(order));
        if (buffer.size() == buffer.capacity())
            Flush();
    }
    void Flush()
    {
        if (!failed && !file->Append(buffer.data(), int64_t(buffer.size() * 4), nullptr))
            failed = true;
        buffer.clear();
    }
    // False when the stream could not be written whole.
    bool Finish()
    {
        if (!file)
            return true;
        Flush();
        return !failed;
    }
    void Drop() { *this = {}; }
};

// The work of one cluster size: its counting (walk A), the clusters kept,
// and the dispersion walk over them (walk B).
class TSizePass {
public:
    virtual ~TSizePass() = default;
    // Counts, and appends the clusters kept to out.clusters.
    virtual bool Count(TWalkContext& c) = 0;
    // Takes the spread of the clusters kept (and the texts of their frames).
    virtual bool Disperse(TWalkContext& c) = 0;
};

template <int N>
class TSizePassOf final : public TSizePass {
public:
    bool Count(TWalkContext& c) override
    {
        fFirstId = int32_t(c.out.clusters.size());
        if (!CountAndKeep(c))
            return false;
        if (fPlaces.file)
            return true;
        // The index of the clusters kept, by their codes (one block, in the order of the run's list).
        const std::size_t kept = c.out.clusters.size() - std::size_t(fFirstId);
        fIndex.Build(kept > 0 ? c.out.clusters[std::size_t(fFirstId)].codesAt : nullptr, kept, fFirstId);
        c.out.peakTableBytes = std::max(c.out.peakTableBytes, fIndex.Bytes());
        return true;
    }

    bool Disperse(TWalkContext& c) override
    {
        TClusterRun& out = c.out;
        const TIndexParts& parts = *c.parts;
        const bool frames = !out.frames.empty();
        // A second short queue: a place's cluster found, its record is
        // asked for, and counted some places later. Found by its hash
        // (`check`), it is made sure of then, when its codes have come.
        struct TFound {
            int32_t id, text;
            int64_t i, n;
            bool check;
            TKey<N> key;
            uint64_t hash;
        };
        constexpr std::size_t kAhead = 12;
        std::array<TFound, kAhead> found{};
        std::size_t queued = 0;
        // The texts of a cluster are its parts, or one for the tenths of one text.
        const bool texts = c.textsInSpread;
        const bool oneText = c.oneText;
        auto count = [&](const TFound& p) {
            int32_t id = p.id;
            if (p.check && !fIndex.Holds(id, p.key) && (id = fIndex.Find(p.key, p.hash)) < 0)
                return;
            const int32_t part = c.PartOf(p.text, p.i, p.n);
            TIndexParts::TAt& at = c.at[std::size_t(id)];
            if (at.part == part && !frames) {
                ++at.inPart;
                return;
            }
            TClusterResult& r = out.clusters[std::size_t(id)];
            if (texts && at.part != part && (!oneText || at.part < 0))
                ++r.texts;
            parts.AddCount(c.sums[std::size_t(id)], at, part, 1, double(r.freq));
            if (r.frame >= 0) {
                const auto f = std::size_t(r.frame);
                parts.Add(c.frameAcc[f], part, double(out.frames[f].freq));
                if (c.frameLast[f] != p.text) {
                    c.frameLast[f] = p.text;
                    ++c.frameTexts[f];
                }
            }
        };
        auto queue = [&](const TFound& f) {
            __builtin_prefetch(&c.at[std::size_t(f.id)]);
            __builtin_prefetch(&c.sums[std::size_t(f.id)]);
            __builtin_prefetch(&out.clusters[std::size_t(f.id)].freq);
            TFound& slot = found[queued % kAhead];
            if (queued >= kAhead)
                count(slot);
            slot = f;
            ++queued;
        };
        auto drain = [&] {
            for (std::size_t k = queued > kAhead ? queued - kAhead : 0; k < queued; ++k)
                count(found[k % kAhead]);
            queued = 0;
        };
        if (fPlaces.file) {
            // The places' clusters as the counting walk met them: no text is read again.
            // What a place touches is asked for in two steps ahead of it:
            // its word of the kept orders, then the kept cluster's records.
            constexpr std::size_t kFar = 24;
            const TKeptOrders& kept = fKept;
            const bool ok = ReadPlaces(c, [&](std::span<const uint32_t> orders, const TPlaceStream::TRange& r) {
                const std::size_t n = orders.size();
                for (std::size_t j = 0; j < n; ++j) {
                    if (j + kFar < n)
                        kept.Prefetch(orders[j + kFar]);
                    const int32_t k = kept.Of(orders[j]);
                    if (k >= 0)
                        queue({k, r.text, r.i, r.n, false, {}, 0});
                }
            });
            drain();
            fKept.Release();
            fPlaces = {};
            return ok;
        }
        const bool ok = c.Walk<N>(
            [](int32_t, int64_t, int64_t, std::span<const uint32_t>) {},
            [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t n) {
                const int32_t k = fIndex.Candidate(h);
                if (k >= 0)
                    queue({k, text, i, n, true, key, h});
            },
            [&](uint64_t h) { fIndex.Prefetch(h); });
        drain();
        fIndex.Release();
        return ok;
    }

private:
    // Walk A: the exact counts of every cluster of the texts, in memory
    // while the table stays within its limit, else in sorted runs written
    // to temporary files and merged. Either way the clusters that reach
    // the minimum frequency and texts, with the order they were first met in.
    bool CountAndKeep(TWalkContext& c)
    {
        return c.textsInSpread ? CountAndKeepWith<false>(c) : CountAndKeepWith<true>(c);
    }
    template <bool kTexts>
    bool CountAndKeepWith(TWalkContext& c)
    {
        using TTable = TCountTable<N, kTexts>;
        TTable table(c.o.tableBytesLimit);
        TPlaceStream& places = fPlaces;
        places.Start(c, c.spread);
        std::vector<TClusterRunFile> runs;
        int32_t startText = c.firstText;   // the text the current run began in
        uint32_t boundaryOrder = 0;        // clusters of the run first met in its start text
        bool leftStartText = false;
        auto spill = [&]() {
            if (!leftStartText)
                boundaryOrder = uint32_t(table.Count());
            std::span<typename TTable::TRecord> records = table.TakeRecords();
            std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
            TClusterRunFile& run = runs.emplace_back(N, startText, uint32_t(records.size()));
            if (!run.Create(QDir::tempPath(), c.error))
                return false;
            for (const auto& r : records) {
                TClusterRunCounts w;
                w.freq = r.freq;
                w.texts = r.Texts();
                w.lastText = r.LastText();
                w.order = r.order;
                w.inStartText = r.order < boundaryOrder;
                if (!run.Add(r.key.c, w, c.error))
                    return false;
            }
            if (!run.Finish(c.error))
                return false;
            c.out.runFileBytes += run.Bytes();
            table.Clear();
            leftStartText = false;
            return true;
        };
        bool spillFailed = false;
        const bool partSizes = c.wantPartSizes;
        c.wantPartSizes = false;
        const bool ok = c.Walk<N>(
            [&](int32_t text, int64_t i, int64_t n, std::span<const uint32_t> codes) {
                if (!partSizes)
                    return;
                if (!c.oneText) {
                    int64_t words = 0;
                    for (uint32_t code : codes)
                        words += code != kIndexCodeNumber ? 1 : 0;
                    c.sizesOfParts[std::size_t(text - c.firstText)] += words;
                    return;
                }
                for (std::size_t j = 0; j < codes.size(); ++j)
                    if (codes[j] != kIndexCodeNumber)
                        ++c.sizesOfParts[std::size_t(TIndexParts::TenthOf(i + int64_t(j), n))];
            },
            [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t n) {
                ++c.out.positions;
                if (text != startText && !leftStartText) {
                    leftStartText = true;
                    boundaryOrder = uint32_t(table.Count());
                }
                if (table.Full()) {
                    places.Drop(); // orders of several runs: the spread is taken by the clusters' codes
                    c.out.peakTableBytes = std::max(c.out.peakTableBytes, table.Bytes());
                    if (spillFailed || !spill()) {
                        spillFailed = true;
                        return;
                    }
                    startText = text;
                }
                const uint32_t order = table.Add(key, h, text);
                if (places.Wanted())
                    places.Add(order, text, i, n);
            },
            [&](uint64_t h) { table.Prefetch(h); });
        c.out.peakTableBytes = std::max(c.out.peakTableBytes, table.Bytes());
        if (!ok || spillFailed)
            return false;
        if (!places.Finish())
            places.Drop();
        const int64_t minFreq = c.o.minFreq;
        const int32_t minTexts = c.o.minTexts;
        if (runs.empty()) {
            // The clusters kept, in the order first met: their places in the
            // list by the order (the orders are 0 to count - 1), and then
            // each record put at its place (no sort of the records). Copied
            // out of the table, which goes before the list takes its memory
            // (the clusters' entries are the largest part of the job's).
            const std::span<const typename TTable::TRecord> records = table.TakeRecords();
            fKept.Reset(records.size());
            for (const auto& r : records)
                if (int64_t(r.freq) >= minFreq && int32_t(r.Texts()) >= minTexts)
                    fKept.Keep(r.order);
            const int32_t kept = fKept.Number(fFirstId);
            // The codes straight into the run's block, frequencies and texts beside.
            uint32_t* const codes =
                c.out.codeBlocks.emplace_back(std::make_unique_for_overwrite<uint32_t[]>(std::size_t(kept) * N)).get();
            std::vector<std::array<uint32_t, 2>> counts(static_cast<std::size_t>(kept));
            for (const auto& r : records)
                if (const int32_t place = fKept.Of(r.order); place >= 0) {
                    const auto k = std::size_t(place - fFirstId);
                    std::copy(r.key.c.begin(), r.key.c.end(), codes + k * N);
                    counts[k] = {r.freq, r.Texts()};
                }
            table.Release();
            if (!places.file)
                fKept.Release();
            c.out.clusters.reserve(c.out.clusters.size() + counts.size());
            for (std::size_t k = 0; k < counts.size(); ++k) {
                TClusterResult& r = c.out.clusters.emplace_back();
                r.codesAt = codes + k * N;
                r.size = uint32_t(N);
                r.freq = int64_t(counts[k][0]);
                r.texts = kTexts ? int32_t(counts[k][1]) : 0;
            }
            return true;
        }
        if (table.Count() > 0 && !spill())
            return false;
        table.Release();
        return Merge(runs, minFreq, minTexts, fFirstId, kTexts, c.out, c.error);
    }

    // Merges the sorted runs: a cluster's counts are summed over the runs,
    // less a text counted twice where a run began in its middle. The
    // clusters kept are listed in the order they were first met: by run,
    // then by order in the run. They come out of the merge in the order of
    // their codes, so they wait in a scratch file (written like a run, the
    // order as run << 32 | order in the run) while a bit per cluster of
    // each run tells which were kept; the bits number them, and each is put
    // at its place in the list, which takes no more memory than it needs.
    // `withTexts`: the kept clusters' texts are counted; else the
    // dispersion walk counts them, from 0.
    static bool Merge(const std::vector<TClusterRunFile>& runs, int64_t minFreq, int32_t minTexts, int32_t firstId,
                      bool withTexts, TClusterRun& out, QString* error)
    {
        std::vector<TKeptOrders> keptOf(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r)
            keptOf[r].Reset(std::size_t(runs[r].Records()));
        TClusterRunFile kept(N, 0, uint64_t(runs.size()) << 32);
        if (!kept.Create(QDir::tempPath(), error))
            return false;
        {
            std::vector<TRunReader<N>> readers(runs.size());
            for (std::size_t r = 0; r < runs.size(); ++r)
                if (!readers[r].Open(runs[r], error))
                    return false;
            // A heap of the runs by their next key, the earlier run first among equals.
            auto later = [&](std::size_t a, std::size_t b) {
                const TKey<N>& x = readers[a].key;
                const TKey<N>& y = readers[b].key;
                return y < x || (x == y && a > b);
            };
            std::vector<std::size_t> heap;
            for (std::size_t r = 0; r < runs.size(); ++r)
                if (!readers[r].Done())
                    heap.push_back(r);
            std::make_heap(heap.begin(), heap.end(), later);
            while (!heap.empty()) {
                const TKey<N> key = readers[heap.front()].key;
                int64_t texts = 0;
                uint64_t freq = 0;
                int32_t lastText = -1;
                std::size_t firstRun = 0;
                uint32_t order = 0;
                bool first = true;
                while (!heap.empty() && readers[heap.front()].key == key) {
                    std::pop_heap(heap.begin(), heap.end(), later);
                    const std::size_t r = heap.back();
                    const TClusterRunCounts& rec = readers[r].Counts();
                    if (first) {
                        firstRun = r;
                        order = uint32_t(rec.order);
                    } else if (lastText == runs[r].StartText() && rec.inStartText) {
                        --texts;
                    }
                    first = false;
                    freq += rec.freq;
                    texts += rec.texts;
                    lastText = rec.lastText;
                    if (!readers[r].Next(error))
                        return false;
                    if (readers[r].Done())
                        heap.pop_back();
                    else
                        std::push_heap(heap.begin(), heap.end(), later);
                }
                if (int64_t(freq) >= minFreq && texts >= minTexts) {
                    keptOf[firstRun].Keep(order);
                    TClusterRunCounts w;
                    w.freq = freq;
                    w.texts = uint32_t(texts);
                    w.order = uint64_t(firstRun) << 32 | order;
                    if (!kept.Add(key.c, w, error))
                        return false;
                }
            }
        }
        if (!kept.Finish(error))
            return false;
        int32_t next = firstId;
        for (TKeptOrders& k : keptOf)
            next += k.Number(next);
        const auto count = std::size_t(next - firstId);
        uint32_t* const codes = out.codeBlocks.emplace_back(std::make_unique_for_overwrite<uint32_t[]>(count * N)).get();
        out.clusters.resize(out.clusters.size() + count);
        TClusterRunReader reader;
        if (!reader.Open(kept, error))
            return false;
        while (!reader.Done()) {
            const TClusterRunCounts& k = reader.Counts();
            const int32_t place = keptOf[std::size_t(k.order >> 32)].Of(uint32_t(k.order));
            uint32_t* const at = codes + std::size_t(place - firstId) * N;
            std::ranges::copy(reader.Codes(), at);
            TClusterResult& r = out.clusters[std::size_t(place)];
            r.codesAt = at;
            r.size = uint32_t(N);
            r.freq = int64_t(k.freq);
            r.texts = withTexts ? int32_t(k.texts) : 0;
            if (!reader.Next(error))
                return false;
        }
        return true;
    }

    // Walks the place stream: stretch(orders, range) for the places in
    // order, a stretch of one range at a time.
    template <typename TStretchFn>
    bool ReadPlaces(TWalkContext& c, TStretchFn&& stretch)
    {
        std::vector<uint32_t> orders(std::size_t(1) << 16);
        std::size_t at = 0, end = 0;
        int64_t done = 0;
        for (const TPlaceStream::TRange& r : fPlaces.ranges) {
            for (int64_t left = r.places; left > 0;) {
                if (at == end) {
                    if (global_panic_state.load() != kPanicRun) {
                        c.out.cancelled = true;
                        return true;
                    }
                    const int64_t want = std::min(int64_t(orders.size()), fPlaces.count - done);
                    if (!fPlaces.file->ReadAt(done * 4, orders.data(), want * 4, c.error))
                        return false;
                    at = 0;
                    end = std::size_t(want);
                    done += int64_t(end);
                    for (std::size_t j = 0; j < end; ++j)
                        orders[j] = qFromLittleEndian(orders[j]);
                    c.Progress(done, fPlaces.count);
                }
                const auto k = std::size_t(std::min<int64_t>(left, int64_t(end - at)));
                stretch(std::span<const uint32_t>(orders.data() + at, k), r);
                at += k;
                left -= int64_t(k);
            }
        }
        return true;
    }

    TKeptIndex<N> fIndex;
    int32_t fFirstId = 0;
    TPlaceStream fPlaces;
    TKeptOrders fKept; // by order met: the cluster's place in the run's list (while the place stream is read)
};

template <int N>
std::unique_ptr<TSizePass> MakePass(int size)
{
    if constexpr (N > 12)
        return nullptr;
    else
        return size == N ? std::make_unique<TSizePassOf<N>>() : MakePass<N + 1>(size);
}

// The bytes the counting table may take before its counts go to run files:
// a quarter of a gigabyte, less where the process may address less memory
// than six times that.
std::size_t DefaultTableBytesLimit()
{
    std::size_t limit = std::size_t(256) << 20;
    rlimit r{};
    if (getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY)
        limit = std::min<std::size_t>(limit, std::size_t(r.rlim_cur) / 6);
    return std::max<std::size_t>(limit, std::size_t(1) << 20);
}

} // namespace

bool CountClusters(const TIndexData& index, const std::vector<uint32_t>& nodes, const std::vector<uint8_t>& stopTypes,
                   const TClusterOptions& options, TClusterRun& out, QString* error, int32_t firstText, int32_t lastText)
try {
    out = TClusterRun();
    if (lastText < 0 || lastText >= index.TextCount())
        lastText = index.TextCount() - 1;
    firstText = std::max(0, firstText);
    if (firstText > lastText)
        return true;
    TClusterOptions o = options;
    if (o.tableBytesLimit == 0)
        o.tableBytesLimit = DefaultTableBytesLimit();
    const int minSize = std::clamp(o.minSize, 2, 12);
    const int maxSize = std::clamp(std::max(o.maxSize, minSize), 2, 12);
    const std::size_t codeCount = index.types.size() + kIndexFirstTypeCode;
    const int64_t running = index.RunningWords();

    TWalkContext c(index, o, out, error);
    c.firstText = firstText;
    c.lastText = lastText;
    // What each code may be: in a cluster at all (bit 1), a chosen word (bit 2).
    c.role.assign(codeCount, 0);
    c.role[kIndexCodeNumber] = o.omitNumbers ? 0 : 1;
    {
        std::vector<uint8_t> chosen(codeCount, 0);
        for (uint32_t id : nodes)
            if (id < index.types.size())
                chosen[id + kIndexFirstTypeCode] = 1;
        for (uint32_t id = 0; id < index.types.size(); ++id) {
            const TIndexType& t = index.types[id];
            const uint32_t code = id + kIndexFirstTypeCode;
            if ((o.omitNumbers && t.IsNumber()) || (o.omitStopWords && id < stopTypes.size() && stopTypes[id]))
                continue;
            c.role[code] = 1;
            const bool tooFrequent = o.maxPercent > 0 && running > 0 && double(t.freq) * 100.0 / double(running) > o.maxPercent;
            if ((nodes.empty() || chosen[code]) && !tooFrequent)
                c.role[code] |= 2;
        }
    }
    c.everyWordChosen = nodes.empty() && o.maxPercent <= 0;
    for (int32_t t = firstText; t <= lastText; ++t)
        c.rangeTokens += index.texts[std::size_t(t)].tokens;
    c.clock.start();
    c.budget = o.maxSecondsPerWord > 0
        ? double(o.maxSecondsPerWord) * double(std::max<std::size_t>(1, nodes.empty() ? index.types.size() : nodes.size()))
        : 0.0;
    const int sizes = maxSize - minSize + 1;
    const bool spread = o.dispersion || o.phraseFrames;
    c.steps = sizes * (spread ? 2 : 1);
    c.oneText = firstText == lastText;
    c.wantPartSizes = spread;
    c.spread = spread;
    c.textsInSpread = o.dispersion && o.minTexts <= 1 && c.budget <= 0;
    c.sizesOfParts.assign(c.oneText ? kDispersionPartsOfOneText : std::size_t(lastText - firstText + 1), 0);

    std::vector<std::unique_ptr<TSizePass>> passes;
    for (int size = minSize; size <= maxSize; ++size) {
        passes.push_back(MakePass<2>(size));
        if (!passes.back()->Count(c))
            return false;
        ++c.step;
        if (out.cancelled)
            return true;
        if (out.stoppedByTime)
            break;
    }

    // Phrase frames: clusters alike but for one place.
    if (o.phraseFrames) {
        std::unordered_map<std::u32string, std::vector<int32_t>> byFrame;
        for (int32_t i = 0; i < int32_t(out.clusters.size()); ++i) {
            const std::span<const uint32_t> c = out.clusters[std::size_t(i)].codes();
            if (c.size() < 3)
                continue;
            std::u32string key(c.begin(), c.end());
            for (std::size_t k = 0; k < c.size(); ++k) {
                key[k] = kFrameSlot;
                byFrame[key].push_back(i);
                key[k] = c[k];
            }
        }
        struct TCandidate {
            std::u32string key;
            std::vector<int32_t> variants;
            int64_t freq;
        };
        std::vector<TCandidate> candidates;
        for (auto& [key, variants] : byFrame) {
            if (variants.size() < 2)
                continue;
            int64_t f = 0;
            for (int32_t v : variants)
                f += out.clusters[std::size_t(v)].freq;
            candidates.push_back({key, std::move(variants), f});
        }
        std::sort(candidates.begin(), candidates.end(), [](const TCandidate& a, const TCandidate& b) {
            if (a.freq != b.freq)
                return a.freq > b.freq;
            if (a.variants.size() != b.variants.size())
                return a.variants.size() > b.variants.size();
            return a.key < b.key;
        });
        for (TCandidate& cand : candidates) {
            std::vector<int32_t> free;
            for (int32_t v : cand.variants)
                if (out.clusters[std::size_t(v)].frame < 0)
                    free.push_back(v);
            if (free.size() < 2)
                continue;
            TPhraseFrame f;
            f.codes.assign(cand.key.begin(), cand.key.end());
            for (int32_t v : free) {
                out.clusters[std::size_t(v)].frame = int32_t(out.frames.size());
                f.freq += out.clusters[std::size_t(v)].freq;
                f.texts = std::max(f.texts, out.clusters[std::size_t(v)].texts);
            }
            f.variants = std::move(free);
            out.frames.push_back(std::move(f));
        }
    }

    // Dispersion, and the texts of the frames, in a last walk per size.
    if ((o.dispersion || !out.frames.empty()) && !out.clusters.empty() && !out.stoppedByTime) {
        c.parts = std::make_unique<TIndexParts>(std::move(c.sizesOfParts));
        c.sums.assign(out.clusters.size(), TIndexParts::kStartSum);
        c.at.assign(out.clusters.size(), TIndexParts::TAt{});
        c.frameAcc.assign(out.frames.size(), TIndexParts::TAcc{});
        c.frameLast.assign(out.frames.size(), -1);
        c.frameTexts.assign(out.frames.size(), 0);
        for (const auto& pass : passes) {
            if (!pass->Disperse(c))
                return false;
            ++c.step;
            if (out.cancelled || out.stoppedByTime)
                return true;
        }
        const TIndexParts& parts = *c.parts;
        for (std::size_t k = 0; k < out.clusters.size(); ++k)
            out.clusters[k].dispersion = o.dispersion ? parts.Finish(c.sums[k], c.at[k], double(out.clusters[k].freq)) : -1.0f;
        for (std::size_t f = 0; f < out.frames.size(); ++f) {
            out.frames[f].texts = c.frameTexts[f];
            out.frames[f].dispersion = o.dispersion ? parts.Finish(c.frameAcc[f], double(out.frames[f].freq)) : -1.0f;
        }
    }
    return true;
} catch (const std::bad_alloc&) {
    out = TClusterRun();
    if (error)
        *error = NotEnoughMemoryText(QStringLiteral("count the clusters"));
    return false;
}

namespace {

// A word list whose entries can be joined in groups in one pass.
class TClusterWordList final : public TCVWordList {
public:
    using TCVWordList::TCVWordList;
    int JoinFrames(const std::vector<std::vector<int>>& groups) { return JoinGroups(groups, false, QString()); }
};

} // namespace

std::unique_ptr<TCVWordList> MakeClusterWordList(TCorvantisholder* owner, const TIndexData& index,
                                                 const TClusterRun& run, int64_t runningWords, int32_t texts)
{
    auto list = std::make_unique<TClusterWordList>(owner, kListWordList, CurrentToolSignature());
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    entries.reserve(run.clusters.size() + run.frames.size());
    for (const TClusterResult& c : run.clusters) {
        auto e = std::make_unique<TWordListEntry>(list.get());
        e->fWord = ClusterText(index, c.codes());
        e->fData.Freq = c.freq;
        e->fData.Texts = c.texts;
        e->fData.Dispersion = c.dispersion;
        entries.push_back(std::move(e));
    }
    for (const TPhraseFrame& f : run.frames) {
        auto e = std::make_unique<TWordListEntry>(list.get());
        e->fWord = ClusterText(index, f.codes);
        e->fData.Freq = 0; // its variants, joined under it, make its frequency
        e->fData.Texts = f.texts;
        e->fData.LemmaTexts = f.texts;
        e->fData.Dispersion = f.dispersion;
        entries.push_back(std::move(e));
    }
    std::vector<const TCVBaseListObject*> byResult;
    for (const auto& e : entries)
        byResult.push_back(e.get());
    list->SetLocale(index.textSettings.LanguageId(), index.textSettings.CollationName());
    list->AdoptEntries(std::move(entries));
    list->SetTotalTokens(runningWords);
    list->SetTotalTexts(texts);
    list->SortAlphabetically();
    if (!run.frames.empty()) {
        std::unordered_map<const TCVBaseListObject*, int> place;
        for (int i = 0; i < list->Count(); ++i)
            place[list->Get(i)] = i;
        std::vector<std::vector<int>> groups;
        for (std::size_t f = 0; f < run.frames.size(); ++f) {
            std::vector<int> g{place[byResult[run.clusters.size() + f]]};
            for (int32_t v : run.frames[f].variants)
                g.push_back(place[byResult[std::size_t(v)]]);
            groups.push_back(std::move(g));
        }
        list->JoinFrames(groups);
    }
    list->ComputedRankOrdersOfWords();
    list->ClearChangeMark();
    return list;
}

} // namespace cv
