#include "framework_testutil.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "suite/lemmatiser.h"
#include "suite/resource_strings.h"

namespace framework_test {
namespace {

using cv::ToolWindowList;

TEST_F(FrameworkTest, EachPageGetsOneHolderForItsFirstControl)
{
    cv::TOneToolWindowList& pages = ToolWindowList();
    ASSERT_EQ(pages.Count(), 5); // the main screen and four pages
    EXPECT_EQ(pages.Items(0)->data.datatype, cv::tw_mainscreen);
    EXPECT_EQ(pages.PageIndexOfHolder(0), 0);
    EXPECT_EQ(pages.GridOfPage(1), window->freq);
    EXPECT_EQ(pages.GridOfPage(2), window->alph);
    // The grid inside the panel is found; the page's second grid is not.
    EXPECT_EQ(pages.GridOfPage(3), window->stats);
    EXPECT_EQ(pages.ListTypeOfPage(3), cv::kListStatistics);
    EXPECT_EQ(pages.Items(3)->data.KindOfDisplay, cv::kGridKindStatistics);
    EXPECT_EQ(pages.Items(4)->data.datatype, cv::tw_Memo);
    EXPECT_EQ(pages.GridOfPage(4), nullptr);
    // Out of range: the neutral answers.
    EXPECT_EQ(pages.GridOfPage(9), nullptr);
    EXPECT_EQ(pages.PageIndexOfHolder(-1), -2);
    EXPECT_EQ(pages.ListTypeOfPage(5), cv::kListNone);
    // Page grids are set up and share the cell handler.
    EXPECT_EQ(window->freq->CellHandler, pages.GeneralCellHandler.get());
    EXPECT_EQ(window->freq->DefaultRowHeight(), 24);
    EXPECT_EQ(window->freq->PopupMenu(), window->PopupMenuForGrids);
}

TEST_F(FrameworkTest, CurrentGridFallsBackToTheFirstGridOnTheNotesPage)
{
    cv::TOneToolWindowList& pages = ToolWindowList();
    pages.CurrentToolWindowHolder = nullptr;
    EXPECT_EQ(pages.CurrentGrid(), nullptr);
    EXPECT_EQ(pages.SetCurrentGridToTab(4), cv::tw_Memo);
    EXPECT_EQ(pages.CurrentGrid(), window->freq);
    EXPECT_EQ(pages.SetCurrentGridToTab(3), cv::tw_grid);
    EXPECT_EQ(pages.CurrentGrid(), window->stats);
    EXPECT_EQ(pages.GeneralCellHandler->CurrentGrid(), window->stats);
    EXPECT_EQ(pages.SetCurrentGridToTab(12), cv::tw_mainscreen);
    EXPECT_EQ(pages.CurrentGrid(), nullptr);
}

TEST_F(FrameworkTest, ListsAreAttachedAndClearedButNeverOnTheMainScreen)
{
    ShowSample();
    cv::TOneToolWindowList& pages = ToolWindowList();
    auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    EXPECT_EQ(pages.Items(1)->data.CVList, list);
    pages.SetListOfPage(0, list);
    pages.ClearBaseList(0);
    EXPECT_EQ(pages.Items(0)->data.CVList, list);
    pages.ClearBaseList(1);
    EXPECT_EQ(pages.Items(1)->data.CVList, nullptr);
    pages.ClearBaseList(7); // out of range: nothing
    pages.SetListOfPage(0, nullptr);
}

TEST_F(FrameworkTest, MenuIsFittedOnlyWhenTheListTypeOrKindChanges)
{
    QMenu* file = window->menuBar()->addMenu(QStringLiteral("File"));
    cv::SetMenuTag(file->menuAction(), TagOf(cv::TMenuHeader::TopLevelMenu));
    QAction* save = file->addAction(QStringLiteral("Save"));
    cv::SetMenuTag(save, TagOf(cv::TMenuCommand::Save));
    QAction* zap = file->addAction(QStringLiteral("Zap"));
    cv::SetMenuTag(zap, TagOf(cv::TMenuCommand::Zap));
    zap->setCheckable(true);
    QAction* settings = file->addAction(QString());
    cv::SetMenuTag(settings, TagOf(cv::TMenuCommand::SettingsOfTool));
    int asked = 0;
    const cv::TMenuSetProvider sets = [&](uint8_t listType, uint8_t) {
        ++asked;
        cv::TMenuTagSet s;
        s.set(size_t(TagOf(cv::TMenuCommand::SettingsOfTool)));
        if (listType == cv::kListWordList)
            s.set(size_t(TagOf(cv::TMenuCommand::Save))).set(size_t(TagOf(cv::TMenuCommand::Zap)));
        return s;
    };
    cv::TOneToolWindowList& pages = ToolWindowList();
    pages.FitMenuToListType(window->menuBar(), nullptr, false, sets);
    EXPECT_FALSE(save->isVisible());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_TRUE(settings->text().contains(cv::Tool_Name(cv::kToolWordList)));
    pages.FitMenuToListType(window->menuBar(), window->freq, false, sets);
    EXPECT_TRUE(save->isVisible());
    cv::SetMenuItemChecked(cv::TMenuCommand::Zap, true);
    pages.FitMenuToListType(window->menuBar(), window->freq, false, sets);
    EXPECT_EQ(asked, 2);           // the same list type and kind: nothing refitted
    EXPECT_FALSE(zap->isChecked()); // ... not even the checks
    pages.FitMenuToListType(window->menuBar(), window->freq, true, sets);
    EXPECT_TRUE(zap->isChecked());
    EXPECT_TRUE(file->menuAction()->isVisible());
}

TEST_F(FrameworkTest, StopListIsLoadedIntoTheLemmatiserWhenItsFileIsNamed)
{
    cv::TOneToolWindowList& pages = ToolWindowList();
    EXPECT_FALSE(pages.LoadLemmaMatchStopList(2)); // no file named
    EXPECT_FALSE(cv::Global_stopLemmaMatchLoaded[2]);
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, dir.file(QStringLiteral("missing.txt")));
    EXPECT_FALSE(pages.LoadLemmaMatchStopList(2)); // a missing file is simply not loaded
    EXPECT_TRUE(dialogs.Requests().empty());
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, dir.write(QStringLiteral("stop.txt"), "the\nand\n"));
    EXPECT_TRUE(pages.LoadLemmaMatchStopList(2));
    EXPECT_TRUE(cv::Global_stopLemmaMatchLoaded[2]);
    EXPECT_TRUE(cv::FoundInTheList(cv::kToolWordList, cv::TLemmatiserListKind::Stop, QStringLiteral("the")));
    EXPECT_GE(pages.DLLN_Lines, 1);
}

TEST_F(FrameworkTest, WantedListsAreLoadedAndUnwantedOnesClearedWhenPagesAreBuilt)
{
    const QString stop = dir.write(QStringLiteral("stop.txt"), "the\n");
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, stop);
    cv::SetLemmaMatchStopWanted(cv::kToolWordList, 2, true);
    window.reset();
    window = std::make_unique<TestWindow>();
    EXPECT_TRUE(cv::TLemmatiser::Instance().IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::Stop));
    cv::SetLemmaMatchStopWanted(cv::kToolWordList, 2, false);
    window.reset();
    window = std::make_unique<TestWindow>();
    EXPECT_FALSE(cv::TLemmatiser::Instance().IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::Stop));
}

TEST_F(FrameworkTest, LemmatiserProgressNeverDividesByZeroAndStopsOnCancel)
{
    cv::TOneToolWindowList& pages = ToolWindowList();
    pages.SetNLines(0, QStringLiteral("empty.txt"));
    EXPECT_EQ(pages.DLLN_Lines, 1);
    pages.ShowDLLProgress(1);
    EXPECT_EQ(cv::GlobalProgress().State().thisPercent, 100);
    pages.SetNLines(400, QStringLiteral("list.txt"));
    pages.ShowDLLProgress(100);
    EXPECT_EQ(cv::GlobalProgress().State().thisPercent, 25);

    // A stop asked for while the list loads cancels the load.
    QByteArray lines;
    for (int i = 0; i < 20000; ++i)
        lines += "word" + QByteArray::number(i) + "\n";
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, dir.write(QStringLiteral("big.txt"), lines));
    cv::global_panic_state = cv::kPanicStopNow;
    EXPECT_FALSE(pages.LoadLemmaMatchStopList(2));
    EXPECT_FALSE(cv::Global_stopLemmaMatchLoaded[2]);
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_TRUE(pages.LoadLemmaMatchStopList(2));
}

} // namespace
} // namespace framework_test
