#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>

#include "crashreport/core/support/profile_file.h"
#include "crashreport/dialogs/detailed_dialog.h"
#include "dialogs_testutil.h"
#include "gui/desktop_services.h"

namespace cv {
namespace {

struct AreaCase {
    bool send, screenshot, copy, link;
    int height;
};

class CheckBoxAreaTest : public ::testing::TestWithParam<AreaCase> {};

TEST_P(CheckBoxAreaTest, TwoRowsOnlyWhenBothPartsOfARowAreOffered)
{
    const AreaCase& c = GetParam();
    EXPECT_EQ(CheckBoxAreaHeight(c.send, c.screenshot, c.copy, c.link), c.height);
}

INSTANTIATE_TEST_SUITE_P(Offers, CheckBoxAreaTest,
                         ::testing::Values(AreaCase{false, false, false, false, 0}, AreaCase{true, false, false, false, 20},
                                           AreaCase{true, true, false, false, 34}, AreaCase{false, false, true, true, 34},
                                           AreaCase{false, false, true, false, 20}, AreaCase{false, false, false, true, 20},
                                           AreaCase{true, false, false, true, 20}));

TEST(CompactLayout, ShortTextsGiveTheSmallestWindowAndLongOnesWrapAt640)
{
    const cvtest::FixedMeasurer measurer;
    const QString boxes = QStringLiteral("&Send this error via Internet    &Copy to Clipboard");
    // 222 and 306 pixels: the widest line plus 16, plus the frame and margins.
    TCompactLayout layout = CompactLayout(measurer, QFont(), QStringLiteral("Access violation at address 00401234."),
                                          boxes, 22);
    EXPECT_EQ(layout.WindowWidth, 388);
    EXPECT_EQ(layout.LabelWidth, 322);
    EXPECT_EQ(layout.TextHeight, 26);
    EXPECT_EQ(layout.WindowHeight, 6 + 88 + 22);

    layout = CompactLayout(measurer, QFont(), QStringLiteral("short"), QStringLiteral("x"), 17);
    EXPECT_EQ(layout.WindowWidth, 340);

    // A line of 1,200 pixels: two more lines, the window at 640.
    layout = CompactLayout(measurer, QFont(), QString(200, QLatin1Char('x')), boxes, 22);
    EXPECT_EQ(layout.WindowWidth, 640);
    EXPECT_EQ(layout.TextHeight, 52);
    EXPECT_EQ(layout.WindowHeight, 6 + (52 - 39) + 88 + 22);
}

class DetailedDialogTest : public cvtest::DialogTest {
protected:
    void OfferEverything()
    {
        options->SetEMailSendMode(esmSMTPClient);
        options->SetCommonSendOptions({sndSendScreenshot});
        options->SetExceptionDialogOptions({edoShowSendErrorReportOption, edoShowAttachScreenshotOption,
                                            edoShowCopyToClipOption, edoShowDetailsButton, edoSendErrorReportChecked,
                                            edoAttachScreenshotChecked});
        options->SetSupportURL("http://127.0.0.1:9/support");
        ExceptionDialogState().ScreenshotChecked = true;
    }
};

TEST_F(DetailedDialogTest, StoredCoordinatesAreCentredWhenMissingOrOutside)
{
    const QRect area(0, 0, 1280, 1024);
    TDetailedWindow w = LoadDetailedWindowCoordinates(area, 20);
    EXPECT_EQ(QRect(w.Left, w.Top, w.Width, w.Height), QRect(267, 268, 745, 468));
    EXPECT_EQ(w.ShowState, 1);

    IniWriteString("Crashbox.ini", "Coordinates", "Left", "-50");
    IniWriteString("Crashbox.ini", "Coordinates", "Width", "wide");
    IniWriteString("Crashbox.ini", "Coordinates", "WindowsState", "3");
    w = LoadDetailedWindowCoordinates(area, 20);
    EXPECT_EQ(QRect(w.Left, w.Top, w.Width, w.Height), QRect(267, 278, 745, 468));
    EXPECT_EQ(w.ShowState, 3);

    IniWriteString("Crashbox.ini", "Coordinates", "Left", "10");
    IniWriteString("Crashbox.ini", "Coordinates", "Top", "20");
    IniWriteString("Crashbox.ini", "Coordinates", "Width", "600");
    IniWriteString("Crashbox.ini", "Coordinates", "Height", "400");
    w = LoadDetailedWindowCoordinates(area, 20);
    EXPECT_EQ(QRect(w.Left, w.Top, w.Width, w.Height), QRect(10, 20, 600, 400));
}

TEST_F(DetailedDialogTest, AMaximisedWindowSavesOnlyItsState)
{
    TDetailedWindow w{10, 20, 600, 434, 3, true};
    IniWriteString("Crashbox.ini", "Coordinates", "Width", "700");
    SaveDetailedWindowCoordinates(w, 34);
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Width", ""), "700");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "WindowsState", ""), "3");
    w.ShowState = 1;
    SaveDetailedWindowCoordinates(w, 34);
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Width", ""), "600");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Height", ""), "400");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Top", ""), "20");
    w.Remembered = false;
    w.Width = 1;
    SaveDetailedWindowCoordinates(w, 34);
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Width", ""), "600");
}

TEST_F(DetailedDialogTest, CompactItShowsTheMessageSizedToIt)
{
    TDetailedDialog dialog(host, measurer);
    EXPECT_FALSE(dialog.DetailsShown());
    EXPECT_EQ(dialog.CheckBoxArea(), 0);
    EXPECT_EQ(dialog.OuterSize(), QSize(388, 116));
    EXPECT_EQ(dialog.MessageLabel()->text(), QString::fromStdString(host.ErrorMessage));
    EXPECT_EQ(dialog.MessageLabel()->geometry(), QRect(48, 8, 322, 26));
    EXPECT_TRUE(dialog.TabArea()->isHidden());
    EXPECT_EQ(dialog.DetailsButton()->text(), QStringLiteral("&Details >>"));
    // Buttons 75 wide, 32 pixels above the bottom; OK in the middle.
    const QSize client = dialog.Client()->size();
    EXPECT_EQ(dialog.OKButton()->geometry(), QRect((client.width() - 75) / 2, client.height() - 32, 75, 25));
    EXPECT_EQ(dialog.DetailsButton()->geometry().left(), client.width() - 80);
    for (QWidget* hidden : std::initializer_list<QWidget*>{dialog.SendCheck(), dialog.ScreenshotCheck(), dialog.CopyCheck(),
                                                           dialog.CustomButton()})
        EXPECT_TRUE(hidden->isHidden());
}

TEST_F(DetailedDialogTest, TheCheckBoxesDecideWhatTheHandlerDoes)
{
    OfferEverything();
    TDetailedDialog dialog(host, measurer);
    EXPECT_EQ(dialog.CheckBoxArea(), 34);
    EXPECT_TRUE(dialog.SendCheck()->isChecked());
    EXPECT_TRUE(dialog.ScreenshotCheck()->isChecked());
    EXPECT_FALSE(dialog.CopyCheck()->isChecked());
    const QSize client = dialog.Client()->size();
    const int y = client.height() - 32 - 34;
    EXPECT_EQ(dialog.SendCheck()->geometry(), QRect(4, y + 34, (client.width() - 8) / 2, 16));
    EXPECT_EQ(dialog.ScreenshotCheck()->geometry().topLeft(), QPoint(23, y + 50));
    EXPECT_EQ(dialog.LinkRect().topLeft(), QPoint(client.width() - 4 - 22 * 7, y + 50)); // below the copy box

    dialog.SendCheck()->setChecked(false);
    EXPECT_FALSE(dialog.ScreenshotCheck()->isEnabled());
    dialog.ScreenshotCheck()->setChecked(false);
    dialog.CopyCheck()->setChecked(true);
    dialog.OKClicked();
    const TExceptionDialogState& state = ExceptionDialogState();
    EXPECT_FALSE(state.SendChecked);
    EXPECT_FALSE(state.ScreenshotChecked);
    EXPECT_TRUE(state.CopyChecked);
    EXPECT_FALSE(state.TerminateRequested);
    EXPECT_FALSE(options->ExceptionDialogOptions().Contains(edoSendErrorReportChecked));
    EXPECT_FALSE(options->ExceptionDialogOptions().Contains(edoAttachScreenshotChecked));
}

TEST_F(DetailedDialogTest, CancellingClearsSendAndCopyWhateverTheBoxesShow)
{
    OfferEverything();
    TDetailedDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    dialog.CopyCheck()->setChecked(true);
    dialog.close(); // the close box
    const TExceptionDialogState& state = ExceptionDialogState();
    EXPECT_TRUE(state.DialogCancelled);
    EXPECT_FALSE(state.SendChecked);
    EXPECT_FALSE(state.CopyChecked);
    EXPECT_TRUE(state.ScreenshotChecked);
}

TEST_F(DetailedDialogTest, AHiddenSendBoxStillDecides)
{
    options->SetExceptionDialogOptions({edoSendErrorReportChecked});
    options->SetWebSendMode(wsmHTTP);
    {
        TDetailedDialog dialog(host, measurer);
        EXPECT_TRUE(dialog.SendCheck()->isHidden());
        dialog.OKClicked();
        EXPECT_TRUE(ExceptionDialogState().SendChecked);
    }
    options->SetExceptionDialogOptions({});
    TDetailedDialog dialog(host, measurer);
    dialog.OKClicked();
    EXPECT_FALSE(ExceptionDialogState().SendChecked);
}

TEST_F(DetailedDialogTest, TerminateAndCustomButtonsShareTheRowWithOk)
{
    options->SetErrorsNumberToShowTerminateBtn(0);
    options->SetTerminateBtnOperation(tbTerminate);
    options->SetExceptionDialogOptions({edoShowCustomButton});
    host.CustomButtonClick = [](bool& close) { close = true; };
    TDetailedDialog dialog(host, measurer);
    EXPECT_FALSE(dialog.TerminateButton()->isHidden());
    EXPECT_EQ(dialog.TerminateButton()->text(), QStringLiteral("&Terminate"));
    EXPECT_EQ(dialog.TerminateButton()->geometry().left(), 5);
    EXPECT_EQ(dialog.CustomButton()->geometry().left(), 75 + 13);
    // OK would stand at (382 - 75) / 2 = 153, within the custom button: it
    // moves to the custom button's right.
    EXPECT_EQ(dialog.Client()->width(), 382);
    EXPECT_EQ(dialog.OKButton()->geometry().left(), 88 + 75 + 8);
    dialog.TerminateClicked();
    EXPECT_TRUE(ExceptionDialogState().TerminateRequested);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
}

TEST_F(DetailedDialogTest, DetailsSwitchTheModeAndKeepTheWindowInTheIniFile)
{
    OfferEverything();
    options->SetLogOptions({loSaveAssemblerAndCPUSections});
    options->SetForegroundTab(ftCPU);
    TDetailedDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    ASSERT_EQ(dialog.Tabs()->count(), 4);
    EXPECT_EQ(dialog.PageAtTab(2), tpAssembler);
    EXPECT_EQ(dialog.PageAtTab(3), tpCPU);
    EXPECT_EQ(dialog.CurrentPage()->Page(), tpCPU);
    EXPECT_EQ(dialog.Tabs()->currentIndex(), 3);

    dialog.DetailsClicked();
    EXPECT_TRUE(dialog.DetailsShown());
    EXPECT_FALSE(dialog.TabArea()->isHidden());
    EXPECT_EQ(dialog.DetailsButton()->text(), QStringLiteral("<< &Details"));
    EXPECT_EQ(dialog.MessageLabel()->text().left(20), QStringLiteral("An error has occurre"));
    EXPECT_EQ(dialog.OuterSize(), QSize(745, 468 + 34));
    // The tab area grows with the window.
    EXPECT_EQ(dialog.TabArea()->geometry().topLeft(), QPoint(4, 52));
    EXPECT_EQ(dialog.TabArea()->width(), 458 + dialog.Client()->width() - 466);

    dialog.SetOuterGeometry(QRect(30, 40, 800, 500));
    dialog.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog.CurrentPage()->Page(), tpCallStack);
    dialog.DetailsClicked();
    EXPECT_FALSE(dialog.DetailsShown());
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Width", ""), "800");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Height", ""), "466");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Left", ""), "30");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "WindowsState", ""), "1");
}

TEST_F(DetailedDialogTest, AForegroundPageWithoutItsSectionsOpensGeneral)
{
    options->SetForegroundTab(ftCPU);
    options->SetExceptionDialogOptions({edoShowInDetailedMode, edoShowDetailsButton});
    TDetailedDialog dialog(host, measurer);
    EXPECT_TRUE(dialog.DetailsShown());
    EXPECT_EQ(dialog.Tabs()->count(), 2);
    EXPECT_EQ(dialog.CurrentPage()->Page(), tpGeneral);
    EXPECT_FALSE(dialog.DetailsButton()->isHidden());
}

TEST_F(DetailedDialogTest, ReachedFromTheClassicDialogItStartsDetailedWithoutDetailsButton)
{
    options->SetExceptionDialogOptions({edoShowDetailsButton});
    options->SetLogOptions({loSaveModulesAndProcessesSections});
    ExceptionDialogState().DialogShownAgain = true;
    TDetailedDialog dialog(host, measurer);
    EXPECT_TRUE(dialog.DetailsShown());
    EXPECT_TRUE(dialog.DetailsButton()->isHidden());
    EXPECT_EQ(dialog.Tabs()->count(), 4);
    dialog.Tabs()->setCurrentIndex(2);
    EXPECT_EQ(dialog.CurrentPage()->Page(), tpModules);
    dialog.OKClicked();
    // Closing in detailed mode keeps the window and the page's columns.
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "Width", ""), "745");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "ColMod5", ""), "712");
}

TEST_F(DetailedDialogTest, TheSupportLinkOpensThePageAndLeavesTopMost)
{
    OfferEverything();
    options->SetExceptionDialogOptions({edoShowInTopMostMode});
    TScriptedDesktop desktop;
    TDesktopServiceGuard guard(&desktop);
    TDetailedDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    EXPECT_TRUE(dialog.TopMost());
    dialog.LeftButtonUp(dialog.LinkRect().center());
    ASSERT_EQ(desktop.Opened().size(), 1u);
    EXPECT_EQ(desktop.Opened()[0], QUrl(QStringLiteral("http://127.0.0.1:9/support")));
    EXPECT_FALSE(dialog.TopMost());
}

} // namespace
} // namespace cv
