#pragma once
// Fixed-size settings records of the shared settings buffer.
//
// Each record is a block of bytes with its fields at fixed offsets, in
// little-endian order: the same bytes live in the shared buffer, travel
// between processes and are stored whole inside result files. A record type
// derives from TSettingsRecord<N> and names its fields with CV_FIELD /
// CV_TEXT_FIELD; the accessors convert at the offset, so nothing depends on
// the compiler's struct layout and every record can be copied as bytes.

#include <QString>

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "suite/cv_endian.h"

namespace cv {

template <std::size_t N>
class TSettingsRecord {
public:
    static constexpr std::size_t kSize = N;

    TSettingsRecord() { m_bytes.fill(0); }

    std::span<uint8_t, N> Bytes() { return m_bytes; }
    std::span<const uint8_t, N> Bytes() const { return m_bytes; }

    template <typename T>
    T Get(std::size_t offset) const
    {
        static_assert(std::is_trivially_copyable_v<T>);
        return offset + sizeof(T) <= N ? endian::loadLE<T>(m_bytes.data() + offset) : T{};
    }
    template <typename T>
    void Set(std::size_t offset, T value)
    {
        if (offset + sizeof(T) <= N)
            endian::storeLE(m_bytes.data() + offset, value);
    }
    bool GetBool(std::size_t offset) const { return Get<uint8_t>(offset) != 0; }
    void SetBool(std::size_t offset, bool v) { Set<uint8_t>(offset, v ? 1 : 0); }

    // A UTF-16 text field of `chars` units, zero terminated when shorter.
    QString GetText(std::size_t offset, std::size_t chars) const
    {
        QString out;
        for (std::size_t i = 0; i < chars && offset + 2 * i + 2 <= N; ++i) {
            const auto c = endian::loadLE<uint16_t>(m_bytes.data() + offset + 2 * i);
            if (c == 0)
                break;
            out.append(QChar(c));
        }
        return out;
    }
    // Writes at most chars-1 units and always leaves a terminating zero.
    void SetText(std::size_t offset, std::size_t chars, const QString& text)
    {
        for (std::size_t i = 0; i < chars && offset + 2 * i + 2 <= N; ++i) {
            const uint16_t c = (i + 1 < chars && qsizetype(i) < text.size()) ? text[qsizetype(i)].unicode() : 0;
            endian::storeLE(m_bytes.data() + offset + 2 * i, c);
        }
    }

    void CopyBytesFrom(std::span<const uint8_t> src, std::size_t offset = 0)
    {
        if (offset < N && !src.empty())
            std::memcpy(m_bytes.data() + offset, src.data(), std::min(src.size(), N - offset));
    }

    friend bool operator==(const TSettingsRecord& a, const TSettingsRecord& b) { return a.m_bytes == b.m_bytes; }

private:
    std::array<uint8_t, N> m_bytes;
};

} // namespace cv

// Named accessors for a field of type T at a fixed byte offset.
#define CV_FIELD(T, offset, Name)                                   \
    T Name() const { return this->template Get<T>(offset); }        \
    void Set##Name(T v) { this->template Set<T>(offset, v); }       \
    static constexpr std::size_t Name##Offset = offset;

#define CV_BOOL_FIELD(offset, Name)                                 \
    bool Name() const { return this->GetBool(offset); }             \
    void Set##Name(bool v) { this->SetBool(offset, v); }            \
    static constexpr std::size_t Name##Offset = offset;

// A UTF-16 field of `chars` units including the terminating zero.
#define CV_TEXT_FIELD(offset, chars, Name)                                      \
    QString Name() const { return this->GetText(offset, chars); }               \
    void Set##Name(const QString& v) { this->SetText(offset, chars, v); }       \
    static constexpr std::size_t Name##Offset = offset;                         \
    static constexpr std::size_t Name##Chars = chars;
