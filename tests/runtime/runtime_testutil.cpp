#include "runtime/runtime_testutil.h"

#include "suite/cvbuf.h"
#include "suite/process_utils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>

namespace cvtest {

namespace {
std::atomic<int> g_sandboxes{0};

void stopProcessById(int64_t pid)
{
    if (pid <= 0 || pid == cv::CurrentProcessId() || !cv::ProcessIsAlive(pid))
        return;
    ::kill(pid_t(pid), SIGTERM);
    QElapsedTimer t;
    t.start();
    while (cv::ProcessIsAlive(pid) && t.elapsed() < 3000)
        QThread::msleep(10);
    if (cv::ProcessIsAlive(pid))
        ::kill(pid_t(pid), SIGKILL);
}
} // namespace

TSuiteSandbox::TSuiteSandbox()
{
    const QString unique = QStringLiteral("cvtest-%1-%2").arg(cv::CurrentProcessId()).arg(++g_sandboxes);
    const std::pair<const char*, QString> vars[] = {
        {"CV_SETTINGS_BUFFER", m_dir.file(QStringLiteral("settings.buf"))},
        {"CV_MUTEX_NAME", unique},
        {"CV_MESSAGE_SOCKET_DIR", m_dir.path()},
        {"CV_CONTROLLER_LOG", m_dir.file(QStringLiteral("controller.log"))},
        {"CV_CONTROLLER_INI", m_dir.file(QStringLiteral("controller.ini"))},
        {"CV_CONTROLLER_PROGRAM", QStringLiteral(CV_CONTROLLER_BINARY)},
    };
    for (const auto& [name, value] : vars) {
        qputenv(name, value.toLocal8Bit());
        m_setVariables << QString::fromLatin1(name);
    }
    cv::TSettingsBuffer::Instance().UsePrivate();
}

TSuiteSandbox::~TSuiteSandbox()
{
    StopController();
    for (auto& c : m_children) {
        if (c->state() != QProcess::NotRunning) {
            c->terminate();
            if (!c->waitForFinished(3000))
                c->kill();
            c->waitForFinished(1000);
        }
    }
    cv::TSettingsBuffer::Instance().UsePrivate();
    for (const QString& v : m_setVariables)
        qunsetenv(v.toLatin1().constData());
}

void TSuiteSandbox::StopController()
{
    // A controller started detached by a tool is no child of ours: its id is
    // in the buffer it made.
    auto& buffer = cv::TSettingsBuffer::Instance();
    if (!buffer.IsShared())
        buffer.AttachShared(cv::TSettingsBuffer::DefaultFileName());
    if (buffer.IsShared())
        stopProcessById(cv::GetControllerProcessId());
}

QProcess* TSuiteSandbox::StartController()
{
    auto p = std::make_unique<QProcess>();
    p->setProgram(QStringLiteral(CV_CONTROLLER_BINARY));
    p->setArguments({QStringLiteral("--quiet")});
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start();
    if (!p->waitForStarted(5000))
        return nullptr;
    QElapsedTimer t;
    t.start();
    while (!cv::GetCVShellInitialised() && t.elapsed() < 10000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    if (!cv::GetCVShellInitialised())
        return nullptr;
    m_children.push_back(std::move(p));
    return m_children.back().get();
}

QString TSuiteSandbox::ControllerLog() const { return QString::fromUtf8(readAll(File(QStringLiteral("controller.log")))); }

QProcess* TSuiteSandbox::StartPeer(const QStringList& args)
{
    auto p = std::make_unique<QProcess>();
    p->setProgram(QStringLiteral(CV_PEER_PROGRAM));
    p->setArguments(args);
    p->start();
    if (!p->waitForStarted(5000))
        return nullptr;
    m_children.push_back(std::move(p));
    return m_children.back().get();
}

QString TSuiteSandbox::RunPeer(const QStringList& args, int* code, int timeoutMs)
{
    QProcess* p = StartPeer(args);
    if (!p) {
        *code = -1;
        return {};
    }
    if (!p->waitForFinished(timeoutMs)) {
        p->kill();
        p->waitForFinished(1000);
        *code = -2;
    } else {
        *code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -3;
    }
    return QString::fromLocal8Bit(p->readAllStandardOutput()) + QString::fromLocal8Bit(p->readAllStandardError());
}

bool WaitForLog(const TSuiteSandbox& sandbox, const QString& text, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!sandbox.ControllerLog().contains(text)) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

bool WaitForOutput(QProcess& p, const QString& text, QString* seen, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        p.waitForReadyRead(50);
        *seen += QString::fromLocal8Bit(p.readAllStandardOutput());
        if (seen->contains(text))
            return true;
        if (p.state() == QProcess::NotRunning)
            break;
    }
    *seen += QString::fromLocal8Bit(p.readAllStandardOutput());
    return seen->contains(text);
}

} // namespace cvtest
