#include "model/base_list.h"

#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/resource_strings.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace cv {

namespace {

constexpr uint8_t kListMagic[4] = {'C', 'V', 'L', 'S'};
constexpr uint16_t kListLayout = 1;
// Keys of set columns: this base plus the set number.
constexpr int32_t kSortBySetBase = 1000;

// Each entry takes at least its flags, mark and match mark.
constexpr int64_t kMinEntryBytes = 3;

QCollator MakeCollator(const QString& name)
{
    QCollator c{QLocale(name)};
    c.setCaseSensitivity(Qt::CaseSensitive);
    return c;
}

} // namespace

// ---------------------------------------------------------------------------
// Entries

TCVBaseListObject::~TCVBaseListObject() = default;

TCVBaseListObject::Extras& TCVBaseListObject::extras()
{
    if (!fExtras)
        fExtras = std::make_unique<Extras>();
    return *fExtras;
}

void TCVBaseListObject::GetRelativeEntropyBasis()
{
    fDeleted = false;
    fMark = 0;
    fMatchMark = 0;
    if (fExtras)
        fExtras->categories.clear();
}

bool TCVBaseListObject::IsDuplicateOf(const TCVBaseListObject& other) const
{
    return MainWordAsPointer() == other.MainWordAsPointer();
}

double TCVBaseListObject::GetAValueAsSingle(int column) const
{
    if (!fOwner)
        return 0;
    const int row = fOwner->IndexOf(this);
    return row < 0 ? 0 : fOwner->NumericalData(row, column);
}

QString TCVBaseListObject::GetAWordAsString(int column) const
{
    if (!fOwner)
        return MainWordOnly();
    if (column == fOwner->WordColumn())
        return MainWordOnly();
    if (const int32_t set = fOwner->SetNumberOfColumn(column); set > 0)
        return Category(set);
    return {};
}

int TCVBaseListObject::JoinedCount() const
{
    return fExtras ? int(fExtras->joined.size()) : 0;
}

TCVBaseListObject* TCVBaseListObject::JoinedEntry(int i) const
{
    return (fExtras && i >= 0 && i < int(fExtras->joined.size())) ? fExtras->joined[size_t(i)].get() : nullptr;
}

const std::vector<TEntryCategory>& TCVBaseListObject::Categories() const
{
    static const std::vector<TEntryCategory> none;
    return fExtras ? fExtras->categories : none;
}

QString TCVBaseListObject::Category(int32_t setNumber) const
{
    for (const auto& c : Categories())
        if (c.setNumber == setNumber)
            return c.text;
    return {};
}

// ---------------------------------------------------------------------------
// Lists: entries

TCVBaseDataClass::TCVBaseDataClass(TCorvantisholder* owner, TEntryFactory factory, uint8_t listType,
                                   uint32_t toolSignature, int32_t version)
    : fHolder(owner), fFactory(std::move(factory)), fListType(listType), fToolSignature(toolSignature),
      fVersion(version)
{
    fSorts[0] = {kSortByWord, true};
}

TCVBaseDataClass::~TCVBaseDataClass()
{
    // Whatever still shows the list lets go of it before anything of it goes.
    while (!fWatches.empty()) {
        TListWatch* watch = fWatches.back();
        fWatches.pop_back();
        watch->fList = nullptr;
        if (watch->fGone)
            watch->fGone();
    }
    // Undo steps may hold entries whose destructors look at nothing of ours; drop them first.
    fUndo.clear();
    fRedo.clear();
}

void TCVBaseDataClass::SetRowsWithoutEntries(int rows)
{
    ClearUndo();
    fItems.clear();
    fRowsWithoutEntries = std::max(0, rows);
    fColumnTotalsValid = false;
}

void TCVBaseDataClass::MakeEntriesNow() const
{
    std::vector<std::unique_ptr<TCVBaseListObject>> made;
    made.reserve(size_t(fRowsWithoutEntries));
    MakeEntriesOfRows(made);
    assert(made.size() == size_t(fRowsWithoutEntries));
    for (auto& e : made)
        e->fOwner = const_cast<TCVBaseDataClass*>(this);
    fRowsWithoutEntries = 0;
    fItems = std::move(made);
}

void TListWatch::Watch(const TCVBaseDataClass* list)
{
    if (list == fList)
        return;
    if (fList)
        std::erase(fList->fWatches, this);
    fList = list;
    if (fList)
        fList->fWatches.push_back(this);
}

TCVBaseListObject* TCVBaseDataClass::Get(int i) const
{
    return (i >= 0 && i < Count()) ? Entries()[size_t(i)].get() : nullptr;
}

int TCVBaseDataClass::IndexOf(const TCVBaseListObject* entry) const
{
    if (fRowsWithoutEntries > 0)
        return -1; // no entry is the list's yet
    for (size_t i = 0; i < fItems.size(); ++i)
        if (fItems[i].get() == entry)
            return int(i);
    return -1;
}

std::unique_ptr<TCVBaseListObject> TCVBaseDataClass::NewEntry()
{
    if (fFactory)
        return fFactory(*this);
    return std::make_unique<TCVBaseListObject>(this);
}

int TCVBaseDataClass::Add(std::unique_ptr<TCVBaseListObject> entry)
{
    entry->fOwner = this;
    Entries().push_back(std::move(entry));
    return Count() - 1;
}

void TCVBaseDataClass::Insert(int index, std::unique_ptr<TCVBaseListObject> entry)
{
    entry->fOwner = this;
    index = std::clamp(index, 0, Count());
    auto& items = Entries();
    items.insert(items.begin() + index, std::move(entry));
}

std::unique_ptr<TCVBaseListObject> TCVBaseDataClass::Extract(int i)
{
    if (i < 0 || i >= Count())
        return nullptr;
    auto& items = Entries();
    auto out = std::move(items[size_t(i)]);
    items.erase(items.begin() + i);
    return out;
}

void TCVBaseDataClass::Remove(int i)
{
    if (i < 0 || i >= Count())
        return;
    ClearUndo();
    auto& items = Entries();
    items.erase(items.begin() + i);
}

int TCVBaseDataClass::RemoveIf(const std::function<bool(const TCVBaseListObject&)>& pred)
{
    auto& items = Entries();
    const auto before = items.size();
    std::erase_if(items, [&](const std::unique_ptr<TCVBaseListObject>& e) { return pred(*e); });
    const int removed = int(before - items.size());
    if (removed > 0) {
        ClearUndo();
        DoPostJoinOrUnjoiningOperation();
    }
    return removed;
}

void TCVBaseDataClass::Clear()
{
    ClearUndo();
    fRowsWithoutEntries = 0;
    fItems.clear();
    fCloudReadPosition = 0;
    ResetValueRange();
}

// ---------------------------------------------------------------------------
// Cells, values, words

void TCVBaseDataClass::NumberCell(TDrawgridDataRec& rec, double v, bool integer, int decimals)
{
    rec.value = v;
    rec.isNumber = true;
    rec.isInteger = integer;
    rec.text = integer ? QString::number(int64_t(std::llround(v))) : QString::number(v, 'f', decimals);
}

void TCVBaseDataClass::ShowNumberAs(TNumberDisplay display, int column, TDrawgridDataRec& rec) const
{
    if (display == kNumbersAsCounted || !rec.isNumber || !rec.isInteger)
        return;
    const int64_t runningWords = RunningWordsOfColumn(column);
    if (runningWords <= 0)
        return;
    int decimals = 4;
    double scale = 100;
    switch (display) {
    case kNumbersPercent: break;
    case kNumbersPerThousand: decimals = 3, scale = 1e3; break;
    case kNumbersPerMillion: decimals = 2, scale = 1e6; break;
    default: return;
    }
    NumberCell(rec, rec.value * scale / double(runningWords), false, decimals);
}

void TCVBaseDataClass::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    const TCVBaseListObject* e = Get(row);
    if (!e)
        return;
    if (column == 0) {
        NumberCell(rec, row + 1, true);
    } else if (column == fWordColumn) {
        rec.text = e->MainWordOnly();
    } else if (const int32_t set = SetNumberOfColumn(column); set > 0) {
        for (const auto& c : e->Categories())
            if (c.setNumber == set) {
                rec.text = c.text;
                rec.background = c.colour;
            }
    } else {
        NumberCell(rec, NumericalData(row, column), false);
    }
}

double TCVBaseDataClass::NumericalData(int row, int column) const
{
    if (column == 0)
        return row + 1;
    if (const int32_t set = SetNumberOfColumn(column); set > 0) {
        // A category typed as a number counts as that number.
        const TCVBaseListObject* e = Get(row);
        bool ok = false;
        const double v = e ? e->Category(set).toDouble(&ok) : 0;
        return ok ? v : 0;
    }
    return 0;
}

void TCVBaseDataClass::ShowColumnTotals()
{
    fColumnTotalsShown = true;
    ComputeColumnTotals();
}

void TCVBaseDataClass::ComputeColumnTotals() const
{
    const int columns = ColumnCount();
    std::vector<double> sums(size_t(std::max(columns, 0)), 0.0);
    std::vector<bool> numeric(sums.size(), false), whole(sums.size(), true);
    int summed = 0;
    TDrawgridDataRec rec;
    for (int i = 0; i < Count(); ++i) {
        if (GetDeleted(i))
            continue;
        ++summed;
        for (int c = 1; c < columns; ++c) {
            DrawgridDataRec(i, c, 0, rec);
            if (!rec.isNumber)
                continue;
            numeric[size_t(c)] = true;
            whole[size_t(c)] = whole[size_t(c)] && rec.isInteger;
            sums[size_t(c)] += rec.value;
        }
    }
    fColumnTotals.assign(size_t(std::max(columns, 0)), TDrawgridDataRec{});
    for (int c = 1; c < columns; ++c) {
        TDrawgridDataRec& t = fColumnTotals[size_t(c)];
        if (c == WordColumn())
            t.text = Format(CVTotalN, {summed});
        else if (numeric[size_t(c)])
            NumberCell(t, sums[size_t(c)], whole[size_t(c)]);
    }
    fColumnTotalsValid = true;
}

void TCVBaseDataClass::TotalsCell(int column, TDrawgridDataRec& rec) const
{
    rec = {};
    if (!fColumnTotalsShown || column < 0 || column >= ColumnCount())
        return;
    if (!fColumnTotalsValid || fColumnTotals.size() != size_t(ColumnCount()))
        ComputeColumnTotals();
    rec = fColumnTotals[size_t(column)];
}

bool TCVBaseDataClass::HasPixelSize() const
{
    return std::any_of(fColumnPixels.begin(), fColumnPixels.end(), [](int w) { return w > 0; });
}

int TCVBaseDataClass::ColumnPixelWidth(int column) const
{
    return column >= 0 && std::size_t(column) < fColumnPixels.size() ? fColumnPixels[std::size_t(column)] : 0;
}

void TCVBaseDataClass::SetPixelSize(int column, int pixels)
{
    if (column < 0)
        return;
    if (std::size_t(column) >= fColumnPixels.size())
        fColumnPixels.resize(std::size_t(column) + 1, 0);
    fColumnPixels[std::size_t(column)] = std::max(pixels, 0);
}

bool TCVBaseDataClass::ColumnVisible(int column) const
{
    return !(column >= 0 && std::size_t(column) < fColumnHidden.size() && fColumnHidden[std::size_t(column)]);
}

void TCVBaseDataClass::SetColumnVisible(int column, bool visible)
{
    if (column < 0)
        return;
    if (std::size_t(column) >= fColumnHidden.size())
        fColumnHidden.resize(std::size_t(column) + 1, 0);
    fColumnHidden[std::size_t(column)] = visible ? 0 : 1;
}

QString TCVBaseDataClass::EntryDetailsAsString(int row) const
{
    QStringList cells;
    TDrawgridDataRec rec;
    for (int c = 0; c < ColumnCount(); ++c) {
        DrawgridDataRec(row, c, 0, rec);
        cells << rec.text;
    }
    return cells.join(QLatin1Char('\t'));
}

template <typename F>
int TCVBaseDataClass::FirstRowWhoseWord(F&& matches) const
{
    if (fRowsWithoutEntries > 0) {
        for (int i = 0; i < fRowsWithoutEntries; ++i)
            if (matches(QStringView(MainWordOfRow(i))))
                return i;
        return -1;
    }
    for (size_t i = 0; i < fItems.size(); ++i)
        if (matches(fItems[i]->MainWordAsPointer()))
            return int(i);
    return -1;
}

QString TCVBaseDataClass::MainWordOfRow(int i) const
{
    const TCVBaseListObject* e = Get(i);
    return e ? e->MainWordOnly() : QString();
}

int TCVBaseDataClass::Find_Word(QStringView text) const
{
    return FirstRowWhoseWord([&](QStringView word) { return word == text; });
}

QString TCVBaseDataClass::GetSomeWordAsString(int row, int column) const
{
    if (fRowsWithoutEntries > 0) {
        // Rows without entries have no categories: only the word column holds text.
        return row >= 0 && row < fRowsWithoutEntries && column == fWordColumn ? MainWordOfRow(row) : QString();
    }
    const TCVBaseListObject* e = Get(row);
    return e ? e->GetAWordAsString(column) : QString();
}

bool TCVBaseDataClass::SetSomeWordAsString(int row, int column, const QString& text, bool undoable)
{
    TCVBaseListObject* e = Get(row);
    if (!e)
        return false;
    const QString old = e->GetAWordAsString(column);
    if (old == text)
        return true;
    e->SetAWordAsString(column, text);
    Touched();
    DoPostEditOfWord(*e);
    Record({[this, e, column, old] {
                e->SetAWordAsString(column, old);
                DoPostEditOfWord(*e);
            },
            [this, e, column, text] {
                e->SetAWordAsString(column, text);
                DoPostEditOfWord(*e);
            }},
           undoable, QStringLiteral("Edit"));
    return true;
}

int TCVBaseDataClass::Find_WordStr(const QString& text, bool caseSensitive) const
{
    const auto cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    return FirstRowWhoseWord([&](QStringView word) { return word.compare(text, cs) == 0; });
}

int TCVBaseDataClass::Find_PosWordStr(const QString& text) const
{
    const QCollator coll = MakeCollator(fCollationName);
    if (fSorts[0].key == kSortByWord && fSorts[0].ascending) {
        // The first row whose word is not before the text.
        int lo = 0, hi = Count();
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            const QString word = fRowsWithoutEntries > 0 ? MainWordOfRow(mid) : QString();
            if (coll.compare(fRowsWithoutEntries > 0 ? QStringView(word) : fItems[size_t(mid)]->MainWordAsPointer(), text) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    const int i = FirstRowWhoseWord([&](QStringView word) { return coll.compare(word, text) >= 0; });
    return i < 0 ? Count() : i;
}

void TCVBaseDataClass::GetNextCloudDatum(TWordFreqAndSourceNum& datum)
{
    if (fCloudReadPosition >= 0 && fCloudReadPosition < Count()) {
        GetOneCloudDatum(fCloudReadPosition, datum);
        ++fCloudReadPosition;
    } else {
        datum = {};
    }
}

void TCVBaseDataClass::GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const
{
    datum = {};
    if (const TCVBaseListObject* e = Get(i)) {
        datum.word = e->MainWordOnly();
        datum.frequency = int32_t(std::lround(NumericalData(i, fCloudColumn)));
        datum.number = i + 1;
    }
}

// ---------------------------------------------------------------------------
// Sorting

int TCVBaseDataClass::HeaderColumnToSortNeeded(int column) const
{
    if (column == fWordColumn)
        return kSortByWord;
    if (const int32_t set = SetNumberOfColumn(column); set > 0)
        return kSortBySetBase + set;
    return column;
}

TSortKeyKind TCVBaseDataClass::KindOfSortKey(int32_t key) const
{
    if (key < 0)
        return TSortKeyKind::None;
    if (key == kSortByWord || key > kSortBySetBase)
        return TSortKeyKind::Text;
    return TSortKeyKind::Number;
}

QString TCVBaseDataClass::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key > kSortBySetBase)
        return e.Category(key - kSortBySetBase);
    return e.MainWordOnly();
}

double TCVBaseDataClass::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    // Base: the value of the grid column the key names. Lists sort on their own keys.
    return NumericalData(row, key);
}

void TCVBaseDataClass::Set1Sort(int level, int32_t key)
{
    if (level >= 0 && level < kSortLevels)
        fSorts[size_t(level)].key = key;
}

void TCVBaseDataClass::SetSortSettingsToDefault()
{
    fSorts[0] = {kSortByWord, true};
    fSorts[1] = {};
    fSorts[2] = {};
}

void TCVBaseDataClass::SetSecondSortAsWordSort()
{
    fSorts[1] = {kSortByWord, true};
}

void TCVBaseDataClass::SetLocale(uint32_t lcid, const QString& collationName)
{
    fLCID = lcid;
    if (!collationName.isEmpty())
        fCollationName = collationName;
}

namespace {

// The steps a sort has done, told to the list's step (when there is one)
// every so many.
class TSortProgress {
public:
    TSortProgress(const TSortStep* step, int64_t all) : m_step(step && *step ? step : nullptr), m_all(all) {}
    // `by` more steps done; false once the sort is to stop.
    bool Advance(int64_t by)
    {
        m_done += by;
        return !m_step || (*m_step)(m_done, m_all);
    }

private:
    const TSortStep* m_step;
    int64_t m_all;
    int64_t m_done = 0;
};

// Entries between two questions whether to go on.
constexpr size_t kSortStepEntries = 4096;
// Entries sorted at once before the merges.
constexpr size_t kSortChunk = size_t(1) << 14;

size_t MergePasses(size_t n)
{
    size_t passes = 0;
    for (size_t width = kSortChunk; width < n; width *= 2)
        ++passes;
    return passes;
}

// `order` put in the stable order of `less`: chunks sorted one at a time,
// then merged pass by pass (a merge keeps the first run's equal elements
// first), the progress told after each. False, with `order` of no use,
// when the progress says stop.
template <typename Less>
bool StableSortInSteps(std::vector<int>& order, Less less, TSortProgress& progress)
{
    const size_t n = order.size();
    for (size_t a = 0; a < n; a += kSortChunk) {
        const size_t b = std::min(n, a + kSortChunk);
        std::stable_sort(order.begin() + std::ptrdiff_t(a), order.begin() + std::ptrdiff_t(b), less);
        if (!progress.Advance(int64_t(b - a)))
            return false;
    }
    if (n <= kSortChunk)
        return true;
    std::vector<int> merged(n);
    for (size_t width = kSortChunk; width < n; width *= 2) {
        for (size_t a = 0; a < n; a += 2 * width) {
            const auto from = order.begin() + std::ptrdiff_t(a);
            const auto middle = order.begin() + std::ptrdiff_t(std::min(n, a + width));
            const auto to = order.begin() + std::ptrdiff_t(std::min(n, a + 2 * width));
            std::merge(from, middle, middle, to, merged.begin() + std::ptrdiff_t(a), less);
            if (!progress.Advance(int64_t(to - from)))
                return false;
        }
        order.swap(merged);
    }
    return true;
}

} // namespace

TCVBaseDataClass::TSortInSteps::TSortInSteps(TCVBaseDataClass& list, TSortStep step)
    : m_list(list), m_step(std::move(step)), m_previous(list.fSortStep)
{
    m_list.fSortStep = &m_step;
    m_list.fSortStopped = false;
}

TCVBaseDataClass::TSortInSteps::~TSortInSteps() { m_list.fSortStep = m_previous; }

void TCVBaseDataClass::DoASort(int lastIndex)
{
    const int n = std::min(lastIndex + 1, Count());
    if (n < 2)
        return;
    SetBase();
    const QCollator coll = MakeCollator(fCollationName);

    int levelCount = 0;
    for (const TSortLevel& lvl : fSorts)
        levelCount += KindOfSortKey(lvl.key) != TSortKeyKind::None;
    if (levelCount == 0)
        return;
    // Steps: an entry's value on each level, then an entry in each pass of the sort.
    TSortProgress progress(fSortStep, int64_t(n) * (levelCount + 1 + int64_t(MergePasses(size_t(n)))));
    const auto stopped = [this] {
        fSortStopped = true;
        return;
    };

    // One comparison value per entry and level, computed once; the sort then compares values only.
    struct LevelValues {
        TSortKeyKind kind = TSortKeyKind::None;
        bool ascending = true;
        std::vector<double> numbers;
        std::vector<QCollatorSortKey> texts;
    };
    std::vector<LevelValues> levels;
    for (const TSortLevel& lvl : fSorts) {
        const TSortKeyKind kind = KindOfSortKey(lvl.key);
        if (kind == TSortKeyKind::None)
            continue;
        LevelValues v;
        v.kind = kind;
        v.ascending = lvl.ascending;
        const auto& items = Entries();
        if (kind == TSortKeyKind::Number)
            v.numbers.reserve(size_t(n));
        else
            v.texts.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            if (kind == TSortKeyKind::Number)
                v.numbers.push_back(SortNumber(*items[size_t(i)], i, lvl.key));
            else
                v.texts.push_back(coll.sortKey(SortText(*items[size_t(i)], i, lvl.key)));
            if ((size_t(i) + 1) % kSortStepEntries == 0 && !progress.Advance(kSortStepEntries))
                return stopped();
        }
        progress.Advance(int64_t(size_t(n) % kSortStepEntries));
        levels.push_back(std::move(v));
    }
    if (global_panic_state.load() >= kPanicStopNow)
        return stopped();

    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const auto less = [&](int a, int b) {
        for (const LevelValues& v : levels) {
            int c = 0;
            if (v.kind == TSortKeyKind::Number) {
                const double x = v.numbers[size_t(a)], y = v.numbers[size_t(b)];
                c = x < y ? -1 : (y < x ? 1 : 0);
            } else {
                c = v.texts[size_t(a)].compare(v.texts[size_t(b)]);
            }
            if (c != 0)
                return v.ascending ? c < 0 : c > 0;
        }
        return false;
    };
    if (!StableSortInSteps(order, less, progress))
        return stopped();
    auto& items = Entries();
    std::vector<std::unique_ptr<TCVBaseListObject>> sorted;
    sorted.reserve(size_t(n));
    for (int i : order)
        sorted.push_back(std::move(items[size_t(i)]));
    std::move(sorted.begin(), sorted.end(), items.begin());
}

void TCVBaseDataClass::PlaceEntry(TCVBaseListObject* e)
{
    const int at = IndexOf(e);
    if (at < 0)
        return;
    SetBase();
    const QCollator coll = MakeCollator(fCollationName);
    // Whether entry a comes before entry b by the sort levels (rows are not
    // looked at: lists whose keys depend on a row do not place entries).
    const auto before = [&](const TCVBaseListObject& a, const TCVBaseListObject& b) {
        for (const TSortLevel& lvl : fSorts) {
            int c = 0;
            switch (KindOfSortKey(lvl.key)) {
            case TSortKeyKind::None:
                continue;
            case TSortKeyKind::Text:
                c = coll.compare(SortText(a, -1, lvl.key), SortText(b, -1, lvl.key));
                break;
            case TSortKeyKind::Number: {
                const double x = SortNumber(a, -1, lvl.key), y = SortNumber(b, -1, lvl.key);
                c = x < y ? -1 : (y < x ? 1 : 0);
                break;
            }
            }
            if (c != 0)
                return lvl.ascending ? c < 0 : c > 0;
        }
        return false;
    };
    std::unique_ptr<TCVBaseListObject> taken = Extract(at);
    const auto& items = Entries();
    // After the entries it does not come before (equal ones keep theirs).
    const auto place = std::upper_bound(items.begin(), items.end(), taken,
                                        [&](const std::unique_ptr<TCVBaseListObject>& x,
                                            const std::unique_ptr<TCVBaseListObject>& y) { return before(*x, *y); });
    Insert(int(place - items.begin()), std::move(taken));
}

void TCVBaseDataClass::InsertPlaced(std::unique_ptr<TCVBaseListObject> entry, bool undoable, const QString& caption)
{
    TCVBaseListObject* e = entry.get();
    Add(std::move(entry));
    PlaceEntry(e);
    Touched();
    // The step keeps the entry alive while it is undone.
    auto held = std::make_shared<std::unique_ptr<TCVBaseListObject>>();
    Record({[this, e, held] { *held = Extract(IndexOf(e)); },
            [this, e, held] {
                Add(std::move(*held));
                PlaceEntry(e);
            }},
           undoable, caption);
}

void TCVBaseDataClass::EnsureAlphabeticalAscendingSort()
{
    fSorts[0] = {kSortByWord, true};
    fSorts[1] = {};
    fSorts[2] = {};
    const QCollator coll = MakeCollator(fCollationName);
    const auto& items = Entries();
    for (size_t i = 1; i < items.size(); ++i)
        if (coll.compare(items[i - 1]->MainWordAsPointer(), items[i]->MainWordAsPointer()) > 0) {
            CompleteResort();
            return;
        }
}

// ---------------------------------------------------------------------------
// Columns

void TCVBaseDataClass::ResetBaseHeadings(const QStringList& base)
{
    for (qsizetype c = 0; c < base.size(); ++c) {
        if (c < fGridHeadings.size())
            fGridHeadings[c] = base[c];
        else
            fGridHeadings << base[c];
    }
}

int TCVBaseDataClass::AddSetColumn(const QString& heading)
{
    int32_t next = 1;
    for (const auto& [col, set] : fSetColumns)
        next = std::max(next, set + 1);
    fGridHeadings << heading;
    const int column = ColumnCount() - 1;
    fSetColumns.emplace_back(column, next);
    if (fActiveSetColumn < 0)
        fActiveSetColumn = column;
    return column;
}

bool TCVBaseDataClass::DeleteSetColumn(int column)
{
    const int32_t set = SetNumberOfColumn(column);
    if (set <= 1)
        return false;
    for (int c = column + 1; c < ColumnCount(); ++c)
        if (!IsASetColumnColumn(c))
            return false;
    ClearCategories(set, false);
    fGridHeadings.removeAt(column);
    std::erase_if(fSetColumns, [&](const std::pair<int, int32_t>& s) { return s.first == column; });
    for (auto& [col, number] : fSetColumns)
        if (col > column)
            --col;
    const auto shiftOut = [column](auto& perColumn) {
        if (std::size_t(column) < perColumn.size())
            perColumn.erase(perColumn.begin() + column);
    };
    shiftOut(fColumnPixels);
    shiftOut(fColumnHidden);
    if (fActiveSetColumn == column)
        fActiveSetColumn = fSetColumns.empty() ? -1 : fSetColumns.front().first;
    else if (fActiveSetColumn > column)
        --fActiveSetColumn;
    Touched();
    return true;
}

int32_t TCVBaseDataClass::SetNumberOfColumn(int column) const
{
    for (const auto& [col, set] : fSetColumns)
        if (col == column)
            return set;
    return 0;
}

// ---------------------------------------------------------------------------
// Undo history

void TCVBaseDataClass::Record(UndoAction a, bool undoable, const QString& caption)
{
    if (!undoable)
        return;
    if (fOpenStep) {
        fOpenStep->actions.push_back(std::move(a));
        return;
    }
    UndoStep step;
    step.caption = caption;
    step.actions.push_back(std::move(a));
    fUndo.push_back(std::move(step));
    fRedo.clear();
    NotifyUndo(false);
}

void TCVBaseDataClass::BeginUndoStep(const QString& caption)
{
    if (!fOpenStep) {
        fOpenStep = std::make_unique<UndoStep>();
        fOpenStep->caption = caption;
    }
}

void TCVBaseDataClass::EndUndoStep()
{
    if (!fOpenStep)
        return;
    auto step = std::move(fOpenStep);
    if (step->actions.empty())
        return;
    fUndo.push_back(std::move(*step));
    fRedo.clear();
    NotifyUndo(false);
}

void TCVBaseDataClass::NotifyUndo(bool redo)
{
    if (!fUndoHandler)
        return;
    fUndoHandler(UndoCaption(), false, UndoCount());
    fUndoHandler(RedoCaption(), true, RedoCount());
}

bool TCVBaseDataClass::Undo()
{
    if (fUndo.empty())
        return false;
    UndoStep step = std::move(fUndo.back());
    fUndo.pop_back();
    for (auto it = step.actions.rbegin(); it != step.actions.rend(); ++it)
        it->undo();
    fRedo.push_back(std::move(step));
    Touched();
    DoPostJoinOrUnjoiningOperation();
    NotifyUndo(true);
    return true;
}

bool TCVBaseDataClass::Redo()
{
    if (fRedo.empty())
        return false;
    UndoStep step = std::move(fRedo.back());
    fRedo.pop_back();
    for (auto& a : step.actions)
        a.redo();
    fUndo.push_back(std::move(step));
    Touched();
    DoPostJoinOrUnjoiningOperation();
    NotifyUndo(false);
    return true;
}

void TCVBaseDataClass::ClearUndo()
{
    const bool had = !fUndo.empty() || !fRedo.empty();
    fUndo.clear();
    fRedo.clear();
    fOpenStep.reset();
    if (had)
        NotifyUndo(false);
}

// ---------------------------------------------------------------------------
// Edits

void TCVBaseDataClass::DeleteARange(const std::vector<int>& rows, bool deleted, bool undoable)
{
    BeginUndoStep(deleted ? QStringLiteral("Delete") : QStringLiteral("Restore"));
    for (int r : rows)
        SetDeleted(r, deleted, undoable);
    EndUndoStep();
}

namespace {
using Owned = std::unique_ptr<TCVBaseListObject>;

// Puts entries back at the indices they had (ascending), in one pass.
void InsertAtIndices(std::vector<Owned>& items, std::vector<std::pair<int, Owned>> back)
{
    if (back.empty())
        return;
    std::vector<Owned> merged;
    merged.reserve(items.size() + back.size());
    size_t src = 0;
    for (auto& [index, entry] : back) {
        while (int(merged.size()) < index && src < items.size())
            merged.push_back(std::move(items[src++]));
        merged.push_back(std::move(entry));
    }
    while (src < items.size())
        merged.push_back(std::move(items[src++]));
    items = std::move(merged);
}

// Takes out, in one pass, the entries in `which`, with the indices they had.
std::vector<std::pair<int, Owned>> ExtractSet(std::vector<Owned>& items,
                                              const std::unordered_set<const TCVBaseListObject*>& which)
{
    std::vector<std::pair<int, Owned>> out;
    std::vector<Owned> kept;
    kept.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (which.count(items[i].get()))
            out.emplace_back(int(i), std::move(items[i]));
        else
            kept.push_back(std::move(items[i]));
    }
    items = std::move(kept);
    return out;
}
} // namespace

int TCVBaseDataClass::Zap(bool undoable)
{
    std::unordered_set<const TCVBaseListObject*> gone;
    for (const auto& e : Entries())
        if (e->fDeleted)
            gone.insert(e.get());
    if (gone.empty())
        return 0;
    auto removed = ExtractSet(Entries(), gone);
    const int n = int(removed.size());
    Touched();
    DoPostJoinOrUnjoiningOperation();
    if (!undoable) {
        ClearUndo();
        return n;
    }
    // The step keeps the zapped entries alive until it is dropped.
    auto held = std::make_shared<std::vector<std::pair<int, Owned>>>(std::move(removed));
    auto ptrs = std::make_shared<std::unordered_set<const TCVBaseListObject*>>(std::move(gone));
    Record({[this, held] { InsertAtIndices(Entries(), std::move(*held)); held->clear(); },
            [this, held, ptrs] { *held = ExtractSet(Entries(), *ptrs); }},
           true, QStringLiteral("Zap"));
    return n;
}

template <typename T>
void TCVBaseDataClass::SetEntryField(int i, T TCVBaseListObject::*field, T value, bool undoable, const QString& caption)
{
    TCVBaseListObject* e = Get(i);
    if (!e || e->*field == value)
        return;
    const T old = e->*field;
    e->*field = value;
    Touched();
    Record({[e, field, old] { e->*field = old; }, [e, field, value] { e->*field = value; }}, undoable, caption);
}

void TCVBaseDataClass::SetDeleted(int i, bool deleted, bool undoable)
{
    SetEntryField(i, &TCVBaseListObject::fDeleted, deleted, undoable,
                  deleted ? QStringLiteral("Delete") : QStringLiteral("Restore"));
}

void TCVBaseDataClass::SetMarcacao(int i, uint8_t mark, bool undoable)
{
    SetEntryField(i, &TCVBaseListObject::fMark, mark, undoable, QStringLiteral("Mark"));
}

void TCVBaseDataClass::ClearMarcacao(bool undoable)
{
    BeginUndoStep(QStringLiteral("Unmark"));
    for (int i = 0; i < Count(); ++i)
        SetMarcacao(i, 0, undoable);
    EndUndoStep();
}

int TCVBaseDataClass::MarkCount() const
{
    if (fRowsWithoutEntries > 0)
        return 0;
    return int(std::count_if(fItems.begin(), fItems.end(), [](const Owned& e) { return e->fMark != 0; }));
}

void TCVBaseDataClass::SetMatchMark(int i, uint8_t mark, bool undoable)
{
    SetEntryField(i, &TCVBaseListObject::fMatchMark, mark, undoable, QStringLiteral("Match"));
}

void TCVBaseDataClass::SetACategoryAndColour(int i, int32_t setNumber, const QString& text, uint32_t colour,
                                             bool undoable)
{
    TCVBaseListObject* e = Get(i);
    if (!e || setNumber <= 0)
        return;
    auto apply = [e, setNumber](const std::optional<TEntryCategory>& c) {
        auto& cats = e->extras().categories;
        std::erase_if(cats, [&](const TEntryCategory& x) { return x.setNumber == setNumber; });
        if (c)
            cats.push_back(*c);
    };
    std::optional<TEntryCategory> old;
    for (const auto& c : e->Categories())
        if (c.setNumber == setNumber)
            old = c;
    std::optional<TEntryCategory> now;
    if (!text.isEmpty() || colour != 0)
        now = TEntryCategory{setNumber, text, colour};
    apply(now);
    Touched();
    Record({[apply, old] { apply(old); }, [apply, now] { apply(now); }}, undoable, QStringLiteral("Category"));
}

void TCVBaseDataClass::SetACategoryString(int i, int32_t setNumber, const QString& text, bool undoable)
{
    const TCVBaseListObject* e = Get(i);
    if (!e)
        return;
    uint32_t colour = 0;
    for (const auto& c : e->Categories())
        if (c.setNumber == setNumber)
            colour = c.colour;
    SetACategoryAndColour(i, setNumber, text, colour, undoable);
}

void TCVBaseDataClass::ClearACategory(int i, int32_t setNumber, bool undoable)
{
    SetACategoryAndColour(i, setNumber, QString(), 0, undoable);
}

void TCVBaseDataClass::ClearCategories(int32_t setNumber, bool undoable)
{
    BeginUndoStep(QStringLiteral("Clear categories"));
    for (int i = 0; i < Count(); ++i) {
        const auto& cats = Entries()[size_t(i)]->Categories();
        if (std::any_of(cats.begin(), cats.end(), [&](const TEntryCategory& c) { return c.setNumber == setNumber; }))
            ClearACategory(i, setNumber, undoable);
    }
    EndUndoStep();
}

void TCVBaseDataClass::JoinEntries(TCVBaseListObject* head, std::unique_ptr<TCVBaseListObject> form)
{
    auto& headForms = head->extras().joined;
    if (form->fExtras) {
        for (auto& sub : form->fExtras->joined) {
            sub->fJoinedTo = head;
            headForms.push_back(std::move(sub));
        }
        form->fExtras->joined.clear();
    }
    form->fJoinedTo = head;
    headForms.push_back(std::move(form));
}

int TCVBaseDataClass::JoinARange(const std::vector<int>& rows, bool undoable)
{
    return JoinGroups({rows}, undoable, QStringLiteral("Join"));
}

int TCVBaseDataClass::JoinGroups(const std::vector<std::vector<int>>& groups, bool undoable, const QString& caption)
{
    // Heads first: an entry that heads a group is never a form in the same batch.
    std::unordered_map<const TCVBaseListObject*, TCVBaseListObject*> headOf; // form -> head
    std::unordered_map<TCVBaseListObject*, size_t> formsBefore;            // head -> its forms before
    for (const auto& g : groups)
        if (!g.empty())
            if (TCVBaseListObject* head = Get(g.front()))
                formsBefore.emplace(head, size_t(head->JoinedCount()));
    std::unordered_set<const TCVBaseListObject*> which;
    for (const auto& g : groups) {
        TCVBaseListObject* head = g.empty() ? nullptr : Get(g.front());
        if (!head)
            continue;
        for (size_t k = 1; k < g.size(); ++k) {
            TCVBaseListObject* f = Get(g[k]);
            if (f && !formsBefore.count(f) && headOf.emplace(f, head).second)
                which.insert(f);
        }
    }
    if (which.empty())
        return 0;

    struct JoinRec {
        TCVBaseListObject* head;
        TCVBaseListObject* form;
        std::vector<TCVBaseListObject*> itsForms; // forms it brought along
        int index;                                // where it stood
    };
    auto recs = std::make_shared<std::vector<JoinRec>>();
    // One pass takes every form out; each then goes under its head.
    for (auto& [index, form] : ExtractSet(Entries(), which)) {
        JoinRec r{headOf[form.get()], form.get(), {}, index};
        for (int j = 0; j < form->JoinedCount(); ++j)
            r.itsForms.push_back(form->JoinedEntry(j));
        JoinEntries(r.head, std::move(form));
        recs->push_back(std::move(r));
    }
    const int joined = int(recs->size());
    Touched();
    DoPostJoinOrUnjoiningOperation();
    if (!undoable)
        return joined;

    auto before = std::make_shared<std::unordered_map<TCVBaseListObject*, size_t>>(std::move(formsBefore));
    auto undo = [this, recs, before] {
        // Everything this step added to a head sits after the forms it had before.
        std::unordered_map<TCVBaseListObject*, Owned> pool;
        for (auto& [head, n] : *before) {
            if (!head->fExtras)
                continue;
            auto& hf = head->fExtras->joined;
            for (size_t k = n; k < hf.size(); ++k)
                pool.emplace(hf[k].get(), std::move(hf[k]));
            hf.resize(std::min(n, hf.size()));
        }
        std::vector<std::pair<int, Owned>> back;
        for (const JoinRec& r : *recs) {
            Owned form = std::move(pool[r.form]);
            form->fJoinedTo = nullptr;
            for (TCVBaseListObject* sub : r.itsForms) {
                Owned s = std::move(pool[sub]);
                s->fJoinedTo = form.get();
                form->extras().joined.push_back(std::move(s));
            }
            back.emplace_back(r.index, std::move(form));
        }
        InsertAtIndices(Entries(), std::move(back));
    };
    auto redo = [this, recs] {
        std::unordered_set<const TCVBaseListObject*> w;
        std::unordered_map<const TCVBaseListObject*, TCVBaseListObject*> to;
        for (const JoinRec& r : *recs) {
            w.insert(r.form);
            to.emplace(r.form, r.head);
        }
        for (auto& [index, form] : ExtractSet(Entries(), w)) {
            TCVBaseListObject* head = to[form.get()];
            JoinEntries(head, std::move(form));
        }
    };
    Record({undo, redo}, true, caption);
    return joined;
}

bool TCVBaseDataClass::Join(int head, int form, bool undoable)
{
    if (head == form || !Get(head) || !Get(form))
        return false;
    return JoinARange({head, form}, undoable) == 1;
}

int TCVBaseDataClass::UnJoin(int i, bool undoable)
{
    TCVBaseListObject* head = Get(i);
    if (!head || head->JoinedCount() == 0)
        return 0;
    std::vector<Owned> forms = std::move(head->fExtras->joined);
    head->fExtras->joined.clear();
    auto ptrs = std::make_shared<std::vector<TCVBaseListObject*>>();
    for (auto& f : forms) {
        f->fJoinedTo = nullptr;
        ptrs->push_back(f.get());
    }
    const int n = int(forms.size());
    auto& items = Entries();
    items.insert(items.begin() + i + 1, std::make_move_iterator(forms.begin()), std::make_move_iterator(forms.end()));
    Touched();
    DoPostJoinOrUnjoiningOperation();
    auto rejoin = [this, head, ptrs] {
        std::unordered_set<const TCVBaseListObject*> w(ptrs->begin(), ptrs->end());
        auto taken = ExtractSet(Entries(), w);
        // Keep the forms' order as it was under the head.
        std::unordered_map<const TCVBaseListObject*, Owned> pool;
        for (auto& [idx, f] : taken)
            pool.emplace(f.get(), std::move(f));
        for (TCVBaseListObject* p : *ptrs)
            JoinEntries(head, std::move(pool[p]));
    };
    auto unjoin = [this, head, ptrs] {
        const int at = IndexOf(head);
        std::vector<Owned> fs = std::move(head->fExtras->joined);
        head->fExtras->joined.clear();
        for (auto& f : fs)
            f->fJoinedTo = nullptr;
        auto& items = Entries();
        items.insert(items.begin() + at + 1, std::make_move_iterator(fs.begin()), std::make_move_iterator(fs.end()));
    };
    Record({rejoin, unjoin}, undoable, QStringLiteral("Unjoin"));
    return n;
}

int TCVBaseDataClass::UnJoinAll(bool undoable)
{
    BeginUndoStep(QStringLiteral("Unjoin all"));
    int n = 0;
    for (int i = 0; i < Count(); ++i) {
        const int k = UnJoin(i, undoable);
        n += k;
        i += k; // the forms now follow their head
    }
    EndUndoStep();
    return n;
}

// ---------------------------------------------------------------------------
// Values seen by readers

void TCVBaseDataClass::ResetValueRange()
{
    fLeastValue = fGreatestValue = 0;
    fValueSeen = false;
}

void TCVBaseDataClass::NoteValueRead(double v)
{
    if (!fValueSeen) {
        fLeastValue = fGreatestValue = v;
        fValueSeen = true;
        return;
    }
    fLeastValue = std::min(fLeastValue, v);
    fGreatestValue = std::max(fGreatestValue, v);
}

// ---------------------------------------------------------------------------
// Stream

bool TCVBaseDataClass::SaveEntry(TStream& s, const TCVBaseListObject& e, bool asForm) const
{
    const auto& cats = e.Categories();
    const bool hasForms = !asForm && e.JoinedCount() > 0;
    uint8_t flags = 0;
    if (e.fDeleted)
        flags |= kEntryDeleted;
    if (!cats.empty())
        flags |= kEntryHasCategories;
    if (hasForms)
        flags |= kEntryHasForms;
    if (!s.WriteU8(flags) || !s.WriteU8(e.fMark) || !s.WriteU8(e.fMatchMark))
        return false;
    if (!cats.empty()) {
        if (!s.WriteCount(int64_t(cats.size())))
            return false;
        for (const auto& c : cats)
            if (!s.WriteI32(c.setNumber) || !WriteAString(s, c.text) || !s.WriteU32(c.colour))
                return false;
    }
    if (!e.SaveToStream(s))
        return false;
    if (hasForms) {
        if (!s.WriteCount(e.JoinedCount()))
            return false;
        for (int j = 0; j < e.JoinedCount(); ++j)
            if (!SaveEntry(s, *e.JoinedEntry(j), true))
                return false;
    }
    return true;
}

std::unique_ptr<TCVBaseListObject> TCVBaseDataClass::ReadEntry(TStream& s, bool asForm)
{
    uint8_t flags = 0, mark = 0, matchMark = 0;
    if (!s.ReadU8(flags) || !s.ReadU8(mark) || !s.ReadU8(matchMark))
        return nullptr;
    if ((flags & ~uint8_t(kEntryDeleted | kEntryHasCategories | kEntryHasForms)) != 0)
        return nullptr; // unknown bits: not an entry of ours
    if (asForm && (flags & kEntryHasForms))
        return nullptr; // forms never carry forms
    auto e = NewEntry();
    e->fDeleted = flags & kEntryDeleted;
    e->fMark = mark;
    e->fMatchMark = matchMark;
    if (flags & kEntryHasCategories) {
        int32_t n = 0;
        if (!s.ReadCount(n, 4 + 4 + 2 + 4))
            return nullptr;
        for (int32_t k = 0; k < n; ++k) {
            TEntryCategory c;
            if (!s.ReadI32(c.setNumber) || !ReadAString(s, c.text) || !s.ReadU32(c.colour))
                return nullptr;
            e->extras().categories.push_back(std::move(c));
        }
    }
    if (!e->ReadFromStream(s))
        return nullptr;
    if (flags & kEntryHasForms) {
        int32_t n = 0;
        if (!s.ReadCount(n, kMinEntryBytes))
            return nullptr;
        for (int32_t k = 0; k < n; ++k) {
            auto form = ReadEntry(s, true);
            if (!form)
                return nullptr;
            form->fJoinedTo = e.get();
            e->extras().joined.push_back(std::move(form));
        }
    }
    return e;
}

bool TCVBaseDataClass::SaveToStream(TStream& s)
{
    if (!s.WriteExact(kListMagic, 4) || !s.WriteU16(kListLayout) || !s.WriteI32(fVersion) || !s.WriteU8(fListType)
        || !s.WriteU32(fToolSignature) || !s.WriteU8(fColumnKind))
        return false;
    for (const TSortLevel& l : fSorts)
        if (!s.WriteI32(l.key) || !s.WriteBool(l.ascending))
            return false;
    if (!s.WriteU32(fLCID) || !WriteAString(s, fCollationName) || !s.WriteBool(fUnicode)
        || !WriteAStringList(s, fGridHeadings) || !s.WriteI32(fWordColumn) || !s.WriteCount(int64_t(fSetColumns.size())))
        return false;
    for (const auto& [col, set] : fSetColumns)
        if (!s.WriteI32(col) || !s.WriteI32(set))
            return false;
    if (!s.WriteI32(fActiveSetColumn) || !s.WriteI32(fCloudColumn) || !s.WriteCount(Count()))
        return false;
    return SaveEntries(s);
}

bool TCVBaseDataClass::SaveEntries(TStream& s)
{
    for (const auto& e : Entries())
        if (!SaveEntry(s, *e, false))
            return false;
    return true;
}

bool TCVBaseDataClass::ReadFromStream(TStream& s)
{
    uint8_t magic[4] = {};
    uint16_t layout = 0;
    if (!s.ReadExact(magic, 4) || !std::equal(magic, magic + 4, kListMagic) || !s.ReadU16(layout) || layout < 1
        || layout > kListLayout)
        return false;
    int32_t version = 0;
    uint8_t listType = 0, columnKind = 0;
    uint32_t toolSignature = 0;
    if (!s.ReadI32(version) || !s.ReadU8(listType) || !s.ReadU32(toolSignature) || !s.ReadU8(columnKind))
        return false;
    std::array<TSortLevel, kSortLevels> sorts;
    for (TSortLevel& l : sorts)
        if (!s.ReadI32(l.key) || !s.ReadBool(l.ascending))
            return false;
    uint32_t lcid = 0;
    QString collation;
    bool unicode = true;
    QStringList headings;
    int32_t wordColumn = 0, nSets = 0;
    if (!s.ReadU32(lcid) || !ReadAString(s, collation) || !s.ReadBool(unicode) || !ReadAStringList(s, headings)
        || !s.ReadI32(wordColumn) || !s.ReadCount(nSets, 8))
        return false;
    std::vector<std::pair<int, int32_t>> sets;
    for (int32_t k = 0; k < nSets; ++k) {
        int32_t col = 0, set = 0;
        if (!s.ReadI32(col) || !s.ReadI32(set))
            return false;
        sets.emplace_back(col, set);
    }
    int32_t activeSet = 0, cloudColumn = 0, count = 0;
    if (!s.ReadI32(activeSet) || !s.ReadI32(cloudColumn) || !s.ReadCount(count, kMinEntryBytes))
        return false;

    // The header is good: entry readers may now ask for the version they were
    // saved with, and note the range of the values they read.
    Clear();
    fVersion = version;
    fListType = listType;
    fToolSignature = toolSignature;
    fColumnKind = columnKind;
    fSorts = sorts;
    fLCID = lcid;
    fCollationName = collation;
    fUnicode = unicode;
    fGridHeadings = headings;
    fWordColumn = wordColumn;
    fSetColumns = std::move(sets);
    fActiveSetColumn = activeSet;
    fCloudColumn = cloudColumn;
    fItems.reserve(size_t(count)); // Clear left no rows without entries
    for (int32_t k = 0; k < count; ++k) {
        auto e = ReadEntry(s, false);
        if (!e)
            return false;
        fItems.push_back(std::move(e));
    }
    return true;
}

std::unique_ptr<TCVBaseListObject> TCVBaseDataClass::CloneEntry(const TCVBaseListObject& e)
{
    TMemoryStream m;
    if (!SaveEntry(m, e, false))
        return nullptr;
    m.SetPosition(0);
    // Entries always write their newest layout, so they are read back as the newest version.
    const int32_t keep = fVersion;
    fVersion = std::numeric_limits<int32_t>::max();
    auto copy = ReadEntry(m, false);
    fVersion = keep;
    return copy;
}

} // namespace cv
