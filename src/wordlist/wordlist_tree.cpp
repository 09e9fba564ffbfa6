#include "wordlist/wordlist_tree.h"

#include "wordlist/dispersion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace cv {

namespace {

constexpr std::size_t kArenaBlockUnits = std::size_t(1) << 20;

} // namespace

uint64_t HashWordlistKey(const char16_t* units, int32_t length, uint16_t tag)
{
    std::vector<char16_t> padded(std::size_t(TWordlistParentTree::PaddedLength(length)) + 4, 0);
    std::memcpy(padded.data(), units, std::size_t(length) * 2);
    return HashPaddedWordlistKey(padded.data(), length, tag);
}

// ---------------------------------------------------------------------------

TWordlistParentTree::TWordlistParentTree()
{
    fSlots.assign(1024, TSlot{0, 0});
    fMask = fSlots.size() - 1;
}

TWordlistParentTree::~TWordlistParentTree() = default;

void TWordlistParentTree::Free()
{
    fSlots.assign(1024, TSlot{0, 0});
    fMask = fSlots.size() - 1;
    fBlocks.clear();
    fCount = 0;
    fArena.clear();
    fCurrentBlock = nullptr;
    fArenaUsed = fArenaCapacity = 0;
    fArenaUnits = 0;
}

int64_t TWordlistParentTree::TableBytes() const
{
    return int64_t(fSlots.size() * sizeof(TSlot) + fBlocks.size() * kBlockTypes * sizeof(TWordlistKey));
}

const char16_t* TWordlistParentTree::Intern(const char16_t* text, int32_t length)
{
    const std::size_t n = std::size_t(std::max(length, 0));
    // Copies are padded with zeros to a multiple of four units (SamePadded).
    const std::size_t room = std::size_t(PaddedLength(int32_t(n)));
    fArenaUnits += int64_t(room);
    char16_t* p;
    if (room > kArenaBlockUnits / 4) {
        // A very long word gets a block of its own, so that blocks are not wasted.
        fArena.push_back(std::make_unique_for_overwrite<char16_t[]>(room));
        p = fArena.back().get();
    } else {
        if (!fCurrentBlock || fArenaCapacity - fArenaUsed < room) {
            fArena.push_back(std::make_unique_for_overwrite<char16_t[]>(kArenaBlockUnits));
            fCurrentBlock = fArena.back().get();
            fArenaUsed = 0;
            fArenaCapacity = kArenaBlockUnits;
        }
        p = fCurrentBlock + fArenaUsed;
        fArenaUsed += room;
    }
    std::memcpy(p, text, n * 2);
    std::fill(p + n, p + room, char16_t(0));
    return p;
}

void TWordlistParentTree::Grow()
{
    std::vector<TSlot> old = std::move(fSlots);
    fSlots.assign(old.size() * 2, TSlot{0, 0});
    fMask = fSlots.size() - 1;
    for (const TSlot& s : old) {
        if (s.id1 == 0)
            continue;
        const TWordlistKey& k = Type(s.id1 - 1);
        std::size_t i = std::size_t(HashPaddedWordlistKey(k.text, k.length, k.tag)) & fMask;
        while (fSlots[i].id1 != 0)
            i = (i + 1) & fMask;
        fSlots[i] = s;
    }
}

TWordlistKey* TWordlistParentTree::AddType(const char16_t* text, int32_t length, uint16_t tag, uint64_t hash,
                                           uint8_t flags)
{
    if (std::size_t(fCount + 1) * 2 > fSlots.size())
        Grow();
    const auto id = uint32_t(fCount);
    if ((id & (kBlockTypes - 1)) == 0)
        fBlocks.push_back(std::make_unique<TWordlistKey[]>(kBlockTypes));
    TWordlistKey& k = Type(id);
    k.text = Intern(text, length);
    std::memcpy(k.prefix, k.text, std::size_t(std::min(PaddedLength(length), TWordlistKey::kPrefixUnits)) * 2);
    k.length = length;
    k.tag = tag;
    k.flags = flags;
    k.id = id;
    std::size_t i = std::size_t(hash) & fMask;
    while (fSlots[i].id1 != 0)
        i = (i + 1) & fMask;
    fSlots[i] = TSlot{uint32_t(hash >> 32), id + 1};
    ++fCount;
    Do_Added_One(k);
    return &k;
}

// ---------------------------------------------------------------------------

TWordlistTree::~TWordlistTree() = default;

void TWordlistTree::BeginText(int32_t text)
{
    fText = text;
    fTextCounts = {};
}

TWordlistTree::TTextTypeCounts TWordlistTree::EndText()
{
    return fTextCounts;
}

void TWordlistTree::BeginPart(int32_t part)
{
    fPart = part;
    fTouched.clear();
}

void TWordlistTree::FlushTouched()
{
    for (uint32_t id : fTouched) {
        const TWordlistKey* k = &Type(id);
        if (k->flags & kWordTypeStop)
            continue;
        const int64_t v = k->partCount;
        if (v <= 0)
            continue;
        if (fRecords % kBlockRecords == 0 && fRecords / kBlockRecords == fBlocks.size())
            fBlocks.push_back(std::make_unique_for_overwrite<TPartCount[]>(kBlockRecords));
        fBlocks[fRecords / kBlockRecords][fRecords % kBlockRecords] =
            TPartCount{k->id, uint32_t(std::min<int64_t>(v, std::numeric_limits<uint32_t>::max()))};
        ++fRecords;
    }
    fTouched.clear();
}

void TWordlistTree::EndPart(int64_t tokens)
{
    if (fPart < 0)
        return;
    FlushTouched();
    // Parts are numbered without gaps; a part id the run skipped is an empty part.
    while (int32_t(fPartTokens.size()) < fPart) {
        fPartTokens.push_back(0);
        fPartEnds.push_back(fRecords);
    }
    if (int32_t(fPartTokens.size()) == fPart) {
        fPartTokens.push_back(tokens);
        fPartEnds.push_back(fRecords);
    } else {
        fPartTokens[std::size_t(fPart)] += tokens;
        fPartEnds[std::size_t(fPart)] = fRecords;
    }
    fPart = -1;
}

int64_t TWordlistTree::PartBytes() const
{
    return int64_t(fBlocks.size() * kBlockRecords * sizeof(TPartCount));
}

std::vector<float> TWordlistTree::ComputeDispersions() const
{
    const auto nTypes = std::size_t(Count());
    std::vector<float> out(nTypes, 0.0f);
    int64_t total = 0;
    for (int64_t t : fPartTokens)
        total += t;
    if (total <= 0)
        return out;
    double smallest = 1.0;
    for (int64_t t : fPartTokens)
        if (t > 0)
            smallest = std::min(smallest, double(t) / double(total));

    // Every type starts as if it were in no part (sum of the shares, 1); each
    // part it is in replaces that part's share s by |v/f - s|.
    std::vector<double> acc(nTypes, 1.0);
    std::size_t r = 0;
    for (std::size_t p = 0; p < fPartTokens.size(); ++p) {
        const double s = double(fPartTokens[p]) / double(total);
        for (; r < fPartEnds[p]; ++r) {
            const TPartCount& c = fBlocks[r / kBlockRecords][r % kBlockRecords];
            const double f = double(Type(c.id).freq);
            acc[c.id] += std::fabs(double(c.count) / f - s) - s;
        }
    }
    for (std::size_t id = 0; id < nTypes; ++id) {
        if (Type(uint32_t(id)).flags & kWordTypeStop)
            continue;
        out[id] = float(NormalisedDeviationOfProportions(std::clamp(acc[id] / 2, 0.0, 1.0), smallest));
    }
    return out;
}

} // namespace cv
