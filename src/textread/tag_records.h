#pragma once
// The records of mark-up tags that a job keeps: the stored part that result
// documents write into their files, and the working record of the tag handler.

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

class TStream;

// Whether a listed tag opens a stretch, closes one, or stands alone.
enum class TTag_OnOffUnique : uint8_t { on_tag = 0, off_tag = 1, unique_tag = 2 };

// Colours are Windows colour values: 0x00BBGGRR.
inline constexpr int32_t kDefaultTagForeground = 0x00808080; // grey
inline constexpr int32_t kDefaultTagBackground = 0x00FFFFFF; // white

// 72 bytes of extra tag data; only the first is named, the rest are kept as they came.
struct TAddedTagData {
    bool isTagForTagStringOnlyDisplay = false;
    std::array<uint8_t, 71> spare{};
    static constexpr int kSize = 72;
    friend bool operator==(const TAddedTagData&, const TAddedTagData&) = default;
};

// One listed tag as documents store it. In memory it takes 92 bytes in the
// suite's layout (84 bytes of fixed fields and two string references); in a
// stream it is the 84 fixed bytes, field by field, then the two strings.
struct TStoredTagRec {
    TTag_OnOffUnique tag_type = TTag_OnOffUnique::unique_tag;
    int16_t partner = 0;        // 1-based number of the matching on/off tag in the same table; 0 none
    bool isMediaTag = false;
    int32_t foreground_colour = kDefaultTagForeground;
    int32_t background_colour = kDefaultTagBackground;
    TAddedTagData added;
    QString tag;                // as listed, e.g. "<head>"
    QString description;

    static constexpr int kFixedSize = 84;    // tag_type 1, partner 2, isMediaTag 1, two colours 8, added 72
    static constexpr int kOldFixedSize = 12; // files of version 0 stop after the colours
    static constexpr int kRecordSize = 92;

    // The fixed fields; `oldLayout` reads or writes only the first 12 bytes.
    bool WriteFixedPart(TStream& s, bool oldLayout = false) const;
    bool ReadFixedPart(TStream& s, bool oldLayout = false);
    // Fixed fields, then `tag` and `description` in the string-stream form.
    bool SaveToStream(TStream& s, int charWidth = 2) const;
    bool ReadFromStream(TStream& s, bool oldLayout = false, int charWidth = 2);

    friend bool operator==(const TStoredTagRec&, const TStoredTagRec&) = default;
};

// A tag pattern of the tag lists: "<p>" (the tag p with any attributes),
// "</p>", "<w NN>" (exactly these attributes, case and spacing aside) or
// "<w *>", "<*>" ("*" stands for any run of characters).
struct TTagPattern {
    std::u16string name;  // lower-case name, "/" first for an end tag; empty when the name holds "*"
    std::u16string inner; // lower-case text between the delimiters, runs of blanks made one
    bool wildcard = false;
    bool nameOnly = true; // only a name was given: any attributes match

    // False when the text is not a tag ("<...>" with something inside).
    static bool Parse(std::u16string_view text, TTagPattern& out);
    // `lowerName` as TagNameOf gives it; `inner` the tag's text between its
    // delimiters as it stands (it is folded here only when needed).
    bool Matches(std::u16string_view lowerName, std::u16string_view inner) const;
};

// The working record of a listed tag: the stored part first, then what the
// handler needs to recognise it.
struct TextTagRec {
    TStoredTagRec stored;
    TTagPattern pattern;
};

// Folds a tag's inner text for comparison: lower case, blanks made one, ends trimmed.
std::u16string FoldTagInner(std::u16string_view inner);
// The lower-case name of a tag from its inner text: "/P class=x" gives "/p",
// "br/" gives "br", "!-- note --" gives "!--". At most `cap` units are looked at.
std::u16string_view TagNameOf(std::u16string_view inner, char16_t* scratch, std::size_t cap);
// "*" matches any run; both sides already folded.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view text);

} // namespace cv
