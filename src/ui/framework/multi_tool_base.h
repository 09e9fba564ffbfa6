#pragma once
// Free procedures the tool windows carry out most of their commands with:
// setting the window up and placing it, telling this tool's files from
// others, the open and save dialogs, the caption and the recent-file entry,
// saving a document and noting what was opened or saved, saving and
// printing the source text, and the menu commands every tool shares
// (HandleCommonMenuCommand). They work on the objects handed to them and keep
// no state but the module record (BaseDataSet) and the two flags below.
//
// The list-editing commands (joining, deleting, marking, ...) live in
// list_editing.h.

#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "model/holder_parts.h"
#include "suite/settings_records.h"
#include "suite/window_handle.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QWidget;

namespace cv {

class TCorvantisholder;
class TCVBaseDataClass;
class TCVFileDialog;
class TCVStatusBar;
class TMainToolsForm;

// A tag and the tool button that carries it (as customise_menu.h has it).
using TToolButtonTable = std::vector<std::pair<int, QPointer<QToolButton>>>;

// ---------------------------------------------------------------------------
// The module record and flags

struct BaseDataSetType {
    uint8_t list = 25;    // the list type the open dialog was last set for (25: none)
    bool hasdata = false; // and whether there were data then
    QString def_folder;
};
// The process's record; ResetBaseDataSet clears it (list 25: no list).
BaseDataSetType& BaseDataSet();
void ResetBaseDataSet();

// Set when the window is destroyed and by the "Close" command before its
// handler runs; cleared when data are shown. While set, activating the
// window does nothing.
extern bool ToolClosing;
// LanguageChangeDone (the controller's acknowledgement) is declared in controller_commands.h.

// Help context of each tool's main page, by tool number 0 to 17.
int MainPageHelpContext(uint8_t tool);

// ---------------------------------------------------------------------------
// Window set-up and state

// The window's link to the suite, made while the window is created: the
// crash reports go into the user's read/write folder, logging follows the
// settings buffer, the window is registered as this tool's main window, and
// the menus take the stored shortcuts.
void SetUpToolWindowLink(TWindowHandle window);
// The status bar calls `panelClick` for its panels, shows the progress
// reporter's output, and gets its standard panels; returns the joined word
// panels' positions (TCVStatusBar::InitStatusBar).
Tdouble_smallint_type HookStatusBarToProgress(TCVStatusBar& statusBar, std::function<void(int panel)> panelClick);

// Where a tool's main window goes: three quarters of the screen, moved a
// caption height per tool number and a little per tool open so that windows
// of several tools do not cover each other; never smaller than 640 by 460
// (scaled for the screen's DPI). `desktop` is the whole screen, `monitor1`
// the first monitor (used when there are several and defaultMonitor > 0).
struct TMainFormPlacementInput {
    QRect desktop;
    QRect monitor1;
    int monitorCount = 1;
    int defaultMonitor = 0;
    int captionHeight = 23;
    int toolsOpen = 0;
    uint8_t tool = 0;
    double screenDpi = 96;
};
QRect MainFormPlacement(const TMainFormPlacementInput& in);
void PlaceMainFormOnMonitor(QWidget& form);

// The window became active: unless the tool is closing, the page grids take
// the current style's colours and `callback` (when given) is called with -1.
void ActivateMainForm(QWidget* menu, const std::function<void(int)>& callback);
// Sets ToolClosing and logs the closing with the tool's name.
void NoteToolClosing();
// Pumps messages until the controller names its main tool window, at most waitMs.
void WaitForControllerMainToolWindow(int waitMs = 15000);
// Before a computation (hourglass cursor; the controller shows the progress)
// and after it (default cursor, this window in front, progress hidden).
void ControllerToForeground();
void OwnWindowToForeground(QWidget* window);

// The controls the data or start screen switches between.
struct TDataScreenControls {
    QWidget* window = nullptr;      // parent of message dialogs
    QTabWidget* pager = nullptr;    // the result pages
    QWidget* startPanel = nullptr;  // shown without data
    QWidget* toolLabel = nullptr;   // a QLabel: the tool's name
    QWidget* versionLabel = nullptr;// a QLabel: the version
    QWidget* toolbar = nullptr;
    TCVStatusBar* statusBar = nullptr;
    QMenu* pagerPopup = nullptr;      // the pager's right-click menu without data
    QMenu* notesPopup = nullptr;      // of the notes page (26)
    QMenu* sourceTextPopup = nullptr; // of the source-text page (27)
    QMenu* helpPopup = nullptr;       // of any other page (context help)
};
void ShowDataOrStartScreen(bool hasData, const TDataScreenControls& controls);
void HideDataControls(QWidget* panel, QWidget* grid, QWidget* other, TCVStatusBar* statusBar);
// Notes the has-data state in the page list and begins an update of the active page's grid.
void SetUpPage(QTabWidget* pager, bool hasData);
// Shows the "Join rows" buttons (TMenuCommand::JoinRows) exactly for lemmatisable list types.
void ShowLemmaButtons(const TToolButtonTable& buttons, uint8_t listType);
// After the controller reported changed settings: the current grid takes
// the ruler, plot and word-cloud colours and the search-word padding.
void ApplyStyleToCurrentGrid();

// The language dialog: shows the names with the current one selected;
// returns the index chosen (std::nullopt when cancelled). It tells the
// controller (code 1230 with the index) itself.
using TLanguageDialog = std::function<std::optional<int>(const QStringList& names, const QString& current)>;
// The language dialog (the language list's names); when confirmed, waits at
// most waitMs for the controller's acknowledgement and returns true, with
// the index chosen in the language list (when asked for).
bool ChangeLanguageDialog(const QString& currentLanguage, const TLanguageDialog& dialog, int waitMs = 5000,
                          int* chosenIndex = nullptr);

// ---------------------------------------------------------------------------
// Files, captions, dialogs

// The tool that wrote a file of the suite (its signature), with the file's
// list type; 0xFF for a file that is not one of the suite's current files.
uint8_t WhichToolsCorvantis32BitFile(const QString& fileName, uint8_t* listType = nullptr);
// Whether a file is one of this suite's results for the tool (or a batch zip
// of them); fills the record's list type and, for a batch zip, its count. Quiet.
bool FileSuitsTool(TCVStored_File_rec& rec, uint8_t tool);
bool FileIsForTool(const QString& fileName, uint8_t tool);
// The same test with messages: a refused file is reported and the record
// cleared. Tool 5 takes "*.??_srt" and ".txt" files as plain-text word lists
// (list type 22); an accepted file of tool 0 takes its list type from its extension.
bool CheckFileForTool(TCVStored_File_rec& rec, uint8_t tool);

// The recent-file item: its caption (without access-key markers) names the
// file; an existing file that CheckFileForTool accepts goes into the
// start-up/open file record and `open` is called. True when it was called.
bool OpenRecentFile(QAction* item, const std::function<bool()>& open);
// The item's caption becomes the tool's last file, when the settings buffer holds one.
void RecentFileMenuCaption(QAction* item);
// A file name as a menu shows it: "\n" would read as a line break, so it is "\N".
QString RecentFileCaptionText(const QString& fileName);

// Runs a save dialog for the tool's files; true (with the name) when the user
// chose one (and agreed to overwrite an existing file). The chosen folder
// becomes the default folder.
bool AskSaveFileName(TCVFileDialog& dialog, uint8_t tool, QString& fileName);
// The first list type of the tool that saves files of its own (its files' extension).
uint8_t DefaultListTypeOfTool(uint8_t tool);
// Writes the lines into the file (UTF-16); asks for a name first when the
// name does not denote an existing file. False when cancelled or not written
// (then FailedToSave has said so).
bool SaveStringsAskingName(QString& fileName, const QStringList& strings);
// Filter, folder and default extension of the open dialog for a list type
// (the tool's default type when the list type has no files of its own); not
// set again while the list type and has-data state are those of the last
// call. True when it was set.
bool PrepareOpenDialog(TCVFileDialog& dialog, uint8_t listType, bool hasData);
// A file-name control's dialog: the tool's files, the last opened folder,
// the tool's default extension.
void SetFileNameEditDefaults(TCVFileDialog& dialog, uint8_t tool);

// The caption for a text: the text as it stands when it is not the
// document's file name, else the file's name without folder (an index:
// "Index: <name without extension>").
QString CaptionFromFile(const TCorvantisholder* document, const QString& text);
void SetCaptionFromFile(TMainToolsForm& form, const TCorvantisholder* document, const QString& text, bool withFile);
// Caption from the document's file, then the window's client size stored in
// the document, within maxHeight and maxWidth. True when a size was stored.
bool RestoreClientSizeFromHolder(TMainToolsForm& form, const TCorvantisholder& document, int maxHeight, int maxWidth);

// After a save or an open: the user is told, the caption, the settings
// buffer's last files and the controller (615) follow.
void NoteFileSaved(TMainToolsForm& form, TCorvantisholder* document, bool ok);
// failureTold: what failed was told already (the document's reader names
// the file and why): no second message then.
void NoteFileOpened(TMainToolsForm& form, TCorvantisholder* document, QPlainTextEdit* notes, bool ok,
                    bool failureTold = false);
// Saves the document under the name with the notes and the window's size;
// `second` (when given and the tool is not 5) takes the name too.
bool SaveDocument(TMainToolsForm& form, TCVStored_File_rec* second, QPlainTextEdit* notes, const QString& fileName,
                  TCorvantisholder& document);

// The search-and-replace dialog for text names: search, replacement and
// whether case matters; std::nullopt when cancelled.
struct TFileNameReplacement {
    QString search;
    QString replacement;
    bool caseSensitive = false;
};
using TFileNameReplaceDialog = std::function<std::optional<TFileNameReplacement>()>;
// Replaces in the names of the document's texts; when one changed, `result`
// takes the two texts, `refresh` is called and the document may be saved
// again under its name. True when a name changed.
bool RenameTextFilesInDocument(TMainToolsForm& form, TCorvantisholder* document, const TFileNameReplaceDialog& dialog,
                               std::pair<QString, QString>& result, const std::function<void()>& refresh = {});

// Writes the text as UTF-16 (with its byte-order mark) through a temporary
// file; false with "Cannot write file "<name>": <reason>" in error.
bool WriteUtf16File(const QString& fileName, const QString& text, QString* error = nullptr);
// HTML and XML files in the browser when the user wants, others in the editor.
void OpenFileInBrowserOrEditor(QWidget* window, const QString& fileName);
// "head -> form1, form2" for each entry with forms joined under it.
QStringList LemmaLinesOfList(const TCVBaseDataClass& list);
// The lemma lines into a file the user names (UTF-16), then shown. True when written.
bool SaveLemmasAsLemmaList(const TCVBaseDataClass& list);
// The source text into a file the user names: rich text for ".rtf" names
// (HTML, the rich form of the text pane), else plain text; UTF-16.
bool SaveSourceText(QTextEdit* richEdit, const QString& fileName);
// Prints the source text (through the preview).
bool PrintSourceText(QWidget* window, QTextEdit* richEdit);
// Prints text in the text settings' font (at least 8 points), through the
// preview when wanted, else the print dialog. True when printed.
bool PrintStringsWithPreview(QWidget* window, const QString& text, bool isRich, bool withPreview);

// ---------------------------------------------------------------------------
// The shared menu commands

struct TCommonMenuContext {
    TMainToolsForm* window = nullptr;
    QTabWidget* pager = nullptr;
    TCorvantisholder* document = nullptr;
    QWidget* toolbar = nullptr;
    TCVStatusBar* statusBar = nullptr;
    std::function<void()> close; // the "Close" command's handler
    std::function<void()> open;  // the "Open..." command's handler
    // The file a text page's lines were last saved to ("Plain Text" on a text page).
    QString* textFileName = nullptr;
};
// True when the tag was carried out here; false leaves it to the window.
bool HandleCommonMenuCommand(const TCommonMenuContext& context, int tag);
// The code posted to the controller for a settings command (the Settings
// menu's windows of the controller), 0 for other tags.
uint16_t SettingsCommandCode(int tag);

} // namespace cv
