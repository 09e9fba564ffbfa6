#pragma once
// The status bar of a tool window: a row of panels, each a text, a progress
// bar or a button, numbered from 0 as the tools address them. It is also the
// window's own progress display (TProgressSink): the progress reporter puts
// its bars, messages, running words and time to go into the panels.

#include <QStatusBar>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/progress.h"
#include "suite/settings_records.h"

class QMenu;
class QTimer;

namespace cv {

enum class TStatusPanelStyle : uint8_t { Text, Progress, Button };

// The standard panels of a tool window, in order.
enum TStatusPanel : int {
    kPanelMessage = 0,    // counts, hits, running words, percentages
    kPanelWord = 1,       // the current word or item (joined with 2)
    kPanelPercent = 2,
    kPanelThisBar = 3,    // progress of the current task
    kPanelTypeButton = 4, // typing mode "type"
    kPanelSetButton = 5,  // typing mode "set"
    kPanelOverallBar = 6, // progress of the whole job
    kPanelTimeToGo = 7,
    kPanelStopButton = 8,
    kPanelHelpButton = 9,
    kPanelInfo = 10,      // longer messages
    kStatusPanelCount
};

class TCVStatusBar final : public QStatusBar, public TProgressSink {
    Q_OBJECT
public:
    explicit TCVStatusBar(QWidget* parent = nullptr);
    ~TCVStatusBar() override;

    // Makes the standard panels (any earlier ones go) and returns the left and
    // right x positions of the joined word panels (1 and 2), where rows
    // dragged from a grid may be dropped.
    Tdouble_smallint_type InitStatusBar();
    // Panels of one's own choosing (a panel of a given width; 0 stretches).
    int AddPanel(TStatusPanelStyle style, int width, const QString& caption = {});

    int PanelCount() const { return int(m_panels.size()); }
    TStatusPanelStyle PanelStyle(int panel) const;
    QString PanelText(int panel) const;
    int PanelProgress(int panel) const; // -1 for panels without a bar
    bool PanelEnabled(int panel) const;
    void SetPanelEnabled(int panel, bool enabled);
    int PanelWidth(int panel) const;
    // Turns a panel into another kind (a progress bar into a text, say),
    // keeping its place and width; a text panel starts empty.
    void SetPanelStyle(int panel, TStatusPanelStyle style, const QString& caption = {});

    // The suite's status-bar routines.
    void PutAStatusbarMessage(int panel, const QString& text);
    void SetPanelProgress(int panel, int percent);
    void ClearTheStatusBar();
    // The type and set buttons (panels 4 and 5) take clicks only when active.
    void SetStatusbarTypeSetButtonActive(bool active);
    // Shows which typing mode is on (0 type-in, 1 set, 2 editing).
    void ShowTypingMode(int mode);

    // A click on a panel (also made by tests and keyboard users).
    void ClickPanel(int panel);
    std::function<void(int panel)> OnPanelClick;

    void SetPopupMenu(QMenu* menu) { m_popup = menu; }
    QMenu* PopupMenu() const { return m_popup; }

    // TProgressSink
    void ShowProgress(const TProgressState& state) override;
    void ClearProgress() override;
    void BringApplicationToFront() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Panel {
        TStatusPanelStyle style;
        QWidget* widget;
    };
    void RemovePanels();
    QWidget* MakePanelWidget(TStatusPanelStyle style, int index, const QString& caption);
    const Panel* PanelAt(int panel) const;

    // The job's clock in panel 7: the time since the work began, and the
    // time to go when it is known (counted down between two estimates).
    void ShowJobClock();

    std::vector<Panel> m_panels;
    QMenu* m_popup = nullptr;
    QTimer* m_clock = nullptr; // ticks each second while a job shows progress
    std::chrono::steady_clock::time_point m_jobStarted{};
    std::chrono::steady_clock::time_point m_estimatedAt{};
    int m_secondsToGo = -1;
};

} // namespace cv
