#include "crashreport/send/mail/smtp_client.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <thread>

#include "crashreport/core/support/exception_object.h"
#include "crashreport/send/mail/mail_settings.h"
#include "crashreport/send/local_servers.h"

using namespace cv;

namespace {

std::string Destination(uint16_t port) { return "\r\n\r\nDestination: 127.0.0.1:" + std::to_string(port); }
std::string ConnectedLine(uint16_t port) { return "Connected to 127.0.0.1 port " + std::to_string(port) + "\r\n"; }

class SMTPClient : public cvtest::SendTest {
protected:
    uint16_t peer(const std::string& scriptJson)
    {
        server = cvtest::StartTCPPeer(dir, QString::fromStdString(scriptJson), record);
        if (!server->started())
            ADD_FAILURE() << server->error().toStdString();
        return server->port();
    }
    // What the peer read, once the client has gone.
    QByteArray received()
    {
        QFile f(record);
        for (int i = 0; i < 100; ++i) {
            if (f.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = f.readAll();
                f.close();
                if (bytes.endsWith("<CLOSED>"))
                    return bytes.chopped(8);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "<still open>";
    }
    std::unique_ptr<cvtest::LocalServer> server;
    QString record;
};

TEST_F(SMTPClient, AGreetingOtherThan220FailsTheOpenWithTheConversation)
{
    const uint16_t port = peer(R"([["send", "554 no mail here\r\n"], ["hold"]])");
    TCrashboxClientSMTP smtp("127.0.0.1", port, true, 2000);
    try {
        smtp.Open();
        FAIL() << "the greeting was taken";
    } catch (const ECrashboxSocketError& e) {
        EXPECT_EQ(std::string(e.what()), "Error log:\r\n554 no mail here\r\n\r\n\r\nSocket log:\r\n" + ConnectedLine(port) +
                                             "554 no mail here\r\n" + Destination(port));
    }
}

TEST_F(SMTPClient, ASilentServerTimesOutAtTheGreeting)
{
    const uint16_t port = peer(R"([["hold"]])");
    TCrashboxClientSMTP smtp("127.0.0.1", port, true, 150);
    EXPECT_THROW(
        try { smtp.Open(); } catch (const ECrashboxSocketError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("Socket timeout.\r\n"));
            throw;
        },
        ECrashboxSocketError);
}

struct ReplyCase {
    const char* reply;
    std::vector<uint16_t> codes;
    bool accepted;
};

class SMTPReplies : public SMTPClient, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(SMTPReplies, OnlyTheLeadingCodeCounts)
{
    const ReplyCase c = GetParam();
    std::string reply = c.reply;
    const std::string script = R"([["send", "220 ready\r\n"], ["line"], ["send", )" + cvtest::JsonString(reply) + R"(], ["hold"]])";
    const uint16_t port = peer(script);
    TCrashboxClientSMTP smtp("127.0.0.1", port, true, 2000);
    smtp.Open();
    if (c.accepted) {
        EXPECT_TRUE(smtp.SendCommand("NOOP", c.codes));
        EXPECT_EQ(smtp.FLog, ConnectedLine(port) + "220 ready\r\nNOOP\r\n" + c.reply);
        EXPECT_EQ(smtp.FErrorLog, c.reply);
    } else {
        try {
            smtp.SendCommand("NOOP", c.codes);
            ADD_FAILURE() << "the reply was taken";
        } catch (const ECrashboxSocketError& e) {
            // The log is the message: the last reply goes before it.
            EXPECT_EQ(std::string(e.what()), "Error log:\r\n" + reply + "\r\n\r\nSocket log:\r\n" + ConnectedLine(port) +
                                                 "220 ready\r\nNOOP\r\n" + reply + Destination(port));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SMTPReplies,
    ::testing::Values(ReplyCase{"250 fine\r\n", {250}, true}, ReplyCase{"334 VXNlcm5hbWU6\r\n", {334, 500, 502}, true},
                      ReplyCase{"502 not offered\r\n", {334, 500, 502}, true},
                      ReplyCase{"250-first\r\n250 last\r\n", {250}, true}, ReplyCase{"251 forwarded\r\n", {250}, false},
                      ReplyCase{"2500 too long\r\n", {250}, false}, ReplyCase{"hello there\r\n", {250}, false},
                      ReplyCase{" 250 blank first\r\n", {250}, false}));

TEST_F(SMTPClient, CommandsEndWithOneLineBreak)
{
    const uint16_t port = peer(R"([["send", "220 ready\r\n"], ["line"], ["send", "250 a\r\n"], ["line"], ["send", "221 b\r\n"], ["close"]])");
    {
        TCrashboxClientSMTP smtp("127.0.0.1", port, true, 2000);
        smtp.Open();
        EXPECT_FALSE(smtp.SendCommand("", {250})) << "an empty command sends nothing";
        EXPECT_TRUE(smtp.SendCommand("NOOP\r\n", {250}));
        EXPECT_TRUE(smtp.SendCommand("QUIT", {221}));
    }
    EXPECT_EQ(received(), "NOOP\r\nQUIT\r\n");
}

TEST_F(SMTPClient, QuietErrorsEndSilentlyButStillTellTheHandler)
{
    const uint16_t port = peer(R"([["send", "220 ready\r\n"], ["line"], ["send", "500 what\r\n"], ["hold"]])");
    TCrashboxClientSMTP smtp("127.0.0.1", port, true, 2000);
    std::string told;
    smtp.FOnError = [&told](TCrashboxClientSocket&, int32_t, const std::string& m) { told = m; };
    smtp.FQuietErrors = true;
    smtp.Open();
    EXPECT_THROW(smtp.SendCommand("HELO me", {250}), EAbort);
    EXPECT_TRUE(told.starts_with("Error log:\r\n500 what\r\n")) << told;
}

// A reply is judged as soon as its last line (a code and a blank) is in:
// with a reply silence far longer than the test may take, a dialogue whose
// multi-line reply comes in pieces still ends at once, each reply whole.
TEST_F(SMTPClient, AReplyIsJudgedWhenItsLastLineIsInNotAfterASilence)
{
    settings.ReplySilence = 60000;
    settings.SMTPTimeout = 60000;
    apply();
    const uint16_t port = peer(R"([["send", "220-hello\r\n"], ["sleep", 100], ["send", "220 ready\r\n"], ["line"],)"
                               R"( ["send", "250-peer\r\n250-SIZE 100"], ["sleep", 100], ["send", "0\r\n"], ["sleep", 100],)"
                               R"( ["send", "250 HELP\r\n"], ["line"], ["send", "250 ok\r\n"], ["hold"]])");
    int status = 0;
    const QString log = cvtest::runInChild(
        [&] {
            TCrashboxClientSMTP smtp("127.0.0.1", port, true, MailSettings().SMTPTimeout);
            smtp.Open();
            smtp.SendCommand("EHLO me", {250});
            smtp.SendCommand("NOOP", {250});
            return QString::fromStdString(smtp.FErrorLog + "|" + smtp.FLog);
        },
        &status, std::chrono::seconds(10));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(log.toStdString(), "250 ok\r\n|" + ConnectedLine(port) +
                                     "220-hello\r\n220 ready\r\nEHLO me\r\n250-peer\r\n250-SIZE 1000\r\n250 HELP\r\nNOOP\r\n250 ok\r\n")
        << "each command waited for the whole reply before it";
}

TEST(SMTPReplyIsWhole, WhenTheLastLineHasNoHyphenAfterItsCode)
{
    for (const char* whole : {"250 ok\r\n", "250\r\n", "250-a\r\n250 b\r\n", "250-a\n250 b\n", "hello there\r\n", "220 \r\n"})
        EXPECT_TRUE(SMTPReplyIsWhole(whole)) << whole;
    for (const char* part : {"", "250 ok", "250-a\r\n", "250-a\r\n250 b", "250-a\r\n250-b\r\n", "220-"})
        EXPECT_FALSE(SMTPReplyIsWhole(part)) << part;
}

TEST(SMTPReplyCode, TheLeadingDigits)
{
    EXPECT_EQ(SMTPReplyCode("250 ok"), 250);
    EXPECT_EQ(SMTPReplyCode("354"), 354);
    EXPECT_EQ(SMTPReplyCode("x250"), -1);
    EXPECT_EQ(SMTPReplyCode(""), -1);
    EXPECT_EQ(SMTPReplyCode("1234567890 digits"), -1);
}

} // namespace
