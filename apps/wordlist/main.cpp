// corvantis-wordlist: the word-list tool of the suite (docs/wordlist-program.md).
//
//   corvantis-wordlist [/log [LOGFILE]] [-C -K -W -I -G -F -Y] [TOOL] [FILE]
//
// FILE (a saved word list, a batch zip of them, or an index) opens once the
// window is up. Without a running controller the tool starts it and ends
// with a fatal message when it cannot.
//
// Two environment variables serve unattended runs (tests, scripts):
//   CV_NO_CONTROLLER=1          run without the controller, on the shared
//                               settings buffer when there is one, else on
//                               private default settings;
//   CV_QUIT_AFTER_START_MS=N    no message boxes (messages go to standard
//                               error and take their default answers); N ms
//                               after the start-up steps the program writes
//                               what the window shows to standard output
//                               ("caption:", "list type:", "entries:") and ends;
//   CV_MENU_COMMAND=TAG         with the one above: once the start-up steps
//                               are done, the menu command of that tag is
//                               chosen, as a click on its menu item would.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <new>
#include <optional>

#include "crashreport/core/handler/exception_handling_unit.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/dialogs/crash_reporter.h"
#include "crashreport/dialogs/crashbox_application.h"
#include "crashreport/dialogs/handler_binding.h"
#include "crashreport/gui_facts/qt_gui_facts.h"
#include "crashreport/send/web/web_error_page.h"
#include "gui/file_dialogs.h"
#include "gui/qt_dialog_service.h"
#include "gui/speech.h"
#include "runtime/memory_reserve.h"
#include "runtime/painting_threads.h"
#include "runtime/start_an_app.h"
#include "suite/dialogs.h"
#include "suite/file_system.h"
#include "suite/my_types.h"
#include "suite/wdef.h"
#include "textread/tag_handler.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/memory_shortage_guard.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/views/view_windows.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/wordlist_holder.h"

namespace {

// What the window shows, for an unattended run's caller.
void WriteWindowState(cv::TFormWordList& window)
{
    QTextStream out(stdout);
    out << "caption: " << window.windowTitle() << '\n';
    const cv::T_WholeWordlistHolder* doc = window.WordlistDocument();
    const uint8_t type = doc ? doc->MainFile.ListType : uint8_t(cv::kListNone);
    const cv::TCVWordList* list = doc ? doc->WordlistOfType(type) : nullptr;
    out << "list type: " << type << '\n';
    out << "entries: " << (list ? list->Count() : 0) << Qt::endl;
}

// Chooses the menu command of that tag, as a click on its item in the
// window's menu would: only an item the menu shows can be chosen.
bool ChooseMenuCommand(const QList<QAction*>& items, int tag)
{
    for (QAction* action : items) {
        if (QMenu* menu = action->menu(); menu && action->isVisible() && ChooseMenuCommand(menu->actions(), tag))
            return true;
        if (!action->menu() && cv::MenuTag(action) == tag && action->isVisible() && action->isEnabled()) {
            action->trigger();
            return true;
        }
    }
    return false;
}

// The application: the crash-report door, and inside it the window's
// answer to a step that ran out of memory (memory_shortage_guard.h).
class TWordListApplication final : public cv::TCrashboxApplication {
public:
    TWordListApplication(int& argc, char** argv, cv::TMemoryShortageGuard& shortage)
        : TCrashboxApplication(argc, argv), m_shortage(shortage)
    {
    }

protected:
    bool DeliverEvent(QObject* receiver, QEvent* event) override
    {
        return m_shortage.Deliver([&] { return TCrashboxApplication::DeliverEvent(receiver, event); });
    }

private:
    cv::TMemoryShortageGuard& m_shortage;
};

int Run(int argc, char** argv, const QString& programName, const cv::TEndForWantOfMemory& endForWantOfMemory,
        cv::TMemoryReserve& reserve)
{
    cv::TMemoryShortageGuard shortage(reserve, endForWantOfMemory);
    TWordListApplication app(argc, argv, shortage);
    QCoreApplication::setApplicationName(programName);
    QCoreApplication::setApplicationVersion(QStringLiteral(CV_VERSION));
    const QStringList params = QCoreApplication::arguments().mid(1);

    bool quitDelayOk = false;
    const int quitAfterStartMs = qEnvironmentVariableIntValue("CV_QUIT_AFTER_START_MS", &quitDelayOk);
    const bool unattended = quitDelayOk && quitAfterStartMs >= 0;

    // Qt's drawing gets its threads before anything is drawn; without one
    // the window could not be drawn (nor a message box): standard error says so.
    const cv::TPaintingThreads painting = cv::PreparePaintingThreads();
    if (!cv::CanDrawOrSayWhy(painting, QCoreApplication::applicationName()))
        return 1;

    // Messages on screen, except in an unattended run.
    cv::TQtDialogService dialogs;
    cv::TQtFileDialogService fileDialogs;
    std::optional<cv::TDialogServiceGuard> dialogGuard;
    std::optional<cv::TFileDialogServiceGuard> fileDialogGuard;
    if (!unattended) {
        dialogGuard.emplace(&dialogs);
        fileDialogGuard.emplace(&fileDialogs);
    }

    // Reports go beside the program, and crash events are copied into the
    // tool's log. The window system's facts (screen, printer, active window)
    // are recorded for the reports.
    cv::InitExceptionHandlingUnit(QCoreApplication::applicationFilePath().toStdString());
    cv::TQtGuiFactsRegistration guiFacts;
    // The crash dialogs, the screenshot and sending (an unattended run writes
    // its crash reports to standard output instead).
    std::optional<cv::TCrashReportDialogs> crashDialogs;
    if (!unattended)
        crashDialogs.emplace();
    // Started by a web server, the request is answered with the error page.
    cv::TWebErrorPageBinding webErrorPage;

    // The module initialisations, then the controller (started when absent).
    cv::TToolStartupOptions startup;
    startup.tool = cv::kToolWordList;
    startup.arguments = params;
    startup.startController = qEnvironmentVariableIsEmpty("CV_NO_CONTROLLER");
    if (!cv::ToolStartup(startup))
        return 1; // the fatal message has been shown
    cv::ToolWindowList();

    cv::TMainToolsFormOptions options;
    options.startController = startup.startController;
    int result = 0;
    {
        // The data module (menus, help) first: the window takes its menus.
        cv::TDataModuleCorvantis dataModule;
        cv::TFormWordList window(nullptr, options, params);
        dialogs.SetParent(&window);
        fileDialogs.SetParent(&window);
        // The user answers the jobs' and commands' questions in the set-up
        // dialogs; an unattended run keeps the window's fixed answers, so no
        // dialog waits for a user. Commands whose dialogs are not made yet
        // keep the fixed answers too.
        cv::TFixedCommandChoices otherCommandChoices;
        cv::TViewWindows viewWindows(&window);
        // The details window reads texts with the window's tag rules.
        viewWindows.SetTagHandlerAndTagTranslate(window.fTagHandler.get(), window.fTagsToTranslateList.get());
        std::optional<cv::TDialogJobChoices> jobDialogs;
        std::optional<cv::TDialogCommandChoices> commandDialogs;
        if (!unattended) {
            jobDialogs.emplace(&window);
            commandDialogs.emplace(*jobDialogs, otherCommandChoices);
            commandDialogs->SetViewWindows(&viewWindows);
            window.SetJobChoices(&*jobDialogs);
            window.SetCommandChoices(&*commandDialogs);
        }
        bool commandOk = false;
        const int menuCommand = qEnvironmentVariableIntValue("CV_MENU_COMMAND", &commandOk);
        // An unattended run always ends: without the memory to say what the
        // window shows, it ends saying why.
        if (unattended)
            QObject::connect(&window, &cv::TFormWordList::StartupFinished, &window,
                             [&window, quitAfterStartMs, menuCommand, commandOk, &endForWantOfMemory] {
                try {
                    if (commandOk)
                        QTimer::singleShot(0, &window, [&window, menuCommand] {
                            ChooseMenuCommand(window.menuBar()->actions(), menuCommand);
                        });
                    QTimer::singleShot(quitAfterStartMs, &window, [&window, &endForWantOfMemory] {
                        try {
                            WriteWindowState(window);
                        } catch (const std::bad_alloc&) {
                            endForWantOfMemory();
                        }
                        QCoreApplication::quit();
                    });
                } catch (const std::bad_alloc&) {
                    endForWantOfMemory();
                }
            });
        // Rows are read aloud through the desktop's speech.
        cv::TQtSpeaker speaker;
        const cv::TRowSpeaker noSpeaker = cv::SetRowSpeaker(cv::RowSpeakerOf(speaker));
        // The window was made on its reserve: it cannot go on.
        shortage.AfterStep();
        shortage.SetWindow(&window);
        const auto noWindow = qScopeGuard([&shortage] { shortage.SetWindow(nullptr); });
        window.show();
        result = app.exec();
        cv::SetRowSpeaker(noSpeaker);
        // The dialogs go before the window: it must not ask them any more.
        window.SetJobChoices(nullptr);
        window.SetCommandChoices(nullptr);
    }
    cv::ToolShutdown();
    cv::DoneExceptionHandlingUnit();
    if (painting.poolHoldsARefusedThread)
        cv::EndWithoutWaitingForThePool(result);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    // Started again after a crash on its window thread: the reporter of that
    // crash (its dialog and the sending).
    if (const std::optional<int> exitCode = cv::RunAsCrashReporter(argc, argv))
        return *exitCode;
    // Crash reporting first, so that it sees every exception of the
    // program, and last out.
    cv::TExceptionLogScope crashReporting;
    const QString programName = QStringLiteral("corvantis-wordlist");
    const cv::TEndForWantOfMemory endForWantOfMemory(programName);
    cv::PrepareMemoryForJobs();
    cv::ReportFileSizeLimitAsFailure();
    std::optional<cv::TMemoryReserve> reserve;
    try {
        reserve.emplace();
    } catch (const std::bad_alloc&) {
        endForWantOfMemory();
    }
    try {
        return Run(argc, argv, programName, endForWantOfMemory, *reserve);
    } catch (const std::bad_alloc&) {
        endForWantOfMemory();
    }
}
