#include "crashreport/core/disasm/disassembler.h"
#include "crashreport/core/debuginfo/elf_sections.h"
#include "crashreport/core/disasm/disassembler_oracle_testutil.h"
#include "crashreport/core/disasm/disassembler_tables.h"
#include "crashreport/core/disasm/disassembler_walk.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using cvtest::TComparison;

struct Case {
    cv::TDisAsmMode mode;
    std::vector<uint8_t> bytes;
    const char* text;
    int32_t size;
};

std::string decode(cv::TDisAsmMode mode, const std::vector<uint8_t>& bytes, int32_t& size, uint64_t address = 0x401000)
{
    cv::TDisAsm d(mode);
    return d.GetInstruction(bytes, address, size);
}

constexpr auto k32 = cv::TDisAsmMode::x86_32;
constexpr auto k64 = cv::TDisAsmMode::x86_64;

class TDisAsmText : public testing::TestWithParam<Case> {};

// The listing's own forms: "$" numbers with two digits a byte of the field,
// signed displacements and immediates, size prefixes, padded mnemonics.
TEST_P(TDisAsmText, WritesTheInstruction)
{
    const Case& c = GetParam();
    int32_t size = 0;
    EXPECT_EQ(decode(c.mode, c.bytes, size), c.text);
    EXPECT_EQ(size, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TDisAsmText,
    testing::Values(
        // An operand-size prefix: add with ax and a 16-bit immediate.
        Case{k32, {0x66, 0x05, 0x34, 0x12}, "add     ax, $1234", 4},
        // 0x0F: the two-byte table.
        Case{k32, {0x0F, 0xB6, 0xC1}, "movzx   eax, cl", 3},
        Case{k32, {0x0F, 0x84, 0x10, 0x00, 0x00, 0x00}, "je      +$00000010", 6},
        // mod 0, r/m 5: an absolute address without base register.
        Case{k32, {0x8B, 0x05, 0x78, 0x56, 0x34, 0x12}, "mov     eax, dword ptr [$12345678]", 6},
        // A segment override.
        Case{k32, {0x64, 0x8B, 0x00}, "mov     eax, dword ptr fs:[eax]", 3},
        Case{k32, {0x64, 0xA1, 0x18, 0x00, 0x00, 0x00}, "mov     eax, fs:[$0018]", 6},
        Case{k32, {0x8B, 0x44, 0x8B, 0xF0}, "mov     eax, dword ptr [ebx+ecx*4-$10]", 4},
        Case{k32, {0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00}, "mov     eax, dword ptr [esp+$00000100]", 7},
        Case{k32, {0xFF, 0x24, 0x85, 0x00, 0x10, 0x40, 0x00}, "jmp     dword ptr [eax*4+$00401000]", 7},
        Case{k32, {0x67, 0x8B, 0x42, 0x10}, "mov     eax, dword ptr [bp+si+$10]", 4},
        Case{k32, {0x6A, 0xFF}, "push    -$01", 2},
        Case{k32, {0x83, 0xC4, 0x10}, "add     esp, +$10", 3},
        Case{k32, {0x40}, "inc     eax", 1},
        Case{k32, {0x66, 0x48}, "dec     ax", 2},
        Case{k32, {0x66, 0xA5}, "movsw", 2},
        Case{k32, {0xF3, 0xAB}, "rep stosd", 2},
        Case{k32, {0xC2, 0x08, 0x00}, "ret     $0008", 3},
        Case{k32, {0xEA, 0x78, 0x56, 0x34, 0x12, 0x08, 0x00}, "jmp     $0008:$12345678", 7},
        Case{k32, {0x0F, 0x20, 0xC0}, "mov     eax, C0", 3},
        Case{k32, {0x0F, 0xFC, 0xC1}, "paddb   MM0, MM1", 3},
        Case{k32, {0xDD, 0xD9}, "fstp    st(1)", 2},
        Case{k32, {0xD8, 0xC1}, "fadd    st(0), st(1)", 2},
        Case{k32, {0xDB, 0x28}, "fld     tbyte ptr [eax]", 2},
        Case{k32, {0xF0, 0x0F, 0xB1, 0x0A}, "lock cmpxchg dword ptr [edx], ecx", 4},
        Case{k32, {0xC4, 0x18}, "les     ebx, fword ptr [eax]", 2},
        Case{k32, {0xC5, 0xFD, 0x6F, 0x00}, "vmovdqa ymm0, ymmword ptr [eax]", 4},
        // Undefined bytes: data lines.
        Case{k32, {0xD6}, "DB      $D6  //???", 1},
        Case{k32, {0x0F, 0x0B}, "ud2", 2},
        Case{k32, {0x0F, 0x04, 0xC0}, "DB      $0F, $04  //???", 2},
        Case{k32, {0xFE, 0xF8}, "DB      $FE  //???", 1},
        Case{k32, {0x8D, 0xC0}, "DB      $8D  //???", 1},
        // Long mode: REX, RIP-relative operands, 64-bit registers.
        Case{k64, {0x48, 0x89, 0xC0}, "mov     rax, rax", 3},
        Case{k64, {0x49, 0x8B, 0x04, 0x24}, "mov     rax, qword ptr [r12]", 4},
        Case{k64, {0x48, 0x8B, 0x05, 0xF0, 0xFF, 0xFF, 0xFF}, "mov     rax, qword ptr [rip-$00000010]", 7},
        Case{k64, {0x40, 0x88, 0xE0}, "mov     al, spl", 3},
        Case{k64, {0x41, 0x5C}, "pop     r12", 2},
        Case{k64, {0x48, 0xB8, 0xF0, 0xDE, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12}, "movabs  rax, $123456789ABCDEF0", 10},
        Case{k64, {0x64, 0x48, 0x8B, 0x04, 0x25, 0x28, 0x00, 0x00, 0x00}, "mov     rax, qword ptr fs:[$0028]", 9},
        Case{k64, {0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00}, "cs nop     word ptr [rax+rax+$00000000]", 10},
        Case{k64, {0xF3, 0x0F, 0x1E, 0xFA}, "endbr64", 4},
        Case{k64, {0x3E, 0xFF, 0xE0}, "notrack jmp     rax", 3},
        Case{k64, {0x48, 0xC3}, "rex.W ret", 2},
        Case{k64, {0xC4, 0xE2, 0x7D, 0x58, 0xC1}, "vpbroadcastd ymm0, xmm1", 5},
        Case{k64, {0x62, 0xF1, 0x7C, 0xC9, 0x58, 0x40, 0x01}, "vaddps  zmm0{k1}{z}, zmm0, zmmword ptr [rax+$40]", 7},
        Case{k64, {0x62, 0xF1, 0x74, 0x58, 0x58, 0x00}, "vaddps  zmm0, zmm1, dword bcst [rax]", 6},
        Case{k64, {0x62, 0xF1, 0x74, 0x18, 0x58, 0xC2}, "vaddps  zmm0, zmm1, zmm2{rn-sae}", 6},
        Case{k64, {0x62, 0xF3, 0x75, 0x48, 0x3E, 0xCA, 0x01}, "vpcmpltub k1, zmm1, zmm2", 7},
        Case{k64, {0x62, 0xF2, 0x7D, 0x49, 0x90, 0x04, 0x88}, "vpgatherdd zmm0{k1}, dword ptr [rax+zmm1*4]", 7},
        // Long mode widens a field narrower than its operand by its sign:
        // the operand's value is written, as objdump writes it.
        Case{k64, {0x48, 0xC7, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF}, "mov     rax, $FFFFFFFFFFFFFFFF", 7},
        Case{k64, {0x48, 0x81, 0xEC, 0x88, 0x00, 0x00, 0x00}, "sub     rsp, $00000088", 7},
        Case{k64, {0x48, 0x83, 0xE4, 0xF0}, "and     rsp, $FFFFFFFFFFFFFFF0", 4},
        Case{k64, {0x83, 0x7D, 0xF8, 0xFF}, "cmp     dword ptr [rbp-$08], $FFFFFFFF", 4},
        Case{k64, {0x66, 0x83, 0xC0, 0xFE}, "add     ax, $FFFE", 4},
        Case{k64, {0x48, 0x83, 0xC4, 0x18}, "add     rsp, $18", 4},
        Case{k64, {0x6A, 0xFF}, "push    $FFFFFFFFFFFFFFFF", 2},
        Case{k64, {0x68, 0x00, 0x00, 0x00, 0x80}, "push    $FFFFFFFF80000000", 5},
        Case{k64, {0xB8, 0xFF, 0xFF, 0xFF, 0xFF}, "mov     eax, $FFFFFFFF", 5},
        Case{k64, {0x06}, "DB      $06  //???", 1},
        // A VEX opcode with no meaning ends at the opcode: what follows is
        // the next line, as objdump reads it.
        Case{k64, {0xC5, 0xE9, 0x30, 0x2F}, "DB      $C5, $E9, $30  //???", 3},
        Case{k32, {0x48, 0x89, 0xC0}, "dec     eax", 1},
        Case{k64, {0x48, 0x66, 0x89, 0xC0}, "rex.W", 1}));

std::string toolBinary()
{
#ifdef CV_WORDLIST_BINARY
    if (access(CV_WORDLIST_BINARY, R_OK) == 0)
        return CV_WORDLIST_BINARY;
#endif
    return "/proc/self/exe";
}

// Compares objdump's listing of the file's .text with ours: the whole
// section when CV_DISASM_COMPARE_ALL is set (scripts/disasm-vs-objdump.sh),
// else `windows` stretches of `windowBytes` spread over it.
TComparison compareFile(const std::string& file, int windows, uint64_t windowBytes)
{
    cv::TElfSections elf;
    std::string error;
    if (!elf.Open(file, error))
        ADD_FAILURE() << error;
    const cv::TElfSection* text = elf.Find(".text");
    std::vector<uint8_t> code;
    if (!text || !elf.Read(*text, code, error)) {
        ADD_FAILURE() << file << ": no .text " << error;
        return {};
    }
    const bool is32 = !elf.Is64();
    TComparison total;
    const char* all = std::getenv("CV_DISASM_COMPARE_ALL");
    if ((all && *all && *all != '0') || uint64_t(windows) * windowBytes >= text->Size) {
        total = cvtest::CompareWithObjdump(cvtest::ObjdumpListing(file, is32, text->Address, text->Address + text->Size),
                                           code, text->Address, is32);
    } else {
        const uint64_t step = text->Size / uint64_t(windows);
        for (int i = 0; i < windows; ++i) {
            const uint64_t start = text->Address + uint64_t(i) * step;
            const auto listing = cvtest::ObjdumpListing(file, is32, start, start + windowBytes);
            // The first instructions of a window may start inside another,
            // the last ones are cut off by its end.
            auto from = listing.begin();
            for (int skip = 0; skip < 16 && from != listing.end(); ++skip)
                ++from;
            auto to = from;
            while (to != listing.end() && to->Address + 16 < start + windowBytes)
                ++to;
            total.Add(cvtest::CompareWithObjdump({from, to}, code, text->Address, is32));
        }
    }
    return total;
}

// Every instruction of the same length, no disagreement of an unknown kind,
// and at least `share` of them in full agreement.
void expectAgreement(const TComparison& c, const std::string& what, double share = 0.995, size_t least = 1000)
{
    ASSERT_GE(c.Instructions, least) << what << ": objdump listed too little (is binutils installed?)";
    std::string boundaries;
    for (size_t i = 0; i < c.BoundaryErrors.size() && i < 40; ++i)
        boundaries += c.BoundaryErrors[i] + "\n";
    EXPECT_TRUE(c.BoundaryErrors.empty()) << what << ": " << c.BoundaryErrors.size() << " instructions of another length\n"
                                          << boundaries;
    std::string unexplained;
    for (size_t i = 0; i < c.Unexplained.size() && i < 200; ++i)
        unexplained += c.Unexplained[i] + "\n";
    EXPECT_TRUE(c.Unexplained.empty()) << what << ": " << c.Unexplained.size() << " disagreements of no known kind\n"
                                       << unexplained;
    size_t known = 0;
    std::string kinds;
    for (const auto& [kind, n] : c.Known) {
        known += n;
        kinds += "  " + kind + ": " + std::to_string(n) + "\n";
    }
    const double agreed = double(c.Agreed) / double(c.Instructions);
    EXPECT_GE(agreed + 1e-12, share) << what << ": " << c.Agreed << " of " << c.Instructions << " agree\n" << kinds;
    std::printf("%s: %zu instructions, %zu agree (%.3f%%), %zu of known kinds\n%s", what.c_str(), c.Instructions,
                c.Agreed, 100.0 * agreed, known, kinds.c_str());
}

// What the events heard, and the text they append to the line.
struct EventLog {
    std::vector<std::string> calls;
    void* param = nullptr;
};

EventLog* logOf(void* param)
{
    auto* log = static_cast<EventLog*>(param);
    log->param = param;
    return log;
}

std::string hex(uint64_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(v));
    return buf;
}

cv::TDisAsm withEvents(cv::TDisAsmMode mode, EventLog& log)
{
    cv::TDisAsm d(mode);
    d.Param = &log;
    d.OnJumpInstr = [](void* p, uint64_t target, std::string& line) {
        logOf(p)->calls.push_back("jump " + hex(target));
        line += " ; jump";
    };
    d.OnCallInstr = [](void* p, uint64_t target, std::string& line) {
        logOf(p)->calls.push_back("call " + hex(target));
        line += " ; call";
    };
    d.OnAddressRef = [](void* p, uint64_t address, std::string& line) {
        logOf(p)->calls.push_back("address " + hex(address));
        line += " {#Gv @eax %c}"; // text of an event is never expanded
    };
    d.OnRef = [](void* p, int64_t displacement, std::string& line) {
        logOf(p)->calls.push_back("ref " + std::to_string(displacement));
    };
    d.OnImmidiateData = [](void* p, uint64_t value, int32_t position, int32_t size, bool isSigned, std::string& line) {
        logOf(p)->calls.push_back("immediate " + hex(value) + " at " + std::to_string(position) + " size " +
                                  std::to_string(size) + (isSigned ? " signed" : ""));
    };
    return d;
}

struct EventCase {
    cv::TDisAsmMode mode;
    uint64_t address;
    std::vector<uint8_t> bytes;
    const char* text;
    std::vector<std::string> calls;
};

class TDisAsmEvents : public testing::TestWithParam<EventCase> {};

TEST_P(TDisAsmEvents, TellTheOwnerAndKeepItsText)
{
    const EventCase& c = GetParam();
    EventLog log;
    const cv::TDisAsm d = withEvents(c.mode, log);
    int32_t size = 0;
    EXPECT_EQ(d.GetInstruction(c.bytes, c.address, size), c.text);
    EXPECT_EQ(size_t(size), c.bytes.size());
    EXPECT_EQ(log.calls, c.calls);
    if (!c.calls.empty()) {
        EXPECT_EQ(log.param, &log);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, TDisAsmEvents,
    testing::Values(
        EventCase{k32, 0x401000, {0xEB, 0x10}, "jmp     +$10 ; jump", {"jump 401012"}},
        EventCase{k32, 0x401000, {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}, "call    -$00000005 ; call", {"call 401000"}},
        EventCase{k32, 0xFFFFFFF0, {0xE9, 0x20, 0x00, 0x00, 0x00}, "jmp     +$00000020 ; jump", {"jump 15"}},
        EventCase{k64, 0x7F0000001000, {0x0F, 0x85, 0x00, 0x01, 0x00, 0x00}, "jne     +$00000100 ; jump", {"jump 7f0000001106"}},
        EventCase{k64, 0x1000, {0xE2, 0xFE}, "loop    -$02 ; jump", {"jump 1000"}},
        // Absolute addresses, and an event's text amid the operands.
        EventCase{k32, 0x401000, {0xC7, 0x05, 0x78, 0x56, 0x34, 0x12, 0x05, 0x00, 0x00, 0x00},
                  "mov     dword ptr [$12345678] {#Gv @eax %c}, $00000005",
                  {"address 12345678", "immediate 5 at 6 size 4"}},
        EventCase{k32, 0x401000, {0xA1, 0x00, 0x20, 0x40, 0x00}, "mov     eax, [$402000] {#Gv @eax %c}", {"address 402000"}},
        // RIP-relative: from the end of the instruction, its immediate included.
        EventCase{k64, 0x1000, {0xC7, 0x05, 0x10, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12},
                  "mov     dword ptr [rip+$00000010] {#Gv @eax %c}, $12345678",
                  {"address 101a", "immediate 12345678 at 6 size 4"}},
        EventCase{k64, 0x1000, {0x80, 0x3D, 0xF0, 0xFF, 0xFF, 0xFF, 0x05},
                  "cmp     byte ptr [rip-$00000010] {#Gv @eax %c}, $05", {"address ff7", "immediate 5 at 6 size 1"}},
        EventCase{k64, 0x1000, {0xC4, 0xE3, 0x71, 0x6B, 0x05, 0x10, 0x00, 0x00, 0x00, 0x30},
                  "vfmaddsd xmm0, xmm1, qword ptr [rip+$00000010] {#Gv @eax %c}, xmm3", {"address 101a"}},
        EventCase{k64, 0x1000, {0xC4, 0xE3, 0xF1, 0x6B, 0x05, 0x10, 0x00, 0x00, 0x00, 0x30},
                  "vfmaddsd xmm0, xmm1, xmm3, qword ptr [rip+$00000010] {#Gv @eax %c}", {"address 101a"}},
        // Register-relative displacements and immediates.
        EventCase{k32, 0, {0x8B, 0x43, 0x10}, "mov     eax, dword ptr [ebx+$10]", {"ref 16"}},
        EventCase{k32, 0, {0x8B, 0x85, 0xFC, 0xFF, 0xFF, 0xFF}, "mov     eax, dword ptr [ebp-$00000004]", {"ref -4"}},
        EventCase{k32, 0, {0x8B, 0x00}, "mov     eax, dword ptr [eax]", {}},
        EventCase{k32, 0, {0xB8, 0x78, 0x56, 0x34, 0x12}, "mov     eax, $12345678", {"immediate 12345678 at 1 size 4"}},
        EventCase{k64, 0, {0x6A, 0xFF}, "push    $FFFFFFFFFFFFFFFF", {"immediate ffffffffffffffff at 1 size 1 signed"}},
        EventCase{k64, 0, {0x48, 0xC7, 0xC0, 0xFE, 0xFF, 0xFF, 0xFF}, "mov     rax, $FFFFFFFFFFFFFFFE",
                  {"immediate fffffffffffffffe at 3 size 4 signed"}},
        EventCase{k32, 0, {0xC7, 0x44, 0x24, 0x08, 0x01, 0x00, 0x00, 0x00}, "mov     dword ptr [esp+$08], $00000001",
                  {"ref 8", "immediate 1 at 4 size 4"}}));

TEST(TDisAsm, NeverReadsPastTheBytesGiven)
{
    const std::vector<std::vector<uint8_t>> instructions = {
        {0x8B, 0x84, 0x8B, 0x00, 0x01, 0x00, 0x00},
        {0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x62, 0xF1, 0x7C, 0xC9, 0x58, 0x40, 0x01},
        {0xC4, 0xE3, 0x71, 0x6B, 0x05, 0x10, 0x00, 0x00, 0x00, 0x30},
        {0x48, 0xB8, 0xF0, 0xDE, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12},
    };
    for (const auto& full : instructions) {
        int32_t size = 0;
        decode(k64, full, size);
        ASSERT_EQ(size_t(size), full.size());
        // Every shorter piece: all of it as data, nothing beyond it.
        for (size_t n = 1; n < full.size(); ++n) {
            std::vector<uint8_t> piece(full.begin(), full.begin() + long(n));
            const std::string text = decode(k64, piece, size);
            EXPECT_EQ(size_t(size), n) << text;
            EXPECT_EQ(text.rfind("DB      $", 0), 0u) << text;
            EXPECT_NE(text.find("  //"), std::string::npos) << text;
        }
    }
    int32_t size = 1;
    EXPECT_EQ(decode(k64, {}, size), "");
    EXPECT_EQ(size, 0);
}

TEST(TDisAsm, WalksAnyBytesInSteps)
{
    // Arbitrary bytes (a fixed generator): each step takes 1 to 15 bytes of
    // what is left, and the steps cover the bytes exactly.
    std::vector<uint8_t> bytes(20000);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    for (cv::TDisAsmMode mode : {k32, k64})
        for (bool events : {false, true})
            EXPECT_EQ(cvtest::WalkAllBytes(bytes, mode, events), "");
}

// Inputs the fuzz target kept (tests/data/fuzz/disasm), replayed.
TEST(TDisAsm, KeepsItsPromisesOnKeptFuzzInputs)
{
    QDir dir(cvtest::testDataDir() + "/fuzz/disasm");
    const QStringList files = dir.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        const QByteArray data = cvtest::readAll(dir.filePath(name));
        if (data.isEmpty())
            continue;
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
        const auto mode = (bytes[0] & 1) ? k64 : k32;
        EXPECT_EQ(cvtest::WalkAllBytes(std::span<const uint8_t>(bytes + 1, size_t(data.size() - 1)), mode, (bytes[0] & 2) != 0),
                  "")
            << name.toStdString();
    }
}

// Every template of every table in the template language: operand codes of
// known letters and sizes, commands of known letters, data marks at the start.
TEST(TDisAsm, TablesAreWellFormed)
{
    const std::string addressing = "ACDEGHIJMOPQRSTUVWXYZglkhBFKLN";
    const std::string sizes = "bwdqtvpsykrunaoxhceYz";
    const std::string commands = "cpsrvxghedomzayfbuiV";
    auto check = [&](const char* tpl, const std::string& where) {
        if (!tpl)
            return;
        const std::string t(tpl);
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '#') {
                ASSERT_LE(i + 4, t.size()) << where << ": " << t;
                EXPECT_NE(addressing.find(t[i + 1]), std::string::npos) << where << ": " << t;
                EXPECT_NE(sizes.find(t[i + 2]), std::string::npos) << where << ": " << t;
                EXPECT_NE(std::string(" jc").find(t[i + 3]), std::string::npos) << where << ": " << t;
                i += 3;
            } else if (t[i] == '@') {
                ASSERT_LE(i + 3, t.size()) << where << ": " << t;
                EXPECT_NE(commands.find(t[i + 1]), std::string::npos) << where << ": " << t;
                i += 2;
            } else if (t[i] == '%') {
                EXPECT_TRUE(i == 0 && t[1] == 'c') << where << ": " << t;
            }
        }
    };
    using namespace cv::disasm;
    for (int i = 0; i < 256; ++i) {
        check(kOneByte[i], "one-byte " + hex(uint64_t(i)));
        check(kOneByteLong[i], "long mode " + hex(uint64_t(i)));
        check(kTwoByte[i], "two-byte " + hex(uint64_t(i)));
        EXPECT_NE(kOneByte[i], nullptr) << hex(uint64_t(i));
    }
    for (int i = 0; i < 12 * 8; ++i)
        check(kGroupMnemonics[i], "group " + std::to_string(i));
    for (int i = 0; i < 4 * 8; ++i)
        check(kGroupTails[i], "tail " + std::to_string(i));
    for (int i = 0; i < 8 * 72; ++i)
        check(kFloat[i], "x87 " + std::to_string(i));
    size_t extended = 0;
    for (int map = 1; map <= 3; ++map)
        for (int op = 0; op < 256; ++op)
            for (const TExtEntry& e : ExtEntries(map, uint8_t(op))) {
                ++extended;
                check(e.tpl, "map " + std::to_string(map) + " " + hex(uint64_t(op)));
                EXPECT_NE(e.encodings, 0);
            }
    EXPECT_GT(extended, 900u);
}

// The forms of tests/data/disasm/<name>, assembled with binutils' as,
// compared instruction by instruction with objdump's listing.
TComparison compareAssembled(const QString& name, bool is32)
{
    QFile source(cvtest::testDataDir() + "/disasm/" + name);
    if (!source.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << name.toStdString();
        return {};
    }
    cvtest::TempDir dir;
    const QString assembly = dir.write("forms.s", ".intel_syntax noprefix\n.text\n" + source.readAll());
    const QString object = dir.file("forms.o");
    const std::string command = std::string("as ") + (is32 ? "--32 " : "--64 ") + "-o '" + object.toStdString() +
                                "' '" + assembly.toStdString() + "' 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "as could not assemble " << name.toStdString();
        return {};
    }
    return compareFile(object.toStdString(), 1, ~uint64_t(0) >> 1);
}

TEST(TDisAsmObjdump, AgreesOnAssembled32BitForms)
{
    if (std::system("as --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "binutils' as is not installed";
    const TComparison c = compareAssembled("i386_forms.s", true);
    expectAgreement(c, "i386_forms.s", 0.9, 150);
}

TEST(TDisAsmObjdump, AgreesOnAssembledLongModeForms)
{
    if (std::system("as --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "binutils' as is not installed";
    const TComparison c = compareAssembled("x86_64_forms.s", false);
    expectAgreement(c, "x86_64_forms.s", 0.98, 400);
}

// tests/data/disasm/compiled.c made by gcc for 32-bit code and long mode, at
// several optimisation levels and for a processor with AVX-512.
TEST(TDisAsmObjdump, AgreesOnCompiledCode)
{
    cvtest::TempDir dir;
    TComparison all32;
    TComparison all64;
    const QString source = cvtest::testDataDir() + "/disasm/compiled.c";
    for (const char* bits : {"32", "64"})
        for (const char* options : {"-O0", "-O2", "-O3", "-O3 -march=skylake-avx512"}) {
            const std::string object = dir.file(QString("c%1_%2.o").arg(bits).arg(qHash(QString(options)))).toStdString();
            const std::string command = std::string("gcc -ffreestanding -c -m") + bits + " " + options + " -o '" + object +
                                        "' '" + source.toStdString() + "' 2>/dev/null";
            if (std::system(command.c_str()) != 0)
                GTEST_SKIP() << "gcc cannot make " << bits << "-bit code here";
            (bits[0] == '3' ? all32 : all64).Add(compareFile(object, 1, ~uint64_t(0) >> 1));
        }
    expectAgreement(all32, "compiled.c, 32-bit", 0.9, 1000);
    expectAgreement(all64, "compiled.c, long mode", 0.995, 1000);
}

TEST(TDisAsmObjdump, AgreesOnTheCLibrary)
{
    expectAgreement(compareFile("/lib/x86_64-linux-gnu/libc.so.6", 24, 12 * 1024), "libc.so.6");
}

TEST(TDisAsmObjdump, AgreesOnTheTool)
{
    expectAgreement(compareFile(toolBinary(), 24, 12 * 1024), toolBinary());
}

// Files named in CV_DISASM_COMPARE_FILES (separated by ":"), whole; for
// scripts/disasm-vs-objdump.sh.
TEST(TDisAsmObjdump, AgreesOnGivenFiles)
{
    const char* files = std::getenv("CV_DISASM_COMPARE_FILES");
    if (!files || !*files)
        GTEST_SKIP() << "CV_DISASM_COMPARE_FILES not set";
    std::string list(files);
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(':', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string file = list.substr(at, end - at);
        if (!file.empty())
            expectAgreement(compareFile(file, 1, ~uint64_t(0) >> 1), file, 0.995, 1);
        at = end + 1;
    }
}

} // namespace
