#include "files/save_file.h"

#include "files/shared_folders.h"
#include "files/system_error.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cv {

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// Why a private save may not replace what has the name; empty when it may
// (nothing there, or a file or link of this user's, which is replaced).
QString PrivateRefusal(const QString& name)
{
    struct stat st {};
    if (::lstat(Native(name).constData(), &st) != 0)
        return {};
    if (st.st_uid != ::geteuid())
        return BelongsToAnotherUser(st.st_uid) + QStringLiteral("; it is not replaced");
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return QStringLiteral("it is not a regular file; it is not replaced");
    return {};
}

// A new file beside `target` named "<target>.XXXXXX" with six letters: a
// descriptor, or -1 with errno.
int CreateBeside(const QString& target, mode_t mode, QString* name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString candidate = target + u'.';
        for (int i = 0; i < 6; ++i)
            candidate += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(52)]);
        const int fd = ::open(Native(candidate).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            *name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

TSaveFile::TSaveFile(const QString& name, TKind kind) : QFile(name), m_kind(kind) {}

TSaveFile::~TSaveFile() { RemoveTemporary(); }

bool TSaveFile::Fail(const QString& reason)
{
    setErrorString(reason);
    return false;
}

void TSaveFile::RemoveTemporary()
{
    if (m_temporary.isEmpty())
        return;
    if (isOpen())
        QFile::close();
    ::unlink(Native(m_temporary).constData());
    m_temporary.clear();
}

bool TSaveFile::open(OpenMode mode)
{
    RemoveTemporary();
    m_cancelled = false;
    if (fileName().isEmpty())
        return Fail(QStringLiteral("no file named"));
    mode_t fileMode = 0666; // less the user's umask
    if (m_kind == TKind::Private) {
        m_target = QFileInfo(fileName()).absoluteFilePath();
        if (const QString why = PrivateRefusal(m_target); !why.isEmpty())
            return Fail(why);
        fileMode = 0600;
    } else {
        const TSaveTarget target = SaveTargetOf(fileName());
        m_target = target.path;
        if (!target.refusal.isEmpty())
            return Fail(target.refusal);
    }
    struct stat old {};
    const bool exists = m_kind == TKind::Ordinary && ::stat(Native(m_target).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return Fail(QStringLiteral("it is a folder"));
    // A file of the user's that is replaced keeps its mode; its new
    // contents are never open wider than that, not even for a moment.
    const bool keepMode = exists && S_ISREG(old.st_mode) && old.st_uid == ::geteuid();
    const int fd = CreateBeside(m_target, keepMode ? 0600 : fileMode, &m_temporary);
    if (fd < 0)
        return Fail(SystemErrorText(errno));
    if (keepMode)
        ::fchmod(fd, old.st_mode & 07777);
    if (!QFile::open(fd, mode | QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        const QString why = errorString();
        ::close(fd);
        ::unlink(Native(m_temporary).constData());
        m_temporary.clear();
        return Fail(why);
    }
    return true;
}

void TSaveFile::cancelWriting()
{
    m_cancelled = true;
    setErrorString(QStringLiteral("the save was cancelled"));
}

bool TSaveFile::commit()
{
    if (m_temporary.isEmpty() || !isOpen())
        return Fail(QStringLiteral("the file is not open"));
    const auto failAndRemove = [this](const QString& why) {
        RemoveTemporary();
        return Fail(why);
    };
    if (m_cancelled)
        return failAndRemove(QStringLiteral("the save was cancelled"));
    if (!flush() || error() != QFileDevice::NoError)
        return failAndRemove(errorString());
    if (::fsync(handle()) != 0)
        return failAndRemove(SystemErrorText(errno));
    QFile::close();
    if (error() != QFileDevice::NoError)
        return failAndRemove(errorString());
    // What was put at the name while the file was written is looked at again.
    const QString refusal = m_kind == TKind::Private ? PrivateRefusal(m_target) : ForeignEntryReason(m_target);
    if (!refusal.isEmpty())
        return failAndRemove(refusal);
    if (::rename(Native(m_temporary).constData(), Native(m_target).constData()) != 0)
        return failAndRemove(SystemErrorText(errno));
    m_temporary.clear();
    return true;
}

} // namespace cv
