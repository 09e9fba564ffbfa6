#include "crashreport/core/support/files_and_folders.h"

#include "crashreport/core/support/crashbox_texts.h"
#include "crashreport/core/support/profile_file.h"

#include <fcntl.h>
#include <sched.h>
#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace cv {

// --- Dates ---

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30, the day 0 of TDateTime, counted from 1970-01-01.
constexpr int64_t kDateTimeEpochDays = -25569;
constexpr double kMsecPerDay = 86400000.0;

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day)) - kDateTimeEpochDays;
    const double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec;
    return double(days) + time / kMsecPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value)
{
    TDateTimeParts parts;
    const auto totalMs = int64_t(std::llround(value * kMsecPerDay));
    int64_t days = totalMs / 86400000;
    int64_t ms = totalMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    CivilFromDays(days + kDateTimeEpochDays, parts.year, parts.month, parts.day);
    parts.hour = int(ms / 3600000);
    parts.minute = int(ms / 60000 % 60);
    parts.second = int(ms / 1000 % 60);
    parts.msec = int(ms % 1000);
    // 1970-01-01 was a Thursday.
    parts.dayOfWeek = int(((days + kDateTimeEpochDays) % 7 + 7 + 4) % 7);
    return parts;
}

TDateTime UnixTimeToDateTime(int64_t seconds)
{
    const auto t = time_t(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
}

TDateTime NowDateTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixTimeToDateTime(now.tv_sec) + double(now.tv_nsec / 1000000) / kMsecPerDay;
}

// --- Memory ---

namespace {

// Readable stretches of the address space, merged where they touch, as the
// memory map showed them at its last reading.
struct TReadableRegion {
    uintptr_t start;
    uintptr_t end;
};
constexpr std::size_t kMaxRegions = 8192;
TReadableRegion gRegions[kMaxRegions];
std::size_t gRegionCount = 0;
std::atomic_flag gRegionsBusy = ATOMIC_FLAG_INIT;

bool CachedReadable(uintptr_t start, uintptr_t end)
{
    std::size_t lo = 0;
    std::size_t hi = gRegionCount;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (gRegions[mid].end <= start)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < gRegionCount && gRegions[lo].start <= start && end <= gRegions[lo].end;
}

uintptr_t ParseHex(const char*& p, const char* end)
{
    uintptr_t value = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value << 4 | uintptr_t(digit);
    }
    return value;
}

// Walks /proc/self/maps with plain system calls and fixed storage (no
// allocation: it may run inside a signal handler), handing each line's
// range and whether it can be read to `visit` until it answers false.
// False when the map cannot be read.
template <typename Visit>
bool ForEachMapLine(Visit visit)
{
    int fd;
    do
        fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    char buffer[4096];
    std::size_t kept = 0;
    bool lineTooLong = false;
    bool going = true;
    while (going) {
        const ssize_t n = ::read(fd, buffer + kept, sizeof buffer - kept);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const char* p = buffer;
        const char* limit = buffer + kept + std::size_t(n);
        while (going) {
            const char* eol = static_cast<const char*>(std::memchr(p, '\n', std::size_t(limit - p)));
            if (!eol)
                break;
            if (lineTooLong) {
                lineTooLong = false;
            } else {
                // "start-end perms ..."
                const char* q = p;
                const uintptr_t from = ParseHex(q, eol);
                uintptr_t to = 0;
                if (q < eol && *q == '-') {
                    ++q;
                    to = ParseHex(q, eol);
                }
                // The kernel's time data pages ([vvar]) say "r" but fault when
                // some of their pages are read.
                const std::string_view line(p, std::size_t(eol - p));
                const bool readable = q + 1 < eol && *q == ' ' && q[1] == 'r' && !line.ends_with("[vvar]")
                                      && !line.ends_with("[vvar_vclock]");
                if (to > from)
                    going = visit(from, to, readable);
            }
            p = eol + 1;
        }
        kept = std::size_t(limit - p);
        if (kept == sizeof buffer) {
            // A line longer than the buffer (a very long file name): its
            // start was looked at already, the rest is skipped.
            kept = 0;
            lineTooLong = true;
        }
        std::memmove(buffer, p, kept);
    }
    ::close(fd);
    return true;
}

// Answers from the map itself whether [start, end) is readable. With
// `fill`, the cache is rebuilt on the way.
bool ScanMemoryMap(uintptr_t start, uintptr_t end, bool fill)
{
    if (fill)
        gRegionCount = 0;
    uintptr_t coveredTo = start; // [start, coveredTo) is known readable
    ForEachMapLine([&](uintptr_t from, uintptr_t to, bool readable) {
        if (!readable)
            return true;
        if (from <= coveredTo && coveredTo < to)
            coveredTo = to;
        if (fill) {
            if (gRegionCount > 0 && gRegions[gRegionCount - 1].end == from)
                gRegions[gRegionCount - 1].end = to;
            else if (gRegionCount < kMaxRegions)
                gRegions[gRegionCount++] = {from, to};
        }
        return true;
    });
    return coveredTo >= end;
}

} // namespace

namespace {

// A miss reads the map again when `refresh` is set, else it is an answer
// (an empty cache is filled either way).
bool IsReadableRange(const void* address, std::size_t size, bool refresh)
{
    const auto start = reinterpret_cast<uintptr_t>(address);
    if (size == 0)
        size = 1;
    if (start == 0 || size > UINTPTR_MAX - start)
        return false;
    const uintptr_t end = start + size;
    if (gRegionsBusy.test_and_set(std::memory_order_acquire)) {
        // Another thread, or the code this signal interrupted, holds the
        // cache: answer from the map itself.
        return ScanMemoryMap(start, end, false);
    }
    const bool cached = gRegionCount > 0 && CachedReadable(start, end);
    const bool readable = cached || ((refresh || gRegionCount == 0) && ScanMemoryMap(start, end, true));
    gRegionsBusy.clear(std::memory_order_release);
    return readable;
}

} // namespace

bool IsReadableMemory(const void* address, std::size_t size) { return IsReadableRange(address, size, true); }

bool IsReadableMemoryCached(const void* address, std::size_t size) { return IsReadableRange(address, size, false); }

void ForgetMemoryMap()
{
    // A holder that never lets go (a thread paused for a report inside a
    // lookup) is not waited for: while it holds the cache, every answer
    // comes from the map itself.
    for (int tries = 0; gRegionsBusy.test_and_set(std::memory_order_acquire); ++tries) {
        if (tries == 1000)
            return;
        ::sched_yield();
    }
    gRegionCount = 0;
    gRegionsBusy.clear(std::memory_order_release);
}

bool MemoryMappingOf(const void* address, uintptr_t& start, uintptr_t& end)
{
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool found = false;
    ForEachMapLine([&](uintptr_t from, uintptr_t to, bool) {
        found = from <= at && at < to;
        if (found) {
            start = from;
            end = to;
        }
        return !found && from <= at;
    });
    return found;
}

const void* GetRealProcAddress(const void* address)
{
    const auto* code = static_cast<const uint8_t*>(address);
    // endbr64; bnd jmp [rip+disp] is 11 bytes, the plain jump 6.
    uint8_t bytes[11];
    std::size_t length = 6;
    if (!IsReadableMemory(code, length))
        return address;
    std::memcpy(bytes, code, length);
    std::size_t at = 0;
    if (bytes[0] == 0xF3 && bytes[1] == 0x0F && bytes[2] == 0x1E && bytes[3] == 0xFA) {
        if (!IsReadableMemory(code, length = 11))
            return address;
        std::memcpy(bytes, code, length);
        at = 4;
    }
    if (bytes[at] == 0xF2)
        ++at;
    if (at + 6 > length || bytes[at] != 0xFF || bytes[at + 1] != 0x25)
        return address;
    int32_t displacement;
    std::memcpy(&displacement, bytes + at + 2, 4);
    const uint8_t* cell = code + at + 6 + displacement;
    if (!IsReadableMemory(cell, sizeof(uintptr_t)))
        return address;
    uintptr_t target;
    std::memcpy(&target, cell, sizeof target);
    return reinterpret_cast<const void*>(target);
}

bool IsIDEHost()
{
    static const bool ide = [] {
        std::string name = ExtractFileName(GetExeFileNameA());
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return name == "BDS.EXE";
    }();
    return ide;
}

namespace {
std::atomic<TInternalErrorProc> gInternalErrorProc{nullptr};
std::atomic<bool> gInternalErrorRunning{false};
}

void SetInternalErrorProcedure(TInternalErrorProc procedure) { gInternalErrorProc.store(procedure); }

TInternalErrorProc InternalErrorProcedure() { return gInternalErrorProc.load(); }

bool InternalErrorRunning() { return gInternalErrorRunning.load(); }

void SetInternalErrorRunning(bool running) { gInternalErrorRunning.store(running); }

void CallUnitSection(void (*procedure)(), const std::string& name)
{
    std::string message;
    try {
        procedure();
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "General internal error.";
    }
    if (TInternalErrorProc internalError = InternalErrorProcedure()) {
        char address[32];
        std::snprintf(address, sizeof address, "%016llX",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(procedure)));
        internalError(name + " (Address: " + address + ")");
        return;
    }
    throw ECrashboxCriticalError("Critical error at: \"" + name + "\"\r\nError: \"" + message + "\".");
}

// --- Files and folders ---

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

bool ForceFolders(const std::string& folder)
{
    const std::string path = ExpandVariables(ExcludeTrailingBackslashA(folder));
    // The root (or nothing) is there already.
    if (path.empty() || DirectoryExistsA(path))
        return true;
    const std::string parent = ExtractFileDir(path);
    if (parent == path)
        return true;
    if (!parent.empty() && !ForceFolders(parent))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExistsA(path));
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
    int fd = OpenRegularFile(fileName, O_RDWR);
    if (fd >= 0) {
        ::close(fd);
        // A file is written anew beside itself and renamed over the old one
        // (ReplaceFileContents): its folder must take a new file too.
        const std::string folder = ExtractFileDir(FileBehindLinks(fileName));
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

std::string FileBehindLinks(const std::string& fileName)
{
    struct stat link {};
    if (::lstat(fileName.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return fileName;
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (!resolved)
        return fileName;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

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
    // A link keeps pointing at the file it names: that file is replaced.
    const std::string target = FileBehindLinks(fileName);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
    const std::string folder = ExtractFilePath(target);
    std::string temp = folder + "." + ExtractFileName(target) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // The file keeps the mode it had; a new one is its user's alone (the
    // crash-report files hold command lines, file names and memory).
    int error = ::fchmod(fd, exists ? old.st_mode & 07777 : 0600) == 0 ? 0 : errno;
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
    if (!ForceFolders(folder))
        return false;
    if (perProgramFolder) {
        folder = IncludeTrailingBackslashA(folder) + ChangeFileExt(ExtractFileName(GetExeFileNameA()), "");
        if (!ForceFolders(folder))
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

std::vector<std::string_view> SplitTextLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r')
            ++start;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
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

// --- Profile files and the registry stand-in ---

std::optional<std::string> ProfileFileLocation(const std::string& fileName, bool forReading)
{
    std::string name = fileName.find('/') == std::string::npos
                           ? IncludeTrailingBackslashA(GetSettingsFolder()) + fileName
                           : fileName;
    // The settings folder may not exist yet.
    if (!forReading)
        ForceFolders(ExtractFileDir(name));
    if (!MakeFileAccessible(name, false, forReading))
        return std::nullopt;
    return name;
}

std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& defaultValue)
{
    const std::optional<std::string> location = ProfileFileLocation(fileName, false);
    TProfileFile profile;
    if (!location || !profile.Load(*location))
        return defaultValue;
    std::optional<std::string> value = profile.Read(section, key);
    if (!value)
        return defaultValue;
    // The value comes through a buffer of 2048 bytes, its zero included.
    if (value->size() > 2047)
        value->resize(2047);
    return *value;
}

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value)
{
    const std::optional<std::string> location = ProfileFileLocation(fileName, false);
    TProfileFile profile;
    return location && profile.Load(*location) && profile.Write(section, key, value) && profile.Save(*location);
}

std::string RegistryStandInFile() { return IncludeTrailingBackslashA(GetSettingsFolder()) + "Registry.ini"; }

std::string RegReadString(TRegRootKey rootKey, const std::string& keyPath, const std::string& valueName)
{
    static constexpr const char* kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
    if (rootKey >= std::size(kRoots))
        return {};
    const std::string path = !keyPath.empty() && keyPath[0] == '\\' ? keyPath.substr(1) : keyPath;
    TProfileFile store;
    if (!store.Load(RegistryStandInFile()))
        return {};
    return store.Read(std::string(kRoots[rootKey]) + "\\" + path, valueName.empty() ? "@" : valueName)
        .value_or(std::string());
}

// --- Texts ---

TCharSet MakeCharSet(std::string_view members)
{
    TCharSet set;
    for (const char c : members)
        set.set(static_cast<unsigned char>(c));
    return set;
}

std::string TrimA(std::string_view text)
{
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && static_cast<unsigned char>(text[start]) <= ' ')
        ++start;
    while (end > start && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(start, end - start));
}

void SplitStringToList(const std::string& text, std::vector<std::string>& list, const TCharSet& delimiters,
                       bool noTrim, bool addEmpty)
{
    const std::string s = noTrim ? text : TrimA(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!delimiters.test(static_cast<unsigned char>(s[i])))
            continue;
        // Without trimming a piece keeps its delimiter.
        std::string piece = noTrim ? s.substr(start, i + 1 - start) : TrimA(std::string_view(s).substr(start, i - start));
        if (!piece.empty() || addEmpty)
            list.push_back(std::move(piece));
        start = i + 1;
    }
    std::string last = noTrim ? s.substr(start) : TrimA(std::string_view(s).substr(start));
    if (!last.empty())
        list.push_back(std::move(last));
}

void ExtractTrimmedStrings(const TCharSet& delimiters, const std::string& text, std::vector<std::string>& list)
{
    std::size_t i = 0;
    while (i < text.size() && delimiters.test(static_cast<unsigned char>(text[i])))
        ++i;
    std::size_t start = i;
    for (; i < text.size(); ++i) {
        if (delimiters.test(static_cast<unsigned char>(text[i]))) {
            list.push_back(TrimA(std::string_view(text).substr(start, i - start)));
            start = i + 1;
        }
    }
    std::string last = TrimA(std::string_view(text).substr(std::min(start, text.size())));
    if (!last.empty())
        list.push_back(std::move(last));
}

int PosFromA(std::string_view sub, std::string_view text, int from)
{
    if (sub.empty())
        return 0;
    const std::size_t start = from < 1 ? 0 : std::size_t(from - 1);
    if (start >= text.size())
        return 0;
    const auto at = text.find(sub, start);
    return at == std::string_view::npos ? 0 : int(at + 1);
}

std::string ReplaceAllA(std::string_view text, std::string_view oldText, std::string_view newText)
{
    if (oldText.empty())
        return std::string(text);
    std::size_t count = 0;
    for (auto at = text.find(oldText); at != std::string_view::npos; at = text.find(oldText, at + oldText.size()))
        ++count;
    std::string result;
    result.reserve(text.size() - count * oldText.size() + count * newText.size());
    std::size_t start = 0;
    for (auto at = text.find(oldText); at != std::string_view::npos; at = text.find(oldText, start)) {
        result.append(text.substr(start, at - start));
        result.append(newText);
        start = at + oldText.size();
    }
    result.append(text.substr(start));
    return result;
}

namespace {

// The code point starting at source[i] and the units it takes: a surrogate
// pair is one character; a lone surrogate stands for U+FFFD.
char32_t NextCodePoint(std::u16string_view source, std::size_t i, std::size_t& units)
{
    const char16_t u = source[i];
    units = 1;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < source.size() && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(source[i + 1]) - 0xDC00);
    }
    if (u >= 0xD800 && u <= 0xDFFF)
        return 0xFFFD;
    return u;
}

std::size_t EncodeUtf8(char32_t c, char* out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

std::size_t WideToUTF8Buf(std::span<char> dest, std::u16string_view source)
{
    char bytes[4];
    std::size_t written = 0;
    for (std::size_t i = 0; i < source.size();) {
        std::size_t units;
        const std::size_t n = EncodeUtf8(NextCodePoint(source, i, units), bytes);
        if (dest.data()) {
            if (written + n + 1 > dest.size())
                break;
            std::memcpy(dest.data() + written, bytes, n);
        }
        written += n;
        i += units;
    }
    if (dest.data()) {
        if (dest.empty())
            return 0;
        dest[written] = '\0';
    }
    return written + 1;
}

std::string WideToUTF8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    char bytes[4];
    for (std::size_t i = 0; i < text.size();) {
        std::size_t units;
        result.append(bytes, EncodeUtf8(NextCodePoint(text, i, units), bytes));
        i += units;
    }
    return result;
}

std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t* codePoint)
{
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (i >= text.size())
        return 0;
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t more = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 4;
    if (more == 4 || more >= text.size() - i)
        return 0;
    char32_t value = more == 0 ? b : b & (0x3F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
    if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    if (codePoint)
        *codePoint = value;
    return more + 1;
}

std::u16string UTF8ToWide(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0xFFFD;
        const std::size_t length = Utf8CharAt(text, i, &c);
        // A byte that starts no valid sequence stands for U+FFFD.
        i += length == 0 ? 1 : length;
        if (length == 0)
            c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            result += char16_t(0xD800 + (c >> 10));
            result += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            result += char16_t(c);
        }
    }
    return result;
}

std::string AnsiToUTF8Str(const std::string& text) { return text; }

std::string FloatToDotStr(double value)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::optional<double> DotStrToFloat(std::string_view text)
{
    const std::string trimmed = TrimA(text);
    double value = 0;
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [at, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || at != end || begin == end)
        return std::nullopt;
    return value;
}

int LocalTimeOffsetHours()
{
    const time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return int(std::lround(double(local.tm_gmtoff) / 3600.0));
}

// --- Versions ---

std::string NormalizeVersion(const std::string& version)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = version.find('.', start);
        parts.push_back(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        std::string suffix;
        if (const auto blank = part.find(' '); blank != std::string::npos) {
            suffix = part.substr(blank);
            part.resize(blank);
        }
        const bool numeric =
            !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (numeric && part.size() < 5)
            part.insert(0, 5 - part.size(), '0');
        if (i > 0)
            result += '.';
        result += part + suffix;
    }
    for (std::size_t n = parts.size(); n < 4; ++n)
        result += ".00000";
    return result;
}

bool IsNewerVersion(const std::string& oldVersion, const std::string& newVersion)
{
    if (TrimA(oldVersion).empty() || TrimA(newVersion).empty())
        return false;
    return NormalizeVersion(newVersion) > NormalizeVersion(oldVersion);
}

} // namespace cv
