#include "crashreport/core/disasm/instruction_length.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <map>
#include <vector>

namespace {

struct Case {
    std::vector<uint8_t> bytes;
    bool mode64;
    uint8_t length;
    uint8_t relSize = 0;
    uint8_t ripDisp = 0;
    bool endsFlow = false;
};

TEST(InstructionLength, TableOfForms)
{
    const Case cases[] = {
        {{0x55}, true, 1},                                               // push rbp
        {{0x48, 0x89, 0xE5}, true, 3},                                   // mov rbp, rsp
        {{0x48, 0x83, 0xEC, 0x20}, true, 4},                             // sub rsp, 0x20
        {{0x48, 0x81, 0xEC, 0x00, 0x01, 0x00, 0x00}, true, 7},           // sub rsp, 0x100
        {{0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, true, 10},               // mov rax, imm64
        {{0xB8, 1, 2, 3, 4}, true, 5},                                   // mov eax, imm32
        {{0x66, 0xB8, 1, 2}, true, 4},                                   // mov ax, imm16
        {{0x8B, 0x05, 1, 2, 3, 4}, true, 6, 0, 2},                       // mov eax, [rip+d]
        {{0x8B, 0x05, 1, 2, 3, 4}, false, 6},                            // mov eax, [d32]: absolute in 32-bit code
        {{0x48, 0x8D, 0x3D, 1, 2, 3, 4}, true, 7, 0, 3},                 // lea rdi, [rip+d]
        {{0xC7, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}, true, 10, 0, 2},          // mov dword [rip+d], imm32
        {{0x8B, 0x44, 0x24, 0x08}, true, 4},                             // mov eax, [rsp+8]
        {{0x8B, 0x04, 0x25, 1, 2, 3, 4}, true, 7},                       // mov eax, [d32] through SIB
        {{0x8B, 0x84, 0x24, 1, 2, 3, 4}, true, 7},                       // mov eax, [rsp+d32]
        {{0x67, 0x8B, 0x46, 0x02}, false, 4},                            // 16-bit addressing, disp8
        {{0x67, 0x8B, 0x06, 1, 2}, false, 5},                            // 16-bit addressing, disp16 alone
        {{0xE8, 1, 2, 3, 4}, true, 5, 4},                                // call rel32
        {{0xE9, 1, 2, 3, 4}, true, 5, 4, 0, true},                       // jmp rel32
        {{0x66, 0xE9, 1, 2}, false, 4, 2, 0, true},                      // jmp rel16 in 32-bit code
        {{0xEB, 0x10}, true, 2, 1, 0, true},                             // jmp rel8
        {{0x74, 0x10}, true, 2, 1},                                      // je rel8
        {{0xE3, 0x10}, true, 2, 1},                                      // jrcxz
        {{0x0F, 0x84, 1, 2, 3, 4}, true, 6, 4},                          // je rel32
        {{0xC3}, true, 1, 0, 0, true},                                   // ret
        {{0xC2, 0x08, 0x00}, false, 3, 0, 0, true},                      // ret 8
        {{0xFF, 0x25, 1, 2, 3, 4}, true, 6, 0, 2, true},                 // jmp [rip+d]
        {{0xFF, 0xE0}, true, 2, 0, 0, true},                             // jmp rax
        {{0xFF, 0x15, 1, 2, 3, 4}, true, 6, 0, 2},                       // call [rip+d]
        {{0xF3, 0x0F, 0x1E, 0xFA}, true, 4},                             // endbr64
        {{0xF6, 0x05, 1, 2, 3, 4, 0x80}, true, 7, 0, 2},                 // test byte [rip+d], imm8
        {{0xF7, 0xC1, 1, 2, 3, 4}, true, 6},                             // test ecx, imm32
        {{0xF7, 0xD9}, true, 2},                                         // neg ecx: no immediate
        {{0xC8, 0x10, 0x00, 0x00}, false, 4},                            // enter
        {{0xA1, 1, 2, 3, 4, 5, 6, 7, 8}, true, 9},                       // mov eax, [moffs64]
        {{0xA1, 1, 2, 3, 4}, false, 5},                                  // mov eax, [moffs32]
        {{0x0F, 0x1F, 0x44, 0x00, 0x00}, true, 5},                       // nop dword [rax+rax]
        {{0x66, 0x0F, 0x6F, 0x05, 1, 2, 3, 4}, true, 8, 0, 4},           // movdqa xmm0, [rip+d]
        {{0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, true, 6},                 // palignr xmm0, xmm1, 8
        {{0x66, 0x0F, 0x38, 0x00, 0xC1}, true, 5},                       // pshufb
        {{0x66, 0x0F, 0x70, 0xC1, 0x1B}, true, 5},                       // pshufd
        {{0xC5, 0xFD, 0x6F, 0x05, 1, 2, 3, 4}, true, 8, 0, 4},           // vmovdqa ymm0, [rip+d]
        {{0xC5, 0xF8, 0x77}, true, 3},                                   // vzeroupper
        {{0xC4, 0xE3, 0x7D, 0x39, 0xC1, 0x01}, true, 6},                 // vextracti128 xmm1, ymm0, 1
        {{0xC4, 0xE2, 0x7D, 0x58, 0xC0}, true, 5},                       // vpbroadcastd ymm0, xmm0
        {{0x62, 0xF1, 0x7E, 0x48, 0x6F, 0x06}, true, 6},                 // vmovdqu32 zmm0, [rsi]
        {{0x62, 0xF1, 0x7E, 0x48, 0x6F, 0x46, 0x01}, true, 7},           // with disp8
        {{0x62, 0xF3, 0x7D, 0x48, 0x3F, 0xC1, 0x00}, true, 7},           // vpcmpb k0, zmm0, zmm1, 0
        {{0x62, 0xF2, 0x7D, 0x48, 0x8D, 0xC1}, true, 6},                 // vpermb (map 0F38)
        {{0xF0, 0x48, 0x0F, 0xB1, 0x0E}, true, 5},                       // lock cmpxchg [rsi], rcx
        {{0x40}, false, 1},                                              // inc eax in 32-bit code
        {{0x0F, 0x0B}, true, 2, 0, 0, true},                             // ud2
        {{0xCC}, true, 1, 0, 0, true},                                   // int3
    };
    for (const Case& c : cases) {
        cv::TInstructionInfo info;
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        ASSERT_TRUE(cv::DecodeInstruction(c.bytes, c.mode64, info));
        EXPECT_EQ(info.Length, c.length);
        EXPECT_EQ(info.RelSize, c.relSize);
        EXPECT_EQ(info.RipDispOffset, c.ripDisp);
        EXPECT_EQ(info.EndsFlow, c.endsFlow);
    }
}

TEST(InstructionLength, UnknownOrCutInstructionsAreRefused)
{
    const std::vector<std::vector<uint8_t>> bad64 = {
        {0x06},                           // push es: not in long mode
        {0x0F, 0x0A},                     // no such opcode
        {0x8B},                           // ModR/M missing
        {0x8B, 0x05, 1, 2},               // displacement cut
        {0x48},                           // prefix alone
        {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x90}, // longer than 15 bytes
        {},
    };
    for (const auto& b : bad64) {
        cv::TInstructionInfo info;
        EXPECT_FALSE(cv::DecodeInstruction(b, true, info)) << ::testing::PrintToString(b);
    }
}

TEST(InstructionLength, LengthAtAnAddressReadsOnlyReadableBytes)
{
    static const uint8_t code[] = {0x48, 0x89, 0xE5, 0xC3};
    uint32_t length = 0;
    EXPECT_TRUE(cv::GetInstructionLength(code, length));
    EXPECT_EQ(length, 3u);
    EXPECT_FALSE(cv::GetInstructionLength(nullptr, length));
}

TEST(InstructionLength, ProcedureSizeRunsToTheFirstReturn)
{
    const std::vector<uint8_t> code = {0x55, 0x48, 0x89, 0xE5, 0x74, 0x02, 0x5D, 0xC3, 0x90, 0xC3};
    EXPECT_EQ(cv::ProcedureSize(code, true), 8u);
    EXPECT_EQ(cv::ProcedureSize(std::vector<uint8_t>{0x90, 0x90}, true), 0u);
    EXPECT_EQ(cv::ProcedureSize(std::vector<uint8_t>{0x90, 0x06, 0xC3}, true), 0u);
}

// Instruction boundaries as objdump finds them, over windows of the C
// library's code: from its old memcpy on (string routines with SSE, AVX2 and
// AVX-512 forms follow), and from the start of the block of its processor-
// specific routines.
void CompareWithObjdump(const QString& file, const QString& symbol, uint64_t windowBytes)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), file});
    if (!nm.waitForFinished(10000) || nm.exitCode() != 0)
        GTEST_SKIP() << "nm not usable";
    uint64_t start = 0;
    for (const QString& line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n')) {
        const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
        if (parts.size() == 3 && parts[2] == symbol) {
            start = parts[0].toULongLong(nullptr, 16);
            break;
        }
    }
    if (start == 0)
        GTEST_SKIP() << symbol.toStdString() << " not found";
    QProcess objdump;
    objdump.start(QStringLiteral("objdump"), {QStringLiteral("-d"), QStringLiteral("-z"), QStringLiteral("-w"), QStringLiteral("--insn-width=16"),
                                              QStringLiteral("--start-address=0x%1").arg(start, 0, 16),
                                              QStringLiteral("--stop-address=0x%1").arg(start + windowBytes, 0, 16), file});
    if (!objdump.waitForFinished(20000) || objdump.exitCode() != 0)
        GTEST_SKIP() << "objdump not usable";
    // address -> the instruction's bytes; all bytes of the window by address.
    static const QRegularExpression line(QStringLiteral("^\\s*([0-9a-f]+):\\t([0-9a-f ]+)\\t(.*)$"));
    std::map<uint64_t, size_t> lengths;
    std::map<uint64_t, uint8_t> bytes;
    std::map<uint64_t, QString> text;
    for (const QString& l : QString::fromUtf8(objdump.readAllStandardOutput()).split('\n')) {
        const auto m = line.match(l);
        if (!m.hasMatch())
            continue;
        const uint64_t addr = m.captured(1).toULongLong(nullptr, 16);
        const QStringList hex = m.captured(2).split(' ', Qt::SkipEmptyParts);
        for (int i = 0; i < hex.size(); ++i)
            bytes[addr + uint64_t(i)] = uint8_t(hex[i].toUInt(nullptr, 16));
        lengths[addr] = size_t(hex.size());
        text[addr] = m.captured(3);
    }
    ASSERT_GT(lengths.size(), 1000u);
    size_t compared = 0;
    for (const auto& [addr, length] : lengths) {
        if (text[addr].contains(QStringLiteral("(bad)")) || text[addr].startsWith(QStringLiteral(".byte")))
            continue;
        std::vector<uint8_t> code;
        for (uint64_t a = addr; a < addr + 15 && bytes.count(a); ++a)
            code.push_back(bytes[a]);
        if (code.size() < 15 && std::next(lengths.find(addr)) == lengths.end())
            continue; // the window's last instruction
        cv::TInstructionInfo info;
        ASSERT_TRUE(cv::DecodeInstruction(code, true, info)) << std::hex << addr << " " << text[addr].toStdString();
        ASSERT_EQ(info.Length, length) << std::hex << addr << " " << text[addr].toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 1000u);
}

TEST(InstructionLength, AgreesWithObjdumpOnTheCLibrary)
{
    const QString libc = QStringLiteral("/lib/x86_64-linux-gnu/libc.so.6");
    CompareWithObjdump(libc, QStringLiteral("memcpy@GLIBC_2.2.5"), 0x10000);
    CompareWithObjdump(libc, QStringLiteral("__nss_database_lookup@GLIBC_2.2.5"), 0x10000);
}

} // namespace
