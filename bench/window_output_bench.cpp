// bench-deps: cv_uigriddialogs cv_index
// The window's output roads on a long list: the list is made as the job
// programs make it (the word list of a corpus as wordlist_bench makes it,
// or the clusters of an index as index_bench counts them), shown in a grid
// as the window shows it, then its print preview opened (the first page)
// and a page turned, and the grid exported as an .xlsx file through the
// window's "Save As" (what a sheet cannot hold answered "go on", as a user
// would). Each step prints its time and its own peak memory (the process's
// peak during the step less its memory before), the job's beside them.
// Build RelWithDebInfo to measure.
//
//   window_output_bench --corpus FOLDER [--format F] [--out FOLDER]
//       The word list of the texts of FOLDER (say, the generated corpus of
//       100 million words: index_bench --generate-words 100000000
//       --generate-types 1000000 --generate-texts 100 --corpus FOLDER).
//   window_output_bench --index BASE --clusters N [--min-freq F] [--format F] [--out FOLDER]
//       The clusters of N words of the index BASE (those seen F times at least, default 1).
//   --format: the export's format, xlsx (the default), txt, xml or rtf.
//
// The file goes into --out (default: a temporary folder, removed at the
// end); a spreadsheet's rows are counted back from the file. The goals are printed
// beside the figures: the first page within a second, a page turned within
// a tenth of one, and an export whose memory does not grow with the rows.

#include "bench_support.h"

#include "gui/cv_grid.h"
#include "index/index_clusters.h"
#include "index/index_files.h"
#include "model/chosen_files.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/excel_writer.h"
#include "suite/my_types.h"
#include "textread/tag_handler.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "wordlist/word_list.h"
#include "wordlist/wordlist_holder.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kUsage =
    "usage: window_output_bench --corpus FOLDER [--format xlsx|txt|xml|rtf] [--out FOLDER]\n"
    "       window_output_bench --index BASE --clusters N [--min-freq F] [--format xlsx|txt|xml|rtf] [--out FOLDER]\n"
    "  N: 2 to 12; F: 1 to 1000000\n";

// The export kinds of "Save As" and their files' extensions.
const QStringList kFormats = {QStringLiteral("txt"), QStringLiteral("xml"), QStringLiteral("xlsx"), QStringLiteral("rtf")};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A step's own figures: its time, and the process's peak during it less
// what the process held before it.
class TStep {
public:
    TStep() : m_before(cvbench::CurrentRssKb()), m_t0(Clock::now()) { cvbench::ResetPeakRss(); }
    double Seconds() const { return SecondsSince(m_t0); }
    long OwnPeakMb() const { return std::max(0L, cvbench::PeakRssKb() - m_before) / 1024; }
    long BeforeMb() const { return m_before / 1024; }

private:
    long m_before;
    Clock::time_point m_t0;
};

// The word list of the texts, made as the word-list job makes it.
std::unique_ptr<cv::T_WholeWordlistHolder> WordListOf(const QString& folder, cv::TTextTagHandler& handler)
{
    const cvbench::TFoundTexts found = cvbench::findTexts({folder});
    cvbench::reportSkipped(found.skipped);
    if (found.files.isEmpty()) {
        std::fprintf(stderr, "no texts to read in %s\n", qPrintable(folder));
        return nullptr;
    }
    cv::TCVFileDetails chosen(true, cvbench::tellUnchosen);
    for (const QString& f : found.files)
        chosen.ToolAddAFile(f);
    auto doc = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListWordList, nullptr, &handler, false, false);
    int32_t converted = 0;
    if (!doc->MakeWordlist(chosen, 0, converted, cv::kListWordList)) {
        std::fprintf(stderr, "no word list was made: %s\n", qPrintable(cv::Global_FailureMessage));
        return nullptr;
    }
    return doc;
}

// The rows of the first sheet of an .xlsx file: the number of its last row, read from the file.
long long SheetRows(const QString& file)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QStringLiteral("xl/worksheets/sheet1.xml")});
    if (!unzip.waitForStarted(10000))
        return -1;
    QByteArray tail;
    while (unzip.waitForReadyRead(60000) || unzip.bytesAvailable() > 0) {
        tail += unzip.readAllStandardOutput();
        if (tail.size() > (1 << 16))
            tail = tail.right(1 << 16);
        if (unzip.state() == QProcess::NotRunning && unzip.bytesAvailable() == 0)
            break;
    }
    unzip.waitForFinished(60000);
    const qsizetype at = tail.lastIndexOf("<row r=\"");
    if (at < 0)
        return 0;
    return tail.mid(at + 8, tail.indexOf('"', at + 8) - at - 8).toLongLong();
}

int Run(cv::TCVBaseDataClass& list, double jobSeconds, long jobPeakMb, const QString& what, const QString& outFolder,
        int format)
{
    std::printf("job\t%s\t%d rows\t%.2f s\tpeak %ld MB (the whole process %ld MB)\n", qPrintable(what), list.Count(),
                jobSeconds, jobPeakMb, cvbench::PeakRssKb() / 1024);
    std::fflush(stdout);

    // The grid as the window shows the list.
    QWidget window;
    window.resize(1000, 700);
    cv::TCV_Grid grid(&window);
    grid.resize(900, 600);
    grid.MatchGridToListType(list.ListType(), cv::kGridKindFrequency, &list);
    grid.Refresh();
    QCoreApplication::processEvents();

    // The print preview opened on it, as the window opens it.
    double firstPage = 0;
    double turn = 0;
    int pages = 0;
    {
        cv::TPrintPreviewHandler handler;
        handler.SetTheGrid(&grid);
        cv::TCVFormPrintPreview form(&window);
        form.AssignStuff(&handler, &handler.Organiser(), &window);
        handler.SetPreviewForm(&form);
        form.SetPreviewGrid(&grid);
        const TStep open;
        form.show();
        form.Redraw();
        QCoreApplication::processEvents();
        firstPage = open.Seconds();
        pages = handler.PageCount();
        std::printf("print preview, first page\t%.3f s\tpeak +%ld MB\t%d pages\n", firstPage, open.OwnPeakMb(), pages);
        const TStep next;
        form.NextPageClick();
        QCoreApplication::processEvents();
        turn = next.Seconds();
        std::printf("print preview, page turned\t%.3f s\tpeak +%ld MB\n", turn, next.OwnPeakMb());
        form.hide();
    }
    std::fflush(stdout);

    // The export through "Save As".
    const QString file = QDir(outFolder).filePath(QStringLiteral("window_output_bench.") + kFormats[format]);
    QFile::remove(file);
    cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
    cv::TGridDialogHost host(window);
    host.SetWindowLink({[](QObject*) { return true; }, [&doc] { return static_cast<cv::TCorvantisholder*>(&doc); }, {}, {}});
    cv::TModalRunnerGuard saveAs([&file](QDialog& d) {
        auto& dialog = dynamic_cast<cv::TSaveAsTxtDlgFeb2012&>(d);
        dialog.FileNameEdit->setText(file);
        return dialog.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    // A sheet that holds fewer rows: go on with the first; anything else: no.
    struct TAnswers final : cv::TDialogService {
        QStringList asked;
        cv::TDialogAnswer Show(const cv::TDialogRequest& request) override
        {
            asked << request.routine;
            return request.routine == QLatin1String("WarnAboutAndASKOK") ? cv::TDialogAnswer::OK : cv::TDialogAnswer::No;
        }
    } answers;
    const cv::TDialogServiceGuard answering(&answers);
    cv::Global_run_without_error_messages = false;
    bool busy = false;
    const TStep exporting;
    const bool saved = host.SaveAsExport(&grid, format, busy);
    const double exportSeconds = exporting.Seconds();
    const long exportPeak = exporting.OwnPeakMb();
    const long keptMb = std::max(0L, cvbench::CurrentRssKb() / 1024 - exporting.BeforeMb());
    const QStringList& asked = answers.asked;
    if (!saved) {
        std::fprintf(stderr, "the export failed (%s)\n", qPrintable(asked.join(QStringLiteral(", "))));
        return 1;
    }
    const QString rows = format == 2 ? QStringLiteral("%1 rows in the sheet, ").arg(SheetRows(file)) : QString();
    std::printf("%s export\t%.2f s\tpeak +%ld MB\t+%ld MB kept after it\t%s%d data rows chosen\t%.1f MB file\tasked: %s\n",
                qPrintable(kFormats[format]), exportSeconds, exportPeak, keptMb, qPrintable(rows), grid.RowCount() - 1,
                double(QFileInfo(file).size()) / 1e6, qPrintable(asked.join(QStringLiteral(", "))));
    std::printf("goal\tfirst page within 1 s (%.3f s): %s; a page turned within 0.1 s (%.3f s): %s; the export's memory "
                "within 100 MB whatever its rows (%ld MB): %s\n",
                firstPage, firstPage <= 1.0 ? "met" : "NOT MET", turn, turn <= 0.1 ? "met" : "NOT MET", exportPeak,
                exportPeak <= 100 ? "met" : "NOT MET");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;
    cvbench::TArgs args(app.arguments().mid(1));
    QString corpus, base, out;
    QString formatName = QStringLiteral("xlsx");
    int clusters = 0;
    int minFreq = 1;
    while (!args.AtEnd() && args.Ok()) {
        const QString a = args.Take();
        if (a == QLatin1String("--corpus"))
            args.Value(a, corpus);
        else if (a == QLatin1String("--index"))
            args.Value(a, base);
        else if (a == QLatin1String("--clusters"))
            args.Number(a, 2, 12, clusters);
        else if (a == QLatin1String("--min-freq"))
            args.Number(a, 1, 1000000, minFreq);
        else if (a == QLatin1String("--out"))
            args.Value(a, out);
        else if (a == QLatin1String("--format")) {
            if (args.Value(a, formatName) && !kFormats.contains(formatName))
                args.Fail(QStringLiteral("--format takes xlsx, txt, xml or rtf, not \"%1\"").arg(formatName));
        }
        else
            args.Unknown(a);
    }
    if (!args.Ok())
        return cvbench::UsageError(args.Error(), kUsage);
    if (corpus.isEmpty() == base.isEmpty() || (!base.isEmpty() && clusters == 0))
        return cvbench::UsageError(QStringLiteral("name a corpus, or an index and the clusters' size"), kUsage);
    return cvbench::RunJob(QStringLiteral("make and save the list"), [&]() -> int {
        std::optional<QTemporaryDir> temporary;
        if (out.isEmpty()) {
            temporary.emplace();
            out = temporary->path();
        } else if (!QDir().mkpath(out)) {
            std::fprintf(stderr, "cannot make the folder %s\n", qPrintable(out));
            return 1;
        }

        if (!corpus.isEmpty()) {
            const cv::TTextSettings settings = cv::GetTextSettings();
            cv::TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), cv::TTagOptions::FromSettings(settings));
            const TStep job;
            const std::unique_ptr<cv::T_WholeWordlistHolder> doc = WordListOf(corpus, handler);
            if (!doc)
                return 1;
            const double seconds = job.Seconds();
            const long peak = job.OwnPeakMb();
            return Run(*doc->WordlistOfType(cv::kListWordList), seconds, peak, QStringLiteral("word list"), out,
                       int(kFormats.indexOf(formatName)));
        }

        cv::TIndexData index;
        QString error;
        if (!index.Load(base, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const TStep job;
        cv::TClusterOptions o = cv::TClusterOptions::FromSettings(cv::GetWordlistIndexSettings());
        o.minSize = o.maxSize = clusters;
        o.minFreq = minFreq;
        o.phraseFrames = false;
        cv::TClusterRun run;
        if (!cv::CountClusters(index, {}, {}, o, run, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const std::unique_ptr<cv::TCVWordList> list =
            cv::MakeClusterWordList(nullptr, index, run, index.RunningWords(), index.TextCount());
        run = {};
        const double seconds = job.Seconds();
        const long peak = job.OwnPeakMb();
        return Run(*list, seconds, peak, QStringLiteral("%1-word clusters").arg(clusters), out,
                   int(kFormats.indexOf(formatName)));
    });
}

