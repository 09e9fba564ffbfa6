#include "crashreport/core/disasm/instruction_length.h"

#include "crashreport/core/support/memory_map.h"

#include <algorithm>

namespace cv {

namespace {

constexpr size_t kMaxInstruction = 15;

class Decoder {
public:
    Decoder(std::span<const uint8_t> code, bool mode64, TInstructionInfo& info)
        : m_code(code.first(std::min(code.size(), kMaxInstruction))), m_64(mode64), m_info(info)
    {
    }

    bool Run()
    {
        m_info = {};
        if (!Prefixes())
            return false;
        uint8_t op;
        if (!Byte(op))
            return false;
        const bool ok = op == 0x0F ? TwoByte() : OneByte(op);
        if (!ok)
            return false;
        m_info.Length = uint8_t(m_at);
        return true;
    }

private:
    bool Need(size_t n) const { return m_at + n <= m_code.size(); }
    bool Byte(uint8_t& b)
    {
        if (!Need(1))
            return false;
        b = m_code[m_at++];
        return true;
    }
    uint8_t Peek() const { return Need(1) ? m_code[m_at] : 0; }
    bool Skip(size_t n)
    {
        if (!Need(n))
            return false;
        m_at += n;
        return true;
    }
    // The 16- or 32-bit immediate of the operand size.
    size_t Z() const { return m_opsize16 ? 2 : 4; }

    bool Prefixes()
    {
        for (;;) {
            if (!Need(1))
                return false;
            const uint8_t b = m_code[m_at];
            switch (b) {
            case 0x66:
                m_opsize16 = true;
                break;
            case 0x67:
                m_addrOverride = true;
                break;
            case 0xF0: case 0xF2: case 0xF3:
            case 0x2E: case 0x36: case 0x3E: case 0x26: case 0x64: case 0x65:
                break;
            default:
                if (m_64 && (b & 0xF0) == 0x40) {
                    m_rex = b;
                    ++m_at;
                    continue;
                }
                return true;
            }
            // A REX prefix counts only right before the opcode.
            m_rex = 0;
            ++m_at;
        }
    }

    bool ModRM(uint8_t* regOut = nullptr, uint8_t* modrmOut = nullptr)
    {
        uint8_t m;
        if (!Byte(m))
            return false;
        if (regOut)
            *regOut = (m >> 3) & 7;
        if (modrmOut)
            *modrmOut = m;
        const uint8_t mod = m >> 6, rm = m & 7;
        if (mod == 3)
            return true;
        size_t disp = 0;
        if (!m_64 && m_addrOverride) {
            // 16-bit addressing: no SIB byte.
            if ((mod == 0 && rm == 6) || mod == 2)
                disp = 2;
            else if (mod == 1)
                disp = 1;
            return Skip(disp);
        }
        if (rm == 4) {
            uint8_t sib;
            if (!Byte(sib))
                return false;
            if (mod == 0 && (sib & 7) == 5)
                disp = 4;
        }
        if (mod == 0 && rm == 5) {
            disp = 4;
            if (m_64)
                m_info.RipDispOffset = uint8_t(m_at);
        }
        if (mod == 1)
            disp = 1;
        else if (mod == 2)
            disp = 4;
        return Skip(disp);
    }

    bool Relative(size_t size, bool conditional)
    {
        m_info.RelOffset = uint8_t(m_at);
        m_info.RelSize = uint8_t(size);
        m_info.IsConditional = conditional;
        return Skip(size);
    }
    // The size of a near branch's displacement: 4 in long mode whatever the operand size.
    size_t BranchZ() const { return m_64 ? 4 : Z(); }

    bool OneByte(uint8_t op)
    {
        if (op < 0x40) {
            switch (op & 7) {
            case 0: case 1: case 2: case 3:
                return ModRM();
            case 4:
                return Skip(1);
            case 5:
                return Skip(Z());
            default:
                // push/pop of segment registers, decimal adjustments: 32-bit code only
                return !m_64;
            }
        }
        if (op < 0x50)
            return !m_64; // inc/dec (in long mode these are REX prefixes, taken above)
        if (op < 0x60)
            return true;
        if (op >= 0x70 && op <= 0x7F)
            return Relative(1, true);
        if (op >= 0x90 && op <= 0x99)
            return true;
        if (op >= 0xB0 && op <= 0xB7)
            return Skip(1);
        if (op >= 0xB8 && op <= 0xBF)
            return Skip(m_64 && (m_rex & 8) ? 8 : Z());
        if (op >= 0xD8 && op <= 0xDF)
            return ModRM(); // x87
        switch (op) {
        case 0x60: case 0x61:
            return !m_64;
        case 0x62:
            if (m_64 || (Peek() & 0xC0) == 0xC0)
                return Evex();
            return ModRM(); // bound
        case 0x63:
            return ModRM();
        case 0x68:
            return Skip(Z());
        case 0x69:
            return ModRM() && Skip(Z());
        case 0x6A:
            return Skip(1);
        case 0x6B:
            return ModRM() && Skip(1);
        case 0x6C: case 0x6D: case 0x6E: case 0x6F:
            return true;
        case 0x80: case 0x83:
            return ModRM() && Skip(1);
        case 0x82:
            return !m_64 && ModRM() && Skip(1);
        case 0x81:
            return ModRM() && Skip(Z());
        case 0x84: case 0x85: case 0x86: case 0x87: case 0x88: case 0x89: case 0x8A: case 0x8B:
        case 0x8C: case 0x8D: case 0x8E:
            return ModRM();
        case 0x8F:
            if ((Peek() & 0x1F) >= 8 && (m_64 || (Peek() & 0xC0) == 0xC0))
                return Xop();
            return ModRM();
        case 0x9A:
            return !m_64 && Skip(Z() + 2);
        case 0x9B: case 0x9C: case 0x9D: case 0x9E: case 0x9F:
            return true;
        case 0xA0: case 0xA1: case 0xA2: case 0xA3:
            return Skip(m_64 ? (m_addrOverride ? 4 : 8) : (m_addrOverride ? 2 : 4));
        case 0xA4: case 0xA5: case 0xA6: case 0xA7: case 0xAA: case 0xAB: case 0xAC: case 0xAD: case 0xAE: case 0xAF:
            return true;
        case 0xA8:
            return Skip(1);
        case 0xA9:
            return Skip(Z());
        case 0xC0: case 0xC1:
            return ModRM() && Skip(1);
        case 0xC2: case 0xCA:
            m_info.IsReturn = m_info.EndsFlow = true;
            return Skip(2);
        case 0xC3: case 0xCB: case 0xCF:
            m_info.IsReturn = m_info.EndsFlow = true;
            return true;
        case 0xC4: case 0xC5:
            if (m_64 || (Peek() & 0xC0) == 0xC0)
                return Vex(op == 0xC4);
            return ModRM(); // les, lds
        case 0xC6:
            return ModRM() && Skip(1);
        case 0xC7: {
            uint8_t modrm = 0;
            if (!ModRM(nullptr, &modrm))
                return false;
            if (modrm == 0xF8) // xbegin: a relative branch to the abort code
                return Relative(BranchZ(), true);
            return Skip(Z());
        }
        case 0xC8:
            return Skip(3);
        case 0xC9:
            return true;
        case 0xCC:
            m_info.EndsFlow = true;
            return true;
        case 0xCD:
            return Skip(1);
        case 0xCE:
            return !m_64;
        case 0xD0: case 0xD1: case 0xD2: case 0xD3:
            return ModRM();
        case 0xD4: case 0xD5:
            return !m_64 && Skip(1);
        case 0xD6:
            return !m_64;
        case 0xD7:
            return true;
        case 0xE0: case 0xE1: case 0xE2: case 0xE3:
            return Relative(1, true);
        case 0xE4: case 0xE5: case 0xE6: case 0xE7:
            return Skip(1);
        case 0xE8:
            m_info.IsCall = true;
            return Relative(BranchZ(), false);
        case 0xE9:
            m_info.EndsFlow = true;
            return Relative(BranchZ(), false);
        case 0xEA:
            m_info.EndsFlow = true;
            return !m_64 && Skip(Z() + 2);
        case 0xEB:
            m_info.EndsFlow = true;
            return Relative(1, false);
        case 0xEC: case 0xED: case 0xEE: case 0xEF: case 0xF1: case 0xF5:
        case 0xF8: case 0xF9: case 0xFA: case 0xFB: case 0xFC: case 0xFD:
            return true;
        case 0xF4:
            m_info.EndsFlow = true;
            return true;
        case 0xF6: case 0xF7: {
            uint8_t reg = 0;
            if (!ModRM(&reg))
                return false;
            return reg >= 2 || Skip(op == 0xF6 ? 1 : Z()); // test takes an immediate
        }
        case 0xFE:
            return ModRM();
        case 0xFF: {
            uint8_t reg = 0;
            if (!ModRM(&reg))
                return false;
            if (reg == 2 || reg == 3)
                m_info.IsCall = true;
            if (reg == 4 || reg == 5)
                m_info.EndsFlow = true;
            return reg != 7;
        }
        default:
            return false;
        }
    }

    bool TwoByte()
    {
        uint8_t op;
        if (!Byte(op))
            return false;
        if (op >= 0x80 && op <= 0x8F)
            return Relative(BranchZ(), true);
        if (op >= 0xC8 && op <= 0xCF)
            return true; // bswap
        switch (op) {
        case 0x04: case 0x0A: case 0x0C: case 0x24: case 0x25: case 0x26: case 0x27: case 0x36: case 0x39:
        case 0x3B: case 0x3C: case 0x3D: case 0x3E: case 0x3F: case 0x7A: case 0x7B: case 0xA6: case 0xA7:
            return false;
        case 0x05: case 0x06: case 0x07: case 0x08: case 0x09: case 0x0E: case 0x30: case 0x31: case 0x32:
        case 0x33: case 0x34: case 0x35: case 0x37: case 0x77: case 0xA0: case 0xA1: case 0xA2: case 0xA8:
        case 0xA9: case 0xAA:
            return true;
        case 0x0B: // ud2
            m_info.EndsFlow = true;
            return true;
        case 0x0F: // 3DNow!: the operation follows as a byte
            return ModRM() && Skip(1);
        case 0x38:
            return Byte(op) && ModRM();
        case 0x3A:
            return Byte(op) && ModRM() && Skip(1);
        case 0x70: case 0x71: case 0x72: case 0x73: case 0xA4: case 0xAC: case 0xBA: case 0xC2: case 0xC4:
        case 0xC5: case 0xC6:
            return ModRM() && Skip(1);
        default:
            return ModRM();
        }
    }

    // The opcode and its operands after a VEX, EVEX or XOP prefix of the given map.
    bool MappedOpcode(uint8_t map)
    {
        uint8_t op;
        if (!Byte(op))
            return false;
        switch (map) {
        case 1:
            if (op == 0x77)
                return true; // vzeroupper, vzeroall
            if ((op >= 0x70 && op <= 0x73) || op == 0xC2 || (op >= 0xC4 && op <= 0xC6))
                return ModRM() && Skip(1);
            return ModRM();
        case 2: case 5: case 6:
            return ModRM();
        case 3:
            return ModRM() && Skip(1);
        default:
            return false;
        }
    }
    bool Vex(bool threeByte)
    {
        uint8_t p0;
        if (!Byte(p0))
            return false;
        uint8_t map = 1;
        if (threeByte) {
            map = p0 & 0x1F;
            if (!Skip(1) || map < 1 || map > 3)
                return false;
        }
        return MappedOpcode(map);
    }
    bool Evex()
    {
        uint8_t p0;
        if (!Byte(p0) || !Skip(2))
            return false;
        const uint8_t map = p0 & 0x07;
        if (map == 0 || map == 4 || map == 7)
            return false;
        return MappedOpcode(map);
    }
    bool Xop()
    {
        uint8_t p0;
        if (!Byte(p0) || !Skip(1))
            return false;
        const uint8_t map = p0 & 0x1F;
        if (!Skip(1) || !ModRM())
            return false;
        if (map == 8)
            return Skip(1);
        if (map == 9)
            return true;
        if (map == 0xA)
            return Skip(4);
        return false;
    }

    std::span<const uint8_t> m_code;
    bool m_64;
    TInstructionInfo& m_info;
    size_t m_at = 0;
    bool m_opsize16 = false;
    bool m_addrOverride = false;
    uint8_t m_rex = 0;
};

} // namespace

bool DecodeInstruction(std::span<const uint8_t> code, bool mode64, TInstructionInfo& info)
{
    return Decoder(code, mode64, info).Run();
}

__attribute__((no_sanitize_address)) size_t ReadCodeBytes(const void* address, uint8_t* buffer, size_t most)
{
    // Page by page: an instruction may end right before an unmapped page.
    constexpr uintptr_t kPage = 4096;
    const auto start = reinterpret_cast<uintptr_t>(address);
    size_t readable = 0;
    while (readable < most) {
        const size_t piece = std::min<size_t>(most - readable, kPage - (start + readable) % kPage);
        if (!address || !IsReadableMemory(reinterpret_cast<const void*>(start + readable), piece))
            break;
        readable += piece;
    }
    const auto* from = static_cast<const volatile uint8_t*>(address);
    for (size_t i = 0; i < readable; ++i)
        buffer[i] = from[i];
    return readable;
}

bool GetInstructionLength(const void* address, uint32_t& length)
{
    uint8_t code[kMaxInstruction];
    const size_t readable = ReadCodeBytes(address, code, sizeof code);
    TInstructionInfo info;
    if (!DecodeInstruction({code, readable}, true, info))
        return false;
    length = info.Length;
    return true;
}

uint32_t ProcedureSize(std::span<const uint8_t> code, bool mode64)
{
    size_t at = 0;
    while (at < code.size()) {
        TInstructionInfo info;
        if (!DecodeInstruction(code.subspan(at), mode64, info))
            return 0;
        at += info.Length;
        if (info.IsReturn)
            return uint32_t(at);
    }
    return 0;
}

} // namespace cv
