#pragma once
// The texts the list pages show for modules and processes: versions cut to
// two parts, sizes in kilobytes, priority classes, counts, folders and
// dates as the report writes them.

#include <QDateTime>

#include <cstdint>
#include <string>

#include "crashreport/core/file_version.h"

namespace cv {

// The texts of the core's lists (VersionMajorMinorX, SizeToKbText,
// PriorityClassToText, IntToTextOrUnknown, ExtractCleanFilePath) are
// file_version.h's.

// "yyyy-mm-dd hh:nn:ss"; empty for an invalid time.
std::string DateTimeToLogString(const QDateTime& time);

} // namespace cv
