#pragma once
// Rows shared out among the processor's cores in small batches taken in turn.
// Plain threads rather than an OpenMP team: the machines this runs on are
// often shared, and a team spinning at its barriers while another process
// holds a core costs several times the work itself. Joining a thread sleeps.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace vistrel {

// Calls work(worker, first, last) for consecutive batches [first, last) of
// at most batch rows covering [begin, end); worker is 0 .. workers - 1 and
// each worker's calls come from one thread. The calling thread is worker 0.
template <typename Work>
void ParallelRows(int32_t begin, int32_t end, int32_t batch, Work&& work) {
    if (end <= begin) return;
    batch = std::max(batch, int32_t(1));
    const int32_t batches = (end - begin + batch - 1) / batch;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int workers = int(std::min<unsigned>(cores, unsigned(batches)));
    std::atomic<int32_t> next{0};
    auto run = [&](int worker) {
        for (;;) {
            const int32_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= batches) return;
            const int32_t first = begin + k * batch;
            work(worker, first, std::min(end, first + batch));
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) threads.emplace_back(run, w);
    run(0);
    for (std::thread& t : threads) t.join();
}

}  // namespace vistrel
