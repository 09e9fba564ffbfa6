#include "suite/wildcard.h"

#include <gtest/gtest.h>

using cv::TFoldTable;
using cv::TWildcardMatcher;

namespace {

bool matches(std::u16string_view pattern, std::u16string_view text, bool caseSensitive = false)
{
    return TWildcardMatcher(pattern, caseSensitive ? nullptr : &TFoldTable::Standard()).Matches(text);
}

} // namespace

TEST(Wildcard, PlainWordsMatchWholeWordsOnly)
{
    EXPECT_TRUE(matches(u"the", u"The"));
    EXPECT_FALSE(matches(u"the", u"The", true));
    EXPECT_FALSE(matches(u"the", u"there"));
    EXPECT_FALSE(matches(u"the", u"th"));
    EXPECT_TRUE(TWildcardMatcher(u"the", &TFoldTable::Standard()).IsPlain());
}

TEST(Wildcard, StarAndQuestionMark)
{
    // "*" is any run, also none; "?" exactly one character.
    EXPECT_TRUE(matches(u"*", u""));
    EXPECT_TRUE(matches(u"*", u"anything"));
    EXPECT_TRUE(matches(u"?", u"a"));
    EXPECT_FALSE(matches(u"?", u""));
    EXPECT_FALSE(matches(u"?", u"ab"));
    EXPECT_TRUE(matches(u"colo?r", u"colour"));
    EXPECT_FALSE(matches(u"colo?r", u"color"));
    // Anchored at both ends.
    EXPECT_TRUE(matches(u"*ing", u"sing"));
    EXPECT_TRUE(matches(u"*ing", u"ing"));
    EXPECT_FALSE(matches(u"*ing", u"singer"));
    EXPECT_TRUE(matches(u"un*", u"UNDONE"));
    EXPECT_FALSE(matches(u"un*", u"run"));
    EXPECT_TRUE(matches(u"*ab*", u"xaby"));
    EXPECT_TRUE(matches(u"*ab*", u"ab"));
    EXPECT_FALSE(matches(u"*ab*", u"a-b"));
}

TEST(Wildcard, SeveralStarsNeedBacktracking)
{
    EXPECT_TRUE(matches(u"a*b*c", u"abc"));
    EXPECT_TRUE(matches(u"a*b*c", u"aXbYc"));
    EXPECT_TRUE(matches(u"a*b*c", u"acbc"));
    EXPECT_TRUE(matches(u"a*b*c", u"abcbc"));
    EXPECT_FALSE(matches(u"a*b*c", u"ab"));
    EXPECT_FALSE(matches(u"a*b*c", u"abcx"));
    EXPECT_FALSE(matches(u"a*b*c", u"cab"));
    EXPECT_TRUE(matches(u"*aab", u"aaab"));
    EXPECT_TRUE(matches(u"a?*?b", u"axyb"));
    EXPECT_FALSE(matches(u"a?*?b", u"axb"));
    // A pattern that would take exponential time in a naive matcher.
    EXPECT_FALSE(matches(u"a*a*a*a*a*a*a*a*b", std::u16string(200, u'a')));
}

TEST(Wildcard, QuestionMarkTakesASurrogatePairAsOneCharacter)
{
    const std::u16string smile = u"a\U0001F600b";
    EXPECT_TRUE(matches(u"a?b", smile));
    EXPECT_FALSE(matches(u"a??b", smile));
    EXPECT_TRUE(matches(u"a*b", smile));
    EXPECT_FALSE(matches(u"a?b", u"a\U0001F600\U0001F600b"));
}

TEST(Wildcard, FoldingFollowsTheLanguage)
{
    const auto& standard = TFoldTable::ForLocale(QLocale(QStringLiteral("en_GB")));
    const auto& turkic = TFoldTable::ForLocale(QLocale(QStringLiteral("tr_TR")));
    EXPECT_EQ(&turkic, &TFoldTable::Turkic());
    EXPECT_TRUE(TWildcardMatcher(u"istanbul", &standard).Matches(u"ISTANBUL"));
    EXPECT_FALSE(TWildcardMatcher(u"istanbul", &turkic).Matches(u"ISTANBUL"));
    EXPECT_TRUE(TWildcardMatcher(u"istanbul", &turkic).Matches(u"\u0130STANBUL"));
    EXPECT_TRUE(TWildcardMatcher(u"\u0131s*", &turkic).Matches(u"ISIK"));
    // Final sigma folds with sigma.
    EXPECT_TRUE(TWildcardMatcher(u"\u03bf\u03b4\u03bf\u03c3", &standard).Matches(u"\u039f\u0394\u039f\u03a3"));
    EXPECT_TRUE(TWildcardMatcher(u"\u03bf\u03b4\u03bf\u03c2", &standard).Matches(u"\u039f\u0394\u039f\u03a3"));
}

TEST(Wildcard, OnlyWildcardsIsRecognised)
{
    EXPECT_TRUE(cv::OnlyWildcards(u"*"));
    EXPECT_TRUE(cv::OnlyWildcards(u" ? * "));
    EXPECT_FALSE(cv::OnlyWildcards(u""));
    EXPECT_FALSE(cv::OnlyWildcards(u"*a"));
    EXPECT_FALSE(cv::OnlyWildcards(u"*."));
}
