#pragma once
// Text and whole-file helpers of the file forms: numbers in text, tokens,
// and files read whole or saved through a temporary file.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace cv::textio {

// Reads the whole file; ESDLFileError naming the file and the reason.
QByteArray ReadWholeFile(const QString& fileName);
// Writes through a temporary file and a rename, so a failed save never
// destroys the previous file; ESDLFileError on failure.
void SaveWholeFile(const QString& fileName, const QByteArray& bytes);
// The size of a file, or -1 when it cannot be seen.
int64_t FileSize(const QString& fileName);

// decimals < 0: scientific notation with as many digits as give the value
// back exactly; decimals >= 0: fixed notation with that many decimals.
// Right-aligned in `width` characters (never cut).
QByteArray FormatFloat(double value, int width, int decimals);
// Shortest text that reads back as the same double ("1.5", "1e+20").
QByteArray FormatShortest(double value);

bool ParseNumber(const QByteArray& token, double& value);
bool ParseNumber(const QByteArray& token, int32_t& value);

// Walks a text by lines and by blank-separated tokens. Line ends are LF,
// CR LF or CR.
class TTextReader {
public:
    explicit TTextReader(QByteArray text) : m_text(std::move(text)) {}
    bool AtEnd() const { return m_pos >= m_text.size(); }
    // The rest of the current line (without its end); false at the end.
    bool NextLine(QByteArray& line);
    // The next token across lines; false when none is left.
    bool NextToken(QByteArray& token);

private:
    QByteArray m_text;
    qsizetype m_pos = 0;
};

} // namespace cv::textio
