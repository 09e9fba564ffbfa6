#pragma once
// Threads of a bench program parked at call depths of their own, for the
// crash report's benches: each waits in Park under `depth` frames of
// Descend until released, so its call stack is known.

#include "crashreport/core/options/crashbox_records.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace cvbench {

inline std::atomic<int> gParkedSink{0};

[[gnu::noipa]] inline void Park(const std::atomic<bool>& go)
{
    while (!go.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

[[gnu::noipa]] inline void Descend(int depth, const std::atomic<bool>& go)
{
    if (depth == 0)
        Park(go);
    else
        Descend(depth - 1, go);
    gParkedSink++;
}

class ParkedThreads {
public:
    // Thread i is parked under firstDepth + i frames; returns once every
    // thread is parked.
    // A thread that cannot be started (no memory for it) ends those
    // started, and the failure goes on to the caller.
    ParkedThreads(std::size_t count, int firstDepth) : m_ids(count)
    {
        try {
            for (std::size_t i = 0; i < count; ++i)
                m_threads.emplace_back([this, i, firstDepth] {
                    m_ids[i] = cv::CurrentThreadID();
                    Descend(firstDepth + int(i), m_go);
                });
        } catch (...) {
            Release();
            throw;
        }
        for (auto& id : m_ids) {
            while (id.load() == 0)
                std::this_thread::yield();
            m_wanted.push_back(id);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~ParkedThreads() { Release(); }
    ParkedThreads(const ParkedThreads&) = delete;
    ParkedThreads& operator=(const ParkedThreads&) = delete;

    // Their kernel thread IDs.
    const std::vector<uint32_t>& IDs() const { return m_wanted; }
    void Release()
    {
        m_go = true;
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

private:
    std::atomic<bool> m_go{false};
    std::vector<std::atomic<uint32_t>> m_ids;
    std::vector<uint32_t> m_wanted;
    std::vector<std::thread> m_threads;
};

} // namespace cvbench
