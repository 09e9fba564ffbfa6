#pragma once
// The word tree of one word-list run: every word type met, with its counts.
//
// Tokens are counted through a hash table of the types: the key of a token
// is its folded spelling (in the cutter's batch buffer) with a 64-bit hash
// computed while folding, so a type seen before is found in one or two
// probes and no string is made per token. A new type's spelling is copied
// once into the tree's arena. The types keep the order in which they were
// met; the alphabetical and frequency orders are built over the types once,
// at the end (TCVWordList), never per token.
//
// Counting a token is a random look-up in memory, and what decides its cost
// is how many cache lines it touches and how many branches it guesses
// wrong. So a slot of the open-addressed index is 8 bytes, and a type is one
// cache line holding its counters and the first sixteen units of its
// spelling: a word of up to sixteen units (nearly every token) is compared
// and counted without a look at the arena, by a comparison of fixed length.
// (The general tree of the data model, with its hash index, was the
// first home of these counts: its per-node compare calls, the balancing of a
// node for every new type and nodes several times this size cost more than
// the reading of the texts.)
//
// Besides frequencies the tree keeps what the run's statistics need without
// a second pass: per type the last part of the run it was met in and the
// last standardised-TTR chunk, so that the types of each text and of each
// chunk and the per-part frequencies (the dispersion value, the texts of a
// type) are all counted as the tokens go by.
//
// Limits: a type is at most 65,535 units long (longer "words" are not words
// of the list). Its frequency is 64-bit; its count in the current part is
// kept in 32 bits, and the rare part in which a type passes 4,294,967,295
// tokens has the wraps noted beside (so no count is ever cut short).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "wordlist/part_counts.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cv {

// One word type: one cache line, so that counting a token of a type met
// before touches the type and nothing else (the first sixteen units of its
// spelling are here; the arena is looked at only for longer words).
struct alignas(64) TWordlistKey {
    static constexpr int32_t kPrefixUnits = 16;
    static constexpr uint16_t kStopFlag = 0x8000; // in tagAndFlags: the type is in the stop list
    static constexpr uint16_t kTagMask = 0x0FFF;

    char16_t prefix[kPrefixUnits] = {}; // first units of the spelling, zero padded
    uint64_t freq = 0;
    uint32_t textAt = 0;                // the whole spelling in the arena (padded to a multiple of four units)
    uint16_t length = 0;                // UTF-16 units
    uint16_t tagAndFlags = 0;           // 1-based number of the listed tag it carries (0 none), and flags
    int32_t lastPart = -1;
    int32_t lastSttrChunk = -1;
    uint32_t partCount = 0;             // tokens in its current part (modulo 2^32: see TWordlistTree's wraps)
    uint32_t sinkValue = 0;             // what a token sink of the run keeps with the type (0 until it sets one);
                                        // in a tree that hands its parts over, its slice and number there

    uint16_t Tag() const { return tagAndFlags & kTagMask; }
    bool Stop() const { return (tagAndFlags & kStopFlag) != 0; }
};
static_assert(sizeof(TWordlistKey) == 64);

// Asks for the cache line at p. The compiler drops a __builtin_prefetch
// whose address it had to load from memory (as a type's, read from its
// slot), taking it for work without effect: on x86-64 the instruction is
// written out.
inline void PrefetchLine(const void* p)
{
#if defined(__x86_64__) && defined(__GNUC__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
}

// Longest spelling a type may have, in UTF-16 units.
constexpr int32_t kMaxTypeLength = std::numeric_limits<uint16_t>::max();

// The hash of a folded spelling and its tag. Units go in four at a time
// (zero padded), as a cutter can feed them while it folds, always an even
// number of fours: a cutter that folds eight units at once feeds both halves.
// A round is one multiplication (bijective: two spellings that differ in a
// round differ after it), which carries the low bits up only; the finish
// multiplies once more and folds the high half into the low, so the index's
// low bits depend on every unit. The slot's check is the high half: two keys
// with the same slot start and check have the same hash before the finish.
// (Every round and the finish each cost a multiplication and little else:
// most words take three.)
struct TWordHasher {
    static constexpr uint64_t kSeed = 0x9E3779B97F4A7C15ull;
    static uint64_t Round(uint64_t h, uint64_t fourUnits) { return (h ^ fourUnits) * 0x9E3779B97F4A7C15ull; }
    static uint64_t Finish(uint64_t h, int32_t length, uint16_t tag)
    {
        h ^= (uint64_t(uint32_t(length)) << 16) ^ tag;
        h *= 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 32);
    }
};
// The same hash of a spelling followed by zero units up to a multiple of four.
inline uint64_t HashPaddedWordlistKey(const char16_t* units, int32_t length, uint16_t tag)
{
    uint64_t h = TWordHasher::kSeed;
    int32_t k = 0;
    for (; k < length; k += 4) {
        uint64_t x;
        std::memcpy(&x, units + k, 8);
        h = TWordHasher::Round(h, x);
    }
    if ((k / 4) % 2 != 0)
        h = TWordHasher::Round(h, 0);
    return TWordHasher::Finish(h, length, tag);
}
// The same of any spelling.
uint64_t HashWordlistKey(const char16_t* units, int32_t length, uint16_t tag);

class TWordlistParentTree {
    // A block of types, allocated without being cleared: each type is made
    // in place when it is added (the types are trivially destroyed).
    struct TFreeTypes {
        void operator()(TWordlistKey* p) const { ::operator delete[](p, std::align_val_t(alignof(TWordlistKey))); }
    };
    using TTypeBlock = std::unique_ptr<TWordlistKey[], TFreeTypes>;
    static_assert(std::is_trivially_destructible_v<TWordlistKey>);
    struct TSlot {
        uint32_t check; // high half of the hash
        uint32_t id1;   // type id + 1; 0 empty
    };

public:
    static constexpr uint32_t kNoType = std::numeric_limits<uint32_t>::max();

    TWordlistParentTree();
    virtual ~TWordlistParentTree();
    TWordlistParentTree(const TWordlistParentTree&) = delete;
    TWordlistParentTree& operator=(const TWordlistParentTree&) = delete;
    TWordlistParentTree(TWordlistParentTree&&) noexcept = default;
    TWordlistParentTree& operator=(TWordlistParentTree&&) noexcept = default;

    // The id of the type of this spelling and tag (hash as HashWordlistKey
    // gives it), or kNoType. The text must be followed by zero units up to a
    // multiple of four (the arena keeps its copies so), so that spellings
    // compare eight bytes at a time.
    uint32_t FindType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash) const
    {
        return Probe(hash, [&](const TWordlistKey& k) {
            return k.length == length && k.Tag() == tag && SameSpelling(k, text, length);
        });
    }
    // The same for a cutter's text, padded with zero units to at least
    // sixteen (and to a multiple of four beyond): the first sixteen units
    // compare with the type's prefix at once, so a word of up to sixteen
    // units is settled by its type alone.
    uint32_t FindTypeWide(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash) const
    {
        const uint32_t lengthAndTag = uint32_t(uint16_t(length)) | (uint32_t(tag & TWordlistKey::kTagMask) << 16);
        return Probe(hash, [&](const TWordlistKey& k) {
            uint32_t kLengthAndTag;
            std::memcpy(&kLengthAndTag, &k.length, 4); // length, then tag and flags
            return (kLengthAndTag & (0xFFFFu | (uint32_t(TWordlistKey::kTagMask) << 16))) == lengthAndTag
                && SameSixteen(k.prefix, text)
                && (length <= TWordlistKey::kPrefixUnits
                    || SamePadded(Spelling(k.textAt) + TWordlistKey::kPrefixUnits, text + TWordlistKey::kPrefixUnits,
                                  length - TWordlistKey::kPrefixUnits));
        });
    }
    // Many look-ups in a row while no type is added: the index and the
    // blocks of types in locals, and the type found handed back with its id.
    class TLookup {
    public:
        explicit TLookup(const TWordlistParentTree& tree)
            : fSlots(tree.IndexSlots()), fMask(tree.fMask), fBlocks(tree.fBlocks.data()), fTree(&tree)
        {
        }
        // FindTypeWide; null when the spelling is no type yet.
        TWordlistKey* FindWide(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash, uint32_t& id) const
        {
            const uint32_t check = uint32_t(hash >> 32);
            for (std::size_t i = std::size_t(hash) & fMask;; i = (i + 1) & fMask) {
                const TSlot s = fSlots[i];
                if (s.id1 == 0)
                    return nullptr;
                if (s.check != check)
                    continue;
                TWordlistKey& k = fBlocks[(s.id1 - 1) >> kBlockShift][(s.id1 - 1) & (kBlockTypes - 1)];
                if (Is(k, text, length, tag)) {
                    id = s.id1 - 1;
                    return &k;
                }
            }
        }
        // Whether `k` is the type of the spelling (padded as for FindWide).
        bool Is(const TWordlistKey& k, const char16_t* text, int32_t length, uint16_t tag) const
        {
            const uint32_t lengthAndTag = uint32_t(uint16_t(length)) | (uint32_t(tag & TWordlistKey::kTagMask) << 16);
            uint32_t kLengthAndTag;
            std::memcpy(&kLengthAndTag, &k.length, 4); // length, then tag and flags
            return (kLengthAndTag & (0xFFFFu | (uint32_t(TWordlistKey::kTagMask) << 16))) == lengthAndTag
                && SameSixteen(k.prefix, text)
                && (length <= TWordlistKey::kPrefixUnits
                    || SamePadded(fTree->Spelling(k.textAt) + TWordlistKey::kPrefixUnits,
                                  text + TWordlistKey::kPrefixUnits, length - TWordlistKey::kPrefixUnits));
        }
        // Looking ahead: the type the hash's first slot names when its check
        // matches (its line asked for), else null. Likely the type sought:
        // Is tells; types never move, so the guess stays good while types
        // are added.
        // The probe sequence is followed as far as its slots' checks tell
        // (a few slots, mostly of one line): a type that lost its first slot
        // to another is still asked for ahead instead of being waited for.
        TWordlistKey* Guess(uint64_t hash, uint32_t& id) const
        {
            const uint32_t check = uint32_t(hash >> 32);
            std::size_t i = std::size_t(hash) & fMask;
            for (int probes = 0; probes < kGuessProbes; ++probes, i = (i + 1) & fMask) {
                const TSlot s = fSlots[i];
                if (s.id1 == 0)
                    return nullptr;
                if (s.check == check) {
                    id = s.id1 - 1;
                    TWordlistKey* k = &fBlocks[id >> kBlockShift][id & (kBlockTypes - 1)];
                    PrefetchLine(k);
                    return k;
                }
            }
            return nullptr;
        }
        void PrefetchType(uint64_t hash) const
        {
            uint32_t id;
            Guess(hash, id);
        }

    private:
        static constexpr int kGuessProbes = 8;
        const TSlot* fSlots;
        std::size_t fMask;
        const TTypeBlock* fBlocks;
        const TWordlistParentTree* fTree;
    };

    // Looking ahead: brings the hash's first slot into the cache; later the
    // type that slot names (when its check matches), without waiting for it.
    void PrefetchSlot(uint64_t hash) const { PrefetchLine(fSlots.data() + (std::size_t(hash) & fMask)); }
    void PrefetchType(uint64_t hash) const
    {
        if (fSlots.empty())
            return;
        const TSlot s = fSlots[std::size_t(hash) & fMask];
        if (s.id1 != 0 && s.check == uint32_t(hash >> 32))
            PrefetchLine(&Type(s.id1 - 1));
    }
    // And then the rest of its spelling, once the type is there.
    void PrefetchSpelling(uint64_t hash, int32_t length) const
    {
        if (length <= TWordlistKey::kPrefixUnits || fSlots.empty())
            return;
        const TSlot s = fSlots[std::size_t(hash) & fMask];
        if (s.id1 != 0 && s.check == uint32_t(hash >> 32))
            PrefetchLine(Spelling(Type(s.id1 - 1).textAt) + TWordlistKey::kPrefixUnits);
    }
    // Stores a new type (its text copied into the arena) and returns its id.
    uint32_t AddType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash, bool stop);
    // The hash a type was added with (while the index is kept).
    uint64_t HashOf(uint32_t id) const { return fHashes[id]; }

    int64_t Count() const { return fCount; }
    TWordlistKey& Type(uint32_t id) const { return fBlocks[id >> kBlockShift][id & (kBlockTypes - 1)]; }
    // The spelling of a type.
    std::u16string_view Text(uint32_t id) const
    {
        const TWordlistKey& k = Type(id);
        return {Spelling(k.textAt), k.length};
    }
    // Empties the tree.
    void Free();
    // Drops the hash index (the types, their counts and spellings stay):
    // once counting is over, a look-up is no longer possible, and the
    // memory goes back for what comes next.
    void FreeIndex();
    // Drops the types and the index, keeping the spellings where Text found
    // them (valid until Free): once what is needed of the types is taken,
    // their memory goes back for what is made of them. The tree then holds
    // no type.
    void FreeTypes();
    int64_t ArenaUnits() const { return fArenaUnits; }
    int64_t TableBytes() const;

    // Whether a type's spelling is `text` (padded with zeros to a multiple
    // of four units), its length being known to be `length`. The arena is
    // looked at only past the prefix: most tokens are short words.
    bool SameSpelling(const TWordlistKey& k, const char16_t* text, int32_t length) const
    {
        const int32_t inPrefix = std::min(length, TWordlistKey::kPrefixUnits);
        if (!SamePadded(k.prefix, text, inPrefix))
            return false;
        return length <= TWordlistKey::kPrefixUnits
            || SamePadded(Spelling(k.textAt) + TWordlistKey::kPrefixUnits, text + TWordlistKey::kPrefixUnits,
                          length - TWordlistKey::kPrefixUnits);
    }
    // Whether sixteen units are the same.
    static bool SameSixteen(const char16_t* a, const char16_t* b)
    {
#if defined(__SSE2__)
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8));
        return _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a0, b0), _mm_cmpeq_epi16(a1, b1))) == 0xFFFF;
#else
        return std::memcmp(a, b, 32) == 0;
#endif
    }
    // Whether two spellings of `length` units, each padded with zeros to a
    // multiple of four units, are the same.
    static bool SamePadded(const char16_t* a, const char16_t* b, int32_t length)
    {
        for (int32_t k = 0; k < length; k += 4) {
            uint64_t x, y;
            std::memcpy(&x, a + k, 8);
            std::memcpy(&y, b + k, 8);
            if (x != y)
                return false;
        }
        return true;
    }
    // Units a spelling of `length` units takes with its padding.
    static constexpr int32_t PaddedLength(int32_t length) { return (length + 3) & ~3; }

protected:
    // The id of the type the hash's probe sequence holds for which `same`
    // is true, or kNoType.
    template <typename TSame>
    uint32_t Probe(uint64_t hash, TSame same) const
    {
        if (fSlots.empty())
            RebuildIndex(1024);
        const uint32_t check = uint32_t(hash >> 32);
        for (std::size_t i = std::size_t(hash) & fMask;; i = (i + 1) & fMask) {
            const TSlot s = fSlots[i];
            if (s.id1 == 0)
                return kNoType;
            if (s.check == check && same(Type(s.id1 - 1)))
                return s.id1 - 1;
        }
    }

    // A new type went in.
    virtual void Do_Added_One(uint32_t id) {}
    // Stores a new type (its text copied into the arena) without a look at
    // the index or its hash kept, and returns its id.
    uint32_t StoreType(const char16_t* text, int32_t length, uint16_t tag, bool stop);

private:
    static constexpr int kBlockShift = 14;
    static constexpr int32_t kArenaSpare = 12;
    static constexpr uint32_t kBlockTypes = 1u << kBlockShift;

    void Grow();
    // Slots the index keeps for `types` types (at least; it grows by
    // doubling, so the share of slots taken swings between a bound and its
    // half). While the index is small enough to stay in the caches, a
    // quarter of the slots are taken at most: most words are then found at
    // their first slot, where at half runs of taken slots make searches go
    // on to the next slots often enough to show in the time of counting
    // (sample corpus, 64,000 types: about 2 % of it). Beyond that every
    // slot read is a trip to memory anyway, and the larger index costs more
    // than the longer runs: half then, as the memory taken per type stays
    // small.
    static constexpr std::size_t kRoomyIndexSlots = std::size_t(1) << 20;
    static std::size_t SlotsFor(std::size_t types)
    {
        return types * 4 <= kRoomyIndexSlots ? types * 4 : types * 2;
    }
    void RebuildIndex(std::size_t size) const;
    const TSlot* IndexSlots() const
    {
        if (fSlots.empty())
            RebuildIndex(1024);
        return fSlots.data();
    }

    // The index (rebuilt on demand after FreeIndex).
    mutable std::vector<TSlot> fSlots;
    mutable std::size_t fMask = 0;
    std::vector<TTypeBlock> fBlocks;
    int64_t fCount = 0;
    // Every spelling, each padded with zeros to a multiple of four units, in
    // blocks that are never moved (a spelling never crosses a block's end,
    // and some spare units follow the last one); a type's textAt is the
    // block number and the place in it.
    static constexpr int kArenaShift = 17;
    static constexpr uint32_t kArenaBlockUnits = 1u << kArenaShift;
    const char16_t* Spelling(uint32_t textAt) const
    {
        return fArena[textAt >> kArenaShift].get() + (textAt & (kArenaBlockUnits - 1));
    }
    std::vector<std::unique_ptr<char16_t[]>> fArena;
    uint32_t fArenaUsed = kArenaBlockUnits; // in the last block (full: a new block first)
    int64_t fArenaUnits = 0;
    mutable std::vector<uint64_t> fHashes; // of each type, by id (for growing the index)
};

// Per type (by id), from the parts a run recorded: the dispersion value,
// Gries's DP normalised (DPnorm, see dispersion.h), and the number of
// texts it occurs in. Stop-list types get 0 for both.
struct TTypeSpread {
    std::vector<float> dispersion;
    std::vector<int32_t> texts;
};

// The parts of a run (its texts, or the tenths of a one-text run), and one
// type's frequency in one part, what the dispersion value is computed from,
// kept as 32-bit words: most as one word (the type id above, the frequency
// in the low byte: 1 to 254), the others as four (0xFFFFFFFF, the id, the
// frequency's low and high halves). In blocks of words (no large
// reallocation as they grow) of 1 MB: blocks of 8 MB, mostly unused in a
// run of a million words, pushed all the memory the run took after them
// into pages of their own.
class TPartRecords {
public:
    // A type's tokens in the part being recorded (the next one noted).
    void Put(uint32_t id, uint64_t count)
    {
        if (id < (1u << 24) && count < 0xFF) {
            PutWord((id << 8) | uint32_t(count));
            return;
        }
        PutWord(kLongRecord);
        PutWord(id);
        PutWord(uint32_t(count));
        PutWord(uint32_t(count >> 32));
    }
    // The records put since the last part noted are part `part`'s, of text
    // `text`, which has `words` running words (its size for the dispersion
    // value). Parts are numbered without gaps: a part skipped is an empty
    // one; a part noted again takes the records put since and more words.
    void NotePart(int32_t part, int32_t text, int64_t words);
    int32_t PartCount() const { return int32_t(fPartWords.size()); }
    int64_t PartWords(int32_t part) const { return fPartWords[std::size_t(part)]; }
    // The spread of `types` types, whose frequency over every part and
    // whether each is in the stop list `typeOf(id, freq, stop)` tells.
    template <typename TTypeOf>
    TTypeSpread Spread(std::size_t types, TTypeOf typeOf) const;
    // The counts of the types that become rows (rowOfId: the row of each
    // type id, TPartCounts::kNoRow for none; empty: each id its own row),
    // `rows` rows, kept as the list keeps them (part_counts.h).
    TPartCounts CountsOf(std::span<const uint32_t> rowOfId, std::size_t rows) const;
    int32_t PartText(int32_t part) const { return fPartText[std::size_t(part)]; }
    int64_t Bytes() const { return int64_t(fBlocks.size() * kBlockRecords * sizeof(uint32_t)); }
    // Drops the records (the parts' tokens stay).
    void FreeRecords();

private:
    // Calls f(id, part, count) for every record, in the order put.
    template <typename F>
    void ForEachRecord(F&& f) const;
    struct TAcc {
        double sum;
        double freq;
        int32_t lastText;
        int32_t texts : 31;
        int32_t stop : 1;
    };
    TTypeSpread SpreadOf(std::vector<TAcc>& acc) const;
    // Inline in the loops that write the records (the rare new block apart).
    __attribute__((always_inline)) void PutWord(uint32_t word)
    {
        if (fRecords % kBlockRecords == 0 && fRecords / kBlockRecords == fBlocks.size()) [[unlikely]]
            NewBlock();
        fBlocks[fRecords / kBlockRecords][fRecords % kBlockRecords] = word;
        ++fRecords;
    }
    void NewBlock();
    uint32_t Word(std::size_t at) const { return fBlocks[at / kBlockRecords][at % kBlockRecords]; }
    static constexpr uint32_t kLongRecord = 0xFFFFFFFFu;
    static constexpr std::size_t kBlockRecords = 1 << 18;
    std::vector<std::unique_ptr<uint32_t[]>> fBlocks;
    std::size_t fRecords = 0;        // words
    std::vector<uint64_t> fPartEnds; // words up to the end of each part
    std::vector<int64_t> fPartWords;
    std::vector<int32_t> fPartText;  // the text of each part
};

template <typename TTypeOf>
TTypeSpread TPartRecords::Spread(std::size_t types, TTypeOf typeOf) const
{
    // Every type starts as if it were in no part (sum of the shares, 1);
    // each part it is in replaces that part's share s by |v/f - s|. What a
    // record needs of its type is side by side in one small array (the
    // records name types in no order). The types are read once for it.
    std::vector<TAcc> acc(types);
    for (std::size_t id = 0; id < types; ++id) {
        uint64_t freq = 0;
        bool stop = false;
        typeOf(uint32_t(id), freq, stop);
        acc[id] = TAcc{1.0, double(freq), -1, 0, stop ? 1 : 0};
    }
    return SpreadOf(acc);
}

class TWordlistTree final : public TWordlistParentTree {
public:
    // Per-text counts the statistics take from the tree.
    struct TTextTypeCounts {
        int64_t types = 0;     // types of the list met in the text
        int64_t stopTypes = 0; // stop-list types met in it
    };

    TWordlistTree() = default;
    ~TWordlistTree() override;
    // A tree made elsewhere takes the place of this one (what a run was
    // told of it goes with it: KeepPartRecords).
    TWordlistTree(TWordlistTree&&) noexcept = default;
    TWordlistTree& operator=(TWordlistTree&&) noexcept = default;

    // Texts and parts are numbered from 0 in the order they are read; the
    // parts of a text follow one another. A text has one part, or ten when
    // the run is of one text.
    void BeginText(int32_t text);
    TTextTypeCounts EndText();
    void BeginPart(int32_t part);
    // Ends the current part; `words` is the number of its running words
    // (the part's size for the dispersion value: stop-list words and words
    // outside the length limits count, as in the index).
    void EndPart(int64_t words);

    // One token of type `id`. `sttrChunk` is the id of the current
    // standardised-TTR chunk; the result says whether the type is in the
    // stop list and whether it is new to that chunk.
    struct TCounted {
        bool stop;
        bool newInChunk;
    };
    TCounted CountToken(uint32_t id, int32_t sttrChunk)
    {
        TTokenCounter counter(*this);
        const TCounted counted = counter.Count(id, sttrChunk);
        counter.Commit();
        return counted;
    }
    // Counts many tokens in a row with the tree's running counts in locals
    // (registers): CountToken without a store to the tree per token. Commit
    // writes them back; a counter is made again after a new type or part.
    class TTokenCounter {
    public:
        explicit TTokenCounter(TWordlistTree& tree)
            : fTree(&tree), fPart(tree.fPart), fTextFirstPart(tree.fTextFirstPart), fTouched(tree.fTouched.data()),
              fTouchedCount(tree.fTouchedCount), fBaseCounts(tree.fTextCounts)
        {
        }
        TCounted Count(uint32_t id, int32_t sttrChunk) { return Count(fTree->Type(id), id, sttrChunk); }
        // The same for the type `type` of id `id`, at hand already. Inline in
        // the cutter's loop: left a call of its own, the registers it saves
        // and restores came to some twenty instructions a running word, as
        // many as its own work.
        __attribute__((always_inline)) TCounted Count(TWordlistKey& type, uint32_t id, int32_t sttrChunk)
        {
            // Without branches: whether this is the type's first token in the
            // part (and in the text) is as often yes as no in short texts.
            ++type.freq;
            const bool newInPart = type.lastPart != fPart;
            const bool newInText = type.lastPart < fTextFirstPart;
            const bool stop = type.Stop();
            fTouched[fTouchedCount] = id;
            fTouchedCount += newInPart;
            // 1 for a type new to the part, else one more.
            type.partCount = (type.partCount & (uint32_t(newInPart) - 1u)) + 1u;
            if (type.partCount == 0) [[unlikely]]
                fTree->fPartCountWraps.push_back(id);
            fNewInText += newInText;
            fStopNewInText += newInText & stop;
            type.lastPart = fPart;
            const bool fresh = type.lastSttrChunk != sttrChunk;
            type.lastSttrChunk = sttrChunk;
            return {stop, fresh};
        }
        void Commit()
        {
            fTree->fTouchedCount = fTouchedCount;
            fTree->fTextCounts = {fBaseCounts.types + int64_t(fNewInText - fStopNewInText),
                                  fBaseCounts.stopTypes + int64_t(fStopNewInText)};
        }

    private:
        TWordlistTree* fTree;
        int32_t fPart;
        int32_t fTextFirstPart;
        uint32_t* fTouched;
        std::size_t fTouchedCount;
        // The text's counts when the counter was made, and the types new
        // to the text since (stop-list ones among them; never more than
        // there are type ids).
        TTextTypeCounts fBaseCounts;
        uint32_t fNewInText = 0, fStopNewInText = 0;
    };

    // A type met in a part, with its tokens there.
    struct TPartType {
        uint32_t id;
        uint64_t count;
    };
    // A tree that counts texts for others (a reading thread's, whose texts
    // are added to the run's counts in slices of the vocabulary): at the
    // end of each part its types, stop-list ones too, go to the vector of
    // their slice in `bySlice` (2^sliceBits of them) in the order the part
    // first met them, instead of into the part's records (which this tree
    // then never has). A type's slice is the top `sliceBits` bits of its
    // hash (SliceOf); it is named there not by its id but by its number in
    // the slice, which counts the tree's types of that slice in the order
    // they were added, so that a slice can keep what it made of them in an
    // array of its own. Empty: records, as a run's tree keeps them. Set
    // before the first type.
    void HandPartTypesTo(std::span<std::vector<TPartType>> bySlice, int sliceBits);
    static constexpr int kMostSliceBits = 6;
    static uint32_t SliceOf(uint64_t hash, int sliceBits)
    {
        return sliceBits == 0 ? 0 : uint32_t(hash >> (64 - sliceBits));
    }
    // A type's slice and its number there in one word (what a tree handing
    // its parts over keeps in the type's sinkValue): the slice in the top
    // bits, the number below.
    static uint32_t SliceAndNumber(uint32_t slice, uint32_t number, int sliceBits)
    {
        return sliceBits == 0 ? number : (slice << (32 - sliceBits)) | number;
    }
    static uint32_t SliceOfNumbered(uint32_t sliceAndNumber, int sliceBits)
    {
        return sliceBits == 0 ? 0 : sliceAndNumber >> (32 - sliceBits);
    }
    static uint32_t NumberInSlice(uint32_t sliceAndNumber, int sliceBits)
    {
        return sliceBits == 0 ? sliceAndNumber : sliceAndNumber & ((uint32_t(1) << (32 - sliceBits)) - 1);
    }
    // A text counted elsewhere, as the run's next text and part: its types
    // (ids of this tree) in the order the text first met them, with their
    // counts in it, and the part's running words (as EndPart takes them).
    // The same frequencies and records as when its tokens are counted here
    // one by one. Without types, the part alone.
    void AddCountedText(int32_t text, int32_t part, int64_t words, std::span<const TPartType> types);
    // A type counted elsewhere, with its frequency over every part, added
    // after the others (its parts noted by AddCountedText without types).
    // The index is dropped (a look-up rebuilds it), and the tree counts no
    // more tokens: what it would need for that is not kept for such types.
    uint32_t AddCountedType(std::u16string_view spelling, uint16_t tag, bool stop, uint64_t freq);

    int32_t PartCount() const { return fParts.PartCount(); }
    int64_t PartWords(int32_t part) const { return fParts.PartWords(part); }
    // Per type (by id), from the parts recorded (TTypeSpread).
    using TSpread = TTypeSpread;
    TSpread ComputeSpread() const;
    // The spread of types counted elsewhere (AddCountedType), computed from
    // their parts where they were counted: ComputeSpread and TakeSpread
    // give it, as the tree keeps no records of those parts.
    void AdoptSpread(TSpread spread);
    // ComputeSpread, the adopted spread handed over rather than copied.
    TSpread TakeSpread();
    // The counts by part of the types that become a list's rows (rowOfId
    // as TPartRecords::CountsOf takes it), from the records, or from those
    // adopted for types counted elsewhere (AdoptPartCounts: a row per type
    // id). Before FreeCounting; null when no records were kept.
    std::unique_ptr<TPartCounts> TakePartCounts(std::span<const uint32_t> rowOfId, std::size_t rows);
    void AdoptPartCounts(std::unique_ptr<TPartCounts> byId) { fAdoptedCounts = std::move(byId); }
    // Bytes held by the per-part records.
    int64_t PartBytes() const;
    // Off: no per-part records are kept (a run whose spread nobody asks
    // for: the index of several texts counts its words itself), and the
    // spread is not known. Set before the first part.
    void KeepPartRecords(bool keep) { fKeepRecords = keep; }
    bool KeepsPartRecords() const { return fKeepRecords; }
    // Drops the per-part records and the index once the spread is computed
    // (no more tokens can be counted; the types and their totals stay).
    void FreeCounting();

protected:
    void Do_Added_One(uint32_t id) override;

private:
    void FlushTouched();
    void NotePart(int64_t words);
    // A touched type's tokens in the current part: its 32-bit count and
    // the wraps noted for it.
    uint64_t PartCount(uint32_t id) const;

    std::span<std::vector<TPartType>> fPartTypesOut;
    int fSliceBits = 0;
    std::vector<uint32_t> fSliceTypes; // types added per slice, when parts are handed over
    bool fCountedElsewhere = false;    // AddCountedType: no more tokens are counted here
    std::unique_ptr<TSpread> fAdoptedSpread;
    std::unique_ptr<TPartCounts> fAdoptedCounts;
    int32_t fText = -1;
    int32_t fPart = -1;
    int32_t fTextFirstPart = 0;
    TTextTypeCounts fTextCounts;
    std::vector<uint32_t> fTouched; // ids of the types met in the current part (room for every type)
    std::size_t fTouchedCount = 0;
    // The ids of types whose count in the current part passed 2^32 - 1,
    // once per wrap (nearly always empty).
    std::vector<uint32_t> fPartCountWraps;
    bool fKeepRecords = true;
    TPartRecords fParts;
};

} // namespace cv
