// Statement debugger: instrumented game code reports calls, statements and
// the values of its locals; the runtime mirrors the game code's call stack
// and, at a breakpoint or when the step condition holds, blocks the game
// thread in a stop until the host resumes it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <variant>
#include <vector>

#include "export.hpp"
#include "poison_mutex.hpp"
#include "result.hpp"

extern "C" {
// Set by the host; while false every instrumentation call returns at once.
VEXLOR_EXPORT extern std::atomic<bool> JIT_DEBUG_ENABLED;

VEXLOR_EXPORT void vexlor_jit_debug_frame_enter(uint32_t function_id) noexcept;
VEXLOR_EXPORT void vexlor_jit_debug_frame_leave(uint32_t function_id) noexcept;
VEXLOR_EXPORT void vexlor_jit_debug_statement(uint32_t function_id, uint32_t line) noexcept;
VEXLOR_EXPORT void vexlor_jit_debug_values_begin(void) noexcept;
VEXLOR_EXPORT void vexlor_jit_debug_value_i64(uint32_t slot, uint32_t type_tag, int64_t value) noexcept;
VEXLOR_EXPORT void vexlor_jit_debug_value_f64(uint32_t slot, uint32_t type_tag, double value) noexcept;
}

namespace vexlor {

enum class JitDebugRunMode : uint8_t {
  Run = 0,       // stop at breakpoints only
  Step = 1,      // stop at the next statement anywhere
  StepOver = 2,  // stop where the stack depth is at most step_depth
  StepOut = 3,   // stop where the stack depth is below step_depth
};

// A local value reported by game code: index 0 a signed 64-bit integer,
// index 1 a 64-bit float. The type tag is the game code's and is kept as is.
struct JitDebugValue {
  std::variant<int64_t, double> value;
  uint32_t type_tag;
};

struct JitDebugFrame {
  std::map<uint32_t, JitDebugValue> values;  // by value slot
  uint32_t function_id;
  uint32_t line;  // 0 until the call's first statement
};

struct JitDebugStop {
  std::vector<JitDebugFrame> frames;  // innermost last
  uint64_t sequence;
  uint32_t function_id;
  uint32_t line;
};

struct JitDebugState {
  JitDebugRunMode run_mode = JitDebugRunMode::Run;
  std::optional<size_t> step_depth;  // stack depth at the last resume
  std::vector<JitDebugFrame> frames;  // innermost last
  std::optional<JitDebugStop> stop;
  std::set<std::pair<uint32_t, uint32_t>> breakpoints;  // (function id, line)
  uint64_t stop_count = 0;
  bool enabled = false;
};

// The host configures the debugger by holding `mutex` and setting fields of
// `state` directly; `changed` is signalled, always to all waiters, whenever
// a stop begins or ends.
struct JitDebugController {
  PoisonMutex mutex{"jit debugger controller mutex poisoned"};
  std::condition_variable_any changed;
  JitDebugState state;
};

JitDebugController& jit_debug_controller();

// Makes the game code stop at its next statement.
Status pause_jit_debugger();
// Ends the current stop and continues in `mode`, measured from the current
// stack depth.
Status resume_jit_debugger(JitDebugRunMode mode);
// Switches the debugger off and releases a blocked game thread.
void disable_jit_debugger();
std::optional<JitDebugStop> jit_debug_stop();
// Waits for a stop whose sequence is above `seen_sequence`; nothing on
// timeout or while the debugger is not enabled.
std::optional<JitDebugStop> wait_for_jit_debug_stop(uint64_t seen_sequence,
                                                    std::chrono::nanoseconds timeout);

}  // namespace vexlor
