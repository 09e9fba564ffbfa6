// Who owns what, and which folders others may write to.

#include "files/shared_folders.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

TEST(SharedFolders, OwnersAreNamedAndFoldersOthersMayWriteAreKnown)
{
    EXPECT_EQ(cv::DescribeOwner(0), QStringLiteral("user root (uid 0)"));
    EXPECT_EQ(cv::DescribeOwner(4123456789u), QStringLiteral("uid 4123456789"));
    cvtest::TempDir dir;
    ::chmod(Native(dir.path()).constData(), 0700);
    EXPECT_FALSE(cv::OthersMayWriteIn(dir.path()));
    ::chmod(Native(dir.path()).constData(), 0770);
    EXPECT_TRUE(cv::OthersMayWriteIn(dir.path()));
    ::chmod(Native(dir.path()).constData(), 01777);
    EXPECT_TRUE(cv::OthersMayWriteIn(dir.path()));
    EXPECT_TRUE(cv::ForeignEntryReason(dir.write(QStringLiteral("mine"), "x")).isEmpty());
    EXPECT_TRUE(cv::ForeignEntryReason(dir.file(QStringLiteral("absent"))).isEmpty());
    ::chmod(Native(dir.path()).constData(), 0700);
}

} // namespace
