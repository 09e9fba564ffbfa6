#include "suite/search_items.h"

#include "suite/cv_stream.h"
#include "suite/text_settings.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using cv::TMemoryStream;
using cv::TSearch_word_format_rec;
using cv::TSearchWordItems;

TEST(SearchItems, SeveralWordsAreAddedOnceEach)
{
    TSearchWordItems items;
    EXPECT_EQ(items.AddedSearchWords(QStringLiteral("house / Home*/ /HOUSE")), 2);
    EXPECT_EQ(items.TypedSearchWords(), (QStringList{QStringLiteral("house"), QStringLiteral("Home*")}));
    EXPECT_EQ(items.PlainSearchWords(), (QStringList{QStringLiteral("house"), QStringLiteral("Home")}));
    EXPECT_EQ(items.AddedSearchWords(QStringLiteral("home*")), 0);
    EXPECT_EQ(items.IndexOf(QStringLiteral("  HOME*")), 1);

    TSearchWordItems sensitive;
    sensitive.SetCaseSensitive(true);
    EXPECT_EQ(sensitive.AddedSearchWords(QStringLiteral("house/HOUSE")), 2);
    EXPECT_EQ(sensitive.PlannedCount(), 2);
}

TEST(SearchItems, OnlyWildcardsAndNoWordAreRefusedWithAReason)
{
    TSearchWordItems items;
    QStringList why;
    EXPECT_EQ(items.AddedSearchWords(QStringLiteral("*/? */cat/!!"), &why), 1);
    ASSERT_EQ(why.size(), 3);
    EXPECT_TRUE(why[0].contains(QStringLiteral("\"*\"")) && why[0].contains(QStringLiteral("only wildcards")));
    EXPECT_TRUE(why[1].contains(QStringLiteral("\"? *\"")));
    EXPECT_TRUE(why[2].contains(QStringLiteral("no word or tag")));
    QString one;
    EXPECT_FALSE(items.InsertSearchWord(0, QStringLiteral("**"), &one));
    EXPECT_FALSE(one.isEmpty());
    EXPECT_EQ(items.Count(), 1);
    // A wildcard word inside a phrase is fine: it stands for any one word.
    EXPECT_EQ(items.AddedSearchWords(QStringLiteral("the * of")), 1);
}

TEST(SearchItems, ParsedFormsAndModes)
{
    TSearch_word_format_rec rec;
    ASSERT_TRUE(TSearch_word_format_rec::Parse(QStringLiteral("  <head>  colo?r,  now. "), cv::TWordRules(), rec, nullptr));
    EXPECT_EQ(rec.Typed(), QStringLiteral("<head> colo?r, now."));
    EXPECT_EQ(rec.Plain(), QStringLiteral("<head> color, now."));
    EXPECT_EQ(rec.ModeByte(), TSearch_word_format_rec::kWildcard | TSearch_word_format_rec::kPhrase
                                  | TSearch_word_format_rec::kTag | TSearch_word_format_rec::kPunctuation);
    const auto& p = rec.Pattern();
    ASSERT_EQ(p.elements.size(), 3u);
    EXPECT_TRUE(p.elements[0].tag);
    EXPECT_EQ(p.elements[2].punctBefore, u",");
    EXPECT_EQ(p.trailingPunct, u".");
}

TEST(SearchItems, TextSettingsBringLanguageRulesAndTagBlanking)
{
    auto settings = cv::TTextSettings::Defaults();
    settings.SetHyphensSeparateWords(true);
    settings.SetBlankTagsInSearch(true);
    settings.SetCollationName(QStringLiteral("tr_TR"));
    TSearchWordItems items;
    items.AddedSearchWords(QStringLiteral("well-known"));
    EXPECT_FALSE(items.Item(0).ModeByte() & TSearch_word_format_rec::kPhrase);
    items.TakeTextSettings(settings);
    EXPECT_TRUE(items.Item(0).ModeByte() & TSearch_word_format_rec::kPhrase);
    EXPECT_TRUE(items.BlankTags());
    EXPECT_EQ(items.Language(), QStringLiteral("tr_TR"));

    EXPECT_TRUE(cv::ContainsPairedTagMarkup(QStringLiteral("<b>word"), settings));
    EXPECT_FALSE(cv::ContainsPairedTagMarkup(QStringLiteral("a > b < c"), settings));
    settings.SetMarkupMode(cv::TMarkupMode::Plain);
    EXPECT_FALSE(cv::ContainsPairedTagMarkup(QStringLiteral("<b>word"), settings));
}

namespace {

TSearchWordItems sampleItems()
{
    TSearchWordItems items;
    items.SetCaseSensitive(true);
    items.SetLanguage(QStringLiteral("de_DE"));
    items.SetRequireAllContextWords(true);
    items.SetExactOffset(-2);
    items.AddedSearchWords(QStringLiteral("Haus/gr\u00fcn*/in der"));
    items.SetEntryIndex(1, 42);
    items.SetHits(2, 7);
    items.SetContextWords(0, {QStringLiteral("alt"), QStringLiteral("neu")});
    items.SetOnlyItem(2);
    return items;
}

} // namespace

TEST(SearchItems, StreamRoundTripsBitForBit)
{
    const auto items = sampleItems();
    TMemoryStream first;
    ASSERT_TRUE(items.SaveToStream(first));
    EXPECT_EQ(std::vector<uint8_t>(first.Bytes().begin(), first.Bytes().begin() + 8),
              (std::vector<uint8_t>{'C', 'S', 'W', 'I', 1, 0, 0, 0}));

    first.SetPosition(0);
    TSearchWordItems back;
    ASSERT_TRUE(back.ReadFromStream(first));
    EXPECT_EQ(first.Position(), first.Size());
    EXPECT_EQ(back.TypedSearchWords(), items.TypedSearchWords());
    EXPECT_EQ(back.Item(1).EntryIndex, 42);
    EXPECT_EQ(back.Item(2).Hits, 7);
    EXPECT_EQ(back.Item(0).ContextWords, (QStringList{QStringLiteral("alt"), QStringLiteral("neu")}));
    EXPECT_TRUE(back.CaseSensitive());
    EXPECT_EQ(back.OnlyItem(), 2);
    TMemoryStream second;
    ASSERT_TRUE(back.SaveToStream(second));
    EXPECT_EQ(second.Bytes(), first.Bytes());
}

TEST(SearchItems, DamagedStreamsAreRefusedAndChangeNothing)
{
    TMemoryStream good;
    ASSERT_TRUE(sampleItems().SaveToStream(good));
    const std::vector<uint8_t> bytes = good.Bytes();

    TSearchWordItems target;
    target.AddedSearchWords(QStringLiteral("keep"));
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
        EXPECT_FALSE(target.ReadFromStream(s)) << "cut at " << cut;
    }
    EXPECT_EQ(target.TypedSearchWords(), QStringList{QStringLiteral("keep")});

    auto corrupt = [&](std::size_t at, uint8_t value) {
        std::vector<uint8_t> b = bytes;
        b[at] = value;
        TMemoryStream s(std::move(b));
        return target.ReadFromStream(s);
    };
    EXPECT_FALSE(corrupt(0, 'X')) << "magic";
    EXPECT_FALSE(corrupt(4, 2)) << "version";
    EXPECT_FALSE(corrupt(8, 0x80)) << "unknown option bit";
    EXPECT_FALSE(corrupt(13, 9)) << "only-item past the list";

    // A stored search word of only wildcards cannot come from a sound document.
    TSearchWordItems one;
    one.AddedSearchWords(QStringLiteral("a"));
    TMemoryStream s;
    ASSERT_TRUE(one.SaveToStream(s));
    std::vector<uint8_t> b = s.Bytes();
    const auto at = std::find(b.begin() + 12, b.end(), uint8_t('a'));
    ASSERT_NE(at, b.end());
    *at = '*';
    TMemoryStream bad(std::move(b));
    EXPECT_FALSE(target.ReadFromStream(bad));
}

TEST(SearchItems, ReadsTheSavedSampleOfVersion1)
{
    const QByteArray raw = cvtest::readAll(cvtest::testDataDir() + QStringLiteral("/suite/search_words_v1.bin"));
    ASSERT_FALSE(raw.isEmpty());
    TMemoryStream s(std::vector<uint8_t>(raw.begin(), raw.end()));
    TSearchWordItems items;
    ASSERT_TRUE(items.ReadFromStream(s));
    TMemoryStream again;
    ASSERT_TRUE(sampleItems().SaveToStream(again));
    EXPECT_EQ(cvtest::toBytes(again.Bytes()), raw) << "the writer of today writes the sample's bytes";
    EXPECT_EQ(items.TypedSearchWords(), sampleItems().TypedSearchWords());
    EXPECT_EQ(items.Item(2).Hits, 7);
    EXPECT_EQ(items.ExactOffset(), -2);
}
