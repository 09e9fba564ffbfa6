#pragma once
// Comparing version texts by their numbers.

#include <string>

namespace cv {

// "1.2" -> "00001.00002.00000.00000": numeric parts padded to five digits,
// a blank's suffix kept, at least four parts.
std::string NormalizeVersion(const std::string& version);
bool IsNewerVersion(const std::string& oldVersion, const std::string& newVersion);

} // namespace cv
