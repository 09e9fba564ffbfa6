#include "wordlist/detailed_consistency.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <bit>
#include <cmath>

#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"

namespace cv {

namespace {

constexpr uint8_t kDCMagic[4] = {'C', 'V', 'D', 'C'};
constexpr uint16_t kDCLayout = 1;

// Least bytes of one source-list record and of one cell in the stream.
constexpr int64_t kMinListBytes = 4 + 2 + 8;
constexpr int64_t kCellBytes = 4 + 8;

// Grid columns of the detailed-consistency list.
enum : int { kColN = 0, kColWord = 1, kColTexts = 2, kColTotal = 3, kColSet = 4 };
// Grid columns of the relations list.
enum : int { kRelColWord1 = 1, kRelColWord2 = 2, kRelColJoint = 3, kRelColTexts1 = 4, kRelColTexts2 = 5, kRelColDice = 6 };

const TDetailedConsistencyList* dcOwner(const TCVBaseListObject& e)
{
    return static_cast<const TDetailedConsistencyList*>(e.Owner());
}

// An entry's figures with the forms joined under it added in.
const TDetailedConsistencyEntry& formOf(const TDetailedConsistencyEntry& e, int j)
{
    return static_cast<const TDetailedConsistencyEntry&>(*e.JoinedEntry(j));
}

int64_t combinedTotal(const TDetailedConsistencyEntry& e)
{
    int64_t total = e.fTotal;
    for (int j = 0; j < e.JoinedCount(); ++j)
        total += formOf(e, j).fTotal;
    return total;
}

int64_t combinedFreq(const TDetailedConsistencyEntry& e, int k)
{
    int64_t f = e.Freq(k);
    for (int j = 0; j < e.JoinedCount(); ++j)
        f += formOf(e, j).Freq(k);
    return f;
}

int32_t combinedTexts(const TDetailedConsistencyEntry& e)
{
    if (e.JoinedCount() == 0)
        return e.fTexts;
    std::vector<int32_t> lists;
    for (const TDCCell& c : e.fCells)
        lists.push_back(c.list);
    for (int j = 0; j < e.JoinedCount(); ++j)
        for (const TDCCell& c : formOf(e, j).fCells)
            lists.push_back(c.list);
    std::sort(lists.begin(), lists.end());
    return int32_t(std::unique(lists.begin(), lists.end()) - lists.begin());
}

// The first `n` headings of a list type's standard grid.
QStringList standardHeadings(uint8_t listType, int n) { return StandardGridHeaderArray(listType).mid(0, n); }

} // namespace

// ---- entries -------------------------------------------------------------------

int64_t TDetailedConsistencyEntry::Freq(int k) const
{
    const auto it = std::lower_bound(fCells.begin(), fCells.end(), k,
                                     [](const TDCCell& c, int list) { return c.list < list; });
    return (it != fCells.end() && it->list == k) ? it->freq : 0;
}

void TDetailedConsistencyEntry::AddFreq(int k, int64_t freq)
{
    if (freq <= 0)
        return;
    auto it = std::lower_bound(fCells.begin(), fCells.end(), k,
                               [](const TDCCell& c, int list) { return c.list < list; });
    if (it != fCells.end() && it->list == k) {
        it->freq += freq;
    } else {
        fCells.insert(it, TDCCell{k, freq});
        ++fTexts;
    }
    fTotal += freq;
}

QString TDetailedConsistencyEntry::GetAWordAsString(int column) const
{
    return column == kColWord ? fWord : TCVBaseListObject::GetAWordAsString(column);
}

void TDetailedConsistencyEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == kColWord)
        fWord = text;
}

bool TDetailedConsistencyEntry::SaveToStream(TStream& s) const
{
    // Texts and total follow from the cells; they are not stored twice.
    if (!WriteAString(s, fWord) || !s.WriteCount(int64_t(fCells.size())))
        return false;
    for (const TDCCell& c : fCells)
        if (!s.WriteI32(c.list) || !s.WriteI64(c.freq))
            return false;
    return true;
}

bool TDetailedConsistencyEntry::ReadFromStream(TStream& s)
{
    const int lists = dcOwner(*this)->ListCount();
    int32_t n = 0;
    if (!ReadAString(s, fWord) || !s.ReadCount(n, kCellBytes) || n > lists)
        return false;
    fCells.clear();
    fCells.reserve(size_t(n));
    fTexts = 0;
    fTotal = 0;
    for (int32_t i = 0; i < n; ++i) {
        TDCCell c;
        if (!s.ReadI32(c.list) || !s.ReadI64(c.freq))
            return false;
        // Lists in ascending order, inside the list's sources, frequencies above 0.
        if (c.list < 0 || c.list >= lists || (!fCells.empty() && c.list <= fCells.back().list) || c.freq <= 0
            || fTotal > INT64_MAX - c.freq)
            return false;
        fCells.push_back(c);
        ++fTexts;
        fTotal += c.freq;
    }
    return true;
}

QString TConsistencyRelationEntry::GetAWordAsString(int column) const
{
    if (column == kRelColWord1)
        return fWord1;
    if (column == kRelColWord2)
        return fWord2;
    return TCVBaseListObject::GetAWordAsString(column);
}

void TConsistencyRelationEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == kRelColWord1)
        fWord1 = text;
    else if (column == kRelColWord2)
        fWord2 = text;
}

bool TConsistencyRelationEntry::SaveToStream(TStream& s) const
{
    return WriteAString(s, fWord1) && WriteAString(s, fWord2) && s.WriteI32(fJointTexts) && s.WriteI32(fTexts1)
           && s.WriteI32(fTexts2) && s.WriteF64(fDice);
}

bool TConsistencyRelationEntry::ReadFromStream(TStream& s)
{
    if (!ReadAString(s, fWord1) || !ReadAString(s, fWord2) || !s.ReadI32(fJointTexts) || !s.ReadI32(fTexts1)
        || !s.ReadI32(fTexts2) || !s.ReadF64(fDice))
        return false;
    return fJointTexts >= 0 && fJointTexts <= std::min(fTexts1, fTexts2) && std::isfinite(fDice) && fDice >= 0
           && fDice <= 1;
}

// ---- the relations list -----------------------------------------------------------

TConsistencyRelationsList::TConsistencyRelationsList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TConsistencyRelationEntry>(&l); },
          kListConsistencyRelations, toolSignature, kVersion)
{
    SetGridHeadings(standardHeadings(kListConsistencyRelations, 7));
    AddSetColumn(StandardGridHeaderArray(kListConsistencyRelations).value(7, QStringLiteral("Set")));
    SetWordColumn(kRelColWord1);
    SetCloudColumn(kRelColJoint);
    SetSortSettingsToDefault();
}

TConsistencyRelationEntry& TConsistencyRelationsList::Relation(int i) const
{
    return static_cast<TConsistencyRelationEntry&>((*this)[i]);
}

void TConsistencyRelationsList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    if (column == kRelColWord2 && row >= 0 && row < Count()) {
        rec = {};
        rec.text = Relation(row).fWord2;
        return;
    }
    if (column == kRelColDice && row >= 0 && row < Count()) {
        rec = {};
        NumberCell(rec, Relation(row).fDice, false, 3);
        return;
    }
    if (column >= kRelColJoint && column <= kRelColTexts2 && row >= 0 && row < Count()) {
        rec = {};
        NumberCell(rec, NumericalData(row, column), true);
        return;
    }
    TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
}

double TConsistencyRelationsList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TConsistencyRelationEntry& r = Relation(row);
    switch (column) {
    case kRelColJoint:
        return r.fJointTexts;
    case kRelColTexts1:
        return r.fTexts1;
    case kRelColTexts2:
        return r.fTexts2;
    case kRelColDice:
        return r.fDice;
    default:
        return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

int TConsistencyRelationsList::HeaderColumnToSortNeeded(int column) const
{
    switch (column) {
    case kRelColWord1:
        return kRelSortWord1;
    case kRelColWord2:
        return kRelSortWord2;
    case kRelColJoint:
        return kRelSortJointTexts;
    case kRelColTexts1:
        return kRelSortTexts1;
    case kRelColTexts2:
        return kRelSortTexts2;
    case kRelColDice:
        return kRelSortDice;
    default:
        return IsASetColumnColumn(column) ? TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column)
                                          : kDCSortNone;
    }
}

void TConsistencyRelationsList::SetSortSettingsToDefault()
{
    Set1Sort(0, kRelSortDice);
    SetSortAscending(0, false);
    Set1Sort(1, kRelSortJointTexts);
    SetSortAscending(1, false);
    Set1Sort(2, kRelSortWord1);
    SetSortAscending(2, true);
}

TSortKeyKind TConsistencyRelationsList::KindOfSortKey(int32_t key) const
{
    if (key == kRelSortWord1 || key == kRelSortWord2)
        return TSortKeyKind::Text;
    if (key >= kRelSortJointTexts && key <= kRelSortDice)
        return TSortKeyKind::Number;
    return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
}

QString TConsistencyRelationsList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == kRelSortWord2)
        return static_cast<const TConsistencyRelationEntry&>(e).fWord2;
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TConsistencyRelationsList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& r = static_cast<const TConsistencyRelationEntry&>(e);
    switch (key) {
    case kRelSortJointTexts:
        return r.fJointTexts;
    case kRelSortTexts1:
        return r.fTexts1;
    case kRelSortTexts2:
        return r.fTexts2;
    case kRelSortDice:
        return r.fDice;
    default:
        return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

// ---- the detailed-consistency list ------------------------------------------------

TDetailedConsistencyList::TDetailedConsistencyList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TDetailedConsistencyEntry>(&l); },
          kListDetailedConsistency, toolSignature, kVersion),
      fRelationsList(std::make_unique<TConsistencyRelationsList>(owner, toolSignature))
{
    SetGridHeadings(standardHeadings(kListDetailedConsistency, kColSet));
    AddSetColumn(StandardGridHeaderArray(kListDetailedConsistency).value(kColSet, QStringLiteral("Set")));
    SetWordColumn(kColWord);
    SetCloudColumn(kColTotal);
    SetSortSettingsToDefault();
}

TDetailedConsistencyList::~TDetailedConsistencyList() = default;

int64_t TDetailedConsistencyList::ListTokens(int k) const
{
    return (k >= 0 && k < int(fListTokens.size())) ? fListTokens[size_t(k)] : 0;
}

int TDetailedConsistencyList::ListOfColumn(int column) const
{
    const int k = column - kFirstListColumn;
    return (k >= 0 && k < ListCount()) ? k : -1;
}

void TDetailedConsistencyList::ResetHeadings()
{
    QStringList h = GridHeadings().mid(0, kFirstListColumn);
    // "archive.zip|entry.lst" (a list inside a batch zip) is headed by its entry.
    for (const QString& name : fListNames)
        h << QFileInfo(name.section(u'|', -1)).completeBaseName();
    SetGridHeadings(h);
}

void TDetailedConsistencyList::ForgetSources()
{
    fListNames.clear();
    fListTokens.clear();
}

void TDetailedConsistencyList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    fRelationsList->Clear();
}

TDetailedConsistencyEntry& TDetailedConsistencyList::Entry(int i) const
{
    return static_cast<TDetailedConsistencyEntry&>((*this)[i]);
}

bool TDetailedConsistencyList::BuildFrom(const std::vector<TConsistencySource>& sources,
                                         const TConsistencyRelationSettings& relations, const TProgress& progress)
{
    Clear();
    ForgetSources();
    ResetHeadings();
    if (sources.size() < 2)
        return false;
    for (const TConsistencySource& src : sources) {
        fListNames << src.fileName;
        fListTokens.push_back(src.tokens);
    }

    QHash<QString, int> rowOfWord;
    std::vector<std::unique_ptr<TCVBaseListObject>>& items = Items();
    for (size_t k = 0; k < sources.size(); ++k) {
        for (const auto& [word, freq] : sources[k].words) {
            if (freq <= 0 || word.isEmpty())
                continue;
            auto it = rowOfWord.constFind(word);
            int row = 0;
            if (it == rowOfWord.constEnd()) {
                auto e = std::make_unique<TDetailedConsistencyEntry>(this);
                e->fWord = word;
                row = int(items.size());
                items.push_back(std::move(e));
                rowOfWord.insert(word, row);
            } else {
                row = *it;
            }
            static_cast<TDetailedConsistencyEntry&>(*items[size_t(row)]).AddFreq(int(k), freq);
        }
        MyYieldProcess();
        const bool goOn = !progress || progress(int((k + 1) * 90 / sources.size()));
        if (!goOn || global_panic_state.load() >= kPanicStopNow) {
            Clear();
            ForgetSources();
            ResetHeadings();
            return false;
        }
    }
    ResetHeadings();
    CompleteResort();
    ComputeRelations(relations);
    if (progress)
        progress(100);
    return true;
}

bool TDetailedConsistencyList::ComputeRelations(const TConsistencyRelationSettings& settings)
{
    fRelationsList->Clear();
    const int lists = ListCount();
    // The candidates: words in enough lists, the most frequent first.
    std::vector<int> rows;
    for (int i = 0; i < Count(); ++i) {
        const int32_t t = CombinedTexts(i);
        if (t >= settings.minTexts && !(settings.skipWordsInAllLists && t >= lists))
            rows.push_back(i);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return CombinedTotal(a) > CombinedTotal(b); });
    if (settings.maxWords >= 0 && rows.size() > size_t(settings.maxWords))
        rows.resize(size_t(settings.maxWords));

    // Each candidate's lists as a bit set, so a pair costs a few AND and popcounts.
    const size_t words64 = size_t(lists + 63) / 64;
    std::vector<uint64_t> bits(rows.size() * words64, 0);
    std::vector<int32_t> texts(rows.size(), 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        const TDetailedConsistencyEntry& e = Entry(rows[r]);
        auto mark = [&](const TDetailedConsistencyEntry& x) {
            for (const TDCCell& c : x.fCells)
                bits[r * words64 + size_t(c.list) / 64] |= uint64_t(1) << (c.list % 64);
        };
        mark(e);
        for (int j = 0; j < e.JoinedCount(); ++j)
            mark(formOf(e, j));
        for (size_t w = 0; w < words64; ++w)
            texts[r] += std::popcount(bits[r * words64 + w]);
    }

    struct Pair {
        int32_t a, b, joint;
        float dice;
    };
    std::vector<Pair> pairs;
    for (size_t a = 0; a < rows.size(); ++a) {
        if (a % 64 == 0) {
            MyYieldProcess();
            if (global_panic_state.load() >= kPanicStopNow)
                return false;
        }
        for (size_t b = a + 1; b < rows.size(); ++b) {
            int32_t joint = 0;
            for (size_t w = 0; w < words64; ++w)
                joint += std::popcount(bits[a * words64 + w] & bits[b * words64 + w]);
            if (joint < settings.minJointTexts || joint == 0)
                continue;
            const double dice = 2.0 * joint / double(texts[a] + texts[b]);
            if (dice + 1e-12 >= settings.minDice)
                pairs.push_back({int32_t(a), int32_t(b), joint, float(dice)});
        }
    }
    const auto stronger = [](const Pair& x, const Pair& y) {
        if (x.dice != y.dice)
            return x.dice > y.dice;
        if (x.joint != y.joint)
            return x.joint > y.joint;
        return x.a != y.a ? x.a < y.a : x.b < y.b;
    };
    if (settings.maxRelations >= 0 && pairs.size() > size_t(settings.maxRelations)) {
        std::nth_element(pairs.begin(), pairs.begin() + settings.maxRelations, pairs.end(), stronger);
        pairs.resize(size_t(settings.maxRelations));
    }
    for (const Pair& p : pairs) {
        auto rel = std::make_unique<TConsistencyRelationEntry>(fRelationsList.get());
        rel->fWord1 = Entry(rows[size_t(p.a)]).fWord;
        rel->fWord2 = Entry(rows[size_t(p.b)]).fWord;
        rel->fJointTexts = p.joint;
        rel->fTexts1 = texts[size_t(p.a)];
        rel->fTexts2 = texts[size_t(p.b)];
        // The exact value, not the float the ranking used.
        rel->fDice = 2.0 * p.joint / double(rel->fTexts1 + rel->fTexts2);
        fRelationsList->Add(std::move(rel));
    }
    fRelationsList->CompleteResort();
    return true;
}

TDetailedConsistencyData TDetailedConsistencyList::DetailedConsistencyData(int i) const
{
    TDetailedConsistencyData d;
    if (i < 0 || i >= Count())
        return d;
    const TDetailedConsistencyEntry& e = Entry(i);
    d.word = e.fWord;
    d.texts = e.fTexts;
    d.total = e.fTotal;
    d.freqs.assign(size_t(ListCount()), 0);
    for (const TDCCell& c : e.fCells)
        if (c.list < ListCount())
            d.freqs[size_t(c.list)] = c.freq;
    return d;
}

TDetailedConsistencyData TDetailedConsistencyList::CombinedData(int i) const
{
    TDetailedConsistencyData d = DetailedConsistencyData(i);
    if (i < 0 || i >= Count() || Entry(i).JoinedCount() == 0)
        return d;
    const TDetailedConsistencyEntry& e = Entry(i);
    for (int j = 0; j < e.JoinedCount(); ++j)
        for (const TDCCell& c : formOf(e, j).fCells)
            if (c.list < ListCount()) {
                d.freqs[size_t(c.list)] += c.freq;
                d.total += c.freq;
            }
    d.texts = int32_t(std::count_if(d.freqs.begin(), d.freqs.end(), [](int64_t f) { return f > 0; }));
    return d;
}

int32_t TDetailedConsistencyList::CombinedTexts(int i) const { return combinedTexts(Entry(i)); }

int64_t TDetailedConsistencyList::CombinedTotal(int i) const { return combinedTotal(Entry(i)); }

int64_t TDetailedConsistencyList::CombinedFreq(int i, int k) const { return combinedFreq(Entry(i), k); }

int32_t TDetailedConsistencyList::IntegerToDCSort(int column) const
{
    switch (column) {
    case kColWord:
        return kDCSortWord;
    case kColTexts:
        return kDCSortTexts;
    case kColTotal:
        return kDCSortTotal;
    default:
        break;
    }
    const int k = ListOfColumn(column);
    return k >= 0 ? kDCSortFirstList + k : kDCSortNone;
}

void TDetailedConsistencyList::SetThreeSorts(int32_t first, int32_t second, int32_t third)
{
    Set1Sort(0, first);
    Set1Sort(1, second);
    Set1Sort(2, third);
}

int TDetailedConsistencyList::HeaderColumnToSortNeeded(int column) const
{
    if (IsASetColumnColumn(column))
        return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    return IntegerToDCSort(column);
}

void TDetailedConsistencyList::SetSortSettingsToDefault()
{
    // The most consistent words first: in most lists, then most frequent.
    SetThreeSorts(kDCSortTexts, kDCSortTotal, kDCSortWord);
    SetSortAscending(0, false);
    SetSortAscending(1, false);
    SetSortAscending(2, true);
}

TSortKeyKind TDetailedConsistencyList::KindOfSortKey(int32_t key) const
{
    if (key == kDCSortTexts || key == kDCSortTotal || key >= kDCSortFirstList)
        return TSortKeyKind::Number;
    if (key == kDCSortWord)
        return TSortKeyKind::Text;
    return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
}

QString TDetailedConsistencyList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TDetailedConsistencyList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& d = static_cast<const TDetailedConsistencyEntry&>(e);
    if (key == kDCSortTexts)
        return combinedTexts(d);
    if (key == kDCSortTotal)
        return double(combinedTotal(d));
    if (key >= kDCSortFirstList)
        return double(combinedFreq(d, key - kDCSortFirstList));
    return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
}

double TDetailedConsistencyList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    if (column == kColTexts)
        return CombinedTexts(row);
    if (column == kColTotal)
        return double(CombinedTotal(row));
    if (const int k = ListOfColumn(column); k >= 0)
        return double(CombinedFreq(row, k));
    return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
}

int64_t TDetailedConsistencyList::RunningWordsOfColumn(int column) const
{
    if (const int k = ListOfColumn(column); k >= 0)
        return ListTokens(k);
    if (column != kColTotal)
        return 0;
    int64_t all = 0;
    for (int k = 0; k < ListCount(); ++k) {
        // A list whose running words are not known leaves the total as counted.
        if (ListTokens(k) <= 0)
            return 0;
        all += ListTokens(k);
    }
    return all;
}

void TDetailedConsistencyList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    if (row >= 0 && row < Count() && (column == kColTexts || column == kColTotal || ListOfColumn(column) >= 0)) {
        rec = {};
        NumberCell(rec, NumericalData(row, column), true);
        return;
    }
    TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
}

bool TDetailedConsistencyList::SaveToStream(TStream& s)
{
    if (!s.WriteExact(kDCMagic, 4) || !s.WriteU16(kDCLayout) || !s.WriteCount(ListCount()))
        return false;
    for (int k = 0; k < ListCount(); ++k)
        if (!WriteAString(s, fListNames[k]) || !s.WriteI64(ListTokens(k)))
            return false;
    return s.WriteBool(fMarking) && TCVBaseLemmaMatchCapableList::SaveToStream(s) && fRelationsList->SaveToStream(s);
}

bool TDetailedConsistencyList::ReadFromStream(TStream& s)
{
    const auto fail = [this] {
        Clear();
        ForgetSources();
        ResetHeadings();
        return false;
    };
    uint8_t magic[4] = {};
    uint16_t layout = 0;
    int32_t lists = 0;
    if (!s.ReadExact(magic, 4) || !std::equal(magic, magic + 4, kDCMagic) || !s.ReadU16(layout) || layout < 1
        || layout > kDCLayout || !s.ReadCount(lists, kMinListBytes))
        return fail();
    QStringList names;
    std::vector<int64_t> tokens;
    for (int32_t k = 0; k < lists; ++k) {
        QString name;
        int64_t t = 0;
        if (!ReadAString(s, name) || !s.ReadI64(t) || t < 0)
            return fail();
        names << name;
        tokens.push_back(t);
    }
    bool marking = false;
    if (!s.ReadBool(marking))
        return fail();
    // The entries check their cells against the sources, so these come first.
    fListNames = names;
    fListTokens = tokens;
    fMarking = marking;
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s) || ListType() != kListDetailedConsistency)
        return fail();
    // Headings are stored: a list whose headings do not match its sources is damaged.
    if (ColumnCount() < kFirstListColumn + lists)
        return fail();
    if (!fRelationsList->ReadFromStream(s) || fRelationsList->ListType() != kListConsistencyRelations)
        return fail();
    return true;
}

} // namespace cv
