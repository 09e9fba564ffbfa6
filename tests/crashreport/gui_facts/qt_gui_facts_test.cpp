#include "crashreport/gui_facts/qt_gui_facts.h"

#include <gtest/gtest.h>

#include "wait_for_events.h"

#include <QApplication>
#include <QWidget>

#include <thread>

#include "crashreport/core/capture/system_facts.h"

using namespace cv;

using cvtest::WaitFor;

TEST(QtGuiFacts, TheReportSeesTheScreenAndTheActiveWindowWhileRegistered)
{
    const TLocalSystemFacts system;
    EXPECT_FALSE(system.Display()) << "no adapter yet";
    {
        TQtGuiFactsRegistration registration;
        ASSERT_TRUE(system.Display());
        EXPECT_GT(system.Display()->Width, 0);
        EXPECT_GT(system.Display()->DotsPerInch, 0);
        EXPECT_GT(system.Display()->BitsPerPixel, 0);

        QWidget window;
        window.setWindowTitle(QStringLiteral("Word list - corpus"));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(WaitFor([&] { return system.ActiveWindow()->Text == "Word list - corpus"; }))
            << system.ActiveWindow()->ClassName << " " << system.ActiveWindow()->Text;
        EXPECT_EQ(system.ActiveWindow()->ClassName, "QWidget");

        // A new title is seen at once, and from another thread.
        window.setWindowTitle(QStringLiteral("Word list - sorted"));
        std::string seen;
        std::thread reader([&] { seen = system.ActiveWindow()->Text; });
        reader.join();
        EXPECT_EQ(seen, "Word list - sorted");

        // The printer is asked once the event loop runs; without a print system there is none.
        QApplication::processEvents();
        EXPECT_TRUE(system.DefaultPrinter().has_value());
    }
    EXPECT_FALSE(RegisteredGuiFacts()) << "the registration ended with its object";
    EXPECT_FALSE(system.ActiveWindow());
}
