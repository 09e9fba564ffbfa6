#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>

#include "gui/cv_status_bar.h"
#include "gui/file_dialogs.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/text_settings.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/wordlist/views/one_text_viewer.h"

namespace cv {
namespace {

std::vector<int> Starts(const QString& text, const QString& word, uint8_t flags = 0)
{
    std::vector<int> out;
    TSimpleSearchEntry e = SearchEntryOf(word);
    e.flags |= flags;
    for (const auto& [pos, len] : FindSearchWordHits(text, e))
        out.push_back(pos);
    return out;
}

TEST(SourceTextSearch, WordsWildcardsPhrasesAndTags)
{
    const QString text = QStringLiteral("The cat sat; the category of Cats.\nIn the\n house <w pos=\"n\">cat</w>");
    EXPECT_EQ(Starts(text, QStringLiteral("cat")), (std::vector<int>{4, 60}));
    EXPECT_EQ(Starts(text, QStringLiteral("cat*")).size(), 4u);
    EXPECT_EQ(Starts(text, QStringLiteral("c?t")), (std::vector<int>{4, 60}));
    EXPECT_EQ(Starts(text, QStringLiteral("the house")), (std::vector<int>{38}));
    EXPECT_EQ(Starts(text, QStringLiteral("<w *>")), (std::vector<int>{49}));
    // Wildcards alone would match every word: refused.
    EXPECT_TRUE(Starts(text, QStringLiteral("*")).empty());
    // A limit stops the search.
    TSimpleSearchEntry limited = SearchEntryOf(QStringLiteral("the"));
    limited.limit = 1;
    EXPECT_EQ(FindSearchWordHits(text, limited).size(), 1u);
}

TEST(SourceTextSearch, MarkupAndTrimming)
{
    const auto spans = MarkupSpans(QStringLiteral("a <b>c</b> < d"));
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0], (std::pair<int, int>{2, 3}));
    EXPECT_EQ(spans[1], (std::pair<int, int>{6, 4}));
    const QString text = QStringLiteral("\n\n one  \t\n\n\n two\n\n");
    EXPECT_EQ(TrimmedText(text, false), QStringLiteral(" one\n\n two"));
    EXPECT_EQ(TrimmedText(text, true), QStringLiteral(" one\n two"));
}

class OneTextViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        file = dir.write(QStringLiteral("report.txt"),
                         "<head>Title</head>\nThe cat sat.\nThe Cat ran.\n\nA dog.\n");
        ASSERT_TRUE(viewer.OpenAndShowAText({file, QStringLiteral("9"), QString()}, INT32_MAX, nullptr));
    }
    cvtest::TempDir dir;
    QString file;
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard{&dialogs};
    TFormOneTextFileShower viewer;
};

TEST_F(OneTextViewer, OpensTheTextWithItsMarkupGreyed)
{
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("report.txt"));
    EXPECT_EQ(viewer.CurrentShortFilename(), QStringLiteral("report.txt"));
    EXPECT_TRUE(viewer.SourceTextRich->toPlainText().startsWith(QStringLiteral("<head>Title")));
    EXPECT_TRUE(viewer.SourceTextRich->MarkupGreyed());
    // Loaded: the progress panels turn into texts, the words in panel 2.
    EXPECT_EQ(viewer.AdvOfficeStatusBar1->PanelStyle(TFormOneTextFileShower::kPanelProgressA), TStatusPanelStyle::Text);
    EXPECT_EQ(viewer.AdvOfficeStatusBar1->PanelText(TFormOneTextFileShower::kPanelProgressA), QStringLiteral("9 words"));
    EXPECT_TRUE(viewer.PCPLotBar1->isHidden());
    // An unreadable file is reported.
    EXPECT_FALSE(viewer.OpenAndShowAText({dir.file(QStringLiteral("none.txt")), {}, {}}, INT32_MAX, nullptr));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].routine, QStringLiteral("FailedToRead"));
}

TEST_F(OneTextViewer, StatusPanelsTellWordsAndHitTypesWhileIdle)
{
    QStatusBar* bar = viewer.AdvOfficeStatusBar1;
    auto panel = [&](int i) { return bar->findChild<QWidget*>(QStringLiteral("panel%1").arg(i)); };
    ASSERT_TRUE(viewer.OpenAndShowAText({file, QStringLiteral("1,234"), QStringLiteral("5")}, INT32_MAX, nullptr));
    for (int i : {int(TFormOneTextFileShower::kPanelProgressA), int(TFormOneTextFileShower::kPanelProgressB)}) {
        EXPECT_NE(qobject_cast<QLabel*>(panel(i)), nullptr) << "panel " << i << " is a text, no idle progress bar";
        EXPECT_TRUE(bar->findChildren<QProgressBar*>().isEmpty());
    }
    EXPECT_EQ(qobject_cast<QLabel*>(panel(2))->text(), QStringLiteral("1,234 words"));
    EXPECT_EQ(qobject_cast<QLabel*>(panel(3))->text(), QStringLiteral("5 hit types"));
    // Work shows its progress there, and the notes come back when it is done.
    viewer.AddStringsASKWsAndSeek({QStringLiteral("cat")});
    EXPECT_EQ(qobject_cast<QLabel*>(panel(3))->text(), QStringLiteral("5 hit types"));
    EXPECT_TRUE(bar->findChildren<QProgressBar*>().isEmpty());
    // The panels keep their places: the buttons after them still answer.
    EXPECT_EQ(qobject_cast<QToolButton*>(panel(TFormOneTextFileShower::kPanelNext))->text(), QStringLiteral(">"));
}

// Which stretches of the shown text are greyed (the mark-up colour of the view).
std::vector<std::pair<int, int>> Greyed(const TSourceTextRichEdit& view)
{
    std::vector<std::pair<int, int>> out;
    for (const QTextEdit::ExtraSelection& s : view.extraSelections())
        if (s.format.foreground().color() == QColor::fromRgba(0xFF9E9E9Eu))
            out.emplace_back(s.cursor.selectionStart(), s.cursor.selectionEnd() - s.cursor.selectionStart());
    return out;
}

TEST_F(OneTextViewer, MarkupFollowsTheTextSettings)
{
    const QString tagged = dir.write(QStringLiteral("tagged.txt"), "a <b>c</b> <a very long tag> d");
    TTextSettings text = GetTextSettings();
    text.SetMarkupMode(TMarkupMode::IgnoreTags);
    text.SetMaxTagSpan(4);
    SetTextSettings(text);
    ASSERT_TRUE(viewer.OpenAndShowAText({tagged, {}, {}}, INT32_MAX, nullptr));
    EXPECT_EQ(Greyed(*viewer.SourceTextRich), (std::vector<std::pair<int, int>>{{2, 3}, {6, 4}}))
        << "a tag longer than the tag span is text";

    text.SetMaxTagSpan(1000);
    SetTextSettings(text);
    ASSERT_TRUE(viewer.OpenAndShowAText({tagged, {}, {}}, INT32_MAX, nullptr));
    EXPECT_EQ(Greyed(*viewer.SourceTextRich).size(), 3u);

    text.SetMarkupMode(TMarkupMode::Plain);
    SetTextSettings(text);
    ASSERT_TRUE(viewer.OpenAndShowAText({tagged, {}, {}}, INT32_MAX, nullptr));
    EXPECT_TRUE(Greyed(*viewer.SourceTextRich).empty()) << "plain texts have no mark-up";
}

TEST_F(OneTextViewer, NoHitLeavesThePlotBarHidden)
{
    EXPECT_EQ(viewer.HighlightOneKW(QStringLiteral("zebra")), 0);
    EXPECT_TRUE(viewer.PCPLotBar1->isHidden());
    EXPECT_EQ(viewer.StyledListboxKWs->count(), 0);
}

TEST_F(OneTextViewer, HighlightsListTheWordsFoundMostHitsFirst)
{
    viewer.AddStringsASKWsAndSeek({QStringLiteral("dog"), QStringLiteral("cat"), QStringLiteral("zebra")});
    ASSERT_EQ(viewer.StyledListboxKWs->count(), 2);
    EXPECT_EQ(viewer.StyledListboxKWs->item(0)->text(), QStringLiteral("cat (2)"));
    EXPECT_EQ(TFormOneTextFileShower::TotalOf(*viewer.StyledListboxKWs->item(1)), 1);
    EXPECT_FALSE(viewer.PCPLotBar1->isHidden());
    EXPECT_EQ(viewer.PCPLotBar1->Lines(), (std::vector<int>{24, 37, 49}));
    // The first hit is selected; next and previous step through the hits.
    EXPECT_EQ(viewer.SourceTextRich->textCursor().selectedText(), QStringLiteral("cat"));
    viewer.AdvOfficeStatusBar1->ClickPanel(TFormOneTextFileShower::kPanelNext);
    EXPECT_EQ(viewer.SourceTextRich->textCursor().selectedText(), QStringLiteral("Cat"));
    EXPECT_EQ(viewer.AdvOfficeStatusBar1->PanelText(TFormOneTextFileShower::kPanelLineMessage),
              QStringLiteral("Item 2 of 3, line 3 of 6"));
    viewer.AdvOfficeStatusBar1->ClickPanel(TFormOneTextFileShower::kPanelPrevious);
    EXPECT_EQ(viewer.SourceTextRich->textCursor().selectionStart(), 23);
}

TEST_F(OneTextViewer, InfoOnScoresHighlightsAllListedWordsFirst)
{
    viewer.AddStringsToLeftListbox(QStringLiteral("dog\r\ncat\n"));
    EXPECT_EQ(TFormOneTextFileShower::TotalOf(*viewer.StyledListboxKWs->item(0)), -999999);
    viewer.InfoOnScores();
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].text, QStringLiteral("dog (1),cat (2)\rTotal: 3"));
    EXPECT_EQ(dialogs.Requests()[0].helpContext, 6040);
}

TEST_F(OneTextViewer, SavesTheHighlightedTextAsRtfInAFolder)
{
    viewer.SourceTextRich->SearchList() = {SearchEntryOf(QStringLiteral("cat"))};
    const QString folder = dir.file(QStringLiteral("out/rtf"));
    ASSERT_TRUE(viewer.HighlightAndSaveToRTF(folder));
    const QByteArray rtf = cvtest::readAll(folder + QStringLiteral("/report.rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("<cat (2)>"));
    EXPECT_TRUE(rtf.contains("{\\b\\cf3\\highlight4 Cat}"));
    EXPECT_TRUE(rtf.contains("{\\cf2 <head>}"));
    // It offered to open the file (answered no); a second save asks before overwriting.
    EXPECT_EQ(dialogs.Requests().back().routine, QStringLiteral("SavedOKOpenNow"));
    dialogs.Clear();
    EXPECT_FALSE(viewer.HighlightAndSaveToRTF(folder));
    EXPECT_EQ(dialogs.Requests().front().routine, QStringLiteral("OKToOverwrite"));
    // Nothing highlighted: nothing saved.
    viewer.SourceTextRich->SearchList() = {SearchEntryOf(QStringLiteral("zebra"))};
    EXPECT_FALSE(viewer.HighlightAndSaveToRTF(dir.file(QStringLiteral("none"))));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("none/report.rtf"))));
}

TEST_F(OneTextViewer, SimilaritiesAndTrimming)
{
    viewer.ComparisonWholeLines = {QStringLiteral("A dog."), QStringLiteral("The cat"), QString()};
    viewer.HighlightSimilarities();
    EXPECT_EQ(viewer.SourceTextRich->HighlightsFoundCount(), 1);
    viewer.TrimTheText(true);
    EXPECT_EQ(viewer.SourceTextRich->toPlainText(),
              QStringLiteral("<head>Title</head>\nThe cat sat.\nThe Cat ran.\nA dog."));
    EXPECT_EQ(viewer.SourceTextRich->HighlightsFoundCount(), 1);
}

} // namespace
} // namespace cv
