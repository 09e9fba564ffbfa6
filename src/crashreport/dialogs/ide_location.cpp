#include "crashreport/dialogs/ide_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/core/support/text_routines.h"
#include "suite/private_files.h"

namespace cv {

namespace {

void PutText(TSourceLocationMessage& message, std::size_t at, const std::string& text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 89);
    std::memcpy(message.data() + at, text.data(), n);
    message[at + n] = 0;
}

void PutLittleEndian(TSourceLocationMessage& message, std::size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        message[at + std::size_t(i)] = uint8_t(value >> (8 * i));
}

std::optional<int32_t> ParseInt(const std::string& text)
{
    const std::string trimmed = TrimA(text);
    int32_t value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
    if (ec != std::errc() || ptr != end || trimmed.empty())
        return std::nullopt;
    return value;
}

TIDEProcessTest& IDEProcessTest()
{
    static TIDEProcessTest test;
    return test;
}

} // namespace

TSourceLocationMessage EncodeSourceLocationMessage(const std::string& unitName, const std::string& className,
                                                   const std::string& procedureName, int32_t line, int32_t offset,
                                                   TDateTime compilationDate)
{
    TSourceLocationMessage message{};
    PutText(message, 0, {});
    PutText(message, 90, unitName);
    PutText(message, 180, className);
    PutText(message, 270, procedureName);
    PutLittleEndian(message, 360, uint32_t(line), 4);
    PutLittleEndian(message, 364, uint32_t(offset), 4);
    PutLittleEndian(message, 368, std::bit_cast<uint64_t>(compilationDate), 8);
    return message;
}

std::string LocationSlotName(int64_t processId)
{
    const QString runtime = UsersRuntimeFolder();
    const std::string folder = !runtime.isEmpty() ? IncludeTrailingBackslashA(runtime.toStdString()) : GetTempFolder();
    return folder + "Crashbox" + std::to_string(processId);
}

void SetIDEProcessTest(TIDEProcessTest test) { IDEProcessTest() = std::move(test); }

bool SendLocationToIDE(const std::string& lineText, const std::string& unitName, const std::string& className,
                       const std::string& offsetText, TDateTime compilationDate, const std::string& procedureName)
{
    if (lineText.empty())
        return false;
    const TSourceLocationMessage message =
        EncodeSourceLocationMessage(unitName, className, procedureName, ParseInt(lineText).value_or(0),
                                    ParseInt(offsetText).value_or(-1), compilationDate);
    int64_t process = int64_t(getppid());
    if (process == 0 || !IDEProcessTest() || !IDEProcessTest()(process))
        process = 0;

    // Never blocks: with nobody reading the pipe the open fails (ENXIO).
    const int slot = ::open(LocationSlotName(process).c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (slot < 0)
        return false;
    struct stat info {};
    bool written = false;
    // Only a pipe of this user's hears where the report points: in a shared
    // folder another user could have made the name first.
    if (::fstat(slot, &info) == 0 && S_ISFIFO(info.st_mode) && info.st_uid == ::geteuid())
        written = ::write(slot, message.data(), message.size()) == ssize_t(message.size());
    ::close(slot);
    return written;
}

} // namespace cv
