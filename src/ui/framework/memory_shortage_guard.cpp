#include "ui/framework/memory_shortage_guard.h"

#include <utility>

#include "runtime/memory_reserve.h"
#include "ui/framework/main_tools_form.h"

namespace cv {

TMemoryShortageGuard::TMemoryShortageGuard(TMemoryReserve& reserve, std::function<void()> cannotGoOn)
    : fReserve(reserve), fCannotGoOn(std::move(cannotGoOn))
{
}

void TMemoryShortageGuard::AfterStep()
{
    if (fReserve.GivenOut())
        AfterShortage(false);
}

void TMemoryShortageGuard::AfterShortage(bool failed)
{
    if (fDepth > 0) {
        if (failed && !(fWindow && fWindow->StopJobForShortage()))
            fPending = true;
        return;
    }
    failed = std::exchange(fPending, false) || failed;
    if (!failed && fReserve.Renew())
        return;
    // The answer is a step of its own: events it lets through (its message)
    // wait for its end.
    const TDepth answering(fDepth);
    if (fWindow) {
        try {
            fWindow->DropDataForShortage();
        } catch (const std::bad_alloc&) {
            // Even that could not be done: the reserve tells below.
        }
    }
    if (!fReserve.Renew() || !fWindow)
        fCannotGoOn();
}

} // namespace cv
