#pragma once
// What a tool window does for the controller's commands (message 1025 with
// a code), for a request to become the active tool window (1253), for a
// request to report its data state (1977) and for files dropped on it; the
// parts that need no window are free procedures here, the window's part is
// TMainToolsForm::WMControllerCommand and its neighbours.

#include <QString>

#include <cstdint>
#include <functional>

#include "gui/drop_files.h"
#include "suite/window_handle.h"

namespace cv {

class TCVFileDetails;

// Set by the controller's acknowledgement (code 701); a dialog that waits
// for the controller clears it first and polls it.
extern bool LanguageChangeDone;

// A command from the controller as the framework decodes it.
struct TControllerCommand {
    uint16_t code = 0;
    // The command ends the program (1350, 6122); the window carries it out.
    bool terminate = false;
};

// The framework part of message 1025: reads the code and acts on the codes
// that need no window: 233 re-reads the logging switch and log file; 234 to
// 241 load (even) or clear (odd) lemmatiser list kind (code - 234) / 2 of
// the current tool; 701 sets LanguageChangeDone; 6120 to 6122 set the cancel
// state 1 to 3 (logged); 1350 and 6122 ask for the program's end. Other codes
// are left to the window.
TControllerCommand DecodeControllerCommand(uint64_t wparam);

// Message 1253: this window becomes the tool's active main window and the
// message's LParam its active child window; the code in WParam's low 16
// bits goes on to the controller.
void TellControllerActiveWindow(uint64_t wparam, int64_t lparam, TWindowHandle ownWindow);

// Message 1977: 4601 ("data") to the controller when WParam is not 0, else 4600.
void ReplyDataStateToController(uint64_t wparam);

// The files of a drop: only the first is considered. A file another tool
// wrote is ignored; one whose list type belongs to another tool is reported
// (WrongToolForFile); a file for this tool goes into the start-up/open file
// record and `open` opens it. The drop is released. Returns whether a file
// was opened.
bool OpenDroppedFiles(TDropHandle drop, uint8_t tool, const std::function<bool()>& open);

// The stop command: when a job is stopping already, a confirmed "quit?"
// stops as soon as possible; when one runs, a confirmed "quit?" and a
// declined "finish this text first?" do; otherwise the cancel state stays.
void AskToStop();

// The chosen texts the controller handed over for this tool (its
// ".chosen_texts" file in the temporary folder) replace the window's;
// without a hand-over the chosen texts are emptied. True when texts were read.
bool ReadChosenTextsFromController(TCVFileDetails& chosenTexts);

} // namespace cv
