#include "runtime/progress.h"

#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/process_utils.h"
#include "suite/cv_globals.h"
#include "suite/window_messages.h"

#include <algorithm>

namespace cv {

namespace {
int clampPercent(int64_t p) { return int(std::clamp<int64_t>(p, 0, 100)); }
} // namespace

TProgressClass& GlobalProgress()
{
    static TProgressClass progress;
    return progress;
}

bool TProgressClass::ToController()
{
    switch (m_display) {
    case TDisplay::Controller:
        return true;
    case TDisplay::StatusBar:
        return false;
    case TDisplay::Automatic:
    case TDisplay::StatusBarAndController:
        break;
    }
    return GetShellWnd() != 0;
}

void TProgressClass::Publish(uint16_t code)
{
    if (ToController()) {
        TProgressParamsRec r;
        r.SetTool(current_tool_var);
        r.SetMode(m_state.mode);
        r.SetVisible(m_state.visible);
        r.SetThisPercent(m_state.thisPercent);
        r.SetOverallPercent(m_state.overallPercent);
        r.SetRunningWords(m_state.runningWords);
        r.SetMemoryBytes(m_state.memoryBytes);
        r.SetSecondsToGo(m_state.secondsToGo);
        r.SetCentreX(m_state.centre.x());
        r.SetCentreY(m_state.centre.y());
        r.SetShortMessage(m_state.shortMessage);
        r.SetLongMessage(m_state.longMessage);
        SetProgressParams(r);
        PostToController(code);
        if (m_display != TDisplay::StatusBarAndController)
            return;
    }
    if (m_sink)
        m_sink->ShowProgress(m_state);
}

void TProgressClass::ClearAllAndShow(QPoint centre, uint8_t mode)
{
    m_state = TProgressState{};
    m_state.visible = true;
    m_state.mode = mode;
    m_state.centre = centre;
    m_state.started = std::chrono::steady_clock::now();
    m_started.start();
    Publish(kCodeProgressShow);
}

void TProgressClass::ClearBarsOnly()
{
    m_state.thisPercent = 0;
    m_state.overallPercent = 0;
    Publish(kCodeProgressClearBars);
}

void TProgressClass::ThisPercent(int percent)
{
    const int p = clampPercent(percent);
    if (p == m_state.thisPercent)
        return; // nothing to refresh: loops call this far more often than it changes
    m_state.thisPercent = p;
    Publish(kCodeProgressThisPercent);
}

void TProgressClass::OverallPercent(int percent)
{
    const int p = clampPercent(percent);
    if (p == m_state.overallPercent)
        return;
    m_state.overallPercent = p;
    Publish(kCodeProgressOverallPercent);
}

void TProgressClass::ProgressShortMessage(const QString& text)
{
    m_state.shortMessage = text;
    Publish(kCodeProgressShortMessage);
}

void TProgressClass::ProgressShortMessageOutOf(const QString& text, int64_t n, int64_t total)
{
    m_state.shortMessage = text;
    m_state.thisPercent = total > 0 ? clampPercent(n * 100 / total) : 0;
    Publish(kCodeProgressShortMessageOutOf);
}

void TProgressClass::ProgressLongMessage(const QString& text)
{
    m_state.longMessage = text;
    Publish(kCodeProgressLongMessage);
}

void TProgressClass::RunningWords(int64_t n)
{
    m_state.runningWords = n;
    Publish(kCodeProgressRunningWords);
}

void TProgressClass::Memory()
{
    m_state.memoryBytes = ProcessMemoryInUse();
    Publish(kCodeProgressMemory);
}

void TProgressClass::ShowTimeToGo()
{
    // From the share done so far: the whole job's bar when it moves, else the task's.
    const int done = m_state.overallPercent > 0 ? m_state.overallPercent : m_state.thisPercent;
    if (done <= 0 || done >= 100 || !m_started.isValid())
        m_state.secondsToGo = -1;
    else
        m_state.secondsToGo = int(m_started.elapsed() * (100 - done) / done / 1000);
    Publish(kCodeProgressTimeToGo);
}

void TProgressClass::Hide()
{
    m_state.visible = false;
    m_state.thisPercent = 0;
    m_state.overallPercent = 0;
    m_state.secondsToGo = -1;
    m_started.invalidate();
    // Both displays are told: the controller may show a window the tool
    // opened before it lost its link, and the own panels must be blank.
    TProgressParamsRec r = GetProgressParams();
    if (r.Tool() == current_tool_var) {
        r.SetVisible(false);
        r.SetThisPercent(0);
        r.SetOverallPercent(0);
        SetProgressParams(r);
    }
    PostToController(kCodeProgressHide);
    if (m_sink) {
        m_sink->ClearProgress();
        m_sink->BringApplicationToFront();
    }
}

TProgressSteps::TProgressSteps(int firstPercent, int lastPercent, TProgressClass& progress)
    : m_progress(progress), m_first(clampPercent(firstPercent)), m_last(std::max(m_first, clampPercent(lastPercent)))
{
    m_clock.start();
}

void TProgressSteps::Show(int64_t done, int64_t all)
{
    const int64_t share = all > 0 ? std::clamp<int64_t>(done, 0, all) * 100 / all : 0;
    m_progress.ThisPercent(int(share));
    m_progress.OverallPercent(int(m_first + (m_last - m_first) * share / 100));
    m_progress.ShowTimeToGo();
    m_shownAt = m_clock.elapsed();
    MyYieldProcess();
}

bool TProgressSteps::Step(int64_t done, int64_t all)
{
    if (m_clock.elapsed() - m_shownAt >= m_progress.StepInterval())
        Show(done, all);
    return global_panic_state.load() == kPanicRun;
}

} // namespace cv
