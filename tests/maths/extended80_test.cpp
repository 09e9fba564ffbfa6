#include "maths/extended80.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

cv::TExtended80 bytesOf(uint64_t mantissa, uint16_t signExponent)
{
    cv::TExtended80 b{};
    for (int i = 0; i < 8; ++i)
        b[size_t(i)] = uint8_t(mantissa >> (8 * i));
    b[8] = uint8_t(signExponent);
    b[9] = uint8_t(signExponent >> 8);
    return b;
}

uint64_t bitsOf(double d) { return std::bit_cast<uint64_t>(d); }

constexpr bool kX87LongDouble =
#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
    true;
#else
    false;
#endif

// What the x87 itself makes of the bytes.
double hardware(const cv::TExtended80& b)
{
    long double ld = 0;
    std::memcpy(&ld, b.data(), b.size());
    return double(ld);
}

} // namespace

TEST(MathsExtended80, KnownEncodings)
{
    EXPECT_EQ(cv::DoubleToExtended(1.0), bytesOf(0x8000000000000000ULL, 0x3FFF));
    EXPECT_EQ(cv::DoubleToExtended(-2.5), bytesOf(0xA000000000000000ULL, 0xC000));
    EXPECT_EQ(cv::DoubleToExtended(0.0), bytesOf(0, 0));
    EXPECT_EQ(cv::DoubleToExtended(-0.0), bytesOf(0, 0x8000));
    EXPECT_EQ(cv::DoubleToExtended(INFINITY), bytesOf(0x8000000000000000ULL, 0x7FFF));
    // The smallest subnormal double, 2^-1074, is a normal extended number.
    EXPECT_EQ(cv::DoubleToExtended(std::numeric_limits<double>::denorm_min()),
              bytesOf(0x8000000000000000ULL, uint16_t(16383 - 1074)));
    EXPECT_EQ(cv::ExtendedToDouble(bytesOf(0xC000000000000000ULL, 0x4000)), 3.0);
}

TEST(MathsExtended80, EveryDoubleGoesOutAndBackBitForBit)
{
    std::mt19937_64 gen(11);
    std::vector<uint64_t> patterns = {0, 1, 0x000FFFFFFFFFFFFFULL, 0x0010000000000000ULL, 0x7FEFFFFFFFFFFFFFULL,
                                      0x7FF0000000000000ULL, 0x7FF0000000000001ULL /* signalling NaN */,
                                      0x7FF8000000000000ULL, 0xFFF4000000000123ULL};
    for (int i = 0; i < 20000; ++i)
        patterns.push_back(gen());
    for (uint64_t p : patterns) {
        for (uint64_t sign : {uint64_t(0), uint64_t(1) << 63}) {
            const double d = std::bit_cast<double>(p | sign);
            ASSERT_EQ(bitsOf(cv::ExtendedToDouble(cv::DoubleToExtended(d))), p | sign) << std::hex << p;
            ASSERT_EQ(bitsOf(cv::portable::ExtendedToDouble(cv::DoubleToExtended(d))), p | sign) << std::hex << p;
            if (kX87LongDouble && !std::isnan(d)) {
                long double ld = d;
                cv::TExtended80 expected{};
                std::memcpy(expected.data(), &ld, expected.size());
                ASSERT_EQ(cv::DoubleToExtended(d), expected) << std::hex << p;
            }
        }
    }
}

TEST(MathsExtended80, PortableConverterRoundsLikeTheX87)
{
    if (!kX87LongDouble)
        GTEST_SKIP() << "no x87 long double to compare with";
    std::mt19937_64 gen(3);
    auto check = [](const cv::TExtended80& b) {
        const double expected = hardware(b);
        const double got = cv::portable::ExtendedToDouble(b);
        if (std::isnan(expected)) {
            ASSERT_TRUE(std::isnan(got));
        } else {
            ASSERT_EQ(bitsOf(got), bitsOf(expected)) << std::hex << uint64_t(b[9]) << uint64_t(b[8]);
        }
    };
    // Exponents around the double's range ends, where rounding to subnormals,
    // to zero and to infinity happens, plus the ordinary range.
    std::vector<int> exponents;
    for (int e = 16383 - 1080; e <= 16383 - 1018; ++e)
        exponents.push_back(e);
    for (int e = 16383 + 1020; e <= 16383 + 1026; ++e)
        exponents.push_back(e);
    for (int e : {0, 1, 2, 100, 16383, 16400, 32766})
        exponents.push_back(e);
    for (int e : exponents) {
        for (int i = 0; i < 400; ++i) {
            uint64_t m = gen() | (uint64_t(1) << 63);
            switch (i % 4) { // exact ties and near-ties of the 11 dropped bits
            case 1: m = (m & ~uint64_t(0x7FF)) | 0x400; break;
            case 2: m = (m & ~uint64_t(0x7FF)) | 0x3FF; break;
            case 3: m |= 0x7FF; break;
            default: break;
            }
            check(bytesOf(m, uint16_t(e | (i & 8 ? 0x8000 : 0))));
        }
    }
    // Denormal and pseudo-denormal extended numbers, infinities.
    check(bytesOf(0x0000000000001234ULL, 0));
    check(bytesOf(0x8000000000000001ULL, 0));
    check(bytesOf(0x8000000000000000ULL, 0x7FFF));
    check(bytesOf(0x8000000000000000ULL, 0xFFFF));
    // All-ones significand at the top of the double range rounds up to infinity.
    check(bytesOf(0xFFFFFFFFFFFFFFFFULL, uint16_t(16383 + 1023)));
}

TEST(MathsExtended80, InvalidEncodingsReadAsTheDefaultNaN)
{
    const uint64_t defaultNaN = 0xFFF8000000000000ULL;
    // Unnormal: exponent set, integer bit clear.
    EXPECT_EQ(bitsOf(cv::ExtendedToDouble(bytesOf(0x4000000000000000ULL, 0x3FFF))), defaultNaN);
    EXPECT_EQ(bitsOf(cv::portable::ExtendedToDouble(bytesOf(0x4000000000000000ULL, 0x3FFF))), defaultNaN);
    // Pseudo-infinity.
    EXPECT_EQ(bitsOf(cv::portable::ExtendedToDouble(bytesOf(0, 0x7FFF))), defaultNaN);
    // A NaN whose payload lies only in the low bits stays a NaN.
    EXPECT_TRUE(std::isnan(cv::portable::ExtendedToDouble(bytesOf(0x8000000000000001ULL, 0x7FFF))));
    if (kX87LongDouble) {
        EXPECT_TRUE(std::isnan(hardware(bytesOf(0x4000000000000000ULL, 0x3FFF))));
    }
}
