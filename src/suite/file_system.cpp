#include "suite/file_system.h"

#include "files/shared_folders.h"
#include "suite/text_codec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cv {

namespace {

QString Quoted(const QString& name) { return QStringLiteral("\"%1\"").arg(name); }

QByteArray Native(const QString& name) { return QFile::encodeName(name); }

// The time of a file's last change, in nanoseconds (a write within the same
// second still shows).
int64_t ChangeTimeNs(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
}

} // namespace

void ReportFileSizeLimitAsFailure()
{
    ::signal(SIGXFSZ, SIG_IGN);
}

namespace {

// Empty for a regular file, else what the file is instead.
QString NotARegularFileReason(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a named pipe (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket");
    return QStringLiteral("it is not a regular file");
}

} // namespace

QString NotARegularFileReason(const QString& path)
{
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0)
        return {};
    return NotARegularFileReason(st.st_mode);
}

QString CannotReadReason(const QString& path)
{
    const QByteArray native = Native(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        struct stat link {};
        if (err == ENOENT && ::lstat(native.constData(), &link) == 0)
            return QStringLiteral("it is a link to nothing (dangling link)");
        if (err == ENOENT && path.contains(QChar(0xFFFD)))
            // A name whose bytes are not UTF-8 reaches us with U+FFFD in
            // their place, and no file has the name so made.
            return QStringLiteral("its name is not valid UTF-8, so it cannot be opened by name");
        switch (err) {
        case ENOENT: return QStringLiteral("it does not exist");
        case ELOOP: return QStringLiteral("its links lead round in a loop (%1)").arg(SystemErrorText(err));
        case ENAMETOOLONG: return QStringLiteral("its path is too long (%1)").arg(SystemErrorText(err));
        case EACCES: return QStringLiteral("permission denied (a folder on its path cannot be searched)");
        default: return SystemErrorText(err);
        }
    }
    if (const QString why = NotARegularFileReason(path); !why.isEmpty())
        return why;
    if (::access(native.constData(), R_OK) != 0)
        return errno == EACCES ? QStringLiteral("permission denied") : SystemErrorText(errno);
    return {};
}

QString CannotReadFolderReason(const QString& folder)
{
    const QByteArray native = Native(folder);
    if (::access(native.constData(), R_OK | X_OK) == 0)
        return {};
    const int err = errno;
    return err == EACCES ? QStringLiteral("the folder cannot be read (permission denied)")
                         : QStringLiteral("the folder cannot be read (%1)").arg(SystemErrorText(err));
}

namespace {

// A name's bytes as text: UTF-8 as it is, any other byte as \xNN.
QString ShownName(const QByteArray& bytes)
{
    QString out;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = uint8_t(bytes[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length <= bytes.size() && IsValidUtf8(QByteArrayView(bytes).sliced(i, length))) {
            out += QString::fromUtf8(bytes.sliced(i, length));
            i += length;
        } else {
            out += QStringLiteral("\\x%1").arg(lead, 2, 16, QLatin1Char('0'));
            ++i;
        }
    }
    return out;
}

bool WalkFolderBytes(const QByteArray& folder, const QString& shown,
                     const std::function<void(const TFolderEntry&)>& visit, QString* error)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir) {
        if (error)
            *error = SystemErrorText(errno);
        return false;
    }
    std::vector<std::pair<QByteArray, QString>> folders;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder.endsWith('/') ? folder + name : folder + '/' + name;
        TFolderEntry entry;
        entry.badName = !IsValidUtf8(name);
        const QString shownName = entry.badName ? ShownName(name) : QFile::decodeName(name);
        entry.path = shown.endsWith(u'/') ? shown + shownName : shown + u'/' + shownName;
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
            entry.link = true;
            struct stat target {};
            entry.folder = ::stat(path.constData(), &target) == 0 && S_ISDIR(target.st_mode);
        } else {
            entry.folder = S_ISDIR(st.st_mode);
        }
        visit(entry);
        if (entry.folder && !entry.link && !entry.badName && ::access(path.constData(), R_OK | X_OK) == 0)
            folders.emplace_back(path, entry.path);
    }
    ::closedir(dir);
    for (const auto& [path, name] : folders)
        WalkFolderBytes(path, name, visit, nullptr);
    return true;
}

} // namespace

bool WalkFolder(const QString& folder, const std::function<void(const TFolderEntry&)>& visit, QString* error)
{
    return WalkFolderBytes(Native(folder), folder, visit, error);
}

// ---------------------------------------------------------------------------

TFileLock::~TFileLock() { Release(); }

bool TFileLock::Lock(const QString& lockFile, int waitMs, QString* error, bool* busy)
{
    Release();
    if (busy)
        *busy = false;
    // A lock file is never taken through a link, nor one of another user:
    // in a shared folder that could make us create a file where they say,
    // or let them hold our writers up for good.
    const int fd = ::open(Native(lockFile).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A link gives ELOOP, or EACCES where the system guards links in
        // shared folders: what stands there says which.
        const int err = errno;
        struct stat link {};
        const bool isLink = ::lstat(Native(lockFile).constData(), &link) == 0 && S_ISLNK(link.st_mode);
        if (error)
            *error = QStringLiteral("Cannot open file %1: %2")
                         .arg(Quoted(lockFile), isLink ? QStringLiteral("it is a symbolic link, which is not followed")
                                                       : SystemErrorText(err));
        return false;
    }
    struct stat st {};
    const QString foreign = ::fstat(fd, &st) != 0 ? SystemErrorText(errno)
                            : !S_ISREG(st.st_mode)   ? NotARegularFileReason(st.st_mode)
                            : st.st_uid != ::geteuid() ? BelongsToAnotherUser(st.st_uid) + QStringLiteral("; it is not used")
                                                       : QString();
    if (!foreign.isEmpty()) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("Cannot lock file %1: %2").arg(Quoted(lockFile), foreign);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    // Short waits first (a writer about to finish), then a tenth of a second.
    int pause = 5;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return true;
        }
        const int err = errno;
        if (err != EWOULDBLOCK && err != EINTR) {
            ::close(fd);
            if (error)
                *error = QStringLiteral("Cannot lock file %1: %2").arg(Quoted(lockFile), SystemErrorText(err));
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        QThread::msleep(unsigned(pause));
        pause = std::min(pause * 2, 100);
    }
    ::close(fd);
    if (busy)
        *busy = true;
    if (error)
        *error = QStringLiteral("Cannot lock file %1: another program holds it").arg(Quoted(lockFile));
    return false;
}

bool LockIsHeld(const QString& lockFile)
{
    const int fd = ::open(Native(lockFile).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

void TFileLock::Release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

// ---------------------------------------------------------------------------

TDurableFile::TDurableFile(QString name) : m_name(std::move(name)) {}

TDurableFile::~TDurableFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_created && !m_finished)
        ::unlink(Native(m_name).constData());
}

bool TDurableFile::Fail(const QString& what, int err, QString* error)
{
    if (error)
        *error = QStringLiteral("%1 %2: %3").arg(what, Quoted(m_name), SystemErrorText(err));
    return false;
}

bool TDurableFile::Create(QString* error)
{
    // Made new, never through a link: in a shared folder another user may
    // have put a link or a file of theirs at the name first.
    const QByteArray name = Native(m_name);
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        const int err = errno;
        if (err != EEXIST || attempt > 0)
            return Fail(QStringLiteral("Cannot create file"), err, error);
        // A file (or link) of ours left there goes; another user's stays.
        if (const QString why = AnotherUsersEntryReason(m_name); !why.isEmpty()) {
            if (error)
                *error = QStringLiteral("Cannot create file %1: %2; it is not replaced").arg(Quoted(m_name), why);
            return false;
        }
        if (::unlink(name.constData()) != 0 && errno != ENOENT)
            return Fail(QStringLiteral("Cannot create file"), errno, error);
    }
    m_created = true;
    m_buffer.reserve(1 << 20);
    return true;
}

bool TDurableFile::Flush(QString* error)
{
    const uint8_t* p = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(QStringLiteral("Cannot write file"), errno, error);
        }
        p += n;
        left -= std::size_t(n);
    }
    m_buffer.clear();
    return true;
}

bool TDurableFile::Write(const void* data, int64_t n, QString* error)
{
    if (m_fd < 0)
        return Fail(QStringLiteral("Cannot write file"), EBADF, error);
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const std::size_t room = m_buffer.capacity() - m_buffer.size();
        const std::size_t take = std::size_t(std::min<int64_t>(n, int64_t(room)));
        m_buffer.insert(m_buffer.end(), p, p + take);
        p += take;
        n -= int64_t(take);
        m_written += int64_t(take);
        if (m_buffer.size() == m_buffer.capacity() && !Flush(error))
            return false;
    }
    return true;
}

bool TDurableFile::WriteAt(int64_t offset, const void* data, int64_t n, QString* error)
{
    if (m_fd < 0)
        return Fail(QStringLiteral("Cannot write file"), EBADF, error);
    if (!Flush(error))
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t put = ::pwrite(m_fd, p, std::size_t(n), off_t(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Fail(QStringLiteral("Cannot write file"), put < 0 ? errno : EIO, error);
        p += put;
        offset += put;
        n -= put;
    }
    return true;
}

bool TDurableFile::Finish(QString* error)
{
    if (m_fd < 0)
        return Fail(QStringLiteral("Cannot write file"), EBADF, error);
    if (!Flush(error))
        return false;
    if (::fsync(m_fd) != 0)
        return Fail(QStringLiteral("Cannot write file"), errno, error);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(QStringLiteral("Cannot write file"), errno, error);
    m_finished = true;
    return true;
}

void RemoveLeftoversOfKilledSaves(const QString& file)
{
    const QFileInfo target(file);
    const QString prefix = target.fileName() + u'.';
    const QDateTime settled = QDateTime::currentDateTime().addSecs(-60);
    QDir folder = target.absoluteDir();
    for (const QFileInfo& f : folder.entryInfoList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden | QDir::CaseSensitive)) {
        const QString tail = f.fileName().mid(prefix.size());
        // Qt's temporary names end in six letters.
        const bool letters = std::all_of(tail.begin(), tail.end(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        });
        // Only our own: in a shared folder the name may be another user's save.
        if (letters && !f.isSymLink() && f.lastModified() < settled && AnotherUsersEntryReason(f.absoluteFilePath()).isEmpty())
            QFile::remove(f.absoluteFilePath());
    }
}

bool RenameReplacing(const QString& from, const QString& to, QString* error)
{
    if (::rename(Native(from).constData(), Native(to).constData()) == 0)
        return true;
    if (error)
        *error = QStringLiteral("Cannot rename file %1 to %2: %3").arg(Quoted(from), Quoted(to), SystemErrorText(errno));
    return false;
}

bool SyncFolderOf(const QString& file, QString* error)
{
    const QString folder = QFileInfo(file).absolutePath();
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = QStringLiteral("Cannot write folder %1: %2").arg(Quoted(folder), SystemErrorText(err));
        return false;
    }
    ::close(fd);
    return true;
}

// ---------------------------------------------------------------------------

namespace {

// pread in full; false with the reason.
bool ReadFully(int fd, const QString& name, int64_t offset, void* data, int64_t n, QString* error)
{
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, std::size_t(n), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (error)
                *error = got == 0 ? QStringLiteral("Cannot read file %1: the file is cut short").arg(Quoted(name))
                                  : QStringLiteral("Cannot read file %1: %2").arg(Quoted(name), SystemErrorText(errno));
            return false;
        }
        p += got;
        offset += got;
        n -= got;
    }
    return true;
}

} // namespace

TReadOnlyFile::~TReadOnlyFile() { Close(); }

void TReadOnlyFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_next = 0;
}

bool TReadOnlyFile::Open(const QString& name, QString* error)
{
    Close();
    m_name = name;
    const QString notRegular = NotARegularFileReason(name);
    if (!notRegular.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot open file %1: %2").arg(Quoted(name), notRegular);
        return false;
    }
    m_fd = ::open(Native(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        const int err = errno;
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (error)
            *error = err == ENOENT ? QStringLiteral("Cannot open file %1: it does not exist").arg(Quoted(name))
                                   : QStringLiteral("Cannot open file %1: %2").arg(Quoted(name), SystemErrorText(err));
        return false;
    }
    if (const QString instead = NotARegularFileReason(st.st_mode); !instead.isEmpty()) {
        ::close(m_fd);
        m_fd = -1;
        if (error)
            *error = QStringLiteral("Cannot open file %1: %2").arg(Quoted(name), instead);
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_size = int64_t(st.st_size);
    m_changedNs = ChangeTimeNs(st);
    m_next = 0;
    return true;
}

bool TReadOnlyFile::ChangedSinceOpened() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    return int64_t(st.st_size) != m_size || ChangeTimeNs(st) != m_changedNs;
}

bool TReadOnlyFile::ReadAt(int64_t offset, void* data, int64_t n, QString* error) const
{
    return ReadFully(m_fd, m_name, offset, data, n, error);
}

int64_t TReadOnlyFile::Read(void* data, int64_t max, QString* error)
{
    auto* p = static_cast<uint8_t*>(data);
    int64_t done = 0;
    while (done < max) {
        const ssize_t got = ::pread(m_fd, p + done, std::size_t(max - done), off_t(m_next));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (error)
                *error = QStringLiteral("Cannot read file %1: %2").arg(Quoted(m_name), SystemErrorText(errno));
            return -1;
        }
        if (got == 0)
            break;
        done += got;
        m_next += got;
    }
    return done;
}

// ---------------------------------------------------------------------------


TScratchFile::~TScratchFile() { Close(); }

void TScratchFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

bool TScratchFile::Create(const QString& folder, QString* error)
{
    Close();
    m_folder = folder;
    m_name = QStringLiteral("%1 (scratch file)").arg(folder);
    const QByteArray dir = Native(folder.isEmpty() ? QStringLiteral(".") : folder);
#if defined(O_TMPFILE)
    m_fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (m_fd < 0) {
        // A file system without unnamed files: one made and unlinked at once.
        QByteArray path = dir + "/.cv-scratch-XXXXXX";
        m_fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(path.constData());
    }
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("Cannot create a scratch file in %1: %2").arg(Quoted(folder), SystemErrorText(errno));
        return false;
    }
    m_size = 0;
    return true;
}

bool TScratchFile::Append(const void* data, int64_t n, QString* error)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t put = ::pwrite(m_fd, p, std::size_t(n), off_t(m_size));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (error)
                *error = QStringLiteral("Cannot write a scratch file in %1: %2")
                             .arg(Quoted(m_folder), SystemErrorText(put < 0 ? errno : EIO));
            return false;
        }
        p += put;
        m_size += put;
        n -= put;
    }
    return true;
}

bool TScratchFile::ReadAt(int64_t offset, void* data, int64_t n, QString* error) const
{
    return ReadFully(m_fd, m_name, offset, data, n, error);
}

} // namespace cv
