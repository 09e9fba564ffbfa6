#include "crashreport/core/handler/log_saving.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"

using namespace cv;

namespace {

// A report as the report writer lays it out, with its version and error ID.
std::string Report(const std::string& id, const std::string& version = "7.0.12", bool showCount = true)
{
    std::string report = "Crashbox 6.1.03\r\n\r\n"
                         "Application:\r\n"
                         "-------------------------\r\n"
                         "  1.3 Version Number: " + version + "\r\n"
                         "\r\n"
                         "Exception:\r\n"
                         "-----------------\r\n"
                         "  2.7 ID    : " + id + "\r\n";
    if (showCount)
        report += "  2.8 Count : 1\r\n";
    report += "  2.9 Status: New\r\n"
              "  2.10 Note : seen before\r\n"
              "Call Stack Information:\r\n"
              "----------\r\n"
              "|Address |\r\n"
              "----------\r\n"
              "|00401000|\r\n"
              "----------\r\n";
    return report;
}

class LogSaving : public cvtest::CrashboxFolders {
protected:
    void SetUp() override
    {
        CrashboxFolders::SetUp();
        options.SetOutputPath(dir.path().toStdString());
    }
    void TearDown() override
    {
        CloseSharedLogFile();
        CrashboxFolders::TearDown();
    }
    std::string logName() const { return dir.file("wordlist.elf").toStdString(); }
    // The log as the file holds it now.
    std::unique_ptr<TLogFile> reread() const { return std::make_unique<TLogFile>(logName(), true); }

    TCrashboxModuleOptions options{"/opt/cv/wordlist"};
    std::vector<std::string> events; // "action 2 execute", "error 3"
    TLogSavingEvents recorder()
    {
        TLogSavingEvents e;
        e.ActionNotify = [this](uint8_t action, bool& execute) {
            events.push_back("action " + std::to_string(action) + (execute ? " execute" : " skip"));
        };
        e.ErrorNotify = [this](uint8_t action, bool&) { events.push_back("error " + std::to_string(action)); };
        return e;
    }
};

} // namespace

TEST_F(LogSaving, TheLogKeepsAtMostErrorsNumberToSaveEntries)
{
    options.SetErrorsNumberToSave(3);
    for (const char* id : {"0001", "0002", "0003", "0004", "0005"})
        EXPECT_EQ(SaveReportInLog(options, Report(id), false, recorder()), Report(id));
    const auto log = reread();
    ASSERT_EQ(log->Count(), 3);
    EXPECT_EQ(log->GetItemValue("2.7", 0), "0003");
    EXPECT_EQ(log->GetItemValue("2.7", 2), "0005");
    EXPECT_EQ(events.size(), 10u);
    EXPECT_EQ(events[0], "action 2 execute");
    EXPECT_EQ(events[1], "action 3 execute");
}

TEST_F(LogSaving, ADuplicateRaisesTheCountInsteadOfAddingAnEntry)
{
    SaveReportInLog(options, Report("AB12"), false, recorder());
    SaveReportInLog(options, Report("CD34"), false, recorder());
    EXPECT_FALSE(IsDuplicateError(options, "AB12", true)) << "without the option there are no duplicates";

    TLogOptions logOptions = options.LogOptions();
    logOptions.Include(loNoDuplicateErrors);
    options.SetLogOptions(logOptions);
    EXPECT_FALSE(IsDuplicateError(options, "EF56", true));
    EXPECT_TRUE(IsDuplicateError(options, "AB12", false));
    EXPECT_EQ(reread()->GetItemValue("2.8", 0), "1") << "asked without counting";
    for (int i = 0; i < 2; ++i) {
        const bool duplicate = IsDuplicateError(options, "AB12", true);
        EXPECT_TRUE(duplicate);
        SaveReportInLog(options, Report("AB12"), duplicate, recorder());
    }
    const auto log = reread();
    ASSERT_EQ(log->Count(), 2) << "no entry added";
    EXPECT_EQ(log->GetItemValue("2.8", 0), "3");
    EXPECT_EQ(log->GetItemValue("2.9", 0), "New") << "the items after the count stay";
    EXPECT_EQ(log->GetItemValue("2.10", 0), "seen before");
    EXPECT_EQ(log->GetItemValue("2.8", 1), "1");
}

TEST_F(LogSaving, CountingAddsTheCountToAnEntryThatHidesItAndReadsNonNumbersAsOne)
{
    TLogFile log("", true);
    log.Append(Report("AB12", "7", false), -1);
    log.Append(Report("AB12"), -1);
    log.SetItemValue("2.8", "many", "Count", 1);
    EXPECT_EQ(FindDuplicateError(log, "AB12"), 1) << "the last entry holding it";
    CountDuplicateError(log, 0);
    CountDuplicateError(log, 1);
    EXPECT_EQ(log.GetItemValue("2.8", 0), "2");
    EXPECT_EQ(log.GetItemValue("2.8", 1), "2");
    EXPECT_NE(log.Item(0).find("  2.10 Note : seen before\r\n  2.8 Count : 2\r\n"), std::string::npos) << log.Item(0);
}

TEST_F(LogSaving, ALogOfAnotherVersionGoesBeforeTheNewReport)
{
    SaveReportInLog(options, Report("AB12", "7.0.11"), false, recorder());
    EXPECT_FALSE(DeleteLogAtVersionChange(options, "7.0.12")) << "without the option the log stays";
    TLogOptions logOptions = options.LogOptions();
    logOptions.Include(loDeleteLogAtVersionChange);
    options.SetLogOptions(logOptions);
    EXPECT_FALSE(DeleteLogAtVersionChange(options, "7.0.11"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(logName())));
    EXPECT_TRUE(DeleteLogAtVersionChange(options, "7.0.12"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logName())));
    SaveReportInLog(options, Report("CD34"), false, recorder());
    EXPECT_EQ(reread()->Count(), 1);
}

TEST_F(LogSaving, HandlersSkipTheSaveAndAFailedSaveIsTriedAgainOnRequest)
{
    TLogSavingEvents skip = recorder();
    skip.ActionNotify = [this](uint8_t action, bool& execute) {
        events.push_back("action " + std::to_string(action) + (execute ? " execute" : " skip"));
        execute = false;
    };
    SaveReportInLog(options, Report("0001"), false, skip);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logName())));
    EXPECT_EQ(events, (std::vector<std::string>{"action 2 execute", "error 3", "action 3 skip"}));

    // SaveLogFile off: no events, nothing written, the report still sent.
    events.clear();
    options.SetOutputPath(dir.path().toStdString());
    options.SetSaveLogFile(false);
    options.SetCommonSendOptions({});
    EXPECT_EQ(SaveReportInLog(options, Report("0003"), false, recorder()), Report("0003"));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logName())));

    // Nowhere to write the log (a folder in its place, and no data folder to
    // fall back on): the warning says so, and one retry tries again.
    events.clear();
    options.SetSaveLogFile(true);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(logName())));
    const QString blocked = dir.file("data-is-a-file");
    QFile(blocked).open(QIODevice::WriteOnly);
    qputenv("XDG_DATA_HOME", blocked.toUtf8());
    int tries = 0;
    TLogSavingEvents retryOnce = recorder();
    retryOnce.ErrorNotify = [&](uint8_t action, bool& retry) {
        events.push_back("error " + std::to_string(action));
        retry = ++tries == 1;
    };
    options.SetCommonSendOptions(TCommonSendOptions{sndSendEntireLog});
    EXPECT_EQ(SaveReportInLog(options, Report("0002"), false, retryOnce), Report("0002")) << "no log to send";
    EXPECT_EQ(events, (std::vector<std::string>{"action 2 execute", "error 3", "error 3", "action 3 skip"}));
    EXPECT_EQ(LastInternalWarning().Code, eeLogError);
    EXPECT_NE(LastInternalWarning().Message.find("wordlist.elf"), std::string::npos) << LastInternalWarning().Message;
}

// A report in an output folder others may write to (/tmp): a link at the
// log's name (even the user's own) is never written through, and a file of
// another user is not written into; the report goes to the fallback folder
// (the user's alone) with the reason, and is 0600 whatever stood there.
TEST_F(LogSaving, AReportIsNeverWrittenThroughALinkNorIntoAnotherUsersFile)
{
    const QString shared = cvtest::makeSharedFolder(dir, QStringLiteral("shared"));
    const std::string wanted = (shared + QStringLiteral("/crash_example.elf")).toStdString();
    options.SetOutputPath(wanted);
    const std::string fallback = FallbackLogFileName(wanted);

    // A file of the user's own, open to all, at the name: the report is 0600.
    const QString own = dir.write(QStringLiteral("shared/crash_example.elf"), "");
    QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther | QFileDevice::WriteOther);
    ASSERT_TRUE(StoreReportEarly(options, Report("0001")).Stored());
    EXPECT_EQ(cvtest::modeOf(own), 0600u);
    ASSERT_TRUE(QFile::remove(own));

    // A link to a file open to all (another user's when the test may act as one).
    const QString theirs = dir.file(QStringLiteral("theirs"));
    ASSERT_TRUE(QDir().mkpath(theirs));
    const QString loot = dir.write(QStringLiteral("theirs/loot.elf"), "");
    ::chmod(QFile::encodeName(loot).constData(), 0666);
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (other) {
        ASSERT_TRUE(cvtest::giveToOtherUser(*other, loot));
        ASSERT_EQ(cvtest::linkAsOtherUser(*other, loot, own), QString());
    } else {
        ASSERT_TRUE(QFile::link(loot, own));
    }
    const TStoredEntry stored = StoreReportEarly(options, Report("0002"));
    ASSERT_TRUE(stored.Stored());
    EXPECT_EQ(stored.LogFile, fallback);
    EXPECT_NE(stored.Problem.find("it is a symbolic link, which is not followed"), std::string::npos) << stored.Problem;
    EXPECT_EQ(cvtest::readAll(loot), QByteArray()) << "nothing of the report reaches the link's file";
    EXPECT_EQ(cvtest::modeOf(loot), 0666u);
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(fallback)), 0600u);
    // The fallback folder and the library's data folder are the user's alone.
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(ExtractFileDir(fallback))), 0700u);
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(dataFolder())), 0700u);
    CloseSharedLogFile();
    ASSERT_TRUE(QFile::remove(own));

    if (!other)
        return;
    // A file of another user at the name is not written into either.
    ASSERT_EQ(cvtest::asOtherUser(*other, [&]() -> QString {
                  ::umask(0);
                  const int fd = ::open(QFile::encodeName(own).constData(), O_WRONLY | O_CREAT, 0666);
                  return fd >= 0 && ::close(fd) == 0 ? QString() : QStringLiteral("not made");
              }),
              QString());
    const TStoredEntry refused = StoreReportEarly(options, Report("0003"));
    EXPECT_EQ(refused.LogFile, fallback);
    EXPECT_NE(refused.Problem.find("it belongs to another user (user nobody"), std::string::npos) << refused.Problem;
    EXPECT_EQ(cvtest::readAll(own), QByteArray());
}

// The report stored before its dialog: no events, no older entry dropped;
// a fault named meanwhile is in it at once; the logging step puts the final
// report in its place (and keeps the limit), or takes it out again when a
// handler skips the save.
TEST_F(LogSaving, AnEntryStoredBeforeTheDialogGivesWayToTheFinalReport)
{
    options.SetErrorsNumberToSave(2);
    SaveReportInLog(options, Report("0001"), false, recorder());
    SaveReportInLog(options, Report("0002"), false, recorder());
    const QByteArray before = cvtest::readAll(QString::fromStdString(logName()));
    events.clear();

    TStoredEntry early = StoreReportEarly(options, Report("0003"));
    ASSERT_TRUE(early.Stored());
    EXPECT_EQ(early.LogFile, logName());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(reread()->Count(), 3);
    ASSERT_TRUE(ReplaceStoredEntry(early, ReportWithNotes(Report("0003"), {"Another fault", "and one more"}, "Note")));
    EXPECT_EQ(reread()->GetItemValue("2.10", 2), "seen before; Another fault; and one more");

    std::string final = Report("0003");
    final.replace(final.find("New"), 3, "Sent");
    SaveReportInLog(options, final, false, recorder(), &early);
    auto log = reread();
    ASSERT_EQ(log->Count(), 2);
    EXPECT_EQ(log->GetItemValue("2.7", 0), "0002");
    EXPECT_EQ(log->GetItemValue("2.9", 1), "Sent");
    EXPECT_EQ(events, (std::vector<std::string>{"action 2 execute", "action 3 execute"}));

    const QByteArray withThird = cvtest::readAll(QString::fromStdString(logName()));
    TStoredEntry skipped = StoreReportEarly(options, Report("0004"));
    TLogSavingEvents skip = recorder();
    skip.ActionNotify = [](uint8_t, bool& execute) { execute = false; };
    SaveReportInLog(options, Report("0004"), false, skip, &skipped);
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(logName())), withThird);
    EXPECT_NE(withThird, before);
}

// The logging step reads the log's end only, as far back as the entries it
// keeps: a log far larger than the memory the process may still take (here
// 64 MB of nothing before its entries, with 16 MB left to take) still takes
// the report, stored early and then final, and is cut to what it keeps.
TEST_F(LogSaving, AReportGoesIntoALogWithoutTheWholeLogBeingRead)
{
    options.SetErrorsNumberToSave(32);
    TLogFile entries("", true);
    for (int i = 0; i < 40; ++i)
        entries.Append(Report(std::to_string(1000 + i)), -1);
    {
        QFile file(QString::fromStdString(logName()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(64 << 20));
        ASSERT_TRUE(file.seek(64 << 20));
        const std::string text = entries.Text();
        file.write(text.data(), qint64(text.size()));
    }
    int result = -1;
    const QString text = cvtest::runInChild(
        [this] {
            cvtest::limitAddressSpace(16 << 20);
            TStoredEntry early = StoreReportEarly(options, Report("2000"));
            if (!early.Stored() || early.LogFile != logName())
                return QStringLiteral("not stored early in the log");
            SaveReportInLog(options, Report("2000"), false, {}, &early);
            return QStringLiteral("saved");
        },
        &result);
    EXPECT_EQ(text, QStringLiteral("saved"));
    EXPECT_EQ(result, 0);
    const auto log = reread();
    ASSERT_EQ(log->Count(), 28) << "cut to seven eighths of the 32 it keeps";
    EXPECT_EQ(log->GetItemValue("2.7", 0), "1013");
    EXPECT_EQ(log->GetItemValue("2.7", 27), "2000");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(FallbackLogFileName(logName()))));
}
