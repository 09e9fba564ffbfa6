#include "crashreport/core/support/internal_error_hooks.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>

namespace cv {

namespace {
std::atomic<TInternalErrorProc> gInternalErrorProc{nullptr};
std::atomic<bool> gInternalErrorRunning{false};
}

void SetInternalErrorProcedure(TInternalErrorProc procedure) { gInternalErrorProc.store(procedure); }

TInternalErrorProc InternalErrorProcedure() { return gInternalErrorProc.load(); }

bool InternalErrorRunning() { return gInternalErrorRunning.load(); }

void SetInternalErrorRunning(bool running) { gInternalErrorRunning.store(running); }

void CallUnitSection(void (*procedure)(), const std::string& name)
{
    std::string message;
    try {
        procedure();
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "General internal error.";
    }
    if (TInternalErrorProc internalError = InternalErrorProcedure()) {
        char address[32];
        std::snprintf(address, sizeof address, "%016llX",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(procedure)));
        internalError(name + " (Address: " + address + ")");
        return;
    }
    throw ECrashboxCriticalError("Critical error at: \"" + name + "\"\r\nError: \"" + message + "\".");
}

} // namespace cv
