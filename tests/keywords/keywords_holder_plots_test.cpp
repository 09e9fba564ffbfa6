// Dispersion plots of key words, end to end on texts made here: word lists
// made from the texts by the word-list job and saved, key words against a
// reference list, then the plots, checked against the places of the words
// counted by a routine of the test's own. Also the failures (missing or
// unreadable text, many texts, no positive key word, a busy list), batches,
// zipped texts and the links after the plots.

#include "kw_testutil.h"

#include "concordance/concordance_plots.h"
#include "model/chosen_files.h"
#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "suite/zip_archive.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <map>
#include <random>

using namespace cv;
using namespace kwtest;

namespace {

// Running-word numbers (from 1) of every word of the text, by the word in
// lower case: a word is a run of ASCII letters, anything else separates.
std::map<QString, std::vector<int32_t>> WordPlaces(const QString& text)
{
    std::map<QString, std::vector<int32_t>> places;
    int32_t n = 0;
    QString word;
    auto flush = [&] {
        if (!word.isEmpty())
            places[word.toLower()].push_back(++n);
        word.clear();
    };
    for (QChar c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            word += c;
        else
            flush();
    }
    flush();
    return places;
}

class KeyWordPlotsOfTexts : public KeyWordsTest {
protected:
    void SetUp() override
    {
        KeyWordsTest::SetUp();
        SetFastMinimalProcessing(current_tool_var, false);
    }

    // Sentences of common words with the study's own words strewn in; the
    // first word of each sentence capitalised, so the search must ignore case.
    static QString MakeText(std::mt19937& rng, int words, const std::vector<std::pair<QString, int>>& special)
    {
        static const char* const common[] = {"the", "of", "and", "to", "in", "was", "it", "that", "he", "for",
                                             "on", "are", "with", "as", "his", "they", "at", "be", "this", "from"};
        QStringList w;
        std::uniform_int_distribution<int> pick(0, int(std::size(common)) - 1);
        for (int i = 0; i < words; ++i)
            w << QString::fromLatin1(common[pick(rng)]);
        for (const auto& [word, count] : special) {
            std::uniform_int_distribution<int> at(0, int(w.size()) - 1);
            for (int i = 0; i < count; ++i)
                w[at(rng)] = word;
        }
        QString text;
        for (int i = 0; i < w.size(); ++i) {
            QString x = w[i];
            if (i % 9 == 0)
                x[0] = x[0].toUpper();
            text += x;
            text += i % 9 == 8 ? QStringLiteral(".\n") : (i % 5 == 4 ? QStringLiteral(", ") : QStringLiteral(" "));
        }
        return text;
    }

    // The word list of the texts (a file or "archive.zip"), made by the
    // word-list job and saved.
    QString WordListOf(const QStringList& texts, const QString& name)
    {
        TCVFileDetails files(true, {});
        for (const QString& t : texts)
            EXPECT_TRUE(files.ToolAddAFile(t)) << t.toStdString();
        T_WholeWordlistHolder words(kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(words.MakeWordlist(files, 0, converted, kListWordList));
        const QString file = dir.file(name);
        EXPECT_TRUE(words.SaveToFile(file));
        return file;
    }

    // A study text with four words of its own and a reference text without them.
    void MakeStudyAndReference()
    {
        std::mt19937 rng(7);
        studyText = MakeText(rng, 900, {{"zebra", 14}, {"quokka", 9}, {"lantern", 12}, {"ember", 8}});
        studyFile = dir.write(QStringLiteral("study.txt"), studyText.toUtf8());
        referenceFile = dir.write(QStringLiteral("reference.txt"), MakeText(rng, 6000, {{"lantern", 1}}).toUtf8());
        studyList = WordListOf({studyFile}, QStringLiteral("study.lst"));
        referenceList = WordListOf({referenceFile}, QStringLiteral("reference.lst"));
    }

    std::unique_ptr<T_WholeKeywordsHolder> NewDoc()
    {
        return std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, nullptr, nullptr, false, false);
    }

    TCVComputeResultRec Run(T_WholeKeywordsHolder& doc, const QString& study, uint8_t batchMode = 0)
    {
        TCVComputeResultRec r;
        doc.ComputeKWs({study}, referenceList, batchMode, false, 1, false, r);
        return r;
    }

    // Every plot row against the places of its word in the text.
    void ExpectRowsMatchTheText(const T_WholeKeywordsHolder& doc, const QString& text)
    {
        const auto places = WordPlaces(text);
        int32_t words = 0;
        for (const auto& [w, p] : places)
            words += int32_t(p.size());
        const TKWPlotList& plots = *doc.fPlots;
        EXPECT_EQ(plots.words_in_file, words);
        int32_t hits = 0, largest = 0;
        std::vector<int32_t> all;
        for (int i = 0; i < plots.Count(); ++i) {
            const TKWPlotEntry& e = plots.Entry(i);
            SCOPED_TRACE(e.w.toStdString());
            const auto it = places.find(e.w.toLower());
            ASSERT_NE(it, places.end());
            EXPECT_EQ(e.PlotPositions().Positions(), it->second) << "each hit at its word number";
            EXPECT_EQ(e.data.hits, int32_t(it->second.size()));
            EXPECT_EQ(e.data.words_in_file, words);
            EXPECT_EQ(e.data.wd_entry_number, i + 1);
            EXPECT_EQ(e.data.divisions, 8);
            EXPECT_FLOAT_EQ(e.data.dispersion, e.PlotPositions().ComputedDispersion());
            hits += e.data.hits;
            largest = std::max(largest, e.data.words_in_file);
            all.insert(all.end(), it->second.begin(), it->second.end());
        }
        const TKWPlotEntry& overall = *plots.OverallPlotEntry;
        EXPECT_TRUE(overall.data.IsOverallEntry);
        EXPECT_EQ(overall.w, CVOverall.toString());
        EXPECT_EQ(overall.data.hits, hits);
        EXPECT_EQ(overall.data.words_in_file, largest);
        std::sort(all.begin(), all.end());
        EXPECT_EQ(overall.PlotPositions().Positions(), all);
        EXPECT_EQ(overall.PlotPositions().Extent(), largest);
        EXPECT_FLOAT_EQ(overall.data.dispersion, overall.PlotPositions().ComputedDispersion());
    }

    QString studyText, studyFile, referenceFile, studyList, referenceList;
};

} // namespace

TEST_F(KeyWordPlotsOfTexts, EveryKeyWordIsPlacedAtItsWordNumbersInTheText)
{
    MakeStudyAndReference();
    // The user's concordance limits do not thin the plots out, and stay as they were.
    TConcSettingsRec32 c = GetConcSaveRec();
    c.SetEntriesWantedPerSw(3);
    c.SetLastWordGap(20);
    SetConcSaveRec(c);
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, studyList);
    ASSERT_TRUE(r.OK);
    EXPECT_EQ(GetConcSaveRec(), c);
    const TKeyWordList& kw = *doc->fKWList;
    ASSERT_GE(kw.Count(), 4);
    EXPECT_TRUE(kw.KWSettings.PlotsComputed());
    EXPECT_EQ(kw.KWSettings.SourceTextName(), studyFile);
    EXPECT_TRUE(dialogs.Requests().empty());

    // One row per positive key word, in the key-word list's order, keyness
    // and word taken from its entry.
    std::vector<int> positive;
    for (int i = 0; i < kw.Count(); ++i)
        if (!kw.Entry(i).fData.Negative)
            positive.push_back(i);
    ASSERT_EQ(doc->fPlots->Count(), int(positive.size()));
    for (int i = 0; i < doc->fPlots->Count(); ++i) {
        EXPECT_EQ(doc->fPlots->Entry(i).w.toLower(), kw.Entry(positive[std::size_t(i)]).fWord.toLower());
        EXPECT_FLOAT_EQ(doc->fPlots->Entry(i).data.plot_keyness, kw.Entry(positive[std::size_t(i)]).fData.Keyness);
    }
    ExpectRowsMatchTheText(*doc, studyText);
    EXPECT_TRUE(doc->fPlots->reliable_Kwlink_numbers);
    EXPECT_FALSE(doc->fPlots->sw_limit_reached);
    EXPECT_EQ(doc->fProcessTimes.size(), 2u) << "the plots step is timed";

    // Saved and read back, the plots keep their places.
    const QString kws = dir.file(QStringLiteral("study.kws"));
    ASSERT_TRUE(doc->SaveToFile(kws));
    auto back = NewDoc();
    ASSERT_TRUE(back->ReadWholeFromFile(kws));
    EXPECT_TRUE(back->fKWList->KWSettings.PlotsComputed());
    ExpectRowsMatchTheText(*back, studyText);

    // The second score can stand for the keyness.
    doc->fKWList->KWSettings.SetPlotKeynessFromSecondScore(true);
    ASSERT_TRUE(doc->ComputePlots());
    for (int i = 0; i < doc->fPlots->Count(); ++i)
        EXPECT_FLOAT_EQ(doc->fPlots->Entry(i).data.plot_keyness, kw.Entry(positive[std::size_t(i)]).fData.SecondScore);
}

TEST_F(KeyWordPlotsOfTexts, RequestedComputationsGiveThePlotsThenTheLinks)
{
    // Two key words always side by side, a third far from both.
    QStringList w = QStringLiteral("the of and to in was it that he for on are with as his they at be ").repeated(50).split(u' ', Qt::SkipEmptyParts);
    for (int i = 50; i < 650; i += 60) {
        w[i] = QStringLiteral("copper");
        w[i + 1] = QStringLiteral("kettle");
    }
    w[700] = w[710] = w[720] = QStringLiteral("walrus");
    studyText = w.join(u' ');
    studyFile = dir.write(QStringLiteral("links.txt"), studyText.toUtf8());
    std::mt19937 rng(3);
    referenceFile = dir.write(QStringLiteral("reference.txt"), MakeText(rng, 5000, {}).toUtf8());
    studyList = WordListOf({studyFile}, QStringLiteral("links.lst"));
    referenceList = WordListOf({referenceFile}, QStringLiteral("reference.lst"));

    auto doc = NewDoc();
    // The run computes no plots of its own here: the document is asked afterwards.
    doc->SetPlotsComputer({});
    ASSERT_TRUE(Run(*doc, studyList).OK);
    EXPECT_EQ(doc->fPlots->Count(), 0);
    doc->SetPlotsComputer([](T_WholeKeywordsHolder& d) { return d.ComputePlots(); });

    // Nothing while processing is minimal.
    SetFastMinimalProcessing(current_tool_var, true);
    EXPECT_FALSE(doc->RunRequestedComputations(true));
    EXPECT_EQ(doc->fPlots->Count(), 0);
    SetFastMinimalProcessing(current_tool_var, false);

    ASSERT_TRUE(doc->RunRequestedComputations(false));
    ExpectRowsMatchTheText(*doc, studyText);
    EXPECT_FALSE(doc->fKWList->KWSettings.LinksComputed());
    EXPECT_EQ(doc->fKWLinks->Count(), 0);

    ASSERT_TRUE(doc->RunRequestedComputations(true));
    EXPECT_TRUE(doc->fKWList->KWSettings.LinksComputed());
    bool pair = false;
    for (int i = 0; i < doc->fClusterList->Count(); ++i) {
        const auto& c = static_cast<const TKWLinkClusterEntry&>((*doc->fClusterList)[i]);
        if (c.data.cluster == QStringLiteral("copper kettle")) {
            pair = true;
            EXPECT_EQ(c.data.freq, 10);
        }
        EXPECT_FALSE(c.data.cluster.contains(QStringLiteral("walrus"))) << c.data.cluster.toStdString();
    }
    EXPECT_TRUE(pair);
}

TEST_F(KeyWordPlotsOfTexts, AMissingTextIsToldOnceAndTheKeyWordsStay)
{
    MakeStudyAndReference();
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, studyList).OK);
    const int keyWords = doc->fKWList->Count();
    ASSERT_GT(doc->fPlots->Count(), 0);
    ASSERT_TRUE(QFile::remove(studyFile));

    // The run's own plots step passes a missing text by in silence.
    auto again = NewDoc();
    ASSERT_TRUE(Run(*again, studyList).OK);
    EXPECT_EQ(again->fKWList->Count(), keyWords);
    EXPECT_FALSE(again->fKWList->KWSettings.PlotsComputed());
    EXPECT_TRUE(dialogs.Requests().empty());

    // Asked for, the plots say why there are none, once per document.
    EXPECT_FALSE(doc->RunRequestedComputations(true));
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QDir::toNativeSeparators(studyFile)));
    EXPECT_FALSE(doc->RunRequestedComputations(true));
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(doc->fKWList->Count(), keyWords);
    EXPECT_FALSE(doc->fKWList->KWSettings.PlotsComputed());
    EXPECT_FALSE(doc->fKWList->KWSettings.LinksComputed());

    // Without messages the failure is recorded instead.
    dialogs.Clear();
    Global_run_without_error_messages = true;
    EXPECT_FALSE(again->ComputePlots());
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(Global_FailureMessage, Format(CVCouldnTFindFileS, {studyFile}));
}

TEST_F(KeyWordPlotsOfTexts, AnUnreadableTextIsToldAndTheKeyWordsStay)
{
    MakeStudyAndReference();
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, studyList).OK);
    const int keyWords = doc->fKWList->Count();
    // The name now stands for a folder: it exists but cannot be read as a text.
    ASSERT_TRUE(QFile::remove(studyFile));
    ASSERT_TRUE(QDir().mkpath(studyFile));
    EXPECT_FALSE(doc->ComputePlots());
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("StoppedWhenProcessingX")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(studyFile));
    EXPECT_EQ(doc->fPlots->Count(), 0);
    EXPECT_EQ(doc->fKWList->Count(), keyWords);
    EXPECT_FALSE(doc->fKWList->KWSettings.PlotsComputed());
    EXPECT_EQ(doc->fPlots->ListBusy(), kListNotBusy);
}

TEST_F(KeyWordPlotsOfTexts, NothingIsPlottedWithoutOneTextOrPositiveKeyWords)
{
    MakeStudyAndReference();
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, studyList).OK);
    ASSERT_GT(doc->fPlots->Count(), 0);

    // Only negative key words: no search word, no plots.
    for (int i = 0; i < doc->fKWList->Count(); ++i)
        doc->fKWList->Entry(i).SetKeyness(-std::abs(doc->fKWList->Entry(i).fData.Keyness) - 1);
    EXPECT_FALSE(doc->ComputePlots());
    EXPECT_EQ(doc->fPlots->Count(), 0);
    EXPECT_FALSE(doc->fKWList->KWSettings.PlotsComputed());

    // A list of many texts has no one text to place them in.
    doc->fKWList->Entry(0).SetKeyness(50);
    doc->fKWList->KWSettings.SetMultiTextStudyList(true);
    EXPECT_FALSE(doc->ComputePlots());
    EXPECT_TRUE(dialogs.Requests().empty());
    doc->fKWList->KWSettings.SetMultiTextStudyList(false);

    // A busy list is left alone, and stays marked busy by its owner.
    ASSERT_TRUE(doc->ComputePlots());
    ASSERT_EQ(doc->fPlots->Count(), 1);
    doc->fPlots->SetListBusy(kListBusy);
    doc->fKWList->Entry(1).SetKeyness(50);
    EXPECT_FALSE(doc->ComputePlots());
    EXPECT_EQ(doc->fPlots->Count(), 1);
    EXPECT_EQ(doc->fPlots->ListBusy(), kListBusy);
    doc->fPlots->SetListBusy(kListNotBusy);

    // A stop asked for beforehand stops the plots and is not lost.
    global_panic_state = kPanicStopNow;
    EXPECT_FALSE(doc->ComputePlots());
    EXPECT_EQ(global_panic_state, kPanicStopNow);
}

TEST_F(KeyWordPlotsOfTexts, ABatchKeepsThePlotsInItsFilesAndSavesNoConcordance)
{
    MakeStudyAndReference();
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, studyList, 1);
    ASSERT_TRUE(r.OK);
    EXPECT_TRUE(dialogs.Requests().empty());
    const QDir batch(Global_BatchProcedures.BatchRootFolder);
    EXPECT_TRUE(batch.entryList({QStringLiteral("*.cnc")}).isEmpty());
    const QStringList saved = batch.entryList({QStringLiteral("*.kws")});
    ASSERT_EQ(saved.size(), 1);
    auto back = NewDoc();
    ASSERT_TRUE(back->ReadWholeFromFile(batch.filePath(saved.first())));
    EXPECT_GT(back->fPlots->Count(), 0);
    ExpectRowsMatchTheText(*back, studyText);

    // A batch whose text is gone says so once, as any run does; with
    // messages off it records why instead.
    ASSERT_TRUE(QFile::remove(studyFile));
    auto gone = NewDoc();
    ASSERT_TRUE(Run(*gone, studyList, 1).OK);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
    EXPECT_TRUE(gone->FailedToFindAText);
    EXPECT_FALSE(gone->ComputePlots());
    EXPECT_EQ(dialogs.Requests().size(), 1u) << "once per document";
    dialogs.Clear();
    Global_run_without_error_messages = true;
    auto quiet = NewDoc();
    ASSERT_TRUE(Run(*quiet, studyList, 1).OK);
    Global_run_without_error_messages = false;
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(Global_FailureMessage, Format(CVCouldnTFindFileS, {studyFile}));
}

TEST_F(KeyWordPlotsOfTexts, ATextInsideAZipArchiveIsReadFromItsEntry)
{
    MakeStudyAndReference();
    const QString archive = dir.file(QStringLiteral("texts.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(archive));
        ASSERT_TRUE(zip.AddFile(studyFile));
        zip.CloseArchive();
    }
    ASSERT_TRUE(QFile::remove(studyFile));
    studyList = WordListOf({archive}, QStringLiteral("zipped.lst"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, studyList).OK);
    EXPECT_TRUE(doc->fKWList->KWSettings.PlotsComputed());
    ASSERT_GT(doc->fPlots->Count(), 0);
    ExpectRowsMatchTheText(*doc, studyText);
}
