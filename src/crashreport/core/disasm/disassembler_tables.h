#pragma once
// The disassembler's template tables (used by disassembler.cpp only).
//
// Each opcode has a text template, written in lower case with the mnemonic
// padded to 8 characters ("add     #Eb , #Gb "). The decoder expands a
// template from left to right:
//
// "#" + addressing letter + size letter + one more character (a blank, or
//     "j" / "c" for a relative jump / call target): one operand.
//   Addressing letters (the Intel opcode maps' letters where they fit):
//     A far pointer           C control register "C%d"   D debug register "D%d"
//     E register or memory (ModR/M)                      G general register (reg field)
//     H signed immediate      I unsigned immediate       J relative target
//     M memory only           O direct memory offset     P MMX register "MM%d" (reg)
//     Q MMX register or memory                           R general register (r/m)
//     S segment register      T test register "T%d"
//     B F K L N: no text at all (nor any letter the decoder does not know)
//   Added for today's instruction set:
//     U vector register (r/m)  V vector register (reg)   W vector register or memory
//     X vector register (VEX/EVEX vvvv)                  Y vector register (imm8 bits 7-4)
//     Z general register from the opcode's low three bits (and REX.B)
//     g general register (vvvv)                          k mask register (reg)
//     l mask register or memory (r/m)                    h mask register (vvvv)
//   Size letters: b w d q t (1, 2, 4, 8, 10 bytes), v operand size,
//     p far pointer (operand size + 2),
//     and added: s stack size (64 bits in long mode; an immediate of 16 or
//     32 bits), y 32 or 64 bits (W),
//     k the mode's address width, r operand size for a register but a word
//     in memory, u operand size (an immediate of up to 8 bytes), n none
//     (memory of no particular size), a 16 bytes named "oword", o 16 bytes, x the vector length,
//     h half of it, c a quarter, e an eighth, Y 32 bytes, z 64 bytes.
//   A vector register's name follows its size (xmm, ymm, zmm), a scalar
//   size (b w d q) names an xmm register.
//
// "@" + command letter + argument: a command.
//   @c2        continue with the two-byte table at the next byte
//   @ca..@ch   continue with floating-point escape block 0xD8..0xDF
//   @p?        segment override e c s d f g; continue at the next byte
//   @so @sa    operand / address size 16 (32 in long mode); continue
//   @sl @sr @sn  lock, rep (F3), repne (F2); continue at the next byte
//   @r0..@rf   REX prefix with that low nibble; continue at the next byte
//   @v2 @v3 @v4  VEX (C5, C4) and EVEX (62) prefixes
//   @x1 @x2 @x3  the extended table: opcode map 0F (this byte), 0F 38 and
//              0F 3A (the next byte), chosen by mandatory prefix
//   @g?        insert the group mnemonic (group letter, by the reg field)
//   @h?        insert the group operand tail (tail digit, by the reg field)
//   @e?        "e" before the letter with operand size 32, "r" with 64
//   @d?        "e" before the letter unless the operand size is 16 (in, out)
//   @o1 @o4    string suffix: "b", or "w" / "d" / "q" by operand size
//   @m?        mark the instruction for a size prefix (they always are)
//   @z?        mnemonic by operand size (cbw / cwde / cdqe, ...)
//   @a?        mnemonic by address size (jcxz / jecxz / jrcxz)
//   @y?        an opcode decided by code (nop / pause / xchg, pop / XOP, ...)
//   @f?        branch (b), indirect branch (n), string op (s), compared
//              string op (z): how unused prefixes are named
//   @b?        EVEX broadcast element: 2, 4, 8 bytes, or w (4 or 8 by W)
//   @ur @us    EVEX register form takes rounding control / suppress-all
//   @i?        comparison predicate taken from the immediate into the
//              mnemonic; the immediate operand then writes nothing
//   @V?        VSIB memory operand, index vector x (vector length) or h (half)
//
// "\t" pads the line with blanks to 8 characters (at least one).
//
// A template that begins with "%c" is data: the line becomes "DB      $xx"
// for the first byte, ", $xx" for each further byte of the instruction and
// "  //" with the rest of the template as a comment.
//
// An absent entry (nullptr) gives "???".

#include <cstdint>
#include <span>

namespace cv::disasm {

extern const char* const kOneByte[256];
// Long mode entries that differ from the 32-bit ones (nullptr: the same).
extern const char* const kOneByteLong[256];
extern const char* const kTwoByte[256];
extern const char* const kGroupMnemonics[12 * 8];
extern const char* const kGroupTails[4 * 8];
extern const char* const kFloat[8 * 72];
// @z and @a: names for operand (or address) size 16, 32, 64.
extern const char* const kSizedNames[][3];

// The extended table: opcode maps 0F, 0F 38 and 0F 3A, by mandatory prefix
// (or VEX / EVEX pp), encoding, W, vector length and ModR/M fields.
enum : uint8_t { kNoPrefix = 0, kPrefix66 = 1, kPrefixF3 = 2, kPrefixF2 = 3 };
enum : uint8_t { kLegacy = 1, kVex = 2, kEvex = 4 };

struct TExtEntry {
    uint8_t prefix = kNoPrefix;
    uint8_t encodings = 0;
    int8_t w = -1;   // -1: any
    int8_t l = -1;   // vector length 0, 1, 2; -1: any
    int8_t mod = -1; // 3: register form only, 0: memory form only; -1: any
    int8_t reg = -1; // reg field, -1: any
    int8_t rm = -1;  // r/m field of a register form, -1: any
    const char* tpl = nullptr;
};

// The entries of one opcode of a map (1 = 0F, 2 = 0F 38, 3 = 0F 3A), in
// order of preference.
std::span<const TExtEntry> ExtEntries(int map, uint8_t opcode);

} // namespace cv::disasm
