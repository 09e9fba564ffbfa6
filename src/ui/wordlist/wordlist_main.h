#pragma once
// The main window of the word-list tool: the tool window of the framework
// with eleven result pages (word list by frequency and alphabetically, the
// index word list both ways, index relations, statistics, detailed
// consistency and its relations, key words, the texts, notes), and the place
// where every compute job of the tool starts.
//
// Jobs start only through window message 1391 (WParam: batch flag, LParam:
// list type), posted by the start wizard, the batch set-up, the menus or the
// window itself: 0 a word list of the chosen texts (a batch of them when
// WParam is not 0), 4 a detailed consistency list of saved word lists, 22
// word lists from plain-text word lists, 23 a corpus index. Each job asks
// whether unsaved data may go, reloads changed tag lists, makes a new
// word-list document, runs on the window thread (pumping messages, so the
// controller's cancel commands reach it), and ends with the pages refreshed
// and the window in front. A job that fails or is cancelled puts the
// document shown before it back, so nothing is lost.
//
// What a job needs to know from the user (files for a consistency list or an
// import, the batch set-up, the index to make) comes through
// TWordListJobChoices (job_choices.h); what the window's commands need
// (cluster and relationship choices, the comparison, sorting, joining,
// exports) through TWordListCommandChoices (command_choices.h).
//
// The window's commands (menu tags it handles itself, and the handlers it
// binds into every page grid) work on the document of the current page:
// clusters and relationships from an open index, requests for concordances
// to the sibling concordance tool, key words against a reference list,
// merging of equal words, automatic joining, finding the texts of words.
// Each page grid also asks the window, cell by cell, whether a cell's look
// changes (the page's cell handler), and the typing box of the tool bar
// finds a typed word in the current page as it is typed, or edits the word
// of the current row.

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "ui/framework/main_tools_form.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/job_choices.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QTimer;
class QToolButton;

namespace cv {

class T_WholeKeywordsHolder;
class T_WholeWordlistHolder;
class TCVStatusBar;
class TCVWordList;
class TCV_Grid;
class TStream;
class TTextSettings;
class TTellMarvexList;
struct TDrawgridDataRec;
class TWordListPlainTextStringlist;
struct TCheckSignature;

class TFormWordList : public TMainToolsForm {
    Q_OBJECT
public:
    // commandLine: the program's parameters (without its own name), acted on
    // once the window is first shown.
    explicit TFormWordList(QWidget* parent = nullptr, const TMainToolsFormOptions& options = {},
                           QStringList commandLine = {});
    ~TFormWordList() override;

    // --- components ---
    QWidget* AdvPanelToolname;      // start screen, shown while there is no data
    QLabel* ElLabelTool;
    QLabel* LabelVersion;
    QTabWidget* AdvOfficePager1;
    QWidget* AdvOfficePageFrequency;
    QWidget* AdvOfficePageAlph;
    QWidget* AdvOfficePageIndexFreq;
    QWidget* AdvOfficePageIndexAlph;
    QWidget* AdvOfficePageIndexRelations;
    QWidget* AdvOfficePageStatistics;
    QWidget* AdvOfficePageConsistency;
    QWidget* AdvOfficePageConsistencyRelations;
    QWidget* AdvOfficePageKWs;
    QWidget* AdvOfficePageFilenames;
    QWidget* AdvOfficePageKWPlot;   // the key words' dispersion plots
    QWidget* AdvOfficePageKWLinks;  // the links between key words
    QWidget* AdvOfficePageNotes;
    TCV_Grid* CVGridFreq;
    TCV_Grid* CVGridAlph;
    TCV_Grid* CVGridIndexFreq;
    TCV_Grid* CVGridIndexAlph;
    TCV_Grid* CVGridIndexRelations;
    TCV_Grid* CVGridStatistics;
    TCV_Grid* CVGridConsistency;
    TCV_Grid* CVGridConsistencyRelations;
    TCV_Grid* CVGridKWs;
    TCV_Grid* CVGridFilenames;
    TCV_Grid* CVGridKWPlot;
    TCV_Grid* CVGridKWLinks;
    QPlainTextEdit* WLMemoNotes;
    QWidget* ContainBoxMainTop;     // the typing tool bar
    QToolButton* AdvGlowButtonClose;
    QCheckBox* AdvOfficeCheckBoxCaseSensitiveSearch;
    QComboBox* ElComboBoxTyping;
    QComboBox* AdvOfficeComboBoxTypeMode;
    QTimer* TimerWordListing;

    // --- fields ---
    std::unique_ptr<TWordListPlainTextStringlist> fPlainTextList; // only while one file is imported
    int32_t last_wordcount = 0;
    int32_t fSpare_Index_Col1Width = 0;
    QString fSpare_Index_filename;

    // The document as the word-list document it always is here (null without one).
    T_WholeWordlistHolder* WordlistDocument() const;

    // Where jobs get the user's choices; the window's own fixed choices
    // (which cancel) when none is set. Not owned.
    void SetJobChoices(TWordListJobChoices* choices) { m_jobChoices = choices; }
    TWordListJobChoices& JobChoices() { return m_jobChoices ? *m_jobChoices : m_ownChoices; }
    // Where commands get the user's choices; the window's own fixed choices
    // (the settings as they are) when none is set. Not owned.
    void SetCommandChoices(TWordListCommandChoices* choices) { m_commandChoices = choices; }
    TWordListCommandChoices& CommandChoices() { return m_commandChoices ? *m_commandChoices : m_ownCommandChoices; }
    // A job is running (inside the handler of message 1391).
    bool JobRunning() const { return m_jobRunning; }
    // The engine works on the document (and pumps messages meanwhile):
    // opening a file or closing the data is refused until it is done.
    bool DocumentInUse() const { return m_documentInUse; }

    // --- messages ---
    bool WindowMessage(uint32_t msg, uint64_t wparam, int64_t lparam) override;
    // Message 1391: the job dispatch.
    void ComputeRequestHandler(uint64_t wparam, int64_t lparam);

    // --- jobs ---
    // After a word list of tagged texts: when tags are shown but not as the
    // words' prefix, the user is asked whether they should be; yes makes it
    // so for the list, the document and the settings buffer. True when asked.
    bool AskTreatTagsAsPrefix(TCVWordList* words);
    void MakeWordListJob();
    void MakeBatchWordListsJob();
    void MakeDetailedConsistencyJob();
    void MakeIndexJob();
    void ImportPlainTextWordLists();
    // Reads one plain-text word list into fPlainTextList; false (nothing
    // read) when the 0-based columns are below 0 or the same, or when there
    // was not enough memory (told, and *shortOfMemory set).
    bool ImportPlainTextWordList(TCVStatusBar* statusBar, const QString& fileName, uint8_t caseSensitivity,
                                 int wordColumn, int freqColumn, bool* shortOfMemory = nullptr);
    // Makes the document of fPlainTextList and saves it into the folder
    // (a shortage of memory is told, and *shortOfMemory set).
    bool SavePlainTextWordList(TCVStatusBar* statusBar, const QString& folder, const QString& notes,
                               bool* shortOfMemory = nullptr);

    // Opens the index the start-up/open file record names; low byte: success.
    uint16_t OpenIndexDocument();
    // The index of a relationships file: the one its file names, else the
    // ".tokens" file beside it of the same name, else the last index used;
    // empty when none of them exists.
    QString IndexOfRelationships(const QString& relationshipsFile) const;
    // The relationships just read (the document's block) go into the index
    // they come from, opened now; the document is then that index with its
    // relationships, shown on their page. False when the index is not found.
    bool OpenRelationshipsWithTheirIndex(const QString& relationshipsFile);
    // Opens one result of a batch zip (the batch choice window's open event).
    bool OpenBatchResult(TStream& stream, const TCheckSignature& signature, int index);
    // Shows and activates the pages that suit the document's list type.
    bool ShowPagesForListType();

    // The page's place in the pager, its visibility, and making it current.
    bool PageVisible(QWidget* page) const;
    void SetPageVisible(QWidget* page, bool visible);
    void ActivatePage(QWidget* page);

    // --- overrides of the base window ---
    std::unique_ptr<TCorvantisholder> NewDocumentHolder(uint8_t listType) override;
    std::unique_ptr<TCorvantisholder> MakeDocumentHolder(uint8_t listType) override;
    void RefreshDataDisplay() override;
    void PageSetupHook() override;
    bool OpenFile(QWidget* second = nullptr) override;
    void CloseData(bool clearFile) override;
    // The job ends with what it kept, as on Stop.
    bool StopJobForShortage() override;
    // The base's lists, and the relationships of an index, which the index
    // handler holds rather than the document.
    TListTypeSet ListTypesHoldingData() override;
    void HandleStartup() override;
    void BeforeDataChange() override;
    void PrepareOpenDialog(uint8_t listType) override;
    QPlainTextEdit* NotesEditor() override;
    void SettingsChanged(int code) override;
    void CorrigeFormScreenRes() override;
    void RefreshMenuChecks() override;
    void ResetToNoData() override;
    // Sorts the page's list by the clicked column (the frequency page shows
    // the alphabetical page instead).
    void SortGridColumn(TCV_Grid* grid, int column) override;
    bool ChooseFileToOpen() override;
    // The alphabetical page's caption names the word list's current sort.
    void PageHook() override;
    void ShowWizardForChosenTexts(TCVFileDetails* texts) override;
    void HookStatusBarPanelClick() override;
    // An index document is never saved over its index files (its word list
    // goes into a word-list file of its own); a relationships document is
    // saved with its relationships and the name of its index.
    bool SaveGridData(TCV_Grid* grid, const QString& fileName) override;
    bool Save(TCV_Grid* grid) override;
    // The menu commands the window carries out itself (see wordlist_main_commands.cpp).
    bool HandleToolMenuCommand(int tag, QAction* sender) override;
    // The texts of a row's word: from the index (where it occurs), else
    // the texts of the document (a key-word list: its source text); for the
    // pages of texts the row's text.
    QStringList FileNamesOfEntry(TCV_Grid* grid, int entry) override;
    // "Source text": a page of texts shows the row's text; a word list's
    // page the text of the row's word with the word highlighted (with an
    // index, the first text it occurs in).
    void ShowRowSourceFile(TCV_Grid* grid) override;

    // --- event handlers of the pager and the status bar ---
    // Whether the pager may show another page now (not while the data are busy).
    bool AdvOfficePager1Changing();
    // Rows of a grid dragged onto the joined word panels of the status bar
    // are joined under the word the panel shows.
    bool AdvOfficeStatusBar1DragOver(QObject* source, int x) const;
    void AdvOfficeStatusBar1DragDrop(QObject* source);
    // Shows a moving-window plot file; whether the file exists.
    bool OpenMovingWindowPlotFile(const QString& fileName);

    // --- grid handlers (bound into every page grid) ---
    TCVGridHandlersA WordListGridHandlersA();
    TCVGridHandlersB WordListGridHandlersB();
    // Clusters and phrase frames of the open index into the word list.
    void CClusters(TCV_Grid* grid);
    // The window's title: what it shows (a word list, an index, clusters,
    // relationships...), by the file it is saved in, marked "(unsaved)"
    // while it holds changes no file has (or was never saved).
    QString DocumentTitle();
    void SetPageAppropriateCaption() override;
    // One list of a batch zip shown (it has no file of its own) and its title.
    const TCorvantisholder* m_batchDocument = nullptr;
    QString m_batchTitle;
    // After an open that failed: the data kept (if any) show as before.
    void KeepShownAfterFailedOpen();
    // The end of an open that succeeded (the document shown and fitted).
    bool AfterFileOpened();
    void EndOfOpen();
    // The name suggested for a cluster list, beside the index: "<index>_index_<n>-word clusters".
    QString ClusterSuggestedName() const;
    // Called by the cluster run when the settings ask for one list per text.
    void SaveClusterListsPerText();
    // The end of a step the user may stop: a stop asked for is done with (the
    // next step runs), and a step that made all its results all the same
    // (the user answered the question after its last step) says so.
    void EndOfStoppableStep(bool finished);
    // Relationships of the open index (index word-list pages only).
    void CComputeRelationships(TCV_Grid* grid);
    bool ComputeIndexRelationships(TCV_Grid* grid);
    bool ComputeRelationshipsFromIndex(TCV_Grid* grid, const TRelationshipChoice& choice);
    // Asks the concordance tool (through the controller) for the selected rows' words.
    void CComputeConcordance(TCV_Grid* grid);
    void AddConcordanceRequestForRow(TCV_Grid* grid, int row);
    // Double-click on a key-word plot row (entry -1 and below: the overall
    // row): asks the concordance tool for the lines the plot shows, in the
    // text of the list; false when nothing could be asked.
    bool RequestConcordanceOfPlotRow(int entry);
    TTellMarvexList* TellMarvexList() const { return fForMarvexList.get(); }
    void CComputeTimeline(TCV_Grid* grid);
    void CCheckLemmasForConsistency(TCV_Grid* grid);
    void AAutoJoin(TCV_Grid* grid);
    void JJoinClusters(TCV_Grid* grid);
    // Which texts hold the selected words.
    void FFindFiles(TCV_Grid* grid);
    void DDblClickCell(TCV_Grid* grid, int column, int row);
    void EditSetColumnCell(TCV_Grid* grid, int column, int row);
    void SSummaryStats(TCV_Grid* grid);
    void SShowGridColumnData(TCV_Grid* grid);
    void SShowOrHideToolbar(TCV_Grid* grid, bool visible);
    bool IIsToolbarShowing() const;
    void GGetSaveToClipboardChoices(TCV_Grid* grid);
    void RRecomputeTokens(TCV_Grid* grid);

    // --- menu commands ---
    // Key words against the reference list of the key-word settings (the
    // comparison dialog asks), or against the given saved list named as
    // `referenceName` (no dialog).
    void CompareWithReferenceList(const QString& reference = {}, const QString& referenceName = {});
    // "Compare with a .txt file": a plain-text word list (a word, a TAB and
    // its frequency a line) chosen by the user is the reference list.
    void CompareWithTextFile();
    // "Plot" (39) and "Links" (41) of the key words: their dispersion plots
    // in the one text of the study list, and with "Links" the key words that
    // occur near each other, each on its page. True when they were made.
    bool ComputeKeyWordPlots(bool withLinks);
    // Whether "Plot" and "Links" can place the key words: they need key
    // words of a list of one text (a list of many is not offered them).
    bool KeyWordPlotsPossible() const;
    // The key-word document that holds the plots and links (null before they are made).
    T_WholeKeywordsHolder* KeyWordsDocument() const { return m_keyWords.get(); }
    // Sorts the whole list by its sort levels, showing on the status bar how
    // far it is; false when the user stopped it (the list's order is as it was).
    bool SortShowingProgress(TCVBaseDataClass& list);
    // "Other sorts" of the grid's list (96, 97, 98, 99, 126, 127); a word
    // list's frequency page hands over to the alphabetical one.
    void OtherSort(TCV_Grid* grid, int tag);
    // "Row percentages": the consistency page shows each list's frequency as
    // a percentage of the row's total, or the frequencies again.
    void ToggleRowPercentages();
    bool RowPercentagesShown() const { return m_rowPercentages; }
    void CheckForEqualWords();
    void ShowDiceLemmaShower();
    void ChooseMovingWindowPlotFile();
    void MakeMovingWindowPlot();
    void ExportIndexData();

    // --- per-page cell handlers (entry: the list entry the row shows) ---
    void GridTweak_Freq(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_Alph(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_IndexFreq(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_IndexAlph(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_IndexRelations(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_Consistency(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_KWs(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);
    void GridTweak_Filenames(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec);

    // The hint of a page grid's cell cut off by its column: its whole text;
    // the first time on each grid the user is told the data are partly hidden.
    void ShowGridHint(TCV_Grid* grid);

    // --- the typing box ---
    // The box's text changed: finds the typed word in the current page
    // (typing mode), or puts it into the current row's word (editing mode).
    void EditTypingChange();
    // Enter in the box hands the focus to the grid; true when the key was used.
    bool EditTypingKeyDown(int key);
    // The grid row (from 1) that shows a list entry now; 0 when none does.
    static int GridRowOfEntry(const TCV_Grid* grid, int entry);

    // Merges every word list of the batch zip the start-up/open file record
    // names into the current document.
    bool MergeBatchLists();

    // --- published handlers ---
    void TimerWordListingTimer();
    void ToolButtonCloseClick();

signals:
    // The start-up steps (command line, then the report of what it found) are done.
    void StartupFinished();

protected:
    void FormCreate() override;
    void FormShow() override;
    void closeEvent(QCloseEvent* event) override;
    // The pager's tabs (page changes) and the status bar (rows dropped on it).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TPageSetup;
    // Marks the document in use by the engine for its lifetime; the pages
    // cannot be changed meanwhile.
    class TDocumentUse {
    public:
        explicit TDocumentUse(TFormWordList& window);
        ~TDocumentUse();
        TDocumentUse(const TDocumentUse&) = delete;
        TDocumentUse& operator=(const TDocumentUse&) = delete;

    private:
        TFormWordList& m_window;
        bool m_was;
    };
    // Refuses (with a log line) what would take the document from the engine.
    bool RefusedWhileInUse(const char* what) const;
    // The start-up's steps: the command line's settings, then the file it names opened.
    void OpenAtStartup();
    void MakeComponents();
    TCV_Grid* AddGridPage(QWidget*& page, const QString& caption);

    // The document callbacks.
    QPoint GetCentreofMainForm() const;
    void ShowMainListEntryCount(int64_t entries);
    int ReportUnreadText(const QString& fileName);

    // The common opening of a compute job.
    void TakeTextSettings();
    void LoadStopListIfWanted();
    // The previous document set aside, the settings fetched, the stop list
    // loaded when wanted, and a new document of the list type.
    void StartJobDocument(uint8_t listType, bool withStopList);
    // The texts the job could not read, in one message.
    void ReportUnreadTexts();
    void ControllerToForeground();
    void OwnWindowToForeground();
    void ShowDataOrStartScreen();
    void ChosenTextsToController();

    // A job keeps the document shown before it aside, and puts it back when
    // it fails, so a cancelled or failed job loses nothing.
    void SetDataAside();
    void EndJobData(bool succeeded);

    // Runs a job as the one job of the window.
    void RunAsJob(const std::function<void()>& job);
    // The lists a job made count as unsaved until they are saved: the engine
    // clears their change marks when it finishes them, so the window marks
    // them again (the mark saving and reading clear).
    static void KeepUnsaved(std::initializer_list<TCVBaseDataClass*> lists);
    // The change mark of a list a job made and nobody saved yet.
    static constexpr uint16_t kMarkMadeNotSaved = 1u << 8;
    // Before a command replaces results that were never saved: asks (as the
    // settings say) whether to save them; false when the user keeps them.
    bool MayReplaceUnsaved(uint8_t listType);

    // The command helpers.
    bool IsIndexDocument() const;
    // The request list for the concordance tool, made or emptied.
    void PrepareTellMarvexList();
    // Writes the request list (when it asks anything) for the concordance
    // tool and asks the controller to pass it on, with these text settings.
    void SendConcordanceRequest(const TTextSettings& settings);
    // The window takes the size stored with the document, within its screen.
    bool RestoreClientSizeFromHolder();
    // The cell handler of a page, bound to its grid.
    using TGridTweak = void (TFormWordList::*)(TCV_Grid*, int, int, TDrawgridDataRec&);
    void BindCellHandler(TCV_Grid* grid, TGridTweak tweak);
    void InstallTypingBox();
    void InstallStatusBarDrops();
    // Puts the typed text into the word of the current row when the current
    // column is the list's word column; the word it replaced comes back.
    bool TypeIntoCell(TCV_Grid* grid, TCVBaseDataClass& list, const QString& text, QString& oldText);

    QStringList m_commandLine;
    TFixedJobChoices m_ownChoices;
    TWordListJobChoices* m_jobChoices = nullptr;
    TFixedCommandChoices m_ownCommandChoices;
    TWordListCommandChoices* m_commandChoices = nullptr;
    std::unique_ptr<TTellMarvexList> fForMarvexList;
    // Whether each text of the file-name page is on disk (asked once per document).
    QHash<QString, bool> m_textPresent;
    // The last edit of the typing box (list, entry, text), so that only the
    // word a row had before its editing began goes into the box's list.
    const TCVBaseDataClass* m_typedList = nullptr;
    int m_typedEntry = -1;
    QString m_typedText;
    std::unique_ptr<TCorvantisholder> m_previousData;
    // The plots and links of the key words of the document shown (they go with it).
    // The statistics page keeps its file names in view, the plot column of
    // the key-word plot page draws its plots, and the menus offer plots only
    // where they can be made.
    void SetUpGridDrawing();
    std::unique_ptr<T_WholeKeywordsHolder> m_keyWords;
    bool m_jobRunning = false;
    bool m_documentInUse = false;
    bool m_closeAfterJob = false;
    bool m_startupInstalled = false;
    bool m_rowPercentages = false;
};

} // namespace cv
