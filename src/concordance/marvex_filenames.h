#pragma once
// The texts of a concordance that yielded lines: one entry per text, in the
// order the texts were processed, with the words read in it and the hits
// kept from it. Lines name their text by its original number (fixed when the
// entry was made, so sorting the list does not change what lines point to):
// a line's text number is the entry's original number + 1.
//
// Entry stream (inside the base list stream, docs/cnc-file.md): full name,
// zip entry name (strings), size (Int64), time (Int64 ms since 1970 UTC,
// INT64_MIN unknown), words, hits, original number (Int32), status, kind,
// flags (bytes; flag 1: still in the concordance).

#include "model/chosen_text_rec.h"
#include "model/lemma_match_list.h"
#include "suite/wdef.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

namespace cv {

// Dates of texts as day numbers with a fraction (days since 30 December 1899,
// UTC), the form line records, unused-file records and timelines store.
double DayNumberFromDateTime(const QDateTime& t);
QDateTime DateTimeFromDayNumber(double days);

// Characters of a concordance document's texts in its stored lists: 2
// (UTF-16) for a Unicode document, 1 (8-bit) otherwise; 2 for a list
// without a document.
int DocumentCharWidth(const TCVBaseDataClass& list);

struct TMarvexFilenameRec {
    QString FullFilename;  // the text's path; for a text inside a zip, the archive's path
    QString ZipEntryName;  // empty for a loose text
    int64_t FileSize = 0;
    int64_t FileTimeMs = std::numeric_limits<int64_t>::min(); // unknown
    int32_t Words = 0;
    int32_t Hits = 0;
    int32_t OriginalFilenumber = 0; // 0-based; lines hold it + 1
    uint8_t Status = 0;   // as the chosen texts' status
    uint8_t Kind = 0;     // detected format
    bool StillInConcordance = false;

    // "archive.zip|entry" for texts inside zips, else the path.
    QString DisplayName() const;
    // The name without its folder (the entry's name for a text inside a zip).
    QString ShortName() const;
    QDateTime FileTime() const;
    double DayNumber() const; // 0 when the time is unknown
    TChosenTextRec ToChosenTextRec() const;
    // Its running words, whatever sign the file they were read from gave
    // them (a damaged file's lowest number, which has no positive, as the
    // highest).
    int32_t WordCount() const
    {
        return Words == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : std::abs(Words);
    }
    friend bool operator==(const TMarvexFilenameRec&, const TMarvexFilenameRec&) = default;
};

class TMarvexFilenameEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    // An entry for a chosen text, numbered `number` (0-based).
    TMarvexFilenameEntry(TCVBaseDataClass* owner, const TChosenTextRec& text, int32_t number);

    TMarvexFilenameRec& Data() { return fData; }
    const TMarvexFilenameRec& Data() const { return fData; }

    QString MainWordOnly() const override { return fDisplay; }
    QStringView MainWordAsPointer() const override { return fDisplay; }
    int64_t MainWordFrequency() const override { return fData.Hits; }
    int32_t MainNTexts() const override { return 1; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    // Keeps the shown name in step with the record.
    void Refresh() { fDisplay = fData.DisplayName(); }

private:
    TMarvexFilenameRec fData;
    QString fDisplay;
};

class TMarvexFilenamelist : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListFilenames;
    static constexpr int32_t kVersion = 1;

    // Sort keys: 0 the full name, 1 the name without folder, 2 words, 3 hits, 4 status.
    enum : int32_t { kSortFullName = 0, kSortShortName = 1, kSortWords = 2, kSortHits = 3, kSortStatus = 4 };

    TMarvexFilenamelist(TCorvantisholder* owner, uint32_t toolSignature);

    TMarvexFilenameEntry* Entry(int i) const { return static_cast<TMarvexFilenameEntry*>(Get(i)); }
    // Adds an entry for the text numbered `number`; returns its index.
    int AddText(const TChosenTextRec& text, int32_t number);
    int AddRecord(const TMarvexFilenameRec& rec);
    void SetWords(int i, int32_t words);
    void SetHits(int i, int32_t hits);
    void SetStillInConcordance(int i, bool still);
    void SetOriginalFilenumber(int i, int32_t number);
    // Exact comparison of full names (with the zip entry for texts inside
    // zips: "archive.zip|entry"); -1 when absent.
    int IndexOfAFilename(const QString& name) const;
    // A copy of entry i's record, by position; a zeroed record outside the list.
    TMarvexFilenameRec Record(int i) const;
    // The entry whose original number is `number` (0-based), or -1.
    int IndexOfOriginal(int32_t number) const;
    // The same for a text's number as lines hold it (1-based; -1 for a
    // number below 1, which a damaged file may hold).
    int IndexOfTextNumber(int32_t textNumber) const { return textNumber < 1 ? -1 : IndexOfOriginal(textNumber - 1); }
    TMarvexFilenameRec RecordByOriginal(int32_t number) const;
    // The original numbers of the entries, in list order.
    std::vector<int32_t> OriginalFilenumbers() const;
    // Builds the table from original numbers to positions when it is stale.
    void EnsureOrderTableAllocated() const;
    std::unique_ptr<TMarvexFilenamelist> CreateCopy() const;

    // Whether at least one listed text was found on disk at the last read.
    bool fTextFilesStillInPlace = false;
    // Looks again (true when at least one listed text exists).
    bool CheckTextFilesStillInPlace();

    void Remove(int i) override;
    void Clear() override;
    bool ReadFromStream(TStream& s) override;
    // Appends the other list's texts that this one lacks, numbered after its own.
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    void DoASort(int lastIndex) override;

private:
    void Invalidate() { fOrderValid = false; }
    // (original number, position), by number: numbers come from files and
    // may be anything, so no table is sized by them.
    mutable std::vector<std::pair<int32_t, int>> fOrder;
    mutable int fOrderBuiltCount = -1; // entries when the table was built
    mutable bool fOrderValid = false;
};

} // namespace cv
