#pragma once
// The list types of the suite (`TCorvantisList`): one table giving, for each
// list-type byte, its name, the signature string saved in the 57-byte file
// signature, its default file extension, the tool it belongs to and the
// standard headings of its grid columns.
//
// List-type bytes are stored in saved files and travel in messages (1391
// carries 0, 4, 22 or 23), so a number never changes its meaning. See
// docs/list_types.md for the table.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

namespace cv {

// The kinds of display (the suite's grid_alternatives) the tools name.
// A grid hands its kind to its list, which draws and orders rows by it
// (a word list's frequency page reads its entries in frequency order).
enum : uint8_t {
    kGridKindPlot = 2,
    kGridKindConsistency = 5,
    kGridKindAlphabetical = 6,
    kGridKindFrequency = 7,
    kGridKindStatistics = 8,
    kGridKindFilenames = 9,
    kGridKindKeyWords = 11,
    kGridKindIndexRelations = 21,
    kGridKindConsistencyRelations = 22,
    kGridKindNone = 29, // no grid
};

// The list types the program names in code.
enum : uint8_t {
    kListWordList = 0,
    kListKeyWords = 1,
    kListKeyWordDatabase = 2,
    kListConsistencyRelations = 3,
    kListDetailedConsistency = 4,
    kListCollocates = 5,
    kListConcordance = 10,
    kListKeyWordPlot = 11,
    kListConcordancePlot = 12,
    kListConcordanceClusters = 13,
    kListPatterns = 14,
    kListFilenames = 17,
    kListKeyWordLinks = 18,
    kListStatistics = 19,
    kListTimeline = 20,
    kListPlainTextWordList = 22,
    kListIndexWordList = 23,
    kListKeyWordLinkClusters = 24,
    kListNone = 25,
    kListNotes = 26,
    kListSecondText = 27,
    kListIndexRelationships = 28,
    kListMovingWindowPlot = 32,
    kListChargrams = 33,
};

// Characters of the list-type signature inside a saved file's signature record.
constexpr int kListSignatureChars = 40;

struct TCorvantisList {
    uint8_t listType;
    const char16_t* name;       // shown in captions, filters and messages
    const char* signature;      // at most 40 ASCII characters, unique
    const char* defaultExt;     // with the dot; empty: not saved on its own
    const char* otherExts;      // further extensions of the same kind, "|"-separated
    uint8_t tool;               // the tool whose files these are (suite/my_types.h)
    const char16_t* headings;   // grid column titles, "|"-separated, column 0 first
};

// Every list type, in number order.
std::span<const TCorvantisList> AllListTypes();
// The entry of a list type; unknown numbers give the entry of kListNone.
const TCorvantisList& CorvantisListOf(uint8_t listType);
bool IsKnownListType(uint8_t listType);

QString ListTypeName(uint8_t listType);
// The signature string (at most 40 characters) and its 40-byte form for the
// saved-file signature: ASCII, padded with zero bytes.
QString ListTypeSignature(uint8_t listType);
QByteArray ListTypeSignatureBytes(uint8_t listType);
// The list type whose signature this is (trailing zeros and blanks ignored);
// kListNone when none.
uint8_t ListTypeFromSignature(QByteArrayView signature);

QString DefaultExtFromListType(uint8_t listType);       // ".lst"
QString WithoutDotDefaultExt(uint8_t listType);         // "lst"
// The list type of a file name's (or a bare) extension, case-insensitive;
// kListNone when no list type saves files of that extension.
uint8_t ListTypeFromFileExt(const QString& fileNameOrExt);
uint8_t ToolTypeFromListType(uint8_t listType);
// The standard headings of the list type's grid, column 0 first.
QStringList StandardGridHeaderArray(uint8_t listType);
// A file-dialog filter for the list type's own files, Qt style:
// "Word list files (*.lst)"; empty for types not saved on their own.
QString LimitedDefaultFilter(uint8_t listType);
// The extension for an export format of the save-as dialog: 0 text, 1 XML,
// 2 spreadsheet, 3 RTF, 4 the list type's own format; anything else ".txt".
QString DefaultExtFromSaveASFormat(uint8_t format, uint8_t listType);
// Lemmas can be joined and entries marked in lists of types below 48.
bool IsLemmatisableListType(uint8_t listType);

} // namespace cv
