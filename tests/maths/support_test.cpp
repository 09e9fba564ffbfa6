#include "maths/sdl_support.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<int32_t> g_hookCalls;
void recordPass(int32_t count) { g_hookCalls.push_back(count); }

} // namespace

TEST(MathsCombSort, SortsBothWaysLikeStdSort)
{
    std::mt19937 gen(5);
    for (int n : {0, 1, 2, 3, 13, 100, 1000}) {
        std::vector<double> d(static_cast<size_t>(n));
        std::vector<int32_t> i(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            d[size_t(k)] = std::uniform_real_distribution<double>(-5, 5)(gen);
            i[size_t(k)] = std::uniform_int_distribution<int32_t>(-50, 50)(gen);
        }
        auto d2 = d;
        auto i2 = i;
        cv::SortArray(std::span<double>(d), true);
        cv::SortArray(std::span<int32_t>(i), false);
        std::sort(d2.begin(), d2.end());
        std::sort(i2.begin(), i2.end(), std::greater<>());
        EXPECT_EQ(d, d2) << n;
        EXPECT_EQ(i, i2) << n;
    }
}

TEST(MathsCombSort, CountsPassesAndCallsTheHook)
{
    g_hookCalls.clear();
    cv::SetSortProgressHook(recordPass);
    const int32_t before = cv::SortPassCount();
    std::array<int32_t, 1> one{7};
    cv::SortArray(std::span<int32_t>(one), true);
    EXPECT_EQ(cv::SortPassCount(), before) << "one element: no pass";

    // Already in order: gaps 7, 5, 3, 2, 1 and the gap-1 pass exchanges nothing.
    std::array<int32_t, 10> sorted{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    cv::SortArray(std::span<int32_t>(sorted), true);
    EXPECT_EQ(cv::SortPassCount(), before + 5);
    EXPECT_EQ(g_hookCalls, (std::vector<int32_t>{before + 1, before + 2, before + 3, before + 4, before + 5}));
    cv::SetSortProgressHook(nullptr);
}

TEST(MathsHexString, DigitsAreClampedAndLeadingZerosKept)
{
    EXPECT_EQ(cv::HexString(255, 8), QStringLiteral("000000FF"));
    EXPECT_EQ(cv::HexString(255, 1), QStringLiteral("F"));
    EXPECT_EQ(cv::HexString(255, 0), QStringLiteral("F"));
    EXPECT_EQ(cv::HexString(0xDEADBEEF, 9), QStringLiteral("DEADBEEF"));
    EXPECT_EQ(cv::HexString(0xABCDE, 3), QStringLiteral("CDE"));
}

TEST(MathsCrcStep, GivesThePublishedCrc32)
{
    uint32_t acc = 0xFFFFFFFFu;
    for (char c : std::string("123456789"))
        acc = cv::CrcStep(uint8_t(c), acc);
    EXPECT_EQ(~acc, 0xCBF43926u);
}

TEST(MathsTrimBlanks, RemovesBlanksOnly)
{
    EXPECT_EQ(cv::TrimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(cv::TrimBlanks(QStringLiteral("\ta \n")), QStringLiteral("\ta \n"));
    EXPECT_EQ(cv::TrimBlanks(QStringLiteral("    ")), QString());
    EXPECT_EQ(cv::TrimBlanks(QByteArray(" x ")), QByteArray("x"));
}

TEST(MathsRandom, NormalNumbersComeInPairsFromThePolarMethod)
{
    cv::RandomSeed(99);
    double u = 0, v = 0, s = 0;
    int draws = 0;
    do {
        u = 2 * cv::RandomUniform() - 1;
        v = 2 * cv::RandomUniform() - 1;
        s = u * u + v * v;
        draws += 2;
    } while (s >= 1 || s == 0);
    const double f = std::sqrt(-2 * std::log(s) / s);
    const double afterPair = cv::RandomUniform();

    cv::RandomSeed(99);
    EXPECT_DOUBLE_EQ(cv::NormalRandom(), v * f);
    EXPECT_DOUBLE_EQ(cv::NormalRandom(), u * f) << "the second comes from the cache";
    EXPECT_EQ(cv::RandomUniform(), afterPair) << "two normals consumed exactly one accepted pair";
    (void)draws;
}

TEST(MathsRandom, UniformStaysInRangeAndBelowCoversIt)
{
    cv::RandomSeed(1);
    std::array<int, 7> seen{};
    for (int i = 0; i < 2000; ++i) {
        const double x = cv::RandomUniform();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        ++seen[size_t(cv::RandomBelow(7))];
    }
    for (int c : seen)
        EXPECT_GT(c, 200);
    EXPECT_EQ(cv::RandomBelow(0), 0);
}

TEST(MathsStreamNumbers, IntegersAndExtendedsAreLittleEndianAndReportShortReads)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ASSERT_TRUE(cv::WriteInteger(buffer, -2));
    ASSERT_TRUE(cv::WriteExtended(buffer, 1.0));
    EXPECT_EQ(buffer.data().toHex(), QByteArray("feffffff") + "0000000000000080ff3f");
    buffer.seek(0);
    bool error = false;
    EXPECT_EQ(cv::ReadInteger(buffer, error), -2);
    EXPECT_EQ(cv::ReadExtended(buffer, error), 1.0);
    EXPECT_FALSE(error);
    EXPECT_EQ(cv::ReadInteger(buffer, error), 0);
    EXPECT_TRUE(error);

    QBuffer shortOne;
    shortOne.setData(QByteArray(9, '\1'));
    shortOne.open(QIODevice::ReadOnly);
    error = false;
    EXPECT_EQ(cv::ReadExtended(shortOne, error), 0.0);
    EXPECT_TRUE(error);
}

TEST(MathsXmlElements, ReadsNamesAttributesAndContent)
{
    static constexpr std::array<const char*, 3> table = {"numcols", "cell", "/matrix"};
    QBuffer in;
    in.setData("junk <NumCols>12</numcols>\r\n<cell ix=\"2\" iy=\"3\"> 4.5 </cell>\r\n<empty/>\r\n<cell/></matrix>");
    in.open(QIODevice::ReadOnly);
    QByteArray attributes, content;
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), 0);
    EXPECT_EQ(content, QByteArray("12"));
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), 1);
    EXPECT_EQ(attributes, QByteArray("ix=\"2\" iy=\"3\""));
    EXPECT_EQ(content, QByteArray("4.5"));
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), 3) << "unknown name: the table's length";
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), 1);
    EXPECT_TRUE(content.isEmpty()) << "an empty element has no content";
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), 2);
    EXPECT_EQ(cv::ReadXmlElement(in, table, attributes, content), -1) << "end of the stream";
    EXPECT_EQ(cv::TagIndex("CELL", table), 1);
    EXPECT_EQ(cv::TagIndex("row", table), 3);
}
