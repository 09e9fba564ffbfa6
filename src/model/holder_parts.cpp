#include "model/holder_parts.h"

#include "model/base_list.h"
#include "suite/cv_stream.h"

namespace cv {

bool TCVStored_File_rec::SaveToStream(TStream& s) const
{
    return WriteAString(s, FileName) && s.WriteU8(Mark) && s.WriteI32(Count) && s.WriteU8(ListType);
}

bool TCVStored_File_rec::ReadFromStream(TStream& s)
{
    TCVStored_File_rec r;
    if (!ReadAString(s, r.FileName) || !s.ReadU8(r.Mark) || !s.ReadI32(r.Count) || !s.ReadU8(r.ListType))
        return false;
    *this = std::move(r);
    return true;
}

void TCVBaseListList::Add(TCVBaseDataClass* list, TEntriesCallback onEntries)
{
    if (list && !Contains(list))
        fLists.push_back({list, std::move(onEntries)});
}

bool TCVBaseListList::Contains(const TCVBaseDataClass* list) const
{
    for (const Held& h : fLists)
        if (h.list == list)
            return true;
    return false;
}

void TCVBaseListList::ReportEntries() const
{
    for (const Held& h : fLists)
        if (h.onEntries)
            h.onEntries(*h.list, h.list->Count());
}

} // namespace cv
