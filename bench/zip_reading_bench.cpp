// bench-deps: cv_textread cv_model
// Times a job's reading of the texts of one zip archive of many small
// entries: choosing them (the archive's directory read once) and reading
// each into processed buffers with the reader's scratch kept from text to
// text, as the jobs read (the archive opened once for all its texts). The
// same texts loose in a folder are read beside it. The goal: 100,000
// entries within a few seconds, not many times the loose texts' time.
//
//   zip_reading_bench [entries]     (default 100,000)
//
// With --large, one large text instead (default 300 MB), loose and as the
// one entry of an archive (where it packs into a few MB): each read as a
// job reads it, with its peak memory. An entry is read as it unpacks, so
// the goal is the loose text's peak, give or take 16 MB.
//
//   zip_reading_bench --large [megabytes]
//   zip_reading_bench --peak-of FILE       (one reading of --large, in a process of its own)

#include "bench_support.h"

#include "model/chosen_files.h"
#include "suite/zip_archive.h"
#include "textread/buffer_processor.h"
#include "textread/tag_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Counter final : cv::TBufferProcessor {
    using TBufferProcessor::TBufferProcessor;
};

struct Read {
    double chooseSeconds = 0;
    double readSeconds = 0;
    int texts = 0;
    int64_t words = 0;
    QStringList unread;
};

// The texts `name` stands for, chosen and read one by one.
Read ChooseAndRead(const QString& name)
{
    Read r;
    const cv::TTextSettings settings = cv::TTextSettings::Defaults();
    cv::TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), cv::TTagOptions::FromSettings(settings));
    cvbench::Stopwatch choosing;
    cv::TCVFileDetails chosen(false, cvbench::tellUnchosen);
    if (QFileInfo(name).isDir()) {
        for (const QString& f : cvbench::findTexts({name}).files)
            chosen.ToolAddAFile(f);
    } else {
        chosen.ToolAddAFile(name);
    }
    r.chooseSeconds = choosing.seconds();
    cv::TReadScratch scratch;
    cvbench::Stopwatch reading;
    for (int i = 0; i < chosen.FileCount(); ++i) {
        cv::TChosenTextRec rec;
        chosen.GetFullFileDetails(i, rec);
        Counter c(nullptr, nullptr, nullptr, &handler, rec, settings, 0, 0, false);
        c.UseScratch(&scratch);
        c.SetShowFailureMessages(false);
        if (!c.ReadAndProcess(chosen.FileCount())) {
            r.unread << c.LastError();
            continue;
        }
        ++r.texts;
        r.words += c.TextStats().Words;
    }
    r.readSeconds = reading.seconds();
    return r;
}

// One text of `megabytes`, loose and zipped: the peak memory of reading each.
int LargeEntry(int megabytes)
{
    QTemporaryDir dir;
    const QString loose = QDir(dir.path()).filePath(QStringLiteral("large.txt"));
    const QString zipName = QDir(dir.path()).filePath(QStringLiteral("large.zip"));
    {
        QByteArray text;
        for (int64_t k = 0; text.size() < int64_t(megabytes) * 1000000; ++k)
            text += QStringLiteral("Line %1: the cat sat on the mat, and the dog sat by it. Then it rained.\n").arg(k).toUtf8();
        QFile f(loose);
        if (!cvbench::Created(f) || !cvbench::Written(f, text.constData(), std::size_t(text.size())))
            return 1;
        cv::TZipArchive zip;
        std::vector<cv::TZipNewEntry> one(1);
        one[0].name = QStringLiteral("large.txt");
        one[0].data.assign(text.begin(), text.end());
        text = QByteArray();
        if (!zip.CreateArchive(zipName) || !zip.AddEntries(std::move(one))) {
            std::fprintf(stderr, "%s\n", qPrintable(zip.ErrorString()));
            return 1;
        }
    }
    // Each read in a process of its own: memory one reading leaves resident
    // would make the other look cheaper.
    long peaks[2] = {0, 0};
    QString words[2];
    for (const int k : {0, 1}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak-of"), k == 0 ? loose : zipName});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "reading the %s failed\n", k == 0 ? "loose text" : "zip entry");
            return 1;
        }
        const QStringList out = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(QLatin1Char('\t'));
        peaks[k] = out.value(0).toLong();
        words[k] = out.value(1);
        std::printf("%-15s %d MB, %s words: read in %s s, peak memory %ld MB above the start (VmHWM)\n",
                    k == 0 ? "loose" : "zip entry", megabytes, qPrintable(words[k]), qPrintable(out.value(2)),
                    peaks[k] / 1024);
    }
    const bool met = words[0] == words[1] && peaks[1] <= peaks[0] + 16 * 1024;
    std::printf("goal\tthe entry's peak within 16 MB of the loose text's (%ld MB, %ld MB): %s\n", peaks[1] / 1024,
                peaks[0] / 1024, met ? "met" : "NOT MET");
    return met ? 0 : 1;
}

// The peak memory of reading what `name` stands for, in KB above the
// start, its words and its seconds, tab-separated (a child of LargeEntry).
int PeakOf(const QString& name)
{
    const long before = cvbench::CurrentRssKb();
    const Read r = ChooseAndRead(name);
    cvbench::reportSkipped(r.unread);
    if (r.texts != 1)
        return 1;
    std::printf("%ld\t%lld\t%.2f\n", cvbench::PeakRssKb() - before, (long long)r.words, r.readSeconds);
    return 0;
}

constexpr const char* kUsage = "usage: zip_reading_bench [entries]\n"
                               "       zip_reading_bench --large [megabytes]\n"
                               "       zip_reading_bench --peak-of FILE\n";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;
    cvbench::TArgs args(app.arguments().mid(1));
    return cvbench::RunJob(QStringLiteral("read the texts of the archive"), [&]() -> int {
        if (!args.AtEnd() && app.arguments().at(1) == QLatin1String("--peak-of")) {
            args.Take();
            QString name;
            if (!args.Value(QStringLiteral("--peak-of"), name) || !args.AtEnd())
                return cvbench::UsageError(args.Ok() ? QStringLiteral("too many arguments") : args.Error(), kUsage);
            return PeakOf(name);
        }
        if (!args.AtEnd() && app.arguments().at(1) == QLatin1String("--large")) {
            args.Take();
            int megabytes = 300;
            if (!args.AtEnd() && !args.Parse(QStringLiteral("megabytes"), args.Take(), 1, 4000, megabytes))
                return cvbench::UsageError(args.Error(), kUsage);
            if (!args.AtEnd())
                return cvbench::UsageError(QStringLiteral("too many arguments"), kUsage);
            return LargeEntry(megabytes);
        }
        int entries = 100000;
        if (!args.AtEnd() && !args.Parse(QStringLiteral("entries"), args.Take(), 1, cv::TZipArchive::kMaxEntries, entries))
            return cvbench::UsageError(args.Error(), kUsage);
        if (!args.AtEnd())
            return cvbench::UsageError(QStringLiteral("too many arguments"), kUsage);

        QTemporaryDir dir;
        const QString zipName = QDir(dir.path()).filePath(QStringLiteral("texts.zip"));
        const QString loose = QDir(dir.path()).filePath(QStringLiteral("loose"));
        QDir().mkpath(loose);
        std::vector<cv::TZipNewEntry> made(static_cast<std::size_t>(entries));
        for (int k = 0; k < entries; ++k) {
            const QByteArray text = QStringLiteral("Text %1: the cat sat on the mat, and the dog sat by it.\n").arg(k).toUtf8();
            made[std::size_t(k)].name = QStringLiteral("t%1.txt").arg(k, 6, 10, QLatin1Char('0'));
            made[std::size_t(k)].data.assign(text.begin(), text.end());
            QFile f(QDir(loose).filePath(made[std::size_t(k)].name));
            if (!cvbench::Created(f) || !cvbench::Written(f, text.constData(), std::size_t(text.size())))
                return 1;
        }
        cv::TZipArchive zip;
        if (!zip.CreateArchive(zipName) || !zip.AddEntries(std::move(made))) {
            std::fprintf(stderr, "%s\n", qPrintable(zip.ErrorString()));
            return 1;
        }
        zip.CloseArchive();

        const Read inZip = ChooseAndRead(zipName);
        const Read asFiles = ChooseAndRead(loose);
        cvbench::reportSkipped(inZip.unread);
        for (const auto& [what, r] : {std::pair{"in one archive", &inZip}, std::pair{"loose", &asFiles}})
            std::printf("%-15s %7d texts %9lld words: chosen in %.3f s, read in %.3f s (%.0f texts per second)\n", what,
                        r->texts, (long long)r->words, r->chooseSeconds, r->readSeconds, double(r->texts) / r->readSeconds);
        const double all = inZip.chooseSeconds + inZip.readSeconds;
        std::printf("%d entries of one archive in %.2f s: %.1f x the loose texts' time\n", entries, all,
                    all / (asFiles.chooseSeconds + asFiles.readSeconds));
        return inZip.texts == entries ? 0 : 1;
    });
}
