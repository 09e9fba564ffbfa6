#include "crashreport/core/support/files_and_folders.h"

#include "crashreport/core/crashbox_testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace {

using cv::TCharSet;

struct Helpers : cvtest::CrashboxFolders {};

TEST(CrashboxMemory, ReadabilityFollowsTheMemoryMap)
{
    const long page = sysconf(_SC_PAGESIZE);
    // Two read-write pages, then one that is reserved only.
    auto* base = static_cast<uint8_t*>(mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base + 2 * page, page, PROT_NONE), 0);
    // Split the first two into regions of their own: the range spans both.
    ASSERT_EQ(mprotect(base + page, page, PROT_READ), 0);
    EXPECT_TRUE(cv::IsReadableMemory(base + page - 8, 16));
    EXPECT_TRUE(cv::IsReadableMemory(base, 2 * page));
    EXPECT_FALSE(cv::IsReadableMemory(base + page, page + 1));
    EXPECT_FALSE(cv::IsReadableMemory(base + 2 * page, 1));
    // A change after the map was read is seen at the next miss.
    ASSERT_EQ(mprotect(base + 2 * page, page, PROT_READ), 0);
    EXPECT_TRUE(cv::IsReadableMemory(base, 3 * page));
    // Memory given back is readable no more once the map is read again.
    munmap(base, 3 * page);
    cv::ForgetMemoryMap();
    EXPECT_FALSE(cv::IsReadableMemory(base, 1));
    EXPECT_FALSE(cv::IsReadableMemory(nullptr, 4));
    EXPECT_FALSE(cv::IsReadableMemory(reinterpret_cast<void*>(UINTPTR_MAX - 2), 8));
    int local = 0;
    EXPECT_TRUE(cv::IsReadableMemory(&local, sizeof local));
}

TEST(CrashboxMemory, JumpThunksAreFollowedToTheirTarget)
{
    int target = 0;
    // jmp [rip+2]; two bytes of padding; the 8-byte cell.
    alignas(8) uint8_t thunk[16] = {0xFF, 0x25, 0x02, 0x00, 0x00, 0x00, 0x90, 0x90};
    const auto address = reinterpret_cast<uintptr_t>(&target);
    std::memcpy(thunk + 8, &address, 8);
    EXPECT_EQ(cv::GetRealProcAddress(thunk), &target);
    // With endbr64 and the bnd prefix, as the linker's own stubs are.
    alignas(8) uint8_t stub[24] = {0xF3, 0x0F, 0x1E, 0xFA, 0xF2, 0xFF, 0x25, 0x01, 0x00, 0x00, 0x00, 0x90};
    std::memcpy(stub + 12, &address, 8);
    EXPECT_EQ(cv::GetRealProcAddress(stub), &target);
    // Any other code is its own target.
    const void* routine = reinterpret_cast<const void*>(&cv::GetRealProcAddress);
    EXPECT_EQ(cv::GetRealProcAddress(routine), routine);
    thunk[1] = 0x15; // a call, not a jump
    EXPECT_EQ(cv::GetRealProcAddress(thunk), thunk);
}

std::string gInternalError;
void RecordInternalError(const std::string& message) { gInternalError = message; }
void FailingSection() { throw std::runtime_error("no lists"); }
void ThrowingSomething() { throw 42; }
void QuietSection() {}

TEST(CrashboxUnitSections, AFailingSectionIsReportedOrRaisedAgain)
{
    cv::SetInternalErrorProcedure(nullptr);
    EXPECT_NO_THROW(cv::CallUnitSection(&QuietSection, "Quiet.Init"));
    try {
        cv::CallUnitSection(&FailingSection, "ExceptionLog.Init");
        FAIL() << "no exception";
    } catch (const cv::ECrashboxCriticalError& e) {
        EXPECT_STREQ(e.what(), "Critical error at: \"ExceptionLog.Init\"\r\nError: \"no lists\".");
    }
    try {
        cv::CallUnitSection(&ThrowingSomething, "ExceptionLog.Done");
        FAIL() << "no exception";
    } catch (const cv::ECrashboxCriticalError& e) {
        EXPECT_STREQ(e.what(), "Critical error at: \"ExceptionLog.Done\"\r\nError: \"General internal error.\".");
    }
    cv::SetInternalErrorProcedure(&RecordInternalError);
    EXPECT_NO_THROW(cv::CallUnitSection(&FailingSection, "EHook.Init"));
    char address[32];
    std::snprintf(address, sizeof address, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&FailingSection)));
    EXPECT_EQ(gInternalError, std::string("EHook.Init (Address: ") + address + ")");
    cv::SetInternalErrorProcedure(nullptr);
}

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

TEST_F(Helpers, ProfileFilesLiveInTheSettingsFolder)
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
TEST_F(Helpers, ANewProfileFileIsItsUsersAlone)
{
    const mode_t oldMask = ::umask(0);
    const bool written = cv::IniWriteString("Crashbox.ini", "User", "Email", "me@example.test");
    ::umask(oldMask);
    ASSERT_TRUE(written);
    struct stat info {};
    ASSERT_EQ(::stat((settingsFolder() + "/Crashbox.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(Helpers, TheRegistryStandInAnswersByKeyPath)
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

TEST(CrashboxTexts, SplittingKeepsOrTrimsThePieces)
{
    const TCharSet delimiters = cv::MakeCharSet(",;");
    std::vector<std::string> list;
    cv::SplitStringToList(" a , b,,c ; ", list, delimiters, false, false);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c"}));
    list.clear();
    cv::SplitStringToList(" a , b,,c ; ", list, delimiters, false, true);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "", "c"}));
    list.clear();
    cv::SplitStringToList("a,b;c", list, delimiters, true, false);
    EXPECT_EQ(list, (std::vector<std::string>{"a,", "b;", "c"}));
    list.clear();
    cv::ExtractTrimmedStrings(delimiters, ",,a , ,b", list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b"}));
}

TEST(CrashboxTexts, PositionsAndReplacing)
{
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 1), 3);
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 4), 6);
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 7), 0);
    EXPECT_EQ(cv::PosFromA("", "xx", 1), 0);
    EXPECT_EQ(cv::ReplaceAllA("aaa", "aa", "b"), "ba");
    EXPECT_EQ(cv::ReplaceAllA("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(cv::ReplaceAllA("Abc", "a", "x"), "Abc");
    EXPECT_EQ(cv::ReplaceAllA("abc", "", "x"), "abc");
}

TEST(CrashboxTexts, WideTextBecomesUTF8InTheRoomThereIs)
{
    const std::u16string twoAccents = {233, 233};
    char buffer[8];
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(buffer, 3), twoAccents), 3u);
    EXPECT_EQ(std::string(buffer), "\xC3\xA9");
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(), twoAccents), 5u);
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(buffer, 8), u"A\u20AC"), 5u);
    EXPECT_EQ(std::string(buffer), "A\xE2\x82\xAC");
    // A surrogate pair is one character of four bytes; a lone surrogate is U+FFFD.
    EXPECT_EQ(cv::WideToUTF8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(cv::WideToUTF8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(cv::UTF8ToWide("\xF0\x9F\x98\x80x"), u"\U0001F600x");
    EXPECT_EQ(cv::UTF8ToWide("\xC0\x80\xFF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(cv::Utf8CharAt("\xE2\x82", 0), 0u);
    EXPECT_EQ(cv::Utf8CharAt("\xED\xA0\x80", 0), 0u); // an encoded surrogate
}

TEST(CrashboxTexts, NumbersUseADotWhateverTheLocale)
{
    EXPECT_EQ(cv::FloatToDotStr(1.5), "1.5");
    EXPECT_EQ(cv::FloatToDotStr(-0.25), "-0.25");
    EXPECT_EQ(cv::DotStrToFloat(" 3.75 "), 3.75);
    EXPECT_EQ(cv::DotStrToFloat("+2"), 2.0);
    EXPECT_EQ(cv::DotStrToFloat("3,75"), std::nullopt);
    EXPECT_EQ(cv::DotStrToFloat(""), std::nullopt);
    const int offset = cv::LocalTimeOffsetHours();
    EXPECT_GE(offset, -12);
    EXPECT_LE(offset, 14);
}

TEST(CrashboxVersions, VersionsCompareByTheirNumbers)
{
    EXPECT_EQ(cv::NormalizeVersion("1.2"), "00001.00002.00000.00000");
    EXPECT_EQ(cv::NormalizeVersion("6.1.03 beta"), "00006.00001.00003 beta.00000");
    EXPECT_EQ(cv::NormalizeVersion("1.x.3.4.5"), "00001.x.00003.00004.00005");
    EXPECT_EQ(cv::NormalizeVersion("123456.1"), "123456.00001.00000.00000");
    EXPECT_TRUE(cv::IsNewerVersion("1.2", "1.10"));
    EXPECT_FALSE(cv::IsNewerVersion("1.10", "1.2"));
    EXPECT_FALSE(cv::IsNewerVersion("1.2", "1.2.0"));
    EXPECT_FALSE(cv::IsNewerVersion("", "2"));
    EXPECT_FALSE(cv::IsNewerVersion("1", ""));
}

TEST(CrashboxDates, DaysSince1899AndBack)
{
    EXPECT_EQ(cv::EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(cv::EncodeDateTime(2000, 1, 1), 36526.0);
    EXPECT_DOUBLE_EQ(cv::EncodeDateTime(2024, 3, 5, 18), 45356.75);
    const cv::TDateTimeParts p = cv::DecodeDateTime(cv::EncodeDateTime(2024, 2, 29, 23, 59, 58, 500));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 58);
    EXPECT_EQ(p.msec, 500);
    EXPECT_EQ(p.dayOfWeek, 4); // a Thursday
    EXPECT_EQ(cv::DecodeDateTime(cv::EncodeDateTime(1850, 6, 1)).day, 1);
}

} // namespace
