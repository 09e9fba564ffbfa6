#pragma once
// The concordance document: the lines of a concordance and everything
// computed from them (collocates, patterns, clusters, a dispersion plot, a
// timeline), the texts that gave lines and those that gave none, the search
// words, the tag-file tags saved with the data, and a private copy of the
// concordance settings record.
//
// A one-text run (MadeOneFileConcordance) drives a TMarvexBufferProcessor
// over a text and keeps its lines; ComputePlot places every hit in its text.
// The document is saved as a ".cnc" file (marvex_holder_file.cpp,
// docs/cnc-file.md).

#include "concordance/collocates.h"
#include "concordance/concordance_list.h"
#include "concordance/concordance_plots.h"
#include "concordance/marvex_buffer_processor.h"
#include "concordance/marvex_filenames.h"
#include "concordance/patterns_clusters.h"
#include "concordance/tell_marvex.h"
#include "concordance/texts_without_hits.h"
#include "model/corvantis_holder.h"
#include "suite/search_items.h"
#include "suite/settings_records.h"
#include "textread/tag_records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

class TSearchAndDoEngine;
class TBaseSearchItems;
class TSharedChosenFilesClass;
class T_WholeWordlistHolder;
struct TCollocateRelationshipChoices;
struct TCollocateRelationshipOptions;

// The format code of a text a concordance read: 32 a text inside a zip
// archive, else 4 a text read as UTF-16 as it stood (the reader did not
// convert it), else 1 (an 8-bit text, converted while read).
uint8_t TextFormatCode(const TChosenTextRec& text, const TFileHandledInfo& handled);

// Reads one text with `reader` as a one-text run does: when a read fails
// because the reader asks for the text in UTF-16, the file is converted from
// the code page (`converted` counts each conversion that succeeded) and read
// again; a conversion that fails ends it with false, its reason in
// `conversionError`. Any other failure ends it too.
bool ReadTextConvertingWhenAsked(TBufferProcessor& reader, int32_t count, const TChosenTextRec& text,
                                 uint32_t codePage, int32_t& converted, QString* conversionError = nullptr);

// Frees a reference word list held by a concordance document.
struct TReferenceWordlistDeleter {
    void operator()(T_WholeWordlistHolder* p) const;
};

// Seconds from the start of a run to the end of each of its steps (0: not run).
struct TConcProcessTimes {
    double concordance = 0;
    double collocates = 0;
    double clusters = 0;
    double patterns = 0;
    double plot = 0;
    double timeline = 0;
};

// Which derived lists hold data (and are written to the file).
struct TConcordanceWorkDoneRec {
    bool Association_computed = false;
    bool Clusters_computed = false;
    bool Collocates_computed = false;
    bool Patterns_computed = false;
    bool Plot_computed = false;
    bool Timeline_computed = false;
    friend bool operator==(const TConcordanceWorkDoneRec&, const TConcordanceWorkDoneRec&) = default;
};

// A tag-file tag saved with the data.
struct TVisibleTagRec {
    TStoredTagRec stored;
    bool sem_colorir = false; // shown without its colours
    friend bool operator==(const TVisibleTagRec&, const TVisibleTagRec&) = default;
};

// How plot rows are grouped: parts of texts (0-based numbers in the order of
// the texts list) and parts of search words; rowsBySearchWord numbers a row
// search word first (row = search word + search words x text), else text
// first (row = text + texts x search word).
struct TConcplotChoices {
    std::vector<std::vector<int32_t>> textParts;
    std::vector<std::vector<int32_t>> searchWordParts;
    bool rowsBySearchWord = false;
};

// "1-3, 5, 7-8" of 1-based numbers (given 0-based, in any order).
QString HumanAbbreviatedNumberListString(std::vector<int32_t> zeroBased);

class T_WholeMarvexHolder : public TCorvantisholder {
public:
    static constexpr int32_t kSavedTagsMarker = 2147483647;
    static constexpr uint8_t kStoredFormatLevel = 3;

    // kind: the document kind (10 for a concordance); the text settings are
    // fetched from the settings buffer, the concordance settings copied from it.
    T_WholeMarvexHolder(uint8_t kind, TTagsToTranslateList* tagsToTranslate, TTagHandlerBase* textTagHandler,
                        bool usingLemmalist, bool usingStoplist, TDudFileCallback onDudFile = {},
                        TMainListEntriesCallback onMainListEntries = {},
                        TCentreOfMainFormCallback centreOfMainForm = {});
    ~T_WholeMarvexHolder() override;

    // --- overrides of the document ---
    // The Unicode setting of a text-settings record.
    void SetUnicodeFromSettings(const TTextSettings& settings) override;
    // Bit t: a derived list of list type t carries its change mark.
    uint64_t ChangedListTypes() override;
    // Empties the lists and registers them again: lines, collocates, plot,
    // patterns, clusters, timeline and the texts list.
    void ClearHeldLists() override;
    bool ReadWholeFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;

    // --- the one-text run ---
    // Concordances one text of a run of `count` texts (index from 0). The
    // search words are handled one at a time when oneAtATime >= 0. Out: the
    // text's running words, its format code (TextFormatCode) and its status
    // (1 read, 2 not processed); `converted` counts the texts the reader had
    // converted to UTF-16 on disk and read again. A text without lines leaves
    // the texts list again and, when it was read, goes to the texts without
    // lines. False when the text could not be read.
    bool MadeOneFileConcordance(int32_t index, int32_t count, int32_t oneAtATime, bool combining,
                                const TChosenTextRec& text, TMarvexProgressMethod progress,
                                TSearchAndDoEngine* engine, TSearchWordItems* searchWords,
                                TBaseSearchItems* contextItems, TBaseSearchItems* exclusionItems,
                                TBaseSearchItems* tagContextItems, int32_t number, uint8_t kind, int32_t& words,
                                int32_t& converted, uint8_t& format, uint8_t& status);
    // The dispersion plot: one row per text and search word (or per part of
    // each, byParts), with the overall row. False without texts or lines;
    // throws when there are lines but no search words.
    bool ComputePlot(bool byParts);

    // Saved tags against the tag handler's tag-file tags: with saved tags,
    // each takes the colours, description and extra data of the handler's
    // tag of the same text (false); without, they become a copy of the
    // handler's tags (true).
    bool CopyTagFileTagsToArrayOfSavedTagsDifferent();
    // Media-tag mark and the lines' tag-string-only marks from the saved tags.
    void SetTagStringOnlyMarks();
    std::vector<TStoredTagRec> SavedTagsAsStoredArray() const;
    const std::vector<int32_t>& SearchWordHitCounts() const { return fConcordanceList->sws_found_counter; }
    // Settings byte 1731 from the shared settings; loads the stop list when
    // wanted and not loaded yet.
    void LoadStopListIfWanted();

    // --- analyses of the lines (marvex_holder_analyses.cpp) ---
    // Copies line i into rec with its characters in capitals (unless the
    // settings compare words as they are); the characters keep their places.
    // Reports progress every 256 lines. The line's length in characters.
    int LineWorkingCopy(int lineIndex, TMarvexEntryRec& rec);
    // The hit as it stands in the line when the line records where it stands
    // (a search word that carries a tag) and the typed search word differs
    // from its plain form, else the plain form; mark-up removed.
    QString HitWordAsFound(const TMarvexEntryRec& rec, const TSearch_word_format_rec& sw) const;
    // Collocates of the lines within the collocate horizons. False without lines or collocates.
    bool ComputeCollocates();
    // Association scores of the collocates against the reference word list
    // in `referenceFile`; the outcome is in `choices`.
    void REComputeCollocateAssociation(const QString& referenceFile, TCollocateRelationshipChoices& choices,
                                       const TCollocateRelationshipOptions& options, int32_t preferredColumn);
    // Recurring word sequences of the lines; keep_lengths keeps the document's cluster lengths.
    bool ComputeClusters(bool keep_lengths);
    // The most frequent words at L5 ... R5.
    bool ComputePatterns();
    // Hits per period of the texts' dates (when the shared settings ask for it).
    void ComputeTimeline();
    // Reads a word list (".lst") as the reference corpus list. False (with a
    // message naming the file) when it cannot be read.
    bool LoadedAReferenceCorpusWordlist(const QString& fileName);
    // For every word of the word list within the collocate-script limits: a
    // concordance over the list's texts and a tab-separated file of its
    // collocates with their statistics in `folder`. Returns the files written
    // (-1 when the folder cannot be made).
    int ComputeAndSaveCollocatesForWholeWordList(T_WholeWordlistHolder& wordlist, const QString& folder);

    // --- the run over chosen texts (marvex_holder_run.cpp) ---
    // Concordances every chosen text for the search words and runs the
    // analyses. The document's previous contents stay until the run
    // succeeds: a run that fails or is cancelled (cancel state 2 or more)
    // leaves them as they were. A cancel state of 1 ends the run after the
    // current text and keeps what was found.
    bool MakeConcordance(TSharedChosenFilesClass& chosen, TSearchWordItems& searchWords, uint8_t batchSwitch,
                         uint8_t kind, int32_t& converted, TMarvexProgressMethod progress = nullptr,
                         TBaseSearchItems* contextItems = nullptr, TBaseSearchItems* exclusionItems = nullptr,
                         TBaseSearchItems* tagContextItems = nullptr, int32_t batchNumber = 0, bool plotWanted = true);
    // Collocates, clusters, patterns, the plot (when wanted) and the
    // timeline, timing each, unless the shared settings ask for minimal processing.
    void RunRequestedComputations(bool plotWanted = true);
    // Adds another concordance document's lines, texts and search words.
    bool MergeWith(TCorvantisholder& other, bool withNote) override;
    void AddTextSettingsNotes() override;
    void AddNotesOnSWResults();
    // A report of the texts with and without lines, saved as the file-info
    // text file (and opened through OnOpenTextFile). False when it cannot be saved.
    bool CopyFilenameDetailsToNotepad();
    // The stored texts that still exist become the chosen texts; true when
    // every stored text did (and there was one).
    bool CopyFilenamesToChosenTexts(TSharedChosenFilesClass& chosen);
    void CopySearchWordItemsToFSWSEtc(const TSearchWordItems& searchWords);
    void CopySearchWordHitsToSetColumn();
    void CheckBothTextFileListsUptoDate();
    void CheckMenuItemsAfterLoadFromFile() override;
    void ToggleConcColouringSetting(int tag);
    void ToggleHidetags(int tag);
    void ToggleConcDisplay(int tag);
    void UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list = nullptr, int displayKind = 0) override;
    using TCorvantisholder::WriteSettingsToLog;
    void WriteSettingsToLog(bool success, const QString& routine);
    bool TryToUpdateTags();

    // The reference word list of the collocate statistics (null unless loaded).
    std::unique_ptr<T_WholeWordlistHolder, TReferenceWordlistDeleter> fReferenceCorpusWordlist;
    TConcProcessTimes fProcessTimes;
    // Short progress texts of long jobs (the batch job names each word's file).
    std::function<void(const QString&)> OnProgressMessage;
    // Opens a text file for the user (the window installs the system editor).
    std::function<void(const QString& fileName)> OnOpenTextFile;
    // Set when a script drives the document: runs report their progress to it.
    bool fRunsScript = false;
    // Positions another tool asked for (a request's texts numbered as the
    // run's chosen texts, 0-based, and running words from 1): when not
    // empty, each text's lines are made only at its positions (the jump
    // list of its processor).
    std::vector<TMarvexPosition> fJumpList;

    // --- the file's own blocks ---
    bool SaveArrayOfSavedTags(TStream& s);
    bool ReadArrayOfSavedTags(TStream& s);
    // The six flags from their copies in the settings record, and back.
    void WorkDoneFromSettings();
    void WorkDoneToSettings();
    // The texts-list text name of a line's text number (1-based), for grids.
    QString TextNameOf(int32_t textNumber, bool full) const;
    // Words of text number n (1-based); 0 when unknown.
    int32_t WordsOfText(int32_t textNumber) const;

    // --- data ---
    bool fCV4data = false;
    int32_t fTagFileTagsVersion = 0;
    TConcordanceWorkDoneRec work_done;
    TConcSettingsRec32 fSettings;
    std::unique_ptr<TMarvexFilenamelist> fTextFilesWithSearchWord;
    std::unique_ptr<TUnusedFileList> fTextFilesWithoutSearchWord;
    std::unique_ptr<TCollocateList> fCollocateList;
    std::unique_ptr<TConcPlotList> fConcPlotList;
    std::unique_ptr<TPatternsList> fPatternsList;
    std::unique_ptr<TConcordanceClusterList> fClusterList;
    std::unique_ptr<TConcordanceList> fConcordanceList;
    std::unique_ptr<TTimelineList> fTimeLineList;
    std::unique_ptr<TSearchWordItems> fSWs;
    std::vector<TVisibleTagRec> fArrayOfSavedTags;
    // Names of the first texts that gave no line; beyond five, only the count
    // of texts without lines is kept (NotFoundFilesCount).
    QStringList NotFoundFilesForNotesList;
    int32_t NotFoundFilesCount = 0;
    // What the last run noted of texts it read all the same, each naming its
    // text (a byte-order mark the text does not look like, a text that
    // changed while it was read, a page's scripts left out): also in the
    // document's notes.
    QStringList TextNotes;
    bool HasMediaTags = false;
    bool DataHasColourTags = false;
    TConcplotChoices plot_options;
    int32_t preferred_column_for_joint = -1;
    int32_t max_clusters_found = 0;
    QString ReferenceCorpusWordlistFilename;

    // What the readers of lines and collocates go by while a file is read:
    // the stored-format level (settings byte 1763), whether lines carry their
    // own tag flags (settings byte 1783), and otherwise per search word
    // whether it holds paired tag mark-up. Kept per document.
    uint8_t fStoredFormatLevel = kStoredFormatLevel;
    uint8_t fTagFlagsByte = 1;
    std::vector<bool> fSearchWordHasPairedTags;

private:
    // Gives the lists what they need to know of the document (texts, search words).
    void LinkLists();
    // Settings read from a file into the current record (older layouts
    // converted): true when the whole record was read.
    bool ReadInConcSettRec(TStream& s, int32_t holderVersion);
    bool ReadBlocksAfterEnvelope(TStream& s);
    // Calls visit(rec) with the working copy (LineWorkingCopy) of each line
    // the analyses count, that is each line neither deleted nor empty, until
    // the user stops the job: false when stopped. Used by
    // marvex_holder_analyses.cpp.
    template <typename TVisit>
    bool ForEachAnalysedLine(TVisit&& visit);
    // The held lists into the document's register (fCVBaseLists), in their
    // fixed order, without emptying them.
    void RegisterLists();
    // After the held lists were swapped for others: RegisterLists, and the
    // lists told the document's language, character width and texts.
    void ReattachHeldLists();
    struct TRunBackup;
    std::unique_ptr<TRunBackup> TakeContentsForRun();
    void RestoreContents(std::unique_ptr<TRunBackup> backup);
    int64_t fRunStartMs = 0;

    uint8_t fDocumentKind;
};

} // namespace cv
