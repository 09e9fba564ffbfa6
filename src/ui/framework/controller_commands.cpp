#include "ui/framework/controller_commands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "model/chosen_files.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/main_tools_form.h"
#include "ui/framework/tool_pages.h"

namespace cv {

bool LanguageChangeDone = false;

TControllerCommand DecodeControllerCommand(uint64_t wparam)
{
    TControllerCommand command;
    command.code = CodeOfWParam(wparam);
    const uint16_t code = command.code;
    if (code == kCodeReReadSettings) {
        InitLoggingFromSharedSettings();
    } else if (code >= kCodeLoadLemmaList && code <= kCodeClearRelationList) {
        const uint8_t kind = uint8_t((code - kCodeLoadLemmaList) / 2);
        if ((code - kCodeLoadLemmaList) % 2 == 0) {
            ToolWindowList().LoadLemmaMatchStopList(kind);
        } else {
            ClearOne(current_tool_var, TLemmatiserListKind(kind));
            // The loaded flag follows, so that new documents do not count on a list that went.
            Global_stopLemmaMatchLoaded[kind] = false;
        }
    } else if (code == kCodeAcknowledge) {
        LanguageChangeDone = true;
    } else if (code == kCodeTerminate) {
        command.terminate = true;
    } else if (SetCancelStateFromControllerCode(code)) {
        command.terminate = code == kCodePanicStop;
    }
    return command;
}

void TellControllerActiveWindow(uint64_t wparam, int64_t lparam, TWindowHandle ownWindow)
{
    SetActiveMainToolWindow(current_tool_var, ownWindow);
    SetActiveChildToolWindow(current_tool_var, TWindowHandle(lparam));
    PostToController(CodeOfWParam(wparam));
}

void ReplyDataStateToController(uint64_t wparam) { PostToController(wparam != 0 ? kCodeHasData : kCodeNoData); }

bool OpenDroppedFiles(TDropHandle drop, uint8_t tool, const std::function<bool()>& open)
{
    bool opened = false;
    const int count = DragQueryFileCount(drop);
    for (int i = 0; i <= std::min(0, count - 1); ++i) {
        const QString name = DragQueryFile(drop, i, 255);
        TCVStored_File_rec& rec = StartupOpenFileRec();
        rec.Clear();
        rec.FileName = name;
        uint8_t listType = kListNone;
        if (WhichToolsCorvantis32BitFile(name, &listType) != tool)
            continue; // another tool's file (or none of the suite's): ignored
        const uint8_t listTool = ToolTypeFromListType(listType);
        if (listTool != tool) {
            WrongToolForFile(name, listTool);
            continue;
        }
        rec.ListType = listType;
        if (tool == kToolWordList && ListTypeFromFileExt(name) != kListNone)
            rec.ListType = ListTypeFromFileExt(name);
        opened = open && open();
    }
    DragFinish(drop);
    return opened;
}

void AskToStop()
{
    if (global_panic_state != kPanicRun) {
        if (EscapePressedWantToQuit())
            global_panic_state = kPanicStopNow;
    } else if (EscapePressedWantToQuit() && !FinishThisProcessFirst()) {
        global_panic_state = kPanicStopNow;
    }
}

bool ReadChosenTextsFromController(TCVFileDetails& chosenTexts)
{
    chosenTexts.ClearThem();
    const QString handOver = TSharedChosenFilesClass::HandOverFilename(SuiteTempFolder(), current_tool_var);
    if (!QFileInfo(handOver).isFile())
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = chosenTexts.ReadChosenFromFile(handOver);
    QApplication::restoreOverrideCursor();
    return read;
}

} // namespace cv
