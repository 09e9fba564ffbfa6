// The assembler listing and the CPU block beyond the kept report
// (report_text_test.cpp): pages of this process that cannot be read, and
// this program's own compiled code.
#include "crashreport/core/report/report_assembler.h"

#include <gtest/gtest.h>

#include <set>

#include <sys/mman.h>

#include "crashreport/core/disasm/disassembler.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/text_routines.h"
#include "fixed_process_view.h"

using namespace cv;

namespace {

// The address that opens an instruction line; 0 for a comment line.
uintptr_t LineAddress(const std::string& line)
{
    return line.empty() || line[0] == ';' ? 0 : uintptr_t(std::stoull(line.substr(0, 16), nullptr, 16));
}

} // namespace

TEST(AssemblerListing, StopsAfterTenInstructionsFollowingTheFault)
{
    cvtest::TFixedProcessView process;
    process.Put(0x401000, std::vector<uint8_t>(200, 0x90)); // nop
    const std::vector<std::string> lines = AssemblerListingLines(process, 0x401050);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(LineAddress(lines.front()), 0x401046u);
    EXPECT_EQ(LineAddress(lines.back()), 0x40105Au);
    EXPECT_EQ(lines[10], "0000000000401050  nop  ; <-- EXCEPTION");
}

// The sample routine on a page of this process between two that cannot be read.
class GuardedCode : public testing::Test {
protected:
    void SetUp() override
    {
        pages = static_cast<uint8_t*>(mmap(nullptr, 3 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(pages, MAP_FAILED);
        std::fill(pages + kPage, pages + 2 * kPage, 0x90);
        std::copy(cvtest::kSampleCode.begin(), cvtest::kSampleCode.end(), pages + kPage);
        mprotect(pages, kPage, PROT_NONE);
        mprotect(pages + 2 * kPage, kPage, PROT_NONE);
        ForgetMemoryMap();
    }
    void TearDown() override
    {
        munmap(pages, 3 * kPage);
        ForgetMemoryMap();
    }
    uintptr_t At(std::size_t offset) const { return reinterpret_cast<uintptr_t>(pages) + offset; }

    static constexpr std::size_t kPage = 4096;
    uint8_t* pages = nullptr;
    TLiveProcessView process{nullptr};
};

TEST_F(GuardedCode, WindowKeepsToReadableMemory)
{
    // From the page's first byte: push rbx and push r12, then ten after the fault.
    std::vector<std::string> lines = AssemblerListingLines(process, At(kPage + 3));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(LineAddress(lines[0]), At(kPage));
    EXPECT_TRUE(lines[2].ends_with("<-- EXCEPTION"));
    // Up to the page's last byte.
    lines = AssemblerListingLines(process, At(2 * kPage - 2));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(LineAddress(lines.back()), At(2 * kPage - 1));
    EXPECT_TRUE(AssemblerListingLines(process, At(10)).empty());
}

TEST_F(GuardedCode, DumpOnlyWhenStackAndFaultCanBeRead)
{
    ucontext_t context{};
    context.uc_mcontext.gregs[REG_RSP] = greg_t(At(kPage));
    context.uc_mcontext.gregs[REG_RAX] = 0x1234;
    const TCrashboxModuleOptions options("");
    const std::string block = CPUBlock(options, process, &context, At(10));
    EXPECT_NE(block.find("RAX: 0000000000001234   RDI: 0000000000000000"), std::string::npos);
    EXPECT_TRUE(block.ends_with(std::string(83, '-') + "\r\n")) << block;

    const std::string dumped = CPUBlock(options, process, &context, At(kPage));
    const std::vector<std::string_view> lines = SplitTextLines(dumped);
    ASSERT_EQ(lines.size(), 10u + 16u);
    for (std::size_t i = 10; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].size(), 118u) << lines[i];
    EXPECT_TRUE(lines[10].ends_with(" 53 41 54 55 48 89 E5 48 83 EC 20 48 89 7D F8 48  SATUH..H.. H.}.H")) << lines[10];
}

TEST(CPUBlock, WithoutAContextEveryRegisterIsUnknown)
{
    const TCrashboxModuleOptions options("");
    const std::string block = CPUBlock(options, cvtest::TFixedProcessView(), nullptr, 0x401000);
    const std::vector<std::string_view> lines = SplitTextLines(block);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], std::string(93, '-'));
    EXPECT_EQ(lines[2], "RAX: ????               RDI: ????               R8 : ????               R12: ????            ");
    EXPECT_EQ(lines[8], "Stack:                               Memory Dump:");
}

// A context rebuilt from a throw seen only by its address and stack
// pointer: those two show, every other register is unknown.
TEST(CPUBlock, RegistersAContextDoesNotKnowAreUnknownNotZero)
{
    ucontext_t context{};
    context.uc_mcontext.gregs[REG_RIP] = 0x401234;
    context.uc_mcontext.gregs[REG_RSP] = 0x7FFD1000;
    MarkKnownRegisters(context, (1u << REG_RIP) | (1u << REG_RSP));
    const TCrashboxModuleOptions options("");
    const std::vector<std::string_view> lines = SplitTextLines(CPUBlock(options, cvtest::TFixedProcessView(), &context, 0x401234));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[2], "RAX: ????               RDI: ????               R8 : ????               R12: ????            ");
    EXPECT_EQ(lines[4], "RCX: ????               RSP: 000000007FFD1000   R10: ????               R14: ????            ");
    EXPECT_EQ(lines[5], "RDX: ????               RIP: 0000000000401234   R11: ????               R15: ????            ");
    EXPECT_EQ(lines[6], "RBP: ????               EFL: ????            ");

    // A context taken at a fault (the kernel's, or a thread's) knows them all.
    ucontext_t fault{};
    fault.uc_flags = 1; // as the kernel marks a context with extended state
    EXPECT_TRUE(RegisterKnown(fault, REG_RBX));
    MarkKnownRegisters(fault, ~0u);
    EXPECT_TRUE(RegisterKnown(fault, REG_RBX) && RegisterKnown(fault, REG_EFL));
    EXPECT_EQ(fault.uc_flags & 7, 1u) << "the kernel's own flags stay";
}

// On this program's own compiled code, the instructions listed before a
// fault are those that decoding from the routine's start finds.
TEST(AssemblerListing, FindsTheRealInstructionsInCompiledCode)
{
    TLiveProcessView process{nullptr};
    const TDisAsm decoder(TDisAsmMode::x86_64);
    const void* routines[] = {reinterpret_cast<const void*>(&AssemblerListingLines), reinterpret_cast<const void*>(&CPUBlock),
                              reinterpret_cast<const void*>(&TLogFile::NormalizeLineBreaks)};
    int faults = 0;
    for (const void* routine : routines) {
        const auto start = reinterpret_cast<uintptr_t>(routine);
        const std::vector<uint8_t> code = ReadReadablePrefix(process, start, 600);
        std::set<uintptr_t> boundaries;
        std::string text;
        for (std::size_t at = 0; at + 16 < code.size();) {
            boundaries.insert(start + at);
            at += std::size_t(std::max(1, decoder.GetInstruction(std::span(code).subspan(at), start + at, text)));
        }
        for (const uintptr_t fault : boundaries) {
            if (fault < start + 80 || fault > start + 500)
                continue;
            ++faults;
            const auto window = boundaries.lower_bound(fault - 70);
            const int expected = int(std::min<std::ptrdiff_t>(10, std::distance(window, boundaries.find(fault))));
            int before = 0;
            for (const std::string& line : AssemblerListingLines(process, fault)) {
                const uintptr_t address = LineAddress(line);
                if (address && address < fault) {
                    ++before;
                    EXPECT_TRUE(boundaries.count(address)) << std::hex << address << " before " << fault;
                }
            }
            EXPECT_EQ(before, expected) << std::hex << fault;
        }
    }
    EXPECT_GT(faults, 50);
}
