#include "index/index_clusters.h"

#include "index/index_hash.h"
#include "index/index_spread.h"
#include "model/check_signature.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "wordlist/word_list.h"

#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <unordered_map>

namespace cv {

TClusterOptions TClusterOptions::FromSettings(const TWordlist_index_settings_rec& rec)
{
    TClusterOptions o;
    o.minSize = std::clamp(rec.ClusterSizeMin(), 2, 12);
    o.maxSize = std::clamp(rec.ClusterSizeMax(), 2, 12);
    o.maxSize = std::max(o.maxSize, o.minSize);
    o.stopLevel = IndexStopLevel(rec.StopAt());
    o.minFreq = std::max(1, rec.MinShowFrequency());
    o.minTexts = std::max(1, rec.ClusterMinTexts());
    o.maxPercent = std::isfinite(rec.ClusterMaxPercent()) ? std::max(0.0f, rec.ClusterMaxPercent()) : 0.0;
    o.omitNumbers = rec.OmitNumbers();
    o.omitStopWords = rec.StopListLoadedCopy();
    o.dispersion = rec.ComputeDispersion();
    o.phraseFrames = !rec.OmitPhraseFrames();
    o.maxSecondsPerWord = std::max(0, rec.MaxSecondsPerWord());
    return o;
}

QString TClusterOptions::Summary() const
{
    const QString sizes = minSize == maxSize ? QStringLiteral("%1-word clusters").arg(minSize)
                                             : QStringLiteral("%1- to %2-word clusters").arg(minSize).arg(maxSize);
    return QStringLiteral("%1, min. frequency %2, min. texts %3, stop at level %4").arg(sizes).arg(minFreq).arg(minTexts).arg(stopLevel);
}

QString ClusterText(const TIndexData& index, const std::vector<uint32_t>& codes)
{
    QString s;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        if (k > 0)
            s += QLatin1Char(' ');
        s += codes[k] == kFrameSlot ? QStringLiteral("*") : index.CodeText(codes[k]);
    }
    return s;
}

namespace {

uint64_t HashCodes(const uint32_t* c, int n)
{
    uint64_t h = 0x9E3779B97F4A7C15ull ^ uint64_t(n);
    for (int k = 0; k < n; ++k)
        h = (h ^ c[k]) * 0x100000001B3ull + (h >> 29);
    return MixHash64(h);
}

// Exact counts of the clusters of one size: their codes side by side, an
// open-addressed index over them.
class TClusterTable {
public:
    struct TCount {
        uint32_t freq = 0;
        uint32_t texts = 0;
        int32_t lastText = -1;
    };
    explicit TClusterTable(int n) : fN(n) { fSlots.assign(1 << 12, TSlot{}); }

    int32_t FindOrAdd(const uint32_t* c, uint64_t h)
    {
        if ((fCounts.size() + 1) * 2 > fSlots.size())
            Grow();
        const auto check = uint32_t(h >> 32);
        for (std::size_t i = std::size_t(h) & (fSlots.size() - 1);; i = (i + 1) & (fSlots.size() - 1)) {
            TSlot& s = fSlots[i];
            if (s.id1 == 0) {
                s = {check, uint32_t(fCounts.size()) + 1};
                fKeys.insert(fKeys.end(), c, c + fN);
                fCounts.push_back({});
                fHashes.push_back(h);
                return int32_t(fCounts.size() - 1);
            }
            if (s.check == check && Same(c, s.id1 - 1))
                return int32_t(s.id1 - 1);
        }
    }
    int32_t Find(const uint32_t* c, uint64_t h) const
    {
        const auto check = uint32_t(h >> 32);
        for (std::size_t i = std::size_t(h) & (fSlots.size() - 1);; i = (i + 1) & (fSlots.size() - 1)) {
            const TSlot& s = fSlots[i];
            if (s.id1 == 0)
                return -1;
            if (s.check == check && Same(c, s.id1 - 1))
                return int32_t(s.id1 - 1);
        }
    }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&fSlots[std::size_t(h) & (fSlots.size() - 1)]); }
    TCount& Count(int32_t id) { return fCounts[std::size_t(id)]; }
    std::size_t Size() const { return fCounts.size(); }
    const uint32_t* Key(int32_t id) const { return fKeys.data() + std::size_t(id) * std::size_t(fN); }
    std::size_t Bytes() const
    {
        return fSlots.capacity() * sizeof(TSlot) + fKeys.capacity() * 4 + fCounts.capacity() * sizeof(TCount)
            + fHashes.capacity() * 8;
    }

private:
    struct TSlot {
        uint32_t check = 0;
        uint32_t id1 = 0;
    };
    // A few codes: compared in place, not through a library call.
    bool Same(const uint32_t* c, uint32_t id) const
    {
        const uint32_t* k = fKeys.data() + std::size_t(id) * std::size_t(fN);
        for (int j = 0; j < fN; ++j)
            if (k[j] != c[j])
                return false;
        return true;
    }
    void Grow()
    {
        fSlots.assign(fSlots.size() * 2, TSlot{});
        const std::size_t mask = fSlots.size() - 1;
        for (uint32_t id = 0; id < fCounts.size(); ++id) {
            std::size_t i = std::size_t(fHashes[id]) & mask;
            while (fSlots[i].id1 != 0)
                i = (i + 1) & mask;
            fSlots[i] = {uint32_t(fHashes[id] >> 32), id + 1};
        }
    }

    int fN;
    std::vector<TSlot> fSlots;
    std::vector<uint32_t> fKeys;
    std::vector<TCount> fCounts;
    std::vector<uint64_t> fHashes;
};

// Two rows of saturating one-byte counters of cluster hashes: a cluster
// whose smaller count is below the minimum frequency is certainly below it.
class TSketch {
public:
    TSketch(std::size_t size) : fMask(size - 1), fRow1(size, 0), fRow2(size, 0) {}
    void Add(uint64_t h)
    {
        uint8_t& a = fRow1[std::size_t(h) & fMask];
        a = uint8_t(a + (a < 255));
        uint8_t& b = fRow2[std::size_t(h >> 32) & fMask];
        b = uint8_t(b + (b < 255));
    }
    unsigned Estimate(uint64_t h) const { return std::min(fRow1[std::size_t(h) & fMask], fRow2[std::size_t(h >> 32) & fMask]); }
    void Prefetch(uint64_t h) const
    {
        __builtin_prefetch(&fRow1[std::size_t(h) & fMask]);
        __builtin_prefetch(&fRow2[std::size_t(h >> 32) & fMask]);
    }
    std::size_t Bytes() const { return fRow1.size() * 2; }

private:
    std::size_t fMask;
    std::vector<uint8_t> fRow1, fRow2;
};

} // namespace

bool CountClusters(const TIndexData& index, const std::vector<uint32_t>& nodes, const std::vector<uint8_t>& stopTypes,
                   const TClusterOptions& o, TClusterRun& out, QString* error, int32_t firstText, int32_t lastText)
{
    out = TClusterRun();
    if (lastText < 0 || lastText >= index.TextCount())
        lastText = index.TextCount() - 1;
    firstText = std::max(0, firstText);
    if (firstText > lastText)
        return true;
    const int minSize = std::clamp(o.minSize, 2, 12);
    const int maxSize = std::clamp(std::max(o.maxSize, minSize), 2, 12);
    const std::size_t codeCount = index.types.size() + kIndexFirstTypeCode;
    const int64_t running = index.RunningWords();

    // What each code may be: in a cluster at all (bit 1), a chosen word (bit 2).
    std::vector<uint8_t> role(codeCount, 0);
    role[kIndexCodeNumber] = o.omitNumbers ? 0 : 1;
    {
        std::vector<uint8_t> chosen(codeCount, 0);
        for (uint32_t id : nodes)
            if (id < index.types.size())
                chosen[id + kIndexFirstTypeCode] = 1;
        for (uint32_t id = 0; id < index.types.size(); ++id) {
            const TIndexType& t = index.types[id];
            const uint32_t c = id + kIndexFirstTypeCode;
            if ((o.omitNumbers && t.IsNumber()) || (o.omitStopWords && id < stopTypes.size() && stopTypes[id]))
                continue;
            role[c] = 1;
            const bool tooFrequent = o.maxPercent > 0 && running > 0 && double(t.freq) * 100.0 / double(running) > o.maxPercent;
            if ((nodes.empty() || chosen[c]) && !tooFrequent)
                role[c] |= 2;
        }
    }
    const bool everyWordChosen = nodes.empty() && o.maxPercent <= 0;

    int64_t rangeTokens = 0;
    for (int32_t t = firstText; t <= lastText; ++t)
        rangeTokens += index.texts[std::size_t(t)].tokens;
    const int sizes = maxSize - minSize + 1;

    std::vector<int32_t> runLength;
    std::vector<int32_t> chosenBefore;
    QElapsedTimer clock;
    clock.start();
    const double budget = o.maxSecondsPerWord > 0
        ? double(o.maxSecondsPerWord) * double(std::max<std::size_t>(1, nodes.empty() ? index.types.size() : nodes.size()))
        : 0.0;
    qint64 lastYield = 0;
    TProgressClass& progress = GlobalProgress();

    // Calls visit(n, codes + p, hash, text, p, count) for every cluster place
    // of the texts. The places go through a short queue: each is announced to
    // `ahead` (which asks for the memory its hash will touch) some places
    // before it is visited, so that the look-ups of several places are under
    // way at once.
    struct TPlace {
        const uint32_t* at;
        uint64_t hash;
        std::ptrdiff_t i;
        int size;
    };
    constexpr std::size_t kAhead = 16;
    std::array<TPlace, kAhead> queue{};
    auto walk = [&](auto&& visit, auto&& ahead, int step, int steps) {
        QString why;
        bool cancelled = false;
        const bool ok = WalkIndexTexts(
            index,
            [&](int32_t text, std::span<const uint32_t> c, std::span<const uint8_t> levels) {
                const auto n = std::ptrdiff_t(c.size());
                runLength.assign(std::size_t(n) + 1, 0);
                for (std::ptrdiff_t i = n - 1; i >= 0; --i) {
                    if (!(role[c[std::size_t(i)]] & 1))
                        continue;
                    const bool joined = i + 1 < n && IndexJoined(levels, std::size_t(i + 1), o.stopLevel);
                    runLength[std::size_t(i)] = joined ? runLength[std::size_t(i + 1)] + 1 : 1;
                }
                if (!everyWordChosen) {
                    chosenBefore.assign(std::size_t(n) + 1, 0);
                    for (std::ptrdiff_t i = 0; i < n; ++i)
                        chosenBefore[std::size_t(i + 1)] = chosenBefore[std::size_t(i)] + ((role[c[std::size_t(i)]] & 2) ? 1 : 0);
                }
                std::size_t queued = 0;
                for (std::ptrdiff_t i = 0; i < n; ++i) {
                    const int32_t room = runLength[std::size_t(i)];
                    for (int size = minSize; size <= maxSize && size <= room; ++size) {
                        if (!everyWordChosen && chosenBefore[std::size_t(i + size)] == chosenBefore[std::size_t(i)])
                            continue;
                        const uint32_t* at = c.data() + i;
                        const uint64_t h = HashCodes(at, size);
                        ahead(size, h);
                        TPlace& slot = queue[queued % kAhead];
                        if (queued >= kAhead)
                            visit(slot.size, slot.at, slot.hash, text, slot.i, n);
                        slot = {at, h, i, size};
                        ++queued;
                    }
                }
                for (std::size_t k = queued > kAhead ? queued - kAhead : 0; k < queued; ++k) {
                    const TPlace& slot = queue[k % kAhead];
                    visit(slot.size, slot.at, slot.hash, text, slot.i, n);
                }
                if (clock.elapsed() - lastYield > 100) {
                    lastYield = clock.elapsed();
                    progress.ThisPercent(int((int64_t(step) * 100 + int64_t(text - firstText + 1) * 100 / (lastText - firstText + 1)) / steps));
                    MyYieldProcess();
                }
                if (budget > 0 && clock.elapsed() > budget * 1000.0) {
                    out.stoppedByTime = true;
                    return false;
                }
                return true;
            },
            &why, &cancelled, firstText, lastText);
        if (cancelled)
            out.cancelled = true;
        if (!ok && error)
            *error = why;
        return ok;
    };

    const bool prefilter = o.minFreq >= 2 && rangeTokens * sizes >= o.prefilterFrom;
    std::unique_ptr<TSketch> sketch;
    const int steps = (prefilter ? 1 : 0) + 1 + ((o.dispersion || o.phraseFrames) ? 1 : 0);
    int step = 0;
    if (prefilter) {
        std::size_t size = 1 << 20;
        while (size < std::size_t(rangeTokens) * std::size_t(sizes) && size < (std::size_t(1) << 27))
            size *= 2;
        sketch = std::make_unique<TSketch>(size);
        if (!walk([&](int, const uint32_t*, uint64_t h, int32_t, std::ptrdiff_t, std::ptrdiff_t) { sketch->Add(h); },
                  [&](int, uint64_t h) { sketch->Prefetch(h); }, step++, steps))
            return false;
        if (out.cancelled || out.stoppedByTime)
            return true;
    }

    std::vector<std::unique_ptr<TClusterTable>> tables;
    for (int size = minSize; size <= maxSize; ++size)
        tables.push_back(std::make_unique<TClusterTable>(size));
    const auto minFreq = unsigned(std::min<int64_t>(o.minFreq, 255));
    if (!walk(
            [&](int size, const uint32_t* at, uint64_t h, int32_t text, std::ptrdiff_t, std::ptrdiff_t) {
                ++out.positions;
                if (sketch && sketch->Estimate(h) < minFreq)
                    return;
                TClusterTable::TCount& k = tables[std::size_t(size - minSize)]->Count(tables[std::size_t(size - minSize)]->FindOrAdd(at, h));
                ++k.freq;
                if (k.lastText != text) {
                    k.lastText = text;
                    ++k.texts;
                }
            },
            [&](int size, uint64_t h) {
                if (sketch)
                    sketch->Prefetch(h);
                tables[std::size_t(size - minSize)]->Prefetch(h);
            },
            step++, steps))
        return false;
    for (const auto& t : tables)
        out.peakTableBytes += t->Bytes();
    if (sketch)
        out.peakTableBytes += sketch->Bytes();
    sketch.reset();
    if (out.cancelled)
        return true;

    // The clusters kept.
    std::vector<std::vector<int32_t>> kept(tables.size());
    for (std::size_t s = 0; s < tables.size(); ++s) {
        TClusterTable& table = *tables[s];
        kept[s].assign(table.Size(), -1);
        for (uint32_t id = 0; id < table.Size(); ++id) {
            const TClusterTable::TCount& k = table.Count(int32_t(id));
            if (k.freq < o.minFreq || int32_t(k.texts) < o.minTexts)
                continue;
            kept[s][id] = int32_t(out.clusters.size());
            TClusterResult r;
            r.codes.assign(table.Key(int32_t(id)), table.Key(int32_t(id)) + minSize + int(s));
            r.freq = k.freq;
            r.texts = int32_t(k.texts);
            out.clusters.push_back(std::move(r));
        }
    }

    // Phrase frames: clusters alike but for one place.
    if (o.phraseFrames) {
        std::unordered_map<std::u32string, std::vector<int32_t>> byFrame;
        for (int32_t i = 0; i < int32_t(out.clusters.size()); ++i) {
            const std::vector<uint32_t>& c = out.clusters[std::size_t(i)].codes;
            if (c.size() < 3)
                continue;
            std::u32string key(c.begin(), c.end());
            for (std::size_t k = 0; k < c.size(); ++k) {
                key[k] = kFrameSlot;
                byFrame[key].push_back(i);
                key[k] = c[k];
            }
        }
        struct TCandidate {
            std::u32string key;
            std::vector<int32_t> variants;
            int64_t freq;
        };
        std::vector<TCandidate> candidates;
        for (auto& [key, variants] : byFrame) {
            if (variants.size() < 2)
                continue;
            int64_t f = 0;
            for (int32_t v : variants)
                f += out.clusters[std::size_t(v)].freq;
            candidates.push_back({key, std::move(variants), f});
        }
        std::sort(candidates.begin(), candidates.end(), [](const TCandidate& a, const TCandidate& b) {
            if (a.freq != b.freq)
                return a.freq > b.freq;
            if (a.variants.size() != b.variants.size())
                return a.variants.size() > b.variants.size();
            return a.key < b.key;
        });
        for (TCandidate& cand : candidates) {
            std::vector<int32_t> free;
            for (int32_t v : cand.variants)
                if (out.clusters[std::size_t(v)].frame < 0)
                    free.push_back(v);
            if (free.size() < 2)
                continue;
            TPhraseFrame f;
            f.codes.assign(cand.key.begin(), cand.key.end());
            for (int32_t v : free) {
                out.clusters[std::size_t(v)].frame = int32_t(out.frames.size());
                f.freq += out.clusters[std::size_t(v)].freq;
                f.texts = std::max(f.texts, out.clusters[std::size_t(v)].texts);
            }
            f.variants = std::move(free);
            out.frames.push_back(std::move(f));
        }
    }

    // Dispersion, and the texts of the frames, in a last walk.
    if ((o.dispersion || !out.frames.empty()) && !out.clusters.empty()) {
        const bool oneText = firstText == lastText;
        std::vector<int64_t> sizesOfParts(oneText ? kDispersionPartsOfOneText : std::size_t(lastText - firstText + 1), 0);
        std::vector<TIndexParts::TAcc> acc(out.clusters.size()), frameAcc(out.frames.size());
        std::vector<int32_t> frameLast(out.frames.size(), -1), frameTexts(out.frames.size(), 0);
        // Part sizes first: the running words of each part.
        {
            QString why;
            if (!WalkIndexTexts(
                    index,
                    [&](int32_t t, std::span<const uint32_t> c, std::span<const uint8_t>) {
                        const auto n = int64_t(c.size());
                        for (int64_t i = 0; i < n; ++i)
                            if (c[std::size_t(i)] != kIndexCodeNumber)
                                ++sizesOfParts[std::size_t(oneText ? TIndexParts::TenthOf(i, n) : t - firstText)];
                        return true;
                    },
                    &why, nullptr, firstText, lastText)) {
                if (error)
                    *error = why;
                return false;
            }
        }
        const TIndexParts parts(sizesOfParts);
        if (!walk(
                [&](int size, const uint32_t* at, uint64_t h, int32_t text, std::ptrdiff_t i, std::ptrdiff_t n) {
                    const std::size_t s = std::size_t(size - minSize);
                    const int32_t id = tables[s]->Find(at, h);
                    if (id < 0)
                        return;
                    const int32_t k = kept[s][std::size_t(id)];
                    if (k < 0)
                        return;
                    const int32_t part = oneText ? TIndexParts::TenthOf(i, n) : text - firstText;
                    TClusterResult& r = out.clusters[std::size_t(k)];
                    parts.Add(acc[std::size_t(k)], part, double(r.freq));
                    if (r.frame >= 0) {
                        const auto f = std::size_t(r.frame);
                        parts.Add(frameAcc[f], part, double(out.frames[f].freq));
                        if (frameLast[f] != text) {
                            frameLast[f] = text;
                            ++frameTexts[f];
                        }
                    }
                },
                [&](int size, uint64_t h) { tables[std::size_t(size - minSize)]->Prefetch(h); }, step++, steps))
            return false;
        if (out.cancelled || out.stoppedByTime)
            return true;
        for (std::size_t k = 0; k < out.clusters.size(); ++k)
            out.clusters[k].dispersion = o.dispersion ? parts.Finish(acc[k], double(out.clusters[k].freq)) : -1.0f;
        for (std::size_t f = 0; f < out.frames.size(); ++f) {
            out.frames[f].texts = frameTexts[f];
            out.frames[f].dispersion = o.dispersion ? parts.Finish(frameAcc[f], double(out.frames[f].freq)) : -1.0f;
        }
    }
    return true;
}

namespace {

// A word list whose entries can be joined in groups in one pass.
class TClusterWordList final : public TCVWordList {
public:
    using TCVWordList::TCVWordList;
    int JoinFrames(const std::vector<std::vector<int>>& groups) { return JoinGroups(groups, false, QString()); }
};

} // namespace

std::unique_ptr<TCVWordList> MakeClusterWordList(TCorvantisholder* owner, const TIndexData& index,
                                                 const TClusterRun& run, int64_t runningWords, int32_t texts)
{
    auto list = std::make_unique<TClusterWordList>(owner, kListWordList, CurrentToolSignature());
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    entries.reserve(run.clusters.size() + run.frames.size());
    for (const TClusterResult& c : run.clusters) {
        auto e = std::make_unique<TWordListEntry>(list.get());
        e->fWord = ClusterText(index, c.codes);
        e->fData.Freq = c.freq;
        e->fData.Texts = c.texts;
        e->fData.Dispersion = c.dispersion;
        entries.push_back(std::move(e));
    }
    for (const TPhraseFrame& f : run.frames) {
        auto e = std::make_unique<TWordListEntry>(list.get());
        e->fWord = ClusterText(index, f.codes);
        e->fData.Freq = 0; // its variants, joined under it, make its frequency
        e->fData.Texts = f.texts;
        e->fData.LemmaTexts = f.texts;
        e->fData.Dispersion = f.dispersion;
        entries.push_back(std::move(e));
    }
    std::vector<const TCVBaseListObject*> byResult;
    for (const auto& e : entries)
        byResult.push_back(e.get());
    list->SetLocale(index.textSettings.LanguageId(), index.textSettings.CollationName());
    list->AdoptEntries(std::move(entries));
    list->SetTotalTokens(runningWords);
    list->SetTotalTexts(texts);
    list->SortAlphabetically();
    if (!run.frames.empty()) {
        std::unordered_map<const TCVBaseListObject*, int> place;
        for (int i = 0; i < list->Count(); ++i)
            place[list->Get(i)] = i;
        std::vector<std::vector<int>> groups;
        for (std::size_t f = 0; f < run.frames.size(); ++f) {
            std::vector<int> g{place[byResult[run.clusters.size() + f]]};
            for (int32_t v : run.frames[f].variants)
                g.push_back(place[byResult[std::size_t(v)]]);
            groups.push_back(std::move(g));
        }
        list->JoinFrames(groups);
    }
    list->ComputedRankOrdersOfWords();
    list->ClearChangeMark();
    return list;
}

} // namespace cv
