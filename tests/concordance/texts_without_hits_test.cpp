#include "concordance/texts_without_hits.h"
#include "conc_doc_testutil.h"

#include <gtest/gtest.h>

using cv::TUnusedFileList;
using cv::TUnusedFileRec;
using cvtest::LEBytes;

namespace {

TUnusedFileRec Rec(const QString& name, int32_t words, double date = 45000.5)
{
    TUnusedFileRec r;
    r.filename = name;
    r.wordcount = words;
    r.Juliandate = date;
    return r;
}

} // namespace

TEST(UnusedFileList, EmptyListIsMarkerAndVersionAndReadsBackEmpty)
{
    TUnusedFileList l;
    const auto bytes = cvtest::StreamBytes(l);
    EXPECT_EQ(bytes, LEBytes().i32(2147483647).i32(1).b);

    TUnusedFileList back;
    back.Add(Rec(QStringLiteral("stale"), 1));
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.Count(), 0);
    EXPECT_EQ(back.fversion_num, 1);
}

TEST(UnusedFileList, TwoEntriesStoreNegativeCountVersionFixedPartsAndNames)
{
    TUnusedFileList l;
    l.Add(Rec(QStringLiteral("/t/a.txt"), 120, 44000.25));
    l.Add(Rec(QStringLiteral("/t/b.txt"), 0, 0));
    const auto bytes = cvtest::StreamBytes(l);
    const auto expected = LEBytes()
                              .i32(-2)
                              .i32(1)
                              .f64(44000.25)
                              .i32(120)
                              .zeros(44)
                              .str(QStringLiteral("/t/a.txt"))
                              .f64(0)
                              .i32(0)
                              .zeros(44)
                              .str(QStringLiteral("/t/b.txt"))
                              .b;
    EXPECT_EQ(bytes, expected);

    TUnusedFileList back;
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Record(0), l.Record(0));
    EXPECT_EQ(back.Record(1), l.Record(1));
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);
}

TEST(UnusedFileList, OlderLayoutHasPositiveCountNoVersionNoNames)
{
    auto m = LEBytes().i32(2).f64(1.5).i32(7).zeros(44).f64(2.5).i32(9).zeros(44).stream();
    TUnusedFileList l;
    ASSERT_TRUE(l.ReadFromStream(m));
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l.fversion_num, 0);
    EXPECT_EQ(l.Record(0).wordcount, 7);
    EXPECT_EQ(l.Record(1).Juliandate, 2.5);
    EXPECT_TRUE(l.Record(1).filename.isEmpty());
    EXPECT_EQ(m.Remaining(), 0);
}

TEST(UnusedFileList, ShortOrImpossibleStreamsAreRefused)
{
    TUnusedFileList l;
    l.Add(Rec(QStringLiteral("/t/a.txt"), 3));
    const auto good = cvtest::StreamBytes(l);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        cv::TMemoryStream m(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        TUnusedFileList back;
        EXPECT_FALSE(back.ReadFromStream(m)) << "cut at " << cut;
    }
    // A count no stream could hold is refused before anything is made.
    auto huge = LEBytes().i32(-2000000000).i32(1).stream();
    TUnusedFileList back;
    EXPECT_FALSE(back.ReadFromStream(huge));
    EXPECT_EQ(back.Count(), 0);
    auto minimum = LEBytes().i32(std::numeric_limits<int32_t>::min()).i32(1).stream();
    EXPECT_FALSE(back.ReadFromStream(minimum));
}

TEST(UnusedFileList, FindsNamesIgnoringCaseAndSortsByName)
{
    TUnusedFileList l;
    l.Add(Rec(QStringLiteral("/T/Zebra.txt"), 1));
    l.Add(Rec(QStringLiteral("/t/apple.txt"), 2));
    l.Add(Rec(QStringLiteral("/t/Mango.txt"), 3));
    EXPECT_EQ(l.IndexOfAFilename(QStringLiteral("/t/zebra.TXT")), 0);
    EXPECT_EQ(l.IndexOfAFilename(QStringLiteral("/t/kiwi.txt")), -1);
    l.SortAlphabetically();
    EXPECT_EQ(l.Record(0).wordcount, 2);
    EXPECT_EQ(l.Record(1).wordcount, 3);
    EXPECT_EQ(l.Record(2).wordcount, 1);
    EXPECT_EQ(l.Record(5), TUnusedFileRec{});
}
