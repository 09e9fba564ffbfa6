#pragma once
// The byte stream of the crash-report options and the customised-texts file
// (docs/crashbox-options.md lays both out).
//
// The stream: every streamed option in a fixed order, little-endian, with
// no header; its layout is told apart by a 16-bit options version kept
// outside it (in the options block, the shared area's reader, or the current
// one for option files). Strings are a 32-bit length and their bytes, each
// XOR-ed with kOptionsStringMask. Older layouts are read and converted to
// the present options.
//
// The texts file: a profile file with section "Exception Log" and, for each
// text, "Count <name>" and the lines "<name>0", "<name>1", ... in double
// quotes, escaped so that any text survives ("%" doubled; control
// characters, "&", "-", "<", ">" and characters beyond ASCII as "%U" and the
// UTF-16 unit in four hexadecimal digits; bytes that are no UTF-8 as "%" and
// two hexadecimal digits).

#include "crashreport/core/support/crashbox_texts.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

class TStream;
class TProfileFile;

// The layout SaveToStream writes.
inline constexpr uint16_t kCurrentOptionsVersion = 6103;
// Every byte of a stream string is stored XOR-ed with this.
inline constexpr uint8_t kOptionsStringMask = 0xA5;

// The options version LoadFromStream reads with: a reader of a stored
// options block sets the block's version first; the current one otherwise.
uint16_t OptionsVersion();
void SetOptionsVersion(uint16_t version);

// The magic numbers of a module options block.
bool IsOptionsMagic(uint32_t value);
// An options version of the same hundred as the current one (6100 to 6200).
bool IsCompatibleOptionsVersion(uint16_t version);
// The data version of a module options block or ELDATA head: older cores
// wrote 600, 601 and 602 for 6000, 6001 and 6002.
constexpr uint32_t NormalisedDataVersion(uint32_t version)
{
    return version >= 600 && version <= 602 ? version - 600 + 6000 : version;
}

// One stream string. Writing drops a final CR LF that is the text's first
// (for texts longer than one character); reading refuses a length beyond
// the end of the stream.
bool WriteOptionsString(TStream& stream, std::string_view text);
bool ReadOptionsString(TStream& stream, std::string& text);

// --- The texts file ---

inline constexpr const char* kTextsFileSection = "Exception Log";
inline constexpr const char* kTextsFirstLineMarker = "<!-- Crashbox First Line";
inline constexpr const char* kTextsLastLineMarker = "Crashbox Last Line -->";

// A text as stored: escaped as a whole, or, when it holds the first-line
// marker, only between the two markers (the marker lines as they are).
std::string EncodeTextsFileText(std::string_view text);
// The stored text back. A part that holds "<" or ">", or a "%" that opens
// no escape, is taken as it stands (a file written by hand).
std::string DecodeTextsFileText(std::string_view text);
// Every text into the profile, and back: a text whose count is missing or
// below 1 keeps its value, as does a missing line.
void WriteTextsToProfile(TProfileFile& profile, const TCustomizedTexts& texts);
void ReadTextsFromProfile(const TProfileFile& profile, TCustomizedTexts& texts);

} // namespace cv
