#include "crashreport/core/report_files.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

#include <unistd.h>

#include "crashreport/core/crashbox_helpers.h"
#include "crashreport/core/crashbox_texts.h"
#include "crashreport/core/log_file.h"
#include "crashreport/core/report_helpers.h"

namespace cv {

namespace {

std::string Folder(const std::string& tempFolder)
{
    return tempFolder.empty() ? GetTempFolder() : IncludeTrailingBackslashA(tempFolder);
}

// Puts text between a file name and its extension (at its end when it has none).
std::string BeforeExtension(const std::string& name, const std::string& text)
{
    const std::string ext = ExtractFileExt(name);
    return name.substr(0, name.size() - ext.size()) + text + ext;
}

bool WriteWhole(const std::string& fileName, const std::string& text)
{
    QSaveFile file(QString::fromStdString(fileName));
    return file.open(QIODevice::WriteOnly) && file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.commit();
}

} // namespace

std::string ScreenshotFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return options.CommonSendOptions().Contains(sndSendScreenshot) ? Folder(tempFolder) + "Screenshot.png" : std::string();
}

std::string LogCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return Folder(tempFolder) + ExtractFileName(ExpandVariables(options.OutputLogFile("")));
}

std::string ZipFileName(const std::string& tempFolder) { return Folder(tempFolder) + "BugReport.zip"; }

std::string ProcessDataFileName(uintptr_t moduleHandle, const std::string& tempFolder)
{
    char name[64];
    std::snprintf(name, sizeof name, "%08X%016llX.bin", unsigned(::getpid()), static_cast<unsigned long long>(moduleHandle));
    return Folder(tempFolder) + name;
}

std::string LastHTMLPageFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return options.CommonSendOptions().Contains(sndSendLastHTMLPage) ? Folder(tempFolder) + "LastHTMLPage.html" : std::string();
}

std::string XMLCopyFileName(const TCrashboxModuleOptions& options, const std::string& tempFolder)
{
    return options.CommonSendOptions().Contains(sndSendXMLLogCopy) ? ChangeFileExt(LogCopyFileName(options, tempFolder), ".xml")
                                                                   : std::string();
}

std::string AttachmentName(const TCrashboxModuleOptions& options, const std::string& fileName, const TReportFileState& state)
{
    std::string name = ExtractFileName(fileName);
    if (options.CommonSendOptions().Contains(sndAddComputerNameInFileName))
        name = BeforeExtension(name, "__" + state.ComputerName);
    if (options.CommonSendOptions().Contains(sndAddDateInFileName))
        name = BeforeExtension(name, "__" + state.ExceptionTime.toString("yyyyMMddHHmmss").toStdString());
    return name;
}

void SaveLastHTMLPage(const TCrashboxModuleOptions& options, const std::string& text, const std::string& tempFolder)
{
    const std::string name = LastHTMLPageFileName(options, tempFolder);
    if (!name.empty())
        WriteWhole(name, text);
}

bool SaveXMLCopy(const TCrashboxModuleOptions& options, const TReportFileState& state, const std::string& tempFolder)
{
    const std::string name = XMLCopyFileName(options, tempFolder);
    if (name.empty())
        return true;
    try {
        const std::string logCopy = LogCopyFileName(options, tempFolder);
        // Without a log copy on disk the copy is of the current report alone.
        const bool fromLog = !logCopy.empty() && QFile::exists(QString::fromStdString(logCopy));
        TLogFile log(fromLog ? logCopy : std::string(), true);
        if (!fromLog)
            log.Append(state.ReportText, 1);
        log.SetPassword(state.Password);
        log.SaveXMLCopy(name);
        return true;
    } catch (const ELogFileError&) {
        return false;
    }
}

std::string ReadTextFile(const std::string& fileName)
{
    if (fileName.empty())
        return {};
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

void AttachmentList(const TCrashboxModuleOptions& options, const TReportFileState& state, std::vector<std::string>& list,
                    bool leaveOutLog, const std::string& tempFolder)
{
    list.clear();
    SplitStringToList(options.AttachedFiles(), list, MakeCharSet(";"), false, false);
    if (!(leaveOutLog && options.AppendLogs()))
        list.push_back(LogCopyFileName(options, tempFolder));
    const std::string screenshot = ScreenshotFileName(options, tempFolder);
    if (!screenshot.empty() && state.ScreenshotChecked)
        list.push_back(screenshot);
    const std::string page = LastHTMLPageFileName(options, tempFolder);
    if (!page.empty() && state.LastHTMLPageCaptured)
        list.push_back(page);
    const std::string xml = XMLCopyFileName(options, tempFolder);
    if (!xml.empty())
        list.push_back(xml);
    for (std::string& entry : list)
        entry = ExpandVariables(entry);
}

} // namespace cv
