#pragma once
// The word list: one entry per word type with its frequency, its share of
// the running words, the texts it occurs in and their share, its dispersion
// over the corpus, and, for a lemma head word, the forms joined under it.
//
// The entries are kept in the alphabetical order of the list (or whatever
// the alphabetical page was last sorted by); the frequency page reads them
// through a frequency order kept alongside (most frequent first, equal
// frequencies alphabetically), rebuilt whenever the entries change. Grids
// ask for display kind kDisplayFrequency or kDisplayAlphabetical.
//
// Grid columns (list types 0 and 23): 0 N, 1 Word, 2 Freq., 3 %, 4 Texts,
// 5 % (of texts), 6 Dispersion, 7 Lemmas, 8 Set. Freq. of a head word counts
// its joined forms (CorrectFreq); % is of the list's running words
// (TotalTokens), texts % of its texts (TotalTexts). Dispersion is DPnorm
// (dispersion.h); lists merged from others show none.
//
// A list may show the rows of a job's result without an entry for each
// (ShowRows): the millions of clusters of an index are read where the
// count left them, and entries are made of them only when the list is to
// change (TCVBaseDataClass::SetRowsWithoutEntries).

#include "model/lemma_match_list.h"
#include "suite/wdef.h"
#include "wordlist/part_counts.h"

#include <QString>
#include <QStringList>

#include <functional>

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cv {

class TBulkWriter;
class TUserPlainTextStringlist;
class TTextSettings;

// The data of one entry (a copy, as the word list hands it out).
struct TWordlistDataRec {
    int64_t Freq = 0;         // the entry's own frequency (forms joined under it not counted)
    int32_t Texts = 0;        // texts it occurs in
    float Dispersion = -1.0f; // DPnorm, 0 even .. 1 in one part; below 0: not known
    int32_t Rank = 0;         // 1-based place in the frequency order (ComputedRankOrdersOfWords); 0 not set
    int32_t LemmaTexts = 0;   // for a head word: texts holding any of its forms, when known (0 not known)

    friend bool operator==(const TWordlistDataRec&, const TWordlistDataRec&) = default;
};

class TWordListEntry final : public TCVBaseListObject {
public:
    explicit TWordListEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}

    // Its row of the list's counts by part (TCVWordList::PartCounts), or
    // TPartCounts::kNoRow / kInNoPart. First: it takes room the base leaves.
    uint32_t fPartsRow = TPartCounts::kNoRow;

    // The entries of a new list come by the tens of thousands: MakeMany puts
    // them side by side in blocks, each block going back when the last of
    // its entries is freed, instead of an allocation per entry. Entries made
    // one by one have a place of their own; either kind is freed by delete.
    static std::vector<std::unique_ptr<TWordListEntry>> MakeMany(TCVBaseDataClass* owner, std::size_t n);
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    QString fWord;
    QString fTag;             // the listed tag the word carried in the texts, empty none
    TWordlistDataRec fData;

    void GetRelativeEntropyBasis() override;
    bool IsDuplicateOf(const TCVBaseListObject& other) const override;
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString GetAPrefixAsString() const override;
    QString GetASuffixAsString() const override;
    void SetAPrefixAsString(const QString& tag) override { fTag = tag; }
    void SetASuffixAsString(const QString& tag) override { fTag = tag; }
    QString MainWordOnly() const override { return fWord; }
    int64_t MainWordFrequency() const override;
    int32_t MainNTexts() const override { return fData.Texts; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    // What SaveToStream writes: StreamBytes() bytes put at `at` (returns the end).
    std::size_t StreamBytes() const;
    uint8_t* PutTo(uint8_t* at) const;
    QStringView MainWordAsPointer() const override { return fWord; }
    int MainWordLength() const override { return int(fWord.size()); }
};

// Rows a word list may show without an entry for each: the result of a job
// kept in a compact form of its own (the clusters of an index: millions of
// them, each a few codes and counts). The list reads its rows in place (its
// cells, its orders, finds, saving) and makes entries of them only when
// something is to change them (TCVBaseDataClass::SetRowsWithoutEntries).
class TWordListRows {
public:
    virtual ~TWordListRows() = default;
    virtual std::size_t Count() const = 0;
    // Appends the word of row i to `out`.
    virtual void AppendWord(std::size_t i, std::u16string& out) const = 0;
    // Its frequency, texts and dispersion (the rank is the list's to give).
    virtual TWordlistDataRec Data(std::size_t i) const = 0;
    // Puts the rows in this order: row k becomes the row that was order[k].
    virtual void Reorder(const std::vector<uint32_t>& order) = 0;
};

// A word and its frequency, as other jobs hand words to a word list.
struct TWordAndFrequency {
    QString word;
    int64_t frequency = 0;
};

class TCVWordList : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr int32_t kVersion = 1;

    enum TColumn : int {
        kColN = 0,
        kColWord,
        kColFreq,
        kColPercent,
        kColTexts,
        kColTextsPercent,
        kColDispersion,
        kColLemmas,
        kColSet,
    };
    // The grids' own display kinds: a frequency page hands its kind to the list.
    enum TDisplay : int { kDisplayFrequency = kGridKindFrequency, kDisplayAlphabetical = kGridKindAlphabetical };

    // Sort keys; the alphabetical page's current sort is one of them, and its
    // name comes from the table of sort names (SortName).
    enum TWordlistSort : int32_t {
        kSortAlphabetical = 0,
        kSortFrequency,
        kSortPercent,
        kSortTexts,
        kSortTextsPercent,
        kSortDispersion,
        kSortLemmas,       // number of forms joined
        kSortSet,          // category of the active set column
        kSortWordLength,
        kSortWordEndings,  // alphabetically from the end of the word
        kSortTags,
        kSortRank,
        kSortRandom,
        kSortCount,
    };
    static QString SortName(int32_t sort);
    static std::span<const char16_t* const> SortNames();

    TCVWordList(TCorvantisholder* owner, uint8_t listType, uint32_t toolSignature);

    TWordListEntry& Entry(int i) const { return static_cast<TWordListEntry&>((*this)[i]); }
    TWordlistDataRec WordlistData(int i) const;

    // --- totals ---
    // Running words the list stands for (the base of the % column) and its texts.
    int64_t TotalTokens() const { return fTotalTokens; }
    void SetTotalTokens(int64_t n) { fTotalTokens = n; }
    int32_t TotalTexts() const { return fTotalTexts; }
    void SetTotalTexts(int32_t n) { fTotalTexts = n; }
    // The list's current running words: the frequencies of its entries that
    // are not deleted, forms joined under them included.
    int64_t ComputedCurrentTokens() const;
    // The % column takes the current running words as its base (after
    // deletions, say); returns the new total.
    int64_t RecomputeTokens();

    // The entry's frequency, with the forms joined under it or without.
    int64_t CorrectFreq(int i, bool withJoined = true) const;
    // What no list can hold, as a reader of a saved list must refuse it:
    // a frequency above the running words (a share above 100 %), more
    // texts than the list was made from, a dispersion above 1. Empty when
    // every value can be. (Ranks are not refused: a reader renumbers them.)
    QString ImpossibleValue() const;
    // Entries whose rank, as the list was read, was not their place in the
    // frequency order (they have it now); 0 for a list made here.
    int RanksRenumberedOnReading() const { return fRanksRenumbered; }

    // --- order ---
    // The entry at place k of the frequency order, and the place of entry i.
    int FrequencyOrderEntry(int k) const;
    int FrequencyPlaceOf(int i) const;
    // Sets every entry's rank (its 1-based place in the frequency order).
    // Ranks follow the order by themselves (they are set whenever it is
    // made again after a change); this makes it now.
    bool ComputedRankOrdersOfWords();
    // The alphabetical page's current sort (a TWordlistSort) and its name.
    int32_t CurrentAlphabeticalSort() const;
    QString CurrentSortName() const;
    // Sorts the entries alphabetically by word (then tag), as fast as the
    // collation allows (alphabetical_order.h).
    void SortAlphabetically();
    // The order SortAlphabetically gives words with these tags (indexes
    // into `words`): by the collation, equal words by their tags. Without
    // `tagOf` the words are known to be all different (no tag to order by).
    // The same order on any number of threads.
    static std::vector<uint32_t> AlphabeticalOrder(const QString& collationName, std::span<const std::u16string_view> words,
                                                   const std::function<const QString&(uint32_t)>& tagOf,
                                                   std::size_t threads = 1);

    // --- entries by word ---
    // The entry of a word (and tag), -1 when absent; exact comparison.
    int FindWordAndTag(const QString& word, const QString& tag) const;
    // Pairs of neighbouring entries (in alphabetical order) that the
    // collation finds equal though they are stored apart (different
    // spellings of one word: composed and decomposed letters, an invisible
    // character, ...): (first, second) entry indexes.
    std::vector<std::pair<int, int>> CheckForEqualStrings() const;
    // Adds entry `other`'s frequency, texts and forms to entry `keep` and
    // marks `other` deleted (the caller zaps). False for a bad pair.
    bool MergeEqualWords(int keep, int other);
    // Keeps entry i apart from its equal neighbours by appending zero-width
    // spaces (more than any of them has): CheckForEqualStrings no longer
    // pairs it with them.
    void AddASpaceToWordNumber(int i);

    // Joins clusters (entries of several words) under other clusters that
    // contain them word for word: with `smallerIntoLargest` every cluster
    // goes under the longest cluster that holds it; otherwise every cluster
    // goes under the shortest cluster it holds. True when any were joined.
    bool JoinClusters(bool smallerIntoLargest);

    // The counts by part of the entries made by a run (null: none, as for a
    // list merged from others, imported, of clusters, or read from a file
    // saved before they were kept). Entries name their rows.
    const TPartCounts* PartCounts() const { return fPartCounts.get(); }
    void SetPartCounts(std::unique_ptr<TPartCounts> counts);
    // A saved list's counts by part: the list's parts, then each entry's
    // row in the order the list stream writes the entries (forms after
    // their head). Written only when the list has them.
    bool SavePartCounts(TStream& s) const;
    // False on damage: not the list's entries, parts out of order, or
    // counts that do not add up to the entry's frequency.
    bool ReadPartCounts(TStream& s);
    // The head words' values are taken as they stand (a list read, a
    // consistency check made, phrase frames made with their clusters) and
    // kept until their forms change: their lemma texts, and for a head of
    // no frequency of its own (a frame) its own texts and dispersion, which
    // are then its forms'. Without counts by part nothing else tells them.
    void RememberHeadWords();
    // The dispersion shown for entry i: a head word's is that of it and its
    // forms taken together (below 0: not known).
    float DispersionShown(int i) const;
    // A lemma list's head word absent from the texts: an entry of its own,
    // in no part, for its forms to be joined under.
    std::unique_ptr<TCVBaseListObject> MakeHeadEntry(const QString& word) override;

    // Lemma consistency against a corpus index of the same corpus: each head
    // word's texts are counted as the texts holding any of its forms. The
    // index side is a look-up the index supplies; returns the number of head
    // words updated, or -1 (with a message) when the index cannot be used.
    class TTextsOfWords {
    public:
        virtual ~TTextsOfWords() = default;
        // False when the index named cannot be opened (error says why).
        virtual bool Open(const QString& indexFile, QString* error) = 0;
        // The number of texts holding at least one of the words.
        virtual int32_t TextsHoldingAnyOf(const QStringList& words) = 0;
    };
    int CheckLemmasForConsistency(const QString& indexFile, TTextsOfWords* index);

    // Replaces the list with the lines of a plain-text word list (each line
    // its word, its object the frequency); lines with no word or no positive
    // frequency are skipped, equal words added up. `total` is the running
    // words the list stands for (0, or less than the frequencies add up to:
    // their sum). Returns the
    // number of entries.
    int ImportDataFromStringList(const TUserPlainTextStringlist& lines, int64_t total);
    int ImportWords(const std::vector<TWordAndFrequency>& words, int64_t total);

    // Marks every entry that carries a tag deleted (true) or not deleted (false).
    int DeleteAllTaggedWords(bool deleted);

    // How a tag shows with its word (text settings: 0 hidden, 1 prefix, 2 suffix, 3 the tag alone).
    uint8_t TagDisplay() const { return fTagDisplay; }
    void SetTagDisplay(uint8_t display) { fTagDisplay = display; }
    // The word as the grid shows it: with its tag as the tag display says.
    QString DisplayedWord(int i) const;

    // Help text of a grid column (its heading's hint).
    static QString ColumnHelp(int column);

    // --- overrides ---
    void Clear() override;
    void Remove(int i) override;
    int OverallCount() const override { return 0; }
    int RowToEntry(int gridRow, int displayKind) const override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    void EnsureAlphabeticalAscendingSort() override;
    bool CloudDataNeedsSorting() const override { return false; }
    void GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    // The frequencies are counts of the list's running words.
    int64_t RunningWordsOfColumn(int column) const override { return column == kColFreq ? fTotalTokens : 0; }
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    void DoASort(int lastIndex) override;
    // Orders and ranks are made again; each head word's texts and
    // dispersion become those of it and its forms taken together (from
    // the counts by part; without them the most texts any of them is in,
    // and no dispersion), every other entry's are its own again.
    void DoPostJoinOrUnjoiningOperation() override;
    // An edited word moves to its place in the list's order (the page's
    // sort, which its name says), unless the order is random.
    void DoPostEditOfWord(TCVBaseListObject& e) override;
    // Adds another word list: equal words (and tags) add up, the others are
    // copied; the totals add up; the dispersion of the merged list is not
    // known. Forms joined in the other list come in as entries of their own.
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override;
    // The list's own fields, then the base list stream.
    bool SaveToStream(TStream& s) override;
    bool ReadFromStream(TStream& s) override;

    // Appends entries made elsewhere (the run), taking the list as it comes.
    void AdoptEntries(std::vector<std::unique_ptr<TWordListEntry>> entries);
    // Shows these rows, alphabetically, in place of what the list held,
    // with no entry made for any of them until one is needed. The rows
    // carry no tags.
    void ShowRows(std::unique_ptr<TWordListRows> rows);
    QString MainWordOfRow(int i) const override;
    // The frequency order of entries with these frequencies (forms joined
    // under them included): entry indexes, most frequent first, equal
    // frequencies in their given order.
    static std::vector<int32_t> FrequencyOrder(std::span<const int64_t> frequencies);

    // What a new entry is made of.
    struct TNewEntry {
        std::u16string_view word;
        const QString* tag = nullptr; // null: none
        int64_t freq = 0;
        int32_t texts = 0;
        float dispersion = -1.0f;
        uint32_t partsRow = TPartCounts::kNoRow; // its row of the list's counts by part
    };
    // Fills `rows` with what new entries first, first + 1, ... are made of:
    // asked for a few hundred at a time, not with a call per entry.
    using TNewEntryRows = std::function<void(std::size_t first, std::span<TNewEntry> rows)>;
    // n entries made from rows 0 .. n - 1, in that order, for `owner`
    // (MakeMany); their spellings share a few blocks of memory (spelling_block.h).
    static std::vector<std::unique_ptr<TWordListEntry>> MakeEntries(TCVBaseDataClass* owner, std::size_t n,
                                                                    const TNewEntryRows& rows);
    // The list's entries made from rows 0 .. n - 1, which come in the
    // order AlphabeticalOrder gives (words ordered before their entries
    // existed): the list is then sorted alphabetically as SortAlphabetically
    // leaves it (sorting again only when it held entries before), and
    // ranked. `frequencyOrder` is FrequencyOrder of the rows' frequencies:
    // each entry gets its rank from it as it is made, filled and listed
    // (one pass over the memory of tens of thousands); without it (another
    // size) the ranks are worked out from the entries.
    void MakeAlphabeticalEntries(std::size_t n, const TNewEntryRows& rows, std::vector<int32_t> frequencyOrder);
    // Threads the list may take to make its entries (MakeAlphabeticalEntries,
    // whose rows are then asked for from several at once) and to write them:
    // those of the job that made it, 0 for as many cores as the machine
    // leaves idle (one on a busy machine).
    void SetWorkThreads(int threads) { fWorkThreads = threads; }
    int WorkThreads() const;

protected:
    bool SaveEntries(TStream& s) override;
    void MakeEntriesOfRows(std::vector<std::unique_ptr<TCVBaseListObject>>& into) const override;

private:
    // Calls run(entries) for each run of two or more undeleted neighbours
    // (alphabetical order) that the collation finds equal, with equal tags.
    template <typename F>
    void ForEachEqualRun(F&& run) const;
    // The run of equal spellings entry i stands in (i first; only i when it is deleted).
    std::vector<int> EqualRunAround(int i) const;
    void InvalidateOrder() { fOrderValid = false; }
    // Row i's data and word, whether the list holds entries or rows without them.
    TWordlistDataRec DataOf(int i) const;
    QString WordOf(int i) const;
    // The frequency of entry i with the forms joined under it.
    int64_t FrequencyWithForms(int i) const;
    // Puts the rows the list shows in alphabetical order.
    void SortRowsAlphabetically();
    void SetAlphabeticalSortLevels();
    // The sort levels of a list in alphabetical order (its order stays as it is).
    void MarkAlphabeticalAscending();
    void EnsureOrder() const;
    double Percent(int64_t part, int64_t whole) const;
    // Entries first .. last - 1 written with `w` over `s` (flushed at the end).
    bool SaveEntryRange(TStream& s, TBulkWriter& w, int first, int last) const;
    // Parts to cut n entries into, one per work thread, a part worth a thread.
    std::size_t WorkParts(std::size_t n) const;

    int64_t fTotalTokens = 0;
    int32_t fTotalTexts = 0;
    uint8_t fTagDisplay = 0;
    uint64_t fRandomSeed = 0x2545F4914F6CDD1Dull;
    mutable bool fOrderValid = false;
    mutable std::vector<int32_t> fFreqOrder;  // place -> entry
    mutable std::vector<int32_t> fFreqPlace;  // entry -> place
    // The rows shown without entries (null: none), in the list's order.
    mutable std::unique_ptr<TWordListRows> fRows;
    bool fRowsAlphabetical = false;
    int fWorkThreads = 0;
    int fRanksRenumbered = 0;
    std::unique_ptr<TPartCounts> fPartCounts;
    // What each head word shows, with the forms it was worked out for (a
    // value kept without counts by part stands while its forms stay).
    struct THeadValues {
        uint64_t formsKey = 0;
        int32_t texts = 0;
        float dispersion = -1.0f;
    };
    std::unordered_map<const TCVBaseListObject*, THeadValues> fHeads;
    static uint64_t FormsKey(const TCVBaseListObject& head);
};

} // namespace cv
