#pragma once
// Small services of the operating system that the suite's stand-ins need:
// process identity and liveness, the memory a process uses, and a clean quit
// on termination signals. (The folder where the suite's processes meet is in
// private_files.h.)
// Code above src/suite reaches the system only through helpers like these.

#include <QString>

#include <cstdint>

namespace cv {

int64_t CurrentProcessId();
// True while a process with this id exists (a zombie counts as gone).
bool ProcessIsAlive(int64_t pid);
// Resident memory of this process in bytes; 0 when the system does not say.
int64_t ProcessMemoryInUse();
// The most address space this process may take (a limit such as
// `prlimit --as` sets) in bytes; 0 when there is no such limit.
uint64_t AddressSpaceLimit();
// Bytes this process has read and written through the system so far (files,
// pipes and sockets, from the cache too); below 0 when the system does not say.
struct TProcessIo {
    int64_t read = -1;
    int64_t written = -1;
};
TProcessIo ProcessIo();
// Processes running or waiting to run on the machine, averaged over the
// last minute (the system's load average); below 0 when it does not say.
double MachineLoad();
// The cores the machine leaves idle (its cores less its load, rounded up),
// `most` at most, one at least.
int IdleCores(int most);

// SIGTERM, SIGINT and SIGHUP make the running Qt application quit through
// its event loop, so that destructors and clean-up run. Call once, after the
// application object exists.
void InstallQuitOnTerminationSignals();

} // namespace cv
