#pragma once
// What the exception handler and the crash-report dialogs share while one
// exception is handled: the dialog kind to show next, the choices the user
// left in the dialog (send, screenshot, copy, cancel, terminate), and
// whether a dialog could be shown at all. Exceptions are handled one at a
// time, so there is one such state in the process; the handler sets the
// starting values before the first dialog and acts on them afterwards.
//
// The dialogs themselves (Qt widgets) live in crashreport/dialogs; this
// part holds only the data, so the handler and the sending, which never
// link Widgets, can read and set it.

#include <QRect>

#include <string>
#include <string_view>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

struct TExceptionDialogState {
    // The kind to show now; a dialog sets it to edtNone when it ends, or to
    // another kind to switch (the handler shows dialogs while it is not edtNone).
    TExceptionDialogType DialogType = edtNone;
    bool SendChecked = false;        // send the report
    bool ScreenshotChecked = false;  // attach the screenshot
    bool CopyChecked = false;        // copy the report text to the clipboard
    bool DialogCancelled = false;    // left with Cancel, Esc or the close box
    bool TerminateRequested = false; // terminate or restart after the handling
    bool DialogShownAgain = false;   // every dialog call after the first of an exception
    bool DialogFailed = false;       // no dialog could be shown for this exception
    std::string UserEmail;           // typed into the classic dialog
    bool SendOptionShown = false;    // the dialog offers sending
    // Set when a dialog was painted for the first time: it really appeared.
    bool DialogPainted = false;
    // The work area of the monitor of the foreground window, remembered by
    // the handler before any dialog opens; dialogs are centred on it.
    QRect DialogWorkArea;
};

// The process's one state.
TExceptionDialogState& ExceptionDialogState();

// A send method is chosen (by e-mail or by web).
bool SendMethodConfigured(const TCrashboxModuleOptions& options);
// Whether a dialog offers sending: a method is chosen, the error is not a
// duplicate already in the log, and the option to show the choice is set.
bool ComputeSendOptionShown(const TCrashboxModuleOptions& options, bool duplicateInLog);

// The report text with the value of its general-information item `number`
// ("3.3") replaced: after "\r\n  <number> " the next ": " starts the value,
// which runs to the next CR LF (or the end). A text without the item is
// given back unchanged.
std::string ReplaceReportItemValue(std::string_view text, std::string_view number, std::string_view value);

// An e-mail address as the classic dialog accepts it: it holds "@" and ".".
bool LooksLikeEmailAddress(std::string_view address);

} // namespace cv
