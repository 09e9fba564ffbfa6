#pragma once
// The tokens of an index's texts a stretch at a time, each with the
// boundary level before it (0 none, 2 sentence ... 5 section), so that a
// walk over a text of any length takes the same memory.

#include "index/index_files.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <span>

namespace cv {

class TTokenStretches {
public:
    // Texts `first` to `last`; false, with the reason, when the token file cannot be opened.
    bool Open(const TIndexData& d, int32_t first, int32_t last, QString* error)
    {
        fIndex = &d;
        fMarkup = d.markup.data();
        fMarkupEnd = fMarkup + d.markup.size();
        return fReader.Open(d, first, last, error);
    }
    // Goes on to the next text (false after the last one, or with the
    // reason when the text before it was not read to its end).
    bool NextText(int32_t& text, int64_t& tokens, QString* error)
    {
        if (!fReader.NextText(text, tokens, error))
            return false;
        fNext = fIndex->texts[std::size_t(text)].firstToken;
        while (fMarkup != fMarkupEnd && fMarkup->token < fNext)
            ++fMarkup;
        return true;
    }
    // The next codes.size() tokens of the text, and the level before each
    // into `levels` (as many); false, with the reason, when the file is cut
    // short or damaged.
    bool Read(std::span<uint32_t> codes, std::span<uint8_t> levels, QString* error)
    {
        if (!fReader.Read(codes, error))
            return false;
        std::fill(levels.begin(), levels.end(), uint8_t(0));
        const int64_t end = fNext + int64_t(codes.size());
        for (; fMarkup != fMarkupEnd && fMarkup->token < end; ++fMarkup)
            levels[std::size_t(fMarkup->token - fNext)] = uint8_t(fMarkup->level);
        fNext = end;
        return true;
    }

private:
    TTokenStreamReader fReader;
    const TIndexData* fIndex = nullptr;
    const TIndexMarkup* fMarkup = nullptr;
    const TIndexMarkup* fMarkupEnd = nullptr;
    int64_t fNext = 0; // the index's token the next Read starts at
};

} // namespace cv
