#include "crashreport/core/capture/call_stack.h"

#include "crashreport/core/capture/frame_unwind.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/support/jump_thunks.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/module_handles.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace cv {

namespace {

bool Readable(uintptr_t address, std::size_t size) { return IsReadableMemoryCached(reinterpret_cast<const void*>(address), size); }

template <typename T>
T Load(uintptr_t address)
{
    T value;
    std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
    return value;
}

bool InSet(TCrashboxDebugDetails set, TCrashboxDebugDetail detail) { return (set & DebugDetailBit(detail)) != 0; }

// Counts one more entry met by the scan; whether it falls in the scan's
// window (from First on, at most Count of them) and is to be added.
bool NextInWindow(TCallStackScan& scan)
{
    const int index = scan.Found++;
    if (scan.First >= 0 && index < scan.First)
        return false;
    return scan.Count < 0 || index - std::max(scan.First, 0) < scan.Count;
}

// A frame whose module names no function there (a library's function of
// its own, without a symbol of its module) is named by its module and the
// offset of its address in the module ("libc.so.6+0x29d90"), as the
// module's file lays it out: a row, never left out.
void NameByModuleAndOffset(TCrashboxDebugInfo& entry)
{
    if (!entry.ProcedureName.empty() || !entry.UnitName.empty() || !entry.ClassName.empty() || entry.FramesLeftOut != 0
        || !entry.ModuleInfo || entry.ModuleInfo->Handle == 0 || entry.Addr < entry.ModuleInfo->Handle)
        return;
    char offset[24];
    std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(entry.Addr - entry.ModuleInfo->Handle));
    const std::string& name = entry.ModuleInfo->Name;
    entry.ProcedureName = name.substr(name.rfind('/') + 1) + offset;
}

// One entry: the address shown is addr, the one resolved lookup (addr - 1
// for a return address). Inlined code adds an entry for each function it
// was inlined into, at the same address; the group counts as one entry for
// the scan's window.
void AddEntry(uintptr_t addr, uintptr_t lookup, bool isErrorLine, TCallStackScan& scan)
{
    TCrashboxStackList& list = *scan.List;
    if (list.Count() >= kMaxCallStackEntries)
        return;
    auto entry = std::make_unique<TCrashboxDebugInfo>();
    std::vector<TCrashboxDebugInfo> inlinedInto;
    if (scan.UseDebugData) {
        TCrashboxModulesList* modules = scan.Modules;
        FillDebugInfoForAddress(lookup, scan.ThreadID, *entry, scan.RunningThread, isErrorLine,
                                [modules](uintptr_t a) { return modules ? ModuleInfoByAddr(*modules, a) : nullptr; }, &inlinedInto);
        entry->Addr = addr;
    } else {
        entry->RunningThread = scan.RunningThread;
        entry->ErrorLine = isErrorLine;
        entry->ThreadID = scan.ThreadID;
        entry->Addr = addr;
        const uintptr_t handle = ModuleHandleOfAddress(reinterpret_cast<const void*>(lookup));
        if (handle != 0) {
            entry->DebugDetail = TCrashboxDebugDetail::ddModule;
            entry->ModuleInfo = list.SmallModuleRecord(handle, ModuleFileNameOfHandle(handle));
        }
    }
    if (!isErrorLine && !InSet(scan.Details, entry->DebugDetail))
        return;
    if (!NextInWindow(scan))
        return;
    NameByModuleAndOffset(*entry);
    if (scan.Scanning)
        entry->CustomMsg = kFoundByScanning;
    TCrashboxDebugInfo* last = entry.get();
    list.Add(std::move(entry));
    for (TCrashboxDebugInfo& caller : inlinedInto) {
        if (list.Count() >= kMaxCallStackEntries || !InSet(scan.Details, caller.DebugDetail))
            continue;
        caller.Addr = addr;
        caller.CustomMsg = last->CustomMsg;
        last->Inlined = true;
        auto added = std::make_unique<TCrashboxDebugInfo>(std::move(caller));
        last = added.get();
        list.Add(std::move(added));
    }
}

// Whether V is just after one of the call forms; for a direct call, its target.
bool IsReturnAddress(uintptr_t v, uintptr_t& callTarget)
{
    callTarget = 0;
    if (v < 7 || !Readable(v - 7, 7))
        return false;
    std::array<uint8_t, 7> b; // b[i] is the byte at V-7+i
    std::memcpy(b.data(), reinterpret_cast<const void*>(v - 7), b.size());
    const auto at = [&](int back) { return b[std::size_t(7 - back)]; }; // the byte at V-back
    if (at(5) == 0xE8) {
        const uintptr_t target = v + uintptr_t(intptr_t(Load<int32_t>(v - 4)));
        if (Readable(target, 1)) {
            callTarget = target;
            return true;
        }
    }
    if (at(2) == 0xFF) {
        const uint8_t m = at(1);
        if ((m >= 0xD0 && m <= 0xD7) || (m >= 0x10 && m <= 0x13) || m == 0x16 || m == 0x17)
            return true;
    }
    if (at(3) == 0xFF) {
        const uint8_t m = at(2);
        if (((m >= 0x50 && m <= 0x53) || (m >= 0x55 && m <= 0x57)) && (at(5) == 0x8B || at(6) == 0x8B))
            return true;
        if (m == 0x14 && at(1) == 0x24)
            return true;
    }
    if (at(6) == 0xFF) {
        const uint8_t m = at(5);
        if ((m >= 0x90 && m <= 0x93) || (m >= 0x95 && m <= 0x97))
            return true;
        if (m == 0x15 && Readable(v + uintptr_t(intptr_t(Load<int32_t>(v - 4))), sizeof(uintptr_t)))
            return true;
    }
    if (at(4) == 0xFF && at(3) == 0x54 && at(2) == 0x24)
        return true;
    if (at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24)
        return true;
    return false;
}

// The calling thread's stack: [limit, base). Asked once per thread (the
// main thread's answer reads the memory map).
struct TStackBounds {
    uintptr_t Limit = 0, Base = 0;
};

TStackBounds CurrentStackBounds()
{
    thread_local TStackBounds bounds = [] {
        TStackBounds b;
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
            void* low = nullptr;
            std::size_t size = 0;
            if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
                b.Limit = reinterpret_cast<uintptr_t>(low);
                b.Base = b.Limit + size;
            }
            pthread_attr_destroy(&attributes);
        }
        return b;
    }();
    return bounds;
}

struct TStackCopyStore {
    std::mutex Lock;
    std::array<uint8_t, kMaxStackScanBytes> Bytes{};
    std::size_t Length = 0;
    uintptr_t From = 0;
    uint32_t ThreadID = 0;
    uintptr_t ExceptionAddress = 0;
};

TStackCopyStore& StackCopyStore()
{
    static TStackCopyStore store;
    return store;
}

struct TLastExceptionStore {
    std::mutex Lock;
    TLastExceptionInfo Info;
};

TLastExceptionStore& LastExceptionStore()
{
    static TLastExceptionStore store;
    return store;
}

bool SameFrame(const TCrashboxDebugInfo& a, const TCrashboxDebugInfo& b)
{
    return a.UnitName == b.UnitName && a.ClassName == b.ClassName && a.ProcedureName == b.ProcedureName && a.ThreadID == b.ThreadID
        && a.RunningThread == b.RunningThread;
}

bool HasProcedureDetail(const TCrashboxDebugInfo& e)
{
    return e.DebugDetail >= TCrashboxDebugDetail::ddProcedure && e.DebugDetail <= TCrashboxDebugDetail::ddSourceCode;
}

// A return address found on the stack: the procedure its direct call
// calls first when asked (see TCallStackScan), then the address itself.
void AddReturnAddress(uintptr_t v, uintptr_t callTarget, TCallStackScan& scan)
{
    if (callTarget != 0 && scan.CheckRealProcAddress) {
        const auto real = reinterpret_cast<uintptr_t>(GetRealProcAddress(reinterpret_cast<const void*>(callTarget)));
        if (Readable(real, 1) && Load<uint8_t>(real) != 0xE8)
            AddEntry(real, real, false, scan);
    }
    AddEntry(v, v - 1, false, scan);
}

// The raw scan of the slots [from, to): every value that is a return address.
void ScanRaw(TCallStackScan& scan, uintptr_t from, uintptr_t to)
{
    // What it adds is marked: candidates, not frames proven by unwinding.
    const bool wasScanning = scan.Scanning;
    scan.Scanning = true;
    constexpr std::size_t kBlock = 400;
    std::size_t blockLeft = 0;
    for (uintptr_t slot = from; to >= 8 && slot <= to - 8; slot += 8) {
        if (blockLeft == 0) {
            if (Readable(slot, kBlock))
                blockLeft = kBlock;
            else if (Readable(slot, 8))
                blockLeft = 8;
            else
                continue;
        }
        blockLeft -= 8;
        const uintptr_t v = Load<uintptr_t>(slot);
        uintptr_t target;
        if (IsReturnAddress(v, target))
            AddReturnAddress(v, target, scan);
    }
    scan.Scanning = wasScanning;
}

// The thread's stack as the range of the scan holds it: the slots of
// [StackFrom, to), which lay at StackOrigin when they are a copy.
class TScanStack final : public TStackReader {
public:
    TScanStack(const TCallStackScan& scan, uintptr_t to)
        : m_from(scan.StackFrom), m_to(to), m_origin(scan.StackOrigin != 0 ? scan.StackOrigin : scan.StackFrom),
          m_readableFrom(ReadableFrom(m_from, to))
    {
    }
    // The stack's address of a place in the range, and back.
    uint64_t Real(uintptr_t at) const { return uint64_t(at - m_from + m_origin); }
    uintptr_t InRange(uint64_t real) const { return uintptr_t(real - m_origin + m_from); }
    bool Holds(uint64_t real, uint64_t size) const { return real >= m_origin && real - m_origin <= uint64_t(m_to - m_from) - size && m_to - m_from >= size; }

    bool Read(uint64_t address, uint64_t& value) const override
    {
        if (!Holds(address, 8) || (InRange(address) < m_readableFrom && !Readable(InRange(address), 8)))
            return false;
        value = Load<uint64_t>(InRange(address));
        return true;
    }

private:
    // Where the range's readable part starts: the whole range, or the part
    // of it in the mapping that holds its top, asked once (a deep stack is
    // read thousands of times). An overflowed stack's pointer stands below
    // its mapping, so the range starts in memory that is not there; the
    // frames above it are read from the mapping. `to` when neither is readable.
    static uintptr_t ReadableFrom(uintptr_t from, uintptr_t to)
    {
        if (to <= from)
            return to;
        if (Readable(from, to - from))
            return from;
        uintptr_t start = 0, end = 0;
        if (!MemoryMappingOf(reinterpret_cast<const void*>(to - 1), start, end) || start <= from)
            return to;
        return Readable(start, to - start) ? start : to;
    }

    uintptr_t m_from, m_to, m_origin;
    uintptr_t m_readableFrom;
};

// One frame the call-frame information proves: its return address (or,
// above a signal's frame, the instruction it stands at).
struct TProvenFrame {
    uintptr_t Address = 0;
    uintptr_t CallTarget = 0; // of a direct call before Address
    bool Exact = false;       // Address is an instruction, not a return address
    // Address is where a signal's handler returns to (the system's return
    // from the handler): the frame a signal handler was entered from lies
    // above it.
    bool SignalEntry = false;

    bool operator==(const TProvenFrame& other) const { return Address == other.Address && Exact == other.Exact; }
};

// A recursion: frames [First, First + Length) repeat a cycle of Period frames.
struct TRepeatedRun {
    std::size_t First = 0, Length = 0, Period = 0;
};

constexpr std::size_t kLongestCycle = 8;

TRepeatedRun LongestRepeatedRun(const std::vector<TProvenFrame>& frames)
{
    TRepeatedRun best;
    for (std::size_t period = 1; period <= kLongestCycle; ++period) {
        // Each stretch of frames that equal the frame a period before.
        std::size_t i = period;
        while (i < frames.size()) {
            if (!(frames[i] == frames[i - period])) {
                ++i;
                continue;
            }
            const std::size_t from = i;
            while (i < frames.size() && frames[i] == frames[i - period])
                ++i;
            const std::size_t length = i - from + period;
            if (length > best.Length)
                best = {from - period, length, period};
        }
    }
    return best;
}

// The row that stands for the frames a recursion's report leaves out.
void AddLeftOutRow(std::size_t count, TCallStackScan& scan)
{
    if (scan.List->Count() >= kMaxCallStackEntries)
        return;
    if (!NextInWindow(scan))
        return;
    auto entry = std::make_unique<TCrashboxDebugInfo>();
    entry->DebugDetail = TCrashboxDebugDetail::ddSourceCode;
    entry->ThreadID = scan.ThreadID;
    entry->RunningThread = scan.RunningThread;
    entry->FramesLeftOut = uint32_t(std::min<std::size_t>(count, UINT32_MAX));
    entry->ProcedureName = "(" + std::to_string(count) + " repeated frames left out)";
    scan.List->Add(std::move(entry));
}

// The row where a signal's handler was entered, as the debugger shows it:
// the address the handler returns to, in the system's return code.
void AddSignalEntryRow(uintptr_t address, TCallStackScan& scan)
{
    if (scan.List->Count() >= kMaxCallStackEntries || !InSet(scan.Details, TCrashboxDebugDetail::ddProcedure) || !NextInWindow(scan))
        return;
    auto entry = std::make_unique<TCrashboxDebugInfo>();
    entry->DebugDetail = TCrashboxDebugDetail::ddProcedure;
    entry->ModuleInfo = scan.Modules ? ModuleInfoByAddr(*scan.Modules, address) : nullptr;
    entry->ThreadID = scan.ThreadID;
    entry->RunningThread = scan.RunningThread;
    entry->Addr = address;
    entry->ProcedureName = kSignalHandlerCalled;
    scan.List->Add(std::move(entry));
}

void AddProvenFrame(const TProvenFrame& frame, TCallStackScan& scan)
{
    if (frame.SignalEntry)
        AddSignalEntryRow(frame.Address, scan);
    else if (frame.Exact)
        AddEntry(frame.Address, frame.Address, false, scan);
    else
        AddReturnAddress(frame.Address, frame.CallTarget, scan);
}

// The frames the call-frame information proves, from the scan's context
// on, through the whole of the range: each caller's return address is
// added. A recursion that repeats a frame (or a short cycle of frames)
// many times shows its first turn, a row that says how many frames are
// left out, and its last turn, then the frames below it down to the
// thread's start: a stack overflow shows where it began. Answers the first
// slot the raw scan must read: `to` when the chain reached its outermost
// frame, else the stack pointer of the frame it could not follow.
uintptr_t AddProvenFrames(TCallStackScan& scan, uintptr_t to)
{
    const TScanStack stack(scan, to);
    TUnwindFrame frame = FrameOfContext(*scan.Context);
    const uintptr_t rawFromStart = (scan.StackFrom + 7) & ~uintptr_t(7);
    // The registers must belong to this stack: its stack pointer at the range's start.
    if (!frame.Registers.IsKnown(kDwarfRsp) || frame.Registers.Value[kDwarfRsp] != stack.Real(scan.StackFrom))
        return rawFromStart;
    auto rawFrom = [&](uint64_t sp) { return (stack.InRange(sp) + 7) & ~uintptr_t(7); };
    ForgetCallFrameRules();
    std::vector<TProvenFrame> frames;
    struct {
        bool AfterCall = false, Described = false;
        uintptr_t Target = 0;
    } last; // what was found of the last return address
    uintptr_t result = to;
    // Each step moves up the stack, so the walk ends within the range's slots.
    for (;;) {
        const uint64_t sp = frame.Registers.Value[kDwarfRsp];
        const TUnwindStep step = UnwindFrame(frame, stack);
        if (step == TUnwindStep::Outermost)
            break;
        if (step != TUnwindStep::Stepped) {
            result = rawFrom(sp);
            break;
        }
        const uint64_t callerSp = frame.Registers.Value[kDwarfRsp];
        if (!frame.Registers.IsKnown(kDwarfRsp) || callerSp <= sp || !stack.Holds(callerSp, 0)) {
            result = rawFrom(sp);
            break;
        }
        // A deep recursion's frames lie at a steady distance, each on a
        // line of memory of its own: the slots a few frames on are fetched
        // ahead, so that the walk does not wait for each frame in turn (a
        // fetch ahead of memory that is not there is dropped, never a fault).
        if (const uint64_t stride = callerSp - sp; stride <= 4096)
            __builtin_prefetch(reinterpret_cast<const void*>(stack.InRange(callerSp + 8 * stride - 8)));
        // A caller is code: where it has no call-frame information, its
        // return address must at least follow a call (else the stack is
        // damaged there, and only the raw scan can say more).
        const auto v = uintptr_t(frame.Registers.Value[kDwarfReturnAddress]);
        // A recursion returns to the same place frame after frame: asked once.
        if (frames.empty() || frames.back().Address != v || frames.back().Exact != frame.ExactPC) {
            uintptr_t target = 0;
            last.AfterCall = IsReturnAddress(v, target);
            last.Target = target;
            last.Described = HasCallFrameInfo(frame.ExactPC ? v : v - 1);
        }
        const bool afterCall = last.AfterCall, described = last.Described;
        const uintptr_t target = last.Target;
        if (!afterCall && !described) {
            result = rawFrom(callerSp);
            break;
        }
        // A frame that stands where it is (not at a return address) is one
        // a signal interrupted: the frame before it is the handler's return.
        if (frame.ExactPC && !frames.empty() && !frames.back().Exact)
            frames.back().SignalEntry = true;
        frames.push_back({v, target, frame.ExactPC});
        if (!described) {
            result = rawFrom(callerSp);
            break;
        }
    }

    // A recursion's middle is left out when it would make many rows.
    constexpr std::size_t kShownBefore = 1, kShownAfter = 1, kLeftOutAtLeast = 8;
    const TRepeatedRun run = LongestRepeatedRun(frames);
    std::size_t leftOutFrom = frames.size(), leftOut = 0;
    if (run.Length >= (kShownBefore + kShownAfter) * run.Period + kLeftOutAtLeast) {
        leftOutFrom = run.First + kShownBefore * run.Period;
        leftOut = run.Length - (kShownBefore + kShownAfter) * run.Period;
    }
    for (std::size_t i = 0; i < frames.size() && scan.List->Count() < kMaxCallStackEntries; ++i) {
        if (i == leftOutFrom) {
            AddLeftOutRow(leftOut, scan);
            i += leftOut - 1;
            continue;
        }
        AddProvenFrame(frames[i], scan);
    }
    return scan.List->Count() >= kMaxCallStackEntries ? to : result;
}

} // namespace

std::unique_ptr<TCrashboxStackList> GetCallStack(TCrashboxModulesList& modules, uintptr_t ErrorAddr, uintptr_t StackPoint,
                                                 uintptr_t TopOfStack, uint32_t ThreadID, TCrashboxDebugDetails details, int first,
                                                 int count, bool running, bool useDebugData, const ucontext_t* context,
                                                 uintptr_t stackOrigin)
{
    auto list = std::make_unique<TCrashboxStackList>();
    TCallStackScan scan;
    scan.List = list.get();
    scan.Modules = &modules;
    scan.ErrorAddr = ErrorAddr;
    scan.StackFrom = StackPoint;
    scan.StackTo = TopOfStack;
    scan.Details = details;
    scan.First = first;
    scan.Count = count;
    scan.RunningThread = running;
    scan.UseDebugData = useDebugData;
    scan.ThreadID = ThreadID;
    scan.Context = context;
    scan.StackOrigin = stackOrigin;
    BuildCallStackFromStack(scan);
    return list;
}

void AddCallStackItem(uintptr_t Addr, bool IsErrorLine, TCallStackScan& scan) { AddEntry(Addr, Addr, IsErrorLine, scan); }

void BuildCallStackFromStack(TCallStackScan& scan)
{
    const int firstAdded = scan.List->Count();
    if (scan.ErrorAddr != 0)
        AddCallStackItem(scan.ErrorAddr, true, scan);
    // Mostly the values are no addresses: the map is read once for the scan, not once per miss.
    ForgetMemoryMap();
    const uintptr_t from = (scan.StackFrom + 7) & ~uintptr_t(7);
    // The proven frames are followed through the whole stack; the raw scan
    // reads at most its first 102,400 bytes.
    uintptr_t to = scan.StackTo;
    if (to > from && to - from > kMaxStackScanBytes)
        to = from + kMaxStackScanBytes;
    const uintptr_t rawFrom = scan.Context ? AddProvenFrames(scan, std::max(scan.StackTo, to)) : from;
    ScanRaw(scan, rawFrom, to);
    FilterCallStack(*scan.List, firstAdded);
}

void AddPausedThreadCallStack(TCallStackScan& scan, const TPausedThread& thread, uintptr_t topOfStack)
{
    if (!thread.Answered)
        return;
    scan.ThreadID = thread.ID;
    scan.ErrorAddr = 0;
    const uintptr_t top = topOfStack != 0 ? topOfStack : thread.StackBase;
    if (!thread.StackCopy.empty()) {
        // Not held: its stack as copied while it waited in the system.
        const auto from = reinterpret_cast<uintptr_t>(thread.StackCopy.data());
        const std::size_t length = top > thread.StackPointer ? std::min<std::size_t>(thread.StackCopy.size(), top - thread.StackPointer) : 0;
        scan.StackFrom = from;
        scan.StackTo = from + length;
        scan.StackOrigin = thread.StackPointer;
    } else {
        scan.StackFrom = thread.StackPointer;
        scan.StackTo = top;
        scan.StackOrigin = 0;
    }
    scan.Context = &thread.Context;
    const int firstAdded = scan.List->Count();
    AddCallStackItem(thread.InstructionPointer, false, scan);
    BuildCallStackFromStack(scan);
    FilterCallStack(*scan.List, firstAdded);
}

TCrashboxDebugDetails GetCallStackModuleFilter(const TCrashboxModuleOptions& options)
{
    TCrashboxDebugDetails set = DebugDetailBit(TCrashboxDebugDetail::ddSourceCode);
    // A frame known by its module alone is shown with the libraries' frames
    // (named by its module and offset): no frame is left out unseen.
    if (options.CallStackOptions().Contains(csoShowDLLs))
        set |= DebugDetailBit(TCrashboxDebugDetail::ddProcedure) | DebugDetailBit(TCrashboxDebugDetail::ddModule);
    if (options.CallStackOptions().Contains(csoShowBPLs))
        set |= DebugDetailBit(TCrashboxDebugDetail::ddUnitAndProcedure);
    return set;
}

void FilterCallStack(TCrashboxStackList& list, int first)
{
    first = std::max(first, 0);
    // The core's own frames are removed only inside the development
    // environment's process, which never hosts this program (IsIDEHost).
    //
    // Repeated addresses: from the end, each entry against the next entry
    // of its module that has procedure detail.
    std::map<const TCrashboxModuleInfo*, uintptr_t> next;
    for (int i = list.Count() - 1; i >= first; --i) {
        TCrashboxDebugInfo& entry = *list.GetItem(i);
        // Inlined code shares the fate of the function it was inlined into.
        if (entry.Inlined) {
            if (i + 1 < list.Count() && list.GetItem(i + 1)->Addr == entry.Addr
                && list.GetItem(i + 1)->DebugDetail == TCrashboxDebugDetail::ddNone)
                entry.DebugDetail = TCrashboxDebugDetail::ddNone;
            continue;
        }
        // The turns of a recursion on either side of the frames left out are
        // frames of their own, not repeats of each other.
        if (entry.FramesLeftOut != 0) {
            next.clear();
            continue;
        }
        if (!HasProcedureDetail(entry))
            continue;
        const auto known = next.find(entry.ModuleInfo);
        if (known != next.end() && known->second == entry.Addr)
            entry.DebugDetail = TCrashboxDebugDetail::ddNone;
        else
            next[entry.ModuleInfo] = entry.Addr;
    }
    // Recursion: the run of entries just before a frame's first line that show the same frame.
    for (int i = list.Count() - 1; i > first; --i) {
        const TCrashboxDebugInfo& entry = *list.GetItem(i);
        if (entry.DebugDetail != TCrashboxDebugDetail::ddSourceCode || entry.ProcOffsetLine != 0 || entry.FramesLeftOut != 0)
            continue;
        for (int j = i - 1; j >= first && SameFrame(*list.GetItem(j), entry); --j)
            list.GetItem(j)->DebugDetail = TCrashboxDebugDetail::ddNone;
    }
}

// --- the stack copy ---

void SaveExceptionStackCopy(uintptr_t Addr, bool NativeException, uintptr_t savedRaiseStackPointer)
{
    const TStackBounds bounds = CurrentStackBounds();
    uintptr_t from = savedRaiseStackPointer;
    if (from < bounds.Limit || from >= bounds.Base)
        from = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    std::size_t length = from < bounds.Base ? std::min<std::size_t>(bounds.Base - from, kMaxStackScanBytes) : 0;
    // Pages of the main thread's stack below where it ever reached are not there.
    if (length > 0 && !IsReadableMemory(reinterpret_cast<const void*>(from), length))
        length = 0;
    TStackCopyStore& store = StackCopyStore();
    std::lock_guard guard(store.Lock);
    std::memcpy(store.Bytes.data(), reinterpret_cast<const void*>(from), length);
    store.Length = length;
    store.From = from;
    store.ThreadID = CurrentThreadID();
    store.ExceptionAddress = NativeException && Addr >= 5 ? Addr - 5 : Addr;
}

TExceptionStackCopy LastExceptionStackCopy()
{
    TStackCopyStore& store = StackCopyStore();
    std::lock_guard guard(store.Lock);
    TExceptionStackCopy copy;
    copy.Bytes.assign(store.Bytes.begin(), store.Bytes.begin() + ptrdiff_t(store.Length));
    copy.From = store.From;
    copy.ThreadID = store.ThreadID;
    copy.ExceptionAddress = store.ExceptionAddress;
    return copy;
}

// --- the last exception ---

void StoreLastExceptionInfo(uintptr_t Addr, const TExceptionObject* Object, bool NativeException)
{
    TLastExceptionStore& store = LastExceptionStore();
    std::lock_guard guard(store.Lock);
    TLastExceptionInfo& info = store.Info;
    info.Object = Object ? *Object : TExceptionObject{};
    info.Address = Addr;
    info.NativeException = NativeException;
    if (info.Object.IsValid())
        info.LastKnownObject = info.Object;
    if (Addr != 0)
        info.LastKnownAddress = Addr;
}

TLastExceptionInfo LastExceptionInfo()
{
    TLastExceptionStore& store = LastExceptionStore();
    std::lock_guard guard(store.Lock);
    return store.Info;
}

} // namespace cv
