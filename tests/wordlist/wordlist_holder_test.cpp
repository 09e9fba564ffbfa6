// The word-list document: the whole job, its file, bad input, cancelling, batches.

#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "suite/controller_codes.h"
#include "suite/decipher.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"
#include "support/failing_allocations.h"
#include "wordlist/wordlist_buffer_processor.h"
#include "wordlist_testutil.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <ostream>
#include <limits>
#include <random>
#include <span>

#include <sys/resource.h>

using namespace cv;
using namespace wordlist_test;

namespace {

class WordlistDocument : public WordlistTest {
protected:
    std::vector<std::pair<QString, QByteArray>> ThreeTexts()
    {
        return {{QStringLiteral("one.txt"), QByteArray("The cat sat on the mat.\nThe dog sat too.\n")},
                {QStringLiteral("two.txt"), QByteArray("A cat and a dog. Cats and dogs!\n")},
                {QStringLiteral("three.txt"), QStringLiteral("Café au lait, the café.\n").toUtf8()}};
    }
    // Texts of types enough for the end of a job to take several threads (a
    // few hundred thousand, most of them once, some in the stop list), their
    // list saved large enough for its check sum to be summed in parts.
    QStringList ManyTypes()
    {
        LoadList(TLemmatiserListKind::Stop, QStringLiteral("w1x\nw2ax\nw4kx\n"));
        std::mt19937 rng(5);
        QStringList files;
        for (int t = 0; t < 4; ++t) {
            QByteArray text;
            for (int w = 0; w < 80000; ++w) {
                const int id = w % 3 == 0 ? int(rng() % 300) : t * 80000 + w;
                text += "w" + QByteArray::number(id, 36) + (w % 13 == 12 ? "x.\n" : "x ");
            }
            files << dir.write(QStringLiteral("t%1.txt").arg(t), text);
        }
        return files;
    }
    // The list of the texts made on so many threads.
    std::unique_ptr<T_WholeWordlistHolder> MadeOnThreads(const QStringList& files, int threads)
    {
        TCVFileDetails chosen(true, {});
        for (const QString& f : files)
            chosen.ToolAddAFile(f);
        auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, nullptr, nullptr, false, true);
        doc->SetReadingThreads(threads);
        int32_t converted = 0;
        made = doc->MakeWordlist(chosen, 0, converted, kListWordList);
        return doc;
    }

    // The kept samples: v1 before the check block, v2 with it, v3 with key
    // words of 64-bit frequencies.
    QString SampleFile(int version = 3) const
    {
        return cvtest::testDataDir() + QStringLiteral("/wordlist/sample_v%1.lst").arg(version);
    }
};

// A sink that asks the job to stop at its first word.
class TStopAtFirstWord final : public TWordTokenSink {
public:
    void Token(const TToken&) override { global_panic_state = kPanicStopNow; }
};

// Sinks that note every word: one takes them one by one, the other in batches.
struct TNotedWord {
    uint32_t typeId;
    int barrier;
    uint16_t tag;
    bool running, stop;
    QString spelling;
    friend bool operator==(const TNotedWord&, const TNotedWord&) = default;
};
class TNoteEachWord final : public TWordTokenSink {
public:
    void BeginText(int32_t t) override { texts.push_back(t); }
    void Token(const TToken& t) override
    {
        words.push_back({t.typeId, t.barrier, t.tagNumber, t.running, t.stop,
                         QString(reinterpret_cast<const QChar*>(t.spelling.data()), qsizetype(t.spelling.size()))});
    }
    void EndText(int32_t t) override { texts.push_back(-1 - t); }
    std::vector<TNotedWord> words;
    std::vector<int32_t> texts;
};
class TNoteBatches final : public TWordTokenSink {
public:
    bool TakesBatches() const override { return true; }
    void BeginText(int32_t t) override { texts.push_back(t); }
    void Token(const TToken&) override { ADD_FAILURE() << "a sink of batches got a word alone"; }
    void Tokens(std::span<const TBatchToken> batch, TWordlistParentTree& tree) override
    {
        ++batches;
        for (const TBatchToken& t : batch) {
            QString spelling;
            if (t.typeId != TWordlistParentTree::kNoType) {
                const std::u16string_view v = tree.Text(t.typeId);
                spelling = QString(reinterpret_cast<const QChar*>(v.data()), qsizetype(v.size()));
                // The value kept with the type comes back with its later words.
                const uint32_t kept = tree.Type(t.typeId).sinkValue;
                if (t.sinkValue != 0) {
                    EXPECT_EQ(t.sinkValue, t.typeId + 100);
                } else if (kept != 0) {
                    EXPECT_EQ(kept, t.typeId + 100) << "set earlier in this batch";
                }
                tree.Type(t.typeId).sinkValue = t.typeId + 100;
                broughtBack += t.sinkValue != 0;
            }
            words.push_back({t.typeId, t.barrier, t.tagNumber, (t.flags & kTokenRunning) != 0,
                             (t.flags & kTokenStop) != 0, spelling});
        }
    }
    void EndText(int32_t t) override { texts.push_back(-1 - t); }
    std::vector<TNotedWord> words;
    std::vector<int32_t> texts;
    int batches = 0, broughtBack = 0;
};

TEST_F(WordlistDocument, ASinkOfBatchesGetsTheWordsASinkOfWordsGets)
{
    // Numbers removed, words too long for the list, stop words, boundaries
    // of every level, many words (several batches), two texts.
    TTextSettings t = Settings();
    t.SetMaxWordLength(12);
    Use(t);
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\na\n"));
    QByteArray many;
    for (int k = 0; k < 300; ++k)
        many += "The word" + QByteArray::number(k % 17) + " a 1999 cat. ";
    const std::vector<std::pair<QString, QByteArray>> texts{
        {QStringLiteral("one.txt"), "The cat sat.\n\nA dog, 42 dogs and extraordinarily long words!\n" + many},
        {QStringLiteral("two.txt"), QByteArray("cat dog the end.\n")}};
    TNoteEachWord one;
    TNoteBatches batches;
    for (TWordTokenSink* sink : {static_cast<TWordTokenSink*>(&one), static_cast<TWordTokenSink*>(&batches)}) {
        TCVFileDetails chosen(true, {});
        for (const auto& [name, bytes] : texts)
            chosen.ToolAddAFile(dir.write(name, bytes));
        auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, nullptr, nullptr, false, true);
        doc->SetTokenSink(sink);
        int32_t converted = 0;
        ASSERT_TRUE(doc->MakeWordlist(chosen, 0, converted, kListWordList));
    }
    EXPECT_GT(batches.batches, 2);
    EXPECT_GT(batches.broughtBack, 100);
    EXPECT_EQ(batches.texts, one.texts);
    ASSERT_EQ(batches.words.size(), one.words.size());
    for (std::size_t k = 0; k < one.words.size(); ++k)
        ASSERT_EQ(batches.words[k], one.words[k]) << "word " << k << " " << one.words[k].spelling.toStdString();
    // What the texts hold came through: each kind of word and boundary.
    auto any = [&](auto pred) { return std::any_of(one.words.begin(), one.words.end(), pred); };
    EXPECT_TRUE(any([](const TNotedWord& w) { return !w.running; }));                                  // 42
    EXPECT_TRUE(any([](const TNotedWord& w) { return w.running && w.typeId == TWordlistParentTree::kNoType; })); // too long
    EXPECT_TRUE(any([](const TNotedWord& w) { return w.stop; }));
    EXPECT_TRUE(any([](const TNotedWord& w) { return w.barrier == 2; }));
    EXPECT_TRUE(any([](const TNotedWord& w) { return w.barrier == 3; }));
}

TEST_F(WordlistDocument, MakesTheListWithStatisticsAndNotes)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(doc->fStats->Count(), 4);
    const TStatsRec& overall = doc->fStats->Row(0)->Data();
    EXPECT_EQ(overall.Texts, 3);
    EXPECT_EQ(SumOfFrequencies(l), overall.TokensUsed);
    EXPECT_EQ(overall.Types, l.Count());
    EXPECT_EQ(Freq(l, "the"), 4);
    EXPECT_EQ(Freq(l, QStringLiteral("café")), 2);
    EXPECT_EQ(l.WordlistData(l.FindWordAndTag("cat", QString())).Texts, 2);
    EXPECT_EQ(doc->MainFile.ListType, kListWordList);
    EXPECT_EQ(doc->MainFile.Count, l.Count());
    EXPECT_FALSE(doc->fNotes.isEmpty());
    EXPECT_EQ(doc->fCVBaseFilenames->Count(), 4);
    EXPECT_EQ(doc->WordlistOfType(kListIndexWordList), nullptr);
    EXPECT_FALSE(doc->ComputedDispersion());
    EXPECT_TRUE(doc->ComputedRankOrdersOfWords());
    EXPECT_EQ(doc->WordlistData(l.FindWordAndTag("the", QString())).Rank, 1);
}

TEST_F(WordlistDocument, WordListSettingsLeaveOutRareOrFrequentWords)
{
    TWordlistSettingsRec w = TWordlistSettingsRec::Defaults();
    w.SetMinFrequency(2);
    w.SetMaxFrequency(3);
    w.SetMinTexts(2);
    SetWordlistSettings(w);
    // cat: 3 in 2 texts (kept); the: 4 (too frequent); dog: 2 in 1 text (too few texts); emu: 1.
    auto doc = Make({{QStringLiteral("a.txt"), QByteArray("the the cat cat dog dog")},
                     {QStringLiteral("b.txt"), QByteArray("the the cat emu")}});
    ASSERT_TRUE(made);
    EXPECT_EQ(doc->WordlistSettings.MinFrequency(), 2);
    const TCVWordList& l = List(*doc);
    ASSERT_EQ(l.Count(), 1);
    EXPECT_EQ(Freq(l, "cat"), 3);
    // The running words and the types of the texts are still all of them.
    EXPECT_EQ(l.TotalTokens(), 10);
    EXPECT_EQ(doc->fStats->Row(0)->Data().Types, 4);
}

TEST_F(WordlistDocument, PostsTheRunningWordsAfterEachText)
{
    std::vector<int64_t> posted;
    TMessageWindow window([&](uint32_t msg, uint64_t, int64_t lparam) {
        if (msg == kMsgRunningWords)
            posted.push_back(lparam);
    });
    const TWindowHandle before = mini_global_own_HWnd;
    mini_global_own_HWnd = window.Handle();
    auto doc = Make(ThreeTexts());
    QCoreApplication::processEvents();
    mini_global_own_HWnd = before;
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted.back(), doc->fStats->Row(0)->Data().TokensInText);
    EXPECT_LT(posted.front(), posted.back());
}

TEST_F(WordlistDocument, SaveReadSaveGivesTheSameBytes)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const QString file = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));
    const QByteArray first = cvtest::readAll(file);

    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file));
    EXPECT_EQ(back.OpenedFilename, file);
    EXPECT_EQ(List(back).Count(), List(*doc).Count());
    EXPECT_EQ(back.fStats->Count(), 4);
    EXPECT_EQ(back.fNotes, doc->fNotes);
    EXPECT_EQ(Freq(List(back), "the"), 4);
    EXPECT_EQ(Saved(back), first);
}

std::vector<uint8_t> Bytes(TCVBaseDataClass& list)
{
    TMemoryStream m;
    EXPECT_TRUE(list.SaveToStream(m));
    return m.Bytes();
}

TEST_F(WordlistDocument, ManyTypesListedAndSavedOnSeveralThreadsAsOnOne)
{
    const QStringList files = ManyTypes();
    const auto one = MadeOnThreads(files, 1);
    ASSERT_TRUE(made);
    ASSERT_GT(List(*one).Count(), 200000);
    const auto three = MadeOnThreads(files, 3);
    ASSERT_TRUE(made);
    EXPECT_EQ(List(*three).Count(), List(*one).Count());
    EXPECT_TRUE(Bytes(*three->WordlistOfType(kListWordList)) == Bytes(*one->WordlistOfType(kListWordList)));
    EXPECT_TRUE(Bytes(*three->fStats) == Bytes(*one->fStats));
    EXPECT_EQ(Freq(List(*three), QStringLiteral("w1x")), -1);
    // The words' counts by part too (what head words are worked out from).
    ASSERT_NE(List(*one).PartCounts(), nullptr);
    ASSERT_NE(List(*three).PartCounts(), nullptr);
    TMemoryStream countsOne, countsThree;
    ASSERT_TRUE(List(*one).SavePartCounts(countsOne));
    ASSERT_TRUE(List(*three).SavePartCounts(countsThree));
    EXPECT_TRUE(countsOne.Bytes() == countsThree.Bytes());
    EXPECT_EQ(List(*one).PartCounts()->PartCount(), 4);

    const QString file = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(three->SaveToFile(file));
    ASSERT_GT(QFileInfo(file).size(), 8 << 20);
    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file)); // its check sum is summed again, on one thread
    EXPECT_EQ(List(back).Count(), List(*one).Count());
}

TEST_F(WordlistDocument, SavingStraightIntoTheFileSaysWhyWhenItCannot)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const QString file = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));
    EXPECT_EQ(cvtest::readAll(file), Saved(*doc));
    EXPECT_EQ(doc->MainFile.FileName, file);
    EXPECT_EQ(doc->ChangedListTypes(), 0u);

    // A folder that does not exist: said, and nothing written.
    const QString nowhere = dir.file(QStringLiteral("no/such/folder/list.lst"));
    EXPECT_FALSE(doc->SaveToFile(nowhere));
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("FailedToSave"));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("list.lst")));
    EXPECT_EQ(doc->MainFile.FileName, file);
    // Saved again over itself: the same bytes, no temporary file left beside it.
    ASSERT_TRUE(doc->SaveToFile(file));
    EXPECT_EQ(cvtest::readAll(file), Saved(*doc));
    EXPECT_EQ(QDir(dir.file(QString())).entryList({QStringLiteral("list*")}, QDir::Files), QStringList{QStringLiteral("list.lst")});
    // A disk that fills up (a limit on the size of a file stands in for it)
    // while the list goes into the file, whose check is read back from it:
    // the save fails and the old file stays.
    const QByteArray old = cvtest::readAll(file);
    const QString result = cvtest::runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{std::max<rlim_t>(1000, rlim_t(old.size() / 2)), std::max<rlim_t>(1000, rlim_t(old.size() / 2))};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return doc->SaveToFile(file) ? QStringLiteral("saved")
                                     : dialogs.Routines().back() + u'|' + dialogs.Requests().back().text;
    });
    EXPECT_TRUE(result.startsWith(QStringLiteral("FailedToSave|"))) << qPrintable(result);
    // The system's reason, not a bare "could not be written".
    EXPECT_TRUE(result.contains(QStringLiteral("File too large"))) << qPrintable(result);
    EXPECT_TRUE(result.contains(QStringLiteral("list.lst"))) << qPrintable(result);
    EXPECT_EQ(cvtest::readAll(file), old);
}

TEST_F(WordlistDocument, ASaveRemovesWhatAKilledSaveOfTheSameFileLeft)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const QString file = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));
    // A save killed after its temporary file got a name and before the
    // rename leaves it beside the list (a while ago); another list's
    // leftover and a file of the user's that merely looks alike stay.
    const QString left = dir.write(QStringLiteral("list.lst.XqpZwe"), "half a list");
    const QString otherList = dir.write(QStringLiteral("other.lst.XqpZwe"), "another list's");
    const QString users = dir.write(QStringLiteral("list.lst.bak"), "the user's");
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString& name : {left, otherList, users}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }
    // One just written may be another program's save going on: it stays.
    const QString fresh = dir.write(QStringLiteral("list.lst.AbqrCd"), "a save going on");
    ASSERT_TRUE(doc->SaveToFile(file));
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(QFileInfo::exists(otherList));
    EXPECT_TRUE(QFileInfo::exists(users));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_EQ(cvtest::readAll(file), Saved(*doc));
}

TEST_F(WordlistDocument, KeptSampleReadsForever)
{
    for (const int version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
        ASSERT_TRUE(doc.ReadWholeFromFile(SampleFile(version))) << SampleFile(version).toStdString();
        const TCVWordList& l = List(doc);
        EXPECT_EQ(l.Count(), 14);
        EXPECT_EQ(Freq(l, "the"), 4);
        EXPECT_EQ(Freq(l, QStringLiteral("café")), 2);
        EXPECT_EQ(doc.fStats->Count(), 4);
        EXPECT_EQ(doc.fStats->Row(0)->Data().TokensUsed, SumOfFrequencies(l));
        ASSERT_EQ(doc.fKeywordsList->Count(), 1);
        EXPECT_EQ(doc.fKeywordsList->Entry(0).fWord, QStringLiteral("cat"));
        EXPECT_EQ(doc.fKeywordsList->Entry(0).fData.Freq, 2);
        const QByteArray saved = Saved(doc);
        if (version == 1) {
            // A v1 file (another document than v2's) is saved with its check
            // block added and its key words in today's record: the blocks
            // before them stay byte for byte, and it saves so again.
            const QByteArray v1 = cvtest::readAll(SampleFile(1));
            const qsizetype keyWords = v1.indexOf("KEYW");
            ASSERT_GT(keyWords, 0);
            EXPECT_EQ(saved.left(keyWords), v1.left(keyWords));
            EXPECT_FALSE(v1.contains(QByteArray("CRC \x04\0\0\0", 8)));
            EXPECT_TRUE(saved.contains(QByteArray("CRC \x04\0\0\0", 8)));
            T_WholeWordlistHolder again(kListWordList, nullptr, nullptr, false, false);
            TMemoryStream m(std::vector<uint8_t>(saved.begin(), saved.end()));
            ASSERT_TRUE(again.ReadWholeFromStream(m));
            EXPECT_EQ(Saved(again), saved);
        } else {
            // v2 and v3 hold one document: saved again, today's layout of it.
            EXPECT_EQ(saved, cvtest::readAll(SampleFile()));
        }
    }
}

// Why a document saved without its check block (a file of before the
// check, or one forged) is refused; empty when it is read.
QString RefusalWithoutCheck(T_WholeWordlistHolder& doc)
{
    QByteArray bytes = Saved(doc);
    bytes.remove(bytes.lastIndexOf("CRC "), 12);
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    T_WholeWordlistHolder read(kListWordList, nullptr, nullptr, false, false);
    return read.ReadWholeFromStream(m) ? QString() : read.LastReadError();
}

// What a list shows of a word: its frequency (with forms), texts, % of
// texts and dispersion cells.
struct TShown {
    int64_t freq = -1;
    double texts = -1, textsPercent = -1, dispersion = -2;
    friend bool operator==(const TShown&, const TShown&) = default;
};
std::ostream& operator<<(std::ostream& o, const TShown& w)
{
    return o << w.freq << " in " << w.texts << " texts (" << w.textsPercent << " %), dispersion " << w.dispersion;
}
TShown Shown(const TCVWordList& l, const QString& word)
{
    const int i = l.FindWordAndTag(word, {});
    if (i < 0)
        return {};
    TDrawgridDataRec dispersion;
    l.DrawgridDataRec(i, TCVWordList::kColDispersion, TCVWordList::kDisplayAlphabetical, dispersion);
    return {l.CorrectFreq(i), l.NumericalData(i, TCVWordList::kColTexts), l.NumericalData(i, TCVWordList::kColTextsPercent),
            dispersion.text.isEmpty() ? -1.0 : std::round(dispersion.value * 1e6) / 1e6};
}

// Texts where the forms of "run" stand; and the same texts with every form
// spelt "run": what the head word must show is what "run" shows there.
std::vector<std::pair<QString, QByteArray>> RunTexts(bool formsSpeltAsHead)
{
    QByteArray a = "run ran runs the dog ran far, the cat sat and a dog ran home\n";
    QByteArray b = "the running dog runs, the cat naps, running is fun, a cat naps\n";
    QByteArray c = "the cat the dog the end of it all and more of the same\n";
    if (formsSpeltAsHead)
        for (QByteArray* t : {&a, &b, &c})
            for (const char* form : {"running", "runs", "ran"})
                t->replace(QByteArray(form) + ' ', "run ").replace(QByteArray(form) + ',', "run,");
    return {{QStringLiteral("a.txt"), a}, {QStringLiteral("b.txt"), b}, {QStringLiteral("c.txt"), c}};
}

TEST_F(WordlistDocument, AHeadWordShowsTheTextsAndDispersionOfItsFormsTakenTogether)
{
    const auto oneWord = Make(RunTexts(true));
    ASSERT_TRUE(made);
    const TShown together = Shown(List(*oneWord), QStringLiteral("run"));
    ASSERT_EQ(together.freq, 8);
    ASSERT_EQ(together.texts, 2);
    const auto doc = Make(RunTexts(false));
    ASSERT_TRUE(made);
    TCVWordList& l = *doc->WordlistOfType(kListWordList);
    const TShown alone = Shown(l, QStringLiteral("run"));
    EXPECT_EQ(alone.texts, 1);
    // Joined by hand (F4): the head word shows what the forms come to together.
    const auto at = [&](const char* w) { return l.FindWordAndTag(QString::fromLatin1(w), {}); };
    ASSERT_EQ(l.JoinARange({at("run"), at("ran"), at("runs"), at("running")}, true), 3);
    EXPECT_EQ(Shown(l, QStringLiteral("run")), together);
    // Saved and read again, the same.
    const QString file = dir.file(QStringLiteral("joined.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));
    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file) & 0xFF) << qPrintable(back.LastReadError());
    EXPECT_EQ(Shown(List(back), QStringLiteral("run")), together);
    // Unjoined (here and in the list read), the head word shows its own again.
    l.UnJoin(at("run"), true);
    EXPECT_EQ(Shown(l, QStringLiteral("run")), alone);
    TCVWordList& read = *back.WordlistOfType(kListWordList);
    read.UnJoinAll(true);
    EXPECT_EQ(Shown(read, QStringLiteral("run")), alone);
    read.Undo();
    EXPECT_EQ(Shown(read, QStringLiteral("run")), together);

    // Counts by part that do not add up to a word's frequency (a file
    // without its check) are damage.
    back.WordlistOfType(kListWordList)->Entry(read.FindWordAndTag(QStringLiteral("cat"), {})).fData.Freq += 1;
    const QString refused = RefusalWithoutCheck(back);
    EXPECT_TRUE(refused.contains(QStringLiteral("counts by part"))) << qPrintable(refused);

    // With a lemma list, the list made so from the start.
    LoadList(TLemmatiserListKind::Lemma, QStringLiteral("run -> ran, running, runs\n"));
    const auto lemmas = Make(RunTexts(false), nullptr, true);
    ASSERT_TRUE(made);
    EXPECT_EQ(Shown(List(*lemmas), QStringLiteral("run")), together);
}

TEST_F(WordlistDocument, AHeadWordOfALemmaListAbsentFromTheTextsStillHeadsItsForms)
{
    LoadList(TLemmatiserListKind::Lemma, QStringLiteral("play -> played, plays\n"));
    const std::vector<std::pair<QString, QByteArray>> texts = {
        {QStringLiteral("a.txt"), "she played and he played\n"}, {QStringLiteral("b.txt"), "it plays on\n"}};
    const auto doc = Make(texts, nullptr, true);
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    const int play = l.FindWordAndTag(QStringLiteral("play"), {});
    ASSERT_GE(play, 0);
    EXPECT_EQ(l.CorrectFreq(play), 3);
    EXPECT_EQ(l.CorrectFreq(play, false), 0);
    EXPECT_EQ(l.Entry(play).JoinedCount(), 2);
    EXPECT_EQ(l.NumericalData(play, TCVWordList::kColTexts), 2);
    EXPECT_EQ(l.WordlistData(play).Rank, 1);
    // It sorts among the others and its list saves and reads again.
    EXPECT_EQ(l.Entry(play - 1).fWord < QStringLiteral("play"), true);
    const QString file = dir.file(QStringLiteral("play.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));
    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file) & 0xFF) << qPrintable(back.LastReadError());
    EXPECT_EQ(Shown(List(back), QStringLiteral("play")), Shown(l, QStringLiteral("play")));
    // Undone as a step of its own (the lemma list applied from the menu), the head goes again.
    TCVWordList& again = *back.WordlistOfType(kListWordList);
    again.UnJoinAll(false);
    again.ClearUndo();
    const int before = again.Count();
    EXPECT_GT(again.CheckLemmas(true), 0);
    again.Undo();
    EXPECT_EQ(again.Count(), before);
}

// Ranks are checked on every entry of a list read (each its place by frequency).
void ExpectRanksFit(const TCVWordList& l)
{
    for (int i = 0; i < l.Count(); ++i)
        ASSERT_EQ(l.Entry(i).fData.Rank, l.FrequencyPlaceOf(i) + 1) << l.Entry(i).fWord.toStdString();
}

TEST_F(WordlistDocument, ListsSavedAfterZapsJoinsOrALemmaListOpenAgain)
{
    LoadList(TLemmatiserListKind::Lemma, QStringLiteral("cat -> cats\ndog -> dogs\n"));
    for (const bool lemmas : {false, true}) {
        SCOPED_TRACE(lemmas ? "made with a lemma list" : "zapped and joined by hand");
        auto doc = Make(ThreeTexts(), nullptr, lemmas);
        ASSERT_TRUE(made);
        TCVWordList& l = *doc->WordlistOfType(kListWordList);
        if (!lemmas) {
            l.SetDeleted(l.FindWordAndTag(QStringLiteral("mat"), {}), true, true);
            ASSERT_EQ(l.Zap(true), 1);
            ASSERT_EQ(l.JoinARange({l.FindWordAndTag(QStringLiteral("cat"), {}), l.FindWordAndTag(QStringLiteral("cats"), {})}, true), 1);
        }
        EXPECT_EQ(l.CorrectFreq(l.FindWordAndTag(QStringLiteral("cat"), {})), 3);
        const QString file = dir.file(QStringLiteral("edited.lst"));
        ASSERT_TRUE(doc->SaveToFile(file));
        T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
        ASSERT_TRUE(back.ReadWholeFromFile(file) & 0xFF) << qPrintable(back.LastReadError());
        EXPECT_EQ(List(back).RanksRenumberedOnReading(), 0);
        EXPECT_EQ(List(back).Count(), l.Count());
        ExpectRanksFit(List(back));
    }
}

TEST_F(WordlistDocument, ListsSavedWithRanksThatDoNotFitOpenRenumberedAndSaySo)
{
    // Saved by an earlier version after a zap and joins by hand, and after a
    // lemma list: their ranks were left as they were before rows went.
    for (const char* name : {"unfit_ranks_zap_join.lst", "unfit_ranks_lemma_list.lst"}) {
        SCOPED_TRACE(name);
        const QString file = cvtest::testDataDir() + QStringLiteral("/wordlist/") + QString::fromLatin1(name);
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
        ASSERT_TRUE(doc.ReadWholeFromFile(file) & 0xFF) << qPrintable(doc.LastReadError());
        const TCVWordList& l = List(doc);
        EXPECT_GT(l.RanksRenumberedOnReading(), 0);
        ExpectRanksFit(l);
        EXPECT_EQ(l.CorrectFreq(l.FindWordAndTag(QStringLiteral("go"), {})), 5); // go goes going gone went
        EXPECT_EQ(l.Entry(l.FindWordAndTag(QStringLiteral("go"), {})).JoinedCount(), 4);
        const auto noted = [](const T_WholeWordlistHolder& d) {
            return std::count_if(d.fNotes.begin(), d.fNotes.end(),
                                 [](const QString& n) { return n.contains(QStringLiteral("Ranks renumbered")); });
        };
        EXPECT_EQ(noted(doc), 1) << qPrintable(doc.fNotes.join(u'\n'));
        // Saved again, it opens with nothing to renumber.
        const QString again = dir.file(QStringLiteral("again.lst"));
        ASSERT_TRUE(doc.SaveToFile(again));
        T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
        ASSERT_TRUE(back.ReadWholeFromFile(again) & 0xFF);
        EXPECT_EQ(List(back).RanksRenumberedOnReading(), 0);
        EXPECT_EQ(noted(back), 1) << "the note of the first opening stays, no second one";
    }
}

// Writes the kept sample (run by hand with --gtest_also_run_disabled_tests
// when the format changes on purpose; the old sample stays too).
TEST_F(WordlistDocument, DISABLED_WriteKeptSample)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    auto kw = std::make_unique<TKeyWordEntry>(doc->fKeywordsList.get());
    kw->fWord = QStringLiteral("cat");
    kw->SetKeyness(12.5f);
    kw->fData.Freq = 2;
    doc->fKeywordsList->Add(std::move(kw));
    QDir().mkpath(QFileInfo(SampleFile()).absolutePath());
    ASSERT_TRUE(doc->SaveToFile(SampleFile()));
}

TEST_F(WordlistDocument, FilesOfOtherKindsOrDamagedAreRefusedWithAReason)
{
    Global_run_without_error_messages = false;
    auto doc = Make(ThreeTexts());
    const QByteArray good = Saved(*doc);

    // Not a result of the suite at all.
    const QString text = dir.write(QStringLiteral("plain.lst"), QByteArray("just some words of a text file that is no saved result at all\n"));
    T_WholeWordlistHolder a(kListWordList, nullptr, nullptr, false, false);
    EXPECT_EQ(a.ReadWholeFromFile(text, kToolWordList) & 0xFF, 0);
    EXPECT_EQ(a.LastReadFailure(), kReadNotOurs);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.contains(text));

    // A key-word document of the suite.
    TCorvantisholder keyWords(GetTextSettings(), kListKeyWords, nullptr, nullptr, false, false);
    const QString kws = dir.file(QStringLiteral("other.kws"));
    ASSERT_TRUE(keyWords.SaveToFile(kws));
    T_WholeWordlistHolder b(kListWordList, nullptr, nullptr, false, false);
    EXPECT_FALSE(b.ReadWholeFromFile(kws));
    EXPECT_EQ(b.LastReadFailure(), kReadWrongKind);

    // A missing file.
    T_WholeWordlistHolder c(kListWordList, nullptr, nullptr, false, false);
    EXPECT_EQ(c.ReadWholeFromFile(dir.file(QStringLiteral("none.lst")), kToolWordList) >> 8, kReadCannotOpen);

    // Cut short anywhere: refused as damage, the lists left empty.
    for (int n = 0; n < good.size() - 1; n += 11) {
        const QString cut = dir.write(QStringLiteral("cut.lst"), good.left(n));
        T_WholeWordlistHolder d(kListWordList, nullptr, nullptr, false, false);
        ASSERT_FALSE(d.ReadWholeFromFile(cut)) << n;
        EXPECT_EQ(List(d).Count(), 0);
    }
    // An unknown block before the end is skipped: a later layout still reads.
    QByteArray later = good;
    const int end = later.lastIndexOf("END ");
    ASSERT_GT(end, 0);
    later.insert(end, QByteArray("XTRA\x03\x00\x00\x00" "abc", 11));
    const QString laterFile = dir.write(QStringLiteral("later.lst"), later);
    T_WholeWordlistHolder e(kListWordList, nullptr, nullptr, false, false);
    EXPECT_TRUE(e.ReadWholeFromFile(laterFile));
    EXPECT_EQ(List(e).Count(), List(*doc).Count());

    // Bytes after the end block (a zero, a block, another whole list) are
    // damage, in today's layout and in that of before the check block
    // (neither ever had anything after its end); the lists stay as they were.
    QByteArray before = good;
    before.remove(before.lastIndexOf("CRC "), 12);
    for (const QByteArray& file : {good, before}) {
        T_WholeWordlistHolder whole(kListWordList, nullptr, nullptr, false, false);
        EXPECT_TRUE(whole.ReadWholeFromFile(dir.write(QStringLiteral("whole.lst"), file)));
        for (const QByteArray& after : {QByteArray(1, '\0'), QByteArray("XTRA\x00\x00\x00\x00", 8), good}) {
            const QString longer = dir.write(QStringLiteral("longer.lst"), file + after);
            T_WholeWordlistHolder f(kListWordList, nullptr, nullptr, false, false);
            EXPECT_EQ(f.ReadWholeFromFile(longer) & 0xFF, 0) << after.size();
            EXPECT_EQ(f.LastReadFailure(), kReadDamaged);
            EXPECT_TRUE(f.LastReadError().contains(QStringLiteral("%1 bytes beyond its end").arg(after.size())))
                << qPrintable(f.LastReadError());
            EXPECT_EQ(List(f).Count(), 0);
            EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("beyond its end")));
        }
    }
    // The program's own roads leave nothing after the end: a file saved
    // over a longer one, a list saved into a batch's archive.
    const QString over = dir.write(QStringLiteral("over.lst"), good + good);
    ASSERT_TRUE(doc->SaveToFile(over));
    T_WholeWordlistHolder g(kListWordList, nullptr, nullptr, false, false);
    EXPECT_TRUE(g.ReadWholeFromFile(over)) << qPrintable(g.LastReadError());
    const QString archive = dir.file(QStringLiteral("batch.zip"));
    ASSERT_TRUE(doc->AddToZipFile(archive, QStringLiteral("one.lst")));
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(archive));
    TMemoryStream entry;
    ASSERT_TRUE(zip.ExtractToStream(0, entry));
    entry.SetPosition(0);
    T_WholeWordlistHolder h(kListWordList, nullptr, nullptr, false, false);
    EXPECT_TRUE(h.ReadWholeFromStream(entry)) << qPrintable(h.LastReadError());
    EXPECT_EQ(List(h).Count(), List(*doc).Count());
}

TEST_F(WordlistDocument, ADamagedListIsRefusedOrReadAsItWas)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const QByteArray good = Saved(*doc);
    const TCVWordList& want = List(*doc);
    // Read to the same list, or refused; never to other values.
    auto readsTheSame = [&](const QByteArray& bytes) {
        TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        T_WholeWordlistHolder d(kListWordList, nullptr, nullptr, false, false);
        if (!d.ReadWholeFromStream(m)) {
            EXPECT_EQ(List(d).Count(), 0);
            return true;
        }
        const TCVWordList& got = List(d);
        if (got.Count() != want.Count() || got.TotalTokens() != want.TotalTokens() || got.TotalTexts() != want.TotalTexts())
            return false;
        for (int i = 0; i < got.Count(); ++i)
            if (got.Entry(i).fWord != want.Entry(i).fWord || got.Entry(i).fTag != want.Entry(i).fTag
                || got.WordlistData(i) != want.WordlistData(i))
                return false;
        return d.fStats->Count() == doc->fStats->Count()
            && d.fStats->Row(0)->Data().TokensUsed == doc->fStats->Row(0)->Data().TokensUsed;
    };
    for (qsizetype n = 0; n < good.size(); ++n)
        ASSERT_TRUE(readsTheSame(good.left(n))) << "cut to " << n;
    std::mt19937 random(2024);
    int refused = 0;
    for (int k = 0; k < 1000; ++k) {
        QByteArray bad = good;
        const auto at = qsizetype(random() % uint32_t(bad.size()));
        bad[at] = char(bad[at] ^ char(1 + random() % 255));
        TMemoryStream m(std::vector<uint8_t>(bad.begin(), bad.end()));
        T_WholeWordlistHolder d(kListWordList, nullptr, nullptr, false, false);
        refused += d.ReadWholeFromStream(m) ? 0 : 1;
        ASSERT_TRUE(readsTheSame(bad)) << "byte " << at << " changed";
    }
    EXPECT_GT(refused, 900) << "the check covers nearly every byte";

    // Without its check (a file of before it) impossible values are refused by themselves.
    QByteArray old = good;
    const qsizetype check = old.lastIndexOf("CRC ");
    ASSERT_GT(check, 0);
    old.remove(check, 12);
    ASSERT_TRUE(readsTheSame(old));
    TMemoryStream plain(std::vector<uint8_t>(old.begin(), old.end()));
    T_WholeWordlistHolder readable(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(readable.ReadWholeFromStream(plain));
    List(readable).Entry(0).fData.Freq = int64_t(List(readable).TotalTokens()) + 1;
    const QString why = RefusalWithoutCheck(readable);
    EXPECT_TRUE(why.contains(QStringLiteral("running words"))) << qPrintable(why);

    // A list that says it stands for far more running words than its texts
    // hold (its check made to match) is refused: every share and keyness
    // taken from it would be wrong.
    for (const int64_t total : {std::numeric_limits<int64_t>::max(), List(*doc).TotalTokens() * 3}) {
        T_WholeWordlistHolder forged(kListWordList, nullptr, nullptr, false, false);
        TMemoryStream again(std::vector<uint8_t>(good.begin(), good.end()));
        ASSERT_TRUE(forged.ReadWholeFromStream(again));
        forged.WordlistOfType(kListWordList)->SetTotalTokens(total);
        const QByteArray bytes = Saved(forged);
        TMemoryStream f(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
        EXPECT_FALSE(back.ReadWholeFromStream(f)) << total;
        EXPECT_TRUE(back.LastReadError().contains(QStringLiteral("its texts hold"))) << qPrintable(back.LastReadError());
    }
}

TEST_F(WordlistDocument, ACountThatWrapsIsCheckedBeforeAnythingIsMadeForIt)
{
    // A settings block that says it is 3 bytes long, and the record in it
    // 4 GB: refused as damaged, without taking the memory it claims (a
    // limit on the address space makes a 4 GB block fail).
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    QByteArray bytes = Saved(*doc);
    const qsizetype at = bytes.indexOf("WSET");
    ASSERT_GT(at, 0);
    const uint32_t fields[] = {3, 0xFFFFFFF0u};
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < 4; ++k)
            bytes[at + 4 + 4 * f + k] = char((fields[f] >> (8 * k)) & 0xFF);
    int result = 0;
    const QString message = cvtest::runInChild(
        [&] {
            // A gigabyte more than the process has mapped now.
            cvtest::limitAddressSpace(uint64_t(1) << 30);
            TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
            T_WholeWordlistHolder d(kListWordList, nullptr, nullptr, false, false);
            return d.ReadWholeFromStream(m) ? QStringLiteral("read") : d.LastReadError();
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(message.contains(QStringLiteral("damaged"))) << qPrintable(message);
}

TEST_F(WordlistDocument, AnIndexFileIsNoWordList)
{
    TCheckSignature sig;
    sig.SetForSaving(kListIndexWordList, 1, ListTypeSignature(kListIndexWordList));
    TMemoryStream m;
    ASSERT_TRUE(sig.SaveToStream(m) && m.WriteExact("TOKN", 4) && m.WriteU64(1));
    m.SetPosition(0);
    T_WholeWordlistHolder d(kListWordList, nullptr, nullptr, false, false);
    EXPECT_FALSE(d.ReadWholeFromStream(m));
    EXPECT_EQ(d.LastReadFailure(), kReadWrongKind);
    EXPECT_TRUE(d.LastReadError().contains(QStringLiteral("corpus index"))) << qPrintable(d.LastReadError());
}

TEST_F(WordlistDocument, RunningShortOfMemoryStopsTheJobWithAMessage)
{
    TCVFileDetails chosen(true, {});
    for (const auto& [name, bytes] : ThreeTexts())
        chosen.ToolAddAFile(dir.write(name, bytes));
    auto job = [&](QString& message) {
        Global_run_without_error_messages = true;
        Global_FailureMessage.clear();
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        cvtest::ShortageFromHere();
        const bool ok = doc.MakeWordlist(chosen, 0, converted, kListWordList);
        cvtest::ShortageToHere();
        message = doc.JobFailure().isEmpty() ? Global_FailureMessage : doc.JobFailure();
        return ok && List(doc).Count() == 14;
    };
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(job));
}

TEST_F(WordlistDocument, UnreadableAndEmptyTextsAreReportedNotCounted)
{
    QByteArray binary(4096, '\0');
    for (int k = 0; k < binary.size(); ++k)
        binary[k] = char((k * 37) % 7);
    TCVFileDetails chosen(true, {});
    chosen.ToolAddAFile(dir.write(QStringLiteral("good.txt"), QByteArray("a good text")));
    chosen.ToolAddAFile(dir.write(QStringLiteral("empty.txt"), QByteArray()));
    chosen.ToolAddAFile(dir.write(QStringLiteral("picture.bin"), binary));
    chosen.ToolAddAFile(dir.write(QStringLiteral("gone.txt"), QByteArray("soon gone")));
    QFile::remove(dir.file(QStringLiteral("gone.txt")));
    QStringList told;
    T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false, [&](const QString& name) {
        told << name;
        return 0;
    });
    int32_t converted = 0;
    ASSERT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListWordList));
    EXPECT_EQ(doc.dud_compute_files.size(), 2);
    EXPECT_EQ(told, doc.dud_compute_files);
    EXPECT_TRUE(doc.dud_compute_files[0].endsWith(QStringLiteral("picture.bin")));
    ASSERT_EQ(doc.UnreadTextReasons().size(), 2);
    EXPECT_TRUE(doc.UnreadTextReasons()[0].contains(QStringLiteral("binary")));
    EXPECT_TRUE(doc.UnreadTextReasons()[1].contains(QStringLiteral("gone.txt")));
    // The empty text was read: it has its row, with nothing in it.
    ASSERT_EQ(doc.fStats->Count(), 3);
    EXPECT_EQ(doc.fStats->Row(2)->Data().TokensInText, 0);
    EXPECT_EQ(List(doc).Count(), 3);
    EXPECT_EQ(chosen.File(2)->Status, 2);
    EXPECT_EQ(chosen.File(0)->Status, 1);
    EXPECT_EQ(chosen.File(0)->Words, 3);

    // Only an empty text: no list, and the user hears why.
    dialogs.Clear();
    auto none = Make({{QStringLiteral("e.txt"), QByteArray("  \n ")}});
    EXPECT_FALSE(made);
    EXPECT_EQ(List(*none).Count(), 0);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("NoWordsIn")));
    // Its Help button leads to the word list's "no words" section, not to the clusters.
    for (const cv::TDialogRequest& r : dialogs.Requests())
        if (r.routine == QLatin1String("NoWordsIn"))
            EXPECT_EQ(r.helpContext, 4565);
}

TEST_F(WordlistDocument, ATextOfOneLongLineIsReadInChunks)
{
    // About 50 MB on one line: long "words" (dropped by the length limit)
    // between short ones, so that the line has blanks but few words.
    QByteArray unit(QByteArray(120, 'x') + " hi ");
    QByteArray line;
    line.reserve(50 * 1024 * 1024);
    while (line.size() < 50 * 1024 * 1024)
        line += unit;
    auto doc = Make({{QStringLiteral("long.txt"), line}});
    ASSERT_TRUE(made);
    const int64_t units = line.size() / unit.size();
    EXPECT_EQ(Freq(List(*doc), "hi"), units);
    EXPECT_EQ(doc->fStats->Row(1)->Data().TokensInText, 2 * units);
    EXPECT_EQ(doc->fStats->Row(1)->Data().Paragraphs, 1);
}

TEST_F(WordlistDocument, UnitsAreCountedAcrossChunks)
{
    // Over two million units: the text is read in more than one chunk, and
    // the paragraph ending a chunk still ends its paragraph.
    QByteArray text;
    const int lines = 300000;
    for (int k = 0; k < lines; ++k)
        text += "Aaa bbb.\n";
    auto doc = Make({{QStringLiteral("lines.txt"), text}});
    ASSERT_TRUE(made);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.Paragraphs, lines);
    EXPECT_EQ(s.Sentences, lines);
    EXPECT_DOUBLE_EQ(s.MeanSentenceLength, 2.0);
    EXPECT_EQ(Freq(List(*doc), "aaa"), lines);
}

TEST_F(WordlistDocument, TheSizeOfTheChunksReadChangesNothingCounted)
{
    // Texts with what a chunk's end could cut in two: mark-up and entities,
    // sentences and paragraphs, joined and long words, numbers, characters
    // beyond the Basic Multilingual Plane, line ends of both kinds.
    QString varied;
    for (int k = 0; k < 300; ++k)
        varied += QStringLiteral("<p>The well-known writer's %1th <b>book</b> &amp; its sequel cost $%2.50. "
                                 "Antidisestablishmentarianism%3 returns!\r\nDon't \U0001D400\U0001D401 stop; "
                                 "caf\u00E9 NA\u00CFVE na\u00EFve %4.</p>\n\n")
                      .arg(k)
                      .arg(k * 7)
                      .arg(k % 3 == 0 ? QStringLiteral("ism") : QString())
                      .arg(k % 5 == 0 ? QStringLiteral("Heading line") : QStringLiteral("ok"));
    const std::vector<std::pair<QString, QByteArray>> texts = {
        {QStringLiteral("varied.html"), varied.toUtf8()},
        {QStringLiteral("plain.txt"), QByteArray("Short text. Two sentences here.\n")},
    };
    struct TResult {
        std::vector<std::pair<QString, TWordlistDataRec>> entries;
        std::vector<TStatsRec> rows;
    };
    auto result = [&](const std::vector<std::pair<QString, QByteArray>>& in, int32_t units) {
        chunkUnits = units;
        auto doc = Make(in);
        EXPECT_TRUE(made) << units;
        TResult r;
        const TCVWordList& l = List(*doc);
        for (int i = 0; i < l.Count(); ++i)
            r.entries.push_back({l.Entry(i).fTag + u'|' + l.Entry(i).fWord, l.Entry(i).fData});
        std::sort(r.entries.begin(), r.entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (int i = 0; i < doc->fStats->Count(); ++i) {
            r.rows.push_back(doc->fStats->Row(i)->Data());
            r.rows.back().FileTime = 0; // the texts are written again for each list
        }
        return r;
    };
    // Several texts, and one text alone (its dispersion over tenths of it,
    // which lie across chunks).
    for (const auto& in : {texts, std::vector<std::pair<QString, QByteArray>>{texts[0]}}) {
        const TResult whole = result(in, TBufferProcessor::kMaxChunkChars);
        ASSERT_GT(whole.entries.size(), 20u);
        EXPECT_EQ(whole.rows[0].Texts, int32_t(in.size()));
        for (int32_t units : {0, 64, 331, 4096}) {
            const TResult r = result(in, units);
            EXPECT_TRUE(r.entries == whole.entries) << units;
            EXPECT_TRUE(r.rows == whole.rows) << units;
        }
    }
}

TEST_F(WordlistDocument, TextWithoutBlanksIsNotCutThroughWhateverTheChunks)
{
    // Longer than a chunk without a blank or line break: a "word" of
    // 100,000 letters (longer than a word may be: passed over), and words
    // with punctuation but no blanks between them, as in texts of scripts
    // written without spaces. A chunk grows rather than cutting through them.
    const QByteArray longWord = "alpha " + QByteArray(100000, 'x') + " beta gamma.\n";
    QByteArray unspaced;
    for (int k = 0; k < 40000; ++k)
        unspaced += "ab,";
    for (int32_t units : {0, 1000, TBufferProcessor::kMaxChunkChars}) {
        chunkUnits = units;
        auto doc = Make({{QStringLiteral("long.txt"), longWord}, {QStringLiteral("unspaced.txt"), unspaced}});
        ASSERT_TRUE(made) << units;
        EXPECT_EQ(doc->fStats->Row(1)->Data().TokensInText, 3) << units;
        EXPECT_EQ(Freq(List(*doc), "alpha"), 1) << units;
        EXPECT_EQ(Freq(List(*doc), "gamma"), 1) << units;
        EXPECT_EQ(doc->fStats->Row(2)->Data().TokensInText, 40000) << units;
        EXPECT_EQ(Freq(List(*doc), "ab"), 40000) << units;
        EXPECT_EQ(List(*doc).Count(), 4) << units;
    }
}

TEST_F(WordlistDocument, ACancelledJobLeavesThePreviousListsAlone)
{
    auto doc = Make(ThreeTexts());
    ASSERT_TRUE(made);
    const QByteArray before = Saved(*doc);
    TStopAtFirstWord stopper;
    doc->SetTokenSink(&stopper);
    TCVFileDetails chosen(true, {});
    chosen.ToolAddAFile(dir.write(QStringLiteral("other.txt"), QByteArray("completely different words here")));
    int32_t converted = 0;
    EXPECT_FALSE(doc->MakeWordlist(chosen, 0, converted, kListWordList));
    global_panic_state = kPanicRun;
    doc->SetTokenSink(nullptr);
    EXPECT_EQ(Freq(List(*doc), "the"), 4);
    EXPECT_EQ(Freq(List(*doc), "different"), -1);
    EXPECT_EQ(doc->fStats->Count(), 4);

    // A cancel asked between texts also stops the job.
    global_panic_state = kPanicStopAtEndOfText;
    EXPECT_FALSE(doc->MakeWordlist(chosen, 0, converted, kListWordList));
    global_panic_state = kPanicRun;
    EXPECT_EQ(List(*doc).Count(), List(*Make(ThreeTexts())).Count());
    (void)before;
}

TEST_F(WordlistDocument, AnIndexWordListNeedsAnIndex)
{
    TCVFileDetails chosen(true, {});
    chosen.ToolAddAFile(dir.write(QStringLiteral("a.txt"), QByteArray("words")));
    T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    EXPECT_FALSE(doc.MakeWordlist(chosen, 0, converted, kListIndexWordList));
    EXPECT_FALSE(dialogs.Requests().empty());
    EXPECT_NE(doc.WordlistOfType(kListIndexWordList), nullptr);
    // Lists can be handed over and taken back.
    auto own = doc.SetWordlistOfType(kListIndexWordList, nullptr);
    EXPECT_NE(own, nullptr);
    EXPECT_EQ(doc.WordlistOfType(kListIndexWordList), nullptr);
}

TEST_F(WordlistDocument, BatchesSaveOneListPerTextOrPerFolderIntoTheZip)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    const TBatchProceduresRec saved = b;
    b.ResetForNewBatch();
    b.BatchRootFolder = dir.file(QStringLiteral("batch"));
    b.Zip_Too = true;
    b.ZipShortFilename = QStringLiteral("lists.zip");
    QDir().mkpath(dir.file(QStringLiteral("f1")));
    QDir().mkpath(dir.file(QStringLiteral("f2")));
    TCVFileDetails chosen(true, {});
    chosen.ToolAddAFile(dir.write(QStringLiteral("f1/a.txt"), QByteArray("alpha beta")));
    chosen.ToolAddAFile(dir.write(QStringLiteral("f1/b.txt"), QByteArray("beta gamma gamma")));
    chosen.ToolAddAFile(dir.write(QStringLiteral("f2/c.txt"), QByteArray("delta")));

    T_WholeWordlistHolder perText(kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    ASSERT_TRUE(perText.MakeWordlist(chosen, 1, converted, kListWordList));
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(perText.last_batch_zip_Fullname));
    QStringList names = zip.EntryNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{"a.lst", "b.lst", "c.lst"}));
    TMemoryStream entry;
    ASSERT_TRUE(zip.ExtractToStream(zip.IndexOf(QStringLiteral("b.lst")), entry));
    zip.CloseArchive();
    entry.SetPosition(0);
    T_WholeWordlistHolder one(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(one.ReadWholeFromStream(entry));
    EXPECT_EQ(Freq(List(one), "gamma"), 2);
    EXPECT_EQ(one.fStats->Count(), 2);

    // One list per folder, of all its texts together.
    b.ResetForNewBatch();
    b.BatchRootFolder = dir.file(QStringLiteral("batch3"));
    b.ZipShortFilename = QStringLiteral("folders.zip");
    T_WholeWordlistHolder perFolder(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(perFolder.MakeWordlist(chosen, 3, converted, kListWordList));
    TZipArchive zip3;
    ASSERT_TRUE(zip3.OpenArchive(perFolder.last_batch_zip_Fullname));
    names = zip3.EntryNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{"f1.lst", "f2.lst"}));
    TMemoryStream folderEntry;
    ASSERT_TRUE(zip3.ExtractToStream(zip3.IndexOf(QStringLiteral("f1.lst")), folderEntry));
    folderEntry.SetPosition(0);
    T_WholeWordlistHolder f1(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(f1.ReadWholeFromStream(folderEntry));
    EXPECT_EQ(Freq(List(f1), "beta"), 2);
    EXPECT_EQ(f1.fStats->Count(), 3);

    // Per text, zipped per folder.
    b.ResetForNewBatch();
    b.BatchRootFolder = dir.file(QStringLiteral("batch2"));
    T_WholeWordlistHolder zipped(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(zipped.MakeWordlist(chosen, 2, converted, kListWordList));
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("batch2/f1.zip"))));
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("batch2/f2.zip"))));
    b = saved;
}

TEST_F(WordlistDocument, MergingDocumentsAddsListsAndStatistics)
{
    auto a = Make({{QStringLiteral("a.txt"), QByteArray("cat dog dog")}});
    auto b = Make({{QStringLiteral("b.txt"), QByteArray("dog emu")}});
    ASSERT_TRUE(a->MergeWith(*b, true));
    EXPECT_EQ(Freq(List(*a), "dog"), 3);
    EXPECT_EQ(Freq(List(*a), "emu"), 1);
    EXPECT_EQ(List(*a).TotalTokens(), 5);
    EXPECT_EQ(a->fStats->Count(), 3);
    EXPECT_EQ(a->fStats->Row(0)->Data().Texts, 2);
    EXPECT_EQ(a->fStats->Row(0)->Data().TokensUsed, 5);
    EXPECT_FALSE(a->MergeWith(*a, false));

    // With a stop list the lists stand for the running words of their
    // texts, and the statistics keep their own tokens used.
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\n"));
    auto c = Make({{QStringLiteral("c.txt"), QByteArray("the cat the dog")}}, nullptr, false, true);
    auto d = Make({{QStringLiteral("d.txt"), QByteArray("the emu")}}, nullptr, false, true);
    EXPECT_EQ(List(*c).TotalTokens(), 4);
    ASSERT_TRUE(c->MergeWith(*d, true));
    EXPECT_EQ(List(*c).TotalTokens(), 6);
    EXPECT_EQ(c->fStats->Row(0)->Data().TokensInText, 6);
    EXPECT_EQ(c->fStats->Row(0)->Data().TokensUsed, 3);
}

TEST_F(WordlistDocument, TheUsersWordFilterChangesOrDropsTypes)
{
    SetUseUserFilter(kToolWordList, true);
    SetUserDLLFileName(kToolWordList, QStringLiteral(CV_TEST_WORD_FILTER_DIR "/libtest_word_filter.so"));
    auto doc = MakeOne(QStringLiteral("colour color color dropme keep"));
    ASSERT_TRUE(made);
    EXPECT_EQ(Freq(List(*doc), "color"), 3);
    EXPECT_EQ(Freq(List(*doc), "colour"), -1);
    EXPECT_EQ(Freq(List(*doc), "dropme"), -1);
    EXPECT_EQ(Freq(List(*doc), "keep"), 1);

    // Types by the hundred (the entries are made a few hundred at a time):
    // each keeps its own frequency.
    auto spelling = [](int k) {
        return QStringLiteral("x") + QChar(u'a' + k / 26 / 26 % 26) + QChar(u'a' + k / 26 % 26) + QChar(u'a' + k % 26);
    };
    QString many;
    for (int k = 0; k < 700; ++k)
        for (int r = 0; r <= k % 3; ++r)
            many += spelling(k) + QLatin1Char(' ');
    auto manyDoc = MakeOne(many);
    ASSERT_TRUE(made);
    ASSERT_EQ(List(*manyDoc).Count(), 700);
    for (int k = 0; k < 700; ++k)
        ASSERT_EQ(Freq(List(*manyDoc), spelling(k)), k % 3 + 1) << k;

    // A filter that cannot be loaded stops the job with a message naming it.
    SetUserDLLFileName(kToolWordList, dir.file(QStringLiteral("nothere.so")));
    dialogs.Clear();
    auto failed = MakeOne(QStringLiteral("words"));
    EXPECT_FALSE(made);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("nothere.so")));
}

// A sink that changes its text on disk at the first word it is given: cuts
// it short (in the middle of a word) or makes it longer.
class TChangeTheText final : public TWordTokenSink {
public:
    TChangeTheText(QString file, bool cut) : fFile(std::move(file)), fCut(cut) {}
    void Token(const TToken&) override
    {
        if (fDone)
            return;
        fDone = true;
        QFile f(fFile);
        if (fCut)
            EXPECT_TRUE(f.resize(f.size() / 2 + 3));
        else if (f.open(QIODevice::Append))
            f.write("omega omega omega\n");
    }

private:
    QString fFile;
    bool fCut;
    bool fDone = false;
};

TEST_F(WordlistDocument, ATextChangedWhileItIsReadIsNamedInTheNotesAndToTheJob)
{
    QByteArray lines;
    for (int k = 0; k < 2000; ++k)
        lines += "alpha beta gamma delta\n";
    for (const bool cut : {true, false}) {
        SCOPED_TRACE(cut ? "cut short" : "made longer");
        const QString file = dir.write(QStringLiteral("changing.txt"), lines);
        TCVFileDetails chosen(true, {});
        chosen.ToolAddAFile(file);
        chosen.ToolAddAFile(dir.write(QStringLiteral("steady.txt"), QByteArray("alpha beta\n")));
        T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
        TChangeTheText changer(file, cut);
        doc.SetTokenSink(&changer);
        doc.SetChunkUnits(256);
        int32_t converted = 0;
        ASSERT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListWordList));
        // Only the changed text is named, in the job's notes and in the list's.
        ASSERT_EQ(doc.TextNotes().size(), 1) << qPrintable(doc.TextNotes().join(QLatin1Char('|')));
        const QString note = doc.TextNotes()[0];
        EXPECT_TRUE(note.startsWith(QDir::toNativeSeparators(file) + QStringLiteral(": the text changed while it was read")))
            << qPrintable(note);
        EXPECT_TRUE(doc.fNotes.join(QLatin1Char('\n')).contains(note));
        const int64_t words = doc.fStats->Row(1)->Data().TokensInText;
        if (cut)
            EXPECT_LT(words, 8000);
        else
            EXPECT_EQ(words, 8000); // read as far as it reached when it was opened
        EXPECT_EQ(Freq(List(doc), "omega"), -1);
    }
}

TEST_F(WordlistDocument, AByteOrderMarkItsTextDoesNotLookLikeIsNamedInTheNotes)
{
    QByteArray text("\xFF\xFE");
    for (int k = 0; k < 50; ++k)
        text += "Plain ASCII lines behind a mark that says otherwise.\n";
    auto doc = Make({{QStringLiteral("marked.txt"), text}, {QStringLiteral("plain.txt"), QByteArray("plain words")}});
    ASSERT_TRUE(made);
    ASSERT_EQ(doc->TextNotes().size(), 1);
    EXPECT_TRUE(doc->TextNotes()[0].contains(QStringLiteral("marked.txt: the text does not look like UTF-16 little-endian")))
        << qPrintable(doc->TextNotes()[0]);
    EXPECT_TRUE(doc->fNotes.join(QLatin1Char('\n')).contains(doc->TextNotes()[0]));
}

TEST_F(WordlistDocument, AWordLongerThanAnyAListKeepsIsPassedOverAndSaidSo)
{
    // No length limit of the settings: a word of 65,535 characters is a
    // type like any other, one of 65,536 or 200,000 is no word at all, for
    // the running words as for the types; the boundary before it stays.
    TTextSettings t = Settings();
    t.SetMaxWordLength(0);
    Use(t);
    const QByteArray longest(kMaxTypeLength, 'K');
    const QByteArray text = "First words. " + longest + " ends. Next " + QByteArray(kMaxTypeLength + 1, 'x')
                            + ". Then " + QByteArray(200000, 'y') + " Last words.\n";
    auto doc = Make({{QStringLiteral("long.txt"), text}});
    ASSERT_TRUE(made);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 8);
    EXPECT_EQ(s.TokensUsed, 8);
    EXPECT_EQ(s.Sentences, 4); // "Next" and "Then" are sentences of their own
    EXPECT_EQ(Freq(List(*doc), QString::fromLatin1(longest).toLower()), 1);
    EXPECT_EQ(List(*doc).Count(), 7);
    ASSERT_EQ(doc->TextNotes().size(), 1);
    EXPECT_TRUE(doc->TextNotes()[0].endsWith(QStringLiteral("long.txt: 2 words longer than 65,535 characters, the "
                                                             "longest a word may be, were passed over (they count "
                                                             "neither as running words nor as types)")))
        << qPrintable(doc->TextNotes()[0]);

    // A text that is one such word: no list, and the message says why.
    dialogs.Clear();
    auto none = Make({{QStringLiteral("one.txt"), QByteArray(3 * 1024 * 1024, 'z')}});
    EXPECT_FALSE(made);
    ASSERT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoWordsIn")});
    EXPECT_TRUE(dialogs.Requests()[0].text.endsWith(QStringLiteral("one.txt\". A word longer than 65,535 characters, "
                                                                   "the longest a word may be, was passed over (it "
                                                                   "counts neither as a running word nor as a type).")))
        << qPrintable(dialogs.Requests()[0].text);
}

TEST_F(WordlistDocument, SampleCorpusEndToEnd)
{
    const QString corpus = qEnvironmentVariable("CV_SAMPLE_CORPUS");
    if (corpus.isEmpty())
        GTEST_SKIP() << "CV_SAMPLE_CORPUS is not set";
    TCVFileDetails chosen(true, {});
    ASSERT_TRUE(chosen.ToolAddAFile(QDir(corpus).filePath(QStringLiteral("*.txt"))));
    T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    ASSERT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListWordList));
    const TCVWordList& l = List(doc);
    const TStatsRec& overall = doc.fStats->Row(0)->Data();
    EXPECT_EQ(overall.Texts, chosen.FileCount());
    EXPECT_EQ(SumOfFrequencies(l), overall.TokensUsed);
    EXPECT_LE(overall.TokensUsed, overall.TokensInText);
    EXPECT_EQ(l.Count(), overall.Types);
    EXPECT_GT(l.Count(), 10000);
    const QString file = dir.file(QStringLiteral("corpus.lst"));
    ASSERT_TRUE(doc.SaveToFile(file));
    T_WholeWordlistHolder back(kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(file));
    EXPECT_EQ(Saved(back), cvtest::readAll(file));
}

} // namespace
