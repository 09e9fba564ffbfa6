#include "suite/settings_records.h"

#include "support/le_bytes.h"

#include <gtest/gtest.h>

namespace {

// The fields at an offset, as other programs and old files see them.
template <typename Rec>
uint8_t byteAt(const Rec& r, std::size_t offset)
{
    return cvtest::LEAt<uint8_t>(r.Bytes(), offset);
}

template <typename Rec>
int32_t int32At(const Rec& r, std::size_t offset)
{
    return cvtest::LEAt<int32_t>(r.Bytes(), offset);
}

} // namespace

TEST(SettingsRecords, KeyWordFieldsSitAtTheirFixedOffsets)
{
    cv::TKeyWordsSettingsRec k;
    k.SetMinFrequency(0x0102);
    k.SetStudyRunningWords(123456);
    k.SetMaxLinkSpan(7);
    k.SetTwoWay(true);
    k.SetMatchPercentage(49);
    k.SetSourceTextName(QStringLiteral("S"));
    k.SetReferenceListName(QStringLiteral("R"));
    EXPECT_EQ(byteAt(k, 1044), 0x02);
    EXPECT_EQ(byteAt(k, 1045), 0x01);
    EXPECT_EQ(int32At(k, 1052), 123456);
    EXPECT_EQ(int32At(k, 1080), 7);
    EXPECT_EQ(byteAt(k, 1580), 1);
    EXPECT_EQ(int32At(k, 1596), 49);
    EXPECT_EQ(byteAt(k, 1620), 'S');
    EXPECT_EQ(byteAt(k, 2142), 'R');
    // The last field ends exactly at the end of the record and stays terminated.
    k.SetReferenceListName(QString(400, QChar('x')));
    EXPECT_EQ(k.ReferenceListName().size(), 260);
    EXPECT_EQ(byteAt(k, 2662), 0);
    EXPECT_EQ(byteAt(k, 2663), 0);
}

TEST(SettingsRecords, KeyWordStudyNamesKeepAtMost222Characters)
{
    cv::TKeyWordsSettingsRec k;
    k.SetPlotKeynessFromSecondScore(true);
    k.SetStudyListNames(QString(300, QChar('n')));
    EXPECT_EQ(k.StudyListNames().size(), 222);
    EXPECT_TRUE(k.PlotKeynessFromSecondScore()) << "the names must not run into byte 1530";
}

TEST(SettingsRecords, KeyWordLanguageAndLinkBlocksCopyWhole)
{
    auto text = cv::TTextSettings::Defaults();
    text.SetLanguageId(0x0407);
    text.SetLanguageName(QStringLiteral("German (Germany)"));
    cv::TKeyWordsSettingsRec k;
    k.SetLanguageBlock(text.LanguageBlock());
    EXPECT_EQ(k.LanguageId(), 0x0407u);
    EXPECT_EQ(k.LanguageName(), QStringLiteral("German (Germany)"));
    EXPECT_EQ(k.MaxPValue(), 0.0f) << "the language block stops at byte 1040";

    cv::TKeyWordsSettingsRec other;
    other.SetMinLinkClusterFrequency(4);
    other.SetMaxLinkSpan(9);
    other.SetMatchPercentage(77);
    k.CopyLinkBlockFrom(other);
    EXPECT_EQ(k.MinLinkClusterFrequency(), 4);
    EXPECT_EQ(k.MaxLinkSpan(), 9);
    EXPECT_EQ(k.MatchPercentage(), 0) << "only bytes 1060..1083 are copied";
}

TEST(SettingsRecords, ConcordanceFieldsSitAtTheirFixedOffsets)
{
    cv::TConcSettingsRec32 c;
    c.SetSearchWord(QStringLiteral("ab"));
    c.SetEntriesWantedPerSw(2147483647);
    c.SetRunningTotal(660);
    c.SetCollocHorizonLeft(4);
    c.SetCollocHorizonRight(6);
    c.SetPunctuationBarrier(3);
    c.SetClusterLengthMin(2);
    c.SetStoredFormatLevel(3);
    c.SetPlotRowsBySearchWord(true);
    c.SetColouringOptions(5);
    EXPECT_EQ(byteAt(c, 0), 'a');
    EXPECT_EQ(byteAt(c, 2), 'b');
    EXPECT_EQ(int32At(c, 648), 2147483647);
    EXPECT_EQ(int32At(c, 660), 660);
    EXPECT_EQ(byteAt(c, 1704), 4);
    EXPECT_EQ(byteAt(c, 1706), 6);
    EXPECT_EQ(byteAt(c, 1737), 3);
    EXPECT_EQ(byteAt(c, 1758), 2);
    EXPECT_EQ(byteAt(c, 1763), 3);
    EXPECT_EQ(byteAt(c, 1782), 1);
    EXPECT_EQ(byteAt(c, 1792), 5);
    c.SetSearchWord(QString(200, QChar('w')));
    EXPECT_EQ(c.SearchWord().size(), 80);
    EXPECT_EQ(c.LastWordGap(), 0) << "our own fields start after the search word";
}

TEST(SettingsRecords, IndexFieldsSitAtTheirFixedOffsets)
{
    cv::TWordlist_index_settings_rec r;
    r.SetStopAt(6);
    r.SetOmitNumbers(true);
    r.SetRelationSpan(8);
    r.SetThreshold(cv::TWordlist_index_settings_rec::kDeltaPB, 1.5f);
    r.SetRelationMinTexts(11);
    r.SetClusterSizeMin(3);
    r.SetClusterSizeMax(12);
    r.SetComputeDispersion(true);
    r.SetMinShowFrequency(3);
    r.SetBatchProcessing(true);
    EXPECT_EQ(byteAt(r, 3033), 6);
    EXPECT_EQ(byteAt(r, 3035), 1);
    EXPECT_EQ(int32At(r, 3048), 8);
    const float f = cvtest::LEAt<float>(r.Bytes(), 3060 + 40);
    EXPECT_EQ(f, 1.5f) << "the eleventh threshold ends where the minimum texts begin";
    EXPECT_EQ(int32At(r, 3128), 11);
    EXPECT_EQ(int32At(r, 3244), 3);
    EXPECT_EQ(int32At(r, 3260), 12);
    EXPECT_EQ(byteAt(r, 3269), 1);
    EXPECT_EQ(int32At(r, 3276), 3);
    EXPECT_EQ(byteAt(r, 3285), 1);
    r.SetThreshold(11, 9.0f); // out of range: ignored
    EXPECT_EQ(r.RelationMinTexts(), 11);
}

TEST(SettingsRecords, ClipboardBytesFollowTheDialogOrder)
{
    cv::TCVClipboardSettings c;
    c.SetPictureOfSelection(true);
    c.SetNumberColumn(true);
    EXPECT_EQ(byteAt(c, 0), 0);
    EXPECT_EQ(byteAt(c, 1), 1);
    EXPECT_EQ(byteAt(c, 2), 0);
    EXPECT_EQ(byteAt(c, 3), 1);
    static_assert(cv::TCVClipboardSettings::kSize == 24 && cv::TWordlistSettingsRec::kSize == 24);
}

TEST(SettingsRecords, DefaultsSuitAnEnglishCorpus)
{
    const auto k = cv::TKeyWordsSettingsRec::Defaults();
    EXPECT_EQ(k.LanguageName(), QStringLiteral("English"));
    EXPECT_GT(k.MaxPValue(), 0.0f);
    EXPECT_LT(k.MaxPValue(), 0.05f);
    EXPECT_GE(k.MinFrequency(), 1);
    EXPECT_LE(k.MinLinkSpan(), k.MaxLinkSpan());

    const auto c = cv::TConcSettingsRec32::Defaults();
    EXPECT_GT(c.EntriesWantedPerSw(), 0);
    EXPECT_LE(c.ClusterLengthMin(), c.ClusterLengthMax());
    EXPECT_GT(c.CharactersPerLine(), 2 * 50);

    const auto r = cv::TWordlist_index_settings_rec::Defaults();
    EXPECT_LE(r.ClusterSizeMin(), r.ClusterSizeMax());
    EXPECT_TRUE(r.ComputeDispersion());
    EXPECT_GE(r.RelationSpan(), 1);

    const auto g = cv::TGeneralSettingsRec::Defaults();
    EXPECT_TRUE(g.TagBit(cv::TGeneralSettingsRec::kCarryoutBitsOffset, TagOf(cv::TMenuCommand::ShrinkCurrentRow)));
    EXPECT_FALSE(g.TagBit(cv::TGeneralSettingsRec::kMenuCheckedBitsOffset, TagOf(cv::TMenuCommand::TypeIn)));
}

TEST(SettingsRecords, GeneralBitsAndToolBytesStayInTheirTables)
{
    auto g = cv::TGeneralSettingsRec::Defaults();
    g.SetTagBit(cv::TGeneralSettingsRec::kMenuCheckedBitsOffset, 255, true);
    g.SetTagBit(cv::TGeneralSettingsRec::kMenuCheckedBitsOffset, 256, true); // outside: ignored
    g.SetTagBit(cv::TGeneralSettingsRec::kMenuCheckedBitsOffset, -1, true);
    g.SetToolByte(cv::TGeneralSettingsRec::kFastMinimalOffset, 31, 1);
    g.SetToolByte(cv::TGeneralSettingsRec::kFastMinimalOffset, 32, 1);
    g.SetShortcut(224, 0x2041);
    g.SetShortcut(225, 0x1234);
    EXPECT_TRUE(g.TagBit(cv::TGeneralSettingsRec::kMenuCheckedBitsOffset, 255));
    EXPECT_FALSE(g.TagBit(cv::TGeneralSettingsRec::kPopupInUseBitsOffset, 0)) << "the next table starts clean";
    EXPECT_EQ(g.ToolByte(cv::TGeneralSettingsRec::kFastMinimalOffset, 31), 1);
    EXPECT_EQ(g.ToolByte(cv::TGeneralSettingsRec::kUseUserFilterOffset, 0), 0);
    EXPECT_EQ(g.Shortcut(224), 0x2041);
    EXPECT_EQ(g.Shortcut(225), 0);
}
