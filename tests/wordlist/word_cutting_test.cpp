// Words cut out of small texts, with every count worked out by hand.

#include "textread/class_array.h"
#include "textread/tag_handler.h"
#include "wordlist/word_folding.h"
#include "wordlist/wordlist_buffer_processor.h"
#include "wordlist_testutil.h"

#include <map>
#include <random>

using namespace cv;
using namespace wordlist_test;

namespace {

class WordCutting : public WordlistTest {};

TEST_F(WordCutting, DefaultsFoldCaseKeepApostrophesAndHyphensDropNumbers)
{
    // the x2, cat's, hat, cat-flap, cats; "3" is a number; "'tis" and "dogs'"
    // lose the apostrophe at their edges; "--" joins nothing.
    auto doc = MakeOne(QStringLiteral("The cat's hat. THE Cat-flap 3 cats\n'tis dogs' a--b -well-\n"));
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "the"), 2);
    EXPECT_EQ(Freq(l, "cat's"), 1);
    EXPECT_EQ(Freq(l, "cat-flap"), 1);
    EXPECT_EQ(Freq(l, "tis"), 1);
    EXPECT_EQ(Freq(l, "dogs"), 1);
    EXPECT_EQ(Freq(l, "a"), 1);
    EXPECT_EQ(Freq(l, "b"), 1);
    EXPECT_EQ(Freq(l, "well"), 1);
    EXPECT_EQ(Freq(l, "3"), -1);
    EXPECT_EQ(Freq(l, "The"), -1);
    EXPECT_EQ(l.Count(), 10);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 11);
    EXPECT_EQ(s.TokensUsed, 11);
    EXPECT_EQ(s.NumbersRemoved, 1);
    EXPECT_EQ(s.Types, 10);
    EXPECT_EQ(SumOfFrequencies(l), s.TokensUsed);
}

TEST_F(WordCutting, ApostrophesAndHyphensAsSet)
{
    TTextSettings t = Settings();
    t.SetApostrophesInWords(false);
    t.SetHyphensSeparateWords(true);
    Use(t);
    auto doc = MakeOne(QStringLiteral("the cat's cat-flap"));
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "cat"), 2);
    EXPECT_EQ(Freq(l, "s"), 1);
    EXPECT_EQ(Freq(l, "flap"), 1);
    EXPECT_EQ(Freq(l, "cat's"), -1);
    EXPECT_EQ(l.Count(), 4);
}

TEST_F(WordCutting, NumbersKeptAsWholeNumbers)
{
    TTextSettings t = Settings();
    t.SetKeepNumbers(true);
    Use(t);
    // 3.5 and 1,000 stay one word each; "mp3" has a letter and is kept either way.
    auto doc = MakeOne(QStringLiteral("pay 3.5 or 1,000 for mp3 3"));
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "3.5"), 1);
    EXPECT_EQ(Freq(l, "1,000"), 1);
    EXPECT_EQ(Freq(l, "3"), 1);
    EXPECT_EQ(Freq(l, "mp3"), 1);
    EXPECT_EQ(doc->fStats->Row(1)->Data().NumbersRemoved, 0);
    EXPECT_EQ(doc->fStats->Row(1)->Data().TokensInText, 7);
}

TEST_F(WordCutting, OnlyDotAndCommaJoinDigits)
{
    // "?" and "!" between digits end one number and start the next: "680?0"
    // is 680 and 0, never a type of its own, kept or not.
    const QString text = QStringLiteral("680?0 5!5 3.5 1,000 the end");
    auto dropped = MakeOne(text);
    EXPECT_EQ(List(*dropped).Count(), 2);
    EXPECT_EQ(dropped->fStats->Row(1)->Data().NumbersRemoved, 6);
    TTextSettings t = Settings();
    t.SetKeepNumbers(true);
    Use(t);
    auto kept = MakeOne(text);
    const TCVWordList& l = List(*kept);
    EXPECT_EQ(Freq(l, "680?0"), -1);
    EXPECT_EQ(Freq(l, "5!5"), -1);
    EXPECT_EQ(Freq(l, "680"), 1);
    EXPECT_EQ(Freq(l, "0"), 1);
    EXPECT_EQ(Freq(l, "5"), 2);
    EXPECT_EQ(Freq(l, "3.5"), 1);
    EXPECT_EQ(Freq(l, "1,000"), 1);
    EXPECT_EQ(kept->fStats->Row(1)->Data().TokensInText, 8);
    // No sentence ends between digits with no blank after the mark.
    EXPECT_EQ(kept->fStats->Row(1)->Data().Sentences, 1);
}

TEST_F(WordCutting, CaseKeptOrFoldedUp)
{
    TTextSettings t = Settings();
    t.SetCaseFolding(TCaseFolding::Keep);
    Use(t);
    auto kept = MakeOne(QStringLiteral("The the THE Été été"));
    EXPECT_EQ(Freq(List(*kept), "The"), 1);
    EXPECT_EQ(Freq(List(*kept), "the"), 1);
    EXPECT_EQ(Freq(List(*kept), "THE"), 1);
    EXPECT_EQ(Freq(List(*kept), QStringLiteral("Été")), 1);

    t.SetCaseFolding(TCaseFolding::Upper);
    Use(t);
    auto upper = MakeOne(QStringLiteral("The the THE Été été"));
    EXPECT_EQ(Freq(List(*upper), "THE"), 3);
    EXPECT_EQ(Freq(List(*upper), QStringLiteral("ÉTÉ")), 2);
    EXPECT_EQ(List(*upper).Count(), 2);
}

TEST_F(WordCutting, LettersOfAnyScriptAndLongWordsFoldAlike)
{
    // Greek, Cyrillic, a letter outside the Basic Multilingual Plane (Deseret
    // capital and small long I: U+10400 / U+10428), and words longer than
    // the eight units kept inline with a type.
    const QString deseretCapital = QString::fromUcs4(U"\U00010400");
    const QString deseretSmall = QString::fromUcs4(U"\U00010428");
    auto doc = MakeOne(QStringLiteral("ΛΟΓΟΙ λόγος λογοι Москва москва ") + deseretCapital + QLatin1Char(' ')
                       + deseretSmall + QStringLiteral(" internationalisation INTERNATIONALISATION internationalised"));
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, QStringLiteral("λογοι")), 2);
    EXPECT_EQ(Freq(l, QStringLiteral("λόγος")), 1);
    EXPECT_EQ(Freq(l, QStringLiteral("москва")), 2);
    EXPECT_EQ(Freq(l, deseretSmall), 2);
    EXPECT_EQ(Freq(l, "internationalisation"), 2);
    EXPECT_EQ(Freq(l, "internationalised"), 1);
    // The supplementary letter is one character long.
    EXPECT_EQ(doc->fStats->Row(1)->Data().WordsOfLength[0], 2);
}

TEST_F(WordCutting, TurkishDottedAndDotlessI)
{
    TTextSettings t = Settings();
    t.SetLanguageId(0x041F);
    t.SetCollationName(QStringLiteral("tr_TR"));
    Use(t);
    auto doc = MakeOne(QStringLiteral("ISTANBUL İzmir ıstanbul"));
    EXPECT_EQ(Freq(List(*doc), QStringLiteral("ıstanbul")), 2);
    EXPECT_EQ(Freq(List(*doc), QStringLiteral("izmir")), 1);
    TWordFolder folder(TCaseFolding::Lower, 0x0809);
    EXPECT_EQ(folder.Folded(QStringLiteral("ISTANBUL")), QStringLiteral("istanbul"));
}

TEST_F(WordCutting, MarkupIgnoredOrPlainAndEntities)
{
    auto ignored = MakeOne(QStringLiteral("<p class=x>Caf&eacute; &amp; bar</p>"));
    EXPECT_EQ(Freq(List(*ignored), QStringLiteral("café")), 1);
    EXPECT_EQ(Freq(List(*ignored), "bar"), 1);
    EXPECT_EQ(Freq(List(*ignored), "p"), -1);
    EXPECT_EQ(List(*ignored).Count(), 2);

    TTextSettings t = Settings();
    t.SetMarkupMode(TMarkupMode::Plain);
    t.SetTranslateEntities(false);
    Use(t);
    auto plain = MakeOne(QStringLiteral("<p class=x>Caf&eacute; &amp; bar</p>"));
    const TCVWordList& l = List(*plain);
    EXPECT_EQ(Freq(l, "p"), 2);
    EXPECT_EQ(Freq(l, "class"), 1);
    EXPECT_EQ(Freq(l, "x"), 1);
    EXPECT_EQ(Freq(l, "caf"), 1);
    EXPECT_EQ(Freq(l, "eacute"), 1);
    EXPECT_EQ(Freq(l, "amp"), 1);
    EXPECT_EQ(Freq(l, "bar"), 1);
}

TEST_F(WordCutting, ListedTagsMakeTaggedEntriesWhenTagsShow)
{
    TTextSettings t = Settings();
    t.SetTagDisplay(1);
    Use(t);
    TTextTagHandler tags(t.LanguageId(), t.CodePage(), TTagOptions::FromSettings(t));
    TStoredTagRec nn, vb;
    nn.tag = QStringLiteral("<w NN>");
    vb.tag = QStringLiteral("<w VB>");
    ASSERT_TRUE(tags.AddTagfileTag(nn));
    ASSERT_TRUE(tags.AddTagfileTag(vb));
    auto doc = MakeOne(QStringLiteral("<w NN>book <w VB>book <w NN>book <x>plain"), &tags);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "book", "<w NN>"), 2);
    EXPECT_EQ(Freq(l, "book", "<w VB>"), 1);
    EXPECT_EQ(Freq(l, "plain"), 1);
    const int i = l.FindWordAndTag("book", "<w VB>");
    EXPECT_EQ(l.DisplayedWord(i), QStringLiteral("<w VB>book"));

    // Hidden tags: the word alone counts.
    t.SetTagDisplay(0);
    Use(t);
    auto hidden = MakeOne(QStringLiteral("<w NN>book <w VB>book <w NN>book"), &tags);
    EXPECT_EQ(Freq(List(*hidden), "book"), 3);
    EXPECT_EQ(List(*hidden).Count(), 1);
}

TEST_F(WordCutting, WordLengthLimits)
{
    TTextSettings t = Settings();
    t.SetMinWordLength(2);
    t.SetMaxWordLength(3);
    Use(t);
    auto doc = MakeOne(QStringLiteral("a an the cats an"));
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "an"), 2);
    EXPECT_EQ(Freq(l, "the"), 1);
    EXPECT_EQ(Freq(l, "a"), -1);
    EXPECT_EQ(Freq(l, "cats"), -1);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 5); // still running words of the text
    EXPECT_EQ(s.TokensUsed, 3);
}

TEST_F(WordCutting, AWordLongerThanAChunkIsOneRunningWord)
{
    // Longer than the largest chunk a text is read in, and so than any
    // word may be: passed over once, neither a running word nor a type
    // (none of its pieces a word of its own).
    QByteArray giant = "before ";
    giant += QByteArray(TBufferProcessor::kMaxChunkChars + 300, 'w');
    giant += " after before";
    auto doc = Make({{QStringLiteral("giant.txt"), giant}});
    ASSERT_TRUE(made);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 3);
    EXPECT_EQ(s.TokensUsed, 3);
    EXPECT_EQ(doc->TextNotes().size(), 1);
    EXPECT_EQ(Freq(List(*doc), "before"), 2);
    EXPECT_EQ(List(*doc).Count(), 2);
}

TEST_F(WordCutting, JoinersBetweenEmojiMakeNoWord)
{
    auto doc = MakeOne(QStringLiteral("we \U0001F468\u200D\U0001F469\u200D\U0001F467 are \u200C three \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"));
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(doc->fStats->Row(1)->Data().TokensInText, 4);
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(Freq(l, "\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"), 1);
}

TEST_F(WordCutting, StopListRemovesAndCountsTokensAndTypes)
{
    LoadList(TLemmatiserListKind::Stop, QStringLiteral("the\na\n"));
    auto doc = Make({{QStringLiteral("t.txt"), QByteArray("The cat and a dog. The end, a the")}}, nullptr, false, true);
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(Freq(l, "the"), -1);
    EXPECT_EQ(Freq(l, "a"), -1);
    EXPECT_EQ(Freq(l, "cat"), 1);
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, 9);
    EXPECT_EQ(s.StopTokensRemoved, 5);
    EXPECT_EQ(s.StopTypesRemoved, 2);
    EXPECT_EQ(s.TokensUsed, 4);
    EXPECT_EQ(SumOfFrequencies(l), 4);
    EXPECT_EQ(doc->fStats->Row(0)->Data().StopTypesRemoved, 2);

    // Without the stop-list flag the list is not applied.
    auto all = Make({{QStringLiteral("t.txt"), QByteArray("The cat and a dog.")}});
    EXPECT_EQ(Freq(List(*all), "the"), 1);
}

TEST_F(WordCutting, LemmaListJoinsFormsUnderHeadWords)
{
    LoadList(TLemmatiserListKind::Lemma, QStringLiteral("be -> is, was, are\ngo -> went\n"));
    auto doc = Make({{QStringLiteral("t.txt"), QByteArray("to be or not to be, it is and was; went home")}}, nullptr, true);
    const TCVWordList& l = List(*doc);
    const int be = l.FindWordAndTag("be", QString());
    ASSERT_GE(be, 0);
    EXPECT_EQ(l.Entry(be).JoinedCount(), 2); // is, was (are is absent)
    EXPECT_EQ(l.CorrectFreq(be, false), 2);
    EXPECT_EQ(l.CorrectFreq(be, true), 4);
    // "go" is not in the text: it gets an entry of its own (in no text),
    // and "went" is joined under it.
    EXPECT_EQ(l.FindWordAndTag("went", QString()), -1);
    const int go = l.FindWordAndTag("go", QString());
    ASSERT_GE(go, 0);
    EXPECT_EQ(l.CorrectFreq(go, false), 0);
    EXPECT_EQ(l.CorrectFreq(go, true), 1);
    EXPECT_EQ(l.Entry(go).JoinedCount(), 1);
    EXPECT_EQ(l.FindWordAndTag("is", QString()), -1); // joined: no longer a row
    TDrawgridDataRec rec;
    l.DrawgridDataRec(be, TCVWordList::kColLemmas, TCVWordList::kDisplayAlphabetical, rec);
    EXPECT_EQ(rec.text, QStringLiteral("is[1] was[1]"));
    EXPECT_EQ(l.ComputedCurrentTokens(), 12);
}

TEST_F(WordCutting, WordsAndBoundariesAtEveryPlaceOfALongText)
{
    // A text long enough to be cut a stretch at a time: words of every
    // length from one to fourteen units fall across the stretches' edges at
    // every offset, sentence ends just before and after them, and one word
    // runs over several stretches (no longest word length set).
    TTextSettings t = Settings();
    t.SetMaxWordLength(0);
    Use(t);
    const QString letters = QStringLiteral("abcdefghijklmn");
    QString text;
    std::map<QString, int64_t> expected;
    int64_t words = 0, sentences = 0;
    for (int i = 0; i < 2000; ++i) {
        const QString w = letters.left(1 + (i * 5) % 14);
        // A sentence ends where a capital follows its full stop.
        text += i % 7 == 0 ? w.left(1).toUpper() + w.mid(1) : w;
        ++expected[w];
        ++words;
        if (i % 7 == 6) {
            text += QStringLiteral(". ");
            ++sentences;
        } else {
            text += i % 3 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        }
        if (i == 1001) {
            const QString longWord(5000, QLatin1Char('z'));
            text += longWord + QLatin1Char(' ');
            ++expected[longWord];
            ++words;
        }
    }
    text += QStringLiteral("end.\n");
    ++expected[QStringLiteral("end")];
    ++words;
    ++sentences;
    auto doc = MakeOne(text);
    ASSERT_TRUE(made);
    const TCVWordList& l = List(*doc);
    EXPECT_EQ(l.Count(), int(expected.size()));
    for (const auto& [w, n] : expected)
        EXPECT_EQ(Freq(l, w), n) << w.left(20).toStdString();
    const TStatsRec& s = doc->fStats->Row(1)->Data();
    EXPECT_EQ(s.TokensInText, words);
    EXPECT_EQ(s.Sentences, sentences);
}

TEST(WordCuttingMasks, EveryFormMarksTheSameWordUnitsBoundariesAndListedTags)
{
    // Class units of every code, with flags, and tag units with and without
    // a number, in random blocks: the masks of each form (the AVX-512 one
    // only where the processor has it) against the rule unit by unit.
    std::mt19937 rng(20261207);
    constexpr int32_t kBlocks = 40;
    std::vector<uint16_t> units(std::size_t(kBlocks) * 64);
    for (uint16_t& v : units) {
        const uint32_t r = rng();
        const uint16_t high = uint16_t((r >> 16) & 0xF000);
        if (r % 5 == 0)
            v = uint16_t(kTagBit | (r % 3 == 0 ? 0 : (r >> 3) & kTagNumberMask) | high);
        else
            v = uint16_t(((r >> 3) % 32) | (r & 0x07E0) | high);
    }
    std::vector<uint64_t> word(kBlocks), special(kBlocks);
    for (const bool widest : {false, true}) {
        WordAndSpecialMasks(units.data(), kBlocks, word.data(), special.data(), widest);
        for (std::size_t i = 0; i < units.size(); ++i) {
            const uint16_t v = units[i];
            const bool tag = (v & kTagBit) != 0;
            const uint16_t code = v & kClassCodeMask;
            const bool isWord = !tag && (code == kClassLetter || code == kClassDigit || code == kClassApostrophe
                                         || code == kClassHyphen || code == kClassNumberJoiner);
            const bool isSpecial = tag ? (v & kTagNumberMask) != 0 : code >= kClassSentenceEnd;
            ASSERT_EQ(((word[i / 64] >> (i % 64)) & 1u) != 0, isWord) << "unit " << i << " = " << v << ", widest " << widest;
            ASSERT_EQ(((special[i / 64] >> (i % 64)) & 1u) != 0, isSpecial) << "unit " << i << " = " << v << ", widest " << widest;
        }
    }
}

} // namespace
