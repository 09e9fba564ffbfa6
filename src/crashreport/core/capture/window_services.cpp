#include "crashreport/core/capture/window_services.h"

#include "crashreport/core/support/files_and_folders.h"

#include <limits.h>
#include <time.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace cv {

namespace {

std::mutex gServicesLock;
std::shared_ptr<TWindowServices> gServices;

std::mutex gSavedLock;
std::set<TWindowHandle> gSavedWindows;

std::string CurrentFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// Recorded as the program starts, before it may change folder.
const std::string gStartFolder = CurrentFolder();

std::vector<TTopLevelWindow> OwnWindows()
{
    const std::shared_ptr<TWindowServices> services = RegisteredWindowServices();
    return services ? services->TopLevelWindows() : std::vector<TTopLevelWindow>();
}

bool IsOwnProcess(uint32_t processID) { return processID == uint32_t(::getpid()); }

const TTopLevelWindow* Find(std::span<const TTopLevelWindow> all, TWindowHandle handle)
{
    const auto it = std::find_if(all.begin(), all.end(), [handle](const TTopLevelWindow& w) { return w.Handle == handle; });
    return it == all.end() ? nullptr : &*it;
}

} // namespace

void RegisterWindowServices(std::shared_ptr<TWindowServices> services)
{
    std::lock_guard guard(gServicesLock);
    gServices = std::move(services);
}

std::shared_ptr<TWindowServices> RegisteredWindowServices()
{
    std::lock_guard guard(gServicesLock);
    return gServices;
}

bool IsApplicationWindow(const TTopLevelWindow& window, std::span<const TTopLevelWindow> all)
{
    const TWindowRect& r = window.Rect;
    if (!window.Visible || r.Right <= r.Left || r.Bottom <= r.Top || window.ToolWindow)
        return false;
    TWindowHandle owner = window.Owner;
    if (const TTopLevelWindow* ownerWindow = owner ? Find(all, owner) : nullptr; ownerWindow && ownerWindow->ToolWindow)
        owner = ownerWindow->Owner;
    return owner == 0;
}

TWindowHandle FindProcessMainWindow(uint32_t processID)
{
    if (!IsOwnProcess(processID))
        return 0;
    const std::vector<TTopLevelWindow> windows = OwnWindows();
    for (const TTopLevelWindow& window : windows)
        if (IsApplicationWindow(window, windows))
            return window.Handle;
    return 0;
}

bool IsIDEProcess(uint32_t) { return false; }

TWindowRect GetProcessWindowsRect(uint32_t processID)
{
    TWindowRect all;
    if (!IsOwnProcess(processID))
        return all;
    bool any = false;
    for (const TTopLevelWindow& window : OwnWindows()) {
        const TWindowRect& r = window.Rect;
        if (!window.Visible || r.Right - r.Left < 1)
            continue;
        if (!any) {
            all = r;
            any = true;
            continue;
        }
        all.Left = std::min(all.Left, r.Left);
        all.Top = std::min(all.Top, r.Top);
        all.Right = std::max(all.Right, r.Right);
        all.Bottom = std::max(all.Bottom, r.Bottom);
    }
    return all;
}

bool IsOwnProcessWindow(TWindowHandle window)
{
    const std::vector<TTopLevelWindow> windows = OwnWindows();
    return window != 0 && Find(windows, window) != nullptr;
}

void SaveProcessWindowsList()
{
    std::set<TWindowHandle> saved;
    for (const TTopLevelWindow& window : OwnWindows())
        saved.insert(window.Handle);
    std::lock_guard guard(gSavedLock);
    gSavedWindows = std::move(saved);
}

bool IsWindowMissingFromSavedList(TWindowHandle window)
{
    std::lock_guard guard(gSavedLock);
    return gSavedWindows.count(window) == 0;
}

bool CopyTextToClipboard(const std::string& text)
{
    if (text.empty())
        return false;
    const std::shared_ptr<TWindowServices> services = RegisteredWindowServices();
    return services && services->SetClipboardText(text);
}

bool ClipboardOutlivesProcess()
{
    const std::shared_ptr<TWindowServices> services = RegisteredWindowServices();
    return services && services->ClipboardOutlivesProcess();
}

const std::string& StartFolder() { return gStartFolder; }

namespace {

int64_t MonotonicMilliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

std::optional<int64_t> MillisecondsSinceRestart()
{
    const char* text = std::getenv(kRestartTimeVariable);
    int64_t at = 0;
    if (!text || std::from_chars(text, text + std::strlen(text), at).ec != std::errc())
        return std::nullopt;
    return MonotonicMilliseconds() - at;
}

void RestartOrTerminate(bool restart)
{
    if (restart) {
        ::setenv(kRestartTimeVariable, std::to_string(MonotonicMilliseconds()).c_str(), 1);
        std::string arguments;
        ReadFileText("/proc/self/cmdline", arguments);
        std::vector<char*> argv;
        for (std::size_t at = 0; at < arguments.size(); at = arguments.find('\0', at) + 1) {
            argv.push_back(arguments.data() + at);
            if (arguments.find('\0', at) == std::string::npos)
                break;
        }
        argv.push_back(nullptr);
        if (!gStartFolder.empty() && ::chdir(gStartFolder.c_str()) != 0) {
            // The program starts where this one is now.
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        ::execv("/proc/self/exe", argv.data());
    }
    ::_exit(1);
}

} // namespace cv
