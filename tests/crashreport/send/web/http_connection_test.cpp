// The HTTP connection: URL forms, encodings and the multipart body as
// bytes; then real exchanges with web_servers.py on 127.0.0.1 (plain, over
// TLS with a certificate made here, and through a proxy that checks its
// credentials), whose recorded requests are checked.
#include "crashreport/send/web/http_connection.h"

#include "send_test_connection.h"
#include "support/test_support.h"
#include "crashreport/send/web_servers.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using cv::THTTPResponse;
using cvtest::ConnectionURL;
using cvtest::RecordingConnection;

// --- URL forms ---

struct URLCase {
    const char* url;
    const char* scheme;
    const char* user;
    int port;
    const char* folder;
    const char* host;
    const char* password;
};

class ParseConnectionURLTest : public testing::TestWithParam<URLCase> {};

TEST_P(ParseConnectionURLTest, GivesTheParts)
{
    const URLCase& c = GetParam();
    const cv::TConnectionURLParts parts = cv::ParseConnectionURL(c.url);
    EXPECT_EQ(parts.Scheme, c.scheme);
    EXPECT_EQ(parts.UserName, c.user);
    EXPECT_EQ(parts.Port, c.port);
    EXPECT_EQ(parts.Folder, c.folder);
    EXPECT_EQ(parts.Host, c.host);
    EXPECT_EQ(parts.Password, c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseConnectionURLTest,
    testing::Values(URLCase{"https://bugs.example.org/tracker", "https", "", 0, "tracker", "bugs.example.org", ""},
                    URLCase{"  http://U:P@host.example/x:8080 ", "http", "U", 8080, "x", "host.example", "P"},
                    URLCase{"http://host.example:81", "http", "", 81, "", "host.example", ""},
                    URLCase{"host.example/a/b/", "", "", 0, "a/b", "host.example", ""},
                    // A port followed by a folder is no port: the colon cuts a user name instead.
                    URLCase{"http://host:8080/x", "http", "host", 0, "x", "8080", ""},
                    URLCase{"", "", "", 0, "", "", ""}));

TEST(AddURLPortAndCredentials, ReadsBackAsThePartsItWasMadeOf)
{
    std::string url = "http://host.example/x";
    cv::AddURLPortAndCredentials(url, "U", "P", 8080);
    EXPECT_EQ(url, "http://U:P@host.example/x:8080");
    const cv::TConnectionURLParts parts = cv::ParseConnectionURL(url);
    EXPECT_EQ(parts.Scheme, "http");
    EXPECT_EQ(parts.Host, "host.example");
    EXPECT_EQ(parts.Folder, "x");
    EXPECT_EQ(parts.UserName, "U");
    EXPECT_EQ(parts.Password, "P");
    EXPECT_EQ(parts.Port, 8080);

    std::string bare = "host.example";
    cv::AddURLPortAndCredentials(bare, "", "secret", 0);
    EXPECT_EQ(bare, ":secret@host.example");
}

TEST(HTTPConnection, CreateReadsTheURLAndTheProxy)
{
    RecordingConnection https("https://bugs.example.org/tracker", "");
    EXPECT_EQ(https.Host, "bugs.example.org");
    EXPECT_EQ(https.Port, 443);
    EXPECT_TRUE(https.UseHTTPS);
    EXPECT_EQ(https.BasePath, "tracker/");
    EXPECT_FALSE(https.UseProxy);
    https.SetRequest("login.php", cv::rmPOST);
    EXPECT_EQ(https.Path, "tracker/login.php");

    RecordingConnection plain("HTTP://host.example/a?x=1", "proxy.example");
    EXPECT_EQ(plain.Port, 80);
    EXPECT_FALSE(plain.UseHTTPS);
    EXPECT_EQ(plain.BasePath, "a/");
    EXPECT_TRUE(plain.UseProxy);
    EXPECT_EQ(plain.ProxySetting.Server, "proxy.example");
    EXPECT_EQ(plain.ProxySetting.Port, 8080);

    RecordingConnection credentials("http://host.example", "pu:pp@proxy.example:3128");
    EXPECT_EQ(credentials.BasePath, "/");
    EXPECT_EQ(credentials.ProxySetting.UserName, "pu");
    EXPECT_EQ(credentials.ProxySetting.Password, "pp");
    EXPECT_EQ(credentials.ProxySetting.Port, 3128);

    RecordingConnection none("http://host.example", ":3128");
    EXPECT_FALSE(none.UseProxy);
}

struct SplitCase {
    const char* path;
    const char* folder;
    const char* page;
    const char* query;
};

class SplitRequestPathTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitRequestPathTest, GivesFolderPageAndQuery)
{
    const cv::TRequestPathParts parts = cv::SplitRequestPath(GetParam().path);
    EXPECT_EQ(parts.Folder, GetParam().folder);
    EXPECT_EQ(parts.Page, GetParam().page);
    EXPECT_EQ(parts.Query, GetParam().query);
}

INSTANTIATE_TEST_SUITE_P(Forms, SplitRequestPathTest,
                         testing::Values(SplitCase{"tracker/login.php", "tracker/", "login.php", ""},
                                         SplitCase{"other.php?id=7", "", "other.php", "?id=7"},
                                         SplitCase{"http://h:1/a/b/c.php?x=1/2", "/a/b/", "c.php", "?x=1/2"},
                                         SplitCase{"https://h", "/", "", ""},
                                         SplitCase{"https://h/", "/", "", ""}));

TEST(URLEncode, KeepsLettersAndDigitsOnly)
{
    EXPECT_EQ(cv::URLEncode("aZ09"), "aZ09");
    EXPECT_EQ(cv::URLEncode("-. x"), "%2D%2E%20x");
    EXPECT_EQ(cv::URLEncode("\xC3\xA9&="), "%C3%A9%26%3D");
}

TEST(Multipart, BoundaryHasItsForm)
{
    const std::string boundary = cv::MakeMultipartBoundary();
    ASSERT_EQ(boundary.size(), 39u);
    EXPECT_EQ(boundary.substr(0, 27), std::string(27, '-'));
    EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEF", 27), std::string::npos);
}

TEST(Multipart, BodyIsFieldsThenFilesThenMissingFiles)
{
    cvtest::TempDir dir;
    const std::string file = dir.write(QStringLiteral("report.zip"), QByteArray("PK\x03\x04\r\n\0z", 8)).toStdString();
    const std::string body = cv::BuildMultipartBody({"gone=" + dir.file(QStringLiteral("nothing.zip")).toStdString(), "file=" + file},
                                                    {"a=1", "text=line\r\nnext"}, "BB");
    const std::string expected = std::string("--BB\r\nContent-Disposition: form-data; name=\"a\";\r\n\r\n1\r\n"
                                             "--BB\r\nContent-Disposition: form-data; name=\"text\";\r\n\r\nline\r\nnext\r\n"
                                             "--BB\r\nContent-Disposition: form-data; name=\"file\"; filename=\"report.zip\";\r\n"
                                             "Content-Type: application/octet-stream\r\n\r\n") +
                                 std::string("PK\x03\x04\r\n\0z", 8) +
                                 "\r\n--BB\r\nContent-Disposition: form-data; name=\"gone\"; filename=\"\";\r\n"
                                 "Content-Type: application/octet-stream\r\n\r\n\r\n--BB--\r\n";
    EXPECT_EQ(body, expected);
}

TEST(HTTPResponse, AssignRefusesANullSource)
{
    THTTPResponse response;
    try {
        response.Assign(nullptr);
        FAIL() << "a null source is refused";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a THTTPResponse class to a NIL value.");
    }
}

TEST(HTTPConnection, StatesMoveTheDialogAndShowTheirTexts)
{
    cvtest::RecordingSendDialog dialog;
    cv::SetSendDialogProgress(60);
    cv::THTTPConnection connection("http://host.example", "");
    connection.SetSendState(cv::ssConnecting, 0);
    connection.SetSendState(cv::ssConnected, 0);
    connection.SetSendState(cv::ssLogin, 0);
    connection.SetSendState(cv::ssSending, 50);
    connection.SetSendState(cv::ssSending, 0);
    connection.SetSendState(cv::ssSending, 100);
    connection.SetSendState(cv::ssSent, 0);
    EXPECT_EQ(dialog.positions, (std::vector<int>{60, 5, 10, 15, 68, 100, 100})) << "a new connection starts the bar again";
    EXPECT_EQ(dialog.texts.front(), "Message 1/1: Connecting with server...");
    EXPECT_EQ(dialog.texts.at(2), "Message 1/1: Login...");
    EXPECT_EQ(dialog.texts.back(), "Message 1/1: Message sent.");
}

TEST(WebErrorTexts, TableHoldsItsSeventySixCodes)
{
    int count = 0;
    for (int code = 12000; code < 12200; ++code) {
        const std::string_view text = cv::WebErrorTableText(code);
        if (text.empty())
            continue;
        ++count;
        EXPECT_EQ(text.substr(0, 6), std::to_string(code) + " ");
    }
    EXPECT_EQ(count, 76);
    EXPECT_TRUE(cv::WebErrorTableText(12034).empty());
    cv::SetLastServerResponseText({});
    EXPECT_EQ(cv::GetWinINetErrorText(12002).substr(0, 6), "12002 ");
    cv::SetLastServerResponseText("550 No such folder.\r\n");
    EXPECT_EQ(cv::GetWinINetErrorText(12003), "550 No such folder.\r\n");
    cv::SetLastServerResponseText({});
}

// --- Exchanges with a server ---

class HTTPExchange : public testing::Test {
protected:
    void SetUp() override
    {
        if (!cvtest::haveDebianPython())
            GTEST_SKIP() << "no /usr/bin/python3";
        cv::SetWebTimeouts({5000, 10000});
        log = dir.file(QStringLiteral("requests.log"));
        server = cvtest::StartWebServer(log);
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }
    void TearDown() override { cv::SetWebTimeouts({}); }

    cv::THTTPConnectionPtr Connect(const std::string& folder, const std::string& proxy = {}, const std::string& user = {},
                                   const std::string& password = {}, const std::string& host = "127.0.0.1")
    {
        return cv::CreateHTTPConnection<RecordingConnection>(ConnectionURL("http", host, folder, server->port(), user, password),
                                                             proxy, &states);
    }
    QJsonArray Requests() const { return cvtest::readRequestLog(log); }
    static QString Path(const QJsonValue& request) { return request.toObject().value(QStringLiteral("path")).toString(); }
    static QString Method(const QJsonValue& request) { return request.toObject().value(QStringLiteral("method")).toString(); }

    cvtest::TempDir dir;
    QString log;
    std::unique_ptr<cvtest::LocalServer> server;
    std::vector<RecordingConnection::State> states;
};

TEST_F(HTTPExchange, GetPutsTheFieldsInTheQuery)
{
    auto connection = Connect("f");
    connection->SetRequest("echo.php", cv::rmGET);
    connection->AddField("a", "1");
    connection->AddField("b", "x y");
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false)) << response.ErrorMessage;
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.StatusText, "OK");
    EXPECT_EQ(response.HTML, "ok");
    EXPECT_EQ(response.ReplayPage, "echo.php");
    EXPECT_NE(response.Header.find("Content-Length: 2\r\n"), std::string::npos);
    const QJsonArray requests = Requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(Method(requests[0]), "GET");
    EXPECT_EQ(Path(requests[0]), "/f/echo.php?a=1&b=x%20y");
    EXPECT_EQ(cvtest::recordedHeader(requests[0], QStringLiteral("User-Agent")), "Crashbox");
    EXPECT_TRUE(cvtest::recordedHeader(requests[0], QStringLiteral("Expect")).isEmpty());
    EXPECT_EQ(connection->LastResponse().HTML, "ok");
}

TEST_F(HTTPExchange, FormPostEncodesValuesAndKeepsTheLoginCookie)
{
    auto connection = Connect("");
    connection->SetRequest("login.php", cv::rmPOST);
    connection->AddField("user", "webuser");
    connection->AddField("pass", "web pass");
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.HTML, "welcome");
    connection->SetRequest("secret.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.HTML, "the secret");

    auto stranger = Connect("");
    stranger->SetRequest("secret.php", cv::rmGET);
    ASSERT_TRUE(stranger->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 403) << "cookies live with their connection only";

    const QJsonArray requests = Requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(cvtest::recordedHeader(requests[0], QStringLiteral("Content-Type")), "application/x-www-form-urlencoded");
    EXPECT_EQ(cvtest::recordedBody(requests[0]), "user=webuser&pass=web%20pass");
}

TEST_F(HTTPExchange, MultipartPostSendsTheBodyAsBuilt)
{
    const std::string file = dir.write(QStringLiteral("r.zip"), QByteArray(20000, 'z')).toStdString();
    auto connection = Connect("up");
    connection->SetRequest("upload.php", cv::rmBinaryPOST);
    connection->AddField("text", "a\r\nb");
    connection->Files.push_back("file=" + file);
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, true));
    const QJsonArray requests = Requests();
    ASSERT_EQ(requests.size(), 1);
    const QString type = cvtest::recordedHeader(requests[0], QStringLiteral("Content-Type"));
    ASSERT_TRUE(type.startsWith(QStringLiteral("multipart/form-data; boundary=")));
    const std::string boundary = type.mid(30).toStdString();
    const QByteArray body = cvtest::recordedBody(requests[0]);
    EXPECT_EQ(body.toStdString(), cv::BuildMultipartBody({"file=" + file}, {"text=a\r\nb"}, boundary));
    // Each 4096-byte chunk takes the bar toward 50, the whole body to 50, the answer to 100.
    using S = RecordingConnection::State;
    std::vector<S> expected = {S(cv::ssConnecting, 0), S(cv::ssConnected, 0)};
    for (qsizetype sent = 4096, chunk = 1; sent - 4096 < body.size(); sent += 4096, ++chunk)
        expected.emplace_back(cv::ssSending, std::min<int>(50, int(std::lround(chunk * 4096.0 / double(body.size()) * 100))));
    expected.insert(expected.end(), {S(cv::ssSending, 50), S(cv::ssSending, 100), S(cv::ssSent, 0)});
    EXPECT_EQ(states, expected);
    EXPECT_EQ(expected[2], S(cv::ssSending, 20));
}

TEST_F(HTTPExchange, ProgressFollowsTheAnswerInBlocks)
{
    auto connection = Connect("");
    connection->SetRequest("big.php", cv::rmGET);
    THTTPResponse response;
    states.clear();
    ASSERT_TRUE(connection->SendRequest(response, true));
    EXPECT_EQ(response.HTML.size(), 10000u);
    using S = RecordingConnection::State;
    EXPECT_EQ(states, (std::vector<S>{S(cv::ssSending, 50), S(cv::ssSending, 70), S(cv::ssSending, 91), S(cv::ssSending, 100),
                                      S(cv::ssSent, 0)}));
}

TEST_F(HTTPExchange, A302ChainIsFollowedAsGetsWithoutFields)
{
    auto connection = Connect("redir");
    connection->SetRequest("a.php", cv::rmPOST);
    connection->AddField("k", "v");
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.HTML, "<p>landed</p>");
    EXPECT_EQ(response.ReplayPage, "c.php");
    EXPECT_EQ(connection->RequestMethod, cv::rmGET);
    EXPECT_TRUE(connection->Fields.empty());
    const QJsonArray requests = Requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(Method(requests[0]) + Path(requests[0]), "POST/redir/a.php");
    EXPECT_EQ(Method(requests[1]) + Path(requests[1]), "GET/redir/b.php");
    EXPECT_EQ(Method(requests[2]) + Path(requests[2]), "GET/redir/deeper/c.php?x=1&y=2");
}

struct EndingRedirect {
    const char* page;
    int status;
    const char* replayPage;
};

class HTTPEndingRedirect : public HTTPExchange, public testing::WithParamInterface<EndingRedirect> {};

TEST_P(HTTPEndingRedirect, EndsWithTheNewPageNamed)
{
    auto connection = Connect("");
    connection->SetRequest(GetParam().page, cv::rmPOST);
    connection->AddField("k", "v");
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, GetParam().status);
    EXPECT_EQ(response.ReplayPage, GetParam().replayPage);
    EXPECT_EQ(Requests().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Statuses, HTTPEndingRedirect,
                         testing::Values(EndingRedirect{"see/post.php", 303, "other.php"},
                                         EndingRedirect{"move/post.php", 301, "new.php"}));

TEST_F(HTTPExchange, ARefreshHeaderIsFollowedLikeA302)
{
    auto connection = Connect("refresh");
    connection->SetRequest("start.php", cv::rmGET);
    THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.HTML, "refreshed");
    EXPECT_EQ(response.ReplayPage, "landing.php");
    const QJsonArray requests = Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(Path(requests[1]), "/refresh/landing.php");
}

TEST_F(HTTPExchange, ErrorStatusesAndControlCharactersAreAnswers)
{
    auto connection = Connect("");
    THTTPResponse response;
    connection->SetRequest("missing.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 404);
    EXPECT_EQ(response.StatusText, "Not Found");
    connection->SetRequest("ctrl.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.HTML, "a b  c d");
    connection->SetRequest("created.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.StatusText, "Made It");
}

TEST_F(HTTPExchange, BasicCredentialsFromTheURL)
{
    THTTPResponse response;
    auto anonymous = Connect("");
    anonymous->SetRequest("basic.php", cv::rmGET);
    ASSERT_TRUE(anonymous->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 401);
    auto known = Connect("", {}, "webuser", "webpass");
    known->SetRequest("basic.php", cv::rmGET);
    ASSERT_TRUE(known->SendRequest(response, false));
    EXPECT_EQ(response.HTML, "authorised");
}

TEST_F(HTTPExchange, BrokenAnswersFailWithTheirCodes)
{
    auto connection = Connect("");
    THTTPResponse response;
    connection->SetRequest("ctrl.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));

    THTTPResponse failed;
    connection->SetRequest("loop.php", cv::rmGET);
    EXPECT_FALSE(connection->SendRequest(failed, false));
    EXPECT_EQ(failed.ErrorCode, 12156);
    EXPECT_EQ(failed.ErrorMessage.substr(0, 6), "12156 ");
    EXPECT_EQ(Requests().size(), 2 + cv::THTTPConnectionBase::kMaxRedirects);

    connection->SetRequest("badstatus.php", cv::rmGET);
    EXPECT_FALSE(connection->SendRequest(failed, false));
    EXPECT_EQ(failed.ErrorCode, 12152);

    connection->SetRequest("cut.php", cv::rmGET);
    EXPECT_FALSE(connection->SendRequest(failed, false));
    EXPECT_TRUE(failed.ErrorCode == 12152 || failed.ErrorCode == 12030) << failed.ErrorCode;
    EXPECT_FALSE(failed.ErrorMessage.empty());
    EXPECT_EQ(connection->LastResponse().HTML, "a b  c d") << "the last good answer is kept";
}

TEST_F(HTTPExchange, SilenceEndsTheRequest)
{
    cv::SetWebTimeouts({5000, 1000});
    auto connection = Connect("");
    connection->SetRequest("silent.php", cv::rmGET);
    THTTPResponse response;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(connection->SendRequest(response, false));
    EXPECT_EQ(response.ErrorCode, 12002);
    EXPECT_LT(timer.elapsed(), 4000);
}

TEST_F(HTTPExchange, NoServerIsACannotConnect)
{
    const int port = server->port();
    server.reset();
    auto connection = cv::CreateHTTPConnection<RecordingConnection>(ConnectionURL("http", "127.0.0.1", "", port), "", &states);
    connection->SetRequest("x.php", cv::rmGET);
    THTTPResponse response;
    EXPECT_FALSE(connection->SendRequest(response, false));
    EXPECT_EQ(response.ErrorCode, 12029);
    connection.reset();
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0].first, cv::ssConnecting);
    EXPECT_EQ(states[1].first, cv::ssConnected);
    EXPECT_EQ(states[states.size() - 2].first, cv::ssDisconnecting);
    EXPECT_EQ(states.back().first, cv::ssDisconnected);
}

TEST_F(HTTPExchange, ThroughAProxyThatChecksItsCredentials)
{
    const QString proxyLog = dir.file(QStringLiteral("proxy.log"));
    std::unique_ptr<cvtest::LocalServer> proxy;
    proxy = cvtest::StartProxyServer(proxyLog, QStringLiteral("pu"), QStringLiteral("pp"));
    ASSERT_TRUE(proxy->started()) << proxy->error().toStdString();
    const std::string proxyText = "pu:pp@127.0.0.1:" + std::to_string(proxy->port());
    THTTPResponse response;
    auto connection = Connect("f", proxyText);
    connection->SetRequest("echo.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false)) << response.ErrorMessage;
    EXPECT_EQ(response.HTML, "ok");
    EXPECT_NE(response.Header.find("X-Through-Proxy: yes"), std::string::npos);

    auto refused = Connect("f", "pu:wrong@127.0.0.1:" + std::to_string(proxy->port()));
    refused->SetRequest("echo.php", cv::rmGET);
    ASSERT_TRUE(refused->SendRequest(response, false));
    EXPECT_EQ(response.StatusCode, 407);

    // A local name (no dot) goes around the proxy.
    auto local = Connect("f", proxyText, {}, {}, "localhost");
    local->SetRequest("local.php", cv::rmGET);
    ASSERT_TRUE(local->SendRequest(response, false)) << response.ErrorMessage;
    EXPECT_EQ(response.Header.find("X-Through-Proxy"), std::string::npos);

    const QJsonArray proxied = cvtest::readRequestLog(proxyLog);
    ASSERT_EQ(proxied.size(), 2);
    EXPECT_EQ(Path(proxied[0]), QStringLiteral("http://127.0.0.1:%1/f/echo.php").arg(server->port()));
    EXPECT_EQ(Requests().size(), 2) << "the proxied request and the local one";
}

TEST(HTTPSExchange, SelfSignedServerWithRedirectsAndCookies)
{
    if (!cvtest::haveDebianPython())
        GTEST_SKIP() << "no /usr/bin/python3";
    cvtest::TempDir dir;
    const QString log = dir.file(QStringLiteral("requests.log"));
    std::unique_ptr<cvtest::LocalServer> server;
    server = cvtest::StartWebServer(log, dir.path());
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    cv::SetWebTimeouts({5000, 10000});
    auto connection = cv::CreateHTTPConnection<RecordingConnection>(ConnectionURL("https", "127.0.0.1", "", server->port()), "");
    EXPECT_TRUE(connection->UseHTTPS);
    THTTPResponse response;
    connection->SetRequest("login.php", cv::rmPOST);
    connection->AddField("user", "webuser");
    connection->AddField("pass", "web pass");
    ASSERT_TRUE(connection->SendRequest(response, false)) << response.ErrorMessage;
    // The second redirect names an http address: only its path is taken, the scheme stays.
    connection->SetRequest("redir/a.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false)) << response.ErrorMessage;
    EXPECT_EQ(response.HTML, "<p>landed</p>");
    connection->SetRequest("secret.php", cv::rmGET);
    ASSERT_TRUE(connection->SendRequest(response, false));
    EXPECT_EQ(response.HTML, "the secret");
    EXPECT_EQ(cvtest::readRequestLog(log).size(), 5);
    cv::SetWebTimeouts({});
}

} // namespace
