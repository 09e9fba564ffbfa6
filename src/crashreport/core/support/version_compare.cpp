#include "crashreport/core/support/version_compare.h"

#include "crashreport/core/support/text_routines.h"

#include <algorithm>
#include <vector>

namespace cv {

std::string NormalizeVersion(const std::string& version)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = version.find('.', start);
        parts.push_back(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        std::string suffix;
        if (const auto blank = part.find(' '); blank != std::string::npos) {
            suffix = part.substr(blank);
            part.resize(blank);
        }
        const bool numeric =
            !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (numeric && part.size() < 5)
            part.insert(0, 5 - part.size(), '0');
        if (i > 0)
            result += '.';
        result += part + suffix;
    }
    for (std::size_t n = parts.size(); n < 4; ++n)
        result += ".00000";
    return result;
}

bool IsNewerVersion(const std::string& oldVersion, const std::string& newVersion)
{
    if (TrimA(oldVersion).empty() || TrimA(newVersion).empty())
        return false;
    return NormalizeVersion(newVersion) > NormalizeVersion(oldVersion);
}

} // namespace cv
