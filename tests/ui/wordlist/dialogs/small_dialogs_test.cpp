#include "ui/wordlist/dialogs/column_edit_dialog.h"
#include "ui/wordlist/dialogs/compare_wordlists_dialog.h"
#include "ui/wordlist/dialogs/dialog_controls.h"
#include "ui/wordlist/dialogs/file_name_replace_dialog.h"
#include "ui/wordlist/dialogs/general_input_dialog.h"
#include "ui/wordlist/dialogs/language_change_dialog.h"
#include "ui/wordlist/dialogs/lemma_shower.h"
#include "ui/wordlist/dialogs/three_way_sort_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>

#include "dialogs_testutil.h"
#include "gui/cv_grid.h"
#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "suite/text_settings.h"
#include "ui/framework/list_editing.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "wordlist/word_list.h"

namespace dialogs_test {
namespace {

using SmallDialogsTest = DialogTest;

// A word list with its nine columns, sorted on column 2 descending then column 1.
std::unique_ptr<cv::TCVWordList> SortableList()
{
    auto list = std::make_unique<cv::TCVWordList>(nullptr, cv::kListWordList, 0);
    list->SetGridHeadings({"N", "Word", "Freq.", "%", "Texts", "%", "Dispersion", "Lemmas", "Set"});
    list->Set1Sort(0, list->HeaderColumnToSortNeeded(2));
    list->SetSortAscending(0, false);
    list->Set1Sort(1, list->HeaderColumnToSortNeeded(1));
    list->SetSortAscending(1, true);
    return list;
}

TEST_F(SmallDialogsTest, GeneralInputReadsItsValueAsAWholeNumber)
{
    cv::TGeneralInputDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Input"));
    EXPECT_TRUE(dialog.Value().isEmpty());
    EXPECT_FALSE(dialog.offering_alternatives);
    for (const auto& [text, n] : std::vector<std::pair<QString, int>>{{"12", 12}, {"12a", -1}, {"", -1}, {"0", 0}}) {
        dialog.SetValue(text);
        EXPECT_EQ(dialog.ValueAsInteger(), n) << text.toStdString();
    }

    TModalUser user;
    user.act = [](QDialog& d) {
        auto& input = dynamic_cast<cv::TGeneralInputDlg&>(d);
        EXPECT_TRUE(input.ElComboBox1->isVisible());
        EXPECT_FALSE(input.AdvGlowButtonOption1->isVisible());
        EXPECT_EQ(input.Value(), QStringLiteral("7"));
        input.SetValue(QStringLiteral("9"));
        input.ButtonOK->click();
    };
    EXPECT_TRUE(dialog.Execute(QStringLiteral("How many?"), 7, 1322));
    EXPECT_EQ(dialog.Prompt(), QStringLiteral("How many?"));
    EXPECT_EQ(dialog.HelpContext(), 1322);
    EXPECT_EQ(dialog.ValueAsInteger(), 9);
    user.act = nullptr;
    EXPECT_FALSE(dialog.Execute(QStringLiteral("again"), QStringLiteral("x"), 0));
}

TEST_F(SmallDialogsTest, AlternativesShowTheirButtonsInsteadOfTheValue)
{
    cv::TGeneralInputDlg dialog;
    dialog.offering_alternatives = true;
    dialog.BotaoPressed = 5;
    TModalUser user;
    user.act = [](QDialog& d) {
        auto& input = dynamic_cast<cv::TGeneralInputDlg&>(d);
        EXPECT_EQ(input.BotaoPressed, 0);
        EXPECT_TRUE(input.AdvGlowButtonOption2->isVisible());
        EXPECT_FALSE(input.ElComboBox1->isVisible());
        EXPECT_FALSE(input.ButtonOK->isVisible());
        input.AdvGlowButtonOption2->click();
    };
    EXPECT_TRUE(dialog.GetAlternative(QStringLiteral("Which?"), 0));
    EXPECT_EQ(dialog.BotaoPressed, 2);
}

TEST_F(SmallDialogsTest, LanguageChoiceSelectsTheCurrentLanguageAndTellsTheController)
{
    cv::TTextSettings text = cv::GetTextSettings();
    text.SetLanguageName(QStringLiteral("French"));
    cv::SetTextSettings(text);
    cv::TFormLangChange dialog;
    dialog.SetAlternatives(QStringLiteral("English\tFrench\tGerman"));
    EXPECT_EQ(dialog.AdvComboBox1->count(), 3);
    EXPECT_EQ(dialog.AdvComboBox1->currentIndex(), 1);
    dialog.SetCurrentLangTo(QStringLiteral("French"));
    EXPECT_EQ(dialog.AdvEdit1->text(), QStringLiteral("French"));

    dialog.AdvComboBox1->setCurrentIndex(2);
    dialog.ElPopupButtonChangeClick();
    Deliver();
    ASSERT_EQ(toController.size(), 1u);
    EXPECT_EQ(CodeOf(toController[0]), 1230);
    EXPECT_EQ(toController[0].lparam, 2);

    // A language that is not offered selects nothing.
    text.SetLanguageName(QStringLiteral("Welsh"));
    cv::SetTextSettings(text);
    dialog.SetAlternatives(QStringLiteral("English\tFrench"));
    EXPECT_EQ(dialog.AdvComboBox1->currentIndex(), -1);
    EXPECT_EQ(dialog.HelpContext(), 5390);
}

TEST_F(SmallDialogsTest, FileNameReplacementLabelFollowsTheChoice)
{
    cv::TFormSearchAndReplaceFilename dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search and Replace -- filenames"));
    dialog.show();
    EXPECT_EQ(dialog.ElLabel1->text(), cv::CVPathAndFilename.toString());
    dialog.ElRadioGroup1->Button(1)->click();
    EXPECT_EQ(dialog.ElLabel1->text(), cv::CVFilename.toString());
    dialog.ElRadioGroup1->Button(0)->click();
    EXPECT_EQ(dialog.ElLabel1->text(), cv::CVPathToTheFile.toString());
    dialog.ElPopupButtonCancel->click();
    EXPECT_EQ(dialog.result(), cv::kModalCancel);
}

TEST_F(SmallDialogsTest, TheFrameworksLanguageAndFileNameQuestionsRunTheDialogs)
{
    TModalUser user;
    user.act = [](QDialog& d) {
        auto& lang = dynamic_cast<cv::TFormLangChange&>(d);
        EXPECT_EQ(lang.AdvEdit1->text(), QStringLiteral("English"));
        lang.AdvComboBox1->setCurrentIndex(1);
        lang.ElPopupButtonChange->click();
    };
    EXPECT_EQ(cv::RunLanguageChangeDialog(nullptr, {QStringLiteral("English"), QStringLiteral("Greek")},
                                          QStringLiteral("English")),
              std::optional<int>(1));
    Deliver();
    ASSERT_EQ(toController.size(), 1u);
    EXPECT_EQ(CodeOf(toController[0]), 1230);
    user.act = nullptr;
    EXPECT_FALSE(cv::RunLanguageChangeDialog(nullptr, {QStringLiteral("English")}, QString()));

    user.act = [](QDialog& d) {
        auto& names = dynamic_cast<cv::TFormSearchAndReplaceFilename&>(d);
        names.ElEditSearch->setText(QStringLiteral("C:/old"));
        names.ElEditReplacement->setText(QStringLiteral("/home/new"));
        names.ElPopupButtonOK->click();
    };
    const std::optional<cv::TFileNameReplacement> replacement = cv::RunFileNameReplaceDialog(nullptr);
    ASSERT_TRUE(replacement);
    EXPECT_EQ(replacement->search, QStringLiteral("C:/old"));
    EXPECT_EQ(replacement->replacement, QStringLiteral("/home/new"));
    user.act = [](QDialog& d) { dynamic_cast<cv::TFormSearchAndReplaceFilename&>(d).ElPopupButtonOK->click(); };
    EXPECT_FALSE(cv::RunFileNameReplaceDialog(nullptr)) << "nothing to seek";
}

TEST_F(SmallDialogsTest, ComparisonWithTheCurrentFileIsRefusedWithoutStoring)
{
    const QString study = Write(QStringLiteral("study.lst"), "x");
    const QString reference = Write(QStringLiteral("ref.lst"), "x");
    cv::SetKeywordsSettingsReferenceCorpus(study);
    cv::TFormCompare2Wordlists dialog;
    dialog.CurrentFile = study.toUpper(); // file names compare without case
    TModalUser user;
    EXPECT_EQ(cv::RunModalDialog(dialog), cv::kModalCancel);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("CantCompareWithSameFile")));
    EXPECT_EQ(cv::GetKeywordsSettingsReferenceCorpus(), study);

    // Another reference list, two-way: both are stored on OK.
    cv::SetKeywordsSettingsReferenceCorpus(reference);
    user.act = [&](QDialog& d) {
        auto& compare = dynamic_cast<cv::TFormCompare2Wordlists&>(d);
        EXPECT_EQ(compare.ElFileNameEdit1->Text(), reference);
        compare.ElFileNameEdit1->SetText(QStringLiteral("  ") + reference + QStringLiteral(" "));
        compare.AdvOfficeRadioGroup1->SetItemIndex(1);
        compare.ElPopupButtonOK->click();
    };
    EXPECT_EQ(cv::RunModalDialog(dialog), cv::kModalOK);
    EXPECT_EQ(cv::GetKeywordsSettingsReferenceCorpus(), reference);
    EXPECT_TRUE(cv::GetKeywordsSettingsHandleAmount());
}

TEST_F(SmallDialogsTest, SetColumnTakesColoursOnlyFromItsColourList)
{
    cv::TFormSetColumnEdit dialog;
    EXPECT_EQ(dialog.windowTitle(), cv::CVEnterSetData.toString());
    EXPECT_EQ(dialog.TheIniName(), QDir(cv::GetUserReadWriteFolder()).filePath(QStringLiteral("set_history.txt")));
    dialog.ClearColourChanged();
    EXPECT_FALSE(dialog.ColourChanged);
    QLineEdit stranger;
    EXPECT_FALSE(dialog.ColourDropped(&stranger, Qt::red));
    EXPECT_FALSE(dialog.ColourChanged);
    EXPECT_TRUE(dialog.ColourDropped(dialog.ColourSharingListbox1, Qt::red));
    EXPECT_TRUE(dialog.ColourChanged);
    EXPECT_EQ(dialog.ComboColour(), QColor(Qt::red));

    // Enter in the box is OK; the category joins the history kept in the file.
    dialog.show();
    dialog.ElComboBox1->setEditText(QStringLiteral("noun"));
    EXPECT_FALSE(dialog.ComboKeyDown(Qt::Key_A));
    EXPECT_TRUE(dialog.ComboKeyDown(Qt::Key_Return));
    EXPECT_EQ(dialog.result(), cv::kModalOK);
    cv::TFormSetColumnEdit again;
    EXPECT_EQ(again.ElComboBox1->findText(QStringLiteral("noun")), 0);
}

TEST_F(SmallDialogsTest, ThreeWaySortOffersTheListsColumnsAndItsLevels)
{
    auto list = SortableList();
    cv::TFormThreeWaySort dialog;
    dialog.SetTo(*list, 0, 4680);
    dialog.show();
    EXPECT_EQ(dialog.ComboBox1->count(), list->ColumnCount() - 1);
    EXPECT_EQ(dialog.ComboBox1->itemData(0).toInt(), 1);
    EXPECT_TRUE(dialog.ComboBox1->isVisible());
    EXPECT_FALSE(dialog.ComboBox2->isVisible());
    EXPECT_FALSE(dialog.LabelSort2->isVisible());
    EXPECT_FALSE(dialog.AdvGlowButtonUpDown2->isVisible());
    EXPECT_FALSE(dialog.ComboBox3->isVisible());
    EXPECT_FALSE(dialog.ElLabelSort3->isVisible());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Mutual Information Sort"));

    dialog.SetTo(*list, 2, 4680);
    // The list's levels: column 2 descending, then column 1 ascending.
    EXPECT_EQ(dialog.ComboBox1->currentData().toInt(), 2);
    EXPECT_EQ(dialog.ComboBox2->currentData().toInt(), 1);
    EXPECT_EQ(cv::TFormThreeWaySort::Image(dialog.AdvGlowButtonUpDown1), cv::kImageDescending);
    EXPECT_EQ(cv::TFormThreeWaySort::Image(dialog.AdvGlowButtonUpDown2), cv::kImageAscending);
    EXPECT_TRUE(dialog.ComboBox3->isVisible());

    dialog.SetPressedColumn(4);
    dialog.ButtonSwapClick();
    EXPECT_EQ(dialog.ComboBox1->currentData().toInt(), 1);
    EXPECT_EQ(dialog.ComboBox2->currentData().toInt(), 4);
    dialog.DirectionClick(0);
    EXPECT_TRUE(cv::TFormThreeWaySort::Ascending(dialog.AdvGlowButtonUpDown1));
    EXPECT_EQ(cv::TFormThreeWaySort::Image(dialog.AdvGlowButtonUpDown1), cv::kImageAscending);
    dialog.ComboBox3->setCurrentIndex(2);
    dialog.ButtonOKClick();
    EXPECT_EQ(dialog.result(), cv::kModalOK);
    EXPECT_EQ(dialog.sort_column_choices, (std::array<int32_t, 3>{1, 4, 3}));

    // The caption names the kinds of list that have their own.
    list->SetListType(cv::kListIndexRelationships);
    dialog.SetTo(*list, 2, 0);
    EXPECT_EQ(dialog.windowTitle(), cv::CVRelationships.toString());
}

TEST_F(SmallDialogsTest, LemmaShowerSortsItsLinesAndCopiesThem)
{
    cv::TFormLemmaShower shower;
    shower.SetTheHeaders({QStringLiteral("Word"), QStringLiteral("Freq.")});
    shower.CopyStringData({{QStringLiteral("dogs"), 3}, {QStringLiteral("dog"), 10}, {QStringLiteral("doggy"), 1}});
    cv::TLemmaShowerModel& model = *shower.Model();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("10"));
    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("dog"));
    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(model.index(2, 0).data().toString(), QStringLiteral("dogs"));
    shower.Copy1Click();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Word\tFreq.\ndog\t10\ndoggy\t1\ndogs\t3"));

    // Lines given as text keep a second column that is not a number.
    shower.CopyRows({QStringLiteral("1. a.txt\tcat"), QStringLiteral("words\t12")});
    EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("cat"));
    EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("12"));
}

TEST_F(SmallDialogsTest, TheWindowsQuestionsAndTheEditingCommandsAreAnsweredByTheDialogs)
{
    QWidget owner;
    cv::TDialogJobChoices jobs(&owner);
    cv::TFixedCommandChoices others;
    auto choices = std::make_unique<cv::TDialogCommandChoices>(jobs, others);
    EXPECT_EQ(cv::CurrentListEditingDialogs(), choices.get());
    TModalUser user;

    // Input.
    user.act = [](QDialog& d) {
        auto& input = dynamic_cast<cv::TGeneralInputDlg&>(d);
        EXPECT_EQ(input.windowTitle(), cv::CVREduceData.toString());
        EXPECT_EQ(input.Prompt(), cv::CVHowManyEntries.toString());
        EXPECT_EQ(input.Value(), QStringLiteral("6"));
        input.SetValue(QStringLiteral("3"));
        input.ButtonOK->click();
    };
    QString value = QStringLiteral("6");
    EXPECT_TRUE(cv::CurrentListEditingDialogs()->InputValue(cv::CVREduceData, cv::CVHowManyEntries, value, 0));
    EXPECT_EQ(value, QStringLiteral("3"));

    // Category with a colour.
    user.act = [](QDialog& d) {
        auto& edit = dynamic_cast<cv::TFormSetColumnEdit&>(d);
        EXPECT_EQ(edit.ElComboBox1->currentText(), QStringLiteral("old"));
        edit.ColourDropped(edit.ColourSharingListbox1, QColor(0, 0, 255));
        edit.ElComboBox1->setEditText(QStringLiteral("new"));
        edit.ButtonOK->click();
    };
    QString category = QStringLiteral("old");
    uint32_t colour = 0;
    EXPECT_TRUE(choices->EditCategory(QStringLiteral("cat"), category, colour));
    EXPECT_EQ(category, QStringLiteral("new"));
    EXPECT_EQ(colour, 0xFF0000FFu);

    // Three-way sort: the pressed column first, the directions read back.
    auto list = SortableList();
    user.act = [](QDialog& d) {
        auto& sort = dynamic_cast<cv::TFormThreeWaySort&>(d);
        EXPECT_EQ(sort.ComboBox1->currentData().toInt(), 3);
        EXPECT_EQ(sort.HelpContext(), 2760);
        sort.ButtonOKClick();
    };
    cv::TThreeWaySortChoice choice;
    EXPECT_TRUE(choices->ThreeWaySort(*list, 3, 2760, choice));
    EXPECT_EQ(choice.columns[0], 3);
    EXPECT_EQ(choice.columns[1], 1);
    EXPECT_FALSE(choice.ascending[0]);
    EXPECT_TRUE(choice.ascending[1]);
    user.act = nullptr;
    EXPECT_FALSE(choices->ThreeWaySort(*list, 3, 2760, choice));

    // The comparison runs its dialog, not the fixed answers.
    cv::SetKeywordsSettingsReferenceCorpus(QStringLiteral("same.lst"));
    EXPECT_FALSE(choices->ConfirmComparison(QStringLiteral("same.lst")));
    EXPECT_EQ(others.comparisonShown, 0);

    // The lemma shower is one window, shown again with new lines.
    choices->ShowLemmaShower(cv::CVLemmaForms, {QStringLiteral("Freq."), QStringLiteral("Form")}, {QStringLiteral("4\tdogs")});
    cv::TFormLemmaShower* shower = choices->LemmaShower();
    ASSERT_NE(shower, nullptr);
    EXPECT_TRUE(shower->isVisible());
    EXPECT_EQ(shower->windowTitle(), cv::CVLemmaForms.toString());
    choices->ShowLemmaShower(QStringLiteral("Variants"), {QStringLiteral("Word")}, {QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(choices->LemmaShower(), shower);
    EXPECT_EQ(shower->Model()->rowCount(), 2);
    EXPECT_EQ(others.lemmaShowerShown, 0);

    // The word cloud of a grid's list opens the cloud window.
    auto words = SortableList();
    words->ImportWords({{QStringLiteral("cat"), 3}, {QStringLiteral("dog"), 5}}, 8);
    cv::TCV_Grid grid;
    grid.MatchGridToListType(cv::kListWordList, cv::kGridKindAlphabetical, words.get());
    EXPECT_TRUE(cv::WordCloudOfList(&grid, false, QStringLiteral("pets.lst")));
    const QString caption = cv::Format(cv::CVListTypeCloudFromFile, {cv::ListTypeName(cv::kListWordList), "pets.lst"});
    QWidget* cloud = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("cv::TFormWordCloud") && w->windowTitle() == caption)
            cloud = w;
    ASSERT_NE(cloud, nullptr);
    delete cloud;

    choices.reset();
    EXPECT_EQ(cv::CurrentListEditingDialogs(), nullptr);
    EXPECT_FALSE(cv::WordCloudOfList(&grid, false, QStringLiteral("pets.lst")));
}

} // namespace
} // namespace dialogs_test
