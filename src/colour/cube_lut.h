#pragma once
// 3D colour lookup tables read from .cube text.
#include <cstddef>
#include <cstdint>
#include <istream>

struct CubeLut {
    uint8_t grid_size;               // N lattice points per axis, 2..255 once loaded
    float* lattice;                  // N^3 entries of three floats, red fastest; owned
    uint8_t cell_index_table[256];   // 8-bit component -> lattice cell 0..N-2
    uint8_t cell_offset_table[256];  // 8-bit component -> offset inside the cell
};

// 256 / (N - 1), rounded down: how many 8-bit values share one cell.
int cube_cell_width(int grid_size);

// Why a cube was refused, for the user: the 1-based line it points at (0 when no one line is
// to blame) and the reason in words; line 0 and "" after a successful load.
struct CubeLoadReport {
    int line;
    char reason[200];
};

// Parses .cube text into grid_size and lattice. Returns N^3 on success, -1 when the text
// cannot be used (the report says why). Never writes outside the lattice. report may be null.
int load_cube_text(CubeLut* lut, std::istream& text, CubeLoadReport* report = nullptr);

// As load_cube_text on a file's contents; returns 0 after printing
// "Fail to read the cube file.\n" when the file cannot be opened.
int load_cube_file(CubeLut* lut, const char* path, CubeLoadReport* report = nullptr);

// Loads the file and builds the cell tables: 0 when the table is ready, -1 otherwise.
int init_cube_lut(CubeLut* lut, const char* path, CubeLoadReport* report = nullptr);

// The same for text already in memory (tests, fuzzing).
int init_cube_lut_from_text(CubeLut* lut, const char* text, size_t size, CubeLoadReport* report = nullptr);

// The loaded lattice again with every entry padded to four floats (the pad 0), 64-byte aligned,
// so that one 32-byte load gives a cell's two red neighbours; null without memory. The caller
// frees it with std::free.
float* padded_cube_lattice(const CubeLut& lut);

// Frees the lattice; the record can be loaded again afterwards.
void release_cube_lut(CubeLut* lut);
