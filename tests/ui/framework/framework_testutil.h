#pragma once
// A small tool window on the framework for the tests: four pages (word list
// by frequency, word list alphabetically, statistics inside a panel, notes)
// showing a word-list document made by the engine; private default settings,
// scripted message and file dialogs, crash reporting switched on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_grid.h"
#include "gui/file_dialogs.h"
#include "model/chosen_files.h"
#include "runtime/progress.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "textread/tag_handler.h"
#include "ui/framework/grid_binding.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/main_tools_form.h"
#include "wordlist/wordlist_holder.h"

namespace framework_test {

class TestWindow final : public cv::TMainToolsForm {
public:
    TestWindow() : TMainToolsForm(nullptr, cv::TMainToolsFormOptions{false, 0})
    {
        resize(800, 600);
        pager = new QTabWidget(this);
        setCentralWidget(pager);
        freq = AddGridPage(QStringLiteral("frequency"), cv::kListWordList, cv::kGridKindFrequency);
        alph = AddGridPage(QStringLiteral("alphabetical"), cv::kListWordList, cv::kGridKindAlphabetical);
        // The statistics grid sits inside a panel of its page, behind a second grid that is never found.
        auto* page = new QWidget;
        auto* panel = new QWidget(page);
        stats = new cv::TCV_Grid(panel);
        stats->ListType = cv::kListStatistics;
        stats->KindOfDisplay = cv::kGridKindStatistics;
        spare = new cv::TCV_Grid(page);
        pager->addTab(page, QStringLiteral("statistics"));
        notes = new QPlainTextEdit;
        notes->setProperty("tag", int(cv::kListNotes));
        pager->addTab(notes, QStringLiteral("notes"));

        MyOfficePager = pager;
        FormCreate();
        cv::ToolWindowList().BuildToolWindowPages(this, pager, nullptr, AdvOfficeStatusBar1, PopupMenuStatusBar,
                                                  PopupMenuForGrids, PopupMenuSourceText, AdvPopupMenuNotes);
        for (cv::TCV_Grid* g : {freq, alph, stats})
            g->Events.OnClickHeader = [this](cv::TCV_Base_Grid* grid, int column) {
                SortGridColumn(static_cast<cv::TCV_Grid*>(grid), column);
            };
        connect(pager, &QTabWidget::currentChanged, this, [this] { PageChanged(); });
        SetUpForTool(cv::kToolWordList, cv::kListWordList);
    }

    cv::T_WholeWordlistHolder* Doc() const { return static_cast<cv::T_WholeWordlistHolder*>(fData.get()); }

    std::unique_ptr<cv::TCorvantisholder> MakeDocumentHolder(uint8_t listType) override
    {
        TMainToolsForm::MakeDocumentHolder(listType);
        return std::make_unique<cv::T_WholeWordlistHolder>(listType, fTagsToTranslateList.get(), fTagHandler.get(),
                                                           cv::Global_stopLemmaMatchLoaded[0],
                                                           cv::Global_stopLemmaMatchLoaded[2]);
    }
    void PageSetupHook() override
    {
        cv::TOneToolWindowList& pages = cv::ToolWindowList();
        for (int i = 1; i < pages.Count(); ++i) {
            const uint8_t type = pages.ListTypeOfPage(i);
            if (type == cv::kListWordList)
                pages.SetListOfPage(i, Doc()->WordlistOfType(cv::kListWordList));
            else if (type == cv::kListStatistics)
                pages.SetListOfPage(i, Doc()->fStats.get());
        }
    }
    void RefreshDataDisplay() override
    {
        ++refreshes;
        SetUpCurrentPage(pager);
    }
    void SortGridColumn(cv::TCV_Grid* grid, int column) override
    {
        cv::TCVBaseDataClass* list = grid->List();
        if (!list)
            return;
        list->ToggleMainSortAscends();
        list->Set1Sort(0, list->HeaderColumnToSortNeeded(column));
        list->SetSecondSortAsWordSort();
        list->DoASort(list->Count() - 1);
        grid->Refresh();
    }
    bool OpenFile(QWidget* second) override
    {
        if (!TMainToolsForm::OpenFile(second))
            return false;
        const bool ok = (fData->ReadWholeFromFile(cv::StartupOpenFileRec().FileName, cv::kToolWordList) & 0xFF) != 0;
        NoteFileOpened(ok);
        if (!ok)
            CloseData(true);
        cv::ToolWindowList().Last_actions.Include(cv::kActionFileOpened);
        RefreshDataDisplay();
        return ok;
    }
    QPlainTextEdit* NotesEditor() override { return notes; }
    // The window's messages are recorded, then handled as the base handles them.
    void WMControllerCommand(uint64_t wparam, int64_t lparam) override
    {
        commands.push_back(cv::CodeOfWParam(wparam));
        TMainToolsForm::WMControllerCommand(wparam, lparam);
    }
    void WMDropFiles(uint64_t wparam, int64_t lparam) override
    {
        drops.push_back(int(wparam));
        TMainToolsForm::WMDropFiles(wparam, lparam);
    }
    void SettingsChanged(int code) override
    {
        settingsChanges.push_back(code);
        TMainToolsForm::SettingsChanged(code);
    }
    void ShowWizardForChosenTexts(cv::TCVFileDetails* texts) override
    {
        wizardShownWith.push_back(texts ? texts->FileCount() : -1);
    }
    // The program's end: counted; the window closes as it would (no application quits in a test).
    void TerminateApplication() override
    {
        ++terminations;
        closedOnTerminate = close();
    }

    // Makes a word list of the texts and shows it.
    void ShowWordList(cvtest::TempDir& dir, const std::vector<std::pair<QString, QString>>& texts)
    {
        CloseData(true);
        fData = MakeDocumentHolder(cv::kListWordList);
        cv::TCVFileDetails chosen(true, {});
        for (const auto& [name, text] : texts)
            chosen.ToolAddAFile(dir.write(name, text.toUtf8()));
        int32_t converted = 0;
        ASSERT_TRUE(Doc()->MakeWordlist(chosen, 0, converted, cv::kListWordList));
        cv::ToolWindowList().Last_actions.Include(cv::kActionWordlistMade);
        RefreshDataDisplay();
    }

    QTabWidget* pager;
    cv::TCV_Grid* freq;
    cv::TCV_Grid* alph;
    cv::TCV_Grid* stats;
    cv::TCV_Grid* spare;
    QPlainTextEdit* notes;
    int refreshes = 0;
    std::vector<int> commands;
    std::vector<int> drops;
    std::vector<int> settingsChanges;
    std::vector<int> wizardShownWith;
    int terminations = 0;
    bool closedOnTerminate = false;

private:
    cv::TCV_Grid* AddGridPage(const QString& caption, uint8_t listType, uint8_t kind)
    {
        auto* page = new QWidget;
        auto* grid = new cv::TCV_Grid(page);
        new QVBoxLayout(page);
        page->layout()->addWidget(grid);
        grid->ListType = listType;
        grid->KindOfDisplay = kind;
        pager->addTab(page, caption);
        return grid;
    }
};

// The user's answers to the editing dialogs, and what was asked.
struct TScriptedEditing final : cv::TListEditingDialogs {
    std::optional<QString> value; // none: cancelled
    QString category;
    bool acceptCategory = true;
    uint32_t colour = 0;
    bool colourChanged = false;
    cv::TThreeWaySortChoice sort;
    bool acceptSort = true;

    QStringList prompts;
    QStringList offered; // the values the input dialog was opened with
    int sortMaxLevel = -1;
    int sortPressed = -1;
    QString showerCaption;

    bool InputValue(const QString& topic, const QString& prompt, QString& v, int) override
    {
        prompts << prompt;
        offered << v;
        if (!value)
            return false;
        v = *value;
        return true;
    }
    bool EditSetColumn(QString& c, uint32_t& col, bool& changed) override
    {
        if (!acceptCategory)
            return false;
        c = category;
        col = colour;
        changed = colourChanged;
        return true;
    }
    bool ThreeWaySort(const cv::TCVBaseDataClass&, int pressed, int maxLevel, int, cv::TThreeWaySortChoice& c) override
    {
        sortPressed = pressed;
        sortMaxLevel = maxLevel;
        c = sort;
        return acceptSort;
    }
    void ShowLemmaShower(const QString& caption, const QStringList&, const QStringList&) override { showerCaption = caption; }
    std::optional<cv::TFileNameReplacement> fileNames; // none: cancelled
    std::optional<cv::TFileNameReplacement> ChooseFileNameReplacement() override { return fileNames; }
    std::optional<int> language; // none: cancelled
    std::optional<int> ChooseLanguage(const QStringList&, const QString& current) override
    {
        languageOffered = current;
        return language;
    }
    QString languageOffered;
};

// Every test starts from defaults, with its own dialogs and a fresh window.
class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
        cv::Global_stopLemmaMatchLoaded = {};
        window = std::make_unique<TestWindow>();
    }
    void TearDown() override
    {
        window.reset();
        cv::DeactivateCrashbox();
        cv::global_panic_state = cv::kPanicRun;
    }
    static void SetGeneral(const std::function<void(cv::TGeneralSettingsRec&)>& change)
    {
        cv::TGeneralSettingsRec g = cv::GetGeneralSettings();
        change(g);
        cv::SetGeneralSettings(g);
    }
    void ShowSample()
    {
        window->ShowWordList(dir, {{QStringLiteral("a.txt"), QStringLiteral("the cat and the dog and the bird")},
                                   {QStringLiteral("b.txt"), QStringLiteral("a dog")}});
    }

    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard dialogGuard{&dialogs};
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard fileGuard{&files};
    std::unique_ptr<TestWindow> window;
};

// The window with its editing dialogs answered by script and its grid
// handlers bound, showing the sample on its alphabetical page.
class EditingWindowTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        previous = cv::SetListEditingDialogs(&editing);
        cv::SetAllGridsEventHandlersA(window->BaseGridHandlersA());
        cv::SetAllGridsEventHandlersB(window->BaseGridHandlersB());
        cv::SetAllGridsWindowOperations(window->GridWindowOperations());
        ShowSample(); // the 3, and 2, dog 2, a 1, bird 1, cat 1
        window->pager->setCurrentIndex(1);
        grid = window->alph;
    }
    void TearDown() override
    {
        cv::SetShellWnd(0);
        cv::SetListEditingDialogs(previous);
        FrameworkTest::TearDown();
    }
    cv::TCVWordList& List() const { return *window->Doc()->WordlistOfType(cv::kListWordList); }

    TScriptedEditing editing;
    cv::TListEditingDialogs* previous = nullptr;
    cv::TCV_Grid* grid = nullptr;
};

} // namespace framework_test
