#include "crashreport/core/handler/report_threads.h"

#include <QThreadPool>

#include <mutex>

namespace cv {

namespace {

struct TThreadLimit {
    std::mutex lock;
    int depth = 0;
    // The pool's own limit, given back at the last end; 0: not changed.
    int previous = 0;
};

TThreadLimit& Limit()
{
    static TThreadLimit limit;
    return limit;
}

} // namespace

void BeginReportThreadLimit()
{
    TThreadLimit& limit = Limit();
    std::lock_guard guard(limit.lock);
    if (limit.depth++ != 0)
        return;
    // Null once the program's statics are gone (a leak report at the end).
    QThreadPool* pool = QThreadPool::globalInstance();
    if (!pool)
        return;
    // The threads busy with the program's own jobs keep going; beside them
    // one thread serves the painting. The pool starts a thread only when
    // none of its own is idle, so no more than one is started.
    const int during = pool->activeThreadCount() + 1;
    limit.previous = pool->maxThreadCount();
    if (limit.previous > during)
        pool->setMaxThreadCount(during);
    else
        limit.previous = 0;
}

void EndReportThreadLimit()
{
    TThreadLimit& limit = Limit();
    std::lock_guard guard(limit.lock);
    if (limit.depth == 0 || --limit.depth != 0)
        return;
    if (QThreadPool* pool = QThreadPool::globalInstance(); pool && limit.previous > 0)
        pool->setMaxThreadCount(limit.previous);
    limit.previous = 0;
}

int ReportPoolThreadLimit()
{
    const QThreadPool* pool = QThreadPool::globalInstance();
    return pool ? pool->maxThreadCount() : 0;
}

} // namespace cv
