#include "maths/sdl_textio.h"

#include "files/save_file.h"
#include "maths/sdl_errors.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>

namespace cv::textio {

QByteArray ReadWholeFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw ESDLFileError(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ESDLFileError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, file.errorString()));
    return bytes;
}

void SaveWholeFile(const QString& fileName, const QByteArray& bytes)
{
    TSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw ESDLFileError(QStringLiteral("Cannot create file \"%1\": %2").arg(fileName, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ESDLFileError(QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, file.errorString()));
}

int64_t FileSize(const QString& fileName)
{
    const QFileInfo info(fileName);
    return info.exists() ? info.size() : -1;
}

QByteArray FormatFloat(double value, int width, int decimals)
{
    char buffer[512];
    std::to_chars_result r;
    if (decimals < 0)
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    else
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, std::min(decimals, 100));
    QByteArray text(buffer, r.ec == std::errc() ? r.ptr - buffer : 0);
    if (text.size() < width)
        text.prepend(QByteArray(width - text.size(), ' '));
    return text;
}

QByteArray FormatShortest(double value)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, r.ptr - buffer);
}

namespace {
template <typename T, typename... Format>
bool parseWhole(const QByteArray& token, T& value, Format... format)
{
    const char* first = token.constData();
    const char* last = first + token.size();
    if (first != last && *first == '+') // from_chars takes no plus sign
        ++first;
    T parsed{};
    const auto r = std::from_chars(first, last, parsed, format...);
    if (r.ec != std::errc() || r.ptr != last || first == last)
        return false;
    value = parsed;
    return true;
}
} // namespace

bool ParseNumber(const QByteArray& token, double& value) { return parseWhole(token, value, std::chars_format::general); }
bool ParseNumber(const QByteArray& token, int32_t& value) { return parseWhole(token, value); }

bool TTextReader::NextLine(QByteArray& line)
{
    if (AtEnd())
        return false;
    qsizetype end = m_pos;
    while (end < m_text.size() && m_text[end] != '\n' && m_text[end] != '\r')
        ++end;
    line = m_text.mid(m_pos, end - m_pos);
    m_pos = end;
    if (m_pos < m_text.size() && m_text[m_pos] == '\r')
        ++m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == '\n')
        ++m_pos;
    return true;
}

bool TTextReader::NextToken(QByteArray& token)
{
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
        ++m_pos;
    if (AtEnd())
        return false;
    const qsizetype start = m_pos;
    while (m_pos < m_text.size() && !isSpace(m_text[m_pos]))
        ++m_pos;
    token = m_text.mid(start, m_pos - start);
    return true;
}

} // namespace cv::textio
