#include "conc_doc_testutil.h"
#include "marvex_doc_testutil.h"

#include "suite/cv_globals.h"
#include "suite/dialogs.h"
#include "support/le_bytes.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <random>

#include <gtest/gtest.h>

using cvtest::LEBytes;
using cvtest::MarvexDoc;
using cvtest::Words;
using namespace cv;

namespace {

std::vector<uint8_t> Saved(T_WholeMarvexHolder& doc)
{
    TMemoryStream m;
    EXPECT_TRUE(doc.SaveToStream(m));
    return m.Bytes();
}

// A concordance of three texts (one without lines) with every derived list.
void MakeFullDocument(MarvexDoc& d)
{
    d.AddText(QStringLiteral("one.txt"), Words(60, {{5, "cat"}, {20, "dog"}, {41, "cat"}}), 3);
    d.AddText(QStringLiteral("two.txt"), Words(25, {}), 4);
    d.AddText(QStringLiteral("three.txt"), Words(90, {{70, "dog"}}), 20);
    ASSERT_TRUE(d.Run(QStringLiteral("cat/dog")));
    T_WholeMarvexHolder& doc = *d.doc;
    doc.fNotes << QStringLiteral("made by the test");
    ASSERT_TRUE(doc.ComputePlot(false));

    TCollocateTree tree(doc.fSettings, false);
    tree.AddWord(QStringLiteral("w4"), 49, 1, 0, QStringLiteral("cat"));
    tree.AddWord(QStringLiteral("w6"), 51, 1, 0, QStringLiteral("cat"));
    tree.Collect(*doc.fCollocateList);
    doc.work_done.Collocates_computed = true;

    doc.fClusterList->AddCluster({2, 2, QStringLiteral("w4 cat"), QStringLiteral("w3 w4 cat (1)")});
    doc.work_done.Clusters_computed = true;

    TPatternEntryRec p;
    p.words[5] = QStringLiteral("cat");
    p.freqs[5] = 2;
    doc.fPatternsList->AddRow(p);
    doc.work_done.Patterns_computed = true;

    TTimeLineRow row;
    row.label = QStringLiteral("cat");
    row.rec.SetHits(2);
    row.rec.SetWords(60);
    row.periods = {{2, 60}};
    doc.fTimeLineList->AddRow(row);
    doc.work_done.Timeline_computed = true;

    TVisibleTagRec tag;
    tag.stored.tag = QStringLiteral("<hi>");
    tag.stored.description = QStringLiteral("highlight");
    tag.sem_colorir = true;
    doc.fArrayOfSavedTags.push_back(tag);
}

void ExpectSameLines(const TConcordanceList& a, const TConcordanceList& b)
{
    ASSERT_EQ(a.Count(), b.Count());
    for (int i = 0; i < a.Count(); ++i) {
        const TMarvexEntryRec& x = a.Line(i).fData;
        const TMarvexEntryRec& y = b.Line(i).fData;
        EXPECT_EQ(x.conc_line, y.conc_line) << i;
        EXPECT_EQ(x.base.word_num, y.base.word_num) << i;
        EXPECT_EQ(x.base.filename_num_original, y.base.filename_num_original) << i;
        EXPECT_EQ(x.base.sw_number, y.base.sw_number) << i;
        EXPECT_EQ(x.base.midpoint, y.base.midpoint) << i;
        EXPECT_EQ(x.base.byte_position, y.base.byte_position) << i;
        EXPECT_EQ(x.base.fixed_sort_positions, y.base.fixed_sort_positions) << i;
    }
}

QString SamplePath()
{
    return QDir(cvtest::testDataDir()).filePath(QStringLiteral("concordance/sample_v1.cnc"));
}

} // namespace

TEST(MarvexFile, ConcordanceSavedAndReadBackHasTheSameLinesAndBytes)
{
    MarvexDoc d;
    MakeFullDocument(d);
    const QString f1 = d.dir.file(QStringLiteral("first.cnc"));
    ASSERT_TRUE(d.doc->SaveToFile(f1));

    MarvexDoc r;
    ASSERT_EQ(r.doc->ReadWholeFromFile(f1, 1), 1) << r.doc->LastReadError().toStdString();
    T_WholeMarvexHolder& back = *r.doc;
    ExpectSameLines(*d.doc->fConcordanceList, *back.fConcordanceList);
    EXPECT_EQ(back.fSWs->TypedSearchWords(), (QStringList{QStringLiteral("cat"), QStringLiteral("dog")}));
    ASSERT_EQ(back.fTextFilesWithSearchWord->Count(), 2);
    EXPECT_EQ(back.fTextFilesWithSearchWord->Record(1), d.doc->fTextFilesWithSearchWord->Record(1));
    EXPECT_EQ(back.fTextFilesWithoutSearchWord->Record(0), d.doc->fTextFilesWithoutSearchWord->Record(0));
    EXPECT_TRUE(back.fNotes.contains(QStringLiteral("made by the test")));
    EXPECT_EQ(back.work_done, d.doc->work_done);
    EXPECT_EQ(back.fSettings, d.doc->fSettings);
    EXPECT_EQ(back.fConcPlotList->Count(), d.doc->fConcPlotList->Count());
    EXPECT_TRUE(back.fConcPlotList->overall_row_wanted);
    EXPECT_EQ(back.fConcPlotList->words_in_largest_file, 90);
    EXPECT_EQ(back.fCollocateList->Count(), 2);
    EXPECT_EQ(back.fClusterList->ClusterData(0), d.doc->fClusterList->ClusterData(0));
    EXPECT_EQ(back.fPatternsList->PatternData(0), d.doc->fPatternsList->PatternData(0));
    EXPECT_EQ(back.fTimeLineList->Entry(0)->Periods(), d.doc->fTimeLineList->Entry(0)->Periods());
    ASSERT_EQ(back.fArrayOfSavedTags.size(), 1u);
    EXPECT_EQ(back.fArrayOfSavedTags[0], d.doc->fArrayOfSavedTags[0]);
    EXPECT_EQ(back.fTagFileTagsVersion, 1);
    // The line grid names texts through the document.
    EXPECT_EQ(back.fConcordanceList->fFileNameOf(2, false), QStringLiteral("three.txt"));
    // The settings read become the shared ones.
    EXPECT_EQ(GetConcSaveRec(), back.fSettings);

    const QString f2 = d.dir.file(QStringLiteral("second.cnc"));
    ASSERT_TRUE(back.SaveToFile(f2));
    EXPECT_EQ(cvtest::readAll(f1), cvtest::readAll(f2));
}

TEST(MarvexFile, OnlyComputedListsAreWritten)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(20, {{3, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    const auto none = Saved(*d.doc);
    {
        MarvexDoc r;
        TMemoryStream m(none);
        ASSERT_TRUE(r.doc->ReadWholeFromStream(m));
        EXPECT_EQ(m.Remaining(), 0);
        EXPECT_EQ(r.doc->work_done, TConcordanceWorkDoneRec{});
    }
    ASSERT_TRUE(d.doc->ComputePlot(false));
    const auto plotOnly = Saved(*d.doc);
    const auto plotBytes = cvtest::StreamBytes(*d.doc->fConcPlotList);
    // The plot follows the texts without lines directly: nothing else was added.
    ASSERT_EQ(plotOnly.size(), none.size() + plotBytes.size());
    EXPECT_TRUE(std::equal(plotBytes.begin(), plotBytes.end(), plotOnly.end() - long(plotBytes.size())));
    MarvexDoc r;
    TMemoryStream m(plotOnly);
    ASSERT_TRUE(r.doc->ReadWholeFromStream(m));
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_TRUE(r.doc->work_done.Plot_computed);
    EXPECT_EQ(r.doc->fConcPlotList->Count(), 1);
}

TEST(MarvexFile, SavedTagBlock)
{
    MarvexDoc d;
    TMemoryStream empty;
    ASSERT_TRUE(d.doc->SaveArrayOfSavedTags(empty));
    EXPECT_EQ(empty.Bytes(), LEBytes().i32(2147483647).i32(0).i32(1).b);

    // Without the marker: the first Int32 is the count and the version stays as
    // it was (0 in a new document), so records stop after the colours.
    MarvexDoc fresh;
    auto& doc = *fresh.doc;
    LEBytes b;
    b.i32(3);
    b.u8(0).i16(2).u8(0).i32(0x0000FF).i32(0xFFFFFF).str(QStringLiteral("<b>")).str(QStringLiteral("bold")).u8(1);
    b.u8(2).i16(0).u8(1).i32(5).i32(5).str(QString()).str(QStringLiteral("no tag text")).u8(0);
    b.u8(1).i16(1).u8(0).i32(7).i32(7).str(QStringLiteral("</b>")).str(QString()).u8(0);
    auto m = b.stream();
    ASSERT_TRUE(doc.ReadArrayOfSavedTags(m));
    EXPECT_EQ(m.Remaining(), 0);
    // The record without tag text is skipped.
    ASSERT_EQ(doc.fArrayOfSavedTags.size(), 2u);
    EXPECT_EQ(doc.fArrayOfSavedTags[0].stored.tag, QStringLiteral("<b>"));
    EXPECT_EQ(doc.fArrayOfSavedTags[0].stored.partner, 2);
    EXPECT_TRUE(doc.fArrayOfSavedTags[0].sem_colorir);
    // Equal colours take the style's tag colours.
    EXPECT_EQ(doc.fArrayOfSavedTags[1].stored.foreground_colour, kDefaultTagForeground);
    EXPECT_EQ(doc.fArrayOfSavedTags[1].stored.background_colour, kDefaultTagBackground);
    EXPECT_TRUE(doc.DataHasColourTags);
    EXPECT_EQ(doc.fTagFileTagsVersion, 0);

    auto bad = LEBytes().i32(2147483647).i32(1000000).i32(1).stream();
    EXPECT_FALSE(doc.ReadArrayOfSavedTags(bad));
    EXPECT_EQ(doc.fArrayOfSavedTags.size(), 2u);
}

TEST(MarvexFile, AFileWithoutSearchWordBlockTakesItsSearchWordFromTheSettings)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(20, {{3, "cat"}, {9, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    T_WholeMarvexHolder& doc = *d.doc;
    const auto bytes = Saved(doc);
    TMemoryStream env;
    ASSERT_TRUE(doc.TCorvantisholder::SaveToStream(env));
    const size_t settingsAt = size_t(env.Size());
    TMemoryStream before;
    ASSERT_TRUE(doc.fTextFilesWithSearchWord->SaveToStream(before) && doc.SavedNotes(before)
                && doc.SavedTextSettings(before) && doc.SaveArrayOfSavedTags(before));
    const size_t swAt = settingsAt + TConcSettingsRec32::kSize + size_t(before.Size());
    const size_t swSize = cvtest::StreamBytes(*doc.fSWs).size();

    std::vector<uint8_t> old(bytes.begin(), bytes.begin() + long(swAt));
    old.insert(old.end(), bytes.begin() + long(swAt + swSize), bytes.end());
    TConcSettingsRec32 s;
    std::copy_n(old.begin() + long(settingsAt), TConcSettingsRec32::kSize, s.Bytes().begin());
    s.SetStoredFormatLevel(0);
    s.SetSearchWord(QStringLiteral("cat"));
    std::copy(s.Bytes().begin(), s.Bytes().end(), old.begin() + long(settingsAt));

    MarvexDoc r;
    TMemoryStream m(old);
    ASSERT_TRUE(r.doc->ReadWholeFromStream(m)) << r.doc->LastReadError().toStdString();
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(r.doc->fSWs->TypedSearchWords(), QStringList{QStringLiteral("cat")});
    EXPECT_EQ(r.doc->fTagFlagsByte, 0);
    EXPECT_EQ(r.doc->fSearchWordHasPairedTags, std::vector<bool>{false});
    EXPECT_EQ(r.doc->fConcordanceList->Count(), 2);
    // Saved again, it has its search-word block.
    EXPECT_EQ(Saved(*r.doc).size(), bytes.size());
}

TEST(MarvexFile, LinesBeforeVersion15HaveNoUnusedFilesBlock)
{
    MarvexDoc d;
    auto bytes = Saved(*d.doc);
    // No lines, no texts without lines: the last block is marker and version (8 bytes).
    const auto lines = cvtest::StreamBytes(*d.doc->fConcordanceList);
    const size_t linesAt = bytes.size() - 8 - lines.size();
    ASSERT_TRUE(std::equal(lines.begin(), lines.end(), bytes.begin() + long(linesAt)));
    bytes.resize(bytes.size() - 8);
    bytes[linesAt + 6] = 14; // the list's version, after magic and layout
    bytes[linesAt + 7] = 0;
    MarvexDoc r;
    TMemoryStream m(bytes);
    ASSERT_TRUE(r.doc->ReadWholeFromStream(m)) << r.doc->LastReadError().toStdString();
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(r.doc->fConcordanceList->GetVersionNumber(), 14);
}

TEST(MarvexFile, OtherKindsAreRefusedBeforeTheSettingsAreRead)
{
    MarvexDoc d;
    d.AddText(QStringLiteral("a.txt"), Words(20, {{3, "cat"}}));
    ASSERT_TRUE(d.Run(QStringLiteral("cat")));
    const auto bytes = Saved(*d.doc);

    MarvexDoc collocates(kListCollocates);
    collocates.doc->fSettings.SetCharactersPerLine(77);
    TMemoryStream m1(bytes);
    EXPECT_FALSE(collocates.doc->ReadWholeFromStream(m1));
    EXPECT_EQ(collocates.doc->LastReadFailure(), kReadWrongKind);
    EXPECT_EQ(collocates.doc->fSettings.CharactersPerLine(), 77);

    auto other = bytes;
    other[12] = kListWordList; // the kind in the signature
    MarvexDoc r;
    r.doc->fSettings.SetCharactersPerLine(77);
    TMemoryStream m2(other);
    EXPECT_FALSE(r.doc->ReadWholeFromStream(m2));
    EXPECT_EQ(r.doc->LastReadFailure(), kReadWrongKind);
    EXPECT_EQ(r.doc->fSettings.CharactersPerLine(), 77);
}

TEST(MarvexFile, EveryTruncationIsRefusedWithAMessage)
{
    MarvexDoc d;
    MakeFullDocument(d);
    const auto bytes = Saved(*d.doc);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        T_WholeMarvexHolder doc(kListConcordance, nullptr, d.tags.get(), false, false);
        TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        ASSERT_FALSE(doc.ReadWholeFromStream(m)) << "cut at " << cut << " of " << bytes.size();
        ASSERT_FALSE(doc.LastReadError().isEmpty()) << cut;
    }
    // Through the file: the message names the file.
    const QString cutFile = d.dir.write(QStringLiteral("cut.cnc"),
                                        QByteArray(reinterpret_cast<const char*>(bytes.data()), 3000));
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard(&dialogs);
    MarvexDoc r;
    EXPECT_EQ(r.doc->ReadWholeFromFile(cutFile, 1) & 0xFF, 0);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(cutFile));
    EXPECT_FALSE(Global_Busy_Dont_Show_Data);
}

TEST(MarvexFile, RandomDamageNeverCrashes)
{
    MarvexDoc d;
    MakeFullDocument(d);
    const auto good = Saved(*d.doc);
    std::mt19937 random(20260306);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int tried = 0;
    while (tried < 600 && std::chrono::steady_clock::now() < until) {
        auto bad = good;
        const int hits = 1 + int(random() % 4);
        for (int k = 0; k < hits; ++k)
            bad[random() % bad.size()] = uint8_t(random());
        T_WholeMarvexHolder doc(kListConcordance, nullptr, d.tags.get(), false, false);
        TMemoryStream m(std::move(bad));
        if (doc.ReadWholeFromStream(m)) {
            // Whatever was read can be saved again.
            TMemoryStream again;
            EXPECT_TRUE(doc.SaveToStream(again));
        }
        ++tried;
    }
    EXPECT_GT(tried, 50);
}

TEST(MarvexFile, KeptSampleReadsAndSavesToTheSameBytes)
{
    // Written once by MarvexFile.WriteSample (CV_WRITE_SAMPLES=1) and kept.
    const QByteArray kept = cvtest::readAll(SamplePath());
    ASSERT_FALSE(kept.isEmpty()) << SamplePath().toStdString();
    MarvexDoc r;
    ASSERT_EQ(r.doc->ReadWholeFromFile(SamplePath(), 1), 1) << r.doc->LastReadError().toStdString();
    const T_WholeMarvexHolder& doc = *r.doc;
    EXPECT_EQ(doc.fSWs->TypedSearchWords(), (QStringList{QStringLiteral("cat"), QStringLiteral("dog")}));
    ASSERT_EQ(doc.fConcordanceList->Count(), 4);
    EXPECT_EQ(doc.fConcordanceList->Line(0).fData.base.word_num, 5);
    EXPECT_TRUE(doc.fConcordanceList->Line(0).fData.conc_line.contains(QStringLiteral("w4 cat w6")));
    EXPECT_EQ(doc.fTextFilesWithSearchWord->Count(), 2);
    EXPECT_EQ(doc.fTextFilesWithoutSearchWord->Count(), 1);
    EXPECT_TRUE(doc.work_done.Plot_computed && doc.work_done.Collocates_computed && doc.work_done.Clusters_computed
                && doc.work_done.Patterns_computed && doc.work_done.Timeline_computed);
    EXPECT_EQ(doc.fConcPlotList->Count(), 3);
    // Its settings record is of the layout before the minimum cluster
    // frequency: it is read with the minimum its clusters were made with.
    EXPECT_EQ(doc.fSettings.OwnFieldsLayout(), TConcSettingsRec32::kOwnFieldsLayout);
    EXPECT_EQ(doc.fSettings.MinClusterFrequency(), 2);
    // Saved again, it is the same file but for the converted fields: the
    // record follows the signature and the base block (its length first).
    const std::span<const uint8_t> keptBytes(reinterpret_cast<const uint8_t*>(kept.constData()), std::size_t(kept.size()));
    const std::size_t settingsAt = 57 + 4 + std::size_t(cvtest::LEAt<int32_t>(keptBytes, 57));
    ASSERT_EQ(cvtest::LEAt<int16_t>(keptBytes, settingsAt + TConcSettingsRec32::MinClusterFrequencyOffset), 0);
    ASSERT_EQ(uint8_t(kept[qsizetype(settingsAt + TConcSettingsRec32::OwnFieldsLayoutOffset)]), 0);
    QByteArray expected = kept;
    expected[qsizetype(settingsAt + TConcSettingsRec32::MinClusterFrequencyOffset)] = 2;
    expected[qsizetype(settingsAt + TConcSettingsRec32::OwnFieldsLayoutOffset)] = char(TConcSettingsRec32::kOwnFieldsLayout);
    const auto again = Saved(*r.doc);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(again.data()), qsizetype(again.size())), expected);
}

TEST(MarvexFile, WriteSample)
{
    if (qEnvironmentVariable("CV_WRITE_SAMPLES") != QStringLiteral("1"))
        GTEST_SKIP() << "set CV_WRITE_SAMPLES=1 to write the kept sample";
    MarvexDoc d;
    MakeFullDocument(d);
    // The texts are the test's own and go with it: the sample says none is in place.
    d.doc->AtLeastOneTextFileInPlace(false);
    QDir().mkpath(QFileInfo(SamplePath()).absolutePath());
    ASSERT_TRUE(d.doc->SaveToFile(SamplePath()));
}
