#pragma once
// Reading one source text into processed buffers, chunk by chunk.
//
// A job (word list, index, concordance) derives its processor from
// TBufferProcessor and works on each processed chunk in ProcessAChunkOfFile.
// ReadAndProcess opens the text (a loose file, an entry of a zip archive, an
// enciphered or a pre-parsed text), finds its encoding, and then, chunk by
// chunk of at most kMaxChunkChars UTF-16 units:
//   1. decodes the bytes into UTF-16;
//   2. cuts the chunk after its last line break (else blank) so that no
//      word, tag or character is split, keeping the rest for the next chunk;
//   3. applies the text markers, the tag rules and entities (markup_pass.h);
//   4. computes the character-class array (class_array.h), counting words
//      and finding sentence, paragraph, heading and section boundaries;
//   5. calls SetupTheBuffer, ProcessAChunkOfFile(chunk index) and
//      HandleTextStatsAtEndOfBuffer.
// After the last chunk ProcessAChunkOfFile is called once more with -1,
// the last chunk still in place.
//
// Positions: SourcePositionOf gives, for a unit of the buffer, its position
// in the decoded text (UTF-16 units from the first character after any
// byte-order mark), across chunks; BufferIndexOfSourcePosition goes back.

#include "model/chosen_text_rec.h"
#include "suite/settings_record.h"
#include "suite/zip_archive.h"
#include "suite/text_settings.h"
#include "textread/markup_pass.h"
#include "textread/text_classifier.h"
#include "textread/text_decoder.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

class TCorvantisholder;
class TTagHandlerBase;
class TTextTagHandler;

// What a text turned out to be: the encoding in the low three bits, flags
// above. TChosenTextRec::Kind and TFileHandledInfo's format byte hold it.
enum TTextFormat : uint8_t {
    kTextFormatUnknown = 0,
    kTextFormatAnsi = 1,
    kTextFormatUtf8 = 2,
    kTextFormatUtf16LE = 3,
    kTextFormatUtf16BE = 4,
    kTextFormatEncodingMask = 0x07,
    kTextFormatByteOrderMark = 0x08, // the text opened with a byte-order mark
    kTextFormatMarkup = 0x10,        // tags were found in it
    kTextFormatInZip = 0x20,         // an entry of a zip archive
    kTextFormatPreparsed = 0x40,     // a ".CVpreparsed" text
    kTextFormatEnciphered = 0x80,    // a ".CVencrypted" text
};

// How the reader handled a text, handed to the document's file-handled
// callback: the text's size in bytes in the first 8 bytes, then flags.
class TFileHandledInfo : public TSettingsRecord<16> {
public:
    CV_FIELD(int64_t, 0, TextSize)      // bytes of the source text (the entry's size for a text in a zip)
    CV_BOOL_FIELD(8, TwoByteText)       // the source text is UTF-16
    CV_BOOL_FIELD(9, AlreadyConverted)  // the buffers hold it as UTF-16 (always so: texts are decoded in memory)
    CV_BOOL_FIELD(10, ThreeCharLead)    // it opened with the 3-byte UTF-8 byte-order mark
    CV_BOOL_FIELD(11, NotProcessed)     // it could not be read
    CV_FIELD(uint8_t, 12, Format)       // TTextFormat
};

// The counts of the last text read by any processor on this thread (a job
// may read texts on several); its first 32-bit value is the text's running
// words.
extern thread_local TOneFilesStats Global_OneFilesStats;

// Where a chunk may end: just after the last line break of its second half,
// else after its last blank there, else after any line break or blank; never
// inside a tag that may still be open (when `tagsActive`), never between the
// halves of a surrogate pair, and not past `maxCut`. 0 < result <= text.size()
// for a non-empty text. `blankFound`, when given, tells whether the cut is
// after a line break or blank (else the chunk has none up to `maxCut`, and
// is cut there, through whatever stands there).
std::size_t ChunkCutPosition(std::u16string_view text, bool tagsActive, int32_t maxTagSpan,
                             std::size_t maxCut = std::size_t(-1), bool* blankFound = nullptr);

// `cut`, or the "<" before it of a tag still open there (it goes with the next chunk).
std::size_t CutBeforeOpenTag(std::u16string_view text, std::size_t cut, int32_t maxTagSpan);
// Where a chunk of the largest size that holds no blank is cut: after the
// last mark in its second half that always ends a word (so no word is cut),
// else at its end (through a word).
std::size_t WordSafeCut(std::u16string_view chunk, const TTextClassifier& classifier);
// The rest of a word cut at the end of the last chunk opens this chunk: its
// units are no word of their own (the word was counted where it began),
// so they lose their word classes.
void ContinueWord(std::span<uint16_t> classes);

// What a reader fills for every text: the decoded and processed text, its
// class array, the bytes read, the classifier. A job that reads many texts
// keeps one from text to text (TBufferProcessor::UseScratch), so that the
// next text is read into memory already at hand instead of fresh pages.
struct TReadScratch {
    TUnitBuffer pending;                   // decoded, not processed yet
    std::u16string buffer;                 // the processed chunk, when processing changed it
    std::u16string_view text;              // the processed chunk: `buffer`, or the decoded units as they stand
    std::unique_ptr<uint16_t[]> classes;   // its class array
    std::size_t classCapacity = 0;
    std::unique_ptr<uint8_t[]> bytes;      // a block read from the text
    std::size_t byteCapacity = 0;
    std::vector<uint16_t> tagNumbers;
    std::vector<int32_t> forced;
    // The classifier of the last text and what it was made for.
    std::unique_ptr<TTextClassifier> classifier;
    TTextSettings classifierSettings;
    const TTextTagHandler* classifierHandler = nullptr;
    bool classifierTagMarks = false;
    int32_t classifierTagSpan = 0;
    QString classifierMarkers[3];          // section start, heading start and end
    // The archive the last text came from, kept open for the next text in
    // it: its directory is read once per job, not once per text. Its size
    // and time tell whether it is still the file that was opened.
    std::unique_ptr<TZipArchive> zip;
    int64_t zipSize = -1;
    int64_t zipTime = 0;
};

class TBufferProcessor {
public:
    using TFileHandledCallback = std::function<void(const TFileHandledInfo&)>;
    using TUnicodeChangeCallback = std::function<void(bool)>;

    static constexpr int32_t kMaxChunkChars = 2 * 1024 * 1024;

    // `document` is the result document the job fills (kept, not used here);
    // `fileHandled` is called once the text has been read (or has failed);
    // `unicodeChange` is told that the buffers hold UTF-16 text; `tagHandler`
    // is the job's text tag handler as the document holds it; when it is
    // nullptr (or not a text tag handler) the settings' mark-up rules apply
    // without tag lists; `jobKind` is the list type of the job and `combining` its
    // combining-characters switch, both kept for derived processors;
    // `maySaveBuffer` lets the processor keep a pre-parsed copy of the text
    // (see SetPreparsedFolder).
    TBufferProcessor(TCorvantisholder* document, TFileHandledCallback fileHandled, TUnicodeChangeCallback unicodeChange,
                     TTagHandlerBase* tagHandler, const TChosenTextRec& text, const TTextSettings& settings,
                     uint8_t jobKind, uint8_t combining, bool maySaveBuffer);
    virtual ~TBufferProcessor();
    TBufferProcessor(const TBufferProcessor&) = delete;
    TBufferProcessor& operator=(const TBufferProcessor&) = delete;

    // Reads the whole text; `count` is the number of texts of the job (for
    // derived processors' progress). False when the text cannot be read (the
    // reason goes to the user through the dialog module, or into
    // Global_FailureMessage when messages are off, and stays in LastError),
    // when SetupTheBuffer refuses, or when the job is cancelled (cancel state
    // 2 or more).
    bool ReadAndProcess(int32_t count);

    // Hooks, in the order the reader calls them for each chunk.
    virtual bool SetupTheBuffer() { return true; }
    virtual void ProcessAChunkOfFile(int32_t chunkIndex) {}
    virtual void HandleTextStatsAtEndOfBuffer() {}

    // --- the current chunk ---
    std::u16string_view Buffer() const { return m_scratch->text; }
    std::span<const uint16_t> Classes() const { return {m_scratch->classes.get(), m_scratch->text.size()}; }
    std::span<uint16_t> MutableClasses() { return {m_scratch->classes.get(), m_scratch->text.size()}; }
    // Buffer indexes where lines starting with the section marker begin.
    const std::vector<int32_t>& SectionStarts() const { return m_sectionStarts; }
    int32_t CurrentChunkIndex() const { return m_chunkIndex; }
    int64_t SourcePositionOf(int32_t index) const { return m_map.PositionOf(index); }
    int32_t BufferIndexOfSourcePosition(int64_t position) const { return m_map.IndexOf(position); }
    const TOneFilesStats& ChunkStats() const { return m_chunkStats; }
    // Counts of the text so far, this chunk included.
    const TOneFilesStats& TextStats() const { return m_textStats; }
    int32_t WordsBeforeChunk() const { return m_wordsBeforeChunk; }

    QString LastError() const { return m_error; }
    bool Cancelled() const { return m_cancelled; }
    // What the user should know of a text that was read all the same, each
    // naming it: a byte-order mark its text does not look like, a text
    // that changed while it was read, and what derived processors add.
    const QStringList& ReadNotes() const { return m_notes; }
    // The text was written to while it was read (then also in ReadNotes).
    bool ChangedWhileRead() const { return m_changedWhileRead; }
    const TTextSettings& TextSettings() const { return m_settings; }
    const TChosenTextRec& TextRecord() const { return m_text; }
    uint8_t JobKind() const { return m_jobKind; }
    uint8_t Combining() const { return m_combining; }
    bool MaySaveBuffer() const { return m_maySaveBuffer; }
    int32_t TextsInJob() const { return m_textsInJob; }

    // Asks for the length of the whole decoded text before its first chunk
    // is handed over (TextUnits): the bytes are decoded once more for it
    // where their count does not tell it.
    void SetCountTextUnits(bool on) { m_countUnits = on; }
    // The decoded text's length in UTF-16 units (the units SourcePositionOf
    // counts), once the first chunk is handed over; -1 when not asked for
    // or when it could not be counted.
    int64_t TextUnits() const { return m_textUnits; }
    // Chunks of at most this many units (tests use small ones); at least 64.
    void SetMaxChunkChars(int32_t units);
    // How far a chunk without a blank may grow (kMaxChunkChars; tests use
    // less): a word longer than that is cut, and counts as one word.
    void SetLargestChunkChars(int32_t units);
    // Off: failures are only kept in LastError (for callers that report them).
    void SetShowFailureMessages(bool on) { m_showFailures = on; }
    // Reads into the scratch given (kept by the caller for the next text;
    // one reader at a time) instead of buffers of its own; null: its own.
    void UseScratch(TReadScratch* scratch) { m_scratch = scratch ? scratch : &ownScratch(); }
    // With the may-save-buffer flag, the processed text is saved here as
    // "<name>.CVpreparsed" after a successful read; empty: nothing is saved.
    void SetPreparsedFolder(const QString& folder) { m_preparsedFolder = folder; }

    // Set when the text would have to be converted to UTF-16 on disk and read
    // again. This reader decodes every encoding in memory, so it clears the
    // flag and never needs to set it; callers that loop on it read once.
    bool PleaseConvertTheFileToUnicode = false;
    TFileHandledInfo FileHandledInfo;
    std::vector<uint8_t> FileSignatureBytes; // the byte-order mark the text opened with
    TTextTagHandler* fTagHandler;
    TCorvantisholder* WH;
    QString fFullFilename;

protected:
    // A note on the text read (see ReadNotes), its name put before it.
    void AddReadNote(const QString& note);

private:
    struct Source;
    bool openSource(Source& src);
    int64_t countTextUnits(Source& src, const TEncodingGuess& guess, std::span<const uint8_t> first, bool eof);
    bool fail(const QString& reason);
    bool finish(bool ok);
    void processChunk(std::u16string_view chunk, std::u16string_view rest, bool final);
    TReadScratch& ownScratch();
    TTextClassifier& classifierFor(const TTextTagHandler& handler, bool tagMarks);

    TFileHandledCallback m_fileHandled;
    TUnicodeChangeCallback m_unicodeChange;
    TChosenTextRec m_text;
    TTextSettings m_settings;
    uint8_t m_jobKind;
    uint8_t m_combining;
    bool m_maySaveBuffer;
    std::unique_ptr<TTextTagHandler> m_ownHandler;

    int32_t m_maxChunk = kMaxChunkChars;
    int32_t m_largestChunk = kMaxChunkChars;
    bool m_wordGoesOn = false; // the last chunk was cut through a word: its rest opens this one
    bool m_showFailures = true;
    QString m_preparsedFolder;
    int32_t m_textsInJob = 0;

    std::unique_ptr<TMarkupPass> m_markup;
    TTextClassifier* m_classifier = nullptr;
    std::unique_ptr<TReadScratch> m_ownScratch;
    TReadScratch* m_scratch = nullptr; // the classes: as many as the buffer has units, and one more
    std::vector<int32_t> m_sectionStarts;
    TPositionMap m_map;
    TOneFilesStats m_chunkStats, m_textStats;
    int32_t m_chunkIndex = -1;
    int32_t m_wordsBeforeChunk = 0;
    int64_t m_chunkPosition = 0;
    bool m_preparsed = false;
    std::u16string m_savedText; // the processed text, when a pre-parsed copy is to be saved
    QString m_error;
    bool m_cancelled = false;
    bool m_countUnits = false;
    int64_t m_textUnits = -1;
    QStringList m_notes;
    bool m_changedWhileRead = false;
};

} // namespace cv
