// The ".kws" file: both kinds save, read and save again to the same bytes;
// kept samples read forever; damaged and foreign files are refused; older
// plot and link layouts read.

#include "kw_testutil.h"

#include "keywords/kw_links.h"
#include "keywords/kw_plots.h"
#include "keywords/kwdb_list.h"
#include "suite/cv_stream.h"
#include "support/le_bytes.h"

#include <QDir>
#include <QFileInfo>

using namespace cv;
using namespace kwtest;

namespace {

void AddKeyWord(TKeyWordList& l, const QString& word, int32_t freq, float keyness)
{
    auto e = std::make_unique<TKeyWordEntry>(&l);
    e->fWord = word;
    e->fData.Freq = freq;
    e->fData.RefFreq = freq / 4;
    e->fData.P = 1e-8f;
    e->fData.SecondScore = keyness / 100;
    e->fData.Percent = freq / 100.0f;
    e->SetKeyness(keyness);
    e->fData.WordNumber = l.Count() + 1;
    l.Add(std::move(e));
}

std::unique_ptr<TGeneralPlotDataList> Positions(const std::vector<int32_t>& p, int32_t words)
{
    auto l = std::make_unique<TGeneralPlotDataList>(words, 8);
    for (int32_t x : p)
        l->Add(x);
    return l;
}

// A key-word document with key words, statistics, plots, links and clusters.
std::unique_ptr<T_WholeKeywordsHolder> FullKeyWordDocument()
{
    auto doc = std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, nullptr, nullptr, false, false);
    TKeyWordList& kw = *doc->fKWList;
    AddKeyWord(kw, QStringLiteral("whale"), 120, 350.5f);
    AddKeyWord(kw, QStringLiteral("ship"), 80, 120.25f);
    AddKeyWord(kw, QStringLiteral("café"), 40, 30.0f);
    AddKeyWord(kw, QStringLiteral("the"), 20, -45.5f);
    TStatsRec text;
    text.FileName = QStringLiteral("moby.txt");
    text.Folder = QStringLiteral("/corpus");
    text.Texts = 1;
    text.TokensUsed = 5000;
    kw.fKWStats->AddText(text);
    kw.fKWStats->RecomputeOverall();
    kw.n_actually_obtained = 4;
    kw.wds_considered_for_Dice = 900;
    kw.DiceCoefficient = 0.4;
    kw.KWSettings.SetSourceTextName(QStringLiteral("/corpus/moby.txt"));
    kw.KWSettings.SetReferenceListName(QStringLiteral("/lists/bnc.lst"));
    kw.KWSettings.SetStudyListNames(QStringLiteral("/lists/moby.lst"));

    TKWPlotList& plots = *doc->fPlots;
    const int32_t words = 5000;
    TKWPlot_entry_rec r;
    r.words_in_file = words;
    // Vectors, not initializer lists: a list inside a pair would dangle after this line.
    const std::pair<const char*, std::vector<int32_t>> rows[] = {
        {"whale", {10, 100, 2000, 4000}}, {"ship", {11, 102, 2003, 4500}}, {"café", {12, 3000}}};
    for (const auto& [w, p] : rows) {
        r.hits = int32_t(p.size());
        r.plot_keyness = 10.0f * float(plots.Count() + 1);
        r.dispersion = 0.5f;
        r.wd_entry_number = plots.Count() + 1;
        plots.AddRow(r, QString::fromUtf8(w), Positions(p, words));
    }
    plots.ResetOverallEntry(QStringLiteral("Overall"), 8);
    for (int i = 0; i < plots.Count(); ++i)
        plots.OverallPlotEntry->PlotPositions().AddFrom(plots.Entry(i).PlotPositions());
    plots.OverallPlotEntry->data.hits = 10;
    plots.words_in_file = words;
    TKeyWordsSettingsRec link = kw.KWSettings;
    link.SetMinLinkSpan(1);
    link.SetMaxLinkSpan(5);
    link.SetMinLinkFrequency(1);
    link.SetMinLinkClusterFrequency(1);
    link.SetMinLinkedKeyWords(1);
    ComputeKeyWordLinks(plots, link, *doc->fKWLinks, *doc->fClusterList);
    doc->fNotes << QStringLiteral("Key-word list") << QStringLiteral("Made\t2024-01-01 10:00");
    return doc;
}

// A database document of three texts.
std::unique_ptr<T_WholeKeywordsHolder> DatabaseDocument()
{
    auto doc = std::make_unique<T_WholeKeywordsHolder>(kListKeyWordDatabase, nullptr, nullptr, false, false);
    TKWDBList& db = *doc->fKWDBList;
    EXPECT_TRUE(db.BeganTheDatabase());
    db.CheckSeed(true);
    const std::vector<std::vector<std::pair<const char*, int>>> texts = {
        {{"sea", 10}, {"ship", 5}, {"storm", 3}}, {{"sea", 7}, {"ship", 2}}, {{"sea", 4}, {"storm", 9}, {"gold", 1}}};
    for (std::size_t t = 0; t < texts.size(); ++t) {
        TKeyWordList kw(nullptr, kListKeyWords, 0);
        for (const auto& [w, f] : texts[t])
            AddKeyWord(kw, QString::fromUtf8(w), f, float(f) * 3);
        TStatsRec rec;
        rec.FileName = QStringLiteral("text%1.txt").arg(t);
        rec.Texts = 1;
        kw.fKWStats->AddText(rec);
        db.AddToDatabase(kw, QStringLiteral("/kws/text%1.kws").arg(t));
    }
    db.AddUnusedFile(QStringLiteral("/kws/empty.kws"));
    EXPECT_TRUE(db.FinishedTheDatabase(4));
    return doc;
}

QString SampleFile(const char* name)
{
    return cvtest::testDataDir() + QStringLiteral("/keywords/") + QString::fromLatin1(name);
}

QByteArray Resaved(const QByteArray& bytes, uint8_t kind)
{
    T_WholeKeywordsHolder back(kind, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_TRUE(back.ReadWholeFromStream(m)) << back.LastReadError().toStdString();
    EXPECT_EQ(m.Position(), m.Size());
    return SavedBytes(back);
}

} // namespace

TEST_F(KeyWordsTest, KeyWordFileSavesReadsAndSavesTheSameBytes)
{
    auto doc = FullKeyWordDocument();
    ASSERT_GT(doc->fKWLinks->Count(), 0);
    ASSERT_GT(doc->fClusterList->Count(), 0);
    const QByteArray first = SavedBytes(*doc);
    EXPECT_EQ(Resaved(first, kListKeyWords), first);

    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(first.begin(), first.end()));
    ASSERT_TRUE(back.ReadWholeFromStream(m));
    EXPECT_EQ(back.MainFile.ListType, kListKeyWords);
    ASSERT_EQ(back.fKWList->Count(), 4);
    EXPECT_EQ(back.fKWList->Entry(2).fWord, QStringLiteral("café"));
    EXPECT_EQ(back.fKWList->Entry(3).fData, doc->fKWList->Entry(3).fData);
    EXPECT_EQ(back.fKWList->fKWStats->Count(), 2);
    EXPECT_EQ(back.fPlots->Count(), 3);
    EXPECT_EQ(back.fPlots->Entry(1).PlotPositions().Positions(), doc->fPlots->Entry(1).PlotPositions().Positions());
    EXPECT_EQ(back.fPlots->OverallPlotEntry->PlotPositions().Count(), 10);
    EXPECT_TRUE(back.fPlots->OverallPlotEntry->data.IsOverallEntry);
    EXPECT_EQ(back.fPlots->words_in_file, 5000);
    EXPECT_TRUE(back.fPlots->reliable_Kwlink_numbers);
    ASSERT_EQ(back.fKWLinks->Count(), doc->fKWLinks->Count());
    EXPECT_EQ(back.fKWLinks->Entry(0).data, doc->fKWLinks->Entry(0).data);
    EXPECT_EQ(back.fClusterList->ClusterData(0), doc->fClusterList->ClusterData(0));
    EXPECT_TRUE(back.fKWList->KWSettings.PlotsComputed());
    EXPECT_TRUE(back.fKWList->KWSettings.LinksComputed());
    EXPECT_EQ(back.fNotes, doc->fNotes);
    EXPECT_EQ(back.fKWList->KWSettings.SourceTextName(), QStringLiteral("/corpus/moby.txt"));
}

TEST_F(KeyWordsTest, DatabaseFileSavesReadsAndSavesTheSameBytes)
{
    auto doc = DatabaseDocument();
    const QByteArray first = SavedBytes(*doc);
    EXPECT_EQ(Resaved(first, kListKeyWordDatabase), first);
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(first.begin(), first.end()));
    ASSERT_TRUE(back.ReadWholeFromStream(m));
    EXPECT_EQ(back.MainFile.ListType, kListKeyWordDatabase);
    ASSERT_EQ(back.fKWDBList->Count(), doc->fKWDBList->Count());
    for (int i = 0; i < back.fKWDBList->Count(); ++i)
        EXPECT_EQ(back.fKWDBList->Entry(i).data, doc->fKWDBList->Entry(i).data);
    EXPECT_EQ(back.fKWDBList->fComputeKWDBFiles, doc->fKWDBList->fComputeKWDBFiles);
    EXPECT_EQ(back.fKWDBList->fComputeKWDBFileObjects, doc->fKWDBList->fComputeKWDBFileObjects);
    EXPECT_EQ(back.fKWDBList->fShowingAssociatesList->Count(), doc->fKWDBList->fShowingAssociatesList->Count());
    EXPECT_EQ(back.fKWList->fKWStats->Count(), 4) << "the pooled texts' statistics travel with the database";
    EXPECT_EQ(back.fPlots->Count(), 0);
}

TEST_F(KeyWordsTest, AnEmptyKeyWordDocumentReadsBackWithNothingComputed)
{
    T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
    doc.fKWList->KWSettings.SetPlotsComputed(true);
    const QByteArray bytes = SavedBytes(doc);
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_TRUE(back.ReadWholeFromStream(m));
    EXPECT_FALSE(back.fKWList->KWSettings.PlotsComputed());
    EXPECT_FALSE(back.fKWList->KWSettings.LinksComputed());
    EXPECT_EQ(SavedBytes(back), bytes);
}

TEST_F(KeyWordsTest, LinkHitsAreStoredNegativeAndReadPositive)
{
    TKWPlotList plots(nullptr, 0);
    TKWLinkList links(nullptr, 0, &plots);
    TKWLink_entry_rec rec{17, QStringLiteral("sea"), {{2, 5}, {3, 1}}};
    TKWLinkEntry e(&links, rec);
    TMemoryStream m;
    ASSERT_TRUE(e.SaveToStream(m));
    const int32_t stored = cvtest::LEAt<int32_t>(m.Bytes(), 0);
    EXPECT_EQ(stored, -17);
    EXPECT_EQ(e.data.hits, 17);
    m.SetPosition(0);
    TKWLinkEntry back(&links);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.data, rec);
}

TEST_F(KeyWordsTest, KeptSamplesReadForeverAndSaveByteForByte)
{
    // keywords_v1.kws was saved when links were kept both ways, keywords_v2.kws
    // after each link went under the earlier of its two key words,
    // keywords_v3.kws (and kwdb_v2.kws) once frequencies were 64-bit. Each is
    // saved again in today's layout: as the newest sample of the same
    // document, byte for byte; v1, whose links stay as stored, as itself
    // saved once more.
    struct TSample {
        const char* name;
        const char* savedAs;
    };
    for (const TSample sample : {TSample{"keywords_v1.kws", nullptr}, TSample{"keywords_v2.kws", "keywords_v3.kws"},
                                 TSample{"keywords_v3.kws", "keywords_v3.kws"}, TSample{"kwdb_v1.kws", "kwdb_v2.kws"},
                                 TSample{"kwdb_v2.kws", "kwdb_v2.kws"}}) {
        SCOPED_TRACE(sample.name);
        const QString file = SampleFile(sample.name);
        ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
        ASSERT_TRUE(doc.ReadWholeFromFile(file)) << doc.LastReadError().toStdString();
        const QByteArray saved = SavedBytes(doc);
        if (sample.savedAs) {
            EXPECT_EQ(saved, cvtest::readAll(SampleFile(sample.savedAs)));
        } else {
            T_WholeKeywordsHolder again(kListKeyWords, nullptr, nullptr, false, false);
            TMemoryStream m(std::vector<uint8_t>(saved.begin(), saved.end()));
            ASSERT_TRUE(again.ReadWholeFromStream(m));
            EXPECT_EQ(SavedBytes(again), saved);
        }
        if (doc.MainFile.ListType == kListKeyWords) {
            EXPECT_EQ(doc.fKWList->Count(), 4);
            EXPECT_EQ(doc.fPlots->Count(), 3);
            EXPECT_GT(doc.fKWLinks->Count(), 0);
        } else {
            EXPECT_EQ(doc.MainFile.ListType, kListKeyWordDatabase);
            EXPECT_GT(doc.fKWDBList->Count(), 0);
        }
    }
    // The key words of the 32-bit layout read as those of today's.
    T_WholeKeywordsHolder older(kListKeyWords, nullptr, nullptr, false, false), newer(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(older.ReadWholeFromFile(SampleFile("keywords_v1.kws")));
    ASSERT_TRUE(newer.ReadWholeFromFile(SampleFile("keywords_v3.kws")));
    ASSERT_EQ(older.fKWList->Count(), newer.fKWList->Count());
    for (int i = 0; i < older.fKWList->Count(); ++i) {
        EXPECT_EQ(older.fKWList->Entry(i).fWord, newer.fKWList->Entry(i).fWord);
        EXPECT_EQ(older.fKWList->Entry(i).fData, newer.fKWList->Entry(i).fData);
    }
}

TEST_F(KeyWordsTest, LinksOfOlderFilesReadAsTheyWereStored)
{
    // whale, ship, café: whale-ship 3 times, whale-café and ship-café once.
    auto partners = [](const T_WholeKeywordsHolder& doc, const QString& word) {
        for (int i = 0; i < doc.fKWLinks->Count(); ++i)
            if (doc.fKWLinks->Entry(i).data.w == word)
                return doc.fKWLinks->Entry(i).data.linked_words_info;
        return std::vector<TKWLinkEntryLinkedInfoRec>{};
    };
    T_WholeKeywordsHolder both(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(both.ReadWholeFromFile(SampleFile("keywords_v1.kws")));
    ASSERT_EQ(both.fKWLinks->Count(), 3);
    EXPECT_EQ(partners(both, QStringLiteral("ship")), (std::vector<TKWLinkEntryLinkedInfoRec>{{1, 3}, {3, 1}}));
    EXPECT_EQ(partners(both, QStringLiteral("café")), (std::vector<TKWLinkEntryLinkedInfoRec>{{1, 1}, {2, 1}}));

    T_WholeKeywordsHolder later(kListKeyWords, nullptr, nullptr, false, false);
    ASSERT_TRUE(later.ReadWholeFromFile(SampleFile("keywords_v2.kws")));
    ASSERT_EQ(later.fKWLinks->Count(), 2);
    EXPECT_EQ(partners(later, QStringLiteral("whale")), (std::vector<TKWLinkEntryLinkedInfoRec>{{2, 3}, {3, 1}}));
    EXPECT_EQ(partners(later, QStringLiteral("ship")), (std::vector<TKWLinkEntryLinkedInfoRec>{{3, 1}}));
    // Recomputing an older document's links gives today's form.
    ASSERT_TRUE(both.fKWList->KWSettings.PlotsComputed());
    // (with the link settings the sample was made with).
    TKeyWordsSettingsRec fresh = GetKeywordsSettings();
    fresh.SetMinLinkSpan(1);
    fresh.SetMaxLinkSpan(5);
    fresh.SetMinLinkFrequency(1);
    fresh.SetMinLinkedKeyWords(1);
    SetKeywordsSettings(fresh);
    both.ComputeAllLinks();
    EXPECT_EQ(both.fKWLinks->Count(), 2);
    EXPECT_EQ(partners(both, QStringLiteral("ship")), (std::vector<TKWLinkEntryLinkedInfoRec>{{3, 1}}));
}

TEST_F(KeyWordsTest, TheColourBlockIsReadAsItsVersionSays)
{
    auto doc = FullKeyWordDocument();
    doc->fKWList->KWSettings.SetColourBlockVersion(0);
    const QByteArray saved = SavedBytes(*doc);
    // Saving writes the version of the block it writes.
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(saved.constData()), std::size_t(saved.size()));
    const std::size_t record = 57 + 4 + std::size_t(cvtest::LEAt<int32_t>(bytes, 57)) + 4;
    ASSERT_EQ(cvtest::LEAt<int32_t>(bytes, record + TKeyWordsSettingsRec::ColourBlockVersionOffset), 1);
    const std::size_t colours = record + TKeyWordsSettingsRec::kSize;

    // A record of version 0 has no colour block after it.
    QByteArray older = saved;
    older.remove(qsizetype(colours), qsizetype(T_WholeKeywordsHolder::kColourBlockSize));
    cvtest::PutLE<int32_t>(older, record + TKeyWordsSettingsRec::ColourBlockVersionOffset, 0);
    {
        T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
        TMemoryStream m(std::vector<uint8_t>(older.begin(), older.end()));
        ASSERT_TRUE(back.ReadWholeFromStream(m)) << back.LastReadError().toStdString();
        EXPECT_EQ(back.fKWList->Count(), 4);
        EXPECT_EQ(back.fPlots->Count(), 3);
    }
    // A version this program does not know is refused.
    QByteArray later = saved;
    cvtest::PutLE<int32_t>(later, record + TKeyWordsSettingsRec::ColourBlockVersionOffset, 2);
    T_WholeKeywordsHolder refused(kListKeyWords, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(later.begin(), later.end()));
    EXPECT_FALSE(refused.ReadWholeFromStream(m));
}

TEST_F(KeyWordsTest, ReadingSortsTheStatisticsAndKeepsTheDataFieldsMark)
{
    auto doc = FullKeyWordDocument();
    TStatsRec second;
    second.FileName = QStringLiteral("another.txt");
    second.TokensUsed = 9000;
    doc->fKWList->fKWStats->AddText(second);
    doc->fKWList->fKWStats->SetSort(ss_TokensUsed);
    doc->HasAllDataFields = false;
    const QByteArray saved = SavedBytes(*doc);
    T_WholeKeywordsHolder back(kListKeyWords, nullptr, nullptr, false, false);
    TMemoryStream m(std::vector<uint8_t>(saved.begin(), saved.end()));
    ASSERT_TRUE(back.ReadWholeFromStream(m));
    // The statistics come back sorted on their first column, in the order they were stored.
    EXPECT_EQ(back.fKWList->fKWStats->SortLevel(0).key, ss_RowNumber);
    EXPECT_EQ(back.fKWList->fKWStats->Row(1)->Data().FileName, QStringLiteral("moby.txt"));
    EXPECT_EQ(back.fKWList->fKWStats->Row(2)->Data().FileName, QStringLiteral("another.txt"));
    // Not every data field was there: the file says so, and reading keeps it.
    EXPECT_FALSE(back.HasAllDataFields);
}

TEST_F(KeyWordsTest, MergedLinksPointAtTheirPlotRowsInTheMergedList)
{
    auto one = FullKeyWordDocument();
    auto other = FullKeyWordDocument();
    other->fPlots->Entry(0).w = QStringLiteral("orca");
    other->fPlots->Entry(1).w = QStringLiteral("sloop");
    other->fPlots->Entry(2).w = QStringLiteral("latte");
    const int plotsBefore = one->fPlots->Count();
    const int linksBefore = one->fKWLinks->Count();
    ASSERT_TRUE(one->MergeWith(*other, false));
    ASSERT_EQ(one->fPlots->Count(), 2 * plotsBefore);
    ASSERT_EQ(one->fKWLinks->Count(), 2 * linksBefore);
    for (int i = linksBefore; i < one->fKWLinks->Count(); ++i)
        for (const TKWLinkEntryLinkedInfoRec& r : one->fKWLinks->Entry(i).data.linked_words_info)
            EXPECT_GT(r.link_wordtype_nums_1based, plotsBefore) << i;
    // The other's whale linked its own ship and café: the merged rows 5 and 6.
    int orca = -1;
    for (int i = linksBefore; i < one->fKWLinks->Count(); ++i)
        if (one->fKWLinks->Entry(i).data.w == QStringLiteral("whale"))
            orca = i;
    ASSERT_GE(orca, 0);
    EXPECT_EQ(one->fKWLinks->LinkedWords(orca), (QStringList{QStringLiteral("sloop"), QStringLiteral("latte")}));
    EXPECT_EQ(one->fPlots->Entry(plotsBefore).data.wd_entry_number, plotsBefore + 1);
    EXPECT_EQ(one->fPlots->Entry(plotsBefore).w, QStringLiteral("orca"));
    // Both texts' statistics, with the texts counted together.
    EXPECT_EQ(one->fKWList->fKWStats->Count(), 3);
    EXPECT_EQ(one->fKWList->fKWStats->Row(0)->Data().Texts, 2);
}

// Writes the kept samples (run by hand with --gtest_also_run_disabled_tests
// when the format changes on purpose; the old samples stay too).
TEST_F(KeyWordsTest, DISABLED_WriteKeptSamples)
{
    QDir().mkpath(QFileInfo(SampleFile("keywords_v3.kws")).absolutePath());
    ASSERT_TRUE(FullKeyWordDocument()->SaveToFile(SampleFile("keywords_v3.kws")));
    ASSERT_TRUE(DatabaseDocument()->SaveToFile(SampleFile("kwdb_v2.kws")));
}

TEST_F(KeyWordsTest, DamagedAndForeignFilesAreRefusedAndChangeNothing)
{
    const QByteArray good = SavedBytes(*FullKeyWordDocument());
    auto target = FullKeyWordDocument();
    target->fKWList->Entry(0).fWord = QStringLiteral("kept");
    for (int cut = 57; cut < good.size(); cut += std::max(1, int(good.size() / 40))) {
        TMemoryStream m(std::vector<uint8_t>(good.begin(), good.begin() + cut));
        EXPECT_FALSE(target->ReadWholeFromStream(m)) << cut;
        ASSERT_EQ(target->fKWList->Count(), 4);
        EXPECT_EQ(target->fKWList->Entry(0).fWord, QStringLiteral("kept"));
    }
    // A word list is no key-word file.
    const QString list = WorkedReference();
    T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
    EXPECT_EQ(doc.ReadWholeFromFile(list, kToolWordList) & 0xFF, 0);
    EXPECT_EQ(doc.LastReadFailure(), kReadWrongKind);
    EXPECT_TRUE(doc.LastReadError().contains(QStringLiteral("not a key-word file")));
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.contains(list));
}

// ---------------------------------------------------------------------------
// Older layouts of the plot and link lists

namespace {

// Entries written as older versions wrote them.
class TOldPlotEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    float keyness = 0, dispersion = 0;
    int32_t linkTokens = 0, words = 0, hits = 0;
    QString word;
    bool SaveToStream(TStream& s) const override
    {
        TGeneralPlotDataList positions(words, 8);
        positions.Add(5);
        return s.WriteF32(keyness) && s.WriteF32(dispersion) && s.WriteI32(linkTokens) && s.WriteI32(words)
            && s.WriteI32(hits) && WriteAString(s, word) && positions.SaveToStream(s);
    }
};

class TOldLinkEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    int32_t hits = 0;
    QString word;
    std::vector<int32_t> partners, freqs;
    bool SaveToStream(TStream& s) const override
    {
        // Negative hits announced the frequencies after the partner numbers.
        if (!s.WriteI32(freqs.empty() ? hits : -hits) || !WriteAString(s, word) || !s.WriteI32(int32_t(partners.size())))
            return false;
        for (int32_t p : partners)
            if (!s.WriteI32(p))
                return false;
        for (int32_t f : freqs)
            if (!s.WriteI32(f))
                return false;
        return true;
    }
};

template <typename TEntry>
class TOldList final : public TCVBaseLemmaMatchCapableList {
public:
    TOldList(uint8_t type, int32_t version)
        : TCVBaseLemmaMatchCapableList(
              nullptr, [](TCVBaseDataClass& l) { return std::make_unique<TEntry>(&l); }, type, 0, version)
    {
    }
};

} // namespace

TEST_F(KeyWordsTest, OlderPlotListsAreRenumberedAndTheirLinksEmptied)
{
    TMemoryStream m;
    TOldList<TOldPlotEntry> oldPlots(kListKeyWordPlot, 14);
    for (const char* w : {"alpha", "beta", "gamma"}) {
        auto e = std::make_unique<TOldPlotEntry>(&oldPlots);
        e->word = QString::fromLatin1(w);
        e->keyness = 12.5f;
        e->hits = 1;
        e->words = 100;
        e->linkTokens = 3;
        oldPlots.Add(std::move(e));
    }
    ASSERT_TRUE(oldPlots.SaveToStream(m));
    TOldList<TOldLinkEntry> oldLinks(kListKeyWordLinks, 1);
    for (bool withFreqs : {false, true}) {
        auto e = std::make_unique<TOldLinkEntry>(&oldLinks);
        e->hits = 7;
        e->word = QStringLiteral("alpha");
        e->partners = {2, 3};
        if (withFreqs)
            e->freqs = {4, 1};
        oldLinks.Add(std::move(e));
    }
    ASSERT_TRUE(oldLinks.SaveToStream(m));
    ASSERT_TRUE(m.WriteI32(1234));

    m.SetPosition(0);
    TKWPlotList plots(nullptr, 0);
    ASSERT_TRUE(plots.ReadFromStream(m));
    ASSERT_EQ(plots.Count(), 3);
    EXPECT_FALSE(plots.reliable_Kwlink_numbers);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(plots.Entry(i).data.wd_entry_number, i + 1);
        EXPECT_EQ(plots.Entry(i).data.divisions, 8);
        EXPECT_EQ(plots.Entry(i).data.link_tokens, 3);
        EXPECT_FLOAT_EQ(plots.Entry(i).data.plot_keyness, 12.5f);
    }
    EXPECT_EQ(plots.Entry(2).w, QStringLiteral("gamma"));
    TKWLinkList links(nullptr, 0, &plots);
    ASSERT_TRUE(links.ReadFromStream(m));
    ASSERT_EQ(links.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(links.Entry(i).data.hits, 7);
        EXPECT_TRUE(links.Entry(i).data.linked_words_info.empty());
    }
    int32_t after = 0;
    ASSERT_TRUE(m.ReadI32(after));
    EXPECT_EQ(after, 1234) << "both layouts were read to their ends";
}
