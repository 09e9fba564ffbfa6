#include "crashreport/dialogs/send_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include <atomic>
#include <thread>

#include "crashreport/send/mail/client_socket.h"
#include "crashreport/send/mail/socket_progress.h"
#include "crashreport/send/context/send_context.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

// The dialog shown for a report sent by SMTP with the dialog option on.
class SendDialogTest : public cvtest::DialogTest {
protected:
    void SetUp() override
    {
        cvtest::DialogTest::SetUp();
        options->SetEMailSendMode(esmSMTPClient);
        options->SetCommonSendOptions({sndShowSendDialog});
        SetReportBeingSent({options.get(), {}});
        InstallSendDialog();
    }
    void TearDown() override
    {
        UninstallSendDialog();
        ClearReportBeingSent();
    }
    // Serves the GUI thread's events until the condition holds (at most 5 s).
    template <typename Condition>
    static bool ServeUntil(Condition condition)
    {
        for (int i = 0; i < 500 && !condition(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }
};

TEST_F(SendDialogTest, ASendOnTheGuiThreadGetsAModelessDialogAtTheBottomRight)
{
    StartSendDialog(false);
    TSendDialog* dialog = CurrentSendDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(SendDialogExists());
    EXPECT_FALSE(dialog->Modal());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Send."));
    EXPECT_EQ(dialog->CaptionHeight(), DialogMetrics().CySmCaption) << "a tool window's small caption";
    const QRect outer = dialog->OuterGeometry();
    EXPECT_EQ(outer.x() + outer.width(), 1280);
    EXPECT_EQ(outer.y() + outer.height(), 1024);

    SetSendCounters(1, 2);
    SetSendDialogStatus("Connecting with server...");
    EXPECT_EQ(dialog->StatusLabel()->text(), QStringLiteral("Message 1/2: Connecting with server..."));
    SetSendDialogProgress(40);
    SetSendDialogProgress(10);
    EXPECT_EQ(dialog->ProgressBar()->value(), 40);

    // The user cannot end it; the send ends it after each message.
    dialog->reject();
    dialog->close();
    EXPECT_TRUE(dialog->isVisible());
    TCrashboxClientSocket socket("127.0.0.1", 25, true, 100);
    HookSocketProgress(socket);
    UnhookSocketProgress(socket);
    EXPECT_EQ(CurrentSendDialog(), nullptr);
    EXPECT_FALSE(SendDialogExists());
}

TEST_F(SendDialogTest, TheStatusLineHoldsItsLongestTextWhole)
{
    // 6 pixels a character: "Message 9/9: Connecting with server..." needs 228 of the template's 204.
    TSendDialog dialog(*options, true, measurer);
    EXPECT_EQ(dialog.StatusLabel()->width(), 228);
    EXPECT_EQ(dialog.ProgressBar()->geometry(), QRect(dialog.StatusLabel()->x(), dialog.ProgressBar()->y(), 228,
                                                      dialog.StatusLabel()->height()));
    EXPECT_EQ(dialog.OuterSize().width(), TSendDialog::TemplateOuterSize().width() + 24);
    options->SetCustomizedTexts(mtSendDialog_Message, "M");
    options->SetCustomizedTexts(mtSendDialog_Connecting, "C");
    TSendDialog narrow(*options, true, measurer);
    EXPECT_EQ(narrow.StatusLabel()->width(), 204) << "never narrower than designed";
}

TEST_F(SendDialogTest, ASendOnAnotherThreadWaitsForTheModalDialogAndTalksToItFromThere)
{
    std::atomic<bool> up{false}, told{false}, closed{false};
    std::thread sender([&] {
        StartSendDialog(true);
        up = SendDialogExists();
        SetSendCounters(2, 2);
        SetSendDialogStatus("Sending message...");
        SetSendDialogProgress(75);
        told = true;
        while (!closed)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        CloseSendDialog();
    });
    ASSERT_TRUE(ServeUntil([&] { return told.load(); }));
    EXPECT_TRUE(up);
    TSendDialog* dialog = CurrentSendDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ServeUntil([&] { return dialog->ProgressBar()->value() == 75; }));
    EXPECT_TRUE(dialog->Modal());
    EXPECT_EQ(dialog->StatusLabel()->text(), QStringLiteral("Message 2/2: Sending message..."));
    const QRect outer = dialog->OuterGeometry();
    EXPECT_EQ(outer.topLeft(), QPoint((1280 - outer.width()) / 2, (1024 - outer.height()) / 2)) << "centred";
    closed = true;
    sender.join();
    EXPECT_TRUE(ServeUntil([] { return CurrentSendDialog() == nullptr; }));
}

TEST_F(SendDialogTest, AGuiThreadThatNeverServesItsEventsDoesNotHoldTheSend)
{
    SetSendDialogStartLimit(200);
    std::thread sender([] { StartSendDialog(true); });
    sender.join(); // the GUI thread served nothing meanwhile
    SetSendDialogStartLimit(kSendDialogStartLimitMs);
    EXPECT_FALSE(SendDialogExists());
    QApplication::processEvents(); // the late start finds itself given up
    EXPECT_EQ(CurrentSendDialog(), nullptr);
}

TEST_F(SendDialogTest, NoDialogWithoutTheOptionOrAMethodAndTheOperationsAreSilent)
{
    for (const auto& [sendOptions, mode] : {std::pair{TCommonSendOptions{}, esmSMTPClient},
                                            std::pair{TCommonSendOptions{sndShowSendDialog}, esmNoSend}}) {
        options->SetCommonSendOptions(sendOptions);
        options->SetEMailSendMode(mode);
        ExceptionDialogState().DialogPainted = false;
        StartSendDialog(true);
        EXPECT_EQ(CurrentSendDialog(), nullptr);
        EXPECT_TRUE(ExceptionDialogState().DialogPainted);
        SetSendDialogStatus("x");
        SetSendDialogProgress(50);
        CloseSendDialog();
    }
}

TEST_F(SendDialogTest, EachStepStartsItsOwnDialogFromZero)
{
    StartSendDialog(false);
    SetSendCounters(1, 1);
    SetSendDialogProgress(80);
    CloseSendDialog();
    EXPECT_EQ(CurrentSendDialog(), nullptr);
    StartSendDialog(false);
    ASSERT_NE(CurrentSendDialog(), nullptr);
    SetSendDialogProgress(20);
    EXPECT_EQ(CurrentSendDialog()->ProgressBar()->value(), 20);
    SetSendDialogStatus("s");
    EXPECT_EQ(CurrentSendDialog()->StatusLabel()->text(), QStringLiteral("Message 0/0: s"));
}

} // namespace
} // namespace cv
