#include "framework_testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include "ui/framework/control_helpers.h"
#include "ui/framework/grid_binding.h"

namespace framework_test {
namespace {

TEST_F(FrameworkTest, BindingStoresTheHandlersInEveryPageGridAndSkipsOtherPages)
{
    std::vector<cv::TCV_Grid*> clustered;
    cv::TCVGridHandlersA a = window->BaseGridHandlersA();
    a.CClusters = [&](cv::TCV_Grid* grid) { clustered.push_back(grid); };
    cv::SetAllGridsEventHandlersC(window->BaseGridHandlersC());
    cv::SetAllGridsEventHandlersA(a);
    cv::SetAllGridsEventHandlersB(window->BaseGridHandlersB());
    cv::SetAllGridsWindowOperations(window->GridWindowOperations());

    for (cv::TCV_Grid* grid : {window->freq, window->alph, window->stats}) {
        EXPECT_TRUE(grid->HandlersA.CClusters);
        EXPECT_TRUE(grid->HandlersB.UndoEdit);
        EXPECT_TRUE(grid->HandlersC.GetTypingMode);
        EXPECT_TRUE(grid->WindowOperations.Save);
        EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Clusters));
    }
    EXPECT_EQ(clustered, (std::vector<cv::TCV_Grid*>{window->freq, window->alph, window->stats}));
    // The grid behind the statistics page's first grid is not a page grid.
    EXPECT_FALSE(window->spare->HandlersA.CClusters);
    EXPECT_FALSE(window->spare->HandleGridCommand(cv::TMenuCommand::Clusters));
    // Commands the window has no handler for are counted, not carried out.
    EXPECT_FALSE(window->freq->HandleGridCommand(cv::TMenuCommand::FindFiles)); // find files: the tool's own
    EXPECT_EQ(window->freq->UnhandledCommands(), 1);
}

TEST_F(FrameworkTest, GridCommandsReachTheWindowsOperations)
{
    cv::SetAllGridsEventHandlersC(window->BaseGridHandlersC());
    cv::SetAllGridsEventHandlersA(window->BaseGridHandlersA());
    cv::SetAllGridsEventHandlersB(window->BaseGridHandlersB());
    cv::SetAllGridsWindowOperations(window->GridWindowOperations());
    ShowSample();
    auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    const int before = list->Count();

    // Delete a row, zap it, undo the zap, redo it.
    list->SetDeleted(0, true, true);
    window->freq->HandleGridCommand(cv::TMenuCommand::Zap);
    EXPECT_EQ(list->Count(), before - 1);
    window->freq->HandleGridCommand(cv::TMenuCommand::Undo);
    EXPECT_EQ(list->Count(), before);
    window->freq->HandleGridCommand(cv::TMenuCommand::Redo);
    EXPECT_EQ(list->Count(), before - 1);
    EXPECT_EQ(window->freq->RowCount(), before);

    // Save through the grid: the window's own save, with a name asked for.
    const QString file = dir.file(QStringLiteral("from-grid.lst"));
    files.QueueAnswer(file);
    EXPECT_TRUE(window->freq->HandleGridCommand(cv::TMenuCommand::Save));
    EXPECT_TRUE(QFileInfo::exists(file));

    // Typing modes through group C.
    EXPECT_TRUE(window->freq->HandleGridCommand(cv::TMenuCommand::EditingData));
    EXPECT_EQ(window->freq->TypingMode(), 2);
    EXPECT_EQ(cv::GetKeypressMode(), 2);
}

TEST_F(FrameworkTest, AGridWithoutAListIgnoresItsCommands)
{
    cv::SetAllGridsEventHandlersB(window->BaseGridHandlersB());
    ShowSample();
    auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    list->SetDeleted(0, true, true);
    const int before = list->Count();
    // The alphabetical page shows nothing until it is shown.
    window->spare->HandlersB = window->BaseGridHandlersB();
    window->spare->HandleGridCommand(cv::TMenuCommand::Zap);
    EXPECT_EQ(list->Count(), before);
    window->CloseData(true);
    window->freq->HandleGridCommand(cv::TMenuCommand::Zap); // no document: GridMayBeWorkedOn is false
    EXPECT_EQ(window->freq->List(), nullptr);
}

TEST_F(FrameworkTest, HeaderClicksAndDoubleClicksCallTheBoundHandlers)
{
    ShowSample();
    int sorted = -1;
    std::vector<std::pair<int, int>> doubleClicks;
    window->freq->Events.OnClickHeader = nullptr; // the bound sort takes the click
    window->freq->HandlersB.SortByColumn = [&](cv::TCV_Grid*, int column) { sorted = column; };
    window->freq->HandlersA.DDblClickCell = [&](cv::TCV_Grid*, int c, int r) { doubleClicks.emplace_back(c, r); };
    emit window->freq->View()->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(sorted, 2);
    EXPECT_EQ(window->freq->ViewSortColumn(), -1) << "the view did not sort itself";
    const QModelIndex cell = window->freq->View()->model()->index(1, 1);
    emit window->freq->View()->doubleClicked(cell);
    EXPECT_EQ(doubleClicks, (std::vector<std::pair<int, int>>{{1, 2}}));
    // The window's own column sort marks the column and sorts the list.
    window->SortByColumn(window->alph, 1);
    EXPECT_EQ(window->alph->HasSortedThisRun, 1);
}

// ---- control helpers ----

TEST(ControlHelpers, SafeItemIndexKeepsToTheList)
{
    QComboBox combo;
    cv::SafeSetItemIndex(&combo, 2);
    EXPECT_EQ(combo.currentIndex(), -1) << "an empty list is left alone";
    combo.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    cv::SafeSetItemIndex(&combo, 2);
    EXPECT_EQ(combo.currentIndex(), 2);
    cv::SafeSetItemIndex(&combo, -1);
    EXPECT_EQ(combo.currentIndex(), 0);
    cv::SafeSetItemIndex(&combo, 3);
    EXPECT_EQ(combo.currentIndex(), 0);

    QListWidget list;
    list.addItems({QStringLiteral("a"), QStringLiteral("b")});
    cv::SafeSetItemIndex(&list, 1);
    EXPECT_EQ(list.currentRow(), 1);
    cv::SafeSetItemIndex(&list, 9);
    EXPECT_EQ(list.currentRow(), 0);

    QComboBox office;
    office.addItem(QStringLiteral("x"));
    office.clear();
    cv::SafeSetItemIndexTMS(&office, 0);
    EXPECT_EQ(office.currentIndex(), -1);
    office.addItems({QStringLiteral("a"), QStringLiteral("b")});
    cv::SafeSetItemIndexTMS(&office, 5);
    EXPECT_EQ(office.currentIndex(), 0);
}

TEST(ControlHelpers, ToolbarPanelsAreLaidOutFromLeftToRight)
{
    QWidget empty;
    const int gap = int(empty.screen()->logicalDotsPerInch()) / 12;
    EXPECT_EQ(cv::LayoutToolbarPanelControls(&empty), gap);
    EXPECT_EQ(empty.height(), int(std::lround(cv::GlobalImageHeight(&empty) * 1.8)));

    QWidget panel;
    auto* button = new QToolButton(&panel);
    button->resize(30, 5);
    auto* combo = new QComboBox(&panel);
    combo->resize(80, 12);
    auto* edit = new QLineEdit(&panel);
    edit->resize(50, 3);
    const int end = cv::LayoutToolbarPanelControls(&panel);
    const int height = panel.contentsRect().height();
    EXPECT_EQ(button->geometry(), QRect(gap, 0, 30, height));
    EXPECT_EQ(combo->x(), gap + 30 + gap);
    EXPECT_EQ(combo->height(), 12) << "combo boxes keep their height";
    EXPECT_EQ(edit->height(), int(std::lround(height * 0.9)));
    EXPECT_EQ(edit->y(), int(std::lround((height - edit->height()) / 2.0)));
    EXPECT_EQ(end, gap + 30 + gap + 80 + gap + 50 + gap);
}

TEST(ControlHelpers, SpinEditsDirectlyInsideTakeTheFloatSteps)
{
    QWidget parent;
    auto* direct = new cv::TCVSpinEdit(&parent);
    auto* panel = new QWidget(&parent);
    auto* nested = new cv::TCVSpinEdit(panel);
    cv::SetSpinEditsFloatSteps(&parent, 0.5f, 2.5f);
    EXPECT_FLOAT_EQ(direct->IncrementFloat(), 0.5f);
    EXPECT_FLOAT_EQ(direct->IncrementFloatPage(), 2.5f);
    EXPECT_TRUE(direct->FloatMode());
    EXPECT_FALSE(nested->FloatMode());
    direct->setRange(0, 100);
    direct->setValue(10);
    direct->stepUp();
    EXPECT_DOUBLE_EQ(direct->value(), 10.5);
    QKeyEvent pageUp(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(direct, &pageUp);
    EXPECT_DOUBLE_EQ(direct->value(), 13.0);
}

} // namespace
} // namespace framework_test
