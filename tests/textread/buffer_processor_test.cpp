#include "textread_testutil.h"

#include "suite/cv_globals.h"
#include "suite/decipher.h"
#include "suite/dialogs.h"
#include "suite/zip_archive.h"
#include "textread/preparsed_text.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <QStringEncoder>

#include <gtest/gtest.h>

using namespace cv;
using namespace textread_test;

namespace {

// A text every 8-bit reading can hold too (code page 1252), with mark-up,
// entities, numbers, apostrophes, hyphens and several paragraphs.
const QString kMarkedUp = QStringLiteral(
    "<head>The Caf\u00E9 Report</head>\r\n"
    "<p>Don't re-enter the \u201Cna\u00EFve\u201D zone. It costs \u20AC3.50 or 1,000 francs!</p>\r\n"
    "\r\n"
    "<p>AT&amp;T said &quot;no&quot; &#8212; twice &#x263A;. Mr. smith agreed.</p>\r\n"
    "Last line without mark-up? Yes.\r\n");

QString longText(int paragraphs)
{
    QString s;
    for (int i = 0; i < paragraphs; ++i)
        s += QStringLiteral("<p n=\"%1\">Paragraph %1 has some words, a <b>bold</b> one &amp; an ending. "
                            "Second sentence of it isn't long.</p>\n")
                 .arg(i);
    return s;
}

std::vector<int> levelsOf(const std::vector<uint16_t>& classes)
{
    std::vector<int> out;
    for (const uint16_t c : classes)
        if (const int l = BoundaryLevel(c))
            out.push_back(l);
    return out;
}

class BufferProcessorTest : public ::testing::Test {
protected:
    void SetUp() override { global_panic_state = kPanicRun; }
    void TearDown() override { global_panic_state = kPanicRun; }
    cvtest::TempDir dir;
};

} // namespace

TEST_F(BufferProcessorTest, TheSameTextInEveryEncodingGivesTheSameBufferAndClasses)
{
    struct Form {
        const char* name;
        QByteArray bytes;
    };
    const std::vector<Form> forms = {
        {"ansi", latin1(QString(kMarkedUp).replace(QChar(0x20AC), QChar(0x20AC)))},
        {"utf8", utf8(kMarkedUp)},
        {"utf8bom", QByteArray("\xEF\xBB\xBF") + utf8(kMarkedUp)},
        {"utf16le", utf16(kMarkedUp, false, false)},
        {"utf16lebom", utf16(kMarkedUp, false, true)},
        {"utf16be", utf16(kMarkedUp, true, false)},
        {"utf16bebom", utf16(kMarkedUp, true, true)},
    };
    // QString::toLatin1 cannot hold the euro and the quotes: write 1252 bytes by hand.
    QByteArray ansi = latin1(kMarkedUp);
    for (int i = 0; i < kMarkedUp.size(); ++i) {
        const ushort u = kMarkedUp[i].unicode();
        if (u == 0x20AC)
            ansi[i] = char(0x80);
        else if (u == 0x201C)
            ansi[i] = char(0x93);
        else if (u == 0x201D)
            ansi[i] = char(0x94);
    }
    std::vector<Form> all = forms;
    all[0].bytes = ansi;

    const ReadResult ref = readFile(dir.write(QStringLiteral("utf8.txt"), utf8(kMarkedUp)));
    ASSERT_TRUE(ref.ok) << ref.error.toStdString();
    for (const Form& f : all) {
        const ReadResult r = readFile(dir.write(QString::fromLatin1(f.name) + QStringLiteral(".txt"), f.bytes));
        ASSERT_TRUE(r.ok) << f.name << ": " << r.error.toStdString();
        EXPECT_EQ(r.text, ref.text) << f.name;
        EXPECT_EQ(r.classes, ref.classes) << f.name;
        EXPECT_EQ(r.stats.Words, ref.stats.Words) << f.name;
        EXPECT_EQ(r.stats.Sentences, ref.stats.Sentences) << f.name;
    }
    EXPECT_EQ(ref.words, QStringList({"The", "Caf\u00E9", "Report", "Don't", "re-enter", "the", "na\u00EFve", "zone", "It",
                                      "costs", "3.50", "or", "1,000", "francs", "AT", "T", "said", "no", "twice", "Mr",
                                      "smith", "agreed", "Last", "line", "without", "mark-up", "Yes"}));
    EXPECT_EQ(ref.stats.Words, 25) << "numbers are not running words when the settings drop them";
    EXPECT_EQ(ref.stats.Headings, 1);
    EXPECT_EQ(ref.stats.Paragraphs, 4);
    EXPECT_EQ(ref.stats.Sentences, 7);
    EXPECT_EQ(ref.stats.Tags, 6);
}

TEST_F(BufferProcessorTest, ClassesMarkWordsTagsAndBoundaries)
{
    const ReadResult r = readFile(dir.write(QStringLiteral("t.txt"), utf8(kMarkedUp)));
    ASSERT_TRUE(r.ok);
    const QString shown = shownText(r.text);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("<head>The Caf\u00E9 Report</head>\r\n<p>Don't")));
    EXPECT_TRUE(shown.contains(QStringLiteral("AT&T said \"no\" \u2014 twice \u263A.")));
    EXPECT_EQ(r.text.find(u'<'), std::u16string::npos) << "tag delimiters are tag marks in the buffer";
    // Tags carry the tag bit from mark to mark; the heading's words carry the heading flag.
    EXPECT_EQ(r.text[0], kTagMarkOpen);
    for (int i = 0; i <= 5; ++i)
        EXPECT_TRUE(IsTagClass(r.classes[std::size_t(i)])) << i;
    EXPECT_EQ(r.classes[6], kClassLetter | kFlagUpper | kFlagInHeading);
    EXPECT_EQ(r.classes[7], kClassLetter | kFlagInHeading);
    const std::size_t dont = r.text.find(u"Don't");
    EXPECT_EQ(r.classes[dont + 3], kClassApostrophe);
    EXPECT_EQ(r.classes[r.text.find(u"re-enter") + 2], kClassHyphen);
    EXPECT_EQ(r.classes[r.text.find(u"3.50") + 1], kClassNumberJoiner);
    EXPECT_EQ(ClassCode(r.classes[r.text.find(u"zone.") + 4]), kClassSentenceEnd);
    EXPECT_EQ(ClassCode(r.classes[r.text.find(u"Mr.") + 2]), kClassPunctuation) << "a lower-case word follows";
    // The line break after the heading ends it (level 4); then paragraphs (3) and sentences (2).
    EXPECT_EQ(levelsOf(r.classes), (std::vector<int>{4, 2, 2, 3, 2, 2, 3, 2, 2, 3}));
}

TEST_F(BufferProcessorTest, ChunkSizeChangesNothingButTheChunks)
{
    const QString text = longText(400);
    const QString file = dir.write(QStringLiteral("long.txt"), utf16(text, false, true));
    const ReadResult whole = readFile(file);
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(whole.chunks, (std::vector<int32_t>{0, -1}));
    for (const int32_t size : {64, 97, 1000, 4096}) {
        TChosenTextRec rec;
        rec.FullFilename = file;
        Collector c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
        c.SetMaxChunkChars(size);
        ASSERT_TRUE(c.ReadAndProcess(1));
        EXPECT_EQ(c.text, whole.text) << size;
        EXPECT_EQ(c.classes, whole.classes) << size;
        EXPECT_EQ(c.TextStats().Words, whole.stats.Words) << size;
        EXPECT_EQ(c.TextStats().Sentences, whole.stats.Sentences) << size;
        EXPECT_EQ(c.TextStats().Paragraphs, whole.stats.Paragraphs) << size;
        ASSERT_GT(c.chunks.size(), 3u);
        for (std::size_t i = 0; i + 1 < c.chunks.size(); ++i)
            EXPECT_EQ(c.chunks[i], int32_t(i));
        EXPECT_EQ(c.chunks.back(), -1);
        for (const std::size_t n : c.chunkSizes)
            EXPECT_LE(n, std::size_t(size));
        // Chunks know where they stand in the decoded text (entities shrink the buffers).
        EXPECT_EQ(c.chunkPositions.front(), 0);
        for (std::size_t i = 1; i < c.chunkPositions.size(); ++i)
            EXPECT_GE(c.chunkPositions[i], c.chunkPositions[i - 1] + int64_t(c.chunkSizes[i - 1]));
    }
    EXPECT_EQ(whole.stats.Words, 400 * 15);
}

// Chunks that the mark-up changes nothing in (plain prose, a bare "&" or
// "<" at most) are read where they were decoded; the others are processed
// into a buffer of their own, from their first change on. Read in chunks of
// every size, the text, its classes and the place of every unit in the
// source are those of the text read in one chunk, also where a change comes
// after a long stretch of plain units, at a chunk's first or last unit,
// and where an excluded span runs across chunks.
TEST_F(BufferProcessorTest, ChunksMarkupLeavesAloneReadTheSameInPlace)
{
    TTextSettings s = defaultSettings();
    s.SetMarkupMode(TMarkupMode::TagRules);
    TTextTagHandler handler(s.LanguageId(), s.CodePage(), TTagOptions::FromSettings(s));
    ASSERT_TRUE(handler.AddExclusion(u"<script>", u"</script>"));
    QString text;
    for (int i = 0; i < 60; ++i) {
        text += QStringLiteral("Plain prose %1 with salt & pepper, 3 < 4 and a < b.\n").arg(i);
        if (i % 7 == 3)
            text += QStringLiteral("Then <b>bold</b> &amp; AT&amp;T, <script>hidden %1 words\nover lines</script> on.\n").arg(i);
        if (i % 11 == 5)
            text += QStringLiteral("&eacute;t&eacute; <i>x</i>\n");
    }
    const QString file = dir.write(QStringLiteral("mixed.txt"), utf16(text, false, true));
    struct TPlaces : Collector {
        using Collector::Collector;
        std::vector<int64_t> places;
        void ProcessAChunkOfFile(int32_t chunkIndex) override
        {
            Collector::ProcessAChunkOfFile(chunkIndex);
            for (int32_t i = 0; chunkIndex >= 0 && i < int32_t(Buffer().size()); ++i)
                places.push_back(SourcePositionOf(i));
        }
    };
    TChosenTextRec rec;
    rec.FullFilename = file;
    TPlaces whole(nullptr, nullptr, nullptr, &handler, rec, s, 0, 0, false);
    ASSERT_TRUE(whole.ReadAndProcess(1));
    ASSERT_EQ(whole.chunks.size(), 2u);
    EXPECT_EQ(whole.text.find(u"hidden"), std::u16string::npos);
    EXPECT_NE(whole.text.find(u"salt & pepper, 3 < 4"), std::u16string::npos);
    for (const int32_t size : {64, 65, 97, 200, 1000}) {
        TPlaces c(nullptr, nullptr, nullptr, &handler, rec, s, 0, 0, false);
        c.SetMaxChunkChars(size);
        ASSERT_TRUE(c.ReadAndProcess(1));
        ASSERT_GT(c.chunks.size(), 5u) << size;
        EXPECT_EQ(c.text, whole.text) << size;
        EXPECT_EQ(c.classes, whole.classes) << size;
        EXPECT_EQ(c.places, whole.places) << size;
    }
}

TEST_F(BufferProcessorTest, EightBitTextsOfOtherCodePagesReadWholeAndInChunks)
{
    // Code page 1251 goes through the system converter, its output appended
    // block by block; the same Cyrillic text as UTF-8 is the reference.
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 %1 \u043C\u0438\u0440. \u0414\u0430!\n").arg(i);
    QStringEncoder to1251("windows-1251");
    ASSERT_TRUE(to1251.isValid());
    const QByteArray bytes = to1251.encode(text);
    TTextSettings s = defaultSettings();
    s.SetCodePage(1251);
    const ReadResult ref = readFile(dir.write(QStringLiteral("u8.txt"), utf8(text)), s);
    ASSERT_TRUE(ref.ok) << ref.error.toStdString();
    EXPECT_EQ(ref.stats.Words, 900);
    for (const int32_t chunk : {0, 100, 777}) {
        const ReadResult r = readFile(dir.write(QStringLiteral("cp1251.txt"), bytes), s, nullptr, chunk);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(r.info.Format() & kTextFormatEncodingMask, kTextFormatAnsi);
        EXPECT_TRUE(r.text == ref.text) << chunk;
        EXPECT_EQ(r.classes, ref.classes) << chunk;
        EXPECT_EQ(r.stats.Words, ref.stats.Words) << chunk;
    }
}

TEST_F(BufferProcessorTest, HooksRunInOrderAndTheEndCallComesLast)
{
    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("t.txt"), QByteArray(300, 'a') + "\n" + QByteArray(300, 'b'));
    Collector c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    c.SetMaxChunkChars(400);
    ASSERT_TRUE(c.ReadAndProcess(1));
    EXPECT_EQ(c.hooks, QStringList({"setup", "chunk 0", "stats", "setup", "chunk 1", "stats", "chunk -1"}));
    EXPECT_EQ(c.chunkSizes, (std::vector<std::size_t>{301, 300})) << "cut after the line break";
    EXPECT_EQ(Global_OneFilesStats.Words, 2);
}

TEST_F(BufferProcessorTest, SentencesFollowCapitalsAndParagraphsFollowTheSettings)
{
    const QByteArray text = "He met Mr. Brown. e.g. this is one. Then \"Stop.\" Another one\n"
                            "follows here.\n\nA new paragraph\n";
    TTextSettings s = defaultSettings();
    s.SetBlankLineEndsParagraph(true);
    ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), text), s);
    ASSERT_TRUE(r.ok);
    // "Mr." is taken for a sentence end: a capital follows (no abbreviation list).
    EXPECT_EQ(r.stats.Sentences, 5);
    EXPECT_EQ(r.stats.Paragraphs, 2);
    s.SetBlankLineEndsParagraph(false);
    r = readFile(dir.write(QStringLiteral("b.txt"), text), s);
    EXPECT_EQ(r.stats.Paragraphs, 3) << "every line end ends a paragraph";
    EXPECT_EQ(r.stats.Sentences, 6) << "a paragraph end ends its sentence";
}

// The sentence and paragraph ends that the reading rules spell out, each
// with its count and the boundary before the word after it.
TEST_F(BufferProcessorTest, SentenceAndParagraphEndsCaseByCase)
{
    struct Case {
        const char* name;
        QString text;
        int sentences, paragraphs;
        std::vector<int> barriers; // before each word
    };
    const Case cases[] = {
        // Punctuation between the sentence end and the blank.
        {"bracket", QStringLiteral("One two.) Three four."), 2, 1, {0, 0, 2, 0}},
        {"quote before", QStringLiteral("One \"two\". Three four."), 2, 1, {0, 0, 2, 0}},
        {"quote after", QStringLiteral("One \"two.\" Three four."), 2, 1, {0, 0, 2, 0}},
        {"dashes", QStringLiteral("One two.-- Three four."), 2, 1, {0, 0, 2, 0}},
        {"tag", QStringLiteral("One two.<b>Three four."), 2, 1, {0, 0, 2, 0}},
        {"lower case after", QStringLiteral("One two.) three four."), 1, 1, {0, 0, 0, 0}},
        {"no blank", QStringLiteral("One two.)Three four."), 1, 1, {0, 0, 0, 0}},
        // Lone line breaks of every kind end a paragraph (and its sentence).
        {"CR", QStringLiteral("One two\rThree four\r"), 2, 2, {0, 0, 3, 0}},
        {"VT", QStringLiteral("One two\vThree four"), 2, 2, {0, 0, 3, 0}},
        {"FF", QStringLiteral("One two\fThree four"), 2, 2, {0, 0, 3, 0}},
        {"U+2028", QStringLiteral("One two\u2028Three four"), 2, 2, {0, 0, 3, 0}},
        {"CR LF", QStringLiteral("One two\r\nThree four"), 2, 2, {0, 0, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = readFile(dir.write(QStringLiteral("s.txt"), utf8(c.text)));
        ASSERT_TRUE(r.ok) << qPrintable(r.error);
        EXPECT_EQ(r.words.join(u' ').toLower(), QStringLiteral("one two three four"));
        EXPECT_EQ(r.stats.Sentences, c.sentences);
        EXPECT_EQ(r.stats.Paragraphs, c.paragraphs);
        std::vector<int> barriers;
        int32_t pos = 0;
        TScannedWord w;
        while (NextWord(r.classes, pos, w))
            barriers.push_back(w.barrier);
        EXPECT_EQ(barriers, c.barriers);
    }
}

// Superscripts and fractions are digits: inside a word with a letter they
// belong to it, alone they are numbers.
TEST_F(BufferProcessorTest, SuperscriptsAndFractionsAreDigits)
{
    const QString text = QStringLiteral("E = mc\u00B2, r\u00B2 and \u00BDmv\u00B2 but \u00B2 and 2\u00BD alone, H\u2082O");
    TTextSettings s = defaultSettings();
    ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), utf8(text)), s);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.words, QStringList({"E", QStringLiteral("mc\u00B2"), QStringLiteral("r\u00B2"), "and",
                                    QStringLiteral("\u00BDmv\u00B2"), "but", QStringLiteral("\u00B2"), "and",
                                    QStringLiteral("2\u00BD"), "alone", QStringLiteral("H\u2082O")}));
    EXPECT_EQ(r.stats.Words, 9) << "the numbers are no running words";
    s.SetKeepNumbers(true);
    r = readFile(dir.write(QStringLiteral("b.txt"), utf8(text)), s);
    EXPECT_EQ(r.stats.Words, 11);
}

TEST_F(BufferProcessorTest, WordJoinersFollowTheSettings)
{
    const QByteArray text = "don't re-enter 'quoted' half- rock-'n'-roll";
    TTextSettings s = defaultSettings();
    EXPECT_EQ(readFile(dir.write(QStringLiteral("a.txt"), text), s).words,
              QStringList({"don't", "re-enter", "quoted", "half", "rock", "n", "roll"}));
    s.SetApostrophesInWords(false);
    s.SetHyphensSeparateWords(true);
    EXPECT_EQ(readFile(dir.write(QStringLiteral("b.txt"), text), s).words,
              QStringList({"don", "t", "re", "enter", "quoted", "half", "rock", "n", "roll"}));
    s.SetExtraWordCharacters(QStringLiteral("_@"));
    EXPECT_EQ(readFile(dir.write(QStringLiteral("c.txt"), "mail me@home or snake_case"), s).words,
              QStringList({"mail", "me@home", "or", "snake_case"}));
}

// A page's scripts and style sheets are no text its reader sees: with tags
// ignored they are left out (and the text's notes say so) unless the
// settings count them; tag rules and plain mode leave them to the rules.
TEST_F(BufferProcessorTest, ScriptsAndStyleSheetsAreLeftOutOfPages)
{
    QString page = QStringLiteral(
        "<html><head><title>Love</title>\n<STYLE type=\"text/css\">p { color: red; }</STYLE>\n"
        "<script src=\"a.js\"/>\n<script>var x = a<b && c>d ? \"</p>\" : 1;</script></head>\n"
        "<body><p>My love is like a rose.</p><script type=\"text/javascript\">\n");
    for (int k = 0; k < 40; ++k)
        page += QStringLiteral("  var line%1 = document.getElementById('x');\n").arg(k);
    page += QStringLiteral("</script ><p>So fair art thou.</p>\n<style>\nbody{margin:0}");
    const QStringList read = {"Love", "My", "love", "is", "like", "a", "rose", "So", "fair", "art", "thou"};
    const QString file = dir.write(QStringLiteral("love.html"), utf8(page));
    for (const int chunk : {0, 64, 100}) {
        SCOPED_TRACE(chunk);
        const ReadResult r = readFile(file, defaultSettings(), nullptr, chunk);
        ASSERT_TRUE(r.ok) << qPrintable(r.error);
        EXPECT_EQ(r.words, read);
        EXPECT_EQ(r.stats.Words, read.size());
        ASSERT_EQ(r.notes.size(), 1);
        EXPECT_EQ(r.notes[0], QDir::toNativeSeparators(file)
                                  + QStringLiteral(": what stands inside <script> and <style> was left out, as a reader "
                                                   "of the page never sees it (a text setting counts it)"));
    }
    TTextSettings counted = defaultSettings();
    counted.SetCountScriptAndStyle(true);
    ReadResult r = readFile(file, counted);
    EXPECT_TRUE(r.words.contains(QStringLiteral("color")));
    EXPECT_TRUE(r.words.contains(QStringLiteral("var")));
    EXPECT_TRUE(r.words.contains(QStringLiteral("margin")));
    EXPECT_TRUE(r.notes.isEmpty());
    TTextSettings rules = defaultSettings();
    rules.SetMarkupMode(TMarkupMode::TagRules);
    r = readFile(file, rules);
    EXPECT_TRUE(r.words.contains(QStringLiteral("var")));
    EXPECT_TRUE(r.notes.isEmpty());
    // A page without either has no note.
    r = readFile(dir.write(QStringLiteral("plain.html"), "<p>No scripts here.</p><scripted>x</scripted>"));
    EXPECT_EQ(r.words, QStringList({"No", "scripts", "here", "x"}));
    EXPECT_TRUE(r.notes.isEmpty());
}

TEST_F(BufferProcessorTest, PlainModeReadsAngleBracketsAsText)
{
    TTextSettings s = defaultSettings();
    s.SetMarkupMode(TMarkupMode::Plain);
    s.SetTranslateEntities(false);
    const ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), "<b>bold</b> &amp; x"), s);
    EXPECT_EQ(q(r.text), QStringLiteral("<b>bold</b> &amp; x"));
    EXPECT_EQ(r.words, QStringList({"b", "bold", "b", "amp", "x"}));
    EXPECT_EQ(r.stats.Tags, 0);
}

TEST_F(BufferProcessorTest, OnlyRealTagsAreTags)
{
    const QByteArray text = "if a < b and c > d then &lt;b&gt; is text, <b >x</b> and <!-- a > b --> done";
    const ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), text));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(shownText(r.text), QStringLiteral("if a < b and c > d then <b> is text, <b >x</b> and <!-- a > b --> done"));
    const std::size_t literal = r.text.find(u"<b>");
    ASSERT_NE(literal, std::u16string::npos);
    EXPECT_FALSE(IsTagClass(r.classes[literal])) << "a translated &lt; never opens a tag";
    EXPECT_EQ(r.stats.Tags, 3);
    EXPECT_EQ(r.words, QStringList({"if", "a", "b", "and", "c", "d", "then", "b", "is", "text", "x", "and", "done"}));
}

TEST_F(BufferProcessorTest, TagRulesExcludeAndTranslate)
{
    TTextSettings s = defaultSettings();
    s.SetMarkupMode(TMarkupMode::TagRules);
    TTextTagHandler handler(s.LanguageId(), s.CodePage(), TTagOptions::FromSettings(s));
    ASSERT_TRUE(handler.AddExclusion(u"<script>", u"</script>"));
    ASSERT_TRUE(handler.AddExclusion(u"<note>"));
    TTagsToTranslateList translate;
    ASSERT_TRUE(translate.AddTranslation(u"<br>", u" "));
    ASSERT_TRUE(translate.AddTranslation(u"&shy;", u""));
    handler.SetTagsToTranslateList(&translate);
    TStoredTagRec keep;
    keep.tag = QStringLiteral("<w *>");
    ASSERT_TRUE(handler.AddTagfileTag(keep));
    const QByteArray text = "one<br>two <script type=\"x\">var hidden = 1;\n</script>three"
                            "<note/>four <w NN>cat</w> ex&shy;tra";
    const ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), text), s, &handler);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.words, QStringList({"one", "two", "three", "four", "cat", "extra"}));
    const std::size_t w = r.text.find(u"\x19w NN\x18");
    ASSERT_NE(w, std::u16string::npos);
    EXPECT_EQ(TagNumberOf(r.classes[w]), 1) << "a listed tag carries its number";
    EXPECT_EQ(TagNumberOf(r.classes[r.text.find(u"\x19/w\x18")]), 0);
    EXPECT_TRUE(IsTagClass(r.classes[r.text.find(u"\x19/w\x18")]));
    // The same rules in ignore mode only hide the tags (a script, when the
    // settings count it, is read as text; by default it is left out).
    s.SetMarkupMode(TMarkupMode::IgnoreTags);
    s.SetCountScriptAndStyle(true);
    handler.SetOptions(TTagOptions::FromSettings(s));
    EXPECT_EQ(readFile(dir.write(QStringLiteral("b.txt"), text), s, &handler).words,
              QStringList({"one", "two", "var", "hidden", "1", "three", "four", "cat", "extra"}));
    s.SetCountScriptAndStyle(false);
    handler.SetOptions(TTagOptions::FromSettings(s));
    EXPECT_EQ(readFile(dir.write(QStringLiteral("c.txt"), text), s, &handler).words,
              QStringList({"one", "two", "three", "four", "cat", "extra"}));
}

TEST_F(BufferProcessorTest, EntitiesAndPositionsInTheSourceText)
{
    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("a.txt"), "a&eacute;b &#65;&#x42; &bogus; &#0; end");
    Collector c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    ASSERT_TRUE(c.ReadAndProcess(1));
    EXPECT_EQ(q(c.text), QStringLiteral("a\u00E9b AB &bogus; \uFFFD end"));
    // Positions count UTF-16 units of the decoded text.
    EXPECT_EQ(c.SourcePositionOf(0), 0);
    EXPECT_EQ(c.SourcePositionOf(1), 1);
    EXPECT_EQ(c.SourcePositionOf(2), 9);
    EXPECT_EQ(c.SourcePositionOf(4), 11);
    EXPECT_EQ(c.SourcePositionOf(5), 16);
    EXPECT_EQ(c.BufferIndexOfSourcePosition(9), 2);
    EXPECT_EQ(c.BufferIndexOfSourcePosition(16), 5);
    EXPECT_EQ(c.BufferIndexOfSourcePosition(5), 2) << "inside a translated entity: where it stands";
    for (int32_t i = 0; i < int32_t(c.text.size()); ++i)
        EXPECT_EQ(c.BufferIndexOfSourcePosition(c.SourcePositionOf(i)), i);
}

TEST_F(BufferProcessorTest, TextMarkersSelectStretches)
{
    TTextSettings s = defaultSettings();
    s.SetTextSelectionOn(true);
    s.SetTextStartMarker(QStringLiteral("<body>"));
    s.SetTextEndMarker(QStringLiteral("</BODY>"));
    const QByteArray text = "header words <BODY>first part</body> between <body>second\npart</body> trailer";
    ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), text), s);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.words, QStringList({"first", "part", "second", "part"}));
    EXPECT_EQ(levelsOf(r.classes), (std::vector<int>{5, 3})) << "selected stretches are sections apart";
    EXPECT_EQ(r.stats.Words, 4);
    // The same with small chunks.
    ReadResult small = readFile(dir.write(QStringLiteral("b.txt"), QByteArray(200, ' ') + text), s, nullptr, 64);
    EXPECT_EQ(small.words, r.words);
    // No start marker: nothing is read (and that is no failure).
    r = readFile(dir.write(QStringLiteral("c.txt"), "no markers here"), s);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.words.isEmpty());
}

TEST_F(BufferProcessorTest, SectionStartsAreFoundAndMarked)
{
    TTextSettings s = defaultSettings();
    s.SetSectionStartMarker(QStringLiteral("### "));
    const QByteArray text = "### One\nalpha beta\n\n  ### Two\ngamma\n###Not a start\ndelta\n";
    for (const int chunk : {0, 64}) {
        TChosenTextRec rec;
        rec.FullFilename = dir.write(QStringLiteral("s%1.txt").arg(chunk), QByteArray(chunk, ' ') + text);
        Collector c(nullptr, nullptr, nullptr, nullptr, rec, s, 0, 0, false);
        if (chunk)
            c.SetMaxChunkChars(chunk);
        ASSERT_TRUE(c.ReadAndProcess(1));
        EXPECT_EQ(c.sectionPositions, (std::vector<int64_t>{chunk + 0, chunk + 22})) << chunk;
        EXPECT_EQ(c.TextStats().Sections, 2);
        EXPECT_EQ(c.words(), QStringList({"One", "alpha", "beta", "Two", "gamma", "Not", "a", "start", "delta"}));
        EXPECT_EQ(c.barriers(), (std::vector<int>{0, 3, 0, 5, 3, 3, 0, 0, 3})) << chunk;
    }
}

TEST_F(BufferProcessorTest, FileHandledInfoAndSignatureBytes)
{
    ReadResult r = readFile(dir.write(QStringLiteral("a.txt"), utf16(QStringLiteral("word"), true, true)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.info.TextSize(), 10);
    EXPECT_TRUE(r.info.TwoByteText());
    EXPECT_TRUE(r.info.AlreadyConverted());
    EXPECT_FALSE(r.info.ThreeCharLead());
    EXPECT_FALSE(r.info.NotProcessed());
    EXPECT_EQ(r.info.Format(), kTextFormatUtf16BE | kTextFormatByteOrderMark);
    EXPECT_EQ(r.info.Bytes()[0], 10) << "the size sits in the first 8 bytes";

    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("b.txt"), QByteArray("\xEF\xBB\xBF<p>w</p>"));
    Collector c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    bool unicode = false;
    Collector withCallback(nullptr, nullptr, [&](bool on) { unicode = on; }, nullptr, rec, defaultSettings(), 0, 0, false);
    ASSERT_TRUE(withCallback.ReadAndProcess(1));
    EXPECT_TRUE(unicode);
    EXPECT_EQ(withCallback.FileSignatureBytes, (std::vector<uint8_t>{0xEF, 0xBB, 0xBF}));
    EXPECT_TRUE(withCallback.FileHandledInfo.ThreeCharLead());
    EXPECT_EQ(withCallback.FileHandledInfo.Format(), kTextFormatUtf8 | kTextFormatByteOrderMark | kTextFormatMarkup);
    EXPECT_FALSE(withCallback.PleaseConvertTheFileToUnicode);
    EXPECT_EQ(withCallback.fFullFilename, rec.FullFilename);
}

TEST_F(BufferProcessorTest, UnreadableTextsFailWithAClearMessage)
{
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard(&dialogs);
    TChosenTextRec rec;
    rec.FullFilename = dir.file(QStringLiteral("missing.txt"));
    bool handled = false;
    TFileHandledInfo info;
    Collector c(nullptr, [&](const TFileHandledInfo& i) { handled = true; info = i; }, nullptr, nullptr, rec,
                defaultSettings(), 0, 0, false);
    EXPECT_FALSE(c.ReadAndProcess(1));
    EXPECT_TRUE(handled);
    EXPECT_TRUE(info.NotProcessed());
    ASSERT_EQ(dialogs.Routines(), QStringList({"FailedToRead"}));
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("missing.txt")));
    EXPECT_TRUE(dialogs.Requests()[0].text.startsWith(QStringLiteral("Cannot open file")));
    EXPECT_TRUE(c.chunks.empty());

    // Binary data and UTF-32 are refused, not read as garbage.
    QByteArray binary("\x89PNG\r\n\x1A\n", 8);
    for (int i = 0; i < 200; ++i)
        binary += QByteArray("\0\0\x0D\x49\x48\x44\x52\x00", 8);
    ReadResult r = readFile(dir.write(QStringLiteral("picture.txt"), binary));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("binary"))) << r.error.toStdString();
    r = readFile(dir.write(QStringLiteral("wide.txt"), QByteArray("\xFF\xFE\0\0a\0\0\0", 8)));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("UTF-32")));

    // With messages off the text goes to the failure message.
    Global_run_without_error_messages = true;
    Global_FailureMessage.clear();
    Collector quiet(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    EXPECT_FALSE(quiet.ReadAndProcess(1));
    Global_run_without_error_messages = false;
    EXPECT_TRUE(Global_FailureMessage.contains(QStringLiteral("missing.txt")));
    EXPECT_EQ(dialogs.Requests().size(), 1u);
}

TEST_F(BufferProcessorTest, CancelAndRefusalStopTheRead)
{
    struct Stopper : Collector {
        using Collector::Collector;
        bool refuse = false;
        bool SetupTheBuffer() override { return !refuse; }
        void ProcessAChunkOfFile(int32_t i) override
        {
            Collector::ProcessAChunkOfFile(i);
            global_panic_state = kPanicStopNow;
        }
    };
    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("a.txt"), utf8(longText(50)));
    Stopper s(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    s.SetMaxChunkChars(200);
    EXPECT_FALSE(s.ReadAndProcess(1));
    EXPECT_TRUE(s.Cancelled());
    EXPECT_EQ(s.chunks, (std::vector<int32_t>{0}));
    EXPECT_TRUE(s.LastError().isEmpty()) << "a cancel is no failure to report";
    global_panic_state = kPanicRun;
    Stopper r(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    r.refuse = true;
    EXPECT_FALSE(r.ReadAndProcess(1));
    EXPECT_FALSE(r.Cancelled());
}

TEST_F(BufferProcessorTest, EncipheredTextsReadLikeTheirPlainText)
{
    const QByteArray plain = utf16(kMarkedUp, false, true);
    const ReadResult ref = readFile(dir.write(QStringLiteral("plain.txt"), plain));
    const std::vector<uint8_t> sealed =
        EncipheredBytes({reinterpret_cast<const uint8_t*>(plain.constData()), std::size_t(plain.size())}, 77);
    const ReadResult r = readFile(dir.write(QStringLiteral("sealed.CVencrypted"), cvtest::toBytes(sealed)));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.text, ref.text);
    EXPECT_EQ(r.classes, ref.classes);
    EXPECT_EQ(r.info.Format() & kTextFormatEnciphered, kTextFormatEnciphered);
    EXPECT_EQ(r.info.TextSize(), int64_t(sealed.size()));

    QByteArray damaged = cvtest::toBytes(sealed);
    damaged[40] = char(damaged[40] ^ 0x10);
    ReadResult bad = readFile(dir.write(QStringLiteral("damaged.CVencrypted"), damaged));
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.error.contains(QStringLiteral("checksum"))) << bad.error.toStdString();
    bad = readFile(dir.write(QStringLiteral("cut.CVencrypted"), cvtest::toBytes(sealed).left(50)));
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.error.contains(QStringLiteral("cut short")));
    bad = readFile(dir.write(QStringLiteral("foreign.CVencrypted"), "just a text"));
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.error.contains(QStringLiteral("not an enciphered text")));
}

TEST_F(BufferProcessorTest, PreparsedCopiesReadBackToTheSameBuffer)
{
    TTextSettings s = defaultSettings();
    s.SetSectionStartMarker(QStringLiteral("<p"));
    TTextTagHandler handler(s.LanguageId(), s.CodePage(), TTagOptions::FromSettings(s));
    TStoredTagRec head;
    head.tag = QStringLiteral("<head>");
    handler.AddTagfileTag(head);
    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("source.txt"), utf8(kMarkedUp + longText(30)));
    Collector first(nullptr, nullptr, nullptr, &handler, rec, s, 0, 0, true);
    const QString cache = dir.file(QStringLiteral("cache"));
    QDir().mkpath(cache);
    first.SetPreparsedFolder(cache);
    ASSERT_TRUE(first.ReadAndProcess(1));
    const QString saved = QDir(cache).filePath(QStringLiteral("source.txt.CVpreparsed"));
    ASSERT_TRUE(QFileInfo::exists(saved));

    rec.FullFilename = saved;
    Collector again(nullptr, nullptr, nullptr, &handler, rec, s, 0, 0, false);
    again.SetMaxChunkChars(300);
    ASSERT_TRUE(again.ReadAndProcess(1)) << again.LastError().toStdString();
    EXPECT_EQ(again.text, first.text);
    EXPECT_EQ(again.classes, first.classes);
    EXPECT_EQ(again.TextStats().Words, first.TextStats().Words);
    EXPECT_EQ(again.TextStats().Sections, first.TextStats().Sections);
    EXPECT_TRUE(again.FileHandledInfo.Format() & kTextFormatPreparsed);

    QByteArray bytes = cvtest::readAll(saved);
    bytes[50] = char(bytes[50] ^ 1);
    ReadResult bad = readFile(dir.write(QStringLiteral("bad.CVpreparsed"), bytes));
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.error.contains(QStringLiteral("checksum")));
    bad = readFile(dir.write(QStringLiteral("cut.CVpreparsed"), cvtest::readAll(saved).left(100)));
    EXPECT_FALSE(bad.ok);
}

TEST_F(BufferProcessorTest, TextsInsideZipArchives)
{
    const QString zipName = dir.file(QStringLiteral("corpus.zip"));
    TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(zipName));
    const QByteArray le = utf16(kMarkedUp, false, true);
    const std::vector<uint8_t> sealed = EncipheredBytes({reinterpret_cast<const uint8_t*>(le.constData()), std::size_t(le.size())}, 5);
    std::vector<TZipNewEntry> entries(2);
    entries[0].name = QStringLiteral("texts/caf\u00E9.txt");
    entries[0].data.assign(le.begin(), le.end());
    entries[1].name = QStringLiteral("texts/sealed.CVencrypted");
    entries[1].data = sealed;
    ASSERT_TRUE(zip.AddEntries(entries)) << zip.ErrorString().toStdString();
    zip.CloseArchive();

    const ReadResult ref = readFile(dir.write(QStringLiteral("plain.txt"), le));
    ReadResult r = readFile(zipName, defaultSettings(), nullptr, 0, QStringLiteral("texts/caf\u00E9.txt"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.text, ref.text);
    EXPECT_EQ(r.info.Format(), kTextFormatUtf16LE | kTextFormatByteOrderMark | kTextFormatMarkup | kTextFormatInZip);
    EXPECT_EQ(r.info.TextSize(), le.size());
    r = readFile(zipName, defaultSettings(), nullptr, 0, QStringLiteral("texts/sealed.CVencrypted"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.text, ref.text);
    r = readFile(zipName, defaultSettings(), nullptr, 0, QStringLiteral("texts/absent.txt"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("corpus.zip|texts/absent.txt"))) << r.error.toStdString();
    r = readFile(dir.write(QStringLiteral("fake.zip"), "PK not really"), defaultSettings(), nullptr, 0, QStringLiteral("a.txt"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("fake.zip")));
}

// An entry of an archive is read as it unpacks, block by block as a loose
// text is: the same buffers, classes, counts and length in units, whatever
// the encoding, wherever its chunks and the reader's blocks fall.
TEST_F(BufferProcessorTest, AZippedTextReadsAsTheSameTextLoose)
{
    struct Length : Collector {
        using Collector::Collector;
        int64_t told = -2;
        void ProcessAChunkOfFile(int32_t i) override
        {
            Collector::ProcessAChunkOfFile(i);
            if (told == -2)
                told = TextUnits();
        }
    };
    QString text;
    for (int k = 0; k < 3000; ++k)
        text += QStringLiteral("<p>Line %1: caf\u00E9 cr\u00E8me, a very-long-hyphenated-word and Mr. Smith's dog. </p>%2")
                    .arg(k)
                    .arg(k % 7 == 0 ? QStringLiteral("\n\n") : QStringLiteral("\n"));
    const std::vector<std::pair<const char*, QByteArray>> forms = {
        {"utf8.txt", utf8(text)},
        {"utf8-mark.txt", QByteArray("\xEF\xBB\xBF") + utf8(text)},
        {"utf16le.txt", utf16(text, false, true)},
        {"utf16be.txt", utf16(text, true, false)},
        {"latin1.txt", latin1(text)},
    };
    const QString zipName = dir.file(QStringLiteral("forms.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(zipName));
        std::vector<TZipNewEntry> entries;
        for (const auto& [name, bytes] : forms)
            entries.push_back({QString::fromLatin1(name), std::vector<uint8_t>(bytes.begin(), bytes.end()),
                               QDateTime::currentDateTime(), kZipAttrArchive});
        ASSERT_TRUE(zip.AddEntries(std::move(entries))) << qPrintable(zip.ErrorString());
    }
    auto read = [&](const QString& file, const QString& entry, int32_t chunk) {
        TChosenTextRec rec;
        rec.FullFilename = file;
        rec.ZipEntryName = entry;
        auto c = std::make_unique<Length>(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
        c->SetShowFailureMessages(false);
        c->SetCountTextUnits(true);
        c->SetMaxChunkChars(chunk);
        EXPECT_TRUE(c->ReadAndProcess(1)) << qPrintable(c->LastError());
        return c;
    };
    for (const auto& [name, bytes] : forms) {
        const QString loose = dir.write(QString::fromLatin1(name), bytes);
        for (const int32_t chunk : {64, 1000, 65536, TBufferProcessor::kMaxChunkChars}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(chunk));
            const auto a = read(loose, QString(), chunk);
            const auto b = read(zipName, QString::fromLatin1(name), chunk);
            EXPECT_TRUE(a->text == b->text);
            EXPECT_EQ(a->classes, b->classes);
            EXPECT_EQ(a->chunkSizes, b->chunkSizes);
            EXPECT_EQ(a->words(), b->words());
            EXPECT_EQ(a->TextStats().Words, b->TextStats().Words);
            EXPECT_EQ(a->TextStats().Sentences, b->TextStats().Sentences);
            EXPECT_EQ(a->TextStats().Paragraphs, b->TextStats().Paragraphs);
            EXPECT_EQ(b->told, a->told);
            EXPECT_EQ(b->FileHandledInfo.TextSize(), bytes.size());
            EXPECT_EQ(b->FileHandledInfo.Format(), a->FileHandledInfo.Format() | kTextFormatInZip);
        }
    }
}

// A chunk without a blank is cut after a mark that ends a word, never
// inside a number: "." and "," between digits join them even where "." is a
// sentence end, while "?" there ends the number before it.
TEST(ChunkCut, AWordSafeCutKeepsNumbersWhole)
{
    const TTextSettings settings = TTextSettings::Defaults(); // "." "!" "?" end sentences
    TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), TTagOptions::FromSettings(settings));
    const TTextClassifier classifier(settings, handler, true);
    EXPECT_EQ(WordSafeCut(u"abcdefghij3.5kl", classifier), 15u) << "no place to cut but inside 3.5";
    EXPECT_EQ(WordSafeCut(u"abcdefghij1,000", classifier), 15u);
    EXPECT_EQ(WordSafeCut(u"abcdefghij680?0", classifier), 14u) << "after the ?";
    EXPECT_EQ(WordSafeCut(u"abcdefghij3.5k.", classifier), 15u) << "the last unit is no place to cut";
    EXPECT_EQ(WordSafeCut(u"abcdefghij.klmno", classifier), 11u);
}

TEST(ChunkCut, PrefersLineBreaksAndNeverSplitsTagsOrPairs)
{
    auto repeat = [](std::u16string_view s, int n) {
        std::u16string out;
        for (int i = 0; i < n; ++i)
            out += s;
        return out;
    };
    // A line break in the second half, with some text left after it to look at.
    EXPECT_EQ(ChunkCutPosition(repeat(u"w ", 20) + u"\n" + repeat(u"w ", 20), true, 100), 41u);
    // Without one there, the last blank of the second half beats an early line break.
    EXPECT_EQ(ChunkCutPosition(u"w\n" + repeat(u"w ", 40), true, 100), 62u);
    // A blank inside a tag is no place to cut: the whole tag goes to the next chunk.
    const std::u16string tagged = repeat(u"w ", 10) + u"<a href=x title=y>" + repeat(u"z", 20);
    EXPECT_EQ(ChunkCutPosition(tagged, true, 100), 20u);
    EXPECT_EQ(ChunkCutPosition(tagged, false, 100), 30u);
    EXPECT_EQ(ChunkCutPosition(u"a\r\nb\r", true, 100), 3u) << "a final \\r may be half of \\r\\n";
    EXPECT_EQ(ChunkCutPosition(u"abc\U0001F600def", true, 100, 4), 3u) << "a surrogate pair stays whole";
    bool blank = true;
    EXPECT_EQ(ChunkCutPosition(u"abcdef", true, 100, 4, &blank), 4u) << "no blank at all: up to the limit";
    EXPECT_FALSE(blank);
    bool limitedBlank = false;
    const std::size_t limited = ChunkCutPosition(repeat(u"w ", 100), true, 100, 50, &limitedBlank);
    EXPECT_LE(limited, 50u) << "never past the limit";
    EXPECT_GE(limited, 25u);
    EXPECT_TRUE(limitedBlank);
    EXPECT_EQ(ChunkCutPosition(u"", true, 100), 0u);
}

TEST_F(BufferProcessorTest, TheSearchEngineCutsTheSameWords)
{
    const ReadResult r = readFile(dir.write(QStringLiteral("t.txt"), utf8(kMarkedUp + longText(3))));
    ASSERT_TRUE(r.ok);
    const TSearchBuffer buffer(r.text, r.classes, TextClassArrayLayout(false));
    EXPECT_EQ(buffer.RunningWords(), r.stats.Words);
    QStringList words;
    std::vector<int> barriers;
    int carried = 0; // the engine gives a boundary to the next token, which may be a tag
    for (const TSearchToken& t : buffer.Tokens()) {
        carried = std::max<int>(carried, t.barrier);
        if (t.IsTag())
            continue;
        words << q(buffer.TokenText(t));
        barriers.push_back(carried);
        carried = 0;
    }
    EXPECT_EQ(words, r.words);
    Collector c(nullptr, nullptr, nullptr, nullptr, TChosenTextRec(), defaultSettings(), 0, 0, false);
    c.text = r.text;
    c.classes = r.classes;
    EXPECT_EQ(barriers, c.barriers());
}

TEST_F(BufferProcessorTest, AWordLongerThanTheLargestChunkIsOneWord)
{
    // Words with no blank around them, longer than the chunks may grow; and
    // a blank-free run of many words, which is cut between them.
    QString giant(3000, QLatin1Char('x'));
    QString run;
    for (int i = 0; i < 400; ++i)
        run += QStringLiteral("word%1,").arg(i % 10 == 0 ? QStringLiteral("x") : QString());
    struct Case {
        QString text;
        int words;
    };
    const Case cases[] = {
        {giant, 1},
        {QStringLiteral("first ") + giant + QStringLiteral(" last"), 3},
        {giant + QStringLiteral("'s end"), 2},
        {run, 400},
        {QStringLiteral("<p>") + giant + QStringLiteral("</p> after"), 2},
    };
    for (const Case& c : cases) {
        const QString file = dir.write(QStringLiteral("giant.txt"), utf8(c.text));
        const ReadResult whole = readFile(file);
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole.stats.Words, c.words);
        for (const int32_t largest : {64, 256, 1000}) {
            TChosenTextRec rec;
            rec.FullFilename = file;
            Collector r(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
            r.SetLargestChunkChars(largest);
            ASSERT_TRUE(r.ReadAndProcess(1));
            EXPECT_EQ(r.text, whole.text);
            EXPECT_EQ(r.TextStats().Words, c.words) << largest;
            EXPECT_EQ(CountWords(r.classes, false), c.words) << largest;
            for (const std::size_t n : r.chunkSizes)
                EXPECT_LE(n, std::size_t(largest));
            if (c.text == run) {
                EXPECT_EQ(r.words(), whole.words) << "a run of words is cut between them";
            }
        }
    }
}

TEST_F(BufferProcessorTest, AWordLongerThanTheReadersLargestChunk)
{
    QByteArray text = "before ";
    text += QByteArray(TBufferProcessor::kMaxChunkChars + 5000, 'a');
    text += " after";
    const ReadResult r = readFile(dir.write(QStringLiteral("giant.txt"), text));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.stats.Words, 3);
    EXPECT_EQ(CountWords(r.classes, false), 3);
    EXPECT_GT(r.chunks.size(), 2u) << "the word was read in more than one chunk";
}

TEST_F(BufferProcessorTest, OnlyRegularFilesAreReadAsTexts)
{
    const QString fifo = dir.file(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case {
        QString name;
        QString reason;
    };
    const Case cases[] = {
        {fifo, QStringLiteral("named pipe")},
        {dir.path(), QStringLiteral("folder")},
        {QStringLiteral("/dev/null"), QStringLiteral("device")},
    };
    for (const Case& c : cases) {
        const ReadResult r = readFile(c.name);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(c.reason)) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QDir::toNativeSeparators(c.name))) << r.error.toStdString();
    }
}

namespace {

// A text that changes while it is read: grown by a writer after every
// chunk (read for ever if the reader followed it), or cut short. The read
// ends, and counts what it read.
TEST_F(BufferProcessorTest, ATextThatGrowsOrShrinksWhileItIsReadEndsWithWhatItRead)
{
    struct Changer : Collector {
        using Collector::Collector;
        QString file;
        bool grow = true;
        void ProcessAChunkOfFile(int32_t i) override
        {
            Collector::ProcessAChunkOfFile(i);
            QFile f(file);
            if (grow) {
                if (f.open(QIODevice::Append))
                    f.write(QByteArray(4000, 'a').replace(0, 1, " ") + " more words\n");
            } else if (i == 0) {
                f.resize(f.size() / 2);
            }
        }
    };
    const QByteArray text = utf8(longText(200));
    const ReadResult whole = readFile(dir.write(QStringLiteral("ref.txt"), text), defaultSettings(), nullptr, 256);
    for (const bool grow : {true, false}) {
        SCOPED_TRACE(grow);
        const QString name = dir.write(QStringLiteral("changing.txt"), text);
        int result = 0;
        // The words read, then the notes.
        const QStringList told = cvtest::runInChild(
            [&] {
                TChosenTextRec rec;
                rec.FullFilename = name;
                Changer c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
                c.file = name;
                c.grow = grow;
                c.SetShowFailureMessages(false);
                c.SetMaxChunkChars(256);
                if (!c.ReadAndProcess(1))
                    return c.LastError();
                return (QStringList{QString::number(c.TextStats().Words), c.ChangedWhileRead() ? "changed" : "same"}
                        + c.ReadNotes())
                    .join(QLatin1Char('\n'));
            },
            &result, std::chrono::seconds(10)).split(QLatin1Char('\n'));
        EXPECT_EQ(result, 0);
        ASSERT_EQ(told.size(), 3) << qPrintable(told.join(QLatin1Char('|')));
        if (grow)
            EXPECT_EQ(told[0], QString::number(whole.stats.Words));
        else
            EXPECT_LT(told[0].toInt(), whole.stats.Words) << qPrintable(told[0]);
        // Either way the reader tells, naming the text.
        EXPECT_EQ(told[1], QStringLiteral("changed"));
        EXPECT_TRUE(told[2].startsWith(QDir::toNativeSeparators(name) + QStringLiteral(": the text changed while it was read")))
            << qPrintable(told[2]);
    }
    EXPECT_TRUE(whole.notes.isEmpty());
}

// A byte-order mark decides the encoding; one its text does not look like
// is told in the notes (the text is still read as the mark says).
TEST_F(BufferProcessorTest, AByteOrderMarkItsTextDoesNotLookLikeIsNoted)
{
    QString lines;
    for (int k = 0; k < 40; ++k)
        lines += QStringLiteral("Line %1 of a plain text, nothing but ASCII.\n").arg(k);
    QString chinese;
    for (int k = 0; k < 40; ++k)
        chinese += QStringLiteral("\u4ECA\u5929\u5929\u6C14\u5F88\u597D\uFF0C\u6211\u4EEC\u53BB\u516C\u56ED\u3002\n");
    // German in Latin-1 (17% of its bytes above 0x7F): behind the UTF-8 mark
    // its letters are undecodable, which is no reason to refuse it as binary.
    QString german;
    for (int k = 0; k < 200; ++k)
        german += QStringLiteral("\u00DCber die Gr\u00F6\u00DFe: f\u00FCr \u00C4pfel, \u00D6l und s\u00FC\u00DFe N\u00FCsse zahlt man %1 Mark.\n").arg(k);
    QByteArray swapped = utf16(lines, false, false); // little-endian units behind a big-endian mark
    swapped.prepend("\xFE\xFF");
    const struct {
        const char* name;
        QByteArray bytes;
        const char* claimed; // nullptr: no note
    } cases[] = {
        {"ASCII behind FF FE", QByteArray("\xFF\xFE") + utf8(lines), "UTF-16 little-endian"},
        {"ASCII behind FE FF", QByteArray("\xFE\xFF") + utf8(lines), "UTF-16 big-endian"},
        {"UTF-16LE behind FE FF", swapped, "UTF-16 big-endian"},
        {"Latin-1 behind EF BB BF", QByteArray("\xEF\xBB\xBF") + latin1(QString(lines).replace(QStringLiteral("plain"), QStringLiteral("pl\u00E2\u00EEn"))), "UTF-8"},
        {"German Latin-1 behind EF BB BF", QByteArray("\xEF\xBB\xBF") + latin1(german), "UTF-8"},
        {"UTF-16LE with its mark", utf16(lines, false, true), nullptr},
        {"UTF-16BE with its mark", utf16(lines, true, true), nullptr},
        {"Chinese UTF-16LE with its mark", utf16(chinese, false, true), nullptr},
        {"UTF-8 with its mark", QByteArray("\xEF\xBB\xBF") + utf8(lines + QStringLiteral("caf\u00E9\n")), nullptr},
        {"ASCII without a mark", utf8(lines), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.write(QStringLiteral("marked.txt"), c.bytes);
        const ReadResult r = readFile(file);
        ASSERT_TRUE(r.ok) << qPrintable(r.error);
        if (!c.claimed) {
            EXPECT_TRUE(r.notes.isEmpty()) << qPrintable(r.notes.join(QLatin1Char('|')));
            continue;
        }
        ASSERT_EQ(r.notes.size(), 1);
        EXPECT_EQ(r.notes[0], QStringLiteral("%1: the text does not look like %2, the encoding its byte-order mark claims "
                                             "(it was read as %2)")
                                  .arg(QDir::toNativeSeparators(file), QString::fromLatin1(c.claimed)));
    }
    // Read as the mark says: the ASCII words are all there.
    const ReadResult r = readFile(dir.write(QStringLiteral("german.txt"), QByteArray("\xEF\xBB\xBF") + latin1(german)));
    ASSERT_TRUE(r.ok) << qPrintable(r.error);
    EXPECT_EQ(r.words.count(QStringLiteral("zahlt")), 200);
    EXPECT_EQ(r.words.count(QStringLiteral("Mark")), 200);
}

// Asked for, the reader tells the decoded text's length before the first
// chunk: the units positions count, whatever bytes the encoding spends.
TEST_F(BufferProcessorTest, TheTextsLengthInUnitsWhateverItsEncoding)
{
    struct Length : Collector {
        using Collector::Collector;
        std::vector<int64_t> told;
        void ProcessAChunkOfFile(int32_t i) override
        {
            Collector::ProcessAChunkOfFile(i);
            told.push_back(TextUnits());
        }
    };
    // Letters of two and three UTF-8 bytes and a pair of surrogates, over
    // many chunks, and a short text read in one.
    QString text;
    for (int k = 0; k < 300; ++k)
        text += QStringLiteral("\u0436\u0431 caf\u00E9 \u20AC\U0001D400 words %1\n").arg(k);
    for (const QString& t : {text, QStringLiteral("\u0436")}) {
        std::vector<QByteArray> forms{utf8(t), QByteArray("\xEF\xBB\xBF") + utf8(t), utf16(t, true, true)};
        if (t.size() > 1)
            forms.push_back(utf16(t, false, false)); // without a mark, UTF-16 shows only in a text of some length
        for (const QByteArray& bytes : forms) {
            TChosenTextRec rec;
            rec.FullFilename = dir.write(QStringLiteral("length.txt"), bytes);
            Length c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
            c.SetCountTextUnits(true);
            c.SetMaxChunkChars(256);
            ASSERT_TRUE(c.ReadAndProcess(1));
            ASSERT_FALSE(c.told.empty());
            EXPECT_EQ(c.told.front(), t.size());
            EXPECT_EQ(int64_t(c.text.size()), t.size());
        }
    }
    // UTF-16 cut after an odd byte: the byte is a unit of its own (the
    // replacement character), as the reading shows it.
    for (const bool mark : {true, false}) {
        TChosenTextRec rec;
        rec.FullFilename = dir.write(QStringLiteral("odd.txt"), utf16(text, mark, mark) + QByteArray("A"));
        Length c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
        c.SetCountTextUnits(true);
        c.SetMaxChunkChars(256);
        ASSERT_TRUE(c.ReadAndProcess(1));
        ASSERT_FALSE(c.told.empty());
        EXPECT_EQ(c.told.front(), text.size() + 1);
        EXPECT_EQ(int64_t(c.text.size()), text.size() + 1);
    }
    // Not asked for: not counted.
    TChosenTextRec rec;
    rec.FullFilename = dir.write(QStringLiteral("plain.txt"), utf8(text));
    Length c(nullptr, nullptr, nullptr, nullptr, rec, defaultSettings(), 0, 0, false);
    ASSERT_TRUE(c.ReadAndProcess(1));
    EXPECT_EQ(c.told.front(), -1);
}

} // namespace
