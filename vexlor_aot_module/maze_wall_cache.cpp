#include "maze_wall_cache.hpp"

#include <cstdint>

#include "arith.hpp"
#include "maze.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace cache = app::maze_wall_cache;
namespace maze = app::maze;

constexpr int32_t wall_north = wall_bit(direction_north);
constexpr int32_t wall_east = wall_bit(direction_east);
constexpr int32_t wall_south = wall_bit(direction_south);
constexpr int32_t wall_west = wall_bit(direction_west);

bool cell_has_wall(int32_t column, int32_t row, int32_t bit) {
  return wall_bit_set(live_walls(maze_index(column, row)), bit);
}

void append_horizontal(int32_t x, int32_t y, int32_t length) {
  // A negative count (restored from any state) stores nothing: set drops it.
  const int32_t count = cache::horizontal_count;
  if (count >= wall_cache_segment_capacity) {
    cache::horizontal_truncated = 1;
    return;
  }
  cache::horizontal::x.set(count, x);
  cache::horizontal::y.set(count, y);
  cache::horizontal::length.set(count, length);
  cache::horizontal_count = count + 1;
}

void append_vertical(int32_t x, int32_t y, int32_t length) {
  const int32_t count = cache::vertical_count;
  if (count >= wall_cache_segment_capacity) {
    cache::vertical_truncated = 1;
    return;
  }
  cache::vertical::x.set(count, x);
  cache::vertical::y.set(count, y);
  cache::vertical::length.set(count, length);
  cache::vertical_count = count + 1;
}

void restart_scan() {
  cache::boundary = 0;
  cache::coordinate = 0;
  cache::run_start = 0;
  cache::run_active = 0;
}

void start_run(int32_t position) {
  cache::run_start = position;
  cache::run_active = 1;
}

void horizontal_step() {
  const int32_t line = cache::boundary;
  const int32_t column = cache::coordinate;
  if (line > maze::height) {
    restart_scan();
    cache::vertical_boundary_start.set(0, 0);
    cache::vertical_phase = 1;
    return;
  }
  if (column == 0) cache::horizontal_boundary_start.set(line, cache::horizontal_count);
  if (column >= maze::width) {
    if (cache::run_active != 0) {
      append_horizontal(cache::run_start, line, wrapping_sub(maze::width, cache::run_start));
    }
    cache::horizontal_boundary_end.set(line, cache::horizontal_count);
    cache::run_active = 0;
    cache::coordinate = 0;
    cache::boundary = wrapping_add(line, 1);
    return;
  }
  const bool wall = horizontal_wall_at(line, column);
  if (wall && cache::run_active == 0) {
    start_run(column);
  } else if (!wall && cache::run_active != 0) {
    append_horizontal(cache::run_start, line, wrapping_sub(column, cache::run_start));
    cache::run_active = 0;
  }
  cache::coordinate = wrapping_add(column, 1);
}

void vertical_step() {
  const int32_t line = cache::boundary;
  const int32_t row = cache::coordinate;
  if (line > maze::width) {
    cache::ready = 1;
    return;
  }
  if (row == 0) cache::vertical_boundary_start.set(line, cache::vertical_count);
  if (row >= maze::height) {
    if (cache::run_active != 0) append_vertical(line, cache::run_start, wrapping_sub(maze::height, cache::run_start));
    cache::vertical_boundary_end.set(line, cache::vertical_count);
    cache::run_active = 0;
    cache::coordinate = 0;
    cache::boundary = wrapping_add(line, 1);
    return;
  }
  const bool wall = vertical_wall_at(line, row);
  if (wall && cache::run_active == 0) {
    start_run(row);
  } else if (!wall && cache::run_active != 0) {
    append_vertical(line, cache::run_start, wrapping_sub(row, cache::run_start));
    cache::run_active = 0;
  }
  cache::coordinate = wrapping_add(row, 1);
}

void reset_for_revision(int32_t revision) {
  cache::horizontal_count = 0;
  cache::vertical_count = 0;
  cache::horizontal_truncated = 0;
  cache::vertical_truncated = 0;
  restart_scan();
  cache::vertical_phase = 0;
  cache::ready = 0;
  cache::topology_revision = revision;
  cache::horizontal_boundary_start.set(0, 0);
}

}  // namespace

void invalidate_wall_cache() {
  cache::ready = 0;
  cache::topology_revision = -1;
}

bool horizontal_wall_at(int32_t line, int32_t column) {
  if (line == 0) return cell_has_wall(column, 0, wall_north);
  if (line == maze::height) return cell_has_wall(column, wrapping_sub(maze::height, 1), wall_south);
  return cell_has_wall(column, wrapping_sub(line, 1), wall_south);
}

bool vertical_wall_at(int32_t line, int32_t row) {
  if (line == 0) return cell_has_wall(0, row, wall_west);
  if (line == maze::width) return cell_has_wall(wrapping_sub(maze::width, 1), row, wall_east);
  return cell_has_wall(wrapping_sub(line, 1), row, wall_east);
}

int32_t wall_cache_is_current() {
  return cache::ready == 1 && cache::topology_revision == maze::revision ? 1 : 0;
}

int32_t build_wall_cache_step(int32_t budget) {
  if (maze::ready == 0) {
    invalidate_wall_cache();
    return 0;
  }
  if (wall_cache_is_current() == 1) return 1;
  if (cache::topology_revision != maze::revision) reset_for_revision(maze::revision);
  const int64_t steps = budget > 0 ? int64_t{budget} * wall_cache_steps_per_budget : 0;
  for (int64_t step = 0; step < steps && cache::ready != 1; ++step) {
    if (cache::vertical_phase == 0) {
      horizontal_step();
    } else {
      vertical_step();
    }
  }
  return cache::ready;
}

}  // namespace quillfen
