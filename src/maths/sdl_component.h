#pragma once
// What the vectors and matrices share as library objects: a name that error
// messages quote, the change and sort-exchange events, and the traits that
// set the floating and integer element types apart.

#include "maths/sdl_errors.h"
#include "maths/sdl_support.h"

#include <QString>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>

namespace cv {

class TSDLComponent;

using TNotifyEvent = std::function<void(TSDLComponent* sender)>;
// ExchgWhat: 0 two vector elements, 1 two columns, 2 two rows; index1 and
// index2 are the exchanged positions; first..last the range of the other
// dimension that moved.
using TSortExchgEvent = std::function<void(TSDLComponent* sender, uint8_t exchgWhat, int32_t index1,
                                           int32_t index2, int32_t first, int32_t last)>;
using TOnCalcDistanceEvent = std::function<void(TSDLComponent* sender, int32_t row1, int32_t row2, double& distance)>;

class TSDLComponent {
public:
    TSDLComponent() = default;
    TSDLComponent(const TSDLComponent&) = delete;
    TSDLComponent& operator=(const TSDLComponent&) = delete;
    virtual ~TSDLComponent() = default;

    const QString& Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }

    TNotifyEvent OnChange;
    TSortExchgEvent OnSortExchange;

    // Fires OnChange when it is assigned.
    void Changed()
    {
        if (OnChange)
            OnChange(this);
    }

protected:
    void SortExchanged(uint8_t what, int32_t index1, int32_t index2, int32_t first, int32_t last)
    {
        if (OnSortExchange)
            OnSortExchange(this, what, index1, index2, first, last);
    }
    // Component "<Name>": <text>
    QString ComponentMessage(const QString& text) const
    {
        return QStringLiteral("Component \"%1\": %2").arg(m_name, text);
    }

private:
    QString m_name;
};

// Largest number of cells (elements) one object may hold: bigger requests
// are answered with the "not enough memory" error instead of exhausting the
// machine, which is also what guards the readers against damaged counts.
inline constexpr int64_t kMaxCells = int64_t(1) << 28;

template <typename T>
struct SdlTraits;

template <>
struct SdlTraits<double> {
    using Sum = double;                                  // what Sum, DotProduct, Trace answer
    static constexpr double kVectorMinStart = 1.7e308;   // MinMax start values
    static constexpr double kMatrixMinStart = 1.7e38;
    static constexpr int kStreamValueSize = 10;          // 80-bit extended
    static constexpr int kCrcAccumulators = 8;

    // Σx in extended precision.
    static double SumOf(std::span<const double> x)
    {
        long double s = 0;
        for (double v : x)
            s += v;
        return double(s);
    }
    static double Plus(double a, double b) { return a + b; }
    static double Minus(double a, double b) { return a - b; }
    static double Times(double a, double b) { return a * b; }
    static bool WriteValue(QIODevice& s, double v) { return WriteExtended(s, v); }
    static double ReadValue(QIODevice& s, bool& error) { return ReadExtended(s, error); }
    // A stored bound back to an index; false for values no index can have.
    static bool ToIndex(double v, int32_t& index)
    {
        const double r = std::round(v);
        if (!(r >= -2147483648.0 && r <= 2147483647.0))
            return false;
        index = int32_t(r);
        return true;
    }
};

template <>
struct SdlTraits<int32_t> {
    using Sum = int32_t;
    static constexpr int32_t kVectorMinStart = 2147483647;
    static constexpr int32_t kMatrixMinStart = 2147483647;
    static constexpr int kStreamValueSize = 4;
    static constexpr int kCrcAccumulators = 4;

    // Integer sums are kept in 32 bits and wrap around, as 32-bit
    // accumulation does (unsigned arithmetic keeps that well defined).
    static int32_t SumOf(std::span<const int32_t> x)
    {
        uint32_t s = 0;
        for (int32_t v : x)
            s += uint32_t(v);
        return int32_t(s);
    }
    // Integer arithmetic wraps around in 32 bits.
    static int32_t Plus(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
    static int32_t Minus(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
    static int32_t Times(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }
    static bool WriteValue(QIODevice& s, int32_t v) { return WriteInteger(s, v); }
    static int32_t ReadValue(QIODevice& s, bool& error) { return ReadInteger(s, error); }
    static bool ToIndex(int32_t v, int32_t& index)
    {
        index = v;
        return true;
    }
};

// Σ a·b in extended precision for floats, in wrapping 32 bits for integers.
template <typename T>
struct TProductSum {
    long double acc = 0;
    void add(double a, double b) { acc += (long double)a * b; }
    double value() const { return double(acc); }
};
template <>
struct TProductSum<int32_t> {
    uint32_t acc = 0;
    void add(int32_t a, int32_t b) { acc += uint32_t(a) * uint32_t(b); }
    int32_t value() const { return int32_t(acc); }
};

// How many more values of `valueSize` bytes a device can deliver, or -1
// when it cannot tell (a sequential device).
inline int64_t StreamValuesLeft(const QIODevice& in, int valueSize)
{
    return in.isSequential() ? -1 : (in.size() - in.pos()) / valueSize;
}

// The fingerprint of both vectors and matrices: one CRC-32 accumulator per
// byte of an element; byte k of every element (little-endian) feeds
// accumulator k. The result is the accumulators inverted, 8 hex digits each.
template <typename T, typename Visit>
QString CrcFingerprint(Visit&& visitElements)
{
    constexpr int n = int(sizeof(T));
    uint32_t acc[n];
    for (uint32_t& a : acc)
        a = 0xFFFFFFFFu;
    visitElements([&](T value) {
        uint64_t bits = 0;
        if constexpr (n == 8)
            bits = std::bit_cast<uint64_t>(value);
        else
            bits = uint32_t(value);
        for (int k = 0; k < n; ++k)
            acc[k] = CrcStep(uint8_t(bits >> (8 * k)), acc[k]);
    });
    QString text;
    for (uint32_t a : acc)
        text += HexString(~a, 8);
    return text;
}

} // namespace cv
