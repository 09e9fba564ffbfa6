// The leak catcher in a program that keeps the C++ runtime's own allocation
// operators (as the tool does): catching is switched off whatever the options
// say. The catcher switched on is tested by the program in leak_catcher/.
#include "crashreport/core/leaks/leak_catcher.h"

#include <gtest/gtest.h>

#include <memory>

using namespace cv;

TEST(LeakCatcher, BlockSizeChecks)
{
    EXPECT_EQ(CheckLeakBlockSizes(), "");
    EXPECT_EQ(CheckLeakBlockSizes(300, 8), "BlockOverHead size is NOT a multiple of 8.");
    EXPECT_EQ(CheckLeakBlockSizes(304, 4), "BlockOverFoot size is NOT a multiple of 8.");
}

struct WantedCase {
    const char* mainModule;
    bool isMain;
    uint32_t magic, version;
    uint8_t options;
    bool mainBlockCatches;
    bool wanted;
};

class LeakCatchingWish : public ::testing::TestWithParam<WantedCase> {};

TEST_P(LeakCatchingWish, FromTheOptionsBlocks)
{
    const WantedCase& c = GetParam();
    const TLeakOptionsBlock own{c.magic, c.version, c.options};
    const TLeakOptionsBlock main{0x100FAB10, 6103, uint8_t(c.mainBlockCatches ? kLeakCatchLeaks : 0)};
    TLeakCatcherStartup startup;
    startup.MainModuleFileName = c.mainModule;
    startup.IsMainModule = c.isMain;
    startup.ModuleBlock = &own;
    startup.MainModuleBlock = &main;
    EXPECT_EQ(LeakCatchingWanted(startup), c.wanted);
}

INSTANTIATE_TEST_SUITE_P(
    LeakCatcher, LeakCatchingWish,
    ::testing::Values(WantedCase{"/opt/cv/wordlist", true, 0x100FAB10, 6103, kLeakCatchLeaks, false, true},
                      WantedCase{"/opt/cv/wordlist", true, 0x000FAB10, 601, kLeakCatchLeaks, false, true}, // 601 reads 6001
                      WantedCase{"/opt/cv/wordlist", true, 0x100FAB10, 599, kLeakCatchLeaks, false, false},
                      WantedCase{"/opt/cv/wordlist", true, 0x100FAB10, 603, kLeakCatchLeaks, false, false},
                      WantedCase{"/opt/cv/wordlist", true, 0x12345678, 6103, kLeakCatchLeaks, false, false},
                      WantedCase{"/opt/cv/wordlist", true, 0x100FAB10, 6103, kLeakFreeAllLeaks, false, false},
                      WantedCase{"C:/ide/bds.exe", true, 0x100FAB10, 6103, kLeakCatchLeaks, false, false},
                      WantedCase{"/opt/cv/wordlist", false, 0x100FAB10, 6103, kLeakCatchLeaks, false, false},
                      WantedCase{"/opt/cv/wordlist", false, 0x100FAB10, 6103, kLeakCatchLeaks, true, true}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(LeakCatcher, SwitchedOffWhereTheRuntimeKeepsItsOwnOperators)
{
    EXPECT_FALSE(LeakOperatorsInForce());
    std::vector<std::string> messages;
    TLeakCallbacks callbacks;
    callbacks.Message = [&](const std::string& caption, const std::string& text) { messages.push_back(caption + "|" + text); };
    SetLeakCallbacks(callbacks);

    const TLeakOptionsBlock block{0x100FAB10, 6103, kLeakCatchLeaks | kLeakCatchLeaksExceptions};
    TLeakCatcherStartup startup;
    startup.MainModuleFileName = startup.ModuleFileName = "/opt/cv/wordlist";
    startup.ModuleBlock = &block;
    EXPECT_EQ(StartLeakCatcher(startup), TLeakCatcherState::lcsSharedRuntime);
    EXPECT_TRUE(messages.empty()) << "the message is for a developer under a debugger only";
    startup.DebuggerAttached = true;
    EXPECT_EQ(StartLeakCatcher(startup), TLeakCatcherState::lcsSharedRuntime);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error|The \"Memory Leaks Catches\" is disabled in the \"/opt/cv/wordlist\" module, "
                           "because compiled with RunTime-Packages.");

    // The memory manager is untouched: nothing is listed, nothing reported.
    EXPECT_FALSE(LeakCatcherActive());
    auto block1 = std::make_unique<char[]>(100);
    EXPECT_EQ(LeakLiveBlockCount(), 0u);
    EXPECT_EQ(ShutDownLeakCatcher().Count, 0u);
    SetLeakCallbacks({});
}
