#pragma once
// Work cut into parts that are run side by side: part 0 on the calling
// thread, each other part on a thread of its own. The end of a word-list job
// (its entries made, its file written) runs when the reading threads have
// ended and their cores are idle.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace cv {

// Runs part(0) .. part(parts - 1) and returns when all have ended. A part
// whose thread cannot be started runs on the calling thread after part 0.
// What a part throws is thrown here once every part has ended (the first
// part's, of those that threw), as if the parts had run one after another
// on this thread: a job short of memory ends with its own message.
template <typename F>
void RunPartsOnThreads(std::size_t parts, F&& part)
{
    std::vector<std::exception_ptr> failures(parts);
    auto run = [&](std::size_t p) {
        try {
            part(p);
        } catch (...) {
            failures[p] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> threads;
        threads.reserve(parts);
        std::size_t started = 1;
        for (; started < parts; ++started) {
            try {
                threads.emplace_back(run, started);
            } catch (...) {
                break; // no thread to be had: the rest run here
            }
        }
        run(0);
        for (std::size_t p = started; p < parts; ++p)
            run(p);
    } // the threads are joined
    for (const std::exception_ptr& f : failures)
        if (f)
            std::rethrow_exception(f);
}

// Parts to cut `items` into on up to `threads` threads, a part holding at
// least `perPart` items (fewer take about as long as a thread's start).
inline std::size_t PartsFor(std::size_t items, std::size_t perPart, int threads)
{
    return std::clamp<std::size_t>(items / perPart, 1, std::size_t(std::max(1, threads)));
}

// Where part p of `parts` starts among n items, at a multiple of `grain`
// (part `parts` starts at n): the parts cut n into pieces of about equal size.
inline std::size_t PartStart(std::size_t n, std::size_t parts, std::size_t p, std::size_t grain)
{
    if (p >= parts)
        return n;
    const std::size_t at = n / parts * p + n % parts * p / parts;
    return std::min(n, at / grain * grain);
}

// Items [0, n) cut into `parts` ranges (each starting at a multiple of
// `grain`, PartStart), run side by side as RunPartsOnThreads runs parts:
// range(p, first, last) for part p.
template <typename F>
void RunRangesOnThreads(std::size_t n, std::size_t parts, std::size_t grain, F&& range)
{
    RunPartsOnThreads(parts, [&](std::size_t p) { range(p, PartStart(n, parts, p, grain), PartStart(n, parts, p + 1, grain)); });
}

} // namespace cv
