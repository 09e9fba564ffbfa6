#include "ui/framework/grid_dialogs/dialog_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "support/process_state.h"

namespace {

TEST(RememberingDialog, OpensLargeEnoughForEveryTab)
{
    cvtest::StartFromDefaults();
    cv::TRememberingDialog dialog(QStringLiteral("TestDialogWithTabs"));
    auto* tabs = new QTabWidget(&dialog);
    for (const char* caption : {"Words to process", "Omissions", "Minimum and maximum values", "A fourth page"})
        tabs->addTab(new QLabel(QStringLiteral("page")), QString::fromLatin1(caption));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tabs);
    dialog.resize(150, 80); // too narrow for the tabs, as a remembered size may be
    dialog.show();
    QApplication::processEvents();
    EXPECT_GE(tabs->width(), tabs->tabBar()->sizeHint().width());
    // Every tab shows whole.
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_LE(tabs->tabBar()->tabRect(i).right(), tabs->tabBar()->width()) << i;
    EXPECT_EQ(cv::RoomForContents(dialog), dialog.size());
}

} // namespace
