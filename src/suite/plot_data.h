#pragma once
// The general plot library: where the hits of one search word fall in one
// text (or in a pooled row), as running-word positions with an optional
// text each, how the text is divided for the plot, and how evenly the hits
// are spread over those divisions.
//
// Dispersion is Juilland's D over equal divisions of the text:
//
//     n  divisions, c_i hits in division i, mean m = (sum c_i) / n
//     s  = sqrt( sum (c_i - m)^2 / n )       (population standard deviation)
//     V  = s / m                              (coefficient of variation)
//     D  = 1 - V / sqrt(n - 1)
//
// D is 1 when every division holds the same number of hits and 0 when all
// hits fall into one division (so one hit always gives 0). With no hits, or
// fewer than 2 divisions, D is 0. Timelines feed their per-period counts to
// the same formula (PlotDispersion).

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace cv {

class TStream;

// Juilland's D of the counts (see above), clamped to 0 ... 1.
float PlotDispersion(std::span<const double> counts);

// One point: a running-word position and, optionally, the text around it.
struct TV2GeneralPlotDataRec {
    int32_t position = 0;
    QString text;
};

class TGeneralPlotDataHolder {
public:
    TGeneralPlotDataHolder() = default;
    explicit TGeneralPlotDataHolder(TV2GeneralPlotDataRec rec) : fRec(std::move(rec)) {}
    int32_t Position() const { return fRec.position; }
    const QString& Text() const { return fRec.text; }
    const TV2GeneralPlotDataRec& Rec() const { return fRec; }

private:
    TV2GeneralPlotDataRec fRec;
};

class TGeneralPlotDataList {
public:
    // extent: running words of the text the positions lie in (positions
    // count from 1); divisions: parts the text is cut into for the plot and
    // its dispersion.
    explicit TGeneralPlotDataList(int32_t extent = 0, int32_t divisions = 8);

    int32_t Extent() const { return fExtent; }
    void SetExtent(int32_t words) { fExtent = words; }
    int32_t Divisions() const { return fDivisions; }
    void SetDivisions(int32_t n) { fDivisions = n; }

    int Count() const { return int(fPoints.size()); }
    bool IsEmpty() const { return fPoints.empty(); }
    const TGeneralPlotDataHolder& Item(int i) const { return fPoints[std::size_t(i)]; }
    int32_t Position(int i) const { return fPoints[std::size_t(i)].Position(); }
    std::vector<int32_t> Positions() const;

    void Add(int32_t position, const QString& text = QString());
    // Copies every point of the other list (the pooled overall row).
    void AddFrom(const TGeneralPlotDataList& other);
    void Clear() { fPoints.clear(); }
    // Stable: points at the same position keep their order.
    void SortByPosition();

    // Hits per division: a position p (1 ... extent) falls into division
    // (p - 1) * n / extent; positions outside the text count in the first
    // or last division. With no extent the largest position stands for it.
    std::vector<int32_t> SegmentCounts() const;
    float ComputedDispersion() const;

    // Stream form (docs/plot-data.md). Reading replaces the list only when
    // the whole stream is sound; a damaged one leaves it empty.
    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s);

private:
    int32_t fExtent;
    int32_t fDivisions;
    std::vector<TGeneralPlotDataHolder> fPoints;
};

} // namespace cv
