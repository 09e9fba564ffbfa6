#include "crashreport/core/handler/exception_handling_unit.h"

#include <QString>

#include <mutex>

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/files_and_folders.h"
#include "suite/logging.h"

namespace cv {

namespace {

std::mutex gLock;
int gInitCount = 0;
std::string gOutputPath;

void Log(const std::string& text, bool stamped = true) { AddToLogFile(QString::fromStdString(text), stamped); }

} // namespace

void InitExceptionHandlingUnit(const std::string& programFile)
{
    std::string folder;
    {
        std::lock_guard guard(gLock);
        if (gInitCount++ != 0)
            return;
        folder = IncludeTrailingBackslashA(ExtractFilePath(programFile.empty() ? GetExeFileNameA() : programFile));
        gOutputPath = folder;
    }
    if (CrashboxActivated())
        CurrentCrashboxOptions().SetOutputPath(folder);
    SetExceptionNotify(OnCrashNoticed);
    SetExceptionActionNotify(OnCrashAction);
    SetExceptionErrorNotify(OnCrashActionFailed);
}

void DoneExceptionHandlingUnit()
{
    {
        std::lock_guard guard(gLock);
        if (gInitCount == 0 || --gInitCount != 0)
            return;
        gOutputPath.clear();
    }
    if (LoggingIsOn())
        Log("quitting exception_handling_unit\r\n" + std::string(50, '*'));
}

std::string ExceptionHandlingOutputPath()
{
    std::lock_guard guard(gLock);
    return gOutputPath;
}

void OnCrashNoticed(TCrashboxExceptionRecord& record, bool& handled)
{
    const std::string folder = ExceptionHandlingOutputPath();
    // Once the unit has ended (a fault as the program ends after main) it
    // has no folder: the report goes where the options say, not beside the program.
    if (record.CurrentModuleOptions && !folder.empty())
        record.CurrentModuleOptions->SetOutputPath(folder);
    if (LoggingIsOn()) {
        Log("Corvantis Error noticed");
        Log("Outputpath = " + folder);
    }
    handled = true;
}

void OnCrashAction(TCrashboxExceptionRecord& record, uint8_t action, bool& execute)
{
    // After a step the flag comes in as the step's result: false when it
    // failed or was skipped, which the line must say.
    const bool done = execute;
    execute = true;
    if (!LoggingIsOn())
        return;
    switch (action) {
    case caShowing:
        if (TCrashboxModulesList* modules = record.ModulesList) {
            modules->Lock();
            for (int i = 0; i < modules->Count(); ++i)
                Log("Module " + std::to_string(i + 1) + ": " + modules->GetItem(i)->Name);
            modules->Unlock();
        }
        Log("Showing error");
        break;
    case caShown: Log(done ? "finished showing" : "Not shown"); break;
    case caSavingLog:
        if (const TCrashboxModuleOptions* options =
                record.CurrentModuleOptions ? record.CurrentModuleOptions : CrashboxActivated() ? &CurrentCrashboxOptions() : nullptr)
            Log("Saving error in " + IncludeTrailingBackslashA(options->OutputPath())
                + ChangeFileExt(ExtractFileName(options->ModuleName()), ".elf"));
        break;
    case caSavedLog: Log(done ? "Saved" : "Not saved"); break;
    case caSendingEmail: Log("Sending email"); break;
    case caSentEmail: Log(done ? "Sent email" : "Email not sent"); break;
    case caTerminating: Log("Quitting"); break;
    default: break; // web sending leaves no line
    }
}

void OnCrashActionFailed(TCrashboxExceptionRecord& record, uint8_t action, bool& retry)
{
    if (!LoggingIsOn())
        return;
    Log("***", false);
    switch (action) {
    case caShowing: Log("Failed to show"); break;
    case caShown: Log("Failed to complete showing"); break;
    case caSavingLog: Log("Failed to save"); break;
    case caSavedLog: Log("Failed to complete save"); break;
    case caSendingEmail: Log("Failed to send"); break;
    case caSentEmail: Log("Failed to complete send"); break;
    case caTerminating: Log("Failed to quit"); break;
    default: break;
    }
}

} // namespace cv
