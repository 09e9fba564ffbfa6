#pragma once
// Which exception filter of the options applies to an exception: the first
// active one that matches it. A filter names a class; it matches an
// exception of that class or of any class descended from it (the kinds and
// their ancestors of exception_object.h), and its ExceptionType says whether
// it applies to handled exceptions, unhandled ones, or both. An ActiveX-style
// exception is matched against the class names it carries itself.

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

// handled: the exception comes through the handled-exception path.
bool FilterMatches(const TCrashboxModuleOptions& options, const TExceptionObject& exception, int index, bool handled);
// The index of the first active filter that matches, -1 when none does.
int32_t FindFilter(const TCrashboxModuleOptions& options, const TExceptionObject& exception, bool handled);
// The dialog a filter asks for; fdtUnchanged (or a value out of range): the
// options' own, `unchanged`.
TExceptionDialogType FilterDialogType(TFilterDialogType type, TExceptionDialogType unchanged);
// Whether one item of the list equals name exactly (letter case counts).
bool ListContains(const std::string& name, const std::vector<std::string>& list);

} // namespace cv
