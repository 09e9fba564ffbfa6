#pragma once
// Routines that make the parts of a concordance line from a processed
// buffer and its character-class array (textread/class_array.h):
//
//   CutLine / CopyLineOverClassArray  where the line lies and its characters
//   PreviousWord (with textread's NextWord)  stepping from word to word
//   FillWordPositions / DistributeWordPositions  the words around the hit
//   TagPositionsFromClasses / MapTagPositionsToSortPositions  tags in the line
//   TUnitEndHandlers  where the hit's sentence, paragraph, heading and section end
//   ConvertOldLayoutLine  reading lines of the oldest stored layout
//
// Nothing here allocates per line except the line's own text and lists.

#include "concordance/concordance_entry.h"
#include "textread/class_array.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace cv {

class TStream;
class TTextTagHandler;
class TConcordanceList;

// Where a line of `lineLength` characters around a hit lies in a buffer.
struct TLineCut {
    int32_t first = 0;    // buffer index of the line's first character (negative: blanks pad the line's start)
    int32_t padding = 0;  // blanks before the first buffer character
    int32_t length = 0;   // characters of the line (cut at the buffer's end)
    int32_t midpoint = 0; // index of the hit's start in the line
};

// The hit starts (lineLength div 2) characters into the line; the line is
// padded with blanks where that is before the buffer's start, and ends at the
// buffer's end at the latest.
TLineCut CutLine(int32_t hitStart, int32_t lineLength, int32_t bufferSize);

// Copies the line's characters into `out` (at least cut.length units): blanks
// for the padding, the tag marks U+0018 and U+0019 shown as ">" and "<", and
// control characters (line breaks, tabs) as blanks, one for one. With
// `lineClasses` (at least cut.length units), the classes of the same stretch
// go there too, blanks having class 0.
void CopyLineOverClassArray(std::u16string_view buffer, std::span<const uint16_t> classes, const TLineCut& cut,
                            char16_t* out, uint16_t* lineClasses = nullptr);
QString CopyLineOverClassArray(std::u16string_view buffer, std::span<const uint16_t> classes, const TLineCut& cut,
                               std::vector<uint16_t>* lineClasses = nullptr);

// Steps back from `pos` (one past the place to look from) to the previous
// word; false when there is none. On return `pos` is the word's first unit,
// word.barrier the highest boundary level between the word's end and the
// old `pos`, word.tagNumber the listed tag just before the word (as NextWord
// reports it going forward).
bool PreviousWord(std::span<const uint16_t> classes, int32_t& pos, TScannedWord& word);

// The word positions 0 ... 101 around a hit that covers buffer units
// [hitStart, hitEnd), for positions leftLimit ... rightLimit (the rest keep
// their values). start_position counts from the line's first character
// (`lineFirst`, a buffer index, negative when the line is padded); barrier is
// the highest boundary level between the word and the next word of the text
// (so a boundary between two words belongs to the left one, and the hit
// carries the boundary right after it); the tag number is the listed tag
// passed just before the word. Positions without
// a word have length 0 and start -(hit's index in the line) on the left,
// lineLength - (hit's index in the line) on the right. Boundaries are ignored
// (barrier 0) when `withBarriers` is false.
void FillWordPositions(std::span<const uint16_t> classes, int32_t hitStart, int32_t hitEnd, int32_t lineFirst,
                       int32_t lineLength, int leftLimit, int rightLimit, bool withBarriers,
                       std::span<TSortInfoRec, kWordPositions> positions);
// The same from the words of a search buffer cut over the same classes: the
// hit covers tokens firstToken ... lastToken (the engine's hit record).
void FillWordPositions(const TSearchBuffer& buffer, int32_t firstToken, int32_t lastToken, int32_t hitStart,
                       int32_t hitEnd, int32_t lineFirst, int32_t lineLength, int leftLimit, int rightLimit,
                       std::span<TSortInfoRec, kWordPositions> positions);
// Positions left of 45 go to other_left_collocs (farthest first), 45 ... 55 to
// fixed_sort_positions, right of 55 to other_right_collocs (nearest first).
void DistributeWordPositions(std::span<const TSortInfoRec, kWordPositions> positions, int leftLimit, int rightLimit,
                             TMarvexEntryRec& rec);

// One tag position for each run of tag units with a listed tag number in the
// line's class array; colours from the handler's table (default tag colours
// when the number is not in it).
void TagPositionsFromClasses(std::span<const uint16_t> lineClasses, const TTextTagHandler* tags, TTagPositionsList& out);
// The tag in force at each word of the line (the nearest tag position at or
// before the word's start), into the extra block (positions 0 ... 101) and the
// tag list's extra record (45 ... 55).
void MapTagPositionsToSortPositions(TMarvexEntryRec& rec);

// Reads a line's fixed part in the oldest layout into the current record and
// skips the context-word block that layout kept after it (an Int32 count and
// 6-byte records). False when the stream ends early.
bool ConvertOldLayoutLine(TStream& s, TMarvexEntryRec& rec, int32_t version);

// Records, in the search statistics of the lines, the last running word of
// the unit (sentence, paragraph, heading, section) each hit stands in.
// Lines are handed over in text order as they are passed; each boundary
// resolves the lines waiting for it. The records must outlive their wait
// (lines are owned by the list; only lines of the current chunk are removed).
class TUnitEndHandlers {
public:
    enum TUnitKind : int { kSentence = 1, kParagraph = 2, kHeading = 3, kSection = 4 };

    // A line waits for its units' ends (its heading's only when the hit
    // stands inside a heading).
    void LineMade(TSearchStatsRec* stats, bool inHeading);
    // A boundary of `level` (2 ... 5) after running word `lastWord`: calls the
    // handlers of the units it ends.
    void PassBoundary(int level, int32_t lastWord);
    // The end of the text ends every unit.
    void EndOfText(int32_t lastWord) { PassBoundary(5, lastWord); }
    // The handler of one kind: every waiting line gets `lastWord` as its unit's end.
    void UnitEnded(TUnitKind kind, int32_t lastWord);
    bool Waiting() const;
    // Only lines waiting for their section's end (or none).
    bool OnlySectionsWaiting() const;
    // Takes over the lines another handler still has waiting.
    void TakeWaiting(TUnitEndHandlers& other);
    // Forgets every waiting line.
    void Clear();

private:
    std::array<std::vector<TSearchStatsRec*>, 4> m_waiting;
};

} // namespace cv
