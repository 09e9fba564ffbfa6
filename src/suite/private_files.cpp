#include "suite/private_files.h"

#include "files/shared_folders.h"
#include "suite/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cv {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString cannotOpen(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot open file \"%1\": %2").arg(path, reason);
}

// Why a file found (its status from fstat or lstat) is not one the suite
// uses; empty when it is a regular file of this user.
QString foreignFileReason(const struct stat& st)
{
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("it is not a regular file; it is not used");
    if (st.st_uid != ::geteuid())
        return BelongsToAnotherUser(st.st_uid) + QStringLiteral("; it is not used");
    return {};
}

} // namespace

QString UsersRuntimeFolder()
{
    // A runtime folder counts only when it is this user's: one inherited
    // from another user's session (su keeps the variable) is not.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isAbsolute())
        return {};
    struct stat st {};
    if (::stat(native(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
        return runtime;
    return {};
}

QString SuiteTempFolder()
{
    if (const QString runtime = UsersRuntimeFolder(); !runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("corvantis"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("corvantis-%1").arg(::geteuid()));
}

QString SuiteTempFile(const QString& name) { return QDir(SuiteTempFolder()).filePath(name); }

QString SuiteTempPath(const QString& nameOrPath)
{
    return QFileInfo(nameOrPath).isAbsolute() ? nameOrPath : SuiteTempFile(nameOrPath);
}

bool IsInSuiteTempFolder(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absolutePath()) == QDir::cleanPath(SuiteTempFolder());
}

bool CheckSuiteTempFolder(QString* error)
{
    const QString folder = SuiteTempFolder();
    const QByteArray path = native(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, QStringLiteral("Cannot make the suite's temporary folder \"%1\": %2").arg(folder, SystemErrorText(errno)));
    const auto refuse = [&](const QString& why) {
        return fail(error, QStringLiteral("The suite's temporary folder \"%1\" %2; it is not used. Remove it, or set "
                                          "XDG_RUNTIME_DIR to a folder of yours.")
                               .arg(folder, why));
    };
    // Opened without following a link, so the checks below are of the folder itself.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        // A link gives ENOTDIR or ELOOP, as the system checks.
        struct stat link {};
        if ((e == ELOOP || e == ENOTDIR) && ::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return refuse(QStringLiteral("is a symbolic link"));
        if (e == ENOTDIR)
            return refuse(QStringLiteral("is not a folder"));
        return fail(error, QStringLiteral("Cannot open the suite's temporary folder \"%1\": %2").arg(folder, SystemErrorText(e)));
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    QString why = ok ? QString() : SystemErrorText(errno);
    if (ok && st.st_uid != ::geteuid()) {
        ok = false;
        why = QStringLiteral("belongs to another user (%1)").arg(DescribeOwner(st.st_uid));
    } else if (ok && (st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        ok = false;
        why = QStringLiteral("is open to other users and cannot be made private (%1)").arg(SystemErrorText(errno));
    }
    ::close(fd);
    return ok || refuse(why);
}

int OpenPrivateFile(const QString& path, TPrivateOpen how, QString* error)
{
    const bool inSuiteFolder = IsInSuiteTempFolder(path);
    QString folderProblem;
    if (inSuiteFolder && !CheckSuiteTempFolder(&folderProblem)) {
        fail(error, cannotOpen(path, folderProblem));
        return -1;
    }
    int flags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK; // a named pipe must not hold the open up
    switch (how) {
    case TPrivateOpen::Read: flags |= O_RDONLY; break;
    case TPrivateOpen::ReadWrite: flags |= O_RDWR; break;
    case TPrivateOpen::Create: flags |= O_RDWR | O_CREAT; break;
    case TPrivateOpen::Append: flags |= O_WRONLY | O_APPEND | O_CREAT; break;
    case TPrivateOpen::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    const int fd = ::open(native(path).constData(), flags, 0600);
    if (fd < 0) {
        const int e = errno;
        if (e == ELOOP)
            fail(error, cannotOpen(path, QStringLiteral("it is a symbolic link, which is not followed")));
        else if (e == EEXIST)
            fail(error, cannotOpen(path, QStringLiteral("it exists already")));
        else
            fail(error, cannotOpen(path, SystemErrorText(e)));
        return -1;
    }
    struct stat st {};
    QString why = ::fstat(fd, &st) == 0 ? foreignFileReason(st) : SystemErrorText(errno);
    // What the suite made is its user's alone, whatever made it wider.
    if (why.isEmpty() && inSuiteFolder && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0)
        why = SystemErrorText(errno);
    if (why.isEmpty() && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        why = SystemErrorText(errno);
    if (!why.isEmpty()) {
        ::close(fd);
        fail(error, cannotOpen(path, why));
        return -1;
    }
    return fd;
}

std::unique_ptr<QFile> OpenPrivateQFile(const QString& path, TPrivateOpen how, QString* error)
{
    const int fd = OpenPrivateFile(path, how, error);
    if (fd < 0)
        return nullptr;
    QIODevice::OpenMode mode = QIODevice::Unbuffered;
    switch (how) {
    case TPrivateOpen::Read: mode |= QIODevice::ReadOnly; break;
    case TPrivateOpen::Append: mode |= QIODevice::WriteOnly | QIODevice::Append; break;
    default: mode |= QIODevice::ReadWrite; break;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(error, cannotOpen(path, file->errorString()));
        return nullptr;
    }
    return file;
}

bool ReadPrivateFile(const QString& path, QByteArray& bytes, QString* error)
{
    // Plain reads, no QFile: files are loaded on reading threads too.
    const int fd = OpenPrivateFile(path, TPrivateOpen::Read, error);
    if (fd < 0)
        return false;
    QByteArray read;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(error, QStringLiteral("Cannot read file \"%1\": %2").arg(path, SystemErrorText(e)));
        }
        if (n == 0)
            break;
        read.append(buffer, qsizetype(n));
    }
    ::close(fd);
    bytes = std::move(read);
    return true;
}

} // namespace cv
