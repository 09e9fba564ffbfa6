#pragma once
// A reserve of memory that the first allocation to fail is given.
//
// Qt's widgets and containers do not survive an allocation that fails half
// way (a widget half made is destroyed in pieces, a container half grown is
// left broken): a window under a tight limit of memory ended in a crash, or
// without a word. While a reserve is held, an operator new that finds no
// memory frees the reserve and tries again, so that the step under way ends
// whole; the window then learns at its next safe point (GivenOut) that it
// ran on its reserve, and either takes it again (Renew: the step gave its
// memory back) or gives up what it shows. An allocation that still fails
// throws std::bad_alloc as before, and so does one on any other thread than
// the one that took the reserve (the window's): the jobs' threads and the
// crash reports' background work deal with a failure themselves.
//
// One reserve at a time (the allocation hook is the process's). The block
// is the heap's (where the step's next allocations look first), never
// written: it holds room, not memory in use.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace cv {

class TMemoryReserve {
public:
    static constexpr std::size_t kDefaultBytes = std::size_t(4) << 20;

    // Takes `bytes` and hooks operator new; throws std::bad_alloc when the
    // room is not there (the program cannot go on), std::logic_error when
    // another reserve is held.
    explicit TMemoryReserve(std::size_t bytes = kDefaultBytes);
    ~TMemoryReserve();
    TMemoryReserve(const TMemoryReserve&) = delete;
    TMemoryReserve& operator=(const TMemoryReserve&) = delete;

    // Whether an allocation was given the reserve since it was last held.
    bool GivenOut() const { return fGivenOut.load(); }
    // Takes the reserve again when it was given out: false when the room is
    // not there (it stays given out).
    bool Renew();

private:
    // operator new found no memory: the reserve goes, once.
    static void GiveOut();
    bool Release();

    struct TFree {
        void operator()(void* p) const { std::free(p); }
    };
    // Taken with malloc: operator new would ask the hook.
    static std::unique_ptr<void, TFree> Take(std::size_t bytes) { return std::unique_ptr<void, TFree>(std::malloc(bytes)); }

    const std::size_t fBytes;
    std::mutex fLock;
    std::unique_ptr<void, TFree> fBlock;
    std::atomic<bool> fGivenOut{false};
    const std::thread::id fThread = std::this_thread::get_id();
    std::new_handler fPrevious = nullptr;
};

} // namespace cv
