#pragma once
// Threads for Qt's own drawing. Qt's image and painting code cuts a large
// fill or conversion into pieces, hands them to the global thread pool and
// waits for them all. A pool thread that cannot be started (the user's limit
// of processes reached, or no memory left for its stack) never runs its
// piece while the pool counts it busy, and the window waits for ever.
//
// So, before anything is drawn, the pool is given the threads it will have:
// as many as can be started now (at most `wanted`), with small stacks,
// started and seen running, kept for the program's life and never more.
// Drawing then never needs a thread started later.

#include <QString>

namespace cv {

// Pool threads wanted for drawing (large fills are cut into pieces for them).
constexpr int kPaintingThreadsWanted = 4;
// A drawing piece needs little stack: a small one lets a thread start where
// the address space is nearly used up.
constexpr int kPaintingThreadStackBytes = 256 * 1024;

struct TPaintingThreads {
    int started = 0;  // pool threads running and kept; 0: nothing can be drawn
    QString failure;  // why no more (or none) could be started
    // A pool thread was refused after all (another program took its place
    // meanwhile): the pool counts it busy for ever, and its end (a static's
    // destructor) would wait for it: the program ends without it
    // (EndWithoutWaitingForThePool).
    bool poolHoldsARefusedThread = false;
};

// Readies Qt's global thread pool as above. Call once, before any window
// is shown; the pool's own limit is then the number of threads started.
TPaintingThreads PreparePaintingThreads(int wanted = kPaintingThreadsWanted);

// The program's end after its own clean-up, when the pool holds a refused
// thread: the output flushed, and no static destroyed.
[[noreturn]] void EndWithoutWaitingForThePool(int exitCode);

// True when the program can draw; else standard error says why it cannot
// start (a window, even a message box, would wait for ever) and the program
// is to end with exit code 1 (it ends here when the pool holds a refused thread).
bool CanDrawOrSayWhy(const TPaintingThreads& threads, const QString& program);

} // namespace cv
