// The doors' common parts: what they save per thread, the excluded threads,
// the last exception, the guarded calls of the handler, the application
// door, the CGI page and the exports.

#include "crashreport/core/handler/exception_doors.h"

#include "crashreport/core/capture/code_hooks.h"

#include <dlfcn.h>
#include <setjmp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <set>
#include <utility>

#include "crashreport/core/capture/known_registers.h"
#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/report_threads.h"
#include "crashreport/core/handler/runtime_doors.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

namespace {

thread_local TSavedRaiseInfo tRaiseInfo;
thread_local bool tInsideExceptNotify = false;
thread_local bool tInsideProcessException = false;
thread_local char tLastUnhandledClass[65] = {};
thread_local uintptr_t tLastUnhandledAddress = 0;

// The excluded threads: fixed slots read without a lock, since the signal
// door asks from inside a signal handler. 0 is a free slot.
constexpr std::size_t kExcludedSlots = 256;
std::atomic<uint32_t> gExcluded[kExcludedSlots];
std::atomic<bool> gAnyExcluded{false};

std::atomic<uintptr_t> gLastHandledAddress{0};
std::atomic<bool> gLastNative{false};

// --- guarded calls ---

thread_local sigjmp_buf* tGuard = nullptr;
thread_local int tGuardSignal = 0;
// The fault that ended the guarded call: its code and where it came.
thread_local int tGuardCode = 0;
thread_local uintptr_t tGuardAddress = 0;

// --- the CGI page ---

std::mutex& CaptureLock()
{
    static std::mutex lock;
    return lock;
}
std::string& Captured()
{
    static std::string text;
    return text;
}
// Writes of this thread that are not the program's page.
thread_local int tUncapturedDepth = 0;

} // namespace

TSavedRaiseInfo& ThreadRaiseInfo() { return tRaiseInfo; }

void ClearThreadRaiseInfo() { tRaiseInfo = TSavedRaiseInfo{}; }

bool InsideExceptNotify() { return tInsideExceptNotify; }
void SetInsideExceptNotify(bool inside) { tInsideExceptNotify = inside; }
bool InsideProcessException() { return tInsideProcessException; }
void SetInsideProcessException(bool inside) { tInsideProcessException = inside; }

void RecordUnhandledReport(const std::string& className, uintptr_t address)
{
    const std::size_t n = std::min<std::size_t>(className.size(), sizeof tLastUnhandledClass - 1);
    std::memcpy(tLastUnhandledClass, className.data(), n);
    tLastUnhandledClass[n] = '\0';
    tLastUnhandledAddress = address;
}

bool SameAsLastUnhandledReport(const std::string& className, uintptr_t address)
{
    return className.substr(0, sizeof tLastUnhandledClass - 1) == tLastUnhandledClass && address == tLastUnhandledAddress;
}

// --- excluded threads ---

void AddExcludedThread(uint32_t threadID)
{
    if (threadID == 0 || IsThreadExcluded(threadID))
        return;
    for (std::atomic<uint32_t>& slot : gExcluded) {
        uint32_t expected = 0;
        if (slot.compare_exchange_strong(expected, threadID)) {
            gAnyExcluded = true;
            return;
        }
    }
}

void RemoveExcludedThread(uint32_t threadID)
{
    for (std::atomic<uint32_t>& slot : gExcluded) {
        uint32_t expected = threadID;
        slot.compare_exchange_strong(expected, 0);
    }
}

bool IsThreadExcluded(uint32_t threadID)
{
    if (!gAnyExcluded.load() || threadID == 0)
        return false;
    for (const std::atomic<uint32_t>& slot : gExcluded)
        if (slot.load() == threadID)
            return true;
    return false;
}

bool CurrentThreadExcluded() { return IsThreadExcluded(CurrentThreadID()); }

// --- the last exception ---

uintptr_t LastHandledExceptionAddress() { return gLastHandledAddress.load(); }
void SetLastHandledExceptionAddress(uintptr_t address) { gLastHandledAddress.store(address); }
bool LastExceptionWasNative() { return gLastNative.load(); }

// --- guarded calls ---

bool CallGuarded(const std::function<void()>& procedure, int* faultSignal)
{
    sigjmp_buf guard;
    sigjmp_buf* const outer = tGuard;
    volatile bool finished = false;
    volatile int signal = 0;
    if (sigsetjmp(guard, 1) == 0) {
        tGuard = &guard;
        try {
            procedure();
            finished = true;
        } catch (...) {
            signal = 0;
        }
    } else {
        // Back from the signal door: the procedure faulted.
        signal = tGuardSignal;
        // On the thread a report serves (its dialogs and the program's
        // events run here while it waits) the fault came while the report
        // was made: the report names it.
        // The jump left the frames between here and the fault without
        // unwinding them (a dialog's event loop, the program's handler):
        // this thread cannot go back into the program afterwards.
        if (InsideExceptNotify() && !InsideProcessException()) {
            NoteFaultInReportInProgress(
                FaultNote(ExceptionObjectFromSignal(signal, tGuardCode), CurrentThreadID(), tGuardAddress));
            NoteFramesLeftByFault();
        }
    }
    tGuard = outer;
    if (faultSignal)
        *faultSignal = finished ? 0 : signal;
    return finished;
}

// Called by the signal door: a fault inside a guarded call ends that call.
void JumpToGuardOnFault(int signal, const siginfo_t* record, const ucontext_t* context)
{
    if (sigjmp_buf* guard = tGuard) {
        tGuard = nullptr;
        tGuardSignal = signal;
        tGuardCode = record ? record->si_code : 0;
        tGuardAddress = context ? uintptr_t(context->uc_mcontext.gregs[REG_RIP]) : 0;
        siglongjmp(*guard, 1);
    }
}

bool InsideGuardedCall() { return tGuard != nullptr; }

// --- the raise ---

void GeneralRaise(const void* thrownObject, const std::type_info* type, uintptr_t throwAddress, uintptr_t stackPointer,
                  bool notify, const TThrowRegisters* registers)
{
    TSavedRaiseInfo& info = tRaiseInfo;
    info.StackPointer = stackPointer;
    info.ThrownObject = thrownObject;
    info.ThrownType = type;
    info.ThrowAddress = throwAddress;
    info.RecordValid = false;
    info.Record = siginfo_t{};
    // The registers at the throw: the throwing call as the instruction, the
    // thrower's stack pointer, and the others as the thrower had them. No
    // register of the raise's own code stands in for one that is not known.
    info.Context = ucontext_t{};
    greg_t* gregs = info.Context.uc_mcontext.gregs;
    gregs[REG_RIP] = greg_t(throwAddress >= 5 ? throwAddress - 5 : throwAddress);
    gregs[REG_RSP] = greg_t(stackPointer);
    if (registers) {
        const std::pair<int, uint64_t> values[] = {
            {REG_RAX, registers->Rax}, {REG_RBX, registers->Rbx}, {REG_RCX, registers->Rcx}, {REG_RDX, registers->Rdx},
            {REG_RSI, registers->Rsi}, {REG_RDI, registers->Rdi}, {REG_RBP, registers->Rbp}, {REG_R8, registers->R8},
            {REG_R9, registers->R9},   {REG_R10, registers->R10}, {REG_R11, registers->R11}, {REG_R12, registers->R12},
            {REG_R13, registers->R13}, {REG_R14, registers->R14}, {REG_R15, registers->R15}, {REG_EFL, registers->Flags}};
        uint32_t known = (1u << REG_RIP) | (1u << REG_RSP);
        for (const auto& [index, value] : values) {
            gregs[index] = greg_t(value);
            known |= 1u << index;
        }
        MarkKnownRegisters(info.Context, known);
    } else {
        MarkKnownRegisters(info.Context, (1u << REG_RIP) | (1u << REG_RSP));
    }
    info.ContextValid = true;
    info.ContextFromRaise = true;
    if (notify && type)
        RaiseNotify(ExceptionObjectFromType(*type), throwAddress, true);
}

void RaiseNotify(const TExceptionObject& object, uintptr_t address, bool nativeException)
{
    gLastNative = nativeException;
    if (!CoreSwitchedOn() || !HandlingEnabled() || CurrentThreadExcluded() || !object.IsValid())
        return;
    SaveRaiseStackCopy(address, nativeException);
}

// --- the application door ---

bool CallApplicationDoor(bool (*call)(void* context), void* context)
{
    try {
        return call(context);
    } catch (...) {
        if (ApplicationDoorCalibrating())
            return false;
        if (!CoreSwitchedOn() || !HandlingEnabled() || CurrentThreadExcluded())
            throw;
        TDoorScope door;
        const TExceptionObject object = CurrentExceptionObject();
        if (ExceptionManager(&object, CurrentExceptionThrowAddress(), rtLocal, CrashboxLibraryModuleHandle()))
            throw;
        return false;
    }
}

// --- the CGI page ---

bool StartedByWebServer()
{
    static const bool started = std::getenv("REQUEST_METHOD") != nullptr;
    return started;
}

// The same test as the web page writer's: the two must agree on who answers.
bool IsCGIProgram() { return StartedByWebServer() && TLocalSystemFacts().IsConsoleProgram(); }

void CaptureStandardOutput(const void* data, std::size_t size)
{
    if (tUncapturedDepth > 0)
        return;
    std::lock_guard guard(CaptureLock());
    Captured().append(static_cast<const char*>(data), size);
}

std::string CapturedStandardOutput()
{
    std::lock_guard guard(CaptureLock());
    return Captured();
}

void ClearCapturedStandardOutput()
{
    std::lock_guard guard(CaptureLock());
    Captured().clear();
}

TUncapturedStandardOutput::TUncapturedStandardOutput() { ++tUncapturedDepth; }
TUncapturedStandardOutput::~TUncapturedStandardOutput() { --tUncapturedDepth; }

// --- installing ---

bool InstallExceptionDoors()
{
    // The import slots of every module are written for several doors: the
    // memory map is read once for all of them.
    TCodeWriteBatch batch;
    InstallSignalDoors();
    bool all = InstallRuntimeDoors();
    all = InstallThreadDoors() && all;
    // A program without Qt's painting has no use for it: not a door missed.
    InstallReportPoolDoor();
    return all;
}

void RemoveExceptionDoors()
{
    TCodeWriteBatch batch;
    RemoveReportPoolDoor();
    RemoveThreadDoors();
    RemoveRuntimeDoors();
    RemoveSignalDoors();
}

} // namespace cv

// --- exports ---

using namespace cv;

extern "C" {

__attribute__((visibility("default"))) bool ExceptionManager(const TExceptionObject* exceptionObject, uintptr_t exceptionAddress,
                                                             uint8_t raiserType, uintptr_t moduleHandle)
{
    if (!CoreSwitchedOn() || !HandlingEnabled() || CurrentThreadExcluded() || !exceptionObject
        || !exceptionObject->IsValid())
        return true;
    TDoorScope door;
    TSavedRaiseInfo& info = ThreadRaiseInfo();
    if (info.StackPointer == 0)
        info.StackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    // The module that holds the address knows whether its last exception was a throw.
    bool native = LastExceptionWasNative();
    if (exceptionAddress != 0) {
        const uintptr_t module = ModuleHandleOfAddress(reinterpret_cast<const void*>(exceptionAddress));
        if (module != 0 && module != CrashboxLibraryModuleHandle()) {
            Dl_info dl{};
            const std::string file = ModuleFileNameOfHandle(module);
            if (void* handle = file.empty() ? nullptr : ::dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
                auto* other = reinterpret_cast<bool (*)()>(::dlsym(handle, "Crashbox_LastNativeException"));
                if (other && ::dladdr(reinterpret_cast<void*>(other), &dl) != 0
                    && reinterpret_cast<uintptr_t>(dl.dli_fbase) == module)
                    native = other();
                ::dlclose(handle);
            }
        }
    }
    // A door that caught this thread's throw (an event handler's exception
    // in the application door) runs where the throwing frames were: they
    // are gone, and the stack copied at the throw stands in for them.
    std::unique_ptr<TCrashboxStackList> stack;
    if (exceptionAddress != 0 && exceptionAddress == info.ThrowAddress)
        stack = CallStackFromRaiseCopy(exceptionAddress, CurrentThreadID());
    return ExceptNotify(*exceptionObject, exceptionAddress, native, std::move(stack), false, aeNone, moduleHandle,
                        TRaiserType(raiserType), nullptr, nullptr, 0, 0);
}

__attribute__((visibility("default"))) void Crashbox_CallGeneralRaise(const void* thrownObject, const std::type_info* type,
                                                                      uintptr_t throwAddress, uintptr_t stackPointer)
{
    GeneralRaise(thrownObject, type, throwAddress, stackPointer, false);
}

__attribute__((visibility("default"))) void Crashbox_CallExceptObject(const siginfo_t* record, const ucontext_t* context)
{
    TSavedRaiseInfo& info = ThreadRaiseInfo();
    info.RecordValid = record != nullptr;
    info.Record = record ? *record : siginfo_t{};
    info.ContextValid = context && IsReadableMemory(context, sizeof *context);
    info.Context = info.ContextValid ? *context : ucontext_t{};
    info.Context.uc_mcontext.fpregs = nullptr;
    info.ContextFromRaise = false;
}

__attribute__((visibility("default"))) bool Crashbox_LastNativeException() { return LastExceptionWasNative(); }

__attribute__((visibility("default"))) void Crashbox_CallCreateThread(const void* threadInfo)
{
    AddThreadCopy(static_cast<const TCrashboxThreadInfo*>(threadInfo));
}

__attribute__((visibility("default"))) void Crashbox_CallResumeThread(uint32_t threadID) { RecordCallerStack(threadID); }

__attribute__((visibility("default"))) void Crashbox_CallExitThread()
{
    if (const TThreadsListUse threads; threads)
        threads->RemoveCurrentThread();
}

} // extern "C"
