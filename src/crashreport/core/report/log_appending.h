#pragma once
// Putting a report's entry into its log file without reading or writing the
// whole log: a report's time must not grow with the log it goes into.
//
// The entry is written at the log's end (after its last entry's separator)
// and the file is cut there; the entry put earlier for the same report (the
// one stored before its dialog) is the log's last and is written over in
// place. Only the log's end is read, back to where the entries that stay
// begin. When the log would hold more than it keeps, the entries that stay
// and the new one go into a new file renamed over the old, which costs what
// those entries are, never the whole log; and the log is then cut to seven
// eighths of what it keeps, so that
// the next reports go in without copying. A write that fails (a full disk, a
// file-size limit) puts back what was there: the earlier log stays byte for
// byte. The file is the same as TLogFile writes and reads it
// (docs/report-log.md).

#include <cstdint>
#include <optional>
#include <string>

namespace cv {

// The most entries a log keeps, whatever the options ask: a log of more
// would make each report that drops its oldest copy all the others.
inline constexpr int kMostLogEntries = 1000;
// How many entries the log keeps for the options' ErrorsNumberToSave: at
// least one, at most kMostLogEntries (which a value below 1 asks for too).
int LogEntriesKept(int32_t errorsNumberToSave);

// An entry as it lies in its log file: where it starts and its bytes (its
// terminator and the line break after it included).
struct TLogEntryPlace {
    uint64_t Offset = 0;
    std::string Bytes;
};

// Puts the report (in the form TLogFile::Append stores it) at the end of
// the log file, in the place of `replacing` when given (which must still
// be the log's last entry, where it was put), keeping at most `keep`
// entries (-1: no limit). A missing file is made (0600). Where the entry
// lies now; nothing when the file is not laid out as a log is written here
// (its line breaks or separators are another writer's, or `replacing` is no
// longer its last entry): the caller then loads and saves the log whole.
// Throws ELogFileError when the file cannot be opened or written.
std::optional<TLogEntryPlace> PutLogEntry(const std::string& fileName, const std::string& report, int keep,
                                          const TLogEntryPlace* replacing = nullptr);

} // namespace cv
