// Counting words: the cutter folds and hashes ASCII words eight units at a
// time and any other word unit by unit, and looks short words up by their
// type's sixteen-unit prefix alone. Every road must land on the same type.

#include "wordlist_testutil.h"

#include "textread/tag_handler.h"
#include "wordlist/alphabetical_order.h"
#include "wordlist/wordlist_tree.h"

#include <random>

namespace {

using namespace cv;
using namespace wordlist_test;

TEST(WordlistTreeLookups, PrefixLookUpAgreesWithTheWholeSpelling)
{
    TWordlistTree tree;
    tree.BeginText(0);
    tree.BeginPart(0);
    // Words that share long stretches: the same first sixteen units and
    // another tail, one unit more or less, a unit changed at 4, 8, 12, 16.
    std::vector<std::u16string> words;
    const std::u16string base = u"abcdefghijklmnopqrstuvwxyz\u00e9\u0416";
    for (std::size_t len = 1; len <= base.size(); ++len) {
        words.push_back(base.substr(0, len));
        for (std::size_t at : {0, 3, 4, 7, 8, 12, 15, 16, 20}) {
            if (at >= len)
                continue;
            std::u16string w = base.substr(0, len);
            w[at] = u'_';
            words.push_back(w);
        }
    }
    std::mt19937 rng(99);
    for (int k = 0; k < 3000; ++k) {
        std::u16string w(std::size_t(1 + rng() % 30), u'a');
        for (char16_t& c : w)
            c = char16_t(rng() % 3 == 0 ? 0x430 + rng() % 32 : u'a' + rng() % 4);
        words.push_back(w);
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());

    // Half the words go in, some of them with a tag too.
    std::vector<std::pair<std::u16string, uint16_t>> in, out;
    for (std::size_t k = 0; k < words.size(); ++k) {
        (k % 2 == 0 ? in : out).push_back({words[k], 0});
        if (k % 7 == 0)
            (k % 2 == 0 ? in : out).push_back({words[k], uint16_t(5)});
    }
    std::vector<uint32_t> ids;
    for (const auto& [w, tag] : in) {
        const std::u16string p = Padded(w);
        ids.push_back(tree.AddType(p.data(), int32_t(w.size()), tag, HashWordlistKey(w.data(), int32_t(w.size()), tag), false));
    }
    for (std::size_t k = 0; k < in.size(); ++k) {
        const auto& [w, tag] = in[k];
        const std::u16string p = Padded(w);
        const uint64_t h = HashWordlistKey(w.data(), int32_t(w.size()), tag);
        ASSERT_EQ(tree.FindType(p.data(), int32_t(w.size()), tag, h), ids[k]);
        ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), tag, h), ids[k]);
        ASSERT_TRUE(tree.Text(ids[k]) == w);
    }
    for (const auto& [w, tag] : out) {
        const std::u16string p = Padded(w);
        const uint64_t h = HashWordlistKey(w.data(), int32_t(w.size()), tag);
        ASSERT_EQ(tree.FindType(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType);
        ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType);
    }
    // A spelling that differs anywhere but hashes alike (a full collision)
    // is still told apart: every unit is compared.
    for (std::size_t k = 0; k < in.size(); k += 3) {
        const auto& [w, tag] = in[k];
        const uint64_t h = HashWordlistKey(w.data(), int32_t(w.size()), tag);
        for (std::size_t at : {std::size_t(0), std::size_t(4), std::size_t(9), std::size_t(13), std::size_t(15),
                               std::size_t(16), std::size_t(21), w.size() - 1}) {
            if (at >= w.size())
                continue;
            std::u16string other = w;
            other[at] = u'#';
            const std::u16string p = Padded(other);
            ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType) << at;
            ASSERT_EQ(tree.FindType(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType) << at;
        }
    }
}

// The counter tries first the type a word's first slot named when its
// look-up was started, before types were added in between (the index may
// have been made again meanwhile): such a guess names the word's type only
// when the whole spelling and tag agree, and a guess made from another
// spelling's hash never passes for it.
TEST(WordlistTreeLookups, GuessesMadeBeforeTypesAreAddedStayGood)
{
    TWordlistTree tree;
    tree.BeginText(0);
    tree.BeginPart(0);
    auto hashOf = [](const std::u16string& w, uint16_t tag) { return HashWordlistKey(w.data(), int32_t(w.size()), tag); };
    auto add = [&](const std::u16string& w, uint16_t tag) {
        const std::u16string p = Padded(w);
        return tree.AddType(p.data(), int32_t(w.size()), tag, hashOf(w, tag), false);
    };
    std::vector<std::pair<std::u16string, uint16_t>> words;
    for (int k = 0; k < 600; ++k)
        words.push_back({u"w" + std::u16string(std::size_t(1 + k % 25), char16_t(u'a' + k % 26)) + char16_t(u'0' + k / 26),
                         uint16_t(k % 5 == 0 ? 3 : 0)});
    for (std::size_t k = 0; k < words.size(); k += 2)
        add(words[k].first, words[k].second);

    struct TGuess {
        TWordlistKey* type;
        uint32_t id;
    };
    std::vector<TGuess> guesses(words.size());
    {
        const TWordlistParentTree::TLookup lookup(tree);
        for (std::size_t k = 0; k < words.size(); ++k)
            guesses[k].type = lookup.Guess(hashOf(words[k].first, words[k].second), guesses[k].id);
    }
    // Many more types: the index grows and is made again several times.
    for (int k = 0; k < 20000; ++k)
        add(u"filler" + std::u16string(std::size_t(1 + k % 7), char16_t(u'a' + k % 26)) + char16_t(0x400 + k / 26), 0);
    for (std::size_t k = 1; k < words.size(); k += 2)
        add(words[k].first, words[k].second);

    const TWordlistParentTree::TLookup lookup(tree);
    std::size_t right = 0;
    for (std::size_t k = 0; k < words.size(); ++k) {
        const auto& [w, tag] = words[k];
        const std::u16string p = Padded(w);
        const uint32_t id = tree.FindTypeWide(p.data(), int32_t(w.size()), tag, hashOf(w, tag));
        ASSERT_NE(id, TWordlistParentTree::kNoType);
        // A guess that passes is the word's type (a word that stood past its
        // first slot was guessed wrong or not at all); a word not in the
        // tree at the time is never guessed right.
        if (guesses[k].type && lookup.Is(*guesses[k].type, p.data(), int32_t(w.size()), tag)) {
            EXPECT_EQ(k % 2, 0u) << k;
            EXPECT_EQ(guesses[k].id, id) << k;
            EXPECT_EQ(guesses[k].type, &tree.Type(id)) << k;
            ++right;
        }
        // Another word's type, or this word under another tag, is never taken for it.
        const auto& [other, otherTag] = words[(k + 2) % words.size()];
        uint32_t otherId = 0;
        if (TWordlistKey* guess = lookup.Guess(hashOf(other, otherTag), otherId)) {
            EXPECT_FALSE(lookup.Is(*guess, p.data(), int32_t(w.size()), tag)) << k;
        }
        EXPECT_FALSE(lookup.Is(tree.Type(id), p.data(), int32_t(w.size()), uint16_t(tag + 1))) << k;
        // A full collision (this word's hash, another spelling) finds no type.
        std::u16string changed = w;
        changed.back() = u'#';
        const std::u16string q = Padded(changed);
        uint32_t found = 0;
        EXPECT_EQ(lookup.FindWide(q.data(), int32_t(changed.size()), tag, hashOf(w, tag), found), nullptr) << k;
    }
    // Most words of the tree stand in their first slot.
    EXPECT_GT(right, words.size() / 4);
}

// Counts beyond 2^32: a type's frequency over the run, and its count in
// one part (which the tree keeps in 32 bits and notes the wraps of).
TEST(WordlistTreeCounts, FrequenciesAndPartCountsGoPastFourBillion)
{
    const uint64_t big = (uint64_t(1) << 32) + 1'002'500'000; // one text of that many tokens of "the"
    const std::u16string the = u"the", cat = u"cat";
    {
        // Texts counted elsewhere (the reading threads), added to the run's tree.
        TWordlistTree tree;
        const uint32_t a = tree.AddType(the.data(), 3, 0, HashWordlistKey(the.data(), 3, 0), false);
        const uint32_t b = tree.AddType(cat.data(), 3, 0, HashWordlistKey(cat.data(), 3, 0), false);
        const TWordlistTree::TPartType first[] = {{a, big}, {b, 1}};
        const TWordlistTree::TPartType second[] = {{a, big}, {b, 1}};
        tree.AddCountedText(0, 0, int64_t(big) + 1, first);
        tree.AddCountedText(1, 1, int64_t(big) + 1, second);
        EXPECT_EQ(tree.Type(a).freq, 2 * big);
        const TWordlistTree::TSpread spread = tree.ComputeSpread();
        EXPECT_EQ(spread.texts[a], 2);
        EXPECT_NEAR(spread.dispersion[a], 0.0, 1e-6); // evenly spread over two texts of one size
    }
    {
        // Tokens counted one by one: a part whose count of a type wraps its
        // 32 bits (the count taken to just below the wrap, as four billion
        // tokens would leave it).
        TWordlistTree tree;
        const uint32_t a = tree.AddType(the.data(), 3, 0, HashWordlistKey(the.data(), 3, 0), false);
        for (int32_t text = 0; text < 2; ++text) {
            tree.BeginText(text);
            tree.BeginPart(text);
            tree.CountToken(a, 0);
            tree.Type(a).partCount = UINT32_MAX - 2;
            tree.Type(a).freq += UINT32_MAX - 3;
            for (int k = 0; k < 5; ++k)
                tree.CountToken(a, 0);
            tree.EndPart(int64_t(UINT32_MAX) + 3);
            tree.EndText();
        }
        EXPECT_EQ(tree.Type(a).freq, 2 * (uint64_t(UINT32_MAX) + 3));
        const TWordlistTree::TSpread spread = tree.ComputeSpread();
        EXPECT_EQ(spread.texts[a], 2);
        EXPECT_NEAR(spread.dispersion[a], 0.0, 1e-6);
    }
}

class WordCountingRoads : public WordlistTest {};

TEST_F(WordCountingRoads, AWordCountsAsOneTypeWhereverItStands)
{
    // Each word stands in the middle of the text (folded eight units at a
    // time) and as the text's last word (folded unit by unit: too close to
    // the end for eight-unit loads), in several cases; and words that turn
    // out not to be ASCII after their first eight units.
    QStringList words;
    for (int len = 1; len <= 24; ++len) {
        QString w;
        for (int k = 0; k < len; ++k)
            w += QChar(u'a' + (k * 7 + len) % 26);
        words << w;
    }
    words << QStringLiteral("abcdefgh\u00e9") << QStringLiteral("abcdefghijklmnop\u00e9xyz") << QStringLiteral("\u00e9abc");
    for (const QString& w : words) {
        const QString text = w + QStringLiteral(" middle ") + w.toUpper() + QStringLiteral(" and ") + w.left(1).toUpper()
                             + w.mid(1) + QStringLiteral(" ") + w;
        auto doc = MakeOne(text);
        ASSERT_TRUE(made);
        const TCVWordList& l = List(*doc);
        EXPECT_EQ(Freq(l, w), 4) << qPrintable(w);
        EXPECT_EQ(l.Count(), 3) << qPrintable(w);
    }
}

TEST_F(WordCountingRoads, ManyTypesAcrossTextsAddUp)
{
    // Enough types for the table to grow several times, each met in two
    // texts, numbers between them dropped.
    QString a, b;
    for (int k = 0; k < 20000; ++k) {
        const QString w = QStringLiteral("w%1x").arg(k, 0, 36);
        a += w + (k % 10 == 9 ? QStringLiteral(".\n") : QStringLiteral(" 12 "));
        b += w.toUpper() + QLatin1Char(' ');
    }
    auto doc = Make({{QStringLiteral("a.txt"), a.toUtf8()}, {QStringLiteral("b.txt"), b.toUtf8()}});
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(l.Count(), 20000);
    EXPECT_EQ(SumOfFrequencies(l), 40000);
    for (int i = 0; i < l.Count(); i += 97) {
        EXPECT_EQ(l.CorrectFreq(i, false), 2) << qPrintable(l.Entry(i).fWord);
        EXPECT_EQ(l.Entry(i).fData.Texts, 2);
    }
}

} // namespace

namespace {

using namespace cv;
using namespace wordlist_test;

TEST(WordListOrders, RadixSortOfFullWidthKeysIsAStableSort)
{
    // Keys that differ in any of the digits the sort goes by, with many
    // equal keys, and keys that share all but their top bits.
    std::mt19937_64 rng(11);
    for (int shape = 0; shape < 3; ++shape) {
        std::vector<TKeyedIndex> items;
        for (uint32_t i = 0; i < 20000; ++i) {
            const uint64_t r = rng();
            const uint64_t key = shape == 0 ? r % 3000 * 0x9E3779B97F4A7C15ull : shape == 1 ? (r % 7) << 61 : r >> (r % 64);
            items.push_back({key, i});
        }
        std::vector<TKeyedIndex> expected = items;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const TKeyedIndex& a, const TKeyedIndex& b) { return a.key < b.key; });
        RadixSortByKey(items);
        for (std::size_t k = 0; k < items.size(); ++k) {
            ASSERT_EQ(items[k].key, expected[k].key) << shape;
            ASSERT_EQ(items[k].index, expected[k].index) << shape;
        }
    }
    // The frequency order: most frequent first, ties in their given order.
    const std::vector<int64_t> freqs = {3, 9, 3, 0, 9, 1, 3};
    EXPECT_EQ(TCVWordList::FrequencyOrder(freqs), (std::vector<int32_t>{1, 4, 0, 2, 6, 5, 3}));
}

TEST(WordListOrders, FrequencyOrderOfFewAndManyFrequencies)
{
    // Frequencies far above the number of entries among many rare ones,
    // ties among both, a negative one (taken as 0), and a long list.
    std::mt19937_64 rng(5);
    for (const std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(40), std::size_t(5000)}) {
        std::vector<int64_t> freqs;
        for (std::size_t i = 0; i < n; ++i) {
            const uint64_t r = rng();
            freqs.push_back(r % 10 == 0 ? int64_t(1'000'000 + r % 3 * 1'000'000'000'000ll) : r % 10 == 1 ? -int64_t(r % 5)
                                                                                             : int64_t(r % 300));
        }
        std::vector<int32_t> expected(n);
        for (std::size_t i = 0; i < n; ++i)
            expected[i] = int32_t(i);
        auto key = [&](int32_t i) { return std::max<int64_t>(0, freqs[std::size_t(i)]); };
        std::stable_sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) { return key(a) > key(b); });
        EXPECT_EQ(TCVWordList::FrequencyOrder(freqs), expected) << n;
    }
}

TEST(WordListOrders, TypesAreFoundAgainAfterTheIndexIsDropped)
{
    TWordlistTree tree;
    tree.BeginText(0);
    tree.BeginPart(0);
    std::vector<std::u16string> words;
    for (int k = 0; k < 3000; ++k)
        words.push_back(u"t" + std::u16string(std::size_t(1 + k % 20), char16_t(u'a' + k % 26)) + char16_t(0x400 + k));
    for (const auto& w : words) {
        const std::u16string p = Padded(w);
        tree.CountToken(tree.AddType(p.data(), int32_t(w.size()), 0, HashWordlistKey(w.data(), int32_t(w.size()), 0), false), 0);
    }
    tree.EndPart(3000);
    tree.FreeCounting();
    EXPECT_EQ(tree.PartBytes(), 0);
    // Look-ups and new types still work: the index is made again from the spellings.
    for (std::size_t k = 0; k < words.size(); k += 7) {
        const std::u16string p = Padded(words[k]);
        const uint64_t h = HashWordlistKey(words[k].data(), int32_t(words[k].size()), 0);
        ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(words[k].size()), 0, h), uint32_t(k));
    }
    const std::u16string extra = u"extra";
    const std::u16string p = Padded(extra);
    const uint64_t h = HashWordlistKey(extra.data(), 5, 0);
    EXPECT_EQ(tree.FindType(p.data(), 5, 0, h), TWordlistParentTree::kNoType);
    EXPECT_EQ(tree.AddType(p.data(), 5, 0, h, false), 3000u);
    EXPECT_EQ(tree.FindType(p.data(), 5, 0, h), 3000u);
    EXPECT_EQ(tree.Type(0).freq, 1u);
}

TEST(WordListOrders, ManyTypesAreFoundWhileTheIndexGrowsPastItsRoomyStage)
{
    // The index keeps more slots per type while it is small than when it is
    // large: past the change (and the growths after it) every type is still
    // found, and a spelling never added is not.
    TWordlistTree tree;
    tree.BeginText(0);
    tree.BeginPart(0);
    constexpr uint32_t kTypes = 540'000;
    auto spell = [](uint32_t k) {
        std::u16string w;
        do {
            w += char16_t(u'a' + k % 26);
            k /= 26;
        } while (k);
        return w;
    };
    for (uint32_t k = 0; k < kTypes; ++k) {
        const std::u16string w = spell(k) + u"q";
        const std::u16string p = Padded(w);
        ASSERT_EQ(tree.AddType(p.data(), int32_t(w.size()), 0, HashWordlistKey(w.data(), int32_t(w.size()), 0), false), k);
    }
    for (uint32_t k = 0; k < kTypes; k += 1013) {
        const std::u16string w = spell(k) + u"q";
        const std::u16string p = Padded(w);
        ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), 0, HashWordlistKey(w.data(), int32_t(w.size()), 0)), k);
        const std::u16string absent = spell(k) + u"z";
        const std::u16string a = Padded(absent);
        ASSERT_EQ(tree.FindType(a.data(), int32_t(absent.size()), 0, HashWordlistKey(absent.data(), int32_t(absent.size()), 0)),
                  TWordlistParentTree::kNoType);
    }
}

class WordListMaking : public WordlistTest {};

TEST_F(WordListMaking, TheRunsListIsTheSortedListWithItsRanks)
{
    // The run orders its types before making entries; the list must be what
    // sorting the same entries and ranking them gives: the collation's order,
    // equal words by tag, ranks and the frequency order with ties alphabetical.
    const auto tags = ShowTags({"<w VB>", "<w NN>", "<w AJ>"});
    const TTextSettings t = Settings();
    QString text;
    std::mt19937 rng(5);
    const QStringList words = {"zebra", "Apple", "apple", "\u00e9clair", "eclair", "b\u00e6r", "co-op", "coop",
                               "it's", "its", "x", "X", "caf\u00e9", "cafe", "na\u00efve", "naive", "\u0436\u0443\u043a"};
    for (int k = 0; k < 600; ++k) {
        if (rng() % 4 == 0)
            text += QStringLiteral("<w %1>").arg(QStringList{"VB", "NN", "AJ"}[int(rng() % 3)]);
        text += words[int(rng() % words.size())] + QLatin1Char(' ');
    }
    auto doc = MakeOne(text, tags.get());
    ASSERT_TRUE(made);
    const TCVWordList& made = List(*doc);

    TCVWordList sorted(nullptr, kListWordList, 0);
    sorted.SetLocale(t.LanguageId(), t.CollationName());
    std::vector<std::unique_ptr<TWordListEntry>> copies;
    for (int i = made.Count() - 1; i >= 0; --i) { // reversed: the sort has work to do
        auto e = std::make_unique<TWordListEntry>(&sorted);
        e->fWord = made.Entry(i).fWord;
        e->fTag = made.Entry(i).fTag;
        e->fData = made.Entry(i).fData;
        e->fData.Rank = 0;
        copies.push_back(std::move(e));
    }
    sorted.AdoptEntries(std::move(copies));
    sorted.SortAlphabetically();
    sorted.ComputedRankOrdersOfWords();
    ASSERT_EQ(sorted.Count(), made.Count());
    for (int i = 0; i < made.Count(); ++i) {
        EXPECT_EQ(made.Entry(i).fWord, sorted.Entry(i).fWord) << i;
        EXPECT_EQ(made.Entry(i).fTag, sorted.Entry(i).fTag) << i;
        EXPECT_EQ(made.Entry(i).fData, sorted.Entry(i).fData) << i;
        EXPECT_EQ(made.FrequencyOrderEntry(i), sorted.FrequencyOrderEntry(i)) << i;
    }
    EXPECT_EQ(made.CurrentAlphabeticalSort(), int32_t(TCVWordList::kSortAlphabetical));
}

} // namespace
