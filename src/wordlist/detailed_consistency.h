#pragma once
// Detailed consistency: how often each word occurs in each of several saved
// word lists. One row per word: its frequency in every list, the total over
// the lists, and the number of lists it occurs in ("Texts"). A second list,
// the consistency relations, pairs words that occur in the same lists, with
// the Dice coefficient of their sets of lists.
//
// Grid columns: 0 N, 1 Word, 2 Texts, 3 Total, 4 Set, then one column per
// source list (kFirstListColumn + k), headed with the list's file name.
//
// Stream form inside a ".lst" file: docs/consistency-list.md.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "model/lemma_match_list.h"

namespace cv {

class TStream;
class TCorvantisholder;

// Sort keys of the detailed-consistency list (what IntegerToDCSort gives).
enum : int32_t {
    kDCSortNone = -1,
    kDCSortWord = 0, // alphabetical, as every list's key 0
    kDCSortTexts = 1,
    kDCSortTotal = 2,
    kDCSortFirstList = 100000, // + k: the frequency in source list k (clear of the set-column keys)
};

// The frequency of a word in one source list (lists where it is absent have none).
struct TDCCell {
    int32_t list = 0;
    int64_t freq = 0;
    friend bool operator==(const TDCCell&, const TDCCell&) = default;
};

// A copy of one row's record.
struct TDetailedConsistencyData {
    QString word;
    int32_t texts = 0;          // lists the word occurs in
    int64_t total = 0;          // sum of the frequencies
    std::vector<int64_t> freqs; // one per source list, in column order
};

// One word list reduced to what a consistency list needs.
struct TConsistencySource {
    QString fileName;  // the saved list (column heading: its name without folder)
    int64_t tokens = 0; // running words the list was made from
    std::vector<std::pair<QString, int64_t>> words; // each word type once, frequency above 0
};

// Limits of the relations computation, so that it stays bounded on big lists.
struct TConsistencyRelationSettings {
    // Only words occurring in at least this many lists take part ...
    int32_t minTexts = 2;
    // ... and of those, the most frequent (by total) at most this many.
    int32_t maxWords = 2000;
    // A pair is kept when it shares at least this many lists and its Dice
    // coefficient reaches minDice.
    int32_t minJointTexts = 2;
    double minDice = 0.5;
    // Words that occur in every list relate to all others alike: left out.
    bool skipWordsInAllLists = true;
    // The strongest pairs (by Dice, then shared lists) kept at most.
    int32_t maxRelations = 100000;
};

class TDetailedConsistencyEntry final : public TCVBaseListObject {
public:
    explicit TDetailedConsistencyEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}

    QString fWord;
    int32_t fTexts = 0;           // lists the word occurs in
    int64_t fTotal = 0;           // sum of its frequencies
    std::vector<TDCCell> fCells;  // by ascending list number, frequencies above 0

    // The frequency in source list k (0 when absent).
    int64_t Freq(int k) const;
    // Adds to the frequency in list k and keeps texts and total in step.
    void AddFreq(int k, int64_t freq);

    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QStringView MainWordAsPointer() const override { return fWord; }
    int64_t MainWordFrequency() const override { return fTotal; }
    int32_t MainNTexts() const override { return fTexts; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
};

class TConsistencyRelationEntry final : public TCVBaseListObject {
public:
    explicit TConsistencyRelationEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}

    QString fWord1;
    QString fWord2;
    int32_t fJointTexts = 0; // lists holding both words
    int32_t fTexts1 = 0;
    int32_t fTexts2 = 0;
    double fDice = 0;        // 2 * joint / (texts1 + texts2)

    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QStringView MainWordAsPointer() const override { return fWord1; }
    int32_t MainNTexts() const override { return fJointTexts; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
};

// Sort keys of the relations list.
enum : int32_t {
    kRelSortWord1 = 0,
    kRelSortWord2 = 1,
    kRelSortJointTexts = 2,
    kRelSortTexts1 = 3,
    kRelSortTexts2 = 4,
    kRelSortDice = 5,
};

// Word pairs of a detailed-consistency list (list type 3). Grid columns:
// 0 N, 1 Word 1, 2 Word 2, 3 Texts, 4 Texts 1, 5 Texts 2, 6 Dice, 7 Set.
class TConsistencyRelationsList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr int32_t kVersion = 1;

    TConsistencyRelationsList(TCorvantisholder* owner, uint32_t toolSignature);

    TConsistencyRelationEntry& Relation(int i) const;

    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override { return false; }
};

class TDetailedConsistencyList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr int32_t kVersion = 1;
    static constexpr int kFirstListColumn = 5;
    // Told the share done (0..100); answering false stops the build.
    using TProgress = std::function<bool(int percent)>;

    TDetailedConsistencyList(TCorvantisholder* owner, uint32_t toolSignature);
    ~TDetailedConsistencyList() override;

    // Replaces the list with the words of the sources (in column order) and
    // computes the relations. False, leaving the list empty, when fewer than
    // two sources are given or the build was stopped.
    bool BuildFrom(const std::vector<TConsistencySource>& sources, const TConsistencyRelationSettings& relations = {},
                   const TProgress& progress = {});
    // Recomputes the relations list from the rows as they are now; false
    // (the relations list empty) when the cancel state stopped it.
    bool ComputeRelations(const TConsistencyRelationSettings& relations);

    // Source lists, in column order.
    int ListCount() const { return int(fListNames.size()); }
    QString ListFileName(int k) const { return fListNames.value(k); }
    int64_t ListTokens(int k) const;
    // Grid column of source list k, and the list of a grid column (-1 none).
    static int ColumnOfList(int k) { return kFirstListColumn + k; }
    int ListOfColumn(int column) const;

    TDetailedConsistencyEntry& Entry(int i) const;
    // A copy of row i's record as stored.
    TDetailedConsistencyData DetailedConsistencyData(int i) const;
    // Row i with the forms joined under it added in.
    TDetailedConsistencyData CombinedData(int i) const;
    // The same, without the copy: texts and total of row i with its forms,
    // and its frequency in list k with its forms.
    int32_t CombinedTexts(int i) const;
    int64_t CombinedTotal(int i) const;
    int64_t CombinedFreq(int i, int k) const;

    // The sort key of a grid column (kDCSortNone for N, Set and unknown columns).
    int32_t IntegerToDCSort(int column) const;
    // Installs three sort keys on the three levels (kDCSortNone leaves a level unused).
    void SetThreeSorts(int32_t first, int32_t second, int32_t third);
    // CompleteResort (sort of every row by the three levels) is the base's.

    TConsistencyRelationsList* RelationsList() const { return fRelationsList.get(); }

    // Whether the window highlights the per-list cells of the rows.
    bool Marking() const { return fMarking; }
    void SetMarking(bool on) { fMarking = on; }

    // --- overrides ---
    void Clear() override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    // A list's frequencies are counts of its running words; the total, of all the lists'.
    int64_t RunningWordsOfColumn(int column) const override;
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    // Lists of different sources cannot be merged row by row.
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override { return false; }
    // The list's own header, the base list stream, then the relations list.
    bool SaveToStream(TStream& s) override;
    bool ReadFromStream(TStream& s) override;

private:
    void ResetHeadings();
    void ForgetSources();

    QStringList fListNames;
    std::vector<int64_t> fListTokens;
    bool fMarking = false;
    std::unique_ptr<TConsistencyRelationsList> fRelationsList;
};

} // namespace cv
