#include "crashreport/core/support/crashbox_texts.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <unistd.h>

#include <cstdlib>

namespace cv {

namespace {

struct TMessageEntry {
    std::string_view name;
    std::string_view text;
};

constexpr TMessageEntry kMessages[] = {
#define CV_CRASHBOX_MESSAGE_ENTRY(name, text) {#name, text},
    CV_CRASHBOX_MESSAGE_TYPES(CV_CRASHBOX_MESSAGE_ENTRY)
#undef CV_CRASHBOX_MESSAGE_ENTRY
};
static_assert(std::size(kMessages) == std::size_t(kMessageTypeCount));

bool IsNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool SameAsciiText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    return true;
}

std::string VariableValue(const std::string& name)
{
    if (const char* value = std::getenv(name.c_str()); value && *value)
        return value;
    if (SameAsciiText(name, "date"))
        return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    if (SameAsciiText(name, "time"))
        return QLocale::system().toString(QTime::currentTime(), QLocale::ShortFormat).toStdString();
    if (SameAsciiText(name, "cd")) {
        std::string folder(4096, '\0');
        if (getcwd(folder.data(), folder.size()))
            return folder.c_str();
    }
    return {};
}

} // namespace

std::string_view MessageTypeName(TMessageType index)
{
    return index < kMessageTypeCount ? kMessages[index].name : std::string_view();
}

std::string_view DefaultMessageText(TMessageType index)
{
    return index < kMessageTypeCount ? kMessages[index].text : std::string_view();
}

const TCustomizedTexts& DefaultCustomizedTexts()
{
    static const TCustomizedTexts texts = [] {
        TCustomizedTexts t;
        for (int i = 0; i < kMessageTypeCount; ++i)
            t[std::size_t(i)] = std::string(kMessages[i].text);
        return t;
    }();
    return texts;
}

std::string ExpandVariables(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            result += text[i++];
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && IsNameChar(text[end]))
            ++end;
        if (end < text.size() && text[end] == '%') {
            result += VariableValue(std::string(text.substr(i + 1, end - i - 1)));
            i = end + 1;
        } else {
            // Not a variable: the "%" and the name-like characters stay.
            result.append(text.substr(i, end - i));
            i = end;
        }
    }
    return result;
}

} // namespace cv
