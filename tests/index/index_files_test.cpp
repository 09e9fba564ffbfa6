// How an index is committed: one writer at a time, a save that is killed at
// any step, a disk that fills, and readers of a set another writer replaces.

#include "index_testutil.h"
#include "support/failing_allocations.h"

#include "index/index_clusters.h"
#include "index/index_relationships.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <functional>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cv;
using namespace index_test;

namespace {

TTexts FirstTexts()
{
    return {{QStringLiteral("a.txt"), QByteArray("The cat sat on the mat. The dog sat too.\n")},
            {QStringLiteral("b.txt"), QByteArray("A cat and a dog. Cats and dogs! 42 cats.\n")}};
}

QStringList TextNames(const TIndexData& d)
{
    QStringList out;
    for (const TIndexText& t : d.texts)
        out << QFileInfo(t.stats.FileName).fileName();
    return out;
}

class IndexCommit : public IndexTest {
protected:
    // An index made by the job with the handler's memory for what it makes set.
    bool IndexWithin(const TTexts& texts, const QString& name, uint8_t mode, std::size_t budget, QString& error)
    {
        TCVFileDetails chosen = Chosen(texts);
        T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
        if (!doc.StartAnIndexHandler(dir.file(name), mode))
            return false;
        TIndexHandler& h = *doc.fIndexHandler;
        h.SetMemoryBudget(budget);
        int32_t converted = 0;
        if (!h.LoadedTheFiles() || !doc.MakeWordlist(chosen, 0, converted, kListIndexWordList)) {
            error = h.LastError();
            return false;
        }
        h.SetStatsList(doc.fStats.get());
        const bool ok = h.ProcessAfterWordHandling(QStringLiteral("notes"), double(texts.size()));
        error = h.LastError();
        return ok;
    }
    // In a child process: the index saved again with one more note (or, with
    // `from`, the set of the index `from` saved under its name), the child
    // killed after `step` of the save. Its exit (minus the signal).
    int SaveStoppedAt(const QString& name, int step, const QString& note, const QString& from = QString())
    {
        int result = 0;
        cvtest::runInChild(
            [&] {
                TIndexWriteLock lock;
                TIndexData d;
                QString error;
                if (!lock.Lock(dir.file(name), 0, &error)
                    || !d.Load(dir.file(from.isEmpty() ? name : from), &error, from.isEmpty()))
                    return error;
                d.notes << note;
                const QString oldBase = d.base;
                d.base = IndexBaseName(dir.file(name));
                SaveIndexFiles(d, oldBase, d.streamBytes, TIndexAdditions{}, &error, [step](int s) {
                    if (s == step)
                        ::raise(SIGKILL);
                });
                return error;
            },
            &result);
        return result;
    }
    // Nothing but the four files (and the lock file) beside the index.
    void ExpectNoLeftovers(const QString& base)
    {
        for (const TIndexFileInfo& f : cv::IndexFiles())
            EXPECT_FALSE(QFileInfo::exists(IndexPendingFileName(dir.file(base), f.kind))) << f.extension;
        EXPECT_FALSE(QFileInfo::exists(IndexCommitFileName(dir.file(base))));
    }
};

TEST_F(IndexCommit, TwoWritersKeepEveryAdditionThatReportedSuccess)
{
    ASSERT_TRUE(Index(FirstTexts(), "shared")) << qPrintable(lastError);
    QStringList added;
    for (int round = 0; round < 6; ++round) {
        pid_t children[2];
        QString names[2];
        for (int k = 0; k < 2; ++k) {
            names[k] = QStringLiteral("r%1w%2.txt").arg(round).arg(k);
            // Written before the fork, so that each child only indexes.
            TCVFileDetails chosen = Chosen({{names[k], QStringLiteral("Text %1 of writer %2, with words.\n").arg(round).arg(k).toUtf8()}});
            children[k] = ::fork();
            if (children[k] == 0) {
                QString error;
                ::_exit(MakeIndexOfTexts(chosen, dir.file("shared"), kIndexOpenAdd, &error) ? 0 : 1);
            }
        }
        for (int k = 0; k < 2; ++k) {
            const int r = cvtest::waitForChild(children[k]);
            EXPECT_EQ(r, 0) << "writer " << k << " of round " << round;
            if (r == 0)
                added << names[k];
        }
        const TIndexData d = Load("shared");
        const QStringList have = TextNames(d);
        EXPECT_EQ(have.size(), 2 + added.size());
        for (const QString& name : added)
            EXPECT_TRUE(have.contains(name)) << qPrintable(name);
        if (HasFailure())
            return;
    }
    ExpectNoLeftovers("shared");
}

TEST_F(IndexCommit, ASecondWriterWaitsABoundedTimeThenSaysWhoHoldsTheIndex)
{
    ASSERT_TRUE(Index(FirstTexts(), "busy"));
    const QByteArray before = cvtest::readAll(dir.file("busy.tokens"));
    TIndexWriteLock other;
    QString error;
    ASSERT_TRUE(other.Lock(dir.file("busy"), 0, &error)) << qPrintable(error);
    for (const uint8_t mode : {kIndexOpenAdd, kIndexOpenNew}) {
        T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
        ASSERT_TRUE(doc.StartAnIndexHandler(dir.file("busy.tokens"), mode));
        doc.fIndexHandler->SetLockWaitMs(150);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(doc.fIndexHandler->LoadedTheFiles());
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(150));
        EXPECT_LT(waited, std::chrono::seconds(3));
        const QString message = doc.fIndexHandler->LastError();
        EXPECT_TRUE(message.contains(dir.file("busy"))) << qPrintable(message);
        EXPECT_TRUE(message.contains(QStringLiteral("another program is writing it"))) << qPrintable(message);
    }
    EXPECT_EQ(cvtest::readAll(dir.file("busy.tokens")), before);
    // A reader is not held up by a writer.
    TIndexData d;
    EXPECT_TRUE(d.Load(dir.file("busy"), &error)) << qPrintable(error);
    other.Release();
    EXPECT_TRUE(Index({{QStringLiteral("c.txt"), QByteArray("More words.\n")}}, "busy", kIndexOpenAdd));
}

// An index kept in a folder other users may write to (/tmp): what another
// user puts beside it (a link or a file at a part's name, a lock file) is
// refused at once with its owner named, and nothing of the user's is
// written through it. The other user is a child process that gives up root.
TEST_F(IndexCommit, InASharedFolderPartsAndLocksOfAnotherUserAreRefusedNamingTheirOwner)
{
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    const QString shared = cvtest::makeSharedFolder(dir);
    const QString precious = dir.write(QStringLiteral("precious.txt"), "the user's own");
    const QString theirs = dir.file(QStringLiteral("theirs"));
    ASSERT_TRUE(QDir().mkpath(theirs));
    ::chmod(QFile::encodeName(theirs).constData(), 0777);
    ASSERT_TRUE(Index(FirstTexts(), "tmp/ridx")) << qPrintable(lastError);
    const QByteArray tokens = cvtest::readAll(dir.file("tmp/ridx.tokens"));
    const TTexts more{{QStringLiteral("c.txt"), QByteArray("More words here.\n")}};
    const auto expectRefused = [&](const QString& base, const QString& what) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Index(more, base, kIndexOpenAdd));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "refused, not waited for";
        EXPECT_TRUE(lastError.contains(what)) << qPrintable(lastError);
        EXPECT_TRUE(lastError.contains(QStringLiteral("(user nobody (uid"))
                    || lastError.contains(QStringLiteral("symbolic link"))) << qPrintable(lastError);
    };

    // A part of the next save made a link to the user's file, then a file open to all.
    const QString part = IndexPendingFileName(dir.file("tmp/ridx"), TIndexFileKind::Tokens);
    ASSERT_EQ(cvtest::linkAsOtherUser(*other, precious, part), QString());
    expectRefused(QStringLiteral("tmp/ridx"), QStringLiteral("ridx.tokens.new\": it belongs to another user"));
    EXPECT_EQ(cvtest::readAll(precious), "the user's own");
    ASSERT_TRUE(QFile::remove(part));
    const QString planted = IndexPendingFileName(dir.file("tmp/ridx"), TIndexFileKind::Types);
    ASSERT_EQ(cvtest::asOtherUser(*other, [&]() -> QString {
                  ::umask(0);
                  const int fd = ::open(QFile::encodeName(planted).constData(), O_WRONLY | O_CREAT, 0666);
                  return fd >= 0 && ::close(fd) == 0 ? QString() : QStringLiteral("not made");
              }),
              QString());
    expectRefused(QStringLiteral("tmp/ridx"), QStringLiteral("ridx.types.new\": it belongs to another user"));
    EXPECT_EQ(QFileInfo(planted).size(), 0) << "the user's word types are not written into it";
    EXPECT_EQ(cvtest::readAll(dir.file("tmp/ridx.tokens")), tokens);

    // A lock file that is their link, then one of theirs.
    const QString loot = QDir(theirs).filePath(QStringLiteral("made"));
    ASSERT_EQ(cvtest::linkAsOtherUser(*other, loot, dir.file("tmp/kidx.lock")), QString());
    EXPECT_FALSE(Index(FirstTexts(), "tmp/kidx"));
    EXPECT_TRUE(lastError.contains(QStringLiteral("it is a symbolic link, which is not followed"))) << qPrintable(lastError);
    EXPECT_FALSE(QFileInfo::exists(loot)) << "nothing is made through their link";
    ASSERT_EQ(cvtest::asOtherUser(*other, [&]() -> QString {
                  const int fd = ::open(QFile::encodeName(dir.file("tmp/lidx.lock")).constData(), O_WRONLY | O_CREAT, 0644);
                  return fd >= 0 && ::close(fd) == 0 ? QString() : QStringLiteral("not made");
              }),
              QString());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Index(FirstTexts(), "tmp/lidx"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "refused, not waited for";
    EXPECT_TRUE(lastError.contains(QStringLiteral("lidx.lock\": it belongs to another user (user nobody"))) << qPrintable(lastError);
}

TEST_F(IndexCommit, ASaveKilledAtAnyStepLeavesTheOldOrTheNewSet)
{
    for (int step = 0; step < kIndexSaveSteps; ++step) {
        SCOPED_TRACE(step);
        ASSERT_TRUE(Index(FirstTexts(), "killed"));
        const TIndexData old = Load("killed");
        EXPECT_EQ(SaveStoppedAt("killed", step, QStringLiteral("the new set")), -SIGKILL);
        // A reader reads a whole set: the old one before the commit, the new one after.
        const TIndexData read = Load("killed");
        const bool isNew = read.notes.contains(QStringLiteral("the new set"));
        EXPECT_EQ(isNew, step >= 5);
        EXPECT_EQ(read.stamp == old.stamp, !isNew);
        EXPECT_EQ(TextNames(read), TextNames(old));
        std::vector<uint32_t> a, b;
        ASSERT_TRUE(read.ReadTextTokens(1, a));
        ASSERT_TRUE(old.ReadTextTokens(1, b));
        EXPECT_EQ(a, b);
        // The next writer puts that set in place and clears the rest.
        {
            TIndexWriteLock lock;
            QString error;
            ASSERT_TRUE(lock.Lock(dir.file("killed"), 0, &error)) << qPrintable(error);
        }
        ExpectNoLeftovers("killed");
        EXPECT_EQ(Load("killed").stamp, read.stamp);
        // And adding to it works as ever.
        ASSERT_TRUE(Index({{QStringLiteral("c.txt"), QByteArray("More words.\n")}}, "killed", kIndexOpenAdd))
            << qPrintable(lastError);
        EXPECT_EQ(Load("killed").TextCount(), 3);
    }
}

// What each reader of an index gives: every text's codes read whole, walked,
// and streamed; the 2-word clusters; the relationships of "cat".
QStringList WhatReadersGive(const TIndexData& d)
{
    QStringList out;
    QString error;
    for (int32_t t = 0; t < d.TextCount(); ++t) {
        std::vector<uint32_t> codes;
        out << (d.ReadTextTokens(t, codes, &error) ? QStringLiteral("text %1: %2 codes").arg(t).arg(codes.size()) : error);
    }
    const bool walked = WalkIndexTexts(
        d,
        [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t>) {
            QStringList words;
            for (uint32_t c : codes)
                words << d.CodeText(c);
            out << QStringLiteral("walk %1: %2").arg(t).arg(words.join(u' '));
            return true;
        },
        &error);
    if (!walked)
        out << error;
    TTokenStreamReader reader;
    int32_t text = 0;
    int64_t n = 0;
    if (!reader.Open(d, 0, d.TextCount() - 1, &error))
        out << error;
    else
        while (reader.NextText(text, n, &error)) {
            std::vector<uint32_t> codes(static_cast<std::size_t>(n));
            out << (reader.Read(codes, &error) ? QStringLiteral("stream %1: %2 codes").arg(text).arg(n) : error);
        }
    TClusterOptions o = TClusterOptions::FromSettings(GetWordlistIndexSettings());
    o.minSize = o.maxSize = 2;
    o.minFreq = 1;
    o.phraseFrames = false;
    TClusterRun run;
    if (!CountClusters(d, {}, {}, o, run, &error))
        out << error;
    for (const TClusterResult& c : run.clusters)
        out << QStringLiteral("cluster %1 %2").arg(ClusterText(d, c.codes())).arg(c.freq);
    TRelationshipsList relations(nullptr, CurrentToolSignature());
    const std::vector<uint32_t> cat = d.TypesOfWord(QStringLiteral("cat"));
    if (!ComputeRelationships(d, cat, {}, TRelationshipOptions::FromSettings(GetWordlistIndexSettings(), d.RunningWords()),
                              relations, &error))
        out << error;
    out << QStringLiteral("relationships %1").arg(relations.Count());
    return out;
}

TEST_F(IndexCommit, EveryReaderReadsTheSetAKilledSaveLeft)
{
    // The set a killed writer was putting in place holds other texts than
    // the old one: a reader that took one of its files by its plain name
    // would mix the two sets.
    const TTexts more = {{QStringLiteral("c.txt"), QByteArray("The cat ate the rat. A cat, a hat and a bat.\n")},
                         {QStringLiteral("d.txt"), QByteArray("Dogs and cats and rats sat on mats in the sun.\n")}};
    ASSERT_TRUE(Index(FirstTexts(), "old"));
    TTexts all = FirstTexts();
    all.insert(all.end(), more.begin(), more.end());
    ASSERT_TRUE(Index(all, "new"));
    const QStringList oldGives = WhatReadersGive(Load("old")), newGives = WhatReadersGive(Load("new"));
    ASSERT_NE(oldGives, newGives);
    for (int step = 0; step < kIndexSaveSteps; ++step) {
        SCOPED_TRACE(step);
        ASSERT_TRUE(Index(FirstTexts(), "killed"));
        ASSERT_EQ(SaveStoppedAt("killed", step, QStringLiteral("the new set"), "new"), -SIGKILL);
        EXPECT_EQ(WhatReadersGive(Load("killed")), step >= 5 ? newGives : oldGives);
        EXPECT_TRUE(IndexFilesExist(dir.file("killed")));
    }
}

TEST_F(IndexCommit, AFullDiskSaysWhyAndKeepsTheIndex)
{
    ASSERT_TRUE(Index(FirstTexts(), "full"));
    std::vector<QByteArray> before;
    for (const TIndexFileInfo& f : cv::IndexFiles())
        before.push_back(cvtest::readAll(IndexFileName(dir.file("full"), f.kind)));
    TCVFileDetails chosen = Chosen({{QStringLiteral("c.txt"), QByteArray("More words here.\n")}});
    // A limit on the size of a file stands in for a full disk (the statistics file is larger).
    const QString message = cvtest::runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1500, 1500};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        return MakeIndexOfTexts(chosen, dir.file("full"), kIndexOpenAdd, &error) ? QStringLiteral("saved") : error;
    });
    EXPECT_TRUE(message.contains(QStringLiteral("File too large"))) << qPrintable(message);
    EXPECT_TRUE(message.contains(dir.file("full"))) << qPrintable(message);
    std::size_t k = 0;
    for (const TIndexFileInfo& f : cv::IndexFiles())
        EXPECT_EQ(cvtest::readAll(IndexFileName(dir.file("full"), f.kind)), before[k++]) << f.extension;
    ExpectNoLeftovers("full");
    EXPECT_EQ(Load("full").TextCount(), 2);
}

TEST_F(IndexCommit, AReaderKeepsReadingItsSetWhenAnotherIsPutInItsPlace)
{
    ASSERT_TRUE(Index(FirstTexts(), "moving"));
    const TIndexData d = Load("moving");
    std::vector<uint32_t> before;
    ASSERT_TRUE(d.ReadTextTokens(0, before));
    ASSERT_TRUE(Index({{QStringLiteral("z.txt"), QByteArray("Quite other words, and more of them than before.\n")}}, "moving"));
    std::vector<uint32_t> after;
    ASSERT_TRUE(d.ReadTextTokens(0, after));
    EXPECT_EQ(after, before);
    int walked = 0;
    QString error;
    EXPECT_TRUE(WalkIndexTexts(d, [&](int32_t, std::span<const uint32_t>, std::span<const uint8_t>) { return ++walked > 0; }, &error));
    EXPECT_EQ(walked, 2);
    EXPECT_EQ(TextNames(Load("moving")), QStringList{QStringLiteral("z.txt")});
}

TEST_F(IndexCommit, BackupAndRemovalWaitForAWriterAndCompleteItsSave)
{
    ASSERT_TRUE(Index(FirstTexts(), "kept"));
    // A save killed after its commit: the backup is of the new set.
    EXPECT_EQ(SaveStoppedAt("kept", 6, QStringLiteral("committed")), -SIGKILL);
    QString error;
    ASSERT_TRUE(TryToBackupIndexFiles(dir.file("kept.types"), &error)) << qPrintable(error);
    ExpectNoLeftovers("kept");
    for (const TIndexFileInfo& f : cv::IndexFiles())
        EXPECT_EQ(cvtest::readAll(IndexFileName(dir.file("kept"), f.kind) + QStringLiteral(".bak")),
                  cvtest::readAll(IndexFileName(dir.file("kept"), f.kind)));
    EXPECT_TRUE(Load("kept").notes.contains(QStringLiteral("committed")));

    TIndexWriteLock writer;
    ASSERT_TRUE(writer.Lock(dir.file("kept"), 0, &error));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        writer.Release();
    });
    EXPECT_TRUE(TryToDeleteIndexFiles(dir.file("kept"), &error)) << qPrintable(error);
    release.join();
    EXPECT_FALSE(IndexFilesExist(dir.file("kept")));
}

TEST_F(IndexCommit, DamagedHeadersAreToldInPrintableText)
{
    ASSERT_TRUE(Index(FirstTexts(), "raw"));
    QFile f(dir.file("raw.types"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(57);
    f.write(QByteArray("\x01\x1B\xFFZ", 4));
    f.close();
    TIndexData d;
    QString error;
    EXPECT_FALSE(d.Load(dir.file("raw"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("\\x01\\x1b\\xffZ"))) << qPrintable(error);
    for (const QChar c : error)
        EXPECT_TRUE(c.isPrint()) << int(c.unicode());
}

} // namespace

namespace {

// The body of an index file (the bytes after its header).
QByteArray Body(const QString& base, TIndexFileKind kind)
{
    return cvtest::readAll(IndexFileName(base, kind)).mid(kIndexHeaderSize);
}

TTexts ManyTexts(int texts, int words)
{
    TTexts out;
    for (int t = 0; t < texts; ++t) {
        QByteArray s;
        for (int w = 0; w < words; ++w) {
            s += "w" + QByteArray::number((w * 7919 + t * 31) % (150 + t * 13));
            s += (w % 11 == 10) ? ". " : (w % 97 == 96 ? "\n\n" : " ");
        }
        out.push_back({QStringLiteral("m%1.txt").arg(t), s});
    }
    return out;
}

TEST_F(IndexCommit, WhatDoesNotFitTheMemoryGoesToScratchFilesAndTheIndexIsTheSame)
{
    // The new tokens, their boundaries and the counts per text spilled at
    // every few bytes, and held in memory: the same index, made in one step
    // or two, of many texts or of one (whose tenths are read back in pieces).
    struct Case {
        TTexts first, second;
    };
    const TTexts many = ManyTexts(12, 900);
    const Case cases[] = {
        {many, {}},
        {TTexts(many.begin(), many.begin() + 5), TTexts(many.begin() + 5, many.end())},
        {ManyTexts(1, 6000), {}},
    };
    for (const Case& c : cases) {
        QString error;
        for (const auto& [name, budget] : {std::pair{QStringLiteral("held"), TIndexHandler::kIndexingMemory},
                                           std::pair{QStringLiteral("spilled"), std::size_t(64)}}) {
            ASSERT_TRUE(IndexWithin(c.first, name, kIndexOpenNew, budget, error)) << qPrintable(error);
            if (!c.second.empty()) {
                ASSERT_TRUE(IndexWithin(c.second, name, kIndexOpenAdd, budget, error)) << qPrintable(error);
            }
        }
        for (const TIndexFileKind kind : {TIndexFileKind::Tokens, TIndexFileKind::Types, TIndexFileKind::Markup})
            EXPECT_EQ(Body(dir.file("held"), kind), Body(dir.file("spilled"), kind)) << int(kind);
        const TIndexData held = Load("held"), spilled = Load("spilled");
        ASSERT_EQ(held.TextCount(), spilled.TextCount());
        for (int32_t t = 0; t < held.TextCount(); ++t) {
            EXPECT_EQ(held.texts[std::size_t(t)].tokens, spilled.texts[std::size_t(t)].tokens);
            EXPECT_EQ(held.texts[std::size_t(t)].byteOffset, spilled.texts[std::size_t(t)].byteOffset);
        }
        EXPECT_GT(held.markup.size(), 10u);
        ExpectNoLeftovers("spilled");
        // No scratch file is left in the folder.
        EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral(".cv-scratch*")}, QDir::Hidden | QDir::Files).isEmpty());
    }
}

TEST_F(IndexCommit, RunningShortOfMemoryWhileLoadingStopsWithAMessage)
{
    ASSERT_TRUE(Index(ManyTexts(6, 400), "short"));
    auto job = [&](QString& message) {
        TIndexData d;
        const QString name = dir.file("short");
        cvtest::ShortageFromHere();
        const bool ok = d.Load(name, &message);
        cvtest::ShortageToHere();
        return ok && d.TextCount() == 6;
    };
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(job));
}

// Rewrites the body of an index file and gives it a matching check, as a
// writer that wrote wrong contents (or a file made to deceive) would.
void RewriteBody(const QString& name, const std::function<void(QByteArray&)>& change)
{
    QByteArray bytes = cvtest::readAll(name);
    QByteArray body = bytes.mid(kIndexHeaderSize);
    change(body);
    const uint32_t crc = IndexCrc(0, reinterpret_cast<const uint8_t*>(body.constData()), std::size_t(body.size()));
    bytes = bytes.left(kIndexHeaderSize) + body;
    for (int k = 0; k < 4; ++k)
        bytes[qsizetype(kIndexHeaderSize - 4 + k)] = char((crc >> (8 * k)) & 0xFF);
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

TEST_F(IndexCommit, ContentsTheOtherFilesBelieNeverLoadThoughTheirChecksMatch)
{
    ASSERT_TRUE(Index(FirstTexts(), "good"));
    const TIndexData good = Load("good");
    ASSERT_GT(good.NumbersRemoved(), 0);
    QString error;
    auto refused = [&](const QString& name) {
        TIndexData d;
        const bool loaded = d.Load(dir.file(name), &error);
        return !loaded && error.contains(QStringLiteral("the index is damaged"));
    };
    auto copy = [&](const QString& to) {
        for (const TIndexFileInfo& f : cv::IndexFiles()) {
            QFile::remove(IndexFileName(dir.file(to), f.kind));
            QFile::copy(IndexFileName(dir.file("good"), f.kind), IndexFileName(dir.file(to), f.kind));
        }
    };
    // Every token a number (code 0, one byte each), the types' frequencies as they were.
    copy(QStringLiteral("numbers"));
    RewriteBody(IndexFileName(dir.file("numbers"), TIndexFileKind::Tokens), [](QByteArray& body) { body.fill(0); });
    EXPECT_TRUE(refused(QStringLiteral("numbers"))) << qPrintable(error);
    // As many numbers removed as there are running words (the statistics' last field).
    copy(QStringLiteral("allnumbers"));
    RewriteBody(IndexFileName(dir.file("allnumbers"), TIndexFileKind::Stats), [&](QByteArray& body) {
        for (int k = 0; k < 8; ++k)
            body[body.size() - 8 + k] = char((good.tokenCount >> (8 * k)) & 0xFF);
    });
    EXPECT_TRUE(refused(QStringLiteral("allnumbers"))) << qPrintable(error);
    // Two tokens of a text swapped keep every count: the index still loads.
    copy(QStringLiteral("swapped"));
    RewriteBody(IndexFileName(dir.file("swapped"), TIndexFileKind::Tokens), [](QByteArray& body) { std::swap(body[0], body[1]); });
    TIndexData swapped;
    EXPECT_TRUE(swapped.Load(dir.file("swapped"), &error)) << qPrintable(error);
}

TEST(IndexTokenPieces, CodesCutAcrossPiecesDecodeAsAWhole)
{
    std::vector<uint8_t> stream;
    std::vector<uint32_t> codes;
    for (uint32_t k = 0; k < 3000; ++k) {
        codes.push_back((k * 2654435761u) % (k % 3 == 0 ? 100u : 3000000u));
        PutVarint(stream, codes.back());
    }
    cvtest::TempDir dir;
    TScratchFile file;
    QString error;
    ASSERT_TRUE(file.Create(dir.path(), &error) && file.Append(stream.data(), int64_t(stream.size()), &error));
    for (const int64_t piece : {1, 2, 3, 7, 64, 1000, 1 << 20}) {
        std::vector<uint32_t> got;
        ASSERT_TRUE(DecodeTokenPieces(file, 0, int64_t(stream.size()), int64_t(codes.size()), 3000000,
                                      [&](std::span<const uint32_t> c) { got.insert(got.end(), c.begin(), c.end()); },
                                      &error, piece))
            << piece << " " << qPrintable(error);
        EXPECT_EQ(got, codes) << piece;
    }
    // Too few codes in the bytes, too many, a code out of range, a number cut at the end.
    auto refused = [&](int64_t bytes, int64_t count, uint32_t limit) {
        return !DecodeTokenPieces(file, 0, bytes, count, limit, [](std::span<const uint32_t>) {}, &error, 5);
    };
    EXPECT_TRUE(refused(int64_t(stream.size()), int64_t(codes.size()) + 1, 3000000));
    EXPECT_TRUE(refused(int64_t(stream.size()), int64_t(codes.size()) - 1, 3000000));
    EXPECT_TRUE(refused(int64_t(stream.size()), int64_t(codes.size()), 1000));
    EXPECT_TRUE(refused(int64_t(stream.size()) - 1, int64_t(codes.size()), 3000000));
}

} // namespace
