#include "crashreport/core/options/filter_matching.h"

#include <algorithm>

namespace cv {

bool ListContains(const std::string& name, const std::vector<std::string>& list)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool FilterMatches(const TCrashboxModuleOptions& options, const TExceptionObject& exception, int index, bool handled)
{
    const TCrashboxExceptionFilter& filter = options.ExceptionsFilters().Items(index);
    if (InheritsFromName(exception, "TActiveXException"))
        return ListContains(filter.ExceptionClassName, exception.Parents);
    switch (filter.ExceptionType) {
    case fetAll: break;
    case fetHandled:
        if (!handled)
            return false;
        break;
    case fetUnhandled:
        if (handled)
            return false;
        break;
    default: return false;
    }
    return exception.IsValid() && InheritsFromName(exception, filter.ExceptionClassName);
}

int32_t FindFilter(const TCrashboxModuleOptions& options, const TExceptionObject& exception, bool handled)
{
    const TCrashboxExceptionsFilters& filters = options.ExceptionsFilters();
    for (int i = 0; i < filters.Count(); ++i)
        if (filters.Items(i).Active && FilterMatches(options, exception, i, handled))
            return i;
    return -1;
}

TExceptionDialogType FilterDialogType(TFilterDialogType type, TExceptionDialogType unchanged)
{
    switch (type) {
    case fdtNone: return edtNone;
    case fdtUnchanged: return unchanged;
    case fdtMessageBox: return edtMessageBox;
    case fdtMSClassic: return edtMSClassic;
    case fdtCrashbox: return edtCrashbox;
    }
    return unchanged;
}

} // namespace cv
