#include "dialogs_testutil.h"

#include <QImage>
#include <QListWidget>
#include <QPainter>

#include "suite/list_settings.h"
#include "suite/my_types.h"
#include "ui/wordlist/dialogs/list_message_dialogue.h"

namespace dialogs_test {
namespace {

// Draws one line into a white-on-grey picture and returns it.
QImage Drawn(const cv::TColourWideStringList& lines, int index)
{
    QImage image(120, 20, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    lines.DrawItem(painter, QRect(0, 0, 120, 20), index, -1, QStyle::State_None);
    return image;
}

TEST(ColourWideStringList, ALinesOwnBrushFillsItsRowAndDefaultsStayWhite)
{
    cv::TColourWideStringList lines;
    lines.Add(QStringLiteral("plain"));
    auto colours = std::make_unique<cv::TCanvasColourRec>();
    colours->BrushColour = 0x00FF00;
    colours->FontColour = 0x0000FF;
    lines.Add(QStringLiteral("green"), std::move(colours));
    auto fontOnly = std::make_unique<cv::TCanvasColourRec>();
    fontOnly->FontColour = 0xFF0000;
    lines.Add(QStringLiteral("red text"), std::move(fontOnly));

    EXPECT_EQ(Drawn(lines, 0).pixel(118, 2), qRgb(255, 255, 255));
    EXPECT_EQ(Drawn(lines, 1).pixel(118, 2), qRgb(0, 255, 0));
    EXPECT_EQ(Drawn(lines, 2).pixel(118, 2), qRgb(255, 255, 255)); // -1 keeps the white brush
    // An index outside the list draws nothing.
    EXPECT_EQ(Drawn(lines, 3).pixel(118, 2), qRgb(128, 128, 128));
    EXPECT_EQ(Drawn(lines, -1).pixel(5, 5), qRgb(128, 128, 128));
}

TEST(ColourWideStringList, TabsBecomeFourBlanks)
{
    EXPECT_EQ(cv::TColourWideStringList::ExpandTabbedWideString(QStringLiteral("a\tb\t")), QStringLiteral("a    b    "));
}

class ListMessageTest : public DialogTest {
protected:
    // Loads a lemma list of `heads` head words, each with two forms.
    void LoadLemmas(int heads)
    {
        QByteArray text;
        for (int i = 0; i < heads; ++i)
            text += QStringLiteral("head%1 -> form%1a, form%1b\n").arg(i).toUtf8();
        const QString file = Write(QStringLiteral("lemmas.txt"), text);
        ASSERT_NE(cv::LoadedOne(cv::kToolWordList, cv::TLemmatiserListKind::Lemma, file, cv::TListSettingsRec::Defaults(),
                                nullptr, nullptr, 0x0809),
                  0);
    }
    cv::TWMessageDialogue dialogue;
};

TEST_F(ListMessageTest, ALemmaListShowsItsFirstFiftyHeadWordsWithTheirForms)
{
    LoadLemmas(60);
    EXPECT_EQ(cv::ShowLemmaListInMessage(dialogue, cv::kToolWordList, cv::TLemmatiserListKind::Lemma), 60);
    EXPECT_TRUE(dialogue.isVisible());
    ASSERT_EQ(dialogue.ListBoxEntries->count(), 51);
    ASSERT_EQ(dialogue.colourstrings.Count(), 51);
    EXPECT_EQ(dialogue.colourstrings.Strings(0), QStringLiteral("head0 (form0a, form0b)"));
    EXPECT_EQ(dialogue.colourstrings.Strings(50), QStringLiteral("etc."));
    EXPECT_TRUE(dialogue.windowTitle().contains(QStringLiteral("60")));
    EXPECT_GT(dialogue.HelpContext(), 0);
}

TEST_F(ListMessageTest, ShortListsHaveNoEtcAndAnEmptyListShowsNothing)
{
    EXPECT_EQ(cv::ShowLemmaListInMessage(dialogue, cv::kToolWordList, cv::TLemmatiserListKind::Lemma), 0);
    EXPECT_FALSE(dialogue.isVisible());
    LoadLemmas(50);
    EXPECT_EQ(cv::ShowLemmaListInMessage(dialogue, cv::kToolWordList, cv::TLemmatiserListKind::Lemma), 50);
    EXPECT_EQ(dialogue.ListBoxEntries->count(), 50);
    EXPECT_NE(dialogue.colourstrings.Strings(49), QStringLiteral("etc."));
}

} // namespace
} // namespace dialogs_test
