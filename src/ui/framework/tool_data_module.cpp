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
#include <span>

#include "gui/desktop_services.h"
#include "gui/menu_shortcuts.h"
#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
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

// A set of menu commands (those beyond the sets' numbers left out).
TMenuTagSet Tags(std::initializer_list<TMenuCommand> commands)
{
    TMenuTagSet set;
    for (TMenuCommand command : commands)
        if (const int tag = TagOf(command); tag >= 0 && tag <= kLastCheckableMenuTag)
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

// A menu item's tag: its command, or the tag of a menu or submenu header.
struct TItemTag {
    int value;
    constexpr TItemTag(TMenuCommand command) : value(TagOf(command)) {}
    constexpr TItemTag(TMenuHeader header) : value(TagOf(header)) {}
};

struct TMenuSpec {
    int level;            // 0 top-level menu, 1 its items, 2 submenu items
    TItemTag tag;
    const char16_t* caption;
    const char* shortcut; // the design's shortcut, "" none
    uint8_t radioGroup;   // 0 none
    const char* name;     // object name of items the code names, "" none
};

// The commands the grids' right-click menu offers until the user chooses
// (ten at most): copy, find, layout, delete and restore, mark, join and
// unjoin, edit and print preview.
constexpr TMenuCommand kDesignRightClickCommands[] = {
    TMenuCommand::Copy,   TMenuCommand::Find,     TMenuCommand::Layout,   TMenuCommand::Delete,
    TMenuCommand::RestoreDeleted, TMenuCommand::Mark, TMenuCommand::JoinRows, TMenuCommand::Unjoin,
    TMenuCommand::EditData, TMenuCommand::PrintPreview};

// The main menu of the tool. An item followed by deeper items is a submenu header.
std::span<const TMenuSpec> MainMenu()
{
    using enum TMenuCommand;
    using enum TMenuHeader;
    static constexpr TMenuSpec kItems[] = {
        {0, TopLevelMenu, u"&File", "", 0, "File1"},
        {1, New, u"New...", "Ctrl+N", 0, "New1"},
        {1, Open, u"Open...", "Ctrl+O", 0, "Open1"},
        {1, OpenMovingWindow, u"Open Moving Window", "", 0, ""},
        {1, MergeWith, u"Merge with ...", "", 0, ""},
        {1, Close, u"Close", "Ctrl+W", 0, ""},
        {1, Save, u"Save", "Ctrl+F2", 0, "Save1"},
        {1, SaveAs, u"Save &As", "", 0, "SaveAs1"},
        {2, SaveAsPlainText, u"Plain Text", "", 0, ""},
        {2, SaveAsXml, u"XML Text", "", 0, ""},
        {2, SaveAsSpreadsheet, u"Excel spreadsheet", "", 0, ""},
        {2, SaveAsRtf, u"Rich Text (RTF)", "", 0, ""},
        {2, SaveAsOwnFormat, u"o", "", 0, ""},
        {1, ExportBatchData, u"Export batch data", "", 0, ""},
        {1, ExportData, u"Export data...", "", 0, ""},
        {1, Print, u"&Print...", "Ctrl+P", 0, ""},
        {1, PageSetup, u"Page Setup", "", 0, ""},
        {1, PrintPreview, u"Print Preview", "F3", 0, ""},
        {1, FindFiles, u"Find Files...", "", 0, ""},
        {1, CompareTwoWordLists, u"Compare 2 wordlists", "", 0, ""},
        {1, CompareWithTextFile, u"Compare with a .txt file...", "", 0, ""},
        {1, PlayMediaFile, u"Play media file...", "Ctrl+M", 0, ""},
        {1, Exit, u"Exit", "Alt+X", 0, "Exit1"},
        {1, NoCommand, u"Fast Exit", "", 0, "FastExit1"},
        {1, CauseACrash, u"Cause a Crash", "", 0, ""},

        {0, TopLevelMenu, u"&Edit", "", 0, "Edit1"},
        {1, Undo, u"&Undo", "Ctrl+U", 0, "Undo1"},
        {1, Redo, u"&Redo", "", 0, "ReDo1"},
        {1, Copy, u"Copy", "Ctrl+C", 0, ""},
        {1, Deleting, u"Deleting", "", 0, ""},
        {2, Delete, u"Delete", "", 0, ""},
        {2, DeleteToEnd, u"Delete to end", "", 0, ""},
        {2, DeleteIf, u"Delete If ...", "", 0, ""},
        {2, ReduceToN, u"Reduce to N ...", "", 0, ""},
        {2, ReverseDelete, u"Reverse-delete", "", 0, ""},
        {2, RestoreDeleted, u"Restore deleted", "", 0, ""},
        {2, RestoreToEnd, u"Restore to end", "", 0, ""},
        {1, InsertTags, u"Insert tags", "", 0, ""},
        {1, Joining, u"Joining", "", 0, ""},
        {2, JoinRows, u"Join rows", "F4", 0, ""},
        {2, AutoJoin, u"Auto-Join", "", 0, ""},
        {2, Unjoin, u"Unjoin", "Ctrl+F4", 0, ""},
        {2, UnjoinAll, u"Unjoin all", "", 0, ""},
        {2, JoinClusters, u"Join Clusters", "", 0, ""},
        {1, Marking, u"Marking", "", 0, ""},
        {2, Mark, u"Mark", "Alt+F5", 0, ""},
        {2, Unmark, u"Unmark", "Shift+Alt+F5", 0, ""},
        {2, ClearAllMarking, u"clear all marking", "", 0, ""},
        {1, Resort, u"Resort", "F6", 0, ""},
        {1, OtherSorts, u"Other sorts", "", 0, ""},
        {2, SortAlphabetical, u"Alphabetical", "", 0, ""},
        {2, SortCaseSensitive, u"Case sensitive", "", 0, ""},
        {2, SortByPrefix, u"Prefix", "", 0, ""},
        {2, SortBySuffix, u"Suffix", "", 0, ""},
        {2, SortReverseWord, u"Reverse word", "Ctrl+F6", 0, ""},
        {2, SortWordLength, u"Word length", "Ctrl+Shift+F6", 0, ""},
        {2, CheckWordList, u"Check word list", "", 0, ""},
        {1, Zap, u"Zap", "Ctrl+Z", 0, ""},
        {1, EditData, u"Edit data", "", 0, ""},
        {1, Searching, u"Searching", "", 0, ""},
        {2, Find, u"Find", "Ctrl+F", 0, ""},
        {2, SearchText, u"Search text", "Ctrl+F3", 0, ""},
        {2, SearchAndReplace, u"Search + Replace", "", 0, ""},
        {1, RemoveDuplicates, u"Remove duplicates", "", 0, ""},
        {1, ChangeLanguage, u"Change language", "", 0, ""},

        {0, TopLevelMenu, u"&View", "", 0, "View1"},
        {1, Filenames, u"Filenames", "", 0, ""},
        {1, SourceText, u"Source text", "F7", 0, ""},
        {1, LoadKeywords, u"Load Keywords", "", 0, ""},
        {1, Layout, u"Layout", "Ctrl+L", 0, ""},
        {1, GrowShrink, u"Grow/Shrink entries", "", 0, ""},
        {2, Grow, u"Grow", "F8", 0, ""},
        {2, Shrink, u"Shrink", "Ctrl+F8", 0, ""},
        {2, GrowCurrentRow, u"Grow current row", "Ctrl+Shift+F8", 0, ""},
        {2, ShrinkCurrentRow, u"Shrink current row", "Ctrl+Alt+F8", 0, ""},
        {1, AutoRowHeight, u"Auto row height", "Ctrl+Shift+F8", 0, ""},
        {1, FreezeTopRows, u"Freeze top rows...", "", 0, ""},
        {1, Refresh, u"Refresh", "F5", 0, ""},
        {1, ConcordanceView, u"Concordance view", "", 0, ""},
        {2, TagsOnly, u"Tags only", "", 0, ""},
        {2, SentenceOnly, u"Sentence only", "", 0, ""},
        {1, TagDisplay, u"Tag display", "", 0, "WordList_tag_display1"},
        {2, TagsHidden, u"tags hidden", "", kRadio2, "WordList_tag_display_hidden1"},
        {2, TagsAsPrefix, u"tags as prefix", "", kRadio2, "WordList_tag_display_asprefix1"},
        {2, TagsAsSuffix, u"tags as suffix", "", kRadio2, "WordList_tag_display_assuffix1"},
        {2, WordsHidden, u"words hidden", "", kRadio2, "WordList_tag_display_hidethewords1"},
        {1, TagDisplay, u"Tag display", "", 0, "Concordance_tag_display1"},
        {2, TagListColours, u"Tag List (colours)", "", 0, ""},
        {2, WordsColoured, u"words coloured", "", 0, ""},
        {2, TagsColoured, u"tags coloured", "", 0, ""},
        {2, HideTagFileTags, u"hide Tag file tags", "", 0, ""},
        {2, HideUndefinedTags, u"hide Undefined ones", "", 0, ""},
        {2, HideSentenceTag, u"hide Sentence tag", "", 0, ""},
        {2, HideParagraphTag, u"hide Paragraph tag", "", 0, ""},
        {2, HideHeadingTag, u"hide Heading tag", "", 0, ""},
        {2, HideSectionTag, u"hide Section tag", "", 0, ""},
        {1, SearchWord, u"Search-word", "", 0, ""},
        {2, SearchWordHidden, u"Hidden", "", 0, ""},
        {2, SearchWordPadding, u"Padding", "", 0, ""},
        {2, SearchWordMoveLeft, u"Move left", "", 0, ""},
        {2, SearchWordMoveRight, u"Move right", "", 0, ""},
        {2, SearchWordToCentre, u"To centre", "", 0, ""},
        {2, CopyToSetColumn, u"Copy to Set column", "", 0, ""},
        {1, HighlightSelectedCollocate, u"Highlight selected collocate", "", 0, ""},
        {1, ColumnTotals, u"Column Totals", "", 0, ""},
        {1, DefaultColumnWidths, u"Default column widths", "", 0, ""},
        {1, DiceCoefficients, u"Dice coefficients", "", 0, ""},
        {1, NumberDisplay, u"Number display", "", 0, ""},
        {2, NumbersDefault, u"default", "", kRadio7, ""},
        {2, NumbersPercent, u"percent", "", kRadio7, ""},
        {2, NumbersPerThousand, u"per thousand", "", kRadio7, ""},
        {2, NumbersPerMillion, u"per million", "", kRadio7, ""},
        {1, RowPercentages, u"Row percentages", "", 0, ""},
        {1, ShowRelatedTexts, u"Show related txts", "", 0, ""},
        {1, Play, u"Play", "", 0, ""},
        {1, Ruler, u"Ruler", "", 0, ""},
        {1, UniformPlot, u"Uniform plot", "", 0, ""},
        {1, StatusBar, u"Status bar", "", 0, "Statusbar1"},
        {1, FindUnusualToolbar, u"Find Unusual Toolbar", "", 0, ""},
        {1, MainToolbar, u"Main Toolbar", "", 0, "Toolbar2"},

        {0, TopLevelMenu, u"&Compute", "", 0, "Compute1"},
        {1, Concordance, u"Concordance", "", 0, ""},
        {1, KeyWords, u"KeyWords", "", 0, ""},
        {1, WordList, u"WordList", "", 0, ""},
        {1, NewColumn, u"New column", "", 0, ""},
        {1, Align, u"Align", "", 0, ""},
        {1, Associates, u"Associates", "", 0, ""},
        {2, AssociatesFollowUp, u"follow-up", "", 0, ""},
        {2, AssociatesRecompute, u"recompute", "", 0, ""},
        {1, Breakdown, u"Breakdown", "", 0, ""},
        {1, Clusters, u"Clusters", "", 0, ""},
        {1, ColourCategories, u"Colour categories...", "", 0, ""},
        {1, Concgrams, u"Concgrams", "", 0, ""},
        {1, Dispersion, u"Dispersion", "", 0, ""},
        {1, KwdbTextCentrality, u"KWDB text centrality", "", 0, ""},
        {1, FollowCollocate, u"Follow collocate", "", 0, ""},
        {1, Lemmas, u"Lemmas", "", 0, ""},
        {2, LemmaMatches, u"Lemma matches", "", 0, ""},
        {2, SaveLemmaFile, u"Save lemma-file", "", 0, ""},
        {2, CheckConsistency, u"Check consistency", "", 0, ""},
        {1, Links, u"Links", "", 0, ""},
        {1, ListOfFileNames, u"List of file-names", "", 0, ""},
        {1, Matches, u"Matches", "", 0, ""},
        {2, SetUpMatching, u"set up match method", "", 0, "setupmatching1"},
        {2, MarkMatches, u"mark any matches", "", kRadio3, "computeMatches1"},
        {2, ClearAllMatches, u"clear all matches", "", kRadio3, ""},
        {2, DeleteAllMatched, u"delete all matched", "", kRadio3, ""},
        {2, DeleteAllUnmatched, u"delete all UNmatched", "", kRadio3, ""},
        {1, MovingWindow, u"Moving window", "", 0, ""},
        {1, ModifySourceTexts, u"Modify Source Texts", "", 0, ""},
        {2, ModifySourceTextsSet, u"Set", "", 0, ""},
        {2, ModifySourceTextsSearchPhrase, u"Search-phrase", "", 0, ""},
        {2, UndoSourceTextModifications, u"Undo modifications", "", 0, ""},
        {1, Relationships, u"Relationships", "", 0, "Relationships1"},
        {1, RelativeEntropy, u"Relative entropy", "", 0, ""},
        {1, Patterns, u"Patterns", "", 0, ""},
        {1, Plot, u"Plot", "", 0, ""},
        {1, Collocates, u"Collocates", "F10", 0, ""},
        {1, Timeline, u"Timeline", "", 0, ""},
        {1, Tokens, u"Tokens", "", 0, ""},
        {1, WordCloud, u"Word Cloud", "", 0, ""},

        {0, TopLevelMenu, u"&Settings", "", 0, "Settings1"},
        {1, ChooseTexts, u"Choose texts", "F11", 0, ""},
        {1, SettingsOfTool, u"Specific to this Tool", "", 0, ""},
        {1, SetColumns, u"Set Column(s)", "", 0, ""},
        {2, ClearSetColumn, u"clear", "", 0, ""},
        {2, EditSetColumn, u"edit", "Ctrl+Alt+E", 0, ""},
        {2, ActiveColumn, u"active column", "", 0, ""},
        {1, NoCommand, u"Selecting Rows", "", 0, ""},
        {2, CtrlRequired, u"Ctrl required", "", 0, ""},
        {1, TypingMode, u"Typing Mode", "", 0, ""},
        {2, TypeIn, u"type-in", "", kRadio1, "typeinchoice1"},
        {2, SetCategories, u"set categories", "", kRadio1, "SetCategoriesChoice1"},
        {2, EditingData, u"editing data", "", kRadio1, "editingdataChoice1"},
        {1, Colours, u"Colours", "", 0, ""},
        {1, Font, u"Font", "", 0, ""},
        {1, IndexSettings, u"Index", "", 0, ""},
        {1, Language, u"Language", "", 0, ""},
        {1, Folders, u"Folders", "", 0, ""},
        {1, StopLemmaMatchLists, u"Stop-, Lemma- && Matchlists", "", 0, ""},
        {1, TagSettings, u"Tags", "", 0, ""},
        {1, Customise, u"Customise", "", 0, ""},

        {0, TopLevelMenu, u"&Windows", "", 0, "Windows1"},
        {1, TileVertically, u"Tile Vertically", "", 0, ""},
        {1, TileHorizontally, u"Tile Horizontally", "", 0, ""},

        {0, TopLevelMenu, u"&Help", "", 0, "Help1"},
        {1, Help, u"Corvantis Help", "F1", 0, ""},
        {1, ContextHelp, u"Context Help", "", 0, ""},
        {1, AboutAndMemory, u"About and Memory", "F9", 0, ""},
    };
    return kItems;
}

} // namespace

const TMenuTagSet& CheckableMenuItems()
{
    using enum TMenuCommand;
    static const TMenuTagSet set = Tags({MarkMatches, Ruler, UniformPlot, TagListColours, StatusBar, MainToolbar,
                                         SearchWordPadding, HideTagFileTags, SentenceOnly, NumbersPercent,
                                         NumbersPerThousand, NumbersPerMillion, NumbersDefault, TagsOnly,
                                         ColumnTotals, HideUndefinedTags, HideSentenceTag, HideParagraphTag,
                                         HideHeadingTag, HideSectionTag, FindUnusualToolbar, TagsColoured,
                                         DeleteAllMatched, DeleteAllUnmatched, WordsColoured, TypeIn, SetCategories,
                                         EditingData, SearchWordHidden, CtrlRequired, ClearAllMatches, TagsHidden,
                                         TagsAsPrefix, TagsAsSuffix, WordsHidden});
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
    const std::span<const TMenuSpec> menu = MainMenu();
    for (size_t i = 0; i < menu.size(); ++i) {
        const TMenuSpec& menuItem = menu[i];
        const int tag = menuItem.tag.value;
        const bool header = i + 1 < menu.size() && menu[i + 1].level > menuItem.level;
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
        SetMenuTag(item, tag);
        if (*menuItem.name)
            item->setObjectName(QString::fromLatin1(menuItem.name));
        if (*menuItem.shortcut) {
            const uint16_t shortcut = TextToShortCut(QString::fromLatin1(menuItem.shortcut));
            item->setShortcut(ShortCutToKeySequence(shortcut));
            if (tag >= 0 && tag <= kLastCustomisableTag)
                m_designShortcuts.emplace_back(tag, shortcut);
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
        if (tag == TagOf(TMenuCommand::Relationships))
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
        for (TMenuCommand command : kDesignRightClickCommands)
            SetPopupMenuTagInUse(TagOf(command), true);
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
    using enum TMenuCommand;
    TMenuTagSet s = Tags({Open, New, Colours, Font, Language, Folders, TagSettings, StopLemmaMatchLists,
                          SettingsOfTool, ChooseTexts, Customise, StatusBar, Exit, Help, AboutAndMemory, LastFile,
                          ActiveColumn});
    if (current_tool_var == kToolWordList) {
        s |= Tags({IndexSettings});
        if (Global_Reserved_For_Next_version)
            s |= Tags({OpenMovingWindow});
    }
    if (LoggingIsOn())
        s |= Tags({CauseACrash});
    return s;
}

const TMenuTagSet& BaseSet()
{
    using enum TMenuCommand;
    static const TMenuTagSet s = Tags({Untagged, Save, SaveAsPlainText, Open, Print, PrintPreview, FindFiles, New,
                                       Resort, Zap, Delete, DeleteToEnd, RestoreDeleted, RestoreToEnd,
                                       SearchAndReplace, ReduceToN, Copy, SaveAsXml, Close, SaveAsSpreadsheet,
                                       Layout, Refresh, Breakdown, ClearSetColumn, Colours, Font, Language, Folders,
                                       TagSettings, StopLemmaMatchLists, ChooseTexts, Customise, MergeWith,
                                       SaveAsOwnFormat, StatusBar, MainToolbar, Undo, Redo, DeleteIf, Exit,
                                       ContextHelp, TileVertically, TileHorizontally, ChangeLanguage,
                                       DefaultColumnWidths, Find, TypeIn, SetCategories, EditingData, EditSetColumn,
                                       SaveAsRtf, Play, ColourCategories, ReverseDelete});
    return s;
}

TMenuTagSet Minus(TMenuTagSet s, const TMenuTagSet& remove) { return s & ~remove; }

// The menu set of a list type before the marking rule.
TMenuTagSet ListTypeSet(uint8_t type, uint8_t kind);

TMenuTagSet WholeSet(uint8_t type, uint8_t kind)
{
    using enum TMenuCommand;
    TMenuTagSet s = ListTypeSet(type, kind);
    if (IsLemmatisableListType(type))
        s |= Tags({Mark, JoinRows, Unjoin, UnjoinAll, Unmark, ClearAllMarking});
    else if (type != 21 && type != 22 && type != 29)
        s = Minus(s, Tags({Mark, JoinRows, Unjoin, UnjoinAll, JoinClusters, Unmark, ClearAllMarking}));
    return s;
}

TMenuTagSet ListTypeSet(uint8_t type, uint8_t kind)
{
    using enum TMenuCommand;
    const TMenuTagSet always = AlwaysSet();
    const TMenuTagSet b = BaseSet() | always;
    const TMenuTagSet noColourCategories = Tags({ColourCategories});
    const TMenuTagSet a25remove = Tags({SaveAsXml, SaveAsSpreadsheet, ChangeLanguage});
    switch (type) {
    case 0: case 6: case 7: case 8: case 9: {
        TMenuTagSet s = Minus(b | Tags({MarkMatches, EditData, LemmaMatches, SourceText, Clusters, JoinClusters,
                                        KeyWords, Concordance, NewColumn, Relationships, IndexSettings,
                                        CompareWithTextFile, Dispersion, AutoJoin, NumbersPercent,
                                        NumbersPerThousand, NumbersPerMillion, NumbersDefault, ColumnTotals,
                                        DeleteAllMatched, DeleteAllUnmatched, SetUpMatching, Tokens, ExportData,
                                        WordCloud, SaveLemmaFile, CheckConsistency, ClearAllMatches,
                                        RelativeEntropy, TagsHidden, TagsAsPrefix, TagsAsSuffix, WordsHidden}),
                              noColourCategories);
        if (kind == 7)
            s |= Tags({CompareTwoWordLists, ColourCategories});
        if (kind == 6)
            s |= Tags({CompareTwoWordLists, SortAlphabetical, SortReverseWord, SortWordLength, SortCaseSensitive,
                       TagsOnly, SortByPrefix, SortBySuffix, ColourCategories, CheckWordList});
        return s;
    }
    case 1: case 11: case 16: case 18: case 24: {
        TMenuTagSet s = b | Tags({MarkMatches, EditData, LemmaMatches, Filenames, Plot, SourceText, Links, Clusters,
                                  Concordance, NewColumn, IndexSettings, CompareWithTextFile, SortAlphabetical,
                                  SortReverseWord, SortWordLength, SortCaseSensitive, NumbersPercent,
                                  NumbersPerThousand, NumbersPerMillion, NumbersDefault, ColumnTotals, SortByPrefix,
                                  SortBySuffix, DeleteAllMatched, DeleteAllUnmatched, SetUpMatching, WordCloud,
                                  SaveLemmaFile, ClearAllMatches, TagsHidden, TagsAsPrefix, TagsAsSuffix,
                                  WordsHidden});
        if (type == 11)
            s |= Tags({Ruler, FreezeTopRows});
        if (type == 1)
            s |= noColourCategories;
        return s;
    }
    case 2:
        return Minus(Tags({AssociatesRecompute, NumbersPercent, NumbersPerThousand, NumbersPerMillion,
                           NumbersDefault, ExportData, KwdbTextCentrality}) |
                         WholeSet(1, kind),
                     Tags({ChangeLanguage}));
    case 3:
        return WholeSet(0, kind);
    case 4:
        return Tags({Relationships, ColourCategories, FreezeTopRows}) |
               Minus(Tags({NumbersPercent, NumbersPerThousand, NumbersPerMillion, NumbersDefault, RowPercentages}) |
                         WholeSet(0, kind),
                     Tags({AutoJoin}));
    case 5:
        return Minus(b | Tags({MarkMatches, LemmaMatches, Collocates, Filenames, Patterns, NewColumn, Relationships,
                               SortAlphabetical, SortReverseWord, SortWordLength, SortCaseSensitive, NumbersPercent,
                               NumbersDefault, ColumnTotals, SortByPrefix, SortBySuffix, HighlightSelectedCollocate,
                               FollowCollocate, DeleteAllMatched, DeleteAllUnmatched, SetUpMatching, WordCloud,
                               SaveLemmaFile, ClearAllMatches, RelativeEntropy, TagsHidden, TagsAsPrefix,
                               TagsAsSuffix, WordsHidden}),
                     noColourCategories);
    case 12:
        return Minus(b | Tags({Plot, Ruler, UniformPlot, Timeline, NumbersPercent, NumbersPerThousand,
                               NumbersPerMillion, NumbersDefault, ColumnTotals, FreezeTopRows}), noColourCategories);
    case 14:
        return Minus(b | Tags({Patterns, Timeline, HighlightSelectedCollocate, WordCloud}), noColourCategories);
    case 19:
        return Minus(b | Tags({NumbersPercent, NumbersPerThousand, NumbersPerMillion, NumbersDefault, Tokens,
                               FreezeTopRows}), noColourCategories);
    case 20:
        return Minus(b | Tags({Timeline}), noColourCategories);
    case 10:
        return b | Tags({Grow, Shrink, Collocates, Plot, SourceText, Clusters, Patterns, Timeline, InsertTags,
                         ShowRelatedTexts, TagListColours, RemoveDuplicates, SearchWordPadding, PlayMediaFile,
                         HideTagFileTags, SentenceOnly, NumbersPercent, NumbersDefault, TagsOnly, ColumnTotals,
                         HideUndefinedTags, HideSentenceTag, HideParagraphTag, HideHeadingTag, HideSectionTag,
                         TagsColoured, ModifySourceTextsSet, ModifySourceTextsSearchPhrase,
                         UndoSourceTextModifications, CopyToSetColumn, ListOfFileNames, WordsColoured,
                         SearchWordHidden, SearchWordMoveLeft, SearchWordMoveRight, SearchWordToCentre,
                         GrowCurrentRow, ShrinkCurrentRow});
    case 13:
        return b | Tags({Clusters, Timeline, WordCloud});
    case 33:
        return b | Tags({Patterns, Concordance, SortAlphabetical, SortWordLength, SortCaseSensitive, SortByPrefix,
                         SortBySuffix, WordCloud});
    case 34:
        return b | Tags({Patterns, Concordance, WordCloud});
    case 15:
        return Tags({AssociatesFollowUp}) | WholeSet(1, kind);
    case 17:
        return Minus(b, Tags({Resort, Zap, Delete, DeleteToEnd, RestoreDeleted, RestoreToEnd, ColourCategories})) |
               Tags({SearchAndReplace, EditData, SourceText, Timeline});
    case 21: case 22: case 29: {
        TMenuTagSet s = Minus(b, Tags({Print, PrintPreview, FindFiles, New, Resort, Zap, Delete, DeleteToEnd,
                                       RestoreDeleted, RestoreToEnd, SaveAsXml, SaveAsSpreadsheet, Breakdown,
                                       ClearSetColumn, SettingsOfTool, ChooseTexts, MainToolbar, EditSetColumn,
                                       ColourCategories})) |
                        Tags({SearchAndReplace, Unjoin, EditData, AutoRowHeight, LoadKeywords, InsertTags});
        if (type == 22)
            s = Minus(s, Tags({SaveAsPlainText}));
        if (type == 21)
            s |= Tags({Align});
        return s;
    }
    case 23:
        return Minus(Tags({Filenames, Clusters, Concordance, Relationships, MovingWindow, ExportData,
                           ColourCategories}) | WholeSet(0, kind), Tags({ChangeLanguage, CheckConsistency}));
    case 28:
        return WholeSet(23, kind);
    case 25: {
        TMenuTagSet s = Minus(always, a25remove);
        if (current_tool_var == 5)
            s = Minus(s, Tags({SaveAsPlainText, FindFiles, New, Resort, Zap, Delete, DeleteToEnd, RestoreDeleted,
                               RestoreToEnd, Breakdown, ClearSetColumn, SettingsOfTool, ChooseTexts, MainToolbar,
                               EditSetColumn}));
        return s;
    }
    case 26:
        return Minus(Tags({Close}) | always, a25remove);
    case 27:
        return Minus(Tags({SaveAsPlainText, Print, Copy, Close, SourceText, TextPageSpare}) | always, a25remove);
    case 30:
        return Tags({Untagged, SaveAsPlainText, Open, Copy, SaveAsXml, Close, SaveAsSpreadsheet, Filenames,
                     WordList, Colours, Font, Language, Folders, TagSettings, StopLemmaMatchLists, Customise,
                     StatusBar, MainToolbar, Exit, ContextHelp, Concgrams}) | Minus(always, Tags({ChangeLanguage}));
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
    if (tag == TagOf(TMenuCommand::MarkMatches))
        computeMatches1->setVisible(visible);
    else if (tag == TagOf(TMenuCommand::SetUpMatching))
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
        if (item && !item->text().isEmpty() && tag != TagOf(TMenuCommand::LastFile))
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
