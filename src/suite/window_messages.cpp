#include "suite/window_messages.h"

#include "suite/cv_endian.h"
#include "suite/private_files.h"
#include "suite/process_utils.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

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

// A socket's descriptor, closed with its owner.
class TSocketFd {
public:
    TSocketFd() = default;
    explicit TSocketFd(int fd) : m_fd(fd) {}
    TSocketFd(TSocketFd&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}
    TSocketFd& operator=(TSocketFd&& o) noexcept
    {
        if (this != &o) {
            Close();
            m_fd = std::exchange(o.m_fd, -1);
        }
        return *this;
    }
    ~TSocketFd() { Close(); }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
    }

private:
    int m_fd = -1;
};

// The socket address of a message server's file; false when the path does
// not fit one.
bool socketAddress(const QString& name, sockaddr_un& address)
{
    const QByteArray path = QFile::encodeName(name);
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The process's router: the local windows, the server for incoming frames
// and the connections to other processes. The sockets are the system's
// local stream sockets, watched by the event loop.
class TMessageRouter final : public QObject {
public:
    explicit TMessageRouter(QObject* parent) : QObject(parent) {}
    ~TMessageRouter() override
    {
        if (m_listen.Valid()) {
            m_listenNotifier.reset();
            m_listen.Close();
            ::unlink(QFile::encodeName(m_path).constData());
        }
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
        if (m_listen.Valid())
            return true;
        const QString name = MessageServerName(CurrentProcessId());
        const auto fail = [&](const QString& why) {
            if (error)
                *error = QStringLiteral("Cannot open the message socket \"%1\": %2").arg(name, why);
            m_listen.Close();
            return false;
        };
        if (IsInSuiteTempFolder(name)) {
            QString why;
            if (!CheckSuiteTempFolder(&why))
                return fail(why);
        } else {
            QDir().mkpath(QFileInfo(name).absolutePath());
        }
        sockaddr_un address;
        if (!socketAddress(name, address))
            return fail(QStringLiteral("the path is too long for a socket"));
        // One left by an earlier process of ours with our id goes; a name
        // another user holds is not ours to take.
        struct stat old {};
        if (::lstat(address.sun_path, &old) == 0 && old.st_uid != ::geteuid())
            return fail(QStringLiteral("the name is held by another user"));
        ::unlink(address.sun_path);
        m_listen = TSocketFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!m_listen.Valid())
            return fail(systemError(errno));
        if (::bind(m_listen.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
            return fail(systemError(errno));
        // Only this user's processes may connect.
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR);
        if (::listen(m_listen.Get(), SOMAXCONN) != 0) {
            const int e = errno;
            ::unlink(address.sun_path);
            return fail(systemError(e));
        }
        m_path = name;
        m_listenNotifier = std::make_unique<QSocketNotifier>(m_listen.Get(), QSocketNotifier::Read);
        connect(m_listenNotifier.get(), &QSocketNotifier::activated, this, [this] { AcceptConnections(); });
        return true;
    }

    bool PostRemote(TWindowHandle wnd, uint32_t msg, uint64_t wparam, int64_t lparam)
    {
        const int64_t pid = WindowHandleProcess(wnd);
        const QByteArray frame = encodeFrame(wnd, msg, wparam, lparam);
        // A kept connection may have died with its process (or the process
        // restarted): one fresh attempt.
        for (int attempt = 0; attempt < 2; ++attempt) {
            TOutgoing* o = Connection(pid);
            if (!o)
                return false;
            if (Send(*o, frame))
                return true;
            DropConnection(pid);
        }
        return false;
    }

    bool Reachable(TWindowHandle wnd) { return Connection(WindowHandleProcess(wnd)) != nullptr; }

    bool Flush(int msecs)
    {
        QDeadlineTimer deadline(msecs);
        for (auto& [pid, o] : m_out) {
            while (!o->unsent.isEmpty()) {
                pollfd p{o->fd.Get(), POLLOUT, 0};
                const int left = int(std::max<qint64>(0, deadline.remainingTime()));
                if (::poll(&p, 1, left) <= 0 || !WriteUnsent(*o))
                    return false;
            }
        }
        return true;
    }

private:
    // Frames to another process; those the socket did not take yet wait in
    // `unsent` and go when it can take them.
    struct TOutgoing {
        TSocketFd fd;
        QByteArray unsent;
        std::unique_ptr<QSocketNotifier> writable;
    };
    // A connection another process opened to send frames here.
    struct TIncoming {
        TSocketFd fd;
        QByteArray pending;
        std::unique_ptr<QSocketNotifier> readable;
    };

    TOutgoing* Connection(int64_t pid)
    {
        const auto it = m_out.find(pid);
        if (it != m_out.end())
            return it->second.get();
        if (!ProcessIsAlive(pid))
            return nullptr;
        sockaddr_un address;
        if (!socketAddress(MessageServerName(pid), address))
            return nullptr;
        TSocketFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd.Valid())
            return nullptr;
        // A local connection is made at once, or refused; only a server
        // whose queue of connections is full makes us wait (at most 2 s).
        QDeadlineTimer deadline(2000);
        while (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired())
                return nullptr;
            QThread::msleep(1);
        }
        auto o = std::make_unique<TOutgoing>();
        o->fd = std::move(fd);
        o->writable = std::make_unique<QSocketNotifier>(o->fd.Get(), QSocketNotifier::Write);
        o->writable->setEnabled(false);
        connect(o->writable.get(), &QSocketNotifier::activated, this, [this, pid] {
            const auto found = m_out.find(pid);
            if (found != m_out.end() && !WriteUnsent(*found->second))
                DropConnection(pid);
        });
        TOutgoing* raw = o.get();
        m_out[pid] = std::move(o);
        return raw;
    }

    // Sends a frame, or queues what the socket cannot take now (behind the
    // frames already waiting, which go first); false when the connection is
    // broken.
    bool Send(TOutgoing& o, const QByteArray& frame)
    {
        const bool waiting = !o.unsent.isEmpty();
        o.unsent += frame;
        if (waiting)
            return true;
        if (!WriteUnsent(o))
            return false;
        if (!o.unsent.isEmpty())
            o.writable->setEnabled(true);
        return true;
    }

    // Writes what waits; false when the connection is broken.
    bool WriteUnsent(TOutgoing& o)
    {
        while (!o.unsent.isEmpty()) {
            const ssize_t n = ::send(o.fd.Get(), o.unsent.constData(), std::size_t(o.unsent.size()), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno == EAGAIN || errno == EWOULDBLOCK;
            }
            o.unsent.remove(0, qsizetype(n));
        }
        o.writable->setEnabled(false);
        return true;
    }

    void DropConnection(int64_t pid)
    {
        const auto it = m_out.find(pid);
        if (it == m_out.end())
            return;
        // The notifier may be the one whose signal is running: it goes once
        // control is back in the loop, the socket now.
        it->second->writable->setEnabled(false);
        it->second->writable.release()->deleteLater();
        m_out.erase(it);
    }

    void AcceptConnections()
    {
        for (;;) {
            TSocketFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
            if (!fd.Valid()) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return; // none waiting (or none can be taken now)
            }
            auto in = std::make_unique<TIncoming>();
            in->fd = std::move(fd);
            in->readable = std::make_unique<QSocketNotifier>(in->fd.Get(), QSocketNotifier::Read);
            TIncoming* raw = in.get();
            connect(raw->readable.get(), &QSocketNotifier::activated, this, [this, raw] { ReadFrames(raw); });
            m_in.push_back(std::move(in));
        }
    }

    void CloseIncoming(TIncoming* in)
    {
        in->readable->setEnabled(false);
        in->readable.release()->deleteLater(); // its signal may be the one running
        std::erase_if(m_in, [in](const std::unique_ptr<TIncoming>& p) { return p.get() == in; });
    }

    void ReadFrames(TIncoming* in)
    {
        bool ended = false;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(in->fd.Get(), buffer, sizeof(buffer));
            if (n > 0) {
                in->pending.append(buffer, qsizetype(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        qsizetype at = 0;
        for (; in->pending.size() - at >= kFrameSize; at += kFrameSize) {
            const auto* p = reinterpret_cast<const uint8_t*>(in->pending.constData() + at);
            if (endian::loadLE<uint32_t>(p) != kFrameMagic || endian::loadLE<uint16_t>(p + 4) != kFrameVersion
                || endian::loadLE<uint16_t>(p + 6) != kFrameSize) {
                qWarning("Window messages: a damaged message frame arrived; the connection is closed");
                CloseIncoming(in);
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
        in->pending.remove(0, at);
        if (ended)
            CloseIncoming(in);
    }

    uint32_t m_lastNumber = 0;
    std::map<uint32_t, QPointer<QObject>> m_windows;
    TSocketFd m_listen;
    QString m_path;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::vector<std::unique_ptr<TIncoming>> m_in;
    std::map<int64_t, std::unique_ptr<TOutgoing>> m_out;
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
        dir = SuiteTempFolder();
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

bool CanReachWindow(TWindowHandle wnd)
{
    if (wnd == 0)
        return false;
    if (WindowHandleProcess(wnd) == CurrentProcessId())
        return g_router && g_router->Local(wnd);
    TMessageRouter* r = router();
    return r && QThread::currentThread() == r->thread() && r->Reachable(wnd);
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
