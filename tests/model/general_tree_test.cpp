#include "model/general_tree.h"

#include <QString>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A counting tree: equal words add up, the walk collects them in order.
struct TWordCount {
    QString word;
    int count = 1;
};

class TCountTree final : public cv::TGeneral_Tree<TWordCount> {
public:
    ~TCountTree() override { Free(); }
    int added = 0;
    int matched = 0;
    int deleted = 0;
    std::vector<std::pair<QString, int>> walked;

protected:
    int Compare(const TWordCount& a, const TWordCount& b) const override { return a.word.compare(b.word); }
    void Do_Found_Match(TWordCount& existing, TWordCount& seed) override
    {
        existing.count += seed.count;
        ++matched;
    }
    void Do_Added_One(TWordCount&) override { ++added; }
    void Do_In_Order(TWordCount& k) override { walked.emplace_back(k.word, k.count); }
    void Do_Deleting(TWordCount&) override { ++deleted; }
};

// The same counting with the hash index: the same keys, counts and order.
class THashedCountTree final : public cv::TGeneral_Tree<TWordCount> {
public:
    THashedCountTree() { UseHashIndex(); }
    std::vector<std::pair<QString, int>> walked;

protected:
    int Compare(const TWordCount& a, const TWordCount& b) const override { return a.word.compare(b.word); }
    // A poor hash on purpose: collisions must still be told apart by the comparison.
    uint64_t Hash(const TWordCount& k) const override { return uint64_t(k.word.size()); }
    void Do_Found_Match(TWordCount& existing, TWordCount& seed) override { existing.count += seed.count; }
    void Do_In_Order(TWordCount& k) override { walked.emplace_back(k.word, k.count); }
};

class TIntTree final : public cv::TGeneral_Tree<int> {
public:
    using TGeneral_Tree::TGeneral_Tree;
    int64_t sum = 0;
    int last = INT32_MIN;
    bool ordered = true;

protected:
    void Do_In_Order(int& k) override
    {
        ordered = ordered && k > last;
        last = k;
        sum += k;
    }
};

int Reverse(const int& a, const int& b)
{
    return (b > a) - (b < a);
}

} // namespace

TEST(GeneralTree, SeedAddsOrReportsTheMatch)
{
    TCountTree t;
    for (const char* w : {"the", "cat", "the", "a", "cat", "the"}) {
        t.Seed().word = QString::fromLatin1(w);
        t.Add_One();
    }
    EXPECT_EQ(t.Count(), 3);
    EXPECT_EQ(t.added, 3);
    EXPECT_EQ(t.matched, 3);
    t.Traverse();
    ASSERT_EQ(t.walked.size(), 3u);
    EXPECT_EQ(t.walked[0], std::make_pair(QStringLiteral("a"), 1));
    EXPECT_EQ(t.walked[1], std::make_pair(QStringLiteral("cat"), 2));
    EXPECT_EQ(t.walked[2], std::make_pair(QStringLiteral("the"), 3));
    EXPECT_TRUE(t.Seed().word.isEmpty()) << "the seed is fresh after each add";
    const TWordCount* found = t.Find({QStringLiteral("cat"), 0});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->count, 2);
    EXPECT_EQ(t.Find({QStringLiteral("dog"), 0}), nullptr);
}

TEST(GeneralTree, HashIndexFindsTheSameKeys)
{
    TCountTree plain;
    THashedCountTree hashed;
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; ++i) {
        const QString w = QString::number(rng() % 3000);
        plain.Add({w, 1});
        hashed.Add({w, 1});
    }
    EXPECT_EQ(hashed.Count(), plain.Count());
    plain.Traverse();
    hashed.Traverse();
    EXPECT_EQ(hashed.walked, plain.walked);
    ASSERT_NE(hashed.Find({QStringLiteral("17"), 0}), nullptr);
    EXPECT_EQ(hashed.Find({QStringLiteral("17"), 0})->count, plain.Find({QStringLiteral("17"), 0})->count);
    EXPECT_EQ(hashed.Find({QStringLiteral("x"), 0}), nullptr);
    hashed.Free();
    EXPECT_EQ(hashed.Find({QStringLiteral("17"), 0}), nullptr);
    hashed.Add({QStringLiteral("17"), 1});
    EXPECT_EQ(hashed.Count(), 1);
}

TEST(GeneralTree, FreeTellsEveryKeyAndEmptiesTheTree)
{
    TCountTree t;
    for (int i = 0; i < 1000; ++i)
        t.Add({QString::number(i), 1});
    t.Free();
    EXPECT_EQ(t.deleted, 1000);
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.Depth(), 0);
    t.Add({QStringLiteral("again"), 1});
    EXPECT_EQ(t.Count(), 1) << "a freed tree takes keys again";
}

TEST(GeneralTree, MillionSortedKeysStayShallow)
{
    // Sorted input is what made an unbalanced tree quadratic and its recursive walk overflow.
    constexpr int n = 1000000;
    TIntTree t;
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(t.Add(i));
    EXPECT_EQ(t.Count(), n);
    EXPECT_LE(t.Depth(), int(2 * std::log2(n + 1.0)));
    t.Traverse();
    EXPECT_TRUE(t.ordered);
    EXPECT_EQ(t.sum, int64_t(n) * (n - 1) / 2);
    EXPECT_FALSE(t.Add(n / 2));
}

TEST(GeneralTree, DescendingAndRandomInputAndAGivenComparison)
{
    TIntTree down(Reverse); // keys walk from the largest down
    std::mt19937 rng(42);
    std::vector<int> keys(50000);
    for (int i = 0; i < int(keys.size()); ++i)
        keys[size_t(i)] = i;
    std::shuffle(keys.begin(), keys.end(), rng);
    for (int k : keys)
        down.Add(k);
    int prev = INT32_MAX;
    bool descending = true;
    down.ForEachInOrder([&](int& k) {
        descending = descending && k < prev;
        prev = k;
    });
    EXPECT_TRUE(descending);
    EXPECT_LE(down.Depth(), int(2 * std::log2(keys.size() + 1.0)));
}
