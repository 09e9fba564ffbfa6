#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "crashreport/dialogs/rtf_colouring.h"
#include "crashreport/dialogs/rtf_reader.h"

namespace cv {
namespace {

struct TextRun {
    QString text;
    QColor colour;
    bool bold;
};

std::vector<TextRun> Runs(const QTextDocument& document)
{
    std::vector<TextRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            runs.push_back({f.text(), f.charFormat().foreground().color(), f.charFormat().font().bold()});
        }
    return runs;
}

TEST(RtfReader, TheGeneralPageKeepsItsTextAndColours)
{
    const std::string text = "Application:\r\n------------\r\n  1.1 Start Date : Tue, 5 Mar 2024\r\n";
    QTextDocument document;
    ASSERT_TRUE(RtfToTextDocument(GeneralTextToRTF(text, {}), document, QFont()));
    EXPECT_EQ(document.toPlainText(),
              QStringLiteral("Application:\n------------\n  1.1 Start Date : Tue, 5 Mar 2024\n"));
    const std::vector<TextRun> runs = Runs(document);
    ASSERT_FALSE(runs.empty());
    // The heading: bold, colour 1; the item number colour 5, its label bold
    // colour 3, the value's first word colour 4, the rest colour 2.
    EXPECT_EQ(runs[0].text, QStringLiteral("Application:"));
    EXPECT_TRUE(runs[0].bold);
    EXPECT_EQ(runs[0].colour, QColor(0, 100, 100));
    auto find = [&](const QString& t) {
        for (const TextRun& r : runs)
            if (r.text == t)
                return r;
        ADD_FAILURE() << t.toStdString();
        return TextRun{};
    };
    EXPECT_EQ(find(QStringLiteral("1.1")).colour, QColor(160, 0, 0));
    EXPECT_EQ(find(QStringLiteral(" Start Date : ")).colour, QColor(40, 40, 40));
    EXPECT_TRUE(find(QStringLiteral(" Start Date : ")).bold);
    EXPECT_EQ(find(QStringLiteral("Tue,")).colour, QColor(0, 0, 160));
    EXPECT_EQ(find(QStringLiteral(" 5 Mar 2024")).colour, QColor(0, 0, 0));
}

TEST(RtfReader, CharactersBeyondAsciiTabsAndEscapesComeBack)
{
    QTextDocument document;
    ASSERT_TRUE(RtfToTextDocument(GeneralTextToRTF("Çà {x} \\ 😀\r\n", {}), document, QFont()));
    EXPECT_EQ(document.toPlainText(), QString::fromUtf8("Çà {x} \\ 😀\n"));

    const std::string rtf = "{\\rtf1{\\colortbl ;\\red1\\green2\\blue3;}\\pard\\tx1500\\tx3000 "
                            "{\\cf1 a}\\tab b\\'e9\\par c}";
    ASSERT_TRUE(RtfToTextDocument(rtf, document, QFont()));
    EXPECT_EQ(document.toPlainText(), QString::fromUtf8("a\tbé\nc"));
    const QList<QTextOption::Tab> tabs = document.begin().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 2);
    EXPECT_DOUBLE_EQ(tabs[0].position, 100.0);
    EXPECT_EQ(Runs(document)[0].colour, QColor(1, 2, 3));
}

TEST(RtfReader, TheCpuPageSetsItsTabStops)
{
    const std::string cpu = "Registers:\r\n-----------------------------\r\nEAX: 0000000A   EDI: 00000000\r\n";
    QTextDocument document;
    ASSERT_TRUE(RtfToTextDocument(CPUTextToRTF(cpu, {}), document, QFont()));
    EXPECT_EQ(document.toPlainText(),
              QStringLiteral("Registers:\n-----------------------------\nEAX: 0000000A\tEDI: 00000000\n"));
    EXPECT_EQ(document.lastBlock().previous().blockFormat().tabPositions().size(), 4);
}

TEST(RtfReader, TextThatIsNoRtfIsShownAsItStands)
{
    QTextDocument document;
    EXPECT_FALSE(RtfToTextDocument("plain {text}", document, QFont()));
    EXPECT_EQ(document.toPlainText(), QStringLiteral("plain {text}"));
    // Unknown destinations and words are passed over; an unclosed group ends the text.
    ASSERT_TRUE(RtfToTextDocument("{\\rtf1{\\*\\generator x;}\\unknown7 ok{\\b bold", document, QFont()));
    EXPECT_EQ(document.toPlainText(), QStringLiteral("okbold"));
}

} // namespace
} // namespace cv
