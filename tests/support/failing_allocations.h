#pragma once
// Allocation failures on demand, for tests of jobs that run out of memory.
// A test program that calls these has every operator new of the program go
// through a counter: the allocation asked for is made to fail with
// std::bad_alloc, once, as a real shortage would. Memory that Qt takes
// (malloc) is not counted.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace cvtest {

// The n-th allocation from now (0: the next one) fails; n < 0: none.
void FailAllocationAfter(int64_t n);
// Whether the failure asked for has happened.
bool AllocationFailed();

// Called by a job under RunShortOfMemory just before the job proper (after
// what the test makes ready): the shortage planned for the run starts here.
void ShortageFromHere();
// And just after it: what the test checks then has all the memory it wants.
void ShortageToHere();

// One run of a job short of memory (in a child process).
struct TShortRun {
    int64_t failAt = 0;     // the allocation that was to fail
    bool ended = false;     // the child ended normally (no crash, no abort)
    int exit = 0;           // its exit code, or minus the signal that ended it
    bool failed = false;    // that allocation came, and failed
    bool ok = false;        // what the job returned
    QString message;        // the job's message when it did not succeed
    bool againOk = false;   // the same job run again in the same process, with memory, succeeded
};
// Runs `job` once as it is (counting the allocations from its
// ShortageFromHere), then once for each of a spread of counts up to that
// number, in a child process in which that allocation fails, and then
// again there without any failure. `job` returns its success and sets its
// message.
std::vector<TShortRun> RunShortOfMemory(const std::function<bool(QString& message)>& job);
// The same, but the shortage is met on the threads the job starts: in each
// run, every such thread has its n-th allocation fail (for every n up to
// the most one thread made), the job's own thread none. What a job that
// reads on several threads owes a shortage on any of them.
std::vector<TShortRun> RunShortOfMemoryOnItsThreads(const std::function<bool(QString& message)>& job);
// Every allocation of the job's, one at a time, in this process: for a job
// whose every failure must be survived (a Qt container that cannot grow
// ends the program at some allocations only, which a spread may miss). A
// failure the job does not survive ends the test program.
std::vector<TShortRun> RunShortOfMemoryAtEveryAllocation(const std::function<bool(QString& message)>& job);
// What every job owes a shortage: each run ended normally; a run that did
// not succeed said there was not enough memory; the job succeeded again
// afterwards; and at least one run was stopped by the shortage.
void ExpectJobSurvivesShortages(const std::vector<TShortRun>& runs);

} // namespace cvtest
