#include "ui/framework/grid_dialogs/search_switches.h"

namespace cv {

bool autosearch_confirm = true;

namespace {
int g_searchColumn = 1;
} // namespace

int GlobalSearchColumn() { return g_searchColumn; }

void SetGlobalSearchColumn(int column) { g_searchColumn = column < 0 ? 0 : column; }

} // namespace cv
