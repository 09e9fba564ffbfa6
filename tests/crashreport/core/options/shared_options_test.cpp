#include "crashreport/core/options/shared_options.h"

#include "crashreport/core/options/options_stream.h"
#include "crashreport/core/support/module_handles.h"
#include "suite/cv_endian.h"
#include "suite/cv_stream.h"
#include "suite/private_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace {

using namespace cv;

std::string ProgramFile() { return QCoreApplication::applicationFilePath().toStdString(); }

std::vector<uint8_t> StreamOf(const TCrashboxModuleOptions& options)
{
    TMemoryStream stream;
    EXPECT_TRUE(options.SaveToStream(stream));
    return stream.Bytes();
}

bool AreaExists(pid_t pid, uintptr_t handle) { return ::access(SharedDataFileName(pid, handle).c_str(), F_OK) == 0; }

struct SharedOptions : ::testing::Test {
    void TearDown() override
    {
        DeactivateCrashbox();
        ReleaseSharedOptionsArea();
    }
};

TEST_F(SharedOptions, TheNameHoldsTheProcessAndTheModule)
{
    EXPECT_EQ(SharedDataName(0x1A2B, 0x7F00AB001000), "/Crashbox-00001A2B00007F00AB001000");
}

TEST_F(SharedOptions, TheProgramsOptionsArePublishedAndReadBySecondOptions)
{
    ActivateCrashbox(ProgramFile());
    TCrashboxModuleOptions& current = CurrentCrashboxOptions();
    current.SetOutputPath("/home/user/Corvantis");
    current.SetCustomizedTexts(mtDialog_Caption, "Crashed");
    EXPECT_EQ(LastSharedOptionsError(), "");
    const uintptr_t handle = CrashboxLibraryModuleHandle();
    ASSERT_TRUE(AreaExists(getpid(), handle));
    {
        // The area: its size, then byte 1 and the options stream.
        TSharedDataArea area = OpenSharedData(handle, 0);
        ASSERT_TRUE(area.IsOpen());
        EXPECT_FALSE(area.Created());
        const std::vector<uint8_t> stream = StreamOf(current);
        ASSERT_EQ(area.View().size(), stream.size() + 1);
        EXPECT_EQ(area.View()[0], 1);
        EXPECT_TRUE(std::equal(stream.begin(), stream.end(), area.View().begin() + 1));
        EXPECT_EQ(endian::loadLE<uint32_t>(area.View().data() - 4), stream.size() + 5);
    }
    TCrashboxSharedOptions second(ProgramFile());
    SetOptionsVersion(4000); // the reader sets the current version itself
    second.LoadSharedData();
    EXPECT_EQ(OptionsVersion(), kCurrentOptionsVersion);
    EXPECT_EQ(second.OutputPath(), "/home/user/Corvantis");
    EXPECT_EQ(second.GetCustomizedTexts(mtDialog_Caption), "Crashed");
    // Publishing again replaces the area; deactivating removes it.
    current.SetOutputPath("/elsewhere");
    TCrashboxModuleOptions third(ProgramFile());
    EXPECT_TRUE(ReadPublishedOptions(third));
    EXPECT_EQ(third.OutputPath(), "/elsewhere");
    DeactivateCrashbox();
    EXPECT_FALSE(AreaExists(getpid(), handle));
}

TEST_F(SharedOptions, ReadingWhenNothingWasPublishedChangesNothing)
{
    ReleaseSharedOptionsArea();
    TCrashboxSharedOptions options(ProgramFile());
    options.SetOutputPath("/mine"); // published ...
    ReleaseSharedOptionsArea();     // ... and gone again
    const std::vector<uint8_t> before = StreamOf(options);
    std::string error;
    EXPECT_FALSE(ReadPublishedOptions(options, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(StreamOf(options), before);
    EXPECT_FALSE(AreaExists(getpid(), options.ModuleHandle()));
    // Options of no module are neither published nor read.
    TCrashboxModuleOptions nobody("");
    EXPECT_FALSE(PublishOptions(nobody, &error));
    EXPECT_FALSE(ReadPublishedOptions(nobody));
}

TEST_F(SharedOptions, AnAreaOfAnotherSizeIsLeftAsItIs)
{
    TCrashboxSharedOptions options(ProgramFile());
    options.SetOutputPath("/first"); // the first publication clears what earlier images left
    ReleaseSharedOptionsArea();
    // Someone else's area under the module's name.
    TSharedDataArea foreign = OpenSharedData(options.ModuleHandle(), 10);
    ASSERT_TRUE(foreign.IsOpen());
    ASSERT_TRUE(foreign.Created());
    std::memset(foreign.View().data(), 0x5A, 10);
    std::string error;
    EXPECT_FALSE(PublishOptions(options, &error));
    EXPECT_NE(error.find("holds 10 bytes"), std::string::npos) << error;
    EXPECT_EQ(LastSharedOptionsError(), error);
    EXPECT_TRUE(std::all_of(foreign.View().begin(), foreign.View().end(), [](uint8_t b) { return b == 0x5A; }));
    // Its first byte is not 1 and its stream is no options stream: nothing is read.
    const std::vector<uint8_t> before = StreamOf(options);
    EXPECT_FALSE(ReadPublishedOptions(options, &error));
    EXPECT_EQ(StreamOf(options), before);
    foreign.View()[0] = 0;
    EXPECT_FALSE(ReadPublishedOptions(options, &error));
    EXPECT_EQ(StreamOf(options), before);
}

TEST_F(SharedOptions, ASizeWordBeyondTheAreaIsRefused)
{
    const uintptr_t handle = 0xDEAD0000;
    ASSERT_TRUE(CheckSuiteTempFolder());
    for (const uint32_t sizeWord : {uint32_t(4096), uint32_t(2)}) {
        const int fd = ::open(SharedDataFileName(getpid(), handle).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 64), 0);
        uint8_t head[4];
        endian::storeLE(head, sizeWord);
        ASSERT_EQ(pwrite(fd, head, 4, 0), 4);
        close(fd);
        std::string error;
        TSharedDataArea area = OpenSharedData(handle, 0, &error);
        EXPECT_FALSE(area.IsOpen());
        EXPECT_NE(error.find("holds 64 bytes but gives its size as " + std::to_string(sizeWord)), std::string::npos)
            << error;
        TSharedDataArea forStore = OpenSharedData(handle, 60, &error);
        EXPECT_FALSE(forStore.IsOpen());
        ::unlink(SharedDataFileName(getpid(), handle).c_str());
    }
}

// Every user may list /dev/shm: the area is kept where only its user can
// look, so no name shows where the module was loaded.
TEST_F(SharedOptions, TheAreaLiesInThePrivateFolderForItsUserAlone)
{
    ActivateCrashbox(ProgramFile());
    CurrentCrashboxOptions().SetOutputPath("/somewhere");
    const uintptr_t handle = CrashboxLibraryModuleHandle();
    const QString file = QString::fromStdString(SharedDataFileName(getpid(), handle));
    EXPECT_EQ(QFileInfo(file).absolutePath(), SuiteTempFolder());
    EXPECT_EQ(cvtest::modeOf(file), 0600u);
    EXPECT_EQ(cvtest::modeOf(SuiteTempFolder()), 0700u);
    char address[32];
    std::snprintf(address, sizeof address, "%016llX", static_cast<unsigned long long>(handle));
    for (const QString& name : QDir(QStringLiteral("/dev/shm")).entryList(QDir::AllEntries | QDir::System | QDir::Hidden))
        EXPECT_FALSE(name.contains(QString::fromLatin1(address))) << name.toStdString();
    DeactivateCrashbox();

    // A link at the area's name is neither followed nor used.
    cvtest::TempDir dir;
    const QString elsewhere = dir.file(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(elsewhere, file));
    std::string error;
    EXPECT_FALSE(OpenSharedData(handle, 60, &error).IsOpen());
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
    ::unlink(QFile::encodeName(file).constData());
}

TEST_F(SharedOptions, AreasOfEndedProcessesAreRemoved)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const uintptr_t handle = 0x400000;
    {
        TSharedDataArea left = OpenSharedData(handle, 8, nullptr, child);
        ASSERT_TRUE(left.IsOpen());
        TSharedDataArea mine = OpenSharedData(handle, 8);
        ASSERT_TRUE(mine.IsOpen());
        // Left behind as a crash would leave them: the names stay.
        RemoveLeftSharedOptionsAreas();
        EXPECT_FALSE(AreaExists(child, handle));
        EXPECT_TRUE(AreaExists(getpid(), handle));
    }
    EXPECT_FALSE(AreaExists(getpid(), handle));
}

TEST_F(SharedOptions, AChildMadeByForkLeavesItsParentsAreaAlone)
{
    TCrashboxSharedOptions options(ProgramFile());
    options.SetOutputPath("/parent");
    ASSERT_TRUE(AreaExists(getpid(), options.ModuleHandle()));
    const pid_t child = fork();
    if (child == 0) {
        ReleaseSharedOptionsArea(); // as its ending would
        _exit(0);
    }
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(AreaExists(getpid(), options.ModuleHandle()));
    TCrashboxModuleOptions reader(ProgramFile());
    EXPECT_TRUE(ReadPublishedOptions(reader));
    EXPECT_EQ(reader.OutputPath(), "/parent");
}

} // namespace
