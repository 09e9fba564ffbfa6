#include "keywords/kwdb_list.h"

#include "model/stats_list.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "wordlist/keyword_list.h"
#include "wordlist/list_header.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace cv {

namespace {

constexpr uint8_t kHeaderMagic[4] = {'C', 'V', 'K', 'D'};
constexpr int32_t kSortTexts = TKWDBList::kColTexts;

int32_t OrDefault(int32_t v, int32_t fallback)
{
    return v > 0 ? v : fallback;
}

// Disjoint sets over entry indexes.
struct TUnionFind {
    std::vector<int32_t> parent;
    explicit TUnionFind(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int32_t Find(int32_t x)
    {
        while (parent[std::size_t(x)] != x) {
            parent[std::size_t(x)] = parent[std::size_t(parent[std::size_t(x)])];
            x = parent[std::size_t(x)];
        }
        return x;
    }
    void Join(int32_t a, int32_t b)
    {
        a = Find(a);
        b = Find(b);
        if (a != b)
            parent[std::size_t(std::max(a, b))] = std::min(a, b);
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Settings

TKWDBSettings TKWDBSettings::FromRecord(const TKeyWordsSettingsRec& r)
{
    TKWDBSettings s;
    s.minKeyWordsPerFile = OrDefault(r.Get<int32_t>(kMinKeyWordsOffset), 1);
    s.minTexts = OrDefault(r.Get<int32_t>(kMinTextsOffset), 2);
    s.minAssociateTexts = OrDefault(r.Get<int32_t>(kMinAssociateTextsOffset), 2);
    s.maxAssociates = OrDefault(r.Get<int32_t>(kMaxAssociatesOffset), 20);
    return s;
}

void TKWDBSettings::ToRecord(TKeyWordsSettingsRec& r) const
{
    r.Set<int32_t>(kMinKeyWordsOffset, minKeyWordsPerFile);
    r.Set<int32_t>(kMinTextsOffset, minTexts);
    r.Set<int32_t>(kMinAssociateTextsOffset, minAssociateTexts);
    r.Set<int32_t>(kMaxAssociatesOffset, maxAssociates);
}

// ---------------------------------------------------------------------------
// Entries

void TKWDBEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    data = {};
}

QString TKWDBEntry::GetAWordAsString(int column) const
{
    return column == TKWDBList::kColWord ? data.word : TCVBaseListObject::GetAWordAsString(column);
}

void TKWDBEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TKWDBList::kColWord)
        data.word = text;
}

bool TKWDBEntry::SaveToStream(TStream& s) const
{
    const TKWDB_entry_rec& d = data;
    if (!WriteAString(s, d.word) || !s.WriteI32(d.texts) || !s.WriteI64(d.freq) || !s.WriteF64(d.keyness)
        || !s.WriteI32(d.cluster) || !s.WriteCount(int64_t(d.occurrences.size())))
        return false;
    for (const TKWDBOccurrence& o : d.occurrences)
        if (!s.WriteI32(o.file) || !s.WriteI64(o.freq) || !s.WriteF32(o.keyness))
            return false;
    if (!s.WriteCount(int64_t(d.associates.size())))
        return false;
    for (const TKWDBAssociate& a : d.associates)
        if (!WriteAString(s, a.word) || !s.WriteI32(a.texts) || !s.WriteF32(a.dice))
            return false;
    return true;
}

bool TKWDBEntry::ReadFromStream(TStream& s)
{
    // Databases saved before version 2 hold 32-bit frequencies.
    const bool wide = !Owner() || Owner()->GetVersionNumber() >= TKWDBList::kFirst64BitFrequencyVersion;
    TKWDB_entry_rec d;
    int32_t n = 0;
    if (!ReadAString(s, d.word) || !s.ReadI32(d.texts) || !s.ReadI64(d.freq) || !s.ReadF64(d.keyness)
        || !s.ReadI32(d.cluster) || !s.ReadCount(n, 12) || d.texts < 0 || d.freq < 0 || !std::isfinite(d.keyness))
        return false;
    d.occurrences.resize(std::size_t(n));
    for (TKWDBOccurrence& o : d.occurrences)
        if (!s.ReadI32(o.file) || !s.ReadI64OrI32(o.freq, wide) || !s.ReadF32(o.keyness) || o.file < 0 || o.freq < 0
            || !std::isfinite(o.keyness))
            return false;
    if (!s.ReadCount(n, 12))
        return false;
    d.associates.resize(std::size_t(n));
    for (TKWDBAssociate& a : d.associates)
        if (!ReadAString(s, a.word) || !s.ReadI32(a.texts) || !s.ReadF32(a.dice) || !std::isfinite(a.dice))
            return false;
    data = std::move(d);
    return true;
}

// ---------------------------------------------------------------------------
// Associates list

TKWAssociatesList::TKWAssociatesList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKWAssociateEntry>(&l); }, 15, toolSignature, 1)
{
    SetGridHeadings(StandardGridHeaderArray(15).mid(0, kColSet));
    AddSetColumn(QStringLiteral("Set"));
    SetWordColumn(kColWord);
    SetCloudColumn(kColTexts);
    SetSortSettingsToDefault();
}

double TKWAssociatesList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    if (column == kColN)
        return row + 1;
    if (column == kColTexts)
        return Entry(row).texts;
    return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
}

void TKWAssociatesList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    switch (column) {
    case kColN:
    case kColTexts: NumberCell(rec, NumericalData(row, column), true); return;
    case kColWord: rec.text = Entry(row).word; return;
    case kColAssociates: rec.text = Entry(row).associates; return;
    default: TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

// ---------------------------------------------------------------------------
// The database

TKWDBList::TKWDBList(TCorvantisholder* owner, uint32_t toolSignature, TCVStatsList* statistics)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKWDBEntry>(&l); }, kListType, toolSignature,
          kVersion),
      fStatsFileList(statistics), fShowingAssociatesList(std::make_unique<TKWAssociatesList>(owner, toolSignature))
{
    SetGridHeadings(StandardGridHeaderArray(kListType).mid(0, kColSet));
    AddSetColumn(QStringLiteral("Set"));
    SetWordColumn(kColWord);
    SetCloudColumn(kColTexts);
    SetSortSettingsToDefault();
}

TKWDBList::~TKWDBList() = default;

void TKWDBList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    fIndex.clear();
    if (fShowingAssociatesList)
        fShowingAssociatesList->Clear();
    fComputeKWDBFiles.clear();
    fComputeKWDBFileObjects.clear();
    database_total_text_files = 0;
    fTextsBase = 0;
}

TKWDB_entry_rec TKWDBList::DatabaseData(int row) const
{
    return row >= 0 && row < Count() ? Entry(row).data : TKWDB_entry_rec{};
}

int TKWDBList::IndexOfWord(const QString& word) const
{
    const auto it = fIndex.find(word);
    if (it != fIndex.end() && it->second < Count() && Entry(it->second).data.word == word)
        return it->second;
    for (int i = 0; i < Count(); ++i)
        if (Entry(i).data.word == word)
            return i;
    return -1;
}

void TKWDBList::RebuildIndex()
{
    fIndex.clear();
    fIndex.reserve(std::size_t(Count()));
    for (int i = 0; i < Count(); ++i)
        fIndex.emplace(Entry(i).data.word, i);
}

int TKWDBList::UsedFileCount() const
{
    return int(std::count_if(fComputeKWDBFileObjects.begin(), fComputeKWDBFileObjects.end(), [](int32_t o) { return o >= 0; }));
}

int TKWDBList::UnusedFileCount() const
{
    return int(fComputeKWDBFileObjects.size()) - UsedFileCount();
}

int32_t TKWDBList::TextsBase() const
{
    if (fTextsBase > 0)
        return fTextsBase;
    return std::max(database_total_text_files, int32_t(UsedFileCount()));
}

double TKWDBList::MeanKeyness(int row) const
{
    if (row < 0 || row >= Count() || Entry(row).data.texts <= 0)
        return 0;
    return Entry(row).data.keyness / Entry(row).data.texts;
}

void TKWDBList::GetSettingsFromTEXTBUF()
{
    fSettings = TKWDBSettings::FromRecord(GetKeywordsSettings());
}

bool TKWDBList::BeganTheDatabase()
{
    Clear();
    if (fStatsFileList)
        fStatsFileList->Clear();
    GetSettingsFromTEXTBUF();
    return fSettings.minTexts >= 1 && fSettings.minAssociateTexts >= 1;
}

void TKWDBList::CheckSeed(bool unicode)
{
    SetUnicode(unicode);
    RebuildIndex();
}

void TKWDBList::AddToDatabase(const TKeyWordList& keyWords, const QString& fileName)
{
    const int32_t file = int32_t(fComputeKWDBFiles.size());
    fComputeKWDBFiles << fileName;
    fComputeKWDBFileObjects.push_back(file);
    for (int i = 0; i < keyWords.Count(); ++i) {
        const TKeyWordEntry& kw = keyWords.Entry(i);
        if (keyWords.GetDeleted(i) || kw.fData.Negative || kw.fWord.isEmpty())
            continue;
        int row = -1;
        if (const auto it = fIndex.find(kw.fWord); it != fIndex.end()) {
            row = it->second;
        } else {
            auto e = std::make_unique<TKWDBEntry>(this);
            e->data.word = kw.fWord;
            row = Add(std::move(e));
            fIndex.emplace(kw.fWord, row);
        }
        TKWDB_entry_rec& d = Entry(row).data;
        // A word twice in one list (different tags) counts once for the text.
        if (!d.occurrences.empty() && d.occurrences.back().file == file) {
            d.occurrences.back().freq += kw.fData.Freq;
            d.freq += kw.fData.Freq;
            continue;
        }
        d.occurrences.push_back({file, kw.fData.Freq, kw.fData.Keyness});
        ++d.texts;
        d.freq += kw.fData.Freq;
        d.keyness += kw.fData.Keyness;
    }
    if (!fStatsFileList)
        return;
    if (keyWords.fKWStats && keyWords.fKWStats->Count() > 1) {
        for (int r = 1; r < keyWords.fKWStats->Count(); ++r)
            fStatsFileList->AddText(keyWords.fKWStats->Row(r)->Data());
    } else {
        TStatsRec rec;
        rec.FileName = QFileInfo(fileName).fileName();
        rec.Folder = QFileInfo(fileName).path();
        rec.Texts = 1;
        fStatsFileList->AddText(rec);
    }
}

void TKWDBList::AddUnusedFile(const QString& fileName)
{
    fComputeKWDBFiles << fileName;
    fComputeKWDBFileObjects.push_back(kFileNotUsed);
}

bool TKWDBList::FinishedTheDatabase(int32_t totalTextFiles)
{
    database_total_text_files = totalTextFiles;
    RemoveIf([&](const TCVBaseListObject& e) { return static_cast<const TKWDBEntry&>(e).data.texts < fSettings.minTexts; });
    SetSortSettingsToDefault();
    CompleteResort();
    RebuildIndex();
    if (fStatsFileList && fStatsFileList->Count() > 0)
        fStatsFileList->RecomputeOverall();
    ComputeRelatedClusters();
    ComputeAllAssociates(fStatsFileList ? fStatsFileList->Count() : 0);
    return UsedFileCount() > 0;
}

std::vector<std::vector<std::pair<int32_t, int32_t>>> TKWDBList::SharedTexts() const
{
    // The entries of each file, then per entry a count over the entries of its files.
    int32_t files = 0;
    for (int i = 0; i < Count(); ++i)
        for (const TKWDBOccurrence& o : Entry(i).data.occurrences)
            files = std::max(files, o.file + 1);
    std::vector<std::vector<int32_t>> entriesOfFile(static_cast<std::size_t>(files));
    for (int i = 0; i < Count(); ++i)
        for (const TKWDBOccurrence& o : Entry(i).data.occurrences)
            entriesOfFile[std::size_t(o.file)].push_back(i);
    std::vector<std::vector<std::pair<int32_t, int32_t>>> out(static_cast<std::size_t>(Count()));
    std::vector<int32_t> counts(static_cast<std::size_t>(Count()), 0);
    std::vector<int32_t> touched;
    for (int i = 0; i < Count(); ++i) {
        touched.clear();
        for (const TKWDBOccurrence& o : Entry(i).data.occurrences)
            for (const int32_t other : entriesOfFile[std::size_t(o.file)]) {
                if (other == i)
                    continue;
                if (counts[std::size_t(other)]++ == 0)
                    touched.push_back(other);
            }
        std::sort(touched.begin(), touched.end());
        for (const int32_t other : touched) {
            out[std::size_t(i)].push_back({other, counts[std::size_t(other)]});
            counts[std::size_t(other)] = 0;
        }
    }
    return out;
}

void TKWDBList::ComputeRelatedClusters()
{
    const auto shared = SharedTexts();
    TUnionFind sets(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        for (const auto& [other, texts] : shared[std::size_t(i)]) {
            const int32_t both = Entry(i).data.texts + Entry(other).data.texts;
            if (texts >= fSettings.minAssociateTexts && both > 0 && 2.0 * texts / both >= 0.5)
                sets.Join(i, other);
        }
    std::vector<int32_t> size(std::size_t(Count()), 0);
    for (int i = 0; i < Count(); ++i)
        ++size[std::size_t(sets.Find(i))];
    std::vector<int32_t> number(std::size_t(Count()), 0);
    int32_t next = 0;
    for (int i = 0; i < Count(); ++i) {
        const int32_t root = sets.Find(i);
        if (size[std::size_t(root)] < 2) {
            Entry(i).data.cluster = 0;
            continue;
        }
        if (number[std::size_t(root)] == 0)
            number[std::size_t(root)] = ++next;
        Entry(i).data.cluster = number[std::size_t(root)];
    }
}

void TKWDBList::ComputeAllAssociates(int32_t statisticsRows)
{
    fTextsBase = statisticsRows > 1 ? statisticsRows - 1 : 0;
    const auto shared = SharedTexts();
    for (int i = 0; i < Count(); ++i) {
        TKWDB_entry_rec& d = Entry(i).data;
        std::vector<TKWDBAssociate> found;
        for (const auto& [other, texts] : shared[std::size_t(i)]) {
            if (texts < fSettings.minAssociateTexts)
                continue;
            const TKWDB_entry_rec& o = Entry(other).data;
            const int32_t both = d.texts + o.texts;
            found.push_back({o.word, texts, both > 0 ? float(2.0 * texts / both) : 0.0f});
        }
        std::stable_sort(found.begin(), found.end(), [](const TKWDBAssociate& a, const TKWDBAssociate& b) {
            if (a.texts != b.texts)
                return a.texts > b.texts;
            if (a.dice != b.dice)
                return a.dice > b.dice;
            return a.word < b.word;
        });
        if (fSettings.maxAssociates > 0 && found.size() > std::size_t(fSettings.maxAssociates))
            found.resize(std::size_t(fSettings.maxAssociates));
        d.associates = std::move(found);
    }
    RebuildAssociatesList();
}

void TKWDBList::RebuildAssociatesList()
{
    if (!fShowingAssociatesList)
        return;
    fShowingAssociatesList->Clear();
    fShowingAssociatesList->SetUnicode(IsUnicode());
    for (int i = 0; i < Count(); ++i) {
        const TKWDB_entry_rec& d = Entry(i).data;
        if (d.associates.empty())
            continue;
        auto e = std::make_unique<TKWAssociateEntry>(fShowingAssociatesList.get());
        e->word = d.word;
        QStringList words;
        for (const TKWDBAssociate& a : d.associates)
            words << a.word;
        e->associates = words.join(QStringLiteral(", "));
        e->texts = d.texts;
        fShowingAssociatesList->Add(std::move(e));
    }
}

QStringList TKWDBList::DetailsOfCurrentSettings() const
{
    QStringList out;
    out << QStringLiteral("Key words a file must have\t%1").arg(fSettings.minKeyWordsPerFile);
    out << QStringLiteral("Texts a key word must be key in\t%1").arg(fSettings.minTexts);
    out << QStringLiteral("Texts an associate must share\t%1").arg(fSettings.minAssociateTexts);
    out << QStringLiteral("Associates at most\t%1").arg(fSettings.maxAssociates);
    out << QStringLiteral("Texts in the database\t%1 of %2").arg(UsedFileCount()).arg(database_total_text_files);
    return out;
}

bool TKWDBList::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    auto* o = dynamic_cast<TKWDBList*>(&other);
    return o && MergeDatabaseWith(*o, true);
}

bool TKWDBList::MergeDatabaseWith(TKWDBList& other, bool withStatistics)
{
    TKWDBList* o = &other;
    if (o == this)
        return false;
    const int32_t offset = int32_t(fComputeKWDBFiles.size());
    fComputeKWDBFiles += o->fComputeKWDBFiles;
    for (const int32_t obj : o->fComputeKWDBFileObjects)
        fComputeKWDBFileObjects.push_back(obj >= 0 ? obj + offset : obj);
    RebuildIndex();
    for (int i = 0; i < o->Count(); ++i) {
        const TKWDB_entry_rec& src = o->Entry(i).data;
        int row = IndexOfWord(src.word);
        if (row < 0) {
            auto e = std::make_unique<TKWDBEntry>(this);
            e->data.word = src.word;
            row = Add(std::move(e));
            fIndex.emplace(src.word, row);
        }
        TKWDB_entry_rec& d = Entry(row).data;
        for (TKWDBOccurrence occ : src.occurrences) {
            occ.file += offset;
            d.occurrences.push_back(occ);
        }
        d.texts += src.texts;
        d.freq += src.freq;
        d.keyness += src.keyness;
    }
    if (withStatistics && fStatsFileList && o->fStatsFileList && fStatsFileList != o->fStatsFileList
        && o->fStatsFileList->Count() > 1) {
        for (int r = 1; r < o->fStatsFileList->Count(); ++r)
            fStatsFileList->AddText(o->fStatsFileList->Row(r)->Data());
        fStatsFileList->RecomputeOverall();
    }
    database_total_text_files += o->database_total_text_files;
    return true;
}

bool TKWDBList::SaveToStream(TStream& s)
{
    TMemoryStream h;
    if (!h.WriteI32(fSettings.minKeyWordsPerFile) || !h.WriteI32(fSettings.minTexts)
        || !h.WriteI32(fSettings.minAssociateTexts) || !h.WriteI32(fSettings.maxAssociates)
        || !h.WriteI32(database_total_text_files) || !h.WriteI32(fTextsBase))
        return false;
    if (!WriteListHeader(s, kHeaderMagic, h) || !s.WriteCount(fComputeKWDBFiles.size()))
        return false;
    for (int i = 0; i < fComputeKWDBFiles.size(); ++i)
        if (!WriteAString(s, fComputeKWDBFiles[i]) || !s.WriteI32(fComputeKWDBFileObjects[std::size_t(i)]))
            return false;
    if (!fStatsFileList)
        return false;
    // Entries are always written in the newest layout, whatever version the database was read with.
    RaiseVersionTo(kVersion);
    return fStatsFileList->SaveToStream(s) && TCVBaseLemmaMatchCapableList::SaveToStream(s);
}

bool TKWDBList::ReadFromStream(TStream& s)
{
    TMemoryStream h;
    if (!ReadListHeader(s, kHeaderMagic, h))
        return false;
    TKWDBSettings settings;
    int32_t total = 0, base = 0, n = 0;
    if (!h.ReadI32(settings.minKeyWordsPerFile) || !h.ReadI32(settings.minTexts) || !h.ReadI32(settings.minAssociateTexts)
        || !h.ReadI32(settings.maxAssociates) || !h.ReadI32(total) || !h.ReadI32(base) || !s.ReadCount(n, 9))
        return false;
    QStringList files;
    std::vector<int32_t> objects;
    for (int32_t i = 0; i < n; ++i) {
        QString name;
        int32_t obj = 0;
        if (!ReadAString(s, name) || !s.ReadI32(obj) || obj < kFileNotUsed)
            return false;
        files << name;
        objects.push_back(obj);
    }
    if (!fStatsFileList || !fStatsFileList->ReadFromStream(s) || !TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    fSettings = settings;
    database_total_text_files = total;
    fTextsBase = base;
    fComputeKWDBFiles = files;
    fComputeKWDBFileObjects = std::move(objects);
    for (int i = 0; i < Count(); ++i)
        for (const TKWDBOccurrence& o : Entry(i).data.occurrences)
            if (o.file >= n || fComputeKWDBFileObjects[std::size_t(o.file)] < 0)
                return false;
    RebuildIndex();
    RebuildAssociatesList();
    return true;
}

double TKWDBList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TKWDB_entry_rec& d = Entry(row).data;
    switch (column) {
    case kColN: return row + 1;
    case kColTexts: return d.texts;
    case kColTextsPercent: return TextsBase() > 0 ? 100.0 * d.texts / TextsBase() : 0;
    case kColFreq: return double(d.freq);
    case kColKeyness: return MeanKeyness(row);
    case kColAssociates: return double(d.associates.size());
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

void TKWDBList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    switch (column) {
    case kColN:
    case kColTexts:
    case kColFreq:
    case kColAssociates: NumberCell(rec, NumericalData(row, column), true); return;
    case kColTextsPercent:
    case kColKeyness: NumberCell(rec, NumericalData(row, column), false, 2); return;
    case kColWord: rec.text = Entry(row).data.word; return;
    default: TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

void TKWDBList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    // Most texts first, then alphabetically.
    Set1Sort(0, kSortTexts);
    SetSortAscending(0, false);
    Set1Sort(1, kSortByWord);
    SetSortAscending(1, true);
}

} // namespace cv
