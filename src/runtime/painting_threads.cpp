#include "runtime/painting_threads.h"

#include <QSemaphore>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace cv {

namespace {

// How long a thread just started may take to run.
constexpr int kStartDeadlineMs = 5000;
const QString kRefused = QStringLiteral("the system refused to start another thread");

// A thread that runs until it is let go: while it lives it holds its place
// among the threads the system allows.
class THoldingThread final : public QThread {
public:
    void LetGo() { m_go.release(); }

protected:
    void run() override { m_go.acquire(); }

private:
    QSemaphore m_go;
};

} // namespace

TPaintingThreads PreparePaintingThreads(int wanted)
{
    TPaintingThreads result;
    QThreadPool* pool = QThreadPool::globalInstance();
    if (!pool)
        return result;
    // Threads that hold places among those the system allows, as many as it
    // gives (at most `wanted`) ...
    std::vector<std::unique_ptr<THoldingThread>> holding;
    for (int i = 0; i < std::max(1, wanted); ++i) {
        auto thread = std::make_unique<THoldingThread>();
        thread->setStackSize(kPaintingThreadStackBytes);
        thread->start();
        // A thread the system refused never runs (Qt says why on standard error).
        if (!thread->isRunning()) {
            result.failure = kRefused;
            break;
        }
        holding.push_back(std::move(thread));
    }
    if (holding.empty())
        return result;
    pool->setStackSize(uint(kPaintingThreadStackBytes));
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(int(holding.size()));
    // ... each handing its place to a pool thread the moment it ends: the
    // pool starts a thread for a piece that holds the thread it runs on
    // until all are started.
    auto running = std::make_shared<QSemaphore>();
    auto go = std::make_shared<QSemaphore>();
    for (const auto& thread : holding) {
        thread->LetGo();
        thread->wait();
        if (result.poolHoldsARefusedThread)
            continue;
        pool->start([running, go] {
            running->release();
            go->acquire();
        });
        if (!running->tryAcquire(1, kStartDeadlineMs)) {
            result.poolHoldsARefusedThread = true;
            result.failure = kRefused;
            continue;
        }
        ++result.started;
    }
    go->release(int(holding.size()));
    return result;
}

void EndWithoutWaitingForThePool(int exitCode)
{
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

bool CanDrawOrSayWhy(const TPaintingThreads& threads, const QString& program)
{
    if (threads.started > 0)
        return true;
    QTextStream(stderr) << QStringLiteral("%1 cannot start: no thread could be started to draw its window (%2). The "
                                          "limit of processes or of memory for this user may be reached: close other "
                                          "programs or raise the limit, and start it again.")
                               .arg(program, threads.failure.isEmpty() ? kRefused : threads.failure)
                        << Qt::endl;
    if (threads.poolHoldsARefusedThread)
        EndWithoutWaitingForThePool(1);
    return false;
}

} // namespace cv
