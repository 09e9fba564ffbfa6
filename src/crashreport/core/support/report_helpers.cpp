#include "crashreport/core/support/report_helpers.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/text_routines.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace cv {

// --- Texts ---

std::string TimeSpanToText(double spanDays)
{
    // Whole milliseconds first, so that 90 minutes are not 89.999...
    const auto totalMs = int64_t(std::llround(spanDays * 86400000.0));
    const int64_t totalSeconds = totalMs / 1000;
    const int64_t counts[] = {totalSeconds / 86400, totalSeconds / 3600 % 24, totalSeconds / 60 % 60,
                              totalSeconds % 60};
    static constexpr const char* kUnits[] = {"day", "hour", "minute", "second"};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (counts[i] == 0 && i < 3)
            continue;
        text += std::to_string(counts[i]) + " " + kUnits[i] + (counts[i] >= 2 ? "s" : "");
        if (i < 3)
            text += ", ";
    }
    return text;
}

std::string DateTimeToRFC822(TDateTime localTime)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const TDateTimeParts p = DecodeDateTime(localTime);
    // The zone of that moment (summer time included), to the minute.
    std::tm local{};
    local.tm_year = p.year - 1900;
    local.tm_mon = p.month - 1;
    local.tm_mday = p.day;
    local.tm_hour = p.hour;
    local.tm_min = p.minute;
    local.tm_sec = p.second;
    local.tm_isdst = -1;
    long offsetMinutes = 0;
    if (std::mktime(&local) != time_t(-1))
        offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", kDays[p.dayOfWeek], p.day,
                  kMonths[p.month - 1], p.year, p.hour, p.minute, p.second, offsetMinutes < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return text;
}

namespace {

// One value of an os-release file, its quotes and escapes removed.
std::string OsReleaseValue(const std::string& fileName, std::string_view key)
{
    std::vector<std::string> lines;
    if (!LoadStringsFromFile(fileName, lines))
        return {};
    for (const std::string& line : lines) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != '=')
            continue;
        std::string value = TrimA(std::string_view(line).substr(key.size() + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string plain;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            plain += value[i];
        }
        return plain;
    }
    return {};
}

} // namespace

std::string GetWindowsVersionName()
{
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::string name = OsReleaseValue(file, "PRETTY_NAME");
        if (name.empty()) {
            name = OsReleaseValue(file, "NAME");
            const std::string version = OsReleaseValue(file, "VERSION");
            if (!name.empty() && !version.empty())
                name += " " + version;
        }
        if (!name.empty())
            return name;
    }
    utsname system{};
    if (::uname(&system) != 0)
        return {};
    return std::string(system.sysname) + " " + system.release;
}

std::string GetWindowsBuildNumber()
{
    utsname system{};
    return ::uname(&system) == 0 ? std::string(system.release) : std::string();
}

std::string GetComputerNameStr()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

namespace {

const passwd* CurrentUser(std::vector<char>& buffer, passwd& entry)
{
    buffer.resize(16384);
    passwd* result = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0)
        return nullptr;
    return result;
}

} // namespace

std::string GetCurrentUserName()
{
    std::vector<char> buffer;
    passwd entry{};
    if (const passwd* user = CurrentUser(buffer, entry); user && user->pw_name)
        return user->pw_name;
    const char* name = std::getenv("USER");
    return name ? name : "";
}

std::string GetRegisteredOwner()
{
    std::vector<char> buffer;
    passwd entry{};
    const passwd* user = CurrentUser(buffer, entry);
    if (!user || !user->pw_gecos)
        return {};
    const std::string_view gecos = user->pw_gecos;
    return TrimA(gecos.substr(0, gecos.find(',')));
}

std::string TextToHTML(std::string_view text)
{
    std::string html;
    html.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': html += "&amp;"; break;
        case '"': html += "&quot;"; break;
        case '\'': html += "&#039;"; break;
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        case ' ':
            if (i + 1 < text.size() && text[i + 1] == ' ') {
                html += "&nbsp;&nbsp;";
                ++i;
            } else {
                html += ' ';
            }
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                html += "<br>\r\n";
                ++i;
            } else {
                html += c;
            }
            break;
        case '\n': html += "<br>\n"; break;
        default: html += c;
        }
    }
    return html;
}

std::string FlattenControlChars(std::string_view text)
{
    std::string flat;
    bool inRun = false;
    for (const char c : text) {
        const bool control = static_cast<unsigned char>(c) < 32;
        if (control && !inRun)
            flat += ' ';
        else if (!control)
            flat += c;
        inRun = control;
    }
    return flat;
}

std::string PadRight(std::string_view text, std::size_t width)
{
    std::string padded(text);
    if (padded.size() < width)
        padded.append(width - padded.size(), ' ');
    return padded;
}

std::string GetTempFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return IncludeTrailingBackslashA(folder && *folder ? folder : "/tmp");
}

std::string GetCommandLineStr()
{
    std::string arguments;
    if (!ReadFileText("/proc/self/cmdline", arguments))
        return {};
    std::string line;
    std::size_t start = 0;
    while (start < arguments.size()) {
        auto end = arguments.find('\0', start);
        if (end == std::string::npos)
            end = arguments.size();
        const std::string argument = arguments.substr(start, end - start);
        if (!line.empty())
            line += ' ';
        if (argument.empty() || argument.find_first_of(" \t\"") != std::string::npos)
            line += "\"" + ReplaceAllA(argument, "\"", "\\\"") + "\"";
        else
            line += argument;
        start = end + 1;
    }
    return line;
}

// --- The process ---

bool IsDebuggerAttached()
{
    std::vector<std::string> lines;
    if (!LoadStringsFromFile("/proc/self/status", lines))
        return false;
    for (const std::string& line : lines)
        if (line.rfind("TracerPid:", 0) == 0)
            return std::atoi(line.c_str() + 10) != 0;
    return false;
}

bool IsWow64()
{
    if constexpr (sizeof(void*) == 8) {
        return false;
    } else {
        utsname system{};
        return ::uname(&system) == 0 && std::string_view(system.machine) == "x86_64";
    }
}

bool IsValidHandle(int fileDescriptor) { return fileDescriptor >= 0 && ::fcntl(fileDescriptor, F_GETFD) != -1; }

bool IsThreadRunning(pid_t threadId)
{
    if (threadId <= 0)
        return false;
    return ::syscall(SYS_tgkill, ::getpid(), threadId, 0) == 0;
}

uintptr_t GetStackBase()
{
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return 0;
    void* low = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
    pthread_attr_destroy(&attributes);
    return known ? reinterpret_cast<uintptr_t>(low) + size : 0;
}

int64_t CurrentProcessID() { return ::getpid(); }

std::string GetModuleFileNameLong(uintptr_t moduleHandle)
{
    return ExpandLongFileName(ModuleFileNameOfHandle(moduleHandle ? moduleHandle : CrashboxLibraryModuleHandle()));
}

void* AllocPages(std::size_t size)
{
    void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, std::size_t size)
{
    if (pages)
        ::munmap(pages, size);
}

// --- Look-up cache ---

namespace {

struct TCacheEntry {
    uintptr_t key1;
    uint32_t key2;
    uint32_t key3;
    TCacheResult result;
};

struct TLookupCache {
    std::mutex lock;
    std::array<TCacheEntry, 10> entries{};
    std::size_t count = 0;
};

TLookupCache& LookupCache()
{
    static TLookupCache cache;
    return cache;
}

} // namespace

bool CacheFind(uintptr_t key1, uint32_t key2, uint32_t key3, TCacheResult& result)
{
    TLookupCache& cache = LookupCache();
    std::lock_guard guard(cache.lock);
    for (std::size_t i = 0; i < cache.count; ++i) {
        const TCacheEntry& e = cache.entries[i];
        if (e.key1 == key1 && e.key2 == key2 && e.key3 == key3) {
            result = e.result;
            return true;
        }
    }
    return false;
}

void CacheAdd(uintptr_t key1, uint32_t key2, uint32_t key3, const TCacheResult& result)
{
    TLookupCache& cache = LookupCache();
    std::lock_guard guard(cache.lock);
    if (cache.count == cache.entries.size()) {
        std::move(cache.entries.begin() + 1, cache.entries.end(), cache.entries.begin());
        --cache.count;
    }
    cache.entries[cache.count++] = {key1, key2, key3, result};
}

void CacheClear()
{
    TLookupCache& cache = LookupCache();
    std::lock_guard guard(cache.lock);
    cache.count = 0;
}

} // namespace cv
