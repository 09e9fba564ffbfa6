// bench-deps: cv_crashcore
// What crash reporting costs the tool: its start with the core on and with
// the core off, in the same run (the goal: start-up adds at most 20 ms), and
// the time from a fault to the report saved in the log, for each kind of
// fault of the example program.
//
// The core is off in a copy of the tool without its crash-report data (the
// ELDATA section), as a program built without it. Both copies start in turn,
// unattended and without the controller, and end as soon as their start-up
// steps are done; the medians are compared. Each fault's run must leave
// exactly one report in the log, so a fast run that reports nothing does not
// pass.
//
//   crash_startup_bench [runs] [tool program] [example program]
//
// The programs default to the build's, found from this program's folder.

#include "crashreport/core/report/log_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The nanoseconds a "crash_example: WHAT at N ns" line gives, if there is one.
std::optional<long long> TimeOf(const std::string& output, const std::string& what)
{
    const std::string mark = "crash_example: " + what + " at ";
    const auto at = output.find(mark);
    if (at == std::string::npos)
        return std::nullopt;
    return std::atoll(output.c_str() + at + mark.size());
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

// From a fault to the report saved, per kind. False when a run left no
// single report.
bool BenchFaultToReport(const fs::path& example, const fs::path& work, int runs)
{
    bool ok = true;
    for (const char* kind : {"segv", "abort", "fpe", "illegal", "stack-overflow", "cxx", "cxx-thread"}) {
        std::vector<double> times;
        std::vector<double> wholeRuns;
        for (int i = 0; i < runs; ++i) {
            const fs::path dir = work / "example";
            fs::remove_all(dir);
            fs::create_directories(dir);
            const auto run = Run({example.string(), kind, "--dialog", "none", "--timing", "--output", dir.string()}, dir, {});
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
            wholeRuns.push_back(run->seconds * 1000);
        }
        if (!times.empty())
            std::printf("%-15s fault to report saved: median %.1f ms (best %.1f, worst %.1f); the whole run %.1f ms\n", kind,
                        Median(times), *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
                        Median(wholeRuns));
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    const fs::path tool = argc > 2 ? fs::path(argv[2]) : build / "apps/wordlist/corvantis-wordlist";
    const fs::path example = argc > 3 ? fs::path(argv[3]) : build / "apps/crash_example/crash_example";
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
    const bool startOk = BenchToolStart(fs::absolute(tool), work, runs);
    const bool faultsOk = BenchFaultToReport(fs::absolute(example), work, std::max(1, runs / 2));
    fs::remove_all(work);
    return startOk && faultsOk ? 0 : 1;
}
