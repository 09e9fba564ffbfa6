// Jobs run again and again in one window, as a user tries one cluster size
// after another: every page goes on showing a list that is there, and each
// page shows the newest result when the user turns to it.

#include "wordlist_commands_testutil.h"

#include <QHeaderView>

#include <set>

#include "index/index_handler.h"
#include "index/index_relationships.h"
#include "wordlist/detailed_consistency.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

// Clusters of one size seen at least twice, without phrase frames.
void ClustersOfSize(int size)
{
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(size);
    s.SetClusterSizeMax(size);
    s.SetMinShowFrequency(2);
    s.SetClusterMinTexts(1);
    s.SetClusterMaxPercent(0);
    s.SetOmitPhraseFrames(true);
    s.SetStopAt(0);
    s.SetClusterListsPerText(false);
    cv::SetWordlistIndexSettings(s);
}

// Long enough for clusters of two and three words seen more than once.
const std::vector<std::pair<QString, QString>> kRepeatingCorpus = {
    {QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat. the cat sat on the road. the dog sat on the mat.")},
    {QStringLiteral("b.txt"), QStringLiteral("the cat sat on the mat and the dog ran.")},
};

class JobsInARowTest : public WordListCommandsTest {
protected:
    // Every list the document holds now: what a page may show.
    std::set<const cv::TCVBaseDataClass*> LiveLists() const
    {
        std::set<const cv::TCVBaseDataClass*> live;
        const cv::T_WholeWordlistHolder* doc = Doc();
        if (!doc)
            return live;
        live.insert(doc->WordlistOfType(cv::kListWordList));
        live.insert(doc->WordlistOfType(cv::kListIndexWordList));
        live.insert(doc->fStats.get());
        live.insert(doc->fCVBaseFilenames.get());
        live.insert(doc->fKeywordsList.get());
        if (doc->fDetailedConsistencyList) {
            live.insert(doc->fDetailedConsistencyList.get());
            live.insert(doc->fDetailedConsistencyList->RelationsList());
        }
        if (doc->fIndexHandler)
            live.insert(doc->fIndexHandler->fRelationshipsList.get());
        return live;
    }
    // The page grids that still show a list the document no longer holds.
    QStringList PagesShowingListsThatAreGone() const
    {
        const std::set<const cv::TCVBaseDataClass*> live = LiveLists();
        QStringList gone;
        for (int i = 1; i < cv::ToolWindowList().Count(); ++i)
            if (const cv::TCV_Grid* grid = cv::ToolWindowList().GridOfPage(i); grid && grid->List() && !live.count(grid->List()))
                gone << window->AdvOfficePager1->tabText(cv::ToolWindowList().PageIndexOfHolder(i) - 1);
        return gone;
    }
    // Turns to every page the window shows, as a click on its tab does;
    // the headings and rows each page then shows, as "caption: heading 1, heading 2 (rows)".
    QStringList WhatEveryPageShows()
    {
        QStringList shown;
        QTabWidget* pager = window->AdvOfficePager1;
        for (int tab = 0; tab < pager->count(); ++tab) {
            if (!pager->isTabVisible(tab))
                continue;
            window->ActivatePage(pager->widget(tab));
            QApplication::processEvents();
            const cv::TCV_Grid* grid = CurrentGrid();
            if (!grid || grid->parentWidget() != pager->widget(tab) || !grid->List())
                continue;
            const QAbstractItemModel* model = grid->View()->horizontalHeader()->model();
            shown << QStringLiteral("%1: %2, %3 (%4)")
                         .arg(pager->tabText(tab), model->headerData(1, Qt::Horizontal).toString(),
                              model->headerData(2, Qt::Horizontal).toString())
                         .arg(grid->RowCount() - 1);
        }
        return shown;
    }
    // Compute > Clusters from the "index freq." page, with OK; clusters
    // made before are not saved (the question answered No).
    void ClustersFromTheIndexPage(int size, bool clustersBefore)
    {
        ClustersOfSize(size);
        cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
        ASSERT_EQ(grid, window->CVGridIndexFreq);
        dialogs.Clear();
        if (clustersBefore)
            dialogs.QueueAnswer(TDialogAnswer::No);
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Clusters));
        EXPECT_EQ(dialogs.Routines().contains(QStringLiteral("DoYouWantToSave")), clustersBefore);
    }
};

TEST_F(JobsInARowTest, ClusterJobsTwiceAndThriceInARowShowEachNewListOnEveryPage)
{
    IndexOf(kRepeatingCorpus);
    const std::vector<std::pair<int, QString>> jobs = {
        {2, QStringLiteral("the cat")}, {3, QStringLiteral("the cat sat")}, {2, QStringLiteral("sat on")}};
    for (const auto& [size, cluster] : jobs) {
        SCOPED_TRACE(size);
        ClustersFromTheIndexPage(size, &cluster != &jobs.front().second);
        // The clusters came: on the frequency page, and asked about saving the ones before.
        const cv::TCVWordList* clusters = Words(cv::kListWordList);
        ASSERT_NE(clusters, nullptr);
        EXPECT_EQ(CurrentPage(), window->AdvOfficePageFrequency);
        EXPECT_GE(RowOf(*window->CVGridFreq, cluster), 1);
        EXPECT_TRUE(PagesShowingListsThatAreGone().isEmpty()) << PagesShowingListsThatAreGone().join(u',').toStdString();
        // Each page the user turns to shows the document as it is now.
        const QString rows = QString::number(clusters->Count());
        const QStringList shown = WhatEveryPageShows();
        EXPECT_TRUE(shown.contains(QStringLiteral("frequency: Word, Freq. (%1)").arg(rows))) << shown.join(u'\n').toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("alphabetical: Word, Freq. (%1)").arg(rows))) << shown.join(u'\n').toStdString();
    }
}

TEST_F(JobsInARowTest, RelationshipJobsTwiceAndThriceInARowShowEachNewListOnEveryPage)
{
    IndexOf(kRepeatingCorpus);
    EveryNeighbour();
    int previousPairs = -1;
    for (int job = 0; job < 3; ++job) {
        SCOPED_TRACE(job);
        cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
        s.SetRelationSpan(job + 1); // a wider span each time: more pairs
        cv::SetWordlistIndexSettings(s);
        cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
        dialogs.Clear();
        if (previousPairs >= 0)
            dialogs.QueueAnswer(TDialogAnswer::No);
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
        const cv::TRelationshipsList* relations = Doc()->fIndexHandler->fRelationshipsList.get();
        ASSERT_NE(relations, nullptr);
        EXPECT_GT(relations->Count(), previousPairs);
        previousPairs = relations->Count();
        EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexRelations);
        EXPECT_TRUE(PagesShowingListsThatAreGone().isEmpty()) << PagesShowingListsThatAreGone().join(u',').toStdString();
        const QStringList shown = WhatEveryPageShows();
        const auto onRelationsPage = std::find_if(shown.begin(), shown.end(), [](const QString& line) {
            return line.startsWith(QStringLiteral("index relations: "));
        });
        ASSERT_NE(onRelationsPage, shown.end()) << shown.join(u'\n').toStdString();
        EXPECT_TRUE(onRelationsPage->endsWith(QStringLiteral("(%1)").arg(relations->Count()))) << onRelationsPage->toStdString();
    }
}

TEST_F(JobsInARowTest, ConsistencyJobsTwiceAndThriceInARowShowEachNewListOnEveryPage)
{
    const QString a = SavedWordList(QStringLiteral("a"), QStringLiteral("the cat sat on the mat"));
    const QString b = SavedWordList(QStringLiteral("b"), QStringLiteral("the dog sat on the log"));
    const QString c = SavedWordList(QStringLiteral("c"), QStringLiteral("a cat and a dog and a fox"));
    const std::vector<QStringList> jobs = {{a, b}, {a, b, c}, {b, c}};
    for (const QStringList& files : jobs) {
        SCOPED_TRACE(files.size());
        choices.consistencyFiles = files;
        const bool listBefore = Doc() != nullptr;
        dialogs.Clear();
        if (listBefore)
            dialogs.QueueAnswer(TDialogAnswer::No); // not saved
        Request(cv::kListDetailedConsistency);
        EXPECT_EQ(dialogs.Routines().contains(QStringLiteral("DoYouWantToSave")), listBefore);
        ASSERT_NE(Doc(), nullptr);
        ASSERT_NE(Doc()->fDetailedConsistencyList, nullptr);
        EXPECT_TRUE(PagesShowingListsThatAreGone().isEmpty()) << PagesShowingListsThatAreGone().join(u',').toStdString();
        const cv::TDetailedConsistencyList& list = *Doc()->fDetailedConsistencyList;
        const int rows = list.OverallCount() + list.Count() + list.TotalsRowCount();
        const QStringList shown = WhatEveryPageShows();
        const auto onConsistencyPage = std::find_if(shown.begin(), shown.end(), [](const QString& line) {
            return line.startsWith(QStringLiteral("consistency: "));
        });
        ASSERT_NE(onConsistencyPage, shown.end()) << shown.join(u'\n').toStdString();
        EXPECT_TRUE(onConsistencyPage->endsWith(QStringLiteral("(%1)").arg(rows))) << onConsistencyPage->toStdString();
    }
}

} // namespace
} // namespace wordlist_window_test
