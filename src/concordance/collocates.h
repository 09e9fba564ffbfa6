#pragma once
// Collocates: the words found near the search word in the concordance lines,
// counted at each word position within the collocate horizons, with totals
// left, right and overall, the number of texts they occur in, and eleven
// association scores computed later against a reference word list.
//
// The document feeds each line's words into a TCollocateTree, which merges
// equal words while counting; Collect walks it in order into the
// TCollocateList. Positions: 50 is the search word, 50 - n the n-th word to
// its left, 50 + n the n-th to its right.

#include "concordance/marvex_filenames.h"
#include "model/general_tree.h"
#include "model/lemma_match_list.h"
#include "suite/settings_record.h"
#include "suite/settings_records.h"
#include "suite/wdef.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <vector>

namespace cv {

struct TStoredTagRec;

// Left and right horizon as indexes into the 102 word positions.
struct TSpan {
    uint8_t left = 45;
    uint8_t right = 55;
    int Width() const { return right - left + 1; }
    friend bool operator==(const TSpan&, const TSpan&) = default;
};

// Horizons in words (left, right) to position indexes: 50 - left ... 50 + right,
// kept inside 0 ... 101.
TSpan CollocSpan(Tdouble_smallint_type horizons);

constexpr int kAssociationScores = 11;

// --- the counting tree -----------------------------------------------------------

struct TCollocTreeRec {
    QString wd;
    QString prefix_or_tag;
    QString suffix;
    QString search_w;              // the search word this collocate belongs to
    int32_t tag_number_1Based = 0;
    int32_t s_w_number = -1;       // -99 the search word itself, -2 merged search words
    std::vector<int32_t> textnumbers; // each text once
    std::vector<int32_t> freqs;    // element i: word position span.left + i
    bool ignore_freq = false;      // kept whatever the thresholds
    bool is_lemmatised = false;
};

class TCollocateList;

class TCollocateTree final : public TGeneral_Tree<TCollocTreeRec> {
public:
    // Thresholds, horizons and search-word merging from the settings; with
    // `useStopList` words of the loaded stop list are not emitted.
    TCollocateTree(const TConcSettingsRec32& settings, bool useStopList);
    ~TCollocateTree() override { Free(); }

    TSpan Span() const { return colloc_spans; }
    bool MergesSearchWords() const { return merge_sws_for_collocs; }

    // Counts one word at word position `position` (within the span) of a line
    // of text `textNumber`.
    void AddWord(const QString& word, int position, int32_t textNumber, int32_t swNumber, const QString& searchWord,
                 int32_t tagNumber = 0, const QString& prefix = QString(), const QString& suffix = QString(),
                 bool ignoreFreq = false);
    // Adds a prepared node (counts merge with an equal word already there).
    void AddNode(TCollocTreeRec node);

    // Walks the tree in order into the list: each word passing the thresholds
    // (or marked to be kept) becomes a row. A row whose tag number names one
    // of `tags` (1-based) takes that tag as its category and colour.
    void Collect(TCollocateList& list, std::span<const TStoredTagRec> tags = {});

    int fMinimum_length;
    int fminimum_frequency;
    int fminimum_colloc_texts;
    QStringList sws_found; // search words that have collocates

protected:
    int Compare(const TCollocTreeRec& a, const TCollocTreeRec& b) const override;
    void Do_Found_Match(TCollocTreeRec& existing, TCollocTreeRec& seed) override;
    void Do_In_Order(TCollocTreeRec& key) override;

private:
    TSpan colloc_spans;
    bool merge_sws_for_collocs;
    bool fUseStopList;
    TCollocateList* fTarget = nullptr;
    std::span<const TStoredTagRec> fTags;
};

// --- rows ------------------------------------------------------------------------------

// Bytes 72 ... 271 of the stored collocate record: the lemmatised flag and
// the association scores; the rest is kept as it came.
class TCollocateScoreBlock : public TSettingsRecord<200> {
public:
    CV_BOOL_FIELD(0, IsLemmatised)
    float Score(int i) const { return Get<float>(8 + 4 * std::size_t(i)); }
    void SetScore(int i, float v) { Set<float>(8 + 4 * std::size_t(i), v); }
    bool AnyScore() const;
};

struct TCollocateEntryRec32 {
    float relationship = 0;     // a single relationship value of older documents
    int32_t highest = 0;        // highest count at one position
    int32_t total = 0;          // within the horizons
    int32_t left = 0;
    int32_t right = 0;
    int32_t texts = 0;
    int32_t sw_number = 0;
    std::vector<int32_t> freqs; // count per position, from the list's left span
    QString word;
    QString prefix_or_tag;
    QString suffix;
    QString search_word;
    int32_t lemma_total = 0, lemma_left = 0, lemma_right = 0, lemma_texts = 0, lemma_highest = 0;
    std::vector<int32_t> lemma_freqs;
    TCollocateScoreBlock block;

    friend bool operator==(const TCollocateEntryRec32&, const TCollocateEntryRec32&) = default;
};

class TCollocateEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;

    TCollocateEntryRec32& Data() { return data; }
    const TCollocateEntryRec32& Data() const { return data; }
    void ZeroTheDataRec() { data = {}; }
    // Empties the lemma per-position counts and zeroes the five lemma totals.
    void ClearLemmaData();
    bool HasLemmaData() const { return data.lemma_total >= 1; }

    double GetAValueAsSingle(int column) const override;
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString GetAPrefixAsString() const override { return data.prefix_or_tag; }
    QString GetASuffixAsString() const override { return data.suffix; }
    void SetAPrefixAsString(const QString& t) override { data.prefix_or_tag = t; }
    void SetASuffixAsString(const QString& t) override { data.suffix = t; }
    QString MainWordOnly() const override { return data.word; }
    int64_t MainWordFrequency() const override { return data.total; }
    int32_t MainNTexts() const override { return data.texts; }
    QStringView MainWordAsPointer() const override { return data.word; }
    int MainWordLength() const override { return int(data.word.size() + data.prefix_or_tag.size() + data.suffix.size()); }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;

private:
    TCollocateEntryRec32 data;
};

struct TCollocateSettings {
    Tdouble_smallint_type setting_of_spans{5, 5};
    int32_t Current_CollocFreqnum = 0;
    bool current_has_set_column = false;
    bool current_most_frequent = false;
    bool saved_relationships_computed = false;
    bool saved_relations_computed_before21_04_16 = false;
    bool spare_setting_of_showing_percentage = false;
};

class TCollocateList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListCollocates;
    static constexpr int32_t kVersion = 23;

    // Grid columns.
    enum : int {
        kColWord = 1,
        kColSearchWord = 2,
        kColFirstScore = 3,
        kColLastScore = 13,
        kColSet = 14,
        kColTexts = 15,
        kColTotal = 16,
        kColLeft = 17,
        kColRight = 18,
        kStandardColumns = 19, // position columns follow
    };
    // Sort keys (besides 3 ... 13, the scores, and 15 ... 18 as their columns).
    enum : int32_t {
        kSortWord = 0,
        kSortCapitalisedFirst = 1,
        kSortSearchWord = 2,
        kSortSet = 14,
        kSortReverseWord = 20,
        kSortWordLength = 21,
        kSortPositionBase = 300, // + position column offset: the count there
    };
    // Shown for a zero percentage and for a column before the first position.
    static constexpr double kZeroPercent = -999998.0;
    static constexpr double kNoColumn = -999999.0;

    TCollocateList(TCorvantisholder* owner, uint32_t toolSignature);

    TCollocateEntry* Entry(int i) const { return static_cast<TCollocateEntry*>(Get(i)); }
    TCollocateEntryRec32 CollocateData(int i) const;
    int AddCollocate(const TCollocateEntryRec32& rec);

    TSpan Span() const { return fSpan; }
    void SetSpan(TSpan span);
    // Horizons from the settings; the exclusion span from the exclusion
    // horizons when exclusion words are on, else 50 both sides.
    void ComputeLeftAndRightSpan(const TConcSettingsRec32& settings);
    TSpan ExclusionSpan() const { return fExclusionSpan; }
    // The word position a grid column shows; -1 for columns before the positions.
    int ColToSpan(int column) const;
    // Standard headings, then one per position of the span ("L2", "Centre", "R1").
    void ResetHeadingsForSpan();
    // Help text of a grid column (its heading's hint): for a score, its formula.
    static QString ColumnHelp(int column);

    TCollocateSettings CollocateSettings;
    bool fAssociationPresent = false;     // some row carries association scores
    bool fOlderRelationshipPresent = false;
    int32_t fCurrentStatistic = 0;        // score slot an older single value belongs in
    bool fLemmaMode = false;              // show and sort joined rows by their lemma totals
    bool fShowAsPercentages = false;      // else raw counts
    int32_t fWordSortChoice = kSortWord;  // kSortWord, kSortReverseWord, kSortWordLength or kSortCapitalisedFirst
    // Filled by the document: the search words (by number), its texts and lines.
    QStringList fSearchWordTexts;
    int32_t fTextCount = 0;
    int32_t fLineCount = 0;
    // Columns 3 ... 13 are hidden until scores are computed.
    bool ColumnHidden(int column) const;
    void SetScoreColumnsHidden(bool hidden) { fScoresHidden = hidden; }

    // Lemma values of the rows after joins: a head row's totals with its forms'.
    void DoPostJoinOrUnjoiningOperation() override;
    // "head -> form1,form2" per head word with joined rows.
    QStringList LemmaListFromThisList() const;
    // Joins every row whose word equals `word` ignoring case under the first of them.
    int JoinCaseVariants(const QString& word);
    int PredefinedSetColumnNumber() const { return kColSet; }

    bool CloudDataNeedsSorting() const override { return true; }
    void GetNextCloudDatum(TWordFreqAndSourceNum& datum) override;
    void GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    // Sorting by an association score that was never computed tells the user and changes nothing.
    void Set1Sort(int level, int32_t key) override;
    void SetSortSettingsToDefault() override;
    void SetSecondSortAsWordSort() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;
    void Clear() override;

private:
    double ColumnValue(int row, int column, bool forCloud, bool percentages) const;
    double Percent(double part, double whole) const;
    QString SearchWordCell(const TCollocateEntry& e) const;
    QString WordCell(const TCollocateEntry& e) const;

    TSpan fSpan;
    TSpan fExclusionSpan{50, 50};
    bool fScoresHidden = true;
};

} // namespace cv
