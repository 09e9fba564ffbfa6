#pragma once
// The settings the user can change through the controller: each has an ini
// key (section/name), a caption, a kind (which editor the settings windows
// give it) and its way into and out of the settings buffer. The controller
// applies its ini file at start, writes it again whenever the user changes
// settings in its windows, and the windows show the keys of one settings
// command each (SettingKeysOfCommand).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "suite/controller_codes.h"

namespace cv {

class TTextSettings;

enum class TSettingKind : uint8_t {
    Bool,     // true / false
    Int,      // a whole number from lo to hi
    Float,    // a number
    Text,     // any text
    File,     // a file name (of a file there is)
    NewFile,  // a file name, of a file that may be made (the log)
    Folder,   // a folder name
    Language, // a language of the language list, by its name
    Colour,   // "#RRGGBB"
    Choice,   // the number of one of `choices`
};

struct TSettingKey {
    QString key;     // "Text/MinWordLength"
    QString caption; // what the windows and the ini file's comment say
    TSettingKind kind = TSettingKind::Text;
    int64_t lo = 0;  // Int and Choice: the smallest value
    int64_t hi = 0;  // and the largest
    QStringList choices; // Choice: the texts of lo .. hi
    std::function<QString()> get;
    std::function<bool(const QString&)> set; // false: the value is not valid (nothing changes)
};

// Every setting, in the order of the ini file.
const std::vector<TSettingKey>& ControllerSettingKeys();
// A key by its name (not case-sensitive); null when there is none.
const TSettingKey* FindSettingKey(const QString& key);

// The settings commands a tool's Settings menu posts to the controller:
// kCodeSettings... (suite/controller_codes.h).
// Whether a code is one of the settings windows' (Customise and About not counted).
bool IsSettingsWindowCode(uint16_t code);
// The keys the window of a settings command shows for a tool, in order.
QStringList SettingKeysOfCommand(uint16_t code, uint8_t tool);
// The title of that window.
QString SettingsWindowTitle(uint16_t code, uint8_t tool);

// The language of the language list by its name (not case-sensitive; also
// "English") or index goes into the text settings: identifier, name,
// collation and code page. False for a name the list does not hold.
bool ApplyLanguageByName(TTextSettings& settings, const QString& name);
void ApplyLanguage(TTextSettings& settings, int index);

// The ini file used when none is named: $CV_CONTROLLER_INI, else
// "corvantis/controller.ini" in the user's configuration folder.
QString DefaultControllerIniFile();

// Applies the file's values to the settings buffer. Returns one line per
// problem (unknown key, bad value); a missing file is no problem.
QStringList ApplyControllerIni(const QString& fileName);

// Writes a commented ini file with every key and its current value.
bool WriteControllerIni(const QString& fileName, QString* error);

} // namespace cv
