// The main of every test program: a Qt application object first (event loop,
// collation, file engines need it), then the GoogleTest run. Test folders that
// show windows are built with CV_TEST_GUI and get a QApplication instead.
#include <gtest/gtest.h>

#include "support/test_support.h"

#ifdef CV_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Before anything reads them: the suite's folder, settings buffer,
    // mutex, sockets and controller files of this run are its own, so the
    // tests neither see nor disturb the tools the user has open.
    const cvtest::OwnSuiteFolder own;
    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
