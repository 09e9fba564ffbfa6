#include "crashreport/core/support/files_and_folders.h"

#include "crashreport/core/support/crashbox_texts.h"
#include "crashreport/core/support/text_routines.h"
#include "files/shared_folders.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace cv {

bool IsIDEHost()
{
    static const bool ide = [] {
        std::string name = ExtractFileName(GetExeFileNameA());
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return name == "BDS.EXE";
    }();
    return ide;
}

std::string GetExeFileNameA()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

std::string IncludeTrailingBackslashA(const std::string& folder)
{
    if (folder.empty())
        return "/";
    return folder.back() == '/' ? folder : folder + '/';
}

std::string ExcludeTrailingBackslashA(const std::string& folder)
{
    return !folder.empty() && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

bool DirectoryExistsA(const std::string& folder)
{
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// ForceFolders with the mode each folder made gets (less the umask).
bool ForceFoldersMade(const std::string& path, mode_t mode)
{
    // The root (or nothing) is there already.
    if (path.empty() || DirectoryExistsA(path))
        return true;
    const std::string parent = ExtractFileDir(path);
    if (parent == path)
        return true;
    if (!parent.empty() && !ForceFoldersMade(parent, mode))
        return false;
    return ::mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && DirectoryExistsA(path));
}

} // namespace

bool ForceFolders(const std::string& folder) { return ForceFoldersMade(ExpandVariables(ExcludeTrailingBackslashA(folder)), 0777); }

bool ForcePrivateFolders(const std::string& folder)
{
    const std::string path = ExpandVariables(ExcludeTrailingBackslashA(folder));
    if (!ForceFoldersMade(path, 0700))
        return false;
    // One found wider (made before, or by another program of the user's)
    // is narrowed; the folder itself, never what a link there names.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0700);
    ::close(fd);
    return true;
}

int OpenRegularFile(const std::string& fileName, int flags, unsigned mode)
{
    int fd;
    do
        fd = ::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode_t(mode));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int reason = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = reason;
        return -1;
    }
    // Reads and writes of a regular file wait as they always do.
    if (!(flags & O_NONBLOCK))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool CanReadFile(const std::string& fileName)
{
    const int fd = OpenRegularFile(fileName, O_RDONLY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string FileErrorText(int error)
{
    switch (error) {
    case EISDIR: return "it is a folder";
    case EINVAL: return "it is not a regular file";
    default: return std::strerror(error);
    }
}

std::string WriteProblem(const std::string& fileName)
{
    // The component's files (reports, options) are never written through a
    // link nor into another user's file: in a shared output folder either
    // could send the report, or its mode, where another user chose.
    struct stat entry {};
    if (::lstat(fileName.c_str(), &entry) == 0) {
        struct stat target {};
        if (S_ISLNK(entry.st_mode))
            return ::stat(fileName.c_str(), &target) == 0 ? "it is a symbolic link, which is not followed" : "it is a link to nothing";
        if (entry.st_uid != ::geteuid())
            return BelongsToAnotherUser(entry.st_uid).toStdString();
    }
    int fd = OpenRegularFile(fileName, O_RDWR);
    if (fd >= 0) {
        ::close(fd);
        // A file is written anew beside itself and renamed over the old one
        // (ReplaceFileContents): its folder must take a new file too.
        const std::string folder = ExtractFileDir(fileName);
        if (::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            return FileErrorText(errno);
        return {};
    }
    if (errno != ENOENT)
        return FileErrorText(errno);
    fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        if (error == EEXIST && ::lstat(fileName.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return "it is a link to nothing";
        return FileErrorText(error);
    }
    ::close(fd);
    ::unlink(fileName.c_str());
    return {};
}

bool CanWriteFile(const std::string& fileName) { return WriteProblem(fileName).empty(); }

TQuietSignal::TQuietSignal(int signal) : fSignal(signal)
{
    sigemptyset(&fSet);
    sigaddset(&fSet, signal);
    pthread_sigmask(SIG_BLOCK, &fSet, &fPrevious);
    sigset_t pending;
    fPendingBefore = sigpending(&pending) == 0 && sigismember(&pending, signal) == 1;
}

TQuietSignal::~TQuietSignal()
{
    const timespec none{};
    if (!fPendingBefore)
        while (sigtimedwait(&fSet, nullptr, &none) == fSignal) {
        }
    pthread_sigmask(SIG_SETMASK, &fPrevious, nullptr);
}

int ReplaceFileContents(const std::string& fileName, std::string_view bytes)
{
    // A file-size limit fails the write instead of ending the process.
    const TQuietSignal quiet(SIGXFSZ);
    // The name itself is replaced: a link there is not followed (the rename
    // replaces the link), and another user's file is not written into.
    const std::string& target = fileName;
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return EISDIR;
        if (!S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
            return EINVAL;
        if (old.st_uid != ::geteuid())
            return EPERM;
    }
    const std::string folder = ExtractFilePath(target);
    std::string temp = folder + "." + ExtractFileName(target) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // The user's alone, whatever stood there before: the crash-report files
    // hold command lines, file names, memory and passwords.
    int error = ::fchmod(fd, 0600) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += std::size_t(n);
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temp.c_str());
    return error;
}

bool MakeFileAccessible(std::string& fileName, bool perProgramFolder, bool forReading)
{
    fileName = ExpandVariables(fileName);
    if (forReading ? CanReadFile(fileName) : CanWriteFile(fileName))
        return true;
    std::string folder = GetLibraryDataFolder();
    if (!ForcePrivateFolders(folder))
        return false;
    if (perProgramFolder) {
        folder = IncludeTrailingBackslashA(folder) + ChangeFileExt(ExtractFileName(GetExeFileNameA()), "");
        if (!ForcePrivateFolders(folder))
            return false;
    }
    const std::string moved = IncludeTrailingBackslashA(folder) + ExtractFileName(fileName);
    if (!(forReading ? CanReadFile(moved) : CanWriteFile(moved)))
        return false;
    fileName = moved;
    return true;
}

TDateTime GetFileDateTime(const std::string& fileName)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return 0;
    // DOS times count seconds in twos.
    const TDateTime local = UnixTimeToDateTime(st.st_mtime);
    TDateTimeParts p = DecodeDateTime(local);
    return EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second & ~1);
}

std::string ExpandLongFileName(const std::string& fileName) { return fileName; }

bool ReadFileText(const std::string& fileName, std::string& text, int* error)
{
    text.clear();
    const int fd = OpenRegularFile(fileName, O_RDONLY);
    if (fd < 0) {
        if (error)
            *error = errno;
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return true;
}

bool LoadStringsFromFile(const std::string& fileName, std::vector<std::string>& lines)
{
    lines.clear();
    std::string text;
    if (!ReadFileText(fileName, text))
        return false;
    for (std::string_view line : SplitTextLines(text))
        lines.emplace_back(line);
    return true;
}

std::string RemoveVSHost(const std::string& fileName) { return ReplaceAllA(fileName, ".vshost", ""); }

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string XdgFolder(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    // The base directory rules: a relative path is to be ignored.
    const std::string base = value && value[0] == '/' ? std::string(value)
                                                      : IncludeTrailingBackslashA(HomeFolder()) + fallback;
    return IncludeTrailingBackslashA(base) + "Crashbox";
}

} // namespace

std::string GetLibraryDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

std::string GetSettingsFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string ExtractFileName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileDir(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ExtractFileExt(const std::string& path)
{
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension)
{
    return path.substr(0, path.size() - ExtractFileExt(path).size()) + extension;
}

} // namespace cv
