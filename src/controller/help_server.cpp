#include "controller/help_server.h"

#include "controller/help_not_found.h"
#include "suite/loopback_peer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <array>

namespace cv {

namespace {

// A request line and headers larger than this are refused.
constexpr qsizetype kMaxRequest = 8192;
// Pages, styles and pictures of the help are small.
constexpr qint64 kMaxFile = 16 * 1024 * 1024;
// A client that sends nothing whole within this time is dropped.
constexpr int kRequestTimeoutMs = 10000;
// A browser opens six connections to a server at most.
constexpr int kMaxPerCaller = 16;
constexpr int kMaxConnections = 64;
// After the system refused to accept (no descriptor left), accepting resumes.
constexpr int kAcceptPauseMs = 200;

// What a help is made of, and its type.
struct TKind {
    const char16_t* suffix;
    const char* type;
};
constexpr std::array<TKind, 11> kKinds{{
    {u"html", "text/html; charset=utf-8"},
    {u"htm", "text/html; charset=utf-8"},
    {u"css", "text/css; charset=utf-8"},
    {u"js", "text/javascript; charset=utf-8"},
    {u"png", "image/png"},
    {u"svg", "image/svg+xml"},
    {u"jpg", "image/jpeg"},
    {u"jpeg", "image/jpeg"},
    {u"gif", "image/gif"},
    {u"webp", "image/webp"},
    {u"ico", "image/x-icon"},
}};

// The type of a file of the help; empty for a file that is no part of one.
QByteArray ContentType(const QString& suffix)
{
    const QString s = suffix.toLower();
    for (const TKind& kind : kKinds)
        if (s == QStringView(kind.suffix))
            return kind.type;
    return {};
}

QByteArray Response(int code, const QByteArray& reason, const QByteArray& type, const QByteArray& body,
                    const QByteArray& moreHeaders = {}, qint64 length = -1)
{
    return "HTTP/1.0 " + QByteArray::number(code) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(length >= 0 ? length : body.size()) +
           // The key is in the page's address: it goes to no other site.
           "\r\nReferrer-Policy: no-referrer" + moreHeaders + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray Status(int code, const QByteArray& reason, const QByteArray& body = {})
{
    const QByteArray text = body.isEmpty() ? QByteArray::number(code) + ' ' + reason + '\n' : body;
    return Response(code, reason, "text/plain; charset=utf-8", text);
}

// A page that is not there: a page of the help that says so (a HEAD request
// gets the headers alone, with the page's length).
QByteArray NotFound(const QString& path, bool head)
{
    const QByteArray page = HelpNotFoundPage(path);
    return Response(404, "Not Found", "text/html; charset=utf-8", head ? QByteArray() : page, {}, page.size());
}

// Whether a name is hidden (a dot-file or dot-folder): never served.
bool Hidden(const QString& relativePath)
{
    for (const QString& part : relativePath.split(u'/', Qt::SkipEmptyParts))
        if (part.startsWith(u'.'))
            return true;
    return false;
}

// Compares in a time that does not tell how much of the key was right.
bool SameKey(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char differ = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

// 256 random bits from the system's source, as text fit for a path.
QByteArray NewKey()
{
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

THelpServer::THelpServer(std::function<QString()> root, QObject* parent)
    : QObject(parent), m_root(std::move(root)), m_server(new QTcpServer(this)), m_key(NewKey())
{
    connect(m_server, &QTcpServer::newConnection, this, &THelpServer::Accept);
    // Out of descriptors the server stops accepting; it takes up again.
    connect(m_server, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(kAcceptPauseMs, m_server, [this] { m_server->resumeAccepting(); }); });
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
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2/").arg(m_server->serverPort()).arg(QString::fromLatin1(m_key)));
}

quint16 THelpServer::Port() const { return m_server->isListening() ? m_server->serverPort() : 0; }

void THelpServer::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        const TLoopbackPeer peer = LoopbackPeer(socket->localAddress().toIPv4Address(), socket->localPort(),
                                                socket->peerAddress().toIPv4Address(), socket->peerPort());
        // Another user's program gets nothing, and holds nothing of ours.
        if (peer.known && !peer.thisUser) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const qint64 caller = peer.known ? qint64(peer.uid) : -1;
        // Room for the newcomer: the oldest of its user's goes, then the oldest of all.
        const auto oldest = [this](qint64 of) {
            QTcpSocket* found = nullptr;
            quint64 order = 0;
            for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
                if ((of == -2 || it->caller == of) && (!found || it->order < order)) {
                    found = it.key();
                    order = it->order;
                }
            return found;
        };
        const auto callers = [this](qint64 of) {
            int n = 0;
            for (const TConnection& c : std::as_const(m_connections))
                n += c.caller == of;
            return n;
        };
        if (callers(caller) >= kMaxPerCaller)
            Drop(oldest(caller));
        if (m_connections.size() >= kMaxConnections)
            Drop(oldest(-2));
        m_connections.insert(socket, TConnection{{}, caller, ++m_accepted});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] { Drop(socket); });
    }
}

void THelpServer::Drop(QTcpSocket* socket)
{
    if (!socket || !m_connections.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void THelpServer::Read(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    QByteArray& pending = it->pending;
    pending += socket->readAll();
    const bool whole = pending.contains("\r\n\r\n") || pending.contains("\n\n");
    if (!whole && pending.size() <= kMaxRequest)
        return;
    const QByteArray answer = pending.size() > kMaxRequest && !whole
                                  ? Status(431, "Request Header Fields Too Large")
                                  : AnswerWithKey(pending, m_root ? m_root() : QString(), m_key);
    // Answered: it no longer counts, and goes once the answer is out.
    m_connections.erase(it);
    socket->disconnect(this);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
    socket->write(answer);
    socket->disconnectFromHost();
}

QByteArray THelpServer::AnswerWithKey(const QByteArray& request, const QString& root, const QByteArray& key)
{
    const qsizetype eol = request.indexOf('\n');
    const QByteArray line = request.left(eol < 0 ? request.size() : eol).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/"))
        return Status(400, "Bad Request");
    const QByteArray& target = parts[1];
    const QByteArray prefix = '/' + key;
    const qsizetype pathEnd = [&] {
        qsizetype end = target.size();
        for (char stop : {'?', '#'})
            if (const qsizetype at = target.indexOf(stop); at >= 0 && at < end)
                end = at;
        return end;
    }();
    const bool keyed = key.size() >= 16 && pathEnd >= prefix.size() && SameKey(target.left(prefix.size()), prefix)
                       && (pathEnd == prefix.size() || target[prefix.size()] == '/');
    if (!keyed)
        return Status(403, "Forbidden", "Open the help from the Help menu of a tool of the suite.\n");
    // The address without its final "/": the pages' relative links need it.
    if (pathEnd == prefix.size())
        return Response(301, "Moved Permanently", "text/plain; charset=utf-8", {},
                        "\r\nLocation: " + prefix + '/' + target.mid(pathEnd));
    return Answer(parts[0] + ' ' + target.mid(prefix.size()) + ' ' + parts[2] + request.mid(eol < 0 ? request.size() : eol),
                  root);
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
    // A link inside the folder may not lead out of it either; hidden files
    // (a home folder's .ssh, .config) and what is no part of a help are not served.
    if (real.isEmpty() || !QFileInfo(real).isFile() || !real.startsWith(rootPath + u'/') || Hidden(path)
        || Hidden(real.mid(rootPath.size())))
        return NotFound(path, head);
    const QByteArray type = ContentType(QFileInfo(real).suffix());
    QFile file(real);
    if (type.isEmpty() || file.size() > kMaxFile || !file.open(QIODevice::ReadOnly))
        return NotFound(path, head);
    return Response(200, "OK", type, head ? QByteArray() : file.readAll(), {}, file.size());
}

} // namespace cv
