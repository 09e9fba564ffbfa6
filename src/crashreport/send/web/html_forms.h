#pragma once
// The small tag scanner with which the bug-tracker uploaders read the
// trackers' own forms: hidden inputs, text areas, and the selected or titled
// option of a select list, found by name in the page the last request
// returned. The connection's field adders built on it are declared with the
// connection (http_connection.h) and defined in html_forms.cpp.
//
// Tag and attribute names are compared without regard to letter case;
// scanned texts have their HTML entities decoded.

#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The text after the next Opener at or after Position (a 0-based offset),
// up to the first of Stops that does not stand inside a quoted attribute
// value (letter case ignored in both), trimmed, with the blanks around
// every "=" removed and its entities decoded. Position moves to one past
// the stop. True when an opener was found; otherwise Text is empty and
// Position stays.
bool FindTagText(std::string_view HTML, std::string_view Opener, const std::vector<std::string_view>& Stops,
                 std::string& Text, std::size_t& Position);
// Drops one leading and one trailing double or single quote.
std::string UnquoteValue(std::string_view S);
// "&amp;", "&quot;", "&lt;", "&gt;", "&nbsp;", "&apos;" in that order, then
// every "&#" + decimal digits + ";" (as UTF-8).
std::string DecodeHTMLEntities(std::string_view S);

// The first input named Name (any case) with a non-empty value.
bool GetInputValue(std::string_view HTML, std::string_view Name, std::string& Value);
// The content of the first text area named Name; false when it has none.
bool GetTextAreaValue(std::string_view HTML, std::string_view Name, std::string& Value);
// True when a select list named Name exists; Value is its first option
// marked selected (empty when none is).
bool GetSelectedOptionValue(std::string_view HTML, std::string_view Name, std::string& Value);
// True when a select list named Name exists; Value is the value of its first
// option whose shown text is Title (any case), empty when none is.
bool GetSelectOptionByTitle(std::string_view HTML, std::string_view Name, std::string_view Title, std::string& Value);
// True when some option of the page (in any list) has exactly this value.
bool HasOptionValue(std::string_view HTML, std::string_view Value);
// The lower-cased token after the Occurrence-th Marker in Text (any case),
// up to a blank, a quote, "&", "<", ">" or a backslash. Occurrence below 1
// reads from the start of Text; fewer occurrences give an empty token.
void ExtractTokenAfter(std::string_view Text, std::string_view Marker, int Occurrence, std::string& Value);
// Text, or Text + CR LF CR LF "---" CR LF CR LF + Extra when Extra is not empty.
void AddOptionalField(const std::string& Text, const std::string& Extra, std::string& Result);

} // namespace cv
