#pragma once
// Small parts of the result document: the record of its stored file and the
// register of the lists it holds.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace cv {

class TStream;
class TCVBaseDataClass;

// The file a document was read from or is saved as.
struct TCVStored_File_rec {
    QString FileName;
    uint8_t Mark = 0;     // 1 after a comparison with a reference list
    int32_t Count = 0;    // entries of the document's main list
    uint8_t ListType = 0; // the document's kind

    void Clear() { *this = {}; }
    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s);
    friend bool operator==(const TCVStored_File_rec&, const TCVStored_File_rec&) = default;
};

// The lists a document holds, in the order its pages show them. The register
// does not own them; the document does.
class TCVBaseListList {
public:
    // Told a list's entry count when the document asks its lists to report.
    using TEntriesCallback = std::function<void(const TCVBaseDataClass& list, int64_t entries)>;

    void Add(TCVBaseDataClass* list, TEntriesCallback onEntries = {});
    void Clear() { fLists.clear(); }
    int Count() const { return int(fLists.size()); }
    TCVBaseDataClass* Get(int i) const { return fLists.at(size_t(i)).list; }
    bool Contains(const TCVBaseDataClass* list) const;
    // Every list tells its callback how many entries it has.
    void ReportEntries() const;

    auto begin() const { return ListIterator{fLists.begin()}; }
    auto end() const { return ListIterator{fLists.end()}; }

private:
    struct Held {
        TCVBaseDataClass* list;
        TEntriesCallback onEntries;
    };
    struct ListIterator {
        std::vector<Held>::const_iterator it;
        TCVBaseDataClass* operator*() const { return it->list; }
        ListIterator& operator++()
        {
            ++it;
            return *this;
        }
        bool operator!=(const ListIterator& o) const { return it != o.it; }
    };
    std::vector<Held> fLists;
};

} // namespace cv
