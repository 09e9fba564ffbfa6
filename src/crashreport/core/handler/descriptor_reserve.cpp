#include "crashreport/core/handler/descriptor_reserve.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <mutex>

namespace cv {

namespace {

// Reading: the report's own files of the process (its memory map, the
// processes table) one at a time, the debug data of a module or two not
// read before, and the event loop of the one thread Qt's painting of the
// report's windows may start (report_threads.h). Saving: the log read, its
// new file written, then renamed; the reporter's request; the mail's socket.
constexpr std::array<int, 2> kSetSize = {7, 4};

struct TReserve {
    std::mutex lock;
    std::array<std::array<int, 8>, 2> held{};
    std::array<int, 2> count{};
};

TReserve& Reserve()
{
    static TReserve reserve;
    return reserve;
}

} // namespace

void HoldDescriptors(TDescriptorUse use)
{
    TReserve& reserve = Reserve();
    const auto set = std::size_t(use);
    std::lock_guard guard(reserve.lock);
    while (reserve.count[set] < kSetSize[set]) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        reserve.held[set][std::size_t(reserve.count[set]++)] = fd;
    }
}

void ReleaseDescriptors(TDescriptorUse use)
{
    TReserve& reserve = Reserve();
    const auto set = std::size_t(use);
    std::lock_guard guard(reserve.lock);
    while (reserve.count[set] > 0)
        ::close(reserve.held[set][std::size_t(--reserve.count[set])]);
}

int HeldDescriptors(TDescriptorUse use)
{
    TReserve& reserve = Reserve();
    std::lock_guard guard(reserve.lock);
    return reserve.count[std::size_t(use)];
}

} // namespace cv
