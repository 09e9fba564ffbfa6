#include "ui/framework/main_tools_form.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "gui/drop_files.h"
#include "maths/statistics.h"
#include "model/check_signature.h"
#include "model/chosen_files.h"
#include "model/corvantis_holder.h"
#include "model/lemma_match_list.h"
#include "runtime/controller_link.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/dialogs.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"
#include "textread/tag_handler.h"
#include "ui/framework/control_helpers.h"
#include "ui/framework/controller_commands.h"
#include "ui/framework/customise_menu.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/wizard_base.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/tool_data_module.h"

namespace cv {

namespace {

// How long the language dialog waits for the controller to take the language.
constexpr int kLanguageAcknowledgeMs = 3000;
constexpr int kHelpRelativeEntropy = 6130;
constexpr int kHelpShowFileNames = 5330;
// The grid's current item (the entry found last by typing), a dynamic property of the grid.
constexpr const char* kCurrentItemProperty = "cvCurrentItem";

// The list type of the notes page.
constexpr uint8_t kNotesListType = kListNotes;

QString WithoutFolder(const QString& fileName) { return QFileInfo(fileName).fileName(); }

std::vector<uint8_t> ListTypesOf(TListTypeSet set)
{
    std::vector<uint8_t> types;
    for (uint8_t t = 0; t < 64; ++t)
        if ((set >> t) & 1u)
            types.push_back(t);
    return types;
}

} // namespace

TCVStored_File_rec& StartupOpenFileRec()
{
    static TCVStored_File_rec rec{QString(), 0, 0, kListNone};
    return rec;
}

// ---------------------------------------------------------------------------
// Creation and destruction

TMainToolsForm::TMainToolsForm(QWidget* parent, const TMainToolsFormOptions& options)
    : QMainWindow(parent), m_options(options)
{
    AdvPopupMenuNotes = new QMenu(this);
    TimerAutoSaving = new QTimer(this);
    TimerAutoSaving->setInterval(0);
    TimerAutoSaving->stop();
    connect(TimerAutoSaving, &QTimer::timeout, this, [this] { TimerAutoSavingTimer(); });
    AdvOfficeStatusBar1 = new TCVStatusBar(this);
    setStatusBar(AdvOfficeStatusBar1);
    PopupMenuStatusBar = new QMenu(this);
    PopupMenuLastFile = new QMenu(this);
    PopupMenuForGrids = new QMenu(this);
    PopupMenuSourceText = new QMenu(this);
    PopupSourceTextSave = PopupMenuSourceText->addAction(CVSaving.toString());
    PopupSourceTextCopy = PopupMenuSourceText->addAction(QStringLiteral("Copy"));
    Refresh1 = PopupMenuSourceText->addAction(QStringLiteral("Refresh"));
    connect(PopupSourceTextSave, &QAction::triggered, this, [this] { PopupSourceTextSaveClick(); });
    connect(PopupSourceTextCopy, &QAction::triggered, this, [this] { PopupSourceTextCopyClick(); });
    connect(Refresh1, &QAction::triggered, this, [this] { PopupMenuSourceTextRefreshClick(); });
    Copy1 = AdvPopupMenuNotes->addAction(QStringLiteral("Copy"));
    Paste1 = AdvPopupMenuNotes->addAction(QStringLiteral("Paste"));
    Cut1 = AdvPopupMenuNotes->addAction(QStringLiteral("Cut"));
    connect(Copy1, &QAction::triggered, this, [this] { if (QPlainTextEdit* n = NotesEditor()) n->copy(); });
    connect(Paste1, &QAction::triggered, this, [this] { if (QPlainTextEdit* n = NotesEditor()) n->paste(); });
    connect(Cut1, &QAction::triggered, this, [this] { if (QPlainTextEdit* n = NotesEditor()) n->cut(); });

    // The window receives the suite's messages; the suite posts back to it.
    m_messageWindow = std::make_unique<TMessageWindow>(
        [this](uint32_t msg, uint64_t w, int64_t l) { WindowMessage(msg, w, l); }, nullptr);
    mini_global_own_HWnd = m_messageWindow->Handle();

    if (m_options.startController)
        StartAnApp(kToolController);

    // The window takes the menus of the data module, when the program made one.
    UseDataModuleMenus();
    setAcceptDrops(true);

    // The typing mode the tool starts in.
    if (current_tool_var == kToolConcordance) {
        SetMenuItemChecked(TMenuCommand::TypeIn, false);
        SetMenuItemChecked(TMenuCommand::SetCategories, true);
    } else if (current_tool_var == kToolWordList || current_tool_var == kToolKeyWords || current_tool_var == 3) {
        SetMenuItemChecked(TMenuCommand::TypeIn, true);
        SetMenuItemChecked(TMenuCommand::SetCategories, false);
    }

    // The window's link to the suite: crash reports, logging, registration, shortcuts.
    ToolClosing = false;
    SetUpToolWindowLink(m_messageWindow->Handle());
    ToolWindowList().GeneralCellHandler->InitialSetup(GetTextSettings(),
                                                      GetMenuItemChecked(TMenuCommand::SearchWordPadding));
    ToolWindowList().GeneralCellHandler->SetRulerPlotWordCloudFeatures(GetRulerPlotWordCloudFeatures());

    // A text that cannot be chosen (missing, unreadable, a mask finding
    // nothing) is an expected failure: the user is told and the other texts
    // stay chosen. (Aborting the operation here would drop the whole choice.)
    ChosenTexts = std::make_unique<TCVFileDetails>(GetRestrictTo3LetterExtensions(),
                                                   [](const QString& message) { ReportedAFact(message); });

    panel_joined_positions =
        HookStatusBarToProgress(*AdvOfficeStatusBar1, [this](int panel) { AdvOfficeStatusBar1PanelClick(panel); });

    FillRecentFileMenu();
    FillGridPopup();
    connect(PopupMenuForGrids, &QMenu::aboutToShow, this, [this] { FillGridPopup(); });
}

TMainToolsForm::~TMainToolsForm()
{
    m_destroying = true;
    TimerAutoSaving->stop();
    NoteToolClosing();
    CloseData(false);
    // Nothing may reach the window's parts once they go.
    GlobalProgress().SetProgressStatusBar(nullptr);
    if (OwnsPages())
        ToolWindowList().Clear();
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->SetCommandTarget(this, nullptr);
    if (mini_global_own_HWnd == m_messageWindow->Handle())
        UnregisterOwnWindowFromController();
}

TWindowHandle TMainToolsForm::WindowHandle() const { return m_messageWindow->Handle(); }

void TMainToolsForm::FormCreate()
{
    // The first idle moment runs the start-up (command line, last file).
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isActiveWindow())
            AppActivate();
    });
}

void TMainToolsForm::FormShow()
{
    // Fonts and tool-bar layout follow the screen the window is on.
    if (QWindow* handle = windowHandle()) {
        connect(handle, &QWindow::screenChanged, this, [this] { CorrigeFormScreenRes(); });
        if (QScreen* screen = handle->screen())
            connect(screen, &QScreen::logicalDotsPerInchChanged, this, [this] { CorrigeFormScreenRes(); });
    }
    ShowHook(true);
    GlobalProgress().Hide();
    WaitForControllerMainToolWindow(m_options.controllerWaitMs);
    HookStatusBarPanelClick();
    if (!PopupMenuLastFile->isEmpty())
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo, PopupMenuLastFile->actions().constFirst()->text());
    raise();
    activateWindow();
}

void TMainToolsForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainToolsForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // With several windows of the tool, the one the user works in is the
        // one the controller answers.
        if (!m_destroying && GetToolWnd(current_tool_var) != 0)
            SetActiveMainToolWindow(current_tool_var, WindowHandle());
        AppActivate();
    }
}

void TMainToolsForm::closeEvent(QCloseEvent* event)
{
    terminating_app = true;
    if (CloseQueryChecks()) {
        event->accept();
    } else {
        terminating_app = false;
        event->ignore();
    }
}

void TMainToolsForm::FillRecentFileMenu()
{
    PopupMenuLastFile->clear();
    AddLastFileMenuItems(PopupMenuLastFile, current_tool_var, [this](QAction* item) { Lastfile1Click(item); });
    // A folder beginning with n would read as a line break.
    for (QAction* item : PopupMenuLastFile->actions())
        item->setText(RecentFileCaptionText(item->text()));
}

void TMainToolsForm::UseDataModuleMenus()
{
    TDataModuleCorvantis* module = DataModuleCorvantis();
    if (!module)
        return;
    for (QMenu* menu : module->MainMenuDModule())
        menuBar()->addMenu(menu);
    // Every command of the menus comes to this window.
    module->SetCommandTarget(this, [this](QAction* item) { HandleMenuItemClick(item); });
    SetMenuSetProvider([module](uint8_t listType, uint8_t kind) { return module->MenuSetForListType(listType, kind); });
    module->UpdateAllMenuShortCutsFromTextbuf();
}

void TMainToolsForm::FillGridPopup()
{
    // The right-click menu of the grids: the commands the user chose for it.
    TDataModuleCorvantis* module = DataModuleCorvantis();
    if (!module)
        return;
    TToolButtonTable none;
    BuildMenuAndToolButtons(PopupMenuForGrids, nullptr, none, module->PopupMenuItems,
                            [this](QAction* copy) { HandleMenuItemClick(copy); });
}

// ---------------------------------------------------------------------------
// Messages

bool TMainToolsForm::WindowMessage(uint32_t msg, uint64_t wparam, int64_t lparam)
{
    switch (msg) {
    case kMsgControllerCommand:
        WMControllerCommand(wparam, lparam);
        return true;
    case kMsgHelpRequest:
        WMHelpRequest(wparam, lparam);
        return true;
    case kWM_DROPFILES:
        WMDropFiles(wparam, lparam);
        return true;
    case kMsgActivateToolWindow:
        TellControllerActiveWindow(wparam, lparam, WindowHandle());
        return true;
    case kMsgReportDataState:
        ReplyDataStateToController(wparam);
        return true;
    default:
        return false;
    }
}

void TMainToolsForm::WMControllerCommand(uint64_t wparam, int64_t lparam)
{
    const TControllerCommand command = DecodeControllerCommand(wparam);
    switch (command.code) {
    case kCodeReReadSettings:
        SettingsChanged(kCodeReReadSettings);
        break;
    case kCodeOpenTempFile: {
        TCVStored_File_rec& rec = StartupOpenFileRec();
        rec.Clear();
        rec.FileName = GetMyTempFilename();
        if (!rec.FileName.isEmpty() && CheckFileForTool(rec, current_tool_var) && OpenFileInPlaceOfData()) {
            show();
            raise();
            activateWindow();
        }
        break;
    }
    case kCodeStyleChange:
        MudancaDeEstilo(nullptr);
        break;
    case kCodeReReadChosenTexts:
        ReReadChosenTexts();
        if (current_tool_var == kToolWordList || current_tool_var == kToolConcordance || current_tool_var == 3)
            ShowWizardForChosenTexts(ChosenTexts.get());
        break;
    default:
        break;
    }
    if (command.terminate)
        TerminateApplication();
}

void TMainToolsForm::WMHelpRequest(uint64_t wparam, int64_t lparam)
{
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->HandleAHelpFileChoice(module->GetTheBestHelpContext(int(wparam)));
}

void TMainToolsForm::WMDropFiles(uint64_t wparam, int64_t lparam)
{
    OpenDroppedFiles(TDropHandle(wparam), current_tool_var, [this] { return OpenFileInPlaceOfData(); });
}

void TMainToolsForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainToolsForm::dropEvent(QDropEvent* event)
{
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    PostMessage(WindowHandle(), kWM_DROPFILES, RegisterDroppedFiles(files), 0);
}

void TMainToolsForm::TerminateApplication()
{
    if (close())
        QCoreApplication::quit();
}

void TMainToolsForm::AskToStop() { cv::AskToStop(); }

void TMainToolsForm::ReReadChosenTexts()
{
    if (ChosenTexts)
        ReadChosenTextsFromController(*ChosenTexts);
}

// ---------------------------------------------------------------------------
// Virtual operations

void TMainToolsForm::AppActivate()
{
    FormActivate();
    ActivateMainForm(menuBar(), nullptr);
    RefreshMenuChecks();
}

void TMainToolsForm::CorrigeFormScreenRes()
{
    ToolWindowList().TellAllGrids(0);
    SetApplicationFont();
}

void TMainToolsForm::ArrangeToolbarButtons(QWidget* panel) { LayoutToolbarPanelControls(panel); }

void TMainToolsForm::MudancaDeEstilo(QObject* sender)
{
    ApplyStyleColours();
    if (TCV_Grid* grid = ToolWindowList().CurrentGrid())
        grid->Refresh();
}

QString TMainToolsForm::TheIniName() const
{
    return QDir(GetUserReadWriteFolder()).filePath(metaObject()->className() + QStringLiteral(".ini"));
}

QWidget* TMainToolsForm::GetChildForm() { return this; }

void TMainToolsForm::AdvOfficeStatusBar1PanelClick(int panel)
{
    // A step that shows its progress can be stopped whatever the window
    // shows (an index being opened is not shown until it is read); a stop
    // asked for with nothing running would stop the next job at once.
    if (panel == kPanelStopButton) {
        if (GlobalProgress().State().visible && AdvOfficeStatusBar1->PanelEnabled(panel) && EscapePressedWantToQuit())
            global_panic_state = kPanicStopAtEndOfText;
        return;
    }
    if (HasData() && AdvOfficeStatusBar1->PanelEnabled(panel)) {
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo, {});
        switch (panel) {
        case kPanelTypeButton:
            ChangeTypingMode(ToolWindowList().CurrentGrid(), 0);
            break;
        case kPanelSetButton:
            ChangeTypingMode(ToolWindowList().CurrentGrid(), 1);
            break;
        case kPanelHelpButton: {
            // The active page's help context.
            const TOneToolWindowHolder* holder = ToolWindowList().CurrentToolWindowHolder;
            const auto* control = holder ? qobject_cast<QWidget*>(holder->data.the_object.data()) : nullptr;
            if (TDataModuleCorvantis* module = DataModuleCorvantis())
                module->HandleAHelpFileChoice(module->GetTheBestHelpContext(HelpContextOf(control)));
            break;
        }
        default:
            break;
        }
    } else if (panel == kPanelHelpButton) {
        if (TDataModuleCorvantis* module = DataModuleCorvantis())
            module->HandleAHelpFileChoice(module->GetTheBestHelpContext(HelpContextOf(GetChildForm())));
    }
}

TDialogAnswer TMainToolsForm::AskToSave(bool* saveFailed)
{
    if (saveFailed)
        *saveFailed = false;
    const TListTypeSet set = ListTypesHoldingData();
    if (set == 0)
        return TDialogAnswer::OK;
    const std::vector<uint8_t> types = ListTypesOf(set);
    // A name the document was given but never saved under is no saved file:
    // the question then says the data have not been saved.
    const QString name = QFileInfo::exists(DocumentFileName()) ? DocumentFileName() : QString();
    const TDialogAnswer answer = DoYouWantToSave(name, types);
    if (answer != TDialogAnswer::Yes)
        return answer;
    const bool saved = Save(ToolWindowList().CurrentGrid());
    if (saveFailed)
        *saveFailed = !saved;
    return TDialogAnswer::OK;
}

TDialogAnswer TMainToolsForm::AskToSaveIfWanted()
{
    if (!GetAskWhetherToSaveModifiedData())
        return TDialogAnswer::OK;
    bool failed = false;
    const TDialogAnswer answer = AskToSave(&failed);
    return failed ? TDialogAnswer::Cancel : answer;
}

void TMainToolsForm::StoreMenuItemCheckState(QAction* item)
{
    if (!item || !item->isCheckable())
        return;
    const auto store = [](QAction* a) {
        const int tag = MenuTag(a);
        if (tag >= 0 && tag <= kLastCheckableMenuTag && CheckableMenuItems().test(size_t(tag)))
            SetMenuItemChecked(tag, a->isChecked());
    };
    // A radio item unchecks the others of its group: they are stored too.
    if (QActionGroup* group = item->actionGroup(); group && group->isExclusive())
        for (QAction* member : group->actions())
            store(member);
    else
        store(item);
}

void TMainToolsForm::HandleMenuItemClick(QAction* sender)
{
    StoreMenuItemCheckState(sender);
    const int tag = MenuTag(sender);
    if (tag < 0)
        return;
    if (HandleCommonMenuCommand(tag, sender))
        return;
    if (tag > 0 && HandleDisplayMenuCommand(tag, ToolWindowList().CurrentGrid()))
        return;
    if (HandleToolMenuCommand(tag, sender))
        return;
    if (tag > 0 && HandleListEditingMenuCommand(*this, tag, ToolWindowList().CurrentGrid()))
        return;
    if (HandleHelpMenuCommand(tag))
        return;
    PostMenuTagToCurrentGrid(tag);
}

namespace {

// The grid dialogs of a window, linked to it.
TGridDialogHost& GridDialogsOf(TMainToolsForm& window)
{
    TGridDialogHost& host = GridDialogHostOf(window);
    host.SetWindowLink({[&window](QObject* grid) { return window.GridMayBeWorkedOn(grid); },
                        [&window] { return window.Data(); },
                        [&window](TCV_Grid* grid, const QString& name) { return window.SaveGridData(grid, name); },
                        [&window] { return window.GetChildForm(); }});
    return host;
}

} // namespace

bool TMainToolsForm::HandleCommonMenuCommand(int tag, QAction* sender)
{
    TCommonMenuContext context;
    context.window = this;
    context.pager = MyOfficePager;
    context.document = fData.get();
    context.toolbar = ToolbarButtons;
    context.statusBar = AdvOfficeStatusBar1;
    // The tool's own handler has the first say on opening and closing (it
    // may refuse while a job runs, or offer a new instance).
    context.open = [this, sender, tag] {
        if (!HandleToolMenuCommand(tag, sender))
            Open();
    };
    context.close = [this, sender, tag] {
        if (!HandleToolMenuCommand(tag, sender))
            ResetToNoData();
    };
    context.textFileName = &TextPageFileName;
    return cv::HandleCommonMenuCommand(context, tag);
}

bool TMainToolsForm::HandleDisplayMenuCommand(int tag, TCV_Grid* grid)
{
    switch (TMenuCommand(tag)) {
    case TMenuCommand::NumbersPercent:
    case TMenuCommand::NumbersPerThousand:
    case TMenuCommand::NumbersPerMillion:
    case TMenuCommand::NumbersDefault: {
        for (int t = TagOf(TMenuCommand::NumbersPercent); t <= TagOf(TMenuCommand::NumbersDefault); ++t)
            SetMenuItemChecked(t, t == tag);
        // The settings buffer's modes (percent, per thousand, per million) follow the order of the items' numbers.
        SetDisplayWordsPerMillion(TMenuCommand(tag) == TMenuCommand::NumbersDefault
                                      ? kNumbersAsCounted
                                      : uint8_t(tag - TagOf(TMenuCommand::NumbersPercent) + kNumbersPercent));
        RefreshMenuChecks();
        if (grid)
            grid->Refresh();
        return true;
    }
    case TMenuCommand::UnmarkAll:
        if (GridMayBeWorkedOn(grid)) {
            grid->List()->ClearMarcacao(true);
            grid->Refresh();
        }
        return true;
    case TMenuCommand::UnmatchAll:
        if (GridMayBeWorkedOn(grid)) {
            TCVBaseDataClass* list = grid->List();
            list->BeginUndoStep(QStringLiteral("unmatch all"));
            for (int i = 0; i < list->Count(); ++i)
                list->SetMatchMark(i, 0, true);
            list->EndUndoStep();
            grid->Refresh();
        }
        return true;
    case TMenuCommand::ActiveColumnChooser:
    case TMenuCommand::ActiveColumn:
        GridDialogsOf(*this).OpenActiveColumnChooser(grid);
        return true;
    case TMenuCommand::Copy:
        // With Shift held the user chooses what a copy includes first.
        CopyToClipboard(grid, QApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
        return true;
    case TMenuCommand::NewColumn:
        // A computed column is written on the columns dialog's calculator page.
        GridDialogsOf(*this).OpenColumnsDialog(grid, true);
        return true;
    default:
        return false;
    }
}

bool TMainToolsForm::HandleHelpMenuCommand(int tag)
{
    TDataModuleCorvantis* module = DataModuleCorvantis();
    const TMenuCommand command = TMenuCommand(tag);
    if (!module || (command != TMenuCommand::Help && command != TMenuCommand::ContextHelp))
        return false;
    if (command == TMenuCommand::Help) {
        module->HandleAHelpFileChoice(MainPageHelpContext(current_tool_var));
    } else {
        module->HandleAHelpFileChoice(module->GetTheBestHelpContext(0));
    }
    return true;
}

bool TMainToolsForm::PostMenuTagToCurrentGrid(int tag)
{
    TCV_Grid* grid = ToolWindowList().CurrentGrid();
    if (!grid || tag < 0) {
        ++m_commandsWithoutGrid;
        return false;
    }
    return PostMessage(grid->WindowHandle(), kMsgGridCommand, kGridCommandBase + uint64_t(tag), 0);
}

int TMainToolsForm::UnhandledMenuCommands() const
{
    int n = m_commandsWithoutGrid;
    const TOneToolWindowList& pages = ToolWindowList();
    for (int i = 0; i < pages.Count(); ++i)
        if (const TCV_Grid* grid = pages.GridOfPage(i))
            n += grid->UnhandledCommands();
    return n;
}

bool TMainToolsForm::CloseQueryChecks()
{
    // "Fast Exit": no questions.
    if (no_check_exit)
        return true;
    if (terminating_app)
        TimerAutoSaving->stop();
    // A search waiting at a hit must not go on over data that goes.
    if (TGridDialogHost* host = FindGridDialogHost(*this))
        host->StopSearchReplace();
    if (fData)
        StartupOpenFileRec() = fData->MainFile;
    const bool canClose = UnsavedDataMayGo();
    if (canClose && !m_destroying && !terminating_app) {
        if (TGridDialogHost* host = FindGridDialogHost(*this))
            host->StopConditions(true);
        BeforeDataChange();
    }
    return canClose;
}

void TMainToolsForm::RefreshMenuChecks()
{
    for (QAction* top : menuBar()->actions()) {
        std::function<void(QAction*)> apply = [&](QAction* a) {
            if (a->menu())
                for (QAction* sub : a->menu()->actions())
                    apply(sub);
            const int tag = MenuTag(a);
            if (a->isCheckable() && tag >= 0 && tag <= kLastCheckableMenuTag)
                a->setChecked(GetMenuItemChecked(tag));
        };
        apply(top);
    }
    // The number-display item of the stored mode, and the pages' counts shown so.
    const uint8_t numbers = GetDisplayWordsPerMillion();
    const bool share = numbers >= kNumbersPercent && numbers <= kNumbersPerMillion;
    const int numbersTag = share ? TagOf(TMenuCommand::NumbersPercent) + numbers - kNumbersPercent
                                 : TagOf(TMenuCommand::NumbersDefault);
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        if (QAction* item = module->ItemOfTag(numbersTag))
            item->setChecked(true);
    ToolWindowList().SetAllGridsNumberDisplay(share ? TNumberDisplay(numbers) : kNumbersAsCounted);
    AdvOfficeStatusBar1->setVisible(GetMenuItemChecked(TMenuCommand::StatusBar));
    // The right-click choices may have changed in the controller meanwhile.
    FillGridPopup();
    ReloadTagLists();
}

void TMainToolsForm::ReloadTagLists()
{
    ReloadModifiedTagLists(fTagHandler.get(), fTagsToTranslateList.get(), SuiteTempFolder(), GetTextSettings().CodePage());
}

bool TMainToolsForm::Open()
{
    if (!ChooseFileToOpen())
        return false;
    if (!OpenFile(GetChildForm()))
        return false;
    if (fData)
        PrepareOpenDialog(fData->MainFile.ListType);
    return true;
}

std::unique_ptr<TCorvantisholder> TMainToolsForm::NewDocumentHolder(uint8_t listType)
{
    LastSourceTextFile.clear();
    StartupOpenFileRec().ListType = listType;
    return MakeDocumentHolder(listType);
}

std::unique_ptr<TCorvantisholder> TMainToolsForm::MakeDocumentHolder(uint8_t listType)
{
    LastSourceTextFile.clear();
    return nullptr;
}

TListTypeSet TMainToolsForm::ListTypesHoldingData()
{
    TListTypeSet set = fData ? fData->ChangedListTypes() : 0;
    set &= (TListTypeSet(1) << 43) - 1; // list types 0 to 42
    if (QPlainTextEdit* notes = NotesEditor(); notes && notes->document()->isModified())
        set |= TListTypeSet(1) << kNotesListType;
    return set;
}

void TMainToolsForm::ResetToNoData()
{
    terminating_app = false;
    if (CloseQueryChecks())
        CloseData(true);
}

void TMainToolsForm::ComputeColumnTotals(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const bool shown = ColumnTotals(grid);
    // The menu item shows whether the current list has its totals.
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        if (QAction* item = module->ItemOfTag(TMenuCommand::ColumnTotals))
            item->setChecked(shown);
}

void TMainToolsForm::RelativeEntropy(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    TCVBaseDataClass& list = *grid->List();
    const int column = grid->View()->currentIndex().column();
    // The numbers of the chosen column, over the entries not deleted.
    std::vector<double> values;
    for (int e = 0; e < list.Count() && column > 0; ++e) {
        if (list.GetDeleted(e))
            continue;
        TDrawgridDataRec rec;
        list.DrawgridDataRec(e, column, grid->KindOfDisplay, rec);
        if (rec.isNumber)
            values.push_back(rec.value);
    }
    const QString heading = grid->Cells(std::max(0, column), 0);
    if (values.size() < 2) {
        ReportedAFact(QStringLiteral("%1: the column \"%2\" has no numbers to work on; choose a column of numbers first.")
                          .arg(CVRelativeEntropy.toString(), heading));
        return;
    }
    // The basis is the number of categories the distribution could spread over.
    int64_t basis = m_relativeEntropyBasis;
    if (basis < 2)
        basis = fData && fData->GetRelativeEntropyBasis() >= 2 ? int64_t(fData->GetRelativeEntropyBasis())
                                                               : int64_t(values.size());
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    QString text = QString::number(basis);
    if (!dialogs || !dialogs->InputValue(CVRelativeEntropy.toString(), Format(CVXBasis, {CVRelativeEntropy}), text,
                                         kHelpRelativeEntropy))
        return;
    bool ok = false;
    const qlonglong chosen = text.trimmed().toLongLong(&ok);
    if (!ok || chosen < 2) {
        ReportedAFact(QStringLiteral("The basis must be a whole number of at least 2."));
        return;
    }
    m_relativeEntropyBasis = chosen;
    const double value = cv::RelativeEntropy(values, chosen);
    ReportedAFact(QStringLiteral("%1 of \"%2\" (%3 = %4): %5")
                      .arg(CVRelativeEntropy.toString(), heading, Format(CVXBasis, {CVRelativeEntropy}))
                      .arg(chosen)
                      .arg(QLocale().toString(value, 'f', 3)));
    ToolWindowList().Last_actions.Include(kActionColumnsChanged);
}

bool TMainToolsForm::MergeWith(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return false;
    const QString current = DocumentFileName();
    if (!ChooseFileToOpen())
        return false;
    const QString other = StartupOpenFileRec().FileName;
    bool merged = false;
    if (QFileInfo(other) == QFileInfo(current) && !current.isEmpty()) {
        CantMergeWithSameFile(other);
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::unique_ptr<TCorvantisholder> second = NewDocumentHolder(StartupOpenFileRec().ListType);
        if (second && (second->ReadWholeFromFile(other, current_tool_var) & 0xFF) != 0) {
            const QString note = Format(CVProcedureEquals, {Format(CVMergeXwithY, {WithoutFolder(current), WithoutFolder(other)})});
            if (fData->MergeWith(*second, false)) {
                fData->AddOneLaterNote(note);
                const QString title = QFileInfo(current).completeBaseName() + CVAnd + WithoutFolder(other);
                SetToolCaption(title);
                fData->SuggestedFilename = title;
                fData->MainFile.FileName.clear();
                merged = true;
            }
        }
        QApplication::restoreOverrideCursor();
    }
    Global_Busy_Dont_Show_Data = false;
    ToolWindowList().Last_actions.Include(kActionRowsChanged);
    RefreshDataDisplay();
    return merged;
}

void TMainToolsForm::DropDataForShortage()
{
    // The step was cut off where it stood: what it set for its time is undone.
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    GlobalProgress().Hide();
    Global_Busy_Dont_Show_Data = false;
    if (fData) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("Not enough memory: the data shown go"));
        CloseData(true);
        RefreshDataDisplay();
    }
    NotEnoughMemory(QStringLiteral("show the data"));
}

bool TMainToolsForm::ChooseFileToOpen()
{
    const QString last = GetLastMainToolFileName(current_tool_var);
    if (!last.isEmpty()) {
        ForceViewOpenFileDialog1.InitialDir = QFileInfo(last).absolutePath();
        ForceViewOpenFileDialog1.FileName = last;
    }
    if (!ForceViewOpenFileDialog1.Execute())
        return false;
    const QString chosen = ForceViewOpenFileDialog1.FileName;
    SetLastOpenedFolder(QFileInfo(chosen).absolutePath());
    TCVStored_File_rec& rec = StartupOpenFileRec();
    rec.Clear();
    rec.FileName = chosen;
    rec.ListType = kListNone;
    const bool accepted = CheckFileForTool(rec, current_tool_var) || rec.ListType == kListPlainTextWordList;
    if (accepted)
        PrepareOpenDialog(rec.ListType);
    else
        SetToolCaption({});
    return accepted;
}

bool TMainToolsForm::UnsavedDataMayGo()
{
    return no_check_exit || AskToSaveIfWanted() != TDialogAnswer::Cancel;
}

bool TMainToolsForm::OpenFileInPlaceOfData()
{
    // The start-up/open file record is the file to open: the question about
    // unsaved data must not lose it. Nothing shown goes before the file is
    // read (OpenFile).
    const TCVStored_File_rec wanted = StartupOpenFileRec();
    terminating_app = false;
    if (!UnsavedDataMayGo())
        return false;
    StartupOpenFileRec() = wanted;
    return OpenFile(GetChildForm());
}

bool TMainToolsForm::OpenFile(QWidget* second)
{
    const TCVStored_File_rec rec = StartupOpenFileRec();
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("trying to open %1").arg(rec.FileName));
    if (rec.FileName.isEmpty() || !QFileInfo(rec.FileName).isFile()) {
        FailedToFind(rec.FileName);
        return false;
    }
    // A search waiting at a hit must not go on over data that goes.
    if (TGridDialogHost* host = FindGridDialogHost(*this))
        host->StopSearchReplace();
    CloseData(false);
    BeforeDataChange();
    GlobalProgress().ClearAllAndShow(geometry().center(), 1);
    GlobalProgress().ProgressShortMessage(Format(CVLoadingX, {rec.FileName}));
    fData = MakeDocumentHolder(rec.ListType);
    if (fData)
        fData->MainFile = rec;
    return true;
}

bool TMainToolsForm::SaveAsExport(TCV_Grid* grid, int exportKind)
{
    // The export goes through the save-as dialog of the grid dialogs; while
    // one export runs no second one starts.
    if (BusySavingAs)
        return false;
    return GridDialogsOf(*this).SaveAsExport(grid, exportKind, BusySavingAs);
}

bool TMainToolsForm::Save(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return false;
    QString name = DocumentFileName();
    // A save the user called off in the file dialog is no failure: nothing is said.
    if (name.isEmpty() && !ChooseSaveFileName(grid))
        return false;
    const bool ok = SaveGridData(grid, DocumentFileName());
    NoteFileSaved(ok);
    return ok;
}

bool TMainToolsForm::ChooseSaveFileName(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return false;
    QString name = fData->MainFile.FileName;
    // A document never saved is offered the name its job suggests (the
    // texts' folder, the index and cluster size), not a bare extension.
    if (name.isEmpty() && !fData->SuggestedFilename.trimmed().isEmpty()) {
        name = QDir(FolderForNewFiles())
                   .filePath(fData->SuggestedFilename.trimmed() +
                             DefaultExtFromListType(DefaultListTypeOfTool(current_tool_var)));
    }
    if (!AskSaveFileName(ForceViewSaveFileDialog1, current_tool_var, name))
        return false;
    fData->MainFile.FileName = name;
    SetToolCaption(WithoutFolder(name));
    return true;
}

bool TMainToolsForm::SaveGridData(TCV_Grid* grid, const QString& fileName)
{
    if (fileName.isEmpty() || !GridMayBeWorkedOn(grid))
        return false;
    return SaveDocument(*this, nullptr, NotesEditor(), fileName, *fData);
}

void TMainToolsForm::ShowRowSourceFile(TCV_Grid* grid)
{
    // On the pages of texts, the row's text in the desktop's viewer.
    if (!GridMayBeWorkedOn(grid) || (grid->ListType != kListFilenames && grid->ListType != kListStatistics))
        return;
    const QStringList names = FileNamesOfEntry(grid, grid->EntryOfGridRow(std::max(1, grid->Row())));
    if (names.isEmpty())
        return;
    if (QFileInfo(names.first()).isFile())
        TryToShow(names.first());
    else
        FailedToFind(names.first());
}

void TMainToolsForm::ReplaceSourceFileNames(TCV_Grid* grid)
{
    // The names of the document's texts (as stored with its lists), through
    // the file-name dialog the program installs with the editing dialogs.
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    if (!GridMayBeWorkedOn(grid) || !fData || !dialogs)
        return;
    std::pair<QString, QString> replaced;
    RenameTextFilesInDocument(*this, fData.get(), [dialogs] { return dialogs->ChooseFileNameReplacement(); },
                              replaced, [this] { RefreshDataDisplay(); });
}

void TMainToolsForm::CloseData(bool clearFile)
{
    TimerAutoSaving->stop();
    TimerAutoSaving->setInterval(0);
    if (!fData)
        return;
    LastSourceTextFile.clear();
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("Closing data"));
    // The grids show the document's lists: they let go before the lists do,
    // and so does the conditions dialog.
    DetachGridsFromLists();
    if (TGridDialogHost* host = FindGridDialogHost(*this))
        host->StopConditions(false);
    fData.reset();
    GiveBackFreedMemory();
    if (SourceTextRichEdit)
        SourceTextRichEdit->clear();
    if (clearFile && !m_destroying) {
        StartupOpenFileRec().FileName.clear();
        SetToolCaption({});
    }
}

bool TMainToolsForm::OwnsPages() const
{
    // The page register is the process's; a window only touches it while the pages are its own.
    const TOneToolWindowList& pages = ToolWindowList();
    for (int i = 1; i < pages.Count(); ++i)
        if (auto* control = qobject_cast<QWidget*>(pages.Items(i)->data.the_object.data()))
            return isAncestorOf(control);
    return false;
}

void TMainToolsForm::DetachGridsFromLists()
{
    TOneToolWindowList& pages = ToolWindowList();
    if (!OwnsPages())
        return;
    for (int i = pages.Count() - 1; i > 0; --i) {
        pages.ClearBaseList(i);
        if (TCV_Grid* grid = pages.GridOfPage(i))
            grid->SetList(nullptr, grid->KindOfDisplay);
    }
}

void TMainToolsForm::HandleStartup() { SettingsChanged(-1); }

void TMainToolsForm::InstallStartupHandler()
{
    QTimer::singleShot(0, this, [this] { HandleStartup(); });
}

bool TMainToolsForm::HasData() const { return fData && ToolWindowList().CurrentGrid(); }

bool TMainToolsForm::GridMayBeWorkedOn(QObject* grid) const
{
    auto* g = qobject_cast<TCV_Base_Grid*>(grid);
    return g && fData && g->List() && dynamic_cast<TCVBaseLemmaMatchCapableList*>(g->List());
}

void TMainToolsForm::PrepareOpenDialog(uint8_t listType)
{
    // Set again only when the list type or the has-data state changed; the
    // save dialog follows the open dialog.
    if (!cv::PrepareOpenDialog(ForceViewOpenFileDialog1, listType, fData != nullptr) &&
        !ForceViewSaveFileDialog1.Filter.isEmpty())
        return;
    ForceViewSaveFileDialog1.Filter = ForceViewOpenFileDialog1.Filter;
    ForceViewSaveFileDialog1.InitialDir = ForceViewOpenFileDialog1.InitialDir;
    ForceViewSaveFileDialog1.DefaultExt = ForceViewOpenFileDialog1.DefaultExt;
}

void TMainToolsForm::HookStatusBarPanelClick()
{
    AdvOfficeStatusBar1->OnPanelClick = [this](int panel) { AdvOfficeStatusBar1PanelClick(panel); };
}

void TMainToolsForm::SetUpCurrentPage(QTabWidget* pager)
{
    TOneToolWindowList& pages = ToolWindowList();
    AdvOfficeStatusBar1->ClearTheStatusBar();
    pages.fHasData = fData != nullptr;
    if (pager)
        pager->setVisible(fData != nullptr);

    if (fData) {
        ToolClosing = false; // data are shown
        PageSetupHook();
        TCV_Grid* before = pages.CurrentGrid();
        pages.SetCurrentGridToTab(pager ? pager->currentIndex() + 1 : 1);
        TCV_Grid* grid = pages.CurrentGrid();
        if (grid) {
            TCVBaseDataClass* list = grid->List();
            if (grid != before && pages.fRefreshLanguage && list)
                grid->Proxy()->SetCollationName(list->CollationName());
            // The undo and redo items follow the history of the page's list.
            if (TDataModuleCorvantis* module = DataModuleCorvantis()) {
                module->ResetUnOrRedoActions();
                if (list)
                    module->FollowUndoOf(*list);
            }
            if (pages.Last_actions.Contains(kActionPageChanged) || pages.Last_actions.Contains(kActionColumnsChanged) ||
                pages.Last_actions.Contains(kActionFileOpened)) {
                PageHook();
                ApplyStyleColours();
                if (list)
                    AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, Format(CVNEntries, {list->Count()}));
            } else if (list && pages.Last_actions.Contains(kActionRowsChanged)) {
                // Rows went (a zap) or came back: the count the bar shows follows.
                AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, Format(CVNEntries, {list->Count()}));
            }
            grid->Refresh();
            if (QPlainTextEdit* notes = NotesEditor(); notes && !notes->document()->isModified()) {
                notes->setPlainText(fData->fNotes.join(QLatin1Char('\n')));
                AlignTabbedColumns(*notes);
            }
            pages.FitMenuToListType(menuBar(), grid, false, fMenuSetProvider);
            while (grid->Updating())
                grid->EndUpdate();
            if (TDataModuleCorvantis* module = DataModuleCorvantis())
                module->RedoMenuItemsCheckStates(0);
        }
        // Autosave: every so many minutes while there is data.
        TimerAutoSavingTag = GetAutoSaveMinutes();
        if (TimerAutoSavingTag > 0) {
            if (!TimerAutoSaving->isActive() || TimerAutoSaving->interval() != TimerAutoSavingTag * 60000)
                TimerAutoSaving->start(TimerAutoSavingTag * 60000);
        } else {
            TimerAutoSaving->stop();
        }
        pages.Last_actions.Clear();
    } else {
        DetachGridsFromLists();
        pages.FitMenuToListType(menuBar(), nullptr, false, fMenuSetProvider);
        TimerAutoSaving->stop();
        TimerAutoSaving->setInterval(0);
        TimerAutoSavingTag = GetAutoSaveMinutes();
        pages.Last_actions.Clear();
    }
}

void TMainToolsForm::SettingsChanged(int code)
{
    if (m_destroying)
        return;
    // The user's shortcuts and right-click choices may have changed with the
    // settings; the check marks the controller changed come back to the items.
    if (TDataModuleCorvantis* module = DataModuleCorvantis()) {
        if (code == kCodeReReadSettings)
            module->UpdateAllMenuShortCutsFromTextbuf();
        module->RedoMenuItemsCheckStates(0);
    }
    RefreshMenuChecks();
    // Logging may have come on or gone off: the menus that depend on it follow.
    if (code == kCodeReReadSettings)
        ToolWindowList().FitMenuToListType(menuBar(), fData ? ToolWindowList().CurrentGrid() : nullptr, true,
                                           fMenuSetProvider);
    if (fData && code == kCodeReReadSettings) {
        TCV_Grid* grid = ToolWindowList().CurrentGrid();
        if (grid)
            fData->UpdateSettingsFromTextbuf(code, grid->List(), grid->KindOfDisplay);
        else
            fData->UpdateSettingsFromTextbuf(code);
        ToolWindowList().GeneralCellHandler->InitialSetup(GetTextSettings(),
                                                      GetMenuItemChecked(TMenuCommand::SearchWordPadding));
        if (grid) {
            ApplyStyleToCurrentGrid();
            if (grid->List())
                grid->Proxy()->SetCollationName(grid->List()->CollationName());
            grid->Refresh();
        }
    }
}

// ---------------------------------------------------------------------------
// Public operations

bool TMainToolsForm::LastActionNotIdle()
{
    MyYieldProcess();
    return !ToolWindowList().Last_actions.Empty();
}

void TMainToolsForm::SetPageAppropriateCaption()
{
    // The page the pager shows now (the page list may not have caught up yet).
    const TOneToolWindowList& pages = ToolWindowList();
    const TOneToolWindowHolder* holder = pages.CurrentToolWindowHolder;
    if (MyOfficePager)
        for (int i = 1; i < pages.Count(); ++i)
            if (pages.PageIndexOfHolder(i) == MyOfficePager->currentIndex() + 1)
                holder = pages.Items(i);
    const uint8_t listType = holder ? holder->data.ListType : uint8_t(kListNone);
    QString name;
    if (fData)
        name = listType == kListSecondText ? fData->SecondTextFilename : fData->MainFile.FileName;
    if (name.isEmpty())
        name = CVUnsaved;
    SetToolCaption(Format(u"%s (%s)", {ListTypeName(listType), name}));
}

void TMainToolsForm::SetToolCaption(const QString& caption)
{
    if (caption.isEmpty()) {
        setWindowTitle(Tool_Name(current_tool_var));
        PostToController(kCodeNoData);
    } else {
        setWindowTitle(caption);
        PostToController(kCodeHasData);
    }
}

void TMainToolsForm::SetUpForTool(uint8_t tool, uint8_t listType)
{
    const TTextSettings settings = GetTextSettings();
    fTagsToTranslateList = std::make_unique<TTagsToTranslateList>();
    const TTagOptions options = TTagOptions::FromSettings(settings);
    if (tool == kToolConcordance)
        fTagHandler = std::make_unique<TMarvexTextTagHandler>(settings.LanguageId(), settings.CodePage(), options);
    else
        fTagHandler = std::make_unique<TTextTagHandler>(settings.LanguageId(), settings.CodePage(), options);
    StartupOpenFileRec().ListType = kListNone;
    current_tool_var = tool;
    SetToolCaption({});
    PrepareOpenDialog(listType);
    // The page grids take the user's customised column layouts; the controls their set-up.
    std::vector<TCV_Grid*> grids;
    for (int i = 1; i < ToolWindowList().Count(); ++i)
        grids.push_back(ToolWindowList().GridOfPage(i));
    TGridDialogHost::AttachColumnLayouts(grids);
    ControlSetUpForForm(*this);
}

void TMainToolsForm::GoToGridRow(int row)
{
    TCV_Grid* grid = ToolWindowList().CurrentGrid();
    if (!grid)
        return;
    grid->SetRow(row);
    if (row > 11)
        grid->SetTopRow(row - 10);
    grid->Refresh();
}

void TMainToolsForm::ChangeTypingMode(TCV_Grid* grid, int mode)
{
    SetKeyPressMode(uint8_t(mode));
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->SetTypeSetEditMenuItems(mode);
    SetMenuItemChecked(TMenuCommand::TypeIn, mode == 0);
    SetMenuItemChecked(TMenuCommand::SetCategories, mode == 1);
    SetMenuItemChecked(TMenuCommand::EditingData, mode == 2);
    AdvOfficeStatusBar1->ShowTypingMode(mode);
    if (TypeModeCombo && mode >= 0 && mode < TypeModeCombo->count())
        TypeModeCombo->setCurrentIndex(mode);
}

void TMainToolsForm::HideTypingToolbar()
{
    SetMenuItemChecked(TMenuCommand::MainToolbar, false);
    if (ToolbarButtons)
        ToolbarButtons->hide();
}

void TMainToolsForm::NoteFileOpened(bool ok)
{
    cv::NoteFileOpened(*this, fData.get(), NotesEditor(), ok, m_openFailures && m_openFailures->Told());
    if (ok)
        FillRecentFileMenu();
}

void TMainToolsForm::NoteFileSaved(bool ok)
{
    cv::NoteFileSaved(*this, fData.get(), ok);
    if (ok)
        FillRecentFileMenu();
}

void TMainToolsForm::NewWithChosenTexts()
{
    if (fData) {
        PostToController(kCodeNewWithData);
        return;
    }
    ReReadChosenTexts();
    ShowWizardForChosenTexts(ChosenTexts.get());
}

void TMainToolsForm::ApplyStyleColours()
{
    ToolWindowList().GeneralCellHandler->SetRulerPlotWordCloudFeatures(GetRulerPlotWordCloudFeatures());
    if (TCV_Grid* grid = ToolWindowList().CurrentGrid())
        grid->Refresh();
}

void TMainToolsForm::PageChanged()
{
    if (fData) {
        if (TCV_Grid* grid = ToolWindowList().CurrentGrid())
            grid->SavePositions();
        PageShown();
        SetPageAppropriateCaption();
    }
    ToolWindowList().Last_actions.Include(kActionPageChanged);
    RefreshDataDisplay();
    // An open conditions dialog follows to the page's grid once the page shows its list.
    if (TGridDialogHost* host = FindGridDialogHost(*this))
        host->PageChanged(fData ? ToolWindowList().CurrentGrid() : nullptr);
}

QString TMainToolsForm::DocumentFileName() const { return fData ? fData->MainFile.FileName : QString(); }

// ---------------------------------------------------------------------------
// Handlers of the page grids

TCVGridHandlersA TMainToolsForm::BaseGridHandlersA()
{
    TCVGridHandlersA a;
    a.GoToCurrentItem = [this](TCV_Grid* grid) { GoToCurrentItem(grid); };
    a.ChangeGridLanguage = [this](TCV_Grid* grid) { ChangeGridLanguage(grid); };
    a.ColumnHeadingChanged = [this](TCV_Grid* grid, int column) { ColumnHeadingChanged(grid, column); };
    a.GridCommand30 = [this](TCV_Grid* grid) { RefreshGrid(grid); };
    a.AskToStop = [this] { AskToStop(); };
    a.StandardHeadings = [](uint8_t listType) { return StandardGridHeaderArray(listType); };
    a.DocumentFileName = [this] { return DocumentFileName(); };
    GridDialogsOf(*this).AddHandlers(a);
    AddListEditingHandlers(*this, a);
    return a;
}

TCVGridHandlersB TMainToolsForm::BaseGridHandlersB()
{
    TCVGridHandlersB b;
    b.ParseStringAdded = [this](TCV_Grid* grid, const QString& text) { ParseStringAdded(grid, text); };
    b.ShowRowFileNames = [this](TCV_Grid* grid) { ShowRowFileNames(grid); };
    b.NewWithChosenTexts = [this] { NewWithChosenTexts(); };
    b.RedoEdit = [this](TCV_Grid* grid) { RedoEdit(grid); };
    b.ChooseSaveFileName = [this](TCV_Grid* grid) { return ChooseSaveFileName(grid); };
    b.SortByColumn = [this](TCV_Grid* grid, int column) { SortByColumn(grid, column); };
    b.StatusBarMessage = [this](int panel, const QString& text) { AdvOfficeStatusBar1->PutAStatusbarMessage(panel, text); };
    b.StatusBarProgress = [this](int percent) { AdvOfficeStatusBar1->SetPanelProgress(kPanelThisBar, percent); };
    b.ApplyStyleColours = [this] { ApplyStyleColours(); };
    b.Empty27 = [] {};
    b.UndoEdit = [this](TCV_Grid* grid) { UndoEdit(grid); };
    b.ZapMarked = [this](TCV_Grid* grid) { ZapMarked(grid); };
    GridDialogsOf(*this).AddHandlers(b);
    AddListEditingHandlers(*this, b);
    return b;
}

TCVGridHandlersC TMainToolsForm::BaseGridHandlersC()
{
    TCVGridHandlersC c;
    c.GetTypingMode = [] { return int(GetKeypressMode()); };
    c.SetTypingMode = [this](int mode) { ChangeTypingMode(ToolWindowList().CurrentGrid(), mode); };
    return c;
}

TCVGridWindowOperations TMainToolsForm::GridWindowOperations()
{
    TCVGridWindowOperations o;
    o.ComputeColumnTotals = [this](TCV_Grid* grid) { ComputeColumnTotals(grid); };
    o.RelativeEntropy = [this](TCV_Grid* grid) { RelativeEntropy(grid); };
    o.MergeWith = [this](TCV_Grid* grid) { return MergeWith(grid); };
    o.ChooseFileToOpen = [this] { return ChooseFileToOpen(); };
    o.OpenFile = [this] { return OpenFile(GetChildForm()); };
    o.SaveAsExport = [this](TCV_Grid* grid, int kind) { return SaveAsExport(grid, kind); };
    o.Save = [this](TCV_Grid* grid) { return Save(grid); };
    o.SaveGridData = [this](TCV_Grid* grid, const QString& name) { return SaveGridData(grid, name); };
    o.ShowRowSourceFile = [this](TCV_Grid* grid) { ShowRowSourceFile(grid); };
    o.ReplaceSourceFileNames = [this](TCV_Grid* grid) { ReplaceSourceFileNames(grid); };
    return o;
}

void TMainToolsForm::ChangeGridLanguage(TCV_Grid* grid)
{
    TListEditingDialogs* dialogs = CurrentListEditingDialogs();
    if (!GridMayBeWorkedOn(grid) || !dialogs)
        return;
    int chosen = -1;
    const QString current = fData->ftextsettings.LanguageName();
    if (!cv::ChangeLanguageDialog(
            current, [dialogs](const QStringList& names, const QString& now) { return dialogs->ChooseLanguage(names, now); },
            kLanguageAcknowledgeMs, &chosen))
        return;
    const TLanguageList& languages = TLanguageList::Instance();
    if (chosen < 0 || chosen >= languages.Count())
        return;
    const TLanguageInfo& language = languages.At(chosen);
    // The grid's list sorts and compares by the language from now on; the
    // document keeps it with its text settings.
    TCVBaseDataClass& list = *grid->List();
    list.SetLocale(language.lcid, language.localeName);
    fData->ftextsettings.SetLanguageId(language.lcid);
    fData->ftextsettings.SetLanguageName(language.name.left(50));
    fData->ftextsettings.SetCollationName(language.localeName);
    grid->Proxy()->SetCollationName(language.localeName);
    grid->Refresh();
    fData->AddOneLaterNote(Format(CVProcedureEquals, {QStringLiteral("%1: %2").arg(CVLanguage.toString(), language.name)}));
}

void TMainToolsForm::GoToCurrentItem(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const QVariant item = grid->property(kCurrentItemProperty);
    if (!item.isValid())
        return;
    for (int row = 1; row < grid->RowCount(); ++row)
        if (grid->EntryOfGridRow(row) == item.toInt()) {
            grid->SetTopRow(row > 11 ? row - 10 : 1);
            grid->SetRow(row);
            return;
        }
}

void TMainToolsForm::ParseStringAdded(TCV_Grid* grid, const QString& text)
{
    if (!GridMayBeWorkedOn(grid) || text.trimmed().isEmpty())
        return;
    const int entry = FindTypedWordPosition(*grid->List(), false, text.trimmed(), 0);
    if (entry < 0)
        return;
    grid->setProperty(kCurrentItemProperty, entry);
    if (grid->HandlersA.GoToCurrentItem)
        grid->HandlersA.GoToCurrentItem(grid);
}

void TMainToolsForm::ColumnHeadingChanged(TCV_Grid* grid, int column)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    TCVBaseDataClass& list = *grid->List();
    QStringList headings = list.GridHeadings();
    if (column < 0 || column >= headings.size())
        return;
    headings[column] = grid->Model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    list.SetGridHeadings(headings);
    grid->raise();
    grid->Refresh();
}

void TMainToolsForm::RefreshGrid(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    THourglass busy;
    grid->List()->InvalidateColumnTotals();
    grid->Model()->Reload();
    grid->Refresh();
}

void TMainToolsForm::ShowRowFileNames(TCV_Grid* grid)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const int row = std::max(1, grid->Row());
    const TDialogAnswer answer =
        DoYouWantToDoX(Format(CVXforRowNOnlyQ, {Format(CVShowX, {CVFilenames}), row}), kHelpShowFileNames);
    if (answer == TDialogAnswer::Cancel)
        return;
    const int entry = answer == TDialogAnswer::Yes ? grid->EntryOfGridRow(row) : -1;
    const QStringList names = FileNamesOfEntry(grid, entry);
    if (names.isEmpty()) {
        ReportedAFact(QStringLiteral("No texts are known for %1.").arg(entry >= 0 ? QStringLiteral("this row")
                                                                                  : QStringLiteral("these rows")));
        return;
    }
    const QString file = SuiteTempFile(QStringLiteral("%1 file names.txt").arg(Tool_Name(current_tool_var)));
    QString error;
    if (!WriteUtf16File(file, names.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), &error)) {
        FailedToSave(file, error);
        return;
    }
    TryToShow(file);
}

int TMainToolsForm::CopyToClipboard(TCV_Grid* grid, bool chooseFormat)
{
    if (!GridMayBeWorkedOn(grid))
        return 0;
    if (chooseFormat && !GridDialogsOf(*this).ChooseClipboardFormat(grid))
        return 0;
    grid->ClipboardSettings = GetClipboardSettings();
    const int rows = grid->CopySelectionToClipboard(grid->ClipboardSettings, GetConcCharactersForTextOnly());
    AdvOfficeStatusBar1->PutAStatusbarMessage(
        kPanelInfo, rows > 0 ? QStringLiteral("%1 row(s) copied (Shift + Copy chooses what a copy includes)").arg(rows)
                             : QStringLiteral("Nothing copied: the clipboard settings ask for no text and no picture"));
    return rows;
}

void TMainToolsForm::SortByColumn(TCV_Grid* grid, int column)
{
    if (!grid)
        return;
    if (column == kResortAsItIs) {
        // Resort keeps the list's sort (its page's name says which): an
        // edit may have left rows out of that order.
        if (!GridMayBeWorkedOn(grid))
            return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        grid->List()->CompleteResort();
        grid->ClearViewSort();
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
        grid->Refresh();
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo, QStringLiteral("Sorted again as before"));
        QApplication::restoreOverrideCursor();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    grid->SetHasSortedThisRun(column);
    SortGridColumn(grid, column);
    // Other rows come first now (the largest numbers, the longest words): their columns must hold them.
    grid->WidenColumnsToFit();
    if (TCV_Grid* shown = ToolWindowList().CurrentGrid(); shown && shown != grid)
        shown->WidenColumnsToFit();
    GlobalProgress().Hide();
    QApplication::restoreOverrideCursor();
}

void TMainToolsForm::EditRows(TCV_Grid* grid, const std::function<bool(TCVBaseDataClass&)>& edit)
{
    if (!GridMayBeWorkedOn(grid) || !edit(*grid->List()))
        return;
    ToolWindowList().Last_actions.Include(kActionRowsChanged);
    RefreshDataDisplay();
    grid->Refresh();
}

void TMainToolsForm::UndoEdit(TCV_Grid* grid)
{
    EditRows(grid, [](TCVBaseDataClass& list) { return list.Undo(); });
}

void TMainToolsForm::RedoEdit(TCV_Grid* grid)
{
    EditRows(grid, [](TCVBaseDataClass& list) { return list.Redo(); });
}

void TMainToolsForm::ZapMarked(TCV_Grid* grid)
{
    EditRows(grid, [](TCVBaseDataClass& list) { return list.Zap(true) >= 0; });
}

// ---------------------------------------------------------------------------
// Published handlers

void TMainToolsForm::TimerAutoSavingTimer()
{
    if (!HasData())
        return;
    TCV_Grid* grid = ToolWindowList().CurrentGrid();
    // The document's own file first: the start-up record may still name the
    // file the document was opened from before a "save as".
    QString name = DocumentFileName();
    if (name.isEmpty())
        name = StartupOpenFileRec().FileName;
    if (name.isEmpty()) {
        if (!ChooseSaveFileName(grid))
            return;
        name = DocumentFileName();
        StartupOpenFileRec().FileName = name;
    }
    AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo, CVAutoSaving);
    SaveGridData(grid, name);
}

void TMainToolsForm::Lastfile1Click()
{
    auto* item = qobject_cast<QAction*>(sender());
    if (!item && !PopupMenuLastFile->isEmpty())
        item = PopupMenuLastFile->actions().constFirst();
    Lastfile1Click(item);
}

void TMainToolsForm::Lastfile1Click(QAction* item)
{
    OpenRecentFile(item, [this] { return OpenFileInPlaceOfData(); });
}

void TMainToolsForm::PopupSourceTextSaveClick() { SaveSourceText(SourceTextRichEdit, LastSourceTextFile); }

void TMainToolsForm::PopupSourceTextCopyClick()
{
    if (SourceTextRichEdit)
        SourceTextRichEdit->copy();
}

void TMainToolsForm::PopupMenuSourceTextRefreshClick()
{
    if (SourceTextRichEdit)
        SourceTextRichEdit->viewport()->update();
}

} // namespace cv
