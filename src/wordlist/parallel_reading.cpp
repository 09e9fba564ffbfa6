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

namespace cv {

namespace {

// Texts a thread may read ahead of the last one handed over, per thread.
constexpr int32_t kTextsAheadPerThread = 8;
// Types of the texts read and not yet handed over (with their spellings,
// some 16 bytes each) beyond which no thread starts another text: large
// texts of a large vocabulary bring hundreds of thousands each.
constexpr int64_t kMostTypesWaiting = int64_t(4) << 20;

} // namespace

// A type its reading thread met first in the text: what the run's tree needs
// to find it or add it.
struct TNewTypeOfText {
    uint64_t hash;
    uint32_t at;     // in the spellings, padded with zeros to a multiple of four units
    uint16_t length;
    uint16_t tag;
    bool stop;
};

struct TParallelWordlistReading::TResult {
    bool ready = false;
    int worker = 0;
    uint32_t typesBefore = 0, typesAfter = 0; // the reader's type ids new in this text
    int64_t partTokens = 0;
    TTextReadOutcome outcome;
    std::vector<TWordlistTree::TPartType> types; // the reader's ids, then the run's
    std::vector<TNewTypeOfText> newTypes;
    std::vector<char16_t> spellings;

    // Empty, its vectors' memory kept for another text.
    void Clear()
    {
        ready = false;
        worker = 0;
        typesBefore = typesAfter = 0;
        partTokens = 0;
        outcome = {};
        types.clear();
        newTypes.clear();
        spellings.clear();
    }
};

struct TParallelWordlistReading::TWorker {
    int number = 0;
    TWordlistRunContext context;
    std::unique_ptr<TWordlistTree> tree;
    std::vector<TWordlistTree::TPartType> partTypes;
    std::thread thread;
};

struct TParallelWordlistReading::TShared {
    std::mutex mutex;
    std::condition_variable readyOne;  // a result is ready, or a thread stopped
    std::condition_variable roomAhead; // a text was handed over, or the run stops
    std::span<const TTextToRead> texts;
    std::vector<TResult> results;
    int32_t nextToTake = 0;
    int32_t lastToTake = 0; // texts from here on are left to the caller
    int32_t handedOver = 0;
    int32_t ahead = 0;
    int64_t typesWaiting = 0; // in the results read and not handed over
    bool stop = false;
    std::exception_ptr failure;
    std::vector<std::unique_ptr<TWorker>> workers;
    // Per thread: the run's type id of each of its tree's ids (kNoType:
    // not met yet). Only the calling thread uses them.
    std::vector<std::vector<uint32_t>> runIds;
    int32_t nextPart = 0;
    std::vector<TResult> spare; // results handed over, whose memory a thread takes for its next text
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
    // The cores the machine leaves idle, four at most. Four: the calling
    // thread adds the texts one after the other at some seven times the
    // pace one reader reads them, and each reader keeps a tree of its own
    // (some 5 MB for the sample corpus), fresh memory the system must clear;
    // beyond four the run gained nothing more. Idle: on a machine busy with
    // other work, readers wait for cores, the texts are added in order, so
    // the one descheduled holds up the rest, and the run took longer than
    // on one thread (median 104 ms against 84 for the sample corpus at a
    // load of 20 on 8 cores).
    return IdleCores(4);
}

void TParallelWordlistReading::StopAndJoin()
{
    TShared& s = *m_shared;
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
    }
    s.roomAhead.notify_all();
    for (auto& w : s.workers) {
        if (w->thread.joinable())
            w->thread.join();
        m_cutSeconds += w->context.cutSeconds;
    }
    s.workers.clear();
}

bool TParallelWordlistReading::Run(std::span<const TTextToRead> texts, int32_t count, const TOnText& onText,
                                   const TKeepGoing& keepGoing)
{
    TShared& s = *m_shared;
    m_count = count;
    s.texts = texts;
    s.results = std::vector<TResult>(texts.size());
    s.nextToTake = s.handedOver = 0;
    s.lastToTake = int32_t(texts.size());
    s.typesWaiting = 0;
    s.stop = false;
    s.nextPart = m_run.nextPart;
    const int threads = int(std::min<std::size_t>(std::size_t(m_threads), texts.size()));
    s.ahead = kTextsAheadPerThread * threads;
    s.runIds.assign(std::size_t(threads), {});
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

    bool whole = true;
    for (std::size_t k = 0; k < texts.size() && whole; ++k) {
        {
            std::lock_guard lock(s.mutex);
            if (int32_t(k) >= s.lastToTake)
                break;
        }
        if (!keepGoing()) {
            whole = false;
            break;
        }
        TResult* r = nullptr;
        {
            std::unique_lock lock(s.mutex);
            // The window's events go on while the text is read.
            while (!s.results[k].ready && !s.failure) {
                s.readyOne.wait_for(lock, std::chrono::milliseconds(20));
                if (s.results[k].ready || s.failure)
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
            r = &s.results[k];
        }
        Merge(*r, texts[k].index);
        whole = onText(texts[k], r->outcome);
        if (m_run.tree->Count() >= m_mostRunTypes) {
            // The texts taken are handed over; the caller reads the rest.
            std::lock_guard lock(s.mutex);
            s.lastToTake = std::min(s.lastToTake, s.nextToTake);
        }
        // Its memory goes to a thread's next text (freed here, it went
        // back to the heap the threads take theirs from, at their cost).
        TResult used = std::move(*r);
        const auto types = int64_t(used.types.size());
        used.Clear();
        {
            std::lock_guard lock(s.mutex);
            s.typesWaiting -= types;
            s.spare.push_back(std::move(used));
            s.handedOver = int32_t(k + 1);
        }
        // Room for one more text ahead: one thread may take it.
        s.roomAhead.notify_one();
    }
    m_run.nextPart = s.nextPart;
    m_handedOver = std::size_t(s.handedOver);
    StopAndJoin();
    if (s.failure)
        std::rethrow_exception(s.failure);
    return whole;
}

void TParallelWordlistReading::Work(TWorker& worker)
{
    TShared& s = *m_shared;
    try {
        TResult r;
        for (;;) {
            std::size_t k;
            {
                std::unique_lock lock(s.mutex);
                s.roomAhead.wait(lock, [&] {
                    return s.stop || s.nextToTake >= s.lastToTake
                        || (s.nextToTake < s.handedOver + s.ahead && s.typesWaiting < kMostTypesWaiting);
                });
                if (s.stop || s.nextToTake >= s.lastToTake)
                    return;
                k = std::size_t(s.nextToTake++);
                if (!s.spare.empty()) {
                    r = std::move(s.spare.back());
                    s.spare.pop_back();
                }
            }
            ReadOne(worker, s.texts[k], r);
            {
                std::lock_guard lock(s.mutex);
                // The run's tree will hold as many types once this text is
                // in: the texts not taken yet are left to the caller.
                if (worker.tree->Count() >= m_mostRunTypes)
                    s.lastToTake = std::min(s.lastToTake, s.nextToTake);
                s.typesWaiting += int64_t(r.types.size());
                s.results[k] = std::move(r);
                s.results[k].ready = true;
                r = TResult{};
            }
            s.readyOne.notify_one(); // the calling thread alone waits for it
        }
    } catch (...) {
        {
            std::lock_guard lock(s.mutex);
            if (!s.failure)
                s.failure = std::current_exception();
            s.stop = true;
        }
        s.readyOne.notify_all();
        s.roomAhead.notify_all();
    }
}

void TParallelWordlistReading::ReadOne(TWorker& worker, const TTextToRead& text, TResult& out)
{
    out.worker = worker.number;
    if (!worker.tree) {
        worker.tree = std::make_unique<TWordlistTree>();
        worker.tree->HandPartTypesTo(&worker.partTypes);
        worker.context.tree = worker.tree.get();
    }
    TWordlistTree& tree = *worker.tree;
    out.typesBefore = uint32_t(tree.Count());
    worker.partTypes.clear();
    TTextReadOutcome& o = out.outcome;
    TWordlistBufferProcessor p(m_document, worker.context, *text.text, text.index, m_tagHandler, m_jobKind, m_combining,
                               [&o](const TFileHandledInfo& info) { o.handled = info; });
    p.SetShowFailureMessages(false);
    o.ok = p.ReadAndProcess(m_count);
    out.typesAfter = uint32_t(tree.Count());
    if (!o.ok) {
        o.cancelled = p.Cancelled();
        o.counted = p.Counted();
        o.error = p.LastError();
        return;
    }
    o.row = p.TextStatistics();
    o.notes = p.ReadNotes();
    o.wordsTooLong = p.WordsTooLong();
    out.partTokens = tree.PartTokens(worker.context.nextPart - 1);
    out.types.swap(worker.partTypes);
    // The spellings of the types new to this thread, as the tree keeps them.
    out.newTypes.reserve(out.typesAfter - out.typesBefore);
    for (uint32_t id = out.typesBefore; id < out.typesAfter; ++id) {
        const TWordlistKey& k = tree.Type(id);
        const std::u16string_view spelling = tree.Text(id);
        const auto at = uint32_t(out.spellings.size());
        out.spellings.insert(out.spellings.end(), spelling.begin(), spelling.end());
        out.spellings.resize(at + std::size_t(TWordlistParentTree::PaddedLength(k.length)), char16_t(0));
        out.newTypes.push_back({tree.HashOf(id), at, k.length, k.Tag(), k.Stop()});
    }
}

void TParallelWordlistReading::Merge(TResult& r, int32_t textIndex)
{
    TShared& s = *m_shared;
    if (!r.outcome.ok)
        return;
    TWordlistTree& tree = *m_run.tree;
    std::vector<uint32_t>& runIds = s.runIds[std::size_t(r.worker)];
    runIds.resize(r.typesAfter, TWordlistParentTree::kNoType);
    // The types this thread met first in this text, in the order the text
    // first met them (their ids follow one another so): found in the run's
    // tree, or added to it, in that order. Their slots and then their types
    // are asked for a few places ahead, so that the look-ups do not wait
    // for memory one after the other.
    constexpr std::size_t kSlotAhead = 16, kTypeAhead = 8;
    const std::size_t fresh = r.newTypes.size();
    const char16_t* const spellings = r.spellings.data();
    for (std::size_t j = 0; j < fresh; ++j) {
        if (j + kSlotAhead < fresh)
            tree.PrefetchSlot(r.newTypes[j + kSlotAhead].hash);
        if (j + kTypeAhead < fresh)
            tree.PrefetchType(r.newTypes[j + kTypeAhead].hash);
        const TNewTypeOfText& n = r.newTypes[j];
        uint32_t id = tree.FindType(spellings + n.at, n.length, n.tag, n.hash);
        if (id == TWordlistParentTree::kNoType)
            id = tree.AddType(spellings + n.at, n.length, n.tag, n.hash, n.stop);
        runIds[r.typesBefore + j] = id;
    }
    for (TWordlistTree::TPartType& t : r.types) {
        // Every type of the thread's earlier texts came with them.
        if (runIds[t.id] == TWordlistParentTree::kNoType)
            throw std::logic_error("a reading thread's type came without its spelling");
        t.id = runIds[t.id];
    }
    tree.AddCountedText(textIndex, s.nextPart++, r.partTokens, r.types);
}

} // namespace cv

