#pragma once
// The shared options area: the options of a running module published per
// process, so that every part of the process (and a reporter process of
// ours that knows the process ID) reads the options in force.
//
// The area is named "/Crashbox-" followed by the process ID in 8 and the
// module handle in 16 upper-case hexadecimal digits, and kept as the file
// of that name (without the "/") in the suite's private folder
// (private_files.h), mapped by every process that reads it: a name in
// /dev/shm would show every user of the machine where the module was
// loaded, which address-space randomisation keeps secret. The file is
// made 0600, never through a link, and one of another user is refused. Its first 4 bytes hold its total size (the payload plus 4,
// little-endian); the payload follows: one byte 1, then the options stream
// of the current version (docs/crashbox-options.md). The area made by this
// module last stays open until the next publication or
// ReleaseSharedOptionsArea; whoever made an area removes its name when
// closing it. Areas of processes that no longer run are removed at the
// first publication of a process.

#include "crashreport/core/options/crashbox_options.h"

#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace cv {

// One opened area: the mapping of the whole area (size word and payload).
class TSharedDataArea {
public:
    TSharedDataArea() = default;
    ~TSharedDataArea();
    TSharedDataArea(TSharedDataArea&& other) noexcept;
    TSharedDataArea& operator=(TSharedDataArea&& other) noexcept;
    TSharedDataArea(const TSharedDataArea&) = delete;
    TSharedDataArea& operator=(const TSharedDataArea&) = delete;

    bool IsOpen() const { return fBase != nullptr; }
    // The payload: everything after the size word.
    std::span<uint8_t> View() const;
    // Made by this process (a child made by fork that inherits it is not its maker).
    bool Created() const { return fCreator != 0 && fCreator == ::getpid(); }
    const std::string& Name() const { return fName; }

private:
    friend TSharedDataArea OpenSharedData(uintptr_t, uint32_t, std::string*, pid_t);
    friend void CloseSharedData(TSharedDataArea&);
    uint8_t* fBase = nullptr;
    std::size_t fSize = 0;
    pid_t fCreator = 0; // the process that made the area, 0 when it was opened
    std::string fName;
    std::string fFile; // its file in the private folder
};

// "/Crashbox-PPPPPPPPHHHHHHHHHHHHHHHH".
std::string SharedDataName(pid_t processId, uintptr_t moduleHandle);
// The area's file: "<suite's private folder>/Crashbox-PPPPPPPPHHHHHHHHHHHHHHHH".
std::string SharedDataFileName(pid_t processId, uintptr_t moduleHandle);

// Creates the area with room for payloadSize bytes, or opens the one that
// exists with the size it holds. payloadSize 0 is a pure look-up: no area
// is made, and a closed area comes back when none exists. An area whose
// size word does not match what it holds is refused (closed area, reason
// in `error`). The process is this one unless given.
TSharedDataArea OpenSharedData(uintptr_t moduleHandle, uint32_t payloadSize, std::string* error = nullptr,
                               pid_t processId = 0);
// Unmaps the area; its maker also removes its name.
void CloseSharedData(TSharedDataArea& area);

// Publishes the options: the module's previous area is closed and a new one
// holding byte 1 and the options stream is made. Only for options with a
// module handle. False, with the reason, when it cannot be done (an area of
// that name and another size that is not ours is left as it is).
bool PublishOptions(const TCrashboxModuleOptions& options, std::string* error = nullptr);
// Reads the options published for their module in this process (or the
// given one). True when an area was there and read; the options are
// unchanged otherwise. Leaves no area open.
bool ReadPublishedOptions(TCrashboxModuleOptions& options, std::string* error = nullptr, pid_t processId = 0);
// A process that ends without closing its areas (a crash, an exec) leaves
// them behind: this removes those of processes that no longer run.
void RemoveLeftSharedOptionsAreas();
// Closes the area this module made last.
void ReleaseSharedOptionsArea();
// The reason the last publication failed; empty after one that worked.
std::string LastSharedOptionsError();

// Options that publish to, and read from, the shared options area: the
// program's own options (ActivateCrashbox makes them).
class TCrashboxSharedOptions : public TCrashboxModuleOptions {
public:
    using TCrashboxModuleOptions::TCrashboxModuleOptions;
    void StoreSharedData() override { PublishOptions(*this); }
    void LoadSharedData() override { ReadPublishedOptions(*this); }
};

} // namespace cv
