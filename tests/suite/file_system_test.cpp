#include "suite/file_system.h"

#include "support/test_support.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cv;

namespace {

TEST(FileSystem, WhatANameStandsFor)
{
    cvtest::TempDir dir;
    const QString fifo = dir.file(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketName = dir.file(QStringLiteral("sock"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(socketName).constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    struct Case {
        QString name;
        QString reason;
    };
    const Case cases[] = {
        {dir.write(QStringLiteral("plain.txt"), "words"), QString()},
        {dir.file(QStringLiteral("missing.txt")), QString()},
        {dir.path(), QStringLiteral("it is a folder")},
        {fifo, QStringLiteral("it is a named pipe (FIFO)")},
        {QStringLiteral("/dev/zero"), QStringLiteral("it is a device")},
        {socketName, QStringLiteral("it is a socket")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NotARegularFileReason(c.name), c.reason) << c.name.toStdString();
    ::close(sock);
    EXPECT_EQ(SystemErrorText(ENOSPC), QStringLiteral("No space left on device"));
}

// The true cause of a name that cannot be read, and a walk of a folder
// that meets every name (Qt's walk passes over names that are not UTF-8).
TEST(FileSystem, WhyANameCannotBeReadAndAWalkThatMeetsEveryName)
{
    cvtest::TempDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QString text = dir.write(QStringLiteral("text.txt"), "words");
    ASSERT_EQ(::symlink("nowhere", (folder + "/dangling").constData()), 0);
    ASSERT_EQ(::symlink("loop", (folder + "/loop").constData()), 0);
    const QByteArray bad = folder + "/bad\xff\xfe name.txt";
    {
        // Made by its bytes: no QString can name it.
        const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
    }
    QString deep = dir.path();
    while (QFile::encodeName(deep).size() < 4200)
        deep += QStringLiteral("/a-folder-name-of-some-length");
    EXPECT_EQ(CannotReadReason(text), QString());
    EXPECT_EQ(CannotReadReason(dir.file(QStringLiteral("gone.txt"))), QStringLiteral("it does not exist"));
    EXPECT_EQ(CannotReadReason(dir.file(QStringLiteral("dangling"))), QStringLiteral("it is a link to nothing (dangling link)"));
    EXPECT_TRUE(CannotReadReason(dir.file(QStringLiteral("loop"))).startsWith(QStringLiteral("its links lead round in a loop")));
    EXPECT_TRUE(CannotReadReason(deep + QStringLiteral("/t.txt")).startsWith(QStringLiteral("its path is too long")));
    EXPECT_EQ(CannotReadReason(dir.path()), QStringLiteral("it is a folder"));

    QStringList met;
    int badNames = 0;
    ASSERT_TRUE(WalkFolder(dir.path(), [&](const TFolderEntry& e) {
        met << e.path.mid(dir.path().size() + 1) + (e.link ? QStringLiteral(" (link)") : QString());
        badNames += e.badName ? 1 : 0;
    }));
    met.sort();
    EXPECT_EQ(met, (QStringList{QStringLiteral("bad\\xff\\xfe name.txt"), QStringLiteral("dangling (link)"),
                                QStringLiteral("loop (link)"), QStringLiteral("text.txt")}));
    EXPECT_EQ(badNames, 1);
}

TEST(FileSystem, ALockIsHeldByOneHolderAndWaitedForABoundedTime)
{
    cvtest::TempDir dir;
    const QString name = dir.file(QStringLiteral("index.lock"));
    TFileLock first;
    ASSERT_TRUE(first.Lock(name, 0, nullptr));
    TFileLock second;
    QString error;
    bool busy = false;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.Lock(name, 150, &error, &busy));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(busy);
    EXPECT_TRUE(error.contains(QStringLiteral("index.lock"))) << error.toStdString();
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(2));
    first.Release();
    EXPECT_TRUE(second.Lock(name, 0, &error));

    // A holder that dies leaves no lock behind.
    second.Release();
    const pid_t child = ::fork();
    if (child == 0) {
        TFileLock held;
        held.Lock(name, 0, nullptr);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(second.Lock(name, 0, &error)) << error.toStdString();

    EXPECT_FALSE(TFileLock().Lock(dir.file(QStringLiteral("no/such/folder.lock")), 0, &error, &busy));
    EXPECT_FALSE(busy);
    EXPECT_TRUE(error.contains(QStringLiteral("No such file or directory"))) << error.toStdString();
}

// A durable file or a lock is never made through a link: a link at the
// name (ours, left behind; in a shared folder perhaps not) is not followed.
TEST(FileSystem, DurableFilesAndLocksAreMadeNewAndNeverThroughALink)
{
    cvtest::TempDir dir;
    const QString target = dir.write(QStringLiteral("target.txt"), "kept");
    const QString name = dir.file(QStringLiteral("part.new"));
    ASSERT_TRUE(QFile::link(target, name));
    QString error;
    {
        TDurableFile f(name);
        ASSERT_TRUE(f.Create(&error)) << error.toStdString();
        ASSERT_TRUE(f.Write("new", 3, &error) && f.Finish(&error)) << error.toStdString();
    }
    EXPECT_FALSE(QFileInfo(name).isSymLink()) << "our own leftover link goes; a new file takes its name";
    EXPECT_EQ(cvtest::readAll(name), "new");
    EXPECT_EQ(cvtest::readAll(target), "kept");
    const mode_t mask = ::umask(027);
    {
        TDurableFile f(dir.file(QStringLiteral("masked")));
        EXPECT_TRUE(f.Create(&error) && f.Finish(&error));
    }
    ::umask(mask);
    EXPECT_EQ(cvtest::modeOf(dir.file(QStringLiteral("masked"))), 0640u) << "the user's usual mode";

    const QString lock = dir.file(QStringLiteral("x.lock"));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("elsewhere")), lock));
    bool busy = true;
    EXPECT_FALSE(TFileLock().Lock(lock, 0, &error, &busy));
    EXPECT_FALSE(busy);
    EXPECT_TRUE(error.endsWith(QStringLiteral("it is a symbolic link, which is not followed"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("elsewhere"))));
    EXPECT_FALSE(LockIsHeld(lock));
}

// What a killed save left beside a file goes at the next save, an hour on;
// in a folder others may write to, only the user's own.
TEST(FileSystem, LeftoversOfKilledSavesGoButNotAnotherUsersFiles)
{
    cvtest::TempDir dir;
    const QString list = dir.write(QStringLiteral("x.lst"), "list");
    const QString mine = dir.write(QStringLiteral("x.lst.abcDEF"), "left");
    const QString recent = dir.write(QStringLiteral("x.lst.ghiJKL"), "being saved");
    const QString theirs = dir.write(QStringLiteral("x.lst.mnoPQR"), "theirs");
    const QString digits = dir.write(QStringLiteral("x.lst.123456"), "no save of ours");
    const timeval hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const QString& f : {mine, theirs, digits})
        ::utimes(QFile::encodeName(f).constData(), hourAgo);
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (other) {
        ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
        ASSERT_TRUE(cvtest::giveToOtherUser(*other, theirs));
    }
    RemoveLeftoversOfKilledSaves(list);
    EXPECT_FALSE(QFileInfo::exists(mine));
    EXPECT_TRUE(QFileInfo::exists(recent));
    EXPECT_TRUE(QFileInfo::exists(digits));
    EXPECT_TRUE(QFileInfo::exists(list));
    EXPECT_EQ(QFileInfo::exists(theirs), other.has_value()) << "another user's file is left";
}

TEST(FileSystem, AFileThatCannotBeWrittenSaysWhyAndGoes)
{
    cvtest::TempDir dir;
    const QString name = dir.file(QStringLiteral("big.bin"));
    // A limit on a file's size stands in for a full disk.
    const QString message = cvtest::runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        TDurableFile f(name);
        std::vector<uint8_t> bytes(3 << 20, 7);
        const bool ok = f.Create(&error) && f.Write(bytes.data(), int64_t(bytes.size()), &error) && f.Finish(&error);
        return ok ? QStringLiteral("written") : error;
    });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot write file"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("File too large"))) << message.toStdString();
    EXPECT_FALSE(QFile::exists(name)) << "an unfinished file is removed";

    TDurableFile good(name);
    QString error;
    ASSERT_TRUE(good.Create(&error) && good.Write("abc", 3, &error) && good.Finish(&error)) << error.toStdString();
    EXPECT_EQ(good.Written(), 3);
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("abc"));
}

TEST(FileSystem, AnOpenFileStaysTheOneOpenedWhenItsNameIsReplaced)
{
    cvtest::TempDir dir;
    const QString name = dir.write(QStringLiteral("data"), "old contents");
    TReadOnlyFile f;
    QString error;
    ASSERT_TRUE(f.Open(name, &error));
    EXPECT_EQ(f.Size(), 12);
    ASSERT_TRUE(RenameReplacing(dir.write(QStringLiteral("data.new"), "NEW"), name, &error));
    ASSERT_TRUE(SyncFolderOf(name, &error));
    char buf[8] = {};
    ASSERT_TRUE(f.ReadAt(4, buf, 8, &error));
    EXPECT_EQ(QByteArray(buf, 8), QByteArray("contents"));
    EXPECT_FALSE(f.ReadAt(10, buf, 4, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cut short")));
    TReadOnlyFile none;
    EXPECT_FALSE(none.Open(dir.file(QStringLiteral("gone")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist")));
    EXPECT_FALSE(none.Open(dir.path(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("folder")));
    EXPECT_FALSE(RenameReplacing(dir.file(QStringLiteral("gone")), name, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("No such file or directory")));
}

TEST(FileSystem, AFileIsReadOnFromWhereTheLastReadEndedToWhereItEnds)
{
    cvtest::TempDir dir;
    const QString name = dir.write(QStringLiteral("data"), "0123456789");
    TReadOnlyFile f;
    QString error;
    ASSERT_TRUE(f.Open(name, &error));
    char buf[16] = {};
    ASSERT_EQ(f.Read(buf, 4, &error), 4);
    // A read at a place of its own does not move where reading goes on.
    ASSERT_TRUE(f.ReadAt(8, buf + 4, 2, &error));
    ASSERT_EQ(f.Read(buf + 6, 4, &error), 4);
    EXPECT_EQ(QByteArray(buf, 10), QByteArray("0123894567"));
    // Past the end: what is left, then nothing.
    EXPECT_EQ(f.Read(buf, 16, &error), 2);
    EXPECT_EQ(QByteArray(buf, 2), QByteArray("89"));
    EXPECT_EQ(f.Read(buf, 16, &error), 0);
    // A file cut short while it is open: the bytes it still has.
    ASSERT_TRUE(f.Open(name, &error));
    ASSERT_EQ(::truncate(QFile::encodeName(name).constData(), 3), 0);
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.Read(buf, 10, &error), 3);
}

} // namespace
