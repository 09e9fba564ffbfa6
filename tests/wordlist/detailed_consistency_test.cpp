#include "wordlist/detailed_consistency.h"

#include <gtest/gtest.h>

#include <QFile>

#include "suite/zip_archive.h"
#include "wordlist/wordlist_holder.h"

#include "model/check_signature.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "support/test_support.h"

using cv::TConsistencyRelationSettings;
using cv::TConsistencySource;
using cv::TDetailedConsistencyList;

namespace {

const uint32_t kSig = cv::MakeToolSignature(0);

TConsistencySource source(const char* file, int64_t tokens, std::vector<std::pair<const char*, int64_t>> words)
{
    TConsistencySource s;
    s.fileName = QString::fromLatin1(file);
    s.tokens = tokens;
    for (auto& [w, f] : words)
        s.words.emplace_back(QString::fromUtf8(w), f);
    return s;
}

// Three small lists; counts worked out by hand:
//   the  A5 B4 C1  texts 3 total 10
//   cat  A2 .  C2  texts 2 total 4
//   dog  A3 B1 .   texts 2 total 4
//   fish .  B3 .   texts 1 total 3
//   bird .  .  C3  texts 1 total 3
std::vector<TConsistencySource> threeLists()
{
    return {source("/data/lists/alpha.lst", 10, {{"the", 5}, {"cat", 2}, {"dog", 3}}),
            source("/data/lists/beta.lst", 8, {{"the", 4}, {"dog", 1}, {"fish", 3}}),
            source("/data/lists/gamma.lst", 6, {{"bird", 3}, {"the", 1}, {"cat", 2}})};
}

// Four lists for the relations: x{A,B,C} y{A,B} z{A,C} w{C,D} v{D}.
std::vector<TConsistencySource> fourLists()
{
    return {source("a.lst", 0, {{"x", 9}, {"y", 5}, {"z", 4}}), source("b.lst", 0, {{"x", 1}, {"y", 1}}),
            source("c.lst", 0, {{"x", 1}, {"z", 1}, {"w", 2}}), source("d.lst", 0, {{"w", 1}, {"v", 7}})};
}

QStringList rowWords(const TDetailedConsistencyList& l)
{
    QStringList out;
    for (int i = 0; i < l.Count(); ++i)
        out << l.Entry(i).fWord;
    return out;
}

QStringList relations(const TDetailedConsistencyList& l)
{
    QStringList out;
    const auto* r = l.RelationsList();
    for (int i = 0; i < r->Count(); ++i) {
        const auto& e = r->Relation(i);
        out << QStringLiteral("%1-%2 %3/%4/%5 %6")
                   .arg(e.fWord1, e.fWord2)
                   .arg(e.fJointTexts)
                   .arg(e.fTexts1)
                   .arg(e.fTexts2)
                   .arg(e.fDice, 0, 'f', 2);
    }
    return out;
}

std::vector<uint8_t> saved(TDetailedConsistencyList& l)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(l.SaveToStream(m));
    return m.Bytes();
}

QString cell(const TDetailedConsistencyList& l, int row, int column)
{
    cv::TDrawgridDataRec rec;
    l.DrawgridDataRec(row, column, 5, rec);
    return rec.text;
}

// A list with some of everything the stream carries: joined forms, a
// category, a deleted row, the marking flag, relations, a custom sort.
void fillRich(TDetailedConsistencyList& l)
{
    TConsistencyRelationSettings rel;
    rel.minJointTexts = 1;
    ASSERT_TRUE(l.BuildFrom(fourLists(), rel));
    const int y = l.Find_Word(u"y"), z = l.Find_Word(u"z");
    ASSERT_TRUE(l.Join(y, z, false));
    l.SetACategoryAndColour(l.Find_Word(u"x"), 1, QStringLiteral("core"), 0xFF00FF00u, false);
    l.SetDeleted(l.Find_Word(u"v"), true, false);
    l.SetMarking(true);
    l.SetThreeSorts(l.IntegerToDCSort(TDetailedConsistencyList::ColumnOfList(2)), cv::kDCSortWord, cv::kDCSortNone);
}

} // namespace

TEST(DetailedConsistency, CountsPerListTotalsAndTexts)
{
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom(threeLists()));
    EXPECT_EQ(l.ListType(), cv::kListDetailedConsistency);
    ASSERT_EQ(l.ListCount(), 3);
    EXPECT_EQ(l.ListTokens(1), 8);
    // Default order: in most lists, then most frequent, then alphabetical.
    EXPECT_EQ(rowWords(l), (QStringList{"the", "cat", "dog", "bird", "fish"}));
    EXPECT_EQ(l.GridHeadings(), (QStringList{"N", "Word", "Texts", "Total", "Set", "alpha", "beta", "gamma"}));
    EXPECT_TRUE(l.IsASetColumnColumn(4));

    const auto the = l.DetailedConsistencyData(0);
    EXPECT_EQ(the.word, QStringLiteral("the"));
    EXPECT_EQ(the.texts, 3);
    EXPECT_EQ(the.total, 10);
    EXPECT_EQ(the.freqs, (std::vector<int64_t>{5, 4, 1}));
    const auto dog = l.DetailedConsistencyData(2);
    EXPECT_EQ(dog.freqs, (std::vector<int64_t>{3, 1, 0}));
    EXPECT_EQ(dog.texts, 2);
    EXPECT_EQ(dog.total, 4);
    EXPECT_EQ(l.DetailedConsistencyData(3).freqs, (std::vector<int64_t>{0, 0, 3}));

    // The grid row of "cat": N, word, texts, total, set, then one column per list.
    EXPECT_EQ(l.EntryDetailsAsString(1), QStringLiteral("2\tcat\t2\t4\t\t2\t0\t2"));
    EXPECT_EQ(l.Entry(0).MainWordFrequency(), 10);
    EXPECT_EQ(l.Entry(0).MainNTexts(), 3);
}

// Shown as shares: each list's frequency of its own running words, the
// total of all the lists' (24), the texts as counted. By hand: "the" 5 of
// alpha's 10, 1 of gamma's 6, 10 of 24.
TEST(DetailedConsistency, TheNumberDisplayShowsEachListsFrequencyAsAShareOfItsRunningWords)
{
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom(threeLists()));
    const auto shown = [&](int column, cv::TNumberDisplay display) {
        cv::TDrawgridDataRec rec;
        l.DrawgridDataRec(0, column, 0, rec);
        l.ShowNumberAs(display, column, rec);
        return rec.text;
    };
    EXPECT_EQ(shown(TDetailedConsistencyList::ColumnOfList(0), cv::kNumbersPercent), QStringLiteral("50.0000"));
    EXPECT_EQ(shown(TDetailedConsistencyList::ColumnOfList(2), cv::kNumbersPerThousand), QStringLiteral("166.667"));
    EXPECT_EQ(shown(3, cv::kNumbersPercent), QStringLiteral("41.6667"));
    EXPECT_EQ(shown(2, cv::kNumbersPercent), QStringLiteral("3"));
    EXPECT_EQ(shown(TDetailedConsistencyList::ColumnOfList(0), cv::kNumbersAsCounted), QStringLiteral("5"));
    // Lists whose running words are not known stay as counted.
    TDetailedConsistencyList unknown(nullptr, kSig);
    ASSERT_TRUE(unknown.BuildFrom(fourLists()));
    cv::TDrawgridDataRec rec;
    unknown.DrawgridDataRec(0, 3, 0, rec);
    unknown.ShowNumberAs(cv::kNumbersPercent, 3, rec);
    EXPECT_TRUE(rec.isInteger);
}

TEST(DetailedConsistency, FewerThanTwoListsMakeNoList)
{
    TDetailedConsistencyList l(nullptr, kSig);
    auto one = threeLists();
    one.resize(1);
    EXPECT_FALSE(l.BuildFrom(one));
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.ListCount(), 0);
    EXPECT_FALSE(l.BuildFrom({}));
}

TEST(DetailedConsistency, RepeatedWordsAndEmptyOrZeroEntries)
{
    // A word given twice in one list adds up; empty words and frequencies
    // of 0 or less are not words of the list.
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom({source("a", 0, {{"w", 2}, {"w", 3}, {"", 9}, {"zero", 0}, {"neg", -5}}),
                             source("b", 0, {{"w", 1}})}));
    ASSERT_EQ(l.Count(), 1);
    EXPECT_EQ(l.DetailedConsistencyData(0).freqs, (std::vector<int64_t>{5, 1}));
    EXPECT_EQ(l.DetailedConsistencyData(0).texts, 2);
}

TEST(DetailedConsistency, SortKeysFromColumnsAndThreeSorts)
{
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom(threeLists()));
    EXPECT_EQ(l.IntegerToDCSort(4), cv::kDCSortNone); // the set column
    EXPECT_EQ(l.IntegerToDCSort(8), cv::kDCSortNone); // past the last list
    // A click on the set column sorts on its categories, as in every list.
    EXPECT_EQ(l.KindOfSortKey(l.HeaderColumnToSortNeeded(4)), cv::TSortKeyKind::Text);
    EXPECT_NE(l.HeaderColumnToSortNeeded(4), cv::kDCSortWord);

    // By list "beta" descending, then alphabetically.
    l.SetThreeSorts(l.IntegerToDCSort(6), l.IntegerToDCSort(1), cv::kDCSortNone);
    l.SetSortAscending(0, false);
    l.SetSortAscending(1, true);
    l.CompleteResort();
    EXPECT_EQ(rowWords(l), (QStringList{"the", "fish", "dog", "bird", "cat"}));

    // By total ascending, ties alphabetically descending.
    l.SetThreeSorts(l.IntegerToDCSort(3), l.IntegerToDCSort(1), cv::kDCSortNone);
    l.SetSortAscending(0, true);
    l.SetSortAscending(1, false);
    l.CompleteResort();
    EXPECT_EQ(rowWords(l), (QStringList{"fish", "bird", "dog", "cat", "the"}));
}

TEST(DetailedConsistency, JoinedFormsAddIntoTheirHead)
{
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom(threeLists()));
    // "fish" (B3) joined under "cat" (A2 C2): A2 B3 C2, texts 3, total 7.
    const int cat = l.Find_Word(u"cat");
    ASSERT_TRUE(l.Join(cat, l.Find_Word(u"fish"), false));
    const int row = l.Find_Word(u"cat");
    const auto d = l.CombinedData(row);
    EXPECT_EQ(d.freqs, (std::vector<int64_t>{2, 3, 2}));
    EXPECT_EQ(d.texts, 3);
    EXPECT_EQ(d.total, 7);
    EXPECT_EQ(l.CombinedTexts(row), 3);
    EXPECT_EQ(l.CombinedTotal(row), 7);
    EXPECT_EQ(l.CombinedFreq(row, 1), 3);
    // The record itself is left as it was.
    EXPECT_EQ(l.DetailedConsistencyData(row).total, 4);
    // Cells and sorts see the joined figures.
    EXPECT_EQ(cell(l, row, 2), QStringLiteral("3"));
    EXPECT_EQ(cell(l, row, 3), QStringLiteral("7"));
    EXPECT_EQ(cell(l, row, 6), QStringLiteral("3"));
    l.SetSortSettingsToDefault();
    l.CompleteResort();
    EXPECT_EQ(rowWords(l), (QStringList{"the", "cat", "dog", "bird"}));
    // Unjoining restores the rows.
    EXPECT_EQ(l.UnJoinAll(false), 1);
    EXPECT_EQ(l.Count(), 5);
}

TEST(DetailedConsistency, RelationsPairWordsOfTheSameLists)
{
    TDetailedConsistencyList l(nullptr, kSig);
    // Candidates x(3 lists) y z w (2 lists); v is in one list only.
    //   x-y: shared A,B  dice 2*2/(3+2) = 0.80    x-z: shared A,C  0.80
    //   y-z: shared A    dice 2/4 = 0.50          z-w: shared C    0.50
    //   x-w: shared C    dice 2/5 = 0.40          y-w: nothing shared
    ASSERT_TRUE(l.BuildFrom(fourLists()));
    EXPECT_EQ(relations(l), (QStringList{"x-y 2/3/2 0.80", "x-z 2/3/2 0.80"}));
    EXPECT_EQ(l.RelationsList()->ListType(), cv::kListConsistencyRelations);

    TConsistencyRelationSettings rel;
    rel.minJointTexts = 1;
    ASSERT_TRUE(l.ComputeRelations(rel));
    EXPECT_EQ(relations(l), (QStringList{"x-y 2/3/2 0.80", "x-z 2/3/2 0.80", "y-z 1/2/2 0.50", "z-w 1/2/2 0.50"}));
    rel.minDice = 0.4;
    ASSERT_TRUE(l.ComputeRelations(rel));
    EXPECT_EQ(l.RelationsList()->Count(), 5);
    EXPECT_TRUE(relations(l).contains(QStringLiteral("x-w 1/3/2 0.40")));

    // Only the strongest are kept when there are too many.
    rel.maxRelations = 1;
    ASSERT_TRUE(l.ComputeRelations(rel));
    ASSERT_EQ(l.RelationsList()->Count(), 1);
    EXPECT_DOUBLE_EQ(l.RelationsList()->Relation(0).fDice, 0.8);

    // Words in every list relate to all alike, unless asked for.
    TDetailedConsistencyList two(nullptr, kSig);
    ASSERT_TRUE(two.BuildFrom({source("a", 0, {{"p", 1}, {"q", 1}}), source("b", 0, {{"p", 1}, {"q", 1}})}));
    EXPECT_EQ(two.RelationsList()->Count(), 0);
    rel = {};
    rel.skipWordsInAllLists = false;
    ASSERT_TRUE(two.ComputeRelations(rel));
    EXPECT_EQ(relations(two), QStringList{"p-q 2/2/2 1.00"});
    // The relations grid: word 2, shared lists and Dice.
    cv::TDrawgridDataRec rec;
    two.RelationsList()->DrawgridDataRec(0, 2, 22, rec);
    EXPECT_EQ(rec.text, QStringLiteral("q"));
    two.RelationsList()->DrawgridDataRec(0, 6, 22, rec);
    EXPECT_EQ(rec.text, QStringLiteral("1.000"));
    EXPECT_EQ(two.RelationsList()->EntryDetailsAsString(0), QStringLiteral("1\tp\tq\t2\t2\t2\t1.000\t"));
}

TEST(DetailedConsistency, ACancelledBuildLeavesNoList)
{
    TDetailedConsistencyList l(nullptr, kSig);
    cv::global_panic_state = cv::kPanicStopNow;
    EXPECT_FALSE(l.BuildFrom(threeLists()));
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.ListCount(), 0);
    // The progress callback can stop it too.
    EXPECT_FALSE(l.BuildFrom(threeLists(), {}, [](int percent) { return percent < 50; }));
    EXPECT_EQ(l.Count(), 0);
}

TEST(DetailedConsistency, SaveReadSaveGivesTheSameBytes)
{
    TDetailedConsistencyList l(nullptr, kSig);
    fillRich(l);
    const auto first = saved(l);

    TDetailedConsistencyList back(nullptr, kSig);
    cv::TMemoryStream m(first);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(saved(back), first);

    EXPECT_EQ(back.ListCount(), 4);
    EXPECT_EQ(back.ListFileName(3), QStringLiteral("d.lst"));
    EXPECT_TRUE(back.Marking());
    EXPECT_EQ(back.SortLevel(0).key, cv::kDCSortFirstList + 2);
    const int y = back.Find_Word(u"y");
    ASSERT_GE(y, 0);
    EXPECT_EQ(back.CombinedData(y).freqs, (std::vector<int64_t>{9, 1, 1, 0}));
    EXPECT_TRUE(back.GetDeleted(back.Find_Word(u"v")));
    EXPECT_EQ(back.Entry(back.Find_Word(u"x")).Category(1), QStringLiteral("core"));
    EXPECT_EQ(relations(back), relations(l));
}

TEST(DetailedConsistency, EveryCutOfTheStreamIsRefused)
{
    TDetailedConsistencyList l(nullptr, kSig);
    fillRich(l);
    const auto bytes = saved(l);
    for (size_t n = 0; n < bytes.size(); ++n) {
        TDetailedConsistencyList back(nullptr, kSig);
        cv::TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)));
        ASSERT_FALSE(back.ReadFromStream(m)) << "cut at " << n;
        EXPECT_EQ(back.Count(), 0);
        EXPECT_EQ(back.ListCount(), 0);
        EXPECT_EQ(back.RelationsList()->Count(), 0);
    }
}

TEST(DetailedConsistency, DamagedStreamsAreRefusedWithoutACrash)
{
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.BuildFrom(threeLists()));
    const auto bytes = saved(l);

    // Every single byte changed in turn: the read either fails or gives a
    // list that saves again without trouble.
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (uint8_t x : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            auto b = bytes;
            b[i] ^= x;
            TDetailedConsistencyList back(nullptr, kSig);
            cv::TMemoryStream m(std::move(b));
            if (back.ReadFromStream(m)) {
                cv::TMemoryStream again;
                EXPECT_TRUE(back.SaveToStream(again));
                for (int r = 0; r < back.Count(); ++r)
                    for (const cv::TDCCell& c : back.Entry(r).fCells)
                        ASSERT_TRUE(c.list >= 0 && c.list < back.ListCount() && c.freq > 0);
            }
        }
    }

    // A cell naming a list the file does not have.
    TDetailedConsistencyList bad(nullptr, kSig);
    ASSERT_TRUE(bad.BuildFrom(threeLists()));
    bad.Entry(0).fCells.back().list = 7;
    const auto badBytes = saved(bad);
    TDetailedConsistencyList back(nullptr, kSig);
    cv::TMemoryStream m(badBytes);
    EXPECT_FALSE(back.ReadFromStream(m));

    // Another list's stream is not a consistency list.
    cv::TMemoryStream other;
    ASSERT_TRUE(l.RelationsList()->SaveToStream(other));
    other.SetPosition(0);
    EXPECT_FALSE(back.ReadFromStream(other));
}

TEST(DetailedConsistency, KeptSampleReadsAndSavesUnchanged)
{
    const QString file = cvtest::testDataDir() + QStringLiteral("/wordlist/detailed_consistency_v1.bin");
    if (qEnvironmentVariableIsSet("CV_WRITE_TEST_SAMPLES")) {
        TDetailedConsistencyList l(nullptr, kSig);
        fillRich(l);
        cv::TMemoryStream m;
        ASSERT_TRUE(l.SaveToStream(m));
        ASSERT_TRUE(m.SaveToFile(file));
    }
    cv::TMemoryStream m;
    ASSERT_TRUE(m.LoadFromFile(file)) << file.toStdString();
    const auto bytes = m.Bytes();
    TDetailedConsistencyList l(nullptr, kSig);
    ASSERT_TRUE(l.ReadFromStream(m));
    EXPECT_EQ(l.ListCount(), 4);
    EXPECT_EQ(rowWords(l).size(), 4); // x, y (with z joined), w, v
    EXPECT_EQ(l.CombinedData(l.Find_Word(u"y")).total, 11);
    EXPECT_EQ(l.RelationsList()->Count(), 4);
    EXPECT_EQ(saved(l), bytes);
}

// ---- the job: saved word lists in ----------------------------------------------

namespace {

using cv::T_WholeWordlistHolder;

// Saves a word-list document with these words; returns its file name.
QString saveWordList(const cvtest::TempDir& dir, const QString& name, std::vector<std::pair<const char*, int64_t>> words)
{
    T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
    std::vector<cv::TWordAndFrequency> list;
    int64_t total = 0;
    for (auto& [w, f] : words) {
        list.push_back({QString::fromUtf8(w), f});
        total += f;
    }
    doc.WordlistOfType(cv::kListWordList)->ImportWords(list, total);
    const QString file = dir.file(name);
    EXPECT_TRUE(doc.SaveToFile(file));
    return file;
}

std::span<const uint8_t> bytesOf(const QByteArray& b)
{
    return {reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())};
}

std::unique_ptr<T_WholeWordlistHolder> newDocument()
{
    return std::make_unique<T_WholeWordlistHolder>(cv::kListWordList, nullptr, nullptr, false, false);
}

class ConsistencyJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        alpha = saveWordList(dir, QStringLiteral("alpha.lst"), {{"the", 5}, {"cat", 2}, {"dog", 3}});
        beta = saveWordList(dir, QStringLiteral("beta.lst"), {{"the", 4}, {"dog", 1}, {"fish", 3}});
        gamma = saveWordList(dir, QStringLiteral("gamma.lst"), {{"bird", 3}, {"the", 1}, {"cat", 2}});
    }
    void TearDown() override { cv::global_panic_state = cv::kPanicRun; }
    cvtest::TempDir dir;
    QString alpha, beta, gamma;
};

} // namespace

TEST_F(ConsistencyJob, SavedListsMakeTheListAndBadOnesAreNamed)
{
    const QString missing = dir.file(QStringLiteral("missing.lst"));
    const QString text = dir.write(QStringLiteral("notes.lst"), "just some text\n");
    QByteArray cut = cvtest::readAll(beta);
    cut.chop(cut.size() / 3);
    const QString cutShort = dir.write(QStringLiteral("cut.lst"), cut);
    const QString empty = saveWordList(dir, QStringLiteral("empty.lst"), {});

    auto doc = newDocument();
    cv::Global_FailureMessage = QStringLiteral("before");
    ASSERT_TRUE(doc->MakeDetailedConsistencyList({alpha, missing, beta, text, cutShort, empty, gamma}));
    EXPECT_EQ(doc->dud_compute_files, (QStringList{missing, text, cutShort, empty}));
    EXPECT_EQ(cv::Global_FailureMessage, QStringLiteral("before")); // no message of its own per list
    EXPECT_EQ(doc->MainFile.ListType, cv::kListDetailedConsistency);

    const TDetailedConsistencyList& l = *doc->fDetailedConsistencyList;
    ASSERT_EQ(l.ListCount(), 3);
    EXPECT_EQ(l.ListFileName(1), beta);
    EXPECT_EQ(l.ListTokens(0), 10);
    EXPECT_EQ(rowWords(l), (QStringList{"the", "cat", "dog", "bird", "fish"}));
    EXPECT_EQ(l.DetailedConsistencyData(0).freqs, (std::vector<int64_t>{5, 4, 1}));
    EXPECT_EQ(l.DetailedConsistencyData(1).freqs, (std::vector<int64_t>{2, 0, 2}));
    // The notes name the lists used and why the others were not.
    const QString notes = doc->fNotes.join(u'\n');
    EXPECT_TRUE(notes.contains(gamma));
    EXPECT_TRUE(notes.contains(QStringLiteral("missing.lst: ")));
}

TEST_F(ConsistencyJob, TheDocumentSavesAndReadsItsConsistencyBlock)
{
    auto doc = newDocument();
    ASSERT_TRUE(doc->MakeDetailedConsistencyList({alpha, beta, gamma}));
    doc->fDetailedConsistencyList->SetMarking(true);
    const QString file = dir.file(QStringLiteral("consistency.lst"));
    ASSERT_TRUE(doc->SaveToFile(file));

    auto back = newDocument();
    ASSERT_TRUE(back->ReadWholeFromFile(file));
    EXPECT_EQ(back->MainFile.ListType, cv::kListDetailedConsistency);
    EXPECT_EQ(saved(*back->fDetailedConsistencyList), saved(*doc->fDetailedConsistencyList));
    const QString again = dir.file(QStringLiteral("again.lst"));
    ASSERT_TRUE(back->SaveToFile(again));
    auto third = newDocument();
    ASSERT_TRUE(third->ReadWholeFromFile(again));
    EXPECT_EQ(saved(*third->fDetailedConsistencyList), saved(*doc->fDetailedConsistencyList));
}

TEST_F(ConsistencyJob, ABatchZipCountsEachListInside)
{
    cv::TZipArchive zip;
    const QString zipName = dir.file(QStringLiteral("batch.zip"));
    ASSERT_TRUE(zip.CreateArchive(zipName));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("alpha.lst"), bytesOf(cvtest::readAll(alpha))));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("readme.txt"), bytesOf(QByteArray("hello"))));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("broken.lst"), bytesOf(QByteArray("CVSF"))));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("beta.lst"), bytesOf(cvtest::readAll(beta))));
    zip.CloseArchive();

    auto doc = newDocument();
    ASSERT_TRUE(doc->MakeDetailedConsistencyList({zipName}));
    const TDetailedConsistencyList& l = *doc->fDetailedConsistencyList;
    ASSERT_EQ(l.ListCount(), 2);
    EXPECT_EQ(l.GridHeadings().mid(5), (QStringList{"alpha", "beta"}));
    EXPECT_EQ(doc->dud_compute_files, QStringList{zipName + QStringLiteral("|broken.lst")});
    EXPECT_EQ(l.DetailedConsistencyData(0).freqs, (std::vector<int64_t>{5, 4}));
}

TEST_F(ConsistencyJob, TooFewUsableListsOrACancelChangeNothing)
{
    auto doc = newDocument();
    EXPECT_FALSE(doc->MakeDetailedConsistencyList({alpha, dir.file(QStringLiteral("gone.lst"))}));
    EXPECT_EQ(doc->dud_compute_files, QStringList{dir.file(QStringLiteral("gone.lst"))});
    EXPECT_EQ(doc->fDetailedConsistencyList->Count(), 0);
    EXPECT_EQ(doc->MainFile.ListType, cv::kListWordList);

    ASSERT_TRUE(doc->MakeDetailedConsistencyList({alpha, beta}));
    const auto before = saved(*doc->fDetailedConsistencyList);
    cv::global_panic_state = cv::kPanicStopNow;
    EXPECT_FALSE(doc->MakeDetailedConsistencyList({alpha, beta, gamma}));
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_EQ(saved(*doc->fDetailedConsistencyList), before);
}
