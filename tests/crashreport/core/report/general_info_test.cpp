#include "crashreport/core/report/general_info.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/capture/fixed_system_facts.h"
#include "crashreport/core/report/log_file.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// An access violation writing address 0x10, as the signal reports it.
struct TFixedException {
    TFixedException()
    {
        object = ExceptionObjectFromSignal(SIGSEGV, SEGV_MAPERR);
        object.Message = "Segmentation fault";
        record.si_signo = SIGSEGV;
        record.si_code = SEGV_MAPERR; // raised by the system for the fault
        record.si_addr = reinterpret_cast<void*>(0x10);
        context.uc_mcontext.gregs[REG_ERR] = 6; // a write from user mode
        input.ExceptionTime = EncodeDateTime(2024, 3, 4, 10, 5, 30);
        input.ExceptionAddress = 0x7F3A12345678;
        input.ExceptionObject = &object;
        input.ExceptionRecord = &record;
        input.Context = &context;
        input.ErrorID = "3FA2";
        input.ActiveControlClass = "QLineEdit";
        input.ActiveControlText = "first\r\n\tsecond";
        input.UserEmail = "ann@example.com";
        input.CompilationDate = EncodeDateTime(2024, 2, 1, 8, 30, 0);
    }
    TExceptionObject object;
    siginfo_t record{};
    ucontext_t context{};
    TGeneralInfoInput input;
};

std::string Build(const TSystemFacts& facts, const TGeneralInfoInput& input, TShowOptions shown = TShowOptions::All())
{
    TCrashboxModuleOptions options("");
    options.SetShowOptions(shown);
    return BuildGeneralInformation(options, facts, input).Text;
}

// The value of an item of a general text, read back through the log.
std::string ItemValue(const std::string& general, const std::string& id)
{
    TLogFile log("", true);
    log.Append(general + "\r\n-\r\n|", -1);
    return log.GetItemValue(id, 0);
}

} // namespace

TEST(GeneralInfo, FixedSystemGivesTheKeptTextByteForByte)
{
    cvtest::InZone utc("UTC0");
    const cvtest::TFixedSystemFacts facts;
    const TFixedException exception;
    TCrashboxModuleOptions options("");
    const TGeneralInformation info = BuildGeneralInformation(options, facts, exception.input);

    const QString golden = cvtest::testDataDir() + QStringLiteral("/crashreport/general-info-golden.txt");
    const std::string expected = cvtest::readAll(golden).toStdString();
    if (info.Text != expected) {
        // What was built, to compare with the kept file by eye.
        QFile out(QDir::temp().filePath(QStringLiteral("general-info-actual.txt")));
        if (out.open(QIODevice::WriteOnly))
            out.write(info.Text.data(), qint64(info.Text.size()));
        ADD_FAILURE() << "differs from " << golden.toStdString() << "; built text in " << out.fileName().toStdString();
    }
    EXPECT_EQ(info.ExceptionClass, "EAccessViolation");
    EXPECT_EQ(info.ExceptionMessage,
              "Access violation at address 00007F3A12345678 in module 'libQt6Core.so.6'. Write of address 0000000000000010.");
}

TEST(GeneralInfo, ItemNumbersStayWhenItemsAreHiddenAndEmptySectionsGo)
{
    const cvtest::TFixedSystemFacts facts;
    const TFixedException exception;
    TShowOptions shown = TShowOptions::All();
    for (TShowOption hidden : {soExcDate, soExcAddress, soExcModuleName, soExcModuleVersion})
        shown.Exclude(hidden);
    for (TShowOption hidden : {soUserID, soUserName, soUserEmail, soUserCompany, soUserPrivileges})
        shown.Exclude(hidden);
    const std::string text = Build(facts, exception.input, shown);
    EXPECT_EQ(text.find("\r\n  2.1 "), std::string::npos);
    EXPECT_NE(text.find("\r\n  2.5 Type"), std::string::npos) << "2.5 keeps its number";
    EXPECT_EQ(text.find("User:"), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n\r\n\r\n"), std::string::npos) << "no blank line doubled";
    EXPECT_NE(text.find("\r\n\r\nActive Controls:\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n  4.1 "), std::string::npos) << "the sections after it keep their numbers";

    // The last section hidden whole: the text ends with the section before it.
    TShowOptions noNetwork = TShowOptions::All();
    for (TShowOption hidden : {soNetIP, soNetSubmask, soNetGateway, soNetDNS1, soNetDNS2, soNetDHCP})
        noNetwork.Exclude(hidden);
    const std::string withoutNetwork = Build(facts, exception.input, noNetwork);
    EXPECT_EQ(withoutNetwork.find("Network:"), std::string::npos);
    EXPECT_EQ(withoutNetwork.substr(withoutNetwork.size() - 5), "UTF-8");
}

TEST(GeneralInfo, ActiveControlsOnlyForProgramsWithWindows)
{
    cvtest::TFixedSystemFacts facts;
    TFixedException exception;
    EXPECT_NE(Build(facts, exception.input).find("Active Controls:"), std::string::npos);
    facts.console = true;
    EXPECT_EQ(Build(facts, exception.input).find("Active Controls:"), std::string::npos);
    facts.console = false;
    exception.input.WebApplication = true;
    const std::string web = Build(facts, exception.input);
    EXPECT_EQ(web.find("Active Controls:"), std::string::npos);
    EXPECT_NE(web.find("\r\n  5.1 Name"), std::string::npos);
}

TEST(GeneralInfo, WindowSystemFactsWithoutAnAdapterAreNotAvailable)
{
    cvtest::TFixedSystemFacts facts;
    facts.display.reset();
    facts.printer.reset();
    facts.window.reset();
    const TFixedException exception;
    const std::string text = Build(facts, exception.input);
    for (const char* id : {"4.1", "4.2", "5.8", "5.9", "5.11"})
        EXPECT_EQ(ItemValue(text, id), "N/A") << id;
    EXPECT_EQ(ItemValue(text, "4.3"), "QLineEdit") << "recorded by the handler, not the window system";

    // An adapter with no screen: nothing, not made-up numbers.
    facts.display = TDisplayFacts{};
    EXPECT_EQ(ItemValue(Build(facts, exception.input), "5.8"), "");
}

// A window system that knows no printer, and a machine whose display
// drivers know no card: nothing this system can tell, not an empty value.
TEST(GeneralInfo, NoVideoCardAndNoPrinterAreNotAvailable)
{
    cvtest::TFixedSystemFacts facts;
    facts.videoCard.clear();
    facts.printer = std::string();
    const TFixedException exception;
    const std::string text = Build(facts, exception.input);
    EXPECT_EQ(ItemValue(text, "5.10"), "N/A");
    EXPECT_EQ(ItemValue(text, "5.11"), "N/A");
}

TEST(GeneralInfo, MessagesEndWithAFullStopAndUnknownObjectsAreNamed)
{
    const cvtest::TFixedSystemFacts facts;
    TGeneralInfoInput input;
    TExceptionObject object = ExceptionObjectOfKind("EFrozenApplication", "The application seems to be frozen");
    input.ExceptionObject = &object;
    TGeneralInformation info = BuildGeneralInformation(TCrashboxModuleOptions(""), facts, input);
    EXPECT_EQ(info.ExceptionMessage, "The application seems to be frozen.");
    object.Message = "Done.";
    info = BuildGeneralInformation(TCrashboxModuleOptions(""), facts, input);
    EXPECT_EQ(info.ExceptionMessage, "Done.");

    // An access violation without its record keeps its own message; outside any module it names none.
    TFixedException exception;
    exception.input.ExceptionRecord = nullptr;
    EXPECT_EQ(BuildGeneralInformation(TCrashboxModuleOptions(""), facts, exception.input).ExceptionMessage, "Segmentation fault.");
    exception.input.ExceptionRecord = &exception.record;
    exception.context.uc_mcontext.gregs[REG_ERR] = 4; // a read
    cvtest::TFixedSystemFacts nowhere;
    nowhere.module = {};
    EXPECT_EQ(BuildGeneralInformation(TCrashboxModuleOptions(""), nowhere, exception.input).ExceptionMessage,
              "Access violation at address 00007F3A12345678. Read of address 0000000000000010.");

    input.ExceptionObject = nullptr;
    info = BuildGeneralInformation(TCrashboxModuleOptions(""), facts, input);
    EXPECT_EQ(info.ExceptionClass, "Unknown exception type");
    EXPECT_EQ(info.ExceptionMessage, "Unknown error message.");
    TExceptionObject carried = ExceptionObjectOfKind("TActiveXException", "from a server");
    carried.Parents = {"EOleServerError", "EOleError"};
    input.ExceptionObject = &carried;
    EXPECT_EQ(BuildGeneralInformation(TCrashboxModuleOptions(""), facts, input).ExceptionClass, "EOleServerError");
}

// A SIGSEGV that another process sent (kill -SEGV) is no memory access:
// its record holds the sender where a fault holds the address. The
// message says who sent it, never "Read of address" and the sender's ID.
TEST(GeneralInfo, ASignalAProcessSentIsToldByItsSenderNotAsAnAddressRead)
{
    const cvtest::TFixedSystemFacts facts;
    TFixedException exception;
    for (const int code : {SI_USER, SI_TKILL, SI_QUEUE}) {
        exception.record = siginfo_t{};
        exception.record.si_signo = SIGSEGV;
        exception.record.si_code = code;
        exception.record.si_pid = 24753; // where a fault's address would be read
        exception.record.si_uid = 1000;
        exception.object = ExceptionObjectFromSignalRecord(exception.record);
        EXPECT_EQ(exception.object.ClassName, "EAccessViolation") << code;
        EXPECT_EQ(BuildGeneralInformation(TCrashboxModuleOptions(""), facts, exception.input).ExceptionMessage,
                  "signal 11 sent by process 24753 (user 1000).")
            << code;
    }
}

TEST(GeneralInfo, TwoAdaptersLineUpInColumns)
{
    std::vector<TNetworkAdapterFacts> adapters(2);
    adapters[0] = {"10.0.0.7", "255.0.0.0", "10.0.0.1", {"10.0.0.1"}, true};
    adapters[1] = {"192.168.12.40", "255.255.255.0", "", {}, std::nullopt};
    const std::vector<std::string> values = generalinfo::NetworkValues(adapters);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0], "010.000.000.007 - 192.168.012.040");
    EXPECT_EQ(values[1], "255.000.000.000 - 255.255.255.000");
    EXPECT_EQ(values[2], "010.000.000.001 - 000.000.000.000");
    EXPECT_EQ(values[3], "010.000.000.001 - 000.000.000.000");
    EXPECT_EQ(values[4], "000.000.000.000 - 000.000.000.000");
    EXPECT_EQ(values[5], "ON              - N/A            ");
    EXPECT_EQ(values[5].find(" - ") + 3, 18u) << "each adapter's mark is 18 characters";
    EXPECT_EQ(generalinfo::NetworkValues({}), std::vector<std::string>(6));
}

class Gigabytes : public ::testing::TestWithParam<std::pair<uint64_t, const char*>> {};

TEST_P(Gigabytes, AtMostTwoDecimalsWithoutTrailingZeros)
{
    EXPECT_EQ(generalinfo::GigabytesText(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(GeneralInfo, Gigabytes,
                         ::testing::Values(std::pair<uint64_t, const char*>{0, "0"},
                                           std::pair<uint64_t, const char*>{512ull << 30, "512"},
                                           std::pair<uint64_t, const char*>{(3ull << 30) / 2, "1.5"},
                                           std::pair<uint64_t, const char*>{1073741824ull * 125 / 100, "1.25"},
                                           std::pair<uint64_t, const char*>{1073741824ull * 1999 / 1000, "2"}));

class Parameters : public ::testing::TestWithParam<std::tuple<const char*, const char*, const char*>> {};

TEST_P(Parameters, TheCommandLineWithoutTheProgram)
{
    const auto [line, program, expected] = GetParam();
    EXPECT_EQ(generalinfo::ParametersText(line, program), expected);
}

INSTANTIATE_TEST_SUITE_P(
    GeneralInfo, Parameters,
    ::testing::Values(std::make_tuple("/opt/cv/tool /log x.txt", "/opt/cv/tool", "/log x.txt"),
                      std::make_tuple("  \"/opt/my cv/tool\"  -C  ", "/opt/my cv/tool", "-C"),
                      std::make_tuple("./tool", "./tool", ""), std::make_tuple("", "/opt/cv/tool", "")));

TEST(GeneralInfo, AddressesArePaddedPartByPart)
{
    EXPECT_EQ(generalinfo::FixedAddress("192.168.1.5"), "192.168.001.005");
    EXPECT_EQ(generalinfo::FixedAddress(""), "000.000.000.000");
    EXPECT_EQ(CleanControlChars("a\tb\r\nc\x01"), "a b\r\nc ");
}

TEST(GeneralInfo, SectionsAfterTheGeneralInformationAreNumberedFromEight)
{
    EXPECT_EQ(CustomDataSection("Custom Information", {" Corpus = BNC ", "Words=3"}),
              "Custom Information:\r\n"
              "-----------------\r\n"
              "  8.1 Corpus: BNC\r\n"
              "  8.2 Words : 3\r\n");
    EXPECT_EQ(CustomDataSection("Custom Information", {}), "");
    EXPECT_EQ(CustomTextSection("Request", "Opened a list:\r\n\r\nthen sorted it"),
              "Request:\r\n"
              "----------------------\r\n"
              "  8.1 : Opened a list:\r\n"
              "        .\r\n"
              "        then sorted it\r\n");
}
