#pragma once
// The reporter process: the program started again with a report request
// (reporter_request.h) shows the exception dialog the crashed process could
// not show, asks how to reproduce the error when the detailed dialog did,
// sends the report as the user chose, and starts the program again when
// the user asked for a restart. The crashed process's lists (call stacks,
// modules, processes) are not carried over: the detailed dialog's list
// pages stay empty, the report's text holds them.
//
// A program calls RunCrashReporterIfAsked first thing after making its
// QApplication; the crashed process's hand-over (HandOverToReporter)
// writes the request and starts the reporter.

#include <optional>
#include <string>

namespace cv {

// Shows and sends the request's report on the GUI thread (the send runs on
// a thread of its own meanwhile); the request file is deleted at the end.
// The exit code: 0 done, 2 the request could not be read.
int RunCrashReporter(const std::string& requestFile);
// The exit code of RunCrashReporter when the arguments name a request; none otherwise.
std::optional<int> RunCrashReporterIfAsked(int argc, const char* const* argv);

} // namespace cv
