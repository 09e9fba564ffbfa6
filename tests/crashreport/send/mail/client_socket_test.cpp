#include "crashreport/send/mail/client_socket.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <thread>

#include "crashreport/core/support/exception_object.h"
#include "crashreport/send/local_servers.h"

using namespace cv;
using cvtest::LocalServer;

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Destination(uint16_t port) { return "\r\n\r\nDestination: 127.0.0.1:" + std::to_string(port); }
std::string ConnectedLine(uint16_t port) { return "Connected to 127.0.0.1 port " + std::to_string(port) + "\r\n"; }

class ClientSocket : public cvtest::SendTest {
protected:
    // A peer playing the script; its port.
    uint16_t peer(const char* scriptJson)
    {
        server = cvtest::StartTCPPeer(dir, QString::fromUtf8(scriptJson), record);
        if (!server->started())
            ADD_FAILURE() << server->error().toStdString();
        return server->port();
    }
    QByteArray received() const
    {
        QFile f(record);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<LocalServer> server;
    QString record;
};

TEST_F(ClientSocket, OpenLogsTheConnectionAndCloseForgetsIt)
{
    const uint16_t port = peer(R"([["hold"]])");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 1000);
    EXPECT_EQ(socket.Type(), TCrashboxClientSocket::kStream);
    socket.Open();
    EXPECT_TRUE(socket.Connected());
    EXPECT_EQ(socket.FLog, ConnectedLine(port));
    EXPECT_EQ(socket.Address().sin_port, htons(port));
    socket.Open(); // already connected: nothing happens
    EXPECT_EQ(socket.FLog, ConnectedLine(port));
    socket.Close();
    EXPECT_FALSE(socket.Connected());
    EXPECT_TRUE(socket.FLog.empty());
    EXPECT_EQ(socket.Address().sin_port, 0);
    EXPECT_EQ(socket.SendText("lost"), 0) << "nothing is sent on a closed socket";
}

TEST_F(ClientSocket, AnUnknownHostIsReportedWithoutLogsOrHandlers)
{
    TCrashboxClientSocket socket("", 25, true, 1000);
    bool told = false;
    socket.FOnError = [&told](TCrashboxClientSocket&, int32_t, const std::string&) { told = true; };
    socket.FQuietErrors = true; // not even a quiet socket hides this one
    EXPECT_EQ(cvtest::SocketErrorOf([&] { socket.Open(); }), "Unable to resolve host \"\".");
    EXPECT_FALSE(told);
    EXPECT_FALSE(socket.Connected());
}

TEST_F(ClientSocket, ARefusedConnectionGoesThroughTheErrorHandlerOrEndsQuietly)
{
    const cvtest::RefusingPort refusing;
    const uint16_t port = refusing.port();
    TCrashboxClientSocket socket("127.0.0.1", port, true, 1000);
    std::string told;
    int32_t code = 0;
    socket.FOnError = [&](TCrashboxClientSocket&, int32_t c, const std::string& m) {
        code = c;
        told = m;
    };
    const std::string message = cvtest::SocketErrorOf([&] { socket.Open(); });
    EXPECT_EQ(message, "Connection error: \"Connection refused\"\r\n\r\nError log:\r\n\r\n\r\nSocket log:\r\n" +
                           Destination(port));
    EXPECT_EQ(told, message);
    EXPECT_EQ(code, -1);

    socket.FQuietErrors = true;
    EXPECT_THROW(socket.Open(), EAbort);
}

TEST_F(ClientSocket, TextGoesInChunksOf1024BytesWithProgress)
{
    const uint16_t port = peer("[]");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 1000);
    std::vector<std::pair<int32_t, int32_t>> progress;
    socket.FOnSent = [&progress](TCrashboxClientSocket&, int32_t sent, int32_t total) { progress.emplace_back(sent, total); };
    socket.Open();
    std::string text(2500, 'x');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = char('a' + i % 26);
    EXPECT_EQ(socket.SendText(""), 0);
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(socket.SendText(text), 2500);
    EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{1025, 2500}, {2049, 2500}, {2501, 2500}}));
    EXPECT_EQ(socket.FLog, ConnectedLine(port)) << "sending writes nothing to the log";
    socket.Close();
    for (int i = 0; i < 100 && !received().endsWith("<CLOSED>"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(received(), QByteArray::fromStdString(text) + "<CLOSED>");
}

struct BurstCase {
    int pauseMs;
    int silenceMs;
    bool oneText;
};

class ClientSocketBursts : public ClientSocket, public ::testing::WithParamInterface<BurstCase> {};

TEST_P(ClientSocketBursts, AReplyEndsAfterTheSilence)
{
    const BurstCase c = GetParam();
    const std::string script = R"([["send", "first "], ["sleep", )" + std::to_string(c.pauseMs) +
                               R"(], ["send", "second"], ["hold"]])";
    const uint16_t port = peer(script.c_str());
    TCrashboxClientSocket socket("127.0.0.1", port, true, 2000);
    socket.SetReplySilence(c.silenceMs);
    socket.Open();
    std::string text;
    socket.ReceiveFullText(text);
    if (c.oneText) {
        EXPECT_EQ(text, "first second");
    } else {
        EXPECT_EQ(text, "first ");
        socket.ReceiveFullText(text);
        EXPECT_EQ(text, "second");
    }
    EXPECT_EQ(socket.FLog, ConnectedLine(port) + "first second");
    EXPECT_EQ(socket.FErrorLog, "first second") << "nothing was sent in between";
}

INSTANTIATE_TEST_SUITE_P(Pauses, ClientSocketBursts,
                         ::testing::Values(BurstCase{50, 300, true}, BurstCase{300, 80, false}));

TEST_F(ClientSocket, BurstsLessThanASecondApartAreOneReplyAtTheDefaultSilence)
{
    settings.ReplySilence = 1000;
    apply();
    const uint16_t port = peer(R"([["send", "250-one\r\n"], ["sleep", 700], ["send", "250 two\r\n"], ["hold"]])");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 2000);
    EXPECT_EQ(socket.ReplySilence(), 1000);
    socket.Open();
    std::string text;
    socket.ReceiveFullText(text);
    EXPECT_EQ(text, "250-one\r\n250 two\r\n");
}

TEST_F(ClientSocket, APeerThatNeverFallsSilentIsCutOffAfterTheTimeout)
{
    std::string script = "[";
    for (int i = 0; i < 60; ++i)
        script += R"(["send", "x"], ["sleep", 50], )";
    script += R"(["hold"]])";
    const uint16_t port = peer(script.c_str());
    TCrashboxClientSocket socket("127.0.0.1", port, true, 300);
    socket.SetReplySilence(200);
    socket.Open();
    const auto start = Clock::now();
    std::string text;
    socket.ReceiveFullText(text);
    EXPECT_LT(MillisecondsSince(start), 1500);
    EXPECT_GE(text.size(), 2u);
    EXPECT_EQ(text, std::string(text.size(), 'x'));
}

TEST_F(ClientSocket, SilenceEndsInSocketTimeoutWithTheLogs)
{
    const uint16_t port = peer(R"([["send", "hello"], ["hold"]])");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 200);
    socket.Open();
    std::string text;
    socket.ReceiveFullText(text);
    EXPECT_EQ(text, "hello");
    const auto start = Clock::now();
    socket.GetFullText(text);
    EXPECT_EQ(text, "") << "GetFullText does not raise";
    EXPECT_GE(MillisecondsSince(start), 190);
    EXPECT_EQ(cvtest::SocketErrorOf([&] { socket.ReceiveFullText(text); }),
              "Socket timeout.\r\n\r\nError log:\r\nhello\r\n\r\nSocket log:\r\n" + ConnectedLine(port) + "hello" +
                  Destination(port));
}

TEST_F(ClientSocket, APeerThatHangsUpEndsTheWaitAtOnce)
{
    const uint16_t port = peer(R"([["close"]])");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 10000);
    socket.Open();
    const auto start = Clock::now();
    std::string text;
    const std::string message = cvtest::SocketErrorOf([&] { socket.ReceiveFullText(text); });
    EXPECT_LT(MillisecondsSince(start), 5000);
    EXPECT_EQ(message.substr(0, 31), "Connection closed by the peer.\r");
}

TEST_F(ClientSocket, LongMessagesAreCutAfterTheHandlerSawThemWhole)
{
    const std::string reply(2000, 'r');
    const std::string script = R"([["send", ")" + reply + R"("], ["hold"]])";
    const uint16_t port = peer(script.c_str());
    TCrashboxClientSocket socket("127.0.0.1", port, true, 100);
    std::string told;
    socket.FOnError = [&told](TCrashboxClientSocket&, int32_t, const std::string& m) { told = m; };
    socket.Open();
    std::string text;
    socket.ReceiveFullText(text);
    const std::string message = cvtest::SocketErrorOf([&] { socket.ReceiveFullText(text); });
    EXPECT_EQ(message.size(), 1027u);
    EXPECT_EQ(message.substr(1024), "...");
    EXPECT_EQ(told.substr(0, 1024), message.substr(0, 1024));
    EXPECT_TRUE(told.ends_with(Destination(port)));
}

TEST_F(ClientSocket, APeerThatStopsReadingFailsTheSendWithinTheTimeout)
{
    const uint16_t port = peer(R"([["hold"]])");
    TCrashboxClientSocket socket("127.0.0.1", port, true, 300);
    socket.Open();
    const std::string big(64u << 20, 'x');
    const auto start = Clock::now();
    const std::string message = cvtest::SocketErrorOf([&] { socket.SendText(big); });
    EXPECT_LT(MillisecondsSince(start), 10000);
    EXPECT_TRUE(message.starts_with("Error into \"send\": \"Connection timed out\"\r\n\r\nError log:\r\n\r\n\r\nSocket log:\r\n\r\n"))
        << message;
    EXPECT_FALSE(socket.Connected()) << "a failed send closes the socket";
}

TEST_F(ClientSocket, DatagramsAreRepliesOfTheirOwn)
{
    QString queries;
    auto dns = cvtest::StartDNSPeer(dir, {QStringLiteral("6f6b")}, queries);
    ASSERT_TRUE(dns->started()) << dns->error().toStdString();
    TCrashboxClientSocket socket("127.0.0.1", dns->port(), false, 1000);
    EXPECT_EQ(socket.Type(), TCrashboxClientSocket::kDatagram);
    socket.Open();
    EXPECT_EQ(socket.SendText("ping"), 4);
    std::string text;
    socket.ReceiveFullText(text);
    EXPECT_EQ(text, "ok");
    ASSERT_EQ(cvtest::RecordedQueries(queries).size(), 1u);
    EXPECT_EQ(cvtest::RecordedQueries(queries)[0].bytes, "ping");
}

TEST_F(ClientSocket, ARefusedDatagramIsAReceiveError)
{
    const uint16_t port = cvtest::FreePort(false);
    TCrashboxClientSocket socket("127.0.0.1", port, false, 1000);
    socket.Open();
    socket.SendText("ping");
    std::string text;
    EXPECT_EQ(cvtest::SocketErrorOf([&] { socket.GetFullText(text); }),
              "Error into \"recv\": \"Connection refused\"\r\n\r\nError log:\r\n\r\n\r\nSocket log:\r\n" + Destination(port));
    EXPECT_FALSE(socket.Connected());
}

} // namespace
