#pragma once
// One concordance line: a stretch of a source text centred on one hit of a
// search word, with the hit's place in its text, the word positions around
// it (for sorting and collocates), the mark-up tags inside it and the line's
// text.
//
// Word positions are numbered 0 ... 101 with the hit at 50: 50 - n is the
// n-th word to its left, 50 + n the n-th to its right. Positions 45 ... 55
// live in the fixed record (`fixed_sort_positions`), those further out in
// two lists kept only when the horizons reach that far.
//
// Stored form (docs/concordance-lines.md): the 224-byte fixed part, the
// 240-byte extra block, the line text and tag context, then the context-word,
// tag-position and collocate lists. Every field is written on its own in
// little-endian order; the pointer slot of the fixed part is written as zero
// and ignored on reading.

#include "model/base_list.h"
#include "suite/search_engine.h"

#include <QString>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace cv {

class TStream;
class TConcordanceList;
struct TStoredTagRec;

// Word positions around a hit.
inline constexpr int kWordPositions = 102;    // 0 ... 101
inline constexpr int kHitPosition = 50;
inline constexpr int kFirstFixedPosition = 45; // L5
inline constexpr int kLastFixedPosition = 55;  // R5
inline constexpr int kFixedPositions = 11;
inline constexpr int32_t kLineSentinel = 500;  // first field of every stored line of the current layout
inline constexpr uint8_t kExtraDatNum = 2;     // `ExtraMarvexEntryDatNum` of every stored line
inline constexpr int32_t kCurrentLinesVersion = 25; // lines-list version written by this program

// Where one word of a line stands (6 bytes when stored).
struct TSortInfoRec {
    int16_t start_position = 0;   // character index in the line; negative before its first character
    int16_t coll_length = 0;      // characters
    uint8_t barrier = 0;          // text boundary after this word, before the next: 0 none, 2 ... 5
    uint8_t Tag_number_1Based = 0;

    static constexpr int kSize = 6;
    void StoreTo(uint8_t* p) const;
    static TSortInfoRec LoadFrom(const uint8_t* p);
    friend bool operator==(const TSortInfoRec&, const TSortInfoRec&) = default;
};

// Reads and writes one record.
struct TSortInfoRecHolder {
    TSortInfoRec rec;
    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s, int32_t version);
};

// Word positions of one line beyond the fixed eleven (or its context words).
// Most lines have none: an empty list takes one pointer. Copies are deep.
class TSortInfoRecList {
public:
    TSortInfoRecList() = default;
    TSortInfoRecList(const TSortInfoRecList& o) : m_items(o.IsEmpty() ? nullptr : std::make_unique<Items_t>(*o.m_items)) {}
    TSortInfoRecList(TSortInfoRecList&&) noexcept = default;
    TSortInfoRecList& operator=(const TSortInfoRecList& o)
    {
        if (this != &o)
            m_items = o.IsEmpty() ? nullptr : std::make_unique<Items_t>(*o.m_items);
        return *this;
    }
    TSortInfoRecList& operator=(TSortInfoRecList&&) noexcept = default;

    int Count() const { return m_items ? int(m_items->size()) : 0; }
    bool IsEmpty() const { return Count() == 0; }
    const TSortInfoRec& operator[](int i) const { return (*m_items)[std::size_t(i)]; }
    TSortInfoRec& operator[](int i) { return (*m_items)[std::size_t(i)]; }
    void Add(const TSortInfoRec& r) { Items().push_back(r); }
    void Clear() { m_items.reset(); }
    std::vector<TSortInfoRec>& Items()
    {
        if (!m_items)
            m_items = std::make_unique<Items_t>();
        return *m_items;
    }
    std::span<const TSortInfoRec> Records() const
    {
        return m_items ? std::span<const TSortInfoRec>(*m_items) : std::span<const TSortInfoRec>();
    }
    friend bool operator==(const TSortInfoRecList& a, const TSortInfoRecList& b)
    {
        return std::ranges::equal(a.Records(), b.Records());
    }

    // Each record, 6 bytes, in list order (the count is written by the caller).
    bool SaveToStream(TStream& s) const;
    // Reads `count` records into the list (replacing it). Every version the
    // design knows stores 6-byte records.
    static bool ReadFromStream(TSortInfoRecList& list, int32_t count, int32_t version, TStream& s);

private:
    using Items_t = std::vector<TSortInfoRec>;
    std::unique_ptr<Items_t> m_items;
};

// One mark-up tag inside a line (16 bytes when stored).
struct TTagPositionRec {
    int16_t used_length = 0;      // characters of the tag as shown; 0 hides it
    int16_t tag_position = 0;     // character index in the line
    int32_t foreground = 0;       // `tag_colours`: 0x00BBGGRR
    int32_t background = 0;
    int16_t tagnumber_1Based = 0; // into the job's tag table

    static constexpr int kSize = 16;
    friend bool operator==(const TTagPositionRec&, const TTagPositionRec&) = default;
};

// Extra record of a line's tag positions (64 bytes when stored).
struct TTagPositionsExtraRec {
    int32_t version = 0;
    int32_t centre_sw_position = 0;  // character index of the hit's start in the line
    bool search_word_started_with_Tag = false;
    std::array<int16_t, kFixedPositions> tag_sort_numbers_1Based{}; // positions L5 ... R5
    std::array<uint8_t, 28> spare1{};
    std::array<uint8_t, 4> spare2{};

    static constexpr int kSize = 64;
    friend bool operator==(const TTagPositionsExtraRec&, const TTagPositionsExtraRec&) = default;
};

// The tags of one line with their extra record. Most lines hold no tag:
// their list takes no memory beyond one pointer. Copies are deep.
class TTagPositionsList {
public:
    TTagPositionsList() = default;
    TTagPositionsList(const TTagPositionsList& o) : m_d(o.m_d ? std::make_unique<Data>(*o.m_d) : nullptr) {}
    TTagPositionsList(TTagPositionsList&&) noexcept = default;
    TTagPositionsList& operator=(const TTagPositionsList& o)
    {
        if (this != &o)
            m_d = o.m_d ? std::make_unique<Data>(*o.m_d) : nullptr;
        return *this;
    }
    TTagPositionsList& operator=(TTagPositionsList&&) noexcept = default;

    // The extra record (zero when none was set).
    const TTagPositionsExtraRec& extrainfo() const { return m_d ? m_d->extrainfo : ZeroExtra(); }
    TTagPositionsExtraRec& EditExtrainfo() { return data().extrainfo; }

    int Count() const { return m_d ? int(m_d->positions.size()) : 0; }
    bool IsEmpty() const { return Count() == 0; }
    void Add(const TTagPositionRec& r) { data().positions.push_back(r); }
    // Zeroes the extra record and drops every position.
    void Clear() { m_d.reset(); }
    std::span<const TTagPositionRec> Positions() const
    {
        return m_d ? std::span<const TTagPositionRec>(m_d->positions) : std::span<const TTagPositionRec>();
    }

    // The extra record (its version written as at least 2), then each position.
    bool SaveToStream(TStream& s) const;
    // n < 0: the extra record comes first; an extra record of version 0 is
    // followed by one position only (a position at `centre`, the hit's
    // start in the line, marks a search word that starts with a tag).
    // n > 0: n positions without extra record; its centre becomes `centre`.
    bool ReadFromStream(int32_t n, TStream& s, int32_t centre);
    // Positions whose tag number lies in 1 ... tags.size() take that tag's colours.
    void ChangeColoursTo(std::span<const TStoredTagRec> tags);
    void SetToZeroLength(int i);
    // 0 past the end.
    int16_t TagNumber(int i) const;
    // Past the end: a zeroed record with tag number -1.
    TTagPositionRec Record(int i) const;

    friend bool operator==(const TTagPositionsList& a, const TTagPositionsList& b)
    {
        return a.extrainfo() == b.extrainfo() && std::ranges::equal(a.Positions(), b.Positions());
    }

private:
    struct Data {
        TTagPositionsExtraRec extrainfo;
        std::vector<TTagPositionRec> positions;
    };
    Data& data()
    {
        if (!m_d)
            m_d = std::make_unique<Data>();
        return *m_d;
    }
    static const TTagPositionsExtraRec& ZeroExtra();
    std::unique_ptr<Data> m_d;
};

// The fixed part of a line (224 bytes when stored, fields at these offsets).
struct TMarvexEntryRecBase {
    static constexpr int kSize = 224;

    int32_t sentinel = 0;                          // 0
    uint32_t byte_position = 0;                    // 4: position of the hit in the source text
    int32_t hit_characters = 0;                    // 8
    int32_t word_num = 0;                          // 12: running word of the hit in its text (from 1)
    int32_t filename_num_original = 0;             // 16: 1-based number of the text
    int32_t sw_number = 0;                         // 20: search word that matched
    int32_t concordance_line_mean_word_rank = 0;   // 24
    uint8_t spare_percent_of_file = 0;             // 28
    bool has_percent = false;                      // 29
    uint8_t ExtraMarvexEntryDatNum = 0;            // 30
    uint8_t tag_context_sort_Ptrpos = 0;           // 31
    int16_t midpoint = 0;                          // 32: index of the hit's start in the line
    std::array<TSortInfoRec, kFixedPositions> fixed_sort_positions{}; // 34: L5 ... R5
    int32_t tag_context_distance_from_SW = 0;      // 100
    int16_t sw_starts = 0;                         // 104
    int16_t sw_finishes = 0;                       // 106
    bool spare_ColouringTag_at_centre_word = false; // 108
    bool spare_showing_empty_tag_by_SW = false;    // 109
    bool sw_contains_a_tag = false;                // 110
    uint8_t spareB = 0;                            // 111
    int32_t merge_num = 0;                         // 112
    int32_t conc_line_chars = 0;                   // 116
    // 120: pointer slot of the extra block (zero on disk)
    float percent_of_file = 0;                     // 124
    int64_t byte_size_of_file = 0;                 // 128
    int32_t tag_number_1_based = 0;                // 136
    std::array<uint8_t, 12> spare{};               // 140
    double textfile_date = 0;                      // 152: day number with fraction
    TSearchStatsRec extras;                        // 160: 64 bytes, copied whole

    void StoreTo(std::span<uint8_t, kSize> out) const;
    void LoadFrom(std::span<const uint8_t, kSize> in);
    const TSortInfoRec& Hit() const { return fixed_sort_positions[5]; }
};

// The extra block of a line (240 bytes when stored).
struct TMarvexEntryRecExtraBase {
    static constexpr int kSize = 240;

    int32_t sentinel = 0;
    std::array<int16_t, kWordPositions> tag_sort_numbers_1Based{}; // per word position
    std::array<uint8_t, 24> spare{};
    std::array<uint8_t, 8> spareBools{};

    void StoreTo(std::span<uint8_t, kSize> out) const;
    void LoadFrom(std::span<const uint8_t, kSize> in);
    friend bool operator==(const TMarvexEntryRecExtraBase&, const TMarvexEntryRecExtraBase&) = default;
};

// The extra block of a line. Every line made by a run or read from a file
// has one (Assign); its 240 bytes are allocated only when something is
// written into them, most lines leaving them zero. Copies are deep. A line
// record made without one cannot be written (the writer raises).
class TExtraBaseHolder {
public:
    TExtraBaseHolder() = default;
    TExtraBaseHolder(const TExtraBaseHolder& o)
        : m_p(o.m_p ? std::make_unique<TMarvexEntryRecExtraBase>(*o.m_p) : nullptr), m_assigned(o.m_assigned)
    {
    }
    TExtraBaseHolder(TExtraBaseHolder&&) noexcept = default;
    TExtraBaseHolder& operator=(const TExtraBaseHolder& o)
    {
        if (this != &o) {
            m_p = o.m_p ? std::make_unique<TMarvexEntryRecExtraBase>(*o.m_p) : nullptr;
            m_assigned = o.m_assigned;
        }
        return *this;
    }
    TExtraBaseHolder& operator=(TExtraBaseHolder&&) noexcept = default;

    // The block, or a zero block when nothing was written into it.
    const TMarvexEntryRecExtraBase& Get() const { return m_p ? *m_p : Zero(); }
    TMarvexEntryRecExtraBase& Edit()
    {
        m_assigned = true;
        if (!m_p)
            m_p = std::make_unique<TMarvexEntryRecExtraBase>();
        return *m_p;
    }
    // Gives the line its block (zero until written into).
    void Assign() { m_assigned = true; }
    bool Assigned() const { return m_assigned; }
    void Clear()
    {
        m_p.reset();
        m_assigned = false;
    }
    friend bool operator==(const TExtraBaseHolder& a, const TExtraBaseHolder& b) { return a.Get() == b.Get(); }

private:
    static const TMarvexEntryRecExtraBase& Zero();
    std::unique_ptr<TMarvexEntryRecExtraBase> m_p;
    bool m_assigned = false;
};

// The whole line record.
struct TMarvexEntryRec {
    TMarvexEntryRecBase base;
    TExtraBaseHolder pExtraBase;
    TSortInfoRecList other_context_words;   // positions relative to the hit of context words found
    TTagPositionsList tag_positions_in_line;
    TSortInfoRecList other_left_collocs;    // left of L5, farthest first
    TSortInfoRecList other_right_collocs;   // right of R5, nearest first
    QString tag_context;                    // null: absent
    QString conc_line;
};

struct THighlightNumAndPos {
    int32_t Highlight_number = -1;          // -1 none
    std::bitset<128> Highlight_span_pos_set; // word positions 0 ... 101
};

// --- word-position operations over one line record ---------------------------
// The word at position p (0 ... 101); a zeroed record where the line has none.
TSortInfoRec WordAtPosition(const TMarvexEntryRec& rec, int p);
inline int FixedIndexToPosition(int i) { return i + kFirstFixedPosition; }
inline int PositionToRightFixedIndex(int p) { return kLastFixedPosition - p; }
// Outermost position with a word record on one side (right: 55 + extras, left: 45 - extras).
int OutermostPosition(const TMarvexEntryRec& rec, bool right);
// Sort key of a tag kind: 1 gives 5, 2 gives 6, anything else 4.
int TagKindToSortKey(int kind);
// From the hit toward `limit`, position by position, stopping before a
// position without a word or beyond a text boundary of at least
// `barrierLevel` (0: boundaries do not stop it); the last position reached
// (50 when the limit is 50).
int OutwardSearch(const TMarvexEntryRec& rec, int limit, int barrierLevel = 1);

// Column kinds of GetAWordAsString.
inline constexpr int kLineTextKind = 1;
inline constexpr int kLineCategoryKind = 2;
inline constexpr int kLineTagContextKind = 3;
inline constexpr int kLineFileNameKind = 13;

class TConcordanceEntry final : public TCVBaseListObject {
public:
    // An empty line of the list (the list reader fills it).
    explicit TConcordanceEntry(TConcordanceList* list);
    // Takes the caller's record whole (strings and lists move to the line).
    TConcordanceEntry(TConcordanceList* list, TMarvexEntryRec&& record);
    ~TConcordanceEntry() override;

    TConcordanceList* List() const;

    // --- virtual operations of the base entry ---
    void ConvertEntryToUnicode() override;
    bool IsDuplicateOf(const TCVBaseListObject& other) const override;
    double GetAValueAsSingle(int column) const override;
    QString GetAWordAsString(int kind) const override;
    void SetAWordAsString(int kind, const QString& text) override;
    bool ReadFromStream(TStream& s) override;
    bool SaveToStream(TStream& s) const override;
    QStringView MainWordAsPointer() const override { return fData.conc_line; }
    int MainWordLength() const override { return int(fData.conc_line.size()); }

    int ThisListsConcordanceMidpoint() const { return fData.base.midpoint; }
    // The n characters of the line centred on the hit (from the 1-based
    // character midpoint - n div 2, cut at the line's ends).
    QString ConcordanceCharactersAroundMidpoint(int n) const;

    THighlightNumAndPos fhighlightnumAndPos;
    TMarvexEntryRec fData;
    bool found_both_ends_of_sentence = false;
    QString fCategory; // the search word, when the list shows several

private:
    int charWidth() const;
};

} // namespace cv
