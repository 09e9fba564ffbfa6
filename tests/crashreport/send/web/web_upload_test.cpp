// Uploads: the body as bytes, then real uploads to php -S (which parses the
// multipart body as a PHP tracker would), to web_servers.py for the answer
// codes and the proxy, and to pyftpdlib for FTP.
#include "crashreport/send/web/web_upload.h"

#include "send_test_connection.h"
#include "support/test_support.h"
#include "crashreport/send/web_servers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using Progress = std::tuple<int, uint32_t, uint32_t>;

struct ProgressLog {
    std::vector<Progress> steps;
    cv::TUploadProgress callback()
    {
        return [this](uint8_t stage, uint32_t total, uint32_t done) { steps.emplace_back(stage, total, done); };
    }
};

TEST(BuildUploadBody, MissingFilesKeepTheirIndex)
{
    cvtest::TempDir dir;
    const std::string file = dir.write(QStringLiteral("a.zip"), QByteArray("zip")).toStdString();
    std::string body;
    cv::BuildUploadBody({dir.file(QStringLiteral("gone.zip")).toStdString(), file}, {"gone.zip", "BugReport__PC.zip"},
                        {"k=v"}, body, "XX");
    EXPECT_EQ(body, "--XX\r\nContent-Disposition: form-data; name=\"k\";\r\n\r\nv\r\n"
                    "--XX\r\nContent-Disposition: form-data; name=\"el_upload_file_1\"; filename=\"BugReport__PC.zip\";\r\n"
                    "Content-Type: application/octet-stream\r\n\r\nzip\r\n--XX--\r\n");
    EXPECT_EQ(cv::MakeUploadBoundary().size(), 39u);
}

TEST(FTPRemoteName, JoinsFolderAndFileName)
{
    EXPECT_EQ(cv::FTPRemoteName("in", "/tmp/r.zip"), "in/r.zip");
    EXPECT_EQ(cv::FTPRemoteName("in/", "r.zip"), "in/r.zip");
    EXPECT_EQ(cv::FTPRemoteName("", "r.zip"), "r.zip");
}

class PHPUpload : public testing::Test {
protected:
    void SetUp() override
    {
        if (!cvtest::havePhp())
            GTEST_SKIP() << "no php";
        cv::SetWebTimeouts({5000, 10000});
        server = cvtest::StartPHPServer(dir.path());
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }
    void TearDown() override { cv::SetWebTimeouts({}); }
    QJsonObject Parsed() const
    {
        return QJsonDocument::fromJson(cvtest::readAll(dir.file(QStringLiteral("parsed.json")))).object();
    }

    cvtest::TempDir dir;
    std::unique_ptr<cvtest::LocalServer> server;
};

TEST_F(PHPUpload, FilesAndFieldsArriveAsSent)
{
    QByteArray bytes(3000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    const std::string file = dir.write(QStringLiteral("r.zip"), bytes).toStdString();
    ProgressLog progress;
    std::string text = "stale";
    const int32_t result = cv::HTTPUploadFiles("127.0.0.1", "upload/index.php", "", text, progress.callback(),
                                               {"/nonexistent/x.zip", file}, {"x.zip", "BugReport__PC__20240101.zip"},
                                               {"EL_OSType=Linux", "note=a\r\nb"}, false, uint16_t(server->port()), "");
    ASSERT_EQ(result, 0) << text;
    EXPECT_TRUE(text.empty());
    const QJsonObject parsed = Parsed();
    EXPECT_EQ(parsed.value(QStringLiteral("uri")).toString(), "/upload/index.php");
    EXPECT_EQ(parsed.value(QStringLiteral("post")).toObject().value(QStringLiteral("EL_OSType")).toString(), "Linux");
    EXPECT_EQ(parsed.value(QStringLiteral("post")).toObject().value(QStringLiteral("note")).toString(), "a\r\nb");
    const QJsonObject files = parsed.value(QStringLiteral("files")).toObject();
    ASSERT_EQ(files.keys(), QStringList{QStringLiteral("el_upload_file_1")});
    const QJsonObject upload = files.value(QStringLiteral("el_upload_file_1")).toObject();
    EXPECT_EQ(upload.value(QStringLiteral("name")).toString(), "BugReport__PC__20240101.zip");
    EXPECT_EQ(upload.value(QStringLiteral("error")).toInt(), 0);
    EXPECT_EQ(QByteArray::fromBase64(upload.value(QStringLiteral("base64")).toString().toLatin1()), bytes);

    ASSERT_GE(progress.steps.size(), 5u);
    const uint32_t total = std::get<1>(progress.steps[0]);
    EXPECT_EQ(progress.steps[0], Progress(0, total, 0));
    EXPECT_EQ(progress.steps[1], Progress(1, total, 0));
    EXPECT_EQ(progress.steps[2], Progress(2, total, 1024));
    EXPECT_EQ(progress.steps.back(), Progress(2, total, total));
    EXPECT_EQ(progress.steps.size(), 2 + (total + 1023) / 1024);
}

TEST_F(PHPUpload, TheConnectionsMultipartBodyAsATrackerReadsIt)
{
    const std::string file = dir.write(QStringLiteral("BugReport.zip"), QByteArray("PK\3\4 data")).toStdString();
    auto connection = cv::CreateHTTPConnection<cvtest::RecordingConnection>(
        cvtest::ConnectionURL("http", "127.0.0.1", "tracker", server->port()), "");
    connection->SetRequest("bug_report.php", cv::rmBinaryPOST);
    connection->AddField("summary", "[v1.0 - 1]: E (AB12)");
    connection->AddField("steps", "one\r\ntwo");
    connection->Files.push_back("file=" + file);
    connection->Files.push_back("missing=/nonexistent/none.zip");
    cv::THTTPResponse response;
    ASSERT_TRUE(connection->SendRequest(response, false)) << response.ErrorMessage;
    const QJsonObject parsed = QJsonDocument::fromJson(QByteArray::fromStdString(response.HTML)).object();
    const QJsonObject post = parsed.value(QStringLiteral("post")).toObject();
    EXPECT_EQ(post.value(QStringLiteral("summary")).toString(), "[v1.0 - 1]: E (AB12)");
    EXPECT_EQ(post.value(QStringLiteral("steps")).toString(), "one\r\ntwo");
    const QJsonObject files = parsed.value(QStringLiteral("files")).toObject();
    EXPECT_EQ(files.value(QStringLiteral("file")).toObject().value(QStringLiteral("name")).toString(), "BugReport.zip");
    EXPECT_EQ(files.value(QStringLiteral("file")).toObject().value(QStringLiteral("size")).toInt(), 9);
    // A file that is not there reaches PHP as an empty file field ("no file was uploaded").
    EXPECT_EQ(files.value(QStringLiteral("missing")).toObject().value(QStringLiteral("error")).toInt(), 4);
}

class HTTPUploadAnswers : public testing::Test {
protected:
    void SetUp() override
    {
        if (!cvtest::haveDebianPython())
            GTEST_SKIP() << "no /usr/bin/python3";
        cv::SetWebTimeouts({5000, 10000});
        file = dir.write(QStringLiteral("r.zip"), QByteArray(100, 'r')).toStdString();
        log = dir.file(QStringLiteral("requests.log"));
        server = cvtest::StartWebServer(log);
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }
    void TearDown() override
    {
        cv::SetWebTimeouts({});
        cv::SetUploadProxy("", 0);
        cv::SetUploadProxyAuth("", "");
    }
    int32_t Upload(const std::string& path, std::string& text, const std::string& user = {}, const std::string& password = {})
    {
        return cv::HTTPUploadFiles("127.0.0.1", path, user, text, nullptr, {file}, {"r.zip"}, {}, false,
                                   uint16_t(server->port()), password);
    }

    cvtest::TempDir dir;
    std::string file;
    QString log;
    std::unique_ptr<cvtest::LocalServer> server;
};

struct AnswerCase {
    const char* path;
    int32_t result;
    const char* text;
};

class HTTPUploadAnswer : public HTTPUploadAnswers, public testing::WithParamInterface<AnswerCase> {};

TEST_P(HTTPUploadAnswer, GivesItsResult)
{
    std::string text;
    EXPECT_EQ(Upload(GetParam().path, text), GetParam().result);
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Statuses, HTTPUploadAnswer,
                         testing::Values(AnswerCase{"/upload.php", 0, ""}, AnswerCase{"/created.php", 201, "Made It"},
                                         AnswerCase{"/missing.php", 404, "Not Found"},
                                         AnswerCase{"/badstatus.php", cv::kUploadBadStatus, "12152 The server's answer could not be understood."},
                                         AnswerCase{"/see/post.php", 303, "See Other"}));

TEST_F(HTTPUploadAnswers, CredentialsProxyAndFailures)
{
    std::string text;
    EXPECT_EQ(Upload("basic.php", text), 401);
    EXPECT_EQ(Upload("basic.php", text, "webuser", "webpass"), 0);
    const QJsonArray requests = cvtest::readRequestLog(log);
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].toObject().value(QStringLiteral("path")).toString(), "/basic.php");
    EXPECT_TRUE(cvtest::recordedHeader(requests[1], QStringLiteral("Cookie")).isEmpty());

    const QString proxyLog = dir.file(QStringLiteral("proxy.log"));
    std::unique_ptr<cvtest::LocalServer> proxy;
    proxy = cvtest::StartProxyServer(proxyLog, QStringLiteral("pu"), QStringLiteral("pp"));
    ASSERT_TRUE(proxy->started()) << proxy->error().toStdString();
    cv::SetUploadProxy("127.0.0.1", uint16_t(proxy->port()));
    EXPECT_EQ(Upload("upload.php", text), 407);
    cv::SetUploadProxyAuth("pu", "pp");
    EXPECT_EQ(Upload("upload.php", text), 0);
    EXPECT_EQ(cvtest::readRequestLog(proxyLog).size(), 2);

    const int port = server->port();
    server.reset();
    cv::SetUploadProxy("", 0);
    text.clear();
    EXPECT_EQ(cv::HTTPUploadFiles("127.0.0.1", "/", "", text, nullptr, {file}, {"r.zip"}, {}, false, uint16_t(port), ""),
              12029);
    EXPECT_EQ(text.substr(0, 6), "12029 ");
}

TEST(HTTPSUpload, ToASelfSignedServer)
{
    if (!cvtest::haveDebianPython())
        GTEST_SKIP() << "no /usr/bin/python3";
    cvtest::TempDir dir;
    const QString log = dir.file(QStringLiteral("requests.log"));
    std::unique_ptr<cvtest::LocalServer> server;
    server = cvtest::StartWebServer(log, dir.path());
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    const std::string file = dir.write(QStringLiteral("r.zip"), QByteArray("abc")).toStdString();
    std::string text;
    EXPECT_EQ(cv::HTTPUploadFiles("127.0.0.1", "/upload.php", "", text, nullptr, {file}, {"r.zip"}, {"a=1"}, true,
                                  uint16_t(server->port()), ""),
              0)
        << text;
    const QJsonArray requests = cvtest::readRequestLog(log);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(cvtest::recordedBody(requests[0]).contains("name=\"el_upload_file_0\"; filename=\"r.zip\";"));
}

class FTPUpload : public testing::Test {
protected:
    void SetUp() override
    {
        if (!cvtest::haveDebianPython())
            GTEST_SKIP() << "no /usr/bin/python3";
        cv::SetWebTimeouts({5000, 10000});
        root = dir.file(QStringLiteral("root"));
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/in")));
        server = cvtest::StartFTPServer(root, QStringLiteral("ftpuser"), QStringLiteral("ftppass"));
        ASSERT_TRUE(server->started()) << server->error().toStdString();
        bytes = QByteArray(1500, 'f');
        bytes[0] = '\r';
        bytes[1] = '\n';
        file = dir.write(QStringLiteral("BugReport.zip"), bytes).toStdString();
    }
    void TearDown() override { cv::SetWebTimeouts({}); }
    int32_t Upload(const std::string& folder, const std::string& password, std::string& text, ProgressLog* progress = nullptr)
    {
        return cv::FTPUploadFiles("127.0.0.1", folder, "ftpuser", text, progress ? progress->callback() : nullptr,
                                  {"/nonexistent/gone.zip", file}, {"gone.zip", "/x/BugReport__PC.zip"},
                                  uint16_t(server->port()), password);
    }

    cvtest::TempDir dir;
    QString root;
    std::unique_ptr<cvtest::LocalServer> server;
    QByteArray bytes;
    std::string file;
};

TEST_F(FTPUpload, StoresEachFileInTheFolder)
{
    ProgressLog progress;
    std::string text;
    ASSERT_EQ(Upload("in", "ftppass", text, &progress), 0) << text;
    EXPECT_EQ(cvtest::readAll(root + QStringLiteral("/in/BugReport__PC.zip")), bytes);
    EXPECT_EQ(progress.steps, (std::vector<Progress>{Progress(0, 1500, 0), Progress(1, 1500, 0), Progress(2, 1500, 1024),
                                                     Progress(2, 1500, 2048)}));
    ASSERT_EQ(Upload("", "ftppass", text), 0) << text;
    EXPECT_TRUE(QFile::exists(root + QStringLiteral("/BugReport__PC.zip")));
}

TEST_F(FTPUpload, RefusalsGiveTheServersReply)
{
    std::string text;
    EXPECT_EQ(Upload("no/such/folder", "ftppass", text), 12003);
    EXPECT_EQ(text.substr(0, 4), "550 ") << text;
    EXPECT_EQ(Upload("in", "wrong", text), 12015);
    EXPECT_EQ(text.substr(0, 4), "530 ") << text;
    EXPECT_FALSE(QFile::exists(root + QStringLiteral("/in/BugReport__PC.zip")));
}

} // namespace
