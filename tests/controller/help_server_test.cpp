#include "controller/help_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include "controller/controller.h"
#include "suite/cvbuf.h"
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
        cv::TController controller(options);
        QString error;
        ASSERT_TRUE(controller.Start(&error)) << error.toStdString();

        EXPECT_EQ(cv::GetCVHelpAccessMode(), 1) << "help pages at the help address";
        EXPECT_EQ(QFileInfo(cv::GetHelpfilename()), QFileInfo(QDir(pages).filePath(QStringLiteral("index.html"))));
        base = QUrl(cv::GetCVHelpBaseAddress());
        EXPECT_EQ(base.scheme(), QStringLiteral("http"));
        EXPECT_EQ(base.host(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(base.toString(), controller.HelpAddress());

        // What a browser gets for the address a tool opens.
        const QByteArray answer = Fetch(base, "GET /index.html?contextid=2700 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
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

} // namespace
