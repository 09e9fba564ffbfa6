#include "crashreport/core/report/log_file.h"

#include "files/save_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "crashreport/core/report/log_file_text.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"

namespace cv {

const std::string kLogEntryTerminator = "\r\n\r\n\r\n";

namespace logtext {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kCRLF, start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::string JoinLines(const std::vector<std::string>& lines, std::size_t from, std::size_t to)
{
    to = std::min(to, lines.size());
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (i != from)
            text += kCRLF;
        text += lines[i];
    }
    return text;
}

std::string Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool IsDashLine(std::string_view line)
{
    return !line.empty() && line.find_first_not_of('-') == std::string_view::npos;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string EncodeItemValue(std::string_view value, std::string_view indent)
{
    if (value.find(kCRLF) == std::string_view::npos)
        return std::string(value);
    const std::string escaped = ReplaceAll(std::string(value), ": ", ":_");
    std::string out;
    bool first = true;
    // A final line break adds no empty line.
    for (std::string_view line : SplitTextLines(escaped)) {
        if (!first) {
            out += kCRLF;
            out += indent;
        }
        out += TrimA(line).empty() ? std::string_view(".") : line;
        first = false;
    }
    return out;
}

bool IsItemLine(std::string_view line)
{
    return line.size() >= 4 && line[0] == ' ' && line[1] == ' ' && line[3] != ' ';
}

} // namespace logtext

using namespace logtext;

namespace {

const std::string kSeparator = "\r\n\r\n\r\n\r\n";

// A line that opens a section: its first ":" is its last character. Item and
// value lines begin with blanks, so a value line that happens to end in ":"
// is never taken for one.
bool IsCaptionLine(std::string_view line)
{
    return !line.empty() && line.front() != ' ' && line.find(':') == line.size() - 1;
}

// The end of the lines of a section that starts two lines below its caption.
std::size_t SectionEnd(const std::vector<std::string>& lines, std::size_t first)
{
    std::size_t end = first;
    while (end < lines.size() && !lines[end].empty())
        ++end;
    return end;
}

// Where the value that starts at valueStart ends: before the line break
// that precedes an empty line, the next item line, or a line that does not
// start with a blank (the caption of what follows the general information:
// a value's own lines are always indented), or at the text's end.
std::size_t ValueEnd(const std::string& entry, std::size_t valueStart)
{
    std::size_t pos = valueStart;
    for (;;) {
        const std::size_t lineBreak = entry.find(kCRLF, pos);
        if (lineBreak == std::string::npos)
            return entry.size();
        const std::size_t next = lineBreak + 2;
        const std::size_t nextEnd = std::min(entry.find(kCRLF, next), entry.size());
        const std::string_view nextLine = std::string_view(entry).substr(next, nextEnd - next);
        if (nextLine.empty() || IsItemLine(nextLine) || nextLine.front() != ' ')
            return lineBreak;
        pos = next;
    }
}

struct TItemPlace {
    std::size_t line = std::string::npos; // the line's first character
    std::size_t value = 0;                // the value's first character
    bool found() const { return line != std::string::npos; }
};

// The item's line: the first "CR LF, two blanks, id, blank" in the entry,
// its value after the first ": " on that line.
TItemPlace FindItemPlace(const std::string& entry, std::string_view id)
{
    TItemPlace place;
    const std::string key = "\r\n  " + std::string(id) + " ";
    // A line that only looks like the item (no ": " on it) is passed over.
    for (std::size_t at = entry.find(key); at != std::string::npos; at = entry.find(key, at + 2)) {
        const std::size_t lineEnd = std::min(entry.find(kCRLF, at + 2), entry.size());
        const std::size_t colon = entry.find(": ", at + 2);
        if (colon == std::string::npos || colon >= lineEnd)
            continue;
        place.line = at + 2;
        place.value = colon + 2;
        break;
    }
    return place;
}

// An appended report as the loader would give it back (see Append).
std::string StoredEntry(const std::string& log)
{
    std::string entry = TLogFile::NormalizeLineBreaks(log);
    for (std::size_t at = entry.find(kSeparator); at != std::string::npos; at = entry.find(kSeparator, at))
        entry.erase(at + kLogEntryTerminator.size(), 2);
    while (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, kCRLF) == 0)
        entry.resize(entry.size() - 2);
    return entry + kLogEntryTerminator;
}

} // namespace

// --- TLogItem ---

TLogItem::TLogItem(int32_t firstHeader) : FFirstHeader(firstHeader) { Clear(); }

void TLogItem::Clear()
{
    FString.clear();
    FHeaderNo = FFirstHeader;
    FItemNo = 0;
}

void TLogItem::AddHeader(const std::string& header)
{
    ++FHeaderNo;
    FItemNo = 0;
    if (!FString.empty())
        FString += "\r\n\r\n";
    FString += header;
    FString += ":\r\n-";
}

void TLogItem::AddItem(const std::string& item, const std::string& value, bool add)
{
    ++FItemNo;
    if (!add)
        return;
    FString += kCRLF;
    FString += "  " + std::to_string(FHeaderNo) + "." + std::to_string(FItemNo) + " " + item + ": ";
    // The indentation to the value column is added by Value.
    FString += EncodeItemValue(TLogFile::NormalizeLineBreaks(value), " ");
}

std::string TLogItem::Value() const
{
    std::vector<std::string> lines = SplitLines(FString);

    // Sections without items go, with their caption, dash line and the blank line after them.
    for (std::size_t i = 0; i < lines.size();) {
        if (!IsCaptionLine(lines[i])) {
            ++i;
            continue;
        }
        if (i + 2 >= lines.size() || lines[i + 2].empty())
            lines.erase(lines.begin() + std::ptrdiff_t(i), lines.begin() + std::ptrdiff_t(std::min(i + 3, lines.size())));
        else
            i += 3;
    }
    // The last section gone: no blank line after the one before it.
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();

    for (std::size_t c = 0; c + 1 < lines.size(); ++c) {
        if (!IsCaptionLine(lines[c]) || !IsDashLine(lines[c + 1]))
            continue;
        const std::size_t first = c + 2, end = SectionEnd(lines, first);
        // The ": " of every item in one column (counted from 1); value lines
        // below an item move with it.
        std::size_t column = 0;
        for (std::size_t k = first; k < end; ++k)
            if (const std::size_t p = lines[k].find(": "); p != std::string::npos)
                column = std::max(column, p + 1);
        std::size_t width = 0;
        for (std::size_t k = first; k < end; ++k) {
            std::string& line = lines[k];
            if (const std::size_t p = line.find(": "); p != std::string::npos)
                line.insert(p, column - (p + 1), ' ');
            else
                line.insert(0, column, ' ');
            width = std::max(width, line.size());
        }
        lines[c + 1].assign(width, '-');
    }
    return JoinLines(lines);
}

// --- TLogFile ---

TLogFile::TLogFile(const std::string& fileName, bool readOnly) : FFileName(fileName)
{
    if (FFileName.empty())
        return; // a log in memory only
    MakeFileAccessible(FFileName, true, readOnly);
    // Only a regular file is a log: a named pipe or a device in its place
    // would hold the report up for good.
    std::string content;
    int error = 0;
    if (!ReadFileText(FFileName, content, &error)) {
        if (error == ENOENT)
            return;
        throw ELogFileError("Cannot open file \"" + FFileName + "\": " + FileErrorText(error), FileErrorText(error));
    }
    FList = SplitEntries(std::move(content));
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

std::string TLogFile::EntryVersion(const std::string& entry)
{
    const std::string first = entry.substr(0, entry.find(kCRLF));
    const std::size_t blank = first.find(' ');
    return blank == std::string::npos ? std::string() : first.substr(blank + 1);
}

void TLogFile::Append(const std::string& log, int maxNum)
{
    if (maxNum != -1 && Count() >= maxNum) {
        const int remove = Count() - maxNum + 1;
        FList.erase(FList.begin(), FList.begin() + std::min(remove, Count()));
    }
    FList.push_back(StoredEntry(log));
}

void TLogFile::ReplaceItem(int itemNumber, const std::string& log)
{
    if (itemNumber >= 0 && itemNumber < Count())
        FList[std::size_t(itemNumber)] = StoredEntry(log);
}

void TLogFile::DeleteItem(int itemNumber)
{
    if (itemNumber >= 0 && itemNumber < Count())
        FList.erase(FList.begin() + itemNumber);
}

void TLogFile::Clear() { FList.clear(); }

int TLogFile::FindItem(const std::vector<std::string>& ids, const std::vector<std::string>& values) const
{
    int result = -1;
    const std::size_t pairs = std::min(ids.size(), values.size());
    for (int i = 0; i < Count(); ++i) {
        const std::string& entry = FList[std::size_t(i)];
        for (std::size_t j = 0; j < pairs; ++j) {
            const TItemPlace place = FindItemPlace(entry, ids[j]);
            if (!place.found())
                continue;
            // The wanted value as it would be stored at this item's value column.
            const std::string wanted =
                EncodeItemValue(NormalizeLineBreaks(values[j]), std::string(place.value - place.line, ' ')) + "\r\n";
            if (entry.compare(place.value, wanted.size(), wanted) == 0) {
                result = i;
                break;
            }
        }
    }
    return result;
}

std::string TLogFile::GetItemValue(const std::string& id, int itemNumber) const
{
    if (itemNumber < 0 || itemNumber >= Count())
        return {};
    const std::string& entry = FList[std::size_t(itemNumber)];
    const TItemPlace place = FindItemPlace(entry, id);
    if (!place.found())
        return {};
    const std::size_t end = ValueEnd(entry, place.value);
    std::string value;
    for (std::size_t i = place.value; i < end; ++i) {
        if (entry[i] != '\r') {
            value += entry[i];
        } else if (i + 1 < end && entry[i + 1] == '\n') {
            value += kCRLF;
            for (i += 2; i < end && entry[i] == ' ';)
                ++i;
            --i;
        } // a lone CR is dropped
    }
    value = ReplaceAll(std::move(value), ":_", ": ");
    std::vector<std::string> lines = SplitLines(value);
    for (std::string& line : lines)
        if (line == ".")
            line.clear();
    return TrimA(JoinLines(lines));
}

void TLogFile::SetItemValue(const std::string& id, const std::string& value, const std::string& caption, int itemNumber)
{
    if (itemNumber < 0 || itemNumber >= Count())
        return;
    std::string entry = FList[std::size_t(itemNumber)];
    const std::string normalized = NormalizeLineBreaks(value);
    if (const TItemPlace place = FindItemPlace(entry, id); place.found()) {
        const std::size_t end = ValueEnd(entry, place.value);
        entry.replace(place.value, end - place.value, EncodeItemValue(normalized, std::string(place.value - place.line, ' ')));
        if (entry.size() < kLogEntryTerminator.size()
            || entry.compare(entry.size() - kLogEntryTerminator.size(), kLogEntryTerminator.size(), kLogEntryTerminator) != 0)
            entry += kCRLF;
        FList[std::size_t(itemNumber)] = std::move(entry);
        return;
    }
    // A new item of the section goes after the section's last item.
    const std::size_t dot = id.find('.');
    if (dot == std::string::npos)
        return;
    const std::string section = id.substr(0, dot + 1);
    TItemPlace last;
    for (int k = 1; k <= 19; ++k)
        if (const TItemPlace place = FindItemPlace(entry, section + std::to_string(k)); place.found())
            last = place;
    if (!last.found())
        return;
    const std::size_t lastEnd = ValueEnd(entry, last.value);
    if (lastEnd >= entry.size() || entry.find("\r\n\r\n", lastEnd) == std::string::npos)
        return;
    // The label padded to the width of the last item's number and label.
    const std::size_t labelWidth = last.value - 2 - (last.line + 2);
    std::string label = id + " " + caption;
    if (label.size() < labelWidth)
        label.append(labelWidth - label.size(), ' ');
    const std::string indent(2 + label.size() + 2, ' ');
    entry.insert(lastEnd + 2, "  " + label + ": " + EncodeItemValue(normalized, indent) + "\r\n");
    FList[std::size_t(itemNumber)] = std::move(entry);
}

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
    if (FFileName.empty())
        throw ELogFileError("Cannot write a log that has no file");
    std::string text = Text();
    // Five CR LF pairs at the end (an entry that ended with its own line break): one fewer.
    if (text.size() >= 10 && text[text.size() - 10] == '\r' && text[text.size() - 9] == '\n')
        text.resize(text.size() - 2);
    // Never rewritten in place: a write that fails half-way (a full disk)
    // would leave the earlier reports cut.
    if (const int error = ReplaceFileContents(FFileName, text); error != 0)
        throw ELogFileError("Cannot write file \"" + FFileName + "\": " + FileErrorText(error), FileErrorText(error));
}

void TLogFile::SaveXMLCopy(const std::string& fileName) const
{
    const std::string xml = XML();
    TSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(xml.data(), qint64(xml.size())) != qint64(xml.size()) || !file.commit())
        throw ELogFileError("Cannot write file \"" + fileName + "\": " + file.errorString().toStdString());
}

} // namespace cv
