#pragma once
// A window handle of the suite: 64 bits, the owning process id in the high
// 32 bits and the window's number within that process in the low 32 bits, so
// a handle read from the settings buffer can be addressed from any process.
// 0 is "no window".

#include <cstdint>

namespace cv {

using TWindowHandle = uint64_t;

constexpr TWindowHandle MakeWindowHandle(int64_t pid, uint32_t windowNumber)
{
    return (TWindowHandle(uint32_t(pid)) << 32) | windowNumber;
}
constexpr int64_t WindowHandleProcess(TWindowHandle h) { return int64_t(h >> 32); }
constexpr uint32_t WindowHandleNumber(TWindowHandle h) { return uint32_t(h & 0xFFFFFFFFu); }

} // namespace cv
