#include "suite/private_files.h"

#include "suite/cv_stream.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using cvtest::modeOf;

// Each test has a runtime folder and a shared temporary folder (like /tmp:
// everybody writes, the sticky bit keeps each one's files theirs) of its own.
class SuiteFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_runtime = qgetenv("XDG_RUNTIME_DIR");
        m_tmp = qgetenv("TMPDIR");
        ASSERT_TRUE(QDir().mkpath(runtime()));
        ::chmod(QFile::encodeName(runtime()).constData(), 0700);
        ASSERT_TRUE(QDir().mkpath(shared()));
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(shared()).constData(), 01777);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime()));
        qputenv("TMPDIR", QFile::encodeName(shared()));
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", m_runtime);
        if (m_tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_tmp);
    }
    QString runtime() const { return dir.file(QStringLiteral("run")); }
    QString shared() const { return dir.file(QStringLiteral("tmp")); }
    QString fallback() const { return QDir(shared()).filePath(QStringLiteral("corvantis-%1").arg(::geteuid())); }

    cvtest::TempDir dir;
    QByteArray m_runtime, m_tmp;
};

TEST_F(SuiteFolder, LiesInTheUsersRuntimeFolderElseInAFolderOfTheUserInTheTemporaryFolder)
{
    EXPECT_EQ(cv::SuiteTempFolder(), QDir(runtime()).filePath(QStringLiteral("corvantis")));
    QString error;
    ASSERT_TRUE(cv::CheckSuiteTempFolder(&error)) << error.toStdString();
    EXPECT_EQ(modeOf(cv::SuiteTempFolder()), 0700u);
    EXPECT_TRUE(cv::IsInSuiteTempFolder(cv::SuiteTempFile(QStringLiteral("CVlog.txt"))));
    EXPECT_FALSE(cv::IsInSuiteTempFolder(QDir(runtime()).filePath(QStringLiteral("CVlog.txt"))));

    // No runtime folder, or one that is not the user's (inherited through su): the temporary folder.
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(cv::SuiteTempFolder(), fallback());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.file(QStringLiteral("absent"))));
    EXPECT_EQ(cv::SuiteTempFolder(), fallback());
    ASSERT_TRUE(cv::CheckSuiteTempFolder(&error)) << error.toStdString();
    EXPECT_EQ(modeOf(fallback()), 0700u);
}

TEST_F(SuiteFolder, AFolderThatIsNotPrivateToTheUserIsRefusedOrNarrowed)
{
    qunsetenv("XDG_RUNTIME_DIR");
    // The user's own folder, opened to others by mistake, is made private again.
    ASSERT_TRUE(QDir().mkpath(fallback()));
    ::chmod(QFile::encodeName(fallback()).constData(), 0777);
    QString error;
    ASSERT_TRUE(cv::CheckSuiteTempFolder(&error)) << error.toStdString();
    EXPECT_EQ(modeOf(fallback()), 0700u);

    // A link in its place is not followed.
    ASSERT_TRUE(QDir(fallback()).removeRecursively());
    ASSERT_TRUE(QFile::link(dir.path(), fallback()));
    EXPECT_FALSE(cv::CheckSuiteTempFolder(&error));
    EXPECT_TRUE(error.contains(fallback()) && error.contains(QStringLiteral("symbolic link"))) << error.toStdString();
    EXPECT_EQ(cv::OpenPrivateFile(cv::SuiteTempFile(QStringLiteral("CVlog.txt")), cv::TPrivateOpen::Create), -1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("CVlog.txt"))));
}

TEST_F(SuiteFolder, AFolderAnotherUserMadeFirstIsRefusedWithTheReason)
{
    const auto other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    // A runtime folder of another user's (su keeps the variable) is not ours either.
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, runtime()));
    EXPECT_EQ(cv::SuiteTempFolder(), fallback());
    const QString folder = fallback();
    EXPECT_EQ(cvtest::asOtherUser(*other, [&] {
                  return ::mkdir(QFile::encodeName(folder).constData(), 0777) == 0 ? QString() : QStringLiteral("no mkdir");
              }),
              QString());
    ::chmod(QFile::encodeName(folder).constData(), 0777); // what the other user's umask took away
    QString error;
    EXPECT_FALSE(cv::CheckSuiteTempFolder(&error));
    EXPECT_TRUE(error.contains(folder) && error.contains(QStringLiteral("belongs to another user"))) << error.toStdString();
    // Nothing of ours goes into it.
    EXPECT_EQ(cv::OpenPrivateFile(cv::SuiteTempFile(QStringLiteral("corvantis-settings.buf")), cv::TPrivateOpen::Create, &error), -1);
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(SuiteFolder, FilesAreMadeForTheUserAlone)
{
    const QString log = cv::SuiteTempFile(QStringLiteral("CVlog.txt"));
    int fd = cv::OpenPrivateFile(log, cv::TPrivateOpen::Append);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(modeOf(log), 0600u);
    // Opened again: the same file, made private again when it was opened to others.
    ::chmod(QFile::encodeName(log).constData(), 0644);
    fd = cv::OpenPrivateFile(log, cv::TPrivateOpen::Create);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(modeOf(log), 0600u);
    // A new file means new.
    QString error;
    EXPECT_EQ(cv::OpenPrivateFile(log, cv::TPrivateOpen::CreateNew, &error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("exists already")));

    // What is not a regular file is not opened (a named pipe would hold the open up).
    const QString fifo = cv::SuiteTempFile(QStringLiteral("WordList.chosen_texts"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(cv::OpenPrivateFile(fifo, cv::TPrivateOpen::Read, &error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("not a regular file")));
}

TEST_F(SuiteFolder, SavesThereAreTheUsersAloneAndReplaceALinkInsteadOfItsTarget)
{
    cv::TMemoryStream m;
    m.WriteU32(0x12345678);
    const QString handOver = cv::SuiteTempFile(QStringLiteral("WordList.chosen_texts"));
    QString error;
    ASSERT_TRUE(m.SaveToFile(handOver, &error)) << error.toStdString();
    EXPECT_EQ(modeOf(handOver), 0600u);

    const QString target = dir.write(QStringLiteral("notes.txt"), "mine");
    ASSERT_TRUE(QFile::remove(handOver));
    ASSERT_TRUE(QFile::link(target, handOver));
    ASSERT_TRUE(m.SaveToFile(handOver, &error)) << error.toStdString();
    EXPECT_EQ(cvtest::readAll(target), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo(handOver).isSymLink());
    EXPECT_EQ(cvtest::readAll(handOver).size(), 4);
    EXPECT_TRUE(QDir(cv::SuiteTempFolder()).entryList(QDir::Files | QDir::Hidden).size() == 1) << "no temporary file left";
}

} // namespace
