#include "crashreport/dialogs/rtf_reader.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cctype>
#include <optional>
#include <vector>

namespace cv {

namespace {

struct TRtfState {
    int Colour = 0;
    bool Bold = false;
    int HalfPoints = 0; // 0: the document font's own size
    bool Skip = false;  // inside a destination that is not shown
};

class TRtfReader {
public:
    TRtfReader(std::string_view rtf, QTextDocument& document, const QFont& font)
        : m_rtf(rtf), m_font(font), m_cursor(&document)
    {
    }

private:
    TRtfState& State() { return m_states.back(); }

    void Text(const QString& text)
    {
        if (State().Skip)
            return;
        if (m_inTable)
            return; // colour names and the like
        const TRtfState& s = State();
        if (!m_pending.isEmpty() && (s.Colour != m_pendingState.Colour || s.Bold != m_pendingState.Bold ||
                                     s.HalfPoints != m_pendingState.HalfPoints))
            Flush();
        if (m_pending.isEmpty())
            m_pendingState = s;
        m_pending += text;
    }

    void Flush()
    {
        if (m_pending.isEmpty())
            return;
        QTextCharFormat format;
        QFont font = m_font;
        if (m_pendingState.HalfPoints > 0)
            font.setPointSizeF(m_pendingState.HalfPoints / 2.0);
        font.setBold(m_pendingState.Bold);
        format.setFont(font);
        const std::size_t colour = std::size_t(m_pendingState.Colour);
        format.setForeground(colour > 0 && colour < m_colours.size() ? m_colours[colour] : QColor(Qt::black));
        m_cursor.insertText(m_pending, format);
        m_pending.clear();
    }

    void Paragraph()
    {
        Flush();
        QTextBlockFormat block = m_cursor.blockFormat();
        block.setTabPositions(m_tabs);
        m_cursor.setBlockFormat(block);
        m_cursor.insertBlock(block);
    }

    void ControlWord()
    {
        ++m_at; // the backslash
        if (m_at >= m_rtf.size())
            return;
        const char c = m_rtf[m_at];
        if (c == '\\' || c == '{' || c == '}') {
            Text(QString(QChar(uchar(c))));
            ++m_at;
            return;
        }
        if (c == '*') {
            State().Skip = true;
            ++m_at;
            return;
        }
        if (c == '\'') {
            const std::string_view hex = m_rtf.substr(m_at + 1, 2);
            m_at += 1 + hex.size();
            bool ok = false;
            const uint value = QString::fromLatin1(hex.data(), int(hex.size())).toUInt(&ok, 16);
            if (ok) {
                const char byte = char(value);
                QStringDecoder windows("windows-1252");
                Text(windows.isValid() ? windows.decode(QByteArrayView(&byte, 1)) : QString(QChar(value)));
            }
            return;
        }
        if (!std::isalpha(uchar(c))) {
            ++m_at; // another control symbol: nothing to show
            return;
        }
        std::size_t end = m_at;
        while (end < m_rtf.size() && std::isalpha(uchar(m_rtf[end])))
            ++end;
        const std::string_view word = m_rtf.substr(m_at, end - m_at);
        std::optional<int> number;
        std::size_t digits = end;
        if (digits < m_rtf.size() && (m_rtf[digits] == '-' || std::isdigit(uchar(m_rtf[digits])))) {
            ++digits;
            while (digits < m_rtf.size() && std::isdigit(uchar(m_rtf[digits])))
                ++digits;
            number = QString::fromLatin1(m_rtf.data() + end, int(digits - end)).toInt();
        }
        m_at = digits;
        if (m_at < m_rtf.size() && m_rtf[m_at] == ' ')
            ++m_at; // the delimiter belongs to the word
        Apply(word, number);
    }

    void Apply(std::string_view word, std::optional<int> number)
    {
        if (word == "fonttbl") {
            State().Skip = true;
        } else if (word == "colortbl") {
            Flush();
            m_inTable = true;
            m_colours.assign(1, QColor(Qt::black));
            m_tableDepth = m_states.size();
        } else if (word == "red" || word == "green" || word == "blue") {
            if (m_inTable) {
                const int v = number.value_or(0);
                (word == "red" ? m_red : word == "green" ? m_green : m_blue) = v;
                m_colourGiven = true;
            }
        } else if (word == "cf") {
            State().Colour = number.value_or(0);
        } else if (word == "b") {
            State().Bold = number.value_or(1) != 0;
        } else if (word == "fs") {
            State().HalfPoints = number.value_or(0);
        } else if (word == "plain") {
            State().Colour = 0;
            State().Bold = false;
        } else if (word == "par") {
            Paragraph();
        } else if (word == "pard") {
            Flush();
            m_tabs.clear();
            QTextBlockFormat block = m_cursor.blockFormat();
            block.setTabPositions(m_tabs);
            m_cursor.setBlockFormat(block);
        } else if (word == "tx") {
            // Twips (1/1440 inch) in pixels of a 96-dpi screen.
            m_tabs.append(QTextOption::Tab(number.value_or(0) / 15.0, QTextOption::LeftTab));
            QTextBlockFormat block = m_cursor.blockFormat();
            block.setTabPositions(m_tabs);
            m_cursor.setBlockFormat(block);
        } else if (word == "tab") {
            Text(QStringLiteral("\t"));
        } else if (word == "line") {
            Text(QString(QChar::LineSeparator));
        } else if (word == "u") {
            int unit = number.value_or('?');
            if (unit < 0)
                unit += 65536;
            Text(QString(QChar(char16_t(unit))));
            // One replacement character follows for readers without Unicode.
            if (m_at < m_rtf.size()) {
                if (m_rtf[m_at] == '\\' && m_at + 1 < m_rtf.size() && m_rtf[m_at + 1] == '\'')
                    m_at += 4;
                else if (m_rtf[m_at] != '\\' && m_rtf[m_at] != '{' && m_rtf[m_at] != '}')
                    ++m_at;
            }
        }
    }

public:
    // Colour-table entries end at ";" (the first, empty one is "auto").
    void Run()
    {
        m_states.push_back({});
        while (m_at < m_rtf.size()) {
            const char c = m_rtf[m_at];
            if (m_inTable && c == ';') {
                if (m_colourGiven)
                    m_colours.push_back(QColor(m_red, m_green, m_blue));
                else if (m_colours.size() > 1 || m_sawAuto)
                    m_colours.push_back(QColor(Qt::black));
                else
                    m_sawAuto = true;
                m_red = m_green = m_blue = 0;
                m_colourGiven = false;
                ++m_at;
                continue;
            }
            if (c == '{') {
                Flush();
                m_states.push_back(m_states.back());
                ++m_at;
            } else if (c == '}') {
                Flush();
                if (m_inTable && m_states.size() == m_tableDepth)
                    m_inTable = false;
                if (m_states.size() > 1)
                    m_states.pop_back();
                ++m_at;
            } else if (c == '\\') {
                ControlWord();
            } else if (c == '\r' || c == '\n') {
                ++m_at;
            } else {
                Text(QString(QChar(uchar(c))));
                ++m_at;
            }
        }
        Flush();
    }

private:
    std::string_view m_rtf;
    QFont m_font;
    QTextCursor m_cursor;
    std::size_t m_at = 0;
    std::vector<TRtfState> m_states;
    std::vector<QColor> m_colours{QColor(Qt::black)};
    QList<QTextOption::Tab> m_tabs;
    QString m_pending;
    TRtfState m_pendingState;
    bool m_inTable = false;
    std::size_t m_tableDepth = 0;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colourGiven = false;
    bool m_sawAuto = false;
};

} // namespace

bool RtfToTextDocument(std::string_view rtf, QTextDocument& document, const QFont& font)
{
    document.clear();
    document.setDefaultFont(font);
    if (rtf.substr(0, 5) != "{\\rtf") {
        document.setPlainText(QString::fromUtf8(rtf.data(), qsizetype(rtf.size())));
        return false;
    }
    TRtfReader reader(rtf, document, font);
    reader.Run();
    return true;
}

} // namespace cv
