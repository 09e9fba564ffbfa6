#include "ui/framework/dialog_base/dialog_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
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

// A window the user asks for comes up wholly on its screen: one placed
// above and left of it, or larger than it, is moved (and shrunk) into it.
TEST(BringToFront, AWindowComesUpWhollyOnItsScreen)
{
    QWidget window(nullptr, Qt::Window);
    window.setGeometry(-120, -80, 300, 200);
    cv::BringToFront(&window);
    QApplication::processEvents();
    ASSERT_NE(window.screen(), nullptr);
    const QRect area = window.screen()->availableGeometry();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(area.contains(window.frameGeometry())) << window.frameGeometry().x() << "," << window.frameGeometry().y();
    EXPECT_EQ(window.size(), QSize(300, 200)) << "a window that fits keeps its size";

    QWidget large(nullptr, Qt::Window);
    large.setGeometry(area.right() - 50, area.top(), area.width() + 200, area.height() + 100);
    cv::BringToFront(&large);
    QApplication::processEvents();
    EXPECT_TRUE(area.contains(large.frameGeometry()));
    EXPECT_LE(large.frameGeometry().width(), area.width());
}

} // namespace
