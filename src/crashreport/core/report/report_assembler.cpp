#include "crashreport/core/report/report_assembler.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>

#include "crashreport/core/disasm/disassembler.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/utf_conversion.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

constexpr uintptr_t kWindow = 70;        // bytes listed on either side of the exception address
constexpr std::size_t kAround = 10;      // instructions before and after it
constexpr std::size_t kLongest = 15;     // the longest instruction
constexpr uintptr_t kLead = 256;         // bytes decoded before the window to fall into step
constexpr uintptr_t kPage = 4096;
constexpr std::size_t kTextChars = 32;   // characters of a text an operand points to
constexpr std::size_t kStackSlots = 16;  // lines of the dump
constexpr std::size_t kDumpBytes = 16;   // bytes of a dump line

std::string Hex16(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

// The unit without its extension, the class and the procedure joined by ".".
std::string QualifiedName(const TCrashboxDebugInfo& info)
{
    std::string name;
    for (const std::string& part : {ChangeFileExt(info.UnitName, ""), info.ClassName, info.ProcedureName}) {
        if (part.empty())
            continue;
        if (!name.empty())
            name += '.';
        name += part;
    }
    return name;
}

bool HasProcedure(const TCrashboxDebugInfo& info)
{
    return info.DebugDetail >= TCrashboxDebugDetail::ddProcedure && !info.ProcedureName.empty();
}

// The comments the disassembler's events collect for one instruction.
struct TCommentContext {
    const TReportProcessView* process = nullptr;
    std::vector<std::string> comments;

    void Add(std::string text)
    {
        if (!text.empty() && std::find(comments.begin(), comments.end(), text) == comments.end())
            comments.push_back(std::move(text));
    }

    // The procedure at the address: "unit.Class.Procedure (Line=N)".
    std::string Symbol(uint64_t address) const
    {
        TCrashboxDebugInfo info;
        if (!process->Locate(uintptr_t(address), info) || !HasProcedure(info))
            return {};
        std::string name = QualifiedName(info);
        if (info.Line > 1)
            name += " (Line=" + std::to_string(info.Line) + ")";
        return name;
    }

    // The text the address points to: "'text'", "'text...'" when no zero
    // ends it within 32 characters; empty when it is not text (a control
    // character other than tab, CR and LF, or bytes that are no UTF-8).
    std::string Text(uint64_t address) const
    {
        const std::vector<uint8_t> bytes = ReadReadablePrefix(*process, uintptr_t(address), kTextChars * 4 + 1);
        const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::string text;
        std::size_t at = 0, chars = 0;
        bool ended = false;
        while (chars < kTextChars && at < raw.size()) {
            const unsigned char c = static_cast<unsigned char>(raw[at]);
            if (c == 0) {
                ended = true;
                break;
            }
            if (c < ' ' || c == 127) {
                if (c != '\t' && c != '\r' && c != '\n')
                    return {};
                text += '.';
                ++at;
            } else {
                const std::size_t length = Utf8CharAt(raw, at);
                if (length == 0)
                    return {};
                text.append(raw.substr(at, length));
                at += length;
            }
            ++chars;
        }
        if (chars == kTextChars && at < raw.size() && raw[at] == 0)
            ended = true;
        if (chars == 0)
            return {};
        return "'" + text + (ended ? "'" : "...'");
    }

    void Reference(uint64_t address)
    {
        std::string name = Symbol(address);
        if (name.empty())
            name = process->ObjectClassName(uintptr_t(address));
        if (name.empty())
            name = Text(address);
        Add(std::move(name));
    }
};

void OnTarget(void* param, uint64_t target, std::string&)
{
    auto* context = static_cast<TCommentContext*>(param);
    context->Add(context->Symbol(target));
}

void OnAddress(void* param, uint64_t address, std::string&) { static_cast<TCommentContext*>(param)->Reference(address); }

void OnImmediate(void* param, uint64_t value, int32_t, int32_t size, bool isSigned, std::string&)
{
    // Only an operand as wide as an address can point to text.
    if ((size == 4 && !isSigned) || size == 8)
        static_cast<TCommentContext*>(param)->Add(static_cast<TCommentContext*>(param)->Text(value));
}

// The instruction starts from `first` on when decoding lands exactly on
// `target`; empty when it steps over it.
std::vector<uintptr_t> StartsReaching(const TDisAsm& decoder, std::span<const uint8_t> code, uintptr_t codeStart,
                                      uintptr_t first, uintptr_t target, std::string& scratch)
{
    std::vector<uintptr_t> starts;
    uintptr_t at = first;
    while (at < target) {
        starts.push_back(at);
        const int32_t size = decoder.GetInstruction(code.subspan(at - codeStart), at, scratch);
        if (size <= 0)
            return {};
        at += uintptr_t(size);
    }
    if (at != target)
        starts.clear();
    return starts;
}

// The instructions before the exception address that start in the window,
// the last ten of them. x86 code can be decoded from any byte, and a wrong
// start falls into step with the right one only after some instructions:
// decoding starts up to kLead bytes before the window where memory can be
// read, and the earliest start that lands exactly on the address is taken.
std::vector<uintptr_t> InstructionsBefore(const TDisAsm& decoder, std::span<const uint8_t> code, uintptr_t codeStart,
                                          uintptr_t windowStart, uintptr_t exceptionAddress)
{
    std::string scratch;
    scratch.reserve(256);
    for (uintptr_t first = codeStart; first < exceptionAddress; ++first) {
        std::vector<uintptr_t> starts = StartsReaching(decoder, code, codeStart, first, exceptionAddress, scratch);
        if (starts.empty())
            continue;
        starts.erase(starts.begin(), std::lower_bound(starts.begin(), starts.end(), windowStart));
        if (starts.size() > kAround)
            starts.erase(starts.begin(), starts.end() - std::ptrdiff_t(kAround));
        return starts;
    }
    return {};
}

struct TListingLine {
    std::string code;    // address, two blanks, instruction
    std::string comment; // without its "; "
    bool isComment = false;
};

} // namespace

std::vector<std::string> AssemblerListingLines(const TReportProcessView& process, uintptr_t exceptionAddress)
{
    uint8_t probe = 0;
    if (!process.ReadMemory(exceptionAddress, std::span(&probe, 1)))
        return {};

    // The window: from 70 bytes before the address, moved forward to where
    // memory is readable up to the address (that changes only at a page
    // boundary), to 70 bytes after it, moved back to the last readable
    // byte. Up to 15 bytes more are read so that the last instruction
    // starting in the window is decoded whole, and bytes before the window
    // for decoding to fall into step.
    uintptr_t codeStart = exceptionAddress >= kWindow + kLead ? exceptionAddress - kWindow - kLead : 0;
    while (codeStart < exceptionAddress) {
        std::vector<uint8_t> head(exceptionAddress - codeStart + 1);
        if (process.ReadMemory(codeStart, head))
            break;
        codeStart = std::min((codeStart | (kPage - 1)) + 1, exceptionAddress);
    }
    const uintptr_t windowStart = std::max(codeStart, exceptionAddress >= kWindow ? exceptionAddress - kWindow : 0);
    const std::vector<uint8_t> code = ReadReadablePrefix(process, codeStart, exceptionAddress - codeStart + kWindow + 1 + kLongest);
    const uintptr_t windowEnd = codeStart + std::min<std::size_t>(code.size(), exceptionAddress - codeStart + kWindow + 1);

    TCommentContext comments;
    comments.process = &process;
    TDisAsm decoder(TDisAsmMode::x86_64);
    std::vector<uintptr_t> starts = InstructionsBefore(decoder, code, codeStart, windowStart, exceptionAddress);
    decoder.Param = &comments;
    decoder.OnJumpInstr = OnTarget;
    decoder.OnCallInstr = OnTarget;
    decoder.OnAddressRef = OnAddress;
    decoder.OnImmidiateData = OnImmediate;

    std::vector<TListingLine> lines;
    std::string header, text;
    text.reserve(256);
    bool firstBlock = true;
    std::size_t after = 0;
    for (uintptr_t at = starts.empty() ? exceptionAddress : starts.front(); at < windowEnd;) {
        // A block of comment lines where the source position changes.
        TCrashboxDebugInfo info;
        if (process.Locate(at, info) && HasProcedure(info)) {
            const std::string name = QualifiedName(info) + " (Line=" + std::to_string(info.Line)
                                     + " - Offset=" + std::to_string(int32_t(info.ProcOffsetLine)) + ")";
            if (name != header) {
                if (!firstBlock)
                    lines.push_back({";", {}, true});
                lines.push_back({"; " + name, {}, true});
                lines.push_back({"; " + std::string(name.size(), '-'), {}, true});
                header = name;
                firstBlock = false;
            }
        }

        comments.comments.clear();
        const std::span<const uint8_t> bytes = std::span(code).subspan(at - codeStart);
        const int32_t size = decoder.GetInstruction(bytes, at, text);
        TListingLine line{Hex16(at) + "  " + text, {}, false};
        for (const std::string& comment : comments.comments)
            line.comment += (line.comment.empty() ? "" : ", ") + comment;
        if (at == exceptionAddress)
            line.comment += (line.comment.empty() ? "" : " ") + std::string("<-- EXCEPTION");
        lines.push_back(std::move(line));

        const uint8_t opcode = bytes.front();
        if (size <= 0)
            break;
        if (at > exceptionAddress && (++after == kAround || (opcode >= 0xC2 && opcode <= 0xCB)))
            break;
        at += uintptr_t(size);
    }

    // Comments stand in one column, two blanks after the longest instruction.
    std::size_t column = 0;
    for (const TListingLine& line : lines)
        if (!line.isComment)
            column = std::max(column, line.code.size() + 2);
    std::vector<std::string> result;
    result.reserve(lines.size());
    for (TListingLine& line : lines)
        result.push_back(line.comment.empty() ? std::move(line.code) : PadRight(line.code, column) + "; " + line.comment);
    return result;
}

std::string CPUBlock(const TCrashboxModuleOptions& options, const TReportProcessView& process, const ucontext_t* context,
                     uintptr_t exceptionAddress)
{
    // The registers four to a row: the first two columns as 32-bit reports
    // have them (widened to 64 bits), then the registers x86-64 adds.
    struct TRegister {
        const char* name;
        int index;
    };
    static constexpr TRegister kRows[][4] = {
        {{"RAX", REG_RAX}, {"RDI", REG_RDI}, {"R8 ", REG_R8}, {"R12", REG_R12}},
        {{"RBX", REG_RBX}, {"RSI", REG_RSI}, {"R9 ", REG_R9}, {"R13", REG_R13}},
        {{"RCX", REG_RCX}, {"RSP", REG_RSP}, {"R10", REG_R10}, {"R14", REG_R14}},
        {{"RDX", REG_RDX}, {"RIP", REG_RIP}, {"R11", REG_R11}, {"R15", REG_R15}},
        {{"RBP", REG_RBP}, {"EFL", REG_EFL}, {nullptr, 0}, {nullptr, 0}},
    };
    const bool known = context && IsReadableMemory(context, sizeof(ucontext_t));
    std::string rows;
    std::size_t ruleWidth = 0;
    for (const auto& row : kRows) {
        std::string line;
        for (const TRegister& reg : row) {
            if (!reg.name)
                break;
            if (!line.empty())
                line += "   ";
            line += std::string(reg.name) + ": "
                    + (known && RegisterKnown(*context, reg.index) ? Hex16(uint64_t(context->uc_mcontext.gregs[reg.index]))
                                                                   : PadRight("????", 16));
        }
        ruleWidth = std::max(ruleWidth, line.size());
        rows += line + "\r\n";
    }

    constexpr std::size_t kStackWidth = 16 + 2 + 16;                      // "address: value"
    constexpr std::size_t kDumpWidth = 16 + 2 + kDumpBytes * 3 + 1 + kDumpBytes; // "address: bytes  chars"
    std::string text = options.GetExpandedText(mtCPU_Registers) + ":\r\n" + std::string(ruleWidth, '-') + "\r\n" + rows + "\r\n"
                       + PadRight(options.GetExpandedText(mtCPU_Stack) + ":", kStackWidth + 3)
                       + options.GetExpandedText(mtCPU_MemoryDump) + ":\r\n" + std::string(kStackWidth, '-') + "   "
                       + std::string(kDumpWidth, '-') + "\r\n";

    if (!known || !RegisterKnown(*context, REG_RSP))
        return text;
    const uintptr_t stackPointer = uintptr_t(context->uc_mcontext.gregs[REG_RSP]);
    std::array<uint8_t, kStackSlots * sizeof(uint64_t)> stack{};
    std::array<uint8_t, kStackSlots * kDumpBytes> dump{};
    if (!process.ReadMemory(stackPointer, stack) || !process.ReadMemory(exceptionAddress, dump))
        return text;
    for (std::size_t i = 0; i < kStackSlots; ++i) {
        uint64_t slot = 0;
        std::memcpy(&slot, stack.data() + i * sizeof slot, sizeof slot);
        text += Hex16(stackPointer + i * sizeof slot) + ": " + Hex16(slot) + " " + Hex16(exceptionAddress + i * kDumpBytes) + ": ";
        std::string chars;
        for (std::size_t k = 0; k < kDumpBytes; ++k) {
            const uint8_t byte = dump[i * kDumpBytes + k];
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X ", byte);
            text += hex;
            chars += byte >= 32 && byte <= 126 ? char(byte) : '.';
        }
        text += " " + chars + "\r\n";
    }
    return text;
}

} // namespace cv
