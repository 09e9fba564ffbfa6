#include "gui/rich_text_rtf.h"

#include <QColor>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <vector>

#include "model/list_export.h"

namespace cv {

namespace {

// Index (1-based, 0 is the reader's own colour) of a colour in the table, added when new.
int ColourIndex(std::vector<QRgb>& table, const QColor& colour)
{
    const QRgb rgb = colour.rgb();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i] == rgb)
            return int(i) + 1;
    table.push_back(rgb);
    return int(table.size());
}

int FontIndex(QStringList& fonts, const QString& family)
{
    const QString name = family.isEmpty() ? QStringLiteral("Arial") : family;
    const qsizetype at = fonts.indexOf(name);
    if (at >= 0)
        return int(at);
    fonts << name;
    return int(fonts.size() - 1);
}

QByteArray Alignment(Qt::Alignment a)
{
    if (a & Qt::AlignHCenter)
        return "\\qc";
    if (a & Qt::AlignRight)
        return "\\qr";
    if (a & Qt::AlignJustify)
        return "\\qj";
    return "\\ql";
}

} // namespace

QByteArray RtfOfTextDocument(const QTextDocument& document)
{
    QStringList fonts;
    std::vector<QRgb> colours;
    const QFont base = document.defaultFont();
    FontIndex(fonts, base.family());

    QByteArray body;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        body += "\\pard" + Alignment(block.blockFormat().alignment()) + ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat f = fragment.charFormat();
            QByteArray run = "{\\f" + QByteArray::number(FontIndex(fonts, f.fontFamilies().toStringList().value(0,
                                                                                                      base.family())));
            const double points = f.fontPointSize() > 0 ? f.fontPointSize() : base.pointSizeF();
            if (points > 0)
                run += "\\fs" + QByteArray::number(qRound(points * 2));
            if (f.fontWeight() >= QFont::Bold)
                run += "\\b";
            if (f.fontItalic())
                run += "\\i";
            if (f.fontUnderline())
                run += "\\ul";
            if (f.fontStrikeOut())
                run += "\\strike";
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                run += "\\cf" + QByteArray::number(ColourIndex(colours, f.foreground().color()));
            if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
                run += "\\highlight" + QByteArray::number(ColourIndex(colours, f.background().color()));
            // Line separators inside a paragraph (soft breaks) become line breaks.
            QString text = fragment.text();
            text.replace(QChar::LineSeparator, QLatin1Char('\n'));
            run += ' ' + RtfEscaped(text, true).replace("\\par\n", "\\line ") + '}';
            body += run;
        }
        body += "\\par\n";
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i)
        out += "{\\f" + QByteArray::number(i) + ' ' + RtfEscaped(fonts[i]) + ";}";
    out += "}{\\colortbl;";
    for (QRgb c : colours)
        out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue"
            + QByteArray::number(qBlue(c)) + ';';
    out += "}\n" + body + "}\n";
    return out;
}

} // namespace cv
