#include "crashreport/core/report/xml_builder.h"

#include "files/save_file.h"

namespace cv {

namespace {

void AppendReference(std::string& out, uint32_t code)
{
    std::string digits = std::to_string(code);
    out += "&#";
    if (digits.size() < 3)
        out.append(3 - digits.size(), '0');
    out += digits;
    out += ';';
}

// The code point of the UTF-8 sequence at text[at], and its length; a byte
// that does not start a sound sequence stands for itself (as in Latin-1).
uint32_t DecodeOne(std::string_view text, std::size_t at, std::size_t& length)
{
    const uint8_t lead = uint8_t(text[at]);
    length = 1;
    int extra = 0;
    uint32_t code = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        code = lead & 0x07;
    } else {
        return lead;
    }
    if (at + std::size_t(extra) >= text.size())
        return lead;
    for (int k = 1; k <= extra; ++k) {
        const uint8_t next = uint8_t(text[at + std::size_t(k)]);
        if ((next & 0xC0) != 0x80)
            return lead;
        code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) || (code >= 0xD800 && code <= 0xDFFF))
        return lead;
    length = std::size_t(extra) + 1;
    return code;
}

} // namespace

std::string XMLEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length;
        const uint32_t code = DecodeOne(text, at, length);
        at += length;
        if (code < 32 && code != 9 && code != 10 && code != 13)
            out += '?';
        else if (code < 32 || code >= 127 || code == '"' || code == '&' || code == '\'' || code == '<' || code == '>')
            AppendReference(out, code);
        else
            out += char(code);
    }
    return out;
}

TXMLItems::~TXMLItems()
{
    while (!m_items.empty())
        m_items.pop_back();
}

TXMLItem* TXMLItems::AddItem(const std::string& name) { return Add(std::make_unique<TXMLItem>(name)); }

TXMLItem* TXMLItems::Add(std::unique_ptr<TXMLItem> item)
{
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

TXMLItem::TXMLItem(const std::string& name) : FName(name) {}

void TXMLItem::SetValue(const std::string& value)
{
    if (value == FValue)
        return;
    FValue = value;
    FEncodedValue = XMLEscape(value);
}

TXMLItem* TXMLItem::AddItem(const std::string& name)
{
    TXMLItem* item = FItems.AddItem(name);
    item->FParent = this;
    return item;
}

void TXMLItem::AddField(const std::string& name, const std::string& value)
{
    FFields += ' ';
    FFields += name;
    FFields += "=\"";
    FFields += XMLEscape(value);
    FFields += '"';
}

void TXMLItem::Render(std::string& out) const
{
    out += FSpaces;
    out += '<';
    out += FName;
    out += FFields;
    if (FEncodedValue.empty() && FItems.Count() == 0) {
        out += "/>\r\n";
        return;
    }
    out += '>';
    out += FEncodedValue;
    if (FItems.Count() > 0) {
        out += "\r\n";
        for (int i = 0; i < FItems.Count(); ++i) {
            const TXMLItem* child = FItems.Item(i);
            child->FSpaces = FSpaces + "  ";
            child->Render(out);
        }
        out += FSpaces;
    }
    out += "</";
    out += FName;
    out += ">\r\n";
}

std::string TXMLItem::XMLText() const
{
    std::string out;
    Render(out);
    return out;
}

bool TXMLItem::SaveXMLToFile(const std::string& fileName, std::string* error) const
{
    // Through a list of lines: whatever line breaks the text holds, each line ends in CR LF.
    const std::string text = XMLText();
    std::string lines;
    lines.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.append(text, start, end - start);
        lines += "\r\n";
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    TSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(lines.data(), qint64(lines.size())) != qint64(lines.size())
        || !file.commit()) {
        if (error)
            *error = "Cannot write file \"" + fileName + "\": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace cv
