// The HTTP header block as the sender reads it: status line, header lines,
// continuations and damaged blocks.
#include "crashreport/send/web_transfer.h"

#include <gtest/gtest.h>

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

} // namespace
