#pragma once
// Call stacks of the report: for a thread, the return addresses of the calls
// that led to where it stands, each resolved to module, unit, procedure and
// line (FillDebugInfoForAddress; inlined code adds a row for each function
// it was inlined into), then cleaned of repeated frames and of recursion.
//
// Where the thread's registers are known (a fault's context, a paused
// thread's, the registers saved at a throw), the frames are proven first,
// through the whole stack down to the thread's start: the modules'
// call-frame information (frame_unwind.h) says, frame by frame, which slot
// holds the return address, and the slots between them are the frames'
// locals, never read as addresses. A long recursion among them shows its
// first turn, one row for the frames left out (FramesLeftOut) and its last
// turn (docs/call-stacks.md); where the chain goes through a signal's
// handler, the handler's return is a row of its own (kSignalHandlerCalled)
// between the handler's frames and the frame the signal interrupted. A
// frame whose module names no function there is named by the module and
// its offset in it ("libc.so.6+0x29d90"). Where that chain cannot
// go on (code without call-frame information, a step that fails or makes
// no progress, a return address that is no code), and for a stack known
// without registers, the rest of the stack is scanned raw: every value
// that is a return address, that is an address in readable memory just
// after a call instruction. The raw scan reports candidates, not proven
// frames: a stale return address left in the stack is reported too.
//
// The stack is read in 8-byte slots; readability comes from the memory map
// (IsReadableMemory), never from touching memory. The call forms accepted
// before a value V (REX prefixes stand before these bytes and change
// nothing here):
//   E8 rel32 at V-5                  call rel32 (its target must be readable)
//   FF D0-D7 at V-2                  call reg
//   FF 10-13, 16-17 at V-2           call [reg]
//   FF 50-53, 55-57 at V-3           call [reg+disp8], after a mov (8B at V-5 or V-6)
//   FF 90-93, 95-97 at V-6           call [reg+disp32]
//   FF 14 24 at V-3, FF 54 24 at V-4, FF 94 24 at V-7   call [rsp], [rsp+disp8], [rsp+disp32]
//   FF 15 disp32 at V-6              call [rip+disp32] (the pointer at V+disp32 must be readable)
// A return address is resolved at V-1 (the call's own line) and shown as V.
//
// Also kept here: the stack copy taken when an exception is raised, and
// the last exception raised.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <ucontext.h>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

struct TPausedThread;

// A set of TCrashboxDebugDetail levels: bit (1 << level).
using TCrashboxDebugDetails = uint8_t;
constexpr TCrashboxDebugDetails DebugDetailBit(TCrashboxDebugDetail detail) { return TCrashboxDebugDetails(1u << unsigned(detail)); }
constexpr TCrashboxDebugDetails kAllDebugDetails = 31;

// The note (CustomMsg) of the entries the raw scan found: return addresses
// in the stack, not frames that unwinding proved (a stale one left in the
// stack is among them). The report shows them in a block of their own
// under a header that says so.
inline constexpr const char* kFoundByScanning = "found by scanning the stack, not by unwinding";

// The row that stands where a signal's handler was entered (the system's
// return from the handler), as the debugger names it.
inline constexpr const char* kSignalHandlerCalled = "<signal handler called>";

// The most of a stack a scan reads, and the most entries a list holds.
inline constexpr std::size_t kMaxStackScanBytes = 102400;
inline constexpr int kMaxCallStackEntries = 1025;

// The parameters of one scan.
struct TCallStackScan {
    TCrashboxStackList* List = nullptr;
    TCrashboxModulesList* Modules = nullptr; // where module records are looked up
    uintptr_t ErrorAddr = 0;                 // 0 for none
    uintptr_t StackFrom = 0, StackTo = 0;    // [StackFrom, StackTo)
    // Where StackFrom's bytes lie in the thread's stack when the range is a
    // copy of it (0: the range is the stack itself).
    uintptr_t StackOrigin = 0;
    // The thread's registers when its stack pointer stood at the range's
    // start (the start of the stack, not of a copy): the frames are then
    // followed by their call-frame information. Nil, or a context whose
    // stack pointer is elsewhere: the raw scan alone.
    const ucontext_t* Context = nullptr;
    TCrashboxDebugDetails Details = kAllDebugDetails;
    // A window of the entries: the first index to keep and how many (-1: all).
    int First = -1, Count = -1;
    bool RunningThread = false; // copied into the entries
    bool UseDebugData = true;   // false: module-level entries only
    // For a direct call, also add the procedure it calls (after following
    // jump thunks), unless that starts with a call itself.
    bool CheckRealProcAddress = false;
    uint32_t ThreadID = 0;
    // Set while the raw scan adds its entries (marked kFoundByScanning).
    bool Scanning = false;
    int Found = 0; // entries met so far (the window counts them)
};

// A new list holding the scan of [StackPoint, TopOfStack) (a copy of the
// stack that lay at stackOrigin, when that is not 0), from the registers of
// context when it is given.
std::unique_ptr<TCrashboxStackList> GetCallStack(TCrashboxModulesList& modules, uintptr_t ErrorAddr, uintptr_t StackPoint,
                                                 uintptr_t TopOfStack, uint32_t ThreadID, TCrashboxDebugDetails details, int first,
                                                 int count, bool running, bool useDebugData, const ucontext_t* context = nullptr,
                                                 uintptr_t stackOrigin = 0);
// Adds to scan.List: the error line (when given), then the return
// addresses of the proven frames and those the raw scan finds, within the
// first 102,400 bytes of the range; then cleans what it added.
void BuildCallStackFromStack(TCallStackScan& scan);
// One entry for Addr, resolved at Addr itself (at most 1,025 entries a
// list; the detail set and the window apply, except to the error line).
void AddCallStackItem(uintptr_t Addr, bool IsErrorLine, TCallStackScan& scan);
// Adds a paused thread's call stack: the instruction it was paused at,
// then the return addresses of its stack up to topOfStack (0: the top of
// the mapping that holds its stack), from its registers; of a thread read
// while it waited in the system, from the copy of its stack. The scan's
// thread ID, range and context are set from the thread. A thread that did
// not answer adds nothing.
void AddPausedThreadCallStack(TCallStackScan& scan, const TPausedThread& thread, uintptr_t topOfStack = 0);

// The detail levels the report shows: source lines always; procedures of
// libraries with csoShowDLLs; units and procedures with csoShowBPLs.
TCrashboxDebugDetails GetCallStackModuleFilter(const TCrashboxModuleOptions& options);
// Hides (ddNone) the repeated entries from index first on: an entry with
// procedure detail at the address of the next such entry of its module,
// and the run of entries before a recursion's frame that show that frame.
void FilterCallStack(TCrashboxStackList& list, int first);

// --- The stack copy taken at a raise ---

struct TExceptionStackCopy {
    std::vector<uint8_t> Bytes; // the stack from the raise's stack pointer up
    uintptr_t From = 0;         // where Bytes[0] was in the thread's stack
    uint32_t ThreadID = 0;
    uintptr_t ExceptionAddress = 0;
};
// Copies the calling thread's stack from the stack pointer saved at the
// raise (the current one when that lies outside the thread's stack) up to
// its base, at most 102,400 bytes, with the thread and the address (5 less
// for a raise by the runtime: the call of the raise).
void SaveExceptionStackCopy(uintptr_t Addr, bool NativeException, uintptr_t savedRaiseStackPointer);
// What the last call stored (empty bytes when nothing was).
TExceptionStackCopy LastExceptionStackCopy();

// --- The last exception raised ---

struct TLastExceptionInfo {
    TExceptionObject Object;
    uintptr_t Address = 0;
    bool NativeException = false;
    // The last values that were not empty.
    TExceptionObject LastKnownObject;
    uintptr_t LastKnownAddress = 0;
};
void StoreLastExceptionInfo(uintptr_t Addr, const TExceptionObject* Object, bool NativeException);
inline void SetLastExceptionInfo(uintptr_t Addr, const TExceptionObject* Object, bool NativeException)
{
    StoreLastExceptionInfo(Addr, Object, NativeException);
}
TLastExceptionInfo LastExceptionInfo();

} // namespace cv
