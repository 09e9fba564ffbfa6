#include <QFile>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSettings>

#include "grid_dialogs_testutil.h"
#include "ui/framework/framework_testutil.h"
#include "ui/framework/grid_dialogs/grid_columns_dialog.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/grid_dialogs/wizard_base.h"
#include "wordlist/word_list.h"

using namespace cv;
using griddialogs_test::ModalScript;

namespace {

// The tool window of the framework tests, with the grid dialogs behind its handlers.
class WindowDialogsTest : public framework_test::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        SetUserReadWriteFolder(dir.path());
        SetDefaultFolder(dir.path());
        ShowSample();
        grid = window->freq;
        for (TCV_Grid* g : {window->freq, window->alph, window->stats}) {
            g->HandlersA = window->BaseGridHandlersA();
            g->HandlersB = window->BaseGridHandlersB();
            g->WindowOperations = window->GridWindowOperations();
        }
    }
    QString TextOf(const QString& fileName) const
    {
        QByteArray bytes = cvtest::readAll(fileName);
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        return QString::fromUtf8(bytes);
    }
    TCV_Grid* grid = nullptr;
};

} // namespace

TEST_F(WindowDialogsTest, SaveAsExportWritesTheGridThroughTheDialogAndTheDocument)
{
    ModalScript script;
    const QString target = dir.file(QStringLiteral("exported.txt"));
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        // Set up for the grid: its columns and rows, text format, a name made from the document's.
        EXPECT_EQ(dlg.AllColumnsSpecified, grid->ColCount());
        EXPECT_EQ(dlg.AllRowsSpecified, grid->RowCount() - 1);
        EXPECT_EQ(dlg.FormatCombo->currentIndex(), 0);
        EXPECT_TRUE(dlg.FileNameEdit->text().endsWith(QStringLiteral(".txt")));
        dlg.FileNameEdit->setText(target);
        dlg.ColumnsEdit->setText(QStringLiteral("2"));
        dlg.RowsEdit->setText(QStringLiteral("1-3"));
        return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    // The menu command "save as text" reaches the window through the grid.
    ASSERT_TRUE(grid->HandleGridCommand(2));
    ASSERT_TRUE(QFile::exists(target));
    const QStringList lines = TextOf(target).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << TextOf(target).toStdString();
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(lines[row - 1], grid->Cells(1, row));
    EXPECT_EQ(window->Data()->ExportSettings.FileName, target);
    EXPECT_FALSE(window->BusySavingAs);
    EXPECT_EQ(grid->List()->ListBusy(), kListNotBusy);
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("SavedOKOpenNow"));

    // Cancelled: nothing written, false.
    script.Then([](QDialog&) { return int(QDialog::Rejected); });
    EXPECT_FALSE(window->SaveAsExport(grid, 1));
    // While an export runs, no second one starts.
    window->BusySavingAs = true;
    const int runs = script.Runs();
    EXPECT_FALSE(window->SaveAsExport(grid, 0));
    EXPECT_EQ(script.Runs(), runs);
    window->BusySavingAs = false;
}

TEST_F(WindowDialogsTest, SaveAsTheListTypesOwnFormatSavesTheDocument)
{
    ModalScript script;
    const QString target = dir.file(QStringLiteral("own") + DefaultExtFromListType(kListWordList));
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        EXPECT_EQ(dlg.FormatCombo->currentIndex(), 4);
        dlg.FileNameEdit->setText(target);
        return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    EXPECT_TRUE(window->SaveAsExport(grid, 4));
    EXPECT_EQ(WhichToolsCorvantis32BitFile(target), kToolWordList);
}

TEST_F(WindowDialogsTest, AFolderThatCannotBeWrittenIsReported)
{
    ModalScript script;
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        dlg.FileNameEdit->setText(dir.file(QStringLiteral("no such folder/x.txt")));
        return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    EXPECT_FALSE(window->SaveAsExport(grid, 0));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("CannotWriteToXFolder"));
}

TEST_F(WindowDialogsTest, TheLayoutCommandOpensTheColumnsDialogOnTheGrid)
{
    ModalScript script;
    script.Then([&](QDialog& d) {
        auto& form = dynamic_cast<TFormColumns&>(d);
        EXPECT_EQ(form.ColumnsGrid, grid);
        EXPECT_EQ(form.Headings.size(), size_t(grid->ColCount()));
        form.FormulaCombo->setEditText(QStringLiteral("col(\"") + grid->Cells(2, 0) + QStringLiteral("\") * 2"));
        form.ComputeOKClick();
        return form.result();
    });
    ASSERT_TRUE(grid->HandleGridCommand(29));
    EXPECT_EQ(script.Runs(), 1);
    const int computed = grid->ColCount() - 1;
    EXPECT_EQ(grid->Cells(computed, 1), QString::number(grid->Cells(2, 1).toDouble() * 2, 'f', 2));
}

TEST_F(WindowDialogsTest, TheConditionsDialogFollowsThePagesAndLetsGoOfClosedData)
{
    ASSERT_TRUE(grid->HandleGridCommand(194));
    TGridDialogHost* host = FindGridDialogHost(*window);
    ASSERT_NE(host, nullptr);
    TFormTestWhether* form = host->SearchDelColourCatForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ActionTag, kModeColourCategories);
    EXPECT_EQ(form->Grid, grid);
    // "Search text" opens the same dialog in its search mode.
    ASSERT_TRUE(grid->HandleGridCommand(16));
    EXPECT_EQ(host->SearchDelColourCatForm(), form);
    EXPECT_EQ(form->ActionTag, kModeSearch);

    window->pager->setCurrentIndex(1);
    EXPECT_EQ(form->Grid, window->alph);
    EXPECT_EQ(form->CurrentList, window->alph->List());
    window->CloseData(true);
    EXPECT_EQ(form->CurrentList, nullptr);
    EXPECT_FALSE(form->processing_data);
}

TEST_F(WindowDialogsTest, PrintAndPreviewCommandsOfTheGrid)
{
    ModalScript script;
    const QString file = dir.file(QStringLiteral("grid.pdf"));
    script.Then(griddialogs_test::PrintIntoPdf(file));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    ASSERT_TRUE(grid->HandleGridCommand(4));
    EXPECT_TRUE(cvtest::readAll(file).startsWith("%PDF"));

    ASSERT_TRUE(grid->HandleGridCommand(5));
    TGridDialogHost* host = FindGridDialogHost(*window);
    ASSERT_NE(host, nullptr);
    TCVFormPrintPreview* preview = host->PrintPreviewForm();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->fPreviewFormGrid, grid);
    EXPECT_EQ(host->PrintHandler().Grid(), grid);
    EXPECT_GE(preview->PreviewImage->pageCount(), 1);
    // A change of the grid's page set-up redraws the open preview of it.
    host->PrintHandler().Organiser().SetHeaderOrFooterAndWanted(QStringLiteral("x"), true, true);
    grid->HandlersA.PreviewPageChanged(grid);
    QSettings stored(GridDialogSettingsFileName(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("printing/header")).toString(), QStringLiteral("x"));
    preview->hide();
}

TEST_F(WindowDialogsTest, TheActiveColumnCommandChoosesTheSetColumnOfTheCurrentList)
{
    TCVBaseDataClass* list = grid->List();
    const int added = list->AddSetColumn(QStringLiteral("Extra"));
    ModalScript script;
    script.Then([&](QDialog& d) {
        auto& chooser = dynamic_cast<TFormSetColActiveColChooser&>(d);
        chooser.Choices->button(added)->setChecked(true);
        return chooser.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    EXPECT_TRUE(window->HandleDisplayMenuCommand(203, grid));
    EXPECT_EQ(script.Runs(), 1);
    EXPECT_EQ(list->ActiveSetColumn(), added);
}

TEST_F(WindowDialogsTest, TheWindowsGridsCarryTheirColumnLayouts)
{
    EXPECT_NE(dynamic_cast<TGridColumnLayout*>(window->freq->ColumnPresenter()), nullptr);
    EXPECT_NE(dynamic_cast<TGridColumnLayout*>(window->stats->ColumnPresenter()), nullptr);
}
