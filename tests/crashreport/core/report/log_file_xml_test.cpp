// The XML copy of whole report logs, as Python's XML parser reads it:
// logs kept from each version of the library (tests/data/crashreport).
#include "crashreport/core/report/log_file.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "log_xml_oracle.h"
#include "support/test_support.h"

using namespace cv;

namespace {

using namespace cvtest::logxml;

std::string SamplePath(const char* name)
{
    return (cvtest::testDataDir() + QStringLiteral("/crashreport/") + QString::fromUtf8(name)).toStdString();
}

class LogXML : public cvtest::CrashboxFolders {
protected:
    void SetUp() override
    {
        CrashboxFolders::SetUp();
        if (!cvtest::havePython())
            GTEST_SKIP() << "python3 not available";
    }
};

// Names written enciphered: the block cipher in chaining mode from the
// writers' initial block, the tail XORed with the enciphered chaining block.
std::string Encipher(const std::string& plain, const std::string& password)
{
    TTEACipher cipher(password);
    TTEACipher::TBlock chain;
    chain.fill(TTEACipher::kInitialVectorByte);
    std::string out(plain.size(), '\0');
    std::size_t at = 0;
    for (; at + 8 <= plain.size(); at += 8) {
        TTEACipher::TBlock block;
        for (std::size_t k = 0; k < 8; ++k)
            block[k] = uint8_t(plain[at + k]) ^ chain[k];
        cipher.TEAEncryptBlock(block.data(), chain.data());
        std::copy(chain.begin(), chain.end(), out.begin() + std::ptrdiff_t(at));
    }
    if (at < plain.size()) {
        cipher.TEAEncryptBlock(chain.data(), chain.data());
        for (std::size_t k = 0; at + k < plain.size(); ++k)
            out[at + k] = char(uint8_t(plain[at + k]) ^ chain[k]);
    }
    return Base64EncodeStr(out);
}

} // namespace

TEST_F(LogXML, CurrentEntriesGiveEveryItemTableAndBlock)
{
    TLogFile log(SamplePath("report-log-6103.elf"), true);
    ASSERT_EQ(log.Count(), 2);
    QString error;
    const QJsonObject doc = ParsedXML(log, &error);
    ASSERT_FALSE(doc.isEmpty()) << error.toStdString();
    EXPECT_EQ(doc.value("tag").toString(), "Doc");
    ASSERT_EQ(Children(doc).size(), 2);
    const QJsonObject entry = Children(doc)[0].toObject();
    EXPECT_EQ(Attr(entry, "Version"), "6.1.03");
    EXPECT_EQ(Tags(entry), (QStringList{"General", "CallStack", "Modules", "Processes", "Assembler", "CPU"}));

    // Every item of the general information, numbered and labelled.
    const QJsonArray groups = Children(Child(entry, "General"));
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(Attr(groups[1].toObject(), "ID"), "2");
    EXPECT_EQ(Attr(groups[1].toObject(), "Label"), "Exception");
    QStringList ids;
    for (const QJsonValue& group : groups)
        for (const QJsonValue& line : Children(group.toObject()))
            ids << Attr(line.toObject(), "ID");
    EXPECT_EQ(ids, (QStringList{"1.1", "1.3", "2.5", "2.6", "2.7", "2.8", "3.5"}));
    const QJsonObject privileges = Children(groups[2].toObject())[0].toObject();
    EXPECT_EQ(Attr(privileges, "Value"), "CAP_NET_RAW                     - ON\r\nCAP_SYS_NICE                    - OFF");

    // The call stack's blocks by their kind, with their fields and rows.
    const QJsonObject stack = Child(entry, "CallStack");
    EXPECT_EQ(Tags(stack), (QStringList{"ExceptionThread", "CallingThread", "RunningThread", "MemoryLeak"}));
    const QJsonObject raising = Children(stack)[0].toObject();
    EXPECT_EQ(Attr(raising, "ID"), "4711");
    EXPECT_EQ(Attr(raising, "Priority"), "0");
    EXPECT_EQ(Attr(raising, "MainThread"), "True");
    ASSERT_EQ(Children(raising).size(), 2);
    const QJsonObject top = Children(raising)[0].toObject();
    EXPECT_EQ(Attr(top, "Address"), "0000000000401A2B");
    EXPECT_EQ(Attr(top, "Module"), "corvantis-wordlist");
    EXPECT_EQ(Attr(top, "Unit"), "wordlist.cpp");
    EXPECT_EQ(Attr(top, "Class"), "TWordList");
    EXPECT_EQ(Attr(top, "Procedure"), "Sort");
    EXPECT_EQ(Attr(top, "Number"), "30");
    EXPECT_EQ(Attr(top, "Offset"), "2");
    const QJsonObject running = Children(stack)[2].toObject();
    EXPECT_EQ(Attr(running, "Class"), "QThread") << "the custom message is no part of the class";
    EXPECT_EQ(Attr(running, "MainThread"), "False");
    EXPECT_EQ(Attr(Children(running)[0].toObject(), "Number"), "");
    const QJsonObject leak = Children(stack)[3].toObject();
    EXPECT_EQ(Attr(leak, "Type"), "Data");
    EXPECT_EQ(Attr(leak, "Size"), "48");
    EXPECT_EQ(Attr(leak, "Count"), "3");

    const QJsonArray modules = Children(Child(entry, "Modules"));
    ASSERT_EQ(modules.size(), 2);
    EXPECT_EQ(Attr(modules[1].toObject(), "Path"), "/usr/lib/x86_64-linux-gnu");
    EXPECT_EQ(Attr(modules[0].toObject(), "Modified"), "2024-03-01 09:00:00");
    const QJsonArray processes = Children(Child(entry, "Processes"));
    ASSERT_EQ(processes.size(), 2);
    EXPECT_EQ(Attr(processes[1].toObject(), "Threads"), "??");
    EXPECT_EQ(Attr(processes[0].toObject(), "Priority"), "Normal");

    const QJsonArray listing = Children(Child(entry, "Assembler"));
    ASSERT_EQ(listing.size(), 5);
    EXPECT_EQ(Attr(listing[0].toObject(), "Comment"), "wordlist.TWordList.Sort (Line=30 - Offset=2)");
    EXPECT_EQ(Attr(listing[3].toObject(), "Address"), "0000000000401A2B");
    EXPECT_EQ(Attr(listing[3].toObject(), "Command"), "mov  dword ptr [rax], edx");
    EXPECT_EQ(Attr(listing[3].toObject(), "Comment"), "<-- EXCEPTION");

    // 64-bit registers in one entry, a 32-bit build's in the other.
    const QJsonObject cpu = Child(entry, "CPU");
    EXPECT_EQ(Attr(Child(cpu, "Registers"), "RIP"), "0000000000401A2B");
    EXPECT_EQ(Attr(Child(Child(Children(doc)[1].toObject(), "CPU"), "Registers"), "EIP"), "00401A2B");
    const QJsonArray stackLines = Children(Child(cpu, "Stack"));
    const QJsonArray dumpLines = Children(Child(cpu, "MemoryDump"));
    ASSERT_EQ(stackLines.size(), 16);
    ASSERT_EQ(dumpLines.size(), 16);
    EXPECT_EQ(Attr(stackLines[1].toObject(), "Address"), "00007FFD00000F08");
    EXPECT_EQ(Attr(stackLines[1].toObject(), "Value"), "000000000000002B");
    EXPECT_EQ(Attr(dumpLines[0].toObject(), "Address"), "0000000000401A2B");
    EXPECT_EQ(Attr(dumpLines[0].toObject(), "Bytes"), "0A 42 43 44 45 0A 47 48 49 4A 0A 4C 4D 4E 4F 0A");
    EXPECT_EQ(Attr(dumpLines[0].toObject(), "Chars"), ".BCDE.GHIJ.LMNO.");
}

TEST_F(LogXML, OlderEntriesLoadWithTheBlocksTheyHave)
{
    TLogFile v5(SamplePath("report-log-5.elf"), true);
    ASSERT_EQ(v5.Count(), 1);
    EXPECT_EQ(v5.GetItemValue("2.8", 0), "4");
    QString error;
    const QJsonObject doc5 = ParsedXML(v5, &error);
    ASSERT_FALSE(doc5.isEmpty()) << error.toStdString();
    const QJsonObject entry5 = Children(doc5)[0].toObject();
    EXPECT_EQ(Attr(entry5, "Version"), "5.2.1");
    EXPECT_EQ(Tags(entry5), (QStringList{"General", "CallStack", "Modules", "CPU"})) << "no processes or listing before 6.0";
    EXPECT_EQ(Tags(Child(entry5, "CallStack")), (QStringList{"ExceptionThread", "RunningThread"}));
    EXPECT_EQ(Attr(Child(Child(entry5, "CallStack"), "RunningThread"), "Class"), "TIndexThread");
    EXPECT_EQ(Attr(Child(Child(entry5, "CPU"), "Registers"), "ESP"), "0012FF00");
    EXPECT_EQ(Attr(Children(Child(entry5, "Modules"))[0].toObject(), "Path"), "C:\\Program Files\\Corvantis");

    TLogFile v4(SamplePath("report-log-4.elf"), true);
    ASSERT_EQ(v4.Count(), 1);
    const QJsonObject doc4 = ParsedXML(v4, &error);
    ASSERT_FALSE(doc4.isEmpty()) << error.toStdString();
    const QJsonObject entry4 = Children(doc4)[0].toObject();
    EXPECT_EQ(Tags(entry4), (QStringList{"General", "CallStack", "Modules", "HoToReproduce"}));
    const QJsonObject stack4 = Child(entry4, "CallStack");
    EXPECT_EQ(Tags(stack4), (QStringList{"ExceptionThread"})) << "one thread for the whole table";
    EXPECT_EQ(Children(Child(stack4, "ExceptionThread")).size(), 2);
    EXPECT_EQ(Attr(Children(Child(stack4, "ExceptionThread"))[1].toObject(), "Number"), "9");
    EXPECT_EQ(Attr(Child(entry4, "HoToReproduce"), "Text"), "I clicked Run twice:\r\nthen it stopped.");
}

TEST_F(LogXML, EncipheredNamesAreReadWithThePassword)
{
    const std::string password = "s3cret";
    const std::string row = "|00401000|tool|?p" + Encipher("wordlist", password) + "|?" + Encipher("TWordList", password) + "|?"
                            + Encipher("Sort", password) + "|30[2]|";
    const std::string border(row.size(), '-');
    const std::string entry = "Crashbox 6.1.03\r\n\r\nCall Stack Information:\r\n" + border + "\r\n|Address|Module|Unit|Class|Procedure|Line|\r\n"
                              + border + "\r\n" + row + "\r\n" + border;
    TLogFile log("", true);
    log.Append(entry, -1);
    QString error;
    QJsonObject doc = ParsedXML(log, &error);
    ASSERT_FALSE(doc.isEmpty()) << error.toStdString();
    auto line = [](const QJsonObject& d) {
        return Children(Child(Child(Children(d)[0].toObject(), "CallStack"), "ExceptionThread"))[0].toObject();
    };
    EXPECT_TRUE(Attr(line(doc), "Unit").startsWith("?p")) << "without the password the cells stay as they are";

    log.SetPassword(password);
    doc = ParsedXML(log, &error);
    EXPECT_EQ(Attr(line(doc), "Unit"), "wordlist.pas");
    EXPECT_EQ(Attr(line(doc), "Class"), "TWordList");
    EXPECT_EQ(Attr(line(doc), "Procedure"), "Sort");

    log.SetPassword("wrong");
    doc = ParsedXML(log, &error);
    EXPECT_TRUE(Attr(line(doc), "Unit").startsWith("?p")) << "a wrong password gives no names of other characters";
}
