#pragma once
// How items of an index (types, clusters) spread over its parts: the
// texts they occur in and their dispersion value, the word list's DPnorm
// (wordlist/dispersion.h) over the same parts the word list uses: the texts,
// or ten stretches of a one-text index.
//
// DP needs an item's whole frequency f before its parts can be weighed, so
// the spread is taken in a second walk over the index: each occurrence is
// handed over in index order, and the sum
//   DP = 1/2 * sum_i |v_i / f - s_i|
// is kept as 1 (as if the item were in no part: the shares add up to 1),
// each part the item is met in replacing its share s by |v/f - s|, in part
// order, as the word list sums it.

#include "suite/file_system.h"
#include "wordlist/dispersion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace cv {

class TIndexParts {
public:
    // `sizes`: the running words of each text that count for the item kind
    // (the parts of a one-text index are cut by SplitOneText).
    explicit TIndexParts(std::vector<int64_t> sizes = {}) { SetSizes(std::move(sizes)); }

    void SetSizes(std::vector<int64_t> sizes)
    {
        fSizes = std::move(sizes);
        fTotal = 0;
        for (int64_t s : fSizes)
            fTotal += s;
        fSmallest = 1.0;
        for (int64_t s : fSizes)
            if (s > 0 && fTotal > 0)
                fSmallest = std::min(fSmallest, double(s) / double(fTotal));
    }
    int32_t Count() const { return int32_t(fSizes.size()); }
    double Share(int32_t part) const { return fTotal > 0 ? double(fSizes[std::size_t(part)]) / double(fTotal) : 0.0; }
    int64_t Total() const { return fTotal; }

    // The part of token `i` of a one-text index of `n` tokens (ten stretches).
    static int32_t TenthOf(int64_t i, int64_t n)
    {
        return n <= 0 ? 0 : int32_t(std::min<int64_t>(kDispersionPartsOfOneText - 1, i * kDispersionPartsOfOneText / n));
    }

    // Where an item was last met: the part, and its occurrences there so far.
    struct TAt {
        int32_t part = -1;
        uint32_t inPart = 0;
    };
    // What one item keeps while the spread is taken: the sum over the parts
    // it has left, and where it is. A caller may keep the sums apart from
    // the places (an item met again in its part then touches its place only).
    struct TAcc {
        double sum = kStartSum;
        TAt at;
    };
    static constexpr double kStartSum = 1.0;
    void Add(TAcc& a, int32_t part, double f) const { AddCount(a.sum, a.at, part, 1, f); }
    // `count` occurrences at once in one part.
    void AddCount(TAcc& a, int32_t part, uint32_t count, double f) const { AddCount(a.sum, a.at, part, count, f); }
    void AddCount(double& sum, TAt& at, int32_t part, uint32_t count, double f) const
    {
        if (at.part != part) {
            Flush(sum, at, f);
            at.part = part;
        }
        at.inPart += count;
    }
    // DPnorm of an item of frequency f once all its occurrences went in.
    float Finish(TAcc& a, double f) const { return Finish(a.sum, a.at, f); }
    float Finish(double& sum, TAt& at, double f) const
    {
        Flush(sum, at, f);
        if (fTotal <= 0 || f <= 0)
            return 0.0f;
        return float(NormalisedDeviationOfProportions(std::clamp(sum / 2, 0.0, 1.0), fSmallest));
    }

private:
    void Flush(double& sum, TAt& at, double f) const
    {
        if (at.part >= 0 && at.inPart > 0) {
            const double s = Share(at.part);
            sum += std::fabs(double(at.inPart) / f - s) - s;
        }
        at.inPart = 0;
    }

    std::vector<int64_t> fSizes;
    int64_t fTotal = 0;
    double fSmallest = 1.0;
};

// The frequency of each type in each part, gathered as the tokens go by
// (the word tree of the word list keeps them the same way): the types met
// in the current part are noted, and at the end of the part one record per
// type met is kept, so that frequencies, texts and dispersion need no
// second walk over the tokens. Given a scratch file (SpillTo), the records
// go there whenever more than a budget of them are held, and are read back
// from it in order: the memory they take stays bounded however many texts
// and types there are, and what is read is the same.
class TTypePartCounts {
public:
    struct TRecord {
        uint32_t code;
        uint32_t count;
    };
    // Room for codes below n.
    void Grow(std::size_t n)
    {
        if (fInPart.size() < n) {
            fInPart.resize(std::max(n, fInPart.size() * 2), 0);
            fTouched.resize(fInPart.size()); // a code is noted once per part
        }
    }
    // Many codes in a row with the counts' state in locals (registers), so
    // that storing a count does not make the caller's state be read again;
    // Commit writes it back. No Grow while an adder is in use.
    class TAdder {
    public:
        explicit TAdder(TTypePartCounts& c) : fCounts(&c), fInPart(c.fInPart.data()), fTouched(c.fTouched.data()), fUsed(c.fTouchedCount) {}
        void operator()(uint32_t code)
        {
            uint32_t& n = fInPart[code];
            fTouched[fUsed] = code;
            fUsed += n == 0 ? 1 : 0;
            // A count per text is 32-bit: a text of more tokens of one type
            // than that cannot be indexed (its counts would be wrong).
            if (n == UINT32_MAX) [[unlikely]]
                fCounts->fSpillError = QStringLiteral("a text holds more than 4,294,967,295 tokens of one word");
            else
                ++n;
        }
        void Commit() { fCounts->fTouchedCount = fUsed; }

    private:
        TTypePartCounts* fCounts;
        uint32_t* fInPart;
        uint32_t* fTouched;
        std::size_t fUsed;
    };
    void Add(uint32_t code)
    {
        TAdder add(*this);
        add(code);
        add.Commit();
    }
    void EndPart(int32_t part)
    {
        for (std::size_t t = 0; t < fTouchedCount; ++t) {
            const uint32_t code = fTouched[t];
            const std::size_t held = fRecords - fSpilled;
            if (held % kBlockRecords == 0 && held / kBlockRecords == fBlocks.size())
                fBlocks.push_back(std::make_unique_for_overwrite<TRecord[]>(kBlockRecords));
            fBlocks[held / kBlockRecords][held % kBlockRecords] = TRecord{code, fInPart[code]};
            ++fRecords;
            fInPart[code] = 0;
        }
        fTouchedCount = 0;
        fPartEnds.push_back({part, fRecords});
        if (fSpill && fRecords - fSpilled >= fSpillBudget)
            Spill();
    }
    // From now on, records beyond `budget` held in memory go to `file`
    // (kept by the caller for as long as the counts are read).
    void SpillTo(TScratchFile* file, std::size_t budget)
    {
        fSpill = file;
        fSpillBudget = std::max<std::size_t>(budget, 1);
    }
    // Why writing or reading the scratch file failed (empty: it did not).
    const QString& SpillError() const { return fSpillError; }
    // Records made so far (each a code's count in a part), spilled ones too.
    std::size_t RecordCount() const { return fRecords; }
    // Calls f(part, code, count) for every record, parts in the order ended,
    // and ahead(code) for the record a few places further on (the records
    // name codes in no order: what f reads of a code can be asked for early).
    // Records in the scratch file are read back in pieces, in order.
    template <typename F, typename TAhead>
    void ForEach(F&& f, TAhead&& ahead) const
    {
        constexpr std::size_t kAhead = 16;
        std::vector<TRecord> piece;
        std::size_t pieceFrom = 0;
        auto spilled = [&](std::size_t r) -> const TRecord& {
            if (piece.empty() || r < pieceFrom || r >= pieceFrom + piece.size()) {
                piece.resize(std::min<std::size_t>(kBlockRecords, fSpilled - r));
                pieceFrom = r;
                QString error;
                if (!fSpill->ReadAt(int64_t(r * sizeof(TRecord)), piece.data(), int64_t(piece.size() * sizeof(TRecord)), &error)) {
                    fSpillError = error;
                    std::fill(piece.begin(), piece.end(), TRecord{0, 0});
                }
            }
            return piece[r - pieceFrom];
        };
        std::size_t r = 0;
        for (const auto& [part, end] : fPartEnds)
            for (; r < end; ++r) {
                if (r < fSpilled) {
                    const TRecord c = spilled(r);
                    if (c.count != 0)
                        f(part, c.code, c.count);
                    continue;
                }
                if (r + kAhead < fRecords)
                    ahead(Record(r + kAhead).code);
                const TRecord& c = Record(r);
                f(part, c.code, c.count);
            }
    }
    template <typename F>
    void ForEach(F&& f) const
    {
        ForEach(std::forward<F>(f), [](uint32_t) {});
    }
    void Clear()
    {
        fBlocks.clear();
        fRecords = 0;
        fSpilled = 0;
        fPartEnds.clear();
        fTouchedCount = 0;
        std::fill(fInPart.begin(), fInPart.end(), 0u);
    }

private:
    const TRecord& Record(std::size_t r) const
    {
        r -= fSpilled;
        return fBlocks[r / kBlockRecords][r % kBlockRecords];
    }
    void Spill()
    {
        std::size_t held = fRecords - fSpilled;
        for (std::size_t b = 0; held > 0 && fSpillError.isEmpty(); ++b) {
            const std::size_t n = std::min(held, kBlockRecords);
            QString error;
            if (!fSpill->Append(fBlocks[b].get(), int64_t(n * sizeof(TRecord)), &error))
                fSpillError = error;
            held -= n;
        }
        fBlocks.clear();
        fSpilled = fRecords;
    }

    std::vector<uint32_t> fInPart;
    std::vector<uint32_t> fTouched; // codes met in the current part (room for every code)
    std::size_t fTouchedCount = 0;
    // The records in blocks: no copies as they grow, and no memory touched before it is used.
    static constexpr std::size_t kBlockRecords = std::size_t(1) << 16;
    std::vector<std::unique_ptr<TRecord[]>> fBlocks;
    std::size_t fRecords = 0;
    std::vector<std::pair<int32_t, std::size_t>> fPartEnds;
    TScratchFile* fSpill = nullptr;
    std::size_t fSpillBudget = 0;
    std::size_t fSpilled = 0;        // the first records, in the scratch file
    mutable QString fSpillError;
};

} // namespace cv
