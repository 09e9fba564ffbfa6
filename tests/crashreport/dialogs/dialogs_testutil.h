#pragma once
// What the crash-report dialog tests share: a measurer of fixed sizes (so
// layouts come out in known pixels), the settings folders in a temporary
// folder, a fresh dialog state and options for each test, and a runner
// that shows a modal dialog, lets it paint and then acts on it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>

#include <functional>
#include <memory>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/dialogs/dialog_toolkit.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "suite/dialogs.h"

namespace cvtest {

// Every character 6 pixels wide (bold ones 7), every line 13 pixels high.
class FixedMeasurer final : public cv::TTextMeasurer {
public:
    cv::TTextExtent Extent(const QFont& font, const QString& text) const override
    {
        return {int(text.size()) * (font.bold() ? 7 : 6), 13};
    }
};

// Lets the dialog show and paint.
inline void ShowAndPaint(QWidget& widget)
{
    widget.show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

class DialogTest : public CrashboxFolders {
protected:
    void SetUp() override
    {
        CrashboxFolders::SetUp();
        cv::ExceptionDialogState() = cv::TExceptionDialogState{};
        cv::ExceptionDialogState().DialogWorkArea = QRect(0, 0, 1280, 1024);
        options = std::make_unique<cv::TCrashboxModuleOptions>("");
        // Each test names the options it needs.
        options->SetExceptionDialogOptions({});
        options->SetLogOptions({});
        options->SetCommonSendOptions({});
        host.Options = options.get();
        host.ErrorMessage = "Access violation at address 00401234.";
        host.Measurer = &measurer;
        host.Beep = [this] { ++beeps; };
    }

    FixedMeasurer measurer;
    std::unique_ptr<cv::TCrashboxModuleOptions> options;
    cv::TExceptionDialogHost host;
    cv::TScriptedDialogs boxes;
    cv::TDialogServiceGuard boxGuard{&boxes};
    int beeps = 0;
};

} // namespace cvtest
