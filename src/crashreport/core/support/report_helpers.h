#pragma once
// Routines the exception handler, the report writer and the dialogs share:
// texts for the report (time spans, dates in mail form, the system's name
// and build, user, computer and owner names), escaping of report text for
// HTML, tests of the process state and a small look-up cache.
//
// Names the report keeps from the system it was first written for
// (GetWindowsVersionName) answer for this system.

#include "crashreport/core/support/date_time.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// --- Texts ---

// A span in days as "1 day, 2 hours, 3 minutes, 4 seconds": days, hours and
// minutes only when not 0, seconds always; the plural from 2 on.
std::string TimeSpanToText(double spanDays);
// "Tue, 5 Mar 2024 14:03:09 +0100": a local time in mail form, with the
// zone this system had at that time.
std::string DateTimeToRFC822(TDateTime localTime);
// The system's name and edition ("Debian GNU/Linux 12 (bookworm)"), from
// os-release, else the kernel's name and release.
std::string GetWindowsVersionName();
// The kernel's release ("6.1.0-18-amd64").
std::string GetWindowsBuildNumber();
std::string GetComputerNameStr();
std::string GetCurrentUserName();
// The user's full name from the password database (the GECOS field up to
// its first comma); empty when none is recorded.
std::string GetRegisteredOwner();

// "&" "&amp;", '"' "&quot;", "'" "&#039;", "<" "&lt;", ">" "&gt;", two
// blanks "&nbsp;&nbsp;", a line break "<br>" and the line break, in that
// order (an "&" made by a replacement is never escaped again).
std::string TextToHTML(std::string_view text);
// Each run of characters below the blank becomes one blank.
std::string FlattenControlChars(std::string_view text);
std::string PadRight(std::string_view text, std::size_t width);
inline std::string IfThenStrA(bool condition, std::string_view text)
{
    return condition ? std::string(text) : std::string();
}
// The temporary folder with its final "/".
std::string GetTempFolder();
// The process's command line: its arguments separated by blanks, those
// holding a blank or a double quote in double quotes.
std::string GetCommandLineStr();

// --- The process ---

// A tracer (debugger) is attached to the process.
bool IsDebuggerAttached();
// A 32-bit process on a 64-bit system.
bool IsWow64();
// The file descriptor is open.
bool IsValidHandle(int fileDescriptor);
// The thread (its system ID) of this process still runs.
bool IsThreadRunning(pid_t threadId);
// The top (highest address) of the calling thread's stack.
uintptr_t GetStackBase();
int64_t CurrentProcessID();
// The full file name of a module (by default the one holding this core).
std::string GetModuleFileNameLong(uintptr_t moduleHandle = 0);
// Whole pages of fresh memory, readable and writable; null when refused.
void* AllocPages(std::size_t size);
void FreePages(void* pages, std::size_t size);

// --- Look-up cache ---

// Ten answers kept by three keys; the oldest goes when a new one comes.
struct TCacheResult {
    uint8_t flag = 0;
    uint32_t value = 0;
    uint8_t extra1 = 0;
    uint8_t extra2 = 0;
};
bool CacheFind(uintptr_t key1, uint32_t key2, uint32_t key3, TCacheResult& result);
void CacheAdd(uintptr_t key1, uint32_t key2, uint32_t key3, const TCacheResult& result);
void CacheClear();

} // namespace cv
