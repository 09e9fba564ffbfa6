#pragma once
// How often each word of a list stands in each part of the corpus it was
// made from (its texts, or the tenths of the text of a one-text list): what
// the texts and the dispersion of several words taken together are worked
// out from, when forms are joined under a head word.
//
// One row per word, made in a run's last step from the records the run
// kept for the dispersion values (wordlist_tree.h, TPartRecords) and kept
// with the list (and in its file) from then on. A row is a run of 32-bit
// words in the records' own form: one word, (part << 8) | count, for a
// part below 2^24 and a count below 255; four words otherwise (0xFFFFFFFF,
// the part, the count's low and high halves); its parts in increasing
// order. Rows are only added, never changed: an entry names its row.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cv {

class TStream;

class TPartCounts {
public:
    // An entry that names no row (kNoRow: its counts are not known, as in a
    // list merged from others or read from a plain-text list); a word in no
    // part (a head word made for a lemma list, absent from the texts)
    // names kInNoPart.
    static constexpr uint32_t kNoRow = 0xFFFFFFFFu;
    static constexpr uint32_t kInNoPart = 0xFFFFFFFEu;

    // The parts: their sizes (the running words the dispersion weighs them
    // by) and the text each belongs to.
    TPartCounts(std::vector<int64_t> partWords, std::vector<int32_t> partText);

    int32_t PartCount() const { return int32_t(fPartWords.size()); }
    int64_t PartWords(int32_t part) const { return fPartWords[std::size_t(part)]; }
    int32_t PartText(int32_t part) const { return fPartText[std::size_t(part)]; }
    std::size_t Rows() const { return fRowStart.size() - 1; }
    uint64_t Words() const { return fWords.size(); }

    // Rows are made one after another: each word's counts, its parts in
    // increasing order (a part given twice in a row adds up).
    void Put(int32_t part, uint64_t count);
    uint32_t EndRow();
    // Room for so many rows and words (a run knows both ahead).
    void Reserve(std::size_t rows, std::size_t words);
    // Rows made elsewhere in this form: rowStart (rows + 1 offsets into
    // words, from 0) and the words; in place of the rows made so far.
    void AdoptRows(std::vector<uint64_t> rowStart, std::vector<uint32_t> words);
    // A row as it is stored (its words), as another list's rows are copied in.
    uint32_t AddRowWords(std::span<const uint32_t> words);
    std::span<const uint32_t> RowWords(uint32_t row) const
    {
        return {fWords.data() + fRowStart[row], std::size_t(fRowStart[row + 1] - fRowStart[row])};
    }
    // Calls visit(part, count) for each part of the row, in order.
    template <typename F>
    void ForEach(uint32_t row, F&& visit) const;
    // Words in one record: 1, or 4 for the long form.
    static constexpr uint32_t kLongRecord = 0xFFFFFFFFu;
    static std::size_t RecordWords(uint64_t count, int32_t part) { return part < (1 << 24) && count < 0xFF ? 1 : 4; }

    // What rows taken together (a head word and its forms) come to: the
    // texts holding any of them and the dispersion (DPnorm, dispersion.h)
    // of their frequencies added part by part. All rows must be known.
    struct TTogether {
        int64_t frequency = 0;
        int32_t texts = 0;
        float dispersion = 0.0f;
    };
    TTogether Together(std::span<const uint32_t> rows) const;
    // The frequency a row adds up to (0 for kInNoPart).
    uint64_t RowFrequency(uint32_t row) const;

private:
    std::vector<int64_t> fPartWords;
    std::vector<int32_t> fPartText;
    std::vector<uint64_t> fRowStart{0}; // rows + 1 offsets into fWords
    std::vector<uint32_t> fWords;
    int32_t fLastPart = -1; // of the row being made
    uint64_t fLastAt = 0;   // where its record starts
};

template <typename F>
void TPartCounts::ForEach(uint32_t row, F&& visit) const
{
    if (row >= Rows())
        return;
    for (uint64_t at = fRowStart[row], end = fRowStart[row + 1]; at < end;) {
        const uint32_t w = fWords[at++];
        if (w != kLongRecord) {
            visit(int32_t(w >> 8), uint64_t(w & 0xFF));
            continue;
        }
        const auto part = int32_t(fWords[at]);
        const uint64_t count = uint64_t(fWords[at + 1]) | (uint64_t(fWords[at + 2]) << 32);
        at += 3;
        visit(part, count);
    }
}

} // namespace cv
