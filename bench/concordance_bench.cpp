// bench-deps: cv_concordance cv_model
// Times a whole concordance of a frequent word ("the", some 5% of running
// words) over the sample corpus: reading every text into processed buffers,
// cutting the words, searching, and making and storing every line (line text
// of 250 characters, word positions, unit ends). Prints MB of source text per
// second, with text reading alone beside it for comparison. The goal is
// 100 MB/s or more on one core (build RelWithDebInfo to measure).
//
//   concordance_bench [--out FILE] [--compare FILE] <corpus folder> [megabytes] [search words]
//
// The folder is what scripts/get-sample-corpus.sh prints; the corpus is read
// again until the megabytes are reached (default 50), the lines of each pass
// dropped before the next. --out saves the lines of the last pass (the lines
// list stream); --compare checks them byte for byte against such a file, so
// that a faster build can be shown to make the very same lines.

#include "bench_support.h"

#include "concordance/marvex_buffer_processor.h"
#include "model/chosen_files.h"
#include "suite/cv_stream.h"
#include "suite/dialog_routines.h"
#include "suite/search_items.h"
#include "textread/tag_handler.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Pass {
    double seconds = 0;
    int64_t bytes = 0;
    int64_t lines = 0;
    int64_t hitsNotHeld = 0; // beyond the lines a concordance holds
    int64_t words = 0;
    std::vector<uint8_t> stream; // the lines list stream, when asked for
    QStringList unread;          // the texts that could not be read, each "<name>: <why>"
    QStringList notes;           // what was noted of texts read all the same
    std::vector<cv::TChosenTextRec> read; // the texts that were
};

struct ReadOnly final : cv::TBufferProcessor {
    using TBufferProcessor::TBufferProcessor;
};

Pass concordance(const std::vector<cv::TChosenTextRec>& texts, const QString& searchWords, bool linesToo, bool keepStream)
{
    const cv::TTextSettings text = cv::TTextSettings::Defaults();
    cv::TTextTagHandler tags(text.LanguageId(), text.CodePage(), cv::TTagOptions::FromSettings(text));
    cv::TSearchWordItems items;
    items.AddedSearchWords(searchWords);
    cv::TConcordanceList lines(nullptr);
    cv::TSearchBuffer buffer;
    cv::TReadScratch scratch;
    cv::TMarvexDocumentLink link;
    link.lines = &lines;
    link.searchBuffer = &buffer;
    link.readScratch = &scratch;
    link.textSettings = text;
    link.settings.SetEntriesWantedPerSw(0); // no limit: every hit becomes a line
    lines.fEntriesWantedPerSW = 0;
    lines.fsearch_words_to_seek = items.PlannedCount();
    cv::TSearchAndDoEngine engine(items);
    Pass r;
    cvbench::Stopwatch watch;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const cv::TChosenTextRec& rec = texts[i];
        lines.current_ConcFileEntry = int32_t(i) + 1;
        std::unique_ptr<cv::TBufferProcessor> p;
        if (linesToo)
            p = std::make_unique<cv::TMarvexBufferProcessor>(link, i == 0, nullptr, &items, nullptr, nullptr, nullptr,
                                                             &engine, 10, 0, false, rec, &tags);
        else
            p = std::make_unique<ReadOnly>(nullptr, nullptr, nullptr, &tags, rec, text, 10, 0, false);
        p->UseScratch(&scratch);
        p->SetShowFailureMessages(false);
        if (!p->ReadAndProcess(int32_t(texts.size()))) {
            r.unread << p->LastError();
            continue;
        }
        r.read.push_back(rec);
        r.notes << p->ReadNotes();
        r.bytes += p->FileHandledInfo.TextSize();
        r.words += p->TextStats().Words;
    }
    r.seconds = watch.seconds();
    r.lines = lines.Count();
    r.hitsNotHeld = lines.fHitsNotHeld;
    if (keepStream) {
        cv::TMemoryStream m;
        lines.SaveToStream(m);
        r.stream = m.TakeBytes();
    }
    return r;
}

// Passes over the corpus until `wanted` bytes are read; the fastest pass rate.
// Returns the lines stream of the last pass when `keepStream` is set.
// The texts that could not be read are told after the first pass and left
// out of the others; a pass that reads nothing ends the run (false).
bool report(const char* name, std::vector<cv::TChosenTextRec>& texts, const QString& words, bool linesToo,
            int64_t wanted, std::vector<uint8_t>* keptStream = nullptr)
{
    Pass total;
    double best = 0;
    int passes = 0;
    std::vector<uint8_t> last;
    const bool keepStream = keptStream != nullptr;
    while (total.bytes < wanted || passes < 2) {
        Pass p = concordance(texts, words, linesToo, keepStream);
        if (passes == 0) {
            cvbench::reportSkipped(p.unread);
            if (!linesToo)
                cvbench::reportNotes(p.notes);
            texts = p.read;
        }
        if (p.bytes == 0) {
            std::fprintf(stderr, "%s\n", texts.empty() ? "none of the texts could be read" : "the texts hold no text");
            return false;
        }
        if (passes == 0 && !cvbench::enoughToMeasure(p.bytes, wanted))
            return false;
        last = std::move(p.stream);
        total.seconds += p.seconds;
        total.bytes += p.bytes;
        total.lines += p.lines;
        total.hitsNotHeld += p.hitsNotHeld;
        total.words += p.words;
        best = std::max(best, double(p.bytes) / 1e6 / p.seconds);
        ++passes;
    }
    std::printf("%-34s %7.1f MB in %5.2f s: %7.1f MB/s (best pass %7.1f MB/s)  %10lld lines  %10lld words\n", name,
                double(total.bytes) / 1e6, total.seconds, double(total.bytes) / 1e6 / total.seconds, best,
                static_cast<long long>(total.lines), static_cast<long long>(total.words));
    if (linesToo && total.hitsNotHeld > 0)
        std::printf("%-34s %lld more hits than the lines a concordance holds\n", "", static_cast<long long>(total.hitsNotHeld));
    if (keptStream)
        *keptStream = std::move(last);
    return true;
}

constexpr const char* kUsage =
    "usage: concordance_bench [--out FILE] [--compare FILE] <corpus folder> [megabytes] [search words]\n"
    "  megabytes: 1 to 1000000 (default 50); search words: as typed in the tool (default \"the\")\n";

int Usage(const QString& why) { return cvbench::UsageError(why, kUsage); }

} // namespace

int main(int argc, char** argv)
{
    cv::ReportFileSizeLimitAsFailure();
    QCoreApplication app(argc, argv);
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;
    QString out, compare;
    QStringList plain;
    cvbench::TArgs args(app.arguments().mid(1));
    while (!args.AtEnd()) {
        const QString a = args.Take();
        if (a == QLatin1String("--out"))
            args.Value(a, out);
        else if (a == QLatin1String("--compare"))
            args.Value(a, compare);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else
            plain << a;
        if (!args.Ok())
            return Usage(args.Error());
    }
    if (plain.isEmpty() || plain.size() > 3)
        return Usage(plain.isEmpty() ? QStringLiteral("no corpus folder named") : QStringLiteral("too many arguments"));
    int megabytes = 50;
    if (plain.size() > 1 && !args.Parse(QStringLiteral("megabytes"), plain[1], 1, 1000000, megabytes))
        return Usage(args.Error());
    return cvbench::RunJob(QStringLiteral("make the concordance"), [&]() -> int {
        const cvbench::TFoundTexts found = cvbench::findTexts({plain[0]});
        cvbench::reportSkipped(found.skipped);
        if (!cvbench::haveTexts(found, {plain[0]}))
            return 1;
        // Chosen as the tool chooses them: the entries of a zip archive are texts.
        std::vector<cv::TChosenTextRec> texts = cvbench::chosenTexts(found.files);
        if (texts.empty()) {
            std::fprintf(stderr, "none of the texts could be read\n");
            return 1;
        }
        const int64_t wanted = int64_t(megabytes) * 1000 * 1000;
        const QString words = plain.size() > 2 ? plain[2] : QStringLiteral("the");
        std::printf("%lld texts\n", static_cast<long long>(texts.size()));
        const bool keep = !out.isEmpty() || !compare.isEmpty();
        std::vector<uint8_t> lines;
        if (!report("text reading alone", texts, words, false, wanted))
            return 1;
        cvbench::ResetPeakRss();
        if (!report(qPrintable(QStringLiteral("concordance of \"%1\"").arg(words)), texts, words, true, wanted,
                    keep ? &lines : nullptr))
            return 1;
        // The goal: a concordance of a frequent word in a corpus of 100 million running words in bounded memory.
        const long peakMb = cvbench::PeakRssKb() / 1024;
        std::printf("peak memory\t%ld MB (VmHWM, the concordance passes)\n", peakMb);
        std::printf("goal\tthe whole process under 1 GB (%ld MB): %s\n", peakMb, peakMb < 1024 ? "met" : "NOT MET");
        if (!out.isEmpty()) {
            QString error;
            if (!cv::TMemoryStream(lines).SaveToFile(out, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            std::printf("lines saved\t%s\n", qPrintable(out));
        }
        if (!compare.isEmpty()) {
            QFile f(compare);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "Cannot open file \"%s\": %s\n", qPrintable(compare), qPrintable(f.errorString()));
                return 1;
            }
            const QByteArray expected = f.readAll();
            const bool same = std::size_t(expected.size()) == lines.size()
                              && std::equal(lines.begin(), lines.end(), reinterpret_cast<const uint8_t*>(expected.constData()));
            std::printf("lines compared with %s: %s\n", qPrintable(compare), same ? "the same bytes" : "DIFFERENT");
            if (!same)
                return 1;
        }
        return 0;
    });
}
