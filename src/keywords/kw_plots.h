#pragma once
// Dispersion plots of the key words of one text: one row per key word with
// its hits, its dispersion over the text and its positions, and an overall
// row pooling every key word. The key-word document fills the rows from a
// concordance of the key words (a hook, see keywords_holder.h); the list
// serves them to the grid, the word cloud, the links and the ".kws" file.
//
// Entry record as stored (60 bytes, little-endian):
//    0 float  plot_keyness       20 int32 hits
//    4 float  dispersion         24 uint8 IsOverallEntry, 25..27 spare
//    8 int32  divisions          28 int32 wd_entry_number (1-based)
//   12 int32  link_tokens        32 28 spare bytes
//   16 int32  words_in_file
// then the word (string-stream form, the list's character width) and the
// positions (plot-position list, docs/plot-data.md). Lists older than
// version 15 stored 20 bytes: keyness, dispersion, link tokens, words in
// file, hits (divisions then 8).

#include "concordance/concordance_plots.h"
#include "suite/plot_data.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace cv {

struct TKWPlot_entry_rec {
    static constexpr int kStoredSize = 60;
    static constexpr int kOldStoredSize = 20;

    float plot_keyness = 0;
    float dispersion = 0;
    int32_t divisions = 8;
    int32_t link_tokens = 0;
    int32_t words_in_file = 0;
    int32_t hits = 0;
    bool IsOverallEntry = false;
    std::array<uint8_t, 3> spareB{}; // spareB2..spareB4
    int32_t wd_entry_number = 0;
    std::array<uint8_t, 28> spare{};

    friend bool operator==(const TKWPlot_entry_rec&, const TKWPlot_entry_rec&) = default;
};

class TKWPlotEntry final : public TCVBaseListObject {
public:
    TKWPlotEntry(TCVBaseDataClass* owner, const TKWPlot_entry_rec& rec = {}, bool IsOverall = false);

    TKWPlot_entry_rec data;
    QString w;

    TGeneralPlotDataList& PlotPositions() { return *fPositions; }
    const TGeneralPlotDataList& PlotPositions() const { return *fPositions; }
    // Takes over a position list (a null one leaves an empty list).
    void SetPlotPositions(std::unique_ptr<TGeneralPlotDataList> positions);
    // Frees the word and empties the positions.
    void ClearData();

    void GetRelativeEntropyBasis() override;
    double GetAValueAsSingle(int column) const override;
    QString MainWordOnly() const override { return w; }
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    QStringView MainWordAsPointer() const override { return w; }
    int MainWordLength() const override { return int(w.size()); }
    int64_t MainWordFrequency() const override { return data.hits; }

private:
    std::unique_ptr<TGeneralPlotDataList> fPositions;
};

class TKWPlotList final : public TCVPlottingList {
public:
    static constexpr uint8_t kListType = kListKeyWordPlot;
    static constexpr int32_t kVersion = 22;
    // Versions of the stored layout.
    static constexpr int32_t kFirstFullRecordVersion = 15;
    static constexpr int32_t kFirstOverallEntryVersion = 16;
    static constexpr int32_t kFirstPlotSettingsVersion = 17;
    static constexpr int32_t kFirstReliableNumbersVersion = 22;

    enum TColumn : int {
        kColN = 0,
        kColWord,
        kColDispersion,
        kColKeyness,
        kColLinkTokens,
        kColHits,
        kColPlot,
        kColSet,
    };

    TKWPlotList(TCorvantisholder* owner, uint32_t toolSignature);
    ~TKWPlotList() override;

    TKWPlotEntry& Entry(int i) const { return static_cast<TKWPlotEntry&>((*this)[i]); }
    // Row -1 is the overall entry; null outside.
    const TKWPlotEntry* RowEntry(int row) const;
    // Grid data row i: 0 the overall entry, i the entry i - 1 (a copy of its record).
    TKWPlot_entry_rec PlotData(int i) const;
    int AddRow(const TKWPlot_entry_rec& rec, const QString& word, std::unique_ptr<TGeneralPlotDataList> positions);
    // Empties the overall entry: no hits, the word, a new position list of `divisions`.
    void ResetOverallEntry(const QString& word, int32_t divisions);
    // Empties the rows and the overall entry; headings and settings stay.
    void ClearKeepingHeadings();

    std::unique_ptr<TKWPlotEntry> OverallPlotEntry;
    bool reliable_Kwlink_numbers = true;
    bool sw_limit_reached = false;
    int32_t words_in_file = 0;

    int OverallCount() const override { return 1; }
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    void EnsureAlphabeticalAscendingSort() override;
    // The next key word for the word cloud: the rows in order (the overall
    // row is no word of the text and is left out), valued by the cloud's
    // column (dispersion times 100).
    void GetNextCloudDatum(TWordFreqAndSourceNum& datum) override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    const TGeneralPlotDataList* PlotPositionsOfRow(int i) const override;
    int32_t PlotScaleWords() const override { return words_in_file; }
    void Clear() override;

    static QStringList DefaultHeadings();

private:
    double RowValue(const TKWPlotEntry& e, int column) const;
};

} // namespace cv
