#include "debugger.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace vexlor {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Long enough never to expire on a loaded machine when a stop is due.
constexpr seconds kStopDue{20};

using Location = std::pair<uint32_t, uint32_t>;  // (function id, line)

void enable(std::set<Location> breakpoints) {
  JitDebugController& controller = jit_debug_controller();
  {
    PoisonGuard hold(controller.mutex);
    controller.state.enabled = true;
    controller.state.breakpoints = std::move(breakpoints);
  }
  JIT_DEBUG_ENABLED.store(true);
}

JitDebugState state_copy() {
  JitDebugController& controller = jit_debug_controller();
  PoisonGuard hold(controller.mutex);
  return controller.state;
}

std::vector<uint32_t> function_ids(const std::vector<JitDebugFrame>& frames) {
  std::vector<uint32_t> ids;
  for (const JitDebugFrame& frame : frames) ids.push_back(frame.function_id);
  return ids;
}

// Waits for the stop after `seen`, checks where it is and returns its
// sequence number.
uint64_t expect_stop_at(uint64_t seen, Location where) {
  const std::optional<JitDebugStop> stop = wait_for_jit_debug_stop(seen, kStopDue);
  if (!stop) {
    ADD_FAILURE() << "no stop after sequence " << seen;
    return seen;
  }
  EXPECT_EQ(stop->sequence, seen + 1);
  EXPECT_EQ(Location(stop->function_id, stop->line), where);
  return stop->sequence;
}

// A game thread that runs the given instrumented code; joined at the end.
// After a failed check it may still be blocked in a stop: disabling the
// debugger releases it so that the test ends instead of hanging.
class GameThread {
 public:
  explicit GameThread(std::function<void()> code) : thread_(std::move(code)) {}
  ~GameThread() {
    if (::testing::Test::HasFailure()) disable_jit_debugger();
    thread_.join();
  }

 private:
  std::thread thread_;
};

class DebuggerTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static void reset() {
    disable_jit_debugger();
    JitDebugController& controller = jit_debug_controller();
    PoisonGuard hold(controller.mutex);
    controller.state = JitDebugState{};
  }
};

TEST_F(DebuggerTest, NothingIsRecordedWhileTheFlagIsOff) {
  {
    JitDebugController& controller = jit_debug_controller();
    PoisonGuard hold(controller.mutex);
    controller.state.enabled = true;
    controller.state.run_mode = JitDebugRunMode::Step;
    controller.state.breakpoints = {{1, 1}};
  }
  vexlor_jit_debug_frame_enter(1);
  vexlor_jit_debug_statement(1, 1);  // would stop if the flag were on
  vexlor_jit_debug_value_i64(0, 0, 5);
  const JitDebugState state = state_copy();
  EXPECT_TRUE(state.frames.empty());
  EXPECT_FALSE(state.stop.has_value());
  EXPECT_EQ(state.stop_count, 0u);
}

TEST_F(DebuggerTest, HostOperationsFailWhileDisabled) {
  EXPECT_EQ(pause_jit_debugger().error(), "JIT debugger is not enabled");
  EXPECT_EQ(resume_jit_debugger(JitDebugRunMode::Step).error(), "JIT debugger is not enabled");
  EXPECT_FALSE(wait_for_jit_debug_stop(0, kStopDue).has_value());
  EXPECT_FALSE(jit_debug_stop().has_value());
}

TEST_F(DebuggerTest, BreakpointStopsTheGameThreadWithItsStack) {
  enable({{7, 12}});
  bool finished = false;
  {
    GameThread game([&] {
      vexlor_jit_debug_frame_enter(3);
      vexlor_jit_debug_statement(3, 1);
      vexlor_jit_debug_frame_enter(7);
      vexlor_jit_debug_values_begin();
      vexlor_jit_debug_value_i64(1, 40, -9);
      vexlor_jit_debug_value_f64(2, 41, 2.5);
      vexlor_jit_debug_statement(7, 11);
      vexlor_jit_debug_statement(7, 12);
      finished = true;
    });
    const std::optional<JitDebugStop> stop = wait_for_jit_debug_stop(0, kStopDue);
    ASSERT_TRUE(stop.has_value());
    EXPECT_EQ(stop->sequence, 1u);
    EXPECT_EQ(Location(stop->function_id, stop->line), Location(7, 12));
    EXPECT_EQ(function_ids(stop->frames), (std::vector<uint32_t>{3, 7}));
    EXPECT_EQ(stop->frames[0].line, 1u);
    const JitDebugFrame& top = stop->frames[1];
    EXPECT_EQ(top.line, 12u);
    ASSERT_EQ(top.values.size(), 2u);
    EXPECT_EQ(std::get<int64_t>(top.values.at(1).value), -9);
    EXPECT_EQ(top.values.at(1).type_tag, 40u);
    EXPECT_EQ(std::get<double>(top.values.at(2).value), 2.5);
    EXPECT_EQ(top.values.at(2).type_tag, 41u);
    EXPECT_EQ(jit_debug_stop()->sequence, 1u);
    ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
  }
  EXPECT_TRUE(finished);
  EXPECT_FALSE(jit_debug_stop().has_value());
  EXPECT_EQ(state_copy().stop_count, 1u);
}

// The game code of the stepping cases, with one breakpoint at (2, 1), depth 2.
void nested_calls() {
  vexlor_jit_debug_frame_enter(1);
  vexlor_jit_debug_statement(1, 1);
  vexlor_jit_debug_frame_enter(2);
  vexlor_jit_debug_statement(2, 1);
  vexlor_jit_debug_frame_enter(3);
  vexlor_jit_debug_statement(3, 1);
  vexlor_jit_debug_frame_leave(3);
  vexlor_jit_debug_statement(2, 2);
  vexlor_jit_debug_frame_leave(2);
  vexlor_jit_debug_statement(1, 2);
  vexlor_jit_debug_frame_leave(1);
  vexlor_jit_debug_statement(0, 9);  // outside every call, depth 0
}

TEST_F(DebuggerTest, SteppingFromABreakpoint) {
  // Each resume in the given mode must lead to the given stop; a final
  // resume in Run mode then lets the game code run to its end.
  using M = JitDebugRunMode;
  struct Case {
    const char* name;
    std::vector<std::pair<JitDebugRunMode, Location>> resumes;
  };
  const Case cases[] = {
      {"step enters the call",
       {{M::Step, {3, 1}}, {M::Step, {2, 2}}, {M::Step, {1, 2}}, {M::Step, {0, 9}}}},
      {"step over skips the deeper call",
       {{M::StepOver, {2, 2}}, {M::StepOver, {1, 2}}, {M::StepOver, {0, 9}}}},
      {"step out stops in the caller", {{M::StepOut, {1, 2}}, {M::StepOut, {0, 9}}}},
      {"run stops at breakpoints only", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    enable({{2, 1}});
    GameThread game(nested_calls);
    uint64_t seen = expect_stop_at(0, {2, 1});
    for (const auto& [mode, where] : c.resumes) {
      ASSERT_TRUE(resume_jit_debugger(mode).ok());
      seen = expect_stop_at(seen, where);
    }
    ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
  }
}

TEST_F(DebuggerTest, PauseStopsAtTheNextStatementOfAnyFunction) {
  enable({});
  ASSERT_TRUE(pause_jit_debugger().ok());
  GameThread game([] {
    vexlor_jit_debug_statement(41, 6);
    vexlor_jit_debug_statement(41, 7);
  });
  const uint64_t seen = expect_stop_at(0, {41, 6});
  // A stop leaves the mode at Run: after resuming in Run the code goes on.
  EXPECT_EQ(state_copy().run_mode, JitDebugRunMode::Run);
  ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
  EXPECT_FALSE(wait_for_jit_debug_stop(seen, milliseconds(50)).has_value());
}

TEST_F(DebuggerTest, DisablingReleasesAStoppedGameThread) {
  enable({{5, 5}});
  bool released = false;
  {
    GameThread game([&] {
      vexlor_jit_debug_frame_enter(5);
      vexlor_jit_debug_statement(5, 5);
      released = true;
    });
    expect_stop_at(0, {5, 5});
    disable_jit_debugger();
  }
  EXPECT_TRUE(released);
  const JitDebugState state = state_copy();
  EXPECT_FALSE(state.stop.has_value());
  EXPECT_TRUE(state.frames.empty());
  EXPECT_FALSE(JIT_DEBUG_ENABLED.load());
}

TEST_F(DebuggerTest, WaitingPastTheLastStopTimesOutThenSeesTheNext) {
  enable({{1, 1}, {1, 2}});
  GameThread game([] {
    vexlor_jit_debug_statement(1, 1);
    vexlor_jit_debug_statement(1, 2);
  });
  const uint64_t first = expect_stop_at(0, {1, 1});
  EXPECT_FALSE(wait_for_jit_debug_stop(first, milliseconds(50)).has_value());
  // The stop already seen is still there for a host that asks with 0.
  EXPECT_EQ(wait_for_jit_debug_stop(0, milliseconds(0))->sequence, first);
  ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
  expect_stop_at(first, {1, 2});
  ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
}

TEST_F(DebuggerTest, WaitWithAnUnboundedTimeoutEndsWhenAStopArrives) {
  enable({{8, 1}});
  GameThread game([] { vexlor_jit_debug_statement(8, 1); });
  const std::optional<JitDebugStop> stop = wait_for_jit_debug_stop(0, std::chrono::nanoseconds::max());
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->sequence, 1u);
  ASSERT_TRUE(resume_jit_debugger(JitDebugRunMode::Run).ok());
}

TEST_F(DebuggerTest, ValuesBelongToTheTopFrame) {
  enable({});
  vexlor_jit_debug_value_i64(1, 0, 10);  // no frame yet: dropped
  vexlor_jit_debug_frame_enter(1);
  vexlor_jit_debug_value_i64(1, 0, 10);
  vexlor_jit_debug_value_f64(1, 3, 0.25);  // same slot: replaces
  vexlor_jit_debug_value_i64(2, 0, 20);
  vexlor_jit_debug_frame_enter(2);
  vexlor_jit_debug_value_i64(1, 0, 99);
  vexlor_jit_debug_values_begin();
  vexlor_jit_debug_value_i64(4, 0, 44);

  const JitDebugState state = state_copy();
  ASSERT_EQ(state.frames.size(), 2u);
  const auto& outer = state.frames[0].values;
  ASSERT_EQ(outer.size(), 2u);
  EXPECT_EQ(std::get<double>(outer.at(1).value), 0.25);
  EXPECT_EQ(outer.at(1).type_tag, 3u);
  EXPECT_EQ(std::get<int64_t>(outer.at(2).value), 20);
  const auto& inner = state.frames[1].values;
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_EQ(std::get<int64_t>(inner.at(4).value), 44);
}

TEST_F(DebuggerTest, FrameCallsKeepTheMirrorOfTheStack) {
  struct Case {
    const char* name;
    std::vector<std::pair<bool, uint32_t>> calls;  // (enter?, function id)
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {"balanced", {{true, 1}, {true, 2}, {false, 2}, {true, 3}}, {1, 3}},
      {"unbalanced leave empties the mirror", {{true, 1}, {true, 2}, {false, 1}}, {}},
      {"leave on an empty mirror", {{false, 4}, {true, 5}}, {5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    enable({});
    for (const auto& [enter, id] : c.calls) {
      if (enter) {
        vexlor_jit_debug_frame_enter(id);
      } else {
        vexlor_jit_debug_frame_leave(id);
      }
    }
    EXPECT_EQ(function_ids(state_copy().frames), c.expected);
  }
}

}  // namespace
}  // namespace vexlor
