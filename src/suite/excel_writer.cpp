#include "suite/excel_writer.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <dlfcn.h>

#include <cmath>

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
    X(worksheet_write_number) X(worksheet_write_string) X(lxw_strerror)

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
    const auto saveFail = [&](const QString& why) {
        return fail(QStringLiteral("Cannot save spreadsheet \"%1\": %2").arg(QDir::toNativeSeparators(fileName), why));
    };
    if (!m_started)
        return saveFail(QStringLiteral("no spreadsheet has been started"));
    const TXlsxLibrary& xlsx = XlsxLibrary();
    if (!xlsx.failure.isEmpty())
        return saveFail(xlsx.failure);

    QTemporaryFile temp(QDir(QDir::tempPath()).filePath(QStringLiteral("cv-xlsx-XXXXXX.xlsx")));
    if (!temp.open())
        return saveFail(temp.errorString());
    const QByteArray tempName = QFile::encodeName(temp.fileName());
    temp.close();

    lxw_workbook_options options{};
    lxw_workbook* wb = xlsx.workbook_new_opt(tempName.constData(), &options);
    if (!wb)
        return saveFail(QStringLiteral("the spreadsheet library could not start a workbook"));

    std::vector<lxw_format*> formats;
    for (const TExcelFormat& f : m_formats) {
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
        formats.push_back(x);
    }
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

    QFile written(temp.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return saveFail(written.errorString());
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly))
        return saveFail(out.errorString());
    while (!written.atEnd()) {
        const QByteArray chunk = written.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return saveFail(out.errorString().isEmpty() ? written.errorString() : out.errorString());
        }
    }
    if (!out.commit())
        return saveFail(out.errorString());
    m_error.clear();
    return true;
}

} // namespace cv
