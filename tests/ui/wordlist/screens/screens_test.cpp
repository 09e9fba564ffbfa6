// The screenshot walk on a real X screen: Xvfb is started for it on a
// free display, the walk (screens_walk.cpp) runs the window through a new
// user's steps and saves a picture of each, which must be a readable
// picture of some size and not one colour. The pictures stay as artefacts
// in $CV_SCREENSHOT_DIR, else in "corvantis-screenshots" in the temporary
// folder (never in the sources). Skipped where Xvfb is not installed.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace {

// A display number no X server uses now.
int FreeDisplay()
{
    for (int n = 91; n < 200; ++n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return n;
    return -1;
}

TEST(Screenshots, EachStepOfANewUserIsPicturedOnARealScreen)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QString dir = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir(QDir::tempPath()).filePath(QStringLiteral("corvantis-screenshots"));
    QDir(dir).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(dir));

    const int display = FreeDisplay();
    ASSERT_GT(display, 0);
    QProcess server;
    server.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1280x960x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 100 && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); ++i)
        QThread::msleep(20);

    QProcess walk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("CV_SCREENSHOT_DIR"), dir);
    env.insert(QStringLiteral("CV_SETTINGS_BUFFER"), QDir(dir).filePath(QStringLiteral("no-suite.buf")));
    env.insert(QStringLiteral("TMPDIR"), dir);
    walk.setProcessEnvironment(env);
    walk.start(QStringLiteral(CV_SCREENS_WALK), {});
    const bool finished = walk.waitForFinished(30000);
    const QString out = QString::fromLocal8Bit(walk.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(walk.readAllStandardError());
    server.terminate();
    server.waitForFinished(5000);
    ASSERT_TRUE(finished) << err.toStdString();
    EXPECT_EQ(walk.exitCode(), 0) << err.toStdString();

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
