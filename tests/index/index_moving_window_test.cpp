// Moving windows over an index and the ".plotdata" file.

#include "index_testutil.h"

#include "index/index_moving_window.h"
#include "suite/cv_stream.h"

#include <QFileInfo>

using namespace cv;
using namespace index_test;

namespace {

class MovingWindow : public IndexTest {};

TEST_F(MovingWindow, OverlapIsTheJaccardOfNeighbouringWindows)
{
    // Windows of 4: {a b c d}, {a b e f}, {e f g h}: 2 of 6, then 2 of 6; the last 2 words make no whole window.
    ASSERT_TRUE(Index({{QStringLiteral("one.txt"), QByteArray("a b c d a b e f\n")},
                       {QStringLiteral("two.txt"), QByteArray("e f g h x y\n")}},
                      "mw"));
    TIndexData index = Load("mw");
    TMovingWindowSettings s;
    s.WindowWords = 4;
    s.Runs = 2;
    TMovingWindowPlotDataHolder d;
    QString error;
    ASSERT_TRUE(ComputeMovingWindow(index, s, d, &error)) << qPrintable(error);
    EXPECT_EQ(d.Total_Tokens, 14);
    EXPECT_EQ(d.PlannedRuns, 2);
    ASSERT_EQ(d.OverlapValues[0].size(), 2u);
    EXPECT_FLOAT_EQ(d.OverlapValues[0][0], 2.0f / 6);
    EXPECT_FLOAT_EQ(d.OverlapValues[0][1], 2.0f / 6);
    // The second run starts two words in: {c d a b}, {e f e f}, {g h x y}.
    ASSERT_EQ(d.OverlapValues[1].size(), 2u);
    EXPECT_FLOAT_EQ(d.OverlapValues[1][0], 0.0f);
    EXPECT_FLOAT_EQ(d.OverlapMin[1], 0.0f);
    ASSERT_EQ(d.Sections_Info.size(), 2);
    EXPECT_EQ(d.Sections_Info[1], QStringLiteral("<two.txt>"));
    EXPECT_EQ(d.SectionStarts, (std::vector<int32_t>{0, 8}));
    // Run 0 compares windows spanning words 0-8 (the text starts at 8: not inside) and 4-12 (inside).
    EXPECT_GT(d.mean_section_near_overlaps + d.mean_section_far_overlaps, 0.0f);
}

TEST_F(MovingWindow, ThePlotFileReadsBackWhole)
{
    TMovingWindowPlotDataHolder d;
    d.Total_Tokens = 1000;
    d.WindowWords = 100;
    d.PlannedRuns = 2;
    d.OverlapValues = {{0.25f, 0.3f}, {0.1f}};
    d.OverlapMin = {0.25f, 0.1f};
    d.mean_section_near_overlaps = 0.1f;
    d.mean_section_far_overlaps = 0.27f;
    d.sd_section_near_overlaps = 0.01f;
    d.sd_section_far_overlaps = 0.02f;
    d.Sections_Info = {QStringLiteral("<a.txt>"), QStringLiteral("<CHAPTER 2>")};
    d.SectionStarts = {0, 500};
    TMemoryStream s;
    s.WriteU32(0xDEADBEEF); // the holder reads from the stream's position
    ASSERT_TRUE(d.SavePlotDataToStream(s));
    s.SetPosition(4);
    TMovingWindowPlotDataHolder back;
    ASSERT_TRUE(back.ReadPlotDataFromStream(s));
    EXPECT_EQ(back, d);
    // Cut anywhere, it is refused and the holder is empty.
    for (int64_t keep : {int64_t(4), int64_t(30), int64_t(70), s.Size() - 1}) {
        TMemoryStream cut(std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().begin() + keep));
        cut.SetPosition(4);
        TMovingWindowPlotDataHolder h;
        h.PlannedRuns = 9;
        EXPECT_FALSE(h.ReadPlotDataFromStream(cut)) << keep;
        EXPECT_EQ(h, TMovingWindowPlotDataHolder());
    }
}

TEST_F(MovingWindow, TheDocumentWritesThePlotAndTheTextFile)
{
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += "word" + QByteArray::number(i % 37) + " ";
    ASSERT_TRUE(Index({{QStringLiteral("long.txt"), text}}, "plot"));
    auto doc = Open("plot");
    TMovingWindowSettings s;
    s.WindowWords = 50;
    const QStringList names = doc->MakeAndSaveMovingWindow(s);
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0], dir.file("plot_moving_window.plotdata"));
    EXPECT_TRUE(QFileInfo::exists(names[0]));
    EXPECT_TRUE(QString::fromUtf8(cvtest::readAll(names[1])).startsWith(QStringLiteral("Moving window\tplot\n")));
    TMemoryStream m;
    ASSERT_TRUE(m.LoadFromFile(names[0]));
    TMovingWindowPlotDataHolder d;
    ASSERT_TRUE(d.ReadPlotDataFromStream(m));
    EXPECT_EQ(d.Total_Tokens, 300);
    EXPECT_EQ(d.OverlapValues[0].size(), 5u);
    // Without an index nothing is written.
    T_WholeWordlistHolder empty(kListWordList, nullptr, nullptr, false, false);
    EXPECT_EQ(empty.MakeAndSaveMovingWindow(s), (QStringList{QString(), QString()}));
}

TEST(MovingWindowFit, APlotNeedsThreeWholeWindowsAndAFittingWindowGivesAboutTen)
{
    // Windows of 15,000 words: a line needs 45,000 running words.
    EXPECT_FALSE(MovingWindowsFit(25001, 15000));
    EXPECT_FALSE(MovingWindowsFit(44999, 15000));
    EXPECT_TRUE(MovingWindowsFit(45000, 15000));
    EXPECT_FALSE(MovingWindowsFit(1000, 0));
    // Whole hundreds, about ten to the corpus; the smallest window where that is less.
    EXPECT_EQ(MovingWindowThatFits(25001), 2500);
    EXPECT_EQ(MovingWindowThatFits(1999), 100);
    EXPECT_EQ(MovingWindowThatFits(300), 100);
    EXPECT_EQ(MovingWindowThatFits(299), 0);
    EXPECT_EQ(MovingWindowThatFits(0), 0);
}

} // namespace
