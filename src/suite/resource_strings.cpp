#include "suite/resource_strings.h"

#include <array>

namespace cv {

namespace {
#define CV_LIST_RESOURCE_STRING(name, text) name,
constexpr std::array kAll = {CV_RESOURCE_STRINGS(CV_LIST_RESOURCE_STRING)};
#undef CV_LIST_RESOURCE_STRING
} // namespace

std::span<const TResourceString> AllResourceStrings() { return kAll; }

QString ResourceStringByName(QStringView name)
{
    for (const TResourceString& r : kAll)
        if (name == QLatin1StringView(r.name))
            return r.toString();
    return QString();
}

} // namespace cv
