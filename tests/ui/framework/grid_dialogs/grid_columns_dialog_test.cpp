#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

#include "grid_dialogs_testutil.h"
#include "ui/framework/grid_dialogs/grid_columns_dialog.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;
using griddialogs_test::ModalScript;

namespace {

struct NewColumnCall {
    bool setColumn;
    int column;
    bool create;
    QString formula;
};

class ColumnsDialogTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        TCV_Grid& g = ShowTable();
        layout = &ColumnLayoutOf(g);
        form = std::make_unique<TFormColumns>();
        form->AssignDetails(
            &g, layout->Headers(), true, kListWordList, kUnitsInches,
            [this](TCV_Base_Grid* grid, bool set, int column, bool create, const QString& formula) {
                calls.push_back({set, column, create, formula});
                if (!set && create)
                    layout->AddComputedColumn(formula, nullptr);
            },
            [this](TCV_Base_Grid*) { return layout->SaveAsCustomised(nullptr); },
            [this](TCV_Base_Grid*, const TGrid_header_array& headers) {
                ++changes;
                layout->SetHeaders(headers);
            });
    }
    void TearDown() override
    {
        form.reset();
        GridDialogsTest::TearDown();
    }
    QFont FontOf(int column) const { return grid->View()->model()->index(0, column).data(Qt::FontRole).value<QFont>(); }
    bool Styled(int column) const { return grid->View()->model()->index(0, column).data(Qt::FontRole).isValid(); }

    TGridColumnLayout* layout = nullptr;
    std::unique_ptr<TFormColumns> form;
    std::vector<NewColumnCall> calls;
    int changes = 0;
};

} // namespace

TEST_F(ColumnsDialogTest, HeadingListShowsHiddenColumnsInBracketsAndStartsOnTheCurrentColumn)
{
    grid->SetColumnVisible(3, false);
    grid->View()->setCurrentIndex(grid->View()->model()->index(0, 2));
    form->AssignDetails(grid.get(), layout->Headers(), false, kListWordList, kUnitsInches, {}, {}, {});
    ASSERT_EQ(form->HeadingList->count(), 4);
    EXPECT_EQ(form->HeadingList->item(1)->text(), QStringLiteral("Word"));
    EXPECT_EQ(form->HeadingList->item(3)->text(), QStringLiteral("( Ratio )"));
    EXPECT_TRUE(form->HeadingList->item(2)->isSelected());
    EXPECT_FALSE(form->PageControl->isTabVisible(form->PageControl->indexOf(form->SetColumnPage)));
    // "Your data": the numeric columns.
    ASSERT_EQ(form->DataList->count(), 3);
    EXPECT_EQ(form->DataList->item(1)->text(), QStringLiteral("Freq."));
}

TEST_F(ColumnsDialogTest, EveryChangeGoesToAllSelectedColumnsAndToTheGridAtOnce)
{
    form->SelectHeadings({1, 2, 3});
    form->DecimalsChange(4);
    for (int i : {1, 2, 3})
        EXPECT_EQ(form->Headings[size_t(i)].Decimals(), 4);
    EXPECT_EQ(form->Headings[0].Decimals(), kListDecimals);
    EXPECT_EQ(grid->Cells(3, 1), QStringLiteral("0.5000"));
    EXPECT_EQ(changes, 1);

    form->StyleClick(kStyleBold, true);
    EXPECT_TRUE(FontOf(1).bold());
    EXPECT_TRUE(FontOf(3).bold());
    EXPECT_FALSE(Styled(0));
    // Undone by hand: undone on the grid too.
    form->StyleClick(kStyleBold, false);
    EXPECT_FALSE(Styled(1));

    form->CaseClick(kCaseUpper); // only the word column may change its case
    EXPECT_EQ(grid->Cells(1, 2), QStringLiteral("CAT"));
    EXPECT_EQ(form->Headings[2].LetterCase(), kCaseSource);

    form->ThresholdChange(QStringLiteral("0.2"));
    EXPECT_EQ(grid->Cells(3, 3), QString());
    EXPECT_EQ(form->Headings[1].Threshold(), kNoThreshold); // words have no threshold

    form->SelectHeadings({1});
    form->BackgroundColourChosen(QColor(255, 0, 0));
    EXPECT_EQ(grid->View()->model()->index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
    const int before = changes;
    form->BackgroundColourChosen(grid->View()->palette().color(QPalette::Base));
    form->BackgroundColourChosen(QColor());
    EXPECT_EQ(changes, before);

    form->VisibilityClick(false);
    EXPECT_FALSE(grid->ColumnVisible(1));
    EXPECT_EQ(form->HeadingList->item(1)->text(), QStringLiteral("( Word )"));
}

TEST_F(ColumnsDialogTest, WidthsAreShownAndTakenInTheChosenUnit)
{
    form->SelectHeadings({1});
    const int ppi = form->logicalDpiX();
    form->WidthChange(1.5);
    EXPECT_EQ(grid->ColWidths(1), int(std::lround(1.5 * ppi)));
    form->UnitsClick(kUnitsCentimetres);
    EXPECT_NEAR(form->WidthSpin->value(), 1.5 * kInchesToCentimetres, 0.05);
    EXPECT_EQ(form->WidthSpin->decimals(), 1);
    form->WidthChange(2.54);
    EXPECT_EQ(grid->ColWidths(1), ppi);
    // Hidden columns keep their width.
    form->VisibilityClick(false);
    form->WidthChange(5);
    EXPECT_EQ(form->Headings[1].Width(), ppi);
}

TEST_F(ColumnsDialogTest, MovingExchangesWithTheNeighbourAndKeysShowAndHide)
{
    form->SelectHeadings({2});
    form->MoveClick(true);
    EXPECT_EQ(form->Headings[1].DataColumn(), 2);
    EXPECT_EQ(form->Headings[2].DataColumn(), 1);
    EXPECT_TRUE(form->HeadingList->item(1)->isSelected());
    EXPECT_EQ(grid->View()->horizontalHeader()->visualIndex(2), 1);
    form->SelectHeadings({0});
    form->MoveClick(true); // nothing above the first
    EXPECT_EQ(form->Headings[0].DataColumn(), 0);

    form->SelectHeadings({3});
    form->HeadingList->setCurrentRow(3);
    form->HeadingListKey(Qt::Key_Delete);
    EXPECT_FALSE(grid->ColumnVisible(3));
    form->HeadingListKey(Qt::Key_Insert);
    EXPECT_TRUE(grid->ColumnVisible(3));
}

TEST_F(ColumnsDialogTest, DoubleClickChangesTheHeading)
{
    ModalScript script;
    script.Then([](QDialog& d) {
        auto& input = dynamic_cast<QInputDialog&>(d);
        EXPECT_EQ(input.textValue(), QStringLiteral("Freq."));
        input.setTextValue(QStringLiteral("Count"));
        return int(QDialog::Accepted);
    });
    form->HeadingDoubleClick(2);
    EXPECT_EQ(grid->Cells(2, 0), QStringLiteral("Count"));
    form->HeadingDoubleClick(2); // cancelled
    EXPECT_EQ(grid->Cells(2, 0), QStringLiteral("Count"));
}

TEST_F(ColumnsDialogTest, RestoreWithoutALayoutFileBringsBackTheOpeningState)
{
    form->SelectHeadings({1, 2});
    form->StyleClick(kStyleItalics, true);
    form->DecimalsChange(5);
    form->RestoreClick();
    EXPECT_FALSE(HeadersDiffer(form->Headings, form->PreviousHeadings));
    EXPECT_FALSE(Styled(1));
    EXPECT_FALSE(form->ItalicsBox->isChecked());
    EXPECT_TRUE(form->HeadingList->item(2)->isSelected());
    EXPECT_TRUE(dialogs.Routines().isEmpty()); // nothing to delete, nothing asked
}

TEST_F(ColumnsDialogTest, SaveStoresTheLayoutAndRestoreOffersToDeleteIt)
{
    const QString file = CustomisedLayoutFileName(kListWordList);
    dialogs.QueueAnswer(TDialogAnswer::No);
    form->SaveClick();
    EXPECT_FALSE(QFile::exists(file));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->SaveClick();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("SavedOK"));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("customised.dat")));

    dialogs.QueueAnswer(TDialogAnswer::No);
    form->RestoreClick();
    EXPECT_TRUE(QFile::exists(file));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->RestoreClick();
    EXPECT_FALSE(QFile::exists(file));

    // Without a way to save, Save does nothing.
    form->OnSaveCustomisedHeadings = {};
    const auto asked = dialogs.Requests().size();
    form->SaveClick();
    EXPECT_EQ(dialogs.Requests().size(), asked);
}

TEST_F(ColumnsDialogTest, TheCalculatorInsertsItsTokensAtTheCaret)
{
    form->FunctionInsert(2);
    form->DataColumnInsert(1);
    form->CalculatorKeyClick(QStringLiteral(")"));
    form->CalculatorKeyClick(QStringLiteral("+"));
    form->CumulativeBox->setChecked(true);
    form->DataColumnInsert(2);
    form->RowInsert(1, 3);
    form->FunctionInsert(0);
    EXPECT_EQ(form->FormulaCombo->currentText(),
              QStringLiteral(" sqrt(  col(\"Freq.\") )+ colC(\"Ratio\")  cell(\"Freq.\";3)  pi "));
}

TEST_F(ColumnsDialogTest, AComputedColumnIsOfferedWithExplicitBracketsAndMade)
{
    form->FormulaCombo->setEditText(QStringLiteral("col(\"Ratio\") + 2 * 3"));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->ComputeOKClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("InsertBrackets")});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].setColumn);
    EXPECT_EQ(calls[0].column, -1);
    EXPECT_TRUE(calls[0].create);
    EXPECT_EQ(calls[0].formula, QStringLiteral("col(\"Ratio\") + (2 * 3)"));
    EXPECT_EQ(form->result(), QDialog::Accepted);
    ASSERT_EQ(grid->ColCount(), 5);
    EXPECT_EQ(grid->Cells(4, 5), QStringLiteral("8.50"));
}

TEST_F(ColumnsDialogTest, RefusedBracketsKeepTheFormulaAsTyped)
{
    form->FormulaCombo->setEditText(QStringLiteral("1 + 2 * 3"));
    dialogs.QueueAnswer(TDialogAnswer::No);
    form->ComputeOKClick();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].formula, QStringLiteral("1 + 2 * 3"));
    EXPECT_EQ(grid->Cells(4, 1), QStringLiteral("7.00"));
}

TEST_F(ColumnsDialogTest, FormulasThatCannotBeComputedKeepTheDialogOpen)
{
    form->FormulaCombo->setEditText(QStringLiteral("(1 + 2"));
    form->ComputeOKClick();
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("UnMatchedBracketInX"));
    form->FormulaCombo->setEditText(QStringLiteral("col(\"Nothing\") * 2"));
    form->ComputeOKClick();
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("FormulaNotUnderstood"));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("Nothing")));
    EXPECT_TRUE(calls.empty());
    EXPECT_NE(form->result(), QDialog::Accepted);
    EXPECT_EQ(grid->ColCount(), 4);
}

TEST_F(ColumnsDialogTest, EditAndDelOfAComputedColumn)
{
    ASSERT_TRUE(layout->AddComputedColumn(QStringLiteral("col(\"Freq.\") / 2"), nullptr));
    form->AssignDetails(grid.get(), layout->Headers(), true, kListWordList, kUnitsInches, {}, {},
                        [this](TCV_Base_Grid*, const TGrid_header_array& headers) { layout->SetHeaders(headers); });
    form->SelectHeadings({1});
    EXPECT_TRUE(form->DelButton->isHidden());
    form->SelectHeadings({4});
    form->HeadingList->setCurrentRow(4);
    EXPECT_FALSE(form->DelButton->isHidden());
    form->EditClick();
    EXPECT_EQ(form->FormulaCombo->currentText(), QStringLiteral("col(\"Freq.\") / 2"));
    EXPECT_EQ(form->PageControl->currentWidget(), form->ComputedPage);
    dialogs.QueueAnswer(TDialogAnswer::No);
    form->DelClick();
    EXPECT_EQ(grid->ColCount(), 5);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->DelClick();
    EXPECT_EQ(form->Headings.size(), 4u);
    EXPECT_EQ(grid->ColCount(), 4);
}

TEST_F(ColumnsDialogTest, SetColumnsAreAddedAndDeletedThroughTheGrid)
{
    form->AddSetClick();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].setColumn);
    EXPECT_EQ(calls[0].column, -1);
    EXPECT_TRUE(calls[0].create);
    EXPECT_EQ(form->result(), QDialog::Accepted);

    table->AddSetColumn(QStringLiteral("Set"));
    grid->Refresh();
    form->AssignDetails(grid.get(), layout->Headers(), true, kListWordList, kUnitsInches, form->OnNewColumnCreateOrDelete,
                        {}, {});
    ASSERT_EQ(form->SetColumnList->count(), 1);
    form->DeleteSetClick();
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("NoColumnSelected"));
    form->SetColumnList->setCurrentRow(0);
    EXPECT_EQ(form->DeleteSetButton->text(), QStringLiteral("Delete Set?"));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    form->DeleteSetClick();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[1].setColumn);
    EXPECT_EQ(calls[1].column, 1);
    EXPECT_FALSE(calls[1].create);
}
