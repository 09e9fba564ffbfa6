#pragma once
// The thread doors of the crash-report core (exception_doors.h): every
// thread the program starts goes through a wrapper of its start routine,
// which gives it an alternate signal stack and an entry in the threads list
// (with a copy of its creator's stack, so the report can show where it was
// started from), and takes the entry out when the thread ends.

#include <cstdint>
#include <functional>
#include <thread>

#include "crashreport/core/options/crashbox_records.h"

namespace cv {

// pthread_create and pthread_exit, replaced in every module.
bool InstallThreadDoors();
void RemoveThreadDoors();

// The top (highest address) of the calling thread's stack: recorded when
// the thread started, found out once otherwise.
uintptr_t ThreadTopOfStack();
void SetThreadTopOfStack(uintptr_t top);
// The same without finding it out (0 when not recorded): safe in a signal handler.
uintptr_t ThreadTopOfStackIfKnown();

// A copy of another module's entry joins the threads list (the list is
// purged first); the copy does not own the creator's stack it names.
void AddThreadCopy(const TCrashboxThreadInfo* entry);
// The calling thread's stack as the creator's stack of the thread with that ID.
void RecordCallerStack(uint32_t threadID);

// While one lives, the threads the calling thread starts are the core's own
// (the exception thread, the watchdog): they get an alternate signal stack
// but no entry in the threads list.
class TCoreThreadScope {
public:
    TCoreThreadScope();
    ~TCoreThreadScope();
    TCoreThreadScope(const TCoreThreadScope&) = delete;
    TCoreThreadScope& operator=(const TCoreThreadScope&) = delete;

private:
    bool fOuter;
};

// Starts `body` on a new thread into `thread`. A process may be unable to
// make one (a limit of threads, or of memory: the system answers EAGAIN, or
// memory runs out): then nothing is started, standard error says for what
// ("Crashbox: the thread for PURPOSE could not be started (REASON)."), and
// the caller does the work without it. A thread that cannot start never
// ends the program.
bool TryStartThread(std::thread& thread, std::function<void()> body, const char* purpose);
// The same, but when no thread can start `body` runs on the calling thread
// before this returns (after the message). True when it got a thread.
bool StartThreadOrRunHere(std::thread& thread, const std::function<void()>& body, const char* purpose);

// Whether an entry is a runtime thread (the main thread, or one the window
// framework started): the options show and pause those apart from others.
bool IsRuntimeThread(const TCrashboxThreadInfo& entry);

} // namespace cv
