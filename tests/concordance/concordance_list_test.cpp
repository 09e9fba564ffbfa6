#include "concordance/concordance_list.h"

#include <gtest/gtest.h>

#include "textread/tag_records.h"

using namespace cv;

namespace {

// A line whose words around the hit are given (position 50 is `hit`).
TMarvexEntryRec lineOf(const QString& left, const QString& hit, const QString& right, int file = 1, int word = 1,
                       int sw = 0)
{
    TMarvexEntryRec r;
    r.pExtraBase.Assign();
    r.conc_line = left + u' ' + hit + u' ' + right;
    r.base.midpoint = int16_t(left.size() + 1);
    r.base.filename_num_original = file;
    r.base.word_num = word;
    r.base.sw_number = sw;
    r.base.hit_characters = int32_t(hit.size());
    r.base.fixed_sort_positions[5] = TSortInfoRec{r.base.midpoint, int16_t(hit.size()), 0, 0};
    // L1 and R1.
    r.base.fixed_sort_positions[4] = TSortInfoRec{0, int16_t(left.size()), 0, 0};
    r.base.fixed_sort_positions[6] = TSortInfoRec{int16_t(r.base.midpoint + hit.size() + 1), int16_t(right.size()), 0, 0};
    return r;
}

QStringList column(const TConcordanceList& list, int p)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i) {
        QStringView w;
        int n = 0;
        out << (list.WordAtCollocatePosition(i, p, w, n) ? w.toString() : QStringLiteral("-"));
    }
    return out;
}

} // namespace

TEST(ConcordanceList, HitCountsLimitAndEnoughLines)
{
    TConcordanceList list(nullptr);
    list.fEntriesWantedPerSW = 2;
    list.fsearch_words_to_seek = 2;
    EXPECT_TRUE(list.CountedHit(0));
    EXPECT_TRUE(list.CountedHit(0));
    EXPECT_FALSE(list.EnoughLines());
    EXPECT_FALSE(list.CountedHit(0)); // a third line for word 0 is one too many
    EXPECT_TRUE(list.sw_limit_reached);
    EXPECT_EQ(list.HitsOf(0), 2);
    EXPECT_TRUE(list.CountedHit(1));
    EXPECT_TRUE(list.CountedHit(1));
    EXPECT_TRUE(list.EnoughLines());
    EXPECT_EQ(list.HitsOf(7), 0);
    list.Clear();
    EXPECT_EQ(list.HitsOf(0), 0);
    EXPECT_FALSE(list.sw_limit_reached);
    list.fEntriesWantedPerSW = 0; // no limit
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(list.CountedHit(0));
    EXPECT_FALSE(list.EnoughLines());
}

TEST(ConcordanceList, PutNilAndPackRemoveMarkedLines)
{
    TConcordanceList list(nullptr);
    for (int i = 0; i < 5; ++i)
        list.Add(lineOf(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"), 1, i + 1));
    list.Put(1, nullptr);
    list.Put(3, nullptr);
    list.Put(9, nullptr); // ignored
    EXPECT_EQ(list.Pack(), 2);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Line(1).fData.base.word_num, 3);
    EXPECT_EQ(list.Pack(), 0);
}

TEST(ConcordanceList, SortsByWordsAroundTheHitAndByPlace)
{
    TConcordanceList list(nullptr);
    list.Add(lineOf(QStringLiteral("b"), QStringLiteral("cat"), QStringLiteral("zebra"), 2, 5));
    list.Add(lineOf(QStringLiteral("c"), QStringLiteral("cat"), QStringLiteral("apple"), 1, 9));
    list.Add(lineOf(QStringLiteral("a"), QStringLiteral("cat"), QStringLiteral("mango"), 1, 3));
    list.SetThreeSorts(0); // R1, R2, R3
    list.CompleteResort();
    EXPECT_EQ(column(list, 51), (QStringList{"apple", "mango", "zebra"}));
    list.SetThreeSorts(1); // L1 ...
    list.CompleteResort();
    EXPECT_EQ(column(list, 49), (QStringList{"a", "b", "c"}));
    list.SetThreeSorts(4); // text, then place in it
    list.CompleteResort();
    EXPECT_EQ(column(list, 51), (QStringList{"mango", "apple", "zebra"}));
    list.Set2Sorts(kConcSortPositionBase + 51, -1);
    list.SetSortAscending(0, false);
    list.CompleteResort();
    EXPECT_EQ(column(list, 51), (QStringList{"zebra", "mango", "apple"}));
    EXPECT_EQ(list.KindOfSortKey(kConcSortMeanRank), TSortKeyKind::Number);
    EXPECT_EQ(list.KindOfSortKey(kConcSortTagContext), TSortKeyKind::Text);
    EXPECT_EQ(column(list, 40), (QStringList{"-", "-", "-"}));
}

TEST(ConcordanceList, MeanWordRankOfALine)
{
    const auto rank = [](const QString& w) -> int32_t {
        if (w == QStringLiteral("the"))
            return 1;
        if (w == QStringLiteral("cat"))
            return 10;
        return 0;
    };
    // "Capital" is ignored, "dog" is absent (entries + 1000), punctuation is trimmed.
    EXPECT_EQ(TConcordanceList::ConcordanceLineMeanWordRank(u"(the) Capital cat, dog!", rank, 50), (1 + 10 + 1050 + 1) / 3);
    EXPECT_EQ(TConcordanceList::ConcordanceLineMeanWordRank(u"Only Capitals 12", rank, 50), 0);
    EXPECT_EQ(TConcordanceList::ConcordanceLineMeanWordRank(u"the cat", {}, 50), 1); // no reference list
    TConcordanceList list(nullptr);
    list.Add(lineOf(QStringLiteral("the"), QStringLiteral("cat"), QStringLiteral("the")));
    list.Add(lineOf(QStringLiteral("cat"), QStringLiteral("cat"), QStringLiteral("cat")));
    list.fReferenceRankOf = rank;
    list.fReferenceEntryCount = 50;
    list.Set2Sorts(kConcSortMeanRank, -1);
    list.SetSortAscending(0, false);
    list.CompleteResort(); // the ranks are computed for the sort
    EXPECT_EQ(list.Line(0).fData.base.concordance_line_mean_word_rank, 10);
    EXPECT_EQ(list.Line(1).fData.base.concordance_line_mean_word_rank, 4);
    EXPECT_EQ(list.NumericalData(1, kConcColMeanRank), 4);
}

TEST(ConcordanceList, PercentagesTextNumbersSetColumnAndColours)
{
    TConcordanceList list(nullptr);
    list.Add(lineOf(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"), 2, 50, 1));
    list.Add(lineOf(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"), 1, 10, 0));
    list.Add(lineOf(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"), 2, 20, 1));
    EXPECT_TRUE(list.FillMissingPercentages([](int32_t text) { return text == 2 ? 200 : 0; }));
    EXPECT_FLOAT_EQ(list.Line(0).fData.base.percent_of_file, 25.0f);
    EXPECT_FLOAT_EQ(list.Line(1).fData.base.percent_of_file, 0.01f); // a text of no words
    EXPECT_FALSE(list.FillMissingPercentages({})); // the lines have theirs now
    EXPECT_EQ(list.FilenumbersInLines(), (std::vector<int32_t>{1, 2}));

    list.EnsureSearchWordCount(2);
    list.sws_found_counter = {1, 2};
    const int set = list.AddSetColumn(QStringLiteral("Hits"));
    list.SetActiveSetColumn(set);
    list.CopySearchWordHitsToSetColumn();
    EXPECT_EQ(list.Line(0).Category(list.SetNumberOfColumn(set)), QStringLiteral("2"));
    EXPECT_EQ(list.Line(1).Category(list.SetNumberOfColumn(set)), QStringLiteral("1"));

    TMarvexEntryRec tagged = lineOf(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"));
    tagged.tag_positions_in_line.Add(TTagPositionRec{3, 0, 1, 2, 1});
    list.Add(std::move(tagged));
    std::vector<TStoredTagRec> tags(1);
    tags[0].foreground_colour = 0x111111;
    tags[0].background_colour = 0x222222;
    list.ChangeTagColours(tags);
    EXPECT_EQ(list.Line(3).fData.tag_positions_in_line.Record(0).foreground, 0x111111);

    TDrawgridDataRec cell;
    list.DrawgridDataRec(0, kConcColWord, 0, cell);
    EXPECT_EQ(cell.text, QStringLiteral("50"));
    list.DrawgridDataRec(0, kConcColLine, 0, cell);
    EXPECT_EQ(cell.text, QStringLiteral("a x b"));
}
