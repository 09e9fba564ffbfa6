#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "gui/rich_text_rtf.h"

namespace {

TEST(RichTextRtf, RunsKeepTheirLooksAndTextIsEscaped)
{
    QTextDocument doc;
    doc.setHtml(QStringLiteral("<p align=\"center\"><b>Bold</b> <i>it</i> <u>under</u></p>"
                               "<p><span style=\"color:#ff0000\">red {x}</span> caf\u00E9 \\ end</p>"));
    const QByteArray rtf = cv::RtfOfTextDocument(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi")) << rtf.constData();
    EXPECT_TRUE(rtf.endsWith("}\n"));
    // One paragraph each, the first centred.
    EXPECT_EQ(rtf.count("\\par\n"), 2);
    EXPECT_TRUE(rtf.contains("\\pard\\qc ")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("\\b Bold}"));
    EXPECT_TRUE(rtf.contains("\\i it}"));
    EXPECT_TRUE(rtf.contains("\\ul under}"));
    // The colour in the table and named by its run; braces, backslash and
    // letters beyond ASCII escaped.
    EXPECT_TRUE(rtf.contains("{\\colortbl;\\red255\\green0\\blue0;}")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("\\cf1 red \\{x\\}}")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("caf\\u233?")) << rtf.constData();
    EXPECT_TRUE(rtf.contains(" \\\\ end}")) << rtf.constData();
    // Braces balance.
    int depth = 0;
    for (int i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

TEST(RichTextRtf, AnEmptyTextIsAValidFile)
{
    QTextDocument doc;
    const QByteArray rtf = cv::RtfOfTextDocument(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_EQ(rtf.count("\\par\n"), 1);
}

} // namespace
