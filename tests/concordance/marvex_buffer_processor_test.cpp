#include "lines_testutil.h"
#include "words_testutil.h"

#include <gtest/gtest.h>

#include "suite/cv_globals.h"
#include "suite/cvbuf.h"

#include <QDir>

#include <algorithm>

using lines_test::ConcRun;
using lines_test::wordsAt;
using cvtest::Words;
using cv::OutwardSearch;

TEST(MarvexBufferProcessor, HitAtTheMiddleWithItsWordsLeftAndRight)
{
    ConcRun r;
    r.settings.SetCharactersPerLine(100);
    const QString text = Words(40, {{20, "cat"}});
    ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    const auto& line = r.Line(0);
    const auto& b = line.fData.base;
    EXPECT_EQ(b.midpoint, 50);
    EXPECT_EQ(line.fData.conc_line.size(), 100);
    EXPECT_EQ(line.fData.conc_line.mid(50, 3), QStringLiteral("cat"));
    EXPECT_EQ(line.fData.conc_line, text.mid(text.indexOf(QStringLiteral("cat")) - 50, 100));
    EXPECT_EQ(b.word_num, 20);
    EXPECT_EQ(b.filename_num_original, 1);
    EXPECT_EQ(b.sw_number, 0);
    EXPECT_EQ(b.hit_characters, 3);
    EXPECT_EQ(b.sentinel, 0); // set only when stored
    EXPECT_EQ(wordsAt(line, 45, 55), QStringLiteral("w15 w16 w17 w18 w19 cat w21 w22 w23 w24 w25"));
    EXPECT_EQ(b.fixed_sort_positions[5].start_position, 50);
    EXPECT_EQ(b.fixed_sort_positions[5].coll_length, 3);
    EXPECT_EQ(b.fixed_sort_positions[4].start_position, 50 - 4);
    EXPECT_EQ(b.fixed_sort_positions[6].start_position, 54);
    EXPECT_EQ(b.extras.WordNumber(), 20);
    EXPECT_EQ(b.extras.SentenceNumber(), 1);
    EXPECT_EQ(b.extras.WordInSentence(), 20);
    // One paragraph without sentence end: the text's end closes every unit.
    EXPECT_EQ(b.extras.SentenceEndWord(), 40);
    EXPECT_EQ(b.extras.ParagraphEndWord(), 40);
    EXPECT_EQ(b.extras.SectionEndWord(), 40);
    EXPECT_EQ(b.extras.HeadingEndWord(), 0); // not in a heading
    // Position of the hit in the text, as stored: its end (start + length), no byte-order mark.
    EXPECT_EQ(b.byte_position, uint32_t(text.indexOf(QStringLiteral("cat")) + 3));
    EXPECT_TRUE(b.has_percent);
    EXPECT_NEAR(b.percent_of_file, 100.0 * text.indexOf(QStringLiteral("cat")) / text.size(), 0.01);
    EXPECT_EQ(b.byte_size_of_file, text.size());
    // The collocate horizons (5 words) need no extra positions.
    EXPECT_TRUE(line.fData.other_left_collocs.IsEmpty());
    EXPECT_TRUE(line.fData.other_right_collocs.IsEmpty());
    EXPECT_EQ(r.lines.HitsOf(0), 1);
    EXPECT_TRUE(line.fCategory.isEmpty()); // one search word: no category
}

TEST(MarvexBufferProcessor, HitNearTheStartIsPaddedAndMissingWordsHaveNegativeStarts)
{
    ConcRun r;
    r.settings.SetCharactersPerLine(40);
    ASSERT_TRUE(r.Run(QStringLiteral("one two cat four five six seven eight nine ten"), QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    const auto& line = r.Line(0);
    EXPECT_EQ(line.fData.base.midpoint, 20);
    EXPECT_EQ(line.fData.conc_line, QStringLiteral("            one two cat four five six se"));
    EXPECT_EQ(wordsAt(line, 48, 52), QStringLiteral("one two cat four five"));
    const auto& fixed = line.fData.base.fixed_sort_positions;
    EXPECT_EQ(fixed[3].start_position, 12); // "one"
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fixed[std::size_t(i)].coll_length, 0) << i;
        EXPECT_LT(fixed[std::size_t(i)].start_position, 0) << i;
    }
    // Words past the line's end still have their places (outside the line).
    EXPECT_EQ(fixed[10].coll_length, 5); // "eight"
    EXPECT_GT(fixed[10].start_position, 39);
    EXPECT_EQ(wordsAt(line, 55, 55), QString()); // not inside the line
}

TEST(MarvexBufferProcessor, BarriersAtSentenceAndParagraphEnds)
{
    ConcRun r;
    r.settings.SetCharactersPerLine(80);
    ASSERT_TRUE(r.Run(QStringLiteral("Alpha beta. Gamma delta cat epsilon. Zeta eta\ntheta iota kappa"), QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    const auto& fixed = r.Line(0).fData.base.fixed_sort_positions;
    EXPECT_EQ(wordsAt(r.Line(0), 45, 55).toStdString(), " Alpha beta Gamma delta cat epsilon Zeta eta theta iota");
    // A boundary belongs to the word before it.
    EXPECT_EQ(fixed[0].coll_length, 0); // no fifth word on the left
    EXPECT_EQ(fixed[1].barrier, 0);  // Alpha
    EXPECT_EQ(fixed[2].barrier, 2);  // beta.
    EXPECT_EQ(fixed[3].barrier, 0);  // Gamma
    EXPECT_EQ(fixed[5].barrier, 0);  // cat
    EXPECT_EQ(fixed[6].barrier, 2);  // epsilon.
    EXPECT_EQ(fixed[8].barrier, 3);  // eta, then the line break
    EXPECT_EQ(fixed[10].barrier, 0); // iota
    EXPECT_EQ(OutwardSearch(r.Line(0).fData, 55, 2), 51);
    EXPECT_EQ(OutwardSearch(r.Line(0).fData, 45, 2), 48);
    EXPECT_EQ(OutwardSearch(r.Line(0).fData, 55, 3), 53);
    EXPECT_EQ(OutwardSearch(r.Line(0).fData, 55, 0), 55);
    const auto& st = r.Line(0).fData.base.extras;
    EXPECT_EQ(st.SentenceNumber(), 2);
    EXPECT_EQ(st.WordInSentence(), 3);
    EXPECT_EQ(st.SentenceEndWord(), 6);
    EXPECT_EQ(st.ParagraphEndWord(), 8);
    EXPECT_EQ(st.SectionEndWord(), 11);
}

TEST(MarvexBufferProcessor, ContextWindowStopsAtTheChosenBarrier)
{
    const QString text = QStringLiteral("The dog barked. The cat sat near it.\nA mouse ran.");
    auto run = [&](uint8_t stopAt) {
        ConcRun r;
        r.settings.SetContextWordsOn(true);
        r.settings.SetCollocatesStopAt(stopAt);
        r.contextItems.AddedSearchWords(QStringLiteral("dog"));
        EXPECT_TRUE(r.Run(text, QStringLiteral("cat")));
        return r.lines.Count();
    };
    EXPECT_EQ(run(0), 1); // "dog" is 3 words left, within 5
    EXPECT_EQ(run(2), 0); // the sentence end cuts it off
    EXPECT_EQ(run(3), 1); // a paragraph barrier does not
    auto runRight = [&](uint8_t stopAt) {
        ConcRun r;
        r.settings.SetContextWordsOn(true);
        r.settings.SetContextHorizonRight(8);
        r.settings.SetCollocatesStopAt(stopAt);
        r.contextItems.AddedSearchWords(QStringLiteral("mouse"));
        EXPECT_TRUE(r.Run(text, QStringLiteral("cat")));
        return r.lines.Count();
    };
    EXPECT_EQ(runRight(0), 1);
    EXPECT_EQ(runRight(3), 0);
}

TEST(MarvexBufferProcessor, ContextWordsAllRequiredAndExclusion)
{
    const QString text = QStringLiteral("red cat one\nblue cat two\nred blue cat three\n");
    {
        ConcRun r; // any context word
        r.settings.SetContextWordsOn(true);
        r.contextItems.AddedSearchWords(QStringLiteral("red/blue"));
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        EXPECT_EQ(r.lines.Count(), 3);
        ASSERT_EQ(r.Line(0).fData.other_context_words.Count(), 1);
        EXPECT_EQ(r.Line(0).fData.other_context_words[0].start_position, -1); // one word left of the hit
    }
    {
        ConcRun r; // both A and B: a window with only B fails
        r.settings.SetContextWordsOn(true);
        r.settings.SetCollocatesStopAt(3);
        r.contextItems.AddedSearchWords(QStringLiteral("red/blue"));
        r.contextItems.SetRequireAllContextWords(true);
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        ASSERT_EQ(r.lines.Count(), 1);
        EXPECT_EQ(r.Line(0).fData.base.word_num, 9);
        EXPECT_EQ(r.Line(0).fData.other_context_words.Count(), 2);
    }
    {
        ConcRun r; // exact position, give or take one word
        r.settings.SetContextWordsOn(true);
        r.settings.SetCollocatesStopAt(3);
        r.contextItems.AddedSearchWords(QStringLiteral("three"));
        r.contextItems.SetRequireExactPosition(true);
        r.contextItems.SetExactOffset(2);
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        EXPECT_EQ(r.lines.Count(), 1); // found 1 position right: less than 2 from 2
        r.lines.Clear();
        r.contextItems.SetExactOffset(3);
        ASSERT_TRUE(r.RunOver(r.dir.file(QStringLiteral("text1.txt"))));
        EXPECT_EQ(r.lines.Count(), 0);
    }
    {
        ConcRun r;
        r.settings.SetExclusionWordsOn(true);
        r.settings.SetCollocatesStopAt(3);
        r.exclusionItems.AddedSearchWords(QStringLiteral("blue"));
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        ASSERT_EQ(r.lines.Count(), 1);
        EXPECT_EQ(r.Line(0).fData.base.word_num, 2);
    }
    {
        ConcRun r; // a search word's own context words replace the context items
        r.settings.SetCollocatesStopAt(3);
        r.items.AddedSearchWords(QStringLiteral("cat"));
        r.items.SetContextWords(0, {QStringLiteral("blue")});
        ASSERT_TRUE(r.Run(text, QString()));
        EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{5, 9}));
    }
}

TEST(MarvexBufferProcessor, GapRuleKeepsHitsFarEnoughFromTheLastLineKept)
{
    ConcRun r;
    r.settings.SetLastWordGap(3);
    ASSERT_TRUE(r.Run(Words(25, {{10, "x"}, {12, "x"}, {14, "x"}, {20, "x"}}), QStringLiteral("x")));
    EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{10, 14, 20}));

    ConcRun none;
    none.settings.SetLastWordGap(-1);
    ASSERT_TRUE(none.Run(Words(25, {{10, "x"}, {12, "x"}, {14, "x"}, {20, "x"}}), QStringLiteral("x")));
    EXPECT_EQ(none.WordNumbers(), (std::vector<int32_t>{10, 12, 14, 20}));
}

TEST(MarvexBufferProcessor, GapRuleRemovesLinesOfLaterSearchWordsCloseAfterEarlierOnes)
{
    ConcRun r;
    r.settings.SetLastWordGap(2);
    ASSERT_TRUE(r.Run(Words(30, {{5, "a"}, {6, "b"}, {10, "b"}, {20, "a"}, {19, "b"}}), QStringLiteral("a/b")));
    // b at 6 lies 1 word after a at 5 and goes; b at 19 lies before a at 20 and stays.
    EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{5, 20, 10, 19}));
    EXPECT_EQ(r.Line(2).fCategory, QStringLiteral("b"));
}

TEST(MarvexBufferProcessor, HitLimitStopsTheSearchWordAndMarksTheList)
{
    ConcRun r;
    r.settings.SetEntriesWantedPerSw(3);
    ASSERT_TRUE(r.Run(Words(30, {{2, "x"}, {4, "x"}, {6, "x"}, {8, "x"}, {9, "y"}, {10, "x"}}),
                      QStringLiteral("x/y")));
    EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{2, 4, 6, 9}));
    EXPECT_TRUE(r.lines.sw_limit_reached);
    EXPECT_EQ(r.lines.HitsOf(0), 3);
    EXPECT_EQ(r.lines.HitsOf(1), 1);
    EXPECT_FALSE(r.lines.EnoughLines());
}

// A concordance holds at most what it shows: past the lines it may hold
// (whatever the lines wanted per search word: here no limit), each hit is
// counted and its line not kept; the lines held are those made first, and
// the count starts again with the list.
TEST(MarvexBufferProcessor, HitsBeyondTheLinesHeldAreCountedNotKept)
{
    ConcRun r;
    r.settings.SetEntriesWantedPerSw(0);
    r.lines.fMostLinesHeld = 3;
    const QString text = Words(30, {{2, "x"}, {4, "x"}, {6, "y"}, {8, "x"}, {10, "y"}, {12, "x"}});
    ASSERT_TRUE(r.Run(text, QStringLiteral("x/y")));
    EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{2, 4, 8}));
    EXPECT_EQ(r.lines.fHitsNotHeld, 3);
    EXPECT_FALSE(r.lines.sw_limit_reached);
    r.lines.Clear();
    EXPECT_EQ(r.lines.fHitsNotHeld, 0);
    r.lines.fMostLinesHeld = 0; // the bound of the memory lines may take: far above these
    ASSERT_TRUE(r.Run(text, QStringLiteral("x/y")));
    EXPECT_EQ(r.lines.Count(), 6);
    EXPECT_EQ(r.lines.fHitsNotHeld, 0);
}

TEST(MarvexBufferProcessor, NoSearchWordsNoHitsAndWildcardsOnly)
{
    ConcRun r;
    QStringList refused;
    EXPECT_EQ(r.items.AddedSearchWords(QStringLiteral("*/? *"), &refused), 0);
    EXPECT_EQ(refused.size(), 2);
    ASSERT_TRUE(r.Run(QStringLiteral("some text here"), QString()));
    EXPECT_EQ(r.lines.Count(), 0);

    ConcRun none;
    ASSERT_TRUE(none.Run(QStringLiteral("some text here\n"), QStringLiteral("absent")));
    EXPECT_EQ(none.lines.Count(), 0);
    EXPECT_FALSE(none.lines.sw_limit_reached);

    ConcRun empty;
    ASSERT_TRUE(empty.Run(QString(), QStringLiteral("x")));
    EXPECT_EQ(empty.lines.Count(), 0);
}

TEST(MarvexBufferProcessor, SeveralSearchWordsGetTheirCategoryAndNumber)
{
    ConcRun r;
    ASSERT_TRUE(r.Run(QStringLiteral("the house and the home* of a homely man"), QStringLiteral("house/home*")));
    ASSERT_EQ(r.lines.Count(), 3);
    EXPECT_EQ(r.Line(0).fCategory, QStringLiteral("house"));
    EXPECT_EQ(r.Line(1).fData.base.sw_number, 1);
    EXPECT_EQ(r.Line(1).fCategory, QStringLiteral("home*"));
    // Search words without a tag do not record where their hit stands (it is taken in their plain form).
    const auto& b = r.Line(2).fData.base;
    EXPECT_EQ(b.sw_starts, 0);
    EXPECT_EQ(b.sw_finishes, 0);
    EXPECT_EQ(r.Line(2).fData.conc_line.mid(b.midpoint, 6), QStringLiteral("homely"));
}

TEST(MarvexBufferProcessor, SamplingWithRangeOneKeepsEveryHit)
{
    cv::SetRandomising(true, 1);
    ConcRun r;
    ASSERT_TRUE(r.Run(Words(20, {{3, "x"}, {7, "x"}, {9, "x"}}), QStringLiteral("x")));
    EXPECT_EQ(r.lines.Count(), 3);
    cv::SetRandomising(true, 1000000);
    ConcRun few;
    ASSERT_TRUE(few.Run(Words(20, {{3, "x"}, {7, "x"}, {9, "x"}}), QStringLiteral("x")));
    EXPECT_LT(few.lines.Count(), 3);
    cv::SetRandomising(false, 0);
}

TEST(MarvexBufferProcessor, TagsInsideTheLineAndTheTagContext)
{
    ConcRun r;
    r.KeepTags({QStringLiteral("<b>"), QStringLiteral("</b>")});
    r.settings.SetCharactersPerLine(60);
    const QString text = QStringLiteral("one <b>two cat</b> three <i>four</i> five");
    ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    const auto& rec = r.Line(0).fData;
    const int hit = rec.base.midpoint;
    EXPECT_EQ(rec.conc_line.mid(hit - 11, 22), QStringLiteral("one <b>two cat</b> thr"));
    ASSERT_EQ(rec.tag_positions_in_line.Count(), 2);
    const auto t0 = rec.tag_positions_in_line.Record(0);
    EXPECT_EQ(t0.tag_position, hit - 7);
    EXPECT_EQ(t0.used_length, 3);
    EXPECT_EQ(t0.tagnumber_1Based, 1);
    EXPECT_EQ(t0.foreground, 0x0000FF);
    EXPECT_EQ(t0.background, 0xFFFF00);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).tag_position, hit + 3);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).tagnumber_1Based, 2);
    EXPECT_EQ(rec.tag_positions_in_line.Record(2).tagnumber_1Based, -1);
    EXPECT_TRUE(r.lines.fHasTagPositions);
    EXPECT_EQ(rec.tag_positions_in_line.extrainfo().centre_sw_position, hit);
    // The tag in force at each word.
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[49], 1); // two
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[50], 1); // cat
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[51], 2); // three
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[48], 0); // one
    EXPECT_EQ(rec.tag_positions_in_line.extrainfo().tag_sort_numbers_1Based[5], 1);
    // Tag context: the nearest listed tag at or before the hit.
    EXPECT_EQ(rec.tag_context, QStringLiteral("<b>"));
    EXPECT_EQ(rec.base.tag_number_1_based, 1);
    EXPECT_EQ(rec.base.tag_context_distance_from_SW, 7);
    EXPECT_EQ(rec.base.fixed_sort_positions[4].Tag_number_1Based, 1); // "two" comes right after <b>
}

TEST(MarvexBufferProcessor, HitsAcrossChunksKeepWordNumbersAndUnitEnds)
{
    ConcRun r;
    r.maxChunk = 64;
    r.settings.SetCharactersPerLine(30);
    QString text;
    for (int s = 1; s <= 30; ++s)
        text += QStringLiteral("Word%1 a cat b. ").arg(s) + (s % 5 == 0 ? QStringLiteral("\n") : QString());
    ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 30);
    for (int i = 0; i < 30; ++i) {
        const auto& b = r.Line(i).fData.base;
        EXPECT_EQ(b.word_num, 4 * i + 3) << i;
        EXPECT_EQ(b.extras.SentenceNumber(), i + 1) << i;
        EXPECT_EQ(b.extras.SentenceEndWord(), 4 * i + 4) << i;
        EXPECT_EQ(b.extras.ParagraphEndWord(), 20 * (i / 5) + 20) << i;
        EXPECT_EQ(b.extras.SectionEndWord(), 120) << i;
        EXPECT_EQ(wordsAt(r.Line(i), 50, 50), QStringLiteral("cat")) << i;
    }
}

TEST(MarvexBufferProcessor, LineFilterDropsAndChangesLines)
{
    ConcRun r;
    r.filter = cv::TConcordanceLinePlugin::FromFunction(
        [](uint16_t* line, int32_t midpoint, int32_t hitCharacters, int64_t, int32_t wordNumber, int32_t width,
           const uint16_t* fileName) -> int32_t {
            if (width != 65535 || !fileName || fileName[0] == 0)
                return 0;
            for (int32_t i = 0; i < hitCharacters; ++i)
                line[midpoint + i] = uint16_t(line[midpoint + i] - 'a' + 'A');
            return wordNumber % 2; // odd word numbers only
        },
        QStringLiteral("test filter"));
    ASSERT_TRUE(r.Run(Words(20, {{3, "x"}, {6, "x"}, {9, "x"}}), QStringLiteral("x")));
    EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{3, 9}));
    EXPECT_EQ(r.Line(0).fData.conc_line.mid(r.Line(0).fData.base.midpoint, 1), QStringLiteral("X"));

    ConcRun all;
    all.filter = cv::TConcordanceLinePlugin::FromFunction(
        [](uint16_t*, int32_t, int32_t, int64_t, int32_t, int32_t, const uint16_t*) -> int32_t { return 0; },
        QStringLiteral("drop all"));
    ASSERT_TRUE(all.Run(Words(20, {{3, "x"}, {6, "x"}}), QStringLiteral("x")));
    EXPECT_EQ(all.lines.Count(), 0);
}

TEST(MarvexBufferProcessor, CancelStopsBeforeAnyLine)
{
    ConcRun r;
    cv::global_panic_state = cv::kPanicStopNow;
    r.Run(Words(20, {{3, "x"}}), QStringLiteral("x"));
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_EQ(r.lines.Count(), 0);
}

TEST(MarvexBufferProcessor, KnownLineIsRebuiltFromItsStoredPosition)
{
    ConcRun r;
    r.settings.SetCharactersPerLine(40);
    const QString text = Words(60, {{30, "cat"}});
    ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    cv::TMarvexEntryRec known = r.lines.MarvexData(0);
    const QString before = known.conc_line;
    known.conc_line.clear();
    known.base.fixed_sort_positions = {};

    cv::TMarvexDocumentLink link;
    link.lines = &r.lines;
    link.settings = r.settings;
    link.textSettings = r.text;
    cv::TChosenTextRec rec;
    rec.FullFilename = r.dir.file(QStringLiteral("text1.txt"));
    cv::TSearchAndDoEngine engine(r.items);
    cv::TMarvexBufferProcessor p(link, false, nullptr, &r.items, nullptr, nullptr, nullptr, &engine, 10, 0, false,
                                 rec, r.tags.get());
    p.SetMaxChunkChars(100); // the line lies in a later chunk
    p.SetKnownLine(&known);
    ASSERT_TRUE(p.ReadAndProcess(1));
    EXPECT_TRUE(p.KnownLineRebuilt());
    EXPECT_EQ(known.conc_line.trimmed(), before.trimmed());
    EXPECT_EQ(wordsAt(cv::TConcordanceEntry(nullptr, std::move(known)), 49, 51), QStringLiteral("w29 cat w31"));
    EXPECT_EQ(r.lines.Count(), 1); // nothing searched
}

TEST(MarvexBufferProcessor, UnitEndsOfSeveralSearchWordsAndOfAStoppedSearch)
{
    QString text;
    for (int s = 1; s <= 12; ++s)
        text += QStringLiteral("Word%1 dog cat b. ").arg(s) + (s % 3 == 0 ? QStringLiteral("\n") : QString());
    for (const int chunk : {0, 64}) {
        ConcRun r;
        r.maxChunk = chunk;
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat/dog")));
        ASSERT_EQ(r.lines.Count(), 24);
        for (int i = 0; i < 24; ++i) {
            const auto& b = r.Line(i).fData.base;
            const int sentence = (b.word_num - 1) / 4;
            EXPECT_EQ(b.extras.SentenceEndWord(), 4 * sentence + 4) << chunk << " " << i;
            EXPECT_EQ(b.extras.ParagraphEndWord(), 12 * (sentence / 3) + 12) << chunk << " " << i;
            EXPECT_EQ(b.extras.SectionEndWord(), 48) << chunk << " " << i;
        }
    }
    ConcRun stopped; // the search of "cat" stops at its limit; later boundaries still count
    stopped.settings.SetEntriesWantedPerSw(2);
    ASSERT_TRUE(stopped.Run(text, QStringLiteral("cat")));
    ASSERT_EQ(stopped.lines.Count(), 2);
    EXPECT_EQ(stopped.Line(1).fData.base.extras.SentenceEndWord(), 8);
    EXPECT_EQ(stopped.Line(1).fData.base.extras.ParagraphEndWord(), 12);
}

TEST(MarvexBufferProcessor, HeadingEndsOnlyForHitsInAHeading)
{
    ConcRun r;
    r.text.SetMarkupMode(cv::TMarkupMode::TagRules);
    ASSERT_TRUE(r.Run(QStringLiteral("<head>The cat title</head>\nA cat in the text.\nAnother line here.\n"),
                      QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 2);
    EXPECT_EQ(r.Line(0).fData.base.extras.HeadingEndWord(), 3);
    EXPECT_EQ(r.Line(1).fData.base.extras.HeadingEndWord(), 0);
    EXPECT_EQ(r.Line(1).fData.base.extras.ParagraphEndWord(), 8);
    EXPECT_EQ(r.Line(1).fData.base.extras.SectionEndWord(), 11);
}

// End to end on the sample corpus (the folder named by CV_SAMPLE_CORPUS).
TEST(MarvexBufferProcessor, SampleCorpusLinesAreExact)
{
    const QByteArray folder = qgetenv("CV_SAMPLE_CORPUS");
    if (folder.isEmpty())
        GTEST_SKIP() << "CV_SAMPLE_CORPUS is not set";
    QDir dir(QString::fromLocal8Bit(folder));
    const QStringList names = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name).mid(0, 5);
    ASSERT_FALSE(names.isEmpty());
    ConcRun r;
    r.settings = cv::TConcSettingsRec32::Defaults();
    r.items.AddedSearchWords(QStringLiteral("the"));
    for (int t = 0; t < names.size(); ++t) {
        const int before = r.lines.Count();
        ASSERT_TRUE(r.RunOver(dir.filePath(names[t]), t + 1)) << r.lastError.toStdString();
        const QString text = QString::fromUtf8(cvtest::readAll(dir.filePath(names[t])));
        int32_t lastWord = 0;
        for (int i = before; i < r.lines.Count(); ++i) {
            const auto& b = r.Line(i).fData.base;
            EXPECT_EQ(b.filename_num_original, t + 1);
            EXPECT_EQ(wordsAt(r.Line(i), 50, 50).toLower(), QStringLiteral("the")) << i;
            // The hit as it stands in the text.
            const int64_t start = int64_t(b.byte_position) - b.hit_characters;
            // Lines are cut short only at the text's end.
            EXPECT_TRUE(r.Line(i).fData.conc_line.size() == 250 || start + 125 >= text.size() - 8) << i;
            EXPECT_EQ(text.mid(qsizetype(start), 3).toLower(), QStringLiteral("the")) << i;
            EXPECT_GT(b.word_num, lastWord);
            lastWord = b.word_num;
            EXPECT_GE(b.extras.SentenceEndWord(), b.word_num);
            EXPECT_GE(b.extras.ParagraphEndWord(), b.extras.SentenceEndWord());
            EXPECT_GE(b.extras.SectionEndWord(), b.extras.ParagraphEndWord());
            EXPECT_GE(b.percent_of_file, 0.0f);
            EXPECT_LE(b.percent_of_file, 100.0f);
        }
    }
    EXPECT_GT(r.lines.Count(), 100);
}

TEST(MarvexBufferProcessor, ATextWithoutChunksLeavesEarlierLinesAlone)
{
    ConcRun r;
    ASSERT_TRUE(r.Run(Words(40, {{20, "cat"}}), QStringLiteral("cat")));
    ASSERT_EQ(r.lines.Count(), 1);
    const cv::TMarvexEntryRecBase before = r.Line(0).fData.base;
    r.RunOver(r.dir.write(QStringLiteral("empty.txt"), QByteArray()), 2);
    r.RunOver(r.dir.write(QStringLiteral("short.txt"), QByteArray("x y")), 3);
    ASSERT_EQ(r.lines.Count(), 1);
    EXPECT_EQ(r.Line(0).fData.base.percent_of_file, before.percent_of_file);
    EXPECT_EQ(r.Line(0).fData.base.extras, before.extras);
}

TEST(MarvexBufferProcessor, AJumpListMakesLinesOnlyAtTheWantedPositions)
{
    const QString text = Words(60, {{10, "cat"}, {20, "cat"}, {25, "dog"}, {30, "cat"}, {40, "cat"}});
    {
        ConcRun r;
        r.jumpList = std::vector<int32_t>{40, 20, 50};
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        // Each line keeps its running word; 50 holds no hit and stays wanted.
        EXPECT_EQ(r.WordNumbers(), (std::vector<int32_t>{20, 40}));
        EXPECT_EQ(r.jumpLeft, 1);
    }
    {
        // Several search words share the list; once every position is taken the search has found enough.
        ConcRun r;
        r.jumpList = std::vector<int32_t>{25, 10};
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat/dog")));
        std::vector<int32_t> got = r.WordNumbers();
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, (std::vector<int32_t>{10, 25}));
        EXPECT_EQ(r.jumpLeft, 0);
    }
    {
        // A list in force without positions: no line at all.
        ConcRun r;
        r.jumpList = std::vector<int32_t>{};
        ASSERT_TRUE(r.Run(text, QStringLiteral("cat")));
        EXPECT_EQ(r.lines.Count(), 0);
    }
}

TEST(MarvexBufferProcessor, OnlyASearchWordWithATagRecordsWhereItsHitStands)
{
    ConcRun plain;
    ASSERT_TRUE(plain.Run(QStringLiteral("a cat sat on the catwalk"), QStringLiteral("cat*")));
    ASSERT_EQ(plain.lines.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(plain.Line(i).fData.base.sw_starts, 0) << i;
        EXPECT_EQ(plain.Line(i).fData.base.sw_finishes, 0) << i;
    }

    ConcRun tagged;
    tagged.KeepTags({QStringLiteral("<b>")});
    ASSERT_TRUE(tagged.Run(QStringLiteral("one <b>cat sat on the mat"), QStringLiteral("<b>cat")));
    ASSERT_EQ(tagged.lines.Count(), 1);
    const auto& b = tagged.Line(0).fData.base;
    EXPECT_TRUE(b.sw_contains_a_tag);
    EXPECT_GE(b.sw_starts, 1);
    EXPECT_GT(b.sw_finishes, b.sw_starts);
    EXPECT_TRUE(tagged.Line(0).fData.conc_line.mid(b.sw_starts, b.sw_finishes - b.sw_starts).contains(QStringLiteral("cat")));
}
