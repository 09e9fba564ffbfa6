#include "crashreport/core/support/file_version.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QObject>
#include <QtGlobal>

#include <dlfcn.h>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


#include "support/test_support.h"

namespace {

using namespace cv;

TEST(FileVersion, IsReadFromThePackageNoteOrTheLibrarysFileName)
{
    std::string description, version;
    GetFileVersionStrings(CV_STACK_PROBE_LIBRARY, description, version);
    EXPECT_EQ(description, "Stack probe \xC3\xA9");
    EXPECT_EQ(version, "2.5.1");

    Dl_info qt{};
    ASSERT_NE(dladdr(&QObject::staticMetaObject, &qt), 0);
    GetFileVersionStrings(qt.dli_fname, description, version);
    EXPECT_EQ(version, qVersion()) << qt.dli_fname;

    GetFileVersionStrings("/no/such/file", description, version);
    EXPECT_EQ(description + version, "");
    GetFileVersionStrings("", description, version);
    EXPECT_EQ(description + version, "");
}

TEST(FileVersion, PackageNotesGiveTheirStringMembers)
{
    TPackageNote note = ParsePackageNote(R"( { "os" : {"id":[1,"}"]}, "version":"1.0", "debugInfoUrl": null, "name" : "a\"b\\c\u00e9\ud83d\ude00" } )");
    EXPECT_EQ(note.Name, "a\"b\\c\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(note.Version, "1.0");
    EXPECT_EQ(note.Description, "");
    note = ParsePackageNote(R"({"name":"x","version":)");
    EXPECT_EQ(note.Name + "|" + note.Version, "x|");
    EXPECT_EQ(ParsePackageNote("not json").Name, "");
}

TEST(FileVersion, SizeAndDeletion)
{
    cvtest::TempDir dir;
    const std::string file = dir.file(QStringLiteral("big")).toStdString();
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 3), 0); // sparse: nothing is written
    ::close(fd);
    EXPECT_EQ(GetFileSizeByName(file), 3u) << "the low 32 bits";
    EXPECT_TRUE(ForceDeleteFile(file));
    EXPECT_EQ(GetFileSizeByName(file), 0u);
    EXPECT_FALSE(ForceDeleteFile(file));
}

TEST(FileVersion, TableTexts)
{
    EXPECT_EQ(SizeToKbText(0), "");
    EXPECT_EQ(SizeToKbText(1536), "2 Kb");
    EXPECT_EQ(SizeToKbText(2560), "2 Kb") << "halves go to the even number";
    EXPECT_EQ(SizeToKbText(511), "0 Kb");
    EXPECT_EQ(IntToTextOrUnknown(0), "??");
    EXPECT_EQ(IntToTextOrUnknown(12), "12");
    EXPECT_EQ(VersionMajorMinorX("6.4.2"), "6.4.x");
    EXPECT_EQ(VersionMajorMinorX("2.36.1.9"), "2.36.x");
    EXPECT_EQ(VersionMajorMinorX("2.36"), "2.36");
    EXPECT_EQ(ExtractCleanFilePath("/usr/lib/libc.so.6"), "/usr/lib");
    EXPECT_EQ(ExtractCleanFilePath("/init"), "/") << "the root keeps its slash";
    EXPECT_EQ(ExtractCleanFilePath("name"), "");
    const std::pair<int, const char*> classes[] = {{32, "Normal"}, {64, "Low"}, {128, "High"}, {256, "Real-Time"},
                                                   {16384, "Below-Normal"}, {32768, "Above-Normal"}, {0, ""}, {33, ""}};
    for (const auto& [value, text] : classes)
        EXPECT_EQ(PriorityClassToText(value), text) << value;
}

TEST(ReportTextFormats, VersionsKeepTwoParts)
{
    EXPECT_EQ(VersionMajorMinorX("6.1.3.120"), "6.1.x");
    EXPECT_EQ(VersionMajorMinorX("6.1.3"), "6.1.x");
    EXPECT_EQ(VersionMajorMinorX("6.1"), "6.1");
    EXPECT_EQ(VersionMajorMinorX(""), "");
}

TEST(ReportTextFormats, SizesAreKilobytesRoundedHalfToEven)
{
    EXPECT_EQ(SizeToKbText(0), "");
    EXPECT_EQ(SizeToKbText(1536), "2 Kb");
    EXPECT_EQ(SizeToKbText(2560), "2 Kb");
    EXPECT_EQ(SizeToKbText(1024 * 1024), "1024 Kb");
}

TEST(ReportTextFormats, PrioritiesCountsFoldersAndDates)
{
    EXPECT_EQ(PriorityClassToText(32), "Normal");
    EXPECT_EQ(PriorityClassToText(32768), "Above-Normal");
    EXPECT_EQ(PriorityClassToText(7), "");
    EXPECT_EQ(IntToTextOrUnknown(0), "??");
    EXPECT_EQ(IntToTextOrUnknown(12), "12");
    EXPECT_EQ(ExtractCleanFilePath("/usr/lib/libc.so.6"), "/usr/lib");
    EXPECT_EQ(ExtractCleanFilePath("/init"), "/");
    EXPECT_EQ(ExtractCleanFilePath("bare"), "");
    EXPECT_EQ(DateTimeToLogString(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9))), "2024-03-05 14:03:09");
    EXPECT_EQ(DateTimeToLogString(QDateTime()), "");
}

} // namespace

// A program whose file was replaced by a named pipe since it started: the
// pipe is never opened (it would hold the report up).
TEST(FileVersion, APipeInAProgramsPlaceIsNotWaitedOn)
{
    cvtest::TempDir dir;
    const std::string pipe = dir.file(QStringLiteral("tool")).toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    int status = -1;
    const QString read = cvtest::runInChild(
        [&] {
            std::string description, version;
            cv::GetFileVersionStrings(pipe, description, version);
            return QString::fromStdString(description + "|" + version);
        },
        &status, std::chrono::seconds(5));
    EXPECT_EQ(status, 0) << "the child waited on the pipe";
    EXPECT_EQ(read, QStringLiteral("|"));
}

// The cache answers as the file says, reads a file once while it stays the
// same, and reads it again once it was replaced (another file, another size).
TEST(FileVersionCache, ReadsAFileAgainOnlyWhenItChanged)
{
    cvtest::TempDir dir;
    const std::string library = dir.file(QStringLiteral("libprobe.so")).toStdString();
    std::filesystem::copy_file(CV_STACK_PROBE_LIBRARY, library);
    cv::TFileVersionCache cache;
    std::string description, version;
    for (int ask = 0; ask < 3; ++ask) {
        cache.Get(library, description, version);
        EXPECT_EQ(description, "Stack probe \xC3\xA9");
        EXPECT_EQ(version, "2.5.1");
    }
    EXPECT_EQ(cache.FilesRead(), 1);

    // Replaced by a file that carries nothing: its note is gone from the answer.
    const std::string replacement = dir.write(QStringLiteral("plain"), QByteArray("not a program")).toStdString();
    ASSERT_EQ(::rename(replacement.c_str(), library.c_str()), 0);
    cache.Get(library, description, version);
    EXPECT_EQ(description + version, "");
    EXPECT_EQ(cache.FilesRead(), 2);

    // A file that is not there, and no name, are answered empty as by GetFileVersionStrings.
    cache.Get("/no/such/file", description, version);
    EXPECT_EQ(description + version, "");
    cache.Get("", description, version);
    EXPECT_EQ(description + version, "");
}
