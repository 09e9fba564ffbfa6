#include "framework_testutil.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QMenu>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QToolButton>

#include <map>

#include "controller/customise_window.h"
#include "gui/desktop_services.h"
#include "model/base_list.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/window_messages.h"
#include "ui/framework/customise_menu.h"
#include "ui/framework/tool_data_module.h"

namespace framework_test {
namespace {

using cv::TMenuTagSet;

// The data module is made before the window, as the program makes it.
class DataModuleTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        module = std::make_unique<cv::TDataModuleCorvantis>();
        module->TerminateApplication = [this] { ++quits; };
        FrameworkTest::SetUp();
    }
    void TearDown() override
    {
        FrameworkTest::TearDown();
        module.reset();
        cv::current_tool_var = cv::kToolWordList;
        cv::Global_Reserved_For_Next_version = false;
        cv::no_check_exit = false;
    }
    TMenuTagSet Set(uint8_t type, uint8_t kind = 0) const { return module->MenuSetForListType(type, kind); }
    QAction* Item(int tag) const { return module->ItemOfTag(tag); }
    QAction* Item(cv::TMenuCommand command) const { return module->ItemOfTag(command); }
    static size_t Bit(cv::TMenuCommand command) { return size_t(cv::TagOf(command)); }

    std::unique_ptr<cv::TDataModuleCorvantis> module;
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard{&desktop};
    int quits = 0;
};

TEST_F(DataModuleTest, TheMenuTreeCarriesItsTagsShortcutsAndRadioGroups)
{
    ASSERT_EQ(module->MainMenuDModule().size(), 7u);
    for (QMenu* top : module->MainMenuDModule())
        EXPECT_EQ(cv::MenuTag(top->menuAction()), TagOf(cv::TMenuHeader::TopLevelMenu));
    const QAction* saveAs = module->ItemNamed(QStringLiteral("SaveAs1"));
    ASSERT_NE(saveAs, nullptr);
    EXPECT_EQ(cv::MenuTag(saveAs), TagOf(cv::TMenuHeader::SaveAs));
    EXPECT_EQ(saveAs->menu()->actions().size(), 5);
    EXPECT_EQ(Item(cv::TMenuCommand::New)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_EQ(Item(cv::TMenuCommand::SortWordLength)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F6")));
    EXPECT_EQ(Item(cv::TMenuCommand::Unmark)->shortcut(), QKeySequence(QStringLiteral("Shift+Alt+F5")));
    EXPECT_EQ(module->Undo1, Item(cv::TMenuCommand::Undo));
    EXPECT_EQ(module->typeinchoice1, Item(cv::TMenuCommand::TypeIn));
    EXPECT_FALSE(module->Undo1->isEnabled()) << "nothing to undo yet";
    // Radio groups: one number display, one typing mode.
    ASSERT_NE(Item(cv::TMenuCommand::NumbersPercent)->actionGroup(), nullptr);
    EXPECT_EQ(Item(cv::TMenuCommand::NumbersPercent)->actionGroup(), Item(cv::TMenuCommand::NumbersDefault)->actionGroup());
    EXPECT_NE(Item(cv::TMenuCommand::NumbersPercent)->actionGroup(), Item(cv::TMenuCommand::TypeIn)->actionGroup());
    EXPECT_TRUE(Item(cv::TMenuCommand::NumbersDefault)->isChecked()) << "the default number display is checked from the settings";
    EXPECT_FALSE(Item(cv::TMenuCommand::Open)->isCheckable()) << "commands without a check mark stay plain";
}

TEST_F(DataModuleTest, MenuSetsFollowTheListType)
{
    // Equal families.
    EXPECT_EQ(Set(3, 6), Set(0, 6));
    EXPECT_EQ(Set(3, 7), Set(0, 7));
    EXPECT_EQ(Set(28, 7), Set(23, 7));
    // Kind of display: the alphabetical view offers the other sorts.
    EXPECT_TRUE(Set(0, 6).test(Bit(cv::TMenuCommand::SortAlphabetical)));
    EXPECT_FALSE(Set(0, 7).test(Bit(cv::TMenuCommand::SortAlphabetical)));
    EXPECT_TRUE(Set(0, 7).test(Bit(cv::TMenuCommand::ColourCategories)));
    EXPECT_FALSE(Set(0, 0).test(Bit(cv::TMenuCommand::ColourCategories)));
    // No data: never XML, spreadsheet or a language change.
    for (cv::TMenuCommand command :
         {cv::TMenuCommand::SaveAsXml, cv::TMenuCommand::SaveAsSpreadsheet, cv::TMenuCommand::ChangeLanguage})
        EXPECT_FALSE(Set(cv::kListNone).test(Bit(command))) << TagOf(command);
    EXPECT_TRUE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::Open)));
    // Lemmatisable types gain the marking commands; other types lose joining too.
    EXPECT_TRUE(Set(cv::kListWordList).test(Bit(cv::TMenuCommand::JoinRows)));
    EXPECT_FALSE(Set(50).test(Bit(cv::TMenuCommand::JoinRows)));
    EXPECT_FALSE(Set(50).test(Bit(cv::TMenuCommand::JoinClusters)));
    const TMenuTagSet marking = TMenuTagSet().set(Bit(cv::TMenuCommand::Mark)).set(Bit(cv::TMenuCommand::JoinRows)).set(Bit(cv::TMenuCommand::Unjoin)).set(Bit(cv::TMenuCommand::UnjoinAll)).set(Bit(cv::TMenuCommand::Unmark)).set(Bit(cv::TMenuCommand::ClearAllMarking));
    EXPECT_EQ(Set(50) | marking, Set(36)) << "types past 41 show the base set";
    EXPECT_EQ(Set(31), marking) << "an empty set, then the marking rule";
    // Key-word database: key-word commands without a language change.
    EXPECT_TRUE(Set(2).test(Bit(cv::TMenuCommand::KwdbTextCentrality)));
    EXPECT_FALSE(Set(2).test(Bit(cv::TMenuCommand::ChangeLanguage)));
    // Plain-text lists: no plain-text save, but joining rows stays.
    EXPECT_FALSE(Set(22).test(Bit(cv::TMenuCommand::SaveAsPlainText)));
    EXPECT_TRUE(Set(22).test(Bit(cv::TMenuCommand::Unjoin)));
    EXPECT_TRUE(Set(21).test(Bit(cv::TMenuCommand::Align)));
}

TEST_F(DataModuleTest, TheAlwaysSetDependsOnToolLoggingAndNextVersion)
{
    EXPECT_TRUE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::IndexSettings)));
    EXPECT_FALSE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::OpenMovingWindow)));
    EXPECT_FALSE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::CauseACrash)));
    cv::Global_Reserved_For_Next_version = true;
    EXPECT_TRUE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::OpenMovingWindow)));
    const QString log = dir.write(QStringLiteral("log.txt"), "");
    cv::SetLogFilename(log);
    cv::SwitchLogging(true);
    EXPECT_TRUE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::CauseACrash))) << "the crash command only while logging";
    cv::SwitchLogging(false);
    cv::current_tool_var = 5;
    EXPECT_FALSE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::IndexSettings)));
    EXPECT_FALSE(Set(cv::kListNone).test(Bit(cv::TMenuCommand::New)));
    cv::current_tool_var = cv::kToolWordList;
}

TEST_F(DataModuleTest, TheWindowShowsTheMenuSetOfTheCurrentPage)
{
    EXPECT_EQ(window->menuBar()->actions().size(), 7);
    ShowSample();
    window->pager->setCurrentIndex(1); // alphabetical
    EXPECT_TRUE(Item(cv::TMenuCommand::SortAlphabetical)->isVisible());
    window->pager->setCurrentIndex(0); // frequency
    EXPECT_FALSE(Item(cv::TMenuCommand::SortAlphabetical)->isVisible());
    EXPECT_TRUE(Item(cv::TMenuCommand::Clusters)->isVisible());
    // A submenu header shows while a child shows.
    EXPECT_TRUE(module->ItemNamed(QStringLiteral("SaveAs1"))->isVisible());
    window->CloseData(true);
    window->RefreshDataDisplay();
    EXPECT_FALSE(Item(cv::TMenuCommand::SaveAsXml)->isVisible());
    EXPECT_FALSE(Item(cv::TMenuCommand::Clusters)->isVisible());
    EXPECT_TRUE(Item(cv::TMenuCommand::Open)->isVisible());
}

TEST_F(DataModuleTest, CheckStatesPersistThroughTheSettingsBuffer)
{
    // A click on a checkable item stores its state.
    QAction* ruler = Item(cv::TMenuCommand::Ruler);
    ruler->trigger();
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::Ruler));
    // A radio item stores its whole group.
    Item(cv::TMenuCommand::NumbersPerThousand)->trigger();
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::NumbersPerThousand));
    EXPECT_FALSE(cv::GetMenuItemChecked(cv::TMenuCommand::NumbersDefault));
    EXPECT_EQ(cv::GetDisplayWordsPerMillion(), 3);

    // Another process changed the states: mode 0 takes them.
    cv::SetMenuItemChecked(cv::TMenuCommand::Ruler, false);
    cv::SetMenuAltered(true);
    EXPECT_FALSE(module->RedoMenuItemsCheckStates(0));
    EXPECT_FALSE(ruler->isChecked());
    EXPECT_FALSE(cv::GetMenuAltered());
    // Mode 1 stores the items' own states.
    ruler->setChecked(true);
    cv::SetMenuAltered(true);
    module->RedoMenuItemsCheckStates(1);
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::Ruler));
    // Nothing happens while the menus are not marked altered.
    ruler->setChecked(false);
    module->RedoMenuItemsCheckStates(1);
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::Ruler));

    // A new module (another start) shows the stored states.
    window.reset();
    module = std::make_unique<cv::TDataModuleCorvantis>();
    EXPECT_TRUE(Item(cv::TMenuCommand::Ruler)->isChecked());
    EXPECT_TRUE(Item(cv::TMenuCommand::NumbersPerThousand)->isChecked());
    EXPECT_FALSE(Item(cv::TMenuCommand::NumbersDefault)->isChecked());
}

TEST_F(DataModuleTest, ShortcutsPersistAndConflictsAreRefused)
{
    // The menu's own shortcuts were stored when none were.
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::New)), cv::TextToShortCut(QStringLiteral("Ctrl+N")));
    const uint16_t ctrlK = cv::TextToShortCut(QStringLiteral("Ctrl+K"));
    EXPECT_TRUE(module->TryToSetAShortCut(Item(cv::TMenuCommand::Clusters), ctrlK));
    EXPECT_EQ(Item(cv::TMenuCommand::Clusters)->shortcut(), QKeySequence(QStringLiteral("Ctrl+K")));
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::Clusters)), ctrlK);
    // Held by another command: refused, with the holder named.
    EXPECT_FALSE(module->TryToSetAShortCut(Item(cv::TMenuCommand::Relationships), ctrlK));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("MenuShortcutAlreadyInUse")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("Clusters")));
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::Relationships)), 0);
    // Its own shortcut again, a shortcut of 0 and an empty caption are accepted.
    EXPECT_TRUE(module->TryToSetAShortCut(Item(cv::TMenuCommand::Clusters), ctrlK));
    EXPECT_TRUE(module->TryToSetAShortCut(TagOf(cv::TMenuCommand::Relationships), QString(), ctrlK));
    EXPECT_TRUE(module->TryToSetAShortCut(TagOf(cv::TMenuCommand::Relationships), QStringLiteral("Relationships"), 0));
    // A tag without a menu item holding the shortcut: refused without a message.
    dialogs.Clear();
    cv::SetMenuShortcut(TagOf(cv::TMenuCommand::TextPageSpare), cv::TextToShortCut(QStringLiteral("Ctrl+J")));
    EXPECT_FALSE(module->TryToSetAShortCut(TagOf(cv::TMenuCommand::Relationships), QStringLiteral("Relationships"), cv::TextToShortCut(QStringLiteral("Ctrl+J"))));
    EXPECT_TRUE(dialogs.Routines().isEmpty());

    // Shortcuts come from the settings buffer at the next start, a removed one stays removed.
    cv::SetMenuShortcut(TagOf(cv::TMenuCommand::New), 0);
    window.reset();
    module = std::make_unique<cv::TDataModuleCorvantis>();
    EXPECT_EQ(Item(cv::TMenuCommand::Clusters)->shortcut(), QKeySequence(QStringLiteral("Ctrl+K")));
    EXPECT_TRUE(Item(cv::TMenuCommand::New)->shortcut().isEmpty());
}

TEST_F(DataModuleTest, ShortcutTextsRoundTrip)
{
    for (const char* text : {"Ctrl+N", "Ctrl+Shift+F6", "Shift+Alt+F5", "Ctrl+Alt+E", "F1", "Alt+X", "Del"}) {
        const uint16_t s = cv::TextToShortCut(QString::fromLatin1(text));
        EXPECT_NE(s, 0) << text;
        EXPECT_EQ(cv::ShortCutToText(s), QString::fromLatin1(text));
        EXPECT_EQ(cv::KeySequenceToShortCut(cv::ShortCutToKeySequence(s)), s) << text;
    }
    EXPECT_EQ(cv::TextToShortCut(QStringLiteral("ctrl+n")), 0x4000 | 'N');
    EXPECT_EQ(cv::TextToShortCut(QStringLiteral("Hyper+N")), 0);
    EXPECT_EQ(cv::TextToShortCut(QStringLiteral("Ctrl+")), 0);
    EXPECT_TRUE(cv::ShortCutToText(0).isEmpty());
}

TEST_F(DataModuleTest, CustomisedEntriesAreNormalisedAgainstTheMenu)
{
    QString entry = QStringLiteral("Clusters:Ctrl+N"); // Ctrl+N belongs to "New..."
    module->CheckMenuCompatibility(entry);
    EXPECT_EQ(entry, QStringLiteral("Clusters"));
    entry = QStringLiteral("New...:Ctrl+Q"); // "New..." holds Ctrl+N
    module->CheckMenuCompatibility(entry);
    EXPECT_EQ(entry, QStringLiteral("New...:Ctrl+N"));
    entry = QStringLiteral("New...:");
    module->CheckMenuCompatibility(entry);
    EXPECT_EQ(entry, QStringLiteral("New...:"));
}

TEST_F(DataModuleTest, RightClickChoicesAreKeptAndOfferedOnTheGrids)
{
    QStringList chosen;
    for (const char* caption : {"Clusters", "Zap:Ctrl+Z", " Copy ", "Layout", "Unknown", "Resort", "Refresh", "Grow",
                                "Shrink", "Find", "Save"})
        chosen << QString::fromLatin1(caption);
    module->SetRightClickMenuItems(&chosen);
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Clusters)));
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Zap)));
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Copy)));
    EXPECT_FALSE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Save))) << "an eleventh entry is ignored";
    // Until the tool is told, its grids offer what they offered: the design items of a fresh buffer.
    EXPECT_EQ(window->PopupMenuForGrids->actions().size(), 10);
    // The controller tells the tool that settings changed: the grids' right-click menu shows them.
    window->SettingsChanged(cv::kCodeReReadSettings);
    EXPECT_EQ(module->PopupMenuItems.Count(), 9);
    ASSERT_EQ(window->PopupMenuForGrids->actions().size(), 9);
    // A choice goes to the window's command handler and on to the grid.
    ShowSample();
    int zaps = 0;
    window->freq->HandlersB.ZapMarked = [&](cv::TCV_Grid*) { ++zaps; };
    for (QAction* a : window->PopupMenuForGrids->actions())
        if (cv::MenuTag(a) == TagOf(cv::TMenuCommand::Zap))
            a->trigger();
    QApplication::processEvents();
    EXPECT_EQ(zaps, 1);
    // Customisable items are sorted by their menu's caption and their own.
    const auto& all = module->CustomisableMenuItems;
    ASSERT_GT(all.Count(), 100);
    EXPECT_EQ(all.CaptionIndexOf(QStringLiteral("o")), -1) << "the same-format entry is never customised";
    EXPECT_EQ(all.TagIndexOfACaption(QStringLiteral("Undo")), TagOf(cv::TMenuCommand::Undo)) << "access keys are stripped";
    EXPECT_EQ(module->TagToCustomisableMenuCaption(TagOf(cv::TMenuCommand::Clusters)), QStringLiteral("Clusters"));
    EXPECT_EQ(module->GetAMainMenuCaptionByTag(TagOf(cv::TMenuCommand::SaveAsPlainText)), QStringLiteral("Plain Text"));
    EXPECT_TRUE(module->GetAMainMenuCaptionByTag(230).isEmpty());
}

TEST_F(DataModuleTest, WalksVisitATagOnlyOnce)
{
    // "Tag display" appears twice and is always visited; "Fast Exit" and "Selecting Rows" share NoCommand.
    int tagDisplays = 0;
    std::vector<int> seen;
    cv::VisitMenuItemsOnce(module->MenuRoots(), [&](QAction* item) {
        const int tag = cv::MenuTag(item);
        if (tag == TagOf(cv::TMenuHeader::TagDisplay))
            ++tagDisplays;
        seen.push_back(tag);
    });
    EXPECT_EQ(tagDisplays, 2);
    QMenu extra;
    QAction* first = extra.addAction(QStringLiteral("first"));
    QMenu* sub = extra.addMenu(QStringLiteral("sub"));
    QAction* inner = sub->addAction(QStringLiteral("inner"));
    cv::SetMenuTag(first, TagOf(cv::TMenuCommand::Clusters));
    cv::SetMenuTag(sub->menuAction(), TagOf(cv::TMenuCommand::Clusters)); // the same tag: skipped with its sub-items
    cv::SetMenuTag(inner, TagOf(cv::TMenuCommand::AssociatesFollowUp));
    std::vector<QAction*> visited;
    cv::VisitMenuItemsOnceWithMode({extra.menuAction()}, 7, [&](int mode, QAction* item) {
        EXPECT_EQ(mode, 7);
        visited.push_back(item);
    });
    EXPECT_EQ(visited, (std::vector<QAction*>{extra.menuAction(), first}));
}

TEST_F(DataModuleTest, UnhandledTagsReachTheCurrentGridAsGridCommands)
{
    ShowSample();
    int zaps = 0;
    window->freq->HandlersB.ZapMarked = [&](cv::TCV_Grid* grid) {
        EXPECT_EQ(grid, window->freq);
        ++zaps;
    };
    QAction* zap = Item(cv::TMenuCommand::Zap);
    zap->trigger();
    EXPECT_EQ(zaps, 0) << "posted, not called";
    QApplication::processEvents();
    EXPECT_EQ(zaps, 1);
    // A tag no handler knows reaches the grid as 6024 with 5000 + tag.
    QAction extraItem(QStringLiteral("extra"));
    cv::SetMenuTag(&extraItem, 300);
    window->HandleMenuItemClick(&extraItem);
    QApplication::processEvents();
    EXPECT_EQ(window->freq->UnhandledCommands(), 1);
    // The same message from anywhere does the same.
    ASSERT_TRUE(cv::PostMessage(window->freq->WindowHandle(), cv::kMsgGridCommand, cv::kGridCommandBase + TagOf(cv::TMenuCommand::Zap), 0));
    QApplication::processEvents();
    EXPECT_EQ(zaps, 2);
    // Negative tags go nowhere.
    cv::SetMenuTag(&extraItem, -5);
    window->HandleMenuItemClick(&extraItem);
    QApplication::processEvents();
    EXPECT_EQ(window->freq->UnhandledCommands(), 1);
}

TEST_F(DataModuleTest, TheWindowTakesNumberDisplayAndTypingModeCommandsItself)
{
    ShowSample();
    Item(cv::TMenuCommand::NumbersPerMillion)->trigger();
    EXPECT_EQ(cv::GetDisplayWordsPerMillion(), 4);
    EXPECT_TRUE(Item(cv::TMenuCommand::NumbersPerMillion)->isChecked());
    Item(cv::TMenuCommand::NumbersDefault)->trigger();
    EXPECT_EQ(cv::GetDisplayWordsPerMillion(), 0);
    // Typing mode through the grid's handler of group C.
    window->ChangeTypingMode(window->freq, 1);
    EXPECT_TRUE(module->SetCategoriesChoice1->isChecked());
    EXPECT_FALSE(module->typeinchoice1->isChecked());
    EXPECT_EQ(cv::GetKeypressMode(), 1);
    EXPECT_TRUE(cv::GetMenuItemChecked(cv::TMenuCommand::SetCategories));
}

TEST_F(DataModuleTest, HelpGoesToTheHelpFileOrTheHelpPages)
{
    const QString helpFile = dir.write(QStringLiteral("help.html"), "<html></html>");
    cv::SetHelpfilename(helpFile);
    cv::SetCVHelpAccessMode(0);
    EXPECT_TRUE(module->HandleAHelpFileChoice(2700));
    ASSERT_EQ(desktop.Opened().size(), 1u);
    EXPECT_EQ(desktop.Opened()[0].toLocalFile(), helpFile);
    EXPECT_EQ(desktop.Opened()[0].fragment(), QStringLiteral("context-2700"));

    cv::SetCVHelpAccessMode(1);
    cv::SetCVHelpBaseAddress(QStringLiteral("https://help.invalid/wordlist/"));
    EXPECT_FALSE(module->HandleAHelpFileChoice(1234));
    EXPECT_EQ(desktop.Opened().back().toString(), QStringLiteral("https://help.invalid/wordlist/index.html?contextid=1234"));
    // Without an address the help pages are those beside the help file.
    cv::SetCVHelpBaseAddress({});
    module->HandleAHelpFileChoice(5);
    EXPECT_EQ(desktop.Opened().back(), QUrl(QUrl::fromLocalFile(dir.path()).toString() + "/index.html?contextid=5"));

    cv::SetCVHelpAccessMode(2);
    EXPECT_FALSE(module->HandleAHelpFileChoice(5));
    EXPECT_EQ(desktop.Opened().size(), 3u);

    // A help file that is missing is reported, not claimed as shown.
    cv::SetCVHelpAccessMode(0);
    cv::SetHelpfilename(dir.file(QStringLiteral("gone.chm")));
    EXPECT_FALSE(module->HandleAHelpFileChoice(5));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
}

TEST_F(DataModuleTest, WithoutABrowserTheUserIsToldTheHelpPagesAddress)
{
    cv::SetCVHelpAccessMode(1);
    cv::SetCVHelpBaseAddress(QStringLiteral("http://127.0.0.1:8123/"));
    desktop.QueueAnswer(false);
    module->HandleAHelpFileChoice(2700);
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoBrowserForHelp")});
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("No web browser was found")));
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("http://127.0.0.1:8123/index.html?contextid=2700")));

    // The help file, in a viewer that is not there either: its address.
    const QString helpFile = dir.write(QStringLiteral("help.html"), "<html></html>");
    cv::SetHelpfilename(helpFile);
    cv::SetCVHelpAccessMode(0);
    desktop.QueueAnswer(false);
    EXPECT_FALSE(module->HandleAHelpFileChoice(2700));
    ASSERT_EQ(dialogs.Requests().size(), 2u);
    EXPECT_TRUE(dialogs.Requests()[1].text.contains(QUrl::fromLocalFile(helpFile).toString() + QStringLiteral("#context-2700")));
    // A browser that takes the page: nothing is said.
    module->HandleAHelpFileChoice(2700);
    EXPECT_EQ(dialogs.Requests().size(), 2u);
}

TEST_F(DataModuleTest, TheBestHelpContextComesFromTheControlUnderTheMouse)
{
    QWidget outer;
    QWidget* inner = new QWidget(&outer);
    QWidget* innermost = new QWidget(inner);
    QWidget* pointed = nullptr;
    module->WidgetUnderMouse = [&] { return pointed; };
    EXPECT_EQ(module->GetTheBestHelpContext(0), 1000) << "nothing under the mouse";
    EXPECT_EQ(module->GetTheBestHelpContext(4380), 4380);
    cv::SetHelpContext(&outer, 2850);
    cv::SetHelpContext(inner, 12); // too small to be a context: the parent's counts
    pointed = innermost;
    EXPECT_EQ(module->GetTheBestHelpContext(0), 2850);
    cv::SetHelpContext(innermost, 4560);
    EXPECT_EQ(module->GetTheBestHelpContext(0), 4560);

    // Message 1168 and the context-help pop-up go the same way.
    const QString helpFile = dir.write(QStringLiteral("help.htm"), "<html></html>");
    cv::SetHelpfilename(helpFile);
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kMsgHelpRequest, 0, 0));
    QApplication::processEvents();
    ASSERT_EQ(desktop.Opened().size(), 1u);
    EXPECT_EQ(desktop.Opened()[0].fragment(), QStringLiteral("context-4560"));
    emit module->PopupActionBar1->aboutToShow();
    module->WhatsThis1->trigger();
    EXPECT_EQ(desktop.Opened().back().fragment(), QStringLiteral("context-4560"));
    // The Help command shows the main page of the tool.
    Item(cv::TMenuCommand::Help)->trigger();
    EXPECT_EQ(desktop.Opened().back().fragment(), QStringLiteral("context-2700"));
}

TEST_F(DataModuleTest, SmallerServicesOfTheModule)
{
    module->HandleUnOrRedoAction(QStringLiteral("Undo delete"), false, 2);
    EXPECT_EQ(module->Undo1->text(), QStringLiteral("Undo delete"));
    EXPECT_TRUE(module->Undo1->isEnabled());
    module->HandleUnOrRedoAction({}, true, 1);
    EXPECT_TRUE(module->ReDo1->isEnabled());
    module->ResetUnOrRedoActions();
    EXPECT_FALSE(module->ReDo1->isEnabled());
    EXPECT_EQ(module->Undo1->text(), QStringLiteral("Undo delete")) << "an empty caption keeps the old one";

    module->SetTypeSetEditMenuItems(2);
    EXPECT_TRUE(module->editingdataChoice1->isChecked());
    module->SetMenuItemVisible(TagOf(cv::TMenuCommand::MarkMatches), false);
    module->SetMenuItemVisible(TagOf(cv::TMenuCommand::Clusters), false);
    EXPECT_FALSE(module->computeMatches1->isVisible());
    EXPECT_TRUE(Item(cv::TMenuCommand::Clusters)->isVisible()) << "only the match items are handled";

    EXPECT_EQ(cv::TDataModuleCorvantis::MenuFamilyOfListType(19), 0);
    EXPECT_EQ(cv::TDataModuleCorvantis::MenuFamilyOfListType(24), 1);
    EXPECT_EQ(cv::TDataModuleCorvantis::MenuFamilyOfListType(14), 10);
    EXPECT_EQ(cv::TDataModuleCorvantis::MenuFamilyOfListType(23), 23);

    // The undo item follows the history of the current page's list.
    ShowSample();
    EXPECT_FALSE(module->Undo1->isEnabled());
    window->Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    EXPECT_TRUE(module->Undo1->isEnabled());

    // "Fast Exit" ends the program without questions.
    module->FastExit1->trigger();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window->CloseQueryChecks());
    EXPECT_TRUE(dialogs.Routines().isEmpty());
}

TEST_F(DataModuleTest, CommandsGoToTheLastWindowThatShowsTheMenus)
{
    std::vector<int> first, second;
    QObject a, b;
    module->SetCommandTarget(&a, [&](QAction* item) { first.push_back(cv::MenuTag(item)); });
    module->SetCommandTarget(&b, [&](QAction* item) { second.push_back(cv::MenuTag(item)); });
    Item(cv::TMenuCommand::Clusters)->trigger();
    module->SetCommandTarget(&a, nullptr); // not the current target: nothing changes
    Item(cv::TMenuCommand::Relationships)->trigger();
    module->SetCommandTarget(&b, nullptr);
    Item(cv::TMenuCommand::Concordance)->trigger();
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(second, (std::vector<int>{TagOf(cv::TMenuCommand::Clusters), TagOf(cv::TMenuCommand::Relationships)}));
    // A window that goes lets go of the menus.
    auto target = std::make_unique<QObject>();
    module->SetCommandTarget(target.get(), [&](QAction* item) { first.push_back(cv::MenuTag(item)); });
    target.reset();
    Item(cv::TMenuCommand::Clusters)->trigger();
    EXPECT_TRUE(first.empty());
}

TEST_F(DataModuleTest, ToolButtonsAreMadeForItemsWithAnImageAndReused)
{
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::red);
    Item(cv::TMenuCommand::Clusters)->setIcon(QIcon(pixmap));
    Item(cv::TMenuCommand::ContextHelp)->setIcon(QIcon(pixmap));
    cv::TCustomisableMenuItemsList source;
    source.AddOne(Item(cv::TMenuCommand::Clusters));
    source.AddOne(Item(cv::TMenuCommand::Copy)); // no image: a menu item only
    source.AddOne(Item(cv::TMenuCommand::ContextHelp));
    QMenu menu;
    QWidget panel;
    panel.resize(400, 30);
    cv::TToolButtonTable buttons;
    std::vector<int> clicked;
    const auto click = [&](QAction* item) { clicked.push_back(cv::MenuTag(item)); };
    cv::BuildMenuAndToolButtons(&menu, &panel, buttons, source, click);
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(cv::MenuTag(menu.actions()[1]), TagOf(cv::TMenuCommand::Copy));
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].first, TagOf(cv::TMenuCommand::Clusters));
    EXPECT_LT(buttons[0].second->x(), buttons[1].second->x());
    EXPECT_EQ(cv::HelpContextOf(buttons[1].second), -1) << "the context-help button has no help of its own";
    buttons[0].second->click();
    menu.actions()[1]->trigger();
    EXPECT_EQ(clicked, (std::vector<int>{TagOf(cv::TMenuCommand::Clusters), TagOf(cv::TMenuCommand::Copy)}));
    // Built again: the buttons on the panel are reused.
    QToolButton* first = buttons[0].second;
    cv::BuildMenuAndToolButtons(&menu, &panel, buttons, source, click);
    EXPECT_EQ(buttons[0].second, first);
    EXPECT_EQ(panel.findChildren<QToolButton*>().size(), 2);
}


// A fresh settings buffer: no shortcut is stored for two commands (the menu
// gives Ctrl+Shift+F8 to two), so the controller's customising takes the
// user's choice at once; the grids offer a right-click menu from the start.
TEST_F(DataModuleTest, AFreshBufferHasNoClashAndARightClickMenu)
{
    const auto table = cv::GetMenuCurrentShortcuts();
    std::map<uint16_t, int> holders;
    for (int tag = 0; tag <= cv::kLastCustomisableTag; ++tag)
        if (table[size_t(tag)] != 0)
            EXPECT_TRUE(holders.emplace(table[size_t(tag)], tag).second)
                << cv::ShortCutToText(table[size_t(tag)]).toStdString() << " stored for " << holders[table[size_t(tag)]]
                << " and " << tag;
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::GrowCurrentRow)), cv::TextToShortCut(QStringLiteral("Ctrl+Shift+F8")));
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::AutoRowHeight)), 0);

    // The right-click menu of a grid, before any customising.
    ASSERT_FALSE(window->PopupMenuForGrids->isEmpty());
    QStringList offered;
    for (QAction* a : window->PopupMenuForGrids->actions())
        offered << a->text();
    EXPECT_TRUE(offered.contains(QStringLiteral("Copy")));
    EXPECT_TRUE(offered.contains(QStringLiteral("Layout")));
    EXPECT_LE(offered.size(), 10);

    // Customise > tick a command for the right-click menu > OK: stored, nothing refused.
    cv::TMenuCommandsOfTools commands;
    for (int tag = 1; tag <= cv::kLastCustomisableTag; ++tag)
        if (const QAction* item = Item(tag); item && !item->text().isEmpty() && tag != TagOf(cv::TMenuCommand::LastFile))
            commands.commands.push_back({tag, item->text()});
    commands.toSequence = [](uint16_t code) { return cv::ShortCutToKeySequence(code); };
    commands.fromSequence = [](const QKeySequence& key) { return cv::KeySequenceToShortCut(key); };
    commands.shortcutText = [](uint16_t code) { return cv::ShortCutToText(code); };
    commands.trySetShortcut = [this](int tag, const QString& caption, uint16_t s) {
        return module->TryToSetAShortCut(tag, caption, s);
    };
    commands.normaliseEntry = [this](QString& entry) { module->CheckMenuCompatibility(entry); };
    commands.setRightClickEntries = [this](const QStringList& entries) { module->SetRightClickMenuItems(&entries); };
    cv::TControllerCustomiseWindow customise(commands);
    customise.SetOnRightClickMenu(TagOf(cv::TMenuCommand::Copy), false);
    customise.SetOnRightClickMenu(TagOf(cv::TMenuCommand::Clusters), true);
    customise.SetShortcut(TagOf(cv::TMenuCommand::Clusters), QKeySequence(QStringLiteral("Ctrl+K")));
    bool stored = false;
    customise.OnStored = [&] { stored = true; };
    customise.OkClick();
    EXPECT_TRUE(stored) << customise.ProblemLabel->text().toStdString();
    EXPECT_TRUE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Clusters)));
    EXPECT_FALSE(cv::GetPopupMenuTagInUse(TagOf(cv::TMenuCommand::Copy)));
    EXPECT_EQ(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::Clusters)), cv::TextToShortCut(QStringLiteral("Ctrl+K")));
    // The tool told, its grids offer the new choice.
    window->SettingsChanged(cv::kCodeReReadSettings);
    offered.clear();
    for (QAction* a : window->PopupMenuForGrids->actions())
        offered << a->text();
    EXPECT_TRUE(offered.contains(QStringLiteral("Clusters")));
    EXPECT_FALSE(offered.contains(QStringLiteral("Copy")));
    // Eleven ticks are refused with a word, not cut to ten unseen.
    using enum cv::TMenuCommand;
    for (cv::TMenuCommand command :
         {PrintPreview, Delete, RestoreDeleted, Mark, JoinRows, Unjoin, EditData, Layout, Find, Grow, Shrink})
        customise.SetOnRightClickMenu(TagOf(command), true);
    EXPECT_FALSE(customise.Store().isEmpty());
}

// The Undo and Redo items name the step and keep saying what they do.
TEST_F(DataModuleTest, UndoAndRedoItemsNameTheirStep)
{
    ShowSample();
    cv::TCVBaseDataClass& list = *window->freq->List();
    module->FollowUndoOf(list);
    EXPECT_EQ(cv::StripHotkey(Item(cv::TMenuCommand::Undo)->text()), QStringLiteral("Undo"));
    EXPECT_FALSE(Item(cv::TMenuCommand::Undo)->isEnabled());
    list.SetACategoryString(0, 1, QStringLiteral("x"), true); // an undoable step named "Category"
    EXPECT_EQ(cv::StripHotkey(Item(cv::TMenuCommand::Undo)->text()), QStringLiteral("Undo Category"));
    EXPECT_TRUE(Item(cv::TMenuCommand::Undo)->isEnabled());
    list.Undo();
    EXPECT_EQ(cv::StripHotkey(Item(cv::TMenuCommand::Redo)->text()), QStringLiteral("Redo Category"));
    EXPECT_EQ(cv::StripHotkey(Item(cv::TMenuCommand::Undo)->text()), QStringLiteral("Undo"));
}

// Captions lose their access keys but keep a doubled "&" as one.
TEST(AccessKeys, ADoubledAmpersandIsALiteralOne)
{
    EXPECT_EQ(cv::StripHotkey(QStringLiteral("Stop-, Lemma- && Matchlists")), QStringLiteral("Stop-, Lemma- & Matchlists"));
    EXPECT_EQ(cv::StripHotkey(QStringLiteral("&Undo")), QStringLiteral("Undo"));
    EXPECT_EQ(cv::StripHotkey(cv::WithoutAccessKeys(QStringLiteral("such as &amp; become"))),
              QStringLiteral("such as &amp; become"));
}

} // namespace
} // namespace framework_test
