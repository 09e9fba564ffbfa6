#include "crashreport/core/handler/runtime_doors.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/code_hooks.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/signal_doors.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

namespace {

using CxaThrowProc = void (*)(void*, std::type_info*, void (*)(void*));
using BeginCatchProc = void* (*)(void*);
using WriteProc = ssize_t (*)(int, const void*, size_t);

void* gRealThrow = nullptr;
void* gRealBeginCatch = nullptr;
void* gRealWrite = nullptr;
std::terminate_handler gPreviousTerminate = nullptr;
std::atomic<bool> gInstalled{false};
bool gCaptureStdout = false;

// The module of the C++ runtime: its own catches (the terminate path of a
// throw nothing catches, its internal ones) are none of the program's.
uintptr_t gRuntimeModule = 0;
// The return address of the application door's call of __cxa_begin_catch.
std::atomic<uintptr_t> gDoorCatchSite{0};

thread_local uint8_t tRaiseBusy = 0;
thread_local bool tCalibrating = false;
thread_local int tDoorDepth = 0;
// The thrown object of the last caught exception this thread reported.
thread_local const void* tLastHandledReport = nullptr;

// The exception class that opens a C++ exception's unwind header: the
// characters "GNUCC++" and 0 (1 for one thrown through an exception
// pointer), the first in the highest byte.
bool IsCppException(const void* unwindHeader)
{
    uint64_t exceptionClass = 0;
    std::memcpy(&exceptionClass, unwindHeader, sizeof exceptionClass);
    return (exceptionClass >> 8) == 0x474E5543432B2Bull && (exceptionClass & 0xFF) <= 1;
}

// The thrown object of the exception current in this thread (null when
// none): what the C++ runtime's exception pointer holds, which is the
// object __cxa_throw was given.
const void* CurrentPrimaryException()
{
    static_assert(sizeof(std::exception_ptr) == sizeof(void*), "an exception pointer holds the thrown object alone");
    const std::exception_ptr current = std::current_exception();
    const void* object = nullptr;
    std::memcpy(&object, &current, sizeof object);
    return object;
}

bool InRuntime(uintptr_t address)
{
    return gRuntimeModule != 0 && ModuleHandleOfAddress(reinterpret_cast<const void*>(address)) == gRuntimeModule;
}

// A caught exception, reported when the options ask for it.
void ReportCaughtException(uintptr_t catchSite)
{
    if (!CoreSwitchedOn() || !HandlingEnabled() || InsideExceptNotify() || InsideProcessException() || CurrentThreadExcluded())
        return;
    if (!CrashboxActivated() || !CurrentCrashboxOptions().BehaviourOptions().Contains(boCatchHandledExceptions))
        return;
    const void* primary = CurrentPrimaryException();
    if (!primary || primary == tLastHandledReport || InRuntime(catchSite))
        return;
    const TExceptionObject object = CurrentExceptionObject();
    if (!object.IsValid() || InheritsFromName(object, "EAbort"))
        return;
    const uintptr_t address = CurrentExceptionThrowAddress();
    // Reported already, as not caught, from this thread.
    if (SameAsLastUnhandledReport(object.ClassName, address))
        return;
    tLastHandledReport = primary;
    // The throwing frames are gone: the stack copied at the throw stands in.
    std::unique_ptr<TCrashboxStackList> stack = CallStackFromRaiseCopy(address, CurrentThreadID());
    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    ExceptNotify(object, address, true, std::move(stack), true, aeNone,
                 address ? ModuleHandleOfAddress(reinterpret_cast<const void*>(address)) : CrashboxLibraryModuleHandle(),
                 rtUnknown, nullptr, raise.ContextValid ? &raise.Context : nullptr, raise.StackPointer, ThreadTopOfStack());
}

[[noreturn]] void PassTerminateOn()
{
    if (gPreviousTerminate && gPreviousTerminate != std::get_terminate())
        gPreviousTerminate();
    std::abort();
}

// The runtime's last chance: a C++ exception that no frame catches.
[[noreturn]] void TerminateDoor()
{
    if (!CoreSwitchedOn() || !HandlingEnabled() || CurrentThreadExcluded() || InsideExceptNotify())
        PassTerminateOn();
    TDoorScope door;
    const TExceptionObject object = CurrentExceptionObject();
    // std::terminate called without an exception: abort, which the signal door reports.
    if (!object.IsValid())
        PassTerminateOn();
    // One exception nothing catches ends the program. Another thread's that
    // comes meanwhile is not reported: its thread waits for the first one's
    // report, which ends the process.
    static std::atomic<uint32_t> claim{0};
    uint32_t expected = 0;
    if (!claim.compare_exchange_strong(expected, CurrentThreadID()))
        for (;;)
            ::usleep(100000);
    // This thread ends the process below; a fatal signal of another thread
    // reported meanwhile does not end it first.
    NoteExitAfterReport();
    try {
        const uintptr_t address = CurrentExceptionThrowAddress();
        // The handler remembers a throw by its call (5 bytes before the return address).
        if (address == 0 || address - 5 != LastHandledExceptionAddress()) {
            const TSavedRaiseInfo& raise = ThreadRaiseInfo();
            const bool raiseSeen = raise.ThrownObject != nullptr && raise.ThrowAddress == address && address != 0;
            // The unwinder stops at a frame that may not throw (noexcept) and
            // unwinds up to it first: the throwing frames are gone then, and
            // the copy taken at the throw stands in.
            const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
            std::unique_ptr<TCrashboxStackList> stack;
            if (raiseSeen && here > raise.StackPointer)
                stack = CallStackFromRaiseCopy(address, CurrentThreadID());
            ExceptNotify(object, address, true, std::move(stack), false, aeNone,
                         address ? ModuleHandleOfAddress(reinterpret_cast<const void*>(address)) : CrashboxLibraryModuleHandle(),
                         rtUnknown, nullptr, raise.ContextValid ? &raise.Context : nullptr,
                         raiseSeen ? raise.StackPointer : here, ThreadTopOfStack());
        }
    } catch (...) {
        // The door never throws; the exception is ended below all the same.
    }
    // The thread cannot go on with an exception nothing catches: the program
    // ends, once a report of another thread (a caught exception, a signal) is
    // done, and once a report sent on a thread of its own has gone (or the
    // send has had its time).
    EndProgramAfterReport();
}

} // namespace

} // namespace cv

using namespace cv;

// The replacements that stand in the modules' import slots.
extern "C" {

// The raise hook's entry: what stands in the import slots of __cxa_throw.
// Before any register changes it saves them all (and the flags) on its
// stack, as the thrower had them at its call, and hands them to the hook
// below; its frame describes itself to the unwinder, which unwinds through
// it to the thrower.
[[noreturn]] __attribute__((visibility("hidden"))) void CrashboxHookedCxaThrow(void* thrown, std::type_info* type,
                                                                              void (*destructor)(void*));
static_assert(sizeof(TThrowRegisters) == 128, "the entry saves sixteen registers");
[[noreturn]] __attribute__((used, visibility("hidden"))) void
CrashboxCxaThrowWithRegisters(void* thrown, std::type_info* type, void (*destructor)(void*), const TThrowRegisters* registers);

// The saved registers in TThrowRegisters' order at the stack pointer, the
// flags as pushed above them, then the return address into the thrower.
asm(R"(
    .text
    .p2align 4
    .globl CrashboxHookedCxaThrow
    .hidden CrashboxHookedCxaThrow
    .type CrashboxHookedCxaThrow, @function
CrashboxHookedCxaThrow:
    .cfi_startproc
    endbr64
    pushfq
    .cfi_adjust_cfa_offset 8
    subq $128, %rsp
    .cfi_adjust_cfa_offset 128
    movq %rax, 0(%rsp)
    movq %rbx, 8(%rsp)
    movq %rcx, 16(%rsp)
    movq %rdx, 24(%rsp)
    movq %rsi, 32(%rsp)
    movq %rdi, 40(%rsp)
    movq %rbp, 48(%rsp)
    movq %r8, 56(%rsp)
    movq %r9, 64(%rsp)
    movq %r10, 72(%rsp)
    movq %r11, 80(%rsp)
    movq %r12, 88(%rsp)
    movq %r13, 96(%rsp)
    movq %r14, 104(%rsp)
    movq %r15, 112(%rsp)
    movq 128(%rsp), %rax
    movq %rax, 120(%rsp)
    movq %rsp, %rcx
    call CrashboxCxaThrowWithRegisters
    ud2
    .cfi_endproc
    .size CrashboxHookedCxaThrow, .-CrashboxHookedCxaThrow
)");

void CrashboxCxaThrowWithRegisters(void* thrown, std::type_info* type, void (*destructor)(void*), const TThrowRegisters* registers)
{
    if (tRaiseBusy == 0) {
        tRaiseBusy = 1;
        const int savedErrno = errno;
        try {
            // Above the registers: the pushed flags, then the return address;
            // the thrower's stack pointer is where it was before its call.
            const auto* above = reinterpret_cast<const uint64_t*>(registers + 1);
            const uintptr_t returnAddress = above[1];
            const auto stackPointer = reinterpret_cast<uintptr_t>(above + 2);
            if (!tCalibrating)
                GeneralRaise(thrown, type, returnAddress, stackPointer, true, registers);
        } catch (...) {
            // Nothing of the hook's own may escape.
        }
        errno = savedErrno;
        tRaiseBusy = 0;
    }
    reinterpret_cast<CxaThrowProc>(gRealThrow)(thrown, type, destructor);
    __builtin_unreachable();
}

void* CrashboxHookedBeginCatch(void* unwindHeader) noexcept
{
    void* adjusted = reinterpret_cast<BeginCatchProc>(gRealBeginCatch)(unwindHeader);
    const auto site = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    if (tCalibrating) {
        gDoorCatchSite = site;
        return adjusted;
    }
    if (site == gDoorCatchSite.load() || tDoorDepth > 0 || !unwindHeader || !IsCppException(unwindHeader))
        return adjusted;
    if (tRaiseBusy == 0) {
        tRaiseBusy = 1;
        const int savedErrno = errno;
        try {
            ReportCaughtException(site);
        } catch (...) {
        }
        errno = savedErrno;
        tRaiseBusy = 0;
    }
    return adjusted;
}

ssize_t CrashboxHookedWrite(int fd, const void* data, size_t size)
{
    if (gCaptureStdout && fd == STDOUT_FILENO && data && size > 0 && size < (size_t(1) << 30))
        CaptureStandardOutput(data, size);
    return reinterpret_cast<WriteProc>(gRealWrite)(fd, data, size);
}

} // extern "C"

namespace cv {

uintptr_t CurrentExceptionThrowAddress()
{
    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    const void* primary = CurrentPrimaryException();
    return primary && primary == raise.ThrownObject ? raise.ThrowAddress : 0;
}

void SaveRaiseStackCopy(uintptr_t address, bool nativeException)
{
    SaveExceptionStackCopy(address, nativeException, ThreadRaiseInfo().StackPointer);
}

bool ApplicationDoorCalibrating() { return tCalibrating; }

TDoorScope::TDoorScope() { ++tDoorDepth; }
TDoorScope::~TDoorScope() { --tDoorDepth; }

bool RuntimeDoorsInstalled() { return gInstalled.load(); }

bool InstallRuntimeDoors()
{
    if (gInstalled.load())
        return true;
    if (!HooksStarted())
        InitHooks();
    bool all = true;
    auto hook = [&all](const char* name, void* replacement, void*& original) {
        try {
            HookImportInAllModules({}, name, replacement, original);
        } catch (const EHookError&) {
            all = false;
        }
    };
    hook("__cxa_throw", reinterpret_cast<void*>(&CrashboxHookedCxaThrow), gRealThrow);
    hook("__cxa_begin_catch", reinterpret_cast<void*>(&CrashboxHookedBeginCatch), gRealBeginCatch);
    if (gRealBeginCatch)
        gRuntimeModule = ModuleHandleOfAddress(gRealBeginCatch);
    // A program started by a web server writes its page through the C
    // library's buffered output too, whose calls of write never pass an
    // import slot: the routine itself is hooked. No other program needs
    // the door.
    gCaptureStdout = StartedByWebServer();
    if (gCaptureStdout) {
        void* write = ::dlsym(RTLD_DEFAULT, "write");
        try {
            gRealWrite = HookProcedure(write, reinterpret_cast<void*>(&CrashboxHookedWrite), "write");
        } catch (const EHookError&) {
            hook("write", reinterpret_cast<void*>(&CrashboxHookedWrite), gRealWrite);
        }
    }
    gPreviousTerminate = std::set_terminate(&TerminateDoor);
    gInstalled = true;

    // One exception through the application door: the door's catch is
    // learnt (it is the door's own report, not a caught exception), and the
    // unwinder has read its tables before any crash needs them.
    struct TDoorCalibration {};
    tCalibrating = true;
    CallApplicationDoor([](void*) -> bool { throw TDoorCalibration{}; }, nullptr);
    tCalibrating = false;
    return all && gRealThrow && gRealBeginCatch;
}

void RemoveRuntimeDoors()
{
    if (!gInstalled.exchange(false))
        return;
    std::set_terminate(gPreviousTerminate);
    gPreviousTerminate = nullptr;
    // The import slots go back with the other hooks (DoneHooks).
}

} // namespace cv
