#include "ui/framework/list_editing.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCollator>
#include <QLocale>
#include <QHeaderView>
#include <QScrollBar>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPointer>
#include <QTableView>

#include <algorithm>
#include <memory>
#include <numeric>
#include <set>
#include <span>

#include "gui/cv_grid.h"
#include "gui/cv_status_bar.h"
#include "gui/speech.h"
#include "model/corvantis_holder.h"
#include "model/lemma_match_list.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/main_tools_form.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"

namespace cv {

namespace {

constexpr int kHelpReverseDeletion = 5690;
constexpr int kHelpFreezeRows = 1322;
constexpr int kMaxFrozenRows = 4;
// After a join the word column is at least this wide, so joined forms show.
constexpr int kJoinedWordColumnWidth = 144;
// Match commands that are carried out as one (the radio items of the Matches menu).
constexpr TMenuCommand kMatchCommands[] = {TMenuCommand::MarkMatches, TMenuCommand::DeleteAllMatched,
                                           TMenuCommand::DeleteAllUnmatched, TMenuCommand::ClearAllMatches};
// The "Other sorts" of the Edit menu.
constexpr TMenuCommand kOtherSorts[] = {TMenuCommand::SortAlphabetical, TMenuCommand::SortReverseWord,
                                        TMenuCommand::SortWordLength,   TMenuCommand::SortCaseSensitive,
                                        TMenuCommand::SortByPrefix,     TMenuCommand::SortBySuffix};

bool OneOf(std::span<const TMenuCommand> commands, int tag)
{
    return std::ranges::find(commands, TMenuCommand(tag)) != commands.end();
}

// The tool whose grids take no rows dropped on them for joining.
constexpr uint8_t kToolNoDropJoin = 5;
// The typing mode in which keys typed into a grid set categories.
constexpr uint8_t kKeypressSetCategories = 1;

const char* const kJoinTargetProperty = "cvJoinTargetRow";
const char* const kFrozenRowsProperty = "cvFrozenTopRows";

TListEditingDialogs*& InstalledDialogs()
{
    static TListEditingDialogs* dialogs = nullptr;
    return dialogs;
}

TWordCloudOpener& InstalledCloudOpener()
{
    static TWordCloudOpener opener;
    return opener;
}

TRowSpeaker& InstalledSpeaker()
{
    static TRowSpeaker speaker;
    return speaker;
}

bool StopNow() { return global_panic_state.load() >= kPanicStopNow; }

TCVBaseDataClass* ListOf(const TCV_Grid* grid) { return grid ? grid->List() : nullptr; }

// The list's undo steps show in the data module's Undo and Redo items.
void FollowUndo(TCVBaseDataClass& list)
{
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->FollowUndoOf(list);
}

int EntryIndexOfRow(const TCV_Grid* grid, int row)
{
    const TCVBaseDataClass* list = ListOf(grid);
    if (!list || row <= 0 || row >= grid->RowCount())
        return -1;
    const int entry = grid->EntryOfGridRow(row);
    return entry >= 0 && entry < list->Count() ? entry : -1;
}

bool Lemmatisable(const TCV_Grid* grid) { return grid && grid->List() && IsLemmatisableListType(grid->ListType); }

// The entries of the grid's rows from `from` to the end, in the order shown.
std::vector<int> EntriesFromRow(const TCV_Grid* grid, int from)
{
    std::vector<int> entries;
    for (int row = std::max(1, from); row < grid->RowCount(); ++row)
        if (const int e = EntryIndexOfRow(grid, row); e >= 0)
            entries.push_back(e);
    return entries;
}

// Every 256th row: the percentage done on panel 3, and the messages pumped.
void ReportRowProgress(TCVStatusBar* statusBar, int done, int total)
{
    if ((done & 0xFF) != 0xFF)
        return;
    if (statusBar && total > 0) {
        const int percent = int(int64_t(done + 1) * 100 / total);
        ShowRowStatus(statusBar, done + 1, total, 3, QStringLiteral("%1%").arg(percent));
        SetStatusBarProgress(statusBar, percent, kPanelThisBar);
    }
    MyYieldProcess();
}

QString NumberText(int n) { return QString::number(n); }

} // namespace

THourglass::THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }

THourglass::~THourglass() { QApplication::restoreOverrideCursor(); }

// ---------------------------------------------------------------------------
// Seams

TListEditingDialogs* CurrentListEditingDialogs() { return InstalledDialogs(); }

TListEditingDialogs* SetListEditingDialogs(TListEditingDialogs* dialogs)
{
    return std::exchange(InstalledDialogs(), dialogs);
}

TWordCloudOpener SetWordCloudOpener(TWordCloudOpener opener)
{
    return std::exchange(InstalledCloudOpener(), std::move(opener));
}

TRowSpeaker SetRowSpeaker(TRowSpeaker speaker) { return std::exchange(InstalledSpeaker(), std::move(speaker)); }

TRowSpeaker RowSpeakerOf(TSpeaker& speaker)
{
    auto told = std::make_shared<bool>(false);
    return [&speaker, told](const QString& line) {
        if (auto* qt = dynamic_cast<TQtSpeaker*>(&speaker))
            qt->SetLocale(QLocale(GetTextSettings().CollationName()));
        if (speaker.Say(line) || *told)
            return;
        *told = true;
        ReportedAFact(QStringLiteral("The row cannot be read aloud: %1").arg(speaker.LastError()));
    };
}

// ---------------------------------------------------------------------------
// Rows

TCVBaseListObject* EntryOfRow(const TCV_Grid* grid, int row)
{
    const int entry = EntryIndexOfRow(grid, row);
    return entry >= 0 ? grid->List()->Get(entry) : nullptr;
}

void TrackJoinTarget(TCV_Grid* grid)
{
    if (!grid || grid->property("cvJoinTargetTracked").toBool())
        return;
    grid->setProperty("cvJoinTargetTracked", true);
    QPointer<TCV_Grid> guarded(grid);
    QObject::connect(grid->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, grid,
                     [guarded](const QModelIndex&, const QModelIndex& previous) {
                         if (guarded && previous.isValid())
                             SetJoinTargetRow(guarded, previous.row() + 1);
                     });
}

int JoinTargetRow(const TCV_Grid* grid) { return grid ? grid->property(kJoinTargetProperty).toInt() : 0; }

void SetJoinTargetRow(TCV_Grid* grid, int row)
{
    if (grid)
        grid->setProperty(kJoinTargetProperty, row);
}

bool JoinOrUnjoinSelectedRows(TCV_Grid* grid, int row, bool join, bool all)
{
    if (!Lemmatisable(grid))
        return false;
    TCVBaseDataClass& list = *grid->List();
    FollowUndo(list);
    const std::vector<int> selected = grid->SelectedEntries();
    const int marked = list.MarkCount();
    bool changed = false;
    if (join) {
        std::vector<int> rows;
        if (marked >= 2) {
            // The marked entries go under the entry marked first.
            for (int i = 0; i < list.Count(); ++i)
                if (list[i].Mark() == 1)
                    rows.insert(rows.begin(), i);
                else if (list[i].Mark() != 0)
                    rows.push_back(i);
        } else if (selected.size() < 2) {
            const int head = EntryIndexOfRow(grid, row);
            const int target = EntryIndexOfRow(grid, JoinTargetRow(grid));
            if (head >= 0 && target >= 0 && head != target)
                rows = {head, target};
        } else {
            rows = selected;
        }
        if (rows.size() == 2)
            changed = list.Join(rows[0], rows[1], true);
        else if (rows.size() > 2)
            changed = list.JoinARange(rows, true) > 0;
        if (changed && list.WordColumn() >= 0 && grid->ColWidths(list.WordColumn()) < kJoinedWordColumnWidth)
            grid->SetColWidths(list.WordColumn(), kJoinedWordColumnWidth);
    } else if (all) {
        changed = list.UnJoinAll(true) > 0;
    } else {
        // Unjoining puts forms back after their head: the heads are taken by entry, not by index.
        std::vector<const TCVBaseListObject*> heads;
        for (int e : selected)
            if (list[e].JoinedCount() > 0)
                heads.push_back(list.Get(e));
        list.BeginUndoStep(QStringLiteral("Unjoin"));
        for (const TCVBaseListObject* head : heads)
            if (const int i = list.IndexOf(head); i >= 0)
                changed = list.UnJoin(i, true) > 0 || changed;
        list.EndUndoStep();
    }
    if (marked > 1)
        list.ClearMarcacao(true);
    list.DoPostJoinOrUnjoiningOperation();
    grid->Refresh();
    return changed;
}

bool DeleteSelectedRows(TCV_Grid* grid, bool deleted)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list)
        return false;
    const std::vector<int> rows = grid->SelectedRows();
    std::vector<int> entries;
    for (int row : rows)
        if (const int e = EntryIndexOfRow(grid, row); e >= 0)
            entries.push_back(e);
    if (entries.empty())
        return false;
    FollowUndo(*list);
    list->DeleteARange(entries, deleted, true);
    if (rows.size() == 1 && rows.front() < grid->RowCount() - 1)
        grid->SetRow(rows.front() + 1);
    grid->Refresh();
    return true;
}

bool DeleteOrRestoreToEnd(TCV_Grid* grid, TCVStatusBar* statusBar, int fromRow, bool deleted)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list)
        return false;
    const std::vector<int> entries = EntriesFromRow(grid, fromRow);
    if (entries.empty())
        return false;
    FollowUndo(*list);
    list->BeginUndoStep(deleted ? QStringLiteral("Delete to end") : QStringLiteral("Restore to end"));
    const int total = int(entries.size());
    for (int i = 0; i < total && !StopNow(); ++i) {
        list->SetDeleted(entries[size_t(i)], deleted, true);
        ReportRowProgress(statusBar, i, total);
    }
    list->EndUndoStep();
    grid->Refresh();
    return true;
}

bool ReverseDeletion(TCV_Grid* grid, TCVStatusBar* statusBar)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list || list->Count() == 0 || !OKToDoX(CVReverseDeletion, kHelpReverseDeletion))
        return false;
    FollowUndo(*list);
    list->BeginUndoStep(QStringLiteral("Reverse deletion"));
    const int total = list->Count();
    for (int i = 0; i < total && !StopNow(); ++i) {
        list->SetDeleted(i, !list->GetDeleted(i), true);
        ReportRowProgress(statusBar, i, total);
    }
    list->EndUndoStep();
    grid->Refresh();
    return true;
}

bool AskReduceToN(int count, int& n)
{
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    if (!dialogs)
        return false;
    QString value = NumberText(count);
    if (!dialogs->InputValue(CVREduceData, CVHowManyEntries, value, 1324))
        return false;
    bool whole = false;
    const int asked = value.trimmed().toInt(&whole);
    if (!whole || asked < 1 || asked >= count || !ReduceDataOK(asked, count))
        return false;
    n = asked;
    return true;
}

bool ReduceList(TCV_Grid* grid)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list)
        return false;
    const std::vector<int> shown = EntriesFromRow(grid, 1);
    int n = 0;
    if (!AskReduceToN(int(shown.size()), n))
        return false;
    THourglass busy;
    FollowUndo(*list);
    // The rows past the first n are marked deleted and removed, as one step.
    list->BeginUndoStep(CVREduceData);
    const std::set<int> kept(shown.begin(), shown.begin() + n);
    std::vector<int> gone;
    for (int i = 0; i < list->Count(); ++i) {
        if (kept.count(i)) {
            if (list->GetDeleted(i))
                list->SetDeleted(i, false, true);
        } else {
            gone.push_back(i);
        }
    }
    list->DeleteARange(gone, true, true);
    list->Zap(true);
    list->EndUndoStep();
    grid->Refresh();
    return true;
}

bool MarkRow(TCV_Grid* grid, int row, bool mark)
{
    if (!Lemmatisable(grid))
        return false;
    TCVBaseDataClass& list = *grid->List();
    FollowUndo(list);
    if (!mark) {
        list.ClearMarcacao(true);
    } else {
        const int entry = EntryIndexOfRow(grid, row);
        if (entry < 0)
            return false;
        // A row marked again keeps its mark: the first mark stays the head of a join.
        if (list[entry].Mark() == 0)
            list.SetMarcacao(entry, list.MarkCount() == 0 ? 1 : 2, true);
    }
    grid->Refresh();
    return true;
}

namespace {

// The grid's top rows in a view of their own above its table, which shows the rest.
class TFrozenRowsView final : public QTableView {
public:
    TFrozenRowsView(TCV_Grid& grid, int rows) : QTableView(&grid), m_grid(grid), m_rows(rows)
    {
        setObjectName(QStringLiteral("cvFrozenRows"));
        QTableView* main = grid.View();
        setModel(main->model());
        setSelectionModel(main->selectionModel());
        setItemDelegate(new TCVGridDelegate(this));
        setSelectionBehavior(main->selectionBehavior());
        setSelectionMode(main->selectionMode());
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setWordWrap(main->wordWrap());
        setShowGrid(main->showGrid());
        verticalHeader()->hide();
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setFocusPolicy(Qt::NoFocus);
        main->horizontalHeader()->hide();
        if (auto* layout = qobject_cast<QBoxLayout*>(grid.layout()))
            layout->insertWidget(0, this);
        // The two views scroll sideways together and share their column widths.
        connect(main->horizontalScrollBar(), &QScrollBar::valueChanged, horizontalScrollBar(), &QScrollBar::setValue);
        connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
            if (v != 0)
                verticalScrollBar()->setValue(0);
        });
        connect(main->horizontalHeader(), &QHeaderView::sectionResized, this,
                [this](int column, int, int width) { setColumnWidth(column, width); });
        connect(horizontalHeader(), &QHeaderView::sectionClicked, main->horizontalHeader(), &QHeaderView::sectionClicked);
        connect(this, &QTableView::clicked, main, &QTableView::clicked);
        connect(this, &QTableView::doubleClicked, main, &QTableView::doubleClicked);
        QAbstractItemModel* model = main->model();
        connect(model, &QAbstractItemModel::modelReset, this, [this] { Arrange(); });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { Arrange(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { Arrange(); });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { Arrange(); });
        Arrange();
    }

    void SetRows(int rows)
    {
        m_rows = rows;
        Arrange();
    }

    // The main view hides exactly the top rows of the order shown now; this one fits them.
    void Arrange()
    {
        QTableView* main = m_grid.View();
        const int count = main->model()->rowCount();
        const int frozen = std::min(m_rows, count);
        if (main->verticalHeader()->hiddenSectionCount() > 0)
            for (int r = 0; r < count; ++r)
                if (r >= frozen && main->isRowHidden(r))
                    main->setRowHidden(r, false);
        for (int r = 0; r < frozen; ++r)
            main->setRowHidden(r, true);
        for (int c = 0; c < main->model()->columnCount(); ++c) {
            setColumnHidden(c, main->isColumnHidden(c));
            setColumnWidth(c, main->columnWidth(c));
        }
        int height = horizontalHeader()->sizeHint().height() + 2 * frameWidth();
        for (int r = 0; r < frozen; ++r)
            height += main->verticalHeader()->defaultSectionSize();
        setFixedHeight(height);
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(main->horizontalScrollBar()->value());
    }

private:
    TCV_Grid& m_grid;
    int m_rows;
};

} // namespace

bool FreezeTopRows(TCV_Grid* grid)
{
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    if (!grid || !dialogs)
        return false;
    QString value = QStringLiteral("1");
    if (!dialogs->InputValue(QString(), CVEnterNOfFrozenRows, value, kHelpFreezeRows))
        return false;
    bool whole = false;
    const int rows = value.trimmed().toInt(&whole);
    if (!whole || rows < 1 || rows > kMaxFrozenRows)
        return false;
    grid->setProperty(kFrozenRowsProperty, rows);
    if (auto* frozen = grid->findChild<TFrozenRowsView*>(QStringLiteral("cvFrozenRows"), Qt::FindDirectChildrenOnly))
        frozen->SetRows(rows);
    else
        new TFrozenRowsView(*grid, rows);
    grid->SetTopRow(1);
    return true;
}

bool ColumnTotals(TCV_Grid* grid)
{
    QApplication::processEvents();
    TCVBaseDataClass* list = grid ? grid->List() : nullptr;
    if (!list)
        return false;
    if (list->ColumnTotalsComputed()) {
        list->HideColumnTotals();
    } else if (ComputeColumnTotalsQ()) {
        THourglass busy;
        list->ShowColumnTotals();
    } else {
        list->HideColumnTotals();
    }
    // The row count follows the list.
    grid->Model()->Reload();
    grid->Refresh();
    return list->ColumnTotalsShown();
}

int FrozenTopRows(const TCV_Grid* grid) { return grid ? grid->property(kFrozenRowsProperty).toInt() : 0; }

// ---------------------------------------------------------------------------
// Matches and lemmas

bool LemmaListReady()
{
    const uint8_t lemmas = uint8_t(TLemmatiserListKind::Lemma);
    if (Global_stopLemmaMatchLoaded[lemmas])
        return true;
    if (ToolWindowList().LoadLemmaMatchStopList(lemmas) && Global_stopLemmaMatchLoaded[lemmas])
        return true;
    NoLemmaList();
    PostToController(kCodeNoLemmaList);
    return false;
}

bool MatchListReady()
{
    const uint8_t matches = uint8_t(TLemmatiserListKind::Match);
    const auto showReady = [] {
        if (TDataModuleCorvantis* module = DataModuleCorvantis()) {
            module->SetMenuItemVisible(TagOf(TMenuCommand::SetUpMatching), false);
            module->SetMenuItemVisible(TagOf(TMenuCommand::MarkMatches), true);
        }
    };
    if (Global_stopLemmaMatchLoaded[matches] && GetLemmaMatchStopWanted(current_tool_var, matches)) {
        showReady();
        return true;
    }
    if (ToolWindowList().LoadLemmaMatchStopList(matches) && Global_stopLemmaMatchLoaded[matches]) {
        showReady();
        return true;
    }
    NoMatchList();
    SetMenuItemChecked(TMenuCommand::MarkMatches, false);
    SetMenuItemChecked(TMenuCommand::SetUpMatching, false);
    PostToController(kCodeNoMatchList);
    return false;
}

bool ComputeLemmaMatches(TCV_Grid* grid)
{
    auto* list = dynamic_cast<TCVBaseLemmaMatchCapableList*>(ListOf(grid));
    if (!list || !LemmaListReady())
        return false;
    int joined = 0;
    {
        THourglass busy;
        FollowUndo(*list);
        joined = list->CheckLemmas(true);
        list->DoPostJoinOrUnjoiningOperation();
    }
    grid->Refresh();
    return joined > 0;
}

int DoMatchCommand(TCV_Grid* grid, int tag, const std::function<void(const QString&)>& tell)
{
    if (TMenuCommand(tag) == TMenuCommand::SetUpMatching) {
        PostToController(kCodeNoMatchList);
        return -1;
    }
    auto* list = dynamic_cast<TCVBaseLemmaMatchCapableList*>(ListOf(grid));
    if (!list || !MatchListReady())
        return -1;
    const TMatchAction action = TagToMatchAction(tag);
    int found = 0;
    {
        THourglass busy;
        FollowUndo(*list);
        found = list->CheckMatches(tag);
        if (found > 0 && tell) {
            QString title;
            switch (action) {
            case TMatchAction::MatchAndMark: title = CVMatchAndMark; break;
            case TMatchAction::DeleteMatches: title = CVDeleteMatches; break;
            case TMatchAction::DeleteNonMatches: title = CVDeleteNonMatches; break;
            case TMatchAction::RemoveMatchMarking: title = CVRemoveMatchMarking; break;
            default: break;
            }
            tell(title + QStringLiteral(": ") + CVMatchListItems + QLatin1Char(' ') + Format(CVFunctionNFound, {found}));
        }
    }
    grid->Refresh();
    // Deleted rows go for good only when the user agrees.
    if ((action == TMatchAction::DeleteMatches && OKToZapNow(found)) ||
        (action == TMatchAction::DeleteNonMatches && OKToZapRemainderNow(list->Count() - found))) {
        list->Zap(true);
        grid->Refresh();
    }
    return found;
}

void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows)
{
    if (TListEditingDialogs* dialogs = CurrentListEditingDialogs())
        dialogs->ShowLemmaShower(caption, headings, rows);
}

// ---------------------------------------------------------------------------
// Set columns and typing

bool GridColumnIsSetColumn(int column, const TCV_Grid* grid)
{
    const TCVBaseDataClass* list = ListOf(grid);
    return list && list->IsASetColumnColumn(column);
}

bool ClearSetColumn(TCV_Grid* grid)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list || !list->IsASetColumnColumn(list->ActiveSetColumn()))
        return false;
    FollowUndo(*list);
    list->ClearCategories(list->SetNumberOfColumn(list->ActiveSetColumn()), true);
    grid->Refresh();
    return true;
}

bool CategoryMeansClearCategory(int key) { return key == Qt::Key_Delete || key == Qt::Key_Backspace; }

bool TypeCategoryKey(TCV_Grid* grid, int row, int key, const QString& text)
{
    TCVBaseDataClass* list = ListOf(grid);
    const int entry = EntryIndexOfRow(grid, row);
    if (!list || entry < 0 || !list->IsASetColumnColumn(list->ActiveSetColumn()))
        return false;
    const int32_t set = list->SetNumberOfColumn(list->ActiveSetColumn());
    FollowUndo(*list);
    if (CategoryMeansClearCategory(key))
        list->ClearACategory(entry, set, true);
    else if (!text.isEmpty())
        list->SetACategoryString(entry, set, text, true);
    else
        return false;
    // With several set columns the next one takes the next key; after the last, the next row.
    std::vector<int> setColumns;
    for (int c = 0; c < list->ColumnCount(); ++c)
        if (list->IsASetColumnColumn(c))
            setColumns.push_back(c);
    if (setColumns.size() > 1) {
        const auto at = std::find(setColumns.begin(), setColumns.end(), list->ActiveSetColumn());
        const auto next = (at == setColumns.end() || at + 1 == setColumns.end()) ? setColumns.begin() : at + 1;
        list->SetActiveSetColumn(*next);
        if (next == setColumns.begin() && row + 1 < grid->RowCount())
            grid->SetRow(row + 1);
    } else if (row + 1 < grid->RowCount()) {
        grid->SetRow(row + 1);
    }
    grid->Refresh();
    return true;
}

bool EditSetColumnCells(TCV_Grid* grid, const QString& text)
{
    TCVBaseDataClass* list = ListOf(grid);
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    if (!list || !dialogs || !list->IsASetColumnColumn(list->ActiveSetColumn()))
        return false;
    QString category = text;
    uint32_t colour = 0;
    bool colourChanged = false;
    if (!dialogs->EditSetColumn(category, colour, colourChanged))
        return false;
    const int32_t set = list->SetNumberOfColumn(list->ActiveSetColumn());
    FollowUndo(*list);
    list->BeginUndoStep(CVEnterSetData);
    int done = 0;
    for (int entry : grid->SelectedEntries()) {
        if (colourChanged)
            list->SetACategoryAndColour(entry, set, category, colour, true);
        else
            list->SetACategoryString(entry, set, category, true);
        if ((++done & 0xFF) == 0)
            MyYieldProcess();
    }
    list->EndUndoStep();
    grid->Refresh();
    return done > 0;
}

bool TypeIntoCell(TCVBaseDataClass& list, const QString& text, int row, QString& oldText, TCV_Grid* grid)
{
    if (!grid || list.WordColumn() < 0 || grid->View()->currentIndex().column() != list.WordColumn())
        return false;
    const int entry = grid->List() == &list ? EntryIndexOfRow(grid, row) : -1;
    if (entry < 0)
        return false;
    oldText = list.GetSomeWordAsString(entry, list.WordColumn());
    if (oldText == text)
        return false;
    // The list is marked as typed into.
    list.SetChangeMark(16);
    FollowUndo(list);
    list.SetSomeWordAsString(entry, list.WordColumn(), text, true);
    grid->Refresh();
    return true;
}

int FindTypedWordPosition(TCVBaseDataClass& list, bool caseSensitive, const QString& text, int start)
{
    if (list.Count() == 0)
        return -1;
    if (const int exact = list.Find_WordStr(text, caseSensitive); exact >= start && exact >= 0)
        return exact;
    const int at = list.Find_PosWordStr(text);
    return at >= start && at < list.Count() ? at : -1;
}

int FindTypedWord(TCVBaseDataClass& list, bool caseSensitive, const QString& text)
{
    return list.Find_WordStr(text, caseSensitive);
}

bool JoinTargetUnderMouse(TCV_Grid* grid, QObject* source, int column, int row)
{
    if (!Lemmatisable(grid) || source != grid)
        return false;
    return column == grid->List()->WordColumn() && EntryIndexOfRow(grid, row) >= 0;
}

// ---------------------------------------------------------------------------
// Columns, sorting and views

bool AddOrDeleteComputedColumn(TCV_Grid* grid, int kind, bool add, int column, const QString& functionName)
{
    TCVBaseDataClass* list = ListOf(grid);
    if (!list)
        return false;
    const uint8_t wasBusy = list->ListBusy();
    list->SetListBusy(kListBusy);
    bool changed = false;
    if (kind == 0 && !add) {
        NotImplemented();
    } else if (kind >= 0 && kind <= 2) {
        QStringList headings = list->GridHeadings();
        if (kind == 0) {
            headings << headings.value(headings.size() - 1);
            list->SetGridHeadings(headings);
        } else if (kind == 1) {
            int next = 1;
            for (int c = 0; c < list->ColumnCount(); ++c)
                next = std::max(next, list->SetNumberOfColumn(c) + 1);
            list->AddSetColumn(Format(CVSetColumnD, {next}));
        } else {
            int next = 1;
            for (const QString& h : headings)
                if (h.startsWith(CVRelativeEntropy.toString()))
                    ++next;
            headings << CVRelativeEntropy + QStringLiteral(" %1").arg(next);
            list->SetGridHeadings(headings);
        }
        changed = true;
        UseLayoutToMoveAnyColumns();
    } else if (column > 0 && list->IsASetColumnColumn(column)) {
        // A set column the user added goes with its categories; the others keep theirs.
        changed = list->DeleteSetColumn(column);
        if (!changed)
            NotApplicableExplanation();
    } else if (column > 0 && column == list->ColumnCount() - 1) {
        // Of the other columns only the last can go: the list draws its columns by number.
        QStringList headings = list->GridHeadings();
        headings.removeLast();
        list->SetGridHeadings(headings);
        changed = true;
    }
    if (changed && !functionName.isEmpty())
        if (TCorvantisholder* doc = list->Holder())
            doc->AddOneLaterNote(Format(CVFunctionXComputed,
                                        {functionName, QDateTime::currentDateTime().toString(Qt::TextDate)}));
    list->SetListBusy(wasBusy);
    if (changed)
        grid->Refresh();
    return changed;
}

void SetThreeSorts(TCVBaseDataClass& list, const TThreeWaySortChoice& choice, const std::function<int32_t(int)>& keyOf)
{
    for (int level = 0; level < TCVBaseDataClass::kSortLevels; ++level) {
        const int column = choice.columns[size_t(level)];
        list.Set1Sort(level, column >= 0 ? keyOf(column) : -1);
        list.SetSortAscending(level, choice.ascending[size_t(level)]);
    }
}

bool ThreeWaySortDialog(TCVBaseDataClass& list, int pressedColumn, int maxLevel, int helpContext,
                        const std::function<int32_t(int)>& keyOf)
{
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    TThreeWaySortChoice choice;
    if (!dialogs || !dialogs->ThreeWaySort(list, pressedColumn, maxLevel, helpContext, choice))
        return false;
    SetThreeSorts(list, choice, keyOf);
    return true;
}

bool WordCloudOfList(TCV_Grid* grid, bool withOptions, const QString& fileName)
{
    TCVBaseDataClass* list = ListOf(grid);
    const TWordCloudOpener& opener = InstalledCloudOpener();
    if (!list || !opener || list->Count() == 0)
        return false;
    TWordCloudOfListRequest request;
    request.list = list;
    request.listType = grid->ListType;
    request.withOptions = withOptions;
    request.needsSorting = list->CloudDataNeedsSorting();
    request.fileName = fileName;
    // A list never saved has no file to name: the caption names the list only.
    request.caption = fileName.isEmpty() ? QStringLiteral("%1 word cloud").arg(ListTypeName(grid->ListType))
                                         : Format(CVListTypeCloudFromFile, {ListTypeName(grid->ListType), fileName});
    return opener(request);
}

bool IsOtherSort(int tag) { return OneOf(kOtherSorts, tag); }

bool SortListByWords(TCVBaseDataClass& list, int tag)
{
    if (!IsOtherSort(tag))
        return false;
    const TMenuCommand sort = TMenuCommand(tag);
    const int n = list.Count();
    QCollator collator{QLocale(list.CollationName())};
    collator.setCaseSensitivity(Qt::CaseSensitive);
    struct Key {
        QCollatorSortKey first;
        QCollatorSortKey word;
        QString codes;
        qsizetype length = 0;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const TCVBaseListObject& e = list[i];
        const QString word = e.MainWordOnly();
        QString reversed;
        for (qsizetype k = word.size(); k-- > 0;)
            reversed += word[k];
        const QString first = sort == TMenuCommand::SortReverseWord ? reversed
                              : sort == TMenuCommand::SortByPrefix  ? e.GetAPrefixAsString()
                              : sort == TMenuCommand::SortBySuffix  ? e.GetASuffixAsString()
                                                                    : word;
        keys.push_back({collator.sortKey(first), collator.sortKey(word), word, word.size()});
    }
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Key& x = keys[size_t(a)];
        const Key& y = keys[size_t(b)];
        if (sort == TMenuCommand::SortCaseSensitive)
            return x.codes < y.codes;
        if (sort == TMenuCommand::SortWordLength && x.length != y.length)
            return x.length < y.length;
        if (const int c = x.first.compare(y.first); c != 0 && sort != TMenuCommand::SortWordLength)
            return c < 0;
        return x.word.compare(y.word) < 0;
    });
    // The entries go back in their new order (the same objects: marks,
    // categories and forms stay with them).
    std::vector<std::unique_ptr<TCVBaseListObject>> taken(static_cast<size_t>(n));
    for (int i = n - 1; i >= 0; --i)
        taken[size_t(i)] = list.Extract(i);
    for (int k = 0; k < n; ++k)
        list.Insert(k, std::move(taken[size_t(order[size_t(k)])]));
    // Orders the list keeps beside its entries are made again.
    list.DoPostJoinOrUnjoiningOperation();
    list.InvalidateColumnTotals();
    return true;
}

QString WithoutMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool inTag = false;
    for (QChar c : text) {
        if (c == u'<')
            inTag = true;
        else if (c == u'>' && inTag)
            inTag = false;
        else if (!inTag)
            out += c;
    }
    return out;
}

QString CurrentRowAsText(const TCV_Grid* grid)
{
    if (!grid || !grid->List() || grid->Row() <= 0)
        return {};
    QStringList cells;
    for (int c = 0; c < grid->ColCount(); ++c)
        if (grid->ColumnVisible(c))
            if (const QString cell = grid->Cells(c, grid->Row()).trimmed(); !cell.isEmpty())
                cells << cell;
    return WithoutMarkup(cells.join(u' '));
}

bool SpeakCurrentRow(TCV_Grid* grid)
{
    const TRowSpeaker& speaker = InstalledSpeaker();
    const QString line = CurrentRowAsText(grid);
    if (!speaker || line.isEmpty())
        return false;
    speaker(line);
    return true;
}

// ---------------------------------------------------------------------------
// Status bar

void ShowEntryCountOnStatusBar(TCVStatusBar* statusBar, int64_t count)
{
    if (statusBar)
        statusBar->PutAStatusbarMessage(kPanelMessage, Format(CVNEntries, {count}));
}

void ShowRowStatus(TCVStatusBar* statusBar, int row, int64_t count, int kind, const QString& text)
{
    if (!statusBar)
        return;
    statusBar->PutAStatusbarMessage(kPanelMessage, count == 1 ? CV1Entry.toString() : Format(CVNEntries, {count}));
    statusBar->PutAStatusbarMessage(kPanelWord, Format(CVRowNumber, {row}));
    MyYieldProcess();
    if (kind == 1 || kind == 3 || kind == 10)
        statusBar->PutAStatusbarMessage(kind, text);
    statusBar->update();
}

void SetStatusBarProgress(TCVStatusBar* statusBar, int position, int panel)
{
    if (statusBar && statusBar->PanelStyle(panel) == TStatusPanelStyle::Progress) {
        statusBar->SetPanelProgress(panel, position);
        statusBar->update();
    }
}

// ---------------------------------------------------------------------------
// The window's part

namespace {

// The list-editing menu commands themselves (rows deleted and restored,
// marks, matches, lemmas, frozen rows), whichever way they come.
bool RunListEditingCommand(TMainToolsForm& window, int tag, TCV_Grid* grid);

} // namespace

bool HandleListEditingMenuCommand(TMainToolsForm& window, int tag, TCV_Grid* grid)
{
    // Commands a grid role stands for go through the role the grid holds.
    if (grid) {
        const auto bound = [grid](const auto& role, auto&&... args) {
            if (!role)
                return false;
            role(grid, args...);
            return true;
        };
        bool done = false;
        switch (TMenuCommand(tag)) {
        case TMenuCommand::Delete: done = bound(grid->HandlersA.SelectedRowsCommand); break;
        case TMenuCommand::RestoreDeleted: done = bound(grid->HandlersA.SelectedRowsCommand2); break;
        case TMenuCommand::ReverseDelete: done = bound(grid->HandlersB.StatusBarProgressCommand); break;
        case TMenuCommand::SaveLemmaFile: done = bound(grid->HandlersB.SaveOrLoadTextFile, true); break;
        case TMenuCommand::FreezeTopRows: done = bound(grid->HandlersB.GridCommand26); break;
        default: break;
        }
        if (done)
            return true;
    }
    return RunListEditingCommand(window, tag, grid);
}

namespace {

bool RunListEditingCommand(TMainToolsForm& window, int tag, TCV_Grid* grid)
{
    static constexpr TMenuCommand kEditing[] = {
        TMenuCommand::Delete,        TMenuCommand::DeleteToEnd,     TMenuCommand::RestoreDeleted,
        TMenuCommand::RestoreToEnd,  TMenuCommand::Mark,            TMenuCommand::Unmark,
        TMenuCommand::ClearAllMarking, TMenuCommand::FreezeTopRows, TMenuCommand::ReverseDelete,
        TMenuCommand::LemmaMatches,  TMenuCommand::SetUpMatching,   TMenuCommand::SaveLemmaFile};
    if (!OneOf(kEditing, tag) && !OneOf(kMatchCommands, tag))
        return false;
    if (TMenuCommand(tag) == TMenuCommand::SetUpMatching) {
        DoMatchCommand(grid, tag, {});
        return true;
    }
    if (!window.GridMayBeWorkedOn(grid))
        return true;
    TCVStatusBar* statusBar = window.AdvOfficeStatusBar1;
    const int row = std::max(1, grid->Row());
    bool rowsChanged = false;
    switch (TMenuCommand(tag)) {
    case TMenuCommand::Delete: rowsChanged = DeleteSelectedRows(grid, true); break;
    case TMenuCommand::RestoreDeleted: rowsChanged = DeleteSelectedRows(grid, false); break;
    case TMenuCommand::DeleteToEnd: rowsChanged = DeleteOrRestoreToEnd(grid, statusBar, row, true); break;
    case TMenuCommand::RestoreToEnd: rowsChanged = DeleteOrRestoreToEnd(grid, statusBar, row, false); break;
    case TMenuCommand::ReverseDelete: rowsChanged = ReverseDeletion(grid, statusBar); break;
    case TMenuCommand::Mark: MarkRow(grid, row, true); break;
    case TMenuCommand::Unmark:
    case TMenuCommand::ClearAllMarking: MarkRow(grid, row, false); break;
    case TMenuCommand::FreezeTopRows: FreezeTopRows(grid); break;
    case TMenuCommand::LemmaMatches: rowsChanged = ComputeLemmaMatches(grid); break;
    case TMenuCommand::SaveLemmaFile:
        // A list without forms joined under head words has nothing to save.
        if (LemmaLinesOfList(*grid->List()).isEmpty())
            NotApplicableExplanation();
        else
            SaveLemmasAsLemmaList(*grid->List());
        break;
    default:
        rowsChanged = DoMatchCommand(grid, tag, [statusBar](const QString& text) {
                          statusBar->PutAStatusbarMessage(kPanelInfo, text);
                      }) > 0;
        break;
    }
    if (rowsChanged) {
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
        window.RefreshDataDisplay();
        grid->Refresh();
    }
    return true;
}

} // namespace

void AddListEditingHandlers(TMainToolsForm& window, TCVGridHandlersA& a)
{
    QPointer<TMainToolsForm> guarded(&window);
    const auto mayWorkOn = [guarded](TCV_Grid* grid) { return guarded && guarded->GridMayBeWorkedOn(grid); };
    const auto rowsChanged = [guarded](TCV_Grid* grid) {
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
        if (guarded)
            guarded->RefreshDataDisplay();
        grid->Refresh();
    };
    a.ClearSetColumn = [mayWorkOn](TCV_Grid* grid) {
        if (mayWorkOn(grid))
            ClearSetColumn(grid);
    };
    a.JoinRows = [mayWorkOn, rowsChanged](TCV_Grid* grid, int mode, int targetRow) {
        // The concordance tool joins only on its collocate-like pages (list type 5).
        if (!mayWorkOn(grid) || (current_tool_var == kToolConcordance && grid->ListType != 5))
            return;
        const int row = targetRow > 0 ? targetRow : std::max(1, grid->Row());
        if (JoinOrUnjoinSelectedRows(grid, row, mode == 0, mode == 2))
            rowsChanged(grid);
    };
    a.CellDragOver = [mayWorkOn](TCV_Grid* grid, QObject* source, int column, int row) {
        return mayWorkOn(grid) && JoinTargetUnderMouse(grid, source, column, row);
    };
    a.CellDragDrop = [mayWorkOn, rowsChanged](TCV_Grid* grid, QObject* source, int column, int row) {
        // Rows dropped on a row of their own grid join under it.
        if (!mayWorkOn(grid) || current_tool_var == kToolNoDropJoin || source != grid ||
            EntryIndexOfRow(grid, row) < 0)
            return;
        const std::vector<int> dragged = grid->SelectedEntries();
        const int head = EntryIndexOfRow(grid, row);
        std::vector<int> rows{head};
        for (int e : dragged)
            if (e != head)
                rows.push_back(e);
        if (rows.size() < 2)
            return;
        FollowUndo(*grid->List());
        if (grid->List()->JoinARange(rows, true) > 0) {
            grid->List()->DoPostJoinOrUnjoiningOperation();
            rowsChanged(grid);
        }
    };
    if (!a.EditSetColumnCell)
        a.EditSetColumnCell = [mayWorkOn](TCV_Grid* grid, int column, int row) {
            if (!mayWorkOn(grid) || !grid->List()->IsASetColumnColumn(column))
                return;
            grid->List()->SetActiveSetColumn(column);
            const TCVBaseListObject* e = EntryOfRow(grid, row);
            EditSetColumnCells(grid, e ? e->Category(grid->List()->SetNumberOfColumn(column)) : QString());
        };
    a.InputForGrid = [mayWorkOn](TCV_Grid* grid, const QString& prompt, QString& value) {
        TListEditingDialogs* dialogs = CurrentListEditingDialogs();
        return mayWorkOn(grid) && dialogs && dialogs->InputValue(QString(), prompt, value, 1326);
    };
    // "Delete" and "Restore deleted" on the selected rows.
    a.SelectedRowsCommand = [guarded](TCV_Grid* grid) {
        if (guarded)
            RunListEditingCommand(*guarded, TagOf(TMenuCommand::Delete), grid);
    };
    a.SelectedRowsCommand2 = [guarded](TCV_Grid* grid) {
        if (guarded)
            RunListEditingCommand(*guarded, TagOf(TMenuCommand::RestoreDeleted), grid);
    };
    // A click on a cell: the entries, the row and the cell's whole text on the status bar.
    a.StatusBarCellInfo = [guarded, mayWorkOn](TCV_Grid* grid, int column, int row) {
        if (!guarded || !mayWorkOn(grid) || row < 1)
            return;
        ShowRowStatus(guarded->AdvOfficeStatusBar1, row, grid->List()->Count(), 10, grid->Cells(column, row));
    };
    a.OpenWordCloud = [guarded, mayWorkOn](TCV_Grid* grid) {
        if (mayWorkOn(grid))
            WordCloudOfList(grid, false, guarded->Data() ? guarded->Data()->MainFile.FileName : QString());
    };
    // The page grids remember the row chosen before, the target of a one-row
    // join, and in the typing mode "set categories" keys go into the set column.
    const TOneToolWindowList& pages = ToolWindowList();
    for (int i = 0; i < pages.Count(); ++i) {
        TCV_Grid* grid = pages.GridOfPage(i);
        if (!grid)
            continue;
        TrackJoinTarget(grid);
        if (!grid->Events.OnKeyPress)
            grid->Events.OnKeyPress = [mayWorkOn](TCV_Base_Grid* base, QKeyEvent* event) {
                auto* g = qobject_cast<TCV_Grid*>(base);
                if (!g || !mayWorkOn(g))
                    return false;
                if (GetKeypressMode() != kKeypressSetCategories) {
                    // The Delete key does what Edit > Deleting > Delete does.
                    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier)
                        return g->HandleGridCommand(TMenuCommand::Delete);
                    return false;
                }
                const QString text = event->text().trimmed();
                if (text.isEmpty() && !CategoryMeansClearCategory(event->key()))
                    return false;
                return TypeCategoryKey(g, g->Row(), event->key(), text);
            };
    }
}

void AddListEditingHandlers(TMainToolsForm& window, TCVGridHandlersB& b)
{
    QPointer<TMainToolsForm> guarded(&window);
    const auto mayWorkOn = [guarded](TCV_Grid* grid) { return guarded && guarded->GridMayBeWorkedOn(grid); };
    b.ReduceList = [guarded, mayWorkOn](TCV_Grid* grid) {
        if (!mayWorkOn(grid) || !ReduceList(grid))
            return;
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
        guarded->RefreshDataDisplay();
        grid->Refresh();
    };
    b.AddOrDeleteColumn = [guarded, mayWorkOn](TCV_Grid* grid, int column, bool add) {
        if (!mayWorkOn(grid))
            return;
        // Adding from a grid makes a set column; deleting takes the column given.
        if (AddOrDeleteComputedColumn(grid, add ? 1 : -1, add, column, QString())) {
            ToolWindowList().Last_actions.Include(kActionColumnsChanged);
            guarded->RefreshDataDisplay();
        }
    };
    // "Reverse-delete", with its progress on the status bar.
    b.StatusBarProgressCommand = [guarded](TCV_Grid* grid) {
        if (guarded)
            RunListEditingCommand(*guarded, TagOf(TMenuCommand::ReverseDelete), grid);
    };
    // "Save lemma-file": the list's lemmas into a text file. No command
    // loads a text file into a grid.
    b.SaveOrLoadTextFile = [guarded](TCV_Grid* grid, bool save) {
        if (guarded && save)
            RunListEditingCommand(*guarded, TagOf(TMenuCommand::SaveLemmaFile), grid);
    };
    // "Freeze top rows...".
    b.GridCommand26 = [guarded](TCV_Grid* grid) {
        if (guarded)
            RunListEditingCommand(*guarded, TagOf(TMenuCommand::FreezeTopRows), grid);
    };
    b.SpeakRow = [mayWorkOn](TCV_Grid* grid) {
        if (mayWorkOn(grid))
            SpeakCurrentRow(grid);
    };
}

} // namespace cv
