#include "maze.hpp"

#include <cstdint>
#include <limits>

#include "arith.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace maze = app::maze;

int32_t opposite_direction(int32_t direction) {
  switch (direction) {
    case 1: return 3;
    case 2: return 4;
    case 3: return 1;
    case 4: return 2;
    default: return 0;
  }
}

int32_t grid_column(int32_t cell, int32_t width, int32_t cell_count) {
  if (width < 1 || cell < 0 || cell >= cell_count) return -1;
  return cell % width;
}

int32_t grid_row(int32_t cell, int32_t width, int32_t cell_count) {
  if (width < 1 || cell < 0 || cell >= cell_count) return -1;
  return cell / width;
}

WallBuffer live_wall_buffer() { return maze::alternate_walls_active == 1 ? maze::alternate_walls : maze::walls; }

WallBuffer spare_wall_buffer() { return maze::alternate_walls_active == 1 ? maze::walls : maze::alternate_walls; }

void make_spare_walls_live() { maze::alternate_walls_active = maze::alternate_walls_active == 1 ? 0 : 1; }

int32_t live_walls(int32_t cell) { return live_wall_buffer().get(cell); }

int32_t maze_neighbour(int32_t cell, int32_t direction) {
  return grid_neighbour(cell, direction, maze::width, maze::height);
}

bool maze_can_move(int32_t cell, int32_t direction) {
  if (cell < 0 || cell >= maze::cell_count || maze_neighbour(cell, direction) < 0) return false;
  return !wall_bit_set(live_walls(cell), wall_bit(direction));
}

int32_t cell_column(int32_t cell) { return grid_column(cell, maze::width, maze::cell_count); }

int32_t cell_row(int32_t cell) { return grid_row(cell, maze::width, maze::cell_count); }

int32_t maze_index(int32_t x, int32_t y) { return wrapping_add(wrapping_mul(y, maze::width), x); }

}  // namespace quillfen
