#pragma once
// The key-word document: the key words of one comparison of a word list
// with a reference word list, with the dispersion plots of its key words,
// their links and link clusters (kind 1); or a key-word database pooled from
// many key-word files (kind 2). It is saved as a ".kws" file
// (docs/kws-file.md) inside the common envelope.
//
// The key-word run (ComputeKWs) compares one or many study word lists (also
// lists inside zip archives) with one reference list, read once. In batch
// use it saves one ".kws" file per list into the batch folder, zips them,
// and can write a spreadsheet summary of the batch. The word-list
// document's comparison (T_WholeWordlistHolder::ComparedWordlists) makes a
// key-word document, runs it once and takes its key-word list away.
//
// Plots need a concordance of the key words in their source text
// (ComputePlots, keywords_holder_plots.cpp). The run reaches them through a
// hook (SetPlotsComputer) that the document sets to its own ComputePlots; a
// caller may put another in its place.

#include "keywords/kw_links.h"
#include "keywords/kw_plots.h"
#include "keywords/kwdb_list.h"
#include "model/corvantis_holder.h"
#include "wordlist/keyword_list.h"

#include <QDateTime>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

class TKWReferenceList;
class TKWExcelTree;
class TStringListWith2LongintRec;
class T_WholeWordlistHolder;
class TMemoryStream;

// The outcome of a key-word run (five flags, zeroed at the start).
struct TCVComputeResultRec {
    bool OK = false;
    bool NothingFound = false;
    bool ZipFailure = false;
    bool Suspended = false;
    bool TooFewTexts = false;
};

class T_WholeKeywordsHolder : public TCorvantisholder {
public:
    // The document version this program writes.
    static constexpr int32_t kKeywordsDocumentVersion = 1;
    // The colour version this program writes into the settings (offset 1592):
    // the 192-byte colour block follows the record.
    static constexpr int32_t kColourBlockVersion = 1;
    // A run stops after this many finished lists.
    static constexpr int32_t kMaxListsPerRun = 100000;

    // Computes the plots of the key words in their source text; answers
    // whether the plots were made. Installed by whoever can make concordances.
    using TPlotsComputer = std::function<bool(T_WholeKeywordsHolder& document)>;

    T_WholeKeywordsHolder(uint8_t listType, TTagsToTranslateList* tagsToTranslate, TTagHandlerBase* tagHandler,
                          bool lemmaListLoaded, bool stopListLoaded, TDudFileCallback onDudFile = {},
                          TMainListEntriesCallback onMainListEntries = {},
                          TCentreOfMainFormCallback centreOfMainForm = {});
    ~T_WholeKeywordsHolder() override;

    // --- fields ---
    int32_t fmin_link_span = 1;
    int32_t fmax_link_span = 5;
    int32_t ref_corpus_and_KW_mismatch = 0;
    std::unique_ptr<TKWPlotList> fPlots;
    std::unique_ptr<TKWLinkList> fKWLinks;
    std::unique_ptr<TKeyWordList> fKWList;
    std::unique_ptr<TKWDBList> fKWDBList;
    std::unique_ptr<TKWClusterList> fClusterList;
    bool SourceTextKWSentencesOnly = false;
    // Set when a script drives the document: the run reports its lists to it.
    bool fRunsScript = false;
    bool FailedToFindAText = false;
    // The workbook of a batch's spreadsheet summary; empty: none.
    QString ResultsToExcelFilename;
    // Seconds since the run started, recorded by the plots step.
    std::vector<double> fProcessTimes;

    TKeyWordList* KeyWordList() const { return fKWList.get(); }

    // --- the run ---
    // studyLists: saved word lists or zip archives of them; batchMode 0
    // interactive, 1 batch with one zip for the run, 2 or more one zip per
    // archive given; zipBatches 1 allows zipping.
    void ComputeKWs(const QStringList& studyLists, const QString& referenceFilename, uint8_t batchMode, bool twoWay,
                    uint8_t zipBatches, bool applyTextPresenceRule, TCVComputeResultRec& result);
    // Builds the key-word database from key-word files (or zip archives of them).
    bool ComputeKWDatabase(const QStringList& files);
    // Counts the links of the plotted key words (needs plots).
    void ComputeAllLinks();
    // The plots step of a run: computes plots unless fast minimal processing
    // is on, when the source text exists or force is set.
    void MakePlotsIfTextFound(uint8_t force);
    void SetPlotsComputer(TPlotsComputer computer) { fPlotsComputer = std::move(computer); }
    // The plots of a one-text key-word list: one concordance of the source
    // text with every positive key word as a search word, then its dispersion
    // plot; one row per key word found, in key-word order, and the overall
    // row. False (rows emptied; untouched when the text is missing or the
    // list busy) for a list of many texts, a missing or unreadable text, no
    // positive key word, or a cancelled run. Sets the plots-computed flag.
    bool ComputePlots();
    // The plots, tried even when the text seems missing (the user is told
    // why there are none), then the links when wanted and the plots were
    // made. Nothing is computed while processing is minimal. True when the
    // document has plots.
    bool RunRequestedComputations(bool linksWanted);
    // The reference list of the last run (read once per run).
    const TKWReferenceList* ReferenceList() const { return fReference.get(); }

    // The caller takes the key-word list away (and frees it); the document
    // no longer owns one.
    std::unique_ptr<TKeyWordList> SetKWsToNil();
    void SetKWsToThis(std::unique_ptr<TKeyWordList> list);
    void ToggleSentenceOnly() { SourceTextKWSentencesOnly = !SourceTextKWSentencesOnly; }

    // --- the spreadsheet summary of a batch ---
    bool ExcelFileAssigned() const { return !ResultsToExcelFilename.isEmpty(); }
    // One row per key word of the list on the details sheet.
    void AddToExcelDetails(const TKeyWordList& list, const QString& name);
    int32_t ExcelDetailRows() const { return fExcelDetailRows; }

    // --- files ---
    using TCorvantisholder::ReadWholeFromFile;
    bool ReadWholeFromFile(const QString& fileName);
    bool ReadWholeFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;
    bool AddToZipFile(const QString& archive, const QString& entryName) override;

    // --- virtual operations of the document ---
    void AddTextSettingsNotes() override;
    uint64_t ChangedListTypes() override;
    void ClearHeldLists() override;
    void DoStartAnExcelFile(int job) override;
    bool MergeWith(TCorvantisholder& other, bool withNote) override;
    int UpdateSearchReplaceFilenames(const QString& search, const QString& replacement, bool caseSensitive) override;
    void UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list = nullptr, int displayKind = 0) override;
    void WriteSettingsToLog() override;

    // Run counters: lists read and lists done by the last run.
    int32_t ListsRead() const { return fListsRead; }
    // The study lists of the last run that could not be used, each as
    // "<name>: <why>" (missing, not a word list, damaged, empty).
    const QStringList& UnusableStudyLists() const { return fUnusableLists; }
    int32_t ListsDone() const { return fListsDone; }

protected:
    QString DefaultExtension() const override { return QStringLiteral(".kws"); }

private:
    struct TRunState;
    void RegisterLists();
    bool LoadReferenceList(const QString& referenceFilename, const QStringList& studyLists);
    void ReportReferenceFailure(const QString& fileName, const QString& reason, uint8_t failure);
    void ComputeOneStudyList(TRunState& run, int32_t index, const QString& name);
    void NoteUnusableList(const QString& name, const QString& why);
    // The lists that could not be used, in one message (or the failure message).
    void ReportUnusableLists();
    // The headings of the run's lists (step before the study lists).
    void ResetRunHeadings();
    bool ComputeKWsFromZippedLists(TRunState& run, int32_t index, const QString& archive);
    bool RunOneStudyDocument(TRunState& run, T_WholeWordlistHolder& study, const QString& name, const QDateTime& time);
    void WriteKWsToExcel(TRunState& run);
    bool AddDocumentToDatabase(T_WholeKeywordsHolder& document, const QString& name, int32_t total, bool& first,
                               TKeyWordsSettingsRec& runSettings);
    bool ReadBlocks(TStream& s, uint8_t kind);
    bool SaveBlocks(TStream& s);
    std::unique_ptr<T_WholeWordlistHolder> NewWordlistDocument() const;

    TPlotsComputer fPlotsComputer;
    std::unique_ptr<T_WholeWordlistHolder> fReferenceDocument;
    std::unique_ptr<TKWReferenceList> fReference;
    int32_t fListsRead = 0;
    QStringList fUnusableLists;
    int32_t fListsDone = 0;
    int32_t fExcelDetailRows = 0;
    int fExcelFormat = -1;
    int64_t fRunStartMs = 0;
};

} // namespace cv
