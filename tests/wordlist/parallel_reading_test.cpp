// Texts read on several threads and added in text order: the same lists,
// statistics and notes of unread texts as when one thread reads them all.

#include "suite/decipher.h"
#include "suite/zip_archive.h"
#include "support/failing_allocations.h"
#include "support/threads_refused.h"
#include "textread/tag_handler.h"
#include "wordlist/parallel_reading.h"
#include "wordlist/word_folding.h"
#include "wordlist/wordlist_buffer_processor.h"
#include "wordlist_testutil.h"

#include <QFile>

#include <random>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

using namespace cv;
using namespace wordlist_test;

namespace {

// Texts whose words repeat across them in a Zipf-like spread (so that each
// thread meets types the others met first), with capitals, numbers,
// apostrophes, accents, characters beyond the BMP, words longer than a
// type's prefix, sentences and paragraphs; besides them an empty text,
// one of binary data and one that is gone before the job reads it.
QByteArray Binary()
{
    QByteArray b(4096, '\0');
    for (int k = 0; k < b.size(); ++k)
        b[k] = char((k * 37) % 7);
    return b;
}

std::vector<std::pair<QString, QByteArray>> Corpus(int texts, int wordsPerText, int vocabulary)
{
    const QStringList extra = {QStringLiteral("Don't"), QStringLiteral("café"), QStringLiteral("1,000"),
                               QStringLiteral("42"), QStringLiteral("\U0001D400lpha"),
                               QStringLiteral("extraordinarilylongcompoundword"), QStringLiteral("THE")};
    std::mt19937 rng(7);
    std::vector<std::pair<QString, QByteArray>> out;
    for (int t = 0; t < texts; ++t) {
        QString text;
        for (int w = 0; w < wordsPerText; ++w) {
            const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            const int rank = int(std::pow(double(vocabulary), u)) - 1;
            text += rank % 17 == 3 ? extra[rank % extra.size()] : QStringLiteral("w%1x").arg(rank, 0, 36);
            text += w % 11 == 10 ? QStringLiteral(".\n") : w % 53 == 52 ? QStringLiteral("\n\n") : QStringLiteral(" ");
        }
        out.emplace_back(QStringLiteral("t%1.txt").arg(t, 3, 10, QLatin1Char('0')), text.toUtf8());
        if (t == 2)
            out.emplace_back(QStringLiteral("t%1e.txt").arg(t), QByteArray());
        if (t == 5)
            out.emplace_back(QStringLiteral("t%1b.bin").arg(t), Binary());
    }
    return out;
}

QByteArray Bytes(const TCVBaseLemmaMatchCapableList& constList)
{
    auto& list = const_cast<TCVBaseLemmaMatchCapableList&>(constList);
    TMemoryStream m;
    EXPECT_TRUE(list.SaveToStream(m));
    return cvtest::toBytes(m.Bytes());
}

class ParallelReading : public WordlistTest {
protected:
    struct TRun {
        bool made = false;
        QByteArray list, stats;
        QStringList unread, reasons;
        std::vector<std::pair<uint8_t, int32_t>> statusAndWords;
    };
    // The texts written (the same files for every run: their times are in
    // the statistics).
    QStringList Write(const std::vector<std::pair<QString, QByteArray>>& texts)
    {
        QStringList files;
        for (const auto& [name, bytes] : texts)
            files << dir.write(name, bytes);
        return files;
    }
    // One word list of the texts, read by `threads` threads; with
    // `withGone`, a last text is gone before the job reads it.
    TRun Run(const QStringList& files, int threads, std::function<int(const QString&)> onDud = {},
             bool withGone = false, TTagHandlerBase* tags = nullptr)
    {
        TCVFileDetails chosen(true, {});
        for (const QString& f : files)
            chosen.ToolAddAFile(f);
        if (withGone) {
            chosen.ToolAddAFile(dir.write(QStringLiteral("gone.txt"), QByteArray("soon gone")));
            QFile::remove(dir.file(QStringLiteral("gone.txt")));
        }
        T_WholeWordlistHolder doc(kListWordList, nullptr, tags, false, true,
                                  onDud ? std::move(onDud) : [](const QString&) { return 0; });
        doc.SetReadingThreads(threads);
        doc.SetChunkUnits(chunkUnits);
        int32_t converted = 0;
        TRun r;
        r.made = doc.MakeWordlist(chosen, 0, converted, kListWordList);
        if (r.made) {
            r.list = Bytes(List(doc));
            r.stats = Bytes(*doc.fStats);
        }
        r.unread = doc.dud_compute_files;
        r.reasons = doc.UnreadTextReasons();
        for (int i = 0; i < chosen.FileCount(); ++i)
            r.statusAndWords.emplace_back(chosen.File(i)->Status, chosen.File(i)->Words);
        return r;
    }
    static void ExpectSame(const TRun& one, const TRun& many, int threads)
    {
        EXPECT_EQ(one.made, many.made) << threads;
        EXPECT_TRUE(one.list == many.list) << threads << " threads: the word list differs";
        EXPECT_TRUE(one.stats == many.stats) << threads << " threads: the statistics differ";
        EXPECT_EQ(one.unread, many.unread) << threads;
        EXPECT_EQ(one.reasons, many.reasons) << threads;
        EXPECT_EQ(one.statusAndWords, many.statusAndWords) << threads;
    }
};

TEST_F(ParallelReading, ListsAndStatisticsAreThoseOfOneThread)
{
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\nw1x\nw5x\n"));
    const QStringList files = Write(Corpus(24, 900, 3000));
    const TRun one = Run(files, 1, {}, true);
    ASSERT_TRUE(one.made);
    ASSERT_EQ(one.unread.size(), 2); // the binary text and the gone one
    for (int threads : {2, 3, 8}) {
        // Small chunks too: the texts' words cut across many chunks on every thread.
        for (int32_t units : {0, 200}) {
            chunkUnits = units;
            ExpectSame(units == 0 ? one : Run(files, 1, {}, true), Run(files, threads, {}, true), threads);
        }
    }
}

TEST_F(ParallelReading, SettingsThatChangeTheWordsApplyOnEveryThread)
{
    // Numbers kept, words of 2 to 12 characters.
    TTextSettings s = Settings();
    s.SetKeepNumbers(true);
    s.SetMinWordLength(2);
    s.SetMaxWordLength(12);
    Use(s);
    const QStringList files = Write(Corpus(10, 400, 500));
    const TRun one = Run(files, 1);
    ASSERT_TRUE(one.made);
    ExpectSame(one, Run(files, 4), 4);
}

TEST_F(ParallelReading, ManyTypesManyTextsAndTextsOfOneWordOrNoneGiveTheListOfOneThread)
{
    // Sixty texts over a vocabulary of 60,000 (a long tail of types met in
    // one text only); among them, and first and last, texts of one word
    // (one met everywhere, one met nowhere else), empty ones, one of blanks
    // and one whose words are all numbers.
    std::vector<std::pair<QString, QByteArray>> texts = Corpus(60, 2500, 60000);
    const std::vector<std::pair<QString, QByteArray>> small = {
        {QStringLiteral("a0empty.txt"), QByteArray()},
        {QStringLiteral("a1one.txt"), QByteArray("w0x")},
        {QStringLiteral("a2alone.txt"), QByteArray("Nowhere-else.")},
        {QStringLiteral("a3blanks.txt"), QByteArray(" \n\n  \n")},
        {QStringLiteral("a4numbers.txt"), QByteArray("1961 42, 7.\n")},
        {QStringLiteral("a5accent.txt"), QByteArray("Caf\xc3\xa9")},
    };
    texts.insert(texts.begin(), small.begin(), small.begin() + 2);
    texts.insert(texts.begin() + 30, small.begin() + 2, small.end());
    // Types first met late: near the end, a text of 6,000 types no text
    // met before (thousands new to each slice at once), their first and
    // later meetings mixed with those of types every thread knows.
    QByteArray late;
    for (int w = 0; w < 6000; ++w) {
        const QString again = w % 3 == 0 ? QStringLiteral("w%1x").arg(w % 40, 0, 36)   // known everywhere
                                         : QStringLiteral("Late%1Q").arg(w / 2, 0, 36); // met in this text
        late += QStringLiteral("late%1q %2 ").arg(w, 0, 36).arg(again).toUtf8();
    }
    texts.emplace(texts.end() - 2, QStringLiteral("late.txt"), late);
    texts.insert(texts.end(), small.begin(), small.begin() + 3);
    for (std::size_t k = 0; k < texts.size(); ++k)
        texts[k].first = QStringLiteral("%1_%2").arg(int(k), 3, 10, QLatin1Char('0')).arg(texts[k].first);
    const QStringList files = Write(texts);
    const TRun one = Run(files, 1);
    ASSERT_TRUE(one.made);
    ASSERT_EQ(one.unread.size(), 1); // the binary text
    for (int threads : {2, 4, 7})
        ExpectSame(one, Run(files, threads), threads);
}

TEST_F(ParallelReading, TaggedWordsStayApartOnEveryThread)
{
    // Words spelt alike with different tags are different types: each
    // thread, and each slice of the run's types, keeps them apart, also
    // when the last texts meet thousands of words new to the run, each
    // under several tags.
    const auto tags = ShowTags({"<w NN>", "<w VB>", "<w AJ>"});
    std::mt19937 rng(11);
    std::vector<std::pair<QString, QByteArray>> texts;
    for (int k = 0; k < 16; ++k) {
        const bool late = k >= 12;
        QString text;
        for (int w = 0; w < (late ? 3000 : 400); ++w) {
            if (rng() % 3 != 0)
                text += QStringLiteral("<w %1>").arg(QStringList{"NN", "VB", "AJ"}[int(rng() % 3)]);
            text += QStringLiteral("w%1x ").arg(int(rng() % (late ? 4000 : 300)), 0, 36);
        }
        texts.emplace_back(QStringLiteral("t%1.txt").arg(k, 2, 10, QLatin1Char('0')), text.toUtf8());
    }
    const QStringList files = Write(texts);
    const TRun one = Run(files, 1, {}, false, tags.get());
    ASSERT_TRUE(one.made);
    ExpectSame(one, Run(files, 4, {}, false, tags.get()), 4);
}

TEST_F(ParallelReading, AnUnreadTextThatStopsTheJobStopsItWhereOneThreadStops)
{
    const QStringList files = Write(Corpus(12, 300, 400));
    int asked = 0;
    auto stopAtFirst = [&asked](const QString&) {
        ++asked;
        return 1;
    };
    const TRun one = Run(files, 1, stopAtFirst);
    EXPECT_FALSE(one.made);
    EXPECT_EQ(asked, 1);
    asked = 0;
    const TRun many = Run(files, 5, stopAtFirst);
    EXPECT_EQ(asked, 1);
    ExpectSame(one, many, 5);
    // The texts after it were not taken as read.
    ASSERT_EQ(many.statusAndWords.size(), std::size_t(files.size()));
    EXPECT_EQ(many.statusAndWords.back().first, 0);
}

TEST_F(ParallelReading, ThreadsTheSystemCannotStartAreDoneWithout)
{
    const QStringList files = Write(Corpus(12, 300, 400));
    const TRun one = Run(files, 1);
    ASSERT_TRUE(one.made);
    cvtest::TThreadsRefused refused;
    ExpectSame(one, Run(files, 4), 4);
}

TEST_F(ParallelReading, RunningShortOfMemoryOnAReadingThreadStopsTheJobWithAMessage)
{
    // Loose texts, texts inside an archive and an enciphered one: each kind
    // is opened on the reading threads.
    QStringList files = Write(Corpus(4, 60, 80));
    const QByteArray plain = Corpus(1, 60, 80)[0].second;
    files << dir.write(QStringLiteral("sealed.CVencrypted"),
                       cvtest::toBytes(EncipheredBytes(
                           {reinterpret_cast<const uint8_t*>(plain.constData()), std::size_t(plain.size())}, 3)));
    TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(dir.file(QStringLiteral("texts.zip"))));
    std::vector<TZipNewEntry> entries(2);
    entries[0].name = QStringLiteral("in/one.txt");
    entries[0].data.assign(plain.begin(), plain.end());
    entries[1].name = QStringLiteral("in/two.txt");
    entries[1].data.assign(plain.rbegin(), plain.rend());
    ASSERT_TRUE(zip.AddEntries(entries)) << zip.ErrorString().toStdString();
    zip.CloseArchive();
    files << dir.file(QStringLiteral("texts.zip"));
    const TRun whole = Run(files, 1);
    ASSERT_TRUE(whole.made);
    ASSERT_TRUE(whole.unread.isEmpty()) << whole.reasons.join(QLatin1Char('\n')).toStdString();

    TCVFileDetails chosen(true, {});
    for (const QString& f : files)
        chosen.ToolAddAFile(f);
    auto job = [&](QString& message) {
        Global_run_without_error_messages = true;
        Global_FailureMessage.clear();
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, true, [](const QString&) { return 0; });
        doc.SetReadingThreads(3);
        int32_t converted = 0;
        cvtest::ShortageFromHere();
        const bool ok = doc.MakeWordlist(chosen, 0, converted, kListWordList);
        cvtest::ShortageToHere();
        message = doc.JobFailure().isEmpty() ? Global_FailureMessage : doc.JobFailure();
        return ok && Bytes(List(doc)) == whole.list;
    };
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemoryOnItsThreads(job));
}

// The reader directly: a run whose vocabulary grows large, a run stopped
// between texts.
class ParallelReader : public WordlistTest {
protected:
    void SetUp() override
    {
        WordlistTest::SetUp();
        for (const auto& [name, bytes] : Corpus(15, 500, 2000)) {
            if (name.endsWith(QLatin1String(".bin")))
                continue;
            records.push_back({});
            records.back().FullFilename = dir.write(name, bytes);
        }
        for (std::size_t k = 0; k < records.size(); ++k)
            toRead.push_back({&records[k], int32_t(k)});
    }
    std::unique_ptr<TWordlistTree> NewRun(TWordlistRunContext& c, TWordFolder& folder)
    {
        auto tree = std::make_unique<TWordlistTree>();
        c.tree = tree.get();
        c.folder = &folder;
        c.settings = Settings();
        c.tool = kToolWordList;
        return tree;
    }
    // The run's tree: its types in order with their spellings and
    // frequencies, the spread computed from its records, its parts.
    static std::vector<std::string> Described(const TWordlistTree& tree)
    {
        std::vector<std::string> out;
        const TWordlistTree::TSpread spread = tree.ComputeSpread();
        for (uint32_t id = 0; id < uint32_t(tree.Count()); ++id) {
            const std::u16string_view w = tree.Text(id);
            out.push_back(QString(reinterpret_cast<const QChar*>(w.data()), qsizetype(w.size())).toStdString() + " "
                          + std::to_string(tree.Type(id).freq) + " " + std::to_string(spread.texts[id]) + " "
                          + std::to_string(spread.dispersion[id]));
        }
        for (int32_t p = 0; p < tree.PartCount(); ++p)
            out.push_back("part " + std::to_string(tree.PartWords(p)));
        return out;
    }
    std::vector<TChosenTextRec> records;
    std::vector<TTextToRead> toRead; // the records, numbered in order
};

TEST_F(ParallelReader, TheRunsTreeIsThatOfOneThreadWhateverTheSlicesAndWhatEachThreadKeeps)
{
    // Stop-list types are counted, but have no part records.
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("w1x\nw2x\nthe\n"));
    TWordFolder folder(Settings());
    TWordlistRunContext one;
    auto oneTree = NewRun(one, folder);
    one.stopList = true;
    std::vector<TStatsRec> oneRows;
    for (int32_t k = 0; k < int32_t(records.size()); ++k) {
        TWordlistBufferProcessor p(nullptr, one, records[std::size_t(k)], k, nullptr, kListWordList, 0, {});
        ASSERT_TRUE(p.ReadAndProcess(int32_t(records.size())));
        oneRows.push_back(p.TextStatistics());
    }
    // Threads whose trees start afresh after every text, after a few, or
    // never; the run's types in one slice, in a few, or in as many as a
    // large corpus gets.
    for (int64_t most : {int64_t(1), int64_t(400), TParallelWordlistReading::kMostThreadTypes}) {
        for (int bits : {0, 3, 6}) {
            const std::string what = std::to_string(most) + " types a thread, " + std::to_string(bits) + " slice bits";
            TWordlistRunContext many;
            auto manyTree = NewRun(many, folder);
            many.stopList = true;
            TParallelWordlistReading reading(many, 3, nullptr, nullptr, kListWordList, 0);
            reading.SetMostThreadTypes(most);
            reading.SetSliceBits(bits);
            std::vector<TStatsRec> rows;
            std::vector<int32_t> order;
            EXPECT_TRUE(reading.Run(
                toRead, int32_t(records.size()),
                [&](const TTextToRead& t, const TTextReadOutcome& o) {
                    EXPECT_TRUE(o.ok && o.handled.has_value());
                    order.push_back(t.index);
                    rows.push_back(o.row);
                    return true;
                },
                [] { return true; }));
            EXPECT_EQ(reading.HandedOver(), records.size()) << what;
            EXPECT_EQ(order.size(), records.size()) << what;
            EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << what;
            EXPECT_EQ(rows, oneRows) << what;
            EXPECT_EQ(Described(*manyTree), Described(*oneTree)) << what;
            EXPECT_EQ(many.nextPart, one.nextPart) << what;
            // Its spread came from the slices: no token may be counted into it since.
            EXPECT_THROW(manyTree->BeginPart(many.nextPart), std::logic_error) << what;
        }
    }
}

TEST_F(ParallelReader, WithoutAThreadItHandsOverNothingAndTheCallerReadsOn)
{
    TWordFolder folder(Settings());
    TWordlistRunContext c;
    auto tree = NewRun(c, folder);
    TParallelWordlistReading reading(c, 3, nullptr, nullptr, kListWordList, 0);
    int handed = 0;
    {
        cvtest::TThreadsRefused refused;
        EXPECT_TRUE(reading.Run(
            toRead, int32_t(records.size()), [&](const TTextToRead&, const TTextReadOutcome&) { return ++handed > 0; },
            [] { return true; }));
    }
    EXPECT_EQ(reading.StartedThreads(), 0);
    EXPECT_EQ(reading.HandedOver(), 0u);
    EXPECT_EQ(handed, 0);
    EXPECT_EQ(tree->Count(), 0);
    // Threads that can start again read as before.
    EXPECT_TRUE(reading.Run(
        toRead, int32_t(records.size()), [&](const TTextToRead&, const TTextReadOutcome&) { return ++handed > 0; },
        [] { return true; }));
    EXPECT_EQ(reading.StartedThreads(), 3);
    EXPECT_EQ(reading.HandedOver(), records.size());
}

#if defined(__linux__) && defined(PR_SET_THP_DISABLE)
TEST_F(ParallelReader, ReadsInSmallPagesAndLeavesTheProcessAsItFoundThem)
{
    // 2 MB pages slow several reading threads down and speed one thread up:
    // refused while the threads read, and after as they were before.
    TWordFolder folder(Settings());
    const int before = prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0);
    ASSERT_GE(before, 0);
    for (int refused : {0, 1}) {
        ASSERT_EQ(prctl(PR_SET_THP_DISABLE, refused, 0, 0, 0), 0);
        TWordlistRunContext c;
        auto tree = NewRun(c, folder);
        TParallelWordlistReading reading(c, 2, nullptr, nullptr, kListWordList, 0);
        std::vector<int> whileReading;
        EXPECT_TRUE(reading.Run(
            toRead, int32_t(records.size()),
            [&](const TTextToRead&, const TTextReadOutcome&) {
                whileReading.push_back(prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0));
                return true;
            },
            [] { return true; }));
        EXPECT_EQ(whileReading, std::vector<int>(records.size(), 1)) << "refused before: " << refused;
        EXPECT_EQ(prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0), refused);
    }
    prctl(PR_SET_THP_DISABLE, before, 0, 0, 0);
}
#endif

TEST_F(ParallelReader, StopsBetweenTextsWhenAskedAndHandsOverNoMore)
{
    TWordFolder folder(Settings());
    for (bool byText : {true, false}) {
        TWordlistRunContext c;
        auto tree = NewRun(c, folder);
        TParallelWordlistReading reading(c, 4, nullptr, nullptr, kListWordList, 0);
        int handed = 0, asked = 0;
        const bool whole = reading.Run(
            toRead, int32_t(records.size()),
            [&](const TTextToRead&, const TTextReadOutcome&) { return ++handed < 3 || !byText; },
            [&] { return ++asked <= 5 || byText; });
        EXPECT_FALSE(whole);
        if (byText)
            EXPECT_EQ(handed, 3);
        else
            EXPECT_LE(handed, 5);
        EXPECT_EQ(c.nextPart, handed);
        // The types of the texts handed over never reach the run's tree.
        EXPECT_EQ(tree->Count(), 0);
    }
}

} // namespace
