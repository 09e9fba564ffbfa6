#include "crashreport/dialogs/rtf_colouring.h"

#include <algorithm>
#include <string>
#include <vector>

#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/utf_conversion.h"

namespace cv {

namespace {

// RTF text of one line (no line breaks in it).
std::string RtfEscape(std::string_view text)
{
    std::string rtf;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\\' || c == '{' || c == '}') {
            rtf += '\\';
            rtf += c;
            ++i;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            rtf += c;
            ++i;
            continue;
        }
        char32_t point = 0xFFFD;
        const std::size_t n = Utf8CharAt(text, i, &point);
        i += n == 0 ? 1 : n;
        std::u16string units;
        if (point >= 0x10000) {
            units += char16_t(0xD800 + ((point - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            units += char16_t(point);
        }
        for (const char16_t unit : units)
            rtf += "\\u" + std::to_string(int16_t(unit)) + "?";
    }
    return rtf;
}

// The text's lines, each ended by CR LF, LF or CR (the break kept apart).
struct TTextLine {
    std::string_view text;
    std::string_view lineBreak;
};

std::vector<TTextLine> LinesWithBreaks(std::string_view text)
{
    std::vector<TTextLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const std::size_t breakLength = text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({text.substr(start, end - start), text.substr(end, breakLength)});
        start = end + breakLength;
    }
    return lines;
}

} // namespace

std::string TextToRTF(std::string_view text)
{
    std::string rtf;
    for (const TTextLine& line : LinesWithBreaks(text)) {
        rtf += RtfEscape(line.text);
        if (!line.lineBreak.empty())
            rtf += "\\par" + std::string(line.lineBreak);
    }
    return rtf;
}

namespace {

std::string RtfHeader(const TRTFFont& font)
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset" +
           std::to_string(font.charset) + " " + RtfEscape(font.name) +
           ";}}\r\n{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
           "\\red0\\green0\\blue160;\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}"
           "\r\n\\f0\\fs" +
           std::to_string(font.pointSize * 2) + "\r\n";
}

std::string Coloured(int colour, std::string_view text, bool bold = false)
{
    if (text.empty())
        return {};
    return std::string("{") + (bold ? "\\b" : "") + "\\cf" + std::to_string(colour) + " " + RtfEscape(text) + "}";
}

bool IsCaption(std::string_view line)
{
    const auto colon = line.find(':');
    return !line.empty() && line[0] != ' ' && colon == line.size() - 1;
}

bool IsRule(std::string_view line)
{
    return !line.empty() && line.find_first_not_of("- ") == std::string_view::npos && line.find('-') != line.npos;
}

// The whole document from the lines, each coloured by `colour`.
template <typename Colour>
std::string RtfDocument(std::string_view text, const TRTFFont& font, const std::string& paragraph, Colour colour)
{
    std::string rtf = RtfHeader(font) + paragraph;
    for (const TTextLine& line : LinesWithBreaks(text))
        rtf += colour(line.text) + "\\par\r\n";
    return rtf + "}";
}

// Splits "first rest" at the first blank.
std::pair<std::string_view, std::string_view> FirstWord(std::string_view value)
{
    const auto blank = value.find(' ');
    if (blank == std::string_view::npos)
        return {value, {}};
    return {value.substr(0, blank), value.substr(blank)};
}

} // namespace

std::string GeneralTextToRTF(std::string_view text, const TRTFFont& font)
{
    return RtfDocument(text, font, "", [](std::string_view line) -> std::string {
        if (IsCaption(line) || IsRule(line))
            return Coloured(1, line, true);
        // "  S.I Label   : value"
        const auto colon = line.find(": ");
        if (line.substr(0, 2) == "  " && line.size() > 2 && line[2] != ' ' && colon != std::string_view::npos) {
            const std::string_view item = line.substr(2);
            const auto blank = item.find(' ');
            const std::string_view number = item.substr(0, std::min(blank, colon - 2));
            const std::string_view label = line.substr(2 + number.size(), colon - 2 - number.size());
            const auto [first, rest] = FirstWord(line.substr(colon + 2));
            return "  " + Coloured(5, number) + Coloured(3, label, true) + Coloured(3, ": ", true) + Coloured(4, first) +
                   Coloured(2, rest);
        }
        return Coloured(2, line);
    });
}

std::string AssemblerTextToRTF(std::string_view text, const TRTFFont& font)
{
    return RtfDocument(text, font, "", [](std::string_view line) -> std::string {
        if (IsCaption(line) || IsRule(line))
            return Coloured(1, line, true);
        if (!line.empty() && line[0] == ';')
            return Coloured(6, line);
        const bool exceptionLine = line.find("<-- EXCEPTION") != std::string_view::npos;
        const auto semicolon = line.find(';');
        const std::string_view code = line.substr(0, semicolon);
        const std::string_view comment = semicolon == std::string_view::npos ? std::string_view() : line.substr(semicolon);
        const auto [address, instruction] = FirstWord(code);
        if (exceptionLine)
            return Coloured(5, address, true) + Coloured(5, instruction, true) + Coloured(7, comment, true);
        return Coloured(4, address) + Coloured(2, instruction) + Coloured(6, comment);
    });
}

std::string CPUTextToRTF(std::string_view text, const TRTFFont& font)
{
    // Tab stops after the register pairs and the stack column, in twips of
    // the font's fixed character width (about 0.6 of its size).
    const int charTwips = std::max(1, font.pointSize * 12);
    std::string stops = "\\pard";
    for (const int column : {21, 42, 63, 84})
        stops += "\\tx" + std::to_string(column * charTwips);
    stops += "\r\n";
    return RtfDocument(text, font, stops, [](std::string_view line) -> std::string {
        if (IsCaption(line) || IsRule(line) || (line.find(":  ") != line.npos && line.back() == ':'))
            return Coloured(1, line, true);
        // Register pairs "EAX: 0000000A   EDI: 00000000": names, values, tabs.
        std::string rtf;
        std::size_t at = 0;
        bool registers = true;
        while (at < line.size() && registers) {
            const auto colon = line.find(": ", at);
            if (colon == std::string_view::npos || colon - at > 4 || colon == at) {
                registers = false;
                break;
            }
            const auto end = line.find(' ', colon + 2);
            const std::string_view name = line.substr(at, colon + 1 - at);
            const std::string_view value = line.substr(colon + 2, end == std::string_view::npos ? end : end - colon - 2);
            if (!rtf.empty())
                rtf += "\\tab ";
            rtf += Coloured(3, name, true) + " " + Coloured(4, value);
            at = end == std::string_view::npos ? line.size() : line.find_first_not_of(' ', end);
            if (at == std::string_view::npos)
                at = line.size();
        }
        if (registers && !rtf.empty())
            return rtf;
        // Dump lines "SSSS: VVVV DDDD: bytes  chars".
        const auto firstColon = line.find(": ");
        const auto secondColon = firstColon == line.npos ? line.npos : line.find(": ", firstColon + 2);
        if (secondColon != std::string_view::npos) {
            const std::string_view stack = line.substr(0, firstColon + 1);
            const std::string_view middle = line.substr(firstColon + 2, secondColon - firstColon - 2);
            const auto [value, dumpAddress] = FirstWord(middle);
            const std::string_view dump = line.substr(secondColon + 2);
            const auto gap = dump.find("  ");
            const std::string_view bytes = dump.substr(0, gap);
            const std::string_view chars = gap == std::string_view::npos ? std::string_view() : dump.substr(gap);
            return Coloured(4, stack) + " " + Coloured(2, value) + "\\tab " + Coloured(4, TrimA(dumpAddress) + ":") +
                   " " + Coloured(5, bytes) + Coloured(2, chars);
        }
        return Coloured(2, line);
    });
}

} // namespace cv
