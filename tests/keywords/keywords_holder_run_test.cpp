// The key-word run of the key-word document: one list and batches, lists in
// zip archives, the reference list's failures, warnings, cancel, the
// spreadsheet summary, the plots step, and the word-list document's comparison.

#include "kw_testutil.h"

#include "model/check_signature.h"

#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"
#include "support/failing_allocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace cv;
using namespace kwtest;

namespace {

class KeyWordRun : public KeyWordsTest {
protected:
    std::unique_ptr<T_WholeKeywordsHolder> NewDoc()
    {
        return std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, nullptr, nullptr, false, false);
    }
    TCVComputeResultRec Run(T_WholeKeywordsHolder& doc, const QStringList& study, const QString& reference,
                            uint8_t batchMode = 0, bool twoWay = false)
    {
        TCVComputeResultRec r;
        doc.ComputeKWs(study, reference, batchMode, twoWay, 1, false, r);
        return r;
    }
    // Study lists that differ: "target" grows from list to list.
    QStringList BatchOfStudyLists(int n)
    {
        QStringList files;
        for (int i = 0; i < n; ++i)
            files << SaveList(QStringLiteral("study%1.lst").arg(i), {{"target", 100 + 10 * i}, {"the", 9900}});
        return files;
    }
    QString Zip(const QString& name, const QStringList& files)
    {
        const QString zipName = dir.file(name);
        TZipArchive zip;
        EXPECT_TRUE(zip.CreateArchive(zipName));
        for (const QString& f : files)
            EXPECT_TRUE(zip.AddFile(f));
        zip.CloseArchive();
        return zipName;
    }
};

} // namespace

TEST_F(KeyWordRun, OneListInteractively)
{
    auto doc = NewDoc();
    const QString study = WorkedStudy(), reference = WorkedReference();
    const TCVComputeResultRec r = Run(*doc, {study}, reference);
    cvtest::ShortageToHere();
    EXPECT_TRUE(r.OK);
    EXPECT_FALSE(r.NothingFound || r.Suspended || r.TooFewTexts || r.ZipFailure);
    ASSERT_EQ(doc->fKWList->Count(), 1);
    EXPECT_EQ(doc->fKWList->Entry(0).fWord, QStringLiteral("target"));
    EXPECT_EQ(doc->ListsRead(), 1);
    EXPECT_EQ(doc->ListsDone(), 1);
    EXPECT_EQ(doc->MainFile.Mark, 1);
    const TKeyWordsSettingsRec& k = doc->fKWList->KWSettings;
    EXPECT_EQ(k.StudyListNames(), study);
    EXPECT_EQ(k.ReferenceListName(), reference);
    EXPECT_EQ(k.ReferenceRunningWords(), 100000);
    const QString notes = doc->fNotes.join(QLatin1Char('\n'));
    EXPECT_TRUE(notes.contains(Format(CVBasedOnNmanyFiles, {1}))) << notes.toStdString();
    EXPECT_TRUE(notes.contains(QStringLiteral("Dice coefficient")));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_FALSE(Global_Busy_Dont_Show_Data);

    // A document whose list was taken away makes itself a new one.
    std::unique_ptr<TKeyWordList> taken = doc->SetKWsToNil();
    ASSERT_TRUE(taken);
    EXPECT_TRUE(Run(*doc, {study}, reference).OK);
    EXPECT_EQ(doc->fKWList->Count(), 1);
    EXPECT_EQ(taken->Count(), 1);
}

TEST_F(KeyWordRun, MissingListsGiveTooFewTextsAndLeaveTheDocumentAlone)
{
    auto doc = NewDoc();
    const QString reference = WorkedReference();
    EXPECT_TRUE(Run(*doc, {}, reference).TooFewTexts);
    EXPECT_TRUE(Run(*doc, {dir.file(QStringLiteral("absent.lst"))}, reference).TooFewTexts);
    EXPECT_TRUE(dialogs.Requests().empty());
    // A reference list that is not there does nothing else either: the result says it.
    const TCVComputeResultRec r = Run(*doc, {WorkedStudy()}, dir.file(QStringLiteral("noref.lst")));
    EXPECT_TRUE(r.TooFewTexts);
    EXPECT_FALSE(r.OK);
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(doc->fKWList->Count(), 0);
    // With messages off, the failure message names it, as when it cannot be read.
    Global_run_without_error_messages = true;
    EXPECT_TRUE(Run(*doc, {WorkedStudy()}, dir.file(QStringLiteral("noref.lst"))).TooFewTexts);
    EXPECT_TRUE(Global_FailureMessage.contains(QStringLiteral("noref.lst"))) << Global_FailureMessage.toStdString();
    EXPECT_TRUE(Global_FailureMessage.contains(QStringLiteral("no such file")));
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(KeyWordRun, TheRunSetsItsListsHeadingsAndTheKeyWordColumnsOnce)
{
    auto doc = NewDoc();
    QStringList renamed = doc->fKWList->GridHeadings();
    renamed[TKeyWordList::kColFreq] = QStringLiteral("study.lst");
    doc->fKWList->SetGridHeadings(renamed);
    for (TCVBaseDataClass* l : std::initializer_list<TCVBaseDataClass*>{doc->fPlots.get(), doc->fKWLinks.get(), doc->fClusterList.get()}) {
        QStringList h = l->GridHeadings();
        h[1] = QStringLiteral("renamed");
        l->SetGridHeadings(h);
    }
    SetPrinterPrefs({500, 96});
    SetDefaultColumnVisibility(kListKeyWords, ~(1u << TKeyWordList::kColTexts));
    ASSERT_TRUE(Run(*doc, {WorkedStudy()}, WorkedReference()).OK);
    EXPECT_EQ(doc->fKWList->Heading(TKeyWordList::kColFreq), StandardGridHeaderArray(kListKeyWords).value(TKeyWordList::kColFreq));
    EXPECT_EQ(doc->fPlots->GridHeadings().mid(0, 2), TKWPlotList::DefaultHeadings().mid(0, 2));
    EXPECT_EQ(doc->fKWLinks->Heading(1), TKWLinkList::DefaultHeadings().value(1));
    EXPECT_EQ(doc->fClusterList->Heading(1), TKWClusterList::DefaultHeadings().value(1));
    EXPECT_EQ(doc->fKWList->ColumnCount(), renamed.size()) << "the set column stays";
    // The word column as wide as the printer preferences say (50 mm at 96 dpi), the texts column hidden.
    EXPECT_EQ(doc->fKWList->ColumnPixelWidth(TKeyWordList::kColWord), 189);
    EXPECT_FALSE(doc->fKWList->ColumnVisible(TKeyWordList::kColTexts));
    EXPECT_TRUE(doc->fKWList->ColumnVisible(TKeyWordList::kColKeyness));
    // Once sized, the list keeps its layout on the next run.
    SetPrinterPrefs({100, 96});
    SetDefaultColumnVisibility(kListKeyWords, 0xFFFFFFFFu);
    ASSERT_TRUE(Run(*doc, {WorkedStudy()}, WorkedReference()).OK);
    EXPECT_EQ(doc->fKWList->ColumnPixelWidth(TKeyWordList::kColWord), 189);
    EXPECT_FALSE(doc->fKWList->ColumnVisible(TKeyWordList::kColTexts));
}

TEST_F(KeyWordRun, AScriptHearsOfEveryStudyList)
{
    auto doc = NewDoc();
    doc->fRunsScript = true;
    TProgressParamsRec before = GetProgressParams();
    before.SetThisPercent(-1);
    SetProgressParams(before);
    const QStringList lists = BatchOfStudyLists(4);
    ASSERT_TRUE(Run(*doc, lists, WorkedReference()).OK);
    // Before each list the lists read so far out of all: the last report is 3 of 4.
    EXPECT_EQ(GetProgressParams().ThisPercent(), 75);
    EXPECT_EQ(GetProgressParams().Tool(), current_tool_var);
}

TEST_F(KeyWordRun, UnusableReferenceListsAreReportedClearly)
{
    const QString study = WorkedStudy();
    // A key-word file, a text file, an empty word list, a word list cut short.
    auto kws = NewDoc();
    const QString kwsFile = dir.file(QStringLiteral("ref.kws"));
    ASSERT_TRUE(kws->SaveToFile(kwsFile));
    const QString textFile = dir.write(QStringLiteral("ref.txt"), QByteArray("just a text, no word list\n"));
    const QString emptyFile = SaveList(QStringLiteral("empty.lst"), {});
    const QByteArray good = cvtest::readAll(WorkedReference());
    const QString cutFile = dir.write(QStringLiteral("cut.lst"), good.left(good.size() * 2 / 3));

    struct TCase {
        QString file;
        QString routine;
        QString reason;
    };
    const TCase cases[] = {{kwsFile, QStringLiteral("NotAValidCVFile"), QStringLiteral("not a word list")},
                           {textFile, QStringLiteral("NotAValidCVFile"), QStringLiteral("not a saved word list")},
                           {emptyFile, QStringLiteral("FailedToRead"), QStringLiteral("holds no words")},
                           {cutFile, QStringLiteral("FailedToRead"), QStringLiteral("cut short")}};
    for (const TCase& c : cases) {
        dialogs.Clear();
        auto doc = NewDoc();
        const TCVComputeResultRec r = Run(*doc, {study}, c.file);
        EXPECT_FALSE(r.OK) << c.file.toStdString();
        EXPECT_FALSE(r.TooFewTexts);
        ASSERT_EQ(dialogs.Routines(), QStringList{c.routine}) << c.file.toStdString();
        EXPECT_TRUE(dialogs.Requests().back().text.contains(c.file));
        EXPECT_TRUE(dialogs.Requests().back().text.contains(c.reason)) << dialogs.Requests().back().text.toStdString();
        EXPECT_EQ(doc->fKWList->Count(), 0);
        EXPECT_FALSE(Global_Busy_Dont_Show_Data);
    }
    // Without messages the failure is recorded instead.
    dialogs.Clear();
    Global_run_without_error_messages = true;
    auto doc = NewDoc();
    EXPECT_FALSE(Run(*doc, {study}, cutFile).OK);
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(Global_FailureMessage.startsWith(Format(CVFailedToReadX, {cutFile})));
}

TEST_F(KeyWordRun, RunningShortOfMemoryStopsTheRunWithAMessage)
{
    const QString study = WorkedStudy(), reference = WorkedReference();
    auto job = [&](QString& message) {
        Global_run_without_error_messages = true;
        Global_FailureMessage.clear();
        auto doc = NewDoc();
        cvtest::ShortageFromHere();
        const TCVComputeResultRec r = Run(*doc, {study}, reference);
        message = Global_FailureMessage;
        return r.OK && doc->fKWList->Count() == 1;
    };
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(job));
}

TEST_F(KeyWordRun, StudyListsThatDoNotReadAreSkipped)
{
    auto doc = NewDoc();
    const QString bad = dir.write(QStringLiteral("bad.lst"), QByteArray("nothing of ours"));
    const TCVComputeResultRec r = Run(*doc, {WorkedStudy(), bad, dir.file(QStringLiteral("gone.lst"))}, WorkedReference());
    EXPECT_TRUE(r.OK);
    EXPECT_EQ(doc->ListsRead(), 1);
    EXPECT_EQ(doc->ListsDone(), 1);
}

TEST_F(KeyWordRun, EachStudyListThatCannotBeUsedIsNamedWithItsReason)
{
    const QByteArray good = cvtest::readAll(WorkedStudy());
    QByteArray flipped = good;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x10);
    // A file of a corpus index: the signature of the index's kind, then its part.
    TCheckSignature sig;
    sig.SetForSaving(kListIndexWordList, 1, ListTypeSignature(kListIndexWordList));
    TMemoryStream index;
    ASSERT_TRUE(sig.SaveToStream(index) && index.WriteExact("TOKN", 4) && index.WriteU64(7));
    struct TCase {
        QString file;
        QString reason;
    };
    const TCase cases[] = {
        {dir.write(QStringLiteral("flipped.lst"), flipped), QStringLiteral("damaged")},
        {dir.write(QStringLiteral("cut.lst"), good.left(good.size() - 20)), QStringLiteral("cut short")},
        {dir.write(QStringLiteral("plain.txt"), QByteArray("a text, no list\n")), QStringLiteral("not a saved word list")},
        {dir.write(QStringLiteral("corpus.tokens"), cvtest::toBytes(index.Bytes())), QStringLiteral("corpus index")},
        {dir.path(), QStringLiteral("folder")},
        {dir.file(QStringLiteral("gone.lst")), QStringLiteral("no such file")},
    };
    QStringList lists{WorkedStudy()};
    for (const TCase& c : cases)
        lists << c.file;
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, lists, WorkedReference());
    EXPECT_TRUE(r.OK);
    EXPECT_EQ(doc->ListsDone(), 1);
    const QStringList& unusable = doc->UnusableStudyLists();
    ASSERT_EQ(unusable.size(), qsizetype(std::size(cases)));
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_TRUE(unusable[qsizetype(k)].startsWith(QDir::toNativeSeparators(cases[k].file))) << qPrintable(unusable[qsizetype(k)]);
        EXPECT_TRUE(unusable[qsizetype(k)].contains(cases[k].reason)) << qPrintable(unusable[qsizetype(k)]);
    }
    // The user is told of them all at once.
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToRead")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("flipped.lst")));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("corpus.tokens")));

    // When not one study list could be used, the run failed.
    dialogs.Clear();
    auto none = NewDoc();
    const TCVComputeResultRec failed = Run(*none, {cases[0].file, cases[2].file}, WorkedReference());
    EXPECT_FALSE(failed.OK);
    EXPECT_EQ(none->UnusableStudyLists().size(), 2);
    EXPECT_EQ(none->fKWList->Count(), 0);
}

TEST_F(KeyWordRun, LowMatchPercentageWarnsOnlyBelowHalfAndOnlyOneWay)
{
    // Study types w0..w99; the reference holds the first `found` of them.
    auto lists = [&](int found) {
        TWords study, reference{{"filler", 100000}};
        for (int i = 0; i < 100; ++i) {
            study.push_back({QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0')), 20});
            if (i < found)
                reference.push_back({QStringLiteral("w%1").arg(i, 3, 10, QLatin1Char('0')), 1});
        }
        return std::make_pair(SaveList(QStringLiteral("s%1.lst").arg(found), study),
                              SaveList(QStringLiteral("r%1.lst").arg(found), reference));
    };
    const auto [s50, r50] = lists(50);
    auto doc = NewDoc();
    EXPECT_TRUE(Run(*doc, {s50}, r50).OK);
    EXPECT_EQ(doc->fKWList->KWSettings.MatchPercentage(), 50);
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("KeyWordsFoundLessThanNPercentMatches")));

    const auto [s49, r49] = lists(49);
    EXPECT_TRUE(Run(*doc, {s49}, r49).OK);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("KeyWordsFoundLessThanNPercentMatches")));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("49%")));

    dialogs.Clear();
    EXPECT_TRUE(Run(*doc, {s49}, r49, 0, true).OK);
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(KeyWordRun, BatchSavesOneFilePerListZipsThemAndWritesTheSpreadsheet)
{
    Global_BatchProcedures.Zip_Too = true;
    Global_BatchProcedures.ZipShortFilename = QStringLiteral("keywords.zip");
    auto doc = NewDoc();
    doc->ResultsToExcelFilename = dir.file(QStringLiteral("summary.xlsx"));
    const QStringList studies = BatchOfStudyLists(3);
    const TCVComputeResultRec r = Run(*doc, studies, WorkedReference(), 1);
    EXPECT_TRUE(r.OK);
    EXPECT_EQ(doc->ListsDone(), 3);
    EXPECT_EQ(doc->fKWList->Count(), 0) << "batch lists are cleared once saved";
    // No warnings in batches; the lists' source texts are not there, which
    // the plots say once for the document.
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")}) << "no warnings in batches";
    EXPECT_FALSE(Global_batch_mode) << "the batch mark goes back after the run";
    EXPECT_EQ(QDir(Global_BatchProcedures.BatchRootFolder).entryList({QStringLiteral("*.kws")}).size(), 3);

    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(QDir(Global_BatchProcedures.BatchRootFolder).filePath(QStringLiteral("keywords.zip"))));
    EXPECT_EQ(zip.FileCount(), 3);
    TMemoryStream entry;
    ASSERT_TRUE(zip.ExtractToStream(0, entry));
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromStream(entry));
    ASSERT_EQ(back.fKWList->Count(), 1);
    EXPECT_EQ(back.fKWList->Entry(0).fWord, QStringLiteral("target"));

    // The summary: three named sheets, the word with its frequency over the batch and three lists.
    TZipArchive xlsx;
    ASSERT_TRUE(xlsx.OpenArchive(doc->ResultsToExcelFilename)) << xlsx.ErrorString().toStdString();
    for (const char* sheet : {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/worksheets/sheet3.xml"})
        EXPECT_GE(xlsx.IndexOf(QString::fromLatin1(sheet)), 0) << sheet;
    TMemoryStream workbook, strings, sheet1;
    ASSERT_TRUE(xlsx.ExtractToStream(QStringLiteral("xl/workbook.xml"), workbook));
    const QByteArray wb(reinterpret_cast<const char*>(workbook.Memory()), qsizetype(workbook.Size()));
    EXPECT_TRUE(wb.contains("name=\"Frequency\"") && wb.contains("name=\"Alphabetical\"") && wb.contains("name=\"Details\""));
    ASSERT_TRUE(xlsx.ExtractToStream(QStringLiteral("xl/sharedStrings.xml"), strings));
    const QByteArray ss(reinterpret_cast<const char*>(strings.Memory()), qsizetype(strings.Size()));
    EXPECT_TRUE(ss.contains("SORT: FREQUENCY"));
    EXPECT_TRUE(ss.contains("target"));
    ASSERT_TRUE(xlsx.ExtractToStream(QStringLiteral("xl/worksheets/sheet1.xml"), sheet1));
    const QByteArray s1(reinterpret_cast<const char*>(sheet1.Memory()), qsizetype(sheet1.Size()));
    EXPECT_TRUE(s1.contains("<v>330</v>")) << "100 + 110 + 120";
    EXPECT_TRUE(s1.contains("<v>3</v>"));
    EXPECT_EQ(doc->ExcelDetailRows(), 3);
}

TEST_F(KeyWordRun, ListsInsideZipArchivesAndOneBatchZipPerArchive)
{
    Global_BatchProcedures.Zip_Too = true;
    const QStringList first = BatchOfStudyLists(2);
    const QString archiveA = Zip(QStringLiteral("groupA.zip"), first);
    const QString archiveB =
        Zip(QStringLiteral("groupB.zip"), {SaveList(QStringLiteral("other.lst"), {{"target", 300}, {"the", 9700}})});
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, {archiveA, archiveB}, WorkedReference(), 2);
    EXPECT_TRUE(r.OK);
    EXPECT_EQ(doc->ListsRead(), 3);
    EXPECT_EQ(doc->ListsDone(), 3);
    const QDir root(Global_BatchProcedures.BatchRootFolder);
    TZipArchive a, b;
    ASSERT_TRUE(a.OpenArchive(root.filePath(QStringLiteral("groupA.zip"))));
    ASSERT_TRUE(b.OpenArchive(root.filePath(QStringLiteral("groupB.zip"))));
    EXPECT_EQ(a.FileCount(), 2) << "each archive's zip holds its own results only";
    EXPECT_EQ(b.FileCount(), 1);

    // Interactively, the lists of an archive are read too.
    auto one = NewDoc();
    EXPECT_TRUE(Run(*one, {archiveB}, WorkedReference()).OK);
    ASSERT_EQ(one->fKWList->Count(), 1);
    EXPECT_EQ(one->fKWList->Entry(0).fData.Freq, 300);
}

TEST_F(KeyWordRun, FrequenciesBeyond32BitsReachTheListItsFileAndTheGrid)
{
    // 4,718,592,000 of one word: past what a 32-bit field holds.
    constexpr int64_t kMany = 4718592000LL;
    const QString study = SaveList(QStringLiteral("huge.lst"), {{"target", kMany}, {"the", 3 * kMany}});
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, {study}, WorkedReference(), 0, true).OK);
    const TKeyWordList& l = *doc->fKWList;
    const int target = IndexOf(l, QStringLiteral("target"));
    ASSERT_GE(target, 0);
    EXPECT_EQ(l.Entry(target).fData.Freq, kMany);
    EXPECT_EQ(l.Entry(target).fData.RefFreq, 50);
    EXPECT_FLOAT_EQ(l.Entry(target).fData.Percent, 25.0f);
    const int the = IndexOf(l, QStringLiteral("the"));
    ASSERT_GE(the, 0);
    EXPECT_EQ(l.Entry(the).fData.Freq, 3 * kMany);
    EXPECT_EQ(l.Entry(the).fData.RefFreq, 99950);
    // What the grid shows, and the study list's running words in the notes.
    TDrawgridDataRec cell;
    l.DrawgridDataRec(target, TKeyWordList::kColFreq, 0, cell);
    QString digits = cell.text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    EXPECT_EQ(digits, QStringLiteral("4718592000")) << cell.text.toStdString();
    EXPECT_EQ(l.NumericalData(target, TKeyWordList::kColFreq), double(kMany));
    EXPECT_TRUE(l.DetailsOfCurrentSettings().join(u'\n').contains(QStringLiteral("(18874368000 running words")));

    // Saved and read back as they were.
    const QString kws = dir.file(QStringLiteral("huge.kws"));
    ASSERT_TRUE(doc->SaveToFile(kws));
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(kws)) << back.LastReadError().toStdString();
    ASSERT_EQ(back.fKWList->Count(), l.Count());
    EXPECT_EQ(back.fKWList->Entry(IndexOf(*back.fKWList, QStringLiteral("target"))).fData, l.Entry(target).fData);
    EXPECT_EQ(back.fKWList->KWSettings.RunningWords(0), 4 * kMany);
}

TEST_F(KeyWordRun, AnArchiveWithAShortEntryFailsTheRun)
{
    const QString shortEntry = dir.write(QStringLiteral("short.lst"), QByteArray("too short to be a list"));
    const QString archive = Zip(QStringLiteral("bad.zip"), {shortEntry, WorkedStudy()});
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, {archive}, WorkedReference());
    EXPECT_FALSE(r.OK);
    EXPECT_TRUE(r.ZipFailure);
    const QString empty = dir.file(QStringLiteral("empty.zip"));
    TZipArchive z;
    ASSERT_TRUE(z.CreateArchive(empty));
    z.CloseArchive();
    EXPECT_TRUE(Run(*doc, {empty}, WorkedReference()).ZipFailure);
}

TEST_F(KeyWordRun, AStopAskedForDuringABatchIsNotLostWhenTheNextListIsRead)
{
    Global_BatchProcedures.OnProgressing = [](int, int) { global_panic_state = kPanicStopAtEndOfText; };
    auto doc = NewDoc();
    const TCVComputeResultRec r = Run(*doc, BatchOfStudyLists(3), WorkedReference(), 1);
    EXPECT_EQ(doc->ListsDone(), 1);
    EXPECT_TRUE(r.OK);
}

TEST_F(KeyWordRun, PlotsStepUsesTheInstalledComputerUnlessProcessingIsMinimal)
{
    int calls = 0;
    auto doc = NewDoc();
    doc->SetPlotsComputer([&](T_WholeKeywordsHolder&) {
        ++calls;
        return true;
    });
    // The source text named by the study list does not exist: no plots interactively.
    EXPECT_TRUE(Run(*doc, {WorkedStudy()}, WorkedReference()).OK);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(doc->fKWList->KWSettings.PlotsComputed());
    // Forced (as in batches) it is asked.
    doc->MakePlotsIfTextFound(1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(doc->fKWList->KWSettings.PlotsComputed());
    SetFastMinimalProcessing(current_tool_var, true);
    doc->MakePlotsIfTextFound(1);
    EXPECT_EQ(calls, 1);
    SetFastMinimalProcessing(current_tool_var, false);
}

TEST_F(KeyWordRun, WordListDocumentComparisonTakesTheKeyWordsOver)
{
    const QString study = WorkedStudy(), reference = WorkedReference();
    T_WholeWordlistHolder words(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(words.ReadWholeFromFile(study));
    bool found = false;
    words.ComparedWordlists(study, reference, false, found);
    EXPECT_TRUE(found);
    ASSERT_EQ(words.fKeywordsList->Count(), 1);
    EXPECT_EQ(words.fKeywordsList->Entry(0).fWord, QStringLiteral("target"));
    EXPECT_EQ(words.fKeywordsList->fKWStats->Count(), 2) << "the study list's statistics come along";
    EXPECT_EQ(words.fKeywordsList->Heading(TKeyWordList::kColFreq), QStringLiteral("study"));
    EXPECT_EQ(words.fKeywordsList->Heading(TKeyWordList::kColRefFreq), QStringLiteral("reference"));
    EXPECT_EQ(words.MainFile.Mark, 1);
    EXPECT_TRUE(words.fNotes.join(QLatin1Char('\n')).contains(QStringLiteral("Dice coefficient")));
    EXPECT_FALSE(GetFastMinimalProcessing(current_tool_var)) << "the user's choice comes back";
    // Saved with the word list and read back.
    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    TMemoryStream m;
    ASSERT_TRUE(words.SaveToStream(m));
    m.SetPosition(0);
    ASSERT_TRUE(back.ReadWholeFromStream(m));
    EXPECT_EQ(back.fKeywordsList->Count(), 1);

    // Against an unusable reference nothing is found and the list stays.
    words.ComparedWordlists(study, dir.file(QStringLiteral("none.lst")), false, found);
    EXPECT_FALSE(found);
    EXPECT_EQ(words.fKeywordsList->Count(), 1);
}
