#pragma once
// The report's own memory: while a report is made, no allocation of the
// process waits for the C library's allocator.
//
// A report allocates a great deal (texts, lists, the debug data's tables),
// and the C library's allocator serves it under a lock that another thread
// may hold for good: the faulting thread itself when the heap is corrupt
// (glibc finds the damage inside free or malloc and aborts with its arena
// locked), or a thread that the report paused inside malloc. So the core
// carries its own allocator, and the process's malloc, calloc, realloc,
// free and the aligned forms are this file's: outside a report they hand
// every call to the C library's, untouched; while an arena scope is open
// (TReportArenaScope) every new block of every thread comes from memory
// mapped for the report (a first part at start-up, more by mmap when it is
// used up), through lists that take no lock, so a thread paused in the
// middle of one of them holds nobody up. A block of the C library's that is
// freed or grown meanwhile is not handed to it: it is kept aside (grown:
// copied into the arena) and given back when the last scope closes, unless
// that scope ends a fatal signal's report (the lock may stay held until the
// process ends). An arena block freed at any later time goes back to the
// arena, so blocks made during a report may live on in the program.
//
// The arena's blocks carry a header the C library's never have (bit 3 of
// the size word, which glibc keeps clear: its sizes are multiples of 16),
// and a cookie made from the block's address, so a block is told apart
// from the C library's without any lookup.
//
// Under AddressSanitizer and ThreadSanitizer, whose runtimes own malloc,
// the process's allocation is not taken over (ReportArenaRoutesAllocation
// is false); the arena's own functions still work.

#include <cstddef>

namespace cv {

// How a scope ends when it is the last one.
enum class TArenaLeave {
    GiveBack, // the C library's blocks freed meanwhile are given back to it
    KeepHeld, // they are kept (a fatal signal's report: its lock may stay held)
};

// While one exists, every allocation of the process is served by the arena.
// Scopes nest and may be opened on any thread.
class TReportArenaScope {
public:
    explicit TReportArenaScope(TArenaLeave leave = TArenaLeave::GiveBack);
    ~TReportArenaScope();
    TReportArenaScope(const TReportArenaScope&) = delete;
    TReportArenaScope& operator=(const TReportArenaScope&) = delete;

private:
    TArenaLeave fLeave;
};

// Maps the arena's first part, so that a report finds memory at hand even
// when the system has none left to map (called at start-up; idempotent).
void ReserveReportArena();
// Whether a scope is open.
bool ReportArenaActive();
// Whether the process's allocation functions are the arena's (false under
// the sanitizers).
bool ReportArenaRoutesAllocation();

// The arena's allocator itself, whether or not a scope is open: a block of
// at least `size` bytes aligned to `alignment` (a power of two), null when
// no memory can be mapped; freeing a block the arena did not make is not
// allowed.
void* ArenaAllocate(std::size_t size, std::size_t alignment = 16);
void ArenaFree(void* block);
// Whether the block is one of the arena's (any block of either allocator,
// or null, may be asked about).
bool IsArenaBlock(const void* block);
// The bytes the block offers (at least what was asked).
std::size_t ArenaBlockSize(const void* block);
// The C library's blocks kept aside since the last give-back.
std::size_t ArenaHeldBlocks();

} // namespace cv
