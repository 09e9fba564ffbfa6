#pragma once
// Qt's threads while a report is made. Qt's painting splits a large fill
// over its shared thread pool, and each thread the pool starts makes an
// event loop whose wake-up takes a file descriptor (GLib's or Qt's own);
// with none left, GLib or Qt ends the process with a fatal error. In a
// program that has used up its descriptor table, the report's windows would
// so take the report's own reserve (descriptor_reserve.h) thread by thread,
// as many threads as the pool allows and as the machine's load lets it
// start, and in the end kill a pool thread while the window thread waits
// for it to finish its part of a fill. While a report is made the pool
// may run only the threads busy at its start and one more: it starts one
// new thread at most (the reserve holds a descriptor for it), and the
// painting never waits for the program's own long jobs. The pool's own
// limit comes back when the last report is done.
//
// Qt's painting and image helpers (in libQt6Gui) hand the pieces of a large
// fill or conversion to the pool and wait for them. When the pool needs a
// new thread and none can start (a limit of threads or of memory), the
// piece is left with a thread that never runs and the window thread waits
// for good. So while a report is made, the pieces the helpers hand over
// run on the thread that paints (the pool door): the report's windows
// need no thread at all.

namespace cv {

// Calls nest: the limit stays until the last end.
void BeginReportThreadLimit();
void EndReportThreadLimit();

// The pool's limit now (for the tests); 0 when there is no pool.
int ReportPoolThreadLimit();

// The pool door: the import of QThreadPool::start(std::function, int) in
// libQt6Gui is replaced (the hooks are started when they are not). False
// when it could not be (Qt without that routine, or without libQt6Gui
// loaded): Qt's helpers then use the pool as they do without a report.
bool InstallReportPoolDoor();
// The door is forgotten (its import slot goes back with the other hooks, DoneHooks).
void RemoveReportPoolDoor();

// The limit for a scope.
class TReportThreadLimit {
public:
    TReportThreadLimit() { BeginReportThreadLimit(); }
    ~TReportThreadLimit() { EndReportThreadLimit(); }
    TReportThreadLimit(const TReportThreadLimit&) = delete;
    TReportThreadLimit& operator=(const TReportThreadLimit&) = delete;
};

} // namespace cv
