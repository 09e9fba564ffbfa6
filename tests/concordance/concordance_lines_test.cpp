#include "concordance/concordance_lines.h"

#include <gtest/gtest.h>

#include "lines_testutil.h"
#include "textread/class_array.h"

using namespace cv;

namespace {

// A hand-made class array: letters for [a-z0-9], tags between { and }, "."
// a sentence end, "|" a paragraph end, "#" a section end, "-" punctuation.
struct Marked {
    std::u16string text;
    std::vector<uint16_t> classes;
};

Marked mark(const char* s, uint16_t tagNumber = 3)
{
    Marked m;
    bool inTag = false;
    for (const char* p = s; *p; ++p) {
        const char c = *p;
        if (c == '{') {
            inTag = true;
            m.text += kTagMarkOpen;
            m.classes.push_back(uint16_t(kTagBit | tagNumber));
            continue;
        }
        if (c == '}') {
            inTag = false;
            m.text += kTagMarkClose;
            m.classes.push_back(uint16_t(kTagBit | tagNumber));
            continue;
        }
        m.text += char16_t(c);
        if (inTag)
            m.classes.push_back(uint16_t(kTagBit | tagNumber));
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            m.classes.push_back(uint16_t(kClassLetter | (c <= 'Z' ? kFlagUpper : 0)));
        else if (c >= '0' && c <= '9')
            m.classes.push_back(kClassDigit);
        else if (c == '.')
            m.classes.push_back(kClassSentenceEnd);
        else if (c == '|')
            m.classes.push_back(kClassParagraphEnd);
        else if (c == '#')
            m.classes.push_back(kClassSectionEnd);
        else if (c == '-')
            m.classes.push_back(kClassPunctuation);
        else
            m.classes.push_back(kClassSpace);
    }
    return m;
}

QString q(const std::u16string& s) { return QString::fromStdU16String(s); }

} // namespace

TEST(ConcordanceLines, CutLinePutsTheHitAtTheMiddle)
{
    TLineCut c = CutLine(100, 40, 1000);
    EXPECT_EQ(c.first, 80);
    EXPECT_EQ(c.padding, 0);
    EXPECT_EQ(c.length, 40);
    EXPECT_EQ(c.midpoint, 20);
    c = CutLine(5, 40, 1000); // near the start: blanks in front
    EXPECT_EQ(c.first, -15);
    EXPECT_EQ(c.padding, 15);
    EXPECT_EQ(c.length, 40);
    EXPECT_EQ(c.midpoint, 20);
    c = CutLine(990, 40, 1000); // near the end: cut at the buffer's end
    EXPECT_EQ(c.first, 970);
    EXPECT_EQ(c.length, 30);
    EXPECT_EQ(c.midpoint, 20);
    c = CutLine(3, 41, 10); // odd length, short buffer
    EXPECT_EQ(c.first, -17);
    EXPECT_EQ(c.length, 27);
    EXPECT_EQ(c.midpoint, 20);
}

TEST(ConcordanceLines, CopyShowsTagMarksAndBlanksControls)
{
    const Marked m = mark("ab {x} c\td|e");
    std::u16string text = m.text;
    text[8] = u'\t';
    text[10] = u'\n';
    const TLineCut cut = CutLine(5, 12, int32_t(text.size()));
    std::vector<uint16_t> classes;
    const QString line = CopyLineOverClassArray(text, m.classes, cut, &classes);
    EXPECT_EQ(line.toStdString(), " ab <x> c d ");
    EXPECT_EQ(CopyLineOverClassArray(text, m.classes, CutLine(6, 12, 12)).toStdString(), "ab <x> c d e");
    ASSERT_EQ(classes.size(), 12u);
    EXPECT_EQ(classes[0], kClassSpace); // padding
    EXPECT_EQ(classes[1], kClassLetter);
    EXPECT_EQ(classes[4], uint16_t(kTagBit | 3));
    EXPECT_EQ(classes[11], kClassParagraphEnd);
}

TEST(ConcordanceLines, PreviousWordReportsTheGapAfterTheWordAndTheTagBeforeIt)
{
    const Marked m = mark("{t}one. two - three|{t}four");
    int32_t pos = int32_t(m.text.size());
    TScannedWord w;
    ASSERT_TRUE(PreviousWord(m.classes, pos, w));
    EXPECT_EQ(q(m.text.substr(std::size_t(w.start), std::size_t(w.length))), QStringLiteral("four"));
    EXPECT_EQ(w.barrier, 0);
    EXPECT_EQ(w.tagNumber, 3);
    ASSERT_TRUE(PreviousWord(m.classes, pos, w));
    EXPECT_EQ(q(m.text.substr(std::size_t(w.start), std::size_t(w.length))), QStringLiteral("three"));
    EXPECT_EQ(w.barrier, 3);
    EXPECT_EQ(w.tagNumber, 0);
    ASSERT_TRUE(PreviousWord(m.classes, pos, w));
    EXPECT_EQ(w.barrier, 0); // punctuation is no boundary
    ASSERT_TRUE(PreviousWord(m.classes, pos, w));
    EXPECT_EQ(q(m.text.substr(std::size_t(w.start), std::size_t(w.length))), QStringLiteral("one"));
    EXPECT_EQ(w.barrier, 2);
    EXPECT_EQ(w.tagNumber, 3);
    EXPECT_FALSE(PreviousWord(m.classes, pos, w));
    EXPECT_EQ(pos, 0);
}

TEST(ConcordanceLines, WordPositionsAroundAHit)
{
    //                 0         1         2         3
    //                 0123456789012345678901234567890123456
    const Marked m = mark("aa bb. cc {x}hit dd|ee 12 ff");
    const int32_t hit = 13;
    std::array<TSortInfoRec, kWordPositions> pos{};
    FillWordPositions(m.classes, hit, hit + 3, 3, 20, 46, 55, true, pos);
    EXPECT_EQ(pos[50].start_position, 10);
    EXPECT_EQ(pos[50].coll_length, 3);
    EXPECT_EQ(pos[50].Tag_number_1Based, 3);
    EXPECT_EQ(pos[50].barrier, 0);
    EXPECT_EQ((TSortInfoRec{4, 2, 0, 0}), pos[49]);  // cc
    EXPECT_EQ((TSortInfoRec{0, 2, 2, 0}), pos[48]);  // bb, then the sentence end
    EXPECT_EQ((TSortInfoRec{-3, 2, 0, 0}), pos[47]); // aa, before the line's first character
    EXPECT_EQ((TSortInfoRec{-10, 0, 0, 0}), pos[46]); // no word: -(hit's index in the line)
    EXPECT_EQ(pos[45], TSortInfoRec()); // outside the limits: untouched
    EXPECT_EQ((TSortInfoRec{14, 2, 3, 0}), pos[51]); // dd, then the paragraph end
    EXPECT_EQ((TSortInfoRec{17, 2, 0, 0}), pos[52]); // ee
    EXPECT_EQ((TSortInfoRec{20, 2, 0, 0}), pos[53]); // 12: numbers are words of the line
    EXPECT_EQ((TSortInfoRec{23, 2, 0, 0}), pos[54]); // ff
    EXPECT_EQ((TSortInfoRec{10, 0, 0, 0}), pos[55]); // no word: line length - hit's index

    std::array<TSortInfoRec, kWordPositions> flat{};
    FillWordPositions(m.classes, hit, hit + 3, 3, 20, 40, 60, false, flat);
    EXPECT_EQ(flat[48].barrier, 0);
    EXPECT_EQ(flat[51].barrier, 0);

    TMarvexEntryRec rec;
    FillWordPositions(m.classes, hit, hit + 3, 3, 20, 42, 58, true, pos);
    DistributeWordPositions(pos, 42, 58, rec);
    EXPECT_EQ(rec.other_left_collocs.Count(), 3);  // 42, 43, 44: farthest first
    EXPECT_EQ(rec.other_right_collocs.Count(), 3); // 56, 57, 58: nearest first
    EXPECT_EQ(rec.base.fixed_sort_positions[5], pos[50]);
    for (int p = 42; p <= 58; ++p)
        EXPECT_EQ(WordAtPosition(rec, p), pos[std::size_t(p)]) << p;
    EXPECT_EQ(WordAtPosition(rec, 41), TSortInfoRec());
    EXPECT_EQ(WordAtPosition(rec, 101), TSortInfoRec());
    EXPECT_EQ(WordAtPosition(rec, -1), TSortInfoRec());
    EXPECT_EQ(OutermostPosition(rec, true), 58);
    EXPECT_EQ(OutermostPosition(rec, false), 42);
}

TEST(ConcordanceLines, TagPositionsAndTheTagInForceAtEachWord)
{
    const Marked m = mark("{b}one two{c}three", 0);
    std::vector<uint16_t> classes = m.classes;
    for (int i = 0; i < 3; ++i)
        classes[std::size_t(i)] = uint16_t(kTagBit | 1);
    for (int i = 10; i < 13; ++i)
        classes[std::size_t(i)] = uint16_t(kTagBit | 2);
    TMarvexEntryRec rec;
    TagPositionsFromClasses(classes, nullptr, rec.tag_positions_in_line);
    ASSERT_EQ(rec.tag_positions_in_line.Count(), 2);
    EXPECT_EQ(rec.tag_positions_in_line.Record(0).tag_position, 0);
    EXPECT_EQ(rec.tag_positions_in_line.Record(0).used_length, 3);
    EXPECT_EQ(rec.tag_positions_in_line.Record(0).foreground, kDefaultTagForeground);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).tag_position, 10);
    EXPECT_EQ(rec.tag_positions_in_line.TagNumber(1), 2);
    EXPECT_EQ(rec.tag_positions_in_line.TagNumber(2), 0);

    std::array<TSortInfoRec, kWordPositions> pos{};
    FillWordPositions(classes, 7, 10, 0, 18, 45, 55, true, pos); // hit "two"
    DistributeWordPositions(pos, 45, 55, rec);
    MapTagPositionsToSortPositions(rec);
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[49], 1); // one
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[50], 1); // two
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[51], 2); // three
    EXPECT_EQ(rec.pExtraBase.Get().tag_sort_numbers_1Based[52], 0); // no word
    EXPECT_EQ(rec.tag_positions_in_line.extrainfo().tag_sort_numbers_1Based[4], 1);
    EXPECT_EQ(rec.tag_positions_in_line.extrainfo().tag_sort_numbers_1Based[6], 2);

    std::vector<TStoredTagRec> table(2);
    table[1].foreground_colour = 0x123456;
    table[1].background_colour = 0x654321;
    rec.tag_positions_in_line.ChangeColoursTo(table);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).foreground, 0x123456);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).background, 0x654321);
    EXPECT_EQ(rec.tag_positions_in_line.Record(0).foreground, table[0].foreground_colour);
    rec.tag_positions_in_line.SetToZeroLength(1);
    rec.tag_positions_in_line.SetToZeroLength(7);
    EXPECT_EQ(rec.tag_positions_in_line.Record(1).used_length, 0);
}

TEST(ConcordanceLines, UnitEndHandlersRecordTheLastWordOfEachUnit)
{
    TUnitEndHandlers h;
    TSearchStatsRec a, b, c;
    h.LineMade(&a, false);
    h.PassBoundary(2, 7); // a's sentence ends after word 7
    h.LineMade(&b, true);
    h.PassBoundary(4, 12); // b's heading ends, and a's paragraph
    h.LineMade(&c, false);
    EXPECT_TRUE(h.Waiting());
    h.EndOfText(20);
    EXPECT_FALSE(h.Waiting());
    EXPECT_EQ(a.SentenceEndWord(), 7);
    EXPECT_EQ(a.ParagraphEndWord(), 12);
    EXPECT_EQ(a.HeadingEndWord(), 0);
    EXPECT_EQ(a.SectionEndWord(), 20);
    EXPECT_EQ(b.SentenceEndWord(), 12);
    EXPECT_EQ(b.HeadingEndWord(), 12);
    EXPECT_EQ(c.SentenceEndWord(), 20);
    EXPECT_EQ(c.ParagraphEndWord(), 20);
}

TEST(ConcordanceLines, OutwardSearchAndTagSortKeys)
{
    TMarvexEntryRec rec;
    for (int i = 0; i < kFixedPositions; ++i)
        rec.base.fixed_sort_positions[std::size_t(i)] = TSortInfoRec{int16_t(i * 5), 4, 0, 0};
    rec.base.fixed_sort_positions[2].barrier = 2; // after L3
    rec.base.fixed_sort_positions[7].barrier = 3; // after R2
    rec.base.fixed_sort_positions[10].coll_length = 0; // no R5
    EXPECT_EQ(OutwardSearch(rec, 45, 2), 48);
    EXPECT_EQ(OutwardSearch(rec, 45, 0), 45);
    EXPECT_EQ(OutwardSearch(rec, 55, 3), 52);
    EXPECT_EQ(OutwardSearch(rec, 55, 4), 54);
    EXPECT_EQ(OutwardSearch(rec, 50, 2), 50);
    EXPECT_EQ(TagKindToSortKey(1), 5);
    EXPECT_EQ(TagKindToSortKey(2), 6);
    EXPECT_EQ(TagKindToSortKey(0), 4);
    EXPECT_EQ(FixedIndexToPosition(5), 50);
    EXPECT_EQ(PositionToRightFixedIndex(52), 3);
}

TEST(ConcordanceLines, WordPositionsFromTokensMatchTheClassArray)
{
    const Marked m = mark("Aa bb. {x}cc dd|{y}ee - 12 ff.|#gg hh {z} ii");
    TSearchBuffer buffer(m.text, m.classes, TextClassArrayLayout(true));
    const auto& tokens = buffer.Tokens();
    for (int32_t t = 0; t < int32_t(tokens.size()); ++t) {
        if (tokens[std::size_t(t)].IsTag())
            continue;
        const int32_t start = tokens[std::size_t(t)].start, end = tokens[std::size_t(t)].End();
        std::array<TSortInfoRec, kWordPositions> fromClasses{}, fromTokens{};
        FillWordPositions(m.classes, start, end, start - 7, 15, 40, 60, true, fromClasses);
        FillWordPositions(buffer, t, t, start, end, start - 7, 15, 40, 60, fromTokens);
        for (int p = 40; p <= 60; ++p)
            EXPECT_EQ(fromTokens[std::size_t(p)], fromClasses[std::size_t(p)]) << "hit " << t << " position " << p;
    }
}
