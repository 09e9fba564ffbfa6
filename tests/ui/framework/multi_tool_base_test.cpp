#include "framework_testutil.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "suite/controller_codes.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "suite/window_placement.h"
#include "support/recording_controller.h"
#include "ui/framework/controller_commands.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/multi_tool_base.h"

namespace framework_test {
namespace {

QString ReadUtf16(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable>");
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("<no mark>");
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
}

// The window, a controller that records what the tool posts to it, and the desktop.
class MultiToolBaseTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        cv::SetShellWnd(controller.Handle());
        cv::ResetBaseDataSet();
    }
    void TearDown() override
    {
        cv::SetShellWnd(0);
        cv::ToolClosing = false;
        FrameworkTest::TearDown();
    }
    // The codes the tool posted to the controller since the last call.
    std::vector<int> Posted() { return controller.Posted(); }
    cv::TCommonMenuContext Context()
    {
        cv::TCommonMenuContext c;
        c.window = window.get();
        c.pager = window->pager;
        c.document = window->Data();
        c.open = [this] { ++opens; };
        c.close = [this] { ++closes; };
        c.textFileName = &textName;
        return c;
    }

    cvtest::TRecordingController controller;
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard{&desktop};
    int opens = 0;
    int closes = 0;
    QString textName;
};

// ---------------------------------------------------------------------------
// Placement

TEST(MainFormPlacementTest, ThreeQuartersOfTheScreenMovedPerToolAndPerToolOpen)
{
    cv::TMainFormPlacementInput in;
    in.desktop = QRect(0, 0, 1600, 1200);
    in.captionHeight = 20;
    in.tool = 2;
    in.toolsOpen = 1;
    // c = 20, d = 96 * 1 / 4 = 24: left (2 + 1) * 20 + 24, top 3 * 20 + 24.
    EXPECT_EQ(cv::MainFormPlacement(in), QRect(84, 84, 1200, 900));
    // A second monitor counts only when the settings name a default one.
    in.monitorCount = 2;
    in.monitor1 = QRect(-1280, 100, 1280, 1024);
    EXPECT_EQ(cv::MainFormPlacement(in).topLeft(), QPoint(84, 84));
    in.defaultMonitor = 1;
    EXPECT_EQ(cv::MainFormPlacement(in).topLeft(), QPoint(84 - 1280, 184));
}

TEST(MainFormPlacementTest, ASmallScreenStillGetsTheMinimumSizeScaledForItsDpi)
{
    cv::TMainFormPlacementInput in;
    in.desktop = QRect(0, 0, 600, 400);
    EXPECT_EQ(cv::MainFormPlacement(in).size(), QSize(640, 460));
    in.screenDpi = 144;
    EXPECT_EQ(cv::MainFormPlacement(in).size(), QSize(960, 690));
}

// ---------------------------------------------------------------------------
// The shared menu commands

TEST_F(MultiToolBaseTest, SettingsCommandsGoToTheControllerAndUnknownTagsStayWithTheWindow)
{
    // The codes are the controller's; the tool's own and the index settings,
    // and the Windows menu's commands, post their own number.
    using enum cv::TMenuCommand;
    const std::vector<std::pair<cv::TMenuCommand, int>> expected{
        {Colours, 1260},        {Font, 1130},
        {Language, 1230},       {Folders, 1600},
        {TagSettings, 1790},    {StopLemmaMatchLists, 1460},
        {SettingsOfTool, TagOf(SettingsOfTool)}, {ChooseTexts, 1240},
        {Customise, 4440},      {IndexSettings, TagOf(IndexSettings)},
        {TileVertically, TagOf(TileVertically)}, {TileHorizontally, TagOf(TileHorizontally)},
        {AboutAndMemory, 951}};
    for (const auto& [command, code] : expected) {
        EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(command))) << TagOf(command);
        EXPECT_EQ(Posted(), std::vector<int>{code}) << TagOf(command);
    }
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::PageSetup))); // page set-up: nothing
    EXPECT_FALSE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::JoinRows)));
    EXPECT_FALSE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::Save)));
    EXPECT_TRUE(Posted().empty());
    EXPECT_TRUE(dialogs.Requests().empty());
}

// A settings window of the controller comes up over the window that asked
// for it: the window's centre goes first, then the command.
TEST_F(MultiToolBaseTest, ASettingsCommandTellsTheControllerWhereTheAskingWindowIs)
{
    window->setGeometry(420, 260, 300, 200);
    Posted();
    for (int tag : {TagOf(cv::TMenuCommand::Customise), TagOf(cv::TMenuCommand::IndexSettings), TagOf(cv::TMenuCommand::ChooseTexts)}) {
        controller.params.clear();
        EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), tag)) << tag;
        QCoreApplication::processEvents();
        ASSERT_EQ(controller.got.size(), 2u) << tag;
        EXPECT_EQ(controller.got[0].first, cv::kMsgControllerParam) << "the place comes before the command";
        ASSERT_EQ(controller.params.size(), 1u) << tag;
        EXPECT_EQ(controller.params[0].first, cv::kCodeAskingWindowCentre);
        EXPECT_EQ(cv::UnpackScreenPoint(controller.params[0].second), window->frameGeometry().center()) << tag;
        Posted();
    }
}

TEST_F(MultiToolBaseTest, OpenCloseAndTheAcknowledgementTag)
{
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::Open)));
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::Close)));
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(cv::ToolClosing);
    // While the tool closes, activation leaves the window alone.
    int called = 0;
    cv::ActivateMainForm(nullptr, [&](int code) { called = code; });
    EXPECT_EQ(called, 0);
    cv::ToolClosing = false;
    cv::ActivateMainForm(nullptr, [&](int code) { called = code; });
    EXPECT_EQ(called, -1);

    cv::LanguageChangeDone = false;
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::LanguageChangeDone)));
    EXPECT_TRUE(cv::LanguageChangeDone);
    EXPECT_THROW(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::CauseACrash)), std::domain_error);
}

TEST_F(MultiToolBaseTest, TheWindowsMenuCommandsOpenAndCloseThroughTheSharedHandler)
{
    ShowSample();
    ASSERT_NE(window->Data(), nullptr);
    auto close = std::make_unique<QAction>();
    cv::SetMenuTag(close.get(), TagOf(cv::TMenuCommand::Close));
    window->HandleMenuItemClick(close.get());
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));
    EXPECT_TRUE(cv::ToolClosing);

    auto open = std::make_unique<QAction>();
    cv::SetMenuTag(open.get(), TagOf(cv::TMenuCommand::Open));
    window->HandleMenuItemClick(open.get()); // the open dialog, cancelled
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_FALSE(files.Requests().front().save);

    // Data shown again: the tool is no longer closing.
    ShowSample();
    EXPECT_FALSE(cv::ToolClosing);
}

TEST_F(MultiToolBaseTest, PlainTextSavesATextPagesLinesAndLeavesTheGridToTheWindow)
{
    // Not a text page: nothing asked, and the window goes on.
    ShowSample();
    EXPECT_FALSE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::SaveAsPlainText)));
    EXPECT_TRUE(files.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().empty());

    // The notes page made a text page (list type 27) with lines on it.
    cv::TOneToolWindowList& pages = cv::ToolWindowList();
    for (int i = 1; i < pages.Count(); ++i)
        if (pages.Items(i)->data.the_object == window->notes)
            pages.Items(i)->data.ListType = cv::kListSecondText;
    window->pager->setCurrentWidget(window->notes);
    window->notes->setPlainText(QStringLiteral("first\nsecond"));
    const QString target = dir.file(QStringLiteral("text.txt"));
    files.QueueAnswer(target);
    EXPECT_FALSE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::SaveAsPlainText)));
    EXPECT_EQ(ReadUtf16(target), QStringLiteral("first\r\nsecond"));
    EXPECT_EQ(textName, target);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOK")});
    // The next time the same file is written without asking.
    window->notes->setPlainText(QStringLiteral("third"));
    EXPECT_FALSE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::SaveAsPlainText)));
    EXPECT_EQ(files.Requests().size(), 1u);
    EXPECT_EQ(ReadUtf16(target), QStringLiteral("third"));
}

TEST_F(MultiToolBaseTest, TagDisplayAndRulerChangeTheDocumentAndTheGrid)
{
    // Without a document nothing changes.
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::TagsAsSuffix)));
    EXPECT_FALSE(cv::GetMenuItemChecked(cv::TMenuCommand::TagsAsSuffix));

    ShowSample();
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::TagsAsSuffix)));
    EXPECT_EQ(window->Data()->ftextsettings.TagDisplay(), 2);
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::TagsAsSuffix));
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::WordsHidden)));
    EXPECT_EQ(window->Data()->ftextsettings.TagDisplay(), 3);
    EXPECT_FALSE(cv::GetMenuItemChecked(cv::TMenuCommand::TagsAsSuffix));
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::WordsHidden));

    cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
    ASSERT_NE(grid, nullptr);
    cv::SetMenuItemChecked(cv::TMenuCommand::Ruler, false);
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::Ruler)));
    EXPECT_EQ(grid->GridOptions & cv::kGridOptionVerticalLines, 0u);
    cv::SetMenuItemChecked(cv::TMenuCommand::Ruler, true);
    EXPECT_TRUE(cv::HandleCommonMenuCommand(Context(), TagOf(cv::TMenuCommand::Ruler)));
    EXPECT_NE(grid->GridOptions & cv::kGridOptionVerticalLines, 0u);
}

TEST_F(MultiToolBaseTest, ChangedSettingsBringTheSearchWordPaddingToTheCurrentGrid)
{
    ShowSample();
    cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
    ASSERT_NE(grid, nullptr);
    cv::SetMenuItemChecked(cv::TMenuCommand::SearchWordPadding, true);
    window->SettingsChanged(cv::kCodeReReadSettings);
    EXPECT_NE(grid->GridOptions & cv::kGridOptionPadSearchWord, 0u);
    cv::SetMenuItemChecked(cv::TMenuCommand::SearchWordPadding, false);
    cv::ApplyStyleToCurrentGrid();
    EXPECT_EQ(grid->GridOptions & cv::kGridOptionPadSearchWord, 0u);
}

TEST_F(MultiToolBaseTest, StatusBarAndToolbarFollowTheirMenuChecks)
{
    ShowSample();
    auto* toolbar = new QWidget(window.get());
    cv::TCommonMenuContext c = Context();
    c.toolbar = toolbar;
    c.statusBar = window->AdvOfficeStatusBar1;
    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, false);
    EXPECT_TRUE(cv::HandleCommonMenuCommand(c, TagOf(cv::TMenuCommand::MainToolbar)));
    EXPECT_FALSE(toolbar->isVisibleTo(window.get()));
    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, true);
    EXPECT_TRUE(cv::HandleCommonMenuCommand(c, TagOf(cv::TMenuCommand::MainToolbar)));
    EXPECT_TRUE(toolbar->isVisibleTo(window.get()));
}

// ---------------------------------------------------------------------------
// Files, captions and dialogs

TEST_F(MultiToolBaseTest, RecentFileCaptionsKeepBackslashNAndOpenOnlyThisToolsFiles)
{
    EXPECT_EQ(cv::RecentFileCaptionText(QStringLiteral("C:\\new\\list.lst")), QStringLiteral("C:\\New\\list.lst"));
    EXPECT_EQ(cv::RecentFileCaptionText(QStringLiteral("C:\\old\\n.lst")), QStringLiteral("C:\\old\\N.lst"));

    ShowSample();
    const QString saved = dir.file(QStringLiteral("recent.lst"));
    ASSERT_TRUE(window->SaveGridData(window->freq, saved));
    cv::SetLastMainToolFileName(cv::kToolWordList, saved);
    QAction item;
    cv::RecentFileMenuCaption(&item);
    EXPECT_EQ(item.text(), cv::RecentFileCaptionText(saved));

    int opened = 0;
    EXPECT_TRUE(cv::OpenRecentFile(&item, [&] { return ++opened > 0; }));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(cv::StartupOpenFileRec().FileName, saved);
    EXPECT_EQ(cv::StartupOpenFileRec().ListType, cv::kListWordList);

    // A file that went, and one that is not the tool's, open nothing.
    QAction gone(dir.file(QStringLiteral("gone.lst")));
    EXPECT_FALSE(cv::OpenRecentFile(&gone, [&] { return ++opened > 0; }));
    QAction text(dir.write(QStringLiteral("plain.txt"), "text"));
    EXPECT_FALSE(cv::OpenRecentFile(&text, [&] { return ++opened > 0; }));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("IsntCorvanFile")});
}

TEST_F(MultiToolBaseTest, CaptionsShowTheFileWithoutFolderAndIndexesByName)
{
    ShowSample();
    cv::TCorvantisholder* doc = window->Data();
    doc->MainFile.FileName = dir.file(QStringLiteral("corpus.lst"));
    EXPECT_EQ(cv::CaptionFromFile(doc, doc->MainFile.FileName), QStringLiteral("corpus.lst"));
    EXPECT_EQ(cv::CaptionFromFile(doc, QStringLiteral("Batch, # 3")), QStringLiteral("Batch, # 3"));
    doc->MainFile.ListType = cv::kListIndexWordList;
    EXPECT_EQ(cv::CaptionFromFile(doc, doc->MainFile.FileName), QStringLiteral("Index: corpus"));
    cv::SetCaptionFromFile(*window, doc, doc->MainFile.FileName, true);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    EXPECT_EQ(Posted().back(), cv::kCodeHasData);
    cv::SetCaptionFromFile(*window, doc, QString(), false);
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));
    EXPECT_EQ(Posted().back(), cv::kCodeNoData);
}

TEST_F(MultiToolBaseTest, SavingADocumentStoresTheNameNotesAndSizeAndAFailureForgetsTheName)
{
    ShowSample();
    cv::TCorvantisholder* doc = window->Data();
    window->notes->setPlainText(QStringLiteral("my note"));
    window->notes->document()->setModified(true);
    cv::TCVStored_File_rec second;
    const QString name = dir.file(QStringLiteral("doc.lst"));
    ASSERT_TRUE(cv::SaveDocument(*window, &second, window->notes, name, *doc));
    EXPECT_EQ(second.FileName, name);
    EXPECT_EQ(doc->fNotes, QStringList{QStringLiteral("my note")});
    EXPECT_FALSE(window->notes->document()->isModified());
    int height = 0;
    bool present = false;
    doc->TryToGetClientHeightOrWidth(96, true, height, present);
    EXPECT_TRUE(present);

    cv::NoteFileSaved(*window, doc, true);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOK")});
    EXPECT_EQ(cv::GetLastMainToolFileName(cv::kToolWordList), name);
    EXPECT_EQ(Posted().back(), cv::kCodeFileOpenedOrSaved);

    cv::NoteFileSaved(*window, doc, false);
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("FailedToSave"));
    EXPECT_TRUE(doc->MainFile.FileName.isEmpty());
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));

    // The window keeps the size the document stored.
    doc->StoreClientSize(300, 500, 96);
    doc->MainFile.FileName = name;
    EXPECT_TRUE(cv::RestoreClientSizeFromHolder(*window, *doc, 250, 0));
    EXPECT_EQ(window->size(), QSize(500, 250));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("doc.lst"));
}

TEST_F(MultiToolBaseTest, AFailedOpenSaysWhyAStoppedOneSaysItWasStopped)
{
    ShowSample();
    cv::TCorvantisholder* doc = window->Data();
    doc->MainFile.FileName = dir.file(QStringLiteral("x.lst"));
    cv::NoteFileOpened(*window, doc, nullptr, false);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToRead")});
    EXPECT_TRUE(doc->MainFile.FileName.isEmpty());
    cv::global_panic_state = cv::kPanicStopNow;
    cv::NoteFileOpened(*window, doc, nullptr, false);
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("ReportedAFact"));
    EXPECT_EQ(dialogs.Requests().back().text, cv::CVSuspendStop.toString());
    cv::global_panic_state = cv::kPanicRun;

    doc->fNotes = QStringList{QStringLiteral("a"), QStringLiteral("b")};
    doc->MainFile.FileName = dir.file(QStringLiteral("y.lst"));
    cv::NoteFileOpened(*window, doc, window->notes, true);
    EXPECT_EQ(window->notes->toPlainText(), QStringLiteral("a\nb"));
    EXPECT_EQ(cv::GetMyTempFilename(), doc->MainFile.FileName);
}

TEST_F(MultiToolBaseTest, StringsAreSavedUnderAChosenNameAndACancelWritesNothing)
{
    QString name;
    files.QueueCancel();
    EXPECT_FALSE(cv::SaveStringsAskingName(name, {QStringLiteral("x")}));
    EXPECT_TRUE(name.isEmpty());

    const QString target = dir.write(QStringLiteral("kept.txt"), "old");
    // A name that does not exist asks; the chosen existing file is kept when overwriting is declined.
    name = dir.file(QStringLiteral("new.txt"));
    files.QueueAnswer(target);
    EXPECT_FALSE(cv::SaveStringsAskingName(name, {QStringLiteral("x")}));
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old"));
}

TEST_F(MultiToolBaseTest, TheOpenDialogIsSetOncePerListTypeAndDataState)
{
    cv::TCVFileDialog dialog(cv::TCVFileDialog::TKind::Open);
    EXPECT_TRUE(cv::PrepareOpenDialog(dialog, cv::kListWordList, false));
    EXPECT_EQ(dialog.DefaultExt, QStringLiteral("lst"));
    dialog.InitialDir = QStringLiteral("elsewhere");
    EXPECT_FALSE(cv::PrepareOpenDialog(dialog, cv::kListWordList, false));
    EXPECT_EQ(dialog.InitialDir, QStringLiteral("elsewhere"));
    EXPECT_TRUE(cv::PrepareOpenDialog(dialog, cv::kListWordList, true));
    // A list type without files of its own gets the tool's.
    EXPECT_TRUE(cv::PrepareOpenDialog(dialog, cv::kListNone, true));
    EXPECT_EQ(dialog.DefaultExt, QStringLiteral("lst"));
    cv::ResetBaseDataSet();
    EXPECT_EQ(cv::BaseDataSet().list, cv::kListNone);
    EXPECT_FALSE(cv::BaseDataSet().hasdata);

    cv::TCVFileDialog edit(cv::TCVFileDialog::TKind::Open);
    cv::SetFileNameEditDefaults(edit, cv::kToolWordList);
    EXPECT_EQ(edit.DefaultExt, QStringLiteral("lst"));
    EXPECT_FALSE(edit.Filter.isEmpty());
}

TEST_F(MultiToolBaseTest, ASaveNameThatExistsNeedsAgreementAndItsFolderBecomesTheDefault)
{
    const QString existing = dir.write(QStringLiteral("taken.lst"), "x");
    cv::TCVFileDialog dialog(cv::TCVFileDialog::TKind::Save);
    QString name;
    files.QueueAnswer(existing);
    EXPECT_FALSE(cv::AskSaveFileName(dialog, cv::kToolWordList, name)); // overwriting declined (default No)
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("OKToOverwrite")});
    files.QueueAnswer(existing);
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_TRUE(cv::AskSaveFileName(dialog, cv::kToolWordList, name));
    EXPECT_EQ(name, existing);
    EXPECT_EQ(cv::GetDefaultFolder(), QFileInfo(existing).absolutePath());
}

// A word-list document whose texts can be renamed.
class RenamingDocument final : public cv::T_WholeWordlistHolder {
public:
    using T_WholeWordlistHolder::T_WholeWordlistHolder;
    int UpdateSearchReplaceFilenames(const QString& search, const QString& replacement, bool caseSensitive) override
    {
        names.replaceInStrings(search, replacement, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
        return names.filter(replacement).size();
    }
    QStringList names{QStringLiteral("C:/texts/a.txt"), QStringLiteral("C:/texts/b.txt")};
};

TEST_F(MultiToolBaseTest, RenamingTextsReportsTheChangeAndOffersToSaveAgain)
{
    RenamingDocument doc(cv::kListWordList, nullptr, nullptr, false, false);
    std::pair<QString, QString> result;
    int refreshed = 0;
    const auto cancel = [] { return std::optional<cv::TFileNameReplacement>(); };
    EXPECT_FALSE(cv::RenameTextFilesInDocument(*window, &doc, cancel, result, [&] { ++refreshed; }));
    const auto none = [] { return std::optional<cv::TFileNameReplacement>({QStringLiteral("D:/"), QStringLiteral("E:/")}); };
    EXPECT_FALSE(cv::RenameTextFilesInDocument(*window, &doc, none, result, [&] { ++refreshed; }));
    EXPECT_EQ(refreshed, 0);

    doc.MainFile.FileName = dir.file(QStringLiteral("renamed.lst"));
    ASSERT_TRUE(doc.SaveToFile(doc.MainFile.FileName));
    const auto move = [] {
        return std::optional<cv::TFileNameReplacement>({QStringLiteral("c:/texts"), QStringLiteral("/home/texts")});
    };
    EXPECT_TRUE(cv::RenameTextFilesInDocument(*window, &doc, move, result, [&] { ++refreshed; }));
    EXPECT_EQ(result, std::make_pair(QStringLiteral("c:/texts"), QStringLiteral("/home/texts")));
    EXPECT_EQ(doc.names.first(), QStringLiteral("/home/texts/a.txt"));
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("OKtoSaveAgainAs"), QStringLiteral("SavedOK")}));
}

TEST_F(MultiToolBaseTest, JoinedFormsBecomeALemmaListFileThatIsShown)
{
    ShowSample();
    cv::TCVBaseDataClass* list = window->freq->List();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(cv::SaveLemmasAsLemmaList(*list)); // nothing joined: no dialog
    EXPECT_TRUE(files.Requests().empty());

    const int the = list->Find_WordStr(QStringLiteral("the"), false);
    const int a = list->Find_WordStr(QStringLiteral("a"), false);
    const int dog = list->Find_WordStr(QStringLiteral("dog"), false);
    ASSERT_GE(the, 0);
    ASSERT_TRUE(list->JoinARange({the, a, dog}, false) > 0);
    const QStringList lines = cv::LemmaLinesOfList(*list);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("THE -> "), Qt::CaseInsensitive)) << lines.first().toStdString();
    EXPECT_TRUE(lines.first().contains(QStringLiteral(", "))) << lines.first().toStdString();

    const QString target = dir.file(QStringLiteral("lemmas.txt"));
    files.QueueAnswer(target);
    EXPECT_TRUE(cv::SaveLemmasAsLemmaList(*list));
    EXPECT_EQ(ReadUtf16(target), lines.join(QStringLiteral("\r\n")));
    EXPECT_EQ(files.Requests().back().title, cv::CVSaveLemmasAsLemmaList.toString());
    ASSERT_EQ(desktop.Opened().size(), 1u);
    EXPECT_EQ(desktop.Opened().front().toLocalFile(), target);
}

TEST_F(MultiToolBaseTest, TheSourceTextIsSavedRichForRtfNamesAndPlainOtherwise)
{
    QTextEdit pane;
    pane.setHtml(QStringLiteral("<b>bold</b> words"));
    const QString rtf = dir.file(QStringLiteral("source.rtf"));
    files.QueueAnswer(rtf);
    EXPECT_TRUE(cv::SaveSourceText(&pane, dir.file(QStringLiteral("source.txt"))));
    EXPECT_EQ(files.Requests().back().fileName, QStringLiteral("source.rtf"));
    {
        QFile saved(rtf);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        EXPECT_TRUE(bytes.startsWith("{\\rtf1")) << bytes.constData();
        EXPECT_TRUE(bytes.contains("\\b bold}")) << bytes.constData();
        EXPECT_TRUE(bytes.contains(" words}")) << bytes.constData();
        EXPECT_FALSE(bytes.contains("<html"));
    }
    const QString txt = dir.file(QStringLiteral("plain.txt"));
    files.QueueAnswer(txt);
    EXPECT_TRUE(cv::SaveSourceText(&pane, rtf));
    EXPECT_EQ(ReadUtf16(txt), QStringLiteral("bold words"));
    EXPECT_EQ(desktop.Opened().size(), 2u);
}

TEST_F(MultiToolBaseTest, HtmlOpensInTheBrowserWhenTheUserWantsIt)
{
    const QString page = dir.write(QStringLiteral("page.htm"), "<p>x</p>");
    cv::OpenFileInBrowserOrEditor(window.get(), page);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("OpenFileInBrowserOrNotepad")});
    const QString text = dir.write(QStringLiteral("notes.txt"), "x");
    cv::OpenFileInBrowserOrEditor(window.get(), text);
    EXPECT_EQ(dialogs.Routines().size(), 1); // no question for text
    EXPECT_EQ(desktop.Opened().size(), 2u);
}

TEST_F(MultiToolBaseTest, PrintingTextGoesThroughThePreviewOrThePrintDialog)
{
    std::vector<QString> shown;
    const QString pdf = dir.file(QStringLiteral("printed.pdf"));
    cv::TModalRunnerGuard runner([&](QDialog& dialog) {
        if (qobject_cast<QPrintPreviewDialog*>(&dialog)) {
            shown.push_back(QStringLiteral("preview"));
            return int(QDialog::Rejected);
        }
        auto* print = qobject_cast<QPrintDialog*>(&dialog);
        if (!print)
            return int(QDialog::Rejected);
        shown.push_back(QStringLiteral("print"));
        print->printer()->setOutputFormat(QPrinter::PdfFormat);
        print->printer()->setOutputFileName(pdf);
        return int(QDialog::Accepted);
    });
    EXPECT_FALSE(cv::PrintStringsWithPreview(window.get(), QStringLiteral("some text"), false, true));
    EXPECT_TRUE(cv::PrintStringsWithPreview(window.get(), QStringLiteral("<b>some</b> text"), true, false));
    EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("preview"), QStringLiteral("print")}));
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    QTextEdit pane;
    EXPECT_FALSE(cv::PrintSourceText(window.get(), &pane));
    EXPECT_EQ(shown.size(), 3u);
}

// ---------------------------------------------------------------------------
// Window state

TEST_F(MultiToolBaseTest, TheLanguageDialogWaitsForTheControllersAcknowledgement)
{
    QString offeredCurrent;
    int offered = 0;
    const auto cancel = [&](const QStringList& names, const QString& current) {
        offered = int(names.size());
        offeredCurrent = current;
        return std::optional<int>();
    };
    EXPECT_FALSE(cv::ChangeLanguageDialog(QStringLiteral("English"), cancel, 0));
    EXPECT_GT(offered, 1);
    EXPECT_EQ(offeredCurrent, QStringLiteral("English"));

    const auto choose = [](const QStringList&, const QString&) {
        // The controller answers while the tool waits.
        QTimer::singleShot(0, [] { cv::LanguageChangeDone = true; });
        return std::optional<int>(1);
    };
    cv::LanguageChangeDone = true;
    EXPECT_TRUE(cv::ChangeLanguageDialog(QStringLiteral("English"), choose, 5000));
    EXPECT_TRUE(cv::LanguageChangeDone);
}

TEST_F(MultiToolBaseTest, TheStartScreenShowsWithoutDataAndThePagesWithIt)
{
    QWidget start(window.get());
    QLabel tool(&start), version(&start);
    cv::TDataScreenControls controls;
    controls.window = window.get();
    controls.pager = window->pager;
    controls.startPanel = &start;
    controls.toolLabel = &tool;
    controls.versionLabel = &version;
    controls.statusBar = window->AdvOfficeStatusBar1;
    window->show();
    cv::ShowDataOrStartScreen(false, controls);
    EXPECT_TRUE(start.isVisible());
    EXPECT_FALSE(window->pager->isVisible());
    EXPECT_EQ(tool.text(), cv::Tool_Name(cv::kToolWordList));
    EXPECT_TRUE(version.text().startsWith(QStringLiteral("Version")));
    EXPECT_EQ(Posted().back(), cv::kCodeNoData);
    EXPECT_FALSE(cv::ToolWindowList().fHasData);

    cv::ToolClosing = true;
    cv::ShowDataOrStartScreen(true, controls);
    EXPECT_FALSE(start.isVisible());
    EXPECT_TRUE(window->pager->isVisible());
    EXPECT_FALSE(cv::ToolClosing);
    EXPECT_TRUE(cv::ToolWindowList().fHasData);
}

TEST_F(MultiToolBaseTest, SettingUpAPageHoldsTheActiveGridsDrawingUntilThePageIsShown)
{
    ShowSample();
    window->pager->setCurrentIndex(1);
    cv::SetUpPage(window->pager, true);
    EXPECT_TRUE(window->alph->Updating());
    EXPECT_FALSE(window->freq->Updating());
    EXPECT_TRUE(cv::ToolWindowList().fHasData);
    window->SetUpCurrentPage(window->pager);
    EXPECT_FALSE(window->alph->Updating());

    window->show();
    QWidget other(window.get());
    other.show();
    window->AdvOfficeStatusBar1->PutAStatusbarMessage(cv::kPanelInfo, QStringLiteral("x"));
    cv::HideDataControls(nullptr, window->pager, &other, window->AdvOfficeStatusBar1);
    EXPECT_FALSE(window->pager->isVisible());
    EXPECT_FALSE(other.isVisible());
    EXPECT_TRUE(window->AdvOfficeStatusBar1->PanelText(cv::kPanelInfo).isEmpty());
}

TEST_F(MultiToolBaseTest, JoinButtonsShowOnlyForListsThatCanBeLemmatised)
{
    QWidget panel;
    QToolButton join(&panel), other(&panel);
    cv::TToolButtonTable buttons{{TagOf(cv::TMenuCommand::JoinRows), &join}, {TagOf(cv::TMenuCommand::Unjoin), &other}};
    cv::ShowLemmaButtons(buttons, 48); // the first type that cannot be lemmatised
    EXPECT_TRUE(join.isHidden());
    EXPECT_FALSE(other.isHidden());
    cv::ShowLemmaButtons(buttons, cv::kListWordList);
    EXPECT_FALSE(join.isHidden());
    EXPECT_EQ(cv::MainPageHelpContext(0), 2700);
    EXPECT_EQ(cv::MainPageHelpContext(5), 5170);
    EXPECT_EQ(cv::MainPageHelpContext(200), 1000);
}

} // namespace
} // namespace framework_test
