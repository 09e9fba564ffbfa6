// The HTTP header block as the sender reads it: status line, header lines,
// continuations and damaged blocks; and what is kept of answers that never
// end, from a scripted peer on 127.0.0.1.
#include "crashreport/send/web/web_transfer.h"

#include <gtest/gtest.h>

#include "crashreport/send/web/web_upload.h"
#include "crashreport/send/local_servers.h"

namespace {

TEST(HTTPHeader, StatusLineAndHeadersAreRead)
{
    const cv::THTTPHeaderBlock block =
        cv::ParseHTTPHeader("HTTP/1.1 302 Moved For Now\r\nLocation:  b.php \r\nX-Long: one\r\n\ttwo\r\n"
                            "no colon here\r\nset-cookie: a=1\r\nSet-Cookie: b=2\r\n\r\nBody: not a header\r\n");
    EXPECT_TRUE(block.HasStatusLine);
    EXPECT_EQ(block.Version, "HTTP/1.1");
    EXPECT_EQ(block.StatusCode, "302");
    EXPECT_EQ(block.StatusText, "Moved For Now");
    EXPECT_EQ(cv::HeaderValue(block, "LOCATION"), "b.php");
    EXPECT_EQ(cv::HeaderValue(block, "x-long"), "one two");
    EXPECT_EQ(cv::HeaderValue(block, "Set-Cookie"), "a=1") << "the first of its name";
    EXPECT_FALSE(cv::HasHeader(block, "Body"));
    EXPECT_EQ(block.Lines.size(), 4u);
    int32_t code = 0;
    EXPECT_TRUE(cv::StatusCodeNumber(block, code));
    EXPECT_EQ(code, 302);
}

struct StatusCase {
    const char* raw;
    bool hasStatusLine;
    bool numeric;
    int code;
    const char* text;
};

class HTTPHeaderStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(HTTPHeaderStatus, IsReadOrRefused)
{
    const StatusCase& c = GetParam();
    const cv::THTTPHeaderBlock block = cv::ParseHTTPHeader(c.raw);
    EXPECT_EQ(block.HasStatusLine, c.hasStatusLine);
    int32_t code = -1;
    EXPECT_EQ(cv::StatusCodeNumber(block, code), c.numeric);
    if (c.numeric) {
        EXPECT_EQ(code, c.code);
    }
    EXPECT_EQ(block.StatusText, c.text);
}

INSTANTIATE_TEST_SUITE_P(Lines, HTTPHeaderStatus,
                         testing::Values(StatusCase{"HTTP/1.0 200 OK\n\n", true, true, 200, "OK"},
                                         StatusCase{"HTTP/1.1 2x0 Odd\r\n", true, false, 0, "Odd"},
                                         StatusCase{"HTTP/1.1 404", true, true, 404, ""},
                                         StatusCase{"HTTP/1.1", true, false, 0, ""},
                                         StatusCase{"HTTP/1.1 99999999999 Big\r\n", true, false, 0, "Big"},
                                         StatusCase{"Content-Type: text/html\r\n", false, false, 0, ""},
                                         StatusCase{"", false, false, 0, ""}));

// A server that answers and then never stops sending its body.
class EndlessAnswers : public cvtest::SendTest {
protected:
    void SetUp() override
    {
        cvtest::SendTest::SetUp();
        cv::SetWebTimeouts({5000, 10000, 10000});
    }
    void TearDown() override
    {
        cv::SetWebTimeouts({});
        cvtest::SendTest::TearDown();
    }
    uint16_t Peer(int pauseMs)
    {
        const QString script = QStringLiteral(R"([["until", "\r\n\r\n"], ["send", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"],)"
                                              R"( ["repeat", "%1", %2, 20]])")
                                   .arg(QString(1024, QLatin1Char('x')))
                                   .arg(pauseMs);
        server = cvtest::StartTCPPeer(dir, script, record);
        EXPECT_TRUE(server->started());
        return server->port();
    }
    std::unique_ptr<cvtest::LocalServer> server;
    QString record;
};

TEST_F(EndlessAnswers, AnUploadReadsTheStatusAlone)
{
    const uint16_t port = Peer(50);
    std::string text;
    int status = 0;
    const QString result = cvtest::runInChild(
        [&] {
            return QString::number(cv::HTTPUploadFiles("127.0.0.1", "/upload", "", text, {}, {}, {}, {"a=b"}, false, port, ""));
        },
        &status, std::chrono::seconds(8));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, QStringLiteral("0")) << "status 200";
}

TEST_F(EndlessAnswers, AnAnswersBodyIsKeptUpToItsBound)
{
    const uint16_t port = Peer(0);
    int status = 0;
    const QString result = cvtest::runInChild(
        [&] {
            cv::TWebHandle handle;
            cv::TWebRequest request;
            request.URL = "http://127.0.0.1:" + std::to_string(port) + "/page";
            request.Verb = "GET";
            cv::TWebReply reply;
            const bool ok = cv::RunWebRequest(handle, request, reply);
            return QStringLiteral("%1 %2 %3").arg(ok).arg(reply.Body.size()).arg(reply.BodyCut);
        },
        &status, std::chrono::seconds(15));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, QStringLiteral("1 %1 1").arg(cv::kMaxAnswerBody));
}

} // namespace
