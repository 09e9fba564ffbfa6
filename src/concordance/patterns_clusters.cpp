#include "concordance/patterns_clusters.h"

#include "concordance/marvex_filenames.h"
#include "model/corvantis_holder.h"
#include "suite/cv_stream.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/wdef.h"

#include <QHash>
#include <QLocale>

namespace cv {

bool InLoadedStopList(const QString& word)
{
    return FoundInTheList(current_tool_var, TLemmatiserListKind::Stop, word);
}

namespace {

bool DocumentReadsRightToLeft(const TCVBaseDataClass* list)
{
    if (!list || !list->Holder())
        return false;
    const QString locale = list->Holder()->ftextsettings.CollationName();
    return !locale.isEmpty() && QLocale(locale).textDirection() == Qt::RightToLeft;
}

int CompareText(const QString& a, const QString& b)
{
    const int c = QStringView(a).compare(QStringView(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

// ---------------------------------------------------------------------------
// Pattern tree

TPatternTree::TPatternTree(const TConcSettingsRec32& settings, bool useStopList, int span)
    : fspan(span), fMinimum_length(settings.MinCollocateLength()),
      fminimum_frequency(uint16_t(settings.MinCollocateFrequency())), fUseStopList(useStopList)
{
    UseHashIndex();
}

void TPatternTree::AddWord(const QString& word)
{
    Seed().w = word;
    Seed().freq = 1;
    Add_One();
}

void TPatternTree::Collect()
{
    fFreqList.clear();
    Traverse();
}

int TPatternTree::Compare(const TPatternTreeRec& a, const TPatternTreeRec& b) const
{
    return CompareText(a.w, b.w);
}

uint64_t TPatternTree::Hash(const TPatternTreeRec& key) const
{
    return qHash(key.w);
}

void TPatternTree::Do_Found_Match(TPatternTreeRec& existing, TPatternTreeRec& seed)
{
    existing.freq += seed.freq;
}

void TPatternTree::Do_In_Order(TPatternTreeRec& key)
{
    // Strictly longer than the minimum length (collocates accept equal lengths).
    if (key.freq < fminimum_frequency || key.w.size() <= fMinimum_length)
        return;
    if (fUseStopList && InLoadedStopList(key.w))
        return;
    fFreqList.push_back(std::move(key));
}

// ---------------------------------------------------------------------------
// Pattern rows

int TPatternEntry::ColumnToPosition(int column) const
{
    const int p = DocumentReadsRightToLeft(Owner()) ? 55 - column : column + kFirstPatternPosition;
    return p >= kFirstPatternPosition && p < kFirstPatternPosition + kPatternPositions ? p : -1;
}

QString TPatternEntry::GetAWordAsString(int column) const
{
    const int p = ColumnToPosition(column);
    return p < 0 ? QString() : fData.words[size_t(p - kFirstPatternPosition)];
}

void TPatternEntry::SetAWordAsString(int column, const QString& text)
{
    if (const int p = ColumnToPosition(column); p >= 0)
        fData.words[size_t(p - kFirstPatternPosition)] = text;
}

bool TPatternEntry::SaveToStream(TStream& s) const
{
    const int width = Owner() ? DocumentCharWidth(*Owner()) : 2;
    for (int32_t f : fData.freqs)
        if (!s.WriteI32(f))
            return false;
    for (const QString& w : fData.words)
        if (!WriteAString(s, w, width))
            return false;
    return s.WriteI32(fData.sw_number);
}

bool TPatternEntry::ReadFromStream(TStream& s)
{
    const int width = Owner() ? DocumentCharWidth(*Owner()) : 2;
    const int32_t version = Owner() ? Owner()->GetVersionNumber() : TPatternsList::kVersion;
    TPatternEntryRec r;
    for (int32_t& f : r.freqs)
        if (!s.ReadI32(f))
            return false;
    for (QString& w : r.words)
        if (!ReadAString(s, w, width))
            return false;
    if (version > 10 && !s.ReadI32(r.sw_number))
        return false;
    if (TCVBaseDataClass* list = Owner())
        for (int32_t f : r.freqs)
            list->NoteValueRead(f);
    fData = std::move(r);
    return true;
}

// ---------------------------------------------------------------------------
// Patterns list

TPatternsList::TPatternsList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TPatternEntry>(&l); }, kListType, toolSignature,
          kVersion)
{
    SetGridHeadings(StandardGridHeaderArray(kListType));
    SetWordColumn(-1);
    SetCloudColumn(5);
    SetSortSettingsToDefault();
}

TPatternEntryRec TPatternsList::PatternData(int i) const
{
    const TPatternEntry* e = Entry(i);
    return e ? e->Data() : TPatternEntryRec{};
}

int TPatternsList::AddRow(const TPatternEntryRec& rec)
{
    auto e = std::make_unique<TPatternEntry>(this);
    e->Data() = rec;
    return Add(std::move(e));
}

void TPatternsList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    const TPatternEntry* e = Entry(row);
    if (!e || column == 0 || e->ColumnToPosition(column) < 0) {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
        return;
    }
    rec = {};
    rec.text = e->GetAWordAsString(column);
    rec.value = NumericalData(row, column);
}

void TPatternsList::GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const
{
    datum = {};
    const TPatternEntry* e = Entry(i);
    if (!e)
        return;
    datum.word = e->GetAWordAsString(CloudColumn());
    datum.frequency = int32_t(NumericalData(i, CloudColumn()));
    datum.number = i + 1;
}

double TPatternsList::NumericalData(int row, int column) const
{
    const TPatternEntry* e = Entry(row);
    if (e && column >= 1 && column <= 10) {
        const int p = e->ColumnToPosition(column);
        return p < 0 ? 0 : e->Data().freqs[size_t(p - kFirstPatternPosition)];
    }
    return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
}

// ---------------------------------------------------------------------------
// Cluster tree

TConcordanceClusterTree::TConcordanceClusterTree(int minimumFrequency) : fminimum_frequency(uint16_t(minimumFrequency))
{
    UseHashIndex();
}

void TConcordanceClusterTree::AddCluster(const QString& text, int32_t length)
{
    TClusterEntryRec& s = Seed();
    s = {};
    s.line = text;
    s.cluster_length = length;
    Add_One();
}

void TConcordanceClusterTree::Collect()
{
    fFreqList.clear();
    max_found = 0;
    Traverse();
}

int TConcordanceClusterTree::Compare(const TClusterEntryRec& a, const TClusterEntryRec& b) const
{
    return CompareText(a.line, b.line);
}

uint64_t TConcordanceClusterTree::Hash(const TClusterEntryRec& key) const
{
    return qHash(key.line);
}

void TConcordanceClusterTree::Do_Found_Match(TClusterEntryRec& existing, TClusterEntryRec& seed)
{
    existing.frequency += seed.frequency;
}

void TConcordanceClusterTree::Do_In_Order(TClusterEntryRec& key)
{
    max_found = std::max(max_found, key.frequency);
    if (key.frequency >= fminimum_frequency)
        fFreqList.push_back(std::move(key));
}

// ---------------------------------------------------------------------------
// Cluster rows

double TConcordanceClusterEntry::GetAValueAsSingle(int column) const
{
    const TCVBaseDataClass* list = Owner();
    if (!list)
        return 0;
    return list->NumericalData(list->IndexOf(this), column);
}

QString TConcordanceClusterEntry::GetAWordAsString(int column) const
{
    return column == 1 ? fData.line : TCVBaseListObject::GetAWordAsString(column);
}

void TConcordanceClusterEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == 1)
        fData.line = text;
}

bool TConcordanceClusterEntry::SaveToStream(TStream& s) const
{
    const int width = Owner() ? DocumentCharWidth(*Owner()) : 2;
    return s.WriteI32(fData.frequency) && WriteAString(s, fData.line, width) && s.WriteI32(fData.cluster_length)
        && WriteAString(s, fData.related_line);
}

bool TConcordanceClusterEntry::ReadFromStream(TStream& s)
{
    const int width = Owner() ? DocumentCharWidth(*Owner()) : 2;
    const int32_t version = Owner() ? Owner()->GetVersionNumber() : TConcordanceClusterList::kVersion;
    TClusterEntryRec r;
    r.cluster_length = 0;
    if (!s.ReadI32(r.frequency) || !ReadAString(s, r.line, width))
        return false;
    if (version > 10 && (!s.ReadI32(r.cluster_length) || !ReadAString(s, r.related_line)))
        return false;
    if (Owner())
        Owner()->NoteValueRead(r.frequency);
    fData = std::move(r);
    return true;
}

// ---------------------------------------------------------------------------
// Cluster list

namespace {
enum ClusterColumn { kClCluster = 1, kClFrequency = 2, kClSet = 3, kClLength = 4, kClRelated = 5 };
} // namespace

TConcordanceClusterList::TConcordanceClusterList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TConcordanceClusterEntry>(&l); }, kListType,
          toolSignature, kVersion)
{
    SetGridHeadings(StandardGridHeaderArray(kListType));
    SetWordColumn(kClCluster);
    SetCloudColumn(kClFrequency);
    SetSortSettingsToDefault();
}

TClusterEntryRec TConcordanceClusterList::ClusterData(int i) const
{
    const TConcordanceClusterEntry* e = Entry(i);
    return e ? e->Data() : TClusterEntryRec{};
}

int TConcordanceClusterList::AddCluster(const TClusterEntryRec& rec)
{
    auto e = std::make_unique<TConcordanceClusterEntry>(this);
    e->Data() = rec;
    return Add(std::move(e));
}

void TConcordanceClusterList::SetClusterLengths()
{
    for (int i = 0; i < Count(); ++i) {
        TClusterEntryRec& d = Entry(i)->Data();
        d.cluster_length = 1 + int32_t(d.line.trimmed().count(QLatin1Char(' ')));
    }
}

void TConcordanceClusterList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    const TConcordanceClusterEntry* e = Entry(row);
    if (!e) {
        rec = {};
        return;
    }
    switch (column) {
    case kClFrequency:
    case kClLength:
        rec = {};
        NumberCell(rec, NumericalData(row, column), true);
        return;
    case kClSet:
        rec = {};
        rec.text = e->Category(1);
        return;
    case kClRelated:
        rec = {};
        rec.text = e->Data().related_line;
        return;
    default:
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

double TConcordanceClusterList::NumericalData(int row, int column) const
{
    const TConcordanceClusterEntry* e = Entry(row);
    if (column == 0)
        return row + 1;
    if (!e)
        return 0;
    switch (column) {
    case kClFrequency: return e->Data().frequency;
    case kClLength: return e->Data().cluster_length;
    default:
        if (column < 6)
            return 1.0;
        return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

int TConcordanceClusterList::HeaderColumnToSortNeeded(int column) const
{
    if (IsASetColumnColumn(column))
        return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    switch (column) {
    case kClCluster: return kSortText;
    case kClFrequency: return kSortFrequency;
    case kClLength: return kSortLength;
    case kClRelated: return kSortRelated;
    default: return kSortSet;
    }
}

TSortKeyKind TConcordanceClusterList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortSet:
    case kSortRelated: return TSortKeyKind::Text;
    case kSortFrequency:
    case kSortLength: return TSortKeyKind::Number;
    default: return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
    }
}

QString TConcordanceClusterList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& c = static_cast<const TConcordanceClusterEntry&>(e);
    switch (key) {
    case kSortSet: return c.Category(1);
    case kSortRelated: return c.Data().related_line;
    default: return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
    }
}

double TConcordanceClusterList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& c = static_cast<const TConcordanceClusterEntry&>(e).Data();
    switch (key) {
    case kSortFrequency: return c.frequency;
    case kSortLength: return c.cluster_length;
    default: return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

void TConcordanceClusterList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    Set1Sort(0, kSortFrequency);
    SetSortAscending(0, false);
    SetSecondSortAsWordSort();
}

bool TConcordanceClusterList::SaveToStream(TStream& s)
{
    RaiseVersionTo(kVersion);
    return TCVBaseLemmaMatchCapableList::SaveToStream(s);
}

// ---------------------------------------------------------------------------

int TConcEntryMergeRecList::IndexOfN(int32_t n) const
{
    for (int i = 0; i < Count(); ++i)
        if (fItems[size_t(i)].merge_num == n)
            return i;
    return -1;
}

} // namespace cv
