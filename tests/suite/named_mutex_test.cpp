#include "suite/named_mutex.h"

#include "suite/private_files.h"
#include "suite/process_utils.h"
#include "support/test_support.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {
QString uniqueName(const char* what)
{
    return QStringLiteral("cv test mutex %1 %2").arg(cv::CurrentProcessId()).arg(QLatin1String(what));
}
} // namespace

TEST(NamedMutex, OpeningNeverCreates)
{
    const QString name = uniqueName("absent");
    EXPECT_FALSE(cv::TNamedMutex::Exists(name));
    EXPECT_FALSE(QFile::exists(cv::TNamedMutex::LockFileName(name)));
}

TEST(NamedMutex, HeldWhileItsOwnerLivesAndStaleAfter)
{
    const QString name = uniqueName("held");
    {
        QString error;
        auto mutex = cv::TNamedMutex::Create(name, &error);
        ASSERT_TRUE(mutex) << error.toStdString();
        EXPECT_TRUE(cv::TNamedMutex::Exists(name));

        auto second = cv::TNamedMutex::Create(name, &error);
        EXPECT_FALSE(second);
        EXPECT_TRUE(error.contains(QLatin1String("held by another process"))) << error.toStdString();
        EXPECT_TRUE(cv::TNamedMutex::Exists(name)) << "a failed second creation leaves the first intact";
    }
    // The lock file stays behind, as after a crash: it counts as absent.
    EXPECT_TRUE(QFile::exists(cv::TNamedMutex::LockFileName(name)));
    EXPECT_FALSE(cv::TNamedMutex::Exists(name));
    auto again = cv::TNamedMutex::Create(name);
    EXPECT_TRUE(again) << "a stale mutex is taken over";
    again.reset();
    QFile::remove(cv::TNamedMutex::LockFileName(name));
}

TEST(NamedMutex, ControllerMutexNameCanBeIsolated)
{
    qunsetenv("CV_MUTEX_NAME");
    EXPECT_EQ(cv::ControllerMutexName(), QStringLiteral("Corvantis Tools mutex"));
    qputenv("CV_MUTEX_NAME", uniqueName("env").toUtf8());
    EXPECT_EQ(cv::ControllerMutexName(), uniqueName("env"));
    EXPECT_FALSE(cv::ControllerMutexExists());
    qunsetenv("CV_MUTEX_NAME");
}

TEST(NamedMutex, TheLockFileIsTheUsersAloneInTheSuitesFolder)
{
    const QString name = uniqueName("private");
    const QString file = cv::TNamedMutex::LockFileName(name);
    EXPECT_TRUE(cv::IsInSuiteTempFolder(file));
    {
        auto mutex = cv::TNamedMutex::Create(name);
        ASSERT_TRUE(mutex);
        EXPECT_EQ(cvtest::modeOf(file), 0600u);
    }
    QFile::remove(file);

    // One another user made first is not taken, and stands for no controller.
    const auto other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, file));
    QString error;
    EXPECT_FALSE(cv::TNamedMutex::Create(name, &error));
    EXPECT_TRUE(error.contains(file) && error.contains(QLatin1String("belongs to another user"))) << error.toStdString();
    EXPECT_FALSE(cv::TNamedMutex::Exists(name));
    QFile::remove(file);
}
