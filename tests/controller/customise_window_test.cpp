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
    c.commands = {{TagOf(cv::TMenuCommand::New), QStringLiteral("&New...")},
                  {TagOf(cv::TMenuCommand::Copy), QStringLiteral("Copy")}};
    c.toSequence = [](uint16_t code) { return code ? QKeySequence(int(code)) : QKeySequence(); };
    c.fromSequence = [](const QKeySequence& k) { return uint16_t(k[0].toCombined() & 0xFFFF); };
    return c;
}

TEST(CustomiseWindow, ShortcutsAndRightClickChoicesGoIntoTheSettings)
{
    cvtest::StartFromDefaults();
    cv::TControllerCustomiseWindow window(Commands());
    ASSERT_EQ(window.RowOfTag(TagOf(cv::TMenuCommand::Copy)), 1);
    EXPECT_EQ(window.RowOfTag(TagOf(cv::TMenuCommand::PrintPreview)), -1);
    window.SetShortcut(TagOf(cv::TMenuCommand::New), QKeySequence(Qt::Key_F2));
    window.SetOnRightClickMenu(TagOf(cv::TMenuCommand::Copy), true);
    int stored = 0;
    window.OnStored = [&] { ++stored; };
    window.OkClick();
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::New)), uint16_t(Qt::Key_F2 & 0xFFFF));
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Copy)));
    EXPECT_TRUE(cv::GetMenuAltered());
}

TEST(CustomiseWindow, OneShortcutForTwoCommandsIsRefused)
{
    cvtest::StartFromDefaults();
    cv::SetMenuShortcut(TagOf(cv::TMenuCommand::New), 0);
    cv::TControllerCustomiseWindow window(Commands());
    window.SetShortcut(TagOf(cv::TMenuCommand::New), QKeySequence(Qt::Key_F2));
    window.SetShortcut(TagOf(cv::TMenuCommand::Copy), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(window.Store().size(), 1);
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::New)), 0);
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
