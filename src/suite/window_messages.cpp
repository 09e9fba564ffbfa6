#include "suite/window_messages.h"

#include "suite/cv_endian.h"
#include "suite/process_utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>

#include <map>
#include <memory>

namespace cv {

TWindowHandle mini_global_own_HWnd = 0;

namespace {

// Frame of one message on the wire (little-endian).
constexpr uint32_t kFrameMagic = 0x4D575643; // "CVWM"
constexpr uint16_t kFrameVersion = 1;
constexpr int kFrameSize = 40;

QByteArray encodeFrame(TWindowHandle target, uint32_t msg, uint64_t wparam, int64_t lparam)
{
    QByteArray f(kFrameSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    endian::storeLE<uint32_t>(p + 0, kFrameMagic);
    endian::storeLE<uint16_t>(p + 4, kFrameVersion);
    endian::storeLE<uint16_t>(p + 6, kFrameSize);
    endian::storeLE<uint64_t>(p + 8, target);
    endian::storeLE<uint32_t>(p + 16, msg);
    endian::storeLE<uint64_t>(p + 24, wparam);
    endian::storeLE<int64_t>(p + 32, lparam);
    return f;
}

// The process's router: the local windows, the server for incoming frames
// and the connections to other processes.
class TMessageRouter final : public QObject {
public:
    explicit TMessageRouter(QObject* parent) : QObject(parent) {}
    ~TMessageRouter() override
    {
        if (m_server)
            m_server->close();
    }

    TWindowHandle Register(QObject* receiver)
    {
        const uint32_t number = ++m_lastNumber;
        m_windows[number] = receiver;
        return MakeWindowHandle(CurrentProcessId(), number);
    }
    void Unregister(TWindowHandle wnd)
    {
        if (WindowHandleProcess(wnd) == CurrentProcessId())
            m_windows.erase(WindowHandleNumber(wnd));
    }
    QObject* Local(TWindowHandle wnd) const
    {
        const auto it = m_windows.find(WindowHandleNumber(wnd));
        return it == m_windows.end() ? nullptr : it->second.data();
    }

    bool StartServer(QString* error)
    {
        if (m_server && m_server->isListening())
            return true;
        const QString name = MessageServerName(CurrentProcessId());
        QDir().mkpath(QFileInfo(name).absolutePath());
        QLocalServer::removeServer(name); // left by an earlier process with our id
        m_server = std::make_unique<QLocalServer>();
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server->listen(name)) {
            if (error)
                *error = QStringLiteral("Cannot open the message socket \"%1\": %2").arg(name, m_server->errorString());
            m_server.reset();
            return false;
        }
        connect(m_server.get(), &QLocalServer::newConnection, this, [this] { AcceptConnections(); });
        return true;
    }

    bool PostRemote(TWindowHandle wnd, uint32_t msg, uint64_t wparam, int64_t lparam)
    {
        const int64_t pid = WindowHandleProcess(wnd);
        const QByteArray frame = encodeFrame(wnd, msg, wparam, lparam);
        // A cached connection may have died with its process (or restarted):
        // one fresh attempt.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QLocalSocket* s = Connection(pid);
            if (!s)
                return false;
            if (s->write(frame) == frame.size() && s->flush())
                return true;
            if (s->state() == QLocalSocket::ConnectedState && s->bytesToWrite() > 0)
                return true; // queued; Qt writes it when the loop runs
            DropConnection(pid);
        }
        return false;
    }

    bool Flush(int msecs)
    {
        bool ok = true;
        for (auto& [pid, s] : m_out)
            while (ok && s->bytesToWrite() > 0)
                ok = s->waitForBytesWritten(msecs);
        return ok;
    }

private:
    QLocalSocket* Connection(int64_t pid)
    {
        auto it = m_out.find(pid);
        if (it != m_out.end() && it->second->state() == QLocalSocket::ConnectedState)
            return it->second.get();
        DropConnection(pid);
        if (!ProcessIsAlive(pid))
            return nullptr;
        auto s = std::make_unique<QLocalSocket>();
        s->connectToServer(MessageServerName(pid), QIODevice::WriteOnly);
        if (!s->waitForConnected(2000))
            return nullptr;
        QLocalSocket* raw = s.get();
        m_out[pid] = std::move(s);
        return raw;
    }
    void DropConnection(int64_t pid)
    {
        auto it = m_out.find(pid);
        if (it == m_out.end())
            return;
        it->second->abort();
        it->second.release()->deleteLater();
        m_out.erase(it);
    }

    void AcceptConnections()
    {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QLocalSocket::readyRead, this, [this, s] { ReadFrames(s); });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    void ReadFrames(QLocalSocket* s)
    {
        while (s->bytesAvailable() >= kFrameSize) {
            const QByteArray f = s->read(kFrameSize);
            const auto* p = reinterpret_cast<const uint8_t*>(f.constData());
            if (endian::loadLE<uint32_t>(p) != kFrameMagic || endian::loadLE<uint16_t>(p + 4) != kFrameVersion
                || endian::loadLE<uint16_t>(p + 6) != kFrameSize) {
                qWarning("Window messages: a damaged message frame arrived; the connection is closed");
                s->abort();
                return;
            }
            const auto target = endian::loadLE<uint64_t>(p + 8);
            if (WindowHandleProcess(target) != CurrentProcessId())
                continue;
            if (QObject* r = Local(target))
                QCoreApplication::postEvent(r, new TWindowMessageEvent(target, endian::loadLE<uint32_t>(p + 16),
                                                                        endian::loadLE<uint64_t>(p + 24),
                                                                        endian::loadLE<int64_t>(p + 32)));
        }
    }

    uint32_t m_lastNumber = 0;
    std::map<uint32_t, QPointer<QObject>> m_windows;
    std::unique_ptr<QLocalServer> m_server;
    std::map<int64_t, std::unique_ptr<QLocalSocket>> m_out;
};

QPointer<TMessageRouter> g_router;

TMessageRouter* router()
{
    if (!g_router && QCoreApplication::instance())
        g_router = new TMessageRouter(QCoreApplication::instance());
    return g_router.data();
}

} // namespace

TWindowMessageEvent::TWindowMessageEvent(TWindowHandle target, uint32_t msg, uint64_t wparam, int64_t lparam)
    : QEvent(EventType()), Target(target), Msg(msg), WParam(wparam), LParam(lparam)
{
}

QEvent::Type TWindowMessageEvent::EventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QString MessageServerName(int64_t pid)
{
    QString dir = qEnvironmentVariable("CV_MESSAGE_SOCKET_DIR");
    if (dir.isEmpty())
        dir = SuiteRuntimeFolder();
    return QDir(dir).filePath(QStringLiteral("cv-wm-%1.sock").arg(pid));
}

bool StartMessageServer(QString* error)
{
    TMessageRouter* r = router();
    if (!r) {
        if (error)
            *error = QStringLiteral("No application object: messages cannot be received");
        return false;
    }
    return r->StartServer(error);
}

TWindowHandle RegisterWindow(QObject* receiver)
{
    TMessageRouter* r = router();
    if (!r || !receiver)
        return 0;
    QString error;
    if (!r->StartServer(&error))
        qWarning().noquote() << error;
    return r->Register(receiver);
}

void UnregisterWindow(TWindowHandle wnd)
{
    if (TMessageRouter* r = g_router.data())
        r->Unregister(wnd);
}

bool IsWindow(TWindowHandle wnd)
{
    if (wnd == 0)
        return false;
    if (WindowHandleProcess(wnd) == CurrentProcessId())
        return g_router && g_router->Local(wnd);
    return ProcessIsAlive(WindowHandleProcess(wnd));
}

bool PostMessage(TWindowHandle wnd, uint32_t msg, uint64_t wparam, int64_t lparam)
{
    if (wnd == 0)
        return false;
    if (WindowHandleProcess(wnd) == CurrentProcessId()) {
        QObject* target = g_router ? g_router->Local(wnd) : nullptr;
        if (!target)
            return false;
        QCoreApplication::postEvent(target, new TWindowMessageEvent(wnd, msg, wparam, lparam));
        return true;
    }
    TMessageRouter* r = router();
    if (!r || QThread::currentThread() != r->thread())
        return false;
    return r->PostRemote(wnd, msg, wparam, lparam);
}

bool FlushPostedMessages(int msecs) { return !g_router || g_router->Flush(msecs); }

void MyYieldProcess()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

TMessageWindow::TMessageWindow(THandler handler, QObject* parent)
    : QObject(parent), m_handle(RegisterWindow(this)), m_handler(std::move(handler))
{
}

TMessageWindow::~TMessageWindow() { UnregisterWindow(m_handle); }

bool TMessageWindow::event(QEvent* e)
{
    if (e->type() == TWindowMessageEvent::EventType()) {
        const auto* m = static_cast<TWindowMessageEvent*>(e);
        HandleMessage(m->Msg, m->WParam, m->LParam);
        return true;
    }
    return QObject::event(e);
}

void TMessageWindow::HandleMessage(uint32_t msg, uint64_t wparam, int64_t lparam)
{
    if (m_handler)
        m_handler(msg, wparam, lparam);
}

} // namespace cv
