// Atlas affinity planner on the largest input it accepts and on a typical one,
// each beside a baseline from the same run: a stable sort of the same pairs by
// weight, the planner's own first step of merging.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "atlas_placement.hpp"

using namespace vexlor;

namespace {

struct InputShape {
  uint32_t page_count;
  uint32_t page_size;
  uint32_t cell_size;  // baseline grid cell; also the largest footprint
  uint32_t sprite_count;
  uint32_t pair_count;
};

constexpr InputShape largest{256, 1024, 64, 512, 32768};
constexpr InputShape typical{2, 512, 64, 40, 200};

AtlasCompatibilityKey bench_key() { return AtlasCompatibilityKey{1, 1, 1, 1, 1}; }

// Sprites of random size spread over the pages' cells in turn; distinct
// random ordered pairs with random weights.
AtlasPlanInput make_input(const InputShape& shape, uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto pick = [&](uint64_t low, uint64_t high) { return std::uniform_int_distribution<uint64_t>(low, high)(rng); };
  AtlasPlanInput input;
  input.snapshot_token = input.expected_token = seed;
  for (uint32_t i = 0; i < shape.page_count; ++i) {
    const uint64_t bytes = uint64_t{shape.page_size} * shape.page_size * 4;
    input.pages.push_back(AtlasPageExtent{bench_key(), bytes, i, shape.page_size, shape.page_size, 0, 0});
    input.resident_bytes += bytes;
  }
  const uint32_t columns = shape.page_size / shape.cell_size;
  for (uint32_t s = 0; s < shape.sprite_count; ++s) {
    const uint32_t page = s % shape.page_count;
    const uint32_t cell = s / shape.page_count;
    const int32_t padding = 1;
    const uint32_t width = uint32_t(pick(4, shape.cell_size - 2));
    const uint32_t height = uint32_t(pick(4, shape.cell_size - 2));
    const uint64_t handle = 1 + s;
    input.sprites.push_back(AtlasSpriteDescriptor{bench_key(), handle, width, height, padding});
    input.baseline.push_back(AtlasBaselinePlacement{handle, page, (cell % columns) * shape.cell_size + 1,
                                                    (cell / columns) * shape.cell_size + 1, width, height, padding});
  }
  std::set<std::pair<uint64_t, uint64_t>> used;
  while (input.pairs.size() < shape.pair_count) {
    const uint64_t from = pick(1, shape.sprite_count);
    const uint64_t to = pick(1, shape.sprite_count);
    if (from == to || !used.insert({from, to}).second) continue;
    input.pairs.push_back({from, to, pick(1, 1'000'000'000)});
  }
  input.resident_byte_budget = input.resident_bytes;
  input.stage_peak_cap_bytes = 2 * input.resident_bytes;
  return input;
}

void run_planner(benchmark::State& state, const InputShape& shape) {
  const AtlasPlanInput input = make_input(shape, 0xa71a5);
  AtlasPlanReport report;
  for (auto _ : state) {
    report = plan_atlas_affinity(input);
    benchmark::DoNotOptimize(report);
  }
  if (!report.plan) {
    state.SkipWithError("the benchmark input was not accepted");
    return;
  }
  state.counters["attempts"] = double(report.attempts);
  state.counters["split_before"] = double(report.plan->metrics.split_weight_before);
  state.counters["split_after"] = double(report.plan->metrics.split_weight_after);
  state.counters["pages_after"] = double(report.plan->metrics.pages_after);
}

void run_pair_sort(benchmark::State& state, const InputShape& shape) {
  const AtlasPlanInput input = make_input(shape, 0xa71a5);
  for (auto _ : state) {
    std::vector<AtlasPairWeight> pairs = input.pairs;
    std::stable_sort(pairs.begin(), pairs.end(), [](const AtlasPairWeight& a, const AtlasPairWeight& b) {
      return a.weight > b.weight;
    });
    benchmark::DoNotOptimize(pairs.data());
  }
}

void BM_PlanLargest(benchmark::State& state) { run_planner(state, largest); }
void BM_PlanTypical(benchmark::State& state) { run_planner(state, typical); }
void BM_SortPairsLargest(benchmark::State& state) { run_pair_sort(state, largest); }
void BM_SortPairsTypical(benchmark::State& state) { run_pair_sort(state, typical); }

}  // namespace

BENCHMARK(BM_SortPairsLargest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlanLargest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortPairsTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlanTypical)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
