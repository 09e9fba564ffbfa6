// The index job, its four files, adding texts, and what an opened index answers.

#include "index_testutil.h"

#include "index/index_relationships.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "support/failing_allocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace cv;
using namespace index_test;

namespace {

TTexts ThreeTexts()
{
    return {{QStringLiteral("one.txt"), QByteArray("The cat sat on the mat. The dog sat too.\nA new paragraph, the end.\n")},
            {QStringLiteral("two.txt"), QByteArray("A cat and a dog. Cats and dogs! 42 cats sat on 7 mats.\n")},
            {QStringLiteral("three.txt"), QStringLiteral("Café au lait, the café. The cat sat.\n").toUtf8()}};
}

class IndexJob : public IndexTest {
protected:
    // The plain word list of the same texts, for comparison.
    std::unique_ptr<T_WholeWordlistHolder> PlainList(const TTexts& texts)
    {
        TCVFileDetails chosen = Chosen(texts);
        auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc->MakeWordlist(chosen, 0, converted, kListWordList));
        return doc;
    }
    static void ExpectSameLists(const TCVWordList& a, const TCVWordList& b)
    {
        ASSERT_EQ(a.Count(), b.Count());
        EXPECT_EQ(a.TotalTokens(), b.TotalTokens());
        EXPECT_EQ(a.TotalTexts(), b.TotalTexts());
        for (int i = 0; i < a.Count(); ++i) {
            EXPECT_EQ(a.Entry(i).fWord, b.Entry(i).fWord) << i;
            EXPECT_EQ(a.Entry(i).fTag, b.Entry(i).fTag) << i;
            EXPECT_EQ(a.WordlistData(i), b.WordlistData(i)) << qPrintable(a.Entry(i).fWord);
        }
    }
    QByteArray Bytes(const QString& name, const char* ext) { return cvtest::readAll(dir.file(name) + QLatin1String(ext)); }
};

TEST_F(IndexJob, TheIndexWordListIsThePlainWordListOfTheSameTexts)
{
    ASSERT_TRUE(Index(ThreeTexts(), "corpus")) << qPrintable(lastError);
    auto plain = PlainList(ThreeTexts());
    auto doc = Open("corpus");
    EXPECT_EQ(doc->MainFile.ListType, kListIndexWordList);
    ASSERT_NE(doc->fIndexHandler, nullptr);
    ExpectSameLists(*doc->WordlistOfType(kListIndexWordList), *plain->WordlistOfType(kListWordList));
    // The statistics rows are those of the plain run.
    ASSERT_EQ(doc->fStats->Count(), plain->fStats->Count());
    for (int i = 1; i < doc->fStats->Count(); ++i)
        EXPECT_EQ(doc->fStats->Row(i)->Data(), plain->fStats->Row(i)->Data());
    EXPECT_EQ(doc->fStats->Row(0)->Data().Types, plain->fStats->Row(0)->Data().Types);
    EXPECT_EQ(doc->fStats->Row(0)->Data().TokensUsed, plain->fStats->Row(0)->Data().TokensUsed);
}

// The index and the word list weigh their parts alike (by running words),
// so a word's dispersion is the same in both, whatever the list leaves out:
// a stop list (the index keeps every word), words outside the length
// limits, and in an index made in two steps too.
TEST_F(IndexJob, TheWordListsDispersionIsTheIndexsWithAStopListOrLengthLimits)
{
    // Texts whose stop-list words and short words are spread otherwise than the others.
    TTexts texts{{QStringLiteral("one.txt"), QByteArray("The cat sat on the mat of the house. I am a cat, a big one.\n")},
                 {QStringLiteral("two.txt"), QByteArray("A dog and a cat. The dog is in a house by the sea.\n")},
                 {QStringLiteral("three.txt"), QByteArray("Sea, sea and sea: the cat is in the big house at sea.\n")},
                 {QStringLiteral("four.txt"), QByteArray("Of the dog and of the cat, of it all, I say no more.\n")}};
    auto compare = [&](const char* name, bool stopList) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Index(texts, QString::fromLatin1(name))) << qPrintable(lastError);
        const QString twice = QString::fromLatin1(name) + QStringLiteral("2");
        ASSERT_TRUE(Index({texts[0], texts[1]}, twice)) << qPrintable(lastError);
        ASSERT_TRUE(Index({texts[2], texts[3]}, twice, kIndexOpenAdd)) << qPrintable(lastError);
        TCVFileDetails chosen = Chosen(texts);
        T_WholeWordlistHolder plain(kListWordList, nullptr, nullptr, false, stopList);
        int32_t converted = 0;
        ASSERT_TRUE(plain.MakeWordlist(chosen, 0, converted, kListWordList));
        const TCVWordList& l = *plain.WordlistOfType(kListWordList);
        EXPECT_EQ(l.TotalTokens(), plain.fStats->Row(0)->Data().TokensInText);
        for (const TIndexData& index : {Load(QString::fromLatin1(name)), Load(twice)}) {
            EXPECT_EQ(index.RunningWords(), l.TotalTokens());
            for (int i = 0; i < l.Count(); ++i) {
                const int32_t id = index.FindType(l.Entry(i).fWord);
                ASSERT_GE(id, 0) << qPrintable(l.Entry(i).fWord);
                EXPECT_EQ(index.types[std::size_t(id)].freq, l.WordlistData(i).Freq) << qPrintable(l.Entry(i).fWord);
                EXPECT_EQ(index.types[std::size_t(id)].dispersion, l.WordlistData(i).Dispersion)
                    << qPrintable(l.Entry(i).fWord);
            }
        }
    };
    compare("plain", false);
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\na\nof\nand\n"));
    compare("stopped", true);
    TLemmatiser::Instance().ClearAll();
    TTextSettings t = Settings();
    t.SetMinWordLength(3);
    t.SetMaxWordLength(4);
    Use(t);
    compare("limited", false);
}

TEST_F(IndexJob, AOneTextIndexKeepsTheWordListsDispersion)
{
    QByteArray text;
    for (int i = 0; i < 60; ++i)
        text += i % 7 == 0 ? "rare word here. " : "common words come often and often. ";
    const TTexts one{{QStringLiteral("long.txt"), text}};
    ASSERT_TRUE(Index(one, "single")) << qPrintable(lastError);
    auto doc = Open("single");
    ExpectSameLists(*doc->WordlistOfType(kListIndexWordList), *PlainList(one)->WordlistOfType(kListWordList));
}

TEST_F(IndexJob, AnIndexMadeInTwoStepsIsTheIndexMadeInOne)
{
    TTexts all = ThreeTexts();
    all.push_back({QStringLiteral("four.txt"), QByteArray("The mat sat on the cat; 3 dogs barked.\n\nNew cats.\n")});
    ASSERT_TRUE(Index(all, "once")) << qPrintable(lastError);
    ASSERT_TRUE(Index({all[0], all[1]}, "twice")) << qPrintable(lastError);
    ASSERT_TRUE(TryToBackupIndexFiles(dir.file("twice.tokens")));
    const QByteArray before = Bytes("twice", ".types");
    ASSERT_TRUE(Index({all[2], all[3]}, "twice", kIndexOpenAdd)) << qPrintable(lastError);
    EXPECT_EQ(cvtest::readAll(dir.file("twice.types.bak")), before);

    const TIndexData a = Load("once"), b = Load("twice");
    ASSERT_EQ(a.types.size(), b.types.size());
    for (std::size_t i = 0; i < a.types.size(); ++i) {
        EXPECT_EQ(a.types[i].word, b.types[i].word);
        EXPECT_EQ(a.types[i].flags, b.types[i].flags);
        EXPECT_EQ(a.types[i].freq, b.types[i].freq);
        EXPECT_EQ(a.types[i].texts, b.types[i].texts);
        EXPECT_EQ(a.types[i].dispersion, b.types[i].dispersion);
    }
    EXPECT_EQ(AllCodes(a), AllCodes(b));
    ASSERT_EQ(a.texts.size(), b.texts.size());
    for (std::size_t t = 0; t < a.texts.size(); ++t) {
        EXPECT_EQ(a.texts[t].stats, b.texts[t].stats);
        EXPECT_EQ(a.texts[t].tokens, b.texts[t].tokens);
        EXPECT_EQ(a.texts[t].byteOffset, b.texts[t].byteOffset);
    }
    ASSERT_EQ(a.markup.size(), b.markup.size());
    for (std::size_t m = 0; m < a.markup.size(); ++m) {
        EXPECT_EQ(a.markup[m].token, b.markup[m].token);
        EXPECT_EQ(a.markup[m].level, b.markup[m].level);
    }
    EXPECT_EQ(a.NumbersRemoved(), b.NumbersRemoved());
    EXPECT_EQ(Bytes("once", ".tokens").mid(kIndexHeaderSize), Bytes("twice", ".tokens").mid(kIndexHeaderSize));
    // And both give the plain word list of all four texts.
    ExpectSameLists(*Open("twice")->WordlistOfType(kListIndexWordList), *PlainList(all)->WordlistOfType(kListWordList));
}

TEST_F(IndexJob, AddedTextsOfOldWordsOnlyAreCountedAsInOneStep)
{
    // The added text begins with many words the index has (more than a
    // batch of them) before a word of its own, and the last holds old words only.
    QByteArray old;
    for (int k = 0; k < 200; ++k)
        old += "the cat sat on the mat ";
    const TTexts all{{QStringLiteral("one.txt"), QByteArray("The cat sat on the mat.\n")},
                     {QStringLiteral("two.txt"), old + "zebra.\n"},
                     {QStringLiteral("three.txt"), old}};
    ASSERT_TRUE(Index(all, "once")) << qPrintable(lastError);
    ASSERT_TRUE(Index({all[0]}, "twice")) << qPrintable(lastError);
    ASSERT_TRUE(Index({all[1], all[2]}, "twice", kIndexOpenAdd)) << qPrintable(lastError);
    const TIndexData a = Load("once"), b = Load("twice");
    ASSERT_EQ(a.types.size(), b.types.size());
    for (std::size_t i = 0; i < a.types.size(); ++i) {
        EXPECT_EQ(a.types[i].word, b.types[i].word);
        EXPECT_EQ(a.types[i].freq, b.types[i].freq);
        EXPECT_EQ(a.types[i].texts, b.types[i].texts);
        EXPECT_EQ(a.types[i].dispersion, b.types[i].dispersion);
    }
    EXPECT_EQ(AllCodes(a), AllCodes(b));
}

TEST_F(IndexJob, AddingToAnIndexThatDoesNotExistMakesIt)
{
    ASSERT_TRUE(Index(ThreeTexts(), "fresh", kIndexOpenAdd)) << qPrintable(lastError);
    EXPECT_EQ(Load("fresh").TextCount(), 3);
}

TEST_F(IndexJob, TokensKeepNumbersAndBoundaries)
{
    ASSERT_TRUE(Index({{QStringLiteral("t.txt"), QByteArray("One two. Three 42 four.\n\nFive six.\n")}}, "b"));
    const TIndexData d = Load("b");
    const auto codes = AllCodes(d);
    ASSERT_EQ(codes.size(), 1u);
    QStringList words;
    for (uint32_t c : codes[0])
        words << d.CodeText(c);
    EXPECT_EQ(words.join(' '), QStringLiteral("one two three # four five six"));
    EXPECT_EQ(d.NumbersRemoved(), 1);
    EXPECT_EQ(d.RunningWords(), 6);
    std::vector<uint8_t> levels;
    d.TextLevels(0, levels);
    EXPECT_EQ(levels, (std::vector<uint8_t>{0, 0, 2, 0, 0, 3, 0}));
}

// What the reading notes of a text read all the same (as a word list of
// it notes): the job tells it and the index keeps it among its notes,
// also when texts are added.
TEST_F(IndexJob, WhatTheReadingNotedOfATextIsToldAndKept)
{
    const QByteArray longWord(70000, 'x');
    const TTexts texts{{QStringLiteral("marked.txt"), QByteArray("\xEF\xBB\xBF") + QStringLiteral("Gr\u00FC\u00DFe aus K\u00F6ln und \u00DCberall.\n").toLatin1().repeated(40)},
                       {QStringLiteral("long.txt"), "before " + longWord + " after\n"},
                       {QStringLiteral("page.html"), QByteArray("<p>Seen words.</p><script>var hidden = 1;</script>\n")},
                       {QStringLiteral("plain.txt"), QByteArray("Nothing to note here.\n")}};
    TCVFileDetails chosen = Chosen(texts);
    QStringList notes, skipped;
    ASSERT_TRUE(MakeIndexOfTexts(chosen, dir.file("noted"), kIndexOpenNew, &lastError, &skipped, &notes)) << qPrintable(lastError);
    EXPECT_TRUE(skipped.isEmpty()) << qPrintable(skipped.join(u'|'));
    ASSERT_EQ(notes.size(), 3) << qPrintable(notes.join(u'|'));
    EXPECT_TRUE(notes[0].contains(QStringLiteral("marked.txt: the text does not look like UTF-8")));
    EXPECT_TRUE(notes[1].contains(QStringLiteral("long.txt: a word longer than 65,535 characters")));
    EXPECT_TRUE(notes[2].contains(QStringLiteral("page.html: what stands inside <script> and <style> was left out")));
    auto kept = [&](const QString& note) { return Load("noted").notes.contains(note); };
    for (const QString& n : notes)
        EXPECT_TRUE(kept(n)) << qPrintable(n);
    // Added texts add their notes; those of the first texts stay.
    TCVFileDetails more = Chosen({{QStringLiteral("more.txt"), QByteArray("\xEF\xBB\xBF") + QByteArray("Caf\xE9 cr\xE8me br\xFBl\xE9" "e.\n").repeated(40)}});
    QStringList added;
    ASSERT_TRUE(MakeIndexOfTexts(more, dir.file("noted"), kIndexOpenAdd, &lastError, nullptr, &added)) << qPrintable(lastError);
    ASSERT_EQ(added.size(), 1);
    EXPECT_TRUE(added[0].contains(QStringLiteral("more.txt: the text does not look like UTF-8")));
    EXPECT_TRUE(kept(added[0]));
    EXPECT_TRUE(kept(notes[0]));
}

TEST_F(IndexJob, DamagedOrMismatchedFilesAreRefusedAndLeftAlone)
{
    ASSERT_TRUE(Index(ThreeTexts(), "good"));
    ASSERT_TRUE(Index({ThreeTexts()[0]}, "other"));
    struct TCase {
        const char* what;
        std::function<void()> damage;
        const char* says;
    };
    const QString good = dir.file("good");
    auto cut = [&](const char* ext, int keep) {
        QFile f(good + QLatin1String(ext));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(keep < 0 ? f.size() + keep : keep));
    };
    auto patch = [&](const char* ext, qint64 at, char byte) {
        QFile f(good + QLatin1String(ext));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(at < 0 ? f.size() + at : at));
        ASSERT_EQ(f.write(&byte, 1), 1);
    };
    const std::vector<TCase> cases = {
        {"a file missing", [&] { QFile::remove(good + ".markup"); }, "does not exist"},
        {"tokens cut short", [&] { cut(".tokens", -3); }, "cut short"},
        {"types cut inside the header", [&] { cut(".types", 70); }, "cut short"},
        {"a newer version", [&] { patch(".stats", 8, 2); }, "newer version"},
        {"a byte changed", [&] { patch(".tokens", -2, 0x7F); }, "damaged"},
        {"another index's file", [&] { QFile::remove(good + ".types"); QFile::copy(dir.file("other.types"), good + ".types"); }, "do not belong together"},
        {"another part", [&] { QFile::remove(good + ".stats"); QFile::copy(good + ".markup", good + ".stats"); }, "another part"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        // A fresh sound index each time.
        ASSERT_TRUE(Index(ThreeTexts(), "good"));
        c.damage();
        std::vector<QByteArray> before;
        for (const char* ext : {".tokens", ".types", ".stats", ".markup"})
            before.push_back(cvtest::readAll(good + ext));
        TIndexData d;
        QString error;
        EXPECT_FALSE(d.Load(good, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.says))) << qPrintable(error);
        EXPECT_TRUE(error.contains(QStringLiteral("good"))) << qPrintable(error);
        // Neither opening nor adding to it changes a file.
        Global_run_without_error_messages = true;
        T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
        EXPECT_EQ(doc.OpenAnIndexAndLoadWords(good) & 0xFF, 0);
        EXPECT_FALSE(Index({ThreeTexts()[2]}, "good", kIndexOpenAdd));
        Global_run_without_error_messages = false;
        std::size_t k = 0;
        for (const char* ext : {".tokens", ".types", ".stats", ".markup"})
            EXPECT_EQ(cvtest::readAll(good + ext), before[k++]) << ext;
    }
}

TEST_F(IndexJob, RunningShortOfMemoryStopsEachIndexJobWithAMessageAndKeepsTheFiles)
{
    ASSERT_TRUE(Index(ThreeTexts(), "kept"));
    const QByteArray kept = Bytes("kept", ".tokens");
    // Making an index, adding to one (whose files must stay as they were
    // unless the addition is saved), and the relationships of an open one.
    auto make = [&](QString& message) {
        TCVFileDetails chosen = Chosen(ThreeTexts());
        const QString name = dir.file("made");
        cvtest::ShortageFromHere();
        const bool ok = MakeIndexOfTexts(chosen, name, kIndexOpenNew, &lastError);
        cvtest::ShortageToHere();
        message = lastError;
        return ok;
    };
    auto add = [&](QString& message) {
        for (const char* ext : {".tokens", ".types", ".stats", ".markup"}) {
            QFile::remove(dir.file("added") + QLatin1String(ext));
            QFile::copy(dir.file("kept") + QLatin1String(ext), dir.file("added") + QLatin1String(ext));
        }
        TCVFileDetails chosen = Chosen({{QStringLiteral("four.txt"), QByteArray("More words for the index.\n")}});
        const QString name = dir.file("added");
        cvtest::ShortageFromHere();
        const bool ok = MakeIndexOfTexts(chosen, name, kIndexOpenAdd, &lastError);
        cvtest::ShortageToHere();
        message = lastError;
        // Refused or not, the index opens: the old set or the new one.
        TIndexData d;
        QString error;
        return d.Load(dir.file("added"), &error) && ok;
    };
    auto relationships = [&](QString& message) {
        auto doc = Open("kept");
        doc->fIndexHandler->fWordChoice = kIndexProcessAll;
        cvtest::ShortageFromHere();
        doc->fIndexHandler->ComputeMIAssociation();
        cvtest::ShortageToHere();
        // None found is a result; a failure says why.
        message = doc->fIndexHandler->LastError();
        return message.isEmpty();
    };
    for (const auto& job : {std::function<bool(QString&)>(make), std::function<bool(QString&)>(add),
                            std::function<bool(QString&)>(relationships)}) {
        cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(job));
    }
    EXPECT_EQ(Bytes("kept", ".tokens"), kept);
}

TEST_F(IndexJob, OpeningAMissingIndexSaysWhy)
{
    Global_run_without_error_messages = true;
    T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
    const uint16_t r = doc.OpenAnIndexAndLoadWords(dir.file("nothing.tokens"));
    EXPECT_EQ(r & 0xFF, 0);
    EXPECT_EQ(r >> 8, kReadCannotOpen);
    EXPECT_TRUE(Global_FailureMessage.contains(QStringLiteral("nothing.tokens")));
    EXPECT_EQ(doc.fIndexHandler, nullptr);
}

TEST_F(IndexJob, TheIndexJobNeedsAHandlerAndAFolder)
{
    Global_run_without_error_messages = true;
    TCVFileDetails chosen = Chosen(ThreeTexts());
    T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    EXPECT_FALSE(doc.MakeWordlist(chosen, 0, converted, kListIndexWordList));
    ASSERT_TRUE(doc.StartAnIndexHandler(dir.file("no/such/folder/x"), kIndexOpenNew));
    EXPECT_FALSE(doc.fIndexHandler->LoadedTheFiles());
    EXPECT_TRUE(doc.fIndexHandler->LastError().contains(QStringLiteral("does not exist")));
    EXPECT_FALSE(doc.fIndexHandler->fOk);
}

TEST_F(IndexJob, AStatisticsListThatDisagreesIsNotSaved)
{
    TCVFileDetails chosen = Chosen(ThreeTexts());
    T_WholeWordlistHolder doc(kListIndexWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(doc.StartAnIndexHandler(dir.file("x"), kIndexOpenNew));
    ASSERT_TRUE(doc.fIndexHandler->LoadedTheFiles());
    int32_t converted = 0;
    ASSERT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListIndexWordList));
    TCVStatsList fewer(nullptr, CurrentToolSignature());
    fewer.AddText(doc.fStats->Row(1)->Data());
    doc.fIndexHandler->SetStatsList(&fewer);
    EXPECT_FALSE(doc.fIndexHandler->ProcessAfterWordHandling(QString(), 3));
    EXPECT_FALSE(IndexFilesExist(dir.file("x")));
}

TEST_F(IndexJob, EveryContextOfAWord)
{
    ASSERT_TRUE(Index(ThreeTexts(), "c"));
    auto doc = Open("c");
    TIndexHandler& h = *doc->fIndexHandler;
    const std::vector<TIndexPosition> cat = h.AllContextsOf(QStringLiteral("Cat"));
    ASSERT_EQ(cat.size(), 3u);
    EXPECT_EQ(cat[0], (TIndexPosition{0, 1, 1, 0, 0}));
    EXPECT_EQ(cat[1], (TIndexPosition{1, 1, 16, 0, 0}));
    EXPECT_EQ(cat[2].text, 2);
    EXPECT_EQ(cat[2].wordInText, 6);
    EXPECT_EQ(cat[2].sentence, 1);
    EXPECT_TRUE(h.AllContextsOf(QStringLiteral("unicorn")).empty());
}

TEST_F(IndexJob, ExportsWordDetailsAndSentenceLengths)
{
    ASSERT_TRUE(Index(ThreeTexts(), "e"));
    auto doc = Open("e");
    const QString out = dir.file("export.txt");
    ASSERT_TRUE(doc->fIndexHandler->ExportData(out, QStringLiteral("sat"), true));
    const QString text = QString::fromUtf8(cvtest::readAll(out));
    EXPECT_TRUE(text.contains(QStringLiteral("Word\tsat\nFrequency\t4\nTexts\t3\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("1\tone.txt\t3\t1\t1\tthe cat [sat] on the mat the dog\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("one.txt\t3\t6,4,5\n"))) << qPrintable(text);
    // An export that cannot be written says so and leaves nothing.
    Global_run_without_error_messages = true;
    EXPECT_FALSE(doc->fIndexHandler->ExportData(dir.file("no/folder/x.txt"), QString(), false));
}

TEST_F(IndexJob, LemmaConsistencyCountsTextsHoldingAnyForm)
{
    ASSERT_TRUE(Index(ThreeTexts(), "l"));
    TIndexHandler h(nullptr, dir.file("l"), kIndexOpenRead);
    QString error;
    ASSERT_TRUE(h.Open(dir.file("l.types"), &error)) << qPrintable(error);
    EXPECT_EQ(h.TextsHoldingAnyOf({QStringLiteral("cat")}), 3);
    EXPECT_EQ(h.TextsHoldingAnyOf({QStringLiteral("cats"), QStringLiteral("mat")}), 2);
    EXPECT_EQ(h.TextsHoldingAnyOf({QStringLiteral("Café")}), 1);
    EXPECT_EQ(h.TextsHoldingAnyOf({QStringLiteral("zebra")}), 0);
    EXPECT_FALSE(h.Open(dir.file("missing"), &error));

    // Through the word list: a head word's texts are those of any of its forms.
    auto doc = Open("l");
    TCVWordList& list = *doc->WordlistOfType(kListIndexWordList);
    const int cat = list.FindWordAndTag(QStringLiteral("cat"), QString());
    const int cats = list.FindWordAndTag(QStringLiteral("cats"), QString());
    ASSERT_TRUE(list.Join(cat, cats, false));
    EXPECT_EQ(list.CheckLemmasForConsistency(dir.file("l.tokens"), &h), 1);
    EXPECT_EQ(list.WordlistData(list.FindWordAndTag(QStringLiteral("cat"), QString())).LemmaTexts, 3);
}

TEST_F(IndexJob, SampleCorpusEndToEnd)
{
    const QString folder = qEnvironmentVariable("CV_SAMPLE_CORPUS");
    if (folder.isEmpty())
        GTEST_SKIP() << "CV_SAMPLE_CORPUS is not set";
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name).mid(0, 12);
    ASSERT_EQ(names.size(), 12);
    auto chosen = [&](qsizetype from, qsizetype count) {
        TCVFileDetails c(false, {});
        for (const QString& n : names.mid(from, count))
            c.ToolAddAFile(QDir(folder).filePath(n));
        return c;
    };
    TCVFileDetails first = chosen(0, 6), second = chosen(6, 6), all = chosen(0, 12);
    QString error;
    ASSERT_TRUE(MakeIndexOfTexts(first, dir.file("sample"), kIndexOpenNew, &error)) << qPrintable(error);
    ASSERT_TRUE(MakeIndexOfTexts(second, dir.file("sample"), kIndexOpenAdd, &error)) << qPrintable(error);
    T_WholeWordlistHolder plain(kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    ASSERT_TRUE(plain.MakeWordlist(all, 0, converted, kListWordList));
    ExpectSameLists(*Open("sample")->WordlistOfType(kListIndexWordList), *plain.WordlistOfType(kListWordList));
}

TEST_F(IndexJob, KeptSampleOfTheFirstVersionStillReads)
{
    const QString sample = cvtest::testDataDir() + QStringLiteral("/index/sample_v1");
    TIndexData d;
    QString error;
    ASSERT_TRUE(d.Load(sample, &error)) << qPrintable(error);
    EXPECT_EQ(d.TextCount(), 3);
    EXPECT_EQ(d.RunningWords(), 35);
    EXPECT_EQ(d.NumbersRemoved(), 2);
    EXPECT_EQ(d.types.size(), 18u);
    EXPECT_EQ(d.types[size_t(d.FindType(QStringLiteral("the")))].freq, 6);
    EXPECT_EQ(d.CodeText(AllCodes(d)[1][0]), QStringLiteral("café")); // the texts were chosen in name order
}

} // namespace
