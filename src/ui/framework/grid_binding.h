#pragma once
// Binding the tool window's handlers into its page grids. A grid does not
// know the window: it calls back through the handler groups of TCV_Grid,
// which these procedures fill on every page grid of the page register, from
// the last page to the first; pages that show no grid (notes, source text)
// are skipped. The window's creation calls them once its pages are built:
// group C, then A, then B, then the window's operations on documents.

#include "gui/cv_grid.h"

namespace cv {

void SetAllGridsEventHandlersA(const TCVGridHandlersA& handlers);
void SetAllGridsEventHandlersB(const TCVGridHandlersB& handlers);
void SetAllGridsEventHandlersC(const TCVGridHandlersC& handlers);
void SetAllGridsWindowOperations(const TCVGridWindowOperations& operations);

} // namespace cv
