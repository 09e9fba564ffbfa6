#include "dialogs_testutil.h"

#include <QFileInfo>
#include <QListWidget>
#include <QSettings>
#include <QTimer>

#include "model/chosen_files.h"
#include "model/check_signature.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"
#include "ui/wordlist/dialogs/batch_dialogs.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/start_wizard.h"

namespace dialogs_test {
namespace {

class DialogJobChoicesTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        owner = std::make_unique<QWidget>();
        choices = std::make_unique<cv::TDialogJobChoices>(owner.get());
    }
    void TearDown() override
    {
        choices.reset();
        owner.reset();
        DialogTest::TearDown();
    }

    std::unique_ptr<QWidget> owner;
    std::unique_ptr<cv::TDialogJobChoices> choices;
    TModalUser modal;
};

TEST_F(DialogJobChoicesTest, TheIndexChoiceStoresTheIndexAndItsOpeningMode)
{
    const QString tokens = Write(QStringLiteral("corpus.tokens"), "t");
    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TFormIndexChoices&>(d);
        dialog.ElFileNameEditIndexname->SetText(tokens);
        dialog.RadioGroupOptions->SetItemIndex(2);
        dialog.ButtonOKClick();
    };
    uint8_t mode = 9;
    ASSERT_TRUE(choices->ChooseIndex(mode));
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), tokens);

    modal.act = nullptr; // closed without OK
    mode = 9;
    EXPECT_FALSE(choices->ChooseIndex(mode));
    EXPECT_EQ(mode, 9);
    EXPECT_EQ(modal.runs, 2);
}

TEST_F(DialogJobChoicesTest, TheBatchSetUpIsWaitedForUntilItIsReady)
{
    cv::TFormBatchProcessSetup& setup = choices->BatchSetup();
    QTimer::singleShot(0, &setup, [&] {
        setup.ElFolderNameEditBatch->SetText(dir.file(QStringLiteral("batch")));
        setup.ButtonOKClick();
    });
    EXPECT_TRUE(choices->BatchSetupReady(4, 4096));
    EXPECT_EQ(setup.FilesToProcess, 4);
    EXPECT_EQ(setup.TotalTextBytes, 4096);
    EXPECT_EQ(cv::Global_BatchProcedures.BatchRootFolder, dir.file(QStringLiteral("batch/")));
    EXPECT_TRUE(setup.isVisible()); // it shows the batch's progress

    choices->HideBatchSetup();
    EXPECT_FALSE(setup.isVisible());
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicRun);
}

TEST_F(DialogJobChoicesTest, ClosingTheBatchSetUpCancelsTheBatch)
{
    cv::TFormBatchProcessSetup& setup = choices->BatchSetup();
    QTimer::singleShot(0, &setup, [&] { setup.close(); });
    EXPECT_FALSE(choices->BatchSetupReady(1, 10));
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicRun);
}

TEST_F(DialogJobChoicesTest, ABatchZipIsListedAndItsChosenEntryOpened)
{
    cv::TCheckSignature sig;
    sig.SetForSaving(cv::kListWordList, 1, cv::ListTypeSignature(cv::kListWordList));
    cv::TMemoryStream bytes;
    sig.SaveToStream(bytes);
    const QString zipName = dir.file(QStringLiteral("b.zip"));
    cv::TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(zipName));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("one.lst"), bytes.Bytes()));
    zip.CloseArchive();

    std::vector<int> opened;
    EXPECT_TRUE(choices->ChooseFromBatchZip(zipName, [&](cv::TStream&, const cv::TCheckSignature&, int index) {
        opened.push_back(index);
        return true;
    }));
    cv::TFormBatchChoose& choose = choices->BatchChoose();
    EXPECT_TRUE(choose.isVisible());
    choose.ListBox1->setCurrentRow(0);
    EXPECT_TRUE(choose.OpenSelected());
    EXPECT_EQ(opened, std::vector<int>{0});

    EXPECT_FALSE(choices->ChooseFromBatchZip(dir.file(QStringLiteral("none.zip")), {}));
}

TEST_F(DialogJobChoicesTest, TheWizardIsShownWithTheChosenTextsAndAnswersForTheJobs)
{
    cv::TCVFileDetails texts(false, {});
    choices->ShowStartWizard(&texts);
    EXPECT_EQ(modal.runs, 1);
    cv::TFormStartWizardW& wizard = choices->StartWizard();
    EXPECT_EQ(wizard.fChosenFiles, &texts);
    EXPECT_TRUE(wizard.fShown);

    // Already on screen, it is only brought forward.
    wizard.show();
    choices->ShowStartWizard(&texts);
    EXPECT_EQ(modal.runs, 1);

    wizard.ElFileNameEditDetailedCDialogExecute({QStringLiteral("/a.lst"), QStringLiteral("/b.lst")});
    EXPECT_EQ(choices->DetailedConsistencyFiles(), (QStringList{QStringLiteral("/b.lst"), QStringLiteral("/a.lst")}));
    wizard.ElFileNameEditWLFromText->SetFileNames({QStringLiteral("/p.txt")});
    EXPECT_EQ(choices->PlainTextImport().files, QStringList{QStringLiteral("/p.txt")});
}

TEST_F(DialogJobChoicesTest, TheCommandDialogsAreMadeOnceOnFirstUse)
{
    cv::TFormClusterChoices* first = &choices->ClusterChoices();
    EXPECT_EQ(&choices->ClusterChoices(), first);
    EXPECT_EQ(first->parentWidget(), owner.get());
    // The owner going first takes its dialogs along; nothing is freed twice.
    owner.reset();
    choices.reset();
}

TEST_F(DialogTest, ADialogComesBackWhereItWasLeft)
{
    {
        cv::TFormJoinClusters dialog;
        dialog.show();
        dialog.setGeometry(QRect(123, 145, 333, 222));
        dialog.hide();
    }
    cv::TFormJoinClusters again;
    again.show();
    EXPECT_EQ(again.size(), QSize(333, 222));
}

} // namespace
} // namespace dialogs_test
