#pragma once
// The concordance lines of one document.
//
// Besides the lines (TConcordanceEntry) the list keeps what a run and a
// reader need to know about them: hits per search word against the wanted
// number, the marks a run or a read leaves (hit limit reached, bad text
// numbers, tag positions, lines of an older layout), and the 192-byte colour
// block written after the lines.
//
// Stream: the base list stream (docs/result-list-stream.md) with one line
// record per entry, then the colour block (skipped when the lines turned out
// to be of the oldest layout). The version written is at least 25.

#include "concordance/concordance_entry.h"
#include "model/lemma_match_list.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace cv {

struct TStoredTagRec;

// What a line reader needs to know of the document it reads into. The
// document fills it before reading the lines.
struct TConcordanceReadContext {
    // Texts of the document's texts list; below 0: not known (no check).
    int32_t textCount = -1;
    // Size in bytes of text n (1-based) when it can still be found; below 0 when not.
    std::function<int64_t(int32_t textNumber)> textFileSize;
    // Lines carry their own "search word holds a tag" flag (settings byte 1783).
    bool linesCarryTagFlags = true;
    // Otherwise the flag of each search word (ContainsPairedTagMarkup of its plain form).
    std::vector<bool> searchWordHasTag;
};

// Grid columns of the lines (also the kinds GetAWordAsString answers).
enum TConcordanceColumn : int {
    kConcColN = 0,
    kConcColLine = kLineTextKind,          // 1
    kConcColSet = kLineCategoryKind,       // 2
    kConcColTag = kLineTagContextKind,     // 3
    kConcColWord = 4,                      // running word of the hit
    kConcColSentence = 5,
    kConcColSentencePos = 6,
    kConcColParagraph = 7,
    kConcColParagraphPos = 8,
    kConcColHeading = 9,
    kConcColSection = 10,
    kConcColSectionPos = 11,
    kConcColPercent = 12,
    kConcColFile = kLineFileNameKind,      // 13
    kConcColMeanRank = 14,
    kConcColCount
};

// Sort keys of the lines besides the base list's (0: the line text; above
// 1000: a set column): 300 + p the word at position p (300 + 50: the hit).
inline constexpr int32_t kConcSortPositionBase = 300;
inline constexpr int32_t kConcSortFile = 200;       // text number, then place in the text
inline constexpr int32_t kConcSortTextOrder = 201;  // text number, then running word
inline constexpr int32_t kConcSortSearchWord = 202; // number of the search word
inline constexpr int32_t kConcSortTagContext = 203;
inline constexpr int32_t kConcSortMeanRank = 204;
inline constexpr int32_t kConcSortTag = 205;        // tag number at the hit
inline constexpr int32_t kConcSortLength = 206;     // characters of the hit

class TConcordanceList final : public TCVBaseLemmaMatchCapableList {
public:
    // listType: the document kind (10 for a concordance).
    explicit TConcordanceList(TCorvantisholder* owner, uint8_t listType = 10, uint32_t toolSignature = 0);
    ~TConcordanceList() override;

    TConcordanceEntry& Line(int i) const { return static_cast<TConcordanceEntry&>((*this)[i]); }
    // Adds a line made from the record; returns its index.
    int Add(TMarvexEntryRec&& record);
    using TCVBaseDataClass::Add;
    // A copy of line i's record.
    TMarvexEntryRec MarvexData(int i) const { return Line(i).fData; }
    void Clear() override;

    // --- hits per search word -------------------------------------------------
    // sws_found_counter[i]: lines kept for search word i.
    std::vector<int32_t> sws_found_counter;
    // Grows the counters to at least n search words.
    void EnsureSearchWordCount(int n);
    int32_t HitsOf(int sw) const;
    // Counts one more line for the search word; false when that passes the wanted number
    // (the line is not to be kept, and the limit is marked reached).
    bool CountedHit(int sw);
    // Lines wanted per search word (settings offset 648); 0 or less: no limit.
    int32_t fEntriesWantedPerSW = 0;
    // Searches the run plans (one per search word).
    int32_t fsearch_words_to_seek = 0;
    // True when every planned search word has its wanted lines: a further hit is ignored.
    bool EnoughLines() const;

    // --- what the list holds ---------------------------------------------------------
    // A concordance holds at most what it shows: past a bound on its lines
    // (whatever the lines wanted per search word), a run's further hits are
    // counted, their lines not kept, so that the concordance of a frequent
    // word in a corpus of any size takes bounded memory.
    // The bound: 0 takes MostLinesHeld of the run's characters per line.
    int64_t fMostLinesHeld = 0;
    // Hits a run found beyond the lines held.
    int64_t fHitsNotHeld = 0;
    // The lines of `charactersPerLine` characters that fit the memory a
    // concordance's lines may take: 512 MB, less where the process may
    // address little memory.
    static int64_t MostLinesHeld(int32_t charactersPerLine);

    // --- marks ---------------------------------------------------------------------
    bool sw_limit_reached = false;       // a search word found more hits than wanted
    bool fHasBadTextNumbers = false;     // a line names no text of the document
    bool fHasTagPositions = false;       // some line holds tag positions
    bool fHoldsOldLayoutLines = false;   // lines of the oldest layout were read (no sentinel)
    bool fHasTagFileData = false;
    bool Dud_CNC_Filenames_found = false; // stored text names were lost
    int32_t current_ConcFileEntry = 0;   // 1-based number of the text being concordanced
    QString tag_string_only_on;
    QString tag_string_only_off;
    std::array<uint8_t, 192> fSpare_colours{};

    // --- reading -------------------------------------------------------------------
    TConcordanceReadContext ReadContext;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) override;
    // Lines read without a percentage get word_num x 100 / words of their text
    // (0.01 when the text has fewer than one word). True when any was filled.
    bool FillMissingPercentages(const std::function<int32_t(int32_t textNumber)>& wordsOfText);
    // Distinct text numbers the lines name, in ascending order.
    std::vector<int32_t> FilenumbersInLines() const;

    // --- lines as a whole ----------------------------------------------------------
    // The lines' strings are kept as UTF-16 in memory; the switch decides the
    // width they are written with (8-bit text keeps Latin-1 only).
    void ConvertAllLines(bool toUnicode);
    // Marks line i for removal (the design's Put(i, nil)); Pack removes them.
    void Put(int i, std::nullptr_t);
    int Pack();
    void ChangeTagColours(std::span<const TStoredTagRec> tags);
    // Per-search-word hits into the active set column: each line's category
    // there becomes its search word's number of lines.
    void CopySearchWordHitsToSetColumn();

    // The word of line i at position p (50: the hit): its characters (a view
    // into the line), its length; false when the line has no word there.
    bool WordAtCollocatePosition(int i, int p, QStringView& chars, int& length) const;
    static bool WordAtCollocatePosition(const TMarvexEntryRec& rec, int p, QStringView& chars, int& length);

    // --- sorting -------------------------------------------------------------------
    // The three sorts of the settings byte (see docs/concordance-lines.md).
    void SetThreeSorts(uint8_t choice);
    void Set2Sorts(int32_t first, int32_t second);
    TSortKeyKind KindOfSortKey(int32_t key) const override;
    QString SortText(const TCVBaseListObject& e, int row, int32_t key) const override;
    double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const override;
    void SetBase() override;

    // --- mean word rank ----------------------------------------------------------------
    // Rank of a word in the document's reference word list (1-based), 0 when
    // absent; with the list's entry count. Unset: no reference list (rank 1).
    std::function<int32_t(const QString& word)> fReferenceRankOf;
    int32_t fReferenceEntryCount = 0;
    // Mean rank of the words of a line (the rounded mean; 0 when no word counted).
    static int32_t ConcordanceLineMeanWordRank(QStringView line, const std::function<int32_t(const QString&)>& rankOf,
                                               int32_t entryCount);
    void ComputeMeanWordRanks();

    // --- grid ------------------------------------------------------------------------
    // File name of text n (1-based); full: with its folder.
    std::function<QString(int32_t textNumber, bool full)> fFileNameOf;
    bool fShowFullFileNames = false;
    double NumericalData(int row, int column) const override;
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override;

    // Told once, the first time a line of the oldest layout is met while reading.
    void NoteOldLayoutLine();

private:
    std::vector<bool> m_putNil;
    bool m_sortsNeedRanks = false;
};

} // namespace cv
