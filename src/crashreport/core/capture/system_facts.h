#pragma once
// What a report's general information reads from the system, behind one
// interface: the program, its user, the computer, the operating system and
// the network. The report builds its texts from these facts alone, so a test
// can hand it a fixed system and check the text byte for byte.
//
// TLocalSystemFacts reads this system: files under /proc, /sys and /etc
// (below a root folder that tests may point elsewhere), and sysinfo,
// statvfs, uname, getpwuid, getifaddrs. The core links Qt Core only: what
// only the window system knows (the screen, the default printer, the active
// window) comes from a TGuiFacts adapter that a program with windows
// registers at start (crashreport/gui); without one those facts are absent
// and the report shows "N/A".
//
// A fact that could not be read is empty (or absent), never made up.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/support/date_time.h"

namespace cv {

struct TModuleFacts {
    std::string FileName; // full path; empty when no module holds the address
    std::string Description;
    std::string Version;
};

struct TPrivilegeFacts {
    std::string Name;
    bool Enabled = false;
};

struct TMemoryFacts {
    uint64_t Total = 0;     // bytes of physical memory
    uint64_t Available = 0; // bytes available to programs
};

struct TDiskFacts {
    uint64_t Total = 0;     // bytes of the file system
    uint64_t Available = 0; // bytes the user may still write
};

struct TDisplayFacts {
    int Width = 0, Height = 0, BitsPerPixel = 0;
    int DotsPerInch = 0; // vertical logical dots per inch
};

struct TActiveWindowFacts {
    std::string ClassName;
    std::string Text;
};

struct TNetworkAdapterFacts {
    std::string Address, Mask, Gateway; // dotted IPv4; empty when none
    std::vector<std::string> DNSServers;
    std::optional<bool> DHCP; // absent when nothing tells
};

// The facts only a program with windows has. Called from any thread: an
// adapter answers from what it recorded on the window thread.
class TGuiFacts {
public:
    virtual ~TGuiFacts() = default;
    // The primary screen; nullopt when there is none.
    virtual std::optional<TDisplayFacts> Display() const = 0;
    // The default printer's name and its driver's text (" (driver ...)");
    // empty when there is no default printer.
    virtual std::string DefaultPrinter() const = 0;
    // The program's active window; empty texts when none of its windows is active.
    virtual TActiveWindowFacts ActiveWindow() const = 0;
};

// The process-wide adapter (none at first); null takes it away again.
void RegisterGuiFacts(std::shared_ptr<const TGuiFacts> facts);
std::shared_ptr<const TGuiFacts> RegisteredGuiFacts();

class TSystemFacts {
public:
    virtual ~TSystemFacts() = default;

    // --- The program ---
    // The program file's full path.
    virtual std::string ProgramFileName() const = 0;
    virtual std::string ProgramDescription() const = 0;
    virtual std::string ProgramVersion() const = 0;
    // The command line as one text (arguments with blanks in double quotes),
    // and the program's name as it was given at its start, without quotes.
    virtual std::string CommandLine() const = 0;
    virtual std::string CommandLineProgram() const = 0;
    // Local time; 0 when unknown.
    virtual TDateTime ProgramStartTime() const = 0;
    // A program without windows (no Qt Gui application object).
    virtual bool IsConsoleProgram() const = 0;
    // The module whose code holds the address.
    virtual TModuleFacts ModuleOfAddress(uintptr_t address) const = 0;

    // --- The user ---
    virtual std::string UserName() const = 0;
    virtual std::string UserFullName() const = 0;
    virtual std::string UserCompany() const = 0;
    virtual std::vector<TPrivilegeFacts> Privileges() const = 0;

    // --- The computer ---
    virtual std::string ComputerName() const = 0;
    virtual std::optional<TMemoryFacts> Memory() const = 0;
    // The file system that holds the file.
    virtual std::optional<TDiskFacts> Disk(const std::string& fileName) const = 0;
    virtual std::optional<uint64_t> SystemUpTimeMs() const = 0;
    virtual std::string Processor() const = 0;
    virtual std::string VideoCard() const = 0;
    // nullopt: no window system adapter ("N/A" in the report).
    virtual std::optional<TDisplayFacts> Display() const = 0;
    virtual std::optional<std::string> DefaultPrinter() const = 0;
    virtual std::optional<TActiveWindowFacts> ActiveWindow() const = 0;

    // --- The operating system ---
    virtual std::string OSName() const = 0;
    virtual std::string OSBuild() const = 0;
    virtual std::string OSUpdate() const = 0;
    virtual std::string OSLanguage() const = 0;
    virtual std::string OSCharset() const = 0;

    // --- The network: the adapters with an IPv4 address, loopback left out ---
    virtual std::vector<TNetworkAdapterFacts> NetworkAdapters() const = 0;
};

// This system. Files are read below rootFolder ("" for the real root).
class TLocalSystemFacts : public TSystemFacts {
public:
    explicit TLocalSystemFacts(std::string rootFolder = {});

    std::string ProgramFileName() const override;
    std::string ProgramDescription() const override;
    std::string ProgramVersion() const override;
    std::string CommandLine() const override;
    std::string CommandLineProgram() const override;
    TDateTime ProgramStartTime() const override;
    bool IsConsoleProgram() const override;
    TModuleFacts ModuleOfAddress(uintptr_t address) const override;

    std::string UserName() const override;
    std::string UserFullName() const override;
    std::string UserCompany() const override;
    std::vector<TPrivilegeFacts> Privileges() const override;

    std::string ComputerName() const override;
    std::optional<TMemoryFacts> Memory() const override;
    std::optional<TDiskFacts> Disk(const std::string& fileName) const override;
    std::optional<uint64_t> SystemUpTimeMs() const override;
    std::string Processor() const override;
    std::string VideoCard() const override;
    std::optional<TDisplayFacts> Display() const override;
    std::optional<std::string> DefaultPrinter() const override;
    std::optional<TActiveWindowFacts> ActiveWindow() const override;

    std::string OSName() const override;
    std::string OSBuild() const override;
    std::string OSUpdate() const override;
    std::string OSLanguage() const override;
    std::string OSCharset() const override;

    std::vector<TNetworkAdapterFacts> NetworkAdapters() const override;

private:
    std::string File(std::string_view path) const;
    std::string fRoot;
};

// The readers of the system's text files, on their text.
namespace systemfacts {
// "/proc/meminfo": MemTotal and MemAvailable (MemFree when the kernel is too old).
std::optional<TMemoryFacts> ParseMemInfo(std::string_view text);
// "/proc/self/status": every capability the process holds (CapPrm), enabled
// when it is also effective (CapEff).
std::vector<TPrivilegeFacts> ParseCapabilities(std::string_view status);
// "/proc/cpuinfo": the first processor's model name; else its vendor and
// "Family F Model M Stepping S"; "Unknown processor" when neither is there.
std::string ParseCpuInfo(std::string_view text);
// "/etc/resolv.conf": the name servers in order.
std::vector<std::string> ParseResolvConf(std::string_view text);
// "/proc/net/route": the default gateway of an interface, dotted; empty when none.
std::string DefaultGateway(std::string_view routeTable, std::string_view interfaceName);
// "/proc/self/stat" and the boot time ("btime" of "/proc/stat"): the process's start, local time.
TDateTime ProcessStartTime(std::string_view selfStat, std::string_view procStat, long ticksPerSecond);
// The name of a capability by its number ("CAP_SYS_ADMIN"); "CAP_<n>" for one this list does not know.
std::string CapabilityName(int number);
} // namespace systemfacts

} // namespace cv
