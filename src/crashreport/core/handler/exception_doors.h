#pragma once
// The doors through which the crash-report core sees the exceptions of the
// process. No single one catches all, so there are several:
//
// - fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP), caught
//   with sigaction on an alternate stack that every thread of the program
//   has. The signal handler does almost nothing: one thread at a time copies
//   its signal record and context into storage made at start-up and wakes
//   the report thread (started at start-up) through a pipe, waits for it
//   with a deadline, then dies by the same signal with the action that was
//   there before us;
// - std::set_terminate: a C++ exception that no frame catches, in any
//   thread, arrives there with the throwing stack still in place (the
//   unwinder's search found no handler, so nothing was unwound);
// - __cxa_throw, replaced through the import slots of every module (now and
//   later loaded): it saves where and what is thrown and a copy of the
//   thread's stack, then throws. __cxa_begin_catch, the same way: with
//   boCatchHandledExceptions an exception that is caught is reported too;
// - the application door: the program's QApplication::notify runs each
//   event through CallApplicationDoor, and an exception that escapes an event
//   handler goes to ExceptionManager;
// - pthread_create and pthread_exit: each new thread starts through a
//   wrapper that gives it an alternate signal stack and an entry in the
//   threads list (with a copy of its creator's stack), and leaves the list
//   when it ends;
// - write: in a CGI program, text written to standard output is kept as the
//   last HTML page.
//
// Every door first asks whether the core is switched on and handling is
// enabled, and whether the thread is excluded; when not, it passes the
// exception on unchanged (the process dies as it would without us).

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>

#include <ucontext.h>

#include "crashreport/core/support/exception_object.h"

namespace cv {

enum TRaiserType : uint8_t { rtUnknown, rtLocal, rtWeb };

// --- What the doors save per thread ---

// The thread's saved raise information: filled by the raise hook (a C++
// throw) or by a door that knows the record and context (a signal), read by
// ExceptNotify and cleared after each exception.
struct TSavedRaiseInfo {
    uintptr_t StackPointer = 0; // at the raise
    uintptr_t FramePointer = 0;
    siginfo_t Record{};         // the signal's record
    bool RecordValid = false;
    ucontext_t Context{};       // the registers
    bool ContextValid = false;
    // The context was rebuilt at a C++ throw (instruction pointer: the
    // throwing call; stack pointer: the thrower's).
    bool ContextFromRaise = false;
    // The C++ throw.
    const void* ThrownObject = nullptr;
    const std::type_info* ThrownType = nullptr;
    uintptr_t ThrowAddress = 0; // the return address of the throwing call
};

// The calling thread's block.
TSavedRaiseInfo& ThreadRaiseInfo();
void ClearThreadRaiseInfo();

// Thread-local flags of the handler.
bool InsideExceptNotify();
void SetInsideExceptNotify(bool inside);
bool InsideProcessException();
void SetInsideProcessException(bool inside);
// The class name (at most 64 characters) and address of the last exception
// this thread reported as not caught.
void RecordUnhandledReport(const std::string& className, uintptr_t address);
bool SameAsLastUnhandledReport(const std::string& className, uintptr_t address);

// --- Threads excluded from handling ---

void AddExcludedThread(uint32_t threadID);
void RemoveExcludedThread(uint32_t threadID);
bool IsThreadExcluded(uint32_t threadID);
bool CurrentThreadExcluded();

// --- The last exception ---

// The address of the last exception the handler dealt with (0 for none).
uintptr_t LastHandledExceptionAddress();
void SetLastHandledExceptionAddress(uintptr_t address);
// Whether the last exception of this module was a C++ throw (true) or came
// from the system (a signal).
bool LastExceptionWasNative();

// --- Installing and removing the doors ---

// Installs every door (start-up); the report thread of the signal door is
// started here. False when a door could not be installed (the others stay).
bool InstallExceptionDoors();
// Gives back every replaced routine and signal action (shutdown).
void RemoveExceptionDoors();

// The runtime doors one by one, for start-up and tests.
void InstallSignalDoors();
void RemoveSignalDoors();
bool SignalDoorsInstalled();
// The ID of the thread that reports fatal signals (0 before start-up).
uint32_t SignalReportThreadID();

// --- Alternate signal stacks ---

// Gives the calling thread an alternate signal stack of its own (64 KiB and
// a guard page), unless it has one; freed when the thread ends.
void EnsureAlternateSignalStack();

// --- Handler faults ---

// Runs procedure so that a fault of its own does not end the process: a
// fatal signal raised on this thread inside it (a null pointer in an event
// handler, say) ends the call, as does a C++ exception. False when the
// procedure did not finish; faultSignal then holds the signal (0 for an
// exception). Needs the signal doors for the signals.
bool CallGuarded(const std::function<void()>& procedure, int* faultSignal = nullptr);

// --- The application door ---

// Runs one event through call (QApplication::notify of the program); an
// exception that escapes it is handed to ExceptionManager (raiser rtLocal).
// When that answers that the runtime's own handling must run, the exception
// is thrown on; otherwise the event counts as not handled (false).
bool CallApplicationDoor(bool (*call)(void* context), void* context);

// --- The raise ---

// The thrower's registers as they were at its call of __cxa_throw (the
// raise hook's entry saves them before it changes any).
struct TThrowRegisters {
    uint64_t Rax, Rbx, Rcx, Rdx, Rsi, Rdi, Rbp, R8, R9, R10, R11, R12, R13, R14, R15, Flags;
};

// What the raise hook does for a throw (the notify flag is false for the
// export Crashbox_CallGeneralRaise): the thread's raise information, the
// stack copy and the last exception. The context of the raise holds the
// throwing call as its instruction pointer, the thrower's stack pointer and
// the registers when they are given; without them it knows those two only.
void GeneralRaise(const void* thrownObject, const std::type_info* type, uintptr_t throwAddress, uintptr_t stackPointer,
                  bool notify, const TThrowRegisters* registers = nullptr);
// Remembers the exception as the last raised and saves a copy of the
// thread's stack. Whether the exception will be caught is the unwinder's own
// business on this system: an exception that nothing catches reaches the
// terminate door with its stack intact, so nothing is reported here.
void RaiseNotify(const TExceptionObject& object, uintptr_t address, bool nativeException);

// --- The CGI page ---

// The text a CGI program wrote to standard output so far (the last HTML page).
std::string CapturedStandardOutput();
void ClearCapturedStandardOutput();
// While one lives, what this thread writes to standard output is not kept:
// the handler's own answer to the request is not part of the program's page.
class TUncapturedStandardOutput {
public:
    TUncapturedStandardOutput();
    ~TUncapturedStandardOutput();
    TUncapturedStandardOutput(const TUncapturedStandardOutput&) = delete;
    TUncapturedStandardOutput& operator=(const TUncapturedStandardOutput&) = delete;
};
// A CGI program: a console program started by a web server (REQUEST_METHOD set).
bool IsCGIProgram();
// REQUEST_METHOD is set (whether the program turns out a console one is
// known only once its application object exists).
bool StartedByWebServer();

} // namespace cv

// --- The exports (C linkage; found by other modules with dlsym) ---
extern "C" {
// An exception that a module's door met: true when the caller must run its
// own handling too.
bool ExceptionManager(const cv::TExceptionObject* exceptionObject, uintptr_t exceptionAddress, uint8_t raiserType,
                      uintptr_t moduleHandle);
// The raise of another module: its stack pointer and the throw, without notifying.
void Crashbox_CallGeneralRaise(const void* thrownObject, const std::type_info* type, uintptr_t throwAddress,
                               uintptr_t stackPointer);
// Another module's door met a signal: its record and context are kept as the
// thread's saved raise information.
void Crashbox_CallExceptObject(const siginfo_t* record, const ucontext_t* context);
bool Crashbox_LastNativeException();
// A thread another module made: a copy of its entry joins this module's list.
void Crashbox_CallCreateThread(const void* threadInfo);
// Records the caller's stack for the thread (as the thread wrapper does at creation).
void Crashbox_CallResumeThread(uint32_t threadID);
// The calling thread leaves the threads list.
void Crashbox_CallExitThread();
}
