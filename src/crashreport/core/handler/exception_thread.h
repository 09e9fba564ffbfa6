#pragma once
// Two threads of the crash-report core and the options class that starts
// and stops one of them:
// - TExceptionThread carries one exception through ProcessException, so
//   that the raising thread is free to run what is posted to it (the events,
//   the dialogs) and, on the GUI thread, to serve its events;
// - TFreezeThread, the freeze watchdog, pings the program's GUI thread and,
//   when it has not answered for FreezeTimeout seconds, reports an
//   EFrozenApplication exception on behalf of the main thread (its registers
//   read while it is paused);
// - TCrashboxModuleOptionsEx, the options class of the running module: it
//   starts and stops the watchdog as Active and FreezeActivate change, and
//   keeps its options in the process's shared options area.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/options/shared_options.h"

namespace cv {

class TExceptionThread {
public:
    // Copies the parameters, fills what they miss from the calling thread
    // (its stack top, its saved raise stack pointer, context and record) and
    // starts the thread. onFinished runs on the thread once Executing() has
    // turned false (it wakes whoever waits for that).
    TExceptionThread(const TExceptionObject& exceptObject, TAsynchronousException asynchronous, uintptr_t moduleHandle,
                     TRaiserType raiserType, const TExceptNotifyParams& params, bool nativeException, uintptr_t exceptAddress,
                     std::function<void()> onFinished = {});
    // Waits for the thread.
    ~TExceptionThread();
    TExceptionThread(const TExceptionThread&) = delete;
    TExceptionThread& operator=(const TExceptionThread&) = delete;

    // The thread could be started; when not, RunHere does its work.
    bool Started() const { return FStarted; }
    // Without a thread: the work on the calling thread.
    void RunHere();
    // True until ProcessException has returned.
    bool Executing() const { return FExecuting.load(); }
    void WaitFor();
    // ProcessException's answer.
    bool Result() const { return FResult; }
    uint32_t Caller() const { return FCaller; }

private:
    void Execute();

    std::atomic<bool> FExecuting{true};
    bool FStarted = false;
    bool FResult = false;
    TExceptionObject FObj;
    uintptr_t FAddr;
    bool FNativeException;
    TExceptNotifyParams FParams;
    TRaiserType FRaiserType;
    uintptr_t FModuleHandle;
    TAsynchronousException FAsynchronousException;
    uint32_t FCaller;
    std::function<void()> FOnFinished;
    // The raising thread's saved record and context, which the handler reads.
    siginfo_t FRecord{};
    ucontext_t FContext{};
    std::thread FThread;
};

// --- The freeze watchdog ---

// How the watchdog reaches the GUI thread: post runs the procedure on that
// thread when it next serves its events. The program's application object
// sets it while it exists (crashbox_application.h); without it the program
// has no window that could freeze.
using TGuiThreadPoster = std::function<void(std::function<void()> procedure)>;
void SetGuiThreadPoster(TGuiThreadPoster poster);

class TFreezeThread {
public:
    TFreezeThread();
    ~TFreezeThread();
    TFreezeThread(const TFreezeThread&) = delete;
    TFreezeThread& operator=(const TFreezeThread&) = delete;

    void Terminate();
    bool Terminated() const { return fTerminated.load(); }
    void WaitFor();
    // The watchdog has ended by itself (it reports one freeze per start).
    bool Finished() const { return fFinished.load(); }

private:
    void Execute();
    // One ping: whether the GUI thread answered within the wait.
    bool Ping(int waitMs);
    void ReportFreeze();

    std::atomic<bool> fTerminated{false};
    std::atomic<bool> fFinished{false};
    std::mutex fWaitLock;
    std::condition_variable fWake;
    std::thread fThread;
};

// Starts the watchdog when the running module's options want it (both
// Active and FreezeActivate) and none runs; stops it.
void StartFreezeWatchdog();
void StopFreezeWatchdog();
bool FreezeWatchdogRunning();
// The watchdog's time step (50 ms), in milliseconds; tests shorten it.
void SetFreezeWatchdogStep(int milliseconds);

// The pass of the watchdog: the unanswered time after one more ping.
// answered: the GUI thread answered within the step. Returns the new count.
int FreezeCountAfterPing(int unansweredMs, bool answered, int stepMs);

// --- The running module's options ---

class TCrashboxModuleOptionsEx : public TCrashboxSharedOptions {
public:
    using TCrashboxSharedOptions::TCrashboxSharedOptions;
    // For the running module's options, and only when the value changes:
    // the watchdog runs while both Active and FreezeActivate are on.
    void SetActive(bool value) override;
    void SetFreezeActivate(bool value) override;

private:
    bool IsRunningModules() const;
};

} // namespace cv
