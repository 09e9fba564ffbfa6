// bench-deps: cv_textread cv_model
// Times a job's reading of the texts of one zip archive of many small
// entries: choosing them (the archive's directory read once) and reading
// each into processed buffers with the reader's scratch kept from text to
// text, as the jobs read (the archive opened once for all its texts). The
// same texts loose in a folder are read beside it. The goal: 100,000
// entries within a few seconds, not many times the loose texts' time.
//
//   zip_reading_bench [entries]     (default 100,000)

#include "bench_support.h"

#include "model/chosen_files.h"
#include "suite/zip_archive.h"
#include "textread/buffer_processor.h"
#include "textread/tag_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cvbench::TArgs args(app.arguments().mid(1));
    int entries = 100000;
    if (!args.AtEnd() && !args.Parse(QStringLiteral("entries"), args.Take(), 1, cv::TZipArchive::kMaxEntries, entries))
        return cvbench::UsageError(args.Error(), "usage: zip_reading_bench [entries]\n");
    if (!args.AtEnd())
        return cvbench::UsageError(QStringLiteral("too many arguments"), "usage: zip_reading_bench [entries]\n");

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
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
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
}
