#pragma once
// The corpus index of a word-list document (list type 23).
//
// Making an index is the word-list job with the index listening: the
// document's MakeWordlist cuts the words of each text exactly as for a word
// list and hands every word to the handler (a TWordTokenSink), which turns
// it into a type code and keeps it with the boundaries passed before it.
// ProcessAfterWordHandling then writes the four files (index_files.h); in
// opening mode 1 the new texts follow those of the existing index, whose
// words keep their codes, so an index made in two steps is the index of all
// its texts made in one.
//
// An index opened for work (OpenAnIndexAndLoadWords) answers the analyses:
// clusters and phrase frames (index_clusters.h), relationships with their
// eleven association scores (ComputeMIAssociation, index_relationships.h),
// every context of a word (AllContextsOf), exports (ExportData), moving
// windows (index_moving_window.h) and the texts holding words (for lemma
// consistency). They read the index settings record, refreshed from the
// settings buffer by ResetTheSettingsFromTextbuf.

#include "index/index_files.h"
#include "index/index_spread.h"
#include "suite/settings_records.h"
#include "wordlist/word_list.h"
#include "wordlist/wordlist_buffer_processor.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace cv {

class T_WholeWordlistHolder;
class TCVStatsList;
class TRelationshipsList;

// Opening modes of an index.
enum : uint8_t {
    kIndexOpenNew = 0, // make a new index
    kIndexOpenAdd = 1, // add texts to an existing index
    kIndexOpenRead = 2, // an index opened for work (no texts added)
};

// Which words an analysis starts from (the dialogs' process selection).
enum : uint8_t {
    kIndexProcessAll = 0,
    kIndexProcessSelected = 1,
    kIndexProcessTextFile = 2,
    kIndexProcessCharacterRange = 3,
};

// One occurrence of a word in the index.
struct TIndexPosition {
    int32_t text = 0;      // 0-based text of the index
    int64_t wordInText = 0; // 0-based word number within the text
    int64_t token = 0;     // ordinal in the whole index
    int64_t sentence = 0;  // 0-based sentence of the text it is in
    int64_t paragraph = 0; // 0-based paragraph of the text

    friend bool operator==(const TIndexPosition&, const TIndexPosition&) = default;
};

class TIndexHandler final : public TWordTokenSink, public TCVWordList::TTextsOfWords {
public:
    // `document` is the word-list document that owns the handler (may be
    // null for a handler used on its own); `name` names the index (any of
    // its files, or the base name).
    TIndexHandler(T_WholeWordlistHolder* document, const QString& name, uint8_t openingMode);
    ~TIndexHandler() override;

    // Set when the handler can go on; cleared by any failure.
    bool fOk = true;
    // Set when the user stopped a job of the handler.
    bool fCancel_pressed = false;

    QString BaseName() const { return fData.base; }
    uint8_t OpeningMode() const { return fMode; }
    // Why the last step failed (names the file and the reason).
    QString LastError() const { return fError; }

    // Mode 0: checks that the index can be written where it is named (its
    // folder exists). Modes 1 and 2: loads the existing index and checks
    // all four files. False, with LastError, otherwise; the files are never
    // touched by a failed load. Modes 0 and 1 first take the index's write
    // lock (waiting for another writer at most LockWaitMs), held until the
    // index is saved or the handler goes: no other writer comes between
    // the load and the save.
    bool LoadedTheFiles();
    // Asked how far a load of LoadedTheFiles is; false stops it (LoadStopped).
    void SetLoadStep(TIndexLoadStep step) { fLoadStep = std::move(step); }
    bool LoadStopped() const { return fLoadStopped; }
    void SetLockWaitMs(int ms) { fLockWaitMs = ms; }
    int LockWaitMs() const { return fLockWaitMs; }
    // The memory the indexing may hold of what it makes (the new token
    // stream, their boundaries, the counts per text), in bytes; beyond it
    // they go to scratch files beside the index and are read back at the
    // save, which writes the very same index.
    static constexpr std::size_t kIndexingMemory = std::size_t(128) << 20;
    void SetMemoryBudget(std::size_t bytes) { fMemoryBudget = std::max<std::size_t>(bytes, 64); }

    // The statistics rows of the texts just indexed (the document's list).
    void SetStatsList(const TCVStatsList* stats) { fStats = stats; }
    // Saves the index after the document's word-list run: its texts added
    // to those already indexed, the notes added to its notes. `texts` is the
    // number of texts the run was asked to read. False (nothing changed on
    // disk) when the run and the statistics disagree or a file cannot be written.
    bool ProcessAfterWordHandling(const QString& notes, double texts);

    // The index settings record, fetched again from the settings buffer.
    void ResetTheSettingsFromTextbuf();
    TWordlist_index_settings_rec fSettings;
    // The running words the association scores take as N.
    void SetTotalTokensInIndex(int64_t n) { fTotalTokens = n; }
    int64_t TotalTokensInIndex() const { return fTotalTokens; }

    // Which words the analyses start from, and the words chosen.
    uint8_t fWordChoice = kIndexProcessAll;
    QStringList fWordsToProcess;
    void AddToItemsToProcess(const QString& word) { fWordsToProcess << word; }

    // Relationships of the chosen words (or of every word) into
    // fRelationshipsList, as the index settings say. False when none was
    // found or the index cannot be read (LastError says which).
    bool ComputeMIAssociation();
    std::unique_ptr<TRelationshipsList> fRelationshipsList;

    // Every occurrence of a word (any tag), in index order.
    std::vector<TIndexPosition> AllContextsOf(const QString& word);
    // Writes a plain-text report: the index's totals; with a word, each of
    // its occurrences with the text, word, sentence and paragraph numbers and
    // the words around it; with `sentenceLengths`, the length of every
    // sentence of every text. False (with a message) when it cannot be written.
    bool ExportData(const QString& fileName, const QString& word, bool sentenceLengths);

    // --- lemma consistency: the texts holding words ---
    bool Open(const QString& indexFile, QString* error) override;
    int32_t TextsHoldingAnyOf(const QStringList& words) override;

    // --- the index in memory ---
    const TIndexData& Data() const
    {
        EnsureWhole();
        return fData;
    }
    // The types the chosen words stand for (every type when all words are chosen: empty).
    std::vector<uint32_t> ChosenTypes() const;

    // --- the word sink of the index job ---
    void BeginText(int32_t textIndex) override;
    void Token(const TToken& token) override;
    void EndText(int32_t textIndex) override;
    bool TakesBatches() const override { return true; }
    void Tokens(std::span<const TBatchToken> tokens, TWordlistParentTree& tree) override;

private:
    uint32_t MapRunType(uint32_t typeId, std::u16string_view spelling, uint16_t tagNumber, bool stop);
    template <typename TSpelling>
    uint32_t CodeOf(uint32_t typeId, bool running, bool stop, uint16_t tagNumber, TSpelling&& spelling);
    uint8_t* StreamRoom(std::size_t words);
    // Words of these codes into the new token stream and the counts.
    void PutCodes(std::span<const uint32_t> codes);
    bool Fail(const QString& error);
    bool BuildTextPostings();
    // The scratch files of the texts being indexed (made at the first text).
    bool StartScratch();
    void SpillStream();
    void AddMarkup(int64_t token, uint8_t level, uint16_t tag);
    // After a save the markup of the texts just indexed is on the disk
    // only; it is read in before the index is used.
    void EnsureWhole() const;

    T_WholeWordlistHolder* fDocument;
    uint8_t fMode;
    TIndexWriteLock fWriteLock;
    int fLockWaitMs = kIndexLockWaitMs;
    TIndexLoadStep fLoadStep;
    bool fLoadStopped = false;
    std::size_t fMemoryBudget = kIndexingMemory;
    QString fError;
    mutable TIndexData fData;       // mutable: read in whole when first used after a save (EnsureWhole)
    mutable bool fMarkupOnDisk = false;
    const TCVStatsList* fStats = nullptr;
    int64_t fTotalTokens = 0;

    // --- while indexing ---
    std::vector<uint32_t> fRunCodes;   // the run tree's type id -> code (0: not yet met)
    std::vector<uint8_t> fNewStream;   // the tokens of the texts of this run not yet spilled (the first fStreamUsed bytes)
    std::vector<uint32_t> fBatchCodes; // the codes of a batch of words
    std::size_t fStreamUsed = 0;
    int64_t fStreamSpilled = 0;        // bytes of the stream in its scratch file, before fNewStream's
    std::vector<uint8_t> fNewMarkup;   // boundaries not yet spilled, encoded as the .markup body holds them
    int64_t fNewMarkupRecords = 0;
    int64_t fLastMarkupToken = 0;      // the token of the last boundary encoded
    TScratchFile fScratchTokens, fScratchMarkup, fScratchCounts;
    QString fScratchError;
    TTypePartCounts fNewCounts;        // per new text, the frequency of each type in it
    struct TNewText {
        int64_t tokens = 0;
        int64_t byteOffset = 0;
        int64_t runningWords = 0; // its tokens but the numbers removed (the size of its part)
    };
    std::vector<TNewText> fNewTexts;
    int64_t fNewTokens = 0;
    int64_t fNewNumbers = 0;
    int64_t fOldTokens = 0;
    int64_t fOldStreamBytes = 0;
    size_t fOldTypes = 0;
    size_t fOldTexts = 0;
    size_t fOldMarkup = 0;
    bool fInText = false;

    // --- texts of each type (lemma consistency), built on demand ---
    std::vector<int64_t> fPostingStart;
    std::vector<int32_t> fPostingTexts;
};

// The types of the index found in the stop list of this tool (empty when
// no stop list is loaded).
std::vector<uint8_t> StopListTypes(const TIndexData& index);

// How the index job runs without the main window (the bench and tests):
// a new document for list type 23, the handler started in `mode`, the
// word-list run of the texts, the index saved. False with the reason.
// `skipped`: the texts that could not be read, each with its reason;
// `textNotes`: what the run noted of texts it read all the same (also in
// the index's notes).
bool MakeIndexOfTexts(class TSharedChosenFilesClass& texts, const QString& indexName, uint8_t mode,
                      QString* error = nullptr, QStringList* skipped = nullptr, QStringList* textNotes = nullptr);

} // namespace cv
