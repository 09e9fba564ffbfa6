#include "crashreport/core/handler/log_saving.h"

#include <QFile>

#include <charconv>
#include <cstdio>
#include <memory>
#include <mutex>

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/report/log_appending.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"
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

// One writer of the logs at a time in this process: the logging step, and a
// fault named in the entry of a report in progress (on another thread).
std::mutex& LogWriteLock()
{
    static std::mutex lock;
    return lock;
}

// Said on standard error and kept as the warning of the logging step.
void SayReportNotKept(const std::string& text)
{
    std::fprintf(stderr, "Crashbox: %s\n", text.c_str());
    LogInternalWarning(eeLogError, text);
}

std::string NotSavedIn(const std::string& wanted, const std::string& reason)
{
    return "The report could not be saved in \"" + wanted + "\" (" + reason + ")";
}

std::string SavedInstead(const std::string& wanted, const std::string& reason, const std::string& kept)
{
    return NotSavedIn(wanted, reason) + "; it is saved in \"" + kept + "\" instead.";
}

std::string KeptNowhere(const std::string& wanted, const std::string& reason, const std::string& fallback,
                        const std::string& fallbackReason)
{
    return NotSavedIn(wanted, reason) + ", nor in \"" + fallback + "\" (" + (fallbackReason.empty() ? "unknown" : fallbackReason) + ").";
}

// Inside a catch block: the system's reason of a failed log step.
std::string FailureReason()
{
    try {
        throw;
    } catch (const ELogFileError& e) {
        return e.Reason();
    } catch (...) {
        return CurrentExceptionObject().Message;
    }
}

// The last entry of the log that is the stored entry; -1 when none is.
int FindEntry(const TLogFile& log, const std::string& entry)
{
    for (int i = log.Count() - 1; i >= 0; --i)
        if (log.Item(i) == entry)
            return i;
    return -1;
}

// Where entry `index` of a log saved whole starts in its file.
uint64_t OffsetOfEntry(const TLogFile& log, int index)
{
    uint64_t offset = 0;
    for (int i = 0; i < index; ++i)
        offset += log.Item(i).size() + 2;
    return offset;
}

// Puts the report into the log: in the place of the entry stored early
// when the log holds it, else at the end; at most maxNum entries stay (-1:
// no limit), the oldest going first. The report's index.
int PutReport(TLogFile& log, const std::string& report, int maxNum, const TStoredEntry* early)
{
    int at = early && early->Stored() && early->LogFile == log.FileName() ? FindEntry(log, early->Entry) : -1;
    if (at < 0) {
        log.Append(report, maxNum);
        return log.Count() - 1;
    }
    log.ReplaceItem(at, report);
    while (maxNum != -1 && log.Count() > maxNum && at > 0) {
        log.DeleteItem(0);
        --at;
    }
    return at;
}

// The report in the fallback place, after the log where the options name
// it failed for reason: the entry stored (with the words that say where),
// or nothing stored and the words that say why.
TStoredEntry KeepInFallback(const std::string& wanted, const std::string& reason, const std::string& report, int maxNum,
                            std::string& said)
{
    const std::string fallback = FallbackLogFileName(wanted);
    try {
        if (!ForcePrivateFolders(ExtractFileDir(fallback)))
            throw ELogFileError("Cannot make the folder of \"" + fallback + "\"", "its folder cannot be made");
        TLogFile log(fallback, false);
        const int at = PutReport(log, report, maxNum, nullptr);
        log.Save();
        said = SavedInstead(wanted, reason, log.FileName());
        return {log.FileName(), log.Item(at), said, OffsetOfEntry(log, at)};
    } catch (...) {
        said = KeptNowhere(wanted, reason, fallback, FailureReason());
        return {};
    }
}

// The log named by the options, as they name it (variables expanded).
std::string WantedLogFile(const TCrashboxModuleOptions& options) { return ExpandVariables(options.WantedOutputLogFile({})); }

// The file the options' log is kept in, as the shared log object finds it
// (variables expanded; the library data folder when it cannot be used where
// the options name it).
std::string LogFileOf(const TCrashboxModuleOptions& options)
{
    std::string name = ExpandVariables(options.OutputLogFile(""));
    MakeFileAccessible(name, true, false);
    return name;
}

// The report put into the log file without reading the log whole (in the
// place of `replacing`, when given), keeping at most `keep` entries (-1: all);
// nothing when the log must be loaded and saved whole instead. Throws when
// the file cannot be written.
std::optional<TStoredEntry> PutWithoutLoading(const std::string& file, const std::string& report, int keep,
                                              const TStoredEntry* replacing)
{
    std::optional<TLogEntryPlace> place;
    if (!replacing)
        place = PutLogEntry(file, report, keep);
    else if (replacing->Offset) {
        const TLogEntryPlace old{*replacing->Offset, replacing->Entry + "\r\n"};
        place = PutLogEntry(file, report, keep, &old);
    }
    if (!place)
        return std::nullopt;
    return TStoredEntry{file, place->Bytes.substr(0, place->Bytes.size() - 2), replacing ? replacing->Problem : std::string(), place->Offset};
}

} // namespace

std::string FallbackLogFileName(const std::string& wanted)
{
    const std::string folder = IncludeTrailingBackslashA(GetLibraryDataFolder()) + ChangeFileExt(ExtractFileName(GetExeFileNameA()), "");
    return IncludeTrailingBackslashA(folder) + ExtractFileName(wanted);
}

std::string LogSaveProblem(const TCrashboxModuleOptions& options)
{
    const std::string wanted = options.WantedOutputLogFile({});
    const std::string actual = options.OutputLogFile({});
    const std::string problem = WriteProblem(wanted);
    if (problem.empty())
        return {};
    if (actual != wanted && CanWriteFile(actual))
        return SavedInstead(wanted, problem, actual);
    // The other place to try: the library data folder, in a folder of the program.
    const std::string fallback = FallbackLogFileName(wanted);
    const std::string fallbackProblem = ForcePrivateFolders(ExtractFileDir(fallback)) ? WriteProblem(fallback) : "its folder cannot be made";
    return KeptNowhere(wanted, problem, fallback, fallbackProblem);
}

std::string ReportWithNotes(const std::string& report, const std::vector<std::string>& notes, const std::string& caption)
{
    if (notes.empty())
        return report;
    TLogFile entry("", true);
    entry.Append(report, -1);
    std::string value = entry.GetItemValue("2.10", 0);
    for (const std::string& note : notes)
        value += (value.empty() ? "" : "; ") + note;
    const std::string before = entry.Item(0);
    entry.SetItemValue("2.10", value, caption, 0);
    return entry.Item(0) == before ? report : entry.Item(0);
}

TStoredEntry StoreReportEarly(const TCrashboxModuleOptions& options, const std::string& report)
{
    if (!options.SaveLogFile())
        return {};
    std::lock_guard writing(LogWriteLock());
    const std::string wanted = WantedLogFile(options);
    TStoredEntry stored;
    std::string failedIn, reason;
    try {
        // Read anew: the shared log may hold what was read before another writer.
        CloseSharedLogFile();
        failedIn = LogFileOf(options);
        if (std::optional<TStoredEntry> put = PutWithoutLoading(failedIn, report, -1, nullptr)) {
            stored = *put;
        } else {
            TLogFile& log = OpenSharedLogFile(options);
            const int at = PutReport(log, report, -1, nullptr);
            log.Save();
            stored = {log.FileName(), log.Item(at), {}, OffsetOfEntry(log, at)};
        }
    } catch (...) {
        reason = FailureReason();
    }
    CloseSharedLogFile();
    if (stored.Stored()) {
        if (stored.LogFile != wanted)
            stored.Problem = LogSaveProblem(options);
        return stored;
    }
    // The log where the options name it did not take the report (a full
    // disk): the fallback place, unless that was the one that failed.
    std::string said;
    if (!failedIn.empty() && failedIn != FallbackLogFileName(wanted))
        return KeepInFallback(wanted, reason, report, -1, said);
    return {};
}

bool ReplaceStoredEntry(TStoredEntry& entry, const std::string& report)
{
    if (!entry.Stored())
        return false;
    std::lock_guard writing(LogWriteLock());
    try {
        if (std::optional<TStoredEntry> put = PutWithoutLoading(entry.LogFile, report, -1, &entry)) {
            entry = *put;
            return true;
        }
        TLogFile log(entry.LogFile, false);
        const int at = PutReport(log, report, -1, &entry);
        log.Save();
        entry.Entry = log.Item(at);
        entry.Offset = OffsetOfEntry(log, at);
        return true;
    } catch (...) {
        return false;
    }
}

std::string SaveReportInLog(const TCrashboxModuleOptions& options, const std::string& report, bool duplicate,
                            const TLogSavingEvents& events, TStoredEntry* early)
{
    const bool saveLog = options.SaveLogFile();
    bool execute = true;
    ClearInternalWarning();
    // An entry stored early is where the report goes: it takes that place.
    const bool inEarlyPlace = early && early->Stored();
    const std::string problem = !saveLog ? std::string() : inEarlyPlace ? early->Problem : LogSaveProblem(options);
    if (saveLog && events.ActionNotify)
        events.ActionNotify(caSavingLog, execute);

    std::string toSend = report;
    // Appended once: a second try only saves again, so the report is never logged twice.
    bool appended = duplicate && !inEarlyPlace;
    int at = -1;
    std::unique_ptr<TLogFile> earlyLog;
    std::string keptElsewhere;
    const int keep = LogEntriesKept(options.ErrorsNumberToSave());
    const bool sendEntireLog = options.CommonSendOptions().Contains(sndSendEntireLog);
    for (;;) {
        std::unique_lock writing(LogWriteLock());
        TLogFile* log = nullptr;
        std::string tried; // the file being written, for what a failure says
        try {
            // The report goes in without reading the log whole, unless the
            // whole log is wanted (it is sent) or the file is not one this
            // can take.
            if (!appended && execute && saveLog && !sendEntireLog) {
                CloseSharedLogFile();
                tried = inEarlyPlace ? early->LogFile : LogFileOf(options);
                if (std::optional<TStoredEntry> put = PutWithoutLoading(tried, report, keep, inEarlyPlace ? early : nullptr)) {
                    appended = true;
                    if (inEarlyPlace)
                        *early = *put;
                    writing.unlock();
                    break;
                }
            }
            if (inEarlyPlace) {
                CloseSharedLogFile();
                if (!earlyLog)
                    earlyLog = std::make_unique<TLogFile>(early->LogFile, false);
                log = earlyLog.get();
            } else {
                log = &OpenSharedLogFile(options);
            }
            if (!appended) {
                if (inEarlyPlace && !(execute && saveLog)) {
                    // The save is skipped: the entry stored early goes, and
                    // the log is as it was before the report.
                    if (const int stored = FindEntry(*log, early->Entry); stored >= 0) {
                        log->DeleteItem(stored);
                        log->Save();
                    }
                    early->LogFile.clear();
                    log->Append(report, keep);
                    at = log->Count() - 1;
                } else {
                    at = PutReport(*log, report, keep, early);
                }
                appended = true;
            }
            if (sendEntireLog)
                toSend = log->Text();
            if (execute && saveLog) {
                log->Save();
                if (inEarlyPlace && at >= 0)
                    *early = {log->FileName(), log->Item(at), early->Problem, OffsetOfEntry(*log, at)};
            }
        } catch (...) {
            LogStepWarning(eeLogError, "Log saving");
            const TExceptionObject failure = CurrentExceptionObject();
            const std::string reason = FailureReason();
            const std::string wanted = WantedLogFile(options);
            const std::string failedIn = log ? log->FileName() : tried;
            // A save that failed where the options name the log (a full
            // disk) goes to the fallback place; the log stays as it was.
            // Not when the log holds the report already (stored early).
            if (execute && saveLog && problem.empty() && !inEarlyPlace && !failedIn.empty()
                && failedIn != FallbackLogFileName(wanted)) {
                std::string said;
                const TStoredEntry kept = KeepInFallback(wanted, reason, report, keep, said);
                if (kept.Stored()) {
                    keptElsewhere = said;
                    if (early)
                        *early = kept;
                } else {
                    SayReportNotKept(said);
                    execute = false;
                }
            } else {
                const bool elsewhere = problem.empty() || problem.ends_with(" instead.");
                std::string text = elsewhere ? "The report could not be saved: " + failure.Message : problem;
                if (inEarlyPlace && early->Stored())
                    text += " The log keeps the report as it was before the dialog.";
                SayReportNotKept(text);
                execute = false;
            }
        }
        writing.unlock();
        bool retry = false;
        if (saveLog && !execute && events.ErrorNotify)
            events.ErrorNotify(caSavedLog, retry);
        if (!retry)
            break;
        execute = true;
    }

    CloseSharedLogFile();
    // Kept, but not where the options say.
    if (execute && !keptElsewhere.empty())
        SayReportNotKept(keptElsewhere);
    else if (execute && !problem.empty())
        SayReportNotKept(problem);
    if (saveLog && events.ActionNotify)
        events.ActionNotify(caSavedLog, execute);
    return toSend;
}

} // namespace cv
