#include "crashreport/core/support/memory_map.h"

#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace cv {

namespace {

// Readable stretches of the address space, merged where they touch, as the
// memory map showed them at its last reading.
struct TReadableRegion {
    uintptr_t start;
    uintptr_t end;
};
constexpr std::size_t kMaxRegions = 8192;
TReadableRegion gRegions[kMaxRegions];
std::size_t gRegionCount = 0;
std::atomic_flag gRegionsBusy = ATOMIC_FLAG_INIT;

bool CachedReadable(uintptr_t start, uintptr_t end)
{
    std::size_t lo = 0;
    std::size_t hi = gRegionCount;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (gRegions[mid].end <= start)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < gRegionCount && gRegions[lo].start <= start && end <= gRegions[lo].end;
}

uintptr_t ParseHex(const char*& p, const char* end)
{
    uintptr_t value = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value << 4 | uintptr_t(digit);
    }
    return value;
}

// Walks /proc/self/maps with plain system calls and fixed storage (no
// allocation: it may run inside a signal handler), handing each line's
// range and whether it can be read to `visit` until it answers false.
// False when the map cannot be read.
template <typename Visit>
bool ForEachMapLine(Visit visit)
{
    int fd;
    do
        fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    char buffer[4096];
    std::size_t kept = 0;
    bool lineTooLong = false;
    bool going = true;
    while (going) {
        const ssize_t n = ::read(fd, buffer + kept, sizeof buffer - kept);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const char* p = buffer;
        const char* limit = buffer + kept + std::size_t(n);
        while (going) {
            const char* eol = static_cast<const char*>(std::memchr(p, '\n', std::size_t(limit - p)));
            if (!eol)
                break;
            if (lineTooLong) {
                lineTooLong = false;
            } else {
                // "start-end perms ..."
                const char* q = p;
                const uintptr_t from = ParseHex(q, eol);
                uintptr_t to = 0;
                if (q < eol && *q == '-') {
                    ++q;
                    to = ParseHex(q, eol);
                }
                // The kernel's time data pages ([vvar]) say "r" but fault when
                // some of their pages are read.
                const std::string_view line(p, std::size_t(eol - p));
                const bool readable = q + 1 < eol && *q == ' ' && q[1] == 'r' && !line.ends_with("[vvar]")
                                      && !line.ends_with("[vvar_vclock]");
                if (to > from)
                    going = visit(from, to, readable);
            }
            p = eol + 1;
        }
        kept = std::size_t(limit - p);
        if (kept == sizeof buffer) {
            // A line longer than the buffer (a very long file name): its
            // start was looked at already, the rest is skipped.
            kept = 0;
            lineTooLong = true;
        }
        std::memmove(buffer, p, kept);
    }
    ::close(fd);
    return true;
}

// Answers from the map itself whether [start, end) is readable. With
// `fill`, the cache is rebuilt on the way.
bool ScanMemoryMap(uintptr_t start, uintptr_t end, bool fill)
{
    if (fill)
        gRegionCount = 0;
    uintptr_t coveredTo = start; // [start, coveredTo) is known readable
    ForEachMapLine([&](uintptr_t from, uintptr_t to, bool readable) {
        if (!readable)
            return true;
        if (from <= coveredTo && coveredTo < to)
            coveredTo = to;
        if (fill) {
            if (gRegionCount > 0 && gRegions[gRegionCount - 1].end == from)
                gRegions[gRegionCount - 1].end = to;
            else if (gRegionCount < kMaxRegions)
                gRegions[gRegionCount++] = {from, to};
        }
        return true;
    });
    return coveredTo >= end;
}

} // namespace

namespace {

// A miss reads the map again when `refresh` is set, else it is an answer
// (an empty cache is filled either way).
bool IsReadableRange(const void* address, std::size_t size, bool refresh)
{
    const auto start = reinterpret_cast<uintptr_t>(address);
    if (size == 0)
        size = 1;
    if (start == 0 || size > UINTPTR_MAX - start)
        return false;
    const uintptr_t end = start + size;
    if (gRegionsBusy.test_and_set(std::memory_order_acquire)) {
        // Another thread, or the code this signal interrupted, holds the
        // cache: answer from the map itself.
        return ScanMemoryMap(start, end, false);
    }
    const bool cached = gRegionCount > 0 && CachedReadable(start, end);
    const bool readable = cached || ((refresh || gRegionCount == 0) && ScanMemoryMap(start, end, true));
    gRegionsBusy.clear(std::memory_order_release);
    return readable;
}

} // namespace

bool IsReadableMemory(const void* address, std::size_t size) { return IsReadableRange(address, size, true); }

bool IsReadableMemoryCached(const void* address, std::size_t size) { return IsReadableRange(address, size, false); }

void ForgetMemoryMap()
{
    // A holder that never lets go (a thread paused for a report inside a
    // lookup) is not waited for: while it holds the cache, every answer
    // comes from the map itself.
    for (int tries = 0; gRegionsBusy.test_and_set(std::memory_order_acquire); ++tries) {
        if (tries == 1000)
            return;
        ::sched_yield();
    }
    gRegionCount = 0;
    gRegionsBusy.clear(std::memory_order_release);
}

bool MemoryMappingOf(const void* address, uintptr_t& start, uintptr_t& end)
{
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool found = false;
    ForEachMapLine([&](uintptr_t from, uintptr_t to, bool) {
        found = from <= at && at < to;
        if (found) {
            start = from;
            end = to;
        }
        return !found && from <= at;
    });
    return found;
}

} // namespace cv
