#pragma once
// Reads bytes as a saved result the way the tool opens one: the first byte
// picks a word list (".lst"), key words (".kws") or a concordance (".cnc"),
// the rest is the file. Shared by the fuzz target of the result readers and
// the test that replays the inputs it kept.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "concordance/marvex_holder.h"
#include "keywords/keywords_holder.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "wordlist/wordlist_holder.h"

namespace cvtest {

// True when the reader took the file; false when it refused it.
inline bool ReadResultFileFromBytes(const uint8_t* data, std::size_t size)
{
    if (size < 1)
        return false;
    cv::TMemoryStream file(std::vector<uint8_t>(data + 1, data + size));
    bool read = false;
    switch (data[0] % 3) {
    case 0: {
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        read = doc.ReadWholeFromStream(file);
        // A list read is never one of values that cannot be.
        if (read)
            for (const uint8_t type : {cv::kListWordList, cv::kListIndexWordList})
                if (const cv::TCVWordList* list = doc.WordlistOfType(type); list && !list->ImpossibleValue().isEmpty())
                    __builtin_trap();
        break;
    }
    case 1: {
        cv::T_WholeKeywordsHolder doc(cv::kListKeyWords, nullptr, nullptr, false, false);
        read = doc.ReadWholeFromStream(file);
        break;
    }
    default: {
        cv::T_WholeMarvexHolder doc(cv::kListConcordance, nullptr, nullptr, false, false);
        read = doc.ReadWholeFromStream(file);
        break;
    }
    }
    cv::Global_FailureMessage.clear();
    return read;
}

} // namespace cvtest
