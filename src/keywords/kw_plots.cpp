#include "keywords/kw_plots.h"

#include "suite/cv_stream.h"
#include "suite/wdef.h"

#include <cmath>
#include <limits>

namespace cv {

namespace {

// Sort keys of the plot list; the word is the base's key 0.
enum : int32_t {
    kSortWord = 0,
    kSortDispersion = 2,
    kSortKeyness = 3,
    kSortLinkTokens = 4,
    kSortHits = 5,
    kSortFirstPosition = 6,
    kSortPlotOrder = 10,
};

int CharWidthOf(const TCVBaseDataClass* owner)
{
    return owner && !owner->IsUnicode() ? 1 : 2;
}

} // namespace

// ---------------------------------------------------------------------------
// Entries

TKWPlotEntry::TKWPlotEntry(TCVBaseDataClass* owner, const TKWPlot_entry_rec& rec, bool IsOverall)
    : TCVBaseListObject(owner), data(rec), fPositions(std::make_unique<TGeneralPlotDataList>(rec.words_in_file, rec.divisions))
{
    if (IsOverall)
        data.IsOverallEntry = true;
}

void TKWPlotEntry::SetPlotPositions(std::unique_ptr<TGeneralPlotDataList> positions)
{
    fPositions = positions ? std::move(positions) : std::make_unique<TGeneralPlotDataList>(data.words_in_file, data.divisions);
}

void TKWPlotEntry::ClearData()
{
    w.clear();
    fPositions->Clear();
}

void TKWPlotEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    const bool overall = data.IsOverallEntry;
    data = {};
    data.IsOverallEntry = overall;
}

double TKWPlotEntry::GetAValueAsSingle(int column) const
{
    if (const TCVBaseDataClass* l = Owner())
        return l->NumericalData(l->IndexOf(this), column);
    return 0;
}

QString TKWPlotEntry::GetAWordAsString(int column) const
{
    return column == TKWPlotList::kColWord ? w : QString();
}

void TKWPlotEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TKWPlotList::kColWord)
        w = text;
}

bool TKWPlotEntry::SaveToStream(TStream& s) const
{
    const TKWPlot_entry_rec& d = data;
    return s.WriteF32(d.plot_keyness) && s.WriteF32(d.dispersion) && s.WriteI32(d.divisions)
        && s.WriteI32(d.link_tokens) && s.WriteI32(d.words_in_file) && s.WriteI32(d.hits)
        && s.WriteBool(d.IsOverallEntry) && s.WriteBytes(d.spareB) && s.WriteI32(d.wd_entry_number)
        && s.WriteBytes(d.spare) && WriteAString(s, w, CharWidthOf(Owner())) && fPositions->SaveToStream(s);
}

bool TKWPlotEntry::ReadFromStream(TStream& s)
{
    const int32_t v = Owner() ? Owner()->GetVersionNumber() : TKWPlotList::kVersion;
    TKWPlot_entry_rec d;
    if (v < TKWPlotList::kFirstFullRecordVersion) {
        d.divisions = 8;
        if (!s.ReadF32(d.plot_keyness) || !s.ReadF32(d.dispersion) || !s.ReadI32(d.link_tokens)
            || !s.ReadI32(d.words_in_file) || !s.ReadI32(d.hits))
            return false;
    } else {
        uint8_t overall = 0;
        if (!s.ReadF32(d.plot_keyness) || !s.ReadF32(d.dispersion) || !s.ReadI32(d.divisions)
            || !s.ReadI32(d.link_tokens) || !s.ReadI32(d.words_in_file) || !s.ReadI32(d.hits) || !s.ReadU8(overall)
            || !s.ReadExact(d.spareB.data(), 3) || !s.ReadI32(d.wd_entry_number) || !s.ReadExact(d.spare.data(), 28))
            return false;
        if (overall > 1)
            return false;
        d.IsOverallEntry = overall != 0;
    }
    QString word;
    auto positions = std::make_unique<TGeneralPlotDataList>();
    if (!ReadAString(s, word, CharWidthOf(Owner())) || !positions->ReadFromStream(s))
        return false;
    if (!std::isfinite(d.plot_keyness) || !std::isfinite(d.dispersion) || d.hits < 0 || d.words_in_file < 0)
        return false;
    data = d;
    w = std::move(word);
    fPositions = std::move(positions);
    if (Owner())
        Owner()->NoteValueRead(d.plot_keyness);
    return true;
}

// ---------------------------------------------------------------------------
// The list

QStringList TKWPlotList::DefaultHeadings()
{
    return {QStringLiteral("N"),         QStringLiteral("Key word"), QStringLiteral("Dispersion"),
            QStringLiteral("Keyness"),   QStringLiteral("Link tokens"), QStringLiteral("Hits"),
            QStringLiteral("Plot")};
}

TKWPlotList::TKWPlotList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVPlottingList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKWPlotEntry>(&l); }, kListType, toolSignature,
          kVersion),
      OverallPlotEntry(std::make_unique<TKWPlotEntry>(this, TKWPlot_entry_rec{}, true))
{
    SetGridHeadings(DefaultHeadings());
    AddSetColumn(QStringLiteral("Set"));
    SetWordColumn(kColWord);
    SetCloudColumn(kColDispersion);
    SetSortSettingsToDefault();
}

TKWPlotList::~TKWPlotList() = default;

const TKWPlotEntry* TKWPlotList::RowEntry(int row) const
{
    if (row == -1)
        return OverallPlotEntry.get();
    return row >= 0 && row < Count() ? &Entry(row) : nullptr;
}

TKWPlot_entry_rec TKWPlotList::PlotData(int i) const
{
    const TKWPlotEntry* e = RowEntry(i - 1);
    return e ? e->data : TKWPlot_entry_rec{};
}

int TKWPlotList::AddRow(const TKWPlot_entry_rec& rec, const QString& word, std::unique_ptr<TGeneralPlotDataList> positions)
{
    auto e = std::make_unique<TKWPlotEntry>(this, rec);
    e->w = word;
    e->SetPlotPositions(std::move(positions));
    return Add(std::move(e));
}

void TKWPlotList::ResetOverallEntry(const QString& word, int32_t divisions)
{
    TKWPlot_entry_rec r;
    r.IsOverallEntry = true;
    r.divisions = divisions;
    OverallPlotEntry = std::make_unique<TKWPlotEntry>(this, r, true);
    OverallPlotEntry->w = word;
}

void TKWPlotList::Clear()
{
    TCVPlottingList::Clear();
    const int32_t divisions = OverallPlotEntry && OverallPlotEntry->data.divisions > 0 ? OverallPlotEntry->data.divisions : 8;
    ResetOverallEntry(QString(), divisions);
    sw_limit_reached = false;
    words_in_file = 0;
}

void TKWPlotList::ClearKeepingHeadings()
{
    Clear();
}

double TKWPlotList::RowValue(const TKWPlotEntry& e, int column) const
{
    const TKWPlot_entry_rec& d = e.data;
    switch (column) {
    case kColDispersion: return d.dispersion;
    case kColKeyness: return d.plot_keyness;
    case kColLinkTokens: return d.link_tokens;
    case kColHits: return d.hits;
    case kColPlot: return 1.0;
    default: return 0;
    }
}

double TKWPlotList::NumericalData(int row, int column) const
{
    if (column == kColN)
        return row + 1;
    const TKWPlotEntry* e = RowEntry(row);
    if (!e)
        return 0;
    if (column >= kColSet)
        return row >= 0 ? TCVPlottingList::NumericalData(row, column) : 0;
    return RowValue(*e, column);
}

void TKWPlotList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    const TKWPlotEntry* e = RowEntry(row);
    if (!e)
        return;
    switch (column) {
    case kColN:
        if (row >= 0)
            NumberCell(rec, row + 1, true);
        return;
    case kColWord: rec.text = e->w; return;
    case kColDispersion: NumberCell(rec, e->data.dispersion, false, 3); return;
    case kColKeyness: NumberCell(rec, e->data.plot_keyness, false, 2); return;
    case kColLinkTokens:
    case kColHits: NumberCell(rec, RowValue(*e, column), true); return;
    case kColPlot:
        // The grid draws the plot from PlotPositionsOfRow.
        rec.value = e->data.hits;
        return;
    default:
        if (row >= 0)
            TCVPlottingList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

const TGeneralPlotDataList* TKWPlotList::PlotPositionsOfRow(int i) const
{
    const TKWPlotEntry* e = RowEntry(i);
    return e ? &e->PlotPositions() : nullptr;
}

void TKWPlotList::GetNextCloudDatum(TWordFreqAndSourceNum& datum)
{
    const int k = CloudReadPosition();
    if (k < 0 || k >= Count()) {
        datum = {};
        return;
    }
    double v = NumericalData(k, CloudColumn());
    if (CloudColumn() == kColDispersion)
        v *= 100;
    datum.word = Entry(k).w;
    datum.frequency = int32_t(std::lround(v));
    datum.number = k + 1;
    SetCloudReadPosition(k + 1);
}

int TKWPlotList::HeaderColumnToSortNeeded(int column) const
{
    switch (column) {
    case kColN: return kSortPlotOrder;
    case kColWord: return kSortWord;
    case kColDispersion: return kSortDispersion;
    case kColKeyness: return kSortKeyness;
    case kColLinkTokens: return kSortLinkTokens;
    case kColHits: return kSortHits;
    case kColPlot: return kSortFirstPosition;
    default: return TCVPlottingList::HeaderColumnToSortNeeded(column);
    }
}

TSortKeyKind TKWPlotList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortPlotOrder:
    case kSortDispersion:
    case kSortKeyness:
    case kSortLinkTokens:
    case kSortHits:
    case kSortFirstPosition: return TSortKeyKind::Number;
    default: return TCVPlottingList::KindOfSortKey(key);
    }
}

double TKWPlotList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& p = static_cast<const TKWPlotEntry&>(e);
    switch (key) {
    case kSortPlotOrder: return p.data.wd_entry_number;
    case kSortDispersion: return p.data.dispersion;
    case kSortKeyness: return p.data.plot_keyness;
    case kSortLinkTokens: return p.data.link_tokens;
    case kSortHits: return p.data.hits;
    case kSortFirstPosition: return p.PlotPositions().IsEmpty() ? std::numeric_limits<double>::max() : p.PlotPositions().Position(0);
    default: return TCVPlottingList::SortNumber(e, row, key);
    }
}

void TKWPlotList::SetSortSettingsToDefault()
{
    TCVPlottingList::SetSortSettingsToDefault();
    Set1Sort(0, kSortPlotOrder);
}

void TKWPlotList::EnsureAlphabeticalAscendingSort()
{
    SetSortSettingsToDefault();
    Set1Sort(0, kSortPlotOrder);
    SetSortAscending(0, true);
    CompleteResort();
}

bool TKWPlotList::SaveToStream(TStream& s)
{
    RaiseVersionTo(kVersion);
    return TCVPlottingList::SaveToStream(s) && OverallPlotEntry->SaveToStream(s) && SavePlotSettings(s);
}

bool TKWPlotList::ReadFromStream(TStream& s)
{
    if (!TCVPlottingList::ReadFromStream(s))
        return false;
    const int32_t v = GetVersionNumber();
    if (v >= kFirstOverallEntryVersion) {
        auto overall = std::make_unique<TKWPlotEntry>(this, TKWPlot_entry_rec{}, true);
        if (!overall->ReadFromStream(s))
            return false;
        overall->data.IsOverallEntry = true;
        OverallPlotEntry = std::move(overall);
    } else {
        ResetOverallEntry(QString(), 8);
    }
    if (v >= kFirstPlotSettingsVersion && !ReadPlotSettings(s))
        return false;
    reliable_Kwlink_numbers = v >= kFirstReliableNumbersVersion;
    if (!reliable_Kwlink_numbers)
        for (int i = 0; i < Count(); ++i)
            Entry(i).data.wd_entry_number = i + 1;
    return true;
}

} // namespace cv
