#pragma once
// The suite's log file. Lines are appended, each with the time, while
// logging is on: the settings buffer's switch is set and a log file is named
// (the runtime applies that rule and makes the file), or the program was
// started with "/log".
//
// A log that cannot be written never stops the program: the first failure
// gives one warning naming the file and the reason, and logging goes off.
// A log file is made 0600; a link or another user's file in its place is
// such a failure (private_files.h).
// Safe to call from any thread.

#include <QString>
#include <QStringList>

namespace cv {

bool LoggingIsOn();
void SwitchLogging(bool on);
QString LogFilename();
void SetLogFilename(const QString& name);
// "CVlog.txt" in the suite's own temporary folder (private_files.h).
QString DefaultLogFilename();

// Appends one line (a time stamp goes in front) when logging is on.
void AddToLogFile(const QString& line);
// The same; without `stamped` the line goes in as it is, with no time stamp
// (a separator line, for instance).
void AddToLogFile(const QString& line, bool stamped);
// A blank line and a dated heading that starts a new part of the log.
void StartNewLogSection(const QString& title = {});

// The "/log" switch of the command line: "/log" (exactly) takes the next
// parameter, whatever it is, as the log file, else the default; logging goes
// on and a new section starts. Returns whether the switch was given.
bool SwitchOnLoggingFromArguments(const QStringList& args);

} // namespace cv
