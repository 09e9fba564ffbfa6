#include "wordlist/alphabetical_order.h"

#include "textread/cpu_features.h"
#include "wordlist/parts_on_threads.h"

#include <QLocale>

#include <algorithm>
#include <deque>
#include <memory>
#include <numeric>

#if defined(CV_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace cv {

namespace {

// The alphabet of the fast road, in no particular order: the collator ranks it.
constexpr char16_t kAlphabet[] = u"-',.0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetSize = int(sizeof(kAlphabet) / sizeof(kAlphabet[0])) - 1;
// Beyond ASCII, the typographic apostrophe ("don’t"), as common in texts as
// the plain one: on the road too when the collator orders it so.
constexpr char16_t kTypographicApostrophe = 0x2019;
// The words of a cluster ("of the") stand apart by a space.
constexpr char16_t kSpace = u' ';
constexpr int kBitsPerChar = 6;
constexpr int kCharsPerKey = 64 / kBitsPerChar; // 10

inline QStringView View(std::u16string_view s) { return QStringView(s.data(), qsizetype(s.size())); }

} // namespace

QCollator MakeWordCollator(const QString& collationName)
{
    QCollator c{QLocale(collationName.isEmpty() ? QStringLiteral("en_GB") : collationName)};
    c.setCaseSensitivity(Qt::CaseSensitive);
    return c;
}

namespace {

// The digits a radix sort lays over the bits in which keys differ (the
// packed keys of short words end in zeros, frequencies begin with them):
// at most twelve bits each.
struct TDigits {
    int low = 0;    // the lowest bit in which keys differ
    int count = 0;  // 0: all keys are equal
    int bits = 0;
};

TDigits DigitsOf(uint64_t differ)
{
    if (differ == 0)
        return {};
    TDigits d;
    d.low = __builtin_ctzll(differ);
    const int span = 64 - __builtin_clzll(differ) - d.low;
    d.count = (span + 11) / 12;
    d.bits = (span + d.count - 1) / d.count;
    return d;
}

uint64_t DifferingBits(const TKeyedIndex* items, std::size_t n)
{
    uint64_t differ = 0;
    for (std::size_t i = 0; i < n; ++i)
        differ |= items[i].key ^ items[0].key;
    return differ;
}

// Stable LSD sort of items[0, n) on the digits, through `other` (n places).
void RadixSortRange(TKeyedIndex* items, std::size_t n, TKeyedIndex* other, const TDigits& digits)
{
    const std::size_t buckets = std::size_t(1) << digits.bits;
    const uint64_t mask = buckets - 1;
    // Counted for every digit in one pass.
    std::vector<uint32_t> counts(std::size_t(digits.count) * buckets, 0u);
    for (std::size_t i = 0; i < n; ++i)
        for (int d = 0; d < digits.count; ++d)
            ++counts[std::size_t(d) * buckets + ((items[i].key >> (digits.low + digits.bits * d)) & mask)];
    // The passes go back and forth between the items and a buffer that is
    // never cleared (every place is written before it is read).
    TKeyedIndex* from = items;
    TKeyedIndex* to = other;
    for (int d = 0; d < digits.count; ++d) {
        uint32_t* c = counts.data() + std::size_t(d) * buckets;
        const int shift = digits.low + digits.bits * d;
        // A digit all keys share leaves the order as it is.
        if (c[(from[0].key >> shift) & mask] == n)
            continue;
        uint32_t sum = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            const uint32_t k = c[b];
            c[b] = sum;
            sum += k;
        }
        for (std::size_t i = 0; i < n; ++i)
            to[c[(from[i].key >> shift) & mask]++] = from[i];
        std::swap(from, to);
    }
    if (from != items)
        std::copy(from, from + n, items);
}

} // namespace

void RadixSortByKey(std::vector<TKeyedIndex>& items, std::size_t parts)
{
    const std::size_t n = items.size();
    if (n < 1024) {
        std::stable_sort(items.begin(), items.end(), [](const TKeyedIndex& a, const TKeyedIndex& b) { return a.key < b.key; });
        return;
    }
    const TDigits digits = DigitsOf(DifferingBits(items.data(), n));
    if (digits.count == 0)
        return;
    auto other = std::make_unique_for_overwrite<TKeyedIndex[]>(n);
    if (parts <= 1 || digits.count < 2) {
        RadixSortRange(items.data(), n, other.get(), digits);
        return;
    }
    // On several threads: the items are first put in groups by their top
    // digit (in their order within each, as a pass of the sort would), a
    // run of top digits to a group, groups of about equal size; each group
    // is then sorted on its own. The keys of one group all sort before
    // those of the next, so the groups sorted are the items sorted, in the
    // order the sort on one thread gives.
    const int topShift = digits.low + digits.bits * (digits.count - 1);
    const std::size_t buckets = std::size_t(1) << digits.bits;
    const uint64_t mask = buckets - 1;
    auto topDigit = [&](const TKeyedIndex& it) { return std::size_t((it.key >> topShift) & mask); };
    // The top digits of each part of the items counted side by side, then
    // each part's items put in their places side by side: part p's after
    // those of the parts before it in every top digit.
    std::vector<uint32_t> at(parts * buckets, 0u); // part p's count of top digit b at p * buckets + b, then its next place
    RunRangesOnThreads(n, parts, 1, [&](std::size_t p, std::size_t first, std::size_t last) {
        uint32_t* c = at.data() + p * buckets;
        for (std::size_t i = first; i < last; ++i)
            ++c[topDigit(items[i])];
    });
    std::vector<std::size_t> groupStart{0};
    uint32_t sum = 0;
    for (std::size_t b = 0; b < buckets; ++b) {
        for (std::size_t p = 0; p < parts; ++p) {
            const uint32_t k = at[p * buckets + b];
            at[p * buckets + b] = sum;
            sum += k;
        }
        // A group ends where the items so far pass its share of them.
        if (sum >= n * groupStart.size() / parts && groupStart.back() != sum && groupStart.size() < parts)
            groupStart.push_back(sum);
    }
    if (groupStart.back() != n)
        groupStart.push_back(n);
    RunRangesOnThreads(n, parts, 1, [&](std::size_t p, std::size_t first, std::size_t last) {
        uint32_t* c = at.data() + p * buckets;
        for (std::size_t i = first; i < last; ++i)
            other[c[topDigit(items[i])]++] = items[i];
    });
    RunPartsOnThreads(groupStart.size() - 1, [&](std::size_t g) {
        const std::size_t first = groupStart[g];
        const std::size_t m = groupStart[g + 1] - first;
        // The group's items back in their places, sorted on the digits in which they differ.
        std::copy(other.get() + first, other.get() + first + m, items.data() + first);
        const TDigits own = DigitsOf(DifferingBits(items.data() + first, m));
        if (own.count > 0)
            RadixSortRange(items.data() + first, m, other.get() + first, own);
    });
}

TAlphabeticalOrderer::TAlphabeticalOrderer(const QString& collationName) : fCollator(MakeWordCollator(collationName))
{
    fFast = CheckFastRoad();
    fWideKeysPossible = ProcessorHasAvx512Vbmi();
    fWideKeys = fWideKeysPossible;
}

bool TAlphabeticalOrderer::CheckFastRoad()
{
    // With the space between the words of a cluster and the typographic
    // apostrophe when the collator orders them character by character too,
    // else without.
    for (const bool space : {true, false})
        for (const bool apostrophe : {true, false}) {
            std::vector<char16_t> chars(kAlphabet, kAlphabet + kAlphabetSize);
            if (space)
                chars.push_back(kSpace);
            if (apostrophe)
                chars.push_back(kTypographicApostrophe);
            if (CheckAlphabet(chars))
                return true;
        }
    return false;
}

bool TAlphabeticalOrderer::CheckAlphabet(std::vector<char16_t> chars)
{
    fRank.fill(0);
    fApostropheRank = 0;
    // The alphabet in the collator's order, each character strictly after the one before.
    auto cmp = [&](std::u16string_view a, std::u16string_view b) { return fCollator.compare(View(a), View(b)); };
    std::stable_sort(chars.begin(), chars.end(), [&](char16_t a, char16_t b) {
        return cmp(std::u16string_view(&a, 1), std::u16string_view(&b, 1)) < 0;
    });
    for (std::size_t k = 1; k < chars.size(); ++k)
        if (cmp(std::u16string_view(&chars[k - 1], 1), std::u16string_view(&chars[k], 1)) >= 0)
            return false;

    // Every string of one and two characters, in rank order, must be in the collator's order too.
    std::vector<std::u16string> probes;
    probes.reserve(chars.size() * (chars.size() + 1));
    for (char16_t a : chars) {
        probes.emplace_back(1, a);
        for (char16_t b : chars)
            probes.push_back(std::u16string{a, b});
    }
    // Built in rank order already: "a" before "a-" before "aa" ...
    for (std::size_t k = 1; k < probes.size(); ++k)
        if (cmp(probes[k - 1], probes[k]) >= 0)
            return false;
    for (std::size_t k = 0; k < chars.size(); ++k) {
        if (chars[k] == kTypographicApostrophe)
            fApostropheRank = uint8_t(k + 1);
        else
            fRank[chars[k]] = uint8_t(k + 1);
    }
    return true;
}

bool TAlphabeticalOrderer::OnFastRoad(std::u16string_view word) const
{
    if (!fFast || word.empty())
        return false;
    for (char16_t c : word)
        if (RankOf(c) == 0)
            return false;
    return true;
}

uint64_t TAlphabeticalOrderer::PackedKey(std::u16string_view word) const
{
    uint64_t key = 0;
    const std::size_t n = std::min<std::size_t>(word.size(), kCharsPerKey);
    for (std::size_t k = 0; k < n; ++k)
        key |= uint64_t(RankOf(word[k])) << (64 - kBitsPerChar * int(k + 1));
    return key;
}

int TAlphabeticalOrderer::RankCompare(std::u16string_view a, std::u16string_view b, std::size_t from) const
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = from; k < n; ++k)
        if (a[k] != b[k])
            return RankOf(a[k]) < RankOf(b[k]) ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int TAlphabeticalOrderer::Compare(std::u16string_view a, std::u16string_view b) const
{
    return fCollator.compare(View(a), View(b));
}

std::size_t TAlphabeticalOrderer::PlaceAmongFast(const TWordSource& words, std::span<const TKeyedIndex> fast,
                                                 std::size_t from, std::u16string_view w) const
{
    // The first fast word (from `from` on) that w sorts before, by the
    // collator: a binary search with a collator call at each step. A word
    // of the general road most often begins with characters of the
    // alphabet ("café"), and the fast words that begin with the same ones
    // lie together, found by their keys alone: the search is made among
    // them, and its answer is accepted when the fast words on either side
    // of the place confirm it (the fast words are in the collator's order,
    // so that is the place the whole search finds); else the whole search.
    std::u16string scratch;
    auto before = [&](std::u16string_view x, const TKeyedIndex& y) { return Compare(x, words(y.index, scratch)) < 0; };
    const auto begin = fast.begin() + std::ptrdiff_t(from);
    // Its first characters of the alphabet (as many as a key holds).
    std::size_t p = 0;
    while (p < w.size() && p < std::size_t(kCharsPerKey) && RankOf(w[p]) != 0)
        ++p;
    if (p > 0) {
        const uint64_t prefixKey = PackedKey(w.substr(0, p));
        const uint64_t rest = ~uint64_t(0) >> (kBitsPerChar * int(p));
        const auto lo = std::lower_bound(begin, fast.end(), prefixKey,
                                         [](const TKeyedIndex& x, uint64_t key) { return x.key < key; });
        const auto hi = std::upper_bound(lo, fast.end(), prefixKey | rest,
                                         [](uint64_t key, const TKeyedIndex& x) { return key < x.key; });
        const auto it = std::upper_bound(lo, hi, w, before);
        if ((it != lo || lo == begin || !before(w, *(lo - 1))) && (it != hi || hi == fast.end() || before(w, *hi)))
            return std::size_t(it - fast.begin());
    }
    return std::size_t(std::upper_bound(begin, fast.end(), w, before) - fast.begin());
}

void TAlphabeticalOrderer::SortKeys(std::span<const std::u16string_view> words, uint32_t first,
                                    std::vector<TKeyedIndex>& fast, std::vector<uint32_t>& slow) const
{
    for (uint32_t i = 0; i < words.size(); ++i) {
        // The key and the test of the alphabet in one pass over the word.
        // Its first characters (those of the key) are taken in a fixed
        // number of steps without a branch: a loop that ends with the word
        // ends at a place no branch predictor can guess, which costs more
        // than the steps (a place past the end reads the last character
        // again and counts as none).
        const std::u16string_view w = words[i];
        const std::size_t n = w.size();
        if (n == 0) {
            slow.push_back(first + i);
            continue;
        }
        uint64_t key = 0;
        unsigned outside = 0;
#pragma GCC unroll 10
        for (std::size_t k = 0; k < std::size_t(kCharsPerKey); ++k) {
            const unsigned in = 0u - unsigned(k < n); // all ones for a character of the word
            const unsigned rank = RankOf(w[std::min(k, n - 1)]) & in;
            outside |= unsigned(rank == 0) & in;
            key |= uint64_t(rank) << (64 - kBitsPerChar * int(k + 1));
        }
        for (std::size_t k = kCharsPerKey; k < n; ++k)
            outside |= unsigned(RankOf(w[k]) == 0);
        if (!outside)
            fast.push_back({key, first + i});
        else
            slow.push_back(first + i);
    }
}

#if defined(CV_AVX2_PATHS)
// The same, sixteen characters of a word at once: their ranks looked up in
// the table of 128 at once (a byte permute over two 64-byte registers), and
// the key's ten ranks of six bits gathered by a bit extract.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2"))) void TAlphabeticalOrderer::SortKeysWide(
    std::span<const std::u16string_view> words, uint32_t first, std::vector<TKeyedIndex>& fast,
    std::vector<uint32_t>& slow) const
{
    static_assert(kBitsPerChar == 6 && kCharsPerKey == 10, "the ranks are gathered as ten fields of six bits");
    const __m512i ranksLow = _mm512_loadu_si512(fRank.data());
    const __m512i ranksHigh = _mm512_loadu_si512(fRank.data() + 64);
    const __m256i ascii = _mm256_set1_epi16(128);
    const __m256i apostrophe = _mm256_set1_epi16(int16_t(kTypographicApostrophe));
    const __m128i apostropheRank = _mm_set1_epi8(char(fApostropheRank));
    for (uint32_t i = 0; i < words.size(); ++i) {
        const std::u16string_view w = words[i];
        const std::size_t n = w.size();
        // Lanes past the word are not read (a masked load does not touch
        // them) and hold 0, whose rank is 0.
        const __mmask16 in = n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1u);
        const __m256i units = _mm256_maskz_loadu_epi16(in, w.data());
        // The permute takes a unit's low seven bits: only units below 128
        // keep the rank it finds; U+2019 gets its own (0 when it is not in
        // the alphabet); every other unit 0. (The masked forms of the
        // narrowing and the extract, with every lane taken: the plain ones
        // trip a false warning of GCC 12 in its own header.)
        const __m512i low = _mm512_zextsi128_si512(_mm256_maskz_cvtepi16_epi8(__mmask16(0xFFFF), units));
        __m128i rank = _mm512_maskz_extracti32x4_epi32(__mmask8(0xF), _mm512_permutex2var_epi8(ranksLow, low, ranksHigh), 0);
        rank = _mm_maskz_mov_epi8(_mm256_cmplt_epu16_mask(units, ascii), rank);
        rank = _mm_mask_mov_epi8(rank, _mm256_cmpeq_epi16_mask(units, apostrophe), apostropheRank);
        unsigned outside = unsigned(n == 0) | _mm_mask_cmpeq_epi8_mask(in, rank, _mm_setzero_si128());
        for (std::size_t k = 16; k < n; ++k)
            outside |= unsigned(RankOf(w[k]) == 0);
        if (outside) {
            slow.push_back(first + i);
            continue;
        }
        // Ranks 0-7 as the bytes of a word, the first the highest: their six
        // bits each at the top of the key; ranks 8 and 9 below them.
        const uint64_t first8 = __builtin_bswap64(uint64_t(_mm_cvtsi128_si64(rank)));
        const uint64_t next2 = uint64_t(_mm_extract_epi16(rank, 4));
        const uint64_t key = (_pext_u64(first8, 0x3F3F3F3F3F3F3F3Full) << 16) | ((next2 & 0x3F) << 10)
                           | (((next2 >> 8) & 0x3F) << 4);
        fast.push_back({key, first + i});
    }
}
#else
void TAlphabeticalOrderer::SortKeysWide(std::span<const std::u16string_view> words, uint32_t first,
                                        std::vector<TKeyedIndex>& fast, std::vector<uint32_t>& slow) const
{
    SortKeys(words, first, fast, slow);
}
#endif

std::vector<uint32_t> TAlphabeticalOrderer::Order(std::span<const std::u16string_view> words) const
{
    return OrderOf(words.size(), words, [&](std::size_t i, std::u16string&) { return words[i]; });
}

std::vector<uint32_t> TAlphabeticalOrderer::Order(std::size_t n, const TWordSource& source) const
{
    return OrderOf(n, {}, source);
}

std::vector<uint32_t> TAlphabeticalOrderer::OrderOf(std::size_t n, std::span<const std::u16string_view> words,
                                                    const TWordSource& source) const
{
    std::vector<TKeyedIndex> fast;
    std::vector<uint32_t> slow;
    if (!fFast) {
        slow.resize(n);
        std::iota(slow.begin(), slow.end(), 0u);
    } else {
        fast.reserve(n);
        // The words a chunk at a time: those held are taken as they are,
        // those handed out are made into the chunk's strings first.
        constexpr std::size_t kChunk = 4096;
        std::vector<std::u16string> made(words.empty() ? std::min(n, kChunk) : 0);
        std::vector<std::u16string_view> chunk;
        for (std::size_t first = 0; first < n; first += kChunk) {
            const std::size_t m = std::min(kChunk, n - first);
            std::span<const std::u16string_view> part;
            if (!words.empty()) {
                part = words.subspan(first, m);
            } else {
                chunk.resize(m);
                for (std::size_t k = 0; k < m; ++k)
                    chunk[k] = source(first + k, made[k]);
                part = chunk;
            }
            if (fWideKeys)
                SortKeysWide(part, uint32_t(first), fast, slow);
            else
                SortKeys(part, uint32_t(first), fast, slow);
        }
    }
    RadixSortByKey(fast, fParts);
    // Words that share their first ten characters: by the rest. Such runs
    // are short (a few words): sorted by insertion, which keeps equal words
    // in their order, as the stable sort of a long run does.
    std::u16string left, right;
    auto tailLess = [&](const TKeyedIndex& x, const TKeyedIndex& y) {
        const std::u16string_view a = source(x.index, left);
        return RankCompare(a, source(y.index, right), kCharsPerKey) < 0;
    };
    constexpr std::size_t kShortRun = 16;
    for (std::size_t a = 0; a < fast.size();) {
        std::size_t b = a + 1;
        while (b < fast.size() && fast[b].key == fast[a].key)
            ++b;
        if (b - a > kShortRun) {
            std::stable_sort(fast.begin() + std::ptrdiff_t(a), fast.begin() + std::ptrdiff_t(b), tailLess);
        } else {
            for (std::size_t i = a + 1; i < b; ++i) {
                const TKeyedIndex v = fast[i];
                std::size_t j = i;
                for (; j > a && tailLess(v, fast[j - 1]); --j)
                    fast[j] = fast[j - 1];
                fast[j] = v;
            }
        }
        a = b;
    }

    std::vector<uint32_t> out;
    out.reserve(n);
    if (slow.empty()) {
        for (const TKeyedIndex& f : fast)
            out.push_back(f.index);
        return out;
    }
    // The words of the general road, kept while they are ordered (a deque:
    // a word's place never moves).
    std::deque<std::u16string> kept;
    std::vector<std::u16string_view> slowWords;
    slowWords.reserve(slow.size());
    for (uint32_t i : slow) {
        std::u16string scratch;
        const std::u16string_view w = source(i, scratch);
        if (words.empty()) {
            kept.push_back(std::u16string(w));
            slowWords.push_back(kept.back());
        } else {
            slowWords.push_back(w);
        }
    }
    {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(slow.size());
        for (const std::u16string_view w : slowWords)
            keys.push_back(fCollator.sortKey(View(w).toString()));
        std::vector<uint32_t> order(slow.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return keys[x].compare(keys[y]) < 0; });
        std::vector<uint32_t> sortedSlow;
        std::vector<std::u16string_view> sortedWords;
        sortedSlow.reserve(slow.size());
        sortedWords.reserve(slow.size());
        for (uint32_t k : order) {
            sortedSlow.push_back(slow[k]);
            sortedWords.push_back(slowWords[k]);
        }
        slow.swap(sortedSlow);
        slowWords.swap(sortedWords);
    }
    // Merge: each word of the general road goes after every fast word not after it.
    std::size_t f = 0;
    for (std::size_t k = 0; k < slow.size(); ++k) {
        const std::size_t upto = PlaceAmongFast(source, fast, f, slowWords[k]);
        for (; f < upto; ++f)
            out.push_back(fast[f].index);
        out.push_back(slow[k]);
    }
    for (; f < fast.size(); ++f)
        out.push_back(fast[f].index);
    return out;
}

} // namespace cv
