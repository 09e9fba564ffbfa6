#include "ui/framework/tool_data_module.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QUrl>

#include <algorithm>
#include <bitset>
#include <initializer_list>
#include <map>

#include "gui/desktop_services.h"
#include "gui/menu_shortcuts.h"
#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/wdef.h"
#include "ui/framework/control_helpers.h"
#include "ui/framework/dialog_base/dialog_support.h"

namespace cv {

bool Global_Reserved_For_Next_version = false;
bool no_check_exit = false;

namespace {

TDataModuleCorvantis*& CurrentModule()
{
    static TDataModuleCorvantis* module = nullptr;
    return module;
}

// A set of tags given as single tags and ranges {first, last}.
struct TTagRange {
    int first;
    int last;
    TTagRange(int tag) : first(tag), last(tag) {}
    TTagRange(int a, int b) : first(a), last(b) {}
};

TMenuTagSet Tags(std::initializer_list<TTagRange> ranges)
{
    TMenuTagSet set;
    for (const TTagRange& r : ranges)
        for (int tag = r.first; tag <= r.last; ++tag)
            if (tag >= 0 && tag <= kLastCheckableMenuTag)
                set.set(size_t(tag));
    return set;
}

// Flags of a menu item in the tree.
enum : uint8_t {
    kRadio1 = 1, // typing mode
    kRadio2 = 2, // tag display of word lists
    kRadio3 = 3, // matches
    kRadio7 = 7, // number display
};

struct TMenuSpec {
    int level;            // 0 top-level menu, 1 its items, 2 submenu items
    int tag;
    const char16_t* caption;
    const char* shortcut; // the design's shortcut, "" none
    uint8_t radioGroup;   // 0 none
    const char* name;     // object name of items the code names, "" none
};

// The commands the grids' right-click menu offers until the user chooses
// (ten at most): copy, find, layout, delete and restore, mark, join and
// unjoin, edit and print preview.
constexpr int kDesignRightClickTags[] = {22, 170, 29, 12, 14, 18, 19, 20, 23, 5};

// The main menu of the tool. An item followed by deeper items is a submenu header.
constexpr TMenuSpec kMainMenu[] = {
    {0, -999, u"&File", "", 0, "File1"},
    {1, 8, u"New...", "Ctrl+N", 0, "New1"},
    {1, 3, u"Open...", "Ctrl+O", 0, "Open1"},
    {1, 146, u"Open Moving Window", "", 0, ""},
    {1, 78, u"Merge with ...", "", 0, ""},
    {1, 26, u"Close", "Ctrl+W", 0, ""},
    {1, 1, u"Save", "Ctrl+F2", 0, "Save1"},
    {1, -79, u"Save &As", "", 0, "SaveAs1"},
    {2, 2, u"Plain Text", "", 0, ""},
    {2, 24, u"XML Text", "", 0, ""},
    {2, 28, u"Excel spreadsheet", "", 0, ""},
    {2, 184, u"Rich Text (RTF)", "", 0, ""},
    {2, 79, u"o", "", 0, ""},
    {1, 113, u"Export batch data", "", 0, ""},
    {1, 175, u"Export data...", "", 0, ""},
    {1, 4, u"&Print...", "Ctrl+P", 0, ""},
    {1, 84, u"Page Setup", "", 0, ""},
    {1, 5, u"Print Preview", "F3", 0, ""},
    {1, 6, u"Find Files...", "", 0, ""},
    {1, 89, u"Compare 2 wordlists", "", 0, ""},
    {1, 90, u"Compare with a .txt file...", "", 0, ""},
    {1, 95, u"Play media file...", "Ctrl+M", 0, ""},
    {1, 91, u"Exit", "Alt+X", 0, "Exit1"},
    {1, -1, u"Fast Exit", "", 0, "FastExit1"},
    {1, 56, u"Cause a Crash", "", 0, ""},

    {0, -999, u"&Edit", "", 0, "Edit1"},
    {1, 82, u"&Undo", "Ctrl+U", 0, "Undo1"},
    {1, 83, u"&Redo", "", 0, "ReDo1"},
    {1, 22, u"Copy", "Ctrl+C", 0, ""},
    {1, -12, u"Deleting", "", 0, ""},
    {2, 12, u"Delete", "", 0, ""},
    {2, 13, u"Delete to end", "", 0, ""},
    {2, 85, u"Delete If ...", "", 0, ""},
    {2, 21, u"Reduce to N ...", "", 0, ""},
    {2, 198, u"Reverse-delete", "", 0, ""},
    {2, 14, u"Restore deleted", "", 0, ""},
    {2, 15, u"Restore to end", "", 0, ""},
    {1, 73, u"Insert tags", "", 0, ""},
    {1, -19, u"Joining", "", 0, ""},
    {2, 19, u"Join rows", "F4", 0, ""},
    {2, 104, u"Auto-Join", "", 0, ""},
    {2, 20, u"Unjoin", "Ctrl+F4", 0, ""},
    {2, 47, u"Unjoin all", "", 0, ""},
    {2, 48, u"Join Clusters", "", 0, ""},
    {1, -18, u"Marking", "", 0, ""},
    {2, 18, u"Mark", "Alt+F5", 0, ""},
    {2, 167, u"Unmark", "Shift+Alt+F5", 0, ""},
    {2, 208, u"clear all marking", "", 0, ""},
    {1, 10, u"Resort", "F6", 0, ""},
    {1, -10, u"Other sorts", "", 0, ""},
    {2, 96, u"Alphabetical", "", 0, ""},
    {2, 99, u"Case sensitive", "", 0, ""},
    {2, 126, u"Prefix", "", 0, ""},
    {2, 127, u"Suffix", "", 0, ""},
    {2, 97, u"Reverse word", "Ctrl+F6", 0, ""},
    {2, 98, u"Word length", "Ctrl+Shift+F6", 0, ""},
    {2, 202, u"Check word list", "", 0, ""},
    {1, 11, u"Zap", "Ctrl+Z", 0, ""},
    {1, 23, u"Edit data", "", 0, ""},
    {1, -170, u"Searching", "", 0, ""},
    {2, 170, u"Find", "Ctrl+F", 0, ""},
    {2, 16, u"Search text", "Ctrl+F3", 0, ""},
    {2, 17, u"Search + Replace", "", 0, ""},
    {1, 86, u"Remove duplicates", "", 0, ""},
    {1, 164, u"Change language", "", 0, ""},

    {0, -999, u"&View", "", 0, "View1"},
    {1, 38, u"Filenames", "", 0, ""},
    {1, 40, u"Source text", "F7", 0, ""},
    {1, 70, u"Load Keywords", "", 0, ""},
    {1, 29, u"Layout", "Ctrl+L", 0, ""},
    {1, -329, u"Grow/Shrink entries", "", 0, ""},
    {2, 30, u"Grow", "F8", 0, ""},
    {2, 31, u"Shrink", "Ctrl+F8", 0, ""},
    {2, 199, u"Grow current row", "Ctrl+Shift+F8", 0, ""},
    {2, 200, u"Shrink current row", "Ctrl+Alt+F8", 0, ""},
    {1, 32, u"Auto row height", "Ctrl+Shift+F8", 0, ""},
    {1, 195, u"Freeze top rows...", "", 0, ""},
    {1, 33, u"Refresh", "F5", 0, ""},
    {1, -344, u"Concordance view", "", 0, ""},
    {2, 112, u"Tags only", "", 0, ""},
    {2, 101, u"Sentence only", "", 0, ""},
    {1, -64, u"Tag display", "", 0, "WordList_tag_display1"},
    {2, 219, u"tags hidden", "", kRadio2, "WordList_tag_display_hidden1"},
    {2, 220, u"tags as prefix", "", kRadio2, "WordList_tag_display_asprefix1"},
    {2, 221, u"tags as suffix", "", kRadio2, "WordList_tag_display_assuffix1"},
    {2, 223, u"words hidden", "", kRadio2, "WordList_tag_display_hidethewords1"},
    {1, -64, u"Tag display", "", 0, "Concordance_tag_display1"},
    {2, 77, u"Tag List (colours)", "", 0, ""},
    {2, 165, u"words coloured", "", 0, ""},
    {2, 138, u"tags coloured", "", 0, ""},
    {2, 100, u"hide Tag file tags", "", 0, ""},
    {2, 117, u"hide Undefined ones", "", 0, ""},
    {2, 118, u"hide Sentence tag", "", 0, ""},
    {2, 119, u"hide Paragraph tag", "", 0, ""},
    {2, 120, u"hide Heading tag", "", 0, ""},
    {2, 121, u"hide Section tag", "", 0, ""},
    {1, -16, u"Search-word", "", 0, ""},
    {2, 181, u"Hidden", "", 0, ""},
    {2, 87, u"Padding", "", 0, ""},
    {2, 182, u"Move left", "", 0, ""},
    {2, 183, u"Move right", "", 0, ""},
    {2, 197, u"To centre", "", 0, ""},
    {2, 154, u"Copy to Set column", "", 0, ""},
    {1, 150, u"Highlight selected collocate", "", 0, ""},
    {1, 114, u"Column Totals", "", 0, ""},
    {1, 166, u"Default column widths", "", 0, ""},
    {1, 92, u"Dice coefficients", "", 0, ""},
    {1, -88, u"Number display", "", 0, ""},
    {2, 108, u"default", "", kRadio7, ""},
    {2, 105, u"percent", "", kRadio7, ""},
    {2, 106, u"per thousand", "", kRadio7, ""},
    {2, 107, u"per million", "", kRadio7, ""},
    {1, 196, u"Row percentages", "", 0, ""},
    {1, 75, u"Show related txts", "", 0, ""},
    {1, 186, u"Play", "", 0, ""},
    {1, 46, u"Ruler", "", 0, ""},
    {1, 55, u"Uniform plot", "", 0, ""},
    {1, 80, u"Status bar", "", 0, "Statusbar1"},
    {1, 131, u"Find Unusual Toolbar", "", 0, ""},
    {1, 81, u"Main Toolbar", "", 0, "Toolbar2"},

    {0, -999, u"&Compute", "", 0, "Compute1"},
    {1, 50, u"Concordance", "", 0, ""},
    {1, 49, u"KeyWords", "", 0, ""},
    {1, 51, u"WordList", "", 0, ""},
    {1, 52, u"New column", "", 0, ""},
    {1, 130, u"Align", "", 0, ""},
    {1, -45, u"Associates", "", 0, ""},
    {2, 43, u"follow-up", "", 0, ""},
    {2, 45, u"recompute", "", 0, ""},
    {1, 37, u"Breakdown", "", 0, ""},
    {1, 42, u"Clusters", "", 0, ""},
    {1, 194, u"Colour categories...", "", 0, ""},
    {1, 160, u"Concgrams", "", 0, ""},
    {1, 93, u"Dispersion", "", 0, ""},
    {1, 211, u"KWDB text centrality", "", 0, ""},
    {1, 155, u"Follow collocate", "", 0, ""},
    {1, -25, u"Lemmas", "", 0, ""},
    {2, 25, u"Lemma matches", "", 0, ""},
    {2, 193, u"Save lemma-file", "", 0, ""},
    {2, 201, u"Check consistency", "", 0, ""},
    {1, 41, u"Links", "", 0, ""},
    {1, 163, u"List of file-names", "", 0, ""},
    {1, -7, u"Matches", "", 0, ""},
    {2, 158, u"set up match method", "", 0, "setupmatching1"},
    {2, 7, u"mark any matches", "", kRadio3, "computeMatches1"},
    {2, 209, u"clear all matches", "", kRadio3, ""},
    {2, 156, u"delete all matched", "", kRadio3, ""},
    {2, 157, u"delete all UNmatched", "", kRadio3, ""},
    {1, 151, u"Moving window", "", 0, ""},
    {1, -38, u"Modify Source Texts", "", 0, ""},
    {2, 141, u"Set", "", 0, ""},
    {2, 142, u"Search-phrase", "", 0, ""},
    {2, 143, u"Undo modifications", "", 0, ""},
    {1, 53, u"Relationships", "", 0, "Relationships1"},
    {1, 210, u"Relative entropy", "", 0, ""},
    {1, 44, u"Patterns", "", 0, ""},
    {1, 39, u"Plot", "", 0, ""},
    {1, 34, u"Collocates", "F10", 0, ""},
    {1, 58, u"Timeline", "", 0, ""},
    {1, 162, u"Tokens", "", 0, ""},
    {1, 179, u"Word Cloud", "", 0, ""},

    {0, -999, u"&Settings", "", 0, "Settings1"},
    {1, 69, u"Choose texts", "F11", 0, ""},
    {1, 66, u"Specific to this Tool", "", 0, ""},
    {1, -177, u"Set Column(s)", "", 0, ""},
    {2, 54, u"clear", "", 0, ""},
    {2, 180, u"edit", "Ctrl+Alt+E", 0, ""},
    {2, 207, u"active column", "", 0, ""},
    {1, -1, u"Selecting Rows", "", 0, ""},
    {2, 185, u"Ctrl required", "", 0, ""},
    {1, -218, u"Typing Mode", "", 0, ""},
    {2, 176, u"type-in", "", kRadio1, "typeinchoice1"},
    {2, 177, u"set categories", "", kRadio1, "SetCategoriesChoice1"},
    {2, 178, u"editing data", "", kRadio1, "editingdataChoice1"},
    {1, 60, u"Colours", "", 0, ""},
    {1, 61, u"Font", "", 0, ""},
    {1, 72, u"Index", "", 0, ""},
    {1, 62, u"Language", "", 0, ""},
    {1, 63, u"Folders", "", 0, ""},
    {1, 65, u"Stop-, Lemma- && Matchlists", "", 0, ""},
    {1, 64, u"Tags", "", 0, ""},
    {1, 71, u"Customise", "", 0, ""},

    {0, -999, u"&Windows", "", 0, "Windows1"},
    {1, 110, u"Tile Vertically", "", 0, ""},
    {1, 111, u"Tile Horizontally", "", 0, ""},

    {0, -999, u"&Help", "", 0, "Help1"},
    {1, 144, u"Corvantis Help", "F1", 0, ""},
    {1, 103, u"Context Help", "", 0, ""},
    {1, 145, u"About and Memory", "F9", 0, ""},
};

} // namespace

const TMenuTagSet& CheckableMenuItems()
{
    static const TMenuTagSet set = Tags({7, 46, 55, 77, 80, 81, 87, 100, 101, {105, 108}, 112, 114, {117, 121}, 131,
                                         138, 156, 157, 165, {176, 178}, 181, 185, 209, {219, 221}, 223});
    return set;
}


TDataModuleCorvantis* DataModuleCorvantis() { return CurrentModule(); }

// ---------------------------------------------------------------------------
// Creation

TDataModuleCorvantis::TDataModuleCorvantis(QObject* parent) : QObject(parent)
{
    SetApplicationFont();
    WidgetUnderMouse = [] { return QApplication::widgetAt(QCursor::pos()); };
    TerminateApplication = [] { QCoreApplication::quit(); };

    BuildMenus();
    PopupActionBar1 = new QMenu();
    WhatsThis1 = PopupActionBar1->addAction(QStringLiteral("context help"));
    WhatsThis1->setObjectName(QStringLiteral("WhatsThis1"));
    connect(PopupActionBar1, &QMenu::aboutToShow, this, [this] { PopupActionBar1Popup(); });
    connect(WhatsThis1, &QAction::triggered, this, [this] { WhatsThis1Click(); });
    connect(FastExit1, &QAction::triggered, this, [this] { FastExit1Click(); });
    // Every command item goes to the window that shows the menus.
    for (QAction* item : main_menu_list)
        if (!item->menu() && MenuTag(item) >= 0)
            connect(item, &QAction::triggered, this, [this, item] {
                if (m_commandTarget && m_commandHandler)
                    m_commandHandler(item);
            });

    // Check marks: the commands that carry one take their state from the settings buffer.
    const TMenuTagSet& checkable = CheckableMenuItems();
    for (QAction* item : main_menu_list) {
        const int tag = MenuTag(item);
        if (tag < 0 || tag > kLastCheckableMenuTag || !checkable.test(size_t(tag)))
            continue;
        item->setCheckable(true);
        item->setChecked(GetMenuItemChecked(tag));
    }
    UpdateAllMenuShortCutsFromTextbuf(); // also fills the customisable lists
    ResetUnOrRedoActions();
    CurrentModule() = this;
    // The dialogs' help buttons reach the help through the module that is
    // current when they are pressed (or the main window when none is).
    static const THelpTopicSlot::TGuard helpThroughTheModule([](int context) {
        if (TDataModuleCorvantis* module = DataModuleCorvantis())
            module->HandleAHelpFileChoice(context);
        else
            PostHelpRequest(context);
    });
}

TDataModuleCorvantis::~TDataModuleCorvantis()
{
    if (CurrentModule() == this)
        CurrentModule() = nullptr;
    PopupMenuItems.Clear();
    CustomisableMenuItems.Clear();
    delete PopupActionBar1;
    for (QMenu* menu : m_topMenus)
        delete menu;
}

void TDataModuleCorvantis::BuildMenus()
{
    std::vector<QMenu*> parents; // parents[level]: the menu items of that level go into
    std::map<int, QActionGroup*> groups;
    for (size_t i = 0; i < std::size(kMainMenu); ++i) {
        const TMenuSpec& menuItem = kMainMenu[i];
        const bool header = i + 1 < std::size(kMainMenu) && kMainMenu[i + 1].level > menuItem.level;
        const QString caption = QString::fromUtf16(menuItem.caption);
        QAction* item = nullptr;
        if (menuItem.level == 0) {
            auto* menu = new QMenu(caption);
            m_topMenus.push_back(menu);
            item = menu->menuAction();
            parents.assign(1, menu);
        } else {
            QMenu* into = parents[size_t(menuItem.level - 1)];
            if (header) {
                QMenu* sub = into->addMenu(caption);
                item = sub->menuAction();
                parents.resize(size_t(menuItem.level));
                parents.push_back(sub);
            } else {
                item = into->addAction(caption);
            }
        }
        SetMenuTag(item, menuItem.tag);
        if (*menuItem.name)
            item->setObjectName(QString::fromLatin1(menuItem.name));
        if (*menuItem.shortcut) {
            const uint16_t shortcut = TextToShortCut(QString::fromLatin1(menuItem.shortcut));
            item->setShortcut(ShortCutToKeySequence(shortcut));
            if (menuItem.tag >= 0 && menuItem.tag <= kLastCustomisableTag)
                m_designShortcuts.emplace_back(menuItem.tag, shortcut);
        }
        if (menuItem.radioGroup) {
            QActionGroup*& group = groups[menuItem.radioGroup];
            if (!group) {
                group = new QActionGroup(parents.back());
                group->setExclusive(true);
            }
            item->setCheckable(true);
            group->addAction(item);
        }
        if (menuItem.tag == 53)
            item->setStatusTip(QStringLiteral("eg. Mutual Information"));
        main_menu_list.push_back(item);
    }
    const auto named = [this](const char* name) { return ItemNamed(QString::fromLatin1(name)); };
    Undo1 = named("Undo1");
    ReDo1 = named("ReDo1");
    Statusbar1 = named("Statusbar1");
    Toolbar2 = named("Toolbar2");
    typeinchoice1 = named("typeinchoice1");
    SetCategoriesChoice1 = named("SetCategoriesChoice1");
    editingdataChoice1 = named("editingdataChoice1");
    computeMatches1 = named("computeMatches1");
    setupmatching1 = named("setupmatching1");
    WordList_tag_display_hidden1 = named("WordList_tag_display_hidden1");
    WordList_tag_display_asprefix1 = named("WordList_tag_display_asprefix1");
    WordList_tag_display_assuffix1 = named("WordList_tag_display_assuffix1");
    WordList_tag_display_hidethewords1 = named("WordList_tag_display_hidethewords1");
    FastExit1 = named("FastExit1");
    Exit1 = named("Exit1");
}

void TDataModuleCorvantis::SeedShortcutsWhenNoneStored()
{
    // A settings buffer that holds no shortcut at all was never customised:
    // the menu's own shortcuts become the stored ones, so that they stay on
    // the items and the conflict check knows them, and the right-click menu
    // of the grids offers its usual commands.
    const auto table = GetMenuCurrentShortcuts();
    if (std::any_of(table.begin(), table.end(), [](uint16_t s) { return s != 0; }))
        return;
    // A shortcut the menu gives twice goes to the first command only: the
    // customising refuses a shortcut that another command holds.
    std::bitset<kLastCustomisableTag + 1> seeded;
    std::vector<uint16_t> given;
    for (const auto& [tag, shortcut] : m_designShortcuts)
        if (!seeded.test(size_t(tag)) && std::find(given.begin(), given.end(), shortcut) == given.end()) {
            seeded.set(size_t(tag));
            given.push_back(shortcut);
            SetMenuShortcut(tag, shortcut);
        }
    bool anyOnRightClick = false;
    for (int tag = 0; tag <= kLastCustomisableTag && !anyOnRightClick; ++tag)
        anyOnRightClick = GetPopupMenuTagInUse(tag);
    if (!anyOnRightClick)
        for (int tag : kDesignRightClickTags)
            SetPopupMenuTagInUse(tag, true);
}

void TDataModuleCorvantis::SetCommandTarget(QObject* target, std::function<void(QAction*)> handler)
{
    if (handler) {
        m_commandTarget = target;
        m_commandHandler = std::move(handler);
    } else if (m_commandTarget == target) {
        m_commandTarget = nullptr;
        m_commandHandler = nullptr;
    }
}

QAction* TDataModuleCorvantis::ItemOfTag(int tag) const
{
    for (QAction* item : main_menu_list)
        if (MenuTag(item) == tag)
            return item;
    return nullptr;
}

QAction* TDataModuleCorvantis::ItemNamed(const QString& name) const
{
    for (QAction* item : main_menu_list)
        if (item->objectName() == name)
            return item;
    return nullptr;
}

std::vector<QAction*> TDataModuleCorvantis::MenuRoots() const
{
    std::vector<QAction*> roots;
    for (QMenu* menu : m_topMenus)
        roots.push_back(menu->menuAction());
    return roots;
}

// ---------------------------------------------------------------------------
// Menu sets

uint8_t TDataModuleCorvantis::MenuFamilyOfListType(uint8_t listType)
{
    switch (listType) {
    case 0: case 6: case 7: case 8: case 9: case 19:
        return 0;
    case 1: case 11: case 18: case 24:
        return 1;
    case 5: case 10: case 12: case 13: case 14:
        return 10;
    default:
        return listType;
    }
}

namespace {

TMenuTagSet AlwaysSet()
{
    TMenuTagSet s = Tags({3, 8, {60, 66}, 69, 71, 80, 91, 144, 145, 161, 207});
    if (current_tool_var == kToolWordList) {
        s.set(72);
        if (Global_Reserved_For_Next_version)
            s.set(146);
    }
    if (LoggingIsOn())
        s.set(56);
    return s;
}

const TMenuTagSet& BaseSet()
{
    static const TMenuTagSet s = Tags({{0, 6}, 8, {10, 15}, 17, 21, 22, 24, 26, 28, 29, 33, 37, 54, {60, 65}, 69, 71, 78,
                                       79, 80, 81, 82, 83, 85, 91, 103, 110, 111, 164, 166, 170, {176, 178}, 180, 184,
                                       186, 194, 198});
    return s;
}

TMenuTagSet Minus(TMenuTagSet s, const TMenuTagSet& remove) { return s & ~remove; }

// The menu set of a list type before the marking rule.
TMenuTagSet ListTypeSet(uint8_t type, uint8_t kind);

TMenuTagSet WholeSet(uint8_t type, uint8_t kind)
{
    TMenuTagSet s = ListTypeSet(type, kind);
    if (IsLemmatisableListType(type))
        s |= Tags({18, 19, 20, 47, 167, 208});
    else if (type != 21 && type != 22 && type != 29)
        s = Minus(s, Tags({18, 19, 20, 47, 48, 167, 208}));
    return s;
}

TMenuTagSet ListTypeSet(uint8_t type, uint8_t kind)
{
    const TMenuTagSet always = AlwaysSet();
    const TMenuTagSet b = BaseSet() | always;
    const TMenuTagSet no194 = Tags({194});
    const TMenuTagSet a25remove = Tags({24, 28, 164});
    switch (type) {
    case 0: case 6: case 7: case 8: case 9: {
        TMenuTagSet s = Minus(b | Tags({7, 23, 25, 40, 42, 48, 49, 50, 52, 53, 72, 90, 93, 104, {105, 108}, 114, 156, 157,
                                        158, 162, 175, 179, 193, 201, 209, 210, 219, 220, 221, 223}),
                              no194);
        if (kind == 7)
            s |= Tags({89, 194});
        if (kind == 6)
            s |= Tags({89, 96, 97, 98, 99, 112, 126, 127, 194, 202});
        return s;
    }
    case 1: case 11: case 16: case 18: case 24: {
        TMenuTagSet s = b | Tags({7, 23, 25, 38, 39, 40, 41, 42, 50, 52, 72, 90, {96, 99}, {105, 108}, 114, 126, 127, 156,
                                  157, 158, 179, 193, 209, 219, 220, 221, 223});
        if (type == 11)
            s |= Tags({46, 195});
        if (type == 1)
            s |= no194;
        return s;
    }
    case 2:
        return Minus(Tags({45, {105, 108}, 175, 211}) | WholeSet(1, kind), Tags({164}));
    case 3:
        return WholeSet(0, kind);
    case 4:
        return Tags({53, 194, 195}) | Minus(Tags({{105, 108}, 196}) | WholeSet(0, kind), Tags({104}));
    case 5:
        return Minus(b | Tags({7, 25, 34, 38, 44, 52, 53, {96, 99}, 105, 108, 114, 126, 127, 150, 155, 156, 157, 158, 179,
                               193, 209, 210, 219, 220, 221, 223}),
                     no194);
    case 12:
        return Minus(b | Tags({39, 46, 55, 58, {105, 108}, 114, 195}), no194);
    case 14:
        return Minus(b | Tags({44, 58, 150, 179}), no194);
    case 19:
        return Minus(b | Tags({{105, 108}, 162, 195}), no194);
    case 20:
        return Minus(b | Tags({58}), no194);
    case 10:
        return b | Tags({30, 31, 34, 39, 40, 42, 44, 58, 73, 75, 77, 86, 87, 95, 100, 101, 105, 108, 112, 114, {117, 121},
                         138, 141, 142, 143, 154, 163, 165, 181, 182, 183, 197, 199, 200});
    case 13:
        return b | Tags({42, 58, 179});
    case 33:
        return b | Tags({44, 50, 96, 98, 99, 126, 127, 179});
    case 34:
        return b | Tags({44, 50, 179});
    case 15:
        return Tags({43}) | WholeSet(1, kind);
    case 17:
        return Minus(b, Tags({{10, 15}, 194})) | Tags({17, 23, 40, 58});
    case 21: case 22: case 29: {
        TMenuTagSet s = Minus(b, Tags({4, 5, 6, 8, {10, 15}, 24, 28, 37, 54, 66, 69, 81, 180, 194})) |
                        Tags({17, 20, 23, 32, 70, 73});
        if (type == 22)
            s.reset(2);
        if (type == 21)
            s.set(130);
        return s;
    }
    case 23:
        return Minus(Tags({38, 42, 50, 53, 151, 175, 194}) | WholeSet(0, kind), Tags({164, 201}));
    case 28:
        return WholeSet(23, kind);
    case 25: {
        TMenuTagSet s = Minus(always, a25remove);
        if (current_tool_var == 5)
            s = Minus(s, Tags({2, 6, 8, {10, 15}, 37, 54, 66, 69, 81, 180}));
        return s;
    }
    case 26:
        return Minus(Tags({26}) | always, a25remove);
    case 27:
        return Minus(Tags({2, 4, 22, 26, 40, 57}) | always, a25remove);
    case 30:
        return Tags({0, 2, 3, 22, 24, 26, 28, 38, 51, {60, 65}, 71, 80, 81, 91, 103, 160}) | Minus(always, Tags({164}));
    case 31: case 32: case 41:
        return {};
    default:
        return b;
    }
}

} // namespace

TMenuTagSet TDataModuleCorvantis::MenuSetForListType(uint8_t listType, uint8_t kindOfDisplay) const
{
    return WholeSet(listType, kindOfDisplay);
}

// ---------------------------------------------------------------------------
// Help

int TDataModuleCorvantis::GetTheBestHelpContext(int context) const
{
    if (context >= 1001)
        return context;
    const QWidget* control = WidgetUnderMouse ? WidgetUnderMouse() : nullptr;
    if (!control)
        return 1000;
    int found = HelpContextOf(control);
    while (found < 1001 && control->parentWidget()) {
        control = control->parentWidget();
        found = HelpContextOf(control);
    }
    return found;
}

bool TDataModuleCorvantis::HandleAHelpFileChoice(int context)
{
    switch (GetCVHelpAccessMode()) {
    case 0: {
        // The help file in the desktop's viewer; an HTML help file goes to the context's anchor.
        const QString file = GetHelpfilename();
        if (file.isEmpty() || !QFileInfo(file).isFile()) {
            FailedToFind(file);
            return false;
        }
        QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        const QString suffix = QFileInfo(file).suffix().toLower();
        if (suffix == u"htm" || suffix == u"html")
            url.setFragment(QStringLiteral("context-%1").arg(context));
        if (CurrentDesktopService()->OpenUrl(url))
            return true;
        NoBrowserForHelp(url.toString());
        return false;
    }
    case 1: {
        QString base = GetCVHelpBaseAddress();
        if (base.isEmpty()) {
            const QString file = GetHelpfilename();
            base = QUrl::fromLocalFile(file.isEmpty() ? GetUserReadWriteFolder() : QFileInfo(file).absolutePath())
                       .toString();
        }
        if (!base.endsWith(u'/'))
            base += u'/';
        // Without a browser the user still gets the page, as an address to take elsewhere.
        const QString address = base + QStringLiteral("index.html") + QStringLiteral("?contextid=%1").arg(context);
        if (!TryToVisit(address))
            NoBrowserForHelp(address);
        return false;
    }
    default:
        return false;
    }
}

void TDataModuleCorvantis::PopupActionBar1Popup() { WhatsThis1->setData(GetTheBestHelpContext(0)); }

void TDataModuleCorvantis::WhatsThis1Click() { HandleAHelpFileChoice(WhatsThis1->data().toInt()); }

// ---------------------------------------------------------------------------
// Smaller services

void TDataModuleCorvantis::HandleUnOrRedoAction(const QString& caption, bool redo, int count)
{
    QAction* item = redo ? ReDo1 : Undo1;
    if (!item)
        return;
    if (!caption.isEmpty())
        item->setText(caption);
    item->setEnabled(count >= 1);
}

void TDataModuleCorvantis::ResetUnOrRedoActions()
{
    HandleUnOrRedoAction({}, false, 0);
    HandleUnOrRedoAction({}, true, 0);
}

void TDataModuleCorvantis::FollowUndoOf(TCVBaseDataClass& list)
{
    // The list names the step; the item keeps saying what it does with it.
    const auto show = [this](const QString& step, bool redo, int count) {
        const QString action = redo ? QStringLiteral("Redo") : QStringLiteral("Undo");
        HandleUnOrRedoAction(step.isEmpty() ? action : action + u' ' + WithoutAccessKeys(step), redo, count);
    };
    list.SetUndoHandler(show);
    show(list.UndoCaption(), false, list.UndoCount());
    show(list.RedoCaption(), true, list.RedoCount());
}

void TDataModuleCorvantis::SetTypeSetEditMenuItems(int mode)
{
    typeinchoice1->setChecked(mode == 0);
    SetCategoriesChoice1->setChecked(mode == 1);
    editingdataChoice1->setChecked(mode == 2);
}

void TDataModuleCorvantis::SetMenuItemVisible(int tag, bool visible)
{
    if (tag == 7)
        computeMatches1->setVisible(visible);
    else if (tag == 158)
        setupmatching1->setVisible(visible);
}

void TDataModuleCorvantis::SetContextMenuHelp(QWidget* control, QMenu* popup)
{
    if (!control)
        return;
    control->setProperty("contextMenu", QVariant::fromValue(static_cast<QObject*>(popup)));
    control->setContextMenuPolicy(popup ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
    QObject::disconnect(control, &QWidget::customContextMenuRequested, nullptr, nullptr);
    if (popup)
        QObject::connect(control, &QWidget::customContextMenuRequested, popup,
                         [control, popup](const QPoint& p) { popup->popup(control->mapToGlobal(p)); });
}

void TDataModuleCorvantis::FastExit1Click()
{
    no_check_exit = true;
    if (TerminateApplication)
        TerminateApplication();
}

std::shared_ptr<const TMenuCommandsOfTools> MenuCommandsForCustomising()
{
    auto commands = std::make_shared<TMenuCommandsOfTools>();
    auto module = std::make_shared<TDataModuleCorvantis>();
    for (int tag = 1; tag <= kLastCustomisableTag; ++tag) {
        const QAction* item = module->ItemOfTag(tag);
        if (item && !item->text().isEmpty() && tag != kTagLastFile)
            commands->commands.push_back({tag, item->text()});
    }
    commands->toSequence = [](uint16_t code) { return ShortCutToKeySequence(code); };
    commands->fromSequence = [](const QKeySequence& key) { return KeySequenceToShortCut(key); };
    commands->shortcutText = [](uint16_t code) { return ShortCutToText(code); };
    commands->trySetShortcut = [module](int tag, const QString& caption, uint16_t shortcut) {
        return module->TryToSetAShortCut(tag, caption, shortcut);
    };
    commands->normaliseEntry = [module](QString& entry) {
        // The rule compares with the items' shortcuts as stored now.
        module->UpdateAllMenuShortCutsFromTextbuf();
        module->CheckMenuCompatibility(entry);
    };
    commands->setRightClickEntries = [module](const QStringList& entries) { module->SetRightClickMenuItems(&entries); };
    return commands;
}

} // namespace cv
