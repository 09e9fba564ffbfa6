#pragma once
// Turns one source text into concordance lines.
//
// The concordance document makes one processor per text and job and runs
// ReadAndProcess. For every processed chunk the processor cuts the chunk
// into words once (a TSearchBuffer over the reader's class array), runs each
// search word over it, and for every hit decides whether it becomes a line:
// the per-word limit, sampling, exclusion and context words, the gap between
// hits, the user's line filter. A line that passes is cut from the buffer
// (the hit at the middle), gets the word positions around the hit and the
// tags inside it, and goes into the document's lines list.
//
// The hot path makes no allocation per hit except the stored line itself
// (its record and its text).

#include "concordance/concordance_lines.h"
#include "concordance/concordance_list.h"
#include "concordance/concordance_line_plugin.h"
#include "suite/search_engine.h"
#include "suite/settings_records.h"
#include "textread/buffer_processor.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace cv {

class TCorvantisholder;
class TTextTagHandler;
class TSearchWordItems;
class TBaseSearchItems;

// What the concordance document hands each processor. Before each text the
// document sets the lines list's current_ConcFileEntry to the text's 1-based
// number in its texts list (the lines' filename_num_original); the processor
// sets the list's wanted lines per search word from the settings.
struct TMarvexDocumentLink {
    TCorvantisholder* document = nullptr;   // passed to the text reader
    TConcordanceList* lines = nullptr;      // where the lines go (must be set)
    TConcSettingsRec32 settings = TConcSettingsRec32::Defaults(); // the document's settings
    TTextSettings textSettings = TTextSettings::Defaults();
    // A search buffer kept from text to text of a job, so that its tables are
    // made once (optional: each processor has its own otherwise).
    TSearchBuffer* searchBuffer = nullptr;
    // The same for the text reader's buffers (optional: see TReadScratch).
    TReadScratch* readScratch = nullptr;
    // Told when the text turns out to be held as 16-bit characters (the
    // document's Unicode setting follows it).
    std::function<void(bool)> onUnicodeChange;
};

// Called after a line is stored when the progress display asks for a sample
// line (Global_progress_tick): ".... " + the line's first characters + " ....".
using TMarvexProgressMethod = std::function<void(const QString& sample)>;

class TMarvexBufferProcessor final : public TBufferProcessor {
public:
    // firstText: this is the run's first text (a pre-parsed copy may be kept);
    // progress: nullptr for none. The item lists and the engine must outlive
    // the processor; contextItems, exclusionItems and tagContextItems may be
    // null; tagContextItems are kept but not searched (no tag-context words
    // are looked for). jobKind and combining go to the base reader.
    TMarvexBufferProcessor(const TMarvexDocumentLink& doc, bool firstText, TMarvexProgressMethod progress,
                           TSearchWordItems* searchItems, TBaseSearchItems* contextItems,
                           TBaseSearchItems* exclusionItems, TBaseSearchItems* tagContextItems,
                           TSearchAndDoEngine* engine, uint8_t jobKind, uint8_t combining, bool doingSWsOneAtATime,
                           const TChosenTextRec& text, TTextTagHandler* tagHandler);
    ~TMarvexBufferProcessor() override;

    // --- overrides of the reader ---
    void HandleTextStatsAtEndOfBuffer() override;
    bool SetupTheBuffer() override;
    void ProcessAChunkOfFile(int32_t chunkIndex) override;

    void UnicodeChangeTo(bool unicode);

    // The user line filter, when one is bound ("HandleConcordanceLine").
    bool fCanUserFilter = false;
    // Why the filter the settings ask for could not be bound (empty when none was asked for).
    QString UserFilterError() const { return m_filterError; }
    // Binds a filter directly (tests, scripts); null unbinds.
    void SetUserFilter(std::unique_ptr<TConcordanceLinePlugin> filter);

    // The jump list: the running words (from 1) of this text at which
    // another tool asked for lines. While it is in force a hit becomes a line
    // only at a wanted position not taken yet; each line takes its position,
    // and when none is left the search has found enough (at once for an
    // empty list). ClearJumpList ends it.
    void SetJumpList(std::vector<int32_t> wantedWords);
    void ClearJumpList() { m_jumpInForce = false; }
    bool JumpListInForce() const { return m_jumpInForce; }
    // Wanted positions not taken yet.
    int32_t JumpPositionsLeft() const { return m_jumpLeft; }

    // Lines this processor stored.
    int32_t LinesMade() const { return m_linesMade; }
    // Hits the search engine reported.
    int64_t HitsSeen() const { return m_hitsSeen; }

    // Rebuilds one known line instead of searching (fKnownMarvexEntryPtr): in
    // the chunk that holds its stored position, its characters, word
    // positions, tags and tag context are made again from the text there.
    void SetKnownLine(TMarvexEntryRec* known) { fKnownMarvexEntryPtr = known; m_knownRebuilt = false; }
    bool KnownLineRebuilt() const { return m_knownRebuilt; }

    // --- fields of the design (names kept) ---
    bool Checking_avoid_hits_within_X_chars = false;
    bool DoingSWsOneAtATime = false;
    int32_t allowed_last_word_gap = -1;
    int32_t last_hit_word_num = -1000;
    int32_t fCurrent_filenum = 0;
    bool fRandomising = false;
    int32_t fRandomRange = 1;
    bool fSkipPunctuation = false;
    bool fusing_Unicode = true;
    int32_t fCharactersToSaveonDisk = 0;
    bool fRequiring_all_context_words = false;
    bool fRequiringExactPosition = false;
    bool fExclusionWordFound = false;
    bool fAContextWordFound = false;
    bool fEnoughContextWordsFound = false;
    // Horizons as indexes into the 102 word positions (left, right).
    std::array<int16_t, 2> context_spans{kFirstFixedPosition, kLastFixedPosition};
    std::array<int16_t, 2> exclusion_spans{kFirstFixedPosition, kLastFixedPosition};
    std::array<int16_t, 2> colloc_spans{kFirstFixedPosition, kLastFixedPosition};
    std::array<TSortInfoRec, kWordPositions> fTempSortPositionsArray{};

private:
    struct TChunkLine {
        int32_t wordNum;
        bool inHeading;
        TConcordanceEntry* line;
    };
    struct TOwnContext;

    bool DoSearchFound(const TSearchFound& f);
    bool DoContextWordFound(const TSearchFound& f);
    // The line test of exclusion and context words; fills other_context_words.
    bool LinePassesWordTests(const TSearchFound& f, TMarvexEntryRec& rec);
    // Window [left, right] of word positions cut at the stop-at level.
    void CutWindowAtBarrier(int& left, int& right) const;
    // The word position of an accepted find of the item within the window, -1 none.
    int FindInWindow(TSearchAndDoEngine& engine, int item, int left, int right, int required);
    // The line's characters and word positions; `hit` gives the words (null: from the class array).
    void MakeLineParts(TMarvexEntryRec& rec, int32_t hitStart, int32_t hitEnd, const TSearchFound* hit);
    void TagContextOf(int32_t hitStart, TMarvexEntryRec& rec);
    void StoreLine(const TSearchFound& f, bool inHeading);
    void RemoveCloseLinesOfLaterItem(int firstLineOfItem);
    void DoWordCount(const TSearchWordEvent& e);
    void WalkBoundaries(TUnitEndHandlers& ends, std::span<const TChunkLine> lines, int32_t fromToken);
    void ResolveUnitEnds();
    void RebuildKnownLine();
    // At the end of the text: unit ends still open, and exact percentages.
    void FinishTextLines(int64_t textUnits);
    int32_t SearchWordCountLimit() const;

    TMarvexDocumentLink m_doc;
    TConcordanceList* m_lines;
    TMarvexProgressMethod fMarvexShowIndividualProgress;
    TSearchWordItems* fSearchWordItems;
    TBaseSearchItems* fContextWordItems;
    TBaseSearchItems* fExclusionWordItems;
    TBaseSearchItems* fTagContextWordItems;
    TSearchAndDoEngine* fSearchAndDoEngine;
    std::unique_ptr<TSearchAndDoEngine> fContextEngine;
    std::unique_ptr<TSearchAndDoEngine> fExclusionEngine;
    std::vector<std::unique_ptr<TOwnContext>> m_ownContext;
    TChosenTextRec fThis_text_file;
    double m_textDate = 0;
    TTextTagHandler* m_tagHandler;
    bool m_tagsInLines = false;      // tags are kept or marked: lines carry tag positions
    bool m_sectionContext = false;   // section starts give the tag context
    int m_stopAtLevel = 0;           // window cut for context and exclusion words (0: none)
    bool m_contextOn = false;
    bool m_exclusionOn = false;
    int m_leftLimit = kFirstFixedPosition;
    int m_rightLimit = kLastFixedPosition;
    TMarvexEntryRec* fKnownMarvexEntryPtr = nullptr;
    bool m_knownRebuilt = false;

    std::unique_ptr<TConcordanceLinePlugin> m_filter;
    QString m_filterError;
    QString m_filterFileName;
    std::minstd_rand m_random;

    // Per chunk and per hit.
    TSearchBuffer m_ownSearchBuffer;
    TSearchBuffer& m_searchBuffer;
    TClassArrayLayout m_layout;
    int m_currentItem = 0;
    QString m_itemCategory;
    bool m_itemHasTag = false;
    int m_firstLineOfChunk = 0;
    int m_firstLineOfText = 0;
    int32_t m_wordsBeforeChunk = 0;
    int32_t m_lineFirst = 0;          // buffer index of the current line's first character
    int m_windowLeft = 0, m_windowRight = 0, m_windowRequired = -1, m_windowFound = -1;
    std::unique_ptr<TConcordanceEntry> m_spare; // the line being made
    TUnitEndHandlers m_unitEnds;
    std::vector<TChunkLine> m_chunkLines;
    std::size_t m_handedLines = 0;  // lines of the chunk handed to m_unitEnds
    int m_firstItemLines = -1;      // lines of the chunk's first search word (-1: none searched)
    int32_t m_lastSeenToken = -1;   // token the first search word reached
    bool m_firstSearchComplete = false;
    bool m_inFirstItem = false;
    std::vector<uint16_t> ftemp_wchar_kinds; // classes of one line
    QString m_sectionText;
    int64_t m_sectionStart = -1;

    bool m_jumpInForce = false;
    std::vector<int32_t> m_jumpWanted;   // ascending
    std::vector<uint8_t> m_jumpTaken;    // per wanted position
    int32_t m_jumpLeft = 0;

    int32_t m_linesMade = 0;
    int64_t m_mostLinesHeld = INT64_MAX; // the lines the list may hold (TConcordanceList::fMostLinesHeld)
    int64_t m_hitsSeen = 0;
    int32_t m_lastWordOfText = 0;
    bool m_stopSearch = false;
};

} // namespace cv
