#pragma once
// Expected stored bytes built by hand, field by field in little-endian order
// (for golden-byte tests and older layouts written by the tests).

#include "suite/cv_endian.h"
#include "suite/cv_stream.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace cvtest {

// Little-endian bytes, field by field.
struct LEBytes {
    std::vector<uint8_t> b;
    LEBytes& u8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    LEBytes& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    LEBytes& i16(int16_t v) { return u16(uint16_t(v)); }
    LEBytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    LEBytes& i32(int32_t v) { return u32(uint32_t(v)); }
    LEBytes& f32(float v)
    {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return u32(u);
    }
    LEBytes& f64(double v)
    {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        return u32(uint32_t(u)).u32(uint32_t(u >> 32));
    }
    LEBytes& zeros(int n)
    {
        b.insert(b.end(), size_t(n), 0);
        return *this;
    }
    // The string-stream form, UTF-16.
    LEBytes& str(const QString& s)
    {
        u32(uint32_t(s.size()));
        for (QChar c : s)
            u16(c.unicode());
        return u16(0);
    }
    LEBytes& bytes(const std::vector<uint8_t>& v)
    {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    cv::TMemoryStream stream() const { return cv::TMemoryStream(b); }
};

// The field of type T stored little-endian at `offset` of saved bytes (a
// failure of the test, and T{}, when it does not lie inside them).
template <typename T>
T LEAt(std::span<const uint8_t> bytes, std::size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
        ADD_FAILURE() << "no field of " << sizeof(T) << " bytes at offset " << offset << " of " << bytes.size();
        return T{};
    }
    return cv::endian::loadLE<T>(bytes.data() + offset);
}

// Overwrites the field of type T at `offset` of saved bytes, little-endian.
template <typename T>
void PutLE(QByteArray& bytes, std::size_t offset, T value)
{
    if (offset > std::size_t(bytes.size()) || std::size_t(bytes.size()) - offset < sizeof(T)) {
        ADD_FAILURE() << "no field of " << sizeof(T) << " bytes at offset " << offset << " of " << bytes.size();
        return;
    }
    cv::endian::storeLE(reinterpret_cast<uint8_t*>(bytes.data()) + offset, value);
}

} // namespace cvtest
