#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "grid_dialogs_testutil.h"
#include "model/corvantis_holder.h"
#include "model/tag_handler_base.h"
#include "suite/my_types.h"
#include "suite/text_settings.h"
#include "suite/zip_archive.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;

namespace {

std::vector<int32_t> Numbers(const QString& text, int32_t maximum = 100)
{
    std::vector<int32_t> out{-7};
    EXPECT_TRUE(HumanAbbreviatedNumberListStringAsIntegers(text, maximum, out)) << text.toStdString();
    return out;
}

class SaveAsTest : public GridDialogsTest {
protected:
    void TearDown() override
    {
        current_tool_var = kToolWordList;
        GridDialogsTest::TearDown();
    }
    // A dialog set up for a grid of `columns` columns and `rows` data rows.
    void Setup(int columns, int rows, const TCVExportSettings& current = {}, TGridSelection sel = {0, 1, 0, 1})
    {
        dlg.SetupSaveAs(columns, rows, sel, 0, kListWordList, 7, current, userDir.file(QStringLiteral("out.txt")), 100);
    }
    TSaveAsTxtDlgFeb2012 dlg;
};

// Exports of the small table through a document, as the window does.
class ExportTest : public SaveAsTest {
protected:
    void SetUp() override
    {
        SaveAsTest::SetUp();
        ShowTable();
        doc = std::make_unique<TCorvantisholder>(TTextSettings::Defaults(), kListWordList, nullptr, nullptr, false, false);
    }
    void TearDown() override
    {
        doc.reset();
        SaveAsTest::TearDown();
    }
    // Runs the dialog's OK with the boxes as given and exports.
    QString Export(int format, const QString& name, const std::function<void()>& boxes = {})
    {
        Setup(4, table->Count());
        dlg.FormatCombo->setCurrentIndex(format);
        dlg.FileNameEdit->setText(name);
        if (boxes)
            boxes();
        EXPECT_TRUE(dlg.OKClick());
        doc->ExportSettings = dlg.ExportSettings;
        bool ok = false;
        switch (format) {
        case 1: ok = doc->SaveListAsXML(*table, 7); break;
        case 2: ok = doc->SaveListAsExcel(*table, 7); break;
        case 3: ok = doc->SaveListAsRTF(*table, 7); break;
        default: ok = doc->SaveListAsTXT(*table, 7); break;
        }
        EXPECT_TRUE(ok);
        return dlg.ExportSettings.FileName;
    }
    std::unique_ptr<TCorvantisholder> doc;
};

QString TextOf(const QString& fileName)
{
    QByteArray bytes = cvtest::readAll(fileName);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return QString::fromUtf8(bytes);
}

} // namespace

TEST(NumberLists, SinglesAndRangesInTheOrderTyped)
{
    EXPECT_EQ(Numbers(QStringLiteral("1,3-5")), (std::vector<int32_t>{1, 3, 4, 5}));
    EXPECT_EQ(Numbers(QStringLiteral(" 7 , 2 - 3 ")), (std::vector<int32_t>{7, 2, 3}));
    EXPECT_EQ(Numbers(QStringLiteral("5-3")), (std::vector<int32_t>{3, 4, 5}));
    EXPECT_EQ(Numbers(QStringLiteral("0,1-3,2,1")), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(Numbers(QStringLiteral("8-12,20"), 10), (std::vector<int32_t>{8, 9, 10}));
    EXPECT_EQ(Numbers(QStringLiteral("")), std::vector<int32_t>{});
    EXPECT_EQ(Numbers(QStringLiteral("1,,2,")), (std::vector<int32_t>{1, 2}));
    // A huge range costs no more than the rows there are.
    EXPECT_EQ(Numbers(QStringLiteral("1-2000000000"), 3).size(), 3u);
    std::vector<int32_t> out{42};
    for (const char* bad : {"a", "1-", "-3", "1-b", "1.5", "2;3"})
        EXPECT_FALSE(HumanAbbreviatedNumberListStringAsIntegers(QString::fromLatin1(bad), 100, out)) << bad;
    EXPECT_EQ(out, std::vector<int32_t>{42});
}

TEST_F(SaveAsTest, DefaultColumnTexts)
{
    Setup(2, 10);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("1,2"));
    Setup(5, 10);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("1,2-5"));
    dlg.IncludeNumbersBox->setChecked(false);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("2-5"));
    Setup(2, 10);
    dlg.IncludeNumbersBox->setChecked(false);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("2"));
    current_tool_var = kToolWithoutRowNumbers;
    Setup(5, 10);
    dlg.IncludeNumbersBox->setChecked(false);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("1-5"));
    current_tool_var = kToolWordList;
    // The selection only: 1-based columns, the row numbers in front when wanted.
    Setup(5, 10, {}, TGridSelection{2, 3, 3, 4});
    dlg.ColumnsSelectionBox->setChecked(true);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("1,3-4"));
    dlg.IncludeNumbersBox->setChecked(false);
    EXPECT_EQ(dlg.ColumnsEdit->text(), QStringLiteral("3-4"));
}

TEST_F(SaveAsTest, DefaultRowTexts)
{
    Setup(4, 10);
    EXPECT_EQ(dlg.RowsEdit->text(), QStringLiteral("0,1-10"));
    dlg.IncludeHeadingsBox->setChecked(false);
    EXPECT_EQ(dlg.RowsEdit->text(), QStringLiteral("1-10"));
    dlg.IncludeHeadingsBox->setChecked(true);
    dlg.selection = {0, 4, 3, 4};
    dlg.RowsSelectionBox->setChecked(true);
    EXPECT_EQ(dlg.RowsEdit->text(), QStringLiteral("0,4"));
    dlg.SetupSaveAs(4, 10, {}, 2, kListWordList, 7, {}, QString(), 100);
    EXPECT_EQ(dlg.RowsEdit->text(), QStringLiteral("0,1,2,3-10"));
    EXPECT_EQ(dlg.IncludeHeadingsBox->text(), QStringLiteral("include headers and headings"));
    // A statistics grid is saved the other way round.
    dlg.SetupSaveAs(4, 10, {}, 0, kListStatistics, 8, {}, QString(), 100);
    EXPECT_EQ(dlg.AllColumnsSpecified, 10);
    EXPECT_EQ(dlg.AllRowsSpecified, 4);
}

TEST_F(SaveAsTest, TheFormatNamesTheFileAndTheCaption)
{
    Setup(4, 10);
    dlg.FormatChange(1);
    EXPECT_EQ(dlg.FileNameEdit->text(), userDir.file(QStringLiteral("out.xml")));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Save as XML"));
    dlg.FormatChange(2);
    EXPECT_TRUE(dlg.FileNameEdit->text().endsWith(QStringLiteral("out.xlsx")));
    dlg.FormatChange(4);
    EXPECT_TRUE(dlg.FileNameEdit->text().endsWith(DefaultExtFromListType(kListWordList)));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Save as ") + ListTypeName(kListWordList));
    EXPECT_TRUE(dlg.Filter.startsWith(QStringLiteral("Text files (*.txt);;XML files (*.xml)")));
    EXPECT_TRUE(dlg.TopXML.startsWith(QStringLiteral("<?xml version=\"1.0\"?>\r\n<")));
    EXPECT_TRUE(dlg.BottomXML.startsWith(QStringLiteral("\r\n</")));
}

TEST_F(SaveAsTest, OKFillsTheExportRecord)
{
    Setup(5, 10);
    dlg.ColumnsEdit->setText(QStringLiteral("1,3-4"));
    dlg.RowsEdit->setText(QStringLiteral("0,2-5"));
    dlg.SeparateThousandsBox->setChecked(true);
    dlg.FileNameEdit->setText(QStringLiteral("relative.txt"));
    dlg.StartFolder = userDir.path();
    ASSERT_TRUE(dlg.OKClick());
    const TCVExportSettings& e = dlg.ExportSettings;
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(e.AllColumns);
    EXPECT_FALSE(e.AllRows);
    EXPECT_EQ(e.Columns, (std::vector<int32_t>{1, 3, 4}));
    EXPECT_EQ(e.Rows, (std::vector<int32_t>{0, 2, 3, 4, 5}));
    EXPECT_EQ(e.FirstColumn, 1);
    EXPECT_EQ(e.LastColumn, 4);
    EXPECT_EQ(e.FirstRow, 0);
    EXPECT_EQ(e.LastRow, 5);
    EXPECT_TRUE(e.SeparateThousands);
    EXPECT_TRUE(e.IncludeNumbers);
    EXPECT_EQ(e.Separator, QStringLiteral("\t"));
    EXPECT_EQ(e.FileName, userDir.file(QStringLiteral("relative.txt")));
    EXPECT_EQ(e.Format, TSaveAsFormat::Text);
}

TEST_F(SaveAsTest, ListsCoveringEverythingMeanAll)
{
    Setup(5, 10);
    ASSERT_TRUE(dlg.OKClick());
    EXPECT_TRUE(dlg.ExportSettings.AllColumns);
    EXPECT_TRUE(dlg.ExportSettings.AllRows);
    EXPECT_TRUE(dlg.ExportSettings.Columns.empty());
    EXPECT_EQ(dlg.ExportSettings.LastColumn, 5);
    EXPECT_EQ(dlg.ExportSettings.LastRow, 10);
    // A list ending on the last row that leaves rows out is kept as typed.
    Setup(5, 10);
    dlg.RowsEdit->setText(QStringLiteral("0,6-10"));
    ASSERT_TRUE(dlg.OKClick());
    EXPECT_FALSE(dlg.ExportSettings.AllRows);
    EXPECT_EQ(dlg.ExportSettings.Rows.size(), 6u);
}

TEST_F(SaveAsTest, XMLLeavesTheHeadingsOut)
{
    Setup(4, 10);
    dlg.FormatCombo->setCurrentIndex(1);
    ASSERT_TRUE(dlg.IncludeHeadingsBox->isChecked());
    ASSERT_TRUE(dlg.OKClick());
    EXPECT_FALSE(dlg.IncludeHeadingsBox->isChecked());
    EXPECT_FALSE(dlg.ExportSettings.IncludeHeadings);
    EXPECT_EQ(dlg.RowsEdit->text(), QStringLiteral("1-10"));
    EXPECT_TRUE(dlg.ExportSettings.AllRows);
    EXPECT_EQ(dlg.ExportSettings.TopXML, dlg.TopXML);
}

TEST_F(SaveAsTest, SeparatorIsTheFirstCharacterSpecifiedElseATab)
{
    Setup(4, 10);
    dlg.SpecifyRadio->setChecked(true);
    dlg.SeparatorEdit->clear();
    ASSERT_TRUE(dlg.OKClick());
    EXPECT_EQ(dlg.ExportSettings.Separator, QStringLiteral("\t"));
    Setup(4, 10);
    dlg.SpecifyRadio->setChecked(true);
    dlg.SeparatorEdit->setText(QStringLiteral(";,"));
    ASSERT_TRUE(dlg.OKClick());
    EXPECT_EQ(dlg.ExportSettings.Separator, QStringLiteral(";"));
    // The stored separator comes back when the dialog is set up again.
    Setup(4, 10, dlg.ExportSettings);
    EXPECT_TRUE(dlg.SpecifyRadio->isChecked());
    EXPECT_EQ(dlg.SeparatorEdit->text(), QStringLiteral(";"));
}

TEST_F(SaveAsTest, BadInputKeepsTheDialogOpen)
{
    Setup(4, 10);
    dlg.FileNameEdit->clear();
    EXPECT_FALSE(dlg.OKClick());
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("ProvideAFilenameOrCancel"));
    dlg.FileNameEdit->setText(userDir.path() + QStringLiteral("/"));
    EXPECT_FALSE(dlg.OKClick());
    dlg.FileNameEdit->setText(userDir.file(QStringLiteral("x.txt")));
    dlg.RowsEdit->setText(QStringLiteral("1-x"));
    EXPECT_FALSE(dlg.OKClick());
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("InvalidNumber"));
    EXPECT_NE(dlg.result(), QDialog::Accepted);
}

TEST_F(SaveAsTest, AnExistingFileIsKeptAsTheBackupOnlyWhenTheUserAgrees)
{
    const QString file = userDir.write(QStringLiteral("old.txt"), "first");
    userDir.write(QStringLiteral("old.bak"), "older");
    Setup(4, 10);
    dlg.FileNameEdit->setText(file);
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_FALSE(dlg.OKClick());
    EXPECT_EQ(cvtest::readAll(file), QByteArray("first"));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    EXPECT_TRUE(dlg.OKClick());
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("OKToOverwriteWithBackup"));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(cvtest::readAll(userDir.file(QStringLiteral("old.bak"))), QByteArray("first"));
}

TEST_F(SaveAsTest, BrowseTakesTheFileDialogsChoice)
{
    Setup(4, 10);
    files.QueueAnswer(userDir.file(QStringLiteral("chosen.txt")));
    dlg.BrowseClick();
    EXPECT_EQ(dlg.FileNameEdit->text(), userDir.file(QStringLiteral("chosen.txt")));
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_TRUE(files.Requests()[0].save);
    EXPECT_EQ(files.Requests()[0].filter, dlg.Filter);
    files.QueueCancel();
    dlg.BrowseClick();
    EXPECT_EQ(dlg.FileNameEdit->text(), userDir.file(QStringLiteral("chosen.txt")));
}

TEST_F(ExportTest, TextFilesHoldTheChosenRowsAndColumnsWithTheirSeparator)
{
    const QString all = Export(0, userDir.file(QStringLiteral("all.txt")));
    EXPECT_EQ(TextOf(all), QStringLiteral("N\tWord\tFreq.\tRatio\r\n1\tthe\t50\t0.50\r\n2\tCat\t20\t0.25\r\n"
                                          "3\tsat\t15\t0.13\r\n4\tON\t10\t0.00\r\n5\tmat\t5\t2.50\r\n"));
    const QString part = Export(0, userDir.file(QStringLiteral("part.txt")), [this] {
        dlg.ColumnsEdit->setText(QStringLiteral("2,3"));
        dlg.RowsEdit->setText(QStringLiteral("2-3"));
        dlg.SpecifyRadio->setChecked(true);
        dlg.SeparatorEdit->setText(QStringLiteral(";"));
    });
    EXPECT_EQ(TextOf(part), QStringLiteral("Cat;20\r\nsat;15\r\n"));
    const QString noNumbers = Export(0, userDir.file(QStringLiteral("words.txt")), [this] {
        dlg.IncludeNumbersBox->setChecked(false);
        dlg.IncludeHeadingsBox->setChecked(false);
    });
    EXPECT_TRUE(TextOf(noNumbers).startsWith(QStringLiteral("the\t50\t0.50\r\n")));
}

TEST_F(ExportTest, ThousandsAreSeparatedWhenAsked)
{
    static_cast<griddialogs_test::WordEntry&>((*table)[0]).freq = 1234567;
    const QString file = Export(0, userDir.file(QStringLiteral("big.txt")), [this] {
        dlg.SeparateThousandsBox->setChecked(true);
        dlg.RowsEdit->setText(QStringLiteral("1"));
        dlg.ColumnsEdit->setText(QStringLiteral("3"));
    });
    EXPECT_EQ(TextOf(file).trimmed(), QLocale(table->CollationName()).toString(1234567));
}

TEST_F(ExportTest, XMLFilesNameTheirFieldsAfterTheHeadings)
{
    const QString file = Export(1, userDir.file(QStringLiteral("list.xml")));
    EXPECT_TRUE(file.endsWith(QStringLiteral(".xml")));
    const QString text = TextOf(file);
    EXPECT_TRUE(text.startsWith(dlg.TopXML));
    EXPECT_TRUE(text.contains(QStringLiteral("<row><N>1</N><Word>the</Word><Freq.>50</Freq.><Ratio>0.50</Ratio></row>")));
    EXPECT_FALSE(text.contains(QStringLiteral("<Word>Word</Word>")));
    EXPECT_TRUE(text.endsWith(dlg.BottomXML));
}

TEST_F(ExportTest, RTFFilesHoldATableRowPerRow)
{
    const QString file = Export(3, userDir.file(QStringLiteral("list.rtf")), [this] {
        dlg.RowsEdit->setText(QStringLiteral("0,1-2"));
    });
    const QByteArray rtf = cvtest::readAll(file);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_EQ(rtf.count("\\row"), 3);
    EXPECT_TRUE(rtf.contains("Cat"));
    EXPECT_FALSE(rtf.contains("sat"));
}

TEST_F(ExportTest, SpreadsheetsHoldTheCells)
{
    // A name without extension gets the format's.
    const QString file = Export(2, userDir.file(QStringLiteral("list")), [this] {
        dlg.ColumnsEdit->setText(QStringLiteral("2-3"));
    });
    EXPECT_TRUE(file.endsWith(QStringLiteral(".xlsx")));
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(file));
    TMemoryStream sheet;
    ASSERT_TRUE(zip.ExtractToStream(QStringLiteral("xl/worksheets/sheet1.xml"), sheet));
    const QByteArray xml(reinterpret_cast<const char*>(sheet.Memory()), qsizetype(sheet.Size()));
    EXPECT_TRUE(xml.contains("<v>50</v>"));
    EXPECT_EQ(xml.count("<row"), 6); // headings and five rows
    // The texts stand in their cells (the sheet is written as it comes, with no table of shared strings).
    EXPECT_TRUE(xml.contains("<t>mat</t>"));
    EXPECT_FALSE(xml.contains("Ratio"));
}
