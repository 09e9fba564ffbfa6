#include "crashreport/core/crashbox_events.h"

#include <atomic>

namespace cv {

namespace {
std::atomic<TExceptionNotifyProc> gExceptionNotify{nullptr};
std::atomic<TExceptionActionNotifyProc> gExceptionActionNotify{nullptr};
std::atomic<TExceptionErrorNotifyProc> gExceptionErrorNotify{nullptr};
} // namespace

void SetExceptionNotify(TExceptionNotifyProc procedure) { gExceptionNotify.store(procedure); }
TExceptionNotifyProc ExceptionNotify() { return gExceptionNotify.load(); }
void SetExceptionActionNotify(TExceptionActionNotifyProc procedure) { gExceptionActionNotify.store(procedure); }
TExceptionActionNotifyProc ExceptionActionNotify() { return gExceptionActionNotify.load(); }
void SetExceptionErrorNotify(TExceptionErrorNotifyProc procedure) { gExceptionErrorNotify.store(procedure); }
TExceptionErrorNotifyProc ExceptionErrorNotify() { return gExceptionErrorNotify.load(); }

} // namespace cv
