#include "crashreport/dialogs/exception_dialog.h"

#include <QApplication>
#include <QPointer>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/dialogs/detailed_dialog.h"
#include "crashreport/dialogs/ms_classic_dialog.h"
#include "crashreport/dialogs/reproduce_dialog.h"
#include "suite/dialogs.h"

namespace cv {

void TExceptionDialogHost::RunOnRaisingThread(const std::function<void()>& procedure) const
{
    if (RunInExceptionThread)
        RunInExceptionThread(procedure);
    else
        procedure();
}

bool TExceptionDialogHost::CustomButtonClosesDialog() const
{
    bool closeDialog = false;
    if (CustomButtonClick)
        RunOnRaisingThread([&] { CustomButtonClick(closeDialog); });
    return closeDialog;
}

const TTextMeasurer& TExceptionDialogHost::TextMeasurer() const
{
    return Measurer ? *Measurer : ScreenTextMeasurer();
}

void ShowErrorMessageBox(const TExceptionDialogHost& host)
{
    TDialogRequest request;
    request.kind = TDialogKind::Error;
    request.caption = QString::fromStdString(host.Options->GetExpandedText(mtDialog_Caption));
    request.text = QString::fromStdString(host.ErrorMessage);
    request.autoCloseSecs = host.Options->AutoCloseDialogSecs();
    ShowDialog(request);
}

void ShowExceptionDialog(bool firstTime, TExceptionDialogHost& host)
{
    if (RunOnGuiThread([&] { ShowExceptionDialog(firstTime, host); }))
        return;
    TExceptionDialogState& state = ExceptionDialogState();
    state.DialogFailed = false;
    const QPointer<QWidget> foreground = QApplication::activeWindow();
    if (firstTime && state.DialogType != edtMessageBox) {
        if (host.Beep)
            host.Beep();
        else
            QApplication::beep();
    }

    // A program without widgets (a console program) shows no dialog: it
    // falls back as a dialog that never appeared.
    const bool widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    bool done = true;
    do {
        state.DialogPainted = false;
        done = true;
        const TExceptionDialogType shown = state.DialogType;
        switch (shown) {
        case edtCrashbox: {
            if (!widgets)
                break;
            TDetailedDialog dialog(host, host.TextMeasurer());
            RunCrashDialog(dialog);
            if (state.DialogType == edtCrashbox)
                state.DialogType = edtNone;
            break;
        }
        case edtMSClassic: {
            if (!widgets)
                break;
            TMSClassicDialog dialog(host, host.TextMeasurer());
            RunCrashDialog(dialog);
            if (state.DialogType == edtMSClassic)
                state.DialogType = edtNone;
            break;
        }
        case edtMessageBox:
            state.DialogType = edtNone;
            state.DialogPainted = true;
            ShowErrorMessageBox(host);
            break;
        default:
            state.DialogPainted = true;
            break;
        }
        if (!state.DialogPainted)
            ShowErrorMessageBox(host);
        if (state.TerminateRequested) {
            ClearInternalWarning();
            host.RunOnRaisingThread([&] {
                if (host.ActionNotify)
                    host.ActionNotify(caTerminating, state.TerminateRequested);
            });
            done = state.TerminateRequested;
            // A handler that vetoes the termination gets the dialog again.
            if (!done && (shown == edtCrashbox || shown == edtMSClassic))
                state.DialogType = shown;
        }
        if (!state.DialogPainted) {
            LogInternalWarning(eeShowError, "Cannot show the DialogBox window.");
            state.DialogType = edtNone;
            state.DialogFailed = true;
        }
    } while (!done);

    state.DialogPainted = false;
    if (foreground)
        foreground->activateWindow();
}

void ShowReproduceDialog(TExceptionDialogHost& host)
{
    if (RunOnGuiThread([&] { ShowReproduceDialog(host); }))
        return;
    TExceptionDialogState& state = ExceptionDialogState();
    const TCrashboxModuleOptions& options = *host.Options;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    if (!options.LogOptions().Contains(loAppendReproduceText) || !host.WindowedApplication || host.DuplicateInLog ||
        (!state.SendChecked && !options.SaveLogFile()) || state.DialogFailed)
        return;
    state.DialogPainted = false;
    {
        TReproduceDialog dialog(*host.Options, host.TextMeasurer());
        RunCrashDialog(dialog);
    }
    state.DialogPainted = false;
}

} // namespace cv
