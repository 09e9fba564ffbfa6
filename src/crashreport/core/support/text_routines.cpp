#include "crashreport/core/support/text_routines.h"

#include <charconv>
#include <cstring>

namespace cv {

TCharSet MakeCharSet(std::string_view members)
{
    TCharSet set;
    for (const char c : members)
        set.set(static_cast<unsigned char>(c));
    return set;
}

std::string TrimA(std::string_view text)
{
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && static_cast<unsigned char>(text[start]) <= ' ')
        ++start;
    while (end > start && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(start, end - start));
}

void SplitStringToList(const std::string& text, std::vector<std::string>& list, const TCharSet& delimiters,
                       bool noTrim, bool addEmpty)
{
    const std::string s = noTrim ? text : TrimA(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!delimiters.test(static_cast<unsigned char>(s[i])))
            continue;
        // Without trimming a piece keeps its delimiter.
        std::string piece = noTrim ? s.substr(start, i + 1 - start) : TrimA(std::string_view(s).substr(start, i - start));
        if (!piece.empty() || addEmpty)
            list.push_back(std::move(piece));
        start = i + 1;
    }
    std::string last = noTrim ? s.substr(start) : TrimA(std::string_view(s).substr(start));
    if (!last.empty())
        list.push_back(std::move(last));
}

void ExtractTrimmedStrings(const TCharSet& delimiters, const std::string& text, std::vector<std::string>& list)
{
    std::size_t i = 0;
    while (i < text.size() && delimiters.test(static_cast<unsigned char>(text[i])))
        ++i;
    std::size_t start = i;
    for (; i < text.size(); ++i) {
        if (delimiters.test(static_cast<unsigned char>(text[i]))) {
            list.push_back(TrimA(std::string_view(text).substr(start, i - start)));
            start = i + 1;
        }
    }
    std::string last = TrimA(std::string_view(text).substr(std::min(start, text.size())));
    if (!last.empty())
        list.push_back(std::move(last));
}

int PosFromA(std::string_view sub, std::string_view text, int from)
{
    if (sub.empty())
        return 0;
    const std::size_t start = from < 1 ? 0 : std::size_t(from - 1);
    if (start >= text.size())
        return 0;
    const auto at = text.find(sub, start);
    return at == std::string_view::npos ? 0 : int(at + 1);
}

std::string ReplaceAllA(std::string_view text, std::string_view oldText, std::string_view newText)
{
    if (oldText.empty())
        return std::string(text);
    std::size_t count = 0;
    for (auto at = text.find(oldText); at != std::string_view::npos; at = text.find(oldText, at + oldText.size()))
        ++count;
    std::string result;
    result.reserve(text.size() - count * oldText.size() + count * newText.size());
    std::size_t start = 0;
    for (auto at = text.find(oldText); at != std::string_view::npos; at = text.find(oldText, start)) {
        result.append(text.substr(start, at - start));
        result.append(newText);
        start = at + oldText.size();
    }
    result.append(text.substr(start));
    return result;
}

std::vector<std::string_view> SplitTextLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r')
            ++start;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::string FloatToDotStr(double value)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::optional<double> DotStrToFloat(std::string_view text)
{
    const std::string trimmed = TrimA(text);
    double value = 0;
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [at, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || at != end || begin == end)
        return std::nullopt;
    return value;
}

} // namespace cv
