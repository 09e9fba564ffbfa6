#include "wordlist/part_counts.h"

#include "wordlist/dispersion.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace cv {

TPartCounts::TPartCounts(std::vector<int64_t> partWords, std::vector<int32_t> partText)
    : fPartWords(std::move(partWords)), fPartText(std::move(partText))
{
    fPartText.resize(fPartWords.size(), 0);
}

void TPartCounts::Reserve(std::size_t rows, std::size_t words)
{
    fRowStart.reserve(rows + 1);
    fWords.reserve(words);
}

void TPartCounts::Put(int32_t part, uint64_t count)
{
    if (part == fLastPart && fWords.size() > fLastAt) {
        // The same part again: one record of the two.
        uint64_t before = 0;
        const uint32_t w = fWords[fLastAt];
        before = w != kLongRecord ? uint64_t(w & 0xFF) : uint64_t(fWords[fLastAt + 2]) | (uint64_t(fWords[fLastAt + 3]) << 32);
        fWords.resize(fLastAt);
        count += before;
    }
    fLastPart = part;
    fLastAt = fWords.size();
    if (RecordWords(count, part) == 1) {
        fWords.push_back((uint32_t(part) << 8) | uint32_t(count));
        return;
    }
    fWords.push_back(kLongRecord);
    fWords.push_back(uint32_t(part));
    fWords.push_back(uint32_t(count));
    fWords.push_back(uint32_t(count >> 32));
}

uint32_t TPartCounts::EndRow()
{
    fRowStart.push_back(fWords.size());
    fLastPart = -1;
    return uint32_t(Rows() - 1);
}

void TPartCounts::AdoptRows(std::vector<uint64_t> rowStart, std::vector<uint32_t> words)
{
    fRowStart = std::move(rowStart);
    fWords = std::move(words);
    fLastPart = -1;
}

uint32_t TPartCounts::AddRowWords(std::span<const uint32_t> words)
{
    fWords.insert(fWords.end(), words.begin(), words.end());
    return EndRow();
}

uint64_t TPartCounts::RowFrequency(uint32_t row) const
{
    uint64_t f = 0;
    ForEach(row, [&](int32_t, uint64_t count) { f += count; });
    return f;
}

TPartCounts::TTogether TPartCounts::Together(std::span<const uint32_t> rows) const
{
    // The parts of all the rows, in order, each once with the counts added.
    std::vector<std::pair<int32_t, uint64_t>> parts;
    for (uint32_t row : rows)
        ForEach(row, [&](int32_t part, uint64_t count) { parts.emplace_back(part, count); });
    std::sort(parts.begin(), parts.end());
    TTogether out;
    for (std::size_t k = 0; k < parts.size();) {
        std::size_t j = k + 1;
        while (j < parts.size() && parts[j].first == parts[k].first)
            parts[k].second += parts[j++].second;
        out.frequency += int64_t(parts[k].second);
        k = j;
    }
    parts.erase(std::unique(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                parts.end());
    int32_t lastText = -1;
    for (const auto& [part, count] : parts)
        if (count > 0 && part < PartCount() && PartText(part) != lastText) {
            lastText = PartText(part);
            ++out.texts;
        }
    // DP as the run computes it for one word: every part starts as if the
    // word were not in it (its share), each part it is in replaces that by
    // |v/f - s| (dispersion.h).
    int64_t total = 0;
    for (int64_t t : fPartWords)
        total += t;
    if (total <= 0 || out.frequency <= 0)
        return out;
    double smallest = 1.0;
    for (int64_t t : fPartWords)
        if (t > 0)
            smallest = std::min(smallest, double(t) / double(total));
    double sum = 1.0;
    for (const auto& [part, count] : parts) {
        if (part >= PartCount() || count == 0)
            continue;
        const double s = double(fPartWords[std::size_t(part)]) / double(total);
        sum += std::fabs(double(count) / double(out.frequency) - s) - s;
    }
    out.dispersion = float(NormalisedDeviationOfProportions(std::clamp(sum / 2, 0.0, 1.0), smallest));
    return out;
}

} // namespace cv
