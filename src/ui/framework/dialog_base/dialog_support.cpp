#include "ui/framework/dialog_base/dialog_support.h"

#include <QButtonGroup>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/window_placement.h"
#include "suite/window_messages.h"

namespace cv {

namespace {

QString GeometryKey(const QWidget& dialog) { return QStringLiteral("geometry/") + dialog.objectName(); }

} // namespace

int RunModalDialog(QDialog& dialog)
{
    if (const TModalRunner& runner = TModalRunnerSlot::Current())
        return runner(dialog);
    return dialog.exec();
}

QString GridDialogSettingsFileName()
{
    QString folder = GetUserReadWriteFolder();
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(folder).filePath(QStringLiteral("grid dialogs.ini"));
}

bool RestoreDialogGeometry(QWidget& dialog)
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    const QByteArray geometry = settings.value(GeometryKey(dialog)).toByteArray();
    return !geometry.isEmpty() && dialog.restoreGeometry(geometry);
}

void StoreDialogGeometry(const QWidget& dialog)
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    settings.setValue(GeometryKey(dialog), dialog.saveGeometry());
}

TRememberingDialog::TRememberingDialog(const QString& objectName, QWidget* parent) : QDialog(parent)
{
    setObjectName(objectName);
}

QSize RoomForContents(const QWidget& dialog)
{
    QSize room = dialog.size().expandedTo(dialog.sizeHint());
    // Every tab of a page control in sight: its tab bar as wide as all its tabs.
    for (const QTabWidget* tabs : dialog.findChildren<QTabWidget*>()) {
        const int missing = tabs->tabBar()->sizeHint().width() + 8 - tabs->width();
        if (missing > 0 && tabs->isVisibleTo(&dialog))
            room.setWidth(std::max(room.width(), dialog.width() + missing));
    }
    // Never beyond the screen.
    if (const QScreen* screen = dialog.screen())
        room = room.boundedTo(screen->availableGeometry().size());
    return room;
}

void KeepInsideScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    // The frame's extra on each side, so that the frame, not only the client, stays in.
    const int extraWidth = frame.width() - window.width();
    const int extraHeight = frame.height() - window.height();
    const int width = window.width() + std::max(0, extraWidth);
    const int height = window.height() + std::max(0, extraHeight);
    const int left = std::max(area.left(), std::min(frame.left(), area.right() + 1 - width));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - height));
    if (left != frame.left() || top != frame.top())
        window.move(left, top);
}

void TRememberingDialog::showEvent(QShowEvent* event)
{
    bool placed = true;
    if (!m_restored) {
        m_restored = true;
        placed = RestoreDialogGeometry(*this);
    }
    // A size remembered from an earlier layout, or a layout's own too small
    // a guess, never hides a control or a tab.
    if (const QSize room = RoomForContents(*this); room != size())
        resize(room);
    if (!placed)
        PlaceWithoutStoredGeometry();
    KeepInsideScreen(*this);
    QDialog::showEvent(event);
}

void TRememberingDialog::hideEvent(QHideEvent* event)
{
    StoreDialogGeometry(*this);
    QDialog::hideEvent(event);
}

void PostHelpRequest(int helpContext)
{
    if (mini_global_own_HWnd != 0)
        PostMessage(mini_global_own_HWnd, kMsgHelpRequest, uint64_t(helpContext), 0);
}

void MakeOwnTaskbarWindow(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinMaxButtonsHint);
}

bool KeepOnScreen(QWidget* window)
{
    QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        return false;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QSize margins = frame.size() - window->geometry().size();
    if (frame.width() > area.width() || frame.height() > area.height())
        window->resize(std::min(frame.width(), area.width()) - margins.width(),
                       std::min(frame.height(), area.height()) - margins.height());
    const QRect fitted = window->frameGeometry();
    const int dx = fitted.left() < area.left() ? area.left() - fitted.left()
                   : fitted.right() > area.right() ? area.right() - fitted.right() : 0;
    const int dy = fitted.top() < area.top() ? area.top() - fitted.top()
                   : fitted.bottom() > area.bottom() ? area.bottom() - fitted.bottom() : 0;
    if (dx == 0 && dy == 0 && fitted.size() == frame.size())
        return false;
    window->move(window->pos() + QPoint(dx, dy));
    return true;
}

void SizeNewWindowForScreen(QWidget* window, QSize wanted)
{
    if (!window)
        return;
    const QWidget* parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    const std::optional<QPoint> centre =
        parent && parent->isVisible() ? std::optional<QPoint>(parent->frameGeometry().center()) : std::nullopt;
    window->setGeometry(NewWindowRect(screen->availableGeometry(), wanted, window->minimumSize(), centre));
}

void BringToFront(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    KeepOnScreen(window);
    window->raise();
    window->activateWindow();
    // The window manager frames a new window a moment later: its title bar
    // must be on the screen too.
    QTimer::singleShot(150, window, [window] { KeepOnScreen(window); });
}

// ---------------------------------------------------------------------------
// The tools' dialogs

int HelpContextOf(const QWidget* control) { return control ? control->property("helpContext").toInt() : 0; }

void SetHelpContext(QWidget* control, int context)
{
    if (control)
        control->setProperty("helpContext", context);
}

void ShowHelpTopic(int context)
{
    if (const THelpTopicShower& shower = THelpTopicSlot::Current())
        shower(context);
    else
        PostHelpRequest(context);
}

QString ChangeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot > slash && dot > slash + 1 ? fileName.left(dot) : fileName;
    return stem + ext;
}

QString ElidedFileName(const QString& fileName, const QFont& font, int width)
{
    return QFontMetrics(font).elidedText(QDir::toNativeSeparators(fileName), Qt::ElideMiddle, std::max(width, 0));
}

QHBoxLayout* OkHelpButtonRow(QPushButton* ok, QPushButton* help, QPushButton* cancel)
{
    if (!cancel) {
        cancel = new QPushButton(QStringLiteral("Cancel"), ok->parentWidget());
        cancel->setObjectName(QStringLiteral("ButtonCancel"));
        // The dialog is the button's window once the row is laid out in it.
        QObject::connect(cancel, &QPushButton::clicked, cancel, [cancel] {
            if (auto* dialog = qobject_cast<QDialog*>(cancel->window()))
                dialog->reject();
        });
    }
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    row->addWidget(help);
    ok->setDefault(true);
    return row;
}

void RaiseCancelState()
{
    uint8_t state = global_panic_state.load();
    while (state < kPanicQuitProgram && !global_panic_state.compare_exchange_weak(state, uint8_t(state + 1))) {
    }
}

// ---------------------------------------------------------------------------

TCVDialog::TCVDialog(QWidget* parent, const QString& name, int helpContext, bool ownTaskbarButton)
    : TRememberingDialog(name, parent)
{
    if (ownTaskbarButton)
        MakeOwnTaskbarWindow(*this);
    SetHelpContext(this, helpContext);
}

int TCVDialog::HelpContext() const { return HelpContextOf(this); }

void TCVDialog::SetHelpContextNumber(int context) { SetHelpContext(this, context); }

void TCVDialog::ButtonHelpClick() const { ShowHelpTopic(HelpContext()); }

void TCVDialog::SetModalResult(int result)
{
    if (result != kModalNone)
        done(result);
}

void TCVDialog::reject() { done(kModalCancel); }

void TCVDialog::showEvent(QShowEvent* event)
{
    setResult(kModalNone);
    TRememberingDialog::showEvent(event);
    FormShow();
}

// ---------------------------------------------------------------------------

TFileNameEdit::TFileNameEdit(TMode mode, QWidget* parent)
    : QWidget(parent), m_mode(mode), m_edit(new QLineEdit(this)), m_button(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    m_button->setText(QStringLiteral("..."));
    connect(m_button, &QToolButton::clicked, this, &TFileNameEdit::Browse);
    m_edit->installEventFilter(this);
    FileMustExist = mode == TMode::ManyFiles || mode == TMode::OneFile;
}

QString TFileNameEdit::Text() const { return m_edit->text(); }

void TFileNameEdit::SetText(const QString& text) { m_edit->setText(text); }

QStringList TFileNameEdit::FileNames() const
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    const QString text = m_edit->text().trimmed();
    QStringList names;
    if (text.startsWith(u'"')) {
        for (auto it = quoted.globalMatch(text); it.hasNext();) {
            const QString name = it.next().captured(1).trimmed();
            if (!name.isEmpty())
                names << name;
        }
    } else if (!text.isEmpty()) {
        names << text;
    }
    return names;
}

void TFileNameEdit::SetFileNames(const QStringList& names)
{
    if (names.size() == 1) {
        m_edit->setText(names.first());
        return;
    }
    QStringList quotedNames;
    for (const QString& name : names)
        quotedNames << u'"' + name + u'"';
    m_edit->setText(quotedNames.join(u' '));
}

void TFileNameEdit::Browse()
{
    const QStringList names = m_chooser ? m_chooser(*this) : ChooseOnScreen();
    if (names.isEmpty())
        return;
    SetFileNames(m_mode == TMode::ManyFiles ? names : names.mid(0, 1));
    m_edit->setFocus(Qt::OtherFocusReason);
    emit dialogExecuted(FileNames());
}

QStringList TFileNameEdit::ChooseOnScreen() const
{
    auto* owner = const_cast<TFileNameEdit*>(this);
    QString start = InitialDir;
    const QStringList current = FileNames();
    if (!current.isEmpty())
        start = current.first();
    switch (m_mode) {
    case TMode::Folder: {
        // A folder that does not exist yet starts the dialog at the nearest one that does.
        QDir dir(start);
        while (!start.isEmpty() && !dir.exists() && dir.cdUp())
            start = dir.absolutePath();
        const QString folder = QFileDialog::getExistingDirectory(owner, Title, start);
        return folder.isEmpty() ? QStringList() : QStringList{folder};
    }
    case TMode::ManyFiles:
        return QFileDialog::getOpenFileNames(owner, Title, start, Filter);
    case TMode::SaveFile:
    case TMode::OneFile: {
        const QString name = m_mode == TMode::OneFile && FileMustExist
                                 ? QFileDialog::getOpenFileName(owner, Title, start, Filter)
                                 : QFileDialog::getSaveFileName(owner, Title, start, Filter, nullptr,
                                                                QFileDialog::DontConfirmOverwrite);
        if (name.isEmpty())
            return {};
        return {QFileInfo(name).suffix().isEmpty() && !DefaultExt.isEmpty() ? name + u'.' + DefaultExt : name};
    }
    }
    return {};
}

bool TFileNameEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn))
        emit clicked();
    if (watched == m_edit && EnterStaysInField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &TRadioGroup::itemClicked);
}

int TRadioGroup::Count() const { return int(m_group->buttons().size()); }

QRadioButton* TRadioGroup::Button(int i) const { return qobject_cast<QRadioButton*>(m_group->button(i)); }

int TRadioGroup::ItemIndex() const { return m_group->checkedId(); }

void TRadioGroup::SetItemIndex(int i)
{
    if (QAbstractButton* button = m_group->button(i)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    if (QAbstractButton* checked = m_group->checkedButton()) {
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
}

} // namespace cv
