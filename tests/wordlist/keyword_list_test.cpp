// Key-word list storage: the entry record (both layouts), the list's block, its settings.

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
    // Frequencies beyond 32 bits keep every bit.
    e.fData.Freq = 4718592000LL;
    e.fData.RefFreq = 0x123456789ALL;
    TMemoryStream m;
    ASSERT_TRUE(e.SaveToStream(m));
    const std::vector<uint8_t>& b = m.Bytes();
    ASSERT_EQ(b.size(), std::size_t(TKeyWordRec::kRecordSize) + 4 + 4 * 2 + 2);
    EXPECT_EQ(LEAt<int64_t>(b, 0), 4718592000LL);
    EXPECT_EQ(LEAt<int32_t>(b, 8), 3);
    EXPECT_EQ(LEAt<float>(b, 12), -8.5f);
    EXPECT_EQ(LEAt<float>(b, 16), 0.0001f);
    EXPECT_EQ(LEAt<float>(b, 20), 1.5f);
    EXPECT_EQ(LEAt<int64_t>(b, 24), 0x123456789ALL);
    EXPECT_EQ(LEAt<int32_t>(b, 32), 9);
    EXPECT_EQ(b[36], 1);
    EXPECT_EQ(b[37] | b[38] | b[39], 0);
    EXPECT_EQ(LEAt<float>(b, 40), 0.5f);
    EXPECT_EQ(LEAt<float>(b, 44), 0.01f);
    EXPECT_EQ(LEAt<float>(b, 48), 2.25f);
    EXPECT_EQ(LEAt<int32_t>(b, 52), 7);
    EXPECT_EQ(LEAt<int32_t>(b, 56), 4); // the word's length; the word follows the record
    for (int k = 60; k < 68; ++k)
        EXPECT_EQ(b[std::size_t(k)], 0);
    EXPECT_EQ(LEAt<int32_t>(b, 68), 4);
    EXPECT_EQ(LEAt<char16_t>(b, 72), u'r');

    m.SetPosition(0);
    TKeyWordEntry back(&l);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.fData, e.fData);

    e.SetKeyness(3.0f);
    EXPECT_FALSE(e.fData.Negative);
}

TEST(KeyWordEntry, ListsOfTheFirstVersionHold32BitFrequencies)
{
    // The 60-byte record lists of version 1 were saved with.
    TMemoryStream m;
    ASSERT_TRUE(m.WriteI32(12) && m.WriteI32(3) && m.WriteF32(-8.5f) && m.WriteF32(0.0001f) && m.WriteF32(1.5f)
                && m.WriteI32(40) && m.WriteI32(9) && m.WriteBool(true) && m.WriteZeros(3) && m.WriteF32(0.5f)
                && m.WriteF32(0.01f) && m.WriteF32(2.25f) && m.WriteI32(7) && m.WriteI32(4) && m.WriteZeros(8)
                && WriteAString(m, QStringLiteral("rare")));
    TKeyWordList older(nullptr, kListKeyWords, 0x70000);
    older.SetVersionNumber(1);
    TKeyWordList newer(nullptr, kListKeyWords, 0x70000);
    const TKeyWordRec expected = AddKeyWord(newer, QStringLiteral("rare"), -8.5f).fData;
    m.SetPosition(0);
    TKeyWordEntry read(&older);
    ASSERT_TRUE(read.ReadFromStream(m));
    EXPECT_EQ(m.Position(), m.Size());
    EXPECT_EQ(read.fData, expected);
    EXPECT_EQ(read.fWord, QStringLiteral("rare"));
    // The same bytes are no record of today's layout.
    m.SetPosition(0);
    TKeyWordEntry misread(&newer);
    EXPECT_FALSE(misread.ReadFromStream(m));

    // A negative frequency is damage in either layout.
    TKeyWordList l(nullptr, kListKeyWords, 0x70000);
    AddKeyWord(l, QStringLiteral("odd"), 2.0f).fData.RefFreq = -1;
    TMemoryStream negative;
    ASSERT_TRUE(l.Entry(0).SaveToStream(negative));
    negative.SetPosition(0);
    TKeyWordEntry refused(&l);
    EXPECT_FALSE(refused.ReadFromStream(negative));
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

    // A length at byte 56 that is not the word's: damage.
    std::vector<uint8_t> bytes = m.Bytes();
    TMemoryStream probe;
    l.Entry(0).SaveToStream(probe);
    const auto at = std::search(bytes.begin(), bytes.end(), probe.Bytes().begin(), probe.Bytes().end());
    ASSERT_NE(at, bytes.end());
    at[56] = 9;
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
    reference.ImportWords({{"a", 1}}, 5000000000LL); // clamped to what the record's 32-bit field holds
    reference.SetTotalTexts(40);
    l.GetRunningWordsIntoSettings(study, nullptr, 0);
    l.GetRunningWordsIntoSettings(reference, nullptr, 1);
    EXPECT_EQ(l.KWSettings.StudyRunningWords(), 15);
    EXPECT_EQ(l.KWSettings.StudyTextCount(), 1);
    EXPECT_EQ(l.KWSettings.ReferenceRunningWords(), 2147483647);
    EXPECT_EQ(l.KWSettings.ReferenceTextCount(), 40);
    EXPECT_FALSE(l.DetailsOfCurrentSettings().isEmpty());
    // ... and kept in full beside it, which the notes show.
    EXPECT_EQ(l.KWSettings.RunningWords(0), 15);
    EXPECT_EQ(l.KWSettings.RunningWords(1), 5000000000LL);
    EXPECT_TRUE(l.DetailsOfCurrentSettings().join(u'\n').contains(QStringLiteral("(5000000000 running words, 40 texts)")));
    // A record from before the full fields gives the 32-bit ones.
    l.KWSettings.SetStudyRunningWordsInFull(0);
    EXPECT_EQ(l.KWSettings.RunningWords(0), 15);
}

} // namespace
