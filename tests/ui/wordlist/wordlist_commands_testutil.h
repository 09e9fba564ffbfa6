#pragma once
// The word-list window with fixed command choices, a controller window that
// records what the tool posts to it, a temporary folder of the test's own
// (for the hand-over files), and documents made by the engine: a word list
// of texts the test writes, a saved word list, an index opened in the window.

#include "wordlist_window_testutil.h"

#include <QDir>
#include <QTableView>

#include "index/index_files.h"
#include "index/index_handler.h"
#include "runtime/controller_link.h"
#include "suite/cvbuf.h"
#include "suite/window_handle.h"
#include "support/recording_controller.h"

namespace wordlist_window_test {

// Two texts whose clusters and neighbours the tests count by hand.
inline const std::vector<std::pair<QString, QString>> kCorpus = {
    {QStringLiteral("a.txt"), QStringLiteral("the cat sat on the mat. the cat ran on the road.")},
    {QStringLiteral("b.txt"), QStringLiteral("the cat and the dog")},
};

// Relationship settings that keep every pair of neighbours (the second word right after the first).
inline void EveryNeighbour()
{
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetRelationSpan(1);
    s.SetToRightOnly(true);
    s.SetMinJointFrequency(1);
    s.SetRelationMinTexts(1);
    s.SetMinWord2Frequency(1);
    s.SetRelationMaxPercent(0);
    s.SetOmitEqualWords(true);
    s.SetOmitNumbers(true);
    s.SetStopListMode(0);
    s.SetStopAt(0);
    s.SetAnyThresholdSuffices(false);
    for (int i = 0; i < cv::TWordlist_index_settings_rec::kThresholdCount; ++i)
        s.SetThreshold(i, -1.0e30f);
    s.SetRecomputeTokens(false);
    cv::SetWordlistIndexSettings(s);
}

class WordListCommandsTest : public WordListWindowTest {
protected:
    void SetUp() override
    {
        WordListWindowTest::SetUp();
        m_tmp = qgetenv("TMPDIR");
        ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("tmp"))));
        qputenv("TMPDIR", dir.file(QStringLiteral("tmp")).toLocal8Bit());
        cv::SetShellWnd(controller.Handle());
        window->SetCommandChoices(&commands);
    }
    void TearDown() override
    {
        cv::SetShellWnd(0);
        if (m_tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_tmp);
        WordListWindowTest::TearDown();
    }

    // The codes the tool posted to the controller since the last call.
    std::vector<int> Posted() { return controller.Posted(); }
    bool PostedCode(int code)
    {
        const std::vector<int> codes = Posted();
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    // A word list of the texts, made by a job as the wizard starts it.
    void WordListOf(const std::vector<std::pair<QString, QString>>& texts)
    {
        Choose(texts);
        Request(cv::kListWordList);
        ASSERT_NE(Words(), nullptr);
    }
    // An index of the texts, made by the engine and opened in the window.
    void IndexOf(const std::vector<std::pair<QString, QString>>& texts)
    {
        cv::TCVFileDetails chosen(true, {});
        for (const auto& [name, content] : texts)
            ASSERT_TRUE(chosen.ToolAddAFile(Text(name, content)));
        const QString base = dir.file(QStringLiteral("corpus"));
        QString error;
        ASSERT_TRUE(cv::MakeIndexOfTexts(chosen, base, cv::kIndexOpenNew, &error)) << error.toStdString();
        QApplication::processEvents();
        OpenIndex(base);
    }
    // Opens the index of that base name in the window.
    void OpenIndex(const QString& base)
    {
        cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
        rec.Clear();
        rec.FileName = cv::IndexFileName(base, cv::TIndexFileKind::Tokens);
        rec.ListType = cv::kListIndexWordList;
        ASSERT_EQ(window->OpenIndexDocument() & 0xFF, 1);
        QApplication::processEvents();
        ASSERT_NE(Doc()->fIndexHandler, nullptr);
        dialogs.Clear();
        Posted();
    }
    // Opens a saved word list in the window.
    void OpenSaved(const QString& fileName)
    {
        cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
        rec.Clear();
        rec.FileName = fileName;
        rec.ListType = cv::kListWordList;
        ASSERT_TRUE(window->OpenFile());
    }
    // A word list of one text about whales, compared with a reference list
    // of everyday English: its key words are whale, sea and ship.
    void KeyWordsOfOneText()
    {
        const QString reference = SavedWordList(
            QStringLiteral("reference"), QStringLiteral("the of and a to in the land the town the road ").repeated(20));
        cv::SetKeywordsSettingsReferenceCorpus(reference);
        OpenSaved(SavedWordList(QStringLiteral("study"), QStringLiteral("the whale and the sea. ").repeated(10) +
                                                             QStringLiteral("whale ship whale sea ").repeated(20)));
        MenuCommand(cv::TMenuCommand::KeyWords);
    }
    // Shows a page and makes its grid current.
    cv::TCV_Grid* Show(QWidget* page)
    {
        window->SetPageVisible(page, true);
        window->ActivatePage(page);
        QApplication::processEvents();
        return CurrentGrid();
    }
    // The grid row showing a word (its main word), 0 when none.
    static int RowOf(const cv::TCV_Grid& grid, const QString& word)
    {
        for (int row = 1; row < grid.RowCount(); ++row)
            if (const cv::TCVBaseListObject* e = grid.List()->Get(grid.EntryOfGridRow(row)); e && e->MainWordOnly() == word)
                return row;
        return 0;
    }
    // Selects the rows of these words (and makes the first current).
    static void SelectWords(cv::TCV_Grid& grid, const QStringList& words, int column = 1)
    {
        auto* selection = grid.View()->selectionModel();
        selection->clearSelection();
        bool first = true;
        for (const QString& w : words) {
            const int row = RowOf(grid, w);
            ASSERT_GT(row, 0) << w.toStdString();
            const QModelIndex at = grid.Proxy()->index(row - 1, column);
            if (first)
                grid.View()->setCurrentIndex(at);
            selection->select(at, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            first = false;
        }
    }
    // A menu command of the window, as the menus hand it over.
    bool MenuCommand(cv::TMenuCommand command) { return MenuCommand(cv::TagOf(command)); }
    bool MenuCommand(int tag)
    {
        QAction item;
        item.setData(tag);
        window->HandleMenuItemClick(&item);
        QApplication::processEvents();
        return true;
    }

    cv::TFixedCommandChoices commands;
    cvtest::TRecordingController controller;

private:
    QByteArray m_tmp;
};

// The same window made with the data module's menus, shown.
class WordListMenusTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        RemakeWindowWithMenus();
        window->SetCommandChoices(&commands);
        window->show();
    }
};

} // namespace wordlist_window_test
