#include "model_testutil.h"

#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using cvtest::TWordTestList;

namespace {

// Loads a list file into this tool's slot for the length of a test.
class LoadedList {
public:
    LoadedList(cv::TLemmatiserListKind kind, const QByteArray& text) : m_kind(kind)
    {
        const QString file = m_dir.write(QStringLiteral("list.txt"), text);
        EXPECT_GT(cv::LoadedOne(cv::current_tool_var, kind, file, cv::TListSettingsRec::Defaults(), {}, {}, 0x0809), 0);
    }
    ~LoadedList() { cv::ClearOne(cv::current_tool_var, m_kind); }

private:
    cvtest::TempDir m_dir;
    cv::TLemmatiserListKind m_kind;
};

void Fill(TWordTestList& l)
{
    for (const char* w : {"goes", "the", "go", "went", "going", "cat", "Cats", "and"})
        l.AddWord(QString::fromLatin1(w), 1);
}

} // namespace

TEST(LemmaMatchStop, LemmasJoinTheirFormsUnderTheHeadWordAsOneStep)
{
    LoadedList lemmas(cv::TLemmatiserListKind::Lemma, "go -> goes, went, going\ncat -> cats\nbe -> is, was\n");
    TWordTestList l;
    Fill(l);
    EXPECT_EQ(l.CheckLemmas(), 4);
    EXPECT_EQ(l.Words(), QStringList({"the", "go", "cat", "and"}));
    EXPECT_EQ(l.W(1).JoinedCount(), 3);
    EXPECT_EQ(l.W(1).JoinedEntry(0)->MainWordOnly(), QStringLiteral("goes"));
    EXPECT_EQ(l.W(2).JoinedEntry(0)->MainWordOnly(), QStringLiteral("Cats")) << "forms match in any case";
    EXPECT_EQ(l.UndoCount(), 1);
    l.Undo();
    EXPECT_EQ(l.Words(), QStringList({"goes", "the", "go", "went", "going", "cat", "Cats", "and"}));
    EXPECT_EQ(l.CheckLemmas(false), 4);
    EXPECT_EQ(l.CheckLemmas(false), 0) << "a second pass finds nothing left to join";
}

TEST(LemmaMatchStop, FormsWithoutTheirHeadWordStayApart)
{
    LoadedList lemmas(cv::TLemmatiserListKind::Lemma, "be -> is, was\n");
    TWordTestList l;
    l.AddWord(QStringLiteral("is"), 1);
    l.AddWord(QStringLiteral("was"), 1);
    EXPECT_EQ(l.CheckLemmas(), 0);
    EXPECT_EQ(l.Count(), 2);
}

TEST(LemmaMatchStop, StopWordsAreRemoved)
{
    LoadedList stops(cv::TLemmatiserListKind::Stop, "the\nAND\n");
    TWordTestList l;
    Fill(l);
    EXPECT_EQ(l.CheckStops(), 2);
    EXPECT_EQ(l.Words(), QStringList({"goes", "go", "went", "going", "cat", "Cats"}));
}

TEST(LemmaMatchStop, MatchActionsByMenuTagWithUndo)
{
    LoadedList matches(cv::TLemmatiserListKind::Match, "go*\ncat\n");
    TWordTestList l;
    Fill(l);
    EXPECT_EQ(cv::TagToMatchAction(cv::TagOf(cv::TMenuCommand::MarkMatches)), cv::TMatchAction::MatchAndMark);
    EXPECT_EQ(cv::TagToMatchAction(TagOf(cv::TMenuCommand::Save)), cv::TMatchAction::None);

    EXPECT_EQ(l.CheckMatches(cv::TagOf(cv::TMenuCommand::MarkMatches)), 4); // goes go going cat
    EXPECT_EQ(l.W(0).MatchMark(), 1);
    EXPECT_EQ(l.W(3).MatchMark(), 0);
    EXPECT_EQ(l.CheckMatches(cv::TagOf(cv::TMenuCommand::ClearAllMatches)), 4);
    EXPECT_EQ(l.W(0).MatchMark(), 0);
    l.Undo();
    EXPECT_EQ(l.W(0).MatchMark(), 1) << "clearing the marks is one undoable step";

    EXPECT_EQ(l.CheckMatches(cv::TagOf(cv::TMenuCommand::DeleteAllUnmatched)), 4);
    EXPECT_TRUE(l.W(1).Deleted());
    EXPECT_FALSE(l.W(2).Deleted());
    EXPECT_EQ(l.Zap(true), 4);
    EXPECT_EQ(l.Words(), QStringList({"goes", "go", "going", "cat"}));
    l.Undo();
    l.Undo();
    EXPECT_EQ(l.Count(), 8);
    EXPECT_FALSE(l.W(1).Deleted());

    EXPECT_EQ(l.CheckMatches(cv::TagOf(cv::TMenuCommand::DeleteAllMatched)), 4);
    EXPECT_TRUE(l.W(0).Deleted());
    EXPECT_EQ(l.CheckMatches(TagOf(cv::TMenuCommand::Clusters)), 0);
}

TEST(LemmaMatchStop, NothingHappensWithoutALoadedList)
{
    TWordTestList l;
    Fill(l);
    EXPECT_EQ(l.CheckLemmas(), 0);
    EXPECT_EQ(l.CheckStops(), 0);
    EXPECT_EQ(l.CheckMatches(cv::TagOf(cv::TMenuCommand::MarkMatches)), 0);
    EXPECT_EQ(l.Count(), 8);
}

TEST(LemmaMatchStop, DuplicatesGoTheFirstStays)
{
    TWordTestList l;
    l.AddWord(QStringLiteral("a"), 1);
    l.AddWord(QStringLiteral("b"), 2);
    l.AddWord(QStringLiteral("a"), 3);
    l.AddWord(QStringLiteral("A"), 4);
    EXPECT_EQ(l.RemoveDuplicates(), 1);
    EXPECT_EQ(l.Words(), QStringList({"a", "b", "A"}));
    EXPECT_EQ(l.W(0).freq, 1);
}
