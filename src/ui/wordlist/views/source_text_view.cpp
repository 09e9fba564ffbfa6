#include "ui/wordlist/views/source_text_view.h"

#include "files/save_file.h"

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

#include "model/list_export.h"
#include "suite/cvbuf.h"
#include "suite/text_codec.h"
#include "ui/framework/grid_dialogs/row_conditions.h"

namespace cv {

namespace {

QColor Colour(uint32_t argb) { return QColor::fromRgba(argb); }

// The pattern of one typed word: "*" any run of word characters, "?" one.
QString WordPattern(const QString& word)
{
    QString out;
    for (const QChar c : word) {
        if (c == u'*')
            out += QStringLiteral("\\w*");
        else if (c == u'?')
            out += QStringLiteral("\\w");
        else
            out += QRegularExpression::escape(QString(c));
    }
    return out;
}

QRegularExpression ExpressionOf(const TSimpleSearchEntry& entry)
{
    if (entry.flags & kSWLiteral)
        return QRegularExpression(QRegularExpression::escape(entry.word));
    const QString typed = entry.word.simplified();
    if (entry.flags & kSWTag) {
        QString pattern;
        for (const QChar c : typed)
            pattern += c == u'*' ? QStringLiteral("[^<>]*") : QRegularExpression::escape(QString(c));
        return QRegularExpression(pattern);
    }
    QStringList words;
    for (const QString& w : typed.split(u' ', Qt::SkipEmptyParts))
        words << WordPattern(w);
    return QRegularExpression(QStringLiteral("(?<![\\w])") + words.join(QStringLiteral("\\s+")) +
                                  QStringLiteral("(?![\\w])"),
                              QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
}

// RTF text keeping the lines and tabs of the text.
QString RtfText(QStringView text) { return QString::fromLatin1(RtfEscaped(text, true)); }

} // namespace

TSimpleSearchEntry SearchEntryOf(const QString& word) { return {word, FlagsFromSW(word), INT32_MAX}; }

std::vector<std::pair<int, int>> FindSearchWordHits(const QString& text, const TSimpleSearchEntry& entry)
{
    std::vector<std::pair<int, int>> hits;
    if (entry.word.trimmed().isEmpty())
        return hits;
    // A word of wildcards alone would match every word.
    if (!(entry.flags & kSWLiteral) && QString(entry.word).remove(u'*').remove(u'?').trimmed().isEmpty())
        return hits;
    const QRegularExpression re = ExpressionOf(entry);
    for (auto it = re.globalMatch(text); it.hasNext() && int(hits.size()) < entry.limit;) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() > 0)
            hits.emplace_back(int(m.capturedStart()), int(m.capturedLength()));
    }
    return hits;
}

std::vector<std::pair<int, int>> MarkupSpans(const QString& text, int maxSpan)
{
    std::vector<std::pair<int, int>> spans;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] != u'<')
            continue;
        // The tag ends at the first ">" with at most maxSpan characters before
        // it, unless another "<" comes first.
        const qsizetype last = std::min<qsizetype>(n - 1, i + 1 + qsizetype(std::max(0, maxSpan)));
        for (qsizetype j = i + 1; j <= last; ++j) {
            if (text[j] == u'<')
                break;
            if (text[j] == u'>') {
                spans.emplace_back(int(i), int(j - i + 1));
                i = j;
                break;
            }
        }
    }
    return spans;
}

QString TrimmedText(const QString& text, bool allLines)
{
    QStringList out;
    bool lastEmpty = false;
    for (const QString& line : text.split(u'\n')) {
        QString t = line;
        while (!t.isEmpty() && t.back().isSpace())
            t.chop(1);
        const bool empty = t.trimmed().isEmpty();
        if (empty && (allLines || lastEmpty || out.isEmpty()))
            continue;
        out << (empty ? QString() : t);
        lastEmpty = empty;
    }
    while (!out.isEmpty() && out.back().isEmpty())
        out.removeLast();
    return out.join(u'\n');
}

// ---------------------------------------------------------------------------

TSourceTextRichEdit::TSourceTextRichEdit(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
}

void TSourceTextRichEdit::SetColoursEtc(uint32_t text, uint32_t markup, uint32_t keyword, uint32_t keywordBackground)
{
    m_textColour = text;
    m_markupColour = markup;
    m_kwColour = keyword;
    m_kwBackground = keywordBackground;
    QPalette p = palette();
    p.setColor(QPalette::Text, Colour(text));
    setPalette(p);
}

void TSourceTextRichEdit::SetFont(const QString& name, int points)
{
    QFont f = font();
    if (!name.isEmpty())
        f.setFamily(name);
    if (points > 0)
        f.setPointSize(points);
    setFont(f);
}

bool TSourceTextRichEdit::LoadedASourceText(const QString& fileName, int32_t maxChars)
{
    m_error.clear();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    // A limited text needs at most four bytes a character.
    const qint64 most = maxChars < INT32_MAX ? qint64(maxChars) * 4 + 4 : f.size();
    const QByteArray bytes = f.read(most);
    if (f.error() != QFileDevice::NoError) {
        m_error = QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    m_text = DecodeText(bytes, LCIDToCodePage(GetTextSettings().LanguageId()));
    if (m_text.size() > maxChars)
        m_text.truncate(maxChars);
    m_text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_markup.clear();
    m_hits.clear();
    m_stop = false;
    setPlainText(m_text);
    ApplySelections();
    return true;
}

int TSourceTextRichEdit::LineCount() const { return document()->blockCount(); }

void TSourceTextRichEdit::GreyOutAnyMarkup(const TViewProgress& progress)
{
    if (!m_greyMarkup)
        return;
    m_markup = MarkupSpans(m_text, m_tagSpan);
    if (progress)
        progress(100);
    ApplySelections();
}

int TSourceTextRichEdit::HighlightKWs(const TViewProgress& progress)
{
    m_stop = false;
    m_hits.assign(m_search.size(), {});
    for (size_t i = 0; i < m_search.size() && !m_stop; ++i) {
        m_hits[i] = FindSearchWordHits(m_text, m_search[i]);
        if (progress && !progress(int((i + 1) * 100 / m_search.size())))
            break;
    }
    ApplySelections();
    return HighlightsFoundCount();
}

int TSourceTextRichEdit::HighlightOneKW(const QString& word)
{
    m_search = {SearchEntryOf(word)};
    m_currentKW = -1;
    return HighlightKWs();
}

int TSourceTextRichEdit::HighlightsFoundCount() const
{
    int n = 0;
    for (const auto& h : m_hits)
        n += int(h.size());
    return n;
}

std::vector<int> TSourceTextRichEdit::KeyWordPositionsAsArray() const
{
    std::vector<int> out;
    for (const auto& h : m_hits)
        for (const auto& [pos, len] : h)
            out.push_back(pos);
    std::sort(out.begin(), out.end());
    return out;
}

std::pair<int, int> TSourceTextRichEdit::CountAndFirstPosOfKWPositions(int i) const
{
    if (i < 0 || i >= int(m_hits.size()) || m_hits[size_t(i)].empty())
        return {0, -1};
    return {int(m_hits[size_t(i)].size()), m_hits[size_t(i)].front().first};
}

bool TSourceTextRichEdit::GotoNextKW(bool backward)
{
    std::vector<std::pair<int, int>> hits;
    for (int i = 0; i < int(m_hits.size()); ++i)
        if (m_currentKW < 0 || m_currentKW == i)
            hits.insert(hits.end(), m_hits[size_t(i)].begin(), m_hits[size_t(i)].end());
    std::sort(hits.begin(), hits.end());
    if (hits.empty())
        return false;
    const QTextCursor now = textCursor();
    int k = -1;
    if (backward) {
        const int before = now.selectionStart();
        for (int i = int(hits.size()) - 1; i >= 0 && k < 0; --i)
            if (hits[size_t(i)].first < before)
                k = i;
    } else {
        const int after = now.hasSelection() ? now.selectionStart() : now.position() - 1;
        for (int i = 0; i < int(hits.size()) && k < 0; ++i)
            if (hits[size_t(i)].first > after)
                k = i;
    }
    if (k < 0)
        return false;
    QTextCursor c(document());
    c.setPosition(hits[size_t(k)].first);
    c.setPosition(hits[size_t(k)].first + hits[size_t(k)].second, QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
    if (OnLineShowMessage)
        OnLineShowMessage(k, int(hits.size()), c.block().blockNumber() + 1, LineCount());
    return true;
}

void TSourceTextRichEdit::TrimTheText(bool allLines)
{
    m_text = TrimmedText(m_text, allLines);
    setPlainText(m_text);
    const bool grey = !m_markup.empty();
    m_markup = grey ? MarkupSpans(m_text) : std::vector<std::pair<int, int>>{};
    if (!m_hits.empty())
        HighlightKWs();
    else
        ApplySelections();
}

void TSourceTextRichEdit::ApplySelections()
{
    QList<ExtraSelection> selections;
    auto add = [&](const std::vector<std::pair<int, int>>& spans, const QTextCharFormat& format) {
        for (const auto& [pos, len] : spans) {
            ExtraSelection s;
            s.cursor = QTextCursor(document());
            s.cursor.setPosition(pos);
            s.cursor.setPosition(pos + len, QTextCursor::KeepAnchor);
            s.format = format;
            selections << s;
        }
    };
    QTextCharFormat markup;
    markup.setForeground(Colour(m_markupColour));
    add(m_markup, markup);
    QTextCharFormat kw;
    kw.setForeground(Colour(m_kwColour));
    kw.setBackground(Colour(m_kwBackground));
    for (const auto& hits : m_hits)
        add(hits, kw);
    setExtraSelections(selections);
}

bool TSourceTextRichEdit::SaveAsRTF(const QString& fileName, const QString& note)
{
    // Per character: 0 plain, 1 mark-up, 2 hit.
    std::vector<uint8_t> kind(size_t(m_text.size()), 0);
    for (const auto& [pos, len] : m_markup)
        std::fill(kind.begin() + pos, kind.begin() + pos + len, uint8_t(1));
    for (const auto& hits : m_hits)
        for (const auto& [pos, len] : hits)
            std::fill(kind.begin() + pos, kind.begin() + pos + len, uint8_t(2));
    auto rgb = [](uint32_t c) {
        return QStringLiteral("\\red%1\\green%2\\blue%3;").arg((c >> 16) & 0xFF).arg((c >> 8) & 0xFF).arg(c & 0xFF);
    };
    QString rtf = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 %1;}}{\\colortbl;%2%3%4%5}\n\\f0\\fs%6 ")
                      .arg(RtfText(font().family()), rgb(m_textColour), rgb(m_markupColour), rgb(m_kwColour),
                           rgb(m_kwBackground))
                      .arg(std::max(2, font().pointSize() * 2));
    if (!note.isEmpty())
        rtf += QStringLiteral("\\b ") + RtfText(note) + QStringLiteral("\\b0\\par\\par\n");
    int start = 0;
    while (start < m_text.size()) {
        int end = start;
        while (end < m_text.size() && kind[size_t(end)] == kind[size_t(start)])
            ++end;
        const QString run = RtfText(QStringView(m_text).mid(start, end - start));
        switch (kind[size_t(start)]) {
        case 1: rtf += QStringLiteral("{\\cf2 ") + run + QStringLiteral("}"); break;
        case 2: rtf += QStringLiteral("{\\b\\cf3\\highlight4 ") + run + QStringLiteral("}"); break;
        default: rtf += QStringLiteral("{\\cf1 ") + run + QStringLiteral("}"); break;
        }
        start = end;
    }
    rtf += QStringLiteral("}\n");
    TSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(rtf.toLatin1()) < 0 || !f.commit()) {
        m_error = QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

TPlotBar::TPlotBar(QWidget* parent) : QWidget(parent) { setMinimumHeight(16); }

void TPlotBar::SetColours(uint32_t plot, uint32_t background, uint32_t ruler, int divisions)
{
    m_plot = plot;
    m_background = background;
    m_rulerColour = ruler;
    m_divisions = std::max(1, divisions);
    update();
}

void TPlotBar::SetRange(int first, int last)
{
    m_first = first;
    m_last = std::max(first, last);
    update();
}

void TPlotBar::SetLines(std::vector<int> positions)
{
    m_lines = std::move(positions);
    update();
}

void TPlotBar::SetRuler(bool on)
{
    m_ruler = on;
    update();
}

void TPlotBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Colour(m_background));
    const double span = std::max(1, m_last - m_first);
    const int w = std::max(1, width() - 1);
    if (m_ruler) {
        p.setPen(Colour(m_rulerColour));
        for (int d = 0; d <= m_divisions; ++d) {
            const int x = int(double(d) * w / m_divisions);
            p.drawLine(x, height() - 4, x, height() - 1);
        }
    }
    p.setPen(Colour(m_plot));
    for (const int pos : m_lines) {
        const int x = int((pos - m_first) / span * w);
        p.drawLine(x, 1, x, height() - (m_ruler ? 5 : 2));
    }
}

} // namespace cv
