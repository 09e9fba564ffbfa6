// While a report is made, Qt's shared pool starts no more than one thread
// (each new thread takes a file descriptor for its event loop, which a
// program with a full descriptor table no longer has), and the work given
// to it still gets done beside the program's own busy jobs.

#include <gtest/gtest.h>

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <mutex>
#include <set>

#include "crashreport/core/handler/report_threads.h"

namespace {

// The pool of a run with its own limit, given back at the end.
class ReportThreads : public ::testing::Test {
protected:
    void SetUp() override { QThreadPool::globalInstance()->setMaxThreadCount(16); }
    void TearDown() override
    {
        release.release(kJobs);
        QThreadPool::globalInstance()->waitForDone(5000);
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    // The program's own jobs: they hold their threads until the end.
    void StartBusyJobs()
    {
        QSemaphore started;
        for (int i = 0; i < kJobs; ++i)
            QThreadPool::globalInstance()->start([this, &started] {
                {
                    std::lock_guard guard(lock);
                    jobThreads.insert(QThread::currentThread());
                }
                started.release();
                release.acquire();
            });
        ASSERT_TRUE(started.tryAcquire(kJobs, 5000));
    }

    // Short pieces of work given at once, as a fill split over the pool;
    // true when all were done in time. The threads they ran on are noted.
    bool RunPieces(int pieces)
    {
        QSemaphore done;
        for (int i = 0; i < pieces; ++i)
            QThreadPool::globalInstance()->start([this, &done] {
                {
                    std::lock_guard guard(lock);
                    pieceThreads.insert(QThread::currentThread());
                }
                QThread::usleep(2000);
                done.release();
            });
        return done.tryAcquire(pieces, 10000);
    }

    // The threads the pieces ran on that none of the jobs ran on.
    std::size_t NewThreads()
    {
        std::lock_guard guard(lock);
        std::size_t count = 0;
        for (QThread* thread : pieceThreads)
            count += jobThreads.count(thread) == 0;
        return count;
    }

    static constexpr int kJobs = 2;
    QSemaphore release;
    std::mutex lock;
    std::set<QThread*> jobThreads, pieceThreads;
};

TEST_F(ReportThreads, TheReportsPaintingStartsOneThreadBesideTheProgramsBusyJobs)
{
    StartBusyJobs();
    {
        const cv::TReportThreadLimit limit;
        EXPECT_TRUE(RunPieces(12)) << "the pieces are done while the jobs still run";
        EXPECT_EQ(NewThreads(), 1u);
    }
    EXPECT_EQ(QThreadPool::globalInstance()->maxThreadCount(), 16) << "the pool's own limit is back";
}

TEST_F(ReportThreads, AnIdlePoolStartsOneThreadAtMost)
{
    {
        const cv::TReportThreadLimit limit;
        EXPECT_TRUE(RunPieces(12));
        EXPECT_LE(NewThreads(), 1u);
    }
    EXPECT_EQ(cv::ReportPoolThreadLimit(), 16);
}

TEST_F(ReportThreads, TheLimitLastsUntilTheLastOfNestedReportsEnds)
{
    cv::BeginReportThreadLimit();
    cv::BeginReportThreadLimit();
    EXPECT_EQ(cv::ReportPoolThreadLimit(), 1);
    cv::EndReportThreadLimit();
    EXPECT_EQ(cv::ReportPoolThreadLimit(), 1);
    cv::EndReportThreadLimit();
    EXPECT_EQ(cv::ReportPoolThreadLimit(), 16);
    // An end without a beginning changes nothing.
    cv::EndReportThreadLimit();
    EXPECT_EQ(cv::ReportPoolThreadLimit(), 16);
}

} // namespace
