#include "crashreport/core/support/jump_thunks.h"

#include "crashreport/core/support/memory_map.h"

#include <cstdint>
#include <cstring>

namespace cv {

const void* GetRealProcAddress(const void* address)
{
    const auto* code = static_cast<const uint8_t*>(address);
    // endbr64; bnd jmp [rip+disp] is 11 bytes, the plain jump 6.
    uint8_t bytes[11];
    std::size_t length = 6;
    if (!IsReadableMemory(code, length))
        return address;
    std::memcpy(bytes, code, length);
    std::size_t at = 0;
    if (bytes[0] == 0xF3 && bytes[1] == 0x0F && bytes[2] == 0x1E && bytes[3] == 0xFA) {
        if (!IsReadableMemory(code, length = 11))
            return address;
        std::memcpy(bytes, code, length);
        at = 4;
    }
    if (bytes[at] == 0xF2)
        ++at;
    if (at + 6 > length || bytes[at] != 0xFF || bytes[at + 1] != 0x25)
        return address;
    int32_t displacement;
    std::memcpy(&displacement, bytes + at + 2, 4);
    const uint8_t* cell = code + at + 6 + displacement;
    if (!IsReadableMemory(cell, sizeof(uintptr_t)))
        return address;
    uintptr_t target;
    std::memcpy(&target, cell, sizeof target);
    return reinterpret_cast<const void*>(target);
}

} // namespace cv
