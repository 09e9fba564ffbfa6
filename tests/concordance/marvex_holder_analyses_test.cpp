// Collocates, clusters, patterns and timelines of concordance documents,
// checked against counts made directly from the texts the tests write.

#include "conc_run_testutil.h"

#include "concordance/collocate_relationships.h"
#include "suite/resource_strings.h"
#include "wordlist/wordlist_holder.h"

#include <QHash>
#include <QRegularExpression>

#include <map>

using namespace cv;
using conc_test::ConcRunTest;

namespace {

struct Sides {
    int left = 0, right = 0;
    bool operator==(const Sides&) const = default;
};

// For every occurrence of `node` (case ignored) in each text: the words up to
// `horizon` places left and right of it, in capitals, counted by side.
std::map<QString, Sides> CountAround(const std::vector<QStringList>& texts, const QString& node, int horizon)
{
    std::map<QString, Sides> out;
    for (const QStringList& words : texts)
        for (int k = 0; k < words.size(); ++k) {
            if (words[k].compare(node, Qt::CaseInsensitive) != 0)
                continue;
            for (int d = 1; d <= horizon; ++d) {
                if (k - d >= 0)
                    ++out[words[k - d].toUpper()].left;
                if (k + d < words.size())
                    ++out[words[k + d].toUpper()].right;
            }
        }
    return out;
}

// The collocate rows of a search word (not the search word at its own place).
std::map<QString, Sides> RowsOf(const TCollocateList& list, int sw)
{
    std::map<QString, Sides> out;
    for (int i = 0; i < list.Count(); ++i) {
        const TCollocateEntryRec32& r = list.Entry(i)->Data();
        if (r.sw_number == sw)
            out[r.word] = {r.left, r.right};
    }
    return out;
}

} // namespace

TEST_F(ConcRunTest, CollocateCountsLeftAndRightMatchCountsMadeFromTheTexts)
{
    std::mt19937 rng(20240611);
    std::vector<QStringList> texts;
    for (int t = 0; t < 3; ++t) {
        QStringList words = RandomWords(rng, 300);
        std::uniform_int_distribution<int> place(0, int(words.size()) - 1);
        for (int n = 0; n < 25; ++n)
            words[place(rng)] = (n % 3 == 0) ? QStringLiteral("Cat") : QStringLiteral("cat");
        words[place(rng)] = QStringLiteral("dog");
        words[0] = QStringLiteral("cat"); // a hit with nothing on its left
        words.back() = QStringLiteral("dog");
        texts.push_back(words);
        AddText(QStringLiteral("t%1.txt").arg(t), words.join(u' '));
    }
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat/dog")));
    ASSERT_TRUE(doc->work_done.Collocates_computed);
    const TCollocateList& list = *doc->fCollocateList;
    EXPECT_EQ(RowsOf(list, 0), CountAround(texts, QStringLiteral("cat"), 5));
    EXPECT_EQ(RowsOf(list, 1), CountAround(texts, QStringLiteral("dog"), 5));

    // Totals, highest and texts agree with the counts per position.
    for (int i = 0; i < list.Count(); ++i) {
        const TCollocateEntryRec32& r = list.Entry(i)->Data();
        int sum = 0, highest = 0;
        for (int32_t f : r.freqs) {
            sum += f;
            highest = std::max(highest, f);
        }
        EXPECT_EQ(r.total, sum);
        EXPECT_EQ(r.highest, highest);
        EXPECT_GE(r.texts, 1);
        EXPECT_LE(r.texts, 3);
    }
    // The search word at its own place counts once per line, on neither side.
    int selfHits = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Entry(i)->Data().sw_number == -99) {
            EXPECT_EQ(list.Entry(i)->Data().left + list.Entry(i)->Data().right, 0);
            selfHits += list.Entry(i)->Data().total;
        }
    EXPECT_EQ(selfHits, doc->fConcordanceList->Count());
    // Sorted by total, most frequent first.
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_GE(list.Entry(i - 1)->Data().total, list.Entry(i)->Data().total);
}

TEST_F(ConcRunTest, CollocatesKeepToTheHorizonsAndStopAtTheBarrier)
{
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetCollocHorizonLeft(2);
    c.SetCollocHorizonRight(1);
    c.SetPunctuationBarrier(2); // sentence ends stop collocates
    SetConcSaveRec(c);
    AddText(QStringLiteral("a.txt"), QStringLiteral("one two three cat four five. Six cat seven"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    const std::map<QString, Sides> rows = RowsOf(*doc->fCollocateList, 0);
    const std::map<QString, Sides> expected{{QStringLiteral("TWO"), {1, 0}},
                                            {QStringLiteral("THREE"), {1, 0}},
                                            {QStringLiteral("FOUR"), {0, 1}},
                                            {QStringLiteral("SEVEN"), {0, 1}},
                                            {QStringLiteral("SIX"), {1, 0}}};
    // "five." ends the sentence before the second hit: it is not its L2.
    EXPECT_EQ(rows, expected);
}

TEST_F(ConcRunTest, NumbersCountTogetherUnlessTheTextSettingsKeepThem)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("in 1999 cat ran and in 2004 cat sat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    const std::map<QString, Sides> rows = RowsOf(*doc->fCollocateList, 0);
    ASSERT_TRUE(rows.count(QStringLiteral("#")));
    EXPECT_EQ(rows.at(QStringLiteral("#")).left, 2);

    TTextSettings keep = GetTextSettings();
    keep.SetKeepNumbers(true);
    SetTextSettings(keep);
    auto kept = NewDoc();
    ASSERT_TRUE(Run(*kept, QStringLiteral("cat")));
    const std::map<QString, Sides> keptRows = RowsOf(*kept->fCollocateList, 0);
    EXPECT_FALSE(keptRows.count(QStringLiteral("#")));
    EXPECT_EQ(keptRows.at(QStringLiteral("1999")).left, 1);
}

TEST_F(ConcRunTest, PatternsRankTheWordsOfEachPosition)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the black cat sat . the black cat ran . a white cat sat ."));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    ASSERT_TRUE(doc->work_done.Patterns_computed);
    const TPatternsList& p = *doc->fPatternsList;
    ASSERT_EQ(p.Count(), 2);
    // Columns run L5 ... R5: L1 is index 4, the hit 5, R1 6.
    EXPECT_EQ(p.PatternData(0).words[4], QStringLiteral("BLACK"));
    EXPECT_EQ(p.PatternData(0).freqs[4], 2);
    EXPECT_EQ(p.PatternData(1).words[4], QStringLiteral("WHITE"));
    EXPECT_EQ(p.PatternData(0).words[5], QStringLiteral("CAT"));
    EXPECT_EQ(p.PatternData(0).freqs[5], 3);
    EXPECT_EQ(p.PatternData(1).words[5], QString());
    EXPECT_EQ(p.PatternData(1).freqs[5], 0);
    EXPECT_EQ(p.PatternData(0).words[6], QStringLiteral("SAT"));
    EXPECT_EQ(p.PatternData(0).freqs[6], 2);
}

TEST_F(ConcRunTest, ClustersRecurStopAtBarriersAndKnowTheirRelatives)
{
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetClusterLengthMin(2);
    c.SetClusterLengthMax(3);
    c.SetPunctuationBarrier(2);
    c.SetClusterReachLeft(1);
    c.SetClusterReachRight(2);
    SetConcSaveRec(c);
    AddText(QStringLiteral("a.txt"),
            QStringLiteral("we saw the cat sat here. We saw the cat sat there. The cat. Sat down"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    ASSERT_TRUE(doc->work_done.Clusters_computed);
    QHash<QString, TClusterEntryRec> byText;
    for (int i = 0; i < doc->fClusterList->Count(); ++i)
        byText.insert(doc->fClusterList->ClusterData(i).line, doc->fClusterList->ClusterData(i));
    ASSERT_TRUE(byText.contains(QStringLiteral("THE CAT SAT")));
    EXPECT_EQ(byText[QStringLiteral("THE CAT SAT")].frequency, 2);
    EXPECT_EQ(byText[QStringLiteral("THE CAT SAT")].cluster_length, 3);
    EXPECT_EQ(byText[QStringLiteral("THE CAT")].frequency, 3);
    // "cat. sat" crosses a sentence end: only the two others count.
    EXPECT_EQ(byText[QStringLiteral("CAT SAT")].frequency, 2);
    // Past the reach: a cluster ends before the last position it reaches (R2 here).
    EXPECT_FALSE(byText.contains(QStringLiteral("CAT SAT HERE")));
    EXPECT_FALSE(byText.contains(QStringLiteral("SAT DOWN")));
    EXPECT_EQ(byText.size(), 3);
    EXPECT_EQ(byText[QStringLiteral("THE CAT SAT")].related_line, QStringLiteral("CAT SAT (2),THE CAT (3)"));
    EXPECT_TRUE(byText[QStringLiteral("THE CAT")].related_line.contains(QStringLiteral("THE CAT SAT (2)")));
    // Longest first.
    EXPECT_EQ(doc->fClusterList->ClusterData(0).cluster_length, 3);
    EXPECT_EQ(doc->max_clusters_found, 3);
}

TEST_F(ConcRunTest, AClusterOverASearchWordOfTwoWordsCountsBoth)
{
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetClusterLengthMin(2);
    c.SetClusterLengthMax(2);
    SetConcSaveRec(c);
    AddText(QStringLiteral("a.txt"), QStringLiteral("said in the end and in the end said"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("in the")));
    bool found = false;
    for (int i = 0; i < doc->fClusterList->Count(); ++i) {
        const TClusterEntryRec r = doc->fClusterList->ClusterData(i);
        if (r.line == QStringLiteral("IN THE END")) {
            found = true;
            EXPECT_EQ(r.cluster_length, 3);
            EXPECT_TRUE(r.related_line.isEmpty()); // one length only: no relatives
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(ConcRunTest, ClustersKeepTheMinimumFrequencyTheReachAndTheSearchWordsSpaces)
{
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetClusterLengthMin(2);
    c.SetClusterLengthMax(3);
    c.SetClusterReachLeft(2);
    c.SetClusterReachRight(2);
    c.SetMinClusterFrequency(1);
    SetConcSaveRec(c);
    AddText(QStringLiteral("a.txt"),
            QStringLiteral("one old in the end two and so. Three new in the end four and so. five"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("in the")));
    QHash<QString, TClusterEntryRec> byText;
    for (int i = 0; i < doc->fClusterList->Count(); ++i)
        byText.insert(doc->fClusterList->ClusterData(i).line, doc->fClusterList->ClusterData(i));
    // A minimum of 1 keeps a run seen once.
    ASSERT_TRUE(byText.contains(QStringLiteral("OLD IN THE")));
    EXPECT_EQ(byText[QStringLiteral("OLD IN THE")].frequency, 1);
    EXPECT_EQ(byText[QStringLiteral("IN THE END")].frequency, 2);
    // Positions L2 .. R2 are reached, a cluster ends before R2: "end two" (R1 R2) is none.
    EXPECT_FALSE(byText.contains(QStringLiteral("END TWO")));
    EXPECT_FALSE(byText.contains(QStringLiteral("IN THE END TWO")));
    ASSERT_TRUE(byText.contains(QStringLiteral("ONE OLD")));
    // Every length counts the search word's space, the clusters that leave it out too.
    EXPECT_EQ(byText[QStringLiteral("IN THE END")].cluster_length, 3);
    EXPECT_EQ(byText[QStringLiteral("ONE OLD")].cluster_length, 3);
    EXPECT_EQ(byText[QStringLiteral("ONE OLD IN THE")].cluster_length, 4);

    // The minimum as set in the document: 2 leaves the runs seen once out.
    doc->fSettings.SetMinClusterFrequency(2);
    ASSERT_TRUE(doc->ComputeClusters(false));
    for (int i = 0; i < doc->fClusterList->Count(); ++i)
        EXPECT_GE(doc->fClusterList->ClusterData(i).frequency, 2) << doc->fClusterList->ClusterData(i).line.toStdString();
}

TEST_F(ConcRunTest, ClustersAreRelatedByWholeWordsOnly)
{
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetClusterLengthMin(2);
    c.SetClusterLengthMax(3);
    c.SetClusterReachLeft(2);
    c.SetClusterReachRight(1);
    SetConcSaveRec(c);
    AddText(QStringLiteral("a.txt"), QStringLiteral("the sofa cat sat. the sofa cat sat. a cat sat. a cat sat."));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("sat")));
    QHash<QString, TClusterEntryRec> byText;
    for (int i = 0; i < doc->fClusterList->Count(); ++i)
        byText.insert(doc->fClusterList->ClusterData(i).line, doc->fClusterList->ClusterData(i));
    ASSERT_TRUE(byText.contains(QStringLiteral("SOFA CAT")));
    ASSERT_TRUE(byText.contains(QStringLiteral("A CAT")));
    // "SOFA CAT SAT" holds the letters of "A CAT" but not its words.
    EXPECT_EQ(byText[QStringLiteral("A CAT")].related_line, QStringLiteral("A CAT SAT (2)"));
    EXPECT_EQ(byText[QStringLiteral("SOFA CAT SAT")].related_line, QStringLiteral("CAT SAT (4),SOFA CAT (2)"));
}

TEST_F(ConcRunTest, TimelineCountsHitsAndWordsPerYear)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("cat one two three"), QDate(2019, 5, 1));
    AddText(QStringLiteral("b.txt"), QStringLiteral("cat dog cat five six seven"), QDate(2021, 2, 1));
    AddText(QStringLiteral("c.txt"), QStringLiteral("nothing here"), QDate(2021, 8, 1));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat/dog")));
    ASSERT_TRUE(doc->work_done.Timeline_computed);
    const TTimelineList& t = *doc->fTimeLineList;
    ASSERT_EQ(t.Count(), 2);
    const TTimeLineEntry& cat = *t.Entry(0);
    ASSERT_EQ(cat.Periods().size(), 3u); // 2019, 2020, 2021
    EXPECT_EQ(cat.Periods()[0], (TTimelinePeriod{1, 4}));
    EXPECT_EQ(cat.Periods()[1], (TTimelinePeriod{0, 0}));
    EXPECT_EQ(cat.Periods()[2], (TTimelinePeriod{2, 6}));
    EXPECT_EQ(cat.Rec().Hits(), 3);
    EXPECT_EQ(cat.Rec().Words(), 10);
    EXPECT_FLOAT_EQ(cat.Rec().Rate(), 300.0f);
    EXPECT_EQ(cat.Label(), QStringLiteral("cat"));
    const TTimeLineEntry& all = *t.OverallTimeLineEntry;
    // The text without lines adds its words to the overall row only.
    EXPECT_EQ(all.Periods()[2], (TTimelinePeriod{3, 8}));
    EXPECT_EQ(all.Rec().Hits(), 4);
    EXPECT_EQ(DateTimeFromDayNumber(all.Rec().FirstDate()).date(), QDate(2019, 1, 1));
    EXPECT_EQ(DateTimeFromDayNumber(all.Rec().LastDate()).date(), QDate(2021, 12, 31));
}

TEST_F(ConcRunTest, TimelineOfUndatedTextsSaysSoInsteadOfInventingDates)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("cat one"), QDate());
    AddText(QStringLiteral("b.txt"), QStringLiteral("cat two"), QDate());
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_TRUE(doc->work_done.Timeline_computed);
    EXPECT_EQ(doc->fTimeLineList->Count(), 0);
    ASSERT_TRUE(dialogs.Routines().contains(QStringLiteral("ReportedAFact")));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("date")));

    // One dated text: the timeline is made of it and the other is named as left out.
    dialogs.Clear();
    AddText(QStringLiteral("c.txt"), QStringLiteral("cat three"), QDate(2020, 1, 1));
    auto mixed = NewDoc();
    ASSERT_TRUE(Run(*mixed, QStringLiteral("cat")));
    ASSERT_EQ(mixed->fTimeLineList->Count(), 1);
    EXPECT_EQ(mixed->fTimeLineList->Entry(0)->Rec().Hits(), 1);
    EXPECT_TRUE(dialogs.Requests().back().text.startsWith(QStringLiteral("2 concordance lines")));
}

TEST_F(ConcRunTest, WithoutLinesTheAnalysesSayNothingWasThereAndDoNotCrash)
{
    auto doc = NewDoc();
    EXPECT_FALSE(doc->ComputeCollocates());
    EXPECT_FALSE(doc->ComputePatterns());
    EXPECT_FALSE(doc->ComputeClusters(false));
    EXPECT_TRUE(doc->work_done.Clusters_computed);
    doc->ComputeTimeline();
    EXPECT_FALSE(doc->work_done.Timeline_computed);
    EXPECT_FALSE(doc->ComputePlot(false));

    TCollocateRelationshipChoices choices;
    doc->REComputeCollocateAssociation(dir.file(QStringLiteral("none.lst")), choices, {}, -1);
    EXPECT_FALSE(choices.result);
    EXPECT_TRUE(choices.failure.contains(QStringLiteral("no lines")));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
}

TEST_F(ConcRunTest, AReferenceListThatCannotBeReadIsReportedAndLeavesTheScoresAlone)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    dialogs.Clear();

    // Missing: the association stays untouched.
    TCollocateRelationshipChoices choices;
    doc->REComputeCollocateAssociation(dir.file(QStringLiteral("missing.lst")), choices, {}, -1);
    EXPECT_FALSE(choices.result);
    EXPECT_FALSE(doc->work_done.Association_computed);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});

    // Damaged: the reader names the file; the association is marked tried and failed.
    dialogs.Clear();
    const QString bad = dir.write(QStringLiteral("bad.lst"), QByteArray("not a word list at all"));
    doc->REComputeCollocateAssociation(bad, choices, {}, -1);
    EXPECT_FALSE(choices.result);
    EXPECT_TRUE(doc->work_done.Association_computed);
    EXPECT_FALSE(doc->fCollocateList->fAssociationPresent);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("bad.lst")));
    EXPECT_FALSE(doc->LoadedAReferenceCorpusWordlist(bad));
    EXPECT_EQ(doc->fReferenceCorpusWordlist, nullptr);
}

TEST_F(ConcRunTest, AssociationAgainstAWordListOfTheSameTextsUsesItsFrequencies)
{
    const QString text = QStringLiteral("the cat sat on the mat and the cat ran to the dog while the dog sat");
    AddText(QStringLiteral("a.txt"), text);
    const QString lst = dir.file(QStringLiteral("ref.lst"));
    ASSERT_TRUE(WordListOfChosenTexts()->SaveToFile(lst));

    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    TCollocateRelationshipChoices choices;
    TCollocateRelationshipOptions options;
    options.detailsFileName = dir.file(QStringLiteral("cat.details.txt"));
    doc->REComputeCollocateAssociation(lst, choices, options, -1);
    ASSERT_TRUE(choices.result) << choices.failure.toStdString();
    EXPECT_TRUE(doc->work_done.Association_computed);
    EXPECT_FALSE(doc->fCollocateList->ColumnHidden(TCollocateList::kColFirstScore));

    // "THE": 5 of the 17 running words; within 5 words of the two hits 5 times.
    const TCollocateList& list = *doc->fCollocateList;
    int the = -1;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Entry(i)->Data().word == QStringLiteral("THE"))
            the = i;
    ASSERT_GE(the, 0);
    const TCollocateEntryRec32& r = list.Entry(the)->Data();
    ASSERT_EQ(r.left + r.right, 5);
    const TAssociationScores expected = AssociationScores(5, 2, 5, 17, 10);
    for (int k = 0; k < kAssociationCount; ++k)
        EXPECT_FLOAT_EQ(r.block.Score(k), float(expected[size_t(k)])) << "score " << k;
    EXPECT_TRUE(cvtest::readAll(options.detailsFileName).size() > 100);
}

TEST_F(ConcRunTest, StopWordsStayOutOfCollocatesAndPatterns)
{
    const QString stops = dir.write(QStringLiteral("stop.txt"), QByteArray("the\na\n"));
    SetLemmaMatchStopWanted(current_tool_var, uint8_t(TLemmatiserListKind::Stop), true);
    SetLemmaMatchStopFilename(current_tool_var, uint8_t(TLemmatiserListKind::Stop), stops);
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on a mat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_TRUE(doc->Using_Stoplist);
    const std::map<QString, Sides> rows = RowsOf(*doc->fCollocateList, 0);
    EXPECT_FALSE(rows.count(QStringLiteral("THE")));
    EXPECT_FALSE(rows.count(QStringLiteral("A")));
    EXPECT_TRUE(rows.count(QStringLiteral("MAT")));
    EXPECT_EQ(doc->fPatternsList->PatternData(0).words[4], QString()); // L1 was "THE"
}

TEST_F(ConcRunTest, APatternsHitsAreTakenInTheSearchWordsPlainForm)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("two cats and a catalogue"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat*")));
    ASSERT_EQ(doc->fConcordanceList->Count(), 2);
    QStringList hits;
    for (int i = 0; i < 2; ++i) {
        TMarvexEntryRec rec;
        ASSERT_GT(doc->LineWorkingCopy(i, rec), 0);
        // The working copy is in capitals with every word in its place.
        EXPECT_EQ(rec.conc_line, doc->fConcordanceList->Line(i).fData.conc_line.toUpper());
        // Only a search word with a tag has its hit's place recorded.
        EXPECT_EQ(doc->fConcordanceList->Line(i).fData.base.sw_starts, 0);
        hits << doc->HitWordAsFound(doc->fConcordanceList->Line(i).fData, doc->fSWs->Item(0));
    }
    EXPECT_EQ(hits, (QStringList{QStringLiteral("cat"), QStringLiteral("cat")}));

    // A line that records where its hit stands gives the hit as found there.
    TMarvexEntryRec recorded = doc->fConcordanceList->Line(0).fData;
    const qsizetype at = recorded.conc_line.indexOf(QStringLiteral("cats"));
    ASSERT_GT(at, 0);
    recorded.base.sw_starts = int16_t(at);
    recorded.base.sw_finishes = int16_t(at + 4);
    EXPECT_EQ(doc->HitWordAsFound(recorded, doc->fSWs->Item(0)), QStringLiteral("cats"));
    TSearchWordItems plain;
    plain.AddedSearchWords(QStringLiteral("cats"));
    EXPECT_EQ(doc->HitWordAsFound(recorded, plain.Item(0)), QStringLiteral("cats")) << "a plain search word is its own form";
    // Collocates are not split by the form matched: "two" stands near both and is one row.
    QStringList twoWith;
    for (int i = 0; i < doc->fCollocateList->Count(); ++i)
        if (doc->fCollocateList->Entry(i)->Data().word == QStringLiteral("TWO"))
            twoWith << doc->fCollocateList->Entry(i)->Data().search_word;
    EXPECT_EQ(twoWith, (QStringList{QStringLiteral("cat")}));
}
