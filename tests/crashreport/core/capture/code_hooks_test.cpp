#include "crashreport/core/capture/code_hooks.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"
#include "hook_target.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

// Routines whose first instructions the procedure hook has to move with
// care: a RIP-relative load, a short conditional jump out of the moved bytes,
// a relative call; and two that end before a jump fits.
extern "C" {
int cvtest_rip_value = 7;
int cvtest_rip_first();
int cvtest_short_jump_first(int x);
int cvtest_call_first();
int cvtest_too_short();
int cvtest_ret_only();
}

asm(R"(
    .text
    .p2align 4
    .globl cvtest_rip_first
    .type cvtest_rip_first, @function
cvtest_rip_first:
    movl cvtest_rip_value(%rip), %eax
    ret
    .size cvtest_rip_first, .-cvtest_rip_first

    .p2align 4
    .globl cvtest_short_jump_first
    .type cvtest_short_jump_first, @function
cvtest_short_jump_first:
    testl %edi, %edi
    jz 1f
    movl $1, %eax
    ret
1:  movl $2, %eax
    ret
    .size cvtest_short_jump_first, .-cvtest_short_jump_first

    .p2align 4
    .type cvtest_helper_41, @function
cvtest_helper_41:
    movl $41, %eax
    ret
    .size cvtest_helper_41, .-cvtest_helper_41

    .p2align 4
    .globl cvtest_call_first
    .type cvtest_call_first, @function
cvtest_call_first:
    call cvtest_helper_41
    addl $1, %eax
    ret
    .size cvtest_call_first, .-cvtest_call_first

    .p2align 4
    .globl cvtest_too_short
    .type cvtest_too_short, @function
cvtest_too_short:
    xorl %eax, %eax
    ret
    .size cvtest_too_short, .-cvtest_too_short
    int3
    int3
    int3
    int3

    .p2align 4
    .globl cvtest_ret_only
    .type cvtest_ret_only, @function
cvtest_ret_only:
    ret
    .size cvtest_ret_only, .-cvtest_ret_only
    int3
    int3
    int3
    int3
    int3
)");

namespace {

// Sanitizer builds put a jump over a type signature at the start of each
// routine (nothing can be moved from there) and catch dlopen in the program
// itself (no module's slot leads there): the tests that rest on either skip.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

extern "C" int ReplacementValue(int x)
{
    return -x;
}
extern "C" int ReplacementNoArgs()
{
    return -5;
}
extern "C" int ReplacementShort(int x)
{
    return 100 + x;
}
int ReplacementArea(const HookShape*)
{
    return 99;
}

using IntFn = int (*)(int);

struct Hooks : ::testing::Test {
    void SetUp() override { cv::InitHooks(); }
    void TearDown() override { cv::DoneHooks(); }

    // The library's own routine, as the loader gives it (an address taken in
    // this program would come from a GOT slot that the tests change).
    static IntFn Original(const char* name) { return reinterpret_cast<IntFn>(::dlsym(RTLD_DEFAULT, name)); }
    static uintptr_t ThisProgram() { return cv::ModuleHandleOfAddress(reinterpret_cast<void*>(&ReplacementValue)); }
};

TEST_F(Hooks, InlineHookReachesEveryCallerAndTheTrampolineTheOriginal)
{
    if (kSanitized)
        GTEST_SKIP() << "sanitizer build";
    const IntFn original = Original("hook_target_value");
    ASSERT_NE(original, nullptr);
    auto trampoline = reinterpret_cast<IntFn>(cv::HookProcedure(reinterpret_cast<void*>(original), reinterpret_cast<void*>(&ReplacementValue),
                                                                "hook_target_value"));
    ASSERT_NE(trampoline, nullptr);
    EXPECT_EQ(hook_target_value(2), -2);          // this program's call
    EXPECT_EQ(original(2), -2);                   // through the routine's address
    EXPECT_EQ(hook_target_call_value(2), -1);     // from inside the library
    EXPECT_EQ(trampoline(2), 1006);               // the original still runs
    // A module loaded now calls the routine that is hooked already.
    void* late = ::dlopen(CV_HOOK_LATE_LIBRARY, RTLD_NOW);
    ASSERT_NE(late, nullptr) << ::dlerror();
    auto lateValue = reinterpret_cast<IntFn>(::dlsym(late, "hook_late_value"));
    EXPECT_EQ(lateValue(3), -3);

    // Hooking again gives the same trampoline and changes nothing.
    EXPECT_EQ(reinterpret_cast<IntFn>(cv::HookProcedure(reinterpret_cast<void*>(original), reinterpret_cast<void*>(&ReplacementShort), "again")),
              trampoline);
    EXPECT_EQ(hook_target_value(2), -2);
    EXPECT_EQ(cv::ProcedureHookCount(), 1u);

    EXPECT_TRUE(cv::UnhookProcedure(reinterpret_cast<void*>(trampoline)));
    EXPECT_FALSE(cv::UnhookProcedure(reinterpret_cast<void*>(original)));
    EXPECT_EQ(hook_target_value(2), 1006);
    EXPECT_EQ(hook_target_call_value(2), 1007);
    EXPECT_EQ(lateValue(3), 1009);
    ::dlclose(late);
}

TEST_F(Hooks, MovedInstructionsKeepWorkingInTheTrampoline)
{
    auto rip = reinterpret_cast<int (*)()>(cv::HookProcedure(reinterpret_cast<void*>(&cvtest_rip_first),
                                                             reinterpret_cast<void*>(&ReplacementNoArgs), "rip"));
    EXPECT_EQ(cvtest_rip_first(), -5);
    cvtest_rip_value = 8;
    EXPECT_EQ(rip(), 8); // the RIP-relative load still reads the variable

    auto jump = reinterpret_cast<IntFn>(cv::HookProcedure(reinterpret_cast<void*>(&cvtest_short_jump_first),
                                                          reinterpret_cast<void*>(&ReplacementShort), "jump"));
    EXPECT_EQ(cvtest_short_jump_first(1), 101);
    EXPECT_EQ(jump(1), 1); // falls through the moved code and jumps back
    EXPECT_EQ(jump(0), 2); // the short jump leaves the moved code through the spare jump

    auto call = reinterpret_cast<int (*)()>(cv::HookProcedure(reinterpret_cast<void*>(&cvtest_call_first),
                                                              reinterpret_cast<void*>(&ReplacementNoArgs), "call"));
    EXPECT_EQ(cvtest_call_first(), -5);
    EXPECT_EQ(call(), 42);

    // Shut-down undoes all three, the last first.
    cv::DoneHooks();
    EXPECT_EQ(cv::ProcedureHookCount(), 0u);
    EXPECT_EQ(cvtest_rip_first(), 8);
    EXPECT_EQ(cvtest_short_jump_first(0), 2);
    EXPECT_EQ(cvtest_call_first(), 42);
    cv::InitHooks();
}

TEST_F(Hooks, RoutinesThatCannotBePatchedAreRefused)
{
    struct Case {
        void* target;
        const char* message;
    };
    const Case cases[] = {
        {reinterpret_cast<void*>(&cvtest_too_short), "Cannot hook the procedure \"short\"."},
        {reinterpret_cast<void*>(&cvtest_ret_only), "Cannot hook the procedure \"short\"."},
    };
    for (const Case& c : cases) {
        try {
            cv::HookProcedure(c.target, reinterpret_cast<void*>(&ReplacementNoArgs), "short");
            ADD_FAILURE() << "hooked";
        } catch (const cv::EHookingError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(cvtest_too_short(), 0);
    try {
        cv::HookProcedure(nullptr, reinterpret_cast<void*>(&ReplacementNoArgs), "nothing");
        ADD_FAILURE() << "hooked";
    } catch (const cv::EProcNull& e) {
        EXPECT_STREQ(e.what(), "Cannot hook a null procedure (\"nothing\").");
    }
    EXPECT_EQ(cv::ProcedureHookCount(), 0u);
}

TEST_F(Hooks, ImportHookChangesOnlyTheModulesCalls)
{
    const IntFn original = Original("hook_target_value");
    EXPECT_EQ(hook_target_value(1), 1003); // bound before the hook
    EXPECT_EQ(cv::HookImport(ThisProgram(), "libcv_hook_target.so", reinterpret_cast<void*>(original),
                             reinterpret_cast<void*>(&ReplacementValue), "hook_target_value.libcv_hook_target.so", false, false,
                             "hook_target_value"),
              reinterpret_cast<void*>(original));
    EXPECT_EQ(hook_target_value(1), -1);
    EXPECT_EQ(hook_target_call_value(1), 1004); // the library's own slot is another module's
    EXPECT_EQ(original(1), 1003);
    EXPECT_GE(cv::ImportHookCount(), 1u);

    cv::DoneHooks();
    EXPECT_EQ(hook_target_value(1), 1003);
    cv::InitHooks();
}

TEST_F(Hooks, ImportThatTheModuleDoesNotMakeIsRefusedWithTheJoinedName)
{
    void* original = nullptr;
    const std::string program = cv::ModuleFileNameOfHandle(ThisProgram());
    try {
        cv::HookImportInModules("libcv_hook_target.so", "hook_target_unused", reinterpret_cast<void*>(&ReplacementValue), original,
                                {program}, false);
        ADD_FAILURE() << "hooked";
    } catch (const cv::EHookingError& e) {
        EXPECT_STREQ(e.what(), "Cannot hook the procedure \"hook_target_unused.libcv_hook_target.so\".");
    }
    EXPECT_EQ(original, reinterpret_cast<void*>(Original("hook_target_unused")));
    EXPECT_FALSE(cv::HookImportInModules("libcv_hook_target.so", "hook_target_unused", reinterpret_cast<void*>(&ReplacementValue),
                                         original, {program}, true));
    // By the module's bare file name too.
    EXPECT_TRUE(cv::HookImportInModules("libcv_hook_target.so", "hook_target_value", reinterpret_cast<void*>(&ReplacementValue), original,
                                        {cv::ExtractFileName(program)}, false));
    EXPECT_EQ(hook_target_value(4), -4);
}

TEST_F(Hooks, ImportHookInAllModulesReachesModulesLoadedLater)
{
    if (kSanitized)
        GTEST_SKIP() << "sanitizer build";
    void* original = nullptr;
    EXPECT_TRUE(cv::HookImportInAllModules("", "hook_target_value", reinterpret_cast<void*>(&ReplacementValue), original));
    EXPECT_EQ(original, reinterpret_cast<void*>(Original("hook_target_value")));
    EXPECT_EQ(hook_target_value(5), -5);
    EXPECT_EQ(hook_target_call_value(5), -4); // the library's own slot too
    EXPECT_EQ(reinterpret_cast<IntFn>(original)(5), 1015);

    // Loaded lazily: its slot is not bound yet and is found by the symbol's name.
    void* late = ::dlopen(CV_HOOK_LATE_LIBRARY, RTLD_LAZY);
    ASSERT_NE(late, nullptr) << ::dlerror();
    auto lateValue = reinterpret_cast<IntFn>(::dlsym(late, "hook_late_value"));
    EXPECT_EQ(lateValue(6), -6);

    cv::DoneHooks();
    EXPECT_EQ(hook_target_value(5), 1015);
    EXPECT_EQ(hook_target_call_value(5), 1016);
    EXPECT_EQ(lateValue(6), 1018);
    ::dlclose(late);
    cv::InitHooks();
}

TEST_F(Hooks, MethodHookReplacesTheVirtualSlot)
{
    HookShape* shape = hook_target_make_shape();
    void** table = *reinterpret_cast<void***>(shape);
    void* area = ::dlsym(RTLD_DEFAULT, "_ZNK9HookShape4AreaEv");
    ASSERT_NE(area, nullptr);
    int index = 0;
    while (index < 4 && table[index] != area)
        ++index;
    ASSERT_LT(index, 4);

    EXPECT_EQ(cv::HookMethod(table, index, reinterpret_cast<void*>(&ReplacementArea)), reinterpret_cast<uintptr_t>(area));
    EXPECT_EQ(shape->Area(), 99);
    EXPECT_EQ(hook_target_shape_area(shape), 99);
    EXPECT_EQ(shape->Sides(), 4);
    // Hooking it again changes nothing and answers what the slot held first.
    EXPECT_EQ(cv::HookMethod(table, index, reinterpret_cast<void*>(&ReplacementArea)), reinterpret_cast<uintptr_t>(area));
    EXPECT_EQ(cv::MethodHookCount(), 1u);

    EXPECT_TRUE(cv::UnhookMethod(table, index));
    EXPECT_FALSE(cv::UnhookMethod(table, index));
    EXPECT_EQ(shape->Area(), 12);

    cv::HookMethod(table, index, reinterpret_cast<void*>(&ReplacementArea));
    cv::DoneHooks(); // restores the slot
    EXPECT_EQ(hook_target_shape_area(shape), 12);
    EXPECT_EQ(cv::HookMethod(table, index, reinterpret_cast<void*>(&ReplacementArea)), 0u); // no list, nothing done
    EXPECT_EQ(shape->Area(), 12);
    cv::InitHooks();
    hook_target_free_shape(shape);
}

TEST(HookWriting, SlotsOutsideEveryModuleAreLeftAlone)
{
    void* heapTable[2] = {nullptr, nullptr};
    cv::PatchSlot(heapTable, 1, reinterpret_cast<void*>(&ReplacementArea));
    EXPECT_EQ(heapTable[1], nullptr);
    uint8_t from[8] = {};
    EXPECT_FALSE(cv::WriteJump(from, reinterpret_cast<void*>(uintptr_t(from) + (uintptr_t(1) << 33))));
}

// The protection the memory map gives the page at p ("r--p", ...).
std::string MapProtection(const void* p)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long from = 0, to = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) == 3 && from <= uintptr_t(p) && uintptr_t(p) < to)
            return perms;
    }
    return {};
}

TEST(HookWriting, ABatchWritesPagesMappedSinceItBeganAndPutsTheirProtectionBack)
{
    cv::TCodeWriteBatch batch;
    const auto page = size_t(::sysconf(_SC_PAGESIZE));
    void* p = ::mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    const uint64_t values[2] = {0x1122334455667788, 0x99aabbccddeeff00};
    {
        cv::TCodeWriteBatch nested;
        EXPECT_TRUE(cv::WriteCode(p, &values[0], sizeof values[0]));
    }
    EXPECT_TRUE(cv::WriteCode(static_cast<uint64_t*>(p) + 1, &values[1], sizeof values[1]));
    EXPECT_EQ(static_cast<uint64_t*>(p)[0], values[0]);
    EXPECT_EQ(static_cast<uint64_t*>(p)[1], values[1]);
    EXPECT_EQ(MapProtection(p), "r--p");
    ::munmap(p, page);
    EXPECT_FALSE(cv::WriteCode(p, &values[0], sizeof values[0])) << "unmapped since";
}

} // namespace
