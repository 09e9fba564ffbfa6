// crash_example: starts the crash-report component as the tool does, then
// faults on request, for trying the component's settings by hand and for
// the end-to-end tests (docs/crash-example.md).
//
//   crash_example KIND [--output DIR] [--dialog none|messagebox|classic|detailed]
//                 [--smtp HOST:PORT --to ADDRESS] [--http URL] [--freeze SECONDS]
//                 [--catch-handled] [--options FILE]
//   crash_example --help            the usage, with the test options, on standard output
//
// KIND: segv, abort, fpe, illegal, stack-overflow, cxx, cxx-thread,
// cxx-handled, qt-event, freeze; heap-overrun, double-free, held-lock,
// early-thread-overflow, static-destructor-abort, exit-at-once
// (program_faults.h). Each faults in a function of its
// own whose name says the kind. Options not on the command line keep their defaults,
// or the values of the options file.
//
// For the tests of the component's own failures:
//   --fault-in-event segv|throw  the program's exception handler faults
//   --second-fault               another thread faults while the report is made
//   --window-fault               the window thread faults while it shows the
//                                dialog of its own exception
//   --two-threads                the fault happens in two threads at once
//   --no-descriptors             every file descriptor is taken before the fault
//   --no-threads                 no new thread can start from before the fault
//   --no-threads-at-start        nor from before the component starts
//   --no-threads-in-report       nor from the program's exception event on
//                                (the report's own thread is running then)
//   --core-off                   the component starts switched off
//   --no-crashbox                the component is not started at all
//   --sleeper MS                 another thread sleeps MS milliseconds in one
//                                call from before the fault; once it wakes, how
//                                long it slept and the call's answer go to
//                                standard error, and the program ends after it
//   --waiters MS                 the same for three threads that wait MS
//                                milliseconds: in epoll_wait (on a set without
//                                events), in recv with a receive timeout, and
//                                in sigtimedwait (for a signal that never comes)
// Started again as "crash_example --crashbox-reporter FILE" after a fatal
// signal on its window thread, it is the reporter of that crash: it shows
// the dialog and sends the report of the crashed run.
// CV_MAIL_REPLY_SILENCE=MS (environment, both runs): a name server's reply
// ends after MS milliseconds without another byte (a mail server's reply
// is taken as soon as it is whole).
// For the benchmark:
//   --timing                     the monotonic clock's time (ns) of the fault
//                                and of the report saved, with the processor
//                                time used by then, on standard error
//                                (a stack overflow's stack is touched first, so
//                                that its recursion costs its calls only)
//   --prepared                   the fault comes once the component has readied
//                                what a report needs of the modules (at most
//                                after 20 seconds), as in a program that runs

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "program_faults.h"

#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/exception_handling_unit.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/dialogs/crash_reporter.h"
#include "crashreport/dialogs/crashbox_application.h"
#include "crashreport/dialogs/handler_binding.h"
#include "crashreport/gui_facts/qt_gui_facts.h"
#include "crashreport/send/mail/mail_settings.h"
#include "crashreport/send/web/web_error_page.h"
#include "gui/qt_dialog_service.h"
#include "suite/logging.h"

namespace {

struct TArguments {
    std::string kind;
    std::string output;
    std::optional<cv::TExceptionDialogType> dialog;
    std::string smtp, to, http, options, faultInEvent;
    std::optional<int> freeze, sleeper, waiters;
    bool catchHandled = false, secondFault = false, windowFault = false, twoThreads = false, coreOff = false, noCrashbox = false, timing = false;
    bool noDescriptors = false, prepared = false, noThreads = false, noThreadsAtStart = false, noThreadsInReport = false;
};

void PrintUsage(std::FILE* to)
{
    std::fputs("usage: crash_example KIND [--output DIR] [--dialog none|messagebox|classic|detailed]\n"
               "       [--smtp HOST:PORT --to ADDRESS] [--http URL] [--freeze SECONDS] [--catch-handled]\n"
               "       [--options FILE]\n"
               "       crash_example --help\n"
               "KIND: segv abort fpe illegal stack-overflow cxx cxx-thread cxx-handled qt-event freeze\n"
               "      heap-overrun double-free held-lock early-thread-overflow static-destructor-abort exit-at-once\n"
               "For the tests of the component's own failures:\n"
               "  --fault-in-event segv|throw  the program's exception handler faults\n"
               "  --second-fault               another thread faults while the report is made\n"
               "  --window-fault               the window thread faults while it shows the dialog\n"
               "                               of its own exception\n"
               "  --two-threads                the fault happens in two threads at once\n"
               "  --no-descriptors             every file descriptor is taken before the fault\n"
               "  --core-off                   the component starts switched off\n"
               "  --no-crashbox                the component is not started at all\n"
               "  --sleeper MS                 another thread sleeps MS milliseconds in one call\n"
               "  --waiters MS                 three threads wait MS milliseconds: in epoll_wait, in\n"
               "                               recv with a receive timeout, in sigtimedwait\n"
               "  --no-threads                no thread can be started from just before the fault\n"
               "  --no-threads-at-start       no thread can be started from the program's start\n"
               "  --no-threads-in-report      no thread can be started from the program's exception event on\n"
               "For the benchmark: --timing, --prepared (docs/crash-example.md).\n"
               "Reports sent by HTTPS do not check the web server's certificate; reports sent by\n"
               "SMTP go without TLS (the report and the password in clear).\n",
               to);
}

[[noreturn]] void Usage(const char* problem)
{
    std::fprintf(stderr, "crash_example: %s\n", problem);
    PrintUsage(stderr);
    std::exit(2);
}

TArguments ParseArguments(int argc, char** argv)
{
    TArguments a;
    if (argc < 2)
        Usage("no KIND");
    a.kind = argv[1];
    if (a.kind == "--help" || a.kind == "-h") {
        PrintUsage(stdout);
        std::exit(0);
    }
    static const char* const kinds[] = {"segv", "abort", "fpe", "illegal", "stack-overflow", "cxx", "cxx-thread",
                                        "cxx-handled", "qt-event", "freeze"};
    if (std::find_if(std::begin(kinds), std::end(kinds), [&](const char* k) { return a.kind == k; }) == std::end(kinds)
        && !crashexample::IsProgramFaultKind(a.kind))
        Usage(("unknown KIND \"" + a.kind + "\"").c_str());
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage((option + " needs a value").c_str());
            return argv[++i];
        };
        if (option == "--output")
            a.output = value();
        else if (option == "--dialog") {
            const std::string d = value();
            if (d == "none")
                a.dialog = cv::edtNone;
            else if (d == "messagebox")
                a.dialog = cv::edtMessageBox;
            else if (d == "classic")
                a.dialog = cv::edtMSClassic;
            else if (d == "detailed")
                a.dialog = cv::edtCrashbox;
            else
                Usage("--dialog takes none, messagebox, classic or detailed");
        } else if (option == "--smtp")
            a.smtp = value();
        else if (option == "--to")
            a.to = value();
        else if (option == "--http")
            a.http = value();
        else if (option == "--freeze")
            a.freeze = std::atoi(value().c_str());
        else if (option == "--options")
            a.options = value();
        else if (option == "--catch-handled")
            a.catchHandled = true;
        else if (option == "--fault-in-event")
            a.faultInEvent = value();
        else if (option == "--second-fault")
            a.secondFault = true;
        else if (option == "--window-fault")
            a.windowFault = true;
        else if (option == "--two-threads")
            a.twoThreads = true;
        else if (option == "--no-descriptors")
            a.noDescriptors = true;
        else if (option == "--no-threads")
            a.noThreads = true;
        else if (option == "--no-threads-at-start")
            a.noThreadsAtStart = true;
        else if (option == "--no-threads-in-report")
            a.noThreadsInReport = true;
        else if (option == "--core-off")
            a.coreOff = true;
        else if (option == "--no-crashbox")
            a.noCrashbox = true;
        else if (option == "--timing")
            a.timing = true;
        else if (option == "--prepared")
            a.prepared = true;
        else if (option == "--sleeper")
            a.sleeper = std::atoi(value().c_str());
        else if (option == "--waiters")
            a.waiters = std::atoi(value().c_str());
        else
            Usage(("unknown option " + option).c_str());
    }
    if (!a.smtp.empty() && a.to.empty())
        Usage("--smtp needs --to");
    return a;
}

// --- The faults, one function each ---

volatile int gZero = 0;
int* volatile gNull = nullptr;

__attribute__((noinline)) void FaultSegv() { *gNull = 42; }
__attribute__((noinline)) void FaultAbort() { std::abort(); }
__attribute__((noinline)) int FaultFpe() { return 42 / gZero; }
__attribute__((noinline)) void FaultIllegal() { __builtin_trap(); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int FaultStackOverflow(int depth)
{
    volatile char frame[512];
    frame[0] = char(depth);
    return FaultStackOverflow(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop
// Touches the window thread's stack from here down to `stop`, in blocks of
// 60 KiB, top first: afterwards a recursion down to the limit costs its
// calls only, not the system's handing out of 8 MB of pages one by one
// (which would be timed as the report's).
__attribute__((noinline)) void TouchStack(uintptr_t stop)
{
    volatile char block[60 * 1024];
    for (std::size_t i = sizeof block; i >= 4096; i -= 4096)
        block[i - 1] = 0;
    block[0] = 0;
    // The next block lies below this one, with its call's few bytes.
    if (reinterpret_cast<uintptr_t>(&block[0]) > stop + sizeof block + 4096)
        TouchStack(stop);
    block[1] = block[0]; // no tail call: every block stays on the stack until the end
}
// 128 KiB above the lowest address the window thread's stack may reach (its
// size limit counted from its top, as the system counts it), or 0 when that
// is not known: a few dozen pages are left for the recursion to meet.
uintptr_t StackTouchStop()
{
    pthread_attr_t attr;
    if (::pthread_getattr_np(::pthread_self(), &attr) != 0)
        return 0;
    void* lowest = nullptr;
    std::size_t size = 0;
    const bool known = ::pthread_attr_getstack(&attr, &lowest, &size) == 0 && lowest != nullptr && size > (2u << 20);
    ::pthread_attr_destroy(&attr);
    return known ? reinterpret_cast<uintptr_t>(lowest) + (128u << 10) : 0;
}
__attribute__((noinline)) void FaultCxx() { throw std::runtime_error("crash_example: an exception nothing catches"); }
__attribute__((noinline)) void FaultCxxThread() { throw std::runtime_error("crash_example: an exception in a second thread"); }
__attribute__((noinline)) void FaultCxxHandled() { throw std::runtime_error("crash_example: an exception that is caught"); }
__attribute__((noinline)) void FaultQtEvent() { throw std::logic_error("crash_example: an exception in an event handler"); }
__attribute__((noinline)) void FaultSecondThread() { *gNull = 43; }
__attribute__((noinline)) void FaultWindowThread() { *gNull = 45; }

std::atomic<bool> gReported{false};
bool gTiming = false;

// Started again as "crash_example --crashbox-reporter FILE" after a fatal
// signal on its window thread, it is the reporter of that crash: it shows
// the dialog and sends the report of the crashed run.
// CV_MAIL_REPLY_SILENCE=MS (environment, both runs): a name server's reply
// ends after MS milliseconds without another byte (a mail server's reply
// is taken as soon as it is whole).
// For the benchmark: the time of an event on the monotonic clock.
void PrintTime(const char* what)
{
    if (!gTiming)
        return;
    // With the processor time the process has used: on a busy machine the
    // time a report takes in itself.
    timespec now{}, used{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    std::fprintf(stderr, "crash_example: %s at %lld ns, processor time %lld ns\n", what, (long long)now.tv_sec * 1000000000LL + now.tv_nsec,
                 (long long)used.tv_sec * 1000000000LL + used.tv_nsec);
}

__attribute__((noinline)) void FaultFreeze()
{
    // The window stops answering until the watchdog's report is in the log.
    while (!gReported.load())
        ::usleep(20000);
}

// The fault of the kind, on the calling thread.
void Fault(const std::string& kind)
{
    if (kind == "segv")
        FaultSegv();
    else if (kind == "abort")
        FaultAbort();
    else if (kind == "fpe")
        std::printf("%d\n", FaultFpe());
    else if (kind == "illegal")
        FaultIllegal();
    else if (kind == "stack-overflow")
        std::printf("%d\n", FaultStackOverflow(0));
    else if (kind == "cxx")
        FaultCxx();
    else if (crashexample::IsProgramFaultKind(kind))
        crashexample::ProgramFault(kind, [] { std::printf("%d\n", FaultStackOverflow(0)); });
}

// The descriptor table is full, as in a program that leaks files: the soft
// limit lowered (so that filling it is quick), then /dev/null opened until
// no descriptor is left. The descriptors stay open until the end.
void TakeEveryDescriptor()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur > 256) {
        limit.rlim_cur = 256;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    while (::open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0) {
    }
}

// Two threads fault at the same moment.
void FaultInTwoThreads(const std::string& kind)
{
    std::atomic<int> ready{0};
    auto run = [&] {
        ++ready;
        while (ready.load() < 2) {
        }
        if (kind == "cxx-thread")
            FaultCxxThread();
        else
            Fault(kind);
    };
    std::thread first(run), second(run);
    first.join();
    second.join();
}

// A thread that waits in one call of the system, as a program's thread
// may, while the fault is reported: whether its wait lasted as asked.
// `call` makes the call (it is to last `milliseconds`) and answers 0, or the
// error number it failed with; once it is back, "crash_example: WHAT N ms,
// answer R" goes to standard error.
class TWaiter {
public:
    TWaiter(std::string what, int milliseconds, std::function<int(int milliseconds)> call)
        : fThread([this, what = std::move(what), milliseconds, call = std::move(call)] {
              timespec start{}, end{};
              ::clock_gettime(CLOCK_MONOTONIC, &start);
              fWaiting = true;
              const int answer = call(milliseconds);
              ::clock_gettime(CLOCK_MONOTONIC, &end);
              const long long waited = (end.tv_sec - start.tv_sec) * 1000LL + (end.tv_nsec - start.tv_nsec) / 1000000;
              std::fprintf(stderr, "crash_example: %s %lld ms, answer %d\n", what.c_str(), waited, answer);
          })
    {
        // Well inside its wait before the fault comes.
        while (!fWaiting.load())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~TWaiter() { fThread.join(); }
    TWaiter(const TWaiter&) = delete;
    TWaiter& operator=(const TWaiter&) = delete;

private:
    std::atomic<bool> fWaiting{false};
    std::thread fThread;
};

int ErrorOf(bool failed) { return failed ? errno : 0; }

int Sleep(int milliseconds)
{
    const timespec length{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    return ::clock_nanosleep(CLOCK_MONOTONIC, 0, &length, nullptr);
}

// Waits for an event on an epoll set that gets none: 0 when it timed out.
int WaitInEpoll(int milliseconds)
{
    const int set = ::epoll_create1(EPOLL_CLOEXEC);
    if (set < 0)
        return errno;
    epoll_event event{};
    const int n = ::epoll_wait(set, &event, 1, milliseconds);
    const int answer = n < 0 ? errno : 0;
    ::close(set);
    return answer;
}

// Waits to receive on a socket with a receive timeout, from a peer that
// sends nothing: EAGAIN when it timed out.
int WaitInRecv(int milliseconds)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return errno;
    const timeval timeout{milliseconds / 1000, long(milliseconds % 1000) * 1000L};
    ::setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char byte = 0;
    const int answer = ErrorOf(::recv(pair[0], &byte, 1, 0) < 0);
    ::close(pair[0]);
    ::close(pair[1]);
    return answer;
}

// Waits for a signal that never comes (blocked in this thread): EAGAIN when
// it timed out.
int WaitInSigtimedwait(int milliseconds)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGURG);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    const timespec timeout{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    return ErrorOf(::sigtimedwait(&set, nullptr, &timeout) < 0);
}

// The example's message boxes: on screen as in the tool, closing
// themselves as the options' dialogs do (AutoCloseDialogSecs), so that a
// box nobody answers (the tool's log that cannot be written, say) never
// holds a run for good. With the dialogs switched off (edtNone) the example
// runs unattended: a box is said on standard error and takes its default
// answer, as in a program without a screen.
class TExampleDialogs final : public cv::TDialogService {
public:
    cv::TDialogAnswer Show(const cv::TDialogRequest& request) override
    {
        if (!cv::CrashboxActivated())
            return fScreen.Show(request);
        const cv::TCrashboxModuleOptions& options = cv::CurrentCrashboxOptions();
        if (options.ExceptionDialogType() == cv::edtNone) {
            std::fprintf(stderr, "%s : %s\n", qUtf8Printable(request.caption), qUtf8Printable(request.text));
            return request.defaultAnswer;
        }
        cv::TDialogRequest closing = request;
        if (closing.autoCloseSecs == 0)
            closing.autoCloseSecs = options.AutoCloseDialogSecs();
        return fScreen.Show(closing);
    }

private:
    cv::TQtDialogService fScreen;
};

// The mail transports' waits as the environment asks.
void ApplyMailSettings()
{
    bool ok = false;
    const int silence = qEnvironmentVariableIntValue("CV_MAIL_REPLY_SILENCE", &ok);
    if (!ok || silence <= 0)
        return;
    cv::TMailSettings settings = cv::MailSettings();
    settings.ReplySilence = uint32_t(silence);
    cv::SetMailSettings(settings);
}

} // namespace

int main(int argc, char** argv)
{
    ApplyMailSettings();
    if (const std::optional<int> exitCode = cv::RunAsCrashReporter(argc, argv))
        return *exitCode;
    const TArguments args = ParseArguments(argc, argv);
    const std::string output = args.output.empty() ? "." : args.output;
    gTiming = args.timing;

    crashexample::BeforeComponent(args.kind);
    if (args.noThreadsAtStart && !crashexample::ForbidNewThreads()) {
        std::fprintf(stderr, "crash_example: the system does not let thread creation be refused\n");
        return 2;
    }
    // The component first, as in the tool.
    if (!args.noCrashbox) {
        cv::TExceptionLogStartup startup;
        startup.OptionsFile = args.options;
        if (args.coreOff)
            startup.CarriesCoreData = false;
        cv::InitExceptionLog(startup);
    }
    cv::TCrashboxApplication app(argc, argv);
    // The message boxes appear on screen, as in the tool: the plain
    // exception box (--dialog messagebox) is a window of its own, which a
    // second fault can meet.
    TExampleDialogs dialogs;
    const cv::TDialogServiceGuard dialogGuard(&dialogs);
    QCoreApplication::setApplicationName(QStringLiteral("crash_example"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    // The output folder first: the tool's log goes there as well as the report.
    QDir().mkpath(QString::fromStdString(output));
    cv::SetLogFilename(QString::fromStdString(output + "/CVlog.txt"));
    cv::SwitchLogging(true);
    // The tool's crash-event unit, with the output folder as its program's folder.
    if (cv::CrashboxActivated())
        cv::InitExceptionHandlingUnit(output + "/crash_example");
    std::optional<cv::TQtGuiFactsRegistration> guiFacts;
    guiFacts.emplace();
    // The dialogs, the screenshot and sending.
    std::optional<cv::TCrashReportDialogs> reportDialogs;
    // A program started by a web server answers the request with the error page.
    std::optional<cv::TWebErrorPageBinding> webErrorPage;
    if (cv::CrashboxActivated()) {
        reportDialogs.emplace();
        webErrorPage.emplace();
    }

    if (cv::CrashboxActivated()) {
        cv::TCrashboxModuleOptions& options = cv::CurrentCrashboxOptions();
        options.BeginUpdate();
        options.SetOutputPath(output);
        if (args.dialog)
            options.SetExceptionDialogType(*args.dialog);
        if (args.freeze) {
            options.SetFreezeTimeout(*args.freeze);
            options.SetFreezeActivate(true);
        }
        if (args.catchHandled) {
            cv::TBehaviourOptions behaviour = options.BehaviourOptions();
            behaviour.Include(cv::boCatchHandledExceptions);
            options.SetBehaviourOptions(behaviour);
        }
        if (!args.smtp.empty()) {
            const auto colon = args.smtp.rfind(':');
            options.SetSMTPHost(args.smtp.substr(0, colon));
            if (colon != std::string::npos)
                options.SetSMTPPort(uint16_t(std::atoi(args.smtp.c_str() + colon + 1)));
            options.SetEMailAddresses(args.to);
            options.SetEMailSendMode(cv::esmSMTPClient);
        }
        if (!args.http.empty()) {
            // The options keep the port apart from the address.
            QUrl url(QString::fromStdString(args.http));
            options.SetWebPort(url.port(0));
            url.setPort(-1);
            options.SetWebURL(url.toString().toStdString());
            options.SetWebSendMode(cv::wsmHTTP);
        }
        options.EndUpdate();
    }

    // The example's own receivers: one for the tests of the component's
    // failures, one that notes when the report is in the log.
    cv::TCrashboxNotifier notifier;
    notifier.OnExceptionActionNotify = [&args](cv::TCrashboxExceptionRecord&, uint8_t action, bool&) {
        if (action == cv::caSavedLog) {
            PrintTime("report saved");
            gReported = true;
        }
        // On the raising thread, which serves the dialog's events once it is up.
        if (action == cv::caShowing && args.windowFault)
            QTimer::singleShot(300, [] { FaultWindowThread(); });
    };
    if (!args.faultInEvent.empty() || args.secondFault || args.noThreadsInReport)
        notifier.OnExceptionNotify = [&args](cv::TCrashboxExceptionRecord&, bool&) {
            if (args.noThreadsInReport && !crashexample::ForbidNewThreads())
                std::fprintf(stderr, "crash_example: the system does not let thread creation be refused\n");
            if (args.secondFault) {
                std::thread(FaultSecondThread).detach();
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            if (args.faultInEvent == "segv")
                *gNull = 44;
            else if (args.faultInEvent == "throw")
                throw std::runtime_error("crash_example: the exception handler fails");
        };

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("crash_example"));
    window.setCentralWidget(new QLabel(QStringLiteral("crash_example: %1").arg(QString::fromStdString(args.kind)), &window));
    window.resize(320, 120);
    window.show();

    int exitCode = 0;
    const std::string kind = args.kind;
    if (args.noDescriptors)
        TakeEveryDescriptor();
    if (args.prepared)
        for (int waited = 0; waited < 20000 && cv::CrashboxActivated() && !cv::ModulesReadyForReport(); waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::optional<TWaiter> sleeper;
    if (args.sleeper)
        sleeper.emplace("slept", *args.sleeper, Sleep);
    std::vector<std::unique_ptr<TWaiter>> waiters;
    if (args.waiters) {
        waiters.push_back(std::make_unique<TWaiter>("epoll_wait waited", *args.waiters, WaitInEpoll));
        waiters.push_back(std::make_unique<TWaiter>("recv waited", *args.waiters, WaitInRecv));
        waiters.push_back(std::make_unique<TWaiter>("sigtimedwait waited", *args.waiters, WaitInSigtimedwait));
    }
    crashexample::BeforeFault(kind);
    if (args.noThreads && !crashexample::ForbidNewThreads()) {
        std::fprintf(stderr, "crash_example: the system does not let thread creation be refused\n");
        return 2;
    }
    rlimit stackLimit{};
    if (args.timing && kind == "stack-overflow" && ::getrlimit(RLIMIT_STACK, &stackLimit) == 0 && stackLimit.rlim_cur != RLIM_INFINITY
        && stackLimit.rlim_cur > (2u << 20))
        if (const uintptr_t stop = StackTouchStop(); stop != 0 && reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) > stop)
            TouchStack(stop);
    // A second thread's exception is timed from its throw: starting the
    // thread is the program's own work, not the report's.
    const bool throwsInAThread = kind == "cxx-thread" && !args.twoThreads;
    if (kind != "qt-event" && kind != "freeze" && !throwsInAThread)
        PrintTime("fault");
    if (kind == "cxx-handled") {
        try {
            FaultCxxHandled();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "crash_example: caught \"%s\"\n", e.what());
        }
    } else if (kind == "qt-event" || kind == "freeze") {
        // The fault happens inside an event handler of the running window;
        // once the component has dealt with it, the example ends as after a fault.
        QTimer::singleShot(100, &window, [&kind] {
            PrintTime("fault");
            if (kind == "qt-event")
                FaultQtEvent();
            else
                FaultFreeze();
        });
        QTimer reported;
        QObject::connect(&reported, &QTimer::timeout, &app, [] {
            if (gReported.load())
                QCoreApplication::exit(1);
        });
        reported.start(20);
        exitCode = app.exec();
    } else if (args.twoThreads || kind == "cxx-thread") {
        if (args.twoThreads)
            FaultInTwoThreads(kind);
        else
            std::thread([] {
                PrintTime("fault");
                FaultCxxThread();
            }).join();
    } else {
        Fault(kind);
    }

    sleeper.reset();
    waiters.clear();
    webErrorPage.reset();
    reportDialogs.reset();
    guiFacts.reset();
    if (cv::CrashboxActivated())
        cv::DoneExceptionHandlingUnit();
    cv::SwitchLogging(false);
    // The component stays on through the program's end after main.
    cv::DoneExceptionLogAtExit();
    return exitCode;
}
