// Per-text statistics and dispersion values, worked out by hand.

#include "textread/buffer_processor.h"
#include "textread/class_array.h"
#include "wordlist/dispersion.h"
#include "wordlist/keyword_list.h"
#include "wordlist/text_statistics.h"
#include "wordlist/wordlist_tree.h"
#include "wordlist_testutil.h"

#include <QDir>
#include <QRegularExpression>

#include <array>
#include <cmath>
#include <random>
#include <vector>

using namespace cv;
using namespace wordlist_test;

namespace {

class TextStatistics : public WordlistTest {};

// Sentences and paragraphs of a text counted by hand from the reader's
// classes, word by word: a unit is a stretch of running words (words with
// a letter) between boundaries of its level or higher, whatever stands
// between them.
class TUnitsByHand final : public TBufferProcessor {
public:
    TUnitsByHand(const TChosenTextRec& text, const TTextSettings& settings)
        : TBufferProcessor(nullptr, {}, {}, nullptr, text, settings, 0, 0, false)
    {
    }
    void ProcessAChunkOfFile(int32_t chunk) override
    {
        if (chunk < 0) {
            EndWord();
            Close(5);
            return;
        }
        for (const uint16_t v : Classes()) {
            if (IsWordClass(v)) {
                inWord = true;
                letter = letter || ClassCode(v) == kClassLetter;
                continue;
            }
            EndWord();
            level = std::max(level, BoundaryLevel(v));
        }
    }
    int64_t running = 0, sentences = 0, paragraphs = 0;

private:
    void EndWord()
    {
        if (inWord && letter) {
            Close(level);
            level = 0;
            ++running, ++sentence, ++paragraph;
        }
        inWord = letter = false;
    }
    void Close(int at)
    {
        if (at >= 2 && sentence > 0)
            ++sentences, sentence = 0;
        if (at >= 3 && paragraph > 0)
            ++paragraphs, paragraph = 0;
    }
    bool inWord = false, letter = false;
    int level = 0;
    int64_t sentence = 0, paragraph = 0;
};

TEST_F(TextStatistics, SentencesParagraphsHeadingsAndWordLengths)
{
    // Heading "My Title" (2 words, its own paragraph and sentence); then a
    // paragraph of two sentences (3 and 2 words); then one of one sentence (5).
    auto doc = MakeOne(QStringLiteral("<head>My Title</head>\nFirst sentence here. Second one!\n\n"
                                      "New paragraph with five words.\n"));
    ASSERT_TRUE(made);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 12);
    EXPECT_EQ(s.Sentences, 4);
    EXPECT_DOUBLE_EQ(s.MeanSentenceLength, 3.0);
    EXPECT_NEAR(s.SentenceLengthStdDev, std::sqrt(1.5), 1e-9); // 2, 3, 2, 5
    EXPECT_EQ(s.Paragraphs, 3);
    EXPECT_DOUBLE_EQ(s.MeanParagraphLength, 4.0);
    EXPECT_EQ(s.Headings, 1);
    EXPECT_DOUBLE_EQ(s.MeanHeadingLength, 2.0);
    EXPECT_EQ(s.Sections, 0); // no section marker set
    // my title first sentence here second one new paragraph with five words
    EXPECT_NEAR(s.MeanWordLength, 58.0 / 12.0, 1e-12);
    const std::array<int64_t, 14> lengths{0, 1, 2, 3, 3, 1, 0, 1, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(s.WordsOfLength, lengths);
    EXPECT_EQ(s.Types, 12);
    EXPECT_DOUBLE_EQ(s.TTR, 100.0);
    EXPECT_DOUBLE_EQ(s.STTR, 100.0); // shorter than one chunk: the plain ratio
    EXPECT_EQ(s.STTRBasis, 1000);
}

TEST_F(TextStatistics, ANumberThatOpensASentenceOrParagraphKeepsItsBoundary)
{
    // Sentences of 5, 4 ("1961" is no running word), 2 and 2 words in
    // paragraphs of 5, 4 and 4; the blank line ends nothing more.
    const QString text = QStringLiteral("The first line ends here.\n1961 was a good year.\n\nThen 2 more. 3 cats sat.\n");
    auto doc = MakeOne(text);
    ASSERT_TRUE(made);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 13);
    EXPECT_EQ(s.NumbersRemoved, 3);
    EXPECT_EQ(s.Sentences, 4);
    EXPECT_DOUBLE_EQ(s.MeanSentenceLength, 13.0 / 4);
    EXPECT_NEAR(s.SentenceLengthStdDev, std::sqrt((25 + 16 + 4 + 4) / 4.0 - 13.0 * 13 / 16), 1e-9);
    EXPECT_EQ(s.Paragraphs, 3);
    EXPECT_DOUBLE_EQ(s.MeanParagraphLength, 13.0 / 3);

    // Numbers kept: they are words of the sentences they open.
    const TTextSettings before = Settings();
    TTextSettings t = before;
    t.SetKeepNumbers(true);
    Use(t);
    auto kept = MakeOne(text);
    const TStatsRec& k = kept->fStats->Row(1)->Data();
    EXPECT_EQ(k.Sentences, 4);
    EXPECT_DOUBLE_EQ(k.MeanSentenceLength, 4.0); // 5 5 3 3
    EXPECT_EQ(k.Paragraphs, 3);
    Use(before);

    // A heading opened by a number is still a heading of its own.
    auto headed = MakeOne(QStringLiteral("Intro words.\n<head>2 Methods</head>\nSome words here.\n"));
    const TStatsRec& h = headed->fStats->Row(1)->Data();
    EXPECT_EQ(h.Paragraphs, 3);
    EXPECT_EQ(h.Headings, 1);
    EXPECT_DOUBLE_EQ(h.MeanHeadingLength, 1.0);
}

TEST_F(TextStatistics, SectionsWhenAMarkerIsSet)
{
    TTextSettings t = Settings();
    t.SetSectionStartMarker(QStringLiteral("##"));
    Use(t);
    auto doc = MakeOne(QStringLiteral("one two\n## three\nfour five six\n## seven\n"));
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.Sections, 3); // the stretch before the first marker counts
    EXPECT_NEAR(s.MeanSectionLength, 7.0 / 3.0, 1e-12);
}

TEST_F(TextStatistics, StandardisedTypeTokenRatioOverChunks)
{
    TTextSettings t = Settings();
    t.SetSTTRBasis(2);
    Use(t);
    // Chunks [a a] [b b] [a c] give 50, 50, 100; the lone "d" is an incomplete chunk.
    auto doc = MakeOne(QStringLiteral("a a b b a c d"));
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_NEAR(s.STTR, 200.0 / 3.0, 1e-9);
    EXPECT_NEAR(s.STTRStdDev, std::sqrt(((50 - 200.0 / 3) * (50 - 200.0 / 3) * 2 + (100 - 200.0 / 3) * (100 - 200.0 / 3)) / 3),
                1e-9);
    EXPECT_EQ(s.STTRBasis, 2);
    EXPECT_NEAR(s.TTR, 4.0 * 100 / 7, 1e-9);
}

TEST_F(TextStatistics, OverallRowAddsTheTexts)
{
    auto doc = Make({{QStringLiteral("a.txt"), QByteArray("x y z. X y")}, {QStringLiteral("b.txt"), QByteArray("x w")}});
    ASSERT_EQ(doc->fStats->Count(), 3);
    const TStatsRec& o = doc->fStats->Row(0)->Data();
    EXPECT_EQ(o.Texts, 2);
    EXPECT_EQ(o.TokensInText, 7);
    EXPECT_EQ(o.TokensUsed, 7);
    EXPECT_EQ(o.Types, 4); // x y z w: known from the word list, not added up
    EXPECT_NEAR(o.TTR, 400.0 / 7, 1e-9);
    EXPECT_EQ(o.Sentences, 3);
    EXPECT_EQ(doc->fStats->Row(1)->Data().FileName, QStringLiteral("a.txt"));
    EXPECT_EQ(doc->fStats->Row(2)->Data().Types, 2);
    EXPECT_EQ(List(*doc).WordlistData(List(*doc).FindWordAndTag("x", QString())).Texts, 2);
    EXPECT_EQ(List(*doc).TotalTexts(), 2);
    EXPECT_EQ(List(*doc).TotalTokens(), 7);
}

TEST_F(TextStatistics, TheTotalStandardisedRatioIsTheMeanOverEveryTextsWholeChunks)
{
    TTextSettings t = Settings();
    t.SetSTTRBasis(2);
    Use(t);
    // Whole chunks of two: [a a] [b b] [a c] of the first text, [x y] of
    // the second, [p p] of the third (each text's last word left over):
    // 50 50 100 100 50, mean 70, population sd sqrt(600).
    auto doc = Make({{QStringLiteral("1.txt"), QByteArray("a a b b a c d")},
                     {QStringLiteral("2.txt"), QByteArray("x y x")},
                     {QStringLiteral("3.txt"), QByteArray("p p q")}});
    ASSERT_TRUE(made);
    const TStatsRec& o = doc->fStats->Row(0)->Data();
    EXPECT_NEAR(o.STTR, 70.0, 1e-9);
    EXPECT_NEAR(o.STTRStdDev, std::sqrt(600.0), 1e-9);
}

// The sample corpora: every text's sentences and paragraphs are those
// counted by hand, and the total standardised ratio is the mean over every
// text's whole chunks. Brown also with its tags taken off ("The/at" read as
// "The"), as an independent count of the same rules took it: the figures
// that count gave.
TEST_F(TextStatistics, TheSampleCorporaGiveTheCountsByHand)
{
    struct TTotals {
        int64_t sentences = 0, paragraphs = 0, chunks = 0;
        double sttr = 0, sttrSd = 0;
    };
    auto check = [&](const QString& folder) {
        TTotals t;
        TCVFileDetails chosen(true, {});
        for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
            chosen.ToolAddAFile(QDir(folder).filePath(name));
        EXPECT_GT(chosen.FileCount(), 50);
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListWordList));
        const TCVStatsList& stats = *doc.fStats;
        EXPECT_EQ(stats.Count(), chosen.FileCount() + 1);
        double sum = 0, squares = 0;
        for (int i = 1; i < stats.Count(); ++i) {
            const TStatsRec& r = stats.Row(i)->Data();
            TChosenTextRec text;
            text.FullFilename = QDir(r.Folder).filePath(r.FileName);
            TUnitsByHand hand(text, Settings());
            EXPECT_TRUE(hand.ReadAndProcess(1));
            EXPECT_EQ(r.TokensInText, hand.running) << r.FileName.toStdString();
            EXPECT_EQ(r.Sentences, hand.sentences) << r.FileName.toStdString();
            EXPECT_EQ(r.Paragraphs, hand.paragraphs) << r.FileName.toStdString();
            t.sentences += hand.sentences;
            t.paragraphs += hand.paragraphs;
            // Each text's whole chunks: their mean and standard deviation
            // give back the sum and the sum of squares of their ratios.
            const int64_t c = r.TokensUsed / r.STTRBasis;
            t.chunks += c;
            sum += double(c) * r.STTR;
            squares += double(c) * (r.STTRStdDev * r.STTRStdDev + r.STTR * r.STTR);
        }
        const TStatsRec& total = stats.Row(0)->Data();
        EXPECT_EQ(total.Sentences, t.sentences);
        EXPECT_EQ(total.Paragraphs, t.paragraphs);
        EXPECT_GT(t.chunks, 0);
        const double mean = sum / double(std::max<int64_t>(1, t.chunks));
        EXPECT_NEAR(total.STTR, mean, 1e-9);
        EXPECT_NEAR(total.STTRStdDev, std::sqrt(squares / double(std::max<int64_t>(1, t.chunks)) - mean * mean), 1e-7);
        t.sttr = total.STTR;
        t.sttrSd = total.STTRStdDev;
        return t;
    };
    const QString sample = qEnvironmentVariable("CV_SAMPLE_CORPUS"), brown = qEnvironmentVariable("CV_BROWN_CORPUS");
    if (sample.isEmpty() && brown.isEmpty())
        GTEST_SKIP() << "neither CV_SAMPLE_CORPUS nor CV_BROWN_CORPUS is set";
    if (!sample.isEmpty()) {
        SCOPED_TRACE("sample corpus");
        check(sample);
    }
    if (!brown.isEmpty()) {
        SCOPED_TRACE("Brown");
        check(brown);
        const QRegularExpression tagged(QStringLiteral("(\\S+)/\\S+"));
        for (const QString& name : QDir(brown).entryList(QDir::Files, QDir::Name))
            dir.write(QStringLiteral("words/") + name,
                      QString::fromUtf8(cvtest::readAll(QDir(brown).filePath(name))).replace(tagged, QStringLiteral("\\1")).toUtf8());
        const TTotals words = check(dir.file(QStringLiteral("words")));
        EXPECT_EQ(words.sentences, 60426);
        EXPECT_EQ(words.paragraphs, 56833);
        EXPECT_NEAR(double(words.chunks), 850, 1);
        EXPECT_NEAR(words.sttr, 43.923, 0.005);
        EXPECT_NEAR(words.sttrSd, 5.301, 0.005);
    }
}

TEST_F(TextStatistics, BuilderCountsWithoutAText)
{
    TTextStatisticsBuilder b(3, true);
    b.RunningWord(0, true);
    b.RunningWord(0, true);
    b.RunningWord(4, false); // heading of two words ends
    b.RunningWord(2, false);
    b.RunningWord(5, false);
    b.NumberRemoved(0);
    b.StopTokenRemoved();
    EXPECT_FALSE(b.TokenUsed(1, true));
    EXPECT_FALSE(b.TokenUsed(20, false));
    EXPECT_TRUE(b.TokenUsed(3, true)); // three tokens, two types: 66.7
    TStatsRec r;
    b.Finish(r, 2, 1);
    EXPECT_EQ(r.Headings, 1);
    EXPECT_EQ(r.Sentences, 4);    // 2 | 1 | 1 | 1
    EXPECT_EQ(r.Paragraphs, 3);   // 2 | 2 | 1
    EXPECT_EQ(r.Sections, 2);     // 4 | 1
    EXPECT_EQ(r.WordsOfLength[13], 1); // 20 letters count as 14 or more
    EXPECT_NEAR(r.STTR, 200.0 / 3, 1e-9);
    EXPECT_EQ(r.NumbersRemoved, 1);
    EXPECT_EQ(r.StopTokensRemoved, 1);
    EXPECT_EQ(r.StopTypesRemoved, 1);
}

TEST_F(TextStatistics, BuilderAgreesWithCountingEveryUnitAsItGoes)
{
    // A plain count of each unit's words kept word by word, against the
    // builder on random words, boundaries and lengths (none, short, long).
    std::mt19937 rng(17);
    for (int round = 0; round < 20; ++round) {
        const int32_t basis = 1 + int32_t(rng() % 40);
        TTextStatisticsBuilder b(basis, true);
        struct TUnit {
            int64_t current = 0, count = 0;
            double sum = 0;
            void Close()
            {
                if (current > 0) {
                    ++count;
                    sum += double(current);
                }
                current = 0;
            }
        } sentence, paragraph, section;
        int64_t used = 0, lengthSum = 0, headings = 0;
        bool heading = false;
        std::array<int64_t, TStatsRec::kLengthClasses> classes{};
        for (int k = 0; k < 2000; ++k) {
            const int barrier = int(rng() % 9) < 6 ? 0 : int(2 + rng() % 4);
            const bool inHeading = rng() % 5 == 0;
            if (barrier >= 2) {
                sentence.Close();
                if (barrier >= 3) {
                    headings += heading && paragraph.current > 0 ? 1 : 0;
                    paragraph.Close();
                    heading = false;
                }
                if (barrier >= 5)
                    section.Close();
            }
            if (paragraph.current == 0)
                heading = inHeading;
            ++sentence.current, ++paragraph.current, ++section.current;
            b.RunningWord(barrier, inHeading);
            if (rng() % 4 == 0)
                continue;
            const int32_t length = int32_t(rng() % 10 == 0 ? rng() % 80 : 1 + rng() % 12);
            ++used;
            lengthSum += length;
            ++classes[std::size_t(length >= 14 ? 13 : (length < 1 ? 0 : length - 1))];
            b.TokenUsed(length, rng() % 2 == 0);
        }
        TStatsRec r;
        b.Finish(r, 10, 0);
        headings += heading && paragraph.current > 0 ? 1 : 0; // the end of the text ends every unit
        sentence.Close(), paragraph.Close(), section.Close();
        EXPECT_EQ(r.TokensInText, 2000);
        EXPECT_EQ(r.TokensUsed, used);
        EXPECT_EQ(r.Sentences, sentence.count);
        EXPECT_DOUBLE_EQ(r.MeanSentenceLength, sentence.sum / double(sentence.count));
        EXPECT_EQ(r.Paragraphs, paragraph.count);
        EXPECT_EQ(r.Sections, section.count);
        EXPECT_EQ(r.Headings, headings);
        EXPECT_DOUBLE_EQ(r.MeanWordLength, double(lengthSum) / double(used));
        EXPECT_EQ(r.WordsOfLength, classes);
        EXPECT_EQ(r.STTRBasis, basis);
    }
}

// ---------------------------------------------------------------------------

TEST(Dispersion, DeviationOfProportionsByHand)
{
    // Parts of 3 and 6 words: s = 1/3, 2/3.
    const double shares[] = {1.0 / 3, 2.0 / 3};
    const int64_t a[] = {2, 1}, b[] = {1, 0}, c[] = {0, 5}, even[] = {1, 2};
    EXPECT_NEAR(DeviationOfProportions(a, shares), 1.0 / 3, 1e-12);
    EXPECT_NEAR(DeviationOfProportions(b, shares), 2.0 / 3, 1e-12);
    EXPECT_NEAR(DeviationOfProportions(c, shares), 1.0 / 3, 1e-12);
    EXPECT_NEAR(DeviationOfProportions(even, shares), 0, 1e-12);
    EXPECT_NEAR(NormalisedDeviationOfProportions(2.0 / 3, 1.0 / 3), 1.0, 1e-12);
    EXPECT_NEAR(NormalisedDeviationOfProportions(1.0 / 3, 1.0 / 3), 0.5, 1e-12);
    EXPECT_EQ(NormalisedDeviationOfProportions(0.4, 1.0), 0.0);
}

TEST_F(TextStatistics, DispersionOverTextsMatchesTheFormula)
{
    auto doc = Make({{QStringLiteral("1.txt"), QByteArray("a a b")}, {QStringLiteral("2.txt"), QByteArray("a c c c c c")}});
    const TCVWordList& l = List(*doc);
    auto dp = [&](const char* w) { return double(l.WordlistData(l.FindWordAndTag(w, QString())).Dispersion); };
    EXPECT_NEAR(dp("a"), 0.5, 1e-6);
    EXPECT_NEAR(dp("b"), 1.0, 1e-6);
    EXPECT_NEAR(dp("c"), 0.5, 1e-6);
}

// The parts weigh by their running words: stop-list words and words
// outside the length limits make a part larger though the list leaves them
// out. The list stands for those running words too (its % column, and the
// c or d of key words).
// No text has a whole chunk of 1,000 tokens: the total's ratio is the
// texts' plain ratios weighted by their tokens used, and its deviation that
// of those ratios, weighted the same way. 3 types in 4 tokens (75), 5 in 6
// (83.33), 5 in 10 (50): mean (300 + 500 + 500) / 20 = 65; deviations 10,
// 18.33 and -15: variance (400 + 2016.67 + 2250) / 20 = 233.33.
TEST_F(TextStatistics, TheTotalRatioOfTextsWithoutAWholeChunkByHand)
{
    auto doc = Make({{QStringLiteral("1.txt"), QByteArray("a b c a")},
                     {QStringLiteral("2.txt"), QByteArray("a b c d e a")},
                     {QStringLiteral("3.txt"), QByteArray("p q r s t p q r s t")}});
    ASSERT_TRUE(made);
    const TStatsRec& o = doc->fStats->Row(0)->Data();
    EXPECT_EQ(o.STTRBasis, 1000);
    EXPECT_NEAR(doc->fStats->Row(2)->Data().STTR, 500.0 / 6, 1e-9);
    EXPECT_NEAR(o.STTR, 65, 1e-9);
    EXPECT_NEAR(o.STTRStdDev, std::sqrt(700.0 / 3), 1e-9);
}

TEST_F(TextStatistics, DispersionOverTextsWeighsThePartsByTheirRunningWords)
{
    auto dp = [](const TCVWordList& l, const char* w) {
        const int i = l.FindWordAndTag(QString::fromLatin1(w), QString());
        return i < 0 ? -1.0 : double(l.WordlistData(i).Dispersion);
    };
    // Texts of 6 and 3 running words (s = 2/3, 1/3), of which 2 and 3 go
    // into the list. The first word is once in each (v / f = 1/3, 2/3):
    // DP = 1/2 (1/3 + 1/3) = 1/3, DPnorm = (1/3) / (1 - 1/3) = 1/2 (weighed
    // by the words of the list, 2/5 and 3/5, it would be 1/9). The second,
    // all in the first text: DP = 1/2 (1/3 + 1/3), 1/2; the third, all in
    // the second (the smallest): 1.
    auto check = [&](T_WholeWordlistHolder& doc, const char* a, const char* b, const char* c) {
        const TCVWordList& l = List(doc);
        EXPECT_EQ(doc.fStats->Row(0)->Data().TokensInText, 9);
        EXPECT_EQ(doc.fStats->Row(0)->Data().TokensUsed, 5);
        EXPECT_NEAR(dp(l, a), 0.5, 1e-6);
        EXPECT_NEAR(dp(l, b), 0.5, 1e-6);
        EXPECT_NEAR(dp(l, c), 1.0, 1e-6);
        EXPECT_EQ(l.TotalTokens(), 9);
        TKeyWordList keyWords(nullptr, kListKeyWords, 0x70000);
        keyWords.GetRunningWordsIntoSettings(l, &doc, 0);
        EXPECT_EQ(keyWords.KWSettings.RunningWords(0), 9);
    };
    {
        SCOPED_TRACE("a stop list");
        LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\n"));
        auto doc = Make({{QStringLiteral("1.txt"), QByteArray("a b the the the the")},
                         {QStringLiteral("2.txt"), QByteArray("a c a")}},
                        nullptr, false, true);
        ASSERT_TRUE(made);
        check(*doc, "a", "b", "c");
        TLemmatiser::Instance().ClearAll();
    }
    {
        SCOPED_TRACE("words of two characters or more");
        TTextSettings t = Settings();
        t.SetMinWordLength(2);
        Use(t);
        auto doc = Make({{QStringLiteral("1.txt"), QByteArray("aa bb x y z x")},
                         {QStringLiteral("2.txt"), QByteArray("aa cc aa")}});
        ASSERT_TRUE(made);
        check(*doc, "aa", "bb", "cc");
    }
}

TEST_F(TextStatistics, DispersionOfFrequentWordsMatchesTheFormula)
{
    // Frequencies in a text of 254 and more are kept apart from the small
    // ones: the values must not change at the border.
    for (int many : {253, 254, 255, 256, 1000, 70000}) {
        QByteArray one, two("a b b b");
        for (int k = 0; k < many; ++k)
            one += "a ";
        one += "b";
        auto doc = Make({{QStringLiteral("1.txt"), one}, {QStringLiteral("2.txt"), two}});
        const TCVWordList& l = List(*doc);
        const double total = many + 1 + 4;
        const std::vector<double> shares{(many + 1) / total, 4 / total};
        auto expected = [&](int64_t in1, int64_t in2) {
            const int64_t counts[] = {in1, in2};
            return NormalisedDeviationOfProportions(DeviationOfProportions(counts, shares), std::min(shares[0], shares[1]));
        };
        auto dp = [&](const char* w) { return double(l.WordlistData(l.FindWordAndTag(w, QString())).Dispersion); };
        EXPECT_NEAR(dp("a"), expected(many, 1), 1e-6) << many;
        EXPECT_NEAR(dp("b"), expected(1, 3), 1e-6) << many;
        EXPECT_EQ(Freq(l, "a"), many + 1);
    }
}

TEST_F(TextStatistics, DispersionOfOneTextOverTenths)
{
    // Ten lines of ten bytes: each line is a tenth of the text.
    QByteArray text("zzzz bbbb\n");
    for (int k = 0; k < 9; ++k)
        text += "aaaa bbbb\n";
    auto doc = Make({{QStringLiteral("one.txt"), text}});
    const TCVWordList& l = List(*doc);
    auto dp = [&](const char* w) { return double(l.WordlistData(l.FindWordAndTag(w, QString())).Dispersion); };
    EXPECT_NEAR(dp("bbbb"), 0.0, 1e-6);
    EXPECT_NEAR(dp("zzzz"), 1.0, 1e-6);
    EXPECT_NEAR(dp("aaaa"), 0.1 / 0.9, 1e-6);
}

TEST_F(TextStatistics, DispersionOfOneTextIsTheSameInEveryEncoding)
{
    // The ten lines of ten characters above, in Cyrillic: two bytes a
    // letter in UTF-8, two a character in UTF-16 either way, with a mark
    // or without; each line is still a tenth of the text.
    QString text = QStringLiteral("\u0436\u0436\u0436\u0436 \u0431\u0431\u0431\u0431\n");
    for (int k = 0; k < 9; ++k)
        text += QStringLiteral("\u0430\u0430\u0430\u0430 \u0431\u0431\u0431\u0431\n");
    auto utf16 = [&](bool bigEndian, bool mark) {
        QByteArray b = mark ? (bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE")) : QByteArray();
        for (const QChar c : text) {
            const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
            b += bigEndian ? hi : lo;
            b += bigEndian ? lo : hi;
        }
        return b;
    };
    const std::vector<std::pair<const char*, QByteArray>> forms{
        {"UTF-8", text.toUtf8()},
        {"UTF-8 with its mark", QByteArray("\xEF\xBB\xBF") + text.toUtf8()},
        {"UTF-16LE with its mark", utf16(false, true)},
        {"UTF-16BE with its mark", utf16(true, true)},
        {"UTF-16LE", utf16(false, false)}};
    for (const auto& [form, bytes] : forms) {
        auto doc = Make({{QStringLiteral("one.txt"), bytes}});
        ASSERT_TRUE(made) << form;
        const TCVWordList& l = List(*doc);
        auto dp = [&](const QString& w) { return double(l.WordlistData(l.FindWordAndTag(w, QString())).Dispersion); };
        EXPECT_NEAR(dp(QStringLiteral("\u0431\u0431\u0431\u0431")), 0.0, 1e-6) << form;
        EXPECT_NEAR(dp(QStringLiteral("\u0436\u0436\u0436\u0436")), 1.0, 1e-6) << form;
        EXPECT_NEAR(dp(QStringLiteral("\u0430\u0430\u0430\u0430")), 0.1 / 0.9, 1e-6) << form;
    }
}

// Tenths in which no word starts are empty parts: the words after them
// stay in their own tenth. Each value is counted by hand: with parts of
// sizes s_i (running words) and the word's share v_i / f of its frequency
// in each, DP = 1/2 sum |v_i / f - s_i|, DPnorm = DP / (1 - the smallest
// share of a part that holds words).
TEST_F(TextStatistics, DispersionOfOneTextWhoseTenthsHoldNoWordStart)
{
    auto dp = [](const TCVWordList& l, const char* w) {
        const int i = l.FindWordAndTag(QString::fromLatin1(w), QString());
        return i < 0 ? -1.0 : double(l.WordlistData(i).Dispersion);
    };
    {
        // 16 characters, tenths of 2: the words start in tenths 0, 2, 4 and
        // 6, one running word each (s = 1/4). "one" in 0 and 4: DP =
        // 1/2 (1/4 + 1/4 + 1/4 + 1/4) = 1/2, DPnorm = (1/2) / (3/4).
        auto doc = MakeOne(QStringLiteral("one two one two\n"));
        ASSERT_TRUE(made);
        EXPECT_NEAR(dp(List(*doc), "one"), 2.0 / 3, 1e-6);
        EXPECT_NEAR(dp(List(*doc), "two"), 2.0 / 3, 1e-6);
    }
    // 300 lines "common one" (3,300 characters), a line of 60,000 spaces,
    // dashes or digits (no running word), 300 lines "common two": 66,601
    // characters, tenths of 6,661. The first lines are tenth 0, the last
    // (from character 63,301) tenth 9, each part 600 running words (s =
    // 1/2): "common" is half in each, 0; "one" all in tenth 0, DP = 1/2,
    // DPnorm 1.
    for (const char filler : {' ', '-', '7'}) {
        QByteArray text;
        for (int k = 0; k < 300; ++k)
            text += "common one\n";
        text += QByteArray(60000, filler) + "\n";
        for (int k = 0; k < 300; ++k)
            text += "common two\n";
        auto doc = Make({{QStringLiteral("stretch.txt"), text}});
        ASSERT_TRUE(made) << filler;
        const TCVWordList& l = List(*doc);
        EXPECT_EQ(Freq(l, "common"), 600) << filler;
        EXPECT_NEAR(dp(l, "common"), 0.0, 1e-6) << filler;
        EXPECT_NEAR(dp(l, "one"), 1.0, 1e-6) << filler;
        EXPECT_NEAR(dp(l, "two"), 1.0, 1e-6) << filler;
    }
    {
        // "alpha end end", a word of 70,000 letters (no word at all), "end
        // beta gamma": 70,030 characters, tenths of 7,003; the first three
        // words are tenth 0, the last three (from character 70,015) tenth 9
        // (s = 1/2 each). "end" 2 and 1 of 3: DP = 1/2 (1/6 + 1/6) = 1/6,
        // DPnorm = (1/6) / (1/2) = 1/3.
        auto doc = MakeOne(QStringLiteral("alpha end end\n") + QString(70000, QLatin1Char('x'))
                           + QStringLiteral("\nend beta gamma\n"));
        ASSERT_TRUE(made);
        const TCVWordList& l = List(*doc);
        EXPECT_EQ(Freq(l, "end"), 3);
        EXPECT_EQ(doc->fStats->Row(1)->Data().TokensInText, 6);
        EXPECT_NEAR(dp(l, "end"), 1.0 / 3, 1e-6);
        EXPECT_NEAR(dp(l, "alpha"), 1.0, 1e-6);
        EXPECT_NEAR(dp(l, "gamma"), 1.0, 1e-6);
    }
}

TEST(WordlistTree, TypesFoundByHashAcrossGrowthAndLongWords)
{
    TWordlistTree tree;
    tree.BeginText(0);
    tree.BeginPart(0);
    std::vector<std::u16string> words;
    for (int k = 0; k < 5000; ++k)
        words.push_back(u"w" + std::u16string(std::size_t(k % 23), u'x') + std::u16string(1, char16_t(u'a' + k % 26))
                        + std::u16string(std::size_t(k / 26 % 7), u'y') + std::u16string(1, char16_t(0x400 + k)));
    for (int round = 0; round < 2; ++round)
        for (const auto& w : words) {
            const std::u16string p = Padded(w);
            const uint64_t h = HashWordlistKey(w.data(), int32_t(w.size()), 0);
            ASSERT_EQ(h, HashPaddedWordlistKey(p.data(), int32_t(w.size()), 0));
            uint32_t id = tree.FindType(p.data(), int32_t(w.size()), 0, h);
            if (round == 0) {
                ASSERT_EQ(id, TWordlistParentTree::kNoType);
                id = tree.AddType(p.data(), int32_t(w.size()), 0, h, false);
            }
            ASSERT_NE(id, TWordlistParentTree::kNoType);
            ASSERT_EQ(tree.Text(id), w);
            tree.CountToken(id, 0);
        }
    EXPECT_EQ(tree.Count(), 5000);
    for (uint32_t id = 0; id < 5000; ++id)
        EXPECT_EQ(tree.Type(id).freq, 2u);
    // The same spelling with another tag is another type; a stop type keeps its flag.
    const std::u16string p = Padded(words[0]);
    const uint64_t tagged = HashWordlistKey(words[0].data(), int32_t(words[0].size()), 3);
    EXPECT_EQ(tree.FindType(p.data(), int32_t(words[0].size()), 3, tagged), TWordlistParentTree::kNoType);
    const uint32_t stop = tree.AddType(p.data(), int32_t(words[0].size()), 3, tagged, true);
    EXPECT_TRUE(tree.Type(stop).Stop());
    EXPECT_EQ(tree.Type(stop).Tag(), 3);
    EXPECT_TRUE(tree.CountToken(stop, 0).stop);
    tree.EndPart(10000);
    const TWordlistTree::TSpread spread = tree.ComputeSpread();
    EXPECT_EQ(spread.dispersion.size(), 5001u);
    EXPECT_EQ(spread.dispersion[0], 0.0f); // one part
    EXPECT_EQ(spread.texts[0], 1);
    EXPECT_EQ(spread.texts[stop], 0);
}

} // namespace

TEST(WordlistTree, SpreadOfRecordsAcrossManyBlocks)
{
    // Enough types in two parts for the per-part records to run over
    // several of the tree's blocks, with long records (a count of 255 or
    // more) among them, one near the end. Each type's dispersion and text
    // count are checked against the plain formula over its two counts.
    constexpr uint32_t kTypes = 140000;
    TWordlistTree tree;
    std::vector<std::array<int64_t, 2>> counts(kTypes, {0, 0});
    auto count = [&](uint32_t id, int part, int times) {
        for (int k = 0; k < times; ++k)
            tree.CountToken(id, 0);
        counts[id][std::size_t(part)] += times;
    };
    tree.BeginText(0);
    tree.BeginPart(0);
    for (uint32_t k = 0; k < kTypes; ++k) {
        const std::u16string w = u"w" + std::u16string(QString::number(k).toStdU16String());
        const std::u16string p = Padded(w);
        ASSERT_EQ(tree.AddType(p.data(), int32_t(w.size()), 0, HashWordlistKey(w.data(), int32_t(w.size()), 0), false), k);
        count(k, 0, 1);
    }
    count(11, 0, 400);
    const int64_t partTokens = 1'000'000; // both parts alike: shares of one half
    tree.EndPart(partTokens);
    tree.EndText();
    tree.BeginText(1);
    tree.BeginPart(1);
    for (uint32_t k = 0; k < kTypes; ++k)
        if (k % 1000 != 0)
            count(k, 1, k == 5 || k == kTypes - 10 ? 300 : 1);
    tree.EndPart(partTokens);
    tree.EndText();

    const TWordlistTree::TSpread spread = tree.ComputeSpread();
    ASSERT_EQ(spread.dispersion.size(), std::size_t(kTypes));
    const std::array<double, 2> shares{0.5, 0.5};
    for (uint32_t k = 0; k < kTypes; ++k) {
        const double expected = NormalisedDeviationOfProportions(DeviationOfProportions(counts[k], shares), 0.5);
        ASSERT_NEAR(spread.dispersion[k], expected, 1e-5) << k;
        ASSERT_EQ(spread.texts[k], counts[k][1] > 0 ? 2 : 1) << k;
    }
    // What the plain formula gives, by hand, for a few of them.
    EXPECT_NEAR(spread.dispersion[1], 0.0, 1e-6);
    EXPECT_NEAR(spread.dispersion[1000], 1.0, 1e-6);
    EXPECT_NEAR(spread.dispersion[5], 299.0 / 301.0, 1e-5);
    EXPECT_NEAR(spread.dispersion[kTypes - 10], 299.0 / 301.0, 1e-5);
    EXPECT_NEAR(spread.dispersion[11], 400.0 / 402.0, 1e-5);
}
