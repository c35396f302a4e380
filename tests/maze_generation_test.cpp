// The maze generator: the mazes it builds for every tier, its scoring of a
// route, its bounded and resumable stepping, and its safety on any state.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "bridge.hpp"
#include "maze.hpp"
#include "maze_generation.hpp"
#include "state_tables.hpp"
#include "state_tree.hpp"

namespace {

namespace gen = app::maze_generation;
namespace diag = app::maze_diagnostics;
using quillfen::generate_maze_step;

constexpr int32_t int32_min = std::numeric_limits<int32_t>::min();
constexpr int32_t int32_max = std::numeric_limits<int32_t>::max();

std::vector<uint8_t> replay_image() {
  std::vector<uint8_t> image(quillfen::replay_image_size);
  EXPECT_EQ(quillfen::replay_image_write(image.data(), quillfen::replay_image_size), quillfen::replay_image_size);
  return image;
}

void restore(const std::vector<uint8_t>& image) {
  ASSERT_EQ(quillfen::replay_image_restore(image.data(), static_cast<int32_t>(image.size())),
            quillfen::replay_image_size);
}

void begin_tier(int32_t tier, int32_t seed) {
  quillfen::configure_maze_tier(tier);
  quillfen::begin_maze_generation(seed, gen::width, gen::height);
}

// Calls the generator with `budget` until the maze is live; the number of
// calls, or -1 when it does not finish within a generous bound.
int32_t finish_generation(int32_t budget) {
  const int64_t limit = 10'000'000 / (int64_t{budget} * 16) + 1;
  for (int32_t calls = 1; calls <= limit; ++calls) {
    if (generate_maze_step(budget) == 1) return calls;
  }
  return -1;
}

class MazeGenerationTest : public ::testing::Test {
 protected:
  void SetUp() override { restore(std::vector<uint8_t>(quillfen::replay_image_size, 0)); }
};

// ---------------------------------------------------------------- mazes

constexpr int32_t north = 1, east = 2, south = 4, west = 8;

int32_t live_word(int32_t x, int32_t y) {
  const auto buffer = app::maze::alternate_walls_active == 1 ? app::maze::alternate_walls : app::maze::walls;
  return buffer.get(y * app::maze::width + x);
}

std::vector<int32_t> live_wall_words() {
  std::vector<int32_t> words;
  for (int32_t cell = 0; cell < app::maze::cell_count; ++cell) words.push_back(quillfen::live_walls(cell));
  return words;
}

// Checks the live maze cell by cell and returns the distance from the start
// to every cell (-1 when unreachable).
std::vector<int32_t> check_live_maze(int32_t width, int32_t height) {
  int32_t passages = 0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t word = live_word(x, y);
      EXPECT_TRUE(word >= 0 && word <= 15) << x << "," << y;
      EXPECT_TRUE(y > 0 || (word & north)) << "north border open at " << x;
      EXPECT_TRUE(y < height - 1 || (word & south)) << "south border open at " << x;
      EXPECT_TRUE(x > 0 || (word & west)) << "west border open at " << y;
      EXPECT_TRUE(x < width - 1 || (word & east)) << "east border open at " << y;
      if (x + 1 < width) {
        EXPECT_EQ(bool(word & east), bool(live_word(x + 1, y) & west)) << x << "," << y;
        passages += (word & east) ? 0 : 1;
      }
      if (y + 1 < height) {
        EXPECT_EQ(bool(word & south), bool(live_word(x, y + 1) & north)) << x << "," << y;
        passages += (word & south) ? 0 : 1;
      }
      if (x + 1 < width && y + 1 < height) {
        const bool all_open = !(word & east) && !(word & south) && !(live_word(x + 1, y) & south) &&
                              !(live_word(x, y + 1) & east);
        EXPECT_FALSE(all_open) << "open 2x2 block at " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(passages, app::maze::edge_count);
  EXPECT_GT(passages, width * height - 1) << "no loop was braided in";

  std::vector<int32_t> distance(width * height, -1);
  std::deque<int32_t> queue{0};
  distance[0] = 0;
  const int32_t steps[4][3] = {{north, 0, -1}, {east, 1, 0}, {south, 0, 1}, {west, -1, 0}};
  while (!queue.empty()) {
    const int32_t cell = queue.front();
    queue.pop_front();
    const int32_t x = cell % width, y = cell / width;
    for (const auto& step : steps) {
      if (live_word(x, y) & step[0]) continue;
      const int32_t next = (y + step[2]) * width + x + step[1];
      if (distance[next] >= 0) continue;
      distance[next] = distance[cell] + 1;
      queue.push_back(next);
    }
  }
  for (int32_t cell = 0; cell < width * height; ++cell) EXPECT_GE(distance[cell], 0) << "cell " << cell << " cut off";
  return distance;
}

TEST_F(MazeGenerationTest, EveryTierBuildsAConnectedBraidedMazeWithClosedBorders) {
  struct Case {
    int32_t tier, width, height;
  };
  const Case cases[] = {{0, 12, 12}, {1, 22, 18}, {2, 35, 30}, {3, 53, 41}};
  for (const auto& c : cases) {
    for (const int32_t seed : {17731, 1, -424242}) {
      SCOPED_TRACE(::testing::Message() << "tier " << c.tier << " seed " << seed);
      begin_tier(c.tier, seed);
      ASSERT_GT(finish_generation(32), 0);
      EXPECT_EQ(app::maze::ready, 1);
      EXPECT_EQ(gen::phase, quillfen::maze_phase::done);
      EXPECT_EQ(app::maze::width, c.width);
      EXPECT_EQ(app::maze::height, c.height);
      EXPECT_EQ(app::maze::cell_count, c.width * c.height);
      EXPECT_EQ(app::maze::goal_cell, c.width * c.height - 1);
      EXPECT_EQ(app::maze::seed, seed);
      EXPECT_EQ(app::maze::tier, c.tier);
      EXPECT_EQ(diag::percent, 100);
      // Every candidate's carve opens exactly one passage per cell but the
      // start: a spanning tree.
      EXPECT_EQ(diag::steps, 12 * (c.width * c.height - 1));
      const std::vector<int32_t> distance = check_live_maze(c.width, c.height);
      EXPECT_EQ(diag::best_route_length, distance.back()) << "the judged route is the shortest one";
      EXPECT_GE(diag::best_route_length, c.width + c.height - 2);
    }
  }
}

TEST_F(MazeGenerationTest, SizesAreClampedAndASingleCellMazeIsAcceptedWithRouteZero) {
  struct Case {
    int32_t width, height, expected_width, expected_height;
  };
  const Case cases[] = {{1, 1, 1, 1}, {0, 999, 1, 41}, {999, -3, 53, 1}, {int32_min, int32_max, 1, 41}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    quillfen::configure_maze_tier(0);
    quillfen::begin_maze_generation(5, c.width, c.height);
    ASSERT_GT(finish_generation(32), 0);
    EXPECT_EQ(app::maze::width, c.expected_width);
    EXPECT_EQ(app::maze::height, c.expected_height);
    EXPECT_EQ(app::maze::goal_cell, c.expected_width * c.expected_height - 1);
  }
  quillfen::configure_maze_tier(0);
  quillfen::begin_maze_generation(5, 1, 1);
  ASSERT_GT(finish_generation(1), 0);
  EXPECT_EQ(quillfen::live_walls(0), 15);
  EXPECT_EQ(app::maze::edge_count, 0);
  EXPECT_EQ(diag::best_route_length, 0);
  EXPECT_EQ(diag::best_accepted, 1);
  EXPECT_EQ(diag::best_score, 0);
  EXPECT_EQ(gen::candidate_count, 12);
}

TEST_F(MazeGenerationTest, SameSeedGivesTheSameMazeAndDiagnosticsAndADifferentSeedAnotherMaze) {
  begin_tier(3, 17731);
  const int32_t calls = finish_generation(32);
  const std::vector<uint8_t> first = replay_image();
  const std::vector<int32_t> first_walls = live_wall_words();

  restore(std::vector<uint8_t>(quillfen::replay_image_size, 0));
  begin_tier(3, 17731);
  EXPECT_EQ(finish_generation(32), calls);
  EXPECT_EQ(replay_image(), first);

  restore(std::vector<uint8_t>(quillfen::replay_image_size, 0));
  begin_tier(3, 17732);
  ASSERT_GT(finish_generation(32), 0);
  EXPECT_NE(live_wall_words(), first_walls);
}

TEST_F(MazeGenerationTest, CandidateSeedsFollowTheLevelSeed) {
  begin_tier(0, 17731);
  EXPECT_EQ(gen::candidate_seed, 17731 + 3000009);
  EXPECT_EQ(gen::rng, 17731 + 3000009);
  while (gen::candidate_index == 0) generate_maze_step(1);
  EXPECT_EQ(gen::candidate_index, 1);
  EXPECT_EQ(gen::candidate_seed, 17731 + 7919 + 3000009);

  EXPECT_EQ(quillfen::candidate_seed(-3000009, 0), 1) << "a zero seed becomes 1";
  EXPECT_EQ(quillfen::candidate_seed(int32_max, 0), int32_min + 3000008) << "wraps";
  EXPECT_EQ(quillfen::candidate_seed(10, 11), 10 + 11 * 7919 + 3000009);
}

// ---------------------------------------------------------------- bounds

std::vector<int32_t> progress_fingerprint() {
  return {gen::phase,          gen::rng,
          gen::init_cursor,    gen::braid_cursor,
          gen::score_cursor,   gen::candidate_index,
          gen::candidate_count, gen::frontier_count,
          gen::score_queue_cursor, gen::score_queue_count,
          gen::score_route_length, gen::score_current_cell,
          gen::candidate_edge_count, diag::steps,
          app::maze::ready};
}

// Every unit step moves some cursor, the generator or the phase, so the
// fingerprint after each call pins the exact number of unit steps it did.
TEST_F(MazeGenerationTest, EachCallDoesExactlyBudgetTimesSixteenUnitSteps) {
  for (const int32_t budget : {1, 3}) {
    SCOPED_TRACE(::testing::Message() << "budget " << budget);
    SetUp();
    begin_tier(0, 17731);
    std::vector<std::vector<int32_t>> by_unit_steps;
    for (int32_t step = 1; app::maze::ready != 1; ++step) {
      ASSERT_LT(step, 1'000'000);
      quillfen::run_maze_generation_unit_step();
      if (step % (budget * 16) == 0 || app::maze::ready == 1) by_unit_steps.push_back(progress_fingerprint());
    }
    SetUp();
    begin_tier(0, 17731);
    std::vector<std::vector<int32_t>> by_calls;
    while (app::maze::ready != 1) {
      ASSERT_LT(by_calls.size(), by_unit_steps.size());
      generate_maze_step(budget);
      by_calls.push_back(progress_fingerprint());
    }
    EXPECT_EQ(by_calls, by_unit_steps);
  }
}

TEST_F(MazeGenerationTest, NoBudgetDoesNothingAndAHugeBudgetFinishesInOneCall) {
  begin_tier(1, 99);
  generate_maze_step(5);
  const std::vector<uint8_t> before = replay_image();
  EXPECT_EQ(generate_maze_step(0), 0);
  EXPECT_EQ(generate_maze_step(-7), 0);
  EXPECT_EQ(generate_maze_step(int32_min), 0);
  EXPECT_EQ(replay_image(), before);

  EXPECT_EQ(generate_maze_step(int32_max), 1);
  const std::vector<uint8_t> finished = replay_image();
  EXPECT_EQ(generate_maze_step(32), 1) << "a live maze is left alone";
  EXPECT_EQ(replay_image(), finished);
}

TEST_F(MazeGenerationTest, SmallCallsAndBigCallsBuildTheSameMaze) {
  std::vector<uint8_t> reference;
  for (const int32_t budget : {32, 1, 7, 5000}) {
    SCOPED_TRACE(::testing::Message() << "budget " << budget);
    restore(std::vector<uint8_t>(quillfen::replay_image_size, 0));
    begin_tier(3, 17731);
    ASSERT_GT(finish_generation(budget), 0);
    if (reference.empty()) reference = replay_image();
    EXPECT_EQ(replay_image(), reference);
  }
}

TEST_F(MazeGenerationTest, ARestoredImageMidGenerationContinuesToTheSameMaze) {
  begin_tier(3, 17731);
  for (int32_t call = 0; call < 200; ++call) generate_maze_step(32);
  ASSERT_EQ(app::maze::ready, 0);
  ASSERT_GT(gen::candidate_count, 0);
  const std::vector<uint8_t> midway = replay_image();
  const int32_t calls = finish_generation(32);
  const std::vector<uint8_t> finished = replay_image();

  begin_tier(2, 5);  // something else in between
  for (int32_t call = 0; call < 50; ++call) generate_maze_step(32);
  restore(midway);
  EXPECT_EQ(finish_generation(32), calls);
  EXPECT_EQ(replay_image(), finished);
}

TEST_F(MazeGenerationTest, ProgressCountsCandidatesAndReaches100OnlyWhenLive) {
  begin_tier(0, 17731);
  std::set<int32_t> shown;
  int32_t last = 0;
  while (generate_maze_step(32) != 1) {
    EXPECT_GE(diag::percent, last);
    last = diag::percent;
    shown.insert(diag::percent);
  }
  EXPECT_EQ(shown, (std::set<int32_t>{0, 8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91}));
  EXPECT_EQ(diag::percent, 100);
}

TEST_F(MazeGenerationTest, ANewMazeGoesLiveInOneFlipAndTheOldOneStaysUntilThen) {
  app::maze_wall_cache::ready = 1;
  app::maze_wall_cache::topology_revision = 4;
  begin_tier(0, 17731);
  EXPECT_EQ(app::maze_wall_cache::ready, 0);
  EXPECT_EQ(app::maze_wall_cache::topology_revision, -1);
  ASSERT_GT(finish_generation(32), 0);
  EXPECT_EQ(app::maze::revision, 1);
  EXPECT_EQ(app::maze::alternate_walls_active, 1);
  const std::vector<int32_t> first = live_wall_words();

  app::maze_wall_cache::ready = 1;
  app::maze_wall_cache::topology_revision = 1;
  quillfen::configure_maze_tier(0);
  EXPECT_EQ(app::maze::ready, 0);
  EXPECT_EQ(app::maze_wall_cache::topology_revision, -1);
  quillfen::begin_maze_generation(25747, gen::width, gen::height);
  while (gen::candidate_count < 6) generate_maze_step(32);
  EXPECT_EQ(live_wall_words(), first) << "the spare buffer is filled while the first maze stays live";
  EXPECT_EQ(app::maze::revision, 1);

  app::maze_wall_cache::ready = 1;
  ASSERT_GT(finish_generation(32), 0);
  EXPECT_EQ(app::maze_wall_cache::ready, 0);
  EXPECT_EQ(app::maze::revision, 2);
  EXPECT_EQ(app::maze::alternate_walls_active, 0);
  EXPECT_NE(live_wall_words(), first);
  for (int32_t cell = 0; cell < 144; ++cell) ASSERT_EQ(app::maze::alternate_walls.get(cell), first[cell]);
  check_live_maze(12, 12);
}

// ---------------------------------------------------------------- scoring

// A working grid with all walls, the given passages opened, ready for the
// search of phase 5.
void set_working_grid(int32_t width, int32_t height, const std::vector<std::pair<int32_t, int32_t>>& passages) {
  gen::width = width;
  gen::height = height;
  gen::cell_count = width * height;
  gen::goal_cell = width * height - 1;
  for (int32_t cell = 0; cell < width * height; ++cell) gen::work_walls.set(cell, 15);
  for (const auto& [cell, direction] : passages) {
    const int32_t next = quillfen::grid_neighbour(cell, direction, width, height);
    gen::work_walls.set(cell, gen::work_walls.get(cell) & ~quillfen::wall_bit(direction));
    gen::work_walls.set(next, gen::work_walls.get(next) & ~quillfen::wall_bit(quillfen::opposite_direction(direction)));
  }
}

// 5 x 3, one path through every cell: east along row 0, west along row 1,
// east along row 2.
const std::vector<std::pair<int32_t, int32_t>> serpentine = {
    {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 3}, {9, 4}, {8, 4}, {7, 4}, {6, 4}, {5, 3}, {10, 2}, {11, 2}, {12, 2}, {13, 2}};

std::vector<std::pair<int32_t, int32_t>> serpentine_with_shortcut() {
  auto passages = serpentine;
  passages.push_back({1, 3});
  return passages;
}

void score_working_grid() {
  gen::phase = quillfen::maze_phase::search_reset;
  gen::score_cursor = 0;
  for (int32_t step = 0; gen::phase >= quillfen::maze_phase::search_reset && gen::phase <= quillfen::maze_phase::measuring;
       ++step) {
    ASSERT_LT(step, 100000);
    quillfen::run_maze_generation_unit_step();
  }
}

TEST_F(MazeGenerationTest, RoutesAreMeasuredForTurnsJunctionsSwitchbacksAndSnakeFolds) {
  struct Case {
    const char* name;
    int32_t width, height;
    std::vector<std::pair<int32_t, int32_t>> passages;
    int32_t length, turns, junctions, switchback_cells, snake_folds, score, accepted;
  };
  const Case cases[] = {
      // Runs W4 N1 E4 N1 W4 from the goal: two switchbacks of overlap 5 and one fold.
      {"serpentine", 5, 3, serpentine, 14, 4, 0, 20, 1, 4 * 14 - (12 * 20 + 8 * 4 + 40), 0},
      // The shortcut makes the route W4 N1 E1 N1 W1: overlaps of 2 are no switchback;
      // cells 1 and 6 become junctions; 50 % turns rejects it.
      {"shortcut", 5, 3, serpentine_with_shortcut(), 8, 4, 2, 0, 0, 3 * 2 + 4 * 8 - 8 * 4, 0},
      {"single cell", 1, 1, {}, 0, 0, 0, 0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    set_working_grid(c.width, c.height, c.passages);
    score_working_grid();
    EXPECT_EQ(gen::phase, quillfen::maze_phase::copying_best) << "the first candidate is always the best so far";
    EXPECT_EQ(gen::score_route_length, c.length);
    EXPECT_EQ(gen::score_turns, c.turns);
    EXPECT_EQ(gen::score_junctions, c.junctions);
    EXPECT_EQ(gen::score_switchback_cells, c.switchback_cells);
    EXPECT_EQ(gen::score_snake_folds, c.snake_folds);
    EXPECT_EQ(gen::pending_score, c.score);
    EXPECT_EQ(gen::pending_accepted, c.accepted);
    EXPECT_EQ(diag::best_score, c.score);
    EXPECT_EQ(diag::best_route_length, c.length);
    EXPECT_EQ(gen::score_route_cell.get(0), c.width * c.height - 1);
    EXPECT_EQ(gen::score_route_cell.get(c.length), 0);
  }
  EXPECT_EQ(diag::best_route_turn_percent, 0);
}

TEST_F(MazeGenerationTest, AnAcceptedBestIsOnlyReplacedByABetterAcceptedOne) {
  struct Case {
    const char* name;
    bool single_cell;  // accepted with score 0; else the serpentine, rejected with -256
    int32_t best_accepted, best_score;
    bool replaces;
  };
  const Case cases[] = {
      {"rejected never beats accepted", false, 1, -100000, false},
      {"higher rejected beats rejected", false, 0, -300, true},
      {"tie keeps the earlier", false, 0, -256, false},
      {"accepted beats rejected", true, 0, 1000, true},
      {"accepted tie keeps the earlier", true, 1, 0, false},
      {"higher accepted beats accepted", true, 1, -1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.single_cell) {
      set_working_grid(1, 1, {});
    } else {
      set_working_grid(5, 3, serpentine);
    }
    gen::best_recorded = 1;
    diag::best_accepted = c.best_accepted;
    diag::best_score = c.best_score;
    gen::candidate_count = 3;
    gen::candidate_index = 3;
    score_working_grid();
    if (c.replaces) {
      EXPECT_EQ(gen::phase, quillfen::maze_phase::copying_best);
      EXPECT_EQ(gen::candidate_count, 3);
    } else {
      EXPECT_EQ(gen::phase, quillfen::maze_phase::clearing_next);
      EXPECT_EQ(gen::candidate_count, 4);
      EXPECT_EQ(gen::candidate_index, 4);
      EXPECT_EQ(diag::best_score, c.best_score);
    }
  }
}

// ---------------------------------------------------------------- pieces

TEST_F(MazeGenerationTest, RandomDrawsAreTheAbsoluteLcgStateAndTheMinimumMapsToTheMaximum) {
  gen::rng = 1;
  EXPECT_EQ(quillfen::next_random(), 1103527590);
  gen::rng = 2;
  EXPECT_EQ(quillfen::next_random(), 2087924461);
  EXPECT_EQ(gen::rng, -2087924461);

  // The state before int32 min: (min - 12345) times the inverse of the
  // multiplier modulo 2^32.
  uint32_t inverse = 1103515245u;
  for (int i = 0; i < 5; ++i) inverse *= 2u - 1103515245u * inverse;
  gen::rng = static_cast<int32_t>((0x80000000u - 12345u) * inverse);
  EXPECT_EQ(quillfen::next_random(), int32_max);
  EXPECT_EQ(gen::rng, int32_min);

  // A frontier pick whose first draw (95 mod 100) jumps to a random slot
  // and whose second draw is that state: 2147483647 mod 5 picks slot 2, which
  // has no direction left and is replaced by the last entry.
  set_working_grid(3, 3, {});
  for (int32_t cell = 0; cell < 9; ++cell) gen::work_visited.set(cell, 1);
  gen::frontier_count = 5;
  for (int32_t slot = 0; slot < 5; ++slot) gen::frontier.set(slot, slot);
  gen::phase = quillfen::maze_phase::carving;
  gen::rng = static_cast<int32_t>(((0x80000000u - 12345u) * inverse - 12345u) * inverse);
  quillfen::run_maze_generation_unit_step();
  EXPECT_EQ(gen::rng, int32_min);
  EXPECT_EQ(gen::frontier_count, 4);
  EXPECT_EQ((std::vector<int32_t>{gen::frontier.get(0), gen::frontier.get(1), gen::frontier.get(2), gen::frontier.get(3)}),
            (std::vector<int32_t>{0, 1, 4, 3}));
}

TEST_F(MazeGenerationTest, CarvingPrefersGoingStraightUntilTheRunIsLong) {
  set_working_grid(3, 3, {});
  gen::work_visited.set(3, 1);        // the west neighbour of the centre, where the carve came from
  gen::entry_direction.set(4, 1);     // entered eastward
  struct Case {
    int32_t straight_run;
    double straight_share;  // east weighs 10 (3 from a run of 8) against 4 for north and south
  };
  for (const Case c : {Case{7, 10.0 / 18}, Case{8, 3.0 / 11}}) {
    SCOPED_TRACE(c.straight_run);
    gen::straight_run.set(4, c.straight_run);
    gen::rng = 12345;
    int32_t straight = 0;
    const int32_t draws = 20000;
    for (int32_t i = 0; i < draws; ++i) {
      const int32_t direction = quillfen::choose_carve_direction(4);
      ASSERT_TRUE(direction == 1 || direction == 2 || direction == 3) << direction;
      straight += direction == 2 ? 1 : 0;
    }
    EXPECT_NEAR(double(straight) / draws, c.straight_share, 0.02);
  }
  for (const int32_t cell : {0, 1, 2, 5, 6, 7, 8}) gen::work_visited.set(cell, 1);
  gen::rng = 99;
  EXPECT_EQ(quillfen::choose_carve_direction(4), 0);
  EXPECT_EQ(gen::rng, 99) << "nothing is drawn without a candidate";
  EXPECT_EQ(quillfen::choose_carve_direction(-1), 0);
}

TEST_F(MazeGenerationTest, TheOpenSquareTestLooksAtAllFourBlocksAroundTheWall) {
  struct Case {
    const char* name;
    std::vector<std::pair<int32_t, int32_t>> passages;
    int32_t cell, direction;
    bool refused;
  };
  // 3 x 3: cells 0 1 2 / 3 4 5 / 6 7 8.
  const Case cases[] = {
      {"three sides of the block open", {{0, 2}, {0, 3}, {3, 2}}, 1, 3, true},
      {"two sides open", {{0, 2}, {0, 3}}, 1, 3, false},
      {"a full block beside the pair but not holding the wall", {{0, 2}, {0, 3}, {3, 2}}, 4, 2, true},
      {"a far block does not count", {{0, 2}, {0, 3}, {3, 2}}, 7, 2, false},
      {"no neighbour", {}, 2, 2, true},
      {"no direction", {}, 4, 0, true},
      {"closed grid", {}, 4, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    set_working_grid(3, 3, c.passages);
    EXPECT_EQ(quillfen::would_open_square(c.cell, c.direction), c.refused);
  }
}

TEST_F(MazeGenerationTest, LiveMazeReadsCheckTheirArguments) {
  app::maze::width = 3;
  app::maze::height = 2;
  app::maze::cell_count = 6;
  app::maze::alternate_walls_active = 1;
  for (int32_t cell = 0; cell < 6; ++cell) app::maze::alternate_walls.set(cell, 15);
  app::maze::alternate_walls.set(1, 15 - east);
  app::maze::alternate_walls.set(2, 15 - west);
  app::maze::walls.set(1, 0);

  EXPECT_TRUE(quillfen::maze_can_move(1, 2));
  EXPECT_TRUE(quillfen::maze_can_move(2, 4));
  EXPECT_FALSE(quillfen::maze_can_move(1, 3)) << "wall";
  EXPECT_FALSE(quillfen::maze_can_move(1, 0));
  EXPECT_FALSE(quillfen::maze_can_move(1, 5));
  EXPECT_FALSE(quillfen::maze_can_move(-1, 2));
  EXPECT_FALSE(quillfen::maze_can_move(6, 1));
  app::maze::alternate_walls.set(0, 0);
  EXPECT_FALSE(quillfen::maze_can_move(0, 1)) << "an open border bit still leads nowhere";

  EXPECT_EQ(quillfen::maze_neighbour(2, 2), -1);
  EXPECT_EQ(quillfen::maze_neighbour(2, 3), 5);
  EXPECT_EQ(quillfen::maze_neighbour(3, 4), -1);
  EXPECT_EQ(quillfen::maze_neighbour(3, 1), 0);
  EXPECT_EQ(quillfen::cell_column(5), 2);
  EXPECT_EQ(quillfen::cell_row(5), 1);
  EXPECT_EQ(quillfen::cell_column(6), -1);
  EXPECT_EQ(quillfen::cell_row(-1), -1);
  EXPECT_EQ(quillfen::maze_index(2, 1), 5);
  EXPECT_EQ(quillfen::live_walls(1), 15 - east);
  EXPECT_EQ(quillfen::live_walls(4096), 0);

  app::maze::width = 0;
  EXPECT_EQ(quillfen::cell_column(1), -1);
  EXPECT_EQ(quillfen::maze_neighbour(1, 2), -1);
  EXPECT_EQ(quillfen::grid_neighbour(int32_max - 1, 2, int32_max, 2), -1) << "past the int32 range";
}

// ---------------------------------------------------------------- any state

int32_t garbage_value(std::mt19937& random) {
  static constexpr int32_t nasty[] = {int32_min, int32_max, int32_min + 1, -1, 0, 1, 2, 3, 4, 11, 12, 15,
                                      99, 2172, 2173, 4094, 4095, 4096, 5000, -5000};
  switch (random() % 3) {
    case 0: return nasty[random() % std::size(nasty)];
    case 1: return static_cast<int32_t>(random() % 4300) - 100;
    default: return static_cast<int32_t>(random());
  }
}

void fill_state_with_garbage(std::mt19937& random) {
  for (const auto& field : quillfen::replay_fields) {
    if (field.encoding == quillfen::ReplayEncoding::ByteArray) {
      auto* bytes = static_cast<uint8_t*>(field.address);
      for (int32_t i = 0; i < field.count; ++i) bytes[i] = static_cast<uint8_t>(random());
    } else {
      auto* words = static_cast<int32_t*>(field.address);
      for (int32_t i = 0; i < field.count; ++i) words[i] = garbage_value(random);
    }
  }
}

TEST_F(MazeGenerationTest, AnyStateIsSafeAndABeginStartsCleanFromIt) {
  begin_tier(1, 4242);
  ASSERT_GT(finish_generation(32), 0);
  const std::vector<int32_t> reference = live_wall_words();

  std::mt19937 random(20240611);
  for (int32_t trial = 0; trial < 120; ++trial) {
    SCOPED_TRACE(trial);
    fill_state_with_garbage(random);
    gen::phase = trial < 100 ? trial % 17 : garbage_value(random);
    for (int32_t call = 0; call < 40; ++call) generate_maze_step(32);
    for (int32_t i = 0; i < 50; ++i) {
      const int32_t cell = garbage_value(random), direction = garbage_value(random);
      quillfen::maze_can_move(cell, direction);
      quillfen::maze_neighbour(cell, direction);
      quillfen::would_open_square(cell, direction);
      quillfen::choose_carve_direction(cell);
      quillfen::run_overlap(cell, direction);
      quillfen::cell_column(cell);
      quillfen::cell_row(cell);
      quillfen::maze_index(cell, direction);
    }
    if (trial % 10 == 0) {
      // Whatever the arrays and the live maze hold, a begin builds the same maze.
      begin_tier(1, 4242);
      ASSERT_GT(finish_generation(32), 0);
      EXPECT_EQ(live_wall_words(), reference);
    }
  }
}

}  // namespace
