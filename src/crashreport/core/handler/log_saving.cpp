#include "crashreport/core/handler/log_saving.h"

#include <QFile>

#include <charconv>
#include <cstdio>

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/crashbox_helpers.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

int FindDuplicateError(const TLogFile& log, const std::string& errorID)
{
    return log.FindItem({"2.7"}, {errorID});
}

void CountDuplicateError(TLogFile& log, int index)
{
    const std::string text = log.GetItemValue("2.8", index);
    int count = 1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        count = 1;
    log.SetItemValue("2.8", std::to_string(count + 1), "Count", index);
}

bool IsDuplicateError(const TCrashboxModuleOptions& options, const std::string& errorID, bool count)
{
    if (!options.LogOptions().Contains(loNoDuplicateErrors))
        return false;
    try {
        TLogFile& log = OpenSharedLogFile(options);
        const int index = FindDuplicateError(log, errorID);
        if (index < 0)
            return false;
        if (count) {
            CountDuplicateError(log, index);
            log.Save();
        }
        return true;
    } catch (...) {
        LogStepWarning(eeLogError, "Duplicate test");
        return false;
    }
}

bool DeleteLogAtVersionChange(const TCrashboxModuleOptions& options, const std::string& programVersion)
{
    if (!options.LogOptions().Contains(loDeleteLogAtVersionChange))
        return false;
    try {
        TLogFile& log = OpenSharedLogFile(options);
        const std::string version = log.Count() > 0 ? log.GetItemValue("1.3", log.Count() - 1) : std::string();
        if (version.empty() || version == programVersion)
            return false;
        const std::string fileName = log.FileName();
        CloseSharedLogFile();
        return QFile::remove(QString::fromStdString(fileName));
    } catch (...) {
        LogStepWarning(eeLogError, "Version change");
        return false;
    }
}

namespace {

// Said on standard error and kept as the warning of the logging step.
void SayReportNotKept(const std::string& text)
{
    std::fprintf(stderr, "Crashbox: %s\n", text.c_str());
    LogInternalWarning(eeLogError, text);
}

} // namespace

std::string LogSaveProblem(const TCrashboxModuleOptions& options)
{
    const std::string wanted = options.WantedOutputLogFile({});
    const std::string actual = options.OutputLogFile({});
    const std::string problem = WriteProblem(wanted);
    if (problem.empty())
        return {};
    std::string text = "The report could not be saved in \"" + wanted + "\" (" + problem + ")";
    if (actual != wanted && CanWriteFile(actual))
        return text + "; it is saved in \"" + actual + "\" instead.";
    // The other place to try: the library data folder, in a folder of the program.
    const std::string folder = IncludeTrailingBackslashA(GetLibraryDataFolder()) + ChangeFileExt(ExtractFileName(GetExeFileNameA()), "");
    const std::string fallback = IncludeTrailingBackslashA(folder) + ExtractFileName(wanted);
    const std::string fallbackProblem = ForceFolders(folder) ? WriteProblem(fallback) : "its folder cannot be made";
    return text + ", nor in \"" + fallback + "\" (" + (fallbackProblem.empty() ? "unknown" : fallbackProblem) + ").";
}

std::string SaveReportInLog(const TCrashboxModuleOptions& options, const std::string& report, bool duplicate,
                            const TLogSavingEvents& events)
{
    const bool saveLog = options.SaveLogFile();
    bool execute = true;
    ClearInternalWarning();
    const std::string problem = saveLog ? LogSaveProblem(options) : std::string();
    if (saveLog && events.ActionNotify)
        events.ActionNotify(caSavingLog, execute);

    std::string toSend = report;
    // Appended once: a second try only saves again, so the report is never logged twice.
    bool appended = duplicate;
    for (;;) {
        try {
            TLogFile& log = OpenSharedLogFile(options);
            if (!appended) {
                log.Append(report, options.ErrorsNumberToSave());
                appended = true;
            }
            if (options.CommonSendOptions().Contains(sndSendEntireLog))
                toSend = log.Text();
            if (execute && saveLog)
                log.Save();
        } catch (...) {
            LogStepWarning(eeLogError, "Log saving");
            const TExceptionObject failure = CurrentExceptionObject();
            const bool elsewhere = problem.empty() || problem.ends_with(" instead.");
            SayReportNotKept(elsewhere ? "The report could not be saved: " + failure.Message : problem);
            execute = false;
        }
        bool retry = false;
        if (saveLog && !execute && events.ErrorNotify)
            events.ErrorNotify(caSavedLog, retry);
        if (!retry)
            break;
        execute = true;
    }

    CloseSharedLogFile();
    // Kept, but not where the options say.
    if (execute && !problem.empty())
        SayReportNotKept(problem);
    if (saveLog && events.ActionNotify)
        events.ActionNotify(caSavedLog, execute);
    return toSend;
}

} // namespace cv
