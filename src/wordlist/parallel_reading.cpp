#include "wordlist/parallel_reading.h"

#include "suite/process_utils.h"
#include "wordlist/wordlist_tree.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace cv {

namespace {

// Texts a thread may read ahead of the last one gathered, per thread.
constexpr int32_t kTextsAheadPerThread = 8;
// Types of the texts read and not yet gathered (with their spellings,
// some 16 bytes each) beyond which no thread starts another text: large
// texts of a large vocabulary bring hundreds of thousands each.
constexpr int64_t kMostTypesWaiting = int64_t(4) << 20;
// Texts a slice takes at a time, when they are there (its counts stay in
// the caches of the thread that adds them).
constexpr int32_t kMostTextsPerTask = 16;

// While texts are read on several threads the process takes its fresh
// memory in 4 KB pages, not 2 MB ones (the heap asks for those for a
// job's tables: PrepareMemoryForJobs), and takes them again after. The
// threads' trees are most of the fresh memory of such a run (each comes to
// hold most of a large vocabulary), all taken from the one heap; backed by
// 2 MB pages the reading of the generated corpus of 100 million words on
// four threads took some 11 % longer (medians of four interleaved runs:
// 1.69 s against 1.50 s, as much processor time), where one thread reading
// alone gains from them (20 to 35 %), so one thread keeps them. A run that
// finds them already refused leaves them so (of two runs at once, the
// second then reads in 2 MB pages once the first is done: slower, no more).
class TSmallPagesWhileReading {
public:
    TSmallPagesWhileReading()
    {
#if defined(__linux__) && defined(PR_SET_THP_DISABLE)
        fSet = prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0) == 0 && prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) == 0;
#endif
    }
    ~TSmallPagesWhileReading()
    {
#if defined(__linux__) && defined(PR_SET_THP_DISABLE)
        if (fSet)
            prctl(PR_SET_THP_DISABLE, 0, 0, 0, 0);
#endif
    }
    TSmallPagesWhileReading(const TSmallPagesWhileReading&) = delete;
    TSmallPagesWhileReading& operator=(const TSmallPagesWhileReading&) = delete;

private:
    bool fSet = false;
};

} // namespace

// A type its reading thread met first in the text: what its slice needs to
// find it or add it.
struct TNewTypeOfText {
    uint64_t hash;
    uint32_t at;     // in the spellings, padded with zeros to a multiple of four units
    uint32_t fresh;  // its place among the thread's types new in the text (the order the text met them)
    uint16_t length;
    uint16_t tag;
    bool stop;
};

struct TParallelWordlistReading::TResult {
    bool ready = false;
    int worker = 0;
    bool afresh = false;      // the thread's tree was empty before this text: its numbers in the slices start again
    int64_t partWords = 0;
    TTextReadOutcome outcome;
    // The text's types, by slice, each named by its number in its slice
    // (TWordlistTree::HandPartTypesTo).
    std::vector<std::vector<TWordlistTree::TPartType>> types;
    std::size_t typeCount = 0;
    // The types new to the thread, slice after slice (newStarts), and their spellings.
    std::vector<TNewTypeOfText> newTypes;
    std::vector<uint32_t> newStarts;
    std::vector<char16_t> spellings;
    // For each type new to the thread, in the order the text met them: its place in newTypes.
    std::vector<uint32_t> newAt;
    // For each type new to the thread, in the order the text met them: the
    // slice and its id there when it was new to the run (SliceAndNumber),
    // else kNoType. Each slice writes those of its own types.
    std::vector<uint32_t> fresh;
    int slicesDone = 0;

    // Empty, its vectors' memory kept for another text.
    void Clear()
    {
        ready = false;
        worker = 0;
        afresh = false;
        partWords = 0;
        outcome = {};
        for (auto& t : types)
            t.clear();
        typeCount = 0;
        newTypes.clear();
        newStarts.clear();
        spellings.clear();
        newAt.clear();
        fresh.clear();
        slicesDone = 0;
    }
};

struct TParallelWordlistReading::TWorker {
    int number = 0;
    TWordlistRunContext context;
    std::unique_ptr<TWordlistTree> tree;
    bool afresh = false; // no text of the tree has reached the slices yet: the next tells them its numbers start again
    std::vector<std::vector<TWordlistTree::TPartType>> partTypes; // by slice, of the text being read
    std::vector<uint32_t> counts; // per slice (scratch)
    std::thread thread;
};

// One slice of the run's vocabulary: its types, to find them by their
// spellings, and what the texts gave them, in arrays of their own (the
// counts of a text's types touch a few bytes each, not a type's line).
struct TParallelWordlistReading::TSlice {
    TWordlistParentTree types;
    // By id: the frequency, and kStop when the type is in the stop list.
    std::vector<uint64_t> freqAndStop;
    static constexpr uint64_t kStop = uint64_t(1) << 63;
    TPartRecords parts;
    bool keepRecords = true;
    // Per reading thread: the slice's id of each of the thread's types in
    // the slice, by its number there.
    std::vector<std::vector<uint32_t>> ids;
    int32_t next = 0;     // the next text it takes
    int32_t nextPart = 0; // that text's part
    bool busy = false;    // a thread is adding texts to it
    TTypeSpread spread;
    std::unique_ptr<TPartCounts> counts; // by number in the slice, made with the spread
};

struct TParallelWordlistReading::TShared {
    std::mutex mutex;
    std::condition_variable callerWakes;  // a text is read or gathered, a slice is done, or a thread stopped
    std::condition_variable workerWakes;  // a text is read or gathered, or the run stops
    std::span<const TTextToRead> texts;
    std::vector<TResult> results;
    int32_t nextToTake = 0;
    int32_t lastToTake = 0; // texts from here on are left to the caller
    int32_t handedOver = 0; // to onText
    int32_t gathered = 0;   // every slice took them, and the run's new types among them are in `order`
    int32_t ahead = 0;
    int64_t typesWaiting = 0; // in the results read and not gathered
    bool stop = false;
    std::exception_ptr failure;
    std::vector<std::unique_ptr<TWorker>> workers;
    int sliceBits = 0;
    std::vector<TSlice> slices;
    int slicesDone = 0; // slices that took every text (and made their spread)
    std::vector<TResult> spare; // results gathered, whose memory a thread takes for its next text
    // The run's types in the order first met: slice and id there (SliceAndNumber).
    std::vector<uint32_t> order;
    // The run's tree as it is made: its types in that order, added as their
    // texts are gathered (on the calling thread, which has little else to do
    // while the others read), their frequencies and spread once every slice
    // took every text. Made at the end instead, a million types took the
    // job 0.2 s on one thread after the reading.
    std::unique_ptr<TWordlistTree> made;
    // The parts of the texts read, in order: the text and its tokens.
    std::vector<std::pair<int32_t, int64_t>> parts;
};

TParallelWordlistReading::TParallelWordlistReading(TWordlistRunContext& run, int threads, TCorvantisholder* document,
                                                   TTagHandlerBase* tagHandler, uint8_t jobKind, uint8_t combining)
    : m_run(run), m_threads(std::max(1, threads)), m_document(document), m_tagHandler(tagHandler), m_jobKind(jobKind),
      m_combining(combining), m_shared(std::make_unique<TShared>())
{
}

TParallelWordlistReading::~TParallelWordlistReading() { StopAndJoin(); }

int TParallelWordlistReading::DefaultThreads()
{
    // The cores the machine leaves idle, four at most. Four: each reader
    // keeps a tree of its own, fresh memory the system must clear, and
    // beyond four the runs measured gained nothing more. Idle: on a machine
    // busy with other work, readers wait for cores, the slices take the
    // texts in order, so the one descheduled holds up the rest, and the
    // run took longer than on one thread (median 104 ms against 84 for the
    // sample corpus at a load of 20 on 8 cores).
    return IdleCores(4);
}

void TParallelWordlistReading::StopAndJoin()
{
    TShared& s = *m_shared;
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
    }
    s.workerWakes.notify_all();
    for (auto& w : s.workers) {
        if (w->thread.joinable())
            w->thread.join();
        m_cutSeconds += w->context.cutSeconds;
    }
    s.workers.clear();
}

namespace {

// Slice bits for texts of `bytes` bytes: a slice per 4 MB, 4 to 64.
int SliceBitsFor(int64_t bytes)
{
    int bits = 2;
    while (bits < TWordlistTree::kMostSliceBits && (bytes >> 22) > (int64_t(1) << bits))
        ++bits;
    return bits;
}

} // namespace

bool TParallelWordlistReading::Run(std::span<const TTextToRead> texts, int32_t count, const TOnText& onText,
                                   const TKeepGoing& keepGoing)
{
    if (m_run.tree->Count() != 0 || m_run.tree->PartCount() != 0)
        throw std::logic_error("texts read on several threads into a tree that holds some already");
    const TSmallPagesWhileReading smallPages;
    TShared& s = *m_shared;
    m_count = count;
    s.texts = texts;
    s.results = std::vector<TResult>(texts.size());
    s.nextToTake = s.handedOver = s.gathered = 0;
    s.lastToTake = int32_t(texts.size());
    s.typesWaiting = 0;
    s.stop = false;
    s.failure = nullptr;
    s.order.clear();
    s.parts.clear();
    s.made = std::make_unique<TWordlistTree>();
    s.made->KeepPartRecords(m_run.tree->KeepsPartRecords());
    if (m_sliceBits >= 0) {
        s.sliceBits = m_sliceBits;
    } else {
        int64_t bytes = 0;
        for (const TTextToRead& t : texts)
            bytes += std::max<int64_t>(0, t.text->FileSize);
        s.sliceBits = SliceBitsFor(bytes);
    }
    const int threads = int(std::min<std::size_t>(std::size_t(m_threads), texts.size()));
    s.ahead = kTextsAheadPerThread * threads;
    s.slices = std::vector<TSlice>(std::size_t(1) << s.sliceBits);
    s.slicesDone = 0;
    for (TSlice& slice : s.slices) {
        slice.keepRecords = m_run.tree->KeepsPartRecords();
        slice.ids.assign(std::size_t(threads), {});
        slice.nextPart = m_run.nextPart;
    }
    for (int t = 0; t < threads; ++t) {
        auto w = std::make_unique<TWorker>();
        w->number = t;
        TWordlistRunContext& c = w->context;
        c.folder = m_run.folder;
        c.settings = m_run.settings;
        c.tool = m_run.tool;
        c.useTags = m_run.useTags;
        c.stopList = m_run.stopList;
        c.slicedParts = false;
        c.chunkUnits = m_run.chunkUnits;
        s.workers.push_back(std::move(w));
    }
    // A thread the system cannot start (short of memory or of threads) is
    // done without: the run goes on with those that started, and with none
    // the caller reads every text itself.
    m_started = 0;
    for (auto& w : s.workers) {
        try {
            w->thread = std::thread([this, worker = w.get()] { Work(*worker); });
        } catch (const std::system_error&) {
            break;
        }
        ++m_started;
    }
    {
        std::lock_guard lock(s.mutex);
        s.ahead = kTextsAheadPerThread * std::max(1, m_started);
        if (m_started == 0)
            s.lastToTake = 0;
    }
    s.workerWakes.notify_all();
    const int32_t last = s.lastToTake;
    const auto sliceCount = int(s.slices.size());

    // Texts every slice took are gathered (their memory goes to a thread's
    // next text); with `all`, waits until every text is, and every slice
    // made its spread. False when the run stops meanwhile.
    auto gatherDone = [&](std::unique_lock<std::mutex>& lock, bool all) {
        for (;;) {
            int32_t to = s.gathered;
            while (to < s.handedOver && s.results[std::size_t(to)].slicesDone == sliceCount)
                ++to;
            if (to > s.gathered) {
                const int32_t from = s.gathered;
                lock.unlock();
                Gather(from, to);
                lock.lock();
                for (int32_t k = from; k < to; ++k) {
                    TResult used = std::move(s.results[std::size_t(k)]);
                    s.typesWaiting -= int64_t(used.typeCount);
                    used.Clear();
                    s.spare.push_back(std::move(used));
                }
                s.gathered = to;
                s.workerWakes.notify_all();
                continue;
            }
            if (!all || s.failure || (s.gathered == last && s.slicesDone == sliceCount))
                return !s.failure;
            s.callerWakes.wait_for(lock, std::chrono::milliseconds(20));
            if (s.failure)
                return false;
            lock.unlock();
            const bool goOn = keepGoing();
            lock.lock();
            if (!goOn)
                return false;
        }
    };

    bool whole = true;
    for (int32_t k = 0; k < last && whole; ++k) {
        if (!keepGoing()) {
            whole = false;
            break;
        }
        TResult* r = nullptr;
        {
            std::unique_lock lock(s.mutex);
            // The window's events go on while the text is read.
            while (!s.results[std::size_t(k)].ready && !s.failure) {
                if (!gatherDone(lock, false))
                    break;
                s.callerWakes.wait_for(lock, std::chrono::milliseconds(20));
                if (s.results[std::size_t(k)].ready || s.failure)
                    break;
                lock.unlock();
                const bool goOn = keepGoing();
                lock.lock();
                if (!goOn) {
                    whole = false;
                    break;
                }
            }
            if (s.failure || !whole)
                break;
            r = &s.results[std::size_t(k)];
        }
        // The result is the caller's to read: no thread writes what onText
        // looks at once it is ready.
        whole = onText(texts[std::size_t(k)], r->outcome);
        {
            std::unique_lock lock(s.mutex);
            if (r->outcome.ok)
                s.parts.emplace_back(texts[std::size_t(k)].index, r->partWords);
            s.handedOver = k + 1;
            if (whole)
                gatherDone(lock, false);
        }
    }
    if (whole && !s.failure && last > 0) {
        std::unique_lock lock(s.mutex);
        whole = gatherDone(lock, true);
    }
    m_handedOver = std::size_t(s.handedOver);
    StopAndJoin();
    if (s.failure)
        std::rethrow_exception(s.failure);
    if (whole && last > 0)
        MakeRunTree();
    m_run.nextPart += int32_t(s.parts.size());
    s.slices.clear();
    s.results.clear();
    s.spare.clear();
    std::vector<uint32_t>().swap(s.order);
    s.made.reset();
    return whole;
}

void TParallelWordlistReading::Work(TWorker& worker)
{
    TShared& s = *m_shared;
    const auto sliceCount = int(s.slices.size());
    try {
        TResult r;
        int nextSlice = worker.number * sliceCount / std::max(1, int(s.workers.size()));
        for (;;) {
            std::unique_lock lock(s.mutex);
            // Slices first: what they take is memory given back, and the
            // texts read wait for them.
            int slice = -1;
            int32_t from = 0, to = 0;
            bool readable = false;
            s.workerWakes.wait(lock, [&] {
                if (s.stop)
                    return true;
                for (int j = 0; j < sliceCount; ++j) {
                    const int i = (nextSlice + j) % sliceCount;
                    const TSlice& sl = s.slices[std::size_t(i)];
                    if (!sl.busy && sl.next < s.lastToTake && s.results[std::size_t(sl.next)].ready) {
                        slice = i;
                        return true;
                    }
                }
                readable = s.nextToTake < s.lastToTake && s.nextToTake < s.gathered + s.ahead
                    && s.typesWaiting < kMostTypesWaiting;
                if (readable)
                    return true;
                // Nothing more can come: every text taken, every slice done.
                return s.nextToTake >= s.lastToTake && s.slicesDone == sliceCount;
            });
            if (s.stop)
                return;
            if (slice >= 0) {
                TSlice& sl = s.slices[std::size_t(slice)];
                sl.busy = true;
                from = to = sl.next;
                while (to < s.lastToTake && to - from < kMostTextsPerTask && s.results[std::size_t(to)].ready)
                    ++to;
                const bool last = to == s.lastToTake;
                lock.unlock();
                AddToSlice(slice, from, to, last);
                lock.lock();
                sl.busy = false;
                sl.next = to;
                bool wake = last;
                for (int32_t k = from; k < to; ++k)
                    wake = ++s.results[std::size_t(k)].slicesDone == sliceCount || wake;
                if (last)
                    ++s.slicesDone;
                nextSlice = (slice + 1) % sliceCount;
                lock.unlock();
                if (wake)
                    s.callerWakes.notify_one(); // the calling thread alone waits for it
                continue;
            }
            if (!readable)
                return;
            const auto k = std::size_t(s.nextToTake++);
            if (!s.spare.empty()) {
                r = std::move(s.spare.back());
                s.spare.pop_back();
            }
            lock.unlock();
            ReadOne(worker, s.texts[k], r);
            lock.lock();
            s.typesWaiting += int64_t(r.typeCount);
            s.results[k] = std::move(r);
            s.results[k].ready = true;
            r = TResult{};
            lock.unlock();
            s.callerWakes.notify_one();
            s.workerWakes.notify_all(); // the slices may take it
        }
    } catch (...) {
        {
            std::lock_guard lock(s.mutex);
            if (!s.failure)
                s.failure = std::current_exception();
            s.stop = true;
        }
        s.callerWakes.notify_all();
        s.workerWakes.notify_all();
    }
}

void TParallelWordlistReading::ReadOne(TWorker& worker, const TTextToRead& text, TResult& out)
{
    TShared& s = *m_shared;
    const int bits = s.sliceBits;
    const std::size_t sliceCount = s.slices.size();
    out.worker = worker.number;
    // A tree grown large starts afresh: its types are met again as new.
    if (worker.tree && worker.tree->Count() >= m_mostThreadTypes)
        worker.tree.reset();
    worker.partTypes.resize(sliceCount);
    if (!worker.tree) {
        worker.tree = std::make_unique<TWordlistTree>();
        worker.tree->HandPartTypesTo(worker.partTypes, bits);
        worker.context.tree = worker.tree.get();
        worker.afresh = true;
    }
    TWordlistTree& tree = *worker.tree;
    const auto typesBefore = uint32_t(tree.Count());
    for (auto& t : worker.partTypes)
        t.clear();
    TTextReadOutcome& o = out.outcome;
    TWordlistBufferProcessor p(m_document, worker.context, *text.text, text.index, m_tagHandler, m_jobKind, m_combining,
                               [&o](const TFileHandledInfo& info) { o.handled = info; });
    p.SetShowFailureMessages(false);
    o.ok = p.ReadAndProcess(m_count);
    const auto typesAfter = uint32_t(tree.Count());
    if (!o.ok) {
        o.cancelled = p.Cancelled();
        o.counted = p.Counted();
        o.error = p.LastError();
        // What it counted was never handed over: the slices' numbers of
        // its types would be wrong for the next text.
        if (o.counted)
            worker.tree.reset();
        return;
    }
    o.row = p.TextStatistics();
    o.notes = p.ReadNotes();
    o.wordsTooLong = p.WordsTooLong();
    out.partWords = tree.PartWords(worker.context.nextPart - 1);
    out.afresh = worker.afresh;
    worker.afresh = false;
    // The text's types (their vectors' memory goes to the thread's next text).
    out.types.resize(sliceCount);
    out.typeCount = 0;
    for (std::size_t i = 0; i < sliceCount; ++i) {
        out.types[i].swap(worker.partTypes[i]);
        out.typeCount += out.types[i].size();
    }
    std::vector<uint32_t>& counts = worker.counts;
    auto startsOf = [&](std::vector<uint32_t>& starts) {
        starts.assign(sliceCount + 1, 0);
        for (std::size_t i = 0; i < sliceCount; ++i)
            starts[i + 1] = starts[i] + counts[i];
        counts.assign(starts.begin(), starts.end() - 1);
    };
    // The types new to the thread, with their spellings as the tree keeps them.
    counts.assign(sliceCount + 1, 0);
    for (uint32_t id = typesBefore; id < typesAfter; ++id)
        ++counts[TWordlistTree::SliceOf(tree.HashOf(id), bits)];
    startsOf(out.newStarts);
    out.newTypes.resize(typesAfter - typesBefore);
    out.newAt.resize(typesAfter - typesBefore);
    out.fresh.assign(typesAfter - typesBefore, TWordlistParentTree::kNoType);
    for (uint32_t id = typesBefore; id < typesAfter; ++id) {
        const TWordlistKey& k = tree.Type(id);
        const std::u16string_view spelling = tree.Text(id);
        const auto at = uint32_t(out.spellings.size());
        out.spellings.insert(out.spellings.end(), spelling.begin(), spelling.end());
        out.spellings.resize(at + std::size_t(TWordlistParentTree::PaddedLength(k.length)), char16_t(0));
        const uint64_t hash = tree.HashOf(id);
        const uint32_t place = counts[TWordlistTree::SliceOf(hash, bits)]++;
        out.newTypes[place] = {hash, at, id - typesBefore, k.length, k.Tag(), k.Stop()};
        out.newAt[id - typesBefore] = place;
    }
}

void TParallelWordlistReading::AddToSlice(int slice, int32_t from, int32_t to, bool last)
{
    TShared& s = *m_shared;
    const int bits = s.sliceBits;
    TSlice& sl = s.slices[std::size_t(slice)];
    TWordlistParentTree& types = sl.types;
    for (int32_t k = from; k < to; ++k) {
        TResult& r = s.results[std::size_t(k)];
        if (!r.outcome.ok)
            continue;
        std::vector<uint32_t>& ids = sl.ids[std::size_t(r.worker)];
        if (r.afresh)
            ids.clear();
        // The thread's new types of the slice, in the order it numbered
        // them: found among the slice's types, or added to them, in that
        // order. Their slots and then their types are asked for a few
        // places ahead, so that the look-ups do not wait for memory one
        // after the other.
        constexpr std::size_t kSlotAhead = 16, kTypeAhead = 8;
        const TNewTypeOfText* const fresh = r.newTypes.data() + r.newStarts[std::size_t(slice)];
        const std::size_t freshCount = r.newStarts[std::size_t(slice) + 1] - r.newStarts[std::size_t(slice)];
        const char16_t* const spellings = r.spellings.data();
        for (std::size_t j = 0; j < freshCount; ++j) {
            if (j + kSlotAhead < freshCount)
                types.PrefetchSlot(fresh[j + kSlotAhead].hash);
            if (j + kTypeAhead < freshCount) {
                types.PrefetchType(fresh[j + kTypeAhead].hash);
                PrefetchLine(spellings + fresh[j + kTypeAhead].at);
            }
            const TNewTypeOfText& n = fresh[j];
            uint32_t id = types.FindType(spellings + n.at, n.length, n.tag, n.hash);
            if (id == TWordlistParentTree::kNoType) {
                // More types than a slice can name could not be held anyway.
                if (types.Count() >= (int64_t(1) << (32 - bits)) - 1)
                    throw std::bad_alloc();
                id = types.AddType(spellings + n.at, n.length, n.tag, n.hash, n.stop);
                sl.freqAndStop.push_back(n.stop ? TSlice::kStop : 0);
                r.fresh[n.fresh] = TWordlistTree::SliceAndNumber(uint32_t(slice), id, bits);
            }
            ids.push_back(id);
        }
        // Its counts, and its record in the text's part (as a tree adds a
        // text counted elsewhere: stop-list types have none). The slice's
        // counts were last in the caches of whichever thread added the
        // texts before: those of the types a little ahead are asked for.
        constexpr std::size_t kAhead = 32;
        const uint32_t* const idOf = ids.data();
        const std::size_t known = ids.size();
        uint64_t* const freq = sl.freqAndStop.data();
        const TWordlistTree::TPartType* const t = r.types[std::size_t(slice)].data();
        const std::size_t n = r.types[std::size_t(slice)].size();
        for (std::size_t j = 0; j < n; ++j) {
            // The ids a little further ahead first, then the counts they name.
            if (j + 2 * kAhead < n && t[j + 2 * kAhead].id < known)
                PrefetchLine(idOf + t[j + 2 * kAhead].id);
            if (j + kAhead < n && t[j + kAhead].id < known)
                PrefetchLine(freq + idOf[t[j + kAhead].id]);
            const uint32_t number = t[j].id;
            // Every type of the thread's earlier texts came with them.
            if (number >= known)
                throw std::logic_error("a reading thread's type came without its spelling");
            const uint32_t id = idOf[number];
            const uint64_t count = t[j].count;
            freq[id] += count;
            if (sl.keepRecords && (freq[id] & TSlice::kStop) == 0 && count != 0)
                sl.parts.Put(id, count);
        }
        sl.parts.NotePart(sl.nextPart++, s.texts[std::size_t(k)].index, r.partWords);
    }
    if (last && sl.keepRecords) {
        sl.spread = sl.parts.Spread(sl.freqAndStop.size(), [&sl](uint32_t id, uint64_t& freq, bool& stop) {
            freq = sl.freqAndStop[id] & ~TSlice::kStop;
            stop = (sl.freqAndStop[id] & TSlice::kStop) != 0;
        });
        sl.counts = std::make_unique<TPartCounts>(sl.parts.CountsOf({}, sl.freqAndStop.size()));
        sl.parts.FreeRecords();
        sl.types.FreeIndex();
    }
}

void TParallelWordlistReading::Gather(int32_t from, int32_t to)
{
    TShared& s = *m_shared;
    TWordlistTree& made = *s.made;
    for (int32_t k = from; k < to; ++k) {
        const TResult& r = s.results[std::size_t(k)];
        for (std::size_t j = 0; j < r.fresh.size(); ++j) {
            if (r.fresh[j] == TWordlistParentTree::kNoType)
                continue;
            const TNewTypeOfText& n = r.newTypes[r.newAt[j]];
            made.AddCountedType({r.spellings.data() + n.at, n.length}, n.tag, n.stop, 0);
            s.order.push_back(r.fresh[j]);
        }
    }
}

void TParallelWordlistReading::MakeRunTree()
{
    TShared& s = *m_shared;
    const int bits = s.sliceBits;
    TWordlistTree& tree = *s.made;
    int32_t part = m_run.nextPart;
    for (const auto& [text, tokens] : s.parts)
        tree.AddCountedText(text, part++, tokens, {});
    const bool spread = tree.KeepsPartRecords();
    TWordlistTree::TSpread all;
    std::unique_ptr<TPartCounts> counts;
    if (spread) {
        all.dispersion.reserve(s.order.size());
        all.texts.reserve(s.order.size());
        // The parts are every slice's: the first names them.
        std::vector<int64_t> tokens;
        std::vector<int32_t> texts;
        for (const TSlice& sl : s.slices)
            if (sl.counts) {
                for (int32_t p = 0; p < sl.counts->PartCount(); ++p) {
                    tokens.push_back(sl.counts->PartWords(p));
                    texts.push_back(sl.counts->PartText(p));
                }
                break;
            }
        counts = std::make_unique<TPartCounts>(std::move(tokens), std::move(texts));
    }
    // The types are there (Gather), in the order of `order`: their frequencies.
    for (std::size_t made = 0; made < s.order.size(); ++made) {
        const uint32_t at = s.order[made];
        const TSlice& sl = s.slices[TWordlistTree::SliceOfNumbered(at, bits)];
        const uint32_t id = TWordlistTree::NumberInSlice(at, bits);
        tree.Type(uint32_t(made)).freq = sl.freqAndStop[id] & ~TSlice::kStop;
        if (spread) {
            all.dispersion.push_back(sl.spread.dispersion[id]);
            all.texts.push_back(sl.spread.texts[id]);
            counts->AddRowWords(sl.counts ? sl.counts->RowWords(id) : std::span<const uint32_t>());
        }
    }
    if (spread) {
        tree.AdoptSpread(std::move(all));
        tree.AdoptPartCounts(std::move(counts));
    }
    *m_run.tree = std::move(tree);
}

} // namespace cv
