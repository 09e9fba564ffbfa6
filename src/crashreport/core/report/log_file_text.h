#pragma once
// Line and value handling shared by the report log's text form
// (log_file.cpp) and its XML form (log_file_xml.cpp). Not for other users:
// the log's own layout is in docs/report-log.md.

#include <string>
#include <string_view>
#include <vector>

namespace cv::logtext {

inline constexpr std::string_view kCRLF = "\r\n";

// The lines between CR LF pairs; a text ending in CR LF ends with an empty line.
std::vector<std::string> SplitLines(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines, std::size_t from = 0, std::size_t to = std::string::npos);
// Blanks, tabs and line breaks off both ends.
std::string Trim(std::string_view text);
// Only "-" characters (at least one).
bool IsDashLine(std::string_view line);
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

// The stored form of an item value. A value without a line break stays as
// it is. Otherwise ": " becomes ":_", lines blank after trimming become ".",
// every line after the first is indented with `indent`, and the lines are
// joined with CR LF (no final line break).
std::string EncodeItemValue(std::string_view value, std::string_view indent);

// An item line of the general information: two blanks, then anything but a blank.
bool IsItemLine(std::string_view line);

} // namespace cv::logtext
