#pragma once
// Shows the report's coloured pages: reads the rich text the crash-report
// core writes for the General, Assembler and CPU pages (GeneralTextToRTF
// and its siblings) into a Qt text document. It knows what those documents
// use: groups, the font and colour tables, colour (\cf), bold (\b, \b0),
// size (\fs), paragraphs (\par, \pard), tab stops (\tx) and tabs (\tab),
// Unicode characters (\u with one replacement character) and hexadecimal
// bytes (\'hh, Windows-1252), and the escaped \\ \{ \}. Other control words
// are passed over, and destinations marked \* are left out.

#include <QFont>

#include <string_view>

class QTextDocument;

namespace cv {

// Fills the document (cleared first) in `font`, its size taken from \fs
// when given; every \par ends a paragraph, so a text whose lines all end
// with one shows an empty last line. False when the text is not an RTF document (the document is
// then the text as it stands).
bool RtfToTextDocument(std::string_view rtf, QTextDocument& document, const QFont& font);

} // namespace cv
