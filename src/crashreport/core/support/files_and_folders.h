#pragma once
// Class-less routines the whole crash-report core shares: memory probing for
// the stack walker, following jump thunks, files and folders with a fallback
// into the library's own data folder, profile ("ini") files, the registry
// stand-in, version comparison and text conversions.
//
// Texts are std::string holding UTF-8, this system's code page. Paths use
// "/". The library data folder is $XDG_DATA_HOME/Crashbox and the settings
// folder $XDG_CONFIG_HOME/Crashbox (defaults ~/.local/share, ~/.config).

#include <bitset>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// A point in time as days since 1899-12-30 00:00 local time; the fraction
// is the time of day (the form the report's dates and spans are built from).
using TDateTime = double;
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);
struct TDateTimeParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, msec = 0;
    int dayOfWeek = 0; // 0 Sunday .. 6 Saturday
};
TDateTimeParts DecodeDateTime(TDateTime value);
TDateTime NowDateTime();
TDateTime UnixTimeToDateTime(int64_t seconds); // to local time

// --- Memory and code ---

// True when `size` bytes from `address` are readable, as the process's
// memory map says (never found out by touching the memory). The map is
// cached and read again on a miss; safe to call from a signal handler.
bool IsReadableMemory(const void* address, std::size_t size);
// Drops the cached map: memory unmapped since it was read would still be
// taken as readable (a report forgets it before it starts reading memory).
void ForgetMemoryMap();
// As IsReadableMemory, but a miss is answered from the cached map without
// reading the map again (an empty cache is filled first). For a scan that
// asks about many values that mostly are no addresses: it forgets the map
// once at its start.
bool IsReadableMemoryCached(const void* address, std::size_t size);
// The one mapping of the memory map (a line of it, not merged with its
// neighbours) that holds the address; false when none does. Plain system
// calls, no allocation.
bool MemoryMappingOf(const void* address, uintptr_t& start, uintptr_t& end);
// The target of a jump thunk ("FF 25" with its RIP-relative pointer cell, as
// in the program's import stubs; an "endbr64" and a "bnd" prefix before it
// are allowed); any other address is returned as it is.
const void* GetRealProcAddress(const void* address);

// True when the program is the development environment itself (never, here:
// its program file would be "BDS.EXE").
bool IsIDEHost();

// Raised when a unit's start-up or shut-down section fails and no
// internal-error procedure is installed.
class ECrashboxCriticalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The procedure that records the core's internal errors; none at first.
using TInternalErrorProc = void (*)(const std::string& message);
void SetInternalErrorProcedure(TInternalErrorProc procedure);
TInternalErrorProc InternalErrorProcedure();
// Runs a unit's start-up or shut-down body. An exception from it goes to the
// internal-error procedure ("<Name> (Address: <body address>)") or, when
// none is installed, is raised again as ECrashboxCriticalError.
void CallUnitSection(void (*procedure)(), const std::string& name);
// True while the internal-error handler runs (internal_errors.h): the
// lookups of code addresses then name the core's own units too.
bool InternalErrorRunning();
void SetInternalErrorRunning(bool running);

// --- Files and folders ---

std::string GetExeFileNameA();
// A non-empty folder gets a final "/"; an empty one becomes "/".
std::string IncludeTrailingBackslashA(const std::string& folder);
std::string ExcludeTrailingBackslashA(const std::string& folder);
bool DirectoryExistsA(const std::string& folder);
// Creates a folder (variables expanded) and every missing parent.
bool ForceFolders(const std::string& folder);
// Opens a file (open(2)'s flags and mode) only when it is a regular file,
// never waiting on a named pipe or a device: the descriptor, or -1 with
// errno (EISDIR for a folder, EINVAL for anything else that is no file).
int OpenRegularFile(const std::string& fileName, int flags, unsigned mode = 0666);
// A regular file that can be read (or written: opened, or created; a file
// made only for the test is removed again).
bool CanReadFile(const std::string& fileName);
bool CanWriteFile(const std::string& fileName);
// Why a file cannot be written (opened, or created, and its folder take
// the new file that replaces it); empty when it can.
std::string WriteProblem(const std::string& fileName);
// The file a symbolic link ends at; the name itself when it is no link, or
// a link to nothing.
std::string FileBehindLinks(const std::string& fileName);
// While one lives, the signal is blocked on this thread: a call that would
// raise it fails with its error instead of ending the process (SIGPIPE of
// a pipe whose reader has gone, SIGXFSZ of a file beyond its size limit);
// what it raised meanwhile is taken back at the end, the mask restored.
class TQuietSignal {
public:
    explicit TQuietSignal(int signal);
    ~TQuietSignal();
    TQuietSignal(const TQuietSignal&) = delete;
    TQuietSignal& operator=(const TQuietSignal&) = delete;

private:
    int fSignal;
    sigset_t fSet{}, fPrevious{};
    bool fPendingBefore = false;
};

// Writes bytes as the whole new content of a file: into a new file in its
// folder, renamed over it when all is written, so that a failure (a full
// disk) leaves the file as it was, byte for byte. An existing file keeps
// its mode (a link, the file it names); a new one is made 0600. 0, or the
// system's error number of the failure (EISDIR, EINVAL for what is no
// regular file).
int ReplaceFileContents(const std::string& fileName, std::string_view bytes);
// The system's reason for an error number of a file; for what is no
// regular file (EINVAL, EISDIR from OpenRegularFile), what it is.
std::string FileErrorText(int error);
// Expands the name's variables; when the file cannot be used where it is,
// tries the library data folder (with a per-program sub-folder when asked)
// and gives the new name. False when neither place will do.
bool MakeFileAccessible(std::string& fileName, bool perProgramFolder, bool forReading);
// Last-write time in local time, to the two seconds of a DOS time; 0 when the file is missing.
TDateTime GetFileDateTime(const std::string& fileName);
// This system has no short names: every path is already the long one.
std::string ExpandLongFileName(const std::string& fileName);
// The whole file; false (with the system's error number) when it cannot be
// read or is no regular file.
bool ReadFileText(const std::string& fileName, std::string& text, int* error = nullptr);
// The lines of a text: CR LF, LF or CR ends a line; a final line break adds no empty line.
std::vector<std::string_view> SplitTextLines(std::string_view text);
// The file's lines; false when it cannot be read.
bool LoadStringsFromFile(const std::string& fileName, std::vector<std::string>& lines);
std::string RemoveVSHost(const std::string& fileName);
std::string GetLibraryDataFolder();
std::string GetSettingsFolder();

// File-name parts, as the report code needs them ("/" separates folders).
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path); // with its final "/"
std::string ExtractFileDir(const std::string& path);  // without it
std::string ExtractFileExt(const std::string& path);  // with its "."
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// --- Profile files and the registry stand-in ---

// A name without a folder is taken in the settings folder; the file is made
// accessible (for writing) first. Reading gives `defaultValue` when that
// fails or the key is missing, and at most 2047 bytes of a value; writing
// does nothing (false) when it fails.
std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& defaultValue);
bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value);
// The profile file a bare name stands for, made accessible; nullopt when it cannot be.
std::optional<std::string> ProfileFileLocation(const std::string& fileName, bool forReading);

enum TRegRootKey : uint8_t {
    HKEY_CLASSES_ROOT,
    HKEY_CURRENT_USER,
    HKEY_LOCAL_MACHINE,
    HKEY_USERS,
    HKEY_CURRENT_CONFIG
};
// The registry stand-in: "Registry.ini" in the settings folder, whose
// sections are key paths under their root ("HKEY_LOCAL_MACHINE\SOFTWARE\X"),
// names compared without case; the default value is the key "@".
std::string RegistryStandInFile();
std::string RegReadString(TRegRootKey rootKey, const std::string& keyPath, const std::string& valueName);

// --- Texts ---

using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view members);
// Trims every character up to the blank (control characters too) from both ends.
std::string TrimA(std::string_view text);
void SplitStringToList(const std::string& text, std::vector<std::string>& list, const TCharSet& delimiters,
                       bool noTrim, bool addEmpty);
void ExtractTrimmedStrings(const TCharSet& delimiters, const std::string& text, std::vector<std::string>& list);
// 1-based position of sub in text from position `from`; 0 when absent.
int PosFromA(std::string_view sub, std::string_view text, int from);
std::string ReplaceAllA(std::string_view text, std::string_view oldText, std::string_view newText);
// UTF-16 to UTF-8. With a null dest: the bytes needed, terminating zero
// included. Else stops before a character that does not fit, always ends
// with a zero, and returns the bytes written including it.
std::size_t WideToUTF8Buf(std::span<char> dest, std::u16string_view source);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string UTF8ToWide(std::string_view text);
// The length of the valid UTF-8 sequence at text[i] (and its code point);
// 0 when the bytes there are no UTF-8 (overlong forms and surrogates included).
std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t* codePoint = nullptr);
std::string WideToUTF8(std::u16string_view text);
// The system code page is UTF-8: the text is already UTF-8.
std::string AnsiToUTF8Str(const std::string& text);
// Numbers with "." as the decimal separator whatever the locale.
std::string FloatToDotStr(double value);
std::optional<double> DotStrToFloat(std::string_view text);
// Local time minus UTC, in hours, rounded to the nearest hour.
int LocalTimeOffsetHours();

// --- Versions ---

// "1.2" -> "00001.00002.00000.00000": numeric parts padded to five digits,
// a blank's suffix kept, at least four parts.
std::string NormalizeVersion(const std::string& version);
bool IsNewerVersion(const std::string& oldVersion, const std::string& newVersion);

} // namespace cv
