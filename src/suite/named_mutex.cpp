#include "suite/named_mutex.h"

#include "suite/private_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace cv {

QString TNamedMutex::LockFileName(const QString& name)
{
    QString safe;
    for (const QChar c : name)
        safe += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.')) ? c : QLatin1Char('_');
    return SuiteTempFile(safe + QStringLiteral(".mutex"));
}

std::unique_ptr<TNamedMutex> TNamedMutex::Create(const QString& name, QString* error)
{
    const QString file = LockFileName(name);
    // A lock file another user made, or a link, is refused: it is not ours to lock.
    const int fd = OpenPrivateFile(file, TPrivateOpen::Create, error);
    if (fd < 0)
        return nullptr;
    // A tool testing the mutex holds a shared lock for an instant; retry briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return std::unique_ptr<TNamedMutex>(new TNamedMutex(fd));
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        ::usleep(2000);
    }
    const int err = errno;
    ::close(fd);
    if (error)
        *error = err == EWOULDBLOCK ? QStringLiteral("The mutex \"%1\" is held by another process").arg(name)
                                    : QStringLiteral("Cannot lock file \"%1\": %2").arg(file, QString::fromLocal8Bit(std::strerror(err)));
    return nullptr;
}

bool TNamedMutex::Exists(const QString& name)
{
    // A lock file that is not this user's stands for no controller of ours.
    const int fd = OpenPrivateFile(LockFileName(name), TPrivateOpen::Read);
    if (fd < 0)
        return false;
    bool held = false;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0)
        ::flock(fd, LOCK_UN); // nobody holds it: a stale file
    else
        held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

TNamedMutex::~TNamedMutex()
{
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

QString ControllerMutexName()
{
    const QString env = qEnvironmentVariable("CV_MUTEX_NAME");
    return env.isEmpty() ? QStringLiteral("Corvantis Tools mutex") : env;
}

bool ControllerMutexExists() { return TNamedMutex::Exists(ControllerMutexName()); }

} // namespace cv
