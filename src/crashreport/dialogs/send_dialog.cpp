#include "crashreport/dialogs/send_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QThread>

#include <algorithm>
#include <memory>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/dialogs/dialog_pictures.h"
#include "crashreport/send/context/send_context.h"

namespace cv {

namespace {

constexpr QSize kTemplateUnits(174, 34);

// The dialog up now and the ticket of the start it belongs to. Touched on
// the GUI thread only: the queued calls of a send on another thread reach
// it there.
struct TSendDialogSlot {
    // The dialog's own copy of the report's options: a queued close may
    // come after the send let go of its options.
    std::unique_ptr<TCrashboxModuleOptions> options;
    std::unique_ptr<TSendDialog> dialog;
    uint64_t ticket = 0;
};

TSendDialogSlot& Slot()
{
    static TSendDialogSlot slot;
    return slot;
}

// The dialog of that start, when it is still up.
TSendDialog* DialogOf(uint64_t ticket)
{
    TSendDialogSlot& slot = Slot();
    return slot.dialog && slot.ticket == ticket ? slot.dialog.get() : nullptr;
}

void EndDialogOf(uint64_t ticket)
{
    TSendDialogSlot& slot = Slot();
    if (!DialogOf(ticket))
        return;
    std::unique_ptr<TSendDialog> dialog = std::move(slot.dialog);
    slot.ticket = 0;
    dialog->End();
    ExceptionDialogState().DialogPainted = false;
}

bool OnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs the procedure on the GUI thread, after what was queued before it.
void Queue(std::function<void()> procedure)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(procedure), Qt::QueuedConnection);
}

TSendDialogServices ServicesFor(uint64_t ticket, bool senderHere)
{
    TSendDialogServices services;
    if (senderHere) {
        services.SetText = [ticket](const std::string& text) {
            if (TSendDialog* dialog = DialogOf(ticket))
                dialog->SetStatus(QString::fromStdString(text));
        };
        services.SetPosition = [ticket](int percent) {
            if (TSendDialog* dialog = DialogOf(ticket))
                dialog->SetPosition(percent);
        };
        services.Close = [ticket] { EndDialogOf(ticket); };
        services.Pump = [] { QCoreApplication::processEvents(); };
        services.DestroyModeless = [ticket] { EndDialogOf(ticket); };
        return services;
    }
    services.SetText = [ticket](const std::string& text) {
        Queue([ticket, text] {
            if (TSendDialog* dialog = DialogOf(ticket))
                dialog->SetStatus(QString::fromStdString(text));
        });
    };
    services.SetPosition = [ticket](int percent) {
        Queue([ticket, percent] {
            if (TSendDialog* dialog = DialogOf(ticket))
                dialog->SetPosition(percent);
        });
    };
    services.Close = [ticket] { Queue([ticket] { EndDialogOf(ticket); }); };
    return services;
}

// The width of the longest status line: the recipients' prefix and each state's text.
int WidestStatusWidth(const TCrashboxModuleOptions& options, const TTextMeasurer& measurer, const QFont& font)
{
    const QString prefix = PlainCaption(options.GetExpandedText(mtSendDialog_Message)) + QStringLiteral(" 9/9: ");
    int widest = 0;
    for (const TMessageType type :
         {mtSendDialog_Resolving, mtSendDialog_Login, mtSendDialog_Connecting, mtSendDialog_Connected,
          mtSendDialog_Sending, mtSendDialog_Sent, mtSendDialog_SelectProject, mtSendDialog_Searching,
          mtSendDialog_Modifying, mtSendDialog_Disconnecting, mtSendDialog_Disconnected})
        widest = std::max(widest, GetTextWidth(measurer, font, prefix + QString::fromStdString(options.GetExpandedText(type))));
    return widest;
}

} // namespace

QSize TSendDialog::TemplateOuterSize()
{
    const TDialogMetrics& m = DialogMetrics();
    return DialogUnitsToPixels(kTemplateUnits.width(), kTemplateUnits.height()) +
           QSize(2 * m.DialogFrameX(), 2 * m.DialogFrameY() + m.CySmCaption);
}

TSendDialog::TSendDialog(const TCrashboxModuleOptions& options, bool modal, const TTextMeasurer& measurer,
                         QWidget* parent)
    : TCrashDialog(options, measurer, kTemplateUnits, parent), m_modal(modal)
{
    // A modeless dialog keeps the small caption of a tool window.
    SetupDialogWindow(!modal, false, PlainCaption(options.GetExpandedText(mtSendDialog_Caption)));

    const QSize labelAt = DialogUnitsToPixels(31, 6);
    const QSize barAt = DialogUnitsToPixels(31, 16);
    QSize size = DialogUnitsToPixels(136, 10);
    // The status line holds its longest text whole: the dialog widens when
    // the screen's font (or a translation) needs more room.
    const int widest = WidestStatusWidth(options, measurer, Fonts().Message);
    if (widest > size.width()) {
        const QSize outer = OuterSize();
        SetOuterSize(QSize(outer.width() + widest - size.width(), outer.height()));
        size.setWidth(widest);
    }
    m_status = new QLabel(QStringLiteral("..."), Client());
    m_status->setFont(Fonts().Message);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setGeometry(QRect(QPoint(labelAt.width(), labelAt.height()), size));
    m_bar = new QProgressBar(Client());
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setGeometry(QRect(QPoint(barAt.width(), barAt.height()), size));

    auto* area = static_cast<TDialogClient*>(Client());
    area->OnPaint = [](QPainter& painter) { painter.drawImage(QRect(8, 8, 32, 32), SendPicture()); };

    const QRect workArea = DialogWorkArea();
    if (modal) {
        CenterWindowInRect(workArea);
        StartKeepForeground();
    } else {
        const QSize outer = OuterSize();
        move(workArea.x() + workArea.width() - outer.width(), workArea.y() + workArea.height() - outer.height());
    }
}

TSendDialog::~TSendDialog() { StopKeepForeground(); }

void TSendDialog::SetStatus(const QString& text) { m_status->setText(text); }

void TSendDialog::SetPosition(int percent) { m_bar->setValue(std::clamp(percent, 0, 100)); }

void TSendDialog::End()
{
    m_ending = true;
    StopKeepForeground();
    close();
}

void TSendDialog::closeEvent(QCloseEvent* event)
{
    // Only the send ends the dialog.
    if (m_ending)
        TCrashDialog::closeEvent(event);
    else
        event->ignore();
}

void ShowSendDialog(bool modal, uint64_t ticket, bool senderHere)
{
    TSendDialogSlot& slot = Slot();
    slot.dialog.reset();
    slot.ticket = 0;
    TExceptionDialogState& state = ExceptionDialogState();
    state.DialogPainted = false;
    slot.options = PrivateOptionsCopy(ReportOptions());
    slot.dialog = std::make_unique<TSendDialog>(*slot.options, modal, ScreenTextMeasurer());
    slot.dialog->show();
    slot.ticket = ticket;
    // A start the send gave up meanwhile gets no dialog.
    if (!BindSendDialogServices(ticket, ServicesFor(ticket, senderHere))) {
        slot.dialog.reset();
        slot.ticket = 0;
        return;
    }
    // Painted, the dialog lets a GUI thread that waits for the exception's
    // handling serve its events, and so the send's updates.
    if (!senderHere)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TSendDialog* CurrentSendDialog() { return Slot().dialog.get(); }

void InstallSendDialog()
{
    SetSendDialogStarter([](bool modal, uint64_t ticket) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return false;
        if (OnGuiThread()) {
            ShowSendDialog(modal, ticket, true);
            return CurrentSendDialog() != nullptr;
        }
        // A GUI thread waiting for the exception's handling runs what the
        // handler posts to it, not its queued calls.
        if (MainThreadServesPosted())
            RunInExceptionThread([modal, ticket] { ShowSendDialog(modal, ticket, false); });
        else
            Queue([modal, ticket] { ShowSendDialog(modal, ticket, false); });
        return true;
    });
}

void UninstallSendDialog()
{
    SetSendDialogStarter({});
    SetSendDialogServices({});
    if (OnGuiThread()) {
        Slot().dialog.reset();
        Slot().ticket = 0;
    }
}

} // namespace cv
