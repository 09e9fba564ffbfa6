// bench-deps: cv_model
// Times the general search tree as the word-list job uses it: counting the
// words of a running text (default 5 million tokens over 200,000 types with
// a Zipf-like spread) in a word tree, with and without its hash index, then
// walking it in order; then one
// million keys inserted in sorted order (the case an unbalanced tree cannot
// take); then a million-entry result list sorted by frequency and by word.
// Build RelWithDebInfo to measure.
//
//   general_tree_bench [tokens] [types]

#include "bench_support.h"

#include "model/base_list.h"
#include "model/general_tree.h"

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

struct TWordCount {
    QString word;
    int64_t count = 1;
};

class TWordTree final : public cv::TGeneral_Tree<TWordCount> {
public:
    explicit TWordTree(bool hashed)
    {
        if (hashed)
            UseHashIndex();
    }
    int64_t walked = 0;

protected:
    int Compare(const TWordCount& a, const TWordCount& b) const override { return a.word.compare(b.word); }
    uint64_t Hash(const TWordCount& k) const override { return qHash(k.word, 0) * 0x9E3779B97F4A7C15ull; }
    void Do_Found_Match(TWordCount& existing, TWordCount&) override { ++existing.count; }
    void Do_In_Order(TWordCount& k) override { walked += k.count; }
};

class TIntTree final : public cv::TGeneral_Tree<int> {};

class TEntry final : public cv::TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    QString word;
    int64_t freq = 0;
    QStringView MainWordAsPointer() const override { return word; }
};

class TList final : public cv::TCVBaseDataClass {
public:
    TList() : TCVBaseDataClass(nullptr, {}, 0, 0, 1) { SetGridHeadings({"N", "Word", "Freq."}); }
    double NumericalData(int row, int column) const override
    {
        return column == 2 ? double(static_cast<const TEntry&>((*this)[row]).freq) : 0;
    }
};

double Since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr const char* kUsage = "usage: general_tree_bench [tokens] [types]\n"
                                   "  tokens: 1 to 100000000 (default 5000000); types: 1 to 10000000 (default 200000)\n";
    int64_t tokens = 5000000, typeCount = 200000;
    if (const int exit = cvbench::NumbersOnly(app.arguments().mid(1), kUsage,
                                              {{"tokens", 1, 100000000, &tokens}, {"types", 1, 10000000, &typeCount}});
        exit >= 0)
        return exit;
    const int types = int(typeCount);
    return cvbench::RunJob(QStringLiteral("time the trees"), [&]() -> int {

        std::mt19937_64 rng(7);
        std::vector<QString> vocab;
        vocab.reserve(size_t(types));
        for (int i = 0; i < types; ++i)
            vocab.push_back(QStringLiteral("w%1x").arg(uint32_t(rng()), 0, 36));
        // Zipf-like: the type of rank r is drawn with weight 1/r.
        std::vector<double> cumulative(static_cast<size_t>(types));
        double sum = 0;
        for (int r = 0; r < types; ++r)
            cumulative[size_t(r)] = sum += 1.0 / (r + 1);
        std::uniform_real_distribution<double> u(0, sum);
        std::vector<int> text(static_cast<size_t>(tokens));
        for (auto& t : text)
            t = int(std::lower_bound(cumulative.begin(), cumulative.end(), u(rng)) - cumulative.begin());

        std::chrono::steady_clock::time_point t0;
        for (bool hashed : {false, true}) {
            t0 = std::chrono::steady_clock::now();
            TWordTree tree(hashed);
            for (int t : text) {
                tree.Seed().word = vocab[size_t(t)];
                tree.Add_One();
            }
            const double insert = Since(t0);
            t0 = std::chrono::steady_clock::now();
            tree.Traverse();
            const double walk = Since(t0);
            std::printf("word tree%s: %lld tokens, %lld types, depth %d: %.2f s (%.1f M tokens/s), in-order walk %.3f s, "
                        "total %s\n",
                        hashed ? " with hash index" : "", (long long)tokens, (long long)tree.Count(), tree.Depth(), insert,
                        tokens / insert / 1e6, walk, tree.walked == tokens ? "ok" : "WRONG");
        }

        t0 = std::chrono::steady_clock::now();
        TIntTree sorted;
        for (int i = 0; i < 1000000; ++i)
            sorted.Add(i);
        std::printf("sorted keys: 1,000,000 in %.3f s, depth %d\n", Since(t0), sorted.Depth());

        TList list;
        for (int i = 0; i < 1000000; ++i) {
            auto e = std::make_unique<TEntry>(&list);
            e->word = vocab[size_t(i % types)] + QString::number(i);
            e->freq = int64_t(rng() % 100000);
            list.Add(std::move(e));
        }
        t0 = std::chrono::steady_clock::now();
        list.Set1Sort(0, 2);
        list.SetSortAscending(0, false);
        list.CompleteResort();
        const double byFreq = Since(t0);
        t0 = std::chrono::steady_clock::now();
        list.EnsureAlphabeticalAscendingSort();
        std::printf("list of 1,000,000: by frequency %.2f s, alphabetically %.2f s\n", byFreq, Since(t0));
        return 0;
    });
}
