#include "crashreport/core/support/files_and_folders.h"

#include "crashreport/core/crashbox_testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

#include <cstring>

namespace {

struct Helpers : cvtest::CrashboxFolders {};

TEST_F(Helpers, FoldersAreMadeWithTheirParentsAndVariablesExpanded)
{
    qputenv("CV_TEST_BASE", dir.path().toUtf8());
    EXPECT_TRUE(cv::ForceFolders("%CV_TEST_BASE%/a/b/c/"));
    EXPECT_TRUE(cv::DirectoryExistsA(path("a/b/c")));
    EXPECT_TRUE(cv::ForceFolders(path("a/b")));
    EXPECT_TRUE(cv::ForceFolders("/"));
    dir.write(QStringLiteral("file"), "x");
    EXPECT_FALSE(cv::ForceFolders(path("file/sub")));
    EXPECT_FALSE(cv::DirectoryExistsA(path("file")));
    qunsetenv("CV_TEST_BASE");
}

TEST_F(Helpers, FilesCanBeTestedWithoutLeavingAnythingBehind)
{
    EXPECT_FALSE(cv::CanReadFile(path("missing")));
    EXPECT_TRUE(cv::CanWriteFile(path("missing")));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("missing"))));
    dir.write(QStringLiteral("there"), "kept");
    EXPECT_TRUE(cv::CanReadFile(path("there")));
    EXPECT_TRUE(cv::CanWriteFile(path("there")));
    EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("there"))), "kept");
    EXPECT_FALSE(cv::CanReadFile(dir.path().toStdString()));
    EXPECT_GT(cv::GetFileDateTime(path("there")), 40000.0);
    EXPECT_EQ(cv::GetFileDateTime(path("missing")), 0.0);
}

// A named pipe in a file's place would hold its reader up for good: it is
// never taken for a file, and nothing waits on it.
TEST_F(Helpers, OnlyRegularFilesAreOpenedAndNothingWaitsOnAPipe)
{
    const std::string pipe = path("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    std::string text;
    int error = 0;
    EXPECT_FALSE(cv::ReadFileText(pipe, text, &error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(cv::CanReadFile(pipe));
    EXPECT_FALSE(cv::CanWriteFile(pipe));
    EXPECT_EQ(cv::WriteProblem(pipe), "it is not a regular file");
    EXPECT_EQ(cv::WriteProblem(dir.path().toStdString()), "it is a folder");
    EXPECT_EQ(cv::OpenRegularFile(pipe, O_RDWR), -1);
    QFile::link(dir.file(QStringLiteral("gone/x")), dir.file(QStringLiteral("link")));
    EXPECT_EQ(cv::WriteProblem(path("link")), "it is a link to nothing");
    dir.write(QStringLiteral("there"), "kept");
    const int fd = cv::OpenRegularFile(path("there"), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "a regular file reads as it always does";
    ::close(fd);
}

// The component's own folders hold reports and options whose names are the
// user's business: made 0700, and narrowed to 0700 when found wider.
TEST_F(Helpers, TheComponentsOwnFoldersAreTheUsersAlone)
{
    const mode_t oldMask = ::umask(022);
    EXPECT_TRUE(cv::ForcePrivateFolders(path("data/Crashbox/tool")));
    EXPECT_TRUE(cv::ForceFolders(path("chosen/out")));
    ::umask(oldMask);
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("data/Crashbox"))), 0700u);
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("data/Crashbox/tool"))), 0700u);
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("chosen/out"))), 0755u) << "a folder the options name keeps the user's mode";
    ::chmod(path("data/Crashbox/tool").c_str(), 0755);
    EXPECT_TRUE(cv::ForcePrivateFolders(path("data/Crashbox/tool/")));
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("data/Crashbox/tool"))), 0700u);
    // A file that cannot be written where it is moves into them.
    std::string name = path("missing-folder/x.ini");
    dir.write(QStringLiteral("missing-folder"), "a file");
    EXPECT_TRUE(cv::MakeFileAccessible(name, true, false));
    EXPECT_EQ(cvtest::modeOf(QString::fromStdString(cv::ExtractFileDir(name))), 0700u);
}

// A report or options file is never written through a link, even the
// user's own, nor into another user's file; what it writes is 0600.
TEST_F(Helpers, FilesAreNeverWrittenThroughALinkAndAre0600)
{
    const QString target = dir.write(QStringLiteral("target.elf"), "kept");
    ::chmod(QFile::encodeName(target).constData(), 0644);
    QFile::link(target, dir.file(QStringLiteral("link.elf")));
    EXPECT_EQ(cv::WriteProblem(path("link.elf")), "it is a symbolic link, which is not followed");
    EXPECT_FALSE(cv::CanWriteFile(path("link.elf")));
    EXPECT_EQ(cv::ReplaceFileContents(path("link.elf"), "report"), 0);
    EXPECT_EQ(cvtest::readAll(target), "kept") << "the link itself is replaced";
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("link.elf"))), 0600u);
    EXPECT_EQ(cv::ReplaceFileContents(path("target.elf"), "report"), 0);
    EXPECT_EQ(cvtest::modeOf(target), 0600u) << "whatever mode stood there";
    if (const std::optional<cvtest::OtherUser> other = cvtest::otherUser()) {
        ASSERT_TRUE(cvtest::giveToOtherUser(*other, target));
        EXPECT_EQ(cv::WriteProblem(path("target.elf")).rfind("it belongs to another user (user nobody", 0), 0u);
        EXPECT_EQ(cv::ReplaceFileContents(path("target.elf"), "mine"), EPERM);
        EXPECT_EQ(cvtest::readAll(target), "report");
    }
}

TEST_F(Helpers, AFileThatCannotBeUsedMovesToTheLibraryDataFolder)
{
    std::string name = path("here.ini");
    EXPECT_TRUE(cv::MakeFileAccessible(name, false, false));
    EXPECT_EQ(name, path("here.ini"));
    dir.write(QStringLiteral("blocked"), "a file, not a folder");
    name = path("blocked/x.ini");
    EXPECT_TRUE(cv::MakeFileAccessible(name, false, false));
    EXPECT_EQ(name, dataFolder() + "/x.ini");
    name = path("blocked/y.log");
    EXPECT_TRUE(cv::MakeFileAccessible(name, true, false));
    EXPECT_EQ(name, dataFolder() + "/" + cv::ChangeFileExt(cv::ExtractFileName(cv::GetExeFileNameA()), "") + "/y.log");
    // For reading, a file that is in neither place cannot be made accessible.
    name = path("blocked/z.ini");
    EXPECT_FALSE(cv::MakeFileAccessible(name, false, true));
    EXPECT_EQ(name, path("blocked/z.ini"));
}

TEST(CrashboxFileNames, PartsOfPaths)
{
    EXPECT_EQ(cv::IncludeTrailingBackslashA(""), "/");
    EXPECT_EQ(cv::IncludeTrailingBackslashA("/a"), "/a/");
    EXPECT_EQ(cv::IncludeTrailingBackslashA("/a/"), "/a/");
    EXPECT_EQ(cv::ExcludeTrailingBackslashA("/a/"), "/a");
    EXPECT_EQ(cv::ExtractFileName("/a/b.c.txt"), "b.c.txt");
    EXPECT_EQ(cv::ExtractFilePath("/a/b.txt"), "/a/");
    EXPECT_EQ(cv::ExtractFileDir("/a/b.txt"), "/a");
    EXPECT_EQ(cv::ExtractFileDir("/b.txt"), "/");
    EXPECT_EQ(cv::ExtractFileExt("/a.d/b"), "");
    EXPECT_EQ(cv::ChangeFileExt("/a/b.vshost.exe", ".elf"), "/a/b.vshost.elf");
    EXPECT_EQ(cv::RemoveVSHost("/a/b.vshost.exe"), "/a/b.exe");
    EXPECT_FALSE(cv::IsIDEHost());
    EXPECT_EQ(cv::GetExeFileNameA(), QCoreApplication::applicationFilePath().toStdString());
}

} // namespace
