#pragma once
// The core's internal-error hooks: the procedure that records its own
// errors, the start-up and shut-down sections run under it, and whether
// the internal-error handler is running.

#include <stdexcept>
#include <string>

namespace cv {

// Raised when a unit's start-up or shut-down section fails and no
// internal-error procedure is installed.
class ECrashboxCriticalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The procedure that records the core's internal errors; none at first.
using TInternalErrorProc = void (*)(const std::string& message);
void SetInternalErrorProcedure(TInternalErrorProc procedure);
TInternalErrorProc InternalErrorProcedure();
// Runs a unit's start-up or shut-down body. An exception from it goes to the
// internal-error procedure ("<Name> (Address: <body address>)") or, when
// none is installed, is raised again as ECrashboxCriticalError.
void CallUnitSection(void (*procedure)(), const std::string& name);
// True while the internal-error handler runs (internal_errors.h): the
// lookups of code addresses then name the core's own units too.
bool InternalErrorRunning();
void SetInternalErrorRunning(bool running);

} // namespace cv
