#pragma once
// The folder a screen test leaves its pictures in, to be looked at after
// the run: emptied and made anew at the start, and held for the test's
// whole run. Two runs of the suite on one machine (two worktrees, or a
// developer's beside CI's) name the same folder; the second waits for the
// first instead of emptying the folder under it. The hold is an advisory
// lock on "<folder>.lock", which the system lets go when the process ends,
// however it ends. Without $CV_SCREENSHOT_DIR the folders lie in one of
// the user's own in the temporary folder (made 0700, named by the user's
// id): another user cannot plant a folder or a link of that name there,
// which the test would then empty.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace screens_test {

// "<$CV_SCREENSHOT_DIR><suffix>", else "<temporary folder>/corvantis-tests-UID/<name>";
// empty when the user's folder there is not theirs alone (error says why).
inline QString ArtefactFolderFor(const QString& name, const QString& suffix, QString* error)
{
    const QString chosen = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (!chosen.isEmpty())
        return chosen + suffix;
    const QString base = QDir(QDir::tempPath()).filePath(QStringLiteral("corvantis-tests-%1").arg(::geteuid()));
    const QByteArray path = QFile::encodeName(base);
    ::mkdir(path.constData(), 0700);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()
        || (st.st_mode & 077) != 0) {
        *error = QStringLiteral("%1 is not a folder of this user's alone").arg(base);
        return {};
    }
    return QDir(base).filePath(name);
}

class TArtefactFolder {
public:
    // Waits at most `wait` for another run's hold to end.
    TArtefactFolder(const QString& folder, std::chrono::seconds wait)
    {
        if (folder.isEmpty()) {
            m_error = QStringLiteral("no folder for the pictures");
            return;
        }
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
        // Emptied only when it is a folder itself: through a link, the
        // link's target would be emptied.
        struct stat st {};
        if (::lstat(QFile::encodeName(folder).constData(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            m_error = QStringLiteral("%1 is not a folder (a link is not followed)").arg(folder);
            return;
        }
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
