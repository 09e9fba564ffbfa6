#include "model/chosen_files.h"
#include "model/stats_list.h"
#include "suite/cv_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

cv::TStatsRec Text(const char* name, int64_t tokens, double meanLen, double sdLen, int64_t sentences,
                   double meanSent, double sdSent)
{
    cv::TStatsRec r;
    r.FileName = QString::fromLatin1(name);
    r.Folder = QStringLiteral("/corpus");
    r.Texts = 1;
    r.Bytes = tokens * 5;
    r.TokensInText = tokens;
    r.TokensUsed = tokens;
    r.Types = tokens / 2;
    r.MeanWordLength = meanLen;
    r.WordLengthStdDev = sdLen;
    r.Sentences = sentences;
    r.MeanSentenceLength = meanSent;
    r.SentenceLengthStdDev = sdSent;
    r.STTRBasis = 10;
    r.STTR = 50;
    r.WordsOfLength[0] = 1;
    r.WordsOfLength[13] = 2;
    return r;
}

} // namespace

TEST(StatsCombine, CountsAddMeansWeightAndDeviationsPool)
{
    // Text a: words of lengths 2 and 4 (mean 3, sd 1); text b: 6, 6, 6, 6 (mean 6, sd 0).
    // Together 2 4 6 6 6 6: mean 5, population variance (9+1+1+1+1+1)/6 - 0 ... worked: sum of
    // squares 4+16+144 = 164, /6 = 27.33, minus 25 = 2.333, sd 1.5275.
    const auto a = Text("a.txt", 2, 3, 1, 1, 2, 0);
    const auto b = Text("b.txt", 4, 6, 0, 2, 2, 0);
    const auto t = cv::CombineStats(a, b);
    EXPECT_EQ(t.Texts, 2);
    EXPECT_EQ(t.TokensUsed, 6);
    EXPECT_EQ(t.Bytes, 30);
    EXPECT_DOUBLE_EQ(t.MeanWordLength, 5);
    EXPECT_NEAR(t.WordLengthStdDev, std::sqrt(7.0 / 3.0), 1e-12);
    EXPECT_EQ(t.Sentences, 3);
    EXPECT_DOUBLE_EQ(t.MeanSentenceLength, 2);
    EXPECT_DOUBLE_EQ(t.SentenceLengthStdDev, 0);
    EXPECT_EQ(t.Types, 2) << "types cannot be added up: the larger is kept";
    EXPECT_DOUBLE_EQ(t.TTR, 2 * 100.0 / 6);
    EXPECT_EQ(t.WordsOfLength[0], 2);
    EXPECT_EQ(t.WordsOfLength[13], 4);
    EXPECT_EQ(t.FileName, QStringLiteral("a.txt"));
}

TEST(StatsCombine, StandardisedRatioIsWeightedByChunks)
{
    auto a = Text("a", 30, 1, 0, 0, 0, 0); // 3 chunks of 10 at 40
    auto b = Text("b", 10, 1, 0, 0, 0, 0); // 1 chunk at 80
    a.STTR = 40;
    b.STTR = 80;
    const auto t = cv::CombineStats(a, b);
    EXPECT_DOUBLE_EQ(t.STTR, 50);
    EXPECT_NEAR(t.STTRStdDev, std::sqrt((3 * 1600.0 + 6400.0) / 4 - 2500), 1e-9);
}

TEST(StatsList, RowZeroIsTheOverallRowAndStaysOnTop)
{
    cv::TCVStatsList l(nullptr, 0x70000);
    l.AddText(Text("c.txt", 30, 4, 1, 3, 10, 1));
    l.AddText(Text("a.txt", 10, 5, 1, 1, 10, 1));
    l.AddText(Text("b.txt", 20, 3, 1, 2, 10, 1));
    l.RecomputeOverall();
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Row(0)->Data().FileName, cv::TCVStatsList::OverallLabel());
    EXPECT_EQ(l.Row(0)->Data().TokensUsed, 60);
    EXPECT_EQ(l.Row(0)->Data().Texts, 3);

    l.SetSortToFNameSort();
    l.CompleteResort();
    EXPECT_EQ(l.Row(0)->Data().FileName, cv::TCVStatsList::OverallLabel());
    EXPECT_EQ(l.Row(1)->Data().FileName, QStringLiteral("a.txt"));
    EXPECT_EQ(l.Row(3)->Data().FileName, QStringLiteral("c.txt"));

    l.SetSort(cv::ss_TokensUsed);
    l.SetSortAscending(0, false);
    l.CompleteResort();
    EXPECT_EQ(l.Row(1)->Data().FileName, QStringLiteral("c.txt"));

    cv::TDrawgridDataRec rec;
    l.DrawgridDataRec(0, cv::ss_RowNumber, 0, rec);
    EXPECT_EQ(rec.text, cv::TCVStatsList::OverallLabel());
    l.DrawgridDataRec(1, cv::ss_TokensUsed, 0, rec);
    EXPECT_EQ(rec.text, QStringLiteral("30"));
    l.DrawgridDataRec(1, cv::ss_MeanWordLength, 0, rec);
    EXPECT_EQ(rec.text, QStringLiteral("4.00"));
    EXPECT_EQ(l.ColumnCount(), int(cv::ss_ColumnCount));
    EXPECT_EQ(l.Heading(cv::ss_WordsOfLength14Plus), QStringLiteral("14(+)-letter words"));
    EXPECT_DOUBLE_EQ(l.NumericalData(2, cv::ss_TokensUsed), 20);

    l.SetOverallTypes(25, 4);
    EXPECT_DOUBLE_EQ(l.Row(0)->Data().TTR, 25 * 100.0 / 60);
}

TEST(StatsList, StreamRoundTripAndFormattedRows)
{
    cv::TCVStatsList l(nullptr, 0x70000);
    auto r = Text("a.txt", 10, 5, 1, 1, 10, 1);
    r.ZipEntryName = QStringLiteral("inner.txt");
    r.FileTime = 1600000000000;
    l.AddText(r);
    l.RecomputeOverall();
    cv::TMemoryStream m;
    ASSERT_TRUE(l.SaveToStream(m));
    cv::TCVStatsList back(nullptr, 0);
    m.SetPosition(0);
    ASSERT_TRUE(back.ReadFromStream(m));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Row(1)->Data(), l.Row(1)->Data());
    EXPECT_EQ(back.ListType(), cv::TCVStatsList::kListType);
    EXPECT_EQ(back.Row(1)->DataFormatted().FileName, QStringLiteral("/corpus/a.txt"));

    const auto chosen = back.BuildCVFileDetails();
    ASSERT_EQ(chosen->FileCount(), 1);
    cv::TChosenTextRec rec;
    ASSERT_TRUE(chosen->GetFullFileDetails(0, rec));
    EXPECT_EQ(rec.FullFilename, QStringLiteral("/corpus/a.txt"));
    EXPECT_EQ(rec.ZipEntryName, QStringLiteral("inner.txt"));
    EXPECT_EQ(rec.FileTime.toMSecsSinceEpoch(), 1600000000000);
}

TEST(StatsList, MergeAddsTheOtherTextsAndTotals)
{
    cv::TCVStatsList a(nullptr, 0), b(nullptr, 0);
    a.AddText(Text("a.txt", 10, 4, 0, 1, 10, 0));
    a.RecomputeOverall();
    b.AddText(Text("b.txt", 30, 8, 0, 3, 10, 0));
    b.AddText(Text("c.txt", 30, 8, 0, 3, 10, 0));
    b.RecomputeOverall();
    ASSERT_TRUE(a.MergeWith(b, 3, 0, 0));
    EXPECT_EQ(a.Count(), 4);
    EXPECT_EQ(a.Row(0)->Data().Texts, 3);
    EXPECT_EQ(a.Row(0)->Data().TokensUsed, 70);
    EXPECT_DOUBLE_EQ(a.Row(0)->Data().MeanWordLength, (10 * 4 + 60 * 8) / 70.0);
    // The callers' word counts weigh the overall rows when given.
    cv::TCVStatsList c(nullptr, 0), d(nullptr, 0);
    c.AddText(Text("a.txt", 10, 4, 0, 0, 0, 0));
    c.RecomputeOverall();
    d.AddText(Text("b.txt", 10, 8, 0, 0, 0, 0));
    d.RecomputeOverall();
    ASSERT_TRUE(c.MergeWith(d, 2, 30, 10));
    EXPECT_DOUBLE_EQ(c.Row(0)->Data().MeanWordLength, 5);
    EXPECT_EQ(c.Row(0)->Data().TokensUsed, 40);
}

namespace {

// A text of `tokens` words used whose whole chunks of 10 have the ratios
// given (its last, incomplete chunk not among them).
cv::TStatsRec TextOfChunks(const char* name, int64_t tokens, std::initializer_list<double> ratios)
{
    cv::TStatsRec r = Text(name, tokens, 4, 0, 1, double(tokens), 0);
    double sum = 0, squares = 0;
    for (double x : ratios) {
        sum += x;
        squares += x * x;
    }
    const double n = double(ratios.size());
    r.STTR = n > 0 ? sum / n : 100;
    r.STTRStdDev = n > 0 ? std::sqrt(std::max(0.0, squares / n - r.STTR * r.STTR)) : 0;
    return r;
}

cv::TStatsRec OverallOf(const std::vector<cv::TStatsRec>& rows)
{
    cv::TCVStatsList l(nullptr, 0);
    for (const auto& r : rows)
        l.AddText(r);
    l.RecomputeOverall();
    return l.Row(0)->Data();
}

} // namespace

TEST(StatsCombine, TheTotalRatioIsTheMeanOverEveryTextsWholeChunksInAnyOrder)
{
    // Chunks of 10: a has two (30, 50) and 5 words over, b one (70) and 9
    // over, c one (90) and 5 over, d none (its plain ratio must not count).
    // Over the four chunks: mean 60, population sd sqrt(500).
    const std::vector<cv::TStatsRec> texts{TextOfChunks("a", 25, {30, 50}), TextOfChunks("b", 19, {70}),
                                           TextOfChunks("c", 15, {90}), TextOfChunks("d", 7, {})};
    const double mean = 60, sd = std::sqrt(500.0);
    std::vector<int> order{0, 1, 2, 3};
    do {
        std::vector<cv::TStatsRec> rows;
        for (int k : order)
            rows.push_back(texts[std::size_t(k)]);
        const cv::TStatsRec o = OverallOf(rows);
        EXPECT_NEAR(o.STTR, mean, 1e-9);
        EXPECT_NEAR(o.STTRStdDev, sd, 1e-9);
        // Totals of pairs taken together, as merged documents take them.
        const cv::TStatsRec pairs = cv::CombineStats(cv::CombineStats(rows[0], rows[1]), cv::CombineStats(rows[2], rows[3]));
        EXPECT_NEAR(pairs.STTR, mean, 1e-9);
        EXPECT_NEAR(pairs.STTRStdDev, sd, 1e-9);
    } while (std::next_permutation(order.begin(), order.end()));

    // Two lists merged, one of them read back from a stream first (its
    // overall row does not carry its chunks).
    cv::TCVStatsList first(nullptr, 0), second(nullptr, 0);
    first.AddText(texts[3]);
    first.AddText(texts[1]);
    first.RecomputeOverall();
    second.AddText(texts[0]);
    second.AddText(texts[2]);
    second.RecomputeOverall();
    cv::TMemoryStream m;
    ASSERT_TRUE(second.SaveToStream(m));
    m.SetPosition(0);
    cv::TCVStatsList back(nullptr, 0);
    ASSERT_TRUE(back.ReadFromStream(m));
    ASSERT_TRUE(first.MergeWith(back, 4, 0, 0));
    EXPECT_NEAR(first.Row(0)->Data().STTR, mean, 1e-9);
    EXPECT_NEAR(first.Row(0)->Data().STTRStdDev, sd, 1e-9);

    // No text with a whole chunk: the plain ratios, weighted by words.
    cv::TStatsRec e = TextOfChunks("e", 4, {}), f = TextOfChunks("f", 6, {});
    f.STTR = 50;
    EXPECT_NEAR(OverallOf({e, f}).STTR, 70, 1e-9);
    EXPECT_NEAR(OverallOf({f, e}).STTR, 70, 1e-9);
}

TEST(StatsCombine, WithoutAWholeChunkTheTotalsDeviationIsThatOfTheRatiosWeightedByWords)
{
    // Ratios 75 (4 tokens used), 83.33 (6) and 50 (10): mean 65; deviations
    // 10, 18.33 and -15, so the variance is (4 x 100 + 6 x 336.11 + 10 x
    // 225) / 20 = 233.33.
    // Chunks of 1,000: none is whole.
    cv::TStatsRec a = TextOfChunks("a", 4, {}), b = TextOfChunks("b", 6, {}), c = TextOfChunks("c", 10, {});
    a.STTR = 75;
    b.STTR = 500.0 / 6;
    c.STTR = 50;
    std::vector<cv::TStatsRec> texts{a, b, c};
    for (cv::TStatsRec& t : texts)
        t.STTRBasis = 1000;
    std::vector<int> order{0, 1, 2};
    do {
        std::vector<cv::TStatsRec> rows;
        for (int k : order)
            rows.push_back(texts[std::size_t(k)]);
        const cv::TStatsRec o = OverallOf(rows);
        EXPECT_NEAR(o.STTR, 65, 1e-9);
        EXPECT_NEAR(o.STTRStdDev, std::sqrt(700.0 / 3), 1e-9);
    } while (std::next_permutation(order.begin(), order.end()));
    // Texts of one ratio deviate by nothing (68 types in 71 tokens, three
    // times: the mean of the squares less the squared mean gave 2.3e-6).
    cv::TStatsRec same = TextOfChunks("same", 71, {});
    same.STTRBasis = 1000;
    same.STTR = 6800.0 / 71;
    const cv::TStatsRec o = OverallOf({same, same, same});
    EXPECT_NEAR(o.STTR, 6800.0 / 71, 1e-9);
    EXPECT_NEAR(o.STTRStdDev, 0, 1e-12);
}
