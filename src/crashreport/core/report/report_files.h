#pragma once
// The files a report travels with: a copy of the log, a screenshot, the
// last HTML page of a web program, an XML copy of the log and the user's own
// files; where each is placed, how it is named, which go with a report, and
// the writers of the two generated ones.
//
// The files a report writes lie in a folder of that report's own (the
// report's "temporary folder"): made with mkdtemp, so readable by its user
// alone (mode 0700), under $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp; each
// file in it is created 0600; the folder goes, with all it holds, when the
// report is done. Fixed names in a shared folder would mix the files of two
// programs that crash at once, and show them to other users.
//
// An empty name means that there is no such file (its option is off, or no
// folder could be made for the report).

#include <QDateTime>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

// --- The report's own folder ---

// One report's folder. Made by the constructor, removed with everything in
// it by the destructor. While an object holds it, the process holds a lock
// on the folder (flock), which the system lets go when the process ends,
// however it ends: a folder that nobody locks belongs to a report whose
// process is gone (RemoveAbandonedReportFolders).
class TReportFolder final {
public:
    // A new folder under the first of ReportFolderBases where one can be
    // made; Path() is empty when none could.
    TReportFolder();
    ~TReportFolder();
    TReportFolder(const TReportFolder&) = delete;
    TReportFolder& operator=(const TReportFolder&) = delete;

    // Takes over the folder of another process's report (a reporter
    // process's request lies in it): only a folder that such a constructor
    // made, of this user, mode 0700, not a link; null for anything else.
    static std::unique_ptr<TReportFolder> Adopt(const std::string& path);

    // The folder with its final "/"; empty when none could be made.
    const std::string& Path() const { return m_path; }
    // Another process goes on with the folder: it is not removed here.
    void Release() { m_path.clear(); }

private:
    explicit TReportFolder(std::string path);
    void Lock();
    std::string m_path;
    int m_lock = -1; // the folder, opened and locked
};

// Removes the report folders under `bases` (ReportFolderBases) that a
// process left behind when it ended without removing them (a reporter ended
// by SIGTERM at logout leaves its screenshot): only this user's ("crashbox-"
// and six characters, a folder of mode 0700, not a link), only those that
// no process locks (every process that uses one holds a lock on it), and
// only those unchanged for a minute (a folder handed from a crashed
// process to its reporter is unlocked between the two). The folders removed.
std::vector<std::string> RemoveAbandonedReportFolders(const std::vector<std::string>& bases);

// Where report folders are made, in the order tried: $XDG_RUNTIME_DIR,
// $TMPDIR (each when set), /tmp; each with its final "/".
std::vector<std::string> ReportFolderBases();

// The folder of the report being made in this process: made when first
// asked for, and made anew when it was taken or removed meanwhile; empty
// when none can be made. One at a time: the handler takes one exception at
// a time.
std::string ReportFolder();
// Takes the folder of the report being made away from the process (a send
// thread or a reporter process carries the report on); null when none was
// made. The next ReportFolder makes a new one.
std::unique_ptr<TReportFolder> TakeReportFolder();
// The folder becomes the one of the report being made (a reporter process
// goes on in its request's folder); one that was there goes.
void SetReportFolder(std::unique_ptr<TReportFolder> folder);

// Creates the file empty, readable and writable by its owner alone, for a
// writer that then opens it (truncating keeps the mode); one that was there
// is replaced. False when it cannot be made.
bool CreatePrivateFile(const std::string& fileName);
// The whole file written, created as CreatePrivateFile does.
bool WritePrivateFile(const std::string& fileName, std::string_view bytes);

// --- The files ---

// What the handler knows of the report being sent.
struct TReportFileState {
    bool ScreenshotChecked = false;    // the screenshot box of this report is checked
    bool LastHTMLPageCaptured = false; // a page was captured for this report
    QDateTime ExceptionTime;
    std::string ComputerName;
    std::string Password;   // the one last supplied through the password-request event
    std::string ReportText; // the current report
    // The report's folder; empty: the one of the report being made
    // (ReportFolder). A send thread names the folder it took.
    std::string Folder;
};

// The report archive's name.
inline constexpr const char* kReportZipName = "BugReport.zip";

// The names (in the report's folder, ReportFolder, unless one is given).
std::string ScreenshotFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});
std::string LogCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder = {});
std::string ZipFileName(const std::string& tempFolder = {});
// The per-process file of the running module's extra debug data: process id
// (8 upper-case hexadecimal digits) and module handle (16) + ".bin"; in the
// shared temporary folder (GetTempFolder) unless one is given, as it lives
// as long as the process. So is the last HTML page, which a CGI program
// keeps after the report (it is written 0600 all the same).
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
// The whole text of an existing regular file; empty for an empty name, a
// missing file or one that is no regular file (never waiting on a pipe).
std::string ReadTextFile(const std::string& fileName);

// The files that go with a report: the options' AttachedFiles (split at
// ";"), the log copy (unless leaveOutLog while logs are appended), the
// screenshot, the last HTML page and the XML copy as their conditions hold,
// every name with its variables expanded.
void AttachmentList(const TCrashboxModuleOptions& options, const TReportFileState& state, std::vector<std::string>& list,
                    bool leaveOutLog, const std::string& tempFolder = {});

} // namespace cv
