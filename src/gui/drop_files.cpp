#include "gui/drop_files.h"

#include <map>

namespace cv {

namespace {

// Drops live on the window thread only, between the drop and its message.
struct TDropTable {
    std::map<TDropHandle, QStringList> drops;
    TDropHandle next = 1;
};

TDropTable& Table()
{
    static TDropTable table;
    return table;
}

} // namespace

TDropHandle RegisterDroppedFiles(const QStringList& fileNames)
{
    TDropTable& t = Table();
    const TDropHandle handle = t.next++;
    t.drops[handle] = fileNames;
    return handle;
}

int DragQueryFileCount(TDropHandle drop)
{
    const auto it = Table().drops.find(drop);
    return it == Table().drops.end() ? 0 : int(it->second.size());
}

QString DragQueryFile(TDropHandle drop, int index, int maxChars)
{
    const auto it = Table().drops.find(drop);
    if (it == Table().drops.end() || index < 0 || index >= it->second.size())
        return {};
    return it->second.at(index).left(maxChars);
}

void DragFinish(TDropHandle drop) { Table().drops.erase(drop); }

int PendingDrops() { return int(Table().drops.size()); }

} // namespace cv
