#pragma once
// An x86 instruction-length decoder for 32-bit code and for x86-64 long
// mode: prefixes (legacy, REX, VEX, EVEX), one-, two- and three-byte opcode
// maps, ModR/M, SIB, displacements and immediates. Besides the length it
// tells where a relative branch or a RIP-relative operand keeps its
// displacement, so that code can be moved (the inline hooks' trampolines).
// It reads only the bytes it is given and refuses what it does not know.

#include <cstdint>
#include <span>

namespace cv {

struct TInstructionInfo {
    uint8_t Length = 0;
    // Offset and size (1 or 4; 2 for 16-bit operands in 32-bit code) of a
    // relative branch's displacement; 0 size when there is none.
    uint8_t RelOffset = 0;
    uint8_t RelSize = 0;
    // Offset of the 32-bit displacement of a RIP-relative memory operand; 0 when there is none.
    uint8_t RipDispOffset = 0;
    bool IsCall = false;          // E8, or FF /2, /3
    bool IsReturn = false;        // C2, C3, CA, CB, CF
    bool EndsFlow = false;        // control never reaches the next instruction: return, unconditional jump, trap
    bool IsConditional = false;   // Jcc, JCXZ, LOOP
};

// Decodes the instruction at the start of code; false when it is not a
// known instruction or does not fit in the bytes given.
bool DecodeInstruction(std::span<const uint8_t> code, bool mode64, TInstructionInfo& info);

// Copies up to most bytes of this process's memory from address into
// buffer, as many as can be read there; returns how many. Memory probed
// this way may lie anywhere (in padding between objects too): the copy is
// what gets examined.
size_t ReadCodeBytes(const void* address, uint8_t* buffer, size_t most);

// The length of the instruction at the address of this process's code
// (x86-64); false when it is not understood or cannot be read.
bool GetInstructionLength(const void* address, uint32_t& length);

// The size of the routine that starts at the address: up to and including
// its first return instruction; 0 when an instruction on the way is not
// understood or no return comes within maxBytes.
uint32_t ProcedureSize(std::span<const uint8_t> code, bool mode64);

} // namespace cv
