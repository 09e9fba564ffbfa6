// The one save every save and export goes through: whole or not at all,
// the user's own links followed, and in a folder other users may write to
// nothing of another user's followed or replaced. The other user is played
// by a child process that gives up root (skipped without root).

#include "files/save_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using cv::TSaveFile;

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// Saves bytes to `name`; "" when saved, else the reason.
QString Save(const QString& name, const QByteArray& bytes, TSaveFile::TKind kind = TSaveFile::TKind::Ordinary)
{
    TSaveFile file(name, kind);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(bytes);
    return file.commit() ? QString() : file.errorString();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct SaveFile : ::testing::Test {
    cvtest::TempDir dir;
};

TEST_F(SaveFile, TheOldFileStaysUntilTheCommitAndNothingIsLeftBeside)
{
    const QString name = dir.write(QStringLiteral("list.txt"), "old");
    {
        TSaveFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("new contents");
        EXPECT_EQ(cvtest::readAll(name), "old") << "written beside, not in place";
        EXPECT_EQ(Entries(dir.path()).size(), 2);
    }
    EXPECT_EQ(cvtest::readAll(name), "old") << "never committed";
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("list.txt")});
    {
        TSaveFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("cancelled");
        file.cancelWriting();
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(cvtest::readAll(name), "old");
    EXPECT_EQ(Save(name, "new"), QString());
    EXPECT_EQ(cvtest::readAll(name), "new");
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("list.txt")});
    EXPECT_FALSE(Save(dir.file(QStringLiteral("none/x.txt")), "x").isEmpty()) << "a folder that is not there";
    EXPECT_EQ(Save(dir.path(), "x"), QStringLiteral("it is a folder"));
}

TEST_F(SaveFile, ModesAreKeptOrTheUsersAndAPrivateSaveIsTheUsersAlone)
{
    const QString kept = dir.write(QStringLiteral("kept.txt"), "old");
    ::chmod(Native(kept).constData(), 0640);
    ASSERT_EQ(Save(kept, "new"), QString());
    EXPECT_EQ(cvtest::modeOf(kept), 0640u);
    const mode_t mask = ::umask(027);
    const QString fresh = dir.file(QStringLiteral("fresh.txt"));
    const QString saved = Save(fresh, "x");
    ::umask(mask);
    ASSERT_EQ(saved, QString());
    EXPECT_EQ(cvtest::modeOf(fresh), 0640u) << "0666 less the umask";
    ::chmod(Native(kept).constData(), 0644);
    ASSERT_EQ(Save(kept, "private", TSaveFile::TKind::Private), QString());
    EXPECT_EQ(cvtest::modeOf(kept), 0600u);
}

TEST_F(SaveFile, TheUsersOwnLinksLeadToTheFileAndAPrivateSaveReplacesTheLink)
{
    const QString target = dir.write(QStringLiteral("real.txt"), "old");
    const QString link = dir.file(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("real.txt"), link)); // relative, as users make them
    TSaveFile file(link);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.Target(), target);
    file.write("through the link");
    ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(cvtest::readAll(target), "through the link");

    ASSERT_EQ(Save(link, "private", TSaveFile::TKind::Private), QString());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(cvtest::readAll(target), "through the link");

    const QString loop = dir.file(QStringLiteral("loop"));
    ASSERT_TRUE(QFile::link(loop, loop));
    EXPECT_EQ(Save(loop, "x"), QStringLiteral("its links lead round in a loop"));
}

// A folder like /tmp: everyone may write, the sticky bit set, and a path
// the other user may reach.
struct SharedFolder : SaveFile {
    void SetUp() override
    {
        other = cvtest::otherUser();
        shared = cvtest::makeSharedFolder(dir);
        theirs = dir.file(QStringLiteral("theirs"));
        ASSERT_TRUE(QDir().mkpath(theirs));
        ::chmod(Native(theirs).constData(), 0777);
        precious = dir.write(QStringLiteral("precious.txt"), "the user's own");
        ::chmod(Native(precious).constData(), 0600);
    }
    QString in(const QString& name) const { return QDir(shared).filePath(name); }
    // Makes, as the other user, a link `name` in the shared folder to `target`.
    void linkAsOther(const QString& target, const QString& name)
    {
        ASSERT_EQ(cvtest::linkAsOtherUser(*other, target, in(name)), QString());
    }
    std::optional<cvtest::OtherUser> other;
    QString shared, theirs, precious;
};

TEST_F(SharedFolder, AnotherUsersLinksAndFilesThereAreRefusedWithTheReason)
{
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    linkAsOther(precious, QStringLiteral("v.lst"));
    linkAsOther(QDir(theirs).filePath(QStringLiteral("loot.lst")), QStringLiteral("w.lst"));
    const QString refusal = Save(in(QStringLiteral("v.lst")), "the word list");
    EXPECT_TRUE(refusal.startsWith(QStringLiteral("it is a symbolic link of another user (")) && refusal.endsWith(QStringLiteral("it is not followed")))
        << refusal.toStdString();
    EXPECT_EQ(cvtest::readAll(precious), "the user's own");
    EXPECT_EQ(cvtest::modeOf(precious), 0600u);
    EXPECT_FALSE(Save(in(QStringLiteral("w.lst")), "the word list").isEmpty());
    EXPECT_TRUE(Entries(theirs).isEmpty()) << "nothing of the user's appears in the other user's folder";
    EXPECT_FALSE(Save(in(QStringLiteral("w.lst")), "the word list", TSaveFile::TKind::Private).isEmpty());

    // A file of theirs, open to all, is not replaced either.
    const QString made = cvtest::asOtherUser(*other, [&]() -> QString {
        ::umask(0);
        const int fd = ::open(Native(in(QStringLiteral("x.lst"))).constData(), O_WRONLY | O_CREAT, 0666);
        return fd >= 0 && ::close(fd) == 0 ? QString() : QStringLiteral("not made");
    });
    ASSERT_EQ(made, QString());
    EXPECT_TRUE(Save(in(QStringLiteral("x.lst")), "list").endsWith(QStringLiteral("it is not replaced")));
    EXPECT_EQ(QFileInfo(in(QStringLiteral("x.lst"))).size(), 0);
    EXPECT_EQ(Entries(shared).size(), 3) << "no temporary file left";
}

TEST_F(SharedFolder, TheUsersOwnLinksThereAndFilesInFoldersOfTheirOwnStillWork)
{
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    const QString mine = in(QStringLiteral("mine.lst"));
    ASSERT_TRUE(QFile::link(precious, mine));
    EXPECT_EQ(Save(mine, "saved through my link"), QString());
    EXPECT_EQ(cvtest::readAll(precious), "saved through my link");
    EXPECT_EQ(cvtest::modeOf(precious), 0600u);
    // Outside a shared folder the old rule stands: what lies in a folder of
    // the user's own is the user's to follow.
    const QString given = dir.file(QStringLiteral("given.lst"));
    ASSERT_TRUE(QFile::link(precious, given));
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, given));
    EXPECT_EQ(Save(given, "again"), QString());
    EXPECT_EQ(cvtest::readAll(precious), "again");
}

TEST_F(SharedFolder, ALinkPutAtTheNameWhileTheFileIsWrittenIsNotWrittenThrough)
{
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    TSaveFile file(in(QStringLiteral("late.lst")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the word list");
    linkAsOther(precious, QStringLiteral("late.lst"));
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.errorString().endsWith(QStringLiteral("it is not followed"))) << file.errorString().toStdString();
    EXPECT_EQ(cvtest::readAll(precious), "the user's own");
    EXPECT_EQ(Entries(shared), QStringList{QStringLiteral("late.lst")});
}

} // namespace

namespace {

// Every save and export goes through TSaveFile: no file of the programs
// writes a file with Qt's save (which follows another user's link) or
// truncates one in place by name. Comments may name them.
TEST(SaveRoads, NoSaveGoesAroundTheOneSave)
{
    const QString src = QDir(cvtest::testDataDir()).filePath(QStringLiteral("../../src"));
    ASSERT_TRUE(QFileInfo(src).isDir()) << src.toStdString();
    QStringList found;
    QDirIterator it(src, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        int number = 0;
        for (const QByteArray& line : cvtest::readAll(file).split('\n')) {
            ++number;
            const QByteArray code = line.trimmed();
            if (code.startsWith("//"))
                continue;
            if (code.contains("QSaveFile") || code.contains("O_TRUNC") || code.contains("std::ofstream"))
                found << QStringLiteral("%1:%2").arg(QDir(src).relativeFilePath(file)).arg(number);
        }
    }
    EXPECT_TRUE(found.isEmpty()) << found.join(u' ').toStdString();
}

} // namespace
