#include "suite/shared_library.h"

#include "files/shared_folders.h"
#include "suite/cvbuf.h"
#include "suite/file_system.h"

#include <QFileInfo>

#include <dlfcn.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace cv {

namespace {

QString lastDlError()
{
    const char* reason = dlerror();
    return reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown reason");
}

// Whether the group's members are this user alone: the user's own group
// (one of their name, or their primary group with no other member listed).
bool GroupIsTheUsersAlone(gid_t gid)
{
    if (gid != ::getegid())
        return false;
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    passwd user{};
    passwd* me = nullptr;
    std::vector<char> userBuffer(4096);
    const QByteArray myName = ::getpwuid_r(::geteuid(), &user, userBuffer.data(), userBuffer.size(), &me) == 0 && me
                                  ? QByteArray(me->pw_name)
                                  : QByteArray();
    for (char** member = found->gr_mem; member && *member; ++member)
        if (myName != *member)
            return false;
    return true;
}

// Why another user could change what is loaded from `file` (a path without
// links): the file, or a folder above it, belongs to another user (root
// aside), or others may write it (its group, unless that is the user's
// own; everyone, unless it is a sticky folder, where others may add names
// but not replace ours). Empty when only the user (and root) can.
QString ChangeableByOthersReason(const QString& file)
{
    QString path = file;
    for (bool first = true;; first = false) {
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return QStringLiteral("\"%1\" cannot be looked at (%2)").arg(path, SystemErrorText(errno));
        const QString what = first ? QStringLiteral("it") : QStringLiteral("the folder \"%1\"").arg(path);
        const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
        if (st.st_uid != ::geteuid() && st.st_uid != 0)
            return QStringLiteral("%1 belongs to another user (%2)").arg(what, DescribeOwner(st.st_uid));
        if ((st.st_mode & S_IWOTH) != 0 && !sticky)
            return QStringLiteral("%1 may be changed by every user of the machine").arg(what);
        if ((st.st_mode & S_IWGRP) != 0 && !sticky && !GroupIsTheUsersAlone(st.st_gid))
            return QStringLiteral("%1 may be changed by the other members of its group").arg(what);
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            return {};
        path = parent;
    }
}

} // namespace

std::unique_ptr<TSharedLibrary> TSharedLibrary::Open(const QString& fileName, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("Cannot load library \"%1\": %2").arg(fileName, reason);
        return nullptr;
    };
    if (fileName.trimmed().isEmpty())
        return fail(QStringLiteral("no file named"));
    const QFileInfo info(fileName);
    // A bare name would send the loader searching the system's folders: a
    // plug-in is always the file the user named.
    if (!info.exists())
        return fail(QStringLiteral("the file does not exist"));
    if (!info.isFile())
        return fail(QStringLiteral("not a file"));
    // Code another user could have put in its place runs as this user: the
    // library is loaded only when nobody else can change it, and from the
    // path its links lead to, which nobody else can change either.
    const QString real = info.canonicalFilePath();
    if (const QString why = ChangeableByOthersReason(real); !why.isEmpty())
        return fail(why + QStringLiteral("; it is not loaded"));
    dlerror();
    void* handle = dlopen(QFile::encodeName(real).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return fail(lastDlError());
    return std::make_unique<TSharedLibrary>(TOpened{}, handle, info.absoluteFilePath());
}

TSharedLibrary::~TSharedLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

void* TSharedLibrary::Symbol(const char* name, QString* error) const
{
    dlerror();
    void* address = dlsym(m_handle, name);
    if (!address && error) {
        const char* reason = dlerror();
        *error = QStringLiteral("The library \"%1\" does not export \"%2\"%3")
                     .arg(m_fileName, QString::fromLatin1(name),
                          reason ? QStringLiteral(": ") + QString::fromLocal8Bit(reason) : QString());
    }
    return address;
}

QString UserPluginFileName(uint8_t tool, QString* error)
{
    if (error)
        error->clear();
    if (!GetUseUserFilter(tool))
        return {};
    return GetUserDLLFileName(tool).trimmed();
}

} // namespace cv
