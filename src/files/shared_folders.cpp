#include "files/shared_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace cv {

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString FolderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

bool FolderOthersMayWrite(const struct stat& folder) { return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// As many links as the system follows in one path before it gives up.
constexpr int kMaxLinks = 40;

} // namespace

QString DescribeOwner(uint32_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(uid_t(uid), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return QStringLiteral("user %1 (uid %2)").arg(QString::fromLocal8Bit(found->pw_name)).arg(uid);
    return QStringLiteral("uid %1").arg(uid);
}

QString BelongsToAnotherUser(uint32_t uid)
{
    return QStringLiteral("it belongs to another user (%1)").arg(DescribeOwner(uid));
}

QString AnotherUsersEntryReason(const QString& path)
{
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0 || st.st_uid == ::geteuid())
        return {};
    return BelongsToAnotherUser(st.st_uid);
}

bool OthersMayWriteIn(const QString& folder)
{
    struct stat st {};
    return ::stat(Native(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) && FolderOthersMayWrite(st);
}

QString ForeignEntryReason(const QString& path)
{
    struct stat entry {};
    if (::lstat(Native(path).constData(), &entry) != 0 || entry.st_uid == ::geteuid())
        return {};
    struct stat folder {};
    if (::stat(Native(FolderOf(path)).constData(), &folder) != 0 || !FolderOthersMayWrite(folder)
        || entry.st_uid == folder.st_uid)
        return {};
    if (S_ISLNK(entry.st_mode))
        return QStringLiteral("it is a symbolic link of another user (%1) in a folder others may write to; it is not followed")
            .arg(DescribeOwner(entry.st_uid));
    return QStringLiteral("%1 and lies in a folder others may write to; it is not replaced").arg(BelongsToAnotherUser(entry.st_uid));
}

TSaveTarget SaveTargetOf(const QString& name)
{
    QString path = QFileInfo(name).absoluteFilePath();
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat st {};
        // Nothing there (or nothing reachable): the save itself says why, if anything.
        if (::lstat(Native(path).constData(), &st) != 0)
            return {path, {}};
        if (QString why = ForeignEntryReason(path); !why.isEmpty())
            return {path, why};
        if (!S_ISLNK(st.st_mode))
            return {path, {}};
        char target[PATH_MAX];
        const ssize_t n = ::readlink(Native(path).constData(), target, sizeof target);
        if (n <= 0 || std::size_t(n) >= sizeof target)
            return {path, {}};
        const QString next = QFile::decodeName(QByteArray(target, n));
        // Joined, not cleaned: ".." after a link is the system's to resolve.
        path = QFileInfo(next).isAbsolute() ? next : FolderOf(path) + u'/' + next;
    }
    return {path, QStringLiteral("its links lead round in a loop")};
}

} // namespace cv
