#include "crashreport/core/capture/system_facts.h"

#include <QCoreApplication>
#include <QLocale>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <langinfo.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/profile_file.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/core/support/text_routines.h"

namespace cv {

namespace {

std::mutex gGuiFactsLock;
std::shared_ptr<const TGuiFacts> gGuiFacts;

// "Key<blank or tab>: value" lines of /proc files; the first value of the key.
std::optional<std::string> KeyValue(std::string_view text, std::string_view key)
{
    for (std::string_view line : SplitTextLines(text)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || TrimA(line.substr(0, colon)) != key)
            continue;
        return TrimA(line.substr(colon + 1));
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseUnsigned(std::string_view text, int base = 10)
{
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

// The words of a text, split at blanks and tabs.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::string ReadText(const std::string& fileName)
{
    std::string text;
    return ReadFileText(fileName, text) ? text : std::string();
}

// The name of a PCI device from the ids list ("vvvv  Vendor" lines, then
// "<tab>dddd  Device" lines under each vendor).
std::string PciDeviceName(const std::string& ids, std::string_view vendor, std::string_view device)
{
    std::string vendorName;
    for (std::string_view line : SplitTextLines(ids)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] != '\t') {
            if (!vendorName.empty())
                return vendorName; // the vendor's devices are behind us
            if (line.size() > 6 && line.substr(0, 4) == vendor)
                vendorName = TrimA(line.substr(4));
            continue;
        }
        if (!vendorName.empty() && line.size() > 7 && line[1] != '\t' && line.substr(1, 4) == device)
            return vendorName + " " + TrimA(line.substr(5));
    }
    return vendorName;
}

// The names of a folder's entries; none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

void RegisterGuiFacts(std::shared_ptr<const TGuiFacts> facts)
{
    std::lock_guard guard(gGuiFactsLock);
    gGuiFacts = std::move(facts);
}

std::shared_ptr<const TGuiFacts> RegisteredGuiFacts()
{
    std::lock_guard guard(gGuiFactsLock);
    return gGuiFacts;
}

// --- The readers ---

namespace systemfacts {

std::optional<TMemoryFacts> ParseMemInfo(std::string_view text)
{
    // "MemTotal:  16318844 kB"
    auto kilobytes = [&](std::string_view key) -> std::optional<uint64_t> {
        const std::optional<std::string> value = KeyValue(text, key);
        if (!value)
            return std::nullopt;
        const std::optional<uint64_t> number = ParseUnsigned(*value);
        return number ? std::optional<uint64_t>(*number * 1024) : std::nullopt;
    };
    const std::optional<uint64_t> total = kilobytes("MemTotal");
    std::optional<uint64_t> available = kilobytes("MemAvailable");
    if (!available)
        available = kilobytes("MemFree");
    if (!total || !available)
        return std::nullopt;
    return TMemoryFacts{*total, *available};
}

std::string CapabilityName(int number)
{
    static constexpr const char* kNames[] = {
        "CAP_CHOWN",          "CAP_DAC_OVERRIDE", "CAP_DAC_READ_SEARCH", "CAP_FOWNER",       "CAP_FSETID",
        "CAP_KILL",           "CAP_SETGID",       "CAP_SETUID",          "CAP_SETPCAP",      "CAP_LINUX_IMMUTABLE",
        "CAP_NET_BIND_SERVICE", "CAP_NET_BROADCAST", "CAP_NET_ADMIN",    "CAP_NET_RAW",      "CAP_IPC_LOCK",
        "CAP_IPC_OWNER",      "CAP_SYS_MODULE",   "CAP_SYS_RAWIO",       "CAP_SYS_CHROOT",   "CAP_SYS_PTRACE",
        "CAP_SYS_PACCT",      "CAP_SYS_ADMIN",    "CAP_SYS_BOOT",        "CAP_SYS_NICE",     "CAP_SYS_RESOURCE",
        "CAP_SYS_TIME",       "CAP_SYS_TTY_CONFIG", "CAP_MKNOD",         "CAP_LEASE",        "CAP_AUDIT_WRITE",
        "CAP_AUDIT_CONTROL",  "CAP_SETFCAP",      "CAP_MAC_OVERRIDE",    "CAP_MAC_ADMIN",    "CAP_SYSLOG",
        "CAP_WAKE_ALARM",     "CAP_BLOCK_SUSPEND", "CAP_AUDIT_READ",     "CAP_PERFMON",      "CAP_BPF",
        "CAP_CHECKPOINT_RESTORE"};
    if (number >= 0 && std::size_t(number) < std::size(kNames))
        return kNames[number];
    return "CAP_" + std::to_string(number);
}

std::vector<TPrivilegeFacts> ParseCapabilities(std::string_view status)
{
    std::vector<TPrivilegeFacts> privileges;
    const std::optional<std::string> permitted = KeyValue(status, "CapPrm");
    const std::optional<std::string> effective = KeyValue(status, "CapEff");
    const std::optional<uint64_t> held = permitted ? ParseUnsigned(*permitted, 16) : std::nullopt;
    const uint64_t enabled = effective ? ParseUnsigned(*effective, 16).value_or(0) : 0;
    if (!held)
        return privileges;
    for (int bit = 0; bit < 64; ++bit)
        if (*held >> bit & 1)
            privileges.push_back({CapabilityName(bit), (enabled >> bit & 1) != 0});
    return privileges;
}

std::string ParseCpuInfo(std::string_view text)
{
    // Only the first processor's block.
    std::string_view first = text.substr(0, text.find("\n\n"));
    for (const char* key : {"model name", "Processor", "cpu model"})
        if (const std::optional<std::string> name = KeyValue(first, key); name && !name->empty())
            return *name;
    const std::string vendor = KeyValue(first, "vendor_id").value_or("");
    const std::optional<std::string> family = KeyValue(first, "cpu family");
    std::string identifier;
    if (family)
        identifier = "Family " + *family + " Model " + KeyValue(first, "model").value_or("?") + " Stepping "
                     + KeyValue(first, "stepping").value_or("?");
    if (!vendor.empty() && !identifier.empty())
        return vendor + " - " + identifier;
    if (!vendor.empty() || !identifier.empty())
        return vendor + identifier;
    return "Unknown processor";
}

std::vector<std::string> ParseResolvConf(std::string_view text)
{
    std::vector<std::string> servers;
    for (std::string_view line : SplitTextLines(text)) {
        const std::vector<std::string_view> words = Words(line);
        if (words.size() >= 2 && words[0] == "nameserver")
            servers.emplace_back(words[1]);
    }
    return servers;
}

std::string DefaultGateway(std::string_view routeTable, std::string_view interfaceName)
{
    // "Iface Destination Gateway Flags ...": addresses in hexadecimal, in memory order.
    constexpr uint64_t kRouteGateway = 0x2;
    for (std::string_view line : SplitTextLines(routeTable)) {
        const std::vector<std::string_view> words = Words(line);
        if (words.size() < 4 || words[0] != interfaceName || words[1] != "00000000")
            continue;
        const std::optional<uint64_t> gateway = ParseUnsigned(words[2], 16);
        const std::optional<uint64_t> flags = ParseUnsigned(words[3], 16);
        if (!gateway || !flags || !(*flags & kRouteGateway))
            continue;
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(*gateway & 0xFF), unsigned(*gateway >> 8 & 0xFF),
                      unsigned(*gateway >> 16 & 0xFF), unsigned(*gateway >> 24 & 0xFF));
        return text;
    }
    return {};
}

TDateTime ProcessStartTime(std::string_view selfStat, std::string_view procStat, long ticksPerSecond)
{
    // The start time is the 22nd field; the name (the 2nd) may hold blanks and
    // brackets, so the fields are counted from after its closing bracket.
    const std::size_t close = selfStat.rfind(')');
    if (close == std::string_view::npos || ticksPerSecond <= 0)
        return 0;
    const std::vector<std::string_view> fields = Words(selfStat.substr(close + 1));
    if (fields.size() < 20)
        return 0;
    const std::optional<uint64_t> ticks = ParseUnsigned(fields[19]);
    std::optional<uint64_t> bootTime;
    for (std::string_view line : SplitTextLines(procStat)) {
        const std::vector<std::string_view> words = Words(line);
        if (words.size() >= 2 && words[0] == "btime")
            bootTime = ParseUnsigned(words[1]);
    }
    if (!ticks || !bootTime)
        return 0;
    return UnixTimeToDateTime(int64_t(*bootTime)) + double(*ticks) / double(ticksPerSecond) / 86400.0;
}

} // namespace systemfacts

// --- This system ---

TLocalSystemFacts::TLocalSystemFacts(std::string rootFolder) : fRoot(std::move(rootFolder)) {}

std::string TLocalSystemFacts::File(std::string_view path) const { return ReadText(fRoot + std::string(path)); }

std::string TLocalSystemFacts::ProgramFileName() const { return GetExeFileNameA(); }

// Program files here carry no version resource with a description.
std::string TLocalSystemFacts::ProgramDescription() const { return {}; }

std::string TLocalSystemFacts::ProgramVersion() const
{
    return QCoreApplication::instance() ? QCoreApplication::applicationVersion().toStdString() : std::string();
}

std::string TLocalSystemFacts::CommandLine() const { return GetCommandLineStr(); }

std::string TLocalSystemFacts::CommandLineProgram() const
{
    const std::string arguments = File("/proc/self/cmdline");
    return arguments.substr(0, arguments.find('\0'));
}

TDateTime TLocalSystemFacts::ProgramStartTime() const
{
    return systemfacts::ProcessStartTime(File("/proc/self/stat"), File("/proc/stat"), ::sysconf(_SC_CLK_TCK));
}

bool TLocalSystemFacts::IsConsoleProgram() const
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !(app && app->inherits("QGuiApplication"));
}

TModuleFacts TLocalSystemFacts::ModuleOfAddress(uintptr_t address) const
{
    TModuleFacts module;
    if (address == 0)
        return module;
    module.FileName = ModuleFileNameOfHandle(ModuleHandleOfAddress(reinterpret_cast<const void*>(address)));
    if (module.FileName.empty())
        return module;
    std::error_code moduleError, programError;
    const std::filesystem::path real = std::filesystem::canonical(module.FileName, moduleError);
    const std::filesystem::path program = std::filesystem::canonical(ProgramFileName(), programError);
    if (!moduleError && !programError && real == program) {
        module.Version = ProgramVersion();
        return module;
    }
    // A library's version is what follows ".so." in the name of the file it was loaded from.
    const std::string name = moduleError ? ExtractFileName(module.FileName) : real.filename().string();
    if (const std::size_t so = name.find(".so."); so != std::string::npos) {
        const std::string version = name.substr(so + 4);
        if (!version.empty() && version.find_first_not_of("0123456789.") == std::string::npos)
            module.Version = version;
    }
    return module;
}

std::string TLocalSystemFacts::UserName() const { return GetCurrentUserName().substr(0, 256); }

std::string TLocalSystemFacts::UserFullName() const { return GetRegisteredOwner(); }

std::string TLocalSystemFacts::UserCompany() const
{
    // Where the organisation is recorded, in the registry stand-in.
    std::string company =
        RegReadString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", "RegisteredOrganization");
    if (company.empty())
        company = RegReadString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", "RegisteredOrganization");
    if (company.empty())
        company = RegReadString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO", "DefCompany");
    return company;
}

std::vector<TPrivilegeFacts> TLocalSystemFacts::Privileges() const
{
    return systemfacts::ParseCapabilities(File("/proc/self/status"));
}

std::string TLocalSystemFacts::ComputerName() const { return GetComputerNameStr(); }

std::optional<TMemoryFacts> TLocalSystemFacts::Memory() const
{
    if (std::optional<TMemoryFacts> memory = systemfacts::ParseMemInfo(File("/proc/meminfo")))
        return memory;
    struct sysinfo info {};
    if (!fRoot.empty() || ::sysinfo(&info) != 0)
        return std::nullopt;
    return TMemoryFacts{uint64_t(info.totalram) * info.mem_unit, uint64_t(info.freeram) * info.mem_unit};
}

std::optional<TDiskFacts> TLocalSystemFacts::Disk(const std::string& fileName) const
{
    struct statvfs disk {};
    if (fileName.empty() || ::statvfs(fileName.c_str(), &disk) != 0)
        return std::nullopt;
    return TDiskFacts{uint64_t(disk.f_blocks) * disk.f_frsize, uint64_t(disk.f_bavail) * disk.f_frsize};
}

std::optional<uint64_t> TLocalSystemFacts::SystemUpTimeMs() const
{
    // "/proc/uptime": seconds since the start, with hundredths.
    const std::string text = File("/proc/uptime");
    if (const std::optional<double> seconds = DotStrToFloat(text.substr(0, text.find(' '))); seconds && *seconds >= 0)
        return uint64_t(*seconds * 1000.0 + 0.5);
    struct sysinfo info {};
    if (!fRoot.empty() || ::sysinfo(&info) != 0)
        return std::nullopt;
    return uint64_t(info.uptime) * 1000;
}

std::string TLocalSystemFacts::Processor() const { return systemfacts::ParseCpuInfo(File("/proc/cpuinfo")); }

std::string TLocalSystemFacts::VideoCard() const
{
    // The first graphics card the kernel's display drivers know.
    const std::string drm = fRoot + "/sys/class/drm/";
    for (const std::string& name : FolderEntries(drm)) {
        if (name.size() <= 4 || name.compare(0, 4, "card") != 0 || name.find_first_not_of("0123456789", 4) != std::string::npos)
            continue;
        const std::string card = drm + name;
        const std::string uevent = ReadText(card + "/device/uevent");
        std::string driver, pciId;
        for (std::string_view line : SplitTextLines(uevent)) {
            if (line.substr(0, 7) == "DRIVER=")
                driver = line.substr(7);
            else if (line.substr(0, 7) == "PCI_ID=")
                pciId = line.substr(7);
        }
        if (driver.empty() && pciId.empty())
            continue;
        std::string adapter;
        if (const std::size_t colon = pciId.find(':'); colon != std::string::npos) {
            const std::string vendor = Lower(pciId.substr(0, colon)), device = Lower(pciId.substr(colon + 1));
            for (const char* ids : {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"})
                if (adapter.empty())
                    adapter = PciDeviceName(File(ids), vendor, device);
            if (adapter.empty())
                adapter = "PCI " + pciId;
        }
        std::string version = driver;
        if (const std::string moduleVersion = TrimA(File("/sys/module/" + driver + "/version")); !driver.empty() && !moduleVersion.empty())
            version += " " + moduleVersion;
        const std::optional<uint64_t> memory = ParseUnsigned(TrimA(ReadText(card + "/device/mem_info_vram_total")));
        std::string text = TrimA(adapter) + " (driver " + version;
        if (memory && *memory > 0)
            text += " - RAM " + std::to_string(*memory / 1048576) + " MB";
        return text + ")";
    }
    return {};
}

std::optional<TDisplayFacts> TLocalSystemFacts::Display() const
{
    const std::shared_ptr<const TGuiFacts> gui = RegisteredGuiFacts();
    if (!gui)
        return std::nullopt;
    return gui->Display().value_or(TDisplayFacts{});
}

std::optional<std::string> TLocalSystemFacts::DefaultPrinter() const
{
    const std::shared_ptr<const TGuiFacts> gui = RegisteredGuiFacts();
    return gui ? std::optional<std::string>(gui->DefaultPrinter()) : std::nullopt;
}

std::optional<TActiveWindowFacts> TLocalSystemFacts::ActiveWindow() const
{
    const std::shared_ptr<const TGuiFacts> gui = RegisteredGuiFacts();
    return gui ? std::optional<TActiveWindowFacts>(gui->ActiveWindow()) : std::nullopt;
}

std::string TLocalSystemFacts::OSName() const { return GetWindowsVersionName(); }

std::string TLocalSystemFacts::OSBuild() const { return GetWindowsBuildNumber(); }

std::string TLocalSystemFacts::OSUpdate() const
{
    // The kernel's build text ("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)").
    utsname system{};
    return ::uname(&system) == 0 ? TrimA(system.version) : std::string();
}

std::string TLocalSystemFacts::OSLanguage() const
{
    return QLocale::languageToString(QLocale::system().language()).toStdString();
}

std::string TLocalSystemFacts::OSCharset() const
{
    const char* codeset = ::nl_langinfo(CODESET);
    return codeset ? codeset : "";
}

std::vector<TNetworkAdapterFacts> TLocalSystemFacts::NetworkAdapters() const
{
    std::vector<TNetworkAdapterFacts> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    const std::string routes = File("/proc/net/route");
    const std::vector<std::string> servers = systemfacts::ParseResolvConf(File("/etc/resolv.conf"));
    std::vector<std::string> names;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_LOOPBACK) || !entry->ifa_name)
            continue;
        const std::string name = entry->ifa_name;
        if (std::find(names.begin(), names.end(), name) != names.end())
            continue; // its first address only
        names.push_back(name);
        auto dotted = [](const sockaddr* address) {
            char text[INET_ADDRSTRLEN] = {};
            if (address && address->sa_family == AF_INET)
                ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
            return std::string(text);
        };
        TNetworkAdapterFacts adapter;
        adapter.Address = dotted(entry->ifa_addr);
        adapter.Mask = dotted(entry->ifa_netmask);
        adapter.Gateway = systemfacts::DefaultGateway(routes, name);
        adapter.DNSServers = servers;
        // A lease of a DHCP client for the interface tells that it got its address so.
        const unsigned index = ::if_nametoindex(name.c_str());
        std::error_code error;
        bool leased = index != 0 && std::filesystem::exists(fRoot + "/run/systemd/netif/leases/" + std::to_string(index), error);
        leased = leased || std::filesystem::exists(fRoot + "/var/lib/dhcp/dhclient." + name + ".leases", error);
        for (const std::string& fileName : FolderEntries(fRoot + "/var/lib/NetworkManager")) {
            const std::string suffix = "-" + name + ".lease";
            leased = leased || (fileName.size() > suffix.size() && fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0);
        }
        if (leased)
            adapter.DHCP = true;
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

} // namespace cv
