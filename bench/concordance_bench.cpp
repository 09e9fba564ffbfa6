// bench-deps: cv_concordance
// Times a whole concordance of a frequent word ("the", some 5% of running
// words) over the sample corpus: reading every text into processed buffers,
// cutting the words, searching, and making and storing every line (line text
// of 250 characters, word positions, unit ends). Prints MB of source text per
// second, with text reading alone beside it for comparison. The goal is
// 100 MB/s or more on one core (build RelWithDebInfo to measure).
//
//   concordance_bench <corpus folder> [megabytes] [search words]
//
// The folder is what scripts/get-sample-corpus.sh prints; the corpus is read
// again until the megabytes are reached (default 50), the lines of each pass
// dropped before the next.

#include "bench_support.h"

#include "concordance/marvex_buffer_processor.h"
#include "suite/search_items.h"
#include "textread/tag_handler.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

struct Pass {
    double seconds = 0;
    int64_t bytes = 0;
    int64_t lines = 0;
    int64_t words = 0;
};

struct ReadOnly final : cv::TBufferProcessor {
    using TBufferProcessor::TBufferProcessor;
};

Pass concordance(const QStringList& files, const QString& searchWords, bool linesToo)
{
    const cv::TTextSettings text = cv::TTextSettings::Defaults();
    cv::TTextTagHandler tags(text.LanguageId(), text.CodePage(), cv::TTagOptions::FromSettings(text));
    cv::TSearchWordItems items;
    items.AddedSearchWords(searchWords);
    cv::TConcordanceList lines(nullptr);
    cv::TSearchBuffer buffer;
    cv::TMarvexDocumentLink link;
    link.lines = &lines;
    link.searchBuffer = &buffer;
    link.textSettings = text;
    link.settings.SetEntriesWantedPerSw(0); // no limit: every hit becomes a line
    lines.fEntriesWantedPerSW = 0;
    lines.fsearch_words_to_seek = items.PlannedCount();
    cv::TSearchAndDoEngine engine(items);
    Pass r;
    cvbench::Stopwatch watch;
    for (int i = 0; i < files.size(); ++i) {
        cv::TChosenTextRec rec;
        rec.FullFilename = files[i];
        lines.current_ConcFileEntry = i + 1;
        std::unique_ptr<cv::TBufferProcessor> p;
        if (linesToo)
            p = std::make_unique<cv::TMarvexBufferProcessor>(link, i == 0, nullptr, &items, nullptr, nullptr, nullptr,
                                                             &engine, 10, 0, false, rec, &tags);
        else
            p = std::make_unique<ReadOnly>(nullptr, nullptr, nullptr, &tags, rec, text, 10, 0, false);
        if (!p->ReadAndProcess(int32_t(files.size()))) {
            std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(files[i]), qPrintable(p->LastError()));
            continue;
        }
        r.bytes += p->FileHandledInfo.TextSize();
        r.words += p->TextStats().Words;
    }
    r.seconds = watch.seconds();
    r.lines = lines.Count();
    return r;
}

// Passes over the corpus until `wanted` bytes are read; the fastest pass rate.
void report(const char* name, const QStringList& files, const QString& words, bool linesToo, int64_t wanted)
{
    Pass total;
    double best = 0;
    int passes = 0;
    while (total.bytes < wanted || passes < 2) {
        const Pass p = concordance(files, words, linesToo);
        total.seconds += p.seconds;
        total.bytes += p.bytes;
        total.lines += p.lines;
        total.words += p.words;
        best = std::max(best, double(p.bytes) / 1e6 / p.seconds);
        ++passes;
    }
    std::printf("%-34s %7.1f MB in %5.2f s: %7.1f MB/s (best pass %7.1f MB/s)  %10lld lines  %10lld words\n", name,
                double(total.bytes) / 1e6, total.seconds, double(total.bytes) / 1e6 / total.seconds, best,
                static_cast<long long>(total.lines), static_cast<long long>(total.words));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: concordance_bench <corpus folder> [megabytes] [search words]\n");
        return 2;
    }
    const QStringList files = cvbench::expandPaths({QString::fromLocal8Bit(argv[1])});
    if (files.isEmpty()) {
        std::fprintf(stderr, "no texts under %s\n", argv[1]);
        return 1;
    }
    const int64_t wanted = int64_t(argc > 2 ? std::max(1, std::atoi(argv[2])) : 50) * 1000 * 1000;
    const QString words = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("the");
    std::printf("%lld texts\n", static_cast<long long>(files.size()));
    report("text reading alone", files, words, false, wanted);
    report(qPrintable(QStringLiteral("concordance of \"%1\"").arg(words)), files, words, true, wanted);
    return 0;
}
