#include "suite/shared_library.h"

#include "suite/cvbuf.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace cv {

namespace {

QString lastDlError()
{
    const char* reason = dlerror();
    return reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown reason");
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
    dlerror();
    void* handle = dlopen(QFile::encodeName(info.absoluteFilePath()).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return fail(lastDlError());
    return std::unique_ptr<TSharedLibrary>(new TSharedLibrary(handle, info.absoluteFilePath()));
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
