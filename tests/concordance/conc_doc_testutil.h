#pragma once
// Helpers of the concordance document tests: the byte builder for stored
// forms written by hand (older layouts), and stream round trips.

#include "suite/cv_stream.h"
#include "support/le_bytes.h"

#include <cstdint>
#include <vector>

namespace cvtest {

// What an object writes into a fresh memory stream.
template <typename T>
std::vector<uint8_t> StreamBytes(T& obj)
{
    cv::TMemoryStream m;
    if (!obj.SaveToStream(m))
        return {};
    return m.Bytes();
}

} // namespace cvtest
