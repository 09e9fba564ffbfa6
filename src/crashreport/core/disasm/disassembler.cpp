#include "crashreport/core/disasm/disassembler.h"

#include "crashreport/core/disasm/disassembler_tables.h"

#include <array>
#include <cstring>
#include <string_view>

namespace cv {

namespace {

using namespace disasm;

const char* const kRegs8Legacy[8] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const kRegs8[16] = {"al", "cl", "dl", "bl", "spl", "bpl", "sil", "dil",
                                "r8b", "r9b", "r10b", "r11b", "r12b", "r13b", "r14b", "r15b"};
const char* const kRegs16[16] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di",
                                 "r8w", "r9w", "r10w", "r11w", "r12w", "r13w", "r14w", "r15w"};
const char* const kRegs32[16] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi",
                                 "r8d", "r9d", "r10d", "r11d", "r12d", "r13d", "r14d", "r15d"};
const char* const kRegs64[16] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi",
                                 "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15"};
const char* const kSegments[8] = {"es", "cs", "ss", "ds", "fs", "gs", nullptr, nullptr};
const char* const kAddr16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};

// Predicate names that @i takes into the mnemonic.
const char* const kCmpPredicates[32] = {
    "eq", "lt", "le", "unord", "neq", "nlt", "nle", "ord",
    "eq_uq", "nge", "ngt", "false", "neq_oq", "ge", "gt", "true",
    "eq_os", "lt_oq", "le_oq", "unord_s", "neq_us", "nlt_uq", "nle_uq", "ord_s",
    "eq_us", "nge_uq", "ngt_uq", "false_os", "neq_os", "ge_oq", "gt_oq", "true_us"};
const char* const kIntPredicates[8] = {"eq", "lt", "le", nullptr, "neq", "nlt", "nle", nullptr};

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr const char* kUndefined = "%c???";
constexpr size_t kMaxInstruction = 15;

enum class Encoding : uint8_t { Legacy, Vex, Evex };

// A prefix byte in order of appearance, and whether the instruction made use
// of it (one it did not use is named before the mnemonic, as "data16").
struct PrefixByte {
    uint8_t value = 0;
    bool used = false;
};

class Decoder {
public:
    Decoder(const TDisAsm& owner, std::span<const uint8_t> code, uint64_t address, std::string& out)
        : fOwner(owner), fCode(code.data()), fAvail(std::min(code.size(), kMaxInstruction)),
          fAddress(address), fLong(owner.Mode() == TDisAsmMode::x86_64), fOut(out)
    {
    }

    int32_t Run();

private:
    // --- reading: never past the bytes given ---
    uint8_t Next()
    {
        if (fPos < fAvail)
            return fCode[fPos++];
        fTruncated = true;
        return 0;
    }
    uint8_t Peek(size_t ahead) const { return fPos + ahead < fAvail ? fCode[fPos + ahead] : 0; }
    uint64_t ReadLE(int bytes)
    {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t(Next()) << (8 * i);
        return v;
    }

    // --- templates ---
    void Expand(const char* t);
    const char* Command(char cmd, char arg, const char* rest);
    void Operand(char letter, char size, char term, const char* rest);
    const char* OneByteTemplate(uint8_t b) const
    {
        const char* t = fLong && kOneByteLong[b] ? kOneByteLong[b] : kOneByte[b];
        return t ? t : "???";
    }
    const char* Compose(const char* insert, const char* rest);
    const char* Prefix(uint8_t value);
    const char* Special(char which);
    const char* Extended(int map, uint8_t opcode);
    const char* VexPrefix(char kind);
    const char* Undefined(int immediateBytes);
    bool HasVexTwin(std::span<const TExtEntry> entries, const TExtEntry& evex) const;
    int ImmediateBytesIn(const char* rest);

    // --- operands ---
    void ModRM()
    {
        if (!fHaveModRM) {
            fModRM = Next();
            fHaveModRM = true;
        }
    }
    int Mod() const { return fModRM >> 6; }
    int RegField() const { return (fModRM >> 3) & 7; }
    int RmField() const { return fModRM & 7; }
    int ModRMOperandLength();
    void SkipModRMOperand();
    void SegmentOverride();
    void Memory(int size, const char* rest);
    void Register(int size, int index);
    void VectorRegister(int bytes, int index);
    void MaskDecoration();
    int Size(char sizeLetter);
    int VectorSize(char sizeLetter) const;
    int OpSize();
    int StackSize();
    bool IsPrefixByte(uint8_t b) const
    {
        return b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3 || b == 0x26 || b == 0x2E || b == 0x36 ||
               b == 0x3E || b == 0x64 || b == 0x65 || (fLong && (b & 0xF0) == 0x40);
    }
    int AddressSize() const { return fLong ? (fHas67 ? 4 : 8) : (fHas67 ? 2 : 4); }
    void UseOpSizePrefix() { Use(fLast66); }
    void UseAddressSizePrefix() { Use(fLast67); }
    void Use(int index)
    {
        if (index >= 0)
            fPrefixes[size_t(index)].used = true;
    }
    int RexR() { return Rex(4); }
    int RexX() { return Rex(2); }
    int RexB() { return Rex(1); }
    int Rex(int bit)
    {
        if (!(fRex & bit))
            return 0;
        fRexUsed |= bit;
        return 1;
    }
    bool RexW()
    {
        if (fEncoding == Encoding::Legacy && !(fRex & 8))
            return false;
        if (fEncoding != Encoding::Legacy)
            return fLong && fVexW;
        fRexUsed |= 8;
        return true;
    }

    // --- text ---
    void Put(const char* s) { fOut.append(s); }
    void Put(char c) { fOut.push_back(c); }
    void Hex(uint64_t v, int digits);
    void Signed(int64_t v, int digits);
    void Pad();
    void Finish();
    size_t PrefixNames(char* out, size_t room);

    const TDisAsm& fOwner;
    const uint8_t* fCode;
    size_t fAvail;
    uint64_t fAddress;
    bool fLong;
    std::string& fOut;

    size_t fPos = 0;
    bool fTruncated = false;
    bool fData = false;         // the line is a "DB" line
    bool fPrefixOnly = false;   // a REX prefix followed by another prefix
    uint8_t fOpcode = 0;        // the opcode byte last read
    int fMap = 0;               // its table: 0 one byte, 1 0F, 2 0F 38, 3 0F 3A
    size_t fOpcodeEnd = 0;      // bytes of prefixes and opcode: what undefined bytes take
    bool fUnknown = false;      // no entry for a well-formed instruction: its whole length is data
    bool fMemoryDone = false;   // the ModR/M memory operand has been read
    int fPendingImmediate = 0;  // an imm8 read ahead of the memory operand before it

    std::array<PrefixByte, kMaxInstruction + 1> fPrefixes{};
    size_t fPrefixCount = 0;
    int fLast66 = -1, fLast67 = -1, fLastSeg = -1, fLastRep = -1;
    bool fHas66 = false, fHas67 = false;
    uint8_t fRex = 0;      // 0x40..0x4F, or 0
    int fRexIndex = -1;
    int fRexUsed = 0;      // bits of the REX prefix the instruction used
    bool fRexByteRegs = false;

    Encoding fEncoding = Encoding::Legacy;
    bool fVexW = false;
    int fVexL = 0;         // 0, 1, 2: 128, 256, 512 bits
    int fVvvv = 0;
    int fVexPrefix = 0;    // pp: none, 66, F3, F2
    int fEvexR2 = 0, fEvexV2 = 0, fEvexX = 0;
    int fMaskReg = 0;
    bool fZeroing = false, fEvexB = false;

    bool fHaveModRM = false;
    uint8_t fModRM = 0;

    bool fSizePrefix = true;     // memory operands are written with their size
    size_t fSizeMarker = std::string::npos;
    int fMemSize = 0;
    bool fOword = false;         // cmpxchg16b's operand is named "oword"
    int fBroadcast = 0;          // EVEX broadcast element size of this opcode
    char fRounding = 0;          // 'r' rounding control, 's' suppress-all-exceptions
    int fVsib = 0;               // VSIB index: 1 vector length, 2 half of it
    bool fPredicateTaken = false;
    int fOperands = 0;

    bool fVexTwin = false;      // an EVEX instruction that VEX has too
    bool fNeedsEvex = false;    // an operand only EVEX can name (zmm, register 16-31, mask)
    bool fWait = false; // a wait (9B) before an x87 instruction, named "fwait"
    bool fBranch = false, fIndirectBranch = false, fStringOp = false, fComparedStringOp = false;
    std::array<char, 2 * 192> fScratch; // written before it is read
    int fScratchSide = 0;
};

int32_t Decoder::Run()
{
    fOut.clear();
    if (fAvail == 0)
        return 0;
    fOpcode = Next();
    fOpcodeEnd = fPos;
    Expand(OneByteTemplate(fOpcode));
    if (fPendingImmediate)
        Next();
    Finish();
    return int32_t(fPos);
}

void Decoder::Expand(const char* t)
{
    while (t && *t) {
        switch (*t) {
        case '#':
            if (!t[1] || !t[2] || !t[3])
                return;
            Operand(t[1], t[2], t[3], t + 4);
            t += 4;
            break;
        case '@':
            if (!t[1] || !t[2])
                return;
            t = Command(t[1], t[2], t + 3);
            break;
        case '%':
            if (t[1] == 'c') {
                fData = true;
                t += 2;
            } else {
                Put(*t++);
            }
            break;
        case '\t':
            Pad();
            ++t;
            break;
        default: {
            // A run of plain text at once.
            const char* end = t + 1;
            while (*end && *end != '#' && *end != '@' && *end != '%' && *end != '\t')
                ++end;
            fOut.append(t, size_t(end - t));
            t = end;
            break;
        }
        }
    }
}

// Places `insert` before `rest` in a scratch buffer (the other side of the
// one `rest` may lie in), for the group commands.
const char* Decoder::Compose(const char* insert, const char* rest)
{
    fScratchSide ^= 1;
    char* buf = fScratch.data() + fScratchSide * 192;
    size_t a = std::strlen(insert);
    size_t b = std::strlen(rest);
    if (a + b >= 192)
        return insert;
    std::memmove(buf + a, rest, b + 1);
    std::memcpy(buf, insert, a);
    return buf;
}

const char* Decoder::Command(char cmd, char arg, const char* rest)
{
    switch (cmd) {
    case 'c': // continue: two-byte table, or floating-point escape block
        if (arg == '2') {
            fOpcode = Next();
            fOpcodeEnd = fPos;
            fMap = 1;
            const char* t = kTwoByte[fOpcode];
            return t ? t : "???";
        }
        if (arg >= 'a' && arg <= 'h') {
            ModRM();
            fOpcodeEnd = fPos; // the ModR/M byte belongs to the opcode here
            const size_t block = size_t(arg - 'a') * 72;
            const char* t = Mod() == 3 ? kFloat[block + 8 + (fModRM - 0xC0)] : kFloat[block + size_t(RegField())];
            if (fWait && t) {
                // The control instructions that do not wait have a waiting name.
                static const char* const kWaiting[][2] = {{"fnstsw  ", "fstsw   "}, {"fnstcw  ", "fstcw   "},
                                                          {"fnstenv ", "fstenv  "}, {"fnsave  ", "fsave   "},
                                                          {"fnclex", "fclex"}, {"fninit", "finit"}};
                for (const auto& w : kWaiting)
                    if (std::strncmp(t, w[0], std::strlen(w[0])) == 0) {
                        fWait = false;
                        return Compose(w[1], t + std::strlen(w[0]));
                    }
            }
            return t ? t : "???";
        }
        return "???";
    case 'p': { // segment override
        static constexpr char kLetters[] = "ecsdfg";
        const char* p = std::strchr(kLetters, arg);
        static constexpr uint8_t kBytes[] = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65};
        return Prefix(p ? kBytes[p - kLetters] : 0x3E);
    }
    case 's':
        switch (arg) {
        case 'o': return Prefix(0x66);
        case 'a': return Prefix(0x67);
        case 'l': return Prefix(0xF0);
        case 'r': return Prefix(0xF3);
        case 'n': return Prefix(0xF2);
        default: return rest;
        }
    case 'r': { // REX
        if (fRex) {
            // A second REX: the first one stands alone.
            --fPos;
            fPrefixOnly = true;
            return nullptr;
        }
        const int nibble = arg <= '9' ? arg - '0' : arg - 'a' + 10;
        fRex = uint8_t(0x40 | nibble);
        fRexIndex = int(fPrefixCount);
        if (fPrefixCount < fPrefixes.size())
            fPrefixes[fPrefixCount++] = {fRex, false};
        fOpcode = Next();
        fOpcodeEnd = fPos;
        const char* t = OneByteTemplate(fOpcode);
        if (t[0] == '@' && (t[1] == 'p' || t[1] == 's' || t[1] == 'r')) {
            // A legacy prefix after REX: the REX stands alone.
            --fPos;
            fPrefixOnly = true;
            return nullptr;
        }
        return t;
    }
    case 'v':
        return VexPrefix(arg);
    case 'x':
        if (arg == '1')
            return Extended(1, fOpcode);
        fOpcode = Next();
        fOpcodeEnd = fPos;
        fMap = arg == '2' ? 2 : 3;
        return Extended(fMap, fOpcode);
    case 'g': { // group mnemonic
        ModRM();
        const size_t group = size_t(arg - 'a');
        const char* m = group < 12 ? kGroupMnemonics[group * 8 + size_t(RegField())] : nullptr;
        return Compose(m ? m : "???", rest);
    }
    case 'h': { // group operand tail
        ModRM();
        const size_t tail = size_t(arg - '0');
        const char* m = tail < 4 ? kGroupTails[tail * 8 + size_t(RegField())] : nullptr;
        return Compose(m ? m : "", rest);
    }
    case 'e': // eax / ax / rax
        switch (OpSize()) {
        case 4: Put('e'); break;
        case 8: Put('r'); break;
        default: break;
        }
        Put(arg);
        return rest;
    case 'd': // eax or ax: in and out have no 64-bit form
        if (!fHas66)
            Put('e');
        else
            UseOpSizePrefix();
        Put(arg);
        return rest;
    case 'o': // string suffix
        if (arg == '1') {
            Put('b');
        } else {
            const int size = OpSize();
            Put(size == 2 ? 'w' : size == 4 ? 'd' : 'q');
        }
        return rest;
    case 'm':
        fSizePrefix = true;
        return rest;
    case 'z':
    case 'a': {
        const int row = arg <= '9' ? arg - '0' : arg - 'a' + 10;
        int size;
        if (cmd == 'a' || row == 10) {
            size = AddressSize();
            UseAddressSizePrefix();
        } else if (row == 2 || row == 3 || row == 5 || row == 6 || row == 7) {
            size = StackSize();
        } else {
            size = OpSize();
        }
        Put(kSizedNames[row][size == 2 ? 0 : size == 4 ? 1 : 2]);
        if (*rest)
            Pad();
        return rest;
    }
    case 'y':
        return Special(arg);
    case 'f':
        switch (arg) {
        case 'b': fBranch = true; break;
        case 'n': fBranch = fIndirectBranch = true; break;
        case 's': fStringOp = true; break;
        case 'z': fStringOp = fComparedStringOp = true; break;
        default: break;
        }
        return rest;
    case 'b':
        fBroadcast = arg == 'w' ? (fVexW ? 8 : 4) : arg - '0';
        return rest;
    case 'u':
        fRounding = arg;
        return rest;
    case 'V':
        fVsib = arg == 'h' ? 2 : 1;
        return rest;
    case 'i': { // predicate from the immediate into the mnemonic
        ModRM();
        const uint8_t imm = Peek(size_t(ModRMOperandLength()));
        const char* name = nullptr;
        if (arg == '0')
            name = imm < 8 ? kCmpPredicates[imm] : nullptr;
        else if (arg == '1')
            name = imm < 32 ? kCmpPredicates[imm] : nullptr;
        else if (arg == '2')
            name = imm < 8 ? kIntPredicates[imm] : nullptr;
        else if (arg == '3')
            name = imm == 0x00 ? "lqlqdq" : imm == 0x01 ? "hqlqdq" : imm == 0x02 || imm == 0x10 ? "lqhqdq"
                 : imm == 0x03 || imm == 0x11 ? "hqhqdq" : nullptr;
        if (name) {
            Put(name);
            fPredicateTaken = true;
        } else if (arg == '3') {
            Put("qdq");
        }
        return rest;
    }
    default:
        return rest;
    }
}

// A legacy prefix byte: recorded, then the next byte.
const char* Decoder::Prefix(uint8_t value)
{
    if (fRex) {
        --fPos;
        fPrefixOnly = true;
        return nullptr;
    }
    const int index = int(fPrefixCount);
    if (fPrefixCount < fPrefixes.size())
        fPrefixes[fPrefixCount++] = {value, false};
    switch (value) {
    case 0x66: fLast66 = index; fHas66 = true; break;
    case 0x67: fLast67 = index; fHas67 = true; break;
    case 0xF2:
    case 0xF3: fLastRep = index; break;
    case 0xF0: break;
    default: fLastSeg = index; break;
    }
    fOpcode = Next();
    fOpcodeEnd = fPos;
    if (fPos > kMaxInstruction)
        return kUndefined;
    return OneByteTemplate(fOpcode);
}

// Opcodes whose form code decides.
const char* Decoder::Special(char which)
{
    switch (which) {
    case '0': // 90: nop, pause, xchg
        if (fLong && RexB())
            return "xchg    #Zv , @eax";
        if (fLastRep >= 0 && fPrefixes[size_t(fLastRep)].value == 0xF3) {
            Use(fLastRep);
            return "pause";
        }
        if (fHas66) {
            UseOpSizePrefix();
            return "xchg    ax, ax";
        }
        return "nop";
    case '1': // B8+r in long mode: mov, or movabs with a 64-bit immediate
        return RexW() ? "movabs  #Zv , #Iu " : "mov     #Zv , #Iv ";
    case '2': // C6
        if (Peek(0) == 0xF8) {
            ModRM();
            return "xabort  #Ib ";
        }
        return "@gi#Eb , #Ib ";
    case '3': // C7
        if (Peek(0) == 0xF8) {
            ModRM();
            return "xbegin  #Jvj";
        }
        return "@gi#Ev , #Iv ";
    case '4': { // 9B: fwait, or a wait that goes with the x87 instruction after it
        size_t waits = 0; // more 9B bytes
        while (waits < kMaxInstruction && Peek(waits) == 0x9B)
            ++waits;
        size_t at = waits;
        while (at < kMaxInstruction && IsPrefixByte(Peek(at)))
            ++at;
        if (Peek(at) < 0xD8 || Peek(at) > 0xDF)
            return "fwait";
        for (size_t i = 0; i < waits; ++i)
            Next();
        fWait = true;
        fOpcode = Next();
        fOpcodeEnd = fPos;
        return OneByteTemplate(fOpcode);
    }
    case '5': // 8F: pop, or an XOP prefix (AMD), whose instructions are not listed
        if ((Peek(0) & 0x18) != 0 && (fLong || (Peek(0) >> 6) == 3)) {
            Next();
            Next();
            fOpcode = Next();
            fOpcodeEnd = fPos;
            return kUndefined;
        }
        return "@gb#Es ";
    default:
        return kUndefined;
    }
}

// The extended table: the entry of this opcode that the prefixes, the
// encoding and the ModR/M byte choose.
const char* Decoder::Extended(int map, uint8_t opcode)
{
    const std::span<const TExtEntry> entries = ExtEntries(map, opcode);
    const bool hasModRM = !(map == 1 && opcode == 0x77);
    const int immediate = (map == 3 || (map == 1 && ((opcode >= 0x70 && opcode <= 0x73) || opcode == 0xC2 ||
                                                     (opcode >= 0xC4 && opcode <= 0xC6)))) ? 1 : 0;
    if (hasModRM)
        ModRM();
    const bool regForm = hasModRM && Mod() == 3;
    auto matches = [&](const TExtEntry& e, uint8_t encoding, int prefix, int length) {
        if (!(e.encodings & encoding) || e.prefix != prefix)
            return false;
        if (e.mod >= 0 && (e.mod == 3) != regForm)
            return false;
        if (e.reg >= 0 && e.reg != RegField())
            return false;
        if (e.rm >= 0 && (!regForm || e.rm != RmField()))
            return false;
        if (e.l >= 0 && e.l != length)
            return false;
        if (e.w >= 0) {
            const bool w = encoding == kLegacy ? (fRex & 8) != 0 : fVexW;
            if (int(w) != e.w)
                return false;
        }
        return true;
    };

    if (fEncoding != Encoding::Legacy) {
        const uint8_t encoding = fEncoding == Encoding::Vex ? kVex : kEvex;
        // With EVEX rounding the length bits hold the rounding mode: 512 bits.
        const int length = fEncoding == Encoding::Evex && fEvexB && regForm ? 2 : fVexL;
        for (const TExtEntry& e : entries)
            if (matches(e, encoding, fVexPrefix, length)) {
                if (encoding == kEvex)
                    fVexTwin = HasVexTwin(entries, e);
                return e.tpl;
            }
        // A VEX or EVEX opcode with no meaning ends at its opcode byte: the
        // bytes after it are read again as the next line, as objdump does.
        fPos = fOpcodeEnd;
        fHaveModRM = false;
        return Undefined(0);
    }

    // Legacy: the last of F2 / F3 first, then 66, then no mandatory prefix.
    int order[3];
    int count = 0;
    int repPrefix = -1;
    if (fLastRep >= 0) {
        repPrefix = fPrefixes[size_t(fLastRep)].value == 0xF3 ? kPrefixF3 : kPrefixF2;
        order[count++] = repPrefix;
    }
    if (fHas66)
        order[count++] = kPrefix66;
    order[count++] = kNoPrefix;
    for (int i = 0; i < count; ++i)
        for (const TExtEntry& e : entries) {
            if (!matches(e, kLegacy, order[i], 0))
                continue;
            if (e.w >= 0 && fRex)
                fRexUsed |= 8;
            if (order[i] == kPrefix66) {
                Use(fLast66);
                fHas66 = false; // a mandatory prefix: no operand size
            } else if (order[i] == repPrefix) {
                Use(fLastRep);
            }
            return e.tpl;
        }
    return Undefined(immediate);
}

// Whether a VEX instruction of the same opcode has this EVEX one's mnemonic.
bool Decoder::HasVexTwin(std::span<const TExtEntry> entries, const TExtEntry& evex) const
{
    auto mnemonic = [](const char* t) {
        while (t[0] == '@' && t[1] && t[2])
            t += 3;
        size_t n = 0;
        while (t[n] && t[n] != '\t')
            ++n;
        return std::string_view(t, n);
    };
    const std::string_view name = mnemonic(evex.tpl);
    for (const TExtEntry& e : entries)
        if ((e.encodings & kVex) && e.prefix == fVexPrefix && mnemonic(e.tpl) == name)
            return true;
    return false;
}

// The VEX (C5, C4) and EVEX (62) prefixes. In 32-bit code the same bytes are
// lds, les and bound when the byte after them is no register form.
const char* Decoder::VexPrefix(char kind)
{
    if (!fLong && (Peek(0) >> 6) != 3) {
        switch (kind) {
        case '2': return "lds     #Gv , #Mp ";
        case '3': return "les     #Gv , #Mp ";
        default: return "bound   #Gv , #Mq ";
        }
    }
    int map = 1;
    int r = 0, x = 0, b = 0;
    if (kind == '2') {
        const uint8_t p0 = Next();
        r = !(p0 & 0x80);
        fVvvv = (~p0 >> 3) & 15;
        fVexL = (p0 >> 2) & 1;
        fVexPrefix = p0 & 3;
        fEncoding = Encoding::Vex;
    } else if (kind == '3') {
        const uint8_t p0 = Next();
        const uint8_t p1 = Next();
        r = !(p0 & 0x80);
        x = !(p0 & 0x40);
        b = !(p0 & 0x20);
        map = p0 & 31;
        fVexW = (p1 & 0x80) != 0;
        fVvvv = (~p1 >> 3) & 15;
        fVexL = (p1 >> 2) & 1;
        fVexPrefix = p1 & 3;
        fEncoding = Encoding::Vex;
    } else {
        const uint8_t p0 = Next();
        const uint8_t p1 = Next();
        const uint8_t p2 = Next();
        r = !(p0 & 0x80);
        x = !(p0 & 0x40);
        b = !(p0 & 0x20);
        fEvexR2 = !(p0 & 0x10);
        map = p0 & 7;
        fVexW = (p1 & 0x80) != 0;
        fVvvv = (~p1 >> 3) & 15;
        fVexPrefix = p1 & 3;
        fZeroing = (p2 & 0x80) != 0;
        fVexL = (p2 >> 5) & 3;
        fEvexB = (p2 & 0x10) != 0;
        fEvexV2 = !(p2 & 0x08);
        fMaskReg = p2 & 7;
        fEncoding = Encoding::Evex;
        fEvexX = fLong ? x : 0;
        if ((p0 & 0x0C) != 0 || (p1 & 0x04) == 0)
            return kUndefined; // reserved bits: no EVEX instruction, the 62 byte is data
    }
    if (fLong) {
        // The inverted register bits stand in for REX.
        fRex = uint8_t((r ? 4 : 0) | (x ? 2 : 0) | (b ? 1 : 0));
    } else {
        fRex = 0;
        fVvvv &= 7;
        fEvexR2 = fEvexV2 = 0;
    }
    if (map < 1 || map > 3)
        return kUndefined; // no map of ours: the C4 or 62 byte is data
    fOpcode = Next();
    fOpcodeEnd = fPos;
    fMap = map;
    return Extended(map, fOpcode);
}

// Undefined bytes: the ModR/M operand and immediate they would have are
// taken with them, and the line becomes data.
const char* Decoder::Undefined(int immediateBytes)
{
    fUnknown = true;
    if (fHaveModRM)
        SkipModRMOperand();
    for (int i = 0; i < immediateBytes; ++i)
        Next();
    return kUndefined;
}

int Decoder::OpSize()
{
    if (fEncoding == Encoding::Legacy && fLong && (fRex & 8)) {
        fRexUsed |= 8;
        return 8;
    }
    if (fEncoding != Encoding::Legacy && fLong && fVexW)
        return 8;
    if (fHas66) {
        UseOpSizePrefix();
        return 2;
    }
    return 4;
}

int Decoder::StackSize()
{
    if (fHas66) {
        UseOpSizePrefix();
        return 2;
    }
    return fLong ? 8 : 4;
}

// Bytes of a size letter for general operands and memory.
int Decoder::Size(char s)
{
    switch (s) {
    case 'b': return 1;
    case 'w': return 2;
    case 'd': return 4;
    case 'q': return 8;
    case 't': return 10;
    case 'v': return OpSize();
    case 'u': return OpSize();
    case 's': return StackSize();
    case 'y': return RexW() ? 8 : 4;
    case 'k': return fLong ? 8 : 4;
    case 'p': return OpSize() + 2;
    case 'r': return OpSize();
    case 'n': return 0;
    case 'a': return 16;
    case 'o': return 16;
    case 'Y': return 32;
    case 'z': return 64;
    default: return VectorSize(s);
    }
}

// Bytes of a vector size letter.
int Decoder::VectorSize(char s) const
{
    const int length = fEncoding == Encoding::Legacy ? 16 : (16 << (fEncoding == Encoding::Evex && fEvexB && fHaveModRM && Mod() == 3 ? 2 : fVexL));
    switch (s) {
    case 'x': return length;
    case 'h': return length / 2;
    case 'c': return length / 4;
    case 'e': return length / 8;
    case 'b': return 1;
    case 'w': return 2;
    case 'd': return 4;
    case 'q': return 8;
    case 'o': return 16;
    case 'Y': return 32;
    case 'z': return 64;
    default: return length;
    }
}

void Decoder::Register(int size, int index)
{
    switch (size) {
    case 1:
        if (fRex) {
            if (index >= 4 && index < 8)
                fRexByteRegs = true;
            Put(kRegs8[index & 15]);
        } else {
            Put(kRegs8Legacy[index & 7]);
        }
        break;
    case 2: Put(kRegs16[index & 15]); break;
    case 8: Put(kRegs64[index & 15]); break;
    default: Put(kRegs32[index & 15]); break;
    }
}

void Decoder::VectorRegister(int bytes, int index)
{
    if (bytes > 32 || index >= 16)
        fNeedsEvex = true;
    Put(bytes > 32 ? "zmm" : bytes > 16 ? "ymm" : "xmm");
    if (index >= 10)
        Put(char('0' + index / 10));
    Put(char('0' + index % 10));
}

void Decoder::Hex(uint64_t v, int digits)
{
    char buf[16];
    int n = 16;
    do {
        buf[--n] = kHexDigits[v & 15];
        v >>= 4;
    } while (v != 0 && n > 0);
    while (16 - n < digits && n > 0)
        buf[--n] = '0';
    fOut.append(buf + n, size_t(16 - n));
}

void Decoder::Signed(int64_t v, int digits)
{
    if (v < 0) {
        Put("-$");
        Hex(0 - uint64_t(v), digits);
    } else {
        Put("+$");
        Hex(uint64_t(v), digits);
    }
}

void Decoder::Pad()
{
    do
        Put(' ');
    while (fOut.size() < 8);
}

// Length of SIB, displacement of the ModR/M operand not read yet.
int Decoder::ModRMOperandLength()
{
    if (Mod() == 3)
        return 0;
    if (AddressSize() == 2)
        return Mod() == 1 ? 1 : Mod() == 2 ? 2 : (RmField() == 6 ? 2 : 0);
    int n = 0;
    int base = RmField();
    if (RmField() == 4) {
        base = Peek(0) & 7;
        n = 1;
    }
    if (Mod() == 1)
        return n + 1;
    if (Mod() == 2 || base == 5)
        return n + 4;
    return n;
}

void Decoder::SkipModRMOperand()
{
    const int n = ModRMOperandLength();
    for (int i = 0; i < n; ++i)
        Next();
}

// Bytes of the immediates the rest of the template reads: a RIP-relative
// operand is relative to the end of the instruction.
int Decoder::ImmediateBytesIn(const char* rest)
{
    int n = 0;
    for (const char* t = rest; *t; ++t) {
        if (t[0] != '#' || !t[1] || !t[2])
            continue;
        const char letter = t[1];
        const char size = t[2];
        if (letter == 'I' || letter == 'H') {
            switch (size) {
            case 'b': n += 1; break;
            case 'w': n += 2; break;
            case 'd': n += 4; break;
            case 'q': n += 8; break;
            case 'v': n += OpSize() == 2 ? 2 : 4; break;
            case 'u': n += OpSize(); break;
            case 's': n += StackSize() == 2 ? 2 : 4; break;
            default: break;
            }
        } else if (letter == 'Y') {
            n += 1;
        }
    }
    return n;
}

// "fs:" before a memory operand; in long mode only fs and gs select anything.
void Decoder::SegmentOverride()
{
    if (fLastSeg < 0)
        return;
    static constexpr uint8_t kBytes[] = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65};
    const uint8_t seg = fPrefixes[size_t(fLastSeg)].value;
    if (fLong && seg != 0x64 && seg != 0x65)
        return;
    for (int i = 0; i < 6; ++i)
        if (kBytes[i] == seg)
            Put(kSegments[i]);
    Put(':');
    Use(fLastSeg);
}

void Decoder::Memory(int size, const char* rest)
{
    ModRM();
    fMemoryDone = true;
    // EVEX broadcast: one element, repeated.
    const bool broadcast = fEncoding == Encoding::Evex && fEvexB && fBroadcast > 0;
    if (broadcast)
        size = fBroadcast;
    fMemSize = size;
    fSizeMarker = fOut.size();
    SegmentOverride();
    const int addressSize = AddressSize();
    UseAddressSizePrefix();
    Put('[');
    if (addressSize == 2) {
        int64_t disp = 0;
        int digits = 0;
        if (Mod() == 0 && RmField() == 6) {
            const uint64_t a = ReadLE(2);
            Put('$');
            Hex(a, 4);
            Put(']');
            if (fOwner.OnAddressRef)
                fOwner.OnAddressRef(fOwner.Param, a, fOut);
            return;
        }
        Put(kAddr16[RmField()]);
        if (Mod() == 1) {
            disp = int8_t(Next());
            digits = 2;
        } else if (Mod() == 2) {
            disp = int16_t(ReadLE(2));
            digits = 4;
        }
        if (digits)
            Signed(disp, digits);
        Put(']');
        if (digits && fOwner.OnRef)
            fOwner.OnRef(fOwner.Param, disp, fOut);
        return;
    }

    const char* const* regs = addressSize == 8 ? kRegs64 : kRegs32;
    int base = RmField();
    int index = -1;
    int scale = 1;
    bool hasBase = true;
    bool rip = false;
    if (RmField() == 4) {
        const uint8_t sib = Next();
        scale = 1 << (sib >> 6);
        index = ((sib >> 3) & 7) | (RexX() << 3);
        base = sib & 7;
        if (fVsib) {
            if (fEncoding == Encoding::Evex && fEvexV2)
                index |= 16;
        } else if (index == 4) {
            index = -1; // no index
        }
        if (base == 5 && Mod() == 0)
            hasBase = false;
        else
            base |= RexB() << 3;
    } else if (Mod() == 0 && RmField() == 5) {
        hasBase = false;
        rip = fLong;
    } else {
        base |= RexB() << 3;
    }

    int64_t disp = 0;
    int digits = 0;
    if (Mod() == 1) {
        disp = int8_t(Next());
        digits = 2;
        if (fEncoding == Encoding::Evex && size > 0)
            disp *= size; // compressed displacement
    } else if (Mod() == 2 || !hasBase) {
        disp = int32_t(ReadLE(4));
        digits = 8;
    }

    if (rip) {
        Put(addressSize == 8 ? "rip" : "eip");
        Signed(disp, 8);
        Put(']');
        const uint64_t next = fAddress + fPos + uint64_t(ImmediateBytesIn(rest) + fPendingImmediate);
        uint64_t target = next + uint64_t(disp);
        if (addressSize == 4)
            target &= 0xFFFFFFFFu;
        if (fOwner.OnAddressRef)
            fOwner.OnAddressRef(fOwner.Param, target, fOut);
        return;
    }
    if (hasBase)
        Put(regs[base]);
    if (index >= 0) {
        if (hasBase)
            Put('+');
        if (fVsib)
            VectorRegister(fVsib == 2 ? VectorSize('h') : VectorSize('x'), index);
        else
            Put(regs[index]);
        if (scale > 1) {
            Put('*');
            Put(char('0' + scale));
        }
    }
    if (!hasBase) {
        // An absolute address (with an index: the start of a table).
        const uint64_t a = fLong ? uint64_t(disp) : uint64_t(uint32_t(disp));
        if (index < 0) {
            Put('$');
            Hex(a, 4);
        } else if (fLong) {
            Signed(disp, 8);
        } else {
            Put("+$");
            Hex(a, 8);
        }
        Put(']');
        if (fOwner.OnAddressRef)
            fOwner.OnAddressRef(fOwner.Param, a, fOut);
        return;
    }
    if (digits)
        Signed(disp, digits);
    Put(']');
    if (digits && fOwner.OnRef)
        fOwner.OnRef(fOwner.Param, disp, fOut);
}

// EVEX masking after the first operand: "{k1}" and "{z}".
void Decoder::MaskDecoration()
{
    if (fEncoding != Encoding::Evex || fOperands != 1)
        return;
    if (fMaskReg) {
        Put("{k");
        Put(char('0' + fMaskReg));
        Put('}');
    }
    if (fZeroing)
        Put("{z}");
}

void Decoder::Operand(char letter, char sizeLetter, char term, const char* rest)
{
    ++fOperands;
    switch (letter) {
    case 'E':
    case 'M':
    case 'Q':
    case 'W':
    case 'l': {
        ModRM();
        int size = letter == 'W' ? VectorSize(sizeLetter) : Size(sizeLetter);
        if (sizeLetter == 'r' && Mod() != 3)
            size = 2; // a segment register's word in memory
        fOword = sizeLetter == 'a';
        if (Mod() != 3) {
            Memory(size, rest);
        } else if (letter == 'M') {
            Put("???");
            fData = true; // a memory-only operand in register form
        } else if (letter == 'Q') {
            Put("MM");
            Put(char('0' + RmField()));
        } else if (letter == 'W') {
            VectorRegister(size, RmField() | (RexB() << 3) | (fEncoding == Encoding::Evex ? fEvexX << 4 : 0));
        } else if (letter == 'l') {
            fNeedsEvex = true;
            Put('k');
            Put(char('0' + RmField()));
        } else {
            Register(sizeLetter == 'r' ? OpSize() : size, RmField() | (RexB() << 3));
        }
        if (fRounding && fEncoding == Encoding::Evex && fEvexB && Mod() == 3 && (letter == 'W' || letter == 'E')) {
            static const char* const kModes[4] = {"{rn-sae}", "{rd-sae}", "{ru-sae}", "{rz-sae}"};
            Put(fRounding == 'r' ? kModes[fVexL] : "{sae}");
        }
        break;
    }
    case 'G':
        ModRM();
        Register(Size(sizeLetter), RegField() | (RexR() << 3));
        break;
    case 'R':
        ModRM();
        Register(Size(sizeLetter), RmField() | (RexB() << 3));
        break;
    case 'Z':
        Register(Size(sizeLetter), (fOpcode & 7) | (RexB() << 3));
        break;
    case 'g':
        Register(RexW() ? 8 : 4, fVvvv);
        break;
    case 'U':
        ModRM();
        VectorRegister(VectorSize(sizeLetter), RmField() | (RexB() << 3) | (fEncoding == Encoding::Evex ? fEvexX << 4 : 0));
        if (fRounding && fEncoding == Encoding::Evex && fEvexB)
            Put(fRounding == 'r' ? "{rn-sae}" : "{sae}");
        break;
    case 'V':
        ModRM();
        VectorRegister(VectorSize(sizeLetter), RegField() | (RexR() << 3) | (fEvexR2 << 4));
        break;
    case 'X':
        VectorRegister(VectorSize(sizeLetter), fVvvv | (fEvexV2 << 4));
        break;
    case 'Y': {
        ModRM();
        uint8_t imm;
        if (Mod() != 3 && !fMemoryDone) {
            // The register byte follows the memory operand still to come.
            imm = Peek(size_t(ModRMOperandLength()));
            fPendingImmediate = 1;
        } else {
            imm = Next();
        }
        VectorRegister(VectorSize(sizeLetter), fLong ? imm >> 4 : (imm >> 4) & 7);
        break;
    }
    case 'k':
        ModRM();
        fNeedsEvex = true;
        Put('k');
        Put(char('0' + RegField()));
        break;
    case 'h':
        fNeedsEvex = true;
        Put('k');
        Put(char('0' + (fVvvv & 7)));
        break;
    case 'P':
        ModRM();
        Put("MM");
        Put(char('0' + RegField()));
        break;
    case 'S': {
        ModRM();
        const char* s = kSegments[RegField()];
        Put(s ? s : "???");
        break;
    }
    case 'C':
    case 'D':
    case 'T': {
        ModRM();
        if (sizeLetter != 'd') {
            Put("???");
            break;
        }
        const int n = RegField() | (letter == 'T' ? 0 : RexR() << 3);
        Put(letter);
        if (n >= 10)
            Put('1');
        Put(char('0' + n % 10));
        break;
    }
    case 'I':
    case 'H': {
        int bytes;
        switch (sizeLetter) {
        case 'b': bytes = 1; break;
        case 'w': bytes = 2; break;
        case 'd': bytes = 4; break;
        case 'q': bytes = 8; break;
        case 'u': bytes = OpSize(); break;
        case 's': bytes = StackSize() == 2 ? 2 : 4; break;
        default: bytes = OpSize() == 2 ? 2 : 4; break;
        }
        const int position = int(fPos);
        const uint64_t raw = ReadLE(bytes);
        if (fPredicateTaken) {
            // The predicate is in the mnemonic already: no operand.
            if (fOut.size() >= 2 && fOut.compare(fOut.size() - 2, 2, ", ") == 0)
                fOut.resize(fOut.size() - 2);
            --fOperands;
            break;
        }
        // In long mode the processor widens a field narrower than its
        // operand by its sign: an imm8 of the 0x83 group, push and imul, and
        // an imm32 with a 64-bit operand. The listing then writes the
        // operand's value, all its bytes when the sign filled them
        // ("add eax, $FFFFFFFF", "mov rax, $FFFFFFFFFFFFFFFF").
        int operandBytes = bytes;
        if (fLong && (letter == 'H' || sizeLetter == 'v' || sizeLetter == 's' || sizeLetter == 'z')) {
            const bool push = fMap == 0 && (fOpcode == 0x6A || fOpcode == 0x68);
            operandBytes = std::max(bytes, push ? StackSize() : OpSize());
        }
        const int shift = 64 - 8 * bytes;
        const int64_t extended = int64_t(raw << shift) >> shift;
        const bool widened = operandBytes > bytes;
        uint64_t value = raw;
        if (widened) {
            value = uint64_t(extended);
            Put('$');
            if (extended < 0)
                Hex(operandBytes == 8 ? value : value & ((uint64_t(1) << (8 * operandBytes)) - 1), 2 * operandBytes);
            else
                Hex(raw, 2 * bytes);
        } else if (letter == 'H') {
            value = uint64_t(extended);
            Signed(extended, 2 * bytes);
        } else {
            Put('$');
            Hex(raw, 2 * bytes);
        }
        if (fOwner.OnImmidiateData)
            fOwner.OnImmidiateData(fOwner.Param, value, position, bytes, letter == 'H' || widened, fOut);
        break;
    }
    case 'J': {
        // Loops and jcxz are no branches to an unused F2 (objdump: "repnz").
        fBranch = !(fMap == 0 && fOpcode >= 0xE0 && fOpcode <= 0xE3);
        const int bytes = sizeLetter == 'b' ? 1 : (!fLong && OpSize() == 2 ? 2 : 4);
        const uint64_t raw = ReadLE(bytes);
        const int shift = 64 - 8 * bytes;
        const int64_t disp = int64_t(raw << shift) >> shift;
        Signed(disp, 2 * bytes);
        uint64_t target = fAddress + fPos + uint64_t(disp);
        if (!fLong)
            target &= 0xFFFFFFFFu;
        if (term == 'j' && fOwner.OnJumpInstr)
            fOwner.OnJumpInstr(fOwner.Param, target, fOut);
        else if (term == 'c' && fOwner.OnCallInstr)
            fOwner.OnCallInstr(fOwner.Param, target, fOut);
        break;
    }
    case 'O': {
        const int bytes = AddressSize();
        UseAddressSizePrefix();
        const uint64_t a = ReadLE(bytes);
        SegmentOverride();
        Put("[$");
        Hex(a, 4);
        Put(']');
        if (fOwner.OnAddressRef)
            fOwner.OnAddressRef(fOwner.Param, a, fOut);
        break;
    }
    case 'A': {
        if (sizeLetter != 'p') {
            Put("???");
            break;
        }
        const int bytes = OpSize() == 2 ? 2 : 4;
        const uint64_t offset = ReadLE(bytes);
        const uint64_t selector = ReadLE(2);
        Put('$');
        Hex(selector, 4);
        Put(":$");
        Hex(offset, 2 * bytes);
        break;
    }
    default:
        // B, F, K, L, N and letters the decoder does not know: no text.
        --fOperands;
        return;
    }
    MaskDecoration();
}

// Names of the prefixes the instruction did not use, in their order, each
// with a blank after it, into `out`; their length.
size_t Decoder::PrefixNames(char* out, size_t room)
{
    size_t n = 0;
    auto add = [&](const char* name) {
        const size_t len = std::strlen(name);
        if (n + len + 1 > room)
            return;
        std::memcpy(out + n, name, len);
        n += len;
        out[n++] = ' ';
    };
    if (fWait)
        add("fwait");
    bool locked = false;
    for (size_t i = 0; i < fPrefixCount; ++i)
        locked = locked || fPrefixes[i].value == 0xF0;
    // A store that may end a hardware-elided lock region.
    const bool releasingStore = fEncoding == Encoding::Legacy && fMap == 0 && fHaveModRM && Mod() != 3 &&
                                (fOpcode == 0x88 || fOpcode == 0x89 || fOpcode == 0xC6 || fOpcode == 0xC7);
    for (size_t i = 0; i < fPrefixCount; ++i) {
        const PrefixByte& p = fPrefixes[i];
        if (p.used)
            continue;
        switch (p.value) {
        case 0xF0: add("lock"); break;
        case 0xF2: add(locked ? "xacquire" : fBranch && !fStringOp ? "bnd" : "repnz"); break;
        case 0xF3: add(locked || releasingStore ? "xrelease" : fStringOp && !fComparedStringOp ? "rep" : "repz"); break;
        case 0x66: add("data16"); break;
        case 0x67: add(fLong ? "addr32" : "addr16"); break;
        case 0x26: add("es"); break;
        case 0x2E: add("cs"); break;
        case 0x36: add("ss"); break;
        case 0x3E: add(fIndirectBranch ? "notrack" : "ds"); break;
        case 0x64: add("fs"); break;
        case 0x65: add("gs"); break;
        default:
            if ((p.value & 0xF0) == 0x40 && int(i) == fRexIndex) {
                // A REX prefix with a bit the instruction did not use.
                const int bits = p.value & 15;
                if ((bits & ~fRexUsed) == 0 && (bits != 0 || fRexByteRegs))
                    break;
                char rex[9] = "rex";
                size_t k = 3;
                if (bits)
                    rex[k++] = '.';
                for (int b = 3; b >= 0; --b)
                    if (bits & (1 << b))
                        rex[k++] = "BXRW"[b];
                rex[k] = 0;
                add(rex);
            }
            break;
        }
    }
    return n;
}

void Decoder::Finish()
{
    if (fData && !fUnknown && !fTruncated) {
        // Undefined bytes: the prefixes and the opcode, the listing goes on after them.
        fPos = fOpcodeEnd;
        fOut = "???";
    }
    if (fTruncated) {
        // Cut off by the end of the bytes: all of them as data.
        fData = true;
        fPos = fAvail;
        fOut = "???";
    } else if (fPos > kMaxInstruction) {
        fData = true;
        fPos = kMaxInstruction;
        fOut = "???";
    }
    if (fData) {
        char line[128] = "DB      ";
        size_t n = 8;
        for (size_t i = 0; i < fPos; ++i) {
            if (i) {
                line[n++] = ',';
                line[n++] = ' ';
            }
            line[n++] = '$';
            line[n++] = kHexDigits[fCode[i] >> 4];
            line[n++] = kHexDigits[fCode[i] & 15];
        }
        std::memcpy(line + n, "  //", 4);
        n += 4;
        fOut.insert(0, line, n);
        return;
    }
    if (fSizePrefix && fSizeMarker != std::string::npos) {
        const char* name = nullptr;
        switch (fMemSize) {
        case 1: name = "byte ptr "; break;
        case 2: name = "word ptr "; break;
        case 4: name = "dword ptr "; break;
        case 6: name = "fword ptr "; break;
        case 8: name = "qword ptr "; break;
        case 10: name = "tbyte ptr "; break;
        case 16: name = fOword ? "oword ptr " : "xmmword ptr "; break;
        case 32: name = "ymmword ptr "; break;
        case 64: name = "zmmword ptr "; break;
        default: break;
        }
        if (name && fEncoding == Encoding::Evex && fEvexB && fBroadcast > 0) {
            static const char* const kBcst[9] = {nullptr, nullptr, "word bcst ", nullptr, "dword bcst ", nullptr, nullptr, nullptr, "qword bcst "};
            name = kBcst[fBroadcast];
        }
        if (name)
            fOut.insert(fSizeMarker, name);
    }
    char names[96];
    if (fPrefixOnly) {
        const size_t n = PrefixNames(names, sizeof names);
        fOut.assign(names, n > 0 ? n - 1 : 0);
        return;
    }
    if (fPrefixCount > 0 || fWait)
        fOut.insert(0, names, PrefixNames(names, sizeof names));
    if (fEncoding == Encoding::Evex && fVexTwin && !fNeedsEvex && !fMaskReg && !fZeroing && !fEvexB)
        fOut.insert(0, "{evex} "); // could have been VEX: say it is not
}

} // namespace

std::string TDisAsm::GetInstruction(std::span<const uint8_t> code, uint64_t address, int32_t& size) const
{
    std::string text;
    size = GetInstruction(code, address, text);
    return text;
}

int32_t TDisAsm::GetInstruction(std::span<const uint8_t> code, uint64_t address, std::string& text) const
{
    Decoder decoder(*this, code, address, text);
    return decoder.Run();
}

} // namespace cv
