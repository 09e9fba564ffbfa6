#include "crashreport/core/log_file.h"

#include <QSaveFile>

#include "crashreport/core/crashbox_helpers.h"
#include "crashreport/core/xml_builder.h"

namespace cv {

const std::string kLogEntryTerminator = "\r\n\r\n\r\n";

namespace {

const std::string kSeparator = "\r\n\r\n\r\n\r\n";

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

bool IsDashLine(const std::string& line)
{
    return !line.empty() && line.find_first_not_of('-') == std::string::npos;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A stored multi-line value back to its text: the "." that stands for a
// blank first or last line goes, ":_" is ": " again, and a "." line between
// two line breaks is an empty line.
std::string DecodeValue(std::string value)
{
    if (value == ".")
        return {};
    if (value.rfind(".\r\n", 0) == 0)
        value.erase(0, 1);
    if (value.size() >= 3 && value.compare(value.size() - 3, 3, "\r\n.") == 0)
        value.erase(value.size() - 1);
    value = ReplaceAll(value, ":_", ": ");
    for (std::size_t at = value.find("\r\n.\r\n"); at != std::string::npos; at = value.find("\r\n.\r\n", at + 2))
        value.erase(at + 2, 1);
    return value;
}

// The entry's version: its first line after "Crashbox ".
std::string EntryVersion(const std::string& entry)
{
    const std::string first = entry.substr(0, entry.find("\r\n"));
    const std::size_t blank = first.find(' ');
    return blank == std::string::npos ? std::string() : first.substr(blank + 1);
}

// The general information of an entry: the numbered sections before the
// caption of the first table.
std::string GeneralXML(const std::string& entry)
{
    std::vector<std::string> lines = SplitLines(entry);
    std::size_t end = lines.size();
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        if (IsDashLine(lines[i]) && lines[i + 1].rfind('|', 0) == 0) {
            end = i - 1; // the caption above the table's border
            break;
        }
    lines.resize(end);
    while (!lines.empty() && Trim(lines.back()).empty())
        lines.pop_back();

    TXMLItem root("General");
    TXMLItem* general = &root;
    TXMLItem* group = nullptr;
    TXMLItem* line = nullptr;
    std::string caption, value;
    auto finishLine = [&] {
        if (line)
            line->AddField("Value", DecodeValue(value));
        line = nullptr;
        value.clear();
    };
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty()) {
            finishLine();
            group = nullptr;
            caption.clear();
            continue;
        }
        if (!group && caption.empty()) {
            caption = trimmed.back() == ':' ? trimmed.substr(0, trimmed.size() - 1) : trimmed;
            continue;
        }
        if (!group && IsDashLine(trimmed))
            continue;
        const std::size_t colon = trimmed.find(": ");
        const bool itemLine = colon != std::string::npos || trimmed.back() == ':';
        if (!itemLine || (line && lines[i].rfind("  ", 0) == 0 && !std::isdigit(uint8_t(trimmed[0])))) {
            if (line)
                value += "\r\n" + trimmed;
            continue;
        }
        finishLine();
        const std::size_t blank = trimmed.find(' ');
        const std::string id = trimmed.substr(0, blank);
        const std::size_t labelEnd = colon != std::string::npos ? colon : trimmed.size() - 1;
        const std::string label = blank == std::string::npos || blank >= labelEnd ? std::string() : Trim(trimmed.substr(blank + 1, labelEnd - blank - 1));
        if (!group) {
            group = general->AddItem("Group");
            group->AddField("ID", id.substr(0, id.find('.')));
            group->AddField("Label", caption);
        }
        line = group->AddItem("Line");
        line->AddField("ID", id);
        line->AddField("Label", label);
        value = colon != std::string::npos ? trimmed.substr(colon + 2) : std::string();
    }
    finishLine();
    return root.XMLText();
}

// Every line but the first and the last indented by two more blanks.
std::string IndentInner(const std::string& text)
{
    std::vector<std::string> lines = SplitLines(text);
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0 && i + 1 != lines.size())
            out += "  ";
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

std::string SystemError(const QFile& file) { return file.errorString().toStdString(); }

} // namespace

TLogFile::TLogFile(const std::string& fileName, bool readOnly) : FFileName(fileName)
{
    if (FFileName.empty())
        return; // a log in memory only
    MakeFileAccessible(FFileName, true, readOnly);
    if (!QFile::exists(QString::fromStdString(FFileName)))
        return;
    FStream = std::make_unique<QFile>(QString::fromStdString(FFileName));
    if (!FStream->open(readOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite))
        throw ELogFileError("Cannot open file \"" + FFileName + "\": " + SystemError(*FStream));
    const QByteArray content = FStream->readAll();
    if (FStream->error() != QFileDevice::NoError)
        throw ELogFileError("Cannot read file \"" + FFileName + "\": " + SystemError(*FStream));
    FList = SplitEntries(content.toStdString());
}

TLogFile::~TLogFile() = default;

std::string TLogFile::NormalizeLineBreaks(const std::string& text)
{
    bool lone = false;
    for (std::size_t i = 0; i < text.size() && !lone; ++i)
        lone = (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) || (text[i] == '\n' && i > 0 && text[i - 1] != '\r');
    if (!lone)
        return text;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> TLogFile::SplitEntries(std::string content)
{
    std::vector<std::string> entries;
    if (content.size() < 8)
        return entries;
    if (content.size() < kSeparator.size() || content.compare(content.size() - kSeparator.size(), kSeparator.size(), kSeparator) != 0)
        content += kSeparator;
    content = NormalizeLineBreaks(content);
    std::size_t start = 0;
    for (std::size_t run = content.find(kSeparator); run != std::string::npos; run = content.find(kSeparator, start)) {
        // A piece keeps three of the run's four line breaks: the entry terminator.
        std::string piece = content.substr(start, run + kLogEntryTerminator.size() - start);
        start = run + kSeparator.size();
        if (piece.find("-\r\n|") != std::string::npos)
            entries.push_back(std::move(piece));
    }
    return entries;
}

void TLogFile::Append(const std::string& log, int maxNum)
{
    if (maxNum != -1 && Count() >= maxNum) {
        const int remove = Count() - maxNum + 1;
        FList.erase(FList.begin(), FList.begin() + std::min(remove, Count()));
    }
    FList.push_back(log + kLogEntryTerminator);
}

void TLogFile::DeleteItem(int itemNumber)
{
    if (itemNumber >= 0 && itemNumber < Count())
        FList.erase(FList.begin() + itemNumber);
}

void TLogFile::Clear() { FList.clear(); }

std::string TLogFile::Text() const
{
    std::string text;
    for (const std::string& entry : FList) {
        text += entry;
        text += "\r\n";
    }
    return text;
}

void TLogFile::Save()
{
    if (!FStream) {
        FStream = std::make_unique<QFile>(QString::fromStdString(FFileName));
        if (!FStream->open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw ELogFileError("Cannot create file \"" + FFileName + "\": " + SystemError(*FStream));
    }
    std::string text = Text();
    // Five CR LF pairs at the end (an entry that ended with its own line break): one fewer.
    if (text.size() >= 10 && text[text.size() - 10] == '\r' && text[text.size() - 9] == '\n')
        text.resize(text.size() - 2);
    if (!FStream->seek(0) || FStream->write(text.data(), qint64(text.size())) != qint64(text.size())
        || !FStream->resize(qint64(text.size())) || !FStream->flush())
        throw ELogFileError("Cannot write file \"" + FFileName + "\": " + SystemError(*FStream));
}

std::string TLogFile::XML() const
{
    std::string entries;
    for (const std::string& entry : FList)
        entries += IndentInner("<Log Version=\"" + XMLEscape(EntryVersion(entry)) + "\">\r\n" + GeneralXML(entry) + "</Log>\r\n");
    return IndentInner("<Doc>\r\n" + entries + "</Doc>\r\n");
}

void TLogFile::SaveXMLCopy(const std::string& fileName) const
{
    const std::string xml = XML();
    QSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(xml.data(), qint64(xml.size())) != qint64(xml.size()) || !file.commit())
        throw ELogFileError("Cannot write file \"" + fileName + "\": " + file.errorString().toStdString());
}

} // namespace cv
