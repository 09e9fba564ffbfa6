#pragma once
// An open-addressed hash table from 64-bit keys to small records, for the
// counts of the index's analyses (pairs of types, clusters): one flat array
// of slots, linear probing, grown at half full. Far smaller and faster than
// a node-based map for tens of millions of keys.

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace cv {

inline uint64_t MixHash64(uint64_t x)
{
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    return x ^ (x >> 33);
}

template <typename V>
class TFlatMap64 {
public:
    explicit TFlatMap64(std::size_t expected = 1024)
    {
        std::size_t size = 1024;
        while (size < expected * 2)
            size *= 2;
        fSlots.assign(size, TSlot{});
        fMask = size - 1;
    }

    // The record of a key, made (value-initialised) when new.
    V& operator[](uint64_t key)
    {
        if ((fCount + 1) * 2 > fSlots.size())
            Grow();
        const uint64_t stored = key + 1;
        for (std::size_t i = std::size_t(MixHash64(key)) & fMask;; i = (i + 1) & fMask) {
            TSlot& s = fSlots[i];
            if (s.key == stored)
                return s.value;
            if (s.key == 0) {
                s.key = stored;
                s.value = V{};
                ++fCount;
                return s.value;
            }
        }
    }
    const V* Find(uint64_t key) const
    {
        const uint64_t stored = key + 1;
        for (std::size_t i = std::size_t(MixHash64(key)) & fMask;; i = (i + 1) & fMask) {
            const TSlot& s = fSlots[i];
            if (s.key == stored)
                return &s.value;
            if (s.key == 0)
                return nullptr;
        }
    }
    template <typename F>
    void ForEach(F&& f) const
    {
        for (const TSlot& s : fSlots)
            if (s.key != 0)
                f(s.key - 1, s.value);
    }
    std::size_t Size() const { return fCount; }
    std::size_t Bytes() const { return fSlots.size() * sizeof(TSlot); }

private:
    struct TSlot {
        uint64_t key = 0; // key + 1; 0 empty (the key ~0 cannot be stored)
        V value{};
    };
    void Grow()
    {
        std::vector<TSlot> old;
        old.swap(fSlots);
        fSlots.assign(old.size() * 2, TSlot{});
        fMask = fSlots.size() - 1;
        for (const TSlot& s : old) {
            if (s.key == 0)
                continue;
            std::size_t i = std::size_t(MixHash64(s.key - 1)) & fMask;
            while (fSlots[i].key != 0)
                i = (i + 1) & fMask;
            fSlots[i] = s;
        }
    }

    std::vector<TSlot> fSlots;
    std::size_t fMask = 0;
    std::size_t fCount = 0;
};

} // namespace cv
