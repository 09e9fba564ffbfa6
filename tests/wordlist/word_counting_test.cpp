// Counting words: the cutter folds and hashes ASCII words eight units at a
// time and any other word unit by unit, and looks short words up by their
// type's sixteen-unit prefix alone. Every road must land on the same type.

#include "wordlist_testutil.h"

#include "wordlist/wordlist_tree.h"

#include <random>

namespace {

using namespace cv;
using namespace wordlist_test;

// A spelling padded as the cutter pads it (zeros to sixteen units at least,
// and to a multiple of four beyond), and as FindType wants it.
std::u16string wide(const std::u16string& w)
{
    std::u16string p = w;
    p.resize(std::max<std::size_t>(16, std::size_t(TWordlistParentTree::PaddedLength(int32_t(w.size())))) + 8, 0);
    return p;
}

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
        const std::u16string p = wide(w);
        ids.push_back(tree.AddType(p.data(), int32_t(w.size()), tag, HashWordlistKey(w.data(), int32_t(w.size()), tag), false));
    }
    for (std::size_t k = 0; k < in.size(); ++k) {
        const auto& [w, tag] = in[k];
        const std::u16string p = wide(w);
        const uint64_t h = HashWordlistKey(w.data(), int32_t(w.size()), tag);
        ASSERT_EQ(tree.FindType(p.data(), int32_t(w.size()), tag, h), ids[k]);
        ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), tag, h), ids[k]);
        ASSERT_TRUE(tree.Text(ids[k]) == w);
    }
    for (const auto& [w, tag] : out) {
        const std::u16string p = wide(w);
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
            const std::u16string p = wide(other);
            ASSERT_EQ(tree.FindTypeWide(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType) << at;
            ASSERT_EQ(tree.FindType(p.data(), int32_t(w.size()), tag, h), TWordlistParentTree::kNoType) << at;
        }
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
