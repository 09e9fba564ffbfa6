// The screenshot walk: the word-list window on a real X screen (the test
// starts Xvfb for it), taken through the steps a new user takes, each step
// saved as a picture into the folder named by CV_SCREENSHOT_DIR:
//
//   01 start, 02 the text chooser and the wizard with the texts chosen,
//   03 the word list (its pages), 04 the language settings and the list
//   made again, 05 the index, 06 the relationship choices and the
//   relationships, 07 the word cloud.
//
// Modal dialogs are pictured while they are up and then answered, so the
// walk never waits for a user. Exit code 0 when every picture was written.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

#include "controller/controller_ini.h"
#include "controller/settings_window.h"
#include "controller/text_chooser.h"
#include "crashreport/core/options/crashbox_options.h"
#include "gui/file_dialogs.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/dialogs/dialog_command_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/relationship_choices.h"
#include "ui/wordlist/views/view_windows.h"
#include "ui/wordlist/views/word_cloud_window.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/wordlist_holder.h"

#include "walk_support.h"

namespace {

using screens_walk::Settle;

QString g_dir;
int g_failures = 0;

// The window as the X screen shows it.
void Shot(QWidget* w, const QString& name)
{
    Settle();
    w->raise();
    if (!screens_walk::WaitUntilShown(w))
        QTextStream(stdout) << name << ": not shown within ten seconds" << Qt::endl;
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    QPixmap pixmap = screen->grabWindow(w->winId());
    if (pixmap.isNull() || pixmap.width() < 10)
        pixmap = w->grab();
    if (!screens_walk::SavePicture(pixmap, g_dir, name))
        ++g_failures;
}

QString Write(const QString& name, const QString& text)
{
    const QString file = QDir(g_dir).filePath(QStringLiteral("texts/") + name);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvantis-wordlist"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));
    g_dir = qEnvironmentVariable("CV_SCREENSHOT_DIR");
    if (g_dir.isEmpty() || !QDir().mkpath(g_dir))
        return 2;
    cv::TSettingsBuffer::Instance().UsePrivate();
    cv::TSettingsBuffer::Instance().ResetToDefaults();
    cv::current_tool_var = cv::kToolWordList;
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
    cv::CurrentCrashboxOptions().SetOutputPath(g_dir.toStdString());

    // Messages take their default answers; modal dialogs are pictured, then answered.
    cv::TScriptedDialogs messages;
    cv::TDialogServiceGuard messageGuard(&messages);
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard fileGuard(&files);
    std::function<int(QDialog&)> modal = [](QDialog&) { return int(QDialog::Rejected); };
    cv::TModalRunnerGuard runner([&modal](QDialog& d) { return modal(d); });

    const QString texts[] = {
        Write(QStringLiteral("whales.txt"),
              QStringLiteral("The whale swam in the sea. The sea was deep and the whale was old. ").repeated(30)),
        Write(QStringLiteral("ships.txt"),
              QStringLiteral("A ship sailed on the sea; the crew of the ship saw a whale. ").repeated(25)),
    };

    cv::TDataModuleCorvantis module;
    module.TerminateApplication = [] {};
    cv::TFormWordList window(nullptr, cv::TMainToolsFormOptions{false, 0});
    window.resize(1100, 700);
    window.move(20, 20);
    cv::TDialogJobChoices jobDialogs(&window);
    cv::TFixedCommandChoices others;
    cv::TDialogCommandChoices commandDialogs(jobDialogs, others);
    cv::TViewWindows views(&window);
    commandDialogs.SetViewWindows(&views);
    window.SetJobChoices(&jobDialogs);
    window.SetCommandChoices(&commandDialogs);
    window.show();
    Shot(&window, QStringLiteral("01-start"));

    // 02: the controller's text chooser with a folder of texts, then the wizard.
    {
        cv::TTextChooser chooser(cv::kToolWordList, QDir(g_dir).filePath(QStringLiteral("handover")));
        QDir().mkpath(QDir(g_dir).filePath(QStringLiteral("handover")));
        chooser.AddFolder(QDir(g_dir).filePath(QStringLiteral("texts")), QStringLiteral("*.txt"), true);
        chooser.show();
        Shot(&chooser, QStringLiteral("02a-text-chooser"));
    }
    for (const QString& t : texts)
        window.ChosenTexts->ToolAddAFile(t);
    modal = [](QDialog& d) {
        d.show();
        Shot(&d, QStringLiteral("02b-wizard-texts-chosen"));
        return int(QDialog::Rejected);
    };
    window.ShowWizardForChosenTexts(window.ChosenTexts.get());
    modal = [](QDialog&) { return int(QDialog::Rejected); };

    // 03: the word list.
    const auto makeWordList = [&] {
        cv::PostMessage(window.WindowHandle(), cv::kMsgMakeList, 0, cv::kListWordList);
        Settle();
    };
    makeWordList();
    Shot(&window, QStringLiteral("03a-wordlist-frequency"));
    const std::pair<QWidget*, const char*> pages[] = {
        {window.AdvOfficePageAlph, "03b-wordlist-alphabetical"},
        {window.AdvOfficePageStatistics, "03c-statistics"},
        {window.AdvOfficePageFilenames, "03d-filenames"},
        {window.AdvOfficePageNotes, "03e-notes"},
    };
    for (const auto& [page, name] : pages) {
        window.ActivatePage(page);
        Shot(&window, QString::fromLatin1(name));
    }

    // 04: the language settings of the controller: a shortest word of 4 letters, and the list again.
    {
        cv::TControllerSettingsWindow settings(cv::SettingsWindowTitle(cv::kCodeSettingsLanguage, cv::kToolWordList),
                                               cv::SettingKeysOfCommand(cv::kCodeSettingsLanguage, cv::kToolWordList));
        settings.SetValue(QStringLiteral("Text/MinWordLength"), QStringLiteral("4"));
        settings.show();
        Shot(&settings, QStringLiteral("04a-settings-language"));
        settings.OkClick();
    }
    window.SettingsChanged(cv::kCodeReReadSettings);
    window.CloseData(true);
    makeWordList();
    window.ActivatePage(window.AdvOfficePageFrequency);
    Shot(&window, QStringLiteral("04b-wordlist-after-settings"));

    // 05: an index of the texts.
    cv::TTextSettings t = cv::GetTextSettings();
    t.SetMinWordLength(1);
    cv::SetTextSettings(t);
    QString error;
    const QString base = QDir(g_dir).filePath(QStringLiteral("index/corpus"));
    QDir().mkpath(QFileInfo(base).absolutePath());
    if (!cv::MakeIndexOfTexts(*window.ChosenTexts, base, cv::kIndexOpenNew, &error)) {
        QTextStream(stderr) << "index: " << error << Qt::endl;
        return 3;
    }
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    rec.Clear();
    rec.FileName = cv::IndexFileName(base, cv::TIndexFileKind::Tokens);
    rec.ListType = cv::kListIndexWordList;
    window.OpenIndexDocument();
    Settle();
    Shot(&window, QStringLiteral("05-index"));

    // 06: the relationship choices (every tab), then the relationships.
    modal = [](QDialog& d) {
        d.show();
        if (auto* choices = qobject_cast<cv::TFormMIChoices*>(&d)) {
            for (int i = 0; i < choices->PageControl1->count(); ++i) {
                choices->PageControl1->setCurrentIndex(i);
                Shot(&d, QStringLiteral("06a-relationship-choices-tab%1").arg(i + 1));
            }
            choices->PageControl1->setCurrentIndex(0);
        }
        return int(cv::kModalOK);
    };
    window.ActivatePage(window.AdvOfficePageIndexAlph);
    Settle();
    if (cv::TCV_Grid* grid = cv::ToolWindowList().CurrentGrid())
        grid->HandleGridCommand(cv::TMenuCommand::Relationships);
    Settle();
    Shot(&window, QStringLiteral("06b-relationships"));
    modal = [](QDialog&) { return int(QDialog::Rejected); };

    // 07: the word cloud of the word list.
    window.CloseData(true);
    makeWordList();
    if (cv::TCVWordList* words = window.WordlistDocument()->WordlistOfType(cv::kListWordList)) {
        cv::TFormWordCloud* cloud = cv::ShowWordCloud(&window, *words, QStringLiteral("Word cloud"));
        if (cloud) {
            cloud->resize(900, 700);
            Shot(cloud, QStringLiteral("07-word-cloud"));
        }
    }
    window.SetJobChoices(nullptr);
    window.SetCommandChoices(nullptr);
    cv::DeactivateCrashbox();
    return g_failures == 0 ? 0 : 1;
}
