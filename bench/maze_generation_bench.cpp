// One whole INSANE generation (twelve 53 x 41 candidates carved, braided,
// searched, traced, measured and the best copied), driven in ticks of 512
// unit steps as the game drives it, beside its baseline: the same grid
// carved twelve times by a plain randomized depth-first search with the
// same LCG on local arrays, each followed by a breadth-first search from the
// start. The ratio is the price of the incremental, checked, resumable form
// plus braiding and scoring.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "maze_generation.hpp"
#include "state_tree.hpp"

namespace {

constexpr int32_t insane_width = 53;
constexpr int32_t insane_height = 41;
constexpr int32_t insane_cells = insane_width * insane_height;

void BM_InsaneGeneration(benchmark::State& state) {
  int64_t ticks = 0;
  std::vector<double> call_us;
  for (auto _ : state) {
    quillfen::configure_maze_tier(3);
    quillfen::begin_maze_generation(17731, app::maze_generation::width, app::maze_generation::height);
    for (int32_t ready = 0; ready != 1; ++ticks) {
      const auto start = std::chrono::steady_clock::now();
      ready = quillfen::generate_maze_step(32);
      const std::chrono::duration<double, std::micro> call = std::chrono::steady_clock::now() - start;
      call_us.push_back(call.count());
    }
    benchmark::DoNotOptimize(app::maze::edge_count);
  }
  state.counters["ticks"] = benchmark::Counter(double(ticks), benchmark::Counter::kAvgIterations);
  // Single generate_maze_step(32) calls: the slowest seen, and the 99th
  // percentile, which the machine's preemptions do not reach as often.
  std::sort(call_us.begin(), call_us.end());
  if (!call_us.empty()) {
    state.counters["worst_call_us"] = call_us.back();
    state.counters["p99_call_us"] = call_us[call_us.size() * 99 / 100];
  }
}
BENCHMARK(BM_InsaneGeneration)->Unit(benchmark::kMicrosecond);

struct PlainGrid {
  std::array<int32_t, insane_cells> walls;
  std::array<int32_t, insane_cells> stack;
  std::array<int32_t, insane_cells> distance;
  std::array<uint8_t, insane_cells> visited;
};

uint32_t lcg_draw(uint32_t& rng) {
  rng = rng * 1103515245u + 12345u;
  const auto value = static_cast<int32_t>(rng);
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

int32_t plain_neighbour(int32_t cell, int32_t direction) {
  const int32_t x = cell % insane_width, y = cell / insane_width;
  switch (direction) {
    case 0: return y > 0 ? cell - insane_width : -1;
    case 1: return x + 1 < insane_width ? cell + 1 : -1;
    case 2: return y + 1 < insane_height ? cell + insane_width : -1;
    default: return x > 0 ? cell - 1 : -1;
  }
}

void plain_carve(PlainGrid& grid, uint32_t rng) {
  grid.walls.fill(15);
  grid.visited.fill(0);
  int32_t depth = 0;
  grid.stack[depth++] = 0;
  grid.visited[0] = 1;
  while (depth > 0) {
    const int32_t cell = grid.stack[depth - 1];
    int32_t options[4];
    int32_t count = 0;
    for (int32_t direction = 0; direction < 4; ++direction) {
      const int32_t next = plain_neighbour(cell, direction);
      if (next >= 0 && grid.visited[next] == 0) options[count++] = direction;
    }
    if (count == 0) {
      --depth;
      continue;
    }
    const int32_t direction = options[lcg_draw(rng) % uint32_t(count)];
    const int32_t next = plain_neighbour(cell, direction);
    grid.walls[cell] &= ~(1 << direction);
    grid.walls[next] &= ~(1 << ((direction + 2) % 4));
    grid.visited[next] = 1;
    grid.stack[depth++] = next;
  }
}

int32_t plain_search(PlainGrid& grid) {
  grid.distance.fill(-1);
  int32_t head = 0, tail = 0;
  grid.stack[tail++] = 0;
  grid.distance[0] = 0;
  while (head < tail) {
    const int32_t cell = grid.stack[head++];
    for (int32_t direction = 0; direction < 4; ++direction) {
      const int32_t next = plain_neighbour(cell, direction);
      if (next < 0 || (grid.walls[cell] & (1 << direction)) != 0 || grid.distance[next] >= 0) continue;
      grid.distance[next] = grid.distance[cell] + 1;
      grid.stack[tail++] = next;
    }
  }
  return grid.distance[insane_cells - 1];
}

void BM_BaselineTwelvePlainCarvesAndSearches(benchmark::State& state) {
  static PlainGrid grid;
  for (auto _ : state) {
    for (uint32_t candidate = 0; candidate < 12; ++candidate) {
      plain_carve(grid, 17731u + candidate * 7919u + 3000009u);
      benchmark::DoNotOptimize(plain_search(grid));
    }
  }
}
BENCHMARK(BM_BaselineTwelvePlainCarvesAndSearches)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
