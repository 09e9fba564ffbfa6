#include "controller/controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QProcess>

#include "controller/controller_ini.h"
#include "controller/customise_window.h"
#include "controller/settings_window.h"
#include "controller/text_chooser.h"
#include "model/chosen_files.h"
#include "runtime/language_list.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/window_messages.h"
#include "suite/window_placement.h"
#include "support/process_state.h"
#include "support/test_support.h"

namespace {

// A controller of the test's own (its buffer, mutex and sockets in a
// temporary folder) and a tool window that records what it is sent.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("CV_SETTINGS_BUFFER", dir.file(QStringLiteral("settings.buf")).toLocal8Bit());
        qputenv("CV_MUTEX_NAME", QStringLiteral("cv-controller-test-%1").arg(QCoreApplication::applicationPid()).toLocal8Bit());
        qputenv("CV_MESSAGE_SOCKET_DIR", dir.path().toLocal8Bit());
        // The hand-over files go into the test's own temporary folder.
        m_tmp = qgetenv("TMPDIR");
        QDir().mkpath(dir.file(QStringLiteral("tmp")));
        qputenv("TMPDIR", dir.file(QStringLiteral("tmp")).toLocal8Bit());
        options.iniFile = dir.file(QStringLiteral("controller.ini"));
        options.logFile = dir.file(QStringLiteral("controller.log"));
        options.echo = false;
        options.readStdin = false;
        StartController();
    }
    void StartController()
    {
        controller = std::make_unique<cv::TController>(options);
        QString error;
        ASSERT_TRUE(controller->Start(&error)) << error.toStdString();
        cv::SetNewWnd(cv::kToolWordList, tool.Handle());
        cv::SetActiveMainToolWindow(cv::kToolWordList, tool.Handle());
    }
    void TearDown() override
    {
        controller.reset();
        cv::TSettingsBuffer::Instance().UsePrivate();
        cvtest::StartFromDefaults();
        for (const char* v : {"CV_SETTINGS_BUFFER", "CV_MUTEX_NAME", "CV_MESSAGE_SOCKET_DIR"})
            qunsetenv(v);
        if (m_tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_tmp);
    }
    // A command from the word-list tool, as it posts it.
    void FromTool(uint16_t code, int64_t param = -1)
    {
        if (param < 0)
            controller->OnMessage(cv::kMsgControllerCommand, cv::PackToolCode(code, cv::kToolWordList), int64_t(tool.Handle()));
        else
            controller->OnMessage(cv::kMsgControllerParam, cv::PackToolCode(code, cv::kToolWordList), param);
    }
    // The codes the tool was sent since the last call.
    std::vector<int> Sent()
    {
        QCoreApplication::processEvents();
        std::vector<int> out;
        out.swap(codes);
        return out;
    }

    cvtest::TempDir dir;
    cv::TController::TOptions options;
    std::vector<int> codes;
    cv::TMessageWindow tool{[this](uint32_t msg, uint64_t wparam, int64_t) {
        if (msg == cv::kMsgControllerCommand)
            codes.push_back(cv::CodeOfWParam(wparam));
    }};
    std::unique_ptr<cv::TController> controller;
    QByteArray m_tmp;
};

TEST_F(ControllerTest, ChooseTextsOpensTheChooserWhoseChoiceTheToolIsToldOf)
{
    FromTool(cv::kCodeChooseTexts);
    cv::TTextChooser* chooser = controller->TextChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->Tool(), cv::kToolWordList);
    chooser->AddFiles({dir.write(QStringLiteral("a.txt"), "the cat"), dir.write(QStringLiteral("b.txt"), "a dog")});
    chooser->OkClick();
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadChosenTexts});
    cv::TCVFileDetails read(true, {});
    ASSERT_TRUE(read.ReadChosenFromFile(cv::TSharedChosenFilesClass::HandOverFilename(cv::SuiteTempFolder(), cv::kToolWordList)));
    EXPECT_EQ(read.FileCount(), 2);
}

TEST_F(ControllerTest, StoredSettingsAreKeptInTheIniAndEveryToolIsTold)
{
    FromTool(cv::kCodeSettingsLanguage);
    cv::TControllerSettingsWindow* window = controller->SettingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Keys().contains(QStringLiteral("Text/MinWordLength")));
    window->SetValue(QStringLiteral("Text/MinWordLength"), QStringLiteral("3"));
    window->OkClick();
    EXPECT_EQ(cv::GetTextSettings().MinWordLength(), 3);
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadSettings});
    EXPECT_TRUE(cvtest::readAll(dir.file(QStringLiteral("controller.ini"))).contains("MinWordLength=3"));
    // Another settings command gives another window.
    FromTool(cv::kCodeSettingsIndex);
    ASSERT_NE(controller->SettingsWindow(), nullptr);
    EXPECT_TRUE(controller->SettingsWindow()->Keys().contains(QStringLiteral("Index/MovingWindowWords")));
}

TEST_F(ControllerTest, ListsChosenAreLoadedOrLetGoInTheTool)
{
    const QString stop = dir.write(QStringLiteral("stop.txt"), "the\nand\n");
    FromTool(cv::kCodeSettingsLists);
    cv::TControllerSettingsWindow* window = controller->SettingsWindow();
    ASSERT_NE(window, nullptr);
    window->SetValue(QStringLiteral("Lists/StopWanted0"), QStringLiteral("true"));
    window->SetValue(QStringLiteral("Lists/StopFile0"), stop);
    window->OkClick();
    // Lemma, match, stop, relation words: only the stop list is wanted.
    EXPECT_EQ(Sent(), (std::vector<int>{235, 237, 238, 241, cv::kCodeReReadSettings}));
    EXPECT_TRUE(cv::GetLemmaMatchStopWanted(cv::kToolWordList, 2));
}

TEST_F(ControllerTest, ALanguageChosenInAToolBecomesTheTextsLanguageAndIsAcknowledged)
{
    const int german = cv::TLanguageList::Instance().IndexOfName(QStringLiteral("German (Germany)"));
    FromTool(cv::kCodeLanguageChosen, german);
    EXPECT_EQ(cv::GetTextSettings().LanguageName(), QStringLiteral("German (Germany)"));
    EXPECT_EQ(Sent(), (std::vector<int>{cv::kCodeAcknowledge, cv::kCodeReReadSettings}));
    // An index out of the list changes nothing and is not acknowledged.
    FromTool(cv::kCodeLanguageChosen, 100000);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(cv::GetTextSettings().LanguageName(), QStringLiteral("German (Germany)"));
}

TEST_F(ControllerTest, CustomiseAndAboutOpenTheirWindows)
{
    auto commands = std::make_shared<cv::TMenuCommandsOfTools>();
    commands->commands = {{TagOf(cv::TMenuCommand::Copy), QStringLiteral("Copy")}};
    controller->SetMenuCommands(commands);
    FromTool(cv::kCodeSettingsCustomise);
    ASSERT_NE(controller->CustomiseWindow(), nullptr);
    EXPECT_EQ(controller->CustomiseWindow()->RowOfTag(TagOf(cv::TMenuCommand::Copy)), 0);
    controller->CustomiseWindow()->SetOnRightClickMenu(TagOf(cv::TMenuCommand::Copy), true);
    controller->CustomiseWindow()->OkClick();
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Copy)));
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadSettings});
    FromTool(cv::kCodeAboutAndMemory);
    ASSERT_NE(controller->AboutWindow(), nullptr);
    EXPECT_TRUE(controller->AboutWindow()->Text().contains(cv::Tool_Name(cv::kToolWordList)));
}

// Two windows of the tool, one on each side of the screen: Customise and
// Index come up over the window that asked, each time, and wholly on the screen.
TEST_F(ControllerTest, CustomiseAndIndexComeUpOverTheWindowThatAsked)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint first(area.left() + area.width() / 4, area.top() + area.height() / 3);
    const QPoint second(area.left() + area.width() * 3 / 4, area.top() + area.height() * 2 / 3);
    const auto shownOver = [&](QWidget* w, QPoint centre) {
        ASSERT_NE(w, nullptr);
        const QRect g = w->geometry();
        EXPECT_TRUE(g.contains(centre)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        EXPECT_TRUE(area.contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
    };
    const auto askFrom = [&](QPoint centre) {
        controller->OnMessage(cv::kMsgControllerParam, cv::PackToolCode(cv::kCodeAskingWindowCentre, cv::kToolWordList),
                              cv::PackScreenPoint(centre));
    };
    for (const QPoint& asking : {second, first, second}) {
        askFrom(asking);
        FromTool(cv::kCodeSettingsCustomise);
        shownOver(controller->CustomiseWindow(), asking);
        askFrom(asking);
        FromTool(cv::kCodeSettingsIndex);
        shownOver(controller->SettingsWindow(), asking);
    }
    // A point far off the screen still gives a window on it.
    askFrom(QPoint(-5000, 90000));
    FromTool(cv::kCodeSettingsIndex);
    EXPECT_TRUE(area.contains(controller->SettingsWindow()->geometry()));
}

TEST_F(ControllerTest, CustomisedMenusAndTheReferenceListChosenInAToolOutliveARestart)
{
    auto commands = std::make_shared<cv::TMenuCommandsOfTools>();
    commands->commands = {{TagOf(cv::TMenuCommand::Copy), QStringLiteral("Copy")},
                          {TagOf(cv::TMenuCommand::AboutAndMemory), QStringLiteral("About and Memory")}};
    // A shortcut code is the key's code in this test's own encoding.
    commands->toSequence = [](uint16_t code) { return code ? QKeySequence(int(code)) : QKeySequence(); };
    commands->fromSequence = [](const QKeySequence& k) { return uint16_t(k[0].toCombined() & 0xFFFF); };
    controller->SetMenuCommands(commands);
    FromTool(cv::kCodeSettingsCustomise);
    ASSERT_NE(controller->CustomiseWindow(), nullptr);
    controller->CustomiseWindow()->SetShortcut(TagOf(cv::TMenuCommand::AboutAndMemory), QKeySequence(Qt::Key_F4));
    controller->CustomiseWindow()->SetOnRightClickMenu(TagOf(cv::TMenuCommand::Copy), true);
    controller->CustomiseWindow()->OkClick();
    const uint16_t f4 = uint16_t(Qt::Key_F4 & 0xFFFF);
    ASSERT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::AboutAndMemory)), f4);
    // The reference list of the key words, chosen in the tool's comparison dialog.
    const QString reference = dir.file(QStringLiteral("reference.lst"));
    cv::SetKeywordsSettingsReferenceCorpus(reference);
    FromTool(cv::kCodeSettingsChangedInTool);

    // The controller starts again: the buffer is made anew from the ini file.
    controller.reset();
    StartController();
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::AboutAndMemory)), f4);
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Copy)));
    EXPECT_FALSE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Delete)));
    EXPECT_EQ(cv::GetKeywordsSettingsReferenceCorpus(), reference);
}

TEST_F(ControllerTest, NewInAToolWithDataStartsAnotherWindowOfThatToolsProgram)
{
    QStringList started;
    controller->StartProgram = [&](const QString& program) {
        started << program;
        return true;
    };
    // The asking window lives in this process: its program is started again.
    FromTool(cv::kCodeNewWithData);
    EXPECT_EQ(started, QStringList{QCoreApplication::applicationFilePath()});
    // A window whose process is gone: the tool's program beside the controller.
    controller->OnMessage(cv::kMsgControllerCommand, cv::PackToolCode(cv::kCodeNewWithData, cv::kToolWordList),
                          int64_t(cv::MakeWindowHandle(0x7FFFFFF0, 1)));
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[1], cv::ToolProgramFile(cv::kToolWordList));
    // Other codes start nothing.
    FromTool(cv::kCodeHasData);
    EXPECT_EQ(started.size(), 2);
}


// Two windows of the same tool: the older asks, the newer registered last.
class ControllerTwoWindowsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        cv::SetNewWnd(cv::kToolWordList, second.Handle());
        cv::SetActiveMainToolWindow(cv::kToolWordList, second.Handle());
    }
    std::vector<int> SentToSecond()
    {
        QCoreApplication::processEvents();
        std::vector<int> out;
        out.swap(secondCodes);
        return out;
    }
    std::vector<int> secondCodes;
    cv::TMessageWindow second{[this](uint32_t msg, uint64_t wparam, int64_t) {
        if (msg == cv::kMsgControllerCommand)
            secondCodes.push_back(cv::CodeOfWParam(wparam));
    }};
};

TEST_F(ControllerTwoWindowsTest, TheChosenTextsGoToTheWindowThatAskedAndSettingsToEveryWindow)
{
    // "Choose texts" in the older window: its texts, not the newer window's.
    FromTool(cv::kCodeChooseTexts);
    ASSERT_NE(controller->TextChooser(), nullptr);
    controller->TextChooser()->AddFiles({dir.write(QStringLiteral("a.txt"), "the cat")});
    controller->TextChooser()->OkClick();
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadChosenTexts});
    EXPECT_TRUE(SentToSecond().empty());
    // Stored settings reach both windows, and so do the lists of the tool.
    const QString stop = dir.write(QStringLiteral("stop.txt"), "the\n");
    FromTool(cv::kCodeSettingsLists);
    ASSERT_NE(controller->SettingsWindow(), nullptr);
    controller->SettingsWindow()->SetValue(QStringLiteral("Lists/StopWanted0"), QStringLiteral("true"));
    controller->SettingsWindow()->SetValue(QStringLiteral("Lists/StopFile0"), stop);
    controller->SettingsWindow()->OkClick();
    const std::vector<int> both{235, 237, 238, 241, cv::kCodeReReadSettings};
    EXPECT_EQ(Sent(), both);
    EXPECT_EQ(SentToSecond(), both);
    // A window that went is told nothing more; the other still is.
    cv::UnSetWnd(cv::kToolWordList, second.Handle());
    FromTool(cv::kCodeSettingsLanguage);
    controller->SettingsWindow()->OkClick();
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadSettings});
    EXPECT_TRUE(SentToSecond().empty());
}

TEST_F(ControllerTwoWindowsTest, AboutListsEveryProcessOfATool)
{
    // A window of the tool in another process that runs now.
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(other.waitForStarted(5000));
    cv::SetNewWnd(cv::kToolWordList, cv::MakeWindowHandle(other.processId(), 1));
    FromTool(cv::kCodeAboutAndMemory);
    ASSERT_NE(controller->AboutWindow(), nullptr);
    const QString text = controller->AboutWindow()->Text();
    const QString tool = cv::Tool_Name(cv::kToolWordList);
    EXPECT_TRUE(text.contains(QStringLiteral("%1 (process %2)").arg(tool).arg(QCoreApplication::applicationPid())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("%1 (process %2)").arg(tool).arg(other.processId()))) << text.toStdString();
    // This process holds two windows of the tool: it is named once.
    EXPECT_EQ(text.count(QStringLiteral("%1 (process %2)").arg(tool).arg(QCoreApplication::applicationPid())), 1);
    other.kill();
    other.waitForFinished(5000);
}

// Another run of the tool (a test run of the suite, or a second suite of
// the user's) registered its window with this controller: a window in a
// process that lives but whose messages go elsewhere.
class ControllerAnotherRunTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        otherRun.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(otherRun.waitForStarted(5000));
        foreign = cv::MakeWindowHandle(otherRun.processId(), 1);
    }
    void TearDown() override
    {
        otherRun.kill();
        otherRun.waitForFinished(5000);
        ControllerTest::TearDown();
    }
    QString Log() const { return QString::fromUtf8(cvtest::readAll(dir.file(QStringLiteral("controller.log")))); }
    QProcess otherRun;
    cv::TWindowHandle foreign = 0;
};

TEST_F(ControllerAnotherRunTest, AWindowThatCannotBeReachedIsRefusedAndTheToolsOwnStillAnswered)
{
    // It registers as the tool's newest, active window.
    cv::SetNewWnd(cv::kToolWordList, foreign);
    cv::SetActiveMainToolWindow(cv::kToolWordList, foreign);
    controller->OnMessage(cv::kMsgToolRegistered, cv::kToolWordList, int64_t(foreign));
    const QString name = QStringLiteral("0x%1").arg(foreign, 16, 16, QLatin1Char('0'));
    EXPECT_TRUE(Log().contains(name + QStringLiteral(", which cannot be reached: refused"))) << Log().toStdString();
    EXPECT_NE(cv::GetActiveMainToolWindow(cv::kToolWordList), foreign);
    EXPECT_EQ(controller->OpenToolWindows(cv::kToolWordList), std::vector<cv::TWindowHandle>{tool.Handle()});

    // Left behind as the tool's active window all the same (its run wrote it
    // there and ended): the user's own window gets what the controller sends.
    cv::SetActiveMainToolWindow(cv::kToolWordList, foreign);
    EXPECT_TRUE(controller->ExecuteCommand(QStringLiteral("reread 0")));
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadSettings});
    EXPECT_TRUE(Log().contains(QStringLiteral("window %1 of tool 0 cannot be reached").arg(name))) << Log().toStdString();
    // "Choose texts" of the user's window: its texts reach it.
    FromTool(cv::kCodeChooseTexts);
    ASSERT_NE(controller->TextChooser(), nullptr);
    controller->TextChooser()->AddFiles({dir.write(QStringLiteral("mine.txt"), "my text")});
    controller->TextChooser()->OkClick();
    EXPECT_EQ(Sent(), std::vector<int>{cv::kCodeReReadChosenTexts});
}

TEST_F(ControllerAnotherRunTest, NewAndTheSettingsWindowsStillWorkAfterAnotherRunClearedTheControllersPlace)
{
    QStringList started;
    controller->StartProgram = [&](const QString& program) {
        started << program;
        return true;
    };
    // The other run ends as it began: it clears the controller it had put in
    // the buffer (ours, as far as the buffer knows).
    cv::SetShellWnd(0);
    cv::SetCVShellInitialised(false);
    // The user's tool posts its commands to the controller the buffer names.
    QElapsedTimer waited;
    waited.start();
    while (cv::GetShellWnd() != controller->Handle() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(cv::GetShellWnd(), controller->Handle());
    EXPECT_TRUE(cv::GetCVShellInitialised());
    EXPECT_TRUE(Log().contains(QStringLiteral("registered again"))) << Log().toStdString();

    const auto post = [&](uint16_t code) {
        ASSERT_TRUE(cv::PostMessage(cv::GetShellWnd(), cv::kMsgControllerCommand, cv::PackToolCode(code, cv::kToolWordList),
                                    int64_t(tool.Handle())));
        QCoreApplication::processEvents();
    };
    post(cv::kCodeSettingsColours);
    EXPECT_NE(controller->SettingsWindow(), nullptr);
    post(cv::kCodeNewWithData);
    EXPECT_EQ(started, QStringList{QCoreApplication::applicationFilePath()});
}

} // namespace
