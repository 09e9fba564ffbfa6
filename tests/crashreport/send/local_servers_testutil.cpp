#include "local_servers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/send/mail/client_socket.h"
#include "crashreport/send/mail/dns_mx.h"

namespace cvtest {

QString debianPython() { return QStringLiteral("/usr/bin/python3"); }

QString pathPython()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("python3"));
    return found.isEmpty() ? debianPython() : found;
}

QString serverScript(const char* name) { return QStringLiteral(CV_SEND_SERVERS "/") + QString::fromUtf8(name); }

LocalServer::LocalServer(const QString& program, const QStringList& arguments, bool announcesPort)
    : m_process(std::make_unique<QProcess>())
{
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setProcessChannelMode(announcesPort ? QProcess::SeparateChannels : QProcess::MergedChannels);
    m_process->start();
    if (!m_process->waitForStarted(5000)) {
        m_error = m_process->errorString();
        return;
    }
    if (!announcesPort) {
        m_started = true;
        return;
    }
    QByteArray out;
    while (!out.contains('\n') && m_process->waitForReadyRead(10000))
        out += m_process->readAllStandardOutput();
    const QList<QByteArray> words = out.trimmed().split(' ');
    if (words.size() == 2 && words[0] == "PORT") {
        m_port = uint16_t(words[1].toUInt());
        m_started = m_port != 0;
    }
    if (!m_started)
        m_error = QString::fromUtf8(out + m_process->readAllStandardError());
}

void LocalServer::fail(const QString& why)
{
    m_started = false;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_error = why + QStringLiteral(": ") + QString::fromUtf8(m_process->readAll()).trimmed();
}

LocalServer::~LocalServer()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

std::string SocketErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const cv::ECrashboxSocketError& e) {
        return e.what();
    }
    return "<no error>";
}

namespace {

// Binds the socket to a port of 127.0.0.1 that the system chooses free:
// its number, 0 when the bind is refused.
uint16_t BindToFreeLoopbackPort(int socket)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return 0;
    return ntohs(a.sin_port);
}

} // namespace

uint16_t FreePort(bool tcp)
{
    const int s = ::socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    const uint16_t port = BindToFreeLoopbackPort(s);
    ::close(s);
    return port;
}

RefusingPort::RefusingPort() : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_port(BindToFreeLoopbackPort(m_socket)) {}

RefusingPort::~RefusingPort()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

uint16_t FreeUDPAndTCPPort()
{
    // The system's choice of a free TCP port (not one that a connection
    // closed a moment ago still holds), then the same UDP port, if free.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        uint16_t port = BindToFreeLoopbackPort(tcp);
        if (port != 0) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port);
            const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (::bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                port = 0;
            ::close(udp);
        }
        ::close(tcp);
        if (port != 0)
            return port;
    }
    return 0;
}

std::unique_ptr<LocalServer> StartSMTPServer(const QString& folder, const QString& host, uint16_t port,
                                             const QString& user, const QString& password)
{
    QDir().mkpath(folder);
    QStringList arguments{serverScript("smtp_server.py"), QStringLiteral("--host"), host, QStringLiteral("--port"),
                          QString::number(port), QStringLiteral("--dir"), folder};
    if (!user.isEmpty())
        arguments << QStringLiteral("--user") << user << QStringLiteral("--password") << password;
    return std::make_unique<LocalServer>(debianPython(), arguments);
}

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (uint8_t(c) < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            json += "\\u00";
            json += kHex[uint8_t(c) >> 4];
            json += kHex[c & 15];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::unique_ptr<LocalServer> StartTCPPeer(const TempDir& dir, const QString& scriptJson, QString& record)
{
    static int count = 0;
    const QString name = QStringLiteral("peer%1").arg(++count);
    const QString script = dir.write(name + QStringLiteral(".json"), scriptJson.toUtf8());
    record = dir.file(name + QStringLiteral(".record"));
    return std::make_unique<LocalServer>(
        pathPython(), QStringList{serverScript("tcp_peer.py"), QStringLiteral("--script"), script,
                                  QStringLiteral("--record"), record});
}

std::unique_ptr<LocalServer> StartDNSPeer(const TempDir& dir, const QStringList& repliesHex, QString& record,
                                          const QString& host, uint16_t port)
{
    static int count = 0;
    record = dir.file(QStringLiteral("dns%1.record").arg(++count));
    QStringList arguments{serverScript("dns_peer.py"), QStringLiteral("--record"), record, QStringLiteral("--host"), host,
                          QStringLiteral("--port"), QString::number(port)};
    for (const QString& reply : repliesHex)
        arguments << QStringLiteral("--reply") << reply;
    return std::make_unique<LocalServer>(pathPython(), arguments);
}

std::unique_ptr<LocalServer> StartDnsmasq(uint16_t port, const QStringList& mxHosts)
{
    QStringList arguments{QStringLiteral("--port=%1").arg(port),
                          QStringLiteral("--no-daemon"),
                          QStringLiteral("--no-resolv"),
                          QStringLiteral("--no-hosts"),
                          QStringLiteral("--conf-file=/dev/null"),
                          QStringLiteral("--listen-address=127.0.0.1"),
                          QStringLiteral("--bind-interfaces")};
    for (const QString& mx : mxHosts)
        arguments << QStringLiteral("--mx-host=") + mx;
    auto server = std::make_unique<LocalServer>(QStringLiteral("/usr/sbin/dnsmasq"), arguments, false);
    if (!server->started())
        return server;
    // Ready when it answers a query.
    const std::string query = cv::BuildMXQuery("ready.test");
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    bool ready = false;
    for (int attempt = 0; attempt < 100 && !ready && server->running(); ++attempt) {
        ::sendto(s, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
            char buffer[512];
            ready = ::recv(s, buffer, sizeof buffer, 0) > 0;
        }
    }
    ::close(s);
    if (!ready)
        server->fail(QStringLiteral("dnsmasq did not answer on port %1").arg(port));
    return server;
}

QStringList ArchiveMembers(const QString& mode, const QString& file, const QString& folder, int index)
{
    QDir().mkpath(folder);
    QProcess p;
    p.start(pathPython(), {serverScript("report_archive.py"), mode, file, folder, QString::number(index)});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::vector<QByteArray> KeptMessages(const QString& folder)
{
    std::vector<QByteArray> messages;
    const QDir d(folder);
    for (const QString& name : d.entryList({QStringLiteral("msg-*.json")}, QDir::Files, QDir::Name)) {
        QProcess p;
        p.start(pathPython(), {serverScript("read_message.py"), d.filePath(name)});
        if (p.waitForFinished(10000) && p.exitCode() == 0)
            messages.push_back(p.readAllStandardOutput());
        else
            messages.push_back(QByteArray("ERROR ") + p.readAllStandardError());
    }
    return messages;
}

std::vector<RecordedQuery> RecordedQueries(const QString& record)
{
    std::vector<RecordedQuery> queries;
    QFile f(record);
    if (!f.open(QIODevice::ReadOnly))
        return queries;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2)
            queries.push_back({words[0].toLongLong(), QByteArray::fromHex(words[1]).toStdString()});
    }
    return queries;
}

void SendTest::SetUp()
{
    m_saved = cv::MailSettings();
    settings = cv::TMailSettings{};
    settings.ResolvConfPath = dir.file(QStringLiteral("no-resolv.conf")).toStdString();
    settings.FallbackDNSServer = "127.0.0.1";
    settings.DNSPort = FreeUDPAndTCPPort();
    settings.MailClientCommand = "/nonexistent/mail-client";
    settings.MailtoCommand = "/nonexistent/mailto \"%1\"";
    settings.SMTPTimeout = 3000;
    settings.ReplySilence = 60;
    apply();
    cv::ClearInternalWarning();
}

void SendTest::TearDown() { cv::SetMailSettings(m_saved); }

} // namespace cvtest
