// The grid dialogs on a real X screen (the test starts Xvfb for it) with a
// fresh settings buffer and a fresh user folder, so no dialog has a place
// remembered: every grid dialog of the word-list window is opened on the
// frequency page, pictured into the folder named by CV_SCREENSHOT_DIR, and
// its window frame checked against the screen's available area.
//
// Prints one line a dialog, "name x y width height inside|OUTSIDE"; exit
// code 0 when every dialog lay inside the screen and was pictured.

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTextStream>

#include <functional>

#include "gui/file_dialogs.h"
#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/breakdown_window.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/grid_dialogs/search_replace_dialog.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/wordlist_main.h"

#include "walk_support.h"

namespace {

using screens_walk::Settle;

QString g_dir;
int g_failures = 0;

// The dialog's picture, and its frame against the screen.
void Check(QWidget* w, const QString& name)
{
    if (!w || !w->isVisible()) {
        ++g_failures;
        QTextStream(stdout) << name << " not shown" << Qt::endl;
        return;
    }
    if (!screens_walk::WaitUntilShown(w))
        QTextStream(stdout) << name << ": not shown within ten seconds" << Qt::endl;
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QRect frame = w->frameGeometry();
    const bool inside = area.contains(frame);
    if (!inside)
        ++g_failures;
    if (!screens_walk::SavePicture(screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()), g_dir,
                                   name))
        ++g_failures;
    QTextStream(stdout) << name << ' ' << frame.x() << ' ' << frame.y() << ' ' << frame.width() << ' '
                        << frame.height() << (inside ? " inside" : " OUTSIDE") << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvantis-wordlist"));
    g_dir = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (g_dir.isEmpty() || !QDir().mkpath(g_dir + QStringLiteral("/user")))
        return 2;
    cv::TSettingsBuffer::Instance().UsePrivate();
    cv::TSettingsBuffer::Instance().ResetToDefaults();
    cv::SetUserReadWriteFolder(g_dir + QStringLiteral("/user"));
    cv::SetDefaultFolder(g_dir + QStringLiteral("/user"));
    cv::current_tool_var = cv::kToolWordList;

    cv::TScriptedDialogs messages;
    cv::TDialogServiceGuard messageGuard(&messages);
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard fileGuard(&files);
    // Modal dialogs are shown, checked and cancelled; `name` says which one comes.
    QString name;
    cv::TModalRunnerGuard runner([&name](QDialog& d) {
        d.show();
        Check(&d, name);
        d.hide();
        return int(QDialog::Rejected);
    });

    QDir().mkpath(g_dir + QStringLiteral("/texts"));
    QFile text(g_dir + QStringLiteral("/texts/sea.txt"));
    text.open(QIODevice::WriteOnly);
    text.write(QByteArray("The whale swam in the sea. The sea was deep and the whale was old. ").repeated(20));
    text.close();

    cv::TDataModuleCorvantis module;
    module.TerminateApplication = [] {};
    cv::TFormWordList window(nullptr, cv::TMainToolsFormOptions{false, 0});
    window.resize(900, 600);
    window.move(40, 40);
    cv::TDialogJobChoices jobDialogs(&window);
    cv::TFixedCommandChoices others;
    cv::TDialogCommandChoices commandDialogs(jobDialogs, others);
    window.SetJobChoices(&jobDialogs);
    window.SetCommandChoices(&commandDialogs);
    window.show();
    window.ChosenTexts->ToolAddAFile(text.fileName());
    cv::PostMessage(window.WindowHandle(), cv::kMsgMakeList, 0, cv::kListWordList);
    Settle();
    window.ActivatePage(window.AdvOfficePageFrequency);
    Settle();
    cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid();
    if (!grid || !grid->List())
        return 3;
    cv::TGridDialogHost& host = cv::GridDialogHostOf(window);

    const auto modal = [&name](const char* which, const std::function<void()>& open) {
        name = QString::fromLatin1(which);
        open();
        Settle();
    };
    modal("columns-layout", [&] { host.OpenColumnsDialog(grid); });
    modal("columns-computed", [&] { host.OpenColumnsDialog(grid, true); });
    bool busy = false;
    modal("save-as", [&] { host.SaveAsExport(grid, 0, busy); });
    modal("clipboard-format", [&] { host.ChooseClipboardFormat(grid); });
    modal("active-set-column", [&] { host.OpenActiveColumnChooser(grid); });

    const std::pair<cv::TConditionsMode, const char*> modes[] = {
        {cv::TConditionsMode::DeleteIf, "delete-if"}, {cv::TConditionsMode::Search, "search-conditions"},
        {cv::TConditionsMode::ColourCategories, "colour-categories"}};
    for (const auto& [mode, which] : modes) {
        host.OpenConditionsDialog(grid, mode);
        Check(host.SearchDelColourCatForm(), QString::fromLatin1(which));
        if (mode == cv::TConditionsMode::ColourCategories)
            modal("search-requirements",
                  [&] { host.SearchDelColourCatForm()->RequirementClick(cv::TConditionOrder::Main); });
        host.SearchDelColourCatForm()->hide();
    }
    host.PrintPreviewGrid(grid);
    Check(host.PrintPreviewForm(), QStringLiteral("print-preview"));
    host.PrintPreviewForm()->hide();
    host.OpenSearchReplace(grid, true);
    Check(host.SearchReplaceDialog(), QStringLiteral("search-and-replace"));
    host.SearchReplaceDialog()->hide();
    host.OpenSearchReplace(grid, false);
    Check(host.SearchReplaceDialog(), QStringLiteral("search-only"));
    host.SearchReplaceDialog()->hide();
    host.ShowBreakdown(grid);
    Check(host.BreakdownForm(), QStringLiteral("breakdown"));
    host.BreakdownForm()->hide();

    window.SetJobChoices(nullptr);
    window.SetCommandChoices(nullptr);
    return g_failures == 0 ? 0 : 1;
}
