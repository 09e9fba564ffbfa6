#include "crashreport/core/support/profile_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

TEST(ProfileFile, KeysAreFoundWithoutRegardToCaseAndLinesAreKept)
{
    cv::TProfileFile profile;
    profile.Parse("; a comment\r\n[Dialog]\r\n  Left = 10 \r\nTop=\"  5 \"\r\n\r\n[Other]\nLeft=99\n");
    EXPECT_EQ(profile.Read("dialog", "LEFT"), "10");
    EXPECT_EQ(profile.Read("Dialog", "Top"), "\"  5 \"");
    EXPECT_EQ(profile.Read("Other", "Left"), "99");
    EXPECT_EQ(profile.Read("Dialog", "Width"), std::nullopt);
    EXPECT_EQ(profile.Read("Missing", "Left"), std::nullopt);
    // A new key goes after the section's last line, a new section at the end.
    EXPECT_TRUE(profile.Write("DIALOG", "Width", "300"));
    EXPECT_TRUE(profile.Write("Third", "A", "1"));
    EXPECT_TRUE(profile.Write("Dialog", "left", "11"));
    EXPECT_EQ(profile.Text(), "; a comment\n[Dialog]\nLeft=11\nTop=\"  5 \"\nWidth=300\n\n[Other]\nLeft=99\n\n[Third]\nA=1\n");
}

TEST(ProfileFile, WhatWouldBreakTheLineFormIsRefused)
{
    cv::TProfileFile profile;
    EXPECT_FALSE(profile.Write("S", "key", "two\nlines"));
    EXPECT_FALSE(profile.Write("S", "a=b", "v"));
    EXPECT_FALSE(profile.Write("S", "[k", "v"));
    EXPECT_FALSE(profile.Write("S", ";k", "v"));
    EXPECT_FALSE(profile.Write("S]", "k", "v"));
    EXPECT_FALSE(profile.Write("S", " ", "v"));
    EXPECT_EQ(profile.LineCount(), 0u);
    EXPECT_TRUE(profile.Write("S", "k", "a = b ; c"));
    EXPECT_EQ(profile.Read("S", "k"), "a = b ; c");
}

TEST(ProfileFile, SavingReplacesTheFileWhole)
{
    cvtest::TempDir dir;
    const std::string file = dir.file(QStringLiteral("x.ini")).toStdString();
    cv::TProfileFile profile;
    ASSERT_TRUE(profile.Load(file)); // a missing file is an empty profile
    EXPECT_EQ(profile.LineCount(), 0u);
    profile.Write("S", "k", "v");
    ASSERT_TRUE(profile.Save(file));
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(file)), "[S]\nk=v\n");
    cv::TProfileFile again;
    ASSERT_TRUE(again.Load(file));
    EXPECT_EQ(again.Read("s", "K"), "v");
    // A folder where the file should be: the reason is given, nothing else is touched.
    std::string error;
    EXPECT_FALSE(again.Load(dir.path().toStdString(), &error));
    EXPECT_NE(error.find(dir.path().toStdString()), std::string::npos);
    EXPECT_FALSE(profile.Save(dir.file(QStringLiteral("none/x.ini")).toStdString(), &error));
    EXPECT_NE(error.find("none/x.ini"), std::string::npos);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("x.ini")});
}

} // namespace
