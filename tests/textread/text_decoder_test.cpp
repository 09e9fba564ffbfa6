#include "textread/text_decoder.h"

#include "textread_testutil.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <random>
#include <span>
#include <vector>

using namespace cv;
using namespace textread_test;

namespace {

std::span<const uint8_t> bytesOf(const QByteArray& b) { return {reinterpret_cast<const uint8_t*>(b.constData()), std::size_t(b.size())}; }

// Decodes the bytes cut into blocks of `step` bytes (0: one block).
std::u16string decode(const QByteArray& b, TSourceEncoding e, uint32_t codePage = 1252, std::size_t step = 0,
                      bool decided = true, TTextDecoder** keep = nullptr)
{
    TTextDecoder d(e, codePage, decided);
    std::u16string out;
    const auto all = bytesOf(b);
    if (step == 0) {
        d.Decode(all, true, out);
    } else {
        for (std::size_t i = 0; i < all.size(); i += step) {
            const std::size_t n = std::min(step, all.size() - i);
            d.Decode(all.subspan(i, n), i + n >= all.size(), out);
        }
        if (all.empty())
            d.Decode({}, true, out);
    }
    return out;
}

const QString kSample = QStringLiteral("Caf\u00E9 na\u00EFve \u20AC5 \u2014 \u201Cquoted\u201D, "
                                       "\u0416\u0438\u0437\u043D\u044C and \U0001F600 done.\n");

} // namespace

TEST(TextDecoder, EveryUnicodeFormGivesTheSameText)
{
    const std::u16string want = u16(kSample);
    EXPECT_EQ(decode(utf8(kSample), TSourceEncoding::Utf8), want);
    EXPECT_EQ(decode(utf16(kSample, false, false), TSourceEncoding::Utf16LE), want);
    EXPECT_EQ(decode(utf16(kSample, true, false), TSourceEncoding::Utf16BE), want);
}

TEST(TextDecoder, BlockBoundariesNeverDamageACharacter)
{
    const std::u16string want = u16(kSample);
    for (std::size_t step = 1; step <= 9; ++step) {
        EXPECT_EQ(decode(utf8(kSample), TSourceEncoding::Utf8, 1252, step), want) << "UTF-8 step " << step;
        EXPECT_EQ(decode(utf16(kSample, false, false), TSourceEncoding::Utf16LE, 1252, step), want) << "LE step " << step;
        EXPECT_EQ(decode(utf16(kSample, true, false), TSourceEncoding::Utf16BE, 1252, step), want) << "BE step " << step;
        EXPECT_EQ(decode(utf8(kSample), TSourceEncoding::Utf8, 1252, step, false), want) << "undecided step " << step;
    }
}

TEST(TextDecoder, LongAsciiRunsTakeTheFastPathCorrectly)
{
    QString s;
    for (int i = 0; i < 500; ++i)
        s += QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789 ");
    s += QStringLiteral("\u00E9");
    s += QString(37, QChar('x'));
    EXPECT_EQ(decode(utf8(s), TSourceEncoding::Utf8), u16(s));
    EXPECT_EQ(decode(latin1(s), TSourceEncoding::Ansi), u16(s));
    EXPECT_EQ(decode(utf16(s, true, false), TSourceEncoding::Utf16BE), u16(s));
}

TEST(TextDecoder, AnAccentedLetterAtEveryPlaceOfALongRun)
{
    // Runs of ASCII of every length around 32 and 64 bytes, broken by a
    // letter of two bytes, and the guess of the encoding over them.
    for (int before = 0; before < 140; ++before) {
        for (int after : {0, 1, 31, 32, 33, 63, 64, 65, 100}) {
            const QString s = QString(before, QChar('a')) + QStringLiteral("\u00E9") + QString(after, QChar('b'));
            const QByteArray bytes = utf8(s);
            ASSERT_EQ(decode(bytes, TSourceEncoding::Utf8), u16(s)) << before << " " << after;
            ASSERT_EQ(decode(bytes, TSourceEncoding::Utf8, 1252, 0, false), u16(s)) << before << " " << after;
            ASSERT_EQ(decode(latin1(s), TSourceEncoding::Ansi), u16(s)) << before << " " << after;
            const TEncodingGuess g = GuessSourceEncoding({reinterpret_cast<const uint8_t*>(bytes.data()), std::size_t(bytes.size())}, true, true);
            ASSERT_EQ(g.encoding, TSourceEncoding::Utf8) << before << " " << after;
            EXPECT_TRUE(IsWellFormedUtf8({reinterpret_cast<const uint8_t*>(bytes.data()), std::size_t(bytes.size())}));
            QByteArray broken = bytes;
            broken[before] = '\xFF'; // the lead byte of the letter
            EXPECT_FALSE(IsWellFormedUtf8({reinterpret_cast<const uint8_t*>(broken.data()), std::size_t(broken.size())}))
                << before << " " << after;
        }
    }
}

TEST(TextDecoder, MalformedUtf8BecomesReplacementCharacters)
{
    struct Case {
        QByteArray in;
        std::u16string out;
    };
    const Case cases[] = {
        {QByteArray("a\xC3(b"), u"a\uFFFD(b"},                // lead byte without its continuation
        {QByteArray("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD"},  // overlong form
        {QByteArray("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx"}, // encoded surrogate
        {QByteArray("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {QByteArray("\xC0\xAF"), u"\uFFFD\uFFFD"},
        {QByteArray("\xFF"), u"\uFFFD"},
        {QByteArray("ok\xE2\x82"), u"ok\uFFFD"},              // cut at the end of the text
        {QByteArray("\xE2\x82\xAC"), u"\u20AC"},
    };
    for (const Case& c : cases) {
        TTextDecoder d(TSourceEncoding::Utf8, 1252);
        std::u16string out;
        d.Decode(bytesOf(c.in), true, out);
        EXPECT_EQ(out, c.out) << c.in.toHex().toStdString();
        EXPECT_EQ(d.Replacements(), int64_t(std::count(c.out.begin(), c.out.end(), u'\uFFFD')));
    }
}

TEST(TextDecoder, BrokenUtf16BecomesReplacementCharacters)
{
    // A lone low surrogate, a high surrogate followed by a letter, and an odd last byte.
    const QByteArray le("\x00\xDC" "a\x00" "\x3D\xD8" "b\x00" "c", 9);
    EXPECT_EQ(decode(le, TSourceEncoding::Utf16LE), u"\uFFFDa\uFFFDb\uFFFD");
    // A pair cut by a block boundary survives.
    const QByteArray pair("\x3D\xD8\x00\xDE", 4);
    EXPECT_EQ(decode(pair, TSourceEncoding::Utf16LE, 1252, 2), u"\U0001F600");
    EXPECT_EQ(decode(pair.left(2), TSourceEncoding::Utf16LE), u"\uFFFD");
}

TEST(TextDecoder, CodePage1252AndItsNeighbours)
{
    const QByteArray bytes("\x80\x93x\x94\xE9\x81", 6);
    TTextDecoder d(TSourceEncoding::Ansi, 1252);
    std::u16string out;
    d.Decode(bytesOf(bytes), true, out);
    EXPECT_EQ(out, u"\u20AC\u201Cx\u201D\u00E9\uFFFD") << "0x81 is undefined in 1252";
    EXPECT_EQ(d.Replacements(), 1);
    // ISO 8859-1 keeps 0x80 as the control U+0080; an unknown code page reads as it.
    EXPECT_EQ(decode(bytes, TSourceEncoding::Ansi, 28591), u"\u0080\u0093x\u0094\u00E9\u0081");
    EXPECT_EQ(decode(bytes, TSourceEncoding::Ansi, 54321), u"\u0080\u0093x\u0094\u00E9\u0081");
    // A code page of another script goes through the system converter.
    const QByteArray cyrillic("\xCF\xF0\xE8\xE2\xE5\xF2", 6);
    EXPECT_EQ(decode(cyrillic, TSourceEncoding::Ansi, 1251), u"\u041F\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(decode(cyrillic, TSourceEncoding::Ansi, 1251, 1), u"\u041F\u0440\u0438\u0432\u0435\u0442");
}

TEST(TextDecoder, GuessesFromMarksAndPatterns)
{
    auto guess = [](const QByteArray& b, bool detect = true, bool whole = true) {
        return GuessSourceEncoding(bytesOf(b), detect, whole);
    };
    EXPECT_EQ(guess(QByteArray("\xEF\xBB\xBFhi")).encoding, TSourceEncoding::Utf8);
    EXPECT_EQ(guess(QByteArray("\xEF\xBB\xBFhi")).bomLength, 3);
    EXPECT_EQ(guess(QByteArray("\xFF\xFEh\0", 4)).encoding, TSourceEncoding::Utf16LE);
    EXPECT_EQ(guess(QByteArray("\xFE\xFF\0h", 4)).encoding, TSourceEncoding::Utf16BE);
    EXPECT_TRUE(guess(QByteArray("\xFF\xFE\0\0h\0\0\0", 8)).utf32);
    EXPECT_EQ(guess(utf16(QStringLiteral("Plain words"), false, false)).encoding, TSourceEncoding::Utf16LE);
    EXPECT_EQ(guess(utf16(QStringLiteral("Plain words"), true, false)).encoding, TSourceEncoding::Utf16BE);
    EXPECT_EQ(guess(utf16(QStringLiteral("Plain words"), true, false)).bomLength, 0);
    EXPECT_EQ(guess(utf8(kSample)).encoding, TSourceEncoding::Utf8);
    EXPECT_EQ(guess(latin1(QStringLiteral("caf\u00E9 cr\u00E8me"))).encoding, TSourceEncoding::Ansi);
    EXPECT_EQ(guess(utf8(kSample), false).encoding, TSourceEncoding::Ansi) << "the settings may switch the UTF-8 test off";
    // Plenty of good UTF-8 with one damaged byte is still UTF-8.
    EXPECT_EQ(guess(utf8(kSample + kSample) + QByteArray("\xFF")).encoding, TSourceEncoding::Utf8);
    // ASCII alone leaves the question open until the text shows more.
    const TEncodingGuess open = guess(QByteArray("just ascii"), true, false);
    EXPECT_EQ(open.encoding, TSourceEncoding::Utf8);
    EXPECT_FALSE(open.decided);
    EXPECT_TRUE(guess(QByteArray("just ascii"), true, true).decided);
}

TEST(TextDecoder, AnAsciiStartSettlesAtTheFirstHighByte)
{
    const QByteArray head(100000, 'a');
    EXPECT_EQ(decode(head + latin1(QStringLiteral(" caf\u00E9")), TSourceEncoding::Utf8, 1252, 4096, false),
              u16(QString(100000, QChar('a')) + QStringLiteral(" caf\u00E9")));
    EXPECT_EQ(decode(head + utf8(QStringLiteral(" caf\u00E9")), TSourceEncoding::Utf8, 1252, 4096, false),
              u16(QString(100000, QChar('a')) + QStringLiteral(" caf\u00E9")));
    TTextDecoder d(TSourceEncoding::Utf8, 1252, false);
    std::u16string out;
    d.Decode(bytesOf(QByteArray("abc\xC3")), false, out);
    EXPECT_FALSE(d.Decided()) << "a cut sequence at the end of a block decides nothing";
    d.Decode(bytesOf(QByteArray("\xA9!")), true, out);
    EXPECT_TRUE(d.Decided());
    EXPECT_EQ(d.Encoding(), TSourceEncoding::Utf8);
    EXPECT_EQ(out, u"abc\u00E9!");
}

namespace {

// Texts in scripts whose UTF-16 has few zero bytes.
const QString kChinese = QStringLiteral(
    "\u6211\u4EEC\u4ECA\u5929\u53BB\u516C\u56ED\u6563\u6B65\uFF0C\u5929\u6C14\u5F88\u597D\u3002\n"
    "\u4ED6\u8BF4\u4E00\u5B9A\u8981\u5B66\u4E60\u4E2D\u6587\uFF0C\u56E0\u4E3A\u5DE5\u4F5C\u9700\u8981\u3002\n"
    "\u8FD9\u672C\u4E66\u5F88\u6709\u610F\u601D\uFF0C\u6211\u5DF2\u7ECF\u770B\u4E86\u4E24\u904D\u4E86\u3002\n");
const QString kArabic = QStringLiteral(
    "\u0630\u0647\u0628 \u0627\u0644\u0648\u0644\u062F \u0625\u0644\u0649 \u0627\u0644\u0645\u062F\u0631\u0633\u0629 "
    "\u0635\u0628\u0627\u062D\u0627 \u0648\u0642\u0631\u0623 \u0643\u062A\u0627\u0628\u0627 \u062C\u062F\u064A\u062F\u0627.\n");
const QString kCyrillic = QStringLiteral(
    "\u041C\u044B \u0447\u0438\u0442\u0430\u043B\u0438 \u043A\u043D\u0438\u0433\u0443 \u0432\u0435\u0441\u044C "
    "\u0432\u0435\u0447\u0435\u0440, \u0430 \u043F\u043E\u0442\u043E\u043C \u043F\u043E\u0448\u043B\u0438 \u0433\u0443\u043B\u044F\u0442\u044C.\n");
const QString kHindi = QStringLiteral(
    "\u092F\u0939 \u090F\u0915 \u091B\u094B\u091F\u093E \u0938\u093E \u0935\u093E\u0915\u094D\u092F \u0939\u0948 "
    "\u091C\u094B \u0939\u093F\u0928\u094D\u0926\u0940 \u092E\u0947\u0902 \u0932\u093F\u0916\u093E \u0917\u092F\u093E \u0939\u0948\u0964\n");

QString times(const QString& s, int n)
{
    QString out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(TextDecoder, Utf16WithoutAMarkIsKnownByItsStructure)
{
    for (const QString& text : {kChinese, kArabic, kCyrillic, kHindi})
        for (const bool big : {false, true}) {
            for (const int copies : {1, 20}) {
                const QByteArray bytes = utf16(times(text, copies), big, false);
                const TEncodingGuess g = GuessSourceEncoding(bytesOf(bytes), true, true);
                EXPECT_EQ(g.encoding, big ? TSourceEncoding::Utf16BE : TSourceEncoding::Utf16LE)
                    << text.left(8).toStdString() << " x" << copies;
                EXPECT_EQ(g.bomLength, 0);
                EXPECT_EQ(decode(bytes, g.encoding), u16(times(text, copies)));
            }
        }
}

// The odd controls are counted sixteen bytes at a time: the count is the
// plain one for bytes at and around every control and blank, wherever a
// run of them starts and ends, and for heads long enough that the lanes'
// counts are summed several times.
TEST(TextDecoder, OddControlBytesAreCountedLikeOneByOne)
{
    const uint8_t kBytes[] = {0x00, 0x01, 0x08, 0x09, 0x0A, 0x0D, 0x0E, 0x19, 0x1A, 0x1B, 0x1C, 0x1F, 0x20, 0x41, 0x7F, 0x80, 0xFF};
    auto plain = [](std::span<const uint8_t> b) {
        std::size_t odd = 0;
        for (const uint8_t v : b)
            odd += v < 0x20 && (v < 0x09 || v > 0x0D) && v != 0x1A && v != 0x1B;
        return odd;
    };
    std::mt19937 random(11);
    for (const std::size_t size : {0, 1, 15, 16, 17, 31, 33, 255 * 16, 255 * 16 + 7, 8192, 40000}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes)
            b = kBytes[random() % std::size(kBytes)];
        for (const std::size_t from : {std::size_t(0), std::size_t(1), std::size_t(7)}) {
            const auto head = std::span<const uint8_t>(bytes).subspan(std::min(from, size));
            EXPECT_EQ(OddControlBytes(head), plain(head)) << size << " from " << from;
        }
    }
    // Every byte odd: no lane's count overflows between the sums.
    const std::vector<uint8_t> zeros(255 * 16 * 3 + 5, 0);
    EXPECT_EQ(OddControlBytes(zeros), zeros.size());
}

TEST(TextDecoder, EightBitTextsAndBinaryDataAreNotTakenForUtf16)
{
    // The same texts in 8-bit and UTF-8 forms, and data that is no text.
    QStringEncoder cp1251("windows-1251");
    const QByteArray cyrillic1251 = cp1251.encode(times(kCyrillic, 10));
    EXPECT_EQ(GuessSourceEncoding(bytesOf(cyrillic1251), true, true).encoding, TSourceEncoding::Ansi);
    for (const QString& text : {kChinese, kArabic, kHindi})
        EXPECT_EQ(GuessSourceEncoding(bytesOf(utf8(times(text, 10))), true, true).encoding, TSourceEncoding::Utf8);
    EXPECT_EQ(GuessSourceEncoding(bytesOf(latin1(times(QStringLiteral("Plain prose, with words.\n"), 40))), false, true).encoding,
              TSourceEncoding::Ansi);
    std::mt19937 random(7);
    QByteArray noise;
    for (int i = 0; i < 8192; ++i)
        noise += char(random() & 0xFF);
    bool big = false;
    EXPECT_FALSE(LooksLikeUtf16ByStructure(bytesOf(noise), big));
    QByteArray program("\x7F" "ELF\x02\x01\x01", 7);
    for (int i = 0; i < 500; ++i)
        program += QByteArray("\x48\x89\xE5\x00\x00\x00\x10\x00\x90\xC3\x0F\x1F", 12);
    EXPECT_FALSE(LooksLikeUtf16ByStructure(bytesOf(program), big));

    // ASCII texts of one 26-byte line again and again, with the tag marks
    // U+0018 and U+0019 in it: their even and odd bytes differ in kind as
    // UTF-16's do, but read so they hold no blank and no line break.
    for (const QByteArray line : {QByteArray("hbdeqscywm\x19xdjgvhxzncyigm\n"), QByteArray("\x18ixl\x18\x19 xuqa o\x18hubfdlphmrd\n")}) {
        ASSERT_EQ(line.size(), 26);
        QByteArray lines;
        for (int i = 0; i < 20001; ++i)
            lines += line;
        EXPECT_FALSE(LooksLikeUtf16ByStructure(bytesOf(lines.left(8192)), big));
        EXPECT_EQ(GuessSourceEncoding(bytesOf(lines.left(65536)), true, false).encoding, TSourceEncoding::Utf8);
    }
}

} // namespace
