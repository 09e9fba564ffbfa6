// Key-word links and link clusters, and the plot list they rest on.

#include "kw_testutil.h"

#include "keywords/kw_links.h"
#include "keywords/kw_plots.h"

using namespace cv;
using namespace kwtest;

namespace {

// Plot rows: each a word with its positions in a text of 1000 words.
void AddRows(TKWPlotList& plots, const std::vector<std::pair<const char*, std::vector<int32_t>>>& rows)
{
    for (const auto& [w, p] : rows) {
        TKWPlot_entry_rec r;
        r.hits = int32_t(p.size());
        r.words_in_file = 1000;
        r.wd_entry_number = plots.Count() + 1;
        auto positions = std::make_unique<TGeneralPlotDataList>(1000, 8);
        for (int32_t x : p)
            positions->Add(x);
        plots.AddRow(r, QString::fromUtf8(w), std::move(positions));
    }
}

TKeyWordsSettingsRec LinkSettings(int32_t minSpan, int32_t maxSpan, int32_t minPairFreq, int32_t hitLimit)
{
    TKeyWordsSettingsRec k = TKeyWordsSettingsRec::Defaults();
    k.SetMinLinkSpan(minSpan);
    k.SetMaxLinkSpan(maxSpan);
    k.SetMinLinkFrequency(minPairFreq);
    k.SetMaxLinkPlotPositions(hitLimit);
    k.SetMinLinkClusterFrequency(1);
    k.SetMinLinkedKeyWords(1);
    return k;
}

const TKWLinkEntry* LinkOf(const TKWLinkList& links, const QString& word)
{
    for (int i = 0; i < links.Count(); ++i)
        if (links.Entry(i).data.w == word)
            return &links.Entry(i);
    return nullptr;
}

int ClusterFreq(const TKWClusterList& clusters, const QString& text)
{
    for (int i = 0; i < clusters.Count(); ++i)
        if (clusters.Entry(i).data.cluster == text)
            return clusters.Entry(i).data.freq;
    return 0;
}

} // namespace

TEST(KeyWordLinkClusters, GapFormatAndItsSearchPhrase)
{
    EXPECT_EQ(TKWClusterList::ClusterFormattedByDistance(QStringLiteral("sea"), QStringLiteral("ship"), 1),
              QStringLiteral("sea ship"));
    EXPECT_EQ(TKWClusterList::ClusterFormattedByDistance(QStringLiteral("sea"), QStringLiteral("ship"), 3),
              QStringLiteral("sea [..] ship"));
    EXPECT_EQ(TKWClusterList::ClusterAsConcordanceSW(QStringLiteral("sea [..] ship")), QStringLiteral("sea * * ship"));
    EXPECT_EQ(TKWClusterList::ClusterAsConcordanceSW(QStringLiteral("sea [.] ship")), QStringLiteral("sea * ship"));
    EXPECT_EQ(TKWClusterList::ClusterAsConcordanceSW(QStringLiteral("sea ship")), QStringLiteral("sea ship"));
}

TEST(KeyWordLinks, PairsWithinTheSpanAreLinkedUnderTheEarlierWordAndCounted)
{
    TKWPlotList plots(nullptr, 0);
    AddRows(plots, {{"alpha", {10, 50}}, {"beta", {11, 80}}, {"gamma", {13}}, {"delta", {12, 14, 15, 16}}});
    TKWLinkList links(nullptr, 0, &plots);
    TKWClusterList clusters(nullptr, 0);
    plots.Entry(2).data.wd_entry_number = 0;
    ComputeKeyWordLinks(plots, LinkSettings(1, 2, 1, 3), links, clusters);

    // delta has more positions than the limit: no link entry, the other words link as usual.
    EXPECT_TRUE(links.links_limit_reached);
    EXPECT_EQ(LinkOf(links, "delta"), nullptr);
    ASSERT_EQ(links.Count(), 2);
    const TKWLinkEntry* alpha = LinkOf(links, "alpha");
    const TKWLinkEntry* beta = LinkOf(links, "beta");
    ASSERT_TRUE(alpha && beta);
    EXPECT_EQ(alpha->data.linked_words_info, (std::vector<TKWLinkEntryLinkedInfoRec>{{2, 1}}));
    // beta ranks only the words after it: its link with alpha is alpha's.
    EXPECT_EQ(beta->data.linked_words_info, (std::vector<TKWLinkEntryLinkedInfoRec>{{3, 1}}));
    EXPECT_EQ(links.LinkedWords(links.IndexOf(beta)), QStringList{QStringLiteral("gamma")});
    // The last key word has no later word to link: with at least one link asked for, it has no entry.
    EXPECT_EQ(LinkOf(links, "gamma"), nullptr);
    // alpha-gamma (3 apart) is beyond the span; delta takes no part.
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("alpha beta")), 1);
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("beta [.] gamma")), 1);
    EXPECT_EQ(clusters.Count(), 2);
    EXPECT_EQ(plots.Entry(0).data.link_tokens, 1);
    EXPECT_EQ(plots.Entry(1).data.link_tokens, 2);
    EXPECT_EQ(plots.Entry(2).data.link_tokens, 1);
    EXPECT_EQ(plots.Entry(3).data.link_tokens, 0);
    EXPECT_EQ(plots.Entry(2).data.wd_entry_number, 3) << "rows without numbers are numbered";
}

TEST(KeyWordLinks, RankedByCoOccurrenceAndCutByTheThresholds)
{
    TKWPlotList plots(nullptr, 0);
    AddRows(plots, {{"sea", {100, 200, 300}}, {"ship", {101, 201, 301}}, {"storm", {302}}});
    TKWLinkList links(nullptr, 0, &plots);
    TKWClusterList clusters(nullptr, 0);
    ComputeKeyWordLinks(plots, LinkSettings(1, 3, 1, 100), links, clusters);
    const TKWLinkEntry* sea = LinkOf(links, "sea");
    ASSERT_NE(sea, nullptr);
    // ship 3 times, storm once (302 - 300): ship first.
    ASSERT_EQ(sea->data.linked_words_info.size(), 2u);
    EXPECT_EQ(sea->data.linked_words_info[0], (TKWLinkEntryLinkedInfoRec{2, 3}));
    EXPECT_EQ(sea->data.linked_words_info[1], (TKWLinkEntryLinkedInfoRec{3, 1}));
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("sea ship")), 3);
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("sea [.] storm")), 1);

    // ship links the later storm; storm, the last, links nothing.
    ASSERT_NE(LinkOf(links, "ship"), nullptr);
    EXPECT_EQ(LinkOf(links, "ship")->data.linked_words_info, (std::vector<TKWLinkEntryLinkedInfoRec>{{3, 1}}));
    EXPECT_EQ(LinkOf(links, "storm"), nullptr);
    EXPECT_EQ(links.Count(), 2);
    // A minimum pair frequency of 2 keeps sea-ship only; ship loses its entry.
    ComputeKeyWordLinks(plots, LinkSettings(1, 3, 2, 100), links, clusters);
    EXPECT_EQ(LinkOf(links, "ship"), nullptr);
    EXPECT_EQ(LinkOf(links, "storm"), nullptr);
    ASSERT_NE(LinkOf(links, "sea"), nullptr);
    EXPECT_EQ(LinkOf(links, "sea")->data.linked_words_info.size(), 1u);
    // Above every count: no links at all.
    ComputeKeyWordLinks(plots, LinkSettings(1, 3, 4, 100), links, clusters);
    EXPECT_EQ(links.Count(), 0);
    // A pair closer than the minimum span is not counted.
    ComputeKeyWordLinks(plots, LinkSettings(2, 3, 1, 100), links, clusters);
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("sea ship")), 0);
    EXPECT_EQ(ClusterFreq(clusters, QStringLiteral("sea [.] storm")), 1);
}

TEST(KeyWordLinks, TheLastKeyWordEndsWithoutLinksAndNoPartnerIsTakenUnmet)
{
    TKWPlotList plots(nullptr, 0);
    AddRows(plots, {{"red", {10, 20}}, {"blue", {11, 21, 40}}, {"green", {500}}, {"grey", {41}}});
    TKWLinkList links(nullptr, 0, &plots);
    TKWClusterList clusters(nullptr, 0);
    // No minimum number of links: every key word keeps an entry.
    TKeyWordsSettingsRec k = LinkSettings(1, 1, 0, 100);
    k.SetMinLinkedKeyWords(0);
    ComputeKeyWordLinks(plots, k, links, clusters);
    ASSERT_EQ(links.Count(), 4);
    EXPECT_EQ(LinkOf(links, "red")->data.linked_words_info, (std::vector<TKWLinkEntryLinkedInfoRec>{{2, 2}}));
    EXPECT_EQ(LinkOf(links, "blue")->data.linked_words_info, (std::vector<TKWLinkEntryLinkedInfoRec>{{4, 1}}));
    // green met nobody; grey is last: neither lists a word it never met, even with a minimum of 0.
    EXPECT_TRUE(LinkOf(links, "green")->data.linked_words_info.empty());
    EXPECT_TRUE(LinkOf(links, "grey")->data.linked_words_info.empty());
    // The tokens count every co-occurrence of each word.
    EXPECT_EQ(plots.Entry(1).data.link_tokens, 3);
    EXPECT_EQ(plots.Entry(3).data.link_tokens, 1);
}

TEST_F(KeyWordsTest, LinksNeedPlotsAndLeaveEverythingAloneWithoutThem)
{
    T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
    AddRows(*doc.fPlots, {{"sea", {1, 2}}, {"ship", {3}}});
    doc.fKWLinks->Add(std::make_unique<TKWLinkEntry>(doc.fKWLinks.get(), TKWLink_entry_rec{5, QStringLiteral("old"), {}}));
    doc.fKWList->KWSettings.SetPlotsComputed(false);
    doc.ComputeAllLinks();
    EXPECT_EQ(doc.fKWLinks->Count(), 1);
    EXPECT_FALSE(doc.fKWList->KWSettings.LinksComputed());

    doc.fKWList->KWSettings.SetPlotsComputed(true);
    doc.fKWLinks->SetListBusy(kListBusy);
    doc.ComputeAllLinks();
    EXPECT_EQ(doc.fKWLinks->Count(), 1) << "a busy list is not recomputed";
    doc.fKWLinks->SetListBusy(kListNotBusy);

    doc.ComputeAllLinks();
    EXPECT_TRUE(doc.fKWList->KWSettings.LinksComputed());
    // sea co-occurs twice with ship (1-3, 2-3): one link, listed under sea.
    ASSERT_EQ(doc.fKWLinks->Count(), 1);
    EXPECT_EQ(doc.fKWLinks->Entry(0).data.w, QStringLiteral("sea"));
    EXPECT_EQ(doc.fKWLinks->ListBusy(), kListNotBusy);
}

TEST(KeyWordPlots, GridRowsOverallFirstAndTheCloudLeavesTheOverallRowOut)
{
    TKWPlotList plots(nullptr, 0);
    AddRows(plots, {{"sea", {1, 500, 999}}, {"ship", {2}}});
    plots.Entry(0).data.dispersion = 0.75f;
    plots.Entry(1).data.dispersion = 0.125f;
    plots.ResetOverallEntry(QStringLiteral("Overall"), 8);
    plots.OverallPlotEntry->data.hits = 4;
    EXPECT_EQ(plots.OverallCount(), 1);
    EXPECT_TRUE(plots.PlotData(0).IsOverallEntry);
    EXPECT_EQ(plots.PlotData(0).hits, 4);
    EXPECT_EQ(plots.PlotData(2).hits, 1);
    EXPECT_EQ(plots.NumericalData(-1, TKWPlotList::kColHits), 4);
    EXPECT_EQ(plots.NumericalData(0, TKWPlotList::kColHits), 3);
    EXPECT_EQ(plots.PlotPositionsOfRow(-1), &plots.OverallPlotEntry->PlotPositions());

    TWordFreqAndSourceNum d;
    plots.SetCloudReadPosition(0);
    plots.GetNextCloudDatum(d);
    EXPECT_EQ(d.word, QStringLiteral("sea"));
    EXPECT_EQ(d.frequency, 75);
    plots.GetNextCloudDatum(d);
    EXPECT_EQ(d.word, QStringLiteral("ship"));
    EXPECT_EQ(d.frequency, 13);
    plots.GetNextCloudDatum(d);
    EXPECT_TRUE(d.word.isEmpty());

    // Sorting on hits, then back to plot order.
    plots.Set1Sort(0, plots.HeaderColumnToSortNeeded(TKWPlotList::kColHits));
    plots.SetSortAscending(0, true);
    plots.CompleteResort();
    EXPECT_EQ(plots.Entry(0).w, QStringLiteral("ship"));
    plots.EnsureAlphabeticalAscendingSort();
    EXPECT_EQ(plots.Entry(0).w, QStringLiteral("sea"));
}
