// bench-deps: cv_keywords
// Key words of a 100,000-word text with their dispersion plots.
//
//   keyword_plots_bench [CORPUS_FOLDER] [--words N] [--repeat R]
//       The study text is the corpus's texts (in name order) joined until
//       they hold N words (default 100,000, counted as blank-separated
//       tokens); the reference is the rest of the corpus. Without a folder
//       (argument or CV_SAMPLE_CORPUS; scripts/get-sample-corpus.sh fetches
//       one) both texts are generated. The word lists of the two are made
//       and saved first (timed apart, they are not the job measured). Then
//       the job: the key-word run on the saved lists (reading both,
//       comparing, and the plots: one concordance pass over the text with
//       every key word as a search word, and the dispersion plot), best of R
//       runs. Prints the key words, the plot rows, their hits, and the
//       seconds against the budget of 1 s. Single-threaded; run it under
//       "taskset -c 0" to be sure of one core.

#include "bench_support.h"

#include "keywords/keywords_holder.h"
#include "model/chosen_files.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "wordlist/wordlist_holder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>

using namespace cv;

namespace {

constexpr double kBudgetSeconds = 1.0;

// The first `words` blank-separated tokens of the texts, joined, and the
// texts left over.
QString JoinedToWords(const QStringList& files, int64_t words, QStringList& rest)
{
    QString joined;
    int64_t have = 0;
    for (const QString& f : files) {
        if (have >= words) {
            rest << f;
            continue;
        }
        QFile in(f);
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(in.readAll());
        // Cut the last text at the word that reaches the total.
        qsizetype i = 0;
        bool inWord = false;
        for (; i < text.size(); ++i) {
            const bool blank = text[i].isSpace();
            if (!blank && !inWord && ++have > words)
                break;
            inWord = !blank;
        }
        if (have > words)
            --have;
        joined += text.left(i);
        if (!joined.endsWith(u'\n'))
            joined += u'\n';
    }
    return joined;
}

// Sentences of Zipf-distributed words; the topic words come more often in the study text.
QString Generated(int64_t words, bool study, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    static const char16_t letters[] = u"etaoinshrdlcumwfgypbvkjxqz";
    auto wordOf = [](uint64_t n) {
        QString w;
        w += QChar(letters[(n * 7) % 26]);
        do {
            w += QChar(letters[n % 26]);
            n /= 26;
        } while (n);
        return w;
    };
    const int types = 20000;
    std::vector<double> weights(types);
    for (int r = 0; r < types; ++r)
        weights[std::size_t(r)] = 1.0 / (r + 1);
    // The study text's topic: 300 middling words made forty times as likely.
    if (study)
        for (int r = 2000; r < 2300; ++r)
            weights[std::size_t(r)] *= 40;
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    QString text;
    text.reserve(qsizetype(words * 7));
    for (int64_t i = 0; i < words; ++i) {
        text += wordOf(uint64_t(pick(rng)));
        text += i % 17 == 16 ? QStringLiteral(".\n") : QStringLiteral(" ");
    }
    return text;
}

bool WordListSaved(const QStringList& texts, const QString& file, int64_t* runningWords)
{
    TCVFileDetails chosen(true, cvbench::tellUnchosen);
    for (const QString& t : texts)
        chosen.ToolAddAFile(t);
    T_WholeWordlistHolder words(kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    if (!words.MakeWordlist(chosen, 0, converted, kListWordList))
        return false;
    if (runningWords)
        *runningWords = words.WordlistOfType(kListWordList)->TotalTokens();
    return words.SaveToFile(file);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    SetFastMinimalProcessing(current_tool_var, false);

    constexpr const char* kUsage = "usage: keyword_plots_bench [CORPUS_FOLDER] [--words N] [--repeat R]\n"
                                   "  N: 1 to 10000000 (default 100000); R: 1 to 1000 (default 3)\n";
    if (cvbench::HelpAsked(app.arguments().mid(1), kUsage))
        return 0;
    QString folder = qEnvironmentVariable("CV_SAMPLE_CORPUS");
    int64_t words = 100000;
    int repeat = 3;
    bool folderNamed = false;
    cvbench::TArgs args(app.arguments().mid(1));
    while (!args.AtEnd()) {
        const QString a = args.Take();
        if (a == QLatin1String("--words"))
            args.Number<int64_t>(a, 1, 10000000, words);
        else if (a == QLatin1String("--repeat"))
            args.Number(a, 1, 1000, repeat);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else if (folderNamed)
            args.Fail(QStringLiteral("one corpus folder at a time"));
        else
            folder = a, folderNamed = true;
        if (!args.Ok())
            return cvbench::UsageError(args.Error(), kUsage);
    }
    return cvbench::RunJob(QStringLiteral("make the key words and their plots"), [&]() -> int {

        QTemporaryDir tmp;
        const QString studyText = tmp.filePath(QStringLiteral("study.txt"));
        QStringList referenceTexts;
        {
            QFile out(studyText);
            if (!cvbench::Created(out))
                return 1;
            const cvbench::TFoundTexts found = folder.isEmpty() ? cvbench::TFoundTexts() : cvbench::findTexts({folder});
            cvbench::reportSkipped(found.skipped);
            QStringList texts;
            for (const QString& f : found.files)
                if (f.endsWith(QLatin1String(".txt")))
                    texts << f;
            // A corpus named must hold what is measured: texts are made up only when none is named.
            if (!folder.isEmpty() && texts.size() < 2) {
                std::fprintf(stderr,
                             "%s holds %lld \".txt\" texts: the plots need two or more (one to study, the rest for the "
                             "reference list)\n",
                             qPrintable(folder), (long long)texts.size());
                return 1;
            }
            if (texts.size() >= 2) {
                std::printf("corpus\t%s (%lld texts)\n", qPrintable(folder), (long long)texts.size());
                const QByteArray joined = JoinedToWords(texts, words, referenceTexts).toUtf8();
                if (!cvbench::Written(out, joined.constData(), std::size_t(joined.size())))
                    return 1;
            } else {
                std::printf("corpus\tgenerated\n");
                const QByteArray study = Generated(words, true, 1).toUtf8();
                if (!cvbench::Written(out, study.constData(), std::size_t(study.size())))
                    return 1;
                const QString reference = tmp.filePath(QStringLiteral("reference.txt"));
                QFile ref(reference);
                if (!cvbench::Created(ref))
                    return 1;
                const QByteArray referenceBytes = Generated(words * 10, false, 2).toUtf8();
                if (!cvbench::Written(ref, referenceBytes.constData(), std::size_t(referenceBytes.size())))
                    return 1;
                referenceTexts << reference;
            }
        }
        if (referenceTexts.isEmpty()) {
            std::fprintf(stderr, "the corpus has nothing left for a reference list\n");
            return 1;
        }

        const QString studyList = tmp.filePath(QStringLiteral("study.lst"));
        const QString referenceList = tmp.filePath(QStringLiteral("reference.lst"));
        int64_t studyWords = 0, referenceWords = 0;
        const cvbench::Stopwatch lists;
        if (!WordListSaved({studyText}, studyList, &studyWords) || !WordListSaved(referenceTexts, referenceList, &referenceWords)) {
            std::fprintf(stderr, "the word lists could not be made\n");
            return 1;
        }
        std::printf("study text\t%lld running words\nreference\t%lld running words in %lld texts\n", (long long)studyWords,
                    (long long)referenceWords, (long long)referenceTexts.size());
        std::printf("word lists made and saved (not timed below)\t%.3f s\n", lists.seconds());

        double best = 1e9, plotsShare = 0;
        int keyWords = 0, rows = 0, hits = 0;
        for (int r = 0; r < repeat; ++r) {
            T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
            TCVComputeResultRec result;
            const cvbench::Stopwatch w;
            doc.ComputeKWs({studyList}, referenceList, 0, false, 1, false, result);
            const double seconds = w.seconds();
            if (!result.OK || !doc.fKWList->KWSettings.PlotsComputed()) {
                std::fprintf(stderr, "no key words or no plots%s%s\n", Global_FailureMessage.isEmpty() ? "" : ": ",
                             qPrintable(Global_FailureMessage));
                return 1;
            }
            if (seconds < best) {
                best = seconds;
                plotsShare = doc.fProcessTimes.size() == 2 ? doc.fProcessTimes[1] - doc.fProcessTimes[0] : 0;
                keyWords = doc.fKWList->Count();
                rows = doc.fPlots->Count();
                hits = doc.fPlots->OverallPlotEntry->data.hits;
            }
        }
        std::printf("key words\t%d\nplot rows\t%d\nhits plotted\t%d\n", keyWords, rows, hits);
        std::printf("plots step\t%.3f s\n", plotsShare);
        std::printf("key words with their plots\t%.3f s (best of %d; budget %.1f s: %s)\n", best, repeat, kBudgetSeconds,
                    best <= kBudgetSeconds ? "ok" : "TOO SLOW");
        return best <= kBudgetSeconds ? 0 : 1;
    });
}
