// Also part of THTTPConnectionBase (crashreport/send/web/http_connection.h):
// the connection's field adders live here, built on the form scanner of
// html_forms.h.
#include "crashreport/send/web/html_forms.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "crashreport/core/support/text_routines.h"
#include "crashreport/send/web/http_connection.h"

namespace cv {

namespace {

char LowerChar(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), LowerChar);
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && Lower(a) == Lower(b); }

bool StartsWithNoCaseAt(std::string_view text, std::size_t at, std::string_view prefix)
{
    if (prefix.empty() || text.size() - at < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (LowerChar(text[at + i]) != LowerChar(prefix[i]))
            return false;
    return true;
}

std::string RemoveBlanksAroundEquals(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            std::size_t j = i;
            while (j < text.size() && text[j] == ' ')
                ++j;
            if (j < text.size() && text[j] == '=') {
                i = j - 1;
                continue;
            }
            if (!out.empty() && out.back() == '=') {
                i = j - 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

void AppendUTF8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

const std::vector<std::string_view> kInputStops = {">", "/>"};
const std::vector<std::string_view> kTextAreaStops = {"</textarea>", "/>"};
const std::vector<std::string_view> kSelectStops = {"</select>"};
const std::vector<std::string_view> kOptionStops = {"</option>"};
const std::vector<std::string_view> kAttributeStops = {" ", ">", "/>"};

// The unquoted value of one attribute ("name=", "value=") of a tag's text,
// and where the scan stopped.
std::string Attribute(std::string_view tagText, std::string_view attribute, std::size_t* end = nullptr)
{
    std::string text;
    std::size_t position = 0;
    FindTagText(tagText, attribute, kAttributeStops, text, position);
    if (end)
        *end = position;
    return UnquoteValue(text);
}

std::string DropFinalSlash(std::string text)
{
    if (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

// Walks the tags of one kind; visit gets each tag's text and answers true to stop.
template <typename Visit>
void WalkTags(std::string_view html, std::string_view opener, const std::vector<std::string_view>& stops, Visit visit)
{
    std::size_t position = 0;
    std::string text;
    while (position <= html.size() && FindTagText(html, opener, stops, text, position))
        if (visit(text))
            return;
}

// The options of a select list named name: its text after the name
// attribute, or false when there is no such list.
bool FindSelectList(std::string_view html, std::string_view name, std::string& options)
{
    bool found = false;
    WalkTags(html, "<select ", kSelectStops, [&](const std::string& text) {
        std::size_t end = 0;
        if (!EqualNoCase(Attribute(text, "name=", &end), name))
            return false;
        options = text.substr(std::min(end, text.size()));
        found = true;
        return true;
    });
    return found;
}

} // namespace

bool FindTagText(std::string_view HTML, std::string_view Opener, const std::vector<std::string_view>& Stops,
                 std::string& Text, std::size_t& Position)
{
    Text.clear();
    if (Opener.empty() || Position > HTML.size())
        return false;
    const auto found = std::search(HTML.begin() + std::ptrdiff_t(Position), HTML.end(), Opener.begin(), Opener.end(),
                                   [](char a, char b) { return LowerChar(a) == LowerChar(b); });
    if (found == HTML.end())
        return false;
    const std::size_t at = std::size_t(found - HTML.begin());
    const std::size_t start = at + Opener.size();
    bool inTag = true, inDouble = false, inSingle = false;
    std::size_t i = start;
    for (; i < HTML.size(); ++i) {
        if ((!inDouble && !inSingle) || !inTag) {
            if (std::any_of(Stops.begin(), Stops.end(), [&](std::string_view stop) { return StartsWithNoCaseAt(HTML, i, stop); }))
                break;
        }
        const char c = HTML[i];
        if (!inTag) {
            if (c == '<')
                inTag = true;
        } else if (c == '"' && !inSingle) {
            // A quote of one kind inside a value quoted with the other
            // ("don't") is a plain character.
            inDouble = !inDouble;
        } else if (c == '\'' && !inDouble) {
            inSingle = !inSingle;
        } else if (c == '>' && !inDouble && !inSingle) {
            inTag = false;
        }
    }
    Position = i + 1;
    Text = DecodeHTMLEntities(RemoveBlanksAroundEquals(TrimA(HTML.substr(start, i - start))));
    return true;
}

std::string UnquoteValue(std::string_view S)
{
    if (!S.empty() && (S.front() == '"' || S.front() == '\''))
        S.remove_prefix(1);
    if (!S.empty() && (S.back() == '"' || S.back() == '\''))
        S.remove_suffix(1);
    return std::string(S);
}

std::string DecodeHTMLEntities(std::string_view S)
{
    std::string text(S);
    static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
        {"&amp;", "&"}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&apos;", "'"},
    };
    for (const auto& [entity, character] : kNamed)
        if (text.find(entity) != std::string::npos)
            text = ReplaceAllA(text, entity, character);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 2 < text.size() && text[i + 1] == '#') {
            std::size_t j = i + 2;
            char32_t code = 0;
            while (j < text.size() && j - i < 10 && std::isdigit(static_cast<unsigned char>(text[j])))
                code = code * 10 + char32_t(text[j++] - '0');
            if (j > i + 2 && j < text.size() && text[j] == ';' && code > 0 && code <= 0x10FFFF &&
                !(code >= 0xD800 && code <= 0xDFFF)) {
                AppendUTF8(out, code);
                i = j;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool GetInputValue(std::string_view HTML, std::string_view Name, std::string& Value)
{
    bool found = false;
    WalkTags(HTML, "<input ", kInputStops, [&](const std::string& tag) {
        const std::string text = DropFinalSlash(tag);
        if (!EqualNoCase(Attribute(text, "name="), Name))
            return false;
        std::string value = Attribute(text, "value=");
        if (value.empty())
            return false;
        Value = std::move(value);
        found = true;
        return true;
    });
    return found;
}

bool GetTextAreaValue(std::string_view HTML, std::string_view Name, std::string& Value)
{
    bool found = false;
    WalkTags(HTML, "<textarea ", kTextAreaStops, [&](const std::string& tag) {
        const std::string text = DropFinalSlash(tag);
        if (!EqualNoCase(Attribute(text, "name="), Name))
            return false;
        const std::size_t close = text.find('>');
        if (close != std::string::npos) {
            Value = TrimA(text.substr(close + 1));
            found = true;
        }
        return true;
    });
    return found;
}

bool GetSelectedOptionValue(std::string_view HTML, std::string_view Name, std::string& Value)
{
    std::string options;
    if (!FindSelectList(HTML, Name, options))
        return false;
    WalkTags(options, "<option ", kOptionStops, [&](const std::string& option) {
        if (Lower(option).find("selected") == std::string::npos)
            return false;
        Value = Attribute(option, "value=");
        return true;
    });
    return true;
}

bool GetSelectOptionByTitle(std::string_view HTML, std::string_view Name, std::string_view Title, std::string& Value)
{
    std::string options;
    if (!FindSelectList(HTML, Name, options))
        return false;
    WalkTags(options, "<option ", kOptionStops, [&](const std::string& option) {
        std::size_t end = 0;
        std::string value = Attribute(option, "value=", &end);
        std::string title;
        // From the character that ended the value: a ">" right after it
        // must stay to mark where the shown text starts.
        const std::string_view after = std::string_view(option).substr(std::min(end == 0 ? 0 : end - 1, option.size()));
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (after[i] == '&') {
                while (i < after.size() && after[i] != ' ')
                    ++i;
                if (i == after.size())
                    break;
            }
            title += after[i];
        }
        const std::size_t close = title.find('>');
        title = close == std::string::npos ? std::string() : TrimA(title.substr(close + 1));
        if (!EqualNoCase(title, Title))
            return false;
        Value = std::move(value);
        return true;
    });
    return true;
}

bool HasOptionValue(std::string_view HTML, std::string_view Value)
{
    bool found = false;
    WalkTags(HTML, "<option ", kOptionStops, [&](const std::string& option) {
        found = Attribute(option, "value=") == Value;
        return found;
    });
    return found;
}

void ExtractTokenAfter(std::string_view Text, std::string_view Marker, int Occurrence, std::string& Value)
{
    Value.clear();
    const std::string text = Lower(Text);
    const std::string marker = Lower(Marker);
    std::size_t from = 0;
    if (Occurrence >= 1) {
        std::size_t at = std::string::npos;
        for (int n = 0; n < Occurrence; ++n) {
            at = marker.empty() ? std::string::npos : text.find(marker, from);
            if (at == std::string::npos)
                return;
            from = at + marker.size();
        }
    }
    static constexpr std::string_view kEnds = " \"&'<>\\";
    for (std::size_t i = from; i < text.size() && kEnds.find(text[i]) == std::string_view::npos; ++i)
        Value += text[i];
}

void AddOptionalField(const std::string& Text, const std::string& Extra, std::string& Result)
{
    Result = Extra.empty() ? Text : Text + "\r\n\r\n---\r\n\r\n" + Extra;
}

// --- The connection's field adders ---

void THTTPConnectionBase::AddField(const std::string& Name, const std::string& Value) { Fields.push_back(Name + "=" + Value); }

void THTTPConnectionBase::AddCustomFields(const TNameValueList& List)
{
    // The last four lines are the library's own fields, sent by the uploaders themselves.
    constexpr std::size_t kStandardFields = 4;
    if (List.size() <= kStandardFields)
        return;
    for (std::size_t i = 0; i < List.size() - kStandardFields; ++i) {
        const std::string name = ListItemName(List[i]);
        std::erase_if(Fields, [&](const std::string& field) { return ListItemName(field) == name; });
        AddField(name, ListItemValue(List[i]));
    }
}

void THTTPConnectionBase::AddFieldValue(const std::string& Name)
{
    std::string value;
    if (GetInputValue(FResponse->HTML, Name, value))
        AddField(Name, value);
}

void THTTPConnectionBase::AddFieldByTextArea(const std::string& Name)
{
    std::string value;
    if (GetTextAreaValue(FResponse->HTML, Name, value))
        AddField(Name, value);
}

void THTTPConnectionBase::AddFieldByDefaultList(const std::string& Name)
{
    std::string value;
    if (GetSelectedOptionValue(FResponse->HTML, Name, value))
        AddField(Name, value);
    else
        AddFieldValue(Name);
}

void THTTPConnectionBase::AddFieldByDefaultList2(const std::string& Name)
{
    std::string value;
    if (!GetSelectedOptionValue(FResponse->HTML, Name, value))
        AddFieldValue(Name);
    else if (!value.empty())
        AddField(Name, value);
}

void THTTPConnectionBase::AddFieldByListTitle(const std::string& Name, const std::string& Title)
{
    std::string value;
    if (GetSelectOptionByTitle(FResponse->HTML, Name, Title, value))
        AddField(Name, value);
}

void THTTPConnectionBase::AddVersionTitleField(const std::string& Name, const std::string& Version, const std::string& Text,
                                               const std::string& Detail)
{
    AddField(Name, "[v" + Version + " - 1]: " + Text + " (" + Detail + ")");
}

void THTTPConnectionBase::AddDetailField(const std::string& Name, const std::string& Detail, const std::string& Text)
{
    AddField(Name, Text + " (" + Detail + ")");
}

bool THTTPConnectionBase::AddIncrementedField(const std::string& Name)
{
    std::string value;
    GetInputValue(FResponse->HTML, Name, value);
    const std::size_t dash = value.find(" - ");
    if (dash != std::string::npos) {
        const std::size_t start = dash + 3;
        const std::size_t close = value.find(']', start);
        const std::size_t end = close == std::string::npos ? value.size() : close;
        const std::string number = value.substr(start, end - start);
        const bool negative = !number.empty() && number.front() == '-';
        const std::string_view digits = std::string_view(number).substr(negative || number.starts_with("+") ? 1 : 0);
        if (!digits.empty() && digits.size() <= 9 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            const long count = (negative ? -1 : 1) * std::stol(std::string(digits));
            if (count >= 9999)
                return false;
            value.replace(start, end - start, std::to_string(count + 1));
        }
    }
    AddField(Name, value);
    return true;
}

bool THTTPConnectionBase::IsSuccessfulSend(const std::string& Page, const std::string& MustContain,
                                           const std::string& MustNotContain) const
{
    if (!Page.empty() && !EqualNoCase(Page, FResponse->ReplayPage))
        return false;
    const std::string page = Lower(FResponse->HTML);
    if (!MustContain.empty() && page.find(Lower(MustContain)) == std::string::npos)
        return false;
    if (!MustNotContain.empty())
        return page.find(Lower(MustNotContain)) == std::string::npos;
    return true;
}

} // namespace cv
