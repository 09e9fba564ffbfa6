#pragma once
// The controller stand-in: holds the suite's mutex, owns the shared settings
// buffer, registers the controller's window, logs every message tools post to
// it and sends them commands typed on standard input.
//
// It answers the tools as the suite's controller does where a user has no
// other way: "Choose texts" (1240) opens the text chooser, whose choice goes
// into the tool's hand-over file (then 1241 to the tool); the settings
// commands (1260 colours, 1130 font, 1230 language, 1600 folders, 1790 tags,
// 1460 lists, 66 the tool's own, 72 index) open a settings window, 4440 the
// customising of menus and 951 "About and memory". Settings stored by a
// window go into the ini file and every tool is told (233; for lists also
// the load or clear of each list). A language chosen in a tool's language
// dialog (1026 with 1230 and the language's index) becomes the text
// settings' language, acknowledged (701) and told (233). "New" given in a
// tool that holds data (4602) starts a second window of that tool.
//
// Windows it cannot reach (another run's) never stop it serving the
// others: one that registers so is refused, and a command passes over such
// a window to the tool's next one; each is named in the log. When another
// program takes or clears its place in the buffer it registers again.

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "suite/window_handle.h"

class QSocketNotifier;
class QWidget;

namespace cv {

class TMessageWindow;
class TNamedMutex;
class TTextChooser;
class TControllerSettingsWindow;
class TControllerCustomiseWindow;
class TControllerAboutWindow;
class THelpServer;
struct TMenuCommandsOfTools;

class TController final : public QObject {
public:
    struct TOptions {
        QString iniFile;      // settings that override the defaults
        QString logFile;      // the controller's log
        bool echo = true;     // log lines also go to standard output
        bool readStdin = true;
        // The suite's help pages ("index.html" and the rest); empty: the
        // folder "help" beside the controller's program.
        QString helpFolder;
    };

    explicit TController(TOptions options);
    ~TController() override;

    // Takes the mutex, sets up the buffer and the window; false with a reason.
    bool Start(QString* error);
    // One command line ("send 233 0", "open file.lst", "stop", ...); false
    // when it was not understood or could not be sent.
    bool ExecuteCommand(const QString& line);
    void Log(const QString& line);

    TWindowHandle Handle() const;
    // Where the help pages are served ("http://127.0.0.1:PORT/"); empty when they are not.
    QString HelpAddress() const;
    // A message as the controller's window gets it (what tools post).
    void OnMessage(uint32_t msg, uint64_t wparam, int64_t lparam);

    // --- the windows a tool asks for ---
    // `asking`: the tool window that asked (0: the tool's active window);
    // what the window leads to goes to that window.
    // `over`: the centre of the asking window on the screen, which the
    // window comes up over (when not given, where the window system puts it).
    void ShowTextChooser(uint8_t tool, TWindowHandle asking = 0, std::optional<QPoint> over = {});
    void ShowSettingsWindow(uint16_t code, uint8_t tool, TWindowHandle asking = 0, std::optional<QPoint> over = {});
    void ShowCustomiseWindow(uint8_t tool, std::optional<QPoint> over = {});
    void ShowAboutWindow(std::optional<QPoint> over = {});
    // The windows open now (null when none).
    TTextChooser* TextChooser() const;
    TControllerSettingsWindow* SettingsWindow() const;
    TControllerCustomiseWindow* CustomiseWindow() const;
    TControllerAboutWindow* AboutWindow() const;
    // The menu commands of the tools, for the customising window (the program gives them).
    void SetMenuCommands(std::shared_ptr<const TMenuCommandsOfTools> commands) { m_menuCommands = std::move(commands); }
    // Settings changed in a window: the ini file written, every tool window
    // told (233); after the lists window every window of the tool loads or
    // lets go of each list.
    void SettingsStored(uint16_t code, uint8_t tool);
    // The settings as they are now go into the ini file, so that the next
    // start has them (also when a tool changed one, code 4610).
    void KeepSettings();
    // The language of the language list at `index` becomes the texts' language; the tool is told.
    void LanguageChosen(int index, uint8_t tool);
    // The tools with a registered window.
    std::vector<uint8_t> RegisteredTools() const;
    // Every tool window open (a tool may have several).
    static std::vector<TWindowHandle> OpenToolWindows(int tool = -1);
    // A new instance of the tool whose window `asking` posted "New" with
    // data: the program file of that window's process (so a tool started
    // from anywhere starts again from there), else the tool's program
    // beside the controller.
    bool StartNewToolInstance(uint8_t tool, TWindowHandle asking);
    static QString ProgramOfToolWindow(uint8_t tool, TWindowHandle window);
    // How programs are started (tests record instead); true when started.
    std::function<bool(const QString& program)> StartProgram;

private:
    // To the tool's window that asked when it is still open, else to the tool's active window.
    bool SendCode(uint16_t code, int tool, TWindowHandle asking = 0);
    bool SendCodeToWindow(uint16_t code, TWindowHandle target);
    // The help of a fresh buffer: the pages beside the program, shown in mode 1.
    void SetHelpDefaults();
    // Serves the help file's folder on 127.0.0.1 and makes it the help
    // address, unless the settings name an address of their own.
    void StartHelpServer();
    void ReadStdin();
    void Finish();
    // Puts the controller's window and "initialised" back into the buffer
    // when another program took or cleared them.
    void KeepRegistration();
    static constexpr int kRegistrationCheckMs = 500;

    TOptions m_options;
    std::unique_ptr<TNamedMutex> m_mutex;
    std::unique_ptr<TMessageWindow> m_window;
    THelpServer* m_helpServer = nullptr;
    QSocketNotifier* m_stdin = nullptr;
    QByteArray m_stdinPending;
    int m_lastTool = -1;
    // Per tool, the centre of the window that asks next (code 4611 comes
    // before the command that opens a window).
    std::map<uint8_t, QPoint> m_askingCentres;
    bool m_finished = false;
    QPointer<TTextChooser> m_chooser;
    QPointer<TControllerSettingsWindow> m_settings;
    QPointer<TControllerCustomiseWindow> m_customise;
    QPointer<TControllerAboutWindow> m_about;
    std::shared_ptr<const TMenuCommandsOfTools> m_menuCommands;
};

// Text of a code for the log ("progress: hide").
QString DescribeControllerCode(uint16_t code);

} // namespace cv
