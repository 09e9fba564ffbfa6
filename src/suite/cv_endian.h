#pragma once
// Every saved file of the tool is little-endian. This is the one place that
// says so: all field readers and writers go through these helpers, so a file
// written on any machine reads back on any other.

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace cv::endian {

template <typename T>
inline void storeLE(void* dst, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        std::memcpy(dst, bytes, sizeof(T));
    } else {
        std::memcpy(dst, &value, sizeof(T));
    }
}

template <typename T>
inline T loadLE(const void* src)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, src, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        std::memcpy(&value, bytes, sizeof(T));
    } else {
        std::memcpy(&value, src, sizeof(T));
    }
    return value;
}

} // namespace cv::endian
