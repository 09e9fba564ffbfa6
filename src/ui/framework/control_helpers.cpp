#include "ui/framework/control_helpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QListWidget>
#include <QScreen>
#include <QToolButton>

#include <cmath>

namespace cv {

namespace {

double PixelsPerInch(const QWidget* w)
{
    const QScreen* screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

void SetApplicationFont()
{
    QFont font(QStringLiteral("Segoe UI"), 9);
    QApplication::setFont(font);
}

int GlobalImageHeight(const QWidget* onScreen) { return int(std::lround(16.0 * PixelsPerInch(onScreen) / 96.0)); }

int LayoutToolbarPanelControls(QWidget* panel)
{
    if (!panel)
        return 0;
    const int gap = int(PixelsPerInch(panel)) / 12;
    panel->setFixedHeight(int(std::lround(GlobalImageHeight(panel) * 1.8)));
    const int clientHeight = panel->contentsRect().height();
    int x = gap;
    for (QObject* child : panel->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control->isWindow())
            continue;
        if (qobject_cast<QToolButton*>(control)) {
            control->setGeometry(x, 0, control->width(), clientHeight);
        } else {
            int height = control->height();
            if (!qobject_cast<QComboBox*>(control) && !qobject_cast<QCheckBox*>(control))
                height = int(std::lround(clientHeight * 0.9));
            const int top = int(std::lround((clientHeight - height) / 2.0));
            control->setGeometry(x, top, control->width(), height);
        }
        x += control->width() + gap;
    }
    return x;
}

TCVSpinEdit::TCVSpinEdit(QWidget* parent) : QDoubleSpinBox(parent)
{
    setDecimals(0);
    setSingleStep(m_increment);
}

void TCVSpinEdit::SetIncrementFloat(float step)
{
    m_increment = step;
    setSingleStep(step);
}

void TCVSpinEdit::SetFloatMode(bool on)
{
    m_floatMode = on;
    setDecimals(on ? 2 : 0);
}

void TCVSpinEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        const double delta = event->key() == Qt::Key_PageUp ? m_pageIncrement : -m_pageIncrement;
        setValue(value() + delta);
        event->accept();
        return;
    }
    QDoubleSpinBox::keyPressEvent(event);
}

void SetSpinEditsFloatSteps(QWidget* parent, float stepA, float stepB)
{
    if (!parent)
        return;
    for (TCVSpinEdit* spin : parent->findChildren<TCVSpinEdit*>(Qt::FindDirectChildrenOnly)) {
        spin->SetIncrementFloat(stepA);
        spin->SetIncrementFloatPage(stepB);
        spin->SetFloatMode(true);
    }
}

void SafeSetItemIndex(QComboBox* list, int index)
{
    if (!list || list->count() == 0)
        return;
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : 0);
}

void SafeSetItemIndex(QListWidget* list, int index)
{
    if (!list || list->count() == 0)
        return;
    list->setCurrentRow(index >= 0 && index < list->count() ? index : 0);
}

void SafeSetItemIndexTMS(QComboBox* combo, int index)
{
    if (!combo)
        return;
    if (combo->count() == 0) {
        combo->setCurrentIndex(-1);
        return;
    }
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : 0);
}

int AlignTabbedColumns(QPlainTextEdit& memo)
{
    constexpr int kGap = 16;
    const QFontMetrics metrics(memo.font());
    int widest = 0;
    for (const QString& line : memo.toPlainText().split(u'\n'))
        if (const qsizetype tab = line.indexOf(u'\t'); tab > 0)
            widest = std::max(widest, metrics.horizontalAdvance(line.left(tab)));
    const int stop = std::max(widest + kGap, metrics.horizontalAdvance(QLatin1Char(' ')) * 8);
    memo.setTabStopDistance(stop);
    return stop;
}

} // namespace cv
