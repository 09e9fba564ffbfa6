#include "wordlist_window_testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabBar>

#include <new>
#include <utility>

#include "controller/controller_ini.h"
#include "controller/settings_window.h"
#include "gui/cv_status_bar.h"
#include "index/index_files.h"
#include "runtime/memory_reserve.h"
#include "suite/dialog_routines.h"
#include "suite/zip_archive.h"
#include "ui/framework/memory_shortage_guard.h"
#include "wordlist/detailed_consistency.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

const std::vector<std::pair<QString, QString>> kTwoTexts = {
    {QStringLiteral("a.txt"), QStringLiteral("the cat and the dog and the bird")},
    {QStringLiteral("b.txt"), QStringLiteral("a dog")},
};

// ---- one word list ----------------------------------------------------------

TEST_F(WordListWindowTest, AWordListJobShowsTheListOfTheChosenTextsInThePages)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);

    ASSERT_NE(Doc(), nullptr);
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListWordList);
    const cv::TCVWordList* words = Words();
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->Count(), 6);
    EXPECT_EQ(words->TotalTokens(), 10);
    EXPECT_EQ(FreqOf(*words, QStringLiteral("the")), 3);
    EXPECT_EQ(FreqOf(*words, QStringLiteral("dog")), 2);
    EXPECT_TRUE(dialogs.Requests().empty()) << dialogs.Routines().join(u',').toStdString();

    // The frequency page shows it; the pages of other kinds of result stay hidden.
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageFrequency);
    ASSERT_EQ(CurrentGrid(), window->CVGridFreq);
    EXPECT_EQ(window->CVGridFreq->List(), words);
    EXPECT_EQ(window->CVGridFreq->RowCount(), 7);
    // Most frequent first, equal frequencies alphabetically; the alphabetical page in word order.
    const auto column = [](const cv::TCV_Grid* grid, int c) {
        QStringList cells;
        for (int row = 1; row < grid->RowCount(); ++row)
            cells << grid->Cells(c, row);
        return cells.join(u' ');
    };
    EXPECT_EQ(column(window->CVGridFreq, cv::TCVWordList::kColWord), QStringLiteral("the and dog a bird cat"));
    EXPECT_EQ(column(window->CVGridFreq, cv::TCVWordList::kColFreq), QStringLiteral("3 2 2 1 1 1"));
    EXPECT_EQ(column(window->CVGridFreq, cv::TCVWordList::kColN), QStringLiteral("1 2 3 4 5 6"));
    window->ActivatePage(window->AdvOfficePageAlph);
    EXPECT_EQ(column(window->CVGridAlph, cv::TCVWordList::kColWord), QStringLiteral("a and bird cat dog the"));
    window->ActivatePage(window->AdvOfficePageFrequency);
    for (QWidget* shown : {window->AdvOfficePageFrequency, window->AdvOfficePageAlph, window->AdvOfficePageStatistics,
                           window->AdvOfficePageFilenames, window->AdvOfficePageNotes})
        EXPECT_TRUE(window->PageVisible(shown));
    for (QWidget* hidden : {window->AdvOfficePageIndexFreq, window->AdvOfficePageIndexAlph,
                            window->AdvOfficePageConsistency, window->AdvOfficePageConsistencyRelations,
                            window->AdvOfficePageKWs, window->AdvOfficePageIndexRelations})
        EXPECT_FALSE(window->PageVisible(hidden));
    EXPECT_FALSE(window->AdvPanelToolname->isVisibleTo(window.get()));
    EXPECT_TRUE(window->AdvOfficePager1->isVisibleTo(window.get()));

    // The statistics and file-name pages show the two texts.
    window->ActivatePage(window->AdvOfficePageStatistics);
    ASSERT_EQ(CurrentGrid(), window->CVGridStatistics);
    EXPECT_EQ(window->CVGridStatistics->List(), Doc()->fStats.get());
    EXPECT_EQ(Doc()->fStats->Count(), 3); // the overall row and one per text
    window->ActivatePage(window->AdvOfficePageFilenames);
    ASSERT_EQ(CurrentGrid(), window->CVGridFilenames);
    EXPECT_EQ(window->CVGridFilenames->List(), Doc()->fCVBaseFilenames.get());
    // The notes page shows the run's notes.
    EXPECT_FALSE(window->WLMemoNotes->toPlainText().isEmpty());
}

TEST_F(WordListWindowTest, RunningWordsShowWithThousandsSeparators)
{
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kMsgRunningWords, 0, 1234567));
    QApplication::processEvents();
    EXPECT_EQ(window->AdvOfficeStatusBar1->PanelText(cv::kPanelMessage), QLocale::system().toString(1234567LL));
}

// The user plug-in is named where the help says, among the tool's own
// settings ("use the user plug-in" and its file); stored there, it lives in
// the settings buffer and the controller's ini file, and the next word list
// of the window passes its words through it.
TEST_F(WordListWindowTest, TheUserPluginNamedInTheToolsSettingsFiltersTheNextWordList)
{
    const QString plugin = QStringLiteral(CV_TEST_WORD_FILTER);
    const QStringList keys = cv::SettingKeysOfCommand(cv::kCodeSettingsOfTool, cv::kToolWordList);
    ASSERT_TRUE(keys.contains(QStringLiteral("Plugins/UseUserPlugin0")));
    ASSERT_TRUE(keys.contains(QStringLiteral("Plugins/UserPluginFile0")));
    cv::TControllerSettingsWindow settings(cv::SettingsWindowTitle(cv::kCodeSettingsOfTool, cv::kToolWordList), keys);
    ASSERT_TRUE(settings.SetValue(QStringLiteral("Plugins/UseUserPlugin0"), QStringLiteral("true")));
    ASSERT_TRUE(settings.SetValue(QStringLiteral("Plugins/UserPluginFile0"), plugin));
    settings.OkClick();
    EXPECT_TRUE(cv::GetUseUserFilter(cv::kToolWordList));
    EXPECT_EQ(cv::GetUserDLLFileName(cv::kToolWordList), plugin);

    // Over a restart: the buffer starts from the defaults and takes the ini file.
    const QString ini = dir.file(QStringLiteral("controller.ini"));
    QString error;
    ASSERT_TRUE(cv::WriteControllerIni(ini, &error)) << error.toStdString();
    cv::SetUseUserFilter(cv::kToolWordList, false);
    cv::SetUserDLLFileName(cv::kToolWordList, QString());
    EXPECT_TRUE(cv::ApplyControllerIni(ini).isEmpty());
    EXPECT_TRUE(cv::GetUseUserFilter(cv::kToolWordList));
    EXPECT_EQ(cv::GetUserDLLFileName(cv::kToolWordList), plugin);

    Choose({{QStringLiteral("p.txt"), QStringLiteral("dropme colour colour double keep")}});
    Request(cv::kListWordList);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("dropme")), -1);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("colour")), -1);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("color")), 2);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("double")), 2);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("keep")), 1);

    // Switched off in the same window, the words stay as they are.
    ASSERT_TRUE(settings.SetValue(QStringLiteral("Plugins/UseUserPlugin0"), QStringLiteral("false")));
    settings.OkClick();
    SaveShown();
    Request(cv::kListWordList);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("dropme")), 1);
}

TEST_F(WordListWindowTest, OtherJobNumbersOnlyAskWhetherDataMayGo)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    cv::T_WholeWordlistHolder* before = Doc();
    ASSERT_NE(before, nullptr);
    // Changed data, and the settings ask before it goes.
    Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    cv::TGeneralSettingsRec g = cv::GetGeneralSettings();
    g.SetAskWhetherToSaveModifiedData(true);
    cv::SetGeneralSettings(g);

    for (int32_t job : {1, 2, 5, -1}) {
        dialogs.Clear();
        dialogs.QueueAnswer(TDialogAnswer::No);
        Request(job);
        EXPECT_EQ(Doc(), before) << job;
        EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("DoYouWantToSave")}) << job;
    }
    // Keeping the data (Cancel) keeps a real job from starting.
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    Request(cv::kListWordList);
    EXPECT_EQ(Doc(), before);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("DoYouWantToSave")});
}

TEST_F(WordListWindowTest, WithoutChosenTextsTheJobsDoNothing)
{
    Request(cv::kListWordList);
    Request(cv::kListWordList, 1);
    Request(cv::kListIndexWordList);
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(choices.batchSetupShown, 0);
    EXPECT_EQ(choices.indexChoiceShown, 0);
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(window->AdvPanelToolname->isVisibleTo(window.get()));
}

TEST_F(WordListWindowTest, ACancelledJobLeavesThePreviousDocument)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    SaveShown();
    cv::T_WholeWordlistHolder* before = Doc();
    ASSERT_NE(before, nullptr);

    // Stopped after its first text by the user.
    Choose({{QStringLiteral("c.txt"), QStringLiteral("one two three")},
            {QStringLiteral("d.txt"), QStringLiteral("four five")}});
    int texts = 0;
    window->onRunningWords = [&](int64_t) {
        if (++texts == 1)
            cv::global_panic_state = cv::kPanicStopNow;
    };
    Request(cv::kListWordList);
    EXPECT_GE(texts, 1);
    EXPECT_EQ(Doc(), before);
    EXPECT_EQ(Words()->Count(), 6);
    EXPECT_EQ(window->CVGridFreq->List(), Words());
    EXPECT_TRUE(window->AdvOfficePager1->isVisibleTo(window.get()));

    // More texts than the settings allow, and the user does not go on.
    cv::global_panic_state = cv::kPanicRun;
    window->onRunningWords = nullptr;
    cv::TTextSettings settings = cv::GetTextSettings();
    settings.SetMaxTexts(2);
    cv::SetTextSettings(settings);
    dialogs.Clear();
    Request(cv::kListWordList);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("WarnAboutAndASKOK")});
    EXPECT_EQ(Doc(), before);

    // Going on makes the list of all four texts.
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::OK);
    Request(cv::kListWordList);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 11);
}

TEST_F(WordListWindowTest, UnreadableTextsAreToldInOneMessageAfterTheRun)
{
    Choose(kTwoTexts);
    const QString gone = Text(QStringLiteral("gone.txt"), QStringLiteral("soon gone"));
    ASSERT_TRUE(window->ChosenTexts->ToolAddAFile(gone));
    ASSERT_TRUE(QFile::remove(gone));
    Request(cv::kListWordList);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 6);
    EXPECT_EQ(dialogs.Routines().count(QStringLiteral("FailedToRead")), 1);
    EXPECT_TRUE(dialogs.Requests().front().text.contains(QStringLiteral("gone.txt")));
}

TEST_F(WordListWindowTest, ASecondRequestWhileAJobRunsIsRefused)
{
    Choose(kTwoTexts);
    bool asked = false;
    window->onRunningWords = [&](int64_t) {
        if (asked)
            return;
        asked = true;
        // Delivered while this job still runs.
        cv::PostMessage(window->WindowHandle(), cv::kMsgMakeList, 0, cv::kListDetailedConsistency);
        QApplication::processEvents();
    };
    choices.consistencyFiles = {QStringLiteral("/nowhere/x.lst"), QStringLiteral("/nowhere/y.lst")};
    Request(cv::kListWordList);
    EXPECT_TRUE(asked);
    ASSERT_NE(Doc(), nullptr);
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListWordList);
    EXPECT_EQ(Words()->Count(), 6);
}

TEST_F(WordListWindowTest, WhileAJobWorksOnItsDocumentNothingTakesItAway)
{
    const QString other = SavedWordList(QStringLiteral("other"), QStringLiteral("x y"));
    Choose(kTwoTexts);
    bool tried = false;
    window->onRunningWords = [&](int64_t) {
        if (tried)
            return;
        tried = true;
        EXPECT_TRUE(window->DocumentInUse());
        EXPECT_FALSE(window->AdvOfficePager1->tabBar()->isEnabled());
        // What a dropped file or the controller's open command would do.
        cv::StartupOpenFileRec().Clear();
        cv::StartupOpenFileRec().FileName = other;
        EXPECT_FALSE(window->OpenFile(window.get()));
        window->CloseData(true);
        window->ResetToNoData();
    };
    Request(cv::kListWordList);
    EXPECT_TRUE(tried);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 6);
    EXPECT_FALSE(window->DocumentInUse());
    EXPECT_TRUE(window->AdvOfficePager1->tabBar()->isEnabled());
}

// A step of the window that ran out of memory, delivered as the program
// delivers every event: the data shown go, the window says so and goes on;
// a step that ran on the reserve and gave its memory back changes nothing.
TEST_F(WordListWindowTest, AStepThatRanOutOfMemoryDropsTheDataShownAndTheWindowGoesOn)
{
    cv::TMemoryReserve reserve(1 << 20);
    int ended = 0;
    cv::TMemoryShortageGuard shortage(reserve, [&] { ++ended; });
    shortage.SetWindow(window.get());
    cv::StartupOpenFileRec().Clear();
    cv::StartupOpenFileRec().FileName = SavedWordList(QStringLiteral("list"), QStringLiteral("a b b c"));
    ASSERT_TRUE(window->OpenFile());
    dialogs.Clear();

    // Ended whole on the reserve, which it gave back.
    shortage.Deliver([] {
        std::get_new_handler()();
        return true;
    });
    EXPECT_FALSE(reserve.GivenOut());
    ASSERT_NE(Words(), nullptr);
    EXPECT_TRUE(dialogs.Requests().empty());

    // Cut off half way, with the window busy.
    shortage.Deliver([] {
        cv::Global_Busy_Dont_Show_Data = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        throw std::bad_alloc();
        return true;
    });
    EXPECT_EQ(Doc(), nullptr);
    EXPECT_EQ(window->CVGridFreq->List(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NotEnoughMemory")});
    EXPECT_FALSE(cv::Global_Busy_Dont_Show_Data);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ended, 0);

    // Inside a step still under way (a dialog waits) the data stay until it ends.
    cv::StartupOpenFileRec().FileName = SavedWordList(QStringLiteral("list"), QStringLiteral("a b b c"));
    ASSERT_TRUE(window->OpenFile());
    dialogs.Clear();
    shortage.Deliver([&] {
        shortage.Deliver([]() -> bool { throw std::bad_alloc(); });
        EXPECT_NE(Words(), nullptr);
        return true;
    });
    EXPECT_EQ(Doc(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NotEnoughMemory")});
    EXPECT_EQ(ended, 0);
}

// An event inside a job that ran out of memory stops the job, as Stop would:
// the document it had kept stays, and the window says why once.
TEST_F(WordListWindowTest, AShortageInsideAJobStopsTheJobAndKeepsTheData)
{
    cv::TMemoryReserve reserve(1 << 20);
    cv::TMemoryShortageGuard shortage(reserve, [] { ADD_FAILURE() << "the program ended"; });
    shortage.SetWindow(window.get());
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    SaveShown();
    cv::T_WholeWordlistHolder* before = Doc();
    Choose({{QStringLiteral("c.txt"), QStringLiteral("one two three")},
            {QStringLiteral("d.txt"), QStringLiteral("four five")}});
    dialogs.Clear();
    bool inJob = false;
    window->onRunningWords = [&](int64_t) {
        if (!std::exchange(inJob, true))
            shortage.Deliver([]() -> bool { throw std::bad_alloc(); });
    };
    shortage.Deliver([&] {
        Request(cv::kListWordList);
        return true;
    });
    EXPECT_TRUE(inJob);
    EXPECT_EQ(Doc(), before);
    EXPECT_EQ(dialogs.Routines().count(QStringLiteral("NotEnoughMemory")), 1);
    EXPECT_FALSE(window->DocumentInUse());
}

TEST_F(WordListWindowTest, ClosingTheWindowDuringAJobStopsItAndClosesAfterwards)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    SaveShown();
    cv::T_WholeWordlistHolder* before = Doc();
    window->show();
    Choose({{QStringLiteral("c.txt"), QStringLiteral("one two three")}});
    bool asked = false;
    window->onRunningWords = [&](int64_t) {
        if (!asked) {
            asked = true;
            EXPECT_FALSE(window->close()); // refused for now
        }
    };
    Request(cv::kListWordList);
    EXPECT_TRUE(asked);
    EXPECT_EQ(Doc(), before); // the stopped job changed nothing
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
}

// ---- batches ----------------------------------------------------------------

TEST_F(WordListWindowTest, ABatchWaitsForItsSetUpAndSavesOneListPerText)
{
    Choose(kTwoTexts);
    // The set-up closed without OK: nothing happens.
    Request(cv::kListWordList, 2);
    EXPECT_EQ(choices.batchSetupShown, 1);
    EXPECT_EQ(window->Data(), nullptr);

    const QString folder = dir.file(QStringLiteral("batch"));
    ASSERT_TRUE(QDir().mkpath(folder));
    cv::Global_BatchProcedures.mode = 1;
    cv::Global_BatchProcedures.BatchRootFolder = folder;
    choices.batchReady = true;
    Request(cv::kListWordList, 2);
    EXPECT_EQ(choices.batchSetupShown, 2);
    EXPECT_EQ(choices.batchSetupHidden, 1);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.lst")}, QDir::Files).size(), 2);
    // The results are in the folder, not in the window.
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("SavedOK")));
}

// A batch of one list per text, zipped, set up and ready.
void ZippedBatch(cvtest::TempDir& dir, cv::TFixedJobChoices& choices)
{
    const QString folder = dir.file(QStringLiteral("batch"));
    ASSERT_TRUE(QDir().mkpath(folder));
    cv::Global_BatchProcedures.mode = 1;
    cv::Global_BatchProcedures.BatchRootFolder = folder;
    cv::Global_BatchProcedures.Zip_Too = true;
    cv::Global_BatchProcedures.ZipShortFilename = QStringLiteral("lists.zip");
    choices.batchReady = true;
}

TEST_F(WordListWindowTest, AZippedBatchOpensTheResultTheUserChooses)
{
    Choose(kTwoTexts);
    ZippedBatch(dir, choices);
    choices.batchEntry = 1;
    dialogs.QueueAnswer(TDialogAnswer::OK);  // saved
    dialogs.QueueAnswer(TDialogAnswer::Yes); // see the lists one by one
    Request(cv::kListWordList, 1);
    QApplication::processEvents(); // the user's choice in the batch window

    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("DoYouWantToOpenBatchFileToSeeIndividualLists")));
    EXPECT_EQ(choices.batchChoiceShown, 1);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Batch, # 2"));
    // The second entry is the list of one of the two texts.
    const int count = Words()->Count();
    EXPECT_TRUE(count == 2 || count == 5) << count;
    EXPECT_TRUE(Doc()->MainFile.FileName.isEmpty());
    EXPECT_EQ(window->CVGridFreq->List(), Words());
}

TEST_F(WordListWindowTest, AZippedBatchCanBeOpenedAsItsListsMerged)
{
    Choose(kTwoTexts);
    ZippedBatch(dir, choices);
    dialogs.QueueAnswer(TDialogAnswer::OK); // saved
    dialogs.QueueAnswer(TDialogAnswer::No); // not one by one ...
    dialogs.QueueAnswer(TDialogAnswer::OK); // ... but merged
    Request(cv::kListWordList, 1);

    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("DoYouWantToOpenBatchFileToMergeLists")));
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 6);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("dog")), 2);
}

// ---- detailed consistency -----------------------------------------------------

TEST_F(WordListWindowTest, ADetailedConsistencyJobShowsItsTwoPages)
{
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat the dog")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog barks")),
                                SavedWordList(QStringLiteral("gamma"), QStringLiteral("a bird"))};
    Request(cv::kListDetailedConsistency);

    ASSERT_NE(Doc(), nullptr);
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListDetailedConsistency);
    ASSERT_NE(Doc()->fDetailedConsistencyList, nullptr);
    EXPECT_EQ(Doc()->fDetailedConsistencyList->ListCount(), 3);
    EXPECT_EQ(Doc()->fDetailedConsistencyList->Count(), 6); // the cat dog barks a bird
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageConsistency);
    EXPECT_EQ(window->CVGridConsistency->List(), Doc()->fDetailedConsistencyList.get());
    EXPECT_TRUE(window->PageVisible(window->AdvOfficePageConsistencyRelations));
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageFrequency));
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageAlph));
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageKWs));
    EXPECT_EQ(QDir(cv::GetLastOpenedFolder()), QDir(dir.path()));
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(WordListWindowTest, ANewListSaysItIsUnsavedAndIsOfferedANameOfItsOwn)
{
    cv::SetDefaultFolder(dir.path());
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("(unsaved)"))) << window->windowTitle().toStdString();

    // A consistency list is named for itself: saved under the name of one
    // of its word lists, it would replace that list.
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat the dog")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog barks"))};
    dialogs.QueueAnswer(cv::TDialogAnswer::No); // the word list made before may go
    Request(cv::kListDetailedConsistency);
    ASSERT_NE(Doc()->fDetailedConsistencyList, nullptr);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("(unsaved)"))) << window->windowTitle().toStdString();
    files.QueueCancel();
    EXPECT_FALSE(window->Save(CurrentGrid()));
    ASSERT_FALSE(files.Requests().empty());
    EXPECT_EQ(files.Requests().back().fileName, dir.file(QStringLiteral("alpha_beta_consistency.lst")));

    // Of more lists, the first three name it.
    choices.consistencyFiles << SavedWordList(QStringLiteral("gamma"), QStringLiteral("a bird"))
                             << SavedWordList(QStringLiteral("delta"), QStringLiteral("a dog"));
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    Request(cv::kListDetailedConsistency);
    EXPECT_EQ(Doc()->SuggestedFilename, QStringLiteral("alpha_beta_gamma_etc_consistency"));
}

TEST_F(WordListWindowTest, EachKindOfDocumentShowsItsOwnPages)
{
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat the dog")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog barks"))};
    Request(cv::kListDetailedConsistency);
    ASSERT_NE(Doc(), nullptr);
    Doc()->MainFile.ListType = cv::kListConsistencyRelations;
    window->ShowPagesForListType();
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageConsistencyRelations);
    EXPECT_TRUE(window->PageVisible(window->AdvOfficePageConsistency));

    Doc()->MainFile.ListType = cv::kListKeyWords;
    window->ShowPagesForListType();
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageKWs);
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageConsistency));

    // Kinds without pages of their own change nothing.
    Doc()->MainFile.ListType = cv::kListKeyWordDatabase;
    window->ShowPagesForListType();
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageKWs);
}

TEST_F(WordListWindowTest, UnusableListsForConsistencyAreToldAndTooFewKeepThePreviousDocument)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    SaveShown();
    cv::T_WholeWordlistHolder* before = Doc();

    const QString text = Text(QStringLiteral("plain.txt"), QStringLiteral("no list"));
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat")), text};
    Request(cv::kListDetailedConsistency);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("CouldntDoDetailedConsistencyOn")});
    EXPECT_TRUE(dialogs.Requests().front().text.contains(QStringLiteral("plain.txt")));
    EXPECT_EQ(Doc(), before);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageFrequency);

    dialogs.Clear();
    choices.consistencyFiles.clear();
    Request(cv::kListDetailedConsistency);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
    EXPECT_EQ(Doc(), before);
}

// ---- word lists from plain-text lists -------------------------------------------

TEST_F(WordListWindowTest, PlainTextListsBecomeSavedWordLists)
{
    const QString folder = dir.file(QStringLiteral("lists"));
    ASSERT_TRUE(QDir().mkpath(folder));
    choices.plainText.files = {Text(QStringLiteral("mine.txt"), QStringLiteral("the\t1,234\ncat\t12.5\ndog\tx\n"))};
    choices.plainText.saveFolder = folder;
    choices.plainText.notes = QStringLiteral("from my own counts");
    dialogs.QueueAnswer(TDialogAnswer::Yes); // view it now
    Request(cv::kListPlainTextWordList);

    const QString saved = QDir(folder).filePath(QStringLiteral("mine.lst"));
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOKViewNow")});
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Doc()->MainFile.FileName, saved);
    EXPECT_EQ(WordsOf(*Words()).size(), 2);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("the")), 1234);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("cat")), 125);
    EXPECT_EQ(FreqOf(*Words(), QStringLiteral("dog")), -1);
    EXPECT_TRUE(Doc()->fNotes.join(u'\n').contains(QStringLiteral("from my own counts")));
    EXPECT_EQ(window->fPlainTextList, nullptr);
}

TEST_F(WordListWindowTest, PlainTextImportWithUnusableColumnsImportsNothing)
{
    choices.plainText.files = {Text(QStringLiteral("mine.txt"), QStringLiteral("the\t5\n"))};
    choices.plainText.saveFolder = dir.path();
    for (const auto& [word, freq] : std::vector<std::pair<int, int>>{{1, 1}, {0, 2}}) {
        dialogs.Clear();
        choices.plainText.wordColumn = word;
        choices.plainText.freqColumn = freq;
        Request(cv::kListPlainTextWordList);
        EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("FailedToImport"), QStringLiteral("PleaseCheckSettings")}));
        EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("mine.lst"))));
        EXPECT_EQ(window->Data(), nullptr);
    }
}

// ---- the corpus index ---------------------------------------------------------

TEST_F(WordListWindowTest, AnIndexNamedInTheSettingsIsMadeWithoutAskingAndOpensOnRequest)
{
    Choose(kTwoTexts);
    const QString base = dir.file(QStringLiteral("corpus"));
    cv::SetLastUsedFile(cv::kListIndexWordList, base);
    dialogs.QueueAnswer(TDialogAnswer::Yes); // open the new index
    Request(cv::kListIndexWordList);

    EXPECT_EQ(choices.indexChoiceShown, 0);
    EXPECT_TRUE(QFileInfo::exists(cv::IndexFileName(base, cv::TIndexFileKind::Tokens)));
    EXPECT_TRUE(QFileInfo::exists(cv::IndexFileName(base, cv::TIndexFileKind::Types)));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOKOpenIndexNow")});

    ASSERT_NE(Doc(), nullptr);
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListIndexWordList);
    EXPECT_NE(Doc()->fIndexHandler, nullptr);
    const cv::TCVWordList* index = Words(cv::kListIndexWordList);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->Count(), 6);
    EXPECT_EQ(FreqOf(*index, QStringLiteral("the")), 3);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexFreq);
    EXPECT_EQ(window->CVGridIndexFreq->List(), index);
    EXPECT_TRUE(window->PageVisible(window->AdvOfficePageIndexAlph));
    // No clusters yet: the word-list pages of an index stay hidden.
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageFrequency));
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageAlph));
    EXPECT_EQ(window->fSpare_Index_filename, cv::IndexFileName(base, cv::TIndexFileKind::Tokens));
}

TEST_F(WordListWindowTest, AnIndexIsMadeWhereTheUserChoosesOrNotAtAll)
{
    Choose(kTwoTexts);
    // An index of that name exists already: the user is asked, and cancels.
    const QString base = dir.file(QStringLiteral("corpus"));
    dir.write(QStringLiteral("corpus.types"), "x");
    cv::SetLastUsedFile(cv::kListIndexWordList, base);
    Request(cv::kListIndexWordList);
    EXPECT_EQ(choices.indexChoiceShown, 1);
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(cv::IndexFileName(base, cv::TIndexFileKind::Tokens)));

    // The user names another index; it is made and, unasked to open, closed.
    choices.indexName = dir.file(QStringLiteral("other"));
    Request(cv::kListIndexWordList);
    EXPECT_EQ(choices.indexChoiceShown, 2);
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), choices.indexName);
    EXPECT_TRUE(QFileInfo::exists(cv::IndexFileName(choices.indexName, cv::TIndexFileKind::Tokens)));
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOKOpenIndexNow")});
}

TEST_F(WordListWindowTest, AnIndexThatCannotBeWrittenIsToldAndThePreviousDocumentStays)
{
    Choose(kTwoTexts);
    Request(cv::kListWordList);
    SaveShown();
    cv::T_WholeWordlistHolder* before = Doc();
    cv::SetLastUsedFile(cv::kListIndexWordList, dir.file(QStringLiteral("no/such/folder/corpus")));
    Request(cv::kListIndexWordList);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
    EXPECT_EQ(Doc(), before);
}

TEST_F(WordListWindowTest, TagsShownAfterTheWordsMayBecomeTheirPrefix)
{
    Choose({{QStringLiteral("t.txt"), QStringLiteral("the cat sat")}});
    Request(cv::kListWordList);
    cv::TCVWordList* words = Doc()->WordlistOfType(cv::kListWordList);
    ASSERT_NE(words, nullptr);
    // Untagged words: nothing to ask.
    words->SetTagDisplay(2);
    EXPECT_FALSE(window->AskTreatTagsAsPrefix(words));
    // Tagged words shown after the word: asked; yes puts the tags in front everywhere.
    words->Entry(0).fTag = QStringLiteral("<DT>");
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_TRUE(window->AskTreatTagsAsPrefix(words));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("TreatTagsAsPrefixInQ"));
    EXPECT_EQ(words->TagDisplay(), 1);
    EXPECT_EQ(cv::GetTextSettings().TagDisplay(), 1);
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::TagsAsPrefix));
    // Now they are a prefix (or hidden): not asked again.
    EXPECT_FALSE(window->AskTreatTagsAsPrefix(words));
    words->SetTagDisplay(0);
    EXPECT_FALSE(window->AskTreatTagsAsPrefix(words));
    // No keeps things as they are.
    words->SetTagDisplay(2);
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    EXPECT_TRUE(window->AskTreatTagsAsPrefix(words));
    EXPECT_EQ(words->TagDisplay(), 2);
}

} // namespace
} // namespace wordlist_window_test
