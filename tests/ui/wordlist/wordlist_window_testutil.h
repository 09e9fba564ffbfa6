#pragma once
// The word-list window for the tests: private default settings, scripted
// message and file dialogs, fixed job choices, crash reporting on. Jobs are
// started as the wizard starts them, by posting message 1391 to the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>

#include <memory>
#include <utility>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_grid.h"
#include "gui/file_dialogs.h"
#include "model/batch_procedures.h"
#include "model/chosen_files.h"
#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/wordlist_main.h"
#include "wordlist/wordlist_holder.h"

namespace wordlist_window_test {

// The window, with a way to act while a job runs: each running-word count
// the job posts (one per text) goes to the hook.
class TestWindow final : public cv::TFormWordList {
public:
    explicit TestWindow(QStringList commandLine = {})
        : TFormWordList(nullptr, cv::TMainToolsFormOptions{false, 0}, std::move(commandLine))
    {
    }
    bool WindowMessage(uint32_t msg, uint64_t wparam, int64_t lparam) override
    {
        if (msg == cv::kMsgRunningWords && onRunningWords)
            onRunningWords(lparam);
        return TFormWordList::WindowMessage(msg, wparam, lparam);
    }
    bool OpenFile(QWidget* second = nullptr) override
    {
        const bool opened = TFormWordList::OpenFile(second);
        if (afterOpenFile)
            afterOpenFile();
        return opened;
    }
    std::function<void(int64_t)> onRunningWords;
    // Called after each open (a test's step that runs short of memory there).
    std::function<void()> afterOpenFile;
};

class WordListWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No shared settings buffer of a suite running on this machine is found.
        qputenv("CV_SETTINGS_BUFFER", dir.file(QStringLiteral("no-suite.buf")).toLocal8Bit());
        cvtest::StartFromDefaults();
        cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
        cv::Global_stopLemmaMatchLoaded = {};
        cv::Global_BatchProcedures.ResetForNewBatch();
        cv::Global_BatchProcedures.mode = 0;
        cv::Global_BatchProcedures.Zip_Too = false;
        cv::Global_BatchProcedures.BatchRootFolder.clear();
        cv::Global_BatchProcedures.ZipShortFilename.clear();
        window = std::make_unique<TestWindow>();
        window->SetJobChoices(&choices);
    }
    void TearDown() override
    {
        window.reset();
        module.reset();
        cv::DeactivateCrashbox();
        cv::TLemmatiser::Instance().ClearAll();
        cv::global_panic_state = cv::kPanicRun;
        qunsetenv("CV_SETTINGS_BUFFER");
    }

    // The window made again after the data module, as the program makes
    // them, so that it has the module's menus.
    void RemakeWindowWithMenus()
    {
        window.reset();
        module = std::make_unique<cv::TDataModuleCorvantis>();
        window = std::make_unique<TestWindow>();
        window->SetJobChoices(&choices);
    }

    // Writes a text into the test's folder; its full name.
    QString Text(const QString& name, const QString& content) { return dir.write(name, content.toUtf8()); }
    // Chooses texts (name, content) for the next job.
    void Choose(const std::vector<std::pair<QString, QString>>& texts)
    {
        for (const auto& [name, content] : texts)
            ASSERT_TRUE(window->ChosenTexts->ToolAddAFile(Text(name, content)));
    }
    // Asks the window for a job as the wizard does, and lets it run.
    void Request(int32_t job, uint64_t batch = 0)
    {
        ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kMsgMakeList, batch, job));
        QApplication::processEvents();
        ASSERT_FALSE(window->JobRunning());
        // Messages the job posted to the window near its end.
        QApplication::processEvents();
    }
    // A word list of one text, saved by the engine; its file name.
    QString SavedWordList(const QString& name, const QString& content)
    {
        cv::TCVFileDetails chosen(true, {});
        chosen.ToolAddAFile(Text(name + QStringLiteral(".txt"), content));
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc.MakeWordlist(chosen, 0, converted, cv::kListWordList));
        const QString file = dir.file(name + QStringLiteral(".lst"));
        EXPECT_TRUE(doc.SaveToFile(file));
        // The running words it posted to the window are not a job's.
        QApplication::processEvents();
        return file;
    }
    // Saves the document shown (as a user does before going on to other
    // work), so that letting it go asks nothing.
    void SaveShown(const QString& name = QStringLiteral("shown.lst"))
    {
        ASSERT_TRUE(window->SaveGridData(cv::ToolWindowList().CurrentGrid(), dir.file(name)));
    }
    cv::T_WholeWordlistHolder* Doc() const { return window->WordlistDocument(); }
    const cv::TCVWordList* Words(uint8_t listType = cv::kListWordList) const
    {
        return Doc() ? Doc()->WordlistOfType(listType) : nullptr;
    }
    QWidget* CurrentPage() const { return window->AdvOfficePager1->currentWidget(); }
    // The grid of the current page with its rows as the user sees them.
    cv::TCV_Grid* CurrentGrid() const { return cv::ToolWindowList().CurrentGrid(); }
    // The words of a list, in list order.
    static QStringList WordsOf(const cv::TCVWordList& list)
    {
        QStringList words;
        for (int i = 0; i < list.Count(); ++i)
            words << list.Entry(i).fWord;
        return words;
    }
    static int64_t FreqOf(const cv::TCVWordList& list, const QString& word)
    {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Entry(i).fWord == word)
                return list.Entry(i).fData.Freq;
        return -1;
    }

    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard dialogGuard{&dialogs};
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard fileGuard{&files};
    cv::TFixedJobChoices choices;
    std::unique_ptr<cv::TDataModuleCorvantis> module; // when the test has the menus
    std::unique_ptr<TestWindow> window;
};

} // namespace wordlist_window_test
