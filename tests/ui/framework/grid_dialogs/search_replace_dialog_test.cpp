#include "grid_dialogs_testutil.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTimer>

#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/grid_dialogs/search_replace_dialog.h"
#include "ui/framework/grid_dialogs/search_switches.h"

using namespace cv;
using namespace griddialogs_test;

namespace {

// Answers the dialog each time it waits at a hit, from a queue of button
// presses; with the queue empty it cancels, so no test can hang.
class Answers {
public:
    explicit Answers(TSearchReplaceDlg& dialog) : m_dialog(dialog)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (!m_dialog.WaitingForDecision())
                return;
            ++waits;
            contexts << m_dialog.ElEditContextWhereFound->toPlainText();
            if (m_presses.empty()) {
                ++unexpected;
                m_dialog.ButtonCancel->click();
                return;
            }
            QPushButton* b = m_presses.front();
            m_presses.pop_front();
            b->click();
        });
        m_timer.start();
    }
    Answers& Then(QPushButton* button)
    {
        m_presses.push_back(button);
        return *this;
    }
    int waits = 0;
    int unexpected = 0;
    QStringList contexts;

private:
    TSearchReplaceDlg& m_dialog;
    std::deque<QPushButton*> m_presses;
    QTimer m_timer;
};

class SearchReplaceTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        autosearch_confirm = true;
        SetGlobalSearchColumn(1);
        ShowTable(); // the Cat sat ON mat
        grid->MainWindow = &window;
        grid->HandlersB.StatusBarMessage = [this](int panel, const QString& text) {
            if (panel == 10)
                statusTexts << text;
        };
    }
    void TearDown() override
    {
        autosearch_confirm = true;
        SetGlobalSearchColumn(1);
        delete window.findChild<TGridDialogHost*>();
        GridDialogsTest::TearDown();
    }
    TSearchReplaceDlg& Open(bool replacing)
    {
        GridDialogHostOf(window).OpenSearchReplace(grid.get(), replacing);
        TSearchReplaceDlg* dialog = GridDialogHostOf(window).SearchReplaceDialog();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    QStringList Words() const
    {
        QStringList words;
        for (int i = 0; i < table->Count(); ++i)
            words << table->At(i).word;
        return words;
    }

    QWidget window;
    QStringList statusTexts;
};

} // namespace

TEST_F(SearchReplaceTest, ReplaceAsksAtEachHitAndChangesOnlyWhatTheUserAccepts)
{
    // The table's words can be set through the word column.
    TSearchReplaceDlg& dialog = Open(true);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search and replace"));
    EXPECT_TRUE(dialog.AdvOfficeCheckBoxConfirm->isChecked());
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("*at"));
    dialog.ElComboBoxReplace->setCurrentText(QStringLiteral("dog"));
    std::vector<std::pair<QString, QString>> replaced;
    dialog.fOnReplacementWanted = [&](TCV_Grid* g, int column, const QString& original, const QString& with, int row) {
        EXPECT_EQ(g, grid.get());
        EXPECT_EQ(column, 1);
        EXPECT_EQ(g->Cells(column, row), original);
        replaced.emplace_back(original, with);
    };
    Answers answers(dialog);
    // Cat: yes; sat: skip; mat: skip; then the second round starts at the top: cancel.
    answers.Then(dialog.ButtonYes).Then(dialog.ButtonSkip).Then(dialog.ButtonSkip).Then(dialog.ButtonCancel);
    dialog.ButtonOK->click();
    EXPECT_EQ(answers.unexpected, 0);
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].first, QStringLiteral("Cat"));
    EXPECT_EQ(replaced[0].second, QStringLiteral("dog"));
    EXPECT_EQ(answers.contexts.value(0), QStringLiteral("Row 2: Cat"));
    EXPECT_EQ(answers.contexts.value(1), QStringLiteral("Row 3: sat"));
    EXPECT_EQ(answers.contexts.value(3), QStringLiteral("Row 2: Cat"));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.BusyInSearch);
    EXPECT_EQ(statusTexts.value(0), QStringLiteral("Hit 1: row 2"));
}

namespace {

// Entries whose text the word column sets.
class Phrase final : public TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    QStringView MainWordAsPointer() const override { return text; }
    void SetAWordAsString(int, const QString& t) override { text = t; }
    QString text;
};

class Phrases final : public TCVBaseDataClass {
public:
    explicit Phrases(const QStringList& texts)
        : TCVBaseDataClass(nullptr, [](TCVBaseDataClass& l) { return std::make_unique<Phrase>(&l); }, kListWordList, 0, 1)
    {
        SetGridHeadings({QStringLiteral("N"), QStringLiteral("Phrase")});
        for (const QString& t : texts) {
            auto e = std::make_unique<Phrase>(this);
            e->text = t;
            Add(std::move(e));
        }
    }
    QString Text(int i) const { return static_cast<const Phrase&>((*this)[i]).text; }
};

} // namespace

TEST_F(SearchReplaceTest, TheWindowsReplacementGoesIntoTheEntryAndCanBeUndone)
{
    Phrases phrases({QStringLiteral("a cat and a cat"), QStringLiteral("dog"), QStringLiteral("cat")});
    grid->MatchGridToListType(kListWordList, 7, &phrases);
    TSearchReplaceDlg& dialog = Open(true);
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("cat"));
    dialog.ElComboBoxReplace->setCurrentText(QStringLiteral("lion"));
    Answers answers(dialog);
    // Both hits of the first row, then no to the last row's; the second round asks about it again.
    answers.Then(dialog.ButtonYes).Then(dialog.ButtonYes).Then(dialog.ButtonSkip).Then(dialog.ButtonSkipAll);
    dialog.ButtonOK->click();
    EXPECT_EQ(answers.unexpected, 0);
    EXPECT_EQ(answers.contexts.value(1), QStringLiteral("Row 1: a lion and a cat"));
    EXPECT_EQ(dialog.ElEditReplacement->toPlainText(), QStringLiteral("Row 3: lion"));
    EXPECT_EQ(phrases.Text(0), QStringLiteral("a lion and a lion"));
    EXPECT_EQ(phrases.Text(2), QStringLiteral("cat"));
    EXPECT_EQ(grid->Cells(1, 1), QStringLiteral("a lion and a lion"));
    ASSERT_TRUE(phrases.Undo());
    EXPECT_EQ(phrases.Text(0), QStringLiteral("a lion and a cat"));
    grid->SetList(nullptr, 0);
}

TEST_F(SearchReplaceTest, YesAllReplacesEveryHitWithoutAskingAndEndsAfterOnePass)
{
    TSearchReplaceDlg& dialog = Open(true);
    // The replacement matches the search word again: one pass only, or it would go round for ever.
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("*at*"));
    dialog.ElComboBoxReplace->setCurrentText(QStringLiteral("cats"));
    int replacements = 0;
    dialog.fOnReplacementWanted = [&](TCV_Grid*, int, const QString&, const QString&, int) { ++replacements; };
    Answers answers(dialog);
    answers.Then(dialog.ButtonAll);
    dialog.ButtonOK->click();
    EXPECT_EQ(answers.waits, 1);
    EXPECT_EQ(replacements, 3);
    EXPECT_FALSE(autosearch_confirm);
    EXPECT_FALSE(dialog.AdvOfficeCheckBoxConfirm->isChecked());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.BusyInSearch);
}

TEST_F(SearchReplaceTest, SearchingOnlyNeverReplacesAndGoesRoundUntilCancelled)
{
    TSearchReplaceDlg& dialog = Open(false);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search"));
    EXPECT_FALSE(dialog.ButtonYes->isVisible());
    autosearch_confirm = false;
    dialog.AdvOfficeCheckBoxConfirm->setChecked(false);
    int replacements = 0;
    dialog.fOnReplacementWanted = [&](TCV_Grid*, int, const QString&, const QString&, int) { ++replacements; };
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("on"));
    Answers answers(dialog);
    // OK while searching goes on to the next hit.
    answers.Then(dialog.ButtonOK).Then(dialog.ButtonSkip);
    dialogs.QueueAnswer(TDialogAnswer::OK);     // "no more": search again from the top
    dialogs.QueueAnswer(TDialogAnswer::Cancel); // then stop
    dialog.ButtonOK->click();
    EXPECT_EQ(answers.waits, 2);
    EXPECT_EQ(answers.unexpected, 0);
    EXPECT_EQ(replacements, 0);
    EXPECT_EQ(dialogs.Routines(),
              (QStringList{QStringLiteral("SearchFailedToFindAnyMoreX"), QStringLiteral("SearchFailedToFindAnyMoreX")}));
    // The hit's cell is the grid's current cell.
    EXPECT_EQ(grid->Row(), 4);
    EXPECT_EQ(grid->View()->currentIndex().column(), 1);
}

TEST_F(SearchReplaceTest, TheGridDrawsTheSearchWordsWhileTheSearchRuns)
{
    TSearchReplaceDlg& dialog = Open(false);
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("*at"));
    // Rows (from 1): the Cat sat ON mat.
    std::vector<bool> drawnAtFirstHit;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!dialog.WaitingForDecision() || !drawnAtFirstHit.empty())
            return;
        for (int row = 0; row < 5; ++row)
            drawnAtFirstHit.push_back(grid->Model()->ShowsSearchWord(row, 1));
        dialog.ButtonCancel->click();
    });
    probe.start();
    dialog.ButtonOK->click();
    EXPECT_EQ(drawnAtFirstHit, (std::vector<bool>{false, true, true, false, true}));
    EXPECT_FALSE(grid->Model()->ShowsSearchWord(1, 2)); // only the column searched
    // Ended, the grid draws them no more.
    EXPECT_FALSE(grid->Model()->ShowsSearchWord(1, 1));
}

TEST_F(SearchReplaceTest, MissingOrUnfoundSearchWordsAreReported)
{
    TSearchReplaceDlg& dialog = Open(true);
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("  "));
    dialog.ButtonOK->click();
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("zebra"));
    dialog.ButtonOK->click();
    EXPECT_EQ(dialogs.Routines(),
              (QStringList{QStringLiteral("PleaseMakeAChoiceForXAction"), QStringLiteral("SearchFailedToFindTryAsterisk")}));
    EXPECT_TRUE(dialogs.Requests()[1].text.contains(QStringLiteral("\"zebra\"")));
    // Typed search words are offered again, newest first.
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("yak"));
    dialog.ButtonOK->click();
    EXPECT_EQ(dialog.ElComboBoxSearch->itemText(0), QStringLiteral("yak"));
    EXPECT_EQ(dialog.ElComboBoxSearch->itemText(1), QStringLiteral("zebra"));
}

TEST_F(SearchReplaceTest, PickingAColumnChangesItForEveryGrid)
{
    TSearchReplaceDlg& dialog = Open(false);
    int changes = 0;
    dialog.fOnGlobalSearchcolChanging = [&](TSearchReplaceDlg* d) {
        EXPECT_EQ(d, &dialog);
        ++changes;
    };
    ASSERT_EQ(dialog.ElListBox1->count(), 3); // Word, Freq., Ratio
    EXPECT_EQ(dialog.ElListBox1->currentItem()->text(), QStringLiteral("Word"));
    EXPECT_FALSE(dialog.IsNumericalColumn);
    dialog.ElListBox1->setCurrentRow(1);
    EXPECT_EQ(GlobalSearchColumn(), 2);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(dialog.IsNumericalColumn);
    // A second dialog (another window) starts on the same column.
    TSearchReplaceDlg other;
    other.Setup(false, {}, {}, {}, {}, {}, grid.get());
    other.show();
    EXPECT_EQ(other.ElListBox1->currentItem()->text(), QStringLiteral("Freq."));
    // Searching the numbers as shown.
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("15"));
    Answers answers(dialog);
    answers.Then(dialog.ButtonCancel);
    dialog.ButtonOK->click();
    EXPECT_EQ(answers.contexts, QStringList{QStringLiteral("Row 3: 15")});
}

TEST_F(SearchReplaceTest, ClosingTheWindowStopsASearchWaitingAtAHit)
{
    TSearchReplaceDlg& dialog = Open(true);
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("*at"));
    bool stopped = false;
    QTimer stopper;
    stopper.setInterval(0);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (dialog.WaitingForDecision() && !stopped) {
            stopped = true;
            GridDialogHostOf(window).StopSearchReplace();
        }
    });
    stopper.start();
    dialog.ButtonOK->click();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(dialog.BusyInSearch);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialogs.Routines().isEmpty());
}

namespace {

// Aligned texts in two languages; row 1 has no German.
class Aligned final : public TTextStringGridVirtual {
public:
    int RowCount() const override { return 3; }
    QStringList Languages() const override { return {QStringLiteral("English"), QStringLiteral("German")}; }
    bool RowText(int row, int language, QString& text) const override
    {
        static const char* texts[3][2] = {{"the house", "das Haus"}, {"a house", nullptr}, {"my house", "mein Haus"}};
        if (!texts[row][language])
            return false;
        text = QString::fromLatin1(texts[row][language]);
        return true;
    }
    void ShowRow(int row) override { shown.push_back(row); }
    std::vector<int> shown;
};

} // namespace

TEST_F(SearchReplaceTest, TextGridRowsWithoutTheLanguageAreSkipped)
{
    Aligned aligned;
    TSearchReplaceDlg dialog;
    std::vector<int> languages;
    std::vector<std::pair<QString, int>> replaced;
    dialog.Setup(
        true, [&](TCV_Grid* g, int, const QString&, const QString& with, int row) {
            EXPECT_EQ(g, nullptr);
            replaced.emplace_back(with, row);
        },
        [&](TSearchReplaceDlg*, int language) { languages.push_back(language); }, {}, {}, &aligned);
    dialog.SetLanguageToSearch(1);
    dialog.show();
    EXPECT_EQ(dialog.ElListBox1->count(), 2);
    EXPECT_EQ(dialog.ElListBox1->currentRow(), 1);
    EXPECT_EQ(languages, std::vector<int>{1});
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("haus"));
    dialog.ElComboBoxReplace->setCurrentText(QStringLiteral("Heim"));
    dialog.AdvOfficeCheckBoxConfirm->setChecked(false);
    dialog.ButtonOK->click();
    EXPECT_EQ(aligned.shown, (std::vector<int>{0, 2}));
    ASSERT_EQ(replaced.size(), 2u);
    EXPECT_EQ(replaced[0], std::make_pair(QStringLiteral("das Heim"), 0));
    EXPECT_EQ(replaced[1], std::make_pair(QStringLiteral("mein Heim"), 2));
}

TEST_F(SearchReplaceTest, EnterInTheSearchWordBoxStartsOneSearch)
{
    TSearchReplaceDlg& dialog = Open(false);
    int started = 0;
    dialog.fOnSearchStarted = [&](TCV_Grid*, const TSearchWordItems& words) {
        EXPECT_EQ(words.TypedSearchWords(), QStringList{QStringLiteral("zebra")});
        ++started;
    };
    dialog.ElComboBoxSearch->setCurrentText(QStringLiteral("zebra"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(dialog.ElComboBoxSearch->lineEdit(), &press);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SearchFailedToFindTryAsterisk")});
}

namespace {

// The window frame's place: inside the screen's available area.
::testing::AssertionResult InsideTheScreen(const QWidget& w)
{
    const QRect area = (w.screen() ? w.screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const QRect frame = w.frameGeometry();
    if (area.contains(frame))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                         << frame.height() << " outside " << area.width() << "x" << area.height();
}

} // namespace

// With no place remembered, the dialog docks at the lower right of the
// screen with the size it shows with, in either mode.
TEST_F(SearchReplaceTest, ItOpensDockedAtTheLowerRightInsideTheScreen)
{
    for (bool replacing : {true, false}) {
        TSearchReplaceDlg& dialog = Open(replacing);
        QCoreApplication::processEvents();
        ASSERT_TRUE(dialog.isVisible());
        const QRect screen = dialog.screen()->geometry();
        const int caption = dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
        EXPECT_EQ(dialog.x(), screen.right() + 1 - dialog.width() - 10) << replacing;
        EXPECT_EQ(dialog.frameGeometry().y(), screen.bottom() + 1 - dialog.height() - caption - 10) << replacing;
        EXPECT_TRUE(InsideTheScreen(dialog)) << replacing;
        dialog.hide();
    }
}

// A place remembered near the screen's edge for a smaller dialog (an
// earlier layout, another resolution) keeps the dialog inside the screen
// once it has grown to show every control.
TEST_F(SearchReplaceTest, ARememberedPlaceNeverPutsADialogOffTheScreen)
{
    auto* saveAs = new TSaveAsTxtDlgFeb2012(&window);
    const QRect area = saveAs->screen()->availableGeometry();
    saveAs->resize(120, 60);
    saveAs->move(area.right() - 130, area.bottom() - 70);
    StoreDialogGeometry(*saveAs);
    delete saveAs;
    saveAs = new TSaveAsTxtDlgFeb2012(&window);
    saveAs->show();
    QCoreApplication::processEvents();
    EXPECT_GT(saveAs->width(), 120) << "it grew to show its controls";
    EXPECT_TRUE(InsideTheScreen(*saveAs));
    delete saveAs;
}
