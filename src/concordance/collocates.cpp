#include "concordance/collocates.h"

#include "concordance/patterns_clusters.h"
#include "maths/statistics.h"
#include "model/corvantis_holder.h"
#include "suite/cv_stream.h"
#include "suite/dialog_routines.h"
#include "textread/tag_records.h"

#include <algorithm>
#include <cmath>

namespace cv {

TSpan CollocSpan(Tdouble_smallint_type horizons)
{
    const int l = std::clamp<int>(horizons.left, 0, 50);
    const int r = std::clamp<int>(horizons.right, 0, 51);
    return {uint8_t(50 - l), uint8_t(50 + r)};
}

bool TCollocateScoreBlock::AnyScore() const
{
    for (int i = 0; i < kAssociationScores; ++i)
        if (Score(i) != 0)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Tree

TCollocateTree::TCollocateTree(const TConcSettingsRec32& settings, bool useStopList)
    : fMinimum_length(settings.MinCollocateLength()), fminimum_frequency(uint16_t(settings.MinCollocateFrequency())),
      fminimum_colloc_texts(settings.MinCollocateTexts()),
      colloc_spans(CollocSpan({settings.CollocHorizonLeft(), settings.CollocHorizonRight()})),
      merge_sws_for_collocs(settings.MergeSearchWordsForCollocates() || settings.MergeSearchWordsForClusters()),
      fUseStopList(useStopList)
{
}

void TCollocateTree::AddWord(const QString& word, int position, int32_t textNumber, int32_t swNumber,
                             const QString& searchWord, int32_t tagNumber, const QString& prefix, const QString& suffix,
                             bool ignoreFreq)
{
    if (position < colloc_spans.left || position > colloc_spans.right)
        return;
    TCollocTreeRec n;
    n.wd = word;
    n.prefix_or_tag = prefix;
    n.suffix = suffix;
    n.search_w = searchWord;
    n.tag_number_1Based = tagNumber;
    n.s_w_number = merge_sws_for_collocs && swNumber >= 0 ? -2 : swNumber;
    n.textnumbers = {textNumber};
    n.freqs.assign(size_t(colloc_spans.Width()), 0);
    n.freqs[size_t(position - colloc_spans.left)] = 1;
    n.ignore_freq = ignoreFreq;
    AddNode(std::move(n));
}

void TCollocateTree::AddNode(TCollocTreeRec node)
{
    node.freqs.resize(std::max(node.freqs.size(), size_t(colloc_spans.Width())), 0);
    Seed() = std::move(node);
    Add_One();
}

int TCollocateTree::Compare(const TCollocTreeRec& a, const TCollocTreeRec& b) const
{
    if (const int c = QStringView(a.wd).compare(QStringView(b.wd)); c != 0)
        return c < 0 ? -1 : 1;
    if (merge_sws_for_collocs)
        return 0;
    // The larger search-word number sorts first, then the search word's text.
    if (a.s_w_number != b.s_w_number)
        return a.s_w_number > b.s_w_number ? -1 : 1;
    const int c = QStringView(a.search_w).compare(QStringView(b.search_w));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void TCollocateTree::Do_Found_Match(TCollocTreeRec& existing, TCollocTreeRec& seed)
{
    if (existing.freqs.size() < seed.freqs.size())
        existing.freqs.resize(seed.freqs.size(), 0);
    for (size_t i = 0; i < seed.freqs.size(); ++i)
        existing.freqs[i] += seed.freqs[i];
    for (int32_t t : seed.textnumbers)
        if (std::find(existing.textnumbers.begin(), existing.textnumbers.end(), t) == existing.textnumbers.end())
            existing.textnumbers.push_back(t);
    existing.ignore_freq = existing.ignore_freq || seed.ignore_freq;
}

void TCollocateTree::Collect(TCollocateList& list, std::span<const TStoredTagRec> tags)
{
    fTarget = &list;
    fTags = tags;
    list.SetSpan(colloc_spans);
    Traverse();
    fTarget = nullptr;
    fTags = {};
}

void TCollocateTree::Do_In_Order(TCollocTreeRec& key)
{
    if (!fTarget)
        return;
    int32_t left = 0, right = 0, total = 0, highest = 0;
    for (size_t i = 0; i < key.freqs.size(); ++i) {
        const int position = colloc_spans.left + int(i);
        const int32_t f = key.freqs[i];
        if (position < 50)
            left += f;
        else if (position > 50)
            right += f;
        total += f;
        highest = std::max(highest, f);
    }
    if (fUseStopList && InLoadedStopList(key.wd))
        return;
    const bool passes = int(key.textnumbers.size()) >= fminimum_colloc_texts && total >= fminimum_frequency
        && key.wd.size() >= fMinimum_length;
    if (!key.ignore_freq && !passes)
        return;
    TCollocateEntryRec32 r;
    r.word = std::move(key.wd);
    r.prefix_or_tag = std::move(key.prefix_or_tag);
    r.suffix = std::move(key.suffix);
    r.search_word = key.search_w;
    r.sw_number = key.s_w_number;
    r.freqs = std::move(key.freqs);
    r.left = left;
    r.right = right;
    r.total = total;
    r.highest = highest;
    r.texts = int32_t(key.textnumbers.size());
    r.block.SetIsLemmatised(key.is_lemmatised);
    if (!key.search_w.isEmpty() && !sws_found.contains(key.search_w))
        sws_found << key.search_w;
    const int row = fTarget->AddCollocate(r);
    if (key.tag_number_1Based >= 1 && size_t(key.tag_number_1Based) <= fTags.size()) {
        const TStoredTagRec& tag = fTags[size_t(key.tag_number_1Based - 1)];
        // Tag colours are 0x00BBGGRR; categories carry 0xAARRGGBB.
        const uint32_t c = uint32_t(tag.foreground_colour);
        const uint32_t argb = 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
        fTarget->SetACategoryAndColour(row, 1, tag.tag, argb, false);
    }
}

// ---------------------------------------------------------------------------
// Rows

void TCollocateEntry::ClearLemmaData()
{
    data.lemma_freqs.clear();
    data.lemma_total = data.lemma_left = data.lemma_right = data.lemma_texts = data.lemma_highest = 0;
}

double TCollocateEntry::GetAValueAsSingle(int column) const
{
    const TCVBaseDataClass* list = Owner();
    return list ? list->NumericalData(list->IndexOf(this), column) : 0;
}

QString TCollocateEntry::GetAWordAsString(int column) const
{
    return column == 1 ? data.word : TCVBaseListObject::GetAWordAsString(column);
}

void TCollocateEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == 1)
        data.word = text;
}

namespace {

bool WriteCounts(TStream& s, const std::vector<int32_t>& v)
{
    if (!s.WriteCount(int64_t(v.size())))
        return false;
    for (int32_t x : v)
        if (!s.WriteI32(x))
            return false;
    return true;
}

bool ReadCounts(TStream& s, std::vector<int32_t>& v)
{
    int32_t n = 0;
    if (!s.ReadCount(n, 4))
        return false;
    v.assign(size_t(n), 0);
    for (int32_t& x : v)
        if (!s.ReadI32(x))
            return false;
    return true;
}

} // namespace

bool TCollocateEntry::SaveToStream(TStream& s) const
{
    const int width = Owner() ? DocumentCharWidth(*Owner()) : 2;
    const TCollocateEntryRec32& d = data;
    return s.WriteF32(d.relationship) && s.WriteI32(d.highest) && s.WriteI32(d.total) && s.WriteI32(d.left)
        && s.WriteI32(d.right) && s.WriteI32(d.texts) && s.WriteI32(d.sw_number) && s.WriteI32(d.lemma_total)
        && s.WriteI32(d.lemma_left) && s.WriteI32(d.lemma_right) && s.WriteI32(d.lemma_texts)
        && s.WriteI32(d.lemma_highest) && s.WriteBytes(d.block.Bytes()) && WriteAString(s, d.word, width)
        && WriteAString(s, d.prefix_or_tag, width) && WriteAString(s, d.suffix, width)
        && WriteAString(s, d.search_word) && WriteCounts(s, d.freqs) && WriteCounts(s, d.lemma_freqs);
}

bool TCollocateEntry::ReadFromStream(TStream& s)
{
    auto* list = static_cast<TCollocateList*>(Owner());
    const int width = list ? DocumentCharWidth(*list) : 2;
    const int32_t v = list ? list->GetVersionNumber() : TCollocateList::kVersion;
    TCollocateEntryRec32 d;
    if (v < 11) {
        // The older form: value, highest, total, left, right; the word; the counts.
        if (!s.ReadF32(d.relationship) || !s.ReadI32(d.highest) || !s.ReadI32(d.total) || !s.ReadI32(d.left)
            || !s.ReadI32(d.right) || !ReadAString(s, d.word, width) || !ReadCounts(s, d.freqs))
            return false;
        d.lemma_freqs.assign(d.freqs.size(), 0);
        if (v >= 1 && !s.ReadI32(d.sw_number))
            return false;
        if (v >= 2 && !s.ReadI32(d.texts))
            return false;
        if (list && d.sw_number >= 0 && d.sw_number < list->fSearchWordTexts.size())
            d.search_word = list->fSearchWordTexts[d.sw_number];
    } else {
        if (!s.ReadF32(d.relationship) || !s.ReadI32(d.highest) || !s.ReadI32(d.total) || !s.ReadI32(d.left)
            || !s.ReadI32(d.right) || !s.ReadI32(d.texts) || !s.ReadI32(d.sw_number))
            return false;
        if (v > 12
            && (!s.ReadI32(d.lemma_total) || !s.ReadI32(d.lemma_left) || !s.ReadI32(d.lemma_right)
                || !s.ReadI32(d.lemma_texts) || !s.ReadI32(d.lemma_highest)
                || !s.ReadExact(d.block.Bytes().data(), int64_t(d.block.Bytes().size()))))
            return false;
        if (!ReadAString(s, d.word, width) || !ReadAString(s, d.prefix_or_tag, width)
            || !ReadAString(s, d.suffix, width))
            return false;
        if (v < 12) {
            if (list && d.sw_number >= 0 && d.sw_number < list->fSearchWordTexts.size())
                d.search_word = list->fSearchWordTexts[d.sw_number];
        } else if (!ReadAString(s, d.search_word)) {
            return false;
        }
        if (!ReadCounts(s, d.freqs))
            return false;
        if (v > 12 && !ReadCounts(s, d.lemma_freqs))
            return false;
    }
    if (list) {
        if (d.relationship != 0) {
            list->fOlderRelationshipPresent = true;
            list->fAssociationPresent = true;
        }
        if (d.block.AnyScore())
            list->fAssociationPresent = true;
        list->NoteValueRead(d.total);
    }
    data = std::move(d);
    return true;
}

// ---------------------------------------------------------------------------
// List

TCollocateList::TCollocateList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TCollocateEntry>(&l); }, kListType, toolSignature,
          kVersion)
{
    ResetHeadingsForSpan();
    SetWordColumn(kColWord);
    SetCloudColumn(kColTotal);
    SetSortSettingsToDefault();
}

TCollocateEntryRec32 TCollocateList::CollocateData(int i) const
{
    const TCollocateEntry* e = Entry(i);
    return e ? e->Data() : TCollocateEntryRec32{};
}

int TCollocateList::AddCollocate(const TCollocateEntryRec32& rec)
{
    auto e = std::make_unique<TCollocateEntry>(this);
    e->Data() = rec;
    if (rec.block.AnyScore())
        fAssociationPresent = true;
    return Add(std::move(e));
}

void TCollocateList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    fAssociationPresent = false;
    fOlderRelationshipPresent = false;
}

void TCollocateList::SetSpan(TSpan span)
{
    fSpan = span;
    CollocateSettings.setting_of_spans = {int16_t(50 - span.left), int16_t(span.right - 50)};
}

void TCollocateList::ComputeLeftAndRightSpan(const TConcSettingsRec32& settings)
{
    SetSpan(CollocSpan({settings.CollocHorizonLeft(), settings.CollocHorizonRight()}));
    if (settings.ExclusionWordsOn()) {
        const TSpan ex = CollocSpan({settings.ExclusionHorizonLeft(), settings.ExclusionHorizonRight()});
        fExclusionSpan = ex;
    } else {
        fExclusionSpan = {50, 50};
    }
}

int TCollocateList::ColToSpan(int column) const
{
    return column < kStandardColumns ? -1 : fSpan.left + (column - kStandardColumns);
}

void TCollocateList::ResetHeadingsForSpan()
{
    QStringList h = StandardGridHeaderArray(kListType).mid(0, kStandardColumns);
    for (int p = fSpan.left; p <= fSpan.right; ++p)
        h << (p < 50 ? QStringLiteral("L%1").arg(50 - p) : p > 50 ? QStringLiteral("R%1").arg(p - 50)
                                                                   : QStringLiteral("Centre"));
    SetGridHeadings(h);
}

QString TCollocateList::ColumnHelp(int column)
{
    if (column < kColFirstScore || column > kColLastScore)
        return QString();
    const std::string_view help = AssociationTable()[std::size_t(column - kColFirstScore)].help;
    return QString::fromUtf8(help.data(), qsizetype(help.size()))
        + QStringLiteral(" A is the search word (its lines), B the collocate (its frequency in the reference word "
                         "list), N the reference list's running words, S the positions the chosen column looks at.");
}

bool TCollocateList::ColumnHidden(int column) const
{
    return fScoresHidden && column >= kColFirstScore && column <= kColLastScore;
}

void TCollocateList::DoPostJoinOrUnjoiningOperation()
{
    for (int i = 0; i < Count(); ++i)
        Entry(i)->ClearLemmaData();
    for (int i = 0; i < Count(); ++i) {
        TCollocateEntry* head = Entry(i);
        if (head->JoinedCount() == 0)
            continue;
        fLemmaMode = true;
        TCollocateEntryRec32& h = head->Data();
        h.lemma_total = h.total;
        h.lemma_left = h.left;
        h.lemma_right = h.right;
        h.lemma_texts = h.texts;
        h.lemma_freqs = h.freqs;
        for (int j = 0; j < head->JoinedCount(); ++j) {
            const TCollocateEntryRec32& f = static_cast<TCollocateEntry*>(head->JoinedEntry(j))->Data();
            h.lemma_total += f.total;
            h.lemma_left += f.left;
            h.lemma_right += f.right;
            h.lemma_texts = std::max(h.lemma_texts, f.texts);
            if (h.lemma_freqs.size() < f.freqs.size())
                h.lemma_freqs.resize(f.freqs.size(), 0);
            for (size_t k = 0; k < f.freqs.size(); ++k)
                h.lemma_freqs[k] += f.freqs[k];
        }
        h.lemma_highest = h.lemma_freqs.empty() ? 0 : *std::max_element(h.lemma_freqs.begin(), h.lemma_freqs.end());
    }
}

QStringList TCollocateList::LemmaListFromThisList() const
{
    QStringList out;
    for (int i = 0; i < Count(); ++i) {
        const TCollocateEntry* e = Entry(i);
        if (e->JoinedCount() == 0)
            continue;
        QStringList forms;
        for (int j = 0; j < e->JoinedCount(); ++j) {
            const auto& f = static_cast<const TCollocateEntry*>(e->JoinedEntry(j))->Data();
            forms << f.prefix_or_tag + f.word + f.suffix;
        }
        const auto& d = e->Data();
        out << d.prefix_or_tag + d.word + d.suffix + QStringLiteral(" -> ") + forms.join(QLatin1Char(','));
    }
    return out;
}

int TCollocateList::JoinCaseVariants(const QString& word)
{
    std::vector<int> rows;
    for (int i = 0; i < Count(); ++i)
        if (Entry(i)->Data().word.compare(word, Qt::CaseInsensitive) == 0)
            rows.push_back(i);
    return rows.size() < 2 ? 0 : JoinARange(rows, true);
}

double TCollocateList::Percent(double part, double whole) const
{
    return whole > 0 ? part * 100.0 / whole : part;
}

// One routine for grid values, sorting and clouds. Rows showing lemma data
// give their lemma values.
double TCollocateList::ColumnValue(int row, int column, bool forCloud, bool percentages) const
{
    const TCollocateEntry* e = Entry(row);
    if (column == 0)
        return row + 1;
    if (!e)
        return 0;
    const TCollocateEntryRec32& d = e->Data();
    const bool lemma = fLemmaMode && e->HasLemmaData();
    if (column >= kColFirstScore && column <= kColLastScore) {
        const double score = d.block.Score(column - kColFirstScore);
        if (!forCloud)
            return score;
        return std::round(score * (column == kColFirstScore ? 100.0 : 40.0));
    }
    const int32_t total = lemma ? d.lemma_total : d.total;
    const bool raw = !percentages || forCloud;
    switch (column) {
    case kColTexts: {
        const int32_t texts = lemma ? d.lemma_texts : d.texts;
        return raw ? texts : Percent(texts, fTextCount);
    }
    case kColTotal: return raw ? total : Percent(total, fLineCount);
    case kColLeft: return raw ? (lemma ? d.lemma_left : d.left) : Percent(lemma ? d.lemma_left : d.left, total);
    case kColRight: return raw ? (lemma ? d.lemma_right : d.right) : Percent(lemma ? d.lemma_right : d.right, total);
    default: break;
    }
    if (column >= kStandardColumns) {
        const int k = column - kStandardColumns;
        const std::vector<int32_t>& counts = lemma ? d.lemma_freqs : d.freqs;
        if (k >= fSpan.Width() && k >= int(counts.size()))
            return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
        const int32_t c = k < int(counts.size()) ? counts[size_t(k)] : 0;
        if (raw)
            return c;
        const double p = Percent(c, total);
        return p == 0 ? kZeroPercent : p;
    }
    if (column > kColWord && column < kStandardColumns && column != kColSearchWord && column != kColSet)
        return kNoColumn;
    return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
}

double TCollocateList::NumericalData(int row, int column) const
{
    return ColumnValue(row, column, false, fShowAsPercentages);
}

void TCollocateList::GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const
{
    datum = {};
    const TCollocateEntry* e = Entry(i);
    if (!e)
        return;
    datum.word = e->Data().word;
    datum.frequency = int32_t(std::lround(ColumnValue(i, CloudColumn(), true, false)));
    datum.number = i + 1;
}

void TCollocateList::GetNextCloudDatum(TWordFreqAndSourceNum& datum)
{
    const int p = CloudReadPosition();
    if (p >= 0 && p < Count()) {
        GetOneCloudDatum(p, datum);
        SetCloudReadPosition(p + 1);
    } else {
        datum = {};
        SetCloudReadPosition(-99);
    }
}

QString TCollocateList::WordCell(const TCollocateEntry& e) const
{
    const TCollocateEntryRec32& d = e.Data();
    const uint8_t display = Holder() ? Holder()->ftextsettings.TagDisplay() : 0;
    switch (display) {
    case 1: return d.prefix_or_tag + d.word;
    case 2: return d.word + d.suffix;
    case 3: return d.prefix_or_tag + d.suffix;
    default: return d.word;
    }
}

QString TCollocateList::SearchWordCell(const TCollocateEntry& e) const
{
    const TCollocateEntryRec32& d = e.Data();
    if (d.sw_number == -99)
        return {};
    if (d.sw_number < 0) {
        QStringList all;
        for (const QString& w : fSearchWordTexts)
            all << w.toLower();
        return QLatin1Char('(') + all.join(QLatin1Char('/')) + QLatin1Char(')');
    }
    return d.search_word.toLower();
}

void TCollocateList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    const TCollocateEntry* e = Entry(row);
    if (!e)
        return;
    switch (column) {
    case 0: NumberCell(rec, row + 1, true); return;
    case kColWord: rec.text = WordCell(*e); return;
    case kColSearchWord: rec.text = SearchWordCell(*e); return;
    case kColSet: rec.text = e->Category(1); return;
    default: break;
    }
    if (IsASetColumnColumn(column)) {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
        return;
    }
    const double v = NumericalData(row, column);
    const bool counts = !fShowAsPercentages || (column >= kColFirstScore && column <= kColLastScore);
    NumberCell(rec, v, counts && !(column >= kColFirstScore && column <= kColLastScore), 3);
    if (v == kZeroPercent || v == kNoColumn) {
        rec.text.clear();
        return;
    }
    if (column >= kStandardColumns) {
        // The row's highest count stands out.
        const bool lemma = fLemmaMode && e->HasLemmaData();
        const int k = column - kStandardColumns;
        const auto& c = lemma ? e->Data().lemma_freqs : e->Data().freqs;
        const int32_t highest = lemma ? e->Data().lemma_highest : e->Data().highest;
        if (k < int(c.size()) && c[size_t(k)] > 0 && c[size_t(k)] == highest)
            rec.foreground = 0xFFC00000u;
    }
}

int TCollocateList::HeaderColumnToSortNeeded(int column) const
{
    if (IsASetColumnColumn(column))
        return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
    if (column == kColWord)
        return fWordSortChoice;
    if (column >= kStandardColumns)
        return kSortPositionBase + (column - kStandardColumns);
    return column; // 2 ... 18 are their own keys
}

void TCollocateList::Set1Sort(int level, int32_t key)
{
    if (key >= kColFirstScore && key <= kColLastScore && !fAssociationPresent) {
        ReportedAFact(QStringLiteral("The association scores have not been computed for these collocates."));
        return;
    }
    TCVBaseLemmaMatchCapableList::Set1Sort(level, key);
}

void TCollocateList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    TCVBaseLemmaMatchCapableList::Set1Sort(0, kColTotal);
    SetSortAscending(0, false);
    SetSecondSortAsWordSort();
}

void TCollocateList::SetSecondSortAsWordSort()
{
    TCVBaseLemmaMatchCapableList::Set1Sort(1, fWordSortChoice);
    SetSortAscending(1, true);
}

TSortKeyKind TCollocateList::KindOfSortKey(int32_t key) const
{
    switch (key) {
    case kSortWord:
    case kSortCapitalisedFirst:
    case kSortSearchWord:
    case kSortSet:
    case kSortReverseWord: return TSortKeyKind::Text;
    case kSortWordLength: return TSortKeyKind::Number;
    default:
        if ((key >= kColFirstScore && key <= kColLastScore) || (key >= kColTexts && key <= kColRight)
            || (key >= kSortPositionBase && key < kSortPositionBase + 200))
            return TSortKeyKind::Number;
        return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
    }
}

QString TCollocateList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& c = static_cast<const TCollocateEntry&>(e);
    switch (key) {
    case kSortSearchWord: return c.Data().search_word;
    case kSortSet: return c.Category(1);
    case kSortReverseWord: {
        QString w = c.Data().word;
        std::reverse(w.begin(), w.end());
        return w;
    }
    case kSortCapitalisedFirst: {
        // Words starting with a capital before the others, each group alphabetically.
        const QString& w = c.Data().word;
        const bool capital = !w.isEmpty() && w.front().isUpper();
        return (capital ? QStringLiteral("0") : QStringLiteral("1")) + w;
    }
    default: return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
    }
}

double TCollocateList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& c = static_cast<const TCollocateEntry&>(e);
    if (key == kSortWordLength)
        return c.MainWordLength();
    if (key >= kSortPositionBase) {
        const bool lemma = fLemmaMode && c.HasLemmaData();
        const auto& counts = lemma ? c.Data().lemma_freqs : c.Data().freqs;
        const int k = key - kSortPositionBase;
        return k < int(counts.size()) ? counts[size_t(k)] : 0;
    }
    // Sorting compares raw values, not percentages.
    return ColumnValue(row, key, false, false);
}

bool TCollocateList::SaveToStream(TStream& s)
{
    RaiseVersionTo(kVersion);
    return TCVBaseLemmaMatchCapableList::SaveToStream(s);
}

bool TCollocateList::ReadFromStream(TStream& s)
{
    fAssociationPresent = false;
    fOlderRelationshipPresent = false;
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    if (fOlderRelationshipPresent) {
        const int slot = std::clamp(fCurrentStatistic, 0, kAssociationScores - 1);
        for (int i = 0; i < Count(); ++i) {
            TCollocateEntryRec32& d = Entry(i)->Data();
            if (d.relationship != 0) {
                d.block.SetScore(slot, d.relationship);
                d.relationship = 0;
            }
        }
    }
    if (GetVersionNumber() < 24)
        ResetHeadingsForSpan();
    fScoresHidden = !fAssociationPresent;
    return true;
}

} // namespace cv
