// corvantis-controller: the suite's controller stand-in (docs/controller.md).
//
//   corvantis-controller [--ini FILE] [--log FILE] [--quiet] [--no-stdin]
//       runs the controller until "quit" on standard input or a termination signal;
//   corvantis-controller --write-ini FILE
//       writes an ini file with every editable setting and its default;
//   corvantis-controller --send CODE [--tool N] | --open FILE [--tool N]
//       asks the running controller's tool N to act on a command, then exits.

#include "controller/controller.h"
#include "controller/controller_ini.h"

#include "gui/file_dialogs.h"
#include "runtime/painting_threads.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/named_mutex.h"
#include "suite/private_files.h"
#include "suite/process_utils.h"
#include "suite/window_messages.h"
#include "ui/framework/tool_data_module.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

namespace {

int fail(const QString& text)
{
    QTextStream(stderr) << text << Qt::endl;
    return 1;
}

// Client mode: one command to a tool of the running controller's suite.
int sendToTool(uint16_t code, uint8_t tool, const QString& file)
{
    using namespace cv;
    if (!ControllerMutexExists())
        return fail(QStringLiteral("No controller is running."));
    QString error;
    if (!TSettingsBuffer::Instance().AttachShared(TSettingsBuffer::DefaultFileName(), &error))
        return fail(error);
    TWindowHandle target = GetActiveMainToolWindow(tool);
    if (target == 0)
        target = GetToolWnd(tool);
    if (target == 0)
        return fail(QStringLiteral("Tool %1 has no registered window.").arg(tool));
    if (!file.isEmpty())
        SetMyTempFilename(QDir::current().absoluteFilePath(file));
    if (!PostMessage(target, kMsgControllerCommand, PackToolCode(code, kToolController), int64_t(GetShellWnd()))
        || !FlushPostedMessages())
        return fail(QStringLiteral("The message could not be delivered to tool %1.").arg(tool));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display the controller still serves the tools: its windows
    // are made but not seen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Closing one of its windows does not end the controller.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("corvantis-controller"));
    // Its windows are drawn by Qt's pool threads: they are started now or
    // the controller says it cannot start (it would hang drawing).
    const cv::TPaintingThreads painting = cv::PreparePaintingThreads();
    if (!cv::CanDrawOrSayWhy(painting, QApplication::applicationName()))
        return 1;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Controller of the Corvantis tools"));
    parser.addHelpOption();
    const QCommandLineOption ini(QStringLiteral("ini"), QStringLiteral("Settings to apply at start."), QStringLiteral("file"),
                                 cv::DefaultControllerIniFile());
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("The controller's log file."), QStringLiteral("file"));
    const QCommandLineOption writeIni(QStringLiteral("write-ini"), QStringLiteral("Write an ini file with all settings and exit."),
                                      QStringLiteral("file"));
    const QCommandLineOption send(QStringLiteral("send"), QStringLiteral("Send a command code to a tool and exit."),
                                  QStringLiteral("code"));
    const QCommandLineOption open(QStringLiteral("open"), QStringLiteral("Ask a tool to open a file and exit."),
                                  QStringLiteral("file"));
    const QCommandLineOption tool(QStringLiteral("tool"), QStringLiteral("Tool number for --send and --open (default 0)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Log to the log file only."));
    const QCommandLineOption noStdin(QStringLiteral("no-stdin"), QStringLiteral("Do not read commands from standard input."));
    parser.addOptions({ini, log, writeIni, send, open, tool, quiet, noStdin});
    parser.process(app);

    if (parser.isSet(writeIni)) {
        cv::TSettingsBuffer::Instance().UsePrivate();
        cv::ApplyControllerIni(parser.value(ini));
        QString error;
        if (!cv::WriteControllerIni(parser.value(writeIni), &error))
            return fail(error);
        return 0;
    }
    if (parser.isSet(send) || parser.isSet(open)) {
        bool ok = true;
        const int code = parser.isSet(send) ? parser.value(send).toInt(&ok) : int(cv::kCodeOpenTempFile);
        const int toolNumber = parser.value(tool).toInt(&ok) ;
        if (!ok || code < 0 || code > 0xFFFF || toolNumber < 0 || toolNumber >= cv::kToolSlots)
            return fail(QStringLiteral("--send needs a code of 0 to 65535 and --tool a number of 0 to 31."));
        return sendToTool(uint16_t(code), uint8_t(toolNumber), parser.value(open));
    }

    cv::TController::TOptions options;
    options.iniFile = parser.value(ini);
    options.logFile = parser.isSet(log) ? parser.value(log) : qEnvironmentVariable("CV_CONTROLLER_LOG");
    if (options.logFile.isEmpty())
        options.logFile = cv::SuiteTempFile(QStringLiteral("corvantis-controller.log"));
    options.echo = !parser.isSet(quiet);
    options.readStdin = !parser.isSet(noStdin);

    cv::InstallQuitOnTerminationSignals();
    int result = 0;
    {
        // The settings windows' Browse buttons.
        cv::TQtFileDialogService fileDialogs;
        cv::TFileDialogServiceGuard fileDialogGuard(&fileDialogs);
        cv::TController controller(options);
        QString error;
        if (!controller.Start(&error))
            return fail(QStringLiteral("The controller cannot start: %1").arg(error));
        controller.SetMenuCommands(cv::MenuCommandsForCustomising());
        result = app.exec();
    }
    if (painting.poolHoldsARefusedThread)
        cv::EndWithoutWaitingForThePool(result);
    return result;
}
