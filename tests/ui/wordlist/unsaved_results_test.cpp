// Nothing a job made is dropped without a question: every list a job makes
// counts as unsaved until it is saved, and each road that would drop it
// (Close, Exit, Open, a recent file, a dropped file, a new job, new
// clusters or relationships) asks first when the settings say so; Cancel
// keeps the data as they were.

#include "wordlist_commands_testutil.h"

#include <QAction>
#include <QCloseEvent>

#include "gui/drop_files.h"
#include "index/index_relationships.h"
#include "suite/resource_strings.h"
#include "wordlist/detailed_consistency.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

class UnsavedResultsTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        window->show();
        AskBeforeDropping(true);
    }
    static void AskBeforeDropping(bool ask)
    {
        cv::TGeneralSettingsRec g = cv::GetGeneralSettings();
        g.SetAskWhetherToSaveModifiedData(ask);
        cv::SetGeneralSettings(g);
    }
    // The question asked since the last call, and what it named.
    QStringList Asked()
    {
        QStringList texts;
        for (const cv::TDialogRequest& r : dialogs.Requests())
            if (r.routine == QStringLiteral("DoYouWantToSave"))
                texts << r.text;
        dialogs.Clear();
        return texts;
    }
    // A document with the list the user is looking at, and its size.
    void ExpectKept(const cv::TCorvantisholder* doc, int entries)
    {
        EXPECT_EQ(window->Data(), doc);
        ASSERT_NE(Words(), nullptr);
        EXPECT_EQ(Words()->Count(), entries);
        EXPECT_TRUE(window->isVisible());
    }
};

TEST_F(UnsavedResultsTest, ANewWordListIsAskedAboutByCloseAndExitAndKeptOnCancel)
{
    WordListOf(kCorpus);
    const cv::TCorvantisholder* doc = window->Data();
    const int entries = Words()->Count();
    dialogs.Clear();

    // Close (Ctrl+W).
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    MenuCommand(cv::TMenuCommand::Close);
    const QStringList close = Asked();
    ASSERT_EQ(close.size(), 1);
    EXPECT_TRUE(close.front().contains(cv::ListTypeName(cv::kListWordList))) << close.front().toStdString();
    ExpectKept(doc, entries);

    // Exit (Alt+X).
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    MenuCommand(cv::TMenuCommand::Exit);
    EXPECT_EQ(Asked().size(), 1);
    ExpectKept(doc, entries);

    // Saved, the list is dropped without a question.
    ASSERT_TRUE(window->SaveGridData(Show(window->AdvOfficePageFrequency), dir.file(QStringLiteral("kept.lst"))));
    MenuCommand(cv::TMenuCommand::Close);
    EXPECT_TRUE(Asked().isEmpty());
    EXPECT_EQ(window->Data(), nullptr);
}

TEST_F(UnsavedResultsTest, ANewJobAsksBeforeItReplacesAnUnsavedConsistencyList)
{
    QStringList lists;
    for (const QString& name : {QStringLiteral("one"), QStringLiteral("two")})
        lists << SavedWordList(name, QStringLiteral("the cat the dog ") + name);
    choices.consistencyFiles = lists;
    Request(cv::kListDetailedConsistency);
    const cv::TCorvantisholder* doc = window->Data();
    ASSERT_NE(Doc()->fDetailedConsistencyList, nullptr);
    const int rows = Doc()->fDetailedConsistencyList->Count();
    ASSERT_GT(rows, 0);
    dialogs.Clear();

    Choose(kCorpus);
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    Request(cv::kListWordList);
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_EQ(window->Data(), doc);
    EXPECT_EQ(Doc()->fDetailedConsistencyList->Count(), rows);

    // "No": the user lets them go, and the new list is made.
    dialogs.QueueAnswer(TDialogAnswer::No);
    Request(cv::kListWordList);
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_TRUE(!Doc()->fDetailedConsistencyList || Doc()->fDetailedConsistencyList->Count() == 0);
    EXPECT_GT(Words()->Count(), 0);
}

TEST_F(UnsavedResultsTest, NewRelationshipsOrClustersAskBeforeTheyReplaceUnsavedOnes)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
    grid->HandleGridCommand(cv::TMenuCommand::Relationships);
    ASSERT_NE(Doc()->fIndexHandler->fRelationshipsList, nullptr);
    const int relationships = Doc()->fIndexHandler->fRelationshipsList->Count();
    ASSERT_GT(relationships, 0);
    const int chosenBefore = commands.relationshipChoiceShown;
    dialogs.Clear();

    // Made again: asked first; Cancel keeps them and asks nothing more.
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    Show(window->AdvOfficePageIndexAlph)->HandleGridCommand(cv::TMenuCommand::Relationships);
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_EQ(commands.relationshipChoiceShown, chosenBefore);
    EXPECT_EQ(Doc()->fIndexHandler->fRelationshipsList->Count(), relationships);

    // And so do the word lists of clusters.
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(2);
    s.SetMinShowFrequency(2);
    s.SetClusterMinTexts(1);
    s.SetClusterListsPerText(false);
    cv::SetWordlistIndexSettings(s);
    dialogs.QueueAnswer(TDialogAnswer::No);
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
    ASSERT_NE(Words(), nullptr);
    const QStringList clusters = WordsOf(*Words());
    ASSERT_FALSE(clusters.isEmpty());
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_EQ(WordsOf(*Words()), clusters);
}

TEST_F(UnsavedResultsTest, OpeningAFileInPlaceOfUnsavedDataAsksFirst)
{
    const QString saved = SavedWordList(QStringLiteral("other"), QStringLiteral("a b c"));
    WordListOf(kCorpus);
    const cv::TCorvantisholder* doc = window->Data();
    const int entries = Words()->Count();
    dialogs.Clear();

    // Open...: not in a new window (No), then Cancel to the question: no file dialog.
    dialogs.QueueAnswer(TDialogAnswer::No);
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    MenuCommand(cv::TMenuCommand::Open);
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_TRUE(files.Requests().empty());
    ExpectKept(doc, entries);

    // A file dropped on the window.
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kWM_DROPFILES, cv::RegisterDroppedFiles({saved}), 0));
    QApplication::processEvents();
    EXPECT_EQ(Asked().size(), 1);
    ExpectKept(doc, entries);

    // The controller's "open this file" (code 613).
    cv::SetMyTempFilename(saved);
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    window->WMControllerCommand(cv::PackToolCode(cv::kCodeOpenTempFile, cv::kToolController), 0);
    EXPECT_EQ(Asked().size(), 1);
    ExpectKept(doc, entries);

    // Let go: the file dropped opens.
    dialogs.QueueAnswer(TDialogAnswer::No);
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kWM_DROPFILES, cv::RegisterDroppedFiles({saved}), 0));
    QApplication::processEvents();
    EXPECT_EQ(Asked().size(), 1);
    EXPECT_EQ(Doc()->MainFile.FileName, saved);
    EXPECT_EQ(WordsOf(*Words()).size(), 3);
}

TEST_F(UnsavedResultsTest, NewWithUnsavedDataAsksForAnotherWindowAndKeepsThisOne)
{
    WordListOf(kCorpus);
    const cv::TCorvantisholder* doc = window->Data();
    const int entries = Words()->Count();
    Posted();
    MenuCommand(cv::TMenuCommand::New);
    EXPECT_TRUE(PostedCode(cv::kCodeNewWithData));
    ExpectKept(doc, entries);
}

TEST_F(UnsavedResultsTest, WithoutTheAskingSettingNothingIsAsked)
{
    AskBeforeDropping(false);
    WordListOf(kCorpus);
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::Close);
    EXPECT_TRUE(Asked().isEmpty());
    EXPECT_EQ(window->Data(), nullptr);
}

TEST_F(UnsavedResultsTest, OpenOnAnIndexDropsNothingUntilAFileIsChosenAndRead)
{
    IndexOf(kCorpus);
    const cv::TCorvantisholder* doc = window->Data();
    const int types = Words(cv::kListIndexWordList)->Count();
    const auto indexShown = [&] {
        EXPECT_EQ(window->Data(), doc);
        ASSERT_NE(Words(cv::kListIndexWordList), nullptr);
        EXPECT_EQ(Words(cv::kListIndexWordList)->Count(), types);
        EXPECT_TRUE(window->PageVisible(window->AdvOfficePageIndexFreq));
        EXPECT_EQ(window->CVGridIndexFreq->List(), Words(cv::kListIndexWordList));
        EXPECT_EQ(window->CVGridIndexFreq->RowCount(), types + 1);
    };
    // Open...: not in a new window (No); the file dialog called off.
    dialogs.QueueAnswer(TDialogAnswer::No);
    files.QueueCancel();
    MenuCommand(cv::TMenuCommand::Open);
    ASSERT_EQ(files.Requests().size(), 1u);
    indexShown();
    // A file chosen that is no word list: the reader says why, once, and the index stays.
    const QString text = Text(QStringLiteral("notes.lst"), QStringLiteral("just some words, no saved list"));
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No);
    files.QueueAnswer(text);
    MenuCommand(cv::TMenuCommand::Open);
    indexShown();
    // A saved list read: it takes the index's place.
    const QString saved = SavedWordList(QStringLiteral("other"), QStringLiteral("a b c"));
    dialogs.QueueAnswer(TDialogAnswer::No);
    files.QueueAnswer(saved);
    MenuCommand(cv::TMenuCommand::Open);
    EXPECT_EQ(Doc()->MainFile.FileName, saved);
    EXPECT_EQ(Words()->Count(), 3);
    EXPECT_EQ(Doc()->fIndexHandler, nullptr);
}

TEST_F(UnsavedResultsTest, AFailedOpenSaysOnceWhatFailed)
{
    const QString damaged = Text(QStringLiteral("damaged.lst"), QStringLiteral("not a saved list at all"));
    const QString missing = dir.file(QStringLiteral("missing.lst"));
    for (const QString& file : {damaged, missing}) {
        dialogs.Clear();
        cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
        rec.Clear();
        rec.FileName = file;
        rec.ListType = cv::kListWordList;
        EXPECT_FALSE(window->OpenFile());
        ASSERT_EQ(dialogs.Requests().size(), 1u) << dialogs.Routines().join(u',').toStdString();
        EXPECT_TRUE(dialogs.Requests().front().text.contains(QFileInfo(file).fileName()))
            << dialogs.Requests().front().text.toStdString();
    }
    // An index that cannot be opened: one message too.
    dialogs.Clear();
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = Text(QStringLiteral("broken.tokens"), QStringLiteral("no index"));
    rec.ListType = cv::kListIndexWordList;
    EXPECT_FALSE(window->OpenFile());
    EXPECT_EQ(dialogs.Requests().size(), 1u) << dialogs.Routines().join(u',').toStdString();
}

// ---- saving a document that has no name yet ----------------------------------

TEST_F(UnsavedResultsTest, SaveOffersTheTextsFolderAsNameAndACancelIsNoFailure)
{
    WordListOf({{QStringLiteral("brown/ca01.txt"), QStringLiteral("the jury said the city")},
                {QStringLiteral("brown/ca02.txt"), QStringLiteral("the vote was close")}});
    dialogs.Clear();
    files.QueueCancel();
    EXPECT_FALSE(window->Save(Show(window->AdvOfficePageFrequency)));
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_EQ(QFileInfo(files.Requests().front().fileName).fileName(), QStringLiteral("brown.lst"));
    // Called off by the user: nothing is said, and the list is still unsaved.
    EXPECT_TRUE(dialogs.Requests().empty()) << dialogs.Requests().front().routine.toStdString();
    EXPECT_TRUE(Doc()->MainFile.FileName.isEmpty());
    EXPECT_NE(window->ListTypesHoldingData(), 0u);
}

TEST_F(UnsavedResultsTest, KeyWordsOfAListTheUserWillNotSaveSayItMustBeSavedFirst)
{
    WordListOf(kCorpus);
    cv::SetKeywordsSettingsReferenceCorpus(SavedWordList(QStringLiteral("reference"), QStringLiteral("a b c d")));
    for (const cv::TMenuCommand command : {cv::TMenuCommand::KeyWords, cv::TMenuCommand::CompareTwoWordLists}) {
        dialogs.Clear();
        dialogs.QueueAnswer(TDialogAnswer::No);
        MenuCommand(command);
        EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("DoYouWantToSave"), QStringLiteral("ListMustBeSavedFirst")}));
        EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("saved first")));
        EXPECT_EQ(commands.comparisonShown, 0);
        EXPECT_TRUE(files.Requests().empty());
    }
    // Cancel says nothing more.
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    MenuCommand(cv::TMenuCommand::KeyWords);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("DoYouWantToSave")});
}

TEST_F(UnsavedResultsTest, KeyWordsOfAnUnsavedListSayWhyTheSaveDialogOpens)
{
    WordListOf(kCorpus);
    cv::SetKeywordsSettingsReferenceCorpus(SavedWordList(QStringLiteral("reference"), QStringLiteral("a b c d")));
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    files.QueueCancel();
    MenuCommand(cv::TMenuCommand::KeyWords);
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_EQ(files.Requests().front().title, cv::CVSaveStudyListForKeyWords.toString());
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("FailedToSave")));
    EXPECT_EQ(commands.comparisonShown, 0);
    // The window's save dialog has its own title again afterwards.
    files.QueueCancel();
    window->Save(Show(window->AdvOfficePageFrequency));
    ASSERT_EQ(files.Requests().size(), 2u);
    EXPECT_NE(files.Requests().back().title, cv::CVSaveStudyListForKeyWords.toString());
}

} // namespace
} // namespace wordlist_window_test
