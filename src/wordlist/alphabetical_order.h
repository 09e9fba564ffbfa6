#pragma once
// The alphabetical order of many words under the collation of a language
// (ICU through QCollator), without a collator call per comparison.
//
// Most word types of most corpora are made of a small alphabet: lower-case
// a-z, digits, and the apostrophes (plain and typographic), hyphen, full
// stop and comma that stay inside words, and the space between the words of
// a cluster. When the collation orders that alphabet character by
// character (no contractions, every character its own primary weight, as in
// English and most languages), those words sort by a packed 64-bit key of
// their characters' ranks, with a radix sort. The ranks are taken from the
// collator itself, and the order is accepted only after checking it against
// the collator on every string of one and two characters of the alphabet;
// otherwise every word takes the general road.
//
// The general road is a precomputed collator sort key per word. The words of
// both roads are then merged with the collator, each word of the general
// road placed by a binary search among the others, so the result is the
// collator's order throughout. Words the collator finds equal keep the
// order they came in (the fast road's before the general road's).

#include <QCollator>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace cv {

// A key and what it stands for (an index), as RadixSortByKey sorts them.
struct TKeyedIndex {
    uint64_t key;
    uint32_t index;
};

// The collator the result lists sort with: the locale named (en_GB), case-sensitive.
QCollator MakeWordCollator(const QString& collationName);

class TAlphabeticalOrderer {
public:
    explicit TAlphabeticalOrderer(const QString& collationName);

    // The order in which the words sort: indexes into `words`.
    std::vector<uint32_t> Order(std::span<const std::u16string_view> words) const;
    // Word i of words made as they are asked for: a view of `scratch` after
    // the source has written the word there (or of the word where it lies).
    using TWordSource = std::function<std::u16string_view(std::size_t i, std::u16string& scratch)>;
    // The same order of n such words (the clusters of an index: millions,
    // never all made at once): each is asked for to make its key, and again
    // only to tell it from words of the same first characters. Words off the
    // fast road are kept while they are ordered.
    std::vector<uint32_t> Order(std::size_t n, const TWordSource& source) const;
    // The collator's comparison.
    int Compare(std::u16string_view a, std::u16string_view b) const;
    // Whether the packed-key road is open for this collation.
    bool FastRoad() const { return fFast; }
    // Whether a word can take it.
    bool OnFastRoad(std::u16string_view word) const;
    // Whether the keys are made sixteen characters at a time (on processors
    // with the AVX-512 byte permutes; the default there). Either way they
    // are the same keys; off for tests of the other way.
    void SetWideKeys(bool on) { fWideKeys = on && fWideKeysPossible; }
    // Threads the ordering may take (the order is the same on any number).
    void SetThreads(std::size_t threads) { fParts = std::max<std::size_t>(1, threads); }

private:
    bool CheckFastRoad();
    bool CheckAlphabet(std::vector<char16_t> chars);
    // 1-based rank of a character of the alphabet, 0 for any other.
    unsigned RankOf(char16_t c) const { return c < 128 ? fRank[c] : (c == 0x2019 ? fApostropheRank : 0u); }
    uint64_t PackedKey(std::u16string_view word) const;
    // The keys of the words on the fast road into `fast`, the others'
    // indexes into `slow`; words[k] is word first + k.
    void SortKeys(std::span<const std::u16string_view> words, uint32_t first, std::vector<TKeyedIndex>& fast,
                  std::vector<uint32_t>& slow) const;
    void SortKeysWide(std::span<const std::u16string_view> words, uint32_t first, std::vector<TKeyedIndex>& fast,
                      std::vector<uint32_t>& slow) const;
    // The order of n words, `words` holding them all or (empty) `source` handing them out.
    std::vector<uint32_t> OrderOf(std::size_t n, std::span<const std::u16string_view> words,
                                  const TWordSource& source) const;
    // Lexicographic by rank from character `from` on.
    int RankCompare(std::u16string_view a, std::u16string_view b, std::size_t from) const;
    // Where a word of the general road goes among the fast words (sorted,
    // indexes into `words`), from place `from` on: the first that it sorts
    // before by the collator.
    std::size_t PlaceAmongFast(const TWordSource& words, std::span<const TKeyedIndex> fast, std::size_t from,
                               std::u16string_view w) const;

    QCollator fCollator;
    bool fFast = false;
    std::array<uint8_t, 128> fRank{}; // 0: not in the alphabet
    uint8_t fApostropheRank = 0;      // of the typographic apostrophe U+2019, 0 when it is not in it
    bool fWideKeysPossible = false;
    bool fWideKeys = false;
    std::size_t fParts = 1;
};

// Stable LSD radix sort of (key, index) pairs by key, in up to `parts`
// parts side by side (the same order whatever their number).
void RadixSortByKey(std::vector<TKeyedIndex>& items, std::size_t parts = 1);

} // namespace cv
