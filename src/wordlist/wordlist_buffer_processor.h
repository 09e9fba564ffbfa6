#pragma once
// Cutting the words of one text into the run's word tree.
//
// The text reader (TBufferProcessor) hands over each processed chunk with its
// character-class array; this processor walks the array once: a word is a
// run of word units (letters, digits, joining apostrophes, hyphens and number
// separators), boundaries and listed tags are noted as they are passed, and
// each word is
//   - passed over when it is longer than any type may be (kMaxTypeLength
//     units): it is then no word at all, and the text's notes say so;
//   - dropped as a number when it has no letter and the settings remove numbers;
//   - otherwise a running word (for the text's statistics), and when its
//     length in characters is within the settings' limits it is folded as the
//     settings say, looked up in the tree by hash (carrying the listed tag
//     before it when the settings show tags) and counted there; a type that
//     is in the stop list is counted as removed.
// At the end of the text its statistics are complete (TextStatistics).

#include "model/stats_list.h"
#include "textread/buffer_processor.h"
#include "wordlist/text_statistics.h"
#include "wordlist/wordlist_tree.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace cv {

class TWordFolder;
class TTagHandlerBase;

// What the index of a corpus (list type 23) needs of every word as it is
// cut: implemented by the index, called for each word of the text in order,
// one by one (Token), or, for a sink that takes batches, a batch of words
// at a time (Tokens) with only what an index keeps of them.
class TWordTokenSink {
public:
    struct TToken {
        uint32_t typeId = TWordlistParentTree::kNoType; // none: the word went into no list (number removed, too short or long)
        std::u16string_view spelling;       // the type's folded spelling (valid during the call)
        int64_t sourcePosition = 0;         // in the decoded text, UTF-16 units
        int32_t length = 0;                 // units in the buffer
        int barrier = 0;                    // highest boundary passed since the previous word
        uint16_t tagNumber = 0;             // last listed tag passed since the previous word
        bool running = false;               // a running word of the text
        bool stop = false;                  // its type is in the stop list
    };
    // A word of a batch: its type, the boundary and tag before it, and
    // whether it is a running word and in the stop list; no spelling (the
    // tree gives that of a type) and no source position.
    struct TBatchToken {
        uint32_t typeId;      // TWordlistParentTree::kNoType: the word went into no list
        uint32_t sinkValue;   // the type's value for the sink (TWordlistKey::sinkValue) when the word was counted
        uint16_t tagNumber;   // last listed tag passed since the previous word
        uint8_t barrier;      // highest boundary passed since the previous word
        uint8_t flags;        // kTokenRunning, kTokenStop
    };
    static constexpr uint8_t kTokenRunning = 1, kTokenStop = 2;

    virtual ~TWordTokenSink() = default;
    virtual void BeginText(int32_t textIndex) {}
    virtual void Token(const TToken& token) = 0;
    virtual void EndText(int32_t textIndex) {}
    // True: the words come through Tokens, in batches in text order, instead
    // of through Token.
    virtual bool TakesBatches() const { return false; }
    // Words of the current text in order. `tree` spells their types (Text)
    // during the call, and keeps a value for the sink with each type
    // (Type(id).sinkValue, handed over with each word of the type): set it
    // at the type's first word and the later words bring it along, without
    // a look-up of the sink's own. A type met twice in one batch brings 0
    // the second time too when its first word set it.
    virtual void Tokens(std::span<const TBatchToken> tokens, TWordlistParentTree& tree) {}
};

// A buffer made larger when asked (its contents then dropped), whose memory
// is touched only where it is written: the cutter's arrays are sized for
// the worst case of a chunk and used a little at a time.
template <typename T>
class TScratchArray {
public:
    T* Room(std::size_t n)
    {
        if (fSize < n) {
            fData = std::make_unique_for_overwrite<T[]>(n);
            fSize = n;
        }
        return fData.get();
    }
    T* Data() const { return fData.get(); }
    std::size_t Size() const { return fSize; }
    void Free()
    {
        fData.reset();
        fSize = 0;
    }

private:
    std::unique_ptr<T[]> fData;
    std::size_t fSize = 0;
};

// Units of the chunks a word-list run reads its texts in. A chunk's bytes,
// units and classes (some 400 KB) then stay in the second-level cache from
// decoding through classifying to cutting, beside the run's type table;
// chunks of the reader's largest size (megabytes) went through memory
// between the steps, and the whole job took some 5 % longer. (Smaller
// chunks gained nothing more.)
constexpr int32_t kWordlistChunkUnits = 64 * 1024;

// What the texts of one run share.
struct TWordlistRunContext {
    TWordlistTree* tree = nullptr;
    const TWordFolder* folder = nullptr;
    TTextSettings settings;
    uint8_t tool = 0;
    bool useTags = false;        // the settings show tags: a word carries the listed tag before it
    bool stopList = false;       // types met for the first time are looked up in the stop list
    bool slicedParts = false;    // a one-text run: the parts of the dispersion are tenths of the text
    int32_t nextPart = 0;        // the next part number of the run
    int32_t sttrChunk = 0;       // the current standardised-TTR chunk (unique in the run)
    int32_t chunkUnits = kWordlistChunkUnits; // the reader's chunks (TBufferProcessor::SetMaxChunkChars)
    TWordTokenSink* sink = nullptr;
    TScratchArray<char16_t> batchText; // the folded words of the cutter's batch (kept for the run)
    TScratchArray<int32_t> starts, ends, specials; // the words and boundaries of the current stretch of a chunk
    TReadScratch scratch;        // the reader's buffers, kept from text to text
    double cutSeconds = 0;       // spent cutting and counting (the rest of reading is the reader's)
};

// What a text's notes say of `count` words passed over as longer than any
// type may be: "a word longer than 65,535 characters, the longest a word
// may be, was passed over (...)".
QString WordsTooLongText(int64_t count);

// Sixty-four class units a block: which are word units (bit j for unit j)
// and which are boundaries or listed tags, for `blocks` blocks from `c`.
// `widest`: the AVX-512 form where the processor has it (the same result;
// the cutter takes it whenever it can).
void WordAndSpecialMasks(const uint16_t* c, int32_t blocks, uint64_t* word, uint64_t* special, bool widest);

class TWordlistBufferProcessor final : public TBufferProcessor {
public:
    TWordlistBufferProcessor(TCorvantisholder* document, TWordlistRunContext& run, const TChosenTextRec& text,
                             int32_t textIndex, TTagHandlerBase* tagHandler, uint8_t jobKind, uint8_t combining,
                             TFileHandledCallback fileHandled);

    void ProcessAChunkOfFile(int32_t chunkIndex) override;

    // After a successful read: the text's row of the statistics list.
    const TStatsRec& TextStatistics() const { return fRec; }
    // Whether any word of the text reached the tree (a read that fails after
    // this cannot be undone in the tree).
    bool Counted() const { return fCounted; }
    // Words of the text passed over as longer than any type may be.
    int64_t WordsTooLong() const { return fTooLong; }

private:
    // Words are cut in batches: the cut folds and hashes each word and asks
    // the cache for its slot; the batch then asks for the types the slots
    // name; only then are the words counted, in order. The waits for memory
    // of a batch's words overlap instead of following one another.
    struct TPending {
        uint64_t hash;
        uint32_t textAt;    // in fBatchText
        int32_t length;     // units
        int32_t start;      // in the buffer
        int32_t characters;
        uint16_t tag;       // the listed tag passed before it
        uint16_t keyTag;    // the tag the type carries (0 when tags are not shown)
        uint8_t barrier;
        uint8_t kind;       // TPendingKind
        bool inHeading;
    };
    // kPendingTooLong: longer than any type may be (kMaxTypeLength units):
    // no word at all, neither a running word nor a type.
    enum TPendingKind : uint8_t { kPendingNumber, kPendingRunning, kPendingType, kPendingTooLong };
    struct TCut;
    void CutWords();
    uint32_t CutWord(const TCut& cut, TPending& pending, char16_t* out);
    void FlushBatch();
    template <bool kWithSink>
    void FlushBatchTo();
    uint32_t AddType(const TPending& w);
    void NotifySink(int32_t start, int32_t length, uint32_t type, int barrier, uint16_t tag, bool running, bool stop);
    void StartText();
    void StartPartAt(int32_t start);
    void FinishText();

    TWordlistRunContext& fRun;
    TWordlistTree& fTree;
    int32_t fTextIndex;
    TTextStatisticsBuilder fStats;
    int32_t fMinLength, fMaxLength;
    bool fKeepNumbers;
    bool fStarted = false;
    bool fCounted = false;
    // Parts of a one-text run.
    int32_t fFirstPart = 0;
    int32_t fSlice = 0;
    int64_t fSliceUnits = 0;     // units of the text per tenth (estimated from its size)
    int32_t fNextSliceIndex = 0; // buffer index where the next tenth begins
    int64_t fPartWords = 0;      // running words of the current part (its size for the dispersion value)
    int64_t fTooLong = 0;        // words passed over as longer than any type may be
    TStatsRec fRec;
    int fCarriedBarrier = 0;     // boundaries and tags after the last word of the last chunk
    uint16_t fCarriedTag = 0;
    std::vector<TPending> fBatch;    // kBatchWords records, fBatchCount of them in use
    std::vector<TWordTokenSink::TBatchToken> fSinkBatch; // the batch's words for a sink that takes batches
    std::size_t fBatchCount = 0;
    TScratchArray<char16_t>& fBatchText;
    uint32_t fBatchTextUsed = 0;
};

} // namespace cv
