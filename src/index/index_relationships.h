#pragma once
// Relationships (list type 28): pairs of words found near each other in the
// texts of an index, each with its joint frequency and the eleven
// association scores of maths/statistics.h, in their fixed order: Dice,
// MI, MI3, Z score, log likelihood, T score, log ratio, conditional
// probabilities A and B, delta P A and B.
//
// Word 1 (A) is a node word, word 2 (B) a word within the span of one of
// its occurrences: L words to its left and R to its right, never across a
// boundary at or above the "stop at" level nor across the end of a text.
// Over the index of N running words:
//   f_AB  the B tokens within the spans of the A tokens (joint frequency)
//   f_A, f_B  the frequencies of A and B in the index
//   span  L + R, the positions looked at around each A
// and every score is the maths routine's function of (f_AB, f_A, f_B, N, span)
// over the windowed table (R1 = f_A * span positions near the node, C1 = f_B),
// e.g. MI = log2(f_AB / E) with E = f_A * f_B * span / N, the joint
// frequency expected if B fell anywhere, and P(B | A) = f_AB / R1.

#include "maths/statistics.h"
#include "model/lemma_match_list.h"
#include "suite/settings_records.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace cv {

class TIndexData;

// The data of one relationship.
struct TMIDataRec {
    QString Word1;
    QString Word2;
    int64_t Freq = 0;   // joint frequency f_AB
    int64_t Freq1 = 0;  // f_A
    int64_t Freq2 = 0;  // f_B
    int32_t Texts = 0;  // texts in which the two are found together
    int32_t Gap = 0;    // mean place of word 2 from word 1 (negative: to its left), rounded
    std::array<float, kAssociationCount> Scores{};

    friend bool operator==(const TMIDataRec&, const TMIDataRec&) = default;
};

class TRelationshipEntry final : public TCVBaseListObject {
public:
    explicit TRelationshipEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}
    TMIDataRec fData;

    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString MainWordOnly() const override { return fData.Word1; }
    QStringView MainWordAsPointer() const override { return fData.Word1; }
    int64_t MainWordFrequency() const override { return fData.Freq; }
    int32_t MainNTexts() const override { return fData.Texts; }
    bool IsDuplicateOf(const TCVBaseListObject& other) const override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
};

class TRelationshipsList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr int32_t kVersion = 1;

    // Grid columns: N, the two words, the three frequencies, texts, gap,
    // the eleven scores, the set column.
    enum TColumn : int {
        kColN = 0,
        kColWord1,
        kColWord2,
        kColFreq,
        kColFreq1,
        kColFreq2,
        kColTexts,
        kColGap,
        kColFirstScore,
        kColSet = kColFirstScore + kAssociationCount,
        kColumnCount,
    };
    // Sort keys of the list (its "MI sorts"): one per data column.
    enum TMISort : int32_t {
        kSortWord1 = 0,
        kSortWord2,
        kSortFreq,
        kSortFreq1,
        kSortFreq2,
        kSortTexts,
        kSortGap,
        kSortFirstScore,
        kSortSet = kSortFirstScore + kAssociationCount,
    };

    TRelationshipsList(TCorvantisholder* owner, uint32_t toolSignature);

    TRelationshipEntry& Entry(int i) const { return static_cast<TRelationshipEntry&>((*this)[i]); }
    TMIDataRec MIData(int i) const;
    // The standard headings: the scores named as the statistics module names them.
    static QStringList Headings();
    // Help text of a grid column (its heading's hint): for a score, its formula.
    static QString ColumnHelp(int column);

    // The sort key of a grid column (-1 for columns that do not sort).
    static int32_t TrueColumnToMISort(int column);
    // The three sort levels at once (keys as TrueColumnToMISort gives them; -1 unused).
    void SetThreeSorts(int32_t first, int32_t second, int32_t third);
    // The comparison of typed-word searches: 0 by word 1, 2 by word 2 (other
    // values leave it); the main sort follows it.
    void SetCompareFunct(int funct);
    int CompareFunct() const { return fCompareFunct; }
    // The first entry whose word (word 1, or word 2 with compare function 2)
    // begins with the text, not case-sensitive; -1 when none.
    int FindTypedWord(const QString& text) const;

    // Running words N the scores were computed with, and the span.
    int64_t TotalTokens = 0;
    int32_t SpanLeft = 0;
    int32_t SpanRight = 0;

    // --- overrides ---
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override { return TrueColumnToMISort(column); }
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    bool SaveToStream(TStream& s) override;
    bool ReadFromStream(TStream& s) override;

private:
    int fCompareFunct = 0;
};

// What a relationships run looks at and keeps (from the index settings record).
struct TRelationshipOptions {
    int32_t left = 1;            // words looked at to the left of a node word
    int32_t right = 1;           // and to its right
    int stopLevel = 0;           // a boundary of this level or above blocks (0: only the end of a text)
    bool omitEqual = true;       // no pair of a word with itself
    bool omitNumbers = true;     // no pair with a number
    bool bothWays = false;       // both A-B and B-A when both are node words
    uint8_t stopListMode = 0;    // 0 none, 1 word 1 not in the stop list, 2 word 2, 3 both
    int64_t minJoint = 1;
    int32_t minTexts = 1;
    int64_t minWord2Freq = 1;
    double maxPercent = 0;       // words above this share of N (percent) are left out; 0 no limit
    TAssociationScores thresholds{};
    bool anyThreshold = false;
    int64_t N = 0;               // running words

    static TRelationshipOptions FromSettings(const TWordlist_index_settings_rec& rec, int64_t runningWords);
};

// Counts the relationships of the node types (every type when `nodes` is
// empty) over the index into `out` (which is cleared first), sorted by
// word 1 then joint frequency. `stopTypes` flags the types of the stop list
// (may be empty). False, with the reason, when the index cannot be read;
// a cancel stops with what was found so far and sets *cancelled.
bool ComputeRelationships(const TIndexData& index, const std::vector<uint32_t>& nodes,
                          const std::vector<uint8_t>& stopTypes, const TRelationshipOptions& options,
                          TRelationshipsList& out, QString* error, bool* cancelled = nullptr);

} // namespace cv
