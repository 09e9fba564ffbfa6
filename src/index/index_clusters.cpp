#include "index/index_clusters.h"

#include "suite/dialog_routines.h"
#include "suite/file_system.h"

#include "index/cluster_runs.h"
#include "index/cluster_table.h"
#include "index/index_hash.h"
#include "index/index_spread.h"
#include "index/token_stretches.h"
#include "model/check_signature.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/my_types.h"
#include "suite/page_block.h"
#include "suite/process_utils.h"
#include "suite/window_messages.h"
#include "wordlist/word_list.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <system_error>
#include <thread>
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

using clusters::HashKey;
using clusters::KeyAt;
using clusters::TCountTable;
using clusters::TKey;

// The bits set, inline: the build is for any x86-64, where std::popcount
// is a call into the compiler's library (once per place of a walk).
inline int BitsSet(uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return int((x * 0x0101010101010101ull) >> 56);
}

// What a code may be in the clusters of a count (TWalkContext::role).
enum : uint8_t {
    kMayBeInCluster = 1,
    kChosenWord = 2,
};


// Clusters by key: their place in a block of codes, N each (kept by the
// caller while the index is used). The kept clusters can be many millions
// (12 million 3-word clusters of a 5 GB corpus), so a slot holds no key,
// only the cluster's place and 32 bits of its hash; the key is compared in
// the clusters' own block of codes, for the slot whose bits agree. At most
// half full (a place of a cluster not kept, which is most of them, looks
// at two or three slots, seldom beyond one cache line), as large as that
// needs, not the next power of two: a hash picks its slot by
// multiplication. The slots in a block of their own, in large pages where
// the system has them: a walk looks up every place.
template <int N>
class TKeptIndex {
public:
    // The clusters `firstId`, `firstId` + 1, ... whose codes are at `codes`.
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
            if (s.tag == uint32_t(h) && KeyAt<N>(CodesOf(s.idAfter - 1)) == k)
                return s.idAfter - 1;
        }
    }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&fSlots[SlotOf(h)]); }
    std::size_t Bytes() const { return fSlots.size_bytes(); }

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

// Threads joined when this goes, however its scope is left (a thread left
// running would end the program), after `stop` (when given) is set.
class TThreads {
public:
    explicit TThreads(std::atomic<bool>* stop = nullptr) : fStop(stop) {}
    ~TThreads() { Join(); }
    TThreads(const TThreads&) = delete;
    TThreads& operator=(const TThreads&) = delete;
    // False when the system cannot start another thread (short of memory
    // or of threads): the caller does the work some other way.
    template <typename F>
    bool Start(F&& f)
    {
        try {
            fThreads.emplace_back(std::forward<F>(f));
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }
    void Join()
    {
        if (fStop)
            fStop->store(true);
        for (std::thread& t : fThreads)
            t.join();
        fThreads.clear();
    }

private:
    std::atomic<bool>* fStop;
    std::vector<std::thread> fThreads;
};

// A walk whose places need nothing asked for ahead of them.
struct TNoAhead {
    void operator()(uint64_t) const {}
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
    std::vector<uint8_t> role;     // kMayBeInCluster, kChosenWord
    std::vector<uint64_t> mayBits; // kMayBeInCluster of each code, a bit each (a walk asks it per token)
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
    bool spread = false; // the clusters' dispersion is taken
    // The counting leaves the clusters' texts to the spread (which surely
    // follows, and no minimum of texts has to be checked before).
    bool textsInSpread = false;
    std::unique_ptr<TIndexParts> parts;

    int32_t PartOf(int32_t text, int64_t i, int64_t n) const
    {
        return oneText ? TIndexParts::TenthOf(i, n) : text - firstText;
    }
    // The parts, once the first walk has taken their sizes.
    const TIndexParts& Parts()
    {
        if (!parts)
            parts = std::make_unique<TIndexParts>(std::move(sizesOfParts));
        return *parts;
    }

    // How a walk over some texts ended, and what it counted.
    struct TWalkOutcome {
        int64_t positions = 0; // the places (when counted)
        bool cancelled = false, stoppedByTime = false;
        QString error;
        // On a thread of its own: the tokens read go to this count, and the
        // walk neither shows progress nor watches the time.
        std::atomic<int64_t>* tokensRead = nullptr;
    };

    // Calls place(key, hash, text, i, n) for every place of the texts where
    // a cluster of N words starts (i: its token in the text, n: the text's
    // tokens), in order. The places go through a short queue: each is
    // announced to `ahead` (which asks for the memory its hash will touch)
    // some places before it is visited, so that the look-ups of several
    // places are under way at once. `tokens(text, i, n, codes)` sees every
    // token once. The texts are read a stretch at a time, so a text of any
    // length takes the same memory. `positions` (when given) counts the
    // places. False when the index cannot be read; a cancel or the time
    // running out stop the walk (out.cancelled, out.stoppedByTime).
    template <int N, typename TTokens, typename TPlaceFn, typename TAheadFn>
    bool Walk(TTokens&& tokens, TPlaceFn&& place, TAheadFn&& ahead, int64_t* positions = nullptr)
    {
        TWalkOutcome w;
        TTokenStretches reader;
        const bool ok = reader.Open(index, firstText, lastText, &w.error) && WalkTexts<N>(reader, tokens, place, ahead, w);
        if (positions)
            *positions += w.positions;
        out.cancelled |= w.cancelled;
        out.stoppedByTime |= w.stoppedByTime;
        if (!ok && error)
            *error = w.error;
        return ok;
    }

    // The same over the texts `reader` was opened for, its outcome in `w`
    // (the places counted).
    template <int N, typename TTokens, typename TPlaceFn, typename TAheadFn>
    bool WalkTexts(TTokenStretches& reader, TTokens&& tokens, TPlaceFn&& place, TAheadFn&& ahead, TWalkOutcome& w)
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
        constexpr bool kQueued = !std::is_same_v<std::decay_t<TAheadFn>, TNoAhead>;
        auto visit = [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t n) {
            if constexpr (!kQueued) {
                place(key, h, text, i, n);
                return;
            }
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

        int64_t* const positions = &w.positions;
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
        const uint64_t* mayOf = mayBits.data();
        int64_t done = 0;
        int32_t text = 0;
        int64_t n = 0;
        QString why;
        while (reader.NextText(text, n, &why)) {
            std::size_t carry = 0; // tokens of the stretch before, whose places come in this one
            int64_t read = 0, pos = 0;
            while (read < n) {
                if (global_panic_state.load() != kPanicRun) {
                    w.cancelled = true;
                    return true;
                }
                const auto k = std::size_t(std::min<int64_t>(int64_t(kStretch), n - read));
                if (!reader.Read({codes.data() + carry, k}, {levels.data() + carry, k}, &why)) {
                    w.error = why;
                    return false;
                }
                tokens(text, read, n, std::span<const uint32_t>(codes.data() + carry, k));
                read += int64_t(k);
                const std::size_t count = carry + k;
                const bool lastStretch = read == n;
                const std::size_t words = (count + 63) / 64;
                for (std::size_t w = 0; w < words; ++w) {
                    const std::size_t from = 64 * w, to = std::min(count, from + 64);
                    uint64_t ok = 0, good = 0;
                    for (std::size_t j = from; j < to; ++j) {
                        const uint32_t code = codes[j];
                        const uint64_t isOk = (mayOf[code >> 6] >> (code & 63)) & 1u;
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
                        chosenBefore[j + 1] = chosenBefore[j] + ((roleOf[codes[j]] & kChosenWord) ? 1 : 0);
                }
                // Places whose cluster may reach into the next stretch wait for it.
                const std::size_t places = lastStretch ? count : count >= std::size_t(N) ? count - std::size_t(N - 1) : 0;
                for (std::size_t w = 0; 64 * w < places; ++w) {
                    uint64_t starts = startBits[w];
                    if (places - 64 * w < 64)
                        starts &= (uint64_t(1) << (places - 64 * w)) - 1;
                    if (everyWordChosen)
                        *positions += BitsSet(starts);
                    for (; starts != 0; starts &= starts - 1) {
                        const std::size_t i = 64 * w + std::size_t(__builtin_ctzll(starts));
                        if (!everyWordChosen) {
                            if (chosenBefore[i + N] == chosenBefore[i])
                                continue;
                            ++*positions;
                        }
                        const TKey<N> key = KeyAt<N>(codes.data() + i);
                        visit(key, HashKey(key), text, pos + int64_t(i), n);
                    }
                }
                carry = count - places;
                std::memmove(codes.data(), codes.data() + places, carry * sizeof(uint32_t));
                std::memmove(levels.data(), levels.data() + places, carry);
                pos += int64_t(places);
                done += int64_t(k);
                if (w.tokensRead) {
                    *w.tokensRead += int64_t(k);
                    continue;
                }
                Progress(done, rangeTokens);
                if (budget > 0 && double(clock.elapsed()) > budget * 1000.0) {
                    drain();
                    w.stoppedByTime = true;
                    return true;
                }
            }
        }
        if (!why.isEmpty()) {
            w.error = why;
            return false;
        }
        drain();
        return true;
    }

    // The first texts of at most `count` ranges of the texts, each of about
    // as many tokens (a text is never cut).
    std::vector<int32_t> RangesOfTexts(int count) const
    {
        std::vector<int32_t> firsts{firstText};
        int64_t before = 0;
        for (int32_t t = firstText; t < lastText; ++t) {
            before += index.texts[std::size_t(t)].tokens;
            if (int(firsts.size()) < count && before * count >= rangeTokens * int64_t(firsts.size()))
                firsts.push_back(t + 1);
        }
        return firsts;
    }

    // Runs walk(r, outcome) for the ranges 0 to count - 1: on this thread
    // when there is one, else each on a thread of its own while this one
    // shows the progress and keeps the window alive. The outcomes are taken
    // together (the places counted, a cancel, the first failure by range).
    template <typename TWalkFn>
    bool OnThreads(std::size_t count, TWalkFn&& walk)
    {
        std::vector<TWalkOutcome> outcomes(count);
        std::vector<char> ok(count, 0);
        if (count == 1) {
            ok[0] = walk(std::size_t(0), outcomes[0]);
        } else {
            std::atomic<int64_t> tokensRead{0};
            std::vector<std::exception_ptr> failures(count);
            std::atomic<std::size_t> finished{0};
            std::size_t started = 0;
            {
                TThreads threads;
                auto walkOne = [&](std::size_t r) {
                    try {
                        ok[r] = walk(r, outcomes[r]);
                    } catch (...) {
                        failures[r] = std::current_exception();
                    }
                    ++finished;
                };
                for (; started < count; ++started) {
                    outcomes[started].tokensRead = &tokensRead;
                    if (!threads.Start([&walkOne, r = started] { walkOne(r); })) {
                        outcomes[started].tokensRead = nullptr;
                        break;
                    }
                }
                // The ranges no thread could be started for are walked
                // here, one after the other (showing their progress).
                for (std::size_t r = started; r < count; ++r)
                    walkOne(r);
                while (finished.load() < count) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    Progress(tokensRead.load(), rangeTokens);
                }
            }
            // A stop the user asked for while the window worked (the
            // question stays up while the threads go on) is a stop, even
            // when the threads finished meanwhile.
            if (global_panic_state.load() != kPanicRun)
                for (TWalkOutcome& o : outcomes)
                    o.cancelled = true;
            for (const std::exception_ptr& f : failures)
                if (f)
                    std::rethrow_exception(f);
        }
        for (std::size_t r = 0; r < count; ++r) {
            out.positions += outcomes[r].positions;
            out.cancelled |= outcomes[r].cancelled;
            out.stoppedByTime |= outcomes[r].stoppedByTime;
        }
        for (std::size_t r = 0; r < count; ++r)
            if (!ok[r] && !outcomes[r].cancelled) {
                if (error)
                    *error = outcomes[r].error;
                return false;
            }
        return true;
    }

    // Shows how far the walk is (`done` of `all`), now and then.
    void Progress(int64_t done, int64_t all)
    {
        // As often as the reporter's loops show their steps (every 100 ms).
        const int interval = GlobalProgress().StepInterval();
        if (interval > 0 && clock.elapsed() - lastYield <= interval)
            return;
        lastYield = clock.elapsed();
        GlobalProgress().ThisPercent(int((int64_t(step) * 100 + done * 100 / std::max<int64_t>(1, all)) / steps));
        MyYieldProcess();
    }
};

// Where a token of the index is: its text, and its place in the text, for
// tokens asked for in rising order (those of one block of places).
class TTextCursor {
public:
    TTextCursor(const TIndexData& index, int32_t first, int32_t last) : fIndex(index), fText(first), fLast(last) {}
    void Seek(uint64_t token)
    {
        const auto t = int64_t(token);
        int32_t steps = 0;
        while (fText < fLast && t >= FirstOf(fText + 1)) {
            if (++steps > 4) {
                // Far on: the text by halving (texts begin in rising order).
                int32_t lo = fText + 1, hi = fLast;
                while (lo < hi) {
                    const int32_t mid = lo + (hi - lo + 1) / 2;
                    if (FirstOf(mid) <= t)
                        lo = mid;
                    else
                        hi = mid - 1;
                }
                fText = lo;
                break;
            }
            ++fText;
        }
        fAt = t - FirstOf(fText);
    }
    int32_t Text() const { return fText; }
    int64_t At() const { return fAt; }
    int64_t Tokens() const { return fIndex.texts[std::size_t(fText)].tokens; }

private:
    int64_t FirstOf(int32_t text) const { return fIndex.texts[std::size_t(text)].firstToken; }
    const TIndexData& fIndex;
    int32_t fText, fLast;
    int64_t fAt = 0;
};

// The places of one block: the key of each cluster that starts there, and
// the token (its ordinal in the index) it starts at, in index order.
template <int N>
struct TBlockPlaces {
    std::vector<TKey<N>> keys;
    std::vector<uint64_t> tokens;
    void Clear()
    {
        keys.clear();
        tokens.clear();
    }
};

// The places of a count, scattered into blocks by a hash of their cluster,
// so that each block's clusters are counted in a table that stays in the
// processor's caches (a place counted in one large table waits for memory
// every time). A cluster's places are all in one block. The places come
// through writers, one for each range of texts (a walk each, on threads of
// their own), each with a scratch file: each block's places wait in a
// buffer of the writer's and go to its file a piece at a time; a block is
// read back as its pieces, writer by writer, so in index order. A place is
// the rise of its token over the writer's place before in the block
// (variable-length) and its cluster's codes, little-endian, in three bytes
// each (four when the index has more than 16 million types).
template <int N>
class TScatteredPlaces {
public:
    class TWriter {
    public:
        bool Add(const TKey<N>& key, uint64_t hash, uint64_t token, QString* error)
        {
            const std::size_t b = fShift >= 64 ? 0 : std::size_t(hash >> fShift);
            if (fUsed[b] + kMaxPlaceBytes > fBufferBytes && !Flush(b, error))
                return false;
            uint8_t* const start = fBuffers.get() + b * fBufferBytes + fUsed[b];
            uint8_t* p = PutVarint(start, token - fLast[b]);
            // Four bytes written, the next code over the fourth of three.
            for (uint32_t code : key.c) {
                const uint32_t le = qToLittleEndian(code);
                std::memcpy(p, &le, 4);
                p += fCodeBytes;
            }
            fUsed[b] += std::size_t(p - start);
            fLast[b] = token;
            ++fPlaces[b];
            return true;
        }
        bool Finish(QString* error)
        {
            for (std::size_t b = 0; b < fUsed.size(); ++b)
                if (!Flush(b, error))
                    return false;
            fBuffers.reset();
            return true;
        }

    private:
        friend class TScatteredPlaces;
        bool Start(int shift, int codeBytes, std::size_t blocks, std::size_t bufferBytes, QString* error)
        {
            fShift = shift;
            fCodeBytes = codeBytes;
            fBufferBytes = bufferBytes;
            fBuffers = std::make_unique_for_overwrite<uint8_t[]>(blocks * fBufferBytes);
            fUsed.assign(blocks, 0);
            fLast.assign(blocks, 0);
            fPlaces.assign(blocks, 0);
            fPieces.assign(blocks, {});
            return fFile.Create(QDir::tempPath(), error);
        }
        bool Flush(std::size_t b, QString* error)
        {
            if (fUsed[b] == 0)
                return true;
            const int64_t offset = fFile.Size();
            if (!fFile.Append(fBuffers.get() + b * fBufferBytes, int64_t(fUsed[b]), error))
                return false;
            fPieces[b].push_back({offset, int64_t(fUsed[b])});
            fUsed[b] = 0;
            return true;
        }
        int fShift = 64;
        int fCodeBytes = 4;
        std::size_t fBufferBytes = 0;
        std::unique_ptr<uint8_t[]> fBuffers;
        std::vector<std::size_t> fUsed;
        std::vector<uint64_t> fLast;
        std::vector<int64_t> fPlaces;
        std::vector<std::vector<std::pair<int64_t, int64_t>>> fPieces; // offset and bytes of each piece
        TScratchFile fFile;
    };

    // `blocks`: a power of 2; the codes are below `codeLimit`; a writer for
    // each of `writers` ranges of texts.
    bool Start(int blocks, std::size_t codeLimit, int writers, QString* error)
    {
        fCodeBytes = codeLimit <= (std::size_t(1) << 24) ? 3 : 4;
        int shift = 64;
        for (int b = blocks; b > 1; b /= 2)
            --shift;
        fBlocks = std::size_t(blocks);
        const std::size_t bufferBytes =
            std::max<std::size_t>(std::size_t(4) << 10, kBufferMemory / fBlocks / std::size_t(std::max(1, writers)));
        fWriters = std::vector<TWriter>(std::size_t(std::max(1, writers)));
        for (TWriter& w : fWriters)
            if (!w.Start(shift, fCodeBytes, fBlocks, bufferBytes, error))
                return false;
        return true;
    }
    TWriter& Writer(int w) { return fWriters[std::size_t(w)]; }
    std::size_t Blocks() const { return fBlocks; }
    int64_t Bytes() const
    {
        int64_t n = 0;
        for (const TWriter& w : fWriters)
            n += w.fFile.Size();
        return n;
    }
    // The places of block `b` (`piece`: the caller's buffer; blocks may be
    // read on several threads at once).
    bool Read(std::size_t b, TBlockPlaces<N>& out, std::vector<uint8_t>& piece, QString* error) const
    {
        std::size_t count = 0;
        for (const TWriter& w : fWriters)
            count += std::size_t(w.fPlaces[b]);
        out.keys.resize(count);
        out.tokens.resize(count);
        const uint32_t mask = fCodeBytes == 4 ? 0xFFFFFFFFu : 0xFFFFFFu;
        std::size_t j = 0;
        for (const TWriter& w : fWriters) {
            uint64_t token = 0;
            for (const auto& [offset, bytes] : w.fPieces[b]) {
                // Room for the last code's fourth byte beyond the piece.
                piece.resize(std::size_t(bytes) + 4);
                if (!w.fFile.ReadAt(offset, piece.data(), bytes, error))
                    return false;
                const uint8_t* p = piece.data();
                const uint8_t* const end = p + bytes;
                while (p < end) {
                    uint64_t rise = 0;
                    if (j == count || !GetVarint(p, end, rise) || end - p < fCodeBytes * N)
                        return CutShort(w, error);
                    TKey<N>& key = out.keys[j];
                    for (uint32_t& code : key.c) {
                        std::memcpy(&code, p, 4);
                        code = qFromLittleEndian(code) & mask;
                        p += fCodeBytes;
                    }
                    out.tokens[j++] = token += rise;
                }
            }
        }
        return j == count || CutShort(fWriters.front(), error);
    }

private:
    static constexpr std::size_t kMaxPlaceBytes = 10 + 4 * N;
    // The blocks' buffers together.
    static constexpr std::size_t kBufferMemory = std::size_t(16) << 20;
    static bool CutShort(const TWriter& w, QString* error)
    {
        if (error)
            *error = QStringLiteral("Cannot read file \"%1\": the file is cut short").arg(w.fFile.FileName());
        return false;
    }
    int fCodeBytes = 4;
    std::size_t fBlocks = 1;
    std::vector<TWriter> fWriters;
};

// The spread of the clusters kept in one block, taken as their places go
// by in index order: texts (when the counting left them) and the sums of
// the dispersion, per cluster of the block, and where each was first met.
// A cluster's sum is kept apart from where it was last met: a place of a
// cluster met before in the same part touches 8 bytes.
struct TBlockSpread {
    // The clusters `firstId`... of `out`, with the parts the first walk took.
    TBlockSpread(const TWalkContext& c, TClusterRun& out, int32_t firstId, std::size_t count, bool wantFirst)
        : out(out), parts(*c.parts), first(firstId), texts(c.textsInSpread), dispersion(c.spread),
          oneText(c.oneText)
    {
        if (dispersion)
            sums.assign(count, TIndexParts::kStartSum);
        if (dispersion || texts)
            at.assign(count, TIndexParts::TAt{});
        if (wantFirst)
            firstAt.assign(count, kNotMet);
    }
    void Count(int32_t id, uint64_t token, int32_t part)
    {
        const auto k = std::size_t(id - first);
        if (!firstAt.empty() && firstAt[k] == kNotMet)
            firstAt[k] = token;
        if (at.empty())
            return;
        TIndexParts::TAt& a = at[k];
        if (a.part == part) {
            ++a.inPart;
            return;
        }
        TClusterResult& r = out.clusters[std::size_t(id)];
        if (texts && (!oneText || a.part < 0))
            ++r.texts;
        if (dispersion)
            parts.AddCount(sums[k], a, part, 1, double(r.freq));
        else
            a = {part, 0};
    }
    void Finish()
    {
        for (std::size_t k = 0; k < sums.size(); ++k) {
            TClusterResult& r = out.clusters[std::size_t(first) + k];
            r.dispersion = parts.Finish(sums[k], at[k], double(r.freq));
        }
    }
    static constexpr uint64_t kNotMet = ~uint64_t(0);

    TClusterRun& out;
    const TIndexParts& parts;
    int32_t first;
    bool texts, dispersion, oneText;
    std::vector<double> sums;
    std::vector<TIndexParts::TAt> at;
    std::vector<uint64_t> firstAt;
};

// The work of one cluster size: its counting with the spread of the
// clusters kept, and the walk that gives the phrase frames of this size
// their texts and dispersion.
class TSizePass {
public:
    virtual ~TSizePass() = default;
    // Counts, and appends the clusters kept to out.clusters in the order
    // first met, with their texts and (c.spread) dispersion.
    virtual bool Count(TWalkContext& c) = 0;
    // The texts and dispersion of the phrase frames whose variants are of this size.
    virtual bool Frames(TWalkContext& c, std::vector<TIndexParts::TAcc>& acc, std::vector<int32_t>& texts) = 0;
};

template <int N>
class TSizePassOf final : public TSizePass {
public:
    bool Count(TWalkContext& c) override { return c.textsInSpread ? CountWith<false>(c) : CountWith<true>(c); }

    bool Frames(TWalkContext& c, std::vector<TIndexParts::TAcc>& acc, std::vector<int32_t>& texts) override
    {
        TClusterRun& out = c.out;
        // The variants of this size, their codes side by side for the index.
        std::vector<int32_t> ids;
        std::vector<uint32_t> codes;
        for (int32_t id = fFirstId; id < fEndId; ++id)
            if (out.clusters[std::size_t(id)].frame >= 0) {
                ids.push_back(id);
                const std::span<const uint32_t> k = out.clusters[std::size_t(id)].codes();
                codes.insert(codes.end(), k.begin(), k.end());
            }
        if (ids.empty())
            return true;
        TKeptIndex<N> index;
        index.Build(codes.data(), ids.size(), 0);
        const TIndexParts& parts = c.Parts();
        std::vector<int32_t> lastText(out.frames.size(), -1);
        return c.Walk<N>(
            [](int32_t, int64_t, int64_t, std::span<const uint32_t>) {},
            [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t n) {
                const int32_t k = index.Find(key, h);
                if (k < 0)
                    return;
                const auto f = std::size_t(out.clusters[std::size_t(ids[std::size_t(k)])].frame);
                parts.Add(acc[f], c.PartOf(text, i, n), double(out.frames[f].freq));
                if (lastText[f] != text) {
                    lastText[f] = text;
                    ++texts[f];
                }
            },
            [&](uint64_t h) { index.Prefetch(h); });
    }

private:
    // How many blocks the places are scattered into: one while they are
    // few (counted as the walk meets them), else about kPlacesPerBlock each.
    static std::size_t BlocksFor(const TWalkContext& c)
    {
        const int64_t perBlock = c.o.placesPerBlock > 0 ? c.o.placesPerBlock : kPlacesPerBlock;
        std::size_t blocks = 1;
        while (blocks < kMostBlocks && int64_t(blocks) * perBlock < c.rangeTokens)
            blocks *= 2;
        return blocks;
    }
    static constexpr int64_t kPlacesPerBlock = int64_t(1) << 17;
    static constexpr std::size_t kMostBlocks = 4096;

    // The counts of every cluster of the texts, block by block: each
    // block's clusters that reach the minimum frequency and texts, in the
    // order first met, with their spread; then the blocks' clusters put in
    // the order first met over all.
    template <bool kTexts>
    bool CountWith(TWalkContext& c)
    {
        fFirstId = int32_t(c.out.clusters.size());
        TBlockPlaces<N> places;
        const std::size_t blocks = BlocksFor(c);
        // Several cores: the texts in ranges of about as many tokens, each
        // walked on a thread of its own (not with a time allowed: the time
        // cuts one walk at one text).
        const int threads = blocks > 1 ? std::max(1, c.o.threads > 0 ? c.o.threads : IdleCores(4)) : 1;
        const std::vector<int32_t> ranges = c.budget > 0 ? std::vector<int32_t>{c.firstText} : c.RangesOfTexts(threads);
        std::unique_ptr<TScatteredPlaces<N>> scattered;
        if (blocks > 1) {
            scattered = std::make_unique<TScatteredPlaces<N>>();
            if (!scattered->Start(int(blocks), c.index.types.size() + kIndexFirstTypeCode, int(ranges.size()), c.error))
                return false;
        }
        const bool partSizes = c.wantPartSizes;
        c.wantPartSizes = false;
        // The ranges' token files, opened on this thread (a file object made
        // on a thread of its own takes the library's records of that thread,
        // which a shortage of memory can leave broken).
        std::vector<std::unique_ptr<TTokenStretches>> readers;
        for (std::size_t r = 0; r < ranges.size(); ++r) {
            const int32_t to = r + 1 < ranges.size() ? ranges[r + 1] - 1 : c.lastText;
            if (!readers.emplace_back(std::make_unique<TTokenStretches>())->Open(c.index, ranges[r], to, c.error))
                return false;
        }
        // Each range's walk: the parts' sizes (of its own texts, or the one
        // text's tenths), and its places to its writer or to the block in memory.
        auto walk = [&](std::size_t r, TWalkContext::TWalkOutcome& w) {
            typename TScatteredPlaces<N>::TWriter* writer = scattered ? &scattered->Writer(int(r)) : nullptr;
            bool failed = false;
            const bool ok = c.WalkTexts<N>(
                *readers[r],
                [&](int32_t text, int64_t i, int64_t n, std::span<const uint32_t> codes) {
                    if (!partSizes)
                        return;
                    if (!c.oneText) {
                        c.sizesOfParts[std::size_t(text - c.firstText)] += RunningWordsOf(codes);
                        return;
                    }
                    for (std::size_t j = 0; j < codes.size(); ++j)
                        if (codes[j] != kIndexCodeNumber)
                            ++c.sizesOfParts[std::size_t(TIndexParts::TenthOf(i + int64_t(j), n))];
                },
                [&](const TKey<N>& key, uint64_t h, int32_t text, int64_t i, int64_t) {
                    const auto token = uint64_t(c.index.texts[std::size_t(text)].firstToken + i);
                    if (!writer) {
                        places.keys.push_back(key);
                        places.tokens.push_back(token);
                    } else if (!failed && !writer->Add(key, h, token, &w.error)) {
                        failed = true;
                    }
                },
                TNoAhead{}, w);
            return ok && !failed && (!writer || writer->Finish(&w.error));
        };
        if (!c.OnThreads(ranges.size(), walk))
            return false;
        ++c.step;
        if (c.out.cancelled)
            return true;
        c.Parts(); // taken by the first walk; the blocks only read them
        std::vector<uint64_t> firstAt; // of the clusters kept, block by block
        std::vector<std::size_t> blockEnds;
        auto append = [&](TBlockResult& r) {
            for (auto& codes : r.run.codeBlocks)
                c.out.codeBlocks.push_back(std::move(codes));
            c.out.clusters.insert(c.out.clusters.end(), r.run.clusters.begin(), r.run.clusters.end());
            c.out.peakTableBytes = std::max(c.out.peakTableBytes, r.run.peakTableBytes);
            c.out.scratchBytes += r.run.scratchBytes;
            firstAt.insert(firstAt.end(), r.firstAt.begin(), r.firstAt.end());
            blockEnds.push_back(c.out.clusters.size());
            r = TBlockResult();
        };
        const int blockThreads = int(std::min<std::size_t>(blocks, std::size_t(threads)));
        bool here = blockThreads <= 1;
        if (!here && !CountBlocksOnThreads<kTexts>(c, *scattered, blockThreads, append, here))
            return false;
        if (here) {
            TCountTable<N, kTexts> table(c.o.tableBytesLimit);
            std::vector<uint8_t> piece;
            TBlockScratch scratch;
            for (std::size_t b = 0; b < blocks; ++b) {
                TBlockResult r;
                if ((scattered && !scattered->Read(b, places, piece, c.error))
                    || !CountBlock(c, table, places, blocks > 1, r, c.error, scratch))
                    return false;
                append(r);
                c.Progress(int64_t(b + 1), int64_t(blocks));
                if (global_panic_state.load() != kPanicRun) {
                    c.out.cancelled = true;
                    return true;
                }
            }
        }
        if (c.out.cancelled)
            return true;
        if (scattered) {
            c.out.scratchBytes += scattered->Bytes();
            scattered.reset();
        }
        fEndId = int32_t(c.out.clusters.size());
        if (blocks > 1)
            InFirstMetOrder(c.out, fFirstId, blockEnds, firstAt);
        return true;
    }

    // What counting one block gives: its clusters kept (their places in
    // the block's own list) and where each was first met.
    struct TBlockResult {
        TClusterRun run;
        std::vector<uint64_t> firstAt;
    };
    // What counting a block needs besides its table, kept for the next
    // block: the order of each place's cluster, the token each cluster was
    // first met at, the place in the block's list of each order.
    struct TBlockScratch {
        std::vector<uint32_t> orders;
        std::vector<uint64_t> firstOfOrder;
        std::vector<int32_t> idOf;
    };

    // The blocks counted on `threads` threads of their own, each with its
    // table, the blocks' results handed to `append` in the blocks' order on
    // this thread (the same list as on one thread), which meanwhile shows
    // the progress and keeps the window alive.
    // When no thread can be started, nothing is done and `noThread` is set
    // (the caller counts the blocks itself).
    template <bool kTexts, typename TAppend>
    bool CountBlocksOnThreads(TWalkContext& c, TScatteredPlaces<N>& scattered, int threads, TAppend&& append,
                              bool& noThread)
    {
        struct TSlot {
            TBlockResult result;
            QString error;
            std::exception_ptr failure;
            bool ok = false;
            bool done = false;
        };
        const std::size_t blocks = scattered.Blocks();
        std::vector<TSlot> results(blocks);
        std::atomic<std::size_t> next{0};
        std::atomic<bool> stop{false};
        std::mutex lock;
        std::condition_variable finished;
        auto work = [&] {
            std::unique_ptr<TCountTable<N, kTexts>> table;
            TBlockPlaces<N> places;
            std::vector<uint8_t> piece;
            TBlockScratch scratch;
            for (std::size_t b; !stop.load() && (b = next++) < blocks;) {
                TSlot& slot = results[b];
                if (global_panic_state.load() != kPanicRun) {
                    stop = true;
                } else {
                    try {
                        if (!table)
                            table = std::make_unique<TCountTable<N, kTexts>>(c.o.tableBytesLimit);
                        slot.ok = scattered.Read(b, places, piece, &slot.error)
                                  && CountBlock(c, *table, places, true, slot.result, &slot.error, scratch);
                    } catch (...) {
                        // The blocks after this one are of no use: this one's failure ends the count.
                        slot.failure = std::current_exception();
                        stop = true;
                    }
                }
                const std::lock_guard<std::mutex> hold(lock);
                slot.done = true;
                finished.notify_all();
            }
        };
        TThreads workers(&stop);
        auto joinAll = [&] { workers.Join(); };
        // The blocks are taken by the threads that started, however many.
        int started = 0;
        while (started < threads && workers.Start(work))
            ++started;
        if (started == 0) {
            noThread = true;
            return true;
        }
        for (std::size_t b = 0; b < blocks; ++b) {
            TSlot& slot = results[b];
            for (;;) {
                std::unique_lock<std::mutex> hold(lock);
                if (finished.wait_for(hold, std::chrono::milliseconds(100), [&] { return slot.done; }))
                    break;
                hold.unlock();
                c.Progress(int64_t(b), int64_t(blocks));
                if (global_panic_state.load() != kPanicRun) {
                    joinAll();
                    c.out.cancelled = true;
                    return true;
                }
            }
            if (slot.failure) {
                joinAll();
                std::rethrow_exception(slot.failure);
            }
            if (!slot.ok) {
                joinAll();
                if (global_panic_state.load() != kPanicRun) {
                    c.out.cancelled = true;
                    return true;
                }
                if (c.error)
                    *c.error = slot.error;
                return false;
            }
            append(slot.result);
            c.Progress(int64_t(b + 1), int64_t(blocks));
            if (global_panic_state.load() != kPanicRun) {
                joinAll();
                c.out.cancelled = true;
                return true;
            }
        }
        joinAll();
        return true;
    }

    // Counts the places of one block: in the table while it stays within
    // its limit, else in sorted runs written to temporary files and merged.
    // Appends the block's clusters kept to out.clusters in the order first
    // met and takes their spread; `firstAt` (when wanted) gets where each
    // was first met.
    template <typename TTable>
    bool CountBlock(const TWalkContext& c, TTable& table, const TBlockPlaces<N>& places, bool wantFirst,
                    TBlockResult& result, QString* error, TBlockScratch& scratch)
    {
        TClusterRun& out = result.run;
        std::vector<uint64_t>& firstAt = result.firstAt;
        constexpr int32_t blockFirst = 0;
        const std::size_t count = places.keys.size();
        std::vector<uint32_t>& orders = scratch.orders;
        orders.resize(count);
        std::vector<uint64_t>& firstOfOrder = scratch.firstOfOrder; // the token each cluster was first met at
        firstOfOrder.clear();
        std::vector<TClusterRunFile> runs;
        TTextCursor cursor(c.index, c.firstText, c.lastText);
        int32_t startText = c.firstText; // the text the current run began in
        uint32_t boundaryOrder = 0;      // clusters of the run first met in its start text
        bool leftStartText = false;
        auto spill = [&]() {
            if (!leftStartText)
                boundaryOrder = table.Orders();
            std::span<typename TTable::TRecord> records = table.TakeRecords();
            std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
            TClusterRunFile& run = runs.emplace_back(N, startText, table.Orders());
            if (!run.Create(QDir::tempPath(), error))
                return false;
            for (const auto& r : records) {
                TClusterRunCounts w;
                w.freq = table.Frequency(r);
                w.texts = r.Texts();
                w.lastText = r.LastText();
                w.order = r.order;
                w.inStartText = r.order < boundaryOrder;
                if (!run.Add(r.key.c, w, error))
                    return false;
            }
            if (!run.Finish(error))
                return false;
            out.scratchBytes += run.Bytes();
            table.Clear();
            leftStartText = false;
            return true;
        };
        constexpr std::size_t kAhead = 16;
        std::array<uint64_t, kAhead> hashes{};
        for (std::size_t j = 0; j < std::min(count, kAhead); ++j) {
            hashes[j] = HashKey(places.keys[j]);
            table.Prefetch(hashes[j]);
        }
        for (std::size_t j = 0; j < count; ++j) {
            const uint64_t h = hashes[j % kAhead];
            if (j + kAhead < count) {
                hashes[j % kAhead] = HashKey(places.keys[j + kAhead]);
                table.Prefetch(hashes[j % kAhead]);
            }
            cursor.Seek(places.tokens[j]);
            const int32_t text = cursor.Text();
            if (text != startText && !leftStartText) {
                leftStartText = true;
                boundaryOrder = table.Orders();
            }
            if (table.Full()) {
                out.peakTableBytes = std::max(out.peakTableBytes, table.Bytes());
                if (!spill())
                    return false;
                startText = text;
                firstOfOrder.clear();
            }
            bool added = false;
            orders[j] = table.Add(places.keys[j], h, text, added);
            if (added && runs.empty())
                firstOfOrder.push_back(places.tokens[j]);
        }
        out.peakTableBytes = std::max(out.peakTableBytes, table.Bytes());
        const int64_t minFreq = c.o.minFreq;
        const int32_t minTexts = c.o.minTexts;
        if (runs.empty()) {
            // The clusters kept, in the order first met: their places in the
            // list by the order (the orders are 0 to count - 1), and then
            // each record put at its place (no sort of the records).
            const std::span<const typename TTable::TRecord> records = table.TakeRecords();
            std::vector<int32_t>& idOf = scratch.idOf; // by order: the cluster's place in the run's list, -1 not kept
            idOf.assign(table.Orders(), -1);
            for (const auto& r : records)
                if (int64_t(table.Frequency(r)) >= minFreq && int32_t(r.Texts()) >= minTexts)
                    idOf[r.order] = 0;
            int32_t next = blockFirst;
            for (int32_t& id : idOf)
                if (id >= 0)
                    id = next++;
            const auto keptCount = std::size_t(next - blockFirst);
            uint32_t* const codes = AddKept(out, keptCount);
            for (const auto& r : records)
                if (const int32_t id = idOf[r.order]; id >= 0) {
                    std::ranges::copy(r.key.c, codes + std::size_t(id - blockFirst) * N);
                    TClusterResult& k = out.clusters[std::size_t(id)];
                    k.freq = int64_t(table.Frequency(r));
                    k.texts = TTable::TRecord::kCountsTexts ? int32_t(r.Texts()) : 0;
                }
            table.Clear();
            if (wantFirst)
                for (uint32_t order = 0; order < firstOfOrder.size(); ++order)
                    if (idOf[order] >= 0)
                        firstAt.push_back(firstOfOrder[order]);
            if (keptCount == 0 || out.stoppedByTime || (!c.spread && !c.textsInSpread))
                return true;
            TBlockSpread spread(c, out, blockFirst, keptCount, false);
            TTextCursor at(c.index, c.firstText, c.lastText);
            for (std::size_t j = 0; j < count; ++j)
                if (const int32_t id = idOf[orders[j]]; id >= 0) {
                    at.Seek(places.tokens[j]);
                    spread.Count(id, places.tokens[j], c.PartOf(at.Text(), at.At(), at.Tokens()));
                }
            if (c.spread)
                spread.Finish();
            return true;
        }
        if (table.Count() > 0 && !spill())
            return false;
        table.Clear();
        if (!Merge(runs, minFreq, minTexts, blockFirst, TTable::TRecord::kCountsTexts, out, error))
            return false;
        runs.clear();
        // Orders of several runs are no one numbering: the places find
        // their clusters by their codes.
        const auto kept = out.clusters.size() - std::size_t(blockFirst);
        if (kept == 0 || (!c.spread && !c.textsInSpread && !wantFirst))
            return true;
        TKeptIndex<N> index;
        index.Build(out.clusters[std::size_t(blockFirst)].codesAt, kept, blockFirst);
        out.peakTableBytes = std::max(out.peakTableBytes, index.Bytes());
        TBlockSpread spread(c, out, blockFirst, kept, wantFirst);
        TTextCursor at(c.index, c.firstText, c.lastText);
        for (std::size_t j = 0; j < count; ++j) {
            const TKey<N>& key = places.keys[j];
            if (const int32_t id = index.Find(key, HashKey(key)); id >= 0) {
                at.Seek(places.tokens[j]);
                spread.Count(id, places.tokens[j], c.PartOf(at.Text(), at.At(), at.Tokens()));
            }
        }
        if (c.spread && !out.stoppedByTime)
            spread.Finish();
        if (wantFirst)
            firstAt.insert(firstAt.end(), spread.firstAt.begin(), spread.firstAt.end());
        return true;
    }

    // Appends `count` clusters to the run, their codes in a block of the
    // run's; returns the block, for the caller to fill.
    static uint32_t* AddKept(TClusterRun& out, std::size_t count)
    {
        if (count == 0)
            return nullptr;
        uint32_t* const codes = out.codeBlocks.emplace_back(std::make_unique_for_overwrite<uint32_t[]>(count * N)).get();
        const std::size_t first = out.clusters.size();
        out.clusters.resize(first + count);
        for (std::size_t k = 0; k < count; ++k) {
            TClusterResult& r = out.clusters[first + k];
            r.codesAt = codes + k * N;
            r.size = uint32_t(N);
        }
        return codes;
    }

    // The clusters of the blocks, each block's in the order first met, put
    // in the order first met over all: a merge of the blocks by where each
    // cluster was first met (no two clusters were first met at one place).
    static void InFirstMetOrder(TClusterRun& out, int32_t first, const std::vector<std::size_t>& blockEnds,
                                const std::vector<uint64_t>& firstAt)
    {
        std::vector<std::size_t> next, ends;
        std::size_t from = std::size_t(first);
        for (std::size_t e : blockEnds) {
            if (e > from) {
                next.push_back(from);
                ends.push_back(e);
            }
            from = e;
        }
        // A heap of the blocks by the place their next cluster was first met at.
        struct THead {
            uint64_t at;
            std::size_t block;
        };
        auto later = [](const THead& a, const THead& b) { return a.at > b.at; };
        std::vector<THead> heap;
        for (std::size_t s = 0; s < next.size(); ++s)
            heap.push_back({firstAt[next[s] - std::size_t(first)], s});
        std::make_heap(heap.begin(), heap.end(), later);
        std::vector<TClusterResult> merged;
        merged.reserve(out.clusters.size() - std::size_t(first));
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            const std::size_t s = heap.back().block;
            merged.push_back(out.clusters[next[s]]);
            if (++next[s] == ends[s]) {
                heap.pop_back();
            } else {
                heap.back().at = firstAt[next[s] - std::size_t(first)];
                std::push_heap(heap.begin(), heap.end(), later);
            }
        }
        std::ranges::copy(merged, out.clusters.begin() + first);
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
            keptOf[r].Reset(std::size_t(runs[r].Orders()));
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

    int32_t fFirstId = 0, fEndId = 0; // this size's clusters in the run's list
};

template <int N>
std::unique_ptr<TSizePass> MakePass(int size)
{
    if constexpr (N > 12)
        return nullptr;
    else
        return size == N ? std::make_unique<TSizePassOf<N>>() : MakePass<N + 1>(size);
}

// The bytes the counting table may take: a quarter of a gigabyte, less
// where the process may address less memory than six times that.
std::size_t DefaultTableBytesLimit()
{
    std::size_t limit = std::size_t(256) << 20;
    if (const uint64_t addressSpace = AddressSpaceLimit(); addressSpace != 0)
        limit = std::min<std::size_t>(limit, std::size_t(addressSpace / 6));
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
    // What each code may be: in a cluster at all, a chosen word.
    c.role.assign(codeCount, 0);
    c.role[kIndexCodeNumber] = o.omitNumbers ? 0 : kMayBeInCluster;
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
            c.role[code] = kMayBeInCluster;
            const bool tooFrequent = o.maxPercent > 0 && running > 0 && double(t.freq) * 100.0 / double(running) > o.maxPercent;
            if ((nodes.empty() || chosen[code]) && !tooFrequent)
                c.role[code] |= kChosenWord;
        }
    }
    c.everyWordChosen = nodes.empty() && o.maxPercent <= 0;
    c.mayBits.assign((codeCount + 63) / 64, 0);
    for (std::size_t code = 0; code < codeCount; ++code)
        if (c.role[code] & kMayBeInCluster)
            c.mayBits[code >> 6] |= uint64_t(1) << (code & 63);
    for (int32_t t = firstText; t <= lastText; ++t)
        c.rangeTokens += index.texts[std::size_t(t)].tokens;
    c.clock.start();
    c.budget = o.maxSecondsPerWord > 0
        ? double(o.maxSecondsPerWord) * double(std::max<std::size_t>(1, nodes.empty() ? index.types.size() : nodes.size()))
        : 0.0;
    const int sizes = maxSize - minSize + 1;
    c.steps = sizes * (o.phraseFrames ? 3 : 2); // a walk and the blocks each, and the frames' walk
    c.oneText = firstText == lastText;
    c.wantPartSizes = o.dispersion || o.phraseFrames;
    c.spread = o.dispersion;
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
    // With the time run out, no dispersion is given (the counts are of the first texts only).
    if (out.stoppedByTime)
        for (TClusterResult& r : out.clusters)
            r.dispersion = -1.0f;

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

    // The texts and dispersion of the frames, in a walk per size of their variants.
    if (!out.frames.empty() && !out.stoppedByTime) {
        std::vector<TIndexParts::TAcc> acc(out.frames.size());
        std::vector<int32_t> texts(out.frames.size(), 0);
        for (const auto& pass : passes) {
            if (!pass->Frames(c, acc, texts))
                return false;
            ++c.step;
            if (out.cancelled || out.stoppedByTime)
                return true;
        }
        const TIndexParts& parts = c.Parts();
        for (std::size_t f = 0; f < out.frames.size(); ++f) {
            out.frames[f].texts = texts[f];
            out.frames[f].dispersion = o.dispersion ? parts.Finish(acc[f], double(out.frames[f].freq)) : -1.0f;
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
        // A frame's texts and dispersion were counted over the clusters that fill it.
        list->RememberHeadWords();
    }
    list->ComputedRankOrdersOfWords();
    list->ClearChangeMark();
    return list;
}

namespace {

// The clusters of a run as the rows of a word list: read where they are.
class TClusterRows final : public TWordListRows {
public:
    TClusterRows(const TIndexData& index, TClusterRun run) : fRun(std::move(run))
    {
        // Copies share the index's spellings; the list may outlive the index.
        fSpellings.reserve(index.types.size());
        for (const TIndexType& t : index.types)
            fSpellings.push_back(t.word);
    }
    std::size_t Count() const override { return fRun.clusters.size(); }
    void AppendWord(std::size_t i, std::u16string& out) const override
    {
        const std::span<const uint32_t> codes = fRun.clusters[i].codes();
        for (std::size_t k = 0; k < codes.size(); ++k) {
            if (k > 0)
                out += u' ';
            const QStringView spelling = Spelling(codes[k]);
            out.append(reinterpret_cast<const char16_t*>(spelling.utf16()), std::size_t(spelling.size()));
        }
    }
    TWordlistDataRec Data(std::size_t i) const override
    {
        const TClusterResult& c = fRun.clusters[i];
        TWordlistDataRec d;
        d.Freq = c.freq;
        d.Texts = c.texts;
        d.Dispersion = c.dispersion;
        return d;
    }
    void Reorder(const std::vector<uint32_t>& order) override
    {
        // Read where they lie, written one after another: faster than
        // moving them round in place, for a copy while it is made.
        std::vector<TClusterResult> ordered;
        ordered.reserve(order.size());
        for (const uint32_t k : order)
            ordered.push_back(fRun.clusters[k]);
        fRun.clusters = std::move(ordered);
    }

private:
    // What TIndexData::CodeText gives a code, without a copy.
    QStringView Spelling(uint32_t code) const
    {
        if (code == kIndexCodeNumber)
            return u"#";
        if (code == kIndexCodeUnlisted)
            return u"_";
        const uint32_t t = IndexTypeOfCode(code);
        return t < fSpellings.size() ? QStringView(fSpellings[t]) : QStringView();
    }

    TClusterRun fRun;
    std::vector<QString> fSpellings;
};

} // namespace

std::unique_ptr<TCVWordList> ClusterWordListOfRun(TCorvantisholder* owner, const TIndexData& index, TClusterRun run,
                                                  int64_t runningWords, int32_t texts)
{
    if (!run.frames.empty())
        return MakeClusterWordList(owner, index, run, runningWords, texts);
    auto list = std::make_unique<TCVWordList>(owner, kListWordList, CurrentToolSignature());
    list->SetLocale(index.textSettings.LanguageId(), index.textSettings.CollationName());
    list->ShowRows(std::make_unique<TClusterRows>(index, std::move(run)));
    list->SetTotalTokens(runningWords);
    list->SetTotalTexts(texts);
    list->ComputedRankOrdersOfWords();
    list->ClearChangeMark();
    return list;
}

} // namespace cv
