#include "crashreport/core/handler/exception_thread.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>

#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/capture/window_services.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

// --- TExceptionThread ---

TExceptionThread::TExceptionThread(const TExceptionObject& exceptObject, TAsynchronousException asynchronous,
                                   uintptr_t moduleHandle, TRaiserType raiserType, const TExceptNotifyParams& params,
                                   bool nativeException, uintptr_t exceptAddress, std::function<void()> onFinished)
    : FObj(exceptObject),
      FAddr(exceptAddress),
      FNativeException(nativeException),
      FParams(params),
      FRaiserType(raiserType),
      FModuleHandle(moduleHandle),
      FAsynchronousException(asynchronous),
      FCaller(CurrentThreadID()),
      FOnFinished(std::move(onFinished))
{
    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    if (FParams.TopOfStack == 0)
        FParams.TopOfStack = ThreadTopOfStack();
    if (FParams.StackPoint == 0)
        FParams.StackPoint = raise.StackPointer;
    if (!FParams.Context && raise.ContextValid) {
        FContext = raise.Context;
        FParams.Context = &FContext;
    }
    if (!FParams.ExceptionRecord && raise.RecordValid) {
        FRecord = raise.Record;
        FParams.ExceptionRecord = &FRecord;
    }
    TCoreThreadScope coreThread;
    FStarted = TryStartThread(FThread, [this] { Execute(); }, "the report of an exception");
}

TExceptionThread::~TExceptionThread() { WaitFor(); }

void TExceptionThread::RunHere()
{
    if (!FStarted && FExecuting.load())
        Execute();
}

void TExceptionThread::WaitFor()
{
    if (FThread.joinable())
        FThread.join();
}

void TExceptionThread::Execute()
{
    SetInsideProcessException(true);
    int signal = 0;
    const bool finished = CallGuarded(
        [this] {
            FResult = ProcessException(FObj, FAddr, FNativeException, FParams, FRaiserType, FModuleHandle, FAsynchronousException);
        },
        &signal);
    if (!finished)
        RecordHandlingFailure(signal);
    SetInsideProcessException(false);
    FExecuting = false;
    if (FOnFinished)
        FOnFinished();
}

// --- the watchdog ---

namespace {

std::mutex& PosterLock()
{
    static std::mutex lock;
    return lock;
}
TGuiThreadPoster& Poster()
{
    static TGuiThreadPoster poster;
    return poster;
}

std::mutex& WatchdogLock()
{
    static std::mutex lock;
    return lock;
}
std::unique_ptr<TFreezeThread>& Watchdog()
{
    static std::unique_ptr<TFreezeThread> watchdog;
    return watchdog;
}
std::atomic<int> gStepMs{50};

// Whether the program shows a main window the watchdog can ping.
bool MainWindowShown()
{
    {
        std::lock_guard guard(PosterLock());
        if (!Poster())
            return false;
    }
    return !RegisteredWindowServices() || FindProcessMainWindow(uint32_t(::getpid())) != 0;
}

int FreezeTimeoutMs()
{
    return CrashboxActivated() ? std::max(CurrentCrashboxOptions().FreezeTimeout(), 1) * 1000 : 60000;
}

} // namespace

void SetGuiThreadPoster(TGuiThreadPoster poster)
{
    std::lock_guard guard(PosterLock());
    Poster() = std::move(poster);
}

int FreezeCountAfterPing(int unansweredMs, bool answered, int stepMs) { return answered ? 0 : unansweredMs + stepMs; }

void SetFreezeWatchdogStep(int milliseconds) { gStepMs = std::max(milliseconds, 1); }

TFreezeThread::TFreezeThread()
{
    TCoreThreadScope coreThread;
    // Without its thread the watchdog has ended at once.
    if (!TryStartThread(fThread, [this] { Execute(); }, "the freeze watchdog"))
        fFinished = true;
}

TFreezeThread::~TFreezeThread()
{
    Terminate();
    WaitFor();
}

void TFreezeThread::Terminate()
{
    fTerminated = true;
    std::lock_guard guard(fWaitLock);
    fWake.notify_all();
}

void TFreezeThread::WaitFor()
{
    if (fThread.joinable())
        fThread.join();
}

bool TFreezeThread::Ping(int waitMs)
{
    auto answer = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard guard(PosterLock());
        if (!Poster())
            return true;
        Poster()([answer] { answer->store(true); });
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!answer->load() && !Terminated() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(waitMs / 10, 1)));
    return answer->load();
}

void TFreezeThread::Execute()
{
    int unanswered = 0;
    auto sleepStep = [this] {
        std::unique_lock lock(fWaitLock);
        fWake.wait_for(lock, std::chrono::milliseconds(gStepMs.load()), [this] { return Terminated(); });
    };
    while (!Terminated()) {
        if (!MainWindowShown()) {
            sleepStep();
            continue;
        }
        const int step = gStepMs.load();
        const bool answered = Ping(step);
        unanswered = FreezeCountAfterPing(unanswered, answered, step);
        if (answered)
            for (int i = 0; i < 6 && !Terminated(); ++i)
                sleepStep();
        if (!Terminated() && unanswered >= FreezeTimeoutMs()) {
            ReportFreeze();
            break;
        }
    }
    fFinished = true;
}

void TFreezeThread::ReportFreeze()
{
    const TMainThreadInfo& main = MainThread();
    if (main.ID == 0)
        return;
    TThreadPause pause;
    const uint32_t id = main.ID;
    pause.Pause({&id, 1});
    SetInsideProcessException(true);
    const TPausedThread& thread = pause.Threads().front();
    if (thread.Answered && thread.InstructionPointer != 0 && thread.StackPointer != 0 && CrashboxActivated()) {
        const TExceptionObject frozen =
            ExceptionObjectOfKind("EFrozenApplication", CurrentCrashboxOptions().GetExpandedText(mtException_AntiFreeze));
        ExceptNotify(frozen, thread.InstructionPointer, false, nullptr, false, aeNone, CrashboxLibraryModuleHandle(), rtLocal,
                     nullptr, &thread.Context, thread.StackPointer, main.TopOfStack, main.ID);
    }
    pause.Resume();
    SetInsideProcessException(false);
}

void StartFreezeWatchdog()
{
    if (IsIDEHost() || !CrashboxActivated())
        return;
    const TCrashboxModuleOptions& options = CurrentCrashboxOptions();
    if (!options.Active() || !options.FreezeActivate())
        return;
    std::lock_guard guard(WatchdogLock());
    std::unique_ptr<TFreezeThread>& watchdog = Watchdog();
    if (watchdog && !watchdog->Finished())
        return;
    watchdog.reset();
    watchdog = std::make_unique<TFreezeThread>();
}

void StopFreezeWatchdog()
{
    std::unique_ptr<TFreezeThread> watchdog;
    {
        std::lock_guard guard(WatchdogLock());
        watchdog = std::move(Watchdog());
    }
    // Its destructor asks it to end and waits for it.
}

bool FreezeWatchdogRunning()
{
    std::lock_guard guard(WatchdogLock());
    return Watchdog() && !Watchdog()->Finished();
}

// --- TCrashboxModuleOptionsEx ---

bool TCrashboxModuleOptionsEx::IsRunningModules() const { return CrashboxActivated() && &CurrentCrashboxOptions() == this; }

void TCrashboxModuleOptionsEx::SetActive(bool value)
{
    if (!IsRunningModules()) {
        TCrashboxSharedOptions::SetActive(value);
        return;
    }
    if (value == Active())
        return;
    TCrashboxSharedOptions::SetActive(value);
    if (Active() && FreezeActivate())
        StartFreezeWatchdog();
    else
        StopFreezeWatchdog();
}

void TCrashboxModuleOptionsEx::SetFreezeActivate(bool value)
{
    if (!IsRunningModules()) {
        TCrashboxSharedOptions::SetFreezeActivate(value);
        return;
    }
    if (value == FreezeActivate())
        return;
    TCrashboxSharedOptions::SetFreezeActivate(value);
    if (Active() && FreezeActivate())
        StartFreezeWatchdog();
    else
        StopFreezeWatchdog();
}

} // namespace cv
