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
#include <optional>
#include <string>
#include <vector>

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

// Where a log goes when it cannot be kept where the options name it: a
// folder of the program in the library data folder
// ("$XDG_DATA_HOME/Crashbox/PROGRAM/"), under the log's own file name.
std::string FallbackLogFileName(const std::string& wanted);

// When the log cannot be kept where the options name it: where, and the
// system's reason, and where it goes instead (the library data folder), or
// that it goes nowhere. Empty when the log can be written where it should.
std::string LogSaveProblem(const TCrashboxModuleOptions& options);

// A report's entry as a log holds it: the log file (the options' log, or
// the fallback place) and the entry's text as stored. Problem: when the
// entry is not where the options name the log, why, and where it is
// instead (the words the logging step says).
struct TStoredEntry {
    std::string LogFile;
    std::string Entry;
    std::string Problem;
    // Where the entry starts in its file, when known: the report's final
    // entry is then written in its place without reading the log whole.
    std::optional<uint64_t> Offset;
    bool Stored() const { return !LogFile.empty(); }
};

// Stores the report in the log at once, before anything that might not come
// back (a dialog the user leaves open, a second fault that ends the
// process): no events, nothing said, no older entry dropped (the logging
// step keeps the limit), the fallback place when the options' log cannot
// take it. Not stored (nothing written) when SaveLogFile is off or no place
// takes it. The logging step then puts the final report in its place
// (SaveReportInLog with the entry).
TStoredEntry StoreReportEarly(const TCrashboxModuleOptions& options, const std::string& report);
// Puts report in the place of the stored entry (found anew in its log; added
// at the end when it is gone) and saves that log; false when it could not be.
bool ReplaceStoredEntry(TStoredEntry& entry, const std::string& report);
// The report with its item "2.10" (the note, under the label caption)
// holding the notes, one a line, after what the item held; the report as
// it is when it has no section 2.
std::string ReportWithNotes(const std::string& report, const std::vector<std::string>& notes, const std::string& caption);

// The logging step: with SaveLogFile, event 2 (a handler may clear
// execute); the report appended (unless it is a duplicate) keeping at most
// ErrorsNumberToSave entries, and the log saved while execute holds; a
// failure is recorded as the internal warning and raises the error event
// with code 3, whose handler may ask for one more try; then the log is
// closed and event 3 raised. A report that cannot be saved where the
// options name the log (the place cannot be written, or the save fails: a
// full disk) goes to the fallback place (FallbackLogFileName); a failed save
// leaves the earlier log as it was. What was not kept where the options
// say, or not at all, is said on standard error (with the reason and where
// it went) and recorded as the internal warning. With an entry stored
// early, the report takes that entry's place in its log (a skipped save
// removes it). Returns the text to send: the report, or the whole log with
// sndSendEntireLog.
std::string SaveReportInLog(const TCrashboxModuleOptions& options, const std::string& report, bool duplicate,
                            const TLogSavingEvents& events, TStoredEntry* early = nullptr);

} // namespace cv
