#pragma once
// What a report needs of the loaded modules, made ready before any fault:
// the modules' records in full, with their debug data (the symbol tables and
// the list of compilation units of each file). Made at a crash, they take
// most of a report's time; made beforehand, a report finds them in the list.
//
// A thread of the core's own does it at the lowest priority, a moment after
// start-up (the program's own start-up goes first and loads its plug-ins),
// then again whenever the loader has loaded more modules. Each record is
// built apart from the list and joins it whole (PrepareModuleInfo), so a
// fault at any moment finds a module either ready or absent, and a report
// builds an absent one itself as it always did; it never waits for the
// preparation, and the preparation never holds the list while it builds.
//
// The modules every report of the program meets are readied at once, before
// the pause: those the stack of the thread that starts the core stands on
// (the program, the C library) and the C++ runtime's (every C++ exception's
// report shows it). A fault soon after start-up then finds them ready; they
// are a few of the program's libraries, the large ones of the window
// framework not among them.
//
// Given the core's cache of the files' version notes, it reads the notes
// of the loaded modules and of the running programs at once (they are
// small), and again after each pass, so that the report's modules and
// processes tables read only the files loaded or started since.
//
// Readying ahead is a saving, never a need. Under a limit of the address
// space it takes no room the program may want: a module is readied only
// while the room left keeps `roomKept` for the program besides four times
// the module's file (its reading maps the whole file); and without the
// memory for it all the same the thread stops, says so on standard error
// and leaves what it readied. A report readies the rest itself.
//
// Before all of that, the same thread removes the report folders that
// processes now ended left behind (RemoveAbandonedReportFolders): it is the
// core's background work at start-up.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/file_version.h"

namespace cv {

struct TLoadedModule;

class TModulePreparation {
public:
    // Starts the thread; the list and the cache must outlive this object.
    explicit TModulePreparation(TCrashboxModulesList& list, std::chrono::milliseconds firstPause = kFirstPause,
                                TFileVersionCache* fileVersions = nullptr, uint64_t roomKept = kRoomKept);
    // Stops the thread (the module being built is given up) and waits for it.
    ~TModulePreparation();
    TModulePreparation(const TModulePreparation&) = delete;
    TModulePreparation& operator=(const TModulePreparation&) = delete;

    // How many records it has added so far.
    int Prepared() const { return fPrepared.load(); }
    // Whether a pass over the modules the loader holds now has ended.
    bool UpToDate() const;
    // Whether it left modules for want of memory (or of room for it).
    bool RanShortOfMemory() const { return fShort.load(); }

    // The room under a limit of the address space that readying ahead leaves to the program.
    static constexpr uint64_t kRoomKept = uint64_t(64) << 20;

    // The pause before the first pass.
    static constexpr std::chrono::milliseconds kFirstPause{500};
    // The longest pause between two looks at the loader.
    static constexpr std::chrono::milliseconds kLongestPause{30000};

private:
    void Run(std::chrono::milliseconds firstPause);
    // Whether the room left under a limit of the address space allows readying the module.
    bool RoomToReady(const TLoadedModule& module) const;
    // Readies the loaded modules (`only` those, sorted, when given); false once stopped.
    bool Prepare(const std::vector<uintptr_t>* only);
    // Reads into the cache the version notes of the loaded modules and of
    // the running programs not read yet.
    void ReadVersionNotes();

    TCrashboxModulesList& fList;
    TFileVersionCache* fFileVersions;
    std::mutex fLock;
    std::condition_variable fWake;
    std::atomic<bool> fStop{false};
    std::atomic<int> fPrepared{0};
    std::atomic<bool> fShort{false};
    const uint64_t fRoomKept;
    std::atomic<uint64_t> fPreparedGeneration{~uint64_t(0)};
    std::vector<uintptr_t> fFirst; // the modules readied before the pause
    std::thread fThread;
};

} // namespace cv
