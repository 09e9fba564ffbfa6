#pragma once
// Files and folders as the crash-report core uses them: the program's file,
// folders made with their parents, files opened only when they are regular
// files, files written whole, a fallback into the library's own data
// folder, and the parts of file names.
//
// Paths use "/". The library data folder is $XDG_DATA_HOME/Crashbox and the
// settings folder $XDG_CONFIG_HOME/Crashbox (defaults ~/.local/share,
// ~/.config).

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/support/date_time.h"

namespace cv {

// True when the program is the development environment itself (never, here:
// its program file would be "BDS.EXE").
bool IsIDEHost();

std::string GetExeFileNameA();
// A non-empty folder gets a final "/"; an empty one becomes "/".
std::string IncludeTrailingBackslashA(const std::string& folder);
std::string ExcludeTrailingBackslashA(const std::string& folder);
bool DirectoryExistsA(const std::string& folder);
// Creates a folder (variables expanded) and every missing parent.
bool ForceFolders(const std::string& folder);
// The same for the component's own folders (the library data folder and
// its folders per program, the settings folder): what is made is 0700, and
// the folder, when it is this user's and open to others, is narrowed to
// 0700 (the names of the reports and options in it are the user's alone).
bool ForcePrivateFolders(const std::string& folder);
// Opens a file (open(2)'s flags and mode) only when it is a regular file,
// never waiting on a named pipe or a device: the descriptor, or -1 with
// errno (EISDIR for a folder, EINVAL for anything else that is no file).
int OpenRegularFile(const std::string& fileName, int flags, unsigned mode = 0666);
// A regular file that can be read (or written: opened, or created; a file
// made only for the test is removed again).
bool CanReadFile(const std::string& fileName);
bool CanWriteFile(const std::string& fileName);
// Why a file cannot be written (opened, or created, and its folder take
// the new file that replaces it; a link at the name, which is never
// followed, or a file of another user: "it is a symbolic link, which is
// not followed", "it belongs to another user (...)"); empty when it can.
std::string WriteProblem(const std::string& fileName);
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
// disk) leaves the file as it was, byte for byte. The file is made 0600
// whatever stood there; a link at the name is replaced, never followed,
// and another user's file is not replaced (EPERM). 0, or the system's
// error number of the failure (EISDIR, EINVAL for what is no regular file).
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

} // namespace cv
