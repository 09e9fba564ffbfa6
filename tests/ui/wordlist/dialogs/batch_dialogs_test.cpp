#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include "model/holder_parts.h"
#include "suite/cv_format.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"
#include "ui/wordlist/dialogs/batch_dialogs.h"

namespace dialogs_test {
namespace {

using cv::Global_BatchProcedures;

TEST(BatchFolderName, YearMonthDayAtHoursMinutes)
{
    const QDateTime when(QDate(2026, 12, 6), QTime(9, 5));
    EXPECT_EQ(cv::SuggestedBatchFolderName(when, QLocale(QLocale::English)), QStringLiteral("2026_Dec_06_at_09_05"));
    EXPECT_EQ(cv::SuggestedBatchFolderName(QDateTime(QDate(2027, 3, 1), QTime(23, 59)), QLocale(QLocale::German)),
              QStringLiteral("2027_März_01_at_23_59"));
}

class BatchSetupTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        setup = std::make_unique<cv::TFormBatchProcessSetup>();
        setup->FilesToProcess = 3;
        setup->TotalTextBytes = 1000;
    }
    void TearDown() override
    {
        setup.reset();
        DialogTest::TearDown();
    }
    QString Root() const { return dir.file(QStringLiteral("results")); }
    void ShowAndAim()
    {
        setup->show();
        setup->ElFolderNameEditBatch->SetText(Root());
    }

    std::unique_ptr<cv::TFormBatchProcessSetup> setup;
};

TEST_F(BatchSetupTest, ShowingSuggestsATimeStampedFolderAndTheRecordsMode)
{
    EXPECT_EQ(Global_BatchProcedures.mode, 0); // made at mode 0
    for (auto [mode, item] : {std::pair{0, 0}, {1, 0}, {2, 1}, {3, 2}}) {
        Global_BatchProcedures.mode = uint8_t(mode);
        setup->show();
        EXPECT_EQ(setup->RadioGroupTool->ItemIndex(), item) << mode;
        setup->hide();
    }
    setup->show();
    EXPECT_EQ(setup->ElFolderNameEditBatch->Text(), dir.path() + u'/' + setup->suggested_dir);
    EXPECT_TRUE(setup->suggested_dir.contains(QStringLiteral("_at_")));
    EXPECT_FALSE(setup->Ready);
    EXPECT_FALSE(setup->BatchBusy);
    EXPECT_FALSE(setup->CheckBoxMinimalProcessing->isVisible());
    EXPECT_EQ(setup->RadioGroupTool->title(), cv::Format(cv::CVZipfileX, {cv::CVWordList}));
}

TEST_F(BatchSetupTest, OKFillsTheBatchRecordAndMakesTheFolders)
{
    ShowAndAim();
    setup->CheckBoxKeepBoth->setChecked(false);
    setup->AdvOfficeCheckBoxPreserveDates->setChecked(true);
    Global_BatchProcedures.ZipShortFilename = QStringLiteral("old.zip");
    setup->ButtonOKClick();

    const cv::TBatchProceduresRec& b = Global_BatchProcedures;
    EXPECT_TRUE(setup->Ready);
    EXPECT_TRUE(setup->BatchBusy);
    EXPECT_EQ(b.BatchRootFolder, Root() + u'/');
    EXPECT_TRUE(QFileInfo(Root()).isDir());
    EXPECT_EQ(b.BatchRootCopyTo, Root() + QStringLiteral("/temp8632"));
    EXPECT_TRUE(QFileInfo(b.BatchRootCopyTo).isDir());
    EXPECT_TRUE(b.Zip_Too);
    EXPECT_TRUE(b.ZipToStream);
    EXPECT_TRUE(b.Preserve_FileDates);
    EXPECT_TRUE(b.Delete_Results_After_Zipping);
    EXPECT_TRUE(b.ZipShortFilename.isEmpty());
    EXPECT_EQ(b.Files_to_Process, 3);
    // No item was clicked: the batch runs as the first item shows.
    EXPECT_EQ(b.mode, 1);
    EXPECT_EQ(setup->LabelMessage->text(), cv::CVProcessing.toString());

    // The end of the batch takes the zipping folder away again when it is empty.
    setup->BatchOver();
    EXPECT_FALSE(QFileInfo::exists(b.BatchRootCopyTo));
    EXPECT_FALSE(setup->isVisible());
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicRun);
}

TEST_F(BatchSetupTest, KeepingBothAndNotZippingAreTakenAsChosen)
{
    ShowAndAim();
    setup->CheckBoxKeepBoth->setChecked(true);
    setup->CheckBoxZipToo->setChecked(false);
    setup->RadioGroupTool->Button(2)->click();
    EXPECT_EQ(Global_BatchProcedures.mode, 3);
    setup->ButtonOKClick();
    EXPECT_TRUE(setup->Ready);
    EXPECT_FALSE(Global_BatchProcedures.Delete_Results_After_Zipping);
    EXPECT_FALSE(Global_BatchProcedures.Zip_Too);
    EXPECT_EQ(Global_BatchProcedures.mode, 3);
    EXPECT_FALSE(QFileInfo::exists(Root() + QStringLiteral("/temp8632")));
}

TEST_F(BatchSetupTest, AFolderThatCannotBeMadeKeepsTheBatchFromStarting)
{
    setup->show();
    const QString blocked = Write(QStringLiteral("a-file"), "x");
    setup->ElFolderNameEditBatch->SetText(blocked + QStringLiteral("/sub"));
    setup->ButtonOKClick();
    EXPECT_FALSE(setup->Ready);
    EXPECT_FALSE(setup->BatchBusy);
    EXPECT_EQ(setup->LabelMessage->text(), cv::CVCloseOrTryAgain.toString());
    EXPECT_TRUE(setup->isVisible());
}

TEST_F(BatchSetupTest, AMissingTemporaryFolderIsReplacedByTheUsersChoiceOrStopsTheBatch)
{
    ShowAndAim();
    setup->TempZipFolder = dir.file(QStringLiteral("gone"));
    QStringList asked;
    QString answer;
    setup->ElFolderDialog1 = [&](const QString& title, const QString& prompt) {
        asked << title << prompt;
        return answer;
    };
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    setup->ButtonOKClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("OKToUseTempDirAsTempDrive")});
    EXPECT_EQ(asked, (QStringList{cv::CVSelect.toString(), cv::CVFolderForTempUse.toString()}));
    EXPECT_FALSE(setup->Ready);

    answer = dir.path();
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    setup->ButtonOKClick();
    EXPECT_TRUE(setup->Ready);
    EXPECT_EQ(setup->TempZipFolder, dir.path());
}

TEST_F(BatchSetupTest, StopHideAndOKWhileBusyEachRaiseTheCancelStateUpToThree)
{
    ShowAndAim();
    setup->ButtonOKClick();
    ASSERT_TRUE(setup->BatchBusy);

    setup->AdvGlowButtonStopClick();
    EXPECT_EQ(cv::global_panic_state.load(), 1);
    setup->ButtonOKClick(); // waits for the zip
    EXPECT_EQ(cv::global_panic_state.load(), 2);
    EXPECT_FALSE(setup->Ready);
    EXPECT_FALSE(setup->ButtonOK->isEnabled());
    EXPECT_EQ(setup->LabelMessage->text(), cv::CVWaitingForZip.toString());
    setup->hide();
    EXPECT_EQ(cv::global_panic_state.load(), 3);
    setup->AdvGlowButtonStopClick();
    EXPECT_EQ(cv::global_panic_state.load(), 3);
}

TEST_F(BatchSetupTest, TheBatchRecordsHooksShowTheProgressHere)
{
    ShowAndAim();
    setup->ButtonOKClick();
    cv::TBatchProceduresRec& b = Global_BatchProcedures;
    ASSERT_TRUE(b.OnBatchFileNameAndMaxN && b.OnProgressing && b.OnAddingToZip && b.OnZippingASection && b.OnZipProgress);

    b.OnBatchFileNameAndMaxN(Root() + QStringLiteral("/texts"), QStringLiteral("texts"), 7);
    EXPECT_FALSE(setup->ButtonOK->isEnabled());
    EXPECT_TRUE(setup->AdvGlowButtonStop->isEnabled());
    EXPECT_FALSE(setup->RadioGroupTool->isEnabled());
    EXPECT_EQ(b.Files_to_Process, 7);
    EXPECT_EQ(setup->PCProgressBarBatch->maximum(), 7);
    EXPECT_TRUE(setup->LabelMessage->text().startsWith(QStringLiteral("texts\n")));
    EXPECT_TRUE(b.ZipShortFilename.isEmpty()); // the batch's own zip name is left alone

    b.OnProgressing(4, 7);
    EXPECT_EQ(setup->PCProgressBarBatch->value(), 4);
    EXPECT_EQ(setup->LabelMessage->text(), cv::Format(cv::CVNInBatch, {4}));
    b.OnAddingToZip(QStringLiteral("a.lst"));
    b.OnAddingToZip(QStringLiteral("b.lst"));
    EXPECT_EQ(setup->files_added, 2);
    // Zipping shows which file of how many goes into the zip, and how far it is.
    b.OnZippingASection(3, 10, true);
    EXPECT_EQ(setup->LabelMessage->text(), QStringLiteral("Processing zip file (3 / 10)"));
    EXPECT_EQ(setup->PCProgressBarBatch->maximum(), 10);
    EXPECT_EQ(setup->PCProgressBarBatch->value(), 3);
    b.OnZippingASection(10, 10, true);
    EXPECT_EQ(setup->PCProgressBarBatch->value(), 10);
    // A section of texts being processed.
    b.OnZippingASection(1, 7, false);
    EXPECT_EQ(setup->LabelMessage->text(), QStringLiteral("Processing (1 - 7)"));
    EXPECT_EQ(setup->PCProgressBarBatch->value(), 1);

    // Gone, the window is no longer called.
    setup.reset();
    EXPECT_FALSE(b.OnProgressing);
    EXPECT_FALSE(b.OnBatchFileNameAndMaxN);
}

// ---------------------------------------------------------------------------

class BatchChooseTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        choose = std::make_unique<cv::TFormBatchChoose>();
        choose->fOnOpenBatchFile = [this](cv::TStream& s, const cv::TCheckSignature& sig, int index) {
            EXPECT_EQ(s.Position(), 0);
            EXPECT_EQ(sig.ToolSignature, cv::CurrentToolSignature());
            opened.push_back(index);
            return openSucceeds;
        };
    }
    void TearDown() override
    {
        choose.reset();
        DialogTest::TearDown();
    }
    // A saved result of a tool: its signature and some bytes.
    static std::vector<uint8_t> Result(uint8_t tool = cv::kToolWordList)
    {
        cv::TCheckSignature sig;
        sig.SetForSaving(cv::kListWordList, 1, cv::ListTypeSignature(cv::kListWordList));
        sig.ToolSignature = cv::MakeToolSignature(tool);
        cv::TMemoryStream s;
        sig.SaveToStream(s);
        s.Write("payload", 7);
        return s.Bytes();
    }
    QString Zip(const std::vector<std::pair<QString, std::vector<uint8_t>>>& entries)
    {
        const QString name = dir.file(QStringLiteral("batch.zip"));
        cv::TZipArchive zip;
        EXPECT_TRUE(zip.CreateArchive(name));
        for (const auto& [entry, bytes] : entries)
            EXPECT_TRUE(zip.AddFromBuffer(entry, bytes));
        zip.CloseArchive();
        return name;
    }
    bool List(const QString& zip)
    {
        cv::TCVStored_File_rec rec;
        rec.FileName = zip;
        return choose->OpenAZipAndChoose(rec);
    }
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(choose->ListBox1, &event);
    }

    std::unique_ptr<cv::TFormBatchChoose> choose;
    std::vector<int> opened;
    bool openSucceeds = true;
};

TEST_F(BatchChooseTest, TheZipsEntriesAreListedAndTheSelectedOneOpens)
{
    ASSERT_TRUE(List(Zip({{QStringLiteral("a.lst"), Result()}, {QStringLiteral("b.lst"), Result()}})));
    EXPECT_TRUE(choose->isVisible());
    EXPECT_EQ(choose->windowTitle(), cv::Format(cv::CVBasedOnNmanyFiles, {2}));
    ASSERT_EQ(choose->ListBox1->count(), 2);
    EXPECT_EQ(choose->ListBox1->item(1)->text(), QStringLiteral("b.lst"));

    EXPECT_FALSE(choose->OpenSelected()); // nothing selected
    choose->ListBox1->setCurrentRow(1);
    EXPECT_EQ(choose->StatusBar1->currentMessage(), QStringLiteral("2 b.lst"));
    EXPECT_TRUE(choose->OpenSelected());
    EXPECT_EQ(opened, std::vector<int>{1});
    EXPECT_EQ(choose->fopen_file_num, 1);

    openSucceeds = false;
    choose->ListBox1->setCurrentRow(0);
    EXPECT_FALSE(choose->OpenSelected());
    EXPECT_EQ(choose->fopen_file_num, 1);
}

TEST_F(BatchChooseTest, OnlyWholeResultsOfThisToolAreHandedOn)
{
    const std::vector<uint8_t> full = Result();
    List(Zip({{QStringLiteral("empty.lst"), {}},
              {QStringLiteral("short.lst"), std::vector<uint8_t>(full.begin(), full.begin() + 40)},
              {QStringLiteral("other.cnc"), Result(cv::kToolConcordance)},
              {QStringLiteral("good.lst"), full}}));
    for (int row = 0; row < 4; ++row) {
        choose->ListBox1->setCurrentRow(row);
        choose->OpenSelected();
    }
    EXPECT_EQ(opened, std::vector<int>{3});
    EXPECT_FALSE(List(Zip({})));
}

TEST_F(BatchChooseTest, PlusAndMinusStepThroughTheListRoundTheEnds)
{
    List(Zip({{QStringLiteral("a.lst"), Result()}, {QStringLiteral("b.lst"), Result()}, {QStringLiteral("c.lst"), Result()}}));
    choose->ListBox1->setCurrentRow(2);
    Press(Qt::Key_Plus);
    EXPECT_EQ(opened, (std::vector<int>{2, 0}));
    Press(Qt::Key_6, Qt::KeypadModifier);
    EXPECT_EQ(opened, (std::vector<int>{2, 0, 0, 1}));
    opened.clear();
    choose->ListBox1->setCurrentRow(0);
    Press(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(opened, (std::vector<int>{0, 2}));
    Press(Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(opened, (std::vector<int>{0, 2, 2, 1}));
    // A plain 6 is no step.
    opened.clear();
    Press(Qt::Key_6);
    EXPECT_TRUE(opened.empty());
}

TEST_F(BatchChooseTest, TheOpenedEntryCanBeDeletedFromTheZip)
{
    const QString zip = Zip({{QStringLiteral("a.lst"), Result()}, {QStringLiteral("b.lst"), Result()}});
    List(zip);
    EXPECT_FALSE(choose->DeletedCurrentFromZip()); // none opened yet
    choose->ListBox1->setCurrentRow(0);
    ASSERT_TRUE(choose->OpenSelected());
    EXPECT_TRUE(choose->DeletedCurrentFromZip());
    cv::TZipArchive check;
    ASSERT_TRUE(check.OpenArchive(zip));
    EXPECT_EQ(check.EntryNames(), QStringList{QStringLiteral("b.lst")});
    ASSERT_EQ(choose->ListBox1->count(), 1);
    EXPECT_EQ(choose->ListBox1->item(0)->text(), QStringLiteral("b.lst"));
    EXPECT_FALSE(choose->DeletedCurrentFromZip());
}

TEST_F(BatchChooseTest, AListOfSavedFilesOpensEachFile)
{
    const std::vector<uint8_t> bytes = Result();
    const QString a = Write(QStringLiteral("one.lst"), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    ASSERT_TRUE(choose->ShowListOfTextsAndChoose({a, dir.file(QStringLiteral("missing.lst"))}));
    EXPECT_EQ(choose->windowTitle(), cv::CVResults.toString());
    EXPECT_EQ(choose->ListBox1->item(0)->text(), QStringLiteral("one.lst"));
    choose->ListBox1->setCurrentRow(1);
    EXPECT_FALSE(choose->OpenSelected());
    choose->ListBox1->setCurrentRow(0);
    EXPECT_TRUE(choose->OpenSelected());
    EXPECT_EQ(opened, std::vector<int>{0});
}

} // namespace
} // namespace dialogs_test
