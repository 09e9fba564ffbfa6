#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>

#include "crashreport/core/report/call_stack_header.h"
#include "crashreport/core/support/profile_file.h"
#include "crashreport/dialogs/list_view_items.h"
#include "crashreport/dialogs/tab_pages.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

using Cells = std::vector<std::string>;
using Detail = TCrashboxDebugDetail;

class TabPagesTest : public cvtest::DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        mainModule.Name = "/opt/corvantis/corvantis-wordlist";
        mainModule.ModuleType = TCrashboxModuleType::mtMainModule;
        library.Name = "/usr/lib/x86_64-linux-gnu/libc.so.6";
        library.ModuleType = TCrashboxModuleType::mtOSLibrary;
    }
    TCrashboxDebugInfo& Entry(uint32_t thread, Detail detail, TCrashboxModuleInfo* module, uintptr_t address)
    {
        auto entry = std::make_unique<TCrashboxDebugInfo>();
        entry->ThreadID = thread;
        entry->DebugDetail = detail;
        entry->ModuleInfo = module;
        entry->Addr = address;
        entry->UnitName = "unit" + std::to_string(stack.Count());
        entry->ProcedureName = "proc" + std::to_string(stack.Count());
        return *stack.Add(std::move(entry));
    }

    TCrashboxModuleInfo mainModule, library;
    TCrashboxStackList stack;
    TCrashboxThreadsList threads;
};

TEST_F(TabPagesTest, CallStackRowsAreGroupedByThreadAndFilteredByDetail)
{
    options->SetCallStackOptions({csoShowDLLs});
    TCrashboxDebugInfo& error = Entry(10, Detail::ddSourceCode, &mainModule, 0x401234);
    error.ErrorLine = true;
    error.Line = 123;
    error.ProcOffsetLine = 4;
    error.ClassName = "TForm1";
    Entry(10, Detail::ddProcedure, &library, 0x7F0012345678);           // shown with csoShowDLLs
    Entry(10, Detail::ddUnitAndProcedure, &mainModule, 0x401300);       // a unit of the program: left out
    TCrashboxDebugInfo& unnamed = Entry(10, Detail::ddModule, &library, 0x7F0000000010); // module only: shown with csoShowDLLs
    unnamed.UnitName.clear();
    unnamed.ProcedureName = "libc.so.6+0x10";
    Entry(10, Detail::ddNone, &library, 0x7F0000000020);                // hidden: left out
    Entry(11, Detail::ddSourceCode, &mainModule, 0x401400).RunningThread = true;
    Entry(12, Detail::ddSourceCode, &mainModule, 0x401500).Line = 30;

    TListViewItems items(measurer, QFont());
    AddCallStackRows(items, stack, *options, threads, 10);
    ASSERT_EQ(items.Count(), 9);
    // The exception's line opens a group of kind 2, a running thread's a
    // group of kind 1 after a separator, another thread's a group of kind 0.
    EXPECT_TRUE(items.Item(0).IsParent);
    EXPECT_EQ(items.Item(0).Param, 2);
    EXPECT_EQ(items.Item(0).Header, FormatCallStackHeader(*stack.GetItem(0), false, threads, *options, 10));
    EXPECT_EQ(items.Item(1).Cols, (Cells{"0000000000401234", "corvantis-wordlist", "unit0", "TForm1", "proc0", "123[4]"}));
    EXPECT_EQ(items.Item(1).Bmp, 3);
    EXPECT_EQ(items.Item(2).Cols, (Cells{"00007F0012345678", "libc.so.6", "unit1", "", "proc1", ""}));
    EXPECT_EQ(items.Item(2).Bmp, 0);
    EXPECT_EQ(items.Item(3).Cols, (Cells{"00007F0000000010", "libc.so.6", "", "", "libc.so.6+0x10", ""}));
    EXPECT_TRUE(items.Item(4).Empty);
    EXPECT_EQ(items.Item(5).Param, 1);
    EXPECT_EQ(items.Item(6).Cols[0], "0000000000401400");
    EXPECT_TRUE(items.Item(7).IsParent); // no separator before a thread that was not running
    EXPECT_EQ(items.Item(7).Param, 0);
    EXPECT_EQ(items.Item(8).Cols[5], "30[0]");

    // Without csoShowDLLs the library's rows go, named or not.
    options->SetCallStackOptions({});
    TListViewItems programOnly(measurer, QFont());
    AddCallStackRows(programOnly, stack, *options, threads, 10);
    EXPECT_EQ(programOnly.Count(), 7);
}

TEST_F(TabPagesTest, RowIconsFollowTheDetailAndTheModuleKind)
{
    options->SetCallStackOptions({csoShowDLLs, csoShowBPLs});
    TCrashboxModuleInfo package;
    package.ModuleType = TCrashboxModuleType::mtBorlandPackage;
    Entry(1, Detail::ddProcedure, &mainModule, 1);
    Entry(1, Detail::ddProcedure, &package, 2);
    Entry(1, Detail::ddUnitAndProcedure, &library, 3);
    Entry(1, Detail::ddProcedure, nullptr, 4);
    TListViewItems items(measurer, QFont());
    AddCallStackRows(items, stack, *options, threads, 1);
    ASSERT_EQ(items.Count(), 5);
    EXPECT_EQ(items.Item(1).Bmp, 2);
    EXPECT_EQ(items.Item(2).Bmp, 1);
    EXPECT_EQ(items.Item(3).Bmp, 0);
    EXPECT_EQ(items.Item(4).Bmp, 0);
    EXPECT_EQ(items.Item(4).Cols[1], ""); // no module known
}

struct LocationCase {
    Cells cells;
    std::optional<std::pair<std::string, std::string>> lineAndOffset;
};

class LocationOfRowTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(LocationOfRowTest, TheLineCellGivesLineAndOffset)
{
    const std::optional<TSourceLocationRequest> request = LocationOfRow(GetParam().cells);
    ASSERT_EQ(request.has_value(), GetParam().lineAndOffset.has_value());
    if (!request)
        return;
    EXPECT_EQ(request->LineText, GetParam().lineAndOffset->first);
    EXPECT_EQ(request->OffsetText, GetParam().lineAndOffset->second);
    EXPECT_EQ(request->UnitName, "Unit1");
    EXPECT_EQ(request->ProcedureName, "Click");
    EXPECT_EQ(request->Address, 0x40ABCDu);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, LocationOfRowTest,
    ::testing::Values(
        LocationCase{{"0040ABCD", "m", "Unit1", "TForm1", "Click", "123[4]"}, std::make_pair("123", "4")},
        LocationCase{{"0040ABCD", "m", "Unit1", "TForm1", "Click", "123"}, std::make_pair("123", "-1")},
        // Digits after "[" with nothing to end them do not count.
        LocationCase{{"0040ABCD", "m", "Unit1", "", "Click", "123[4"}, std::make_pair("123", "-1")},
        LocationCase{{"   0040ABCD", "m", " Unit1 ", "", "Click ", " 7[12] "}, std::make_pair("7", "12")},
        LocationCase{{"0040ABCD", "m", "Unit1", "", "Click", "  "}, std::nullopt},
        LocationCase{{"", "", "", "", "", ""}, std::nullopt}));

TEST_F(TabPagesTest, ColumnWidthsComeFromTheIniFileAndGoBackUnderTheirKeys)
{
    IniWriteString("Crashbox.ini", "Coordinates", "ColMod0", "abc");
    IniWriteString("Crashbox.ini", "Coordinates", "ColMod1", "-4");
    IniWriteString("Crashbox.ini", "Coordinates", "ColMod2", " 140 ");
    EXPECT_EQ(ReadColumnWidth(ModulesColumns()[0], 80), 80);
    EXPECT_EQ(ReadColumnWidth(ModulesColumns()[1], 96), 96);
    EXPECT_EQ(ReadColumnWidth(ModulesColumns()[2], 175), 140);
    // Columns start as wide as their sample (6 pixels a character here) and
    // the margins: sixteen address digits and the icon, a priority text.
    EXPECT_EQ(DefaultColumnWidth(ModulesColumns()[0], true, measurer, QFont()), 16 * 6 + 22);
    EXPECT_EQ(DefaultColumnWidth(ProcessesColumns()[5], false, measurer, QFont()), 12 * 6 + 12);
    EXPECT_EQ(DefaultColumnWidth(ModulesColumns()[1], false, measurer, QFont()), 96);
    EXPECT_EQ(DefaultColumnWidth(CallStackColumns()[4], false, measurer, QFont()), 200);
    {
        TTabPageWidget page(tpModules, host, CreateDialogFonts(), measurer, nullptr);
        ASSERT_NE(page.List(), nullptr);
        EXPECT_EQ(page.List()->header()->sectionSize(2), 140);
        EXPECT_EQ(page.List()->header()->sectionSize(6), 712);
        page.List()->header()->resizeSection(5, 99); // last modified
        page.List()->header()->resizeSection(6, 300); // path
    }
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "ColMod6", ""), "99");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "ColMod5", ""), "300");
    EXPECT_EQ(IniReadString("Crashbox.ini", "Coordinates", "ColMod0", ""), "118");
    EXPECT_EQ(std::string(CallStackColumns()[5].Key), "Col5");
    EXPECT_EQ(CallStackColumns()[5].Format, 1);
    EXPECT_EQ(ProcessesColumns().size(), 8u);
}

TEST_F(TabPagesTest, ModuleAndProcessRowsShowTheirTexts)
{
    TCrashboxModulesList modules;
    auto module = std::make_unique<TCrashboxModuleInfo>();
    module->Name = "/usr/lib/libfoo.so.1";
    module->Handle = 0x7F0000001000;
    module->Description = "Foo";
    module->Version = "1.2.3.4";
    module->Size = 1536;
    module->LastModified = QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9));
    modules.Add(std::move(module));
    auto program = std::make_unique<TCrashboxModuleInfo>();
    program->Name = "/opt/x/tool";
    program->ModuleType = TCrashboxModuleType::mtMainModule;
    modules.Add(std::move(program));
    auto package = std::make_unique<TCrashboxModuleInfo>();
    package->Name = "/opt/x/rtl.BPL";
    modules.Add(std::move(package));
    TListViewItems moduleRows(measurer, QFont());
    AddModulesRows(moduleRows, modules);
    ASSERT_EQ(moduleRows.Count(), 3);
    EXPECT_EQ(moduleRows.Item(0).Cols,
              (Cells{"00007F0000001000", "libfoo.so.1", "Foo", "1.2.x", "2 Kb", "2024-03-05 14:03:09", "/usr/lib"}));
    EXPECT_EQ(moduleRows.Item(0).Bmp, 0);
    EXPECT_EQ(moduleRows.Item(1).Bmp, 2);
    EXPECT_EQ(moduleRows.Item(2).Bmp, 1);

    TCrashboxProcessesList processes;
    auto process = std::make_unique<TCrashboxProcessInfo>();
    process->ProcessID = 42;
    process->Name = "/usr/bin/bash";
    process->Priority = 32;
    process->Memory = 4096;
    processes.Add(std::move(process));
    TListViewItems processRows(measurer, QFont());
    AddProcessesRows(processRows, processes);
    ASSERT_EQ(processRows.Count(), 1);
    EXPECT_EQ(processRows.Item(0).Cols, (Cells{"42", "bash", "", "", "4 Kb", "Normal", "??", "/usr/bin"}));
    EXPECT_EQ(processRows.Item(0).Bmp, 2);
}

TEST_F(TabPagesTest, TextPagesShowTheirPieceOfTheReport)
{
    host.Texts.General = "Application:\r\n  1.1 Name : wordlist\r\n";
    host.Texts.Assembler = "; unit1.Proc (Line=3)\r\n00401234  mov eax, 1  ; <-- EXCEPTION\r\n";
    host.Texts.CPU = "Registers:\r\nEAX: 0000000A   EDI: 00000000\r\n";
    const TDialogFonts fonts = CreateDialogFonts();
    TTabPageWidget general(tpGeneral, host, fonts, measurer, nullptr);
    ASSERT_NE(general.Text(), nullptr);
    EXPECT_EQ(general.Header()->text(), QStringLiteral("General Information"));
    EXPECT_EQ(general.Text()->toPlainText(), QStringLiteral("Application:\n  1.1 Name : wordlist\n"));
    EXPECT_TRUE(general.Text()->isReadOnly());
    TTabPageWidget assembler(tpAssembler, host, fonts, measurer, nullptr);
    EXPECT_TRUE(assembler.Text()->toPlainText().contains(QStringLiteral("<-- EXCEPTION")));
    TTabPageWidget cpu(tpCPU, host, fonts, measurer, nullptr);
    EXPECT_EQ(cpu.Header()->text(), QStringLiteral("CPU Information"));
    EXPECT_TRUE(cpu.Text()->toPlainText().contains(QStringLiteral("EAX: 0000000A\tEDI: 00000000")));
    // The body sits below the header, inside the page.
    cpu.resize(600, 300);
    cvtest::ShowAndPaint(cpu);
    EXPECT_EQ(cpu.Body()->geometry(), QRect(3, 20, 592, 276));
}

// Addresses have 16 digits, as everywhere in the reports, in a column wide
// enough for the widest of them.
TEST_F(TabPagesTest, TheAddressColumnsHoldSixteenDigits)
{
    const int widest = measurer.Extent(QFont(), QStringLiteral("FFFFFFFFFFFFFFFF")).cx;
    for (const std::span<const TListColumnSpec> columns : {CallStackColumns(), ModulesColumns()})
        EXPECT_GE(DefaultColumnWidth(columns[0], true, measurer, QFont()), widest + 22) << columns[0].Key;
    Entry(5, Detail::ddSourceCode, &mainModule, 0xFFFFFFFFFFFFFFFF);
    TListViewItems items(measurer, QFont());
    AddCallStackRows(items, stack, *options, threads, 5);
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(1).Cols[0], "FFFFFFFFFFFFFFFF");
}

// A page of text opens at its start: its first line is the one in view.
TEST_F(TabPagesTest, TextPagesOpenAtTheirTop)
{
    for (int section = 1; section <= 7; ++section) {
        host.Texts.General += "Section " + std::to_string(section) + ":\r\n";
        for (int item = 1; item <= 12; ++item)
            host.Texts.General += "  " + std::to_string(section) + "." + std::to_string(item) + " Item : value\r\n";
    }
    host.Texts.Assembler = host.Texts.CPU = host.Texts.General;
    const TDialogFonts fonts = CreateDialogFonts();
    for (const TTabPage kind : {tpGeneral, tpAssembler, tpCPU}) {
        TTabPageWidget page(kind, host, fonts, measurer, nullptr);
        page.resize(600, 200);
        cvtest::ShowAndPaint(page);
        QTextEdit& text = *page.Text();
        EXPECT_GT(text.verticalScrollBar()->maximum(), 0) << "more lines than the page shows";
        EXPECT_EQ(text.verticalScrollBar()->value(), 0) << kind;
        EXPECT_EQ(text.horizontalScrollBar()->value(), 0) << kind;
        EXPECT_EQ(text.cursorForPosition(QPoint(2, 2)).block().text(), QStringLiteral("Section 1:")) << kind;
    }
}

TEST_F(TabPagesTest, ActivatingALineWithoutSourceFoldsItsGroup)
{
    Entry(5, Detail::ddSourceCode, &mainModule, 0x401000);
    host.CallStack = &stack;
    TTabPageWidget page(tpCallStack, host, CreateDialogFonts(), measurer, nullptr);
    ASSERT_EQ(page.Items()->ShownCount(), 2);
    page.RowActivated(0); // the group row: its line cell is empty
    EXPECT_EQ(page.Items()->ShownCount(), 1);
    page.RowActivated(0);
    EXPECT_EQ(page.Items()->ShownCount(), 2);
}

} // namespace
} // namespace cv
