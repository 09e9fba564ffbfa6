#pragma once
// Exports of a result list as plain text, XML, RTF and spreadsheet files,
// following the save-as record. The rows and columns are picked once
// (ExportTableOf) and each writer lays the same table out in its format.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QStringList>

#include <vector>

#include "model/export_settings.h"

namespace cv {

class TCVBaseDataClass;
struct TDrawgridDataRec;

struct TExportCell {
    QString text;
    double value = 0;
    bool isNumber = false;
    bool isInteger = false;
};

struct TExportTable {
    QStringList headings;                      // of the chosen columns
    bool withHeadingRow = false;               // headings is the first row written
    std::vector<std::vector<TExportCell>> rows; // data rows, chosen columns
};

// The rows and columns the settings choose, with numbers formatted as the
// list's locale writes them when thousands are to be separated.
TExportTable ExportTableOf(const TCVBaseDataClass& list, const TCVExportSettings& settings, int displayKind);

// The columns the settings choose among `columns` numbered as the dialog
// numbers them (position 0 the row-number column): positions from 0, in
// the order typed. A number beyond the columns is not among them.
std::vector<int> ChosenExportColumns(const TCVExportSettings& settings, int columns);
// The grid rows the settings choose among a heading row (0) and `dataRows` data rows (from 1).
std::vector<int> ChosenExportRows(const TCVExportSettings& settings, int dataRows);
// One cell as it goes into an export: grouped by the locale when thousands are to be separated.
TExportCell ExportCellOf(const TDrawgridDataRec& rec, bool separateThousands, const QLocale& locale);

// The element names of an XML export's columns: each made legal from its
// heading ("%" read as "percent"), and each unique: a heading that several
// columns share is named after the column before it too ("Freq._percent",
// "Texts_percent"), with a number after it when that is not enough.
QStringList XMLColumnNames(const QStringList& headings);

// Text for an RTF file: backslash and braces escaped, characters beyond
// ASCII as \uN? (N signed 16-bit). Line ends become \par and tabs \tab
// with keepLines, else blanks (table cells).
QByteArray RtfEscaped(QStringView s, bool keepLines = false);

// Each writes settings.FileName through a temporary file; false with the reason in *error.
bool WriteExportTXT(const TExportTable& table, const TCVExportSettings& settings, QString* error);
bool WriteExportXML(const TExportTable& table, const TCVExportSettings& settings, const QString& rootName,
                    QString* error);
bool WriteExportRTF(const TExportTable& table, const TCVExportSettings& settings, QString* error);
bool WriteExportExcel(const TExportTable& table, const TCVExportSettings& settings, const QString& sheetName,
                      QString* error);

} // namespace cv
