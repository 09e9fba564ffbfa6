#include "ui/framework/tool_pages.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextEdit>

#include <algorithm>

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_status_bar.h"
#include "model/lemma_match_list.h"
#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"

namespace cv {

std::array<bool, 4> Global_stopLemmaMatchLoaded{};

namespace {

// Help contexts of the typing tool bar and of the status bar.
constexpr int kToolbarHelpContext = 1300;
constexpr int kStatusBarHelpContext = 4380;

// The memo of the notes page carries the notes list type in its tag.
constexpr int kNotesTag = kListNotes;

void WalkMenu(QWidget* menu, const std::function<void(QAction*)>& visit)
{
    for (QAction* a : menu->actions()) {
        if (a->menu())
            WalkMenu(a->menu(), visit);
        visit(a);
    }
}

bool HasVisibleSubItem(const QAction* a)
{
    if (!a->menu())
        return false;
    for (const QAction* sub : a->menu()->actions())
        if (sub->isVisible() && !sub->isSeparator())
            return true;
    return false;
}

} // namespace

int MenuTag(const QAction* action)
{
    bool ok = false;
    const int tag = action ? action->data().toInt(&ok) : 0;
    return ok ? tag : TagOf(TMenuHeader::NoCommand);
}

void SetMenuTag(QAction* action, int tag) { action->setData(tag); }

TOneToolWindowList& ToolWindowList()
{
    static TOneToolWindowList list;
    return list;
}

uint32_t GridOptionsForListType(uint8_t listType)
{
    uint32_t options = kGridOptionVerticalLines;
    if (listType == kListConcordance || listType == kListTimeline)
        options |= kGridOptionRowResizing;
    return options;
}

int MinimumFirstColumnWidth(uint8_t kindOfDisplay, int pagerWidth)
{
    // Row numbers need little room; plots and concordance-like kinds a little more.
    const int base = kindOfDisplay == kGridKindPlot ? 60 : 48;
    return std::max(base, pagerWidth / 40);
}

TOneToolWindowList::TOneToolWindowList() : GeneralCellHandler(std::make_unique<TCVGridCellHandler>()) {}

TOneToolWindowList::~TOneToolWindowList() = default;

TOneToolWindowHolder* TOneToolWindowList::Items(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[size_t(index)].get();
}

void TOneToolWindowList::Add(const TOneToolWindowDataRec& rec)
{
    m_items.push_back(std::make_unique<TOneToolWindowHolder>(rec));
}

void TOneToolWindowList::Clear()
{
    CurrentToolWindowHolder = nullptr;
    SubPageLists.clear();
    m_items.clear();
}

TCV_Grid* TOneToolWindowList::CurrentGrid() const
{
    if (!CurrentToolWindowHolder)
        return nullptr;
    if (auto* grid = qobject_cast<TCV_Grid*>(CurrentToolWindowHolder->data.the_object.data()))
        return grid;
    for (int i = 1; i < Count(); ++i)
        if (auto* grid = qobject_cast<TCV_Grid*>(m_items[size_t(i)]->data.the_object.data()))
            return grid;
    return nullptr;
}

TCV_Grid* TOneToolWindowList::GridOfPage(int index) const
{
    const TOneToolWindowHolder* h = Items(index);
    if (!h || h->data.datatype != tw_grid)
        return nullptr;
    return qobject_cast<TCV_Grid*>(h->data.the_object.data());
}

int32_t TOneToolWindowList::PageIndexOfHolder(int index) const
{
    const TOneToolWindowHolder* h = Items(index);
    return h ? h->data.page_index : -2;
}

uint8_t TOneToolWindowList::ListTypeOfPage(int index) const
{
    const TOneToolWindowHolder* h = Items(index);
    return h ? h->data.ListType : uint8_t(kListNone);
}

const TCVBaseDataClass* TOneToolWindowHolder::AsBaseList(const TCVBaseLemmaMatchCapableList* list) { return list; }

void TOneToolWindowList::SetListOfPage(int index, TCVBaseLemmaMatchCapableList* list)
{
    if (TOneToolWindowHolder* h = Items(index))
        h->SetList(list);
}

void TOneToolWindowList::ClearBaseList(int index)
{
    if (index > 0 && index < Count())
        m_items[size_t(index)]->SetList(nullptr);
}

TTool_window_type TOneToolWindowList::SetCurrentGridToTab(int tab)
{
    CurrentToolWindowHolder = nullptr;
    for (const auto& h : m_items) {
        if (h->data.page_index != tab)
            continue;
        CurrentToolWindowHolder = h.get();
        if (auto* grid = qobject_cast<TCV_Grid*>(h->data.the_object.data())) {
            GeneralCellHandler->SetCurrentGrid(grid);
            grid->MatchGridToListType(h->data.ListType, h->data.KindOfDisplay, h->data.CVList);
        }
        return h->data.datatype;
    }
    return tw_mainscreen;
}

void TOneToolWindowList::TellAllGrids(int code)
{
    for (int i = 1; i < Count(); ++i)
        if (TCV_Grid* grid = GridOfPage(i); grid && grid->isVisible())
            grid->Refresh();
}

void TOneToolWindowList::SetAllGridsToStyle()
{
    const TRulerPlotWordCloudFeatures colours = GetRulerPlotWordCloudFeatures();
    GeneralCellHandler->SetRulerPlotWordCloudFeatures(colours);
    for (int i = 1; i < Count(); ++i)
        if (TCV_Grid* grid = GridOfPage(i))
            grid->Refresh();
}

void TOneToolWindowList::SetAllGridsNumberDisplay(TNumberDisplay display)
{
    for (int i = 1; i < Count(); ++i)
        if (TCV_Grid* grid = GridOfPage(i))
            grid->SetNumberDisplay(display);
}

void TOneToolWindowList::FitMenuToListType(QWidget* menuBar, TCV_Grid* grid, bool force,
                                           const TMenuSetProvider& menuSet)
{
    // A page of text (the notes) has the menus of its own list type, not those of a grid.
    const TOneToolWindowHolder* current = CurrentToolWindowHolder;
    const bool textPage = grid && current && (current->data.datatype == tw_Memo || current->data.datatype == tw_Richedit);
    const uint8_t listType = textPage ? current->data.ListType : grid ? grid->ListType : uint8_t(kListNone);
    const uint8_t kind = textPage ? uint8_t(kGridKindNone) : grid ? grid->KindOfDisplay : uint8_t(kGridKindNone);
    if (textPage)
        grid = nullptr;
    if (!menuBar)
        return;
    if (!force && listType == last_menu_fit.for_list && kind == last_menu_fit.for_grid)
        return;
    last_menu_fit.for_list = listType;
    last_menu_fit.for_grid = kind;
    last_menu_fit.for_page = grid ? tw_grid : tw_mainscreen;

    const TMenuTagSet set = menuSet ? menuSet(listType, kind) : TMenuTagSet().set();
    menuBar->setUpdatesEnabled(false);
    // Leaves first, so that a submenu header knows whether a child is visible.
    WalkMenu(menuBar, [&](QAction* a) {
        if (a->isSeparator())
            return;
        const int tag = MenuTag(a);
        bool visible;
        if (tag < 0)
            visible = a->menu() ? HasVisibleSubItem(a) || tag == TagOf(TMenuHeader::TopLevelMenu) : true;
        else
            visible = (tag <= kLastCheckableMenuTag && set.test(size_t(tag))) || HasVisibleSubItem(a);
        if (tag == TagOf(TMenuCommand::ActiveColumn)) {
            TCVBaseDataClass* list = grid ? grid->List() : nullptr;
            visible = visible && list;
            if (list) {
                const int column = list->ActiveSetColumn();
                a->setText(Format(CVActiveColumnNumberAndHeading, {column, list->Heading(column)}));
            }
        } else if (tag == TagOf(TMenuCommand::SettingsOfTool)) {
            a->setText(Format(CVXToolMainControllerSettings, {Tool_Name(current_tool_var)}));
        } else if (tag == TagOf(TMenuCommand::SaveAsOwnFormat)) {
            a->setText(Format(CVSaveAsOther, {ListTypeName(listType)}));
            visible = visible && !DefaultExtFromListType(listType).isEmpty();
        }
        a->setVisible(visible);
        // A top-level menu stays in the menu bar, but one with nothing to
        // show cannot be opened: an empty popup would keep it from ever
        // opening again on some window systems (it is never mapped).
        if (tag == TagOf(TMenuHeader::TopLevelMenu) && a->menu())
            a->setEnabled(HasVisibleSubItem(a));
        if (visible && tag >= 0 && tag <= kLastCheckableMenuTag && a->isCheckable())
            a->setChecked(GetMenuItemChecked(tag));
    });
    menuBar->setUpdatesEnabled(true);

    if (grid && (kind == kGridKindPlot || kind == kGridKindAlphabetical || kind == kGridKindStatistics)) {
        if (GetMenuItemChecked(TMenuCommand::Ruler)) {
            grid->SetGridOptions(grid->GridOptions | kGridOptionVerticalLines);
            GeneralCellHandler->SetRulerPlotWordCloudFeatures(GetRulerPlotWordCloudFeatures());
        } else {
            grid->SetGridOptions(grid->GridOptions & ~kGridOptionVerticalLines);
        }
    }
}

void TOneToolWindowList::ShowToolbarAndStatusBar(QWidget* toolbar, TCVStatusBar* statusBar)
{
    if (toolbar) {
        toolbar->setVisible(GetMenuItemChecked(TMenuCommand::MainToolbar) && fHasData);
        toolbar->setProperty("helpContext", kToolbarHelpContext);
    }
    if (statusBar) {
        statusBar->setProperty("helpContext", kStatusBarHelpContext);
        const bool visible = GetMenuItemChecked(TMenuCommand::StatusBar);
        statusBar->setVisible(visible);
        if (visible)
            statusBar->SetStatusbarTypeSetButtonActive(fHasData);
    }
}

void TOneToolWindowList::BuildToolWindowPages(QWidget* window, QTabWidget* pager, QWidget* toolbar,
                                              TCVStatusBar* statusBar, QMenu* statusBarPopup, QMenu* gridPopup,
                                              QMenu* sourceTextPopup, QMenu* notesPopup)
{
    // No string loading limit is taken from the settings: every reader of a
    // saved string bounds it by the bytes left in its stream (cv_stream.h),
    // which no setting could make safer. Nor is a spare setting read to
    // decide whether grids get their list type's default number: the
    // settings buffer holds no such value, and every grid gets it (see
    // MakePageHolder), as it would for any value of it but one.
    // Crash reports go to the user's own folder (a program built without
    // crash reporting has no options to set).
    if (CrashboxActivated())
        CurrentCrashboxOptions().SetOutputPath(GetUserReadWriteFolder().toStdString());
    ShowToolbarAndStatusBar(toolbar, statusBar);

    Clear();
    Add(TOneToolWindowDataRec{});
    if (pager)
        for (int i = 0; i < pager->count(); ++i)
            MakePageHolder(pager->widget(i), i + 1, window, pager, gridPopup, sourceTextPopup, notesPopup);

    if (statusBar)
        statusBar->SetPopupMenu(statusBarPopup);
    if (pager) {
        pager->hide();
        if (pager->count() > 0)
            pager->setCurrentIndex(0);
    }

    for (uint8_t kind = 0; kind < 4; ++kind) {
        const auto k = TLemmatiserListKind(kind);
        const bool loaded = TLemmatiser::Instance().IsLoaded(current_tool_var, k);
        if (!GetLemmaMatchStopWanted(current_tool_var, kind)) {
            if (loaded) {
                ClearOne(current_tool_var, k);
                Global_stopLemmaMatchLoaded[kind] = false;
            }
            continue;
        }
        const QString file = GetLemmaMatchStopFilename(current_tool_var, kind);
        if (!file.isEmpty() && QFileInfo::exists(file) && !loaded)
            LoadLemmaMatchStopList(kind);
    }
}

void TOneToolWindowList::MakePageHolder(QWidget* page, int32_t pageIndex, QWidget* window, QTabWidget* pager,
                                        QMenu* gridPopup, QMenu* sourceTextPopup, QMenu* notesPopup)
{
    // The first grid, memo or rich edit of the page, depth first; panels are searched in turn.
    const auto shows = [](QWidget* w) {
        return qobject_cast<TCV_Grid*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w);
    };
    std::function<QWidget*(QWidget*)> find = [&](QWidget* parent) -> QWidget* {
        for (QObject* child : parent->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (!w)
                continue;
            if (shows(w))
                return w;
            if (QWidget* inner = find(w))
                return inner;
        }
        return nullptr;
    };
    // A page may be the control itself.
    QWidget* control = shows(page) ? page : find(page);
    if (!control)
        return;

    TOneToolWindowDataRec rec;
    rec.page_index = pageIndex;
    rec.the_object = control;
    if (auto* grid = qobject_cast<TCV_Grid*>(control)) {
        rec.datatype = tw_grid;
        SetUpPageGrid(grid, window, pager, gridPopup);
        rec.ListType = grid->ListType;
        rec.KindOfDisplay = grid->KindOfDisplay;
    } else if (qobject_cast<QPlainTextEdit*>(control)) {
        rec.datatype = tw_Memo;
        // A memo page names its list type in its "tag" (26 the notes).
        if (const QVariant tag = control->property("tag"); tag.isValid())
            rec.ListType = uint8_t(tag.toInt());
        if (control->property("tag").toInt() == kNotesTag && notesPopup) {
            control->setContextMenuPolicy(Qt::CustomContextMenu);
            QObject::connect(control, &QWidget::customContextMenuRequested, notesPopup,
                             [control, notesPopup](const QPoint& p) { notesPopup->popup(control->mapToGlobal(p)); });
        }
    } else {
        rec.datatype = tw_Richedit;
        rec.ListType = kListSecondText;
        if (sourceTextPopup) {
            control->setContextMenuPolicy(Qt::CustomContextMenu);
            QObject::connect(control, &QWidget::customContextMenuRequested, sourceTextPopup,
                             [control, sourceTextPopup](const QPoint& p) {
                                 sourceTextPopup->popup(control->mapToGlobal(p));
                             });
        }
    }
    // The control fills its page.
    if (QWidget* parent = control->parentWidget(); parent && parent->layout() == nullptr)
        control->setGeometry(parent->rect());
    Add(rec);
}

void TOneToolWindowList::SetUpPageGrid(TCV_Grid* grid, QWidget* window, QTabWidget* pager, QMenu* gridPopup)
{
    grid->MainWindow = window;
    grid->CellHandler = GeneralCellHandler.get();
    grid->SetDefaultRowHeight(24);
    grid->SetPopupMenu(gridPopup);
    grid->DefaultNumber = DefaultNumberForListType(grid->ListType);
    grid->ClipboardSettings = GetClipboardSettings();
    grid->SetGridOptions(GridOptionsForListType(grid->ListType));
    grid->SetLinesPerRow(1);
    if (grid->ListType == kListConcordance) {
        uint32_t options = grid->GridOptions;
        if (GetMenuItemChecked(TMenuCommand::SearchWordToCentre))
            options |= kGridOptionNoHorizontalShift;
        if (GetMenuItemChecked(TMenuCommand::SearchWordPadding))
            options |= kGridOptionPadSearchWord;
        grid->SetGridOptions(options | kGridOptionRowResizing);
    } else if (grid->ListType == kListTimeline) {
        grid->SetLinesPerRow(3);
        grid->SetGridOptions(grid->GridOptions | kGridOptionRowResizing);
    }
    const int minWidth = MinimumFirstColumnWidth(grid->KindOfDisplay, pager ? pager->width() : 0);
    if (grid->ColCount() > 0 && grid->ColWidths(0) < minWidth)
        grid->SetColWidths(0, minWidth);
    grid->RecordOriginalColumns();
}

bool TOneToolWindowList::LoadLemmaMatchStopList(uint8_t kind)
{
    m_loadingKind = kind;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString file = GetLemmaMatchStopFilename(current_tool_var, kind);
    bool loaded = false;
    if (!file.isEmpty()) {
        const TListSettingsRec settings = GetListSettingsByListType(kind, current_tool_var);
        const TTextSettings text = GetTextSettings();
        loaded = LoadedOne(current_tool_var, TLemmatiserListKind(kind), file, settings,
                           [this](int n, const QString& name) { SetNLines(n, name); },
                           [this](int count) { ShowDLLProgress(count); }, text.LanguageId()) != 0;
    }
    Global_stopLemmaMatchLoaded[kind & 3] = loaded;
    GlobalProgress().ThisPercent(0);
    const QString outcome = loaded ? CVListIsLoaded : CVListIsntLoaded;
    GlobalProgress().ProgressShortMessage(outcome);
    if (LoggingIsOn())
        AddToLogFile(outcome + QStringLiteral(": ") + file);
    QApplication::restoreOverrideCursor();
    return loaded;
}

void TOneToolWindowList::SetNLines(int n, const QString& fileName)
{
    DLLN_Lines = std::max(n, 1);
    GlobalProgress().ClearBarsOnly();
    GlobalProgress().ProgressShortMessage(Format(CVLoadingX, {fileName}));
    MyYieldProcess();
}

void TOneToolWindowList::ShowDLLProgress(int count)
{
    MyYieldProcess();
    if (global_panic_state == kPanicRun)
        GlobalProgress().ThisPercent(int(int64_t(count) * 100 / DLLN_Lines));
    else
        CancelOne(current_tool_var, TLemmatiserListKind(m_loadingKind));
}

} // namespace cv
