#include "ui/framework/parameter_handling.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "gui/cv_status_bar.h"
#include "model/check_signature.h"
#include "model/corvantis_holder.h"
#include "suite/cv_format.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"
#include "ui/framework/tool_pages.h"

namespace cv {

namespace {

// The option letter of a switch and the flags it sets and clears.
struct TSwitchFlags {
    char16_t letter;
    uint16_t set;
    uint16_t clear;
};
constexpr TSwitchFlags kSwitches[] = {
    {u'C', kParmC, 0}, {u'K', kParmK, 0}, {u'W', kParmW, 0}, {u'I', kParmI, 0},
    {u'G', kParmG, 0}, {u'F', kParmF, kParmY}, {u'Y', kParmF | kParmY, 0},
};

bool IsOptionSwitch(const QString& p)
{
    if (p.size() != 2)
        return false;
    const QChar first = p[0];
    if (first != u'-' && first != u'/' && first != u'\\')
        return false;
    return p != QStringLiteral("//") && p != QStringLiteral("\\\\");
}

// Whether a file opens with a signature of the suite's saved results (of
// any generation: a file of an older or newer layout still is one).
bool IsACorvantis32BitFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(TCheckSignature::kSize);
    if (head.size() < TCheckSignature::kSize)
        return false;
    TMemoryStream stream;
    stream.Write(head.constData(), head.size());
    stream.SetPosition(0);
    TCheckSignature sig;
    const TSignatureCheck check = sig.ReadFromStream(stream, INT32_MAX);
    return check == TSignatureCheck::OK || check == TSignatureCheck::NewerFormat ||
           check == TSignatureCheck::NewerVersion;
}

} // namespace

TCVParamsFound ParseCommandLine(const QStringList& params)
{
    TCVParamsFound found;
    found.tool_wanted = kToolNone;
    for (qsizetype i = 0; i < params.size(); ++i) {
        const QString& p = params[i];
        if (p.isEmpty())
            continue;
        if (p == QStringLiteral("/log")) {
            // The next parameter is the log file, whatever it looks like; an
            // empty one names no file, so the default stands.
            QString name;
            if (i + 1 < params.size())
                name = params[++i];
            if (name.isEmpty())
                name = DefaultLogFilename();
            found.logfilename = name;
            found.parms_found |= kParmLog;
            SetLogFilename(name);
            SwitchLogging(true);
            // The menus offer more while logging is on ("Cause a Crash"):
            // they are fitted again, even for the page they were fitted to.
            ToolWindowList().last_menu_fit = TMenuFittingRec{};
            StartNewLogSection(QCoreApplication::instance() ? QCoreApplication::applicationName() : QString());
            continue;
        }
        if (IsOptionSwitch(p)) {
            for (const TSwitchFlags& s : kSwitches)
                if (p[1] == QChar(s.letter)) {
                    found.parms_found = uint16_t((found.parms_found | s.set) & ~s.clear);
                    break;
                }
            continue;
        }
        for (uint8_t tool = 0; tool < kToolCount; ++tool)
            if (p == GetShortToolFilename(tool)) {
                found.parms_found |= kParmTool;
                found.tool_wanted = tool;
                break;
            }
        if (!found.formatted_params.isEmpty())
            found.formatted_params += u' ';
        found.formatted_params += p;
    }
    return found;
}

TCVStored_File_rec HandleCommandLineParameters(const QString& params)
{
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("parameter: \"%1\"").arg(params));
    TCVStored_File_rec rec;
    // The whole joined text names the file, so that an unquoted name with
    // blanks that arrived as several parameters still names one file.
    const QString name = params.trimmed();
    if (params.size() < 3 || !QFileInfo(name).isFile()) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("cannot find: %1").arg(params));
        return rec;
    }
    uint8_t listType = ListTypeFromFileExt(name);
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("file found: %1\ntype = %2\ntool = %3\ncurrent tool = %4")
                         .arg(name, ListTypeSignature(listType), Tool_Name(ToolTypeFromListType(listType)),
                              Tool_Name(current_tool_var)));
    if (current_tool_var == 5 && !IsACorvantis32BitFile(name))
        listType = kListPlainTextWordList;
    if (IsAZipFile(name)) {
        // A batch of saved results opens as one: its list type and the
        // number of its results (a zip has no list type of its own).
        uint8_t batchType = kListNone;
        int count = 0;
        if (IsABatchZipFileForListType(name, &batchType, &count)) {
            listType = batchType;
            rec.Count = count;
        } else {
            listType = kListNone;
        }
    }
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("file to open: %1 (%2, %3)")
                         .arg(name, ListTypeSignature(listType), Tool_Name(ToolTypeFromListType(listType))));
    rec.FileName = name;
    rec.ListType = listType;
    return rec;
}

void HandleStartupParameters(TMainToolsForm& form, const QStringList& params)
{
    if (!params.isEmpty() && !params.first().isEmpty()) {
        form.parms = ParseCommandLine(params);
        if (LoggingIsOn())
            AddToLogFile(Format(CVLoadingX, {form.parms.formatted_params}));
        StartupOpenFileRec() = HandleCommandLineParameters(form.parms.formatted_params);
        return;
    }
    if (GetStartupOptions().ReopenLastFile() && !form.PopupMenuLastFile->isEmpty())
        form.Lastfile1Click();
}

void AfterStartup(TMainToolsForm& form)
{
    const int32_t tags = GetTagsWanted();
    if (GetCustomLanguageTagsLoaded() && tags > 0)
        form.AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo,
                                                       CVTagFile + QStringLiteral(": ") + Format(CVNmanyEntriesFound, {tags}));
    TLastActions& actions = ToolWindowList().Last_actions;
    if (actions.Empty())
        return;
    if (actions.Contains(kActionFileOpened)) {
        form.PrepareOpenDialog(StartupOpenFileRec().ListType);
        if (form.fData && !form.fData->fApplicable)
            NotApplicableExplanation();
    }
    if ((actions.Contains(kActionIndexMade) || actions.Contains(kActionWordlistMade) || actions.Contains(9)) &&
        form.TextFiles_convertedtoUnicode > 0)
        ReportedAFact(QStringLiteral("%1 text files were converted to Unicode.").arg(form.TextFiles_convertedtoUnicode));
    actions.Clear();
}

} // namespace cv
