#pragma once
// The small header a list of this library writes before its base list
// stream: four ASCII letters naming the list, the length of what follows, and
// its own fields. A later layout appends fields; older readers skip them by
// the length.

#include "suite/cv_stream.h"

#include <cstdint>
#include <cstring>

namespace cv {

constexpr uint32_t kMaxListHeaderBytes = 4096;

inline bool WriteListHeader(TStream& s, const uint8_t (&magic)[4], const TMemoryStream& fields)
{
    return s.WriteExact(magic, 4) && WriteSizedBlock(s, fields);
}

// The header's fields into `fields` (positioned at their start); false when
// the magic is not this list's or the header is cut short or too long.
inline bool ReadListHeader(TStream& s, const uint8_t (&magic)[4], TMemoryStream& fields)
{
    uint8_t found[4] = {};
    return s.ReadExact(found, 4) && std::memcmp(found, magic, 4) == 0
           && ReadSizedBlock(s, kMaxListHeaderBytes, fields);
}

} // namespace cv
