#pragma once
// The texts the list pages show for modules and processes: versions cut to
// two parts, sizes in kilobytes, priority classes, counts, folders and
// dates as the report writes them.

#include <QDateTime>

#include <cstdint>
#include <string>

namespace cv {

// "1.2.3.4" -> "1.2.x": a version with two dots or more keeps its first two parts.
std::string VersionMajorMinorX(const std::string& version);
// Empty for 0, else the size in kilobytes (halves to even) and " Kb".
std::string SizeToKbText(uint64_t size);
// 32 "Normal", 64 "Low", 128 "High", 256 "Real-Time", 16384 "Below-Normal",
// 32768 "Above-Normal"; empty for any other value.
std::string PriorityClassToText(int32_t priorityClass);
// The number, or "??" for 0.
std::string IntToTextOrUnknown(int64_t value);
// The folder of a file name without its final "/" (the root keeps it).
std::string ExtractCleanFilePath(const std::string& fileName);
// "yyyy-mm-dd hh:nn:ss"; empty for an invalid time.
std::string DateTimeToLogString(const QDateTime& time);

} // namespace cv
