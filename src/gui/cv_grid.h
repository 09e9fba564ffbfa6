#pragma once
// The suite's result grid: one result list (any TCVBaseDataClass) shown as a
// table, in four parts:
//
//   TCVGridModel     a virtual table model that asks the list for each cell
//                    it is asked for (DrawgridDataRec), never copying rows, so
//                    a list of a million entries costs nothing until shown;
//                    the value behind a cell goes out under kRawValueRole;
//   TCVGridProxy     sorts the view on those raw values (numbers as numbers,
//                    words by the list's collation) and filters rows;
//   TCVGridDelegate  draws deleted entries struck out and marked ones bold;
//   TCV_Base_Grid    the widget: a table view with the grid's events (click,
//                    double click, header click, key press, selection),
//                    column widths, hidden columns and grid-row numbering.
//
// Grid rows are counted as the suite counts them: row 0 holds the headings,
// data rows start at 1 (overall rows of the list first, then its entries).
// TCV_Grid is the page grid of a tool window: it adds the list type and kind
// of display of its page and the shared cell handler.

#include <QAbstractTableModel>
#include <QCollator>
#include <QHeaderView>
#include <QPointer>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QMenu>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model/base_list.h"
#include "suite/menu_commands.h"
#include "suite/settings_records.h"
#include "suite/text_settings.h"
#include "suite/wdef.h"
#include "suite/window_handle.h"

class QKeyEvent;
class QMenu;
class QMimeData;
class QTableView;

namespace cv {

// Roles of the grid model beyond Qt's own.
enum TGridRole : int {
    kRawValueRole = Qt::UserRole + 1, // the number behind a numeric cell, else its text
    kEntryRole,                       // the list entry of the row (negative for overall rows)
    kDeletedRole,                     // the entry is marked deleted
    kMarkRole,                        // the entry's mark (0 none)
};

// The kinds of display (kGridKind...) are in suite/wdef.h: the lists read them too.


// A hook that may change a cell after the list has drawn it (the per-page
// cell-text handlers of a tool): entry index, grid column, the cell.
using TCellTweak = std::function<void(int entry, int column, TDrawgridDataRec& rec)>;

// The look of a grid's columns and the columns the grid computes itself
// after the list's own (computed columns). The grid dialogs install one per
// grid; without one the grid shows the list's columns as the list draws them.
class TGridColumnPresenter {
public:
    virtual ~TGridColumnPresenter() = default;
    // How many columns follow the list's own.
    virtual int ExtraColumnCount() const { return 0; }
    // The heading of a column; listHeading is the list's own (empty for extra columns).
    virtual QString Heading(int column, const QString& listHeading) const { return listHeading; }
    // The cell of an extra column (column counted over all columns) for a list entry.
    virtual void ExtraCell(int entry, int column, TDrawgridDataRec& rec) const {}
    // Changes a drawn cell as its column's look asks (decimals, letter case, threshold, background).
    virtual void Present(int column, TDrawgridDataRec& rec) const {}
    // Qt::TextAlignmentRole or Qt::FontRole of a column; an invalid value leaves the grid's own.
    virtual QVariant ColumnRole(int column, int role) const { return {}; }
    // The list was shown afresh (another list, or its rows or columns changed).
    virtual void ListReset(TCVBaseDataClass* list) {}
    // The list's values changed (same rows and columns).
    virtual void ValuesChanged() {}
};

class TCVGridModel final : public QAbstractTableModel {
public:
    explicit TCVGridModel(QObject* parent = nullptr);

    // Shows another list (or none); the view starts afresh. Should the list
    // be freed while shown, the model shows none from then on.
    void SetList(TCVBaseDataClass* list, int displayKind);
    TCVBaseDataClass* List() const { return m_list; }
    int DisplayKind() const { return m_displayKind; }
    void SetCellTweak(TCellTweak tweak);
    // How counts of running words are shown (the list says which columns hold them).
    void SetNumberDisplay(TNumberDisplay display);
    TNumberDisplay NumberDisplay() const { return m_numberDisplay; }
    // The presenter of the columns (not owned; null: none); Reload shows its columns.
    void SetColumnPresenter(TGridColumnPresenter* presenter);
    TGridColumnPresenter* ColumnPresenter() const { return m_presenter; }

    // The list changed its rows or columns: the view starts afresh.
    void Reload();
    // The list changed values only (same rows and columns): cells are asked again.
    void CellsChanged();

    // The search words drawn while a search runs: cells of the column that
    // hold one of them (a word of the cell matching, "*" standing for any
    // letters, not case-sensitive) get the search colour. No words: none.
    void SetSearchDisplay(int column, const QStringList& words);
    bool ShowsSearchWord(int row, int column) const;

    // The list entry shown on a model row (negative: an overall row, or the totals row).
    int EntryOfRow(int row) const;
    // The last row, when the list shows its column totals.
    bool IsTotalsRow(int row) const;
    // The cell as the list draws it; empty while the data must not be shown,
    // unless `whileBusy` (the work that marked the list busy reads it).
    TDrawgridDataRec CellOf(int row, int column, bool whileBusy = false) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows may be dragged (onto another row, to join them).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool Hidden() const;
    int RowsOfList() const;
    const TDrawgridDataRec& CachedCell(int row, int column) const;

    TCVBaseDataClass* m_list = nullptr;
    // A list freed while shown (a job replaced it) leaves the grid empty, never dangling.
    TListWatch m_watch{[this] { SetList(nullptr, m_displayKind); }};
    int m_displayKind = 0;
    int m_rows = 0;
    int m_columns = 0;
    TCellTweak m_tweak;
    TNumberDisplay m_numberDisplay = kNumbersAsCounted;
    TGridColumnPresenter* m_presenter = nullptr;
    int m_searchColumn = -1;
    std::vector<QRegularExpression> m_searchWords;
    // Qt asks one cell for many roles in a row; the list draws it once.
    mutable int m_cachedRow = -1;
    mutable int m_cachedColumn = -1;
    mutable TDrawgridDataRec m_cached;
};

class TCVGridProxy final : public QSortFilterProxyModel {
public:
    explicit TCVGridProxy(QObject* parent = nullptr);
    // Rows whose entry the filter refuses are not shown; an empty filter shows all.
    void SetRowFilter(std::function<bool(int entry)> filter);
    // Words sort by this collation (the list's language).
    void SetCollationName(const QString& localeName);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::function<bool(int)> m_filter;
    QCollator m_collator;
};

class TCVGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

class TCV_Base_Grid;

// The events a grid raises; the window that owns the grid fills them.
struct TCVGridEvents {
    // Grid column and grid row (1 for the first data row).
    std::function<void(TCV_Base_Grid* grid, int column, int row)> OnClickCell;
    std::function<void(TCV_Base_Grid* grid, int column, int row)> On_DoubleClick;
    // A click on a column heading. Unset: the grid sorts its view on the
    // column's raw values, turning the order round on a second click.
    std::function<void(TCV_Base_Grid* grid, int column)> OnClickHeader;
    // True when the handler used the key; otherwise the view gets it.
    std::function<bool(TCV_Base_Grid* grid, QKeyEvent* event)> OnKeyPress;
    std::function<void(TCV_Base_Grid* grid)> OnSelectionChanged;
    // The mouse rests on a cell whose text its column cuts off (called the
    // first time only: the grid then counts as warned).
    std::function<void(TCV_Base_Grid* grid)> OnDataPartlyObscured;
};

class TCV_Base_Grid : public QWidget {
    Q_OBJECT
public:
    explicit TCV_Base_Grid(QWidget* parent = nullptr);
    ~TCV_Base_Grid() override;

    // --- the list ---
    void SetList(TCVBaseDataClass* list, int displayKind);
    TCVBaseDataClass* List() const { return m_model->List(); }
    void SetCellTweak(TCellTweak tweak) { m_model->SetCellTweak(std::move(tweak)); }
    // View > Number display: counts of running words as counted or as shares.
    void SetNumberDisplay(TNumberDisplay display) { m_model->SetNumberDisplay(display); }
    // The grid owns its column presenter; installing one shows the list afresh.
    void SetColumnPresenter(std::unique_ptr<TGridColumnPresenter> presenter);
    TGridColumnPresenter* ColumnPresenter() const { return m_presenter.get(); }
    // Redraws after the list changed: rows and columns are counted again.
    void Refresh();
    // Updates are collected until the outermost EndUpdate, which refreshes once.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return m_updateDepth > 0; }

    // --- rows, counted as grid rows (0 the headings, data from 1) ---
    int RowCount() const; // data rows + 1
    int Row() const;      // the current row; 0 when none
    void SetRow(int row);
    int TopRow() const;
    void SetTopRow(int row);
    // The list entry of a grid row as it is shown now (sorted or filtered
    // views included); negative for overall rows and rows out of range.
    int EntryOfGridRow(int row) const;
    // The grid rows selected, ascending; the current row when none is selected.
    std::vector<int> SelectedRows() const;
    std::vector<int> SelectedEntries() const;
    void SelectRows(int first, int last);
    // The text of a cell as shown.
    QString Cells(int column, int row) const;
    // Remembers and restores the top and current rows (around a page change).
    void SavePositions();
    void RestorePositions();

    // --- columns ---
    int ColCount() const;
    // The columns shown, in the order shown (hidden ones left out): what a
    // copy, a print and an export of the grid take.
    std::vector<int> ShownColumns() const;
    // The cell at a grid column and data row (from 1) as the grid shows it,
    // with the number behind a numeric cell; empty out of range. With
    // `whileBusy` also while the list is marked busy: an export marks it so
    // that nothing changes it meanwhile, and reads it row by row.
    TDrawgridDataRec CellRecord(int column, int row, bool whileBusy = false) const;
    int ColWidths(int column) const;
    void SetColWidths(int column, int width);
    bool ColumnVisible(int column) const;
    void SetColumnVisible(int column, bool visible);
    // The grid draws these search words in this column while searching
    // (the search dialog's search started); no words: nothing drawn.
    void SetDrawForGridSearchDisplay(int column, const QStringList& words);
    void RecordOriginalColumns();
    void RestoreOriginalColumns();
    int DefaultRowHeight() const;
    void SetDefaultRowHeight(int pixels);
    // Every column as wide as its heading and the widest of its first
    // `sampleRows` cells (within a bound), so that nothing shown is cut off.
    // Done whenever the grid shows another list, and on demand ("Default
    // column widths").
    void FitColumnWidths(int sampleRows = 200);
    // The width a column takes by that rule.
    int FittedColumnWidth(int column, int sampleRows = 200) const;
    // After a sort other rows come first and last: every column is widened
    // to that rule where its rows now need more room (none is narrowed,
    // so widths the user chose stay).
    void WidenColumnsToFit(int sampleRows = 200);

    // --- hints ---
    // The hint of a cell: its whole text when the column cuts it off, else empty.
    QString HintString(int column, int row) const;
    // Whether the text of a cell is wider than its column.
    bool CellPartlyObscured(int column, int row) const;
    bool ObscuredWarned() const { return m_obscuredWarned; }
    // The mouse rests at a point of the view: the cell's hint shows, and the
    // first time a cut-off text the grid warns (OnDataPartlyObscured). True when a hint shows.
    bool ShowHintAt(const QPoint& viewportPos, const QPoint& globalPos);

    // --- the clipboard ---
    // What a copy of the selected rows puts on the clipboard: text (tab
    // between cells, a line per row; a cell cut to maxCharsPerCell when
    // above 0), with the heading row and the number column as the settings
    // ask, and a picture of the selected area when they ask for one.
    // Null when nothing is selected or the settings ask for nothing.
    std::unique_ptr<QMimeData> SelectionMimeData(const TCVClipboardSettings& settings, int maxCharsPerCell) const;
    // Puts it on the clipboard; the number of rows copied.
    int CopySelectionToClipboard(const TCVClipboardSettings& settings, int maxCharsPerCell) const;

    // --- view sorting and filtering (when the list is not sorted itself) ---
    void SortOnRawValues(int column, Qt::SortOrder order);
    int ViewSortColumn() const; // -1 when the view shows the list's own order
    void ClearViewSort();
    void SetRowFilter(std::function<bool(int entry)> filter);

    void SetPopupMenu(QMenu* menu) { m_popup = menu; }
    QMenu* PopupMenu() const { return m_popup; }

    TCVGridEvents Events;

    QTableView* View() const { return m_view; }
    // Whether the user may drag rows to other heights (Interactive) or not (Fixed).
    void SetRowResizeMode(QHeaderView::ResizeMode mode);
    TCVGridModel* Model() const { return m_model; }
    TCVGridProxy* Proxy() const { return m_proxy; }

signals:
    // After Refresh showed the list again (what it holds may have changed:
    // the window's title says whether it is saved).
    void Refreshed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A double click on a data cell (grid row from 1); the base raises On_DoubleClick.
    virtual void CellDoubleClicked(int column, int row);
    // A header click another part takes; false lets the view sort itself.
    virtual bool HeaderClickTaken(int column) { return false; }
    // Rows of another grid (or of this one) dragged over or dropped on the
    // cell at (column, row); whether the grid takes them. The base takes none.
    virtual bool DragEnter(QObject* source) { return false; }
    virtual bool DropOnCell(QObject* source, int column, int row, bool dropped) { return false; }
    // A key moved the current cell to (column, grid row), as a click on it would choose it.
    virtual void CurrentCellMovedByKey(int column, int row) {}

private:
    void HeaderClicked(int column);
    // The rows' header keeps room for the most rows it ever had (Qt's lists
    // keep their capacity when emptied): after a list of many rows it is
    // made anew for one of far fewer, with the same settings.
    void FitRowHeaderToRows(int rows);
    int ViewRowOfGridRow(int row) const;
    int GridRowOfViewRow(int viewRow) const { return viewRow + 1; }

    TCVGridModel* m_model;
    TCVGridProxy* m_proxy;
    QTableView* m_view;
    QPointer<QMenu> m_popup;
    std::unique_ptr<TGridColumnPresenter> m_presenter;
    int m_updateDepth = 0;
    bool m_obscuredWarned = false;
    int m_savedTopRow = 1;
    int m_savedRow = 1;
    int m_rowHeaderPeak = 0; // the most rows the rows' header has had room for
    QHeaderView::ResizeMode m_rowResizeMode = QHeaderView::Fixed;
    struct OriginalColumn {
        QString heading;
        int width = 0;
        bool visible = true;
    };
    std::vector<OriginalColumn> m_originalColumns;
};

class TCV_Grid;

// The one cell handler the page grids of a window share: the text settings
// and colours their cells are drawn with, and the grid it serves now.
class TCVGridCellHandler {
public:
    void InitialSetup(const TTextSettings& textSettings, bool padSearchWords);
    const TTextSettings& TextSettings() const { return m_textSettings; }
    bool PadSearchWords() const { return m_padSearchWords; }
    void SetRulerPlotWordCloudFeatures(const TRulerPlotWordCloudFeatures& f) { m_ruler = f; }
    const TRulerPlotWordCloudFeatures& RulerPlotWordCloudFeatures() const { return m_ruler; }
    void SetCurrentGrid(TCV_Grid* grid);
    TCV_Grid* CurrentGrid() const;

private:
    TTextSettings m_textSettings = TTextSettings::Defaults();
    TRulerPlotWordCloudFeatures m_ruler;
    bool m_padSearchWords = false;
    QPointer<QWidget> m_currentGrid;
};

// Grid options (bits of TCV_Grid::GridOptions).
enum : uint32_t {
    kGridOptionRowResizing = 1u << 0,    // the user may change row heights
    kGridOptionVerticalLines = 1u << 1,  // ruler: lines between the cells
    kGridOptionNoHorizontalShift = 1u << 2, // concordances: no horizontal displacement
    kGridOptionPadSearchWord = 1u << 3,  // concordances: the search word padded
};

// The page grids call back into their tool window through three groups of
// handlers, which the window's creation stores in every page grid. A grid
// command (its pop-up menu, a key, a double click, a menu command the window
// passes on as message kMsgGridCommand) calls the handler of its group; an
// unset handler means the command does nothing on this grid. The handlers
// keep the design's names, in its order; beside each, what it does and the
// menu command (TMenuCommand, suite/menu_commands.h) that reaches it through
// HandleGridCommand.
//
// Group C: the typing mode.
struct TCVGridHandlersC {
    std::function<int()> GetTypingMode;           // the settings buffer's typing mode
    std::function<void(int mode)> SetTypingMode; // TypeIn, SetCategories, EditingData: 0, 1, 2
};

// Group A, in its fixed order.
struct TCVGridHandlersA {
    using TGridProc = std::function<void(TCV_Grid* grid)>;
    using TCellProc = std::function<void(TCV_Grid* grid, int column, int row)>;

    TGridProc AAutoJoin;                  // 1: AutoJoin, word forms joined under a head word by affix
    TGridProc GoToCurrentItem;            // 2: the grid moved to the list's current item
    TGridProc ChangeGridLanguage;         // 3: ChangeLanguage of the grid's list
    TGridProc CCheckLemmasForConsistency; // 4: CheckConsistency, the lemmas against an index
    TGridProc ClearSetColumn;             // 5: ClearSetColumn, the active set column's categories
    TGridProc CClusters;                  // 6: Clusters from the index
    TGridProc OpenConditionsDialog;       // 7: DeleteIf, the conditions dialog deleting what meets them
    TGridProc OpenColumnsDialog;          // 8: Layout, the columns dialog
    TGridProc PreviewPageChanged;         // 9: the print preview of the grid redrawn
    TGridProc CComputeConcordance;        // 10: Concordance, the selected words to the concordance tool
    TGridProc CComputeRelationships;      // 11: Relationships from the index
    TGridProc CComputeTimeline;           // 12: Timeline (the word list makes none)
    TGridProc OpenWordCloud;              // 13: WordCloud of the grid's list
    TCellProc DDblClickCell;              // 14: a double click on a cell
    TCellProc StatusBarCellInfo;          // 15: a cell's row and text on the status bar
    TGridProc OpenColourCategoryDialog;   // 16: ColourCategories, the conditions dialog colouring rows
    TGridProc SelectedRowsCommand;        // 17: Delete, the selected rows marked deleted
    // 18: rows dragged from the source grid dropped on the cell at (column, row) of the grid.
    std::function<void(TCV_Grid* grid, QObject* source, int column, int row)> CellDragDrop;
    // 19: whether the grid takes rows dragged over its cell at (column, row).
    std::function<bool(TCV_Grid* grid, QObject* source, int column, int row)> CellDragOver;
    TCellProc EditSetColumnCell;          // 20: EditSetColumn, a set-column cell's category
    std::function<void()> AskToStop;      // 21: the stop command
    TGridProc FFindFiles;                 // 22: FindFiles, the texts holding the selected words
    // 23: asks a value (the prompt, the value in and out); true on OK (EditData).
    std::function<bool(TCV_Grid* grid, const QString& prompt, QString& value)> InputForGrid;
    std::function<QStringList(uint8_t listType)> StandardHeadings; // 24: a list type's standard headings
    std::function<QString()> DocumentFileName;                      // 25: the document's file name
    std::function<void(TCV_Grid* grid, int column)> ColumnHeadingChanged; // 26: a changed heading applied
    std::function<bool()> IIsToolbarShowing;                        // 27: whether the typing tool bar shows
    TGridProc JJoinClusters;              // 28: JoinClusters
    // 29: JoinRows, Unjoin, UnjoinAll: joins (0), unjoins (1) or unjoins all (2) the
    // selected rows; target: the grid row joined to (0: the first selected).
    std::function<void(TCV_Grid* grid, int mode, int targetRow)> JoinRows;
    TGridProc GridCommand30;              // 30: Refresh, the grid refreshed with the hourglass
    TGridProc SelectedRowsCommand2;       // 31: RestoreDeleted, the selected rows restored
    TGridProc ColumnSummaryCommand;       // 32: a column's values reported (no command binds it)
};

// The column SortByColumn is given for "Resort": no column, the list's own order again.
constexpr int kResortAsItIs = -1;

// Group B, in its fixed order.
struct TCVGridHandlersB {
    using TGridProc = std::function<void(TCV_Grid* grid)>;

    std::function<void(TCV_Grid* grid, const QString& parseString)> ParseStringAdded; // 1: a parse string added
    std::function<void(TCV_Grid* grid, int column, bool add)> AddOrDeleteColumn;      // 2: a column added or deleted
    std::function<void()> NewWithChosenTexts;                       // 3: New, a job on the chosen texts
    TGridProc NNotifyDadReFormColour;     // 4: does nothing
    TGridProc SaveColumnsAsCustomised;    // 5: the headings kept as the list type's layout
    TGridProc PrintGrid;                  // 6: Print
    TGridProc PrintPreviewGrid;           // 7: PrintPreview
    TGridProc ReduceList;                 // 8: ReduceToN
    TGridProc RRecomputeTokens;           // 9: Tokens, the tokens counted again
    TGridProc RedoEdit;                   // 10: Redo
    TGridProc StatusBarProgressCommand;   // 11: ReverseDelete, its progress on the status bar
    std::function<bool(TCV_Grid* grid)> ChooseSaveFileName;         // 12: a file name to save to
    std::function<void(TCV_Grid* grid, bool save)> SaveOrLoadTextFile; // 13: SaveLemmaFile (save true)
    TGridProc GGetSaveToClipboardChoices; // 14: the clipboard format chosen
    TGridProc OpenConditionsDialog2;      // 15: Find, the conditions dialog selecting what meets them
    // 16: SearchText (not replacing) and SearchAndReplace.
    std::function<void(TCV_Grid* grid, bool replacing)> OpenSearchReplace;
    TGridProc ShowRowFileNames;           // 17: Filenames, the texts of a row or of all rows
    TGridProc SShowGridColumnData;        // 18: checks the grid, nothing more
    std::function<void(TCV_Grid* grid, bool visible)> SShowOrHideToolbar; // 19: the typing tool bar shown or hidden
    // 20: sorts by a column (a heading's click); column kResortAsItIs: the list
    // sorted again by its own sort levels (Resort).
    std::function<void(TCV_Grid* grid, int column)> SortByColumn;
    TGridProc SpeakRow;                   // 21: Play, the current row read aloud
    std::function<void(int panel, const QString& text)> StatusBarMessage; // 22: a message on a status-bar panel
    std::function<void(int percent)> StatusBarProgress;                   // 23: the status bar's progress
    std::function<void()> ApplyStyleColours;                              // 24: the current style's colours
    TGridProc SSummaryStats;              // 25: Breakdown
    TGridProc GridCommand26;              // 26: FreezeTopRows
    std::function<void()> Empty27;        // 27: does nothing
    TGridProc UndoEdit;                   // 28: Undo
    TGridProc ZapMarked;                  // 29: Zap, the entries marked deleted removed
};

// The window's own operations on a grid's document, which the grid's
// commands (save, save as, merge, totals) reach too.
struct TCVGridWindowOperations {
    using TGridProc = std::function<void(TCV_Grid* grid)>;

    TGridProc ComputeColumnTotals;
    TGridProc RelativeEntropy;
    std::function<bool(TCV_Grid* grid)> MergeWith;
    std::function<bool()> ChooseFileToOpen;
    std::function<bool()> OpenFile;
    // Export kinds: 0 text, 1 XML, 2 spreadsheet, 3 RTF, 4 the list type's own format.
    std::function<bool(TCV_Grid* grid, int exportKind)> SaveAsExport;
    std::function<bool(TCV_Grid* grid)> Save;
    std::function<bool(TCV_Grid* grid, const QString& fileName)> SaveGridData;
    TGridProc ShowRowSourceFile;
    TGridProc ReplaceSourceFileNames;
};

// Message the menus send to the current page grid: WParam = kGridCommandBase + menu tag.
constexpr uint64_t kGridCommandBase = 5000;

class TMessageWindow;

// A page grid of a tool window.
class TCV_Grid : public TCV_Base_Grid {
    Q_OBJECT
public:
    explicit TCV_Grid(QWidget* parent = nullptr);
    ~TCV_Grid() override;

    // The list type and kind of display the page shows (set when the page is made).
    uint8_t ListType = 25;
    uint8_t KindOfDisplay = 0;
    QPointer<QWidget> MainWindow;
    TCVGridCellHandler* CellHandler = nullptr;
    int DefaultNumber = 25;
    TCVClipboardSettings ClipboardSettings;
    uint32_t GridOptions = 0;
    int LinesPerRow = 1;
    // The column sorted in this run (-1: none).
    int HasSortedThisRun = -1;
    void SetHasSortedThisRun(int column) { HasSortedThisRun = column; }

    // Shows the list with the page's list type and kind of display.
    void MatchGridToListType(uint8_t listType, uint8_t kindOfDisplay, TCVBaseDataClass* list);
    void SetGridOptions(uint32_t options);
    void SetLinesPerRow(int lines);

    // --- the window's handlers ---
    TCVGridHandlersA HandlersA;
    TCVGridHandlersB HandlersB;
    TCVGridHandlersC HandlersC;
    TCVGridWindowOperations WindowOperations;

    // The grid as a window of the suite: menu commands arrive as message
    // kMsgGridCommand with WParam kGridCommandBase + tag (registered on first use).
    TWindowHandle WindowHandle();
    // A menu command for this grid (what message kMsgGridCommand carries);
    // true when the grid knows the command and a handler carried it out.
    // Some the grid carries out itself: DefaultColumnWidths.
    bool HandleGridCommand(int tag);
    bool HandleGridCommand(TMenuCommand command) { return HandleGridCommand(TagOf(command)); }
    // "Edit data": the current cell's value asked through the window
    // (InputForGrid) and put into the list (undoably). True when asked.
    bool EditCurrentCell();
    // Menu commands that reached the grid and were not known or had no handler.
    int UnhandledCommands() const { return m_unhandledCommands; }

    // Sets the typing mode through the window (group C), else just shows it.
    int TypingMode() const;

protected:
    void CellDoubleClicked(int column, int row) override;
    bool HeaderClickTaken(int column) override;
    bool DragEnter(QObject* source) override;
    bool DropOnCell(QObject* source, int column, int row, bool dropped) override;
    void CurrentCellMovedByKey(int column, int row) override;

private:
    void GridMessage(uint32_t msg, uint64_t wparam, int64_t lparam);
    std::unique_ptr<TMessageWindow> m_messageWindow;
    int m_unhandledCommands = 0;
};

} // namespace cv
