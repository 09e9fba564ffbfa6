#pragma once
// The tool's own link to crash reporting: at start the crash reports go to
// the program's folder, and three handlers copy every crash event into the
// tool's log (suite/logging.h) while logging is on.
//
// The folder is handed to the options of each crash again, so a crash
// never leaves the report log without a folder.

#include <cstdint>
#include <string>

#include "crashreport/core/options/crashbox_records.h"

namespace cv {

// Start-up (once, counted): the program's folder (of programFile, or of the
// running program when empty) becomes the output folder of the crash-report
// options, and the three handlers are put in the event cells. Crash
// reporting must be switched on first (ActivateCrashbox).
void InitExceptionHandlingUnit(const std::string& programFile = {});
// Shut-down (by the same count): a closing line in the log; the folder is forgotten.
void DoneExceptionHandlingUnit();
// The folder handed to each crash's options ("" before start-up).
std::string ExceptionHandlingOutputPath();

// A crash is being handled: its options get the folder; "Corvantis Error
// noticed" and the folder go into the log. Handled becomes true.
void OnCrashNoticed(TCrashboxExceptionRecord& record, bool& handled);
// The next action of the handling goes into the log. Execute becomes true.
// After showing, saving or sending by e-mail, Execute comes in as the
// step's result: a step that failed or was skipped is logged as "Not
// shown", "Not saved" or "Email not sent", never as done.
void OnCrashAction(TCrashboxExceptionRecord& record, uint8_t action, bool& execute);
// A failed action goes into the log. Retry stays as it is.
void OnCrashActionFailed(TCrashboxExceptionRecord& record, uint8_t action, bool& retry);

} // namespace cv
