#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QScreen>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

#include "concordance/patterns_clusters.h"
#include "gui/file_dialogs.h"
#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "suite/window_placement.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/moving_window_plot_form.h"
#include "ui/wordlist/views/view_support.h"
#include "ui/wordlist/views/word_cloud_window.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/wordlist_holder.h"

namespace cv {
namespace {

std::unique_ptr<TUserPlainTextStringlist> TextList(int n)
{
    auto list = std::make_unique<TUserPlainTextStringlist>(true, QString());
    for (int i = 0; i < n; ++i)
        list->Add(QStringLiteral("word%1").arg(i), 500 / (i + 1));
    return list;
}

// The centre pixel of a placed word.
QPoint CentreOf(const TWordCloud::TPlacedWord& p) { return {p.cell.x * 3 + 1, p.cell.y * 3 + 1}; }

class WordCloudWindow : public ::testing::Test {
protected:
    void SetUp() override { cvtest::StartFromDefaults(); }
    TScriptedDialogs dialogs;
    TDialogServiceGuard dialogGuard{&dialogs};
    TScriptedFileDialogs files;
    TFileDialogServiceGuard fileGuard{&files};
};

TEST_F(WordCloudWindow, TextListCloudShowsTheWordUnderTheMouse)
{
    std::unique_ptr<TFormWordCloud> form(ShowWordCloud(nullptr, TextList(40), QStringLiteral("my list")));
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(form->TxtBased());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("my list"));
    EXPECT_EQ(form->Image().size(), PrintablePagePixels());
    const auto& placed = form->Cloud().Placed();
    ASSERT_GT(placed.size(), 10u);
    EXPECT_EQ(placed[0].text, QStringLiteral("word0"));

    const QPoint at = CentreOf(placed[2]);
    EXPECT_EQ(form->MouseMoveAt(at.x(), at.y()), placed[2].wfsn.number);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("%1 (%2)").arg(placed[2].wfsn.word).arg(placed[2].wfsn.frequency));
    EXPECT_EQ(form->MouseMoveAt(2, 2), 0);
    EXPECT_TRUE(form->Label1->text().isEmpty());

    // Refresh reads the text list from its start again: the same cloud.
    const TCloudRect first = placed[0].rect;
    form->Refresh();
    ASSERT_FALSE(form->Cloud().Placed().empty());
    EXPECT_EQ(form->Cloud().Placed()[0].rect, first);
}

// The cloud and the moving-window plot are made no larger than the screen
// they open on (the tests' screen is smaller than their own size), with
// room for the frame, and come up wholly on it.
TEST_F(WordCloudWindow, TheCloudAndThePlotWindowsOpenWithinTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(area.width() < 1000 || area.height() < 700) << "a screen smaller than the windows' own size";
    const auto fits = [&](QWidget& w, const char* what) {
        EXPECT_LE(w.width(), area.width() - kWindowFrameAllowanceWidth) << what;
        EXPECT_LE(w.height(), area.height() - kWindowFrameAllowanceHeight) << what;
        EXPECT_TRUE(area.contains(w.geometry())) << what;
        BringToFront(&w);
        QApplication::processEvents();
        EXPECT_TRUE(area.contains(w.frameGeometry())) << what;
    };
    std::unique_ptr<TFormWordCloud> cloud(ShowWordCloud(nullptr, TextList(40), QStringLiteral("my list")));
    cloud->setAttribute(Qt::WA_DeleteOnClose, false);
    fits(*cloud, "the cloud");
    TFormMovingWindowPlot plot;
    fits(plot, "the plot");
}

TEST_F(WordCloudWindow, HighlightPaintsTheBlockAndComesOffAgain)
{
    std::unique_ptr<TFormWordCloud> form(ShowWordCloud(nullptr, TextList(5), QStringLiteral("c")));
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    const QImage before = form->Image().copy();
    const auto& p = form->Cloud().Placed()[0];
    const QPoint at = CentreOf(p);
    ASSERT_EQ(form->MouseMoveAt(at.x(), at.y()), 1);
    EXPECT_NE(form->Image(), before);
    // The block's background now has the fill colour.
    const TCloudRect r = form->Cloud().SavedRect();
    EXPECT_EQ(form->Image().pixel(r.Left, r.Top), QColor::fromRgba(form->Cloud().shapefillcolour).rgb());
    form->MouseMoveAt(1, 1);
    EXPECT_EQ(form->Image(), before);
}

TEST_F(WordCloudWindow, SmallestFontSizeIsKeptWithinLimitsAndStored)
{
    std::unique_ptr<TFormWordCloud> form(ShowWordCloud(nullptr, TextList(10), QStringLiteral("c")));
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->AdvSpinEditMinFontSize->setValue(3);
    EXPECT_EQ(form->AdvSpinEditMinFontSize->value(), 6);
    EXPECT_EQ(GetWordCloudSettings().MinFontSize(), 6);
    EXPECT_EQ(form->Cloud().CloudSettings.MinFontSize(), 6);
    form->AdvSpinEditMinFontSize->setValue(90);
    EXPECT_EQ(GetWordCloudSettings().MinFontSize(), 70);
    form->AdvSpinEditHorz->setValue(1.5);
    EXPECT_FLOAT_EQ(GetWordCloudSettings().HorizontalSpacing(), 1.5f);
    // Settings changed elsewhere reach open clouds.
    TWordCloudSettingsRec changed = GetWordCloudSettings();
    changed.SetShape(3);
    SetWordCloudSettings(changed);
    ReloadOpenWordCloudSettings();
    EXPECT_EQ(form->Cloud().CloudSettings.Shape(), 3);
    // Loading settings does not write them back.
    TWordCloudSettingsRec s = GetWordCloudSettings();
    s.SetVerticalSpacing(2.0f);
    SetWordCloudSettings(s);
    form->LoadSettings(0, 0, true, false, 0);
    EXPECT_DOUBLE_EQ(form->AdvSpinEditVert->value(), 2.0);
    EXPECT_FLOAT_EQ(GetWordCloudSettings().VerticalSpacing(), 2.0f);
}

TEST_F(WordCloudWindow, SaveWritesAPictureOnlyWhenAFileIsChosen)
{
    cvtest::TempDir dir;
    std::unique_ptr<TFormWordCloud> form(ShowWordCloud(nullptr, TextList(10), QStringLiteral("c")));
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    files.QueueCancel();
    EXPECT_FALSE(form->Save());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    const QString file = dir.file(QStringLiteral("cloud.bmp"));
    files.QueueAnswer(file);
    EXPECT_TRUE(form->Save());
    const QImage saved(file);
    EXPECT_EQ(saved.size(), form->Image().size());
}

TEST_F(WordCloudWindow, ResultListCloudIsReadOnceAndShowsWordAndFrequency)
{
    std::unique_ptr<TFormWordCloud> form;
    {
        TPatternsList list(nullptr, 0);
        for (int i = 0; i < 12; ++i) {
            TPatternEntryRec rec;
            for (int p = 0; p < kPatternPositions; ++p) {
                rec.words[size_t(p)] = QStringLiteral("w%1p%2").arg(i).arg(p);
                rec.freqs[size_t(p)] = 100 - i;
            }
            list.AddRow(rec);
        }
        form.reset(ShowWordCloud(nullptr, list, QStringLiteral("patterns")));
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        EXPECT_EQ(list.CloudReadPosition(), 0);
    }
    // The list is gone; the window still answers from what it read.
    const auto& placed = form->Cloud().Placed();
    ASSERT_EQ(placed.size(), 12u);
    const QPoint at = CentreOf(placed[1]);
    ASSERT_EQ(form->MouseMoveAt(at.x(), at.y()), 2);
    EXPECT_EQ(form->Label1->text(), placed[1].wfsn.word + QStringLiteral("\n99"));
    form->Refresh();
    EXPECT_EQ(form->Cloud().Placed().size(), 12u);
}

TEST_F(WordCloudWindow, AWordListsCloudIsMadeOfItsMostFrequentWordsNotItsFirst)
{
    // 3000 words once each, and two frequent ones that come last alphabetically.
    cvtest::TempDir dir;
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("w%1 ").arg(i, 4, 10, QLatin1Char('0'));
    text += QStringLiteral("zeta ").repeated(50) + QStringLiteral("zulu ").repeated(40);
    TCVFileDetails chosen(true, {});
    ASSERT_TRUE(chosen.ToolAddAFile(dir.write(QStringLiteral("t.txt"), text.toUtf8())));
    T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
    int32_t converted = 0;
    ASSERT_TRUE(doc.MakeWordlist(chosen, 0, converted, kListWordList));
    TCVWordList& words = *doc.WordlistOfType(kListWordList);
    ASSERT_EQ(words.Count(), 3002);
    ASSERT_EQ(words.Entry(words.Count() - 1).fWord, QStringLiteral("zulu")); // stored alphabetically

    std::unique_ptr<TFormWordCloud> form(ShowWordCloud(nullptr, words, QStringLiteral("words")));
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    const auto& placed = form->Cloud().Placed();
    ASSERT_GE(placed.size(), 2u);
    EXPECT_EQ(placed[0].wfsn.word, QStringLiteral("zeta"));
    EXPECT_EQ(placed[0].wfsn.number, 1);
    EXPECT_EQ(placed[1].wfsn.word, QStringLiteral("zulu"));
    EXPECT_GT(placed[0].points, placed.back().points);
    // No more words than a cloud shows.
    EXPECT_LE(int(placed.size()), form->Cloud().max_items_showable);
    // The mouse shows the word's own frequency.
    const QPoint at = CentreOf(placed[0]);
    ASSERT_EQ(form->MouseMoveAt(at.x(), at.y()), 1);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("zeta\n50"));
}

TEST_F(WordCloudWindow, DataColumnChoiceStoresTheConfirmedColumn)
{
    TPatternsList list(nullptr, 0);
    ASSERT_GT(list.GridHeadings().size(), 3);
    TFormWordCloudOptions dialog(nullptr, list);
    EXPECT_TRUE(dialog.windowTitle().contains(QStringLiteral("number")));
    EXPECT_EQ(dialog.ListBox->count(), list.GridHeadings().size());
    EXPECT_FALSE(dialog.ButtonOKClick()); // nothing selected
    dialog.ListBox->setCurrentRow(2);
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_FALSE(dialog.ButtonOKClick());
    EXPECT_EQ(list.CloudColumn(), 5);
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    EXPECT_TRUE(dialog.ButtonOKClick());
    EXPECT_EQ(list.CloudColumn(), 3);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(list.GridHeadings()[2].trimmed()));
}

} // namespace
} // namespace cv
