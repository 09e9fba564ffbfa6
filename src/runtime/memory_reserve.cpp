#include "runtime/memory_reserve.h"

#include <stdexcept>
#include <utility>

namespace cv {

namespace {

// The reserve operator new may free: the process has one allocation hook.
std::atomic<TMemoryReserve*> heldReserve{nullptr};

} // namespace

TMemoryReserve::TMemoryReserve(std::size_t bytes) : fBytes(bytes), fBlock(Take(bytes))
{
    if (!fBlock)
        throw std::bad_alloc();
    TMemoryReserve* none = nullptr;
    if (!heldReserve.compare_exchange_strong(none, this))
        throw std::logic_error("a memory reserve is held already");
    fPrevious = std::set_new_handler(&TMemoryReserve::GiveOut);
}

TMemoryReserve::~TMemoryReserve()
{
    std::set_new_handler(fPrevious);
    heldReserve.store(nullptr);
}

bool TMemoryReserve::Renew()
{
    std::lock_guard guard(fLock);
    if (!fGivenOut.load())
        return true;
    fBlock = Take(fBytes);
    if (!fBlock)
        return false;
    fGivenOut = false;
    return true;
}

bool TMemoryReserve::Release()
{
    std::lock_guard guard(fLock);
    if (fGivenOut.load())
        return false;
    fBlock.reset();
    fGivenOut = true;
    return true;
}

void TMemoryReserve::GiveOut()
{
    // operator new calls this until it returns no more: the reserve once,
    // then the failure.
    TMemoryReserve* reserve = heldReserve.load();
    if (reserve && std::this_thread::get_id() == reserve->fThread && reserve->Release())
        return;
    if (reserve && reserve->fPrevious) {
        reserve->fPrevious();
        return;
    }
    throw std::bad_alloc();
}

} // namespace cv
