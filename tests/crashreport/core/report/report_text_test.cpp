// The whole report text from a made-up system and process: kept byte for
// byte in tests/data, carried through the log unchanged, and read back by
// Python's XML parser from the log's XML copy.
#include "crashreport/core/report/report_text.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/capture/fixed_system_facts.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/text_routines.h"
#include "fixed_process_view.h"
#include "log_xml_oracle.h"
#include "support/test_support.h"

using namespace cv;

namespace {

constexpr uintptr_t kStack = 0x7FFD00000F00;
using enum TCrashboxDebugDetail;

std::unique_ptr<TCrashboxModuleInfo> Module(uintptr_t handle, const char* name, const char* version, uint64_t size)
{
    auto module = std::make_unique<TCrashboxModuleInfo>();
    module->Handle = handle;
    module->Name = name;
    module->Version = version;
    module->Size = size;
    module->LastModified = QDateTime(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
    return module;
}

// Everything one report is made from.
struct TFixedReport {
    TFixedReport()
    {
        object = ExceptionObjectFromSignal(SIGSEGV, SEGV_MAPERR);
        object.Message = "Segmentation fault";
        record.si_signo = SIGSEGV;
        record.si_code = SEGV_MAPERR; // raised by the system for the fault
        record.si_addr = reinterpret_cast<void*>(0x10);
        const std::pair<int, greg_t> registers[] = {{REG_RAX, 0x10}, {REG_RBX, 0x1},     {REG_RCX, 0x2},
                                                    {REG_RDX, 0x2A}, {REG_RSI, 0x402000}, {REG_RDI, 0x402040},
                                                    {REG_RBP, kStack + 0x20}, {REG_RSP, kStack}, {REG_RIP, cvtest::kSampleFault},
                                                    {REG_R8, 8},     {REG_R15, -1},       {REG_EFL, 0x10246},
                                                    {REG_ERR, 6}};
        for (const auto& [index, value] : registers)
            context.uc_mcontext.gregs[index] = value;

        facts.module = {"/opt/corvantis/corvantis-wordlist", "", "7.0.12"};
        input.General.ExceptionTime = EncodeDateTime(2024, 3, 4, 10, 5, 30);
        input.General.ExceptionAddress = cvtest::kSampleFault;
        input.General.ExceptionObject = &object;
        input.General.ExceptionRecord = &record;
        input.General.Context = &context;
        input.General.ErrorID = "3FA2";
        input.CallStack = &stack;
        input.Modules = &modules;
        input.Processes = &processes;
        input.Threads = &threads;
        input.MainThreadID = 4711;

        program = modules.Add(Module(0x400000, "/opt/corvantis/corvantis-wordlist", "7.0.12", 2345678));
        libc = modules.Add(Module(0x7F0000000000, "/usr/lib/x86_64-linux-gnu/libc.so.6", "", 1922136));
        modules.Add(Module(0x7F0000400000, "/tmp/odd|dir/libodd.so", "1.0", 4096))->Description = "odd\r\nname";

        for (const TCrashboxProcessInfo& info : {TCrashboxProcessInfo{4711, "/opt/corvantis/corvantis-wordlist", "", "7.0.12", 32, 123456, 5},
                                                 TCrashboxProcessInfo{1, "/usr/lib/systemd/systemd", "", "", 128, 9000, 0},
                                                 TCrashboxProcessInfo{99, "kworker", "", "", 0, 0, 1}})
            processes.Add(std::make_unique<TCrashboxProcessInfo>(info));

        PCrashboxThreadInfo mainThread = threads.NewItem();
        mainThread->ID = 4711;
        mainThread->Priority = 0;
        PCrashboxThreadInfo worker = threads.NewItem();
        worker->ID = 4712;
        worker->Priority = 5;
        worker->Thread = &workerObject;

        // The exception's thread (the main one), then the thread that
        // started it, a running thread, and a leak; a frame known by its
        // module alone shows the module and its offset there (as the call
        // stack names it), the entry without a module is left out.
        Entry(ddSourceCode, cvtest::kSampleFault, 4711, true, true, program, "wordlist.cpp", "TWordList", "Sort", 30, 2);
        Entry(ddSourceCode, 0x401B00, 4711, true, false, program, "main.cpp", "", "main", 12, uint32_t(-2)); // inlined above its procedure
        Entry(ddModule, 0x401C00, 4711, true, false, program, "", "", "corvantis-wordlist+0x1c00", 0, 0);
        Entry(ddSourceCode, 0x402000, 4711, false, false, program, "start.cpp", "", "start", 0, 0);
        Entry(ddProcedure, 0x7F0000001000, 4712, true, false, libc, "", "", "poll", 0, 0);
        Entry(ddUnitAndProcedure, 0x7F0000002000, 4712, true, false, libc, "libc.so", "", "start_thread", 0, 0);
        Entry(ddNone, 0x7F0000003000, 4712, true, false, nullptr, "", "", "", 0, 0);
        PCrashboxDebugInfo leak = Entry(ddSourceCode, 0x401D00, 0, false, true, program, "leaks.cpp", "", "Grow", 7, 1);
        leak->IsALeak = true;
        leak->LeakType = "Data";
        leak->LeakSize = 48;
        leak->LeakCount = 3;

        process.Put(0x401000, cvtest::kSampleCode);
        process.PutText(0x402000, "Sorting %d words\n");
        process.PutText(0x402040, "A text longer than thirty-two characters");
        process.objects[0x402080] = "cv::TWordList";
        process.Place(0x401000, 0x401007, "wordlist.cpp", "TWordList", "Sort", 28, 0);
        process.Place(0x401007, 0x40102C, "wordlist.cpp", "TWordList", "Sort", 29, 1);
        process.Place(0x40102C, 0x401040, "wordlist.cpp", "TWordList", "Sort", 30, 2);
        process.Place(0x401100, 0x401180, "wordlist.cpp", "TWordList", "Compare", 50, 0);
        std::vector<uint8_t> stackBytes;
        for (uint64_t slot = 0; slot < 16; ++slot)
            for (int k = 0; k < 8; ++k)
                stackBytes.push_back(uint8_t(((0x2A + slot) >> (8 * k)) & 0xFF));
        process.Put(kStack, stackBytes);
    }

    PCrashboxDebugInfo Entry(TCrashboxDebugDetail detail, uintptr_t address, uint32_t thread, bool running, bool errorLine,
                             PCrashboxModuleInfo module, const char* unit, const char* className, const char* procedure,
                             uint32_t line, uint32_t offset)
    {
        auto entry = std::make_unique<TCrashboxDebugInfo>();
        std::tie(entry->DebugDetail, entry->ModuleInfo, entry->ThreadID, entry->RunningThread, entry->ErrorLine, entry->Addr) =
            std::tuple(detail, module, thread, running, errorLine, address);
        std::tie(entry->UnitName, entry->ClassName, entry->ProcedureName, entry->Line, entry->ProcOffsetLine) =
            std::tuple(unit, className, procedure, line, offset);
        return stack.Add(std::move(entry));
    }

    TReportText Build(const TCrashboxModuleOptions& options)
    {
        TReportText report = BuildReportText(options, facts, process, input);
        report.InsertSection(CustomDataSection("Custom Information", {})); // nothing
        report.InsertSection(CustomDataSection("Custom Information", {"Corpus =  sample.txt ", "Words=1200"}));
        report.InsertSection(CustomTextSection("Request", "Open a text\r\n\r\nSort it: by frequency"));
        return report;
    }

    cvtest::TFixedSystemFacts facts;
    cvtest::TFixedProcessView process;
    TExceptionObject object;
    siginfo_t record{};
    ucontext_t context{};
    TCrashboxStackList stack;
    TCrashboxModulesList modules;
    TCrashboxProcessesList processes;
    TCrashboxThreadsList threads;
    QThread workerObject;
    PCrashboxModuleInfo program = nullptr, libc = nullptr;
    TReportInput input;
};

using namespace cvtest::logxml;

std::string ReadFile(const std::string& name) { return cvtest::readAll(QString::fromStdString(name)).toStdString(); }

class ReportText : public cvtest::CrashboxFolders {};

} // namespace

TEST_F(ReportText, FixedSystemAndProcessGiveTheKeptReportByteForByte)
{
    cvtest::InZone utc("UTC0");
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    const std::string text = fixed.Build(options).Text();

    const QString golden = cvtest::testDataDir() + QStringLiteral("/crashreport/report-text-golden.txt");
    if (text != cvtest::readAll(golden).toStdString()) {
        QFile out(QDir::temp().filePath(QStringLiteral("report-text-actual.txt")));
        if (out.open(QIODevice::WriteOnly))
            out.write(text.data(), qint64(text.size()));
        ADD_FAILURE() << "differs from " << golden.toStdString() << "; built text in " << out.fileName().toStdString();
    }
    // The worker's priority was known; nothing was asked of the system.
    EXPECT_EQ(fixed.threads.GetItem(1)->Priority, 5);
}

TEST_F(ReportText, GoesThroughTheLogUnchangedAndSavesTheSameBytesAgain)
{
    cvtest::InZone utc("UTC0");
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    const std::string report = fixed.Build(options).Text();
    const std::string name = path("report.elf");
    {
        TLogFile log(name, false);
        log.Append(report, 5);
        log.Save();
    }
    const std::string saved = ReadFile(name);
    // The report ends with one line break; the log ends each entry with four.
    EXPECT_EQ(saved, report + "\r\n\r\n\r\n");
    {
        TLogFile log(name, false);
        ASSERT_EQ(log.Count(), 1);
        EXPECT_EQ(log.GetItemValue("2.7", 0), "3FA2");
        EXPECT_EQ(log.GetItemValue("8.2", 0), "1200");
        // Both inserted sections are numbered 8: the first one's item is found.
        EXPECT_EQ(log.GetItemValue("8.1", 0), "sample.txt");
        log.Save();
    }
    EXPECT_EQ(ReadFile(name), saved);
}

TEST_F(ReportText, XMLCopyHoldsEveryItemRowAndRegister)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::InZone utc("UTC0");
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    const std::string report = fixed.Build(options).Text();
    TLogFile log("", true);
    log.Append(report, 1);
    QString error;
    const QJsonObject doc = ParsedXML(log, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const QJsonObject entry = Child(doc, "Log");
    EXPECT_EQ(Attr(entry, "Version"), "6.1.03");
    EXPECT_EQ(Tags(entry), QStringList({"General", "CallStack", "Modules", "Processes", "Assembler", "CPU"}));

    // Every item line of the general piece, with its value.
    int items = 0;
    for (const std::string_view line : SplitTextLines(report.substr(0, report.find("Call Stack Information:"))))
        items += line.size() > 3 && line.substr(0, 2) == "  " && std::isdigit(static_cast<unsigned char>(line[2])) ? 1 : 0;
    int lines = 0;
    for (const QJsonValue& group : Children(Child(entry, "General")))
        lines += int(Children(group.toObject()).size());
    EXPECT_EQ(lines, items);
    const QJsonObject request = Child(Child(entry, "General"), "Group", 8);
    EXPECT_EQ(Attr(request, "Label"), "Request");
    EXPECT_EQ(Attr(Child(request, "Line"), "Value"), "Open a text\r\n\r\nSort it: by frequency");

    const QJsonObject stack = Child(entry, "CallStack");
    EXPECT_EQ(Tags(stack), QStringList({"ExceptionThread", "CallingThread", "RunningThread", "MemoryLeak"}));
    EXPECT_EQ(Attr(Child(stack, "ExceptionThread"), "MainThread"), "True");
    EXPECT_EQ(Attr(Child(stack, "RunningThread"), "Class"), "QThread");
    const QJsonObject top = Child(Child(stack, "ExceptionThread"), "Line");
    EXPECT_EQ(Attr(top, "Number") + Attr(top, "Offset"), "302");
    EXPECT_EQ(Children(Child(stack, "RunningThread")).size(), 2);
    EXPECT_EQ(Children(Child(entry, "Modules")).size(), 3);
    EXPECT_EQ(Children(Child(entry, "Processes")).size(), 3);
    EXPECT_EQ(Attr(Child(Child(entry, "Assembler"), "Line", 18), "Comment"), "<-- EXCEPTION");

    const QJsonObject cpu = Child(entry, "CPU");
    const QJsonObject registers = Child(cpu, "Registers");
    for (const char* name : {"RAX", "RBX", "RCX", "RDX", "RDI", "RSI", "RSP", "RIP", "R8", "R15", "RBP", "EFL"})
        EXPECT_FALSE(Attr(registers, name).isEmpty()) << name;
    EXPECT_EQ(Children(Child(cpu, "Stack")).size(), 16);
    EXPECT_EQ(Children(Child(cpu, "MemoryDump")).size(), 16);
    EXPECT_EQ(Attr(Child(Child(cpu, "MemoryDump"), "Line"), "Bytes").left(5), "89 10");
}

TEST_F(ReportText, LeftOutSectionsKeepTheirCaptionsInOrder)
{
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    options.SetLogOptions({});
    fixed.input.CallStack = nullptr;
    const std::string text = BuildReportText(options, fixed.facts, fixed.process, fixed.input).Text();
    const std::size_t stack = text.find("Call Stack Information:\r\n");
    ASSERT_NE(stack, std::string::npos);
    // With no call stack the table is its head and the closing border.
    const std::string border(std::string("|Address |Module|Unit|Class|Procedure/Method|Line|").size(), '-');
    auto alone = [](const std::string& caption) { return caption + ":\r\n" + std::string(caption.size() + 1, '-') + "\r\n"; };
    EXPECT_NE(text.find(border + "\r\n" + border + "\r\n\r\n" + alone("Modules Information") + "\r\n"
                        + alone("Processes Information") + "\r\n" + alone("Assembler Information") + "\r\n"
                        + alone("Registers") + "\r\n"),
              std::string::npos)
        << text.substr(stack);
    EXPECT_EQ(text.find("EXCEPTION"), std::string::npos);
}

TEST_F(ReportText, AHeaderWiderThanTheTableWidensItsLastColumn)
{
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    fixed.stack.Clear();
    fixed.Entry(ddSourceCode, 0x401000, 4711, true, true, fixed.program, "a.cpp", "", "f", 0, 0)->CustomMsg =
        "a custom message much longer than every column of this small table";
    const std::string text = BuildReportText(options, fixed.facts, fixed.process, fixed.input).Tables;
    const std::vector<std::string_view> lines = SplitTextLines(text);
    ASSERT_GE(lines.size(), 8u);
    // Every line of the table is as long as its border.
    for (std::size_t i = 1; i < 8; ++i)
        EXPECT_EQ(lines[i].size(), lines[1].size()) << lines[i];
    EXPECT_NE(lines[4].find("(a custom message much longer than every column of this small table)|"), std::string_view::npos);
}

// A process known by its short name only: a "/" in the name splits
// nothing, and it has no folder.
TEST_F(ReportText, AProcessWithoutAProgramFileKeepsItsShortNameWhole)
{
    TFixedReport fixed;
    TCrashboxModuleOptions options("");
    fixed.processes.Clear();
    TCrashboxProcessInfo shortName{812, "kthread/worker-7", "", "", 32, 0, 1};
    shortName.ShortName = true;
    fixed.processes.Add(std::make_unique<TCrashboxProcessInfo>(shortName));
    const std::string text = BuildReportText(options, fixed.facts, fixed.process, fixed.input).Tables;
    const std::size_t row = text.find("|812");
    ASSERT_NE(row, std::string::npos);
    const std::string line = text.substr(row, text.find("\r\n", row) - row);
    std::vector<std::string> cells;
    for (std::size_t at = 1; at < line.size();) {
        const std::size_t bar = line.find('|', at);
        cells.push_back(TrimA(line.substr(at, bar - at)));
        at = bar + 1;
    }
    ASSERT_EQ(cells.size(), 8u) << line;
    EXPECT_EQ(cells[1], "kthread/worker-7");
    EXPECT_EQ(cells[7], "");
}
