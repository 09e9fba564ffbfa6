#pragma once
// The 80-bit extended-precision numbers (x87 double-extended format) that the
// vector and matrix stream forms are made of: 10 bytes, little-endian,
// 64-bit significand with an explicit integer bit, 15-bit exponent biased by
// 16383, sign in the top bit.
//
// Our values are 64-bit doubles, so writing widens exactly and reading rounds
// to the nearest double (ties to even). On x86-64 the rounding is done by the
// hardware through long double; everywhere else by the portable converter,
// which gives the same bits (the tests check one against the other).

#include <array>
#include <cstdint>

namespace cv {

using TExtended80 = std::array<uint8_t, 10>;

// Exact: every double has an extended twin. NaN payloads are kept bit for bit.
TExtended80 DoubleToExtended(double value);

// Rounds to the nearest double; out-of-range magnitudes become infinity or
// zero. A NaN keeps the top 52 bits of its payload (quiet bit as it was), so
// a double NaN survives the trip out and back unchanged. Encodings the x87
// itself refuses (unnormals, pseudo-infinities, pseudo-NaNs) read as the
// default NaN, as the hardware answers them.
double ExtendedToDouble(const TExtended80& bytes);

namespace portable {
// The software converter behind ExtendedToDouble where long double is not
// the x87 format; always built so that it can be checked against hardware.
double ExtendedToDouble(const TExtended80& bytes);
} // namespace portable

} // namespace cv
