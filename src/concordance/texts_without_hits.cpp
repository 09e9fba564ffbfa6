#include "concordance/texts_without_hits.h"

#include "suite/cv_stream.h"

#include <algorithm>

namespace cv {

bool TUnusedFileRec::SaveFixedPart(TStream& s) const
{
    return s.WriteF64(Juliandate) && s.WriteI32(wordcount) && s.WriteBytes(spare);
}

bool TUnusedFileRec::ReadFixedPart(TStream& s)
{
    return s.ReadF64(Juliandate) && s.ReadI32(wordcount) && s.ReadExact(spare.data(), int64_t(spare.size()));
}

TUnusedFileRec TUnusedFileList::Record(int i) const
{
    return i >= 0 && i < Count() ? fItems[size_t(i)].Rec() : TUnusedFileRec{};
}

int TUnusedFileList::IndexOfAFilename(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (fItems[size_t(i)].Rec().filename.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TUnusedFileList::SortAlphabetically()
{
    std::stable_sort(fItems.begin(), fItems.end(), [](const TUnusedFileFrecHolder& a, const TUnusedFileFrecHolder& b) {
        return a.Rec().filename.compare(b.Rec().filename, Qt::CaseInsensitive) < 0;
    });
}

bool TUnusedFileList::SaveToStream(TStream& s)
{
    const int32_t header = fItems.empty() ? kEmptyMarker : -int32_t(fItems.size());
    fversion_num = std::max(fversion_num, kCurrentVersion);
    bool ok = s.WriteI32(header) && s.WriteI32(fversion_num);
    for (const auto& h : fItems) {
        if (!ok)
            break;
        ok = h.Rec().SaveFixedPart(s) && WriteAString(s, h.Rec().filename);
    }
    return ok;
}

bool TUnusedFileList::ReadFromStream(TStream& s)
{
    int32_t header = 0;
    if (!s.ReadI32(header))
        return false;
    int32_t version = 0;
    int64_t count = header;
    if (header == kEmptyMarker) {
        if (!s.ReadI32(version))
            return false;
        count = 0;
    } else if (header < 0) {
        if (!s.ReadI32(version))
            return false;
        count = -int64_t(header);
    }
    // A count that cannot fit in the rest of the stream is damage, not a
    // reason to make millions of empty entries.
    const int64_t minBytes = TUnusedFileRec::kFixedSize + (version > 0 ? 5 : 0);
    if (version < 0 || count * minBytes > s.Remaining())
        return false;
    fversion_num = version;
    fItems.clear();
    fItems.reserve(size_t(count));
    bool ok = true;
    for (int64_t k = 0; k < count; ++k) {
        TUnusedFileRec rec;
        if (ok) {
            ok = rec.ReadFixedPart(s);
            if (ok && version > 0 && !ReadAString(s, rec.filename))
                return false;
        }
        fItems.emplace_back(rec);
    }
    return ok;
}

} // namespace cv
