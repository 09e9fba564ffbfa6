#pragma once
// The signal door's parts that the other door units use (exception_doors.h).

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include <ucontext.h>

namespace cv {

// A fault inside CallGuarded ends that call: the signal door jumps back to
// the guard of the faulting thread, when it has one (the fault's record and
// context say what and where it was).
void JumpToGuardOnFault(int signal, const siginfo_t* record, const ucontext_t* context);
bool InsideGuardedCall();

// How long a faulting thread waits for its report before it dies anyway
// (seconds). The handler lengthens it before a step that may take long
// (sending); the watch is kept by an alarm as well.
void ExtendSignalReportDeadline(int seconds);
int SignalReportDeadline();

// The report in progress ends the process with an exit code of its own (an
// exception nothing catches ends the program with exit code 1): a fatal
// signal reported meanwhile, once its report is done, leaves the end to
// that exit instead of ending the process by its signal first (for a
// bounded time: the rest of its deadline, a few seconds at the least).
void NoteExitAfterReport();

// The fatal signals of other threads that came while a fatal signal's
// report was being made (each waits for that report, then ends the
// process): a note for the report on each (FaultNote), given once.
std::vector<std::string> TakeWaitingFaultNotes();

} // namespace cv
