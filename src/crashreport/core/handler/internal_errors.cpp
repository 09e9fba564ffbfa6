#include "crashreport/core/handler/internal_errors.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>

#include <dlfcn.h>
#include <execinfo.h>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/internal_error_hooks.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

const char* const kCrashboxSupportEmail = "crashbox-support@corvantis.example";

namespace {

// The process-wide state of this unit.
struct TInternalState {
    std::mutex lock;
    TInternalWarning lastWarning;
    TInternalErrorServices services;
    std::unique_ptr<TLogFile> sharedLog;
    std::string sharedLogName;
};

TInternalState& State()
{
    static TInternalState state;
    return state;
}

TInternalErrorServices Services()
{
    std::lock_guard guard(State().lock);
    return State().services;
}

void DebugOutput(const TInternalErrorServices& services, const std::string& text)
{
    if (services.DebugOutput)
        services.DebugOutput(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

int MessageBox(const TInternalErrorServices& services, const std::string& caption, const std::string& text, unsigned flags)
{
    if (services.MessageBox)
        return services.MessageBox(caption, text, flags);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (flags & 0xF) == 4 ? kMessageBoxNo : kMessageBoxOK;
}

std::string Hex(uintptr_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016" PRIXPTR, value);
    return buffer;
}

// The location of an address from the dynamic linker: the module and the
// nearest exported symbol, until the debug-data lookup is bound.
bool ModuleLocation(uintptr_t address, TCrashboxDebugInfo& info)
{
    Dl_info dl{};
    if (address == 0 || dladdr(reinterpret_cast<void*>(address), &dl) == 0)
        return false;
    info.Addr = address;
    info.DebugDetail = dl.dli_sname ? TCrashboxDebugDetail::ddProcedure : TCrashboxDebugDetail::ddModule;
    if (dl.dli_sname)
        info.ProcedureName = dl.dli_sname;
    return true;
}

// The lookup of the internal call stack's lines: the one bound, else the
// core's own over a modules list of the report's (the handler's list may be
// in the middle of the step that failed).
TInternalLocate Locator(const TInternalErrorServices& services, TCrashboxModulesList& modules)
{
    if (services.FillDebugInfoForAddress)
        return services.FillDebugInfoForAddress;
    return [&modules](uintptr_t address, TCrashboxDebugInfo& info) {
        FillDebugInfoForAddress(address, CurrentThreadID(), info, true, false,
                                [&modules](uintptr_t a) { return ModuleInfoByAddr(modules, a); });
        return info.DebugDetail != TCrashboxDebugDetail::ddNone;
    };
}

} // namespace

const char* CrashboxErrorCodeName(TCrashboxErrorCode code)
{
    static const char* const names[] = {"eeNone", "eeShowError", "eeLogError", "eeEmailMAPIError", "eeEmailShellError",
                                        "eeEmailSMTPError", "eeWebHTTPError", "eeWebHTTPSError", "eeWebFTPError", "eeWebTrakerError"};
    return code <= eeWebTrakerError ? names[code] : "";
}

void SetInternalErrorServices(TInternalErrorServices services)
{
    std::lock_guard guard(State().lock);
    State().services = std::move(services);
}

void LogInternalWarning(TCrashboxErrorCode code, const std::string& message)
{
    {
        std::lock_guard guard(State().lock);
        State().lastWarning = {code, message};
    }
    const TInternalErrorServices services = Services();
    const uintptr_t address = services.CurrentExceptionAddress ? services.CurrentExceptionAddress() : 0;
    DebugOutput(services, std::string("[WARNING] - Code: ") + CrashboxErrorCodeName(code) + " - Address: " + Hex(address)
                              + " - Message: \"" + message + "\"");
    const bool sending = code == eeEmailSMTPError || code == eeWebHTTPError || code == eeWebHTTPSError || code == eeWebFTPError
                         || code == eeWebTrakerError;
    if (sending && services.SendDialogOpen && services.SendDialogOpen())
        MessageBox(services, "Error.", message, kWarningBoxFlags);
}

void ClearInternalWarning()
{
    std::lock_guard guard(State().lock);
    State().lastWarning = {};
}

TInternalWarning LastInternalWarning()
{
    std::lock_guard guard(State().lock);
    return State().lastWarning;
}

void LogStepWarning(TCrashboxErrorCode code, const std::string& stepName)
{
    const TExceptionObject exception = CurrentExceptionObject();
    if (InheritsFromName(exception, "Exception"))
        LogInternalWarning(code, "[" + stepName + "] " + exception.Message);
    else
        LogInternalWarning(code, "General '" + stepName + "' error.");
}

// Never inlined: the first frame it skips is its own.
[[gnu::noinline]] std::string CallStackToInternalText(const TInternalLocate& locate)
{
    std::array<void*, 32> frames{};
    // One more than kept: the first is this routine itself.
    const int count = ::backtrace(frames.data(), int(frames.size()));
    std::string text;
    char line[96];
    for (int i = 1; i < count; ++i) {
        const auto address = reinterpret_cast<uintptr_t>(frames[std::size_t(i)]);
        const uintptr_t handle = ModuleHandleOfAddress(frames[std::size_t(i)]);
        std::snprintf(line, sizeof line, "%02X $%016llX - [%016llX] ", unsigned(i - 1), static_cast<unsigned long long>(address),
                      static_cast<unsigned long long>(handle));
        if (i > 1)
            text += "\r\n" + std::string(12, ' ');
        text += line + ExtractFileName(ModuleFileNameOfHandle(handle)) + " ";
        // A return address: the call it returns from lies just before it.
        TCrashboxDebugInfo info;
        if (locate && locate(address - 1, info) && info.Line != 0)
            text += "- " + info.UnitName + " - " + info.ClassName + " - " + info.ProcedureName + " - " + std::to_string(info.Line) + "["
                    + std::to_string(int32_t(info.ProcOffsetLine)) + "]";
    }
    return text;
}

std::string FormatInternalStackLine(uintptr_t address)
{
    const TInternalErrorServices services = Services();
    TCrashboxDebugInfo info;
    info.RunningThread = info.ErrorLine = true;
    info.ThreadID = CurrentThreadID();
    const bool found = services.FillDebugInfoForAddress ? services.FillDebugInfoForAddress(address, info) : ModuleLocation(address, info);
    uintptr_t base = 0;
    std::string module;
    Dl_info dl{};
    if (found && address && dladdr(reinterpret_cast<void*>(address), &dl) != 0) {
        base = reinterpret_cast<uintptr_t>(dl.dli_fbase);
        module = ExtractFileName(dl.dli_fname ? dl.dli_fname : "");
    }
    if (info.ModuleInfo) {
        base = info.ModuleInfo->Handle;
        module = ExtractFileName(info.ModuleInfo->Name);
    }
    return "$" + Hex(address) + " - [" + Hex(base) + "] " + module + " - " + info.UnitName + " - " + info.ClassName + " - "
           + info.ProcedureName + " - " + std::to_string(info.Line) + "[" + std::to_string(info.ProcOffsetLine) + "]";
}

std::string InternalBugReport(const std::string& sectionName, const TExceptionObject& exception, uintptr_t address)
{
    const TInternalErrorServices services = Services();
    TCrashboxModulesList modules;
    const bool isException = InheritsFromName(exception, "Exception");
    const std::string message = isException ? exception.Message : "General internal error.";
    const std::string className = isException ? exception.ClassName : std::string();
    const std::string lastExcept = services.LastExceptionClassName ? services.LastExceptionClassName() : std::string();

    std::string dump;
    if (address && IsReadableMemory(reinterpret_cast<const void*>(address), 32)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(address);
        char cell[8];
        for (int i = 0; i < 32; ++i) {
            std::snprintf(cell, sizeof cell, "$%02X ", bytes[i]);
            dump += cell;
        }
    }
    const TDateTimeParts now = DecodeDateTime(NowDateTime());
    char date[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour, now.minute, now.second);
    return "Version   : 6.1.03\r\nDate      : " + std::string(date) + "\r\nOS        : " + GetWindowsVersionName()
           + "\r\nRAD       : BDS 9.0\r\nDump      : " + dump + "\r\nSection   : " + sectionName + "\r\nLastExcept: " + lastExcept
           + "\r\nAddress   : " + FormatInternalStackLine(address) + "\r\nException : " + className + "\r\nMessage   : " + message
           + "\r\nCall Stack: " + CallStackToInternalText(Locator(services, modules));
}

void HandleInternalError(const std::string& sectionName)
{
    SetInternalErrorRunning(true);
    try {
        const TExceptionObject exception = CurrentExceptionObject();
        const TInternalErrorServices services = Services();
        const bool watched = (services.IDEHost ? services.IDEHost() : IsIDEHost())
                             || (services.DebuggerPresent ? services.DebuggerPresent() : IsDebuggerAttached());
        if (!InheritsFromName(exception, "EAbort") && !InheritsFromName(exception, "ECrashboxSocketError") && watched) {
            // An exception the program raised: the start of the raising call.
            uintptr_t address = services.CurrentExceptionAddress ? services.CurrentExceptionAddress() : 0;
            if (!InheritsFromName(exception, "EExternal") && address != 0)
                address -= 5;
            const bool isException = InheritsFromName(exception, "Exception");
            const std::string message = isException ? exception.Message : "General internal error.";
            DebugOutput(services, "[ERROR] - Section: " + sectionName + " - Address: " + Hex(address) + " - Message: \"" + message + "\"");
            const std::string report = InternalBugReport(sectionName, exception, address);

            const std::string fileName =
                services.BugReportFileName ? services.BugReportFileName() : ChangeFileExt(GetExeFileNameA(), ".log");
            // Its user's alone when new: it holds the report's memory dump.
            if (CanWriteFile(fileName))
                ReplaceFileContents(fileName, report);
            const int answer = MessageBox(services, "Probably internal bug",
                                          "Error: '" + message + "'\r\n\r\nThis is an internal Crashbox bug.\r\n"
                                                                 "Do you want to send the bug information to Crashbox author?",
                                          kInternalBugBoxFlags);
            if (answer == kMessageBoxYes) {
                const bool sent = services.SendEmailByMAPI
                                  && services.SendEmailByMAPI(kCrashboxSupportEmail, "Crashbox 6.1.03 critical bug.",
                                                              "Crashbox 6.1.03 critical bug.", fileName);
                if (!sent)
                    MessageBox(services, "Information",
                               "Cannot connect with your email client.\r\n\r\nPlease send the file \"" + fileName + "\" by hand to \""
                                   + kCrashboxSupportEmail + "\".\r\n\r\nPress OK to close this box.",
                               kInformationBoxFlags);
            }
        }
    } catch (...) {
        // The handler itself never raises.
    }
    SetInternalErrorRunning(false);
}

TLogFile& OpenSharedLogFile(const TCrashboxModuleOptions& options)
{
    const std::string name = ExpandVariables(options.OutputLogFile(""));
    std::lock_guard guard(State().lock);
    TInternalState& state = State();
    if (state.sharedLog && state.sharedLogName != name)
        state.sharedLog.reset();
    if (!state.sharedLog) {
        state.sharedLogName = name;
        state.sharedLog = std::make_unique<TLogFile>(name, false);
    }
    return *state.sharedLog;
}

void CloseSharedLogFile()
{
    std::lock_guard guard(State().lock);
    State().sharedLog.reset();
    State().sharedLogName.clear();
}

} // namespace cv
