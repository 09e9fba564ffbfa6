// The word list's own operations: orders, cells, joins, merges, imports and its stream.

#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "suite/wdef.h"
#include "support/failing_allocations.h"
#include "support/threads_refused.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/word_list.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <random>
#include <thread>

using namespace cv;

namespace {

std::unique_ptr<TCVWordList> ListOf(std::vector<TWordAndFrequency> words, int64_t total = 0)
{
    auto l = std::make_unique<TCVWordList>(nullptr, kListWordList, 0x70000);
    l->ImportWords(words, total);
    return l;
}

QStringList Words(const TCVWordList& l)
{
    QStringList out;
    for (int i = 0; i < l.Count(); ++i)
        out << l.Entry(i).fWord;
    return out;
}

TEST(WordList, ImportedWordsSortAlphabeticallyWithAFrequencyOrderBeside)
{
    auto l = ListOf({{"the", 10}, {"cat", 3}, {"apple", 3}, {"zebra", 7}, {"cat", 1}, {"", 5}, {"none", 0}});
    EXPECT_EQ(Words(*l), (QStringList{"apple", "cat", "the", "zebra"}));
    EXPECT_EQ(l->CorrectFreq(1), 4); // the two "cat" lines add up
    EXPECT_EQ(l->TotalTokens(), 24);
    // Most frequent first; equal frequencies alphabetically.
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(0)).fWord, QStringLiteral("the"));
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(1)).fWord, QStringLiteral("zebra"));
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(2)).fWord, QStringLiteral("cat"));
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(3)).fWord, QStringLiteral("apple"));
    EXPECT_EQ(l->WordlistData(2).Rank, 1);
    // Grid rows: the frequency page reads through the order, the alphabetical page directly.
    EXPECT_EQ(l->RowToEntry(1, TCVWordList::kDisplayFrequency), 2);
    EXPECT_EQ(l->RowToEntry(1, TCVWordList::kDisplayAlphabetical), 0);
    TDrawgridDataRec rec;
    l->DrawgridDataRec(3, TCVWordList::kColN, TCVWordList::kDisplayFrequency, rec);
    EXPECT_EQ(rec.text, QStringLiteral("2"));
    l->DrawgridDataRec(3, TCVWordList::kColPercent, TCVWordList::kDisplayFrequency, rec);
    EXPECT_NEAR(rec.value, 7.0 * 100 / 24, 1e-9);
    l->DrawgridDataRec(3, TCVWordList::kColDispersion, TCVWordList::kDisplayFrequency, rec);
    EXPECT_TRUE(rec.text.isEmpty()); // not known for an imported list
    EXPECT_EQ(l->GridHeadings(), StandardGridHeaderArray(kListWordList));
    EXPECT_TRUE(l->IsASetColumnColumn(TCVWordList::kColSet));
    EXPECT_FALSE(TCVWordList::ColumnHelp(TCVWordList::kColDispersion).isEmpty());
}

TEST(WordList, PlainTextLinesImportWithTheirTotal)
{
    TWordListPlainTextStringlist lines(true, QStringLiteral("x.txt"));
    lines.Add(QStringLiteral("dog"), 4);
    lines.Add(QStringLiteral("cat"), 6);
    lines.Add(QString(), 9);
    TCVWordList l(nullptr, kListWordList, 0x70000);
    EXPECT_EQ(l.ImportDataFromStringList(lines, 1000), 2);
    EXPECT_EQ(l.TotalTokens(), 1000);
    EXPECT_EQ(Words(l), (QStringList{"cat", "dog"}));
}

TEST(WordList, SortNamesTableAndKeys)
{
    EXPECT_EQ(TCVWordList::SortNames().size(), 13u);
    EXPECT_EQ(TCVWordList::SortName(TCVWordList::kSortAlphabetical), QStringLiteral("alphabetical"));
    EXPECT_EQ(TCVWordList::SortName(TCVWordList::kSortWordEndings), QStringLiteral("word endings"));
    EXPECT_EQ(TCVWordList::SortName(99), QStringLiteral("alphabetical"));

    auto l = ListOf({{"walking", 2}, {"talked", 5}, {"sing", 9}, {"a", 1}});
    l->Set1Sort(0, TCVWordList::kSortWordEndings);
    l->CompleteResort();
    EXPECT_EQ(Words(*l), (QStringList{"a", "talked", "walking", "sing"})); // a, deklat, gniklaw, gnis
    EXPECT_EQ(l->CurrentSortName(), QStringLiteral("word endings"));
    l->Set1Sort(0, TCVWordList::kSortFrequency);
    l->SetSortAscending(0, false);
    l->CompleteResort();
    EXPECT_EQ(Words(*l), (QStringList{"sing", "talked", "walking", "a"}));
    // The frequency order follows the entries wherever they stand.
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(0)).fWord, QStringLiteral("sing"));
    l->EnsureAlphabeticalAscendingSort();
    EXPECT_EQ(Words(*l), (QStringList{"a", "sing", "talked", "walking"}));
    EXPECT_EQ(l->CurrentAlphabeticalSort(), TCVWordList::kSortAlphabetical);
}

TEST(WordList, CorrectFreqAndTokensWithJoinedFormsAndDeletions)
{
    auto l = ListOf({{"be", 5}, {"is", 3}, {"was", 2}, {"cat", 4}});
    ASSERT_EQ(Words(*l), (QStringList{"be", "cat", "is", "was"}));
    EXPECT_EQ(l->JoinARange({0, 2, 3}, false), 2);
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->CorrectFreq(0, true), 10);
    EXPECT_EQ(l->CorrectFreq(0, false), 5);
    EXPECT_EQ(l->Entry(l->FrequencyOrderEntry(0)).fWord, QStringLiteral("be"));
    EXPECT_EQ(l->ComputedCurrentTokens(), 14);
    l->SetDeleted(1, true, false);
    EXPECT_EQ(l->ComputedCurrentTokens(), 10);
    EXPECT_EQ(l->TotalTokens(), 14);
    EXPECT_EQ(l->RecomputeTokens(), 10);
    TDrawgridDataRec rec;
    l->DrawgridDataRec(0, TCVWordList::kColPercent, 0, rec);
    EXPECT_NEAR(rec.value, 100.0, 1e-9);
}

// Every entry's rank is its place by frequency (1 to the entries), as a
// reader of the list expects it.
void ExpectRanksFitTheOrder(const TCVWordList& l, const char* after)
{
    std::vector<int> seen(static_cast<std::size_t>(l.Count()), 0);
    for (int i = 0; i < l.Count(); ++i) {
        const int32_t rank = l.WordlistData(i).Rank;
        ASSERT_EQ(rank, l.FrequencyPlaceOf(i) + 1) << after << ": " << l.Entry(i).fWord.toStdString();
        ASSERT_EQ(l.Entry(i).fData.Rank, rank) << after << ": the entry's own rank, as it is saved";
        ++seen[std::size_t(rank - 1)];
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; })) << after;
}

TEST(WordList, RanksFollowEveryZapJoinSortAndUndo)
{
    auto l = ListOf({{"cat", 6}, {"cats", 2}, {"dog", 5}, {"go", 4}, {"goes", 3}, {"went", 1}, {"zuzims", 1}});
    ExpectRanksFitTheOrder(*l, "made");
    l->SetDeleted(l->FindWordAndTag(QStringLiteral("dog"), {}), true, true);
    ASSERT_EQ(l->Zap(true), 1);
    ExpectRanksFitTheOrder(*l, "zap");
    EXPECT_EQ(l->WordlistData(l->FindWordAndTag(QStringLiteral("go"), {})).Rank, 2);
    l->JoinARange({l->FindWordAndTag(QStringLiteral("go"), {}), l->FindWordAndTag(QStringLiteral("goes"), {}),
                   l->FindWordAndTag(QStringLiteral("went"), {})},
                  true);
    ExpectRanksFitTheOrder(*l, "join");
    EXPECT_EQ(l->WordlistData(l->FindWordAndTag(QStringLiteral("go"), {})).Rank, 1); // 4 + 3 + 1 above cat's 6
    l->Set1Sort(0, TCVWordList::kSortWordLength);
    l->DoASort(l->Count() - 1);
    ExpectRanksFitTheOrder(*l, "sort by length");
    l->UnJoin(l->FindWordAndTag(QStringLiteral("go"), {}), true);
    ExpectRanksFitTheOrder(*l, "unjoin");
    while (l->Undo())
        ExpectRanksFitTheOrder(*l, "undo");
    EXPECT_EQ(l->Count(), 7);
    while (l->Redo())
        ExpectRanksFitTheOrder(*l, "redo");
    l->SetDeleted(0, true, false);
    l->Zap(false);
    ExpectRanksFitTheOrder(*l, "zap without undo");

    // Saved and read again: nothing to renumber.
    TMemoryStream m;
    ASSERT_TRUE(l->SaveToStream(m));
    TCVWordList back(nullptr, kListWordList, 0x70000);
    m.SetPosition(0);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(back.RanksRenumberedOnReading(), 0);
    EXPECT_TRUE(back.ImpossibleValue().isEmpty());
    for (int i = 0; i < l->Count(); ++i)
        EXPECT_EQ(back.WordlistData(i), l->WordlistData(i));
}

TEST(WordList, EqualSpellingsFoundMergedOrKeptApart)
{
    // "café" composed and decomposed: the collation finds them equal.
    const QString composed = QStringLiteral("caf\u00E9"), decomposed = QStringLiteral("cafe\u0301");
    auto l = ListOf({{composed, 2}, {decomposed, 3}, {"tea", 1}});
    auto pairs = l->CheckForEqualStrings();
    ASSERT_EQ(pairs.size(), 1u);
    auto [first, second] = pairs[0];
    auto copy = ListOf({{composed, 2}, {decomposed, 3}, {"tea", 1}});

    EXPECT_TRUE(l->MergeEqualWords(first, second));
    EXPECT_EQ(l->CorrectFreq(first), 5);
    EXPECT_TRUE(l->GetDeleted(second));
    EXPECT_FALSE(l->MergeEqualWords(first, second)); // already merged
    EXPECT_EQ(l->Zap(false), 1);
    EXPECT_EQ(l->Count(), 2);
    EXPECT_TRUE(l->CheckForEqualStrings().empty());

    // Kept apart: not found equal again, the counts untouched.
    copy->AddASpaceToWordNumber(pairs[0].second);
    EXPECT_TRUE(copy->Entry(pairs[0].second).fWord.endsWith(QChar(0x200B)));
    EXPECT_TRUE(copy->CheckForEqualStrings().empty());
    EXPECT_EQ(copy->CorrectFreq(pairs[0].first) + copy->CorrectFreq(pairs[0].second), 5);
}

TEST(WordList, EqualSpellingsKeptApartStayApartAmongThree)
{
    // Three spellings of one word (composed, decomposed, with a soft hyphen
    // the collation ignores).
    auto l = ListOf({{QStringLiteral("caf\u00E9"), 2}, {QStringLiteral("cafe\u0301"), 3},
                     {QStringLiteral("ca\u00ADf\u00E9"), 4}, {"tea", 1}});
    auto pairs = l->CheckForEqualStrings();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first, pairs[1].first); // both with the first of the three

    // The user keeps the second apart and merges the third: the merged pair
    // no longer shows, the kept one never again.
    l->AddASpaceToWordNumber(pairs[0].second);
    auto after = l->CheckForEqualStrings();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0], pairs[1]);
    ASSERT_TRUE(l->MergeEqualWords(after[0].first, after[0].second));
    EXPECT_TRUE(l->CheckForEqualStrings().empty());

    // Keeping the last one apart too never makes it equal to the first kept one.
    auto again = ListOf({{QStringLiteral("caf\u00E9"), 2}, {QStringLiteral("cafe\u0301"), 3},
                         {QStringLiteral("ca\u00ADf\u00E9"), 4}});
    for (const auto& [first, second] : again->CheckForEqualStrings())
        again->AddASpaceToWordNumber(second);
    EXPECT_TRUE(again->CheckForEqualStrings().empty());
}

TEST(WordList, ClustersJoinUnderTheLongestOrTheShortest)
{
    const std::vector<TWordAndFrequency> clusters{
        {"at the end", 5}, {"at the end of", 4}, {"the end of the", 2}, {"the end", 9}, {"end of", 3}, {"word", 8}};
    auto large = ListOf(clusters);
    EXPECT_TRUE(large->JoinClusters(true));
    // Heads: the clusters no other holds; every other cluster under the longest holding it.
    const int endOfThe = large->FindWordAndTag("the end of the", QString());
    const int atTheEndOf = large->FindWordAndTag("at the end of", QString());
    ASSERT_GE(endOfThe, 0);
    ASSERT_GE(atTheEndOf, 0);
    EXPECT_EQ(large->FindWordAndTag("the end", QString()), -1);
    EXPECT_EQ(large->Entry(atTheEndOf).JoinedCount() + large->Entry(endOfThe).JoinedCount(), 3);
    EXPECT_GE(large->FindWordAndTag("word", QString()), 0);

    auto small = ListOf(clusters);
    EXPECT_TRUE(small->JoinClusters(false));
    const int theEnd = small->FindWordAndTag("the end", QString());
    ASSERT_GE(theEnd, 0);
    // "at the end", "at the end of" and "the end of the" hold "the end" (the shortest, most frequent).
    EXPECT_EQ(small->Entry(theEnd).JoinedCount(), 3);
    EXPECT_GE(small->FindWordAndTag("end of", QString()), 0);
    EXPECT_FALSE(ListOf({{"one", 1}, {"two", 2}})->JoinClusters(true));
}

// The index side of lemma consistency, as the corpus index will answer it.
class TFakeIndex final : public TCVWordList::TTextsOfWords {
public:
    bool opens = true;
    QStringList asked;
    bool Open(const QString& indexFile, QString* error) override
    {
        if (!opens)
            *error = QStringLiteral("no index at ") + indexFile;
        return opens;
    }
    int32_t TextsHoldingAnyOf(const QStringList& words) override
    {
        asked = words;
        return 7;
    }
};

TEST(WordList, LemmaConsistencyTakesTheTextsOfAllForms)
{
    auto l = ListOf({{"be", 5}, {"is", 3}, {"was", 2}, {"cat", 4}});
    l->JoinARange({0, 2, 3}, false);
    TFakeIndex index;
    EXPECT_EQ(l->CheckLemmasForConsistency(QStringLiteral("corpus.tokens"), &index), 1);
    EXPECT_EQ(index.asked, (QStringList{"be", "is", "was"}));
    EXPECT_EQ(l->WordlistData(0).LemmaTexts, 7);
    TDrawgridDataRec rec;
    l->DrawgridDataRec(0, TCVWordList::kColTexts, TCVWordList::kDisplayAlphabetical, rec);
    EXPECT_EQ(rec.value, 7);
    index.opens = false;
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard(&dialogs);
    EXPECT_EQ(l->CheckLemmasForConsistency(QStringLiteral("gone.tokens"), &index), -1);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("gone.tokens")));
    EXPECT_EQ(l->CheckLemmasForConsistency(QStringLiteral("x"), nullptr), -1);
}

TEST(WordList, TaggedWordsDeletedAndRestored)
{
    auto l = ListOf({{"book", 2}, {"look", 1}});
    l->Entry(0).fTag = QStringLiteral("<w NN>");
    l->SetTagDisplay(2);
    EXPECT_EQ(l->DisplayedWord(0), QStringLiteral("book<w NN>"));
    EXPECT_EQ(l->Entry(0).GetASuffixAsString(), QStringLiteral("<w NN>"));
    EXPECT_EQ(l->DeleteAllTaggedWords(true), 1);
    EXPECT_TRUE(l->GetDeleted(0));
    EXPECT_FALSE(l->GetDeleted(1));
    EXPECT_TRUE(l->Undo());
    EXPECT_FALSE(l->GetDeleted(0));
}

TEST(WordList, MergeAddsEqualWordsAndTotals)
{
    auto a = ListOf({{"cat", 2}, {"dog", 1}});
    auto b = ListOf({{"dog", 4}, {"emu", 3}});
    b->Entry(0).fData.Texts = 2;
    ASSERT_TRUE(a->MergeWith(*b));
    EXPECT_EQ(Words(*a), (QStringList{"cat", "dog", "emu"}));
    EXPECT_EQ(a->CorrectFreq(1), 5);
    EXPECT_EQ(a->WordlistData(1).Texts, 3);
    EXPECT_EQ(a->TotalTokens(), 10);
    EXPECT_EQ(a->TotalTexts(), 2);
    EXPECT_LT(a->WordlistData(0).Dispersion, 0);
    EXPECT_FALSE(a->MergeWith(*a));
}

TEST(WordList, StreamKeepsEverythingAndRefusesDamage)
{
    auto l = ListOf({{"be", 5}, {"is", 3}, {"cat", 4}}, 50);
    l->Entry(1).fTag = QStringLiteral("<t>");
    l->Entry(1).fData.Dispersion = 0.25f;
    l->JoinARange({0, 2}, false);
    l->SetTagDisplay(1);
    TMemoryStream m;
    ASSERT_TRUE(l->SaveToStream(m));
    TCVWordList back(nullptr, kListWordList, 0x70000);
    m.SetPosition(0);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(m.Position(), m.Size());
    EXPECT_EQ(back.TotalTokens(), 50);
    EXPECT_EQ(back.TagDisplay(), 1);
    ASSERT_EQ(back.Count(), l->Count());
    for (int i = 0; i < l->Count(); ++i) {
        EXPECT_EQ(back.Entry(i).fWord, l->Entry(i).fWord);
        EXPECT_EQ(back.Entry(i).fTag, l->Entry(i).fTag);
        EXPECT_EQ(back.WordlistData(i), l->WordlistData(i));
        EXPECT_EQ(back.CorrectFreq(i), l->CorrectFreq(i));
    }
    TMemoryStream again;
    ASSERT_TRUE(back.SaveToStream(again));
    EXPECT_EQ(again.Bytes(), m.Bytes());
    // Cut anywhere: refused, never read past the end.
    for (int64_t n = 0; n < m.Size(); n += 3) {
        TMemoryStream cut(std::vector<uint8_t>(m.Bytes().begin(), m.Bytes().begin() + n));
        TCVWordList damaged(nullptr, kListWordList, 0x70000);
        EXPECT_FALSE(damaged.ReadFromStream(cut)) << n;
    }
}

// The list with the base's writer, entry by entry.
class TPerEntryWordList final : public TCVWordList {
public:
    using TCVWordList::TCVWordList;
    bool SaveEntries(TStream& s) override { return TCVBaseDataClass::SaveEntries(s); }
};

TEST(WordList, BulkSavedEntriesAreTheBytesOfEntryByEntry)
{
    const std::vector<TWordAndFrequency> words{{"be", 5}, {"is", 3}, {"cat", 4}, {"dog", 9}, {"emu", 1}, {"fox", 2}};
    for (bool memory : {true, false}) {
        TCVWordList bulk(nullptr, kListWordList, 0x70000);
        TPerEntryWordList plain(nullptr, kListWordList, 0x70000);
        for (TCVWordList* l : {static_cast<TCVWordList*>(&bulk), static_cast<TCVWordList*>(&plain)}) {
            l->ImportWords(words, 0);
            // Entries of every kind: plain, tagged, deleted, marked, with a
            // category, with joined forms; and the list's own fields.
            l->Entry(1).fTag = QStringLiteral("<t>");
            l->SetDeleted(2, true, false);
            l->SetMarcacao(3, 2, false);
            l->SetMatchMark(3, 1, false);
            l->SetACategoryString(4, 1, QStringLiteral("noun"), false);
            l->JoinARange({0, 5}, false);
        }
        cvtest::TempDir dir;
        auto bytesOf = [&](TCVWordList& l) {
            if (memory) {
                TMemoryStream m;
                m.WriteU8(0xAA); // not at the start of the stream
                EXPECT_TRUE(l.SaveToStream(m));
                return m.Bytes();
            }
            const QString name = dir.file(QStringLiteral("list.bin"));
            {
                TFileStream f;
                EXPECT_TRUE(f.Open(name, TFileStream::Mode::Create));
                f.WriteU8(0xAA);
                EXPECT_TRUE(l.SaveToStream(f));
            }
            TMemoryStream m;
            EXPECT_TRUE(m.LoadFromFile(name));
            return m.Bytes();
        };
        EXPECT_EQ(bytesOf(bulk), bytesOf(plain)) << (memory ? "memory" : "file");
    }
}

std::vector<std::u16string> Spellings(std::size_t n)
{
    std::vector<std::u16string> words(n);
    for (std::size_t k = 0; k < n; ++k)
        words[k] = QStringLiteral("w%1").arg(k, 6, 10, QLatin1Char('0')).toStdU16String();
    return words;
}

// A list of the words made as a job makes it (alphabetical rows, their
// frequency order beside, every fifth word tagged), on so many threads.
std::unique_ptr<TCVWordList> MadeOnThreads(const std::vector<std::u16string>& words, int threads)
{
    static const QString tag = QStringLiteral("<n>");
    auto l = std::make_unique<TCVWordList>(nullptr, kListWordList, 0x70000);
    l->SetWorkThreads(threads);
    const std::size_t n = words.size();
    std::vector<int64_t> freqs(n);
    for (std::size_t k = 0; k < n; ++k)
        freqs[k] = int64_t(k * 7919 % 1000 + 1);
    l->MakeAlphabeticalEntries(
        n,
        [&](std::size_t first, std::span<TCVWordList::TNewEntry> rows) {
            for (std::size_t j = 0; j < rows.size(); ++j) {
                const std::size_t k = first + j;
                rows[j] = {words[k], k % 5 == 0 ? &tag : nullptr, freqs[k], int32_t(k % 9 + 1), float(k % 10) / 10};
            }
        },
        TCVWordList::FrequencyOrder(freqs));
    return l;
}

TEST(WordList, EntriesMadeAndSavedOnThreadsAreTheBytesOfOneThread)
{
    // Not a multiple of a part's grain, a block of entries, or a chunk of the writing.
    constexpr std::size_t n = 100003;
    const std::vector<std::u16string> words = Spellings(n);
    cvtest::TempDir dir;
    auto savedInFile = [&](TCVWordList& l) {
        const QString name = dir.file(QStringLiteral("list.bin"));
        {
            TFileStream f;
            EXPECT_TRUE(f.Open(name, TFileStream::Mode::Create));
            EXPECT_TRUE(l.SaveToStream(f));
        }
        TMemoryStream m;
        EXPECT_TRUE(m.LoadFromFile(name));
        return m.Bytes();
    };
    auto saved = [](TCVWordList& l) {
        TMemoryStream m;
        EXPECT_TRUE(l.SaveToStream(m));
        return m.Bytes();
    };
    const std::unique_ptr<TCVWordList> one = MadeOnThreads(words, 1);
    ASSERT_EQ(one->Count(), int(n));
    for (int threads : {2, 3, 4}) {
        const std::unique_ptr<TCVWordList> l = MadeOnThreads(words, threads);
        EXPECT_EQ(savedInFile(*l), saved(*one)) << threads << " threads";
    }
    {
        // Asked for four, the system starting none: the work is done here.
        const std::unique_ptr<TCVWordList> l = MadeOnThreads(words, 4);
        const cvtest::TThreadsRefused refused;
        EXPECT_EQ(savedInFile(*l), saved(*one)) << "no thread started";
    }
    // Entries written one by one (deleted, with a category) on either side
    // of where the writing's chunks meet, in the first and the last chunk.
    const std::unique_ptr<TCVWordList> four = MadeOnThreads(words, 4);
    for (TCVWordList* l : {one.get(), four.get()}) {
        for (int i : {0, 16383, 16384, 65536, int(n) - 1})
            l->SetACategoryString(i, 1, QStringLiteral("noun"), false);
        l->SetDeleted(16385, true, false);
    }
    EXPECT_EQ(saved(*four), saved(*one));
}

TEST(WordList, AShortageOnAThreadMakingOrWritingEntriesReachesTheJob)
{
    // What a thread of the list's threw is thrown where the job catches it.
    const std::vector<std::u16string> words = Spellings(70000);
    auto job = [&](QString& message) {
        bool ok = false;
        cvtest::ShortageFromHere();
        try {
            const std::unique_ptr<TCVWordList> l = MadeOnThreads(words, 3);
            TMemoryStream m;
            ok = l->Count() == 70000 && l->SaveToStream(m);
        } catch (const std::bad_alloc&) {
            message = QStringLiteral("not enough memory");
        }
        cvtest::ShortageToHere();
        return ok;
    };
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemoryOnItsThreads(job));
}

TEST(WordList, EntriesMadeInBlocksAreFreedOneByOneAnywhere)
{
    TCVWordList list(nullptr, kListWordList, 0x70000);
    // More than a block's worth, freed in a shuffled order, half on another thread.
    std::vector<std::unique_ptr<TWordListEntry>> entries = TWordListEntry::MakeMany(&list, 10000);
    ASSERT_EQ(entries.size(), 10000u);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        ASSERT_EQ(entries[k]->Owner(), &list);
        entries[k]->fWord = QString::number(k);
        entries[k]->fData.Freq = int64_t(k);
    }
    EXPECT_EQ(entries[9999]->fWord, QStringLiteral("9999"));
    EXPECT_TRUE(TWordListEntry::MakeMany(&list, 0).empty());
    std::shuffle(entries.begin(), entries.end(), std::mt19937(7));
    std::vector<std::unique_ptr<TWordListEntry>> other(std::make_move_iterator(entries.begin() + 5000),
                                                       std::make_move_iterator(entries.end()));
    entries.resize(5000);
    std::thread t([&] { other.clear(); });
    entries.clear();
    t.join();
    // Entries made one by one and in blocks live side by side in a list.
    list.AdoptEntries(TWordListEntry::MakeMany(&list, 3));
    list.Add(std::make_unique<TWordListEntry>(&list));
    std::unique_ptr<TCVBaseListObject> taken = list.Extract(1);
    EXPECT_EQ(list.Count(), 3);
    taken.reset();
    list.Clear();
}

} // namespace
