#pragma once
// How a list is exported: the record the save-as dialog fills and the
// document's exports follow.
//
// Rows are grid rows: 0 is the heading row, data rows count from 1.
// Columns are numbered from 1 as the dialog shows them: column 1 is the
// row-number column (grid column 0), column 2 the first data column.

#include <QString>

#include <cstdint>
#include <vector>

namespace cv {

enum class TSaveAsFormat : uint8_t { Text = 0, XML = 1, Spreadsheet = 2, RTF = 3, ListTypesOwn = 4, AllFiles = 5 };

struct TCVExportSettings {
    bool SeparateThousands = false; // counts shown with the locale's group separator
    bool IncludeNumbers = true;     // the row-number column
    bool IncludeHeadings = true;    // the heading row
    bool AllRows = true;            // Rows is empty and every row is saved
    bool AllColumns = true;         // Columns is empty and every column is saved
    TSaveAsFormat Format = TSaveAsFormat::Text;
    int32_t FirstRow = 0;
    int32_t FirstColumn = 0;
    int32_t LastRow = 0;
    int32_t LastColumn = 0;
    std::vector<int32_t> Columns; // columns to save, when not all and not empty
    std::vector<int32_t> Rows;    // rows to save, when not all and not empty
    QString Separator = QStringLiteral("\t");
    QString FileName;
    // XML exports: what goes before and after the rows (an XML declaration
    // and the opening and closing element); made from the list type when empty.
    QString TopXML;
    QString BottomXML;
};

// A legal XML element name made from any text: letters, digits, "_", "-"
// and "." kept, anything else becomes "_", and a name that cannot start an
// element gets "_" in front.
QString LegalXMLName(const QString& text);

} // namespace cv
