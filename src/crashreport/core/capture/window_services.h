#pragma once
// The window and process services of a report: the program's main window,
// the rectangle of all its windows, the windows that appeared meanwhile,
// the clipboard, and restarting or ending the program.
//
// The core links Qt Core only: what it knows of windows comes from a
// TWindowServices adapter that a program with windows registers at start
// (crashreport/gui_facts). The adapter records the program's top-level
// windows on the window thread as they change and answers from that record
// on any thread (the report is built while the window thread waits). With
// no adapter the program has no windows: no main window, no rectangle, no
// clipboard. Only this process's windows are known; another process has none.

#include <cstdint>
#include <memory>
#include <span>
#include <optional>
#include <string>
#include <vector>

namespace cv {

// A window of the program (the adapter's own identity for it); 0 for none.
using TWindowHandle = uintptr_t;

// Right and bottom lie just outside the window; all four -1 for no rectangle.
struct TWindowRect {
    int Left = -1, Top = -1, Right = -1, Bottom = -1;
    bool operator==(const TWindowRect&) const = default;
};

struct TTopLevelWindow {
    TWindowHandle Handle = 0;
    TWindowHandle Owner = 0; // the window it belongs to (a dialog's parent); 0 for none
    std::string ClassName, Title;
    bool Visible = false;
    bool ToolWindow = false; // a tool, pop-up, tip or splash window
    TWindowRect Rect;
};

class TWindowServices {
public:
    virtual ~TWindowServices() = default;
    // The program's top-level windows as last recorded, the front-most first.
    virtual std::vector<TTopLevelWindow> TopLevelWindows() const = 0;
    // Puts the text on the clipboard (on the window thread; from another
    // thread it is handed there and done when that thread next runs its
    // events); false when it cannot be done.
    virtual bool SetClipboardText(const std::string& text) = 0;
    // Whether text put on the clipboard is still there after this process
    // has ended (a clipboard manager takes it over); where it is not, the
    // copy would vanish with the process, and the user's clipboard with it.
    virtual bool ClipboardOutlivesProcess() const { return false; }
};

// The process-wide adapter (none at first); null takes it away again.
void RegisterWindowServices(std::shared_ptr<TWindowServices> services);
std::shared_ptr<TWindowServices> RegisteredWindowServices();

// A window counts as an application window when it is visible, has a
// positive width and height, belongs to no window (or to a tool window that
// belongs to none), and is no tool window itself.
bool IsApplicationWindow(const TTopLevelWindow& window, std::span<const TTopLevelWindow> all);
// The first application window of the process, front-most first; 0 for none.
TWindowHandle FindProcessMainWindow(uint32_t processID);
// Whether the process is the development environment's: never here (it
// has no such program on this platform).
bool IsIDEProcess(uint32_t processID);
// The smallest rectangle holding every visible top-level window of the
// process at least 1 wide; all -1 when there is none.
TWindowRect GetProcessWindowsRect(uint32_t processID);
bool IsOwnProcessWindow(TWindowHandle window);
// Keeps the process's top-level windows of now; IsWindowMissingFromSavedList
// then tells a window that appeared since.
void SaveProcessWindowsList();
bool IsWindowMissingFromSavedList(TWindowHandle window);
// Nothing for empty text; false when there is no clipboard.
bool CopyTextToClipboard(const std::string& text);
// The registered services' answer; false without them.
bool ClipboardOutlivesProcess();

// Restarts the program when asked (its own program file run again in this
// process with the arguments it was started with, in the folder it was
// started in, with no signal blocked and none of this run's open files),
// and in every case ends it with exit code 1 (at once: no exit handlers).
// The restarted program finds the time of its restart in its environment
// (kRestartTimeVariable: milliseconds on the system's monotonic clock).
[[noreturn]] void RestartOrTerminate(bool restart);
inline constexpr const char* kRestartTimeVariable = "_CrashboxRestartTime";
// How long ago this program was started by RestartOrTerminate, in
// milliseconds; none when it was not.
std::optional<int64_t> MillisecondsSinceRestart();
// The folder the program was started in (recorded as the core is loaded).
const std::string& StartFolder();

} // namespace cv
