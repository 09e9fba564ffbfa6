#include <gtest/gtest.h>

#include <QRect>

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>

#include "ui/wordlist/views/word_cloud_layout.h"

namespace cv {
namespace {

// A canvas that measures by a fixed rule and records what is drawn.
class TRecordingCanvas final : public TWordCloudCanvas {
public:
    int ppi = 96;
    int allowance = 2;
    struct TText {
        int x, y;
        QString text;
        int points;
        uint32_t colour;
    };
    std::vector<TText> texts;
    std::vector<int> shapes;
    std::vector<TCloudRect> highlights;
    std::vector<TCloudRect> restores;

    int FontPixelsPerInch() const override { return ppi; }
    int VerticalAllowance() const override { return allowance; }
    TCloudPoint TextExtent(const QString& text, int points) const override
    {
        return {int32_t(std::lround(text.size() * points * 0.6)), int32_t(points * 4 / 3)};
    }
    void FrameRect(const TCloudRect&, uint32_t, uint32_t) override {}
    void DrawShape(int shape, const TCloudBox&, int, uint32_t, uint32_t) override { shapes.push_back(shape); }
    void DrawText(int x, int y, const QString& text, int points, uint32_t colour) override
    {
        texts.push_back({x, y, text, points, colour});
    }
    void Highlight(const TCloudRect& r, uint32_t, uint32_t) override { highlights.push_back(r); }
    void RestoreHighlight(const TCloudRect& r) override { restores.push_back(r); }
};

struct TItem {
    QString word;
    int32_t freq;
};

// A source handing out the items numbered from 1, then zeroed records.
struct TSource {
    std::vector<TItem> items;
    size_t next = 0;
    int calls = 0;
    TWordCloudWordGetNext Fn()
    {
        return [this](TWordFreqAndSourceNum& d) {
            ++calls;
            d = {};
            if (next < items.size()) {
                d.word = items[next].word;
                d.frequency = items[next].freq;
                d.number = int32_t(next + 1);
            }
            ++next;
        };
    }
};

std::vector<TItem> Zipf(int n)
{
    std::vector<TItem> out;
    for (int i = 0; i < n; ++i)
        out.push_back({QStringLiteral("w%1").arg(i), 1000 / (i + 1)});
    return out;
}

bool Overlap(const TWordCloud::TPlacedWord& a, const TWordCloud::TPlacedWord& b)
{
    return a.cell.x - a.half.x <= b.cell.x + b.half.x && b.cell.x - b.half.x <= a.cell.x + a.half.x &&
           a.cell.y - a.half.y <= b.cell.y + b.half.y && b.cell.y - b.half.y <= a.cell.y + a.half.y;
}

TEST(WordCloudLayout, PlacesWordsWithoutOverlapInsideTheAreaAndMarksTheirCells)
{
    TSource src{Zipf(150)};
    TWordCloud cloud(600, 450, src.Fn());
    cloud.fListItemsCount = 150;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    const auto& placed = cloud.Placed();
    ASSERT_GT(placed.size(), 20u);
    for (size_t i = 0; i < placed.size(); ++i) {
        const auto& p = placed[i];
        EXPECT_GE(p.cell.x - p.half.x, 0);
        EXPECT_GE(p.cell.y - p.half.y, 0);
        EXPECT_LT(p.cell.x + p.half.x, cloud.BlocksHoriz());
        EXPECT_LT(p.cell.y + p.half.y, cloud.BlocksVert());
        for (int x = p.cell.x - p.half.x; x <= p.cell.x + p.half.x; ++x)
            for (int y = p.cell.y - p.half.y; y <= p.cell.y + p.half.y; ++y)
                ASSERT_EQ(cloud.Occupied(x, y), p.wfsn.number);
        for (size_t j = i + 1; j < placed.size(); ++j)
            ASSERT_FALSE(Overlap(p, placed[j])) << p.text.toStdString() << " / " << placed[j].text.toStdString();
    }
    // The most frequent word is drawn first and sits on the centre cell.
    EXPECT_EQ(placed[0].wfsn.number, 1);
    EXPECT_EQ(placed[0].cell, cloud.MidBlock());
}

// A cloud of a whole list: what is drawn (each text where it is drawn, as
// wide and high as the canvas measures it) covers no other text and lies
// inside the picture; the words that fit are the largest.
TEST(WordCloudLayout, AWholeListShowsWhatFitsLargestFirstNoWordCoveredOrCut)
{
    TSource src{Zipf(2000)};
    for (size_t i = 7; i < src.items.size(); i += 7)
        src.items[i].word = QStringLiteral("a much longer word %1").arg(i);
    TWordCloud cloud(500, 380, src.Fn());
    cloud.fListItemsCount = 2000;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    ASSERT_GT(canvas.texts.size(), 20u);
    std::vector<QRect> drawn;
    std::set<QString> shown;
    for (const auto& t : canvas.texts) {
        const TCloudPoint e = canvas.TextExtent(t.text, t.points);
        const QRect r(t.x, t.y, e.x, e.y);
        EXPECT_TRUE(QRect(0, 0, 500, 380).contains(r)) << t.text.toStdString() << " is cut off";
        if (shown.insert(t.text).second)
            drawn.push_back(r);
    }
    for (size_t i = 0; i < drawn.size(); ++i)
        for (size_t j = i + 1; j < drawn.size(); ++j)
            EXPECT_FALSE(drawn[i].intersects(drawn[j])) << i << " covers " << j;
    // Largest first: each word placed is no larger than the one placed before it.
    const auto& placed = cloud.Placed();
    for (size_t i = 1; i < placed.size(); ++i)
        EXPECT_LE(placed[i].wfsn.frequency, placed[i - 1].wfsn.frequency);
    EXPECT_LT(placed.size(), src.items.size()) << "only what fits";
}

TEST(WordCloudLayout, SameSourceGivesTheSameCloud)
{
    TSource a{Zipf(80)}, b{Zipf(80)};
    TWordCloud c1(500, 400, a.Fn()), c2(500, 400, b.Fn());
    c1.fListItemsCount = c2.fListItemsCount = 80;
    TRecordingCanvas k1, k2;
    c1.DisplayTheWords(k1);
    c2.DisplayTheWords(k2);
    ASSERT_EQ(c1.Placed().size(), c2.Placed().size());
    for (size_t i = 0; i < c1.Placed().size(); ++i)
        EXPECT_EQ(c1.Placed()[i].rect, c2.Placed()[i].rect);
    // A second display of the same cloud keeps the first range and gives the same picture.
    a.next = 0;
    TRecordingCanvas k3;
    c1.DisplayTheWords(k3);
    ASSERT_EQ(c1.Placed().size(), c2.Placed().size());
    EXPECT_EQ(c1.Placed().front().rect, c2.Placed().front().rect);
}

TEST(WordCloudLayout, FontSizesFollowFrequency)
{
    TSource src{{{QStringLiteral("low"), 10}, {QStringLiteral("top"), 12}, {QStringLiteral("mid"), 11}}};
    TWordCloud cloud(900, 1200, src.Fn());
    cloud.fListItemsCount = 3;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    EXPECT_EQ(cloud.min_freq, 10);
    EXPECT_EQ(cloud.max_freq, 12);
    // 3 words on 1200 pixels at 96 ppi: q = 50; the top size grows from 40
    // while n / q < 45, n doubling each step: 3, 6, ... 1536 (30.7), 3072 stops at 90.
    EXPECT_EQ(cloud.MaxFontSize(), 90);
    ASSERT_EQ(cloud.Placed().size(), 3u);
    EXPECT_EQ(cloud.Placed()[0].text, QStringLiteral("top"));
    EXPECT_EQ(cloud.Placed()[0].points, 90);
    // 81 points over a range of 2: the middle word's 40.5 rounds to even.
    EXPECT_EQ(cloud.Placed()[1].points, 49);
    EXPECT_EQ(cloud.Placed()[2].points, 9);
}

TEST(WordCloudLayout, TopSizeGrowsInStepsOfFiveUntilEnoughWords)
{
    // 600 items on 480 pixels at 96 ppi: q = 20; 600/20 = 30 < 45, so one step
    // (45) and then 1200/20 = 60 stops.
    TSource src{Zipf(600)};
    TWordCloud cloud(300, 480, src.Fn());
    cloud.fListItemsCount = 600;
    TRecordingCanvas canvas;
    cloud.min_freq = 1;
    cloud.max_freq = 1000;
    cloud.ScaleFontSizes(canvas);
    EXPECT_EQ(cloud.MaxFontSize(), 45);
    EXPECT_FLOAT_EQ(cloud.Multiplier(), 36.0f / 999.0f);
}

TEST(WordCloudLayout, EqualFrequenciesAllGetTheSmallestSize)
{
    TSource src{{{QStringLiteral("a"), 5}, {QStringLiteral("b"), 5}, {QStringLiteral("c"), 5}, {QStringLiteral("d"), 5}}};
    TWordCloud cloud(600, 600, src.Fn());
    cloud.fListItemsCount = 4;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    ASSERT_EQ(cloud.Placed().size(), 4u);
    for (const auto& p : cloud.Placed())
        EXPECT_EQ(p.points, 9);
    // Ties keep the source's order.
    EXPECT_EQ(cloud.Placed()[0].text, QStringLiteral("a"));
    EXPECT_EQ(cloud.Placed()[3].text, QStringLiteral("d"));
}

TEST(WordCloudLayout, GatheredSourceSkipsZeroFrequenciesGivenRangeStopsAtThem)
{
    const std::vector<TItem> items{{QStringLiteral("one"), 9}, {QStringLiteral("nil"), 0}, {QStringLiteral("two"), 4}};
    TSource gathered{items};
    TWordCloud c1(600, 600, gathered.Fn());
    c1.fListItemsCount = 3;
    TRecordingCanvas k1;
    c1.DisplayTheWords(k1);
    EXPECT_EQ(c1.Placed().size(), 2u);
    // At most count + 1 calls: the last hands the zeroed record.
    EXPECT_EQ(gathered.calls, 4);

    TSource given{items};
    TWordCloud c2(600, 600, given.Fn());
    c2.fListItemsCount = 3;
    c2.min_freq = 4;
    c2.max_freq = 9;
    TRecordingCanvas k2;
    c2.DisplayTheWords(k2);
    ASSERT_EQ(c2.Placed().size(), 1u);
    EXPECT_EQ(c2.Placed()[0].text, QStringLiteral("one"));
}

TEST(WordCloudLayout, StopsAfterTenWordsFindNoPlace)
{
    // Long words of equal frequency: each is wider than the area.
    std::vector<TItem> items;
    for (int i = 0; i < 30; ++i)
        items.push_back({QString(40, QChar(u'a' + i % 26)), 3});
    items.push_back({QStringLiteral("x"), 3}); // would fit, but comes after ten failures
    TSource src{items};
    TWordCloud cloud(120, 120, src.Fn());
    cloud.fListItemsCount = int(items.size());
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    EXPECT_EQ(cloud.Failures(), 10);
    EXPECT_TRUE(cloud.Placed().empty());
    EXPECT_TRUE(canvas.texts.empty());
}

TEST(WordCloudLayout, SmallWordsStartTheirSearchAtTheAvoidRadius)
{
    // One big word, then small ones: the first below 20 points fixes the
    // avoid radius at the radius where the word before it was placed (the centre: 0 ...).
    TSource src{Zipf(40)};
    TWordCloud cloud(600, 600, src.Fn());
    cloud.fListItemsCount = 40;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    const auto& placed = cloud.Placed();
    const auto firstSmall = std::find_if(placed.begin(), placed.end(), [](const auto& p) { return p.points < 20; });
    ASSERT_NE(firstSmall, placed.end());
    ASSERT_NE(firstSmall, placed.begin());
    const auto& before = *(firstSmall - 1);
    const double r = std::hypot(before.cell.x - cloud.MidBlock().x, before.cell.y - cloud.MidBlock().y);
    // Ring points are rounded to cells, so the radius is within a cell of the ring's.
    EXPECT_NEAR(cloud.AvoidCentreRadius(), r, 1.5);
    EXPECT_GT(cloud.AvoidCentreRadius(), 0);
    // Every later word lies at least that far out, unless it took the centre cell.
    for (auto it = firstSmall + 1; it != placed.end(); ++it) {
        const double d = std::hypot(it->cell.x - cloud.MidBlock().x, it->cell.y - cloud.MidBlock().y);
        EXPECT_TRUE(d == 0 || d >= cloud.AvoidCentreRadius() - 1.5) << d;
    }
}

TEST(WordCloudLayout, TopTenAreRedrawnAndMinorWordsAreGreyWithoutShapes)
{
    TSource src{Zipf(30)};
    TWordCloud cloud(900, 900, src.Fn());
    cloud.fListItemsCount = 30;
    cloud.max_items_showable = 30; // a third is 10
    cloud.CloudSettings.SetShape(2);
    cloud.CloudSettings.SetColourBySize(false);
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    const size_t n = cloud.Placed().size();
    ASSERT_GT(n, 12u);
    EXPECT_EQ(canvas.texts.size(), n + 10);
    EXPECT_EQ(canvas.shapes.size(), 20u); // ten words, drawn twice
    for (const auto& p : cloud.Placed())
        EXPECT_EQ(p.colour, p.wfsn.number > 10 ? kCloudMinorWordColour : cloud.wordcolour);
    // The redraw goes from 10 down to 1.
    EXPECT_EQ(canvas.texts[n].text, QStringLiteral("w9"));
    EXPECT_EQ(canvas.texts.back().text, QStringLiteral("w0"));
}

TEST(WordCloudLayout, ShapeZeroNeedsTheFillFlag)
{
    for (const bool fill : {false, true}) {
        TSource src{Zipf(3)};
        TWordCloud cloud(600, 600, src.Fn());
        cloud.fListItemsCount = 3;
        cloud.CloudSettings.SetShape(0);
        cloud.CloudSettings.SetFillBehindWords(fill);
        TRecordingCanvas canvas;
        cloud.DisplayTheWords(canvas);
        EXPECT_EQ(canvas.shapes.size(), fill ? 6u : 0u);
    }
}

TEST(WordCloudLayout, ItemAtFindsTheWordAndMovesTheHighlight)
{
    TSource src{Zipf(20)};
    TWordCloud cloud(600, 600, src.Fn());
    cloud.fListItemsCount = 20;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    const auto& a = cloud.Placed()[0];
    const auto& b = cloud.Placed()[1];
    EXPECT_EQ(cloud.ItemAt(canvas, a.cell.x * 3 + 1, a.cell.y * 3 + 1), a.wfsn.number);
    ASSERT_EQ(canvas.highlights.size(), 1u);
    const TCloudRect expected{(a.cell.x - a.half.x) * 3, (a.cell.y - a.half.y) * 3,
                              (a.cell.x + a.half.x + 1) * 3, (a.cell.y + a.half.y + 1) * 3};
    EXPECT_EQ(canvas.highlights[0], expected);
    EXPECT_EQ(cloud.SavedRect(), expected);
    // Another word: the first is restored before the second is highlighted.
    EXPECT_EQ(cloud.ItemAt(canvas, b.cell.x * 3, b.cell.y * 3), b.wfsn.number);
    ASSERT_EQ(canvas.restores.size(), 1u);
    EXPECT_EQ(canvas.restores[0], expected);
    // Empty space (the corner) clears it; outside the grid answers 0.
    EXPECT_EQ(cloud.ItemAt(canvas, 1, 1), 0);
    EXPECT_EQ(canvas.restores.size(), 2u);
    EXPECT_EQ(cloud.SavedRect().Left, -999);
    EXPECT_EQ(cloud.ItemAt(canvas, 5000, 10), 0);
    EXPECT_EQ(cloud.ItemAt(canvas, -3, 10), 0);
}

TEST(WordCloudLayout, EmptySourceGivesAnEmptyCloud)
{
    TSource src;
    TWordCloud cloud(300, 300, src.Fn());
    cloud.fListItemsCount = 0;
    TRecordingCanvas canvas;
    cloud.DisplayTheWords(canvas);
    EXPECT_TRUE(cloud.Placed().empty());
    EXPECT_EQ(cloud.max_freq, 0);
    TWordCloud noSource(300, 300);
    noSource.DisplayTheWords(canvas);
    EXPECT_TRUE(noSource.Placed().empty());
}

TEST(WordCloudLayout, Helpers)
{
    EXPECT_EQ(SquareUpRect({0, 0, 10, 4}), (TCloudRect{3, 0, 7, 4}));
    // The longer side may end one pixel shorter than the other.
    EXPECT_EQ(SquareUpRect({0, 0, 3, 8}), (TCloudRect{0, 3, 3, 5}));
    EXPECT_EQ(CrownPos(0, 10, 5, {20, 20}), (TCloudPoint{25, 20}));
    EXPECT_EQ(CrownPos(5, 10, 5, {20, 20}), (TCloudPoint{15, 20}));
    EXPECT_EQ(CrownPos(3, 0, 5, {20, 20}), (TCloudPoint{20, 20}));
    EXPECT_EQ(CloudColourForSize(10), 0xFF000080u);
    EXPECT_EQ(CloudColourForSize(26), 0xFF9400D3u);
    EXPECT_EQ(CloudColourForSize(0), 0xFF0000FFu);
    EXPECT_EQ(CloudColourForSize(31), 0xFF0000FFu);
    EXPECT_EQ(OutputConvertedStr(kOutputCaseCapitalised, QStringLiteral("hOUSE")), QStringLiteral("House"));
    EXPECT_EQ(OutputConvertedStr(kOutputCaseUpper, QStringLiteral("house")), QStringLiteral("HOUSE"));
}

} // namespace
} // namespace cv
