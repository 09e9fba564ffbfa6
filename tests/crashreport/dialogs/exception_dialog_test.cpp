#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include <atomic>
#include <thread>

#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/dialogs/detailed_dialog.h"
#include "crashreport/dialogs/ms_classic_dialog.h"
#include "crashreport/dialogs/reproduce_dialog.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

class ExceptionDialogTest : public cvtest::DialogTest {
protected:
    // Shows each modal dialog, lets it paint, then acts on it.
    using Action = std::function<void(QDialog&)>;
    void Script(std::vector<Action> actions)
    {
        script = std::move(actions);
        runner = std::make_unique<TCrashDialogRunnerGuard>([this](QDialog& dialog) {
            shown.push_back(dynamic_cast<TMSClassicDialog*>(&dialog)   ? "classic"
                            : dynamic_cast<TDetailedDialog*>(&dialog) ? "detailed"
                                                                      : "other");
            shownDialogs.push_back(&dialog);
            cvtest::ShowAndPaint(dialog);
            if (next < script.size())
                script[next++](dialog);
            dialog.hide();
            return dialog.result();
        });
    }

    std::vector<Action> script;
    std::size_t next = 0;
    std::vector<std::string> shown;
    std::vector<QDialog*> shownDialogs;
    std::unique_ptr<TCrashDialogRunnerGuard> runner;
};

TEST_F(ExceptionDialogTest, TheMessageBoxKindShowsTheMessageWithoutABeep)
{
    ExceptionDialogState().DialogType = edtMessageBox;
    ShowExceptionDialog(true, host);
    EXPECT_EQ(beeps, 0);
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].caption, QStringLiteral("Error occurred"));
    EXPECT_EQ(boxes.Requests()[0].text, QStringLiteral("Access violation at address 00401234."));
    EXPECT_EQ(boxes.Requests()[0].kind, TDialogKind::Error);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
    EXPECT_FALSE(ExceptionDialogState().DialogFailed);
}

TEST_F(ExceptionDialogTest, TheClassicDialogBeepsOnceAndItsChoiceStays)
{
    options->SetEMailSendMode(esmSMTPServer);
    options->SetExceptionDialogOptions({edoShowSendErrorReportOption});
    ExceptionDialogState().DialogType = edtMSClassic;
    Script({[](QDialog& d) { static_cast<TMSClassicDialog&>(d).SendButton()->click(); }});
    ShowExceptionDialog(true, host);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(shown, std::vector<std::string>{"classic"});
    EXPECT_TRUE(ExceptionDialogState().SendChecked);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
    EXPECT_TRUE(boxes.Requests().empty());
    ShowExceptionDialog(false, host); // kind none: nothing more
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(ExceptionDialogTest, TheClassicLinkAsksForTheDetailedDialogNext)
{
    options->SetExceptionDialogOptions({edoShowDetailsButton});
    ExceptionDialogState().DialogType = edtMSClassic;
    Script({[](QDialog& d) {
                auto& classic = static_cast<TMSClassicDialog&>(d);
                classic.LeftButtonUp(classic.LinkRect().center());
            },
            [](QDialog& d) {
                auto& detailed = static_cast<TDetailedDialog&>(d);
                EXPECT_TRUE(detailed.DetailsShown());
                EXPECT_TRUE(detailed.DetailsButton()->isHidden());
                detailed.OKClicked();
            }});
    ShowExceptionDialog(true, host);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtCrashbox);
    // The handler calls again while the kind is not none.
    ExceptionDialogState().DialogShownAgain = true;
    ShowExceptionDialog(false, host);
    EXPECT_EQ(shown, (std::vector<std::string>{"classic", "detailed"}));
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
}

TEST_F(ExceptionDialogTest, ADialogThatNeverPaintsFallsBackToTheMessageBox)
{
    ClearInternalWarning();
    ExceptionDialogState().DialogType = edtCrashbox;
    TCrashDialogRunnerGuard never([](QDialog&) { return int(QDialog::Rejected); });
    ShowExceptionDialog(true, host);
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_TRUE(ExceptionDialogState().DialogFailed);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
    EXPECT_EQ(LastInternalWarning().Code, eeShowError);
    EXPECT_EQ(LastInternalWarning().Message, "Cannot show the DialogBox window.");
    // Nor is the reproduce dialog tried after that.
    options->SetLogOptions({loAppendReproduceText});
    ExceptionDialogState().SendChecked = true;
    int asked = 0;
    TCrashDialogRunnerGuard count([&](QDialog&) { return ++asked; });
    ShowReproduceDialog(host);
    EXPECT_EQ(asked, 0);
}

TEST_F(ExceptionDialogTest, AVetoedTerminationShowsTheDialogAgain)
{
    options->SetErrorsNumberToShowTerminateBtn(0);
    ExceptionDialogState().DialogType = edtCrashbox;
    std::vector<uint8_t> actions;
    int raisingThreadRuns = 0;
    host.RunInExceptionThread = [&](const std::function<void()>& procedure) {
        ++raisingThreadRuns;
        procedure();
    };
    host.ActionNotify = [&](uint8_t action, bool& execute) {
        actions.push_back(action);
        if (actions.size() == 1)
            execute = false; // not this time
    };
    auto terminate = [](QDialog& d) { static_cast<TDetailedDialog&>(d).TerminateClicked(); };
    Script({terminate, terminate});
    ShowExceptionDialog(true, host);
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(actions, (std::vector<uint8_t>{caTerminating, caTerminating}));
    EXPECT_EQ(raisingThreadRuns, 2);
    EXPECT_TRUE(ExceptionDialogState().TerminateRequested);
    EXPECT_EQ(ExceptionDialogState().DialogType, edtNone);
}

TEST_F(ExceptionDialogTest, TheReproduceDialogAsksOnlyWhenTheTextIsWantedAndGoesSomewhere)
{
    int asked = 0;
    TCrashDialogRunnerGuard answer([&](QDialog& d) {
        ++asked;
        static_cast<TReproduceDialog&>(d).Edit()->setPlainText(QStringLiteral(" typed "));
        d.accept();
        return int(QDialog::Accepted);
    });
    ShowReproduceDialog(host); // the option is off
    options->SetLogOptions({loAppendReproduceText});
    options->SetSaveLogFile(false);
    ShowReproduceDialog(host); // neither sent nor logged
    host.DuplicateInLog = true;
    ExceptionDialogState().SendChecked = true;
    ShowReproduceDialog(host); // already in the log
    host.DuplicateInLog = false;
    host.WindowedApplication = false;
    ShowReproduceDialog(host); // no windows here
    EXPECT_EQ(asked, 0);
    host.WindowedApplication = true;
    ShowReproduceDialog(host);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(options->ReproduceText(), "typed");
    EXPECT_FALSE(ExceptionDialogState().DialogPainted);
}

TEST_F(ExceptionDialogTest, CalledFromAnotherThreadTheDialogRunsOnTheGuiThread)
{
    ExceptionDialogState().DialogType = edtMessageBox;
    std::atomic<bool> finished = false;
    std::thread raiser([&] {
        ShowExceptionDialog(true, host);
        finished = true;
    });
    while (!finished)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    raiser.join();
    EXPECT_EQ(boxes.Requests().size(), 1u);
}

} // namespace
} // namespace cv
