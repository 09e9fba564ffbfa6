// bench-deps: cv_wordlist
// Makes the word list of texts, with their statistics, and saves it: the
// word-list job of the tool as it runs below the window, timed as a whole
// (from the start of the process to the saved file), and compared with
// `wc -w` over the same files in the same run. Also the way to make a word
// list by hand. Build RelWithDebInfo to measure.
//
//   wordlist_bench [--out FILE.lst] [--top N] [--threads N] PATH...
//       PATHs are texts or folders of texts (zip archives too); the default
//       settings of the settings buffer apply. Prints the N most frequent
//       words as "rank<TAB>word<TAB>frequency", then the line
//       "running words<TAB>n<TAB>types<TAB>n<TAB>words per second<TAB>r",
//       the processor time of the whole process to that point (every
//       thread's), then the comparison with wc -w (the rate, and the time as a share of
//       its time; at 100 million words and more a "goal" line: at most 0.6 of
//       it on four idle cores) and the peak memory; texts passed
//       over are named on "skipped:" lines, and what the list's notes say of
//       texts read all the same on "note:" lines. --threads: the
//       threads that read the texts (1: one core; the default, 0: the
//       machine's idle cores, four at most).
//
//   wordlist_bench ... --out FILE.lst --compare EXPECTED.lst
//       Also compares the saved list with an earlier one, byte for byte (a
//       faster build must make the very same list).
//
//   wordlist_bench --generate-words N --generate-types T [--generate-texts K] [--generate-into FOLDER] ...
//       Generates a corpus of N running words over T distinct types (a
//       Zipf-like spread in which every type occurs) as K texts in a
//       temporary folder (or in FOLDER, kept, to be read again as given
//       texts), makes its word list, and also the list of the first tenth of
//       the texts, to show how the cost grows.

#include "bench_support.h"

#include "model/chosen_files.h"
#include "runtime/start_an_app.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/process_utils.h"
#include "textread/tag_handler.h"
#include "wordlist/wordlist_holder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>

namespace {

// The process starts well before this program's own first line runs: the
// system loads it and the shared libraries it calls, and those relocate
// themselves and run their own start-up (several milliseconds). No clock
// reads that time from inside, but the processor time the process has
// used up to here is that time: nothing else runs in it before then, and
// it waits for nothing (the libraries are in memory).
double ProcessorSecondsSoFar()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

const auto kProgramStart = std::chrono::steady_clock::now();
const double kBeforeProgramStart = ProcessorSecondsSoFar();

// Seconds since the process started.
double SinceStart()
{
    return kBeforeProgramStart + std::chrono::duration<double>(std::chrono::steady_clock::now() - kProgramStart).count();
}

// The spelling of type `id`: a pronounceable lower-case word, unique per id.
std::string SpellType(uint32_t id)
{
    static const char* const kOnsets[] = {"b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r", "s", "t", "v",
                                          "w", "br", "st", "th", "ch", "sh", "pl", "gr", "tr"};
    static const char* const kVowels[] = {"a", "e", "i", "o", "u", "ea", "ou", "ai"};
    std::string w;
    uint32_t n = id;
    do {
        w += kOnsets[n % 24];
        n /= 24;
        w += kVowels[n % 8];
        n /= 8;
    } while (n > 0);
    return w;
}

// Writes `words` running words over `types` types into `texts` files.
QStringList Generate(const QString& folder, int64_t words, int64_t types, int texts)
{
    std::vector<std::string> vocab(static_cast<std::size_t>(types));
    for (int64_t t = 0; t < types; ++t)
        vocab[std::size_t(t)] = SpellType(uint32_t(t));
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double logRange = std::log(double(types) + 1.0);
    const int64_t stride = std::max<int64_t>(1, words / std::max<int64_t>(1, types));
    int64_t nextUnseen = 0;
    QStringList files;
    const int64_t perText = (words + texts - 1) / texts;
    int64_t written = 0;
    for (int k = 0; k < texts && written < words; ++k) {
        const QString name = QDir(folder).filePath(QStringLiteral("text%1.txt").arg(k, 4, 10, QLatin1Char('0')));
        QFile f(name);
        if (!cvbench::Created(f))
            return {};
        std::string buf;
        buf.reserve(1 << 22);
        const int64_t n = std::min(perText, words - written);
        for (int64_t i = 0; i < n; ++i, ++written) {
            int64_t t;
            if (written % stride == 0 && nextUnseen < types)
                t = nextUnseen++; // every type occurs at least once
            else
                t = std::min<int64_t>(types - 1, int64_t(std::exp(u(rng) * logRange)) - 1); // weight about 1/rank
            buf += vocab[std::size_t(t)];
            buf += (i % 15 == 14) ? ".\n" : " ";
            if (buf.size() > (1 << 22) - 64) {
                if (!cvbench::Written(f, buf.data(), buf.size()))
                    return {};
                buf.clear();
            }
        }
        buf += '\n';
        if (!cvbench::Written(f, buf.data(), buf.size()))
            return {};
        files << name;
    }
    return files;
}

struct TResult {
    bool ok = false;
    double seconds = 0;
    int64_t running = 0;
    int64_t types = 0;
    int readingThreads = 1;
    QStringList unread;                             // the texts that could not be read
    std::unique_ptr<cv::T_WholeWordlistHolder> doc; // freed by the caller, once the job is timed
};

TResult MakeList(const QStringList& files, const QString& out, int top, int threads, cv::TTextTagHandler& handler,
                 bool print)
{
    const auto t0 = std::chrono::steady_clock::now();
    cv::TCVFileDetails chosen(true, cvbench::tellUnchosen);
    for (const QString& f : files)
        chosen.ToolAddAFile(f);
    TResult r;
    r.doc = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListWordList, nullptr, &handler, false, false);
    cv::T_WholeWordlistHolder& doc = *r.doc;
    doc.SetReadingThreads(threads);
    int32_t converted = 0;
    const bool made = doc.MakeWordlist(chosen, 0, converted, cv::kListWordList);
    cvbench::reportSkipped(doc.UnreadTextReasons());
    cvbench::reportNotes(doc.TextNotes());
    r.unread = doc.dud_compute_files;
    if (!made) {
        std::fprintf(stderr, "no word list was made%s%s\n", cv::Global_FailureMessage.isEmpty() ? "" : ": ",
                     qPrintable(cv::Global_FailureMessage));
        return r;
    }
    const auto saving = std::chrono::steady_clock::now();
    if (!out.isEmpty() && !doc.SaveToFile(out)) {
        std::fprintf(stderr, "cannot save %s: %s\n", qPrintable(out), qPrintable(cv::Global_FailureMessage));
        return r;
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto& t = doc.LastRunTimings();
    r.readingThreads = t.readingThreads;
    std::fprintf(stderr,
                 "timings: reading %.1f ms on %d thread%s (of which cutting and counting %.1f), list %.1f, saving %.1f, "
                 "all %.1f\n",
                 t.reading * 1e3, t.readingThreads, t.readingThreads > 1 ? "s" : "", t.cutting * 1e3, t.listing * 1e3,
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - saving).count(),
                 r.seconds * 1e3);
    const cv::TCVWordList& list = *doc.WordlistOfType(cv::kListWordList);
    r.ok = true;
    r.running = doc.fStats->Overall().Data().TokensInText;
    r.types = doc.fStats->Overall().Data().Types;
    if (print) {
        for (int k = 0; k < std::min(top, list.Count()); ++k) {
            const int i = list.FrequencyOrderEntry(k);
            std::printf("%d\t%s\t%lld\n", k + 1, qPrintable(list.DisplayedWord(i)), (long long)list.CorrectFreq(i));
        }
    }
    return r;
}

// A saved list with the times in its notes blanked (when it was made, how
// long it took), and the check of the file, which covers them: two runs of
// the same texts differ only there.
QByteArray WithoutTimeMade(QByteArray bytes)
{
    // The check block: "CRC ", its length (4), the CRC-32.
    if (const qsizetype at = bytes.lastIndexOf(QByteArray("CRC \x04\0\0\0", 8)); at >= 0 && at + 12 <= bytes.size())
        for (qsizetype k = at + 8; k < at + 12; ++k)
            bytes[k] = 0;
    // "Made\tyyyy-MM-dd HH:mm", "Time taken\th:mm:ss.t" in UTF-16
    for (const auto& [label, units] : {std::pair{QStringLiteral("Made\t"), 16}, std::pair{QStringLiteral("Time taken\t"), 9}}) {
        const QByteArray key(reinterpret_cast<const char*>(label.utf16()), label.size() * 2);
        for (qsizetype at = bytes.indexOf(key); at >= 0; at = bytes.indexOf(key, at + 1))
            for (qsizetype k = at + key.size(); k < std::min(bytes.size(), at + key.size() + 2 * units); ++k)
                bytes[k] = 0;
    }
    return bytes;
}

constexpr const char* kUsage =
    "usage: wordlist_bench [--out FILE.lst] [--compare EXPECTED.lst] [--top N] [--threads N] PATH...\n"
    "       wordlist_bench --generate-words N --generate-types T [--generate-texts K] [--generate-into FOLDER] [--out FILE.lst] "
    "[--top N]\n";

int Usage(const QString& why = QString()) { return cvbench::UsageError(why, kUsage); }

} // namespace

int main(int argc, char** argv)
{
    // The tool's own preparation of the process's memory, as its main does it.
    cv::PrepareMemoryForJobs();
    cv::ReportFileSizeLimitAsFailure();
    QCoreApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;

    QString out, compare;
    int top = 20;
    int threads = 0;
    int64_t genWords = 0, genTypes = 0;
    int genTexts = 100;
    QString genInto;
    QStringList paths;
    cvbench::TArgs args(app.arguments().mid(1));
    while (!args.AtEnd()) {
        const QString a = args.Take();
        if (a == QLatin1String("--out"))
            args.Value(a, out);
        else if (a == QLatin1String("--compare"))
            args.Value(a, compare);
        else if (a == QLatin1String("--top"))
            args.Number(a, 0, 100000000, top);
        else if (a == QLatin1String("--threads"))
            args.Number(a, 0, 1024, threads);
        else if (a == QLatin1String("--generate-words"))
            args.Number<int64_t>(a, 1, int64_t(1) << 40, genWords);
        else if (a == QLatin1String("--generate-types"))
            args.Number<int64_t>(a, 1, int64_t(1) << 32, genTypes);
        else if (a == QLatin1String("--generate-texts"))
            args.Number(a, 1, 1000000, genTexts);
        else if (a == QLatin1String("--generate-into"))
            args.Value(a, genInto);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else
            paths << a;
        if (!args.Ok())
            return Usage(args.Error());
    }
    if (!compare.isEmpty() && out.isEmpty())
        return Usage(QStringLiteral("--compare needs --out"));
    if (genWords > 0 && (genTypes <= 0 || genTypes > genWords))
        return Usage(QStringLiteral("--generate-words needs --generate-types from 1 to the words"));
    if (genWords == 0 && paths.isEmpty())
        return Usage(QStringLiteral("no texts named"));
    return cvbench::RunJob(QStringLiteral("make the word list"), [&]() -> int {
        const cv::TTextSettings settings = cv::GetTextSettings();
        cv::TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), cv::TTagOptions::FromSettings(settings));

        // Made only for a generated corpus: a folder of its own costs a run on
        // given texts a tenth of a millisecond or two.
        std::optional<QTemporaryDir> generated;
        QStringList files;
        if (genWords > 0) {
            const double g0 = SinceStart();
            if (genInto.isEmpty())
                generated.emplace();
            else if (!QDir().mkpath(genInto))
                return Usage(QStringLiteral("cannot make the folder %1").arg(genInto));
            files = Generate(genInto.isEmpty() ? generated->path() : genInto, genWords, genTypes, genTexts);
            std::printf("generated %lld running words over %lld types in %d texts in %.1f s\n", (long long)genWords,
                        (long long)genTypes, int(files.size()), SinceStart() - g0);
            std::fflush(stdout);
        } else {
            const cvbench::TFoundTexts found = cvbench::findTexts(paths);
            cvbench::reportSkipped(found.skipped);
            if (!cvbench::haveTexts(found, paths))
                return 1;
            files = found.files;
        }
        if (files.isEmpty()) {
            std::fprintf(stderr, "no texts were made\n");
            return 1;
        }

        const double before = SinceStart();
        const double loadAtStart = cv::MachineLoad();
        TResult r = MakeList(files, out, top, threads, handler, true);
        if (!r.ok)
            return 1;
        // The whole process for the texts given, from its start to the list
        // saved and shown (freeing it afterwards is not part of the job); a
        // generated corpus's own making is not counted.
        const double seconds = genWords > 0 ? r.seconds : SinceStart();
        // The processor time of every thread of the process so far: on a
        // machine shared with other work, the figure the load changes least.
        const double processorSeconds = ProcessorSecondsSoFar();
        r.doc.reset();
        if (r.running == 0 && !r.unread.isEmpty() && r.unread.size() == files.size()) {
            std::fprintf(stderr, "none of the %lld texts could be read\n", (long long)files.size());
            return 1;
        }
        const double rate = double(r.running) / seconds;
        std::printf("running words\t%lld\ttypes\t%lld\twords per second\t%.0f\n", (long long)r.running, (long long)r.types,
                    rate);
        if (genWords == 0)
            std::printf("processor time\t%.3f s (every thread of the process, to the list %s)\n", processorSeconds,
                        out.isEmpty() ? "made" : "saved");
        if (genWords == 0)
            std::fprintf(stderr, "process %.1f ms, of which %.1f ms before the program's first line and %.1f ms before the job\n",
                         seconds * 1e3, kBeforeProgramStart * 1e3, before * 1e3);
        if (!out.isEmpty())
            std::printf("saved\t%s\n", qPrintable(QDir::toNativeSeparators(QFileInfo(out).absoluteFilePath())));
        std::fflush(stdout);

        // The yardstick over the texts the list was made of.
        const QStringList used = cvbench::usedFiles(files, r.unread);
        qint64 wcWords = 0;
        const double wc = cvbench::wcSeconds(used, &wcWords);
        if (wc > 0)
            std::printf("wc -w\t%lld words in %.3f s (%.0f words per second); word list %.3f s: %.2f x the rate of wc -w, "
                        "%.2f x its time\n",
                        (long long)wcWords, wc, double(wcWords) / wc, seconds, rate / (double(wcWords) / wc), seconds / wc);
        // The goal for a corpus of 100 million running words (the generated
        // corpus of docs/speed.md): the whole job in 0.6 x the time of wc -w
        // over the same files, on four idle cores.
        if (r.running >= 100000000 && wc > 0)
            std::printf("goal\tat most 0.6 x the time of wc -w on four idle cores (%.2f x on %d reading thread%s, the "
                        "machine's load %.1f on %d cores at the start): %s\n",
                        seconds / wc, r.readingThreads, r.readingThreads > 1 ? "s" : "", loadAtStart,
                        int(std::thread::hardware_concurrency()),
                        seconds / wc <= 0.6 ? "met" : "NOT MET");
        if (genWords > 0) {
            const QStringList tenth = files.mid(0, std::max<qsizetype>(1, files.size() / 10));
            TResult small = MakeList(tenth, QString(), 0, threads, handler, false);
            small.doc.reset();
            if (small.ok)
                std::printf("first tenth of the texts\t%lld running words in %.2f s (%.0f words per second); whole corpus "
                            "%.1f x the running words took %.1f x the time\n",
                            (long long)small.running, small.seconds, double(small.running) / small.seconds,
                            double(r.running) / double(small.running), r.seconds / small.seconds);
        }
        std::printf("peak memory\t%ld MB (VmHWM)\n", cvbench::PeakRssKb() / 1024);
        if (!compare.isEmpty() && !out.isEmpty()) {
            QFile a(out), b(compare);
            if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot open %s or %s\n", qPrintable(out), qPrintable(compare));
                return 1;
            }
            const bool same = WithoutTimeMade(a.readAll()) == WithoutTimeMade(b.readAll());
            std::printf("list compared with %s: %s\n", qPrintable(compare),
                        same ? "the same bytes (the time it was made aside)" : "DIFFERENT");
            if (!same)
                return 1;
        }
        return 0;
    });
}
