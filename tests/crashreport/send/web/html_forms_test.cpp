// The form scanner on small pages of our own, and the connection's field
// adders that read the last answer through it.
#include "crashreport/send/web/html_forms.h"

#include "send_test_connection.h"

#include <gtest/gtest.h>

namespace {

using cvtest::RecordingConnection;

TEST(FindTagText, TakesTheTagUpToAStopOutsideQuotes)
{
    const std::string html = R"(<p><INPUT type="text" value="a>b" name = 'n' >rest<input x=1/>)";
    std::string text;
    std::size_t position = 0;
    ASSERT_TRUE(cv::FindTagText(html, "<input ", {">", "/>"}, text, position));
    EXPECT_EQ(text, R"(type="text" value="a>b" name='n')");
    EXPECT_EQ(html[position - 1], '>');
    ASSERT_TRUE(cv::FindTagText(html, "<input ", {">", "/>"}, text, position));
    EXPECT_EQ(text, "x=1");
    const std::size_t end = position;
    EXPECT_FALSE(cv::FindTagText(html, "<input ", {">", "/>"}, text, position));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(position, end);
}

TEST(FindTagText, AnApostropheInsideADoubleQuotedValueIsPlainText)
{
    const std::string html = R"(<input name="summary" value="don't stop"><input name="next" value="2">)";
    std::string value;
    ASSERT_TRUE(cv::GetInputValue(html, "next", value));
    EXPECT_EQ(value, "2");
    ASSERT_TRUE(cv::GetInputValue(html, "summary", value));
    EXPECT_EQ(value, "don't stop") << "the attribute scan stops at the blank only outside quotes";
}

TEST(HTMLEntities, AreDecodedInOrder)
{
    EXPECT_EQ(cv::DecodeHTMLEntities("a&amp;b &quot;&lt;&gt;&nbsp;&apos; &#65;&#233;&#0;&#x41;"),
              "a&b \"<> ' A\xC3\xA9&#0;&#x41;");
    EXPECT_EQ(cv::DecodeHTMLEntities("&amp;lt;"), "<") << "the named entities are replaced one after the other";
    EXPECT_EQ(cv::UnquoteValue("\"x'"), "x");
    EXPECT_EQ(cv::UnquoteValue("'"), "");
}

TEST(GetInputValue, FindsTheFirstNamedInputWithAValue)
{
    const std::string html = R"(<input type=hidden name="token" value="">)"
                             R"(<input name = "TOKEN" value = "a&amp;b" />)"
                             R"(<input name="token" value="later">)";
    std::string value;
    ASSERT_TRUE(cv::GetInputValue(html, "token", value));
    EXPECT_EQ(value, "a&b");
    EXPECT_FALSE(cv::GetInputValue(html, "other", value));
}

TEST(GetTextAreaValue, TakesTheContentAfterTheOpeningTag)
{
    const std::string html = R"(<textarea name="a" cols=3> one &#65; </textarea><textarea name="b"/>)";
    std::string value;
    ASSERT_TRUE(cv::GetTextAreaValue(html, "a", value));
    EXPECT_EQ(value, "one A");
    EXPECT_FALSE(cv::GetTextAreaValue(html, "b", value)) << "a text area without content";
}

TEST(SelectLists, SelectedOptionAndOptionByTitle)
{
    const std::string html = R"(<select name="status"><option value="10">new</option>)"
                             R"(<option value="80" SELECTED>resolved</option></select>)"
                             R"(<select name="project_id"><option value="1">Other</option>)"
                             R"(<option value="3" title="x">&nbsp;Main Co</option></select>)"
                             R"(<select name="empty"><option value="1">One</option></select>)";
    std::string value;
    ASSERT_TRUE(cv::GetSelectedOptionValue(html, "status", value));
    EXPECT_EQ(value, "80");
    value = "stale";
    ASSERT_TRUE(cv::GetSelectedOptionValue(html, "empty", value));
    EXPECT_EQ(value, "stale") << "no option selected leaves the value as it was";
    EXPECT_FALSE(cv::GetSelectedOptionValue(html, "missing", value));

    value.clear();
    ASSERT_TRUE(cv::GetSelectOptionByTitle(html, "project_id", "main co", value));
    EXPECT_EQ(value, "3");
    ASSERT_TRUE(cv::GetSelectOptionByTitle(html, "project_id", "other", value));
    EXPECT_EQ(value, "1");
}

struct TokenCase {
    const char* text;
    const char* marker;
    int occurrence;
    const char* token;
};

class ExtractTokenAfterTest : public testing::TestWithParam<TokenCase> {};

TEST_P(ExtractTokenAfterTest, ReadsUpToTheFirstEnd)
{
    std::string value = "old";
    cv::ExtractTokenAfter(GetParam().text, GetParam().marker, GetParam().occurrence, value);
    EXPECT_EQ(value, GetParam().token);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractTokenAfterTest,
    testing::Values(TokenCase{R"(<a href="show_bug.cgi?id=42">)", "SHOW_BUG.CGI?ID=", 1, "42"},
                    TokenCase{"x ixBug=7&amp; ixBug=9'", "ixbug=", 2, "9"},
                    TokenCase{"id=1 id=2", "id=", 3, ""}, TokenCase{"AbC<d", "zz", 0, "abc"},
                    TokenCase{"a=1\\2", "a=", 1, "1"}));

TEST(FieldAdders, ReadTheLastAnswer)
{
    RecordingConnection c("http://h.example", "");
    c.SetLastAnswer(R"(<input name="a" value="1"><input name="e" value="">)"
                    R"(<select name="none"><option value="1">x</option></select>)"
                    R"(<select name="pick"><option value="2" selected>y</option></select>)"
                    R"(<select name="proj"><option value="5">Main</option></select><textarea name="t">hi</textarea>)");
    c.AddFieldValue("a");
    c.AddFieldValue("e");
    c.AddFieldByDefaultList("none");
    c.AddFieldByDefaultList2("none");
    c.AddFieldByDefaultList2("pick");
    c.AddFieldByDefaultList("a"); // no list: the input's value
    c.AddFieldByListTitle("proj", "main");
    c.AddFieldByListTitle("proj", "absent");
    c.AddFieldByListTitle("nolist", "main");
    c.AddFieldByTextArea("t");
    c.AddVersionTitleField("title", "1.2", "EAccessViolation", "ABCD");
    c.AddDetailField("search", "ABCD", "EAccessViolation");
    EXPECT_EQ(c.Fields, (cv::TNameValueList{"a=1", "none=", "pick=2", "a=1", "proj=5", "proj=", "t=hi",
                                            "title=[v1.2 - 1]: EAccessViolation (ABCD)", "search=EAccessViolation (ABCD)"}));
    std::string result;
    cv::AddOptionalField("msg", "", result);
    EXPECT_EQ(result, "msg");
    cv::AddOptionalField("msg", "steps", result);
    EXPECT_EQ(result, "msg\r\n\r\n---\r\n\r\nsteps");
}

struct IncrementCase {
    const char* value;
    bool result;
    const char* added; // nullptr: nothing added
};

class AddIncrementedFieldTest : public testing::TestWithParam<IncrementCase> {};

TEST_P(AddIncrementedFieldTest, RaisesTheCountInTheTitle)
{
    RecordingConnection c("http://h.example", "");
    c.SetLastAnswer(std::string(R"(<input name="summary" value=")") + GetParam().value + "\">");
    EXPECT_EQ(c.AddIncrementedField("summary"), GetParam().result);
    if (GetParam().added)
        EXPECT_EQ(c.Fields, cv::TNameValueList{std::string("summary=") + GetParam().added});
    else
        EXPECT_TRUE(c.Fields.empty());
}

INSTANTIATE_TEST_SUITE_P(Titles, AddIncrementedFieldTest,
                         testing::Values(IncrementCase{"[v1.2 - 7]: E (AB12)", true, "[v1.2 - 8]: E (AB12)"},
                                         IncrementCase{"[v1.2 - 9998]: E (AB12)", true, "[v1.2 - 9999]: E (AB12)"},
                                         IncrementCase{"[v1.2 - 9999]: E (AB12)", false, nullptr},
                                         IncrementCase{"plain title", true, "plain title"},
                                         IncrementCase{"a - b] c", true, "a - b] c"},
                                         IncrementCase{"x - 41", true, "x - 42"}));

TEST(AddCustomFields, AddsAllButTheLastFourReplacingSameNames)
{
    RecordingConnection c("http://h.example", "");
    c.AddField("X", "old");
    c.AddField("keep", "1");
    c.AddCustomFields({"FogBugzTrialID=", "EL_OSType=a", "EL_OSBuild=b", "EL_ReproduceText=c"});
    EXPECT_EQ(c.Fields.size(), 2u);
    c.AddCustomFields({"X=new", "Y=2", "FogBugzTrialID=", "EL_OSType=a", "EL_OSBuild=b", "EL_ReproduceText=c"});
    EXPECT_EQ(c.Fields, (cv::TNameValueList{"keep=1", "X=new", "Y=2"}));
}

TEST(IsSuccessfulSend, ChecksPageAndTexts)
{
    RecordingConnection c("http://h.example", "");
    c.SetLastAnswer("<a HREF=\"view.php?id=3\">", "bug_report.php");
    EXPECT_TRUE(c.IsSuccessfulSend("", "", ""));
    EXPECT_TRUE(c.IsSuccessfulSend("BUG_REPORT.PHP", "href=\"view.php?id=", ""));
    EXPECT_FALSE(c.IsSuccessfulSend("other.php", "", ""));
    EXPECT_FALSE(c.IsSuccessfulSend("", "missing", ""));
    EXPECT_FALSE(c.IsSuccessfulSend("", "", "VIEW.PHP"));
    EXPECT_TRUE(c.IsSuccessfulSend("", "view", "absent"));
}

} // namespace
