#include "concordance/marvex_filenames.h"
#include "conc_doc_testutil.h"
#include "support/test_support.h"

#include <QDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using cv::TMarvexFilenamelist;

namespace {

cv::TChosenTextRec Text(const QString& name, int64_t size = 100)
{
    cv::TChosenTextRec r;
    r.FullFilename = name;
    r.FileSize = size;
    r.FileTime = QDateTime(QDate(2020, 3, 14), QTime(12, 0), QTimeZone::utc());
    r.Status = 1;
    r.Kind = 2;
    return r;
}

} // namespace

TEST(MarvexFilenames, DayNumbersCountFrom30December1899)
{
    EXPECT_DOUBLE_EQ(cv::DayNumberFromDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc())), 0.0);
    EXPECT_DOUBLE_EQ(cv::DayNumberFromDateTime(QDateTime(QDate(1970, 1, 1), QTime(6, 0), QTimeZone::utc())), 25569.25);
    EXPECT_EQ(cv::DayNumberFromDateTime(QDateTime()), 0.0);
    const QDateTime t(QDate(2021, 7, 4), QTime(18, 30), QTimeZone::utc());
    EXPECT_EQ(cv::DateTimeFromDayNumber(cv::DayNumberFromDateTime(t)), t);
    EXPECT_FALSE(cv::DateTimeFromDayNumber(std::nan("")).isValid());
    EXPECT_FALSE(cv::DateTimeFromDayNumber(1e300).isValid());
}

TEST(MarvexFilenames, OriginalNumbersSurviveSortingAndRemoval)
{
    TMarvexFilenamelist l(nullptr, 0x70001);
    l.AddText(Text(QStringLiteral("/c/zeta.txt")), 0);
    l.AddText(Text(QStringLiteral("/c/alpha.txt")), 1);
    l.AddText(Text(QStringLiteral("/c/mid.txt")), 2);
    l.SetWords(0, 500);
    l.SetHits(1, 7);
    EXPECT_EQ(l.IndexOfOriginal(1), 1);

    l.Set1Sort(0, TMarvexFilenamelist::kSortShortName);
    l.CompleteResort();
    EXPECT_EQ(l.Record(0).ShortName(), QStringLiteral("alpha.txt"));
    EXPECT_EQ(l.IndexOfOriginal(0), 2);
    EXPECT_EQ(l.RecordByOriginal(0).Words, 500);
    EXPECT_EQ(l.RecordByOriginal(1).Hits, 7);
    EXPECT_EQ(l.IndexOfAFilename(QStringLiteral("/c/mid.txt")), 1);
    EXPECT_EQ(l.IndexOfAFilename(QStringLiteral("/c/MID.txt")), -1);

    l.Remove(0);
    EXPECT_EQ(l.IndexOfOriginal(1), -1);
    EXPECT_EQ(l.IndexOfOriginal(2), 0);
    EXPECT_EQ(l.IndexOfOriginal(99), -1);
    // An entry added after the table was built is found too.
    l.AddText(Text(QStringLiteral("/c/new.txt")), 7);
    EXPECT_EQ(l.IndexOfOriginal(7), 2);
    EXPECT_EQ((l.OriginalFilenumbers()), (std::vector<int32_t>{2, 0, 7}));
}

TEST(MarvexFilenames, StreamRoundTripAndTextsStillInPlace)
{
    cvtest::TempDir dir;
    const QString present = dir.write(QStringLiteral("here.txt"), "some words");
    TMarvexFilenamelist l(nullptr, 0x70001);
    l.AddText(Text(QStringLiteral("/nowhere/gone.txt")), 0);
    cv::TChosenTextRec z = Text(dir.file(QStringLiteral("corpus.zip")));
    z.ZipEntryName = QStringLiteral("inner/a.txt");
    l.AddText(z, 1);
    l.SetWords(1, -42);
    l.SetStillInConcordance(1, true);
    const auto bytes = cvtest::StreamBytes(l);

    TMarvexFilenamelist back(nullptr, 0x70001);
    auto m = cv::TMemoryStream(bytes);
    ASSERT_TRUE(back.ReadFromStream(m));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Record(0), l.Record(0));
    EXPECT_EQ(back.Record(1), l.Record(1));
    EXPECT_EQ(back.Record(1).DisplayName(), dir.file(QStringLiteral("corpus.zip")) + QStringLiteral("|inner/a.txt"));
    EXPECT_EQ(back.Record(1).ToChosenTextRec().ZipEntryName, QStringLiteral("inner/a.txt"));
    EXPECT_FALSE(back.fTextFilesStillInPlace);
    EXPECT_EQ(cvtest::StreamBytes(back), bytes);

    back.AddText(Text(present), 2);
    EXPECT_TRUE(back.CheckTextFilesStillInPlace());
}

TEST(MarvexFilenames, DamagedEntriesAreRefused)
{
    TMarvexFilenamelist l(nullptr, 0x70001);
    l.AddText(Text(QStringLiteral("/c/a.txt")), 0);
    auto bytes = cvtest::StreamBytes(l);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        cv::TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        TMarvexFilenamelist back(nullptr, 0x70001);
        EXPECT_FALSE(back.ReadFromStream(m)) << cut;
    }
    // Unknown flag bits in the last byte.
    bytes.back() = 0x80;
    cv::TMemoryStream m(bytes);
    TMarvexFilenamelist back(nullptr, 0x70001);
    EXPECT_FALSE(back.ReadFromStream(m));
}

TEST(MarvexFilenames, MergeAddsOnlyMissingTextsNumberedAfterOwn)
{
    TMarvexFilenamelist a(nullptr, 0x70001), b(nullptr, 0x70001);
    a.AddText(Text(QStringLiteral("/c/a.txt")), 0);
    a.AddText(Text(QStringLiteral("/c/b.txt")), 1);
    b.AddText(Text(QStringLiteral("/c/b.txt")), 0);
    b.AddText(Text(QStringLiteral("/c/c.txt")), 1);
    ASSERT_TRUE(a.MergeWith(b));
    ASSERT_EQ(a.Count(), 3);
    EXPECT_EQ(a.Record(2).FullFilename, QStringLiteral("/c/c.txt"));
    EXPECT_EQ(a.Record(2).OriginalFilenumber, 2);
    EXPECT_FALSE(a.MergeWith(a));
    auto copy = a.CreateCopy();
    EXPECT_EQ(copy->Count(), 3);
    EXPECT_EQ(copy->RecordByOriginal(2), a.Record(2));
}
