#include "index/index_relationships.h"

#include "suite/dialog_routines.h"

#include "index/index_files.h"
#include "index/index_hash.h"
#include "index/token_stretches.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "suite/wdef.h"

#include <algorithm>
#include <new>
#include <cmath>
#include <limits>

namespace cv {

// ---------------------------------------------------------------------------
// Entries

QString TRelationshipEntry::GetAWordAsString(int column) const
{
    return column == TRelationshipsList::kColWord2 ? fData.Word2 : fData.Word1;
}

void TRelationshipEntry::SetAWordAsString(int column, const QString& text)
{
    (column == TRelationshipsList::kColWord2 ? fData.Word2 : fData.Word1) = text;
}

bool TRelationshipEntry::IsDuplicateOf(const TCVBaseListObject& other) const
{
    const auto* o = dynamic_cast<const TRelationshipEntry*>(&other);
    return o && o->fData.Word1 == fData.Word1 && o->fData.Word2 == fData.Word2;
}

bool TRelationshipEntry::SaveToStream(TStream& s) const
{
    if (!WriteAString(s, fData.Word1) || !WriteAString(s, fData.Word2) || !s.WriteI64(fData.Freq)
        || !s.WriteI64(fData.Freq1) || !s.WriteI64(fData.Freq2) || !s.WriteI32(fData.Texts) || !s.WriteI32(fData.Gap))
        return false;
    for (float v : fData.Scores)
        if (!s.WriteF32(v))
            return false;
    return true;
}

bool TRelationshipEntry::ReadFromStream(TStream& s)
{
    if (!ReadAString(s, fData.Word1) || !ReadAString(s, fData.Word2) || !s.ReadI64(fData.Freq)
        || !s.ReadI64(fData.Freq1) || !s.ReadI64(fData.Freq2) || !s.ReadI32(fData.Texts) || !s.ReadI32(fData.Gap))
        return false;
    for (float& v : fData.Scores)
        if (!s.ReadF32(v))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// The list

TRelationshipsList::TRelationshipsList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TRelationshipEntry>(&l); }, kListIndexRelationships,
          toolSignature, kVersion)
{
    SetGridHeadings(Headings());
    SetWordColumn(kColWord1);
    SetSortSettingsToDefault();
}

QStringList TRelationshipsList::Headings()
{
    QStringList h{QStringLiteral("N"), QStringLiteral("Word 1"), QStringLiteral("Word 2"), QStringLiteral("Freq."),
                  QStringLiteral("Freq. word 1"), QStringLiteral("Freq. word 2"), QStringLiteral("Texts"),
                  QStringLiteral("Gap")};
    for (const TAssociationEntry& e : AssociationTable())
        h << QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size()));
    h << QStringLiteral("Set");
    return h;
}

QString TRelationshipsList::ColumnHelp(int column)
{
    switch (column) {
    case kColN: return QStringLiteral("The place of the pair in this order.");
    case kColWord1: return QStringLiteral("Word 1 (A), the node word.");
    case kColWord2: return QStringLiteral("Word 2 (B), a word found within the span of word 1.");
    case kColFreq: return QStringLiteral("f(AB): how often word 2 was found within the span of word 1.");
    case kColFreq1: return QStringLiteral("f(A): the frequency of word 1 in the index.");
    case kColFreq2: return QStringLiteral("f(B): the frequency of word 2 in the index.");
    case kColTexts: return QStringLiteral("The number of texts in which the two were found together.");
    case kColGap: return QStringLiteral("Where word 2 stands from word 1 on average (negative: to its left).");
    default:
        if (column >= kColFirstScore && column < kColSet) {
            const std::string_view help = AssociationTable()[std::size_t(column - kColFirstScore)].help;
            return QString::fromUtf8(help.data(), qsizetype(help.size()))
                + QStringLiteral(" N is the running words of the index, S the span (words left + right).");
        }
        return QString();
    }
}

TMIDataRec TRelationshipsList::MIData(int i) const
{
    return i >= 0 && i < Count() ? Entry(i).fData : TMIDataRec{};
}

int32_t TRelationshipsList::TrueColumnToMISort(int column)
{
    if (column >= kColWord1 && column < kColSet)
        return column - kColWord1;
    if (column == kColSet)
        return kSortSet;
    if (column == kColN)
        return kSortFreq;
    return -1;
}

void TRelationshipsList::SetThreeSorts(int32_t first, int32_t second, int32_t third)
{
    Set1Sort(0, first);
    Set1Sort(1, second);
    Set1Sort(2, third);
}

void TRelationshipsList::SetCompareFunct(int funct)
{
    if (funct != 0 && funct != 2)
        return;
    fCompareFunct = funct;
    Set1Sort(0, funct == 2 ? kSortWord2 : kSortWord1);
    SetSortAscending(0, true);
}

int TRelationshipsList::FindTypedWord(const QString& text) const
{
    if (text.isEmpty())
        return -1;
    for (int i = 0; i < Count(); ++i) {
        const TMIDataRec& d = Entry(i).fData;
        const QString& w = fCompareFunct == 2 ? d.Word2 : d.Word1;
        if (w.startsWith(text, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

void TRelationshipsList::SetSortSettingsToDefault()
{
    SetThreeSorts(kSortWord1, kSortFreq, kSortWord2);
    SetSortAscending(0, true);
    SetSortAscending(1, false);
    SetSortAscending(2, true);
}

void TRelationshipsList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    const TMIDataRec& d = Entry(row).fData;
    if (column == kColWord1 || column == kColWord2) {
        rec.text = column == kColWord1 ? d.Word1 : d.Word2;
        return;
    }
    if (column >= kColN && column < kColFirstScore) {
        NumberCell(rec, NumericalData(row, column), true);
        return;
    }
    if (column >= kColFirstScore && column < kColSet) {
        NumberCell(rec, NumericalData(row, column), false, 3);
        return;
    }
    TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
}

double TRelationshipsList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TMIDataRec& d = Entry(row).fData;
    switch (column) {
    case kColN: return row + 1;
    case kColFreq: return double(d.Freq);
    case kColFreq1: return double(d.Freq1);
    case kColFreq2: return double(d.Freq2);
    case kColTexts: return d.Texts;
    case kColGap: return d.Gap;
    default:
        if (column >= kColFirstScore && column < kColSet)
            return d.Scores[std::size_t(column - kColFirstScore)];
        return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

TSortKeyKind TRelationshipsList::KindOfSortKey(int32_t key) const
{
    if (key == kSortWord1 || key == kSortWord2 || key == kSortSet)
        return TSortKeyKind::Text;
    if (key > kSortWord2 && key < kSortSet)
        return TSortKeyKind::Number;
    return TSortKeyKind::None;
}

QString TRelationshipsList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    const TMIDataRec& d = static_cast<const TRelationshipEntry&>(e).fData;
    switch (key) {
    case kSortWord1: return d.Word1;
    case kSortWord2: return d.Word2;
    case kSortSet: return ActiveSetColumn() >= 0 ? e.Category(SetNumberOfColumn(ActiveSetColumn())) : QString();
    default: return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
    }
}

double TRelationshipsList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const TMIDataRec& d = static_cast<const TRelationshipEntry&>(e).fData;
    switch (key) {
    case kSortFreq: return double(d.Freq);
    case kSortFreq1: return double(d.Freq1);
    case kSortFreq2: return double(d.Freq2);
    case kSortTexts: return d.Texts;
    case kSortGap: return d.Gap;
    default:
        if (key >= kSortFirstScore && key < kSortSet)
            return d.Scores[std::size_t(key - kSortFirstScore)];
        return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

bool TRelationshipsList::SaveToStream(TStream& s)
{
    return s.WriteI64(TotalTokens) && s.WriteI32(SpanLeft) && s.WriteI32(SpanRight)
        && TCVBaseLemmaMatchCapableList::SaveToStream(s);
}

bool TRelationshipsList::ReadFromStream(TStream& s)
{
    return s.ReadI64(TotalTokens) && s.ReadI32(SpanLeft) && s.ReadI32(SpanRight)
        && TCVBaseLemmaMatchCapableList::ReadFromStream(s);
}

// ---------------------------------------------------------------------------
// The computation

TRelationshipOptions TRelationshipOptions::FromSettings(const TWordlist_index_settings_rec& rec, int64_t runningWords)
{
    TRelationshipOptions o;
    const int32_t span = std::clamp(rec.RelationSpan(), 1, 8);
    o.left = rec.ToRightOnly() ? 0 : span;
    o.right = span;
    o.stopLevel = IndexStopLevel(rec.StopAt());
    o.omitEqual = rec.OmitEqualWords();
    o.omitNumbers = rec.OmitNumbers();
    o.bothWays = rec.ShowPairsBothWays();
    o.stopListMode = rec.StopListMode() <= 3 ? rec.StopListMode() : 0;
    o.minJoint = std::max(1, rec.MinJointFrequency());
    o.minTexts = std::max(1, rec.RelationMinTexts());
    o.minWord2Freq = std::max(1, rec.MinWord2Frequency());
    o.maxPercent = std::isfinite(rec.RelationMaxPercent()) ? std::max(0.0f, rec.RelationMaxPercent()) : 0.0;
    for (int i = 0; i < kAssociationCount; ++i)
        o.thresholds[std::size_t(i)] = rec.Threshold(i);
    o.anyThreshold = rec.AnyThresholdSuffices();
    o.N = runningWords;
    return o;
}

namespace {

struct TPairCount {
    uint64_t count = 0;
    uint32_t texts = 0;
    int32_t lastText = -1;
    int64_t distances = 0; // sum of the signed places of word 2 from word 1
};

// Calls visit(text, codes, levels, from, to) for the tokens of each text a
// stretch at a time, whatever the text's length: the nodes are the tokens
// from..to - 1 of `codes`, which holds `before` tokens ahead of them
// (fewer at the text's start) and `after` beyond them (fewer at its end);
// levels[j] is the boundary before token j. False, with the reason, when
// the index cannot be read; the share of the tokens walked goes to `steps`,
// and a stop asked for there ends the walk (*cancelled).
template <typename TVisit>
bool WalkInStretches(const TIndexData& index, std::size_t before, std::size_t after, TVisit&& visit, QString* error,
                     bool* cancelled, TProgressSteps& steps)
{
    constexpr std::size_t kStretch = std::size_t(1) << 16;
    if (cancelled)
        *cancelled = false;
    if (index.TextCount() == 0)
        return true;
    TTokenStretches reader;
    if (!reader.Open(index, 0, index.TextCount() - 1, error))
        return false;
    int64_t all = 0;
    for (const TIndexText& t : index.texts)
        all += t.tokens;
    int64_t walked = 0; // tokens of the texts before this one
    std::vector<uint32_t> codes;
    std::vector<uint8_t> levels;
    int32_t text = 0;
    int64_t n = 0;
    QString why;
    while (reader.NextText(text, n, &why)) {
        codes.clear();
        levels.clear();
        int64_t base = 0; // the token of the text at codes[0]
        int64_t next = 0; // the first node not visited yet
        for (int64_t read = 0; read < n;) {
            if (!steps.Step(walked + read, all)) {
                if (cancelled)
                    *cancelled = true;
                return true;
            }
            const auto k = std::size_t(std::min<int64_t>(int64_t(kStretch), n - read));
            const std::size_t held = codes.size();
            codes.resize(held + k);
            levels.resize(held + k);
            if (!reader.Read({codes.data() + held, k}, {levels.data() + held, k}, &why)) {
                if (error)
                    *error = why;
                return false;
            }
            read += int64_t(k);
            // Nodes whose tokens after them are read (all at the text's end).
            const int64_t to = read == n ? n : std::max<int64_t>(next, read - int64_t(after));
            visit(text, std::span<const uint32_t>(codes), std::span<const uint8_t>(levels), std::size_t(next - base),
                  std::size_t(to - base));
            next = to;
            // Keep the tokens the next nodes look back at.
            const int64_t keepFrom = std::max<int64_t>(base, next - int64_t(before));
            const auto drop = std::size_t(keepFrom - base);
            codes.erase(codes.begin(), codes.begin() + std::ptrdiff_t(drop));
            levels.erase(levels.begin(), levels.begin() + std::ptrdiff_t(drop));
            base = keepFrom;
        }
        walked += n;
    }
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

// A pair kept for the list: its codes, frequency and entry (its place among those kept).
struct TKeptPair {
    uint32_t a;
    uint32_t b;
    int64_t freq;
    uint32_t at;
};

// Sorts `v` a piece at a time, then merges the pieces pass by pass, showing
// the share done between them: a list of a million pairs takes seconds to
// order, and the window must stay alive and stoppable meanwhile. False when
// stopped (v is then in no particular order). `less` must order totally.
template <typename T, typename TLess>
bool SortInSteps(std::vector<T>& v, TLess less, TProgressSteps& steps)
{
    constexpr std::size_t kPiece = std::size_t(1) << 15;
    const std::size_t n = v.size();
    std::size_t passes = 1;
    for (std::size_t width = kPiece; width < n; width *= 2)
        ++passes;
    const auto all = int64_t(n * passes);
    int64_t done = 0;
    for (std::size_t from = 0; from < n; from += kPiece) {
        if (!steps.Step(done, all))
            return false;
        const std::size_t to = std::min(n, from + kPiece);
        std::sort(v.begin() + std::ptrdiff_t(from), v.begin() + std::ptrdiff_t(to), less);
        done += int64_t(to - from);
    }
    for (std::size_t width = kPiece; width < n; width *= 2) {
        for (std::size_t from = 0; from < n; from += 2 * width) {
            if (!steps.Step(done, all))
                return false;
            const std::size_t middle = std::min(n, from + width);
            const std::size_t to = std::min(n, from + 2 * width);
            std::inplace_merge(v.begin() + std::ptrdiff_t(from), v.begin() + std::ptrdiff_t(middle),
                               v.begin() + std::ptrdiff_t(to), less);
            done += int64_t(to - from);
        }
    }
    return true;
}

} // namespace

bool ComputeRelationships(const TIndexData& index, const std::vector<uint32_t>& nodes,
                          const std::vector<uint8_t>& stopTypes, const TRelationshipOptions& o,
                          TRelationshipsList& out, QString* error, bool* cancelled)
try {
    out.Clear();
    if (cancelled)
        *cancelled = false;
    out.TotalTokens = o.N;
    out.SpanLeft = o.left;
    out.SpanRight = o.right;
    const std::size_t codes = index.types.size() + kIndexFirstTypeCode;
    const double N = double(o.N);
    auto stop = [&](uint32_t type) { return type < stopTypes.size() && stopTypes[type] != 0; };
    auto tooFrequent = [&](uint32_t type) {
        return o.maxPercent > 0 && N > 0 && double(index.types[type].freq) * 100.0 / N > o.maxPercent;
    };
    // What each code may be: a node word (bit 1), a collocate (bit 2).
    std::vector<uint8_t> role(codes, 0);
    std::vector<uint8_t> isNode(codes, 0);
    for (uint32_t id : nodes)
        if (id < index.types.size())
            isNode[id + kIndexFirstTypeCode] = 1;
    for (uint32_t id = 0; id < index.types.size(); ++id) {
        const TIndexType& t = index.types[id];
        if (t.freq <= 0 || (o.omitNumbers && t.IsNumber()) || tooFrequent(id))
            continue;
        const uint32_t c = id + kIndexFirstTypeCode;
        if ((nodes.empty() || isNode[c]) && !((o.stopListMode & 1) && stop(id)))
            role[c] |= 1;
        if (!((o.stopListMode & 2) && stop(id)) && t.freq >= o.minWord2Freq)
            role[c] |= 2;
    }

    TFlatMap64<TPairCount> pairs(nodes.empty() ? 1u << 16 : nodes.size() * 64);
    const int stopLevel = o.stopLevel;
    QString walkError;
    // The walk is most of the work; the pairs' scores and their order the rest.
    TProgressSteps walking(0, 80);
    bool stopped = false;
    // The texts a stretch at a time: a text of any length takes the same memory.
    const bool ok = WalkInStretches(
        index, std::size_t(std::max(0, o.left)), std::size_t(std::max(0, o.right)),
        [&](int32_t t, std::span<const uint32_t> c, std::span<const uint8_t> levels, std::size_t from, std::size_t to) {
            const auto n = std::ptrdiff_t(c.size());
            for (auto i = std::ptrdiff_t(from); i < std::ptrdiff_t(to); ++i) {
                const uint32_t a = c[std::size_t(i)];
                if (!(role[a] & 1))
                    continue;
                auto count = [&](std::ptrdiff_t j) {
                    const uint32_t b = c[std::size_t(j)];
                    if (!(role[b] & 2) || (o.omitEqual && a == b))
                        return;
                    TPairCount& p = pairs[(uint64_t(a) << 32) | b];
                    ++p.count;
                    p.distances += j - i;
                    if (p.lastText != t) {
                        p.lastText = t;
                        ++p.texts;
                    }
                };
                for (std::ptrdiff_t j = i - 1; j >= 0 && j >= i - o.left; --j) {
                    if (!IndexJoined(levels, std::size_t(j + 1), stopLevel))
                        break;
                    count(j);
                }
                for (std::ptrdiff_t j = i + 1; j < n && j <= i + o.right; ++j) {
                    if (!IndexJoined(levels, std::size_t(j), stopLevel))
                        break;
                    count(j);
                }
            }
        },
        &walkError, &stopped, walking);
    if (!ok) {
        if (error)
            *error = walkError;
        return false;
    }
    // Stopped: no list made of the pairs counted so far.
    const auto leaveStopped = [&] {
        out.Clear();
        if (cancelled)
            *cancelled = true;
        return true;
    };
    if (stopped)
        return leaveStopped();

    const double span = double(o.left + o.right);
    const bool symmetric = o.left == o.right;
    std::vector<std::unique_ptr<TCVBaseListObject>> kept;
    std::vector<TKeptPair> order;
    TProgressSteps scoring(80, 90);
    std::size_t scored = 0;
    pairs.ForEach([&](uint64_t key, const TPairCount& p) {
        if (stopped || ((++scored & 0xFFF) == 0 && !scoring.Step(int64_t(scored), int64_t(pairs.Size())))) {
            stopped = true;
            return;
        }
        const auto a = uint32_t(key >> 32), b = uint32_t(key & 0xFFFFFFFFu);
        const TIndexType& ta = index.types[IndexTypeOfCode(a)];
        const TIndexType& tb = index.types[IndexTypeOfCode(b)];
        if (int64_t(p.count) < o.minJoint || int32_t(p.texts) < o.minTexts)
            return;
        if (o.omitEqual && ta.word == tb.word)
            return;
        // Each pair of two node words once, unless both ways are wanted.
        if (!o.bothWays && symmetric && a != b && (role[b] & 1) && (nodes.empty() || isNode[b])) {
            const int cmp = QString::compare(ta.word, tb.word);
            if (cmp > 0 || (cmp == 0 && a > b))
                return;
        }
        const TAssociationScores scores = AssociationScores(double(p.count), double(ta.freq), double(tb.freq), N, span);
        if (!PassesAssociationThresholds(scores, o.thresholds, o.anyThreshold))
            return;
        auto e = std::make_unique<TRelationshipEntry>(&out);
        TMIDataRec& d = e->fData;
        d.Word1 = ta.word;
        d.Word2 = tb.word;
        d.Freq = int64_t(p.count);
        d.Freq1 = ta.freq;
        d.Freq2 = tb.freq;
        d.Texts = int32_t(p.texts);
        d.Gap = int32_t(std::lround(double(p.distances) / double(p.count)));
        for (int k = 0; k < kAssociationCount; ++k)
            d.Scores[std::size_t(k)] = float(scores[std::size_t(k)]);
        order.push_back({a, b, int64_t(p.count), uint32_t(kept.size())});
        kept.push_back(std::move(e));
    });
    if (stopped)
        return leaveStopped();
    // By the first word, the most frequent pairs first, then by the second
    // word; the codes settle what the words leave equal. The words are
    // compared only where the codes differ: a pair's entry is not touched.
    const auto wordOf = [&](uint32_t code) -> const QString& { return index.types[IndexTypeOfCode(code)].word; };
    const auto before = [&](const TKeptPair& x, const TKeptPair& y) {
        if (x.a != y.a)
            if (const int c = QString::compare(wordOf(x.a), wordOf(y.a)); c != 0)
                return c < 0;
        if (x.freq != y.freq)
            return x.freq > y.freq;
        if (x.b != y.b)
            if (const int c = QString::compare(wordOf(x.b), wordOf(y.b)); c != 0)
                return c < 0;
        return x.a != y.a ? x.a < y.a : x.b < y.b;
    };
    TProgressSteps sorting(90, 100);
    if (!SortInSteps(order, before, sorting))
        return leaveStopped();
    for (const TKeptPair& k : order)
        out.Add(std::move(kept[k.at]));
    out.ClearChangeMark();
    return true;
} catch (const std::bad_alloc&) {
    out.Clear();
    if (error)
        *error = NotEnoughMemoryText(QStringLiteral("compute the relationships"));
    return false;
}

} // namespace cv
