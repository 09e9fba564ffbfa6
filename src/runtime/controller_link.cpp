#include "runtime/controller_link.h"

#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"

#include <QDir>
#include <QFileInfo>

namespace cv {

namespace {
QStringList g_stopAtEntries;
} // namespace

bool PostToController(uint16_t code)
{
    const TWindowHandle shell = GetShellWnd();
    if (shell == 0)
        return false;
    return PostMessage(shell, kMsgControllerCommand, PackToolCode(code, current_tool_var), int64_t(mini_global_own_HWnd));
}

bool PostToControllerWithParam(uint16_t code, int64_t param)
{
    const TWindowHandle shell = GetShellWnd();
    if (shell == 0)
        return false;
    return PostMessage(shell, kMsgControllerParam, PackToolCode(code, current_tool_var), param);
}

void RegisterOwnWindowWithController(TWindowHandle wnd)
{
    mini_global_own_HWnd = wnd;
    SetNewWnd(current_tool_var, wnd);
    SetActiveMainToolWindow(current_tool_var, wnd);
    if (const TWindowHandle shell = GetShellWnd())
        PostMessage(shell, kMsgToolRegistered, current_tool_var, int64_t(wnd));
}

void UnregisterOwnWindowFromController()
{
    if (mini_global_own_HWnd == 0)
        return;
    UnSetWnd(current_tool_var, mini_global_own_HWnd);
    mini_global_own_HWnd = 0;
}

bool SetCancelStateFromControllerCode(uint16_t code)
{
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    switch (code) {
    case kCodeStopAtEndOfText:
        global_panic_state = kPanicStopAtEndOfText;
        AddToLogFile(Format(CVStoppingAtEOF, {now}));
        return true;
    case kCodeStopNow:
        global_panic_state = kPanicStopNow;
        AddToLogFile(Format(CVStoppingASAP, {now}));
        return true;
    case kCodePanicStop:
        global_panic_state = kPanicQuitProgram;
        AddToLogFile(Format(CVPanicStopAt, {now}));
        return true;
    default:
        return false;
    }
}

void InitLoggingFromSharedSettings()
{
    const QString name = GetTheLogFilename();
    SetLogFilename(name);
    const bool on = GetLogging() && !name.isEmpty();
    SwitchLogging(on);
    // Switching logging on is enough: a log file that is not there yet is
    // made, beginning with a heading (one that cannot be made is reported
    // once, and logging goes off).
    if (on && !QFileInfo::exists(name))
        StartNewLogSection(Tool_Name(current_tool_var));
}

int MenuTriStateOption()
{
    if (GetMenuItemChecked(TMenuCommand::TypeIn))
        return 0;
    if (GetMenuItemChecked(TMenuCommand::SetCategories))
        return 1;
    return 2;
}

TListSettingsRec GetListSettingsByListType(uint8_t kind, uint8_t tool) { return GetListSettings(tool, kind); }

int DefaultNumberForListType(uint8_t listType)
{
    switch (listType) {
    case 0:  // word list
    case 22: // plain-text word list
    case 23: // index word list
        return 100;
    case 1: // key words
    case 2: // key-word database
        return 10;
    case 10: // concordance
        return 50;
    case 5:  // collocates
    case 14: // patterns
        return 5;
    case 11: // key-word plot
    case 12: // concordance plot
        return 2;
    default:
        return 25;
    }
}

QString BugReportText(const QString& caption, const QString& routine) { return Format(CVBugReport, {caption, routine}); }

QString FileInfoTextFilename(const QString& documentName, const QString& lastOpenedFolder, const QString& defaultFolder,
                             const QTime& now)
{
    const QString folder = lastOpenedFolder.isEmpty() ? defaultFolder : lastOpenedFolder;
    QString name = QFileInfo(documentName).completeBaseName();
    if (name.isEmpty())
        name = QFileInfo(documentName).fileName();
    const QString stem = QDir(folder).filePath(name + QStringLiteral("_FileInfo"));
    const QString plain = stem + QStringLiteral(".txt");
    if (!QFileInfo::exists(plain))
        return plain;
    return stem + QStringLiteral("(") + now.toString(QStringLiteral("HHmm")) + QStringLiteral(").txt");
}

void FillStopAtEntries()
{
    g_stopAtEntries = QStringList{CVNoLimits};
    for (int level = 1; level <= 5; ++level)
        g_stopAtEntries << Format(CVStopAtXBreak, {level});
    g_stopAtEntries << CVStopAtEndOfText.toString();
}

const QStringList& StopAtEntries()
{
    if (g_stopAtEntries.isEmpty())
        FillStopAtEntries();
    return g_stopAtEntries;
}

} // namespace cv
