// The screenshot walk on a real X screen: Xvfb is started for it on a
// free display, the walk (screens_walk.cpp) runs the window through a new
// user's steps and saves a picture of each, which must be a readable
// picture of some size and not one colour. The pictures stay as artefacts
// in $CV_SCREENSHOT_DIR, else in "corvantis-screenshots" in the temporary
// folder (never in the sources). Skipped where Xvfb is not installed.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "xvfb_run.h"

namespace {

TEST(Screenshots, EachStepOfANewUserIsPicturedOnARealScreen)
{
    if (screens_test::XvfbProgram().isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QString dir = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir(QDir::tempPath()).filePath(QStringLiteral("corvantis-screenshots"));
    QDir(dir).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(dir));

    const screens_test::TWalkRun run =
        screens_test::RunOnXvfb(QStringLiteral(CV_SCREENS_WALK), dir, QStringLiteral("1280x960x24"), 91, 30000);
    ASSERT_TRUE(run.started);
    const QString& out = run.out;
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    const QStringList expected = {
        "01-start", "02a-text-chooser", "02b-wizard-texts-chosen", "03a-wordlist-frequency", "03b-wordlist-alphabetical",
        "03c-statistics", "03d-filenames", "03e-notes", "04a-settings-language", "04b-wordlist-after-settings",
        "05-index", "06a-relationship-choices-tab1", "06b-relationships", "07-word-cloud"};
    for (const QString& name : expected) {
        const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
        QImage image(file);
        ASSERT_FALSE(image.isNull()) << file.toStdString() << "\n" << out.toStdString();
        EXPECT_GE(image.width(), 200) << name.toStdString();
        EXPECT_GE(image.height(), 120) << name.toStdString();
        // A picture of something: more than one colour in it.
        const QRgb first = image.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; y += 7)
            for (int x = 0; x < image.width() && !varied; x += 7)
                varied = image.pixel(x, y) != first;
        EXPECT_TRUE(varied) << name.toStdString();
    }
}

} // namespace
