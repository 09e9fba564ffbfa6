#pragma once
// The word-list document: the result of a word-list job (list type 0), of a
// detailed-consistency job (list type 4) and, later, of a corpus index
// (list type 23). It holds the word list, the per-text statistics, the
// key-word list of a comparison, the detailed-consistency list and its
// relations, and the word-list settings, and it saves them as a ".lst" file
// inside the common envelope (docs/lst-file.md).
//
// The word-list job (MakeWordlist): for each chosen text in turn the text is
// read chunk by chunk and its words counted into the run's word tree
// (MadeOneFileWordlist); at the end of each text its statistics row is kept,
// the running words so far are posted to the tool's window (message 1638)
// and progress is shown; the cancel state is polled between texts and the
// reader polls it between chunks. At the end the tree is turned into the
// word list (with the user's word filter, the stop list, the word-list
// settings' limits and the lemma list applied) and the statistics are
// totalled. The document's lists are replaced only when the whole run
// succeeded: a failed or cancelled run returns false and leaves them as
// they were.

#include "model/corvantis_holder.h"
#include "model/stats_list.h"
#include "suite/settings_records.h"
#include "wordlist/keyword_list.h"
#include "wordlist/word_list.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

class TSharedChosenFilesClass;
struct TChosenTextRec;
class TDetailedConsistencyList;
class TWordlistTree;
class TWordTokenSink;
class TWordFilterPlugin;
class TWordFolder;
struct TWordlistRunContext;
struct TTextReadOutcome;
struct TMovingWindowSettings;
class TTagsToTranslateList;
class TTextTagHandler;

// The corpus index of a document (list type 23) lives with the index code,
// above this library: the document owns it through this slot, and whoever
// makes one hands over the way to free it.
class TIndexHandler;
struct TIndexHandlerDeleter {
    void (*destroy)(TIndexHandler*) = nullptr;
    void operator()(TIndexHandler* p) const
    {
        if (p && destroy)
            destroy(p);
    }
};

class T_WholeWordlistHolder : public TCorvantisholder {
public:
    // The document version this program writes (the signature's version field).
    static constexpr int32_t kWordlistDocumentVersion = 1;

    // Fetches the text settings and the word-list settings from the settings
    // buffer and resets the cancel state.
    T_WholeWordlistHolder(uint8_t listType, TTagsToTranslateList* tagsToTranslate, TTagHandlerBase* tagHandler,
                          bool lemmaListLoaded, bool stopListLoaded, TDudFileCallback onDudFile = {},
                          TMainListEntriesCallback onMainListEntries = {},
                          TCentreOfMainFormCallback centreOfMainForm = {});
    ~T_WholeWordlistHolder() override;

    // --- the held lists ---
    std::unique_ptr<TCVStatsList> fStats;                // per-text statistics (row 0 overall)
    std::unique_ptr<TKeyWordList> fKeywordsList;         // key words of a comparison
    std::unique_ptr<TDetailedConsistencyList> fDetailedConsistencyList;
    std::unique_ptr<TIndexHandler, TIndexHandlerDeleter> fIndexHandler;
    // A relationships document (list type 28) keeps its relationships, which
    // the index's part of the document puts in and takes out, as the bytes
    // of a block of its file (docs/lst-file.md, block "RELS").
    QByteArray fRelationshipsBlock;
    // Called first thing when the document saves itself (the index's part
    // makes the relationships block then).
    std::function<void()> fBeforeSave;
    // The relationships of the index handler into fRelationshipsBlock, with
    // the index they come from; false without relationships.
    bool PrepareRelationshipsBlock();
    // The relationships of fRelationshipsBlock into the index handler's
    // list: the document becomes a relationships document. False without a
    // handler or a sound block.
    bool TakeRelationshipsBlock();
    // The index the relationships block names (its ".tokens" file); empty without one.
    QString RelationshipsParentIndex() const;
    TWordlistSettingsRec WordlistSettings;

    // The word list of a list type: the index word list for 23, else the word list.
    TCVWordList* WordlistOfType(uint8_t listType) const;
    // Stores a list under a type (taking it over) and hands back the one it
    // replaces; a null list detaches the held one.
    std::unique_ptr<TCVWordList> SetWordlistOfType(uint8_t listType, std::unique_ptr<TCVWordList> list);
    // The per-entry data of the word list of the document's kind.
    TWordlistDataRec WordlistData(int i) const;
    bool ComputedRankOrdersOfWords();

    // --- the job ---
    // Makes the word list (list type 0) of the chosen texts. batchMode 0: one
    // list; 1: one list per text; 2: one list per text, zipped per folder;
    // 3: one list per folder (see Global_BatchProcedures). Batch results are
    // saved into the batch folder and, when the batch record asks for it,
    // collected in the batch zip. `convertedToUnicode` counts texts converted
    // on disk (never: texts are decoded in memory). List type 23 needs an
    // index handler. False on failure or cancel, with the document's lists
    // unchanged.
    bool MakeWordlist(TSharedChosenFilesClass& chosen, uint8_t batchMode, int32_t& convertedToUnicode,
                      uint8_t listType);
    // A fresh word tree for a run over `textCount` texts (one text: the
    // dispersion parts are tenths of it).
    void NewWordTree(int32_t textCount);
    // Reads one text into the current word tree; `textIndex` of `textCount`.
    // False when the text could not be read (it is then noted as unread) or
    // the job was cancelled. Its statistics row is kept for the list.
    bool MadeOneFileWordlist(const TChosenTextRec& text, int32_t textIndex, int32_t textCount, bool combining);
    // Turns the current word tree into the document's word list and
    // statistics (replacing them); the tree is freed. False when nothing
    // was counted or the user's word filter cannot be loaded.
    bool WordTreeToWordlist();
    // Statistics rows of the texts read into the current tree.
    const std::vector<TStatsRec>& PendingTextStatistics() const { return fPendingRows; }
    // Where the last run's time went (seconds): reading the texts (cutting
    // included), cutting and counting alone, making the list.
    struct TRunTimings {
        double reading = 0;
        double cutting = 0;
        double listing = 0;
        int readingThreads = 1; // threads that read texts (besides the calling one, when more than one)
    };
    const TRunTimings& LastRunTimings() const { return fTimings; }
    // Texts the last run could not read, each with the reason.
    QStringList UnreadTextReasons() const { return fUnreadReasons; }
    // What the user should know of texts the last run read all the same,
    // each naming its text (also in the list's notes): a byte-order mark
    // the text does not look like, a text that changed while it was read,
    // words passed over as longer than a word may be.
    QStringList TextNotes() const { return fTextNotes; }
    // Why the last run stopped as a whole (not enough memory), else empty.
    QString JobFailure() const { return fJobFailure; }
    // Receives every word of the texts as they are cut (the index). Not owned.
    void SetTokenSink(TWordTokenSink* sink) { fTokenSink = sink; }
    // The units of the chunks texts are read in (0: kWordlistChunkUnits,
    // the default; what is counted does not depend on it).
    void SetChunkUnits(int32_t units) { fChunkUnits = units; }
    // Threads that read the texts of a run (0, the default: as many as the
    // machine has idle cores, four at most; 1: the calling thread alone). The
    // lists are the same either way; a run of one text, or with a token
    // sink, reads on the calling thread.
    void SetReadingThreads(int threads) { fReadingThreads = threads; }

    // Detailed consistency of saved word lists (list type 4); lists that
    // cannot be used go to dud_compute_files.
    bool MakeDetailedConsistencyList(const QStringList& files);

    // Key words of a saved word list against a reference list: the result
    // replaces the document's key-word list; `found` tells whether any came
    // out. Defined with the key-word code
    // (keywords/wordlist_holder_keywords.cpp), so a caller links cv_keywords.
    void ComparedWordlists(const QString& studyFilename, const QString& referenceFilename, bool twoWay, bool& found);

    // --- the corpus index (defined with the index code, index/wordlist_holder_index.cpp) ---
    // Opens the index named (any of its four files, or their common base
    // name) and makes the index word list (list type 23) from it; the
    // document becomes an index document with its index handler. Low byte
    // of the result: 1 opened, 0 not; high byte: why not (kReadCannotOpen,
    // kReadNotOurs, kReadNewer, kReadDamaged).
    uint16_t OpenAnIndexAndLoadWords(const QString& indexFileName);
    // Makes the document's index handler for the index named. Opening mode
    // 0 makes a new index (an old one of that name is replaced when the new
    // one is saved); 1 adds texts to the existing index, which must be sound.
    bool StartAnIndexHandler(const QString& indexFileName, uint8_t openingMode);
    // The notes an index made by the last run keeps: its title and `text`,
    // the settings, then what the run noted of its texts (as a word list
    // of them notes it).
    void StartIndexNotes(const QString& text);
    // Clusters and phrase frames of the index, as the handler's index
    // settings say, into the document's word list (list type 0). When the
    // settings ask for one cluster list per text, `perText` is called at
    // the end (the window saves them through SaveTempClusterWordlists).
    bool ComputeClusters(const std::function<void()>& perText);
    // One cluster list of each text of the index, saved into the batch
    // folder and collected in the batch zip.
    bool SaveTempClusterWordlists(const QString& batchRootFolder);
    // Writes the moving-window analysis of the index: the ".plotdata" file
    // and a text file beside the index. Returns the two names, each empty
    // when that file was not written.
    QStringList MakeAndSaveMovingWindow(const TMovingWindowSettings& settings);

    // --- list commands ---
    // Marks the words that carry a tag deleted (true) or restores them (false).
    int DeleteAllTaggedWords(bool deleted);
    // Dispersion is computed with the word list as it is made; recomputing it
    // afterwards needs the per-text frequencies, which a list does not keep.
    bool ComputedDispersion() { return false; }

    // --- files ---
    using TCorvantisholder::ReadWholeFromFile;
    bool ReadWholeFromFile(const QString& fileName);
    bool ReadWholeFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;
    // Adds another word-list document: word lists, statistics and key words.
    bool MergeWith(TCorvantisholder& other, bool withNote) override;

    // --- virtual operations of the document ---
    void AddTextSettingsNotes() override;
    uint64_t ChangedListTypes() override;
    void ClearHeldLists() override;
    void UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list = nullptr, int displayKind = 0) override;

protected:
    QString DefaultExtension() const override { return QStringLiteral(".lst"); }

private:
    // The blocks after the envelope; `documentStart`: where the document
    // began in the stream (a memory stream), the start of what the check covers.
    bool SaveBlocks(TStream& s, int64_t documentStart);
    struct TRun;
    bool RunTexts(TSharedChosenFilesClass& chosen, const std::vector<int>& texts, bool showProgress);
    // Threads a job of this document takes: as set (SetReadingThreads), or
    // as many as the machine has idle cores, four at most.
    int ThreadsWanted() const;
    // What the job does with a text once it was read, or could not be (its
    // row kept and its running words posted, or the reason noted and the
    // user asked); true when it was read.
    bool TookTextOutcome(const TChosenTextRec& text, const TTextReadOutcome& outcome);
    bool MakeBatch(TSharedChosenFilesClass& chosen, uint8_t batchMode);
    // Why texts read gave no word for the list, as far as the run knows.
    QString WhyNoWords() const;
    void RegisterLists();
    // A list just made takes its totals (the running words of its texts)
    // and tag display, then the loaded lemma and match lists; it starts
    // unchanged.
    void FinishNewList(TCVWordList& list, int64_t runningWords, int32_t texts) const;
    // The notes of a list just made: the standard ones and what the run noted.
    void StartNotesOfRun(int32_t batchNumber);
    void ApplyTagDisplay();
    // False on damage: `damage` says what, when it is more than a file cut
    // short or out of shape (a check that does not match, impossible values).
    bool ReadBlocks(TStream& s, int64_t documentStart, QString& damage);

    std::unique_ptr<TCVWordList> fWordList;
    std::unique_ptr<TCVWordList> fIndexWordList;
    std::unique_ptr<TRun> fRun;
    std::vector<TStatsRec> fPendingRows;
    QString fJobFailure;
    QStringList fUnreadReasons;
    QStringList fTextNotes;
    QStringList fRunNotes;
    TWordTokenSink* fTokenSink = nullptr;
    int32_t fChunkUnits = 0;
    int fReadingThreads = 0;
    TRunTimings fTimings;
};

} // namespace cv
