#include "wordlist/word_filter_plugin.h"

#include "suite/shared_library.h"

namespace cv {

std::unique_ptr<TWordFilterPlugin> TWordFilterPlugin::Load(const QString& libraryPath, QString* error)
{
    TWordlistChangeWordFunction function = nullptr;
    auto library = TSharedLibrary::OpenWithEntryPoint(libraryPath, kEntryPoint, function, error);
    if (!library)
        return nullptr;
    return std::unique_ptr<TWordFilterPlugin>(new TWordFilterPlugin(std::move(library), function));
}

std::unique_ptr<TWordFilterPlugin> TWordFilterPlugin::LoadForTool(uint8_t tool, QString* error)
{
    return LoadPluginForTool<TWordFilterPlugin>(tool, error);
}

TWordFilterPlugin::TWordFilterPlugin(std::unique_ptr<TSharedLibrary> library, TWordlistChangeWordFunction function)
    : fLibrary(std::move(library)), fFunction(function), fBuffer(size_t(kNewWordCapacity))
{
    fLibraryPath = fLibrary->FileName();
}

TWordFilterPlugin::~TWordFilterPlugin() = default;

void TWordFilterPlugin::NoteFault(const QString& word, const QString& what)
{
    if (fFaults++ == 0)
        fFirstFault = QStringLiteral("The word filter \"%1\" %2 for the word \"%3\"; the word was kept as it was.")
                          .arg(fLibraryPath, what, word.left(80));
}

bool TWordFilterPlugin::ChangeWord(QString& word, int32_t& frequency)
{
    int32_t newLength = 0;
    int32_t newFrequency = frequency;
    // The filter sees a buffer of its own size every time, never the
    // remains of the previous word.
    fBuffer.assign(fBuffer.size(), 0);
    const int32_t answer = fFunction(reinterpret_cast<const uint16_t*>(word.utf16()), int32_t(word.size()),
                                     fBuffer.data(), kNewWordCapacity, &newLength, &newFrequency);
    switch (answer) {
    case kDrop:
        return false;
    case kKeep:
    case kChanged:
        break;
    default:
        NoteFault(word, QStringLiteral("answered %1").arg(answer));
        return true;
    }
    if (newFrequency < 0) {
        NoteFault(word, QStringLiteral("gave the frequency %1").arg(newFrequency));
        return true;
    }
    if (answer == kChanged) {
        if (newLength < 0 || newLength > kNewWordCapacity) {
            NoteFault(word, QStringLiteral("gave a changed word of %1 characters").arg(newLength));
            return true;
        }
        // An empty replacement leaves no word to list.
        if (newLength == 0)
            return false;
        word = QString(reinterpret_cast<const QChar*>(fBuffer.data()), newLength);
    }
    // A word the filter counts as never seen is not listed.
    if (newFrequency == 0)
        return false;
    frequency = newFrequency;
    return true;
}

} // namespace cv
