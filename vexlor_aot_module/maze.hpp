// The live maze: its grid geometry and read access to the live wall buffer,
// as drawing and movement see it.
//
// Cells are indexed y * width + x. Direction codes: 1 north, 2 east, 3 south,
// 4 west, 0 none. Wall bits of a cell's word: 1 north, 2 east, 4 south, 8 west.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

#include "arith.hpp"
#include "state_access.hpp"

namespace quillfen {

using WallBuffer = StateArray<int32_t, 4096>;

inline constexpr int32_t direction_none = 0;
inline constexpr int32_t direction_north = 1;
inline constexpr int32_t direction_east = 2;
inline constexpr int32_t direction_south = 3;
inline constexpr int32_t direction_west = 4;

// The wall bit of a direction's side (1, 2, 4, 8), 0 for anything but 1..4.
constexpr int32_t wall_bit(int32_t direction) {
  return direction >= direction_north && direction <= direction_west ? 1 << (direction - 1) : 0;
}
// 1 <-> 3, 2 <-> 4; 0 for anything else.
int32_t opposite_direction(int32_t direction);
// (word / bit) mod 2 = 1, with truncating division. For the usual case, a
// non-negative word and a one-bit mask, that is the bit itself.
inline bool wall_bit_set(int32_t word, int32_t bit) {
  if (word >= 0 && bit > 0 && std::has_single_bit(static_cast<uint32_t>(bit)))
    return ((word >> std::countr_zero(static_cast<uint32_t>(bit))) & 1) != 0;
  return checked_rem(checked_div(word, bit), 2) == 1;
}

// The cell one step from `cell` in `direction` on a width x height grid, or
// -1 when the step leaves the grid, the cell is not on it or the direction is
// not 1..4.
inline int32_t grid_neighbour(int32_t cell, int32_t direction, int32_t width, int32_t height) {
  if (width < 1 || height < 1 || cell < 0 || cell >= int64_t{width} * height) return -1;
  // 64-bit so that a grid larger than the int32 range cannot overflow.
  int64_t x = cell % width;
  int64_t y = cell / width;
  switch (direction) {
    case 1: --y; break;
    case 2: ++x; break;
    case 3: ++y; break;
    case 4: --x; break;
    default: return -1;
  }
  if (x < 0 || y < 0 || x >= width || y >= height) return -1;
  const int64_t next = y * width + x;
  return next <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(next) : -1;
}
// cell mod width and cell / width; -1 when the cell is outside
// 0..cell_count - 1 or the width is below 1.
int32_t grid_column(int32_t cell, int32_t width, int32_t cell_count);
int32_t grid_row(int32_t cell, int32_t width, int32_t cell_count);

// The buffer drawing and movement read, and the one a generator fills.
WallBuffer live_wall_buffer();
WallBuffer spare_wall_buffer();
// Makes the spare buffer live in one flip.
void make_spare_walls_live();

int32_t live_walls(int32_t cell);
int32_t maze_neighbour(int32_t cell, int32_t direction);
bool maze_can_move(int32_t cell, int32_t direction);
int32_t cell_column(int32_t cell);
int32_t cell_row(int32_t cell);
int32_t maze_index(int32_t x, int32_t y);

}  // namespace quillfen
