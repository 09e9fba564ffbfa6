// bench-deps: cv_uiwordlist
// The word-list window's roads on a large corpus, beside the job programs':
// the same job made once as the user makes it in the window and once as
// the job programs (wordlist_bench, index_bench) make it, each with its
// time and memory. Build RelWithDebInfo to measure.
//
//   window_roads_bench --texts FOLDER [--runs N]
//       The word list of the texts: in the window, chosen and asked for as
//       the start wizard asks (message 1391), until it shows on the
//       frequency page; on the job programs' road, the document's
//       MakeWordlist as wordlist_bench runs it (without the save).
//   window_roads_bench --index BASE [--clusters N] [--min-freq F] [--runs N]
//       The N-word clusters (default 2, minimum frequency F, default 3, no
//       phrase frames, as index_bench --clusters N --top 0 counts them) of
//       the index: in the window, the index opened, Compute > Clusters from
//       the "index freq." page with OK, until the clusters show on the
//       frequency page; on the job programs' road, CountClusters as
//       index_bench runs it.
//   Both may be given. The generated corpus of docs/speed.md is made with
//   index_bench --generate-words ... --corpus FOLDER and indexed with
//   index_bench --index BASE FOLDER.
//
// Each road runs in a process of its own (the two roads of a job in turn,
// --runs times; the median run is shown). A road prints its wall time and
// processor time from the user's request to the result shown, the peak
// memory of the process during it, and the memory the process held before
// it (the window up, the index open); the job's own memory is the peak less
// that. Last, for each job, the window's figures over the job programs'
// and the goal: the window within 1.3 times the job's own time and memory.
//
// With --index, last, the window's memory after a sequence of jobs (when
// --texts is given: their word list, sorted by frequency, its word cloud,
// a detailed consistency list of word lists of the texts in three parts;
// then the index opened, clusters of 2, 3 and 4 words, each replacing the
// one before, the index opened again, its relationships, and the index
// opened once more) beside a fresh window's that has only opened the index:
// what a result held goes back when it is replaced (the goal: within 1.3
// times the fresh window's). The memory after each step is shown too.
//
//   window_roads_bench --road ROAD ...   one road (wordlist-window,
//       wordlist-job, clusters-window, clusters-job, memory-after-jobs,
//       memory-fresh), in this process.
//
// Every road runs apart from any session of the suite the user has running:
// in a runtime folder of the bench's own (its settings buffer, message
// sockets and controller mutex), on the settings the bench sets.

#include "bench_support.h"

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_grid.h"
#include "index/index_clusters.h"
#include "index/index_files.h"
#include "model/chosen_files.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/settings_records.h"
#include "suite/window_handle.h"
#include "suite/window_messages.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/job_choices.h"
#include "ui/wordlist/views/word_cloud_window.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/word_list.h"
#include "wordlist/wordlist_holder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: window_roads_bench [--texts FOLDER] [--index BASE [--clusters N] [--min-freq F]] [--runs N]\n"
    "       window_roads_bench --road wordlist-window|wordlist-job --texts FOLDER\n"
    "       window_roads_bench --road clusters-window|clusters-job --index BASE [--clusters N] [--min-freq F]\n"
    "       window_roads_bench --road memory-after-jobs|memory-fresh --index BASE [--texts FOLDER] [--min-freq F]\n"
    "  N of --clusters: 2 to 12; at least one of --texts and --index\n";

constexpr double kGoal = 1.3;

struct TArguments {
    QString road;
    QString texts;
    QString index;
    int clusterSize = 2;
    int minFreq = 3;
    int runs = 1;
};

// What one road measured.
struct TMeasure {
    double wall = 0;     // seconds
    double cpu = 0;      // seconds of processor time, all threads
    long beforeKb = 0;   // the process before the request
    long peakKb = 0;     // its peak during the job
    long long rows = 0;  // rows of the result
    std::vector<std::pair<QString, long>> steps; // memory after each step of a sequence (KB)
    long OwnKb() const { return std::max(0L, peakKb - beforeKb); }
};

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times what runs between Start and Stop, with the peak memory it reached.
class TRoadClock {
public:
    void Start()
    {
        m.beforeKb = cvbench::CurrentRssKb();
        cvbench::ResetPeakRss();
        m_cpu = CpuSeconds();
        m_wall.start();
    }
    TMeasure Stop(long long rows)
    {
        m.wall = double(m_wall.nsecsElapsed()) / 1e9;
        m.cpu = CpuSeconds() - m_cpu;
        m.peakKb = std::max(cvbench::PeakRssKb(), m.beforeKb);
        m.rows = rows;
        return m;
    }

private:
    TMeasure m;
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

void PrintMeasure(const TMeasure& m)
{
    std::printf("measured\t%.3f\t%.3f\t%ld\t%ld\t%lld\n", m.wall, m.cpu, m.beforeKb, m.peakKb, m.rows);
    std::fflush(stdout);
}

// Index settings as index_bench counts clusters: one size, the minimum
// frequency given, no phrase frames, the rest as the settings are.
void ClusterSettings(const TArguments& a)
{
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(a.clusterSize);
    s.SetClusterSizeMax(a.clusterSize);
    s.SetMinShowFrequency(a.minFreq);
    s.SetOmitPhraseFrames(true);
    s.SetClusterListsPerText(false);
    cv::SetWordlistIndexSettings(s);
}

// Lets the window do what is waiting (painting included) until nothing is.
void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The window as the program makes it, on the bench's own settings, its
// messages answered with their default answers.
struct TWindowRoad {
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};
    cv::TFixedCommandChoices commands;
    std::unique_ptr<cv::TFormWordList> window;

    TWindowRoad()
    {
        cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
        window = std::make_unique<cv::TFormWordList>(nullptr, cv::TMainToolsFormOptions{false, 0});
        window->SetCommandChoices(&commands);
        window->resize(1000, 700);
        window->show();
        Settle();
    }
    ~TWindowRoad()
    {
        window.reset();
        cv::DeactivateCrashbox();
    }
    long long FrequencyPageRows() const
    {
        return window->CVGridFreq->List() ? window->CVGridFreq->RowCount() - 1 : -1;
    }
};

int WordListWindow(const TArguments& a)
{
    const cvbench::TFoundTexts found = cvbench::findTexts({a.texts});
    if (!cvbench::haveTexts(found, {a.texts}))
        return 1;
    TWindowRoad road;
    for (const QString& f : found.files)
        road.window->ChosenTexts->ToolAddAFile(f);
    TRoadClock clock;
    clock.Start();
    cv::PostMessage(road.window->WindowHandle(), cv::kMsgMakeList, 0, cv::kListWordList);
    Settle();
    PrintMeasure(clock.Stop(road.FrequencyPageRows()));
    return road.FrequencyPageRows() > 0 ? 0 : 1;
}

int WordListJob(const TArguments& a)
{
    const cvbench::TFoundTexts found = cvbench::findTexts({a.texts});
    if (!cvbench::haveTexts(found, {a.texts}))
        return 1;
    cv::TCVFileDetails chosen(true, cvbench::tellUnchosen);
    for (const QString& f : found.files)
        chosen.ToolAddAFile(f);
    TRoadClock clock;
    clock.Start();
    cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    const bool ok = doc.MakeWordlist(chosen, 0, converted, cv::kListWordList);
    const cv::TCVWordList* list = doc.WordlistOfType(cv::kListWordList);
    PrintMeasure(clock.Stop(ok && list ? list->Count() : -1));
    return ok ? 0 : 1;
}

int ClustersWindow(const TArguments& a)
{
    ClusterSettings(a);
    TWindowRoad road;
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = cv::IndexFileName(a.index, cv::TIndexFileKind::Tokens);
    rec.ListType = cv::kListIndexWordList;
    if ((road.window->OpenIndexDocument() & 0xFF) == 0) {
        std::fprintf(stderr, "cannot open the index %s\n", qPrintable(a.index));
        return 1;
    }
    road.window->ActivatePage(road.window->AdvOfficePageIndexFreq);
    Settle();
    cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
    if (!grid || grid != road.window->CVGridIndexFreq) {
        std::fprintf(stderr, "the index freq. page does not show\n");
        return 1;
    }
    TRoadClock clock;
    clock.Start();
    grid->HandleGridCommand(cv::TMenuCommand::Clusters);
    Settle();
    PrintMeasure(clock.Stop(road.FrequencyPageRows()));
    return road.FrequencyPageRows() > 0 ? 0 : 1;
}

int ClustersJob(const TArguments& a)
{
    ClusterSettings(a);
    cv::TIndexData index;
    QString error;
    if (!index.Load(a.index, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TRoadClock clock;
    clock.Start();
    cv::TClusterOptions o = cv::TClusterOptions::FromSettings(cv::GetWordlistIndexSettings());
    o.phraseFrames = false;
    cv::TClusterRun run;
    const bool ok = cv::CountClusters(index, {}, {}, o, run, &error);
    PrintMeasure(clock.Stop(ok ? (long long)run.clusters.size() : -1));
    if (!ok)
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return ok ? 0 : 1;
}

// The index named in the start-up/open file record, opened in the window.
bool OpenIndexInWindow(cv::TFormWordList& window, const QString& base)
{
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = cv::IndexFileName(base, cv::TIndexFileKind::Tokens);
    rec.ListType = cv::kListIndexWordList;
    if ((window.OpenIndexDocument() & 0xFF) == 0) {
        std::fprintf(stderr, "cannot open the index %s\n", qPrintable(base));
        return false;
    }
    Settle();
    return true;
}

void PrintMemory()
{
    std::printf("memory\t%ld\n", cvbench::CurrentRssKb());
    std::fflush(stdout);
}

// The process's memory after a step of the sequence, for the parent to show.
void PrintStep(const char* step)
{
    std::printf("step\t%s\t%ld\n", step, cvbench::CurrentRssKb());
    std::fflush(stdout);
}

// The word cloud of the list on the current page, drawn and closed again.
void CloudOfCurrentPage()
{
    cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
    if (!grid || !grid->List())
        return;
    if (cv::TFormWordCloud* cloud = cv::ShowWordCloud(grid->window(), *grid->List(), QStringLiteral("cloud")))
        cloud->close();
    Settle();
}

// Word lists of the texts in three parts, saved into `folder`, for a detailed
// consistency list; their files.
QStringList PartLists(const QStringList& texts, const QString& folder)
{
    QStringList files;
    for (int part = 0; part < 3; ++part) {
        cv::TCVFileDetails chosen(true, cvbench::tellUnchosen);
        for (int i = part; i < texts.size(); i += 3)
            chosen.ToolAddAFile(texts[i]);
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        const QString file = QDir(folder).filePath(QStringLiteral("part%1.lst").arg(part + 1));
        if (chosen.FileCount() > 0 && doc.MakeWordlist(chosen, 0, converted, cv::kListWordList) && doc.SaveToFile(file))
            files << file;
    }
    return files;
}

// The window after a sequence of jobs, the index opened again at the end.
int MemoryAfterJobs(const TArguments& a)
{
    // Results are replaced without the question whether to save them.
    cv::TGeneralSettingsRec g = cv::GetGeneralSettings();
    g.SetAskWhetherToSaveModifiedData(false);
    cv::SetGeneralSettings(g);
    TWindowRoad road;
    cv::TFixedJobChoices jobs;
    road.window->SetJobChoices(&jobs);
    QTemporaryDir lists;
    if (!a.texts.isEmpty()) {
        const cvbench::TFoundTexts found = cvbench::findTexts({a.texts});
        if (!cvbench::haveTexts(found, {a.texts}))
            return 1;
        for (const QString& f : found.files)
            road.window->ChosenTexts->ToolAddAFile(f);
        cv::PostMessage(road.window->WindowHandle(), cv::kMsgMakeList, 0, cv::kListWordList);
        Settle();
        PrintStep("word list");
        // Sorted by frequency on its alphabetical page, then its cloud.
        road.window->ActivatePage(road.window->AdvOfficePageAlph);
        road.window->SortGridColumn(road.window->CVGridAlph, cv::TCVWordList::kColFreq);
        Settle();
        PrintStep("sort by frequency");
        CloudOfCurrentPage();
        PrintStep("word cloud");
        // A detailed consistency list of the texts' three parts.
        jobs.consistencyFiles = PartLists(found.files, lists.path());
        cv::PostMessage(road.window->WindowHandle(), cv::kMsgMakeList, 0, cv::kListDetailedConsistency);
        Settle();
        PrintStep("consistency list");
    }
    if (!OpenIndexInWindow(*road.window, a.index))
        return 1;
    PrintStep("index");
    for (int size = 2; size <= 4; ++size) {
        TArguments sized = a;
        sized.clusterSize = size;
        ClusterSettings(sized);
        road.window->ActivatePage(road.window->AdvOfficePageIndexFreq);
        Settle();
        if (cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid())
            grid->HandleGridCommand(cv::TMenuCommand::Clusters);
        Settle();
        PrintStep(size == 2 ? "2-word clusters" : size == 3 ? "3-word clusters" : "4-word clusters");
    }
    if (!OpenIndexInWindow(*road.window, a.index))
        return 1;
    // Relationships of every word of the index.
    road.window->ActivatePage(road.window->AdvOfficePageIndexAlph);
    Settle();
    if (cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid())
        grid->HandleGridCommand(cv::TMenuCommand::Relationships);
    Settle();
    PrintStep("relationships");
    if (!OpenIndexInWindow(*road.window, a.index))
        return 1;
    road.window->SetJobChoices(nullptr);
    PrintMemory();
    return 0;
}

// A fresh window that has only opened the index.
int MemoryFresh(const TArguments& a)
{
    TWindowRoad road;
    if (!OpenIndexInWindow(*road.window, a.index))
        return 1;
    PrintMemory();
    return 0;
}

int RunRoad(const TArguments& a)
{
    if (a.road == QLatin1String("memory-after-jobs"))
        return MemoryAfterJobs(a);
    if (a.road == QLatin1String("memory-fresh"))
        return MemoryFresh(a);
    if (a.road == QLatin1String("wordlist-window"))
        return WordListWindow(a);
    if (a.road == QLatin1String("wordlist-job"))
        return WordListJob(a);
    if (a.road == QLatin1String("clusters-window"))
        return ClustersWindow(a);
    if (a.road == QLatin1String("clusters-job"))
        return ClustersJob(a);
    return cvbench::UsageError(QStringLiteral("unknown road %1").arg(a.road), kUsage);
}

// Runs one road in a process of its own; nothing when it fails.
std::optional<TMeasure> RunChild(const QString& road, const TArguments& a)
{
    QStringList args{QStringLiteral("--road"), road};
    if (road.startsWith(QLatin1String("wordlist")) || (road.startsWith(QLatin1String("memory")) && !a.texts.isEmpty()))
        args << QStringLiteral("--texts") << a.texts;
    if (!road.startsWith(QLatin1String("wordlist")))
        args << QStringLiteral("--index") << a.index << QStringLiteral("--clusters") << QString::number(a.clusterSize)
             << QStringLiteral("--min-freq") << QString::number(a.minFreq);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "the road %s failed (exit code %d)\n", qPrintable(road), child.exitCode());
        return std::nullopt;
    }
    std::vector<std::pair<QString, long>> steps;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 6 && f[0] == "measured")
            return TMeasure{f[1].toDouble(), f[2].toDouble(), f[3].toLong(), f[4].toLong(), f[5].toLongLong()};
        if (f.size() == 3 && f[0] == "step")
            steps.emplace_back(QString::fromUtf8(f[1]), f[2].toLong());
        if (f.size() == 2 && f[0] == "memory") {
            TMeasure m;
            m.peakKb = f[1].toLong();
            m.steps = std::move(steps);
            return m;
        }
    }
    std::fprintf(stderr, "the road %s printed no measure\n", qPrintable(road));
    return std::nullopt;
}

TMeasure Median(std::vector<TMeasure> runs)
{
    std::sort(runs.begin(), runs.end(), [](const TMeasure& x, const TMeasure& y) { return x.wall < y.wall; });
    return runs[runs.size() / 2];
}

void PrintRoad(const char* name, const TMeasure& m)
{
    std::printf("  %-13s %8.2f s (processor %7.2f s)  peak %6ld MB, %6ld MB before, %6ld MB its own  %lld rows\n", name,
                m.wall, m.cpu, m.peakKb / 1024, m.beforeKb / 1024, m.OwnKb() / 1024, m.rows);
}

// Runs the window's road and the job programs' road in turn; false when either failed.
bool CompareRoads(const QString& job, const QString& title, const TArguments& a)
{
    std::vector<TMeasure> window, programs;
    for (int r = 0; r < a.runs; ++r) {
        const std::optional<TMeasure> p = RunChild(job + QStringLiteral("-job"), a);
        const std::optional<TMeasure> w = RunChild(job + QStringLiteral("-window"), a);
        if (!p || !w)
            return false;
        programs.push_back(*p);
        window.push_back(*w);
    }
    const TMeasure w = Median(window), p = Median(programs);
    std::printf("%s (median of %d runs)\n", qPrintable(title), a.runs);
    PrintRoad("job programs", p);
    PrintRoad("window", w);
    const double time = w.wall / std::max(1e-9, p.wall);
    const double cpu = w.cpu / std::max(1e-9, p.cpu);
    const double memory = double(w.OwnKb()) / double(std::max(1L, p.OwnKb()));
    const bool sameRows = w.rows == p.rows;
    std::printf("  window / job: time %.2f (processor %.2f), memory of its own %.2f; rows %s\n", time, cpu, memory,
                sameRows ? "the same" : "DIFFER");
    std::printf("goal\t%s: the window within %.1f times the job's own time and memory: %s\n", qPrintable(title), kGoal,
                sameRows && time <= kGoal && memory <= kGoal ? "met" : "NOT MET");
    std::fflush(stdout);
    return true;
}

} // namespace

// The window's memory after a sequence of jobs beside a fresh window's; false when either failed.
bool CompareMemory(const TArguments& a)
{
    const std::optional<TMeasure> after = RunChild(QStringLiteral("memory-after-jobs"), a);
    const std::optional<TMeasure> fresh = RunChild(QStringLiteral("memory-fresh"), a);
    if (!after || !fresh)
        return false;
    const double ratio = double(after->peakKb) / double(std::max(1L, fresh->peakKb));
    std::printf("memory of the window showing the index %s\n", qPrintable(a.index));
    for (const auto& [step, kb] : after->steps)
        std::printf("  after the %s: %ld MB\n", qPrintable(step), kb / 1024);
    std::printf("  after %s2-, 3- and 4-word clusters and relationships, the index opened again: %ld MB\n",
                a.texts.isEmpty() ? "" : "a word list, its sort and cloud, a consistency list, ", after->peakKb / 1024);
    std::printf("  a fresh window: %ld MB\n", fresh->peakKb / 1024);
    std::printf("goal\tmemory after jobs within %.1f times a fresh window's (%.2f): %s\n", kGoal, ratio,
                ratio <= kGoal ? "met" : "NOT MET");
    std::fflush(stdout);
    return true;
}

int main(int argc, char** argv)
{
    // Apart from any session of the suite the user runs: a runtime folder of
    // the bench's own (children inherit it), where the settings buffer, the
    // message sockets and the controller's mutex are looked for.
    std::optional<QTemporaryDir> runtime;
    if (qEnvironmentVariable("CV_BENCH_RUNTIME").isEmpty()) {
        runtime.emplace();
        if (!runtime->isValid()) {
            std::fprintf(stderr, "cannot make a runtime folder: %s\n", qPrintable(runtime->errorString()));
            return 1;
        }
        qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
        qputenv("CV_BENCH_RUNTIME", runtime->path().toLocal8Bit());
        for (const char* name : {"CV_SETTINGS_BUFFER", "CV_MESSAGE_SOCKET_DIR", "CV_MUTEX_NAME"})
            qunsetenv(name);
    }
    TArguments a;
    if (cvbench::HelpAsked(cvbench::Arguments(argc, argv), kUsage))
        return 0;
    cvbench::TArgs args(cvbench::Arguments(argc, argv));
    while (!args.AtEnd() && args.Ok()) {
        const QString o = args.Take();
        if (o == QLatin1String("--road"))
            args.Value(o, a.road);
        else if (o == QLatin1String("--texts"))
            args.Value(o, a.texts);
        else if (o == QLatin1String("--index"))
            args.Value(o, a.index);
        else if (o == QLatin1String("--clusters"))
            args.Number(o, 2, 12, a.clusterSize);
        else if (o == QLatin1String("--min-freq"))
            args.Number(o, 1, 1000000, a.minFreq);
        else if (o == QLatin1String("--runs"))
            args.Number(o, 1, 99, a.runs);
        else
            args.Unknown(o);
    }
    if (!args.Ok())
        return cvbench::UsageError(args.Error(), kUsage);
    if (a.texts.isEmpty() && a.index.isEmpty())
        return cvbench::UsageError(QStringLiteral("name the texts, the index or both"), kUsage);
    return cvbench::RunJob(QStringLiteral("make the lists on every road"), [&]() -> int {

        if (!a.road.isEmpty()) {
            // The memory settings the programs start with (the window's and the job programs').
            cv::PrepareMemoryForJobs();
            std::unique_ptr<QCoreApplication> app;
            if (a.road.endsWith(QLatin1String("-window")) || a.road.startsWith(QLatin1String("memory-")))
                app = std::make_unique<QApplication>(argc, argv);
            else
                app = std::make_unique<QCoreApplication>(argc, argv);
            cvbench::RunOnPrivateSettingsWithoutDialogs();
            return RunRoad(a);
        }
        QCoreApplication app(argc, argv);
        bool ok = true;
        if (!a.texts.isEmpty())
            ok = CompareRoads(QStringLiteral("wordlist"), QStringLiteral("word list of %1").arg(a.texts), a) && ok;
        if (!a.index.isEmpty())
            ok = CompareRoads(QStringLiteral("clusters"),
                              QStringLiteral("%1-word clusters (min. frequency %2) of %3").arg(a.clusterSize).arg(a.minFreq).arg(a.index),
                              a) &&
                 ok;
        if (!a.index.isEmpty())
            ok = CompareMemory(a) && ok;
        return ok ? 0 : 1;
    });
}
