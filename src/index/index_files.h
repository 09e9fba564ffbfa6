#pragma once
// The four files of a corpus index and the index as it is held in memory.
//
// An index records every running word of a corpus once, in reading order,
// so that word lists, clusters, relationships and moving windows are
// computed from it without reading the texts again. It is four files that
// share one base name (docs/index-files.md):
//
//   .tokens  every word of every text, as a type code, in a compact stream
//   .types   the spelling of each type with its frequency, texts and dispersion
//   .stats   the text settings, the notes and one statistics row per text
//   .markup  the boundaries (sentence, paragraph, heading, section) between words
//
// Each opens with the 57-byte signature and a header naming its part, the
// index's stamp (the same in all four, new at every save) and the counts;
// a file whose stamp or counts differ from the others' belongs to another
// save and the index is refused. Token codes: 0 a number removed from the
// word list ("#"), 1 a running word that is in no list (too short or too
// long), 2 + t type t.

#include "model/stats_list.h"
#include "suite/file_system.h"
#include "suite/text_settings.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace cv {

class TStream;

enum class TIndexFileKind : uint8_t { Tokens = 0, Types, Stats, Markup };
constexpr int kIndexFileCount = 4;

// The family of files: kind, extension, the tag its header carries.
struct TIndexFileInfo {
    TIndexFileKind kind;
    const char* extension; // with the dot
    const char* tag;       // four ASCII characters
};
std::span<const TIndexFileInfo> IndexFiles();

// The base name of an index from the name of any of its files or the base
// itself ("corpus.tokens", "corpus.types", "corpus" give "corpus").
QString IndexBaseName(const QString& anyName);
QString IndexFileName(const QString& base, TIndexFileKind kind);

// Beside the four files: the lock file a writer holds ("corpus.lock"),
// the commit record of a save being put in place ("corpus.commit"), and
// the name each file of a save has until then ("corpus.tokens.new").
QString IndexLockFileName(const QString& base);
QString IndexCommitFileName(const QString& base);
QString IndexPendingFileName(const QString& base, TIndexFileKind kind);

// How long a writer waits for another writer of the same index.
constexpr int kIndexLockWaitMs = 30000;

// The right to write an index: the lock on its lock file, held from the
// load of an index texts are added to until its save, or through the whole
// making of a new one. Taking it first completes a save that a killed
// writer committed but did not put in place, and clears what a writer left
// before its commit.
class TIndexWriteLock {
public:
    // False, with a message naming the index, when another writer holds it
    // for longer than `waitMs` or the lock file cannot be made.
    bool Lock(const QString& anyName, int waitMs, QString* error);
    bool Locked() const { return fLock.Locked(); }
    void Release() { fLock.Release(); }

private:
    TFileLock fLock;
};

// Opens one file of an index as its committed set has it: the file a
// commit record names while it is not yet in place (a writer killed after
// its commit: under its pending name), else the file under its name. Every
// reader of an index file opens it through here, or reads the token file a
// loaded index keeps (TIndexData::tokensFile), never by its name alone.
// False with the reason (naming the file).
bool OpenIndexFile(const QString& anyName, TIndexFileKind kind, TReadOnlyFile& f, QString* error);

// Puts in place a save whose commit record is there (a writer killed after
// its commit), or removes what a save left before its commit. For holders
// of the write lock only. False with the reason.
bool CompleteInterruptedIndexSave(const QString& base, QString* error);

// The steps of a save after which a test may stop it (SaveIndexFiles'
// `atStep`): 0..3 each file written under its pending name, 4 the commit
// record written, 5 committed (the record in place), 6..9 each file in
// place under its name, 10 the record removed.
constexpr int kIndexSaveSteps = 11;

// The format version written into each file's signature.
constexpr int32_t kIndexFormatVersion = 1;
// Bytes before each file's body: the signature and the header.
constexpr int64_t kIndexHeaderSize = 97;

// Token codes.
enum : uint32_t {
    kIndexCodeNumber = 0,   // a number the settings remove: "#"
    kIndexCodeUnlisted = 1, // a running word of no list (its length is outside the settings' limits)
    kIndexFirstTypeCode = 2,
};
inline uint32_t IndexTypeOfCode(uint32_t code) { return code - kIndexFirstTypeCode; }
// The running words among codes: every word but the numbers the settings
// remove (words of no list and stop-list words count). The size of a part
// for the dispersion value, as the word list counts it.
inline int64_t RunningWordsOf(std::span<const uint32_t> codes)
{
    int64_t n = 0;
    for (const uint32_t code : codes)
        n += code != kIndexCodeNumber ? 1 : 0;
    return n;
}

// Flags of a type.
enum : uint8_t {
    kIndexTypeNumber = 1, // no letter in it
    kIndexTypeStop = 2,   // in the stop list when the texts were indexed
};

// The boundary level at which a cluster or a span stops, from the "stop
// at" choice of the index settings: 1 to 5 a break of that level or above
// (the index keeps levels 2 sentence to 5 section, so 1 acts as 2); 0 "no
// limits" and 6 "end of text" give 0: only the end of a text stops.
inline int IndexStopLevel(uint8_t stopAt)
{
    return stopAt >= 1 && stopAt <= 5 ? stopAt : 0;
}
// Whether tokens i-1 and i of a text are in one unit for that level.
inline bool IndexJoined(std::span<const uint8_t> levels, std::size_t i, int stopLevel)
{
    return stopLevel == 0 || levels[i] < stopLevel;
}

struct TIndexType {
    QString word;
    uint16_t tag = 0;        // 1-based number of the listed tag it carries (TIndexData::tagTexts), 0 none
    uint8_t flags = 0;
    int64_t freq = 0;
    int32_t texts = 0;
    float dispersion = 0.0f; // DPnorm over the index's parts (texts, or tenths of a one-text index)

    bool IsNumber() const { return (flags & kIndexTypeNumber) != 0; }
    bool IsStop() const { return (flags & kIndexTypeStop) != 0; }
};

struct TIndexText {
    TStatsRec stats;         // its row of the statistics list
    int64_t firstToken = 0;  // ordinal of its first token in the index
    int64_t tokens = 0;      // its entries in .tokens (numbers removed included)
    int64_t byteOffset = 0;  // where its tokens begin in the token stream
};

// A boundary before a token (level 2 sentence, 3 paragraph, 4 heading,
// 5 section), with the listed tag passed on the way (0 none).
// Eight bytes a record (an index holds one for every sentence and more):
// 45 bits are tokens enough for any corpus.
struct TIndexMarkup {
    int64_t token : 45 = 0;
    uint64_t level : 3 = 0;
    uint64_t tag : 16 = 0;
};
static_assert(sizeof(TIndexMarkup) == 8);

// Writing and reading the variable-length numbers of the streams: seven
// bits a byte, low bits first, the top bit set on every byte but the last.
inline void PutVarint(std::vector<uint8_t>& out, uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out.push_back(uint8_t(v));
}
// The same into a buffer with room for ten bytes; returns the byte after it.
inline uint8_t* PutVarint(uint8_t* p, uint64_t v)
{
    while (v >= 0x80) {
        *p++ = uint8_t(v | 0x80);
        v >>= 7;
    }
    *p++ = uint8_t(v);
    return p;
}
// False at the end of the bytes or on a number longer than 64 bits.
inline bool GetVarint(const uint8_t*& p, const uint8_t* end, uint64_t& v)
{
    v = 0;
    for (unsigned shift = 0; shift < 64 && p < end; shift += 7) {
        const uint8_t b = *p++;
        v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// How far a load of an index is (`done` of `all`); false stops it.
using TIndexLoadStep = std::function<bool(int64_t done, int64_t all)>;

// An index in memory: everything but the token stream, which is read text
// by text from the .tokens file (ReadTextTokens).
class TIndexData {
public:
    QString base;
    uint64_t stamp = 0;
    int64_t tokenCount = 0;  // entries of .tokens
    int64_t streamBytes = 0; // length of the token stream
    uint32_t streamCrc = 0;
    std::vector<TIndexType> types;
    QStringList tagTexts;    // the listed tags types and boundaries refer to (1-based)
    std::vector<TIndexText> texts;
    std::vector<TIndexMarkup> markup; // by token
    TTextSettings textSettings;
    QStringList notes;
    // The token file of the set loaded, kept open: texts are read from it
    // even after a writer put a newer set in place (null: opened by name).
    std::shared_ptr<const TReadOnlyFile> tokensFile;

    int32_t TextCount() const { return int32_t(texts.size()); }
    // Running words: entries less the numbers removed.
    int64_t RunningWords() const;
    int64_t NumbersRemoved() const { return fNumbersRemoved; }
    void SetNumbersRemoved(int64_t n) { fNumbersRemoved = n; }
    // The type of a word and tag, -1 when the index has none.
    int32_t FindType(const QString& word, uint16_t tag = 0) const;
    // Every type spelt so, whatever its tag.
    std::vector<uint32_t> TypesOfWord(const QString& word) const;
    // The display form of a token code.
    QString CodeText(uint32_t code) const;

    // Loads the four files of the index (the token stream is checked, not
    // kept). False with the reason (naming the file) when a file is
    // missing, unreadable, cut short, damaged, of another version or from
    // another save; nothing is changed on disk. A save that was committed
    // but not put in place (its writer killed) is read as the index; a save
    // going on meanwhile is waited for, so that a set is read whole (not
    // when the caller holds the write lock itself: `writing`).
    // While the types file is checked and read, `step` is asked now and
    // then how far the load is (bytes); when it answers false the load
    // stops, nothing is loaded, and `stopped` is set.
    bool Load(const QString& baseName, QString* error, bool writing = false, const TIndexLoadStep& step = {},
              bool* stopped = nullptr);
    // The codes of one text (its token stream decoded). False when the
    // .tokens file cannot be read or its stream is damaged.
    bool ReadTextTokens(int32_t text, std::vector<uint32_t>& codes, QString* error = nullptr) const;
    // The boundary levels before each token of a text (0 none), from the markup.
    void TextLevels(int32_t text, std::vector<uint8_t>& levels) const;
    // The markup records of a text (a range of `markup`).
    std::span<const TIndexMarkup> TextMarkup(int32_t text) const;

private:
    struct TLookUp;
    const TLookUp& LookUp() const;
    mutable std::shared_ptr<TLookUp> fLookUp;
    int64_t fNumbersRemoved = 0;
};

// Bytes a save adds after those of the old index: in memory, or in a file
// (from its start) when they were spilled there as they were made.
struct TAddedBytes {
    std::span<const uint8_t> memory;
    const TFileReader* file = nullptr;
    int64_t fileBytes = 0;
    int64_t Size() const { return file ? fileBytes : int64_t(memory.size()); }
};

// What a save adds to the old index: the token stream of the new texts, and
// their markup records encoded as in the ".markup" body (EncodeIndexMarkup;
// the first counted from the last record of the data's markup).
struct TIndexAdditions {
    TAddedBytes tokens;
    TAddedBytes markup;
    int64_t markupRecords = 0;
};

// Appends a markup record as the ".markup" body holds it: its token less
// `previous` (which becomes its token), the level and tag flag, the tag.
inline void EncodeIndexMarkup(std::vector<uint8_t>& out, const TIndexMarkup& m, int64_t& previous)
{
    PutVarint(out, uint64_t(m.token - previous));
    previous = m.token;
    out.push_back(uint8_t((m.level & 0x07) | (m.tag ? 0x08 : 0)));
    if (m.tag)
        PutVarint(out, m.tag);
}

// Writes the four files of an index: `data`'s types, texts, markup (then
// the markup `added`), text settings and notes, and as its token stream the
// first `oldStreamBytes` of the stream of the index `oldBase` (none when
// empty; read from data.tokensFile when it is open) followed by the tokens
// `added`. The caller
// holds the index's write lock. The four are written under their pending
// names and flushed to the disk; then the commit record, naming the new
// stamp, is put in place by one rename (the commit); then the files are
// put in place one by one and the record removed. Until the commit the old
// set stays whole; after it a reader reads the new set, wherever each of
// its files stands. Sets the data's stamp, stream fields and token file.
// False with the reason (the system's text for a system failure); the old
// set is then untouched. `atStep` is called after each step (tests).
bool SaveIndexFiles(TIndexData& data, const QString& oldBase, int64_t oldStreamBytes, const TIndexAdditions& added,
                    QString* error, const std::function<void(int)>& atStep = {});

// Walks the texts of an index in order, each decoded with the boundary
// level before each of its tokens; the visitor returns false to stop the
// walk. The cancel state is polled between texts (a cancel stops the walk
// and sets *cancelled). False, with the reason, when the token file cannot
// be read or is damaged.
using TIndexTextVisitor =
    std::function<bool(int32_t text, std::span<const uint32_t> codes, std::span<const uint8_t> levels)>;
// Texts `first` to `last` (last < 0: to the end); the visitor gets each text's number in the index.
bool WalkIndexTexts(const TIndexData& d, const TIndexTextVisitor& visit, QString* error, bool* cancelled = nullptr,
                    int32_t first = 0, int32_t last = -1);

// Decodes `count` codes from a stream of `bytes`; false when the bytes run
// out, a number is too long or a code is not below `codeLimit`.
bool DecodeTokenCodes(const uint8_t*& p, const uint8_t* end, int64_t count, uint32_t codeLimit,
                      std::vector<uint32_t>& out);
// The same into `out` (its size is the count).
bool DecodeTokenCodes(const uint8_t*& p, const uint8_t* end, std::span<uint32_t> out, uint32_t codeLimit);

// Reads the token streams of texts `first` to `last` in order, a stretch of
// codes at a time, through a buffer of fixed size: a text of any length is
// read in bounded memory (a walk that wants a whole text at once uses
// WalkIndexTexts). Every text's codes are checked to end where the next
// text's begin.
class TTokenStreamReader {
public:
    // False, with the reason, when the .tokens file cannot be opened.
    bool Open(const TIndexData& d, int32_t first, int32_t last, QString* error);
    // Goes on to the next text (false after the last one, or with the
    // reason when the text before it was not read to its end).
    bool NextText(int32_t& text, int64_t& tokens, QString* error);
    // The next out.size() codes of the text; false, with the reason, when
    // the file is cut short or damaged.
    bool Read(std::span<uint32_t> out, QString* error);

private:
    bool Fail(const QString& why, QString* error) const;
    static constexpr std::size_t kBufferBytes = std::size_t(1) << 20;

    QString fName;
    // The token file of the index's set (the one the loaded index keeps).
    std::shared_ptr<const TReadOnlyFile> fFile;
    int64_t fFileAt = 0;     // where the next bytes are read in it
    const TIndexData* fData = nullptr;
    uint32_t fLimit = 0;
    int32_t fText = 0, fLast = -1;
    int64_t fLeftInText = 0; // codes of the current text not read yet
    int64_t fFileLeft = 0;   // bytes of the texts' streams not read from the file yet
    int64_t fConsumed = 0;   // the stream's bytes decoded so far (where the next code begins)
    std::vector<uint8_t> fBytes;
    std::size_t fAt = 0, fEnd = 0;
};

// Decodes `count` codes from `bytes` bytes of a file at `offset`, a piece
// at a time, handing each piece's codes to `take` in order; false (with the
// reason) when the file cannot be read, a number is too long, a code is not
// below `codeLimit`, or the bytes and the count disagree.
bool DecodeTokenPieces(const TFileReader& file, int64_t offset, int64_t bytes, int64_t count, uint32_t codeLimit,
                       const std::function<void(std::span<const uint32_t>)>& take, QString* error,
                       int64_t pieceBytes = int64_t(1) << 20);

// The file's header, after its signature.
struct TIndexFileHeader {
    char tag[4] = {};
    uint64_t stamp = 0;
    int64_t tokens = 0;
    int32_t texts = 0;
    int32_t types = 0;
    int64_t bodyBytes = 0;
    uint32_t bodyCrc = 0;
};
bool WriteIndexFileHeader(TStream& s, TIndexFileKind kind, const TIndexFileHeader& h);
// The signature and the header fields only (no check of the length).
bool ReadIndexFileHeaderFields(TStream& s, TIndexFileKind kind, TIndexFileHeader& h, QString* reason);
// Reads and checks the signature and the header of an index file; false
// with the reason.
bool ReadIndexFileHeader(TStream& s, TIndexFileKind kind, TIndexFileHeader& h, QString* reason);

// CRC-32 of bytes, continuing from `crc`.
uint32_t IndexCrc(uint32_t crc, const uint8_t* data, std::size_t n);

// Copies or removes the four files of an index, holding its write lock
// (an interrupted save is completed first); true when every file that
// existed was copied (removed). The backup of "corpus.tokens" is
// "corpus.tokens.bak", and so on; an older backup is replaced.
bool TryToBackupIndexFiles(const QString& anyName, QString* error = nullptr);
bool TryToDeleteIndexFiles(const QString& anyName, QString* error = nullptr);
// Whether any of the four files exists (under its name, or under its
// pending name in a set that was committed).
bool IndexFilesExist(const QString& anyName);

} // namespace cv
