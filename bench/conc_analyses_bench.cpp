// bench-deps: cv_concordance
// Times what a concordance document derives from its lines after a run:
// collocates, concordance clusters, patterns, the dispersion plot and the
// timeline, then the association scores of the collocates against a word
// list. The texts are made here (a vocabulary with Zipf-like frequencies, so
// the search word "the" is about 6% of the running words); the same run
// takes the sample corpus when a folder is named.
//
//   conc_analyses_bench [words per text] [texts] [corpus folder]
//
// Prints the lines and, per step, seconds and lines per second (build
// RelWithDebInfo to measure). Each step reads every line once: collocates
// and patterns keep above 200,000 lines a second on one core; clusters,
// which count every run of 3 to 5 words within reach of each hit and then
// relate the recurring ones, about 40,000 (some 250,000 recurring clusters
// from 63,000 lines of the made texts).

#include "bench_support.h"

#include "concordance/collocate_relationships.h"
#include "concordance/marvex_holder.h"
#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/search_items.h"
#include "textread/buffer_processor.h"
#include "textread/tag_handler.h"
#include "wordlist/wordlist_holder.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

// The texts made, or none (told why) when they cannot be written.
QStringList MakeTexts(const QString& folder, int wordsPerText, int texts)
{
    QStringList vocabulary{QStringLiteral("the"), QStringLiteral("of"), QStringLiteral("and"), QStringLiteral("to"),
                           QStringLiteral("a"),   QStringLiteral("in"), QStringLiteral("is"),  QStringLiteral("that")};
    for (int i = 0; i < 4000; ++i) {
        QString w;
        for (int n = i + 26; n > 0; n /= 26)
            w.prepend(QChar(u'a' + n % 26));
        vocabulary << w;
    }
    std::vector<double> weights;
    for (int i = 0; i < vocabulary.size(); ++i)
        weights.push_back(1.0 / (i + 2.0));
    std::mt19937 rng(7);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    QStringList files;
    for (int t = 0; t < texts; ++t) {
        QString text;
        for (int w = 0; w < wordsPerText; ++w) {
            text += vocabulary[pick(rng)];
            text += (w % 17 == 16) ? QStringLiteral(". ") : QStringLiteral(" ");
        }
        QFile f(QDir(folder).filePath(QStringLiteral("text%1.txt").arg(t)));
        const QByteArray bytes = text.toUtf8();
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
            std::fprintf(stderr, "Cannot write file \"%s\": %s\n", qPrintable(f.fileName()), qPrintable(f.errorString()));
            return {};
        }
        files << f.fileName();
    }
    return files;
}

// The texts the reader takes; the others are told and left out (a text that
// cannot be read ends a concordance run, and the analyses would time less).
QStringList ReadableTexts(const QStringList& files, const cv::TTextSettings& settings, cv::TTextTagHandler& tags)
{
    struct TProbe final : cv::TBufferProcessor {
        using TBufferProcessor::TBufferProcessor;
    };
    QStringList readable;
    for (const QString& f : files) {
        cv::TChosenTextRec rec;
        rec.FullFilename = f;
        TProbe p(nullptr, nullptr, nullptr, &tags, rec, settings, 0, 0, false);
        p.SetShowFailureMessages(false);
        if (p.ReadAndProcess(1))
            readable << f;
        else
            cvbench::reportSkipped({p.LastError()});
    }
    return readable;
}

void Line(const char* step, double seconds, int lines)
{
    std::printf("%-14s %8.3f s %12.0f lines/s\n", step, seconds, seconds > 0 ? lines / seconds : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    cvbench::RunOnPrivateSettingsWithoutDialogs();
    const char* usage = "usage: conc_analyses_bench [words per text] [texts] [corpus folder]\n"
                        "  words per text: 1 to 10000000 (default 100000); texts: 1 to 100000 (default 10);\n"
                        "  the texts made hold 100000000 words at most\n";
    const QStringList args = app.arguments().mid(1);
    if (cvbench::HelpAsked(args, usage))
        return 0;
    cvbench::TArgs check(args);
    int wordsPerText = 100000, texts = 10;
    if (args.size() > 3 || (!args.isEmpty() && args[0].startsWith(QLatin1String("--"))))
        return cvbench::UsageError(args.size() > 3 ? QStringLiteral("too many arguments")
                                                   : QStringLiteral("unknown option %1").arg(args[0]),
                                   usage);
    if ((args.size() > 0 && !check.Parse(QStringLiteral("words per text"), args[0], 1, 10000000, wordsPerText))
        || (args.size() > 1 && !check.Parse(QStringLiteral("texts"), args[1], 1, 100000, texts)))
        return cvbench::UsageError(check.Error(), usage);
    if (args.size() <= 2 && int64_t(wordsPerText) * texts > 100000000)
        return cvbench::UsageError(QStringLiteral("%1 texts of %2 words are more than the 100000000 words made at most")
                                       .arg(texts)
                                       .arg(wordsPerText),
                                   usage);
    return cvbench::RunJob(QStringLiteral("make the concordance and its analyses"), [&]() -> int {
        QTemporaryDir tmp;
        QStringList files;
        if (args.size() > 2) {
            const cvbench::TFoundTexts found = cvbench::findTexts({args[2]});
            cvbench::reportSkipped(found.skipped);
            if (!cvbench::haveTexts(found, {args[2]}))
                return 1;
            files = found.files;
        } else {
            files = MakeTexts(tmp.path(), wordsPerText, texts);
            if (files.isEmpty())
                return 1;
        }

        cv::TConcSettingsRec32 c = cv::GetConcSaveRec();
        c.SetEntriesWantedPerSw(0);
        cv::SetConcSaveRec(c);
        const cv::TTextSettings text = cv::GetTextSettings();
        cv::TTextTagHandler tags(text.LanguageId(), text.CodePage(), cv::TTagOptions::FromSettings(text));
        files = ReadableTexts(files, text, tags);
        if (files.isEmpty()) {
            std::fprintf(stderr, "none of the texts could be read\n");
            return 1;
        }
        cv::TCVFileDetails chosen(true, cvbench::tellUnchosen);
        for (const QString& f : files)
            chosen.ToolAddAFile(f);

        // The run itself without the analyses, then each analysis on its own.
        cv::SetFastMinimalProcessing(cv::current_tool_var, true);
        cv::T_WholeMarvexHolder doc(cv::kListConcordance, nullptr, &tags, false, false);
        cv::TSearchWordItems sws;
        sws.AddedSearchWords(QStringLiteral("the"));
        int32_t converted = 0;
        cvbench::Stopwatch run;
        const bool made = doc.MakeConcordance(chosen, sws, 0, cv::kListConcordance, converted);
        if (!made) {
            std::fprintf(stderr, "the concordance failed%s%s\n", cv::Global_FailureMessage.isEmpty() ? "" : ": ",
                         qPrintable(cv::Global_FailureMessage));
            return 1;
        }
        const int lines = doc.fConcordanceList->Count();
        std::printf("%d texts, %d lines of \"the\"\n", int(files.size()), lines);
        Line("concordance", run.seconds(), lines);

        auto timed = [&](const char* step, auto&& compute) {
            cvbench::Stopwatch watch;
            compute();
            Line(step, watch.seconds(), lines);
        };
        timed("collocates", [&] { doc.ComputeCollocates(); });
        timed("clusters", [&] { doc.ComputeClusters(false); });
        timed("patterns", [&] { doc.ComputePatterns(); });
        timed("plot", [&] { doc.ComputePlot(false); });
        timed("timeline", [&] { doc.ComputeTimeline(); });

        cv::T_WholeWordlistHolder words(cv::kListWordList, nullptr, nullptr, false, false);
        if (words.MakeWordlist(chosen, 0, converted, cv::kListWordList)) {
            const cv::TCVWordList& list = *words.WordlistOfType(cv::kListWordList);
            cv::TCollocateRelationshipChoices choices;
            cv::TCollocateNodes nodes;
            nodes.allLines = lines;
            nodes.linesPerSearchWord = {lines};
            cvbench::Stopwatch w6;
            cv::ComputeCollocateRelationships(*doc.fCollocateList, list, list.TotalTokens(), choices, {}, -1,
                                              {doc.fSettings.CollocHorizonLeft(), doc.fSettings.CollocHorizonRight()},
                                              nodes);
            std::printf("%-14s %8.3f s for %d collocates\n", "association", w6.seconds(), doc.fCollocateList->Count());
        }
        return 0;
    });
}
