// Keyed access to registered globals against the cost it is designed around:
// one mutex lock plus one hash-table lookup.
#include <benchmark/benchmark.h>

#include <array>
#include <mutex>
#include <unordered_map>

#include "fnv.hpp"
#include "registry.hpp"

using namespace vexlor;

namespace {

constexpr int table_size = 800;  // about as many keys as the game registers

// Keys of a populated registry, so lookups hit a realistic table.
struct PopulatedRegistry {
  PopulatedRegistry() {
    for (int i = 0; i < table_size; ++i) {
      const int32_t key = key_of("bench.scalar." + std::to_string(i));
      vexlor_jit_register_global_i32_ptr(key, &scalars[i]);
      keys[i] = key;
    }
    for (int i = 0; i < 80; ++i) {
      vexlor_jit_register_global_i32_array(key_of("bench.array." + std::to_string(i)), 0, arrays[i].data(), 64);
    }
  }
  std::array<int32_t, table_size> scalars{};
  std::array<int32_t, table_size> keys{};
  std::array<std::array<int32_t, 64>, 80> arrays{};
};

PopulatedRegistry& registry() {
  static PopulatedRegistry populated;
  return populated;
}

void BM_Baseline_MutexAndUnorderedMapLookup(benchmark::State& state) {
  static std::mutex mutex;
  static std::unordered_map<int32_t, int32_t*> table;
  for (int i = 0; i < table_size; ++i) table[registry().keys[i]] = &registry().scalars[i];
  int32_t key = registry().keys[table_size / 2];
  for (auto _ : state) {
    // The key is opaque to the compiler and memory is clobbered each round,
    // so the lookup is really made every time, as in the registry.
    benchmark::DoNotOptimize(key);
    std::lock_guard<std::mutex> hold(mutex);
    benchmark::DoNotOptimize(*table.find(key)->second);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Baseline_MutexAndUnorderedMapLookup);

void BM_KeyedI32ScalarLoad(benchmark::State& state) {
  const int32_t key = registry().keys[table_size / 2];
  for (auto _ : state) benchmark::DoNotOptimize(vexlor_jit_global_i32_load(key));
}
BENCHMARK(BM_KeyedI32ScalarLoad);

void BM_KeyedI32ArrayLoad(benchmark::State& state) {
  const int32_t key = key_of("bench.array.40");
  registry();
  int32_t index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vexlor_jit_global_i32_array_load(key, 0, index));
    index = (index + 1) & 63;
  }
}
BENCHMARK(BM_KeyedI32ArrayLoad);

void BM_KeyedI32ScalarStore(benchmark::State& state) {
  const int32_t key = registry().keys[table_size / 2];
  int32_t value = 0;
  for (auto _ : state) vexlor_jit_global_i32_store(key, ++value);
  benchmark::DoNotOptimize(registry().scalars[table_size / 2]);
}
BENCHMARK(BM_KeyedI32ScalarStore);

}  // namespace

BENCHMARK_MAIN();
