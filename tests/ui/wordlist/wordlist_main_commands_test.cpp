#include "wordlist_commands_testutil.h"

#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTableView>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QUrl>
#include <QTabWidget>

#include "concordance/tell_marvex.h"
#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "index/index_files.h"
#include "index/index_relationships.h"
#include "keywords/keywords_holder.h"
#include "suite/cv_format.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/multi_tool_base.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/keyword_list.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

// Index settings for two-word clusters seen at least twice.
void TwoWordClusters(bool perText = false)
{
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(2);
    s.SetMinShowFrequency(2);
    s.SetClusterMinTexts(1);
    s.SetClusterMaxPercent(0);
    s.SetOmitNumbers(true);
    s.SetOmitPhraseFrames(true);
    s.SetStopAt(0);
    s.SetMaxSecondsPerWord(0);
    s.SetClusterListsPerText(perText);
    cv::SetWordlistIndexSettings(s);
}

int64_t ClusterFreq(const cv::TCVWordList& list, const QString& cluster)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Entry(i).fWord == cluster)
            return list.CorrectFreq(i);
    return -1;
}

// ---- clusters ------------------------------------------------------------------

TEST_F(WordListCommandsTest, ClustersOfTheIndexFillTheWordListPages)
{
    IndexOf(kCorpus);
    TwoWordClusters();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
    ASSERT_EQ(grid, window->CVGridIndexFreq);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));

    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Clusters));
    EXPECT_EQ(commands.clusterChoiceShown, 1);
    // One current row and nothing marked: no selection to offer.
    EXPECT_FALSE(commands.lastHadSelection);

    const cv::TCVWordList* clusters = Words(cv::kListWordList);
    ASSERT_NE(clusters, nullptr);
    EXPECT_EQ(ClusterFreq(*clusters, QStringLiteral("the cat")), 3);
    EXPECT_EQ(ClusterFreq(*clusters, QStringLiteral("on the")), 2);
    EXPECT_EQ(ClusterFreq(*clusters, QStringLiteral("cat sat")), -1); // seen once
    EXPECT_EQ(clusters->Count(), 2);
    // Shown on the frequency page, named after the index, no file of their own yet.
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageFrequency);
    EXPECT_EQ(window->CVGridFreq->List(), clusters);
    EXPECT_TRUE(Doc()->MainFile.FileName.isEmpty());
    EXPECT_EQ(Doc()->SuggestedFilename, dir.file(QStringLiteral("corpus_index_2-word clusters")));
    EXPECT_TRUE(window->fSpare_Index_filename.endsWith(QStringLiteral("corpus.tokens")));
    // The index stays open for more.
    EXPECT_NE(Doc()->fIndexHandler, nullptr);
}

TEST_F(WordListCommandsTest, EveryClusterJobSuggestsItsNameBesideTheIndex)
{
    IndexOf(kCorpus);
    // The texts' folder is where new files go by default: cluster lists go beside their index all the same.
    cv::SetLastOpenedFolder(dir.file(QStringLiteral("tmp")));
    for (const int size : {2, 3, 2}) {
        SCOPED_TRACE(size);
        TwoWordClusters();
        cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
        s.SetClusterSizeMin(size);
        s.SetClusterSizeMax(size);
        s.SetMinShowFrequency(1);
        cv::SetWordlistIndexSettings(s);
        dialogs.QueueAnswer(TDialogAnswer::No); // the clusters before were not saved: let them go
        ASSERT_TRUE(Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters));
        ASSERT_GT(Words(cv::kListWordList)->Count(), 0);
        EXPECT_EQ(QFileInfo(Doc()->SuggestedFilename).fileName(), QStringLiteral("corpus_index_%1-word clusters").arg(size));
        files.QueueCancel();
        EXPECT_FALSE(window->Save(Show(window->AdvOfficePageFrequency)));
        ASSERT_FALSE(files.Requests().empty());
        EXPECT_EQ(files.Requests().back().fileName.toStdString(),
                  dir.file(QStringLiteral("corpus_index_%1-word clusters.lst").arg(size)).toStdString());
    }
}

TEST_F(WordListCommandsTest, ClustersOfTheSelectedWordsHoldThoseWords)
{
    IndexOf(kCorpus);
    TwoWordClusters();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
    SelectWords(*grid, {QStringLiteral("on"), QStringLiteral("road")});
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Clusters));
    EXPECT_TRUE(commands.lastHadSelection);
    const cv::TCVWordList* clusters = Words(cv::kListWordList);
    ASSERT_NE(clusters, nullptr);
    EXPECT_EQ(ClusterFreq(*clusters, QStringLiteral("on the")), 2);
    EXPECT_EQ(ClusterFreq(*clusters, QStringLiteral("the cat")), -1);
}

TEST_F(WordListCommandsTest, ClustersNeedAnIndexAndTellWhenNoneAreFound)
{
    WordListOf(kCorpus);
    dialogs.Clear();
    ASSERT_TRUE(window->CVGridFreq->HandleGridCommand(cv::TMenuCommand::Clusters));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("CantMakeClustersWithoutIndex")});
    EXPECT_EQ(commands.clusterChoiceShown, 0);

    IndexOf(kCorpus);
    TwoWordClusters();
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetMinShowFrequency(50);
    cv::SetWordlistIndexSettings(s);
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoClustersOfSizeIn")});
    EXPECT_TRUE(window->fSpare_Index_filename.isEmpty());

    // A cancelled choice computes nothing and says nothing.
    dialogs.Clear();
    commands.acceptClusters = false;
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(WordListCommandsTest, ClusterListsPerTextWaitForTheBatchSetUp)
{
    IndexOf(kCorpus);
    TwoWordClusters(true);
    const QString folder = dir.file(QStringLiteral("clusters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    cv::Global_BatchProcedures.BatchRootFolder = folder;
    choices.batchReady = true;
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
    EXPECT_EQ(choices.batchSetupShown, 1);
    EXPECT_EQ(choices.batchSetupHidden, 1);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.lst")}, QDir::Files).size(), 2);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("SavedOK")));
}

// ---- relationships -------------------------------------------------------------

TEST_F(WordListCommandsTest, RelationshipsOfTheIndexComeWithTheirScores)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
    EXPECT_EQ(commands.relationshipChoiceShown, 1);
    // The frequency page hands over to the alphabetical one, whose one word goes to the dialog.
    EXPECT_FALSE(commands.lastSelectedWord.isEmpty());

    ASSERT_NE(Doc()->fIndexHandler->fRelationshipsList, nullptr);
    const cv::TRelationshipsList& relations = *Doc()->fIndexHandler->fRelationshipsList;
    int found = -1;
    for (int i = 0; i < relations.Count(); ++i)
        if (relations.MIData(i).Word1 == QStringLiteral("the") && relations.MIData(i).Word2 == QStringLiteral("cat"))
            found = i;
    ASSERT_GE(found, 0);
    const cv::TMIDataRec pair = relations.MIData(found);
    EXPECT_EQ(pair.Freq, 3);
    EXPECT_EQ(pair.Freq1, 6);
    EXPECT_EQ(pair.Freq2, 3);
    EXPECT_GT(pair.Scores[1], 0.0f); // mutual information: "cat" follows "the" more than by chance
    EXPECT_GT(pair.Scores[0], 0.0f); // Dice

    // The document is now a relationships document, shown on its page.
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListIndexRelationships);
    EXPECT_TRUE(Doc()->MainFile.FileName.endsWith(QStringLiteral("corpus.relationships")));
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexRelations);
    EXPECT_EQ(window->CVGridIndexRelations->List(), &relations);
    EXPECT_TRUE(Doc()->fNotes.join(u'\n').contains(QStringLiteral("Relationships")));
    EXPECT_EQ(Doc()->fStats->ListBusy(), cv::kListNotBusy);
}

TEST_F(WordListCommandsTest, RelationshipsOfADocumentNeverSavedAreNamedAfterTheIndex)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    Doc()->MainFile.FileName.clear();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
    ASSERT_EQ(Doc()->MainFile.ListType, cv::kListIndexRelationships);
    EXPECT_EQ(QFileInfo(Doc()->MainFile.FileName).fileName(), QStringLiteral("corpus.relationships"));
    // Named, but no such file yet: the title says so.
    EXPECT_EQ(window->windowTitle(), QStringLiteral("corpus.relationships (unsaved)")) << "no caption of an extension alone";
}

TEST_F(WordListCommandsTest, TheStatisticsPageKeepsItsFileNamesInViewWhenScrolledRight)
{
    WordListOf(kCorpus);
    window->resize(700, 500);
    window->show();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageStatistics);
    QTableView* view = grid->View();
    QApplication::processEvents();
    const QRect fileColumn = view->visualRect(grid->Proxy()->index(1, 1));
    ASSERT_TRUE(view->viewport()->rect().intersects(fileColumn));
    const QImage before = grid->grab().toImage();
    ASSERT_GT(view->horizontalScrollBar()->maximum(), 0) << "the statistics are wider than the window";
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    const QImage after = grid->grab().toImage();
    // The row numbers and file names are where they were, the other columns moved.
    const QPoint origin = view->viewport()->mapTo(grid, QPoint(0, 0));
    const QRect kept(origin.x(), origin.y(), fileColumn.right() - 2, fileColumn.bottom());
    EXPECT_EQ(before.copy(kept), after.copy(kept)) << "the file-name column stayed in view";
    const QRect moved(kept.right() + 4, origin.y(), view->viewport()->width() - kept.width() - 8, fileColumn.bottom());
    EXPECT_NE(before.copy(moved), after.copy(moved)) << "the columns right of it scrolled";
    // The names there are the texts'.
    auto* frozen = view->findChild<QTableView*>(QStringLiteral("FrozenColumns"));
    ASSERT_NE(frozen, nullptr);
    EXPECT_TRUE(frozen->model()->index(1, 1).data().toString().endsWith(QStringLiteral("a.txt")) ||
                frozen->model()->index(1, 1).data().toString().endsWith(QStringLiteral("b.txt")));
}

TEST_F(WordListCommandsTest, TheStatusBarTellsTheEntriesAfterZapAndNothingAfterClose)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    cv::TCVStatusBar* bar = window->AdvOfficeStatusBar1;
    const int entries = Words()->Count();
    EXPECT_EQ(bar->PanelText(cv::kPanelMessage), cv::Format(cv::CVNEntries, {entries}));
    grid->SetRow(1);
    MenuCommand(cv::TMenuCommand::Delete);
    MenuCommand(cv::TMenuCommand::Zap);
    ASSERT_EQ(Words()->Count(), entries - 1);
    EXPECT_EQ(bar->PanelText(cv::kPanelMessage), cv::Format(cv::CVNEntries, {entries - 1}));
    dialogs.QueueAnswer(TDialogAnswer::No); // not saved
    MenuCommand(cv::TMenuCommand::Close);
    ASSERT_EQ(Doc(), nullptr);
    for (int panel = 0; panel < bar->PanelCount(); ++panel)
        if (bar->PanelStyle(panel) == cv::TStatusPanelStyle::Text)
            EXPECT_TRUE(bar->PanelText(panel).isEmpty()) << "panel " << panel << ": " << bar->PanelText(panel).toStdString();
}

TEST_F(WordListCommandsTest, AMarkedPairShowsItsMarkerInTheSetColumn)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
    grid = Show(window->AdvOfficePageIndexRelations);
    ASSERT_GE(grid->RowCount(), 3);
    const int set = cv::TRelationshipsList::kColSet;
    EXPECT_TRUE(grid->Cells(set, 1).isEmpty());
    grid->SetRow(1);
    MenuCommand(cv::TMenuCommand::Mark);
    EXPECT_EQ(grid->Cells(set, 1), QStringLiteral("\u2713"));
    EXPECT_TRUE(grid->Cells(set, 2).isEmpty()) << "only the marked pair";
    MenuCommand(cv::TMenuCommand::Unmark);
    EXPECT_TRUE(grid->Cells(set, 1).isEmpty());
}

TEST_F(WordListCommandsTest, RelationshipsOfACharacterRangeOrOfNoWordAtAll)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    commands.relationships.processSelection = cv::kIndexProcessCharacterRange;
    commands.relationships.startChar = u'c';
    commands.relationships.endChar = u'd';
    Show(window->AdvOfficePageIndexAlph)->HandleGridCommand(cv::TMenuCommand::Relationships);
    const cv::TRelationshipsList& relations = *Doc()->fIndexHandler->fRelationshipsList;
    ASSERT_GT(relations.Count(), 0);
    for (int i = 0; i < relations.Count(); ++i) {
        const QChar c = relations.MIData(i).Word1.at(0);
        EXPECT_TRUE(c == u'c' || c == u'd') << relations.MIData(i).Word1.toStdString();
    }

    // A range holding no word finds nothing.
    IndexOf(kCorpus);
    commands.relationships.startChar = u'x';
    commands.relationships.endChar = u'z';
    Show(window->AdvOfficePageIndexAlph)->HandleGridCommand(cv::TMenuCommand::Relationships);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoMutualInfoData")});
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListIndexWordList);
}

TEST_F(WordListCommandsTest, ARelationshipsDocumentIsSavedAndOpensAgainWithItsIndex)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Relationships);
    ASSERT_EQ(Doc()->MainFile.ListType, cv::kListIndexRelationships);
    const cv::TRelationshipsList& made = *Doc()->fIndexHandler->fRelationshipsList;
    const int count = made.Count();
    ASSERT_GT(count, 0);
    const cv::TMIDataRec first = made.MIData(0);
    const QString file = Doc()->MainFile.FileName;
    EXPECT_TRUE(file.endsWith(QStringLiteral("corpus.relationships")));
    ASSERT_TRUE(window->Save(window->CVGridIndexRelations));
    ASSERT_TRUE(QFileInfo::exists(file));

    window->CloseData(true);
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = file;
    ASSERT_TRUE(cv::CheckFileForTool(rec, cv::kToolWordList));
    EXPECT_EQ(rec.ListType, cv::kListIndexRelationships);
    ASSERT_TRUE(window->OpenFile());
    ASSERT_NE(Doc(), nullptr);
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListIndexRelationships);
    EXPECT_EQ(Doc()->MainFile.FileName, file);
    ASSERT_NE(Doc()->fIndexHandler, nullptr); // the index came with them
    const cv::TRelationshipsList& read = *Doc()->fIndexHandler->fRelationshipsList;
    ASSERT_EQ(read.Count(), count);
    EXPECT_EQ(read.MIData(0).Word1, first.Word1);
    EXPECT_EQ(read.MIData(0).Freq, first.Freq);
    EXPECT_FLOAT_EQ(read.MIData(0).Scores[1], first.Scores[1]);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexRelations);
    EXPECT_EQ(window->CVGridIndexRelations->List(), &read);
    EXPECT_TRUE(Doc()->fNotes.join(u'\n').contains(QStringLiteral("Relationships")));

    // Without its index the relationships cannot be shown: the user is told which index is missing.
    window->CloseData(true);
    const QString tokens = cv::IndexFileName(dir.file(QStringLiteral("corpus")), cv::TIndexFileKind::Tokens);
    ASSERT_TRUE(QFile::rename(tokens, tokens + QStringLiteral(".away")));
    cv::SetLastUsedFile(cv::kListIndexWordList, QString());
    dialogs.Clear();
    rec.Clear();
    rec.FileName = file;
    rec.ListType = cv::kListIndexRelationships;
    EXPECT_FALSE(window->OpenFile());
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("FailedToFind")));
    EXPECT_EQ(Doc(), nullptr);
}

TEST_F(WordListCommandsTest, SavingAnIndexWordListNeverWritesOverTheIndex)
{
    IndexOf(kCorpus);
    const QString tokens = Doc()->MainFile.FileName;
    const QByteArray before = [&] {
        QFile f(tokens);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(before.isEmpty());
    // The user is asked for a word-list file instead.
    const QString lst = dir.file(QStringLiteral("corpus words.lst"));
    files.QueueAnswer(lst);
    EXPECT_TRUE(window->SaveGridData(Show(window->AdvOfficePageIndexFreq), tokens));
    QFile after(tokens);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_TRUE(QFileInfo::exists(lst));
    // Refusing the name saves nothing.
    files.QueueCancel();
    EXPECT_FALSE(window->SaveGridData(window->CVGridIndexFreq, tokens));
}

// ---- requests for the concordance tool -------------------------------------------

TEST_F(WordListCommandsTest, AConcordanceRequestNamesTheSelectedWordsAndTellsTheController)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    SelectWords(*grid, {QStringLiteral("cat"), QStringLiteral("dog")});
    Posted();
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Concordance));
    EXPECT_TRUE(PostedCode(cv::kCodeConcordanceRequest));

    // The request lies in the suite's own temporary folder, for this user alone.
    cv::TTellMarvexList read(cv::kToolWordList, cv::kToolConcordance);
    const QString tmp = cv::SuiteTempFolder();
    ASSERT_TRUE(QFileInfo::exists(read.TempFilename(tmp))) << read.TempFilename(tmp).toStdString();
    EXPECT_EQ(cvtest::modeOf(read.TempFilename(tmp)), 0600u);
    ASSERT_TRUE(read.LoadedFromTempfile(tmp));
    ASSERT_EQ(read.Count(), 2);
    EXPECT_EQ(read.Item(0)->Word, QStringLiteral("cat"));
    EXPECT_EQ(read.Item(0)->ExpectedFrequency, 3);
    EXPECT_EQ(read.Item(0)->ExpectedTexts, 2);
    EXPECT_EQ(read.Item(1)->Word, QStringLiteral("dog"));
    EXPECT_EQ(read.Item(1)->ExpectedFrequency, 1);
    EXPECT_TRUE(read.Item(0)->Positions.empty()); // no index open
    ASSERT_EQ(read.Texts().size(), 2u);
    EXPECT_TRUE(QFileInfo::exists(read.Texts()[0].FullFilename));
}

TEST_F(WordListCommandsTest, AConcordanceRequestForALemmaAsksForEachOfItsForms)
{
    WordListOf({{QStringLiteral("a.txt"), QStringLiteral("go goes went go going")}});
    cv::TCVWordList* words = Doc()->WordlistOfType(cv::kListWordList);
    words->JoinARange({words->FindWordAndTag(QStringLiteral("go"), {}), words->FindWordAndTag(QStringLiteral("goes"), {}),
                       words->FindWordAndTag(QStringLiteral("went"), {})},
                      true);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    grid->Refresh();
    SelectWords(*grid, {QStringLiteral("go")});
    grid->HandleGridCommand(cv::TMenuCommand::Concordance);
    ASSERT_NE(window->TellMarvexList(), nullptr);
    ASSERT_EQ(window->TellMarvexList()->Count(), 3);
    QStringList forms;
    for (int i = 0; i < 3; ++i)
        forms << window->TellMarvexList()->Item(i)->Word;
    EXPECT_EQ(forms, (QStringList{QStringLiteral("go"), QStringLiteral("goes"), QStringLiteral("went")}));
}

TEST_F(WordListCommandsTest, AConcordanceRequestFromAnIndexCarriesThePositions)
{
    IndexOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
    SelectWords(*grid, {QStringLiteral("cat")});
    grid->HandleGridCommand(cv::TMenuCommand::Concordance);
    ASSERT_NE(window->TellMarvexList(), nullptr);
    ASSERT_EQ(window->TellMarvexList()->Count(), 1);
    const std::vector<cv::TMarvexPosition> expected{{0, 2}, {0, 8}, {1, 2}};
    EXPECT_EQ(window->TellMarvexList()->Item(0)->Positions, expected);
}

TEST_F(WordListCommandsTest, NoRequestIsMadeWhenNoTextIsLeftOnDisk)
{
    WordListOf(kCorpus);
    for (const auto& [name, content] : kCorpus)
        QFile::remove(dir.file(name));
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    SelectWords(*grid, {QStringLiteral("cat")});
    Posted();
    grid->HandleGridCommand(cv::TMenuCommand::Concordance);
    EXPECT_FALSE(PostedCode(50));
    cv::TTellMarvexList read(cv::kToolWordList, cv::kToolConcordance);
    EXPECT_FALSE(QFileInfo::exists(read.TempFilename(cv::SuiteTempFolder())));
}

// ---- key words against a reference list -------------------------------------------

TEST_F(WordListCommandsTest, ComparingWithAReferenceListMakesTheKeyWordPage)
{
    QString study = QStringLiteral("whale ");
    study = study.repeated(40) + QStringLiteral("the sea the ship the crew and the captain");
    const QString reference =
        SavedWordList(QStringLiteral("reference"),
                      QStringLiteral("the of and a to in the of and the land the town the road the ship ").repeated(30));
    cv::SetKeywordsSettingsReferenceCorpus(reference);
    OpenSaved(SavedWordList(QStringLiteral("study"), study));
    dialogs.Clear();

    MenuCommand(cv::TMenuCommand::KeyWords);
    EXPECT_EQ(commands.comparisonShown, 1);
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    bool whale = false;
    for (int i = 0; i < Doc()->fKeywordsList->Count(); ++i)
        whale = whale || Doc()->fKeywordsList->Entry(i).fWord == QStringLiteral("whale");
    EXPECT_TRUE(whale);
    EXPECT_TRUE(window->PageVisible(window->AdvOfficePageKWs));
    EXPECT_TRUE(Doc()->NewTabsheetMade);
    EXPECT_EQ(window->AdvOfficePager1->tabText(window->AdvOfficePager1->indexOf(window->AdvOfficePageKWs)),
              QStringLiteral("KWs with reference"));
    EXPECT_EQ(cv::StartupOpenFileRec().Mark, 1);
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("ResultsAreInTab"));
    // The reference list confirmed is the user's setting: the controller is asked to keep it.
    EXPECT_TRUE(PostedCode(cv::kCodeSettingsChangedInTool));
}

TEST_F(WordListCommandsTest, APlainTextReferenceListBecomesAWordListOfTheUsersAlone)
{
    OpenSaved(SavedWordList(QStringLiteral("study"), QStringLiteral("whale ").repeated(40) + QStringLiteral("the sea the ship")));
    const QString text = dir.write(QStringLiteral("ref.txt"), "the\t500\nof\t300\nsea\t20\nship\t20\nland\t40\n");
    files.QueueAnswer(text);
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::CompareWithTextFile);
    // The list made from it lies in the suite's own folder, not in the shared temporary folder.
    const QString made = cv::SuiteTempFile(QStringLiteral("ref (reference).lst"));
    EXPECT_TRUE(QFileInfo::exists(made));
    EXPECT_EQ(cvtest::modeOf(made), 0600u);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("tmp/ref (reference).lst"))));
    EXPECT_TRUE(window->PageVisible(window->AdvOfficePageKWs));
}

TEST_F(WordListCommandsTest, AComparisonWithoutKeyWordsOrWithTheSameListTells)
{
    const QString text = QStringLiteral("the cat and the dog ").repeated(20);
    const QString studyFile = SavedWordList(QStringLiteral("study"), text);
    cv::SetKeywordsSettingsReferenceCorpus(SavedWordList(QStringLiteral("twin"), text));
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = studyFile;
    rec.ListType = cv::kListWordList;
    ASSERT_TRUE(window->OpenFile());
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::CompareTwoWordLists);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("NoKeyWordsFound")));
    EXPECT_FALSE(window->PageVisible(window->AdvOfficePageKWs));

    // The comparison changed the document: it is saved first, then refused.
    cv::SetKeywordsSettingsReferenceCorpus(studyFile);
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::KeyWords);
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("CantCompareWithSameFile"));
    EXPECT_EQ(commands.comparisonShown, 2);

    // A reference list that is not there is named, not taken for one without key words.
    const QString gone = dir.file(QStringLiteral("gone.lst"));
    cv::SetKeywordsSettingsReferenceCorpus(gone);
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::CompareTwoWordLists);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("FailedToFind"));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("gone.lst")));
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("NoKeyWordsFound")));
}

TEST_F(WordListCommandsTest, AnUnsavedListIsSavedBeforeItIsComparedOrNotComparedAtAll)
{
    WordListOf(kCorpus);
    cv::SetKeywordsSettingsReferenceCorpus(SavedWordList(QStringLiteral("reference"), QStringLiteral("a b c d")));
    // Not saved: nothing is compared.
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No);
    MenuCommand(cv::TMenuCommand::KeyWords);
    EXPECT_EQ(commands.comparisonShown, 0);
    EXPECT_TRUE(Doc()->MainFile.FileName.isEmpty());

    // Saved where the user says: compared.
    const QString study = dir.file(QStringLiteral("study.lst"));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    files.QueueAnswer(study);
    MenuCommand(cv::TMenuCommand::KeyWords);
    EXPECT_TRUE(QFileInfo::exists(study));
    EXPECT_EQ(Doc()->MainFile.FileName, study);
    EXPECT_EQ(commands.comparisonShown, 1);
}

// ---- equal words ---------------------------------------------------------------

// Words that look alike but are stored apart: "é" composed and decomposed.
const QString kComposed = QStringLiteral("caf\u00E9");
const QString kDecomposed = QStringLiteral("cafe\u0301");

TEST_F(WordListCommandsTest, EqualWordsAreMergedWhenTheUserSaysSo)
{
    WordListOf({{QStringLiteral("a.txt"), kComposed + QStringLiteral(" ") + kDecomposed + QStringLiteral(" ") + kComposed +
                                              QStringLiteral(" tea")}});
    const int before = Words()->Count();
    Show(window->AdvOfficePageAlph);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Yes); // merge
    dialogs.QueueAnswer(TDialogAnswer::Yes); // and remove the merged entry
    MenuCommand(cv::TMenuCommand::CheckWordList);
    EXPECT_EQ(commands.lemmaShowerShown, 1);
    EXPECT_EQ(commands.lemmaShowerRows.size(), 1);
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("MergeXwithY"), QStringLiteral("OKToDoX")}));
    EXPECT_EQ(Words()->Count(), before - 1);
    int64_t total = 0;
    for (int i = 0; i < Words()->Count(); ++i)
        if (Words()->Entry(i).fWord.startsWith(QStringLiteral("caf")))
            total += Words()->Entry(i).fData.Freq;
    EXPECT_EQ(total, 3);

    // Nothing alike any more.
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::CheckWordList);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoProblem")});
}

TEST_F(WordListCommandsTest, EqualWordsKeptApartAreToldApartFromThenOn)
{
    WordListOf({{QStringLiteral("a.txt"), kComposed + QStringLiteral(" ") + kDecomposed}});
    Show(window->AdvOfficePageAlph);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No);
    MenuCommand(cv::TMenuCommand::CheckWordList);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("MergeXwithY")});
    ASSERT_EQ(Words()->Count(), 2);
    // One of the two carries a mark of its own (a zero-width space).
    int marked = 0;
    for (int i = 0; i < 2; ++i)
        marked += Words()->Entry(i).fWord.endsWith(QChar(0x200B)) ? 1 : 0;
    EXPECT_EQ(marked, 1);
}

// Two pairs of words that look alike: "café" and "naïve", each composed and decomposed.
QString TwoAlikePairs()
{
    return QStringList{kComposed, kDecomposed, QStringLiteral("na\u00EFve"), QStringLiteral("nai\u0308ve")}.join(u' ');
}

TEST_F(WordListCommandsTest, ToAllAnswersStandForEveryLaterPair)
{
    WordListOf({{QStringLiteral("a.txt"), TwoAlikePairs()}});
    Show(window->AdvOfficePageAlph);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::YesToAll);
    dialogs.QueueAnswer(TDialogAnswer::No);  // keep the merged entries, marked deleted
    MenuCommand(cv::TMenuCommand::CheckWordList);
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("MergeXwithY"), QStringLiteral("OKToDoX")}));
    // The question offers the answers for every pair.
    EXPECT_EQ(dialogs.Requests().front().buttons, cv::TDialogButtons::YesNoToAllCancel);
    int deleted = 0;
    for (int i = 0; i < Words()->Count(); ++i)
        deleted += Words()->GetDeleted(i) ? 1 : 0;
    EXPECT_EQ(deleted, 2);
}

TEST_F(WordListCommandsTest, CancelStopsAskingAboutEqualWords)
{
    WordListOf({{QStringLiteral("a.txt"), TwoAlikePairs()}});
    Show(window->AdvOfficePageAlph);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    MenuCommand(cv::TMenuCommand::CheckWordList);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("MergeXwithY")});
    EXPECT_EQ(Words()->Count(), 4);
}

// ---- while a job works on the document ----------------------------------------------

TEST_F(WordListCommandsTest, CommandsWaitWhileTheEngineWorksOnTheDocument)
{
    WordListOf(kCorpus);
    SaveShown();
    QApplication::processEvents();
    bool tried = false;
    window->onRunningWords = [&](int64_t) {
        if (tried)
            return;
        tried = true;
        ASSERT_TRUE(window->DocumentInUse());
        dialogs.Clear();
        MenuCommand(cv::TMenuCommand::CheckWordList);
        MenuCommand(cv::TMenuCommand::KeyWords);
        window->CVGridFreq->HandleGridCommand(cv::TMenuCommand::Clusters);
        window->CVGridFreq->HandleGridCommand(cv::TMenuCommand::AutoJoin);
        window->SortGridColumn(window->CVGridAlph, cv::TCVWordList::kColFreq);
        EXPECT_TRUE(dialogs.Requests().empty());
        EXPECT_EQ(commands.clusterChoiceShown + commands.comparisonShown + commands.autoJoinShown, 0);
    };
    Request(cv::kListWordList);
    EXPECT_TRUE(tried);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->SortLevel(0).key, cv::TCVWordList::kSortAlphabetical);
}

// ---- commands a user meets on every page ----------------------------------------------

TEST_F(WordListCommandsTest, OtherSortsOrderTheAlphabeticalPageAndNameTheSort)
{
    WordListOf(kCorpus);
    Show(window->AdvOfficePageFrequency);
    // From the frequency page the sort shows on the alphabetical one.
    MenuCommand(cv::TMenuCommand::SortWordLength);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageAlph);
    const QStringList byLength = WordsOf(*Words());
    for (int i = 1; i < byLength.size(); ++i)
        EXPECT_LE(byLength[i - 1].size(), byLength[i].size()) << byLength.join(u' ').toStdString();
    const int tab = window->AdvOfficePager1->indexOf(window->AdvOfficePageAlph);
    EXPECT_TRUE(window->AdvOfficePager1->tabText(tab).contains(QStringLiteral("word length")));
    MenuCommand(cv::TMenuCommand::SortReverseWord);
    EXPECT_TRUE(window->AdvOfficePager1->tabText(tab).contains(QStringLiteral("word endings")));
    EXPECT_EQ(WordsOf(*Words()).first(), QStringLiteral("road")); // read backwards, "daor" comes first
    MenuCommand(cv::TMenuCommand::SortAlphabetical);
    EXPECT_EQ(window->AdvOfficePager1->tabText(tab), QStringLiteral("alphabetical"));
    QStringList sorted = WordsOf(*Words());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(WordsOf(*Words()), sorted);
}

TEST_F(WordListCommandsTest, APlainTextListIsAReferenceListForKeyWords)
{
    OpenSaved(SavedWordList(QStringLiteral("study"), QStringLiteral("whale ").repeated(40) + QStringLiteral("the sea the ship")));
    // A word, a TAB and its frequency a line.
    const QString counts = Text(QStringLiteral("english counts.txt"),
                                QStringLiteral("the\t6000\nof\t3000\nand\t2800\nsea\t40\nship\t30\nland\t200\n"));
    files.QueueAnswer(counts);
    MenuCommand(cv::TMenuCommand::CompareWithTextFile);
    EXPECT_EQ(commands.comparisonShown, 0); // no comparison dialog: the file is the reference
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    bool whale = false;
    for (int i = 0; i < Doc()->fKeywordsList->Count(); ++i)
        whale = whale || Doc()->fKeywordsList->Entry(i).fWord == QStringLiteral("whale");
    EXPECT_TRUE(whale);
    EXPECT_EQ(window->AdvOfficePager1->tabText(window->AdvOfficePager1->indexOf(window->AdvOfficePageKWs)),
              QStringLiteral("KWs with english counts"));
    // A text that holds no counts says so.
    dialogs.Clear();
    files.QueueAnswer(Text(QStringLiteral("prose.txt"), QStringLiteral("no counts in here")));
    MenuCommand(cv::TMenuCommand::CompareWithTextFile);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("NoWordListWordsFoundIn")));
}

TEST_F(WordListCommandsTest, RowPercentagesShowEachListsShareOfTheRow)
{
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat the dog the")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog"))};
    Request(cv::kListDetailedConsistency);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageConsistency);
    const int row = RowOf(*grid, QStringLiteral("the"));
    ASSERT_GT(row, 0);
    const int first = cv::TDetailedConsistencyList::ColumnOfList(0);
    EXPECT_EQ(grid->Cells(first, row), QStringLiteral("3"));
    MenuCommand(cv::TMenuCommand::RowPercentages);
    EXPECT_TRUE(window->RowPercentagesShown());
    EXPECT_EQ(grid->Cells(first, row), QLocale().toString(75.0, 'f', 2) + QLatin1Char('%'));
    EXPECT_EQ(grid->Cells(first + 1, row), QLocale().toString(25.0, 'f', 2) + QLatin1Char('%'));
    MenuCommand(cv::TMenuCommand::RowPercentages);
    EXPECT_EQ(grid->Cells(first, row), QStringLiteral("3"));
}

TEST_F(WordListCommandsTest, PlotsAndLinksOfTheKeyWordsComeOnTheirOwnPages)
{
    KeyWordsOfOneText();
    ASSERT_GT(Doc()->fKeywordsList->Count(), 0);
    Show(window->AdvOfficePageKWs);
    MenuCommand(cv::TMenuCommand::Plot);
    ASSERT_NE(window->KeyWordsDocument(), nullptr);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageKWPlot);
    EXPECT_EQ(window->CVGridKWPlot->List(), window->KeyWordsDocument()->fPlots.get());
    EXPECT_GT(RowOf(*window->CVGridKWPlot, QStringLiteral("whale")), 0);
    Show(window->AdvOfficePageKWs);
    MenuCommand(cv::TMenuCommand::Links);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageKWLinks);
    EXPECT_GT(window->KeyWordsDocument()->fKWLinks->Count(), 0);
    // They go with the document.
    window->CloseData(true);
    EXPECT_EQ(window->KeyWordsDocument(), nullptr);
}

TEST_F(WordListCommandsTest, KeyWordPlotsNeedAListOfOneText)
{
    WordListOf(kCorpus);
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::Plot); // no key words yet
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
    EXPECT_EQ(window->KeyWordsDocument(), nullptr);
}

TEST_F(WordListCommandsTest, TheTextsOfARowComeFromTheIndexAndShowInAFile)
{
    IndexOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
    grid->SetRow(RowOf(*grid, QStringLiteral("dog")));
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard guard(&desktop);
    dialogs.QueueAnswer(TDialogAnswer::Yes); // this row only
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Filenames));
    ASSERT_EQ(desktop.Opened().size(), 1u);
    const auto read = [](const QUrl& url) {
        QFile f(url.toLocalFile());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf16(reinterpret_cast<const char16_t*>(f.readAll().constData() + 2),
                                                                 (f.size() - 2) / 2)
                                           : QString();
    };
    QString shown = read(desktop.Opened().back());
    EXPECT_TRUE(shown.contains(QStringLiteral("b.txt")));
    EXPECT_FALSE(shown.contains(QStringLiteral("a.txt")));
    dialogs.QueueAnswer(TDialogAnswer::No); // every row
    grid->HandleGridCommand(cv::TMenuCommand::Filenames);
    shown = read(desktop.Opened().back());
    EXPECT_TRUE(shown.contains(QStringLiteral("a.txt")) && shown.contains(QStringLiteral("b.txt")));
}

TEST_F(WordListCommandsTest, SourceTextShowsTheRowsTextWithItsWord)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    grid->SetRow(RowOf(*grid, QStringLiteral("cat")));
    MenuCommand(cv::TMenuCommand::SourceText);
    ASSERT_EQ(commands.sourceTextsShown.size(), 1);
    EXPECT_TRUE(commands.sourceTextsShown.front().endsWith(QStringLiteral("a.txt")));
    EXPECT_EQ(commands.sourceTextWords, QStringList{QStringLiteral("cat")});
    // On the page of texts, the row's text itself.
    grid = Show(window->AdvOfficePageFilenames);
    grid->SetRow(2);
    MenuCommand(cv::TMenuCommand::SourceText);
    ASSERT_EQ(commands.sourceTextsShown.size(), 2);
    EXPECT_TRUE(commands.sourceTextsShown.back().endsWith(grid->Cells(cv::TCVWordList::kColWord, 2)));
    EXPECT_TRUE(commands.sourceTextWords.isEmpty());
}

TEST_F(WordListCommandsTest, PlayReadsTheRowAloudAndFindOpensTheSearch)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    grid->SetRow(RowOf(*grid, QStringLiteral("cat")));
    QStringList spoken;
    const cv::TRowSpeaker before = cv::SetRowSpeaker([&](const QString& line) { spoken << line; });
    MenuCommand(cv::TMenuCommand::Play);
    cv::SetRowSpeaker(before);
    ASSERT_EQ(spoken.size(), 1);
    EXPECT_TRUE(spoken.front().contains(QStringLiteral("cat")));
    MenuCommand(cv::TMenuCommand::Find);
    cv::TGridDialogHost* host = cv::FindGridDialogHost(*window);
    ASSERT_NE(host, nullptr);
    ASSERT_NE(host->SearchDelColourCatForm(), nullptr);
    EXPECT_TRUE(host->SearchDelColourCatForm()->isVisible());
    EXPECT_EQ(host->SearchDelColourCatForm()->ActionTag, cv::TConditionsMode::Search);
}

// View > Number display: a word list's frequencies as counted, or as their
// share of the list's running words, by hand (8 running words: "the" 3,
// "bird" 1); in the grid and in what is copied and exported from it; the
// other columns as they were. A window made afterwards shows the choice the
// settings keep.
TEST_F(WordListCommandsTest, NumberDisplayShowsFrequenciesAsSharesOfTheRunningWords)
{
    const QString saved = SavedWordList(QStringLiteral("eight"), QStringLiteral("the cat and the dog and the bird"));
    OpenSaved(saved);
    cv::TCV_Grid* grid = window->CVGridFreq;
    const int the = RowOf(*grid, QStringLiteral("the"));
    const int bird = RowOf(*grid, QStringLiteral("bird"));
    ASSERT_GT(the, 0);
    ASSERT_GT(bird, 0);
    const int freq = cv::TCVWordList::kColFreq;
    using cv::TMenuCommand;
    struct TMode {
        TMenuCommand command;
        const char* the;
        const char* bird;
    };
    for (const TMode& m : {TMode{TMenuCommand::NumbersPercent, "37.5000", "12.5000"},
                           TMode{TMenuCommand::NumbersPerThousand, "375.000", "125.000"},
                           TMode{TMenuCommand::NumbersPerMillion, "375000.00", "125000.00"},
                           TMode{TMenuCommand::NumbersDefault, "3", "1"}}) {
        SCOPED_TRACE(m.the);
        MenuCommand(m.command);
        EXPECT_EQ(grid->Cells(freq, the), QString::fromLatin1(m.the));
        EXPECT_EQ(grid->Cells(freq, bird), QString::fromLatin1(m.bird));
        EXPECT_EQ(grid->Cells(cv::TCVWordList::kColPercent, the), QStringLiteral("37.50"));
        EXPECT_EQ(grid->Cells(cv::TCVWordList::kColTexts, the), QStringLiteral("1"));
    }

    MenuCommand(TMenuCommand::NumbersPerMillion);
    EXPECT_EQ(cv::GetDisplayWordsPerMillion(), cv::kNumbersPerMillion);
    SelectWords(*grid, {QStringLiteral("the")});
    cv::TCVClipboardSettings copy;
    copy.SetEditableText(true);
    const std::unique_ptr<QMimeData> copied = grid->SelectionMimeData(copy, 1000);
    ASSERT_NE(copied, nullptr);
    EXPECT_TRUE(copied->text().contains(QStringLiteral("\t375000.00\t"))) << copied->text().toStdString();
    const cv::TGridExportRows exported(*grid, cv::TCVExportSettings{});
    std::vector<cv::TExportCell> cells;
    exported.Cells(the - 1, cells);
    ASSERT_GT(cells.size(), std::size_t(freq));
    EXPECT_EQ(cells[std::size_t(freq)].text, QStringLiteral("375000.00"));

    // The settings keep the choice for the next window.
    RemakeWindowWithMenus();
    window->RefreshMenuChecks();
    OpenSaved(saved);
    EXPECT_EQ(window->CVGridFreq->Cells(freq, RowOf(*window->CVGridFreq, QStringLiteral("the"))),
              QStringLiteral("375000.00"));
}

// The key-word page: each frequency as its share of its own list's running
// words (130 in the study text, whale 50; 240 in the reference, whale 0).
TEST_F(WordListCommandsTest, NumberDisplayShowsKeyWordFrequenciesAsSharesOfEachList)
{
    KeyWordsOfOneText();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageKWs);
    ASSERT_EQ(grid, window->CVGridKWs);
    const int whale = RowOf(*grid, QStringLiteral("whale"));
    ASSERT_GT(whale, 0);
    MenuCommand(cv::TMenuCommand::NumbersPerThousand);
    EXPECT_EQ(grid->Cells(cv::TKeyWordList::kColFreq, whale), QStringLiteral("384.615"));
    EXPECT_EQ(grid->Cells(cv::TKeyWordList::kColRefFreq, whale), QStringLiteral("0.000"));
    MenuCommand(cv::TMenuCommand::NumbersDefault);
    EXPECT_EQ(grid->Cells(cv::TKeyWordList::kColFreq, whale), QStringLiteral("50"));
}

} // namespace
} // namespace wordlist_window_test
