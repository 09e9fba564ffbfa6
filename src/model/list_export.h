#pragma once
// Exports of a result list as plain text, XML, RTF and spreadsheet files,
// following the save-as record. The rows and columns are picked once
// (TExportRows) and each writer lays the same rows out in its format,
// fetching them one at a time as it writes: a list of millions of rows is
// never copied whole, and the writer tells how far it is and can be stopped.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QStringList>

#include <cstdint>
#include <functional>
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

// The rows an export writes: the chosen columns' headings, whether they are
// the first row written, and the chosen data rows, each fetched when it is
// written.
class TExportRows {
public:
    virtual ~TExportRows() = default;
    QStringList headings;        // of the chosen columns
    bool withHeadingRow = false; // headings is the first row written
    // The data rows chosen.
    int64_t Count() const { return int64_t(fRows.size()); }
    // The cells of data row i (from 0), in the chosen columns' order.
    void Cells(int64_t i, std::vector<TExportCell>& cells) const { CellsOfRow(fRows[std::size_t(i)], cells); }
    // Only the first n data rows are written.
    void KeepFirst(int64_t n);

protected:
    // The rows the settings choose among a heading row and `dataRows` data rows.
    void ChooseRows(const TCVExportSettings& settings, int dataRows);
    // The cells of a data row, numbered as ChosenExportRows numbers it (from 1).
    virtual void CellsOfRow(int row, std::vector<TExportCell>& cells) const = 0;

private:
    std::vector<int> fRows;
};

// A list's rows and columns as the settings choose them, with numbers
// formatted as the list's locale writes them when thousands are to be
// separated. The list must stay as it is while the rows are written.
class TListExportRows final : public TExportRows {
public:
    TListExportRows(const TCVBaseDataClass& list, const TCVExportSettings& settings, int displayKind);

protected:
    void CellsOfRow(int row, std::vector<TExportCell>& cells) const override;

private:
    const TCVBaseDataClass& fList;
    std::vector<int> fColumns;
    int fDisplayKind;
    bool fSeparateThousands;
    QLocale fLocale;
};

// How a writer tells its progress: `step` gets the work done of all there is
// (in the writer's own units) now and then, and answers whether to go on.
// When it answers no, the writer stops and leaves no file behind (a file of
// that name stays as it was), and `stopped` is set.
struct TExportRun {
    std::function<bool(int64_t done, int64_t all)> step;
    bool stopped = false;
};

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

// Each writes settings.FileName through a temporary file; false with the
// reason in *error, or when stopped through `run`. A spreadsheet takes the
// rows a sheet holds (TExcelWriter::kMaxRows, the heading row included) and
// tells, as a failure, of any it could not take.
bool WriteExportTXT(const TExportRows& rows, const TCVExportSettings& settings, QString* error,
                    TExportRun* run = nullptr);
bool WriteExportXML(const TExportRows& rows, const TCVExportSettings& settings, const QString& rootName,
                    QString* error, TExportRun* run = nullptr);
bool WriteExportRTF(const TExportRows& rows, const TCVExportSettings& settings, QString* error,
                    TExportRun* run = nullptr);
bool WriteExportExcel(const TExportRows& rows, const TCVExportSettings& settings, const QString& sheetName,
                      QString* error, TExportRun* run = nullptr);
// The rows a spreadsheet takes of those chosen; fewer than Count() when a sheet cannot hold them all.
int64_t SpreadsheetDataRows(const TExportRows& rows);

} // namespace cv
