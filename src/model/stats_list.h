#pragma once
// Per-text statistics of a job: one row per text read, and row 0 the overall
// total. The columns are the values of stats_sort_system. The word-list job
// computes the numbers; this list keeps, shows, sorts, merges and stores them.

#include "model/lemma_match_list.h"
#include "suite/wdef.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace cv {

class TCVFileDetails;

// Grid columns of the statistics list; each is also its sort key.
enum stats_sort_system : int32_t {
    ss_RowNumber = 0,
    ss_FileName,
    ss_Texts,
    ss_Bytes,
    ss_TokensInText,
    ss_TokensUsed,
    ss_Types,
    ss_TTR,
    ss_STTR,
    ss_STTRStdDev,
    ss_STTRBasis,
    ss_MeanWordLength,
    ss_WordLengthStdDev,
    ss_Sentences,
    ss_MeanSentenceLength,
    ss_SentenceLengthStdDev,
    ss_Paragraphs,
    ss_MeanParagraphLength,
    ss_Headings,
    ss_MeanHeadingLength,
    ss_Sections,
    ss_MeanSectionLength,
    ss_NumbersRemoved,
    ss_StopTokensRemoved,
    ss_StopTypesRemoved,
    ss_WordsOfLength1, // then one column per length: 2, 3 ... 13, and 14 or more letters
    ss_WordsOfLength14Plus = ss_WordsOfLength1 + 13,
    ss_ColumnCount,
};

// The statistics of one text (or, in row 0, of all of them).
struct TStatsRec {
    static constexpr int kLengthClasses = 14;

    QString FileName;     // without folder; row 0 carries the overall label
    QString Folder;       // the text's folder, without a trailing separator
    QString ZipEntryName; // the text inside the archive named by Folder/FileName, else empty
    int64_t FileTime = 0; // last change, milliseconds since 1970 UTC; 0 unknown
    int32_t Texts = 0;
    int64_t Bytes = 0;
    int64_t TokensInText = 0; // running words in the text
    int64_t TokensUsed = 0;   // running words that went into the word list
    int64_t Types = 0;        // distinct word forms
    double TTR = 0;           // types / tokens used x 100
    double STTR = 0;          // mean type/token ratio over chunks of STTRBasis words, x 100
    double STTRStdDev = 0;
    int32_t STTRBasis = 0;
    // The whole chunks of STTRBasis words STTR is the mean of, as a total
    // made of rows knows them; -1 not known (a text's row: TokensUsed /
    // STTRBasis, see WholeSttrChunks). Not stored: a total read from a file
    // takes them from its text rows when they are at hand (MergeWith).
    int64_t STTRChunks = -1;
    double MeanWordLength = 0; // in characters
    double WordLengthStdDev = 0;
    int64_t Sentences = 0;
    double MeanSentenceLength = 0; // in words
    double SentenceLengthStdDev = 0;
    int64_t Paragraphs = 0;
    double MeanParagraphLength = 0;
    int64_t Headings = 0;
    double MeanHeadingLength = 0;
    int64_t Sections = 0;
    double MeanSectionLength = 0;
    int64_t NumbersRemoved = 0;
    int64_t StopTokensRemoved = 0;
    int64_t StopTypesRemoved = 0;
    std::array<int64_t, kLengthClasses> WordsOfLength{}; // [0] 1 letter ... [13] 14 or more

    // The value of a column (row number and file name give 0).
    double Value(int column) const;
    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s);
    friend bool operator==(const TStatsRec&, const TStatsRec&) = default;
};

// The statistics of two sets of texts taken together. Counts add up; means
// are weighted by what they are means of (words, sentences, paragraphs,
// headings, sections, standardised chunks) and standard deviations pooled.
// The standardised ratio is the mean over every whole chunk of the texts
// (texts without one count only when no text has one: then the words
// weigh), so the total is the same whatever the order rows are taken in.
// Types (and stop-list types) cannot be added up without the word lists:
// the larger value is kept, and the caller sets the true one when it has it.
TStatsRec CombineStats(const TStatsRec& a, const TStatsRec& b);
// The whole chunks of a record's standardised ratio (STTRChunks, else those
// of one text).
int64_t WholeSttrChunks(const TStatsRec& r);

class TStatsEntry final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;

    TStatsRec& Data() { return fData; }
    const TStatsRec& Data() const { return fData; }
    // A copy of the record with the folder put before the file name.
    TStatsRec DataFormatted() const;

    void GetRelativeEntropyBasis() override;
    QString MainWordOnly() const override { return fData.FileName; }
    QStringView MainWordAsPointer() const override { return fData.FileName; }
    int64_t MainWordFrequency() const override { return fData.TokensUsed; }
    int32_t MainNTexts() const override { return fData.Texts; }
    bool ReadFromStream(TStream& s) override { return fData.ReadFromStream(s); }
    bool SaveToStream(TStream& s) const override { return fData.SaveToStream(s); }

private:
    TStatsRec fData;
};

class TCVStatsList : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListStatistics;
    static constexpr int32_t kVersion = 1;

    TCVStatsList(TCorvantisholder* owner, uint32_t toolSignature);

    // The overall row, made when the list is empty.
    TStatsEntry& Overall();
    TStatsEntry* Row(int i) const { return static_cast<TStatsEntry*>(Get(i)); }
    // Adds one text's row after the others and returns it.
    TStatsEntry& AddText(const TStatsRec& rec);
    // Recomputes row 0 from the text rows (CombineStats over them, in order).
    void RecomputeOverall();
    // Sets the overall types (known only from the word list) and the overall type/token ratio.
    void SetOverallTypes(int64_t types, int64_t stopTypesRemoved);

    // Sorting: row 0 stays on top.
    void SetSortToFNameSort();
    void SetSort(int column);
    void DoASort(int lastIndex) override;

    // Adds the other list's text rows; row 0 becomes both overall rows taken
    // together, with `textCount` texts and, when both are above 0, thisWords +
    // otherWords running words used.
    bool MergeWith(TCVStatsList& other, int32_t textCount, int64_t thisWords, int64_t otherWords);
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override;
    // A chosen-texts object with the texts of rows 1 onwards.
    std::unique_ptr<TCVFileDetails> BuildCVFileDetails() const;
    // Replaces the rows with copies of another list's (the document's file-name list).
    void CopyRowsFrom(const TCVStatsList& other);

    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    void SetSortSettingsToDefault() override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;

    // The label of row 0.
    static QString OverallLabel();
    static QStringList DefaultHeadings();
};

} // namespace cv
