#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "model/chosen_files.h"
#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "ui/wordlist/dialogs/start_wizard.h"

namespace dialogs_test {
namespace {

class StartWizardTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        wizard = std::make_unique<cv::TFormStartWizardW>();
        wizard->fChosenFiles = &texts;
        wizard->show();
    }
    void TearDown() override
    {
        wizard.reset();
        DialogTest::TearDown();
    }
    void Choose(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            cv::TChosenTextRec rec;
            rec.FullFilename = Write(QString::fromLatin1(name), "some words");
            texts.AddRecord(rec);
        }
    }
    // What the wizard posted to the main window.
    std::vector<TPosted> Jobs()
    {
        Deliver();
        return toMainWindow;
    }

    cv::TSharedChosenFilesClass texts;
    std::unique_ptr<cv::TFormStartWizardW> wizard;
};

TEST_F(StartWizardTest, EachStartButtonPostsItsJobToTheMainWindowAndCloses)
{
    wizard->Make1ButtonClick();
    EXPECT_EQ(wizard->result(), cv::kModalOK);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 0, 0}}));

    toMainWindow.clear();
    wizard->show();
    wizard->MakeBatchButtonClick();
    EXPECT_EQ(wizard->result(), cv::kModalOK);
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 1, 0}}));
}

TEST_F(StartWizardTest, AnIndexIsStartedUnderItsTypesFileName)
{
    wizard->ElFileNameEditIndex->SetText(dir.file(QStringLiteral("corpus.tokens")));
    wizard->ButtonIndexClick();
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), dir.file(QStringLiteral("corpus.types")));
    EXPECT_EQ(wizard->result(), cv::kModalOK);
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 0, 23}}));
}

TEST_F(StartWizardTest, TheIndexPickerFillsTheFieldAndEnterThereStartsNothing)
{
    Choose({"a.txt"});
    cv::SetLastUsedFile(cv::kListIndexWordList, QStringLiteral("older.types"));
    wizard->hide();
    wizard->show();
    ASSERT_EQ(wizard->ElFileNameEditIndex->Text(), QStringLiteral("older.types"));
    // "..." chooses a name; the wizard is then refreshed, as it is each
    // time it is activated again after the file dialog.
    const QString chosen = dir.file(QStringLiteral("mine.tokens"));
    wizard->ElFileNameEditIndex->SetChooser([&](const cv::TFileNameEdit&) { return QStringList{chosen}; });
    wizard->ElFileNameEditIndex->Browse();
    wizard->UpdateWizardDisplay();
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(wizard.get(), &activation);
    EXPECT_EQ(wizard->ElFileNameEditIndex->Text(), chosen);
    // Enter in the field it filled starts no index.
    QLineEdit* field = wizard->ElFileNameEditIndex->LineEdit();
    EXPECT_EQ(wizard->focusWidget(), field);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(field, &press);
    }
    EXPECT_TRUE(Jobs().empty());
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), QStringLiteral("older.types"));
    // Its button starts it, under the name chosen.
    wizard->ButtonIndex->click();
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 0, 23}}));
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), dir.file(QStringLiteral("mine.types")));
}

// The index name chosen is kept over a restart: the controller is told to
// write its ini file, which holds the name ("Recent/Index").
TEST_F(StartWizardTest, TheIndexNameChosenIsToldToTheControllerToKeep)
{
    wizard->ElFileNameEditIndex->SetText(dir.file(QStringLiteral("kept.tokens")));
    wizard->ButtonIndexClick();
    Deliver();
    ASSERT_EQ(toController.size(), 1u);
    EXPECT_EQ(CodeOf(toController[0]), cv::kCodeSettingsChangedInTool);
}

TEST_F(StartWizardTest, WithoutAnIndexNameTheWizardStaysOpenAndPostsNothing)
{
    cv::SetLastUsedFile(cv::kListIndexWordList, QStringLiteral("kept.types"));
    wizard->ElFileNameEditIndex->SetText(QStringLiteral("  "));
    wizard->ButtonIndexClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ProvideAFilenameOrCancel")});
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->result(), cv::kModalNone);
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), QStringLiteral("kept.types"));
    EXPECT_TRUE(Jobs().empty());
}

TEST_F(StartWizardTest, DetailedConsistencyListsTheWordListsFirstOneLastAndPostsJob4)
{
    wizard->ButtonComputeConsistencyClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoFilesSelected")});
    EXPECT_TRUE(Jobs().empty());

    wizard->ElFileNameEditDetailedC->SetChooser([](const cv::TFileNameEdit&) {
        return QStringList{QStringLiteral("/w/first.lst"), QStringLiteral("/w/second.lst"), QStringLiteral("/w/third.lst")};
    });
    wizard->ElFileNameEditDetailedC->Browse();
    EXPECT_EQ(wizard->GetDetailedConsistencyFiles(),
              (QStringList{QStringLiteral("/w/second.lst"), QStringLiteral("/w/third.lst"), QStringLiteral("/w/first.lst")}));
    EXPECT_TRUE(wizard->ButtonComputeConsistency->isEnabled());

    wizard->ButtonComputeConsistencyClick();
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 1, 4}}));
}

TEST_F(StartWizardTest, OneWordListIsEnoughForConsistencyOnlyWhenItIsAZip)
{
    wizard->ElFileNameEditDetailedC->SetText(QStringLiteral("/w/one.lst"));
    wizard->ElFileNameEditDetailedCDialogExecute({QStringLiteral("/w/one.lst")});
    EXPECT_FALSE(wizard->ButtonComputeConsistency->isEnabled());
    EXPECT_FALSE(wizard->AdvGlowButtonUp->isEnabled());

    wizard->ElFileNameEditDetailedC->SetText(QStringLiteral("/w/Batch.ZIP"));
    wizard->ElFileNameEditDetailedCDialogExecute({QStringLiteral("/w/Batch.ZIP")});
    EXPECT_TRUE(wizard->ButtonComputeConsistency->isEnabled());
    EXPECT_TRUE(wizard->AdvGlowButtonDown->isEnabled());
}

TEST_F(StartWizardTest, TheArrowsMoveTheSelectedWordListWithinTheList)
{
    wizard->ElFileNameEditDetailedCDialogExecute({QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")});
    ASSERT_EQ(wizard->GetDetailedConsistencyFiles(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));

    wizard->StyledListboxDC->setCurrentRow(0);
    wizard->SpeedButtonUpDownClick(-1); // the first cannot go up
    wizard->StyledListboxDC->setCurrentRow(2);
    wizard->SpeedButtonUpDownClick(1); // the last cannot go down
    EXPECT_EQ(wizard->GetDetailedConsistencyFiles(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));

    wizard->SpeedButtonUpDownClick(-1);
    EXPECT_EQ(wizard->GetDetailedConsistencyFiles(), (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")}));
    EXPECT_EQ(wizard->StyledListboxDC->currentRow(), 1);
    wizard->AdvGlowButtonUp->click();
    EXPECT_EQ(wizard->GetDetailedConsistencyFiles(), (QStringList{QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")}));

    wizard->StyledListboxDC->setCurrentRow(-1);
    wizard->SpeedButtonUpDownClick(1); // nothing selected
    EXPECT_EQ(wizard->GetDetailedConsistencyFiles().first(), QStringLiteral("c"));
}

TEST_F(StartWizardTest, PlainTextListsNeedAFolderThatExistsOrIsMade)
{
    wizard->ButtonWLFromTextClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FormNotFilled")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(cv::CVSelectFolder.toString()));

    const QString folder = dir.file(QStringLiteral("new/lists"));
    wizard->ElFolderNameEditSaveTextFileWordlists->SetText(folder);
    dialogs.Clear();
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    wizard->ButtonWLFromTextClick();
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("CreateFolderYesNo"), QStringLiteral("FormNotFilled")}));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_TRUE(Jobs().empty());

    dialogs.Clear();
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    wizard->ButtonWLFromTextClick();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(wizard->result(), cv::kModalOK);
    EXPECT_EQ(Jobs(), (std::vector<TPosted>{{cv::kMsgMakeList, 0, 22}}));
}

TEST_F(StartWizardTest, TheImportChoicesAreTheAdvancedPagesFields)
{
    EXPECT_FALSE(wizard->ButtonWLFromText->isEnabled());
    wizard->ElFileNameEditWLFromText->SetChooser(
        [](const cv::TFileNameEdit&) { return QStringList{QStringLiteral("/t/a b.txt"), QStringLiteral("/t/c.txt")}; });
    wizard->ElFileNameEditWLFromText->Browse();
    EXPECT_TRUE(wizard->ButtonWLFromText->isEnabled());
    wizard->ElCheckBoxImportCaseSensitive->setChecked(true);
    wizard->AdvSpinEditWordColumn->setValue(3);
    wizard->AdvSpinEditFreqColumn->setValue(1);
    wizard->ElFolderNameEditSaveTextFileWordlists->SetText(QStringLiteral("/out "));
    wizard->ElMemoNotesTextFileWordlists->setPlainText(QStringLiteral("from the web"));

    const cv::TPlainTextImportChoices c = wizard->PlainTextImportChoices();
    EXPECT_EQ(c.files, (QStringList{QStringLiteral("/t/a b.txt"), QStringLiteral("/t/c.txt")}));
    EXPECT_TRUE(c.caseSensitive);
    EXPECT_EQ(c.wordColumn, 3);
    EXPECT_EQ(c.freqColumn, 1);
    EXPECT_EQ(c.saveFolder, QStringLiteral("/out"));
    EXPECT_EQ(c.notes, QStringLiteral("from the web"));
}

TEST_F(StartWizardTest, TheTextsGroupFollowsTheChosenTexts)
{
    wizard->UpdateWizardDisplay();
    EXPECT_FALSE(wizard->GroupBoxIndex->isEnabled());
    // No texts: nothing to make a list of, the buttons say so by being grey.
    EXPECT_FALSE(wizard->Make1Button->isEnabled());
    EXPECT_FALSE(wizard->MakeBatchButton->isEnabled());
    EXPECT_EQ(wizard->LabelTexts->text(), cv::Format(cv::CVChooseTextsStr, {cv::CVWordList}));
    EXPECT_EQ(wizard->ChooseTextsButton->text(), cv::CVChooseTextsNow.toString());

    Choose({"only.txt"});
    wizard->UpdateWizardDisplay();
    EXPECT_TRUE(wizard->GroupBoxIndex->isEnabled());
    EXPECT_TRUE(wizard->Make1Button->isEnabled());
    EXPECT_TRUE(wizard->MakeBatchButton->isEnabled());
    EXPECT_EQ(wizard->LabelTexts->text(), QStringLiteral("You have 1 text chosen: only.txt"));
    EXPECT_EQ(wizard->LabelWL1->text(), cv::Format(cv::CVMakeAFile2, {cv::CVWordList, QStringLiteral("only.txt")}));
    EXPECT_EQ(wizard->ChooseTextsButton->text(), cv::CVChangeSelection.toString());

    Choose({"two.txt", "three.txt"});
    wizard->UpdateWizardDisplay();
    EXPECT_EQ(wizard->LabelTexts->text(), cv::Format(cv::CVYouHaveNTextsChosen, {3.0}));
    EXPECT_EQ(wizard->LabelWL1->text(), cv::Format(cv::CVYOucanMake, {cv::CVWordList}));

    // The index group is only refreshed while the main page shows.
    texts.ClearThem();
    wizard->PageControl1->setCurrentWidget(wizard->TabSheetAdvanced);
    wizard->UpdateWizardDisplay();
    EXPECT_TRUE(wizard->GroupBoxIndex->isEnabled());
}

TEST_F(StartWizardTest, RequestsToTheControllerCarryTheirCodes)
{
    wizard->ChooseTextsButtonClick();
    EXPECT_EQ(cv::GetActiveChildToolWindow(cv::kToolWordList), wizard->WindowHandle());
    wizard->AdvGlowButtonDetConsSettingsClick();
    wizard->ElPopupButtonChangeLanguageClick();
    Deliver();
    ASSERT_EQ(toController.size(), 3u);
    EXPECT_EQ(CodeOf(toController[0]), cv::kCodeChooseTexts);
    EXPECT_EQ(CodeOf(toController[1]), 66);
    EXPECT_EQ(CodeOf(toController[2]), 1230);
    for (const TPosted& p : toController) {
        EXPECT_EQ(p.msg, cv::kMsgControllerCommand);
        EXPECT_EQ(cv::ToolOfWParam(p.wparam), cv::kToolWordList);
    }

    // Hidden, it is no longer the tool's window for the controller.
    wizard->hide();
    EXPECT_EQ(cv::GetActiveChildToolWindow(cv::kToolWordList), 0u);
}

} // namespace
} // namespace dialogs_test
