#pragma once
// Dispersion plots and timelines of a concordance.
//
// A plot row shows where in one text the hits of one search word fall: the
// hits, the text's running words, a rate, a dispersion value and the hit
// positions (running-word numbers, the suite's plot-position list). An
// overall row pools every row on the scale of the largest text. The
// plotting-list base (TCVPlottingList) is shared with the key-word plots: it
// keeps the document's 60-byte plot-settings block and walks plot positions.
//
// A timeline counts, per search word and overall, the hits and the running
// words of the texts in each calendar period (years, months or days) of the
// texts' dates.

#include "concordance/marvex_filenames.h"
#include "model/lemma_match_list.h"
#include "suite/plot_data.h"
#include "suite/settings_record.h"
#include "suite/wdef.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

// --- rates -------------------------------------------------------------------------

// How rates of hits to words are shown: 0 per hundred (%), 2 per thousand,
// 3 per ten thousand, 4 per million (other values: per thousand).
double RateInDisplayForm(double hits, double words, uint8_t form);
QString RateHeading(uint8_t form);

// --- the plotting-list base --------------------------------------------------------

// The document's plot settings as stored with a plot list (60 bytes; the
// bytes not named are kept as they came).
class TPlotSettingsBlock : public TSettingsRecord<60> {
public:
    CV_BOOL_FIELD(1, ContextWanted)        // plot points carry the text around the hit
    CV_FIELD(int32_t, 12, ContextCharacters)
    CV_FIELD(int32_t, 16, ContextLineLimit) // no context when there are more lines than this
};

struct THitnumAndWordNum {
    int32_t hitnum = -1;
    int32_t wordnum = 0;
};

class TCVPlottingList : public TCVBaseLemmaMatchCapableList {
public:
    using TCVBaseLemmaMatchCapableList::TCVBaseLemmaMatchCapableList;

    bool CloudDataNeedsSorting() const override { return false; }
    // The larger of the list's overall count and the value.
    double ConvertedForFrequency(double value) const { return std::max(double(OverallCount()), value); }
    // The plot positions of row i; none in the base.
    virtual const TGeneralPlotDataList* PlotPositionsOfRow(int i) const { return nullptr; }
    // Running words the list's plots are scaled to (the largest text).
    virtual int32_t PlotScaleWords() const { return 0; }

    // Round(x * words / |width|), with the list's words or the given ones.
    int32_t WordNumFromPlotPixelPosition(bool useListWords, int width, int x, int32_t words) const;
    // Walks the rows' positions one step forward (step > 0) or back, moving
    // to the next or previous row when a row's positions run out; stops at
    // the first or last row. False when there is nowhere to go.
    bool NextGeneralPlotList(int step, TV2GeneralPlotDataRec& point);
    // Starts the walk at row `row`, position `index` (-99: the row's last).
    void SetPlotWalk(int row, int index);
    int PlotWalkRow() const { return fWalkRow; }
    int PlotWalkIndex() const { return fWalkIndex; }
    // Among the positions within [from, to], the one nearest `target`; a
    // zeroed point when none. Remembers the find as the last good context hit.
    TV2GeneralPlotDataRec NearestContextWord(const TGeneralPlotDataList& positions, int32_t from, int32_t to,
                                             int32_t target);
    // Row i's positions as records (empty for a row without positions).
    std::vector<TV2GeneralPlotDataRec> RowPlotPositions(int i) const;

    // The 60-byte block: written from the document's plot settings, and read
    // back into them. True only when all 60 bytes moved.
    bool SavePlotSettings(TStream& s);
    bool ReadPlotSettings(TStream& s);

    THitnumAndWordNum LastGoodContextHitnumAndWordNumRec;
    TPlotSettingsBlock fPlotSettings;

private:
    int fWalkRow = 0;
    int fWalkIndex = -1;
};

// --- concordance plots --------------------------------------------------------------

struct TVersion21PlotEntryRec {
    static constexpr int kFixedSize = 52;
    static constexpr int kOldFixedSize = 12;

    float dispersion_value = 0;
    int32_t divisions = 8;
    int32_t hits = 0;
    int32_t words_in_file = 0;
    int32_t plot_file_number = -1;          // 1-based text number, -1 unknown
    int32_t plot_search_word_number = -1;   // -1 unknown
    std::array<uint8_t, 24> spare{};
    bool IsOverallEntry = false;
    std::array<uint8_t, 3> spareB{};
    QString plot_filename;
    QString plot_sw_string;

    friend bool operator==(const TVersion21PlotEntryRec&, const TVersion21PlotEntryRec&) = default;
};

class TConcordancePlotEntry final : public TCVBaseListObject {
public:
    explicit TConcordancePlotEntry(TCVBaseDataClass* owner, const TVersion21PlotEntryRec& rec = {},
                                   bool overall = false);

    TVersion21PlotEntryRec& Data() { return fData; }
    const TVersion21PlotEntryRec& Data() const { return fData; }
    TGeneralPlotDataList& Positions() { return *fPositions; }
    const TGeneralPlotDataList& Positions() const { return *fPositions; }
    void SetPositions(std::unique_ptr<TGeneralPlotDataList> positions);
    void ZeroTheDataRec();
    // Zeroes the record and empties the positions.
    void Clear();

    double GetAValueAsSingle(int column) const override;
    QString MainWordOnly() const override { return fData.plot_filename; }
    QStringView MainWordAsPointer() const override { return fData.plot_filename; }
    int64_t MainWordFrequency() const override { return fData.hits; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;

private:
    TVersion21PlotEntryRec fData;
    std::unique_ptr<TGeneralPlotDataList> fPositions;
};

class TConcPlotList final : public TCVPlottingList {
public:
    static constexpr uint8_t kListType = kListConcordancePlot;
    static constexpr int32_t kVersion = 22;

    enum : int { kColFile = 1, kColWords = 2, kColHits = 3, kColRate = 4, kColDispersion = 5, kColPlot = 6 };
    enum : int32_t {
        kSortName = 0,
        kSortWords = 1,
        kSortHits = 2,
        kSortDispersion = 3,
        kSortRate = 4,
        kSortFirstHit = 5,
        kSortLastHit = 6,
        kSortSet = 7,
    };

    TConcPlotList(TCorvantisholder* owner, uint32_t toolSignature);

    TConcordancePlotEntry* Entry(int i) const { return static_cast<TConcordancePlotEntry*>(Get(i)); }
    // With the overall row wanted, 0 is the overall entry and i the row i - 1;
    // otherwise row i. Null outside.
    TConcordancePlotEntry* CPlotDatum(int i) const;
    // Row `row`; -1 the overall entry.
    const TConcordancePlotEntry* RowEntry(int row) const;
    int AddRow(const TVersion21PlotEntryRec& rec, std::unique_ptr<TGeneralPlotDataList> positions);

    // Pools every row's positions, scaled to the largest text, into the
    // overall entry (after RecomputeOverallTotals).
    void RebuildOverallEntry();
    // The words of all texts (each text once) and of the largest, from the
    // rows; the overall row is wanted when the rows belong to more than one
    // text or search word.
    void RecomputeOverallTotals();
    // Empties the overall entry: no hits, a new position list of `divisions`.
    void ResetOverallEntry(int32_t divisions);

    // The row's text name and search word joined by a blank (search word first when set).
    QString FilenameWithSW(int row) const;
    QString FullFilenameFromPlot(int row) const;
    QString CheckedPPMFormatHeading() const { return RateHeading(fRateDisplay); }

    std::unique_ptr<TConcordancePlotEntry> OverallPlotEntry;
    bool overall_row_wanted = false;
    int32_t words_in_all_relevant_files = 0;
    int32_t words_in_largest_file = 0;
    uint8_t fRateDisplay = 2;
    // Filled by the document.
    bool fSearchWordFirst = false;
    std::function<QString(int32_t swNumber)> fSearchWordOf;         // for rows of older documents
    std::function<QString(int32_t textNumber)> fFullFilenameOf;     // 1-based text number
    int32_t fSearchWordCount = 0;

    int OverallCount() const override { return overall_row_wanted ? 1 : 0; }
    const TGeneralPlotDataList* PlotPositionsOfRow(int i) const override;
    int32_t PlotScaleWords() const override { return words_in_largest_file; }
    void Remove(int i) override;
    void Clear() override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    void SetSortSettingsToDefault() override;
    void EnsureAlphabeticalAscendingSort() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;

private:
    double RowValue(const TConcordancePlotEntry& e, int column) const;
};

// --- timelines ---------------------------------------------------------------------------

// Period units of timelines (the shared settings' timeline base).
enum TTimelineUnit : uint8_t { kTimelineYears = 0, kTimelineMonths = 1, kTimelineDays = 2 };
QString TimelineUnitName(uint8_t unit);
// The first and last day of the period a date lies in.
QDate PeriodStart(const QDate& d, uint8_t unit);
QDate PeriodEnd(const QDate& d, uint8_t unit);
// Whole periods from the period of `first` to the period of `d` (0 for the same period).
int64_t PeriodIndex(const QDate& first, const QDate& d, uint8_t unit);
// Periods from the period of `first` to that of `last`, both counted.
int64_t PeriodsBetween(const QDate& first, const QDate& last, uint8_t unit);
// The first day of the k-th period from `first`'s period.
QDate PeriodStartOfIndex(const QDate& first, int64_t k, uint8_t unit);
// A date as the period unit shows it ("2021", "2021-03", "2021-03-14").
QString PeriodLabel(const QDate& d, uint8_t unit);

// The record of one timeline row (109 bytes stored; bytes not named kept).
class TTimeLineDataRec : public TSettingsRecord<109> {
public:
    CV_FIELD(uint8_t, 0, PeriodUnit)
    CV_FIELD(double, 1, FirstDate)     // day numbers with fraction
    CV_FIELD(double, 9, LastDate)
    CV_FIELD(int32_t, 17, Hits)
    CV_FIELD(int32_t, 21, Words)
    CV_FIELD(int32_t, 25, MaxPeriodHits)
    CV_FIELD(int32_t, 29, MaxPeriodWords)
    CV_FIELD(int32_t, 33, SearchWordNumber) // -1 for the overall row
    CV_FIELD(float, 37, Rate)          // hits per thousand words; -1 without words
    CV_FIELD(float, 41, Dispersion)
    CV_BOOL_FIELD(45, IsOverall)
};

struct TTimelinePeriod {
    uint32_t hits = 0;
    uint32_t words = 0;
    friend bool operator==(const TTimelinePeriod&, const TTimelinePeriod&) = default;
};

// A copy of one row (TimeLineData).
struct TTimeLineRow {
    TTimeLineDataRec rec;
    std::vector<TTimelinePeriod> periods;
    QString label;
};

class TTimeLineEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;

    TTimeLineDataRec& Rec() { return fRec; }
    const TTimeLineDataRec& Rec() const { return fRec; }
    std::vector<TTimelinePeriod>& Periods() { return fPeriods; }
    const std::vector<TTimelinePeriod>& Periods() const { return fPeriods; }
    QString& Label() { return fLabel; }
    const QString& Label() const { return fLabel; }
    void ZeroTheDataRec() { fRec = {}; }
    void Clear();
    // Juilland's D over the hits per period.
    void ComputeDispersion();

    double GetAValueAsSingle(int column) const override;
    QString GetAWordAsString(int column) const override { return fLabel; }
    QString MainWordOnly() const override { return fLabel; }
    QStringView MainWordAsPointer() const override { return fLabel; }
    int64_t MainWordFrequency() const override { return fRec.Hits(); }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;

private:
    TTimeLineDataRec fRec;
    std::vector<TTimelinePeriod> fPeriods;
    QString fLabel;
};

class TTimelineList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListTimeline;
    static constexpr int32_t kVersion = 1;

    enum : int { kColLabel = 1, kColHits = 2, kColWords = 3, kColRate = 4, kColDispersion = 5, kColDates = 6 };
    enum : int32_t { kSortLabel = 0, kSortHits = 2, kSortWords = 3, kSortRate = 4, kSortDispersion = 5, kSortSet = 7 };

    TTimelineList(TCorvantisholder* owner, uint32_t toolSignature);

    TTimeLineEntry* Entry(int i) const { return static_cast<TTimeLineEntry*>(Get(i)); }
    int AddRow(const TTimeLineRow& row);
    // With fewer than 2 rows: row i (zeroed outside), flagged overall when i
    // is 0; with 2 or more, 0 is the overall entry and i the row i - 1.
    TTimeLineRow TimeLineData(int i) const;
    // Row `row`; -1 the overall entry.
    const TTimeLineEntry* RowEntry(int row) const;
    void SetTimeBasis(uint8_t unit);
    uint8_t TimeBasis() const { return fUnit; }
    void ComputeDispersion();
    // The heading of the dates column.
    QString TimeLineDataDateHeaders() const;
    // One line per period of row i (as TimeLineData numbers it): date, hits, words, tab separated.
    QStringList TimeLineDataStringForLemmaShower(int i) const;
    // The overall row's cell.
    void TopRowDataRec(int column, TDrawgridDataRec& rec) const;
    QString CheckedPPMFormatHeading() const { return RateHeading(fRateDisplay); }

    std::unique_ptr<TTimeLineEntry> OverallTimeLineEntry;
    uint8_t fRateDisplay = 2;

    int OverallCount() const override { return Count() > 1 ? 1 : 0; }
    void Clear() override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;

private:
    double EntryValue(const TTimeLineEntry& e, int column) const;
    void EntryCell(const TTimeLineEntry& e, int rowNumber, int column, TDrawgridDataRec& rec) const;
    uint8_t fUnit = kTimelineYears;
};

} // namespace cv
