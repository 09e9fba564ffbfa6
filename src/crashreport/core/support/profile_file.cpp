#include "crashreport/core/support/profile_file.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

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

} // namespace

namespace {

std::string LowerKey(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return lower;
}

} // namespace

TProfileFile::Line TProfileFile::ParseLine(std::string_view text)
{
    Line line;
    line.text = std::string(text);
    const std::string trimmed = TrimA(text);
    const auto eq = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[' || eq == std::string::npos)
        return line;
    line.key = TrimA(std::string_view(trimmed).substr(0, eq));
    line.value = TrimA(std::string_view(trimmed).substr(eq + 1));
    return line;
}

void TProfileFile::AddLine(Section& section, Line line, std::size_t at)
{
    if (!line.key.empty())
        section.keys.emplace(LowerKey(line.key), at);
    section.lines.insert(section.lines.begin() + std::ptrdiff_t(at), std::move(line));
}

void TProfileFile::Parse(std::string_view text)
{
    fSections.assign(1, Section{});
    fLineCount = 0;
    for (std::string_view raw : SplitTextLines(text)) {
        ++fLineCount;
        const std::string trimmed = TrimA(raw);
        if (!trimmed.empty() && trimmed[0] == '[') {
            const auto close = trimmed.find(']');
            Section section;
            section.header = std::string(raw);
            section.name = TrimA(std::string_view(trimmed).substr(1, close == std::string::npos ? close : close - 1));
            fSections.push_back(std::move(section));
            continue;
        }
        Section& section = fSections.back();
        AddLine(section, ParseLine(raw), section.lines.size());
    }
}

bool TProfileFile::Load(const std::string& fileName, std::string* error)
{
    Parse({});
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
    for (const Section& section : fSections) {
        if (!section.header.empty())
            text += section.header + '\n';
        for (const Line& line : section.lines)
            text += line.text + '\n';
    }
    return text;
}

bool TProfileFile::Save(const std::string& fileName, std::string* error) const
{
    const int reason = ReplaceFileContents(fileName, Text());
    if (reason != 0 && error)
        *error = OpenError(fileName, "write", reason);
    return reason == 0;
}

const TProfileFile::Line* TProfileFile::Find(std::string_view section, std::string_view key) const
{
    const std::string lowerKey = LowerKey(TrimA(key));
    for (const Section& s : fSections) {
        if (s.header.empty() || !SameText(s.name, section))
            continue;
        if (const auto at = s.keys.find(lowerKey); at != s.keys.end())
            return &s.lines[at->second];
    }
    return nullptr;
}

std::optional<std::string> TProfileFile::Read(std::string_view section, std::string_view key) const
{
    const Line* line = Find(section, key);
    return line ? std::optional<std::string>(line->value) : std::nullopt;
}

bool TProfileFile::Write(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string trimmedKey = TrimA(key);
    if (trimmedKey.empty() || trimmedKey[0] == '[' || trimmedKey[0] == ';' ||
        key.find_first_of("=\r\n") != std::string_view::npos || value.find_first_of("\r\n") != std::string_view::npos ||
        section.find_first_of("]\r\n") != std::string_view::npos)
        return false;
    if (const Line* found = Find(section, trimmedKey)) {
        // The key keeps the spelling it has in the file.
        auto* line = const_cast<Line*>(found);
        *line = ParseLine(line->key + "=" + std::string(value));
        return true;
    }
    Section* target = nullptr;
    for (Section& s : fSections)
        if (!s.header.empty() && SameText(s.name, section)) {
            target = &s;
            break;
        }
    if (!target) {
        // A blank line before a new section, unless the text ends in one.
        Section& last = fSections.back();
        if (!last.lines.empty() && !TrimA(last.lines.back().text).empty()) {
            AddLine(last, ParseLine(""), last.lines.size());
            ++fLineCount;
        }
        Section added;
        added.header = "[" + std::string(section) + "]";
        added.name = std::string(section);
        fSections.push_back(std::move(added));
        ++fLineCount;
        target = &fSections.back();
    }
    // After the section's last line that is not blank.
    std::size_t at = target->lines.size();
    while (at > 0 && TrimA(target->lines[at - 1].text).empty())
        --at;
    AddLine(*target, ParseLine(trimmedKey + "=" + std::string(value)), at);
    ++fLineCount;
    return true;
}

// --- Profile files and the registry stand-in ---

std::optional<std::string> ProfileFileLocation(const std::string& fileName, bool forReading)
{
    const bool inSettingsFolder = fileName.find('/') == std::string::npos;
    std::string name = inSettingsFolder ? IncludeTrailingBackslashA(GetSettingsFolder()) + fileName : fileName;
    // The settings folder may not exist yet; it is the user's alone.
    if (!forReading) {
        if (inSettingsFolder)
            ForcePrivateFolders(ExtractFileDir(name));
        else
            ForceFolders(ExtractFileDir(name));
    }
    if (!MakeFileAccessible(name, false, forReading))
        return std::nullopt;
    return name;
}

std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& defaultValue)
{
    const std::optional<std::string> location = ProfileFileLocation(fileName, false);
    TProfileFile profile;
    if (!location || !profile.Load(*location))
        return defaultValue;
    std::optional<std::string> value = profile.Read(section, key);
    if (!value)
        return defaultValue;
    // The value comes through a buffer of 2048 bytes, its zero included.
    if (value->size() > 2047)
        value->resize(2047);
    return *value;
}

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value)
{
    const std::optional<std::string> location = ProfileFileLocation(fileName, false);
    TProfileFile profile;
    return location && profile.Load(*location) && profile.Write(section, key, value) && profile.Save(*location);
}

std::string RegistryStandInFile() { return IncludeTrailingBackslashA(GetSettingsFolder()) + "Registry.ini"; }

std::string RegReadString(TRegRootKey rootKey, const std::string& keyPath, const std::string& valueName)
{
    static constexpr const char* kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
    if (rootKey >= std::size(kRoots))
        return {};
    const std::string path = !keyPath.empty() && keyPath[0] == '\\' ? keyPath.substr(1) : keyPath;
    TProfileFile store;
    if (!store.Load(RegistryStandInFile()))
        return {};
    return store.Read(std::string(kRoots[rootKey]) + "\\" + path, valueName.empty() ? "@" : valueName)
        .value_or(std::string());
}

} // namespace cv
