#include "suite/dialog_routines.h"

#include <gtest/gtest.h>

#include <functional>

#include "suite/cv_globals.h"
#include "suite/my_types.h"
#include "suite/wdef.h"
#include "support/test_support.h"

using cv::TDialogAnswer;
using cv::TDialogButtons;
using cv::TDialogKind;

namespace {

class DialogRoutines : public ::testing::Test {
protected:
    void SetUp() override
    {
        cv::Global_run_without_error_messages = false;
        cv::Global_FailureMessage.clear();
    }
    void TearDown() override
    {
        cv::Global_run_without_error_messages = false;
        cv::Global_FailureMessage.clear();
    }
    const cv::TDialogRequest& last() const { return dialogs.Requests().back(); }

    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};
    cvtest::TempDir dir;
};

struct Case {
    const char* routine;
    std::function<void()> call;
};

} // namespace

TEST_F(DialogRoutines, EveryRoutineNamesItselfInItsRequest)
{
    const QString f = QStringLiteral("/corpus/lists/novels.lst");
    const uint8_t types[] = {cv::kListWordList, cv::kListStatistics};
    const std::vector<Case> cases = {
        {"FailedToFind", [&] { cv::FailedToFind(f); }},
        {"FailedToRead", [&] { cv::FailedToRead(f); }},
        {"FailedToSave", [&] { cv::FailedToSave(f); }},
        {"FailedToImport", [&] { cv::FailedToImport(f); }},
        {"NotAValidCVFile", [&] { cv::NotAValidCVFile(f); }},
        {"IsntCorvanFile", [&] { cv::IsntCorvanFile(f); }},
        {"IsntACurrentCorvanFile", [&] { cv::IsntACurrentCorvanFile(f); }},
        {"WrongToolForFile", [&] { cv::WrongToolForFile(f, cv::kToolConcordance); }},
        {"CannotWriteToXFolder", [&] { cv::CannotWriteToXFolder(QStringLiteral("/corpus/lists")); }},
        {"CantMergeWithSameFile", [&] { cv::CantMergeWithSameFile(f); }},
        {"CantCompareWithSameFile", [&] { cv::CantCompareWithSameFile(f); }},
        {"CouldntDoDetailedConsistencyOn", [&] { cv::CouldntDoDetailedConsistencyOn({f, f}); }},
        {"NoWordListWordsFoundIn", [&] { cv::NoWordListWordsFoundIn(f); }},
        {"NoWordsIn", [&] { cv::NoWordsIn(f); }},
        {"StoppedWhenProcessingX", [&] { cv::StoppedWhenProcessingX(f); }},
        {"NoLemmaList", [&] { cv::NoLemmaList(); }},
        {"NoMatchList", [&] { cv::NoMatchList(); }},
        {"NoStopList", [&] { cv::NoStopList(); }},
        {"NoFilesSelected", [&] { cv::NoFilesSelected(); }},
        {"NoColumnSelected", [&] { cv::NoColumnSelected(); }},
        {"NoKeyWordsFound", [&] { cv::NoKeyWordsFound(); }},
        {"NoMutualInfoData", [&] { cv::NoMutualInfoData(); }},
        {"NoPrinterInstalled", [&] { cv::NoPrinterInstalled(); }},
        {"NoClustersOfSizeIn", [&] { cv::NoClustersOfSizeIn(1000, 3, QString(), f); }},
        {"CantMakeClustersWithoutIndex", [&] { cv::CantMakeClustersWithoutIndex(); }},
        {"CantComputeKWSIfDifferentLanguages", [&] { cv::CantComputeKWSIfDifferentLanguages(f, QStringLiteral("French"), QStringLiteral("English")); }},
        {"KeyWordsNotFullLemmaProcessing", [&] { cv::KeyWordsNotFullLemmaProcessing(); }},
        {"KeyWordsFoundLessThanNPercentMatches", [&] { cv::KeyWordsFoundLessThanNPercentMatches(49); }},
        {"InvalidNumber", [&] { cv::InvalidNumber(QStringLiteral("1,2,3")); }},
        {"UnMatchedBracketInX", [&] { cv::UnMatchedBracketInX(QStringLiteral("(a+b")); }},
        {"MenuShortcutAlreadyInUse", [&] { cv::MenuShortcutAlreadyInUse(QStringLiteral("Ctrl+N"), QStringLiteral("Save"), QStringLiteral("New...")); }},
        {"FormNotFilled", [&] { cv::FormNotFilled(QStringLiteral("a folder")); }},
        {"ProvideAFilenameOrCancel", [&] { cv::ProvideAFilenameOrCancel(); }},
        {"PleaseMakeAChoiceForXAction", [&] { cv::PleaseMakeAChoiceForXAction(QStringLiteral("search")); }},
        {"PleaseCheckSettings", [&] { cv::PleaseCheckSettings(); }},
        {"NotImplemented", [&] { cv::NotImplemented(); }},
        {"NotApplicableExplanation", [&] { cv::NotApplicableExplanation(); }},
        {"DataPartlyObscured", [&] { cv::DataPartlyObscured(); }},
        {"SearchFailedToFindTryAsterisk", [&] { cv::SearchFailedToFindTryAsterisk(QStringLiteral("\"walk\"")); }},
        {"SearchFailedToFindAnyMoreX", [&] { cv::SearchFailedToFindAnyMoreX(QStringLiteral("\"walk\"")); }},
        {"SavedOK", [&] { cv::SavedOK(f); }},
        {"ReportedAFact", [&] { cv::ReportedAFact(QStringLiteral("12 found"), 6040); }},
        {"NoProblem", [&] { cv::NoProblem(); }},
        {"UseLayoutToMoveAnyColumns", [&] { cv::UseLayoutToMoveAnyColumns(); }},
        {"WarnAboutAndRecommend", [&] { cv::WarnAboutAndRecommend(QStringLiteral("Mixed"), QStringLiteral("Convert"), 1242); }},
        {"WarnAboutAndASKOK", [&] { cv::WarnAboutAndASKOK(QStringLiteral("WordList"), QStringLiteral("Too many"), 2920); }},
        {"EscapePressedWantToQuit", [&] { cv::EscapePressedWantToQuit(); }},
        {"FinishThisProcessFirst", [&] { cv::FinishThisProcessFirst(); }},
        {"AreYouSureYouWantTo", [&] { cv::AreYouSureYouWantTo(QStringLiteral("print 40 pages")); }},
        {"OKToDoX", [&] { cv::OKToDoX(QStringLiteral("Reverse?"), 5690); }},
        {"OKToOverwrite", [&] { cv::OKToOverwrite(dir.write(QStringLiteral("a.txt"), "x")); }},
        {"OKToOverwriteWithBackup", [&] { cv::OKToOverwriteWithBackup(dir.write(QStringLiteral("b.txt"), "x")); }},
        {"OKtoSaveAgainAs", [&] { cv::OKtoSaveAgainAs(f); }},
        {"OKtoDelete", [&] { cv::OKtoDelete(QStringLiteral("test 3")); }},
        {"OKToZapNow", [&] { cv::OKToZapNow(5); }},
        {"OKToZapRemainderNow", [&] { cv::OKToZapRemainderNow(5); }},
        {"ReduceDataOK", [&] { cv::ReduceDataOK(10, 100); }},
        {"OKToShowWdsForNFiles", [&] { cv::OKToShowWdsForNFiles(QStringLiteral("a,b"), 12); }},
        {"OKToUseTempDirAsTempDrive", [&] { cv::OKToUseTempDirAsTempDrive(); }},
        {"CreateFolderYesNo", [&] { cv::CreateFolderYesNo(QStringLiteral("/new/folder")); }},
        {"ComputeColumnTotalsQ", [&] { cv::ComputeColumnTotalsQ(); }},
        {"TreatTagsAsPrefixInQ", [&] { cv::TreatTagsAsPrefixInQ(); }},
        {"ClustersContainingStopListWordsExcluded", [&] { cv::ClustersContainingStopListWordsExcluded(); }},
        {"JoinXtoY", [&] { cv::JoinXtoY(QStringLiteral("walked"), QStringLiteral("walk")); }},
        {"OpenFileInBrowserOrNotepad", [&] { cv::OpenFileInBrowserOrNotepad(f); }},
        {"SavedOKOpenNow", [&] { cv::SavedOKOpenNow(f); }},
        {"SavedOKViewNow", [&] { cv::SavedOKViewNow(f); }},
        {"SavedOKOpenIndexNow", [&] { cv::SavedOKOpenIndexNow(f, f); }},
        {"RefCorpusAndKWMismatch", [&] { cv::RefCorpusAndKWMismatch(f, f); }},
        {"ProceedIfLittleDiskSpace", [&] { cv::ProceedIfLittleDiskSpace(dir.path(), int64_t(1) << 62); }},
        {"DoYouWantToSave", [&] { cv::DoYouWantToSave(f, types); }},
        {"DoYouWantToDoX", [&] { cv::DoYouWantToDoX(QStringLiteral("Row 3 only?"), 5330); }},
        {"DoYouWantToOpenBatchFileToSeeIndividualLists", [&] { cv::DoYouWantToOpenBatchFileToSeeIndividualLists(f); }},
        {"DoYouWantToOpenBatchFileToMergeLists", [&] { cv::DoYouWantToOpenBatchFileToMergeLists(f); }},
        {"StartNewToolInstance", [&] { cv::StartNewToolInstance(); }},
    };
    for (const Case& c : cases) {
        const std::size_t before = dialogs.Requests().size();
        c.call();
        ASSERT_EQ(dialogs.Requests().size(), before + 1) << c.routine << " must show exactly one message";
        EXPECT_EQ(last().routine, QString::fromLatin1(c.routine));
        EXPECT_FALSE(last().text.isEmpty()) << c.routine;
        EXPECT_FALSE(last().caption.isEmpty()) << c.routine;
        if (last().kind == TDialogKind::Question) {
            EXPECT_NE(last().buttons, TDialogButtons::OK) << c.routine << ": a question offers a choice";
        }
    }
}

TEST_F(DialogRoutines, TextsNameTheFileAndCarryTheHelpContext)
{
    cv::FailedToRead(QStringLiteral("/corpus/a.lst"));
    EXPECT_TRUE(last().text.contains(QStringLiteral("a.lst")));
    EXPECT_EQ(last().kind, TDialogKind::Error);
    cv::FailedToRead(QStringLiteral("/x/one.txt\n/x/two.txt\n"));
    EXPECT_TRUE(last().text.contains(QStringLiteral("one.txt")) && last().text.contains(QStringLiteral("two.txt")));
    cv::WrongToolForFile(QStringLiteral("plays.cnc"), cv::kToolConcordance);
    EXPECT_TRUE(last().text.contains(cv::Tool_Name(cv::kToolConcordance)));
    const uint8_t types[] = {cv::kListWordList, cv::kListKeyWords};
    cv::DoYouWantToSave(QStringLiteral("x.lst"), types);
    EXPECT_TRUE(last().text.contains(cv::ListTypeName(cv::kListKeyWords)));
    EXPECT_EQ(last().buttons, TDialogButtons::YesNoCancel);
    cv::WarnAboutAndASKOK(QStringLiteral("WordList"), QStringLiteral("The maximum number of texts is 500."), 2920);
    EXPECT_EQ(last().caption, QStringLiteral("WordList"));
    EXPECT_EQ(last().helpContext, 2920);
    EXPECT_EQ(last().buttons, TDialogButtons::OKCancel);
    cv::NoWordsIn(QStringLiteral("w.txt"));
    EXPECT_EQ(last().helpContext, 2910);
}

TEST_F(DialogRoutines, AnswersReachTheCaller)
{
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    EXPECT_TRUE(cv::EscapePressedWantToQuit());
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_FALSE(cv::EscapePressedWantToQuit());
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    EXPECT_EQ(cv::DoYouWantToSave(QString(), {}), TDialogAnswer::Cancel);
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_EQ(cv::DoYouWantToOpenBatchFileToSeeIndividualLists(QStringLiteral("b.zip")), TDialogAnswer::No);
    dialogs.QueueAnswer(TDialogAnswer::OK);
    EXPECT_EQ(cv::DoYouWantToOpenBatchFileToMergeLists(QStringLiteral("b.zip")), TDialogAnswer::OK);
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    EXPECT_EQ(cv::SearchFailedToFindAnyMoreX(QStringLiteral("\"x\"")), TDialogAnswer::Cancel);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    EXPECT_TRUE(cv::RefCorpusAndKWMismatch(QStringLiteral("a"), QStringLiteral("b")));

    // Without a scripted answer, a question takes its own default.
    EXPECT_FALSE(cv::OKToOverwrite(dir.write(QStringLiteral("exists.txt"), "x"))) << "overwriting is never the default";
    EXPECT_TRUE(cv::CreateFolderYesNo(QStringLiteral("/x")));
    EXPECT_EQ(cv::StartNewToolInstance(), TDialogAnswer::No);
    EXPECT_EQ(cv::WarnAboutAndASKOK(QStringLiteral("t"), QStringLiteral("x")), TDialogAnswer::Cancel);
}

TEST_F(DialogRoutines, ChecksThatNeedNoQuestionAskNone)
{
    EXPECT_TRUE(cv::OKToOverwrite(dir.file(QStringLiteral("absent.txt"))));
    EXPECT_TRUE(cv::OKToOverwriteWithBackup(dir.file(QStringLiteral("absent.txt"))));
    EXPECT_TRUE(cv::ProceedIfLittleDiskSpace(dir.file(QStringLiteral("not yet made/sub")), 1024)) << "checks the nearest existing folder";
    EXPECT_TRUE(dialogs.Requests().empty());
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_FALSE(cv::ProceedIfLittleDiskSpace(dir.path(), int64_t(1) << 62));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ProceedIfLittleDiskSpace")});
}

TEST_F(DialogRoutines, WithoutErrorMessagesNothingIsShownAndFailuresAreKept)
{
    cv::Global_run_without_error_messages = true;
    cv::FailedToRead(QStringLiteral("/corpus/damaged.lst"));
    EXPECT_TRUE(cv::Global_FailureMessage.contains(QStringLiteral("damaged.lst")));
    cv::FailedToSave(QStringLiteral("/corpus/out.lst"));
    EXPECT_TRUE(cv::Global_FailureMessage.contains(QStringLiteral("out.lst"))) << "the latest failure is kept";
    EXPECT_TRUE(cv::EscapePressedWantToQuit()) << "questions take their default";
    EXPECT_FALSE(cv::OKToOverwrite(dir.write(QStringLiteral("e.txt"), "x")));
    EXPECT_EQ(cv::DoYouWantToSave(QString(), {}), TDialogAnswer::Yes);
    cv::SavedOK(QStringLiteral("/x/fine.lst"));
    EXPECT_TRUE(cv::Global_FailureMessage.contains(QStringLiteral("out.lst"))) << "a report is no failure";
    EXPECT_TRUE(dialogs.Requests().empty()) << "nothing reaches the screen";
}
