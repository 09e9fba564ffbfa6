#include "crashreport/dialogs/report_text_formats.h"

#include <cmath>

namespace cv {

std::string VersionMajorMinorX(const std::string& version)
{
    const auto first = version.find('.');
    const auto second = first == std::string::npos ? first : version.find('.', first + 1);
    if (second == std::string::npos)
        return version;
    return version.substr(0, second + 1) + "x";
}

std::string SizeToKbText(uint64_t size)
{
    if (size == 0)
        return {};
    return std::to_string(uint64_t(std::nearbyint(double(size) / 1024.0))) + " Kb";
}

std::string PriorityClassToText(int32_t priorityClass)
{
    switch (priorityClass) {
    case 32: return "Normal";
    case 64: return "Low";
    case 128: return "High";
    case 256: return "Real-Time";
    case 16384: return "Below-Normal";
    case 32768: return "Above-Normal";
    default: return {};
    }
}

std::string IntToTextOrUnknown(int64_t value) { return value == 0 ? "??" : std::to_string(value); }

std::string ExtractCleanFilePath(const std::string& fileName)
{
    const auto slash = fileName.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

std::string DateTimeToLogString(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
}

} // namespace cv
