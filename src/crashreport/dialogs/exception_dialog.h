#pragma once
// Telling the user about an exception: ShowExceptionDialog shows the kind
// of dialog the handler chose (the message box, the classic dialog or the
// detailed one), falls back to the message box when a dialog never
// appeared, and asks the program's handlers before it lets a termination
// chosen in the dialog stand. The dialogs only set the shared state
// (dialog_state.h); the handler acts on it afterwards.
//
// What the dialogs need of the exception being handled comes in one
// TExceptionDialogHost, which the handler fills: its options, message and
// count, the report texts, the lists the detailed dialog's pages show, and
// the events. The events are reached through the functions given here, so
// the dialogs do not depend on how the handler dispatches them; a missing
// function means no receiver (the flags stay as they were).
//
// Dialogs are widgets: ShowExceptionDialog and ShowReproduceDialog run on
// the GUI thread. Called from another thread, they run there through a
// blocking queued call (the GUI thread must be serving its events).

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"

namespace cv {

class TTextMeasurer;

// The pieces of the report the dialogs show or change.
struct TExceptionReportTexts {
    std::string General;    // the general information
    std::string Assembler;  // the assembler listing
    std::string CPU;        // the registers and the stack
    std::string Report;     // the finished report
    std::string ReportCopy; // its second copy (for the XML copy)
    std::string SendText;   // the report that is sent
};

struct TExceptionDialogHost {
    TCrashboxModuleOptions* Options = nullptr; // the options of this exception
    std::string ErrorMessage;                  // the message the dialogs show
    int32_t ExceptionCount = 1;                // exceptions reported so far, this one included
    bool DuplicateInLog = false;               // the same error is already in the log
    bool WindowedApplication = true;           // not a console or web program
    TExceptionReportTexts Texts;

    // What the detailed dialog's pages list.
    const TCrashboxStackList* CallStack = nullptr;
    TCrashboxModulesList* Modules = nullptr;
    TCrashboxProcessesList* Processes = nullptr;
    TCrashboxThreadsList* Threads = nullptr;
    uint32_t MainThreadID = 0;
    // The compilation time of the debug data of the module holding an
    // address (invalid when not known).
    std::function<QDateTime(uintptr_t address)> ModuleCompilationDate;

    // The events (action codes of crashbox_events.h), run on the raising thread.
    std::function<void(uint8_t action, bool& execute)> ActionNotify;
    std::function<void(bool& closeDialog)> CustomButtonClick;
    // Runs a procedure on the raising thread (directly when unset).
    std::function<void(const std::function<void()>& procedure)> RunInExceptionThread;
    // The error sound (QApplication::beep when unset).
    std::function<void()> Beep;

    // The measurer of the layouts (the screen's when unset).
    const TTextMeasurer* Measurer = nullptr;

    void RunOnRaisingThread(const std::function<void()>& procedure) const;
    // Runs the custom-button events on the raising thread: whether they ask
    // the dialog to close.
    bool CustomButtonClosesDialog() const;
    const TTextMeasurer& TextMeasurer() const;
};

// Shows the dialogs for one exception, as long as a dialog asks for
// another kind only the first (FirstTime: the first call for this
// exception; it beeps unless the kind is the message box).
void ShowExceptionDialog(bool firstTime, TExceptionDialogHost& host);

// The plain message box: the error message under mtDialog_Caption.
void ShowErrorMessageBox(const TExceptionDialogHost& host);

// Asks how to reproduce the error, when the options want the text and the
// report is sent or logged; stores the trimmed answer as ReproduceText.
void ShowReproduceDialog(TExceptionDialogHost& host);

} // namespace cv
