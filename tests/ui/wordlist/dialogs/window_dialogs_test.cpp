// The dialogs installed in the word-list window, as the program installs them.
#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include "crashreport/core/options/crashbox_options.h"
#include "model/chosen_files.h"
#include "model/stats_list.h"
#include "ui/framework/grid_dialogs/auto_join_dialog.h"
#include "ui/wordlist/dialogs/batch_dialogs.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/relationship_choices.h"
#include "ui/wordlist/dialogs/start_wizard.h"
#include "ui/wordlist/views/extra_details.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/wordlist_holder.h"

namespace dialogs_test {
namespace {

class WindowDialogsTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
        window = std::make_unique<cv::TFormWordList>(nullptr, cv::TMainToolsFormOptions{false, 0});
        jobChoices = std::make_unique<cv::TDialogJobChoices>(window.get());
        commandChoices = std::make_unique<cv::TDialogCommandChoices>(*jobChoices, others);
        window->SetJobChoices(jobChoices.get());
        window->SetCommandChoices(commandChoices.get());
    }
    void TearDown() override
    {
        commandChoices.reset();
        jobChoices.reset();
        window.reset();
        cv::DeactivateCrashbox();
        DialogTest::TearDown();
    }
    void Choose(std::initializer_list<std::pair<const char*, const char*>> texts)
    {
        for (const auto& [name, content] : texts)
            ASSERT_TRUE(window->ChosenTexts->ToolAddAFile(Write(QString::fromLatin1(name), content)));
    }
    // Lets a job the wizard asked for run.
    void RunPostedJob()
    {
        Deliver();
        ASSERT_FALSE(window->JobRunning());
        Deliver();
    }

    cv::TFixedCommandChoices others;
    std::unique_ptr<cv::TFormWordList> window;
    std::unique_ptr<cv::TDialogJobChoices> jobChoices;
    std::unique_ptr<cv::TDialogCommandChoices> commandChoices;
    TModalUser modal;
};

TEST_F(WindowDialogsTest, TheWizardsWordListButtonMakesTheWordListInTheWindow)
{
    Choose({{"a.txt", "the cat and the dog"}, {"b.txt", "a dog"}});
    QString shownTexts;
    modal.act = [&](QDialog& d) {
        auto& wizard = dynamic_cast<cv::TFormStartWizardW&>(d);
        shownTexts = wizard.LabelTexts->text();
        wizard.Make1Button->click();
    };
    window->ShowWizardForChosenTexts(window->ChosenTexts.get());
    EXPECT_TRUE(shownTexts.contains(QStringLiteral("2")));
    RunPostedJob();

    ASSERT_NE(window->WordlistDocument(), nullptr);
    const cv::TCVWordList* words = window->WordlistDocument()->WordlistOfType(cv::kListWordList);
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->Count(), 5);
}

TEST_F(WindowDialogsTest, ABatchFromTheWizardIsSetUpZippedAndItsListsChosenOneByOne)
{
    Choose({{"a.txt", "one two two"}, {"b.txt", "three"}});
    modal.act = [](QDialog& d) { dynamic_cast<cv::TFormStartWizardW&>(d).MakeBatchButton->click(); };
    window->ShowWizardForChosenTexts(window->ChosenTexts.get());

    // The user presses OK once the set-up shows.
    cv::TFormBatchProcessSetup& setup = jobChoices->BatchSetup();
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, &setup, [&] {
        if (setup.isVisible() && !setup.Ready && !setup.BatchBusy) {
            press.stop();
            setup.ButtonOKClick();
        }
    });
    press.start(5);
    RunPostedJob();

    const QString root = cv::Global_BatchProcedures.BatchRootFolder;
    EXPECT_TRUE(root.startsWith(dir.path() + u'/'));
    EXPECT_TRUE(root.contains(QStringLiteral("_at_")));
    EXPECT_FALSE(setup.isVisible());
    cv::TFormBatchChoose& choose = jobChoices->BatchChoose();
    ASSERT_TRUE(choose.isVisible()) << dialogs.Routines().join(u',').toStdString();
    ASSERT_EQ(choose.ListBox1->count(), 2);

    choose.ListBox1->setCurrentRow(0);
    ASSERT_TRUE(choose.OpenSelected());
    Deliver();
    ASSERT_NE(window->WordlistDocument(), nullptr);
    const cv::TCVWordList* words = window->WordlistDocument()->WordlistOfType(cv::kListWordList);
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->Count(), 2); // "one two two"
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("# 1")));
}

TEST_F(WindowDialogsTest, TheCommandDialogsAnswerTheWindowsQuestions)
{
    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TFormClusterChoices&>(d);
        dialog.AdvOfficeRadioButtonTextFile->setChecked(true);
        dialog.ElFileNameEditPlainTextFile->SetText(Write(QStringLiteral("w.txt"), "red\nblue\n"));
        dialog.ButtonOKClick();
    };
    cv::TClusterChoice clusters;
    ASSERT_TRUE(window->CommandChoices().ChooseClusters(false, clusters));
    EXPECT_EQ(clusters.wordChoice, cv::kIndexProcessTextFile);
    EXPECT_EQ(clusters.words, (QStringList{QStringLiteral("red"), QStringLiteral("blue")}));

    QString named;
    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TFormMIChoices&>(d);
        named = dialog.ElRadioButtonSelectedWords->text();
        dialog.ElRadioButtonSpecificCharacters->setChecked(true);
        dialog.ElEditStartChar->setText(QStringLiteral("c"));
        dialog.ElEditEndChar->setText(QStringLiteral("f"));
        dialog.ButtonOKClick();
    };
    cv::TRelationshipChoice relationships;
    ASSERT_TRUE(window->CommandChoices().ChooseRelationships(QStringLiteral("cat"), true, relationships));
    EXPECT_EQ(named, QStringLiteral("selected (cat)"));
    EXPECT_EQ(relationships.processSelection, cv::kIndexProcessCharacterRange);
    EXPECT_EQ(relationships.startChar, QChar(u'C'));
    EXPECT_EQ(relationships.endChar, QChar(u'F'));

    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TFormIndexExport&>(d);
        dialog.ElFileNameEdit1->SetText(dir.file(QStringLiteral("export.txt")));
        dialog.ElEditWordToSeek->setText(QStringLiteral(" cat "));
        dialog.ElCheckBoxExportSentenceLengths->setChecked(true);
        dialog.ElPopupButtonOKClick();
    };
    cv::TIndexExportChoice exportChoice;
    ASSERT_TRUE(window->CommandChoices().ChooseIndexExport(exportChoice));
    EXPECT_EQ(exportChoice.fileName, dir.file(QStringLiteral("export.txt")));
    EXPECT_EQ(exportChoice.word, QStringLiteral("cat"));
    EXPECT_TRUE(exportChoice.sentenceLengths);

    // Closed without OK, each answers no.
    modal.act = nullptr;
    bool smaller = false;
    EXPECT_FALSE(window->CommandChoices().ChooseJoinClusters(smaller));
    EXPECT_FALSE(window->CommandChoices().ChooseClusters(true, clusters));
    // The auto-join dialog of the grid dialogs answers with the typed affixes.
    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TAutoJoinDlg&>(d);
        dialog.ElEdit1->setText(QStringLiteral("*ing;un*"));
        dialog.ConfirmCheckBox->setChecked(true);
        dialog.ButtonOKClick();
    };
    cv::TAutoJoinChoice autoJoin;
    ASSERT_TRUE(window->CommandChoices().ChooseAutoJoin(autoJoin));
    ASSERT_EQ(autoJoin.affixes.size(), 2u);
    EXPECT_EQ(autoJoin.affixes[0].text, QStringLiteral("ing"));
    EXPECT_EQ(autoJoin.affixes[1].text, QStringLiteral("un"));
    EXPECT_TRUE(autoJoin.confirmEach);
    EXPECT_EQ(others.autoJoinShown, 0);
}

TEST_F(WindowDialogsTest, TheViewWindowsAnswerOnceTheProgramGivesThem)
{
    // Without view windows the other choices are asked.
    cv::TCVStatsList texts(nullptr, 0);
    const QString plotFile = dir.file(QStringLiteral("none.plotdata"));
    window->CommandChoices().ShowWordFrequenciesPerText({QStringLiteral("cat")}, texts);
    EXPECT_TRUE(window->CommandChoices().OpenMovingWindowPlot(plotFile));
    EXPECT_EQ(others.wordFrequenciesShown, 1);
    EXPECT_EQ(others.plotsOpened, QStringList{plotFile});

    cv::TViewWindows views(window.get());
    commandChoices->SetViewWindows(&views);
    window->CommandChoices().ShowWordFrequenciesPerText({QStringLiteral("cat")}, texts);
    EXPECT_NE(views.ExtraDetails(), nullptr);
    // A plot file that is not there opens no plot.
    EXPECT_FALSE(window->CommandChoices().OpenMovingWindowPlot(plotFile));
    EXPECT_EQ(others.wordFrequenciesShown, 1);
    EXPECT_EQ(others.plotsOpened.size(), 1);
}

TEST_F(WindowDialogsTest, ARelationWordFileChosenWithoutLoadingItIsTheOneTheComputationLoads)
{
    const QString file = Write(QStringLiteral("rel.txt"), "house\n");
    modal.act = [&](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TFormMIChoices&>(d);
        dialog.ElRadioButtonPLainTextFile->setChecked(true);
        dialog.ElFileNameEditPlainTextFile->SetText(file);
        dialog.ElRadioGroupRelation->SetItemIndex(1);
        dialog.ButtonOKClick();
    };
    cv::TRelationshipChoice choice;
    ASSERT_TRUE(window->CommandChoices().ChooseRelationships(QString(), false, choice));
    EXPECT_EQ(choice.wordFile, file);
    EXPECT_EQ(cv::GetLemmaMatchStopFilename(cv::kToolWordList, 3), file);
    EXPECT_EQ(cv::GetRelationMatchWanted(cv::kToolWordList), 1);
}

} // namespace
} // namespace dialogs_test
