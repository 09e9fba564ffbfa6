#pragma once
// Reading the texts of a word-list run on several threads.
//
// Each thread takes the next text not taken yet, reads it and cuts its words
// into a word tree of its own, just as a run on one thread does into the
// run's tree (the same processor, the same per-text statistics). What the
// text gave is handed over: its statistics row, its types in the order the
// text first met them with their counts, and the spellings of the types its
// thread had not met before. The calling thread adds the texts to the run's
// tree strictly in text order. So the run's tree gets its types in the order
// they first occur in the texts, with the same counts and per-part records
// as when one thread reads every text, and the list made of it is the same
// to the byte.
//
// Only runs of several texts without a token sink and without parts cut
// from one text go this way (the index takes its words one text after the
// other, and a one-text run has nothing to share out).

#include "textread/buffer_processor.h"
#include "model/stats_list.h"
#include "wordlist/wordlist_buffer_processor.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace cv {

class TCorvantisholder;
class TTagHandlerBase;

// What reading one text gave, as the job sees it.
struct TTextReadOutcome {
    bool ok = false;        // read, and its words counted into the run's tree
    bool cancelled = false; // the job was cancelled while it was read
    bool counted = false;   // not ok, but some of its words had been counted
    QString error;          // why it could not be read (not ok)
    std::optional<TFileHandledInfo> handled; // what the reader told about it, when it did
    TStatsRec row;          // its statistics row (ok)
    QStringList notes;      // what the user should know of it (ok; TBufferProcessor::ReadNotes)
    int64_t wordsTooLong = 0; // words passed over as longer than a word may be (ok)
};

// One text to read: its record and its number in the run (the text the
// tree's part of it belongs to).
struct TTextToRead {
    const TChosenTextRec* text = nullptr;
    int32_t index = 0;
};

class TParallelWordlistReading {
public:
    // `run` is the run's context: its tree gets the texts, its folder,
    // settings, tool, tag and stop-list choices and chunk size apply to
    // every thread's own. `threads` readers (at least 1) besides the calling
    // thread. `document`, `tagHandler`, `jobKind` and `combining` go to each
    // text's processor as a one-thread run gives them.
    TParallelWordlistReading(TWordlistRunContext& run, int threads, TCorvantisholder* document,
                             TTagHandlerBase* tagHandler, uint8_t jobKind, uint8_t combining);
    ~TParallelWordlistReading();
    TParallelWordlistReading(const TParallelWordlistReading&) = delete;
    TParallelWordlistReading& operator=(const TParallelWordlistReading&) = delete;

    // Called on the calling thread for each text in order, once its words
    // are in the run's tree (when it was read); false stops the run.
    using TOnText = std::function<bool(const TTextToRead&, const TTextReadOutcome&)>;
    // Called on the calling thread before each text is taken over and now
    // and then while it waits for one (a window's events go on); false
    // stops the run.
    using TKeepGoing = std::function<bool()>;

    // Reads the texts (`count` is the number of texts of the job, as a
    // processor is told it). Returns when every text was handed over, or
    // at once when onText or keepGoing stopped it (then false), or, true,
    // when the run's tree came to hold as many types as SetMostRunTypes
    // says: then the texts the threads had taken are handed over, and the
    // caller reads the others (from HandedOver() on) on its own. Threads
    // take texts only a few ahead of those handed over, so the texts
    // waiting take little memory. An exception on a reading thread stops
    // the run and is thrown here. Threads the system cannot start are done
    // without (StartedThreads); when none starts, no text is handed over.
    bool Run(std::span<const TTextToRead> texts, int32_t count, const TOnText& onText, const TKeepGoing& keepGoing);
    // Texts handed over by the last Run.
    std::size_t HandedOver() const { return m_handedOver; }
    // Threads the last Run could start (fewer than asked when the system
    // could not start more; with none, it handed over no text).
    int StartedThreads() const { return m_started; }

    // Types in the run's tree from which the threads take no more texts
    // (by default 131,072). Each thread meets most types of a large
    // vocabulary again, in a tree of its own: past some hundred thousand
    // types the trees no longer stay in the caches, the threads wait for
    // memory, and one thread alone counting into the run's tree is faster
    // (a generated corpus of 100 million words over a million types took
    // 4.0 s on four threads against 3.4 s on one, and 757 MB against 233).
    void SetMostRunTypes(int64_t types) { m_mostRunTypes = types; }
    static constexpr int64_t kMostRunTypes = int64_t(1) << 17;

    // Time the threads spent cutting and counting, summed.
    double CutSeconds() const { return m_cutSeconds; }

    // Threads a run reads with unless told otherwise: the cores the
    // machine leaves idle (its cores less its load), four at most, one at
    // least (then the run reads on the calling thread alone).
    static int DefaultThreads();

private:
    struct TWorker;
    struct TResult;
    struct TShared;
    void Work(TWorker& worker);
    void ReadOne(TWorker& worker, const TTextToRead& text, TResult& out);
    // Adds a text read to the run's tree.
    void Merge(TResult& result, int32_t textIndex);
    void StopAndJoin();

    TWordlistRunContext& m_run;
    int m_threads;
    TCorvantisholder* m_document;
    TTagHandlerBase* m_tagHandler;
    uint8_t m_jobKind, m_combining;
    int32_t m_count = 0;
    int64_t m_mostRunTypes = kMostRunTypes;
    std::size_t m_handedOver = 0;
    int m_started = 0;
    double m_cutSeconds = 0;
    std::unique_ptr<TShared> m_shared;
};

} // namespace cv
