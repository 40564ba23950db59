#pragma once
// A few threads that work on horizontal slices of one picture beside the loop's own thread,
// which takes slices too. The work must give the same bytes however the slices fall.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Does slice `slice` of `slice_count`; rows [height * slice / slice_count, height * (slice + 1) /
// slice_count) is the usual share (slice_rows).
using SliceWork = void (*)(void* context, int slice, int slice_count);

struct SlicePool {
    int threads;  // the loop's thread and the workers; 0 until started
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable work_ready, work_done;
    // The job in hand, guarded by mutex.
    uint64_t job;
    SliceWork work;
    void* context;
    int slice_count;
    int next_slice;
    int unfinished;
    bool stopping;
};

// The cores this process may run on.
int usable_cores();

// threads - 1 workers; with 1 the loop's thread does every slice itself. False (and a pool of
// one thread) when a thread cannot be made.
bool start_slice_pool(SlicePool* pool, int threads);

// Runs every slice and returns when all are done; without a started pool, on this thread.
void run_slices(SlicePool* pool, int slice_count, SliceWork work, void* context);

void stop_slice_pool(SlicePool* pool);

inline int slice_row(int height, int slice, int slice_count) {
    return int(int64_t(height) * slice / slice_count);
}

// Slices for a picture of this height: a few per thread, so that a thread held up by the
// encoder's does not hold up the picture, and none thinner than 16 rows.
int slice_count_for(const SlicePool& pool, int height);
