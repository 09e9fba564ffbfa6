#pragma once
// Putting a report into the log: the duplicate test (an error whose ID the
// log holds already is counted in its entry instead of being added again),
// removing the log when the program's version changed, and the logging
// step with its before, after and failure events.
//
// All of these work on the shared log object of the options' log file
// (internal_errors.h), which is closed again at the end of the logging step.

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

class TLogFile;

// The events the logging step raises, on the thread the caller chooses.
// Action codes: 2 before saving the log, 3 after saving it (and, to the
// error event, a failed save).
struct TLogSavingEvents {
    std::function<void(uint8_t action, bool& execute)> ActionNotify;
    std::function<void(uint8_t action, bool& retry)> ErrorNotify;
};

// The index of the last entry whose error ID (item "2.7") is errorID; -1 when none.
int FindDuplicateError(const TLogFile& log, const std::string& errorID);
// Raises the count (item "2.8", added when the entry does not show it) of
// entry index by one; a count that is not a number counts as 1.
void CountDuplicateError(TLogFile& log, int index);

// With loNoDuplicateErrors: whether the options' log holds the error
// already; with count, that entry's count goes up and the log is saved.
// Without the option, or when the log cannot be read: false.
bool IsDuplicateError(const TCrashboxModuleOptions& options, const std::string& errorID, bool count);

// With loDeleteLogAtVersionChange: removes the log when its last entry was
// written by another version of the program (item "1.3", when not empty).
// True when the log was removed.
bool DeleteLogAtVersionChange(const TCrashboxModuleOptions& options, const std::string& programVersion);

// When the log cannot be kept where the options name it: where, and the
// system's reason, and where it goes instead (the library data folder), or
// that it goes nowhere. Empty when the log can be written where it should.
std::string LogSaveProblem(const TCrashboxModuleOptions& options);

// The logging step: with SaveLogFile, event 2 (a handler may clear
// execute); the report appended (unless it is a duplicate) keeping at most
// ErrorsNumberToSave entries, and the log saved while execute holds; a
// failure is recorded as the internal warning and raises the error event
// with code 3, whose handler may ask for one more try; then the log is
// closed and event 3 raised. A report that could not be kept where the
// options name it, or not at all, is said on standard error (with the
// reason and where it went) and recorded as the internal warning. Returns
// the text to send: the report, or the whole log with sndSendEntireLog.
std::string SaveReportInLog(const TCrashboxModuleOptions& options, const std::string& report, bool duplicate,
                            const TLogSavingEvents& events);

} // namespace cv
