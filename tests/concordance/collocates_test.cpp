#include "concordance/collocates.h"
#include "conc_doc_testutil.h"
#include "suite/dialogs.h"
#include "textread/tag_records.h"

#include <gtest/gtest.h>

using namespace cv;
using cvtest::LEBytes;

namespace {

TConcSettingsRec32 Settings(int minFreq = 1, int minTexts = 1, bool merge = false)
{
    TConcSettingsRec32 s = TConcSettingsRec32::Defaults();
    s.SetCollocHorizonLeft(5);
    s.SetCollocHorizonRight(5);
    s.SetMinCollocateFrequency(int16_t(minFreq));
    s.SetMinCollocateTexts(minTexts);
    s.SetMinCollocateLength(1);
    s.SetMergeSearchWordsForCollocates(merge);
    return s;
}

int RowOf(const TCollocateList& l, const QString& word, int32_t sw = INT32_MIN)
{
    for (int i = 0; i < l.Count(); ++i)
        if (l.Entry(i)->Data().word == word && (sw == INT32_MIN || l.Entry(i)->Data().sw_number == sw))
            return i;
    return -1;
}

} // namespace

TEST(Collocates, CountsPerPositionWithSideTotalsHighestAndTexts)
{
    TCollocateTree tree(Settings(), false);
    // Three times at L2, once at R1, in two texts.
    tree.AddWord(QStringLiteral("old"), 48, 1, 0, QStringLiteral("house"));
    tree.AddWord(QStringLiteral("old"), 48, 1, 0, QStringLiteral("house"));
    tree.AddWord(QStringLiteral("old"), 48, 2, 0, QStringLiteral("house"));
    tree.AddWord(QStringLiteral("old"), 51, 2, 0, QStringLiteral("house"));
    // The search word itself counts toward the total but neither side.
    tree.AddWord(QStringLiteral("house"), 50, 1, -99, QStringLiteral("house"));
    TCollocateList list(nullptr, 0x70001);
    tree.Collect(list);
    ASSERT_EQ(list.Count(), 2);
    const auto& old = list.CollocateData(RowOf(list, QStringLiteral("old")));
    EXPECT_EQ(old.total, 4);
    EXPECT_EQ(old.left, 3);
    EXPECT_EQ(old.right, 1);
    EXPECT_EQ(old.highest, 3);
    EXPECT_EQ(old.texts, 2);
    ASSERT_EQ(old.freqs.size(), 11u);
    EXPECT_EQ(old.freqs[3], 3);
    const auto& self = list.CollocateData(RowOf(list, QStringLiteral("house")));
    EXPECT_EQ(self.total, 1);
    EXPECT_EQ(self.left + self.right, 0);
    EXPECT_EQ(list.ColToSpan(TCollocateList::kStandardColumns + 3), 48);
    EXPECT_EQ(list.NumericalData(RowOf(list, QStringLiteral("old")), TCollocateList::kStandardColumns + 3), 3);
    EXPECT_EQ(list.Heading(TCollocateList::kStandardColumns + 3), QStringLiteral("L2"));
}

TEST(Collocates, ThresholdsLeaveRowsOutUnlessMarkedToBeKept)
{
    TCollocateTree tree(Settings(5), false);
    for (int i = 0; i < 4; ++i)
        tree.AddWord(QStringLiteral("rare"), 49, 1, 0, QStringLiteral("x"));
    tree.AddWord(QStringLiteral("kept"), 49, 1, 0, QStringLiteral("x"), 0, QString(), QString(), true);
    TCollocateList list(nullptr, 0x70001);
    tree.Collect(list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.CollocateData(0).word, QStringLiteral("kept"));

    TCollocateTree texts(Settings(1, 2), false);
    texts.AddWord(QStringLiteral("one"), 49, 1, 0, QStringLiteral("x"));
    texts.AddWord(QStringLiteral("one"), 49, 1, 0, QStringLiteral("x"));
    TCollocateList l2(nullptr, 0x70001);
    texts.Collect(l2);
    EXPECT_EQ(l2.Count(), 0);
}

TEST(Collocates, SearchWordsCountApartUnlessMerged)
{
    for (bool merge : {false, true}) {
        TCollocateTree tree(Settings(1, 1, merge), false);
        tree.AddWord(QStringLiteral("red"), 49, 1, 0, QStringLiteral("car"));
        tree.AddWord(QStringLiteral("red"), 49, 1, 1, QStringLiteral("bus"));
        TCollocateList list(nullptr, 0x70001);
        list.fSearchWordTexts = {QStringLiteral("Car"), QStringLiteral("Bus")};
        tree.Collect(list);
        ASSERT_EQ(list.Count(), merge ? 1 : 2) << merge;
        if (merge) {
            EXPECT_EQ(list.CollocateData(0).sw_number, -2);
            EXPECT_EQ(list.CollocateData(0).total, 2);
            TDrawgridDataRec cell;
            list.DrawgridDataRec(0, TCollocateList::kColSearchWord, 0, cell);
            EXPECT_EQ(cell.text, QStringLiteral("(car/bus)"));
        } else {
            // The larger search-word number first.
            EXPECT_EQ(list.CollocateData(0).sw_number, 1);
            EXPECT_EQ(tree.sws_found, (QStringList{QStringLiteral("bus"), QStringLiteral("car")}));
        }
    }
}

TEST(Collocates, RowsTakeTheirTagsCategoryAndColour)
{
    TStoredTagRec tag;
    tag.tag = QStringLiteral("<noun>");
    tag.foreground_colour = 0x000000FF; // red as 0x00BBGGRR
    std::vector<TStoredTagRec> tags{tag};
    TCollocateTree tree(Settings(), false);
    tree.AddWord(QStringLiteral("cat"), 49, 1, 0, QStringLiteral("x"), 1);
    tree.AddWord(QStringLiteral("dog"), 49, 1, 0, QStringLiteral("x"), 2);
    TCollocateList list(nullptr, 0x70001);
    tree.Collect(list, tags);
    const int cat = RowOf(list, QStringLiteral("cat"));
    ASSERT_EQ(list.Entry(cat)->Categories().size(), 1u);
    EXPECT_EQ(list.Entry(cat)->Category(1), QStringLiteral("<noun>"));
    EXPECT_EQ(list.Entry(cat)->Categories()[0].colour, 0xFFFF0000u);
    EXPECT_TRUE(list.Entry(RowOf(list, QStringLiteral("dog")))->Categories().empty());
}

TEST(Collocates, EntryStreamRoundTripAndOlderVersions)
{
    TCollocateList list(nullptr, 0x70001);
    TCollocateEntryRec32 r;
    r.word = QStringLiteral("Haus");
    r.prefix_or_tag = QStringLiteral("<n>");
    r.search_word = QStringLiteral("alt");
    r.freqs = {0, 1, 2};
    r.lemma_freqs = {4};
    r.total = 3;
    r.left = 1;
    r.right = 2;
    r.texts = 2;
    r.sw_number = 0;
    r.lemma_total = 9;
    r.block.SetScore(4, 0.5f);
    r.block.Bytes()[199] = 0x5A; // bytes not named are kept
    list.AddCollocate(r);
    const auto bytes = cvtest::StreamBytes(list);
    TCollocateList back(nullptr, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.CollocateData(0), r);
    EXPECT_TRUE(back.fAssociationPresent);
    EXPECT_FALSE(back.ColumnHidden(5));
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);

    // Version 12: no lemma block, no score block, the search word stored.
    TCollocateList v12(nullptr, 0x70001);
    v12.SetVersionNumber(12);
    TCollocateEntry e12(&v12);
    auto m12 = LEBytes()
                   .f32(2.5f)
                   .i32(1).i32(1).i32(1).i32(0).i32(1).i32(0)
                   .str(QStringLiteral("w")).str(QString()).str(QString())
                   .str(QStringLiteral("sw"))
                   .i32(1).i32(1)
                   .stream();
    ASSERT_TRUE(e12.ReadFromStream(m12));
    EXPECT_EQ(e12.Data().search_word, QStringLiteral("sw"));
    EXPECT_EQ(e12.Data().freqs, (std::vector<int32_t>{1}));
    EXPECT_TRUE(v12.fOlderRelationshipPresent);
    EXPECT_EQ(m12.Remaining(), 0);

    // Version 10: the older form; the search word comes from the search items.
    TCollocateList v10(nullptr, 0x70001);
    v10.SetVersionNumber(10);
    v10.fSearchWordTexts = {QStringLiteral("zero"), QStringLiteral("one")};
    TCollocateEntry e10(&v10);
    auto m10 = LEBytes()
                   .f32(0).i32(2).i32(3).i32(1).i32(2)
                   .str(QStringLiteral("old"))
                   .i32(2).i32(1).i32(2)
                   .i32(1)  // search-word number
                   .i32(4)  // texts
                   .stream();
    ASSERT_TRUE(e10.ReadFromStream(m10));
    EXPECT_EQ(e10.Data().search_word, QStringLiteral("one"));
    EXPECT_EQ(e10.Data().texts, 4);
    EXPECT_EQ(e10.Data().freqs, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(m10.Remaining(), 0);
}

TEST(Collocates, AnOlderSingleValueMovesIntoItsScoreSlot)
{
    // A version-13 list whose one row carries an older relationship value.
    TCollocateList src(nullptr, 0x70001);
    TCollocateEntryRec32 r;
    r.word = QStringLiteral("w");
    r.relationship = 7.25f;
    src.AddCollocate(r);
    src.SetVersionNumber(13);
    cv::TMemoryStream m;
    ASSERT_TRUE(static_cast<TCVBaseDataClass&>(src).TCVBaseDataClass::SaveToStream(m));
    m.SetPosition(0);
    TCollocateList back(nullptr, 0x70001);
    back.fCurrentStatistic = 2;
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.CollocateData(0).block.Score(2), 7.25f);
    EXPECT_EQ(back.CollocateData(0).relationship, 0.0f);
    EXPECT_TRUE(back.fAssociationPresent);
    // Before version 24 the headings are the standard ones for the span.
    EXPECT_EQ(back.ColumnCount(), TCollocateList::kStandardColumns + 11);
}

TEST(Collocates, DamagedEntriesAreRefused)
{
    TCollocateList list(nullptr, 0x70001);
    TCollocateEntryRec32 r;
    r.word = QStringLiteral("w");
    r.freqs = {1, 2};
    list.AddCollocate(r);
    const auto bytes = cvtest::StreamBytes(list);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        cv::TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        TCollocateList back(nullptr, 0x70001);
        EXPECT_FALSE(back.ReadFromStream(m)) << cut;
    }
}

TEST(Collocates, SortingByScoresNeedsScoresAndPositionsSortByTheirCounts)
{
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    TCollocateList list(nullptr, 0x70001);
    TCollocateEntryRec32 a, b;
    a.word = QStringLiteral("alpha");
    a.total = 1;
    a.freqs.assign(11, 0);
    a.freqs[10] = 5;
    b.word = QStringLiteral("beta");
    b.total = 9;
    b.freqs.assign(11, 0);
    list.AddCollocate(a);
    list.AddCollocate(b);
    list.CompleteResort(); // total, descending
    EXPECT_EQ(list.CollocateData(0).word, QStringLiteral("beta"));
    const int32_t before = list.SortLevel(0).key;
    list.Set1Sort(0, list.HeaderColumnToSortNeeded(4));
    EXPECT_EQ(list.SortLevel(0).key, before);
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    list.Set1Sort(0, list.HeaderColumnToSortNeeded(TCollocateList::kStandardColumns + 10));
    list.CompleteResort();
    EXPECT_EQ(list.CollocateData(0).word, QStringLiteral("alpha"));
}

TEST(Collocates, PercentagesCloudValuesAndColumnsBeforeThePositions)
{
    TCollocateList list(nullptr, 0x70001);
    TCollocateEntryRec32 a;
    a.word = QStringLiteral("w");
    a.total = 4;
    a.left = 1;
    a.right = 3;
    a.texts = 1;
    a.freqs = {0, 0, 0, 0, 1, 0, 3, 0, 0, 0, 0};
    a.block.SetScore(0, 1.5f);
    a.block.SetScore(1, 2.0f);
    list.AddCollocate(a);
    list.fShowAsPercentages = true;
    list.fTextCount = 4;
    EXPECT_DOUBLE_EQ(list.NumericalData(0, TCollocateList::kColTexts), 25.0);
    EXPECT_DOUBLE_EQ(list.NumericalData(0, TCollocateList::kColRight), 75.0);
    EXPECT_EQ(list.NumericalData(0, TCollocateList::kStandardColumns), TCollocateList::kZeroPercent);
    list.fShowAsPercentages = false;
    EXPECT_EQ(list.NumericalData(0, TCollocateList::kColRight), 3);
    list.SetCloudColumn(3);
    TWordFreqAndSourceNum d;
    list.GetNextCloudDatum(d);
    EXPECT_EQ(d.frequency, 150);
    list.GetNextCloudDatum(d);
    EXPECT_EQ(d.frequency, 0);
    EXPECT_EQ(list.CloudReadPosition(), -99);
    list.SetCloudReadPosition(0);
    list.SetCloudColumn(4);
    list.GetNextCloudDatum(d);
    EXPECT_EQ(d.frequency, 80);
}

TEST(Collocates, JoinedRowsShowLemmaTotals)
{
    TCollocateList list(nullptr, 0x70001);
    TCollocateEntryRec32 a, b;
    a.word = QStringLiteral("go");
    a.total = 2;
    a.left = 2;
    a.texts = 1;
    a.freqs = {1, 1};
    b.word = QStringLiteral("went");
    b.total = 3;
    b.right = 3;
    b.texts = 2;
    b.freqs = {0, 0, 3};
    list.AddCollocate(a);
    list.AddCollocate(b);
    ASSERT_EQ(list.JoinARange({0, 1}, false), 1);
    const auto& d = list.CollocateData(0);
    EXPECT_EQ(d.lemma_total, 5);
    EXPECT_EQ(d.lemma_left, 2);
    EXPECT_EQ(d.lemma_right, 3);
    EXPECT_EQ(d.lemma_texts, 2);
    EXPECT_EQ(d.lemma_freqs, (std::vector<int32_t>{1, 1, 3}));
    EXPECT_EQ(d.lemma_highest, 3);
    EXPECT_TRUE(list.fLemmaMode);
    EXPECT_EQ(list.NumericalData(0, TCollocateList::kColTotal), 5);
    EXPECT_EQ(list.LemmaListFromThisList(), QStringList{QStringLiteral("go -> went")});
}
