#pragma once
// The programs of the suite by tool number: their names and program files,
// and the byte that says which of them this process is.
//
// Tool numbers are bytes that travel in messages (bits 16 to 23 of a posted
// code), in settings-buffer slots and in saved files, so they never change.

#include <QString>

#include <cstdint>

namespace cv {

enum : uint8_t {
    kToolWordList = 0,
    kToolConcordance = 1,
    kToolKeyWords = 2,
    kToolController = 16,
    kToolNone = 17,      // "no tool named" (e.g. on the command line)
    kToolCount = 18,     // numbers 0 to 17 name tools
    kToolSlots = 32,     // per-tool slots in the settings buffer
};

// This program's own tool number.
extern uint8_t current_tool_var;

struct TToolInfo {
    uint8_t number;
    const char* name;        // shown in captions and messages
    const char* programFile; // the program's file name, without folder
};

// The table entry of a tool; numbers outside 0..17 give the entry of kToolNone.
const TToolInfo& ToolInfo(uint8_t tool);
QString Tool_Name(uint8_t tool);
// The short program file name, as given on command lines.
QString GetShortToolFilename(uint8_t tool);
// The full program file: next to the running program.
QString ToolProgramFile(uint8_t tool);
// The tool whose short program file name is exactly `name`, or kToolNone.
uint8_t ToolFromShortFilename(const QString& name);

} // namespace cv
