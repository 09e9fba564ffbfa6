#pragma once
// The running processes for the report's processes table, read from /proc,
// and the process that started this one.
//
// Each process gets its ID; its name (the full path of its program file
// when this user may read it, else the short name the system keeps for it);
// the description and version its program file carries (file_version.h);
// its priority class; its memory (resident set, bytes); its thread count.
// A process that ends while the list is read is left out.
//
// Priority classes from the scheduling: a real-time policy 256
// "Real-Time"; the idle policy 64 "Low"; otherwise by nice value: below
// -10 128 "High", -10 to -1 32768 "Above-Normal", 0 32 "Normal", 1 to 9
// 16384 "Below-Normal", 10 and more 64 "Low".

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/file_version.h"

namespace cv {

// Rebuilds the list (under its lock), sorted by process ID. procFolder is
// where the process folders are read ("/proc"; tests point it elsewhere).
// The kernel's own threads (children of its thread starter, or marked as
// kernel threads) are no processes of the machine's users: left out.
// With `versions`, the programs' descriptions and versions come from it
// (read only for a program file new to it or changed). Once `stop` is set
// the reading ends and the list is left as it was.
void RefreshProcessesList(TCrashboxProcessesList& list, const std::string& procFolder = "/proc", TFileVersionCache* versions = nullptr,
                          const std::atomic<bool>* stop = nullptr);

// The two halves of a refresh, for a reading done apart from the list (on
// another thread): the processes read, in no order (nullopt once `stop`
// was set), then put in the list in the place of its entries.
using TProcessRecords = std::vector<std::unique_ptr<TCrashboxProcessInfo>>;
std::optional<TProcessRecords> ReadProcesses(const std::string& procFolder = "/proc", TFileVersionCache* versions = nullptr,
                                             const std::atomic<bool>* stop = nullptr);
void SetProcessesList(TCrashboxProcessesList& list, TProcessRecords processes);

// The process that started this one; 0 when it cannot be found.
uint32_t GetParentProcessID();

// The process's name and folder as the tables show them: its program
// file's name and folder, or its short name and no folder.
std::string ProcessFileName(const TCrashboxProcessInfo& process);
std::string ProcessFolder(const TCrashboxProcessInfo& process);

// What "/proc/<pid>/stat" says of a process.
struct TProcessStat {
    std::string ShortName; // the name between the parentheses
    uint32_t ParentID = 0;
    uint32_t Flags = 0;    // the kernel's flags of the process (PF_KTHREAD 0x00200000: a kernel thread)
    int32_t Nice = 0;
    uint32_t Policy = 0;   // the scheduling policy (SCHED_OTHER 0, FIFO 1, RR 2, BATCH 3, IDLE 5)
    uint32_t Threads = 0;
    uint64_t ResidentPages = 0;
};
std::optional<TProcessStat> ParseProcessStat(std::string_view text);
// The priority class of a scheduling policy and nice value (above).
int32_t PriorityClassOf(uint32_t policy, int32_t nice);

} // namespace cv
