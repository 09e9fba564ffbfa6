#pragma once
// The tool's link to the suite's controller and the small helpers every
// window and job of the tool uses at start and around jobs.

#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>

#include "suite/list_settings.h"
#include "suite/window_handle.h"

namespace cv {

// Posts message 1025 to the controller's window: WParam holds the code in
// the low 16 bits and this tool's number in bits 16 to 23, LParam the tool's
// own window. Nothing is posted (false) when there is no controller window.
bool PostToController(uint16_t code);
// Message 1026: the code with this tool's number in WParam, the parameter in LParam.
bool PostToControllerWithParam(uint16_t code, int64_t param);
// Registers the tool's main window with the settings buffer for the current
// tool (SetNewWnd, SetActiveMainToolWindow), makes it the handle the suite
// posts back to, and tells the controller (message 1252).
void RegisterOwnWindowWithController(TWindowHandle wnd);
// At exit: the registration is removed again (UnSetWnd).
void UnregisterOwnWindowFromController();

// The controller's cancel commands: 6120 sets the cancel state to 1 (stop at
// the end of the current text), 6121 to 2 (stop as soon as possible), 6122 to
// 3 (stop and end the program), with a log line. Returns whether the code
// was one of them; ending the program is the window's part.
bool SetCancelStateFromControllerCode(uint16_t code);

// Log file name and switch from the settings buffer: logging is on when the
// switch is set and a file is named; a file not there yet is made.
void InitLoggingFromSharedSettings();

// The typing mode the menu shows: 0 when "type-in" (TMenuCommand::TypeIn) is
// checked, 1 when "set categories" is, else 2.
int MenuTriStateOption();

// The settings of a lemmatiser list (0 lemma, 1 match, 2 stop, 3 relation
// words) of a tool, as the lemmatiser needs them to load the list's file.
TListSettingsRec GetListSettingsByListType(uint8_t kind, uint8_t tool);

// A default number for the grids of a list type.
int DefaultNumberForListType(uint8_t listType);

// The bug-report text with the window caption and routine name, appended to
// failure messages.
QString BugReportText(const QString& caption, const QString& routine);

// Where the file-info text of a document goes: the last-opened folder (else
// the default folder) + "<name>_FileInfo.txt"; when that file exists already,
// "(hhnn)" of the given time is added before the extension.
QString FileInfoTextFilename(const QString& documentName, const QString& lastOpenedFolder,
                             const QString& defaultFolder, const QTime& now = QTime::currentTime());

// The seven "stop at" choices of the cluster and relationship dialogs:
// no limits, five barrier levels, end of text. Filled at start.
const QStringList& StopAtEntries();
void FillStopAtEntries();

} // namespace cv
