// Counting a chunk's units while searching it: an engine told not to count
// at SetChunk takes the counts from its first search over the whole chunk
// (or from CountChunk), and every hit and every later chunk sees the same
// numbers as with counting at once, whether the search ran to the end,
// stopped early or did not run at all.

#include "suite/search_engine.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace cv;

// Chunks with sentence ends (". "), paragraph ends ("\n\n") and section
// ends ("\f"), classified as the text reader would.
struct Chunk {
    explicit Chunk(std::u16string source) : text(std::move(source))
    {
        ClassifyUnits(text, TWordRules(), false, classes);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c == u'.' && (i + 1 == text.size() || text[i + 1] == u' '))
                classes[i] = 15;
            else if (c == u'\n' && i + 1 < text.size() && text[i + 1] == u'\n')
                classes[i] = 17;
            else if (c == u'\f')
                classes[i] = 21;
        }
        auto layout = TClassArrayLayout::Rows();
        layout.boundaryLevels[15] = 2;
        layout.boundaryLevels[17] = 3;
        layout.boundaryLevels[21] = 5;
        buffer.Assign(text, classes, layout);
    }
    std::u16string text;
    std::vector<uint16_t> classes;
    TSearchBuffer buffer;
};

std::u16string randomChunk(std::mt19937& rng)
{
    static const char16_t* const kPieces[] = {u"the", u"cat", u"sat", u"on", u"mat", u"12", u". ", u"\n\n", u"\f"};
    std::u16string t;
    const int n = 5 + int(rng() % 60);
    for (int k = 0; k < n; ++k) {
        t += kPieces[rng() % 9];
        t += u' ';
    }
    return t;
}

struct Record {
    int32_t chunk, start, word, sentence, inSentence, paragraph, inParagraph, section, inSection;
    bool operator==(const Record&) const = default;
};

// Every hit of "the" in every chunk (the search stopped after `stopAfter`
// hits of a chunk; chunks in `skip` not searched), and the words before
// each chunk.
std::vector<Record> run(const std::vector<Chunk>& chunks, bool countNow, int stopAfter, const std::vector<bool>& skip,
                        std::vector<int32_t>& wordsBefore)
{
    TSearchWordItems items;
    items.AddedSearchWords(QStringLiteral("the"));
    TSearchAndDoEngine engine(items);
    std::vector<Record> out;
    int32_t chunk = 0, inChunk = 0;
    engine.SetOnFound([&](const TSearchFound& f) {
        out.push_back({chunk, f.start, f.stats.WordNumber(), f.stats.SentenceNumber(), f.stats.WordInSentence(),
                       f.stats.ParagraphNumber(), f.stats.WordInParagraph(), f.stats.SectionNumber(),
                       f.stats.WordInSection()});
        return ++inChunk < stopAfter;
    });
    engine.StartText(0);
    wordsBefore.clear();
    for (const Chunk& c : chunks) {
        engine.SetChunk(c.buffer, 0, countNow);
        wordsBefore.push_back(engine.WordsBeforeChunk());
        inChunk = 0;
        if (!skip[std::size_t(chunk)])
            engine.Search(0);
        engine.CountChunk();
        ++chunk;
    }
    return out;
}

TEST(SearchEngineCounting, CountsTakenWhileSearchingAreTheCountsTakenAtOnce)
{
    std::mt19937 rng(21);
    for (int round = 0; round < 40; ++round) {
        std::vector<Chunk> chunks;
        std::vector<bool> skip;
        for (int k = 0; k < 6; ++k) {
            chunks.emplace_back(randomChunk(rng));
            skip.push_back(rng() % 4 == 0);
        }
        const int stopAfter = round % 3 == 0 ? 1 : 1 << 30;
        std::vector<int32_t> atOnce, deferred;
        const std::vector<Record> expected = run(chunks, true, stopAfter, skip, atOnce);
        const std::vector<Record> got = run(chunks, false, stopAfter, skip, deferred);
        ASSERT_EQ(got.size(), expected.size()) << round;
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_TRUE(got[k] == expected[k]) << "round " << round << " hit " << k;
        EXPECT_EQ(deferred, atOnce) << round;
    }
}

TEST(SearchEngineCounting, HandCountedUnitsAcrossChunks)
{
    // Two chunks, the second searched only after the first was not: its hits
    // still know the first's words and boundaries.
    std::vector<Chunk> chunks;
    chunks.emplace_back(u"A cat sat. The dog ran. ");
    chunks.emplace_back(u"\n\nthe end of it. And the rest");
    std::vector<int32_t> before;
    const std::vector<Record> hits = run(chunks, false, 1 << 30, {true, false}, before);
    EXPECT_EQ(before, (std::vector<int32_t>{0, 6}));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].word, 7);
    EXPECT_EQ(hits[0].sentence, 3);
    EXPECT_EQ(hits[0].inSentence, 1);
    EXPECT_EQ(hits[0].paragraph, 2);
    EXPECT_EQ(hits[1].word, 12);
    EXPECT_EQ(hits[1].sentence, 4);
    EXPECT_EQ(hits[1].inSentence, 2);
}

} // namespace
