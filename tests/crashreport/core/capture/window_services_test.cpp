#include "crashreport/core/capture/window_services.h"

#include "crashreport/core/support/files_and_folders.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "support/test_support.h"

namespace {

// The program restarted by the restart test reports how it was started and ends at once.
[[maybe_unused]] const bool gRestartedProbe = [] {
    if (const char* report = std::getenv("CV_RESTART_PROBE")) {
        std::string arguments, folder(4096, '\0');
        cv::ReadFileText("/proc/self/cmdline", arguments);
        std::ofstream(report) << arguments << '\n' << (getcwd(folder.data(), folder.size()) ? folder.c_str() : "");
        _exit(7);
    }
    return false;
}();

using namespace cv;

class StubWindows : public TWindowServices {
public:
    std::vector<TTopLevelWindow> windows;
    std::string clipboard;
    std::vector<TTopLevelWindow> TopLevelWindows() const override { return windows; }
    bool SetClipboardText(const std::string& text) override
    {
        clipboard = text;
        return true;
    }
};

TTopLevelWindow Window(TWindowHandle handle, TWindowRect rect, TWindowHandle owner = 0, bool tool = false, bool visible = true)
{
    return {handle, owner, "", "", visible, tool, rect};
}

class WindowServices : public ::testing::Test {
protected:
    void SetUp() override { RegisterWindowServices(stub); }
    void TearDown() override { RegisterWindowServices(nullptr); }
    std::shared_ptr<StubWindows> stub = std::make_shared<StubWindows>();
    const uint32_t self = uint32_t(getpid());
};

TEST_F(WindowServices, TheMainWindowIsTheFrontMostApplicationWindowAndTheRectangleHoldsAllVisibleOnes)
{
    stub->windows = {Window(1, {0, 0, 9000, 9000}, 0, false, false), // hidden
                     Window(2, {-5, 0, -5, 10}),                      // no width
                     Window(3, {10, 20, 110, 220}, 0, true),          // a tool window
                     Window(4, {0, 30, 10, 400}, 5),                  // a dialog of window 5
                     Window(5, {0, 0, 10, 10}, 3),                    // belongs to a tool window that belongs to none
                     Window(6, {0, 0, 10, 10})};
    EXPECT_EQ(FindProcessMainWindow(self), 5u);
    EXPECT_EQ(GetProcessWindowsRect(self), (TWindowRect{0, 0, 110, 400}));
    EXPECT_EQ(FindProcessMainWindow(self + 1), 0u) << "another process's windows are not known";
    EXPECT_EQ(GetProcessWindowsRect(self + 1), TWindowRect{});
    stub->windows.resize(4);
    EXPECT_EQ(FindProcessMainWindow(self), 0u);
    stub->windows.resize(2);
    EXPECT_EQ(GetProcessWindowsRect(self), TWindowRect{});
}

TEST_F(WindowServices, NewWindowsAreMissingFromTheSavedListAndTheClipboardTakesText)
{
    stub->windows = {Window(1, {0, 0, 1, 1})};
    SaveProcessWindowsList();
    stub->windows.push_back(Window(2, {0, 0, 1, 1}));
    EXPECT_FALSE(IsWindowMissingFromSavedList(1));
    EXPECT_TRUE(IsWindowMissingFromSavedList(2));
    EXPECT_TRUE(IsOwnProcessWindow(2));
    EXPECT_FALSE(IsOwnProcessWindow(3));
    EXPECT_FALSE(CopyTextToClipboard(""));
    EXPECT_TRUE(CopyTextToClipboard("report"));
    EXPECT_EQ(stub->clipboard, "report");
    RegisterWindowServices(nullptr);
    EXPECT_FALSE(CopyTextToClipboard("report")) << "no windows, no clipboard";
}

int ExitStatusOfChild(const std::function<void()>& child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(99);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RestartOrTerminate, EndsWithCodeOneOrStartsTheProgramAgainAsItWasStarted)
{
    EXPECT_EQ(ExitStatusOfChild([] { RestartOrTerminate(false); }), 1);

    cvtest::TempDir dir;
    const std::string report = dir.file(QStringLiteral("restarted")).toStdString();
    EXPECT_EQ(ExitStatusOfChild([&] {
                  setenv("CV_RESTART_PROBE", report.c_str(), 1);
                  if (chdir("/") == 0)
                      RestartOrTerminate(true);
              }),
              7);
    std::string arguments, seen;
    ReadFileText("/proc/self/cmdline", arguments);
    ASSERT_TRUE(ReadFileText(report, seen));
    EXPECT_EQ(seen, arguments + "\n" + StartFolder()) << "the same arguments, in the folder the program started in";
}

} // namespace
