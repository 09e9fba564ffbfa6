#include "concordance/concordance_line_plugin.h"

#include "suite/shared_library.h"

namespace cv {

std::unique_ptr<TConcordanceLinePlugin> TConcordanceLinePlugin::Load(const QString& libraryPath, QString* error)
{
    THandleConcordanceLineFunction function = nullptr;
    auto library = TSharedLibrary::OpenWithEntryPoint(libraryPath, kEntryPoint, function, error);
    if (!library)
        return nullptr;
    return std::unique_ptr<TConcordanceLinePlugin>(
        new TConcordanceLinePlugin(std::move(library), function, libraryPath));
}

std::unique_ptr<TConcordanceLinePlugin> TConcordanceLinePlugin::LoadForTool(uint8_t tool, QString* error)
{
    return LoadPluginForTool<TConcordanceLinePlugin>(tool, error);
}

std::unique_ptr<TConcordanceLinePlugin> TConcordanceLinePlugin::FromFunction(THandleConcordanceLineFunction function,
                                                                           const QString& name)
{
    if (!function)
        return nullptr;
    return std::unique_ptr<TConcordanceLinePlugin>(new TConcordanceLinePlugin(nullptr, function, name));
}

TConcordanceLinePlugin::TConcordanceLinePlugin(std::unique_ptr<TSharedLibrary> library,
                                               THandleConcordanceLineFunction function, QString name)
    : fLibrary(std::move(library)), fFunction(function), fLibraryPath(std::move(name))
{
}

TConcordanceLinePlugin::~TConcordanceLinePlugin() = default;

void TConcordanceLinePlugin::NoteFault(const QString& what)
{
    if (fFaults++ == 0)
        fFirstFault = QStringLiteral("The concordance line filter \"%1\" %2; the line was left out.").arg(fLibraryPath, what);
}

bool TConcordanceLinePlugin::KeepLine(QString& line, int32_t midpoint, int32_t hitCharacters, int64_t bytePosition,
                                      int32_t wordNumber, const QString& fileName)
{
    const qsizetype n = line.size();
    // A line of our own: its buffer is not shared, and ends with a zero.
    uint16_t* chars = reinterpret_cast<uint16_t*>(line.data());
    int32_t answer = 0;
    try {
        answer = fFunction(chars, int32_t(uint16_t(midpoint)), int32_t(uint16_t(hitCharacters)), bytePosition,
                           wordNumber, kWideCharacters, reinterpret_cast<const uint16_t*>(fileName.utf16()));
    } catch (...) {
        NoteFault(QStringLiteral("failed"));
        return false;
    }
    if (chars[n] != 0) {
        chars[n] = 0;
        NoteFault(QStringLiteral("wrote past the end of a line"));
        return false;
    }
    for (qsizetype i = 0; i < n; ++i)
        if (chars[i] == 0) {
            NoteFault(QStringLiteral("shortened a line"));
            return false;
        }
    return answer != 0;
}

} // namespace cv
