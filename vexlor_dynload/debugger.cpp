#include "debugger.hpp"

#include <limits>

std::atomic<bool> JIT_DEBUG_ENABLED{false};

namespace vexlor {
namespace {

const char kNotEnabled[] = "JIT debugger is not enabled";

bool instrumentation_on() { return JIT_DEBUG_ENABLED.load(std::memory_order_acquire); }

bool step_condition_holds(const JitDebugState& state) {
  const size_t depth = state.frames.size();
  switch (state.run_mode) {
    case JitDebugRunMode::Step:
      return true;
    case JitDebugRunMode::StepOver:
      return state.step_depth && depth <= *state.step_depth;
    case JitDebugRunMode::StepOut:
      return state.step_depth && depth < *state.step_depth;
    case JitDebugRunMode::Run:
      break;
  }
  return false;
}

bool should_stop(const JitDebugState& state, uint32_t function_id, uint32_t line) {
  return state.breakpoints.count({function_id, line}) != 0 || step_condition_holds(state);
}

// Records the stop and blocks the calling game thread until the host
// resumes or disables the debugger. The caller holds the controller's mutex.
void stop_at(JitDebugController& controller, uint32_t function_id, uint32_t line) {
  JitDebugState& state = controller.state;
  if (state.stop_count != std::numeric_limits<uint64_t>::max()) ++state.stop_count;
  state.run_mode = JitDebugRunMode::Run;
  state.stop = JitDebugStop{state.frames, state.stop_count, function_id, line};
  controller.changed.notify_all();
  controller.changed.wait(controller.mutex, [&] { return !state.enabled || !state.stop; });
}

// Runs `change` on the debugger state under the controller's mutex, only
// while the instrumentation flag is set.
template <class Change>
void instrument(Change change) {
  if (!instrumentation_on()) return;
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  change(controller);
}

void set_top_value(JitDebugState& state, uint32_t slot, JitDebugValue value) {
  if (state.frames.empty()) return;
  state.frames.back().values.insert_or_assign(slot, value);
}

std::chrono::steady_clock::time_point deadline_after(std::chrono::nanoseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (timeout <= std::chrono::nanoseconds::zero()) return now;
  // Clamped so that a very long timeout cannot overflow the clock.
  if (timeout > Clock::time_point::max() - now) return Clock::time_point::max();
  return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

}  // namespace

JitDebugController& jit_debug_controller() {
  // Never destroyed: a game thread may still be blocked in it at exit.
  static JitDebugController* controller = new JitDebugController;
  return *controller;
}

Status pause_jit_debugger() {
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  if (!controller.state.enabled) return error(kNotEnabled);
  controller.state.run_mode = JitDebugRunMode::Step;
  return {};
}

Status resume_jit_debugger(JitDebugRunMode mode) {
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  JitDebugState& state = controller.state;
  if (!state.enabled) return error(kNotEnabled);
  state.run_mode = mode;
  state.step_depth = state.frames.size();
  state.stop.reset();
  controller.changed.notify_all();
  return {};
}

void disable_jit_debugger() {
  JIT_DEBUG_ENABLED.store(false, std::memory_order_release);
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  JitDebugState& state = controller.state;
  state.enabled = false;
  state.frames.clear();
  state.stop.reset();
  state.run_mode = JitDebugRunMode::Run;
  controller.changed.notify_all();
}

std::optional<JitDebugStop> jit_debug_stop() {
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  return controller.state.stop;
}

std::optional<JitDebugStop> wait_for_jit_debug_stop(uint64_t seen_sequence,
                                                    std::chrono::nanoseconds timeout) {
  const auto deadline = deadline_after(timeout);
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  const JitDebugState& state = controller.state;
  for (;;) {
    if (state.stop && state.stop_count > seen_sequence) return state.stop;
    if (!state.enabled || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    controller.changed.wait_until(controller.mutex, deadline);
  }
}

}  // namespace vexlor

using vexlor::JitDebugController;
using vexlor::JitDebugState;

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_frame_enter(uint32_t function_id) noexcept {
  vexlor::instrument([&](JitDebugController& controller) {
    JitDebugState& state = controller.state;
    if (state.enabled) state.frames.push_back(vexlor::JitDebugFrame{{}, function_id, 0});
  });
}

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_frame_leave(uint32_t function_id) noexcept {
  vexlor::instrument([&](JitDebugController& controller) {
    JitDebugState& state = controller.state;
    if (!state.enabled || state.frames.empty()) return;
    if (state.frames.back().function_id == function_id) {
      state.frames.pop_back();
    } else {
      // An unbalanced leave: the mirror no longer matches the game code.
      state.frames.clear();
    }
  });
}

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_statement(uint32_t function_id, uint32_t line) noexcept {
  vexlor::instrument([&](JitDebugController& controller) {
    JitDebugState& state = controller.state;
    if (!state.enabled) return;
    if (!state.frames.empty()) state.frames.back().line = line;
    if (vexlor::should_stop(state, function_id, line)) vexlor::stop_at(controller, function_id, line);
  });
}

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_values_begin(void) noexcept {
  vexlor::instrument([](JitDebugController& controller) {
    JitDebugState& state = controller.state;
    if (!state.frames.empty()) state.frames.back().values.clear();
  });
}

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_value_i64(uint32_t slot, uint32_t type_tag,
                                                         int64_t value) noexcept {
  vexlor::instrument([&](JitDebugController& controller) {
    vexlor::set_top_value(controller.state, slot, vexlor::JitDebugValue{value, type_tag});
  });
}

extern "C" VEXLOR_EXPORT void vexlor_jit_debug_value_f64(uint32_t slot, uint32_t type_tag,
                                                         double value) noexcept {
  vexlor::instrument([&](JitDebugController& controller) {
    vexlor::set_top_value(controller.state, slot, vexlor::JitDebugValue{value, type_tag});
  });
}
