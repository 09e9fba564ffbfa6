#pragma once
// The web servers the web-sending tests start on 127.0.0.1 (servers/:
// web_servers.py for pages, a proxy and FTP, tracker_sites.py for the fake
// bug trackers, php -S with multipart_echo.php) and what they recorded.

#include "local_servers.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "crashreport/send/context/send_context.h"

namespace cvtest {

bool haveDebianPython();
bool havePhp();

// web_servers.py's pages, recording each request in log; with tlsFolder it
// answers HTTPS with a certificate made there by openssl req -x509.
std::unique_ptr<LocalServer> StartWebServer(const QString& log, const QString& tlsFolder = {});
// A forward proxy that wants these Basic credentials.
std::unique_ptr<LocalServer> StartProxyServer(const QString& log, const QString& user, const QString& password);
// pyftpdlib with one user whose home is root.
std::unique_ptr<LocalServer> StartFTPServer(const QString& root, const QString& user, const QString& password);
// A fake tracker ("mantis", "bugzilla", "fogbugz") playing one scenario.
std::unique_ptr<LocalServer> StartTrackerSite(const QString& kind, const QString& scenario, const QString& log);
// php -S serving folder through multipart_echo.php, ready to accept.
std::unique_ptr<LocalServer> StartPHPServer(const QString& folder);

// The JSON lines a server recorded.
QJsonArray readRequestLog(const QString& file);
// A header of a recorded request (empty when absent; name without case).
QString recordedHeader(const QJsonValue& request, const QString& name);
QByteArray recordedBody(const QJsonValue& request);

// A send-progress dialog bound for a test's length that records what it is
// told, with the report being sent made of these options.
class RecordingSendDialog {
public:
    explicit RecordingSendDialog(const cv::TCrashboxModuleOptions* options = nullptr);
    ~RecordingSendDialog();
    std::vector<std::string> texts;
    std::vector<int> positions;
    int closes = 0;
};

// The core's internal warnings kept quiet (no trace on standard error) and
// cleared for a test's length.
class QuietWarnings {
public:
    QuietWarnings();
    ~QuietWarnings();
};

} // namespace cvtest
