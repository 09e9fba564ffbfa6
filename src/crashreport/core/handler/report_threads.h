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

namespace cv {

// Calls nest: the limit stays until the last end.
void BeginReportThreadLimit();
void EndReportThreadLimit();

// The pool's limit now (for the tests); 0 when there is no pool.
int ReportPoolThreadLimit();

// The limit for a scope.
class TReportThreadLimit {
public:
    TReportThreadLimit() { BeginReportThreadLimit(); }
    ~TReportThreadLimit() { EndReportThreadLimit(); }
    TReportThreadLimit(const TReportThreadLimit&) = delete;
    TReportThreadLimit& operator=(const TReportThreadLimit&) = delete;
};

} // namespace cv
