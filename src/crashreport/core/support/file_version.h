#pragma once
// What a module or program file says of itself (its version and
// description), a few file services of the report, and the texts of the
// report's modules and processes tables.
//
// An ELF file carries its version and description where its packaging put
// them: the package note (section ".note.package", owner "FDO", type
// 0xcafe1a7e, a JSON object; docs/call-stacks.md) gives "version" and
// "description" (else the package's "name" as the description); without a
// note, a library's version is what follows ".so." in the name of the file
// it resolves to ("libQt6Core.so.6.4.2" gives "6.4.2"). Nothing is made up:
// a file that says nothing gives empty texts.

#include <QDateTime>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace cv {

// Both results start empty; an empty name, a missing file and a file that
// carries nothing leave them so. A version of zeros only ("0.0.0.0") is empty.
void GetFileVersionStrings(const std::string& fileName, std::string& description, std::string& version);
// What GetFileVersionStrings says of files, kept between asks: a file is
// read again only when it is no longer the same file of the same size and
// time (it was replaced or changed). The report's processes table asks for
// the program of each of some 170 processes, most of them the same between
// two reports; the core's readying thread asks ahead of any fault.
// Safe to use from several threads.
class TFileVersionCache {
public:
    void Get(const std::string& fileName, std::string& description, std::string& version);
    // How many times a file was read (not answered from what was kept).
    int FilesRead() const;

private:
    struct TEntry {
        uint64_t Device = 0, Inode = 0, Size = 0;
        int64_t ChangedSeconds = 0, ChangedNanoseconds = 0;
        std::string Description, Version;
    };
    mutable std::mutex m_lock;
    std::map<std::string, TEntry, std::less<>> m_entries;
    int m_filesRead = 0;
};
// The version of the program's own file; when the file carries none, the
// version the program gave its application object.
void GetAppVersion(std::string& version);
// The low 32 bits of the file's size; 0 when no regular file has that name.
uint32_t GetFileSizeByName(const std::string& fileName);
// Deletes the file (a symbolic link itself, not what it names); on failure
// the system's error number is left as the deletion set it.
bool ForceDeleteFile(const std::string& fileName);

// The package note's fields, from the note's JSON text (a field it does
// not hold stays empty).
struct TPackageNote {
    std::string Name, Version, Description;
};
TPackageNote ParsePackageNote(std::string_view json);

// --- Texts of the modules and processes tables ---

// 32 "Normal", 64 "Low", 128 "High", 256 "Real-Time", 16384 "Below-Normal",
// 32768 "Above-Normal"; anything else empty.
std::string PriorityClassToText(int32_t priorityClass);
// The decimal number; "??" for 0.
std::string IntToTextOrUnknown(int64_t value);
// Empty for 0; else the size in KB rounded to the nearest (halves to even), then " Kb".
std::string SizeToKbText(uint64_t size);
// A version with two dots or more is cut after its second dot and "x" added ("6.4.x").
std::string VersionMajorMinorX(const std::string& version);
// The folder part of a file name without its final "/" (the root keeps it).
std::string ExtractCleanFilePath(const std::string& fileName);
// "yyyy-mm-dd hh:nn:ss" in local time; empty for an invalid time.
std::string DateTimeToLogString(const QDateTime& time);

} // namespace cv
