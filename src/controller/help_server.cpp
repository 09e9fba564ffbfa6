#include "controller/help_server.h"

#include "controller/help_not_found.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace cv {

namespace {

// A request line and headers larger than this are refused.
constexpr qsizetype kMaxRequest = 8192;
// Pages, styles and pictures of the help are small.
constexpr qint64 kMaxFile = 16 * 1024 * 1024;
// A client that sends nothing whole within this time is dropped.
constexpr int kRequestTimeoutMs = 10000;

QByteArray Status(int code, const QByteArray& reason, const QByteArray& body = {})
{
    const QByteArray text = body.isEmpty() ? QByteArray::number(code) + ' ' + reason + '\n' : body;
    return "HTTP/1.0 " + QByteArray::number(code) + ' ' + reason +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(text.size()) +
           "\r\nConnection: close\r\n\r\n" + text;
}

QByteArray ContentType(const QString& suffix)
{
    const QString s = suffix.toLower();
    if (s == u"html" || s == u"htm")
        return "text/html; charset=utf-8";
    if (s == u"css")
        return "text/css; charset=utf-8";
    if (s == u"js")
        return "text/javascript; charset=utf-8";
    if (s == u"png")
        return "image/png";
    if (s == u"svg")
        return "image/svg+xml";
    if (s == u"jpg" || s == u"jpeg")
        return "image/jpeg";
    if (s == u"txt")
        return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

} // namespace

THelpServer::THelpServer(std::function<QString()> root, QObject* parent)
    : QObject(parent), m_root(std::move(root)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &THelpServer::Accept);
}

THelpServer::~THelpServer() = default;

bool THelpServer::Listen(QString* error)
{
    if (m_server->listen(QHostAddress::LocalHost, 0))
        return true;
    if (error)
        *error = QStringLiteral("Cannot serve the help pages on 127.0.0.1: %1").arg(m_server->errorString());
    return false;
}

QUrl THelpServer::BaseAddress() const
{
    if (!m_server->isListening())
        return {};
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server->serverPort()));
}

void THelpServer::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void THelpServer::Read(QTcpSocket* socket)
{
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    const bool whole = pending.contains("\r\n\r\n") || pending.contains("\n\n");
    if (!whole && pending.size() <= kMaxRequest)
        return;
    const QByteArray answer = pending.size() > kMaxRequest && !whole
                                  ? Status(431, "Request Header Fields Too Large")
                                  : Answer(pending, m_root ? m_root() : QString());
    m_pending.remove(socket);
    socket->write(answer);
    socket->disconnectFromHost();
}

QByteArray THelpServer::Answer(const QByteArray& request, const QString& root)
{
    const qsizetype eol = request.indexOf('\n');
    const QList<QByteArray> parts = request.left(eol < 0 ? request.size() : eol).trimmed().split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/"))
        return Status(400, "Bad Request");
    const QByteArray& method = parts[0];
    const bool head = method == "HEAD";
    if (method != "GET" && !head)
        return Status(405, "Method Not Allowed");

    // The path alone: the query and the fragment are the page's business.
    QByteArray target = parts[1];
    for (char stop : {'?', '#'}) {
        const qsizetype at = target.indexOf(stop);
        if (at >= 0)
            target.truncate(at);
    }
    if (!target.startsWith('/'))
        return Status(400, "Bad Request");
    const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(target));
    if (path.contains(QChar(0)) || path.contains(u'\\'))
        return Status(400, "Bad Request");
    // No part may climb out of the folder.
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts))
        if (part == u"..")
            return Status(403, "Forbidden");

    const QString rootPath = root.isEmpty() ? QString() : QFileInfo(root).canonicalFilePath();
    if (rootPath.isEmpty())
        return Status(404, "Not Found", "The help pages are not installed.\n");
    QString wanted = QDir(rootPath).filePath(path.mid(1));
    if (path.endsWith(u'/'))
        wanted = QDir(wanted).filePath(QStringLiteral("index.html"));
    const QString real = QFileInfo(wanted).canonicalFilePath();
    // A link inside the folder may not lead out of it either.
    if (real.isEmpty() || !QFileInfo(real).isFile() || !real.startsWith(rootPath + u'/'))
        return HelpNotFoundAnswer(path, head);
    QFile file(real);
    if (file.size() > kMaxFile || !file.open(QIODevice::ReadOnly))
        return HelpNotFoundAnswer(path, head);
    const QByteArray body = head ? QByteArray() : file.readAll();
    return "HTTP/1.0 200 OK\r\nContent-Type: " + ContentType(QFileInfo(real).suffix()) +
           "\r\nContent-Length: " + QByteArray::number(file.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace cv
