#include "suite/search_engine.h"

#include <gtest/gtest.h>

using cv::TSearchAndDoEngine;
using cv::TSearchFound;
using cv::TSearchWordItems;

namespace {

// The class layout of the text reader: the rows codes plus text boundaries.
cv::TClassArrayLayout textLayout(bool countNumbers = true)
{
    auto l = cv::TClassArrayLayout::Rows();
    l.boundaryLevels[15] = 2; // sentence end
    l.boundaryLevels[17] = 3; // paragraph end
    l.boundaryLevels[19] = 4; // heading end
    l.boundaryLevels[21] = 5; // section end
    l.countNumbers = countNumbers;
    return l;
}

// A processed chunk as the reader makes one: tags become numbered tag marks,
// "." "!" "?" before a space or the end are sentence ends, the first line
// break of "\n\n" ends a paragraph, "\f" ends a section.
struct Chunk {
    explicit Chunk(std::u16string_view source, bool countNumbers = true) : text(source)
    {
        cv::ClassifyUnits(text, cv::TWordRules(), false, classes);
        uint16_t tag = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (classes[i] & 0x800) {
                if (c == u'<') {
                    ++tag;
                    text[i] = 0x19;
                } else if (c == u'>') {
                    text[i] = 0x18;
                }
                classes[i] = uint16_t(0x800 | tag);
            } else if ((c == u'.' || c == u'!' || c == u'?') && (i + 1 == text.size() || text[i + 1] == u' ' || text[i + 1] == u'\n')) {
                classes[i] = 15;
            } else if (c == u'\n' && i + 1 < text.size() && text[i + 1] == u'\n') {
                classes[i] = 17;
            } else if (c == u'\f') {
                classes[i] = 21;
            }
        }
        buffer.Assign(text, classes, textLayout(countNumbers));
    }
    Chunk(const Chunk&) = delete;
    std::u16string text;
    std::vector<uint16_t> classes;
    cv::TSearchBuffer buffer;
};

struct Searcher {
    explicit Searcher(const TSearchWordItems& items) : engine(items)
    {
        engine.SetOnFound([this](const TSearchFound& f) {
            hits.push_back(f);
            return int(hits.size()) < stopAfter;
        });
    }
    std::vector<TSearchFound> search(const Chunk& c, int item = 0)
    {
        hits.clear();
        engine.StartText(int64_t(c.text.size()));
        engine.SetChunk(c.buffer);
        engine.Search(item);
        return hits;
    }
    TSearchAndDoEngine engine;
    std::vector<TSearchFound> hits;
    int stopAfter = 1 << 30;
};

TSearchWordItems itemsOf(const QString& words)
{
    TSearchWordItems items;
    items.AddedSearchWords(words);
    return items;
}

std::vector<int32_t> startsOf(const std::vector<TSearchFound>& hits)
{
    std::vector<int32_t> out;
    for (const auto& h : hits)
        out.push_back(h.start);
    return out;
}

} // namespace

TEST(SearchEngine, WordsAreFoundWholeAtBufferStartAndEnd)
{
    const auto items = itemsOf(QStringLiteral("the"));
    Searcher r(items);
    Chunk c(u"The other cat saw the");
    const auto hits = r.search(c);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].start, 0);
    EXPECT_EQ(hits[0].end, 3);
    EXPECT_EQ(hits[0].wordIndex, 0);
    EXPECT_EQ(hits[1].start, 18);
    EXPECT_EQ(hits[1].end, int32_t(c.text.size()));
    EXPECT_EQ(hits[1].wordIndex, 4);
    EXPECT_EQ(hits[1].hitCharacters, 3);
    EXPECT_EQ(hits[1].stats.WordNumber(), 5);

    auto sensitive = itemsOf(QStringLiteral("the"));
    sensitive.SetCaseSensitive(true);
    Searcher rs(sensitive);
    EXPECT_EQ(startsOf(rs.search(c)), std::vector<int32_t>{18});
}

TEST(SearchEngine, WildcardWordsAndSeveralSearchWords)
{
    const auto items = itemsOf(QStringLiteral("ca*/s?w"));
    ASSERT_EQ(items.Count(), 2);
    Searcher r(items);
    Chunk c(u"A cat, a CAR and a cab saw sow sew.");
    EXPECT_EQ(startsOf(r.search(c, 0)), (std::vector<int32_t>{2, 9, 19}));
    EXPECT_EQ(startsOf(r.search(c, 1)), (std::vector<int32_t>{23, 27, 31}));
}

TEST(SearchEngine, PhrasesFollowTheGapRules)
{
    const auto items = itemsOf(QStringLiteral("in the/Mr. Smith/book."));
    Searcher r(items);
    {
        Chunk c(u"in the\nend, in\nthe box");        // ordinary line breaks are space
        EXPECT_EQ(startsOf(r.search(c)), (std::vector<int32_t>{0, 12}));
        EXPECT_EQ(r.hits[1].wordsSpanned, 2);
        EXPECT_EQ(r.hits[1].end, 18);
    }
    {
        Chunk c(u"in, the; in. The; in\n\nthe");   // punctuation, a sentence end, a paragraph end
        EXPECT_TRUE(r.search(c).empty());
        r.engine.SetSkipPunctuation(true);
        EXPECT_EQ(startsOf(r.search(c)), (std::vector<int32_t>{0, 9})) << "a paragraph end is never skipped";
        r.engine.SetSkipPunctuation(false);
    }
    {
        Chunk c(u"Mr. Smith, Mr Smith and mr . smith");
        EXPECT_EQ(startsOf(r.search(c, 1)), (std::vector<int32_t>{0, 24}));
    }
    {
        Chunk c(u"a book. A book, the book.");
        const auto hits = r.search(c, 2);
        ASSERT_EQ(startsOf(hits), (std::vector<int32_t>{2, 20}));
        EXPECT_EQ(hits[0].end, 7) << "the required full stop is part of the hit";
        EXPECT_EQ(hits[0].wordEnd, 6);
    }
}

TEST(SearchEngine, TagsBreakPhrasesUnlessBlankedAndCanBeSearched)
{
    Chunk c(u"in <b>the</b> end <head>Intro");
    auto items = itemsOf(QStringLiteral("in the/<head> intro/<h*>"));
    {
        Searcher r(items);
        EXPECT_TRUE(r.search(c, 0).empty());
        const auto tagged = r.search(c, 1);
        ASSERT_EQ(tagged.size(), 1u);
        EXPECT_EQ(tagged[0].start, 18);
        EXPECT_EQ(tagged[0].wordsSpanned, 1);
        EXPECT_EQ(startsOf(r.search(c, 2)), std::vector<int32_t>{18});
        EXPECT_TRUE(items.Item(1).ContainsTag());
    }
    items.SetBlankTags(true);
    Searcher r(items);
    const auto blanked = r.search(c, 0);
    ASSERT_EQ(blanked.size(), 1u);
    EXPECT_EQ(blanked[0].start, 0);
    EXPECT_EQ(blanked[0].end, 9);
}

TEST(SearchEngine, FoundEnoughStopsTheSearch)
{
    const auto items = itemsOf(QStringLiteral("a"));
    Searcher r(items);
    r.stopAfter = 2;
    Chunk c(u"a a a a");
    r.engine.StartText();
    r.engine.SetChunk(c.buffer);
    EXPECT_FALSE(r.engine.Search(0));
    EXPECT_EQ(r.hits.size(), 2u);
    EXPECT_EQ(r.engine.ChunkHits(0), 2);
    r.engine.ClearChunkStatistics();
    EXPECT_EQ(r.engine.ChunkHits(0), 0);

    r.stopAfter = 1 << 30;
    r.hits.clear();
    r.engine.Cancel();
    EXPECT_FALSE(r.engine.Search(0));
    EXPECT_TRUE(r.hits.empty());
}

TEST(SearchEngine, WordCallbacksSeeEveryWordAndItsBoundary)
{
    const auto items = itemsOf(QStringLiteral("zzz"));
    TSearchAndDoEngine engine(items);
    std::vector<std::pair<int32_t, int>> seen;
    engine.SetOnWord([&](const cv::TSearchWordEvent& e) { seen.emplace_back(e.wordIndex, e.barrier); });
    Chunk c(u"One two. Three\n\nfour <x> five");
    engine.StartText();
    engine.SetChunk(c.buffer);
    engine.Search(0);
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int>>{{0, 0}, {1, 0}, {2, 2}, {3, 3}, {4, 0}}));

    seen.clear();
    engine.SetOnWord([&](const cv::TSearchWordEvent& e) { seen.emplace_back(e.wordIndex, e.barrier); }, true);
    engine.Search(0);
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int>>{{2, 2}, {3, 3}}));
}

TEST(SearchEngine, StatisticsCarryAcrossChunks)
{
    const auto items = itemsOf(QStringLiteral("cat"));
    Searcher r(items);
    Chunk first(u"A cat sat. The dog ran.");
    Chunk second(u"\n\nSecond para with cat.\fNew section cat");
    r.engine.StartText(int64_t(first.text.size() + second.text.size()));
    r.engine.SetChunk(first.buffer, 0);
    r.engine.Search(0);
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(r.hits[0].stats.SentenceNumber(), 1);
    EXPECT_EQ(r.hits[0].stats.WordInSentence(), 2);
    EXPECT_NEAR(r.hits[0].percentOfText, 2.0 * 100 / double(first.text.size() + second.text.size()), 1e-4);

    r.hits.clear();
    r.engine.SetChunk(second.buffer, int64_t(first.text.size()));
    EXPECT_EQ(r.engine.WordsBeforeChunk(), 6);
    r.engine.Search(0);
    ASSERT_EQ(r.hits.size(), 2u);
    const auto& s = r.hits[0].stats;
    EXPECT_EQ(s.WordNumber(), 10);
    EXPECT_EQ(s.SentenceNumber(), 3);
    EXPECT_EQ(s.WordInSentence(), 4);
    EXPECT_EQ(s.ParagraphNumber(), 2);
    EXPECT_EQ(s.WordInParagraph(), 4);
    EXPECT_EQ(s.SectionNumber(), 1);
    const auto& t = r.hits[1].stats;
    EXPECT_EQ(t.SectionNumber(), 2);
    EXPECT_EQ(t.WordInSection(), 3);
    EXPECT_EQ(t.ParagraphNumber(), 3);
}

TEST(SearchEngine, NumbersThatDoNotCountKeepWordNumbersOfTheReader)
{
    const auto items = itemsOf(QStringLiteral("cat/3.5"));
    Searcher r(items);
    Chunk c(u"In 1990 3.5 cat", false);
    const auto hits = r.search(c, 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].wordIndex, 1);
    const auto numbers = r.search(c, 1);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(numbers[0].start, 8);
    EXPECT_EQ(numbers[0].stats.WordNumber(), 2) << "a number that is not counted belongs to the next word";
}

TEST(SearchEngine, RangeSearchFindsOnlyHitsInsideTheRange)
{
    const auto items = itemsOf(QStringLiteral("red/red car"));
    Searcher r(items);
    Chunk c(u"red car red car red car");
    r.engine.StartText();
    r.engine.SetChunk(c.buffer);
    EXPECT_EQ(r.engine.SearchRange(0, 4, 23), 2);
    EXPECT_EQ(startsOf(r.hits), (std::vector<int32_t>{8, 16}));
    r.hits.clear();
    EXPECT_EQ(r.engine.SearchRange(1, 0, 21), 2) << "the last phrase would end outside";
    EXPECT_EQ(r.engine.SearchRange(0, 9, 9), 0);
}

TEST(SearchEngine, RowsAreSearchedWithTheirOwnWordRules)
{
    auto items = itemsOf(QStringLiteral("well-known/don't"));
    TSearchAndDoEngine engine(items);
    std::vector<TSearchFound> hits;
    engine.SetOnFound([&](const TSearchFound& f) { hits.push_back(f); return true; });
    engine.SetCurrentRow(7, u"A well-known fact; don't.");
    EXPECT_EQ(engine.SearchAndDo(0), 1);
    EXPECT_EQ(engine.SearchAndDo(1), 1);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].row, 7);
    EXPECT_EQ(hits[0].start, 2);
    EXPECT_EQ(hits[0].end, 12);
    EXPECT_EQ(hits[0].context, std::u16string_view(u"A well-known fact; don't."));
    EXPECT_FALSE(engine.RowMatches(u"well known"));
    EXPECT_FALSE(engine.RowMatches(u"don"));

    cv::TWordRules rules;
    rules.hyphensSeparateWords = true;
    items.SetWordRules(rules);
    EXPECT_TRUE(items.Item(0).ModeByte() & cv::TSearch_word_format_rec::kPhrase);
    EXPECT_TRUE(engine.RowMatches(u"a well-known fact"));
    EXPECT_FALSE(engine.RowMatches(u"well known")) << "the hyphen typed is required";
    EXPECT_FALSE(engine.RowMatches(u""));
}

TEST(SearchEngine, EmptyBuffersAndNoItemsAreHarmless)
{
    TSearchWordItems none;
    Searcher r(none);
    Chunk empty(u"");
    EXPECT_TRUE(r.search(empty).empty());
    Chunk c(u"text");
    EXPECT_TRUE(r.search(c, 3).empty());
    TSearchAndDoEngine bare;
    EXPECT_TRUE(bare.Search(0));
    EXPECT_FALSE(bare.RowMatches(u"text"));
}
