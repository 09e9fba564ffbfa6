#include "suite/excel_writer.h"

#include "files/save_file.h"
#include "suite/process_utils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace cv {

namespace {

uint64_t cellKey(int row0, int column0) { return (uint64_t(uint32_t(row0)) << 16) | uint32_t(column0); }

QString cleanSheetName(QString name)
{
    for (QChar& c : name)
        if (QStringView(u"[]:*?/\\").contains(c) || c.unicode() < 0x20)
            c = u'_';
    while (name.startsWith(u'\''))
        name.remove(0, 1);
    while (name.endsWith(u'\''))
        name.chop(1);
    return name.trimmed().left(TExcelWriter::kMaxSheetNameLength);
}

// The spreadsheet library is loaded the first time a workbook is saved, not
// with the program: loading and relocating it, with the cryptography
// library it brings along, took some milliseconds at every start of every
// program, and most runs write no spreadsheet.
#define CV_XLSX_FUNCTIONS(X)                                                                                            \
    X(workbook_new_opt) X(workbook_add_format) X(workbook_add_worksheet) X(workbook_close) X(format_set_bold)          \
    X(format_set_italic) X(format_set_underline) X(format_set_text_wrap) X(format_set_border) X(format_set_font_name)   \
    X(format_set_font_size) X(format_set_font_color) X(format_set_bg_color) X(format_set_num_format)                   \
    X(format_set_align) X(worksheet_activate) X(worksheet_set_column) X(worksheet_merge_range)                          \
    X(worksheet_write_number) X(worksheet_write_string) X(lxw_strerror) X(lxw_workbook_free)

struct TXlsxLibrary {
#define CV_XLSX_MEMBER(f) decltype(&::f) f = nullptr;
    CV_XLSX_FUNCTIONS(CV_XLSX_MEMBER)
#undef CV_XLSX_MEMBER
    QString failure; // why the library cannot be used; empty when it can
};

const TXlsxLibrary& XlsxLibrary()
{
    static const TXlsxLibrary library = [] {
        TXlsxLibrary l;
        // Kept for the life of the process, as a library it was linked with would be.
        void* handle = dlopen(CV_XLSXWRITER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            l.failure = QStringLiteral("the spreadsheet library %1 could not be loaded (%2)")
                            .arg(QLatin1String(CV_XLSXWRITER_LIBRARY), QString::fromLocal8Bit(dlerror()));
            return l;
        }
#define CV_XLSX_LOOK_UP(f)                                                                                               \
    l.f = reinterpret_cast<decltype(&::f)>(dlsym(handle, #f));                                                           \
    if (!l.f && l.failure.isEmpty())                                                                                     \
        l.failure = QStringLiteral("the spreadsheet library %1 has no \"%2\"").arg(QLatin1String(CV_XLSXWRITER_LIBRARY), QLatin1String(#f));
        CV_XLSX_FUNCTIONS(CV_XLSX_LOOK_UP)
#undef CV_XLSX_LOOK_UP
        return l;
    }();
    return library;
}

lxw_format* MakeXlsxFormat(const TXlsxLibrary& xlsx, lxw_workbook* wb, const TExcelFormat& f)
{
    lxw_format* x = xlsx.workbook_add_format(wb);
    if (f.bold) xlsx.format_set_bold(x);
    if (f.italic) xlsx.format_set_italic(x);
    if (f.underline) xlsx.format_set_underline(x, LXW_UNDERLINE_SINGLE);
    if (f.wrap) xlsx.format_set_text_wrap(x);
    if (f.border) xlsx.format_set_border(x, LXW_BORDER_THIN);
    if (!f.fontName.isEmpty()) xlsx.format_set_font_name(x, f.fontName.toUtf8().constData());
    if (f.fontSize > 0) xlsx.format_set_font_size(x, f.fontSize);
    if (f.fontColour != TExcelFormat::kExcelNoColour) xlsx.format_set_font_color(x, lxw_color_t(f.fontColour & 0xFFFFFF));
    if (f.backgroundColour != TExcelFormat::kExcelNoColour) xlsx.format_set_bg_color(x, lxw_color_t(f.backgroundColour & 0xFFFFFF));
    if (!f.numberFormat.isEmpty()) xlsx.format_set_num_format(x, f.numberFormat.toUtf8().constData());
    switch (f.align) {
    case TExcelAlign::Left: xlsx.format_set_align(x, LXW_ALIGN_LEFT); break;
    case TExcelAlign::Centre: xlsx.format_set_align(x, LXW_ALIGN_CENTER); break;
    case TExcelAlign::Right: xlsx.format_set_align(x, LXW_ALIGN_RIGHT); break;
    case TExcelAlign::General: break;
    }
    return x;
}

// A fresh temporary name for a workbook the library writes (the library
// writes to a name of its own choosing, not to a file handed to it).
bool TemporaryWorkbookName(QTemporaryFile& temp, QString* why)
{
    temp.setFileTemplate(QDir(QDir::tempPath()).filePath(QStringLiteral("cv-xlsx-XXXXXX.xlsx")));
    if (!temp.open()) {
        *why = temp.errorString();
        return false;
    }
    temp.close();
    return true;
}

// The finished workbook under its name, through a temporary file beside it.
bool PutWorkbookInPlace(const QString& written, const QString& fileName, QString* why)
{
    QFile in(written);
    if (!in.open(QIODevice::ReadOnly)) {
        *why = in.errorString();
        return false;
    }
    TSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly)) {
        *why = out.errorString();
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            *why = out.errorString().isEmpty() ? in.errorString() : out.errorString();
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit()) {
        *why = out.errorString();
        return false;
    }
    return true;
}

QString SaveFailure(const QString& fileName, const QString& why)
{
    return QStringLiteral("Cannot save spreadsheet \"%1\": %2").arg(QDir::toNativeSeparators(fileName), why);
}

} // namespace

TExcelWriter::TExcelWriter() = default;
TExcelWriter::~TExcelWriter() = default;

bool TExcelWriter::fail(const QString& reason)
{
    m_error = reason;
    return false;
}

void TExcelWriter::StartAnExcelFile()
{
    CloseAnExcelFile();
    m_started = true;
    m_sheets.push_back(Sheet{QStringLiteral("Sheet1"), {}, {}, {}});
    m_active = 0;
}

void TExcelWriter::CloseAnExcelFile()
{
    m_started = false;
    m_sheets.clear();
    m_active = 0;
    m_formats.clear();
    m_strings.clear();
    m_stringIndex.clear();
    m_error.clear();
}

QString TExcelWriter::uniqueSheetName(const QString& wanted, int exceptSheet) const
{
    const auto taken = [&](const QString& n) {
        for (std::size_t i = 0; i < m_sheets.size(); ++i)
            if (int(i) != exceptSheet && m_sheets[i].name.compare(n, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    QString base = cleanSheetName(wanted);
    if (base.isEmpty() || base.compare(QStringLiteral("History"), Qt::CaseInsensitive) == 0)
        base = QStringLiteral("Sheet%1").arg(exceptSheet + 1);
    QString name = base;
    for (int n = 2; taken(name); ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        name = base.left(kMaxSheetNameLength - suffix.size()) + suffix;
    }
    return name;
}

int TExcelWriter::AddASheet(const QString& name)
{
    if (!m_started) {
        fail(QStringLiteral("No spreadsheet has been started"));
        return 0;
    }
    const int index = int(m_sheets.size());
    m_sheets.push_back(Sheet{});
    m_sheets.back().name = uniqueSheetName(name.isEmpty() ? QStringLiteral("Sheet%1").arg(index + 1) : name, index);
    m_active = index;
    return index + 1;
}

bool TExcelWriter::SetAnActiveSheet(int sheet)
{
    if (!m_started || sheet < 1 || sheet > ExcelSheetCount())
        return fail(QStringLiteral("There is no sheet %1").arg(sheet));
    m_active = sheet - 1;
    return true;
}

bool TExcelWriter::SetAnActiveSheetname(int sheet, const QString& name)
{
    if (!SetAnActiveSheet(sheet))
        return false;
    m_sheets[std::size_t(m_active)].name = uniqueSheetName(name, m_active);
    return true;
}

QString TExcelWriter::SheetName(int sheet) const
{
    return (sheet >= 1 && sheet <= ExcelSheetCount()) ? m_sheets[std::size_t(sheet - 1)].name : QString();
}

int TExcelWriter::AddAFormat(const TExcelFormat& format)
{
    if (m_formats.size() >= 32000)
        return -1;
    m_formats.push_back(format);
    return int(m_formats.size()) - 1;
}

bool TExcelWriter::cellOk(int row, int column)
{
    if (!m_started)
        return fail(QStringLiteral("No spreadsheet has been started"));
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return fail(QStringLiteral("Row %1, column %2 lies outside a sheet").arg(row).arg(column));
    return true;
}

int32_t TExcelWriter::internString(const QString& s)
{
    const auto it = m_stringIndex.find(s);
    if (it != m_stringIndex.end())
        return it->second;
    const auto index = int32_t(m_strings.size());
    m_strings << s;
    m_stringIndex.emplace(s, index);
    return index;
}

bool TExcelWriter::SetACellString(int row, int column, const QString& text, int format)
{
    if (!cellOk(row, column))
        return false;
    const bool fits = text.size() <= kMaxStringLength;
    Cell c;
    c.text = internString(fits ? text : text.left(kMaxStringLength));
    c.format = int16_t(format >= 0 && format < int(m_formats.size()) ? format : -1);
    m_sheets[std::size_t(m_active)].cells[cellKey(row - 1, column - 1)] = c;
    return fits ? true : fail(QStringLiteral("The text of row %1, column %2 was cut to %3 characters").arg(row).arg(column).arg(kMaxStringLength));
}

bool TExcelWriter::SetACellDouble(int row, int column, double value, int format)
{
    if (!std::isfinite(value))
        return SetACellString(row, column, std::isnan(value) ? QStringLiteral("NaN") : value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"), format);
    if (!cellOk(row, column))
        return false;
    Cell c;
    c.number = value;
    c.format = int16_t(format >= 0 && format < int(m_formats.size()) ? format : -1);
    m_sheets[std::size_t(m_active)].cells[cellKey(row - 1, column - 1)] = c;
    return true;
}

bool TExcelWriter::MergeCells(int row, int column, int rowCount, int format, int columnCount)
{
    rowCount = std::max(rowCount, 1);
    columnCount = std::max(columnCount, 1);
    if (!cellOk(row, column) || !cellOk(row + rowCount - 1, column + columnCount - 1))
        return false;
    if (rowCount == 1 && columnCount == 1)
        return true;
    const Merge m{row - 1, column - 1, row + rowCount - 2, column + columnCount - 2,
                  format >= 0 && format < int(m_formats.size()) ? format : -1};
    auto& merges = m_sheets[std::size_t(m_active)].merges;
    for (const Merge& o : merges)
        if (m.firstRow <= o.lastRow && o.firstRow <= m.lastRow && m.firstColumn <= o.lastColumn && o.firstColumn <= m.lastColumn)
            return fail(QStringLiteral("Cells from row %1, column %2 are merged already").arg(o.firstRow + 1).arg(o.firstColumn + 1));
    merges.push_back(m);
    return true;
}

bool TExcelWriter::SetAColumnWidth(int column, double width)
{
    if (!cellOk(1, column))
        return false;
    if (!(width >= 0 && width <= 255))
        return fail(QStringLiteral("A column width of %1 is not possible").arg(width));
    auto& widths = m_sheets[std::size_t(m_active)].widths;
    std::erase_if(widths, [&](const auto& w) { return w.first == column - 1; });
    widths.emplace_back(column - 1, width);
    return true;
}

bool TExcelWriter::SaveAnExcelFile(const QString& fileName)
{
    const auto saveFail = [&](const QString& why) { return fail(SaveFailure(fileName, why)); };
    if (!m_started)
        return saveFail(QStringLiteral("no spreadsheet has been started"));
    const TXlsxLibrary& xlsx = XlsxLibrary();
    if (!xlsx.failure.isEmpty())
        return saveFail(xlsx.failure);

    QTemporaryFile temp;
    QString why;
    if (!TemporaryWorkbookName(temp, &why))
        return saveFail(why);
    const QByteArray tempName = QFile::encodeName(temp.fileName());

    lxw_workbook_options options{};
    lxw_workbook* wb = xlsx.workbook_new_opt(tempName.constData(), &options);
    if (!wb)
        return saveFail(QStringLiteral("the spreadsheet library could not start a workbook"));

    std::vector<lxw_format*> formats;
    for (const TExcelFormat& f : m_formats)
        formats.push_back(MakeXlsxFormat(xlsx, wb, f));
    const auto fmt = [&](int i) { return i >= 0 && std::size_t(i) < formats.size() ? formats[std::size_t(i)] : nullptr; };

    lxw_error firstError = LXW_NO_ERROR;
    const auto note = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && firstError == LXW_NO_ERROR)
            firstError = e;
    };
    for (std::size_t s = 0; s < m_sheets.size(); ++s) {
        const Sheet& sheet = m_sheets[s];
        lxw_worksheet* ws = xlsx.workbook_add_worksheet(wb, sheet.name.toUtf8().constData());
        if (!ws) {
            xlsx.workbook_close(wb);
            return saveFail(QStringLiteral("sheet \"%1\" could not be made").arg(sheet.name));
        }
        if (int(s) == m_active)
            xlsx.worksheet_activate(ws);
        for (const auto& [column, width] : sheet.widths)
            note(xlsx.worksheet_set_column(ws, lxw_col_t(column), lxw_col_t(column), width, nullptr));
        const auto inMerge = [&](int r, int c) {
            for (const Merge& m : sheet.merges)
                if (r >= m.firstRow && r <= m.lastRow && c >= m.firstColumn && c <= m.lastColumn)
                    return true;
            return false;
        };
        for (const Merge& m : sheet.merges) {
            const auto it = sheet.cells.find(cellKey(m.firstRow, m.firstColumn));
            const Cell* c = it == sheet.cells.end() ? nullptr : &it->second;
            lxw_format* f = fmt(m.format >= 0 ? m.format : c ? c->format : -1);
            const QByteArray text = c && c->text >= 0 ? m_strings[c->text].toUtf8() : QByteArray();
            note(xlsx.worksheet_merge_range(ws, lxw_row_t(m.firstRow), lxw_col_t(m.firstColumn), lxw_row_t(m.lastRow),
                                       lxw_col_t(m.lastColumn), text.constData(), f));
            if (c && c->text < 0)
                note(xlsx.worksheet_write_number(ws, lxw_row_t(m.firstRow), lxw_col_t(m.firstColumn), c->number, f));
        }
        for (const auto& [key, c] : sheet.cells) {
            const int r = int(key >> 16), col = int(key & 0xFFFF);
            if (!sheet.merges.empty() && inMerge(r, col))
                continue;
            if (c.text >= 0)
                note(xlsx.worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(col), m_strings[c.text].toUtf8().constData(), fmt(c.format)));
            else
                note(xlsx.worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(col), c.number, fmt(c.format)));
        }
    }
    const lxw_error closed = xlsx.workbook_close(wb);
    if (firstError != LXW_NO_ERROR)
        return saveFail(QString::fromUtf8(xlsx.lxw_strerror(firstError)));
    if (closed != LXW_NO_ERROR)
        return saveFail(QString::fromUtf8(xlsx.lxw_strerror(closed)));

    if (!PutWorkbookInPlace(temp.fileName(), fileName, &why))
        return saveFail(why);
    m_error.clear();
    return true;
}

// ---------------------------------------------------------------------------
// A sheet written as it comes

struct TExcelSheetStream::TWorkbook {
    const TXlsxLibrary& xlsx = XlsxLibrary();
    QTemporaryFile temp; // removed with the workbook unless the file was put in place
    lxw_workbook* wb = nullptr;
    lxw_worksheet* ws = nullptr;
    std::vector<lxw_format*> formats;
    TProcessIo startIo; // the process's reading and writing when the first row went out
    lxw_error firstError = LXW_NO_ERROR;
    void note(lxw_error e)
    {
        if (e != LXW_NO_ERROR && firstError == LXW_NO_ERROR)
            firstError = e;
    }
    ~TWorkbook()
    {
        // An unfinished workbook is let go without being packed. The library
        // frees a sheet without closing the file its rows went to (only
        // packing closes it): that is closed here, or it would stay open,
        // with the rows in it, for the rest of the process.
        if (!wb)
            return;
        if (ws && ws->optimize_tmpfile) {
            std::fclose(ws->optimize_tmpfile);
            ws->optimize_tmpfile = nullptr;
        }
        xlsx.lxw_workbook_free(wb);
    }
};

TExcelSheetStream::TExcelSheetStream() = default;
TExcelSheetStream::~TExcelSheetStream() = default;

bool TExcelSheetStream::fail(const QString& reason)
{
    m_error = reason;
    return false;
}

bool TExcelSheetStream::Start(const QString& fileName, const QString& sheetName)
{
    m_book.reset();
    m_fileName = fileName;
    m_row = 0;
    m_stopped = false;
    m_error.clear();
    auto book = std::make_unique<TWorkbook>();
    if (!book->xlsx.failure.isEmpty())
        return fail(SaveFailure(fileName, book->xlsx.failure));
    QString why;
    if (!TemporaryWorkbookName(book->temp, &why))
        return fail(SaveFailure(fileName, why));
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    // A sheet of more than 4 GB of text needs the zip's large-file records.
    options.use_zip64 = LXW_TRUE;
    book->wb = book->xlsx.workbook_new_opt(QFile::encodeName(book->temp.fileName()).constData(), &options);
    if (!book->wb)
        return fail(SaveFailure(fileName, QStringLiteral("the spreadsheet library could not start a workbook")));
    QString name = cleanSheetName(sheetName);
    if (name.isEmpty() || name.compare(QStringLiteral("History"), Qt::CaseInsensitive) == 0)
        name = QStringLiteral("Sheet1");
    book->ws = book->xlsx.workbook_add_worksheet(book->wb, name.toUtf8().constData());
    if (!book->ws)
        return fail(SaveFailure(fileName, QStringLiteral("sheet \"%1\" could not be made").arg(name)));
    book->startIo = ProcessIo();
    m_book = std::move(book);
    return true;
}

int TExcelSheetStream::AddAFormat(const TExcelFormat& format)
{
    if (!m_book || m_book->formats.size() >= 32000)
        return -1;
    m_book->formats.push_back(MakeXlsxFormat(m_book->xlsx, m_book->wb, format));
    return int(m_book->formats.size()) - 1;
}

bool TExcelSheetStream::cellOk(int row, int column)
{
    if (!m_book)
        return fail(QStringLiteral("No spreadsheet has been started"));
    if (row < 1 || row > TExcelWriter::kMaxRows || column < 1 || column > TExcelWriter::kMaxColumns)
        return fail(QStringLiteral("Row %1, column %2 lies outside a sheet").arg(row).arg(column));
    if (row < m_row)
        return fail(QStringLiteral("Row %1 comes after row %2, which is written already").arg(row).arg(m_row));
    m_row = row;
    return true;
}

bool TExcelSheetStream::SetACellString(int row, int column, const QString& text, int format)
{
    if (!cellOk(row, column))
        return false;
    const bool fits = text.size() <= TExcelWriter::kMaxStringLength;
    lxw_format* f = format >= 0 && std::size_t(format) < m_book->formats.size() ? m_book->formats[std::size_t(format)] : nullptr;
    m_book->note(m_book->xlsx.worksheet_write_string(m_book->ws, lxw_row_t(row - 1), lxw_col_t(column - 1),
                                                     (fits ? text : text.left(TExcelWriter::kMaxStringLength)).toUtf8().constData(), f));
    return fits ? true
                : fail(QStringLiteral("The text of row %1, column %2 was cut to %3 characters").arg(row).arg(column).arg(TExcelWriter::kMaxStringLength));
}

bool TExcelSheetStream::SetACellDouble(int row, int column, double value, int format)
{
    if (!std::isfinite(value))
        return SetACellString(row, column, std::isnan(value) ? QStringLiteral("NaN") : value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"), format);
    if (!cellOk(row, column))
        return false;
    lxw_format* f = format >= 0 && std::size_t(format) < m_book->formats.size() ? m_book->formats[std::size_t(format)] : nullptr;
    m_book->note(m_book->xlsx.worksheet_write_number(m_book->ws, lxw_row_t(row - 1), lxw_col_t(column - 1), value, f));
    return true;
}

bool TExcelSheetStream::Finish(const std::function<bool(double share)>& waiting)
{
    if (!m_book)
        return fail(SaveFailure(m_fileName, QStringLiteral("no spreadsheet has been started")));
    std::unique_ptr<TWorkbook> book = std::move(m_book);
    // The sheet's rows went to the library's own temporary file. Packing
    // reads them back twice: once as it writes the sheet out whole (fast),
    // once as it compresses that into the file (most of the time). What the
    // process has read since, of twice what it wrote meanwhile, is the share
    // packed.
    const TProcessIo before = ProcessIo();
    const int64_t sheetBytes = before.written >= 0 && book->startIo.written >= 0 ? before.written - book->startIo.written : -1;
    std::atomic<bool> done{false};
    lxw_error closed = LXW_NO_ERROR;
    lxw_workbook* wb = std::exchange(book->wb, nullptr);
    const auto pack = [&] {
        closed = book->xlsx.workbook_close(wb);
        done = true;
    };
    // Without a thread (a limit of threads or of memory) the packing is done
    // here: the caller hears of it once it is done.
    std::thread packing;
    try {
        packing = std::thread(pack);
    } catch (const std::system_error&) {
        pack();
    } catch (const std::bad_alloc&) {
        pack();
    }
    // The caller hears of the packing at once, then every 20 ms until it is done.
    bool goOn = true;
    for (bool last = false; !last;) {
        last = done.load();
        if (waiting) {
            double share = -1;
            if (const TProcessIo now = ProcessIo(); sheetBytes > 0 && now.read >= 0 && before.read >= 0)
                share = std::clamp(double(now.read - before.read) / double(2 * sheetBytes), 0.0, 1.0);
            goOn = waiting(last ? 1.0 : share) && goOn;
        }
        if (!last)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (packing.joinable())
        packing.join();
    if (!goOn) {
        m_stopped = true;
        return fail(SaveFailure(m_fileName, QStringLiteral("the export was stopped")));
    }
    if (book->firstError != LXW_NO_ERROR)
        return fail(SaveFailure(m_fileName, QString::fromUtf8(book->xlsx.lxw_strerror(book->firstError))));
    if (closed != LXW_NO_ERROR)
        return fail(SaveFailure(m_fileName, QString::fromUtf8(book->xlsx.lxw_strerror(closed))));
    QString why;
    if (!PutWorkbookInPlace(book->temp.fileName(), m_fileName, &why))
        return fail(SaveFailure(m_fileName, why));
    m_error.clear();
    return true;
}

} // namespace cv
