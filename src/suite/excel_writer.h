#pragma once
// The suite's spreadsheet writer: a workbook built cell by cell and saved as
// an .xlsx file (through libxlsxwriter).
//
// Rows, columns and sheets are numbered from 1, as the callers count them
// ("row 1, column 1" is the top-left cell A1). Cells are written to the
// active sheet. The workbook is kept in memory until SaveAnExcelFile, so
// sheets can be renamed at any time and a workbook can be saved more than
// once; saving goes through a temporary file, so a failed save never damages
// an existing file.
//
// A workbook belongs to its caller (the result document that exports); there
// is no process-wide workbook.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace cv {

enum class TExcelAlign : uint8_t { General = 0, Left, Centre, Right };

// A cell format. Colours are 0xRRGGBB; kExcelNoColour keeps the default.
struct TExcelFormat {
    static constexpr uint32_t kExcelNoColour = 0xFFFFFFFF;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool wrap = false;
    bool border = false;          // thin border all round
    QString fontName;             // empty: the workbook's default font
    double fontSize = 0;          // points; 0: the default size
    uint32_t fontColour = kExcelNoColour;
    uint32_t backgroundColour = kExcelNoColour;
    QString numberFormat;         // Excel number format, e.g. "0.00" or "#,##0"
    TExcelAlign align = TExcelAlign::General;
};

class TExcelWriter final {
public:
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    static constexpr int kMaxSheetNameLength = 31;
    static constexpr int kMaxStringLength = 32767;

    TExcelWriter();
    ~TExcelWriter();
    TExcelWriter(const TExcelWriter&) = delete;
    TExcelWriter& operator=(const TExcelWriter&) = delete;

    // A new workbook with one sheet ("Sheet1"), which is active; any
    // workbook begun before is dropped.
    void StartAnExcelFile();
    bool ExcelFileStarted() const { return m_started; }
    // Drops the workbook without saving.
    void CloseAnExcelFile();

    // Appends a sheet (named "SheetN" when no name is given), makes it active
    // and returns its number; 0 when no workbook is started.
    int AddASheet(const QString& name = QString());
    int ExcelSheetCount() const { return int(m_sheets.size()); }
    bool SetAnActiveSheet(int sheet);
    int ActiveSheet() const { return m_active + 1; }
    // Makes the sheet active and names it. The name is made fit for a sheet
    // tab: the characters []:*?/\ become "_", leading and trailing
    // apostrophes go, it is cut to 31 characters, and a name another sheet
    // already has (in any case) gets " (2)", " (3)", ... .
    bool SetAnActiveSheetname(int sheet, const QString& name);
    QString SheetName(int sheet) const;

    // Registers a format; the result is the number cells refer to (-1 is the
    // default format).
    int AddAFormat(const TExcelFormat& format);

    // Writes a cell of the active sheet, replacing what was there. False when
    // no workbook is started, the cell lies outside a sheet, or (strings) the
    // text had to be cut to the 32767 characters a cell holds. Numbers that
    // are not finite are written as the texts "NaN", "INF" and "-INF".
    bool SetACellString(int row, int column, const QString& text, int format = -1);
    bool SetACellDouble(int row, int column, double value, int format = -1);

    // Merges rowCount rows and columnCount columns from (row, column) into
    // one cell showing that cell's content; the argument order is the
    // suite's: MergeCells(1, 1, 1, -1, 4) merges A1:D1 in the default format.
    // A merge overlapping another is refused; a single cell is left alone.
    bool MergeCells(int row, int column, int rowCount, int format, int columnCount);

    // Column width in characters of the default font.
    bool SetAColumnWidth(int column, double width);

    // Writes the workbook as an .xlsx file; the workbook stays open.
    bool SaveAnExcelFile(const QString& fileName);

    // "Cannot save spreadsheet "<name>": <reason>" and the like.
    QString ErrorString() const { return m_error; }

private:
    struct Cell {
        double number = 0;
        int32_t text = -1; // index into m_strings; -1: a number
        int16_t format = -1;
    };
    struct Merge {
        int firstRow, firstColumn, lastRow, lastColumn, format;
    };
    struct Sheet {
        QString name;
        std::unordered_map<uint64_t, Cell> cells; // key: (row << 16) | column, both 0-based
        std::vector<Merge> merges;
        std::vector<std::pair<int, double>> widths; // 0-based column, width
    };

    bool cellOk(int row, int column);
    int32_t internString(const QString& s);
    QString uniqueSheetName(const QString& wanted, int exceptSheet) const;
    bool fail(const QString& reason);

    bool m_started = false;
    std::vector<Sheet> m_sheets;
    int m_active = 0;
    std::vector<TExcelFormat> m_formats;
    QStringList m_strings;
    std::unordered_map<QString, int32_t> m_stringIndex;
    QString m_error;
};

// One sheet written to its .xlsx file row after row as the rows come (the
// spreadsheet library's constant-memory mode): the memory it takes stays the
// same for a sheet of any length, where a workbook kept in memory takes all
// its cells twice over. Rows go in rising order, each row's cells from left
// to right; cells of a row already left are refused. Numbers as in
// TExcelWriter; strings are written in their cells, with no table shared
// between them.
//
// Nothing is in place under the file's name until Finish succeeds: a stream
// dropped or stopped before leaves any file of that name as it was.
class TExcelSheetStream final {
public:
    TExcelSheetStream();
    ~TExcelSheetStream();
    TExcelSheetStream(const TExcelSheetStream&) = delete;
    TExcelSheetStream& operator=(const TExcelSheetStream&) = delete;

    // A workbook of one sheet (its name made fit as TExcelWriter makes it),
    // for `fileName`; false, with the reason, when it cannot be started.
    bool Start(const QString& fileName, const QString& sheetName);
    // Registers a format (before or between cells); -1 is the default.
    int AddAFormat(const TExcelFormat& format);
    // Rows and columns from 1, as TExcelWriter counts them.
    bool SetACellString(int row, int column, const QString& text, int format = -1);
    bool SetACellDouble(int row, int column, double value, int format = -1);

    // Ends the workbook and puts it in place. The library packs the sheet
    // into the file now, on a thread of its own, so that the caller can keep
    // its window alive: `waiting` is called about ten times a second
    // meanwhile with the share packed so far (0 to 1; below 0 when it
    // cannot be told) and answers whether to go on. False from it drops the
    // file once the library is done (Stopped() then tells so).
    bool Finish(const std::function<bool(double share)>& waiting = {});
    bool Stopped() const { return m_stopped; }

    QString ErrorString() const { return m_error; }

private:
    struct TWorkbook;
    bool fail(const QString& reason);
    bool cellOk(int row, int column);

    std::unique_ptr<TWorkbook> m_book;
    QString m_fileName;
    int m_row = 0; // the row written last (0: none)
    bool m_stopped = false;
    QString m_error;
};

} // namespace cv
