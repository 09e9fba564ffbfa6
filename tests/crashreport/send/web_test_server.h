#pragma once
// Servers the web-sending tests start on 127.0.0.1 (web_servers.py, php -S,
// the fake bug trackers) and stop when the test ends, and the requests they
// recorded.

#include <QByteArray>
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace cvtest {

class TestServer {
public:
    TestServer() = default;
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Starts one mode of web_servers.py (Debian's python, which has
    // pyftpdlib); waits for its "PORT n" line.
    bool startScript(const QString& script, const QStringList& args);
    // The modes of web_servers.py. With tlsFolder, the web server answers
    // HTTPS with a certificate made there.
    bool startWeb(const QString& log, const QString& tlsFolder = {});
    bool startProxy(const QString& log, const QString& user, const QString& password);
    bool startFtp(const QString& root, const QString& user, const QString& password);
    // php -S on a free port with the folder and router script.
    bool startPhp(const QString& folder, const QString& router);
    void stop();

    int port() const { return m_port; }
    QString error() const { return m_error; }
    // "http://127.0.0.1:<port>" + path (or https).
    std::string url(const std::string& path = {}, bool https = false) const;

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
};

// The core's internal warnings kept quiet (no trace on standard error) and
// cleared for a test's length.
class QuietWarnings {
public:
    QuietWarnings();
    ~QuietWarnings();
};

// A script of this folder of the sources.
QString sendTestScript(const QString& name);
// True when Debian's python 3 with pyftpdlib is there.
bool haveDebianPython();
bool havePhp();
// A self-signed certificate and key made with openssl req -x509 in folder.
bool makeCertificate(const QString& folder, QString& cert, QString& key);
// The JSON lines a server recorded.
QJsonArray readRequestLog(const QString& file);
// A header of a recorded request (empty when absent; name without case).
QString recordedHeader(const QJsonValue& request, const QString& name);
QByteArray recordedBody(const QJsonValue& request);

} // namespace cvtest
