#pragma once
// The few process-wide states the tool shares between its layers. Each is
// named here once; nothing else in the program is global and mutable.

#include <QString>

#include <atomic>
#include <cstdint>

namespace cv {

// The cancel state of the running job: 0 run, 1 stop at the end of the
// current text, 2 stop as soon as possible, 3 stop and end the program.
// Loops poll it; creating a new word-list document resets it to 0.
enum : uint8_t {
    kPanicRun = 0,
    kPanicStopAtEndOfText = 1,
    kPanicStopNow = 2,
    kPanicQuitProgram = 3,
};
extern std::atomic<uint8_t> global_panic_state;

// When set, failures go into Global_FailureMessage instead of a dialog.
extern bool Global_run_without_error_messages;
extern QString Global_FailureMessage;
// A batch is running (lower layers keep quiet and save into the batch folder).
extern bool Global_batch_mode;
// Grids draw nothing while a job changes their lists.
extern bool Global_Busy_Dont_Show_Data;
// Set by the main window's listing timer; the concordance line store reads and clears it.
extern std::atomic<bool> Global_progress_tick;
// The customised dead-key list was read, and the keyboard layout switched
// to, in this run (each happens at most once).
extern bool Global_DeadKeyListLoaded;
extern bool Global_KeyboardLayoutActivated;

} // namespace cv
