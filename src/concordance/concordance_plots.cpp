#include "concordance/concordance_plots.h"

#include "model/corvantis_holder.h"
#include "suite/cv_format.h"
#include "suite/cv_stream.h"
#include "suite/resource_strings.h"

#include <algorithm>
#include <cmath>

namespace cv {

// ---------------------------------------------------------------------------
// Rates

double RateInDisplayForm(double hits, double words, uint8_t form)
{
    if (words <= 0)
        return -999999.0;
    double per = 1000.0;
    switch (form) {
    case 0: per = 100.0; break;
    case 3: per = 10000.0; break;
    case 4: per = 1000000.0; break;
    default: break;
    }
    return hits * per / words;
}

QString RateHeading(uint8_t form)
{
    switch (form) {
    case 0: return QStringLiteral("%");
    case 3: return QStringLiteral("per 10,000");
    case 4: return QStringLiteral("per million");
    default: return QStringLiteral("per 1,000");
    }
}

// ---------------------------------------------------------------------------
// Plotting-list base

int32_t TCVPlottingList::WordNumFromPlotPixelPosition(bool useListWords, int width, int x, int32_t words) const
{
    if (width == 0)
        return 0;
    const double w = useListWords ? PlotScaleWords() : words;
    return int32_t(std::nearbyint(double(x) * w / std::abs(width)));
}

void TCVPlottingList::SetPlotWalk(int row, int index)
{
    fWalkRow = row;
    fWalkIndex = index;
}

bool TCVPlottingList::NextGeneralPlotList(int step, TV2GeneralPlotDataRec& point)
{
    if (Count() == 0 || step == 0)
        return false;
    int row = std::clamp(fWalkRow, 0, Count() - 1);
    auto countOf = [this](int r) {
        const TGeneralPlotDataList* l = PlotPositionsOfRow(r);
        return l ? l->Count() : 0;
    };
    int index = fWalkIndex == -99 ? countOf(row) - 1 : fWalkIndex;
    int target = index + step;
    for (;;) {
        const int n = countOf(row);
        if (target == -99)
            target = n - 1;
        if (target >= 0 && target < n) {
            fWalkRow = row;
            fWalkIndex = target;
            point = PlotPositionsOfRow(row)->Item(target).Rec();
            return true;
        }
        if (target >= n) {
            if (row + 1 >= Count())
                return false;
            ++row;
            target = 0;
        } else {
            if (row == 0)
                return false;
            --row;
            target = -99;
        }
    }
}

TV2GeneralPlotDataRec TCVPlottingList::NearestContextWord(const TGeneralPlotDataList& positions, int32_t from,
                                                          int32_t to, int32_t target)
{
    int best = -1;
    int64_t bestDistance = 0;
    for (int i = 0; i < positions.Count(); ++i) {
        const int32_t p = positions.Position(i);
        if (p < from || p > to)
            continue;
        const int64_t d = std::llabs(int64_t(p) - target);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    if (best < 0)
        return {};
    LastGoodContextHitnumAndWordNumRec = {best, positions.Position(best)};
    return positions.Item(best).Rec();
}

std::vector<TV2GeneralPlotDataRec> TCVPlottingList::RowPlotPositions(int i) const
{
    std::vector<TV2GeneralPlotDataRec> out;
    if (const TGeneralPlotDataList* l = PlotPositionsOfRow(i)) {
        out.reserve(size_t(l->Count()));
        for (int k = 0; k < l->Count(); ++k)
            out.push_back(l->Item(k).Rec());
    }
    return out;
}

bool TCVPlottingList::SavePlotSettings(TStream& s)
{
    if (const TCorvantisholder* h = Holder()) {
        fPlotSettings.SetContextWanted(h->plot_settings.context);
        fPlotSettings.SetContextCharacters(h->plot_settings.contextCharacters);
        fPlotSettings.SetContextLineLimit(h->plot_settings.contextLineLimit);
    }
    return s.WriteBytes(fPlotSettings.Bytes());
}

bool TCVPlottingList::ReadPlotSettings(TStream& s)
{
    TPlotSettingsBlock b;
    if (!s.ReadExact(b.Bytes().data(), int64_t(b.Bytes().size())))
        return false;
    fPlotSettings = b;
    if (TCorvantisholder* h = Holder())
        h->plot_settings = {b.ContextWanted(), b.ContextCharacters(), b.ContextLineLimit()};
    return true;
}

// ---------------------------------------------------------------------------
// Plot rows

TConcordancePlotEntry::TConcordancePlotEntry(TCVBaseDataClass* owner, const TVersion21PlotEntryRec& rec, bool overall)
    : TCVBaseListObject(owner), fData(rec), fPositions(std::make_unique<TGeneralPlotDataList>(0, rec.divisions))
{
    if (overall)
        fData.IsOverallEntry = true;
}

void TConcordancePlotEntry::SetPositions(std::unique_ptr<TGeneralPlotDataList> positions)
{
    fPositions = positions ? std::move(positions) : std::make_unique<TGeneralPlotDataList>(0, fData.divisions);
}

void TConcordancePlotEntry::ZeroTheDataRec()
{
    const bool overall = fData.IsOverallEntry;
    fData = {};
    fData.IsOverallEntry = overall;
}

void TConcordancePlotEntry::Clear()
{
    ZeroTheDataRec();
    fPositions->Clear();
}

double TConcordancePlotEntry::GetAValueAsSingle(int column) const
{
    const auto* list = static_cast<const TConcPlotList*>(Owner());
    if (!list)
        return 0;
    const int row = fData.IsOverallEntry ? -1 : list->IndexOf(this);
    return list->NumericalData(row, column);
}

bool TConcordancePlotEntry::SaveToStream(TStream& s) const
{
    const TVersion21PlotEntryRec& d = fData;
    return s.WriteF32(d.dispersion_value) && s.WriteI32(d.divisions) && s.WriteI32(d.hits)
        && s.WriteI32(d.words_in_file) && s.WriteI32(d.plot_file_number) && s.WriteI32(d.plot_search_word_number)
        && s.WriteBytes(d.spare) && s.WriteBool(d.IsOverallEntry) && s.WriteBytes(d.spareB)
        && WriteAString(s, d.plot_filename) && WriteAString(s, d.plot_sw_string) && fPositions->SaveToStream(s);
}

bool TConcordancePlotEntry::ReadFromStream(TStream& s)
{
    const int32_t v = Owner() ? Owner()->GetVersionNumber() : TConcPlotList::kVersion;
    TVersion21PlotEntryRec d;
    if (v < 15) {
        // The older 12-byte record: dispersion, hits, words (negative: a text number follows).
        if (!s.ReadF32(d.dispersion_value) || !s.ReadI32(d.hits) || !s.ReadI32(d.words_in_file))
            return false;
        if (d.words_in_file < 0) {
            int32_t text = 0;
            if (!s.ReadI32(text) || text <= 0 || d.words_in_file == std::numeric_limits<int32_t>::min())
                return false;
            d.words_in_file = -d.words_in_file;
            d.plot_file_number = text;
        }
        d.divisions = 8;
        if (v < 12) {
            uint8_t n = 0;
            QByteArray bytes;
            if (!s.ReadU8(n))
                return false;
            bytes.resize(n);
            if (!s.ReadExact(bytes.data(), n))
                return false;
            d.plot_filename = QString::fromLatin1(bytes);
        } else if (!ReadAString(s, d.plot_filename)) {
            return false;
        }
        if (d.plot_filename == CVOverall.toString())
            d.IsOverallEntry = true;
    } else {
        uint8_t overall = 0;
        if (!s.ReadF32(d.dispersion_value) || !s.ReadI32(d.divisions) || !s.ReadI32(d.hits)
            || !s.ReadI32(d.words_in_file) || !s.ReadI32(d.plot_file_number) || !s.ReadI32(d.plot_search_word_number)
            || !s.ReadExact(d.spare.data(), int64_t(d.spare.size())) || !s.ReadU8(overall) || overall > 1
            || !s.ReadExact(d.spareB.data(), int64_t(d.spareB.size())) || !ReadAString(s, d.plot_filename))
            return false;
        d.IsOverallEntry = overall != 0;
        if (v >= 21 && !ReadAString(s, d.plot_sw_string))
            return false;
    }
    auto positions = std::make_unique<TGeneralPlotDataList>();
    if (!positions->ReadFromStream(s))
        return false;
    positions->SortByPosition();
    const bool keepOverall = fData.IsOverallEntry;
    fData = std::move(d);
    fData.IsOverallEntry = fData.IsOverallEntry || keepOverall;
    fPositions = std::move(positions);
    return true;
}

// ---------------------------------------------------------------------------
// Plot list

TConcPlotList::TConcPlotList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVPlottingList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TConcordancePlotEntry>(&l); }, kListType,
          toolSignature, kVersion),
      OverallPlotEntry(std::make_unique<TConcordancePlotEntry>(this, TVersion21PlotEntryRec{}, true))
{
    SetGridHeadings(StandardGridHeaderArray(kListType));
    SetWordColumn(kColFile);
    SetCloudColumn(kColHits);
    SetSortSettingsToDefault();
}

TConcordancePlotEntry* TConcPlotList::CPlotDatum(int i) const
{
    if (overall_row_wanted)
        return i == 0 ? OverallPlotEntry.get() : Entry(i - 1);
    return Entry(i);
}

const TConcordancePlotEntry* TConcPlotList::RowEntry(int row) const
{
    return row == -1 ? OverallPlotEntry.get() : Entry(row);
}

int TConcPlotList::AddRow(const TVersion21PlotEntryRec& rec, std::unique_ptr<TGeneralPlotDataList> positions)
{
    auto e = std::make_unique<TConcordancePlotEntry>(this, rec);
    e->SetPositions(std::move(positions));
    return Add(std::move(e));
}

void TConcPlotList::ResetOverallEntry(int32_t divisions)
{
    OverallPlotEntry->Clear();
    TVersion21PlotEntryRec& d = OverallPlotEntry->Data();
    d.IsOverallEntry = true;
    d.hits = 0;
    d.divisions = divisions;
    d.plot_file_number = -1;
    d.plot_search_word_number = -1;
    OverallPlotEntry->SetPositions(std::make_unique<TGeneralPlotDataList>(0, divisions));
    words_in_all_relevant_files = 0;
    words_in_largest_file = 0;
}

void TConcPlotList::RecomputeOverallTotals()
{
    words_in_all_relevant_files = 0;
    words_in_largest_file = 0;
    std::vector<int32_t> texts, searchWords;
    for (int i = 0; i < Count(); ++i) {
        const TVersion21PlotEntryRec& d = Entry(i)->Data();
        words_in_largest_file = std::max(words_in_largest_file, d.words_in_file);
        // A text with several search words has several rows; its words count once.
        const bool known = d.plot_file_number >= 1;
        if (!known || std::find(texts.begin(), texts.end(), d.plot_file_number) == texts.end()) {
            words_in_all_relevant_files += d.words_in_file;
            if (known)
                texts.push_back(d.plot_file_number);
        }
        if (std::find(searchWords.begin(), searchWords.end(), d.plot_search_word_number) == searchWords.end())
            searchWords.push_back(d.plot_search_word_number);
    }
    overall_row_wanted = texts.size() > 1 || searchWords.size() > 1;
}

void TConcPlotList::RebuildOverallEntry()
{
    RecomputeOverallTotals();
    TVersion21PlotEntryRec& o = OverallPlotEntry->Data();
    const int32_t divisions = o.divisions > 0 ? o.divisions : 8;
    auto pooled = std::make_unique<TGeneralPlotDataList>(words_in_largest_file, divisions);
    for (int i = 0; i < Count(); ++i) {
        const TConcordancePlotEntry* e = Entry(i);
        const TVersion21PlotEntryRec& d = e->Data();
        if (d.words_in_file <= 0)
            continue;
        // Single precision, rounded half to even, as the rows were scaled when made.
        const float factor = float(words_in_largest_file) / float(d.words_in_file);
        for (int k = 0; k < e->Positions().Count(); ++k) {
            const TGeneralPlotDataHolder& p = e->Positions().Item(k);
            pooled->Add(int32_t(std::lrintf(float(p.Position()) * factor)), p.Text());
        }
    }
    pooled->SortByPosition();
    o.IsOverallEntry = true;
    o.divisions = divisions;
    o.hits = pooled->Count();
    o.words_in_file = words_in_all_relevant_files;
    o.dispersion_value = pooled->ComputedDispersion();
    OverallPlotEntry->SetPositions(std::move(pooled));
}

QString TConcPlotList::FilenameWithSW(int row) const
{
    const TConcordancePlotEntry* e = RowEntry(row);
    if (!e)
        return {};
    const TVersion21PlotEntryRec& d = e->Data();
    if (d.IsOverallEntry)
        return d.plot_filename;
    QString sw = d.plot_sw_string;
    if (GetVersionNumber() < 21 && fSearchWordCount > 1 && fSearchWordOf)
        sw = fSearchWordOf(d.plot_search_word_number);
    if (sw.isEmpty())
        return d.plot_filename;
    return fSearchWordFirst ? sw + QLatin1Char(' ') + d.plot_filename : d.plot_filename + QLatin1Char(' ') + sw;
}

QString TConcPlotList::FullFilenameFromPlot(int row) const
{
    const TConcordancePlotEntry* e = RowEntry(row);
    if (!e || e->Data().plot_file_number < 1 || !fFullFilenameOf)
        return {};
    return fFullFilenameOf(e->Data().plot_file_number);
}

const TGeneralPlotDataList* TConcPlotList::PlotPositionsOfRow(int i) const
{
    const TConcordancePlotEntry* e = RowEntry(i);
    return e ? &e->Positions() : nullptr;
}

void TConcPlotList::Remove(int i)
{
    TCVPlottingList::Remove(i);
    if (Count() > 0)
        RebuildOverallEntry();
    else
        ResetOverallEntry(OverallPlotEntry->Data().divisions > 0 ? OverallPlotEntry->Data().divisions : 8);
}

void TConcPlotList::Clear()
{
    TCVPlottingList::Clear();
    overall_row_wanted = false;
    ResetOverallEntry(OverallPlotEntry->Data().divisions > 0 ? OverallPlotEntry->Data().divisions : 8);
}

double TConcPlotList::RowValue(const TConcordancePlotEntry& e, int column) const
{
    const TVersion21PlotEntryRec& d = e.Data();
    switch (column) {
    case kColWords: return d.words_in_file;
    case kColHits: return d.hits;
    case kColRate: return RateInDisplayForm(d.hits, d.words_in_file, fRateDisplay);
    case kColDispersion: return d.dispersion_value;
    default: return 1.0;
    }
}

double TConcPlotList::NumericalData(int row, int column) const
{
    const TConcordancePlotEntry* e = RowEntry(row);
    if (column == 0)
        return row + 1;
    if (!e)
        return 0;
    if (column > kColPlot && !e->Data().IsOverallEntry)
        return TCVPlottingList::NumericalData(row, column);
    return RowValue(*e, column);
}

void TConcPlotList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    const TConcordancePlotEntry* e = RowEntry(row);
    if (!e)
        return;
    switch (column) {
    case 0:
        if (row >= 0)
            NumberCell(rec, row + 1, true);
        return;
    case kColFile: rec.text = FilenameWithSW(row); return;
    case kColWords:
    case kColHits: NumberCell(rec, NumericalData(row, column), true); return;
    case kColRate:
    case kColDispersion: NumberCell(rec, NumericalData(row, column), false, 3); return;
    case kColPlot:
        // The grid draws the row from PlotPositionsOfRow, scaled to the row's
        // words (the largest text's for the overall row).
        rec.value = e->Data().hits;
        return;
    default:
        if (row >= 0)
            TCVPlottingList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

int TConcPlotList::HeaderColumnToSortNeeded(int column) const
{
    if (IsASetColumnColumn(column))
        return TCVPlottingList::HeaderColumnToSortNeeded(column);
    switch (column) {
    case kColFile: return kSortName;
    case kColWords: return kSortWords;
    case kColHits: return kSortHits;
    case kColDispersion: return kSortDispersion;
    case kColRate: return kSortRate;
    case kColPlot: return SortLevel(0).ascending ? kSortFirstHit : kSortLastHit;
    default: return kSortSet;
    }
}

void TConcPlotList::SetSortSettingsToDefault()
{
    TCVPlottingList::SetSortSettingsToDefault();
    Set1Sort(0, kSortName);
}

void TConcPlotList::EnsureAlphabeticalAscendingSort()
{
    TCVPlottingList::SetSortSettingsToDefault();
    Set1Sort(0, kSortName);
    CompleteResort();
}

TSortKeyKind TConcPlotList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortName:
    case kSortSet: return TSortKeyKind::Text;
    case kSortWords:
    case kSortHits:
    case kSortDispersion:
    case kSortRate:
    case kSortFirstHit:
    case kSortLastHit: return TSortKeyKind::Number;
    default: return TCVPlottingList::KindOfSortKey(key);
    }
}

QString TConcPlotList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == kSortName)
        return FilenameWithSW(row);
    if (key == kSortSet)
        return e.Category(1);
    return TCVPlottingList::SortText(e, row, key);
}

double TConcPlotList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& p = static_cast<const TConcordancePlotEntry&>(e);
    const TVersion21PlotEntryRec& d = p.Data();
    switch (key) {
    case kSortWords: return d.words_in_file;
    case kSortHits: return d.hits;
    case kSortDispersion: return d.dispersion_value;
    case kSortRate: return d.words_in_file > 0 ? double(d.hits) / d.words_in_file : 0;
    case kSortFirstHit:
    case kSortLastHit: {
        const TGeneralPlotDataList& l = p.Positions();
        if (l.IsEmpty() || d.words_in_file <= 0)
            return 0;
        const int32_t pos = key == kSortFirstHit ? l.Position(0) : l.Position(l.Count() - 1);
        return 100.0 * pos / d.words_in_file;
    }
    default: return TCVPlottingList::SortNumber(e, row, key);
    }
}

bool TConcPlotList::SaveToStream(TStream& s)
{
    RaiseVersionTo(kVersion);
    return TCVPlottingList::SaveToStream(s) && OverallPlotEntry->SaveToStream(s) && SavePlotSettings(s);
}

bool TConcPlotList::ReadFromStream(TStream& s)
{
    if (!TCVPlottingList::ReadFromStream(s))
        return false;
    const int32_t v = GetVersionNumber();
    if (v > 15) {
        auto overall = std::make_unique<TConcordancePlotEntry>(this, TVersion21PlotEntryRec{}, true);
        if (!overall->ReadFromStream(s))
            return false;
        overall->Data().IsOverallEntry = true;
        OverallPlotEntry = std::move(overall);
    }
    if (v > 21 && !ReadPlotSettings(s))
        return false;
    return true;
}

// ---------------------------------------------------------------------------
// Calendar periods

QString TimelineUnitName(uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return QStringLiteral("months");
    case kTimelineDays: return QStringLiteral("days");
    default: return QStringLiteral("years");
    }
}

QDate PeriodStart(const QDate& d, uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return QDate(d.year(), d.month(), 1);
    case kTimelineDays: return d;
    default: return QDate(d.year(), 1, 1);
    }
}

QDate PeriodEnd(const QDate& d, uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return QDate(d.year(), d.month(), 1).addMonths(1).addDays(-1);
    case kTimelineDays: return d;
    default: return QDate(d.year(), 12, 31);
    }
}

int64_t PeriodIndex(const QDate& first, const QDate& d, uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return int64_t(d.year() - first.year()) * 12 + (d.month() - first.month());
    case kTimelineDays: return first.daysTo(d);
    default: return int64_t(d.year()) - first.year();
    }
}

int64_t PeriodsBetween(const QDate& first, const QDate& last, uint8_t unit)
{
    return PeriodIndex(first, last, unit) + 1;
}

QDate PeriodStartOfIndex(const QDate& first, int64_t k, uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return PeriodStart(first, unit).addMonths(int(k));
    case kTimelineDays: return first.addDays(k);
    default: return QDate(int(first.year() + k), 1, 1);
    }
}

QString PeriodLabel(const QDate& d, uint8_t unit)
{
    switch (unit) {
    case kTimelineMonths: return d.toString(QStringLiteral("yyyy-MM"));
    case kTimelineDays: return d.toString(Qt::ISODate);
    default: return QString::number(d.year());
    }
}

// ---------------------------------------------------------------------------
// Timeline rows

void TTimeLineEntry::Clear()
{
    fRec = {};
    fPeriods.clear();
    fLabel.clear();
}

void TTimeLineEntry::ComputeDispersion()
{
    std::vector<double> counts;
    counts.reserve(fPeriods.size());
    for (const TTimelinePeriod& p : fPeriods)
        counts.push_back(p.hits);
    fRec.SetDispersion(PlotDispersion(counts));
}

double TTimeLineEntry::GetAValueAsSingle(int column) const
{
    const auto* list = static_cast<const TTimelineList*>(Owner());
    if (!list)
        return 0;
    return list->NumericalData(fRec.IsOverall() && list->IndexOf(this) < 0 ? -1 : list->IndexOf(this), column);
}

bool TTimeLineEntry::SaveToStream(TStream& s) const
{
    if (!s.WriteCount(int64_t(fPeriods.size())) || !s.WriteBytes(fRec.Bytes()) || !WriteAString(s, fLabel))
        return false;
    for (const TTimelinePeriod& p : fPeriods)
        if (!s.WriteU32(p.hits) || !s.WriteU32(p.words))
            return false;
    return true;
}

bool TTimeLineEntry::ReadFromStream(TStream& s)
{
    int32_t n = 0;
    TTimeLineDataRec rec;
    QString label;
    if (!s.ReadCount(n, 8) || !s.ReadExact(rec.Bytes().data(), int64_t(rec.Bytes().size())) || !ReadAString(s, label))
        return false;
    std::vector<TTimelinePeriod> periods(static_cast<size_t>(n));
    for (TTimelinePeriod& p : periods)
        if (!s.ReadU32(p.hits) || !s.ReadU32(p.words))
            return false;
    fRec = rec;
    fLabel = std::move(label);
    fPeriods = std::move(periods);
    return true;
}

// ---------------------------------------------------------------------------
// Timeline list

TTimelineList::TTimelineList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TTimeLineEntry>(&l); }, kListType, toolSignature,
          kVersion),
      OverallTimeLineEntry(std::make_unique<TTimeLineEntry>(this))
{
    QStringList h = StandardGridHeaderArray(kListType);
    // Column 3 counts the running words of each period's texts.
    if (h.size() > kColWords)
        h[kColWords] = QStringLiteral("Words");
    SetGridHeadings(h);
    SetWordColumn(kColLabel);
    SetCloudColumn(kColHits);
    OverallTimeLineEntry->Rec().SetIsOverall(true);
    OverallTimeLineEntry->Rec().SetSearchWordNumber(-1);
    SetSortSettingsToDefault();
}

int TTimelineList::AddRow(const TTimeLineRow& row)
{
    auto e = std::make_unique<TTimeLineEntry>(this);
    e->Rec() = row.rec;
    e->Periods() = row.periods;
    e->Label() = row.label;
    return Add(std::move(e));
}

TTimeLineRow TTimelineList::TimeLineData(int i) const
{
    TTimeLineRow out;
    const TTimeLineEntry* e = nullptr;
    if (Count() < 2) {
        e = Entry(i);
    } else {
        e = i == 0 ? OverallTimeLineEntry.get() : Entry(i - 1);
    }
    if (e) {
        out.rec = e->Rec();
        out.periods = e->Periods();
        out.label = e->Label();
    }
    if (i == 0)
        out.rec.SetIsOverall(true);
    return out;
}

const TTimeLineEntry* TTimelineList::RowEntry(int row) const
{
    return row == -1 ? OverallTimeLineEntry.get() : Entry(row);
}

void TTimelineList::SetTimeBasis(uint8_t unit)
{
    fUnit = unit;
    OverallTimeLineEntry->Rec().SetPeriodUnit(unit);
    for (int i = 0; i < Count(); ++i)
        Entry(i)->Rec().SetPeriodUnit(unit);
}

void TTimelineList::ComputeDispersion()
{
    for (int i = 0; i < Count(); ++i)
        Entry(i)->ComputeDispersion();
    OverallTimeLineEntry->ComputeDispersion();
}

QString TTimelineList::TimeLineDataDateHeaders() const
{
    const TTimeLineEntry* e = Count() > 0 ? (Count() > 1 ? OverallTimeLineEntry.get() : Entry(0)) : nullptr;
    if (!e)
        return Heading(kColDates);
    const QDate first = DateTimeFromDayNumber(e->Rec().FirstDate()).date();
    const QDate last = DateTimeFromDayNumber(e->Rec().LastDate()).date();
    if (!first.isValid() || !last.isValid())
        return Heading(kColDates);
    // A range of about a year or more is shown by its years.
    if (e->Rec().LastDate() - e->Rec().FirstDate() >= 365.0)
        return first.year() == last.year() ? QString::number(first.year())
                                           : QStringLiteral("%1-%2").arg(first.year()).arg(last.year());
    const QString date = first.toString(Qt::ISODate);
    const int count = int(e->Periods().size());
    const QString unit = TimelineUnitName(e->Rec().PeriodUnit());
    return count > 0 ? Format(u"%s (%d) (%s)", {date, count, unit}) : Format(u"%s (%s)", {date, unit});
}

QStringList TTimelineList::TimeLineDataStringForLemmaShower(int i) const
{
    const TTimeLineRow row = TimeLineData(i);
    QStringList lines;
    const QDate first = DateTimeFromDayNumber(row.rec.FirstDate()).date();
    for (size_t k = 0; k < row.periods.size(); ++k) {
        const QDate d = first.isValid() ? PeriodStartOfIndex(first, int64_t(k), row.rec.PeriodUnit()) : QDate();
        lines << QStringLiteral("%1\t%2\t%3")
                     .arg(d.isValid() ? PeriodLabel(d, row.rec.PeriodUnit()) : QString::number(k + 1))
                     .arg(row.periods[k].hits)
                     .arg(row.periods[k].words);
    }
    return lines;
}

void TTimelineList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    OverallTimeLineEntry->Clear();
    OverallTimeLineEntry->Rec().SetIsOverall(true);
    OverallTimeLineEntry->Rec().SetSearchWordNumber(-1);
    OverallTimeLineEntry->Rec().SetPeriodUnit(fUnit);
}

double TTimelineList::EntryValue(const TTimeLineEntry& e, int column) const
{
    const TTimeLineDataRec& r = e.Rec();
    switch (column) {
    case kColHits: return r.Hits();
    case kColWords: return r.Words();
    case kColRate: return r.Words() > 0 ? RateInDisplayForm(r.Hits(), r.Words(), fRateDisplay) : -1.0;
    case kColDispersion: return r.Dispersion();
    default: return 1.0;
    }
}

double TTimelineList::NumericalData(int row, int column) const
{
    if (column == 0)
        return row + 1;
    const TTimeLineEntry* e = RowEntry(row);
    if (!e)
        return 0;
    if (column >= 7 && row >= 0)
        return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    return EntryValue(*e, column);
}

void TTimelineList::EntryCell(const TTimeLineEntry& e, int rowNumber, int column, TDrawgridDataRec& rec) const
{
    rec = {};
    switch (column) {
    case 0:
        if (rowNumber >= 0)
            NumberCell(rec, rowNumber + 1, true);
        return;
    case kColLabel: rec.text = e.Label(); return;
    case kColHits:
    case kColWords: NumberCell(rec, EntryValue(e, column), true); return;
    case kColRate:
    case kColDispersion: NumberCell(rec, EntryValue(e, column), false, 3); return;
    case kColDates: rec.value = e.Rec().Hits(); return; // drawn from the periods
    default: return;
    }
}

void TTimelineList::TopRowDataRec(int column, TDrawgridDataRec& rec) const
{
    EntryCell(*OverallTimeLineEntry, -1, column, rec);
}

void TTimelineList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    const TTimeLineEntry* e = RowEntry(row);
    if (!e) {
        rec = {};
        return;
    }
    if (row >= 0 && (column >= 7 || IsASetColumnColumn(column))) {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
        return;
    }
    EntryCell(*e, row, column, rec);
}

int TTimelineList::HeaderColumnToSortNeeded(int column) const
{
    if (IsASetColumnColumn(column))
        return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    switch (column) {
    case kColLabel: return kSortLabel;
    case kColHits: return kSortHits;
    case kColWords: return kSortWords;
    case kColRate: return kSortRate;
    case kColDispersion: return kSortDispersion;
    default: return kSortSet;
    }
}

void TTimelineList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    Set1Sort(0, kSortLabel);
}

TSortKeyKind TTimelineList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortLabel:
    case kSortSet: return TSortKeyKind::Text;
    case kSortHits:
    case kSortWords:
    case kSortRate:
    case kSortDispersion: return TSortKeyKind::Number;
    default: return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
    }
}

QString TTimelineList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == kSortSet)
        return e.Category(1);
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TTimelineList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& t = static_cast<const TTimeLineEntry&>(e);
    switch (key) {
    case kSortHits: return t.Rec().Hits();
    case kSortWords: return t.Rec().Words();
    case kSortRate: return t.Rec().Rate();
    case kSortDispersion: return t.Rec().Dispersion();
    default: return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

bool TTimelineList::SaveToStream(TStream& s)
{
    return TCVBaseLemmaMatchCapableList::SaveToStream(s) && OverallTimeLineEntry->SaveToStream(s);
}

bool TTimelineList::ReadFromStream(TStream& s)
{
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    auto overall = std::make_unique<TTimeLineEntry>(this);
    if (!overall->ReadFromStream(s))
        return false;
    overall->Rec().SetIsOverall(true);
    OverallTimeLineEntry = std::move(overall);
    fUnit = OverallTimeLineEntry->Rec().PeriodUnit();
    return true;
}

} // namespace cv
