#include "crashreport/send/context/send_context.h"

#include <gtest/gtest.h>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/send/mail/client_socket.h"
#include "crashreport/send/mail/socket_progress.h"

using namespace cv;

namespace {

// A dialog that records what it is told.
struct SendDialog : ::testing::Test {
    std::vector<std::string> texts;
    std::vector<int> positions;
    int pumps = 0, closes = 0, destroys = 0;

    void SetUp() override
    {
        SetSendDialogServices({[this](const std::string& t) { texts.push_back(t); },
                               [this](int p) { positions.push_back(p); }, [this] { ++closes; }, [this] { ++pumps; },
                               [this] { ++destroys; }});
    }
    void TearDown() override
    {
        SetSendDialogServices({});
        ClearReportBeingSent();
    }
};

TEST_F(SendDialog, TheStatusNamesTheRecipientBeingServed)
{
    SetSendCounters(2, 3);
    SetSendDialogStatus("Connecting with server...");
    EXPECT_EQ(texts, std::vector<std::string>{"Message 2/3: Connecting with server..."});
    EXPECT_EQ(pumps, 2) << "pumped before and after";
    SetSendDialogText("plain");
    EXPECT_EQ(texts.back(), "plain");
}

TEST_F(SendDialog, TheStatusPrefixIsTheReportsOwnText)
{
    TCrashboxModuleOptions options("");
    options.SetCustomizedTexts(mtSendDialog_Message, "Nachricht");
    SetReportBeingSent({&options, {}});
    SetSendCounters(1, 1);
    SetSendDialogStatus("x");
    EXPECT_EQ(texts.back(), "Nachricht 1/1: x");
}

TEST_F(SendDialog, TheBarNeverMovesBack)
{
    SetSendDialogProgress(30);
    SetSendDialogProgress(10);
    AdvanceSendDialogProgress(5);
    SetSendDialogProgress(35);
    EXPECT_EQ(positions, (std::vector<int>{30, 35, 35}));
    ResetSendDialogProgress();
    SetSendDialogProgress(5);
    EXPECT_EQ(positions.back(), 5) << "a new connection starts the bar again";
}

TEST_F(SendDialog, ASocketsSendsMoveTheBarWhileHooked)
{
    TCrashboxClientSocket socket("127.0.0.1", 25, true, 100);
    HookSocketProgress(socket);
    ASSERT_TRUE(socket.FOnSent);
    socket.FOnSent(socket, 1025, 2500);
    EXPECT_EQ(positions, std::vector<int>{41});
    UnhookSocketProgress(socket);
    EXPECT_FALSE(socket.FOnSent);
    EXPECT_EQ(destroys, 1);
}

TEST_F(SendDialog, WebTransfersReportTheirState)
{
    SetSendCounters(1, 1);
    ReportWebTransferState(0, 0, 0);
    ReportWebTransferState(1, 0, 0);
    ReportWebTransferState(2, 3000, 1000);
    EXPECT_EQ(texts, (std::vector<std::string>{"Message 1/1: Connecting with server...",
                                               "Message 1/1: Connected with server.", "Message 1/1: Sending message..."}));
    EXPECT_EQ(positions, (std::vector<int>{0, 33}));
}

TEST(SendDialogAbsent, NothingHappensWithoutADialog)
{
    SetSendDialogServices({});
    EXPECT_FALSE(SendDialogExists());
    TCrashboxClientSocket socket("127.0.0.1", 25, true, 100);
    HookSocketProgress(socket);
    EXPECT_FALSE(socket.FOnSent) << "no dialog, no progress";
    SetSendDialogStatus("x");
    CloseSendDialog();
    PumpSendDialogMessages();
}

} // namespace
