// The incremental maze generator. One run carves twelve candidate mazes from
// seeds derived from the level seed, braids and scores each by the shape of
// its route from the start to the goal, copies the best one into the spare
// wall buffer and, after the twelfth, makes that buffer live in one flip.
// All work is cut into unit steps driven by `app::maze_generation::phase`,
// so every call is bounded and every call's state can be snapshotted and
// resumed.
#pragma once

#include <cstdint>

namespace quillfen {

inline constexpr int32_t maze_max_width = 53;
inline constexpr int32_t maze_max_height = 41;
inline constexpr int32_t maze_candidate_total = 12;
inline constexpr int32_t maze_steps_per_budget = 16;

namespace maze_phase {
inline constexpr int32_t configured = 0;
inline constexpr int32_t clearing_first = 1;
inline constexpr int32_t clearing_next = 2;
inline constexpr int32_t carving = 3;
inline constexpr int32_t braiding = 4;
inline constexpr int32_t search_reset = 5;
inline constexpr int32_t searching = 6;
inline constexpr int32_t tracing = 7;
inline constexpr int32_t cutting_runs = 8;
inline constexpr int32_t finding_run_ends = 9;
inline constexpr int32_t measuring = 10;
inline constexpr int32_t copying_best = 11;
inline constexpr int32_t done = 15;
}  // namespace maze_phase

struct MazeTier {
  int32_t width;
  int32_t height;
  int32_t braid_percent;
};

// 0 EASY, 1 MODERATE, 2 CHALLENGING, 3 INSANE; any other tier is INSANE.
int32_t effective_maze_tier(int32_t tier);
const MazeTier& maze_tier(int32_t tier);

// Sets up a run for the tier's grid without starting it.
void configure_maze_tier(int32_t tier);
// Starts a run; the live walls keep the previous maze until the finish.
void begin_maze_generation(int32_t seed, int32_t width, int32_t height);
// Does up to budget x 16 unit steps; returns app::maze::ready.
int32_t generate_maze_step(int32_t budget);
// One unit step of the current phase (nothing in phases 0, 15 and unknown
// ones).
void run_maze_generation_unit_step();

// The generator's random draw: the absolute value of the next LCG state.
int32_t next_random();
int32_t candidate_seed(int32_t seed, int32_t k);
// A weighted pick among the unvisited neighbours of a working cell; 0 when
// there is none (and then nothing is drawn).
int32_t choose_carve_direction(int32_t cell);
// Whether opening the working wall would leave (or find) a 2x2 block with
// three or more of its four inner passages open.
bool would_open_square(int32_t cell, int32_t direction);
// The overlap, in cells along run A's axis, of two runs of the traced route.
int32_t run_overlap(int32_t run_a, int32_t run_b);

}  // namespace quillfen
