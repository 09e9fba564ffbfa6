#include "ui/wordlist/wordlist_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <new>

#include "concordance/tell_marvex.h"
#include "gui/cv_grid.h"
#include "gui/cv_status_bar.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "index/index_relationships.h"
#include "keywords/keywords_holder.h"
#include "model/chosen_files.h"
#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"
#include "textread/tag_handler.h"
#include "ui/framework/grid_binding.h"
#include "ui/framework/multi_tool_base.h"
#include "ui/framework/parameter_handling.h"
#include "ui/framework/tool_data_module.h"
#include "ui/wordlist/views/word_cloud_window.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// How often the listing timer tells slow loops to report their progress.
constexpr int kWordListingTickMs = 500;

QString WithoutFolder(const QString& fileName) { return QFileInfo(fileName).fileName(); }

} // namespace

// What each result page shows and whether it is visible before a document
// says otherwise; applied before every data change.
struct TFormWordList::TPageSetup {
    QWidget* TFormWordList::* page;
    TCV_Grid* TFormWordList::* grid;
    TGridTweak cellHandler; // null: the base window's, which changes nothing
    uint8_t listType;
    uint8_t kindOfDisplay;
    bool visibleAtStart;
};

TFormWordList::TFormWordList(QWidget* parent, const TMainToolsFormOptions& options, QStringList commandLine)
    : TMainToolsForm(parent, options), m_commandLine(std::move(commandLine))
{
    MakeComponents();
    FormCreate();
    InstallTypingBox();
    InstallStatusBarDrops();
}

TFormWordList::~TFormWordList()
{
    // The documents' call-backs name this window: they go before it does.
    m_previousData.reset();
    fPlainTextList.reset();
}

T_WholeWordlistHolder* TFormWordList::WordlistDocument() const
{
    return dynamic_cast<T_WholeWordlistHolder*>(fData.get());
}

// ---------------------------------------------------------------------------
// Creation

TCV_Grid* TFormWordList::AddGridPage(QWidget*& page, const QString& caption)
{
    page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* grid = new TCV_Grid(page);
    layout->addWidget(grid);
    AdvOfficePager1->addTab(page, caption);
    return grid;
}

void TFormWordList::MakeComponents()
{
    resize(900, 640);
    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(client);

    // The typing tool bar.
    ContainBoxMainTop = new QWidget(client);
    auto* bar = new QHBoxLayout(ContainBoxMainTop);
    bar->setContentsMargins(4, 2, 4, 2);
    AdvGlowButtonClose = new QToolButton(ContainBoxMainTop);
    AdvGlowButtonClose->setText(QStringLiteral("\u00D7"));
    AdvGlowButtonClose->setToolTip(QStringLiteral("Close this toolbar"));
    connect(AdvGlowButtonClose, &QToolButton::clicked, this, [this] { ToolButtonCloseClick(); });
    ElComboBoxTyping = new QComboBox(ContainBoxMainTop);
    ElComboBoxTyping->setEditable(true);
    ElComboBoxTyping->setMinimumWidth(200);
    AdvOfficeComboBoxTypeMode = new QComboBox(ContainBoxMainTop);
    AdvOfficeComboBoxTypeMode->addItems({QStringLiteral("typing"), QStringLiteral("set"), QStringLiteral("editing")});
    AdvOfficeCheckBoxCaseSensitiveSearch = new QCheckBox(QStringLiteral("case-sensitive search"), ContainBoxMainTop);
    bar->addWidget(AdvGlowButtonClose);
    bar->addWidget(ElComboBoxTyping);
    bar->addWidget(AdvOfficeComboBoxTypeMode);
    bar->addWidget(AdvOfficeCheckBoxCaseSensitiveSearch);
    bar->addStretch(1);
    column->addWidget(ContainBoxMainTop);

    // The start screen.
    AdvPanelToolname = new QWidget(client);
    auto* start = new QVBoxLayout(AdvPanelToolname);
    ElLabelTool = new QLabel(AdvPanelToolname);
    ElLabelTool->setAlignment(Qt::AlignCenter);
    QFont big = ElLabelTool->font();
    big.setPointSize(big.pointSize() * 3);
    ElLabelTool->setFont(big);
    LabelVersion = new QLabel(AdvPanelToolname);
    LabelVersion->setAlignment(Qt::AlignCenter);
    start->addStretch(1);
    start->addWidget(ElLabelTool);
    start->addWidget(LabelVersion);
    start->addStretch(1);
    column->addWidget(AdvPanelToolname, 1);

    // The result pages, in pager order.
    AdvOfficePager1 = new QTabWidget(client);
    CVGridFreq = AddGridPage(AdvOfficePageFrequency, QStringLiteral("frequency"));
    CVGridAlph = AddGridPage(AdvOfficePageAlph, QStringLiteral("alphabetical"));
    CVGridIndexFreq = AddGridPage(AdvOfficePageIndexFreq, QStringLiteral("index freq."));
    CVGridIndexAlph = AddGridPage(AdvOfficePageIndexAlph, QStringLiteral("index alph."));
    CVGridIndexRelations = AddGridPage(AdvOfficePageIndexRelations, QStringLiteral("index relations"));
    CVGridStatistics = AddGridPage(AdvOfficePageStatistics, QStringLiteral("statistics"));
    CVGridConsistency = AddGridPage(AdvOfficePageConsistency, QStringLiteral("consistency"));
    CVGridConsistencyRelations = AddGridPage(AdvOfficePageConsistencyRelations, QStringLiteral("consistency relations"));
    CVGridKWs = AddGridPage(AdvOfficePageKWs, QStringLiteral("KWs"));
    CVGridFilenames = AddGridPage(AdvOfficePageFilenames, QStringLiteral("filenames"));
    CVGridKWPlot = AddGridPage(AdvOfficePageKWPlot, QStringLiteral("KW plot"));
    CVGridKWLinks = AddGridPage(AdvOfficePageKWLinks, QStringLiteral("KW links"));
    AdvOfficePageNotes = new QWidget;
    auto* notesLayout = new QVBoxLayout(AdvOfficePageNotes);
    notesLayout->setContentsMargins(0, 0, 0, 0);
    WLMemoNotes = new QPlainTextEdit(AdvOfficePageNotes);
    notesLayout->addWidget(WLMemoNotes);
    AdvOfficePager1->addTab(AdvOfficePageNotes, QStringLiteral("notes"));
    column->addWidget(AdvOfficePager1, 1);

    TimerWordListing = new QTimer(this);
    TimerWordListing->setInterval(kWordListingTickMs);
    connect(TimerWordListing, &QTimer::timeout, this, [this] { TimerWordListingTimer(); });
    TimerWordListing->start();
}

void TFormWordList::FormCreate()
{
    TMainToolsForm::FormCreate();
    MyOfficePager = AdvOfficePager1;
    SetSourceText(nullptr);
    SetTypeModeCombo(AdvOfficeComboBoxTypeMode);
    const int typingMode = MenuTriStateOption();
    AdvOfficeComboBoxTypeMode->setCurrentIndex(typingMode);
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->SetTypeSetEditMenuItems(typingMode);
    connect(AdvOfficeComboBoxTypeMode, &QComboBox::activated, this,
            [this](int mode) { ChangeTypingMode(ToolWindowList().CurrentGrid(), mode); });

    fPlainTextList.reset();
    WLMemoNotes->setProperty("tag", int(kListNotes));
    BeforeDataChange();

    ToolWindowList().BuildToolWindowPages(this, AdvOfficePager1, ContainBoxMainTop, AdvOfficeStatusBar1,
                                          PopupMenuStatusBar, PopupMenuForGrids, PopupMenuSourceText,
                                          AdvPopupMenuNotes);
    ToolbarButtons = ContainBoxMainTop;
    // The page grids call the window back through its handlers; the tool's
    // own commands join the base window's as they are built.
    SetAllGridsEventHandlersC(BaseGridHandlersC());
    SetAllGridsEventHandlersA(WordListGridHandlersA());
    SetAllGridsEventHandlersB(WordListGridHandlersB());
    SetAllGridsWindowOperations(GridWindowOperations());
    SetUpGridDrawing();
    connect(AdvOfficePager1, &QTabWidget::currentChanged, this, [this] { PageChanged(); });
    // Whatever changed a list shown (an edit, a zap, an undo) ends in the
    // grid showing it again: the title then says whether it is saved.
    for (int i = 0; i < ToolWindowList().Count(); ++i)
        if (TCV_Grid* grid = ToolWindowList().GridOfPage(i))
            connect(grid, &TCV_Grid::Refreshed, this, [this] {
                if (fData && !Global_Busy_Dont_Show_Data)
                    SetPageAppropriateCaption();
            });
    // Cells cut off by their column show their text as a hint.
    for (int i = 0; i < ToolWindowList().Count(); ++i)
        if (TCV_Grid* grid = ToolWindowList().GridOfPage(i))
            grid->Events.OnDataPartlyObscured = [this](TCV_Base_Grid* g) {
                if (auto* page = qobject_cast<TCV_Grid*>(g))
                    ShowGridHint(page);
            };

    SetUpForTool(current_tool_var, kListWordList);
    RefreshDataDisplay();
    PlaceMainFormOnMonitor(*this);
}

void TFormWordList::FormShow()
{
    TMainToolsForm::FormShow();
    // The start-up (command line, last file) runs once the window is up.
    if (!m_startupInstalled) {
        m_startupInstalled = true;
        InstallStartupHandler();
    }
}

void TFormWordList::closeEvent(QCloseEvent* event)
{
    // A job uses the document and the window until it returns: it is asked
    // to stop, and the window closes when it has.
    if (m_jobRunning) {
        m_closeAfterJob = true;
        if (global_panic_state.load() < kPanicStopNow)
            global_panic_state = kPanicStopNow;
        event->ignore();
        return;
    }
    TMainToolsForm::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Pages

bool TFormWordList::PageVisible(QWidget* page) const
{
    const int i = AdvOfficePager1->indexOf(page);
    return i >= 0 && AdvOfficePager1->isTabVisible(i);
}

void TFormWordList::SetPageVisible(QWidget* page, bool visible)
{
    const int i = AdvOfficePager1->indexOf(page);
    if (i >= 0)
        AdvOfficePager1->setTabVisible(i, visible);
}

void TFormWordList::ActivatePage(QWidget* page)
{
    const int i = AdvOfficePager1->indexOf(page);
    if (i >= 0)
        AdvOfficePager1->setCurrentIndex(i);
}

void TFormWordList::BeforeDataChange()
{
    ResetBaseDataSet();
    static const TPageSetup kPages[] = {
        {&TFormWordList::AdvOfficePageFrequency, &TFormWordList::CVGridFreq, &TFormWordList::GridTweak_Freq,
         kListWordList, kGridKindFrequency, true},
        {&TFormWordList::AdvOfficePageAlph, &TFormWordList::CVGridAlph, &TFormWordList::GridTweak_Alph, kListWordList,
         kGridKindAlphabetical, true},
        {&TFormWordList::AdvOfficePageIndexFreq, &TFormWordList::CVGridIndexFreq, &TFormWordList::GridTweak_IndexFreq,
         kListIndexWordList, kGridKindFrequency, false},
        {&TFormWordList::AdvOfficePageIndexAlph, &TFormWordList::CVGridIndexAlph, &TFormWordList::GridTweak_IndexAlph,
         kListIndexWordList, kGridKindAlphabetical, false},
        {&TFormWordList::AdvOfficePageIndexRelations, &TFormWordList::CVGridIndexRelations,
         &TFormWordList::GridTweak_IndexRelations, kListIndexRelationships, kGridKindIndexRelations, false},
        {&TFormWordList::AdvOfficePageStatistics, &TFormWordList::CVGridStatistics, nullptr, kListStatistics,
         kGridKindStatistics, true},
        {&TFormWordList::AdvOfficePageConsistency, &TFormWordList::CVGridConsistency,
         &TFormWordList::GridTweak_Consistency, kListDetailedConsistency, kGridKindConsistency, false},
        {&TFormWordList::AdvOfficePageConsistencyRelations, &TFormWordList::CVGridConsistencyRelations, nullptr,
         kListConsistencyRelations, kGridKindConsistencyRelations, false},
        {&TFormWordList::AdvOfficePageKWs, &TFormWordList::CVGridKWs, &TFormWordList::GridTweak_KWs, kListKeyWords,
         kGridKindKeyWords, false},
        {&TFormWordList::AdvOfficePageFilenames, &TFormWordList::CVGridFilenames, &TFormWordList::GridTweak_Filenames,
         kListFilenames, kGridKindFilenames, true},
        {&TFormWordList::AdvOfficePageKWPlot, &TFormWordList::CVGridKWPlot, nullptr, kListKeyWordPlot, kGridKindPlot,
         false},
        {&TFormWordList::AdvOfficePageKWLinks, &TFormWordList::CVGridKWLinks, nullptr, kListKeyWordLinks,
         kGridKindKeyWords, false},
    };
    m_textPresent.clear();
    m_typedList = nullptr;
    for (const TPageSetup& s : kPages) {
        TCV_Grid* grid = this->*s.grid;
        BindCellHandler(grid, s.cellHandler);
        grid->ListType = s.listType;
        grid->KindOfDisplay = s.kindOfDisplay;
        SetPageVisible(this->*s.page, s.visibleAtStart);
    }
    // The alphabetical page names its sort again once a list is shown.
    AdvOfficePager1->setTabText(AdvOfficePager1->indexOf(AdvOfficePageAlph), QStringLiteral("alphabetical"));
    ActivatePage(AdvOfficePageFrequency);
}

bool TFormWordList::ShowPagesForListType()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return true;
    // Another document may offer other commands on pages of the same kind
    // (plots of key words): the menus are fitted afresh.
    ToolWindowList().last_menu_fit = {};
    const uint8_t type = doc->MainFile.ListType;
    const bool hasIndex = doc->fIndexHandler != nullptr;
    const TCVWordList* words = doc->WordlistOfType(kListWordList);
    const bool hasWords = words && words->Count() > 0;
    const bool hasKeyWords = doc->fKeywordsList && doc->fKeywordsList->Count() > 0;

    const auto partA = [&] {
        SetPageVisible(AdvOfficePageConsistency, false);
        SetPageVisible(AdvOfficePageConsistencyRelations, false);
        SetPageVisible(AdvOfficePageKWs, hasKeyWords);
        SetPageVisible(AdvOfficePageKWPlot, hasKeyWords && m_keyWords && m_keyWords->fPlots->Count() > 0);
        SetPageVisible(AdvOfficePageKWLinks, hasKeyWords && m_keyWords && m_keyWords->fKWLinks->Count() > 0);
    };
    const auto partB = [&] {
        bool alphabetical = false;
        if (type == kListWordList)
            alphabetical = !hasIndex || hasWords;
        else if (type == kListIndexWordList)
            alphabetical = hasWords && hasIndex;
        SetPageVisible(AdvOfficePageAlph, alphabetical);
        SetPageVisible(AdvOfficePageFrequency, alphabetical);
        const bool index = hasIndex && (type == kListWordList || type == kListIndexWordList);
        SetPageVisible(AdvOfficePageIndexFreq, index);
        SetPageVisible(AdvOfficePageIndexAlph, index);
    };

    switch (type) {
    case kListWordList:
        partA();
        partB();
        ActivatePage(AdvOfficePageFrequency);
        break;
    case kListKeyWords:
        partA();
        SetPageVisible(AdvOfficePageKWs, true);
        ActivatePage(AdvOfficePageKWs);
        break;
    case kListConsistencyRelations:
    case kListDetailedConsistency:
        SetPageVisible(AdvOfficePageKWs, false);
        partB();
        SetPageVisible(AdvOfficePageConsistency, true);
        SetPageVisible(AdvOfficePageConsistencyRelations, true);
        ActivatePage(type == kListConsistencyRelations ? AdvOfficePageConsistencyRelations : AdvOfficePageConsistency);
        break;
    case kListIndexWordList:
        partA();
        partB();
        ActivatePage(AdvOfficePageIndexFreq);
        break;
    case kListIndexRelationships:
        SetPageVisible(AdvOfficePageIndexRelations, true);
        ActivatePage(AdvOfficePageIndexRelations);
        break;
    default:
        break;
    }
    return true;
}

void TFormWordList::PageSetupHook()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return;
    TOneToolWindowList& pages = ToolWindowList();
    for (int i = 1; i < pages.Count(); ++i) {
        TCVBaseLemmaMatchCapableList* list = nullptr;
        switch (pages.ListTypeOfPage(i) & 0x7F) {
        case kListWordList:
            list = doc->WordlistOfType(kListWordList);
            break;
        case kListKeyWords:
            list = doc->fKeywordsList.get();
            break;
        case kListConsistencyRelations:
            list = doc->fDetailedConsistencyList ? doc->fDetailedConsistencyList->RelationsList() : nullptr;
            break;
        case kListDetailedConsistency:
            list = doc->fDetailedConsistencyList.get();
            break;
        case kListFilenames:
            if (doc->fStats)
                doc->CVBaseFilenames(*doc->fStats);
            list = doc->fCVBaseFilenames.get();
            break;
        case kListStatistics:
            list = doc->fStats.get();
            break;
        case kListIndexWordList:
            list = doc->WordlistOfType(kListIndexWordList);
            break;
        case kListIndexRelationships:
            list = doc->fIndexHandler ? doc->fIndexHandler->fRelationshipsList.get() : nullptr;
            break;
        case kListKeyWordPlot:
            list = m_keyWords ? m_keyWords->fPlots.get() : nullptr;
            break;
        case kListKeyWordLinks:
            list = m_keyWords ? m_keyWords->fKWLinks.get() : nullptr;
            break;
        default:
            break;
        }
        pages.SetListOfPage(i, list);
    }
}

void TFormWordList::ShowDataOrStartScreen()
{
    const bool hasData = fData != nullptr;
    if (LoggingIsOn())
        AddToLogFile(hasData ? QStringLiteral("Checking data -- we have data") : QStringLiteral("Checking data -- no data"));
    TOneToolWindowList& pages = ToolWindowList();
    pages.fHasData = hasData;
    if (!hasData) {
        ElLabelTool->setText(Tool_Name(current_tool_var));
        LabelVersion->setText(Format(CVVersion, {QCoreApplication::applicationVersion().left(51)}));
        AdvPanelToolname->show();
        AdvOfficePager1->hide();
        ContainBoxMainTop->hide();
        PostToController(kCodeNoData);
        DetachGridsFromLists();
        // Nothing of the data that went stays on the status bar.
        AdvOfficeStatusBar1->ClearTheStatusBar();
        return;
    }
    pages.ShowToolbarAndStatusBar(ContainBoxMainTop, AdvOfficeStatusBar1);
    AdvPanelToolname->hide();
    AdvOfficePager1->show();
}

void TFormWordList::RefreshDataDisplay()
{
    ShowDataOrStartScreen();
    if (fData)
        GlobalProgress().Hide();
    SetUpCurrentPage(AdvOfficePager1);
    SetPageAppropriateCaption();
    Global_Busy_Dont_Show_Data = false;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

QString TFormWordList::DocumentTitle()
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return {};
    const QString file = doc->MainFile.FileName;
    const uint8_t kind = doc->MainFile.ListType;
    const bool changed = ListTypesHoldingData() != 0;
    const QString unsaved = QStringLiteral(" (%1)").arg(CVUnsaved.toString());
    if (doc->fIndexHandler && kind != kListIndexRelationships) {
        // An index is titled after itself, whatever was made from it and
        // saved since; what is not saved yet is named.
        const QString title = Format(CVIndexFile, {QFileInfo(doc->fIndexHandler->BaseName()).fileName()});
        const TCVWordList* clusters = doc->WordlistOfType(kListWordList);
        if (clusters && clusters->ChangeMark() != 0)
            return title + QStringLiteral(" (%1 %2)").arg(CVClusters.toString(), CVUnsaved.toString());
        return title + (changed ? unsaved : QString());
    }
    // A name given but never saved under (relationships are named after
    // their index) is no saved file.
    const bool onDisk = !file.isEmpty() && QFileInfo(file).isFile();
    if (file.isEmpty() && doc == m_batchDocument)
        return m_batchTitle + (changed ? unsaved : QString()); // one list of a batch zip
    const QString name = file.isEmpty() ? ListTypeName(kind) : QFileInfo(file).fileName();
    return name + (changed || !onDisk ? unsaved : QString());
}

void TFormWordList::SetPageAppropriateCaption()
{
    const QString title = DocumentTitle();
    // Told to the controller only when it changes.
    if (title.isEmpty() ? windowTitle() != Tool_Name(current_tool_var) : windowTitle() != title)
        SetToolCaption(title);
}

QPlainTextEdit* TFormWordList::NotesEditor() { return WLMemoNotes; }

void TFormWordList::PrepareOpenDialog(uint8_t listType)
{
    TMainToolsForm::PrepareOpenDialog(listType);
    ShowPagesForListType();
}

void TFormWordList::SettingsChanged(int code)
{
    if (Destroying())
        return;
    TMainToolsForm::SettingsChanged(code);
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (doc && doc->fIndexHandler && code == kCodeReReadSettings) {
        doc->fIndexHandler->ResetTheSettingsFromTextbuf();
        doc->WordlistSettings = GetWordlistSettings();
    }
    // The settings re-read with the document's lists leave the clouds as
    // they are; any other change reaches every open word cloud.
    if (!(fData && code == kCodeReReadSettings))
        ReloadOpenWordCloudSettings();
}

// ---------------------------------------------------------------------------
// Documents

std::unique_ptr<TCorvantisholder> TFormWordList::NewDocumentHolder(uint8_t listType)
{
    LastSourceTextFile.clear();
    StartupOpenFileRec().ListType = listType;
    return std::make_unique<T_WholeWordlistHolder>(listType, fTagsToTranslateList.get(), fTagHandler.get(), false,
                                                   false, TCorvantisholder::TDudFileCallback{},
                                                   TCorvantisholder::TMainListEntriesCallback{},
                                                   [this] { return GetCentreofMainForm(); });
}

std::unique_ptr<TCorvantisholder> TFormWordList::MakeDocumentHolder(uint8_t listType)
{
    TMainToolsForm::MakeDocumentHolder(listType);
    m_batchDocument = nullptr;
    return std::make_unique<T_WholeWordlistHolder>(
        listType, fTagsToTranslateList.get(), fTagHandler.get(), Global_stopLemmaMatchLoaded[0],
        Global_stopLemmaMatchLoaded[2], [this](const QString& name) { return ReportUnreadText(name); },
        [this](int64_t entries) { ShowMainListEntryCount(entries); }, [this] { return GetCentreofMainForm(); });
}

QPoint TFormWordList::GetCentreofMainForm() const { return geometry().center(); }

void TFormWordList::ShowMainListEntryCount(int64_t entries)
{
    if (HasData())
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, Format(CVNEntries, {entries}));
}

int TFormWordList::ReportUnreadText(const QString& fileName)
{
    // While indexing, an unread text is told at once; otherwise the job lists
    // every unread text in one message at its end.
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (doc && doc->fIndexHandler)
        FailedToRead(fileName);
    return 0;
}

// ---------------------------------------------------------------------------
// Opening files

TFormWordList::TDocumentUse::TDocumentUse(TFormWordList& window) : m_window(window), m_was(window.m_documentInUse)
{
    m_window.m_documentInUse = true;
    m_window.AdvOfficePager1->tabBar()->setEnabled(false);
}

TFormWordList::TDocumentUse::~TDocumentUse()
{
    m_window.m_documentInUse = m_was;
    m_window.AdvOfficePager1->tabBar()->setEnabled(!m_was);
}

bool TFormWordList::RefusedWhileInUse(const char* what) const
{
    if (!m_documentInUse)
        return false;
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("%1 refused: a job is working on the data").arg(QLatin1String(what)));
    return true;
}

void TFormWordList::CloseData(bool clearFile)
{
    if (RefusedWhileInUse("closing the data"))
        return;
    TMainToolsForm::CloseData(clearFile);
    // The plots and links belong to the document that went.
    m_keyWords.reset();
}

bool TFormWordList::StopJobForShortage()
{
    if (!m_documentInUse)
        return false;
    global_panic_state = kPanicStopNow;
    NotEnoughMemory(QStringLiteral("go on with the job"));
    return true;
}

TListTypeSet TFormWordList::ListTypesHoldingData()
{
    TListTypeSet set = TMainToolsForm::ListTypesHoldingData();
    const T_WholeWordlistHolder* doc = WordlistDocument();
    if (doc && doc->fIndexHandler && doc->fIndexHandler->fRelationshipsList &&
        doc->fIndexHandler->fRelationshipsList->ChangeMark() != 0)
        set |= TListTypeSet(1) << kListIndexRelationships;
    return set;
}

void TFormWordList::KeepUnsaved(std::initializer_list<TCVBaseDataClass*> lists)
{
    for (TCVBaseDataClass* list : lists)
        if (list)
            list->SetChangeMark(kMarkMadeNotSaved);
}

bool TFormWordList::MayReplaceUnsaved(uint8_t listType)
{
    if ((ListTypesHoldingData() & (TListTypeSet(1) << listType)) == 0)
        return true;
    return AskToSaveIfWanted() != TDialogAnswer::Cancel;
}

bool TFormWordList::OpenFile(QWidget* second)
{
    // What the reader says of a file it refuses is the one message about it.
    TFailureToldWatch failures;
    TFailureToldWatch* const outer = std::exchange(m_openFailures, &failures);
    const auto restore = qScopeGuard([this, outer] { m_openFailures = outer; });
    if (RefusedWhileInUse("opening a file"))
        return false;
    const TCVStored_File_rec rec = StartupOpenFileRec();
    const auto failedKeepingWhatIsShown = [&] {
        // A Stop asked for is no failure to read.
        if (global_panic_state != kPanicRun)
            ReportedAFact(CVSuspendStop);
        else if (!failures.Told())
            FailedToRead(rec.FileName);
        KeepShownAfterFailedOpen();
        return false;
    };
    // An index is opened before anything shown goes (OpenIndexDocument).
    if (rec.ListType == kListIndexWordList) {
        if ((OpenIndexDocument() & 0xFF) == 0)
            return failedKeepingWhatIsShown();
        return AfterFileOpened();
    }
    // So is a saved result read: a file that cannot be read leaves the
    // window as it was. A batch zip first asks what to do with it.
    std::unique_ptr<TCorvantisholder> read;
    const bool batch = rec.Count > 0 && IsAZipFile(rec.FileName);
    if (!batch && QFileInfo(rec.FileName).isFile()) {
        read = MakeDocumentHolder(rec.ListType);
        read->MainFile = rec;
        if ((read->ReadWholeFromFile(rec.FileName, current_tool_var) & 0xFF) == 0)
            return failedKeepingWhatIsShown();
    }
    if (!TMainToolsForm::OpenFile(second))
        return false;
    if (read)
        fData = std::move(read);
    T_WholeWordlistHolder* doc = WordlistDocument();
    bool ok = false;
    if (rec.ListType == kListIndexRelationships) {
        // Relationships are read with the index they come from.
        ok = doc && OpenRelationshipsWithTheirIndex(rec.FileName);
        NoteFileOpened(ok);
    } else if (batch) {
        const TDialogAnswer answer = DoYouWantToOpenBatchFileToSeeIndividualLists(rec.FileName);
        if (answer == TDialogAnswer::Yes) {
            QPointer<TFormWordList> self(this);
            const bool listed = JobChoices().ChooseFromBatchZip(
                rec.FileName, [self](TStream& stream, const TCheckSignature& signature, int index) {
                    return self && self->OpenBatchResult(stream, signature, index);
                });
            NoteFileOpened(listed);
        } else if (answer == TDialogAnswer::No &&
                   DoYouWantToOpenBatchFileToMergeLists(rec.FileName) == TDialogAnswer::OK) {
            ok = MergeBatchLists();
            NoteFileOpened(ok);
        }
    } else {
        ok = doc != nullptr;
        if (ok && doc->MainFile.ListType == kListIndexRelationships)
            return true;
        NoteFileOpened(ok);
        const bool keyWords = ok && doc->fKeywordsList && doc->fKeywordsList->Count() > 0;
        SetPageVisible(AdvOfficePageKWs, keyWords);
        if (keyWords)
            AdvOfficePager1->setTabText(
                AdvOfficePager1->indexOf(AdvOfficePageKWs),
                Format(CVKWsWithFilename, {WithoutFolder(doc->fKeywordsList->KWSettings.ReferenceListName())}));
    }
    if (!ok) {
        CloseData(true);
        RefreshDataDisplay();
        EndOfOpen();
        return false;
    }
    return AfterFileOpened();
}

bool TFormWordList::AfterFileOpened()
{
    if (fData) {
        RestoreClientSizeFromHolder();
        fData->CheckMenuItemsAfterLoadFromFile();
        PrepareOpenDialog(fData->MainFile.ListType);
        ToolWindowList().Last_actions.Include(kActionFileOpened);
    }
    RefreshDataDisplay();
    EndOfOpen();
    return fData != nullptr;
}

void TFormWordList::EndOfOpen()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    GlobalProgress().Hide();
    Global_Busy_Dont_Show_Data = false;
    // What the reading did not keep (and a document it replaced) goes back to the system.
    GiveBackFreedMemory();
}

void TFormWordList::KeepShownAfterFailedOpen()
{
    // The question about unsaved data set the pages up for new data: the
    // data kept show again as they were.
    if (fData)
        ShowPagesForListType();
    RefreshDataDisplay();
    EndOfOpen();
}

QString TFormWordList::IndexOfRelationships(const QString& relationshipsFile) const
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    const QFileInfo file(relationshipsFile);
    const QString candidates[] = {
        doc ? doc->RelationshipsParentIndex() : QString(),
        file.dir().filePath(file.completeBaseName() + QStringLiteral(".tokens")),
        GetLastUsedFile(kListIndexWordList),
    };
    for (const QString& c : candidates)
        if (!c.isEmpty() && QFileInfo(c).isFile())
            return c;
    return {};
}

bool TFormWordList::OpenRelationshipsWithTheirIndex(const QString& relationshipsFile)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || doc->fRelationshipsBlock.isEmpty())
        return false;
    const QByteArray relationships = doc->fRelationshipsBlock;
    const QStringList notes = doc->fNotes;
    const QString index = IndexOfRelationships(relationshipsFile);
    if (index.isEmpty()) {
        const QString named = doc->RelationshipsParentIndex();
        FailedToFind(named.isEmpty() ? relationshipsFile : named);
        return false;
    }
    TCVStored_File_rec& rec = StartupOpenFileRec();
    rec.Clear();
    rec.FileName = index;
    rec.ListType = kListIndexWordList;
    if ((OpenIndexDocument() & 0xFF) == 0)
        return false;
    doc = WordlistDocument();
    doc->fRelationshipsBlock = relationships;
    if (!doc || !doc->TakeRelationshipsBlock())
        return false;
    doc->fNotes = notes;
    doc->MainFile.FileName = relationshipsFile;
    doc->MainFile.ListType = kListIndexRelationships;
    rec.FileName = relationshipsFile;
    rec.ListType = kListIndexRelationships;
    ShowPagesForListType();
    SetToolCaption(QFileInfo(relationshipsFile).fileName());
    return true;
}

bool TFormWordList::MergeBatchLists()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return false;
    const QString zipName = StartupOpenFileRec().FileName;
    TZipArchive zip;
    TMemoryStream stream;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    bool good = zip.OpenArchive(zipName);
    const int count = good ? zip.FileCount() : 0;
    good = count > 0;
    TDocumentUse inUse(*this);
    for (int i = 0; i < count && good && global_panic_state.load() == kPanicRun; ++i) {
        MyYieldProcess();
        good = zip.ExtractToStream(i, stream) && stream.Size() > 0;
        GlobalProgress().OverallPercent(i * 100 / count);
        if (!good)
            break;
        T_WholeWordlistHolder part(kListWordList, fTagsToTranslateList.get(), fTagHandler.get(), false, false,
                                   [this](const QString& name) { return ReportUnreadText(name); });
        stream.SetPosition(0);
        good = part.ReadWholeFromStream(stream) && doc->MergeWith(part, false);
        doc->fNotes.clear();
        stream.Clear();
    }
    if (!good && zip.ErrorString().size() > 0)
        FailedToRead(zipName);
    doc->AddOneLaterNote(Format(CVWordlistsMergedFromFile, {count, zipName}));
    doc->MainFile.ListType = kListWordList;
    doc->MainFile.FileName = CVMerged;
    GlobalProgress().Hide();
    return good;
}

// ---------------------------------------------------------------------------
// Start-up

void TFormWordList::HandleStartup()
{
    try {
        OpenAtStartup();
    } catch (const std::bad_alloc&) {
        // The start-up ends without what could not be opened or shown (an
        // unattended run waits for its end); nothing else is under way.
        DropDataForShortage();
    }
    QTimer::singleShot(0, this, [this] {
        AfterStartup(*this);
        emit StartupFinished();
    });
}

void TFormWordList::OpenAtStartup()
{
    HandleStartupParameters(*this, m_commandLine);
    TMainToolsForm::HandleStartup();
    TCVStored_File_rec& rec = StartupOpenFileRec();
    const bool named = !m_commandLine.isEmpty() && !m_commandLine.first().isEmpty();
    // A name that found no file leaves the record empty: nothing to open.
    if (named && !rec.FileName.isEmpty()) {
        switch (rec.ListType) {
        case kListIndexWordList:
            OpenIndexDocument();
            break;
        case 0:
        case 6:
        case 7:
        case 8:
        case 9:
            OpenFile(GetChildForm());
            break;
        case kListPlainTextWordList:
            ToolWindowList().Last_actions.Include(kActionWordlistMade);
            ChosenTexts->ClearThem();
            ChosenTexts->ToolAddAFile(rec.FileName);
            rec.FileName.clear();
            RunAsJob([this] { MakeWordListJob(); });
            break;
        default:
            break;
        }
    }
    RefreshDataDisplay();
}

// ---------------------------------------------------------------------------
// Messages and handlers

bool TFormWordList::WindowMessage(uint32_t msg, uint64_t wparam, int64_t lparam)
{
    switch (msg) {
    case kMsgMakeList:
        ComputeRequestHandler(wparam, lparam);
        return true;
    case kMsgRunningWords:
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, QLocale::system().toString(qlonglong(lparam)));
        return true;
    case kMsgFormulaFocus:
        return true;
    default:
        return TMainToolsForm::WindowMessage(msg, wparam, lparam);
    }
}

void TFormWordList::TimerWordListingTimer() { Global_progress_tick = true; }

void TFormWordList::ShowGridHint(TCV_Grid* grid)
{
    if (grid && grid->ObscuredWarned())
        DataPartlyObscured();
}

void TFormWordList::ToolButtonCloseClick() { HideTypingToolbar(); }

} // namespace cv
