// A linguist's day with the word-list tool, on a real X screen with a
// window manager (the test starts Xvfb and the window manager for it).
//
// The program is the tool as a user has it: the word-list window with its
// real message boxes, file dialogs and set-up dialogs, beside the suite's
// controller (run in this process, so that its windows can be looked at;
// a second window of the tool is a program of its own). A walker on a
// thread of its own works the windows as a user does, with real clicks and
// keys sent through the X server (xdotool), never by calling the window's
// code: it chooses the texts, makes a word list and saves it, deletes a
// row with the Delete key, zaps it, saves and opens the list again, makes an
// index with three cluster jobs (each offered its name beside the index)
// and relationships, a word list of one text with
// its key words, plot, links and cloud, a consistency list, a moving-window
// plot, a print preview, an export, asks for help where no browser is,
// opens a second window, customises a shortcut, and closes with unsaved
// data; then the window and the controller start again, and the shortcut
// and the reference list of the key words are still there. At each step
// it checks what the user sees
// (which window is in front and has the keyboard, as the window manager
// says; a grid's columns and first rows against counts made here from the
// texts; the question asked), keeps a picture of the whole screen in
// $CV_SCREENSHOT_DIR, and goes on. A step that cannot be reached ends the
// walk. Exit code 0 when every check held.
//
// Environment: CV_SCREENSHOT_DIR (pictures, texts, results), CV_WORDLIST_PROGRAM
// (the tool's program, for the second window), and the suite's own variables
// for a private suite (settings buffer, mutex, message sockets).

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeySequenceEdit>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "controller/controller.h"
#include "controller/customise_window.h"
#include "controller/text_chooser.h"
#include "gui/cv_grid.h"
#include "gui/desktop_services.h"
#include "gui/file_dialogs.h"
#include "gui/menu_shortcuts.h"
#include "gui/qt_dialog_service.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/start_wizard.h"
#include "ui/wordlist/views/moving_window_plot_form.h"
#include "ui/wordlist/views/view_windows.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/wordlist_holder.h"

namespace {

QString g_dir;

QString Path(const QString& name) { return QDir(g_dir).filePath(name); }

void Say(const QString& line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

// ---------------------------------------------------------------------------
// The texts of the day, and what a count by hand says of them.

// Lower-case words of a text and how often each occurs.
std::map<QString, int> CountWords(const QStringList& files)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]+"));
    std::map<QString, int> counts;
    for (const QString& f : files) {
        QFile file(f);
        file.open(QIODevice::ReadOnly);
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = word.globalMatch(text); it.hasNext();)
            ++counts[it.next().captured().toLower()];
    }
    return counts;
}

QString WriteText(const QString& name, const QString& text)
{
    const QString file = Path(name);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    return file;
}

// Six texts about the sea, long enough for a few moving windows, and one
// text of a whaler's log that differs from them (its key words).
QStringList WriteCorpus()
{
    const QStringList sentences = {
        QStringLiteral("The whale swam in the deep sea."),
        QStringLiteral("The old ship sailed on the grey sea."),
        QStringLiteral("A whale saw the ship and the crew."),
        QStringLiteral("The crew of the ship feared the whale."),
        QStringLiteral("Sea birds flew over the waves at dawn."),
        QStringLiteral("The waves broke on the rocks of the island."),
    };
    QStringList files;
    for (int t = 0; t < 6; ++t) {
        QStringList text;
        for (int i = 0; i < 700 + 40 * t; ++i)
            text << sentences[(i * (t + 1) + i / 7) % sentences.size()];
        files << WriteText(QStringLiteral("corpus/sea-%1.txt").arg(t + 1), text.join(u' '));
    }
    WriteText(QStringLiteral("log/whaler.txt"),
              QStringLiteral("The captain raised the harpoon and the whale dived. ").repeated(40) +
                  QStringLiteral("The harpoon line ran out and the captain held it. ").repeated(30) +
                  QStringLiteral("The crew of the ship waited on the sea. ").repeated(20));
    return files;
}

// The words of counts by frequency, most frequent first (equal ones alphabetically).
std::vector<std::pair<QString, int>> ByFrequency(const std::map<QString, int>& counts)
{
    std::vector<std::pair<QString, int>> words(counts.begin(), counts.end());
    std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return words;
}

// ---------------------------------------------------------------------------
// The window thread, seen from the walker's thread.

template <typename F>
auto OnGui(F&& f)
{
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(qApp, [&f] { f(); }, Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

// On the window thread: a visible top-level window whose title holds the text.
QWidget* WindowTitled(const QString& part)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle().contains(part))
            return w;
    return nullptr;
}

QString Plain(QString text) { return text.remove(u'&').trimmed(); }

QAbstractButton* ButtonIn(QWidget* window, const QString& text)
{
    if (!window)
        return nullptr;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->isVisible() && Plain(b->text()) == text)
            return b;
    return nullptr;
}

QPoint Centre(const QWidget* w) { return w ? w->mapToGlobal(w->rect().center()) : QPoint(-1, -1); }

QWidget* MovingWindowPlot()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qobject_cast<cv::TFormMovingWindowPlot*>(w))
            return w;
    return nullptr;
}

// The modal window in front now (a message box, a dialog), else the active window.
QWidget* FrontWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

// A grid's visible column headings and the cells of its first rows as shown.
struct TGridView {
    QStringList headings;
    std::vector<QStringList> rows;
    int rowCount = 0;
};

TGridView SeeGrid(const cv::TCV_Grid* grid, int rows)
{
    TGridView view;
    if (!grid)
        return view;
    std::vector<int> columns;
    for (int c = 0; c < grid->ColCount(); ++c)
        if (grid->ColumnVisible(c)) {
            columns.push_back(c);
            view.headings << grid->Cells(c, 0);
        }
    view.rowCount = grid->RowCount() - 1;
    for (int r = 1; r <= rows && r < grid->RowCount(); ++r) {
        QStringList cells;
        for (int c : columns)
            cells << grid->Cells(c, r);
        view.rows.push_back(cells);
    }
    return view;
}

// ---------------------------------------------------------------------------
// The walker.

struct TStop {
    QString why;
};

// What the day leaves for the morning after (the window and the controller started again).
struct TDay {
    QString referenceList;  // the key words' reference list, as typed in the comparison
    QString studyList;      // the word list of one text, saved
    bool restart = false;   // the first part reached its end
};

// The shortcut Customise gives "About and Memory" (F9 before).
const char* const kAboutShortcut = "Ctrl+Shift+A";

class TWalker {
public:
    TWalker(cv::TFormWordList& window, cv::TController& controller, cv::TScriptedDesktop& desktop, TDay& day)
        : m_window(window), m_controller(controller), m_desktop(desktop), m_day(day)
    {
    }

    int failures = 0;
    QStringList pictures;

    void Walk();
    void WalkAfterRestart();

private:
    // --- input, through the X server ---
    QString Tool(const QString& program, const QStringList& args, int ms = 15000)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(ms)) {
            p.kill();
            p.waitForFinished(2000);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    QString X(const QStringList& args) { return Tool(QStringLiteral("xdotool"), args); }
    void ClickAt(QPoint p)
    {
        X({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(p.x()), QString::number(p.y())});
        QThread::msleep(60);
        X({QStringLiteral("click"), QStringLiteral("1")});
        QThread::msleep(150);
    }
    void Key(const QString& keys)
    {
        X({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
        QThread::msleep(150);
    }
    void Type(const QString& text)
    {
        X({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("8"), text});
        QThread::msleep(100);
    }
    // Clicks the button of that text in the window the finder gives.
    void Click(const QString& text, const std::function<QWidget*()>& window, const QString& what)
    {
        const QPoint at = OnGui([&] { return Centre(ButtonIn(window(), text)); });
        Need(at.x() >= 0, what + QStringLiteral(": a button \"%1\"").arg(text));
        Say(QStringLiteral("click \"%1\" at %2,%3 in \"%4\"").arg(text).arg(at.x()).arg(at.y()).arg(OnGui([&] { return window() ? window()->windowTitle() + QStringLiteral(" ") + QString::fromLatin1(window()->metaObject()->className()) : QString(); })));
        ClickAt(at);
    }
    void ClickInFront(const QString& text) { Click(text, [] { return FrontWindow(); }, QStringLiteral("front window")); }
    // Opens a menu of the main window's menu bar and chooses an item (a
    // path of item texts, submenus first).
    void Menu(const QString& title, const QStringList& items)
    {
        const QPoint bar = OnGui([&] {
            for (QAction* a : m_window.menuBar()->actions())
                if (Plain(a->text()) == title)
                    return m_window.menuBar()->mapToGlobal(m_window.menuBar()->actionGeometry(a).center());
            return QPoint(-1, -1);
        });
        Need(bar.x() >= 0, QStringLiteral("the menu bar has %1").arg(title));
        ClickAt(bar);
        for (const QString& item : items) {
            const bool open = Until(QStringLiteral("the %1 menu opens").arg(title), [] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                return menu && menu->isVisible() && menu->height() > 0;
            }, 5000);
            Need(open, QStringLiteral("%1 opens").arg(title));
            const QPoint at = OnGui([&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                for (QAction* a : menu ? menu->actions() : QList<QAction*>())
                    if (a->isVisible() && a->isEnabled() && Plain(a->text()) == item)
                        return menu->mapToGlobal(menu->actionGeometry(a).center());
                return QPoint(-1, -1);
            });
            Need(at.x() >= 0, QStringLiteral("%1 offers \"%2\"").arg(title, item));
            ClickAt(at);
        }
    }

    // --- waiting and checking ---
    bool Until(const QString& what, const std::function<bool()>& ok, int ms = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            if (OnGui(ok))
                return true;
            QThread::msleep(60);
        }
        Say(QStringLiteral("waited %1 ms for: %2").arg(ms).arg(what));
        return false;
    }
    void Expect(bool ok, const QString& what)
    {
        if (ok)
            return;
        ++failures;
        QTextStream(stderr) << "FAILED at " << m_step << ": " << what << Qt::endl;
    }
    void Need(bool ok, const QString& what)
    {
        if (ok)
            return;
        Expect(false, what);
        throw TStop{what};
    }

    // The window manager's view: the window with the keyboard, the stacking
    // order (last on top), and whether a window is mapped.
    quint64 ActiveX() { return X({QStringLiteral("getactivewindow")}).toULongLong(); }
    std::vector<quint64> Stacking()
    {
        const QString out = Tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        std::vector<quint64> ids;
        static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
        for (auto it = hex.globalMatch(out); it.hasNext();)
            ids.push_back(it.next().captured().toULongLong(nullptr, 16));
        return ids;
    }
    // The window the finder gives is in front, has the keyboard and lies on the screen.
    void ExpectInFront(const std::function<QWidget*()>& find, const QString& what)
    {
        quint64 id = 0;
        const bool there = Until(what + QStringLiteral(" shown"), [&] {
            QWidget* w = find();
            return w && w->isVisible();
        }, 20000);
        Need(there, what + QStringLiteral(" is shown"));
        id = OnGui([&] { return quint64(find()->winId()); });
        const bool active = [&] {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 5000) {
                if (ActiveX() == id)
                    return true;
                QThread::msleep(60);
            }
            return false;
        }();
        Expect(active, what + QStringLiteral(" has the keyboard (the window manager's active window)"));
        // The window manager may still move it into place: its place settles first.
        QRect was;
        for (int i = 0; i < 40; ++i) {
            const QRect now = OnGui([&] { return find() ? find()->frameGeometry() : QRect(); });
            if (i > 0 && now == was)
                break;
            was = now;
            QThread::msleep(80);
        }
        const std::vector<quint64> stack = Stacking();
        Expect(!stack.empty() && stack.back() == id, what + QStringLiteral(" is on top of the other windows"));
        const bool onScreen = OnGui([&] {
            QWidget* w = find();
            const QRect screen = w->screen() ? w->screen()->geometry() : QRect();
            return screen.contains(w->frameGeometry());
        });
        Expect(onScreen, what + QStringLiteral(" lies within the screen"));
    }
    void ExpectMainInFront() { ExpectInFront([this] { return static_cast<QWidget*>(&m_window); }, QStringLiteral("the word-list window")); }
    // The question in front: a message box; its text.
    QString Question(const QString& what)
    {
        ExpectInFront([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, what);
        const QString text = OnGui([] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            return box ? box->text() : QString();
        });
        Say(QStringLiteral("asked: ") + text);
        return text;
    }
    void Picture(const QString& name)
    {
        QThread::msleep(250);
        const QString file = Path(name + QStringLiteral(".png"));
        const bool saved = OnGui([&] {
            QScreen* screen = QGuiApplication::primaryScreen();
            return screen && screen->grabWindow(0).save(file);
        });
        Expect(saved, QStringLiteral("picture %1 written").arg(file));
        pictures << name;
        Say(file);
    }
    void Step(const QString& name)
    {
        m_step = name;
        Say(QStringLiteral("step ") + name);
    }
    // A job or command is over once its result shows and the engine has let
    // go of the document (while it works, it pumps the window's messages).
    bool JobDone(const QString& what, const std::function<bool()>& result)
    {
        // A question the job asks on its way is its result too.
        return Until(what, [&] {
            const bool idle = !m_window.JobRunning() && !m_window.DocumentInUse() && !QApplication::overrideCursor();
            return result() && (idle || AskingNow());
        }, 90000);
    }
    static bool AskingNow() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }
    int Entries(uint8_t listType)
    {
        const cv::T_WholeWordlistHolder* doc = m_window.WordlistDocument();
        const cv::TCVWordList* list = doc ? doc->WordlistOfType(listType) : nullptr;
        return list ? list->Count() : 0;
    }
    // Types a full file name into the file dialog in front and takes it.
    void FileDialog(const QString& fileName, const QString& what)
    {
        ExpectInFront([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, what);
        const QPoint field = OnGui([] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* edit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            return Centre(edit);
        });
        Need(field.x() >= 0, what + QStringLiteral(": its file-name field"));
        ClickAt(field);
        Key(QStringLiteral("ctrl+a"));
        Type(fileName);
        Key(QStringLiteral("Return"));
        Until(what + QStringLiteral(" closes"), [] { return !qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, 10000);
    }
    QString FileNameOffered()
    {
        return OnGui([] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* edit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            return edit ? edit->text() : QString();
        });
    }
    cv::TCV_Grid* CurrentGrid() { return cv::ToolWindowList().CurrentGrid(); }
    TGridView SeeCurrentGrid(int rows)
    {
        return OnGui([&] { return SeeGrid(cv::ToolWindowList().CurrentGrid(), rows); });
    }
    QString CurrentPage()
    {
        return OnGui([this] { return m_window.AdvOfficePager1->tabText(m_window.AdvOfficePager1->currentIndex()); });
    }
    void ClickTab(const QString& caption)
    {
        const QPoint at = OnGui([&] {
            QTabBar* bar = m_window.AdvOfficePager1->tabBar();
            for (int i = 0; i < bar->count(); ++i)
                if (bar->isTabVisible(i) && bar->tabText(i) == caption)
                    return bar->mapToGlobal(bar->tabRect(i).center());
            return QPoint(-1, -1);
        });
        Need(at.x() >= 0, QStringLiteral("a page \"%1\"").arg(caption));
        ClickAt(at);
        Until(QStringLiteral("page %1").arg(caption), [&] { return m_window.AdvOfficePager1->tabText(m_window.AdvOfficePager1->currentIndex()) == caption; }, 5000);
    }
    // The grid's first rows are words with the frequencies counted by hand.
    void ExpectFrequencies(const TGridView& view, const std::map<QString, int>& counts, int wordColumn, int freqColumn,
                           const QString& what)
    {
        Expect(!view.rows.empty(), what + QStringLiteral(": rows shown"));
        const std::vector<std::pair<QString, int>> truth = ByFrequency(counts);
        for (size_t r = 0; r < view.rows.size() && r < 5; ++r) {
            const QString word = view.rows[r].value(wordColumn).toLower();
            const int shown = QLocale().toInt(view.rows[r].value(freqColumn));
            const auto it = counts.find(word);
            Expect(it != counts.end() && it->second == shown,
                   what + QStringLiteral(": row %1 \"%2\" %3, counted %4").arg(r + 1).arg(word).arg(shown).arg(it == counts.end() ? -1 : it->second));
            Expect(shown == truth[r].second,
                   what + QStringLiteral(": row %1 holds the %1. highest frequency %2, shows %3").arg(r + 1).arg(truth[r].second).arg(shown));
        }
    }
    QWidget* Wizard() { return qobject_cast<cv::TFormStartWizardW*>(QApplication::activeModalWidget()); }
    // Compute > Clusters on an index page: the choices (pictured when asked), OK, and the note that follows.
    // Clusters made before and not saved are asked about first: they may go.
    void MakeClusters(bool picture, bool unsavedBefore = false)
    {
        Menu(QStringLiteral("Compute"), {QStringLiteral("Clusters")});
        if (unsavedBefore) {
            Expect(Question(QStringLiteral("the question about the clusters made before")).contains(QStringLiteral("not been saved")),
                   QStringLiteral("the clusters made before are asked about"));
            ClickInFront(QStringLiteral("No"));
        }
        ExpectInFront([] { return QApplication::activeModalWidget(); }, QStringLiteral("the cluster choices"));
        Expect(OnGui([] { return ButtonIn(QApplication::activeModalWidget(), QStringLiteral("Cancel")) != nullptr; }),
               QStringLiteral("the cluster choices can be cancelled"));
        if (picture)
            Picture(m_step + QStringLiteral("-choices"));
        ClickInFront(QStringLiteral("OK"));
        Need(JobDone(QStringLiteral("the clusters"), [&] { return AskingNow() || Entries(cv::kListWordList) > 0; }),
             QStringLiteral("the clusters are made"));
        if (OnGui([] { return AskingNow(); })) {
            Question(QStringLiteral("the note on phrase frames"));
            ClickInFront(QStringLiteral("OK"));
        }
    }

    // Save (Ctrl+F2) of clusters never saved: the name offered is the
    // index's, in the index's folder, whatever jobs ran before.
    void ExpectClusterNameOffered(const QString& indexFolder)
    {
        Key(QStringLiteral("ctrl+F2"));
        ExpectInFront([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, QStringLiteral("the save dialog of the clusters"));
        const QString offered = FileNameOffered();
        const QString folder = OnGui([] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            return dialog ? dialog->directory().absolutePath() : QString();
        });
        Say(QStringLiteral("offered: %1 in %2").arg(offered, folder));
        Expect(offered.startsWith(QStringLiteral("sea_index_")) && offered.endsWith(QStringLiteral("-word clusters.lst")),
               QStringLiteral("the clusters' name is the index's: ") + offered);
        Expect(QFileInfo(folder) == QFileInfo(indexFolder), QStringLiteral("the clusters are offered beside the index: ") + folder);
        Picture(m_step + QStringLiteral("-name"));
        Key(QStringLiteral("Escape"));
        Until(QStringLiteral("the save dialog closes"), [] { return !QApplication::activeModalWidget(); }, 5000);
    }
    // The centre of a cell of the current grid (grid row from 1), on the screen.
    QPoint CellCentre(int column, int row)
    {
        return OnGui([column, row] {
            cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
            if (!grid)
                return QPoint(-1, -1);
            const QRect cell = grid->View()->visualRect(grid->Proxy()->index(row - 1, column));
            return grid->View()->viewport()->mapToGlobal(cell.center());
        });
    }
    QString Title() { return OnGui([this] { return m_window.windowTitle(); }); }

    // Settings > Customise: the controller's window gives "About and
    // Memory" its new shortcut, pressed into the shortcut's cell.
    void CustomiseAboutShortcut()
    {
        Menu(QStringLiteral("Settings"), {QStringLiteral("Customise")});
        const auto customise = [this] { return static_cast<QWidget*>(m_controller.CustomiseWindow()); };
        ExpectInFront(customise, QStringLiteral("the controller's Customise window"));
        const int row = OnGui([this] {
            cv::TControllerCustomiseWindow* w = m_controller.CustomiseWindow();
            const int r = w ? w->RowOfTag(TagOf(cv::TMenuCommand::AboutAndMemory)) : -1;
            if (r >= 0)
                w->Table->scrollToItem(w->Table->item(r, 0), QAbstractItemView::PositionAtCenter);
            return r;
        });
        Need(row >= 0, QStringLiteral("Customise lists About and Memory"));
        QThread::msleep(300); // the table's cells move to where it scrolled
        const QPoint cell = OnGui([this, row] {
            cv::TControllerCustomiseWindow* w = m_controller.CustomiseWindow();
            return Centre(w ? w->Table->cellWidget(row, 1) : nullptr);
        });
        Need(cell.x() >= 0, QStringLiteral("About's shortcut cell"));
        ClickAt(cell);
        Key(QStringLiteral("ctrl+shift+a"));
        // The shortcut box takes keys until it has had none for a second.
        QThread::msleep(1300);
        Picture(m_step);
        Click(QStringLiteral("OK"), customise, QStringLiteral("the Customise window"));
        Expect(Until(QStringLiteral("Customise closes"), [this] { return m_controller.CustomiseWindow() == nullptr || !m_controller.CustomiseWindow()->isVisible(); }, 5000),
               QStringLiteral("OK closes Customise"));
        Expect(OnGui([] { return cv::GetMenuShortcut(TagOf(cv::TMenuCommand::AboutAndMemory)); }) == cv::TextToShortCut(QString::fromLatin1(kAboutShortcut)),
               QStringLiteral("About and Memory has its new shortcut: ") + OnGui([] { return cv::ShortCutToText(cv::GetMenuShortcut(TagOf(cv::TMenuCommand::AboutAndMemory))); }));
    }
    // The main menu's item of a command (its shortcut as the menu shows it).
    QString MenuShortcutShown(cv::TMenuCommand command)
    {
        return OnGui([command] {
            const cv::TDataModuleCorvantis* module = cv::DataModuleCorvantis();
            const QAction* item = module ? module->ItemOfTag(command) : nullptr;
            return item ? item->shortcut().toString(QKeySequence::PortableText) : QString();
        });
    }
    // The comparison dialog's reference-list field.
    QLineEdit* ReferenceField()
    {
        QWidget* d = QApplication::activeModalWidget();
        for (QLineEdit* e : d ? d->findChildren<QLineEdit*>() : QList<QLineEdit*>())
            if (e->isVisible() && !e->isReadOnly())
                return e;
        return nullptr;
    }

    cv::TFormWordList& m_window;
    cv::TController& m_controller;
    cv::TScriptedDesktop& m_desktop;
    TDay& m_day;
    QString m_step;
};

void TWalker::Walk()
{
    const QStringList corpus = WriteCorpus();
    const std::map<QString, int> corpusCounts = CountWords(corpus);
    const QString whaler = Path(QStringLiteral("log/whaler.txt"));
    const std::map<QString, int> whalerCounts = CountWords({whaler});

    Step(QStringLiteral("01-start"));
    ExpectMainInFront();
    Expect(OnGui([this] { return m_window.AdvPanelToolname->isVisible(); }), QStringLiteral("the start screen shows"));
    Picture(m_step);

    Step(QStringLiteral("02-compute-before-any-list"));
    {
        const QPoint compute = OnGui([this] {
            for (QAction* a : m_window.menuBar()->actions())
                if (Plain(a->text()) == QStringLiteral("Compute"))
                    return m_window.menuBar()->mapToGlobal(m_window.menuBar()->actionGeometry(a).center());
            return QPoint(-1, -1);
        });
        Need(compute.x() >= 0, QStringLiteral("the menu bar has Compute"));
        ClickAt(compute);
        QThread::msleep(300);
        Picture(m_step);
        Expect(!OnGui([] { return QApplication::activePopupWidget() != nullptr; }),
               QStringLiteral("nothing empty pops up from Compute before there is a list"));
        Key(QStringLiteral("Escape"));
    }

    Step(QStringLiteral("03a-choose-texts"));
    Key(QStringLiteral("F11"));
    ExpectInFront([this] { return static_cast<QWidget*>(m_controller.TextChooser()); }, QStringLiteral("the controller's text chooser"));
    Picture(m_step);
    Click(QStringLiteral("Add folder..."), [this] { return static_cast<QWidget*>(m_controller.TextChooser()); },
          QStringLiteral("the text chooser"));
    FileDialog(Path(QStringLiteral("corpus")), QStringLiteral("the folder dialog"));
    Expect(Until(QStringLiteral("six texts listed"), [this] { return m_controller.TextChooser() && m_controller.TextChooser()->TextList->count() == 6; }, 5000),
           QStringLiteral("the chooser lists the six texts of the folder"));
    Step(QStringLiteral("03b-texts-chosen"));
    Picture(m_step);
    // Enter takes the choice, although the folder button had the focus last.
    Key(QStringLiteral("Return"));
    Step(QStringLiteral("03c-wizard"));
    ExpectInFront([this] { return Wizard(); }, QStringLiteral("the start wizard"));
    Expect(OnGui([this] {
               auto* w = qobject_cast<cv::TFormStartWizardW*>(Wizard());
               return w && w->LabelTexts->text().contains(QStringLiteral("6"));
           }),
           QStringLiteral("the wizard says six texts are chosen"));
    Picture(m_step);

    Step(QStringLiteral("04-word-list"));
    Click(QStringLiteral("Make a word list now"), [this] { return Wizard(); }, QStringLiteral("the wizard"));
    Need(JobDone(QStringLiteral("the word list"), [&] { return Entries(cv::kListWordList) == int(corpusCounts.size()); }),
         QStringLiteral("the word list is made"));
    ExpectMainInFront();
    Expect(CurrentPage() == QStringLiteral("frequency"), QStringLiteral("the frequency page shows"));
    {
        const TGridView view = SeeCurrentGrid(5);
        Expect(view.headings.mid(0, 3) == QStringList({QStringLiteral("N"), QStringLiteral("Word"), QStringLiteral("Freq.")}),
               QStringLiteral("columns N, Word, Freq. first: ") + view.headings.join(u','));
        Expect(view.rowCount == int(corpusCounts.size()), QStringLiteral("one row per word type: %1 shown, %2 counted").arg(view.rowCount).arg(corpusCounts.size()));
        ExpectFrequencies(view, corpusCounts, 1, 2, QStringLiteral("the word list"));
    }
    Expect(OnGui([this] { return m_window.windowTitle(); }).endsWith(QStringLiteral("(unsaved)")),
           QStringLiteral("the new list's title says it is unsaved: ") + OnGui([this] { return m_window.windowTitle(); }));
    Picture(m_step);

    Step(QStringLiteral("05-compute-menu"));
    Menu(QStringLiteral("Compute"), {});
    Expect(Until(QStringLiteral("Compute opens"), [] {
               auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
               return menu && menu->isVisible() && menu->height() > 0;
           }, 5000),
           QStringLiteral("Compute opens once there is a word list"));
    {
        const QString popup = QString::number(OnGui([] {
            QWidget* p = QApplication::activePopupWidget();
            return p ? quint64(p->winId()) : quint64(0);
        }));
        Expect(Tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), popup}).contains(QStringLiteral("IsViewable")),
               QStringLiteral("the Compute menu is mapped on the screen"));
        const QStringList items = OnGui([] {
            QStringList texts;
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                for (QAction* a : menu->actions())
                    if (a->isVisible())
                        texts << Plain(a->text());
            return texts;
        });
        for (const char* item : {"KeyWords", "Dispersion", "Word Cloud"})
            Expect(items.contains(QString::fromLatin1(item)), QStringLiteral("Compute offers ") + QString::fromLatin1(item));
    }
    Picture(m_step);
    Key(QStringLiteral("Escape"));

    Step(QStringLiteral("05b-customise"));
    CustomiseAboutShortcut();

    Step(QStringLiteral("06-save"));
    // A new user: the documents folder the settings name is not there yet.
    Say(QStringLiteral("the default folder: %1 (%2)")
            .arg(OnGui([] { return cv::GetDefaultFolder(); }),
                 QFileInfo(OnGui([] { return cv::GetDefaultFolder(); })).isDir() ? QStringLiteral("there") : QStringLiteral("not there")));
    Key(QStringLiteral("ctrl+F2"));
    ExpectInFront([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, QStringLiteral("the save dialog"));
    Expect(FileNameOffered() == QStringLiteral("corpus.lst"), QStringLiteral("the name offered is the texts' folder: ") + FileNameOffered());
    const QString shownFolder = OnGui([] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        return dialog ? dialog->directory().absolutePath() : QString();
    });
    Expect(QFileInfo(shownFolder).isDir(), QStringLiteral("the save dialog shows a folder there is: ") + shownFolder);
    Picture(m_step);
    // The name offered is taken as it is.
    ClickAt(OnGui([] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        return Centre(dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr);
    }));
    Key(QStringLiteral("Return"));
    Until(QStringLiteral("the save dialog closes"), [] { return !qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, 10000);
    const QString all = QDir(shownFolder).filePath(QStringLiteral("corpus.lst"));
    Expect(Question(QStringLiteral("the message that it was saved")) == QStringLiteral("Saved %1.").arg(QStringLiteral("\"%1\"").arg(all)),
           QStringLiteral("saved where the dialog said, says the message"));
    ClickInFront(QStringLiteral("OK"));
    {
        QFile file(all);
        Expect(file.open(QIODevice::ReadOnly) && file.read(4) == "CVSF", QStringLiteral("the list saved starts with the signature: ") + all);
    }
    Expect(OnGui([this] { return m_window.windowTitle(); }) == QStringLiteral("corpus.lst"), QStringLiteral("the title names the file"));

    Step(QStringLiteral("06b-delete-and-zap"));
    ClickTab(QStringLiteral("alphabetical"));
    const int entries = Entries(cv::kListWordList);
    const QString gone = OnGui([this] { return CurrentGrid() ? CurrentGrid()->Cells(1, 1) : QString(); });
    ClickAt(CellCentre(1, 1));
    Key(QStringLiteral("Delete"));
    Expect(Until(QStringLiteral("the row deleted"), [&] {
               const cv::T_WholeWordlistHolder* doc = m_window.WordlistDocument();
               const cv::TCVWordList* list = doc ? doc->WordlistOfType(cv::kListWordList) : nullptr;
               const int at = list ? list->FindWordAndTag(gone, {}) : -1;
               return at >= 0 && list->GetDeleted(at);
           }, 5000),
           QStringLiteral("the Delete key marks the row of \"%1\" deleted").arg(gone));
    Key(QStringLiteral("ctrl+z")); // Zap
    Expect(Until(QStringLiteral("the row zapped"), [&] { return Entries(cv::kListWordList) == entries - 1; }, 5000),
           QStringLiteral("Zap removes the deleted row"));
    Expect(Title() == QStringLiteral("corpus.lst (unsaved)"), QStringLiteral("the title says the list differs from its file: ") + Title());
    Picture(m_step);
    Step(QStringLiteral("06c-save-and-reopen"));
    Key(QStringLiteral("ctrl+F2"));
    Expect(Question(QStringLiteral("the message that it was saved")).startsWith(QStringLiteral("Saved")), QStringLiteral("saved again"));
    ClickInFront(QStringLiteral("OK"));
    Expect(Title() == QStringLiteral("corpus.lst"), QStringLiteral("the title names the file again: ") + Title());
    Key(QStringLiteral("ctrl+w"));
    Expect(Until(QStringLiteral("closed"), [this] { return m_window.Data() == nullptr; }, 5000), QStringLiteral("the saved list closes without a question"));
    Key(QStringLiteral("ctrl+o"));
    FileDialog(all, QStringLiteral("the open dialog"));
    Need(Until(QStringLiteral("the list opens again"), [&] { return Entries(cv::kListWordList) == entries - 1; }),
         QStringLiteral("the list saved after Delete and Zap opens again, one row shorter"));
    Expect(!OnGui([] { return AskingNow(); }), QStringLiteral("opening it says nothing (no damage)"));
    Expect(OnGui([&] {
               const cv::TCVWordList* list = m_window.WordlistDocument()->WordlistOfType(cv::kListWordList);
               return list->FindWordAndTag(gone, {}) < 0;
           }),
           QStringLiteral("the word zapped is not in the list opened"));
    Expect(Title() == QStringLiteral("corpus.lst"), QStringLiteral("the title names the file opened: ") + Title());
    Picture(m_step);

    Step(QStringLiteral("07-close-and-new"));
    Key(QStringLiteral("ctrl+w"));
    Expect(Until(QStringLiteral("the start screen"), [this] { return m_window.Data() == nullptr; }, 5000),
           QStringLiteral("a saved list closes without a question"));
    Key(QStringLiteral("ctrl+n"));
    ExpectInFront([this] { return Wizard(); }, QStringLiteral("the start wizard (New)"));
    Picture(m_step);

    Step(QStringLiteral("08a-index-name"));
    const QString indexName = Path(QStringLiteral("index/sea.tokens"));
    QDir().mkpath(Path(QStringLiteral("index")));
    Click(QStringLiteral("..."), [this] { return Wizard(); }, QStringLiteral("the wizard's index picker"));
    FileDialog(indexName, QStringLiteral("the index file dialog"));
    Expect(OnGui([this] {
               auto* w = qobject_cast<cv::TFormStartWizardW*>(Wizard());
               return w ? w->ElFileNameEditIndex->Text() : QString();
           }) == indexName,
           QStringLiteral("the picker fills the index field"));
    Picture(m_step);
    // Enter in the filled field starts nothing.
    Key(QStringLiteral("Return"));
    QThread::msleep(400);
    Expect(OnGui([this] { return Wizard() != nullptr && !m_window.JobRunning() && m_window.Data() == nullptr; }),
           QStringLiteral("Enter in the index field makes no index"));
    Step(QStringLiteral("08b-index"));
    Click(QStringLiteral("Make/Add to index"), [this] { return Wizard(); }, QStringLiteral("the wizard"));
    Need(JobDone(QStringLiteral("the index"), [] { return AskingNow(); }), QStringLiteral("the index is made"));
    Expect(Question(QStringLiteral("the question whether to open the index")).contains(QStringLiteral("sea")),
           QStringLiteral("the question names the index"));
    ClickInFront(QStringLiteral("Yes"));
    Need(Until(QStringLiteral("the index opens"), [this] { return m_window.Data() && m_window.PageVisible(m_window.AdvOfficePageIndexFreq); }),
         QStringLiteral("the index opens"));
    ExpectMainInFront();
    ExpectFrequencies(SeeCurrentGrid(5), corpusCounts, 1, 2, QStringLiteral("the index word list"));
    Picture(m_step);

    Step(QStringLiteral("09-clusters"));
    MakeClusters(true);
    {
        const TGridView view = SeeCurrentGrid(3);
        Expect(!view.rows.empty() && view.rows.front().value(1).contains(u' '), QStringLiteral("the first row is a cluster of words"));
    }
    Expect(Title() == QStringLiteral("Index: sea (clusters unsaved)"), QStringLiteral("the title names the index and the unsaved clusters: ") + Title());
    Picture(m_step);
    ExpectClusterNameOffered(QFileInfo(indexName).absolutePath());
    // Two more cluster jobs in the same window: each offers its own name.
    for (const char* job : {"09b-clusters-again", "09c-clusters-a-third-time"}) {
        Step(QString::fromLatin1(job));
        ClickTab(QStringLiteral("index freq."));
        MakeClusters(false, true);
        Expect(Entries(cv::kListWordList) > 0, QStringLiteral("the clusters are made again"));
        ExpectClusterNameOffered(QFileInfo(indexName).absolutePath());
    }

    Step(QStringLiteral("10-relationships"));
    ClickTab(QStringLiteral("index alph."));
    Menu(QStringLiteral("Compute"), {QStringLiteral("Relationships")});
    ExpectInFront([] { return QApplication::activeModalWidget(); }, QStringLiteral("the relationship choices"));
    Picture(m_step + QStringLiteral("-choices"));
    ClickInFront(QStringLiteral("OK"));
    Need(JobDone(QStringLiteral("the relationships"), [this] { return m_window.PageVisible(m_window.AdvOfficePageIndexRelations); }),
         QStringLiteral("the relationships are made and shown"));
    {
        const TGridView view = SeeCurrentGrid(3);
        Expect(view.rowCount > 0, QStringLiteral("relationships listed"));
        Expect(view.headings.size() > 4, QStringLiteral("the relationship columns: ") + view.headings.join(u','));
    }
    Picture(m_step);

    Step(QStringLiteral("11-one-text"));
    Key(QStringLiteral("F11"));
    ExpectInFront([this] { return static_cast<QWidget*>(m_controller.TextChooser()); }, QStringLiteral("the text chooser"));
    Click(QStringLiteral("Clear"), [this] { return static_cast<QWidget*>(m_controller.TextChooser()); }, QStringLiteral("the text chooser"));
    Click(QStringLiteral("Add files..."), [this] { return static_cast<QWidget*>(m_controller.TextChooser()); }, QStringLiteral("the text chooser"));
    FileDialog(whaler, QStringLiteral("the file dialog"));
    Click(QStringLiteral("OK"), [this] { return static_cast<QWidget*>(m_controller.TextChooser()); }, QStringLiteral("the text chooser"));
    ExpectInFront([this] { return Wizard(); }, QStringLiteral("the wizard with one text"));
    Click(QStringLiteral("Make a word list now"), [this] { return Wizard(); }, QStringLiteral("the wizard"));
    // The clusters and relationships were never saved: the new job asks.
    Step(QStringLiteral("11a-unsaved-question"));
    Expect(Question(QStringLiteral("the question about unsaved results")).contains(QStringLiteral("not been saved")),
           QStringLiteral("the question says the results are not saved"));
    Picture(m_step);
    ClickInFront(QStringLiteral("No"));
    Need(JobDone(QStringLiteral("the one-text list"), [&] { return Entries(cv::kListWordList) == int(whalerCounts.size()); }),
         QStringLiteral("the one-text word list is made"));
    Step(QStringLiteral("11b-one-text-list"));
    ExpectMainInFront();
    ExpectFrequencies(SeeCurrentGrid(5), whalerCounts, 1, 2, QStringLiteral("the one-text word list"));
    Picture(m_step);

    Step(QStringLiteral("12-key-words"));
    Menu(QStringLiteral("Compute"), {QStringLiteral("KeyWords")});
    Question(QStringLiteral("the question whether to save the list first"));
    ClickInFront(QStringLiteral("Yes"));
    ExpectInFront([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, QStringLiteral("the save dialog"));
    Expect(OnGui([] { return QApplication::activeModalWidget()->windowTitle(); }).contains(QStringLiteral("key words")),
           QStringLiteral("the save dialog says why it opens"));
    Expect(FileNameOffered() == QStringLiteral("whaler.lst"), QStringLiteral("the name offered is the text's: ") + FileNameOffered());
    Picture(m_step + QStringLiteral("-save-first"));
    // Beside the first list (the consistency list takes both from one folder).
    m_day.studyList = QFileInfo(all).absoluteDir().filePath(QStringLiteral("whaler.lst"));
    FileDialog(m_day.studyList, QStringLiteral("the save dialog"));
    Question(QStringLiteral("saved"));
    ClickInFront(QStringLiteral("OK"));
    ExpectInFront([] { return QApplication::activeModalWidget(); }, QStringLiteral("the comparison dialog"));
    {
        const QPoint field = OnGui([this] { return Centre(ReferenceField()); });
        Need(field.x() >= 0, QStringLiteral("the reference list's field"));
        ClickAt(field);
        Key(QStringLiteral("ctrl+a"));
        Type(all);
    }
    Picture(m_step + QStringLiteral("-reference"));
    ClickInFront(QStringLiteral("OK"));
    m_day.referenceList = all;
    Need(JobDone(QStringLiteral("the key words"), [] { return AskingNow(); }), QStringLiteral("the key words are made"));
    // A word on how well the reference fits, then where the key words are.
    bool told = false;
    while (Until(QStringLiteral("a message"), [] { return AskingNow(); }, 3000)) {
        told = Question(QStringLiteral("a message about the key words")).contains(QStringLiteral("KWs with ") + QFileInfo(all).completeBaseName()) || told;
        ClickInFront(QStringLiteral("OK"));
        Until(QStringLiteral("the message goes"), [] { return !AskingNow(); }, 3000);
    }
    Expect(told, QStringLiteral("the user is told on which page the key words are"));
    Need(Until(QStringLiteral("the KWs page"), [this] { return m_window.PageVisible(m_window.AdvOfficePageKWs); }),
         QStringLiteral("the key words show"));
    ClickTab(OnGui([this] { return m_window.AdvOfficePager1->tabText(m_window.AdvOfficePager1->indexOf(m_window.AdvOfficePageKWs)); }));
    {
        const TGridView view = SeeCurrentGrid(3);
        Expect(!view.rows.empty(), QStringLiteral("key words listed"));
        const QString first = view.rows.empty() ? QString() : view.rows.front().value(1).toLower();
        Expect(first == QStringLiteral("captain") || first == QStringLiteral("harpoon"),
               QStringLiteral("the first key word is one the reference lacks: ") + first);
    }
    Picture(m_step);

    // Plot and links are asked for on the key words' page and come on pages of their own.
    const auto keyWordPage = [&](const QString& step, const QString& item, QWidget* page) {
        Step(step);
        ClickTab(OnGui([this] { return m_window.AdvOfficePager1->tabText(m_window.AdvOfficePager1->indexOf(m_window.AdvOfficePageKWs)); }));
        Menu(QStringLiteral("Compute"), {item});
        Expect(Until(item, [&] { return m_window.AdvOfficePager1->currentWidget() == page; }, 20000),
               item + QStringLiteral(" shows on its page"));
        Expect(SeeCurrentGrid(1).rowCount > 0, item + QStringLiteral(": rows shown"));
        Picture(m_step);
    };
    keyWordPage(QStringLiteral("13-key-word-plot"), QStringLiteral("Plot"), m_window.AdvOfficePageKWPlot);
    keyWordPage(QStringLiteral("14-key-word-links"), QStringLiteral("Links"), m_window.AdvOfficePageKWLinks);

    Step(QStringLiteral("15-cloud"));
    ClickTab(QStringLiteral("frequency"));
    Menu(QStringLiteral("Compute"), {QStringLiteral("Word Cloud")});
    ExpectInFront([] { return WindowTitled(QStringLiteral("cloud")); }, QStringLiteral("the word cloud"));
    Picture(m_step);
    Key(QStringLiteral("alt+F4"));
    Until(QStringLiteral("the cloud closes"), [] { return WindowTitled(QStringLiteral("cloud")) == nullptr; }, 5000);

    Step(QStringLiteral("16-consistency"));
    Key(QStringLiteral("ctrl+w"));
    // The key words were made after the list was saved.
    if (Until(QStringLiteral("a question"), [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, 3000)) {
        Question(QStringLiteral("the question about the key words"));
        ClickInFront(QStringLiteral("No"));
    }
    Need(Until(QStringLiteral("closed"), [this] { return m_window.Data() == nullptr; }, 5000), QStringLiteral("the list closes"));
    Key(QStringLiteral("ctrl+n"));
    ExpectInFront([this] { return Wizard(); }, QStringLiteral("the wizard"));
    {
        const QPoint tab = OnGui([this] {
            auto* w = qobject_cast<cv::TFormStartWizardW*>(Wizard());
            if (!w)
                return QPoint(-1, -1);
            QTabBar* bar = w->PageControl1->tabBar();
            return bar->mapToGlobal(bar->tabRect(w->PageControl1->indexOf(w->TabSheetDetailedConsistency)).center());
        });
        ClickAt(tab);
    }
    Click(QStringLiteral("..."), [this] {
        auto* w = qobject_cast<cv::TFormStartWizardW*>(Wizard());
        return w ? static_cast<QWidget*>(w->TabSheetDetailedConsistency) : nullptr;
    }, QStringLiteral("the word-list picker"));
    FileDialog(QStringLiteral("\"%1\" \"%2\"").arg(all, m_day.studyList), QStringLiteral("the word-list dialog"));
    Expect(OnGui([this] {
               auto* w = qobject_cast<cv::TFormStartWizardW*>(Wizard());
               return w ? w->StyledListboxDC->count() : 0;
           }) == 2,
           QStringLiteral("two word lists chosen"));
    Picture(m_step + QStringLiteral("-lists"));
    Click(QStringLiteral("compute Detailed Consistency now"), [this] { return Wizard(); }, QStringLiteral("the wizard"));
    Need(JobDone(QStringLiteral("the consistency list"), [this] { return m_window.PageVisible(m_window.AdvOfficePageConsistency); }),
         QStringLiteral("the consistency list is made and shown"));
    ExpectMainInFront();
    {
        const TGridView view = SeeCurrentGrid(3);
        Expect(view.rowCount > 0, QStringLiteral("consistency rows"));
        Expect(view.headings.join(u',').contains(QFileInfo(all).completeBaseName()) || view.headings.join(u',').contains(QStringLiteral("whaler")),
               QStringLiteral("a column per word list: ") + view.headings.join(u','));
    }
    Picture(m_step);
    // Its own name is offered, not one of its word lists' (saving would replace that list).
    Key(QStringLiteral("ctrl+F2"));
    ExpectInFront([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }, QStringLiteral("the save dialog"));
    {
        const QString offered = FileNameOffered();
        Expect(offered.endsWith(QStringLiteral("_consistency.lst")) && offered.contains(QStringLiteral("corpus")) &&
                   offered.contains(QStringLiteral("whaler")),
               QStringLiteral("the consistency list's own name is offered: ") + offered);
    }
    Picture(m_step + QStringLiteral("-save"));
    Key(QStringLiteral("Escape"));
    Until(QStringLiteral("the save dialog closes"), [] { return !QApplication::activeModalWidget(); }, 5000);

    Step(QStringLiteral("17-moving-window"));
    Key(QStringLiteral("ctrl+o"));
    Question(QStringLiteral("the question whether to open in a new window"));
    ClickInFront(QStringLiteral("No"));
    Question(QStringLiteral("the question about the unsaved consistency list"));
    ClickInFront(QStringLiteral("No"));
    FileDialog(indexName, QStringLiteral("the open dialog"));
    Need(Until(QStringLiteral("the index opens"), [this] { return m_window.Data() && m_window.PageVisible(m_window.AdvOfficePageIndexFreq); }),
         QStringLiteral("the index opens again"));
    // The index is shorter than three windows of the 15,000 words set: the
    // plot would have no line. The user is told and offered windows that fit.
    Menu(QStringLiteral("Compute"), {QStringLiteral("Moving window")});
    Expect(Question(QStringLiteral("the note that the windows are too long")).contains(QStringLiteral("fewer than three windows")),
           QStringLiteral("the user is told the windows do not fit the index"));
    Picture(m_step + QStringLiteral("-too-long"));
    ClickInFront(QStringLiteral("Yes"));
    Expect(Question(QStringLiteral("the question whether to see the plot")).contains(QStringLiteral("View it now?")),
           QStringLiteral("asked whether to view the plot"));
    ClickInFront(QStringLiteral("Yes"));
    ExpectInFront([] { return MovingWindowPlot(); }, QStringLiteral("the moving-window plot"));
    Expect(!OnGui([] { return AskingNow(); }), QStringLiteral("\"View it now?\" is asked once"));
    {
        // Its windows along the bottom, each with the overlap of its vocabulary with the one before.
        // (Six sentences repeated overlap wholly, above the plot's scale of 0 to 0.6: the lines
        // themselves are not looked for.)
        const int windows = OnGui([] {
            auto* plot = qobject_cast<cv::TFormMovingWindowPlot*>(MovingWindowPlot());
            return plot && plot->Plotter().OKToShow() ? int(plot->Plotter().x_axis_mark_points.size()) : 0;
        });
        Expect(windows >= 2, QStringLiteral("the plot shows its windows (%1)").arg(windows));
    }
    Picture(m_step);
    Key(QStringLiteral("alt+F4"));

    Step(QStringLiteral("18-print-preview"));
    Until(QStringLiteral("the main window again"), [this] { return m_window.isActiveWindow(); }, 5000);
    ClickTab(QStringLiteral("index freq."));
    Key(QStringLiteral("F3"));
    ExpectInFront([] { return WindowTitled(QStringLiteral("(portrait)")); }, QStringLiteral("the print preview"));
    Picture(m_step);
    Key(QStringLiteral("Escape"));
    // Again, from the main window: it comes forward again.
    ClickAt(OnGui([this] { return m_window.mapToGlobal(QPoint(m_window.width() - 40, m_window.height() / 2)); }));
    Key(QStringLiteral("F3"));
    ExpectInFront([] { return WindowTitled(QStringLiteral("(portrait)")); }, QStringLiteral("the print preview a second time"));
    Key(QStringLiteral("Escape"));

    Step(QStringLiteral("19-export"));
    Menu(QStringLiteral("File"), {QStringLiteral("Save As"), QStringLiteral("Plain Text")});
    ExpectInFront([] { return QApplication::activeModalWidget(); }, QStringLiteral("the save-as dialog"));
    const QString exported = Path(QStringLiteral("index-words.txt"));
    {
        const QPoint field = OnGui([] {
            auto* d = dynamic_cast<cv::TSaveAsTxtDlgFeb2012*>(QApplication::activeModalWidget());
            return Centre(d ? d->FileNameEdit : nullptr);
        });
        Need(field.x() >= 0, QStringLiteral("the export's file-name field"));
        ClickAt(field);
        Key(QStringLiteral("ctrl+a"));
        Type(exported);
    }
    Picture(m_step);
    ClickInFront(QStringLiteral("OK"));
    if (Until(QStringLiteral("a question"), [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, 5000)) {
        Question(QStringLiteral("saved, open it?"));
        ClickInFront(QStringLiteral("No"));
    }
    {
        QFile file(exported);
        Expect(file.open(QIODevice::ReadOnly), QStringLiteral("the export is written"));
        // Its first row (after the headings) is the grid's: the most frequent word and its count.
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        const auto top = ByFrequency(corpusCounts).front();
        const QStringList fields = lines.value(1).split(u'\t');
        Expect(fields.contains(top.first, Qt::CaseInsensitive) && fields.contains(QString::number(top.second)),
               QStringLiteral("the export's first row: ") + lines.value(1));
    }

    Step(QStringLiteral("20-help"));
    // This desktop has no web browser.
    OnGui([this] { m_desktop.QueueAnswer(false); });
    const size_t before = OnGui([this] { return m_desktop.Opened().size(); });
    Key(QStringLiteral("F1"));
    Expect(Until(QStringLiteral("help asked for"), [this, before] { return m_desktop.Opened().size() > before; }, 5000),
           QStringLiteral("F1 asks for a help page"));
    const QString help = OnGui([this] { return m_desktop.Opened().empty() ? QString() : m_desktop.Opened().back().toString(); });
    Expect(help.contains(QStringLiteral("contextid=")), QStringLiteral("the help page of the context: ") + help);
    Say(QStringLiteral("help asked for: ") + help);
    {
        const QString told = Question(QStringLiteral("the message that no browser was found"));
        Expect(told.contains(QStringLiteral("No web browser was found")) && told.contains(help),
               QStringLiteral("the message names the missing browser and the page's address: ") + told);
    }
    Picture(m_step);
    ClickInFront(QStringLiteral("OK"));
    Until(QStringLiteral("the message goes"), [] { return !AskingNow(); }, 3000);

    Step(QStringLiteral("21-second-window"));
    const QRect first = OnGui([this] { return m_window.frameGeometry(); });
    Key(QStringLiteral("ctrl+n"));
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    quint64 second = 0;
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000 && second == 0) {
            for (const QString& id : X({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QStringLiteral("^WordList$")}).split(u'\n', Qt::SkipEmptyParts))
                if (X({QStringLiteral("getwindowpid"), id}) != ownPid)
                    second = id.toULongLong();
            QThread::msleep(200);
        }
    }
    Need(second != 0, QStringLiteral("New with data opens a second window"));
    QThread::msleep(800);
    {
        const QString geometry = X({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(second)});
        const auto value = [&](const char* key) {
            static const QRegularExpression line(QStringLiteral("^(\\w+)=(-?\\d+)$"), QRegularExpression::MultilineOption);
            for (auto it = line.globalMatch(geometry); it.hasNext();) {
                const auto m = it.next();
                if (m.captured(1) == QLatin1String(key))
                    return m.captured(2).toInt();
            }
            return -1;
        };
        const QPoint secondAt(value("X"), value("Y"));
        const QPoint firstAt = OnGui([this] { return m_window.geometry().topLeft(); });
        Expect(secondAt.x() > firstAt.x() && secondAt.y() > firstAt.y(),
               QStringLiteral("the second window (%1,%2) stands offset from the first (%3,%4)")
                   .arg(secondAt.x()).arg(secondAt.y()).arg(firstAt.x()).arg(firstAt.y()));
        (void)first;
    }
    Picture(m_step);
    Step(QStringLiteral("21b-about"));
    // Back in the first window (its left edge shows beside the second), About.
    ClickAt(OnGui([this] { return m_window.mapToGlobal(QPoint(8, m_window.height() / 2)); }));
    Expect(Until(QStringLiteral("the first window active"), [this] { return m_window.isActiveWindow(); }, 5000),
           QStringLiteral("a click brings the first window back"));
    Key(QStringLiteral("ctrl+shift+a")); // About's shortcut since it was customised
    ExpectInFront([this] { return static_cast<QWidget*>(m_controller.AboutWindow()); }, QStringLiteral("About"));
    {
        const QString about = OnGui([this] { return m_controller.AboutWindow() ? m_controller.AboutWindow()->Text() : QString(); });
        Expect(about.count(QStringLiteral("WordList (process")) == 2, QStringLiteral("About lists both processes of the tool:\n") + about);
    }
    Picture(m_step);
    Key(QStringLiteral("Escape"));
    // The second window is ended as the controller ends a tool.
    OnGui([&] {
        for (const cv::TOpenToolWindow& w : cv::GetOpenToolWindows())
            if (cv::WindowHandleProcess(w.wnd) != QCoreApplication::applicationPid())
                cv::PostMessage(w.wnd, cv::kMsgControllerCommand, cv::PackToolCode(cv::kCodeTerminate, cv::kToolController), 0);
    });

    Step(QStringLiteral("22-close-with-unsaved-data"));
    ClickTab(QStringLiteral("index freq."));
    MakeClusters(false);
    const int clusters = OnGui([this] { return CurrentGrid() ? CurrentGrid()->RowCount() : 0; });
    Key(QStringLiteral("alt+x"));
    Expect(Question(QStringLiteral("the question before the window closes")).contains(QStringLiteral("not been saved")),
           QStringLiteral("Exit asks about the unsaved clusters"));
    Picture(m_step);
    ClickInFront(QStringLiteral("Cancel"));
    Expect(Until(QStringLiteral("the window stays"), [this] { return !QApplication::activeModalWidget() && m_window.isVisible(); }, 5000),
           QStringLiteral("Cancel keeps the window open"));
    Expect(OnGui([this] { return CurrentGrid() ? CurrentGrid()->RowCount() : 0; }) == clusters, QStringLiteral("Cancel keeps the clusters"));
    Step(QStringLiteral("22b-closed"));
    Key(QStringLiteral("alt+x"));
    Question(QStringLiteral("the question again"));
    ClickInFront(QStringLiteral("No"));
    Expect(Until(QStringLiteral("the window closes"), [this] { return !m_window.isVisible(); }, 10000), QStringLiteral("No lets the window close"));
    Picture(m_step);
    m_day.restart = true;
}

// The next morning: the window and the controller start again (from the
// controller's ini file, as after a restart of the machine).
void TWalker::WalkAfterRestart()
{
    Step(QStringLiteral("23-restart"));
    ExpectMainInFront();
    Expect(MenuShortcutShown(cv::TMenuCommand::AboutAndMemory) == QString::fromLatin1(kAboutShortcut),
           QStringLiteral("the menu shows About's customised shortcut: ") + MenuShortcutShown(cv::TMenuCommand::AboutAndMemory));
    Key(QStringLiteral("ctrl+shift+a"));
    ExpectInFront([this] { return static_cast<QWidget*>(m_controller.AboutWindow()); }, QStringLiteral("About, by its customised shortcut"));
    Picture(m_step);
    Key(QStringLiteral("Escape"));
    Until(QStringLiteral("the main window again"), [this] { return m_window.isActiveWindow(); }, 5000);

    Step(QStringLiteral("24-reference-kept"));
    Key(QStringLiteral("ctrl+o"));
    FileDialog(m_day.studyList, QStringLiteral("the open dialog"));
    Need(Until(QStringLiteral("the list opens"), [this] { return Entries(cv::kListWordList) > 0; }),
         QStringLiteral("the word list of one text opens"));
    Menu(QStringLiteral("Compute"), {QStringLiteral("KeyWords")});
    ExpectInFront([] { return QApplication::activeModalWidget(); }, QStringLiteral("the comparison dialog"));
    const QString reference = OnGui([this] { return ReferenceField() ? ReferenceField()->text() : QString(); });
    Expect(reference == m_day.referenceList, QStringLiteral("the reference list of yesterday: ") + reference);
    Picture(m_step);
    Key(QStringLiteral("Escape"));
    Until(QStringLiteral("the comparison dialog closes"), [] { return !QApplication::activeModalWidget(); }, 5000);
    Key(QStringLiteral("alt+x"));
    Expect(Until(QStringLiteral("the window closes"), [this] { return !m_window.isVisible(); }, 10000),
           QStringLiteral("the window closes"));
}

// The suite as a user starts it: the controller (it makes the settings
// buffer from its ini file), then the tool. Null when the controller cannot start.
std::unique_ptr<cv::TController> StartSuite(const QString& program, std::vector<qint64>& started)
{
    cv::TController::TOptions options;
    options.iniFile = Path(QStringLiteral("controller.ini"));
    options.logFile = Path(QStringLiteral("controller.log"));
    options.echo = false;
    options.readStdin = false;
    auto controller = std::make_unique<cv::TController>(options);
    QString error;
    if (!controller->Start(&error)) {
        QTextStream(stderr) << "controller: " << error << Qt::endl;
        return nullptr;
    }
    controller->StartProgram = [&program, &started](const QString&) {
        qint64 pid = 0;
        const bool ok = !program.isEmpty() && QProcess::startDetached(program, {}, QString(), &pid);
        if (ok)
            started.push_back(pid);
        return ok;
    };
    // Customise lists the tools' commands (before the window's own data module is made).
    controller->SetMenuCommands(cv::MenuCommandsForCustomising());
    cv::TToolStartupOptions startup;
    startup.tool = cv::kToolWordList;
    startup.startController = false;
    cv::ToolStartup(startup);
    // Help pages at an address of the walk's own; the desktop is asked for them.
    cv::SetCVHelpAccessMode(1);
    cv::SetCVHelpBaseAddress(QStringLiteral("file://") + Path(QStringLiteral("help/")));
    return controller;
}

// One session: the window made as the program makes it, the steps walked
// on a thread of their own, the window gone again. The failures seen.
int RunSession(QApplication& app, cv::TController& controller, TDay& day, void (TWalker::*steps)())
{
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard(&desktop);
    cv::TDataModuleCorvantis dataModule;
    cv::TFormWordList window(nullptr, cv::TMainToolsFormOptions{false, 0});
    cv::TQtDialogService dialogs(&window);
    cv::TDialogServiceGuard dialogGuard(&dialogs);
    cv::TQtFileDialogService fileDialogs(&window);
    cv::TFileDialogServiceGuard fileGuard(&fileDialogs);
    cv::TFixedCommandChoices otherCommandChoices;
    cv::TViewWindows viewWindows(&window);
    viewWindows.SetTagHandlerAndTagTranslate(window.fTagHandler.get(), window.fTagsToTranslateList.get());
    cv::TDialogJobChoices jobDialogs(&window);
    cv::TDialogCommandChoices commandDialogs(jobDialogs, otherCommandChoices);
    commandDialogs.SetViewWindows(&viewWindows);
    window.SetJobChoices(&jobDialogs);
    window.SetCommandChoices(&commandDialogs);
    window.show();

    TWalker walker(window, controller, desktop, day);
    std::atomic<bool> done = false;
    QThread* thread = QThread::create([&] {
        QThread::msleep(1500);
        try {
            (walker.*steps)();
        } catch (const TStop& stop) {
            QTextStream(stderr) << "the walk stopped: " << stop.why << Qt::endl;
            const QString file = Path(QStringLiteral("zz-where-it-stopped.png"));
            OnGui([&] { QGuiApplication::primaryScreen()->grabWindow(0).save(file); });
        }
        done = true;
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    thread->start();
    app.exec();
    // A walk that stopped early may leave modal windows behind: they go,
    // and the walker is waited for.
    while (!done) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isModal() && w->isVisible())
                w->close();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    thread->wait();
    delete thread;
    window.SetJobChoices(nullptr);
    window.SetCommandChoices(nullptr);
    if (window.isVisible()) {
        cv::no_check_exit = true;
        window.close();
        cv::no_check_exit = false;
    }
    return walker.failures;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setApplicationName(QStringLiteral("corvantis-wordlist"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));
    g_dir = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (g_dir.isEmpty() || !QDir().mkpath(g_dir))
        return 2;

    const QString program = qEnvironmentVariable("CV_WORDLIST_PROGRAM");
    std::vector<qint64> started;
    TDay day;
    int failures = 0;
    {
        std::unique_ptr<cv::TController> controller = StartSuite(program, started);
        if (!controller)
            return 3;
        failures += RunSession(app, *controller, day, &TWalker::Walk);
    }
    // The window and the controller have ended; both start again.
    if (day.restart) {
        std::unique_ptr<cv::TController> controller = StartSuite(program, started);
        if (!controller)
            return 3;
        failures += RunSession(app, *controller, day, &TWalker::WalkAfterRestart);
    }
    for (qint64 pid : started)
        QProcess::execute(QStringLiteral("kill"), {QString::number(pid)});
    cv::ToolShutdown();
    return failures == 0 && day.restart ? 0 : 1;
}
