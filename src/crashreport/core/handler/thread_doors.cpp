#include "crashreport/core/handler/thread_doors.h"

#include <link.h>
#include <ucontext.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "crashreport/core/capture/code_hooks.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

using PthreadCreateProc = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
using PthreadExitProc = void (*)(void*);

void* gRealCreate = nullptr;
void* gRealExit = nullptr;
std::atomic<bool> gInstalled{false};
// The module of the window framework's thread starts (Qt Core).
uintptr_t gFrameworkModule = 0;

thread_local uintptr_t tTopOfStack = 0;
thread_local bool tCreatingCoreThread = false;
thread_local bool tInThreadsList = false;

// What the wrapper hands to the new thread.
struct TThreadStart {
    void* (*routine)(void*) = nullptr;
    void* argument = nullptr;
    std::unique_ptr<TCrashboxThreadInfo> entry; // none for a thread of the core
};

// The most of a creator's stack that is kept.
constexpr std::size_t kCallerStackBytes = 102400;

// The calling thread's stack, as its creator's copy is kept.
struct TOwnStackCopy {
    std::shared_ptr<const std::vector<uint8_t>> Bytes;
    std::shared_ptr<const ucontext_t> Context; // the registers where the copy begins
    uintptr_t From = 0;                        // where its first byte lay
};

void KeepCallerStack(TCrashboxThreadInfo& entry, TOwnStackCopy copy)
{
    entry.CallerStackDump = std::move(copy.Bytes);
    entry.CallerStackSize = entry.CallerStackDump ? uint32_t(entry.CallerStackDump->size()) : 0;
    entry.CallerContext = std::move(copy.Context);
    entry.CallerStackFrom = copy.From;
}

// The calling thread's stack from its stack pointer here to its top, at
// most kCallerStackBytes, with its registers at that point: the frames of
// the copy are followed from them, as a paused thread's are. The copy
// starts at the stack pointer, an 8-byte boundary as the stack's slots are:
// a scan of it reads it slot by slot, so the return addresses must keep
// their places. (The frames above the stack pointer do not change while
// they are copied: this function only writes its own locals, which the
// walk never reads.)
// Not checked by AddressSanitizer: the copy reads the frames above this one, red zones included, by design.
__attribute__((no_sanitize("address"), noinline)) TOwnStackCopy CopyOfOwnStack()
{
    auto context = std::make_shared<ucontext_t>();
    if (::getcontext(context.get()) != 0)
        return {};
    context->uc_mcontext.fpregs = nullptr;
    const auto from = uintptr_t(context->uc_mcontext.gregs[REG_RSP]);
    const uintptr_t top = ThreadTopOfStack();
    if (top <= from || (from & 7) != 0)
        return {};
    const std::size_t length = std::min<std::size_t>(top - from, kCallerStackBytes);
    auto copy = std::make_shared<std::vector<uint8_t>>(length);
    // Read here, slot by slot: a library copy (memmove) would be checked all the same.
    uint8_t* out = copy->data();
    const auto* words = reinterpret_cast<const volatile uint64_t*>(from);
    std::size_t at = 0;
    for (; at + sizeof(uint64_t) <= length; at += sizeof(uint64_t)) {
        const uint64_t word = words[at / sizeof(uint64_t)];
        std::memcpy(out + at, &word, sizeof word);
    }
    for (const auto* bytes = reinterpret_cast<const volatile uint8_t*>(from); at < length; ++at)
        out[at] = bytes[at];
    return {std::move(copy), std::move(context), from};
}

void LeaveThreadsList()
{
    if (!tInThreadsList)
        return;
    tInThreadsList = false;
    if (const TThreadsListUse threads; threads)
        threads->RemoveCurrentThread();
}

// The lowest address of the thread's static TLS blocks that lies in
// [from, top): what the system reports as a started thread's stack ends
// with its TLS and thread control block, which are no frames (the core's
// own per-thread records, the throw address among them, would read as
// calls). top when no block lies there (the main thread).
uintptr_t BelowStaticTls(uintptr_t from, uintptr_t top)
{
    struct TRange {
        uintptr_t from, top;
    } range{from, top};
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* r = static_cast<TRange*>(data);
            const auto block = reinterpret_cast<uintptr_t>(info->dlpi_tls_data);
            if (block > r->from && block < r->top)
                r->top = block;
            return 0;
        },
        &range);
    return range.top;
}

void* ThreadStartWrapper(void* data)
{
    std::unique_ptr<TThreadStart> start(static_cast<TThreadStart*>(data));
    EnsureAlternateSignalStack();
    tTopOfStack = BelowStaticTls(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), GetStackBase());
    if (start->entry) {
        if (const TThreadsListUse threads; threads) {
            start->entry->ID = CurrentThreadID();
            start->entry->Handle = uintptr_t(pthread_self());
            start->entry->TopOfStack = tTopOfStack;
            threads->Add(std::move(start->entry));
            tInThreadsList = true;
        }
    }
    void* (*const routine)(void*) = start->routine;
    void* const argument = start->argument;
    start.reset();
    // An exception that escapes the routine reaches the terminate door with
    // its stack in place: nothing is caught here.
    void* result = routine(argument);
    LeaveThreadsList();
    return result;
}

} // namespace

} // namespace cv

using namespace cv;

extern "C" {

int CrashboxHookedPthreadCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument)
{
    auto real = reinterpret_cast<PthreadCreateProc>(gRealCreate);
    if (!CoreSwitchedOn() || !routine)
        return real(thread, attributes, routine, argument);
    auto start = std::make_unique<TThreadStart>();
    start->routine = routine;
    start->argument = argument;
    if (const TThreadsListUse threads; !tCreatingCoreThread && threads) {
        threads->PurgeList();
        auto entry = TCrashboxThreadsList::NewDetachedItem();
        entry->Parameter = reinterpret_cast<uintptr_t>(argument);
        const auto address = reinterpret_cast<uintptr_t>(routine);
        // A thread the window framework starts is one of its threads.
        if (gFrameworkModule != 0 && ModuleHandleOfAddress(reinterpret_cast<const void*>(address)) == gFrameworkModule)
            entry->BeginThreadFunction = address;
        else
            entry->CreateThreadFunction = address;
        entry->CallerID = CurrentThreadID();
        KeepCallerStack(*entry, CopyOfOwnStack());
        start->entry = std::move(entry);
    }
    const int result = real(thread, attributes, &ThreadStartWrapper, start.get());
    if (result == 0)
        start.release(); // the new thread owns it now
    return result;
}

[[noreturn]] void CrashboxHookedPthreadExit(void* value)
{
    LeaveThreadsList();
    reinterpret_cast<PthreadExitProc>(gRealExit)(value);
    __builtin_unreachable();
}

} // extern "C"

namespace cv {

uintptr_t ThreadTopOfStack()
{
    if (tTopOfStack == 0)
        tTopOfStack = GetStackBase();
    return tTopOfStack;
}

void SetThreadTopOfStack(uintptr_t top) { tTopOfStack = top; }

uintptr_t ThreadTopOfStackIfKnown() { return tTopOfStack; }

void AddThreadCopy(const TCrashboxThreadInfo* entry)
{
    const TThreadsListUse threads;
    if (!entry || !threads)
        return;
    threads->PurgeList();
    auto copy = TCrashboxThreadsList::NewDetachedItem();
    *copy = *entry;
    copy->IsACopy = true;
    threads->Add(std::move(copy));
}

void RecordCallerStack(uint32_t threadID)
{
    const TThreadsListUse threads;
    if (!threads || InsideProcessException())
        return;
    TOwnStackCopy copy = CopyOfOwnStack();
    threads->BeginWrite();
    const int index = threads->FindByThreadID(threadID);
    if (index >= 0) {
        PCrashboxThreadInfo entry = threads->GetItem(index);
        KeepCallerStack(*entry, std::move(copy));
        entry->CallerID = CurrentThreadID();
    }
    threads->EndWrite();
}

bool TryStartThread(std::thread& thread, std::function<void()> body, const char* purpose)
{
    std::string reason;
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error& e) {
        reason = e.code().message();
    } catch (const std::bad_alloc&) {
        reason = "not enough memory";
    }
    std::fprintf(stderr, "Crashbox: the thread for %s could not be started (%s).\n", purpose, reason.c_str());
    return false;
}

bool StartThreadOrRunHere(std::thread& thread, const std::function<void()>& body, const char* purpose)
{
    // The thread's copy of the body is gone with a start that failed: this one stays.
    if (TryStartThread(thread, body, purpose))
        return true;
    body();
    return false;
}

TCoreThreadScope::TCoreThreadScope() : fOuter(tCreatingCoreThread) { tCreatingCoreThread = true; }
TCoreThreadScope::~TCoreThreadScope() { tCreatingCoreThread = fOuter; }

bool IsRuntimeThread(const TCrashboxThreadInfo& entry)
{
    return entry.ID == MainThread().ID || !entry.Thread.isNull() || entry.BeginThreadFunction != 0;
}

bool InstallThreadDoors()
{
    if (gInstalled.load())
        return true;
    if (!HooksStarted())
        InitHooks();
    gFrameworkModule = ModuleHandleOfName("libQt6Core.so.6");
    bool all = true;
    try {
        HookImportInAllModules({}, "pthread_create", reinterpret_cast<void*>(&CrashboxHookedPthreadCreate), gRealCreate);
        HookImportInAllModules({}, "pthread_exit", reinterpret_cast<void*>(&CrashboxHookedPthreadExit), gRealExit);
    } catch (const EHookError&) {
        all = false;
    }
    gInstalled = true;
    return all && gRealCreate && gRealExit;
}

void RemoveThreadDoors()
{
    // The import slots go back with the other hooks (DoneHooks); threads
    // started meanwhile still run through the wrapper, which only reads the
    // lists when they exist.
    gInstalled = false;
}

} // namespace cv
