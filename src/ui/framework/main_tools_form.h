#pragma once
// The main window every tool of the suite derives from. It is never shown by
// itself: the tool's own window derives from it, builds its pages and
// overrides the virtual operations below, which the framework always calls
// through the object.
//
// What the base window owns: the tabbed pager of result pages (registered in
// the page list, tool_pages.h), the status bar (also the progress display),
// the source-text pane, the right-click menus, the autosave timer, the open
// and save dialogs, the chosen texts, the tag handlers of the current tool,
// the parsed command line, and the one result document fData of the window.
// It registers itself with the controller through the settings buffer and
// receives the suite's window messages as Qt events.
//
// Order expected of the tool's window when it is made: the base constructor,
// then in its own constructor: FormCreate (which calls the base FormCreate
// first), SetSourceText, SetTypeModeCombo, BuildToolWindowPages of the page
// list with the window's pager, the grid handler bindings (grid_binding.h:
// C, A, B and the window's operations, starting from BaseGridHandlersA() and
// its neighbours), then SetUpForTool.
//
// When the program has made the data module (tool_data_module.h) before the
// window, the window shows the module's menus, fits them to the list type of
// the current page and hands every menu command to HandleMenuItemClick.
//
// Menu commands: HandleMenuItemClick stores a checkable item's state, then
// offers the command to HandleCommonMenuCommand, HandleDisplayMenuCommand
// (tags above 0), HandleToolMenuCommand (the tool's own table) and the help
// commands; a command none of them takes goes to the current page grid as
// message 6024 with WParam 5000 + tag. A tool window overrides
// HandleToolMenuCommand (or HandleMenuItemClick as a whole).

#include <QComboBox>
#include <QMainWindow>
#include <QTabWidget>
#include <QTextEdit>
#include <array>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

#include "gui/file_dialogs.h"
#include "model/holder_parts.h"
#include "suite/dialogs.h"
#include "suite/settings_records.h"
#include "suite/window_handle.h"
#include "ui/framework/multi_tool_base.h"
#include "ui/framework/tool_pages.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace cv {

class TCorvantisholder;
class TFailureToldWatch;
class TCVFileDetails;
class TCVStatusBar;
class TCV_Base_Grid;
class TMessageWindow;
class TTagsToTranslateList;
class TTextTagHandler;

// The file the window opens next: filled by every open path (dialog, drop,
// recent file, command line, controller), then OpenFile opens what it names.
// List type 25 means "no list".
TCVStored_File_rec& StartupOpenFileRec();

// The parsed command line.
struct TCVParamsFound {
    QString formatted_params; // every parameter but the log and option switches, joined by spaces
    QString logfilename;
    uint16_t parms_found = 0;
    uint8_t tool_wanted = 17;
};

// A set of list types (bit t: list type t holds data).
using TListTypeSet = uint64_t;

// Settings of a window's creation that the program decides, not the window.
struct TMainToolsFormOptions {
    // Make sure the controller runs (it is started when absent). Off for a
    // window that runs on its own settings (tests, a tool without the suite).
    bool startController = true;
    // How long the window waits, when shown, for the controller to name its window.
    int controllerWaitMs = 15000;
};

class TMainToolsForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainToolsForm(QWidget* parent = nullptr, const TMainToolsFormOptions& options = {});
    ~TMainToolsForm() override;

    // --- virtual operations, in their order ---
    virtual void AppActivate();
    virtual void CorrigeFormScreenRes();
    virtual void MudancaDeEstilo(QObject* sender);
    virtual QString TheIniName() const;
    virtual QWidget* GetChildForm();
    virtual void AdvOfficeStatusBar1PanelClick(int panel);
    virtual TDialogAnswer AskToSaveIfWanted();
    // saveFailed (optional) tells whether a Yes led to a save that failed.
    virtual TDialogAnswer AskToSave(bool* saveFailed = nullptr);
    virtual void HandleMenuItemClick(QAction* sender);
    virtual bool CloseQueryChecks();
    virtual void RefreshDataDisplay() {}
    virtual void RefreshMenuChecks();
    virtual void ReloadTagLists();
    virtual bool Open();
    virtual std::unique_ptr<TCorvantisholder> NewDocumentHolder(uint8_t listType);
    virtual std::unique_ptr<TCorvantisholder> MakeDocumentHolder(uint8_t listType);
    virtual TListTypeSet ListTypesHoldingData();
    virtual void ResetToNoData();
    virtual void SortGridColumn(TCV_Grid* grid, int column) {}
    virtual void PageShown() {}
    virtual void ComputeColumnTotals(TCV_Grid* grid);
    virtual void RelativeEntropy(TCV_Grid* grid);
    virtual void EmptyOperation() {}
    virtual void StringCopy(const QString& source, QString& target) { target = source; }
    virtual bool MergeWith(TCV_Grid* grid);
    virtual bool ChooseFileToOpen();
    // Opens what StartupOpenFileRec() names; the second argument is the tool's.
    virtual bool OpenFile(QWidget* second = nullptr);
    // The same, when the user asked for the file (a recent file, a drop, the
    // controller): unsaved data are asked about first, and kept on Cancel.
    bool OpenFileInPlaceOfData();
    // The question about unsaved data before they may go (as the settings
    // say), with nothing changed yet: false when the user keeps them.
    bool UnsavedDataMayGo();
    virtual bool SaveAsExport(TCV_Grid* grid, int exportKind);
    virtual bool Save(TCV_Grid* grid);
    virtual bool SaveGridData(TCV_Grid* grid, const QString& fileName);
    virtual void ShowRowSourceFile(TCV_Grid* grid);
    virtual void ReplaceSourceFileNames(TCV_Grid* grid);
    virtual bool ReturnsFalse() { return false; }
    virtual void CloseData(bool clearFile);
    virtual void HandleStartup();
    virtual void InstallStartupHandler();
    virtual void PageHook() {}
    virtual QPlainTextEdit* NotesEditor() { return nullptr; }
    virtual bool HasData() const;
    virtual bool GridMayBeWorkedOn(QObject* grid) const;
    virtual void ShowHook(bool show) {}
    virtual void BeforeDataChange() {}
    virtual void PrepareOpenDialog(uint8_t listType);
    virtual void ShowWizardForChosenTexts(TCVFileDetails* texts) {}
    virtual void PageSetupHook() {}
    virtual void HookStatusBarPanelClick();
    virtual void SetUpCurrentPage(QTabWidget* pager);
    virtual void EmptyRecordHook(const std::array<uint8_t, 16>& record) {}
    virtual void SettingsChanged(int code);

    // --- window messages (the controller's commands, help requests, dropped files) ---
    // Every message posted to the window arrives here; the base hands 1025,
    // 1168 and 563 to the three handlers below and answers 1253 and 1977.
    // True when it was handled.
    virtual bool WindowMessage(uint32_t msg, uint64_t wparam, int64_t lparam);
    // The controller's command: the framework's part (DecodeControllerCommand),
    // then 233 SettingsChanged, 613 opens the file the settings buffer names,
    // 703 style change, 1241 re-reads the chosen texts (and shows the wizard);
    // 1350 and 6122 end the program (TerminateApplication).
    virtual void WMControllerCommand(uint64_t wparam, int64_t lparam);
    // Message 1168: help for the context in WParam.
    virtual void WMHelpRequest(uint64_t wparam, int64_t lparam);
    // Message 563: WParam is the drop (drop_files.h); the first file is opened when it is this tool's.
    virtual void WMDropFiles(uint64_t wparam, int64_t lparam);
    TWindowHandle WindowHandle() const;

    // --- public operations ---
    bool LastActionNotIdle();
    // The title of what the window shows (the page's list type and the file).
    virtual void SetPageAppropriateCaption();
    void SetTypeModeCombo(QComboBox* combo) { TypeModeCombo = combo; }
    void SetSourceText(QTextEdit* pane) { SourceTextRichEdit = pane; }
    void SetUpForTool(uint8_t tool, uint8_t listType);
    // Lays the typing tool bar's controls out for the screen (control_helpers.h).
    void ArrangeToolbarButtons(QWidget* panel);
    void GoToGridRow(int row);
    void ChangeTypingMode(TCV_Grid* grid, int mode);
    void HideTypingToolbar();
    void NoteFileOpened(bool ok);
    void NoteFileSaved(bool ok);
    void NewWithChosenTexts();
    void ApplyStyleColours();
    // Sets the caption (the tool's name when empty) and tells the controller
    // whether a file is shown (4601) or not (4600); the caption is also the application's title.
    void SetToolCaption(const QString& caption);
    // The stop command (controller_commands.h AskToStop).
    void AskToStop();
    // Re-reads the chosen texts the controller handed over.
    void ReReadChosenTexts();
    bool ChooseSaveFileName(TCV_Grid* grid);
    void PageChanged();
    TCorvantisholder* Data() const { return fData.get(); }
    // The answers to a step that ran out of memory (ui/framework/memory_shortage_guard.h).
    // What the step left busy is undone, the data shown go (their memory goes
    // back with them: a step cut off half way may have left them half shown)
    // and the window says there was not enough memory.
    void DropDataForShortage();
    // A job that works on the data while an event inside it ran out of
    // memory is stopped as on Stop, and the window says why: true. False
    // when no job works (the base).
    virtual bool StopJobForShortage() { return false; }
    // The menu sets of the list types (the data module's); unset shows every item.
    void SetMenuSetProvider(TMenuSetProvider provider) { fMenuSetProvider = std::move(provider); }

    // --- menu commands ---
    // The shared commands of the tools (multi_tool_base.h); true when the tag
    // was carried out. "Open..." and "Close" go to the tool's own command
    // handler first, then to Open and ResetToNoData.
    virtual bool HandleCommonMenuCommand(int tag, QAction* sender);
    // Number display (NumbersPercent to NumbersDefault), UnmarkAll, UnmatchAll,
    // the active column, Copy and NewColumn on the grid.
    virtual bool HandleDisplayMenuCommand(int tag, TCV_Grid* grid);
    // The tool's own commands; true when the tag was carried out. The base takes none.
    virtual bool HandleToolMenuCommand(int tag, QAction* sender) { return false; }
    // Help (the main page's context) and ContextHelp.
    bool HandleHelpMenuCommand(int tag);
    // Posts a command to the current page grid as message kMsgGridCommand
    // (WParam kGridCommandBase + tag); false without a grid.
    bool PostMenuTagToCurrentGrid(int tag);
    // Menu commands that reached no handler: none of the window's took them
    // and there was no page grid, or the grid had no handler for them.
    int UnhandledMenuCommands() const;
    // Stores the checked state of a checkable item (with its radio group) in the settings buffer.
    static void StoreMenuItemCheckState(QAction* item);

    // --- the window's handlers for the page grids (bound to this window) ---
    TCVGridHandlersA BaseGridHandlersA();
    TCVGridHandlersB BaseGridHandlersB();
    TCVGridHandlersC BaseGridHandlersC();
    TCVGridWindowOperations GridWindowOperations();
    // Group A handlers of the base window.
    // The list's language through the language dialog (the controller
    // stores it and acknowledges); the grid sorts by it, the document notes it.
    void ChangeGridLanguage(TCV_Grid* grid);
    // The grid shows the row of its current item (the entry found last).
    void GoToCurrentItem(TCV_Grid* grid);
    // A heading of the grid was changed: the list takes it, and the grid shows it.
    void ColumnHeadingChanged(TCV_Grid* grid, int column);
    // "Refresh": the grid counts the list's rows again and redraws.
    void RefreshGrid(TCV_Grid* grid);
    // Group B handlers of the base window.
    // A text typed to find a word: the entry it finds (or where it would
    // stand) becomes the grid's current item, which the grid then shows.
    void ParseStringAdded(TCV_Grid* grid, const QString& text);
    // "Filenames": the texts of the current row (or of every row) in a text file shown to the user.
    void ShowRowFileNames(TCV_Grid* grid);
    // The texts an entry of the grid's list occurs in (entry -1: every
    // entry's), full names; the tool says, the base knows none.
    virtual QStringList FileNamesOfEntry(TCV_Grid* grid, int entry) { return {}; }
    // "Copy": the selected rows to the clipboard as the clipboard settings
    // say; with chooseFormat the format dialog is shown first. The number of rows copied.
    int CopyToClipboard(TCV_Grid* grid, bool chooseFormat);
    void SortByColumn(TCV_Grid* grid, int column);
    void UndoEdit(TCV_Grid* grid);
    void RedoEdit(TCV_Grid* grid);
    void ZapMarked(TCV_Grid* grid);

    // --- published handlers ---
    void TimerAutoSavingTimer();
    void Lastfile1Click();
    void Lastfile1Click(QAction* item);
    void PopupSourceTextSaveClick();
    void PopupSourceTextCopyClick();
    void PopupMenuSourceTextRefreshClick();

    // --- components ---
    QMenu* AdvPopupMenuNotes;
    QTimer* TimerAutoSaving;
    int TimerAutoSavingTag = 0; // the autosave minutes of the settings
    TCVStatusBar* AdvOfficeStatusBar1;
    QMenu* PopupMenuStatusBar;
    QMenu* PopupMenuLastFile;
    QMenu* PopupMenuForGrids;
    QMenu* PopupMenuSourceText;
    QAction* PopupSourceTextSave;
    QAction* PopupSourceTextCopy;
    QAction* Refresh1;
    TCVFileDialog ForceViewSaveFileDialog1{TCVFileDialog::TKind::Save};
    TCVFileDialog ForceViewOpenFileDialog1{TCVFileDialog::TKind::Open};
    QAction* Copy1;
    QAction* Paste1;
    QAction* Cut1;

    // --- fields ---
    QPointer<QComboBox> TypeModeCombo;
    QPointer<QTabWidget> MyOfficePager;
    QPointer<QWidget> ToolbarButtons;
    TCVParamsFound parms;
    std::unique_ptr<TTextTagHandler> fTagHandler;
    std::unique_ptr<TTagsToTranslateList> fTagsToTranslateList;
    std::unique_ptr<TCorvantisholder> fData;
    QString LastSourceTextFile;
    QPointer<QTextEdit> SourceTextRichEdit;
    std::unique_ptr<TCVFileDetails> ChosenTexts;
    bool InMouseMove = false;
    int32_t TextFiles_convertedtoUnicode = 0;
    Tdouble_smallint_type panel_joined_positions;
    QStringList BatchSavednames;
    bool terminating_app = false;
    bool BusySavingAs = false;
    // Where "Plain Text" last saved the lines of a text page.
    QString TextPageFileName;

protected:
    // The form events: the tool's window calls FormCreate from its
    // constructor (the base part first); the others follow Qt's events.
    virtual void FormCreate();
    virtual void FormShow();
    virtual void FormActivate() {}

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Files dragged from the desktop: the drop becomes message 563 to the window.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Ends the program (the controller's 1350 and 6122): the window is
    // closed, which asks about unsaved data when the settings say so; when
    // it closed, the application quits.
    virtual void TerminateApplication();

    // The document's own file name (empty without a document).
    QString DocumentFileName() const;
    // Detaches every page grid from its list, before the lists go.
    void DetachGridsFromLists();
    // Whether the page register holds this window's pages.
    bool OwnsPages() const;
    bool Destroying() const { return m_destroying; }
    // Watches the messages of an open from its start (the tool's OpenFile
    // sets it while it runs): a failure the document told already is not
    // told again by NoteFileOpened.
    TFailureToldWatch* m_openFailures = nullptr;

private:
    void FillRecentFileMenu();
    void UseDataModuleMenus();
    void FillGridPopup();
    // An edit of the grid's rows; when it did something the page is set up again.
    void EditRows(TCV_Grid* grid, const std::function<bool(TCVBaseDataClass&)>& edit);

    TMainToolsFormOptions m_options;
    std::unique_ptr<TMessageWindow> m_messageWindow;
    TMenuSetProvider fMenuSetProvider;
    int m_commandsWithoutGrid = 0;
    // The basis of the relative entropy last chosen (below 2: none yet).
    int64_t m_relativeEntropyBasis = 0;
    bool m_shown = false;
    bool m_destroying = false;
};

} // namespace cv
