#include "maze_generation.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "arith.hpp"
#include "maze.hpp"
#include "maze_wall_cache.hpp"
#include "state_tree.hpp"

namespace quillfen {

namespace {

namespace gen = app::maze_generation;
namespace diag = app::maze_diagnostics;

constexpr MazeTier maze_tiers[] = {{12, 12, 20}, {22, 18, 16}, {35, 30, 13}, {53, 41, 10}};

constexpr int32_t fresh_cell_walls = 15;
constexpr int32_t newest_slot_percent = 65;
constexpr int32_t straight_weight = 10;
constexpr int32_t long_straight_weight = 3;
constexpr int32_t turn_weight = 4;
constexpr int32_t long_straight_run = 8;
constexpr int32_t longest_traced_route = 4094;
constexpr int32_t lowest_best_score = -2147483647;

// Direction indexes 0..3 stand for the codes 1..4; -1 is none.
int32_t opposite_index(int32_t index) { return index >= 0 && index <= 3 ? (index + 2) % 4 : -1; }

int32_t work_neighbour(int32_t cell, int32_t direction) {
  return grid_neighbour(cell, direction, gen::width, gen::height);
}

// The working cell at (x, y) for coordinates already known to be on the grid.
int32_t work_cell(int32_t x, int32_t y) {
  const int64_t cell = int64_t{y} * gen::width + x;
  return cell <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(cell) : -1;
}

bool work_side_open(int32_t cell, int32_t direction) {
  return work_neighbour(cell, direction) >= 0 && !wall_bit_set(gen::work_walls.get(cell), wall_bit(direction));
}

int32_t work_open_side_count(int32_t cell) {
  int32_t open = 0;
  for (int32_t direction = 1; direction <= 4; ++direction) open += work_side_open(cell, direction) ? 1 : 0;
  return open;
}

// Removes the wall on both sides, so the two cells agree about it.
void open_work_passage(int32_t cell, int32_t direction) {
  const int32_t next = work_neighbour(cell, direction);
  gen::work_walls.set(cell, wrapping_sub(gen::work_walls.get(cell), wall_bit(direction)));
  gen::work_walls.set(next, wrapping_sub(gen::work_walls.get(next), wall_bit(opposite_direction(direction))));
  gen::candidate_edge_count = wrapping_add(gen::candidate_edge_count, 1);
}

void begin_next_candidate() {
  gen::candidate_index = wrapping_add(gen::candidate_index, 1);
  gen::candidate_seed = candidate_seed(gen::seed, gen::candidate_index);
  gen::rng = gen::candidate_seed;
  gen::candidate_edge_count = 0;
  gen::braid_cursor = 0;
  gen::init_cursor = 0;
  gen::phase = maze_phase::clearing_next;
}

void finish_generation() {
  make_spare_walls_live();
  app::maze::seed = gen::seed;
  app::maze::width = gen::width;
  app::maze::height = gen::height;
  app::maze::cell_count = gen::cell_count;
  app::maze::goal_cell = gen::goal_cell;
  app::maze::tier = gen::tier;
  app::maze::edge_count = gen::best_edge_count;
  app::maze::revision = wrapping_add(app::maze::revision, 1);
  app::maze::ready = 1;
  gen::phase = maze_phase::done;
  diag::percent = 100;
  invalidate_wall_cache();
}

void close_candidate() {
  gen::candidate_count = wrapping_add(gen::candidate_count, 1);
  if (gen::candidate_count < maze_candidate_total) {
    begin_next_candidate();
  } else {
    finish_generation();
  }
}

// Phases 1 and 2.
void clear_step() {
  if (gen::init_cursor < gen::cell_count) {
    gen::work_walls.set(gen::init_cursor, fresh_cell_walls);
    gen::work_visited.set(gen::init_cursor, 0);
    gen::init_cursor += 1;
  }
  if (gen::init_cursor < gen::cell_count) return;
  gen::frontier.set(0, 0);
  gen::frontier_count = 1;
  gen::entry_direction.set(0, -1);
  gen::straight_run.set(0, 0);
  gen::work_visited.set(0, 1);
  gen::phase = maze_phase::carving;
}

// 65 in 100 picks continue from the newest cell, the rest jump to a random
// one. Needs frontier_count >= 1.
int32_t pick_frontier_slot() {
  if (checked_rem(next_random(), 100) < newest_slot_percent) return gen::frontier_count - 1;
  return checked_rem(next_random(), gen::frontier_count);
}

void grow_from_frontier_slot(int32_t slot) {
  const int32_t cell = gen::frontier.get(slot);
  const int32_t direction = choose_carve_direction(cell);
  if (direction == 0) {
    gen::frontier_count -= 1;
    gen::frontier.set(slot, gen::frontier.get(gen::frontier_count));
    return;
  }
  const int32_t next = work_neighbour(cell, direction);
  const int32_t index = direction - 1;
  open_work_passage(cell, direction);
  gen::work_visited.set(next, 1);
  gen::frontier.set(gen::frontier_count, next);
  gen::frontier_count = wrapping_add(gen::frontier_count, 1);
  const bool straight = index == gen::entry_direction.get(cell);
  gen::straight_run.set(next, straight ? wrapping_add(gen::straight_run.get(cell), 1) : 1);
  gen::entry_direction.set(next, index);
  diag::steps = wrapping_add(diag::steps, 1);
}

// Phase 3.
void carve_step() {
  if (gen::frontier_count >= 1) grow_from_frontier_slot(pick_frontier_slot());
  if (gen::frontier_count >= 1) return;
  gen::phase = maze_phase::braiding;
  gen::braid_cursor = 0;
}

void braid_dead_end(int32_t cell) {
  if (work_open_side_count(cell) != 1) return;
  if (checked_rem(next_random(), 100) >= gen::current_braid_percent) return;
  const int32_t first = checked_rem(next_random(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t direction = (first + i) % 4 + 1;
    if (work_neighbour(cell, direction) < 0) continue;
    if (!wall_bit_set(gen::work_walls.get(cell), wall_bit(direction))) continue;
    if (would_open_square(cell, direction)) continue;
    open_work_passage(cell, direction);
    return;
  }
}

// Phase 4.
void braid_step() {
  if (gen::braid_cursor < gen::cell_count) {
    const int32_t cell = gen::braid_cursor;
    gen::braid_cursor += 1;
    braid_dead_end(cell);
  }
  if (gen::braid_cursor < gen::cell_count) return;
  gen::score_cursor = 0;
  gen::phase = maze_phase::search_reset;
}

// Phase 5.
void search_reset_step() {
  const int32_t cell = gen::score_cursor;
  if (cell < gen::cell_count) {
    gen::score_seen.set(cell, 0);
    gen::score_parent.set(cell, -1);
    gen::score_parent_direction.set(cell, -1);
    gen::score_cursor = cell + 1;
  }
  if (gen::score_cursor < gen::cell_count) return;
  gen::score_queue.set(0, 0);
  gen::score_queue_count = 1;
  gen::score_queue_cursor = 0;
  gen::score_seen.set(0, 1);
  gen::phase = maze_phase::searching;
}

// Phase 6: one queued cell of the breadth-first search from the start.
void search_step() {
  if (gen::score_queue_cursor >= gen::score_queue_count) {
    gen::score_route_length = 0;
    gen::score_current_cell = gen::goal_cell;
    gen::phase = maze_phase::tracing;
    return;
  }
  const int32_t cell = gen::score_queue.get(gen::score_queue_cursor);
  gen::score_queue_cursor += 1;
  for (int32_t direction = 1; direction <= 4; ++direction) {
    if (!work_side_open(cell, direction)) continue;
    const int32_t next = work_neighbour(cell, direction);
    if (gen::score_seen.get(next) != 0) continue;
    gen::score_seen.set(next, 1);
    gen::score_parent.set(next, cell);
    gen::score_parent_direction.set(next, direction - 1);
    gen::score_queue.set(gen::score_queue_count, next);
    gen::score_queue_count = wrapping_add(gen::score_queue_count, 1);
  }
}

void end_trace() {
  gen::score_run_count = 0;
  gen::score_cursor = 0;
  gen::phase = maze_phase::cutting_runs;
}

// Phase 7: one cell of the route, from the goal back to the start.
void trace_step() {
  const int32_t cell = gen::score_current_cell;
  const int32_t length = gen::score_route_length;
  if (cell == 0 || length > longest_traced_route) {
    gen::score_route_cell.set(length, 0);
    end_trace();
    return;
  }
  const int32_t parent = gen::score_parent.get(cell);
  if (parent < 0) {  // the goal is unreachable
    gen::score_route_length = 0;
    gen::score_route_cell.set(0, 0);
    end_trace();
    return;
  }
  gen::score_route_cell.set(length, cell);
  gen::score_path.set(length, opposite_index(gen::score_parent_direction.get(cell)));
  gen::score_current_cell = parent;
  gen::score_route_length = length + 1;
}

// Phase 8: cuts the route's steps into straight runs.
void cut_runs_step() {
  const int32_t step = gen::score_cursor;
  const int32_t length = gen::score_route_length;
  if (step < length) {
    if (step == 0 || gen::score_path.get(step) != gen::score_path.get(wrapping_sub(step, 1))) {
      gen::score_run_start.set(gen::score_run_count, step);
      gen::score_run_end.set(gen::score_run_count, -1);
      gen::score_run_count = wrapping_add(gen::score_run_count, 1);
    }
    gen::score_run_id.set(step, wrapping_sub(gen::score_run_count, 1));
    gen::score_cursor = step + 1;
  }
  if (gen::score_cursor < length) return;
  gen::score_cursor = wrapping_sub(length, 1);
  gen::phase = maze_phase::finding_run_ends;
}

// Phase 9: from the last step backward, the first step seen of a run is its
// end.
void find_run_ends_step() {
  const int32_t step = gen::score_cursor;
  if (step >= 0) {
    const int32_t run = gen::score_run_id.get(step);
    if (gen::score_run_end.get(run) < 0) gen::score_run_end.set(run, step);
    gen::score_cursor = step - 1;
  }
  if (gen::score_cursor >= 0) return;
  gen::score_cursor = 0;
  gen::score_turns = 0;
  gen::score_switchback_cells = 0;
  gen::score_snake_folds = 0;
  gen::score_junctions = 0;
  gen::phase = maze_phase::measuring;
}

int32_t run_heading(int32_t run) { return gen::score_path.get(gen::score_run_start.get(run)); }

int32_t run_step_count(int32_t run) {
  return wrapping_add(wrapping_sub(gen::score_run_end.get(run), gen::score_run_start.get(run)), 1);
}

// The overlap of run r and run r + 2 when they form a switchback (a short
// run of at most 2 steps between two runs heading opposite ways); else 0.
int32_t switchback_overlap(int32_t run) {
  const int32_t across = wrapping_add(run, 1);
  const int32_t back = wrapping_add(run, 2);
  if (run_step_count(across) > 2) return 0;
  const int32_t heading = opposite_index(run_heading(run));
  if (heading < 0 || run_heading(back) != heading) return 0;
  return run_overlap(run, back);
}

void count_switchback(int32_t step) {
  const int32_t run = gen::score_run_id.get(step);
  if (gen::score_run_start.get(run) != step || wrapping_add(run, 2) >= gen::score_run_count) return;
  const int32_t overlap = switchback_overlap(run);
  if (overlap < 3) return;
  gen::score_switchback_cells = wrapping_add(gen::score_switchback_cells, wrapping_mul(2, overlap));
  if (wrapping_add(run, 4) < gen::score_run_count && switchback_overlap(wrapping_add(run, 2)) >= 3) {
    gen::score_snake_folds = wrapping_add(gen::score_snake_folds, 1);
  }
}

int32_t percent_of_route(int32_t count, int32_t length) {
  return length > 0 ? checked_div(wrapping_mul(count, 100), length) : 0;
}

bool beats_best(int32_t score, int32_t accepted) {
  if (gen::best_recorded == 0) return true;
  const int32_t best_accepted = diag::best_accepted != 0 ? 1 : 0;
  if (accepted != best_accepted) return accepted == 1;
  return score > diag::best_score;
}

void judge_candidate() {
  const int32_t length = gen::score_route_length;
  const int32_t turn_percent = percent_of_route(gen::score_turns, length);
  const int32_t switchback_percent = percent_of_route(gen::score_switchback_cells, length);
  const int32_t manhattan = wrapping_add(wrapping_sub(gen::width, 1), wrapping_sub(gen::height, 1));
  const int32_t doubled_length = wrapping_mul(2, length);
  const int32_t accepted = doubled_length >= wrapping_mul(4, manhattan) && doubled_length <= wrapping_mul(9, manhattan) &&
                                   turn_percent <= 30 && switchback_percent <= 8 && gen::score_snake_folds < 3
                               ? 1
                               : 0;
  const int32_t reward = wrapping_add(wrapping_mul(3, gen::score_junctions), wrapping_mul(4, length));
  const int32_t penalty = wrapping_add(wrapping_add(wrapping_mul(12, gen::score_switchback_cells), wrapping_mul(8, gen::score_turns)),
                                       wrapping_mul(40, gen::score_snake_folds));
  const int32_t score = wrapping_sub(reward, penalty);
  gen::pending_score = score;
  gen::pending_accepted = accepted;
  if (!beats_best(score, accepted)) {
    close_candidate();
    return;
  }
  diag::best_score = score;
  diag::best_accepted = accepted;
  gen::best_recorded = 1;
  diag::best_route_length = length;
  diag::best_route_turns = gen::score_turns;
  diag::best_route_turn_percent = turn_percent;
  diag::best_switchback_percent = switchback_percent;
  diag::best_snake_folds = gen::score_snake_folds;
  diag::best_junctions = gen::score_junctions;
  gen::score_cursor = 0;
  gen::phase = maze_phase::copying_best;
}

// Phase 10: measures one route step; the step after the last one judges.
void measure_step() {
  const int32_t step = gen::score_cursor;
  if (step >= gen::score_route_length) {
    judge_candidate();
    return;
  }
  if (step > 0 && gen::score_path.get(step) != gen::score_path.get(step - 1)) {
    gen::score_turns = wrapping_add(gen::score_turns, 1);
  }
  // The goal is route cell 0 and counts; the start, at the route's length,
  // is never measured.
  if (work_open_side_count(gen::score_route_cell.get(step)) >= 3) {
    gen::score_junctions = wrapping_add(gen::score_junctions, 1);
  }
  count_switchback(step);
  gen::score_cursor = step + 1;
}

// Phase 11.
void copy_best_step() {
  const int32_t cell = gen::score_cursor;
  if (cell < gen::cell_count) {
    spare_wall_buffer().set(cell, gen::work_walls.get(cell));
    gen::score_cursor = cell + 1;
  }
  if (gen::score_cursor < gen::cell_count) return;
  gen::best_edge_count = gen::candidate_edge_count;
  close_candidate();
}

void update_percent() {
  const bool building = gen::phase == maze_phase::clearing_first || gen::phase == maze_phase::clearing_next ||
                        gen::phase == maze_phase::carving;
  const int32_t finished = building ? gen::candidate_index : gen::candidate_count;
  diag::percent = checked_div(wrapping_mul(finished, 100), maze_candidate_total);
  if (diag::percent > 99 && app::maze::ready != 1) diag::percent = 99;
}

}  // namespace

int32_t effective_maze_tier(int32_t tier) { return tier >= 0 && tier <= 2 ? tier : 3; }

const MazeTier& maze_tier(int32_t tier) { return maze_tiers[effective_maze_tier(tier)]; }

void configure_maze_tier(int32_t tier) {
  const MazeTier& grid = maze_tier(tier);
  gen::tier = effective_maze_tier(tier);
  gen::width = grid.width;
  gen::height = grid.height;
  gen::cell_count = grid.width * grid.height;
  gen::goal_cell = gen::cell_count - 1;
  gen::phase = maze_phase::configured;
  diag::steps = 0;
  diag::percent = 0;
  app::maze::ready = 0;
  invalidate_wall_cache();
}

void begin_maze_generation(int32_t seed, int32_t width, int32_t height) {
  gen::seed = seed;
  gen::width = std::clamp(width, 1, maze_max_width);
  gen::height = std::clamp(height, 1, maze_max_height);
  gen::cell_count = gen::width * gen::height;
  gen::goal_cell = gen::cell_count - 1;

  gen::rng = candidate_seed(seed, 0);
  gen::candidate_seed = gen::rng;
  gen::candidate_index = 0;
  gen::candidate_count = 0;
  gen::candidate_edge_count = 0;
  gen::init_cursor = 0;
  gen::braid_cursor = 0;
  gen::frontier_count = 0;
  gen::current_braid_percent = maze_tier(gen::tier).braid_percent;

  gen::best_recorded = 0;
  gen::best_edge_count = 0;
  diag::best_score = lowest_best_score;
  diag::best_accepted = 0;
  diag::best_route_length = 0;
  diag::best_route_turns = 0;
  diag::best_route_turn_percent = 0;
  diag::best_switchback_percent = 0;
  diag::best_snake_folds = 0;
  diag::best_junctions = 0;
  diag::steps = 0;
  diag::percent = 0;

  app::maze::ready = 0;
  invalidate_wall_cache();
  gen::phase = maze_phase::clearing_first;
}

void run_maze_generation_unit_step() {
  switch (gen::phase) {
    case maze_phase::clearing_first:
    case maze_phase::clearing_next: clear_step(); break;
    case maze_phase::carving: carve_step(); break;
    case maze_phase::braiding: braid_step(); break;
    case maze_phase::search_reset: search_reset_step(); break;
    case maze_phase::searching: search_step(); break;
    case maze_phase::tracing: trace_step(); break;
    case maze_phase::cutting_runs: cut_runs_step(); break;
    case maze_phase::finding_run_ends: find_run_ends_step(); break;
    case maze_phase::measuring: measure_step(); break;
    case maze_phase::copying_best: copy_best_step(); break;
    default: break;
  }
}

int32_t generate_maze_step(int32_t budget) {
  if (app::maze::ready == 1) return 1;
  const int64_t unit_steps = budget > 0 ? int64_t{budget} * maze_steps_per_budget : 0;
  for (int64_t step = 0; step < unit_steps && app::maze::ready != 1; ++step) run_maze_generation_unit_step();
  update_percent();
  return app::maze::ready;
}

int32_t next_random() {
  gen::rng = wrapping_add(wrapping_mul(gen::rng, 1103515245), 12345);
  // The one state without a positive absolute value in 32 bits draws the
  // largest positive value instead, so every draw stays in 0..2147483647.
  if (gen::rng == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
  return gen::rng < 0 ? -gen::rng : gen::rng;
}

int32_t candidate_seed(int32_t seed, int32_t k) {
  const int32_t derived = wrapping_add(wrapping_add(seed, wrapping_mul(k, 7919)), 3000009);
  return derived == 0 ? 1 : derived;
}

int32_t choose_carve_direction(int32_t cell) {
  const int32_t entered = gen::entry_direction.get(cell);
  const int32_t straight = gen::straight_run.get(cell) < long_straight_run ? straight_weight : long_straight_weight;
  int32_t weights[4] = {0, 0, 0, 0};
  int32_t total = 0;
  for (int32_t index = 0; index < 4; ++index) {
    const int32_t next = work_neighbour(cell, index + 1);
    if (next < 0 || gen::work_visited.get(next) != 0) continue;
    weights[index] = index == entered ? straight : turn_weight;
    total += weights[index];
  }
  if (total == 0) return 0;
  int32_t pick = checked_rem(next_random(), total);
  for (int32_t index = 0; index < 4; ++index) {
    if (weights[index] == 0) continue;
    if (weights[index] > pick) return index + 1;
    pick -= weights[index];
  }
  return 4;
}

bool would_open_square(int32_t cell, int32_t direction) {
  const int32_t next = work_neighbour(cell, direction);
  if (next < 0) return true;
  // Both cells are on the grid, so the width is at least 1.
  const int32_t left = std::min(cell % gen::width, next % gen::width);
  const int32_t top = std::min(cell / gen::width, next / gen::width);
  for (int32_t y = top - 1; y <= top; ++y) {
    for (int32_t x = left - 1; x <= left; ++x) {
      if (x < 0 || y < 0 || x + 1 >= gen::width || y + 1 >= gen::height) continue;
      const int32_t top_left = work_cell(x, y);
      const int32_t top_right = work_cell(x + 1, y);
      const int32_t bottom_left = work_cell(x, y + 1);
      const int32_t open = (work_side_open(top_left, 2) ? 1 : 0) + (work_side_open(bottom_left, 2) ? 1 : 0) +
                           (work_side_open(top_left, 3) ? 1 : 0) + (work_side_open(top_right, 3) ? 1 : 0);
      if (open >= 3) return true;
    }
  }
  return false;
}

int32_t run_overlap(int32_t run_a, int32_t run_b) {
  const int32_t heading = run_heading(run_a);
  const bool along_x = heading == 1 || heading == 3;  // east or west
  const auto coordinate = [along_x](int32_t route_index) {
    const int32_t cell = gen::score_route_cell.get(route_index);
    return along_x ? grid_column(cell, gen::width, gen::cell_count) : grid_row(cell, gen::width, gen::cell_count);
  };
  const auto low_high = [&coordinate](int32_t run) {
    const int32_t first = coordinate(gen::score_run_start.get(run));
    const int32_t last = coordinate(wrapping_add(gen::score_run_end.get(run), 1));
    return std::pair{std::min(first, last), std::max(first, last)};
  };
  const auto [a_low, a_high] = low_high(run_a);
  const auto [b_low, b_high] = low_high(run_b);
  const int32_t overlap = wrapping_add(wrapping_sub(std::min(a_high, b_high), std::max(a_low, b_low)), 1);
  return overlap > 0 ? overlap : 0;
}

}  // namespace quillfen
