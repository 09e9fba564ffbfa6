// The key-word database: its run over key-word files and archives, entries,
// associates and related clusters, merging, and the matrix text export.

#include "kw_testutil.h"

#include "keywords/kwdb_list.h"
#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "suite/zip_archive.h"

#include <QFile>

using namespace cv;
using namespace kwtest;

namespace {

using TKeys = std::vector<std::pair<const char*, int64_t>>;

class KeyWordDatabase : public KeyWordsTest {
protected:
    // A key-word file of one text with these positive key words (and a negative one).
    QString SaveKws(const QString& name, const TKeys& keys)
    {
        T_WholeKeywordsHolder doc(kListKeyWords, nullptr, nullptr, false, false);
        TKeyWordList& kw = *doc.fKWList;
        for (const auto& [w, f] : keys) {
            auto e = std::make_unique<TKeyWordEntry>(&kw);
            e->fWord = QString::fromUtf8(w);
            e->fData.Freq = f;
            e->SetKeyness(float(f) * 2);
            kw.Add(std::move(e));
        }
        auto negative = std::make_unique<TKeyWordEntry>(&kw);
        negative->fWord = QStringLiteral("the");
        negative->SetKeyness(-50);
        kw.Add(std::move(negative));
        TStatsRec rec;
        rec.FileName = name;
        rec.Texts = 1;
        rec.TokensUsed = 1000;
        kw.fKWStats->AddText(rec);
        kw.fKWStats->RecomputeOverall();
        const QString file = dir.file(name);
        EXPECT_TRUE(doc.SaveToFile(file));
        return file;
    }
    std::unique_ptr<T_WholeKeywordsHolder> Database(const QStringList& files)
    {
        auto doc = std::make_unique<T_WholeKeywordsHolder>(kListKeyWordDatabase, nullptr, nullptr, false, false);
        made = doc->ComputeKWDatabase(files);
        return doc;
    }
    static const TKWDB_entry_rec* Entry(const TKWDBList& db, const QString& word)
    {
        const int i = db.IndexOfWord(word);
        return i < 0 ? nullptr : &db.Entry(i).data;
    }
    QStringList FourTexts()
    {
        return {SaveKws(QStringLiteral("a.kws"), {{"sea", 10}, {"ship", 5}, {"storm", 3}}),
                SaveKws(QStringLiteral("b.kws"), {{"sea", 7}, {"ship", 2}}),
                SaveKws(QStringLiteral("c.kws"), {{"sea", 4}, {"ship", 1}, {"gold", 1}}),
                SaveKws(QStringLiteral("d.kws"), {{"gold", 9}, {"storm", 6}})};
    }
    bool made = false;
};

} // namespace

TEST_F(KeyWordDatabase, PoolsTheKeyWordsOfManyFilesWithAssociatesAndClusters)
{
    auto doc = Database(FourTexts());
    ASSERT_TRUE(made);
    EXPECT_EQ(doc->MainFile.ListType, kListKeyWordDatabase);
    const TKWDBList& db = *doc->fKWDBList;
    EXPECT_EQ(db.UsedFileCount(), 4);
    EXPECT_EQ(db.database_total_text_files, 4);
    // Key in at least two texts (the default), positive key words only.
    EXPECT_EQ(db.Count(), 4);
    EXPECT_EQ(Entry(db, "the"), nullptr);
    const TKWDB_entry_rec* sea = Entry(db, "sea");
    ASSERT_NE(sea, nullptr);
    EXPECT_EQ(sea->texts, 3);
    EXPECT_EQ(sea->freq, 21);
    EXPECT_DOUBLE_EQ(sea->keyness, 42.0);
    EXPECT_EQ(db.Entry(0).data.word, QStringLiteral("sea")) << "most texts first";
    EXPECT_NEAR(db.NumericalData(db.IndexOfWord("sea"), TKWDBList::kColTextsPercent), 75.0, 1e-9);
    // ship shares all three of its texts with sea; storm and gold share one text each with sea.
    ASSERT_FALSE(sea->associates.empty());
    EXPECT_EQ(sea->associates[0].word, QStringLiteral("ship"));
    EXPECT_EQ(sea->associates[0].texts, 3);
    EXPECT_FLOAT_EQ(sea->associates[0].dice, 1.0f);
    EXPECT_EQ(sea->associates.size(), 1u);
    // Related clusters: sea with ship; gold with storm (1 shared text is below the minimum of 2).
    EXPECT_EQ(Entry(db, "ship")->cluster, sea->cluster);
    EXPECT_GT(sea->cluster, 0);
    EXPECT_EQ(Entry(db, "gold")->cluster, 0);
    EXPECT_EQ(db.fShowingAssociatesList->Count(), 2);
    EXPECT_EQ(doc->fKWList->fKWStats->Count(), 5) << "overall row and four texts";
    EXPECT_TRUE(doc->fNotes.join(QLatin1Char('\n')).contains(QString(CVKeyWordDatabase)));
}

TEST_F(KeyWordDatabase, FilesWithTooFewKeyWordsAreListedInTheNotes)
{
    Settings([](TKeyWordsSettingsRec& k) { k.Set<int32_t>(TKWDBSettings::kMinKeyWordsOffset, 3); });
    QStringList files = FourTexts();
    for (int i = 0; i < 6; ++i)
        files << SaveKws(QStringLiteral("small%1.kws").arg(i), {{"sea", 1}});
    auto doc = Database(files);
    ASSERT_TRUE(made);
    const TKWDBList& db = *doc->fKWDBList;
    EXPECT_EQ(db.UsedFileCount(), 2) << "a.kws and c.kws have three positive key words";
    EXPECT_EQ(db.UnusedFileCount(), 8);
    const QString notes = doc->fNotes.join(QLatin1Char('\n'));
    EXPECT_TRUE(notes.contains(QString(CVFilesNotMeetingSettings) + QLatin1Char('\t') + Format(CVTotalXEquals, {8})));
    EXPECT_TRUE(notes.contains(QString(CVEtc)));
    EXPECT_EQ(notes.count(QStringLiteral(".kws")), 4) << "four names, then etc.";
}

TEST_F(KeyWordDatabase, ArchivesOfKeyWordFilesAndForeignEntries)
{
    const QStringList files = FourTexts();
    const QString archive = dir.file(QStringLiteral("kws.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(archive));
        for (const QString& f : files)
            ASSERT_TRUE(zip.AddFile(f));
    }
    auto doc = Database({archive});
    ASSERT_TRUE(made);
    EXPECT_EQ(doc->fKWDBList->UsedFileCount(), 4);
    EXPECT_TRUE(dialogs.Requests().empty());

    // A word list inside the archive ends it with a message; what came before stays.
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.OpenArchive(archive));
        ASSERT_TRUE(zip.AddFile(WorkedReference(), QStringLiteral("zz_reference.lst")));
    }
    auto withList = Database({archive});
    EXPECT_TRUE(made);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("WrongToolForFile")});
    EXPECT_EQ(withList->fKWDBList->UsedFileCount(), 4);
    Database({});
    EXPECT_FALSE(made);
}

TEST_F(KeyWordDatabase, MergingTwoDatabasesPoolsTheirTexts)
{
    // Every key word stays an entry, so that the two halves have something to pool.
    Settings([](TKeyWordsSettingsRec& k) { k.Set<int32_t>(TKWDBSettings::kMinTextsOffset, 1); });
    const QStringList files = FourTexts();
    auto first = Database(files.mid(0, 2));
    auto second = Database(files.mid(2));
    // A database's key-word list is merged too.
    auto kept = std::make_unique<TKeyWordEntry>(second->fKWList.get());
    kept->fWord = QStringLiteral("kept");
    second->fKWList->Add(std::move(kept));
    const int keyWordsBefore = first->fKWList->Count();
    ASSERT_TRUE(first->MergeWith(*second, false));
    EXPECT_EQ(first->fKWList->Count(), keyWordsBefore + 1);
    EXPECT_EQ(first->fKWList->Entry(keyWordsBefore).fWord, QStringLiteral("kept"));
    const TKWDBList& db = *first->fKWDBList;
    EXPECT_EQ(db.UsedFileCount(), 4);
    const TKWDB_entry_rec* sea = Entry(db, "sea");
    ASSERT_NE(sea, nullptr);
    EXPECT_EQ(sea->texts, 3);
    EXPECT_EQ(sea->occurrences.back().file, 2) << "the other database's files come after ours";
    ASSERT_FALSE(sea->associates.empty());
    EXPECT_EQ(sea->associates[0].texts, 3);
    EXPECT_EQ(first->fKWList->fKWStats->Count(), 5);
}

TEST_F(KeyWordDatabase, MatrixExportGivesFrequenciesKeynessAndTextSimilarity)
{
    auto doc = Database(FourTexts());
    ASSERT_TRUE(made);
    const QString out = dir.file(QStringLiteral("kwdb.txt"));
    QString error;
    ASSERT_TRUE(doc->fKWDBList->SaveAsMatrixText(out, &error)) << error.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines[0], QStringLiteral("Key-word database\t4 key words\t4 texts"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Key word\tTexts\tMean keyness\ta.kws\tb.kws\tc.kws\td.kws")));
    EXPECT_TRUE(lines.contains(QStringLiteral("sea\t3\t14.00\t10\t7\t4\t0"))) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("sea\t20.00\t14.00\t8.00\t0.00")));
    // a: sea ship storm; b: sea ship; c: sea ship gold; d: gold storm.
    // Dice(a, b) = 2*2/(3+2) = 0.8; a's centrality = (0.8 + 2*2/6 + 2*1/5) / 3.
    EXPECT_TRUE(lines.contains(QStringLiteral("a.kws\t3\t%1").arg((0.8 + 4.0 / 6 + 0.4) / 3, 0, 'f', 4)));
    EXPECT_TRUE(lines.contains(QStringLiteral("a.kws\t1.0000\t0.8000\t0.6667\t0.4000")));
    EXPECT_TRUE(lines.contains(QStringLiteral("d.kws\t2\t%1").arg((0.4 + 0.0 + 0.4) / 3, 0, 'f', 4)));

    T_WholeKeywordsHolder empty(kListKeyWordDatabase, nullptr, nullptr, false, false);
    EXPECT_FALSE(empty.fKWDBList->SaveAsMatrixText(out, &error));
    EXPECT_TRUE(error.contains(out));
}

TEST_F(KeyWordDatabase, FrequenciesBeyond32BitsArePooledSavedAndExported)
{
    constexpr int64_t kMany = 5000000000LL;
    auto doc = Database({SaveKws(QStringLiteral("a.kws"), {{"sea", kMany}, {"ship", 3}}),
                         SaveKws(QStringLiteral("b.kws"), {{"sea", kMany + 1}, {"ship", 4}})});
    ASSERT_TRUE(made);
    const TKWDB_entry_rec* sea = Entry(*doc->fKWDBList, QStringLiteral("sea"));
    ASSERT_NE(sea, nullptr);
    EXPECT_EQ(sea->freq, 2 * kMany + 1);
    ASSERT_EQ(sea->occurrences.size(), 2u);
    EXPECT_EQ(sea->occurrences[0].freq, kMany);
    EXPECT_EQ(sea->occurrences[1].freq, kMany + 1);

    const QString file = dir.file(QStringLiteral("db.kws"));
    ASSERT_TRUE(doc->SaveToFile(file));
    T_WholeKeywordsHolder back(kListKeyWordDatabase, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file)) << back.LastReadError().toStdString();
    const TKWDB_entry_rec* read = Entry(*back.fKWDBList, QStringLiteral("sea"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(*read, *sea);

    const QString out = dir.file(QStringLiteral("db.txt"));
    QString error;
    ASSERT_TRUE(back.fKWDBList->SaveAsMatrixText(out, &error)) << error.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\tKey word\tTexts\tMean keyness\ta.kws\tb.kws").mid(1)));
    EXPECT_TRUE(text.contains(QStringLiteral("\t5000000000\t5000000001\n"))) << text.toStdString();
}
