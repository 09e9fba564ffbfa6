#include "crashreport/core/report/log_appending.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <vector>

#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"

namespace cv {

namespace {

constexpr std::string_view kSeparator = "\r\n\r\n\r\n\r\n";
constexpr std::size_t kSeparatorPairs = 4;
// How much of the log's end is read at first; doubled as long as the
// entries that stay begin further back.
constexpr std::size_t kFirstWindow = 256 * 1024;

[[noreturn]] void Fail(const std::string& fileName, int error)
{
    throw ELogFileError("Cannot write file \"" + fileName + "\": " + FileErrorText(error), FileErrorText(error));
}

// The descriptor of an open log, closed at the end.
class TOpenFile {
public:
    explicit TOpenFile(int fd) : fFd(fd) {}
    ~TOpenFile()
    {
        if (fFd >= 0)
            ::close(fFd);
    }
    TOpenFile(const TOpenFile&) = delete;
    TOpenFile& operator=(const TOpenFile&) = delete;
    int Fd() const { return fFd; }

private:
    int fFd;
};

// The bytes [from, from + length) of the file; false when they cannot all be read.
bool ReadAt(int fd, uint64_t from, std::size_t length, std::string& bytes)
{
    bytes.resize(length);
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::pread(fd, bytes.data() + done, length - done, off_t(from + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// 0, or the system's error number.
int WriteAt(int fd, uint64_t at, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += std::size_t(n);
    }
    return 0;
}

// The end of a log, read back from `end` (the file's end, or the start of
// the entry written over): where its last entries start.
struct TLogEnd {
    bool WellFormed = false;      // laid out as this file writes logs
    std::size_t TrailingPairs = 0; // CR LF pairs just before `end`
    std::vector<uint64_t> Starts;  // where the entries start, newest first
    bool MoreBefore = false;       // further entries lie before the last start found
    std::string Text;              // the bytes from the oldest start found (or the window) to `end`
    uint64_t TextFrom = 0;
};

// Reads back from `end` until `wanted` entries and the one before them are
// found, or the file's start. A piece between separators is an entry when
// it holds a table, as the reader counts them.
TLogEnd ReadLogEnd(int fd, uint64_t end, std::size_t wanted)
{
    TLogEnd found;
    for (std::size_t window = kFirstWindow;;) {
        const uint64_t from = end > window ? end - window : 0;
        if (!ReadAt(fd, from, std::size_t(end - from), found.Text))
            return {};
        found.TextFrom = from;
        const std::string& text = found.Text;
        // A lone CR or LF is another writer's: the reader's line breaks
        // would differ. (A first LF of the window may follow a CR before it.)
        for (std::size_t i = 0; i < text.size(); ++i)
            if ((text[i] == '\n' && (i == 0 ? from == 0 : text[i - 1] != '\r'))
                || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
                return {};
        std::size_t trailing = 0;
        while (trailing * 2 + 2 <= text.size() && text.compare(text.size() - trailing * 2 - 2, 2, "\r\n") == 0)
            ++trailing;
        if (trailing > kSeparatorPairs || (trailing * 2 == text.size() && from != 0))
            return {};
        found.TrailingPairs = trailing;
        found.Starts.clear();
        found.MoreBefore = false;
        // The pieces from the newest back: each starts after a run of four
        // CR LF pairs (never more: this writer cuts longer runs), or at the
        // file's start.
        std::size_t pieceEnd = text.size();
        bool reachedStart = false;
        for (;;) {
            const std::size_t search = pieceEnd >= kSeparator.size() + 1 ? pieceEnd - kSeparator.size() - 1 : 0;
            std::size_t run = pieceEnd > kSeparator.size() ? text.rfind(kSeparator, search) : std::string::npos;
            if (run != std::string::npos && run >= 2 && text.compare(run - 2, 2, "\r\n") == 0)
                return {}; // a longer run
            const std::size_t start = run == std::string::npos ? 0 : run + kSeparator.size();
            if (run == std::string::npos && from != 0)
                break; // the piece may begin before the window
            const std::string_view piece = std::string_view(text).substr(start, pieceEnd - start);
            if (piece.find("-\r\n|") != std::string_view::npos) {
                if (found.Starts.size() == wanted) {
                    found.MoreBefore = true;
                    reachedStart = true;
                    break;
                }
                found.Starts.push_back(from + start);
            }
            if (run == std::string::npos) {
                reachedStart = true;
                break;
            }
            pieceEnd = run;
        }
        if (reachedStart || from == 0) {
            found.WellFormed = true;
            return found;
        }
        // Further back: as far as the entries found so far say the rest
        // lies (their mean size), at least twice as far.
        std::size_t next = window * 2;
        if (!found.Starts.empty()) {
            const uint64_t mean = (end - found.Starts.back()) / found.Starts.size();
            next = std::max<std::size_t>(next, std::size_t(mean * (wanted + 2) * 5 / 4));
        }
        window = next;
    }
}

// The entry's bytes as the log holds it: the report as TLogFile stores it, and the line break after it.
std::string EntryBytes(const std::string& report)
{
    TLogFile entry("", true);
    entry.Append(report, -1);
    return entry.Item(0) + "\r\n";
}

} // namespace

int LogEntriesKept(int32_t errorsNumberToSave)
{
    return errorsNumberToSave < 1 || errorsNumberToSave > kMostLogEntries ? kMostLogEntries : int(errorsNumberToSave);
}

std::optional<TLogEntryPlace> PutLogEntry(const std::string& fileName, const std::string& report, int keep,
                                          const TLogEntryPlace* replacing)
{
    const std::string entry = EntryBytes(report);
    // A file-size limit fails the write instead of ending the process.
    const TQuietSignal quiet(SIGXFSZ);
    // Never written through a link (in a shared output folder another user's
    // link could lead the report into their file): a link at the name, or
    // another user's file there, goes to the whole save, which replaces the
    // link or refuses the file.
    struct stat atName {};
    if (::lstat(fileName.c_str(), &atName) == 0 && S_ISLNK(atName.st_mode))
        return std::nullopt;
    const TOpenFile file(OpenRegularFile(fileName, O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (file.Fd() < 0) {
        if (errno == ELOOP)
            return std::nullopt;
        if (errno != ENOENT || replacing)
            Fail(fileName, errno);
        if (const int error = ReplaceFileContents(fileName, entry); error != 0)
            Fail(fileName, error);
        return TLogEntryPlace{0, entry};
    }
    struct stat info {};
    if (::fstat(file.Fd(), &info) != 0)
        Fail(fileName, errno);
    if (info.st_uid != ::geteuid())
        return std::nullopt;
    // The log holds command lines, file names and memory: its user's alone.
    if ((info.st_mode & 077) != 0 && ::fchmod(file.Fd(), 0600) != 0)
        Fail(fileName, errno);
    const auto size = uint64_t(info.st_size);
    uint64_t end = size;
    if (replacing) {
        std::string there;
        if (replacing->Offset + replacing->Bytes.size() != size || !ReadAt(file.Fd(), replacing->Offset, replacing->Bytes.size(), there)
            || there != replacing->Bytes)
            return std::nullopt;
        end = replacing->Offset;
    }
    // The entries before `end` that may stay, and one more when there are more.
    const std::size_t wanted = keep > 0 ? std::size_t(keep - 1) : 0;
    const TLogEnd logEnd = ReadLogEnd(file.Fd(), end, wanted);
    if (!logEnd.WellFormed || (replacing && end > 0 && logEnd.TrailingPairs != kSeparatorPairs))
        return std::nullopt;
    // The line breaks that end the last entry with its separator (a last
    // entry without one is still an entry).
    const std::string closing = end == 0 ? std::string() : std::string(kSeparator.substr(0, 2 * (kSeparatorPairs - logEnd.TrailingPairs)));

    if (keep > 0 && logEnd.MoreBefore) {
        // Over the limit: the newest entries that stay (seven eighths of
        // what the log keeps, the new one among them) into a new file.
        const std::size_t staying = std::min(wanted - std::size_t(keep) / 8, logEnd.Starts.size());
        const uint64_t from = staying == 0 ? end : logEnd.Starts[staying - 1];
        const std::string kept = logEnd.Text.substr(std::size_t(from - logEnd.TextFrom)) + (staying == 0 ? std::string() : closing);
        if (const int error = ReplaceFileContents(fileName, kept + entry); error != 0)
            Fail(fileName, error);
        return TLogEntryPlace{kept.size(), entry};
    }

    const std::string bytes = closing + entry;
    int error = WriteAt(file.Fd(), end, bytes);
    if (error == 0 && end + bytes.size() < size && ::ftruncate(file.Fd(), off_t(end + bytes.size())) != 0)
        error = errno;
    if (error != 0) {
        // What was there goes back: the entry written over, and the file's length.
        if (replacing)
            WriteAt(file.Fd(), end, replacing->Bytes);
        if (::ftruncate(file.Fd(), off_t(size)) != 0) {
        }
        Fail(fileName, error);
    }
    return TLogEntryPlace{end + closing.size(), entry};
}

} // namespace cv
