#pragma once
// Key-word links and link clusters. Two key words of one text are linked
// when they occur within a window of running words of each other (the link
// span of the key-word settings). The link list has one entry per key word
// with the key words after it (in plot order) linked to it, ranked by how
// often they co-occur: each link is listed once, under the earlier of its
// two words, so the last key word has no links of its own. The link-cluster
// list has each linked pair as a short text with the gap between the words,
// and how often it occurred.
//
// Stored entries (little-endian):
//   link entry:    hits as int32 written as minus its absolute value, the
//                  word (string-stream form), int32 n, n x (partner's plot
//                  row number int32, co-occurrences int32)
//   cluster entry: the cluster text (string-stream form), frequency int32
// Link lists saved with plot lists older than version 22 held 4-byte
// partner records; their partners are read past and dropped. Lists saved
// when links were kept both ways read as they were stored.

#include "model/lemma_match_list.h"
#include "suite/settings_records.h"
#include "suite/wdef.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace cv {

class TKWPlotList;

struct TKWLinkEntryLinkedInfoRec {
    int32_t link_wordtype_nums_1based = 0; // the partner's row number in the plot list
    int32_t freq = 0;                      // co-occurrences
    friend bool operator==(const TKWLinkEntryLinkedInfoRec&, const TKWLinkEntryLinkedInfoRec&) = default;
};

struct TKWLink_entry_rec {
    int32_t hits = 0;
    QString w;
    std::vector<TKWLinkEntryLinkedInfoRec> linked_words_info; // highest freq first
    friend bool operator==(const TKWLink_entry_rec&, const TKWLink_entry_rec&) = default;
};

class TKWLinkEntry final : public TCVBaseListObject {
public:
    explicit TKWLinkEntry(TCVBaseDataClass* owner, const TKWLink_entry_rec& rec = {})
        : TCVBaseListObject(owner), data(rec)
    {
    }

    TKWLink_entry_rec data;

    void GetRelativeEntropyBasis() override;
    double GetAValueAsSingle(int column) const override;
    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString MainWordOnly() const override { return data.w; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    QStringView MainWordAsPointer() const override { return data.w; }
    int MainWordLength() const override { return int(data.w.size()); }
    int64_t MainWordFrequency() const override { return data.hits; }
};

class TKWLinkList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListKeyWordLinks;
    static constexpr int32_t kVersion = 1;
    enum TColumn : int { kColN = 0, kColWord, kColLinks, kColHits, kColLinkedWords, kColSet };

    TKWLinkList(TCorvantisholder* owner, uint32_t toolSignature, TKWPlotList* plots);

    TKWLinkEntry& Entry(int i) const { return static_cast<TKWLinkEntry&>((*this)[i]); }
    // A copy of row i's record (empty outside).
    TKWLink_entry_rec LinkData(int row) const;
    // The linked key words of row i, their words from the plot list, in ranked order.
    QStringList LinkedWords(int row) const;

    TKWPlotList* fPlots; // the document's plot list, not owned
    bool links_limit_reached = false;

    void Clear() override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    // Empties every entry's linked words when the plot numbers cannot be trusted.
    bool ReadFromStream(TStream& s) override;

    static QStringList DefaultHeadings();
};

struct TKWLinkClusterRec {
    QString cluster;
    int32_t freq = 0;
    friend bool operator==(const TKWLinkClusterRec&, const TKWLinkClusterRec&) = default;
};

class TKWLinkClusterEntry final : public TCVBaseListObject {
public:
    explicit TKWLinkClusterEntry(TCVBaseDataClass* owner, const TKWLinkClusterRec& rec = {})
        : TCVBaseListObject(owner), data(rec)
    {
    }

    TKWLinkClusterRec data;

    QString GetAWordAsString(int column) const override;
    void SetAWordAsString(int column, const QString& text) override;
    QString MainWordOnly() const override { return data.cluster; }
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    QStringView MainWordAsPointer() const override { return data.cluster; }
    int MainWordLength() const override { return int(data.cluster.size()); }
    int64_t MainWordFrequency() const override { return data.freq; }
};

class TKWClusterList final : public TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = kListKeyWordLinkClusters;
    static constexpr int32_t kVersion = 1;
    enum TColumn : int { kColN = 0, kColCluster, kColFreq, kColSet };

    TKWClusterList(TCorvantisholder* owner, uint32_t toolSignature);

    TKWLinkClusterEntry& Entry(int i) const { return static_cast<TKWLinkClusterEntry&>((*this)[i]); }
    TKWLinkClusterRec ClusterData(int row) const;

    // First word, the gap, second word: one blank for distance 1, else
    // " [" with distance - 1 dots and "] ".
    static QString ClusterFormattedByDistance(const QString& first, const QString& second, int distance);
    // The cluster as a concordance search phrase: each dot of the gap becomes
    // " * ", double blanks are removed; other texts come back unchanged.
    static QString ClusterAsConcordanceSW(const QString& cluster);

    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;
    void EnsureAlphabeticalAscendingSort() override;
    int HeaderColumnToSortNeeded(int column) const override;
    double NumericalData(int row, int column) const override;

    static QStringList DefaultHeadings();
};

// Counts the links of the plot rows (the rows are the key words of one
// text, each with its positions) into the two lists, which are emptied
// first; the rows' link tokens are recounted. Reads the link block of the
// settings (offsets 1060..1083). Stops early when the cancel state is not
// 0 (the lists then hold what was counted). `progress` (may be empty) is
// told percentages 0..100.
void ComputeKeyWordLinks(TKWPlotList& plots, const TKeyWordsSettingsRec& settings, TKWLinkList& links,
                         TKWClusterList& clusters, const std::function<void(int percent)>& progress = {});

} // namespace cv
