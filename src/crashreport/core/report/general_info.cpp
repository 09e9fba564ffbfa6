#include "crashreport/core/report/general_info.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <span>

#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/core/support/text_routines.h"

namespace cv {

namespace {

const char* const kNotAvailable = "N/A";
const char* const kNoAddress = "000.000.000.000";

std::string OrNotAvailable(std::string value) { return value.empty() ? std::string(kNotAvailable) : value; }

// Everything an item's value is made from; the network values are gathered once.
struct TItemContext {
    const TSystemFacts& facts;
    const TGeneralInfoInput& input;
    TDateTime startTime;
    std::string exceptionClass, exceptionMessage;
    std::vector<std::string> network;
};

using TValueFunction = std::string (*)(const TItemContext&);

struct TItemDef {
    TMessageType label;
    TShowOption option;
    TValueFunction value;
};

struct TSectionDef {
    TMessageType caption;
    std::span<const TItemDef> items;
};

std::string AddressText(uintptr_t address)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(address));
    return text;
}

// A file's name, and " - (description)" when it has one.
std::string NameAndDescription(const std::string& fileName, const std::string& description)
{
    std::string text = ExtractFileName(fileName);
    if (!description.empty())
        text += " - (" + description + ")";
    return text;
}

std::string MegabytesText(uint64_t bytes) { return std::to_string(std::llround(double(bytes) / 1048576.0)) + " Mb"; }

std::string ExceptionTypeText(const TExceptionObject* object)
{
    if (!object || !object->IsValid())
        return "Unknown exception type";
    // An object that carries its own list of class names is known by the first of them.
    return object->Parents.empty() ? object->ClassName : object->Parents.front();
}

std::string ExceptionMessageText(const TSystemFacts& facts, const TGeneralInfoInput& input)
{
    const TExceptionObject* object = input.ExceptionObject;
    if (!object || !object->IsValid())
        return "Unknown error message.";
    std::string message = object->Message;
    // An access violation is told anew from its record: where, in which
    // module, reading or writing, and which address. Not a SIGSEGV that a
    // process sent: its record holds the sender, not an address (its
    // message says who sent it, ExceptionObjectFromSignalRecord).
    if (InheritsFromName(*object, "EAccessViolation") && input.ExceptionRecord
        && IsReadableMemory(input.ExceptionRecord, sizeof(siginfo_t)) && !SignalSentByProcess(*input.ExceptionRecord)) {
        const uintptr_t accessed = reinterpret_cast<uintptr_t>(input.ExceptionRecord->si_addr);
        // The page-fault error code tells a write by its second bit.
        const bool write = input.Context && IsReadableMemory(input.Context, sizeof(ucontext_t))
                           && (input.Context->uc_mcontext.gregs[REG_ERR] & 2) != 0;
        const std::string access = write ? "Write" : "Read";
        const std::string module = facts.ModuleOfAddress(input.ExceptionAddress).FileName;
        if (!module.empty())
            message = "Access violation at address " + AddressText(input.ExceptionAddress) + " in module '"
                      + ExtractFileName(module) + "'. " + access + " of address " + AddressText(accessed);
        else
            message = "Access violation at address " + AddressText(input.ExceptionAddress) + ". " + access + " of address "
                      + AddressText(accessed);
    }
    if (message.empty() || message.back() != '.')
        message += '.';
    return message;
}

std::string PrivilegesText(const std::vector<TPrivilegeFacts>& privileges)
{
    std::string text;
    for (const TPrivilegeFacts& privilege : privileges)
        text += PadRight(privilege.Name, 31) + (privilege.Enabled ? " - ON" : " - OFF") + "\r\n";
    return text;
}

std::string DisplayModeText(const std::optional<TDisplayFacts>& display)
{
    if (!display)
        return kNotAvailable;
    if (display->Width <= 0 || display->Height <= 0)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d, %d bit", display->Width, display->Height, display->BitsPerPixel);
    return text;
}

// --- The items, section by section ---

const TItemDef kApplicationItems[] = {
    {mtLog_AppStartDate, soAppStartDate, [](const TItemContext& c) { return DateTimeToRFC822(c.startTime); }},
    {mtLog_AppName, soAppName,
     [](const TItemContext& c) { return NameAndDescription(c.facts.ProgramFileName(), c.facts.ProgramDescription()); }},
    {mtLog_AppVersionNumber, soAppVersionNumber, [](const TItemContext& c) { return c.facts.ProgramVersion(); }},
    {mtLog_AppParameters, soAppParameters,
     [](const TItemContext& c) { return generalinfo::ParametersText(c.facts.CommandLine(), c.facts.CommandLineProgram()); }},
    {mtLog_AppCompilationDate, soAppCompilationDate,
     [](const TItemContext& c) {
         // Compiled in UTC, shown in local time.
         const TDateTime compiled = c.input.CompilationDate;
         return compiled != 0 ? DateTimeToRFC822(compiled + LocalTimeOffsetHours() / 24.0) : std::string();
     }},
    {mtLog_AppUpTime, soAppUpTime, [](const TItemContext& c) { return TimeSpanToText(c.input.ExceptionTime - c.startTime); }},
};

const TItemDef kExceptionItems[] = {
    {mtLog_ExcDate, soExcDate, [](const TItemContext& c) { return DateTimeToRFC822(c.input.ExceptionTime); }},
    {mtLog_ExcAddress, soExcAddress,
     [](const TItemContext& c) { return c.input.ExceptionAddress ? AddressText(c.input.ExceptionAddress) : std::string(); }},
    {mtLog_ExcModuleName, soExcModuleName,
     [](const TItemContext& c) {
         const TModuleFacts module = c.facts.ModuleOfAddress(c.input.ExceptionAddress);
         return NameAndDescription(module.FileName, module.Description);
     }},
    {mtLog_ExcModuleVersion, soExcModuleVersion,
     [](const TItemContext& c) { return c.facts.ModuleOfAddress(c.input.ExceptionAddress).Version; }},
    {mtLog_ExcType, soExcType, [](const TItemContext& c) { return c.exceptionClass; }},
    {mtLog_ExcMessage, soExcMessage, [](const TItemContext& c) { return c.exceptionMessage; }},
    {mtLog_ExcID, soExcID, [](const TItemContext& c) { return c.input.ErrorID; }},
    {mtLog_ExcCount, soExcCount, [](const TItemContext&) { return std::string("1"); }},
    {mtLog_ExcStatus, soExcStatus, [](const TItemContext&) { return std::string("New"); }},
    {mtLog_ExcNote, soExcNote, [](const TItemContext&) { return std::string(); }},
};

const TItemDef kUserItems[] = {
    {mtLog_UserID, soUserID, [](const TItemContext& c) { return c.facts.UserName(); }},
    {mtLog_UserName, soUserName, [](const TItemContext& c) { return c.facts.UserFullName(); }},
    {mtLog_UserEmail, soUserEmail, [](const TItemContext& c) { return c.input.UserEmail; }},
    {mtLog_UserCompany, soUserCompany, [](const TItemContext& c) { return c.facts.UserCompany(); }},
    {mtLog_UserPrivileges, soUserPrivileges, [](const TItemContext& c) { return PrivilegesText(c.facts.Privileges()); }},
};

const TItemDef kActiveControlItems[] = {
    {mtLog_ActCtrlsFormClass, soActCtlsFormClass,
     [](const TItemContext& c) {
         const std::optional<TActiveWindowFacts> window = c.facts.ActiveWindow();
         return window ? window->ClassName.substr(0, 256) : std::string(kNotAvailable);
     }},
    {mtLog_ActCtrlsFormText, soActCtlsFormText,
     [](const TItemContext& c) {
         const std::optional<TActiveWindowFacts> window = c.facts.ActiveWindow();
         return window ? FlattenControlChars(window->Text.substr(0, 256)) : std::string(kNotAvailable);
     }},
    {mtLog_ActCtrlsControlClass, soActCtlsControlClass, [](const TItemContext& c) { return c.input.ActiveControlClass; }},
    {mtLog_ActCtrlsControlText, soActCtlsControlText,
     [](const TItemContext& c) { return FlattenControlChars(c.input.ActiveControlText); }},
};

const TItemDef kComputerItems[] = {
    {mtLog_CmpName, soCmpName, [](const TItemContext& c) { return c.facts.ComputerName(); }},
    {mtLog_CmpTotalMemory, soCmpTotalMemory,
     [](const TItemContext& c) {
         const std::optional<TMemoryFacts> memory = c.facts.Memory();
         return memory ? MegabytesText(memory->Total) : std::string();
     }},
    {mtLog_CmpFreeMemory, soCmpFreeMemory,
     [](const TItemContext& c) {
         const std::optional<TMemoryFacts> memory = c.facts.Memory();
         return memory ? MegabytesText(memory->Available) : std::string();
     }},
    {mtLog_CmpTotalDisk, soCmpTotalDisk,
     [](const TItemContext& c) {
         const std::optional<TDiskFacts> disk = c.facts.Disk(c.facts.ProgramFileName());
         return disk ? generalinfo::GigabytesText(disk->Total) + " Gb" : std::string();
     }},
    {mtLog_CmpFreeDisk, soCmpFreeDisk,
     [](const TItemContext& c) {
         const std::optional<TDiskFacts> disk = c.facts.Disk(c.facts.ProgramFileName());
         return disk ? generalinfo::GigabytesText(disk->Available) + " Gb" : std::string();
     }},
    {mtLog_CmpSystemUpTime, soCmpSysUpTime,
     [](const TItemContext& c) {
         const std::optional<uint64_t> ms = c.facts.SystemUpTimeMs();
         return ms ? TimeSpanToText(double(*ms) / 86400000.0) : std::string();
     }},
    {mtLog_CmpProcessor, soCmpProcessor, [](const TItemContext& c) { return c.facts.Processor(); }},
    {mtLog_CmpDisplayMode, soCmpDisplayMode, [](const TItemContext& c) { return DisplayModeText(c.facts.Display()); }},
    {mtLog_CmpDisplayDPI, soCmpDisplayDPI,
     [](const TItemContext& c) {
         const std::optional<TDisplayFacts> display = c.facts.Display();
         if (!display)
             return std::string(kNotAvailable);
         return display->DotsPerInch > 0 ? std::to_string(display->DotsPerInch) : std::string();
     }},
    // No graphics card the kernel's display drivers know, no printer set up:
    // nothing this system can tell.
    {mtLog_CmpVideoCard, soCmpVideoCard, [](const TItemContext& c) { return OrNotAvailable(c.facts.VideoCard()); }},
    {mtLog_CmpPrinter, soCmpPrinter,
     [](const TItemContext& c) { return OrNotAvailable(c.facts.DefaultPrinter().value_or(std::string())); }},
};

const TItemDef kOSItems[] = {
    {mtLog_OSType, soOSType, [](const TItemContext& c) { return c.facts.OSName(); }},
    {mtLog_OSBuildN, soOSBuildN, [](const TItemContext& c) { return c.facts.OSBuild(); }},
    {mtLog_OSUpdate, soOSUpdate, [](const TItemContext& c) { return TrimA(c.facts.OSUpdate()); }},
    {mtLog_OSLanguage, soOSLanguage, [](const TItemContext& c) { return c.facts.OSLanguage(); }},
    {mtLog_OSCharset, soOSCharset, [](const TItemContext& c) { return c.facts.OSCharset(); }},
};

const TItemDef kNetworkItems[] = {
    {mtLog_NetIP, soNetIP, [](const TItemContext& c) { return c.network[0]; }},
    {mtLog_NetSubmask, soNetSubmask, [](const TItemContext& c) { return c.network[1]; }},
    {mtLog_NetGateway, soNetGateway, [](const TItemContext& c) { return c.network[2]; }},
    {mtLog_NetDNS1, soNetDNS1, [](const TItemContext& c) { return c.network[3]; }},
    {mtLog_NetDNS2, soNetDNS2, [](const TItemContext& c) { return c.network[4]; }},
    {mtLog_NetDHCP, soNetDHCP, [](const TItemContext& c) { return c.network[5]; }},
};

const TSectionDef kSections[] = {
    {mtLog_AppHeader, kApplicationItems}, {mtLog_ExcHeader, kExceptionItems},       {mtLog_UserHeader, kUserItems},
    {mtLog_ActCtrlsHeader, kActiveControlItems}, {mtLog_CmpHeader, kComputerItems}, {mtLog_OSHeader, kOSItems},
    {mtLog_NetHeader, kNetworkItems},
};

} // namespace

namespace generalinfo {

std::string FixedAddress(std::string_view address)
{
    if (address.empty())
        return kNoAddress;
    std::string text;
    for (;;) {
        const std::size_t dot = address.find('.');
        const std::string_view part = address.substr(0, dot);
        if (part.size() < 3)
            text.append(3 - part.size(), '0');
        text.append(part);
        if (dot == std::string_view::npos)
            return text;
        text += '.';
        address.remove_prefix(dot + 1);
    }
}

std::string GigabytesText(uint64_t bytes)
{
    const long long hundredths = std::llround(double(bytes) / 1073741824.0 * 100.0);
    std::string text = std::to_string(hundredths / 100);
    if (const long long fraction = hundredths % 100; fraction != 0) {
        text += '.';
        text += char('0' + fraction / 10);
        if (fraction % 10 != 0)
            text += char('0' + fraction % 10);
    }
    return text;
}

std::vector<std::string> NetworkValues(const std::vector<TNetworkAdapterFacts>& adapters)
{
    // Each adapter's part is 18 characters wide, so several adapters line up in columns.
    std::vector<std::string> values(6);
    for (const TNetworkAdapterFacts& adapter : adapters) {
        const std::string dhcp = adapter.DHCP ? (*adapter.DHCP ? "ON" : "OFF") : kNotAvailable;
        values[5] += PadRight(dhcp, 15) + " - ";
        values[0] += FixedAddress(adapter.Address) + " - ";
        values[1] += FixedAddress(adapter.Mask) + " - ";
        values[2] += FixedAddress(adapter.Gateway) + " - ";
        values[3] += (adapter.DNSServers.size() > 0 ? FixedAddress(adapter.DNSServers[0]) : std::string(kNoAddress)) + " - ";
        values[4] += (adapter.DNSServers.size() > 1 ? FixedAddress(adapter.DNSServers[1]) : std::string(kNoAddress)) + " - ";
    }
    for (std::string& value : values)
        if (value.size() >= 3)
            value.resize(value.size() - 3);
    return values;
}

std::string ParametersText(const std::string& commandLine, const std::string& program)
{
    std::string line = TrimA(commandLine);
    // A quoted program name loses its quotes.
    if (!line.empty() && line[0] == '"') {
        line.erase(0, 1);
        if (const std::size_t close = line.find('"'); close != std::string::npos)
            line.erase(close, 1);
    }
    const std::size_t skip = program.size() + 1;
    return skip < line.size() ? TrimA(std::string_view(line).substr(skip)) : std::string();
}

} // namespace generalinfo

TGeneralInformation BuildGeneralInformation(const TCrashboxModuleOptions& options, const TSystemFacts& facts,
                                            const TGeneralInfoInput& input)
{
    TItemContext context{facts, input, facts.ProgramStartTime(), ExceptionTypeText(input.ExceptionObject),
                         ExceptionMessageText(facts, input), generalinfo::NetworkValues(facts.NetworkAdapters())};
    const TShowOptions shown = options.ShowOptions();
    // Windows, and so the active controls, belong to programs that have them.
    const bool windowed = !input.WebApplication && !facts.IsConsoleProgram();
    TLogItem item(0);
    for (const TSectionDef& section : kSections) {
        item.AddHeader(options.GetExpandedText(section.caption));
        const bool sectionShown = section.caption != mtLog_ActCtrlsHeader || windowed;
        for (const TItemDef& def : section.items) {
            const bool show = sectionShown && shown.Contains(def.option);
            item.AddItem(options.GetExpandedText(def.label), show ? def.value(context) : std::string(), show);
        }
    }
    TGeneralInformation result;
    result.Text = std::string(kReportVersionLine) + "\r\n\r\n" + item.Value();
    result.ExceptionClass = std::move(context.exceptionClass);
    result.ExceptionMessage = std::move(context.exceptionMessage);
    return result;
}

std::string CustomDataSection(const std::string& header, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    TLogItem item(7);
    item.AddHeader(header);
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=');
        item.AddItem(TrimA(std::string_view(line).substr(0, equals)),
                     equals == std::string::npos ? std::string() : TrimA(std::string_view(line).substr(equals + 1)), true);
    }
    return item.Value() + "\r\n";
}

std::string CustomTextSection(const std::string& header, const std::string& text)
{
    TLogItem item(7);
    item.AddHeader(header);
    item.AddItem("", text, true);
    return item.Value() + "\r\n";
}

std::string CleanControlChars(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < ' ' && c != '\r' && c != '\n')
            c = ' ';
    return out;
}

} // namespace cv
