#pragma once
// The example's faults of the kinds real programs meet, beside the plain
// ones of main.cpp (docs/crash-example.md):
//   heap-overrun           a write past the end of a heap block, then its
//                          free: the C library finds the damage under its
//                          allocator's lock and aborts
//                          ("free(): invalid next size (normal)")
//   double-free            a block freed twice, found the same way
//                          ("double free or corruption (!prev)")
//   held-lock              16 threads allocate and free in a loop with one
//                          allocator arena for the whole process, and the
//                          main thread stores through a null pointer
//   early-thread-overflow  endless recursion (main.cpp's FaultStackOverflow)
//                          in a thread that a static constructor started
//                          before main, and so before the component
//   static-destructor-abort  nothing in main; the destructor of an object of
//                          static storage made once the component runs
//                          aborts as the program ends after main
//   exit-at-once           exit(0) in the middle of main, the component on
// and the condition of a program in which no thread can start any more.

#include <functional>
#include <string>

namespace crashexample {

// Whether KIND is one of these.
bool IsProgramFaultKind(const std::string& kind);
// What the kind needs before the component starts (the one arena).
void BeforeComponent(const std::string& kind);
// What the kind needs before its fault is timed (the allocating threads, running).
void BeforeFault(const std::string& kind);
// The kind's fault on the calling thread (the early thread's: the stack
// overflow given, on that thread).
void ProgramFault(const std::string& kind, std::function<void()> stackOverflow);
// From now on no thread of the process can start: creating one fails with
// EAGAIN, as under a limit of threads (the process's other calls go on).
// False when the system does not allow the filter.
bool ForbidNewThreads();

} // namespace crashexample
