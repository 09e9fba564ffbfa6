#include "web_test_server.h"

#include "crashreport/core/internal_errors.h"
#include "support/test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cvtest {

namespace {

const QString kDebianPython = QStringLiteral("/usr/bin/python3");

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nobody listens on now.
int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

TestServer::~TestServer() { stop(); }

bool TestServer::startScript(const QString& script, const QStringList& args)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(kDebianPython, QStringList{QStringLiteral("-u"), script} + args);
    if (!m_process->waitForStarted(5000)) {
        m_error = m_process->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (!m_process->waitForReadyRead(int(deadline.remainingTime())))
            break;
        out += m_process->readAllStandardOutput();
    }
    if (!out.startsWith("PORT ")) {
        m_error = QString::fromUtf8(out + m_process->readAllStandardError());
        stop();
        return false;
    }
    m_port = out.mid(5, out.indexOf('\n') - 5).trimmed().toInt();
    return m_port > 0;
}

bool TestServer::startWeb(const QString& log, const QString& tlsFolder)
{
    QStringList args{QStringLiteral("http"), QStringLiteral("--log"), log};
    if (!tlsFolder.isEmpty()) {
        QString cert, key;
        if (!makeCertificate(tlsFolder, cert, key)) {
            m_error = QStringLiteral("openssl could not make a certificate");
            return false;
        }
        args << QStringLiteral("--cert") << cert << QStringLiteral("--key") << key;
    }
    return startScript(sendTestScript(QStringLiteral("web_servers.py")), args);
}

bool TestServer::startProxy(const QString& log, const QString& user, const QString& password)
{
    return startScript(sendTestScript(QStringLiteral("web_servers.py")),
                       {QStringLiteral("proxy"), QStringLiteral("--log"), log, QStringLiteral("--user"), user,
                        QStringLiteral("--password"), password});
}

bool TestServer::startFtp(const QString& root, const QString& user, const QString& password)
{
    return startScript(sendTestScript(QStringLiteral("web_servers.py")),
                       {QStringLiteral("ftp"), QStringLiteral("--root"), root, QStringLiteral("--user"), user,
                        QStringLiteral("--password"), password});
}

bool TestServer::startPhp(const QString& folder, const QString& router)
{
    const int port = FreePort();
    m_process = std::make_unique<QProcess>();
    m_process->setWorkingDirectory(folder);
    m_process->start(QStringLiteral("php"), QStringList{QStringLiteral("-S"),
                                                        QStringLiteral("127.0.0.1:%1").arg(port), router});
    if (!m_process->waitForStarted(5000)) {
        m_error = m_process->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (Accepts(port)) {
            m_port = port;
            return true;
        }
        m_process->waitForFinished(50);
        if (m_process->state() != QProcess::Running)
            break;
    }
    m_error = QString::fromUtf8(m_process->readAllStandardError());
    stop();
    return false;
}

void TestServer::stop()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process.reset();
}

std::string TestServer::url(const std::string& path, bool https) const
{
    return (https ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
}

QuietWarnings::QuietWarnings()
{
    cv::TInternalErrorServices services;
    services.DebugOutput = [](const std::string&) {};
    cv::SetInternalErrorServices(services);
    cv::ClearInternalWarning();
}

QuietWarnings::~QuietWarnings() { cv::SetInternalErrorServices({}); }

QString sendTestScript(const QString& name)
{
    return QDir::cleanPath(testDataDir() + QStringLiteral("/../crashreport/send/") + name);
}

bool haveDebianPython() { return QFileInfo::exists(kDebianPython); }

bool havePhp() { return !QStandardPaths::findExecutable(QStringLiteral("php")).isEmpty(); }

bool makeCertificate(const QString& folder, QString& cert, QString& key)
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

} // namespace cvtest
