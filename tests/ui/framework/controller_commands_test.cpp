#include "framework_testutil.h"

#include <QDir>

#include "gui/drop_files.h"
#include "model/check_signature.h"
#include "suite/cv_stream.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/private_files.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "support/recording_controller.h"
#include "ui/framework/controller_commands.h"

namespace framework_test {
namespace {

using cv::TDialogAnswer;

// The controller's window: every message posted to it.
class ControllerCommandsTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        cv::SetShellWnd(controller.Handle());
    }
    void TearDown() override
    {
        cv::SetShellWnd(0);
        cv::SwitchLogging(false);
        FrameworkTest::TearDown();
    }
    // A command from the controller, as it arrives: posted, then the event loop runs.
    void Send(uint16_t code)
    {
        ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kMsgControllerCommand,
                                    cv::PackToolCode(code, cv::kToolController), int64_t(controller.Handle())));
        QApplication::processEvents();
    }
    void Post(uint32_t msg, uint64_t wparam, int64_t lparam = 0)
    {
        ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), msg, wparam, lparam));
        QApplication::processEvents();
    }
    // The codes the tool posted to the controller since the last call.
    std::vector<int> Posted() { return controller.Posted(); }
    QString SavedSample(const QString& name)
    {
        ShowSample();
        const QString file = dir.file(name);
        EXPECT_TRUE(window->SaveGridData(window->freq, file));
        window->CloseData(true);
        return file;
    }
    // A result file as another tool (or a later version) would have written it.
    QString ForeignFile(const QString& name, uint8_t tool, uint8_t listType)
    {
        cv::TCheckSignature sig;
        sig.ToolSignature = cv::MakeToolSignature(tool);
        sig.Version = 1;
        sig.Kind = listType;
        sig.ListTypeSignature = cv::ListTypeSignatureBytes(listType);
        cv::TMemoryStream stream;
        EXPECT_TRUE(sig.SaveToStream(stream));
        QByteArray bytes(reinterpret_cast<const char*>(stream.Memory()), qsizetype(stream.Size()));
        bytes += QByteArray(64, '\0');
        return dir.write(name, bytes);
    }

    cvtest::TRecordingController controller;
};

TEST_F(ControllerCommandsTest, RereadingTheSettingsTurnsLoggingOnAndOffAndRefreshesTheWindow)
{
    const QString log = dir.write(QStringLiteral("log.txt"), "");
    cv::SetTheLogFilename(log);
    cv::SetLogging(true);
    Send(cv::kCodeReReadSettings);
    EXPECT_TRUE(cv::LoggingIsOn());
    EXPECT_EQ(cv::LogFilename(), log);
    EXPECT_EQ(window->settingsChanges, std::vector<int>{cv::kCodeReReadSettings});

    cv::SetLogging(false);
    Send(cv::kCodeReReadSettings);
    EXPECT_FALSE(cv::LoggingIsOn());
}

TEST_F(ControllerCommandsTest, ListCodesLoadAndClearTheToolsListsInTheLemmatiser)
{
    const QString stops = dir.write(QStringLiteral("stops.txt"), "the\nand\n");
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, stops);
    auto& lemmatiser = cv::TLemmatiser::Instance();

    Send(238); // load kind 2, the stop list
    EXPECT_TRUE(lemmatiser.IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::Stop));
    EXPECT_TRUE(lemmatiser.FoundInTheList(cv::kToolWordList, cv::TLemmatiserListKind::Stop, QStringLiteral("and")));
    EXPECT_TRUE(cv::Global_stopLemmaMatchLoaded[2]);

    Send(239); // clear it
    EXPECT_FALSE(lemmatiser.IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::Stop));
    EXPECT_FALSE(cv::Global_stopLemmaMatchLoaded[2]) << "new documents must not count on a cleared list";

    // A kind whose file the settings do not name stays unloaded.
    Send(234);
    EXPECT_FALSE(lemmatiser.IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::Lemma));
    EXPECT_TRUE(window->settingsChanges.empty());
}

TEST_F(ControllerCommandsTest, OpenCodeOpensTheFileTheSettingsBufferNames)
{
    const QString file = SavedSample(QStringLiteral("handed.lst"));
    dialogs.Clear();
    cv::SetMyTempFilename(file);
    Send(cv::kCodeOpenTempFile);
    ASSERT_NE(window->Data(), nullptr);
    EXPECT_EQ(window->Data()->MainFile.FileName, file);
    EXPECT_EQ(cv::StartupOpenFileRec().ListType, cv::kListWordList);
    EXPECT_TRUE(window->isVisible()) << "a file opened for the controller is shown";
    EXPECT_TRUE(dialogs.Routines().isEmpty());
}

TEST_F(ControllerCommandsTest, OpenCodeWithNoNameOrAnotherKindOfFileOpensNothing)
{
    cv::SetMyTempFilename({});
    Send(cv::kCodeOpenTempFile);
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(dialogs.Routines().isEmpty());

    cv::SetMyTempFilename(dir.write(QStringLiteral("notes.txt"), "plain words"));
    Send(cv::kCodeOpenTempFile);
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("IsntCorvanFile")});
}

TEST_F(ControllerCommandsTest, CancelCodesSetTheCancelStateAndThePanicStopEndsTheProgram)
{
    Send(cv::kCodeStopAtEndOfText);
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopAtEndOfText);
    Send(cv::kCodeStopNow);
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopNow);
    EXPECT_EQ(window->terminations, 0);
    Send(cv::kCodePanicStop);
    EXPECT_EQ(cv::global_panic_state, cv::kPanicQuitProgram);
    EXPECT_EQ(window->terminations, 1);
}

TEST_F(ControllerCommandsTest, TerminateClosesTheWindowUnlessTheUserKeepsUnsavedData)
{
    ShowSample();
    window->Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    SetGeneral([](cv::TGeneralSettingsRec& g) { g.SetAskWhetherToSaveModifiedData(true); });
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    Send(cv::kCodeTerminate);
    EXPECT_EQ(window->terminations, 1);
    EXPECT_FALSE(window->closedOnTerminate);
    EXPECT_NE(window->Data(), nullptr) << "nothing the user wants to keep is lost";

    dialogs.QueueAnswer(TDialogAnswer::No);
    Send(cv::kCodeTerminate);
    EXPECT_TRUE(window->closedOnTerminate);
}

TEST_F(ControllerCommandsTest, AcknowledgementAndUnknownCodes)
{
    cv::LanguageChangeDone = false;
    Send(cv::kCodeAcknowledge);
    EXPECT_TRUE(cv::LanguageChangeDone);

    Send(4242);
    Send(0);
    EXPECT_EQ(window->terminations, 0);
    EXPECT_TRUE(window->settingsChanges.empty());
    EXPECT_EQ(cv::global_panic_state, cv::kPanicRun);
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    EXPECT_EQ(window->commands, (std::vector<int>{cv::kCodeAcknowledge, 4242, 0}));
}

TEST_F(ControllerCommandsTest, ChosenTextsHandedOverAreReadAndShownInTheWizard)
{
    // The hand-over goes through the suite's own temporary folder.
    cv::TCVFileDetails handed(true, {});
    handed.ToolAddAFile(dir.write(QStringLiteral("one.txt"), "one text"));
    handed.ToolAddAFile(dir.write(QStringLiteral("two.txt"), "another text"));
    ASSERT_TRUE(handed.SavedToTempFile());
    EXPECT_EQ(cvtest::modeOf(cv::TSharedChosenFilesClass::HandOverFilename(cv::SuiteTempFolder(), cv::kToolWordList)), 0600u);

    Send(cv::kCodeReReadChosenTexts);
    EXPECT_EQ(window->ChosenTexts->FileCount(), 2);
    EXPECT_EQ(window->wizardShownWith, std::vector<int>{2});

    // Without a hand-over the choice is emptied.
    QFile::remove(cv::TSharedChosenFilesClass::HandOverFilename(cv::SuiteTempFolder(), cv::kToolWordList));
    window->NewWithChosenTexts();
    EXPECT_EQ(window->ChosenTexts->FileCount(), 0);
}

TEST_F(ControllerCommandsTest, TheWizardOffersOnlyTheTextsThisUserChose)
{
    // Another run wrote its choice where hand-overs used to lie, the
    // temporary folder every user and run shares.
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    cv::TCVFileDetails theirs(true, {});
    theirs.ToolAddAFile(dir.write(QStringLiteral("their.txt"), "their text"));
    ASSERT_TRUE(theirs.SavedToTempFile(QDir::tempPath(), cv::kToolWordList));
    window->NewWithChosenTexts();
    EXPECT_EQ(window->ChosenTexts->FileCount(), 0);
    EXPECT_EQ(window->wizardShownWith, std::vector<int>{0});
    qputenv("TMPDIR", oldTmp);

    // One in the suite's own folder that is not this user's is refused, and said so.
    const auto other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_TRUE(theirs.SavedToTempFile());
    const QString handOver = cv::TSharedChosenFilesClass::HandOverFilename(cv::SuiteTempFolder(), cv::kToolWordList);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, handOver));
    Send(cv::kCodeReReadChosenTexts);
    EXPECT_EQ(window->ChosenTexts->FileCount(), 0);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.contains(handOver)
                && dialogs.Requests().back().text.contains(QStringLiteral("belongs to another user")))
        << dialogs.Requests().back().text.toStdString();
    QFile::remove(handOver);
}

TEST_F(ControllerCommandsTest, ActiveWindowAndDataStateAnswersGoToTheController)
{
    Posted();
    Post(cv::kMsgActivateToolWindow, 0x10000 | 1234, 0x99);
    EXPECT_EQ(cv::GetActiveMainToolWindow(cv::kToolWordList), window->WindowHandle());
    EXPECT_EQ(cv::GetActiveChildToolWindow(cv::kToolWordList), cv::TWindowHandle(0x99));
    EXPECT_EQ(Posted(), std::vector<int>{1234}) << "only the low 16 bits are passed on";

    Post(cv::kMsgReportDataState, 0);
    Post(cv::kMsgReportDataState, 7);
    EXPECT_EQ(Posted(), (std::vector<int>{cv::kCodeNoData, cv::kCodeHasData}));

    window->SetToolCaption({});
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));
    window->SetToolCaption(QStringLiteral("x.lst"));
    EXPECT_EQ(Posted(), (std::vector<int>{cv::kCodeNoData, cv::kCodeHasData}));
}

TEST_F(ControllerCommandsTest, OnlyTheFirstDroppedFileIsOpened)
{
    const QString first = SavedSample(QStringLiteral("first.lst"));
    const QString second = dir.file(QStringLiteral("second.lst"));
    QFile::copy(first, second);
    dialogs.Clear();
    Post(cv::kWM_DROPFILES, cv::RegisterDroppedFiles({first, second, second}));
    ASSERT_NE(window->Data(), nullptr);
    EXPECT_EQ(window->Data()->MainFile.FileName, first);
    EXPECT_EQ(cv::PendingDrops(), 0) << "the drop is released";
    EXPECT_TRUE(dialogs.Routines().isEmpty());
}

TEST_F(ControllerCommandsTest, DroppedFilesOfOtherToolsAreIgnoredAndMisfiledOnesReported)
{
    // Written by the key-words tool: ignored without a word.
    Post(cv::kWM_DROPFILES, cv::RegisterDroppedFiles({ForeignFile(QStringLiteral("k.kws"), cv::kToolKeyWords, 1)}));
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    // Not one of the suite's files at all: ignored too.
    Post(cv::kWM_DROPFILES, cv::RegisterDroppedFiles({dir.write(QStringLiteral("a.txt"), "words")}));
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    // Written by this tool but of a list type of another tool: reported.
    Post(cv::kWM_DROPFILES,
         cv::RegisterDroppedFiles({ForeignFile(QStringLiteral("c.cnc"), cv::kToolWordList, cv::kListConcordance)}));
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("WrongToolForFile")});
    // No files: nothing happens.
    EXPECT_FALSE(cv::OpenDroppedFiles(cv::RegisterDroppedFiles({}), cv::kToolWordList, [] { return true; }));
    EXPECT_EQ(cv::PendingDrops(), 0);
}

TEST_F(ControllerCommandsTest, TheStopCommandAsksBeforeItStops)
{
    // A job runs: quit (yes) and do not finish the text first (no) stop it at once.
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    dialogs.QueueAnswer(TDialogAnswer::No);
    cv::AskToStop();
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopNow);
    // Letting the text finish first leaves the state alone.
    cv::global_panic_state = cv::kPanicRun;
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    cv::AskToStop();
    EXPECT_EQ(cv::global_panic_state, cv::kPanicRun);
    // A job that is stopping already: one confirmation stops it at once; a "no" keeps its state.
    cv::global_panic_state = cv::kPanicStopAtEndOfText;
    dialogs.QueueAnswer(TDialogAnswer::No);
    cv::AskToStop();
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopAtEndOfText);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    cv::AskToStop();
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopNow);
}

} // namespace
} // namespace framework_test
