#include "crashreport/core/report/log_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

#include "crashreport/core/python_oracle.h"
#include "crashreport/core/support/text_routines.h"
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

namespace {

// A general text made the way a report makes it.
std::string SampleGeneral()
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "Mon, 4 Mar 2024 10:00:00 +0000", true);
    item.AddItem("Name/Description", "hidden", false);
    item.AddItem("Version Number", "1.2.0", true);
    item.AddHeader("Exception");
    item.AddItem("Date", "x", false);
    item.AddItem("Message", "Cannot open: \"a.txt\"\r\n\r\nThe file is gone", true);
    item.AddItem("ID", "AB12", true);
    item.AddItem("Count", "1", true);
    item.AddItem("Status", "New", true);
    item.AddItem("Note", "", true);
    return "Crashbox 6.1.03\r\n\r\n" + item.Value();
}

std::string WithTable(const std::string& general)
{
    return general + "\r\nCall Stack Information:\r\n----------\r\n|Address |\r\n----------\r\n|00401000|\r\n----------";
}

} // namespace

TEST(LogItem, SectionsAlignTheirValuesAndDropWhatIsHidden)
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "today", true);
    item.AddItem("Name", "hidden", false);
    item.AddItem("Parameters", "/log", true);
    item.AddHeader("User");
    item.AddItem("ID", "ann", false);
    item.AddHeader("Computer");
    item.AddItem("Name", "desk", true);
    EXPECT_EQ(item.HeaderNo(), 3);
    EXPECT_EQ(item.Value(),
              "Application:\r\n"
              "-----------------------\r\n"
              "  1.1 Start Date: today\r\n"
              "  1.3 Parameters: /log\r\n"
              "\r\n"
              "Computer:\r\n"
              "----------------\r\n"
              "  3.1 Name: desk");
    item.Clear();
    EXPECT_EQ(item.Value(), "");
    item.AddHeader("Only");
    item.AddItem("X", "1", false);
    EXPECT_EQ(item.Value(), "") << "every section empty";
}

TEST(LogItem, ValuesOfSeveralLinesAreStoredIndentedAndReadBackAsGiven)
{
    const std::string general = SampleGeneral();
    EXPECT_NE(general.find("  2.2 Message: Cannot open:_\"a.txt\"\r\n"
                           "               .\r\n"
                           "               The file is gone\r\n"),
              std::string::npos)
        << general;
    TLogFile log("", true);
    log.Append(WithTable(general), -1);
    EXPECT_EQ(log.GetItemValue("2.2", 0), "Cannot open: \"a.txt\"\r\n\r\nThe file is gone");
    EXPECT_EQ(log.GetItemValue("1.3", 0), "1.2.0");
    EXPECT_EQ(log.GetItemValue("2.5", 0), "New") << "items keep their numbers when earlier ones are hidden";
    EXPECT_EQ(log.GetItemValue("2.7", 0), "") << "no such item";
    EXPECT_EQ(log.GetItemValue("1.2", 0), "") << "hidden";
    EXPECT_EQ(log.GetItemValue("1.3", 1), "") << "no such entry";
    EXPECT_EQ(log.GetItemValue("1.3", -1), "");

    // A value line that ends in ":" stays a value line, even in the last section.
    TLogItem steps(7);
    steps.AddHeader("Request");
    steps.AddItem("", "I opened a list and did this:\r\nsorted it by:", true);
    const std::string request = steps.Value();
    EXPECT_NE(request.find("sorted it by:"), std::string::npos) << request;
    TLogFile withSteps("", true);
    withSteps.Append(WithTable(general + "\r\n\r\n" + request), -1);
    EXPECT_EQ(withSteps.GetItemValue("8.1", 0), "I opened a list and did this:\r\nsorted it by:");
}

TEST(LogFile, ItemsAreChangedInPlaceOrAddedToTheirSection)
{
    TLogFile log("", true);
    log.Append(WithTable(SampleGeneral()), -1);
    log.SetItemValue("2.4", "2", "Count", 0);
    EXPECT_EQ(log.GetItemValue("2.4", 0), "2");
    EXPECT_EQ(log.GetItemValue("2.5", 0), "New") << "the items after it stay";
    EXPECT_EQ(log.GetItemValue("2.6", 0), "");
    EXPECT_NE(log.Item(0).find("  2.4 Count  : 2\r\n  2.5 Status : New\r\n"), std::string::npos) << log.Item(0);

    // A missing item goes after the section's last one, padded to its label width.
    log.SetItemValue("2.1", "Mon, 4 Mar 2024", "Date", 0);
    EXPECT_NE(log.Item(0).find("  2.6 Note   : \r\n  2.1 Date   : Mon, 4 Mar 2024\r\nCall Stack"), std::string::npos) << log.Item(0);
    EXPECT_EQ(log.GetItemValue("2.1", 0), "Mon, 4 Mar 2024");
    log.SetItemValue("2.6", "two\r\nlines", "Note", 0);
    EXPECT_EQ(log.GetItemValue("2.6", 0), "two\r\nlines");
    EXPECT_EQ(log.GetItemValue("2.1", 0), "Mon, 4 Mar 2024");

    const std::string before = log.Item(0);
    log.SetItemValue("9.1", "x", "Other", 0);
    log.SetItemValue("21", "x", "Other", 0);
    log.SetItemValue("2.4", "x", "Count", 3);
    EXPECT_EQ(log.Item(0), before) << "no such section, no number, no such entry";
    EXPECT_TRUE(log.Item(0).ends_with(kLogEntryTerminator));
}

TEST(LogFile, FindItemAnswersTheLastEntryHoldingAValue)
{
    TLogFile log("", true);
    log.Append(Entry("AB12"), -1);
    log.Append(Entry("CD34"), -1);
    log.Append(Entry("AB12"), -1);
    log.Append(WithTable(SampleGeneral()), -1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"CD34"}), 1);
    EXPECT_EQ(log.FindItem({"2.7"}, {"AB12"}), 2);
    EXPECT_EQ(log.FindItem({"2.7"}, {"AB1"}), -1) << "the whole value";
    EXPECT_EQ(log.FindItem({"2.7", "2.3"}, {"none", "AB12"}), 3) << "any of the pairs";
    EXPECT_EQ(log.FindItem({"2.2"}, {"Cannot open: \"a.txt\"\r\n\r\nThe file is gone"}), 3) << "a value of several lines";
    EXPECT_EQ(log.FindItem({}, {}), -1);
}

TEST(LogFile, AppendStoresWhatLoadingWouldGiveBack)
{
    cvtest::TempDir dir;
    DataFolder data(dir.path());
    const std::string name = dir.file("round.elf").toStdString();
    const std::string report = WithTable(SampleGeneral());
    {
        TLogFile log(name, false);
        log.Append(report + "\r\n\r\n", -1);         // a report ending in a blank line
        log.Append(report, -1);                      // a plain one
        log.Append(ReplaceAllA(report, "\r\n", "\n"), -1); // line feeds alone
        log.Append(ReplaceAllA(report, "\r\nCall Stack", "\r\n\r\n\r\n\r\nCall Stack"), -1); // four line breaks inside
        ASSERT_EQ(log.Count(), 4);
        for (int i = 0; i < log.Count(); ++i)
            EXPECT_TRUE(log.Item(i).find("|00401000|") != std::string::npos);
        log.Save();
    }
    const QByteArray first = cvtest::readAll(QString::fromStdString(name));
    TLogFile again(name, false);
    ASSERT_EQ(again.Count(), 4) << "no entry split or lost";
    EXPECT_EQ(again.Item(0), report + kLogEntryTerminator);
    EXPECT_EQ(again.Item(2), report + kLogEntryTerminator);
    again.Save();
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(name)), first) << "saved, loaded and saved again: the same bytes";
}

TEST(LogFile, DamagedOrCutFilesLoadWhatTheyCan)
{
    const std::string a = WithTable(SampleGeneral()), b = Entry("B2");
    const std::string whole = a + "\r\n\r\n\r\n\r\n" + b + "\r\n\r\n\r\n\r\n";
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const std::vector<std::string> entries = TLogFile::SplitEntries(whole.substr(0, size));
        ASSERT_LE(entries.size(), 2u);
        if (size >= a.size()) {
            ASSERT_GE(entries.size(), 1u) << size;
            EXPECT_EQ(entries[0], a + kLogEntryTerminator) << size;
        }
    }
    // Zero bytes, stray carriage returns and a missing table: read, never a crash.
    std::string damaged = a;
    damaged[20] = '\0';
    damaged.insert(40, "\r\r\n\n");
    const std::vector<std::string> entries = TLogFile::SplitEntries(damaged + "\r\n\r\n\r\n\r\nno table here");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size(), damaged.size() + 2 + kLogEntryTerminator.size()) << "the zero byte kept, the lone breaks mended";
}

// A log that cannot take the report gives the system's reason, not an
// "unknown error".
TEST(LogFileWhenTheSystemSaysNo, AFullFileSystemGivesItsReason)
{
    cvtest::TempDir dir;
    const std::string name = dir.file(QStringLiteral("full.elf")).toStdString();
    const QString said = cvtest::runInChild([&] {
        // A file size limit stands in for a full disk: the write fails with the system's reason.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TLogFile log(name, false);
        log.Append("Crashbox 6.1.03\r\n\r\n" + std::string(1000, 'x') + "\r\n-\r\n|", -1);
        try {
            log.Save();
        } catch (const ELogFileError& e) {
            return QString::fromStdString(e.what());
        }
        return QStringLiteral("saved");
    });
    EXPECT_TRUE(said.startsWith(QStringLiteral("Cannot write file \"%1\": ").arg(QString::fromStdString(name)))) << said.toStdString();
    EXPECT_TRUE(said.endsWith(QString::fromLatin1(std::strerror(EFBIG)))) << said.toStdString();
}

// A log is never rewritten in place: a save that fails half-way (a file-size
// limit here, a full disk elsewhere) leaves the earlier log byte for byte and
// no half-written file beside it. A log is its user's alone whatever the
// umask or the mode of the file it replaces, and is never written through a
// link: a log named by one goes to the library data folder.
TEST(LogFileWhenTheSystemSaysNo, AFailedSaveLeavesTheEarlierLogAsItWas)
{
    cvtest::TempDir dir;
    const std::string name = dir.file(QStringLiteral("kept.elf")).toStdString();
    const mode_t oldMask = ::umask(0);
    {
        TLogFile log(name, false);
        log.Append(Entry("A1"), -1);
        log.Save();
    }
    ::umask(oldMask);
    struct stat info {};
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    const QByteArray before = cvtest::readAll(QString::fromStdString(name));

    int status = -1;
    const QString said = cvtest::runInChild(
        [&] {
            // SIGXFSZ is left as it is: the save must not end the process.
            const rlimit limit{rlim_t(before.size() + 100), rlim_t(before.size() + 100)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            TLogFile log(name, false);
            log.Append(Entry("B2", std::string(2000, 'x')), -1);
            try {
                log.Save();
            } catch (const ELogFileError& e) {
                return QString::fromStdString(e.Reason());
            }
            return QStringLiteral("saved");
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(said, QString::fromLatin1(std::strerror(EFBIG)));
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(name)), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.elf")});

    const std::string link = dir.file(QStringLiteral("link.elf")).toStdString();
    ASSERT_TRUE(QFile::link(QString::fromStdString(name), QString::fromStdString(link)));
    DataFolder data(dir.file(QStringLiteral("data")));
    TLogFile log(link, false);
    EXPECT_NE(log.FileName(), link);
    log.Append(Entry("C3"), -1);
    log.Save();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(name)), before) << "nothing is written through the link";
    EXPECT_TRUE(log.FileName().starts_with(dir.file(QStringLiteral("data/Crashbox/")).toStdString())) << log.FileName();

    TLogFile again(name, false);
    again.Append(Entry("D4"), -1);
    again.Save();
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "0600 whatever the file it replaced had";
}
