#include "driver/slice_pool.h"

#include <sched.h>

#include <system_error>

int usable_cores() {
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
    const int count = CPU_COUNT(&cores);
    return count > 0 ? count : 1;
}

// Takes slices of the job in hand until none is left; called with the lock held.
static void take_slices(SlicePool* pool, std::unique_lock<std::mutex>& lock) {
    const SliceWork work = pool->work;
    void* context = pool->context;
    const int slice_count = pool->slice_count;
    while (pool->next_slice < slice_count) {
        const int slice = pool->next_slice++;
        lock.unlock();
        work(context, slice, slice_count);
        lock.lock();
        if (--pool->unfinished == 0) pool->work_done.notify_all();
    }
}

static void serve_slices(SlicePool* pool) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    uint64_t seen = 0;
    for (;;) {
        pool->work_ready.wait(lock, [&] { return pool->stopping || pool->job != seen; });
        if (pool->stopping) return;
        seen = pool->job;
        take_slices(pool, lock);
    }
}

bool start_slice_pool(SlicePool* pool, int threads) {
    pool->threads = 1;
    pool->stopping = false;
    // A worker serves any job number it has not seen: start from none, whatever came before.
    pool->job = 0;
    pool->next_slice = pool->slice_count = pool->unfinished = 0;
    for (int t = 1; t < threads; ++t) {
        try {
            pool->workers.emplace_back(serve_slices, pool);
        } catch (const std::system_error&) {
            stop_slice_pool(pool);
            pool->threads = 1;
            return false;
        }
        ++pool->threads;
    }
    return true;
}

void run_slices(SlicePool* pool, int slice_count, SliceWork work, void* context) {
    if (pool->workers.empty() || slice_count == 1) {
        for (int slice = 0; slice < slice_count; ++slice) work(context, slice, slice_count);
        return;
    }
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->work = work;
    pool->context = context;
    pool->slice_count = slice_count;
    pool->next_slice = 0;
    pool->unfinished = slice_count;
    ++pool->job;
    pool->work_ready.notify_all();
    take_slices(pool, lock);
    pool->work_done.wait(lock, [pool] { return pool->unfinished == 0; });
}

void stop_slice_pool(SlicePool* pool) {
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->stopping = true;
    }
    pool->work_ready.notify_all();
    for (std::thread& worker : pool->workers) worker.join();
    pool->workers.clear();
    pool->threads = 0;
}

int slice_count_for(const SlicePool& pool, int height) {
    if (pool.threads <= 1) return 1;
    const int most = height / 16 > 1 ? height / 16 : 1;
    const int wanted = 4 * pool.threads;
    return wanted < most ? wanted : most;
}
