#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "crashreport/core/support/profile_file.h"
#include "crashreport/dialogs/ms_classic_dialog.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

class MSClassicDialogTest : public cvtest::DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        host.Texts.General = "User:\r\n  3.3 Email : \r\n";
        host.Texts.Report = "Crashbox\r\n\r\nUser:\r\n  3.3 Email : \r\n  3.4 Company : C\r\n";
        host.Texts.ReportCopy = host.Texts.Report;
    }
    // A send method, the send offer, the link, the reproduce box and the restart box.
    void OfferEverything()
    {
        options->SetEMailSendMode(esmSMTPClient);
        options->SetExceptionDialogOptions({edoShowSendErrorReportOption, edoShowDetailsButton});
        options->SetLogOptions({loAppendReproduceText});
        options->SetErrorsNumberToShowTerminateBtn(0);
        ExceptionDialogState().SendChecked = true;
    }
};

TEST_F(MSClassicDialogTest, TheLayoutFollowsTheMeasuredTexts)
{
    OfferEverything();
    TMSClassicDialog dialog(host, measurer);
    EXPECT_EQ(dialog.ApologyLabel()->geometry(), QRect(8, 12, 356, 27));
    EXPECT_EQ(dialog.MessageLabel()->geometry(), QRect(8, 59, 397, 14));
    EXPECT_EQ(dialog.TerminateCheck()->geometry(), QRect(8, 82, 397, 14));
    EXPECT_EQ(dialog.TerminateCheck()->text(), QStringLiteral("Restart application."));
    EXPECT_EQ(dialog.PleaseLabel()->geometry().top(), 105);
    EXPECT_EQ(dialog.DescriptionLabel()->geometry(), QRect(8, 120, 397, 27));
    EXPECT_EQ(dialog.SeeDetailsLabel()->geometry(), QRect(8, 158, 264, 27));
    EXPECT_EQ(dialog.LinkRect(), QRect(272, 158, 66, 13));
    EXPECT_EQ(dialog.ReproduceLabel()->geometry().top(), 196);
    EXPECT_EQ(dialog.ReproduceEdit()->geometry(), QRect(8, 211, 397, 60));
    EXPECT_EQ(dialog.EmailEdit()->geometry(), QRect(164, 279, 241, 21));
    EXPECT_EQ(dialog.EmailLabel()->geometry().topLeft(), QPoint(8, 283));
    EXPECT_EQ(dialog.NoSendButton()->geometry(), QRect(325, 321, 80, 23));
    EXPECT_EQ(dialog.SendButton()->geometry(), QRect(195, 321, 122, 23));
    EXPECT_EQ(dialog.NoSendButton()->text(), QStringLiteral("&Don't Send"));
    EXPECT_EQ(dialog.OuterSize(), QSize(419, 380));
    EXPECT_FALSE(dialog.OwnCaption());
}

TEST_F(MSClassicDialogTest, WithoutASendMethodOnlyOkRemains)
{
    options->SetExceptionDialogOptions({edoShowSendErrorReportOption});
    TMSClassicDialog dialog(host, measurer);
    EXPECT_FALSE(ExceptionDialogState().SendOptionShown);
    for (QWidget* hidden : std::initializer_list<QWidget*>{dialog.PleaseLabel(), dialog.DescriptionLabel(), dialog.EmailEdit(),
                                                           dialog.EmailLabel(), dialog.SendButton(), dialog.TerminateCheck(),
                                                           dialog.SeeDetailsLabel(), dialog.ReproduceEdit()})
        EXPECT_TRUE(hidden->isHidden());
    EXPECT_FALSE(dialog.SendButton()->isEnabled());
    EXPECT_TRUE(dialog.NoSendButton()->isDefault());
    EXPECT_EQ(dialog.NoSendButton()->text(), QStringLiteral("&OK"));
    EXPECT_TRUE(dialog.LinkRect().isNull());
}

TEST_F(MSClassicDialogTest, TheMailClientAloneNeedsNoAddress)
{
    OfferEverything();
    options->SetEMailSendMode(esmEmailClient);
    TMSClassicDialog dialog(host, measurer);
    EXPECT_TRUE(dialog.EmailEdit()->isHidden());
    options->SetWebSendMode(wsmHTTP);
    TMSClassicDialog withWeb(host, measurer);
    EXPECT_FALSE(withWeb.EmailEdit()->isHidden());
}

TEST_F(MSClassicDialogTest, SendAndDontSendSetSendChecked)
{
    OfferEverything();
    {
        TMSClassicDialog dialog(host, measurer);
        cvtest::ShowAndPaint(dialog);
        dialog.NoSendClicked();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(ExceptionDialogState().SendChecked);
    }
    TMSClassicDialog dialog(host, measurer);
    ExceptionDialogState().DialogType = edtMSClassic;
    dialog.SendClicked();
    EXPECT_TRUE(ExceptionDialogState().SendChecked);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
}

TEST_F(MSClassicDialogTest, WithoutTheSendOfferOkLeavesTheReportToBeSent)
{
    options->SetWebSendMode(wsmHTTP);
    ExceptionDialogState().SendChecked = true;
    TMSClassicDialog dialog(host, measurer);
    EXPECT_EQ(dialog.NoSendButton()->text(), QStringLiteral("&OK"));
    dialog.NoSendClicked();
    EXPECT_TRUE(ExceptionDialogState().SendChecked);
}

TEST_F(MSClassicDialogTest, ACheckedRestartIsIgnoredWhenTheDialogIsCancelledUnlessForced)
{
    OfferEverything();
    {
        TMSClassicDialog dialog(host, measurer);
        dialog.TerminateCheck()->setChecked(true);
        dialog.reject();
        EXPECT_TRUE(ExceptionDialogState().DialogCancelled);
        EXPECT_FALSE(ExceptionDialogState().SendChecked);
        EXPECT_FALSE(ExceptionDialogState().TerminateRequested);
    }
    options->SetForcedTerminateBtnOperation(tbRestart);
    TMSClassicDialog dialog(host, measurer);
    dialog.TerminateCheck()->setChecked(true);
    dialog.reject();
    EXPECT_TRUE(ExceptionDialogState().TerminateRequested);
}

TEST_F(MSClassicDialogTest, EscWhileTypingWhatTheUserDidCancelsLikeTheCloseBox)
{
    OfferEverything();
    TMSClassicDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    dialog.TerminateCheck()->setChecked(true);
    dialog.ReproduceEdit()->setPlainText(QStringLiteral("typing"));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog.ReproduceEdit(), &esc);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(ExceptionDialogState().DialogCancelled);
    EXPECT_FALSE(ExceptionDialogState().SendChecked);
    EXPECT_FALSE(ExceptionDialogState().TerminateRequested);
    EXPECT_EQ(options->ReproduceText(), "typing");
}

TEST_F(MSClassicDialogTest, TheRestartBoxAppearsOnceEnoughErrorsCame)
{
    options->SetErrorsNumberToShowTerminateBtn(1);
    host.ExceptionCount = 1;
    TMSClassicDialog first(host, measurer);
    EXPECT_TRUE(first.TerminateCheck()->isHidden());
    host.ExceptionCount = 2;
    options->SetTerminateBtnOperation(tbTerminate);
    TMSClassicDialog second(host, measurer);
    EXPECT_FALSE(second.TerminateCheck()->isHidden());
    EXPECT_EQ(second.TerminateCheck()->text(), QStringLiteral("Terminate application."));
    second.TerminateCheck()->setChecked(true);
    second.SendClicked();
    EXPECT_TRUE(ExceptionDialogState().TerminateRequested);
}

TEST_F(MSClassicDialogTest, AnAddressWithoutADotKeepsTheDialogOpen)
{
    OfferEverything();
    TMSClassicDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    dialog.EmailEdit()->setText(QStringLiteral("me@example"));
    dialog.SendClicked();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text, QStringLiteral("Invalid email."));
    EXPECT_EQ(boxes.Requests()[0].caption, QStringLiteral("Error."));
    EXPECT_EQ(IniReadString("Crashbox.ini", "User", "Email", "none"), "none");

    dialog.EmailEdit()->setText(QStringLiteral("  .me@example "));
    dialog.ReproduceEdit()->setPlainText(QStringLiteral("  clicked Save\ntwice  "));
    dialog.SendClicked();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ExceptionDialogState().UserEmail, ".me@example");
    EXPECT_EQ(options->SMTPFrom(), ".me@example");
    EXPECT_EQ(options->ReproduceText(), "clicked Save\r\ntwice");
    EXPECT_EQ(IniReadString("Crashbox.ini", "User", "Email", ""), ".me@example");
    EXPECT_EQ(host.Texts.General, "User:\r\n  3.3 Email : .me@example\r\n");
    EXPECT_EQ(host.Texts.Report, "Crashbox\r\n\r\nUser:\r\n  3.3 Email : .me@example\r\n  3.4 Company : C\r\n");
    EXPECT_EQ(host.Texts.ReportCopy, host.Texts.Report);
    EXPECT_EQ(host.Texts.SendText, host.Texts.Report);
}

TEST_F(MSClassicDialogTest, AnEmptyAddressIsNeitherStoredNorReported)
{
    OfferEverything();
    IniWriteString("Crashbox.ini", "User", "Email", "old@example.org");
    TMSClassicDialog dialog(host, measurer);
    EXPECT_EQ(dialog.EmailEdit()->text(), QStringLiteral("old@example.org"));
    dialog.EmailEdit()->clear();
    dialog.NoSendClicked();
    EXPECT_TRUE(boxes.Requests().empty());
    EXPECT_EQ(IniReadString("Crashbox.ini", "User", "Email", ""), "old@example.org");
    EXPECT_EQ(host.Texts.General, "User:\r\n  3.3 Email : \r\n");
    EXPECT_EQ(options->SMTPFrom(), kDefaultSMTPFrom);
}

TEST_F(MSClassicDialogTest, ClosingByItselfLeavesABadAddressOut)
{
    OfferEverything();
    options->SetAutoCloseDialogSecs(1);
    TMSClassicDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    dialog.EmailEdit()->setText(QStringLiteral("nobody"));
    dialog.AutoCloseTick();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(boxes.Requests().empty());
    EXPECT_EQ(ExceptionDialogState().UserEmail, "");
    EXPECT_FALSE(ExceptionDialogState().DialogCancelled);
}

TEST_F(MSClassicDialogTest, TheLinkOpensTheDetailedDialog)
{
    OfferEverything();
    TMSClassicDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    ExceptionDialogState().DialogType = edtMSClassic;
    dialog.LeftButtonUp(QPoint(10, 10)); // not on the link
    EXPECT_TRUE(dialog.isVisible());
    dialog.MouseMoved(dialog.LinkRect().center());
    EXPECT_TRUE(dialog.LinkHovered());
    dialog.LeftButtonUp(dialog.LinkRect().center());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ExceptionDialogState().DialogType, edtCrashbox);
}

TEST_F(MSClassicDialogTest, TheCustomButtonClosesWhenItsHandlerSaysSo)
{
    options->SetExceptionDialogOptions({edoShowCustomButton});
    int calls = 0;
    bool answer = false;
    host.CustomButtonClick = [&](bool& closeDialog) {
        ++calls;
        closeDialog = answer;
    };
    TMSClassicDialog dialog(host, measurer);
    cvtest::ShowAndPaint(dialog);
    EXPECT_FALSE(dialog.CustomButton()->isHidden());
    EXPECT_EQ(dialog.CustomButton()->geometry().topLeft().x(), 8);
    dialog.CustomButton()->click();
    EXPECT_TRUE(dialog.isVisible());
    answer = true;
    dialog.CustomButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(calls, 2);
}

} // namespace
} // namespace cv
