#pragma once
// A user's shared library (a plug-in named in the settings), opened at run
// time. The one place that calls the platform's dynamic loader.

#include <QString>

#include <cstdint>
#include <memory>

namespace cv {

class TSharedLibrary {
public:
    // Opens the library with every symbol resolved now and kept local to it.
    // Null, with "Cannot load library "<name>": <reason>" in error, when the
    // file is missing, not a library of this platform, or cannot be linked,
    // and when another user could change it: the file or a folder above it
    // belongs to another user (root aside) or may be written by others
    // ("... the folder "/tmp/x" may be changed by every user of the
    // machine; it is not loaded").
    static std::unique_ptr<TSharedLibrary> Open(const QString& fileName, QString* error);

    ~TSharedLibrary();
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // The address of an exported symbol; null, with the reason in error, when absent.
    void* Symbol(const char* name, QString* error) const;
    // A plug-in: the library opened and its one entry point found. Null, with
    // the reason naming the file in error, when either fails.
    template <typename TFunction>
    static std::unique_ptr<TSharedLibrary> OpenWithEntryPoint(const QString& fileName, const char* entryPoint,
                                                              TFunction& function, QString* error)
    {
        function = nullptr;
        auto library = Open(fileName, error);
        if (!library)
            return nullptr;
        function = reinterpret_cast<TFunction>(library->Symbol(entryPoint, error));
        if (!function)
            return nullptr;
        return library;
    }
    QString FileName() const { return m_fileName; }

private:
    // Only Open makes one (the key is private; the constructor public for make_unique).
    struct TOpened {
        explicit TOpened() = default;
    };

public:
    TSharedLibrary(TOpened, void* handle, QString fileName) : m_handle(handle), m_fileName(std::move(fileName)) {}

private:

    void* m_handle;
    QString m_fileName;
};

// The plug-in file the settings buffer names for the tool (its user-filter
// switch and file name), trimmed; empty when none is wanted. Clears error.
QString UserPluginFileName(uint8_t tool, QString* error);

// The plug-in of kind TPlugin (a class with a static Load(fileName, error))
// the settings buffer asks for this tool: null with an empty error when none
// is wanted, null with the reason when it cannot be loaded.
template <class TPlugin>
std::unique_ptr<TPlugin> LoadPluginForTool(uint8_t tool, QString* error)
{
    const QString fileName = UserPluginFileName(tool, error);
    if (fileName.isEmpty())
        return nullptr;
    return TPlugin::Load(fileName, error);
}

} // namespace cv
