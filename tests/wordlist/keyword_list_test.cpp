// Key-word list storage: the 60-byte entry record, the list's block, its settings.

#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "wordlist/keyword_list.h"
#include "wordlist/word_list.h"

#include "support/le_bytes.h"

#include <gtest/gtest.h>

using namespace cv;
using cvtest::LEAt;

namespace {

TKeyWordEntry& AddKeyWord(TKeyWordList& l, const QString& word, float keyness)
{
    auto e = std::make_unique<TKeyWordEntry>(&l);
    e->fWord = word;
    e->SetKeyness(keyness);
    e->fData.Freq = 12;
    e->fData.Texts = 3;
    e->fData.P = 0.0001f;
    e->fData.SecondScore = 1.5f;
    e->fData.RefFreq = 40;
    e->fData.RefTexts = 9;
    e->fData.Percent = 0.5f;
    e->fData.RefPercent = 0.01f;
    e->fData.ThirdScore = 2.25f;
    e->fData.WordNumber = 7;
    TKeyWordEntry& ref = *e;
    l.Add(std::move(e));
    return ref;
}

TEST(KeyWordEntry, RecordFieldsSitAtTheirOffsets)
{
    TKeyWordList l(nullptr, kListKeyWords, 0x70000);
    TKeyWordEntry& e = AddKeyWord(l, QStringLiteral("rare"), -8.5f);
    EXPECT_TRUE(e.fData.Negative);
    TMemoryStream m;
    ASSERT_TRUE(e.SaveToStream(m));
    const std::vector<uint8_t>& b = m.Bytes();
    ASSERT_EQ(b.size(), std::size_t(TKeyWordRec::kRecordSize) + 4 + 4 * 2 + 2);
    EXPECT_EQ(LEAt<int32_t>(b, 0), 12);
    EXPECT_EQ(LEAt<int32_t>(b, 4), 3);
    EXPECT_EQ(LEAt<float>(b, 8), -8.5f);
    EXPECT_EQ(LEAt<float>(b, 12), 0.0001f);
    EXPECT_EQ(LEAt<float>(b, 16), 1.5f);
    EXPECT_EQ(LEAt<int32_t>(b, 20), 40);
    EXPECT_EQ(LEAt<int32_t>(b, 24), 9);
    EXPECT_EQ(b[28], 1);
    EXPECT_EQ(b[29] | b[30] | b[31], 0);
    EXPECT_EQ(LEAt<float>(b, 32), 0.5f);
    EXPECT_EQ(LEAt<float>(b, 36), 0.01f);
    EXPECT_EQ(LEAt<float>(b, 40), 2.25f);
    EXPECT_EQ(LEAt<int32_t>(b, 44), 7);
    EXPECT_EQ(LEAt<int32_t>(b, 48), 4); // the word's length; the word follows the record
    for (int k = 52; k < 60; ++k)
        EXPECT_EQ(b[std::size_t(k)], 0);
    EXPECT_EQ(LEAt<int32_t>(b, 60), 4);
    EXPECT_EQ(LEAt<char16_t>(b, 64), u'r');

    e.SetKeyness(3.0f);
    EXPECT_FALSE(e.fData.Negative);
}

TEST(KeyWordList, BlockRoundTripsWithStatisticsAndRefusesAMismatchedWord)
{
    TKeyWordList l(nullptr, kListKeyWords, 0x70000);
    AddKeyWord(l, QStringLiteral("alpha"), 20.0f);
    AddKeyWord(l, QStringLiteral("beta"), -3.0f);
    TStatsRec text;
    text.FileName = QStringLiteral("study.txt");
    text.TokensUsed = 900;
    l.fKWStats->AddText(text);
    l.fKWStats->RecomputeOverall();
    l.n_actually_obtained = 17;
    l.wds_considered_for_Dice = 120;
    l.DiceCoefficient = 0.375;
    TMemoryStream m;
    ASSERT_TRUE(l.SaveToStream(m));

    TKeyWordList back(nullptr, kListKeyWords, 0x70000);
    m.SetPosition(0);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(m.Position(), m.Size());
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Entry(1).fWord, QStringLiteral("beta"));
    EXPECT_EQ(back.Entry(1).fData, l.Entry(1).fData);
    EXPECT_EQ(back.n_actually_obtained, 17);
    EXPECT_EQ(back.wds_considered_for_Dice, 120);
    EXPECT_EQ(back.DiceCoefficient, 0.375);
    ASSERT_EQ(back.fKWStats->Count(), 2);
    EXPECT_EQ(back.fKWStats->Row(1)->Data().FileName, QStringLiteral("study.txt"));
    EXPECT_EQ(back.GreatestValue(), 20.0);
    EXPECT_EQ(back.LeastValue(), -3.0);

    // A length at byte 48 that is not the word's: damage.
    std::vector<uint8_t> bytes = m.Bytes();
    TMemoryStream probe;
    l.Entry(0).SaveToStream(probe);
    const auto at = std::search(bytes.begin(), bytes.end(), probe.Bytes().begin(), probe.Bytes().end());
    ASSERT_NE(at, bytes.end());
    at[48] = 9;
    TMemoryStream damaged(bytes);
    TKeyWordList refused(nullptr, kListKeyWords, 0x70000);
    EXPECT_FALSE(refused.ReadFromStream(damaged));

    l.ClearButNotGridHeadings();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.fKWStats->Count(), 0);
    EXPECT_EQ(l.GridHeadings(), StandardGridHeaderArray(kListKeyWords));
}

TEST(KeyWordList, RunningWordsOfAWordListGoIntoTheSettings)
{
    TKeyWordList l(nullptr, kListKeyWords, 0x70000);
    TCVWordList study(nullptr, kListWordList, 0x70000), reference(nullptr, kListWordList, 0x70000);
    study.ImportWords({{"a", 10}, {"b", 5}}, 0);
    reference.ImportWords({{"a", 1}}, 5000000000LL); // clamped to what the record holds
    reference.SetTotalTexts(40);
    l.GetRunningWordsIntoSettings(study, nullptr, 0);
    l.GetRunningWordsIntoSettings(reference, nullptr, 1);
    EXPECT_EQ(l.KWSettings.StudyRunningWords(), 15);
    EXPECT_EQ(l.KWSettings.StudyTextCount(), 1);
    EXPECT_EQ(l.KWSettings.ReferenceRunningWords(), 2147483647);
    EXPECT_EQ(l.KWSettings.ReferenceTextCount(), 40);
    EXPECT_FALSE(l.DetailsOfCurrentSettings().isEmpty());
}

} // namespace
