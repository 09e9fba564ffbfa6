#pragma once
// The send-progress dialog: a status line and a progress bar while a report
// goes by SMTP or by web upload, with the letter picture at its left. It
// has no buttons and ignores the user: its text and its bar come only from
// the send (send_context.h), which starts it before each step and ends it
// when the step is done.
//
// Widgets live on the GUI thread. A send on another thread (the handler's
// exception thread, or a send thread) has the dialog made there through a
// queued call and talks to it through queued calls; the send waits until
// the dialog is up (or gives up after kSendDialogStartLimitMs). A send on
// the GUI thread itself gets the dialog modeless and serves its events
// whenever the send pumps.
//
// Placement: a modal dialog (the send waits for the step) is centred on the
// work area of the exception and kept in front of the program's windows;
// a modeless one keeps the small caption and sits at the bottom-right
// corner of that work area.

#include <QString>

#include <cstdint>

#include "crashreport/dialogs/dialog_toolkit.h"

class QLabel;
class QProgressBar;

namespace cv {

class TSendDialog final : public TCrashDialog {
public:
    TSendDialog(const TCrashboxModuleOptions& options, bool modal, const TTextMeasurer& measurer,
                QWidget* parent = nullptr);
    ~TSendDialog() override;

    bool Modal() const { return m_modal; }
    QLabel* StatusLabel() const { return m_status; }     // control 100
    QProgressBar* ProgressBar() const { return m_bar; }  // control 101
    // The dialog's size in outer pixels before the caption is set up (its template).
    static QSize TemplateOuterSize();

    void SetStatus(const QString& text);
    void SetPosition(int percent);
    // Ends the dialog (the send's close; the user cannot).
    void End();

    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_modal;
    bool m_ending = false;
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
};

// Shows the dialog for the send in progress (its options are the report
// being sent's) and binds it to the send under the start's ticket. On the
// GUI thread only. senderHere: the send runs on this thread (the dialog is
// then served by the send's pumping, and destroyed by it between messages).
void ShowSendDialog(bool modal, uint64_t ticket, bool senderHere);
// The dialog up now, or null (GUI thread).
TSendDialog* CurrentSendDialog();
// Makes the dialog the send layer's: StartSendDialog then shows it on the
// GUI thread (a program without widgets gets none). Uninstalling ends a
// dialog still up.
void InstallSendDialog();
void UninstallSendDialog();

} // namespace cv
