#include "crashreport/core/report/log_appending.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "crashreport/core/report/log_file.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// A report with a table and an ID, `padding` bytes longer than the least.
std::string Report(int id, std::size_t padding = 0)
{
    return "Crashbox 6.1.03\r\n\r\nException:\r\n---------\r\n  2.7 ID: " + std::to_string(id) + "\r\n" + std::string(padding, 'p')
           + "\r\n\r\nCall Stack Information:\r\n----------\r\n|Address |\r\n----------\r\n";
}

// The file as TLogFile makes it: the reports appended (keeping at most
// `keep`) and saved whole.
std::string SavedWhole(const std::string& fileName, const std::vector<int>& ids, int keep = -1)
{
    TLogFile log(fileName, false);
    for (int id : ids)
        log.Append(Report(id), keep);
    log.Save();
    return cvtest::readAll(QString::fromStdString(fileName)).toStdString();
}

std::string Read(const std::string& fileName) { return cvtest::readAll(QString::fromStdString(fileName)).toStdString(); }

void Write(const std::string& fileName, const std::string& bytes)
{
    QFile file(QString::fromStdString(fileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), qint64(bytes.size()));
}

// The IDs of the log's entries, as the reader finds them.
std::vector<std::string> Ids(const std::string& fileName)
{
    const TLogFile log(fileName, true);
    std::vector<std::string> ids;
    for (int i = 0; i < log.Count(); ++i)
        ids.push_back(log.GetItemValue("2.7", i));
    return ids;
}

} // namespace

TEST(LogAppending, AnEntryPutAtTheEndMakesTheFileASaveOfTheWholeLogMakes)
{
    cvtest::TempDir dir;
    const std::string put = dir.file("put.elf").toStdString(), whole = dir.file("whole.elf").toStdString();
    for (int id = 1; id <= 4; ++id) {
        const std::optional<TLogEntryPlace> place = PutLogEntry(put, Report(id), -1);
        ASSERT_TRUE(place) << id;
        std::vector<int> ids;
        for (int i = 1; i <= id; ++i)
            ids.push_back(i);
        QFile::remove(QString::fromStdString(whole));
        EXPECT_EQ(Read(put), SavedWhole(whole, ids)) << id;
        EXPECT_EQ(Read(put).substr(std::size_t(place->Offset)), place->Bytes) << "the entry lies where it is said to";
    }
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(put)), 0600u) << "a new log is its user's alone";

    // A last entry another save left without its separator is ended first.
    const std::string cut = dir.file("cut.elf").toStdString();
    const std::string full = SavedWhole(cut, {1, 2});
    Write(cut, full.substr(0, full.size() - 6));
    ASSERT_TRUE(PutLogEntry(cut, Report(3), -1));
    QFile::remove(QString::fromStdString(whole));
    EXPECT_EQ(Read(cut), SavedWhole(whole, {1, 2, 3}));
}

TEST(LogAppending, TheEntryPutEarlierIsWrittenOverInItsPlaceLongerOrShorter)
{
    cvtest::TempDir dir;
    const std::string log = dir.file("log.elf").toStdString();
    ASSERT_TRUE(PutLogEntry(log, Report(1), -1));
    std::optional<TLogEntryPlace> early = PutLogEntry(log, Report(2), -1);
    ASSERT_TRUE(early);
    for (const std::size_t padding : {5000u, 10u}) {
        const std::optional<TLogEntryPlace> final = PutLogEntry(log, Report(2, padding), -1, &*early);
        ASSERT_TRUE(final) << padding;
        EXPECT_EQ(final->Offset, early->Offset);
        EXPECT_EQ(Ids(log), (std::vector<std::string>{"1", "2"})) << padding;
        EXPECT_EQ(TLogFile(log, true).Item(1).find(std::string(padding, 'p')) != std::string::npos, true);
        early = final;
    }
    // Not the last entry any more (another report came after it): the log must be loaded whole.
    ASSERT_TRUE(PutLogEntry(log, Report(3), -1));
    EXPECT_FALSE(PutLogEntry(log, Report(2), -1, &*early));
    EXPECT_EQ(Ids(log), (std::vector<std::string>{"1", "2", "3"}));
}

// A log over what it keeps is cut to seven eighths of it (the new entry
// among them), from what its end holds: the text before the entries that
// stay is never read (here: line breaks of another writer, which would
// make the fast way give up).
TEST(LogAppending, ALogOverItsLimitKeepsItsNewestEntriesAndOnlyItsEndIsRead)
{
    cvtest::TempDir dir;
    const std::string log = dir.file("log.elf").toStdString();
    std::vector<int> ids;
    for (int id = 1; id <= 300; ++id)
        ids.push_back(id);
    const std::string saved = SavedWhole(log, ids);
    Write(log, "foreign\ntext\n\n\n\n" + std::string(2 << 20, 'x') + "\r\n\r\n\r\n\r\n" + saved);
    ::chmod(log.c_str(), 0640);
    ASSERT_TRUE(PutLogEntry(log, Report(301), 16));
    std::vector<std::string> expected;
    for (int id = 301 - 13; id <= 301; ++id)
        expected.push_back(std::to_string(id));
    EXPECT_EQ(Ids(log), expected) << "cut to 14 of the 16 it keeps: the 13 newest and the new one";
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(log)), 0600u) << "the log is its user's alone";
    ASSERT_TRUE(PutLogEntry(log, Report(302), 16));
    EXPECT_EQ(Ids(log).size(), 15u) << "under the limit: appended";
    // A log of fewer entries than it keeps is never cut.
    ASSERT_TRUE(PutLogEntry(log, Report(303), 1000));
    EXPECT_EQ(Ids(log).size(), 16u);
}

TEST(LogAppending, ALogLaidOutByAnotherWriterIsLeftToTheWholeSave)
{
    cvtest::TempDir dir;
    const std::string log = dir.file("log.elf").toStdString();
    const std::string saved = SavedWhole(log, {1, 2});
    for (const std::string& odd : {saved + "stray\n", saved + "\r\n", saved.substr(0, saved.size() - 1)}) {
        Write(log, odd);
        EXPECT_FALSE(PutLogEntry(log, Report(3), -1));
        EXPECT_EQ(Read(log), odd) << "left as it was";
    }
}

// A link at the log's name is never written through (another user's link in
// a shared output folder could lead the report into their file): the entry
// is left to the whole save, which replaces the link.
TEST(LogAppending, ALinkAtTheLogsNameIsNeverWrittenThrough)
{
    cvtest::TempDir dir;
    const std::string log = dir.file("log.elf").toStdString();
    const std::string target = dir.file("elsewhere.elf").toStdString();
    const std::string saved = SavedWhole(target, {1, 2});
    ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
    EXPECT_FALSE(PutLogEntry(log, Report(3), -1));
    EXPECT_EQ(Read(target), saved) << "the file behind the link is left as it was";
}

// A write that fails (here: beyond the file-size limit) puts back what was
// there: the log stays byte for byte, the entry written over included.
TEST(LogAppending, AWriteThatFailsLeavesTheLogByteForByte)
{
    cvtest::TempDir dir;
    const std::string log = dir.file("log.elf").toStdString();
    const QString text = cvtest::runInChild([&log] {
        const std::optional<TLogEntryPlace> early = PutLogEntry(log, Report(1), -1);
        const std::string before = Read(log);
        rlimit limit{before.size() + 100, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QStringList seen;
        for (const TLogEntryPlace* replacing : {static_cast<const TLogEntryPlace*>(nullptr), &*early}) {
            try {
                PutLogEntry(log, Report(1, 4000), -1, replacing);
                seen << QStringLiteral("written");
            } catch (const ELogFileError& e) {
                seen << QString::fromStdString(e.Reason()) << (Read(log) == before ? QStringLiteral("unchanged") : QStringLiteral("changed"));
            }
        }
        return seen.join(QLatin1Char('|'));
    });
    EXPECT_EQ(text.toStdString(), std::string(std::strerror(EFBIG)) + "|unchanged|" + std::strerror(EFBIG) + "|unchanged");
}

TEST(LogAppending, TheEntriesKeptAreBounded)
{
    EXPECT_EQ(LogEntriesKept(32), 32);
    EXPECT_EQ(LogEntriesKept(1), 1);
    EXPECT_EQ(LogEntriesKept(0), kMostLogEntries);
    EXPECT_EQ(LogEntriesKept(-1), kMostLogEntries);
    EXPECT_EQ(LogEntriesKept(100000), kMostLogEntries);
}
