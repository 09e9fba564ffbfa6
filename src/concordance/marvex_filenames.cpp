#include "concordance/marvex_filenames.h"

#include "model/corvantis_holder.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"

#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

namespace cv {

namespace {
constexpr double kDaysTo1970 = 25569.0; // 30 December 1899 to 1 January 1970
constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kUnknownTime = std::numeric_limits<int64_t>::min();
constexpr uint8_t kFlagStill = 1;

enum Column { kColNumber = 0, kColFile = 1, kColWords = 2, kColHits = 3, kColStatus = 4 };
} // namespace

double DayNumberFromDateTime(const QDateTime& t)
{
    return t.isValid() ? kDaysTo1970 + double(t.toMSecsSinceEpoch()) / kMsPerDay : 0;
}

QDateTime DateTimeFromDayNumber(double days)
{
    if (!std::isfinite(days))
        return {};
    const double ms = std::round((days - kDaysTo1970) * kMsPerDay);
    // Beyond what a date of a text can be (QDateTime's range is far wider).
    if (std::fabs(ms) > 1e16)
        return {};
    return QDateTime::fromMSecsSinceEpoch(int64_t(ms), QTimeZone::utc());
}

int DocumentCharWidth(const TCVBaseDataClass& list)
{
    return list.Holder() && !list.Holder()->fUnicode ? 1 : 2;
}

// ---------------------------------------------------------------------------

QString TMarvexFilenameRec::DisplayName() const
{
    return ZipEntryName.isEmpty() ? FullFilename : FullFilename + QLatin1Char('|') + ZipEntryName;
}

QString TMarvexFilenameRec::ShortName() const
{
    return ZipEntryName.isEmpty() ? QFileInfo(FullFilename).fileName() : QFileInfo(ZipEntryName).fileName();
}

QDateTime TMarvexFilenameRec::FileTime() const
{
    return FileTimeMs == kUnknownTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(FileTimeMs, QTimeZone::utc());
}

double TMarvexFilenameRec::DayNumber() const
{
    return DayNumberFromDateTime(FileTime());
}

TChosenTextRec TMarvexFilenameRec::ToChosenTextRec() const
{
    TChosenTextRec r;
    r.FullFilename = FullFilename;
    r.ZipEntryName = ZipEntryName;
    r.FileSize = FileSize;
    r.FileTime = FileTime();
    r.Hits = Hits;
    r.Words = Words;
    r.Status = Status;
    r.Kind = Kind;
    return r;
}

// ---------------------------------------------------------------------------

TMarvexFilenameEntry::TMarvexFilenameEntry(TCVBaseDataClass* owner, const TChosenTextRec& text, int32_t number)
    : TCVBaseListObject(owner)
{
    fData.FullFilename = text.FullFilename;
    fData.ZipEntryName = text.ZipEntryName;
    fData.FileSize = text.FileSize;
    fData.FileTimeMs = text.FileTime.isValid() ? text.FileTime.toMSecsSinceEpoch() : kUnknownTime;
    fData.Status = text.Status;
    fData.Kind = text.Kind;
    fData.OriginalFilenumber = number;
    Refresh();
}

bool TMarvexFilenameEntry::SaveToStream(TStream& s) const
{
    return WriteAString(s, fData.FullFilename) && WriteAString(s, fData.ZipEntryName) && s.WriteI64(fData.FileSize)
        && s.WriteI64(fData.FileTimeMs) && s.WriteI32(fData.Words) && s.WriteI32(fData.Hits)
        && s.WriteI32(fData.OriginalFilenumber) && s.WriteU8(fData.Status) && s.WriteU8(fData.Kind)
        && s.WriteU8(fData.StillInConcordance ? kFlagStill : 0);
}

bool TMarvexFilenameEntry::ReadFromStream(TStream& s)
{
    TMarvexFilenameRec r;
    uint8_t flags = 0;
    if (!ReadAString(s, r.FullFilename) || !ReadAString(s, r.ZipEntryName) || !s.ReadI64(r.FileSize)
        || !s.ReadI64(r.FileTimeMs) || !s.ReadI32(r.Words) || !s.ReadI32(r.Hits) || !s.ReadI32(r.OriginalFilenumber)
        || !s.ReadU8(r.Status) || !s.ReadU8(r.Kind) || !s.ReadU8(flags) || (flags & ~kFlagStill) != 0
        || r.OriginalFilenumber < 0)
        return false;
    r.StillInConcordance = flags & kFlagStill;
    fData = std::move(r);
    Refresh();
    return true;
}

// ---------------------------------------------------------------------------

TMarvexFilenamelist::TMarvexFilenamelist(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TMarvexFilenameEntry>(&l); }, kListType,
          toolSignature, kVersion)
{
    SetGridHeadings(StandardGridHeaderArray(kListType));
    SetWordColumn(kColFile);
    SetSortSettingsToDefault();
    SetCloudColumn(kColHits);
}

int TMarvexFilenamelist::AddText(const TChosenTextRec& text, int32_t number)
{
    Invalidate();
    return Add(std::make_unique<TMarvexFilenameEntry>(this, text, number));
}

int TMarvexFilenamelist::AddRecord(const TMarvexFilenameRec& rec)
{
    auto e = std::make_unique<TMarvexFilenameEntry>(this);
    e->Data() = rec;
    e->Refresh();
    Invalidate();
    return Add(std::move(e));
}

void TMarvexFilenamelist::SetWords(int i, int32_t words)
{
    if (TMarvexFilenameEntry* e = Entry(i))
        e->Data().Words = words;
}

void TMarvexFilenamelist::SetHits(int i, int32_t hits)
{
    if (TMarvexFilenameEntry* e = Entry(i))
        e->Data().Hits = hits;
}

void TMarvexFilenamelist::SetStillInConcordance(int i, bool still)
{
    if (TMarvexFilenameEntry* e = Entry(i))
        e->Data().StillInConcordance = still;
}

void TMarvexFilenamelist::SetOriginalFilenumber(int i, int32_t number)
{
    if (TMarvexFilenameEntry* e = Entry(i)) {
        e->Data().OriginalFilenumber = number;
        Invalidate();
    }
}

int TMarvexFilenamelist::IndexOfAFilename(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Entry(i)->MainWordAsPointer() == name)
            return i;
    return -1;
}

TMarvexFilenameRec TMarvexFilenamelist::Record(int i) const
{
    const TMarvexFilenameEntry* e = Entry(i);
    return e ? e->Data() : TMarvexFilenameRec{};
}

void TMarvexFilenamelist::EnsureOrderTableAllocated() const
{
    if (fOrderValid)
        return;
    fOrder.clear();
    fOrder.reserve(size_t(Count()));
    for (int i = 0; i < Count(); ++i)
        fOrder.emplace_back(Entry(i)->Data().OriginalFilenumber, i);
    // The first entry with a number wins when numbers repeat (lists merged by hand).
    std::stable_sort(fOrder.begin(), fOrder.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    fOrderBuiltCount = Count();
    fOrderValid = true;
}

int TMarvexFilenamelist::IndexOfOriginal(int32_t number) const
{
    if (number < 0)
        return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EnsureOrderTableAllocated();
        const auto it = std::lower_bound(fOrder.begin(), fOrder.end(), number,
                                         [](const auto& e, int32_t n) { return e.first < n; });
        if (it != fOrder.end() && it->first == number) {
            const int pos = it->second;
            if (pos < Count() && Entry(pos)->Data().OriginalFilenumber == number)
                return pos;
            fOrderValid = false; // an entry changed its number since
            continue;
        }
        // Not there: only entries added since the table was built can hold it.
        if (fOrderBuiltCount == Count())
            return -1;
        fOrderValid = false;
    }
    return -1;
}

TMarvexFilenameRec TMarvexFilenamelist::RecordByOriginal(int32_t number) const
{
    return Record(IndexOfOriginal(number));
}

std::vector<int32_t> TMarvexFilenamelist::OriginalFilenumbers() const
{
    std::vector<int32_t> out;
    out.reserve(size_t(Count()));
    for (int i = 0; i < Count(); ++i)
        out.push_back(Entry(i)->Data().OriginalFilenumber);
    return out;
}

std::unique_ptr<TMarvexFilenamelist> TMarvexFilenamelist::CreateCopy() const
{
    auto copy = std::make_unique<TMarvexFilenamelist>(Holder(), ToolSignature());
    copy->SetGridHeadings(GridHeadings());
    for (int i = 0; i < Count(); ++i)
        copy->AddRecord(Entry(i)->Data());
    copy->fTextFilesStillInPlace = fTextFilesStillInPlace;
    for (int l = 0; l < kSortLevels; ++l) {
        copy->Set1Sort(l, SortLevel(l).key);
        copy->SetSortAscending(l, SortLevel(l).ascending);
    }
    return copy;
}

bool TMarvexFilenamelist::CheckTextFilesStillInPlace()
{
    fTextFilesStillInPlace = false;
    for (int i = 0; i < Count() && !fTextFilesStillInPlace; ++i)
        fTextFilesStillInPlace = QFileInfo::exists(Entry(i)->Data().FullFilename);
    return fTextFilesStillInPlace;
}

void TMarvexFilenamelist::Remove(int i)
{
    Invalidate();
    TCVBaseLemmaMatchCapableList::Remove(i);
}

void TMarvexFilenamelist::Clear()
{
    Invalidate();
    TCVBaseLemmaMatchCapableList::Clear();
}

bool TMarvexFilenamelist::ReadFromStream(TStream& s)
{
    Invalidate();
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    CheckTextFilesStillInPlace();
    return true;
}

bool TMarvexFilenamelist::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    auto* texts = dynamic_cast<TMarvexFilenamelist*>(&other);
    if (!texts || texts == this)
        return false;
    int32_t next = 0;
    for (int i = 0; i < Count(); ++i)
        next = std::max(next, Entry(i)->Data().OriginalFilenumber + 1);
    for (int i = 0; i < texts->Count(); ++i) {
        TMarvexFilenameRec rec = texts->Entry(i)->Data();
        if (IndexOfAFilename(rec.DisplayName()) >= 0)
            continue;
        rec.OriginalFilenumber = next++;
        AddRecord(rec);
    }
    fTextFilesStillInPlace = fTextFilesStillInPlace || texts->fTextFilesStillInPlace;
    return true;
}

void TMarvexFilenamelist::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    const TMarvexFilenameEntry* e = Entry(row);
    if (!e || column != kColStatus) {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
        if (e && (column == kColWords || column == kColHits))
            NumberCell(rec, NumericalData(row, column), true);
        return;
    }
    rec = {};
    static const char* const kStatus[] = {"not read", "read", "could not be read"};
    rec.text = QString::fromLatin1(kStatus[std::min<int>(e->Data().Status, 2)]);
}

double TMarvexFilenamelist::NumericalData(int row, int column) const
{
    const TMarvexFilenameEntry* e = Entry(row);
    if (!e)
        return 0;
    switch (column) {
    case kColWords: return e->Data().Words;
    case kColHits: return e->Data().Hits;
    case kColStatus: return e->Data().Status;
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

int TMarvexFilenamelist::HeaderColumnToSortNeeded(int column) const
{
    switch (column) {
    case kColFile: return kSortFullName;
    case kColWords: return kSortWords;
    case kColHits: return kSortHits;
    case kColStatus: return kSortStatus;
    default: return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    }
}

TSortKeyKind TMarvexFilenamelist::KindOfSortKey(int32_t key) const
{
    if (key == kSortShortName)
        return TSortKeyKind::Text;
    return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
}

QString TMarvexFilenamelist::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == kSortShortName)
        return static_cast<const TMarvexFilenameEntry&>(e).Data().ShortName();
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TMarvexFilenamelist::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& d = static_cast<const TMarvexFilenameEntry&>(e).Data();
    switch (key) {
    case kSortWords: return d.Words;
    case kSortHits: return d.Hits;
    case kSortStatus: return d.Status;
    default: return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

void TMarvexFilenamelist::DoASort(int lastIndex)
{
    Invalidate();
    TCVBaseLemmaMatchCapableList::DoASort(lastIndex);
}

} // namespace cv
