#include "suite/lemmatiser.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

#include "suite/text_codec.h"
#include "support/test_support.h"

using cv::TLemmatiser;
using cv::TLemmatiserListKind;
using cv::TListSettingsRec;

namespace {

constexpr uint8_t kTool = 0;
constexpr uint32_t kEnglish = 0x0809;

class Lemmatiser : public ::testing::Test {
protected:
    void SetUp() override { lem().ClearAll(); }
    void TearDown() override { lem().ClearAll(); }
    static TLemmatiser& lem() { return TLemmatiser::Instance(); }

    uint16_t load(TLemmatiserListKind kind, const QString& file, const TListSettingsRec& s = TListSettingsRec::Defaults(),
                  uint32_t language = kEnglish, cv::TListCase c = cv::TListCase::AsSettings, uint8_t flag = cv::kLoadEntries)
    {
        return lem().LoadedOne(kTool, kind, file, s, {}, {}, language, c, flag);
    }
    QStringList heads() const
    {
        QStringList out;
        for (int i = 0; i < lem().LemmaPairEntriesAltogether(kTool); ++i)
            out << lem().LemmaHeadWords(kTool, i) + QStringLiteral(":") + lem().LemmaVariantsOf(kTool, lem().LemmaHeadWords(kTool, i)).join(u'|');
        return out;
    }

    cvtest::TempDir dir;
};

QByteArray encode(const QString& text, QStringConverter::Encoding e, bool bom)
{
    QStringEncoder enc(e, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return enc.encode(text);
}

const QString kLemmaText = QString::fromUtf8(
    "// English lemmas\r\n"
    "\r\n"
    "be -> am, is, are, was, were\r\n"
    "café -> cafés, CAFÉS\r\n"
    "  go ->went, gone ,goes\r\n"
    "be -> been, is\r\n"          // merges with the first "be" line, "is" not twice
    "  // indented comment\r\n"
    "naïve\r\n"                    // a head word alone
    "went -> wented\r\n"           // "went" is already a form of "go": stays a form of "go"
    "-> orphan\r\n");             // no head word: ignored

} // namespace

TEST_F(Lemmatiser, EveryEncodingOfTheSameFileGivesTheSameList)
{
    const QStringList want{QStringLiteral("be:am|is|are|was|were|been"), QString::fromUtf8("café:cafés"),
                           QStringLiteral("go:went|gone|goes"), QString::fromUtf8("naïve:"), QStringLiteral("went:wented")};
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"utf8bom.txt", encode(kLemmaText, QStringConverter::Utf8, true)},
        {"utf8.txt", encode(kLemmaText, QStringConverter::Utf8, false)},
        {"utf16le-bom.txt", encode(kLemmaText, QStringConverter::Utf16LE, true)},
        {"utf16be-bom.txt", encode(kLemmaText, QStringConverter::Utf16BE, true)},
        {"utf16le.txt", encode(kLemmaText, QStringConverter::Utf16LE, false)},
        {"cp1252.txt", encode(kLemmaText, QStringConverter::Latin1, false)},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QString name = dir.write(QString::fromLatin1(f.name), f.bytes);
        EXPECT_EQ(load(TLemmatiserListKind::Lemma, name), 5);
        EXPECT_EQ(heads(), want);
        // "CAFÉS" folds onto "cafés" and is not a second form.
        EXPECT_TRUE(lem().FoundInTheList(kTool, TLemmatiserListKind::Lemma, QString::fromUtf8("CAFÉS")));
    }
}

TEST_F(Lemmatiser, EightBitFilesReadInTheCodePageOfTheLanguage)
{
    const QString russian = QString::fromUtf8("быть -> есть, был\nидти -> шёл\n");
    QStringEncoder cp1251("windows-1251");
    ASSERT_TRUE(cp1251.isValid());
    const QString name = dir.write(QStringLiteral("ru.txt"), cp1251.encode(russian));
    EXPECT_EQ(load(TLemmatiserListKind::Lemma, name, TListSettingsRec::Defaults(), 0x0419), 2);
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QString::fromUtf8("БЫЛ")), QString::fromUtf8("быть"));
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QString::fromUtf8("шёл")), QString::fromUtf8("идти"));
}

TEST_F(Lemmatiser, HeadOfAFormAndUnknownWords)
{
    const QString name = dir.write(QStringLiteral("l.txt"), kLemmaText.toUtf8());
    ASSERT_GT(load(TLemmatiserListKind::Lemma, name), 0);
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QStringLiteral("WERE")), QStringLiteral("be"));
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QStringLiteral("be")), QStringLiteral("be")) << "a head word gives itself";
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QStringLiteral("went")), QStringLiteral("went")) << "a head word gives itself, even when it is also a form";
    EXPECT_EQ(lem().LemmaHeadOf(kTool, QStringLiteral("wented")), QStringLiteral("went"));
    EXPECT_TRUE(lem().LemmaHeadOf(kTool, QStringLiteral("orphan")).isEmpty());
    EXPECT_FALSE(lem().FoundInTheList(kTool, TLemmatiserListKind::Lemma, QStringLiteral("xyz")));
    EXPECT_TRUE(lem().LemmaVariantsOf(kTool, QStringLiteral("nothing")).isEmpty());
    EXPECT_TRUE(lem().LemmaHeadWords(kTool, 99).isEmpty());
    EXPECT_TRUE(lem().LemmaHeadWords(kTool, -1).isEmpty());

    QStringList visited;
    EXPECT_TRUE(lem().TraverseLemmasDoing(kTool, [&](const QString& head, const QStringList& forms, int index) {
        visited << QStringLiteral("%1 %2 %3").arg(index).arg(head).arg(forms.size());
        return true;
    }));
    EXPECT_EQ(visited.first(), QStringLiteral("0 be 6"));
    EXPECT_EQ(visited.size(), 5);
}

TEST_F(Lemmatiser, CaseFollowsTheSettingsOrTheCaller)
{
    const QString name = dir.write(QStringLiteral("stop.txt"), QByteArrayLiteral("The\nof, AND\nIstanbul\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Stop, name), 4) << "entries separated by the form separator count one each";
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("the")));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("and")));

    TListSettingsRec sensitive = TListSettingsRec::Defaults();
    sensitive.SetCaseSensitive(true);
    ASSERT_EQ(load(TLemmatiserListKind::Stop, name, sensitive), 4);
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("the")));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("The")));

    ASSERT_EQ(load(TLemmatiserListKind::Stop, name, sensitive, kEnglish, cv::TListCase::Insensitive), 4);
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("the"))) << "the caller's choice wins";

    // Turkish folds dotless and dotted I apart: "ISTANBUL" is not "istanbul".
    ASSERT_EQ(load(TLemmatiserListKind::Stop, name, TListSettingsRec::Defaults(), 0x041F), 4);
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QString::fromUtf8("ıstanbul")));
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("istanbul")));
}

TEST_F(Lemmatiser, WildcardsMatchOnlyWhenAllowed)
{
    const QString name = dir.write(QStringLiteral("match.txt"), QByteArrayLiteral("walk*\n?at\nexact\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Match, name), 3);
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("Walking")));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("walk")));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("cat")));
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("at")));
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("chat")));
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("exactly")));

    TListSettingsRec literal = TListSettingsRec::Defaults();
    literal.SetWildcardsAllowed(false);
    ASSERT_EQ(load(TLemmatiserListKind::Match, name, literal), 3);
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("walking")));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("walk*")));

    // Wildcard forms of a lemma list.
    const QString lemmas = dir.write(QStringLiteral("lw.txt"), QByteArrayLiteral("walk -> walk?d, walking*\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Lemma, lemmas), 1);
    EXPECT_EQ(cv::TLemmatiser::Instance().LemmaHeadOf(kTool, QStringLiteral("walked")), QStringLiteral("walk"));
    EXPECT_EQ(cv::TLemmatiser::Instance().LemmaHeadOf(kTool, QStringLiteral("walkings")), QStringLiteral("walk"));
    EXPECT_TRUE(cv::TLemmatiser::Instance().LemmaHeadOf(kTool, QStringLiteral("walks")).isEmpty());
}

TEST(LemmatiserWildcards, Matching)
{
    using cv::WildcardMatches;
    EXPECT_TRUE(WildcardMatches(u"*", u""));
    EXPECT_TRUE(WildcardMatches(u"a*b*c", u"aXXbYYc"));
    EXPECT_TRUE(WildcardMatches(u"a*b*c", u"abbbc"));
    EXPECT_FALSE(WildcardMatches(u"a*b*c", u"abcd"));
    EXPECT_TRUE(WildcardMatches(u"??", u"ab"));
    EXPECT_FALSE(WildcardMatches(u"??", u"abc"));
    EXPECT_TRUE(WildcardMatches(u"*ing", u"singing"));
    EXPECT_FALSE(WildcardMatches(u"", u"a"));
    EXPECT_TRUE(WildcardMatches(QString(200, u'*') + QStringLiteral("x"), QString(5000, u'a') + QStringLiteral("x"))) << "no blow-up on many stars";
}

TEST_F(Lemmatiser, MissingOrEmptyFilesAreNotLoadedAndLeaveTheSlotEmpty)
{
    const QString good = dir.write(QStringLiteral("s.txt"), QByteArrayLiteral("the\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Stop, good), 1);
    EXPECT_EQ(load(TLemmatiserListKind::Stop, dir.file(QStringLiteral("gone.txt"))), 0);
    EXPECT_FALSE(lem().IsLoaded(kTool, TLemmatiserListKind::Stop)) << "a failed load must not leave the old list in force";
    EXPECT_FALSE(cv::FoundInTheList(kTool, TLemmatiserListKind::Stop, QStringLiteral("the")));
    EXPECT_EQ(load(TLemmatiserListKind::Stop, dir.write(QStringLiteral("e.txt"), QByteArray())), 0);
    EXPECT_EQ(load(TLemmatiserListKind::Stop, dir.write(QStringLiteral("c.txt"), "// only a comment\n\n")), 0);
    EXPECT_EQ(load(TLemmatiserListKind::Stop, QString()), 0);
}

TEST_F(Lemmatiser, ToolsAndKindsHaveTheirOwnSlots)
{
    const QString a = dir.write(QStringLiteral("a.txt"), QByteArrayLiteral("alpha\n"));
    const QString b = dir.write(QStringLiteral("b.txt"), QByteArrayLiteral("beta\n"));
    ASSERT_EQ(lem().LoadedOne(0, TLemmatiserListKind::Stop, a, TListSettingsRec::Defaults(), {}, {}, kEnglish), 1);
    ASSERT_EQ(lem().LoadedOne(2, TLemmatiserListKind::Stop, b, TListSettingsRec::Defaults(), {}, {}, kEnglish), 1);
    ASSERT_EQ(lem().LoadedOne(0, TLemmatiserListKind::Match, b, TListSettingsRec::Defaults(), {}, {}, kEnglish), 1);
    EXPECT_TRUE(lem().FoundInTheList(0, TLemmatiserListKind::Stop, QStringLiteral("alpha")));
    EXPECT_FALSE(lem().FoundInTheList(0, TLemmatiserListKind::Stop, QStringLiteral("beta")));
    EXPECT_TRUE(lem().FoundInTheList(2, TLemmatiserListKind::Stop, QStringLiteral("beta")));
    cv::ClearOne(0, TLemmatiserListKind::Stop);
    EXPECT_FALSE(lem().IsLoaded(0, TLemmatiserListKind::Stop));
    EXPECT_TRUE(lem().IsLoaded(2, TLemmatiserListKind::Stop));
    EXPECT_TRUE(lem().IsLoaded(0, TLemmatiserListKind::Match));
    EXPECT_EQ(lem().LoadedFileName(0, TLemmatiserListKind::Match), b);
}

TEST_F(Lemmatiser, LineLoadsGiveTheLinesInFileOrderAndKeepTheMatchList)
{
    const QString match = dir.write(QStringLiteral("m.txt"), QByteArrayLiteral("keep\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Match, match), 1);
    // A plain-text word list: word TAB frequency, a blank line, a comment-like line kept as written.
    const QString words = dir.write(QStringLiteral("w.txt"),
                                    encode(QString::fromUtf8("\\TOTAL\\\t5000\nthe\t120\n\n// x\t3\nstraße\t2\r\n"), QStringConverter::Utf16LE, true));
    EXPECT_EQ(load(TLemmatiserListKind::Match, words, TListSettingsRec::Defaults(), kEnglish, cv::TListCase::AsSettings, cv::kLoadLines), 5);
    const QStringList want{QStringLiteral("\\TOTAL\\\t5000"), QStringLiteral("the\t120"), QString(), QStringLiteral("// x\t3"),
                           QString::fromUtf8("straße\t2")};
    EXPECT_EQ(lem().LoadedLines(kTool, TLemmatiserListKind::Match), want);
    QList<int> numbers;
    EXPECT_TRUE(cv::TraverseMatchesDoing(kTool, [&](const QString&, int n) { numbers << n; return true; }));
    EXPECT_EQ(numbers, (QList<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(cv::FoundInTheList(kTool, TLemmatiserListKind::Match, QStringLiteral("keep"))) << "the user's match list stays";

    // Reloading the match list makes its entries the traversed lines again.
    ASSERT_EQ(load(TLemmatiserListKind::Match, match), 1);
    EXPECT_EQ(lem().LoadedLines(kTool, TLemmatiserListKind::Match), QStringList{QStringLiteral("keep")});
}

TEST_F(Lemmatiser, CallbacksReportLinesAndProgressAndCanCancel)
{
    QByteArray text;
    for (int i = 0; i < 1000; ++i)
        text += "word" + QByteArray::number(i) + "\n";
    const QString name = dir.write(QStringLiteral("big.txt"), text);

    int reportedLines = -1, calls = 0, last = 0;
    QString reportedName;
    const auto n = lem().LoadedOne(kTool, TLemmatiserListKind::Stop, name, TListSettingsRec::Defaults(),
                                   [&](int lines, const QString& file) { reportedLines = lines; reportedName = file; ++calls; },
                                   [&](int done) { EXPECT_GE(done, last); last = done; }, kEnglish);
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reportedLines, 1000);
    EXPECT_EQ(reportedName, name);
    EXPECT_EQ(last, 1000);

    // A cancel from inside the progress callback (as the window's progress
    // handler does when the user stops) ends the load with nothing loaded.
    const auto cancelled = lem().LoadedOne(kTool, TLemmatiserListKind::Stop, name, TListSettingsRec::Defaults(), {},
                                           [&](int done) { if (done >= 256) cv::CancelOne(kTool, TLemmatiserListKind::Stop); }, kEnglish);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(lem().IsLoaded(kTool, TLemmatiserListKind::Stop));

    // A load started from inside another load's callback (the user picked a
    // new file meanwhile) wins; the outer load gives up without undoing it.
    const QString small = dir.write(QStringLiteral("small.txt"), QByteArrayLiteral("only\n"));
    bool nested = false;
    const auto outer = lem().LoadedOne(kTool, TLemmatiserListKind::Stop, name, TListSettingsRec::Defaults(), {},
                                       [&](int) {
                                           if (!nested) {
                                               nested = true;
                                               EXPECT_EQ(load(TLemmatiserListKind::Stop, small), 1);
                                           }
                                       }, kEnglish);
    EXPECT_EQ(outer, 0);
    EXPECT_EQ(lem().LoadedLines(kTool, TLemmatiserListKind::Stop), QStringList{QStringLiteral("only")});

    // A cancel during a traversal stops the traversal, not the list.
    ASSERT_EQ(load(TLemmatiserListKind::Stop, name), 1000);
    int visits = 0;
    EXPECT_FALSE(cv::TLemmatiser::Instance().TraverseStopsDoing(kTool, [&](const QString&, int n) {
        ++visits;
        if (n == 10)
            cv::CancelOne(kTool, TLemmatiserListKind::Stop);
        return true;
    }));
    EXPECT_EQ(visits, 10);
    EXPECT_TRUE(lem().IsLoaded(kTool, TLemmatiserListKind::Stop));

    // Clearing the slot from inside a traversal stops it safely.
    int seen = 0;
    EXPECT_FALSE(cv::TLemmatiser::Instance().TraverseStopsDoing(kTool, [&](const QString& line, int) {
        ++seen;
        EXPECT_FALSE(line.isEmpty());
        cv::ClearOne(kTool, TLemmatiserListKind::Stop);
        return true;
    }));
    EXPECT_EQ(seen, 1);
}

TEST_F(Lemmatiser, CustomSeparatorsAndCommentMark)
{
    TListSettingsRec s = TListSettingsRec::Defaults();
    s.SetLemmaSeparator(QStringLiteral("="));
    s.SetFormSeparator(QStringLiteral(";"));
    s.SetCommentStart(QStringLiteral("#"));
    const QString name = dir.write(QStringLiteral("c.txt"), QByteArrayLiteral("# comment\nmouse = mice; mouses\n// not a comment = x\n"));
    ASSERT_EQ(load(TLemmatiserListKind::Lemma, name, s), 2);
    EXPECT_EQ(lem().LemmaVariantsOf(kTool, QStringLiteral("Mouse")), (QStringList{"mice", "mouses"}));
    EXPECT_EQ(lem().LemmaHeadWords(kTool, 1), QStringLiteral("// not a comment"));
}

TEST(TextCodec, DetectionAndCodePages)
{
    using cv::TTextEncoding;
    EXPECT_EQ(cv::DetectTextEncoding("plain"), TTextEncoding::Ascii);
    EXPECT_EQ(cv::DetectTextEncoding("caf\xc3\xa9"), TTextEncoding::Utf8);
    EXPECT_EQ(cv::DetectTextEncoding("caf\xe9"), TTextEncoding::CodePage);
    EXPECT_EQ(cv::DetectTextEncoding(QByteArrayLiteral("a\0b\0c\0")), TTextEncoding::Utf16LE);
    EXPECT_EQ(cv::DetectTextEncoding(QByteArrayLiteral("\0a\0b\0c")), TTextEncoding::Utf16BE);
    EXPECT_FALSE(cv::IsValidUtf8("\xc0\xaf")) << "overlong";
    EXPECT_FALSE(cv::IsValidUtf8("\xed\xa0\x80")) << "surrogate";
    EXPECT_FALSE(cv::IsValidUtf8("\xe2\x82")) << "truncated";
    EXPECT_TRUE(cv::IsValidUtf8("\xf0\x9f\x98\x80"));
    EXPECT_EQ(cv::DecodeCodePage("\x80\x9c", 1252), QString::fromUtf8("€œ"));
    EXPECT_EQ(cv::DecodeText(QByteArrayLiteral("\xff\xfe" "a\0"), 1252), QStringLiteral("a"));
    EXPECT_EQ(cv::LCIDToCodePage(0x0809), 1252u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0419), 1251u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0408), 1253u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0415), 1250u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0C1A), 1251u) << "Serbian Cyrillic";
    EXPECT_EQ(cv::LCIDToCodePage(0x081A), 1250u) << "Serbian Latin";
    EXPECT_EQ(cv::LCIDToCodePage(0x0804), 936u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0404), 950u);
    EXPECT_EQ(cv::LCIDToCodePage(0x0411), 932u);
}
