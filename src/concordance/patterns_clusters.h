#pragma once
// Three small lists a concordance document derives from its lines.
//
// Patterns: for each of the eleven word positions L5 ... R5 around the
// search word, the words found there ranked by frequency; row r holds the
// r-th most frequent word of every position. One TPatternTree per position
// counts the words.
//
// Concordance clusters: word sequences that recur in the lines, with their
// frequency, their length in words and the longer or shorter clusters they
// are part of or contain. A TConcordanceClusterTree counts them.
//
// Merge records: for a document made by merging others, which source text
// and search word each merge number of a line stands for.
//
// Positions count as everywhere in the concordance: 50 is the search word,
// 50 - n the n-th word to its left, 50 + n the n-th to its right.

#include "model/general_tree.h"
#include "model/lemma_match_list.h"
#include "suite/wdef.h"
#include "suite/settings_records.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace cv {

// Whether a word is in the stop list loaded for this tool.
bool InLoadedStopList(const QString& word);

// --- patterns -----------------------------------------------------------------

constexpr int kPatternPositions = 11;   // L5 ... R5
constexpr int kFirstPatternPosition = 45;

struct TPatternTreeRec {
    QString w;
    int32_t freq = 1;
};

class TPatternTree final : public TGeneral_Tree<TPatternTreeRec> {
public:
    // Counts the words at word position `span` (45 ... 55). The thresholds are
    // the collocate settings' minimum length and frequency; with `useStopList`
    // words of the loaded stop list are left out of the walk.
    TPatternTree(const TConcSettingsRec32& settings, bool useStopList, int span);
    ~TPatternTree() override { Free(); }

    int Span() const { return fspan; }
    // Counts one occurrence of a word.
    void AddWord(const QString& word);
    // Walks the tree into FreqList: words at least as frequent as the
    // minimum and strictly longer than the minimum length.
    void Collect();

    std::vector<TPatternTreeRec> fFreqList;

protected:
    int Compare(const TPatternTreeRec& a, const TPatternTreeRec& b) const override;
    uint64_t Hash(const TPatternTreeRec& key) const override;
    void Do_Found_Match(TPatternTreeRec& existing, TPatternTreeRec& seed) override;
    void Do_In_Order(TPatternTreeRec& key) override;

private:
    int fspan;
    int fMinimum_length;
    int fminimum_frequency;
    bool fUseStopList;
};

struct TPatternEntryRec {
    std::array<int32_t, kPatternPositions> freqs{}; // L5, L4, ... the search word, R1 ... R5
    std::array<QString, kPatternPositions> words;
    int32_t sw_number = 0;
    friend bool operator==(const TPatternEntryRec&, const TPatternEntryRec&) = default;
};

class TPatternEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;

    TPatternEntryRec& Data() { return fData; }
    const TPatternEntryRec& Data() const { return fData; }
    void ZeroTheDataRec() { fData = {}; }

    // Column to position: column + 45, or 55 - column when the document's
    // language reads right to left; the word at that position.
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QStringView MainWordAsPointer() const override { return fData.words[5]; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;

    // The position (45 ... 55) a grid column stands for; -1 outside.
    int ColumnToPosition(int column) const;

private:
    TPatternEntryRec fData;
};

class TPatternsList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListPatterns;
    static constexpr int32_t kVersion = 11;

    TPatternsList(TCorvantisholder* owner, uint32_t toolSignature);

    TPatternEntry* Entry(int i) const { return static_cast<TPatternEntry*>(Get(i)); }
    // A copy of row i's record (zeroed outside the list).
    TPatternEntryRec PatternData(int i) const;
    int AddRow(const TPatternEntryRec& rec);

    bool CloudDataNeedsSorting() const override { return true; }
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    // The word at the cloud column's position, its frequency there, the row's rank.
    void GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const override;
    // Sorting by a column sorts by the frequency there (the base's numeric sort).
    double NumericalData(int row, int column) const override;
};

// --- concordance clusters ---------------------------------------------------------

struct TClusterEntryRec {
    int32_t frequency = 1;
    int32_t cluster_length = 0; // words in the cluster
    QString line;               // the cluster's text
    QString related_line;       // "longer or shorter cluster (frequency)", comma separated
    friend bool operator==(const TClusterEntryRec&, const TClusterEntryRec&) = default;
};

class TConcordanceClusterTree final : public TGeneral_Tree<TClusterEntryRec> {
public:
    explicit TConcordanceClusterTree(int minimumFrequency);
    ~TConcordanceClusterTree() override { Free(); }

    // Counts one occurrence of a cluster.
    void AddCluster(const QString& text, int32_t length);
    // Walks the tree into FreqList (clusters at least as frequent as the
    // minimum), noting the highest frequency seen.
    void Collect();

    int32_t max_found = 0;
    std::vector<TClusterEntryRec> fFreqList;

protected:
    int Compare(const TClusterEntryRec& a, const TClusterEntryRec& b) const override;
    uint64_t Hash(const TClusterEntryRec& key) const override;
    void Do_Found_Match(TClusterEntryRec& existing, TClusterEntryRec& seed) override;
    void Do_In_Order(TClusterEntryRec& key) override;

private:
    int fminimum_frequency;
};

class TConcordanceClusterEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;

    TClusterEntryRec& Data() { return fData; }
    const TClusterEntryRec& Data() const { return fData; }
    void ZeroTheDataRec() { fData = {}; }

    double GetAValueAsSingle(int column) const override;
    // Kind 1: the cluster text.
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QStringView MainWordAsPointer() const override { return fData.line; }
    int64_t MainWordFrequency() const override { return fData.frequency; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;

private:
    TClusterEntryRec fData;
};

class TConcordanceClusterList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListConcordanceClusters;
    static constexpr int32_t kVersion = 11;

    // Sort keys.
    enum : int32_t { kSortText = 0, kSortSet = 1, kSortFrequency = 2, kSortLength = 3, kSortRelated = 4 };

    TConcordanceClusterList(TCorvantisholder* owner, uint32_t toolSignature);

    TConcordanceClusterEntry* Entry(int i) const { return static_cast<TConcordanceClusterEntry*>(Get(i)); }
    TClusterEntryRec ClusterData(int i) const;
    int AddCluster(const TClusterEntryRec& rec);
    // Each row's length := 1 + the blanks in its trimmed text.
    void SetClusterLengths();
    // The grid column whose cells are the row's set-column category.
    int PredefinedSetColumnNumber() const { return 3; }

    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    void SetSortSettingsToDefault() override;
    bool SaveToStream(TStream& s) override;
};

// --- merge records -----------------------------------------------------------------

struct TConcEntryMergeRec {
    int32_t merge_num = 0;
    QString full_filename;
    QString search_word;
};

class TConcEntryMergeRecList {
public:
    void Add(const TConcEntryMergeRec& rec) { fItems.push_back(rec); }
    void Clear() { fItems.clear(); }
    int Count() const { return int(fItems.size()); }
    const TConcEntryMergeRec& Get(int i) const { return fItems[size_t(i)]; }
    // The record whose merge number is n, else -1.
    int IndexOfN(int32_t n) const;

private:
    std::vector<TConcEntryMergeRec> fItems;
};

} // namespace cv
