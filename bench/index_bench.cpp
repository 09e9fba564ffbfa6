// bench-deps: cv_index
// Builds a corpus index from texts, extends it, and runs clusters and
// relationships on it: the index jobs of the tool as they run below the
// window, timed, with the figures the index is held to (running words per
// second, bytes per running word on disk, peak memory). Also the way to run
// these jobs by hand. Build RelWithDebInfo to measure.
//
//   index_bench --index BASE [--add] PATH...
//       Makes the index BASE (BASE.tokens, .types, .stats, .markup) of the
//       texts or folders of texts, or with --add adds them to it.
//   index_bench --index BASE --clusters N [--top K] [--min-freq F] [--table-mb M] [--all] [--frames] [--save FILE] [--threads T]
//       Prints the K most frequent clusters of N words as lines
//       "rank<TAB>cluster<TAB>frequency<TAB>texts". --table-mb: the memory
//       the counting table may take before its counts go to run files (to
//       check that counts spilled and merged give the list counted in memory).
//       --all: every cluster instead, in the order the job lists them, as
//       "cluster<TAB>frequency<TAB>texts<TAB>dispersion" (to compare builds).
//       --frames: with phrase frames, as the tool makes them by default.
//       --threads: the threads the blocks of places are counted on (default:
//       the cores the machine leaves idle, four at most; the same list on any).
//       --save: the list the tool shows (the clusters, the frames with their
//       variants joined under them) written to FILE as the word-list block
//       of its saved file (to compare builds). When counts went to scratch
//       files, the line "scratch files" gives the room they took, in all and
//       per running word.
//   index_bench --index BASE --relationships WORD [--span L,R] [--top K]
//       Prints the line "node<TAB>WORD<TAB>frequency<TAB>F<TAB>running words
//       <TAB>N<TAB>span<TAB>L,R" (what every score is computed from), a header
//       line, then per collocate of WORD: the collocate, the joint frequency,
//       the collocate's frequency and the eleven scores (Dice, MI, MI3, Z, LL,
//       T, log ratio, cond. prob. A and B, delta P A and B), tab-separated.
//   index_bench --memory-limit MB --generate-words N --generate-types T [--generate-texts K] [--cluster-size N] [--top K]
//               [--corpus FOLDER]
//   index_bench --memory-limit MB --corpus FOLDER [--cluster-size N] [--top K]
//       Generates a corpus (larger than the limit, say; into FOLDER, kept,
//       with --corpus), or takes the texts of FOLDER, then indexes it and
//       counts its clusters (of 3 words) twice, each in a process of its own:
//       once under prlimit --as=MB megabytes, once without a limit; prints
//       each run's peak memory, times and run files, and whether the two indexes (their tokens,
//       types and boundaries) and the K most frequent clusters (default
//       100,000) are the same.
//   index_bench --generate-words N --generate-types T [--generate-texts K] [--nodes M] [--cluster-size N]
//       Generates a corpus, indexes it, then counts all its clusters of N
//       words (default 3) and the relationships of M node words (default
//       1,000), each with its time and peak memory.
//   index_bench --generate-words N --generate-types T [--generate-texts K] --corpus FOLDER
//       Only writes the generated corpus into FOLDER (for the other benches:
//       the same corpus of the same parameters, word for word).
// Each job prints its timing figure on its last line.

#include "bench_support.h"

#include "index/index_clusters.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "index/index_relationships.h"
#include "model/check_signature.h"
#include "model/chosen_files.h"
#include "runtime/start_an_app.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "wordlist/word_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

using cvbench::PeakRssKb;
using cvbench::ResetPeakRss;

constexpr const char* kUsage =
    "usage: index_bench --index BASE [--add] PATH...\n"
    "       index_bench --index BASE --clusters N [--top K] [--min-freq F] [--table-mb M] [--all] [--frames] [--save FILE] [--threads T]\n"
    "       index_bench --index BASE --relationships WORD [--span L,R] [--top K]\n"
    "       index_bench --generate-words N --generate-types T [--generate-texts K] [--nodes M] [--cluster-size N]\n"
    "       index_bench --memory-limit MB --generate-words N --generate-types T [--generate-texts K] [--cluster-size N] [--top K] [--corpus FOLDER]\n"
    "       index_bench --memory-limit MB --corpus FOLDER [--cluster-size N] [--top K]\n"
    "       index_bench --generate-words N --generate-types T [--generate-texts K] --corpus FOLDER\n"
    "  N of --clusters and --cluster-size: 2 to 12; L and R of --span: 0 to 8\n";

int Usage(const QString& why = QString()) { return cvbench::UsageError(why, kUsage); }

int64_t IndexBytes(const QString& base)
{
    int64_t n = 0;
    for (const cv::TIndexFileInfo& f : cv::IndexFiles())
        n += QFileInfo(cv::IndexFileName(base, f.kind)).size();
    return n;
}

// A corpus of sentences whose words follow a Zipf-like spread over `types`
// types (every type can occur), with some word pairs that tend to follow each
// other, so that clusters and relationships have something to find.
QStringList Generate(const QString& folder, int64_t words, int64_t types, int texts)
{
    std::vector<std::string> spelling(static_cast<std::size_t>(types));
    for (int64_t t = 0; t < types; ++t) {
        std::string w;
        for (int64_t n = t; ; n /= 26) {
            w += char('a' + n % 26);
            if (n < 26)
                break;
        }
        spelling[std::size_t(t)] = w + (t % 3 == 0 ? "e" : t % 3 == 1 ? "o" : "");
    }
    // A table of ids drawn in proportion to 1 / (rank + 1); sampling it
    // uniformly gives the spread, the rare types come in by a second draw.
    std::vector<uint32_t> table;
    table.reserve(1 << 22);
    double h = 0;
    for (int64_t t = 0; t < types; ++t)
        h += 1.0 / double(t + 1);
    for (int64_t t = 0; t < types && table.size() < (1u << 22); ++t) {
        const auto copies = std::size_t(std::llround(double(1 << 22) / (h * double(t + 1))));
        table.insert(table.end(), copies, uint32_t(t));
    }
    std::mt19937_64 rng(20240601);
    QStringList files;
    const int64_t perText = std::max<int64_t>(1, words / texts);
    int64_t written = 0;
    for (int k = 0; k < texts && written < words; ++k) {
        const QString name = QDir(folder).filePath(QStringLiteral("text%1.txt").arg(k, 5, 10, QLatin1Char('0')));
        QFile f(name);
        if (!cvbench::Created(f))
            return {};
        std::string buf;
        const int64_t n = k + 1 == texts ? words - written : std::min(perText, words - written);
        int64_t inSentence = 0, sentence = 5 + int64_t(rng() % 20);
        uint32_t previous = 0;
        for (int64_t i = 0; i < n; ++i) {
            const uint64_t r = rng();
            uint32_t id;
            if ((r & 0xFF) < 40 && previous % 7 == 0)
                id = uint32_t((previous * 31 + 7) % uint64_t(types)); // a word that follows its partner
            else if ((r & 0xFF) < 44)
                id = uint32_t((r >> 8) % uint64_t(types));
            else
                id = table[std::size_t((r >> 8) % table.size())];
            previous = id;
            buf += spelling[id];
            if (++inSentence == sentence) {
                buf += ".\n";
                inSentence = 0;
                sentence = 5 + int64_t(r >> 58);
            } else {
                buf += ' ';
            }
            if (buf.size() > (1 << 20)) {
                if (!cvbench::Written(f, buf.data(), buf.size()))
                    return {};
                buf.clear();
            }
        }
        buf += '\n';
        if (!cvbench::Written(f, buf.data(), buf.size()))
            return {};
        written += n;
        files << name;
    }
    return files;
}

bool BuildIndex(const QString& base, const QStringList& files, bool add)
{
    cv::TCVFileDetails chosen(false, cvbench::tellUnchosen);
    for (const QString& f : files)
        chosen.ToolAddAFile(f);
    if (chosen.FileCount() == 0) {
        std::fprintf(stderr, "no texts to index\n");
        return false;
    }
    ResetPeakRss();
    const auto t0 = std::chrono::steady_clock::now();
    QString error;
    QStringList skipped, notes;
    const bool ok = cv::MakeIndexOfTexts(chosen, base, add ? cv::kIndexOpenAdd : cv::kIndexOpenNew, &error, &skipped, &notes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cvbench::reportSkipped(skipped);
    cvbench::reportNotes(notes);
    if (!ok) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    cv::TIndexData index;
    if (!index.Load(base, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    // The texts indexed now are the last ones; those skipped are not among them.
    const std::size_t indexedNow = std::min(index.texts.size(), std::size_t(chosen.FileCount() - skipped.size()));
    int64_t added = 0;
    for (std::size_t k = index.texts.size() - indexedNow; k < index.texts.size(); ++k)
        added += index.texts[k].stats.TokensInText;
    const int64_t bytes = IndexBytes(base);
    std::printf("index\t%s\n", qPrintable(QDir::toNativeSeparators(QFileInfo(base).absoluteFilePath())));
    std::printf("texts\t%d\trunning words\t%lld\ttypes\t%zu\n", index.TextCount(), (long long)index.RunningWords(),
                index.types.size());
    std::printf("bytes on disk\t%lld\tbytes per running word\t%.2f\n", (long long)bytes,
                double(bytes) / double(std::max<int64_t>(1, index.RunningWords())));
    std::printf("peak memory\t%ld MB (VmHWM)\n", PeakRssKb() / 1024);
    std::printf("indexed\t%zu texts\t%lld running words in %.3f s\t%.0f words per second\n", indexedNow,
                (long long)added, seconds, double(added) / seconds);
    std::fflush(stdout);
    return true;
}

// This program, as it was started (a build that replaces it meanwhile
// leaves the name of the running one empty).
QString& ThisProgram()
{
    static QString program;
    return program;
}

// One run of this program in a process of its own (under prlimit --as when
// `limitMb` > 0): its output, or an empty list when it failed.
QStringList RunChild(const QStringList& arguments, int limitMb)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList all = arguments;
    QString program = ThisProgram();
    if (limitMb > 0) {
        all.prepend(program);
        all.prepend(QStringLiteral("--as=%1").arg(qint64(limitMb) << 20));
        program = QStringLiteral("prlimit");
    }
    p.start(program, all);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s %s: failed (exit %d)\n", qPrintable(program), qPrintable(all.join(u' ')), p.exitCode());
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The lines of a run that do not depend on the run (its times, its memory).
QStringList ResultLines(const QStringList& lines)
{
    QStringList out;
    for (const QString& l : lines)
        if (!l.startsWith(QLatin1String("time\t")) && !l.startsWith(QLatin1String("peak memory"))
            && !l.startsWith(QLatin1String("indexed\t")) && !l.startsWith(QLatin1String("index\t"))
            && !l.startsWith(QLatin1String("scratch files\t")) && !l.startsWith(QLatin1String("goal\t")))
            out << (l.startsWith(QLatin1String("clusters\t")) ? l.section(QLatin1Char(';'), 0, 0) : l);
    return out;
}

QString PeakOf(const QStringList& lines)
{
    QStringList peaks;
    for (const QString& l : lines) {
        const qsizetype at = l.indexOf(QLatin1String("peak memory"));
        if (at >= 0)
            peaks << l.mid(at).section(QLatin1Char('('), 0, 0).trimmed();
    }
    return peaks.join(QStringLiteral(", "));
}

// The line of a run's output that starts with `start` (without it), after
// `before`; empty when there is none.
QString LineOf(const QStringList& lines, const char* start, const char* before = "")
{
    for (const QString& l : lines)
        if (l.startsWith(QLatin1String(start)))
            return QLatin1String(before) + l.mid(qsizetype(std::strlen(start))).replace(QLatin1Char('\t'), QLatin1Char(' '));
    return QString();
}

// The check that indexing and clusters keep within a memory limit and give
// what they give without it.
int MemoryLimitCheck(int limitMb, int64_t words, int64_t types, int texts, int clusterSize, int top,
                     const QString& corpusFolder)
{
    QTemporaryDir dir;
    const QString corpus = corpusFolder.isEmpty() ? QDir(dir.path()).filePath(QStringLiteral("texts")) : corpusFolder;
    QDir().mkpath(corpus);
    QStringList files;
    if (words > 0) {
        const auto g0 = std::chrono::steady_clock::now();
        files = Generate(corpus, words, types, texts);
        std::printf("generated %lld running words over %lld types in %lld texts in %.1f s\n", (long long)words,
                    (long long)types, (long long)files.size(),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - g0).count());
    } else {
        files = cvbench::findTexts({corpus}).files;
    }
    int64_t bytes = 0;
    for (const QString& f : files)
        bytes += QFileInfo(f).size();
    std::printf("corpus\t%s\t%lld texts\t%.2f GB\n", qPrintable(QDir::toNativeSeparators(corpus)), (long long)files.size(),
                double(bytes) / 1e9);
    std::fflush(stdout);
    if (files.isEmpty())
        return 1;
    QStringList results[2];
    const char* names[2] = {"limited", "unlimited"};
    for (int run = 0; run < 2; ++run) {
        const int limit = run == 0 ? limitMb : 0;
        const QString base = QDir(dir.path()).filePath(QString::fromLatin1(names[run]));
        const QStringList indexed = RunChild({QStringLiteral("--index"), base, corpus}, limit);
        const QStringList counted = indexed.isEmpty()
            ? QStringList()
            : RunChild({QStringLiteral("--index"), base, QStringLiteral("--clusters"), QString::number(clusterSize),
                        QStringLiteral("--top"), QString::number(top)},
                       limit);
        if (counted.isEmpty()) {
            std::printf("%s run (%s): FAILED\n", names[run], limit > 0 ? qPrintable(QStringLiteral("prlimit --as %1 MB").arg(limit)) : "no limit");
            return 1;
        }
        std::printf("%s run (%s): indexing %s, %s; clusters %s, %s%s\n", names[run],
                    limit > 0 ? qPrintable(QStringLiteral("prlimit --as %1 MB").arg(limit)) : "no limit",
                    qPrintable(PeakOf(indexed)), qPrintable(LineOf(indexed, "indexed\t")), qPrintable(PeakOf(counted)),
                    qPrintable(LineOf(counted, "time\t")), qPrintable(LineOf(counted, "scratch files\t", "; ")));
        std::fflush(stdout);
        results[run] = ResultLines(indexed) + ResultLines(counted);
    }
    bool same = results[0] == results[1];
    for (qsizetype k = 0; k < std::min(results[0].size(), results[1].size()); ++k)
        if (results[0][k] != results[1][k]) {
            std::printf("first difference:\n  %s\n  %s\n", qPrintable(results[0][k]), qPrintable(results[1][k]));
            break;
        }
    for (const cv::TIndexFileKind kind : {cv::TIndexFileKind::Tokens, cv::TIndexFileKind::Types, cv::TIndexFileKind::Markup}) {
        QFile a(cv::IndexFileName(QDir(dir.path()).filePath(QStringLiteral("limited")), kind));
        QFile b(cv::IndexFileName(QDir(dir.path()).filePath(QStringLiteral("unlimited")), kind));
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size()) {
            same = false;
            continue;
        }
        // The bodies, after the headers (whose stamps differ).
        a.seek(cv::kIndexHeaderSize);
        b.seek(cv::kIndexHeaderSize);
        while (same && !a.atEnd())
            same = a.read(4 << 20) == b.read(4 << 20);
    }
    std::printf("index and %d-word clusters under the limit and without it: %s\n", clusterSize,
                same ? "the same" : "DIFFERENT");
    return same ? 0 : 1;
}

bool OpenIndex(const QString& base, cv::TIndexData& index)
{
    QString error;
    if (!index.Load(base, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}

bool Clusters(const QString& base, int size, int top, int minFreq, int tableMb = 0, bool all = false, bool frames = false,
              const QString& saveTo = QString(), int threads = 0)
{
    cv::TIndexData index;
    if (!OpenIndex(base, index))
        return false;
    ResetPeakRss();
    const long before = PeakRssKb();
    const auto t0 = std::chrono::steady_clock::now();
    cv::TClusterOptions o = cv::TClusterOptions::FromSettings(cv::GetWordlistIndexSettings());
    o.minSize = o.maxSize = size;
    o.minFreq = minFreq;
    o.phraseFrames = frames;
    o.tableBytesLimit = std::size_t(tableMb) << 20;
    o.threads = threads;
    cv::TClusterRun run;
    QString error;
    if (!cv::CountClusters(index, {}, {}, o, run, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::vector<int> order(run.clusters.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    const auto byFreq = [&](int a, int b) {
        const cv::TClusterResult& x = run.clusters[std::size_t(a)];
        const cv::TClusterResult& y = run.clusters[std::size_t(b)];
        return x.freq != y.freq ? x.freq > y.freq : std::ranges::lexicographical_compare(x.codes(), y.codes());
    };
    if (all)
        for (const cv::TClusterResult& c : run.clusters)
            std::printf("%s\t%lld\t%d\t%.9g\n", qPrintable(cv::ClusterText(index, c.codes())), (long long)c.freq, c.texts,
                        double(c.dispersion));
    const std::size_t shown = all ? 0 : std::min<std::size_t>(order.size(), std::size_t(std::max(0, top)));
    std::partial_sort(order.begin(), order.begin() + std::ptrdiff_t(shown), order.end(), byFreq);
    for (std::size_t r = 0; r < shown; ++r) {
        const cv::TClusterResult& c = run.clusters[std::size_t(order[r])];
        std::printf("%zu\t%s\t%lld\t%d\n", r + 1, qPrintable(cv::ClusterText(index, c.codes())), (long long)c.freq, c.texts);
    }
    std::printf("clusters\t%zu of %d words (min. frequency %d) from %lld places; tables %zu MB; peak memory %ld MB "
                "(VmHWM; %ld MB before the job, the index loaded; index on disk %lld MB)\n",
                run.clusters.size(), size, minFreq, (long long)run.positions, run.peakTableBytes >> 20, PeakRssKb() / 1024,
                before / 1024, (long long)(IndexBytes(base) >> 20));
    if (run.scratchBytes > 0)
        std::printf("scratch files\t%lld MB\t%.2f bytes per running word\n", (long long)(run.scratchBytes >> 20),
                    double(run.scratchBytes) / double(std::max<int64_t>(1, index.RunningWords())));
    std::printf("time\t%.3f s\t%.0f running words per second\n", seconds, double(index.RunningWords()) / seconds);
    // The goals for a corpus of 100 million running words over a million types.
    const double perSecond = double(index.RunningWords()) / seconds;
    const long peakMb = std::max(PeakRssKb(), before) / 1024;
    if (size <= 3) {
        const double wanted = size == 2 ? 20e6 : 10e6;
        std::printf("goal\tat least %.0f million running words per second, the whole process under 1 GB "
                    "(%.1f million, %ld MB): %s\n",
                    wanted / 1e6, perSecond / 1e6, peakMb, perSecond >= wanted && peakMb < 1024 ? "met" : "NOT MET");
    }
    std::fflush(stdout);
    if (!saveTo.isEmpty()) {
        const std::unique_ptr<cv::TCVWordList> list =
            cv::MakeClusterWordList(nullptr, index, run, index.RunningWords(), index.TextCount());
        cv::TMemoryStream saved;
        if (!list->SaveToStream(saved) || !saved.SaveToFile(saveTo, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? QStringLiteral("Cannot save the list") : error));
            return false;
        }
    }
    return true;
}

bool Relationships(const QString& base, const QStringList& words, int left, int right, int top, bool print)
{
    cv::TIndexData index;
    if (!OpenIndex(base, index))
        return false;
    const long loaded = cvbench::CurrentRssKb();
    ResetPeakRss();
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<uint32_t> nodes;
    for (const QString& w : words)
        for (uint32_t id : index.TypesOfWord(w))
            nodes.push_back(id);
    if (nodes.empty()) {
        std::fprintf(stderr, "no such word in the index\n");
        return false;
    }
    cv::TWordlist_index_settings_rec rec = cv::GetWordlistIndexSettings();
    cv::TRelationshipOptions o = cv::TRelationshipOptions::FromSettings(rec, index.RunningWords());
    o.left = left;
    o.right = right;
    o.thresholds.fill(-1e30);
    cv::TRelationshipsList list(nullptr, cv::CurrentToolSignature());
    QString error;
    if (!cv::ComputeRelationships(index, nodes, {}, o, list, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (print) {
        std::vector<int> order(std::size_t(list.Count()));
        for (int i = 0; i < list.Count(); ++i)
            order[std::size_t(i)] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return list.Entry(a).fData.Freq > list.Entry(b).fData.Freq; });
        // What every score is computed from: f(A), N and the span.
        int64_t nodeFrequency = 0;
        for (uint32_t id : nodes)
            nodeFrequency += index.types[id].freq;
        std::printf("node\t%s\tfrequency\t%lld\trunning words\t%lld\tspan\t%d,%d\n", qPrintable(words.join(u' ')),
                    (long long)nodeFrequency, (long long)o.N, left, right);
        std::printf("Collocate\tJoint freq.\tFreq.");
        for (const cv::TAssociationEntry& e : cv::AssociationTable())
            std::printf("\t%.*s", int(e.caption.size()), e.caption.data());
        std::printf("\n");
        for (std::size_t r = 0; r < order.size() && int(r) < top; ++r) {
            const cv::TMIDataRec& d = list.Entry(order[r]).fData;
            std::printf("%s\t%lld\t%lld", qPrintable(d.Word2), (long long)d.Freq, (long long)d.Freq2);
            for (float s : d.Scores)
                std::printf("\t%.3f", double(s));
            std::printf("\n");
        }
    }
    const long peak = PeakRssKb();
    std::printf("relationships\t%d pairs of %zu node words, span %d,%d; peak memory %ld MB (VmHWM; %ld MB before "
                "the job, the index loaded)\n",
                list.Count(), nodes.size(), left, right, peak / 1024, loaded / 1024);
    std::printf("time\t%.3f s\t%.0f running words per second\n", seconds, double(index.RunningWords()) / seconds);
    // The goal: the job's memory bounded by the index's own size, not by the length of its longest text.
    const int64_t indexMb = IndexBytes(base) >> 20;
    int64_t longest = 0;
    for (const cv::TIndexText& t : index.texts)
        longest = std::max(longest, t.tokens);
    std::printf("goal\tthe job's own memory below the index's size on disk (%ld of %lld MB; the longest text "
                "%lld running words), the whole process under 1 GB (%ld MB): %s\n",
                (peak - loaded) / 1024, (long long)indexMb, (long long)longest, peak / 1024,
                (peak - loaded) / 1024 <= indexMb && peak / 1024 < 1024 ? "met" : "NOT MET");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // The tool's own preparation of the process's memory, as its main does it.
    cv::PrepareMemoryForJobs();
    cv::ReportFileSizeLimitAsFailure();
    QCoreApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    ThisProgram() = QCoreApplication::applicationFilePath();
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;

    QString base, relWord;
    bool add = false, all = false, frames = false;
    QString saveTo;
    int clusterSize = 0, top = 20, minFreq = 3, left = 1, right = 1, nodes = 1000, genTexts = 200, tableMb = 0, threads = 0;
    int memoryLimitMb = 0;
    bool topGiven = false;
    QString corpusFolder;
    int64_t genWords = 0, genTypes = 0;
    QStringList paths;
    cvbench::TArgs args(app.arguments().mid(1));
    while (!args.AtEnd()) {
        const QString a = args.Take();
        QString value;
        if (a == QLatin1String("--index")) {
            if (args.Value(a, value))
                base = cv::IndexBaseName(value);
        } else if (a == QLatin1String("--add"))
            add = true;
        else if (a == QLatin1String("--all"))
            all = true;
        else if (a == QLatin1String("--frames"))
            frames = true;
        else if (a == QLatin1String("--save"))
            args.Value(a, saveTo);
        else if (a == QLatin1String("--clusters") || a == QLatin1String("--cluster-size"))
            args.Number(a, 2, 12, clusterSize);
        else if (a == QLatin1String("--top"))
            topGiven = args.Number(a, 0, 100000000, top);
        else if (a == QLatin1String("--memory-limit"))
            args.Number(a, 64, 1 << 20, memoryLimitMb);
        else if (a == QLatin1String("--corpus"))
            args.Value(a, corpusFolder);
        else if (a == QLatin1String("--min-freq"))
            args.Number(a, 1, 1000000000, minFreq);
        else if (a == QLatin1String("--table-mb"))
            args.Number(a, 1, 1000000, tableMb);
        else if (a == QLatin1String("--threads"))
            args.Number(a, 1, 64, threads);
        else if (a == QLatin1String("--relationships"))
            args.Value(a, relWord);
        else if (a == QLatin1String("--span")) {
            if (args.Value(a, value)) {
                const QStringList lr = value.split(QLatin1Char(','));
                if (lr.size() > 2)
                    args.Fail(QStringLiteral("--span takes L,R or one number, not \"%1\"").arg(value));
                else if (args.Parse(a, lr.value(0), 0, 8, left))
                    args.Parse(a, lr.value(1, lr.value(0)), 0, 8, right);
            }
        } else if (a == QLatin1String("--nodes"))
            args.Number(a, 1, 10000000, nodes);
        else if (a == QLatin1String("--generate-words"))
            args.Number<int64_t>(a, 1, int64_t(1) << 40, genWords);
        else if (a == QLatin1String("--generate-types"))
            args.Number<int64_t>(a, 1, int64_t(1) << 32, genTypes);
        else if (a == QLatin1String("--generate-texts"))
            args.Number(a, 1, 10000000, genTexts);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else
            paths << a;
        if (!args.Ok())
            return Usage(args.Error());
    }

    if (genWords > 0 && (genTypes <= 0 || genTypes > genWords))
        return Usage(QStringLiteral("--generate-words needs --generate-types from 1 to the words"));
    return cvbench::RunJob(QStringLiteral("run the index jobs"), [&]() -> int {
        if (memoryLimitMb > 0) {
            if (genWords <= 0 && corpusFolder.isEmpty())
                return Usage(QStringLiteral("--memory-limit needs --generate-words and --generate-types, or --corpus"));
            return MemoryLimitCheck(memoryLimitMb, genWords, genTypes, genTexts, clusterSize > 0 ? clusterSize : 3,
                                    topGiven ? top : 100000, corpusFolder);
        }
        if (genWords > 0 && !corpusFolder.isEmpty()) {
            QDir().mkpath(corpusFolder);
            const QStringList files = Generate(corpusFolder, genWords, genTypes, genTexts);
            std::printf("generated %lld running words over %lld types in %lld texts into %s\n", (long long)genWords,
                        (long long)genTypes, (long long)files.size(), qPrintable(QDir::toNativeSeparators(corpusFolder)));
            return files.isEmpty() ? 1 : 0;
        }
        if (genWords > 0) {
            QTemporaryDir dir;
            const auto g0 = std::chrono::steady_clock::now();
            const QStringList files = Generate(dir.path(), genWords, genTypes, genTexts);
            std::printf("generated %lld running words over %lld types in %lld texts in %.1f s\n", (long long)genWords,
                        (long long)genTypes, (long long)files.size(),
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - g0).count());
            std::fflush(stdout);
            const QString generatedBase = base.isEmpty() ? QDir(dir.path()).filePath(QStringLiteral("generated")) : base;
            if (!BuildIndex(generatedBase, files, false))
                return 1;
            for (const QString& f : files)
                QFile::remove(f); // the texts are not needed any more: room on the disk
            if (!Clusters(generatedBase, clusterSize > 0 ? clusterSize : 3, top, minFreq))
                return 1;
            // The node words: a spread of frequencies, from the most frequent down.
            cv::TIndexData index;
            if (!OpenIndex(generatedBase, index))
                return 1;
            std::vector<uint32_t> byFreq(index.types.size());
            for (uint32_t i = 0; i < byFreq.size(); ++i)
                byFreq[i] = i;
            std::sort(byFreq.begin(), byFreq.end(), [&](uint32_t a, uint32_t b) { return index.types[a].freq > index.types[b].freq; });
            QStringList words;
            for (std::size_t i = 0; i < byFreq.size() && words.size() < nodes; i += std::max<std::size_t>(1, byFreq.size() / std::size_t(nodes) / 2))
                words << index.types[byFreq[i]].word;
            return Relationships(generatedBase, words, left, right, top, false) ? 0 : 1;
        }

        if (base.isEmpty())
            return Usage(QStringLiteral("--index BASE is needed"));
        if (paths.isEmpty() && add)
            return Usage(QStringLiteral("--add needs texts to add"));
        if (!paths.isEmpty()) {
            const cvbench::TFoundTexts found = cvbench::findTexts(paths);
            cvbench::reportSkipped(found.skipped);
            if (!cvbench::haveTexts(found, paths) || !BuildIndex(base, found.files, add))
                return 1;
        }
        if (clusterSize > 0 && !Clusters(base, clusterSize, top, minFreq, tableMb, all, frames, saveTo, threads))
            return 1;
        if (!relWord.isEmpty() && !Relationships(base, {relWord}, left, right, top, true))
            return 1;
        if (paths.isEmpty() && clusterSize <= 0 && relWord.isEmpty())
            return Usage();
        return 0;
    });
}
