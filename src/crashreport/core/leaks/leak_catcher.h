#pragma once
// The leak catcher: an optional wrapper around the C++ allocation operators
// that tags every block with a header and a footer, keeps the live blocks in
// one list, catches double frees and overruns when they happen, and at the
// end of the program reports the blocks never freed through a callback of
// the crash-report core.
//
// The wrapper is the object library cv_leakcatcher_operators: a program that
// links it has every operator new / delete of the process go through
// LeakGetMem / LeakFreeMem from its first allocation on, and those blocks
// carry headers whether or not catching is switched on. A program that does
// not link it (the tool, every other test program) keeps the C++ runtime's
// own operators: its allocation "runtime lives in another module" (the
// shared C++ library), and StartLeakCatcher then switches catching off and
// leaves the memory manager untouched.
//
// Block layout (every size a multiple of 16, so data keeps the alignment
// operator new promises):
//
//   offset  size  header field
//        0     8  next block in the live list (its header)
//        8     8  previous block
//       16     1  state: 0 live, 1 freed, 2 left out of the report
//       17     1  kind: 1 an object instance, 0 plain data
//       18     1  linked: 1 while the block is in the live list
//       19     5  (zero)
//       24     8  the caller's size
//       32   136  the raw stack from the allocating call upwards (17 slots)
//      168     4  the allocating thread's id
//      172     4  distance from the memory block's start to the header
//      176     8  allocation sequence number
//      184     8  address of the class name of an object block (or 0)
//      192     8  number of blocks grouped into this one by the report
//      200     8  total size of those blocks
//      208    92  (zero)
//      300     4  magic 0x100FAB10
//      304     -  the caller's data
//   304+size   8  footer: magic 0x100FAB10, then 4 zero bytes

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

constexpr std::size_t kLeakBlockOverHead = 304;
constexpr std::size_t kLeakBlockOverFoot = 8;
constexpr uint32_t kLeakBlockMagic = 0x100FAB10;
constexpr std::size_t kLeakCallStackSlots = 17;

// Bits of the leak options byte (the set of TLeaksOption).
enum : uint8_t {
    kLeakCatchLeaks = 1 << loCatchLeaks,
    kLeakGroupsSonLeaks = 1 << loGroupsSonLeaks,
    kLeakHideRuntimeLeaks = 1 << loHideBorlandLeaks,
    kLeakFreeAllLeaks = 1 << loFreeAllLeaks,
    kLeakCatchLeaksExceptions = 1 << loCatchLeaksExceptions,
};

// The header fields of a module's options block that start-up reads.
struct TLeakOptionsBlock {
    uint32_t Magic = 0;   // 0x100FAB10 or 0x000FAB10
    uint32_t Version = 0; // 600-602 count as 6000-6002; 6000 or above required
    uint8_t LeaksOptions = 0;
};

struct TLeakCatcherStartup {
    std::string MainModuleFileName; // the program file
    std::string ModuleFileName;     // the module holding the catcher
    bool IsMainModule = true;
    const TLeakOptionsBlock* ModuleBlock = nullptr;     // none: not wanted
    const TLeakOptionsBlock* MainModuleBlock = nullptr; // when this module is another one
    bool DebuggerAttached = false;
};

enum class TLeakCatcherState { lcsNotWanted, lcsSharedRuntime, lcsActive };

// One reported leak: a block, or a group of blocks with the same class and
// call stack.
struct TLeakReport {
    std::string_view Type; // the class name, or "Data"
    uint64_t Size = 0;     // total size of the group
    uint32_t Count = 0;    // blocks in the group
    const void* Header = nullptr;
    std::span<const uintptr_t> CallStack; // return addresses, nearest first (zeros dropped)
};

struct TLeakTotals {
    uint32_t Count = 0;
    uint64_t Size = 0;
};

// Bound by the core. They run outside the list's lock and may allocate,
// but must not throw: they are called from operator delete.
struct TLeakCallbacks {
    std::function<void(const void* data, std::size_t size)> Overrun;
    std::function<void(const void* data)> MultiFree;
    std::function<void()> OpenReport;
    std::function<void(const TLeakReport&)> Leak;
    std::function<void()> CloseReport;
    // A message box ("Error" and the like); standard error when unset.
    std::function<void(const std::string& caption, const std::string& text)> Message;
};

// The start-up size checks: empty when sound, else the fatal message.
std::string CheckLeakBlockSizes(std::size_t overHead = kLeakBlockOverHead, std::size_t overFoot = kLeakBlockOverFoot);
// Whether catching is wanted by the options blocks (before asking where the runtime lives).
bool LeakCatchingWanted(const TLeakCatcherStartup& startup);
// Whether the allocation operators in force are the wrapper's (the object
// library is linked into the program).
bool LeakOperatorsInForce();
// Decides and, when catching is wanted and the operators are ours, starts it.
TLeakCatcherState StartLeakCatcher(const TLeakCatcherStartup& startup);
void SetLeakCallbacks(TLeakCallbacks callbacks);
bool LeakCatcherActive();
uint8_t LeakOptions();
// The end-of-program steps; answers the leaks counted. Catching is off after it.
TLeakTotals ShutDownLeakCatcher();

// The wrapper's memory manager (what the operators call). callerFrame is the
// frame the block's stack copy starts at (the operator's own frame; the
// caller of LeakGetMem's when none).
void* LeakGetMem(std::size_t size, std::size_t alignment = 16, const void* callerFrame = nullptr);
void LeakFreeMem(void* data);
void* LeakReallocMem(void* data, std::size_t size);
// Marks a block as holding an instance of the named class (a static text).
void LeakMarkObject(void* data, const char* className);
// Number of blocks in the live list.
std::size_t LeakLiveBlockCount();

} // namespace cv
