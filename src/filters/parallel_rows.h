#pragma once
// Rows shared out among the processor's cores in small batches taken in turn.
// Plain threads rather than an OpenMP team: the machines this runs on are
// often shared, and a team spinning at its barriers while another process
// holds a core costs several times the work itself. Joining a thread sleeps.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/messages.h"

namespace vistrel {

// Calls work(worker, first, last) for consecutive batches [first, last) of
// at most batch rows covering [begin, end); worker is 0 .. workers - 1 and
// each worker's calls come from one thread. The calling thread is worker 0.
// With progress, the calling thread reports the share of rows done: 0 before
// any batch starts, then at most once per percent, after its own batches and,
// when they have run out, as the other threads finish theirs; never from another thread, since a
// progress bar lives on the caller's thread. Once progress returns false no
// further batch starts and the result is false; batches already running end.
template <typename Work>
bool ParallelRows(int32_t begin, int32_t end, int32_t batch, Work&& work,
                  const ProgressFn& progress = {}) {
    if (end <= begin) return true;
    batch = std::max(batch, int32_t(1));
    const int32_t rows = end - begin;
    const int32_t batches = (rows + batch - 1) / batch;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int workers = int(std::min<unsigned>(cores, unsigned(batches)));
    const int32_t step = std::max(int32_t(1), rows / 100);
    std::atomic<int32_t> next{0};
    std::atomic<bool> stop{false};
    // Progress bookkeeping, touched only with progress and under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    int32_t done = 0, reported = 0;
    int helpersRunning = workers - 1;
    bool cancelled = false;
    // On the calling thread; the callback runs without the lock held.
    auto report = [&](std::unique_lock<std::mutex>& lock) {
        if (cancelled || done - reported < step) return;
        reported = done;
        const double fraction = double(done) / double(rows);
        lock.unlock();
        const bool go = progress(fraction);
        lock.lock();
        if (!go) {
            cancelled = true;
            stop.store(true, std::memory_order_relaxed);
        }
    };
    auto run = [&](int worker) {
        while (!stop.load(std::memory_order_relaxed)) {
            const int32_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= batches) break;
            const int32_t first = begin + k * batch;
            const int32_t last = std::min(end, first + batch);
            work(worker, first, last);
            if (!progress) continue;
            std::unique_lock<std::mutex> lock(mutex);
            done += last - first;
            if (worker == 0)
                report(lock);
            else if (done - reported >= step)
                changed.notify_one();
        }
        if (worker != 0 && progress) {
            std::lock_guard<std::mutex> lock(mutex);
            --helpersRunning;
            changed.notify_one();
        }
    };
    if (progress && !progress(0.0)) return false;
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) threads.emplace_back(run, w);
    run(0);
    if (progress) {
        std::unique_lock<std::mutex> lock(mutex);
        while (helpersRunning > 0) {
            changed.wait(lock);
            report(lock);
        }
    }
    for (std::thread& t : threads) t.join();
    return !cancelled;
}

}  // namespace vistrel
