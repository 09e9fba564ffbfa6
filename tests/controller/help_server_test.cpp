#include "controller/help_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "controller/controller.h"
#include "suite/cvbuf.h"
#include "controller/help_not_found.h"
#include "support/process_state.h"
#include "support/test_support.h"

namespace {

// What a client on this machine gets for a raw request: the whole answer.
QByteArray Fetch(const QUrl& base, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(base.port()));
    QByteArray answer;
    const QDeadlineTimer deadline(5000);
    bool sent = false;
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!sent && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(request);
            sent = true;
        }
        answer += socket.readAll();
        if (sent && socket.state() == QAbstractSocket::UnconnectedState)
            break;
    }
    return answer + socket.readAll();
}

int StatusOf(const QByteArray& answer) { return answer.left(answer.indexOf('\r')).split(' ').value(1).toInt(); }

QByteArray BodyOf(const QByteArray& answer) { return answer.mid(answer.indexOf("\r\n\r\n") + 4); }

class HelpServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pages = dir.file(QStringLiteral("help"));
        ASSERT_TRUE(QDir().mkpath(pages));
        dir.write(QStringLiteral("help/index.html"), "<html>contents</html>");
        dir.write(QStringLiteral("help/style.css"), "body {}");
        dir.write(QStringLiteral("secret.txt"), "not for the browser");
    }
    cvtest::TempDir dir;
    QString pages;
};

TEST_F(HelpServerTest, AnswersThePagesOfItsFolderAndNothingElse)
{
    auto get = [this](const QByteArray& target) {
        return cv::THelpServer::Answer("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", pages);
    };
    const QByteArray page = get("/index.html?contextid=2700");
    EXPECT_EQ(StatusOf(page), 200) << "the query is the page's to read";
    EXPECT_EQ(BodyOf(page), "<html>contents</html>");
    EXPECT_TRUE(page.contains("Content-Type: text/html"));
    EXPECT_EQ(BodyOf(get("/")), "<html>contents</html>") << "the folder gives its contents page";
    EXPECT_TRUE(get("/style.css").contains("Content-Type: text/css"));

    EXPECT_EQ(StatusOf(get("/missing.html")), 404);
    EXPECT_EQ(StatusOf(get("/../secret.txt")), 403);
    EXPECT_EQ(StatusOf(get("/%2e%2e/secret.txt")), 403) << "a climb written in escapes";
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("secret.txt")), QDir(pages).filePath(QStringLiteral("out.txt"))));
    EXPECT_EQ(StatusOf(get("/out.txt")), 404) << "a link inside the folder to a file outside it";
    EXPECT_EQ(StatusOf(cv::THelpServer::Answer("POST /index.html HTTP/1.1\r\n\r\n", pages)), 405);
    EXPECT_EQ(StatusOf(cv::THelpServer::Answer("nonsense\r\n\r\n", pages)), 400);
    EXPECT_EQ(StatusOf(cv::THelpServer::Answer("GET /index.html HTTP/1.1\r\n\r\n", dir.file(QStringLiteral("none")))), 404);
    const QByteArray head = cv::THelpServer::Answer("HEAD /index.html HTTP/1.1\r\n\r\n", pages);
    EXPECT_EQ(StatusOf(head), 200);
    EXPECT_TRUE(BodyOf(head).isEmpty());
}

TEST_F(HelpServerTest, AFreshControllerServesTheHelpBesideItAndPointsTheToolsThere)
{
    qputenv("CV_SETTINGS_BUFFER", dir.file(QStringLiteral("settings.buf")).toLocal8Bit());
    qputenv("CV_MUTEX_NAME", QStringLiteral("cv-help-test-%1").arg(QCoreApplication::applicationPid()).toLocal8Bit());
    qputenv("CV_MESSAGE_SOCKET_DIR", dir.path().toLocal8Bit());
    QUrl base;
    {
        cv::TController::TOptions options;
        options.iniFile = dir.file(QStringLiteral("controller.ini")); // none: a fresh machine
        options.echo = false;
        options.readStdin = false;
        options.helpFolder = pages;
        options.logFile = dir.file(QStringLiteral("controller.log"));
        cv::TController controller(options);
        QString error;
        ASSERT_TRUE(controller.Start(&error)) << error.toStdString();

        EXPECT_EQ(cv::GetCVHelpAccessMode(), 1) << "help pages at the help address";
        EXPECT_EQ(QFileInfo(cv::GetHelpfilename()), QFileInfo(QDir(pages).filePath(QStringLiteral("index.html"))));
        base = QUrl(cv::GetCVHelpBaseAddress());
        EXPECT_EQ(base.scheme(), QStringLiteral("http"));
        EXPECT_EQ(base.host(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(base.toString(), controller.HelpAddress());
        EXPECT_GE(base.path().size(), 40) << "the address carries a key of the run";
        EXPECT_FALSE(cvtest::readAll(dir.file(QStringLiteral("controller.log"))).contains(base.path().toUtf8()))
            << "the key is not written to the log";
        EXPECT_EQ(StatusOf(Fetch(base, "GET /index.html HTTP/1.1\r\n\r\n")), 403) << "without the key";

        // What a browser gets for the address a tool opens (the key is in its path).
        const QByteArray answer =
            Fetch(base, "GET " + base.path().toUtf8() + "index.html?contextid=2700 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        EXPECT_EQ(StatusOf(answer), 200) << answer.toStdString();
        EXPECT_EQ(BodyOf(answer), "<html>contents</html>");
        // A client that never finishes its request gets an answer all the same.
        EXPECT_EQ(StatusOf(Fetch(base, QByteArray(9000, 'x'))), 431);
    }
    EXPECT_TRUE(cv::GetCVHelpBaseAddress().isEmpty()) << "no tool is sent to a server that has gone";
    cv::TSettingsBuffer::Instance().UsePrivate();
    cvtest::StartFromDefaults();
    for (const char* v : {"CV_SETTINGS_BUFFER", "CV_MUTEX_NAME", "CV_MESSAGE_SOCKET_DIR"})
        qunsetenv(v);
}

// The folder of a help file kept in a home folder: the help is served,
// the rest of the home folder is not, and nothing without the run's key.
TEST_F(HelpServerTest, OnlyTheHelpIsServedAndOnlyWithTheRunsKey)
{
    const QString home = dir.file(QStringLiteral("home"));
    for (const char* name : {"manual.html", "style.css", "pictures/plot.png", ".ssh/id_ed25519", ".config/corvantis/controller.ini",
                             "notes.txt", "letter.pdf", ".hidden.html"}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QDir(home).filePath(QLatin1String(name))).absolutePath()));
        dir.write(QStringLiteral("home/") + QLatin1String(name), QByteArray("contents of ") + name);
    }
    ASSERT_TRUE(QFile::link(QDir(home).filePath(QStringLiteral(".ssh/id_ed25519")), QDir(home).filePath(QStringLiteral("key.html"))));
    const QByteArray key(43, 'k');
    auto get = [&](const QByteArray& target) {
        return cv::THelpServer::AnswerWithKey("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", home, key);
    };
    EXPECT_EQ(StatusOf(get("/" + key + "/manual.html?contextid=2700")), 200);
    EXPECT_EQ(BodyOf(get("/" + key + "/manual.html")), "contents of manual.html");
    EXPECT_TRUE(get("/" + key + "/pictures/plot.png").contains("Content-Type: image/png"));
    EXPECT_TRUE(get("/" + key + "/style.css").contains("Referrer-Policy: no-referrer")) << "the key goes to no other site";
    const QByteArray bare = get("/" + key);
    EXPECT_EQ(StatusOf(bare), 301);
    EXPECT_TRUE(bare.contains("\r\nLocation: /" + key + "/\r\n"));

    for (const QByteArray& refused : {QByteArray("/manual.html"), "/" + QByteArray(43, 'j') + "/manual.html",
                                      "/" + key + "x/manual.html", "/" + key.left(42) + "/manual.html", QByteArray("//manual.html")})
        EXPECT_EQ(StatusOf(get(refused)), 403) << refused.toStdString();
    for (const QByteArray& hidden : {QByteArray("/.ssh/id_ed25519"), QByteArray("/.config/corvantis/controller.ini"),
                                     QByteArray("/%2essh/id_ed25519"), QByteArray("/notes.txt"), QByteArray("/letter.pdf"),
                                     QByteArray("/.hidden.html"), QByteArray("/key.html")}) {
        const QByteArray answer = get("/" + key + hidden);
        EXPECT_EQ(StatusOf(answer), 404) << hidden.toStdString();
        EXPECT_EQ(BodyOf(answer), cv::HelpNotFoundPage(QString::fromUtf8(QByteArray::fromPercentEncoding(hidden))));
        EXPECT_FALSE(answer.contains("contents of")) << hidden.toStdString();
    }
}

// Connections of the user's own programs are a few at a time: idle ones
// make room for the next, and the page is still served.
TEST_F(HelpServerTest, IdleConnectionsAreBoundedAndTheUsersPageStillComes)
{
    cv::THelpServer server([this] { return pages; });
    QString error;
    ASSERT_TRUE(server.Listen(&error)) << error.toStdString();
    const QUrl base = server.BaseAddress();
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(base.port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        idle.push_back(fd);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_LE(server.OpenConnections(), 16);
    const QByteArray answer = Fetch(base, "GET " + base.path().toUtf8() + "index.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(StatusOf(answer), 200) << answer.toStdString();
    for (int fd : idle)
        ::close(fd);
}

// Another user of the machine: even with the key their programs get
// nothing, and 4,000 idle connections of theirs (more than the descriptors
// the controller has) do not keep the user's browser from the page.
TEST_F(HelpServerTest, AnotherUsersConnectionsGetNothingAndCannotCrowdOutTheUsersPage)
{
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    cv::THelpServer server([this] { return pages; });
    QString error;
    ASSERT_TRUE(server.Listen(&error)) << error.toStdString();
    const QUrl base = server.BaseAddress();
    const QByteArray request = "GET " + base.path().toUtf8() + "index.html HTTP/1.1\r\n\r\n";
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // The other user: the page asked for with the key, then 4,000 idle connections.
        ::close(ready[0]);
        ::close(done[1]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(other->gid)) != 0 || ::setuid(uid_t(other->uid)) != 0)
            ::_exit(2);
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4200);
        ::setrlimit(RLIMIT_NOFILE, &files);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(base.port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int asked = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval wait{5, 0};
        ::setsockopt(asked, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char got[64] = {};
        if (::connect(asked, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0
            && ::write(asked, request.constData(), std::size_t(request.size())) == request.size())
            (void)::read(asked, got, sizeof got - 1);
        int opened = 0;
        for (int i = 0; i < 4000; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd >= 0 && (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS))
                ++opened;
        }
        const char report[2] = {std::strncmp(got, "HTTP/1.0 200", 12) == 0 ? 'Y' : 'N', opened == 4000 ? 'A' : 'S'};
        (void)::write(ready[1], report, 2);
        char end;
        (void)::read(done[0], &end, 1);
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::close(ready[1]);
    ::close(done[0]);
    // The controller's usual share of descriptors.
    rlimit before{};
    ::getrlimit(RLIMIT_NOFILE, &before);
    rlimit limited = before;
    limited.rlim_cur = std::min<rlim_t>(before.rlim_cur, 1024);
    ::setrlimit(RLIMIT_NOFILE, &limited);
    char report[2] = {};
    const QDeadlineTimer deadline(60000);
    pollfd wait{ready[0], POLLIN, 0};
    while (!deadline.hasExpired() && ::poll(&wait, 1, 0) == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(::read(ready[0], report, 2), 2);
    EXPECT_EQ(report[0], 'N') << "the other user got the page";
    EXPECT_EQ(report[1], 'A') << "the other user's connections were not all made";
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const QByteArray answer = Fetch(base, request);
    EXPECT_EQ(StatusOf(answer), 200) << answer.toStdString();
    EXPECT_LE(server.OpenConnections(), 64);
    ::close(done[1]);
    ::close(ready[0]);
    EXPECT_EQ(cvtest::waitForChild(child), 0);
    ::setrlimit(RLIMIT_NOFILE, &before);
}

} // namespace
