// The classifier's roads: stretches of ASCII in blocks of 64 units (with
// SSE2, and with AVX2 or AVX-512 where the processor has it, which also
// settle sentence ends and line breaks in the block), and every unit on its
// own.
// All must give the same class array, the same counts and the same section
// starts for any text, cut into chunks anywhere, under any settings.

#include "textread_testutil.h"

#include "textread/text_classifier.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace cv;

struct Classified {
    std::vector<uint16_t> classes;
    std::vector<int32_t> sections;
    std::vector<TOneFilesStats> stats;
};

enum class Road { UnitByUnit, Blocks, WideBlocks, WidestBlocks };

Classified classify(const TTextSettings& settings, const std::u16string& text, const std::vector<std::size_t>& cuts,
                    Road road)
{
    TTextTagHandler handler(settings.LanguageId(), settings.CodePage(), TTagOptions::FromSettings(settings));
    TTextClassifier c(settings, handler, true);
    const bool blocks = road != Road::UnitByUnit;
    c.SetAsciiBlocks(blocks);
    EXPECT_EQ(c.AsciiBlocks(), blocks);
    c.SetWideBlocks(road == Road::WideBlocks || road == Road::WidestBlocks);
    c.SetWidestBlocks(road == Road::WidestBlocks);
    c.StartText();
    Classified out;
    out.classes.assign(text.size() + 1, 0xEEEE);
    std::size_t from = 0;
    for (std::size_t k = 0; k <= cuts.size(); ++k) {
        const std::size_t to = k < cuts.size() ? cuts[k] : text.size();
        const std::u16string_view all(text);
        std::vector<int32_t> sections;
        TOneFilesStats st;
        c.Classify(all.substr(from, to - from), all.substr(to), to == text.size(), nullptr, {},
                   out.classes.data() + from, sections, st);
        for (int32_t s : sections)
            out.sections.push_back(int32_t(from) + s);
        out.stats.push_back(st);
        from = to;
    }
    return out;
}

void expectSame(const Classified& a, const Classified& b, const std::u16string& text)
{
    ASSERT_EQ(a.classes.size(), b.classes.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        ASSERT_EQ(a.classes[i], b.classes[i]) << "unit " << i << " of \"" << qPrintable(textread_test::q(text)) << "\"";
    EXPECT_EQ(a.sections, b.sections);
    ASSERT_EQ(a.stats.size(), b.stats.size());
    for (std::size_t k = 0; k < a.stats.size(); ++k) {
        EXPECT_EQ(a.stats[k].Words, b.stats[k].Words) << "chunk " << k;
        EXPECT_EQ(a.stats[k].Sentences, b.stats[k].Sentences) << "chunk " << k;
        EXPECT_EQ(a.stats[k].Paragraphs, b.stats[k].Paragraphs) << "chunk " << k;
        EXPECT_EQ(a.stats[k].Headings, b.stats[k].Headings) << "chunk " << k;
        EXPECT_EQ(a.stats[k].Sections, b.stats[k].Sections) << "chunk " << k;
        EXPECT_EQ(a.stats[k].Tags, b.stats[k].Tags) << "chunk " << k;
    }
}

// A text of pieces that touch every rule: words in both cases, numbers with
// joiners, apostrophes and hyphens, blanks of several kinds, line breaks,
// sentence ends, letters of other scripts and beyond the BMP, tags.
std::u16string randomText(std::mt19937& rng, std::size_t pieces)
{
    static const char16_t* const kPieces[] = {
        u"the", u"House", u"AND", u"x", u"abcdefghijklmnopqrstuvwxyz", u"Zebra", u"1999", u"3.5", u"1,000", u"7",
        u"a1b2", u"it's", u"don\u2019t", u"well-known", u"-", u"'", u"''", u"--", u" ", u"  ", u"\t", u"\n", u"\r\n",
        u"\n\n", u" \n", u".", u"!", u"?", u"...", u",", u";", u"\"", u"(", u")", u"caf\u00e9", u"\u00dcber",
        u"\u043c\u0438\u0440", u"\u8a9e", u"\U0001D538x", u"\u00a0", u"\u2029", u"\x19" u"b\x18", u"\x19/b\x18",
        u"\x19head\x18", u"\x19/head\x18", u"\x19" u"a", u"\x18", u"#", u"_", u"@", u"\u00ad", u"\x7f", u"\u0301",
    };
    constexpr std::size_t kCount = sizeof(kPieces) / sizeof(kPieces[0]);
    std::uniform_int_distribution<std::size_t> pick(0, kCount - 1);
    std::u16string t;
    for (std::size_t k = 0; k < pieces; ++k) {
        // Mostly plain words and blanks, as in running text.
        const std::size_t p = rng() % 3 == 0 ? pick(rng) : rng() % 9;
        t += kPieces[p];
        if (rng() % 2)
            t += u' ';
    }
    return t;
}

std::vector<TTextSettings> settingsToTry()
{
    std::vector<TTextSettings> all;
    TTextSettings s = TTextSettings::Defaults();
    all.push_back(s);
    s.SetKeepNumbers(true);
    all.push_back(s);
    s.SetApostrophesInWords(false);
    s.SetHyphensSeparateWords(true);
    s.SetBlankLineEndsParagraph(true);
    all.push_back(s);
    s = TTextSettings::Defaults();
    s.SetSectionStartMarker(QStringLiteral("The"));
    s.SetExtraWordCharacters(QStringLiteral("_#"));
    s.SetSentenceEndCharacters(QStringLiteral(".;"));
    all.push_back(s);
    // More marks of other kinds than the SSE2 blocks can stop at one by one.
    s = TTextSettings::Defaults();
    s.SetSentenceEndCharacters(QStringLiteral(".!?;:"));
    s.SetExtraWordCharacters(QStringLiteral("_#@"));
    all.push_back(s);
    return all;
}

// Every road against unit by unit (the wide ones only where the processor has AVX2, AVX-512).
void expectSameOnEveryRoad(const TTextSettings& settings, const std::u16string& text, const std::vector<std::size_t>& cuts)
{
    const Classified reference = classify(settings, text, cuts, Road::UnitByUnit);
    for (const Road road : {Road::Blocks, Road::WideBlocks, Road::WidestBlocks}) {
        expectSame(classify(settings, text, cuts, road), reference, text);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(TextClassifierRoads, AsciiBlocksGiveWhatUnitByUnitGives)
{
    std::mt19937 rng(12345);
    for (const TTextSettings& settings : settingsToTry()) {
        for (int round = 0; round < 60; ++round) {
            const std::u16string text = randomText(rng, 20 + rng() % 400);
            std::vector<std::size_t> cuts;
            if (round % 3 != 0) {
                std::uniform_int_distribution<std::size_t> at(1, std::max<std::size_t>(1, text.size() - 1));
                for (int k = 0; k < 3; ++k)
                    cuts.push_back(at(rng));
                std::sort(cuts.begin(), cuts.end());
                cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
                if (!cuts.empty() && cuts.back() >= text.size())
                    cuts.pop_back();
            }
            expectSameOnEveryRoad(settings, text, cuts);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(TextClassifierRoads, LongStretchesAndEveryBlockEdge)
{
    // Words ending at a block's last lanes, runs of digits across
    // blocks, a word going on over several blocks, blanks only.
    const TTextSettings settings = TTextSettings::Defaults();
    const std::u16string texts[] = {
        u"abcdefghijklmno pqrstuvwxyzabcde fghij",
        u"123456789012345 6789012345678901 234 abc 1234567890123456789012345678901234567890x",
        u"supercalifragilisticexpialidocious antidisestablishmentarianism x",
        std::u16string(100, u' ') + u"A" + std::u16string(40, u' '),
        u"x y z 1 2 3 a1 1a 11 aa. Bb 22 cc, dd' ee-ff gg\u00e9hh ii\tjj kk\nLl mm",
        u"The 1st 2nd 3rd and 100 200 300 4000 50000 words 1 a 2 b 3 c 4 d 5 e 6 f 7 g 8 h 9 i",
    };
    for (const std::u16string& one : texts) {
        // Three times over, to fill blocks of 64 units.
        const std::u16string text = one + u' ' + one + u"  " + one;
        for (std::size_t cut = 0; cut < std::min<std::size_t>(text.size(), 70); ++cut) {
            std::vector<std::size_t> cuts;
            if (cut > 0)
                cuts.push_back(cut);
            expectSameOnEveryRoad(settings, text, cuts);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(TextClassifierRoads, SentenceEndsAndLineBreaksAtEveryPlaceOfABlock)
{
    // Each piece slides over the lanes of two blocks: a sentence end waiting
    // for the next word at the block's end, a line break in its last lane,
    // a sentence end between digits across the edge.
    const std::u16string pieces[] = {
        u"He said. Then he",  u"e.g. this is", u"3.5. And 1.5.2 x", u"end.\nNext",      u"x!\nY z",
        u"Mr. Brown came",   u"? ? A", u"so... Then",      u"one.\"Two\" three", u"so.\n\nNew one",
        u"x.\r\nY",          u"1.\n2.", u"word.  \tNext",   u"a.\n.\nB",          u"(It is.) She",
        u"no. no. No. 7.",   u"\n\n\n", u"Him.\x19p\x18Her", u"caf\u00e9. \u00c9t\u00e9", u"x. '",
        u"don't", u"well-known", u"1,000", u"3.5", u"a'-b", u"7-up", u"rock'n'roll",
    };
    for (const TTextSettings& settings : settingsToTry()) {
        for (const std::u16string& piece : pieces) {
            for (std::size_t k = 0; k < 140; ++k) {
                std::u16string text(k, u'a');
                for (std::size_t j = 4; j < k; j += 7)
                    text[j] = u' ';
                text += piece;
                text += u" tail words to fill another block of units, and then one more block of sixty-four";
                expectSameOnEveryRoad(settings, text, {});
                if (HasFatalFailure())
                    return;
                if (k % 9 == 0)
                    expectSameOnEveryRoad(settings, text, {k + 2});
                if (HasFatalFailure())
                    return;
            }
        }
    }
}

TEST(TextClassifierRoads, RandomProse)
{
    // Lines of words in both cases with the usual punctuation, numbers and
    // now and then a letter beyond ASCII, cut into chunks anywhere.
    std::mt19937 rng(777);
    static const char16_t* const kMarks[] = {u".", u",", u"!", u"?", u";", u":", u"'", u"\"", u"-", u"(", u")", u"...", u"\u2019"};
    auto word = [&] {
        std::u16string w;
        const std::size_t n = 1 + rng() % 9;
        const int shape = int(rng() % 10);
        for (std::size_t k = 0; k < n; ++k) {
            if (shape == 0)
                w += char16_t(u'0' + rng() % 10);
            else
                w += char16_t(((k == 0 && shape < 4) || shape == 9 ? u'A' : u'a') + rng() % 26);
        }
        if (rng() % 40 == 0)
            w += u'\u00e9';
        return w;
    };
    for (const TTextSettings& settings : settingsToTry()) {
        for (int round = 0; round < 25; ++round) {
            std::u16string text;
            while (text.size() < 1500) {
                text += word();
                const int r = int(rng() % 12);
                if (r < 3)
                    text += kMarks[rng() % (sizeof(kMarks) / sizeof(kMarks[0]))];
                text += rng() % 15 == 0 ? u"\n" : rng() % 30 == 0 ? u"  " : u" ";
            }
            std::vector<std::size_t> cuts;
            for (int k = 0; k < int(round % 4); ++k)
                cuts.push_back(1 + rng() % (text.size() - 1));
            std::sort(cuts.begin(), cuts.end());
            cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
            expectSameOnEveryRoad(settings, text, cuts);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(TextClassifierRoads, WordsAreCountedAsTheRulesSay)
{
    // A count worked out by hand: numbers are no running words unless kept.
    TTextSettings settings = TTextSettings::Defaults();
    const std::u16string text = u"Twenty 20 words; a1 counts, 1999 does not and 3.5 neither but it's one  ";
    auto words = [&](bool blocks) {
        int32_t n = 0;
        for (const TOneFilesStats& s : classify(settings, text, {}, blocks ? Road::WideBlocks : Road::UnitByUnit).stats)
            n += s.Words;
        return n;
    };
    EXPECT_EQ(words(true), 11);
    EXPECT_EQ(words(false), 11);
    settings.SetKeepNumbers(true);
    EXPECT_EQ(words(true), 14);
}

} // namespace

namespace {

// The words of a class array, as text.
std::vector<std::u16string> wordsOf(const std::u16string& text, const std::vector<uint16_t>& classes)
{
    std::vector<std::u16string> out;
    int32_t pos = 0;
    TScannedWord w;
    while (NextWord({classes.data(), text.size()}, pos, w))
        out.emplace_back(text.substr(std::size_t(w.start), std::size_t(w.length)));
    return out;
}

TEST(TextClassifierRoads, OnlyDotAndCommaJoinDigits)
{
    // Long enough for the blocks, with the marks at several places of one.
    std::u16string text;
    for (int k = 0; k < 12; ++k)
        text += u"680?0 5!5 3.5 1,000 x ";
    for (const bool keep : {false, true}) {
        TTextSettings settings = TTextSettings::Defaults();
        settings.SetKeepNumbers(keep);
        for (const Road road : {Road::UnitByUnit, Road::Blocks, Road::WideBlocks, Road::WidestBlocks}) {
            const Classified got = classify(settings, text, {}, road);
            const std::vector<std::u16string> words = wordsOf(text, got.classes);
            ASSERT_EQ(words.size(), 12u * 7) << int(road);
            EXPECT_EQ(std::vector<std::u16string>(words.begin(), words.begin() + 7),
                      (std::vector<std::u16string>{u"680", u"0", u"5", u"5", u"3.5", u"1,000", u"x"}))
                << int(road);
            int32_t counted = 0, sentences = 0;
            for (const TOneFilesStats& s : got.stats) {
                counted += s.Words;
                sentences += s.Sentences;
            }
            EXPECT_EQ(counted, keep ? 12 * 7 : 12) << int(road);
            EXPECT_EQ(sentences, 1) << int(road);
        }
        expectSameOnEveryRoad(settings, text, {5, 64, 130});
    }
}

TEST(TextClassifierRoads, JoinersAreLettersOnlyBetweenLetters)
{
    const TTextSettings settings = TTextSettings::Defaults();
    struct Case {
        std::u16string text;
        std::vector<std::u16string> words;
    };
    const std::vector<Case> cases = {
        // Between letters (Persian ZWNJ, Devanagari ZWJ after a virama): inside the word.
        {u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645 x", {u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645", u"x"}},
        {u"\u0915\u094D\u200D\u0937 end", {u"\u0915\u094D\u200D\u0937", u"end"}},
        // Between emoji, alone, at a word's edge: no word, no part of one.
        {u"I \U0001F468\u200D\U0001F469 you", {u"I", u"you"}},
        {u"a \u200D b", {u"a", u"b"}},
        {u"word\u200D \u200Cnext", {u"word", u"next"}},
        {u"\u200D\u200C", {}},
    };
    for (const Case& c : cases)
        for (const Road road : {Road::UnitByUnit, Road::Blocks, Road::WideBlocks}) {
            const Classified got = classify(settings, c.text, {}, road);
            EXPECT_EQ(wordsOf(c.text, got.classes), c.words) << int(road);
            int32_t counted = 0;
            for (const TOneFilesStats& s : got.stats)
                counted += s.Words;
            EXPECT_EQ(counted, int32_t(c.words.size()));
        }
}

} // namespace
