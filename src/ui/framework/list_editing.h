#pragma once
// The commands that change or inspect the result list shown in a grid:
// joining word forms under a head word, deleting and restoring rows,
// reducing a list, marking, matching against the match list, lemma
// matching, set (category) columns, typing into the list, frozen rows,
// computed columns, the three-way sort, the lemma shower, status-bar
// messages, reading a row aloud and the word cloud of a list.
//
// Grid rows are counted as the grids count them (row 0 the headings, data
// from 1) and reach their list entries through the grid's view order.
// Every change is undoable, and before it the list's undo handler is set to
// the data module's, so that the "Undo" and "Redo" items follow the list.
//
// What needs the user (a value, a category with its colour, three sort
// columns, the lemma shower) goes through TListEditingDialogs, installed by
// the program (the word-list tool's dialogs); without one, commands that
// must ask do nothing. The word-cloud window and the speech voice are
// reached through two more seams the program installs (SetWordCloudOpener,
// SetRowSpeaker).

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "suite/menu_commands.h"
#include "ui/framework/multi_tool_base.h"

class QObject;

namespace cv {

class TCVBaseDataClass;
class TCVBaseListObject;
class TCVStatusBar;
class TCV_Grid;
class TMainToolsForm;
struct TCVGridHandlersA;
struct TCVGridHandlersB;

// The busy cursor for the length of a scope.
class THourglass {
public:
    THourglass();
    ~THourglass();
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
};

// Up to three sort columns (-1 unused) with their directions.
struct TThreeWaySortChoice {
    std::array<int, 3> columns{-1, -1, -1};
    std::array<bool, 3> ascending{true, true, true};
};

// What the editing commands ask of the user.
class TListEditingDialogs {
public:
    virtual ~TListEditingDialogs() = default;
    // The general input dialog: a topic (its title, may be empty), a prompt
    // and a value (in and out); true on OK.
    virtual bool InputValue(const QString& topic, const QString& prompt, QString& value, int helpContext) = 0;
    // The set-column edit dialog with a category (in and out); on OK,
    // colourChanged tells whether the user gave it a colour (0xAARRGGBB).
    virtual bool EditSetColumn(QString& category, uint32_t& colour, bool& colourChanged) = 0;
    // The three-way sort dialog on a list: levels 0 .. maxLevel offered, the
    // first preselected with the pressed column. True on OK.
    virtual bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int maxLevel, int helpContext,
                              TThreeWaySortChoice& choice) = 0;
    // The read-only window of lines (TAB between the two columns) under headings.
    virtual void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows) = 0;
    // The search-and-replace dialog for the names of a document's texts;
    // std::nullopt when cancelled (or when no such dialog is installed).
    virtual std::optional<TFileNameReplacement> ChooseFileNameReplacement() { return std::nullopt; }
    // The language dialog: the names (the language list's) with the current
    // one shown; the dialog tells the controller the choice itself. The index
    // chosen; std::nullopt when cancelled (or when no such dialog is installed).
    virtual std::optional<int> ChooseLanguage(const QStringList& names, const QString& current) { return std::nullopt; }
};

// The dialogs installed (process-wide, like the message dialogs); null when none.
TListEditingDialogs* CurrentListEditingDialogs();
// Installs dialogs (null: none); returns the ones installed before.
TListEditingDialogs* SetListEditingDialogs(TListEditingDialogs* dialogs);

// The word cloud of a list, as the word-cloud window is asked to show it.
struct TWordCloudOfListRequest {
    TCVBaseDataClass* list = nullptr;
    uint8_t listType = 0;
    // The data-column choice is to be confirmed first.
    bool withOptions = false;
    // The list hands its words unsorted: the cloud sorts and ranges them itself.
    bool needsSorting = true;
    QString fileName;
    QString caption; // CVListTypeCloudFromFile with the list type's name and the file name
};
// Shows the cloud; false when it was not shown (options cancelled, nothing to show).
using TWordCloudOpener = std::function<bool(const TWordCloudOfListRequest& request)>;
// Installs the word-cloud window's opener; returns the one before.
TWordCloudOpener SetWordCloudOpener(TWordCloudOpener opener);

// Reads a line aloud.
using TRowSpeaker = std::function<void(const QString& line)>;
TRowSpeaker SetRowSpeaker(TRowSpeaker speaker);
class TSpeaker;
// The row speaker of a voice (not owned): each line goes to it in the
// language of the text settings; when the voice cannot speak the user is
// told why, once.
TRowSpeaker RowSpeakerOf(TSpeaker& speaker);

// ---------------------------------------------------------------------------
// Rows

// The list entry of a grid row; null when the row shows none.
TCVBaseListObject* EntryOfRow(const TCV_Grid* grid, int row);
// The join target of a grid: the row current before the present one (0 none).
// TrackJoinTarget makes the grid remember it as its current row moves.
void TrackJoinTarget(TCV_Grid* grid);
int JoinTargetRow(const TCV_Grid* grid);
void SetJoinTargetRow(TCV_Grid* grid, int row);

// Joins (join) the selected rows under a head word, or unjoins the forms of
// the selected rows (all: every form of the list). Head: with fewer than two
// marked entries the entry of `row`, joined with the join target when one
// row is selected, else the selected rows under the first; with marked
// entries, the marked ones under the first mark. Lemmatisable lists only;
// true when the list changed.
bool JoinOrUnjoinSelectedRows(TCV_Grid* grid, int row, bool join, bool all);
// Marks the selected rows deleted (or restores them); one selected row
// that is not the last moves the grid on to the next row.
bool DeleteSelectedRows(TCV_Grid* grid, bool deleted);
// Every row from fromRow to the end deleted or restored, with the
// percentage on the status bar (may be null).
bool DeleteOrRestoreToEnd(TCV_Grid* grid, TCVStatusBar* statusBar, int fromRow, bool deleted);
// After the user agrees, every entry's deleted state is turned round.
bool ReverseDeletion(TCV_Grid* grid, TCVStatusBar* statusBar);
// Asks how many of `count` entries to keep: a whole number 1 <= n < count
// that the user confirms; false for anything else.
bool AskReduceToN(int count, int& n);
// Keeps the first n rows as the grid shows them; the others are removed (undoably).
bool ReduceList(TCV_Grid* grid);
// Marks a row (1 for the first mark of the list, 2 for later ones) or,
// with mark false, clears every mark of the list.
bool MarkRow(TCV_Grid* grid, int row, bool mark);
// Asks how many top rows stay in view (1 to 4); true when the grid took the
// number. Those rows then show, with the headings, in a view of their own
// above the grid's table, which scrolls the other rows beneath them.
bool FreezeTopRows(TCV_Grid* grid);

// Column totals of the grid's list: switched off when they show already;
// otherwise the user is asked whether to compute them (yes: computed and
// shown after the entries; no: off). The grid follows; true when they show.
bool ColumnTotals(TCV_Grid* grid);
int FrozenTopRows(const TCV_Grid* grid);

// ---------------------------------------------------------------------------
// Matches and lemmas

// Loads the lemma list when it is not loaded; false (with a message, and
// the controller asked to set one up) when there is none.
bool LemmaListReady();
// Whether the match list is loaded and wanted (or can be loaded); shows the
// match menu items accordingly; false (with a message) when there is none.
bool MatchListReady();
// Joins the forms of the lemma list under their head words in the grid's list.
bool ComputeLemmaMatches(TCV_Grid* grid);
// A match command by menu tag (TMenuCommand::MarkMatches, DeleteAllMatched,
// DeleteAllUnmatched, ClearAllMatches, SetUpMatching); the message of what
// was found goes to `tell`. Returns how many entries were found (-1 when
// nothing was done).
int DoMatchCommand(TCV_Grid* grid, int tag, const std::function<void(const QString&)>& tell);
void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows);

// ---------------------------------------------------------------------------
// Set columns and typing

bool GridColumnIsSetColumn(int column, const TCV_Grid* grid);
// Clears every category of the list's active set column.
bool ClearSetColumn(TCV_Grid* grid);
// Keys that clear a category instead of setting it (Delete, Backspace).
bool CategoryMeansClearCategory(int key);
// A key typed in the active set column: the row's category, then on to
// the next set column (and the next row after the last).
bool TypeCategoryKey(TCV_Grid* grid, int row, int key, const QString& text);
// The set-column dialog with a text; on OK every selected row gets the category.
bool EditSetColumnCells(TCV_Grid* grid, const QString& text);
// Puts typed text into the word of grid row `row` when the grid's current
// column is the list's word column; the word replaced comes back.
bool TypeIntoCell(TCVBaseDataClass& list, const QString& text, int row, QString& oldText, TCV_Grid* grid);
// The entry where typed text fits, or is exactly (-1 when not found).
int FindTypedWordPosition(TCVBaseDataClass& list, bool caseSensitive, const QString& text, int start);
int FindTypedWord(TCVBaseDataClass& list, bool caseSensitive, const QString& text);
// Whether rows dragged from `source` may be joined at the cell (column, row) of the grid.
bool JoinTargetUnderMouse(TCV_Grid* grid, QObject* source, int column, int row);

// ---------------------------------------------------------------------------
// Columns, sorting and views

// Appends a column (kind 0 a copy of the last heading, 1 a set column, 2 a
// relative-entropy column) or deletes the last column when it is not a set
// column (add false).
// functionName: noted in the document's notes when not empty.
bool AddOrDeleteComputedColumn(TCV_Grid* grid, int kind, bool add, int column, const QString& functionName);
// The three sort levels of a list from a choice; keyOf turns a grid column into the list's sort key.
void SetThreeSorts(TCVBaseDataClass& list, const TThreeWaySortChoice& choice, const std::function<int32_t(int)>& keyOf);
// The three-way sort dialog; on OK the list's sort levels are set (it is not sorted here).
bool ThreeWaySortDialog(TCVBaseDataClass& list, int pressedColumn, int maxLevel, int helpContext,
                        const std::function<int32_t(int)>& keyOf);
bool WordCloudOfList(TCV_Grid* grid, bool withOptions, const QString& fileName);
// The "Other sorts" of a list's entries by their words (menu tags):
// SortAlphabetical; SortReverseWord, by the word read backwards (word
// endings together); SortWordLength; SortCaseSensitive, by the characters'
// codes (capitals before small letters); SortByPrefix, by the prefix shown
// with the word (a tag); SortBySuffix; ties by the word. The list is put in
// that order; false for other tags.
bool SortListByWords(TCVBaseDataClass& list, int tag);
// Whether a menu tag is one of those sorts.
bool IsOtherSort(int tag);
// The text without mark-up between "<" and ">".
QString WithoutMarkup(const QString& text);
// The current row's cells as the grid shows them, joined by blanks, without mark-up.
QString CurrentRowAsText(const TCV_Grid* grid);
bool SpeakCurrentRow(TCV_Grid* grid);

// ---------------------------------------------------------------------------
// Status bar

void ShowEntryCountOnStatusBar(TCVStatusBar* statusBar, int64_t count);
// Panel 0 the count, panel 1 the row; kinds 1, 3 and 10 put the text into that panel.
void ShowRowStatus(TCVStatusBar* statusBar, int row, int64_t count, int kind, const QString& text);
void SetStatusBarProgress(TCVStatusBar* statusBar, int position, int panel);

// ---------------------------------------------------------------------------
// The window's part

// Carries out an editing command of the menus on the grid; true when the tag is one of them.
bool HandleListEditingMenuCommand(TMainToolsForm& window, int tag, TCV_Grid* grid);
// The editing handlers of the page grids, added to the window's groups;
// the window's page grids also start remembering their join targets.
void AddListEditingHandlers(TMainToolsForm& window, TCVGridHandlersA& a);
void AddListEditingHandlers(TMainToolsForm& window, TCVGridHandlersB& b);

} // namespace cv
