#pragma once
// Reading DWARF's encodings from a block of bytes: fixed-size little-endian
// values, LEB128 numbers and strings, each checked against the block's end.
// A read past the end marks the reader damaged (Ok() false) and answers 0;
// every read after it fails too, so a caller may read a whole record and
// look once.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "suite/cv_endian.h"

namespace cv {

class TDwarfReader {
public:
    TDwarfReader(std::span<const uint8_t> data, uint64_t at, uint64_t end) : m_data(data), m_at(at), m_end(std::min<uint64_t>(end, data.size())) {}

    bool Ok() const { return m_ok; }
    uint64_t At() const { return m_at; }
    bool AtEnd() const { return m_at >= m_end; }
    void Seek(uint64_t at) { m_at = at; }

    template <typename T>
    T Fixed()
    {
        if (!Need(sizeof(T)))
            return 0;
        const T v = endian::loadLE<T>(m_data.data() + m_at);
        m_at += sizeof(T);
        return v;
    }
    uint64_t Sized(unsigned size)
    {
        switch (size) {
        case 1: return Fixed<uint8_t>();
        case 2: return Fixed<uint16_t>();
        case 4: return Fixed<uint32_t>();
        case 8: return Fixed<uint64_t>();
        default: m_ok = false; return 0;
        }
    }
    uint64_t Uleb()
    {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            if (!Need(1))
                return 0;
            const uint8_t b = m_data[m_at++];
            if (shift < 64)
                v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
        }
    }
    int64_t Sleb()
    {
        uint64_t v = 0;
        unsigned shift = 0;
        uint8_t b = 0;
        do {
            if (!Need(1))
                return 0;
            b = m_data[m_at++];
            if (shift < 64)
                v |= uint64_t(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40))
            v |= ~uint64_t(0) << shift;
        return int64_t(v);
    }
    std::string CString()
    {
        const uint64_t start = m_at;
        while (m_at < m_end && m_data[m_at] != 0)
            ++m_at;
        if (!Need(1))
            return {};
        std::string s(reinterpret_cast<const char*>(m_data.data() + start), size_t(m_at - start));
        ++m_at;
        return s;
    }
    void Skip(uint64_t n)
    {
        if (Need(n))
            m_at += n;
    }
    // Marks the data damaged: every later read fails.
    void Fail()
    {
        m_ok = false;
        m_at = m_end;
    }

private:
    bool Need(uint64_t n)
    {
        if (!m_ok || m_at > m_end || m_end - m_at < n) {
            m_ok = false;
            m_at = m_end;
            return false;
        }
        return true;
    }

    std::span<const uint8_t> m_data;
    uint64_t m_at;
    uint64_t m_end;
    bool m_ok = true;
};

} // namespace cv
