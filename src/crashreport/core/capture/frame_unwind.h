#pragma once
// Unwinding a thread's frames one at a time with the call-frame information
// the compiler leaves in every module of this platform (the .eh_frame
// section, found through the table of its .eh_frame_hdr): from a frame's
// registers, the address its return address was saved at and its caller's
// registers. A call stack built this way proves which stack slots hold
// return addresses; the slots between them are the frames' locals.
//
// Safe while a report is made after a crash: nothing is allocated and no
// lock is taken (the loader's _dl_find_object answers without one); a
// module's tables are read only after the memory map says they are
// readable, and the stack only through the caller's reader.
//
// x86-64 only: registers go by their DWARF numbers (0 rax, 1 rdx, 2 rcx,
// 3 rbx, 4 rsi, 5 rdi, 6 rbp, 7 rsp, 8-15 r8-r15), the return address is
// column 16.

#include <array>
#include <cstdint>

#include <ucontext.h>

namespace cv {

inline constexpr int kDwarfRsp = 7;
inline constexpr int kDwarfReturnAddress = 16;
inline constexpr int kDwarfRegisters = 17;

struct TUnwindRegisters {
    std::array<uint64_t, kDwarfRegisters> Value{};
    uint32_t Known = 0; // bit r: Value[r] is known

    bool IsKnown(int r) const { return (Known >> r) & 1u; }
    void Set(int r, uint64_t value)
    {
        Value[std::size_t(r)] = value;
        Known |= 1u << r;
    }
    void Forget(int r) { Known &= ~(1u << r); }
};

// One frame: its registers, the instruction pointer in column 16 and the
// stack pointer in column 7.
struct TUnwindFrame {
    TUnwindRegisters Registers;
    // The instruction pointer is where the frame stands (a fault, a paused
    // thread, the frame a signal interrupted), not a return address; a
    // return address is looked up one byte back, inside its call.
    bool ExactPC = true;
};

// The registers of a context: those the context knows (a context rebuilt
// at a throw knows some only).
TUnwindFrame FrameOfContext(const ucontext_t& context);

// The thread's stack as the unwinder may read it.
class TStackReader {
public:
    // 8 bytes at an address of the thread's stack; false where they cannot be read.
    virtual bool Read(uint64_t address, uint64_t& value) const = 0;

protected:
    ~TStackReader() = default;
};

enum class TUnwindStep {
    Stepped,       // the frame now holds its caller
    Outermost,     // the frame has no caller (its return address is undefined or 0)
    NoInformation, // no module's call-frame information covers its instruction
    Failed         // the information could not be used (a register or the stack not known)
};

// Steps from a frame to its caller.
TUnwindStep UnwindFrame(TUnwindFrame& frame, const TStackReader& stack);

// Whether some module's call-frame information covers the instruction at pc.
bool HasCallFrameInfo(uintptr_t pc);

// The answers of the last few instructions are kept on each thread (a walk
// through a recursion meets the same ones again and again); a walk starts
// by forgetting them, since modules may have changed since the last.
void ForgetCallFrameRules();

} // namespace cv
