#pragma once
// The folder a screen test leaves its pictures in, to be looked at after
// the run: emptied and made anew at the start, and held for the test's
// whole run. Two runs of the suite on one machine (two worktrees, or a
// developer's beside CI's) name the same folder; the second waits for the
// first instead of emptying the folder under it. The hold is an advisory
// lock on "<folder>.lock", which the system lets go when the process ends,
// however it ends.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace screens_test {

class TArtefactFolder {
public:
    // Waits at most `wait` for another run's hold to end.
    TArtefactFolder(const QString& folder, std::chrono::seconds wait)
    {
        const QString lockFile = folder + QStringLiteral(".lock");
        QDir().mkpath(QFileInfo(folder).absolutePath());
        m_fd = ::open(QFile::encodeName(lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = QStringLiteral("cannot make the lock file %1").arg(lockFile);
            return;
        }
        const auto end = std::chrono::steady_clock::now() + wait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() > end) {
                m_error = QStringLiteral("another run held %1 for more than %2 s").arg(folder).arg(wait.count());
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        m_held = true;
        QDir(folder).removeRecursively();
        if (!QDir().mkpath(folder))
            m_error = QStringLiteral("cannot make %1").arg(folder);
    }
    ~TArtefactFolder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TArtefactFolder(const TArtefactFolder&) = delete;
    TArtefactFolder& operator=(const TArtefactFolder&) = delete;

    // Held and made; else Error says why not.
    bool Ready() const { return m_held && m_error.isEmpty(); }
    const QString& Error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_held = false;
    QString m_error;
};

} // namespace screens_test
