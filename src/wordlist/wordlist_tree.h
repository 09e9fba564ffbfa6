#pragma once
// The word tree of one word-list run: every word type met, with its counts.
//
// Tokens are counted through a hash table of the types: the key of a token
// is a view of its folded spelling (in the cutter's scratch buffer) with a
// 64-bit hash computed while folding, so a type seen before is found in one
// or two probes and no string is made per token. A new type's spelling is
// copied once into the tree's arena. The types keep the order in which they
// were met; the alphabetical and frequency orders are built over the types
// once, at the end (TCVWordList), never per token. (The general tree of the
// data model, with its hash index, was the first home of these counts: its
// per-node compare calls and the balancing of a node for every new type
// cost several times the reading of the text, so the word tree keeps its
// own flat table of 64-byte types.)
//
// Besides frequencies the tree keeps what the run's statistics need without
// a second pass: per type the last text and the last part it was met in, so
// that the number of texts, the types of each text, the types of each
// standardised-TTR chunk and the per-part frequencies for the dispersion
// value are all counted as the tokens go by.

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace cv {

enum : uint8_t {
    kWordTypeStop = 1, // the type is in the stop list: counted, but kept out of the list
};

// One word type: 64 bytes, the fields a token touches, with the first
// eight units of the spelling kept in the type itself so that most words are
// recognised without a second look elsewhere in memory.
struct alignas(64) TWordlistKey {
    static constexpr int32_t kPrefixUnits = 8;

    char16_t prefix[kPrefixUnits] = {}; // first units of the spelling, zero padded
    const char16_t* text = nullptr;     // folded spelling, in the arena (padded as the prefix)
    int64_t freq = 0;
    int32_t length = 0;                 // UTF-16 units
    uint32_t id = 0;                    // 0-based, in the order the types were met
    int32_t texts = 0;                  // texts it was met in
    int32_t lastText = -1;
    int32_t lastPart = -1;
    int32_t lastSttrChunk = -1;
    uint32_t partCount = 0;             // tokens in its current part
    uint16_t tag = 0;                   // 1-based number of the listed tag it carries, 0 none
    uint8_t flags = 0;

    std::u16string_view Text() const { return {text, std::size_t(length)}; }
};
static_assert(sizeof(TWordlistKey) == 64);

// The hash of a folded spelling and its tag. Units go in four at a time
// (zero padded), as a cutter can feed them while it folds.
struct TWordHasher {
    static constexpr uint64_t kSeed = 0x9E3779B97F4A7C15ull;
    static uint64_t Round(uint64_t h, uint64_t fourUnits)
    {
        h = (h ^ fourUnits) * 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    }
    static uint64_t Finish(uint64_t h, int32_t length, uint16_t tag)
    {
        h ^= (uint64_t(uint32_t(length)) << 16) ^ tag;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    }
};
// The same hash of a spelling followed by zero units up to a multiple of four.
inline uint64_t HashPaddedWordlistKey(const char16_t* units, int32_t length, uint16_t tag)
{
    uint64_t h = TWordHasher::kSeed;
    for (int32_t k = 0; k < length; k += 4) {
        uint64_t x;
        std::memcpy(&x, units + k, 8);
        h = TWordHasher::Round(h, x);
    }
    return TWordHasher::Finish(h, length, tag);
}
// The same of any spelling.
uint64_t HashWordlistKey(const char16_t* units, int32_t length, uint16_t tag);

class TWordlistParentTree {
public:
    TWordlistParentTree();
    virtual ~TWordlistParentTree();
    TWordlistParentTree(const TWordlistParentTree&) = delete;
    TWordlistParentTree& operator=(const TWordlistParentTree&) = delete;

    // The type of this spelling and tag (hash as HashWordlistKey gives it),
    // or null. The text must be followed by zero units up to a multiple of
    // four (the arena keeps its copies so), so that spellings compare eight
    // bytes at a time.
    TWordlistKey* FindType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash) const
    {
        const uint32_t check = uint32_t(hash >> 32);
        for (std::size_t i = std::size_t(hash) & fMask;; i = (i + 1) & fMask) {
            const TSlot s = fSlots[i];
            if (s.id1 == 0)
                return nullptr;
            if (s.check != check)
                continue;
            TWordlistKey& k = Type(s.id1 - 1);
            if (k.length == length && k.tag == tag && SameSpelling(k, text, length))
                return &k;
        }
    }
    // Looking ahead: brings the hash's first slot into the cache; later the
    // type that slot names (when its check matches), without waiting for it.
    void PrefetchSlot(uint64_t hash) const { __builtin_prefetch(&fSlots[std::size_t(hash) & fMask]); }
    void PrefetchType(uint64_t hash) const
    {
        const TSlot s = fSlots[std::size_t(hash) & fMask];
        if (s.id1 != 0 && s.check == uint32_t(hash >> 32))
            __builtin_prefetch(&Type(s.id1 - 1));
    }
    // Whether a type's spelling is `text` (padded with zeros to a multiple
    // of four units), its length being known to be `length`.
    static bool SameSpelling(const TWordlistKey& k, const char16_t* text, int32_t length)
    {
        uint64_t a, b, c, d;
        std::memcpy(&a, k.prefix, 8);
        std::memcpy(&b, text, 8);
        if (a != b)
            return false;
        if (length <= 4)
            return true;
        std::memcpy(&c, k.prefix + 4, 8);
        std::memcpy(&d, text + 4, 8);
        if (c != d)
            return false;
        return length <= TWordlistKey::kPrefixUnits
            || SamePadded(k.text + TWordlistKey::kPrefixUnits, text + TWordlistKey::kPrefixUnits,
                          length - TWordlistKey::kPrefixUnits);
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

    // Stores a new type (its text copied into the arena) and returns it.
    TWordlistKey* AddType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash, uint8_t flags);

    int64_t Count() const { return fCount; }
    TWordlistKey& Type(uint32_t id) const { return fBlocks[id >> kBlockShift][id & (kBlockTypes - 1)]; }
    // Calls visit(type) for every type, in the order they were met.
    template <typename F>
    void ForEachType(F&& visit) const
    {
        for (uint32_t id = 0; id < uint32_t(fCount); ++id)
            visit(Type(id));
    }
    // Empties the tree.
    void Free();
    int64_t ArenaUnits() const { return fArenaUnits; }
    int64_t TableBytes() const;

protected:
    // A new type went in.
    virtual void Do_Added_One(TWordlistKey& added) {}

private:
    struct TSlot {
        uint32_t check; // high half of the hash
        uint32_t id1;   // type id + 1; 0 empty
    };
    static constexpr int kBlockShift = 16;
    static constexpr uint32_t kBlockTypes = 1u << kBlockShift;

    const char16_t* Intern(const char16_t* text, int32_t length);
    void Grow();

    std::vector<TSlot> fSlots;
    std::size_t fMask = 0;
    std::vector<std::unique_ptr<TWordlistKey[]>> fBlocks;
    int64_t fCount = 0;
    std::vector<std::unique_ptr<char16_t[]>> fArena;
    char16_t* fCurrentBlock = nullptr;
    std::size_t fArenaUsed = 0, fArenaCapacity = 0;
    int64_t fArenaUnits = 0;
};

// One type's frequency in one part of the run (a text, or a tenth of a
// one-text run): what the dispersion value is computed from.
struct TPartCount {
    uint32_t id;
    uint32_t count;
};

class TWordlistTree final : public TWordlistParentTree {
public:
    // Per-text counts the statistics take from the tree.
    struct TTextTypeCounts {
        int64_t types = 0;     // types of the list met in the text
        int64_t stopTypes = 0; // stop-list types met in it
    };

    TWordlistTree() = default;
    ~TWordlistTree() override;

    // Texts and parts are numbered from 0 in the order they are read. A part
    // never spans two texts; a text may have several parts.
    void BeginText(int32_t text);
    TTextTypeCounts EndText();
    void BeginPart(int32_t part);
    // Ends the current part; `tokens` is the number of its tokens that count
    // towards the list (the part's size for the dispersion value).
    void EndPart(int64_t tokens);

    // One token of the type. Returns the type's flags so that callers can
    // keep stop-list tokens apart. `sttrChunk` is the id of the current
    // standardised-TTR chunk; the result's second member says whether the
    // type is new to that chunk.
    struct TCounted {
        uint8_t flags;
        bool newInChunk;
    };
    TCounted CountToken(TWordlistKey& type, int32_t sttrChunk)
    {
        ++type.freq;
        if (type.lastText != fText) {
            type.lastText = fText;
            ++type.texts;
            if (type.flags & kWordTypeStop)
                ++fTextCounts.stopTypes;
            else
                ++fTextCounts.types;
        }
        if (type.lastPart != fPart) {
            type.lastPart = fPart;
            type.partCount = 0;
            fTouched.push_back(type.id);
        }
        ++type.partCount;
        const bool fresh = type.lastSttrChunk != sttrChunk;
        type.lastSttrChunk = sttrChunk;
        return {type.flags, fresh};
    }

    int32_t PartCount() const { return int32_t(fPartTokens.size()); }
    int64_t PartTokens(int32_t part) const { return fPartTokens[std::size_t(part)]; }
    // The dispersion value of every type (by id): Gries's DP normalised
    // (DPnorm, see dispersion.h) over the parts recorded. Stop-list types
    // and types of parts never ended get 0.
    std::vector<float> ComputeDispersions() const;
    // Bytes held by the per-part records.
    int64_t PartBytes() const;

private:
    void FlushTouched();

    int32_t fText = -1;
    int32_t fPart = -1;
    TTextTypeCounts fTextCounts;
    std::vector<uint32_t> fTouched; // ids of the types met in the current part
    // Per-part records in blocks (no large reallocation as they grow);
    // fPartEnds[p] is the number of records up to the end of part p.
    static constexpr std::size_t kBlockRecords = 1 << 20;
    std::vector<std::unique_ptr<TPartCount[]>> fBlocks;
    std::size_t fRecords = 0;
    std::vector<uint64_t> fPartEnds;
    std::vector<int64_t> fPartTokens;
};

} // namespace cv
