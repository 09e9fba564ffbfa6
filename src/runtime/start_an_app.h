#pragma once
// Starting programs of the suite, and the tool's start-up and close-down in
// the order the suite expects: module initialisations (settings-buffer link,
// logging, language list, progress reporter, "stop at" table), then the
// controller check through its named mutex, starting the controller when it
// is not running.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

namespace cv {

constexpr int kControllerStartWaitMs = 30000;

// The controller's program file: $CV_CONTROLLER_PROGRAM, else the program
// file of tool 16 next to the running program.
QString ControllerProgramFile();

// Starts a program of the suite. For tool 16 it makes sure the controller
// runs: when its mutex is absent the program is started and the routine waits,
// pumping messages, until the settings buffer reports the controller
// initialised, at most waitMs. A controller that cannot be started (missing
// or not executable program, failed start, ended early, no report in time)
// gives the fatal message "Can't start" with the file name under "Fatal Error"
// and false; ending the program is the caller's decision.
bool StartAnApp(uint8_t tool, const QStringList& arguments = {}, int waitMs = kControllerStartWaitMs);

struct TToolStartupOptions {
    uint8_t tool = 0;            // this program's tool number
    QStringList arguments;       // the command line (for "/log")
    bool startController = true; // false: run on the settings found (standalone, benchmarks)
    int controllerWaitMs = kControllerStartWaitMs;
};

// Runs the start-up; false when the controller could not be started (the
// fatal message has been shown).
bool ToolStartup(const TToolStartupOptions& options);

// Readies the process's memory for jobs on large corpora. Memory the program
// frees is kept for its next use instead of being handed back to the
// system at once (the jobs read texts through buffers made and freed per
// text, and every fresh page costs a fault), and the next 192 MB of the heap
// are to be backed by 2 MB pages where the system allows it (see the .cpp);
// neither under a limit of the address space, where room the heap held
// would be missing to libraries and threads.
// First thing in main, before any thread starts.
void PrepareMemoryForJobs();
// After a result is let go (a document closed or replaced): the memory the
// heap kept free is handed back to the system, so that a window that made
// many results holds no more than one showing the last of them.
void GiveBackFreedMemory();
// The program's end when it cannot go on for want of memory (a start-up
// cut short, a window with nothing more to give back): standard error says
// why and the program ends at once with exit code 1, without the clean-up
// that would itself need memory. The text is made beforehand, with this.
class TEndForWantOfMemory {
public:
    explicit TEndForWantOfMemory(const QString& program);
    [[noreturn]] void operator()() const noexcept;

private:
    std::string m_text;
};
// At exit: the window's registration is removed and a closing line logged.
void ToolShutdown();

} // namespace cv
