#pragma once
// A list one tool of the suite writes to a temporary file for another (the
// request list for the sibling concordance tool, say). The file is named from
// the two tools' names and the list's extension, in the temporary folder:
// "<creating tool>_<using tool><extension>" (format: docs/inter-tool-list.md).
//
// Derived lists give the items (TInterToolListObj, each with its own stream
// form), the extension, and may store fields of their own in the header.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

class TStream;

class TInterToolListObj {
public:
    virtual ~TInterToolListObj() = default;
    virtual bool SaveToStream(TStream& s) const = 0;
    virtual bool ReadFromStream(TStream& s) = 0;
};

class TBaseInterToolList {
public:
    using TItemFactory = std::function<std::unique_ptr<TInterToolListObj>()>;
    static constexpr uint16_t kStreamVersion = 1;

    TBaseInterToolList(uint8_t creatingTool, uint8_t usingTool, TItemFactory factory);
    virtual ~TBaseInterToolList() = default;

    uint8_t CreatingTool() const { return fCreatingTool; }
    uint8_t UsingTool() const { return fUsingTool; }
    int Count() const { return int(fItems.size()); }
    TInterToolListObj* Get(int i) const { return fItems.at(size_t(i)).get(); }
    void Add(std::unique_ptr<TInterToolListObj> item) { fItems.push_back(std::move(item)); }
    virtual void Clear() { fItems.clear(); }

    // The file in the temporary folder this list goes to.
    QString TempFilename(const QString& tempFolder) const;
    // Writes the list (through a temporary file and a rename); true on success.
    bool SavedToTempfile(const QString& tempFolder, QString* error = nullptr) const;
    // The same in the suite's temporary folder.
    bool SavedToTempfile() const;
    // Reads the list the creating tool wrote; replaces the items only when the whole file is sound.
    bool LoadedFromTempfile(const QString& tempFolder, QString* error = nullptr);

    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s);

protected:
    virtual QString TempFileExtension() const { return QStringLiteral(".intertool"); }
    // Fields of a derived list, kept in the header.
    virtual bool SaveHeaderExtras(TStream& s) const { return true; }
    virtual bool ReadHeaderExtras(TStream& s) { return true; }

private:
    uint8_t fCreatingTool;
    uint8_t fUsingTool;
    TItemFactory fFactory;
    std::vector<std::unique_ptr<TInterToolListObj>> fItems;
};

} // namespace cv
