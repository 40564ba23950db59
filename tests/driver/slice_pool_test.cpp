#include "driver/slice_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <vector>

#include "support.h"

namespace {

// Every row of a picture in exactly one slice, whatever the threads, slices and height.
TEST(SlicePool, EveryRowOnce) {
    for (int threads : {1, 2, 3}) {
        SlicePool pool{};
        ASSERT_TRUE(start_slice_pool(&pool, threads));
        ASSERT_EQ(pool.threads, threads);
        for (int slices : {1, 2, 3, 7}) {
            for (int height : {7, 17, 1081}) {
                struct Rows {
                    std::vector<std::atomic<int>> seen;
                    int height;
                } rows{std::vector<std::atomic<int>>(height), height};
                run_slices(
                    &pool, slices,
                    [](void* context, int slice, int slice_count) {
                        Rows& rows = *static_cast<Rows*>(context);
                        for (int row = slice_row(rows.height, slice, slice_count);
                             row < slice_row(rows.height, slice + 1, slice_count); ++row)
                            ++rows.seen[row];
                    },
                    &rows);
                for (int row = 0; row < height; ++row)
                    ASSERT_EQ(rows.seen[row], 1)
                        << threads << " threads, " << slices << " slices, row " << row;
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
    const std::string sources[] = {"format=yuv422p10le", "format=bgr0"};
    for (const std::string& format : sources) {
        const std::string clip = dir.file("in.mkv");
        ASSERT_TRUE(make_clip(
            clip, "testsrc2=size=203x117:rate=25:duration=0.2,noise=alls=14:allf=t," + format, "-c:v ffv1"));
        for (const std::string mode : {"1", "4"}) {
            std::string outputs[2];
            for (int all = 0; all < 2; ++all) {
                const std::string output = dir.file(std::to_string(all) + ".mov");
                Child run = command((all ? "" : "taskset -c 0 ") + std::string(PROLUT_BINARY) + " " + clip +
                                    " " + output + " 3 y " + mode + " " + dir.file("grade.cube"));
                ASSERT_EQ(run.status, 0) << run.output;
                outputs[all] = slurp(output);
            }
            EXPECT_TRUE(outputs[0] == outputs[1]) << format << ", mode " << mode;
        }
    }
}

}  // namespace
