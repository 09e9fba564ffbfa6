#include <gtest/gtest.h>

#include <QListWidget>

#include "gui/cv_status_bar.h"
#include "gui/file_dialogs.h"
#include "suite/cv_globals.h"
#include "suite/dialogs.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/wordlist/views/extra_details.h"
#include "ui/wordlist/views/one_text_viewer.h"

namespace cv {
namespace {

class ExtraDetails : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        a = dir.write(QStringLiteral("a.txt"), "The cat and the dog.\n");
        b = dir.write(QStringLiteral("b.txt"), "Nothing of interest here.\n");
        c = dir.write(QStringLiteral("c.txt"), "cat. Cat, cat!\n");
    }
    QStringList Lines(const QListWidget& box) const
    {
        QStringList out;
        for (int i = 0; i < box.count(); ++i)
            out << box.item(i)->text();
        return out;
    }
    cvtest::TempDir dir;
    QString a, b, c;
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard{&dialogs};
    TSimpleSearchlist words{SearchEntryOf(QStringLiteral("cat")), SearchEntryOf(QStringLiteral("dog"))};
};

TEST_F(ExtraDetails, ListsTheWordsOfEachTextLeavingOutTextsWithoutThem)
{
    std::vector<QStringList> found;
    std::vector<int> progress;
    ComputeWordFrequencies({a, b, dir.file(QStringLiteral("missing.txt")), c}, words, nullptr, nullptr,
                           [&](int p) { progress.push_back(p); }, [&](const QStringList& l) { found.push_back(l); });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], (QStringList{a, WordFoundLine(QStringLiteral("cat"), 1), WordFoundLine(QStringLiteral("dog"), 1)}));
    EXPECT_EQ(found[1], (QStringList{c, WordFoundLine(QStringLiteral("cat"), 3)}));
    EXPECT_EQ(progress, (std::vector<int>{0, 25, 50, 75}));
    EXPECT_EQ(WordFoundLine(QStringLiteral("cat"), 3), QStringLiteral("  cat: 3 found"));
}

TEST_F(ExtraDetails, StopsBeforeTheNextTextWhenCancelled)
{
    std::vector<QStringList> found;
    ComputeWordFrequencies({a, c}, words, nullptr, nullptr, [](int p) {
        if (p > 0)
            global_panic_state = kPanicStopAtEndOfText;
    }, [&](const QStringList& l) { found.push_back(l); });
    global_panic_state = kPanicRun;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].front(), a);
}

TEST_F(ExtraDetails, WindowOpensTextsFromTheList)
{
    TFormExtraDetails form;
    form.fListOfPotentialFilenames = {a, b, c};
    form.AddHighlightWords(QStringList{QStringLiteral("cat"), QStringLiteral("dog"), QStringLiteral("emu")}, 2);
    ASSERT_EQ(form.HighLightWords.size(), 2u);
    form.Frequencies();
    EXPECT_EQ(Lines(*form.StyledListboxFiles),
              (QStringList{a, QStringLiteral("  cat: 1 found"), QStringLiteral("  dog: 1 found"), c,
                           QStringLiteral("  cat: 3 found")}));
    EXPECT_FALSE(form.Busy());
    EXPECT_FALSE(form.AdvOfficeStatusBar1->PanelEnabled(TFormExtraDetails::kPanelStop));

    // A word line opens the text above it with that word alone highlighted.
    form.StyledListboxFiles->setCurrentRow(4);
    ASSERT_TRUE(form.OpenSelected());
    EXPECT_EQ(form.OpenFilename(), c);
    TFormOneTextFileShower* viewer = form.Viewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), c);
    ASSERT_EQ(viewer->StyledListboxKWs->count(), 1);
    EXPECT_EQ(viewer->StyledListboxKWs->item(0)->text(), QStringLiteral("cat (3)"));

    // A file line opens the text and hands it every search word, none highlighted yet.
    form.StyledListboxFiles->setCurrentRow(0);
    ASSERT_TRUE(form.OpenSelected());
    EXPECT_EQ(form.OpenFilename(), a);
    EXPECT_EQ(form.Viewer(), viewer);
    EXPECT_EQ(viewer->StyledListboxKWs->count(), 2);
    EXPECT_TRUE(viewer->SourceTextRich->SearchList().empty());

    // The stop button asks the search to end after the current text.
    form.AdvOfficeStatusBar1->ClickPanel(TFormExtraDetails::kPanelStop);
    EXPECT_EQ(global_panic_state, kPanicStopAtEndOfText);
    EXPECT_EQ(form.AdvOfficeStatusBar1->PanelText(TFormExtraDetails::kPanelMessage), QStringLiteral("Stopped"));
    global_panic_state = kPanicRun;
}

TEST_F(ExtraDetails, SavesTheListAsUtf16WithAByteOrderMark)
{
    TScriptedFileDialogs files;
    TFileDialogServiceGuard fg(&files);
    TFormExtraDetails form;
    form.StyledListboxFiles->addItems({a, QStringLiteral("  cat: 1 found")});
    files.QueueCancel();
    EXPECT_FALSE(form.SaveListOfFiles());
    const QString out = dir.file(QStringLiteral("list.txt"));
    files.QueueAnswer(out);
    ASSERT_TRUE(form.SaveListOfFiles());
    const QByteArray bytes = cvtest::readAll(out);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    EXPECT_EQ(text, a + QStringLiteral("\r\n  cat: 1 found\r\n"));
    // Clearing for a new search empties the list; clearing all, the candidates and words too.
    form.fListOfPotentialFilenames = {a};
    form.AddHighlightWords(QStringList{QStringLiteral("cat")}, 10);
    form.ClearForNewSearch(true, false);
    EXPECT_EQ(form.StyledListboxFiles->count(), 0);
    EXPECT_EQ(form.fListOfPotentialFilenames.size(), 1);
    form.ClearForNewSearch(false, true);
    EXPECT_TRUE(form.fListOfPotentialFilenames.isEmpty());
    EXPECT_TRUE(form.HighLightWords.empty());
}

} // namespace
} // namespace cv
