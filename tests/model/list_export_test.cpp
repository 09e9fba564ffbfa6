#include "model_testutil.h"

#include "model/list_export.h"
#include "suite/dialogs.h"
#include "suite/zip_archive.h"
#include "support/test_support.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

using cvtest::TTestDocument;

namespace {

void Fill(TTestDocument& d)
{
    d.words.AddWord(QStringLiteral("the"), 1234567);
    d.words.AddWord(QStringLiteral("<b>&co"), 2);
    d.words.AddWord(QStringLiteral("naïve"), 30);
}

QString Text(const QString& file)
{
    QByteArray b = cvtest::readAll(file);
    EXPECT_TRUE(b.startsWith("\xEF\xBB\xBF"));
    return QString::fromUtf8(b.mid(3));
}

} // namespace

TEST(ListExport, PlainTextFollowsRowsColumnsAndSeparators)
{
    cvtest::TempDir dir;
    TTestDocument d;
    Fill(d);
    auto& s = d.ExportSettings;
    s.FileName = dir.file(QStringLiteral("all.txt"));
    ASSERT_TRUE(d.SaveListAsTXT(d.words));
    EXPECT_EQ(Text(s.FileName), QStringLiteral("N\tWord\tFreq.\r\n1\tthe\t1234567\r\n2\t<b>&co\t2\r\n3\tnaïve\t30\r\n"));

    s.FileName = dir.file(QStringLiteral("some.txt"));
    s.AllRows = false;
    s.Rows = {0, 3};
    s.AllColumns = true;
    s.IncludeNumbers = false;
    s.SeparateThousands = true;
    s.Separator = QStringLiteral(";");
    ASSERT_TRUE(d.SaveListAsTXT(d.words));
    EXPECT_EQ(Text(s.FileName), QStringLiteral("Word;Freq.\r\nnaïve;30\r\n"));

    s.FileName = dir.file(QStringLiteral("range.txt"));
    s.Rows.clear();
    s.FirstRow = 1;
    s.LastRow = 1;
    s.AllColumns = false;
    s.Columns = {3, 2};
    ASSERT_TRUE(d.SaveListAsTXT(d.words));
    EXPECT_EQ(Text(s.FileName), QStringLiteral("1,234,567;the\r\n"));
}

TEST(ListExport, XmlIsWellFormedWithOneElementPerColumn)
{
    cvtest::TempDir dir;
    TTestDocument d;
    Fill(d);
    d.ExportSettings.FileName = dir.file(QStringLiteral("l.xml"));
    ASSERT_TRUE(d.SaveListAsXML(d.words));
    QXmlStreamReader x(cvtest::readAll(d.ExportSettings.FileName));
    int rows = 0;
    QStringList words;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement() && x.name() == QLatin1String("row"))
            ++rows;
        if (x.isStartElement() && x.name() == QLatin1String("Word"))
            words << x.readElementText();
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(words, QStringList({"the", "<b>&co", "naïve"}));
    EXPECT_EQ(cv::LegalXMLName(QStringLiteral("Freq. %")), QStringLiteral("Freq.__"));
    EXPECT_EQ(cv::LegalXMLName(QStringLiteral("1st")), QStringLiteral("_1st"));
    EXPECT_EQ(cv::LegalXMLName(QStringLiteral("xmlish")), QStringLiteral("_xmlish"));
}

TEST(ListExport, RtfEscapesAndSpreadsheetOpens)
{
    cvtest::TempDir dir;
    TTestDocument d;
    Fill(d);
    d.ExportSettings.FileName = dir.file(QStringLiteral("l.rtf"));
    ASSERT_TRUE(d.SaveListAsRTF(d.words));
    const QByteArray rtf = cvtest::readAll(d.ExportSettings.FileName);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("na\\u239?ve"));
    EXPECT_TRUE(rtf.trimmed().endsWith('}'));
    EXPECT_EQ(rtf.count("\\row"), 4);

    d.ExportSettings.FileName = dir.file(QStringLiteral("l.xlsx"));
    ASSERT_TRUE(d.SaveListAsExcel(d.words));
    cv::TZipArchive z;
    ASSERT_TRUE(z.OpenArchive(d.ExportSettings.FileName));
    cv::TMemoryStream sheet;
    ASSERT_TRUE(z.ExtractToStream(QStringLiteral("xl/worksheets/sheet1.xml"), sheet));
    const QByteArray xml = cvtest::toBytes(sheet.Bytes());
    EXPECT_TRUE(xml.contains("1234567")) << "numbers go in as numbers";
}

TEST(ListExport, NoFileNameOrAnUnwritableOneIsAClearFailure)
{
    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    TTestDocument d;
    Fill(d);
    EXPECT_FALSE(d.SaveListAsTXT(d.words));
    d.ExportSettings.FileName = dir.file(QStringLiteral("no/such/folder/x.txt"));
    EXPECT_FALSE(d.SaveListAsXML(d.words));
    ASSERT_EQ(dialogs.Requests().size(), 2u);
    EXPECT_TRUE(dialogs.Requests()[1].text.contains(QStringLiteral("x.txt")));
}
