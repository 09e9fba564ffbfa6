#include "suite/plot_data.h"

#include "maths/statistics.h"
#include "suite/cv_stream.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <cmath>
#include <random>
#include <vector>

using cv::TGeneralPlotDataList;
using cv::TMemoryStream;

TEST(PlotDispersion, IsJuillandsDOfTheStatistics)
{
    std::mt19937 rng(5);
    for (int i = 0; i < 200; ++i) {
        std::vector<double> counts(std::uniform_int_distribution<int>(1, 12)(rng));
        for (double& c : counts)
            c = std::uniform_int_distribution<int>(0, 30)(rng);
        ASSERT_NEAR(cv::JuillandsD(counts), cv::PlotDispersion(counts), 1e-6);
    }
}

TEST(PlotDispersion, HandWorkedValues)
{
    // All hits in one division: s = m * sqrt(n - 1), so D = 0.
    const double oneDivision[] = {6, 0, 0, 0};
    EXPECT_FLOAT_EQ(cv::PlotDispersion(oneDivision), 0.0f);
    // Evenly spread: s = 0, D = 1.
    const double even[] = {3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_FLOAT_EQ(cv::PlotDispersion(even), 1.0f);
    // One hit is always in one division.
    const double one[] = {0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_FLOAT_EQ(cv::PlotDispersion(one), 0.0f);
    // (1, 0, 1, 0): m = 0.5, s = 0.5, V = 1, D = 1 - 1 / sqrt(3) = 0.42265.
    const double half[] = {1, 0, 1, 0};
    EXPECT_NEAR(cv::PlotDispersion(half), 1.0 - 1.0 / std::sqrt(3.0), 1e-6);
    // (2, 1, 0): m = 1, s = sqrt(2/3), D = 1 - sqrt(2/3) / sqrt(2) = 1 - sqrt(1/3).
    const double slope[] = {2, 1, 0};
    EXPECT_NEAR(cv::PlotDispersion(slope), 1.0 - std::sqrt(1.0 / 3.0), 1e-6);
    // Nothing to measure.
    const double none[] = {0, 0, 0};
    EXPECT_FLOAT_EQ(cv::PlotDispersion(none), 0.0f);
    const double single[] = {5};
    EXPECT_FLOAT_EQ(cv::PlotDispersion(single), 0.0f);
}

TEST(PlotData, PositionsFallIntoEqualDivisions)
{
    TGeneralPlotDataList list(1000, 8);
    for (int p : {1, 125, 126, 1000, 0, 5000})
        list.Add(p);
    EXPECT_EQ(list.SegmentCounts(), (std::vector<int32_t>{3, 1, 0, 0, 0, 0, 0, 2}));

    TGeneralPlotDataList noExtent(0, 2);
    noExtent.Add(10);
    noExtent.Add(3);
    EXPECT_EQ(noExtent.SegmentCounts(), (std::vector<int32_t>{1, 1})) << "the largest position stands for the extent";

    TGeneralPlotDataList spread(800, 8);
    for (int p = 50; p <= 800; p += 100)
        spread.Add(p);
    EXPECT_FLOAT_EQ(spread.ComputedDispersion(), 1.0f);
    TGeneralPlotDataList bunched(800, 8);
    for (int p = 1; p <= 8; ++p)
        bunched.Add(p);
    EXPECT_FLOAT_EQ(bunched.ComputedDispersion(), 0.0f);
    EXPECT_FLOAT_EQ(TGeneralPlotDataList(800, 8).ComputedDispersion(), 0.0f);
}

TEST(PlotData, SortingIsStableAndPoolingCopies)
{
    TGeneralPlotDataList row(100, 4);
    row.Add(30, QStringLiteral("b"));
    row.Add(10, QStringLiteral("a"));
    row.Add(30, QStringLiteral("c"));
    row.SortByPosition();
    EXPECT_EQ(row.Positions(), (std::vector<int32_t>{10, 30, 30}));
    EXPECT_EQ(row.Item(1).Text(), QStringLiteral("b"));
    EXPECT_EQ(row.Item(2).Text(), QStringLiteral("c"));

    TGeneralPlotDataList overall(0, 4);
    overall.AddFrom(row);
    overall.AddFrom(row);
    EXPECT_EQ(overall.Count(), 6);
    EXPECT_EQ(row.Count(), 3);
}

namespace {

std::vector<uint8_t> saved(const TGeneralPlotDataList& list)
{
    TMemoryStream s;
    EXPECT_TRUE(list.SaveToStream(s));
    return s.Bytes();
}

} // namespace

TEST(PlotData, StreamGoldenBytesAndRoundTrip)
{
    TGeneralPlotDataList list(300, 8);
    list.Add(7);
    list.Add(-1);
    EXPECT_EQ(saved(list), (std::vector<uint8_t>{'G', 'P', 'D', 'L', 1, 0, 0, 0, 0x2C, 1, 0, 0, 8, 0, 0, 0, 0,
                                                 2, 0, 0, 0, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));

    TGeneralPlotDataList withTexts(5000, 12);
    withTexts.Add(12, QStringLiteral("the hit in its line"));
    withTexts.Add(4000);
    const auto bytes = saved(withTexts);
    TMemoryStream s(bytes);
    TGeneralPlotDataList back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(s.Position(), s.Size());
    EXPECT_EQ(back.Extent(), 5000);
    EXPECT_EQ(back.Divisions(), 12);
    EXPECT_EQ(back.Item(0).Text(), QStringLiteral("the hit in its line"));
    EXPECT_TRUE(back.Item(1).Text().isEmpty());
    EXPECT_EQ(saved(back), bytes);
}

TEST(PlotData, DamagedStreamsAreRefused)
{
    TGeneralPlotDataList list(5000, 12);
    list.Add(12, QStringLiteral("context"));
    list.Add(4000, QStringLiteral("more"));
    const auto bytes = saved(list);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
        TGeneralPlotDataList back;
        back.Add(1);
        EXPECT_FALSE(back.ReadFromStream(s)) << "cut at " << cut;
        EXPECT_TRUE(back.IsEmpty());
    }
    auto corrupt = [&](std::size_t at, uint8_t value) {
        std::vector<uint8_t> b = bytes;
        b[at] = value;
        TMemoryStream s(std::move(b));
        TGeneralPlotDataList back;
        return back.ReadFromStream(s);
    };
    EXPECT_FALSE(corrupt(0, 'X')) << "magic";
    EXPECT_FALSE(corrupt(4, 9)) << "version";
    EXPECT_FALSE(corrupt(11, 0x80)) << "negative extent";
    EXPECT_FALSE(corrupt(15, 0x80)) << "negative divisions";
    EXPECT_FALSE(corrupt(16, 2)) << "text flag";
    EXPECT_FALSE(corrupt(20, 0x7F)) << "count larger than the stream";
}

TEST(PlotData, ReadsTheSavedSampleOfVersion1)
{
    const QByteArray raw = cvtest::readAll(cvtest::testDataDir() + QStringLiteral("/suite/plot_data_v1.bin"));
    ASSERT_FALSE(raw.isEmpty());
    const std::vector<uint8_t> bytes(raw.begin(), raw.end());
    TMemoryStream s(bytes);
    TGeneralPlotDataList list;
    ASSERT_TRUE(list.ReadFromStream(s));
    EXPECT_EQ(list.Extent(), 5000);
    EXPECT_EQ(list.Divisions(), 12);
    EXPECT_EQ(list.Positions(), (std::vector<int32_t>{12, 4000}));
    EXPECT_EQ(list.Item(0).Text(), QStringLiteral("the hit in its line"));
    EXPECT_EQ(saved(list), bytes);
}
