#include "wordlist/word_list.h"

#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "wordlist/alphabetical_order.h"
#include "wordlist/list_header.h"
#include "wordlist/parallel_reading.h"
#include "wordlist/parts_on_threads.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/spelling_block.h"
#include "wordlist/wordlist_tree.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numeric>
#include <unordered_map>

namespace cv {

namespace {

constexpr char16_t kZeroWidthSpace = 0x200B;
// The list's own header before the base list stream.
constexpr uint8_t kHeaderMagic[4] = {'C', 'V', 'W', 'L'};

constexpr const char16_t* kSortNames[TCVWordList::kSortCount] = {
    u"alphabetical", u"frequency",    u"percent",     u"texts",        u"texts percent",
    u"dispersion",   u"lemmas",       u"set",         u"word length",  u"word endings",
    u"tags",         u"rank",         u"random",
};

inline std::u16string_view U16(QStringView s) { return {reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())}; }

QString Reversed(const QString& s)
{
    QString r;
    r.reserve(s.size());
    for (qsizetype k = s.size(); k-- > 0;) {
        // Surrogate pairs stay in their order.
        if (k > 0 && s[k].isLowSurrogate() && s[k - 1].isHighSurrogate()) {
            r.append(s[k - 1]);
            r.append(s[k]);
            --k;
        } else {
            r.append(s[k]);
        }
    }
    return r;
}

inline uint64_t SplitMix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

QString WordTagKey(const QString& word, const QString& tag)
{
    return tag.isEmpty() ? word : word + QChar(0) + tag;
}

} // namespace

// ---------------------------------------------------------------------------
// Entries

namespace {

// In front of every entry: the block it lives in (null for an entry of its own).
struct TEntryBlock {
    std::atomic<std::size_t> live; // entries of the block not yet freed
};
constexpr std::size_t kEntryHeader = 16; // keeps any entry as aligned as a plain allocation
static_assert(sizeof(TEntryBlock*) <= kEntryHeader && alignof(TWordListEntry) <= kEntryHeader);
constexpr std::size_t kEntrySlot = (kEntryHeader + sizeof(TWordListEntry) + 15) & ~std::size_t(15);
constexpr std::size_t kBlockHeader = (sizeof(TEntryBlock) + 15) & ~std::size_t(15);
// Blocks of 32 KB: a new list's entries are made when the counting's memory
// has just gone back, in pieces of 1-2 MB and a few hundred KB between
// what stays; small blocks fill those, where blocks of half a megabyte left
// much of them unused and took memory fresh from the system instead (a
// large page for the sample corpus, at 0.3-0.7 ms).
constexpr std::size_t kEntriesPerBlock = 256;
// Rows of new entries asked for at a time.
constexpr std::size_t kNewEntryRows = 256;

inline TEntryBlock*& BlockOf(void* entryMemory)
{
    return *reinterpret_cast<TEntryBlock**>(static_cast<unsigned char*>(entryMemory) - kEntryHeader);
}

} // namespace

void* TWordListEntry::operator new(std::size_t size)
{
    auto* raw = static_cast<unsigned char*>(::operator new(size + kEntryHeader));
    BlockOf(raw + kEntryHeader) = nullptr;
    return raw + kEntryHeader;
}

void TWordListEntry::operator delete(void* p)
{
    if (!p)
        return;
    TEntryBlock* block = BlockOf(p);
    if (!block) {
        ::operator delete(static_cast<unsigned char*>(p) - kEntryHeader);
        return;
    }
    // Entries of one block may be freed by different threads.
    if (block->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block->~TEntryBlock();
        ::operator delete(block);
    }
}

namespace {

// Makes n entries in blocks, handing each to made(k, entry) as soon as it
// is made (a block's entries are counted ahead: should made throw, the
// memory of the entries not yet made stays taken).
template <typename F>
void MakeInBlocks(TCVBaseDataClass* owner, std::size_t n, F&& made)
{
    for (std::size_t done = 0; done < n;) {
        const std::size_t m = std::min(kEntriesPerBlock, n - done);
        auto* raw = static_cast<unsigned char*>(::operator new(kBlockHeader + m * kEntrySlot));
        auto* block = ::new (raw) TEntryBlock{m};
        unsigned char* at = raw + kBlockHeader + kEntryHeader;
        for (std::size_t k = 0; k < m; ++k, at += kEntrySlot) {
            BlockOf(at) = block;
            made(done + k, std::unique_ptr<TWordListEntry>(::new (at) TWordListEntry(owner)));
        }
        done += m;
    }
}

void Fill(TWordListEntry& e, const TCVWordList::TNewEntry& r, TSpellingBlocks& spellings)
{
    e.fWord = spellings.Make(r.word);
    if (r.tag)
        e.fTag = *r.tag;
    e.fData.Freq = r.freq;
    e.fData.Texts = r.texts;
    e.fData.Dispersion = r.dispersion;
    e.fPartsRow = r.partsRow;
}

} // namespace

std::vector<std::unique_ptr<TWordListEntry>> TWordListEntry::MakeMany(TCVBaseDataClass* owner, std::size_t n)
{
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    entries.reserve(n);
    MakeInBlocks(owner, n, [&](std::size_t, std::unique_ptr<TWordListEntry> e) {
        entries.push_back(std::move(e)); // no throw: room is reserved
    });
    return entries;
}

void TWordListEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    fData = {};
}

bool TWordListEntry::IsDuplicateOf(const TCVBaseListObject& other) const
{
    const auto* o = dynamic_cast<const TWordListEntry*>(&other);
    return o ? o->fWord == fWord && o->fTag == fTag : TCVBaseListObject::IsDuplicateOf(other);
}

QString TWordListEntry::GetAWordAsString(int column) const
{
    if (column == TCVWordList::kColWord)
        return fWord;
    return TCVBaseListObject::GetAWordAsString(column);
}

void TWordListEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TCVWordList::kColWord)
        fWord = text;
}

QString TWordListEntry::GetAPrefixAsString() const
{
    const auto* list = dynamic_cast<const TCVWordList*>(Owner());
    return list && list->TagDisplay() == 1 ? fTag : QString();
}

QString TWordListEntry::GetASuffixAsString() const
{
    const auto* list = dynamic_cast<const TCVWordList*>(Owner());
    return list && list->TagDisplay() == 2 ? fTag : QString();
}

int64_t TWordListEntry::MainWordFrequency() const
{
    int64_t f = fData.Freq;
    for (int j = 0; j < JoinedCount(); ++j)
        f += static_cast<const TWordListEntry*>(JoinedEntry(j))->fData.Freq;
    return f;
}

namespace {

// What StreamBytes and PutTo answer, inline for the list's saving loop
// (a row without an entry is written as an entry of its data and word).
inline std::size_t EntryBytes(const QString& word, const QString& tag)
{
    return 24 + TBulkWriter::AStringBytes(word) + TBulkWriter::AStringBytes(tag);
}
inline std::size_t EntryBytes(const TWordListEntry& e) { return EntryBytes(e.fWord, e.fTag); }
// About the fewest bytes a saved entry takes (its writer's room is made ahead for that many).
constexpr std::size_t kLeastEntryBytes = 30;

inline uint8_t* PutEntry(uint8_t* at, const TWordlistDataRec& d, const QString& word, const QString& tag)
{
    at = TBulkWriter::Put<int64_t>(at, d.Freq);
    at = TBulkWriter::Put<int32_t>(at, d.Texts);
    at = TBulkWriter::Put<float>(at, d.Dispersion);
    at = TBulkWriter::Put<int32_t>(at, d.Rank);
    at = TBulkWriter::Put<int32_t>(at, d.LemmaTexts);
    at = TBulkWriter::PutAString(at, word);
    return TBulkWriter::PutAString(at, tag);
}
inline uint8_t* PutEntry(uint8_t* at, const TWordListEntry& e) { return PutEntry(at, e.fData, e.fWord, e.fTag); }

} // namespace

std::size_t TWordListEntry::StreamBytes() const
{
    return EntryBytes(*this);
}

uint8_t* TWordListEntry::PutTo(uint8_t* at) const
{
    return PutEntry(at, *this);
}

bool TWordListEntry::SaveToStream(TStream& s) const
{
    TBulkWriter w(s);
    PutTo(w.Place(StreamBytes()));
    return w.Finish();
}

bool TWordListEntry::ReadFromStream(TStream& s)
{
    TWordlistDataRec d;
    QString word, tag;
    if (!s.ReadI64(d.Freq) || !s.ReadI32(d.Texts) || !s.ReadF32(d.Dispersion) || !s.ReadI32(d.Rank)
        || !s.ReadI32(d.LemmaTexts) || !ReadAString(s, word) || !ReadAString(s, tag))
        return false;
    if (d.Freq < 0 || d.Texts < 0 || !std::isfinite(d.Dispersion))
        return false;
    fData = d;
    fWord = std::move(word);
    fTag = std::move(tag);
    if (Owner())
        Owner()->NoteValueRead(double(d.Freq));
    return true;
}

// ---------------------------------------------------------------------------
// The list

QString TCVWordList::SortName(int32_t sort)
{
    return sort >= 0 && sort < kSortCount ? QString::fromUtf16(kSortNames[sort]) : QString::fromUtf16(kSortNames[0]);
}

std::span<const char16_t* const> TCVWordList::SortNames()
{
    return kSortNames;
}

TCVWordList::TCVWordList(TCorvantisholder* owner, uint8_t listType, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TWordListEntry>(&l); }, listType, toolSignature,
          kVersion)
{
    QStringList h = StandardGridHeaderArray(listType);
    if (h.size() <= kColSet)
        h = StandardGridHeaderArray(kListWordList);
    const QString setHeading = h.value(kColSet, QStringLiteral("Set"));
    SetGridHeadings(h.mid(0, kColSet));
    AddSetColumn(setHeading);
    SetWordColumn(kColWord);
    SetCloudColumn(kColFreq);
    SetSortSettingsToDefault();
}

QString TCVWordList::ColumnHelp(int column)
{
    switch (column) {
    case kColN: return QStringLiteral("The place of the word in this order.");
    case kColWord: return QStringLiteral("The word, folded as the text settings say.");
    case kColFreq: return QStringLiteral("How often the word occurs (a head word counts the forms joined under it).");
    case kColPercent: return QStringLiteral("The frequency as a percentage of the running words of the list.");
    case kColTexts: return QStringLiteral("The number of texts the word occurs in.");
    case kColTextsPercent: return QStringLiteral("Those texts as a percentage of the texts of the list.");
    case kColDispersion:
        return QStringLiteral("Dispersion: Gries's deviation of proportions, normalised (DPnorm), over the texts of the "
                              "list, or over ten equal parts of the text for a list of one text. 0: spread as evenly "
                              "as the running words; 1: all in one part.");
    case kColLemmas: return QStringLiteral("The forms joined under the word, each with its frequency.");
    case kColSet: return QStringLiteral("The category typed for the word.");
    default: return QString();
    }
}

TWordlistDataRec TCVWordList::DataOf(int i) const
{
    if (!HoldsRowsWithoutEntries())
        return Entry(i).fData;
    return fRows->Data(std::size_t(i));
}

QString TCVWordList::WordOf(int i) const
{
    if (!HoldsRowsWithoutEntries())
        return Entry(i).fWord;
    std::u16string word;
    fRows->AppendWord(std::size_t(i), word);
    return QString::fromUtf16(word.data(), qsizetype(word.size()));
}

int64_t TCVWordList::FrequencyWithForms(int i) const
{
    return HoldsRowsWithoutEntries() ? DataOf(i).Freq : Entry(i).MainWordFrequency();
}

QString TCVWordList::MainWordOfRow(int i) const
{
    return i >= 0 && i < Count() ? WordOf(i) : QString();
}

TWordlistDataRec TCVWordList::WordlistData(int i) const
{
    if (i < 0 || i >= Count())
        return {};
    const int place = FrequencyPlaceOf(i); // ranks follow the order as it is now
    TWordlistDataRec d = DataOf(i);
    d.Rank = place + 1;
    return d;
}

int64_t TCVWordList::CorrectFreq(int i, bool withJoined) const
{
    if (i < 0 || i >= Count())
        return 0;
    return withJoined ? FrequencyWithForms(i) : DataOf(i).Freq;
}

int64_t TCVWordList::ComputedCurrentTokens() const
{
    int64_t n = 0;
    for (int i = 0; i < Count(); ++i)
        if (!GetDeleted(i))
            n += FrequencyWithForms(i);
    return n;
}

int64_t TCVWordList::RecomputeTokens()
{
    fTotalTokens = ComputedCurrentTokens();
    Touched();
    return fTotalTokens;
}

double TCVWordList::Percent(int64_t part, int64_t whole) const
{
    return whole > 0 ? double(part) * 100.0 / double(whole) : 0.0;
}

QString TCVWordList::DisplayedWord(int i) const
{
    if (i < 0 || i >= Count())
        return QString();
    if (HoldsRowsWithoutEntries())
        return WordOf(i); // rows carry no tags
    const TWordListEntry& e = Entry(i);
    if (e.fTag.isEmpty())
        return e.fWord;
    switch (fTagDisplay) {
    case 1: return e.fTag + e.fWord;
    case 2: return e.fWord + e.fTag;
    case 3: return e.fTag;
    default: return e.fWord;
    }
}

// ---------------------------------------------------------------------------
// Orders

std::vector<int32_t> TCVWordList::FrequencyOrder(std::span<const int64_t> frequencies)
{
    // A counting sort: most entries are rare words, so frequencies below a
    // bound (as many as the entries) each get a bucket, counted in one pass
    // and filled in a second, in the order the entries come (equal
    // frequencies keep it). The few entries above the bound are sorted
    // apart and go first.
    const std::size_t n = frequencies.size();
    const auto bound = std::max<std::size_t>(n, 256);
    auto freq = [&](std::size_t i) { return uint64_t(std::max<int64_t>(0, frequencies[i])); };
    std::vector<uint32_t> place(bound, 0u); // count of each frequency, then the next place for it
    std::vector<int32_t> order(n);
    std::size_t frequent = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t f = freq(i);
        if (f < bound)
            ++place[f];
        else
            order[frequent++] = int32_t(i);
    }
    std::stable_sort(order.begin(), order.begin() + std::ptrdiff_t(frequent),
                     [&](int32_t a, int32_t b) { return freq(std::size_t(a)) > freq(std::size_t(b)); });
    uint32_t at = uint32_t(frequent);
    for (std::size_t f = bound; f-- > 0;) {
        const uint32_t count = place[f];
        place[f] = at;
        at += count;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t f = freq(i);
        if (f < bound)
            order[place[f]++] = int32_t(i);
    }
    return order;
}

void TCVWordList::EnsureOrder() const
{
    const int n = Count();
    if (fOrderValid && int(fFreqOrder.size()) == n)
        return;
    std::vector<int64_t> freqs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        freqs[std::size_t(i)] = FrequencyWithForms(i);
    fFreqOrder = FrequencyOrder(freqs);
    fFreqPlace.resize(std::size_t(n));
    for (int k = 0; k < n; ++k)
        fFreqPlace[std::size_t(fFreqOrder[std::size_t(k)])] = k;
    fOrderValid = true;
    // An entry's rank is its place in this order: whatever changed the
    // order (a zap, a join, a sort of the alphabetical page) changed ranks.
    if (!HoldsRowsWithoutEntries())
        for (int i = 0; i < n; ++i)
            Entry(i).fData.Rank = fFreqPlace[std::size_t(i)] + 1;
}

int TCVWordList::FrequencyOrderEntry(int k) const
{
    EnsureOrder();
    return k >= 0 && k < int(fFreqOrder.size()) ? fFreqOrder[std::size_t(k)] : -1;
}

int TCVWordList::FrequencyPlaceOf(int i) const
{
    EnsureOrder();
    return i >= 0 && i < int(fFreqPlace.size()) ? fFreqPlace[std::size_t(i)] : -1;
}

bool TCVWordList::ComputedRankOrdersOfWords()
{
    // Rows without entries are given their ranks as they are read; entries
    // take theirs whenever the order is made.
    EnsureOrder();
    return Count() > 0;
}

int32_t TCVWordList::CurrentAlphabeticalSort() const
{
    const int32_t key = SortLevel(0).key;
    if (key >= 0 && key < kSortCount)
        return key;
    return key > kSortCount ? kSortSet : kSortAlphabetical;
}

QString TCVWordList::CurrentSortName() const
{
    return SortName(CurrentAlphabeticalSort());
}

void TCVWordList::MarkAlphabeticalAscending()
{
    Set1Sort(0, kSortAlphabetical);
    SetSortAscending(0, true);
    Set1Sort(1, -1);
    Set1Sort(2, -1);
}

void TCVWordList::SetAlphabeticalSortLevels()
{
    MarkAlphabeticalAscending();
    InvalidateOrder();
}

std::vector<uint32_t> TCVWordList::AlphabeticalOrder(const QString& collationName,
                                                     std::span<const std::u16string_view> words,
                                                     const std::function<const QString&(uint32_t)>& tagOf,
                                                     std::size_t threads)
{
    TAlphabeticalOrderer orderer(collationName);
    orderer.SetThreads(threads);
    std::vector<uint32_t> order = orderer.Order(words);
    if (!tagOf)
        return order;
    // The same word with different tags: by the tag.
    for (std::size_t a = 0; a < order.size();) {
        std::size_t b = a + 1;
        while (b < order.size() && words[order[b]] == words[order[a]])
            ++b;
        if (b - a > 1)
            std::stable_sort(order.begin() + std::ptrdiff_t(a), order.begin() + std::ptrdiff_t(b),
                             [&](uint32_t x, uint32_t y) { return tagOf(x) < tagOf(y); });
        a = b;
    }
    return order;
}

void TCVWordList::SortAlphabetically()
{
    const int n = Count();
    SetAlphabeticalSortLevels();
    if (HoldsRowsWithoutEntries()) {
        SortRowsAlphabetically();
        return;
    }
    if (n < 2)
        return;
    std::vector<std::u16string_view> words(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        words[std::size_t(i)] = U16(Entry(i).fWord);
    const std::vector<uint32_t> order =
        AlphabeticalOrder(CollationName(), words, [&](uint32_t i) -> const QString& { return Entry(int(i)).fTag; });
    auto& items = Items();
    std::vector<std::unique_ptr<TCVBaseListObject>> sorted;
    sorted.reserve(items.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(items[i]));
    items.swap(sorted);
}

std::vector<std::unique_ptr<TWordListEntry>> TCVWordList::MakeEntries(TCVBaseDataClass* owner, std::size_t n,
                                                                      const TNewEntryRows& rows)
{
    std::vector<std::unique_ptr<TWordListEntry>> entries = TWordListEntry::MakeMany(owner, n);
    TSpellingBlocks spellings;
    std::array<TNewEntry, kNewEntryRows> batch;
    for (std::size_t k = 0; k < n; k += batch.size()) {
        const std::size_t m = std::min(batch.size(), n - k);
        rows(k, {batch.data(), m});
        for (std::size_t j = 0; j < m; ++j)
            Fill(*entries[k + j], batch[j], spellings);
    }
    return entries;
}

void TCVWordList::MakeAlphabeticalEntries(std::size_t n, const TNewEntryRows& rows, std::vector<int32_t> frequencyOrder)
{
    if (Count() > 0 || frequencyOrder.size() != n) {
        // Added to entries already there, or without an order to trust:
        // sorted (again only when the list held entries) and ranked anew.
        const bool wasEmpty = Count() == 0;
        AdoptEntries(MakeEntries(this, n, rows));
        if (wasEmpty)
            SetAlphabeticalSortLevels();
        else
            SortAlphabetically(); // the promise holds for the new entries only
        ComputedRankOrdersOfWords();
        return;
    }
    fFreqOrder = std::move(frequencyOrder);
    fFreqPlace.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        fFreqPlace[std::size_t(fFreqOrder[k])] = int32_t(k);
    // The entries are made in parts side by side, each part in blocks and
    // spellings of its own, into the places of the list kept for them.
    auto& items = Items();
    items.resize(n);
    const std::size_t parts = WorkParts(n);
    try {
        RunRangesOnThreads(n, parts, kNewEntryRows, [&](std::size_t, std::size_t first, std::size_t last) {
            TSpellingBlocks spellings;
            std::array<TNewEntry, kNewEntryRows> batch;
            MakeInBlocks(this, last - first, [&](std::size_t j, std::unique_ptr<TWordListEntry> e) {
                const std::size_t k = first + j;
                if (j % batch.size() == 0)
                    rows(k, {batch.data(), std::min(batch.size(), last - k)});
                Fill(*e, batch[j % batch.size()], spellings);
                e->fData.Rank = fFreqPlace[k] + 1;
                items[k] = std::move(e);
            });
        });
    } catch (...) {
        // No place left empty: the list is as it was, without entries.
        items.clear();
        InvalidateOrder();
        throw;
    }
    SetAlphabeticalSortLevels();
    fOrderValid = true;
}

std::size_t TCVWordList::WorkParts(std::size_t n) const
{
    constexpr std::size_t kEntriesPerPart = 32 * 1024;
    return PartsFor(n, kEntriesPerPart, WorkThreads());
}

int TCVWordList::WorkThreads() const
{
    return fWorkThreads > 0 ? fWorkThreads : TParallelWordlistReading::DefaultThreads();
}

void TCVWordList::SortRowsAlphabetically()
{
    // The words made as the orderer asks for them, never all at once; then
    // the rows are put in that order, to be read one after another.
    const TAlphabeticalOrderer orderer(CollationName());
    const std::vector<uint32_t> order = orderer.Order(fRows->Count(), [this](std::size_t i, std::u16string& scratch) {
        scratch.clear();
        fRows->AppendWord(i, scratch);
        return std::u16string_view(scratch);
    });
    fRows->Reorder(order);
    fRowsAlphabetical = true;
    InvalidateOrder();
}

void TCVWordList::ShowRows(std::unique_ptr<TWordListRows> rows)
{
    Clear();
    const std::size_t n = rows ? rows->Count() : 0;
    if (n == 0)
        return;
    fRows = std::move(rows);
    SetRowsWithoutEntries(int(n));
    SortAlphabetically();
}

void TCVWordList::MakeEntriesOfRows(std::vector<std::unique_ptr<TCVBaseListObject>>& into) const
{
    if (!fRows)
        return;
    EnsureOrder();
    const std::size_t n = fRows->Count();
    std::vector<std::u16string> spellings(kNewEntryRows);
    auto* self = const_cast<TCVWordList*>(this);
    std::vector<std::unique_ptr<TWordListEntry>> entries =
        MakeEntries(self, n, [&](std::size_t first, std::span<TNewEntry> batch) {
            for (std::size_t j = 0; j < batch.size(); ++j) {
                const std::size_t row = first + j;
                const TWordlistDataRec d = fRows->Data(row);
                spellings[j].clear();
                fRows->AppendWord(row, spellings[j]);
                batch[j] = {spellings[j], nullptr, d.Freq, d.Texts, d.Dispersion};
            }
        });
    for (std::size_t k = 0; k < n; ++k) {
        entries[k]->fData.Rank = fFreqPlace[k] + 1;
        into.push_back(std::move(entries[k]));
    }
    fRows.reset();
}

void TCVWordList::EnsureAlphabeticalAscendingSort()
{
    if (HoldsRowsWithoutEntries()) {
        if (fRowsAlphabetical)
            MarkAlphabeticalAscending();
        else
            SortAlphabetically();
        return;
    }
    const TAlphabeticalOrderer orderer(CollationName());
    bool sorted = true;
    for (int i = 1; i < Count() && sorted; ++i) {
        const int c = orderer.Compare(U16(Entry(i - 1).fWord), U16(Entry(i).fWord));
        sorted = c < 0 || (c == 0 && Entry(i - 1).fTag <= Entry(i).fTag);
    }
    if (sorted) {
        MarkAlphabeticalAscending();
        return;
    }
    SortAlphabetically();
}

void TCVWordList::DoASort(int lastIndex)
{
    const TSortLevel first = SortLevel(0);
    if (lastIndex >= Count() - 1 && first.key == kSortAlphabetical && first.ascending && SortLevel(1).key < 0
        && SortLevel(2).key < 0) {
        SortAlphabetically();
        return;
    }
    if (first.key == kSortRandom || SortLevel(1).key == kSortRandom || SortLevel(2).key == kSortRandom)
        fRandomSeed = SplitMix(fRandomSeed);
    EnsureOrder(); // a sort by rank sorts on the ranks of the order as it stands
    TCVBaseLemmaMatchCapableList::DoASort(lastIndex);
    InvalidateOrder();
}

// ---------------------------------------------------------------------------
// Cells and sorting keys

int TCVWordList::RowToEntry(int gridRow, int displayKind) const
{
    const int row = gridRow - 1;
    if (row < 0 || row >= Count())
        return -1;
    return displayKind == kDisplayFrequency ? FrequencyOrderEntry(row) : row;
}

void TCVWordList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    switch (column) {
    case kColN:
        NumberCell(rec, displayKind == kDisplayFrequency ? FrequencyPlaceOf(row) + 1 : row + 1, true);
        return;
    case kColWord:
        rec.text = DisplayedWord(row);
        return;
    case kColLemmas: {
        if (HoldsRowsWithoutEntries())
            return; // nothing is joined under a row yet
        const TWordListEntry& e = Entry(row);
        QStringList forms;
        for (int j = 0; j < e.JoinedCount(); ++j) {
            const auto* f = static_cast<const TWordListEntry*>(e.JoinedEntry(j));
            forms << QStringLiteral("%1[%2]").arg(f->fWord).arg(f->fData.Freq);
        }
        rec.text = forms.join(QLatin1Char(' '));
        return;
    }
    case kColDispersion: {
        const float dispersion = DispersionShown(row);
        if (dispersion < 0)
            return;
        NumberCell(rec, dispersion, false, 3);
        return;
    }
    case kColFreq:
    case kColTexts:
        NumberCell(rec, NumericalData(row, column), true);
        return;
    case kColPercent:
    case kColTextsPercent:
        NumberCell(rec, NumericalData(row, column), false, 2);
        return;
    default:
        // The set columns: a row without an entry has no category yet.
        if (!HoldsRowsWithoutEntries())
            TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

double TCVWordList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const bool rows = HoldsRowsWithoutEntries();
    const TWordlistDataRec d = DataOf(row);
    const int joined = rows ? 0 : Entry(row).JoinedCount();
    const int32_t texts = joined > 0 && d.LemmaTexts > 0 ? d.LemmaTexts : d.Texts;
    const int64_t freq = FrequencyWithForms(row);
    switch (column) {
    case kColN: return row + 1;
    case kColFreq: return double(freq);
    case kColPercent: return Percent(freq, fTotalTokens);
    case kColTexts: return texts;
    case kColTextsPercent: return Percent(texts, fTotalTexts);
    case kColDispersion: return DispersionShown(row);
    case kColLemmas: return joined;
    default: return rows ? 0 : TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

void TCVWordList::GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const
{
    datum = {};
    if (i < 0 || i >= Count())
        return;
    datum.word = WordOf(i);
    datum.frequency = int32_t(std::min<int64_t>(FrequencyWithForms(i), std::numeric_limits<int32_t>::max()));
    datum.number = i + 1;
}

int TCVWordList::HeaderColumnToSortNeeded(int column) const
{
    switch (column) {
    case kColN: return kSortFrequency;
    case kColWord: return kSortAlphabetical;
    case kColFreq: return kSortFrequency;
    case kColPercent: return kSortPercent;
    case kColTexts: return kSortTexts;
    case kColTextsPercent: return kSortTextsPercent;
    case kColDispersion: return kSortDispersion;
    case kColLemmas: return kSortLemmas;
    default: return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    }
}

void TCVWordList::SetSortSettingsToDefault() { MarkAlphabeticalAscending(); }

TSortKeyKind TCVWordList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortAlphabetical:
    case kSortSet:
    case kSortWordEndings:
    case kSortTags:
        return TSortKeyKind::Text;
    default:
        if (key > kSortRandom || key < 0)
            return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
        return TSortKeyKind::Number;
    }
}

QString TCVWordList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& w = static_cast<const TWordListEntry&>(e);
    switch (key) {
    case kSortAlphabetical: return w.fWord;
    case kSortWordEndings: return Reversed(w.fWord);
    case kSortTags: return w.fTag;
    case kSortSet: return ActiveSetColumn() >= 0 ? e.Category(SetNumberOfColumn(ActiveSetColumn())) : QString();
    default: return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
    }
}

double TCVWordList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& w = static_cast<const TWordListEntry&>(e);
    const int32_t texts = w.JoinedCount() > 0 && w.fData.LemmaTexts > 0 ? w.fData.LemmaTexts : w.fData.Texts;
    switch (key) {
    case kSortFrequency:
    case kSortPercent: return double(w.MainWordFrequency());
    case kSortTexts:
    case kSortTextsPercent: return texts;
    case kSortDispersion: {
        const auto head = w.JoinedCount() > 0 ? fHeads.find(&w) : fHeads.end();
        return head != fHeads.end() ? head->second.dispersion : w.fData.Dispersion;
    }
    case kSortLemmas: return w.JoinedCount();
    case kSortWordLength: return double(w.fWord.size());
    case kSortRank: return w.fData.Rank;
    case kSortRandom: return double(SplitMix(fRandomSeed ^ uint64_t(row)) >> 11);
    default: return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

// ---------------------------------------------------------------------------
// Changes

void TCVWordList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    fPartCounts.reset();
    fHeads.clear();
    fRows.reset();
    fRowsAlphabetical = false;
    fTotalTokens = 0;
    fTotalTexts = 0;
    InvalidateOrder();
}

void TCVWordList::DoPostEditOfWord(TCVBaseListObject& e)
{
    bool random = false;
    for (int level = 0; level < kSortLevels; ++level)
        random = random || SortLevel(level).key == kSortRandom;
    if (!random)
        PlaceEntry(&e);
    InvalidateOrder();
}

void TCVWordList::Remove(int i)
{
    TCVBaseLemmaMatchCapableList::Remove(i);
    InvalidateOrder();
}

void TCVWordList::AdoptEntries(std::vector<std::unique_ptr<TWordListEntry>> entries)
{
    Items().reserve(Items().size() + entries.size());
    for (auto& e : entries)
        Add(std::move(e));
    InvalidateOrder();
}

int TCVWordList::FindWordAndTag(const QString& word, const QString& tag) const
{
    for (int i = 0; i < Count(); ++i)
        if (Entry(i).fWord == word && Entry(i).fTag == tag)
            return i;
    return -1;
}

namespace {

// How many zero-width spaces end a word: the marks of words the user chose
// to keep apart from equal spellings. The collation ignores them, so they
// are counted apart.
int KeptApartMarks(const QString& word)
{
    int n = 0;
    for (qsizetype i = word.size() - 1; i >= 0 && word[i] == QChar(kZeroWidthSpace); --i)
        ++n;
    return n;
}

// Two entries stand for one spelling: the same tag, equal by the collation.
bool SameSpelling(const TAlphabeticalOrderer& orderer, const TWordListEntry& a, const TWordListEntry& b)
{
    return a.fTag == b.fTag && orderer.Compare(U16(a.fWord), U16(b.fWord)) == 0;
}

} // namespace

template <typename F>
void TCVWordList::ForEachEqualRun(F&& run) const
{
    // Equal spellings stand side by side in alphabetical order.
    const TAlphabeticalOrderer orderer(CollationName());
    std::vector<int> same;
    const auto flush = [&] {
        if (same.size() > 1)
            run(same);
        same.clear();
    };
    for (int i = 0; i < Count(); ++i) {
        if (GetDeleted(i))
            continue;
        if (!same.empty() && !SameSpelling(orderer, Entry(same.back()), Entry(i)))
            flush();
        same.push_back(i);
    }
    flush();
}

std::vector<int> TCVWordList::EqualRunAround(int i) const
{
    // The entries not deleted on either side, as long as each equals the one before it.
    std::vector<int> run{i};
    if (GetDeleted(i))
        return run;
    const TAlphabeticalOrderer orderer(CollationName());
    for (const int step : {-1, 1}) {
        int last = i;
        for (int j = i + step; j >= 0 && j < Count(); j += step) {
            if (GetDeleted(j))
                continue;
            if (!SameSpelling(orderer, Entry(last), Entry(j)))
                break;
            run.push_back(j);
            last = j;
        }
    }
    return run;
}

std::vector<std::pair<int, int>> TCVWordList::CheckForEqualStrings() const
{
    // Within a run of equal spellings, words with as many keep-apart marks
    // are equal; each is paired with the first of them.
    std::vector<std::pair<int, int>> pairs;
    ForEachEqualRun([&](const std::vector<int>& same) {
        std::vector<std::pair<int, int>> firstWithMarks; // marks, entry
        for (int i : same) {
            const int marks = KeptApartMarks(Entry(i).fWord);
            const auto found = std::find_if(firstWithMarks.begin(), firstWithMarks.end(),
                                            [marks](const auto& f) { return f.first == marks; });
            if (found == firstWithMarks.end())
                firstWithMarks.emplace_back(marks, i);
            else
                pairs.emplace_back(found->second, i);
        }
    });
    std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return pairs;
}

bool TCVWordList::MergeEqualWords(int keep, int other)
{
    if (keep == other || keep < 0 || other < 0 || keep >= Count() || other >= Count() || GetDeleted(other))
        return false;
    // Forms joined under the word that goes become entries of their own.
    if (Entry(other).JoinedCount() > 0) {
        const TWordListEntry* keepEntry = &Entry(keep);
        const TWordListEntry* otherEntry = &Entry(other);
        UnJoin(other, false);
        keep = IndexOf(keepEntry);
        other = IndexOf(otherEntry);
    }
    TWordListEntry& k = Entry(keep);
    const TWordListEntry& o = Entry(other);
    k.fData.Freq += o.fData.Freq;
    // Both spellings may stand in the same text: the larger count is what is sure.
    k.fData.Texts = std::max(k.fData.Texts, o.fData.Texts);
    k.fData.Dispersion = -1.0f;
    k.fPartsRow = TPartCounts::kNoRow; // its counts are no longer its row's
    SetDeleted(other, true, false);
    InvalidateOrder();
    Touched();
    return true;
}

void TCVWordList::AddASpaceToWordNumber(int i)
{
    if (i < 0 || i >= Count())
        return;
    // One more mark than any equal spelling has, so that no two of them
    // are found equal again.
    int most = -1;
    for (int j : EqualRunAround(i))
        if (j != i)
            most = std::max(most, KeptApartMarks(Entry(j).fWord));
    QString& word = Entry(i).fWord;
    const int marks = std::max(most + 1 - KeptApartMarks(word), 1);
    word.append(QString(marks, QChar(kZeroWidthSpace)));
    Touched();
}

bool TCVWordList::JoinClusters(bool smallerIntoLargest)
{
    struct TCluster {
        int index;
        QStringList words;
    };
    std::vector<TCluster> clusters;
    QHash<QString, int> byText; // cluster text -> place in `clusters`
    for (int i = 0; i < Count(); ++i) {
        if (GetDeleted(i))
            continue;
        const QString& w = Entry(i).fWord;
        if (!w.contains(QLatin1Char(' ')))
            continue;
        QStringList words = w.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        byText.insert(words.join(QLatin1Char(' ')), int(clusters.size()));
        clusters.push_back({i, std::move(words)});
    }
    if (clusters.size() < 2)
        return false;
    auto better = [&](int a, int b, bool longer) {
        // Whether cluster a is a better head than b: by length, then frequency, then list order.
        const auto la = clusters[std::size_t(a)].words.size(), lb = clusters[std::size_t(b)].words.size();
        if (la != lb)
            return longer ? la > lb : la < lb;
        const int64_t fa = Entry(clusters[std::size_t(a)].index).MainWordFrequency();
        const int64_t fb = Entry(clusters[std::size_t(b)].index).MainWordFrequency();
        if (fa != fb)
            return fa > fb;
        return clusters[std::size_t(a)].index < clusters[std::size_t(b)].index;
    };
    // For each cluster, the head it goes under (-1 none).
    std::vector<int> head(clusters.size(), -1);
    for (std::size_t d = 0; d < clusters.size(); ++d) {
        const QStringList& words = clusters[d].words;
        for (qsizetype len = 2; len < words.size(); ++len)
            for (qsizetype from = 0; from + len <= words.size(); ++from) {
                const auto it = byText.constFind(words.mid(from, len).join(QLatin1Char(' ')));
                if (it == byText.constEnd())
                    continue;
                const int s = it.value(); // cluster s lies inside cluster d
                if (smallerIntoLargest) {
                    if (head[std::size_t(s)] < 0 || better(int(d), head[std::size_t(s)], true))
                        head[std::size_t(s)] = int(d);
                } else if (head[d] < 0 || better(s, head[d], false)) {
                    head[d] = s;
                }
            }
    }
    // Heads never go under another head (see the choice above): one group per head.
    std::vector<std::vector<int>> groupOf(clusters.size());
    for (std::size_t c = 0; c < clusters.size(); ++c)
        if (head[c] >= 0)
            groupOf[std::size_t(head[c])].push_back(clusters[c].index);
    std::vector<std::vector<int>> groups;
    for (std::size_t h = 0; h < clusters.size(); ++h) {
        if (groupOf[h].empty() || head[h] >= 0)
            continue;
        std::vector<int> g{clusters[h].index};
        g.insert(g.end(), groupOf[h].begin(), groupOf[h].end());
        groups.push_back(std::move(g));
    }
    if (groups.empty())
        return false;
    const int joined = JoinGroups(groups, true, QStringLiteral("Join clusters"));
    InvalidateOrder();
    return joined > 0;
}

int TCVWordList::CheckLemmasForConsistency(const QString& indexFile, TTextsOfWords* index)
{
    QString error;
    if (!index || !index->Open(indexFile, &error)) {
        TDialogRequest r;
        r.routine = QStringLiteral("FailedToRead");
        r.kind = TDialogKind::Error;
        r.caption = QStringLiteral("Lemmas");
        r.text = error.isEmpty() ? QStringLiteral("The index \"%1\" cannot be used.").arg(indexFile) : error;
        ShowDialog(r);
        return -1;
    }
    int updated = 0;
    for (int i = 0; i < Count(); ++i) {
        TWordListEntry& e = Entry(i);
        if (e.JoinedCount() == 0)
            continue;
        QStringList words{e.fWord};
        for (int j = 0; j < e.JoinedCount(); ++j)
            words << static_cast<const TWordListEntry*>(e.JoinedEntry(j))->fWord;
        e.fData.LemmaTexts = index->TextsHoldingAnyOf(words);
        ++updated;
    }
    if (updated > 0) {
        RememberHeadWords();
        Touched();
    }
    return updated;
}

int TCVWordList::ImportWords(const std::vector<TWordAndFrequency>& words, int64_t total)
{
    Clear();
    // A standard map, not a QHash: a QHash that cannot grow ends the program,
    // where a job short of memory must end with a message.
    std::unordered_map<QString, int> seen;
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    int64_t sum = 0;
    for (const TWordAndFrequency& w : words) {
        if (w.word.isEmpty() || w.frequency <= 0)
            continue;
        sum += w.frequency;
        const auto it = seen.find(w.word);
        if (it != seen.end()) {
            entries[std::size_t(it->second)]->fData.Freq += w.frequency;
            continue;
        }
        auto e = std::make_unique<TWordListEntry>(this);
        e->fWord = w.word;
        e->fData.Freq = w.frequency;
        e->fData.Texts = 1;
        e->fData.Dispersion = -1.0f;
        seen.emplace(w.word, int(entries.size()));
        entries.push_back(std::move(e));
    }
    AdoptEntries(std::move(entries));
    // A total below what the words add up to would give shares above 100 %
    // (and a list no reader takes): the words' sum stands then.
    fTotalTokens = std::max(total, sum);
    fTotalTexts = Count() > 0 ? 1 : 0;
    SortAlphabetically();
    ComputedRankOrdersOfWords();
    Touched();
    return Count();
}

int TCVWordList::ImportDataFromStringList(const TUserPlainTextStringlist& lines, int64_t total)
{
    std::vector<TWordAndFrequency> words;
    words.reserve(std::size_t(lines.Count()));
    for (int i = 0; i < lines.Count(); ++i)
        words.push_back({lines.Strings(i), lines.Objects(i)});
    return ImportWords(words, total);
}

int TCVWordList::DeleteAllTaggedWords(bool deleted)
{
    if (HoldsRowsWithoutEntries())
        return 0; // rows carry no tags
    int n = 0;
    BeginUndoStep(deleted ? QStringLiteral("Delete tagged words") : QStringLiteral("Restore tagged words"));
    for (int i = 0; i < Count(); ++i)
        if (!Entry(i).fTag.isEmpty() && GetDeleted(i) != deleted) {
            SetDeleted(i, deleted, true);
            ++n;
        }
    EndUndoStep();
    return n;
}

bool TCVWordList::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    auto* o = dynamic_cast<TCVWordList*>(&other);
    if (!o || o == this)
        return false;
    QHash<QString, int> index;
    index.reserve(Count() + o->Count());
    for (int i = 0; i < Count(); ++i)
        index.insert(WordTagKey(Entry(i).fWord, Entry(i).fTag), i);
    std::vector<std::unique_ptr<TWordListEntry>> added;
    auto take = [&](const TWordListEntry& e) {
        const QString key = WordTagKey(e.fWord, e.fTag);
        const auto it = index.constFind(key);
        if (it != index.constEnd()) {
            TWordListEntry& mine = it.value() >= 0 ? Entry(it.value()) : *added[std::size_t(-it.value() - 1)];
            mine.fData.Freq += e.fData.Freq;
            mine.fData.Texts += e.fData.Texts;
            return;
        }
        auto copy = std::make_unique<TWordListEntry>(this);
        copy->fWord = e.fWord;
        copy->fTag = e.fTag;
        copy->fData.Freq = e.fData.Freq;
        copy->fData.Texts = e.fData.Texts;
        index.insert(key, -int(added.size()) - 1);
        added.push_back(std::move(copy));
    };
    for (int i = 0; i < o->Count(); ++i) {
        const TWordListEntry& e = o->Entry(i);
        take(e);
        for (int j = 0; j < e.JoinedCount(); ++j)
            take(*static_cast<const TWordListEntry*>(e.JoinedEntry(j)));
    }
    AdoptEntries(std::move(added));
    // The parts of the two lists are not one corpus's: the dispersion of the whole is not known.
    fPartCounts.reset();
    for (int i = 0; i < Count(); ++i) {
        Entry(i).fData.Dispersion = -1.0f;
        Entry(i).fData.LemmaTexts = 0;
        Entry(i).fPartsRow = TPartCounts::kNoRow;
    }
    fTotalTokens += o->fTotalTokens;
    fTotalTexts += o->fTotalTexts;
    SortAlphabetically();
    ComputedRankOrdersOfWords();
    Touched();
    return true;
}

bool TCVWordList::SaveEntryRange(TStream& s, TBulkWriter& w, int first, int last) const
{
    // Entry after entry into the writer's room, without a call per field.
    // The entries are asked for a few ahead (both their cache lines: the
    // state is in the first, the spellings' sizes and the data in the second).
    constexpr int kAhead = 8;
    for (int i = first; i < last; ++i) {
        if (i + kAhead < last) {
            const auto* ahead = reinterpret_cast<const char*>(&Entry(i + kAhead));
            PrefetchLine(ahead);
            PrefetchLine(ahead + sizeof(TWordListEntry) - 1);
        }
        const TWordListEntry& e = Entry(i);
        if (!HasPlainEntryState(e)) {
            if (!w.Flush() || !SaveEntry(s, e, false))
                return false;
            continue;
        }
        PutEntry(PutPlainEntryState(e, w.Place(kPlainEntryStateBytes + EntryBytes(e))), e);
    }
    return w.Flush();
}

bool TCVWordList::SaveEntries(TStream& s)
{
    const int n = Count();
    if (HoldsRowsWithoutEntries()) {
        // Each row as the entry it would be (with its rank), none made.
        TBulkWriter w(s, std::size_t(n) * kLeastEntryBytes);
        const QString noTag;
        for (int i = 0; i < n; ++i) {
            const TWordlistDataRec d = WordlistData(i);
            const QString word = WordOf(i);
            PutEntry(PutRowState(w.Place(kPlainEntryStateBytes + EntryBytes(word, noTag))), d, word, noTag);
        }
        return w.Finish();
    }
    const std::size_t parts = WorkParts(std::size_t(n));
    if (parts <= 1) {
        TBulkWriter w(s, std::size_t(n) * kLeastEntryBytes);
        return SaveEntryRange(s, w, 0, n);
    }
    // Chunks of entries are written into memory side by side, each taken by
    // the next thread free to, and this thread hands them to the stream in
    // their order; a chunk's memory takes the next but so many once its
    // bytes are out. This thread makes the next chunk to go out itself when
    // no other has taken it: the others may never start (a system short of
    // threads runs them after this one).
    constexpr int kChunkEntries = 16 * 1024;
    const std::size_t chunks = (std::size_t(n) + kChunkEntries - 1) / kChunkEntries;
    struct TChunk {
        TMemoryStream bytes;
        bool ok = false;
        bool ready = false;
    };
    std::vector<TChunk> ring(2 * (parts - 1));
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t taken = 0;   // chunks taken by a thread to be made
    std::size_t written = 0; // chunks out
    bool stop = false;       // a chunk could not be made or written: no more are
    auto make = [&](std::size_t c) {
        TChunk& chunk = ring[c % ring.size()];
        const int first = int(c) * kChunkEntries;
        const int last = std::min(n, first + kChunkEntries);
        chunk.bytes.SetPosition(0);
        TBulkWriter w(chunk.bytes, std::size_t(last - first) * kLeastEntryBytes);
        chunk.ok = SaveEntryRange(chunk.bytes, w, first, last);
        {
            std::lock_guard lock(mutex);
            chunk.ready = true;
        }
        changed.notify_all();
    };
    auto stopAll = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
    };
    bool ok = true;
    RunPartsOnThreads(parts, [&](std::size_t p) {
        try {
            if (p != 0) {
                for (;;) {
                    std::size_t c;
                    {
                        std::unique_lock lock(mutex);
                        changed.wait(lock, [&] { return stop || taken == chunks || written + ring.size() > taken; });
                        if (stop || taken == chunks)
                            return;
                        c = taken++;
                    }
                    make(c);
                }
            }
            for (std::size_t c = 0; c < chunks && ok; ++c) {
                TChunk& chunk = ring[c % ring.size()];
                bool mine = false;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return chunk.ready || stop || taken == c; });
                    if (!chunk.ready && !stop) {
                        mine = true; // the next to go out, and no one took it: made here
                        ++taken;
                    } else if (!chunk.ready) {
                        return; // a chunk could not be made: its thread says why
                    }
                }
                if (mine)
                    make(c);
                ok = chunk.ok && s.WriteExact(chunk.bytes.Memory(), chunk.bytes.Position());
                {
                    std::lock_guard lock(mutex);
                    chunk.ready = false;
                    written = c + 1;
                    stop = stop || !ok;
                }
                changed.notify_all();
            }
        } catch (...) {
            stopAll();
            throw;
        }
    });
    return ok;
}

bool TCVWordList::SaveToStream(TStream& s)
{
    EnsureOrder(); // every rank written is the entry's place in the order as it is
    TMemoryStream h;
    if (!h.WriteI64(fTotalTokens) || !h.WriteI32(fTotalTexts) || !h.WriteU8(fTagDisplay))
        return false;
    return WriteListHeader(s, kHeaderMagic, h) && TCVBaseLemmaMatchCapableList::SaveToStream(s);
}

QString TCVWordList::ImpossibleValue() const
{
    for (int i = 0; i < Count(); ++i) {
        const TWordListEntry& e = Entry(i);
        const TWordlistDataRec& d = e.fData;
        const int64_t freq = CorrectFreq(i, true);
        if (freq > fTotalTokens)
            return QStringLiteral("\"%1\" has a frequency of %2 in %3 running words").arg(e.fWord).arg(freq).arg(fTotalTokens);
        if (d.Texts > fTotalTexts || d.LemmaTexts > fTotalTexts || d.LemmaTexts < 0)
            return QStringLiteral("\"%1\" is in %2 of %3 texts").arg(e.fWord).arg(std::max(d.Texts, d.LemmaTexts)).arg(fTotalTexts);
        if (d.Dispersion > 1.0f)
            return QStringLiteral("\"%1\" has a dispersion of %2").arg(e.fWord).arg(double(d.Dispersion));
    }
    return {};
}

bool TCVWordList::ReadFromStream(TStream& s)
{
    TMemoryStream h;
    if (!ReadListHeader(s, kHeaderMagic, h))
        return false;
    int64_t tokens = 0;
    int32_t texts = 0;
    uint8_t tagDisplay = 0;
    // Later layouts add fields at the end of this header; they are skipped here.
    if (!h.ReadI64(tokens) || !h.ReadI32(texts) || !h.ReadU8(tagDisplay) || tokens < 0 || texts < 0)
        return false;
    InvalidateOrder();
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    fTotalTokens = tokens;
    fTotalTexts = texts;
    fTagDisplay = tagDisplay;
    // Ranks are the places of the frequency order, made again here: a file
    // whose ranks do not fit (an earlier version kept them as they were
    // after a zap or a join) opens with them renumbered, and says so.
    std::vector<int32_t> stored(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        stored[std::size_t(i)] = Entry(i).fData.Rank;
    InvalidateOrder();
    EnsureOrder();
    fRanksRenumbered = 0;
    for (int i = 0; i < Count(); ++i)
        if (stored[std::size_t(i)] != 0 && stored[std::size_t(i)] != Entry(i).fData.Rank)
            ++fRanksRenumbered;
    // What the file gives its head words stands until their forms change
    // (or the counts by part come with the file: ReadPartCounts).
    RememberHeadWords();
    return true;
}

// ---------------------------------------------------------------------------
// Counts by part and head words

void TCVWordList::SetPartCounts(std::unique_ptr<TPartCounts> counts)
{
    fPartCounts = std::move(counts);
    if (!fPartCounts)
        for (int i = 0; i < Count(); ++i)
            Entry(i).fPartsRow = TPartCounts::kNoRow;
}

uint64_t TCVWordList::FormsKey(const TCVBaseListObject& head)
{
    uint64_t key = uint64_t(head.JoinedCount());
    for (int j = 0; j < head.JoinedCount(); ++j)
        key = SplitMix(key ^ uint64_t(reinterpret_cast<uintptr_t>(head.JoinedEntry(j))));
    return key;
}

void TCVWordList::RememberHeadWords()
{
    fHeads.clear();
    if (HoldsRowsWithoutEntries())
        return;
    for (int i = 0; i < Count(); ++i) {
        const TWordListEntry& e = Entry(i);
        if (e.JoinedCount() == 0)
            continue;
        if (e.fData.Freq == 0 && e.fData.Texts > 0)
            fHeads[&e] = {FormsKey(e), e.fData.Texts, e.fData.Dispersion};
        else if (e.fData.LemmaTexts > 0)
            fHeads[&e] = {FormsKey(e), e.fData.LemmaTexts, -1.0f};
    }
    DoPostJoinOrUnjoiningOperation();
}

void TCVWordList::DoPostJoinOrUnjoiningOperation()
{
    InvalidateOrder();
    if (HoldsRowsWithoutEntries()) {
        fHeads.clear();
        return;
    }
    std::unordered_map<const TCVBaseListObject*, THeadValues> heads;
    std::vector<uint32_t> rows;
    for (int i = 0; i < Count(); ++i) {
        TWordListEntry& e = Entry(i);
        if (e.JoinedCount() == 0) {
            e.fData.LemmaTexts = 0;
            continue;
        }
        const uint64_t key = FormsKey(e);
        rows.assign(1, e.fPartsRow);
        int32_t mostTexts = e.fData.Texts;
        for (int j = 0; j < e.JoinedCount(); ++j) {
            const auto& form = static_cast<const TWordListEntry&>(*e.JoinedEntry(j));
            rows.push_back(form.fPartsRow);
            mostTexts = std::max(mostTexts, form.fData.Texts);
        }
        const bool known = fPartCounts && std::none_of(rows.begin(), rows.end(), [](uint32_t r) {
                               return r == TPartCounts::kNoRow;
                           });
        THeadValues v{key, mostTexts, -1.0f};
        if (known) {
            const TPartCounts::TTogether together = fPartCounts->Together(rows);
            v = {key, together.texts, together.dispersion};
        } else if (const auto was = fHeads.find(&e); was != fHeads.end() && was->second.formsKey == key) {
            v = was->second; // worked out before for these forms (a consistency check, the file)
        }
        e.fData.LemmaTexts = v.texts;
        heads.emplace(&e, v);
    }
    fHeads = std::move(heads);
}

float TCVWordList::DispersionShown(int i) const
{
    if (i < 0 || i >= Count())
        return -1.0f;
    if (HoldsRowsWithoutEntries())
        return DataOf(i).Dispersion;
    const TWordListEntry& e = Entry(i);
    if (e.JoinedCount() == 0)
        return e.fData.Dispersion;
    const auto head = fHeads.find(&e);
    return head != fHeads.end() ? head->second.dispersion : -1.0f;
}

std::unique_ptr<TCVBaseListObject> TCVWordList::MakeHeadEntry(const QString& word)
{
    auto e = std::make_unique<TWordListEntry>(this);
    e->fWord = word;
    e->fData.Dispersion = -1.0f; // of a word in no part: none
    e->fPartsRow = fPartCounts ? TPartCounts::kInNoPart : TPartCounts::kNoRow;
    return e;
}

namespace {
constexpr uint8_t kPartsMagic[4] = {'C', 'V', 'P', 'C'};

// Unsigned numbers seven bits a byte, the lowest first, the high bit set
// on every byte but the last (most counts and gaps between parts take one).
void PutVarint(std::vector<uint8_t>& out, uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(uint8_t(v) | 0x80);
        v >>= 7;
    }
    out.push_back(uint8_t(v));
}

bool ReadVarint(TStream& s, uint64_t& v)
{
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        uint8_t b = 0;
        if (!s.ReadU8(b))
            return false;
        if (shift == 63 && b > 1)
            return false; // more than 64 bits
        v |= uint64_t(b & 0x7F) << shift;
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}
} // namespace

bool TCVWordList::SavePartCounts(TStream& s) const
{
    if (!fPartCounts)
        return true;
    const TPartCounts& c = *fPartCounts;
    TMemoryStream h;
    if (!h.WriteI32(c.PartCount()) || !WriteListHeader(s, kPartsMagic, h))
        return false;
    for (int32_t p = 0; p < c.PartCount(); ++p)
        if (!s.WriteI64(c.PartWords(p)) || !s.WriteI32(c.PartText(p)))
            return false;
    int64_t entries = 0;
    for (int i = 0; i < Count(); ++i)
        entries += 1 + Entry(i).JoinedCount();
    if (!s.WriteI64(entries))
        return false;
    // Each entry: 0 when its counts are not known, else 1 + its parts, then
    // per part the gap after the part before (from -1) and the count.
    std::vector<uint8_t> bytes;
    const auto row = [&](const TWordListEntry& e) {
        if (e.fPartsRow == TPartCounts::kNoRow) {
            PutVarint(bytes, 0);
            return;
        }
        std::vector<std::pair<int32_t, uint64_t>> parts;
        c.ForEach(e.fPartsRow, [&](int32_t part, uint64_t count) { parts.emplace_back(part, count); });
        PutVarint(bytes, 1 + parts.size());
        int64_t last = -1;
        for (const auto& [part, count] : parts) {
            PutVarint(bytes, uint64_t(part - last - 1));
            PutVarint(bytes, count);
            last = part;
        }
    };
    for (int i = 0; i < Count(); ++i) {
        const TWordListEntry& e = Entry(i);
        row(e);
        for (int j = 0; j < e.JoinedCount(); ++j)
            row(static_cast<const TWordListEntry&>(*e.JoinedEntry(j)));
        if (bytes.size() >= (1u << 16)) {
            if (!s.WriteBytes(bytes))
                return false;
            bytes.clear();
        }
    }
    return s.WriteBytes(bytes);
}

bool TCVWordList::ReadPartCounts(TStream& s)
{
    TMemoryStream h;
    int32_t parts = 0;
    if (!ReadListHeader(s, kPartsMagic, h) || !h.ReadI32(parts) || parts < 0 || int64_t(parts) * 12 > s.Remaining())
        return false;
    std::vector<int64_t> tokens(static_cast<std::size_t>(parts));
    std::vector<int32_t> texts(static_cast<std::size_t>(parts));
    for (int32_t p = 0; p < parts; ++p)
        if (!s.ReadI64(tokens[std::size_t(p)]) || !s.ReadI32(texts[std::size_t(p)]) || tokens[std::size_t(p)] < 0
            || texts[std::size_t(p)] < (p > 0 ? texts[std::size_t(p - 1)] : 0))
            return false;
    int64_t entries = 0;
    for (int i = 0; i < Count(); ++i)
        entries += 1 + Entry(i).JoinedCount();
    int64_t saved = 0;
    if (!s.ReadI64(saved) || saved != entries)
        return false;
    auto counts = std::make_unique<TPartCounts>(std::move(tokens), std::move(texts));
    // A row is read and checked: parts in order and within the parts, no
    // count of 0, the counts adding up to the entry's own frequency.
    const auto row = [&](TWordListEntry& e) {
        uint64_t n = 0;
        if (!ReadVarint(s, n) || n > uint64_t(parts) + 1)
            return false;
        if (n == 0) {
            e.fPartsRow = TPartCounts::kNoRow;
            return true;
        }
        uint64_t freq = 0;
        int64_t last = -1;
        for (uint64_t k = 1; k < n; ++k) {
            uint64_t gap = 0, count = 0;
            if (!ReadVarint(s, gap) || !ReadVarint(s, count) || gap >= uint64_t(parts) || count == 0
                || count > uint64_t(std::numeric_limits<int64_t>::max()) - freq)
                return false;
            const int64_t part = last + 1 + int64_t(gap);
            if (part >= parts)
                return false;
            counts->Put(int32_t(part), count);
            freq += count;
            last = part;
        }
        if (freq != uint64_t(e.fData.Freq))
            return false;
        e.fPartsRow = n == 1 ? TPartCounts::kInNoPart : counts->EndRow();
        return true;
    };
    for (int i = 0; i < Count(); ++i) {
        TWordListEntry& e = Entry(i);
        if (!row(e))
            return false;
        for (int j = 0; j < e.JoinedCount(); ++j)
            if (!row(static_cast<TWordListEntry&>(*e.JoinedEntry(j))))
                return false;
    }
    fPartCounts = std::move(counts);
    DoPostJoinOrUnjoiningOperation();
    return true;
}

} // namespace cv
