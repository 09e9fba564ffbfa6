#pragma once
// The search engine: runs search words (TBaseSearchItems) over text buffers
// or grid rows and reports every hit, and every word passed, through
// callbacks.
//
// Text: one engine per job. StartText before each text, SetChunk for each
// processed chunk (a TSearchBuffer that several engines may share), then
// Search(item) for each search word. Hits come in text order for one search
// word; a hit callback that returns false stops the search ("found enough").
// The engine keeps the running counts of the text (words, sentences,
// paragraphs, headings, sections) across chunks, so each hit carries its
// place in those units (TSearchStatsRec).
//
// Rows: SetCurrentRow, then SearchAndDo(item) or RowMatches.

#include "suite/search_buffer.h"
#include "suite/search_items.h"
#include "suite/settings_record.h"
#include "suite/wildcard.h"

#include <QLocale>

#include <functional>
#include <memory>
#include <vector>

namespace cv {

// Where a hit stands in its text, copied whole into each concordance line
// (64 bytes, layout in docs/search-words.md). Numbers count from 1; the
// four end fields stay 0 until the caller records where the hit's units end.
class TSearchStatsRec : public TSettingsRecord<64> {
public:
    static constexpr int32_t kRecordVersion = 1;
    CV_FIELD(int32_t, 0, RecordVersion)
    CV_FIELD(int32_t, 4, WordNumber)       // running word of the hit in its text (as the engine counted)
    CV_FIELD(int32_t, 8, SentenceNumber)
    CV_FIELD(int32_t, 12, WordInSentence)
    CV_FIELD(int32_t, 16, ParagraphNumber)
    CV_FIELD(int32_t, 20, WordInParagraph)
    CV_FIELD(int32_t, 24, HeadingNumber)   // heading ends passed before the hit
    CV_FIELD(int32_t, 28, SectionNumber)
    CV_FIELD(int32_t, 32, WordInSection)
    CV_FIELD(int32_t, 36, WordsSpanned)
    CV_FIELD(int32_t, 40, SentenceEndWord)  // last running word of the hit's sentence (0: not recorded)
    CV_FIELD(int32_t, 44, ParagraphEndWord)
    CV_FIELD(int32_t, 48, HeadingEndWord)
    CV_FIELD(int32_t, 52, SectionEndWord)
    // Bytes 56..63 are spare (zero).
};

// One hit.
struct TSearchFound {
    int32_t item = -1;         // index of the search word that matched
    int64_t row = -1;          // the row (row searches), else -1
    int32_t start = 0;         // first unit of the match in the buffer or row, required punctuation included
    int32_t end = 0;           // one past its last unit
    int32_t wordStart = 0;     // first unit of the first element (word or tag)
    int32_t wordEnd = 0;       // one past the last element
    int32_t firstToken = 0;    // tokens of the buffer matched by the first and last elements
    int32_t lastToken = 0;
    int32_t wordIndex = 0;     // running words of the buffer before the hit (0-based)
    int32_t wordsSpanned = 0;  // words of the text the hit covers
    int32_t hitCharacters = 0; // end - start, in UTF-16 units
    float percentOfText = 0;   // where the hit starts, as a percentage of the text (of the chunk when its length is unknown)
    TSearchStatsRec stats;
    const TSearchBuffer* buffer = nullptr;
    std::u16string_view context; // the row, or the chunk's text
};

// One word passed by a text search.
struct TSearchWordEvent {
    int32_t token = 0;     // index in the buffer's tokens
    int32_t wordIndex = 0; // running words of the buffer before it
    int32_t start = 0;
    int32_t length = 0;
    int barrier = 0;       // highest boundary level passed since the previous word (0 none)
    uint16_t tagNumber = 0; // last listed tag passed since the previous word
    bool counted = true;   // counts as a running word
};

using TSearchFoundCallback = std::function<bool(const TSearchFound&)>; // false: found enough, stop
using TSearchWordCallback = std::function<void(const TSearchWordEvent&)>;

class TSearchAndDoEngine {
public:
    // language: folding for items that name no language of their own.
    explicit TSearchAndDoEngine(const QLocale& language = QLocale());
    explicit TSearchAndDoEngine(const TBaseSearchItems& items, const QLocale& language = QLocale());
    ~TSearchAndDoEngine();
    TSearchAndDoEngine(const TSearchAndDoEngine&) = delete;
    TSearchAndDoEngine& operator=(const TSearchAndDoEngine&) = delete;

    // The items must outlive their use by the engine; changes to them are
    // picked up at the next search.
    void SetItems(const TBaseSearchItems* items);
    const TBaseSearchItems* Items() const { return m_items; }
    void SetLanguage(const QLocale& language);

    void SetOnFound(TSearchFoundCallback cb) { m_onFound = std::move(cb); }
    // boundariesOnly: called only for words after a text boundary (level 2+).
    void SetOnWord(TSearchWordCallback cb, bool boundariesOnly = false)
    {
        m_onWord = std::move(cb);
        m_wordsAtBoundariesOnly = boundariesOnly;
    }
    // Punctuation between the words of a phrase is ignored.
    void SetSkipPunctuation(bool v) { m_skipPunctuation = v; }
    bool SkipPunctuation() const { return m_skipPunctuation; }
    // Kept for the caller's use of context words (distance accepted from an exact position).
    int32_t ExactGap = 0;

    // --- texts ---
    // textLength: units of the whole text (for percentages); 0 or less: unknown.
    void StartText(int64_t textLength = 0);
    // The chunk and its first unit's offset in the text. The buffer must stay
    // alive until the next SetChunk or StartText. The running counts at the
    // chunk's end (where the next chunk starts) are taken at once, in a walk
    // over its tokens; with `countNow` false they are taken by the first
    // search that goes over the whole chunk instead, and the caller calls
    // CountChunk before the buffer changes (it walks only when no such
    // search went to the end).
    void SetChunk(const TSearchBuffer& buffer, int64_t offsetInText = 0, bool countNow = true);
    void CountChunk();
    const TSearchBuffer* Chunk() const { return m_chunk; }
    // Runs one search word over the whole chunk, calling the word callback
    // for every word. False when stopped (found enough or cancelled).
    bool Search(int item);
    // Each search word in order (only OnlyItem when the items say so).
    bool SearchAll();
    // One search word over the matches lying wholly inside [from, to) units of
    // the chunk (context and exclusion words near a hit); no word callbacks,
    // and the hits carry only their word number and span, not their unit
    // numbers. Returns the number of hits reported.
    int SearchRange(int item, int32_t from, int32_t to);
    // Per-run statistics: hits of each search word since the last clear.
    void ClearChunkStatistics();
    int32_t ChunkHits(int item) const;
    // Running words of the text before the current chunk, as the engine counts.
    int32_t WordsBeforeChunk() const { return m_base.words; }

    // --- rows ---
    void SetCurrentRow(int64_t row, QStringView text);
    // One search word over the current row; returns the hits reported.
    int SearchAndDo(int item);
    // Whether any search word matches the text (no callbacks).
    bool RowMatches(QStringView text);

    // --- cancelling ---
    void Cancel() { m_cancelled = true; }
    void ClearCancel() { m_cancelled = false; }
    bool IsCancelled() const { return m_cancelled; }

    // Running counts at a point of a text (exposed for the tests).
    struct TUnitCounters {
        int32_t words = 0;
        int32_t sentence = 1, paragraph = 1, heading = 0, section = 1;
        int32_t wordsInSentence = 0, wordsInParagraph = 0, wordsInSection = 0;
        uint8_t pendingBarrier = 0; // a boundary after the previous chunk's last token
        void Step(const TSearchToken& t)
        {
            if (t.barrier | pendingBarrier)
                passBoundary(std::max(t.barrier, pendingBarrier));
            const int32_t c = (t.flags & (TSearchToken::kTag | TSearchToken::kCounted)) == TSearchToken::kCounted;
            words += c;
            wordsInSentence += c;
            wordsInParagraph += c;
            wordsInSection += c;
        }
        void passBoundary(uint8_t level);
    };

private:
    struct Compiled;
    struct Element;
    enum class Mode { Text, Row };

    void ensureCompiled();
    // Tries to match item at token j of buf within tokens [.., hi) and units [.., unitLimit).
    bool matchAt(const Compiled& c, const TSearchBuffer& buf, int32_t j, int32_t hi, int32_t unitLimit, int32_t unitFloor,
                 TSearchFound& f) const;
    bool gapAllows(const TSearchBuffer& buf, int32_t from, int32_t to, const std::u16string& required, uint8_t flagsOr,
                   uint8_t barrierMax) const;
    int run(int item, const TSearchBuffer& buf, int32_t lo, int32_t hi, int32_t unitFloor, int32_t unitLimit, bool words,
            bool report, bool* stopped);
    // `cursor`: the counts up to and with the hit's first token (null: no unit numbers).
    void fillStats(TSearchFound& f, const TSearchBuffer& buf, const TUnitCounters* cursor);

    const TBaseSearchItems* m_items = nullptr;
    QLocale m_language;
    std::vector<Compiled> m_compiled;
    const TBaseSearchItems* m_compiledFor = nullptr;
    uint32_t m_compiledRevision = 0;
    bool m_compiledValid = false;
    bool m_blankTags = false;
    bool m_skipPunctuation = false;
    const TFoldTable* m_fold = nullptr;

    TSearchFoundCallback m_onFound;
    TSearchWordCallback m_onWord;
    bool m_wordsAtBoundariesOnly = false;
    bool m_cancelled = false;

    // Text state.
    Mode m_mode = Mode::Text;
    const TSearchBuffer* m_chunk = nullptr;
    int64_t m_textLength = 0;
    int64_t m_chunkOffset = 0;
    TUnitCounters m_base;         // at the start of the current chunk
    TUnitCounters m_nextBase;     // at its end
    bool m_nextBaseKnown = true;  // false: not counted yet (SetChunk without counting)
    std::vector<int32_t> m_chunkHits;

    // Row state.
    TSearchBuffer m_rowBuffer;
    int64_t m_row = -1;
};

} // namespace cv
