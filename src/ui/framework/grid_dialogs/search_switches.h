#pragma once
// The process-wide switches of searching in grids: whether each automatic
// join or replacement is confirmed, and the column that searches of list
// grids look in (one for every grid, so picking another column in the
// search-and-replace dialog changes it for every page).

namespace cv {

// "Confirm each" of the auto-join and search-and-replace dialogs, kept between uses.
extern bool autosearch_confirm;

// The grid column searched in list grids (1, the word column, at start).
int GlobalSearchColumn();
void SetGlobalSearchColumn(int column);

} // namespace cv
