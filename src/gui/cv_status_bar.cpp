#include "gui/cv_status_bar.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace cv {

namespace {

struct TPanelSpec {
    TStatusPanelStyle style;
    int width; // 0: takes the rest of the bar
    const char* caption;
};

// The standard panels, in TStatusPanel order.
constexpr TPanelSpec kStandardPanels[kStatusPanelCount] = {
    {TStatusPanelStyle::Text, 130, ""},
    {TStatusPanelStyle::Text, 110, ""},
    {TStatusPanelStyle::Text, 60, ""},
    {TStatusPanelStyle::Progress, 90, ""},
    {TStatusPanelStyle::Button, 46, "type"},
    {TStatusPanelStyle::Button, 40, "set"},
    {TStatusPanelStyle::Progress, 90, ""},
    {TStatusPanelStyle::Text, 170, ""},
    {TStatusPanelStyle::Button, 46, "stop"},
    {TStatusPanelStyle::Button, 40, "?"},
    {TStatusPanelStyle::Text, 0, ""},
};

QString TimeToGo(int seconds)
{
    if (seconds < 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TCVStatusBar::TCVStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &TCVStatusBar::ShowJobClock);
}

TCVStatusBar::~TCVStatusBar() = default;

void TCVStatusBar::RemovePanels()
{
    for (const Panel& p : m_panels) {
        removeWidget(p.widget);
        delete p.widget;
    }
    m_panels.clear();
}

QWidget* TCVStatusBar::MakePanelWidget(TStatusPanelStyle style, int index, const QString& caption)
{
    QWidget* w = nullptr;
    switch (style) {
    case TStatusPanelStyle::Text: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        w = label;
        break;
    }
    case TStatusPanelStyle::Progress: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        w = bar;
        break;
    }
    case TStatusPanelStyle::Button: {
        auto* button = new QToolButton(this);
        button->setText(caption);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, index] { ClickPanel(index); });
        w = button;
        break;
    }
    }
    w->setObjectName(QStringLiteral("panel%1").arg(index));
    return w;
}

int TCVStatusBar::AddPanel(TStatusPanelStyle style, int width, const QString& caption)
{
    const int index = int(m_panels.size());
    QWidget* w = MakePanelWidget(style, index, caption);
    if (width > 0)
        w->setFixedWidth(width);
    addPermanentWidget(w, width > 0 ? 0 : 1);
    m_panels.push_back({style, w});
    return index;
}

void TCVStatusBar::SetPanelStyle(int panel, TStatusPanelStyle style, const QString& caption)
{
    if (panel < 0 || panel >= PanelCount() || m_panels[size_t(panel)].style == style)
        return;
    Panel& p = m_panels[size_t(panel)];
    const bool fixed = p.widget->minimumWidth() == p.widget->maximumWidth();
    const int width = p.widget->maximumWidth();
    const bool enabled = p.widget->isEnabled();
    QWidget* w = MakePanelWidget(style, panel, caption);
    if (fixed)
        w->setFixedWidth(width);
    w->setEnabled(enabled);
    removeWidget(p.widget);
    delete p.widget;
    // The panels are the bar's permanent widgets, in order.
    insertPermanentWidget(panel, w, fixed ? 0 : 1);
    w->show();
    p = {style, w};
}

Tdouble_smallint_type TCVStatusBar::InitStatusBar()
{
    RemovePanels();
    for (const TPanelSpec& standard : kStandardPanels)
        AddPanel(standard.style, standard.width, QString::fromLatin1(standard.caption));
    SetStatusbarTypeSetButtonActive(false);
    int left = 0;
    for (int i = 0; i < kPanelWord; ++i)
        left += kStandardPanels[i].width;
    const int right = left + kStandardPanels[kPanelWord].width + kStandardPanels[kPanelPercent].width;
    return {int16_t(left), int16_t(right)};
}

const TCVStatusBar::Panel* TCVStatusBar::PanelAt(int panel) const
{
    if (panel < 0 || panel >= PanelCount())
        return nullptr;
    return &m_panels[size_t(panel)];
}

TStatusPanelStyle TCVStatusBar::PanelStyle(int panel) const
{
    const Panel* p = PanelAt(panel);
    return p ? p->style : TStatusPanelStyle::Text;
}

QString TCVStatusBar::PanelText(int panel) const
{
    const Panel* p = PanelAt(panel);
    if (!p)
        return {};
    if (auto* label = qobject_cast<QLabel*>(p->widget))
        return label->text();
    if (auto* button = qobject_cast<QToolButton*>(p->widget))
        return button->text();
    return {};
}

int TCVStatusBar::PanelProgress(int panel) const
{
    const Panel* p = PanelAt(panel);
    auto* bar = p ? qobject_cast<QProgressBar*>(p->widget) : nullptr;
    return bar ? bar->value() : -1;
}

bool TCVStatusBar::PanelEnabled(int panel) const
{
    const Panel* p = PanelAt(panel);
    return p && p->widget->isEnabled();
}

void TCVStatusBar::SetPanelEnabled(int panel, bool enabled)
{
    if (const Panel* p = PanelAt(panel))
        p->widget->setEnabled(enabled);
}

int TCVStatusBar::PanelWidth(int panel) const
{
    const Panel* p = PanelAt(panel);
    return p ? p->widget->width() : 0;
}

void TCVStatusBar::PutAStatusbarMessage(int panel, const QString& text)
{
    const Panel* p = PanelAt(panel);
    if (!p)
        return;
    if (auto* label = qobject_cast<QLabel*>(p->widget)) {
        label->setText(text);
        label->setToolTip(text);
    } else if (auto* button = qobject_cast<QToolButton*>(p->widget)) {
        button->setText(text);
    }
}

void TCVStatusBar::SetPanelProgress(int panel, int percent)
{
    const Panel* p = PanelAt(panel);
    if (auto* bar = p ? qobject_cast<QProgressBar*>(p->widget) : nullptr)
        bar->setValue(std::clamp(percent, 0, 100));
}

void TCVStatusBar::ClearTheStatusBar()
{
    for (int i = 0; i < PanelCount(); ++i) {
        if (PanelStyle(i) == TStatusPanelStyle::Text)
            PutAStatusbarMessage(i, {});
        else if (PanelStyle(i) == TStatusPanelStyle::Progress)
            SetPanelProgress(i, 0);
    }
    clearMessage();
}

void TCVStatusBar::SetStatusbarTypeSetButtonActive(bool active)
{
    SetPanelEnabled(kPanelTypeButton, active);
    SetPanelEnabled(kPanelSetButton, active);
}

void TCVStatusBar::ShowTypingMode(int mode)
{
    for (int panel : {int(kPanelTypeButton), int(kPanelSetButton)}) {
        const Panel* p = PanelAt(panel);
        if (auto* button = p ? qobject_cast<QToolButton*>(p->widget) : nullptr) {
            button->setCheckable(true);
            button->setChecked((panel == kPanelTypeButton && mode == 0) || (panel == kPanelSetButton && mode == 1));
        }
    }
}

void TCVStatusBar::ClickPanel(int panel)
{
    if (panel >= 0 && panel < PanelCount() && OnPanelClick)
        OnPanelClick(panel);
}

void TCVStatusBar::ShowProgress(const TProgressState& state)
{
    if (PanelCount() < kStatusPanelCount)
        return;
    SetPanelProgress(kPanelThisBar, state.thisPercent);
    SetPanelProgress(kPanelOverallBar, state.overallPercent);
    PutAStatusbarMessage(kPanelInfo, state.shortMessage.isEmpty() ? state.longMessage : state.shortMessage);
    if (state.runningWords > 0)
        PutAStatusbarMessage(kPanelMessage, QLocale().toString(qlonglong(state.runningWords)));
    if (!state.visible) {
        m_clock->stop();
        PutAStatusbarMessage(kPanelTimeToGo, {});
        return;
    }
    if (state.started != m_jobStarted || state.secondsToGo != m_secondsToGo) {
        m_jobStarted = state.started;
        m_secondsToGo = state.secondsToGo;
        m_estimatedAt = std::chrono::steady_clock::now();
    }
    if (!m_clock->isActive())
        m_clock->start();
    ShowJobClock();
}

void TCVStatusBar::ShowJobClock()
{
    if (PanelCount() < kStatusPanelCount || m_jobStarted == std::chrono::steady_clock::time_point{})
        return;
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const auto now = std::chrono::steady_clock::now();
    QString text = TimeToGo(int(duration_cast<seconds>(now - m_jobStarted).count()));
    if (m_secondsToGo >= 0) {
        const int left = std::max(0, m_secondsToGo - int(duration_cast<seconds>(now - m_estimatedAt).count()));
        text += QStringLiteral(" (%1 to go)").arg(TimeToGo(left));
    }
    PutAStatusbarMessage(kPanelTimeToGo, text);
}

void TCVStatusBar::ClearProgress()
{
    m_clock->stop();
    m_jobStarted = {};
    m_secondsToGo = -1;
    if (PanelCount() < kStatusPanelCount)
        return;
    SetPanelProgress(kPanelThisBar, 0);
    SetPanelProgress(kPanelOverallBar, 0);
    PutAStatusbarMessage(kPanelInfo, {});
    PutAStatusbarMessage(kPanelTimeToGo, {});
}

void TCVStatusBar::BringApplicationToFront()
{
    if (QWidget* w = window(); w && w->isVisible()) {
        w->raise();
        w->activateWindow();
    }
}

void TCVStatusBar::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_popup && !m_popup->isEmpty())
        m_popup->popup(event->globalPos());
    else
        QStatusBar::contextMenuEvent(event);
}

} // namespace cv
