#include "crashreport/gui_facts/qt_window_services.h"

#include "crashreport/gui_facts/qt_gui_facts.h"

#include <gtest/gtest.h>

#include "support/xvfb_server.h"
#include "wait_for_events.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QProcess>
#include <QWidget>
#include <QWindow>

#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace cv;

using cvtest::WaitFor;

TEST(QtWindowServices, TheReportFindsTheMainWindowItsRectangleAndTheClipboard)
{
    TQtGuiFactsRegistration registration;
    ASSERT_EQ(RegisteredWindowServices().get(), &registration.WindowServices());
    const uint32_t self = uint32_t(getpid());
    QWidget main;
    main.setGeometry(40, 50, 300, 200);
    main.show();
    QWidget tool(nullptr, Qt::Tool);
    tool.setGeometry(900, 700, 100, 100);
    tool.show();
    QDialog dialog(&main);
    dialog.setGeometry(60, 60, 120, 80);
    dialog.show();
    const auto mainHandle = reinterpret_cast<TWindowHandle>(main.windowHandle());
    ASSERT_TRUE(WaitFor([&] { return FindProcessMainWindow(self) == mainHandle && IsOwnProcessWindow(reinterpret_cast<TWindowHandle>(dialog.windowHandle())); }));
    const TWindowRect all = GetProcessWindowsRect(self);
    EXPECT_LE(all.Left, main.frameGeometry().left());
    EXPECT_GE(all.Right, tool.frameGeometry().right());
    EXPECT_GE(all.Bottom, tool.frameGeometry().bottom());

    std::thread reporter([] { EXPECT_TRUE(CopyTextToClipboard("copied from the report")); });
    reporter.join();
    EXPECT_TRUE(WaitFor([] { return QGuiApplication::clipboard()->text() == QStringLiteral("copied from the report"); }));

    main.hide();
    dialog.hide();
    EXPECT_TRUE(WaitFor([&] { return FindProcessMainWindow(self) == 0; })) << "hidden windows are no main window";
}

// Whether a copy on the clipboard outlives the program: on X11 only when a
// clipboard manager owns CLIPBOARD_MANAGER (it takes the clipboard over at
// exit); elsewhere (here: no X server) it goes with the process.
TEST(QtWindowServices, TheClipboardOutlivesTheProgramOnlyWithAClipboardManager)
{
    if (!qEnvironmentVariableIsEmpty("CV_CLIPBOARD_PROBE")) {
        // The probe, run by the test below on an X screen.
        TQtGuiFactsRegistration registration;
        std::printf("outlives %d\n", int(ClipboardOutlivesProcess()));
        return;
    }
    TQtGuiFactsRegistration registration;
    EXPECT_FALSE(ClipboardOutlivesProcess()) << QGuiApplication::platformName().toStdString();

    if (test_support::XvfbProgram().isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    test_support::TXvfbServer server;
    ASSERT_TRUE(server.Running()) << server.Errors().toStdString();
    const QByteArray name = server.Name().toLatin1();
    const auto probe = [&] {
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CV_CLIPBOARD_PROBE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(name));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        run.setProcessEnvironment(environment);
        run.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--gtest_filter=QtWindowServices.TheClipboardOutlivesTheProgramOnlyWithAClipboardManager")});
        if (!run.waitForFinished(20000))
            run.kill();
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        return out.mid(out.indexOf(QStringLiteral("outlives ")), 10).trimmed();
    };
    EXPECT_EQ(probe(), QStringLiteral("outlives 0")) << "no clipboard manager on the screen";

    // A clipboard manager: a client owning CLIPBOARD_MANAGER.
    xcb_connection_t* manager = xcb_connect(name.constData(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(manager), 0);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(manager)).data;
    const xcb_window_t window = xcb_generate_id(manager);
    xcb_create_window(manager, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      screen->root_visual, 0, nullptr);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(manager, xcb_intern_atom(manager, 0, 17, "CLIPBOARD_MANAGER"), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_set_selection_owner(manager, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    xcb_flush(manager);
    EXPECT_EQ(probe(), QStringLiteral("outlives 1")) << "a clipboard manager takes the copy over";
    xcb_disconnect(manager);
}
