#include "crashreport/dialogs/reporter_request.h"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/report_helpers.h"
#include "suite/cv_stream.h"
#include "suite/private_files.h"

extern char** environ;

namespace cv {

namespace {

constexpr char kMagic[4] = {'C', 'B', 'R', 'R'};
// The longest text a request holds (a whole log may be sent).
constexpr uint32_t kMaxText = 256u * 1024 * 1024;

bool WriteText(TStream& stream, const std::string& text)
{
    return stream.WriteU32(uint32_t(text.size())) && stream.WriteExact(text.data(), int64_t(text.size()));
}

bool ReadText(TStream& stream, std::string& text)
{
    uint32_t size = 0;
    if (!stream.ReadU32(size) || size > kMaxText || int64_t(size) > stream.Remaining())
        return false;
    text.assign(size, '\0');
    return stream.ReadExact(text.data(), size);
}

// The texts in the file's order.
template <typename Request>
auto Texts(Request& r)
{
    return std::array{&r.ErrorMessage, &r.General,          &r.Assembler,        &r.CPU,
                      &r.Report,       &r.ReportCopy,       &r.SendText,         &r.ExceptionClass,
                      &r.ExceptionMessage, &r.ExceptionID,  &r.AppVersion,       &r.ComputerName,
                      &r.Password,     &r.LogFile,          &r.Screenshot};
}

} // namespace

bool SaveReporterRequest(const std::string& fileName, const TReporterRequest& request, std::string* error)
{
    TMemoryStream options;
    if (!request.Options || !request.Options->SaveToStream(options)) {
        if (error)
            *error = "The options could not be written.";
        return false;
    }
    TMemoryStream stream;
    stream.WriteExact(kMagic, sizeof kMagic);
    stream.WriteU16(kReporterRequestVersion);
    WriteText(stream, request.Options->ModuleName());
    stream.WriteU32(uint32_t(options.Size()));
    stream.WriteBytes(options.Bytes());
    stream.WriteU8(request.DialogType);
    stream.WriteBool(request.SendChecked);
    stream.WriteBool(request.ScreenshotChecked);
    stream.WriteBool(request.CopyChecked);
    stream.WriteBool(request.DuplicateInLog);
    stream.WriteI32(request.ExceptionCount);
    for (const std::string* text : Texts(request))
        WriteText(stream, *text);
    stream.WriteI64(request.ExceptionTime.isValid() ? request.ExceptionTime.toMSecsSinceEpoch() : INT64_MIN);
    stream.WriteCount(int64_t(request.Arguments.size()));
    for (const std::string& argument : request.Arguments)
        WriteText(stream, argument);
    QString reason;
    // The request holds the whole report and the mail password: its user's
    // alone (the save keeps the mode of the file it replaces).
    if (!CreatePrivateFile(fileName)) {
        if (error)
            *error = "The request file could not be made.";
        return false;
    }
    if (!stream.SaveToFile(QString::fromStdString(fileName), &reason)) {
        if (error)
            *error = reason.toStdString();
        return false;
    }
    return true;
}

bool LoadReporterRequest(const std::string& fileName, TReporterRequest& request, std::string* error)
{
    const auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    // The request says what the reporter sends, attaches and restarts: it
    // is read only when it is a file of this user's, never through a link.
    QByteArray bytes;
    QString reason;
    if (!ReadPrivateFile(QString::fromStdString(fileName), bytes, &reason))
        return fail(reason.toStdString());
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    char magic[4] = {};
    uint16_t version = 0;
    if (!stream.ReadExact(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return fail("Not a report request.");
    if (!stream.ReadU16(version) || version != kReporterRequestVersion)
        return fail("A report request of another version.");

    TReporterRequest read;
    std::string moduleName;
    uint32_t optionsSize = 0;
    if (!ReadText(stream, moduleName) || !stream.ReadU32(optionsSize) || int64_t(optionsSize) > stream.Remaining())
        return fail("The report request is damaged.");
    std::vector<uint8_t> optionBytes(optionsSize);
    stream.ReadExact(optionBytes.data(), optionsSize);
    TMemoryStream options(std::move(optionBytes));
    // Made without a module handle: the copy is never published.
    read.Options = std::make_unique<TCrashboxModuleOptions>(std::string());
    std::string optionsError;
    if (!read.Options->LoadFromStream(options, &optionsError))
        return fail("The report request's options are damaged: " + optionsError);
    read.Options->SetModuleName(moduleName);

    uint8_t dialogType = 0;
    int64_t time = 0;
    int32_t count = 0;
    bool ok = stream.ReadU8(dialogType) && dialogType < kExceptionDialogTypeCount && stream.ReadBool(read.SendChecked) &&
              stream.ReadBool(read.ScreenshotChecked) && stream.ReadBool(read.CopyChecked) &&
              stream.ReadBool(read.DuplicateInLog) && stream.ReadI32(read.ExceptionCount);
    for (std::string* text : Texts(read))
        ok = ok && ReadText(stream, *text);
    ok = ok && stream.ReadI64(time) && stream.ReadCount(count, 4);
    for (int32_t i = 0; ok && i < count; ++i)
        ok = ReadText(stream, read.Arguments.emplace_back());
    if (!ok)
        return fail("The report request is damaged.");
    read.DialogType = TExceptionDialogType(dialogType);
    if (time != INT64_MIN)
        read.ExceptionTime = QDateTime::fromMSecsSinceEpoch(time);
    request = std::move(read);
    return true;
}

bool RemoveRefusedRequest(const std::string& fileName)
{
    struct stat file {};
    if (!fileName.ends_with(".request") || ::lstat(fileName.c_str(), &file) != 0 || !S_ISREG(file.st_mode)
        || file.st_uid != ::geteuid())
        return false;
    return ::unlink(fileName.c_str()) == 0;
}

std::string ReporterRequestFileName()
{
    static std::atomic<int> serial{0};
    const std::string folder = ReportFolder();
    if (folder.empty())
        return {};
    return folder + "Crashbox-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".request";
}

std::string ReporterRequestArgument(int argc, const char* const* argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], kReporterArgument) == 0)
            return argv[i + 1];
    return {};
}

namespace {

// The reporter's environment: the crashed process's, less the report the
// handler put there ("_BugReport": the reporter takes it from its request).
// A report is easily longer than the one string the system lets a new
// program have (128 KiB: a desktop's processes, a job's threads), and
// starting the reporter would fail with it; any other string that long
// could not go either.
std::vector<char*> ReporterEnvironment()
{
    const std::size_t longest = std::size_t(::sysconf(_SC_PAGESIZE)) * 32 - 1;
    const std::string report = std::string(kReportVariable) + "=";
    std::vector<char*> environment;
    for (char** entry = environ; entry && *entry; ++entry)
        if (!std::string_view(*entry).starts_with(report) && std::strlen(*entry) < longest)
            environment.push_back(*entry);
    environment.push_back(nullptr);
    return environment;
}

} // namespace

pid_t StartReporterProcess(const std::string& requestFile, int* error)
{
    const std::string program = "/proc/self/exe";
    const std::string self = GetExeFileNameA();
    std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>(kReporterArgument),
                            const_cast<char*>(requestFile.c_str()), nullptr};
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
    // The crashed thread's blocked signals and our handlers are not the reporter's.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t child = 0;
    std::vector<char*> environment = ReporterEnvironment();
    const int result = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error)
        *error = result;
    return result == 0 ? child : 0;
}

bool HandOverToReporter(const TReporterRequest& request, std::string* reason)
{
    const std::string fileName = ReporterRequestFileName();
    std::string failure = fileName.empty() ? "no folder could be made for the report" : std::string();
    int error = 0;
    if (failure.empty() && !SaveReporterRequest(fileName, request, &failure))
        failure = "the request could not be written: " + failure;
    else if (failure.empty() && StartReporterProcess(fileName, &error) == 0)
        failure = "the reporter could not be started: " + std::string(std::strerror(error));
    if (failure.empty()) {
        // The reporter goes on in the report's folder and removes it.
        if (std::unique_ptr<TReportFolder> folder = TakeReportFolder())
            folder->Release();
        return true;
    }
    if (reason)
        *reason = failure;
    // Nobody goes on with the report: its folder goes now, with the request
    // and whatever else was written for it.
    TakeReportFolder().reset();
    return false;
}

} // namespace cv
