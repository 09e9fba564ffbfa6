#include "crashreport/core/support/profile_file.h"

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/support/files_and_folders.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/stat.h>

#include <string>

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

// Profile files named without a folder, and the registry stand-in.
struct ProfileFilesByName : cvtest::CrashboxFolders {};

TEST_F(ProfileFilesByName, ProfileFilesLiveInTheSettingsFolder)
{
    EXPECT_EQ(cv::IniReadString("Crashbox.ini", "Dialog", "Left", "10"), "10");
    EXPECT_TRUE(cv::IniWriteString("Crashbox.ini", "Dialog", "Left", "240"));
    EXPECT_TRUE(cv::IniWriteString("Crashbox.ini", "Dialog", "Top", "120"));
    EXPECT_TRUE(cv::IniWriteString("Crashbox.ini", "dialog", "LEFT", "250"));
    EXPECT_EQ(cv::IniReadString("Crashbox.ini", "Dialog", "Left", "10"), "250");
    EXPECT_EQ(cv::IniReadString("Crashbox.ini", "Dialog", "Top", ""), "120");
    EXPECT_EQ(cv::IniReadString("Crashbox.ini", "Other", "Top", "none"), "none");
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(settingsFolder() + "/Crashbox.ini")),
              "[Dialog]\nLeft=250\nTop=120\n");
    // A value comes through a buffer of 2048 bytes; a line break cannot be stored.
    EXPECT_TRUE(cv::IniWriteString("Crashbox.ini", "Big", "Text", std::string(3000, 'x')));
    EXPECT_EQ(cv::IniReadString("Crashbox.ini", "Big", "Text", "").size(), 2047u);
    EXPECT_FALSE(cv::IniWriteString("Crashbox.ini", "Big", "Text", "two\nlines"));
}

// Crashbox.ini holds the user's address: a new one is its user's alone
// whatever the umask (the log's file modes: log_file_test).
TEST_F(ProfileFilesByName, ANewProfileFileIsItsUsersAlone)
{
    const mode_t oldMask = ::umask(0);
    const bool written = cv::IniWriteString("Crashbox.ini", "User", "Email", "me@example.test");
    ::umask(oldMask);
    ASSERT_TRUE(written);
    struct stat info {};
    ASSERT_EQ(::stat((settingsFolder() + "/Crashbox.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(ProfileFilesByName, TheRegistryStandInAnswersByKeyPath)
{
    ASSERT_TRUE(cv::ForceFolders(settingsFolder()));
    dir.write(QStringLiteral("config/Crashbox/Registry.ini"),
              "[HKEY_CURRENT_USER\\Software\\Corvantis\\Mail]\nDllPath=/usr/lib/mail.so\n@=default\n");
    EXPECT_EQ(cv::RegistryStandInFile(), settingsFolder() + "/Registry.ini");
    EXPECT_EQ(cv::RegReadString(cv::HKEY_CURRENT_USER, "\\SOFTWARE\\Corvantis\\Mail", "DllPath"), "/usr/lib/mail.so");
    EXPECT_EQ(cv::RegReadString(cv::HKEY_CURRENT_USER, "Software\\Corvantis\\Mail", ""), "default");
    EXPECT_EQ(cv::RegReadString(cv::HKEY_LOCAL_MACHINE, "Software\\Corvantis\\Mail", "DllPath"), "");
    EXPECT_EQ(cv::RegReadString(cv::HKEY_CURRENT_USER, "Software\\Corvantis\\Mail", "Missing"), "");
}

} // namespace
