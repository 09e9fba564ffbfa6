#pragma once
// A rich text (what the source-text pane shows) as an RTF file: paragraphs
// with their alignment, and runs with their typeface, size, bold, italic,
// underline and colours. Pictures and tables are left out.

#include <QByteArray>

class QTextDocument;

namespace cv {

QByteArray RtfOfTextDocument(const QTextDocument& document);

} // namespace cv
