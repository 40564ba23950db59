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

// Parses .cube text into grid_size and lattice. Returns N^3 on success, -1 when the text
// cannot be used (header never ends, size outside 2..255, data before any size line,
// too many or too few data lines, allocation failure). Never writes outside the lattice.
int load_cube_text(CubeLut* lut, std::istream& text);

// As load_cube_text on a file's contents; returns 0 after printing
// "Fail to read the cube file.\n" when the file cannot be opened.
int load_cube_file(CubeLut* lut, const char* path);

// Loads the file and builds the cell tables: 0 when the table is ready, -1 otherwise.
int init_cube_lut(CubeLut* lut, const char* path);

// The same for text already in memory (tests, fuzzing).
int init_cube_lut_from_text(CubeLut* lut, const char* text, size_t size);

// Frees the lattice; the record can be loaded again afterwards.
void release_cube_lut(CubeLut* lut);
