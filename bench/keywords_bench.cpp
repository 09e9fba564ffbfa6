// bench-deps: cv_keywords
// Key words: the job by hand, and the speed of the comparison and of batches.
//
//   keywords_bench STUDY.lst REFERENCE.lst [--top K] [--two-way] [--statistic 0|1|2]
//       The key words of a saved word list against a reference list (lists
//       saved by wordlist_bench --out), with the settings buffer's defaults
//       (--statistic: 0 log likelihood, 1 chi-square with Yates's correction,
//       2 chi-square). Prints a header line, then one line per key word, most
//       key first (the positive ones, then the negative ones from the most
//       negative), at most K of each kind: word, frequency, percentage,
//       reference frequency, reference percentage, keyness, p value, log
//       ratio, tab-separated; then the Dice coefficient of the two lists and
//       the time taken.
//
//   keywords_bench --generate [--study-types N] [--reference-types N]
//       Generates a reference list of 1,000,000 types and a study list of
//       100,000 types, saves and reads them back, and times the comparison
//       (the reference prepared once, then the merge with the study list).
//
//   keywords_bench --batch N [--study-types N] [--reference-types N]
//       Generates N study lists (2,000 types each unless --study-types) and a
//       reference list, runs them as one batch (one ".kws" file per list into
//       a temporary batch folder), and prints the lists per second; the
//       reference list is read once for the whole batch.
//
// A list that is not there or cannot be used is named with its reason; a
// shortage of memory ends any of them with the tool's memory message. Both
// end with exit code 1.

#include "bench_support.h"

#include "keywords/keywords_holder.h"
#include "keywords/kw_compute.h"
#include "maths/statistics.h"
#include "model/batch_procedures.h"
#include "model/stats_list.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/my_types.h"
#include "wordlist/keyword_list.h"
#include "wordlist/wordlist_holder.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>
#include <unordered_set>
#include <vector>

using namespace cv;

namespace {

// A distinct lower-case word for every number: letters of the number in base
// 26 behind a fixed two-letter stem that spreads them over the alphabet.
QString WordOf(uint64_t n)
{
    static const char16_t letters[] = u"etaoinshrdlcumwfgypbvkjxqz";
    QString w;
    w += QChar(letters[(n * 7) % 26]);
    w += QChar(letters[(n / 26 * 11) % 26]);
    do {
        w += QChar(letters[n % 26]);
        n /= 26;
    } while (n);
    return w;
}

// A word-list document of the given (word number, frequency) pairs.
std::unique_ptr<T_WholeWordlistHolder> MakeList(const std::vector<std::pair<uint64_t, int64_t>>& words)
{
    auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, nullptr, nullptr, false, false);
    std::vector<TWordAndFrequency> w;
    w.reserve(words.size());
    int64_t total = 0;
    for (const auto& [n, f] : words) {
        w.push_back({WordOf(n), f});
        total += f;
    }
    doc->WordlistOfType(kListWordList)->ImportWords(w, total);
    TStatsRec r;
    r.FileName = QStringLiteral("generated.txt");
    r.Texts = 1;
    r.TokensUsed = total;
    doc->fStats->AddText(r);
    doc->fStats->RecomputeOverall();
    return doc;
}

// Zipf-like frequencies over `types` word numbers starting at `first`.
std::vector<std::pair<uint64_t, int64_t>> Zipf(uint64_t first, int64_t types, double top, std::mt19937_64& rng)
{
    std::vector<std::pair<uint64_t, int64_t>> out;
    out.reserve(std::size_t(types));
    std::uniform_real_distribution<double> jitter(0.5, 2.0);
    for (int64_t r = 1; r <= types; ++r)
        out.push_back({first + uint64_t(r - 1), std::max<int64_t>(1, int64_t(top / double(r) * jitter(rng)))});
    return out;
}

// A study list: nine tenths of its types are reference types (the most
// frequent ones among them, then others picked at random), one tenth its own.
std::vector<std::pair<uint64_t, int64_t>> StudyWords(int64_t types, int64_t referenceTypes, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    const int64_t own = types / 10;
    std::vector<std::pair<uint64_t, int64_t>> out = Zipf(0, types - own, double(types), rng);
    std::unordered_set<uint64_t> used;
    const std::size_t keep = out.size() / 10;
    for (std::size_t k = 0; k < keep; ++k)
        used.insert(out[k].first);
    std::uniform_int_distribution<uint64_t> pick(0, uint64_t(std::max<int64_t>(referenceTypes, 1) - 1));
    for (std::size_t k = keep; k < out.size(); ++k) {
        uint64_t n = pick(rng);
        while (!used.insert(n).second)
            n = pick(rng);
        out[k].first = n;
    }
    for (int64_t k = 0; k < own; ++k)
        out.push_back({uint64_t(referenceTypes) + seed * 1000003ull + uint64_t(k), 1 + k % 7});
    return out;
}

// What stops a generated run: a list that cannot be saved or read back
// (the reason, as the document gives it).
struct TStop {
    QString why;
};

QString Saved(T_WholeWordlistHolder& doc, const QString& file)
{
    if (!doc.SaveToFile(file))
        throw TStop{QStringLiteral("cannot save %1: %2").arg(file, Global_FailureMessage)};
    return file;
}

void ReadBack(T_WholeWordlistHolder& doc, const QString& file)
{
    if (!doc.ReadWholeFromFile(file))
        throw TStop{QStringLiteral("cannot read %1: %2").arg(file, doc.LastReadError())};
}

double Timed(const std::function<void()>& job)
{
    const cvbench::Stopwatch w;
    job();
    return w.seconds();
}

constexpr const char* kUsage = "usage: keywords_bench STUDY.lst REFERENCE.lst [--top K] [--two-way] [--statistic 0|1|2]\n"
                               "       keywords_bench --generate [--study-types N] [--reference-types N]\n"
                               "       keywords_bench --batch N [--study-types N] [--reference-types N]\n";

int Usage(const QString& why = QString()) { return cvbench::UsageError(why, kUsage); }

void PrintKeyWord(const TKeyWordEntry& e)
{
    const TKeyWordRec& r = e.fData;
    std::printf("%s\t%lld\t%.4f\t%lld\t%.4f\t%.3f\t%.3g\t%.3f\n", qPrintable(e.fWord), (long long)r.Freq,
                double(r.Percent), (long long)r.RefFreq,
                double(r.RefPercent), double(r.Keyness), ChiSquare1PValue(r.Keyness), double(r.SecondScore));
}

int ByHand(const QString& study, const QString& reference, int top, bool twoWay)
{
    T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
    TCVComputeResultRec result;
    const cvbench::Stopwatch w;
    doc.ComputeKWs({study}, reference, 0, twoWay, 1, false, result);
    const double seconds = w.seconds();
    for (const QString& why : doc.UnusableStudyLists())
        std::fprintf(stderr, "study list not used: %s\n", qPrintable(why));
    if (!result.OK || doc.ListsRead() == 0) {
        std::fprintf(stderr, "no key words computed%s%s\n", Global_FailureMessage.isEmpty() ? "" : ": ",
                     qPrintable(Global_FailureMessage));
        return 1;
    }
    const TKeyWordList& l = *doc.fKWList;
    std::printf("word\tfreq\t%%\treference freq\treference %%\tkeyness\tp\tlog ratio\n");
    int shown = 0;
    for (int i = 0; i < l.Count() && (top <= 0 || shown < top); ++i)
        if (!l.Entry(i).fData.Negative) {
            PrintKeyWord(l.Entry(i));
            ++shown;
        }
    shown = 0;
    for (int i = l.Count() - 1; i >= 0 && (top <= 0 || shown < top); --i)
        if (l.Entry(i).fData.Negative) {
            PrintKeyWord(l.Entry(i));
            ++shown;
        }
    std::printf("Dice\t%.4f\tseconds\t%.3f\n", l.DiceCoefficient, seconds);
    return 0;
}

int Generated(int64_t studyTypes, int64_t referenceTypes)
{
    QTemporaryDir tmp;
    std::mt19937_64 rng(42);
    std::printf("generating a reference list of %lld types and a study list of %lld types\n",
                (long long)referenceTypes, (long long)studyTypes);
    QString referenceFile, studyFile;
    double made = Timed([&] {
        auto reference = MakeList(Zipf(0, referenceTypes, double(referenceTypes) * 20, rng));
        referenceFile = Saved(*reference, tmp.filePath(QStringLiteral("reference.lst")));
        auto study = MakeList(StudyWords(studyTypes, referenceTypes, 7));
        studyFile = Saved(*study, tmp.filePath(QStringLiteral("study.lst")));
    });
    std::printf("lists made and saved\t%.3f s\n", made);

    T_WholeWordlistHolder reference(kListWordList, nullptr, nullptr, false, false), study(kListWordList, nullptr, nullptr, false, false);
    const double readReference = Timed([&] { ReadBack(reference, referenceFile); });
    const double readStudy = Timed([&] { ReadBack(study, studyFile); });
    std::printf("reading the reference list (%d types)\t%.3f s\n", reference.WordlistOfType(kListWordList)->Count(),
                readReference);
    std::printf("reading the study list (%d types)\t%.3f s\n", study.WordlistOfType(kListWordList)->Count(), readStudy);

    std::unique_ptr<TKWReferenceList> prepared;
    const double prepare = Timed([&] {
        prepared = std::make_unique<TKWReferenceList>(*reference.WordlistOfType(kListWordList), reference.ftextsettings.LanguageId());
    });
    TKeyWordList keyWords(nullptr, kListKeyWords, CurrentToolSignature());
    keyWords.KWSettings = GetKeywordsSettings();
    TKWComparisonFigures fig;
    const double compare = Timed([&] {
        EnsureAlphabeticalForKeyWords(prepared->Language(), *study.WordlistOfType(kListWordList));
        fig = CompareWithReference(*study.WordlistOfType(kListWordList), *prepared, keyWords, {true, false});
    });
    std::printf("preparing the reference list (order check, merge keys, frequency order)\t%.3f s\n", prepare);
    std::printf("comparing: merge of %lld study types with %lld reference types, two-way\t%.3f s\t%d key words\n",
                (long long)fig.studyTypes, (long long)fig.referenceTypes, compare, keyWords.Count());
    const double whole = prepare + compare;
    std::printf("comparison of %lld-type and %lld-type lists (prepare + compare)\t%.3f s\t%s (limit 0.5 s)\n",
                (long long)fig.studyTypes, (long long)fig.referenceTypes, whole, whole <= 0.5 ? "ok" : "TOO SLOW");
    return 0;
}

int Batch(int lists, int64_t studyTypes, int64_t referenceTypes)
{
    QTemporaryDir tmp;
    std::mt19937_64 rng(42);
    QStringList files;
    QString referenceFile;
    const double made = Timed([&] {
        auto reference = MakeList(Zipf(0, referenceTypes, double(referenceTypes) * 20, rng));
        referenceFile = Saved(*reference, tmp.filePath(QStringLiteral("reference.lst")));
        for (int i = 0; i < lists; ++i) {
            auto study = MakeList(StudyWords(studyTypes, std::min<int64_t>(referenceTypes, studyTypes * 20), uint64_t(i + 1)));
            files << Saved(*study, tmp.filePath(QStringLiteral("study%1.lst").arg(i)));
        }
    });
    std::printf("%d study lists of %lld types and a reference list of %lld types made and saved\t%.3f s\n", lists,
                (long long)studyTypes, (long long)referenceTypes, made);

    T_WholeWordlistHolder probe(kListWordList, nullptr, nullptr, false, false);
    const double readReference = Timed([&] { ReadBack(probe, referenceFile); });
    std::printf("reading the reference list once\t%.3f s\n", readReference);

    Global_BatchProcedures = TBatchProceduresRec{};
    Global_BatchProcedures.BatchRootFolder = tmp.filePath(QStringLiteral("batch"));
    T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
    TCVComputeResultRec result;
    const double run = Timed([&] { doc.ComputeKWs(files, referenceFile, 1, false, 0, false, result); });
    const int saved = int(QDir(Global_BatchProcedures.BatchRootFolder).entryList({QStringLiteral("*.kws")}).size());
    const double perSecond = doc.ListsDone() / std::max(1e-9, run - readReference);
    std::printf("batch of %d lists (%d done, %d .kws files)\t%.3f s in all\n", lists, doc.ListsDone(), saved, run);
    std::printf("lists per second, the reference read once aside\t%.1f\t%s (at least 50)\n", perSecond,
                perSecond >= 50 ? "ok" : "TOO SLOW");
    std::printf("lists per second, all included\t%.1f\n", doc.ListsDone() / std::max(1e-9, run));
    for (const QString& why : doc.UnusableStudyLists())
        std::fprintf(stderr, "study list not used: %s\n", qPrintable(why));
    if (!result.OK) {
        std::fprintf(stderr, "the batch failed%s%s\n", Global_FailureMessage.isEmpty() ? "" : ": ",
                     qPrintable(Global_FailureMessage));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    cv::ReportFileSizeLimitAsFailure();
    QCoreApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;

    cvbench::TArgs args(app.arguments().mid(1));
    QStringList plain;
    int top = 0, batch = 0;
    bool generate = false, twoWay = false;
    int64_t studyTypes = -1, referenceTypes = 1000000;
    int statistic = -1;
    while (!args.AtEnd()) {
        const QString a = args.Take();
        if (a == QLatin1String("--top"))
            args.Number(a, 0, 100000000, top);
        else if (a == QLatin1String("--two-way"))
            twoWay = true;
        else if (a == QLatin1String("--statistic"))
            args.Number(a, 0, 2, statistic);
        else if (a == QLatin1String("--generate"))
            generate = true;
        else if (a == QLatin1String("--batch"))
            args.Number(a, 1, 1000000, batch);
        else if (a == QLatin1String("--study-types"))
            args.Number<int64_t>(a, 1, 100000000, studyTypes);
        else if (a == QLatin1String("--reference-types"))
            args.Number<int64_t>(a, 1, 100000000, referenceTypes);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else
            plain << a;
        if (!args.Ok())
            return Usage(args.Error());
    }
    if (statistic >= 0) {
        TKeyWordsSettingsRec k = GetKeywordsSettings();
        k.SetKeynessStatistic(uint8_t(statistic));
        SetKeywordsSettings(k);
    }
    if (!generate && batch == 0 && plain.size() != 2)
        return Usage(QStringLiteral("a study list and a reference list are needed"));
    // The job's entry point: a shortage of memory ends it with a message, as in the tool.
    try {
        if (generate)
            return Generated(studyTypes > 0 ? studyTypes : 100000, referenceTypes);
        if (batch > 0)
            return Batch(batch, studyTypes > 0 ? studyTypes : 2000, referenceTypes);
        return ByHand(plain[0], plain[1], top, twoWay);
    } catch (const TStop& stop) {
        std::fprintf(stderr, "%s\n", qPrintable(stop.why));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(NotEnoughMemoryText(generate || batch > 0 ? QStringLiteral("make and compare the word lists")
                                                                         : QStringLiteral("compute the key words"))));
    }
    return 1;
}
