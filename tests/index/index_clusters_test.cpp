// Clusters and phrase frames from an index, against n-grams counted directly.

#include "index_testutil.h"
#include "support/threads_refused.h"

#include "support/failing_allocations.h"

#include "index/index_clusters.h"
#include "model/batch_procedures.h"
#include "wordlist/dispersion.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>
#include <random>
#include <set>

#include <sys/resource.h>

using namespace cv;
using namespace index_test;

namespace {

// The n-grams of plain texts counted the simple way: words are runs of
// letters (lower-cased), sentences end at ".", "!" or "?", a cluster never
// crosses a sentence end or a text. Frequency and texts of each.
struct TCounted {
    int64_t freq = 0;
    std::set<int> texts;
};
std::map<QString, TCounted> DirectNgrams(const std::vector<QString>& texts, int n, bool acrossSentences)
{
    std::map<QString, TCounted> out;
    for (int t = 0; t < int(texts.size()); ++t) {
        const QStringList sentences = acrossSentences ? QStringList{texts[std::size_t(t)]}
                                                      : texts[std::size_t(t)].split(QRegularExpression(QStringLiteral("[.!?]")));
        for (const QString& s : sentences) {
            const QStringList words = s.toLower().split(QRegularExpression(QStringLiteral("[^a-z]+")), Qt::SkipEmptyParts);
            for (qsizetype i = 0; i + n <= words.size(); ++i) {
                TCounted& c = out[words.mid(i, n).join(QLatin1Char(' '))];
                ++c.freq;
                c.texts.insert(t);
            }
        }
    }
    return out;
}

// A text of words each chosen by `word(rng)`; a sentence ends at a full
// stop before a capital letter, after a word one time in `sentenceOneIn`.
template <typename TWord>
QString Sentences(int words, std::mt19937& rng, TWord&& word, unsigned sentenceOneIn)
{
    QString s;
    bool capital = true;
    for (int i = 0; i < words; ++i) {
        QString w = word(rng);
        if (capital)
            w[0] = w[0].toUpper();
        s += w;
        capital = rng() % sentenceOneIn == 0;
        s += capital ? QStringLiteral(". ") : QStringLiteral(" ");
    }
    return s + QStringLiteral(".\n");
}

std::vector<QString> RandomTexts(int count, int words, unsigned seed)
{
    static const char* const kWords[] = {"the", "cat", "sat", "on", "mat", "a", "dog", "ran", "to", "big", "red", "house"};
    std::mt19937 rng(seed);
    std::vector<QString> texts;
    for (int t = 0; t < count; ++t)
        texts.push_back(Sentences(words, rng, [](std::mt19937& r) { return QString::fromLatin1(kWords[r() % 12]); }, 9));
    return texts;
}

// Texts over a vocabulary of 240 words, the k-th about 1/k as frequent as the first.
std::vector<QString> ZipfTexts(const std::vector<int>& lengths, unsigned seed)
{
    std::mt19937 rng(seed);
    auto word = [](std::mt19937& r) {
        const auto k = unsigned(std::exp(std::uniform_real_distribution<double>(0, std::log(240.0))(r)));
        return QChar(u'a' + char16_t(k % 20)) + QString(QChar(u'a' + char16_t(k / 20 + 1))) + QStringLiteral("x");
    };
    std::vector<QString> texts;
    for (const int words : lengths)
        texts.push_back(Sentences(words, rng, word, 13));
    return texts;
}

class Clusters : public IndexTest {
protected:
    bool Make(const std::vector<QString>& texts, const QString& name = QStringLiteral("ix"))
    {
        TTexts files;
        for (std::size_t i = 0; i < texts.size(); ++i)
            files.push_back({QStringLiteral("t%1.txt").arg(i), texts[i].toUtf8()});
        if (!Index(files, name))
            return false;
        index = Load(name);
        return true;
    }
    std::map<QString, TCounted> Counted(const TClusterOptions& o, const std::vector<uint32_t>& nodes = {})
    {
        TClusterRun run;
        QString error;
        EXPECT_TRUE(CountClusters(index, nodes, {}, o, run, &error)) << qPrintable(error);
        std::map<QString, TCounted> out;
        for (const TClusterResult& c : run.clusters) {
            TCounted& k = out[ClusterText(index, c.codes())];
            k.freq = c.freq;
            for (int t = 0; t < c.texts; ++t)
                k.texts.insert(t);
        }
        return out;
    }
    static TClusterOptions Options(int n, int64_t minFreq = 1)
    {
        TClusterOptions o;
        o.minSize = o.maxSize = n;
        o.minFreq = minFreq;
        o.stopLevel = 2;
        o.phraseFrames = false;
        return o;
    }
    static void ExpectSame(const std::map<QString, TCounted>& index, const std::map<QString, TCounted>& direct, int64_t minFreq)
    {
        std::size_t expected = 0;
        for (const auto& [cluster, c] : direct) {
            if (c.freq < minFreq)
                continue;
            ++expected;
            const auto it = index.find(cluster);
            ASSERT_NE(it, index.end()) << qPrintable(cluster);
            EXPECT_EQ(it->second.freq, c.freq) << qPrintable(cluster);
            EXPECT_EQ(it->second.texts.size(), c.texts.size()) << qPrintable(cluster);
        }
        EXPECT_EQ(index.size(), expected);
    }

    // The same clusters in the same order, with the same frequencies and
    // texts (and, `spread`, dispersion and frames).
    void ExpectSameClusters(const TClusterRun& x, const TClusterRun& y, bool spread) const
    {
        ASSERT_FALSE(x.clusters.empty());
        ASSERT_EQ(y.clusters.size(), x.clusters.size());
        for (std::size_t i = 0; i < x.clusters.size(); ++i) {
            const TClusterResult& a = x.clusters[i];
            const TClusterResult& b = y.clusters[i];
            ASSERT_TRUE(std::ranges::equal(b.codes(), a.codes())) << i;
            const QString text = ClusterText(index, a.codes());
            EXPECT_EQ(b.freq, a.freq) << qPrintable(text);
            EXPECT_EQ(b.texts, a.texts) << qPrintable(text);
            if (spread) {
                EXPECT_EQ(b.dispersion, a.dispersion) << qPrintable(text);
                EXPECT_EQ(b.frame, a.frame) << qPrintable(text);
            }
        }
    }

    TIndexData index;
};

TEST_F(Clusters, EqualTheNgramsCountedDirectly)
{
    const std::vector<QString> texts = RandomTexts(5, 400, 7);
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    for (int n = 2; n <= 5; ++n) {
        SCOPED_TRACE(n);
        ExpectSame(Counted(Options(n)), DirectNgrams(texts, n, false), 1);
        ExpectSame(Counted(Options(n, 3)), DirectNgrams(texts, n, false), 3);
        TClusterOptions across = Options(n);
        across.stopLevel = 0;
        ExpectSame(Counted(across), DirectNgrams(texts, n, true), 1);
    }
}

TEST_F(Clusters, CountsWrittenToRunFilesLoseNothing)
{
    const std::vector<QString> texts = RandomTexts(4, 3000, 11);
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    TClusterOptions o = Options(3, 4);
    o.tableBytesLimit = 1; // the counts go to run files every few clusters
    ExpectSame(Counted(o), DirectNgrams(texts, 3, false), 4);
    o.minTexts = 4;
    const auto counted = Counted(o);
    for (const auto& [cluster, c] : counted)
        EXPECT_EQ(c.texts.size(), 4u) << qPrintable(cluster);
}

// Counts written to run files and merged give the very list counted in
// memory: the same clusters in the same order, with their frequencies,
// texts, dispersion and frames, also where a run begins or ends in the
// middle of a text (long texts, runs of a few dozen clusters), for one text
// (parts are its tenths) and for a range of texts.
TEST_F(Clusters, CountsInRunFilesEqualCountsInMemory)
{
    std::vector<QString> texts = RandomTexts(6, 700, 5);
    texts[2] = RandomTexts(1, 40, 8)[0];
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    struct TCase {
        int minSize, maxSize;
        int64_t minFreq;
        int32_t first, last;
    };
    for (const TCase& k : {TCase{2, 2, 1, 0, -1}, TCase{3, 3, 2, 0, -1}, TCase{2, 5, 2, 1, 4}, TCase{2, 4, 1, 3, 3}}) {
        SCOPED_TRACE(testing::Message() << k.minSize << "-" << k.maxSize << " from " << k.first << " to " << k.last);
        TClusterOptions o = Options(k.minSize, k.minFreq);
        o.maxSize = k.maxSize;
        o.dispersion = true;
        o.phraseFrames = true;
        TClusterRun inMemory, spilled;
        QString error;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, inMemory, &error, k.first, k.last)) << qPrintable(error);
        o.tableBytesLimit = 1;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, spilled, &error, k.first, k.last)) << qPrintable(error);
        ExpectSameClusters(inMemory, spilled, true);
        ASSERT_EQ(spilled.frames.size(), inMemory.frames.size());
        for (std::size_t f = 0; f < inMemory.frames.size(); ++f) {
            EXPECT_EQ(spilled.frames[f].codes, inMemory.frames[f].codes);
            EXPECT_EQ(spilled.frames[f].texts, inMemory.frames[f].texts);
            EXPECT_EQ(spilled.frames[f].dispersion, inMemory.frames[f].dispersion);
        }
    }
}

// The places scattered into many blocks (each block's clusters counted in
// a table of its own, then all put in the order first met) give the very
// list counted in one block: the same clusters in the same order, with
// their frequencies, texts, dispersion and frames, also where a block's
// counts go to run files, and where the texts are walked and the blocks
// counted on several threads; over many short texts (a block's places lie
// texts apart) and long ones, for one text (parts are its tenths) and for
// ranges of texts, with the texts counted while counting or while spreading.
TEST_F(Clusters, CountsOfManyBlocksEqualCountsOfOne)
{
    std::vector<int> lengths(60, 25);
    lengths.insert(lengths.end(), {6000, 900, 3});
    ASSERT_TRUE(Make(ZipfTexts(lengths, 29))) << qPrintable(lastError);
    struct TCase {
        int minSize, maxSize;
        int64_t minFreq;
        int32_t first, last;
    };
    for (const TCase& k : {TCase{2, 2, 1, 0, -1}, TCase{3, 3, 2, 0, -1}, TCase{2, 4, 2, 10, 62}, TCase{2, 3, 1, 60, 60}}) {
        for (const bool dispersion : {true, false}) {
            SCOPED_TRACE(testing::Message() << k.minSize << "-" << k.maxSize << " from " << k.first << " to " << k.last
                                            << (dispersion ? " with" : " without") << " dispersion");
            TClusterOptions o = Options(k.minSize, k.minFreq);
            o.maxSize = k.maxSize;
            o.dispersion = dispersion;
            o.phraseFrames = true;
            o.placesPerBlock = int64_t(1) << 40;
            o.threads = 1;
            TClusterRun one, many, spilled, threaded;
            QString error;
            ASSERT_TRUE(CountClusters(index, {}, {}, o, one, &error, k.first, k.last)) << qPrintable(error);
            o.placesPerBlock = 16;
            ASSERT_TRUE(CountClusters(index, {}, {}, o, many, &error, k.first, k.last)) << qPrintable(error);
            o.threads = 3;
            ASSERT_TRUE(CountClusters(index, {}, {}, o, threaded, &error, k.first, k.last)) << qPrintable(error);
            o.tableBytesLimit = 1;
            ASSERT_TRUE(CountClusters(index, {}, {}, o, spilled, &error, k.first, k.last)) << qPrintable(error);
            EXPECT_EQ(one.scratchBytes, 0);
            EXPECT_GT(many.scratchBytes, 0);
            EXPECT_GT(spilled.scratchBytes, many.scratchBytes);
            for (const TClusterRun* run : {&many, &threaded, &spilled}) {
                EXPECT_EQ(run->positions, one.positions);
                ExpectSameClusters(one, *run, true);
                ASSERT_EQ(run->frames.size(), one.frames.size());
                for (std::size_t f = 0; f < one.frames.size(); ++f) {
                    EXPECT_EQ(run->frames[f].codes, one.frames[f].codes);
                    EXPECT_EQ(run->frames[f].variants, one.frames[f].variants);
                    EXPECT_EQ(run->frames[f].texts, one.frames[f].texts);
                    EXPECT_EQ(run->frames[f].dispersion, one.frames[f].dispersion);
                }
            }
        }
    }
}

// Threads the system cannot start: the walks and the blocks are done on the
// threads that started, or here, and the list is the one of one thread.
TEST_F(Clusters, ThreadsTheSystemCannotStartAreDoneWithout)
{
    std::vector<int> lengths(40, 25);
    lengths.insert(lengths.end(), {3000, 500});
    ASSERT_TRUE(Make(ZipfTexts(lengths, 31))) << qPrintable(lastError);
    TClusterOptions o = Options(2, 1);
    o.maxSize = 3;
    o.dispersion = true;
    o.placesPerBlock = 16;
    o.threads = 1;
    TClusterRun one, refused;
    QString error;
    ASSERT_TRUE(CountClusters(index, {}, {}, o, one, &error)) << qPrintable(error);
    o.threads = 4;
    {
        cvtest::TThreadsRefused noThreads;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, refused, &error)) << qPrintable(error);
    }
    EXPECT_EQ(refused.positions, one.positions);
    ExpectSameClusters(one, refused, true);
}

// The texts of the clusters are counted by the dispersion walk when it
// follows (and no minimum of texts is asked), by the counting walk when it
// does not: the same texts either way, in memory and in run files, for one
// text (its tenths are one text) and for a range of texts.
TEST_F(Clusters, TextsCountedWhileSpreadingEqualTextsCountedWhileCounting)
{
    std::vector<QString> texts = RandomTexts(5, 600, 17);
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    struct TCase {
        int size;
        int32_t first, last;
        std::size_t tableBytes;
    };
    for (const TCase& k : {TCase{2, 0, -1, 0}, TCase{3, 0, -1, 0}, TCase{4, 1, 3, 0}, TCase{2, 2, 2, 0},
                           TCase{2, 0, -1, 1}, TCase{3, 1, 4, 1}}) {
        SCOPED_TRACE(testing::Message() << k.size << " from " << k.first << " to " << k.last << " limit " << k.tableBytes);
        TClusterOptions o = Options(k.size, 1);
        o.tableBytesLimit = k.tableBytes;
        o.dispersion = false;
        TClusterRun counting, spreading;
        QString error;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, counting, &error, k.first, k.last)) << qPrintable(error);
        o.dispersion = true;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, spreading, &error, k.first, k.last)) << qPrintable(error);
        ExpectSameClusters(counting, spreading, false);
    }
}

// A text cut into stretches for reading: clusters across the seams of the
// stretches are counted like any other (a text far longer than a stretch).
TEST_F(Clusters, ALongTextIsCountedAcrossItsStretches)
{
    const std::vector<QString> texts = RandomTexts(1, 150000, 13);
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    for (int n : {2, 5}) {
        SCOPED_TRACE(n);
        ExpectSame(Counted(Options(n, 2)), DirectNgrams(texts, n, false), 2);
    }
}

TEST_F(Clusters, SeveralSizesInOneRun)
{
    const std::vector<QString> texts = RandomTexts(3, 300, 3);
    ASSERT_TRUE(Make(texts));
    TClusterOptions o = Options(2, 2);
    o.maxSize = 4;
    const auto counted = Counted(o);
    std::map<QString, TCounted> direct;
    for (int n = 2; n <= 4; ++n)
        direct.merge(DirectNgrams(texts, n, false));
    ExpectSame(counted, direct, 2);
}

TEST_F(Clusters, NumbersChosenWordsAndFrequentWords)
{
    ASSERT_TRUE(Make({QStringLiteral("We saw 3 cats and 3 cats. We saw 3 cats.\n"), QStringLiteral("We saw the dogs.\n")}));
    TClusterOptions o = Options(3);
    auto counted = Counted(o);
    EXPECT_FALSE(counted.count(QStringLiteral("saw # cats")));
    EXPECT_EQ(counted[QStringLiteral("we saw the")].freq, 1);
    o.omitNumbers = false;
    counted = Counted(o);
    EXPECT_EQ(counted[QStringLiteral("saw # cats")].freq, 2);
    EXPECT_EQ(counted[QStringLiteral("saw # cats")].texts.size(), 1u);
    // Only clusters holding a chosen word.
    const std::vector<uint32_t> dogs = index.TypesOfWord(QStringLiteral("dogs"));
    counted = Counted(Options(2), dogs);
    EXPECT_EQ(counted.size(), 1u);
    EXPECT_TRUE(counted.count(QStringLiteral("the dogs")));
    // "we" and "saw" are each a fifth of the running words: above 15 % they are not chosen.
    TClusterOptions rare = Options(2);
    rare.maxPercent = 15;
    counted = Counted(rare);
    EXPECT_FALSE(counted.count(QStringLiteral("we saw")));
    EXPECT_TRUE(counted.count(QStringLiteral("saw the")));
}

TEST_F(Clusters, DispersionIsTheWordListsMeasureOverTheTexts)
{
    // "red house" four times in the first text only; "big dog" once in each.
    ASSERT_TRUE(Make({QStringLiteral("red house red house red house red house big dog.\n"),
                      QStringLiteral("big dog and more words here.\n"), QStringLiteral("a big dog.\n")}));
    TClusterOptions o = Options(2);
    o.dispersion = true;
    TClusterRun run;
    QString error;
    ASSERT_TRUE(CountClusters(index, {}, {}, o, run, &error));
    std::map<QString, float> dispersion;
    for (const TClusterResult& c : run.clusters)
        dispersion[ClusterText(index, c.codes())] = c.dispersion;
    // Parts: the texts' running words, 10, 6 and 3 of 19.
    const std::vector<double> shares{10.0 / 19, 6.0 / 19, 3.0 / 19};
    const double smallest = 3.0 / 19;
    const std::vector<int64_t> red{4, 0, 0}, big{1, 1, 1};
    EXPECT_NEAR(dispersion[QStringLiteral("red house")],
                NormalisedDeviationOfProportions(DeviationOfProportions(red, shares), smallest), 1e-6);
    EXPECT_NEAR(dispersion[QStringLiteral("big dog")],
                NormalisedDeviationOfProportions(DeviationOfProportions(big, shares), smallest), 1e-6);
    EXPECT_GT(dispersion[QStringLiteral("red house")], dispersion[QStringLiteral("big dog")]);
}

// Most clusters met fall below the minimum frequency, so that the kept ones
// are scattered over the orders the counting met them in: each still gets
// its own texts and dispersion (the word list's measure of its frequency in
// each text), over texts of several sizes.
TEST_F(Clusters, KeptClustersAmongManyDroppedGetTheirOwnSpread)
{
    // Words of a vocabulary of 240, the k-th about 1/k as frequent as the first.
    std::mt19937 rng(23);
    std::vector<QString> texts;
    for (const int words : {3000, 3000, 2500, 400}) {
        QString s;
        for (int i = 0; i < words; ++i) {
            const auto k = unsigned(std::exp(std::uniform_real_distribution<double>(0, std::log(240.0))(rng)));
            s += QChar(u'a' + char16_t(k % 20)) + QString(QChar(u'a' + char16_t(k / 20 + 1))) + QStringLiteral("x ");
        }
        texts.push_back(s + QStringLiteral(".\n"));
    }
    ASSERT_TRUE(Make(texts)) << qPrintable(lastError);
    std::vector<double> shares;
    double all = 0, smallest = 1;
    for (const QString& t : texts)
        shares.push_back(double(t.split(QRegularExpression(QStringLiteral("[^A-Za-z]+")), Qt::SkipEmptyParts).size()));
    for (double s : shares)
        all += s;
    for (double& s : shares)
        smallest = std::min(smallest, s /= all);
    for (const int n : {2, 3}) {
        SCOPED_TRACE(n);
        const int64_t minFreq = n == 2 ? 8 : 3;
        TClusterOptions o = Options(n, minFreq);
        o.dispersion = true;
        TClusterRun run;
        QString error;
        ASSERT_TRUE(CountClusters(index, {}, {}, o, run, &error)) << qPrintable(error);
        std::map<QString, std::vector<int64_t>> perText;
        for (std::size_t t = 0; t < texts.size(); ++t)
            for (const auto& [cluster, c] : DirectNgrams({texts[t]}, n, false)) {
                auto& counts = perText[cluster];
                counts.resize(texts.size(), 0);
                counts[t] = c.freq;
            }
        std::size_t kept = 0, met = 0;
        for (const auto& [cluster, counts] : perText) {
            ++met;
            int64_t freq = 0;
            int32_t inTexts = 0;
            for (int64_t c : counts) {
                freq += c;
                inTexts += c > 0 ? 1 : 0;
            }
            if (freq < minFreq)
                continue;
            ++kept;
            const auto it = std::ranges::find_if(run.clusters, [&](const TClusterResult& c) {
                return ClusterText(index, c.codes()) == cluster;
            });
            ASSERT_NE(it, run.clusters.end()) << qPrintable(cluster);
            EXPECT_EQ(it->freq, freq) << qPrintable(cluster);
            EXPECT_EQ(it->texts, inTexts) << qPrintable(cluster);
            EXPECT_NEAR(it->dispersion, NormalisedDeviationOfProportions(DeviationOfProportions(counts, shares), smallest),
                        1e-6)
                << qPrintable(cluster);
        }
        EXPECT_EQ(run.clusters.size(), kept);
        EXPECT_GT(met, 4 * kept); // most were dropped
        EXPECT_GT(kept, 64u);     // kept ones spread over many words of the order map
    }
}

TEST_F(Clusters, PhraseFramesGatherClustersThatDifferInOnePlace)
{
    ASSERT_TRUE(Make({QStringLiteral("The cat sat. The dog sat. The cat sat. The cow sat. A cat ran.\n")}));
    TClusterOptions o = Options(3);
    o.phraseFrames = true;
    TClusterRun run;
    QString error;
    ASSERT_TRUE(CountClusters(index, {}, {}, o, run, &error));
    ASSERT_EQ(run.frames.size(), 1u);
    const TPhraseFrame& f = run.frames[0];
    EXPECT_EQ(ClusterText(index, f.codes), QStringLiteral("the * sat"));
    EXPECT_EQ(f.variants.size(), 3u);
    EXPECT_EQ(f.freq, 4);
    EXPECT_EQ(f.texts, 1);
    // In the word list the variants are joined under the frame.
    auto list = MakeClusterWordList(nullptr, index, run, index.RunningWords(), 1);
    const int frame = list->FindWordAndTag(QStringLiteral("the * sat"), QString());
    ASSERT_GE(frame, 0);
    EXPECT_EQ(list->Entry(frame).JoinedCount(), 3);
    EXPECT_EQ(list->CorrectFreq(frame, true), 4);
    EXPECT_GE(list->FindWordAndTag(QStringLiteral("a cat ran"), QString()), 0);
    EXPECT_EQ(list->FindWordAndTag(QStringLiteral("the cat sat"), QString()), -1); // joined, not a row
}

TEST_F(Clusters, TheDocumentPutsClustersInItsWordListAndJoinsThem)
{
    ASSERT_TRUE(Index({{QStringLiteral("a.txt"), QByteArray("One of the best. One of the best. One of the.\n")}}, "doc"));
    auto doc = Open("doc");
    TWordlist_index_settings_rec& s = doc->fIndexHandler->fSettings;
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(4);
    s.SetMinShowFrequency(2);
    s.SetStopAt(2);
    s.SetOmitPhraseFrames(true);
    bool perText = false;
    ASSERT_TRUE(doc->ComputeClusters([&] { perText = true; }));
    EXPECT_FALSE(perText);
    TCVWordList& list = *doc->WordlistOfType(kListWordList);
    EXPECT_EQ(list.CorrectFreq(list.FindWordAndTag(QStringLiteral("one of the best"), QString())), 2);
    EXPECT_EQ(list.CorrectFreq(list.FindWordAndTag(QStringLiteral("of the"), QString())), 3);
    ASSERT_TRUE(list.JoinClusters(true));
    const int longest = list.FindWordAndTag(QStringLiteral("one of the best"), QString());
    ASSERT_GE(longest, 0);
    EXPECT_GT(list.Entry(longest).JoinedCount(), 0);
    // Nothing to find: no list, no change.
    s.SetMinShowFrequency(50);
    EXPECT_FALSE(doc->ComputeClusters({}));
}

TEST_F(Clusters, OneClusterListPerText)
{
    ASSERT_TRUE(Index({{QStringLiteral("a.txt"), QByteArray("red house red house.\n")},
                       {QStringLiteral("b.txt"), QByteArray("big dog big dog big dog.\n")}},
                      "per"));
    auto doc = Open("per");
    TWordlist_index_settings_rec& s = doc->fIndexHandler->fSettings;
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(2);
    s.SetMinShowFrequency(2);
    s.SetClusterListsPerText(true);
    const QString folder = dir.file("batch");
    bool saved = false;
    ASSERT_TRUE(doc->ComputeClusters([&] { saved = doc->SaveTempClusterWordlists(folder); }));
    EXPECT_TRUE(saved);
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.lst")}, QDir::Files, QDir::Name);
    ASSERT_EQ(files, (QStringList{QStringLiteral("a.lst"), QStringLiteral("b.lst")}));
    T_WholeWordlistHolder b(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(b.ReadWholeFromFile(QDir(folder).filePath(QStringLiteral("b.lst"))));
    const TCVWordList& list = *b.WordlistOfType(kListWordList);
    EXPECT_EQ(list.CorrectFreq(list.FindWordAndTag(QStringLiteral("big dog"), QString())), 3);
    EXPECT_EQ(list.FindWordAndTag(QStringLiteral("red house"), QString()), -1);
}

TEST_F(Clusters, RunningShortOfMemoryStopsTheCountWithAMessage)
{
    ASSERT_TRUE(Make(RandomTexts(3, 300, 11))) << qPrintable(lastError);
    // Counted in memory, spilled to run files (a small table), and in
    // blocks counted on several threads.
    struct TCase {
        std::size_t table;
        int64_t placesPerBlock;
        int threads;
    };
    for (const TCase& k : {TCase{0, 0, 1}, TCase{4096, 0, 1}, TCase{0, 64, 3}}) {
        auto job = [&](QString& message) {
            TClusterOptions o = Options(3);
            o.tableBytesLimit = k.table;
            o.placesPerBlock = k.placesPerBlock;
            o.threads = k.threads;
            TClusterRun run;
            cvtest::ShortageFromHere();
        const bool ok = CountClusters(index, {}, {}, o, run, &message);
        cvtest::ShortageToHere();
            return ok && !run.clusters.empty();
        };
        cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(job));
    }
}

// A temporary folder that fills while counts go to run files, or while the
// places go to the blocks' files (also from walks on several threads): the
// count stops with the folder and the system's reason (it said "Unknown
// error").
TEST_F(Clusters, AFullTemporaryFolderStopsTheCountSayingWhy)
{
    ASSERT_TRUE(Make(RandomTexts(4, 3000, 11))) << qPrintable(lastError);
    for (const int threads : {1, 3}) {
        for (const bool blocks : {false, true}) {
            SCOPED_TRACE(testing::Message() << (blocks ? "blocks" : "runs") << " on " << threads << " threads");
            // A limit on the size of a file stands in for a full disk (a
            // run of this small table is some 30 bytes).
            const QString message = cvtest::runInChild([&] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{16, 16};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                TClusterOptions o = Options(3);
                o.tableBytesLimit = blocks ? 0 : 1;
                o.placesPerBlock = blocks ? 64 : 0;
                o.threads = threads;
                TClusterRun run;
                QString error;
                return CountClusters(index, {}, {}, o, run, &error) ? QStringLiteral("counted") : error;
            });
            EXPECT_TRUE(message.contains(QStringLiteral("Cannot write a scratch file in"))) << qPrintable(message);
            EXPECT_TRUE(message.contains(QStringLiteral("File too large"))) << qPrintable(message);
        }
    }
}

TEST_F(Clusters, WithoutAnIndexThereAreNone)
{
    T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
    EXPECT_FALSE(doc.ComputeClusters({}));
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("CantMakeClustersWithoutIndex")));
}

} // namespace
