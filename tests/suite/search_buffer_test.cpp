#include "suite/search_buffer.h"

#include <gtest/gtest.h>

#include <random>

using cv::TSearchToken;

namespace {

// The tokens as the class-array contract defines them, one unit at a time.
std::vector<TSearchToken> referenceTokens(std::u16string_view text, const std::vector<uint16_t>& cls,
                                          const cv::TClassArrayLayout& l, uint8_t* trailing)
{
    std::vector<TSearchToken> out;
    const auto n = int32_t(cls.size());
    int32_t words = 0;
    uint16_t lastTag = 0;
    uint8_t barrier = 0;
    bool punct = false;
    for (int32_t i = 0; i < n;) {
        const uint16_t c = cls[std::size_t(i)];
        const uint16_t code = c & l.codeMask;
        const bool tag = c & l.tagBit;
        if (!tag && !((l.wordCodes >> code) & 1u)) {
            barrier = std::max(barrier, l.boundaryLevels[code]);
            punct = punct || !((l.spaceCodes >> code) & 1u);
            ++i;
            continue;
        }
        TSearchToken t;
        t.start = i;
        t.barrier = barrier;
        t.wordIndex = words;
        bool letters = false;
        if (tag) {
            ++i;
            while (i < n && (cls[std::size_t(i)] & l.tagBit) && text[std::size_t(i)] != u'<')
                ++i;
            t.tagNumber = c & l.tagNumberMask;
            t.flags = TSearchToken::kTag;
            if (t.tagNumber)
                lastTag = t.tagNumber;
        } else {
            while (i < n && !(cls[std::size_t(i)] & l.tagBit) && ((l.wordCodes >> (cls[std::size_t(i)] & l.codeMask)) & 1u)) {
                letters = letters || ((l.letterCodes >> (cls[std::size_t(i)] & l.codeMask)) & 1u);
                ++i;
            }
            const bool counted = letters || l.countNumbers;
            t.tagNumber = lastTag;
            lastTag = 0;
            t.flags = uint8_t((counted ? TSearchToken::kCounted : 0) | (letters ? TSearchToken::kHasLetter : 0));
            words += counted;
        }
        t.flags |= punct ? TSearchToken::kGapPunct : 0;
        t.length = i - t.start;
        out.push_back(t);
        barrier = 0;
        punct = false;
    }
    *trailing = barrier;
    return out;
}

} // namespace

TEST(SearchBuffer, LongBuffersAreCutExactlyAsUnitByUnit)
{
    auto layout = cv::TClassArrayLayout::Rows();
    layout.boundaryLevels[15] = 2;
    layout.boundaryLevels[17] = 3;
    layout.boundaryLevels[21] = 5;
    std::mt19937 rng(20240611);
    const uint16_t codes[] = {0, 0, 1, 1, 1, 1, 1, 2, 3, 5, 6, 15, 17, 21};
    for (int round = 0; round < 60; ++round) {
        layout.countNumbers = round % 2;
        const int n = 1 + int(rng() % 3000);
        std::u16string text(std::size_t(n), u'a');
        std::vector<uint16_t> cls(static_cast<std::size_t>(n));
        // Long words and long gaps in some rounds, so tokens cross the 64-unit blocks.
        const int runScale = round % 3 == 0 ? 150 : 6;
        for (int i = 0; i < n;) {
            const int len = 1 + int(rng() % unsigned(runScale));
            const bool tag = rng() % 23 == 0 && round % 4 != 1;
            const uint16_t code = codes[rng() % std::size(codes)];
            for (int k = 0; k < len && i < n; ++k, ++i) {
                if (tag) {
                    cls[std::size_t(i)] = uint16_t(0x800 | (len % 5));
                    text[std::size_t(i)] = (k == 0 || rng() % 9 == 0) ? u'<' : u'x';
                } else {
                    cls[std::size_t(i)] = rng() % 7 == 0 ? codes[rng() % std::size(codes)] : code;
                }
            }
        }
        cv::TSearchBuffer buffer(text, cls, layout);
        uint8_t trailing = 0;
        const auto expected = referenceTokens(text, cls, layout, &trailing);
        ASSERT_EQ(buffer.Tokens().size(), expected.size()) << "round " << round;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const auto& a = buffer.Tokens()[k];
            const auto& e = expected[k];
            ASSERT_TRUE(a.start == e.start && a.length == e.length && a.wordIndex == e.wordIndex && a.tagNumber == e.tagNumber
                        && a.flags == e.flags && a.barrier == e.barrier)
                << "round " << round << " token " << k << " at " << e.start;
        }
        EXPECT_EQ(buffer.TrailingBarrier(), trailing);
        EXPECT_EQ(buffer.RunningWords(), expected.empty() ? 0 : expected.back().wordIndex + ((expected.back().flags & TSearchToken::kCounted) && !(expected.back().flags & TSearchToken::kTag)));
    }
}

TEST(SearchBuffer, RowsClassifyJoinersTagsAndWildcards)
{
    std::vector<uint16_t> cls;
    cv::ClassifyUnits(u"don't re-do 3.5 <b> a*", cv::TWordRules(), false, cls);
    const std::vector<uint16_t> expected = {1, 1, 1, 3, 1, 0, 1, 1, 4, 1, 1, 0, 2, 6, 2, 0, 0x800, 0x800, 0x800, 0, 1, 5};
    EXPECT_EQ(cls, expected);
    cv::ClassifyUnits(u"a*", cv::TWordRules(), true, cls);
    EXPECT_EQ(cls, (std::vector<uint16_t>{1, 1}));
    cv::TWordRules rules;
    rules.apostrophesInWords = false;
    rules.hyphensSeparateWords = true;
    rules.extraWordCharacters = QStringLiteral("#");
    cv::ClassifyUnits(u"don't re-do #x", rules, false, cls);
    EXPECT_EQ(cls[3], 5);
    EXPECT_EQ(cls[8], 5);
    EXPECT_EQ(cls[12], 1);
    // A "<" without its ">" within reach is no tag.
    cv::ClassifyUnits(u"a < b", cv::TWordRules(), false, cls);
    EXPECT_EQ(cls[2], 5);
}
