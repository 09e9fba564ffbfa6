#include "suite/plot_data.h"

#include "maths/statistics.h"
#include "suite/cv_stream.h"

#include <algorithm>
#include <cmath>

namespace cv {

namespace {
constexpr uint32_t kPlotMagic = 0x4C445047; // "GPDL" in file order
constexpr int32_t kPlotVersion = 1;
} // namespace

float PlotDispersion(std::span<const double> counts)
{
    return float(JuillandsD(counts));
}

TGeneralPlotDataList::TGeneralPlotDataList(int32_t extent, int32_t divisions) : fExtent(extent), fDivisions(divisions) {}

std::vector<int32_t> TGeneralPlotDataList::Positions() const
{
    std::vector<int32_t> out;
    out.reserve(fPoints.size());
    for (const auto& p : fPoints)
        out.push_back(p.Position());
    return out;
}

void TGeneralPlotDataList::Add(int32_t position, const QString& text)
{
    fPoints.emplace_back(TV2GeneralPlotDataRec{position, text});
}

void TGeneralPlotDataList::AddFrom(const TGeneralPlotDataList& other)
{
    fPoints.insert(fPoints.end(), other.fPoints.begin(), other.fPoints.end());
}

void TGeneralPlotDataList::SortByPosition()
{
    std::stable_sort(fPoints.begin(), fPoints.end(),
                     [](const TGeneralPlotDataHolder& a, const TGeneralPlotDataHolder& b) { return a.Position() < b.Position(); });
}

std::vector<int32_t> TGeneralPlotDataList::SegmentCounts() const
{
    const int32_t n = std::max(fDivisions, 0);
    std::vector<int32_t> counts(std::size_t(n), 0);
    if (n == 0 || fPoints.empty())
        return counts;
    int64_t extent = fExtent;
    if (extent <= 0)
        for (const auto& p : fPoints)
            extent = std::max<int64_t>(extent, p.Position());
    extent = std::max<int64_t>(extent, 1);
    for (const auto& p : fPoints) {
        const int64_t pos = std::clamp<int64_t>(p.Position(), 1, extent);
        counts[std::size_t((pos - 1) * n / extent)]++;
    }
    return counts;
}

float TGeneralPlotDataList::ComputedDispersion() const
{
    const std::vector<int32_t> counts = SegmentCounts();
    const std::vector<double> asDouble(counts.begin(), counts.end());
    return PlotDispersion(asDouble);
}

bool TGeneralPlotDataList::SaveToStream(TStream& s) const
{
    const bool hasTexts = std::any_of(fPoints.begin(), fPoints.end(), [](const auto& p) { return !p.Text().isEmpty(); });
    bool ok = s.WriteU32(kPlotMagic) && s.WriteI32(kPlotVersion) && s.WriteI32(fExtent) && s.WriteI32(fDivisions)
              && s.WriteBool(hasTexts) && s.WriteCount(Count());
    for (std::size_t i = 0; ok && i < fPoints.size(); ++i)
        ok = s.WriteI32(fPoints[i].Position()) && (!hasTexts || WriteAString(s, fPoints[i].Text()));
    return ok;
}

bool TGeneralPlotDataList::ReadFromStream(TStream& s)
{
    fPoints.clear();
    uint32_t magic = 0;
    int32_t version = 0, extent = 0, divisions = 0, count = 0;
    uint8_t hasTexts = 0;
    if (!s.ReadU32(magic) || magic != kPlotMagic || !s.ReadI32(version) || version != kPlotVersion
        || !s.ReadI32(extent) || extent < 0 || !s.ReadI32(divisions) || divisions < 0 || !s.ReadU8(hasTexts)
        || hasTexts > 1 || !s.ReadCount(count, hasTexts ? 4 + 6 : 4))
        return false;
    std::vector<TGeneralPlotDataHolder> points;
    points.reserve(std::size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        TV2GeneralPlotDataRec rec;
        if (!s.ReadI32(rec.position) || (hasTexts && !ReadAString(s, rec.text)))
            return false;
        points.emplace_back(std::move(rec));
    }
    fExtent = extent;
    fDivisions = divisions;
    fPoints = std::move(points);
    return true;
}

} // namespace cv
