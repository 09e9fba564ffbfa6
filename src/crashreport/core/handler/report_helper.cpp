#include "crashreport/core/handler/report_helper.h"

#include "crashreport/core/handler/thread_doors.h"

namespace cv {

TReportHelper::TReportHelper()
{
    // The core's own thread: no entry in the threads list, never paused by a report.
    TCoreThreadScope coreThread;
    // Without its thread the helper takes no part: the report does it itself.
    if (!TryStartThread(fThread, [this] { Run(); }, "the report's helper"))
        fQuit = true;
}

TReportHelper::~TReportHelper()
{
    {
        std::lock_guard guard(fLock);
        fQuit = true;
        fStop = true;
    }
    fWake.notify_all();
    if (fThread.joinable())
        fThread.join();
}

bool TReportHelper::Begin(TPart part)
{
    {
        std::lock_guard guard(fLock);
        if (fState != TState::Idle || fQuit)
            return false;
        fPart = std::move(part);
        fStop = false;
        fState = TState::Handed;
    }
    fWake.notify_all();
    return true;
}

bool TReportHelper::End(bool stop)
{
    std::unique_lock lock(fLock);
    if (fState == TState::Handed) {
        fPart = nullptr;
        fState = TState::Idle;
        return false;
    }
    if (stop)
        fStop = true;
    fDone.wait(lock, [this] { return fState != TState::Working; });
    const bool done = fState == TState::Done;
    fState = TState::Idle;
    return done;
}

void TReportHelper::Run()
{
    std::unique_lock lock(fLock);
    for (;;) {
        fWake.wait(lock, [this] { return fQuit || fState == TState::Handed; });
        if (fQuit)
            return;
        fState = TState::Working;
        TPart part = std::move(fPart);
        fPart = nullptr;
        lock.unlock();
        part(fStop);
        part = nullptr;
        lock.lock();
        fState = TState::Done;
        fDone.notify_all();
    }
}

} // namespace cv
