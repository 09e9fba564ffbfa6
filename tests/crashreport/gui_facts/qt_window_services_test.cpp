#include "crashreport/gui_facts/qt_window_services.h"

#include "crashreport/gui_facts/qt_gui_facts.h"

#include <gtest/gtest.h>

#include "wait_for_events.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QWidget>
#include <QWindow>

#include <unistd.h>

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
