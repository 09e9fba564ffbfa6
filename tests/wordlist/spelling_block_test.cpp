// Strings whose spellings share blocks of memory behave as any QString.

#include "wordlist/spelling_block.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace cv;

namespace {

std::u16string U(const char* s)
{
    return std::u16string(s, s + std::strlen(s));
}

} // namespace

TEST(SpellingBlocks, StringsShareABlockAndChangeOnlyTheirOwnCopy)
{
    std::vector<QString> words;
    {
        TSpellingBlocks blocks;
        for (const char* w : {"cat", "dog", "", "elephant"})
            words.push_back(blocks.Make(U(w)));
    }
    EXPECT_EQ(words, (std::vector<QString>{"cat", "dog", "", "elephant"}));
    EXPECT_FALSE(words[2].isNull());
    // Each is ended by a zero, as a QString's data is.
    EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(words[0].utf16())), u"cat");
    EXPECT_EQ(words[1].utf16()[3], 0);
    EXPECT_FALSE(words[0].isDetached()); // the block is shared

    // Changing one leaves its neighbours as they were.
    words[0].append(QStringLiteral("s"));
    words[1][0] = QLatin1Char('h');
    words[3].chop(5);
    EXPECT_EQ(words, (std::vector<QString>{"cats", "hog", "", "ele"}));
    EXPECT_TRUE(words[0].isDetached());

    // A copy shares the block; the block outlives the strings made from it.
    QString kept = words[2];
    QString alone = words[3];
    words.clear();
    EXPECT_EQ(alone, QStringLiteral("ele"));
    EXPECT_TRUE(kept.isEmpty());
}

TEST(SpellingBlocks, TheLastStringOfABlockMayGrowInPlace)
{
    QString last;
    {
        TSpellingBlocks blocks;
        std::vector<QString> others;
        for (int k = 0; k < 100; ++k)
            others.push_back(blocks.Make(U("word")));
        last = blocks.Make(U("first"));
        others.push_back(blocks.Make(U("after")));
    }
    // Alone in its block now: growing it writes over the freed neighbours only.
    EXPECT_TRUE(last.isDetached());
    for (int k = 0; k < 1000; ++k)
        last.append(QLatin1Char('x'));
    EXPECT_EQ(last.size(), 1005);
    EXPECT_TRUE(last.startsWith(QStringLiteral("firstxxx")));
    last.squeeze();
    EXPECT_EQ(last.size(), 1005);
}

TEST(SpellingBlocks, ManyStringsOverSeveralBlocksFreedAnywhere)
{
    // More units than a block holds, a spelling too long for one, strings
    // dropped while the block is still being filled, freed on two threads.
    std::vector<QString> words;
    const std::u16string longWord(TSpellingBlocks::kBlockUnits, u'q');
    {
        TSpellingBlocks blocks;
        for (int k = 0; k < 20000; ++k) {
            const QString n = QString::number(k);
            const std::u16string w(reinterpret_cast<const char16_t*>(n.utf16()), std::size_t(n.size()));
            if (k % 7 == 0)
                (void)blocks.Make(w); // dropped at once
            else
                words.push_back(blocks.Make(w));
            if (k == 5000)
                words.push_back(blocks.Make(longWord));
        }
    }
    int k = 1;
    for (const QString& w : words) {
        if (w.size() == qsizetype(longWord.size()))
            continue;
        while (k % 7 == 0)
            ++k;
        ASSERT_EQ(w, QString::number(k));
        ++k;
    }
    std::vector<QString> half(words.begin(), words.begin() + qsizetype(words.size() / 2));
    words.erase(words.begin(), words.begin() + qsizetype(words.size() / 2));
    std::thread t([&] { half.clear(); });
    words.clear();
    t.join();
}

TEST(SpellingBlocks, ABlockWithNothingHandedOutIsGivenBack)
{
    // Nothing to check but that nothing leaks or breaks (the sanitizer build tells).
    TSpellingBlocks blocks;
    (void)blocks.Make(U("gone"));
}
