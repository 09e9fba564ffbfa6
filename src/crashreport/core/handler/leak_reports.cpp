#include "crashreport/core/handler/leak_reports.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/options_stream.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

// The leak report being gathered (the end-of-program steps run on one thread).
struct TLeakReportState {
    std::unique_ptr<TCrashboxStackList> stack;
    uint32_t leaks = 0;
    uint32_t count = 0;
    uint64_t size = 0;
    bool reducedStartUp = false; // the core was started again for the report
};

TLeakReportState& Gathered()
{
    static TLeakReportState state;
    return state;
}

// An overrun or a second free, reported where it happened.
void ReportBlockFault(const char* kind, TMessageType text)
{
    if (!CoreSwitchedOn() || !CrashboxActivated())
        return;
    const TExceptionObject object = ExceptionObjectOfKind(kind, CurrentCrashboxOptions().GetExpandedText(text));
    ExceptNotify(object, 0, false, nullptr, false, aeNone, CrashboxLibraryModuleHandle(), rtUnknown, nullptr, nullptr,
                 reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), 0);
}

// The report opens: when the core has ended already (the steps run at the
// very end of the program), it starts again, reduced, for this report.
void OpenLeakReport()
{
    TLeakReportState& state = Gathered();
    state = TLeakReportState{};
    state.reducedStartUp = StartForLeakReport();
    state.stack = std::make_unique<TCrashboxStackList>();
}

// One leak: a block of its own (its number stands as the block's thread),
// each allocating call an entry that carries the leak's type, size and count.
void AddLeak(const TLeakReport& leak)
{
    TLeakReportState& state = Gathered();
    if (!state.stack || !ModulesList())
        return;
    ++state.leaks;
    state.count += leak.Count;
    state.size += leak.Size;
    TCallStackScan scan;
    scan.List = state.stack.get();
    scan.Modules = ModulesList();
    scan.ThreadID = state.leaks;
    const int first = state.stack->Count();
    for (const uintptr_t address : leak.CallStack)
        AddCallStackItem(address, false, scan);
    for (int i = first; i < state.stack->Count(); ++i) {
        TCrashboxDebugInfo* entry = state.stack->GetItem(i);
        entry->IsALeak = true;
        entry->LeakType = std::string(leak.Type.substr(0, 64));
        entry->LeakSize = uint32_t(leak.Size);
        entry->LeakCount = leak.Count;
    }
}

// The leaks as one report, with nothing shown: the program is ending.
void ReportLeaks(TLeakReportState& state)
{
    std::unique_ptr<TCrashboxStackList> stack = std::move(state.stack);
    if (!stack || stack->Count() == 0 || state.count == 0 || !CoreSwitchedOn() || !CrashboxActivated())
        return;
    TCrashboxModuleOptions& options = CurrentCrashboxOptions();
    TLogOptions log = options.LogOptions();
    log.Exclude(loSaveAssemblerAndCPUSections);
    options.SetLogOptions(log);
    SetHandlingDisabled(true);
    const std::string message = options.GetExpandedText(mtCallStack_LeakCaption) + ": "
                                + options.GetExpandedText(mtCallStack_LeakSize) + "=" + std::to_string(state.size) + " - "
                                + options.GetExpandedText(mtCallStack_LeakCount) + "=" + std::to_string(state.count);
    ExceptNotify(ExceptionObjectOfKind("EMemoryLeak", message), 0, false, std::move(stack), false, aeNone,
                 CrashboxLibraryModuleHandle(), rtUnknown, nullptr, nullptr, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)),
                 0);
    SetHandlingDisabled(false);
}

void CloseLeakReport()
{
    TLeakReportState& state = Gathered();
    ReportLeaks(state);
    if (std::exchange(state.reducedStartUp, false))
        DoneAfterLeakReport();
}

} // namespace

TLeakCallbacks CoreLeakCallbacks()
{
    TLeakCallbacks callbacks;
    callbacks.Overrun = [](const void*, std::size_t) { ReportBlockFault("EMemoryOverrun", mtException_LeakMemoryOverrun); };
    callbacks.MultiFree = [](const void*) { ReportBlockFault("EMultiFree", mtException_LeakMultiFree); };
    callbacks.OpenReport = OpenLeakReport;
    callbacks.Leak = AddLeak;
    callbacks.CloseReport = CloseLeakReport;
    return callbacks;
}

TLeakCatcherState StartLeakCatcherForProgram(const TCrashboxModuleOptions& options, const std::string& programFile)
{
    // The program's options stand for the options block of its file.
    const TLeakOptionsBlock block{kLeakBlockMagic, kCurrentOptionsVersion, uint8_t(options.LeaksOptions().Bits64())};
    TLeakCatcherStartup startup;
    startup.MainModuleFileName = startup.ModuleFileName = programFile;
    startup.ModuleBlock = &block;
    startup.DebuggerAttached = IsDebuggerAttached();
    const TLeakCatcherState state = StartLeakCatcher(startup);
    if (state == TLeakCatcherState::lcsActive)
        SetLeakCallbacks(CoreLeakCallbacks());
    return state;
}

void ReportLeaksAtExit()
{
    if (!LeakCatcherActive())
        return;
    // Registered now, the steps run first of what ends the process: after
    // main's own objects are gone, before what lives as long as the program
    // (the core's among it) is.
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit([] { ShutDownLeakCatcherForProgram(); }); });
}

void ShutDownLeakCatcherForProgram()
{
    if (!LeakCatcherActive())
        return;
    ShutDownLeakCatcher();
    SetLeakCallbacks({});
}

} // namespace cv
