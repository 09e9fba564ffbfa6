// Every grid dialog on a real X screen with a fresh settings buffer: the
// walk (grid_dialogs_walk.cpp) opens each on a screen of 1024x768 and
// reports where its frame lies; each must lie inside the screen and be
// pictured. The pictures stay in "$CV_SCREENSHOT_DIR-grid-dialogs", else in
// "corvantis-tests-UID/grid-dialogs" in the temporary folder. Skipped
// where Xvfb is not installed.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "artefact_folder.h"
#include "xvfb_run.h"

namespace {

TEST(GridDialogScreens, EveryGridDialogOpensInsideTheScreenOnAFreshBuffer)
{
    if (screens_test::XvfbProgram().isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    // Beside the new user's pictures, not among them: that walk clears its folder.
    QString why;
    const QString dir =
        screens_test::ArtefactFolderFor(QStringLiteral("grid-dialogs"), QStringLiteral("-grid-dialogs"), &why);
    ASSERT_FALSE(dir.isEmpty()) << why.toStdString();
    const screens_test::TArtefactFolder folder(dir, std::chrono::seconds(120));
    ASSERT_TRUE(folder.Ready()) << folder.Error().toStdString();

    const screens_test::TWalkRun run =
        screens_test::RunOnXvfb(QStringLiteral(CV_GRID_DIALOGS_WALK), dir, QStringLiteral("1024x768x24"), 60000);
    ASSERT_TRUE(run.started);
    const QString& out = run.out;
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << out.toStdString() << run.err.toStdString();

    const QStringList expected = {"columns-layout", "columns-computed", "save-as", "clipboard-format",
                                  "active-set-column", "delete-if", "search-conditions", "colour-categories",
                                  "search-requirements", "print-preview", "search-and-replace", "search-only",
                                  "breakdown"};
    for (const QString& name : expected) {
        EXPECT_TRUE(out.contains(name + u' ') && !out.contains(name + QStringLiteral(" not shown")))
            << name.toStdString() << "\n" << out.toStdString();
        const QImage picture(QDir(dir).filePath(name + QStringLiteral(".png")));
        EXPECT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_GE(picture.width(), 100) << name.toStdString();
    }
    EXPECT_FALSE(out.contains(QStringLiteral("OUTSIDE"))) << out.toStdString();
}

} // namespace
