#pragma once
// Customisable menus: the lists of menu items the user may give shortcuts or
// choose for the right-click menus, the walks over the menu items,
// recent-file items and tool buttons made from a list of menu items. The
// operations that need the whole menu tree are methods of the data module
// (tool_data_module.h).
//
// Shortcuts are kept by the settings buffer per menu tag in the suite's
// encoding (gui/menu_shortcuts.h).

#include <QKeySequence>
#include <QPointer>
#include <QString>

#include "gui/menu_shortcuts.h"
#include "suite/cv_format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

namespace cv {

// Tags 0 to 224 may be customised (shortcuts, right-click choice).
constexpr int kLastCustomisableTag = 224;

// One menu item of a list (not owned).
class TMyMenuItemHolder {
public:
    explicit TMyMenuItemHolder(QAction* item) : data(item) {}
    QPointer<QAction> data;
};

// A list of menu items; it owns its holders, not the items.
class TCustomisableMenuItemsList {
public:
    int Count() const { return int(m_items.size()); }
    int AddOne(QAction* item);
    // Appends the first item of the source whose caption equals this one exactly.
    void AddAString(const QString& caption, const TCustomisableMenuItemsList& source);
    int CaptionIndexOf(const QString& caption) const;
    int TagIndexOf(int tag) const;
    // The tag of the first item with this caption, else -1.
    int TagIndexOfACaption(const QString& caption) const;
    QAction* ItemAt(int index) const;
    int TagAt(int index) const;
    void Clear() { m_items.clear(); }
    // Sorts the items by a key (stable).
    void SortBy(const std::function<QString(QAction*)>& key);

private:
    std::vector<std::unique_ptr<TMyMenuItemHolder>> m_items;
};

// Walks menu items depth first, each item before its sub-items. An item with
// a tag of 0 to 224 is visited the first time its tag is met only (a later
// item with that tag is skipped with its sub-items); items with other tags
// are always visited.
void VisitMenuItemsOnce(const std::vector<QAction*>& roots, const std::function<void(QAction* item)>& visit);
void VisitMenuItemsOnceWithMode(const std::vector<QAction*>& roots, int mode,
                                const std::function<void(int mode, QAction* item)>& visit);

// StripHotkey (the caption without its access-key markers) is the suite's: suite/cv_format.h.

// Appends this tool's recent-file items (TMenuCommand::LastFile, named "LastFileMenuItem1"
// and "LastFileMenuItem2", the file name as caption) to the menu: the last
// result of the tool and, for tools 0 and 2, the last index (list type 23)
// or key-word database (list type 2) as well; only files that exist.
void AddLastFileMenuItems(QMenu* menu, uint8_t tool, const std::function<void(QAction*)>& click);

// A tag and the tool button that carries it.
using TToolButtonTable = std::vector<std::pair<int, QPointer<QToolButton>>>;

// Fills the menu with copies of the source items (tag, caption, icon,
// shortcut; a click calls `click` with the copy) and, when a panel is given,
// puts a tool button for each item with an icon on it, reusing a button of
// the same tag already there. The table lists the buttons by tag.
void BuildMenuAndToolButtons(QMenu* menu, QWidget* panel, TToolButtonTable& buttons,
                             const TCustomisableMenuItemsList& source, const std::function<void(QAction*)>& click);

} // namespace cv
