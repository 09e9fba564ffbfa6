#pragma once
// The key-word database: the key words of many key-word lists (one per
// text) pooled, each with the texts it is key in. A key word key in at
// least the set number of texts is a database entry ("key key-word"); its
// associates are the other entries key in many of the same texts, and
// entries that are mostly key together form related clusters. The database
// is the main list of a key-word document of kind 2 and is stored inside
// its ".kws" file (docs/kws-file.md); its text export computes with the
// matrix library.
//
// Its settings live in spare bytes of the key-word settings record:
//   1544 int32  minimum key words a file must have to be added
//   1548 int32  minimum texts a key word must be key in to be an entry
//   1552 int32  minimum shared texts for an associate (and a related pair)
//   1556 int32  most associates kept per entry
// A value of 0 there means the default (1, 2, 2, 20).

#include "model/lemma_match_list.h"
#include "suite/settings_records.h"
#include "suite/wdef.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace cv {

class TKeyWordList;
class TCVStatsList;

struct TKWDBSettings {
    static constexpr std::size_t kMinKeyWordsOffset = 1544;
    static constexpr std::size_t kMinTextsOffset = 1548;
    static constexpr std::size_t kMinAssociateTextsOffset = 1552;
    static constexpr std::size_t kMaxAssociatesOffset = 1556;

    int32_t minKeyWordsPerFile = 1;
    int32_t minTexts = 2;
    int32_t minAssociateTexts = 2;
    int32_t maxAssociates = 20;

    static TKWDBSettings FromRecord(const TKeyWordsSettingsRec& r);
    void ToRecord(TKeyWordsSettingsRec& r) const;
    friend bool operator==(const TKWDBSettings&, const TKWDBSettings&) = default;
};

// One text a key word is key in.
struct TKWDBOccurrence {
    int32_t file = 0; // index into the database's file list
    int64_t freq = 0;
    float keyness = 0;
    friend bool operator==(const TKWDBOccurrence&, const TKWDBOccurrence&) = default;
};

struct TKWDBAssociate {
    QString word;
    int32_t texts = 0; // texts both are key in
    float dice = 0;    // 2 shared / (texts of one + texts of the other)
    friend bool operator==(const TKWDBAssociate&, const TKWDBAssociate&) = default;
};

struct TKWDB_entry_rec {
    QString word;
    int32_t texts = 0;
    int64_t freq = 0;
    double keyness = 0; // summed over its texts
    int32_t cluster = 0; // related cluster number, 0 none
    std::vector<TKWDBOccurrence> occurrences;
    std::vector<TKWDBAssociate> associates; // most shared texts first
    friend bool operator==(const TKWDB_entry_rec&, const TKWDB_entry_rec&) = default;
};

class TKWDBEntry final : public TCVBaseListObject {
public:
    explicit TKWDBEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}
    TKWDB_entry_rec data;

    void GetRelativeEntropyBasis() override;
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString MainWordOnly() const override { return data.word; }
    QStringView MainWordAsPointer() const override { return data.word; }
    int64_t MainWordFrequency() const override { return data.freq; }
    int32_t MainNTexts() const override { return data.texts; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
};

// The associates of every entry that has some, one row each (list type 15).
class TKWAssociateEntry final : public TCVBaseListObject {
public:
    explicit TKWAssociateEntry(TCVBaseDataClass* owner) : TCVBaseListObject(owner) {}
    QString word;
    QString associates; // joined by ", "
    int32_t texts = 0;
    QString MainWordOnly() const override { return word; }
    QStringView MainWordAsPointer() const override { return word; }
    int32_t MainNTexts() const override { return texts; }
};

class TKWAssociatesList final : public TCVBaseLemmaMatchCapableList {
public:
    enum TColumn : int { kColN = 0, kColWord, kColAssociates, kColTexts, kColSet };
    TKWAssociatesList(TCorvantisholder* owner, uint32_t toolSignature);
    TKWAssociateEntry& Entry(int i) const { return static_cast<TKWAssociateEntry&>((*this)[i]); }
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
};

class TKWDBList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListKeyWordDatabase;
    // 2: 64-bit frequencies in the occurrences (1: 32-bit).
    static constexpr int32_t kVersion = 2;
    static constexpr int32_t kFirst64BitFrequencyVersion = 2;
    enum TColumn : int { kColN = 0, kColWord, kColTexts, kColTextsPercent, kColFreq, kColKeyness, kColAssociates, kColSet };
    // Object of a file in fComputeKWDBFiles that was not used.
    static constexpr int32_t kFileNotUsed = -1;

    // statistics: the list that gathers the statistics of the pooled texts (not owned).
    TKWDBList(TCorvantisholder* owner, uint32_t toolSignature, TCVStatsList* statistics);
    ~TKWDBList() override;

    TKWDBEntry& Entry(int i) const { return static_cast<TKWDBEntry&>((*this)[i]); }
    TKWDB_entry_rec DatabaseData(int row) const;
    int IndexOfWord(const QString& word) const;

    // Starts an empty database with the settings of the settings buffer.
    bool BeganTheDatabase();
    // The character width of the texts to come; prepares the word index.
    void CheckSeed(bool unicode);
    // Pools the positive key words of one list (one text) and its statistics.
    void AddToDatabase(const TKeyWordList& keyWords, const QString& fileName);
    // A file that could not be used (kFileNotUsed as its object).
    void AddUnusedFile(const QString& fileName);
    // Keeps the key words key in enough texts, then computes their related
    // clusters and associates. False when no file was added.
    bool FinishedTheDatabase(int32_t totalTextFiles);
    // Entries mostly key in the same texts form a cluster: pairs sharing at
    // least the minimum texts with a Dice of their texts of at least 0.5,
    // joined transitively. Clusters are numbered from 1 in entry order.
    void ComputeRelatedClusters();
    // Each entry's associates; `statisticsRows` (overall row included) gives
    // the number of texts behind the % column.
    void ComputeAllAssociates(int32_t statisticsRows);
    void GetSettingsFromTEXTBUF();
    QStringList DetailsOfCurrentSettings() const;
    // Pools another database's files, statistics and entries.
    bool MergeWith(TCVBaseLemmaMatchCapableList& other) override;
    // The same, the statistics only when asked (the key-word document merges
    // the statistics list the database shares with its key-word list).
    bool MergeDatabaseWith(TKWDBList& other, bool withStatistics);
    bool SaveToStream(TStream& s) override;
    bool ReadFromStream(TStream& s) override;

    // Text export with the matrix library: key words by texts (frequencies
    // and keyness), per-text figures and the texts' similarity.
    bool SaveAsMatrixText(const QString& fileName, QString* error = nullptr) const;

    TCVStatsList* fStatsFileList;
    std::unique_ptr<TKWAssociatesList> fShowingAssociatesList;
    // File names, each with its number in the database, or kFileNotUsed.
    QStringList fComputeKWDBFiles;
    std::vector<int32_t> fComputeKWDBFileObjects;
    int32_t database_total_text_files = 0;
    TKWDBSettings fSettings;

    int UsedFileCount() const;
    int UnusedFileCount() const;
    double MeanKeyness(int row) const;
    // Texts behind the % column.
    int32_t TextsBase() const;

    void Clear() override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    double NumericalData(int row, int column) const override;
    void SetSortSettingsToDefault() override;

private:
    void RebuildIndex();
    void RebuildAssociatesList();
    // For each entry, the other entries it shares texts with, and how many.
    std::vector<std::vector<std::pair<int32_t, int32_t>>> SharedTexts() const;

    std::unordered_map<QString, int32_t> fIndex;
    int32_t fTextsBase = 0;
};

} // namespace cv
