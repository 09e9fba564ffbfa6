#include "gui/file_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include "support/test_support.h"

namespace {

// What the dialog on screen shows when it opens (its folder and the name in
// its field), and the name it gives when the user takes that name.
struct TShown {
    QString folder;
    QString field;
    QString chosen;
};

TShown RunOnScreen(const cv::TFileDialogRequest& request)
{
    TShown shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shown.folder = dialog->directory().absolutePath();
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            shown.field = edit->text();
        // As the user takes the name: Enter in the field.
        QMetaObject::invokeMethod(dialog, "accept");
    });
    cv::TQtFileDialogService service;
    shown.chosen = service.Execute(request);
    return shown;
}

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

TEST(FileDialogs, ANameProposedOnScreenIsShownWholeAndTakenWhereItIs)
{
    cvtest::TempDir dir;
    QDir().mkpath(dir.file(QStringLiteral("texts")));
    cv::TFileDialogRequest request;
    request.save = true;
    request.filter = QStringLiteral("Word lists (*.lst)");
    request.defaultExt = QStringLiteral("lst");
    request.folder = dir.file(QStringLiteral("texts"));

    // In a folder there is: that folder, the bare name.
    request.fileName = dir.file(QStringLiteral("ref.lst"));
    TShown shown = RunOnScreen(request);
    EXPECT_EQ(shown.folder, dir.path());
    EXPECT_EQ(shown.field, QStringLiteral("ref.lst"));
    EXPECT_EQ(shown.chosen, dir.file(QStringLiteral("ref.lst")));

    // In a folder that is not there (a new user's documents folder): the
    // name keeps no piece of that path, and is taken in the folder shown.
    request.fileName = dir.file(QStringLiteral("home/Documents/ref.lst"));
    shown = RunOnScreen(request);
    EXPECT_EQ(shown.folder, dir.file(QStringLiteral("texts")));
    EXPECT_EQ(shown.field, QStringLiteral("ref.lst"));
    EXPECT_EQ(shown.chosen, dir.file(QStringLiteral("texts/ref.lst")));
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
