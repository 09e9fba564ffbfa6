// Relationships from an index: the pairs counted, the eleven scores, the
// settings that filter them, and the relationships list.

#include "index_testutil.h"

#include "index/index_relationships.h"
#include "suite/cv_stream.h"

#include <cmath>
#include <map>
#include <random>
#include <set>

using namespace cv;
using namespace index_test;

namespace {

class Relationships : public IndexTest {
protected:
    void SetUp() override
    {
        IndexTest::SetUp();
        // 20 running words; "red" 4 times, "car" 3 times, always right after "red".
        ASSERT_TRUE(Index({{QStringLiteral("a.txt"), QByteArray("A red car and a blue bike. The red car is fast and red.\n")},
                           {QStringLiteral("b.txt"), QByteArray("One red car and two dogs.\n")}},
                          "rel"))
            << qPrintable(lastError);
        index = Load("rel");
        options.thresholds.fill(-1e30);
        options.N = index.RunningWords();
    }
    std::map<QString, TMIDataRec> Pairs(const QStringList& nodeWords)
    {
        std::vector<uint32_t> nodes;
        for (const QString& w : nodeWords)
            for (uint32_t id : index.TypesOfWord(w))
                nodes.push_back(id);
        TRelationshipsList list(nullptr, CurrentToolSignature());
        QString error;
        EXPECT_TRUE(ComputeRelationships(index, nodes, stop, options, list, &error)) << qPrintable(error);
        std::map<QString, TMIDataRec> out;
        for (int i = 0; i < list.Count(); ++i)
            out[list.Entry(i).fData.Word1 + QLatin1Char('>') + list.Entry(i).fData.Word2] = list.Entry(i).fData;
        return out;
    }

    TIndexData index;
    TRelationshipOptions options;
    std::vector<uint8_t> stop;
};

TEST_F(Relationships, CountsThePairsWithinTheSpan)
{
    ASSERT_EQ(index.RunningWords(), 20);
    options.left = options.right = 1;
    auto pairs = Pairs({QStringLiteral("red")});
    const TMIDataRec& car = pairs[QStringLiteral("red>car")];
    EXPECT_EQ(car.Freq, 3);
    EXPECT_EQ(car.Freq1, 4);
    EXPECT_EQ(car.Freq2, 3);
    EXPECT_EQ(car.Texts, 2);
    EXPECT_EQ(car.Gap, 1);
    EXPECT_EQ(pairs[QStringLiteral("red>the")].Gap, -1);
    EXPECT_EQ(pairs[QStringLiteral("red>and")].Freq, 1);
    EXPECT_EQ(pairs.size(), 5u); // car, a, the, and, one
    // A sentence end blocks: "bike. The red" pairs "bike" with "red" at span 2 only without stopping at sentences.
    options.left = options.right = 2;
    options.stopLevel = 2;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.count(QStringLiteral("red>bike")), 0u);
    options.stopLevel = 0;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs[QStringLiteral("red>bike")].Freq, 1);
    // Never across texts: the last "red" of the first text does not see the second text's "one".
    EXPECT_EQ(pairs[QStringLiteral("red>one")].Freq, 1);
    EXPECT_EQ(pairs[QStringLiteral("red>fast")].Freq, 1);
}

TEST_F(Relationships, TheScoresAreTheStatisticsModulesForTheCounts)
{
    options.left = options.right = 1;
    const TMIDataRec car = Pairs({QStringLiteral("red")})[QStringLiteral("red>car")];
    // Worked by hand: f_AB 3, f_A 4, f_B 3, N 20, span 2: E = 4 * 3 * 2 / 20 = 1.2;
    // the window table o11 3, o12 5, o21 0, o22 12 (R1 = 8 positions near "red").
    EXPECT_NEAR(car.Scores[int(TAssociation::Dice)], 2.0 * 3 / (4 + 3), 1e-6);
    EXPECT_NEAR(car.Scores[int(TAssociation::MI)], std::log2(3 / 1.2), 1e-6);
    EXPECT_NEAR(car.Scores[int(TAssociation::MI3)], std::log2(27 / 1.2), 1e-5);
    EXPECT_NEAR(car.Scores[int(TAssociation::ZScore)], (3 - 1.2) / std::sqrt(1.2), 1e-5);
    EXPECT_NEAR(car.Scores[int(TAssociation::TScore)], (3 - 1.2) / std::sqrt(3.0), 1e-5);
    EXPECT_NEAR(car.Scores[int(TAssociation::ConditionalProbabilityA)], 3.0 / 8, 1e-6);
    EXPECT_NEAR(car.Scores[int(TAssociation::ConditionalProbabilityB)], 1.0, 1e-6);
    EXPECT_NEAR(car.Scores[int(TAssociation::DeltaPA)], 3.0 / 8 - 0.0 / 12, 1e-6);
    EXPECT_NEAR(car.Scores[int(TAssociation::DeltaPB)], 3.0 / 3 - 5.0 / 17, 1e-6);
    EXPECT_TRUE(TRelationshipsList::ColumnHelp(TRelationshipsList::kColFirstScore + int(TAssociation::ConditionalProbabilityA))
                    .contains(QStringLiteral("f(AB) / R1")));
    const TAssociationScores all = AssociationScores(3, 4, 3, 20, 2);
    for (int k = 0; k < kAssociationCount; ++k)
        EXPECT_FLOAT_EQ(car.Scores[std::size_t(k)], float(all[std::size_t(k)])) << k;
}

TEST_F(Relationships, TheSettingsFilterThePairs)
{
    options.left = 0;
    options.right = 1;
    auto pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.count(QStringLiteral("red>the")), 0u); // to the right only
    EXPECT_EQ(pairs[QStringLiteral("red>car")].Freq, 3);
    options.left = options.right = 1;
    options.minJoint = 2;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.size(), 1u);
    options.minJoint = 1;
    options.minTexts = 2;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.size(), 1u);
    EXPECT_TRUE(pairs.count(QStringLiteral("red>car")));
    options.minTexts = 1;
    options.minWord2Freq = 3;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.size(), 2u); // "car" and "and", 3 times each
    options.minWord2Freq = 1;
    // Thresholds: all of them, or any.
    options.thresholds.fill(-1e30);
    options.thresholds[int(TAssociation::MI)] = 1.0;
    pairs = Pairs({QStringLiteral("red")});
    EXPECT_EQ(pairs.size(), 3u); // car, the, one; not "a" nor "and"
    for (const auto& [k, d] : pairs)
        EXPECT_GE(d.Scores[int(TAssociation::MI)], 1.0f) << qPrintable(k);
    options.thresholds.fill(1e30);
    options.thresholds[int(TAssociation::MI)] = 1.0;
    EXPECT_TRUE(Pairs({QStringLiteral("red")}).empty());
    options.anyThreshold = true;
    EXPECT_FALSE(Pairs({QStringLiteral("red")}).empty());
}

TEST_F(Relationships, PairsOfNodeWordsAreShownOnceUnlessBothWaysAreWanted)
{
    options.left = options.right = 1;
    auto pairs = Pairs({QStringLiteral("red"), QStringLiteral("car")});
    EXPECT_EQ(pairs.count(QStringLiteral("car>red")), 1u);
    EXPECT_EQ(pairs.count(QStringLiteral("red>car")), 0u);
    options.bothWays = true;
    pairs = Pairs({QStringLiteral("red"), QStringLiteral("car")});
    EXPECT_EQ(pairs[QStringLiteral("car>red")].Freq, pairs[QStringLiteral("red>car")].Freq);
    // Every word a node: all pairs.
    options.bothWays = false;
    EXPECT_GT(Pairs({}).size(), 10u);
}

TEST_F(Relationships, StopListAndFrequentWords)
{
    options.left = options.right = 1;
    stop.assign(index.types.size(), 0);
    stop[std::size_t(index.FindType(QStringLiteral("and")))] = 1;
    options.stopListMode = 2;
    EXPECT_EQ(Pairs({QStringLiteral("red")}).count(QStringLiteral("red>and")), 0u);
    options.stopListMode = 1;
    EXPECT_TRUE(Pairs({QStringLiteral("and")}).empty());
    options.stopListMode = 0;
    options.maxPercent = 10; // "red" is 20 % of the running words
    EXPECT_TRUE(Pairs({QStringLiteral("red")}).empty());
}

// A text far longer than a stretch of the walk (the texts are read a
// stretch at a time): the pairs across the seams of the stretches are
// counted like any other, against a count made directly from the words,
// with the spans stopped at sentence ends and at the end of each text.
TEST_F(Relationships, ATextOfAnyLengthGivesThePairsCountedDirectly)
{
    // "red" every other word, sentences of 40 words: every seam between
    // stretches falls within the spans of some "red".
    static const char* const kWords[] = {"car", "blue", "bike", "fast", "dog", "and", "the", "red"};
    std::mt19937 rng(41);
    std::vector<QStringList> texts(2);
    TTexts files;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        // A sentence ends at a full stop before a capital letter.
        QString s;
        for (int i = 0; i < (t == 0 ? 150000 : 3000); ++i) {
            texts[t] << QLatin1String(i % 2 == 0 ? "red" : kWords[rng() % 8]);
            QString word = texts[t].back();
            if (i % 40 == 0)
                word[0] = word[0].toUpper();
            s += word;
            if (i % 40 == 39) {
                texts[t] << QStringLiteral(".");
                s += QLatin1Char('.');
            }
            s += QLatin1Char(' ');
        }
        files.push_back({QStringLiteral("long%1.txt").arg(t), s.toUtf8()});
    }
    ASSERT_TRUE(Index(files, "long")) << qPrintable(lastError);
    index = Load("long");
    ASSERT_GT(index.texts[0].tokens, 2 * 65536); // stretches of the walk
    options.left = 3;
    options.right = 2;
    options.stopLevel = 2;
    options.N = index.RunningWords();
    const auto pairs = Pairs({QStringLiteral("red")});
    // Each "red" with the words up to 3 before and 2 after it in its sentence.
    struct TCount {
        int64_t freq = 0, distances = 0;
        std::set<std::size_t> texts;
    };
    std::map<QString, TCount> direct;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const QStringList& w = texts[t];
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] != QLatin1String("red"))
                continue;
            auto count = [&](qsizetype j) {
                if (w[j] == QLatin1String("red"))
                    return;
                TCount& c = direct[QStringLiteral("red>") + w[j]];
                ++c.freq;
                c.distances += j - i;
                c.texts.insert(t);
            };
            for (qsizetype j = i - 1, seen = 0; j >= 0 && seen < options.left && w[j] != QLatin1String("."); --j, ++seen)
                count(j);
            for (qsizetype j = i + 1, seen = 0; j < w.size() && seen < options.right && w[j] != QLatin1String("."); ++j, ++seen)
                count(j);
        }
    }
    ASSERT_EQ(pairs.size(), direct.size());
    for (const auto& [pair, c] : direct) {
        const auto it = pairs.find(pair);
        ASSERT_NE(it, pairs.end()) << qPrintable(pair);
        EXPECT_EQ(it->second.Freq, c.freq) << qPrintable(pair);
        EXPECT_EQ(it->second.Texts, int32_t(c.texts.size())) << qPrintable(pair);
        EXPECT_EQ(it->second.Gap, int32_t(std::lround(double(c.distances) / double(c.freq)))) << qPrintable(pair);
    }
}

TEST_F(Relationships, TheHandlerTakesTheIndexSettings)
{
    auto doc = Open("rel");
    TIndexHandler& h = *doc->fIndexHandler;
    h.fSettings.SetRelationSpan(1);
    for (int i = 0; i < kAssociationCount; ++i)
        h.fSettings.SetThreshold(i, -999.0f);
    h.fWordChoice = kIndexProcessSelected;
    h.fWordsToProcess = {QStringLiteral("RED")};
    h.SetTotalTokensInIndex(20);
    ASSERT_TRUE(h.ComputeMIAssociation()) << qPrintable(h.LastError());
    const TRelationshipsList& list = *h.fRelationshipsList;
    ASSERT_GT(list.Count(), 0);
    EXPECT_EQ(list.MIData(0).Word1, QStringLiteral("red"));
    EXPECT_EQ(list.TotalTokens, 20);
    h.fWordsToProcess = {QStringLiteral("unicorn")};
    EXPECT_FALSE(h.ComputeMIAssociation());
}

TEST(RelationshipsList, SortsFindsAndStores)
{
    TRelationshipsList list(nullptr, CurrentToolSignature());
    auto add = [&](const char* w1, const char* w2, int64_t f, float mi) {
        auto e = std::make_unique<TRelationshipEntry>(&list);
        e->fData.Word1 = QString::fromLatin1(w1);
        e->fData.Word2 = QString::fromLatin1(w2);
        e->fData.Freq = f;
        e->fData.Scores[int(TAssociation::MI)] = mi;
        list.Add(std::move(e));
    };
    add("red", "car", 5, 3.0f);
    add("blue", "sky", 9, 1.0f);
    add("red", "apple", 5, 4.0f);
    EXPECT_EQ(list.ColumnCount(), TRelationshipsList::kColumnCount);
    EXPECT_EQ(list.Heading(TRelationshipsList::kColFirstScore), QStringLiteral("Dice"));
    EXPECT_EQ(TRelationshipsList::TrueColumnToMISort(TRelationshipsList::kColFirstScore + 1),
              TRelationshipsList::kSortFirstScore + 1);
    EXPECT_EQ(TRelationshipsList::TrueColumnToMISort(TRelationshipsList::kColWord2), TRelationshipsList::kSortWord2);

    list.SetThreeSorts(TRelationshipsList::kSortFreq, TRelationshipsList::kSortFirstScore + int(TAssociation::MI), -1);
    list.SetSortAscending(0, false);
    list.SetSortAscending(1, false);
    list.CompleteResort();
    EXPECT_EQ(list.MIData(0).Word2, QStringLiteral("sky"));
    EXPECT_EQ(list.MIData(1).Word2, QStringLiteral("apple"));
    EXPECT_EQ(list.MIData(2).Word2, QStringLiteral("car"));

    list.SetCompareFunct(2);
    list.CompleteResort();
    EXPECT_EQ(list.MIData(0).Word2, QStringLiteral("apple"));
    EXPECT_EQ(list.FindTypedWord(QStringLiteral("SK")), 2);
    list.SetCompareFunct(0);
    EXPECT_EQ(list.FindTypedWord(QStringLiteral("bl")), list.Find_Word(QStringLiteral("blue")));

    TMemoryStream s;
    ASSERT_TRUE(list.SaveToStream(s));
    s.SetPosition(0);
    TRelationshipsList back(nullptr, CurrentToolSignature());
    ASSERT_TRUE(back.ReadFromStream(s));
    ASSERT_EQ(back.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back.MIData(i), list.MIData(i));
}

} // namespace
