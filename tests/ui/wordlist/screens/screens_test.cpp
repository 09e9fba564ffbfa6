// The screenshot walk on a real X screen: Xvfb is started for it on a
// free display, the walk (screens_walk.cpp) runs the window through a new
// user's steps and saves a picture of each, which must be a readable
// picture of some size and not one colour. The pictures stay as artefacts
// in $CV_SCREENSHOT_DIR, else in "corvantis-tests-UID/screenshots" in the
// temporary folder (never in the sources). Skipped where Xvfb is not installed.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QThread>

#include "artefact_folder.h"
#include "xvfb_run.h"

namespace {

TEST(Screenshots, EachStepOfANewUserIsPicturedOnARealScreen)
{
    if (screens_test::XvfbProgram().isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QString why;
    const QString dir = screens_test::ArtefactFolderFor(QStringLiteral("screenshots"), QString(), &why);
    ASSERT_FALSE(dir.isEmpty()) << why.toStdString();
    const screens_test::TArtefactFolder folder(dir, std::chrono::seconds(120));
    ASSERT_TRUE(folder.Ready()) << folder.Error().toStdString();

    const screens_test::TWalkRun run =
        screens_test::RunOnXvfb(QStringLiteral(CV_SCREENS_WALK), dir, QStringLiteral("1280x960x24"), 30000);
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

// A linguist's day (day_walk.cpp) under a window manager: real clicks and
// keys through the X server, a picture per step, each step's checks made by
// the walk itself (its exit code). Skipped where the X server, the window
// manager or the X tools are not installed (scripts/setup.sh installs them).
TEST(LinguistsDay, EveryStepIsReachedWithTheMouseAndKeysAndShowsWhatItShould)
{
    QStringList missing;
    for (const char* program : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            missing << QString::fromLatin1(program);
    if (!missing.isEmpty())
        GTEST_SKIP() << "not installed: " << missing.join(u' ').toStdString();
    // Beside the new user's pictures, not among them: that walk empties its folder.
    QString why;
    const QString dir = screens_test::ArtefactFolderFor(QStringLiteral("day"), QStringLiteral("-day"), &why);
    ASSERT_FALSE(dir.isEmpty()) << why.toStdString();
    // Another run's day takes a minute or two.
    const screens_test::TArtefactFolder folder(dir, std::chrono::seconds(240));
    ASSERT_TRUE(folder.Ready()) << folder.Error().toStdString();
    for (const char* sub : {"tmp", "home", "config"})
        ASSERT_TRUE(QDir().mkpath(QDir(dir).filePath(QString::fromLatin1(sub))));

    const screens_test::TXvfbServer server(QStringLiteral("1280x960x24"));
    ASSERT_TRUE(server.Running());
    const QString screen = server.Name();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), screen);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // Qt's own file dialogs, not a desktop's.
    for (const char* v : {"QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        env.remove(QString::fromLatin1(v));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), QDir(dir).filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(dir).filePath(QStringLiteral("config")));
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.start(QStandardPaths::findExecutable(QStringLiteral("openbox")), {});
    ASSERT_TRUE(manager.waitForStarted(5000));
    // The window manager is up once it names itself on the root window.
    bool managed = false;
    for (int i = 0; i < 100 && !managed; ++i) {
        QProcess xprop;
        xprop.setProcessEnvironment(env);
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        xprop.waitForFinished(2000);
        managed = xprop.readAllStandardOutput().contains("window id");
        if (!managed)
            QThread::msleep(50);
    }

    env.insert(QStringLiteral("CV_SCREENSHOT_DIR"), dir);
    env.insert(QStringLiteral("CV_WORDLIST_PROGRAM"), QStringLiteral(CV_WORDLIST_PROGRAM));
    env.insert(QStringLiteral("CV_SETTINGS_BUFFER"), QDir(dir).filePath(QStringLiteral("suite.buf")));
    env.insert(QStringLiteral("CV_MUTEX_NAME"), QStringLiteral("cv-day-%1").arg(QCoreApplication::applicationPid()));
    env.insert(QStringLiteral("CV_MESSAGE_SOCKET_DIR"), dir);
    env.insert(QStringLiteral("TMPDIR"), QDir(dir).filePath(QStringLiteral("tmp")));
    QProcess walk;
    walk.setProcessEnvironment(env);
    walk.start(QStringLiteral(CV_DAY_WALK), {});
    const bool finished = walk.waitForFinished(300000);
    if (!finished) {
        walk.kill();
        walk.waitForFinished(5000);
    }
    const QString out = QString::fromLocal8Bit(walk.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(walk.readAllStandardError());
    manager.terminate();
    manager.waitForFinished(5000);
    ASSERT_TRUE(managed) << "the window manager did not start";
    ASSERT_TRUE(finished) << "the walk took more than five minutes\n" << out.toStdString() << err.toStdString();
    EXPECT_EQ(walk.exitCode(), 0) << err.toStdString() << "\n" << out.toStdString();

    const QStringList expected = {
        "01-start", "02-compute-before-any-list", "03a-choose-texts", "03b-texts-chosen", "03c-wizard", "04-word-list",
        "05-compute-menu", "05b-customise", "06-save", "06b-delete-and-zap", "06c-save-and-reopen", "07-close-and-new",
        "08a-index-name", "08b-index", "09-clusters-choices", "09-clusters", "09-clusters-name", "09b-clusters-again-name",
        "09c-clusters-a-third-time-name", "10-relationships", "11a-unsaved-question", "11b-one-text-list",
        "12-key-words-save-first", "12-key-words", "13-key-word-plot", "14-key-word-links", "15-cloud",
        "16-consistency", "16-consistency-save", "17-moving-window-too-long", "17-moving-window", "18-print-preview",
        "19-export", "20-help", "21-second-window", "21b-about", "22-close-with-unsaved-data", "23-restart",
        "24-reference-kept"};
    for (const QString& name : expected) {
        const QImage image(QDir(dir).filePath(name + QStringLiteral(".png")));
        EXPECT_FALSE(image.isNull()) << name.toStdString() << ": no picture";
    }
}

} // namespace
