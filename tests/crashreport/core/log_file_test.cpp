#include "crashreport/core/log_file.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

#include "python_oracle.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// A report entry as the report writer lays it out: the version line, the
// general information, and a table.
std::string Entry(const std::string& id, const std::string& extraValue = "")
{
    std::string e = "Crashbox 6.1.03\r\n\r\n"
                    "Application:\r\n"
                    "-----------------------------\r\n"
                    "  1.1 Start Date      : Mon, 4 Mar 2024 10:00:00\r\n"
                    "  1.3 Version Number  : 1.2.0\r\n"
                    "\r\n"
                    "Exception:\r\n"
                    "-----------------------------------------------\r\n"
                    "  2.1 Date          : Mon, 4 Mar 2024 10:05:00\r\n"
                    "  2.7 ID            : " + id + "\r\n";
    if (!extraValue.empty())
        e += "  2.9 Note          : " + extraValue + "\r\n";
    e += "\r\n"
         "Call Stack Information:\r\n"
         "--------------------------\r\n"
         "|Address |Module   |\r\n"
         "--------------------------";
    return e;
}

// Points the library's data folder at a folder of the test while it runs.
struct DataFolder {
    explicit DataFolder(const QString& path)
    {
        old = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", path.toUtf8());
    }
    ~DataFolder() { qputenv("XDG_DATA_HOME", old); }
    QByteArray old;
};

} // namespace

TEST(LogFile, LoadCutsEntriesKeepsTablesOnlyAndMendsLineBreaks)
{
    cvtest::TempDir dir;
    DataFolder data(dir.path());
    const std::string a = Entry("A1"), b = Entry("B2");
    // A piece without a table is dropped; the last entry has no separator after it.
    const std::string content = a + "\r\n\r\n\r\n\r\n" + "just text\r\n\r\n\r\n\r\n" + b;
    const QString name = dir.write("log.elf", QByteArray::fromStdString(content));
    TLogFile log(name.toStdString(), true);
    ASSERT_EQ(log.Count(), 2);
    EXPECT_EQ(log.Item(0), a + kLogEntryTerminator);
    EXPECT_EQ(log.Item(1), b + kLogEntryTerminator);

    // Line feeds alone are read as CR LF.
    std::string unix = a + "\r\n\r\n\r\n\r\n";
    for (std::size_t at = unix.find("\r\n"); at != std::string::npos; at = unix.find("\r\n", at))
        unix.erase(at, 1);
    const QString unixName = dir.write("unix.elf", QByteArray::fromStdString(unix));
    TLogFile unixLog(unixName.toStdString(), true);
    ASSERT_EQ(unixLog.Count(), 1);
    EXPECT_EQ(unixLog.Item(0), a + kLogEntryTerminator);

    EXPECT_EQ(TLogFile::SplitEntries("-\r\n|x").size(), 0u) << "fewer than eight bytes";
    EXPECT_EQ(TLogFile::NormalizeLineBreaks("a\rb\nc\r\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(TLogFile::NormalizeLineBreaks("a\r\nb"), "a\r\nb");
}

TEST(LogFile, AppendKeepsAtMostMaxNumAndSaveWritesTheTextForm)
{
    cvtest::TempDir dir;
    DataFolder data(dir.path());
    const std::string name = dir.file("new.elf").toStdString();
    {
        TLogFile log(name, false);
        EXPECT_EQ(log.Count(), 0) << "a missing file is no error";
        log.Append(Entry("1"), 3);
        log.Append(Entry("2"), 3);
        log.Append(Entry("3"), 3);
        log.Append(Entry("4"), 3);
        ASSERT_EQ(log.Count(), 3);
        EXPECT_NE(log.Item(0).find("ID            : 2"), std::string::npos);
        EXPECT_NE(log.Item(2).find("ID            : 4"), std::string::npos);
        log.Append(Entry("5"), -1);
        EXPECT_EQ(log.Count(), 4);
        log.DeleteItem(0);
        log.Save();
        EXPECT_EQ(cvtest::readAll(QString::fromStdString(name)).toStdString(), log.Text());
        // Shorter content later: the file is cut after it.
        log.DeleteItem(0);
        log.DeleteItem(0);
        log.Save();
        EXPECT_EQ(cvtest::readAll(QString::fromStdString(name)).toStdString(), Entry("5") + "\r\n\r\n\r\n\r\n");
    }
    TLogFile again(name, true);
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.Item(0), Entry("5") + kLogEntryTerminator);

    // An entry ending in its own line break: five CR LF pairs in the text, four on disk.
    TLogFile ending(dir.file("ending.elf").toStdString(), false);
    ending.Append(Entry("6") + "\r\n", 1);
    ending.Save();
    EXPECT_EQ(cvtest::readAll(dir.file("ending.elf")).toStdString(), Entry("6") + "\r\n\r\n\r\n\r\n");
}

TEST(LogFile, XMLFormOfTheGeneralInformationParsesWithPython)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    TLogFile log("", true);
    log.Append(Entry("AB12", "first:_line\r\n                      .\r\n                      third & <last>"), -1);
    log.Append(Entry("CD34"), -1);
    cvtest::TempDir dir;
    const std::string xmlName = dir.file("copy.xml").toStdString();
    log.SaveXMLCopy(xmlName);
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(xmlName)).toStdString(), log.XML());

    const char* script = R"(
import sys, json, xml.etree.ElementTree as ET
doc = ET.parse(sys.argv[1]).getroot()
out = {'root': doc.tag, 'logs': []}
for lg in doc:
    groups = []
    for g in lg.find('General'):
        groups.append({'id': g.get('ID'), 'label': g.get('Label'),
                       'lines': [[l.get('ID'), l.get('Label'), l.get('Value')] for l in g]})
    out['logs'].append({'version': lg.get('Version'), 'groups': groups})
print(json.dumps(out))
)";
    QString error;
    const QJsonObject parsed =
        QJsonDocument::fromJson(cvtest::runPython(QString::fromUtf8(script), {QString::fromStdString(xmlName)}, {}, &error)).object();
    ASSERT_FALSE(parsed.isEmpty()) << error.toStdString() << log.XML();
    EXPECT_EQ(parsed.value("root").toString(), "Doc");
    const QJsonArray logs = parsed.value("logs").toArray();
    ASSERT_EQ(logs.size(), 2);
    const QJsonObject first = logs[0].toObject();
    EXPECT_EQ(first.value("version").toString(), "6.1.03");
    const QJsonArray groups = first.value("groups").toArray();
    ASSERT_EQ(groups.size(), 2) << log.XML();
    EXPECT_EQ(groups[0].toObject().value("id").toString(), "1");
    EXPECT_EQ(groups[0].toObject().value("label").toString(), "Application");
    const QJsonArray exceptionLines = groups[1].toObject().value("lines").toArray();
    ASSERT_EQ(exceptionLines.size(), 3);
    EXPECT_EQ(exceptionLines[1].toArray()[0].toString(), "2.7");
    EXPECT_EQ(exceptionLines[1].toArray()[1].toString(), "ID");
    EXPECT_EQ(exceptionLines[1].toArray()[2].toString(), "AB12");
    // A stored multi-line value comes back with its blank line and its ": ".
    EXPECT_EQ(exceptionLines[2].toArray()[2].toString().toStdString(), "first: line\r\n\r\nthird & <last>");
}
