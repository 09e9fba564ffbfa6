// Part of TFormWordList (ui/wordlist/wordlist_main.h), the word-list window,
// whose members stand in files by topic: its answers to the base window's
// virtual operations (sorting a page by a clicked column, the alphabetical
// page's caption, menu checks, the open dialog, saving guards, help
// contexts) and its small event handlers on the pager and the status bar.

#include "ui/wordlist/wordlist_main.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

#include "gui/cv_grid.h"
#include "gui/cv_status_bar.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "index/index_relationships.h"
#include "model/stats_list.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/tool_data_module.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// Help contexts of the three-way sort dialog on the consistency and the relationships pages.
constexpr int kHelpConsistencySort = 2760;
constexpr int kHelpRelationshipsSort = 4680;

// Whether a file name is one of a corpus index's four files.
bool IsIndexFile(const QString& fileName)
{
    const QString suffix = QLatin1Char('.') + QFileInfo(fileName).suffix().toLower();
    for (const TIndexFileInfo& f : IndexFiles())
        if (suffix == QLatin1String(f.extension))
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Overrides of the base window

void TFormWordList::CorrigeFormScreenRes()
{
    TMainToolsForm::CorrigeFormScreenRes();
    ArrangeToolbarButtons(ContainBoxMainTop);
}

void TFormWordList::RefreshMenuChecks()
{
    TMainToolsForm::RefreshMenuChecks();
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        for (QAction* item : {module->WordList_tag_display_asprefix1, module->WordList_tag_display_hidden1,
                              module->WordList_tag_display_assuffix1, module->WordList_tag_display_hidethewords1,
                              module->Toolbar2})
            if (item && MenuTag(item) >= 0)
                item->setChecked(GetMenuItemChecked(MenuTag(item)));
    // The typing tool bar follows its item; the start screen never shows it.
    // The typing tool bar follows the main tool bar's menu item.
    ContainBoxMainTop->setVisible(GetMenuItemChecked(TMenuCommand::MainToolbar) && fData != nullptr);
}

void TFormWordList::ResetToNoData()
{
    TMainToolsForm::ResetToNoData();
    // The start screen, and the menus fitted to no data: nothing offers to
    // save, print or compute what is gone.
    RefreshDataDisplay();
}

bool TFormWordList::ChooseFileToOpen()
{
    ForceViewOpenFileDialog1.Title = CVChoose1Wordlist;
    return TMainToolsForm::ChooseFileToOpen();
}

void TFormWordList::ShowWizardForChosenTexts(TCVFileDetails* texts)
{
    TMainToolsForm::ShowWizardForChosenTexts(texts);
    CommandChoices().ShowStartWizard(texts);
}

void TFormWordList::HookStatusBarPanelClick()
{
    TMainToolsForm::HookStatusBarPanelClick();
    const std::pair<QWidget*, int> contexts[] = {
        {AdvOfficePageFrequency, 4560},        {AdvOfficePageAlph, 4560},
        {AdvOfficePageIndexFreq, 4560},        {AdvOfficePageIndexAlph, 4560},
        {AdvOfficePageStatistics, 2850},       {AdvOfficePageIndexRelations, 4680},
        {AdvOfficePageKWs, 5290},              {AdvOfficePageFilenames, 1420},
        {AdvOfficePageNotes, 1120},            {AdvOfficePageConsistency, 2760},
        {AdvOfficePageConsistencyRelations, 5360}, {AdvOfficePageKWPlot, 5300},
        {AdvOfficePageKWLinks, 5310},
    };
    // The help button asks the page's control (its grid or memo); both carry the context.
    for (const auto& [page, context] : contexts) {
        SetHelpContext(page, context);
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            SetHelpContext(child, context);
    }
}

void TFormWordList::PageHook()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    const TCVWordList* words = doc ? doc->WordlistOfType(kListWordList) : nullptr;
    if (!words)
        return;
    const QString name = words->CurrentSortName().toLower();
    const QString caption = words->CurrentAlphabeticalSort() == TCVWordList::kSortAlphabetical
                                ? name
                                : CVSort.toString() + QStringLiteral(": ") + name;
    AdvOfficePager1->setTabText(AdvOfficePager1->indexOf(AdvOfficePageAlph), caption);
}

void TFormWordList::SortGridColumn(TCV_Grid* grid, int column)
{
    if (RefusedWhileInUse("sorting"))
        return;
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!grid || !doc || column < 0)
        return;
    const auto firstLevel = [column](TCVBaseDataClass& list) { list.Set1Sort(0, list.HeaderColumnToSortNeeded(column)); };
    bool sorted = true;
    // A sort of many rows shows how far it is and can be stopped: the list
    // then keeps its order and its sort levels, and the page its name.
    const auto sortAll = [this, &sorted](TCVBaseDataClass& list, const std::array<TSortLevel, TCVBaseDataClass::kSortLevels>& before) {
        sorted = SortShowingProgress(list);
        if (!sorted) {
            list.SetSortLevels(before);
            PageHook();
        }
    };
    switch (grid->KindOfDisplay) {
    case kGridKindFrequency:
        // The frequency page keeps its order: the alphabetical page of the same list sorts.
        ActivatePage(grid->ListType == kListIndexWordList ? AdvOfficePageIndexAlph : AdvOfficePageAlph);
        return;
    case kGridKindAlphabetical: {
        TCVBaseDataClass* list = grid->List();
        if (!list)
            return;
        const auto before = list->SortLevels();
        list->ToggleMainSortAscends();
        firstLevel(*list);
        list->SetSecondSortAsWordSort();
        PageHook();
        sortAll(*list, before);
        break;
    }
    case kGridKindConsistency: {
        TDetailedConsistencyList* list = doc->fDetailedConsistencyList.get();
        if (!list)
            return;
        list->ToggleMainSortAscends();
        firstLevel(*list);
        if (list->IsASetColumnColumn(column)) {
            // A category column sorts on its categories alone.
            list->CompleteResort();
            break;
        }
        TThreeWaySortChoice choice;
        sorted = CommandChoices().ThreeWaySort(*list, column, kHelpConsistencySort, choice);
        if (sorted) {
            SetThreeSorts(*list, choice, [list](int c) { return list->IntegerToDCSort(c); });
            list->CompleteResort();
        }
        break;
    }
    case kGridKindStatistics:
        if (!doc->fStats)
            return;
        {
            const auto before = doc->fStats->SortLevels();
            firstLevel(*doc->fStats);
            doc->fStats->ToggleMainSortAscends();
            sortAll(*doc->fStats, before);
        }
        break;
    case kGridKindFilenames:
        if (!doc->fCVBaseFilenames)
            return;
        {
            const auto before = doc->fCVBaseFilenames->SortLevels();
            doc->fCVBaseFilenames->ToggleMainSortAscends();
            doc->fCVBaseFilenames->SetSortToFNameSort();
            sortAll(*doc->fCVBaseFilenames, before);
        }
        break;
    case kGridKindKeyWords:
        if (!doc->fKeywordsList)
            return;
        doc->fKeywordsList->ToggleMainSortAscends();
        firstLevel(*doc->fKeywordsList);
        doc->fKeywordsList->DoASort(doc->fKeywordsList->Count() - 1);
        break;
    case kGridKindIndexRelations: {
        TRelationshipsList* list = doc->fIndexHandler ? doc->fIndexHandler->fRelationshipsList.get() : nullptr;
        if (!list)
            return;
        list->ToggleMainSortAscends();
        firstLevel(*list);
        TThreeWaySortChoice choice;
        sorted = CommandChoices().ThreeWaySort(*list, column, kHelpRelationshipsSort, choice);
        if (sorted) {
            SetThreeSorts(*list, choice, [](int c) { return TRelationshipsList::TrueColumnToMISort(c); });
            QApplication::setOverrideCursor(Qt::WaitCursor);
            list->CompleteResort();
            QApplication::restoreOverrideCursor();
        }
        break;
    }
    case kGridKindConsistencyRelations: {
        TConsistencyRelationsList* list =
            doc->fDetailedConsistencyList ? doc->fDetailedConsistencyList->RelationsList() : nullptr;
        if (!list)
            return;
        list->ToggleMainSortAscends();
        firstLevel(*list);
        list->DoASort(list->Count() - 1);
        break;
    }
    default:
        return;
    }
    if (!sorted)
        return;
    // The list's own order shows, not a view sort of an earlier click.
    grid->ClearViewSort();
    grid->Refresh();
}

bool TFormWordList::SortShowingProgress(TCVBaseDataClass& list)
{
    THourglass busy;
    TDocumentUse inUse(*this);
    global_panic_state = kPanicRun;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    GlobalProgress().ProgressShortMessage(CVSort.toString());
    TProgressSteps steps;
    TCVBaseDataClass::TSortInSteps inSteps(list, [&steps](int64_t done, int64_t all) { return steps.Step(done, all); });
    list.DoASort(list.Count() - 1);
    GlobalProgress().Hide();
    // The sort's values of every entry are gone.
    GiveBackFreedMemory();
    const bool stopped = inSteps.Stopped();
    global_panic_state = kPanicRun;
    return !stopped;
}

bool TFormWordList::Save(TCV_Grid* grid) { return TMainToolsForm::Save(grid); }

bool TFormWordList::SaveGridData(TCV_Grid* grid, const QString& fileName)
{
    if (!fData)
        return false;
    if (!IsIndexFile(fileName))
        return TMainToolsForm::SaveGridData(grid, fileName);
    // An index document shown from its index: its word list goes into a
    // word-list file of its own, never over the index.
    QString name = QFileInfo(IndexBaseName(fileName)).filePath() + QStringLiteral(".lst");
    if (!AskSaveFileName(ForceViewSaveFileDialog1, current_tool_var, name) || IsIndexFile(name))
        return false;
    return TMainToolsForm::SaveGridData(grid, name);
}

// ---------------------------------------------------------------------------
// Event handlers

bool TFormWordList::AdvOfficePager1Changing()
{
    const TCV_Grid* grid = ToolWindowList().CurrentGrid();
    const bool busy = Global_Busy_Dont_Show_Data || (grid && grid->List() && grid->List()->ListBusy() != kListNotBusy);
    if (!busy)
        return true;
    MyYieldProcess();
    return false;
}

bool TFormWordList::AdvOfficeStatusBar1DragOver(QObject* source, int x) const
{
    return qobject_cast<TCV_Base_Grid*>(source) != nullptr && x > panel_joined_positions.left &&
           x < panel_joined_positions.right;
}

void TFormWordList::AdvOfficeStatusBar1DragDrop(QObject* source)
{
    if (RefusedWhileInUse("joining dropped rows"))
        return;
    const QString word = AdvOfficeStatusBar1->PanelText(kPanelWord).trimmed();
    if (word.isEmpty() || !HasData())
        return;
    auto* grid = qobject_cast<TCV_Grid*>(source);
    if (!grid)
        grid = ToolWindowList().CurrentGrid();
    if (!GridMayBeWorkedOn(grid))
        return;
    TCVBaseDataClass* list = grid->List();
    const int head = list->Find_WordStr(word, false);
    if (head < 0)
        return;
    std::vector<int> rows{head};
    for (int entry : grid->SelectedEntries())
        if (entry != head)
            rows.push_back(entry);
    if (rows.size() < 2 || list->JoinARange(rows, true) <= 0)
        return;
    ToolWindowList().Last_actions.Include(kActionRowsChanged);
    grid->Refresh();
}

bool TFormWordList::OpenMovingWindowPlotFile(const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return false;
    CommandChoices().OpenMovingWindowPlot(fileName);
    return true;
}

bool TFormWordList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ElComboBoxTyping->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && EditTypingKeyDown(13))
            return true;
    } else if (watched == AdvOfficePager1->tabBar()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            if (!AdvOfficePager1Changing())
                return true;
            break;
        default:
            break;
        }
    } else if (watched == AdvOfficeStatusBar1 &&
               (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
                event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        // Rows come from a grid's table view: the grid is the view's parent.
        QObject* source = drop->source();
        if (source && source->parent() && qobject_cast<TCV_Base_Grid*>(source->parent()))
            source = source->parent();
        const int x = drop->position().toPoint().x();
        if (!AdvOfficeStatusBar1DragOver(source, x)) {
            // Entering may start left of the panels; later moves decide.
            if (event->type() == QEvent::DragEnter && qobject_cast<TCV_Base_Grid*>(source))
                drop->acceptProposedAction();
            else
                drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            AdvOfficeStatusBar1DragDrop(source);
        return true;
    }
    return TMainToolsForm::eventFilter(watched, event);
}

void TFormWordList::InstallStatusBarDrops()
{
    AdvOfficeStatusBar1->setAcceptDrops(true);
    AdvOfficeStatusBar1->installEventFilter(this);
    AdvOfficePager1->tabBar()->installEventFilter(this);
}

bool TFormWordList::RestoreClientSizeFromHolder()
{
    if (!fData)
        return false;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int dpi = screen ? int(screen->logicalDotsPerInch()) : 96;
    int height = 0, width = 0;
    bool hasHeight = false, hasWidth = false;
    fData->TryToGetClientHeightOrWidth(dpi, true, height, hasHeight);
    fData->TryToGetClientHeightOrWidth(dpi, false, width, hasWidth);
    if (!hasHeight || !hasWidth || height <= 0 || width <= 0)
        return false;
    // Never larger than the monitor the window is on.
    if (screen) {
        height = std::min(height, screen->availableGeometry().height());
        width = std::min(width, screen->availableGeometry().width());
    }
    resize(width, height);
    return true;
}

} // namespace cv
