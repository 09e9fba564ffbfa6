#pragma once
// A thread of the core's own, made at start-up, that does one part of a
// report beside the report's thread: a part that needs nothing of the
// report's other steps (reading the running processes from /proc) is handed
// over at the report's start and taken back done when the report needs it.
// Made at start-up because a thread made during the report starts late (its
// stack and signal stack are mapped while the report reads the memory map:
// one to four milliseconds).
//
// The report never waits for a part that has not begun: End takes it back,
// and the report does it itself, as it would without the helper.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace cv {

class TReportHelper {
public:
    // The part; `stop` is set when the report no longer wants it.
    using TPart = std::function<void(const std::atomic<bool>& stop)>;

    TReportHelper();
    // Stops the part under way and waits for the thread.
    ~TReportHelper();
    TReportHelper(const TReportHelper&) = delete;
    TReportHelper& operator=(const TReportHelper&) = delete;

    // Hands the part over; false when the helper holds one already (it is
    // then the caller's to do).
    bool Begin(TPart part);
    // The part handed over: whether it was done here. One under way is
    // waited for (stopped first when `stop`); one not begun is taken back
    // (false).
    bool End(bool stop = false);

private:
    void Run();

    enum class TState { Idle, Handed, Working, Done };
    std::mutex fLock;
    std::condition_variable fWake, fDone;
    TState fState = TState::Idle;
    TPart fPart;
    std::atomic<bool> fStop{false};
    bool fQuit = false;
    std::thread fThread;
};

} // namespace cv
