#pragma once
// The files a report travels with, all in the temporary folder: a copy of
// the log, a screenshot, the last HTML page of a web program, an XML copy of
// the log and the user's own files; where each is placed, how it is named,
// which go with a report, and the writers of the two generated ones.
//
// An empty name means that there is no such file (its option is off).

#include <QDateTime>

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/core/crashbox_options.h"

namespace cv {

// What the handler knows of the report being sent.
struct TReportFileState {
    bool ScreenshotChecked = false;    // the screenshot box of this report is checked
    bool LastHTMLPageCaptured = false; // a page was captured for this report
    QDateTime ExceptionTime;
    std::string ComputerName;
    std::string Password;   // the one last supplied through the password-request event
    std::string ReportText; // the current report
};

// The names (the temporary folder is GetTempFolder unless one is given).
std::string ScreenshotFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});
std::string LogCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});
std::string ZipFileName(const std::string& tempFolder = {});
// The per-process file of the running module's extra debug data: process id
// (8 upper-case hexadecimal digits) and module handle (16) + ".bin".
std::string ProcessDataFileName(uintptr_t moduleHandle, const std::string& tempFolder = {});
std::string LastHTMLPageFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});
std::string XMLCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});

// The name a file is attached under: its name without folder, with
// "__" + computer name and then "__" + the exception time (yyyymmddhhnnss)
// put before its extension when the options ask for them.
std::string AttachmentName(const TCrashboxModuleOptions& options, const std::string& fileName, const TReportFileState& state);

// Writes the page (when the option is on); failures are ignored.
void SaveLastHTMLPage(const TCrashboxModuleOptions& options, const std::string& text, const std::string& tempFolder = {});
// Writes the XML copy (when the option is on) of the log copy, or of the
// current report alone when there is no log copy. False when it could not be written.
bool SaveXMLCopy(const TCrashboxModuleOptions& options, const TReportFileState& state, const std::string& tempFolder = {});
// The whole text of an existing file; empty for an empty name or a missing file.
std::string ReadTextFile(const std::string& fileName);

// The files that go with a report: the options' AttachedFiles (split at
// ";"), the log copy (unless leaveOutLog while logs are appended), the
// screenshot, the last HTML page and the XML copy as their conditions hold,
// every name with its variables expanded.
void AttachmentList(const TCrashboxModuleOptions& options, const TReportFileState& state, std::vector<std::string>& list,
                    bool leaveOutLog, const std::string& tempFolder = {});

} // namespace cv
