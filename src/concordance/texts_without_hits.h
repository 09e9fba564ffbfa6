#pragma once
// The chosen texts of a concordance in which no search word was found, so
// that the user sees which texts gave nothing and the list survives a save.
//
// Stored form (inside the ".cnc" document, docs/cnc-file.md):
//   Int32 header: 2147483647 for an empty list, else 0 - entries
//                 (a positive count is the older layout: no version, no names)
//   Int32 version (absent in the older layout)
//   per entry: the 56-byte fixed part (date, words, 44 spare bytes), then
//              the file name as a string (absent in the older layout)

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace cv {

class TStream;

struct TUnusedFileRec {
    static constexpr int kFixedSize = 56;

    double Juliandate = 0;      // date of the text, as a day number with fraction
    int32_t wordcount = 0;      // running words of the text
    std::array<uint8_t, 44> spare{};
    QString filename;           // full file name of the text

    bool SaveFixedPart(TStream& s) const;
    bool ReadFixedPart(TStream& s);
    friend bool operator==(const TUnusedFileRec&, const TUnusedFileRec&) = default;
};

class TUnusedFileFrecHolder {
public:
    explicit TUnusedFileFrecHolder(const TUnusedFileRec& rec = {}) : fRec(rec) {}
    const TUnusedFileRec& Rec() const { return fRec; }
    TUnusedFileRec& Rec() { return fRec; }

private:
    TUnusedFileRec fRec;
};

class TUnusedFileList {
public:
    static constexpr int32_t kEmptyMarker = 2147483647;
    static constexpr int32_t kCurrentVersion = 1;

    int Count() const { return int(fItems.size()); }
    // A copy of entry i's record (a zeroed record outside the list).
    TUnusedFileRec Record(int i) const;
    void Add(const TUnusedFileRec& rec) { fItems.emplace_back(rec); }
    void Clear() { fItems.clear(); }
    // The first entry whose file name equals `name` ignoring case, else -1.
    int IndexOfAFilename(const QString& name) const;
    // By file name (ignoring case; names equal so keep their order).
    void SortAlphabetically();

    // False when a header or a fixed part could not be written whole.
    bool SaveToStream(TStream& s);
    // False when the header or any entry's fixed part was incomplete. Entries
    // after a short one are still created, empty. A damaged count or name
    // ends the read with false and leaves what was read so far.
    bool ReadFromStream(TStream& s);

    int32_t fversion_num = 0;

private:
    std::vector<TUnusedFileFrecHolder> fItems;
};

} // namespace cv
