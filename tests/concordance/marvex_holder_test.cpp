#include "marvex_doc_testutil.h"

#include "model/batch_procedures.h"
#include "suite/cv_globals.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <limits>

using cvtest::MarvexDoc;
using cvtest::Words;
using namespace cv;

TEST(MarvexHolder, RunKeepsTextsWithLinesAndListsTheOthers)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(30, {{3, "cat"}, {20, "cat"}}), 2);
    d.AddText(QStringLiteral("none.txt"), Words(12, {}), 5);
    d.AddText(QStringLiteral("b.txt"), Words(50, {{44, "cat"}}), 9);
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    auto& doc = *d.doc;

    ASSERT_EQ(doc.fConcordanceList->Count(), 3);
    ASSERT_EQ(doc.fTextFilesWithSearchWord->Count(), 2);
    EXPECT_EQ(doc.fTextFilesWithSearchWord->Record(0).Words, 30);
    EXPECT_EQ(doc.fTextFilesWithSearchWord->Record(0).Hits, 2);
    EXPECT_EQ(doc.fTextFilesWithSearchWord->Record(1).Hits, 1);
    EXPECT_EQ(doc.fTextFilesWithSearchWord->Record(1).ShortName(), QStringLiteral("b.txt"));
    // Lines name their text by its place in the texts list, from 1.
    EXPECT_EQ(doc.fConcordanceList->Line(2).fData.base.filename_num_original, 2);
    EXPECT_EQ(doc.fConcordanceList->Line(2).fData.base.word_num, 44);
    EXPECT_EQ(doc.TextNameOf(2, false), QStringLiteral("b.txt"));
    EXPECT_EQ(doc.WordsOfText(2), 50);

    ASSERT_EQ(doc.fTextFilesWithoutSearchWord->Count(), 1);
    const TUnusedFileRec unused = doc.fTextFilesWithoutSearchWord->Record(0);
    EXPECT_EQ(unused.filename, d.files[1]);
    EXPECT_EQ(unused.wordcount, 12);
    EXPECT_NEAR(unused.Juliandate, DayNumberFromDateTime(QDateTime(QDate(2021, 3, 5), QTime(12, 0), QTimeZone::utc())),
                1e-6);
    EXPECT_EQ(doc.NotFoundFilesForNotesList, QStringList{QStringLiteral("none.txt")});
    EXPECT_EQ(doc.fSettings.RunningTotal(), 92);
    EXPECT_EQ(doc.SearchWordHitCounts().at(0), 3);
}

TEST(MarvexHolder, OnlyTheFirstFiveTextsWithoutLinesAreNamedThenCounted)
{
    MarvexDoc d;
    for (int i = 0; i < 7; ++i)
        d.AddText(QStringLiteral("n%1.txt").arg(i), Words(5, {}));
    ASSERT_TRUE(d.Run(QStringLiteral("absent")));
    EXPECT_EQ(d.doc->NotFoundFilesForNotesList.size(), 5);
    EXPECT_EQ(d.doc->NotFoundFilesCount, 7);
    EXPECT_EQ(d.doc->fTextFilesWithSearchWord->Count(), 0);
    EXPECT_EQ(d.doc->fTextFilesWithoutSearchWord->Count(), 7);
}

TEST(MarvexHolder, ATextThatCannotBeReadFailsAndIsNotListed)
{
    MarvexDoc d;
    Global_run_without_error_messages = true;
    Global_FailureMessage.clear();
    d.files << d.dir.file(QStringLiteral("missing.txt"));
    EXPECT_FALSE(d.Run(QStringLiteral("cat")));
    Global_run_without_error_messages = false;
    EXPECT_EQ(d.doc->fTextFilesWithSearchWord->Count(), 0);
    EXPECT_EQ(d.doc->fTextFilesWithoutSearchWord->Count(), 0);
    EXPECT_TRUE(Global_FailureMessage.contains(QStringLiteral("missing.txt")));
}

TEST(MarvexHolder, PlotOfOneTextAndOneSearchWord)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(40, {{10, "cat"}, {30, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    ASSERT_TRUE(d.doc->ComputePlot(false));
    const TConcPlotList& plot = *d.doc->fConcPlotList;
    ASSERT_EQ(plot.Count(), 1);
    EXPECT_EQ(plot.Entry(0)->Positions().Positions(), (std::vector<int32_t>{10, 30}));
    EXPECT_EQ(plot.Entry(0)->Data().hits, 2);
    EXPECT_EQ(plot.Entry(0)->Data().words_in_file, 40);
    EXPECT_EQ(plot.Entry(0)->Data().plot_filename, QStringLiteral("a"));
    EXPECT_EQ(plot.Entry(0)->Data().divisions, 8);
    EXPECT_EQ(plot.OverallPlotEntry->Data().plot_filename,
              QStringLiteral("cat (%1)").arg(CVOverall.toString()));
    EXPECT_FALSE(plot.overall_row_wanted);
    EXPECT_TRUE(d.doc->work_done.Plot_computed);
}

TEST(MarvexHolder, PlotRowsAreNumberedByTheChosenOrderAndOverallIsScaled)
{
    for (bool bySw : {false, true}) {
        MarvexDoc d;
        d.AddText(QStringLiteral("a.txt"), Words(100, {{10, "cat"}, {50, "dog"}}));
        d.AddText(QStringLiteral("b.txt"), Words(400, {{100, "dog"}}));
        d.AddText(QStringLiteral("c.txt"), Words(20, {{2, "cat"}}));
        d.doc->plot_options.rowsBySearchWord = bySw;
        ASSERT_TRUE(d.Run(QStringLiteral("cat/dog")));
        ASSERT_TRUE(d.doc->ComputePlot(false));
        const TConcPlotList& plot = *d.doc->fConcPlotList;
        // Four of the six possible rows have hits.
        ASSERT_EQ(plot.Count(), 4);
        QStringList order;
        for (int i = 0; i < plot.Count(); ++i)
            order << plot.FilenameWithSW(i);
        if (bySw)
            EXPECT_EQ(order, (QStringList{QStringLiteral("cat a"), QStringLiteral("dog a"), QStringLiteral("dog b"),
                                          QStringLiteral("cat c")}));
        else
            EXPECT_EQ(order, (QStringList{QStringLiteral("a cat"), QStringLiteral("c cat"), QStringLiteral("a dog"),
                                          QStringLiteral("b dog")}));
        EXPECT_TRUE(plot.overall_row_wanted);
        // Hits on the scale of the largest text (400 words).
        EXPECT_EQ(plot.OverallPlotEntry->Positions().Positions(), (std::vector<int32_t>{40, 40, 100, 200}));
        EXPECT_EQ(plot.OverallPlotEntry->Data().words_in_file, 520);
        EXPECT_EQ(plot.OverallPlotEntry->Data().plot_filename, CVOverall.toString());
    }
}

// Texts whose words together pass what 32 bits hold (a large corpus, or the
// counts of a damaged file): the overall row keeps the most it can hold.
TEST(MarvexHolder, PlotOfTextsOfMoreWordsThan32BitsHoldKeepsTheMost)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(100, {{10, "cat"}}));
    d.AddText(QStringLiteral("b.txt"), Words(100, {{50, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    TMarvexFilenamelist& texts = *d.doc->fTextFilesWithSearchWord;
    ASSERT_EQ(texts.Count(), 2);
    texts.SetWords(0, 1500000000);
    texts.SetWords(1, std::numeric_limits<int32_t>::min());
    ASSERT_TRUE(d.doc->ComputePlot(false));
    const TConcPlotList& plot = *d.doc->fConcPlotList;
    EXPECT_EQ(plot.words_in_all_relevant_files, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(plot.OverallPlotEntry->Data().words_in_file, std::numeric_limits<int32_t>::max());
}

TEST(MarvexHolder, PlotByPartsLeavesTextsOfNoPartToTheOverallRow)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("alpha.txt"), Words(100, {{10, "cat"}}));
    d.AddText(QStringLiteral("beta.txt"), Words(200, {{10, "cat"}}));
    d.AddText(QStringLiteral("gamma.txt"), Words(50, {{5, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    d.doc->plot_options.textParts = {{0, 1}};
    d.doc->plot_options.searchWordParts = {{0}};
    ASSERT_TRUE(d.doc->ComputePlot(true));
    const TConcPlotList& plot = *d.doc->fConcPlotList;
    ASSERT_EQ(plot.Count(), 1);
    const auto& row = plot.Entry(0)->Data();
    EXPECT_EQ(row.plot_filename, QStringLiteral("alpha ,beta"));
    EXPECT_EQ(row.words_in_file, 200);
    EXPECT_EQ(row.hits, 2);
    EXPECT_EQ(row.plot_file_number, -2);
    // alpha's hit at 10 of 100 words lands at 20 on the row's 200-word scale.
    EXPECT_EQ(plot.Entry(0)->Positions().Positions(), (std::vector<int32_t>{10, 20}));
    EXPECT_EQ(plot.OverallPlotEntry->Data().hits, 3);
}

TEST(MarvexHolder, PlotNeedsTextsLinesAndSearchWords)
{
    MarvexDoc empty;
    EXPECT_FALSE(empty.doc->ComputePlot(false));
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(10, {{2, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    d.doc->fSWs->Clear();
    EXPECT_THROW(d.doc->ComputePlot(false), std::runtime_error);
}

TEST(MarvexHolder, HeldListsAndTheirChangeMarks)
{
    MarvexDoc d;
    auto& doc = *d.doc;
    EXPECT_EQ(doc.fCVBaseLists.Count(), 7);
    EXPECT_EQ(doc.fCVBaseLists.Get(0), doc.fConcordanceList.get());
    EXPECT_EQ(doc.fCVBaseLists.Get(6), doc.fTextFilesWithSearchWord.get());
    EXPECT_EQ(doc.ChangedListTypes(), 0u);
    doc.fClusterList->SetChangeMark(8);
    doc.fTimeLineList->SetChangeMark(1);
    doc.fTextFilesWithSearchWord->SetChangeMark(1);
    EXPECT_EQ(doc.ChangedListTypes(), (uint64_t(1) << kListConcordanceClusters) | (uint64_t(1) << kListTimeline));
    EXPECT_EQ(doc.fConcordanceList->ListType(), kListConcordance);
    EXPECT_EQ(doc.fCollocateList->ListType(), kListCollocates);
    doc.SetUnicodeFromSettings([] {
        TTextSettings t = TTextSettings::Defaults();
        t.SetUnicode(false);
        return t;
    }());
    EXPECT_FALSE(doc.fUnicode);
    EXPECT_FALSE(doc.fConcordanceList->IsUnicode());
}

TEST(MarvexHolder, SavedTagsFollowTheTagHandler)
{
    MarvexDoc d;
    auto& doc = *d.doc;
    EXPECT_TRUE(doc.fArrayOfSavedTags.empty());
    TStoredTagRec on;
    on.tag = QStringLiteral("<q>");
    on.tag_type = TTag_OnOffUnique::on_tag;
    on.added.isTagForTagStringOnlyDisplay = true;
    on.isMediaTag = true;
    TStoredTagRec off = on;
    off.tag = QStringLiteral("</q>");
    off.tag_type = TTag_OnOffUnique::off_tag;
    off.isMediaTag = false;
    off.foreground_colour = 0x123456;
    ASSERT_TRUE(d.tags->AddTagfileTag(on));
    ASSERT_TRUE(d.tags->AddTagfileTag(off));
    EXPECT_TRUE(doc.CopyTagFileTagsToArrayOfSavedTagsDifferent());
    ASSERT_EQ(doc.fArrayOfSavedTags.size(), 2u);
    EXPECT_TRUE(doc.DataHasColourTags);
    EXPECT_TRUE(doc.HasMediaTags);
    EXPECT_EQ(doc.fConcordanceList->tag_string_only_on, QStringLiteral("<q>"));
    EXPECT_EQ(doc.fConcordanceList->tag_string_only_off, QStringLiteral("</q>"));

    // With saved tags, only their colours and descriptions follow the handler.
    doc.fArrayOfSavedTags[1].stored.foreground_colour = 0;
    doc.fArrayOfSavedTags.push_back({});
    doc.fArrayOfSavedTags.back().stored.tag = QStringLiteral("<only-saved>");
    EXPECT_FALSE(doc.CopyTagFileTagsToArrayOfSavedTagsDifferent());
    EXPECT_EQ(doc.fArrayOfSavedTags.size(), 3u);
    EXPECT_EQ(doc.fArrayOfSavedTags[1].stored.foreground_colour, 0x123456);
}

TEST(MarvexHolder, ABatchSavesEachTextAsADocumentOfItsOwn)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("first.txt"), Words(10, {{2, "cat"}}));
    d.AddText(QStringLiteral("second.txt"), Words(10, {{4, "cat"}, {6, "cat"}}));
    const QString out = d.dir.file(QStringLiteral("batch"));
    QDir().mkpath(out);
    Global_BatchProcedures.ResetForNewBatch();
    Global_BatchProcedures.BatchRootFolder = out;
    Global_batch_mode = true;
    const bool ok = d.Run(QStringLiteral("cat"));
    Global_batch_mode = false;
    ASSERT_TRUE(ok);
    EXPECT_EQ(d.doc->fConcordanceList->Count(), 0);
    EXPECT_EQ(Global_BatchProcedures.files_saved, 2);
    const QStringList saved = QDir(out).entryList({QStringLiteral("*.cnc")}, QDir::Files, QDir::Name);
    ASSERT_EQ(saved.size(), 2) << saved.join(u',').toStdString();

    MarvexDoc reader;
    ASSERT_EQ(reader.doc->ReadWholeFromFile(QDir(out).filePath(saved[1]), 1) & 0xFF, 1);
    EXPECT_EQ(reader.doc->fConcordanceList->Count(), 2);
    EXPECT_EQ(reader.doc->fTextFilesWithSearchWord->Count(), 1);
    Global_BatchProcedures.ResetForNewBatch();
}

TEST(MarvexHolder, NumberListsAreAbbreviated)
{
    EXPECT_EQ(HumanAbbreviatedNumberListString({4, 0, 1, 2, 6, 7}), QStringLiteral("1-3, 5, 7-8"));
    EXPECT_EQ(HumanAbbreviatedNumberListString({}), QString());
}

TEST(MarvexHolder, StopListIsLoadedWhenWantedAndKeepsStopWordsOutOfPatterns)
{
    MarvexDoc d;
    const QString stops = d.dir.write(QStringLiteral("stop.txt"), "the\nand\n");
    const uint8_t tool = current_tool_var;
    const auto stop = uint8_t(TLemmatiserListKind::Stop);
    ClearOne(tool, TLemmatiserListKind::Stop);
    d.doc->LoadStopListIfWanted();
    EXPECT_FALSE(d.doc->fSettings.StopListWanted());
    EXPECT_FALSE(d.doc->Using_Stoplist);

    SetLemmaMatchStopWanted(tool, stop, true);
    SetLemmaMatchStopFilename(tool, stop, stops);
    d.doc->LoadStopListIfWanted();
    EXPECT_TRUE(d.doc->fSettings.StopListWanted());
    EXPECT_TRUE(d.doc->Using_Stoplist);
    EXPECT_TRUE(InLoadedStopList(QStringLiteral("the")));

    TPatternTree tree(d.doc->fSettings, true, 49);
    for (const char* w : {"the", "the", "cat", "cat"})
        tree.AddWord(QString::fromLatin1(w));
    tree.Collect();
    ASSERT_EQ(tree.fFreqList.size(), 1u);
    EXPECT_EQ(tree.fFreqList[0].w, QStringLiteral("cat"));
    ClearOne(tool, TLemmatiserListKind::Stop);
    SetLemmaMatchStopWanted(tool, stop, false);
}

namespace {

// A reader that will only read a text held as UTF-16 and asks for anything
// else to be converted, as a reader without its own decoding would.
class TUtf16OnlyReader final : public TBufferProcessor {
public:
    TUtf16OnlyReader(const TChosenTextRec& text, TTextTagHandler* tags)
        : TBufferProcessor(nullptr, {}, {}, tags, text, TTextSettings::Defaults(), 10, 0, false)
    {
    }
    bool SetupTheBuffer() override
    {
        ++setups;
        if (!FileHandledInfo.TwoByteText()) {
            PleaseConvertTheFileToUnicode = true;
            return false;
        }
        return true;
    }
    void ProcessAChunkOfFile(int32_t chunkIndex) override
    {
        if (chunkIndex >= 0)
            text += QString::fromUtf16(Buffer().data(), qsizetype(Buffer().size()));
    }
    int setups = 0;
    QString text;
};

} // namespace

TEST(MarvexHolder, ATextTheReaderWantsInUtf16IsConvertedAndReadAgain)
{
    MarvexDoc d;
    // "café" in code page 1252: one byte for the accented letter.
    const QString file = d.dir.write(QStringLiteral("ansi.txt"), QByteArray("caf\xE9 au lait"));
    TChosenTextRec rec = MarvexDoc::Rec(file);
    TUtf16OnlyReader reader(rec, d.tags.get());
    reader.SetShowFailureMessages(false);
    int32_t converted = 0;
    QString error;
    ASSERT_TRUE(ReadTextConvertingWhenAsked(reader, 1, rec, 1252, converted, &error)) << error.toStdString();
    EXPECT_EQ(converted, 1);
    EXPECT_EQ(reader.setups, 2);
    EXPECT_EQ(reader.text, QStringLiteral("café au lait"));
    // On disk now: UTF-16 little-endian with its mark.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith(QByteArray("\xFF\xFE", 2)));
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2),
              QStringLiteral("café au lait"));
    EXPECT_EQ(TextFormatCode(rec, reader.FileHandledInfo), 4);

    // A text inside an archive cannot be rewritten: the reading fails and says why.
    TChosenTextRec zipped = rec;
    zipped.FullFilename = d.dir.write(QStringLiteral("other.txt"), QByteArray("plain"));
    zipped.ZipEntryName = QStringLiteral("entry.txt");
    TUtf16OnlyReader refused(MarvexDoc::Rec(zipped.FullFilename), d.tags.get());
    refused.SetShowFailureMessages(false);
    converted = 0;
    EXPECT_FALSE(ReadTextConvertingWhenAsked(refused, 1, zipped, 1252, converted, &error));
    EXPECT_EQ(converted, 0);
    EXPECT_TRUE(error.contains(QStringLiteral("zip"))) << error.toStdString();
}

TEST(MarvexHolder, TheOneTextRunGivesTheTextsFormatCode)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(10, {{3, "cat"}}));
    const QString wide = d.dir.file(QStringLiteral("wide.txt"));
    {
        QFile f(wide);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QString t = Words(10, {{4, "cat"}});
        f.write("\xFF\xFE", 2);
        f.write(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
    }
    d.doc->fSWs->AddedSearchWords(QStringLiteral("cat"));
    TSearchAndDoEngine engine(*d.doc->fSWs);
    int32_t words = 0, converted = 0;
    uint8_t format = 0, status = 0;
    ASSERT_TRUE(d.doc->MadeOneFileConcordance(0, 2, -1, false, MarvexDoc::Rec(d.files[0]), nullptr, &engine,
                                              d.doc->fSWs.get(), nullptr, nullptr, nullptr, 0, 10, words, converted,
                                              format, status));
    EXPECT_EQ(format, 1);
    EXPECT_EQ(status, 1);
    ASSERT_TRUE(d.doc->MadeOneFileConcordance(1, 2, -1, false, MarvexDoc::Rec(wide), nullptr, &engine,
                                              d.doc->fSWs.get(), nullptr, nullptr, nullptr, 0, 10, words, converted,
                                              format, status));
    EXPECT_EQ(format, 4);
    EXPECT_EQ(converted, 0) << "the reader decodes every encoding itself";
    TChosenTextRec zipped = MarvexDoc::Rec(wide);
    zipped.ZipEntryName = QStringLiteral("wide.txt");
    EXPECT_EQ(TextFormatCode(zipped, TFileHandledInfo{}), 32);
}

TEST(MarvexHolder, AJumpListOfTheRunTakesEachTextsOwnPositions)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(30, {{3, "cat"}, {20, "cat"}}));
    d.AddText(QStringLiteral("b.txt"), Words(30, {{5, "cat"}, {9, "cat"}}));
    d.AddText(QStringLiteral("c.txt"), Words(30, {{7, "cat"}}));
    d.doc->fJumpList = {{0, 20}, {1, 5}, {1, 9}};
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    std::vector<std::pair<int32_t, int32_t>> got;
    for (int i = 0; i < d.doc->fConcordanceList->Count(); ++i) {
        const auto& b = d.doc->fConcordanceList->Line(i).fData.base;
        got.emplace_back(b.filename_num_original, b.word_num);
    }
    // c.txt had no position asked for: it gives no line.
    EXPECT_EQ(got, (std::vector<std::pair<int32_t, int32_t>>{{1, 20}, {2, 5}, {2, 9}}));
}
