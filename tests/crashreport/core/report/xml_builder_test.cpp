#include "crashreport/core/report/xml_builder.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "crashreport/core/python_oracle.h"
#include "support/test_support.h"

using namespace cv;

TEST(XMLBuilder, RendersSelfClosingOneLineAndNestedElements)
{
    TXMLItem root("Doc");
    EXPECT_EQ(root.XMLText(), "<Doc/>\r\n");

    TXMLItem leaf("Line");
    leaf.SetValue("text");
    EXPECT_EQ(leaf.XMLText(), "<Line>text</Line>\r\n");

    root.SetValue("v");
    root.AddField("Version", "6.1.03");
    TXMLItem* group = root.AddItem("Group");
    EXPECT_EQ(group->Parent(), &root);
    group->AddField("ID", "1");
    group->AddItem("Line")->AddField("Label", "a");
    group->AddItem("Line")->SetValue("b");
    root.AddItem("Empty");
    TXMLItem twice("Line");
    twice.AddField("A", "1");
    twice.AddField("A", "2");
    EXPECT_EQ(twice.XMLText(), "<Line A=\"1\" A=\"2\"/>\r\n");
    EXPECT_EQ(root.XMLText(), "<Doc Version=\"6.1.03\">v\r\n"
                              "  <Group ID=\"1\">\r\n"
                              "    <Line Label=\"a\"/>\r\n"
                              "    <Line>b</Line>\r\n"
                              "  </Group>\r\n"
                              "  <Empty/>\r\n"
                              "</Doc>\r\n");
    // A list's own AddItem gives no parent.
    TXMLItems items;
    EXPECT_EQ(items.AddItem("x")->Parent(), nullptr);
}

struct EscapeCase {
    const char* text;
    const char* escaped;
};

class XMLEscaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(XMLEscaping, Text) { EXPECT_EQ(XMLEscape(GetParam().text), GetParam().escaped); }

INSTANTIATE_TEST_SUITE_P(
    XMLBuilder, XMLEscaping,
    ::testing::Values(EscapeCase{"plain text 1.2", "plain text 1.2"}, EscapeCase{"a\tb<c", "a&#009;b&#060;c"},
                      EscapeCase{"\"&'<>", "&#034;&#038;&#039;&#060;&#062;"},
                      EscapeCase{"caf\xC3\xA9", "caf&#233;"},          // one character, one reference
                      EscapeCase{"\xE6\x97\xA5", "&#26085;"},          // beyond three digits
                      EscapeCase{"\xE9t\xE9", "&#233;t&#233;"},        // a lone byte stands for itself
                      EscapeCase{"\r\n\x7F", "&#013;&#010;&#127;"},
                      EscapeCase{"a\x01\x1F" "b", "a??b"}),           // not carried by XML at all
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(XMLBuilder, ValueAndFieldsSurvivePythonsParser)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    const std::string tricky = "line 1: <a href=\"x\">&amp;</a>\r\nline 2\t'quoted' caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";
    cvtest::TempDir dir;
    const QString file = dir.file("copy.xml");
    const char* script = R"(
import sys, json, xml.dom.minidom
d = xml.dom.minidom.parse(sys.argv[1])
log = d.documentElement.getElementsByTagName('Log')[0]
text = log.getElementsByTagName('Text')[0].firstChild.data
attrs = [(a.name, a.value) for a in [log.attributes.item(i) for i in range(log.attributes.length)]]
print(json.dumps({'root': d.documentElement.tagName, 'text': text, 'attrs': attrs}))
)";
    QString perr;
    TXMLItem clean("Doc");
    TXMLItem* line = clean.AddItem("Log");
    line->AddField("Version", "6.1.03");
    line->AddField("Value", tricky);
    line->AddItem("Text")->SetValue(tricky);
    std::string error;
    ASSERT_TRUE(clean.SaveXMLToFile(file.toStdString(), &error)) << error;
    EXPECT_EQ(cvtest::readAll(file).toStdString(), clean.XMLText());
    const QJsonObject parsed = QJsonDocument::fromJson(cvtest::runPython(QString::fromUtf8(script), {file}, {}, &perr)).object();
    ASSERT_FALSE(parsed.isEmpty()) << perr.toStdString();
    EXPECT_EQ(parsed.value("root").toString(), "Doc");
    EXPECT_EQ(parsed.value("text").toString().toStdString(), tricky);
    const QJsonArray attrs = parsed.value("attrs").toArray();
    ASSERT_EQ(attrs.size(), 2);
    EXPECT_EQ(attrs[1].toArray()[1].toString().toStdString(), tricky);
}

TEST(XMLBuilder, SaveToAnUnwritablePlaceFails)
{
    TXMLItem root("Doc");
    std::string error;
    EXPECT_FALSE(root.SaveXMLToFile("/nonexistent-folder/x.xml", &error));
    EXPECT_NE(error.find("/nonexistent-folder/x.xml"), std::string::npos);
}
