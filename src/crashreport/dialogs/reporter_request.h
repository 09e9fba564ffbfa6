#pragma once
// A report handed to a reporter process. After a fatal signal on the GUI
// thread no dialog can be shown in the crashed process (its GUI thread waits
// inside the signal handler), so the handler writes what the dialog and the
// sending need into a request file and starts the program again as the
// reporter of that request ("--crashbox-reporter FILE"); the reporter shows
// the dialog and sends, the crashed process ends as it would have.
//
// The file's layout: docs/crashbox-reporter-request.md.

#include <sys/types.h>

#include <QDateTime>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

inline constexpr const char* kReporterArgument = "--crashbox-reporter";
inline constexpr uint16_t kReporterRequestVersion = 1;

struct TReporterRequest {
    // The options of the exception (with their module's name).
    std::unique_ptr<TCrashboxModuleOptions> Options;
    // The dialog's starting state.
    TExceptionDialogType DialogType = edtNone;
    bool SendChecked = false;
    bool ScreenshotChecked = false;
    bool CopyChecked = false;
    bool DuplicateInLog = false;
    int32_t ExceptionCount = 1;
    // What the dialogs show, and the report.
    std::string ErrorMessage;
    std::string General, Assembler, CPU;
    std::string Report, ReportCopy;
    // The text to send (the report, or the whole log).
    std::string SendText;
    // What the report's files and a bug tracker need.
    std::string ExceptionClass, ExceptionMessage, ExceptionID, AppVersion;
    QDateTime ExceptionTime;
    std::string ComputerName;
    std::string Password;
    // The program's own log while it was on (the reporter writes its
    // crash-event lines there too); empty when it was off.
    std::string LogFile;
    // The screenshot taken in the crashed process (PNG bytes; empty: none).
    std::string Screenshot;
    // The crashed program's arguments (its file first), for a restart.
    std::vector<std::string> Arguments;
};

// Writes the request (through a temporary file and a rename), readable and
// writable by its user alone; false with the reason when it could not be
// written.
bool SaveReporterRequest(const std::string& fileName, const TReporterRequest& request, std::string* error = nullptr);
// Reads a request; false with the reason for a file that is missing, of
// another kind or version, or damaged (nothing is taken from it then).
bool LoadReporterRequest(const std::string& fileName, TReporterRequest& request, std::string* error = nullptr);

// A request the reporter could not use is removed, when it is one of ours:
// a regular file of this user whose name ends in ".request" (anything else
// named on a command line is left alone). False when nothing was removed.
bool RemoveRefusedRequest(const std::string& fileName);
// A fresh name for a request of this process in the report's folder
// (ReportFolder); empty when the report has none.
std::string ReporterRequestFileName();
// The request named on a command line after kReporterArgument; empty when none.
std::string ReporterRequestArgument(int argc, const char* const* argv);
// The environment variable that holds the report's text while it is handled.
inline constexpr const char* kReportVariable = "_BugReport";

// Starts this program again as the reporter of the request: signals
// unblocked and at their default actions, no inherited file descriptor but
// the three standard ones, a session of its own (it outlives the crashed
// process), this environment without the report's text (the reporter takes
// it from the request). Does not wait. 0 when it could not be started
// (error: the system's error number).
pid_t StartReporterProcess(const std::string& requestFile, int* error = nullptr);
// Writes the request under a fresh name and starts its reporter, which
// then owns the report's folder (it is no longer this process's report
// folder); false when either failed: the report's folder is removed then,
// with all in it, and reason says what failed.
bool HandOverToReporter(const TReporterRequest& request, std::string* reason = nullptr);

} // namespace cv
