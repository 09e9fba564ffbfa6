#include "crashreport/core/report/report_files.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/crashbox_texts.h"
#include "crashreport/core/support/report_helpers.h"
#include "suite/private_files.h"

namespace cv {

namespace {

// The names of the folders made for reports ("crashbox-" and six characters of mkdtemp's).
constexpr std::string_view kReportFolderPrefix = "crashbox-";
// How long a folder nobody locks stays untouched before it counts as left
// behind (seconds): a crashed process's folder is unlocked from its end
// until its reporter takes it over.
constexpr time_t kAbandonedAfterSeconds = 60;

// The folder of the report being made in this process.
struct TCurrentReportFolder {
    std::mutex lock;
    std::unique_ptr<TReportFolder> folder;
};

TCurrentReportFolder& Current()
{
    static TCurrentReportFolder current;
    return current;
}

bool IsPrivateFolderOfOurs(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 07777) == 0700;
}

std::string Folder(const std::string& tempFolder)
{
    return tempFolder.empty() ? ReportFolder() : IncludeTrailingBackslashA(tempFolder);
}

// A file of the report's folder; empty when the report has no folder.
std::string InFolder(const std::string& tempFolder, std::string_view name)
{
    const std::string folder = Folder(tempFolder);
    return folder.empty() ? std::string() : folder + std::string(name);
}

// Puts text between a file name and its extension (at its end when it has none).
std::string BeforeExtension(const std::string& name, const std::string& text)
{
    const std::string ext = ExtractFileExt(name);
    return name.substr(0, name.size() - ext.size()) + text + ext;
}

} // namespace

// --- The report's own folder ---

TReportFolder::TReportFolder()
{
    for (const std::string& base : ReportFolderBases()) {
        std::string name = base + std::string(kReportFolderPrefix) + "XXXXXX";
        if (::mkdtemp(name.data())) {
            m_path = name + "/";
            Lock();
            return;
        }
    }
}

TReportFolder::TReportFolder(std::string path) : m_path(std::move(path)) { Lock(); }

// A shared lock: a report's files may be written by two objects of one
// process (a send thread and the handler), never taken from under them.
// A process without a descriptor to spare holds none: its folder can only
// be taken for abandoned once it is a minute old and the process is gone.
void TReportFolder::Lock()
{
    m_lock = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_lock >= 0 && ::flock(m_lock, LOCK_SH | LOCK_NB) != 0) {
        ::close(m_lock);
        m_lock = -1;
    }
}

TReportFolder::~TReportFolder()
{
    if (!m_path.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
        // Reading the folder takes a descriptor, which a process may no longer
        // have: an empty folder goes without one.
        if (error)
            ::rmdir(m_path.c_str());
    }
    if (m_lock >= 0)
        ::close(m_lock);
}

std::vector<std::string> RemoveAbandonedReportFolders(const std::vector<std::string>& bases)
{
    std::vector<std::string> removed;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    for (const std::string& base : bases) {
        DIR* folder = ::opendir(base.c_str());
        if (!folder)
            continue;
        std::vector<std::string> candidates;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name.size() == kReportFolderPrefix.size() + 6 && name.starts_with(kReportFolderPrefix))
                candidates.emplace_back(IncludeTrailingBackslashA(base) + std::string(name));
        }
        ::closedir(folder);
        for (const std::string& path : candidates) {
            struct stat info {};
            if (!IsPrivateFolderOfOurs(path) || ::lstat(path.c_str(), &info) != 0
                || now.tv_sec - info.st_mtime < kAbandonedAfterSeconds)
                continue;
            const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            // Nobody holds it: its process has ended. Removed while held, so
            // that no process takes it over meanwhile.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                std::error_code error;
                std::filesystem::remove_all(path, error);
                if (!error)
                    removed.push_back(path);
            }
            ::close(fd);
        }
    }
    return removed;
}

std::unique_ptr<TReportFolder> TReportFolder::Adopt(const std::string& path)
{
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string name = ExtractFileName(folder);
    if (!name.starts_with(kReportFolderPrefix) || !IsPrivateFolderOfOurs(folder))
        return nullptr;
    return std::unique_ptr<TReportFolder>(new TReportFolder(folder + "/"));
}

std::vector<std::string> ReportFolderBases()
{
    std::vector<std::string> bases;
    // The session's runtime folder only when it is this user's (su keeps
    // another user's in the variable), as the suite's own folder does.
    if (const QString runtime = UsersRuntimeFolder(); !runtime.isEmpty())
        bases.push_back(IncludeTrailingBackslashA(runtime.toStdString()));
    if (const char* value = std::getenv("TMPDIR"); value && *value)
        bases.push_back(IncludeTrailingBackslashA(value));
    bases.push_back("/tmp/");
    return bases;
}

std::string ReportFolder()
{
    TCurrentReportFolder& current = Current();
    std::lock_guard guard(current.lock);
    // A folder removed from under the report (a cleaner of old files) is made anew.
    if (!current.folder || current.folder->Path().empty() || !IsPrivateFolderOfOurs(current.folder->Path()))
        current.folder = std::make_unique<TReportFolder>();
    return current.folder->Path();
}

std::unique_ptr<TReportFolder> TakeReportFolder()
{
    TCurrentReportFolder& current = Current();
    std::lock_guard guard(current.lock);
    return std::move(current.folder);
}

void SetReportFolder(std::unique_ptr<TReportFolder> folder)
{
    TCurrentReportFolder& current = Current();
    std::unique_ptr<TReportFolder> previous;
    std::lock_guard guard(current.lock);
    // The same folder twice (a reporter run inside the process that made the
    // request): the one already there stays, and is removed once.
    if (folder && current.folder && folder->Path() == current.folder->Path()) {
        folder->Release();
        return;
    }
    previous = std::move(current.folder);
    current.folder = std::move(folder);
}

bool CreatePrivateFile(const std::string& fileName)
{
    if (fileName.empty())
        return false;
    // A new file of its own: whatever had the name (a link, a pipe) is not opened.
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT)
        return false;
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, 0600) == 0; // whatever the umask
    return ::close(fd) == 0 && ok;
}

bool WritePrivateFile(const std::string& fileName, std::string_view bytes)
{
    if (!CreatePrivateFile(fileName))
        return false;
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += std::size_t(n);
    }
    return ::close(fd) == 0 && ok;
}

// --- The files ---

std::string ScreenshotFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return options.CommonSendOptions().Contains(sndSendScreenshot) ? InFolder(tempFolder, "Screenshot.png") : std::string();
}

std::string LogCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return InFolder(tempFolder, ExtractFileName(ExpandVariables(options.OutputLogFile(""))));
}

std::string ZipFileName(const std::string& tempFolder) { return InFolder(tempFolder, kReportZipName); }

std::string ProcessDataFileName(uintptr_t moduleHandle, const std::string& tempFolder)
{
    char name[64];
    std::snprintf(name, sizeof name, "%08X%016llX.bin", unsigned(::getpid()), static_cast<unsigned long long>(moduleHandle));
    return (tempFolder.empty() ? GetTempFolder() : IncludeTrailingBackslashA(tempFolder)) + name;
}

std::string LastHTMLPageFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    if (!options.CommonSendOptions().Contains(sndSendLastHTMLPage))
        return {};
    // A CGI program keeps the page after the report: it is no file of the report's folder.
    return (tempFolder.empty() ? GetTempFolder() : IncludeTrailingBackslashA(tempFolder)) + "LastHTMLPage.html";
}

std::string XMLCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    const std::string logCopy = options.CommonSendOptions().Contains(sndSendXMLLogCopy) ? LogCopyFileName(options, tempFolder)
                                                                                         : std::string();
    return logCopy.empty() ? logCopy : ChangeFileExt(logCopy, ".xml");
}

std::string AttachmentName(const TCrashboxModuleOptions& options, const std::string& fileName, const TReportFileState& state)
{
    std::string name = ExtractFileName(fileName);
    if (options.CommonSendOptions().Contains(sndAddComputerNameInFileName))
        name = BeforeExtension(name, "__" + state.ComputerName);
    if (options.CommonSendOptions().Contains(sndAddDateInFileName))
        name = BeforeExtension(name, "__" + state.ExceptionTime.toString("yyyyMMddHHmmss").toStdString());
    return name;
}

void SaveLastHTMLPage(const TCrashboxModuleOptions& options, const std::string& text, const std::string& tempFolder)
{
    const std::string name = LastHTMLPageFileName(options, tempFolder);
    if (!name.empty())
        WritePrivateFile(name, text);
}

bool SaveXMLCopy(const TCrashboxModuleOptions& options, const TReportFileState& state, const std::string& tempFolder)
{
    const std::string folder = tempFolder.empty() ? state.Folder : tempFolder;
    const std::string name = XMLCopyFileName(options, folder);
    if (name.empty())
        return true;
    try {
        const std::string logCopy = LogCopyFileName(options, folder);
        // Without a log copy on disk the copy is of the current report alone.
        const bool fromLog = !logCopy.empty() && QFile::exists(QString::fromStdString(logCopy));
        TLogFile log(fromLog ? logCopy : std::string(), true);
        if (!fromLog)
            log.Append(state.ReportText, 1);
        log.SetPassword(state.Password);
        if (!CreatePrivateFile(name))
            return false;
        try {
            log.SaveXMLCopy(name);
        } catch (...) {
            ::unlink(name.c_str()); // no empty copy goes with the report
            throw;
        }
        return true;
    } catch (const ELogFileError&) {
        return false;
    }
}

std::string ReadTextFile(const std::string& fileName)
{
    std::error_code error;
    if (fileName.empty() || !std::filesystem::is_regular_file(fileName, error))
        return {};
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

void AttachmentList(const TCrashboxModuleOptions& options, const TReportFileState& state, std::vector<std::string>& list,
                    bool leaveOutLog, const std::string& givenFolder)
{
    const std::string tempFolder = givenFolder.empty() ? state.Folder : givenFolder;
    list.clear();
    SplitStringToList(options.AttachedFiles(), list, MakeCharSet(";"), false, false);
    if (const std::string logCopy = LogCopyFileName(options, tempFolder); !logCopy.empty() && !(leaveOutLog && options.AppendLogs()))
        list.push_back(logCopy);
    const std::string screenshot = ScreenshotFileName(options, tempFolder);
    if (!screenshot.empty() && state.ScreenshotChecked)
        list.push_back(screenshot);
    const std::string page = LastHTMLPageFileName(options, givenFolder);
    if (!page.empty() && state.LastHTMLPageCaptured)
        list.push_back(page);
    const std::string xml = XMLCopyFileName(options, tempFolder);
    if (!xml.empty())
        list.push_back(xml);
    for (std::string& entry : list)
        entry = ExpandVariables(entry);
}

} // namespace cv
