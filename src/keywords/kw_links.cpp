#include "keywords/kw_links.h"

#include "keywords/kw_plots.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>

namespace cv {

namespace {

int CharWidthOf(const TCVBaseDataClass* owner)
{
    return owner && !owner->IsUnicode() ? 1 : 2;
}

constexpr int32_t kSortLinkedWords = TKWLinkList::kColLinkedWords;

} // namespace

// ---------------------------------------------------------------------------
// Link entries

void TKWLinkEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    data = {};
}

double TKWLinkEntry::GetAValueAsSingle(int column) const
{
    if (const TCVBaseDataClass* l = Owner())
        return l->NumericalData(l->IndexOf(this), column);
    return 0;
}

QString TKWLinkEntry::GetAWordAsString(int column) const
{
    return column == TKWLinkList::kColWord ? data.w : TCVBaseListObject::GetAWordAsString(column);
}

void TKWLinkEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TKWLinkList::kColWord)
        data.w = text;
}

bool TKWLinkEntry::SaveToStream(TStream& s) const
{
    // The stored hits are negative: the mark of partner records of 8 bytes.
    const int32_t stored = -std::abs(data.hits);
    if (!s.WriteI32(stored) || !WriteAString(s, data.w, CharWidthOf(Owner())) || !s.WriteCount(int64_t(data.linked_words_info.size())))
        return false;
    for (const TKWLinkEntryLinkedInfoRec& r : data.linked_words_info)
        if (!s.WriteI32(r.link_wordtype_nums_1based) || !s.WriteI32(r.freq))
            return false;
    return true;
}

bool TKWLinkEntry::ReadFromStream(TStream& s)
{
    const auto* list = dynamic_cast<const TKWLinkList*>(Owner());
    const bool reliable = !list || !list->fPlots || list->fPlots->reliable_Kwlink_numbers;
    TKWLink_entry_rec d;
    int32_t hits = 0, n = 0;
    if (!s.ReadI32(hits) || hits == std::numeric_limits<int32_t>::min() || !ReadAString(s, d.w, CharWidthOf(Owner())))
        return false;
    if (reliable) {
        if (!s.ReadCount(n, 8))
            return false;
        d.linked_words_info.resize(std::size_t(n));
        for (TKWLinkEntryLinkedInfoRec& r : d.linked_words_info)
            if (!s.ReadI32(r.link_wordtype_nums_1based) || !s.ReadI32(r.freq))
                return false;
    } else {
        // Older lists: n partner numbers, and n frequencies when the hits are negative.
        if (!s.ReadCount(n, 4) || !s.Skip(int64_t(n) * 4) || (hits < 0 && !s.Skip(int64_t(n) * 4)))
            return false;
    }
    d.hits = std::abs(hits);
    data = std::move(d);
    return true;
}

// ---------------------------------------------------------------------------
// Link list

QStringList TKWLinkList::DefaultHeadings()
{
    return StandardGridHeaderArray(kListType).mid(0, kColSet);
}

TKWLinkList::TKWLinkList(TCorvantisholder* owner, uint32_t toolSignature, TKWPlotList* plots)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKWLinkEntry>(&l); }, kListType, toolSignature,
          kVersion),
      fPlots(plots)
{
    SetGridHeadings(DefaultHeadings());
    AddSetColumn(QStringLiteral("Set"));
    SetWordColumn(kColWord);
    SetCloudColumn(kColLinks);
    SetSortSettingsToDefault();
}

void TKWLinkList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    links_limit_reached = false;
}

TKWLink_entry_rec TKWLinkList::LinkData(int row) const
{
    return row >= 0 && row < Count() ? Entry(row).data : TKWLink_entry_rec{};
}

QStringList TKWLinkList::LinkedWords(int row) const
{
    QStringList out;
    if (row < 0 || row >= Count() || !fPlots)
        return out;
    for (const TKWLinkEntryLinkedInfoRec& r : Entry(row).data.linked_words_info) {
        const int plotRow = r.link_wordtype_nums_1based - 1;
        if (plotRow >= 0 && plotRow < fPlots->Count())
            out << fPlots->Entry(plotRow).w;
    }
    return out;
}

double TKWLinkList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TKWLink_entry_rec& d = Entry(row).data;
    switch (column) {
    case kColN: return row + 1;
    case kColLinks: return double(d.linked_words_info.size());
    case kColHits: return d.hits;
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

void TKWLinkList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    switch (column) {
    case kColN:
    case kColLinks:
    case kColHits: NumberCell(rec, NumericalData(row, column), true); return;
    case kColWord: rec.text = Entry(row).data.w; return;
    case kColLinkedWords: rec.text = LinkedWords(row).join(QLatin1Char(',')); return;
    default: TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

int TKWLinkList::HeaderColumnToSortNeeded(int column) const
{
    if (column == kColN)
        return kSortByWord;
    return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
}

TSortKeyKind TKWLinkList::KindOfSortKey(int32_t key) const
{
    return key == kSortLinkedWords ? TSortKeyKind::Text : TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
}

QString TKWLinkList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == kSortLinkedWords) {
        const QStringList words = LinkedWords(IndexOf(&e));
        return words.isEmpty() ? QString() : words.first().toLower();
    }
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TKWLinkList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& d = static_cast<const TKWLinkEntry&>(e).data;
    switch (key) {
    case kColLinks: return double(d.linked_words_info.size());
    case kColHits: return d.hits;
    default: return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

bool TKWLinkList::ReadFromStream(TStream& s)
{
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    if (fPlots && !fPlots->reliable_Kwlink_numbers)
        for (int i = 0; i < Count(); ++i)
            Entry(i).data.linked_words_info.clear();
    return true;
}

// ---------------------------------------------------------------------------
// Link clusters

QString TKWLinkClusterEntry::GetAWordAsString(int column) const
{
    return column == TKWClusterList::kColCluster ? data.cluster : TCVBaseListObject::GetAWordAsString(column);
}

void TKWLinkClusterEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TKWClusterList::kColCluster)
        data.cluster = text;
}

bool TKWLinkClusterEntry::SaveToStream(TStream& s) const
{
    return WriteAString(s, data.cluster) && s.WriteI32(data.freq);
}

bool TKWLinkClusterEntry::ReadFromStream(TStream& s)
{
    TKWLinkClusterRec d;
    if (!ReadAString(s, d.cluster) || !s.ReadI32(d.freq) || d.freq < 0)
        return false;
    data = std::move(d);
    return true;
}

QStringList TKWClusterList::DefaultHeadings()
{
    return {QStringLiteral("N"), QStringLiteral("Cluster"), QStringLiteral("Freq.")};
}

TKWClusterList::TKWClusterList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKWLinkClusterEntry>(&l); }, kListType,
          toolSignature, kVersion)
{
    SetGridHeadings(DefaultHeadings());
    AddSetColumn(QStringLiteral("Set"));
    SetWordColumn(kColCluster);
    SetCloudColumn(kColFreq);
    SetSortSettingsToDefault();
}

TKWLinkClusterRec TKWClusterList::ClusterData(int row) const
{
    return row >= 0 && row < Count() ? Entry(row).data : TKWLinkClusterRec{};
}

QString TKWClusterList::ClusterFormattedByDistance(const QString& first, const QString& second, int distance)
{
    if (distance <= 1)
        return first + QLatin1Char(' ') + second;
    return first + QStringLiteral(" [") + QString(distance - 1, QLatin1Char('.')) + QStringLiteral("] ") + second;
}

QString TKWClusterList::ClusterAsConcordanceSW(const QString& cluster)
{
    const qsizetype open = cluster.indexOf(QStringLiteral(" ["));
    const qsizetype close = open < 0 ? -1 : cluster.indexOf(QStringLiteral("] "), open + 2);
    if (open < 0 || close < 0)
        return cluster;
    const QString before = cluster.left(open).trimmed();
    const QString gap = cluster.mid(open + 2, close - open - 2);
    const QString after = cluster.mid(close + 2);
    QString out = before;
    for (QChar c : gap)
        if (c == QLatin1Char('.'))
            out += QStringLiteral(" * ");
    out += after;
    while (out.contains(QStringLiteral("  ")))
        out.replace(QStringLiteral("  "), QStringLiteral(" "));
    return out;
}

double TKWClusterList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    switch (column) {
    case kColN: return row + 1;
    case kColFreq: return Entry(row).data.freq;
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

void TKWClusterList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    switch (column) {
    case kColN:
    case kColFreq: NumberCell(rec, NumericalData(row, column), true); return;
    case kColCluster: rec.text = Entry(row).data.cluster; return;
    default: TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

int TKWClusterList::HeaderColumnToSortNeeded(int column) const
{
    if (column == kColN)
        return kSortByWord;
    return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
}

void TKWClusterList::EnsureAlphabeticalAscendingSort()
{
    SetSortSettingsToDefault();
    Set1Sort(0, kSortByWord);
    SetSortAscending(0, true);
    CompleteResort();
}

// ---------------------------------------------------------------------------
// Computing the links

void ComputeKeyWordLinks(TKWPlotList& plots, const TKeyWordsSettingsRec& settings, TKWLinkList& links,
                         TKWClusterList& clusters, const std::function<void(int percent)>& progress)
{
    clusters.Clear();
    clusters.SetSortSettingsToDefault();
    links.Clear();

    const int32_t hitLimit = settings.MaxLinkPlotPositions();
    const int32_t minSpan = settings.MinLinkSpan();
    const int32_t maxSpan = settings.MaxLinkSpan();
    const int32_t minPairFreq = settings.MinLinkFrequency();

    // The rows that take part, each with its positions in text order.
    struct TPart {
        int row;
        int link;
        std::vector<int32_t> positions;
    };
    std::vector<TPart> parts;
    const int n = plots.Count();
    for (int i = 0; i < n; ++i) {
        if (progress)
            progress(int(int64_t(i) * 100 / std::max(n, 1)));
        TKWPlotEntry& e = plots.Entry(i);
        if (e.data.wd_entry_number == 0)
            e.data.wd_entry_number = i + 1;
        e.data.link_tokens = 0;
        if (e.PlotPositions().Count() > hitLimit) {
            links.links_limit_reached = true;
            continue;
        }
        TKWLink_entry_rec rec;
        rec.hits = e.data.hits;
        rec.w = e.w;
        const int link = links.Add(std::make_unique<TKWLinkEntry>(&links, rec));
        std::vector<int32_t> positions = e.PlotPositions().Positions();
        std::sort(positions.begin(), positions.end());
        parts.push_back({i, link, std::move(positions)});
    }

    std::map<QString, int32_t> clusterCounts;
    // Counting one linked pair: the partner's co-occurrences in each row's
    // entry (appended with 1 when new), the rows' link tokens, the cluster.
    std::vector<int32_t> partnersSeen(parts.size(), 0);
    auto countPartner = [&](std::size_t row, int partnerRow) {
        auto& info = links.Entry(parts[row].link).data.linked_words_info;
        for (TKWLinkEntryLinkedInfoRec& r : info)
            if (r.link_wordtype_nums_1based == partnerRow + 1) {
                ++r.freq;
                return;
            }
        info.push_back({partnerRow + 1, 1});
        ++partnersSeen[row];
    };
    // A link belongs to the earlier of its two key words: each key word
    // ranks the later ones it co-occurs with, and its list is cut to the
    // pairs taken, so the partners an earlier word counted into it go again.
    const int32_t minTaken = std::max<int32_t>(minPairFreq, 1);
    struct TRanked {
        int32_t count;
        int32_t partner;
    };
    std::vector<TRanked> ranking;
    const std::size_t m = parts.size();
    for (std::size_t i = 0; i < m && global_panic_state == kPanicRun; ++i) {
        if (progress)
            progress(int(int64_t(i) * 100 / int64_t(std::max<std::size_t>(m, 1))));
        const TPart& pi = parts[i];
        TKWPlotEntry& ei = plots.Entry(pi.row);
        ranking.clear();
        for (std::size_t j = i + 1; j < m; ++j)
            ranking.push_back({0, parts[j].row + 1});
        for (std::size_t j = i + 1; j < m && global_panic_state == kPanicRun; ++j) {
            const TPart& pj = parts[j];
            TKWPlotEntry& ej = plots.Entry(pj.row);
            int32_t& count = ranking[j - i - 1].count;
            std::size_t lo = 0;
            for (const int32_t a : pi.positions) {
                // Positions of the second word further back than the span never link with this or a later a.
                while (lo < pj.positions.size() && int64_t(pj.positions[lo]) < int64_t(a) - maxSpan)
                    ++lo;
                for (std::size_t k = lo; k < pj.positions.size() && int64_t(pj.positions[k]) - a <= maxSpan; ++k) {
                    const int32_t b = pj.positions[k];
                    const int64_t d = std::abs(int64_t(a) - b);
                    if (d < minSpan || d > maxSpan)
                        continue;
                    ++count;
                    const QString text = a <= b ? TKWClusterList::ClusterFormattedByDistance(ei.w, ej.w, int(d))
                                                : TKWClusterList::ClusterFormattedByDistance(ej.w, ei.w, int(d));
                    ++clusterCounts[text];
                    countPartner(i, pj.row);
                    countPartner(j, pi.row);
                    ++ei.data.link_tokens;
                    ++ej.data.link_tokens;
                }
            }
        }
        // Most often first (equal counts in row order); taken while often
        // enough, never more than the key words linked to this one so far.
        // A later key word never met is no link, whatever the minimum.
        std::stable_sort(ranking.begin(), ranking.end(),
                         [](const TRanked& x, const TRanked& y) { return x.count > y.count; });
        auto& info = links.Entry(pi.link).data.linked_words_info;
        std::size_t k = 0;
        for (; k < ranking.size() && k < std::size_t(partnersSeen[i]) && ranking[k].count >= minTaken; ++k)
            info[k] = {ranking[k].partner, ranking[k].count};
        info.resize(std::min(k, info.size()));
    }

    const int32_t minLinked = settings.MinLinkedKeyWords();
    links.RemoveIf([&](const TCVBaseListObject& e) {
        return int64_t(static_cast<const TKWLinkEntry&>(e).data.linked_words_info.size()) < minLinked;
    });
    links.SetSortSettingsToDefault();
    if (links.Count() > 1)
        links.CompleteResort();

    const int32_t minCluster = settings.MinLinkClusterFrequency();
    for (const auto& [text, count] : clusterCounts)
        if (count >= minCluster)
            clusters.Add(std::make_unique<TKWLinkClusterEntry>(&clusters, TKWLinkClusterRec{text, count}));
    clusters.SetSortSettingsToDefault();
    clusters.CompleteResort();
    if (progress)
        progress(0);
}

} // namespace cv
