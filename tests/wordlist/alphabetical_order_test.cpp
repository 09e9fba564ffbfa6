// The fast alphabetical order must be the collator's order, word for word.

#include "wordlist/alphabetical_order.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <random>
#include <string>

using namespace cv;

namespace {

std::vector<std::u16string> Views(const QStringList& words)
{
    std::vector<std::u16string> out;
    for (const QString& w : words)
        out.push_back(w.toStdU16String());
    return out;
}

// The order the collator alone gives (stable).
std::vector<uint32_t> CollatorOrder(const std::vector<std::u16string>& words, const QString& locale)
{
    const QCollator c = MakeWordCollator(locale);
    std::vector<uint32_t> order(words.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return c.compare(QString::fromStdU16String(words[a]), QString::fromStdU16String(words[b])) < 0;
    });
    return order;
}

// Both ways of making the keys (where the processor has the wide one).
void ExpectSameOrder(const std::vector<std::u16string>& words, const QString& locale)
{
    const std::vector<uint32_t> slow = CollatorOrder(words, locale);
    const QCollator c = MakeWordCollator(locale);
    for (const bool wide : {true, false}) {
        TAlphabeticalOrderer orderer(locale);
        orderer.SetWideKeys(wide);
        std::vector<std::u16string_view> views(words.begin(), words.end());
        const std::vector<uint32_t> fast = orderer.Order(views);
        ASSERT_EQ(fast.size(), slow.size());
        // Words made one at a time as they are asked for are ordered the same.
        const std::vector<uint32_t> made = orderer.Order(words.size(), [&](std::size_t i, std::u16string& scratch) {
            scratch = words[i];
            return std::u16string_view(scratch);
        });
        EXPECT_EQ(made, fast);
        // Words the collator finds equal may stand in either order; the words
        // in each place must be equal to the collator.
        for (std::size_t k = 0; k < fast.size(); ++k) {
            const QString a = QString::fromStdU16String(words[fast[k]]), b = QString::fromStdU16String(words[slow[k]]);
            ASSERT_EQ(c.compare(a, b), 0) << "place " << k << " in " << locale.toStdString() << (wide ? " (wide keys)" : "")
                                          << ": " << a.toStdString() << " against " << b.toStdString();
        }
    }
}

// `count` words of 1 to maxLength characters, each character from pick().
template <typename TPick>
std::vector<std::u16string> RandomWords(std::mt19937& rng, int count, int maxLength, TPick pick)
{
    std::vector<std::u16string> words;
    for (int k = 0; k < count; ++k) {
        std::u16string w;
        const int len = 1 + int(rng() % unsigned(maxLength));
        for (int j = 0; j < len; ++j)
            w += pick();
        words.push_back(w);
    }
    return words;
}

TEST(AlphabeticalOrder, EnglishTakesTheFastRoadAndAgreesWithTheCollator)
{
    EXPECT_TRUE(TAlphabeticalOrderer(QStringLiteral("en_GB")).FastRoad());
    // Punctuation inside words, digits, prefixes of each other, ten-character ties.
    const QStringList words{QStringLiteral("can't"), QStringLiteral("cant"), QStringLiteral("can-do"), QStringLiteral("can"),
                            QStringLiteral("canto"), QStringLiteral("3.5"), QStringLiteral("1,000"), QStringLiteral("10"),
                            QStringLiteral("2"), QStringLiteral("a"), QStringLiteral("aa"), QStringLiteral("a-a"),
                            QStringLiteral("internationalisation"), QStringLiteral("internationalised"),
                            QStringLiteral("internationalisations"), QStringLiteral("zz"), QStringLiteral("o'clock"),
                            QStringLiteral("oclock"), QStringLiteral("o-clock")};
    ExpectSameOrder(Views(words), QStringLiteral("en_GB"));
}

TEST(AlphabeticalOrder, WordsOutsideTheFastAlphabetAreMergedIn)
{
    const QStringList words{QStringLiteral("café"), QStringLiteral("cafe"), QStringLiteral("cafes"), QStringLiteral("Cafe"),
                            QStringLiteral("éclair"), QStringLiteral("eclair"), QStringLiteral("zoë"), QStringLiteral("zoe"),
                            QStringLiteral("don’t"), QStringLiteral("don't"), QStringLiteral("Zebra"), QStringLiteral("apple"),
                            QStringLiteral("Äpfel"), QStringLiteral("apfel"), QStringLiteral("λόγος"), QStringLiteral("москва"),
                            QStringLiteral("a\u200Bb"), QStringLiteral("ab")};
    ExpectSameOrder(Views(words), QStringLiteral("en_GB"));
    ExpectSameOrder(Views(words), QStringLiteral("de_DE"));
}

TEST(AlphabeticalOrder, RandomWordsOfManyShapes)
{
    std::mt19937 rng(11);
    const std::u16string alphabet = u"abcdefghijklmnopqrstuvwxyz0123456789'-.,éñAZ";
    const std::vector<std::u16string> words = RandomWords(rng, 3000, 14, [&] {
        return alphabet[rng() % (rng() % 4 == 0 ? alphabet.size() : 36)];
    });
    ExpectSameOrder(words, QStringLiteral("en_GB"));
    ExpectSameOrder(words, QStringLiteral("fr_FR"));
}

TEST(AlphabeticalOrder, KeysOfWordsAroundTheirLengthsAndUnitsThatLookLikeTheAlphabet)
{
    // Lengths about the ten characters of a key and the sixteen looked at
    // at once; units beyond ASCII whose low byte is a letter or an
    // apostrophe (U+0161, U+0127, U+2027), at the start, the end and past
    // the sixteenth character; the empty word.
    std::vector<std::u16string> words{u"", u"a", u"abcdefghi", u"abcdefghij", u"abcdefghijk", u"abcdefghijklmnop",
                                      u"abcdefghijklmnopq", u"abcdefghijklmnop\u0161", u"abcdefghijklmnopqrs\u0127t",
                                      u"\u0161a", u"a\u0161", u"\u0127", u"a\u2027b", u"ab\u2019c", u"abcdefghijklmnopq\u2019",
                                      u"zzzzzzzzzzzzzzzzzzzzzzzz", u"zzzzzzzzzzzzzzzzzzzzzzzy", u"--", u"-", u"0,5", u"0.5"};
    std::mt19937 rng(7);
    const std::u16string alphabet = u"abyz09'-\u2019\u0161\u0127";
    for (const std::u16string& w : RandomWords(rng, 1500, 24, [&] { return alphabet[rng() % (rng() % 8 == 0 ? alphabet.size() : 9)]; }))
        words.push_back(w);
    ExpectSameOrder(words, QStringLiteral("en_GB"));
    ExpectSameOrder(words, QStringLiteral("lt_LT"));
}

TEST(AlphabeticalOrder, TypographicApostropheTakesTheFastRoadWhereTheCollatorAllows)
{
    const TAlphabeticalOrderer english(QStringLiteral("en_GB"));
    EXPECT_TRUE(english.OnFastRoad(u"don\u2019t"));
    EXPECT_FALSE(english.OnFastRoad(u"caf\u00e9"));
    // Both apostrophes among letters, next to each other and at either end.
    std::mt19937 rng(5);
    const std::u16string alphabet = u"abno'\u2019-";
    const std::vector<std::u16string> words =
        RandomWords(rng, 2000, 12, [&] { return alphabet[rng() % alphabet.size()]; });
    for (const char* locale : {"en_GB", "fr_FR", "de_DE", "lt_LT", "ja_JP"})
        ExpectSameOrder(words, QString::fromLatin1(locale));
}

TEST(AlphabeticalOrder, ClustersOfWordsTakeTheFastRoadWhereTheCollatorOrdersTheSpaceSo)
{
    // Millions of clusters ("of the") are ordered as words are: the space
    // between their words belongs to the fast alphabet.
    const TAlphabeticalOrderer english(QStringLiteral("en_GB"));
    EXPECT_TRUE(english.OnFastRoad(u"of the"));
    EXPECT_TRUE(english.OnFastRoad(u"at the end of"));
    // A word that is a prefix of another, spaces doubled and at either end,
    // a space against every character of the alphabet.
    const QStringList clusters{QStringLiteral("of the"), QStringLiteral("of them"), QStringLiteral("off the"),
                               QStringLiteral("of-the"), QStringLiteral("ofthe"), QStringLiteral("of  the"),
                               QStringLiteral(" of"), QStringLiteral("of "), QStringLiteral("of"),
                               QStringLiteral("of 1,000"), QStringLiteral("of'the"), QStringLiteral("of.the"),
                               QStringLiteral("o f"), QStringLiteral("of the end of the day"),
                               QStringLiteral("of the end of the days"), QStringLiteral("of the end of them")};
    ExpectSameOrder(Views(clusters), QStringLiteral("en_GB"));
    std::mt19937 rng(17);
    const std::u16string alphabet = u"aeost ' -’";
    const std::vector<std::u16string> random =
        RandomWords(rng, 3000, 16, [&] { return alphabet[rng() % alphabet.size()]; });
    for (const char* locale : {"en_GB", "fr_FR", "de_DE", "lt_LT", "sv_SE"})
        ExpectSameOrder(random, QString::fromLatin1(locale));
}

TEST(AlphabeticalOrder, LanguagesThatSortLettersTheirOwnWay)
{
    // Lithuanian puts y between i and j; Danish sorts aa after z; Spanish is plain.
    for (const char* locale : {"lt_LT", "da_DK", "es_ES", "sv_SE", "cs_CZ"}) {
        const QStringList words{QStringLiteral("aa"), QStringLiteral("ab"), QStringLiteral("z"), QStringLiteral("y"),
                                QStringLiteral("i"), QStringLiteral("j"), QStringLiteral("ch"), QStringLiteral("h"),
                                QStringLiteral("c"), QStringLiteral("ia"), QStringLiteral("ya")};
        ExpectSameOrder(Views(words), QString::fromLatin1(locale));
    }
    // Contractions ("aa" in Danish, "ch" in Czech) close the fast road.
    EXPECT_FALSE(TAlphabeticalOrderer(QStringLiteral("da_DK")).FastRoad());
    EXPECT_FALSE(TAlphabeticalOrderer(QStringLiteral("cs_CZ")).FastRoad());
}

TEST(AlphabeticalOrder, WordsOfTheGeneralRoadFindTheirPlaceOutsideTheirFirstLetters)
{
    // A word outside the alphabet is looked for among the fast words with
    // its first letters; in Swedish a decomposed "a" + diaeresis is the
    // letter after z, far from the words beginning with "a".
    EXPECT_TRUE(TAlphabeticalOrderer(QStringLiteral("sv_SE")).FastRoad());
    const QStringList afterZ{QStringLiteral("a\u0308r"), QStringLiteral("ar"), QStringLiteral("ba"), QStringLiteral("zz"),
                             QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("ab")};
    // Words no fast word begins like, words the collator finds equal to
    // fast words, words at either end.
    const QStringList mixed{QStringLiteral("a\u0308r"), QStringLiteral("ar"), QStringLiteral("ba"), QStringLiteral("zz"),
                            QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("\u00f6"),
                            QStringLiteral("o\u0308l"), QStringLiteral("ol"), QStringLiteral("qu\u00e9"),
                            QStringLiteral("p"), QStringLiteral("r"), QStringLiteral("a\u0301"), QStringLiteral("a\u200B"),
                            QStringLiteral("zz\u00e9"), QStringLiteral("\u00e9a"), QStringLiteral("0\u00e9")};
    for (const char* locale : {"sv_SE", "en_GB", "fi_FI"}) {
        ExpectSameOrder(Views(afterZ), QString::fromLatin1(locale));
        ExpectSameOrder(Views(mixed), QString::fromLatin1(locale));
    }
}

TEST(AlphabeticalOrder, RadixSortIsStableByKey)
{
    std::vector<TKeyedIndex> items;
    std::mt19937_64 rng(3);
    for (uint32_t i = 0; i < 5000; ++i)
        items.push_back({rng() % 50 << (rng() % 2 ? 40 : 3), i});
    // Keys that differ in their middle bits only, and full-width keys.
    for (uint32_t i = 5000; i < 10000; ++i)
        items.push_back({(uint64_t(0xF0F0) << 48) | (rng() % 3000) << 21, i});
    for (uint32_t i = 10000; i < 12000; ++i)
        items.push_back({rng(), i});
    std::vector<TKeyedIndex> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [](const TKeyedIndex& a, const TKeyedIndex& b) { return a.key < b.key; });
    RadixSortByKey(items);
    for (std::size_t k = 0; k < items.size(); ++k) {
        ASSERT_EQ(items[k].key, expected[k].key);
        ASSERT_EQ(items[k].index, expected[k].index);
    }
}

TEST(AlphabeticalOrder, RadixSortInPartsIsTheSortInOne)
{
    // Most keys under one top digit (a group larger than its share), many
    // keys equal, a few top digits with an item or two, keys alike but in
    // their lowest bits: the parts must meet where the one sort goes on.
    std::mt19937_64 rng(11);
    std::vector<TKeyedIndex> items;
    for (uint32_t i = 0; i < 30000; ++i) {
        const uint64_t r = rng() % 100;
        const uint64_t key = r < 70 ? (uint64_t(5) << 52) | (rng() % 64) << 8
                             : r < 90 ? rng() % 4
                             : r < 99 ? rng() >> 4
                                      : uint64_t(rng() % 3 + 1) << 60;
        items.push_back({key, i});
    }
    std::vector<TKeyedIndex> one = items;
    RadixSortByKey(one, 1);
    for (std::size_t parts : {2u, 3u, 4u, 7u, 64u}) {
        std::vector<TKeyedIndex> split = items;
        RadixSortByKey(split, parts);
        for (std::size_t k = 0; k < one.size(); ++k) {
            ASSERT_EQ(split[k].key, one[k].key) << parts << " parts, at " << k;
            ASSERT_EQ(split[k].index, one[k].index) << parts << " parts, at " << k;
        }
    }
    // Keys that differ in one digit only: the one sort, whatever is asked.
    std::vector<TKeyedIndex> narrow;
    for (uint32_t i = 0; i < 5000; ++i)
        narrow.push_back({rng() % 200, i});
    std::vector<TKeyedIndex> narrowOne = narrow;
    RadixSortByKey(narrowOne, 1);
    RadixSortByKey(narrow, 4);
    for (std::size_t k = 0; k < narrow.size(); ++k)
        ASSERT_EQ(narrow[k].index, narrowOne[k].index) << k;
}

} // namespace
