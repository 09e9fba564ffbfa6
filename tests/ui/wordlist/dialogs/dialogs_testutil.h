#pragma once
// The set-up dialogs under test: private default settings with the user's
// and the default folder in a temporary folder, scripted message dialogs,
// and two message windows standing in for the tool's main window and the
// controller, which keep what is posted to them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include <functional>
#include <memory>
#include <vector>

#include "model/batch_procedures.h"
#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/tool_pages.h"

namespace dialogs_test {

struct TPosted {
    uint32_t msg;
    uint64_t wparam;
    int64_t lparam;
    friend bool operator==(const TPosted&, const TPosted&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const TPosted& p)
{
    return os << '{' << p.msg << ", " << p.wparam << ", " << p.lparam << '}';
}

// The user of the modal dialogs while it lives: each dialog run modally is
// shown, handed to `act` (when set: it fills controls and presses buttons),
// and its result returned without a modal loop.
struct TModalUser {
    std::function<void(QDialog&)> act;
    int runs = 0;
    cv::TModalRunnerGuard guard{[this](QDialog& dialog) {
        ++runs;
        dialog.show();
        if (act)
            act(dialog);
        const int result = dialog.result();
        dialog.hide();
        return result;
    }};
};

// One control of a settings dialog: set it, press OK, find its field in the stored record.
template <typename Dialog>
struct TFieldCase {
    const char* what;
    std::function<void(Dialog&)> set;
    std::function<void(const std::vector<uint8_t>& stored)> check;
};

// The stored index settings record's bytes.
inline std::vector<uint8_t> StoredIndexSettings()
{
    const cv::TWordlist_index_settings_rec r = cv::GetWordlistIndexSettings();
    return {r.Bytes().begin(), r.Bytes().end()};
}

// Each case from the default record: the control's field is stored, and the
// bytes before the dialog's fields (below `firstField`) are left alone.
template <typename Dialog>
void ExpectEachControlWritesItsField(Dialog& dialog, const std::vector<TFieldCase<Dialog>>& cases, std::size_t firstField)
{
    for (const TFieldCase<Dialog>& c : cases) {
        SCOPED_TRACE(c.what);
        cv::SetWordlistIndexSettings(cv::TWordlist_index_settings_rec::Defaults());
        dialog.show();
        const std::vector<uint8_t> before = StoredIndexSettings();
        c.set(dialog);
        dialog.ButtonOKClick();
        ASSERT_EQ(dialog.result(), 1);
        const std::vector<uint8_t> after = StoredIndexSettings();
        c.check(after);
        for (std::size_t i = 0; i < firstField; ++i)
            ASSERT_EQ(after[i], before[i]) << i;
        dialog.hide();
    }
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("CV_SETTINGS_BUFFER", dir.file(QStringLiteral("no-suite.buf")).toLocal8Bit());
        cvtest::StartFromDefaults();
        cv::Global_stopLemmaMatchLoaded = {};
        QDir().mkpath(dir.file(QStringLiteral("user")));
        cv::SetUserReadWriteFolder(dir.file(QStringLiteral("user")));
        cv::SetDefaultFolder(dir.path());
        mainWindow = std::make_unique<cv::TMessageWindow>(
            [this](uint32_t msg, uint64_t w, int64_t l) { toMainWindow.push_back({msg, w, l}); });
        controller = std::make_unique<cv::TMessageWindow>(
            [this](uint32_t msg, uint64_t w, int64_t l) { toController.push_back({msg, w, l}); });
        cv::mini_global_own_HWnd = mainWindow->Handle();
        cv::SetShellWnd(controller->Handle());
    }
    void TearDown() override
    {
        cv::mini_global_own_HWnd = 0;
        cv::SetShellWnd(0);
        cv::TLemmatiser::Instance().ClearAll();
        cv::global_panic_state = cv::kPanicRun;
        cv::Global_BatchProcedures.ResetForNewBatch();
        qunsetenv("CV_SETTINGS_BUFFER");
    }

    // Lets posted messages arrive.
    static void Deliver()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    // A code posted to the controller, as the controller reads it.
    static uint16_t CodeOf(const TPosted& p) { return cv::CodeOfWParam(p.wparam); }

    QString Write(const QString& name, const QByteArray& bytes) const { return dir.write(name, bytes); }

    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard dialogGuard{&dialogs};
    std::unique_ptr<cv::TMessageWindow> mainWindow;
    std::unique_ptr<cv::TMessageWindow> controller;
    std::vector<TPosted> toMainWindow;
    std::vector<TPosted> toController;
};

} // namespace dialogs_test
