// bench-deps: cv_crashcore
// What crash reporting costs the tool: its start with the core on and with
// the core off, in the same run (the goal: start-up adds at most 20 ms), and
// the time from a fault to the report saved in the log, for each kind of
// fault of the example program, C++ exceptions beside signals (a corrupt
// heap that the C library finds inside free among the signals): once for a
// fault that comes at once, before the core has readied the modules' records
// and debug data in the background (the report makes them itself), and once
// for a fault in a program that has run that long (the goals are for this);
// then a segv's report into an empty log and into a log of 600 entries.
//
// The core is off in a copy of the tool without its crash-report data (the
// ELDATA section), as a program built without it. Both copies start in turn,
// unattended and without the controller, and end as soon as their start-up
// steps are done; the medians are compared. Each fault's run must leave
// exactly one report in the log, so a fast run that reports nothing does not
// pass.
//
//   crash_startup_bench [--faults] [runs] [tool program] [example program]
//
// The programs default to the build's, found from this program's folder.
// With --faults only the faults are timed (runs each), not the tool's start.

#include "bench_support.h"

#include "crashreport/core/report/log_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct TRun {
    double seconds = 0;
    int status = 0; // the exit code, or minus the signal
    std::string output;
};

// Runs a program in dir with extra environment variables; its standard
// output and error are kept. A run longer than a minute is ended.
std::optional<TRun> Run(const std::vector<std::string>& arguments, const fs::path& dir, const std::vector<std::string>& environment)
{
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), environment.begin(), environment.end());
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const fs::path out = dir / "out.txt";
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&files, dir.c_str());
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return std::nullopt;
    }
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::minutes(1)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            std::fprintf(stderr, "%s did not end within a minute\n", argv[0]);
            return std::nullopt;
        }
        ::usleep(500);
    }
    TRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::ifstream in(out, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The nanoseconds a "crash_example: WHAT at N ns, processor time P ns" line
// gives (N, or with processor P), if there is one.
std::optional<long long> TimeOf(const std::string& output, const std::string& what, bool processor = false)
{
    const std::string mark = "crash_example: " + what + " at ";
    auto at = output.find(mark);
    if (at == std::string::npos)
        return std::nullopt;
    at += mark.size();
    if (processor) {
        const std::string used = ", processor time ";
        at = output.find(used, at);
        if (at == std::string::npos || output.find('\n', at - used.size()) < at)
            return std::nullopt;
        at += used.size();
    }
    return std::atoll(output.c_str() + at);
}

// The tool's start with the core on and off, in turn. False when a start failed.
bool BenchToolStart(const fs::path& tool, const fs::path& work, int runs)
{
    const fs::path on = work / "on", off = work / "off";
    fs::create_directories(on);
    fs::create_directories(off);
    fs::copy_file(tool, on / tool.filename());
    const std::string strip = "objcopy --remove-section ELDATA '" + tool.string() + "' '" + (off / tool.filename()).string() + "'";
    if (std::system(strip.c_str()) != 0) {
        std::fprintf(stderr, "cannot make the copy without crash-report data (%s)\n", strip.c_str());
        return false;
    }
    const std::vector<std::string> environment{"CV_NO_CONTROLLER=1", "CV_QUIT_AFTER_START_MS=0", "HOME=" + (work / "home").string(),
                                               "XDG_CONFIG_HOME=" + (work / "config").string(),
                                               "XDG_DATA_HOME=" + (work / "data").string()};
    std::vector<double> onTimes, offTimes;
    // One start of each first, not counted: the settings are written and the
    // program files read into memory.
    for (int i = -1; i < runs; ++i)
        for (const fs::path& dir : {on, off}) {
            const auto run = Run({(dir / tool.filename()).string()}, dir, environment);
            if (!run || run->status != 0) {
                std::fprintf(stderr, "the tool's start failed (%s):\n%s\n", dir.c_str(), run ? run->output.c_str() : "");
                return false;
            }
            if (i >= 0)
                (dir == on ? onTimes : offTimes).push_back(run->seconds * 1000);
        }
    fs::remove(on / tool.filename());
    fs::remove(off / tool.filename());
    const double added = Median(onTimes) - Median(offTimes);
    std::printf("tool start, %d runs each: core on median %.1f ms (best %.1f), core off median %.1f ms (best %.1f); "
                "start-up adds %.1f ms, goal at most 20 ms\n",
                runs, Median(onTimes), *std::min_element(onTimes.begin(), onTimes.end()), Median(offTimes),
                *std::min_element(offTimes.begin(), offTimes.end()), added);
    return added <= 20;
}

// The machine's load average over the last minute, as the system gives it.
std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? std::string("unknown") : first;
}

// From a fault to the report saved, per kind, printed with the C++
// exceptions beside the signals; then the C++ exception against the signal
// (segv) and the slowest kind against their goals: a C++ exception within
// 1.5 times a signal, every kind at most 10 ms on an idle machine (the load
// average is printed with them). With `prepared` each fault waits until the
// modules are ready for a report. False when a run left no single report, or
// the C++ exception took more than 1.5 times the signal.
bool BenchFaultToReport(const fs::path& example, const fs::path& work, int runs, bool prepared)
{
    // The heap's corruption found inside free (glibc aborts holding its
    // allocator's lock) among the signals: its report must come as fast.
    const std::vector<const char*> signalKinds = {"segv", "abort", "fpe", "illegal", "stack-overflow", "heap-overrun", "double-free"},
                                   exceptionKinds = {"cxx", "cxx-thread"};
    struct TKindTimes {
        double median = 0, best = 0, worst = 0, processor = 0; // processor: the median processor time
    };
    std::map<std::string, TKindTimes> measured;
    bool ok = true;
    for (const auto& kinds : {signalKinds, exceptionKinds})
        for (const char* kind : kinds) {
            std::vector<double> times, processorTimes;
            for (int i = 0; i < runs; ++i) {
                const fs::path dir = work / "example";
                fs::remove_all(dir);
                fs::create_directories(dir);
                std::vector<std::string> arguments{example.string(), kind, "--dialog", "none", "--timing", "--output", dir.string()};
                if (prepared)
                    arguments.emplace_back("--prepared");
                const auto run = Run(arguments, dir, {});
                const auto fault = run ? TimeOf(run->output, "fault") : std::nullopt;
                const auto saved = run ? TimeOf(run->output, "report saved") : std::nullopt;
                const fs::path log = dir / "crash_example.elf";
                const int entries = fs::exists(log) ? cv::TLogFile(log.string(), true).Count() : 0;
                if (!fault || !saved || entries != 1) {
                    std::fprintf(stderr, "%s: no single report (%d entries):\n%s\n", kind, entries, run ? run->output.c_str() : "");
                    ok = false;
                    break;
                }
                times.push_back(double(*saved - *fault) / 1e6);
                const auto faultUsed = TimeOf(run->output, "fault", true), savedUsed = TimeOf(run->output, "report saved", true);
                if (faultUsed && savedUsed)
                    processorTimes.push_back(double(*savedUsed - *faultUsed) / 1e6);
            }
            if (!times.empty())
                measured[kind] = {Median(times), *std::min_element(times.begin(), times.end()),
                                  *std::max_element(times.begin(), times.end()), Median(processorTimes)};
        }
    auto cell = [&](const char* kind) -> std::string {
        const auto m = kind ? measured.find(kind) : measured.end();
        if (m == measured.end())
            return std::string(44, ' ');
        char text[80];
        std::snprintf(text, sizeof text, "%-15s %6.1f (%5.1f-%5.1f) %5.1f", kind, m->second.median, m->second.best, m->second.worst,
                      m->second.processor);
        return std::string(text) + std::string(44 - std::min<std::size_t>(44, std::strlen(text)), ' ');
    };
    std::printf("fault to report saved, %s, ms: median of %d runs (best-worst), then the median processor time the process used\n"
                "  %-44s  %s\n",
                prepared ? "once the modules are ready" : "at once", runs, "signal", "C++ exception");
    for (std::size_t i = 0; i < std::max(signalKinds.size(), exceptionKinds.size()); ++i)
        std::printf("  %s  %s\n", cell(i < signalKinds.size() ? signalKinds[i] : nullptr).c_str(),
                    cell(i < exceptionKinds.size() ? exceptionKinds[i] : nullptr).c_str());
    if (!measured.count("segv") || !measured.count("cxx"))
        return false;
    double slowest = 0;
    std::string slowestKind;
    for (const auto& [kind, times] : measured)
        if (times.median > slowest) {
            slowest = times.median;
            slowestKind = kind;
        }
    const double ratio = measured["cxx"].median / measured["segv"].median;
    std::printf("C++ exception against signal: cxx %.1f ms, segv %.1f ms: %.2f times (goal at most 1.5; in processor time %.2f); "
                "slowest kind %s %.1f ms (goal at most 10 ms on an idle machine; processor time %.1f ms); load average %s\n",
                measured["cxx"].median, measured["segv"].median, ratio, measured["cxx"].processor / std::max(measured["segv"].processor, 1e-9),
                slowestKind.c_str(), slowest, measured[slowestKind].processor, LoadAverage().c_str());
    return ok && ratio <= 1.5;
}

// From a fault to the report saved with an empty log and with a log of 600
// earlier entries (some 20 MB, of the example's own reports): a report's
// time must not grow with the log. The first report into the long log cuts
// it to what it keeps; each run starts from the long log again.
bool BenchLongLog(const fs::path& example, const fs::path& work, int runs)
{
    const fs::path dir = work / "example";
    const fs::path log = dir / "crash_example.elf";
    const std::vector<std::string> arguments{example.string(), "segv", "--dialog", "none", "--timing", "--prepared", "--output", dir.string()};
    // One report's entry, 600 times.
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (!Run(arguments, dir, {}) || !fs::exists(log)) {
        std::fprintf(stderr, "long log: no first report\n");
        return false;
    }
    std::string entry;
    {
        std::ifstream in(log, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        entry = text.str();
    }
    std::vector<double> times[2];
    for (int i = 0; i < runs; ++i)
        for (int earlier : {0, 600}) {
            fs::remove_all(dir);
            fs::create_directories(dir);
            if (earlier > 0) {
                std::ofstream out(log, std::ios::binary);
                for (int k = 0; k < earlier; ++k)
                    out << entry;
            }
            const auto run = Run(arguments, dir, {});
            const auto fault = run ? TimeOf(run->output, "fault") : std::nullopt;
            const auto saved = run ? TimeOf(run->output, "report saved") : std::nullopt;
            if (!fault || !saved) {
                std::fprintf(stderr, "long log: no report (%d earlier entries):\n%s\n", earlier, run ? run->output.c_str() : "");
                return false;
            }
            times[earlier > 0].push_back(double(*saved - *fault) / 1e6);
        }
    std::printf("segv once the modules are ready, fault to report saved, median of %d runs: empty log %.1f ms, "
                "log of 600 earlier entries (%.1f MB) %.1f ms\n",
                runs, Median(times[0]), double(entry.size()) * 600 / 1e6, Median(times[1]));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    constexpr const char* kUsage = "usage: crash_startup_bench [--faults] [runs] [tool program] [example program]\n"
                                   "  runs: 1 to 1000 (default 10)\n";
    QStringList all = cvbench::Arguments(argc, argv);
    if (cvbench::HelpAsked(all, kUsage))
        return 0;
    // --faults: the faults alone, not the tool's start.
    const bool faultsOnly = !all.isEmpty() && all.front() == QLatin1String("--faults");
    if (faultsOnly)
        all.removeFirst();
    cvbench::TArgs args(all);
    int runs = 10;
    if (all.size() > 3)
        return cvbench::UsageError(QStringLiteral("too many arguments"), kUsage);
    for (const QString& a : all)
        if (a.startsWith(QLatin1String("--")))
            return cvbench::UsageError(QStringLiteral("unknown option %1").arg(a), kUsage);
    if (!all.isEmpty() && !args.Parse(QStringLiteral("runs"), all[0], 1, 1000, runs))
        return cvbench::UsageError(args.Error(), kUsage);
    return cvbench::RunJob(QStringLiteral("time the start and the faults"), [&]() -> int {
        const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
        const fs::path tool = all.size() > 1 ? fs::path(all[1].toStdString()) : build / "apps/wordlist/corvantis-wordlist";
        const fs::path example = all.size() > 2 ? fs::path(all[2].toStdString()) : build / "apps/crash_example/crash_example";
        for (const fs::path& program : {tool, example})
            if (!fs::exists(program)) {
                std::fprintf(stderr, "no program %s\n", program.c_str());
                return 2;
            }

        char pattern[] = "/tmp/cv_crash_bench_XXXXXX";
        if (!::mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 2;
        }
        const fs::path work = pattern;
        const bool startOk = faultsOnly || BenchToolStart(fs::absolute(tool), work, runs);
        const int faultRuns = faultsOnly ? runs : std::max(1, runs / 2);
        const bool atOnceOk = BenchFaultToReport(fs::absolute(example), work, faultRuns, false);
        const bool faultsOk = BenchFaultToReport(fs::absolute(example), work, faultRuns, true) && atOnceOk;
        const bool longLogOk = BenchLongLog(fs::absolute(example), work, faultRuns);
        fs::remove_all(work);
        return startOk && faultsOk && longLogOk ? 0 : 1;
    });
}
