#include <gtest/gtest.h>

#include <QPainter>
#include <QScreen>

#include "crashreport/dialogs/screenshot.h"
#include "dialogs_testutil.h"
#include "support/png_oracle.h"

namespace cv {
namespace {

// A window painted in two colours, left half and right half.
class TwoColourWindow final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, width() / 2, height()), QColor(200, 30, 40));
        painter.fillRect(QRect(width() / 2, 0, width() - width() / 2, height()), QColor(20, 90, 200));
    }
};

class ScreenshotTest : public cvtest::DialogTest {
protected:
    void TearDown() override
    {
        FreeScreenshot();
        DialogTest::TearDown();
    }
};

TEST_F(ScreenshotTest, TheFocusIsFramedTwiceInRedAndTheArrowDrawnAtThePointer)
{
    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(QColor(128, 128, 128));
    DrawFocusAndCursor(picture, QPoint(10, 10), QRect(20, 20, 30, 20), QPoint(60, 50));
    const QColor red(255, 0, 0), grey(128, 128, 128);
    EXPECT_EQ(picture.pixelColor(10, 10), red);
    EXPECT_EQ(picture.pixelColor(11, 11), red);
    EXPECT_EQ(picture.pixelColor(12, 12), grey);
    EXPECT_EQ(picture.pixelColor(39, 29), red);
    EXPECT_EQ(picture.pixelColor(38, 20), red);
    EXPECT_EQ(picture.pixelColor(40, 30), grey);
    // The arrow's tip at the pointer, white inside a black outline.
    EXPECT_EQ(picture.pixelColor(50, 40), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(52, 50), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(49, 40), grey);
}

TEST_F(ScreenshotTest, TheAreaIsTheActiveWindowOrTheScreensOfTheProgramsWindows)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(ScreenshotArea(*options), screen->virtualGeometry()); // no window: the desktop

    TwoColourWindow window;
    window.setGeometry(40, 30, 101, 60);
    cvtest::ShowAndPaint(window);
    EXPECT_EQ(ScreenshotArea(*options), screen->geometry());

    options->SetCommonSendOptions({sndUseOnlyActiveWindow});
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(ScreenshotArea(*options), window.frameGeometry());
}

TEST_F(ScreenshotTest, TheCaptureIsWrittenAsAPngOfItsOwnColours)
{
    // The window's frame 101 pixels wide: rows of 101 indices in a 104-byte bitmap row.
    TwoColourWindow window;
    window.setGeometry(40, 30, 101, 60);
    cvtest::ShowAndPaint(window);
    window.resize(101 - (window.frameGeometry().width() - window.width()),
                  60 - (window.frameGeometry().height() - window.height()));
    cvtest::ShowAndPaint(window);
    QApplication::setActiveWindow(&window);
    options->SetCommonSendOptions({sndSendScreenshot, sndUseOnlyActiveWindow});
    const QRect frame = window.frameGeometry();
    RememberScreenshotFocus(QRect(frame.topLeft() + QPoint(60, 10), QSize(30, 20)), frame.topLeft() + QPoint(5, 5));
    CaptureScreenshot(*options);
    const QImage& picture = ScreenshotImage();
    ASSERT_EQ(picture.size(), frame.size());
    EXPECT_EQ(picture.pixelColor(frame.width() / 4, frame.height() - 5), QColor(200, 30, 40));
    EXPECT_EQ(picture.pixelColor(frame.width() - 3, frame.height() - 5), QColor(20, 90, 200));
    EXPECT_EQ(picture.pixelColor(60, 10), QColor(255, 0, 0));

    const std::string name = dir.file(QStringLiteral("Screenshot.png")).toStdString();
    ASSERT_TRUE(SaveScreenshotToPNG(name));
    const cvtest::TPngOracleResult oracle = cvtest::CheckPngWithOracles(QString::fromStdString(name));
    if (!oracle.available)
        GTEST_SKIP() << oracle.message.toStdString();
    ASSERT_TRUE(oracle.pngcheckOk) << oracle.message.toStdString();
    ASSERT_EQ(oracle.width, 101);
    ASSERT_EQ(oracle.height, 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 101; ++x)
            ASSERT_EQ(oracle.pixels[std::size_t(y * 101 + x)], picture.pixel(x, y) & 0xFFFFFFu) << x << "," << y;

    FreeScreenshot();
    EXPECT_TRUE(ScreenshotImage().isNull());
    EXPECT_FALSE(SaveScreenshotToPNG(dir.file(QStringLiteral("none.png")).toStdString()));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("none.png"))));
}

} // namespace
} // namespace cv
