#include "gui/qt_dialog_service.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>

#include <utility>
#include <vector>

namespace cv {

namespace {

QMessageBox::Icon iconOf(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Information: return QMessageBox::Information;
    case TDialogKind::Warning: return QMessageBox::Warning;
    case TDialogKind::Error:
    case TDialogKind::Fatal: return QMessageBox::Critical;
    case TDialogKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// The buttons of each choice, with the answer each gives.
std::vector<std::pair<QMessageBox::StandardButton, TDialogAnswer>> buttonsOf(TDialogButtons b)
{
    using SB = QMessageBox::StandardButton;
    switch (b) {
    case TDialogButtons::OK: return {{SB::Ok, TDialogAnswer::OK}};
    case TDialogButtons::OKCancel: return {{SB::Ok, TDialogAnswer::OK}, {SB::Cancel, TDialogAnswer::Cancel}};
    case TDialogButtons::YesNo: return {{SB::Yes, TDialogAnswer::Yes}, {SB::No, TDialogAnswer::No}};
    case TDialogButtons::YesNoCancel:
        return {{SB::Yes, TDialogAnswer::Yes}, {SB::No, TDialogAnswer::No}, {SB::Cancel, TDialogAnswer::Cancel}};
    case TDialogButtons::AbortRetryIgnore:
        return {{SB::Abort, TDialogAnswer::Abort}, {SB::Retry, TDialogAnswer::Retry}, {SB::Ignore, TDialogAnswer::Ignore}};
    case TDialogButtons::YesNoToAllCancel:
        return {{SB::Yes, TDialogAnswer::Yes},
                {SB::YesToAll, TDialogAnswer::YesToAll},
                {SB::No, TDialogAnswer::No},
                {SB::NoToAll, TDialogAnswer::NoToAll},
                {SB::Cancel, TDialogAnswer::Cancel}};
    }
    return {{SB::Ok, TDialogAnswer::OK}};
}

// Room a title bar takes beside its text: the window's icon and its
// buttons (minimise, maximise, close), with some margin.
constexpr int kTitleBarAllowance = 160;

// A short message makes a narrow box, whose title the window manager cuts
// ("Cor... ols"): the box is kept at least as wide as its whole title.
void KeepTitleWhole(QMessageBox& box, const QString& title)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid || title.isEmpty())
        return;
    const int width = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + kTitleBarAllowance;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

TQtDialogService::TQtDialogService(QWidget* parent, THelpHandler help) : m_parent(parent), m_help(std::move(help)) {}

TDialogAnswer TQtDialogService::Show(const TDialogRequest& request)
{
    QMessageBox box(m_parent);
    box.setIcon(iconOf(request.kind));
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);
    // A name or an address in a message can be copied (a help page to open elsewhere).
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (!request.routine.isEmpty())
        box.setObjectName(request.routine);

    const auto buttons = buttonsOf(request.buttons);
    // Escape (and the window's close box) gives Cancel, else No, else the only button.
    QAbstractButton* escape = nullptr;
    TDialogAnswer escapeAnswer = request.defaultAnswer;
    for (const auto& [standard, answer] : buttons) {
        QPushButton* button = box.addButton(standard);
        if (answer == request.defaultAnswer)
            box.setDefaultButton(button);
        const bool better = answer == TDialogAnswer::Cancel || (answer == TDialogAnswer::No && escapeAnswer != TDialogAnswer::Cancel);
        if (!escape || better) {
            escape = button;
            escapeAnswer = answer;
        }
    }
    box.setEscapeButton(escape);
    QAbstractButton* helpButton = (request.helpContext > 0 && m_help) ? box.addButton(QMessageBox::Help) : nullptr;
    KeepTitleWhole(box, request.caption);

    bool closedByItself = false;
    QTimer autoClose;
    if (request.autoCloseSecs > 0) {
        autoClose.setSingleShot(true);
        // A coarse timer may fire up to 5% early: the box stands its full time.
        autoClose.setTimerType(Qt::PreciseTimer);
        QObject::connect(&autoClose, &QTimer::timeout, &box, [&] {
            closedByItself = true;
            box.reject();
        });
        autoClose.start(request.autoCloseSecs * 1000);
    }
    for (;;) {
        box.exec();
        if (closedByItself)
            return request.defaultAnswer;
        QAbstractButton* clicked = box.clickedButton();
        if (helpButton && clicked == helpButton) {
            m_help(request.helpContext);
            continue;
        }
        for (const auto& [standard, answer] : buttons)
            if (clicked && box.standardButton(clicked) == standard)
                return answer;
        return escapeAnswer;
    }
}

} // namespace cv
