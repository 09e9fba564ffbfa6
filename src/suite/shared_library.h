#pragma once
// A user's shared library (a plug-in named in the settings), opened at run
// time. The one place that calls the platform's dynamic loader.

#include <QString>

#include <memory>

namespace cv {

class TSharedLibrary {
public:
    // Opens the library with every symbol resolved now and kept local to it.
    // Null, with "Cannot load library "<name>": <reason>" in error, when the
    // file is missing, not a library of this platform, or cannot be linked.
    static std::unique_ptr<TSharedLibrary> Open(const QString& fileName, QString* error);

    ~TSharedLibrary();
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // The address of an exported symbol; null, with the reason in error, when absent.
    void* Symbol(const char* name, QString* error) const;
    QString FileName() const { return m_fileName; }

private:
    TSharedLibrary(void* handle, QString fileName) : m_handle(handle), m_fileName(std::move(fileName)) {}

    void* m_handle;
    QString m_fileName;
};

} // namespace cv
