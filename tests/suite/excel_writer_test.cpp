#include "suite/excel_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>

#include "support/test_support.h"

using cv::TExcelWriter;

namespace {

// Reads an .xlsx back with python's zipfile and its XML parser: the sheet
// names in order, and per sheet its cells (reference -> [type, value] with
// shared strings resolved), merged ranges, column widths and whether the
// cell is bold.
const char* kReadScript = R"(
import sys, zipfile, json, re
import xml.etree.ElementTree as ET
ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
wb = ET.fromstring(z.read("xl/workbook.xml"))
rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
targets = {r.get("Id"): r.get("Target") for r in rels}
shared = []
if "xl/sharedStrings.xml" in z.namelist():
    for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", ns):
        shared.append("".join(t.text or "" for t in si.iter("{%s}t" % ns["m"])))
styles = ET.fromstring(z.read("xl/styles.xml"))
fonts = styles.find("m:fonts", ns).findall("m:font", ns)
xfs = styles.find("m:cellXfs", ns).findall("m:xf", ns)
def bold(s):
    font = fonts[int(xfs[int(s)].get("fontId", "0"))]
    return font.find("m:b", ns) is not None
out = {"sheets": []}
for sh in wb.find("m:sheets", ns):
    target = targets[sh.get("{%s}id" % ns["r"])]
    x = ET.fromstring(z.read("xl/" + target))
    cells = {}
    for c in x.iter("{%s}c" % ns["m"]):
        v = c.find("m:v", ns)
        t = c.get("t", "n")
        if v is None:
            is_ = c.find("m:is", ns)
            val = "".join(tt.text or "" for tt in is_.iter("{%s}t" % ns["m"])) if is_ is not None else None
        elif t == "s":
            val = shared[int(v.text)]
        else:
            val = float(v.text)
        cells[c.get("r")] = [t, val, bold(c.get("s", "0"))]
    merges = [m.get("ref") for m in x.iter("{%s}mergeCell" % ns["m"])]
    cols = [[int(c.get("min")), float(c.get("width"))] for c in x.iter("{%s}col" % ns["m"])]
    out["sheets"].append({"name": sh.get("name"), "cells": cells, "merges": merges, "cols": cols})
print(json.dumps(out))
)";

QJsonObject readBack(const QString& xlsx)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QProcess p;
    p.start(exe, {QStringLiteral("-c"), QString::fromUtf8(kReadScript), xlsx});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

bool havePython() { return !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty(); }

} // namespace

TEST(ExcelWriter, KeyWordSummaryLayoutReadsBackFromTheXlsx)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    TExcelWriter x;
    x.StartAnExcelFile();
    ASSERT_EQ(x.ExcelSheetCount(), 1);
    while (x.ExcelSheetCount() < 3)
        x.AddASheet();
    ASSERT_TRUE(x.SetAnActiveSheetname(1, QStringLiteral("Frequency")));
    ASSERT_TRUE(x.SetAnActiveSheetname(2, QStringLiteral("Alphabetical")));
    ASSERT_TRUE(x.SetAnActiveSheetname(3, QString::fromUtf8("Détails 日本")));

    cv::TExcelFormat boldFormat;
    boldFormat.bold = true;
    const int bold = x.AddAFormat(boldFormat);
    for (int sheet = 1; sheet <= 3; ++sheet) {
        ASSERT_TRUE(x.SetAnActiveSheet(sheet));
        ASSERT_TRUE(x.MergeCells(1, 1, 1, -1, 4));
        ASSERT_TRUE(x.SetACellString(1, 1, QStringLiteral("SORT: SHEET %1").arg(sheet), bold));
    }
    ASSERT_TRUE(x.SetAnActiveSheet(1));
    ASSERT_TRUE(x.SetACellString(2, 2, QStringLiteral("Words")));
    ASSERT_TRUE(x.SetACellString(3, 2, QString::fromUtf8("straße")));
    ASSERT_TRUE(x.SetACellDouble(3, 3, 1234));
    ASSERT_TRUE(x.SetACellDouble(3, 4, 0.125));
    ASSERT_TRUE(x.SetACellDouble(4, 3, std::nan("")));
    ASSERT_TRUE(x.SetACellString(4, 2, QStringLiteral("first")));
    ASSERT_TRUE(x.SetACellString(4, 2, QStringLiteral("replaced")));
    ASSERT_TRUE(x.SetAColumnWidth(2, 30));

    const QString file = dir.file(QStringLiteral("kws.xlsx"));
    ASSERT_TRUE(x.SaveAnExcelFile(file)) << x.ErrorString().toStdString();

    const QJsonArray sheets = readBack(file).value(QStringLiteral("sheets")).toArray();
    ASSERT_EQ(sheets.size(), 3);
    EXPECT_EQ(sheets[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Frequency"));
    EXPECT_EQ(sheets[1].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Alphabetical"));
    EXPECT_EQ(sheets[2].toObject().value(QStringLiteral("name")).toString(), QString::fromUtf8("Détails 日本"));
    for (int s = 0; s < 3; ++s) {
        const QJsonObject sheet = sheets[s].toObject();
        EXPECT_EQ(sheet.value(QStringLiteral("merges")).toArray(), QJsonArray{QStringLiteral("A1:D1")});
        const QJsonArray a1 = sheet.value(QStringLiteral("cells")).toObject().value(QStringLiteral("A1")).toArray();
        ASSERT_EQ(a1.size(), 3);
        EXPECT_EQ(a1[1].toString(), QStringLiteral("SORT: SHEET %1").arg(s + 1));
        EXPECT_TRUE(a1[2].toBool()) << "the title keeps its bold format";
    }
    const QJsonObject cells = sheets[0].toObject().value(QStringLiteral("cells")).toObject();
    EXPECT_EQ(cells.value(QStringLiteral("B2")).toArray()[1].toString(), QStringLiteral("Words"));
    EXPECT_EQ(cells.value(QStringLiteral("B3")).toArray()[1].toString(), QString::fromUtf8("straße"));
    EXPECT_EQ(cells.value(QStringLiteral("C3")).toArray()[0].toString(), QStringLiteral("n"));
    EXPECT_EQ(cells.value(QStringLiteral("C3")).toArray()[1].toDouble(), 1234.0);
    EXPECT_EQ(cells.value(QStringLiteral("D3")).toArray()[1].toDouble(), 0.125);
    EXPECT_EQ(cells.value(QStringLiteral("C4")).toArray()[1].toString(), QStringLiteral("NaN"));
    EXPECT_EQ(cells.value(QStringLiteral("B4")).toArray()[1].toString(), QStringLiteral("replaced"));
    EXPECT_TRUE(cells.value(QStringLiteral("B1")).toArray().at(1).isNull()) << "cells inside a merge stay blank";
    const QJsonArray cols = sheets[0].toObject().value(QStringLiteral("cols")).toArray();
    ASSERT_EQ(cols.size(), 1);
    EXPECT_EQ(cols[0].toArray()[0].toInt(), 2);
    EXPECT_NEAR(cols[0].toArray()[1].toDouble(), 30.7, 0.8) << "Excel stores the width with its padding";

    // The workbook stays open: more cells and a second save.
    ASSERT_TRUE(x.SetAnActiveSheet(2));
    ASSERT_TRUE(x.SetACellDouble(5, 5, -7.5));
    ASSERT_TRUE(x.SaveAnExcelFile(file));
    const QJsonObject second = readBack(file).value(QStringLiteral("sheets")).toArray()[1].toObject();
    EXPECT_EQ(second.value(QStringLiteral("cells")).toObject().value(QStringLiteral("E5")).toArray()[1].toDouble(), -7.5);
}

TEST(ExcelWriter, SheetNamesAreMadeValidAndUnique)
{
    TExcelWriter x;
    x.StartAnExcelFile();
    x.AddASheet(QStringLiteral("a/b:c[d]*?\\"));
    EXPECT_EQ(x.SheetName(2), QStringLiteral("a_b_c_d____"));
    x.AddASheet(QStringLiteral("SHEET1"));
    EXPECT_EQ(x.SheetName(3), QStringLiteral("SHEET1 (2)")) << "names are unique whatever their case";
    x.AddASheet(QString(40, u'x'));
    EXPECT_EQ(x.SheetName(4).size(), 31);
    x.AddASheet(QString(40, u'x'));
    EXPECT_EQ(x.SheetName(5), QString(27, u'x') + QStringLiteral(" (2)"));
    x.AddASheet(QStringLiteral("'quoted'"));
    EXPECT_EQ(x.SheetName(6), QStringLiteral("quoted"));
    EXPECT_TRUE(x.SetAnActiveSheetname(1, QStringLiteral("quoted")));
    EXPECT_EQ(x.SheetName(1), QStringLiteral("quoted (2)"));
    EXPECT_TRUE(x.SetAnActiveSheetname(6, QStringLiteral("quoted"))) << "a sheet may keep its own name";
    EXPECT_EQ(x.SheetName(6), QStringLiteral("quoted"));
    EXPECT_EQ(x.ActiveSheet(), 6);
    EXPECT_FALSE(x.SetAnActiveSheet(7));
    EXPECT_FALSE(x.SetAnActiveSheet(0));

    cvtest::TempDir dir;
    EXPECT_TRUE(x.SaveAnExcelFile(dir.file(QStringLiteral("names.xlsx")))) << x.ErrorString().toStdString();
}

TEST(ExcelWriter, RefusesWhatASheetCannotHold)
{
    TExcelWriter x;
    EXPECT_FALSE(x.SetACellString(1, 1, QStringLiteral("before start")));
    EXPECT_EQ(x.AddASheet(), 0);
    x.StartAnExcelFile();
    EXPECT_FALSE(x.SetACellString(0, 1, QStringLiteral("row 0")));
    EXPECT_FALSE(x.SetACellDouble(1, TExcelWriter::kMaxColumns + 1, 1));
    EXPECT_FALSE(x.SetACellDouble(TExcelWriter::kMaxRows + 1, 1, 1));
    EXPECT_TRUE(x.SetACellDouble(TExcelWriter::kMaxRows, TExcelWriter::kMaxColumns, 1));
    EXPECT_FALSE(x.SetACellString(2, 2, QString(TExcelWriter::kMaxStringLength + 1, u'a'))) << "cut texts are reported";
    EXPECT_TRUE(x.MergeCells(3, 1, 2, -1, 3));
    EXPECT_FALSE(x.MergeCells(4, 3, 1, -1, 2)) << "overlapping merges make a broken file";
    EXPECT_TRUE(x.MergeCells(5, 1, 1, -1, 1)) << "a single cell needs no merge";
    EXPECT_FALSE(x.SetAColumnWidth(1, -3));

    cvtest::TempDir dir;
    const QString nowhere = dir.file(QStringLiteral("no such folder/out.xlsx"));
    EXPECT_FALSE(x.SaveAnExcelFile(nowhere));
    EXPECT_TRUE(x.ErrorString().contains(QStringLiteral("out.xlsx"))) << x.ErrorString().toStdString();

    const QString existing = dir.write(QStringLiteral("keep.xlsx"), QByteArrayLiteral("old"));
    x.CloseAnExcelFile();
    EXPECT_FALSE(x.SaveAnExcelFile(existing));
    EXPECT_EQ(cvtest::readAll(existing), QByteArrayLiteral("old")) << "a failed save leaves the old file";
}

namespace {

int OpenFiles() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

} // namespace

// A sheet written as its rows come reads back as a workbook kept whole
// would: its name, the heading's format, texts in their cells, numbers as
// numbers, and the share packed told while the library packs it.
TEST(ExcelSheetStream, RowsWrittenAsTheyComeReadBack)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    cv::TExcelSheetStream x;
    const QString file = dir.file(QStringLiteral("stream.xlsx"));
    ASSERT_TRUE(x.Start(file, QStringLiteral("word list: [all]"))) << x.ErrorString().toStdString();
    cv::TExcelFormat boldFormat;
    boldFormat.bold = true;
    const int bold = x.AddAFormat(boldFormat);
    ASSERT_TRUE(x.SetACellString(1, 1, QStringLiteral("Word"), bold));
    ASSERT_TRUE(x.SetACellString(1, 2, QStringLiteral("Freq."), bold));
    ASSERT_TRUE(x.SetACellString(2, 1, QString::fromUtf8("straße")));
    ASSERT_TRUE(x.SetACellDouble(2, 2, 1234));
    ASSERT_TRUE(x.SetACellString(3, 1, QStringLiteral("<the> & \"a\"")));
    ASSERT_TRUE(x.SetACellDouble(3, 2, std::nan("")));
    EXPECT_FALSE(x.SetACellString(3, 3, QString(TExcelWriter::kMaxStringLength + 1, u'x'))) << "cut to what a cell holds";
    std::vector<double> shares;
    ASSERT_TRUE(x.Finish([&](double share) {
        shares.push_back(share);
        return true;
    })) << x.ErrorString().toStdString();
    ASSERT_FALSE(shares.empty());
    EXPECT_EQ(shares.back(), 1.0);

    const QJsonArray sheets = readBack(file).value(QStringLiteral("sheets")).toArray();
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("word list_ _all_"));
    const QJsonObject cells = sheets[0].toObject().value(QStringLiteral("cells")).toObject();
    EXPECT_EQ(cells.value(QStringLiteral("A1")).toArray()[1].toString(), QStringLiteral("Word"));
    EXPECT_TRUE(cells.value(QStringLiteral("B1")).toArray()[2].toBool());
    EXPECT_FALSE(cells.value(QStringLiteral("A2")).toArray()[2].toBool());
    EXPECT_EQ(cells.value(QStringLiteral("A2")).toArray()[1].toString(), QString::fromUtf8("straße"));
    EXPECT_EQ(cells.value(QStringLiteral("B2")).toArray()[0].toString(), QStringLiteral("n"));
    EXPECT_EQ(cells.value(QStringLiteral("B2")).toArray()[1].toDouble(), 1234.0);
    EXPECT_EQ(cells.value(QStringLiteral("A3")).toArray()[1].toString(), QStringLiteral("<the> & \"a\""));
    EXPECT_EQ(cells.value(QStringLiteral("B3")).toArray()[1].toString(), QStringLiteral("NaN"));
    EXPECT_EQ(cells.value(QStringLiteral("C3")).toArray()[1].toString().size(), TExcelWriter::kMaxStringLength);
}

// A process that can start no thread (its address space leaves no room for
// a thread's stack) still finishes its sheet: the packing is done on the
// calling thread, which hears of it once it is done.
TEST(ExcelSheetStream, ASheetIsFinishedWhenNoThreadCanStart)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    const QString file = dir.file(QStringLiteral("nothreads.xlsx"));
    int result = -1;
    const QString text = cvtest::runInChild(
        [&] {
            cv::TExcelSheetStream x;
            if (!x.Start(file, QStringLiteral("s")) || !x.SetACellString(1, 1, QStringLiteral("word")) || !x.SetACellDouble(1, 2, 7))
                return x.ErrorString();
            cvtest::limitAddressSpace(4 << 20);
            std::vector<double> shares;
            const bool finished = x.Finish([&](double share) {
                shares.push_back(share);
                return true;
            });
            return QStringLiteral("finished %1, last share %2").arg(finished ? QStringLiteral("yes") : x.ErrorString()).arg(shares.empty() ? -1.0 : shares.back());
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text.toStdString(), "finished yes, last share 1");
    const QJsonObject cells = readBack(file).value(QStringLiteral("sheets")).toArray()[0].toObject().value(QStringLiteral("cells")).toObject();
    EXPECT_EQ(cells.value(QStringLiteral("A1")).toArray()[1].toString(), QStringLiteral("word"));
    EXPECT_EQ(cells.value(QStringLiteral("B1")).toArray()[1].toDouble(), 7.0);
}

// Rows go forward only, and nothing is under the name before the sheet is
// finished: a sheet dropped, or stopped while it is packed, leaves the file
// that was there as it was, no temporary file behind, and no file open.
TEST(ExcelSheetStream, AnUnfinishedSheetLeavesTheOldFileAndNoTracesBehind)
{
    cvtest::TempDir dir;
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    const QString file = dir.write(QStringLiteral("old.xlsx"), QByteArray("old"));
    const int openBefore = OpenFiles();
    {
        cv::TExcelSheetStream x;
        ASSERT_TRUE(x.Start(file, QStringLiteral("s")));
        for (int r = 1; r <= 2000; ++r)
            ASSERT_TRUE(x.SetACellDouble(r, 1, r));
        EXPECT_FALSE(x.SetACellDouble(1999, 1, 0));
        EXPECT_TRUE(x.ErrorString().contains(QStringLiteral("Row 1999"))) << x.ErrorString().toStdString();
    }
    EXPECT_EQ(cvtest::readAll(file), QByteArray("old"));
    EXPECT_EQ(OpenFiles(), openBefore);

    cv::TExcelSheetStream stopped;
    ASSERT_TRUE(stopped.Start(file, QStringLiteral("s")));
    ASSERT_TRUE(stopped.SetACellString(1, 1, QStringLiteral("new")));
    EXPECT_FALSE(stopped.Finish([](double) { return false; }));
    EXPECT_TRUE(stopped.Stopped());
    EXPECT_EQ(cvtest::readAll(file), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.xlsx")});
    EXPECT_EQ(OpenFiles(), openBefore);
    if (tmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmp);
}
