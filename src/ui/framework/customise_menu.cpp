// Also part of TDataModuleCorvantis (ui/framework/tool_data_module.h): the
// operations on the customisable items that need the whole menu tree live
// here, beside the item lists of customise_menu.h.
#include "ui/framework/customise_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <bitset>

#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/menu_commands.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"

namespace cv {

// ---------------------------------------------------------------------------
// Lists of menu items

int TCustomisableMenuItemsList::AddOne(QAction* item)
{
    m_items.push_back(std::make_unique<TMyMenuItemHolder>(item));
    return Count() - 1;
}

void TCustomisableMenuItemsList::AddAString(const QString& caption, const TCustomisableMenuItemsList& source)
{
    const int i = source.CaptionIndexOf(caption);
    if (i >= 0)
        AddOne(source.ItemAt(i));
}

int TCustomisableMenuItemsList::CaptionIndexOf(const QString& caption) const
{
    for (int i = 0; i < Count(); ++i)
        if (const QAction* a = ItemAt(i); a && a->text() == caption)
            return i;
    return -1;
}

int TCustomisableMenuItemsList::TagIndexOf(int tag) const
{
    for (int i = 0; i < Count(); ++i)
        if (const QAction* a = ItemAt(i); a && MenuTag(a) == tag)
            return i;
    return -1;
}

int TCustomisableMenuItemsList::TagIndexOfACaption(const QString& caption) const
{
    const int i = CaptionIndexOf(caption);
    return i < 0 ? -1 : TagAt(i);
}

QAction* TCustomisableMenuItemsList::ItemAt(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[size_t(index)]->data;
}

int TCustomisableMenuItemsList::TagAt(int index) const
{
    const QAction* a = ItemAt(index);
    return a ? MenuTag(a) : 0;
}

void TCustomisableMenuItemsList::SortBy(const std::function<QString(QAction*)>& key)
{
    std::vector<std::pair<QString, std::unique_ptr<TMyMenuItemHolder>>> keyed;
    keyed.reserve(m_items.size());
    for (auto& h : m_items)
        keyed.emplace_back(key(h->data), std::move(h));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    m_items.clear();
    for (auto& [k, h] : keyed)
        m_items.push_back(std::move(h));
}

// ---------------------------------------------------------------------------
// Walks

void VisitMenuItemsOnceWithMode(const std::vector<QAction*>& roots, int mode,
                                const std::function<void(int mode, QAction* item)>& visit)
{
    std::bitset<kLastCustomisableTag + 1> met;
    std::function<void(QAction*)> walk = [&](QAction* item) {
        if (!item || item->isSeparator())
            return;
        const int tag = MenuTag(item);
        if (tag >= 0 && tag <= kLastCustomisableTag) {
            if (met.test(size_t(tag)))
                return; // a later item of a tag met before: skipped with its sub-items
            met.set(size_t(tag));
        }
        visit(mode, item);
        if (QMenu* sub = item->menu())
            for (QAction* child : sub->actions())
                walk(child);
    };
    for (QAction* root : roots)
        walk(root);
}

void VisitMenuItemsOnce(const std::vector<QAction*>& roots, const std::function<void(QAction* item)>& visit)
{
    VisitMenuItemsOnceWithMode(roots, 0, [&](int, QAction* item) { visit(item); });
}

// ---------------------------------------------------------------------------
// Recent files and tool buttons

void AddLastFileMenuItems(QMenu* menu, uint8_t tool, const std::function<void(QAction*)>& click)
{
    if (!menu)
        return;
    const auto add = [&](const QString& fileName, int number) {
        auto* item = new QAction(fileName, menu);
        item->setObjectName(QStringLiteral("LastFileMenuItem%1").arg(number));
        SetMenuTag(item, TagOf(TMenuCommand::LastFile));
        item->setProperty("fileName", fileName);
        if (click)
            QObject::connect(item, &QAction::triggered, menu, [item, click] { click(item); });
        menu->addAction(item);
    };
    const QString first = GetLastMainToolFileName(tool);
    const bool firstExists = !first.isEmpty() && QFileInfo(first).isFile();
    if (tool == 0 || tool == 2) {
        const QString second = GetLastUsedFile(tool == 2 ? 2 : 23);
        const bool secondExists = !second.isEmpty() && QFileInfo(second).isFile();
        if (firstExists)
            add(first, 1);
        if (secondExists)
            add(second, 2);
        return;
    }
    if (firstExists)
        add(first, 1);
}

void BuildMenuAndToolButtons(QMenu* menu, QWidget* panel, TToolButtonTable& buttons,
                             const TCustomisableMenuItemsList& source, const std::function<void(QAction*)>& click)
{
    buttons.clear();
    if (menu)
        menu->clear();
    const int ppi = panel && panel->screen() ? int(panel->screen()->logicalDotsPerInch()) : 96;
    int left = 0;
    if (panel) {
        // Buttons go after the controls the panel holds.
        for (QObject* child : panel->children())
            if (auto* w = qobject_cast<QWidget*>(child); w && !qobject_cast<QToolButton*>(w))
                left = std::max(left, w->geometry().right() + 1);
    }
    for (int i = 0; i < source.Count(); ++i) {
        QAction* item = source.ItemAt(i);
        if (!item)
            continue;
        const int tag = MenuTag(item);
        if (menu) {
            auto* copy = new QAction(item->icon(), item->text(), menu);
            SetMenuTag(copy, tag);
            copy->setShortcut(item->shortcut());
            copy->setShortcutContext(Qt::WidgetShortcut); // the main menu's item keeps the key
            if (click)
                QObject::connect(copy, &QAction::triggered, menu, [copy, click] { click(copy); });
            menu->addAction(copy);
        }
        if (!panel || item->icon().isNull())
            continue;
        QToolButton* button = nullptr;
        for (QToolButton* b : panel->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            if (b->property("tag").toInt() == tag && b->property("tag").isValid())
                button = b;
        if (!button) {
            button = new QToolButton(panel);
            const int width = ppi * 3 / 4;
            button->setGeometry(left, 0, width, panel->contentsRect().height());
            button->setProperty("tag", tag);
            button->setToolTip(StripHotkey(item->text()));
            button->setText(StripHotkey(item->text()));
            button->setIcon(item->icon());
            if (tag == TagOf(TMenuCommand::ContextHelp))
                SetHelpContext(button, -1);
            if (click)
                QObject::connect(button, &QToolButton::clicked, panel, [item, click] { click(item); });
            button->show();
            left += width + width / 8;
        }
        buttons.emplace_back(tag, button);
    }
}

// ---------------------------------------------------------------------------
// The data module's customisation

namespace {

// Tags whose commands the user may give shortcuts or put on right-click menus.
const std::bitset<kLastCustomisableTag + 1>& CustomisableTags()
{
    static const std::bitset<kLastCustomisableTag + 1> tags = [] {
        std::bitset<kLastCustomisableTag + 1> t;
        // Ranges of the commands' numbers, from the first command to the last.
        using enum TMenuCommand;
        const std::pair<TMenuCommand, TMenuCommand> ranges[] = {
            {Untagged, New},
            {Resort, RestoreToEnd},
            {SearchAndReplace, Close},
            {SaveAsSpreadsheet, UniformPlot},
            {Colours, SettingsOfTool},
            {ChooseTexts, LoadKeywords},
            {IndexSettings, IndexSettings},
            {TagListColours, SearchWordPadding},
            {CompareTwoWordLists, Exit},
            {PlayMediaFile, SentenceOnly},
            {ContextHelp, NumbersDefault},
            {TileVertically, TagsOnly},
            {ColumnTotals, HideSectionTag},
            {SortByPrefix, SortBySuffix},
            {Align, FindUnusualToolbar},
            {ModifySourceTextsSet, AboutAndMemory},
            {HighlightSelectedCollocate, HighlightSelectedCollocate},
            {ChangeLanguage, ChangeLanguage},
            {DefaultColumnWidths, Unmark},
            {Find, Find},
            {ExportData, SaveAsRtf},
            {Play, Play},
            {ColourCategories, ColourCategories},
            {RowPercentages, CheckConsistency},
        };
        for (const auto& [first, last] : ranges)
            for (int tag = TagOf(first); tag <= TagOf(last); ++tag)
                t.set(size_t(tag));
        return t;
    }();
    return tags;
}

} // namespace

void TDataModuleCorvantis::RebuildCustomisableMenuItems()
{
    PopupMenuItems.Clear();
    CustomisableMenuItems.Clear();
    const TMenuTagSet& checkable = CheckableMenuItems();
    for (QAction* item : main_menu_list) {
        if (!item || item->isSeparator() || item->text() == QStringLiteral("o") || item->menu())
            continue;
        const int tag = MenuTag(item);
        if (tag < 0 || tag > kLastCustomisableTag || !CustomisableTags().test(size_t(tag)))
            continue;
        // Only commands that carry a check mark show one.
        if (checkable.test(size_t(tag))) {
            item->setCheckable(true);
            item->setChecked(GetMenuItemChecked(tag));
        }
        if (GetPopupMenuTagInUse(tag))
            PopupMenuItems.AddOne(item);
        item->setText(StripHotkey(item->text()));
        CustomisableMenuItems.AddOne(item);
    }
    if (CustomisableMenuItems.Count() > 1)
        CustomisableMenuItems.SortBy([](QAction* item) {
            const auto* menu = item ? qobject_cast<const QMenu*>(item->parent()) : nullptr;
            const QString parentCaption = menu && menu->menuAction() &&
                                                  MenuTag(menu->menuAction()) != TagOf(TMenuHeader::TopLevelMenu)
                                              ? menu->menuAction()->text()
                                              : QString();
            return parentCaption + (item ? item->text() : QString());
        });
}

void TDataModuleCorvantis::UpdateAllMenuShortCutsFromTextbuf()
{
    SeedShortcutsWhenNoneStored();
    const auto table = GetMenuCurrentShortcuts();
    VisitMenuItemsOnce(MenuRoots(), [&](QAction* item) {
        const int tag = MenuTag(item);
        if (tag <= 0)
            return;
        const uint16_t shortcut = tag <= kLastCustomisableTag ? table[size_t(tag)] : 0;
        item->setShortcut(ShortCutToKeySequence(shortcut));
    });
    RebuildCustomisableMenuItems();
}

bool TDataModuleCorvantis::RedoMenuItemsCheckStates(int mode)
{
    // (The suite's "Yikes" routine, called first when the status-bar item is
    // checked, has no effect here.)
    if (!GetMenuAltered())
        return false;
    const TMenuTagSet& checkable = CheckableMenuItems();
    VisitMenuItemsOnceWithMode(MenuRoots(), mode, [&](int m, QAction* item) {
        const int tag = MenuTag(item);
        if (tag < 1 || tag > kLastCheckableMenuTag || !checkable.test(size_t(tag)))
            return;
        const bool stored = GetMenuItemChecked(tag);
        if (item->isChecked() == stored)
            return;
        if (m == 0) {
            item->setCheckable(true);
            item->setChecked(stored);
        } else if (m == 1) {
            SetMenuItemChecked(tag, item->isChecked());
        }
    });
    SetMenuAltered(false);
    return false;
}

bool TDataModuleCorvantis::TryToSetAShortCut(int tag, const QString& caption, uint16_t shortcut)
{
    if (tag < 0 || tag > kLastCustomisableTag)
        return false;
    const auto table = GetMenuCurrentShortcuts();
    if (!caption.isEmpty() && shortcut != 0) {
        for (int other = 0; other <= kLastCustomisableTag; ++other) {
            if (other == tag || table[size_t(other)] != shortcut)
                continue;
            const QString holder = GetAMainMenuCaptionByTag(other);
            if (!holder.isEmpty())
                MenuShortcutAlreadyInUse(ShortCutToText(shortcut), caption, StripHotkey(holder));
            return false;
        }
    }
    SetMenuShortcut(tag, shortcut);
    return GetMenuShortcut(tag) == shortcut;
}

bool TDataModuleCorvantis::TryToSetAShortCut(QAction* item, uint16_t shortcut)
{
    if (!item || !TryToSetAShortCut(MenuTag(item), StripHotkey(item->text()), shortcut))
        return false;
    item->setShortcut(ShortCutToKeySequence(shortcut));
    return true;
}

void TDataModuleCorvantis::CheckMenuCompatibility(QString& entry) const
{
    const int colon = entry.indexOf(u':');
    if (colon < 0 || colon == entry.size() - 1)
        return;
    const QString caption = entry.left(colon);
    const uint16_t shortcut = TextToShortCut(entry.mid(colon + 1));
    // A shortcut that another command holds is dropped.
    for (int i = 0; i < CustomisableMenuItems.Count(); ++i) {
        const QAction* item = CustomisableMenuItems.ItemAt(i);
        if (item && shortcut != 0 && KeySequenceToShortCut(item->shortcut()) == shortcut && item->text() != caption) {
            entry = caption;
            break;
        }
    }
    // The command's own shortcut wins over the one written.
    for (int i = 0; i < CustomisableMenuItems.Count(); ++i) {
        const QAction* item = CustomisableMenuItems.ItemAt(i);
        if (!item || item->text() != caption)
            continue;
        const uint16_t own = KeySequenceToShortCut(item->shortcut());
        if (own != shortcut)
            entry = own ? caption + u':' + ShortCutToText(own) : caption;
        break;
    }
}

void TDataModuleCorvantis::SetRightClickMenuItems(const QStringList* strings)
{
    if (!strings)
        return;
    ClearPopupMenuTagsInUse();
    for (int i = 0; i < strings->size() && i < 10; ++i) {
        QString text = strings->at(i);
        if (const int colon = text.indexOf(u':'); colon >= 0)
            text = text.left(colon);
        text = text.trimmed();
        const int index = CustomisableMenuItems.CaptionIndexOf(text);
        if (index >= 0)
            SetPopupMenuTagInUse(CustomisableMenuItems.TagAt(index), true);
    }
}

QString TDataModuleCorvantis::GetAMainMenuCaptionByTag(int tag) const
{
    std::function<const QAction*(const QAction*)> find = [&](const QAction* item) -> const QAction* {
        if (MenuTag(item) == tag)
            return item;
        if (const QMenu* sub = item->menu())
            for (const QAction* child : sub->actions())
                if (const QAction* found = find(child))
                    return found;
        return nullptr;
    };
    for (const QMenu* top : m_topMenus)
        for (const QAction* item : top->actions())
            if (const QAction* found = find(item))
                return found->text();
    return {};
}

QString TDataModuleCorvantis::TagToCustomisableMenuCaption(int tag) const
{
    const int i = CustomisableMenuItems.TagIndexOf(tag);
    return i < 0 ? QString() : CustomisableMenuItems.ItemAt(i)->text();
}

} // namespace cv
