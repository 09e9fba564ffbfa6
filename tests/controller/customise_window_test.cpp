#include "controller/customise_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>

#include "suite/cvbuf.h"
#include "support/process_state.h"

namespace {

// Two commands; a shortcut code is the key's code in this test's own encoding.
cv::TMenuCommandsOfTools Commands()
{
    cv::TMenuCommandsOfTools c;
    c.commands = {{8, QStringLiteral("&New...")}, {22, QStringLiteral("Copy")}};
    c.toSequence = [](uint16_t code) { return code ? QKeySequence(int(code)) : QKeySequence(); };
    c.fromSequence = [](const QKeySequence& k) { return uint16_t(k[0].toCombined() & 0xFFFF); };
    return c;
}

TEST(CustomiseWindow, ShortcutsAndRightClickChoicesGoIntoTheSettings)
{
    cvtest::StartFromDefaults();
    cv::TControllerCustomiseWindow window(Commands());
    ASSERT_EQ(window.RowOfTag(22), 1);
    EXPECT_EQ(window.RowOfTag(5), -1);
    window.SetShortcut(8, QKeySequence(Qt::Key_F2));
    window.SetOnRightClickMenu(22, true);
    int stored = 0;
    window.OnStored = [&] { ++stored; };
    window.OkClick();
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(cv::GetMenuShortcut(8), uint16_t(Qt::Key_F2 & 0xFFFF));
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(22));
    EXPECT_TRUE(cv::GetMenuAltered());
}

TEST(CustomiseWindow, OneShortcutForTwoCommandsIsRefused)
{
    cvtest::StartFromDefaults();
    cv::SetMenuShortcut(8, 0);
    cv::TControllerCustomiseWindow window(Commands());
    window.SetShortcut(8, QKeySequence(Qt::Key_F2));
    window.SetShortcut(22, QKeySequence(Qt::Key_F2));
    EXPECT_EQ(window.Store().size(), 1);
    EXPECT_EQ(cv::GetMenuShortcut(8), 0);
}

TEST(AboutWindow, ItNamesTheBufferAndTheMemoryOfTheProcesses)
{
    cv::TControllerAboutWindow window;
    EXPECT_TRUE(window.Text().contains(QStringLiteral("Settings buffer")));
    EXPECT_TRUE(window.Text().contains(QStringLiteral("process %1").arg(QCoreApplication::applicationPid())));
    EXPECT_GT(cv::ResidentMemoryOfProcess(QCoreApplication::applicationPid()), 1024 * 1024);
    EXPECT_EQ(cv::ResidentMemoryOfProcess(-5), 0);
}

} // namespace
