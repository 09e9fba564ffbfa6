#include "ui/framework/grid_binding.h"

#include "ui/framework/tool_pages.h"

namespace cv {

namespace {

template <typename F>
void ForEveryPageGrid(F&& store)
{
    const TOneToolWindowList& pages = ToolWindowList();
    for (int i = pages.Count() - 1; i >= 0; --i)
        if (TCV_Grid* grid = pages.GridOfPage(i))
            store(*grid);
}

} // namespace

void SetAllGridsEventHandlersA(const TCVGridHandlersA& handlers)
{
    ForEveryPageGrid([&](TCV_Grid& grid) { grid.HandlersA = handlers; });
}

void SetAllGridsEventHandlersB(const TCVGridHandlersB& handlers)
{
    ForEveryPageGrid([&](TCV_Grid& grid) { grid.HandlersB = handlers; });
}

void SetAllGridsEventHandlersC(const TCVGridHandlersC& handlers)
{
    ForEveryPageGrid([&](TCV_Grid& grid) { grid.HandlersC = handlers; });
}

void SetAllGridsWindowOperations(const TCVGridWindowOperations& operations)
{
    ForEveryPageGrid([&](TCV_Grid& grid) { grid.WindowOperations = operations; });
}

} // namespace cv
