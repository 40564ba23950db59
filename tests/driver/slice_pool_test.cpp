#include "driver/slice_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <vector>

#include "support.h"

namespace {

// Every row of a picture in exactly one slice, whatever the threads, slices and height.
void count_rows(void* context, int slice, int slice_count) {
    std::vector<std::atomic<int>>& seen = *static_cast<std::vector<std::atomic<int>>*>(context);
    const int height = int(seen.size());
    for (int row = slice_row(height, slice, slice_count); row < slice_row(height, slice + 1, slice_count);
         ++row)
        ++seen[row];
}

TEST(SlicePool, EveryRowOnce) {
    for (int threads : {1, 2, 3}) {
        SlicePool pool{};
        ASSERT_TRUE(start_slice_pool(&pool, threads) && pool.threads == threads);
        for (int slices : {1, 2, 3, 7}) {
            for (int height : {7, 17, 1081}) {
                std::vector<std::atomic<int>> seen(height);
                run_slices(&pool, slices, count_rows, &seen);
                for (int row = 0; row < height; ++row)
                    ASSERT_EQ(seen[row], 1) << threads << " threads, " << slices << " slices, row " << row;
            }
        }
        stop_slice_pool(&pool);
    }
}

// On one core the pictures go whole through one thread (scaler and grade); on all of them in
// slices over several: the output must not tell the two apart. Odd sizes, a 10-bit 4:2:2 source
// (the scaler interpolates chroma across slice edges), and an 8-bit RGB one (widened by hand).
TEST(SlicePool, SameBytesOnOneCoreAndOnAll) {
    TempDir dir;
    std::ofstream(dir.file("grade.cube"))
        << "LUT_3D_SIZE 2\n0\t0\t0\n1 0.2 0\n0 0.9 0.1\n1 1 0\n0 0 1\n1 0.5 1\n0 1 1\n1 1 1\n";
    const std::string clip = dir.file("in.mkv"), out = dir.file("out.mov");
    for (const std::string format : {"yuv422p10le", "bgr0"}) {
        ASSERT_TRUE(make_clip(
            clip, "testsrc2=size=203x117:rate=25:duration=0.2,noise=alls=14:allf=t,format=" + format,
            "-c:v ffv1"));
        for (const std::string mode : {"1", "4"}) {
            const std::string run =
                PROLUT_BINARY " " + clip + " " + out + " 3 y " + mode + " " + dir.file("grade.cube");
            const int one_core = command("taskset -c 0 " + run).status;
            const std::string bytes = slurp(out);
            EXPECT_TRUE(one_core == 0 && command(run).status == 0 && slurp(out) == bytes)
                << format << ", mode " << mode;
        }
    }
}

}  // namespace
