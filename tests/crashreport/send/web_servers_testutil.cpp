#include "web_servers.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "crashreport/core/handler/internal_errors.h"

namespace cvtest {

namespace {

bool Accepts(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

bool MakeCertificate(const QString& folder, QString& cert, QString& key)
{
    cert = folder + QStringLiteral("/cert.pem");
    key = folder + QStringLiteral("/key.pem");
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
             QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
             QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("1"),
             QStringLiteral("-subj"), QStringLiteral("/CN=localhost")});
    return p.waitForFinished(20000) && p.exitCode() == 0 && QFileInfo::exists(cert);
}

} // namespace

bool haveDebianPython() { return QFileInfo::exists(debianPython()); }

bool havePhp() { return !QStandardPaths::findExecutable(QStringLiteral("php")).isEmpty(); }

std::unique_ptr<LocalServer> StartWebServer(const QString& log, const QString& tlsFolder)
{
    QStringList arguments{serverScript("web_servers.py"), QStringLiteral("http"), QStringLiteral("--log"), log};
    QString cert, key;
    if (!tlsFolder.isEmpty() && MakeCertificate(tlsFolder, cert, key))
        arguments << QStringLiteral("--cert") << cert << QStringLiteral("--key") << key;
    return std::make_unique<LocalServer>(debianPython(), arguments);
}

std::unique_ptr<LocalServer> StartProxyServer(const QString& log, const QString& user, const QString& password)
{
    return std::make_unique<LocalServer>(debianPython(),
                                         QStringList{serverScript("web_servers.py"), QStringLiteral("proxy"),
                                                     QStringLiteral("--log"), log, QStringLiteral("--user"), user,
                                                     QStringLiteral("--password"), password});
}

std::unique_ptr<LocalServer> StartFTPServer(const QString& root, const QString& user, const QString& password)
{
    return std::make_unique<LocalServer>(debianPython(),
                                         QStringList{serverScript("web_servers.py"), QStringLiteral("ftp"),
                                                     QStringLiteral("--root"), root, QStringLiteral("--user"), user,
                                                     QStringLiteral("--password"), password});
}

std::unique_ptr<LocalServer> StartTrackerSite(const QString& kind, const QString& scenario, const QString& log)
{
    return std::make_unique<LocalServer>(
        debianPython(), QStringList{serverScript("tracker_sites.py"), kind, scenario, QStringLiteral("--log"), log});
}

std::unique_ptr<LocalServer> StartPHPServer(const QString& folder)
{
    auto server = std::make_unique<LocalServer>(
        debianPython(), QStringList{serverScript("php_server.py"), folder, serverScript("multipart_echo.php")});
    for (int i = 0; server->started() && i < 200 && !Accepts(server->port()); ++i)
        QThread::msleep(25);
    return server;
}

QJsonArray readRequestLog(const QString& file)
{
    QJsonArray result;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    return result;
}

QString recordedHeader(const QJsonValue& request, const QString& name)
{
    for (const QJsonValue& pair : request.toObject().value(QStringLiteral("headers")).toArray())
        if (pair.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair.toArray().at(1).toString();
    return {};
}

QByteArray recordedBody(const QJsonValue& request)
{
    return QByteArray::fromBase64(request.toObject().value(QStringLiteral("body")).toString().toLatin1());
}

RecordingSendDialog::RecordingSendDialog(const cv::TCrashboxModuleOptions* options)
{
    cv::SetReportBeingSent({options, {}});
    cv::TSendDialogServices services;
    services.SetText = [this](const std::string& text) { texts.push_back(text); };
    services.SetPosition = [this](int percent) { positions.push_back(percent); };
    services.Close = [this] { ++closes; };
    cv::SetSendDialogServices(services);
    cv::SetSendCounters(1, 1);
}

RecordingSendDialog::~RecordingSendDialog()
{
    cv::SetSendDialogServices({});
    cv::ClearReportBeingSent();
}

QuietWarnings::QuietWarnings()
{
    cv::TInternalErrorServices services;
    services.DebugOutput = [](const std::string&) {};
    cv::SetInternalErrorServices(services);
    cv::ClearInternalWarning();
}

QuietWarnings::~QuietWarnings() { cv::SetInternalErrorServices({}); }

} // namespace cvtest
