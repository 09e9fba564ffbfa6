// Run files of the cluster counts: what is written is read back as it was,
// whatever the codes and counts, across the buffers of writing and reading.

#include "index/cluster_runs.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <vector>

using namespace cv;

namespace {

constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();

struct TWritten {
    std::vector<uint32_t> codes;
    TClusterRunCounts counts;
};

// Writes the records into a run and reads them back, expecting each as written.
void ExpectReadAsWritten(int size, int32_t startText, uint64_t clusters, const std::vector<TWritten>& records)
{
    TClusterRunFile run(size, startText, clusters);
    QString error;
    ASSERT_TRUE(run.Create(QDir::tempPath(), &error)) << qPrintable(error);
    for (const TWritten& w : records)
        ASSERT_TRUE(run.Add(w.codes, w.counts, &error)) << qPrintable(error);
    ASSERT_TRUE(run.Finish(&error)) << qPrintable(error);
    TClusterRunReader reader;
    ASSERT_TRUE(reader.Open(run, &error)) << qPrintable(error);
    for (std::size_t k = 0; k < records.size(); ++k) {
        SCOPED_TRACE(k);
        ASSERT_FALSE(reader.Done());
        const TWritten& w = records[k];
        ASSERT_TRUE(std::ranges::equal(reader.Codes(), w.codes));
        EXPECT_EQ(reader.Counts().freq, w.counts.freq);
        EXPECT_EQ(reader.Counts().texts, w.counts.texts);
        EXPECT_EQ(reader.Counts().lastText, w.counts.lastText);
        EXPECT_EQ(reader.Counts().order, w.counts.order);
        EXPECT_EQ(reader.Counts().inStartText, w.counts.inStartText);
        ASSERT_TRUE(reader.Next(&error)) << qPrintable(error);
    }
    EXPECT_TRUE(reader.Done());
}

// Sorted clusters whose codes are drawn mostly from the edges of the
// variable-length numbers (0, 127/128, 16383/16384, the largest codes), so
// that neighbours share long prefixes and the rises between them are from
// 1 to nearly 2^32; their counts from the same edges, the largest frequency
// and texts among them; orders a shuffle of the last of 0 .. clusters - 1
// (as wide as a run's, or as the merge's run << 32 | order).
TEST(ClusterRuns, RecordsAreReadBackAsWritten)
{
    const uint32_t edges[] = {0, 1, 127, 128, 16383, 16384, 0x7FFFFFFF, kMax - 1, kMax};
    const uint64_t frequencies[] = {0, 2, 128, kMax, uint64_t(kMax) + 1, std::numeric_limits<uint64_t>::max()};
    const int32_t texts[] = {-1, -1, 7, 8, 1000, std::numeric_limits<int32_t>::max(), 0};
    struct TCase {
        int size;
        std::size_t records;
        int32_t startText;
        uint64_t clusters; // above the records: the orders' width
    };
    for (const TCase& k : {TCase{2, 70000, 8, 70000}, TCase{3, 50000, 0, 1u << 24}, TCase{5, 20000, 7, kMax},
                           TCase{12, 20000, 1000, 20000}, TCase{3, 1, 0, 1}, TCase{4, 3000, 3, uint64_t(300) << 32},
                           TCase{3, 3000, 0, std::numeric_limits<uint64_t>::max()}}) {
        SCOPED_TRACE(testing::Message() << k.size << "-word clusters, " << k.records << " records");
        std::mt19937 rng(unsigned(k.size * 100 + k.records));
        std::set<std::vector<uint32_t>> keys;
        while (keys.size() < k.records) {
            std::vector<uint32_t> c(std::size_t(k.size));
            for (uint32_t& code : c)
                code = rng() % 4 == 0 ? uint32_t(rng()) : edges[rng() % std::size(edges)];
            keys.insert(c);
        }
        std::vector<uint64_t> orders(k.records);
        std::iota(orders.begin(), orders.end(), k.clusters - k.records);
        std::shuffle(orders.begin(), orders.end(), rng);
        std::vector<TWritten> records;
        for (const auto& c : keys) {
            TWritten& w = records.emplace_back();
            w.codes = c;
            w.counts.freq = rng() % 3 == 0 ? frequencies[rng() % std::size(frequencies)] : 1;
            w.counts.texts = rng() % 3 == 0 ? edges[rng() % std::size(edges)] : 1;
            w.counts.lastText = texts[rng() % std::size(texts)];
            w.counts.order = orders[records.size() - 1];
            w.counts.inStartText = rng() % 2 == 0;
        }
        ExpectReadAsWritten(k.size, k.startText, k.clusters, records);
    }
}

TEST(ClusterRuns, AnEmptyRunHasNoRecords)
{
    ExpectReadAsWritten(3, 0, 0, {});
}

// What most records of a long run are (once in one text, the next cluster
// differing in its last code by a little) takes a few bytes.
TEST(ClusterRuns, NeighboursTakeAFewBytes)
{
    TClusterRunFile run(3, 0, 1000);
    QString error;
    ASSERT_TRUE(run.Create(QDir::tempPath(), &error)) << qPrintable(error);
    for (uint32_t k = 0; k < 1000; ++k)
        ASSERT_TRUE(run.Add(std::vector<uint32_t>{5, 70000, 3 * k}, {1, 1, -1, k, false}, &error));
    ASSERT_TRUE(run.Finish(&error)) << qPrintable(error);
    EXPECT_LE(run.Bytes(), 4 * 1000 + 8);
}

// Records that cannot be told as rises from the one before, or an order
// beyond the run's clusters, are refused, not written wrong.
TEST(ClusterRuns, RecordsOutOfOrderAreRefused)
{
    struct TCase {
        std::vector<uint32_t> second;
        uint32_t order;
    };
    for (const TCase& k : {TCase{{4, 9}, 1}, TCase{{4, 8}, 1}, TCase{{3, kMax}, 1}, TCase{{5, 0}, 256}}) {
        TClusterRunFile run(2, 0, 256);
        QString error;
        ASSERT_TRUE(run.Create(QDir::tempPath(), &error)) << qPrintable(error);
        ASSERT_TRUE(run.Add(std::vector<uint32_t>{4, 9}, {1, 1, -1, 0, false}, &error));
        EXPECT_FALSE(run.Add(k.second, {1, 1, -1, k.order, false}, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("out of order"))) << qPrintable(error);
    }
}

} // namespace
