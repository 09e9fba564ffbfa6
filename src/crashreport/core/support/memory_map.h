#pragma once
// The process's memory map: whether memory can be read (the stack walker
// and the report ask before they read) and which mapping holds an address.

#include <cstddef>
#include <cstdint>

namespace cv {

// True when `size` bytes from `address` are readable, as the process's
// memory map says (never found out by touching the memory). The map is
// cached and read again on a miss; safe to call from a signal handler.
bool IsReadableMemory(const void* address, std::size_t size);
// Drops the cached map: memory unmapped since it was read would still be
// taken as readable (a report forgets it before it starts reading memory).
void ForgetMemoryMap();
// As IsReadableMemory, but a miss is answered from the cached map without
// reading the map again (an empty cache is filled first). For a scan that
// asks about many values that mostly are no addresses: it forgets the map
// once at its start.
bool IsReadableMemoryCached(const void* address, std::size_t size);
// The one mapping of the memory map (a line of it, not merged with its
// neighbours) that holds the address; false when none does. Plain system
// calls, no allocation.
bool MemoryMappingOf(const void* address, uintptr_t& start, uintptr_t& end);

} // namespace cv
