// The counting table of the clusters: exact frequencies beyond what a
// record's own count holds.

#include "index/cluster_table.h"

#include <gtest/gtest.h>

#include <map>

using namespace cv::clusters;

namespace {

TKey<2> Key(uint32_t a, uint32_t b) { return TKey<2>{{a, b}}; }

// A record counts to its ceiling (2^32 - 1 in the cluster job); a cluster
// met more often keeps its exact frequency, in the table and after its
// records are taken out of it for a run file, and a table cleared for the
// next run starts from nothing.
TEST(ClusterTable, CountsBeyondWhatARecordHolds)
{
    TCountTable<2, true> table(std::size_t(1) << 20, 1000);
    const std::map<uint32_t, uint64_t> wanted{{7, 4321}, {8, 999}, {9, 1000}, {10, 1}, {11, 2500}};
    std::map<uint32_t, uint64_t> left = wanted;
    for (int32_t text = 0; !left.empty(); ++text)
        for (auto it = left.begin(); it != left.end();) {
            const TKey<2> k = Key(it->first, 3);
            table.Add(k, HashKey(k), text / 700);
            it = --it->second == 0 ? left.erase(it) : std::next(it);
        }
    EXPECT_EQ(table.Count(), wanted.size());
    std::map<uint32_t, uint64_t> counted;
    for (const auto& r : table.TakeRecords()) {
        counted[r.key.c[0]] = table.Frequency(r);
        EXPECT_EQ(r.Texts(), uint32_t((wanted.at(r.key.c[0]) - 1) / 700 + 1)) << r.key.c[0];
    }
    EXPECT_EQ(counted, wanted);
    table.Clear();
    const TKey<2> k = Key(7, 3);
    table.Add(k, HashKey(k), 0);
    const auto taken = table.TakeRecords();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(table.Frequency(taken[0]), 1u);
}

} // namespace
