#pragma once
// Window-message numbers and command codes of the suite. Messages carry a
// command code in the low 16 bits of WParam; codes posted to the controller
// carry the sending tool's number in bits 16 to 23 as well.

#include <cstdint>

#include "suite/menu_commands.h"

namespace cv {

// ---- message numbers ------------------------------------------------------------
enum : uint32_t {
    kWM_DROPFILES = 563,          // files dropped on a window
    kMsgControllerCommand = 1025, // a command code, both directions
    kMsgControllerParam = 1026,   // a code with a parameter (language change), tool to controller
    kMsgHelpRequest = 1168,       // show a help topic (WParam: context)
    kMsgToolRegistered = 1252,    // tool to controller: WParam tool number, LParam window
    kMsgActivateToolWindow = 1253,// become the active tool window; LParam a child window, WParam a code to pass on
    kMsgFormulaFocus = 1374,      // the formula box got (1) or lost (0) the focus
    kMsgMakeList = 1391,          // start a job: WParam batch flag, LParam list type
    kMsgRunningWords = 1638,      // LParam: running words so far
    kMsgReportDataState = 1977,   // report the data state to the controller
    kMsgGridCommand = 6024,       // a menu command for the current grid: WParam 5000 + tag
};

// ---- codes the controller sends to a tool ----------------------------------------
enum : uint16_t {
    kCodeReReadSettings = 233,
    kCodeLoadLemmaList = 234,     // 234 + 2k loads list kind k, 235 + 2k clears it (k = 0..3)
    kCodeClearRelationList = 241,
    kCodeOpenTempFile = 613,      // open the file the settings buffer names (GetMyTempFilename)
    kCodeAcknowledge = TagOf(TMenuCommand::LanguageChangeDone), // the tools take it as a menu command too
    kCodeStyleChange = 703,
    kCodeReReadChosenTexts = 1241,
    kCodeTerminate = 1350,
    kCodeStopAtEndOfText = 6120,  // cancel state 1
    kCodeStopNow = 6121,          // cancel state 2
    kCodePanicStop = 6122,        // cancel state 3, then end the program
};

// ---- codes a tool posts to the controller -----------------------------------------
enum : uint16_t {
    kCodeChosenTextsSaved = 561,
    kCodeFileOpenedOrSaved = 615,
    kCodeLanguageChosen = 1230,   // with message 1026, the chosen language's index as parameter
    kCodeChooseTexts = 1240,
    kCodeNoMatchList = 1330,
    kCodeNoLemmaList = 2795,
    kCodeNoData = 4600,
    kCodeHasData = 4601,
    kCodeNewWithData = 4602,
    // The tool changed a setting the user chose outside the controller's
    // windows (the key words' reference list): the controller keeps it.
    kCodeSettingsChangedInTool = 4610,
    kCodeAskingWindowCentre = 4611, // with message 1026: the centre of the window asking for a controller window (PackScreenPoint)

    // The Settings menu's commands open the controller's settings windows
    // (the tool's own and the index settings post their menu command's number).
    kCodeSettingsColours = 1260,
    kCodeSettingsFont = 1130,
    kCodeSettingsLanguage = kCodeLanguageChosen, // without a parameter: the language window
    kCodeSettingsFolders = 1600,
    kCodeSettingsTags = 1790,
    kCodeSettingsLists = 1460,
    kCodeSettingsOfTool = TagOf(TMenuCommand::SettingsOfTool),
    kCodeSettingsIndex = TagOf(TMenuCommand::IndexSettings),
    kCodeSettingsCustomise = 4440,
    kCodeAboutAndMemory = 951,
    // A ".tell_marvex" request lies in the suite's temporary folder: the
    // controller passes it on to the concordance tool.
    kCodeConcordanceRequest = 50,

    // Progress display in the controller's window; the values travel in the
    // settings buffer's progress record (SetProgressParams).
    kCodeProgressShow = 6100,        // ClearAllAndShow
    kCodeProgressClearBars = 6101,
    kCodeProgressThisPercent = 6102,
    kCodeProgressOverallPercent = 6103,
    kCodeProgressShortMessage = 6104,
    kCodeProgressLongMessage = 6105,
    kCodeProgressRunningWords = 6106,
    kCodeProgressHide = 6107,
    kCodeProgressMemory = 6108,
    kCodeProgressTimeToGo = 6109,
    kCodeProgressShortMessageOutOf = 6110,
    kCodeProgressFirst = 6100,
    kCodeProgressLast = 6113,
};

// WParam of a code posted to the controller.
constexpr uint64_t PackToolCode(uint16_t code, uint8_t tool) { return uint64_t(code) | (uint64_t(tool) << 16); }
constexpr uint16_t CodeOfWParam(uint64_t wparam) { return uint16_t(wparam & 0xFFFF); }
constexpr uint8_t ToolOfWParam(uint64_t wparam) { return uint8_t((wparam >> 16) & 0xFF); }

} // namespace cv
