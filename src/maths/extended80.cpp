#include "maths/extended80.h"

#include <bit>
#include <cfloat>
#include <cstring>

namespace cv {

namespace {

constexpr uint64_t kIntegerBit = uint64_t(1) << 63;
constexpr uint64_t kDoubleSignBit = uint64_t(1) << 63;
constexpr uint64_t kDefaultNaN = 0xFFF8000000000000ULL; // what the x87 makes of invalid operands
constexpr int kExtBias = 16383;
constexpr int kDoubleBias = 1023;

struct Unpacked {
    bool negative;
    int exponent;      // biased, 0..32767
    uint64_t mantissa; // with the explicit integer bit
};

Unpacked unpack(const TExtended80& b)
{
    uint64_t m = 0;
    for (int i = 7; i >= 0; --i)
        m = (m << 8) | b[size_t(i)];
    const unsigned se = unsigned(b[8]) | (unsigned(b[9]) << 8);
    return {(se & 0x8000u) != 0, int(se & 0x7FFFu), m};
}

double fromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

// Shared by both converters: NaN and the encodings that are not numbers.
// Returns true (and the answer) when the value is one of them.
bool specialToDouble(const Unpacked& u, double& out)
{
    const uint64_t sign = u.negative ? kDoubleSignBit : 0;
    const bool integerBit = (u.mantissa & kIntegerBit) != 0;
    if (u.exponent == 0x7FFF) {
        if (!integerBit) { // pseudo-infinity or pseudo-NaN
            out = fromBits(kDefaultNaN);
            return true;
        }
        const uint64_t fraction = u.mantissa & ~kIntegerBit;
        if (fraction == 0)
            return false; // a true infinity rounds like any number
        uint64_t payload = fraction >> 11;
        if (payload == 0) // keep it a NaN when only low payload bits were set
            payload = uint64_t(1) << 50;
        out = fromBits(sign | (uint64_t(0x7FF) << 52) | payload);
        return true;
    }
    if (u.exponent != 0 && !integerBit) { // unnormal
        out = fromBits(kDefaultNaN);
        return true;
    }
    return false;
}

} // namespace

TExtended80 DoubleToExtended(double value)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits & kDoubleSignBit) != 0;
    const int dexp = int((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t(1) << 52) - 1);
    int eexp = 0;
    uint64_t mantissa = 0;
    if (dexp == 0x7FF) {
        eexp = 0x7FFF;
        mantissa = kIntegerBit | (fraction << 11);
    } else if (dexp != 0) {
        eexp = dexp - kDoubleBias + kExtBias;
        mantissa = kIntegerBit | (fraction << 11);
    } else if (fraction != 0) {
        // Subnormal double: normalise, the extended range holds it easily.
        const int shift = std::countl_zero(fraction);
        mantissa = fraction << shift;
        eexp = 1 - kDoubleBias + kExtBias - (shift - 11);
    }
    TExtended80 out{};
    for (int i = 0; i < 8; ++i)
        out[size_t(i)] = uint8_t(mantissa >> (8 * i));
    const unsigned se = unsigned(eexp) | (negative ? 0x8000u : 0u);
    out[8] = uint8_t(se);
    out[9] = uint8_t(se >> 8);
    return out;
}

namespace portable {

double ExtendedToDouble(const TExtended80& bytes)
{
    const Unpacked u = unpack(bytes);
    double special = 0;
    if (specialToDouble(u, special))
        return special;
    const uint64_t sign = u.negative ? kDoubleSignBit : 0;
    if (u.exponent == 0x7FFF)
        return fromBits(sign | (uint64_t(0x7FF) << 52));
    if (u.mantissa == 0)
        return fromBits(sign);

    // Value = mantissa * 2^(e - 16383 - 63), with e = 1 for (pseudo-)denormals.
    const int e = u.exponent == 0 ? 1 : u.exponent;
    const int lead = std::countl_zero(u.mantissa);
    const uint64_t m = u.mantissa << lead;   // integer bit now at bit 63
    int unbiased = e - kExtBias - lead;      // exponent of that bit
    int dexp = unbiased + kDoubleBias;       // biased double exponent if normal

    // Number of low bits of m to drop: 11 for a normal result, more when the
    // result is subnormal.
    int drop = 11;
    if (dexp <= 0) {
        drop += 1 - dexp;
        dexp = 0;
    }
    if (drop > 64) // far below the smallest subnormal: rounds to zero
        return fromBits(sign);
    uint64_t kept = drop == 64 ? 0 : (m >> drop);
    const uint64_t rest = drop == 64 ? m : (m & ((uint64_t(1) << drop) - 1));
    const uint64_t half = uint64_t(1) << (drop - 1);
    if (rest > half || (rest == half && (kept & 1)))
        ++kept;
    // For a normal result kept holds the implicit bit at bit 52; a carry out
    // of the rounding moves to the next binade. For a subnormal result a carry
    // into bit 52 makes it the smallest normal, which the same addition gives.
    uint64_t bits;
    if (dexp == 0) {
        bits = kept; // subnormal (or, after a carry, the smallest normal)
    } else {
        if (kept >> 53) {
            kept >>= 1;
            ++dexp;
        }
        if (dexp >= 0x7FF)
            return fromBits(sign | (uint64_t(0x7FF) << 52));
        bits = (uint64_t(dexp) << 52) | (kept & ((uint64_t(1) << 52) - 1));
    }
    return fromBits(sign | bits);
}

} // namespace portable

double ExtendedToDouble(const TExtended80& bytes)
{
#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
    const Unpacked u = unpack(bytes);
    double special = 0;
    if (specialToDouble(u, special))
        return special;
    long double value = 0;
    std::memcpy(&value, bytes.data(), bytes.size());
    return double(value);
#else
    return portable::ExtendedToDouble(bytes);
#endif
}

} // namespace cv
