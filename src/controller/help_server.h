#pragma once
// The suite's help pages, served by the controller on this machine only,
// to this user's browser only.
//
// A tool in help mode 1 opens "<help address>index.html?contextid=N" in the
// browser. Desktops hand a file address to the browser without its query
// ("?contextid=N" is dropped on the way), so the controller serves the
// help pages over HTTP on 127.0.0.1, on a port the system gives, and the
// help address points there.
//
// Any program of any user of the machine can connect to that port, so:
// - the help address carries a key made for this run ("http://127.0.0.1:
//   PORT/KEY/"); a request whose path does not start with it is refused.
//   The address lives in the settings buffer, which only the user can read,
//   and reaches the browser in the page's address; the pages link to each
//   other relatively, so every page, style sheet and picture carries it.
// - a connection from a program of another user (the system says whose it
//   is) is closed at once, key or not.
// - only the help pages are served: files under the help file's folder of
//   the kinds a help is made of (pages, style sheets, scripts, pictures),
//   none whose name or folder starts with a dot, none that a link leads
//   out of the folder. GET and HEAD only; the query is the page's business.
// - connections are bounded: a few at a time per user (a new one closes
//   the oldest of that user's), a bounded total, and one that has sent no
//   whole request within a few seconds is closed. Each connection carries
//   one request and is closed after the answer.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace cv {

class THelpServer final : public QObject {
public:
    // `root` gives the folder served, asked at each request (the help
    // file's folder may change while the controller runs).
    explicit THelpServer(std::function<QString()> root, QObject* parent = nullptr);
    ~THelpServer() override;

    // Starts listening on 127.0.0.1; false with the reason.
    bool Listen(QString* error);
    // "http://127.0.0.1:PORT/KEY/" once listening, else empty.
    QUrl BaseAddress() const;
    // The port, for messages that must not show the key (0 before Listen).
    quint16 Port() const;
    // Connections open now (each bounded as above).
    int OpenConnections() const { return int(m_connections.size()); }

    // The answer to one request (a whole HTTP/1.0 response): refused unless
    // its path starts with "/<key>/", else the answer for the rest of the
    // path in the folder `root`.
    static QByteArray AnswerWithKey(const QByteArray& request, const QString& root, const QByteArray& key);
    // The answer to one request whose key was taken off, for the folder `root`.
    static QByteArray Answer(const QByteArray& request, const QString& root);

private:
    struct TConnection {
        QByteArray pending;
        qint64 caller = -1; // the user owning the peer's socket, -1 when unknown
        quint64 order = 0;  // when it was accepted
    };
    void Accept();
    void Read(QTcpSocket* socket);
    void Drop(QTcpSocket* socket);

    std::function<QString()> m_root;
    QTcpServer* m_server;
    QByteArray m_key;
    QHash<QTcpSocket*, TConnection> m_connections;
    quint64 m_accepted = 0;
};

} // namespace cv
