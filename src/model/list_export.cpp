#include "model/list_export.h"

#include "model/base_list.h"
#include "suite/excel_writer.h"

#include <QLocale>
#include <QSaveFile>

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

bool WriteBytes(const QString& fileName, const QByteArray& bytes, QString* error)
{
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, f.errorString());
        return false;
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

TExportTable ExportTableOf(const TCVBaseDataClass& list, const TCVExportSettings& settings, int displayKind)
{
    TExportTable t;
    const std::vector<int> cols = ChosenExportColumns(settings, list.ColumnCount());
    for (int c : cols)
        t.headings << list.Heading(c);
    const QLocale locale(list.CollationName());
    TDrawgridDataRec rec;
    for (int r : ChosenExportRows(settings, list.Count())) {
        if (r == 0) {
            t.withHeadingRow = true;
            continue;
        }
        std::vector<TExportCell> cells;
        cells.reserve(cols.size());
        const int entry = list.RowToEntry(r, displayKind);
        for (int c : cols) {
            list.DrawgridDataRec(entry, c, displayKind, rec);
            cells.push_back(ExportCellOf(rec, settings.SeparateThousands, locale));
        }
        t.rows.push_back(std::move(cells));
    }
    return t;
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

bool WriteExportTXT(const TExportTable& table, const TCVExportSettings& settings, QString* error)
{
    const QString sep = settings.Separator.isEmpty() ? QStringLiteral("\t") : settings.Separator;
    QString text;
    if (table.withHeadingRow)
        text += table.headings.join(sep) + QLatin1String("\r\n");
    for (const auto& row : table.rows) {
        QStringList cells;
        for (const auto& c : row)
            cells << c.text;
        text += cells.join(sep) + QLatin1String("\r\n");
    }
    // UTF-8 with a byte-order mark, so that spreadsheet programs read it as such.
    return WriteBytes(settings.FileName, QByteArray("\xEF\xBB\xBF") + text.toUtf8(), error);
}

bool WriteExportXML(const TExportTable& table, const TCVExportSettings& settings, const QString& rootName,
                    QString* error)
{
    const QString root = LegalXMLName(rootName);
    QString text = settings.TopXML.isEmpty()
                       ? QStringLiteral("<?xml version=\"1.0\"?>\r\n<%1>\r\n").arg(root)
                       : settings.TopXML;
    const QStringList names = XMLColumnNames(table.headings);
    for (const auto& row : table.rows) {
        text += QLatin1String("<row>");
        for (size_t c = 0; c < row.size(); ++c)
            text += QStringLiteral("<%1>%2</%1>").arg(names.value(int(c)), XmlEscaped(row[c].text));
        text += QLatin1String("</row>\r\n");
    }
    text += settings.BottomXML.isEmpty() ? QStringLiteral("</%1>\r\n").arg(root) : settings.BottomXML;
    return WriteBytes(settings.FileName, text.toUtf8(), error);
}

bool WriteExportRTF(const TExportTable& table, const TCVExportSettings& settings, QString* error)
{
    // Column widths in twips from the longest text of each column, within bounds.
    const size_t ncols = size_t(table.headings.size());
    std::vector<int> widths(ncols, 4);
    auto widen = [&](size_t c, const QString& s) { widths[c] = std::max(widths[c], int(std::min<qsizetype>(s.size(), 60))); };
    if (table.withHeadingRow)
        for (size_t c = 0; c < ncols; ++c)
            widen(c, table.headings[int(c)]);
    for (const auto& row : table.rows)
        for (size_t c = 0; c < row.size() && c < ncols; ++c)
            widen(c, row[c].text);

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20\r\n";
    auto rowStart = [&] {
        out += "\\trowd\\trgaph60";
        int edge = 0;
        for (int w : widths) {
            edge += w * 120 + 120;
            out += "\\cellx" + QByteArray::number(edge);
        }
        out += "\r\n";
    };
    if (table.withHeadingRow) {
        rowStart();
        for (const QString& h : table.headings)
            out += "\\pard\\intbl\\b " + RtfEscaped(h) + "\\b0\\cell ";
        out += "\\row\r\n";
    }
    for (const auto& row : table.rows) {
        rowStart();
        for (const auto& c : row)
            out += (c.isNumber ? "\\pard\\intbl\\qr " : "\\pard\\intbl ") + RtfEscaped(c.text) + "\\cell ";
        out += "\\row\r\n";
    }
    out += "\\pard\\par}\r\n";
    return WriteBytes(settings.FileName, out, error);
}

bool WriteExportExcel(const TExportTable& table, const TCVExportSettings& settings, const QString& sheetName,
                      QString* error)
{
    TExcelWriter xl;
    xl.StartAnExcelFile();
    if (!sheetName.isEmpty())
        xl.SetAnActiveSheetname(1, sheetName);
    TExcelFormat bold;
    bold.bold = true;
    const int headingFormat = xl.AddAFormat(bold);
    TExcelFormat groupedInt;
    groupedInt.numberFormat = QStringLiteral("#,##0");
    const int groupedFormat = settings.SeparateThousands ? xl.AddAFormat(groupedInt) : -1;
    int r = 1;
    int written = 0;
    if (table.withHeadingRow) {
        for (int c = 0; c < table.headings.size(); ++c)
            xl.SetACellString(r, c + 1, table.headings[c], headingFormat);
        ++r;
    }
    for (const auto& row : table.rows) {
        if (r > TExcelWriter::kMaxRows)
            break; // a sheet holds no more rows
        for (size_t c = 0; c < row.size(); ++c) {
            const TExportCell& cell = row[c];
            if (cell.isNumber)
                xl.SetACellDouble(r, int(c) + 1, cell.value, cell.isInteger ? groupedFormat : -1);
            else
                xl.SetACellString(r, int(c) + 1, cell.text);
        }
        ++r;
        ++written;
    }
    if (!xl.SaveAnExcelFile(settings.FileName)) {
        if (error)
            *error = xl.ErrorString();
        return false;
    }
    if (written < int(table.rows.size())) {
        if (error)
            *error = QStringLiteral("Saved only the first %1 of %2 rows in \"%3\": a spreadsheet holds no more")
                         .arg(written)
                         .arg(table.rows.size())
                         .arg(settings.FileName);
        return false;
    }
    return true;
}

} // namespace cv
