#include "concordance/tell_marvex.h"
#include "model/stats_list.h"
#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "support/test_support.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using cv::TTellMarvexList;

TEST(TellMarvex, RequestFileIsNamedFromBothToolsAndReadsBack)
{
    cvtest::TempDir dir;
    const QString text = dir.write(QStringLiteral("t1.txt"), "words");
    TTellMarvexList out(cv::kToolWordList, cv::kToolConcordance);
    out.SetCollocHorizons({3, 7});
    out.AddText({text, QString()});
    out.AddText({dir.file(QStringLiteral("c.zip")), QStringLiteral("a.txt")});
    out.AddRequest(QStringLiteral("house"), 12, 3, {{0, 5}, {1, 900}});
    out.AddRequest(QStringLiteral("home"), 2, 1);
    ASSERT_TRUE(out.SavedToTempfile(dir.path()));
    const QString file = out.TempFilename(dir.path());
    EXPECT_EQ(QFileInfo(file).fileName(),
              cv::Tool_Name(cv::kToolWordList) + QLatin1Char('_') + cv::Tool_Name(cv::kToolConcordance)
                  + QStringLiteral(".tell_marvex"));

    TTellMarvexList in(cv::kToolWordList, cv::kToolConcordance);
    QString error;
    ASSERT_TRUE(in.LoadedFromTempfile(dir.path(), &error)) << error.toStdString();
    EXPECT_EQ(in.CollocHorizons(), (cv::Tdouble_smallint_type{3, 7}));
    EXPECT_EQ(in.Texts(), out.Texts());
    ASSERT_EQ(in.Count(), 2);
    EXPECT_EQ(in.Item(0)->Word, QStringLiteral("house"));
    EXPECT_EQ(in.Item(0)->ExpectedFrequency, 12);
    EXPECT_EQ(in.Item(0)->ExpectedTexts, 3);
    EXPECT_EQ(in.Item(0)->Positions, (std::vector<cv::TMarvexPosition>{{0, 5}, {1, 900}}));
    EXPECT_TRUE(in.Item(1)->Positions.empty());
    // One listed text exists; the zip does not.
    EXPECT_EQ(in.CheckWhetherAllFilesExist(), 1);
}

TEST(TellMarvex, NoTextsMeansNoRequest)
{
    TTellMarvexList l(cv::kToolWordList, cv::kToolConcordance);
    EXPECT_EQ(l.CheckWhetherAllFilesExist(), -1);
    l.AddText({QStringLiteral("/nowhere/x.txt"), QString()});
    EXPECT_EQ(l.CheckWhetherAllFilesExist(), 0);
    l.AddRequest(QStringLiteral("w"), 1, 1);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.CheckWhetherAllFilesExist(), -1);
}

TEST(TellMarvex, TakesTheTextsOfAStatisticsListWithoutItsOverallRow)
{
    cv::TCVStatsList stats(nullptr, 0x70000);
    stats.Overall();
    cv::TStatsRec r;
    r.Folder = QStringLiteral("/corpus");
    r.FileName = QStringLiteral("one.txt");
    stats.AddText(r);
    r.FileName = QStringLiteral("two.zip");
    r.ZipEntryName = QStringLiteral("in/two.txt");
    stats.AddText(r);
    TTellMarvexList l(cv::kToolWordList, cv::kToolConcordance);
    l.TakeTexts(stats);
    ASSERT_EQ(l.Texts().size(), 2u);
    EXPECT_EQ(l.Texts()[0].FullFilename, QStringLiteral("/corpus/one.txt"));
    EXPECT_EQ(l.Texts()[1].ZipEntryName, QStringLiteral("in/two.txt"));
}

TEST(TellMarvex, ARequestForOtherToolsOrDamagedKeepsWhatTheListHeld)
{
    TTellMarvexList out(cv::kToolKeyWords, cv::kToolConcordance);
    out.SetCollocHorizons({1, 1});
    out.AddText({QStringLiteral("/a.txt"), QString()});
    out.AddRequest(QStringLiteral("w"), 1, 1, {{0, 3}});
    cv::TMemoryStream m;
    ASSERT_TRUE(out.SaveToStream(m));
    const auto bytes = m.Bytes();

    TTellMarvexList in(cv::kToolWordList, cv::kToolConcordance);
    in.SetCollocHorizons({4, 4});
    in.AddText({QStringLiteral("/kept.txt"), QString()});
    cv::TMemoryStream other(bytes);
    EXPECT_FALSE(in.ReadRequest(other));
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        TTellMarvexList same(cv::kToolKeyWords, cv::kToolConcordance);
        same.AddText({QStringLiteral("/kept.txt"), QString()});
        cv::TMemoryStream part(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        EXPECT_FALSE(same.ReadRequest(part)) << cut;
        ASSERT_EQ(same.Texts().size(), 1u);
        EXPECT_EQ(same.Texts()[0].FullFilename, QStringLiteral("/kept.txt"));
    }
    EXPECT_EQ(in.CollocHorizons(), (cv::Tdouble_smallint_type{4, 4}));
    EXPECT_EQ(in.Texts()[0].FullFilename, QStringLiteral("/kept.txt"));
}
