#pragma once
// The x86 disassembler of the crash report's assembler listing: one
// instruction at a time into one line of Intel-syntax text, for 32-bit code
// and for x86-64 long mode (REX, VEX and EVEX encodings included).
//
// Decoding is driven by tables of text templates, one per opcode
// (disassembler_tables.h describes the template language). Numbers are
// written in the listing's own form: "$" and hexadecimal digits, two per
// byte of the field; displacements and signed immediates with "+$" or "-$";
// relative jump and call targets as their displacement.
//
// Through optional events the owner learns of jump and call targets, of
// absolute addresses the instruction refers to (RIP-relative operands are
// resolved to theirs), of register-relative displacements and of
// immediates, and may append text (symbolic comments) to the line at the
// operand concerned. Text an event appends is never expanded further.
//
// Decoding never reads past the bytes it is given and never raises: bytes
// that are no instruction, or an instruction cut off by the end of the
// bytes, are written as a data line ("DB      $0F, $FF  //???").

#include <cstdint>
#include <span>
#include <string>

namespace cv {

// A relative jump's absolute target (conditional jumps, loops and jmp).
using TJumpInstrProc = void (*)(void* param, uint64_t target, std::string& line);
// A relative call's absolute target.
using TCallInstrProc = void (*)(void* param, uint64_t target, std::string& line);
// An absolute address the instruction refers to: a memory operand without
// base register, a direct offset, or the address of a RIP-relative operand.
using TAddressRefProc = void (*)(void* param, uint64_t address, std::string& line);
// The displacement of a memory operand relative to a base or index register.
using TRefProc = void (*)(void* param, int64_t displacement, std::string& line);
// An immediate operand: its value (sign-extended when signed), its position
// from the instruction's first byte and its size in bytes.
using TImmidiateDataProc = void (*)(void* param, uint64_t value, int32_t position, int32_t size,
                                    bool isSigned, std::string& line);

enum class TDisAsmMode : uint8_t {
    x86_32, // protected-mode 32-bit code
    x86_64, // long mode
};

class TDisAsm {
public:
    TJumpInstrProc OnJumpInstr = nullptr;
    TCallInstrProc OnCallInstr = nullptr;
    TAddressRefProc OnAddressRef = nullptr;
    TRefProc OnRef = nullptr;
    TImmidiateDataProc OnImmidiateData = nullptr;
    void* Param = nullptr; // handed back to every event

    // The mode of the code decoded; the process's own code is long mode.
    explicit TDisAsm(TDisAsmMode mode = TDisAsmMode::x86_64) : FMode(mode) {}

    TDisAsmMode Mode() const { return FMode; }
    void SetMode(TDisAsmMode mode) { FMode = mode; }

    // The text of the instruction whose bytes start `code`, placed at
    // `address`, and its length in bytes (at least 1 for non-empty code,
    // never more than code.size(); 0 and an empty text for empty code).
    std::string GetInstruction(std::span<const uint8_t> code, uint64_t address, int32_t& size) const;
    // The same into `text`, whose capacity is reused: with room for 256
    // characters decoding takes no memory from the heap (the crash report
    // decodes when the heap may be what broke), unless an event's text
    // makes the line longer.
    int32_t GetInstruction(std::span<const uint8_t> code, uint64_t address, std::string& text) const;

private:
    TDisAsmMode FMode;
};

} // namespace cv
