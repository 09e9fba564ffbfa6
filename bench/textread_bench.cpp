// bench-deps: cv_textread
// Times reading texts into processed buffers: decoding, mark-up handling,
// the character-class array and the word count, over the sample corpus and
// over a corpus of some 50 MB made of copies of it, and compares with `wc -w`
// over the same files in the same run. The goal is 200 MB/s or more for
// UTF-8 plain text on one core (build RelWithDebInfo to measure).
//
//   textread_bench <corpus folder> [megabytes of the large corpus]
//
// The folder is what scripts/get-sample-corpus.sh prints.

#include "bench_support.h"

#include "textread/buffer_processor.h"
#include "textread/tag_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Counter final : cv::TBufferProcessor {
    using TBufferProcessor::TBufferProcessor;
    int64_t units = 0;
    void ProcessAChunkOfFile(int32_t chunkIndex) override
    {
        if (chunkIndex >= 0)
            units += int64_t(Buffer().size());
    }
};

struct Run {
    double seconds = 0;
    int64_t bytes = 0;
    int64_t words = 0;
    QStringList unread; // each "<why>" (the reason names the text)
};

Run readAll(const QStringList& files, const cv::TTextSettings& settings)
{
    cv::TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), cv::TTagOptions::FromSettings(settings));
    Run r;
    cvbench::Stopwatch sw;
    for (const QString& f : files) {
        cv::TChosenTextRec rec;
        rec.FullFilename = f;
        Counter c(nullptr, nullptr, nullptr, &handler, rec, settings, 0, 0, false);
        c.SetShowFailureMessages(false);
        if (!c.ReadAndProcess(int32_t(files.size()))) {
            r.unread << c.LastError();
            continue;
        }
        r.bytes += c.FileHandledInfo.TextSize();
        r.words += c.TextStats().Words;
    }
    r.seconds = sw.seconds();
    return r;
}

// Best of a few runs (the first warms the file cache).
Run best(const QStringList& files, const cv::TTextSettings& settings, int runs = 3)
{
    Run b;
    for (int i = 0; i < runs; ++i) {
        const Run r = readAll(files, settings);
        if (i == 0 || r.seconds < b.seconds)
            b = r;
    }
    return b;
}

double wcBest(const QStringList& files, qint64* words)
{
    double b = 0;
    for (int i = 0; i < 3; ++i) {
        const double s = cvbench::wcSeconds(files, words);
        if (s <= 0)
            return 0; // it could not be started (told)
        if (i == 0 || s < b)
            b = s;
    }
    return b;
}

void report(const char* what, const QStringList& files, const cv::TTextSettings& settings, double wcSeconds)
{
    const Run r = best(files, settings);
    const double mb = double(r.bytes) / 1e6;
    std::printf("  %-34s %8.1f MB %8.3f s %8.1f MB/s  words %10lld", what, mb, r.seconds, mb / r.seconds,
                static_cast<long long>(r.words));
    if (wcSeconds > 0)
        std::printf("  x wc -w %5.2f", r.seconds / wcSeconds);
    std::printf("\n");
}

void measure(const char* title, const QStringList& files, const QStringList& utf16Files)
{
    qint64 wcWords = 0;
    const double wc = wcBest(files, &wcWords);
    int64_t bytes = 0;
    for (const QString& f : files)
        bytes += QFileInfo(f).size();
    std::printf("%s: %lld files, %.1f MB", title, static_cast<long long>(files.size()), double(bytes) / 1e6);
    if (wc > 0)
        std::printf("; wc -w %.3f s (%.1f MB/s, %lld words)", wc, double(bytes) / 1e6 / wc, static_cast<long long>(wcWords));
    std::printf("\n");
    cv::TTextSettings plain = cv::TTextSettings::Defaults();
    plain.SetMarkupMode(cv::TMarkupMode::Plain);
    plain.SetTranslateEntities(false);
    report("UTF-8, plain text", files, plain, wc);
    report("UTF-8, default settings (tags)", files, cv::TTextSettings::Defaults(), wc);
    if (!utf16Files.isEmpty())
        report("UTF-16 LE, default settings", utf16Files, cv::TTextSettings::Defaults(), wc);
}

// Copies of the corpus put end to end until the files hold `megabytes`;
// none (told why) when they cannot be written.
QStringList makeLarge(const QStringList& files, const QString& folder, int megabytes, bool utf16)
{
    QByteArray all;
    for (const QString& f : files) {
        QFile in(f);
        if (in.open(QIODevice::ReadOnly))
            all += in.readAll();
    }
    QStringList out;
    if (all.isEmpty())
        return out; // nothing to copy: no files of nothing
    if (utf16) {
        const QString text = QString::fromUtf8(all);
        all = QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    }
    qint64 written = 0;
    for (int i = 0; written < qint64(megabytes) * 1000000; ++i) {
        const QString name = QDir(folder).filePath(QStringLiteral("%1-%2.txt").arg(utf16 ? "utf16" : "utf8").arg(i));
        QFile o(name);
        if (!cvbench::Created(o) || !cvbench::Written(o, all.constData(), std::size_t(all.size())))
            return {};
        written += all.size();
        out << name;
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* usage = "usage: textread_bench <corpus folder> [megabytes of the large corpus]\n"
                        "  megabytes: 1 to 100000 (default 50)\n";
    cvbench::TFoundTexts found;
    int megabytes = 50;
    if (const int exit = cvbench::corpusAndMegabytes(app.arguments().mid(1), usage, 100000, found, megabytes); exit >= 0)
        return exit;
    return cvbench::RunJob(QStringLiteral("read the texts"), [&]() -> int {
        // Only the texts the reader takes are measured (and copied into the large corpus).
        const Run probe = readAll(found.files, cv::TTextSettings::Defaults());
        cvbench::reportSkipped(probe.unread);
        QStringList files;
        for (const QString& f : found.files)
            if (!std::any_of(probe.unread.begin(), probe.unread.end(),
                             [&](const QString& why) { return why.contains(QDir::toNativeSeparators(f)); }))
                files << f;
        if (files.isEmpty() || probe.bytes == 0) {
            std::fprintf(stderr, "%s\n", files.isEmpty() ? "none of the texts could be read" : "the texts are empty");
            return 1;
        }
        if (!cvbench::enoughToMeasure(probe.bytes, int64_t(megabytes) * 1000000))
            return 1;
        QTemporaryDir dir;
        const QStringList large = makeLarge(files, dir.path(), megabytes, false);
        const QStringList large16 = makeLarge(files, dir.path(), megabytes, true);
        if (large.isEmpty() || large16.isEmpty())
            return 1;
        measure("sample corpus", files, {});
        measure("large corpus", large, large16);
        return 0;
    });
}
