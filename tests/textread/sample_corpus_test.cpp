// End to end on the sample corpus (the folder named by CV_SAMPLE_CORPUS;
// skipped when it is unset): real texts read whole, in small chunks and as
// UTF-16, with word counts checked against a plain count of blank-separated
// tokens.
#include "textread_testutil.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace cv;
using namespace textread_test;

TEST(SampleCorpus, RealTextsReadTheSameInAnyChunkingAndEncoding)
{
    const QByteArray folder = qgetenv("CV_SAMPLE_CORPUS");
    if (folder.isEmpty())
        GTEST_SKIP() << "CV_SAMPLE_CORPUS is not set";
    QStringList files = QDir(QString::fromLocal8Bit(folder)).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    files = files.mid(0, 8);
    cvtest::TempDir dir;
    const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QRegularExpression letter(QStringLiteral("\\p{L}"));
    for (const QString& name : files) {
        const QString path = QDir(QString::fromLocal8Bit(folder)).filePath(name);
        const QByteArray bytes = cvtest::readAll(path);
        const ReadResult whole = readFile(path);
        ASSERT_TRUE(whole.ok) << name.toStdString() << ": " << whole.error.toStdString();
        const QString text = QString::fromUtf8(bytes);
        TTextSettings plain = defaultSettings();
        plain.SetMarkupMode(TMarkupMode::Plain);
        plain.SetTranslateEntities(false);
        EXPECT_EQ(readFile(path, plain).text, u16(text)) << "without mark-up rules every character stays";

        // Tokens between blanks that hold a letter: the reader also splits at
        // punctuation ("e.g.", "and/or"), so it finds a few more.
        qint64 tokens = 0;
        for (const QString& t : text.split(blanks, Qt::SkipEmptyParts))
            tokens += t.contains(letter) ? 1 : 0;
        EXPECT_GE(whole.stats.Words, tokens) << name.toStdString();
        EXPECT_LE(whole.stats.Words, tokens + tokens / 20) << name.toStdString();
        // One sentence a line: every line with a word in it is a paragraph.
        int lines = 0;
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines += line.contains(QRegularExpression(QStringLiteral("[\\p{L}\\p{N}]"))) ? 1 : 0;
        EXPECT_EQ(whole.stats.Paragraphs, lines) << name.toStdString();

        const ReadResult chunked = readFile(path, defaultSettings(), nullptr, 4096);
        EXPECT_EQ(chunked.text, whole.text) << name.toStdString();
        EXPECT_EQ(chunked.classes, whole.classes) << name.toStdString();
        EXPECT_GT(chunked.chunks.size(), 10u);

        const ReadResult wide = readFile(dir.write(name, utf16(text, true, false)));
        EXPECT_EQ(wide.text, whole.text) << name.toStdString();
        EXPECT_EQ(wide.classes, whole.classes) << name.toStdString();
        EXPECT_TRUE(wide.info.TwoByteText());
    }
}
