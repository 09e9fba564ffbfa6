// Reading texts one after another through one TReadScratch gives what each
// reader gives with buffers of its own, whatever the texts before it held,
// and binary data is still told from text at every alignment.

#include "textread_testutil.h"

#include <gtest/gtest.h>

namespace {

using namespace cv;
using namespace textread_test;

struct Read {
    bool ok = false;
    std::u16string text;
    std::vector<uint16_t> classes;
    std::vector<std::size_t> chunkSizes;
    TOneFilesStats stats;
    uint8_t format = 0;
    QString error;
};

Read readWith(const QString& file, const TTextSettings& settings, TReadScratch* scratch, int32_t chunkChars = 0)
{
    TChosenTextRec rec;
    rec.FullFilename = file;
    Read r;
    Collector c(nullptr, [&](const TFileHandledInfo& i) { r.format = i.Format(); }, nullptr, nullptr, rec, settings, 0,
                0, false);
    c.SetShowFailureMessages(false);
    c.UseScratch(scratch);
    if (chunkChars > 0)
        c.SetMaxChunkChars(chunkChars);
    r.ok = c.ReadAndProcess(1);
    r.text = c.text;
    r.classes = c.classes;
    r.chunkSizes = c.chunkSizes;
    r.stats = c.TextStats();
    r.error = c.LastError();
    return r;
}

void expectSameRead(const Read& a, const Read& b, const QString& what)
{
    EXPECT_EQ(a.ok, b.ok) << qPrintable(what);
    EXPECT_EQ(a.error, b.error) << qPrintable(what);
    EXPECT_TRUE(a.text == b.text) << qPrintable(what);
    EXPECT_EQ(a.classes, b.classes) << qPrintable(what);
    EXPECT_EQ(a.chunkSizes, b.chunkSizes) << qPrintable(what);
    EXPECT_EQ(a.format, b.format) << qPrintable(what);
    EXPECT_EQ(a.stats.Words, b.stats.Words) << qPrintable(what);
    EXPECT_EQ(a.stats.Sentences, b.stats.Sentences) << qPrintable(what);
    EXPECT_EQ(a.stats.Paragraphs, b.stats.Paragraphs) << qPrintable(what);
    EXPECT_EQ(a.stats.Tags, b.stats.Tags) << qPrintable(what);
}

TEST(ReadScratch, TextsReadInTurnThroughOneScratchReadAsOnTheirOwn)
{
    cvtest::TempDir dir;
    // Long before short, so that the scratch holds more than the next text;
    // other encodings, mark-up, a text refused in between.
    QString longText;
    for (int i = 0; i < 400; ++i)
        longText += QStringLiteral("Line %1 of <b>the</b> long text, with caf\u00e9 and na\u00efve words.\n").arg(i);
    const QStringList files = {
        dir.write(QStringLiteral("long.txt"), utf8(longText)),
        dir.write(QStringLiteral("short.txt"), utf8(QStringLiteral("A short one.\n"))),
        dir.write(QStringLiteral("utf16.txt"), utf16(QStringLiteral("Zw\u00f6lf W\u00f6rter <i>hier</i>. Und dort!"), false, true)),
        dir.write(QStringLiteral("binary.txt"), QByteArray(3000, '\x01')),
        dir.write(QStringLiteral("ansi.txt"), QByteArray("Caf\xE9 cr\xE8me \x93quoted\x94 text.\r\nNext line")),
        dir.write(QStringLiteral("empty.txt"), QByteArray()),
        dir.write(QStringLiteral("last.txt"), utf8(QStringLiteral("The end."))),
    };
    TTextSettings plain = TTextSettings::Defaults();
    plain.SetMarkupMode(TMarkupMode::Plain);
    plain.SetKeepNumbers(true);
    TReadScratch scratch;
    for (int round = 0; round < 2; ++round) {
        for (int k = 0; k < files.size(); ++k) {
            // Settings change from text to text in the second round: the
            // scratch's classifier must follow them.
            const TTextSettings& settings = round == 1 && k % 2 == 0 ? plain : TTextSettings::Defaults();
            const Read own = readWith(files[k], settings, nullptr);
            const Read shared = readWith(files[k], settings, &scratch);
            expectSameRead(shared, own, files[k]);
            // And in small chunks, where the scratch's text is cut and refilled.
            expectSameRead(readWith(files[k], settings, &scratch, 200), readWith(files[k], settings, nullptr, 200),
                           files[k] + QStringLiteral(" in chunks"));
        }
    }
}

TEST(ReadScratch, BinaryDataIsToldAtEveryAlignmentAndProportion)
{
    cvtest::TempDir dir;
    // One control character in every n units: refused from more than 5%.
    for (int every : {10, 19, 21, 40}) {
        for (int shift = 0; shift < 9; ++shift) {
            QByteArray bytes(std::size_t(shift), 'a');
            for (int i = 0; bytes.size() < 4000; ++i)
                bytes += (i % every == 0) ? '\x02' : 'x';
            const Read r = readWith(dir.write(QStringLiteral("t%1_%2.txt").arg(every).arg(shift), bytes),
                                    TTextSettings::Defaults(), nullptr);
            const bool refused = !r.ok && r.error.contains(QStringLiteral("binary"));
            EXPECT_EQ(refused, every < 20) << every << " " << shift << " " << qPrintable(r.error);
        }
    }
    // The same with U+FFFD among letters from U+8000 (narrowed to bytes they
    // look alike) and among others, and with the tag marks beside them.
    for (const QString& letter : {QStringLiteral("\u8a9e"), QStringLiteral("\u00e9"), QStringLiteral("\x19")}) {
        for (int every : {19, 21}) {
            for (int shift = 0; shift < 17; shift += 4) {
                QString text(shift, QLatin1Char('a'));
                for (int i = 0; text.size() < 3000; ++i)
                    text += (i % every == 0) ? QStringLiteral("\uFFFD") : letter;
                const Read r = readWith(dir.write(QStringLiteral("r%1_%2.txt").arg(every).arg(shift), text.toUtf8()),
                                        TTextSettings::Defaults(), nullptr);
                const bool refused = !r.ok && r.error.contains(QStringLiteral("binary"));
                const bool controls = letter == QStringLiteral("\x19"); // a tag mark is a control too
                EXPECT_EQ(refused, every < 20 || controls) << every << " " << shift << " " << qPrintable(r.error);
            }
        }
    }
    // Which control characters count against a text, each one alone.
    for (char c = 1; c < 0x20; ++c) {
        QByteArray bytes;
        for (int i = 0; bytes.size() < 1000; ++i)
            bytes += (i % 8 == 0) ? c : 'x';
        const Read r = readWith(dir.write(QStringLiteral("c%1.txt").arg(int(c)), bytes), TTextSettings::Defaults(), nullptr);
        const bool text = (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x1B;
        EXPECT_EQ(!r.ok && r.error.contains(QStringLiteral("binary")), !text) << int(c);
    }
    // Tabs, form feeds and line breaks are text; undecodable units count
    // against it (lone surrogates of UTF-16)...
    QByteArray controls;
    for (int i = 0; i < 500; ++i)
        controls += "a\tb\fc\r\nd\x1A";
    EXPECT_TRUE(readWith(dir.write(QStringLiteral("controls.txt"), controls), TTextSettings::Defaults(), nullptr).ok);
    QString lone;
    for (int i = 0; i < 500; ++i)
        lone += QStringLiteral("abcd efgh") + QChar(0xDC00);
    Read r = readWith(dir.write(QStringLiteral("lone.txt"), utf16(lone, false, true)), TTextSettings::Defaults(), nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("binary"))) << qPrintable(r.error);
    // ... but not the bytes an 8-bit text shows when a UTF-8 mark before it
    // has it decoded as UTF-8: that text is read, and the mark noted.
    QByteArray broken;
    for (int i = 0; i < 500; ++i)
        broken += "abcdefgh\xC3(";
    r = readWith(dir.write(QStringLiteral("broken.txt"), "\xEF\xBB\xBF" + broken), TTextSettings::Defaults(), nullptr);
    EXPECT_TRUE(r.ok) << qPrintable(r.error);
}

} // namespace
