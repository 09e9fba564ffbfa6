#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/dialogs/dialog_toolkit.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

// Records the pieces it is asked to measure.
class RecordingMeasurer final : public TTextMeasurer {
public:
    TTextExtent Extent(const QFont&, const QString& text) const override
    {
        pieces << text;
        return {int(text.size()) * 6, 13};
    }
    mutable QStringList pieces;
};

struct WrapCase {
    const char* text;
    int width;
    int height;
};

class WrappedHeightTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrappedHeightTest, EstimatesTheLinesOfAWrappedText)
{
    const cvtest::FixedMeasurer measurer;
    EXPECT_EQ(MeasureWrappedTextHeight(measurer, QFont(), QString::fromUtf8(GetParam().text), GetParam().width),
              GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WrappedHeightTest,
    ::testing::Values(
        WrapCase{"Hello world", 200, 13},
        // Ten pieces of 30 pixels in a room of 100: a new line at every fourth.
        WrapCase{"aaaa aaaa aaaa aaaa aaaa aaaa aaaa aaaa aaaa aaaa", 106, 52},
        // A piece of 246 pixels adds 246 div 100 lines, and the next piece,
        // on that running width, two more.
        WrapCase{"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx y", 106, 65},
        // Empty lines count as blank lines; LF alone breaks too.
        WrapCase{"a\r\n\r\nb", 200, 39}, WrapCase{"a\n\nb", 200, 39}, WrapCase{"", 200, 13},
        // A label narrower than the margin measures, and does not divide by zero.
        WrapCase{"ab", 3, 169}));

TEST(DialogToolkit, PiecesEndAfterTheirDelimiterAndKeepWholeCharacters)
{
    RecordingMeasurer measurer;
    MeasureWrappedTextHeight(measurer, QFont(), QString::fromUtf8("x-y [z] ça§b°c"), 500);
    EXPECT_EQ(measurer.pieces,
              (QStringList{"x-", "y ", "[", "z]", " ", QString::fromUtf8("ça§"), QString::fromUtf8("b°"), "c"}));
}

class CrashDialogTest : public cvtest::DialogTest {};

TEST_F(CrashDialogTest, SetUpGivesTheCaptionItsHeightAndKeepsTheClientArea)
{
    TCrashDialog plain(*options, measurer, QSize(100, 100));
    EXPECT_EQ(plain.OuterSize(), QSize(156, 162 + 6 + 17)); // the template, with a small caption
    plain.SetupDialogWindow(false, false, QStringLiteral("Caption"));
    EXPECT_FALSE(plain.OwnCaption());
    EXPECT_EQ(plain.CaptionHeight(), 22);
    EXPECT_EQ(plain.OuterSize().height(), 22 + 185 - 18);

    options->SetExceptionDialogOptions({edoUseCrashboxLookAndFeel, edoShowInTopMostMode});
    TCrashDialog own(*options, measurer, QSize(100, 100));
    own.SetupDialogWindow(false, false, QStringLiteral("Caption"));
    EXPECT_TRUE(own.OwnCaption());
    EXPECT_TRUE(own.TopMost());
    EXPECT_TRUE(own.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(own.CaptionHeight(), 17);
    EXPECT_EQ(own.size(), own.OuterSize()); // our caption and frame are part of the window
    EXPECT_EQ(own.OuterSize().height(), 17 + 185 - 18);

    // The classic dialog always has the desktop's normal caption.
    TCrashDialog classic(*options, measurer, QSize(100, 100));
    classic.SetupDialogWindow(false, true, QStringLiteral("Caption"));
    EXPECT_FALSE(classic.OwnCaption());
    EXPECT_EQ(classic.CaptionHeight(), 22);
}

TEST_F(CrashDialogTest, CentringRoundsHalvesTowardZero)
{
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    dialog.SetOuterSize(QSize(300, 201));
    dialog.CenterWindowInRect(QRect(10, 20, 1001, 500));
    EXPECT_EQ(dialog.OuterGeometry().topLeft(), QPoint(10 + 350, 20 + 149));
    dialog.CenterWindowInRect(QRect(0, 0, 100, 100));
    EXPECT_EQ(dialog.OuterGeometry().topLeft(), QPoint(-100, -50));
}

TEST_F(CrashDialogTest, AutoCloseCountsSecondsWithoutActivity)
{
    options->SetAutoCloseDialogSecs(3);
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    auto* edit = new QLineEdit(dialog.Client());
    cvtest::ShowAndPaint(dialog);
    dialog.StartAutoCloseTimer();
    EXPECT_TRUE(dialog.AutoCloseRunning());
    dialog.AutoCloseTick();
    dialog.AutoCloseTick();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(edit, &key);
    EXPECT_EQ(dialog.AutoCloseCounter(), 0);
    dialog.AutoCloseTick();
    dialog.AutoCloseTick();
    EXPECT_TRUE(dialog.isVisible());
    dialog.AutoCloseTick();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(CrashDialogTest, WithoutAutoCloseSecondsNoTimerRuns)
{
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    dialog.StartAutoCloseTimer();
    EXPECT_FALSE(dialog.AutoCloseRunning());
}

TEST_F(CrashDialogTest, TheAutoCloseTimerClosesADialogLeftAlone)
{
    options->SetAutoCloseDialogSecs(1);
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    cvtest::ShowAndPaint(dialog);
    dialog.StartAutoCloseTimer();
    QElapsedTimer clock;
    clock.start();
    while (dialog.isVisible() && clock.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_GE(clock.elapsed(), 900);
}

TEST_F(CrashDialogTest, PaintingMarksTheDialogAsShown)
{
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    EXPECT_FALSE(ExceptionDialogState().DialogPainted);
    cvtest::ShowAndPaint(dialog);
    EXPECT_TRUE(ExceptionDialogState().DialogPainted);
}

TEST_F(CrashDialogTest, KeepInFrontBringsTheDialogBackOnlyBeforeEarlierWindows)
{
    QWidget earlier;
    cvtest::ShowAndPaint(earlier);
    TCrashDialog dialog(*options, measurer, QSize(100, 100));
    cvtest::ShowAndPaint(dialog);
    dialog.StartKeepForeground();
    QWidget later;
    cvtest::ShowAndPaint(later);

    QApplication::setActiveWindow(&later);
    dialog.KeepForegroundTick();
    EXPECT_EQ(QApplication::activeWindow(), &later);

    QApplication::setActiveWindow(&earlier);
    dialog.KeepForegroundTick();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &dialog);
}

TEST(DialogToolkit, TheCaptionGradientDarkensInBandsOfTwoPixels)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        PaintCaptionGradient(painter, image.rect(), QColor(130, 155, 194));
    }
    EXPECT_EQ(image.pixelColor(5, 0), QColor(130, 155, 194));
    EXPECT_EQ(image.pixelColor(5, 19), QColor(130, 155, 194));
    EXPECT_EQ(image.pixelColor(5, 2), QColor(125, 149, 186)); // x 0.96, rounded
    EXPECT_EQ(image.pixelColor(5, 10), QColor(115, 137, 172)); // the fourth band covers the middle
}

TEST(DialogToolkit, ButtonCaptionsLoseTheirMnemonicMark)
{
    EXPECT_EQ(ButtonCaptionText("&Send Error Report"), QStringLiteral("Send Error Report"));
    EXPECT_EQ(EditText("a\r\nb"), QStringLiteral("a\nb"));
    EXPECT_EQ(ReportText(QStringLiteral("a\nb")), "a\r\nb");
}

} // namespace
} // namespace cv
