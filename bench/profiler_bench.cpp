// Cost of the profiler's instrumented path. The baseline is the two
// monotonic clock reads that every measured call needs at the least.
#include <benchmark/benchmark.h>
#include <time.h>

#include "profiler.hpp"

namespace {

void BM_TwoMonotonicClockReads(benchmark::State& state) {
  timespec start;
  timespec end;
  for (auto _ : state) {
    clock_gettime(CLOCK_MONOTONIC, &start);
    benchmark::DoNotOptimize(start);
    clock_gettime(CLOCK_MONOTONIC, &end);
    benchmark::DoNotOptimize(end);
  }
}
BENCHMARK(BM_TwoMonotonicClockReads);

void BM_EnterLeaveEnabled(benchmark::State& state) {
  vexlor::enable_jit_profiler();
  for (auto _ : state) {
    vexlor_jit_profile_frame_enter(7);
    vexlor_jit_profile_frame_leave(7);
  }
  vexlor::disable_jit_profiler();
}
BENCHMARK(BM_EnterLeaveEnabled);

// The usual shape in game code: a short call inside an open caller, so the
// leave also charges the caller's child time.
void BM_EnterLeaveEnabledNested(benchmark::State& state) {
  vexlor::enable_jit_profiler();
  vexlor_jit_profile_frame_enter(1);
  for (auto _ : state) {
    vexlor_jit_profile_frame_enter(7);
    vexlor_jit_profile_frame_leave(7);
  }
  vexlor_jit_profile_frame_leave(1);
  vexlor::disable_jit_profiler();
}
BENCHMARK(BM_EnterLeaveEnabledNested);

// Baseline for the disabled path: the least that two calls into the module
// can cost, an out-of-line function that does nothing.
[[gnu::noinline]] void empty_call(uint32_t function_id) {
  asm volatile("" : : "r"(function_id) : "memory");
}

void BM_TwoEmptyCalls(benchmark::State& state) {
  for (auto _ : state) {
    empty_call(7);
    empty_call(7);
  }
}
BENCHMARK(BM_TwoEmptyCalls);

void BM_EnterLeaveDisabled(benchmark::State& state) {
  vexlor::disable_jit_profiler();
  for (auto _ : state) {
    vexlor_jit_profile_frame_enter(7);
    vexlor_jit_profile_frame_leave(7);
  }
}
BENCHMARK(BM_EnterLeaveDisabled);

}  // namespace

BENCHMARK_MAIN();
