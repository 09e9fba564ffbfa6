#pragma once
// The suite's help pages, served by the controller on this machine only.
//
// A tool in help mode 1 opens "<help address>index.html?contextid=N" in the
// browser. Desktops hand a file address to the browser without its query
// ("?contextid=N" is dropped on the way), so the controller serves the
// folder of the help file over HTTP on 127.0.0.1, on a port the system
// gives, and the help address points there. Only GET and HEAD of files
// inside that folder are answered; a query is ignored (the pages read it
// themselves); anything else gets an error status. Each connection carries
// one request and is closed after the answer.

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
    // "http://127.0.0.1:PORT/" once listening, else empty.
    QUrl BaseAddress() const;

    // The answer to one request (a whole HTTP/1.0 response), for the
    // folder `root`: what a connection is sent.
    static QByteArray Answer(const QByteArray& request, const QString& root);

private:
    void Accept();
    void Read(QTcpSocket* socket);

    std::function<QString()> m_root;
    QTcpServer* m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace cv
