#include "suite/window_messages.h"

#include "suite/process_utils.h"

#include "suite/cv_endian.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
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

// A frame as another process writes it (docs/window-messages.md).
QByteArray frame(cv::TWindowHandle target, uint32_t msg, uint64_t wparam, int64_t lparam)
{
    QByteArray f(40, '\0');
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    cv::endian::storeLE<uint32_t>(p, 0x4D575643);
    cv::endian::storeLE<uint16_t>(p + 4, 1);
    cv::endian::storeLE<uint16_t>(p + 6, 40);
    cv::endian::storeLE<uint64_t>(p + 8, target);
    cv::endian::storeLE<uint32_t>(p + 16, msg);
    cv::endian::storeLE<uint64_t>(p + 24, wparam);
    cv::endian::storeLE<int64_t>(p + 32, lparam);
    return f;
}

sockaddr_un addressOf(const QString& name)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(a.sun_path, path.constData(), std::min<std::size_t>(std::size_t(path.size()), sizeof(a.sun_path) - 1));
    return a;
}

// A plain socket connected to a message server, as another process's would be.
int connectTo(const QString& name)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un a = addressOf(name);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    return ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
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

TEST(WindowMessages, FramesArrivingInPiecesComeWholeAndADamagedOneClosesOnlyItsConnection)
{
    TRecorder r;
    const QString server = cv::MessageServerName(cv::CurrentProcessId());
    const int a = connectTo(server);
    ASSERT_GE(a, 0);
    const QByteArray first = frame(r.window.Handle(), cv::kMsgMakeList, 1, -1);
    const QByteArray second = frame(r.window.Handle(), cv::kMsgRunningWords, 2, 1234567890123);
    ASSERT_TRUE(writeAll(a, first.left(13)));
    for (int i = 0; i < 20; ++i)
        cv::MyYieldProcess();
    EXPECT_TRUE(r.got.empty()) << "part of a frame is no message";
    ASSERT_TRUE(writeAll(a, first.mid(13) + second));
    pumpUntil(r, 2);
    ASSERT_EQ(r.got.size(), 2u);
    EXPECT_EQ(r.got[0], (TMessage{cv::kMsgMakeList, 1, -1}));
    EXPECT_EQ(r.got[1], (TMessage{cv::kMsgRunningWords, 2, 1234567890123}));

    // Forty bytes that are no frame: that connection is closed (its reader
    // sees the end), the other one still carries messages.
    const int b = connectTo(server);
    ASSERT_GE(b, 0);
    ASSERT_TRUE(writeAll(b, QByteArray(40, 'x')));
    ::fcntl(b, F_SETFL, O_NONBLOCK);
    QElapsedTimer t;
    t.start();
    char c = 0;
    ssize_t n = -1;
    while (t.elapsed() < 1000 && (n = ::read(b, &c, 1)) < 0)
        cv::MyYieldProcess();
    EXPECT_EQ(n, 0) << "the damaged connection is closed";
    ASSERT_TRUE(writeAll(a, frame(r.window.Handle(), cv::kMsgMakeList, 3, 0)));
    pumpUntil(r, 3);
    ASSERT_EQ(r.got.size(), 3u);
    EXPECT_EQ(r.got[2], (TMessage{cv::kMsgMakeList, 3, 0}));
    ::close(a);
    ::close(b);
}

TEST(WindowMessages, FramesForAProcessThatIsNotReadingWaitAndThenGoInOrder)
{
    TRecorder r; // this process's own server runs
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("CV_MESSAGE_SOCKET_DIR", QFile::encodeName(dir.path()));
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(other.waitForStarted());
    const auto pid = int64_t(other.processId());
    const cv::TWindowHandle target = cv::MakeWindowHandle(pid, 1);

    // A running process without a message server cannot be reached.
    EXPECT_FALSE(cv::PostMessage(target, cv::kMsgMakeList));

    // Its server, as a plain socket that reads nothing yet: far more frames
    // than the socket holds are posted; none is refused.
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un a = addressOf(cv::MessageServerName(pid));
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&a), sizeof(a)), 0);
    ASSERT_EQ(::listen(listening, 4), 0);
    constexpr int kFrames = 20000;
    for (int i = 0; i < kFrames; ++i)
        ASSERT_TRUE(cv::PostMessage(target, cv::kMsgRunningWords, uint64_t(i), -i)) << i;
    const int in = ::accept(listening, nullptr, nullptr);
    ASSERT_GE(in, 0);
    ::fcntl(in, F_SETFL, O_NONBLOCK);
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < kFrames * 40 && t.elapsed() < 5000) {
        char buffer[65536];
        const ssize_t n = ::read(in, buffer, sizeof(buffer));
        if (n > 0)
            got.append(buffer, n);
        cv::MyYieldProcess(); // the loop writes what waited
    }
    ASSERT_EQ(got.size(), kFrames * 40);
    for (int i = 0; i < kFrames; ++i)
        ASSERT_EQ(got.mid(i * 40, 40), frame(target, cv::kMsgRunningWords, uint64_t(i), -i)) << i;
    EXPECT_TRUE(cv::FlushPostedMessages(1000));

    // The other process ends: its connection breaks and nothing more is posted.
    ::close(in);
    ::close(listening);
    other.kill();
    other.waitForFinished();
    EXPECT_FALSE(cv::PostMessage(target, cv::kMsgMakeList));
    qunsetenv("CV_MESSAGE_SOCKET_DIR");
}
