#include "framework_testutil.h"

#include <QCheckBox>
#include <QDir>
#include <QClipboard>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLocale>
#include <QTableView>

#include <cmath>
#include <QFileInfo>
#include <QTimer>

#include "gui/cv_status_bar.h"
#include "runtime/progress.h"
#include "runtime/controller_link.h"
#include "runtime/language_list.h"
#include "suite/controller_codes.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_binding.h"
#include "ui/framework/grid_dialogs/clipboard_format_dialog.h"
#include "ui/framework/grid_dialogs/grid_columns_dialog.h"

namespace framework_test {
namespace {

using cv::TDialogAnswer;

// What a grid shows in a column, row by row.
QStringList Column(const cv::TCV_Grid* grid, int column)
{
    QStringList cells;
    for (int r = 1; r < grid->RowCount(); ++r)
        cells << grid->Cells(column, r);
    return cells;
}

// Closes the window as the user would; whether it went.
bool TryClose(TestWindow& w)
{
    QCloseEvent event;
    QApplication::sendEvent(&w, &event);
    return event.isAccepted();
}

TEST_F(FrameworkTest, TheWindowRegistersWithTheSettingsBufferAndLetsGoAtTheEnd)
{
    const cv::TWindowHandle own = window->WindowHandle();
    EXPECT_NE(own, 0u);
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), own);
    EXPECT_EQ(cv::GetActiveMainToolWindow(cv::kToolWordList), own);
    EXPECT_EQ(cv::mini_global_own_HWnd, own);
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));
    EXPECT_NE(window->fTagHandler, nullptr);
    EXPECT_NE(window->fTagsToTranslateList, nullptr);
    EXPECT_EQ(cv::StartupOpenFileRec().ListType, cv::kListNone);
    // Crash reports go to the user's folder.
    EXPECT_EQ(cv::CurrentCrashboxOptions().OutputPath(), cv::GetUserReadWriteFolder().toStdString());
    window.reset();
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), 0u);
    EXPECT_FALSE(cv::IsWindow(own));
}

TEST_F(FrameworkTest, AProgramWithoutCrashReportingStillMakesItsWindow)
{
    window.reset();
    cv::DeactivateCrashbox();
    EXPECT_NO_THROW(window = std::make_unique<TestWindow>());
    EXPECT_NE(window->WindowHandle(), 0u);
}

TEST_F(FrameworkTest, WindowMessagesReachTheWindowThroughTheEventLoop)
{
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kMsgControllerCommand,
                                cv::PackToolCode(cv::kCodeReReadSettings, cv::kToolController), 0));
    ASSERT_TRUE(cv::PostMessage(window->WindowHandle(), cv::kWM_DROPFILES, 3, 0));
    EXPECT_TRUE(window->commands.empty()); // posted, not sent
    QApplication::processEvents();
    EXPECT_EQ(window->commands, std::vector<int>{cv::kCodeReReadSettings});
    EXPECT_EQ(window->drops, std::vector<int>{3});
}

TEST_F(FrameworkTest, TheGridsShowTheDocumentsLists)
{
    ShowSample();
    ASSERT_NE(window->Doc(), nullptr);
    EXPECT_TRUE(window->HasData());
    EXPECT_TRUE(window->pager->isVisible() || !window->isVisible());
    const auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    ASSERT_EQ(window->freq->List(), list);
    EXPECT_EQ(window->freq->RowCount(), list->Count() + 1);
    const QStringList words = Column(window->freq, list->WordColumn());
    EXPECT_EQ(words.size(), 6);
    // The frequency page: the most frequent word first.
    EXPECT_EQ(words.front(), list->GetSomeWordAsString(window->freq->EntryOfGridRow(1), list->WordColumn()));
    EXPECT_EQ(words.front(), QStringLiteral("the"));
    EXPECT_TRUE(words.contains(QStringLiteral("the"), Qt::CaseInsensitive));
    EXPECT_EQ(window->freq->Cells(0, 0), list->Heading(0));
    // After a page change the status bar tells how many entries the page shows.
    window->pager->setCurrentIndex(1);
    EXPECT_EQ(window->AdvOfficeStatusBar1->PanelText(cv::kPanelMessage), cv::Format(cv::CVNEntries, {6}));
}

TEST_F(FrameworkTest, AHeaderClickSortsTheListOnTheColumnsValues)
{
    ShowSample();
    window->pager->setCurrentIndex(1);
    ASSERT_EQ(cv::ToolWindowList().CurrentGrid(), window->alph);
    auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    const int freqColumn = 2;
    emit window->alph->View()->horizontalHeader()->sectionClicked(freqColumn);
    QStringList shown = Column(window->alph, freqColumn);
    std::vector<double> values;
    for (const QString& s : shown)
        values.push_back(s.toDouble());
    ASSERT_EQ(values.size(), size_t(list->Count()));
    const bool ascending = std::is_sorted(values.begin(), values.end());
    const bool descending = std::is_sorted(values.rbegin(), values.rend());
    EXPECT_TRUE(ascending || descending);
    EXPECT_NE(values.front(), values.back());
    emit window->alph->View()->horizontalHeader()->sectionClicked(freqColumn);
    QStringList again = Column(window->alph, freqColumn);
    EXPECT_EQ(again.front(), shown.back()); // the second click turns the order round
}

TEST_F(FrameworkTest, PageChangesCaptionThePageAndRefresh)
{
    ShowSample();
    const int before = window->refreshes;
    window->pager->setCurrentIndex(2);
    EXPECT_GT(window->refreshes, before);
    EXPECT_EQ(cv::ToolWindowList().CurrentGrid(), window->stats);
    EXPECT_EQ(window->stats->List(), window->Doc()->fStats.get());
    // Never saved: the caption says so.
    EXPECT_EQ(window->windowTitle(),
              cv::Format(u"%s (%s)", {cv::ListTypeName(cv::kListStatistics), cv::CVUnsaved.toString()}));
    EXPECT_TRUE(cv::ToolWindowList().Last_actions.Empty());
}

TEST_F(FrameworkTest, ClosingTheDataLetsTheGridsGoFirst)
{
    ShowSample();
    window->CloseData(true);
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_EQ(window->freq->List(), nullptr);
    EXPECT_EQ(cv::ToolWindowList().Items(1)->data.CVList, nullptr);
    EXPECT_EQ(window->windowTitle(), cv::Tool_Name(cv::kToolWordList));
    EXPECT_FALSE(window->HasData());
    window->RefreshDataDisplay();
    EXPECT_FALSE(window->pager->isVisibleTo(window.get()));
}

TEST_F(FrameworkTest, ClosingWithChangedDataAsksAndCancelKeepsTheWindow)
{
    ShowSample();
    window->Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    SetGeneral([](cv::TGeneralSettingsRec& g) { g.SetAskWhetherToSaveModifiedData(true); });
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    EXPECT_FALSE(TryClose(*window));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("DoYouWantToSave")});
    EXPECT_NE(window->Data(), nullptr);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_TRUE(TryClose(*window));
    EXPECT_TRUE(window->terminating_app);
}

TEST_F(FrameworkTest, ClosingWithoutTheAskSettingNeverAsks)
{
    ShowSample();
    window->Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    SetGeneral([](cv::TGeneralSettingsRec& g) { g.SetAskWhetherToSaveModifiedData(false); });
    EXPECT_TRUE(TryClose(*window));
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(FrameworkTest, ModifiedNotesAloneCountAsDataToSave)
{
    ShowSample();
    EXPECT_EQ(window->ListTypesHoldingData(), 0u);
    window->notes->setPlainText(QStringLiteral("my note"));
    window->notes->document()->setModified(true);
    EXPECT_EQ(window->ListTypesHoldingData(), cv::TListTypeSet(1) << cv::kListNotes);
}

TEST_F(FrameworkTest, AYesWhoseSaveFailsKeepsTheWindowOpen)
{
    ShowSample();
    window->Doc()->WordlistOfType(cv::kListWordList)->SetDeleted(0, true, true);
    SetGeneral([](cv::TGeneralSettingsRec& g) { g.SetAskWhetherToSaveModifiedData(true); });
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    files.QueueCancel(); // no file name given: nothing saved
    EXPECT_FALSE(TryClose(*window));
    // Asked again, the default Yes meets the cancelled save dialog: Cancel.
    EXPECT_EQ(window->AskToSaveIfWanted(), TDialogAnswer::Cancel);
}

TEST_F(FrameworkTest, SavingAsksForANameAndReportsTheFile)
{
    ShowSample();
    const QString target = dir.file(QStringLiteral("saved"));
    files.QueueAnswer(target);
    EXPECT_TRUE(window->Save(window->freq));
    const QString saved = target + QStringLiteral(".lst");
    EXPECT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(window->Data()->MainFile.FileName, saved);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOK")});
    EXPECT_EQ(cv::GetLastMainToolFileName(cv::kToolWordList), saved);
    EXPECT_EQ(cv::GetMyTempFilename(), saved);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("saved.lst"));
    ASSERT_FALSE(files.Requests().empty());
    EXPECT_TRUE(files.Requests().back().save);
    EXPECT_EQ(files.Requests().back().defaultExt, QStringLiteral("lst"));
}

TEST_F(FrameworkTest, ANewListIsOfferedAWholeNameInAFolderThereIs)
{
    ShowSample();
    // A new user's documents folder, named by the settings, may not be there.
    cv::SetDefaultFolder(dir.file(QStringLiteral("home/Documents")));
    cv::SetLastOpenedFolder(dir.path());
    const QString name = QDir(dir.path()).dirName() + QStringLiteral(".lst"); // the texts' folder's
    files.QueueCancel();
    EXPECT_FALSE(window->Save(window->freq));
    ASSERT_FALSE(files.Requests().empty());
    EXPECT_EQ(files.Requests().back().fileName, dir.file(name));
    EXPECT_EQ(files.Requests().back().folder, dir.path());
    EXPECT_TRUE(dialogs.Requests().empty()) << "a save called off says nothing";

    // Neither folder there: the home folder.
    cv::SetLastOpenedFolder(dir.file(QStringLiteral("gone")));
    files.QueueCancel();
    window->Save(window->freq);
    EXPECT_EQ(files.Requests().back().fileName, QDir(QDir::homePath()).filePath(name));

    // Once saved somewhere, that folder is where the next new list goes.
    QDir().mkpath(dir.file(QStringLiteral("results")));
    files.QueueAnswer(dir.file(QStringLiteral("results/first.lst")));
    ASSERT_TRUE(window->Save(window->freq));
    ShowSample();
    files.QueueCancel();
    window->Save(window->freq);
    EXPECT_EQ(files.Requests().back().fileName, dir.file(QStringLiteral("results/") + name));
}

TEST_F(FrameworkTest, ASavedFileOpensAgainIntoANewDocument)
{
    ShowSample();
    const QString saved = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(window->SaveGridData(window->freq, saved));
    const int entries = window->Doc()->WordlistOfType(cv::kListWordList)->Count();
    window->CloseData(true);

    files.QueueAnswer(saved);
    ASSERT_TRUE(window->Open());
    ASSERT_NE(window->Doc(), nullptr);
    EXPECT_EQ(window->Doc()->WordlistOfType(cv::kListWordList)->Count(), entries);
    EXPECT_EQ(cv::StartupOpenFileRec().ListType, cv::kListWordList);
    EXPECT_EQ(window->freq->RowCount(), entries + 1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("list.lst"));
}

TEST_F(FrameworkTest, AMissingFileIsReportedAndTheDataStays)
{
    ShowSample();
    cv::TCorvantisholder* before = window->Data();
    cv::StartupOpenFileRec().FileName = dir.file(QStringLiteral("gone.lst"));
    EXPECT_FALSE(window->OpenFile(nullptr));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
    EXPECT_EQ(window->Data(), before);
}

TEST_F(FrameworkTest, FilesOfOtherKindsAreRefusedWithTheirReason)
{
    cv::TCVStored_File_rec rec;
    rec.FileName = dir.write(QStringLiteral("plain.txt"), "just text");
    EXPECT_FALSE(cv::CheckFileForTool(rec, cv::kToolWordList));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("IsntCorvanFile")});
    EXPECT_TRUE(rec.FileName.isEmpty());
    // The same text is a plain-text word list for tool 5.
    rec.FileName = dir.file(QStringLiteral("plain.txt"));
    EXPECT_TRUE(cv::CheckFileForTool(rec, 5));
    EXPECT_EQ(rec.ListType, cv::kListPlainTextWordList);
    EXPECT_FALSE(cv::FileIsForTool(rec.FileName, cv::kToolWordList));
}

TEST_F(FrameworkTest, MergingAFileWithItselfChangesNothing)
{
    ShowSample();
    const QString saved = dir.file(QStringLiteral("list.lst"));
    ASSERT_TRUE(window->SaveGridData(window->freq, saved));
    files.QueueAnswer(saved);
    EXPECT_FALSE(window->MergeWith(window->freq));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("CantMergeWithSameFile")});
    EXPECT_EQ(window->Data()->MainFile.FileName, saved);
}

TEST_F(FrameworkTest, MergingAnotherListAddsItsWordsAndRetitles)
{
    window->ShowWordList(dir, {{QStringLiteral("other.txt"), QStringLiteral("zebra zebra the")}});
    const QString other = dir.file(QStringLiteral("other.lst"));
    ASSERT_TRUE(window->SaveGridData(window->freq, other));
    ShowSample();
    const QString current = dir.file(QStringLiteral("sample.lst"));
    ASSERT_TRUE(window->SaveGridData(window->freq, current));
    files.QueueAnswer(other);
    EXPECT_TRUE(window->MergeWith(window->freq));
    auto* list = window->Doc()->WordlistOfType(cv::kListWordList);
    EXPECT_GE(list->Find_WordStr(QStringLiteral("zebra"), false), 0);
    EXPECT_TRUE(window->Data()->MainFile.FileName.isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("sample") + cv::CVAnd + QStringLiteral("other.lst"));
    EXPECT_TRUE(window->Data()->fNotes.join(QString()).contains(QStringLiteral("other.lst")));
}

TEST_F(FrameworkTest, TheAutosaveTimerRunsWhileThereIsDataAndSavesThroughTheDocument)
{
    SetGeneral([](cv::TGeneralSettingsRec& g) { g.SetAutoSaveMinutes(5); });
    ShowSample();
    EXPECT_TRUE(window->TimerAutoSaving->isActive());
    EXPECT_EQ(window->TimerAutoSaving->interval(), 5 * 60 * 1000);
    EXPECT_EQ(window->TimerAutoSavingTag, 5);

    const QString target = dir.file(QStringLiteral("auto.lst"));
    window->Data()->MainFile.FileName = target;
    window->TimerAutoSavingTimer();
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(window->AdvOfficeStatusBar1->PanelText(cv::kPanelInfo), cv::CVAutoSaving.toString());
    EXPECT_TRUE(dialogs.Requests().empty()); // autosaving says nothing
    cv::T_WholeWordlistHolder reread(cv::kListWordList, nullptr, nullptr, false, false);
    EXPECT_EQ(reread.ReadWholeFromFile(target, cv::kToolWordList) & 0xFF, 1);

    window->CloseData(true);
    EXPECT_FALSE(window->TimerAutoSaving->isActive());
}

TEST_F(FrameworkTest, TheAutosaveOfAnUnnamedDocumentAsksForAName)
{
    ShowSample();
    cv::StartupOpenFileRec().FileName.clear();
    files.QueueCancel();
    window->TimerAutoSavingTimer();
    EXPECT_EQ(files.Requests().size(), 1u);
    const QString target = dir.file(QStringLiteral("named.lst"));
    files.QueueAnswer(target);
    window->TimerAutoSavingTimer();
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(cv::StartupOpenFileRec().FileName, target);
}

TEST_F(FrameworkTest, TheStopPanelAsksBeforeItStopsTheJob)
{
    ShowSample();
    // A job runs: its progress shows.
    cv::GlobalProgress().ClearAllAndShow({}, 0);
    dialogs.QueueAnswer(TDialogAnswer::No);
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton);
    EXPECT_EQ(cv::global_panic_state, cv::kPanicRun);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton);
    EXPECT_EQ(cv::global_panic_state, cv::kPanicStopAtEndOfText);
    EXPECT_EQ(dialogs.Routines(),
              (QStringList{QStringLiteral("EscapePressedWantToQuit"), QStringLiteral("EscapePressedWantToQuit")}));
    cv::GlobalProgress().Hide();

    // With nothing running there is nothing to stop: no question, no stop
    // left over for the next job.
    cv::global_panic_state = cv::kPanicRun;
    dialogs.Clear();
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton);
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    EXPECT_EQ(cv::global_panic_state, cv::kPanicRun);
}

TEST_F(FrameworkTest, TypingModeButtonsSetTheSharedMenuChecks)
{
    ShowSample();
    window->AdvOfficeStatusBar1->SetStatusbarTypeSetButtonActive(true);
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelSetButton);
    EXPECT_EQ(cv::MenuTriStateOption(), 1);
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelTypeButton);
    EXPECT_EQ(cv::MenuTriStateOption(), 0);
}

TEST_F(FrameworkTest, GridMayBeWorkedOnOnlyWithDataAndAResultList)
{
    EXPECT_FALSE(window->GridMayBeWorkedOn(window->freq));
    ShowSample();
    EXPECT_TRUE(window->GridMayBeWorkedOn(window->freq));
    EXPECT_FALSE(window->GridMayBeWorkedOn(window->notes));
    EXPECT_FALSE(window->GridMayBeWorkedOn(nullptr));
    window->freq->SetList(nullptr, 0);
    EXPECT_FALSE(window->GridMayBeWorkedOn(window->freq));
}

} // namespace
} // namespace framework_test

namespace framework_test {
namespace {

TEST_F(FrameworkTest, ATextThatCannotBeChosenIsReportedAndTheOthersStay)
{
    const QString good = dir.write(QStringLiteral("good.txt"), "words");
    EXPECT_TRUE(window->ChosenTexts->ToolAddAFile(good));
    EXPECT_FALSE(window->ChosenTexts->ToolAddAFile(dir.file(QStringLiteral("missing.txt"))));
    EXPECT_EQ(window->ChosenTexts->FileCount(), 1);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("ReportedAFact")});
}

TEST_F(FrameworkTest, ASecondWindowLeavesTheFirstWindowsPagesAlone)
{
    ShowSample();
    {
        // A window made and dropped while another one runs (a dialog-less helper window, say).
        auto other = std::make_unique<TestWindow>();
        other.reset();
    }
    // The first window's pages were rebuilt for the second and cleared with it;
    // the first window's own grids were never detached by the second.
    EXPECT_NE(window->freq->List(), nullptr);
}

// ---- commands of the window on its grids ----------------------------------------------

class WindowGridCommandsTest : public EditingWindowTest {
protected:
    void Current(int row, int column) { grid->View()->setCurrentIndex(grid->Proxy()->index(row - 1, column)); }
};

TEST_F(WindowGridCommandsTest, RelativeEntropyIsComputedOnTheChosenColumnWithTheBasisAsked)
{
    Current(1, cv::TCVWordList::kColFreq);
    editing.value = QStringLiteral("6");
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::RelativeEntropy));
    // H = -sum p ln p over 3, 2, 2, 1, 1, 1 (of 10), divided by ln 6.
    double h = 0;
    for (double f : {3.0, 2.0, 2.0, 1.0, 1.0, 1.0})
        h -= f / 10 * std::log(f / 10);
    const QString expected = QLocale().toString(h / std::log(6.0), 'f', 3);
    ASSERT_FALSE(dialogs.Requests().empty());
    EXPECT_TRUE(dialogs.Requests().back().text.endsWith(expected)) << dialogs.Requests().back().text.toStdString();
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("= 6")));
    // The basis chosen is offered next time.
    editing.value.reset();
    grid->HandleGridCommand(cv::TMenuCommand::RelativeEntropy);
    EXPECT_EQ(editing.offered.back(), QStringLiteral("6"));
    // A column of words has nothing to work on, and a basis below 2 is refused.
    dialogs.Clear();
    Current(1, cv::TCVWordList::kColWord);
    grid->HandleGridCommand(cv::TMenuCommand::RelativeEntropy);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("no numbers")));
    Current(1, cv::TCVWordList::kColFreq);
    editing.value = QStringLiteral("1");
    grid->HandleGridCommand(cv::TMenuCommand::RelativeEntropy);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("at least 2")));
}

TEST_F(WindowGridCommandsTest, CopyPutsTheSelectedRowsOnTheClipboardAsChosen)
{
    grid->SelectRows(1, 2); // a, and
    QAction item;
    cv::SetMenuTag(&item, TagOf(cv::TMenuCommand::Copy));
    window->HandleMenuItemClick(&item);
    EXPECT_EQ(QApplication::clipboard()->text().split(u'\n').value(1).section(u'\t', 1, 2),
              QStringLiteral("a\t1"));
    // Choosing the format first: without the heading row and the number column.
    cv::TModalRunnerGuard runner([](QDialog& d) {
        auto& form = dynamic_cast<cv::TFormChooseClipboardFormat&>(d);
        form.Includes[cv::TFormChooseClipboardFormat::kHeadingRow]->setChecked(false);
        form.Includes[cv::TFormChooseClipboardFormat::kNumberColumn]->setChecked(false);
        form.ButtonOKClick();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(window->CopyToClipboard(grid, true), 2);
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("a\t1\t")));
    EXPECT_FALSE(cv::GetClipboardSettings().HeadingRow());
}

TEST_F(WindowGridCommandsTest, ChangeLanguageAsksTheControllerAndTheListSortsByTheNewLanguage)
{
    // A controller that takes the language and acknowledges it.
    std::vector<int64_t> chosen;
    cv::TMessageWindow controller([&](uint32_t msg, uint64_t wparam, int64_t lparam) {
        if (msg == cv::kMsgControllerParam && cv::CodeOfWParam(wparam) == cv::kCodeLanguageChosen) {
            chosen.push_back(lparam);
            cv::PostMessage(window->WindowHandle(), cv::kMsgControllerCommand,
                            cv::PackToolCode(cv::kCodeAcknowledge, cv::kToolController), 0);
        }
    });
    cv::SetShellWnd(controller.Handle());
    const int german = cv::TLanguageList::Instance().IndexOfName(QStringLiteral("German (Germany)"));
    ASSERT_GE(german, 0);
    editing.language = german;
    // The dialog tells the controller itself: here the test does.
    cv::PostToControllerWithParam(cv::kCodeLanguageChosen, german);
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::ChangeLanguage));
    EXPECT_LT(took.elapsed(), 2000); // the acknowledgement, not the time-out, ended the wait
    EXPECT_EQ(chosen, std::vector<int64_t>{german});
    EXPECT_EQ(editing.languageOffered, QStringLiteral("English"));
    EXPECT_EQ(List().CollationName(), QStringLiteral("de_DE"));
    EXPECT_EQ(window->Doc()->ftextsettings.LanguageName(), QStringLiteral("German (Germany)"));
    EXPECT_TRUE(window->Doc()->fNotes.join(u'\n').contains(QStringLiteral("German (Germany)")));
    // Cancelled: nothing changes.
    editing.language.reset();
    grid->HandleGridCommand(cv::TMenuCommand::ChangeLanguage);
    EXPECT_EQ(List().CollationName(), QStringLiteral("de_DE"));
}

TEST_F(WindowGridCommandsTest, ATypedWordBecomesTheCurrentItemTheGridGoesTo)
{
    ASSERT_TRUE(grid->HandlersB.ParseStringAdded);
    grid->HandlersB.ParseStringAdded(grid, QStringLiteral("dog"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, grid->Row()), QStringLiteral("dog"));
    // A beginning finds where the word would stand.
    grid->HandlersB.ParseStringAdded(grid, QStringLiteral("bi"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, grid->Row()), QStringLiteral("bird"));
    // The grid goes back to its current item when asked.
    grid->SetRow(1);
    grid->HandlersA.GoToCurrentItem(grid);
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, grid->Row()), QStringLiteral("bird"));
}

TEST_F(WindowGridCommandsTest, AHeadingChangedInTheColumnsDialogBecomesTheListsOwn)
{
    // The columns dialog: its heading list's first word line is renamed.
    cv::TModalRunnerGuard runner([](QDialog& d) {
        if (auto* input = qobject_cast<QInputDialog*>(&d)) {
            input->setTextValue(QStringLiteral("Word form"));
            return int(QDialog::Accepted);
        }
        auto& form = dynamic_cast<cv::TFormColumns&>(d);
        form.HeadingDoubleClick(cv::TCVWordList::kColWord);
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Layout));
    EXPECT_EQ(List().Heading(cv::TCVWordList::kColWord), QStringLiteral("Word form"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, 0), QStringLiteral("Word form"));
}

TEST_F(WindowGridCommandsTest, RefreshCountsTheListsRowsAgain)
{
    const int rows = grid->RowCount();
    List().Remove(0);
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Refresh));
    EXPECT_EQ(grid->RowCount(), rows - 1);
}

} // namespace
} // namespace framework_test
