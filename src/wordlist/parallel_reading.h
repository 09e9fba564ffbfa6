#pragma once
// Reading the texts of a word-list run on several threads.
//
// Each thread takes the next text not taken yet, reads it and cuts its words
// into a word tree of its own, just as a run on one thread does into the
// run's tree (the same processor, the same per-text statistics). What the
// text gave is handed over: its statistics row, its types in the order the
// text first met them with their counts, and the spellings of the types its
// thread had not met before.
//
// The run's counts are gathered in slices of the vocabulary (by the top bits
// of a type's hash), each slice a word tree of its own that takes the texts
// strictly in text order, and the slices on whichever threads are free: so
// no one thread adds every type of every text (a large vocabulary's hundred
// million or so), and a slice's tree is small enough to stay in the caches.
// A type new to the run is new to its slice at the text that first met it,
// so the run's order of first meeting is known per text, and once every
// slice has taken every text the run's tree is made of the slices' types in
// that order, with their frequencies, parts and spread: the same as when one
// thread reads every text, and the list made of it is the same to the byte.
//
// Only runs of several texts without a token sink and without parts cut
// from one text go this way (the index takes its words one text after the
// other, and a one-text run has nothing to share out).

#include "textread/buffer_processor.h"
#include "model/stats_list.h"
#include "wordlist/wordlist_buffer_processor.h"
#include "wordlist/wordlist_tree.h"

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

    // Called on the calling thread for each text in order, once it is read
    // (or could not be); false stops the run.
    using TOnText = std::function<bool(const TTextToRead&, const TTextReadOutcome&)>;
    // Called on the calling thread before each text is taken over and now
    // and then while it waits for one (a window's events go on); false
    // stops the run.
    using TKeepGoing = std::function<bool()>;

    // Reads the texts (`count` is the number of texts of the job, as a
    // processor is told it) into the run's tree, which must hold no type
    // and no part yet. Returns true when every text was handed over: the
    // run's tree then holds what one thread reading them all would have
    // counted, and counts no more tokens (its spread is the slices'). At
    // once, false, when onText or keepGoing stopped it: the run's tree is
    // then left as it was. Threads take texts only a few ahead of those
    // gathered, so the texts waiting take little memory. An exception on a
    // reading thread stops the run and is thrown here. Threads the system
    // cannot start are done without (StartedThreads); when none starts, no
    // text is handed over (true, HandedOver 0): the caller reads them.
    bool Run(std::span<const TTextToRead> texts, int32_t count, const TOnText& onText, const TKeepGoing& keepGoing);
    // Texts handed over by the last Run.
    std::size_t HandedOver() const { return m_handedOver; }
    // Threads the last Run could start (fewer than asked when the system
    // could not start more; with none, it handed over no text).
    int StartedThreads() const { return m_started; }

    // Types a reading thread's tree may hold after a text before the thread
    // reads the next one into an empty tree (by default 1,048,576, some
    // 110 MB). Each thread meets most types of a large vocabulary again,
    // and a tree of its own keeps them: one thread's share of the memory
    // grows with the vocabulary up to that bound and no further. (A thread
    // that starts afresh meets every type of its next text as new, which
    // its slices then look up again: starting afresh after every text of
    // the generated corpus of a million types took 1.5 s more of processor
    // time for its 100 texts.)
    void SetMostThreadTypes(int64_t types) { m_mostThreadTypes = std::max<int64_t>(1, types); }
    static constexpr int64_t kMostThreadTypes = int64_t(1) << 20;
    // Slices of the run's vocabulary: 2^bits (0 to 6). By default one per
    // 4 MB of text, four at least (each slice takes some memory of its own
    // however few types it gets).
    void SetSliceBits(int bits) { m_sliceBits = std::clamp(bits, 0, TWordlistTree::kMostSliceBits); }

    // Time the threads spent cutting and counting, summed.
    double CutSeconds() const { return m_cutSeconds; }

    // Threads a run reads with unless told otherwise: the cores the
    // machine leaves idle (its cores less its load), four at most, one at
    // least (then the run reads on the calling thread alone).
    static int DefaultThreads();

private:
    struct TWorker;
    struct TResult;
    struct TSlice;
    struct TShared;
    void Work(TWorker& worker);
    void ReadOne(TWorker& worker, const TTextToRead& text, TResult& out);
    // Adds texts [from, to) to slice `slice`; after the last text, its spread.
    void AddToSlice(int slice, int32_t from, int32_t to, bool last);
    // The run's types new in texts [from, to) (every slice has taken them),
    // in the order first met, added to the tree being made.
    void Gather(int32_t from, int32_t to);
    // The run's tree made of the slices: the types gathered take their
    // frequencies and spread, and the tree takes the run tree's place.
    void MakeRunTree();
    void StopAndJoin();

    TWordlistRunContext& m_run;
    int m_threads;
    TCorvantisholder* m_document;
    TTagHandlerBase* m_tagHandler;
    uint8_t m_jobKind, m_combining;
    int32_t m_count = 0;
    int64_t m_mostThreadTypes = kMostThreadTypes;
    int m_sliceBits = -1;
    std::size_t m_handedOver = 0;
    int m_started = 0;
    double m_cutSeconds = 0;
    std::unique_ptr<TShared> m_shared;
};

} // namespace cv
