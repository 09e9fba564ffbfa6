#pragma once
// An Xvfb screen of a test's own, for as long as the object lives. The
// server picks a free display itself and says its number once it accepts
// connections (-displayfd): tests started side by side never share a screen,
// and nobody connects before the server is ready, however busy the machine.

#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace test_support {

// Empty when Xvfb is not installed.
inline QString XvfbProgram() { return QStandardPaths::findExecutable(QStringLiteral("Xvfb")); }

class TXvfbServer {
public:
    // screen: "WIDTHxHEIGHTxDEPTH"; empty for the server's default.
    explicit TXvfbServer(const QString& screen = {}, int readyWithinMs = 60000)
    {
        QStringList arguments = {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp")};
        if (!screen.isEmpty())
            arguments << QStringLiteral("-screen") << QStringLiteral("0") << screen;
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.start(XvfbProgram(), arguments);
        if (!m_server.waitForStarted(10000))
            return;
        QByteArray said;
        while (!said.contains('\n') && m_server.state() == QProcess::Running && m_server.waitForReadyRead(readyWithinMs))
            said += m_server.readAllStandardOutput();
        bool ok = false;
        const int display = said.trimmed().toInt(&ok);
        if (ok && display >= 0 && said.contains('\n'))
            m_display = display;
    }
    ~TXvfbServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(5000);
            }
        }
    }
    TXvfbServer(const TXvfbServer&) = delete;
    TXvfbServer& operator=(const TXvfbServer&) = delete;

    bool Running() const { return m_display >= 0; }
    // ":N", for DISPLAY.
    QString Name() const { return QStringLiteral(":%1").arg(m_display); }
    // What the server said on its error channel (why it did not start).
    QString Errors() { return QString::fromLocal8Bit(m_server.readAllStandardError()); }

private:
    int m_display = -1;
    QProcess m_server;
};

} // namespace test_support
