// How the default road's cube step settles the pixels of pictures, as shares of all pixels, for
// each cube and picture given: by the float estimate alone, with the proof its cell carries
// (corners whose codes agree), with proven_cube_code (corners that vary along one axis at most),
// or by the exact arithmetic. Every colour is checked against the scalar reference on the way.
//   cube_tally CUBE... -- PICTURE...   (raw 1920x1080 bgr48le pictures; "natural" for a made one)
//   cube_tally --step CUBE PICTURE     the graded step as the program runs it, once, for callgrind:
//     valgrind --tool=callgrind --callgrind-out-file=step.out build/bench/cube_tally --step ...
//     callgrind_annotate --inclusive=yes step.out | grep convert_graded_bgr48_to_yuv422p10
//   gives its instructions (divide by 1920 x 1080 for a pixel's).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "colour/graded_convert.h"
#include "colour/processor.h"
#include "natural_picture.h"

namespace {

constexpr int width = 1920, height = 1080, pixel_count = width * height;

bool read_picture(const char* path, std::vector<uint16_t>* picture) {
    if (std::strcmp(path, "natural") == 0) {
        *picture = natural_picture();
        return true;
    }
    picture->assign(size_t(3) * pixel_count, 0);
    FILE* file = std::fopen(path, "rb");
    const bool read =
        file != nullptr && std::fread(picture->data(), 2, picture->size(), file) == picture->size();
    if (file != nullptr) std::fclose(file);
    return read;
}

}  // namespace

// One graded step, planes and all, as a slice of the custom road runs it.
int run_step(const char* cube, const char* path) {
    CubeLut lut{};
    std::vector<uint16_t> picture;
    if (init_cube_lut(&lut, cube) != 0 || !read_picture(path, &picture)) return 1;
    GradedConvert graded{};
    TransferCurve curve{};
    YuvTables yuv{};
    prepare_graded_convert(&graded, 4, false, &curve, &yuv, &lut);
    std::vector<uint16_t> luma(pixel_count), cb(pixel_count / 2), cr(pixel_count / 2);
    uint8_t* planes[3] = {reinterpret_cast<uint8_t*>(luma.data()), reinterpret_cast<uint8_t*>(cb.data()),
                          reinterpret_cast<uint8_t*>(cr.data())};
    const int strides[3] = {2 * width, width, width};
    convert_graded_bgr48_to_yuv422p10(&graded, reinterpret_cast<const uint8_t*>(picture.data()), 6 * width,
                                      width, height, planes, strides);
    release_graded_convert(&graded);
    release_cube_lut(&lut);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--step") == 0) return run_step(argv[2], argv[3]);
    int split = 1;
    while (split < argc && std::strcmp(argv[split], "--") != 0) ++split;
    if (split == 1 || split >= argc - 1) {
        std::fprintf(stderr, "usage: cube_tally CUBE... -- PICTURE...\n");
        return 2;
    }
    if (cube_kernel_avx2_tally() == nullptr) {
        std::fprintf(stderr,
                     "cube_tally: this processor has no AVX2, so every pixel takes the exact arithmetic\n");
        return 1;
    }
    std::printf("%-18s %-16s %9s %9s %9s %9s\n", "cube", "picture", "estimate", "cell", "one axis", "exact");
    int status = 0;
    std::vector<uint16_t> picture;
    std::vector<uint32_t> colours(pixel_count), expected(pixel_count);
    for (int c = 1; c < split; ++c) {
        CubeLut lut{};
        if (init_cube_lut(&lut, argv[c]) != 0) return 1;
        GradedConvert graded{};
        TransferCurve curve{};
        YuvTables yuv{};
        prepare_graded_convert(&graded, 4, false, &curve, &yuv, &lut);
        for (int p = split + 1; p < argc && graded.ready; ++p) {
            if (!read_picture(argv[p], &picture)) {
                std::fprintf(stderr, "cube_tally: cannot read a 1920x1080 bgr48le picture from %s\n",
                             argv[p]);
                return 1;
            }
            CubeKernelTally tally{};
            cube_kernel_avx2_tally()(graded.cube, picture.data(), pixel_count, colours.data(), &tally);
            cube_kernel_reference()(graded.cube, picture.data(), pixel_count, expected.data());
            const char* cube_name = std::strrchr(argv[c], '/') ? std::strrchr(argv[c], '/') + 1 : argv[c];
            const char* picture_name = std::strrchr(argv[p], '/') ? std::strrchr(argv[p], '/') + 1 : argv[p];
            std::printf("%-18s %-16s %8.3f%% %8.3f%% %8.3f%% %8.3f%%%s\n", cube_name, picture_name,
                        100.0 * tally.estimated / pixel_count, 100.0 * tally.cell_proven / pixel_count,
                        100.0 * tally.corner_proven / pixel_count, 100.0 * tally.exact / pixel_count,
                        colours == expected ? "" : "  DIFFERS FROM THE REFERENCE");
            if (colours != expected) status = 1;
        }
        release_graded_convert(&graded);
        release_cube_lut(&lut);
    }
    return status;
}
