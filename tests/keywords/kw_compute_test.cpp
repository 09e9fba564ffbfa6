// Key words of one list against a reference: the statistics end to end, the
// thresholds, two-way comparisons, the merge of the two lists.

#include "kw_testutil.h"

#include "keywords/kw_compute.h"
#include "keywords/kw_excel.h"
#include "maths/statistics.h"
#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "wordlist/alphabetical_order.h"
#include "wordlist/keyword_list.h"

#include <cmath>

using namespace cv;
using namespace kwtest;

namespace {

// Log likelihood computed here on its own: the word's two observed cells
// against their expected values from the pooled relative frequency.
double HandG2(double a, double b, double c, double d)
{
    const double pooled = (a + b) / (c + d);
    double g = 0;
    if (a > 0)
        g += a * std::log(a / (c * pooled));
    if (b > 0)
        g += b * std::log(b / (d * pooled));
    return 2 * g;
}

// Pearson's chi-square of the 2x2 table from its expected cells.
double HandChiSquare(double a, double b, double c, double d, bool yates)
{
    const double n = c + d;
    const double obs[4] = {a, b, c - a, d - b};
    const double row[2] = {a + b, n - a - b};
    const double col[2] = {c, d};
    double x = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double e = row[i] * col[j] / n;
            double diff = std::abs(obs[2 * i + j] - e);
            if (yates)
                diff = std::max(0.0, diff - 0.5);
            x += diff * diff / e;
        }
    return x;
}

class KeyWordComputation : public KeyWordsTest {
protected:
    // Runs the one-list computation on two documents as the key-word run does.
    bool Compute(T_WholeWordlistHolder& study, T_WholeWordlistHolder& reference, bool twoWay = false,
                 bool presence = false, uint8_t batchMode = 0)
    {
        doc = std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, nullptr, nullptr, false, false);
        doc->fKWList->KWSettings = GetKeywordsSettings();
        ref = std::make_unique<TKWReferenceList>(*reference.WordlistOfType(kListWordList),
                                                 reference.ftextsettings.LanguageId());
        doc->fKWList->GetRunningWordsIntoSettings(ref->List(), &reference, 1);
        return ComputeKWsOfOneList(QStringLiteral("study.lst"), 1, *doc->fKWList, stop, textTotal, mismatches,
                                   [this](uint8_t force) { plotCalls.push_back(force); }, presence, twoWay,
                                   QDateTime::currentDateTime(), batchMode, study, *ref, nullptr, *doc);
    }
    const TKeyWordEntry* Find(const QString& word) const
    {
        const int i = IndexOf(*doc->fKWList, word);
        return i < 0 ? nullptr : &doc->fKWList->Entry(i);
    }

    std::unique_ptr<T_WholeKeywordsHolder> doc;
    std::unique_ptr<TKWReferenceList> ref;
    bool stop = false;
    int32_t textTotal = 0;
    int32_t mismatches = 0;
    std::vector<uint8_t> plotCalls;
};

} // namespace

TEST_F(KeyWordComputation, WorkedExampleEndToEndWithLogLikelihood)
{
    auto study = MakeDoc({{"target", 100}, {"the", 9900}});
    auto reference = MakeDoc({{"target", 50}, {"the", 99950}});
    ASSERT_TRUE(Compute(*study, *reference));
    ASSERT_EQ(doc->fKWList->Count(), 1) << "only the worked word is key at p 0.000001";
    const TKeyWordEntry* e = Find("target");
    ASSERT_NE(e, nullptr);
    // 298.156 by the published worked example and by the hand formula.
    EXPECT_NEAR(e->fData.Keyness, 298.156, 0.01);
    EXPECT_NEAR(e->fData.Keyness, HandG2(100, 50, 10000, 100000), 1e-3);
    EXPECT_NEAR(e->fData.SecondScore, std::log2(20.0), 1e-5);
    EXPECT_NEAR(e->fData.ThirdScore, 1900.0, 1e-2);
    // p = 8.31e-67: below what the record's float holds, so it is stored as 0.
    EXPECT_EQ(e->fData.P, 0.0f);
    EXPECT_NEAR(std::log10(ChiSquare1PValue(e->fData.Keyness)), std::log10(8.3092e-67), 1e-3);
    EXPECT_EQ(e->fData.Freq, 100);
    EXPECT_EQ(e->fData.RefFreq, 50);
    EXPECT_FLOAT_EQ(e->fData.Percent, 1.0f);
    EXPECT_FLOAT_EQ(e->fData.RefPercent, 0.05f);
    EXPECT_FALSE(e->fData.Negative);
    EXPECT_EQ(e->fData.WordNumber, 1);
    const TKeyWordsSettingsRec& k = doc->fKWList->KWSettings;
    EXPECT_EQ(k.StudyRunningWords(), 10000);
    EXPECT_EQ(k.ReferenceRunningWords(), 100000);
    EXPECT_EQ(k.MatchPercentage(), 100);
    EXPECT_DOUBLE_EQ(doc->fKWList->DiceCoefficient, 1.0);
    EXPECT_EQ(doc->fKWList->wds_considered_for_Dice, 2);
    EXPECT_EQ(textTotal, 1);
    EXPECT_EQ(k.SourceTextName(), QStringLiteral("/corpus/text.txt"));
    EXPECT_EQ(plotCalls, std::vector<uint8_t>{0});
}

TEST_F(KeyWordComputation, ChiSquareWithAndWithoutYatesAsTheSettingsChoose)
{
    auto study = MakeDoc({{"target", 100}, {"the", 9900}});
    auto reference = MakeDoc({{"target", 50}, {"the", 99950}});
    for (uint8_t statistic : {uint8_t(1), uint8_t(2)}) {
        Settings([&](TKeyWordsSettingsRec& k) { k.SetKeynessStatistic(statistic); });
        ASSERT_TRUE(Compute(*study, *reference));
        const TKeyWordEntry* e = Find("target");
        ASSERT_NE(e, nullptr);
        const double expected = HandChiSquare(100, 50, 10000, 100000, statistic == 1);
        EXPECT_NEAR(e->fData.Keyness, expected, expected * 1e-5) << int(statistic);
        EXPECT_NEAR(e->fData.Keyness, statistic == 1 ? 595.532 : 602.488, 0.01);
        EXPECT_NEAR(e->fData.P, ChiSquare1PValue(expected), 1e-30);
    }
}

TEST_F(KeyWordComputation, KeyWordsStandByKeynessDescendingNegativeOnesLast)
{
    Settings([](TKeyWordsSettingsRec& k) { k.SetMaxPValue(0.05f); });
    auto study = MakeDoc({{"alpha", 300}, {"beta", 100}, {"gamma", 5}, {"delta", 20}, {"filler", 9575}});
    auto reference = MakeDoc({{"alpha", 300}, {"beta", 500}, {"gamma", 2000}, {"delta", 1000}, {"filler", 96200}});
    ASSERT_TRUE(Compute(*study, *reference));
    const TKeyWordList& l = *doc->fKWList;
    ASSERT_GE(l.Count(), 3);
    bool seenNegative = false;
    for (int i = 0; i < l.Count(); ++i) {
        const TKeyWordRec& r = l.Entry(i).fData;
        EXPECT_EQ(r.Negative, r.Keyness < 0);
        EXPECT_EQ(r.WordNumber, i + 1);
        if (r.Negative) {
            seenNegative = true;
        } else {
            EXPECT_FALSE(seenNegative) << "positive after negative at " << i;
        }
        if (i > 0) {
            EXPECT_GE(l.Entry(i - 1).fData.Keyness, r.Keyness);
        }
    }
    EXPECT_TRUE(seenNegative);
    EXPECT_LT(Find("gamma")->fData.Keyness, Find("delta")->fData.Keyness);
    // The list's default sort keeps this order.
    TKeyWordList& list = *doc->fKWList;
    const QString first = list.Entry(0).fWord, last = list.Entry(list.Count() - 1).fWord;
    list.SetSortSettingsToDefault();
    list.CompleteResort();
    EXPECT_EQ(list.Entry(0).fWord, first);
    EXPECT_EQ(list.Entry(list.Count() - 1).fWord, last);
}

TEST_F(KeyWordComputation, MinimumFrequencyIsLoweredToTwoForShortStudyLists)
{
    Settings([](TKeyWordsSettingsRec& k) {
        k.SetMinFrequency(5);
        k.SetMaxPValue(0.5f);
    });
    // 2 occurrences in 500 words against none in a large reference: key only when the minimum drops to 2.
    auto shortStudy = MakeDoc({{"rare", 2}, {"common", 498}});
    auto reference = MakeDoc({{"common", 100000}});
    ASSERT_TRUE(Compute(*shortStudy, *reference));
    EXPECT_NE(Find("rare"), nullptr);
    auto longStudy = MakeDoc({{"rare", 2}, {"common", 998}});
    ASSERT_TRUE(Compute(*longStudy, *reference));
    EXPECT_EQ(Find("rare"), nullptr);
    EXPECT_EQ(ThresholdsFor(GetKeywordsSettings(), 599).minFrequency, 2);
    EXPECT_EQ(ThresholdsFor(GetKeywordsSettings(), 600).minFrequency, 5);
}

TEST_F(KeyWordComputation, TwoWayAlsoFindsReferenceWordsAbsentFromTheStudyList)
{
    Settings([](TKeyWordsSettingsRec& k) { k.SetMaxPValue(0.001f); });
    auto study = MakeDoc({{"the", 10000}});
    auto reference = MakeDoc({{"the", 50000}, {"missing", 40000}, {"scarce", 3}, {"other", 9997}});
    ASSERT_TRUE(Compute(*study, *reference, false));
    EXPECT_EQ(Find("missing"), nullptr);
    ASSERT_TRUE(Compute(*study, *reference, true));
    const TKeyWordEntry* m = Find("missing");
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->fData.Negative);
    EXPECT_EQ(m->fData.Freq, 0);
    EXPECT_EQ(m->fData.RefFreq, 40000);
    EXPECT_NEAR(m->fData.Keyness, -HandG2(0, 40000, 10000, 100000), 0.05);
    // Too rare in the reference to be key, even two-way.
    EXPECT_EQ(Find("scarce"), nullptr);
    EXPECT_TRUE(doc->fKWList->KWSettings.TwoWay());
    // The match and Dice figures are the study list's.
    EXPECT_EQ(doc->fKWList->KWSettings.MatchPercentage(), 100);
    EXPECT_NEAR(doc->fKWList->DiceCoefficient, 2.0 * 1 / (1 + 4), 1e-12);
}

TEST_F(KeyWordComputation, TextPresenceRuleLeavesOutPositiveKeyWordsOfFewTexts)
{
    Settings([](TKeyWordsSettingsRec& k) {
        k.SetTextPresencePercent(50.0f);
        k.SetMaxPValue(0.01f);
    });
    auto study = MakeDoc({{"spread", 200}, {"lumpy", 200}, {"filler", 9600}}, 0, kEnglishUK, 4);
    TCVWordList& l = *study->WordlistOfType(kListWordList);
    l.Entry(l.FindWordAndTag("spread", QString())).fData.Texts = 3;
    l.Entry(l.FindWordAndTag("lumpy", QString())).fData.Texts = 1;
    auto reference = MakeDoc({{"spread", 100}, {"lumpy", 100}, {"filler", 99800}});
    ASSERT_TRUE(Compute(*study, *reference, false, false));
    EXPECT_NE(Find("lumpy"), nullptr);
    ASSERT_TRUE(Compute(*study, *reference, false, true));
    EXPECT_NE(Find("spread"), nullptr);
    EXPECT_EQ(Find("lumpy"), nullptr);
    EXPECT_NEAR(doc->fKWList->fPercentIgnoredForConsistency, 100.0 / 3, 1e-9) << "one of three";
    EXPECT_TRUE(doc->fKWList->KWSettings.MultiTextStudyList());
    EXPECT_EQ(textTotal, 8);
    EXPECT_EQ(doc->fKWList->KWSettings.SourceTextName(), QStringLiteral("/corpus/text1") + QString(CVEtc));
}

TEST_F(KeyWordComputation, DifferentPrimaryLanguagesAreRefusedSameLanguageVarietiesAreNot)
{
    auto reference = MakeDoc({{"the", 1000}, {"word", 10}});
    auto french = MakeDoc({{"le", 1000}}, 0, kFrench);
    EXPECT_FALSE(Compute(*french, *reference));
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("CantComputeKWSIfDifferentLanguages")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("study.lst")));
    EXPECT_EQ(textTotal, 0);

    dialogs.Clear();
    Global_run_without_error_messages = true;
    EXPECT_FALSE(Compute(*french, *reference));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(Global_FailureMessage, Format(CVCannotComputeXIfLangsDiffer, {CVKeywords}));
    EXPECT_TRUE(doc->fNotes.join(QLatin1Char('\n')).contains(Global_FailureMessage));

    Global_run_without_error_messages = false;
    auto american = MakeDoc({{"the", 1000}, {"word", 10}}, 0, kEnglishUS);
    EXPECT_TRUE(Compute(*american, *reference));
}

TEST_F(KeyWordComputation, ShortStudyListsNeverCountAsAMismatch)
{
    auto reference = MakeDoc({{"the", 100000}, {"and", 50000}});
    // 99 running words spread like the reference: no key words, but too short to blame the reference.
    auto tiny = MakeDoc({{"the", 66}, {"and", 33}});
    ASSERT_TRUE(Compute(*tiny, *reference));
    EXPECT_EQ(doc->fKWList->Count(), 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(plotCalls.empty()) << "no key words, no plots";

    // 100 running words: a mismatch; the user's Yes stops the run.
    auto hundred = MakeDoc({{"the", 67}, {"and", 33}});
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    EXPECT_FALSE(Compute(*hundred, *reference));
    EXPECT_EQ(mismatches, 1);
    EXPECT_TRUE(stop);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("RefCorpusAndKWMismatch")});
}

TEST_F(KeyWordComputation, MaximumNumberOfKeyWordsKeepsTheMostKey)
{
    Settings([](TKeyWordsSettingsRec& k) {
        k.SetMaxKeyWordsWanted(2);
        k.SetMaxPValue(0.05f);
    });
    auto study = MakeDoc({{"a", 400}, {"b", 300}, {"c", 200}, {"filler", 9100}});
    auto reference = MakeDoc({{"a", 100}, {"b", 100}, {"c", 100}, {"filler", 99700}});
    ASSERT_TRUE(Compute(*study, *reference));
    ASSERT_EQ(doc->fKWList->Count(), 2);
    EXPECT_EQ(doc->fKWList->Entry(0).fWord, QStringLiteral("a"));
    EXPECT_EQ(doc->fKWList->Entry(1).fWord, QStringLiteral("b"));
    EXPECT_GE(doc->fKWList->n_actually_obtained, 3);
}

TEST_F(KeyWordComputation, BatchListsAreSavedIntoTheBatchFolderAndCleared)
{
    auto study = MakeDoc({{"target", 100}, {"the", 9900}});
    auto reference = MakeDoc({{"target", 50}, {"the", 99950}});
    ASSERT_TRUE(Compute(*study, *reference, false, false, 1));
    EXPECT_EQ(plotCalls, std::vector<uint8_t>{1});
    EXPECT_EQ(doc->fKWList->Count(), 0);
    EXPECT_EQ(doc->fKWList->fKWStats->Count(), 0);
    ASSERT_EQ(Global_BatchProcedures.BatchTempFileNames.size(), 1);
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(Global_BatchProcedures.BatchTempFileNames.first()));
    ASSERT_EQ(back.fKWList->Count(), 1);
    EXPECT_EQ(back.fKWList->Entry(0).fWord, QStringLiteral("target"));
}

// ---------------------------------------------------------------------------
// The merge of the two lists

TEST_F(KeyWordsTest, MergeFindsEveryCommonWordWhateverTheRoadOfItsComparison)
{
    // Words of the rank-table road, words for the collator (capitals,
    // accents, other scripts), the same word with two tags, and deleted entries.
    const TWords studyWords = {{"apple", 5}, {"Apple", 3}, {"café", 4}, {"cafe", 2}, {"zebra", 1}, {"éclair", 2},
                               {"a-b", 1},   {"a'b", 1},   {"ab", 1},   {"日本", 2}, {"x1", 1},   {"only-study", 7}};
    const TWords refWords = {{"zebra", 10}, {"café", 3},   {"Apple", 1}, {"apple", 9}, {"ab", 2},  {"a'b", 4},
                             {"日本", 1},   {"éclair", 6}, {"x1", 8},    {"a-b", 2},   {"only-ref", 3}};
    auto study = MakeDoc(studyWords);
    auto reference = MakeDoc(refWords);
    TCVWordList& s = *study->WordlistOfType(kListWordList);
    const TKWReferenceList ref(*reference->WordlistOfType(kListWordList), kEnglishUK);
    bool sorted = false;
    const auto words = ref.Order().Words(s, &sorted);
    EXPECT_TRUE(sorted) << "the study list stands in the collation's order";
    // Every word found or not found exactly as a plain look-up finds it.
    TKeyWordList kw(nullptr, kListKeyWords, 0);
    kw.KWSettings.SetMaxPValue(1.0f);
    kw.KWSettings.SetMinFrequency(1);
    const TKWComparisonFigures fig = CompareWithReference(s, ref, kw, {false, false});
    int64_t common = 0;
    for (const auto& [w, f] : studyWords)
        for (const auto& [r, g] : refWords)
            common += w == r ? 1 : 0;
    EXPECT_EQ(fig.commonTypes, common);
    EXPECT_EQ(fig.studyTypes, int64_t(studyWords.size()));
    for (int i = 0; i < kw.Count(); ++i) {
        int64_t refFreq = 0;
        for (const auto& [r, g] : refWords)
            if (r == kw.Entry(i).fWord)
                refFreq = g;
        EXPECT_EQ(kw.Entry(i).fData.RefFreq, refFreq) << kw.Entry(i).fWord.toStdString();
    }
    // Order of the merge: each word against its neighbour, as the collator says.
    const QCollator coll = MakeWordCollator(QStringLiteral("en_GB"));
    for (std::size_t k = 1; k < words.size(); ++k) {
        const int merge = ref.Order().Compare(words[k - 1], words[k]);
        const int collator = coll.compare(QStringView(words[k - 1].chars, words[k - 1].length),
                                          QStringView(words[k].chars, words[k].length));
        EXPECT_EQ(merge < 0, collator < 0) << k;
    }
}

TEST_F(KeyWordsTest, UnsortedAndDeletedEntriesAreHandled)
{
    auto study = MakeDoc({{"delta", 50}, {"alpha", 60}, {"charlie", 70}, {"bravo", 5}});
    auto reference = MakeDoc({{"alpha", 1}, {"bravo", 1000}, {"charlie", 1}, {"delta", 1}, {"echo", 9000}});
    TCVWordList& s = *study->WordlistOfType(kListWordList);
    // Sort the study list by frequency: not alphabetical any more.
    s.Set1Sort(0, TCVWordList::kSortFrequency);
    s.CompleteResort();
    EXPECT_TRUE(EnsureAlphabeticalForKeyWords(kEnglishUK, s));
    EXPECT_EQ(s.Entry(0).fWord, QStringLiteral("alpha"));
    EXPECT_FALSE(EnsureAlphabeticalForKeyWords(kEnglishUK, s));

    s.SetDeleted(s.FindWordAndTag("charlie", QString()), true, false);
    const TKWReferenceList ref(*reference->WordlistOfType(kListWordList), kEnglishUK);
    TKeyWordList kw(nullptr, kListKeyWords, 0);
    kw.KWSettings.SetMaxPValue(0.01f);
    const TKWComparisonFigures fig = CompareWithReference(s, ref, kw, {false, false});
    EXPECT_EQ(fig.studyTypes, 3);
    EXPECT_EQ(IndexOf(kw, "charlie"), -1);
    EXPECT_NE(IndexOf(kw, "alpha"), -1);
    EXPECT_NE(IndexOf(kw, "delta"), -1);
}

TEST_F(KeyWordsTest, SpreadsheetTreeCountsFrequenciesAndListsPerWord)
{
    TStringListWith2LongintRec lines;
    TKWExcelTree tree(lines, QStringLiteral("en_GB"));
    for (const auto& words : {std::vector<std::pair<const char*, int>>{{"beta", 3}, {"alpha", 10}},
                              std::vector<std::pair<const char*, int>>{{"beta", 4}, {"Gamma", 1}}}) {
        TKeyWordList kw(nullptr, kListKeyWords, 0);
        for (const auto& [w, f] : words) {
            auto e = std::make_unique<TKeyWordEntry>(&kw);
            e->fWord = QString::fromUtf8(w);
            e->fData.Freq = f;
            kw.Add(std::move(e));
        }
        tree.AddKeyWords(kw);
    }
    tree.Do_In_Order_Freq();
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines.Line(0).text, QStringLiteral("alpha"));
    EXPECT_EQ(lines.Line(1).text, QStringLiteral("beta"));
    EXPECT_EQ(lines.Line(1).first, 7);
    EXPECT_EQ(lines.Line(1).second, 2);
    EXPECT_EQ(lines.Line(2).text, QStringLiteral("Gamma"));
    lines.SortOnFreq();
    EXPECT_EQ(lines.Line(0).text, QStringLiteral("alpha"));
    EXPECT_EQ(lines.Line(1).text, QStringLiteral("beta"));
    EXPECT_EQ(lines.Line(2).first, 1);
}
