#pragma once
// The tool's data module: made once before the main window, it owns the
// whole menu tree of the tool (every command item carries its command number,
// the menu tag, as QAction data), the "context help" pop-up, the lists of
// customisable menu items, and the help display. The main window shows the
// module's menus as its own and hands every command to its HandleMenuItemClick.
//
// Tags: a command item's tag is its command (TMenuCommand); a top-level menu
// and a submenu header carry the tags of TMenuHeader (suite/menu_commands.h),
// a header shown when one of its children is shown. Which commands are
// visible follows the list type of the current page (MenuSetForListType).
// Check states and shortcuts are not kept here but in the settings buffer,
// by tag.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "suite/menu_commands.h"
#include "ui/framework/customise_menu.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/tool_pages.h"

class QAction;
class QMenu;
class QWidget;

namespace cv {

class TCVBaseDataClass;

// Set while the suite runs features of its next version (shows "Open Moving Window").
extern bool Global_Reserved_For_Next_version;
// Set by "Fast Exit": the program ends without asking about unsaved data.
extern bool no_check_exit;

// Menu tags of the suite whose items carry a check mark.
const TMenuTagSet& CheckableMenuItems();

// The help context of a control: HelpContextOf, SetHelpContext
// (dialog_base/dialog_support.h).

class TDataModuleCorvantis final : public QObject {
    Q_OBJECT
public:
    // Builds the menus and the customisable lists and takes the check states
    // and shortcuts from the settings buffer. Becomes the process's module.
    explicit TDataModuleCorvantis(QObject* parent = nullptr);
    ~TDataModuleCorvantis() override;

    // --- the menus ---
    // The top-level menus of the main menu, in order (their menu actions carry -999).
    const std::vector<QMenu*>& MainMenuDModule() const { return m_topMenus; }
    // Every item of the main menu in tree order (submenu headers included).
    std::vector<QAction*> main_menu_list;
    // The first item with this tag, else null.
    QAction* ItemOfTag(int tag) const;
    QAction* ItemOfTag(TMenuCommand command) const { return ItemOfTag(TagOf(command)); }
    // The item of this object name ("Undo1", "Toolbar2"), else null.
    QAction* ItemNamed(const QString& name) const;
    std::vector<QAction*> MenuRoots() const;

    QMenu* PopupActionBar1 = nullptr; // holds WhatsThis1 ("context help")
    QAction* WhatsThis1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* ReDo1 = nullptr;
    QAction* Statusbar1 = nullptr;
    QAction* Toolbar2 = nullptr;
    QAction* typeinchoice1 = nullptr;
    QAction* SetCategoriesChoice1 = nullptr;
    QAction* editingdataChoice1 = nullptr;
    QAction* computeMatches1 = nullptr;
    QAction* setupmatching1 = nullptr;
    QAction* WordList_tag_display_hidden1 = nullptr;
    QAction* WordList_tag_display_asprefix1 = nullptr;
    QAction* WordList_tag_display_assuffix1 = nullptr;
    QAction* WordList_tag_display_hidethewords1 = nullptr;
    QAction* FastExit1 = nullptr;
    QAction* Exit1 = nullptr;

    // Customisable items offered on the right-click menus, and all of them sorted by caption.
    TCustomisableMenuItemsList PopupMenuItems;
    TCustomisableMenuItemsList CustomisableMenuItems;

    // The window the menu commands go to (the last window to ask); a null
    // handler lets go when `target` is the current one.
    void SetCommandTarget(QObject* target, std::function<void(QAction*)> handler);

    // --- menu sets ---
    // The tags visible for a list type and kind of display.
    TMenuTagSet MenuSetForListType(uint8_t listType, uint8_t kindOfDisplay) const;
    // The list type whose menus another list type shares.
    static uint8_t MenuFamilyOfListType(uint8_t listType);

    // --- help ---
    // A context of 1001 or more as it is; else the context of the control
    // under the mouse or of its nearest parent that has one; 1000 with no control.
    int GetTheBestHelpContext(int context) const;
    // Shows help as the settings buffer says: mode 0 the help file, mode 1
    // the help pages ("index.html?contextid=N" at the help address). True
    // when the help file was handed to the desktop.
    bool HandleAHelpFileChoice(int context);
    // The application's help handler (the message dialogs' Help buttons).
    void HandleAppHelp(int context) { HandleAHelpFileChoice(context); }
    void PopupActionBar1Popup();
    void WhatsThis1Click();
    // The control under the mouse (tests put their own).
    std::function<QWidget*()> WidgetUnderMouse;

    // --- smaller services ---
    // The undo (or redo) item takes the caption when one is given and is enabled with at least one step.
    void HandleUnOrRedoAction(const QString& caption, bool redo, int count);
    void ResetUnOrRedoActions();
    // The Undo and Redo items follow the list's undo history: "Undo" and
    // "Redo" with the name of the step each would take back or do again.
    void FollowUndoOf(TCVBaseDataClass& list);
    // Checks the typing-mode item of the mode (0 type-in, 1 set categories, 2 editing data).
    void SetTypeSetEditMenuItems(int mode);
    // Only the match items (MarkMatches and SetUpMatching) are shown or hidden this way.
    void SetMenuItemVisible(int tag, bool visible);
    // The control's right-click menu becomes the given one.
    static void SetContextMenuHelp(QWidget* control, QMenu* popup);
    // "Fast Exit": ends the program at once, without questions.
    void FastExit1Click();
    // "Exit" is carried out by the window's command handler.
    void Exit1Click() {}
    // How the program ends (tests put their own).
    std::function<void()> TerminateApplication;

    // --- customisation (shortcuts, check states, right-click choices) ---
    void RebuildCustomisableMenuItems();
    // Every item with a tag above 0 takes the settings buffer's shortcut of its tag.
    void UpdateAllMenuShortCutsFromTextbuf();
    // When the settings buffer marks the menus altered: mode 0 the items take
    // the stored check states, mode 1 the items' states are stored; then the
    // mark is cleared. Returns false.
    bool RedoMenuItemsCheckStates(int mode);
    // Stores a shortcut for a tag unless another tag holds it (then
    // MenuShortcutAlreadyInUse names the holder, when it has a menu item).
    // A shortcut of 0 or an empty caption is always accepted.
    bool TryToSetAShortCut(int tag, const QString& caption, uint16_t shortcut);
    bool TryToSetAShortCut(QAction* item, uint16_t shortcut);
    // Normalises a customised entry "caption:shortcut" against the items.
    void CheckMenuCompatibility(QString& entry) const;
    // The right-click choice: up to ten entries "caption[:shortcut]".
    void SetRightClickMenuItems(const QStringList* strings);
    QString GetAMainMenuCaptionByTag(int tag) const;
    QString TagToCustomisableMenuCaption(int tag) const;

private:
    void BuildMenus();
    void SeedShortcutsWhenNoneStored();

    std::vector<QMenu*> m_topMenus; // owned
    QPointer<QObject> m_commandTarget;
    std::function<void(QAction*)> m_commandHandler;
    std::vector<std::pair<int, uint16_t>> m_designShortcuts;
};

// The process's data module (made by the program before its windows); null when none.
TDataModuleCorvantis* DataModuleCorvantis();

struct TMenuCommandsOfTools;
// The tools' menu commands with their captions, and the tools' rules for
// storing the user's choices, for the controller's customising window: a
// data module of their own, kept alive by the rules, knows them.
std::shared_ptr<const TMenuCommandsOfTools> MenuCommandsForCustomising();

} // namespace cv
