#pragma once
// A profile ("ini") file held in memory: "[section]" lines, "key=value"
// lines, ";" comments. Sections and keys are found without regard to
// (ASCII) case; keys and values are trimmed of surrounding blanks, and a
// value is given as it stands (quotes are the caller's business). Writing a
// key replaces its line or adds one at the end of its section (a missing
// section is added at the end); every other line is kept as it was.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cv {

class TProfileFile {
public:
    TProfileFile() { Parse({}); }
    // Takes the file's text; a missing file gives an empty profile (true).
    // False, with "Cannot open file "<name>": <reason>", when it cannot be read.
    bool Load(const std::string& fileName, std::string* error = nullptr);
    void Parse(std::string_view text);
    // Through a temporary file and a rename, so a failed save keeps the old
    // file; the file keeps its mode, a new one is its user's alone (0600).
    bool Save(const std::string& fileName, std::string* error = nullptr) const;
    std::string Text() const;

    std::size_t LineCount() const { return fLineCount; }
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // False (nothing changed) for a key or value that would break the line form:
    // a line break in either, "=" or a leading "[" or ";" in the key, "]" in the section.
    bool Write(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::string text;
        std::string key; // empty for a comment or blank line
        std::string value;
    };
    struct Section {
        std::string header; // the "[name]" line as it stands; empty for the lines before the first
        std::string name;
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keys; // lower-cased key -> its first line
    };
    static Line ParseLine(std::string_view text);
    static void AddLine(Section& section, Line line, std::size_t at);
    const Line* Find(std::string_view section, std::string_view key) const;
    std::vector<Section> fSections;
    std::size_t fLineCount = 0;
};

// --- Profile files by name, and the registry stand-in ---

// A name without a folder is taken in the settings folder; the file is made
// accessible (for writing) first. Reading gives `defaultValue` when that
// fails or the key is missing, and at most 2047 bytes of a value; writing
// does nothing (false) when it fails.
std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& defaultValue);
bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value);
// The profile file a bare name stands for, made accessible; nullopt when it cannot be.
std::optional<std::string> ProfileFileLocation(const std::string& fileName, bool forReading);

enum TRegRootKey : uint8_t {
    HKEY_CLASSES_ROOT,
    HKEY_CURRENT_USER,
    HKEY_LOCAL_MACHINE,
    HKEY_USERS,
    HKEY_CURRENT_CONFIG
};
// The registry stand-in: "Registry.ini" in the settings folder, whose
// sections are key paths under their root ("HKEY_LOCAL_MACHINE\SOFTWARE\X"),
// names compared without case; the default value is the key "@".
std::string RegistryStandInFile();
std::string RegReadString(TRegRootKey rootKey, const std::string& keyPath, const std::string& valueName);

} // namespace cv
