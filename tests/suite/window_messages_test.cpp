#include "suite/window_messages.h"

#include "suite/process_utils.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using TMessage = std::tuple<uint32_t, uint64_t, int64_t>;

struct TRecorder {
    std::vector<TMessage> got;
    cv::TMessageWindow window{[this](uint32_t m, uint64_t w, int64_t l) { got.emplace_back(m, w, l); }};
};

// Pumps the loop until n messages arrived or a second passed.
void pumpUntil(const TRecorder& r, std::size_t n)
{
    QElapsedTimer t;
    t.start();
    while (r.got.size() < n && t.elapsed() < 1000)
        cv::MyYieldProcess();
}

} // namespace

TEST(WindowMessages, HandlesNameTheirProcess)
{
    constexpr auto h = cv::MakeWindowHandle(0x12345, 7);
    static_assert(cv::WindowHandleProcess(h) == 0x12345);
    static_assert(cv::WindowHandleNumber(h) == 7);
    TRecorder r;
    EXPECT_EQ(cv::WindowHandleProcess(r.window.Handle()), cv::CurrentProcessId());
    EXPECT_NE(cv::WindowHandleNumber(r.window.Handle()), 0u);
    TRecorder other;
    EXPECT_NE(other.window.Handle(), r.window.Handle());
}

TEST(WindowMessages, PostedMessagesArriveThroughTheLoopInOrder)
{
    TRecorder r;
    ASSERT_TRUE(cv::PostMessage(r.window.Handle(), cv::kMsgMakeList, 1, 23));
    ASSERT_TRUE(cv::PostMessage(r.window.Handle(), cv::kMsgRunningWords, 0, int64_t(1) << 40));
    ASSERT_TRUE(cv::PostMessage(r.window.Handle(), cv::kMsgControllerCommand, cv::PackToolCode(6121, 16), -5));
    EXPECT_TRUE(r.got.empty()) << "posting never calls the receiver directly";
    pumpUntil(r, 3);
    ASSERT_EQ(r.got.size(), 3u);
    EXPECT_EQ(r.got[0], (TMessage{1391, 1, 23}));
    EXPECT_EQ(r.got[1], (TMessage{1638, 0, int64_t(1) << 40}));
    EXPECT_EQ(std::get<0>(r.got[2]), 1025u);
    EXPECT_EQ(cv::CodeOfWParam(std::get<1>(r.got[2])), 6121);
    EXPECT_EQ(cv::ToolOfWParam(std::get<1>(r.got[2])), 16);
    EXPECT_EQ(std::get<2>(r.got[2]), -5);
}

TEST(WindowMessages, GoneWindowsReceiveNothing)
{
    EXPECT_FALSE(cv::PostMessage(0, cv::kMsgMakeList));
    EXPECT_FALSE(cv::IsWindow(0));
    cv::TWindowHandle h = 0;
    {
        TRecorder r;
        h = r.window.Handle();
        EXPECT_TRUE(cv::IsWindow(h));
    }
    EXPECT_FALSE(cv::IsWindow(h));
    EXPECT_FALSE(cv::PostMessage(h, cv::kMsgMakeList));
    // A window of a process that does not exist.
    EXPECT_FALSE(cv::PostMessage(cv::MakeWindowHandle(0x7FFFFFF0, 1), cv::kMsgMakeList));
    EXPECT_FALSE(cv::IsWindow(cv::MakeWindowHandle(0x7FFFFFF0, 1)));
}

TEST(WindowMessages, ALongLoopSeesMessagesOnlyWhenItYields)
{
    TRecorder r;
    cv::PostMessage(r.window.Handle(), cv::kMsgControllerCommand, 6120, 0);
    for (int i = 0; i < 1000; ++i) {
    } // work without yielding
    EXPECT_TRUE(r.got.empty());
    cv::MyYieldProcess();
    EXPECT_EQ(r.got.size(), 1u);
}

TEST(WindowMessages, MessageServerListensOnItsSocket)
{
    qputenv("CV_MESSAGE_SOCKET_DIR", "/tmp");
    EXPECT_EQ(cv::MessageServerName(42), QStringLiteral("/tmp/cv-wm-42.sock"));
    qunsetenv("CV_MESSAGE_SOCKET_DIR");
    EXPECT_TRUE(cv::MessageServerName(42).endsWith(QStringLiteral("/cv-wm-42.sock")));
}
