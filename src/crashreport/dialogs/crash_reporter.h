#pragma once
// The reporter process: the program started again with a report request
// (reporter_request.h) shows the exception dialog the crashed process could
// not show, asks how to reproduce the error when the detailed dialog did,
// sends the report as the user chose, and starts the program again when
// the user asked for a restart. The crashed process's lists (call stacks,
// modules, processes) are not carried over: the detailed dialog's list
// pages stay empty, the report's text holds them.
//
// A program calls RunAsCrashReporter first thing in main; the crashed
// process's hand-over (HandOverToReporter) writes the request and starts
// the reporter.

#include <optional>
#include <string>

namespace cv {

// Shows and sends the request's report on the GUI thread (the send runs on
// a thread of its own meanwhile). The request file is deleted as soon as it
// is read; the report's files lie in the request's folder (when it is one
// made for a report by this user, else in a new one), removed at the end.
// The exit code: 0 done, 2 the request could not be read.
int RunCrashReporter(const std::string& requestFile);
// The reporter program: when the arguments name a request, the application
// object (unless there is one), the message boxes on screen, the tool's
// crash-event unit writing into the crashed run's log
// (exception_handling_unit.h) and the window system's facts, then
// RunCrashReporter; its exit code. None when the arguments name
// no request: the program starts as usual. The crash-report core is not
// started in a reporter: it reports nothing of its own.
std::optional<int> RunAsCrashReporter(int& argc, char** argv);

} // namespace cv
