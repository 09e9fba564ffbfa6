#include "concordance/concordance_plots.h"
#include "conc_doc_testutil.h"
#include "model/corvantis_holder.h"
#include "suite/resource_strings.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace cv;
using cvtest::LEBytes;

namespace {

std::unique_ptr<TGeneralPlotDataList> Points(int32_t extent, std::initializer_list<int32_t> positions)
{
    auto l = std::make_unique<TGeneralPlotDataList>(extent, 8);
    for (int32_t p : positions)
        l->Add(p, QStringLiteral("ctx %1").arg(p));
    return l;
}

TVersion21PlotEntryRec Row(int32_t text, int32_t sw, int32_t words, int32_t hits, const QString& name)
{
    TVersion21PlotEntryRec r;
    r.plot_file_number = text;
    r.plot_search_word_number = sw;
    r.words_in_file = words;
    r.hits = hits;
    r.plot_filename = name;
    r.plot_sw_string = QStringLiteral("w");
    return r;
}

class TDoc final : public TCorvantisholder {
public:
    TDoc() : TCorvantisholder(TTextSettings::Defaults(), kListConcordance, nullptr, nullptr, false, false) {}
};

} // namespace

TEST(ConcordancePlot, OverallRowPoolsRowsOnTheLargestTextsScale)
{
    TConcPlotList l(nullptr, 0x70001);
    l.AddRow(Row(1, 0, 1000, 1, QStringLiteral("small")), Points(1000, {500}));
    l.AddRow(Row(2, 0, 4000, 2, QStringLiteral("large")), Points(4000, {10, 3999}));
    l.RebuildOverallEntry();
    const TConcordancePlotEntry& o = *l.OverallPlotEntry;
    EXPECT_TRUE(o.Data().IsOverallEntry);
    EXPECT_EQ(o.Positions().Positions(), (std::vector<int32_t>{10, 2000, 3999}));
    EXPECT_EQ(o.Positions().Item(1).Text(), QStringLiteral("ctx 500"));
    EXPECT_EQ(o.Data().hits, 3);
    EXPECT_EQ(l.words_in_all_relevant_files, 5000);
    EXPECT_EQ(l.words_in_largest_file, 4000);
    EXPECT_EQ(o.Positions().Extent(), 4000);
    EXPECT_TRUE(l.overall_row_wanted);
    EXPECT_EQ(l.OverallCount(), 1);
    EXPECT_EQ(l.CPlotDatum(0), l.OverallPlotEntry.get());
    EXPECT_EQ(l.CPlotDatum(2), l.Entry(1));
}

TEST(ConcordancePlot, OneTextOneSearchWordNeedsNoOverallRowAndTextsCountOnce)
{
    TConcPlotList l(nullptr, 0x70001);
    l.AddRow(Row(1, 0, 300, 1, QStringLiteral("t")), Points(300, {1}));
    l.RebuildOverallEntry();
    EXPECT_FALSE(l.overall_row_wanted);
    EXPECT_EQ(l.OverallCount(), 0);
    EXPECT_EQ(l.CPlotDatum(0), l.Entry(0));

    // Two search words in one text: two rows, the text's words counted once.
    l.AddRow(Row(1, 1, 300, 1, QStringLiteral("t")), Points(300, {2}));
    l.RebuildOverallEntry();
    EXPECT_TRUE(l.overall_row_wanted);
    EXPECT_EQ(l.words_in_all_relevant_files, 300);
}

TEST(ConcordancePlot, ColumnsRatesAndNames)
{
    TConcPlotList l(nullptr, 0x70001);
    l.AddRow(Row(1, 0, 2000, 4, QStringLiteral("a")), Points(2000, {1, 2, 3, 4}));
    l.AddRow(Row(2, 0, 0, 0, QStringLiteral("empty")), Points(0, {}));
    EXPECT_EQ(l.NumericalData(0, TConcPlotList::kColWords), 2000);
    EXPECT_EQ(l.NumericalData(0, TConcPlotList::kColHits), 4);
    EXPECT_DOUBLE_EQ(l.NumericalData(0, TConcPlotList::kColRate), 2.0); // per 1,000
    EXPECT_EQ(l.NumericalData(1, TConcPlotList::kColRate), -999999.0);
    l.fRateDisplay = 4;
    EXPECT_DOUBLE_EQ(l.NumericalData(0, TConcPlotList::kColRate), 2000.0);
    EXPECT_EQ(l.CheckedPPMFormatHeading(), QStringLiteral("per million"));
    EXPECT_EQ(l.FilenameWithSW(0), QStringLiteral("a w"));
    l.fSearchWordFirst = true;
    EXPECT_EQ(l.FilenameWithSW(0), QStringLiteral("w a"));
    l.fFullFilenameOf = [](int32_t n) { return QStringLiteral("/corpus/%1.txt").arg(n); };
    EXPECT_EQ(l.FullFilenameFromPlot(1), QStringLiteral("/corpus/2.txt"));
    EXPECT_EQ(l.NumericalData(0, 0), 1);
}

TEST(ConcordancePlot, SortsByFirstOrLastHitByTheSortDirection)
{
    TConcPlotList l(nullptr, 0x70001);
    l.AddRow(Row(1, 0, 100, 2, QStringLiteral("early-late")), Points(100, {5, 95}));
    l.AddRow(Row(2, 0, 100, 1, QStringLiteral("middle")), Points(100, {50}));
    EXPECT_EQ(l.HeaderColumnToSortNeeded(TConcPlotList::kColPlot), TConcPlotList::kSortFirstHit);
    l.Set1Sort(0, TConcPlotList::kSortFirstHit);
    l.CompleteResort();
    EXPECT_EQ(l.Entry(0)->Data().plot_filename, QStringLiteral("early-late"));
    l.SetSortAscending(0, false);
    EXPECT_EQ(l.HeaderColumnToSortNeeded(TConcPlotList::kColPlot), TConcPlotList::kSortLastHit);
    l.Set1Sort(0, TConcPlotList::kSortLastHit);
    l.CompleteResort();
    EXPECT_EQ(l.Entry(0)->Data().plot_filename, QStringLiteral("early-late"));
    l.Set1Sort(0, TConcPlotList::kSortRate);
    l.SetSortAscending(0, true);
    l.CompleteResort();
    EXPECT_EQ(l.Entry(0)->Data().plot_filename, QStringLiteral("middle"));
}

TEST(ConcordancePlot, ListStreamRoundTripKeepsOverallRowAndPlotSettings)
{
    TDoc doc;
    doc.plot_settings = {true, 40, 500};
    TConcPlotList l(&doc, 0x70001);
    l.AddRow(Row(1, 0, 1000, 1, QStringLiteral("a")), Points(1000, {7}));
    l.AddRow(Row(2, 1, 2000, 1, QStringLiteral("b")), Points(2000, {9}));
    l.RebuildOverallEntry();
    l.OverallPlotEntry->Data().plot_filename = QStringLiteral("Overall");
    const auto bytes = cvtest::StreamBytes(l);
    EXPECT_EQ(l.GetVersionNumber(), 22);

    TDoc other;
    TConcPlotList back(&other, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(m.Remaining(), 0);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Entry(1)->Data(), l.Entry(1)->Data());
    EXPECT_EQ(back.OverallPlotEntry->Data(), l.OverallPlotEntry->Data());
    EXPECT_EQ(back.OverallPlotEntry->Positions().Positions(), l.OverallPlotEntry->Positions().Positions());
    EXPECT_TRUE(other.plot_settings.context);
    EXPECT_EQ(other.plot_settings.contextCharacters, 40);
    EXPECT_EQ(other.plot_settings.contextLineLimit, 500);
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);
}

TEST(ConcordancePlot, OlderEntryLayoutsAreRead)
{
    TConcPlotList v14(nullptr, 0x70001);
    v14.SetVersionNumber(14);
    const auto noPoints = cvtest::StreamBytes(*Points(0, {}));
    // A negative word count: a text number follows.
    TConcordancePlotEntry a(&v14);
    auto ma = LEBytes().f32(0.5f).i32(3).i32(-800).i32(4).str(QStringLiteral("t.txt")).bytes(noPoints).stream();
    ASSERT_TRUE(a.ReadFromStream(ma));
    EXPECT_EQ(a.Data().words_in_file, 800);
    EXPECT_EQ(a.Data().plot_file_number, 4);
    EXPECT_EQ(a.Data().divisions, 8);
    // The text number must be above 0.
    TConcordancePlotEntry bad(&v14);
    auto mb = LEBytes().f32(0).i32(1).i32(-5).i32(0).str(QStringLiteral("x")).bytes(noPoints).stream();
    EXPECT_FALSE(bad.ReadFromStream(mb));

    // Below 12 the name is a short 8-bit string; the overall label marks the overall row.
    TConcPlotList v11(nullptr, 0x70001);
    v11.SetVersionNumber(11);
    TConcordancePlotEntry c(&v11);
    const QByteArray label = CVOverall.toString().toLatin1();
    LEBytes b;
    b.f32(0).i32(2).i32(100).u8(uint8_t(label.size()));
    for (char ch : label)
        b.u8(uint8_t(ch));
    auto mc = b.bytes(cvtest::StreamBytes(*Points(100, {3, 1}))).stream();
    ASSERT_TRUE(c.ReadFromStream(mc));
    EXPECT_TRUE(c.Data().IsOverallEntry);
    EXPECT_EQ(c.Data().plot_file_number, -1);
    EXPECT_EQ(c.Positions().Positions(), (std::vector<int32_t>{1, 3}));

    // Versions 15 to 20: the fixed part and the name, no search word.
    TConcPlotList v20(nullptr, 0x70001);
    v20.SetVersionNumber(20);
    TConcordancePlotEntry d(&v20);
    auto md = LEBytes()
                  .f32(0.25f).i32(8).i32(1).i32(10).i32(1).i32(0)
                  .zeros(24).u8(0).zeros(3)
                  .str(QStringLiteral("n"))
                  .bytes(noPoints)
                  .stream();
    ASSERT_TRUE(d.ReadFromStream(md));
    EXPECT_TRUE(d.Data().plot_sw_string.isEmpty());
    EXPECT_EQ(md.Remaining(), 0);
}

TEST(ConcordancePlot, WalksPositionsAcrossRowsAndFindsTheNearestContextWord)
{
    TConcPlotList l(nullptr, 0x70001);
    l.AddRow(Row(1, 0, 100, 2, QStringLiteral("a")), Points(100, {10, 20}));
    l.AddRow(Row(2, 0, 100, 0, QStringLiteral("b")), Points(100, {}));
    l.AddRow(Row(3, 0, 100, 1, QStringLiteral("c")), Points(100, {30}));
    l.SetPlotWalk(0, -1);
    TV2GeneralPlotDataRec p;
    std::vector<int32_t> seen;
    while (l.NextGeneralPlotList(1, p))
        seen.push_back(p.position);
    EXPECT_EQ(seen, (std::vector<int32_t>{10, 20, 30}));
    seen.clear();
    while (l.NextGeneralPlotList(-1, p))
        seen.push_back(p.position);
    EXPECT_EQ(seen, (std::vector<int32_t>{20, 10}));

    const TGeneralPlotDataList& a = l.Entry(0)->Positions();
    EXPECT_EQ(l.NearestContextWord(a, 0, 100, 17).position, 20);
    EXPECT_EQ(l.LastGoodContextHitnumAndWordNumRec.hitnum, 1);
    EXPECT_EQ(l.NearestContextWord(a, 11, 19, 15).position, 0);
    EXPECT_EQ(l.WordNumFromPlotPixelPosition(false, -200, 50, 1000), 250);
    EXPECT_EQ(l.WordNumFromPlotPixelPosition(false, 0, 50, 1000), 0);
}

TEST(Timeline, CalendarPeriods)
{
    const QDate d(2021, 2, 17);
    EXPECT_EQ(PeriodStart(d, kTimelineYears), QDate(2021, 1, 1));
    EXPECT_EQ(PeriodEnd(d, kTimelineMonths), QDate(2021, 2, 28));
    EXPECT_EQ(PeriodEnd(QDate(2020, 2, 3), kTimelineMonths), QDate(2020, 2, 29));
    EXPECT_EQ(PeriodIndex(QDate(2020, 11, 30), d, kTimelineMonths), 3);
    EXPECT_EQ(PeriodsBetween(QDate(2019, 6, 1), d, kTimelineYears), 3);
    EXPECT_EQ(PeriodIndex(QDate(2021, 2, 1), d, kTimelineDays), 16);
    EXPECT_EQ(PeriodStartOfIndex(QDate(2020, 11, 30), 3, kTimelineMonths), QDate(2021, 2, 1));
    EXPECT_EQ(PeriodLabel(d, kTimelineMonths), QStringLiteral("2021-02"));
}

TEST(Timeline, OneRowIsShownAsTheOverallRowAndRowsRoundTrip)
{
    TTimelineList l(nullptr, 0x70001);
    TTimeLineRow row;
    row.label = QStringLiteral("house");
    row.rec.SetHits(6);
    row.rec.SetWords(3000);
    row.rec.SetSearchWordNumber(0);
    row.rec.SetFirstDate(DayNumberFromDateTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc())));
    row.rec.SetLastDate(DayNumberFromDateTime(QDateTime(QDate(2020, 3, 31), QTime(0, 0), QTimeZone::utc())));
    row.rec.SetPeriodUnit(kTimelineMonths);
    row.periods = {{3, 1000}, {0, 1000}, {3, 1000}};
    l.AddRow(row);
    EXPECT_EQ(l.OverallCount(), 0);
    const TTimeLineRow first = l.TimeLineData(0);
    EXPECT_TRUE(first.rec.IsOverall());
    EXPECT_EQ(first.label, QStringLiteral("house"));
    EXPECT_FALSE(l.TimeLineData(5).rec.IsOverall());
    EXPECT_EQ(l.TimeLineData(5).rec.Hits(), 0);
    EXPECT_EQ(l.TimeLineDataStringForLemmaShower(0),
              (QStringList{QStringLiteral("2020-01\t3\t1000"), QStringLiteral("2020-02\t0\t1000"),
                           QStringLiteral("2020-03\t3\t1000")}));
    EXPECT_EQ(l.TimeLineDataDateHeaders(), QStringLiteral("2020-01-01 (3) (months)"));
    l.ComputeDispersion();
    // Counts 3, 0, 3: mean 2, s = sqrt(2), D = 1 - (sqrt(2) / 2) / sqrt(2) = 0.5.
    EXPECT_NEAR(l.Entry(0)->Rec().Dispersion(), 0.5, 1e-6);
    EXPECT_DOUBLE_EQ(l.NumericalData(0, TTimelineList::kColRate), 2.0);

    row.label = QStringLiteral("home");
    l.AddRow(row);
    EXPECT_EQ(l.OverallCount(), 1);
    EXPECT_TRUE(l.TimeLineData(0).rec.IsOverall());
    EXPECT_EQ(l.TimeLineData(2).label, QStringLiteral("home"));
    l.OverallTimeLineEntry->Label() = QStringLiteral("Overall");
    l.OverallTimeLineEntry->Periods() = {{6, 2000}};
    l.SetTimeBasis(kTimelineYears);
    EXPECT_EQ(l.Entry(1)->Rec().PeriodUnit(), kTimelineYears);

    const auto bytes = cvtest::StreamBytes(l);
    TTimelineList back(nullptr, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.Entry(1)->Periods(), l.Entry(1)->Periods());
    EXPECT_EQ(back.Entry(1)->Rec(), l.Entry(1)->Rec());
    EXPECT_EQ(back.OverallTimeLineEntry->Label(), QStringLiteral("Overall"));
    EXPECT_EQ(back.TimeBasis(), kTimelineYears);
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        cv::TMemoryStream part(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        TTimelineList t(nullptr, 0x70001);
        EXPECT_FALSE(t.ReadFromStream(part)) << cut;
    }
}

TEST(Timeline, ARowWithoutWordsHasRateMinusOne)
{
    TTimelineList l(nullptr, 0x70001);
    TTimeLineRow row;
    row.rec.SetHits(2);
    l.AddRow(row);
    EXPECT_EQ(l.NumericalData(0, TTimelineList::kColRate), -1.0);
}
