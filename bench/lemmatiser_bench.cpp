// bench-deps: cv_suite
// Times the lemmatiser on lists of a realistic size: loading a lemma list of
// 50,000 head words with four forms each (a UTF-8 file of some 4 MB) and a
// stop list of 100,000 entries with 20 wildcard patterns, then one million
// look-ups in each, as a word-list job makes them (one per word type).
// Loading should take well under a second, and a look-up well under a
// microsecond (build RelWithDebInfo to measure). Checks the answers too.
//
//   lemmatiser_bench [head words]

#include "bench_support.h"

#include "suite/lemmatiser.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr const char* kUsage = "usage: lemmatiser_bench [head words]\n"
                                   "  head words: 1 to 1000000 (default 50000)\n";
    int64_t headWords = 50000;
    if (const int exit = cvbench::NumbersOnly(app.arguments().mid(1), kUsage, {{"head words", 1, 1000000, &headWords}}); exit >= 0)
        return exit;
    const int heads = int(headWords);
    return cvbench::RunJob(QStringLiteral("load and look up the lists"), [&]() -> int {
        QTemporaryDir dir;
        const QString lemmaFile = dir.filePath(QStringLiteral("lemmas.txt"));
        const QString stopFile = dir.filePath(QStringLiteral("stop.txt"));
        {
            QByteArray lemmas, stops;
            for (int i = 0; i < heads; ++i)
                lemmas += QStringLiteral("wörd%1 -> wörd%1s, wörd%1ed, wörd%1ing, WÖRD%1ER\n").arg(i).toUtf8();
            for (int i = 0; i < 2 * heads; ++i)
                stops += QStringLiteral("stop%1\n").arg(i).toUtf8();
            for (int i = 0; i < 20; ++i)
                stops += QStringLiteral("pre%1*fix\n").arg(i).toUtf8();
            for (const auto& [name, bytes] : {std::pair{lemmaFile, &lemmas}, std::pair{stopFile, &stops}}) {
                QFile f(name);
                if (!f.open(QIODevice::WriteOnly) || f.write(*bytes) != bytes->size() || !f.flush()) {
                    std::fprintf(stderr, "Cannot write file \"%s\": %s\n", qPrintable(name), qPrintable(f.errorString()));
                    return 1;
                }
            }
        }

        auto& lem = cv::TLemmatiser::Instance();
        const auto settings = cv::TListSettingsRec::Defaults();
        cvbench::Stopwatch loadWatch;
        const int loaded = lem.LoadedOne(0, cv::TLemmatiserListKind::Lemma, lemmaFile, settings, {}, {}, 0x0809);
        const int stops = lem.LoadedOne(0, cv::TLemmatiserListKind::Stop, stopFile, settings, {}, {}, 0x0809);
        const double loadSeconds = loadWatch.seconds();
        if (loaded != std::min(heads, 0xFFFF) || stops == 0) {
            std::fprintf(stderr, "lists did not load (%d, %d)\n", loaded, stops);
            return 1;
        }

        const int lookups = 1000000;
        QStringList words;
        for (int i = 0; i < 1000; ++i)
            words << QStringLiteral("WÖRD%1ING").arg(i * 37 % heads) << QStringLiteral("nothing%1").arg(i);
        cvbench::Stopwatch lemmaWatch;
        int found = 0;
        for (int i = 0; i < lookups; ++i)
            found += !lem.LemmaHeadOf(0, words[i % words.size()]).isEmpty();
        const double lemmaSeconds = lemmaWatch.seconds();
        cvbench::Stopwatch stopWatch;
        int stopped = 0;
        for (int i = 0; i < lookups; ++i)
            stopped += lem.FoundInTheList(0, cv::TLemmatiserListKind::Stop, words[i % words.size()]);
        const double stopSeconds = stopWatch.seconds();

        std::printf("load lemma list (%d heads) and stop list (%d entries): %.3f s\n", heads, 2 * heads + 20, loadSeconds);
        std::printf("%d lemma look-ups: %.3f s (%.0f ns each), %d found\n", lookups, lemmaSeconds, lemmaSeconds * 1e9 / lookups, found);
        std::printf("%d stop-list look-ups with 20 patterns: %.3f s (%.0f ns each), %d found\n", lookups, stopSeconds,
                    stopSeconds * 1e9 / lookups, stopped);
        if (found != lookups / 2 || stopped != 0) {
            std::fprintf(stderr, "wrong answers\n");
            return 1;
        }
        return 0;
    });
}
