#include "concordance/patterns_clusters.h"
#include "conc_doc_testutil.h"
#include "model/corvantis_holder.h"

#include <gtest/gtest.h>

using namespace cv;
using cvtest::LEBytes;

namespace {

TConcSettingsRec32 Settings(int minLength, int minFreq)
{
    TConcSettingsRec32 s = TConcSettingsRec32::Defaults();
    s.SetMinCollocateLength(uint8_t(minLength));
    s.SetMinCollocateFrequency(int16_t(minFreq));
    return s;
}

// A document whose language and width the lists ask for.
class TDoc final : public TCorvantisholder {
public:
    explicit TDoc(const QString& collation = QStringLiteral("en_GB"))
        : TCorvantisholder(Settings(collation), kListConcordance, nullptr, nullptr, false, false)
    {
    }
    static TTextSettings Settings(const QString& collation)
    {
        TTextSettings t = TTextSettings::Defaults();
        t.SetCollationName(collation);
        return t;
    }
};

} // namespace

TEST(PatternTree, KeepsWordsLongerThanTheMinimumAndAsFrequentAsRequired)
{
    TPatternTree tree(Settings(3, 2), false, 49);
    for (const char* w : {"the", "the", "cats", "cats", "cats", "dogs", "a", "a"})
        tree.AddWord(QString::fromLatin1(w));
    tree.Collect();
    // "the" has exactly the minimum length and is left out; "dogs" is seen once.
    ASSERT_EQ(tree.fFreqList.size(), 1u);
    EXPECT_EQ(tree.fFreqList[0].w, QStringLiteral("cats"));
    EXPECT_EQ(tree.fFreqList[0].freq, 3);
    EXPECT_EQ(tree.Span(), 49);
}

TEST(PatternEntry, StreamRoundTripAndOlderRowsWithoutSearchWordNumber)
{
    TDoc doc;
    TPatternsList list(&doc, 0x70001);
    TPatternEntryRec r;
    for (int i = 0; i < kPatternPositions; ++i) {
        r.freqs[size_t(i)] = 10 + i;
        r.words[size_t(i)] = QStringLiteral("w%1").arg(i);
    }
    r.words[3].clear();
    r.sw_number = 2;
    list.AddRow(r);
    const auto bytes = cvtest::StreamBytes(list);
    TPatternsList back(&doc, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.PatternData(0), r);
    EXPECT_EQ(back.LeastValue(), 10);
    EXPECT_EQ(back.GreatestValue(), 20);
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);

    // Version 10 rows end after the words.
    TPatternsList old(&doc, 0x70001);
    old.SetVersionNumber(10);
    TPatternEntry e(&old);
    LEBytes b;
    for (int i = 0; i < kPatternPositions; ++i)
        b.i32(i);
    for (int i = 0; i < kPatternPositions; ++i)
        b.str(QStringLiteral("x"));
    b.i32(777); // belongs to whatever follows
    auto om = b.stream();
    ASSERT_TRUE(e.ReadFromStream(om));
    EXPECT_EQ(e.Data().sw_number, 0);
    EXPECT_EQ(om.Remaining(), 4);
}

TEST(PatternEntry, ColumnsMapToPositionsAndMirrorForRightToLeftLanguages)
{
    TDoc ltr;
    TPatternsList l(&ltr, 0x70001);
    TPatternEntryRec r;
    for (int i = 0; i < kPatternPositions; ++i) {
        r.words[size_t(i)] = QStringLiteral("p%1").arg(45 + i);
        r.freqs[size_t(i)] = 45 + i;
    }
    l.AddRow(r);
    EXPECT_EQ(l.Entry(0)->GetAWordAsString(1), QStringLiteral("p46"));
    EXPECT_EQ(l.Entry(0)->GetAWordAsString(5), QStringLiteral("p50"));
    EXPECT_EQ(l.NumericalData(0, 10), 55);
    EXPECT_EQ(l.NumericalData(0, 0), 1);
    l.SetCloudColumn(5);
    TWordFreqAndSourceNum d;
    l.GetOneCloudDatum(0, d);
    EXPECT_EQ(d.word, QStringLiteral("p50"));
    EXPECT_EQ(d.frequency, 50);
    EXPECT_EQ(d.number, 1);

    TDoc rtl(QStringLiteral("ar_EG"));
    TPatternsList m(&rtl, 0x70001);
    m.AddRow(r);
    EXPECT_EQ(m.Entry(0)->GetAWordAsString(1), QStringLiteral("p54"));
    m.Entry(0)->SetAWordAsString(0, QStringLiteral("changed"));
    EXPECT_EQ(m.PatternData(0).words[10], QStringLiteral("changed"));
}

TEST(ConcordanceClusters, TreeCountsAndKeepsFrequentClusters)
{
    TConcordanceClusterTree tree(2);
    tree.AddCluster(QStringLiteral("in the end"), 3);
    tree.AddCluster(QStringLiteral("at the end"), 3);
    tree.AddCluster(QStringLiteral("in the end"), 3);
    tree.AddCluster(QStringLiteral("in the end"), 3);
    tree.Collect();
    EXPECT_EQ(tree.max_found, 3);
    ASSERT_EQ(tree.fFreqList.size(), 1u);
    EXPECT_EQ(tree.fFreqList[0].line, QStringLiteral("in the end"));
    EXPECT_EQ(tree.fFreqList[0].frequency, 3);
}

TEST(ConcordanceClusters, LengthCountsWordsBetweenSingleBlanks)
{
    TConcordanceClusterList l(nullptr, 0x70001);
    l.AddCluster({5, 0, QStringLiteral("one two three four"), QString()});
    l.AddCluster({2, 0, QStringLiteral("  lone  "), QString()});
    l.SetClusterLengths();
    EXPECT_EQ(l.ClusterData(0).cluster_length, 4);
    EXPECT_EQ(l.ClusterData(1).cluster_length, 1);
    EXPECT_EQ(l.NumericalData(0, 4), 4);
    EXPECT_EQ(l.NumericalData(0, 2), 5);
    EXPECT_EQ(l.NumericalData(0, 3), 1.0);
}

TEST(ConcordanceClusters, StreamRoundTripAndVersion10WithoutLengthOrRelated)
{
    TConcordanceClusterList l(nullptr, 0x70001);
    l.AddCluster({4, 2, QStringLiteral("of the"), QStringLiteral("of the world (2)")});
    l.AddCluster({2, 3, QStringLiteral("of the world"), QStringLiteral("of the (4)")});
    const auto bytes = cvtest::StreamBytes(l);
    TConcordanceClusterList back(nullptr, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.ClusterData(1), l.ClusterData(1));
    EXPECT_EQ(back.GreatestValue(), 4);
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);

    TConcordanceClusterList old(nullptr, 0x70001);
    old.SetVersionNumber(10);
    TConcordanceClusterEntry e(&old);
    auto om = LEBytes().i32(6).str(QStringLiteral("a b c")).stream();
    ASSERT_TRUE(e.ReadFromStream(om));
    EXPECT_EQ(e.Data().frequency, 6);
    EXPECT_EQ(e.Data().cluster_length, 0);
    EXPECT_TRUE(e.Data().related_line.isEmpty());
}

TEST(ConcordanceClusters, SortsByFrequencyThenByColumnKeys)
{
    TConcordanceClusterList l(nullptr, 0x70001);
    l.AddCluster({1, 2, QStringLiteral("b c"), QString()});
    l.AddCluster({9, 3, QStringLiteral("a b c"), QString()});
    l.AddCluster({1, 2, QStringLiteral("a b"), QString()});
    l.CompleteResort();
    EXPECT_EQ(l.ClusterData(0).line, QStringLiteral("a b c"));
    EXPECT_EQ(l.ClusterData(1).line, QStringLiteral("a b"));
    l.Set1Sort(0, l.HeaderColumnToSortNeeded(4));
    l.SetSortAscending(0, true);
    l.CompleteResort();
    EXPECT_EQ(l.ClusterData(2).line, QStringLiteral("a b c"));
    EXPECT_EQ(l.HeaderColumnToSortNeeded(5), TConcordanceClusterList::kSortRelated);
    EXPECT_EQ(l.HeaderColumnToSortNeeded(3), TConcordanceClusterList::kSortSet);
}

TEST(MergeRecords, IndexOfN)
{
    TConcEntryMergeRecList l;
    l.Add({3, QStringLiteral("/a.txt"), QStringLiteral("w")});
    l.Add({7, QStringLiteral("/b.txt"), QStringLiteral("v")});
    EXPECT_EQ(l.IndexOfN(7), 1);
    EXPECT_EQ(l.IndexOfN(4), -1);
    l.Clear();
    EXPECT_EQ(l.IndexOfN(3), -1);
}
