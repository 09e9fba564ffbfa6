#pragma once
// The one process-wide progress reporter of a tool. A job shows two bars
// (the current task and the whole job), a short and a long message, the
// running words, the memory in use and the time to go.
//
// The display is either the tool window's own status bar (a TProgressSink the
// window hands over with SetProgressStatusBar) or the controller's progress
// window: then each change is written into the settings buffer's progress
// record (SetProgressParams) and the matching code 6100..6110 is posted to
// the controller. Call from the main thread.

#include <QElapsedTimer>
#include <QPoint>
#include <QString>

#include <chrono>
#include <cstdint>

namespace cv {

struct TProgressState {
    bool visible = false;
    uint8_t mode = 0;        // 0 compute job; 1 import, open or comparison
    QPoint centre;
    int thisPercent = 0;     // current task, 0..100
    int overallPercent = 0;  // whole job, 0..100
    QString shortMessage;
    QString longMessage;
    int64_t runningWords = 0;
    int64_t memoryBytes = 0;
    int secondsToGo = -1;    // below 0: not known
    // When the work began (ClearAllAndShow): the display's clock runs from it.
    std::chrono::steady_clock::time_point started{};
};

// The window's own display (its status-bar progress panels).
class TProgressSink {
public:
    virtual ~TProgressSink() = default;
    virtual void ShowProgress(const TProgressState& state) = 0;
    // Blanks the progress panels.
    virtual void ClearProgress() = 0;
    virtual void BringApplicationToFront() {}
};

class TProgressClass {
public:
    enum class TDisplay {
        Automatic,  // the controller's window when a controller runs, else the status bar
        StatusBar,
        Controller,
        // The status bar always, and the controller's record as well when a
        // controller runs: the suite's controller here shows no progress
        // window of its own, so a tool window's panels are where its user
        // sees how far a job is.
        StatusBarAndController,
    };

    void ClearAllAndShow(QPoint centre, uint8_t mode);
    void ClearBarsOnly();
    void ThisPercent(int percent);
    void OverallPercent(int percent);
    // An empty text clears the message.
    void ProgressShortMessage(const QString& text);
    // Also sets the current percentage to n * 100 div total.
    void ProgressShortMessageOutOf(const QString& text, int64_t n, int64_t total);
    void ProgressLongMessage(const QString& text);
    void RunningWords(int64_t n);
    void Memory();
    // The time to go from the share done so far and the time it took; not
    // known (below 0) before any share, or once the share is whole while
    // the job goes on.
    void ShowTimeToGo();
    // Hides and zeroes both bars, tells the controller (6107) and blanks the
    // own panels; called at the end of every job, also when nothing was shown.
    void Hide();
    void SetProgressStatusBar(TProgressSink* sink) { m_sink = sink; }

    void SetDisplay(TDisplay d) { m_display = d; }
    const TProgressState& State() const { return m_state; }

    // How often a long loop's TProgressSteps shows its share and lets the
    // window handle its messages, in milliseconds (100 unless set; tests
    // take every step).
    void SetStepInterval(int milliseconds) { m_stepInterval = milliseconds < 0 ? 0 : milliseconds; }
    int StepInterval() const { return m_stepInterval; }

private:
    bool ToController();
    void Publish(uint16_t code);

    TProgressState m_state;
    TDisplay m_display = TDisplay::Automatic;
    TProgressSink* m_sink = nullptr;
    QElapsedTimer m_started;
    int m_stepInterval = 100;
};

// The reporter of this process (made by the start-up's module initialisation).
TProgressClass& GlobalProgress();

// The steps of a long loop on the window's thread: now and then (the
// reporter's step interval) the share done goes to the current task's bar,
// and its place between two marks of the whole job's bar, with the time to
// go; the window then handles its messages, so that it is drawn and its Stop
// is seen. Step answers whether the job may go on.
class TProgressSteps {
public:
    // This loop is the whole job's share from `firstPercent` to `lastPercent`.
    explicit TProgressSteps(int firstPercent = 0, int lastPercent = 100,
                            TProgressClass& progress = GlobalProgress());
    // `done` of `all` (any unit); false once a stop is asked for.
    bool Step(int64_t done, int64_t all);
    // Shows the share at once, whatever the interval (a loop's last step).
    void Show(int64_t done, int64_t all);

private:
    TProgressClass& m_progress;
    int m_first;
    int m_last;
    QElapsedTimer m_clock;
    int64_t m_shownAt = 0;
};

} // namespace cv
