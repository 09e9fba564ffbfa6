#pragma once
// Plain-text files the concordance document writes for the user: collocate
// tables, details of collocate statistics, file-name reports. They are
// UTF-16 little-endian with a byte-order mark, lines ending in CR LF, saved
// through a temporary file and a rename.

#include <QString>
#include <QStringList>

namespace cv {

// False (with the file name and the system's reason in `error`) when the file
// cannot be written; an older file of that name is then kept.
bool SaveUtf16TextFile(const QString& fileName, const QStringList& lines, QString* error = nullptr);

// The text made usable as a file name on every system the suite runs on:
// characters that are not allowed in names become "_", trailing dots and
// blanks go, names the system reserves get a "_" in front; never empty.
QString AcceptableFilename(const QString& text);

} // namespace cv
