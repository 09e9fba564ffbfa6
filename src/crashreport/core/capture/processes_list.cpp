#include "crashreport/core/capture/processes_list.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/file_version.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace cv {

namespace {

template <typename T>
bool Number(std::string_view text, T& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The target of a link inside the folder dir ("N/exe"); empty when it cannot be read.
std::string LinkTargetAt(int dir, const char* path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlinkat(dir, path, buffer, sizeof buffer);
    return n > 0 && std::size_t(n) < sizeof buffer ? std::string(buffer, std::size_t(n)) : std::string();
}

// A small file inside the folder dir ("N/stat", a few hundred bytes), read
// with as few calls as it takes: open, one read, close. The open never
// waits (a folder given for a test may hold a FIFO there). False when it
// cannot be read; a file longer than the buffer is cut.
bool ReadSmallFileAt(int dir, const char* path, std::span<char> buffer, std::string_view& text)
{
    int fd;
    do
        fd = ::openat(dir, path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    std::size_t length = 0;
    bool ok = true;
    while (length < buffer.size()) {
        const std::size_t wanted = buffer.size() - length;
        const ssize_t n = ::read(fd, buffer.data() + length, wanted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        length += std::size_t(n);
        // The system hands such a file over whole: a short read is its end.
        if (std::size_t(n) < wanted)
            break;
    }
    ::close(fd);
    text = std::string_view(buffer.data(), length);
    return ok;
}

constexpr uint32_t kKernelThreadFlag = 0x00200000; // PF_KTHREAD
constexpr uint32_t kKernelThreadStarter = 2;       // kthreadd

bool IsKernelThread(uint32_t pid, const TProcessStat& stat)
{
    return (stat.Flags & kKernelThreadFlag) != 0 || pid == kKernelThreadStarter || stat.ParentID == kKernelThreadStarter;
}

} // namespace

std::string ProcessFileName(const TCrashboxProcessInfo& process)
{
    return process.ShortName ? process.Name : ExtractFileName(process.Name);
}

std::string ProcessFolder(const TCrashboxProcessInfo& process)
{
    return process.ShortName ? std::string() : ExtractCleanFilePath(process.Name);
}

std::optional<TProcessStat> ParseProcessStat(std::string_view text)
{
    // "pid (name) state ppid ...": the name may hold blanks and parentheses, so it ends at the last ")".
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    TProcessStat stat;
    stat.ShortName = std::string(text.substr(open + 1, close - open - 1));
    std::vector<std::string_view> fields; // fields[0] is the state, field 3 of the line
    for (std::size_t at = close + 1; at < text.size();) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n'))
            ++at;
        const auto end = std::min(text.find_first_of(" \n", at), text.size());
        if (end > at)
            fields.push_back(text.substr(at, end - at));
        at = end;
    }
    constexpr std::size_t kParent = 4 - 3, kFlags = 9 - 3, kNice = 19 - 3, kThreads = 20 - 3, kResident = 24 - 3, kPolicy = 41 - 3;
    int64_t nice = 0, threads = 0, resident = 0;
    if (fields.size() <= kResident || !Number(fields[kParent], stat.ParentID) || !Number(fields[kFlags], stat.Flags)
        || !Number(fields[kNice], nice) || !Number(fields[kThreads], threads) || !Number(fields[kResident], resident))
        return std::nullopt;
    stat.Nice = int32_t(nice);
    stat.Threads = threads > 0 ? uint32_t(threads) : 0;
    stat.ResidentPages = resident > 0 ? uint64_t(resident) : 0;
    if (fields.size() > kPolicy)
        Number(fields[kPolicy], stat.Policy);
    return stat;
}

int32_t PriorityClassOf(uint32_t policy, int32_t nice)
{
    if (policy == SCHED_FIFO || policy == SCHED_RR)
        return 256;
    if (policy == SCHED_IDLE)
        return 64;
    if (nice < -10)
        return 128;
    if (nice < 0)
        return 32768;
    if (nice == 0)
        return 32;
    return nice < 10 ? 16384 : 64;
}

void RefreshProcessesList(TCrashboxProcessesList& list, const std::string& procFolder, TFileVersionCache* versions,
                          const std::atomic<bool>* stop)
{
    if (std::optional<TProcessRecords> found = ReadProcesses(procFolder, versions, stop))
        SetProcessesList(list, std::move(*found));
}

std::optional<TProcessRecords> ReadProcesses(const std::string& procFolder, TFileVersionCache* versionCache, const std::atomic<bool>* stop)
{
    TProcessRecords found;
    // Many processes run one program: its file is read once.
    std::map<std::string, std::pair<std::string, std::string>> versions;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    // Each process costs an open, a read and a close of its "stat", and one
    // read of its program link: the files are named from the folder's own
    // descriptor, not looked up from the root each time.
    if (DIR* dir = ::opendir(procFolder.c_str())) {
        const int folder = ::dirfd(dir);
        std::array<char, 4096> statBuffer;
        char path[32];
        while (const dirent* entry = ::readdir(dir)) {
            if (stop && stop->load()) {
                ::closedir(dir);
                return std::nullopt;
            }
            uint32_t pid = 0;
            if (!Number(std::string_view(entry->d_name), pid) || pid == 0)
                continue;
            std::string_view text;
            std::optional<TProcessStat> stat;
            std::snprintf(path, sizeof path, "%u/stat", pid);
            if (!ReadSmallFileAt(folder, path, statBuffer, text) || !(stat = ParseProcessStat(text)))
                continue; // ended meanwhile
            if (IsKernelThread(pid, *stat))
                continue;
            auto process = std::make_unique<TCrashboxProcessInfo>();
            process->ProcessID = pid;
            std::snprintf(path, sizeof path, "%u/exe", pid);
            std::string program = LinkTargetAt(folder, path);
            if (program.size() > 10 && program.ends_with(" (deleted)"))
                program.resize(program.size() - 10);
            // Only a link that names a file is a program file (not an
            // anonymous memory file the program was run from).
            if (!program.starts_with('/') || program.starts_with("/memfd:"))
                program.clear();
            process->ShortName = program.empty();
            process->Name = program.empty() ? stat->ShortName : program;
            if (TrimA(process->Name).empty())
                continue;
            if (!program.empty()) {
                auto known = versions.find(process->Name);
                if (known == versions.end()) {
                    std::pair<std::string, std::string> facts;
                    if (versionCache)
                        versionCache->Get(process->Name, facts.first, facts.second);
                    else
                        GetFileVersionStrings(process->Name, facts.first, facts.second);
                    known = versions.emplace(process->Name, std::move(facts)).first;
                }
                process->Description = known->second.first;
                process->Version = known->second.second;
            }
            process->Priority = PriorityClassOf(stat->Policy, stat->Nice);
            process->Memory = stat->ResidentPages * uint64_t(pageSize > 0 ? pageSize : 4096);
            process->Threads = stat->Threads;
            found.push_back(std::move(process));
        }
        ::closedir(dir);
    }
    return found;
}

void SetProcessesList(TCrashboxProcessesList& list, TProcessRecords processes)
{
    list.Lock();
    list.Clear();
    for (auto& process : processes)
        list.Add(std::move(process));
    list.Sort([](const TCrashboxProcessInfo& a, const TCrashboxProcessInfo& b) { return a.ProcessID < b.ProcessID; });
    list.Unlock();
}

uint32_t GetParentProcessID() { return uint32_t(::getppid()); }

} // namespace cv
