// Concordance runs over chosen texts, their finishing steps and files,
// cancelling, merging, notes, the menu toggles, settings upkeep and the
// batch job that writes the collocates of every word of a word list.

#include "conc_run_testutil.h"

#include "concordance/collocate_relationships.h"
#include "model/batch_procedures.h"
#include "suite/cv_format.h"
#include "suite/cv_stream.h"
#include "suite/resource_strings.h"
#include "support/failing_allocations.h"
#include "wordlist/wordlist_holder.h"

#include <QDir>

using namespace cv;
using conc_test::ConcRunTest;

namespace {

std::vector<uint8_t> Saved(T_WholeMarvexHolder& doc)
{
    TMemoryStream m;
    EXPECT_TRUE(doc.SaveToStream(m));
    return m.Bytes();
}

// Lines of a UTF-16 text file as the document writes them.
QStringList Utf16Lines(const QString& file)
{
    const QByteArray b = cvtest::readAll(file);
    if (b.size() < 2)
        return {};
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(b.constData() + 2), (b.size() - 2) / 2);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// A run over two texts with every analysis, for the shortage tests: its
// success, and the message when it fails.
std::function<bool(QString&)> ConcRunTest::ShortOfMemoryRun()
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat with another cat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("a dog and a cat and the dog's cat"));
    return [this](QString& message) {
        Global_run_without_error_messages = true;
        Global_FailureMessage.clear();
        auto doc = NewDoc();
        TSearchWordItems sws;
        sws.AddedSearchWords(QStringLiteral("cat/dog"));
        int32_t converted = 0;
        cvtest::ShortageFromHere();
        const bool ok = doc->MakeConcordance(chosen, sws, 0, kListConcordance, converted);
        cvtest::ShortageToHere();
        message = Global_FailureMessage;
        return ok && doc->fConcordanceList->Count() > 0 && !Global_Busy_Dont_Show_Data;
    };
}

TEST_F(ConcRunTest, WithoutChosenTextsTheRunFailsAndComputesNothing)
{
    auto doc = NewDoc();
    EXPECT_FALSE(Run(*doc, QStringLiteral("cat")));
    EXPECT_EQ(doc->fConcordanceList->Count(), 0);
    EXPECT_EQ(doc->work_done, TConcordanceWorkDoneRec{});
    EXPECT_FALSE(Global_Busy_Dont_Show_Data);
}

TEST_F(ConcRunTest, ARunConcordancesEveryTextAndFinishesTheDocument)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat with another cat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("no such animal in here"));
    AddText(QStringLiteral("c.txt"), QStringLiteral("a dog and a cat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat/dog")));
    EXPECT_EQ(doc->fConcordanceList->Count(), 4);
    EXPECT_EQ(doc->fTextFilesWithSearchWord->Count(), 2);
    EXPECT_EQ(doc->fTextFilesWithoutSearchWord->Count(), 1);
    // The chosen texts learn what each gave.
    EXPECT_EQ(chosen.File(0)->Hits, 2);
    EXPECT_EQ(chosen.File(0)->Words, 9);
    EXPECT_EQ(chosen.File(1)->Hits, 0);
    EXPECT_EQ(chosen.File(2)->Hits, 2);
    // Every analysis ran.
    EXPECT_TRUE(doc->work_done.Collocates_computed);
    EXPECT_TRUE(doc->work_done.Clusters_computed);
    EXPECT_TRUE(doc->work_done.Patterns_computed);
    EXPECT_TRUE(doc->work_done.Plot_computed);
    EXPECT_TRUE(doc->work_done.Timeline_computed);
    EXPECT_FALSE(doc->work_done.Association_computed);
    EXPECT_EQ(doc->fSWs->Item(0).Hits, 3);
    EXPECT_EQ(doc->fSWs->Item(1).Hits, 1);
    EXPECT_TRUE(doc->fNotes.contains(Format(CVBasedOnNmanyFiles, {3})));
    EXPECT_TRUE(doc->fNotes.filter(QStringLiteral("4 entries")).size() == 1);
    EXPECT_TRUE(doc->fNotes.filter(QStringLiteral("3 of cat found (75")).size() == 1);
    EXPECT_TRUE(doc->fNotes.filter(QStringLiteral("collocate horizons 5L to 5R")).size() == 1);
    EXPECT_TRUE(doc->SuggestedFilename.startsWith(QStringLiteral("cat, dog")));
    EXPECT_GT(doc->fProcessTimes.timeline, 0.0 - 1e-9);
    EXPECT_FALSE(Global_Busy_Dont_Show_Data);
}

// What the reading noted of a text read all the same is in the run's
// notes (and so in its file), as in a word list's.
TEST_F(ConcRunTest, WhatTheReadingNotedOfATextIsInTheNotes)
{
    const QString marked = dir.write(QStringLiteral("marked.txt"),
                                     QByteArray("\xEF\xBB\xBF") + QByteArray("Der Kater sa\xDF \xFC" "ber der cat.\n").repeated(30));
    const QString page = dir.write(QStringLiteral("page.html"), "<p>A cat.</p><script>var cat = 1;</script>");
    for (const QString& f : {marked, page}) {
        TChosenTextRec r;
        r.FullFilename = f;
        chosen.AddRecord(r);
    }
    AddText(QStringLiteral("plain.txt"), QStringLiteral("one more cat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_EQ(doc->fConcordanceList->Count(), 32) << "the script's cat is no line";
    ASSERT_EQ(doc->TextNotes.size(), 2) << qPrintable(doc->TextNotes.join(u'|'));
    EXPECT_EQ(doc->TextNotes[0], QDir::toNativeSeparators(marked)
                                     + QStringLiteral(": the text does not look like UTF-8, the encoding its byte-order "
                                                      "mark claims (it was read as UTF-8)"));
    EXPECT_TRUE(doc->TextNotes[1].startsWith(QDir::toNativeSeparators(page) + QStringLiteral(": what stands inside <script>")));
    const QString file = dir.file(QStringLiteral("noted.cnc"));
    ASSERT_TRUE(doc->SaveToFile(file));
    auto read = NewDoc();
    ASSERT_EQ(read->ReadWholeFromFile(file, current_tool_var) & 0xFF, 1);
    for (const QString& n : doc->TextNotes)
        EXPECT_TRUE(read->fNotes.contains(n)) << qPrintable(n);
    // A run that notes nothing keeps no note of the run before.
    chosen.ClearThem();
    AddText(QStringLiteral("again.txt"), QStringLiteral("a cat again"));
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_TRUE(doc->TextNotes.isEmpty());
    EXPECT_TRUE(doc->fNotes.filter(QStringLiteral("does not look like")).isEmpty());
}

TEST_F(ConcRunTest, FastMinimalProcessingLeavesOnlyTheLines)
{
    SetFastMinimalProcessing(current_tool_var, true);
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_EQ(doc->fConcordanceList->Count(), 1);
    EXPECT_EQ(doc->work_done, TConcordanceWorkDoneRec{});
}

TEST_F(ConcRunTest, ARunSavedReadAndSavedAgainGivesTheSameBytes)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat. The cat ran to the dog."), QDate(2020, 1, 5));
    AddText(QStringLiteral("b.txt"), QStringLiteral("a dog and a cat and the cat again"), QDate(2021, 6, 1));
    AddText(QStringLiteral("c.txt"), QStringLiteral("nothing"), QDate(2021, 7, 1));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat/dog")));
    const QString file = dir.file(QStringLiteral("run.cnc"));
    ASSERT_TRUE(doc->SaveToFile(file));

    auto read = NewDoc();
    ASSERT_EQ(read->ReadWholeFromFile(file, current_tool_var) & 0xFF, 1);
    EXPECT_EQ(read->work_done, doc->work_done);
    EXPECT_EQ(read->fCollocateList->Count(), doc->fCollocateList->Count());
    EXPECT_EQ(read->fTimeLineList->Count(), 2);
    const QString again = dir.file(QStringLiteral("again.cnc"));
    ASSERT_TRUE(read->SaveToFile(again));
    EXPECT_EQ(cvtest::readAll(file), cvtest::readAll(again));
}

TEST_F(ConcRunTest, RunningShortOfMemoryStopsTheRunWithAMessage)
{
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(ShortOfMemoryRun()));
}

// At every allocation, not a spread of them: the analyses (collocates,
// clusters, patterns) grew Qt hashes, which end the program when an insert
// finds no memory, at a few allocations only.
TEST_F(ConcRunTest, RunningShortOfMemoryAtAnyAllocationStopsTheRunWithAMessage)
{
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemoryAtEveryAllocation(ShortOfMemoryRun()));
}

TEST_F(ConcRunTest, ACancelledRunLeavesThePreviousDocumentAsItWas)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    const std::vector<uint8_t> before = Saved(*doc);

    // A second run, cancelled while its lines are being made.
    QStringList words;
    for (int i = 0; i < 2000; ++i)
        words << (i % 7 == 0 ? QStringLiteral("dog") : QStringLiteral("word"));
    AddText(QStringLiteral("long.txt"), words.join(u' '));
    TSearchWordItems sws;
    sws.AddedSearchWords(QStringLiteral("dog"));
    int32_t converted = 0;
    int samples = 0;
    Global_progress_tick = true;
    const bool ok = doc->MakeConcordance(chosen, sws, 0, kListConcordance, converted, [&](const QString&) {
        ++samples;
        global_panic_state = kPanicStopNow;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(Saved(*doc), before);
    EXPECT_EQ(doc->fSWs->TypedSearchWords(), QStringList{QStringLiteral("cat")});
    EXPECT_TRUE(dialogs.Requests().empty()); // a cancel is no failure to report
    EXPECT_FALSE(Global_Busy_Dont_Show_Data);

    // A run that fails on an unreadable text leaves it too, and says why.
    global_panic_state = kPanicRun;
    TChosenTextRec missing;
    missing.FullFilename = dir.file(QStringLiteral("gone.txt"));
    chosen.AddRecord(missing);
    EXPECT_FALSE(doc->MakeConcordance(chosen, sws, 0, kListConcordance, converted));
    EXPECT_EQ(Saved(*doc), before);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("gone.txt")));
}

TEST_F(ConcRunTest, StoppingAtTheEndOfATextKeepsWhatWasFound)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("another cat"));
    auto doc = NewDoc();
    TSearchWordItems sws;
    sws.AddedSearchWords(QStringLiteral("cat"));
    int32_t converted = 0;
    Global_progress_tick = true;
    ASSERT_TRUE(doc->MakeConcordance(chosen, sws, 0, kListConcordance, converted,
                                     [](const QString&) { global_panic_state = kPanicStopAtEndOfText; }));
    EXPECT_EQ(doc->fConcordanceList->Count(), 1);
    EXPECT_EQ(doc->fTextFilesWithSearchWord->Count(), 1);
}

TEST_F(ConcRunTest, ARunWithNoLinesSaysSo)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("nothing to find"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    EXPECT_EQ(doc->fConcordanceList->Count(), 0);
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("cat not found")));
    EXPECT_FALSE(doc->work_done.Collocates_computed);
}

TEST_F(ConcRunTest, MergingAddsTheOtherSearchWordsAndPointsTheLinesAtThem)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("cat and dog"));
    auto one = NewDoc();
    ASSERT_TRUE(Run(*one, QStringLiteral("cat")));
    chosen.ClearThem();
    AddText(QStringLiteral("b.txt"), QStringLiteral("cat and dog"));
    AddText(QStringLiteral("c.txt"), QStringLiteral("a dog barked at a dog"));
    auto two = NewDoc();
    ASSERT_TRUE(Run(*two, QStringLiteral("dog")));

    ASSERT_TRUE(one->MergeWith(*two, false));
    ASSERT_EQ(one->fConcordanceList->Count(), 5);
    EXPECT_EQ(one->fSWs->TypedSearchWords(), (QStringList{QStringLiteral("cat"), QStringLiteral("dog")}));
    EXPECT_EQ(one->fTextFilesWithSearchWord->Count(), 3);
    for (int i = 2; i < 5; ++i) {
        const TMarvexEntryRecBase& b = one->fConcordanceList->Line(i).fData.base;
        EXPECT_EQ(b.sw_number, 1);
        EXPECT_EQ(b.merge_num, i - 1);
    }
    // The dog of b.txt points at this document's entry of b.txt, those of c.txt at the new entry.
    EXPECT_EQ(one->TextNameOf(one->fConcordanceList->Line(2).fData.base.filename_num_original, false),
              QStringLiteral("b.txt"));
    EXPECT_EQ(one->TextNameOf(one->fConcordanceList->Line(3).fData.base.filename_num_original, false),
              QStringLiteral("c.txt"));
    EXPECT_EQ(one->fConcordanceList->HitsOf(1), 3);
    EXPECT_EQ(one->fSettings.RunningTotal(), 6 + 6 + 3);
    // Hits per text follow the merged lines.
    const int b = one->fTextFilesWithSearchWord->IndexOfAFilename(chosen.FullFilename(0));
    EXPECT_EQ(one->fTextFilesWithSearchWord->Record(b).Hits, 2);
    EXPECT_FALSE(one->MergeWith(*one, false));
}

TEST_F(ConcRunTest, TextsWhoseLinesAreAllGoneMoveToTheTextsWithoutLines)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("cat and cat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    for (int i = 0; i < doc->fConcordanceList->Count(); ++i)
        if (doc->TextNameOf(doc->fConcordanceList->Line(i).fData.base.filename_num_original, false)
            == QStringLiteral("a.txt"))
            doc->fConcordanceList->SetDeleted(i, true, false);
    doc->fConcordanceList->Zap(false);
    doc->CheckBothTextFileListsUptoDate();
    // a.txt is added to the texts without lines and stays in the texts list, with no hit now.
    ASSERT_EQ(doc->fTextFilesWithSearchWord->Count(), 2);
    const int a = doc->fTextFilesWithSearchWord->IndexOfAFilename(chosen.FullFilename(0));
    const int b = doc->fTextFilesWithSearchWord->IndexOfAFilename(chosen.FullFilename(1));
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(doc->fTextFilesWithSearchWord->Record(a).Hits, 0);
    EXPECT_FALSE(doc->fTextFilesWithSearchWord->Record(a).StillInConcordance);
    EXPECT_EQ(doc->fTextFilesWithSearchWord->Record(b).Hits, 2);
    EXPECT_GE(doc->fTextFilesWithoutSearchWord->IndexOfAFilename(chosen.FullFilename(0)), 0);
    // Brought up to date again, it is not listed twice.
    const int without = doc->fTextFilesWithoutSearchWord->Count();
    doc->CheckBothTextFileListsUptoDate();
    EXPECT_EQ(doc->fTextFilesWithoutSearchWord->Count(), without);
    // The lines still name their text.
    EXPECT_EQ(doc->TextNameOf(doc->fConcordanceList->Line(0).fData.base.filename_num_original, false),
              QStringLiteral("b.txt"));
}

TEST_F(ConcRunTest, TheStoredTextsBecomeTheChosenTextsWhenTheyAreStillThere)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    const QString b = AddText(QStringLiteral("b.txt"), QStringLiteral("a cat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    TSharedChosenFilesClass again;
    EXPECT_TRUE(doc->CopyFilenamesToChosenTexts(again));
    EXPECT_EQ(again.FileCount(), 2);
    QFile::remove(b);
    EXPECT_FALSE(doc->CopyFilenamesToChosenTexts(again));
    EXPECT_EQ(again.FileCount(), 1);
}

TEST_F(ConcRunTest, TheFileReportListsTextsWithAndWithoutLines)
{
    SetDefaultFolder(dir.path());
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat by a cat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("one two three"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    QString opened;
    doc->OnOpenTextFile = [&](const QString& f) { opened = f; };
    ASSERT_TRUE(doc->CopyFilenameDetailsToNotepad());
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_TRUE(opened.startsWith(dir.path()));
    const QStringList lines = Utf16Lines(opened);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("\"cat\""));
    EXPECT_EQ(lines[2], QStringLiteral("(1) %1\t6\t2 hits").arg(chosen.FullFilename(0)));
    EXPECT_EQ(lines[4], QStringLiteral("(1) %1\t3").arg(chosen.FullFilename(1)));
    EXPECT_TRUE(doc->fNotes.back().contains(opened));
}

TEST_F(ConcRunTest, MenuTogglesFlipTheirOptionAndTellTheSettings)
{
    auto doc = NewDoc();
    const uint8_t hideBefore = doc->fSettings.HideOptions();
    const uint8_t displayBefore = doc->fSettings.DisplayOptions();
    doc->ToggleHidetags(116);
    EXPECT_EQ(doc->fSettings.HideOptions(), hideBefore);
    EXPECT_EQ(doc->fSettings.DisplayOptions(), displayBefore);

    doc->ToggleHidetags(TagOf(cv::TMenuCommand::HideTagFileTags));
    EXPECT_EQ(doc->fSettings.DisplayOptions(), uint8_t(displayBefore ^ 1));
    EXPECT_EQ(GetConcSaveRec().DisplayOptions(), doc->fSettings.DisplayOptions());
    EXPECT_EQ(GetMenuItemChecked(cv::TMenuCommand::HideTagFileTags), bool(doc->fSettings.DisplayOptions() & 1));

    doc->ToggleHidetags(TagOf(cv::TMenuCommand::HideParagraphTag));
    EXPECT_EQ(doc->fSettings.HideOptions(), uint8_t(hideBefore ^ 4));
    EXPECT_EQ(GetConcSaveRec().HideOptions(), doc->fSettings.HideOptions());
    doc->ToggleConcDisplay(TagOf(cv::TMenuCommand::TagsOnly));
    EXPECT_TRUE(doc->fSettings.DisplayOptions() & 16);
    doc->ToggleConcDisplay(TagOf(cv::TMenuCommand::ExportBatchData));
    EXPECT_TRUE(doc->fSettings.DisplayOptions() & 16);
    doc->ToggleConcColouringSetting(TagOf(cv::TMenuCommand::WordsColoured));
    EXPECT_TRUE(GetConcSaveRec().ColouringOptions() & 2);
    EXPECT_TRUE(GetMenuItemChecked(cv::TMenuCommand::WordsColoured));

    // A document read back checks the menu items of what it holds.
    SetMenuItemChecked(cv::TMenuCommand::TagsOnly, false);
    SetMenuItemChecked(cv::TMenuCommand::WordsColoured, false);
    doc->CheckMenuItemsAfterLoadFromFile();
    EXPECT_TRUE(GetMenuItemChecked(cv::TMenuCommand::TagsOnly));
    EXPECT_TRUE(GetMenuItemChecked(cv::TMenuCommand::WordsColoured));
    EXPECT_FALSE(GetMenuItemChecked(cv::TMenuCommand::HideUndefinedTags));
}

TEST_F(ConcRunTest, NewSettingsKeepWhatDescribesTheDocumentsOwnData)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    const int32_t words = doc->fSettings.RunningTotal();
    TConcSettingsRec32 changed = GetConcSaveRec();
    changed.SetCollocHorizonLeft(2);
    changed.SetCharactersPerLine(77);
    changed.SetPlotRowsBySearchWord(true);
    changed.SetRunningTotal(0);
    SetConcSaveRec(changed);

    doc->UpdateSettingsFromTextbuf(5);
    EXPECT_EQ(doc->fSettings.CharactersPerLine(), 300);
    EXPECT_TRUE(doc->plot_options.rowsBySearchWord);

    doc->UpdateSettingsFromTextbuf(233);
    EXPECT_EQ(doc->fSettings.CharactersPerLine(), 77);
    EXPECT_EQ(doc->fSettings.RunningTotal(), words);
    // The collocates were counted over 5 words left: the document keeps that horizon.
    EXPECT_EQ(doc->fSettings.CollocHorizonLeft(), 5);
    EXPECT_EQ(doc->fCollocateList->Span().left, 45);

    // Without collocates the new horizons apply.
    auto fresh = NewDoc();
    changed.SetCollocHorizonLeft(3);
    SetConcSaveRec(changed);
    fresh->UpdateSettingsFromTextbuf(233);
    EXPECT_EQ(fresh->fSettings.CollocHorizonLeft(), 3);
    EXPECT_EQ(fresh->fCollocateList->Span().left, 47);
}

TEST_F(ConcRunTest, CollocatesOfEveryWordOfAWordListGoIntoOneFileEach)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the black cat sat on the mat and the black dog sat too"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("a black cat ran"));
    const auto list = WordListOfChosenTexts();
    T_WholeWordlistHolder& words = *list;

    TCollocateScriptSettings limits = GetCollocateScriptSettings();
    limits.SetMinFrequency(2); // the, black, cat, sat
    limits.SetMinWordLength(3);
    SetCollocateScriptSettings(limits);
    auto doc = NewDoc();
    QStringList told;
    doc->OnProgressMessage = [&](const QString& m) { told << m; };
    const QString out = dir.file(QStringLiteral("out/collocates"));
    const int files = doc->ComputeAndSaveCollocatesForWholeWordList(words, out);
    EXPECT_EQ(files, 4);
    EXPECT_EQ(told.size(), 4);
    const QStringList saved = QDir(out).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    EXPECT_EQ(saved, (QStringList{QStringLiteral("black.txt"), QStringLiteral("cat.txt"), QStringLiteral("sat.txt"),
                                  QStringLiteral("the.txt")}));

    const QStringList cat = Utf16Lines(QDir(out).filePath(QStringLiteral("cat.txt")));
    ASSERT_GE(cat.size(), 3);
    EXPECT_EQ(cat[0], QStringLiteral("Collocates of \"cat\""));
    const QStringList heading = cat[1].split(u'\t');
    EXPECT_EQ(heading.mid(heading.size() - kAssociationCount, 2),
              (QStringList{QStringLiteral("Dice"), QStringLiteral("Mutual info")}));
    // "black" stands left of both cats; the word itself and rare collocates are left out.
    bool black = false;
    for (int i = 2; i < cat.size(); ++i) {
        const QStringList cells = cat[i].split(u'\t');
        EXPECT_NE(cells[1], QStringLiteral("CAT"));
        EXPECT_EQ(cells.size(), heading.size());
        if (cells[1] == QStringLiteral("BLACK"))
            black = true;
    }
    EXPECT_TRUE(black);
    EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("mat.txt"))));
}

TEST_F(ConcRunTest, TheCollocateBatchStopsWhenCancelledAndRefusesAFolderItCannotMake)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat and the cat ran"));
    const auto list = WordListOfChosenTexts();
    T_WholeWordlistHolder& words = *list;
    TCollocateScriptSettings limits = GetCollocateScriptSettings();
    limits.SetMinFrequency(2);
    SetCollocateScriptSettings(limits);

    auto doc = NewDoc();
    const QString blocker = dir.write(QStringLiteral("file"), QByteArray("x"));
    EXPECT_EQ(doc->ComputeAndSaveCollocatesForWholeWordList(words, blocker + QStringLiteral("/sub")), -1);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("CannotWriteToXFolder")});

    global_panic_state = kPanicStopNow;
    EXPECT_EQ(doc->ComputeAndSaveCollocatesForWholeWordList(words, dir.file(QStringLiteral("out"))), 0);
}

TEST_F(ConcRunTest, ABatchRunSavesEveryTextAsItsOwnDocumentAndZipsThem)
{
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("no animal"));
    AddText(QStringLiteral("c.txt"), QStringLiteral("a cat ran"));
    const QString out = dir.file(QStringLiteral("batch"));
    Global_BatchProcedures.ResetForNewBatch();
    Global_BatchProcedures.BatchRootFolder = out;
    Global_BatchProcedures.Zip_Too = true;
    auto doc = NewDoc();
    TSearchWordItems sws;
    sws.AddedSearchWords(QStringLiteral("cat"));
    int32_t converted = 0;
    ASSERT_TRUE(doc->MakeConcordance(chosen, sws, 1, kListConcordance, converted));
    Global_BatchProcedures.Zip_Too = false;
    EXPECT_EQ(Global_BatchProcedures.files_saved, 2);
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.cnc")}, QDir::Files).size(), 2);
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.zip")}, QDir::Files).size(), 1);
    // Each text's document holds that text's lines.
    auto a = NewDoc();
    ASSERT_EQ(a->ReadWholeFromFile(QDir(out).filePath(QStringLiteral("a.cnc")), current_tool_var) & 0xFF, 1);
    EXPECT_EQ(a->fConcordanceList->Count(), 1);
    EXPECT_EQ(doc->fConcordanceList->Count(), 0);
    Global_BatchProcedures.ResetForNewBatch();
}

TEST_F(ConcRunTest, LostTextNamesComeBackFromTheSavedDocument)
{
    SetDefaultFolder(dir.path());
    AddText(QStringLiteral("a.txt"), QStringLiteral("the cat sat"));
    AddText(QStringLiteral("b.txt"), QStringLiteral("a cat ran"));
    auto doc = NewDoc();
    ASSERT_TRUE(Run(*doc, QStringLiteral("cat")));
    const QString file = dir.file(QStringLiteral("saved.cnc"));
    ASSERT_TRUE(doc->SaveToFile(file));
    doc->OpenedFilename = file;

    // b.txt's entry is lost and a placeholder stands in the list.
    const int b = doc->fTextFilesWithSearchWord->IndexOfAFilename(chosen.FullFilename(1));
    doc->fTextFilesWithSearchWord->Remove(b);
    TMarvexFilenameRec lost;
    lost.FullFilename = QStringLiteral("lost_filename.txt");
    lost.OriginalFilenumber = 7;
    doc->fTextFilesWithSearchWord->AddRecord(lost);
    doc->fConcordanceList->Dud_CNC_Filenames_found = true;

    ASSERT_TRUE(doc->CopyFilenameDetailsToNotepad());
    EXPECT_FALSE(doc->fConcordanceList->Dud_CNC_Filenames_found);
    EXPECT_LT(doc->fTextFilesWithSearchWord->IndexOfAFilename(QStringLiteral("lost_filename.txt")), 0);
    EXPECT_EQ(doc->fTextFilesWithSearchWord->Count(), 2);
    QStringList names;
    for (int i = 0; i < doc->fConcordanceList->Count(); ++i)
        names << doc->TextNameOf(doc->fConcordanceList->Line(i).fData.base.filename_num_original, false);
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

TEST_F(ConcRunTest, TagsAreRecolouredOnlyWhenTheHandlerHasTagFileTags)
{
    auto doc = NewDoc();
    EXPECT_FALSE(doc->TryToUpdateTags());
    TStoredTagRec tag;
    tag.tag = QStringLiteral("<b>");
    tag.tag_type = TTag_OnOffUnique::on_tag;
    tag.foreground_colour = 0x0000FF;
    tag.background_colour = 0xFFFFFF;
    ASSERT_TRUE(tags->AddTagfileTag(tag));
    EXPECT_TRUE(doc->TryToUpdateTags());
    ASSERT_EQ(doc->fArrayOfSavedTags.size(), 1u);
    EXPECT_EQ(doc->fArrayOfSavedTags[0].stored.tag, QStringLiteral("<b>"));
    EXPECT_TRUE(doc->DataHasColourTags);
}
