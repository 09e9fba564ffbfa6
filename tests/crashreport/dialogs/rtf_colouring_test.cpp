#include "crashreport/dialogs/rtf_colouring.h"

#include <gtest/gtest.h>

#include <string>

using namespace cv;

namespace {

TEST(ReportTabs, RtfEscaping)
{
    EXPECT_EQ(TextToRTF("a\\b{c}\r\nd"), "a\\\\b\\{c\\}\\par\r\nd");
    EXPECT_EQ(TextToRTF("caf\xC3\xA9 \xF0\x9F\x98\x80"), "caf\\u233? \\u-10179?\\u-8704?");
}

// Braces outside escapes balance, and the document is one group.
bool WellFormedRtf(const std::string& rtf)
{
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        if (depth == 0 && i + 1 < rtf.size())
            return false;
    }
    return depth == 0;
}

TEST(ReportTabs, TheGeneralTextIsColouredLineByLine)
{
    const TRTFFont font{0, "Courier New", 9};
    const std::string rtf = GeneralTextToRTF("Application:\r\n-----------\r\n  1.1 Start Date : Tue {x}\r\n"
                                             "  1.2 Name       : Word List\r\n",
                                             font);
    EXPECT_TRUE(WellFormedRtf(rtf));
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset0 "
                        "Courier New;}}",
                        0),
              0u);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
                       "\\red0\\green0\\blue160;\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}"),
              std::string::npos);
    EXPECT_NE(rtf.find("\\f0\\fs18"), std::string::npos);
    EXPECT_NE(rtf.find("{\\b\\cf1 Application:}\\par"), std::string::npos);
    EXPECT_NE(rtf.find("{\\cf5 1.1}{\\b\\cf3  Start Date }{\\b\\cf3 : }{\\cf4 Tue}{\\cf2  \\{x\\}}\\par"),
              std::string::npos);
}

TEST(ReportTabs, AssemblerAndCpuTextsAreColouredToo)
{
    const TRTFFont font;
    const std::string asmRtf = AssemblerTextToRTF("; Unit.Proc\r\n0040100A  mov eax, [ebx]  ; '\\x'\r\n"
                                                  "0040100C  call 00401000  ; <-- EXCEPTION\r\n",
                                                  font);
    EXPECT_TRUE(WellFormedRtf(asmRtf));
    EXPECT_NE(asmRtf.find("{\\cf6 ; Unit.Proc}"), std::string::npos);
    EXPECT_NE(asmRtf.find("{\\cf4 0040100A}{\\cf2   mov eax, [ebx]  }{\\cf6 ; '\\\\x'}"), std::string::npos);
    EXPECT_NE(asmRtf.find("{\\b\\cf5 0040100C}"), std::string::npos);
    EXPECT_NE(asmRtf.find("{\\b\\cf7 ; <-- EXCEPTION}"), std::string::npos);
    const std::string cpuRtf = CPUTextToRTF("Registers:\r\n----------\r\nEAX: 0000000A   EDI: 00000000\r\n"
                                            "0012FF00: 00000001 00401000: 8B 03 C3  ...\r\n",
                                            font);
    EXPECT_TRUE(WellFormedRtf(cpuRtf));
    EXPECT_NE(cpuRtf.find("\\pard\\tx"), std::string::npos);
    EXPECT_NE(cpuRtf.find("{\\b\\cf3 EAX:} {\\cf4 0000000A}\\tab {\\b\\cf3 EDI:} {\\cf4 00000000}"), std::string::npos);
    EXPECT_NE(cpuRtf.find("{\\cf4 0012FF00:} {\\cf2 00000001}\\tab {\\cf4 00401000:} {\\cf5 8B 03 C3}{\\cf2   ...}"),
              std::string::npos);
}

} // namespace
