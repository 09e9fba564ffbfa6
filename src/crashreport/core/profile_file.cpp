#include "crashreport/core/profile_file.h"

#include "crashreport/core/crashbox_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cv {

namespace {

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string OpenError(const std::string& fileName, const char* verb, int error)
{
    return std::string("Cannot ") + verb + " file \"" + fileName + "\": " + std::strerror(error);
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

} // namespace

TProfileFile::Line TProfileFile::ParseLine(std::string_view text, const std::string& section)
{
    Line line;
    line.text = std::string(text);
    line.section = section;
    const std::string trimmed = TrimA(text);
    if (trimmed.empty() || trimmed[0] == ';')
        return line;
    if (trimmed[0] == '[') {
        const auto close = trimmed.find(']');
        line.isSection = true;
        line.section = TrimA(std::string_view(trimmed).substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    const auto eq = trimmed.find('=');
    if (eq == std::string::npos)
        return line;
    line.key = TrimA(std::string_view(trimmed).substr(0, eq));
    line.value = TrimA(std::string_view(trimmed).substr(eq + 1));
    return line;
}

void TProfileFile::Parse(std::string_view text)
{
    fLines.clear();
    std::string section;
    for (std::string_view line : SplitTextLines(text)) {
        fLines.push_back(ParseLine(line, section));
        if (fLines.back().isSection)
            section = fLines.back().section;
    }
}

bool TProfileFile::Load(const std::string& fileName, std::string* error)
{
    fLines.clear();
    std::string text;
    int reason = 0;
    if (!ReadFileText(fileName, text, &reason)) {
        if (reason == ENOENT)
            return true;
        if (error)
            *error = OpenError(fileName, "read", reason);
        return false;
    }
    Parse(text);
    return true;
}

std::string TProfileFile::Text() const
{
    std::string text;
    for (const Line& line : fLines) {
        text += line.text;
        text += '\n';
    }
    return text;
}

bool TProfileFile::Save(const std::string& fileName, std::string* error) const
{
    std::string temp = fileName + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error)
            *error = OpenError(fileName, "write", errno);
        return false;
    }
    // The file keeps the permissions it had; a new one gets the usual ones.
    struct stat old {};
    mode_t mode;
    if (::stat(fileName.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    const bool written = WriteAll(fd, Text());
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), fileName.c_str()) != 0) {
        const int reason = written && closed ? errno : writeError;
        ::unlink(temp.c_str());
        if (error)
            *error = OpenError(fileName, "write", reason);
        return false;
    }
    return true;
}

std::optional<std::string> TProfileFile::Read(std::string_view section, std::string_view key) const
{
    for (const Line& line : fLines)
        if (!line.isSection && !line.key.empty() && SameText(line.section, section) && SameText(line.key, key))
            return line.value;
    return std::nullopt;
}

bool TProfileFile::Write(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string trimmedKey = TrimA(key);
    if (trimmedKey.empty() || trimmedKey[0] == '[' || trimmedKey[0] == ';' ||
        key.find_first_of("=\r\n") != std::string_view::npos || value.find_first_of("\r\n") != std::string_view::npos ||
        section.find_first_of("]\r\n") != std::string_view::npos)
        return false;
    const std::string text = trimmedKey + "=" + std::string(value);
    std::size_t insertAt = std::string::npos;
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        Line& line = fLines[i];
        if (!SameText(line.section, section))
            continue;
        if (!line.isSection && SameText(line.key, trimmedKey)) {
            // The key keeps the spelling it has in the file.
            line = ParseLine(line.key + "=" + std::string(value), line.section);
            return true;
        }
        // After the section's last line that is not blank.
        if (line.isSection || !TrimA(line.text).empty())
            insertAt = i + 1;
    }
    if (insertAt == std::string::npos) {
        if (!fLines.empty() && !TrimA(fLines.back().text).empty())
            fLines.push_back(ParseLine("", fLines.back().section));
        fLines.push_back(ParseLine("[" + std::string(section) + "]", std::string(section)));
        insertAt = fLines.size();
    }
    fLines.insert(fLines.begin() + std::ptrdiff_t(insertAt), ParseLine(text, std::string(section)));
    return true;
}

} // namespace cv
