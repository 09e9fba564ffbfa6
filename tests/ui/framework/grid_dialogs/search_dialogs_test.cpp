#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QListView>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include "grid_dialogs_testutil.h"
#include "ui/framework/grid_dialogs/grid_columns.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;
using griddialogs_test::ModalScript;

namespace {

class SearchDialogsTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        ShowTable();
        table->AddSetColumn(QStringLiteral("Set"));
        grid->Refresh();
        form = std::make_unique<TFormTestWhether>();
    }
    void TearDown() override
    {
        form.reset();
        GridDialogsTest::TearDown();
    }
    // The requirement editor as the user fills it: column by heading, condition, X.
    void Require(TConditionOrder order, const QString& column, int condition, const QString& x, int link = kLinkAnd)
    {
        script.Then([=](QDialog& d) {
            auto& editor = dynamic_cast<TFormSearchRequirements&>(d);
            editor.ColumnCombo->setCurrentIndex(editor.ColumnCombo->findText(column));
            editor.ConditionCombo->setCurrentIndex(condition);
            editor.XEdit->setText(x);
            if (order == TConditionOrder::Additional)
                editor.LinkButtons->button(link)->setChecked(true);
            editor.OKClick();
            return editor.result();
        });
        form->RequirementClick(order);
    }
    ModalScript script;
    std::unique_ptr<TFormTestWhether> form;
};

} // namespace

TEST_F(SearchDialogsTest, TheRequirementEditorListsTheVisibleColumnsAndFitsItsConditions)
{
    grid->SetColumnVisible(0, false);
    TFormSearchRequirements editor;
    editor.SetTheHeaders(grid.get());
    ASSERT_EQ(editor.ColumnCombo->count(), 4);
    EXPECT_EQ(editor.ColumnCombo->itemText(0), QStringLiteral("Word"));
    EXPECT_EQ(editor.ConditionCombo->count(), kConditionCount);
    EXPECT_EQ(editor.ConditionCombo->itemText(kCondGreater), QStringLiteral("comes after X"));
    editor.ColumnCombo->setCurrentIndex(1); // "Freq.": numbers
    EXPECT_EQ(editor.ConditionCombo->itemText(kCondGreater), QStringLiteral("> X"));
    editor.ConditionCombo->setCurrentIndex(kCondWordsMore);
    editor.WordsSpin->setValue(4);
    EXPECT_EQ(editor.ConditionCombo->itemText(kCondWordsMore), QStringLiteral("has more than 4 words"));
    EXPECT_EQ(editor.ConditionCombo->currentIndex(), kCondWordsMore);
    EXPECT_FALSE(editor.XEdit->isVisibleTo(&editor));
    EXPECT_TRUE(editor.WordsSpin->isVisibleTo(&editor));
    editor.OtherColumnBox->setChecked(true);
    editor.OtherColumnCombo->setCurrentIndex(0);
    editor.ConditionCombo->setCurrentIndex(kCondEquals);
    EXPECT_EQ(editor.ConditionCombo->itemText(kCondEquals), QStringLiteral("= Word"));
    editor.SetRequirementNumber(TConditionOrder::Additional);
    EXPECT_EQ(editor.ColumnLabel->text(), QStringLiteral("Data column 2"));
    EXPECT_EQ(editor.ConditionLabel->text(), QStringLiteral("Condition 2"));
}

TEST_F(SearchDialogsTest, AnUnchangedRequirementIsNotReportedAgain)
{
    TFormSearchRequirements editor;
    int reports = 0;
    editor.fOnReportRequirement = [&](const TDoubleSearchCategoryRec&, TConditionOrder, const QString&) { ++reports; };
    editor.SetTheHeaders(grid.get());
    editor.EditRequirement({}, TConditionOrder::Main);
    editor.XEdit->setText(QStringLiteral("cat"));
    editor.OKClick();
    EXPECT_EQ(reports, 1);
    // "N" holds numbers: its requirement reads as a comparison.
    EXPECT_EQ(editor.fDoubleCategoryRec.MainText, QStringLiteral("N = cat"));
    editor.EditRequirement(editor.fDoubleCategoryRec, TConditionOrder::Main);
    editor.OKClick();
    EXPECT_EQ(reports, 1);
}

TEST_F(SearchDialogsTest, FindMovesDownFromTheCurrentRowAndUpwardsWhenAsked)
{
    form->SetUp(grid.get(), TConditionsMode::Search);
    EXPECT_TRUE(form->SearchList->isHidden());
    EXPECT_FALSE(form->FindButton->isEnabled());
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondEndsWith, QStringLiteral("at"));
    EXPECT_EQ(form->DescriptionLabel->text(), QStringLiteral("if Word ends with 'at'"));
    EXPECT_TRUE(form->FindButton->isEnabled());
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_EQ(form->ResultLabel->text(), QStringLiteral("Row 2"));
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 3);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 5);
    // Nothing further down: the grid stays and the label is empty.
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 5);
    EXPECT_TRUE(form->ResultLabel->text().isEmpty());
    form->UpBox->setChecked(true);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 3);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 2);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 2);
}

TEST_F(SearchDialogsTest, TheFirstRowIsFoundWithoutACurrentRowAndFindGoesOnFromIt)
{
    form->SetUp(grid.get(), TConditionsMode::Search);
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondContains, QStringLiteral("t"));
    ASSERT_EQ(grid->Row(), 0);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 1);
    // Found on the first row, the next Find goes on below it.
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 2);
    // Upwards on the first row: the first row again.
    grid->SetRow(1);
    form->UpBox->setChecked(true);
    form->ProcessTheConditions();
    EXPECT_EQ(grid->Row(), 1);
}

TEST_F(SearchDialogsTest, FindAllInSearchModeSelectsTheRows)
{
    form->SetUp(grid.get(), TConditionsMode::Search);
    Require(TConditionOrder::Main, QStringLiteral("Freq."), kCondGreater, QStringLiteral("12"));
    Require(TConditionOrder::Additional, QStringLiteral("Word"), kCondContains, QStringLiteral("a"), kLinkButNot);
    EXPECT_EQ(form->DescriptionLabel->text(), QStringLiteral("if Freq. > 12 but not Word contains 'a'"));
    form->ProcessTheConditions(true);
    EXPECT_EQ(form->ResultLabel->text(), QStringLiteral("1 hits"));
    EXPECT_EQ(grid->SelectedRows(), std::vector<int>{1});
}

TEST_F(SearchDialogsTest, DeleteIfMarksTheRowsDeletedAsOneUndoStep)
{
    form->SetUp(grid.get(), TConditionsMode::DeleteIf);
    Require(TConditionOrder::Main, QStringLiteral("Ratio"), kCondLess, QStringLiteral("0.2"));
    form->ProcessTheConditions(true);
    EXPECT_EQ(form->ResultLabel->text(), QStringLiteral("2 hits"));
    EXPECT_TRUE(table->GetDeleted(2));
    EXPECT_TRUE(table->GetDeleted(3));
    EXPECT_FALSE(table->GetDeleted(0));
    ASSERT_EQ(table->UndoCount(), 1);
    table->Undo();
    EXPECT_FALSE(table->GetDeleted(2));
}

TEST_F(SearchDialogsTest, ColourCategoriesGoIntoTheSetColumnAndCountTheirHits)
{
    form->SetUp(grid.get(), TConditionsMode::ColourCategories);
    EXPECT_FALSE(form->SearchList->isHidden());
    Require(TConditionOrder::Main, QStringLiteral("Freq."), kCondGreaterOrEqual, QStringLiteral("20"));
    form->ColourList->setCurrentRow(1);
    form->AddSearchClick();
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondContains, QStringLiteral("at"));
    form->ColourList->setCurrentRow(2);
    form->AddSearchClick();
    ASSERT_EQ(form->SearchCount(), 2);
    // The same search again only checks the item that holds it.
    form->SearchList->item(1)->setCheckState(Qt::Unchecked);
    form->AddSearchClick();
    EXPECT_EQ(form->SearchCount(), 2);
    EXPECT_EQ(form->SearchList->item(1)->checkState(), Qt::Checked);

    form->ProcessTheConditions(true);
    EXPECT_EQ(form->SearchAt(0).HitCount, 2);
    EXPECT_EQ(form->SearchAt(1).HitCount, 2); // "the" was taken by the first search
    EXPECT_TRUE(form->SearchList->item(0)->text().contains(QStringLiteral("2 entries found = 40")));
    const int32_t set = table->SetNumberOfColumn(table->ActiveSetColumn());
    EXPECT_EQ((*table)[0].Category(set), QStringLiteral("test 1"));
    EXPECT_EQ((*table)[2].Category(set), QStringLiteral("test 2"));
    EXPECT_EQ((*table)[3].Category(set), QString());
    EXPECT_EQ(grid->View()->model()->index(2, 4).data(Qt::BackgroundRole).value<QColor>(),
              TFormTestWhether::CategoryColours()[2]);

    // Only checked searches take part.
    form->SearchList->item(0)->setCheckState(Qt::Unchecked);
    form->ProcessTheConditions(true);
    EXPECT_EQ(form->SearchAt(1).HitCount, 3);

    // A category typed by hand (no colour) stays when the colours are cleared.
    table->SetACategoryString(3, set, QStringLiteral("mine"), false);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->ClearColoursClick();
    EXPECT_EQ((*table)[0].Category(set), QString());
    EXPECT_EQ((*table)[3].Category(set), QStringLiteral("mine"));

    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->SearchList->setCurrentRow(0);
    form->DeleteClick();
    EXPECT_EQ(form->SearchCount(), 1);
    EXPECT_EQ(form->SearchList->item(0)->checkState(), Qt::Checked);
}

TEST_F(SearchDialogsTest, FindInColourModeWithAnEmptyListAddsTheSearchFirst)
{
    form->SetUp(grid.get(), TConditionsMode::ColourCategories);
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondEquals, QStringLiteral("mat"));
    form->ProcessTheConditions();
    EXPECT_EQ(form->SearchCount(), 1);
    EXPECT_EQ(grid->Row(), 5);
}

TEST_F(SearchDialogsTest, ShowSortedPutsTheMatchingRowsFirstInTheView)
{
    form->SetUp(grid.get(), TConditionsMode::Search);
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondContains, QStringLiteral("a"));
    form->ShowSortedClick();
    QStringList shown;
    for (int row = 1; row < grid->RowCount(); ++row)
        shown << grid->Cells(1, row);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Cat"), QStringLiteral("sat"), QStringLiteral("mat"),
                                  QStringLiteral("the"), QStringLiteral("ON")}));
    // The list keeps its order; the marks are not shown.
    EXPECT_EQ(table->At(0).word, QStringLiteral("the"));
    EXPECT_EQ(grid->ColCount(), 6);
    EXPECT_FALSE(grid->ColumnVisible(5));
}

TEST_F(SearchDialogsTest, AStoppedDialogDoesNothing)
{
    form->SetUp(grid.get(), TConditionsMode::Search);
    Require(TConditionOrder::Main, QStringLiteral("Word"), kCondEquals, QStringLiteral("mat"));
    form->Stop();
    EXPECT_FALSE(form->processing_data);
    form->ProcessTheConditions(true);
    EXPECT_TRUE(form->ResultLabel->text().isEmpty());
    EXPECT_EQ(grid->Row(), 0);
}

// A requirement on a column of numbers reads as a comparison of numbers, and
// such a column is not offered conditions on letter case.
TEST_F(SearchDialogsTest, ANumberColumnsRequirementReadsAsANumberComparison)
{
    TFormSearchRequirements editor;
    editor.SetTheHeaders(grid.get());
    editor.ColumnCombo->setCurrentIndex(editor.ColumnCombo->findText(QStringLiteral("Freq.")));
    auto* view = qobject_cast<QListView*>(editor.ConditionCombo->view());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isRowHidden(kCondCapitals));
    EXPECT_TRUE(view->isRowHidden(kCondLowerCase));
    EXPECT_FALSE(view->isRowHidden(kCondGreater));
    editor.ConditionCombo->setCurrentIndex(kCondGreater);
    editor.XEdit->setText(QStringLiteral("10000"));
    editor.RecomputeTheSettings();
    EXPECT_EQ(editor.fDoubleCategoryRec.MainText, QStringLiteral("Freq. > 10000"));
    editor.ConditionCombo->setCurrentIndex(kCondLess);
    editor.XEdit->setText(QStringLiteral("3"));
    editor.RecomputeTheSettings();
    EXPECT_EQ(editor.fDoubleCategoryRec.MainText, QStringLiteral("Freq. < 3"));
    // A column of words keeps its wording, and is offered every condition.
    editor.ColumnCombo->setCurrentIndex(editor.ColumnCombo->findText(QStringLiteral("Word")));
    EXPECT_FALSE(view->isRowHidden(kCondCapitals));
    editor.ConditionCombo->setCurrentIndex(kCondGreater);
    editor.XEdit->setText(QStringLiteral("b"));
    editor.RecomputeTheSettings();
    EXPECT_EQ(editor.fDoubleCategoryRec.MainText, QStringLiteral("Word comes after 'b'"));
}
