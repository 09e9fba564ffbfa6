#pragma once
// One chosen source text, as the chosen-texts object hands it to readers.

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace cv {

struct TChosenTextRec {
    // The text's full path; for a text inside a zip archive, the archive's path.
    QString FullFilename;
    // The entry's name inside the archive (UTF-8 names as stored), empty for a loose text.
    QString ZipEntryName;
    int64_t FileSize = 0;
    QDateTime FileTime;
    int32_t Hits = 0;   // search hits found in it by the last job
    int32_t Words = 0;  // running words found in it by the last job
    uint8_t Status = 0; // 0 not read yet, 1 read, 2 could not be read
    uint8_t Kind = 0;   // format code a concordance gave it: 1 an 8-bit text, 4 a UTF-16 text, 32 a text in a zip
    QString Notes;

    bool InsideZip() const { return !ZipEntryName.isEmpty(); }
    // "archive.zip|entry.txt" for texts inside zips, else the path.
    QString DisplayName() const { return InsideZip() ? FullFilename + QLatin1Char('|') + ZipEntryName : FullFilename; }
};

} // namespace cv
