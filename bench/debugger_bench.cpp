// Cost of a statement report to the debugger, off and on (with breakpoints
// elsewhere, so that it never stops). Baselines: an out-of-line call that
// does nothing, and the uncontended lock and unlock that an active
// debugger takes for every report.
#include <benchmark/benchmark.h>

#include <mutex>

#include "debugger.hpp"

namespace {

[[gnu::noinline]] void empty_call(uint32_t function_id, uint32_t line) {
  asm volatile("" : : "r"(function_id), "r"(line) : "memory");
}

void BM_EmptyCall(benchmark::State& state) {
  for (auto _ : state) empty_call(3, 4);
}
BENCHMARK(BM_EmptyCall);

void BM_StatementDisabled(benchmark::State& state) {
  vexlor::disable_jit_debugger();
  for (auto _ : state) vexlor_jit_debug_statement(3, 4);
}
BENCHMARK(BM_StatementDisabled);

void BM_UncontendedLockUnlock(benchmark::State& state) {
  std::mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    benchmark::ClobberMemory();
    mutex.unlock();
  }
}
BENCHMARK(BM_UncontendedLockUnlock);

void BM_StatementEnabledNoStop(benchmark::State& state) {
  vexlor::JitDebugController& controller = vexlor::jit_debug_controller();
  {
    vexlor::PoisonGuard hold(controller.mutex);
    controller.state.enabled = true;
    for (uint32_t line = 1; line <= 64; ++line) controller.state.breakpoints.insert({9, line});
  }
  JIT_DEBUG_ENABLED.store(true);
  vexlor_jit_debug_frame_enter(3);
  for (auto _ : state) vexlor_jit_debug_statement(3, 4);
  vexlor::disable_jit_debugger();
}
BENCHMARK(BM_StatementEnabledNoStop);

}  // namespace

BENCHMARK_MAIN();
