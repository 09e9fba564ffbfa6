#include "crashreport/core/capture/frame_unwind.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstring>
#include <optional>

#include "crashreport/core/capture/known_registers.h"
#include "crashreport/core/debuginfo/dwarf_reader.h"
#include "crashreport/core/support/memory_map.h"

namespace cv {

namespace {

// --- reading the tables ---

bool Readable(const uint8_t* address, std::size_t size) { return IsReadableMemoryCached(address, size); }

// Reads forward through bytes of memory already known to be readable, and
// knows where they lie: the exception tables' pointers are relative to their
// own place.
class TCursor : public TDwarfReader {
public:
    TCursor(const uint8_t* begin, const uint8_t* end)
        : TDwarfReader({begin, std::size_t(end - begin)}, 0, uint64_t(end - begin)), m_begin(begin), m_end(end)
    {
    }

    const uint8_t* Position() const { return m_begin + At(); }
    const uint8_t* End() const { return m_end; }
    void SkipTo(const uint8_t* p)
    {
        if (p < Position() || p > m_end)
            Fail();
        else
            Seek(uint64_t(p - m_begin));
    }
    uint8_t U8() { return Fixed<uint8_t>(); }

    // A pointer in the exception tables' encoding (the DW_EH_PE_* byte):
    // the low four bits its format, bits 4-6 what it is relative to.
    // dataBase serves the data-relative form; indirect pointers are not
    // followed (the call-frame information never needs one).
    uint64_t Encoded(uint8_t encoding, uint64_t dataBase = 0)
    {
        if (encoding == 0xFF) // omitted
            return 0;
        const auto fieldAddress = reinterpret_cast<uint64_t>(Position());
        uint64_t value = 0;
        switch (encoding & 0x0F) {
        case 0x00: value = Fixed<uint64_t>(); break;
        case 0x01: value = Uleb(); break;
        case 0x02: value = Fixed<uint16_t>(); break;
        case 0x03: value = Fixed<uint32_t>(); break;
        case 0x04: value = Fixed<uint64_t>(); break;
        case 0x09: value = uint64_t(Sleb()); break;
        case 0x0A: value = uint64_t(int64_t(Fixed<int16_t>())); break;
        case 0x0B: value = uint64_t(int64_t(Fixed<int32_t>())); break;
        case 0x0C: value = Fixed<uint64_t>(); break;
        default: Fail(); return 0;
        }
        switch (encoding & 0x70) {
        case 0x00: break;
        case 0x10: value += fieldAddress; break;
        case 0x30: value += dataBase; break;
        default: Fail(); return 0;
        }
        return value;
    }

private:
    const uint8_t* m_begin;
    const uint8_t* m_end;
};

// One entry of .eh_frame: a cursor over the bytes its length word says it
// covers, all checked readable. (The 64-bit form, length 0xFFFFFFFF, is
// never written for .eh_frame; like an entry longer than any real one, it
// is damage.)
std::optional<TCursor> EntryAt(const uint8_t* at)
{
    if (!Readable(at, 4))
        return std::nullopt;
    uint32_t length = 0;
    std::memcpy(&length, at, 4);
    if (length == 0 || length > (1u << 24) || !Readable(at + 4, length))
        return std::nullopt;
    return TCursor(at + 4, at + 4 + length);
}

// --- the rules of a frame ---

enum class TRuleKind : uint8_t { Unspecified, Undefined, SameValue, Offset, ValOffset, Register, Expression, ValExpression };

struct TRule {
    TRuleKind Kind = TRuleKind::Unspecified;
    int64_t Value = 0; // the offset, or the register of a Register rule
    const uint8_t* Expression = nullptr;
    uint64_t ExpressionLength = 0;
};

struct TRules {
    std::array<TRule, kDwarfRegisters> Registers{};
    int CfaRegister = -1;
    int64_t CfaOffset = 0;
    const uint8_t* CfaExpression = nullptr;
    uint64_t CfaExpressionLength = 0;
};

struct TCie {
    uint64_t CodeAlign = 1;
    int64_t DataAlign = 1;
    uint64_t ReturnColumn = kDwarfReturnAddress;
    uint8_t PointerEncoding = 0; // of the FDEs' addresses
    bool HasAugmentationData = false;
    bool SignalFrame = false;
    const uint8_t* Instructions = nullptr;
    const uint8_t* End = nullptr;
};

bool ReadCie(const uint8_t* at, TCie& cie)
{
    std::optional<TCursor> entry = EntryAt(at);
    if (!entry)
        return false;
    TCursor& c = *entry;
    const uint8_t* const end = c.End();
    if (c.Fixed<uint32_t>() != 0) // the CIE's own ID in .eh_frame
        return false;
    const uint8_t version = c.U8();
    if (version != 1 && version != 3)
        return false;
    const char* augmentation = reinterpret_cast<const char*>(c.Position());
    const std::size_t augmentationLength = strnlen(augmentation, std::size_t(end - c.Position()));
    c.SkipTo(c.Position() + augmentationLength + 1);
    cie.CodeAlign = c.Uleb();
    cie.DataAlign = c.Sleb();
    cie.ReturnColumn = version == 1 ? c.U8() : c.Uleb();
    if (!c.Ok() || cie.ReturnColumn != kDwarfReturnAddress)
        return false;
    const uint8_t* dataEnd = nullptr;
    for (std::size_t i = 0; i < augmentationLength && c.Ok(); ++i) {
        switch (augmentation[i]) {
        case 'z': {
            if (i != 0)
                return false;
            cie.HasAugmentationData = true;
            const uint64_t length = c.Uleb();
            dataEnd = c.Position() + length;
            break;
        }
        case 'L': c.U8(); break;
        case 'P': c.Encoded(c.U8() & 0x7F); break; // the personality routine: not needed
        case 'R': cie.PointerEncoding = c.U8(); break;
        case 'S': cie.SignalFrame = true; break;
        case 'B': break;
        case 'G': break;
        default:
            // What an unknown letter carries is skipped with the whole data.
            if (!dataEnd)
                return false;
            i = augmentationLength;
            break;
        }
    }
    if (dataEnd)
        c.SkipTo(dataEnd);
    if (!c.Ok())
        return false;
    cie.Instructions = c.Position();
    cie.End = end;
    return true;
}

struct TFde {
    TCie Cie;
    uint64_t Begin = 0, Range = 0;
    const uint8_t* Instructions = nullptr;
    const uint8_t* End = nullptr;
};

bool ReadFde(const uint8_t* at, TFde& fde)
{
    std::optional<TCursor> entry = EntryAt(at);
    if (!entry)
        return false;
    TCursor& c = *entry;
    const uint8_t* const body = c.Position();
    const uint32_t ciePointer = c.Fixed<uint32_t>();
    if (!c.Ok() || ciePointer == 0 || ciePointer > uintptr_t(body))
        return false;
    if (!ReadCie(body - ciePointer, fde.Cie))
        return false;
    fde.Begin = c.Encoded(fde.Cie.PointerEncoding);
    fde.Range = c.Encoded(fde.Cie.PointerEncoding & 0x0F);
    if (fde.Cie.HasAugmentationData) {
        const uint64_t length = c.Uleb();
        c.SkipTo(c.Position() + length);
    }
    if (!c.Ok())
        return false;
    fde.Instructions = c.Position();
    fde.End = c.End();
    return true;
}

// The FDE that covers pc, through the binary-search table of the module's
// .eh_frame_hdr (as the linker writes it: data-relative signed 4-byte pairs).
bool FindFde(uintptr_t pc, TFde& fde)
{
    dl_find_object found{};
    if (_dl_find_object(reinterpret_cast<void*>(pc), &found) != 0 || !found.dlfo_eh_frame)
        return false;
    const auto* header = static_cast<const uint8_t*>(found.dlfo_eh_frame);
    if (!Readable(header, 4) || header[0] != 1)
        return false;
    const uint8_t framePointerEncoding = header[1], countEncoding = header[2], tableEncoding = header[3];
    if (tableEncoding != 0x3B || !Readable(header + 4, 16))
        return false;
    const auto base = reinterpret_cast<uint64_t>(header);
    TCursor c(header + 4, header + 20);
    c.Encoded(framePointerEncoding, base);
    const uint64_t count = c.Encoded(countEncoding, base);
    if (!c.Ok() || count == 0 || count > (1u << 24))
        return false;
    const uint8_t* table = c.Position();
    if (!Readable(table, std::size_t(count) * 8))
        return false;
    auto entry = [&](uint64_t i, int32_t& location, int32_t& fdeOffset) {
        std::memcpy(&location, table + i * 8, 4);
        std::memcpy(&fdeOffset, table + i * 8 + 4, 4);
    };
    // The last entry that begins at or before pc.
    uint64_t low = 0, high = count;
    while (high - low > 1) {
        const uint64_t mid = low + (high - low) / 2;
        int32_t location = 0, offset = 0;
        entry(mid, location, offset);
        if (base + uint64_t(int64_t(location)) <= pc)
            low = mid;
        else
            high = mid;
    }
    int32_t location = 0, offset = 0;
    entry(low, location, offset);
    if (base + uint64_t(int64_t(location)) > pc)
        return false;
    if (!ReadFde(reinterpret_cast<const uint8_t*>(base + uint64_t(int64_t(offset))), fde))
        return false;
    return pc >= fde.Begin && pc - fde.Begin < fde.Range;
}

// --- running the call-frame instructions ---

constexpr int kRememberedStates = 8;

// Runs the instructions up to the row that holds for pc (location starts
// at the FDE's first address; pc is never reached while running the CIE's).
bool RunInstructions(const uint8_t* begin, const uint8_t* end, const TCie& cie, uint64_t location, uint64_t pc,
                     TRules& rules, const TRules& initial)
{
    TRules remembered[kRememberedStates];
    int depth = 0;
    TCursor c(begin, end);
    TRule ignored; // the rules of registers the unwinder does not follow
    auto rule = [&](uint64_t r) -> TRule* {
        return r < uint64_t(kDwarfRegisters) ? &rules.Registers[std::size_t(r)] : &ignored;
    };
    auto advance = [&](uint64_t delta) {
        location += delta * cie.CodeAlign;
        return location <= pc;
    };
    while (!c.AtEnd() && c.Ok()) {
        const uint8_t op = c.U8();
        const uint8_t low = op & 0x3F;
        switch (op & 0xC0) {
        case 0x40:
            if (!advance(low))
                return true;
            continue;
        case 0x80:
            *rule(low) = {TRuleKind::Offset, int64_t(c.Uleb()) * cie.DataAlign};
            continue;
        case 0xC0:
            *rule(low) = low < kDwarfRegisters ? initial.Registers[low] : TRule{};
            continue;
        default: break;
        }
        switch (op) {
        case 0x00: break; // nop
        case 0x01: {      // set_loc
            const uint64_t to = c.Encoded(cie.PointerEncoding);
            if (to > pc)
                return c.Ok();
            location = to;
            break;
        }
        case 0x02:
            if (!advance(c.U8()))
                return c.Ok();
            break;
        case 0x03:
            if (!advance(c.Fixed<uint16_t>()))
                return c.Ok();
            break;
        case 0x04:
            if (!advance(c.Fixed<uint32_t>()))
                return c.Ok();
            break;
        case 0x05: { // offset_extended
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::Offset, int64_t(c.Uleb()) * cie.DataAlign};
            break;
        }
        case 0x06: { // restore_extended
            const uint64_t r = c.Uleb();
            *rule(r) = r < uint64_t(kDwarfRegisters) ? initial.Registers[std::size_t(r)] : TRule{};
            break;
        }
        case 0x07: *rule(c.Uleb()) = {TRuleKind::Undefined}; break;
        case 0x08: *rule(c.Uleb()) = {TRuleKind::SameValue}; break;
        case 0x09: { // register
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::Register, int64_t(c.Uleb())};
            break;
        }
        case 0x0A: // remember_state
            if (depth == kRememberedStates)
                return false;
            remembered[depth++] = rules;
            break;
        case 0x0B: // restore_state: the CFA's rule too, as the compilers mean it (an epilogue's CFA ends at its return)
            if (depth == 0)
                return false;
            rules = remembered[--depth];
            break;
        case 0x0C: // def_cfa
            rules.CfaRegister = int(c.Uleb());
            rules.CfaOffset = int64_t(c.Uleb());
            rules.CfaExpression = nullptr;
            break;
        case 0x0D: // def_cfa_register
            rules.CfaRegister = int(c.Uleb());
            rules.CfaExpression = nullptr;
            break;
        case 0x0E: rules.CfaOffset = int64_t(c.Uleb()); break; // def_cfa_offset
        case 0x0F: {                                           // def_cfa_expression
            rules.CfaExpressionLength = c.Uleb();
            rules.CfaExpression = c.Position();
            c.SkipTo(c.Position() + rules.CfaExpressionLength);
            break;
        }
        case 0x10:   // expression
        case 0x16: { // val_expression
            const uint64_t r = c.Uleb();
            const uint64_t length = c.Uleb();
            *rule(r) = {op == 0x10 ? TRuleKind::Expression : TRuleKind::ValExpression, 0, c.Position(), length};
            c.SkipTo(c.Position() + length);
            break;
        }
        case 0x11: { // offset_extended_sf
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::Offset, c.Sleb() * cie.DataAlign};
            break;
        }
        case 0x12: // def_cfa_sf
            rules.CfaRegister = int(c.Uleb());
            rules.CfaOffset = c.Sleb() * cie.DataAlign;
            rules.CfaExpression = nullptr;
            break;
        case 0x13: rules.CfaOffset = c.Sleb() * cie.DataAlign; break; // def_cfa_offset_sf
        case 0x14: {                                                  // val_offset
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::ValOffset, int64_t(c.Uleb()) * cie.DataAlign};
            break;
        }
        case 0x15: { // val_offset_sf
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::ValOffset, c.Sleb() * cie.DataAlign};
            break;
        }
        case 0x2E: c.Uleb(); break; // GNU_args_size
        case 0x2F: {                // GNU_negative_offset_extended
            const uint64_t r = c.Uleb();
            *rule(r) = {TRuleKind::Offset, -int64_t(c.Uleb()) * cie.DataAlign};
            break;
        }
        default: return false;
        }
    }
    return c.Ok();
}

// --- DWARF expressions (the few forms call-frame information uses) ---

bool Evaluate(const uint8_t* expression, uint64_t length, const TUnwindRegisters& registers, const TStackReader& stack,
              bool pushCfa, uint64_t cfa, uint64_t& result)
{
    constexpr int kDepth = 16;
    uint64_t s[kDepth];
    int n = 0;
    auto push = [&](uint64_t v) {
        if (n == kDepth)
            return false;
        s[n++] = v;
        return true;
    };
    if (pushCfa)
        push(cfa);
    TCursor c(expression, expression + length);
    // Bounded: a branch backwards could loop.
    for (int steps = 0; !c.AtEnd(); ++steps) {
        if (!c.Ok() || steps > 256)
            return false;
        const uint8_t op = c.U8();
        if (op >= 0x30 && op <= 0x4F) { // lit0-31
            if (!push(op - 0x30))
                return false;
            continue;
        }
        if (op >= 0x70 && op <= 0x8F) { // breg0-31
            const int r = op - 0x70;
            const int64_t offset = c.Sleb();
            if (r >= kDwarfRegisters || !registers.IsKnown(r) || !push(registers.Value[std::size_t(r)] + uint64_t(offset)))
                return false;
            continue;
        }
        // Binary operators take two values, unary ones one.
        auto binary = [&](auto f) {
            if (n < 2)
                return false;
            s[n - 2] = f(s[n - 2], s[n - 1]);
            --n;
            return true;
        };
        bool ok = true;
        switch (op) {
        case 0x03: ok = push(c.Fixed<uint64_t>()); break;                  // addr
        case 0x08: ok = push(c.U8()); break;                               // const1u
        case 0x09: ok = push(uint64_t(int64_t(c.Fixed<int8_t>()))); break; // const1s
        case 0x0A: ok = push(c.Fixed<uint16_t>()); break;
        case 0x0B: ok = push(uint64_t(int64_t(c.Fixed<int16_t>()))); break;
        case 0x0C: ok = push(c.Fixed<uint32_t>()); break;
        case 0x0D: ok = push(uint64_t(int64_t(c.Fixed<int32_t>()))); break;
        case 0x0E:
        case 0x0F: ok = push(c.Fixed<uint64_t>()); break;
        case 0x10: ok = push(c.Uleb()); break;
        case 0x11: ok = push(uint64_t(c.Sleb())); break;
        case 0x12: ok = n >= 1 && push(s[n - 1]); break; // dup
        case 0x13: ok = n >= 1 && (--n, true); break;    // drop
        case 0x14: ok = n >= 2 && push(s[n - 2]); break; // over
        case 0x16:                                       // swap
            ok = n >= 2;
            if (ok)
                std::swap(s[n - 1], s[n - 2]);
            break;
        case 0x06: // deref
            ok = n >= 1 && stack.Read(s[n - 1], s[n - 1]);
            break;
        case 0x1A: ok = binary([](uint64_t a, uint64_t b) { return a & b; }); break;
        case 0x1C: ok = binary([](uint64_t a, uint64_t b) { return a - b; }); break;
        case 0x1E: ok = binary([](uint64_t a, uint64_t b) { return a * b; }); break;
        case 0x1F:
            ok = n >= 1;
            if (ok)
                s[n - 1] = uint64_t(-int64_t(s[n - 1]));
            break;
        case 0x20:
            ok = n >= 1;
            if (ok)
                s[n - 1] = ~s[n - 1];
            break;
        case 0x21: ok = binary([](uint64_t a, uint64_t b) { return a | b; }); break;
        case 0x22: ok = binary([](uint64_t a, uint64_t b) { return a + b; }); break;
        case 0x23: // plus_uconst
            ok = n >= 1;
            if (ok)
                s[n - 1] += c.Uleb();
            break;
        case 0x24: ok = binary([](uint64_t a, uint64_t b) { return b < 64 ? a << b : 0; }); break;
        case 0x25: ok = binary([](uint64_t a, uint64_t b) { return b < 64 ? a >> b : 0; }); break;
        case 0x26: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(int64_t(a) >> (b < 64 ? b : 63)); }); break;
        case 0x27: ok = binary([](uint64_t a, uint64_t b) { return a ^ b; }); break;
        case 0x29: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(a == b); }); break;
        case 0x2A: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(int64_t(a) >= int64_t(b)); }); break;
        case 0x2B: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(int64_t(a) > int64_t(b)); }); break;
        case 0x2C: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(int64_t(a) <= int64_t(b)); }); break;
        case 0x2D: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(int64_t(a) < int64_t(b)); }); break;
        case 0x2E: ok = binary([](uint64_t a, uint64_t b) { return uint64_t(a != b); }); break;
        case 0x2F:   // skip
        case 0x28: { // bra
            const int16_t offset = c.Fixed<int16_t>();
            bool jump = true;
            if (op == 0x28) {
                ok = n >= 1;
                jump = ok && s[--n] != 0;
            }
            if (ok && jump) {
                const uint8_t* to = c.Position() + offset;
                ok = to >= expression && to <= c.End();
                if (ok)
                    c = TCursor(to, c.End());
            }
            break;
        }
        case 0x92: { // bregx
            const uint64_t r = c.Uleb();
            const int64_t offset = c.Sleb();
            ok = r < uint64_t(kDwarfRegisters) && registers.IsKnown(int(r)) && push(registers.Value[std::size_t(r)] + uint64_t(offset));
            break;
        }
        case 0x96: break; // nop
        default: return false;
        }
        if (!ok)
            return false;
    }
    if (!c.Ok() || n < 1)
        return false;
    result = s[n - 1];
    return true;
}

// The registers a callee keeps for its caller: the caller's value stands
// where the callee's rules say nothing.
constexpr uint32_t kCalleeSaved = (1u << 3) | (1u << 6) | (1u << 12) | (1u << 13) | (1u << 14) | (1u << 15);

} // namespace

TUnwindFrame FrameOfContext(const ucontext_t& context)
{
    // ucontext's general registers by DWARF number.
    static constexpr int kGreg[kDwarfRegisters] = {REG_RAX, REG_RDX, REG_RCX, REG_RBX, REG_RSI, REG_RDI, REG_RBP, REG_RSP, REG_R8,
                                                   REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP};
    TUnwindFrame frame;
    for (int r = 0; r < kDwarfRegisters; ++r)
        if (RegisterKnown(context, kGreg[r]))
            frame.Registers.Set(r, uint64_t(context.uc_mcontext.gregs[kGreg[r]]));
    return frame;
}

namespace {

// What the call-frame information says at one instruction.
struct TRulesAt {
    uint64_t Lookup = 0;
    bool Kept = false;        // the entry holds an answer
    bool Described = false;   // some module's information covers the instruction
    bool Usable = false;      // its instructions could be run
    bool SignalFrame = false; // the frame is a signal's
    TRules Rules;
    // The registers whose rule says something, in order (the others keep a
    // callee-saved value and lose the rest): a walk through a deep
    // recursion steps with the same rules thousands of times.
    std::array<uint8_t, kDwarfRegisters> Ruled{};
    uint8_t RuledCount = 0;
    uint32_t Unspecified = 0; // bit r: register r has no rule
};

// The answers of the last few instructions looked up on this thread: a
// walk through a recursion meets the same ones thousands of times. They
// hold for one walk (a module may be unloaded and another loaded there
// between walks): ForgetCallFrameRules starts afresh.
constexpr std::size_t kKeptRules = 8;
thread_local std::array<TRulesAt, kKeptRules> tKeptRules;
thread_local std::size_t tNextKept = 0;

const TRulesAt& RulesAt(uint64_t lookup)
{
    for (const TRulesAt& kept : tKeptRules)
        if (kept.Kept && kept.Lookup == lookup)
            return kept;
    TRulesAt& at = tKeptRules[tNextKept];
    tNextKept = (tNextKept + 1) % kKeptRules;
    at = TRulesAt{};
    at.Lookup = lookup;
    at.Kept = true;
    TFde fde;
    at.Described = lookup != 0 && FindFde(uintptr_t(lookup), fde);
    if (!at.Described)
        return at;
    TRules initial;
    if (!RunInstructions(fde.Cie.Instructions, fde.Cie.End, fde.Cie, 0, 0, initial, initial))
        return at;
    at.Rules = initial;
    at.Usable = RunInstructions(fde.Instructions, fde.End, fde.Cie, fde.Begin, lookup, at.Rules, initial);
    at.SignalFrame = fde.Cie.SignalFrame;
    for (int r = 0; r < kDwarfRegisters; ++r) {
        if (at.Rules.Registers[std::size_t(r)].Kind == TRuleKind::Unspecified)
            at.Unspecified |= 1u << r;
        else
            at.Ruled[at.RuledCount++] = uint8_t(r);
    }
    return at;
}

} // namespace

void ForgetCallFrameRules()
{
    for (TRulesAt& kept : tKeptRules)
        kept.Kept = false;
}

bool HasCallFrameInfo(uintptr_t pc) { return RulesAt(pc).Described; }

TUnwindStep UnwindFrame(TUnwindFrame& frame, const TStackReader& stack)
{
    TUnwindRegisters& now = frame.Registers;
    if (!now.IsKnown(kDwarfReturnAddress) || !now.IsKnown(kDwarfRsp))
        return TUnwindStep::Failed;
    const uint64_t pc = now.Value[kDwarfReturnAddress];
    const uint64_t lookup = frame.ExactPC ? pc : pc - 1;
    if (pc == 0)
        return TUnwindStep::NoInformation;
    const TRulesAt& at = RulesAt(lookup);
    if (!at.Described)
        return TUnwindStep::NoInformation;
    if (!at.Usable)
        return TUnwindStep::Failed;
    const TRules& rules = at.Rules;
    const bool signalFrame = at.SignalFrame;

    uint64_t cfa = 0;
    if (rules.CfaExpression) {
        if (!Evaluate(rules.CfaExpression, rules.CfaExpressionLength, now, stack, false, 0, cfa))
            return TUnwindStep::Failed;
    } else {
        if (rules.CfaRegister < 0 || rules.CfaRegister >= kDwarfRegisters || !now.IsKnown(rules.CfaRegister))
            return TUnwindStep::Failed;
        cfa = now.Value[std::size_t(rules.CfaRegister)] + uint64_t(rules.CfaOffset);
    }

    // Registers without a rule keep their value when callee-saved.
    TUnwindRegisters caller;
    for (uint32_t kept = now.Known & kCalleeSaved & at.Unspecified; kept != 0; kept &= kept - 1) {
        const int r = __builtin_ctz(kept);
        caller.Set(r, now.Value[std::size_t(r)]);
    }
    for (std::size_t i = 0; i < at.RuledCount; ++i) {
        const int r = at.Ruled[i];
        const TRule& rule = rules.Registers[std::size_t(r)];
        uint64_t value = 0, address = 0;
        bool known = false;
        switch (rule.Kind) {
        case TRuleKind::Unspecified: // not among the ruled: kept above when callee-saved
        case TRuleKind::Undefined: break;
        case TRuleKind::SameValue:
            known = now.IsKnown(r);
            value = now.Value[std::size_t(r)];
            break;
        case TRuleKind::Offset:
            address = cfa + uint64_t(rule.Value);
            known = stack.Read(address, value);
            break;
        case TRuleKind::ValOffset:
            value = cfa + uint64_t(rule.Value);
            known = true;
            break;
        case TRuleKind::Register:
            known = rule.Value >= 0 && rule.Value < kDwarfRegisters && now.IsKnown(int(rule.Value));
            value = known ? now.Value[std::size_t(rule.Value)] : 0;
            break;
        case TRuleKind::Expression:
            known = Evaluate(rule.Expression, rule.ExpressionLength, now, stack, true, cfa, address) && stack.Read(address, value);
            break;
        case TRuleKind::ValExpression:
            known = Evaluate(rule.Expression, rule.ExpressionLength, now, stack, true, cfa, value);
            break;
        }
        if (r == kDwarfReturnAddress) {
            if (rule.Kind == TRuleKind::Undefined)
                return TUnwindStep::Outermost;
            if (!known)
                return TUnwindStep::Failed;
        }
        if (known)
            caller.Set(r, value);
    }
    // The caller's stack pointer is the frame's CFA unless a rule says otherwise.
    if (rules.Registers[kDwarfRsp].Kind == TRuleKind::Unspecified || rules.Registers[kDwarfRsp].Kind == TRuleKind::SameValue)
        caller.Set(kDwarfRsp, cfa);
    if (caller.Value[kDwarfReturnAddress] == 0)
        return TUnwindStep::Outermost;
    frame.Registers = caller;
    frame.ExactPC = signalFrame;
    return TUnwindStep::Stepped;
}

} // namespace cv
