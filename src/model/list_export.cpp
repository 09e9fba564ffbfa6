#include "model/list_export.h"

#include "files/save_file.h"
#include "model/base_list.h"
#include "suite/excel_writer.h"

#include <QLocale>

#include <algorithm>

namespace cv {

QString LegalXMLName(const QString& text)
{
    QString out;
    for (QChar c : text.trimmed()) {
        if (c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.')
            out += c;
        else
            out += u'_';
    }
    if (out.isEmpty() || !(out[0].isLetter() || out[0] == u'_'))
        out.prepend(u'_');
    // Names starting with "xml" in any case are reserved.
    if (out.startsWith(QLatin1String("xml"), Qt::CaseInsensitive))
        out.prepend(u'_');
    return out;
}

namespace {

QString Grouped(const QLocale& locale, const TDrawgridDataRec& rec)
{
    if (rec.isInteger)
        return locale.toString(qlonglong(std::llround(rec.value)));
    const int dot = rec.text.indexOf(u'.');
    const int decimals = dot < 0 ? 0 : int(rec.text.size() - dot - 1);
    return locale.toString(rec.value, 'f', decimals);
}

// An export's file, written through a temporary file in blocks as the rows
// come; the name gets it only at Commit (dropped unless committed).
class TExportFile {
public:
    explicit TExportFile(const QString& fileName) : m_file(fileName) { m_open = m_file.open(QIODevice::WriteOnly); }
    void Add(const QByteArray& bytes)
    {
        m_block += bytes;
        if (m_block.size() >= kBlock)
            Flush();
    }
    bool Commit(QString* error)
    {
        Flush();
        if (m_open && m_written && m_file.commit())
            return true;
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }

private:
    static constexpr qsizetype kBlock = 1 << 20;
    void Flush()
    {
        if (m_open && m_written && !m_block.isEmpty())
            m_written = m_file.write(m_block) == m_block.size();
        m_block.clear();
    }
    TSaveFile m_file;
    QByteArray m_block;
    bool m_open = false;
    bool m_written = true;
};

// Hands write() the cells of data rows 0 .. count - 1, telling the run how
// far it is (the rows done plus `before`, of `all`); false when the run
// stopped it.
template <typename TWrite>
bool EachRow(const TExportRows& rows, int64_t count, TExportRun* run, int64_t before, int64_t all, TWrite&& write)
{
    std::vector<TExportCell> cells;
    for (int64_t i = 0; i < count; ++i) {
        if ((i & 1023) == 0 && run && run->step && !run->step(before + i, all)) {
            run->stopped = true;
            return false;
        }
        rows.Cells(i, cells);
        write(cells);
    }
    return true;
}

QString XmlEscaped(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default:
            // Control characters other than tab, line feed and return are not allowed in XML.
            if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
                out += u' ';
            else
                out += c;
        }
    }
    return out;
}

} // namespace

QByteArray RtfEscaped(QStringView s, bool keepLines)
{
    QByteArray out;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\r') {
            if (!keepLines)
                out += ' ';
        } else if (u == '\n') {
            out += keepLines ? QByteArray("\\par\n") : QByteArray(" ");
        } else if (u == '\t') {
            out += keepLines ? QByteArray("\\tab ") : QByteArray(" ");
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // RTF takes Unicode as a signed 16-bit number, with "?" for readers that cannot show it.
            out += "\\u" + QByteArray::number(int(int16_t(u))) + '?';
        }
    }
    return out;
}

std::vector<int> ChosenExportColumns(const TCVExportSettings& settings, int columns)
{
    std::vector<int> cols;
    if (settings.AllColumns) {
        for (int c = settings.IncludeNumbers ? 0 : 1; c < columns; ++c)
            cols.push_back(c);
    } else if (!settings.Columns.empty()) {
        for (int32_t c : settings.Columns)
            if (c >= 1 && c <= columns)
                cols.push_back(c - 1);
    } else {
        for (int32_t c = std::max(1, settings.FirstColumn); c <= std::min(columns, settings.LastColumn); ++c)
            cols.push_back(c - 1);
    }
    return cols;
}

std::vector<int> ChosenExportRows(const TCVExportSettings& settings, int dataRows)
{
    std::vector<int> rows;
    if (settings.AllRows) {
        if (settings.IncludeHeadings)
            rows.push_back(0);
        for (int r = 1; r <= dataRows; ++r)
            rows.push_back(r);
    } else if (!settings.Rows.empty()) {
        for (int32_t r : settings.Rows)
            if (r >= 0 && r <= dataRows && (r > 0 || settings.IncludeHeadings))
                rows.push_back(r);
    } else {
        for (int32_t r = std::max(settings.IncludeHeadings ? 0 : 1, settings.FirstRow);
             r <= std::min(dataRows, settings.LastRow); ++r)
            rows.push_back(r);
    }
    return rows;
}

TExportCell ExportCellOf(const TDrawgridDataRec& rec, bool separateThousands, const QLocale& locale)
{
    TExportCell cell{rec.text, rec.value, rec.isNumber, rec.isInteger};
    if (rec.isNumber && separateThousands)
        cell.text = Grouped(locale, rec);
    return cell;
}

void TExportRows::ChooseRows(const TCVExportSettings& settings, int dataRows)
{
    fRows = ChosenExportRows(settings, dataRows);
    withHeadingRow = !fRows.empty() && fRows.front() == 0;
    std::erase(fRows, 0);
}

void TExportRows::KeepFirst(int64_t n)
{
    if (n >= 0 && n < Count())
        fRows.resize(std::size_t(n));
}

TListExportRows::TListExportRows(const TCVBaseDataClass& list, const TCVExportSettings& settings, int displayKind)
    : fList(list), fColumns(ChosenExportColumns(settings, list.ColumnCount())), fDisplayKind(displayKind),
      fSeparateThousands(settings.SeparateThousands), fLocale(list.CollationName())
{
    for (int c : fColumns)
        headings << list.Heading(c);
    ChooseRows(settings, list.Count());
}

void TListExportRows::CellsOfRow(int row, std::vector<TExportCell>& cells) const
{
    cells.clear();
    TDrawgridDataRec rec;
    const int entry = fList.RowToEntry(row, fDisplayKind);
    for (int c : fColumns) {
        fList.DrawgridDataRec(entry, c, fDisplayKind, rec);
        cells.push_back(ExportCellOf(rec, fSeparateThousands, fLocale));
    }
}

QStringList XMLColumnNames(const QStringList& headings)
{
    const auto legal = [](const QString& heading, int position) {
        QString text = heading.trimmed();
        if (text.isEmpty())
            return QStringLiteral("column_%1").arg(position + 1);
        text.replace(u'%', QStringLiteral("percent"));
        return LegalXMLName(text);
    };
    QStringList names;
    for (int c = 0; c < headings.size(); ++c)
        names << legal(headings[c], c);
    // A name several columns share takes the name of the column before each.
    QStringList unique = names;
    for (int c = 0; c < names.size(); ++c)
        if (names.count(names[c]) > 1 && c > 0)
            unique[c] = legal(headings[c - 1], c - 1) + u'_' + names[c];
    // Still the same: numbered from the second on.
    QStringList used;
    for (QString& name : unique) {
        QString candidate = name;
        for (int n = 2; used.contains(candidate); ++n)
            candidate = name + QStringLiteral("_%1").arg(n);
        name = candidate;
        used << name;
    }
    return unique;
}

bool WriteExportTXT(const TExportRows& rows, const TCVExportSettings& settings, QString* error, TExportRun* run)
{
    const QString sep = settings.Separator.isEmpty() ? QStringLiteral("\t") : settings.Separator;
    TExportFile out(settings.FileName);
    // UTF-8 with a byte-order mark, so that spreadsheet programs read it as such.
    out.Add(QByteArray("\xEF\xBB\xBF"));
    if (rows.withHeadingRow)
        out.Add((rows.headings.join(sep) + QLatin1String("\r\n")).toUtf8());
    QString line;
    const bool whole = EachRow(rows, rows.Count(), run, 0, rows.Count(), [&](const std::vector<TExportCell>& cells) {
        line.clear();
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                line += sep;
            line += cells[c].text;
        }
        line += QLatin1String("\r\n");
        out.Add(line.toUtf8());
    });
    return whole && out.Commit(error);
}

bool WriteExportXML(const TExportRows& rows, const TCVExportSettings& settings, const QString& rootName,
                    QString* error, TExportRun* run)
{
    const QString root = LegalXMLName(rootName);
    TExportFile out(settings.FileName);
    out.Add((settings.TopXML.isEmpty() ? QStringLiteral("<?xml version=\"1.0\"?>\r\n<%1>\r\n").arg(root) : settings.TopXML)
                .toUtf8());
    const QStringList names = XMLColumnNames(rows.headings);
    QString text;
    const bool whole = EachRow(rows, rows.Count(), run, 0, rows.Count(), [&](const std::vector<TExportCell>& cells) {
        text = QStringLiteral("<row>");
        for (std::size_t c = 0; c < cells.size(); ++c)
            text += QStringLiteral("<%1>%2</%1>").arg(names.value(int(c)), XmlEscaped(cells[c].text));
        text += QLatin1String("</row>\r\n");
        out.Add(text.toUtf8());
    });
    if (!whole)
        return false;
    out.Add((settings.BottomXML.isEmpty() ? QStringLiteral("</%1>\r\n").arg(root) : settings.BottomXML).toUtf8());
    return out.Commit(error);
}

bool WriteExportRTF(const TExportRows& rows, const TCVExportSettings& settings, QString* error, TExportRun* run)
{
    // Column widths in twips from the longest text of each column, within
    // bounds: a first pass over the rows, the second writes them.
    const size_t ncols = size_t(rows.headings.size());
    const int64_t n = rows.Count();
    std::vector<int> widths(ncols, 4);
    auto widen = [&](size_t c, const QString& s) { widths[c] = std::max(widths[c], int(std::min<qsizetype>(s.size(), 60))); };
    if (rows.withHeadingRow)
        for (size_t c = 0; c < ncols; ++c)
            widen(c, rows.headings[int(c)]);
    if (!EachRow(rows, n, run, 0, 2 * n, [&](const std::vector<TExportCell>& cells) {
            for (size_t c = 0; c < cells.size() && c < ncols; ++c)
                widen(c, cells[c].text);
        }))
        return false;

    TExportFile out(settings.FileName);
    out.Add("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20\r\n");
    QByteArray rowStart = "\\trowd\\trgaph60";
    int edge = 0;
    for (int w : widths) {
        edge += w * 120 + 120;
        rowStart += "\\cellx" + QByteArray::number(edge);
    }
    rowStart += "\r\n";
    if (rows.withHeadingRow) {
        QByteArray line = rowStart;
        for (const QString& h : rows.headings)
            line += "\\pard\\intbl\\b " + RtfEscaped(h) + "\\b0\\cell ";
        out.Add(line + "\\row\r\n");
    }
    QByteArray line;
    if (!EachRow(rows, n, run, n, 2 * n, [&](const std::vector<TExportCell>& cells) {
            line = rowStart;
            for (const auto& c : cells)
                line += (c.isNumber ? "\\pard\\intbl\\qr " : "\\pard\\intbl ") + RtfEscaped(c.text) + "\\cell ";
            out.Add(line + "\\row\r\n");
        }))
        return false;
    out.Add("\\pard\\par}\r\n");
    return out.Commit(error);
}

int64_t SpreadsheetDataRows(const TExportRows& rows)
{
    return std::min<int64_t>(rows.Count(), TExcelWriter::kMaxRows - (rows.withHeadingRow ? 1 : 0));
}

bool WriteExportExcel(const TExportRows& rows, const TCVExportSettings& settings, const QString& sheetName,
                      QString* error, TExportRun* run)
{
    const auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    TExcelSheetStream xl;
    if (!xl.Start(settings.FileName, sheetName))
        return failed(xl.ErrorString());
    TExcelFormat bold;
    bold.bold = true;
    const int headingFormat = xl.AddAFormat(bold);
    TExcelFormat groupedInt;
    groupedInt.numberFormat = QStringLiteral("#,##0");
    const int groupedFormat = settings.SeparateThousands ? xl.AddAFormat(groupedInt) : -1;
    int r = 1;
    if (rows.withHeadingRow) {
        for (int c = 0; c < rows.headings.size(); ++c)
            xl.SetACellString(r, c + 1, rows.headings[c], headingFormat);
        ++r;
    }
    // A sheet holds no more rows than these.
    const int64_t written = SpreadsheetDataRows(rows);
    // Packing the sheet into the file at the end takes about three fifths of
    // the time the rows take: its share of the bar.
    const int64_t packing = written * 3 / 5 + 1;
    const int64_t all = written + packing;
    if (!EachRow(rows, written, run, 0, all, [&](const std::vector<TExportCell>& cells) {
            for (size_t c = 0; c < cells.size(); ++c) {
                const TExportCell& cell = cells[c];
                if (cell.isNumber)
                    xl.SetACellDouble(r, int(c) + 1, cell.value, cell.isInteger ? groupedFormat : -1);
                else
                    xl.SetACellString(r, int(c) + 1, cell.text);
            }
            ++r;
        }))
        return false;
    const bool finished = xl.Finish([&](double share) {
        if (!run || !run->step)
            return true;
        return run->step(written + int64_t(std::max(0.0, share) * double(packing)), all);
    });
    if (!finished) {
        if (run && xl.Stopped())
            run->stopped = true;
        return failed(xl.ErrorString());
    }
    if (written < rows.Count())
        return failed(QStringLiteral("Saved only the first %1 of %2 rows in \"%3\": a spreadsheet holds no more")
                          .arg(written)
                          .arg(rows.Count())
                          .arg(settings.FileName));
    return true;
}

} // namespace cv
