#pragma once
// The command line of a tool and the two one-shot steps of its start-up.
//
// A tool may be started with a log switch ("/log" and an optional file),
// two-character option switches ("-C", "/K", "\W", ...), the short program
// name of a tool of the suite, and the name of a file to open. The window
// parses them at the first idle moment after it is up (its HandleStartup),
// turns the file name into the start-up/open file record, and a second idle
// step (AfterStartup) reports what the start-up found.

#include <QString>
#include <QStringList>

#include <cstdint>

#include "model/holder_parts.h"
#include "ui/framework/main_tools_form.h"

namespace cv {

// Flags of TCVParamsFound::parms_found.
enum : uint16_t {
    kParmLog = 0x0001,  // "/log" seen
    kParmTool = 0x0004, // a tool was named
    kParmC = 0x0008,
    kParmK = 0x0010,
    kParmW = 0x0020,
    kParmI = 0x0040,
    kParmG = 0x0080,
    kParmF = 0x0100,    // "F" or "Y"
    kParmY = 0x0200,
};

// Parses the parameters (without the program's own name). "/log" switches
// logging on (and starts a log section) as it is met.
TCVParamsFound ParseCommandLine(const QStringList& params);

// The file the joined parameters name, as a start-up/open file record:
// empty when they name no existing file. The list type comes from the
// file's extension; a batch zip gets the list type and count of its results,
// any other zip list type 25 (nothing to open); for tool 5 a file that is
// not a saved result of the suite is a plain-text list (22).
TCVStored_File_rec HandleCommandLineParameters(const QString& params);

// The framework's part of the first start-up step: with a first parameter
// that is not empty, the command line is parsed into the window's parms and
// its file goes into the start-up/open file record; otherwise the last file
// is opened again when the start-up options ask for it.
void HandleStartupParameters(TMainToolsForm& form, const QStringList& params);

// The second start-up step: reports the tag file in use, and what the
// start-up's jobs left to report (a file opened that is not applicable,
// texts converted); then the page list's last actions are cleared.
void AfterStartup(TMainToolsForm& form);

} // namespace cv
