#pragma once
// Routines on the core's 8-bit texts (std::string holding UTF-8): character
// sets, trimming, splitting, finding and replacing, lines, numbers with a dot.

#include <bitset>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

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
// The lines of a text: CR LF, LF or CR ends a line; a final line break adds no empty line.
std::vector<std::string_view> SplitTextLines(std::string_view text);
// Numbers with "." as the decimal separator whatever the locale.
std::string FloatToDotStr(double value);
std::optional<double> DotStrToFloat(std::string_view text);

} // namespace cv
