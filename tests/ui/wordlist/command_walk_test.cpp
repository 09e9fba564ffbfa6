// The walk over every command a user can reach: on each kind of page the
// window shows, every visible and enabled menu item is chosen in turn, with
// the program's own dialogs answered by script (modal dialogs are cancelled,
// message boxes take their default answer, file dialogs are cancelled).
// A command that reaches no handler (no window procedure took it and the
// page grid had none for it) fails the walk, and so does a command that
// only says it is not built.

#include "wordlist_commands_testutil.h"
#include "runtime/progress.h"

#include <QClipboard>
#include <QDateTime>
#include <QDirIterator>
#include <QRegularExpression>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/tool_data_module.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/views/view_windows.h"

namespace wordlist_window_test {
namespace {

// Every menu item a user can choose now: visible, enabled, not a submenu header.
void CollectItems(const QList<QAction*>& actions, std::vector<QAction*>& out)
{
    for (QAction* a : actions) {
        if (a->isSeparator() || !a->isVisible() || !a->isEnabled())
            continue;
        if (QMenu* sub = a->menu())
            CollectItems(sub->actions(), out);
        else
            out.push_back(a);
    }
}

// Commands that may change nothing a user sees on a page of the walk, and
// why; on the pages named, or on every page when none is named.
struct TQuiet {
    const char* why;
    std::set<std::string> pages;
};
const std::map<cv::TMenuCommand, TQuiet> kQuietCommands = [] {
    using enum cv::TMenuCommand;
    const std::set<std::string> noIndex{"frequency", "alphabetical", "consistency", "consistency relations",
                                        "plain-text list"};
    return std::map<cv::TMenuCommand, TQuiet>{
        {PageSetup, {"Page Setup does nothing in this tool", {}}},
        {Refresh, {"Refresh draws the grid as it was", {}}},
        {DefaultColumnWidths, {"the columns may have their default widths already", {}}},
        {AutoRowHeight, {"the rows may have their height already", {}}},
        {ClearAllMarking, {"nothing is marked on a page just made", {}}},
        {Unmark, {"nothing is marked on a page just made", {}}},
        {Unjoin, {"nothing is joined on a page just made", {}}},
        {UnjoinAll, {"nothing is joined on a page just made", {}}},
        {JoinRows, {"one row and no row chosen before it: nothing to join it to", {}}},
        {ClearSetColumn, {"the set column holds no categories yet", {}}},
        {EditSetColumn, {"the list shown has no set column to edit", {"statistics", "filenames", "relationships"}}},
        {TypeIn, {"the typing mode is type-in already", {}}},
        {NumbersDefault, {"the numbers show as by default already", {}}},
        {TagsHidden, {"the tags are hidden already", {}}},
        {Play, {"the row is read aloud: heard, not seen", {}}},
        {JoinClusters, {"only clusters made from an index can be joined", noIndex}},
        {ExportData, {"only an index has data to export", noIndex}},
        {Concordance, {"a consistency list names no texts to concordance", {"consistency", "consistency relations"}}},
        {Timeline, {"a word list has no time line: the command is the concordance tool's", {"filenames"}}},
    };
}();

// What some commands must change, whatever the page.
const std::map<cv::TMenuCommand, const char*> kExpectedChange = [] {
    using enum cv::TMenuCommand;
    std::map<cv::TMenuCommand, const char*> expected;
    for (cv::TMenuCommand c : {Colours, Font, Language, Folders, TagSettings, StopLemmaMatchLists, ChooseTexts,
                               Customise, AboutAndMemory})
        expected[c] = "controller";
    for (cv::TMenuCommand c : {Layout, PrintPreview, SearchAndReplace, SearchText, Find, DeleteIf, ColourCategories,
                               SaveAsPlainText, SaveAsXml, SaveAsSpreadsheet, SaveAsRtf, Help})
        expected[c] = "dialog";
    return expected;
}();

// A page kind: how its document is made and which page shows it.
struct TPageKind {
    const char* name;
    std::function<QWidget*(class CommandWalkTest&)> make;
};

class CommandWalkTest : public WordListCommandsTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        RemakeWindowWithMenus();
        module->TerminateApplication = [this] { ++terminations; };
        window->resize(1000, 700);
        window->show();
        jobDialogs = std::make_unique<cv::TDialogJobChoices>(window.get());
        views = std::make_unique<cv::TViewWindows>(window.get());
        commandDialogs = std::make_unique<cv::TDialogCommandChoices>(*jobDialogs, commands);
        commandDialogs->SetViewWindows(views.get());
            }
    void TearDown() override
    {
        window->SetCommandChoices(nullptr);
        commandDialogs.reset();
        views.reset();
        jobDialogs.reset();
        WordListCommandsTest::TearDown();
    }

    // The document of a page kind, made with the fixed choices (so its making asks nothing).
    QWidget* Make(int kind);
    // Three saved word lists, made once, for the detailed consistency pages.
    QStringList ConsistencyLists()
    {
        const QStringList texts = {QStringLiteral("the cat the dog"), QStringLiteral("the dog barks at a cat"),
                                   QStringLiteral("a bird")};
        const QStringList names = {QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")};
        QStringList files;
        for (int i = 0; i < names.size(); ++i) {
            const QString file = dir.file(names[i] + QStringLiteral(".lst"));
            files << (QFileInfo::exists(file) ? file : SavedWordList(names[i], texts[i]));
        }
        return files;
    }
    // The index of the corpus: made once, opened afresh for each command.
    void Index()
    {
        const QString base = dir.file(QStringLiteral("corpus"));
        if (QFileInfo::exists(cv::IndexFileName(base, cv::TIndexFileKind::Tokens)))
            OpenIndex(base);
        else
            IndexOf(kCorpus);
    }
    // A word list of one text compared with a reference list; then its plots or links.
    QWidget* KeyWords(std::optional<cv::TMenuCommand> then)
    {
        KeyWordsOfOneText();
        if (!then)
            return window->AdvOfficePageKWs;
        Show(window->AdvOfficePageKWs);
        MenuCommand(*then);
        return then == cv::TMenuCommand::Plot ? window->AdvOfficePageKWPlot : window->AdvOfficePageKWLinks;
    }

    // What a user can see or get of the window's state: the current grid
    // (its rows, columns, headings, the cells of its first rows with their
    // deleted and mark states, its row heights), the page shown, the files
    // of the test's folder, the window (caption, check marks, status bar,
    // tool bar), windows and dialogs that came up, messages, pages opened
    // on the desktop, commands to the controller and the clipboard.
    struct TSeen {
        std::map<QString, QString> parts; // kind -> what it showed
    };
    TSeen Seen()
    {
        TSeen seen;
        QStringList grid;
        if (cv::TCV_Grid* g = CurrentGrid()) {
            grid << QStringLiteral("%1x%2 rows %3").arg(g->RowCount()).arg(g->ColCount()).arg(g->View()->verticalHeader()->defaultSectionSize());
            for (int row = 0; row < std::min(g->RowCount(), 30); ++row) {
                QStringList cells;
                for (int c : g->ShownColumns())
                    cells << g->Cells(c, row);
                if (row > 0) {
                    const QModelIndex at = g->Proxy()->index(row - 1, 0);
                    cells << at.data(cv::kDeletedRole).toString() << at.data(cv::kMarkRole).toString()
                          << QString::number(g->View()->rowHeight(row - 1));
                }
                grid << cells.join(u'\t');
            }
            grid << QString::number(g->View()->font().pointSizeF()) << QString::number(g->View()->currentIndex().row());
        }
        seen.parts["grid"] = grid.join(u'\n');
        seen.parts["page"] = window->MyOfficePager ? QString::number(window->MyOfficePager->currentIndex()) + u'/' +
                                                         QString::number(window->MyOfficePager->count())
                                                   : QString();
        QStringList listing;
        QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo f(it.next());
            listing << f.filePath() + u' ' + QString::number(f.size()) + u' ' +
                         QString::number(f.lastModified().toMSecsSinceEpoch());
        }
        listing.sort();
        seen.parts["file"] = listing.join(u'\n');
        QStringList look{window->windowTitle(), QString::number(window->ContainBoxMainTop->isVisible()),
                         QString::number(window->AdvOfficeStatusBar1->isVisible())};
        std::vector<QAction*> items;
        CollectItems(window->menuBar()->actions(), items);
        for (QAction* a : items)
            look << a->text() + (a->isChecked() ? QStringLiteral("*") : QString());
        for (int p = 0; p < window->AdvOfficeStatusBar1->PanelCount(); ++p)
            look << window->AdvOfficeStatusBar1->PanelText(p);
        seen.parts["window"] = look.join(u'\n');
        QStringList shown = modalShown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != window.get() && w->isVisible() && !qobject_cast<QMenu*>(w))
                shown << QString::fromLatin1(w->metaObject()->className()) + u' ' + w->windowTitle();
        seen.parts["dialog"] = shown.join(u'\n') + u'\n' + dialogs.Routines().join(u',') + u'\n' +
                               QString::number(desktop.Opened().size()) + u' ' +
                               QString::number(files.Requests().size()) + u' ' + QString::number(terminations);
        std::vector<int> posted = Posted();
        QStringList codes;
        for (int code : posted)
            codes << QString::number(code);
        seen.parts["controller"] = codes.join(u',');
        seen.parts["clipboard"] = QApplication::clipboard()->text();
        return seen;
    }
    // The kinds of what changed between two looks.
    static QStringList Changed(const TSeen& before, const TSeen& after)
    {
        QStringList kinds;
        for (const auto& [kind, text] : after.parts)
            if (kind == "controller" ? !text.isEmpty() : before.parts.at(kind) != text)
                kinds << kind;
        return kinds;
    }

    // Chooses one menu item as a user would, then closes what it left open;
    // what changed for the user.
    QStringList ChooseItem(QAction* item)
    {
        window->SetCommandChoices(commandDialogs.get());
        cv::TModalRunnerGuard runner([this](QDialog& d) {
            modalShown << QString::fromLatin1(d.metaObject()->className());
            return int(QDialog::Rejected);
        });
        QApplication::clipboard()->clear();
        const TSeen before = Seen();
        item->trigger();
        QApplication::processEvents();
        QApplication::processEvents();
        const QStringList changed = Changed(before, Seen());
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != window.get() && w->isVisible() && !qobject_cast<QMenu*>(w))
                w->close();
        QApplication::processEvents();
        window->SetCommandChoices(&commands);
        return changed;
    }

    void WalkPage(int kind)
    {
        QWidget* page = Make(kind);
        ASSERT_NE(page, nullptr);
        ASSERT_NE(Doc(), nullptr) << kinds[kind].name;
        ASSERT_TRUE(window->PageVisible(page)) << kinds[kind].name;
        window->ActivatePage(page);
        QApplication::processEvents();
        // A page of a grid shows its list.
        if (auto* grid = page->findChild<cv::TCV_Grid*>())
            ASSERT_GT(grid->RowCount(), 1) << kinds[kind].name;
        window->ActivatePage(page);
        QApplication::processEvents();
        std::vector<QAction*> items;
        CollectItems(window->menuBar()->actions(), items);
        ASSERT_FALSE(items.empty());
        std::vector<int> tags;
        for (QAction* a : items)
            tags.push_back(cv::MenuTag(a));
        for (int tag : tags) {
            // Each command on the page as it was made.
            dialogs.Clear();
            page = Make(kind);
            window->ActivatePage(page);
            QApplication::processEvents();
            if (cv::TCV_Grid* grid = CurrentGrid(); grid && grid->RowCount() > 1) {
                // The first row of an entry (a plot's first rows are its overall ones).
                int row = 1;
                while (row + 1 < grid->RowCount() && grid->EntryOfGridRow(row) < 0)
                    ++row;
                grid->View()->setCurrentIndex(grid->Proxy()->index(row - 1, 1));
            }
            std::vector<QAction*> now;
            CollectItems(window->menuBar()->actions(), now);
            QAction* item = nullptr;
            for (QAction* a : now)
                if (cv::MenuTag(a) == tag)
                    item = a;
            if (!item)
                continue; // an earlier command of the walk took it away (it is walked on its own page)
            const int before = window->UnhandledMenuCommands();
            const QStringList changed = ChooseItem(item);
            // Each command shows its work: in the grid, a file, the window, a
            // dialog, the controller or the clipboard (those that change
            // nothing on a page like this one say so in kQuietCommands).
            const auto quiet = kQuietCommands.find(cv::TMenuCommand(tag));
            if (quiet == kQuietCommands.end() ||
                (!quiet->second.pages.empty() && !quiet->second.pages.contains(kinds[kind].name)))
                EXPECT_FALSE(changed.isEmpty()) << "page " << kinds[kind].name << ": \"" << item->text().toStdString()
                                                << "\" (" << tag << ") changed nothing a user sees";
            if (const auto expected = kExpectedChange.find(cv::TMenuCommand(tag)); expected != kExpectedChange.end())
                EXPECT_TRUE(changed.contains(QString::fromLatin1(expected->second)))
                    << "page " << kinds[kind].name << ": \"" << item->text().toStdString() << "\" (" << tag
                    << ") changed " << changed.join(u',').toStdString() << ", not the " << expected->second;
            EXPECT_EQ(window->UnhandledMenuCommands(), before)
                << "page " << kinds[kind].name << ": \"" << item->text().toStdString() << "\" (" << tag
                << ") reached no handler";
            EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("NotImplemented")))
                << "page " << kinds[kind].name << ": \"" << item->text().toStdString() << "\" (" << tag << ")";
            walked.insert(tag);
        }
    }

    // Every shortcut of the page's visible commands, typed on the window,
    // reaches its menu command (which the walk above follows to its handler).
    void WalkShortcuts(int kind)
    {
        QWidget* page = Make(kind);
        ASSERT_NE(page, nullptr);
        window->ActivatePage(page);
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
        std::vector<QAction*> items;
        CollectItems(window->menuBar()->actions(), items);
        // The commands go to a recorder meanwhile: a shortcut is only typed here.
        QObject recorder;
        std::vector<int> reached;
        module->SetCommandTarget(&recorder, [&reached](QAction* a) { reached.push_back(cv::MenuTag(a)); });
        int typed = 0;
        for (QAction* a : items) {
            const QKeySequence key = a->shortcut();
            if (key.isEmpty())
                continue;
            reached.clear();
            QTest::keySequence(window.get(), key);
            QApplication::processEvents();
            EXPECT_EQ(reached, std::vector<int>{cv::MenuTag(a)})
                << "page " << kinds[size_t(kind)].name << ": " << key.toString().toStdString() << " of \""
                << a->text().toStdString() << "\" (" << cv::MenuTag(a) << ")";
            ++typed;
        }
        module->SetCommandTarget(window.get(), [this](QAction* a) { window->HandleMenuItemClick(a); });
        EXPECT_GT(typed, 0);
    }

    std::unique_ptr<cv::TDialogJobChoices> jobDialogs;
    std::unique_ptr<cv::TViewWindows> views;
    std::unique_ptr<cv::TDialogCommandChoices> commandDialogs;
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard{&desktop};
    QStringList modalShown;
    std::set<int> walked;
    int terminations = 0;
    static const std::vector<TPageKind> kinds;
};

// Two-word clusters seen at least twice, with or without phrase frames.
void ClusterSettings(bool phraseFrames)
{
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(phraseFrames ? 3 : 2);
    s.SetMinShowFrequency(2);
    s.SetClusterMinTexts(1);
    s.SetOmitPhraseFrames(!phraseFrames);
    s.SetClusterListsPerText(false);
    cv::SetWordlistIndexSettings(s);
}

class CommandWalkButtonsTest : public WordListMenusTest {
protected:
    void SetUp() override
    {
        WordListMenusTest::SetUp();
        // Help pages at an address of the test's own.
        cv::SetCVHelpAccessMode(1);
        cv::SetCVHelpBaseAddress(QStringLiteral("file:///help/"));
    }
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard{&desktop};
};

QWidget* CommandWalkTest::Make(int kind)
{
    window->CloseData(true);
    window->ChosenTexts->ClearThem();
    dialogs.Clear();
    return kinds[size_t(kind)].make(*this);
}

const std::vector<TPageKind> CommandWalkTest::kinds = {
    {"frequency", [](CommandWalkTest& t) { t.WordListOf(kCorpus); return t.window->AdvOfficePageFrequency; }},
    {"alphabetical", [](CommandWalkTest& t) { t.WordListOf(kCorpus); return t.window->AdvOfficePageAlph; }},
    {"statistics", [](CommandWalkTest& t) { t.WordListOf(kCorpus); return t.window->AdvOfficePageStatistics; }},
    {"filenames", [](CommandWalkTest& t) { t.WordListOf(kCorpus); return t.window->AdvOfficePageFilenames; }},
    {"notes", [](CommandWalkTest& t) { t.WordListOf(kCorpus); return t.window->AdvOfficePageNotes; }},
    {"consistency",
     [](CommandWalkTest& t) {
         t.choices.consistencyFiles = t.ConsistencyLists();
         t.Request(cv::kListDetailedConsistency);
         return t.window->AdvOfficePageConsistency;
     }},
    {"consistency relations",
     [](CommandWalkTest& t) {
         t.choices.consistencyFiles = t.ConsistencyLists();
         t.Request(cv::kListDetailedConsistency);
         return t.window->AdvOfficePageConsistencyRelations;
     }},
    {"index freq.", [](CommandWalkTest& t) { t.Index(); return t.window->AdvOfficePageIndexFreq; }},
    {"index alph.", [](CommandWalkTest& t) { t.Index(); return t.window->AdvOfficePageIndexAlph; }},
    {"clusters",
     [](CommandWalkTest& t) {
         t.Index();
         ClusterSettings(false);
         t.Show(t.window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
         return t.window->AdvOfficePageFrequency;
     }},
    {"phrase frames",
     [](CommandWalkTest& t) {
         t.Index();
         ClusterSettings(true);
         t.Show(t.window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters);
         return t.window->AdvOfficePageAlph;
     }},
    {"relationships",
     [](CommandWalkTest& t) {
         t.Index();
         EveryNeighbour();
         t.Show(t.window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Relationships);
         return t.window->AdvOfficePageIndexRelations;
     }},
    {"key words", [](CommandWalkTest& t) { return t.KeyWords(std::nullopt); }},
    {"key-word plot", [](CommandWalkTest& t) { return t.KeyWords(cv::TMenuCommand::Plot); }},
    {"key-word links", [](CommandWalkTest& t) { return t.KeyWords(cv::TMenuCommand::Links); }},
    {"plain-text list",
     [](CommandWalkTest& t) {
         const QString folder = t.dir.file(QStringLiteral("lists"));
         QDir().mkpath(folder);
         t.choices.plainText.files = {t.Text(QStringLiteral("mine.txt"), QStringLiteral("the\t12\ncat\t5\ndog\t2\n"))};
         t.choices.plainText.saveFolder = folder;
         t.dialogs.QueueAnswer(cv::TDialogAnswer::Yes); // view it now
         t.Request(cv::kListPlainTextWordList);
         return t.window->AdvOfficePageFrequency;
     }},
};

TEST_P(CommandWalkTest, EveryVisibleCommandReachesItsHandler) { WalkPage(GetParam()); }

TEST_P(CommandWalkTest, EveryShortcutReachesItsCommand) { WalkShortcuts(GetParam()); }

// The buttons of the window's tool bar and status bar.
TEST_F(CommandWalkButtonsTest, EveryButtonDoesWhatItSays)
{
    WordListOf(kCorpus);
    Show(window->AdvOfficePageFrequency);
    cv::TCVStatusBar& bar = *window->AdvOfficeStatusBar1;
    // Typing modes: "set", then "type".
    bar.ClickPanel(cv::kPanelSetButton);
    EXPECT_EQ(cv::GetKeypressMode(), 1);
    bar.ClickPanel(cv::kPanelTypeButton);
    EXPECT_EQ(cv::GetKeypressMode(), 0);
    // Stop asks first; agreed, the running job (its progress shows) stops at the end of its text.
    cv::GlobalProgress().ClearAllAndShow({}, 0);
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    bar.ClickPanel(cv::kPanelStopButton);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit")));
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicStopAtEndOfText);
    cv::GlobalProgress().Hide();
    cv::global_panic_state = cv::kPanicRun;
    // Help shows the page's topic.
    bar.ClickPanel(cv::kPanelHelpButton);
    ASSERT_EQ(desktop.Opened().size(), 1u);
    EXPECT_EQ(desktop.Opened().front().toString(), QStringLiteral("file:///help/index.html?contextid=4560"));
    // The typing tool bar's close button hides it.
    window->ContainBoxMainTop->show();
    ASSERT_TRUE(window->ContainBoxMainTop->isVisible());
    window->AdvGlowButtonClose->click();
    EXPECT_FALSE(window->ContainBoxMainTop->isVisible());
}

// The Compute menu as a user opens it: clicked in the menu bar before any
// list exists (nothing empty may pop up, or the menu never shows again),
// then after a word list is made, when it opens with its items.
TEST_F(CommandWalkButtonsTest, ComputeOpensWithItsItemsOnceAListIsMade)
{
    window->resize(900, 600);
    QApplication::setActiveWindow(window.get());
    QAction* compute = nullptr;
    for (QAction* a : window->menuBar()->actions())
        if (a->text().remove(u'&') == QStringLiteral("Compute"))
            compute = a;
    ASSERT_NE(compute, nullptr);
    const auto clickCompute = [&] {
        QTest::mouseClick(window->menuBar(), Qt::LeftButton, {}, window->menuBar()->actionGeometry(compute).center());
        QApplication::processEvents();
        return QApplication::activePopupWidget();
    };
    const auto closePopups = [] {
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            QApplication::processEvents();
        }
    };

    // The window as its start-up leaves it: no list, the menus fitted to
    // none (this window's, not those of the fixture's first window).
    cv::ToolWindowList().last_menu_fit = {};
    window->RefreshDataDisplay();
    QWidget* before = clickCompute();
    EXPECT_EQ(before, nullptr) << "an empty Compute menu popped up";
    closePopups();

    WordListOf(kCorpus);
    Show(window->AdvOfficePageFrequency);
    auto* menu = qobject_cast<QMenu*>(clickCompute());
    ASSERT_NE(menu, nullptr) << "Compute did not open";
    EXPECT_EQ(menu, compute->menu());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_GT(menu->height(), 0);
    QStringList items;
    for (QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            items << a->text();
    EXPECT_TRUE(items.contains(QStringLiteral("KeyWords"))) << items.join(u',').toStdString();
    EXPECT_TRUE(items.contains(QStringLiteral("Word Cloud"))) << items.join(u',').toStdString();
    closePopups();
}

// The help sends the user only to commands the window offers: each menu
// path the help pages name ("Edit > Other sorts") is a command shown on
// some page of the window, or the help says it is a command of concordances
// (which this window never shows); and an Edit command that the page a word
// list opens on does not show is named with a page that shows it.
class HelpMenuPathsTest : public CommandWalkTest {};

// The menu paths shown now (captions without access keys or trailing dots, joined by " > ").
std::set<QString> ShownMenuPaths(const QList<QAction*>& actions, const QString& above = {})
{
    std::set<QString> paths;
    for (QAction* a : actions) {
        if (a->isSeparator() || !a->isVisible())
            continue;
        QString caption = a->text().remove(u'&').trimmed();
        while (caption.endsWith(u'.'))
            caption.chop(1);
        const QString path = above.isEmpty() ? caption : above + QStringLiteral(" > ") + caption.trimmed();
        if (QMenu* sub = a->menu()) {
            const std::set<QString> below = ShownMenuPaths(sub->actions(), path);
            paths.insert(below.begin(), below.end());
        }
        paths.insert(path);
    }
    return paths;
}

TEST_F(HelpMenuPathsTest, TheHelpNamesOnlyCommandsTheWindowShowsAndWhere)
{
    // Where each path shows.
    std::map<QString, std::set<std::string>> shownOn;
    for (size_t k = 0; k < kinds.size(); ++k) {
        QWidget* page = Make(int(k));
        ASSERT_NE(page, nullptr) << kinds[k].name;
        window->ActivatePage(page);
        QApplication::processEvents();
        for (const QString& path : ShownMenuPaths(window->menuBar()->actions()))
            shownOn[path].insert(kinds[k].name);
    }
    const QRegularExpression named(QStringLiteral("<b>((?:File|Edit|View|Compute|Settings|Help) &gt; [^<]*)</b>"));
    const QRegularExpression block(QStringLiteral("<(p|li|td|h[1-6])\\b[^>]*>(.*?)</\\1>"),
                                   QRegularExpression::DotMatchesEverythingOption);
    int checked = 0;
    QDirIterator pages(QStringLiteral(CV_HELP_DIR), {QStringLiteral("*.html")}, QDir::Files);
    while (pages.hasNext()) {
        const QString file = pages.next();
        const QString html = QString::fromUtf8(cvtest::readAll(file));
        for (const auto& b : block.globalMatch(html)) {
            const QString text = b.captured(2);
            const QString plain = QString(text).remove(QRegularExpression(QStringLiteral("<[^>]*>"))).simplified().toLower();
            for (const auto& m : named.globalMatch(text)) {
                QString path = m.captured(1).replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
                path = path.simplified();
                while (path.endsWith(u'.'))
                    path.chop(1);
                path = path.trimmed();
                SCOPED_TRACE((QFileInfo(file).fileName() + QStringLiteral(": ") + path).toStdString());
                ++checked;
                const auto where = shownOn.find(path);
                if (where == shownOn.end()) {
                    EXPECT_TRUE(plain.contains(QStringLiteral("concordance")))
                        << "the help names a command no page of the window shows, and does not say whose it is";
                    continue;
                }
                if (path.startsWith(QStringLiteral("Edit > ")) && !where->second.contains("frequency")) {
                    bool pageNamed = false;
                    for (const std::string& kind : where->second)
                        pageNamed = pageNamed || plain.contains(QString::fromStdString(kind) + QStringLiteral(" page"));
                    EXPECT_TRUE(pageNamed) << "shown only on other pages than a word list's first one, which the help does not name";
                }
            }
        }
    }
    EXPECT_GT(checked, 20) << "the help pages name the commands they explain";
}

INSTANTIATE_TEST_SUITE_P(Pages, CommandWalkTest, ::testing::Range(0, 16));

} // namespace
} // namespace wordlist_window_test
