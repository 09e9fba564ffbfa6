#pragma once
// The crash-report core started for real, in a child process of a test (its
// doors change the whole process): its report log goes to a folder of the
// test, which the parent reads.

#include <QDir>
#include <QString>

#include <exception>
#include <stdexcept>
#include <string>

#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/module_handles.h"

namespace cvtest {

// Starts the core with its log in folder and no dialog; the options to change further.
inline cv::TCrashboxModuleOptions& StartCoreInChild(const QString& folder)
{
    cv::TExceptionLogStartup startup;
    startup.CarriesCoreData = true;
    cv::InitExceptionLog(startup);
    cv::TCrashboxModuleOptions& options = cv::CurrentCrashboxOptions();
    options.SetOutputPath(folder.toStdString());
    options.SetExceptionDialogType(cv::edtNone);
    return options;
}

// A C++ exception object of the program, as a door hands it over.
template <typename E = std::runtime_error>
cv::TExceptionObject ProgramException(const std::string& message)
{
    return cv::ExceptionObjectFromPtr(std::make_exception_ptr(E(message)));
}

// The exception as a door meets it, not caught (or caught): the handler's answer.
inline bool NotifyCore(const cv::TExceptionObject& object, bool handled = false)
{
    return cv::ExceptNotify(object, 0, false, nullptr, handled, cv::aeNone, cv::CrashboxLibraryModuleHandle(), cv::rtUnknown,
                            nullptr, nullptr, 0, 0);
}

// The report logs of a folder.
inline int LogEntries(const QString& folder)
{
    int entries = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.elf")}, QDir::Files))
        entries += cv::TLogFile((folder + QLatin1Char('/') + name).toStdString(), true).Count();
    return entries;
}

// The one report log of a folder; empty when it holds none or several.
inline std::string OnlyLog(const QString& folder)
{
    const QStringList logs = QDir(folder).entryList({QStringLiteral("*.elf")}, QDir::Files);
    return logs.size() == 1 ? QDir(folder).filePath(logs[0]).toStdString() : std::string();
}

} // namespace cvtest
