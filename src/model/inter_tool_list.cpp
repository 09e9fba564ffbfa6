#include "model/inter_tool_list.h"

#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "suite/private_files.h"

#include <QDir>

namespace cv {

namespace {
constexpr uint8_t kMagic[4] = {'C', 'V', 'I', 'T'};
constexpr uint32_t kMaxPartBytes = 256u << 20;

// A part written with its length in front, so a reader can check it took exactly that.
bool WritePart(TStream& s, const std::function<bool(TStream&)>& write)
{
    TMemoryStream m;
    return write(m) && WriteSizedBlock(s, m);
}

bool ReadPart(TStream& s, const std::function<bool(TStream&)>& read)
{
    TMemoryStream m;
    return ReadSizedBlock(s, kMaxPartBytes, m) && read(m) && m.Remaining() == 0;
}
} // namespace

TBaseInterToolList::TBaseInterToolList(uint8_t creatingTool, uint8_t usingTool, TItemFactory factory)
    : fCreatingTool(creatingTool), fUsingTool(usingTool), fFactory(std::move(factory))
{
}

QString TBaseInterToolList::TempFilename(const QString& tempFolder) const
{
    return QDir(tempFolder).filePath(Tool_Name(fCreatingTool) + QLatin1Char('_') + Tool_Name(fUsingTool)
                                     + TempFileExtension());
}

bool TBaseInterToolList::SaveToStream(TStream& s) const
{
    if (!s.WriteExact(kMagic, 4) || !s.WriteU16(kStreamVersion) || !s.WriteU8(fCreatingTool) || !s.WriteU8(fUsingTool)
        || !WritePart(s, [this](TStream& m) { return SaveHeaderExtras(m); }) || !s.WriteCount(Count()))
        return false;
    for (const auto& item : fItems)
        if (!WritePart(s, [&](TStream& m) { return item->SaveToStream(m); }))
            return false;
    return true;
}

bool TBaseInterToolList::ReadFromStream(TStream& s)
{
    uint8_t magic[4] = {};
    uint16_t version = 0;
    uint8_t creating = 0, user = 0;
    if (!s.ReadExact(magic, 4) || !std::equal(magic, magic + 4, kMagic) || !s.ReadU16(version) || version < 1
        || version > kStreamVersion || !s.ReadU8(creating) || !s.ReadU8(user) || creating != fCreatingTool
        || user != fUsingTool || !ReadPart(s, [this](TStream& m) { return ReadHeaderExtras(m); }))
        return false;
    int32_t n = 0;
    if (!s.ReadCount(n, 4) || !fFactory)
        return false;
    std::vector<std::unique_ptr<TInterToolListObj>> items;
    for (int32_t k = 0; k < n; ++k) {
        auto item = fFactory();
        if (!item || !ReadPart(s, [&](TStream& m) { return item->ReadFromStream(m); }))
            return false;
        items.push_back(std::move(item));
    }
    fItems = std::move(items);
    return true;
}

bool TBaseInterToolList::SavedToTempfile(const QString& tempFolder, QString* error) const
{
    TMemoryStream m;
    if (!SaveToStream(m)) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": the list could not be written").arg(TempFilename(tempFolder));
        return false;
    }
    return m.SaveToFile(TempFilename(tempFolder), error);
}

bool TBaseInterToolList::SavedToTempfile() const
{
    return SavedToTempfile(SuiteTempFolder());
}

bool TBaseInterToolList::LoadedFromTempfile(const QString& tempFolder, QString* error)
{
    const QString name = TempFilename(tempFolder);
    TMemoryStream m;
    if (!m.LoadFromFile(name, error))
        return false;
    if (!ReadFromStream(m)) {
        if (error)
            *error = QStringLiteral("Cannot read file \"%1\": not a list for %2, or damaged").arg(name, Tool_Name(fUsingTool));
        return false;
    }
    return true;
}

} // namespace cv
