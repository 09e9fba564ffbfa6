// bench-deps: cv_suite
// Times the search engine's share of a concordance: cutting processed
// chunks into tokens and running search words over them with a per-word
// callback, as the concordance runs them. The texts of the corpus are
// repeated up to the given size, decoded and given a class array first
// (not timed: that is the text reader's work). Prints MB of source text per
// second for a frequent word ("the", some 5% of running words), a wildcard
// word, a phrase, and 100 search words run one after another. The whole
// concordance must reach 100 MB/s, so the engine alone should be well
// above that (build RelWithDebInfo to measure).
//
//   search_engine_bench <corpus folder> [megabytes]
//
// The folder is what scripts/get-sample-corpus.sh prints.

#include "bench_support.h"

#include "suite/search_engine.h"
#include "suite/text_codec.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::size_t kChunkUnits = 1 << 20; // about what the reader hands over per chunk

struct Prepared {
    std::u16string text;
    std::vector<uint16_t> classes;
};

cv::TClassArrayLayout textLayout()
{
    auto l = cv::TClassArrayLayout::Rows();
    l.boundaryLevels[15] = 2;
    l.boundaryLevels[17] = 3;
    l.countNumbers = false;
    return l;
}

// Sentence ends and paragraph ends as the reader would mark them.
void markBoundaries(Prepared& p)
{
    for (std::size_t i = 0; i + 1 < p.text.size(); ++i) {
        const char16_t c = p.text[i];
        if ((c == u'.' || c == u'!' || c == u'?') && (p.text[i + 1] == u' ' || p.text[i + 1] == u'\n'))
            p.classes[i] = 15;
        else if (c == u'\n')
            p.classes[i] = 17;
    }
}

struct Result {
    double seconds = 0;
    int64_t hits = 0;
    int64_t words = 0;
};

Result runOver(const std::vector<Prepared>& chunks, const cv::TSearchWordItems& items)
{
    cv::TSearchAndDoEngine engine(items);
    Result r;
    engine.SetOnFound([&](const cv::TSearchFound& f) {
        r.hits += f.wordsSpanned > 0 ? 1 : 0;
        return true;
    });
    engine.SetOnWord([&](const cv::TSearchWordEvent& e) { r.words += e.counted ? 1 : 0; }, true);
    cv::TSearchBuffer buffer;
    const auto layout = textLayout();
    cvbench::Stopwatch watch;
    engine.StartText();
    for (const Prepared& c : chunks) {
        buffer.Assign(c.text, c.classes, layout);
        engine.SetChunk(buffer);
        for (int i = 0; i < items.Count(); ++i) {
            engine.ClearChunkStatistics();
            engine.Search(i);
        }
    }
    r.seconds = watch.seconds();
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* usage = "usage: search_engine_bench <corpus folder> [megabytes]\n"
                        "  megabytes: 1 to 1000000 (default 50)\n";
    cvbench::TFoundTexts found;
    int megabytes = 50;
    if (const int exit = cvbench::corpusAndMegabytes(app.arguments().mid(1), usage, 1000000, found, megabytes); exit >= 0)
        return exit;
    return cvbench::RunJob(QStringLiteral("search the texts"), [&]() -> int {
        const int64_t wanted = int64_t(megabytes) * 1000 * 1000;

        // The texts read once; those that cannot be opened are told and left out.
        std::vector<QString> texts;
        for (const QString& name : found.files) {
            QFile f(name);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "skipped: %s: %s\n", qPrintable(name), qPrintable(f.errorString()));
                continue;
            }
            const QByteArray bytes = f.readAll();
            // The engine is timed on text: what the reader would refuse is left out.
            const auto controls = std::count_if(bytes.begin(), bytes.end(), [](char c) {
                return uint8_t(c) < 0x20 && !(c >= '\t' && c <= '\r');
            });
            if (!cv::IsValidUtf8(bytes) || controls * 20 > bytes.size()) {
                std::fprintf(stderr, "skipped: %s: it is not a UTF-8 text\n", qPrintable(name));
                continue;
            }
            texts.push_back(QString::fromUtf8(bytes));
        }
        int64_t passBytes = 0;
        for (const QString& t : texts)
            passBytes += t.toUtf8().size();
        if (passBytes == 0) {
            std::fprintf(stderr, "no text in the %zu files read (all empty)\n", texts.size());
            return 1;
        }
        if (!cvbench::enoughToMeasure(passBytes, wanted))
            return 1;

        std::vector<Prepared> chunks;
        Prepared current;
        int64_t sourceBytes = 0;
        while (sourceBytes < wanted) {
            for (const QString& text : texts) {
                sourceBytes += text.toUtf8().size();
                current.text.append(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
                current.text.push_back(u'\n');
                if (current.text.size() >= kChunkUnits) {
                    cv::ClassifyUnits(current.text, cv::TWordRules(), false, current.classes);
                    markBoundaries(current);
                    chunks.push_back(std::move(current));
                    current = Prepared();
                }
                if (sourceBytes >= wanted)
                    break;
            }
        }
        if (!current.text.empty()) {
            cv::ClassifyUnits(current.text, cv::TWordRules(), false, current.classes);
            markBoundaries(current);
            chunks.push_back(std::move(current));
        }
        const double mb = double(sourceBytes) / 1e6;
        std::printf("%.1f MB of text in %zu chunks\n", mb, chunks.size());

        struct Case {
            const char* name;
            QString words;
        };
        QString hundred;
        for (int i = 0; i < 100; ++i)
            hundred += QStringLiteral("word%1/").arg(i);
        hundred += QStringLiteral("the");
        const Case cases[] = {
            {"frequent word \"the\"", QStringLiteral("the")},
            {"wildcard \"th*\"", QStringLiteral("th*")},
            {"phrase \"of the\"", QStringLiteral("of the")},
            {"101 search words", hundred},
        };
        for (const Case& c : cases) {
            cv::TSearchWordItems items;
            items.AddedSearchWords(c.words);
            const Result r = runOver(chunks, items);
            std::printf("%-22s %8.1f MB/s  %10lld hits  %10lld words after boundaries  (%.2f s)\n", c.name,
                        mb / r.seconds, static_cast<long long>(r.hits), static_cast<long long>(r.words), r.seconds);
        }
        return 0;
    });
}
