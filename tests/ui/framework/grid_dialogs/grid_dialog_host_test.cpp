#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QProcess>
#include <QSet>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSettings>

#include "grid_dialogs_testutil.h"
#include "gui/desktop_services.h"
#include "ui/framework/framework_testutil.h"
#include "model/list_export.h"
#include "ui/framework/grid_dialogs/grid_columns.h"
#include "ui/framework/grid_dialogs/grid_columns_dialog.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/grid_dialogs/search_replace_dialog.h"
#include "suite/resource_strings.h"
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
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::SaveAsPlainText));
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

TEST_F(WindowDialogsTest, OpenItNowSaysWhereTheFileIsWhenNoProgramTakesIt)
{
    TScriptedDesktop desktop;
    TDesktopServiceGuard desktopGuard(&desktop);
    ModalScript script;
    for (const bool taken : {false, true}) {
        SCOPED_TRACE(taken);
        const QString target = dir.file(QStringLiteral("exported%1.rtf").arg(int(taken)));
        script.Then([&](QDialog& d) {
            auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
            dlg.FileNameEdit->setText(target);
            return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        dialogs.Clear();
        dialogs.QueueAnswer(TDialogAnswer::Yes); // saved: open it now
        desktop.QueueAnswer(taken);
        ASSERT_TRUE(window->SaveAsExport(grid, 3));
        ASSERT_FALSE(desktop.Opened().empty());
        EXPECT_EQ(desktop.Opened().back().toLocalFile(), target);
        const QStringList routines = dialogs.Routines();
        EXPECT_EQ(routines.contains(QStringLiteral("NoProgramToShow")), !taken) << routines.join(u',').toStdString();
        if (!taken)
            EXPECT_TRUE(dialogs.Requests().back().text.contains(QDir::toNativeSeparators(target)));
    }
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

TEST_F(WindowDialogsTest, TheFirstSaveAsOfANewListOffersAFolderThereIsAndTheListsOwnFiles)
{
    // A list never saved; the documents folder the settings name is not there.
    ASSERT_TRUE(window->Data()->MainFile.FileName.isEmpty());
    window->Data()->SuggestedFilename = QStringLiteral("ref");
    SetDefaultFolder(dir.file(QStringLiteral("home/Documents")));
    SetLastOpenedFolder(dir.path());
    ModalScript script;
    QString offered;
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        offered = dlg.FileNameEdit->text();
        files.QueueCancel();
        dlg.BrowseClick();
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(window->SaveAsExport(grid, 4));
    EXPECT_EQ(offered, dir.file(QStringLiteral("ref_") + ListTypeName(kListWordList) + DefaultExtFromListType(kListWordList)));
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_EQ(files.Requests()[0].folder, dir.path());
    // The file dialog lists the list type's own files, not text files.
    EXPECT_TRUE(files.Requests()[0].filter.section(QStringLiteral(";;"), 0, 0).contains(QStringLiteral("(*.lst)")))
        << files.Requests()[0].filter.toStdString();
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
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Layout));
    EXPECT_EQ(script.Runs(), 1);
    const int computed = grid->ColCount() - 1;
    EXPECT_EQ(grid->Cells(computed, 1), QString::number(grid->Cells(2, 1).toDouble() * 2, 'f', 2));
}

TEST_F(WindowDialogsTest, TheConditionsDialogFollowsThePagesAndLetsGoOfClosedData)
{
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::ColourCategories));
    TGridDialogHost* host = FindGridDialogHost(*window);
    ASSERT_NE(host, nullptr);
    TFormTestWhether* form = host->SearchDelColourCatForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ActionTag, TConditionsMode::ColourCategories);
    EXPECT_EQ(form->Grid, grid);
    // "Find" opens the same dialog in its search mode.
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Find));
    EXPECT_EQ(host->SearchDelColourCatForm(), form);
    EXPECT_EQ(form->ActionTag, TConditionsMode::Search);
    // "Search text" is the search dialog without replacing; "Search + Replace" replaces.
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::SearchText));
    ASSERT_NE(host->SearchReplaceDialog(), nullptr);
    EXPECT_TRUE(host->SearchReplaceDialog()->isVisible());
    EXPECT_FALSE(host->SearchReplaceDialog()->replace_too);
    EXPECT_EQ(host->SearchReplaceDialog()->windowTitle(), CVSearch.toString());
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::SearchAndReplace));
    EXPECT_TRUE(host->SearchReplaceDialog()->replace_too);
    host->SearchReplaceDialog()->hide();

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
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Print));
    EXPECT_TRUE(cvtest::readAll(file).startsWith("%PDF"));

    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::PrintPreview));
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
    EXPECT_TRUE(window->HandleDisplayMenuCommand(TagOf(cv::TMenuCommand::ActiveColumnChooser), grid));
    EXPECT_EQ(script.Runs(), 1);
    EXPECT_EQ(list->ActiveSetColumn(), added);
}

TEST_F(WindowDialogsTest, TheWindowsGridsCarryTheirColumnLayouts)
{
    EXPECT_NE(dynamic_cast<TGridColumnLayout*>(window->freq->ColumnPresenter()), nullptr);
    EXPECT_NE(dynamic_cast<TGridColumnLayout*>(window->stats->ColumnPresenter()), nullptr);
}

namespace {

// Python with the script on its command line: its standard output, or an
// empty array when it fails (or takes more than 30 seconds).
QByteArray RunPython(const QString& script, const QStringList& args, QString* error)
{
    // The system's interpreter: its packages (the spreadsheet reader) are the ones set up.
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
    QProcess p;
    p.start(python, QStringList{QStringLiteral("-c"), script} + args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        p.kill();
        *error = QString::fromUtf8(p.readAllStandardError()) + p.errorString();
        return {};
    }
    return p.readAllStandardOutput();
}

// The first two rows of an export as an independent reader finds them: the
// headings (for XML the element names of the first record) and the first
// record's texts; one JSON list of two lists.
constexpr const char* kReadBack = R"PY(
import csv, json, re, sys, xml.etree.ElementTree as ET
kind, name = sys.argv[1], sys.argv[2]
if kind == 'txt':
    with open(name, encoding='utf-8-sig', newline='') as f:
        rows = list(csv.reader(f, delimiter='\t'))
    out = [rows[0], rows[1]]
elif kind == 'xml':
    first = ET.parse(name).getroot()[0]
    out = [[c.tag for c in first], [c.text or '' for c in first]]
elif kind == 'rtf':
    text = open(name, encoding='ascii').read()
    rows = []
    for row in re.findall(r'\\trowd(.*?)\\row', text, re.S):
        cells = re.findall(r'\\intbl(?:\\b|\\qr)? (.*?)(?:\\b0)?\\cell', row, re.S)
        rows.append([re.sub(r'\\u(-?\d+)\?', lambda m: chr(int(m.group(1)) % 65536), c) for c in cells])
    out = rows[:2]
else:
    import openpyxl
    sheet = openpyxl.load_workbook(name).active
    rows = [[('' if v is None else str(v)) for v in r] for r in sheet.iter_rows(max_row=2, values_only=True)]
    out = rows
print(json.dumps(out))
)PY";

QList<QStringList> ReadBack(const QString& kind, const QString& fileName)
{
    QString error;
    const QByteArray json = RunPython(QString::fromUtf8(kReadBack), {kind, fileName}, &error);
    EXPECT_FALSE(json.isEmpty()) << kind.toStdString() << ": " << error.toStdString();
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(json).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

// The save-as dialog answered: the file, the columns typed (empty: as proposed), OK.
std::function<int(QDialog&)> ExportTo(const QString& fileName, const QString& columns = {})
{
    return [fileName, columns](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        dlg.FileNameEdit->setText(fileName);
        // Headings wanted (an XML export turns them off: it names its fields after them).
        dlg.IncludeHeadingsBox->setChecked(true);
        dlg.RangeTextsChange();
        if (!columns.isEmpty())
            dlg.ColumnsEdit->setText(columns);
        return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
}

} // namespace

// What the grid shows is what every export writes: its columns in the order
// shown, hidden ones left out, a computed one with its values.
TEST_F(WindowDialogsTest, EveryExportHasTheGridsColumnsAsItShowsThem)
{
    int texts = -1;
    for (int c = 0; c < grid->ColCount(); ++c)
        if (grid->Cells(c, 0) == QStringLiteral("Texts"))
            texts = c;
    ASSERT_GT(texts, 0);
    grid->SetColumnVisible(texts, false);
    QString error;
    ASSERT_TRUE(ColumnLayoutOf(*grid).AddComputedColumn(QStringLiteral("col(\"Freq.\") *3"), &error))
        << error.toStdString();
    QStringList shown;
    QStringList firstRow;
    for (int c : grid->ShownColumns()) {
        shown << grid->Cells(c, 0);
        firstRow << grid->Cells(c, 1);
    }
    ASSERT_FALSE(shown.contains(QStringLiteral("Texts")));
    ASSERT_EQ(firstRow.last().toDouble(), 3 * grid->Cells(2, 1).toDouble());

    ModalScript script;
    struct TFormat {
        int kind;
        const char* reader;
        const char* name;
    };
    for (const TFormat& f : {TFormat{0, "txt", "grid.txt"}, TFormat{1, "xml", "grid.xml"},
                             TFormat{2, "xlsx", "grid.xlsx"}, TFormat{3, "rtf", "grid.rtf"}}) {
        const QString file = dir.file(QString::fromLatin1(f.name));
        script.Then(ExportTo(file));
        ASSERT_TRUE(window->SaveAsExport(grid, f.kind)) << f.name;
        const QList<QStringList> rows = ReadBack(QString::fromLatin1(f.reader), file);
        ASSERT_EQ(rows.size(), 2) << f.name;
        if (f.kind == 1) {
            // Each column has a tag of its own, made from its heading.
            EXPECT_EQ(rows[0], XMLColumnNames(shown));
            EXPECT_EQ(QSet<QString>(rows[0].begin(), rows[0].end()).size(), shown.size());
            EXPECT_EQ(rows[1], firstRow);
            continue;
        }
        EXPECT_EQ(rows[0], shown) << f.name;
        if (f.kind == 2) {
            // Numbers are numbers in a spreadsheet: compared as numbers.
            ASSERT_EQ(rows[1].size(), firstRow.size());
            for (int c = 0; c < firstRow.size(); ++c)
                EXPECT_DOUBLE_EQ(rows[1][c].toDouble(), firstRow[c].toDouble()) << c;
        } else {
            EXPECT_EQ(rows[1], firstRow) << f.name;
        }
    }

    // Columns chosen by their numbers in the dialog: as shown, the computed one last.
    const QString some = dir.file(QStringLiteral("some.txt"));
    script.Then(ExportTo(some, QStringLiteral("2,3,%1").arg(shown.size())));
    ASSERT_TRUE(window->SaveAsExport(grid, 0));
    EXPECT_EQ(ReadBack(QStringLiteral("txt"), some).value(0),
              (QStringList{shown[1], shown[2], shown.last()}));
    // A column the grid has not got is refused, not dropped unseen.
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        dlg.FileNameEdit->setText(dir.file(QStringLiteral("none.txt")));
        dlg.ColumnsEdit->setText(QStringLiteral("2,%1").arg(shown.size() + 1));
        EXPECT_FALSE(dlg.OKClick());
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(window->SaveAsExport(grid, 0));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("InvalidNumber"));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("none.txt"))));
}

// "Delete" on the set column page takes that set column out of the grid and
// the dialog; the other set columns keep their categories.
TEST_F(WindowDialogsTest, DeletingAnAddedSetColumnLeavesTheOthersWithTheirData)
{
    TCVBaseDataClass& list = *grid->List();
    const int first = list.AddSetColumn(QStringLiteral("Set 2"));
    const int second = list.AddSetColumn(QStringLiteral("Set 3"));
    grid->Refresh();
    const int32_t set3 = list.SetNumberOfColumn(second);
    list.SetACategoryString(0, list.SetNumberOfColumn(first), QStringLiteral("gone"), false);
    list.SetACategoryString(0, set3, QStringLiteral("kept"), false);
    const int columns = grid->ColCount();

    ModalScript script;
    dialogs.QueueAnswer(TDialogAnswer::Yes); // "Delete Set 2?"
    script.Then([&](QDialog& d) {
        auto& form = dynamic_cast<TFormColumns&>(d);
        for (int i = 0; i < form.SetColumnList->count(); ++i)
            if (form.SetColumnList->item(i)->text() == QStringLiteral("Set 2"))
                form.SetColumnList->setCurrentRow(i);
        form.DeleteSetClick();
        return form.result();
    });
    GridDialogHostOf(*window).OpenColumnsDialog(grid);
    EXPECT_EQ(grid->ColCount(), columns - 1);
    QStringList headings;
    for (int c : grid->ShownColumns())
        headings << grid->Cells(c, 0);
    EXPECT_FALSE(headings.contains(QStringLiteral("Set 2")));
    ASSERT_TRUE(headings.contains(QStringLiteral("Set 3")));
    const int set3Column = grid->ShownColumns()[size_t(headings.indexOf(QStringLiteral("Set 3")))];
    int row = 1;
    while (row < grid->RowCount() && grid->EntryOfGridRow(row) != 0)
        ++row;
    EXPECT_EQ(grid->Cells(set3Column, row), QStringLiteral("kept"));

    // Opened again, the dialog no longer lists it.
    QStringList listed;
    script.Then([&](QDialog& d) {
        auto& form = dynamic_cast<TFormColumns&>(d);
        for (int i = 0; i < form.SetColumnList->count(); ++i)
            listed << form.SetColumnList->item(i)->text();
        return int(QDialog::Rejected);
    });
    GridDialogHostOf(*window).OpenColumnsDialog(grid);
    EXPECT_FALSE(listed.contains(QStringLiteral("Set 2")));
    EXPECT_TRUE(listed.contains(QStringLiteral("Set 3")));
}
