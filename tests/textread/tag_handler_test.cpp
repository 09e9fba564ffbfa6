#include "textread/tag_handler.h"

#include "suite/cv_stream.h"
#include "textread_testutil.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace cv;
using namespace textread_test;

namespace {

TTextTagHandler handlerFor(TMarkupMode mode = TMarkupMode::TagRules)
{
    TTextSettings s = TTextSettings::Defaults();
    s.SetMarkupMode(mode);
    return TTextTagHandler(s.LanguageId(), s.CodePage(), TTagOptions::FromSettings(s));
}

} // namespace

TEST(TagHandler, KeepListGivesNumbersColoursAndPartners)
{
    cvtest::TempDir dir;
    // Saved by an editor as UTF-8 with a byte-order mark, with comments and a blank line.
    dir.write(QLatin1String(kTagsToKeepFile),
              QByteArray("\xEF\xBB\xBF# tags we show\n"
                         "<head>\tHeading\t#FF0000\t#00FF00\n"
                         "</head>\n"
                         "\n"
                         "<w *>\tWord class\t\t\tstringonly\n"
                         "<audio>\tSound\t255\t0x00FFFFFF\tmedia\n"
                         "not a tag\n"));
    dir.write(QLatin1String(kTagsToExcludeFile), utf16(QStringLiteral("<script>\t</script>\r\n<br/>\r\n"), false, true));
    TTextTagHandler h = handlerFor();
    ASSERT_TRUE(h.LoadTagLists(dir.path()));
    ASSERT_EQ(h.TagfileTags().size(), 4u);
    const TStoredTagRec& head = h.TagfileTags()[0].stored;
    EXPECT_EQ(head.tag, QStringLiteral("<head>"));
    EXPECT_EQ(head.description, QStringLiteral("Heading"));
    EXPECT_EQ(head.foreground_colour, 0x000000FF) << "#RRGGBB becomes a Windows colour value";
    EXPECT_EQ(head.background_colour, 0x0000FF00);
    EXPECT_EQ(head.tag_type, TTag_OnOffUnique::on_tag);
    EXPECT_EQ(head.partner, 2);
    EXPECT_EQ(h.TagfileTags()[1].stored.tag_type, TTag_OnOffUnique::off_tag);
    EXPECT_EQ(h.TagfileTags()[1].stored.partner, 1);
    EXPECT_EQ(h.TagfileTags()[2].stored.tag_type, TTag_OnOffUnique::unique_tag);
    EXPECT_TRUE(h.TagfileTags()[2].stored.added.isTagForTagStringOnlyDisplay);
    EXPECT_EQ(h.TagfileTags()[2].stored.foreground_colour, kDefaultTagForeground);
    EXPECT_TRUE(h.TagfileTags()[3].stored.isMediaTag);
    EXPECT_EQ(h.TagfileTags()[3].stored.foreground_colour, 255);
    EXPECT_EQ(h.TagfileTags()[3].stored.background_colour, 0x00FFFFFF);

    EXPECT_EQ(h.TagNumberOfInner(u"head"), 1);
    EXPECT_EQ(h.TagNumberOfInner(u"HEAD type=\"main\""), 1) << "a bare name matches any attributes";
    EXPECT_EQ(h.TagNumberOfInner(u"/head"), 2);
    EXPECT_EQ(h.TagNumberOfInner(u"w NN1"), 3);
    EXPECT_EQ(h.TagNumberOfInner(u"w"), 0) << "\"<w *>\" wants something after the name";
    EXPECT_EQ(h.TagNumberOfInner(u"p"), 0);
    EXPECT_EQ(h.TagToDisplay(1), QStringLiteral("Heading"));
    EXPECT_EQ(h.TagToDisplay(2), QStringLiteral("</head>"));
    EXPECT_EQ(h.TagToDisplay(99), QString());
    EXPECT_TRUE(h.KeepsOrMarksTags());

    int rule = -1;
    const std::u16string* translation = nullptr;
    EXPECT_EQ(h.ActionForTag(u"script src=x", rule, translation), TTagAction::ExcludeSpan);
    EXPECT_TRUE(h.EndsExcludedSpan(rule, u"/SCRIPT"));
    EXPECT_FALSE(h.EndsExcludedSpan(rule, u"/p"));
    EXPECT_EQ(h.ActionForTag(u"br/", rule, translation), TTagAction::Exclude);
    EXPECT_EQ(h.ActionForTag(u"p", rule, translation), TTagAction::Keep);

    const std::vector<TStoredTagRec> stored = h.TagfileTagsAsStoredArray();
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0], head);
}

TEST(TagHandler, PatternsMatchNamesAttributesAndWildcards)
{
    TTagPattern p;
    ASSERT_TRUE(TTagPattern::Parse(u"<w NN>", p));
    char16_t scratch[64];
    auto matches = [&](std::u16string_view inner) { return p.Matches(TagNameOf(inner, scratch, 64), inner); };
    EXPECT_TRUE(matches(u"w  nn"));
    EXPECT_FALSE(matches(u"w NN1"));
    ASSERT_TRUE(TTagPattern::Parse(u" <*> ", p));
    EXPECT_TRUE(matches(u"anything at=all"));
    ASSERT_TRUE(TTagPattern::Parse(u"<!--*-->", p));
    EXPECT_TRUE(matches(u"!-- a note --"));
    EXPECT_FALSE(TTagPattern::Parse(u"<>", p));
    EXPECT_FALSE(TTagPattern::Parse(u"word", p));
    EXPECT_EQ(TagNameOf(u"/P class=x", scratch, 64), u"/p");
    EXPECT_EQ(TagNameOf(u"br/", scratch, 64), u"br");
    EXPECT_TRUE(WildcardMatch(u"a*c*", u"abxcyz"));
    EXPECT_FALSE(WildcardMatch(u"a*c", u"abxcyz"));
}

TEST(TagHandler, EntitiesBuiltInAndFromTheLists)
{
    TTagsToTranslateList list;
    EXPECT_EQ(list.EntityCount(), 253);
    std::u16string out;
    EXPECT_TRUE(list.TranslateEntity(u"eacute", out));
    EXPECT_EQ(out, u"\u00E9");
    EXPECT_TRUE(list.TranslateEntity(u"#x1F600", out));
    EXPECT_EQ(out, u"\U0001F600");
    EXPECT_TRUE(list.TranslateEntity(u"#55296", out)) << "a surrogate number is a character gone wrong";
    EXPECT_EQ(out, u"\uFFFD");
    EXPECT_FALSE(list.TranslateEntity(u"Eacutex", out));
    EXPECT_FALSE(list.TranslateEntity(u"#x", out));
    EXPECT_FALSE(list.TranslateEntity(u"#99999999999999999999", out));

    cvtest::TempDir dir;
    dir.write(QLatin1String(kHtmlEntitiesFile), "# extra entities\n&hellip;\tU+2026\nouml 246\nmyself\tThe Author\n");
    dir.write(QLatin1String(kEntityTagsFile), "&amp;\tand\n<lb/>\t \n<gap reason=\"illegible\">\t[...]\n&bad\n");
    ASSERT_TRUE(list.LoadFromFolder(dir.path()));
    EXPECT_EQ(list.EntityCount(), 254);
    EXPECT_TRUE(list.TranslateEntity(u"myself", out));
    EXPECT_EQ(out, u"The Author");
    EXPECT_TRUE(list.TranslateEntity(u"ouml", out));
    EXPECT_EQ(out, u"\u00F6");
    EXPECT_TRUE(list.TranslateEntity(u"amp", out));
    EXPECT_EQ(out, u"and") << "the user's translation wins over the built-in table";
    EXPECT_EQ(list.TagTranslationCount(), 2);
    char16_t scratch[64];
    const auto* t = list.TagTranslation(TagNameOf(u"gap  reason=\"ILLEGIBLE\"", scratch, 64), u"gap  reason=\"ILLEGIBLE\"");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(*t, u"[...]");

    // Changed files are read again; unchanged ones are not.
    EXPECT_FALSE(list.ReloadIfModified(dir.path()));
    QThread::msleep(20);
    dir.write(QLatin1String(kEntityTagsFile), "&amp;\t+\n");
    EXPECT_TRUE(list.ReloadIfModified(dir.path()));
    EXPECT_TRUE(list.TranslateEntity(u"amp", out));
    EXPECT_EQ(out, u"+");
    EXPECT_EQ(list.TagTranslationCount(), 0);
    // As every job does first; a missing tag handler is no matter.
    QThread::msleep(20);
    dir.write(QLatin1String(kEntityTagsFile), "&amp;\t-\n");
    ReloadModifiedTagLists(nullptr, &list, dir.path(), 1252);
    EXPECT_TRUE(list.TranslateEntity(u"amp", out));
    EXPECT_EQ(out, u"-");
}

TEST(TagHandler, StoredTagRecordsAreWrittenFieldByField)
{
    TStoredTagRec rec;
    rec.tag_type = TTag_OnOffUnique::off_tag;
    rec.partner = 3;
    rec.isMediaTag = true;
    rec.foreground_colour = 0x00112233;
    rec.background_colour = -1;
    rec.added.isTagForTagStringOnlyDisplay = true;
    rec.added.spare[70] = 0x7E;
    rec.tag = QStringLiteral("</s>");
    rec.description = QStringLiteral("end");
    TMemoryStream s;
    ASSERT_TRUE(rec.SaveToStream(s));
    const std::vector<uint8_t>& b = s.Bytes();
    ASSERT_EQ(b.size(), 84u + (4 + 4 * 2 + 2) + (4 + 3 * 2 + 2));
    const std::vector<uint8_t> head(b.begin(), b.begin() + 13);
    EXPECT_EQ(head, (std::vector<uint8_t>{1, 3, 0, 1, 0x33, 0x22, 0x11, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 1}));
    EXPECT_EQ(b[83], 0x7E);
    EXPECT_EQ(b[84], 4) << "then the tag as a counted string";
    s.SetPosition(0);
    TStoredTagRec back;
    ASSERT_TRUE(back.ReadFromStream(s));
    EXPECT_EQ(back, rec);

    // The older layout stops after the colours.
    TMemoryStream old;
    ASSERT_TRUE(rec.WriteFixedPart(old, true));
    EXPECT_EQ(old.Size(), TStoredTagRec::kOldFixedSize);
    old.SetPosition(0);
    TStoredTagRec fromOld;
    ASSERT_TRUE(fromOld.ReadFixedPart(old, true));
    EXPECT_EQ(fromOld.foreground_colour, rec.foreground_colour);
    EXPECT_FALSE(fromOld.added.isTagForTagStringOnlyDisplay);
    // A cut record fails.
    TMemoryStream cut(std::vector<uint8_t>(b.begin(), b.begin() + 50));
    EXPECT_FALSE(back.ReadFromStream(cut));
}

TEST(TagHandler, MarkingTagsInAStretchOfTheBuffer)
{
    TTextTagHandler h = handlerFor(TMarkupMode::IgnoreTags);
    TStoredTagRec rec;
    rec.tag = QStringLiteral("<b>");
    ASSERT_TRUE(h.AddTagfileTag(rec));
    const std::u16string buf = u"x \x19i\x18y \x19" u"b\x18z";
    std::vector<uint16_t> cls(buf.size(), kClassLetter);
    // A stretch that starts inside the first tag and ends inside the second.
    h.CheckBufferForTagFileMarkup(buf, cls, 3, 5);
    EXPECT_EQ(cls, (std::vector<uint16_t>{1, 1, 1, kTagBit, kTagBit, 1, 1, kTagBit | 1, 1, 1, 1}));
    std::vector<uint16_t> all(buf.size(), kClassLetter);
    h.CheckBufferForTagFileMarkup(buf, all, 0, int32_t(buf.size()));
    EXPECT_EQ(all[2], kTagBit);
    EXPECT_EQ(all[9], kTagBit | 1);
    EXPECT_EQ(all[10], kClassLetter);

    TMarvexTextTagHandler m(0x0809, 1252, h.Options());
    ASSERT_TRUE(m.AddTagfileTag(rec));
    const TMarvexTextTagHandler::TTagContext ctx = m.TagContextAt(all, 10);
    EXPECT_EQ(ctx.position, 7);
    EXPECT_EQ(ctx.length, 3);
    EXPECT_EQ(ctx.tagNumber, 1);
    EXPECT_EQ(ctx.text, QStringLiteral("<b>"));
    EXPECT_EQ(m.TagContextAt(all, 6).position, -1) << "the unlisted tag gives no context";
}

TEST(TagHandler, Above32TrimsBlanksAndControls)
{
    TTextTagHandler h = handlerFor();
    const QByteArray raw("\t \x01<caf\xE9>\r\n", 11);
    EXPECT_EQ(h.Above32PointerToWide(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(raw.constData()), 11)),
              QStringLiteral("<caf\u00E9>"));
    EXPECT_EQ(h.Above32PointerToWide(std::u16string_view(u"  \x1F")), QString());
}

TEST(TagHandler, UnreadableListIsAFailureNamingTheFile)
{
    cvtest::TempDir dir;
    QDir().mkpath(dir.file(QLatin1String(kTagsToKeepFile))); // a folder where the list should be
    TTextTagHandler h = handlerFor();
    QString error;
    EXPECT_FALSE(h.LoadTagLists(dir.path(), &error));
    EXPECT_TRUE(error.contains(QLatin1String(kTagsToKeepFile))) << error.toStdString();
    // Missing lists are empty lists.
    cvtest::TempDir empty;
    EXPECT_TRUE(h.LoadTagLists(empty.path(), &error));
    EXPECT_TRUE(h.TagfileTags().empty());
}
