#pragma once
// The key-word list a word-list document holds (and the key-word document
// of the key-word tool): its entries, its settings record and statistics,
// and its stream. Computing key words is the key-word tool's part; this is
// the storage every document that carries key words shares.
//
// Entry record (list version 2 on: 68 bytes, little-endian, written field
// by field):
//   0  int64  frequency in the study list
//   8  int32  texts of the study list it occurs in
//  12  float  keyness (log likelihood or chi-square, as the settings say)
//  16  float  p value of the keyness
//  20  float  second score (effect size, e.g. log ratio)
//  24  int64  frequency in the reference list
//  32  int32  texts of the reference list it occurs in
//  36  uint8  negative: 1 when the keyness is below 0 (unusually rare)
//  37  3      zero
//  40  float  percentage of the study list's running words
//  44  float  percentage of the reference list's running words
//  48  float  third score
//  52  int32  the key word's number (plots and links refer to it), 0 none
//  56  int32  length of the word in UTF-16 units (the word follows the record)
//  60  8      zero
// then the word in the string-stream form. Lists of version 1 hold the
// 60-byte record of 32-bit frequencies (the same fields in the same order,
// the two frequencies 4 bytes each); they are read as ever. A record whose
// length does not match the word that follows, or whose frequencies are
// below 0, is refused as damage.

#include "model/lemma_match_list.h"
#include "model/stats_list.h"
#include "suite/settings_records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace cv {

class TCVWordList;

struct TKeyWordRec {
    static constexpr int kRecordSize = 68;

    int64_t Freq = 0;
    int32_t Texts = 0;
    float Keyness = 0;
    float P = 0;
    float SecondScore = 0;
    int64_t RefFreq = 0;
    int32_t RefTexts = 0;
    bool Negative = false;
    float Percent = 0;
    float RefPercent = 0;
    float ThirdScore = 0;
    int32_t WordNumber = 0;

    friend bool operator==(const TKeyWordRec&, const TKeyWordRec&) = default;
};

class TKeyWordEntry final : public TCVBaseListObject {
public:
    explicit TKeyWordEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}

    QString fWord;
    TKeyWordRec fData;

    // Keeps the negative flag in step with the keyness.
    void SetKeyness(float keyness)
    {
        fData.Keyness = keyness;
        fData.Negative = keyness < 0;
    }

    void GetRelativeEntropyBasis() override;
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString MainWordOnly() const override { return fWord; }
    QStringView MainWordAsPointer() const override { return fWord; }
    int64_t MainWordFrequency() const override { return fData.Freq; }
    int32_t MainNTexts() const override { return fData.Texts; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
};

class TKeyWordList : public TCVBaseLemmaMatchCapableList {
public:
    // 2: 64-bit frequencies in the entries (1: 32-bit).
    static constexpr int32_t kVersion = 2;
    static constexpr int32_t kFirst64BitFrequencyVersion = 2;
    // Grid columns (list type 1).
    enum TColumn : int {
        kColN = 0,
        kColWord,
        kColFreq,
        kColPercent,
        kColTexts,
        kColRefFreq,
        kColRefPercent,
        kColKeyness,
        kColP,
        kColLemmas,
        kColSet,
    };
    // Sort keys beyond the word (0): one per numeric column, by column number.

    TKeyWordList(TCorvantisholder* owner, uint8_t listType, uint32_t toolSignature);
    ~TKeyWordList() override;

    TKeyWordEntry& Entry(int i) const { return static_cast<TKeyWordEntry&>((*this)[i]); }

    // The settings record (language block first) and the statistics of the study texts.
    TKeyWordsSettingsRec KWSettings;
    std::unique_ptr<TCVStatsList> fKWStats;
    int32_t n_actually_obtained = 0;    // key words found before any limit on their number
    int32_t wds_considered_for_Dice = 0;
    double DiceCoefficient = 0;
    // Of the last computation, not stored: the share of the positive key
    // words left out by the text-presence rule (percent), and the key words
    // removed as stop-list words.
    double fPercentIgnoredForConsistency = 0;
    int32_t fStopListCount = 0;

    // Stores a word list's texts and running words into the settings: slot
    // 1 the reference list, 0 the study list.
    void GetRunningWordsIntoSettings(const TCVWordList& list, const TCorvantisholder* document, int slot);
    // The settings as "label<TAB>value" lines for notes.
    QStringList DetailsOfCurrentSettings() const;
    // Empties the entries, the statistics and the counts; the grid headings stay.
    void ClearButNotGridHeadings();

    // Appends the other list's key words and takes its statistics in.
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override;
    // Appends the other list's key words and counts only (the key-word
    // document merges the statistics lists itself).
    bool MergeEntriesWith(TKeyWordList& other);
    // The list's own header (counts, Dice), the base list stream, then the
    // statistics list. The settings record is the document's to write.
    bool SaveToStream(TStream& s) override;
    bool ReadFromStream(TStream& s) override;

    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    // The frequencies: of the study texts' running words, and of the reference list's.
    int64_t RunningWordsOfColumn(int column) const override;
    // Most key first: keyness descending (negative key words at the end).
    void SetSortSettingsToDefault() override;
    void Clear() override;
};

} // namespace cv
