#include "suite/gui/file_dialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(FileDialogs, WithoutAServiceEveryDialogIsCancelled)
{
    cv::TFileDialogServiceGuard none(nullptr);
    cv::TCVFileDialog dialog(cv::TCVFileDialog::TKind::Open);
    dialog.FileName = QStringLiteral("/data/a.lst");
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/data/a.lst"));
}

TEST(FileDialogs, ScriptedAnswersAreGivenInTurnAndTheRequestsKept)
{
    cv::TScriptedFileDialogs script;
    cv::TFileDialogServiceGuard guard(&script);
    script.QueueAnswer(QStringLiteral("/data/result"));
    script.QueueCancel();
    cv::TCVFileDialog save(cv::TCVFileDialog::TKind::Save);
    save.DefaultExt = QStringLiteral(".lst");
    save.Filter = QStringLiteral("Word lists (*.lst)");
    save.InitialDir = QStringLiteral("/data");
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, QStringLiteral("/data/result.lst")); // the default extension added
    EXPECT_FALSE(save.Execute());
    EXPECT_EQ(save.FileName, QStringLiteral("/data/result.lst"));
    EXPECT_FALSE(save.Execute()); // the queue is empty: cancelled
    ASSERT_EQ(script.Requests().size(), 3u);
    EXPECT_TRUE(script.Requests()[0].save);
    EXPECT_EQ(script.Requests()[0].defaultExt, QStringLiteral("lst"));
    EXPECT_EQ(script.Requests()[1].fileName, QStringLiteral("/data/result.lst"));
}

TEST(FileDialogs, AGuardPutsThePreviousServiceBack)
{
    cv::TScriptedFileDialogs outer, inner;
    cv::TFileDialogServiceGuard a(&outer);
    {
        cv::TFileDialogServiceGuard b(&inner);
        EXPECT_EQ(cv::CurrentFileDialogService(), &inner);
    }
    EXPECT_EQ(cv::CurrentFileDialogService(), &outer);
}

} // namespace
